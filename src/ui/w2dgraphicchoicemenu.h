// W2dGraphicChoiceMenu: a framed-menu row that picks one of several value items for an index of the
// caller's, with two arrows; values do not wrap around.
#pragma once

#include "hbgrowarray.h"
#include "w2dgraphicmenu.h"

class W2dPictureItem;

class W2dGraphicChoiceMenu : public W2dGraphicMenu
{
    HB_DECLARE_CLASS_DESC();

public:
    explicit W2dGraphicChoiceMenu(W2dMenu* parent);
    /// Clear, then the value items and arrows go.
    ~W2dGraphicChoiceMenu() override;

    void Show() override;
    void Hide() override;
    void SetLabelSize(const Vector& size) override;
    void SetLabelPosition(const Vector& position) override;
    void SetLabelColour(const Rgba& colour) override;
    float GetLabelWidth() override;
    void RevealRow(int32_t row, int32_t columns) override;
    void HandleValueInput() override;
    void Deselect() override;

    /// Takes a reference and hides the item; 1.
    int32_t AddChoice(W2dGenericItem* item);
    /// Only the first non-null pointer is taken; an index outside the values is clamped.
    void SetValuePointer(int32_t* index);
    /// Width (the value column), height and a third component.
    void SetValuePlacement(const Vector& size);
    void SetChooseCallback(W2dMenuCallback callback, void* context);
    /// The value at the bound index, lit when selected; the arrows only when selected and not at an end.
    void ShowValue(int32_t selected);

    int32_t GetChoiceCount() const { return mValues.GetCount(); }
    W2dGenericItem* GetChoice(int32_t index) const;
    W2dPictureItem* GetLeftArrow() const { return mLeftArrow; }
    W2dPictureItem* GetRightArrow() const { return mRightArrow; }

private:
    /// The bound index kept within the values; -1 without a pointer or values.
    int32_t Index();

    int32_t* mIndex = nullptr;
    HbGrowArray<W2dGenericItem*> mValues;
    Vector mValueSize = {0.0f, 0.0f, 0.0f};
    W2dMenuCallback mChooseCallback = nullptr;
    void* mChooseContext = nullptr;
    W2dPictureItem* mLeftArrow = nullptr;
    W2dPictureItem* mRightArrow = nullptr;
};
