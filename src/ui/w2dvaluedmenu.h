// W2dValuedMenu: a menu whose current entry can also have its value stepped ("MENU_NEXT_VALUE",
// "MENU_PREVIOUS_VALUE"). W2dValuedMenuLabel: the labels whose value those actions step, with a string
// list and a real-number flavour.
#pragma once

#include "w2dmenu.h"
#include "w2dtextgraphicitem.h"

#include <cstdint>
#include <string>
#include <vector>

class W2dValuedMenu : public W2dMenu
{
public:
    explicit W2dValuedMenu(W2dMenu* parent);

    /// The base step; when it answered a menu, a value press steps the current entry (after any
    /// navigation of the same frame).
    W2dMenu* HandleInput() override;

    virtual void SetNextValueAction(const char* name);
    virtual void SetPreviousValueAction(const char* name);
    /// 0 when the current entry has no valued label or its value did not move.
    virtual int32_t NextValue();
    virtual int32_t PreviousValue();

    const std::string& GetNextValueAction() const { return mNextValueAction; }
    const std::string& GetPreviousValueAction() const { return mPreviousValueAction; }

protected:
    /// The two fixed value actions, cached like the navigation ones.
    static int32_t IsNextValuePressed();
    static int32_t IsPreviousValuePressed();

private:
    std::string mNextValueAction = "MENU_NEXT_VALUE";
    std::string mPreviousValueAction = "MENU_PREVIOUS_VALUE";
};

class W2dValuedMenuLabel : public W2dTextGraphicItem
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dValuedMenuLabel(const char* fontId, W2dSurfaceList* list);

    /// Nonzero when the pending value moved up (down).
    virtual int32_t Increase() = 0;
    virtual int32_t Decrease() = 0;
    /// Shows the pending value and takes it over.
    virtual void Apply() = 0;
};

/// One of a list of texts; stepping stops at both ends.
class W2dStringValuedMenuLabel : public W2dValuedMenuLabel
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dStringValuedMenuLabel(const char* fontId, W2dSurfaceList* list);

    void AddValue(const char* text);
    /// Clamped into the list; shown at once.
    void SetIndex(int32_t index);
    int32_t GetIndex() const { return mIndex; }

    int32_t Increase() override;
    int32_t Decrease() override;
    void Apply() override;

private:
    std::vector<std::string> mValues;
    int32_t mIndex = 0;
    int32_t mPending = 0;
};

/// A real number between bounds, stepped by a fixed amount and shown with one decimal.
class W2dRealValuedMenuLabel : public W2dValuedMenuLabel
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dRealValuedMenuLabel(const char* fontId, W2dSurfaceList* list);

    /// The value is clamped into the new bounds (a reversed pair is swapped) and shown.
    void SetRange(float minimum, float maximum, float step);
    void SetValue(float value);
    float GetValue() const { return mValue; }

    int32_t Increase() override;
    int32_t Decrease() override;
    void Apply() override;

private:
    float mMinimum = 0.0f;
    float mMaximum = 1.0f;
    float mStep = 0.1f;
    float mValue = 0.0f;
    float mPending = 0.0f;
};
