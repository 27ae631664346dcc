// Valued menus: the two value actions after the navigation step, and the valued labels they step.
#include "w2dvaluedmenu.h"

#include <cstdio>

HB_DEFINE_CLASS_DESC(W2dValuedMenuLabel, W2dTextGraphicItem);
HB_DEFINE_CLASS_DESC(W2dStringValuedMenuLabel, W2dValuedMenuLabel);
HB_DEFINE_CLASS_DESC(W2dRealValuedMenuLabel, W2dValuedMenuLabel);

W2dValuedMenu::W2dValuedMenu(W2dMenu* parent) : W2dMenu(parent) {}

W2dMenu* W2dValuedMenu::HandleInput()
{
    W2dMenu* result = W2dMenu::HandleInput();
    if (!result)
        return nullptr;
    // Asked whatever the state, after a navigation step of the same frame: the value of the new
    // current entry is the one stepped.
    if (IsNextValuePressed())
    {
        RunInputCallback();
        NextValue();
        return result;
    }
    if (IsPreviousValuePressed())
    {
        RunInputCallback();
        PreviousValue();
    }
    return result;
}

void W2dValuedMenu::SetNextValueAction(const char* name)
{
    mNextValueAction = name ? name : "";
}

void W2dValuedMenu::SetPreviousValueAction(const char* name)
{
    mPreviousValueAction = name ? name : "";
}

namespace
{
W2dValuedMenuLabel* ValuedLabelOf(W2dMenu* entry)
{
    W2dGenericItem* label = entry ? entry->GetLabel() : nullptr;
    if (!label || !HbClassDesc::IsKindOf(label, &W2dValuedMenuLabel::sClassDesc))
        return nullptr;
    return static_cast<W2dValuedMenuLabel*>(label);
}
} // namespace

int32_t W2dValuedMenu::NextValue()
{
    W2dValuedMenuLabel* label = ValuedLabelOf(GetCurrentEntry());
    if (!label || !label->Increase())
        return 0;
    label->Apply();
    return 1;
}

int32_t W2dValuedMenu::PreviousValue()
{
    W2dValuedMenuLabel* label = ValuedLabelOf(GetCurrentEntry());
    if (!label || !label->Decrease())
        return 0;
    label->Apply();
    return 1;
}

int32_t W2dValuedMenu::IsNextValuePressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_NEXT_VALUE");
}

int32_t W2dValuedMenu::IsPreviousValuePressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_PREVIOUS_VALUE");
}

// ---- Valued labels ---------------------------------------------------------------------------------------

W2dValuedMenuLabel::W2dValuedMenuLabel(const char* fontId, W2dSurfaceList* list) : W2dTextGraphicItem(fontId, list)
{
}

W2dStringValuedMenuLabel::W2dStringValuedMenuLabel(const char* fontId, W2dSurfaceList* list)
    : W2dValuedMenuLabel(fontId, list)
{
}

void W2dStringValuedMenuLabel::AddValue(const char* text)
{
    mValues.emplace_back(text ? text : "");
}

void W2dStringValuedMenuLabel::SetIndex(int32_t index)
{
    int32_t last = int32_t(mValues.size()) - 1;
    mPending = index > last ? last : index;
    if (mPending < 0)
        mPending = 0;
    Apply();
}

int32_t W2dStringValuedMenuLabel::Increase()
{
    if (mPending + 1 >= int32_t(mValues.size()))
        return 0;
    ++mPending;
    return 1;
}

int32_t W2dStringValuedMenuLabel::Decrease()
{
    if (mPending <= 0)
        return 0;
    --mPending;
    return 1;
}

void W2dStringValuedMenuLabel::Apply()
{
    mIndex = mPending;
    if (mIndex < int32_t(mValues.size()))
        SetText(mValues[size_t(mIndex)].c_str());
}

W2dRealValuedMenuLabel::W2dRealValuedMenuLabel(const char* fontId, W2dSurfaceList* list)
    : W2dValuedMenuLabel(fontId, list)
{
}

void W2dRealValuedMenuLabel::SetRange(float minimum, float maximum, float step)
{
    if (minimum > maximum)
        std::swap(minimum, maximum);
    mMinimum = minimum;
    mMaximum = maximum;
    mStep = step;
    SetValue(mValue);
}

void W2dRealValuedMenuLabel::SetValue(float value)
{
    mPending = value < mMinimum ? mMinimum : value > mMaximum ? mMaximum : value;
    Apply();
}

int32_t W2dRealValuedMenuLabel::Increase()
{
    if (mPending >= mMaximum)
        return 0;
    float next = mPending + mStep;
    mPending = next > mMaximum ? mMaximum : next;
    return 1;
}

int32_t W2dRealValuedMenuLabel::Decrease()
{
    if (mPending <= mMinimum)
        return 0;
    float next = mPending - mStep;
    mPending = next < mMinimum ? mMinimum : next;
    return 1;
}

void W2dRealValuedMenuLabel::Apply()
{
    mValue = mPending;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(mValue));
    SetText(text);
}
