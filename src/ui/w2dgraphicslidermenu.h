// W2dGraphicSliderMenu: a framed-menu row that edits a real number of the caller's with a gauge between
// two arrows; a change shows for half a second as the gap between the front and back gauges.
#pragma once

#include "w2dgraphicmenu.h"

class W2dGaugeItem;
class W2dPictureItem;

class W2dGraphicSliderMenu : public W2dGraphicMenu
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The arrows and gauges are made only with a parent.
    explicit W2dGraphicSliderMenu(W2dMenu* parent);
    /// Clear, then the arrows and gauges go.
    ~W2dGraphicSliderMenu() override;

    void Show() override;
    void Hide() override;
    void ShowLabel() override;
    void SetLabelSize(const Vector& size) override;
    void SetLabelPosition(const Vector& position) override;
    void SetLabelColour(const Rgba& colour) override;
    float GetLabelWidth() override;
    /// The parts show as the frame widens past the label.
    void RevealRow(int32_t row, int32_t columns) override;
    void HandleValueInput() override;
    void SyncValue() override;
    void Deselect() override;
    virtual void SetGaugeWidth(const Vector& size);

    /// Clamps a bound value into the range and sets both gauges.
    void SetRange(float minimum, float maximum, float step);
    /// Only the first non-null pointer is taken.
    void SetValuePointer(float* value);

    W2dPictureItem* GetLeftArrow() const { return mLeftArrow; }
    W2dPictureItem* GetRightArrow() const { return mRightArrow; }
    W2dGaugeItem* GetBackGauge() const { return mBackGauge; }
    W2dGaugeItem* GetFrontGauge() const { return mFrontGauge; }

private:
    /// The value's place in the range; 0 for an empty range.
    float Fraction() const;
    template <typename F> void ForEachPart(F function);

    W2dPictureItem* mLeftArrow = nullptr;
    W2dPictureItem* mRightArrow = nullptr;
    W2dGaugeItem* mBackGauge = nullptr;
    /// The gauges' whole width: a gauge's own size follows its fill.
    float mGaugeWidth = 0.25f;
    W2dGaugeItem* mFrontGauge = nullptr;
    float mMinimum = 0.0f;
    float mMaximum = 10.0f;
    float mStep = 0.1f;
    float* mValue = nullptr;
};

/// A hidden option arrow ("FE_OPTION_JAUGE_ARROW_TEX", 0.0625 square, priority 100) with one reference of
/// the caller's; the left one mirrored.
W2dPictureItem* MakeOptionArrow(bool left);
