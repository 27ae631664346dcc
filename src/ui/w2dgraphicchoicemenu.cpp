// Choice rows: value items shown after the label, an index of the caller's stepped without wrapping,
// and the arrows showing which way it can still go.
#include "w2dgraphicchoicemenu.h"

#include "w2dgraphicslidermenu.h"
#include "w2dsurfacegraphicitem.h"

HB_DEFINE_CLASS_DESC(W2dGraphicChoiceMenu, W2dGraphicMenu);

namespace
{
constexpr float kArrowRise = 0.046875f;
constexpr float kLeftArrowInset = 0.02125f;
constexpr float kRightArrowInset = 0.02f;

float WidthOf(W2dGenericItem* item)
{
    Vector size = {0.0f, 0.0f, 0.0f};
    if (item)
        item->GetSize(&size);
    return size.x;
}
} // namespace

W2dGraphicChoiceMenu::W2dGraphicChoiceMenu(W2dMenu* parent) : W2dGraphicMenu(parent)
{
    mLeftArrow = MakeOptionArrow(true);
    mRightArrow = MakeOptionArrow(false);
}

W2dGraphicChoiceMenu::~W2dGraphicChoiceMenu()
{
    W2dGraphicChoiceMenu::Clear();
    for (int32_t i = 0; i < mValues.GetCount(); ++i)
    {
        mValues[i]->Release();
        mValues[i]->HbRoot::Release();
    }
    mValues.RemoveAll();
    for (W2dPictureItem* arrow : {mLeftArrow, mRightArrow})
    {
        arrow->Release();
        arrow->HbRoot::Release();
    }
}

W2dGenericItem* W2dGraphicChoiceMenu::GetChoice(int32_t index) const
{
    return index >= 0 && index < mValues.GetCount() ? mValues[index] : nullptr;
}

int32_t W2dGraphicChoiceMenu::AddChoice(W2dGenericItem* item)
{
    if (!item)
        return 0;
    item->AddRef();
    mValues.Add(item);
    item->Hide();
    return 1;
}

int32_t W2dGraphicChoiceMenu::Index()
{
    if (!mIndex || mValues.GetCount() == 0)
        return -1;
    // An index read from the preferences may be anything.
    if (*mIndex < 0)
        *mIndex = 0;
    if (*mIndex > mValues.GetCount() - 1)
        *mIndex = mValues.GetCount() - 1;
    return *mIndex;
}

void W2dGraphicChoiceMenu::SetValuePointer(int32_t* index)
{
    if (mIndex)
        return;
    mIndex = index;
    Index();
}

void W2dGraphicChoiceMenu::SetValuePlacement(const Vector& size)
{
    mValueSize = size;
}

void W2dGraphicChoiceMenu::SetChooseCallback(W2dMenuCallback callback, void* context)
{
    mChooseCallback = callback;
    mChooseContext = context;
}

void W2dGraphicChoiceMenu::SetLabelSize(const Vector& size)
{
    if (GetLabel())
        GetLabel()->SetSize({size.x - mValueSize.x, size.y, size.z});
}

void W2dGraphicChoiceMenu::SetLabelPosition(const Vector& p)
{
    W2dGraphicMenu::SetLabelPosition(p);
    float w = WidthOf(GetLabel());
    for (int32_t i = 0; i < mValues.GetCount(); ++i)
        mValues[i]->SetPosition({p.x + w, p.y, p.z});
    float left = p.x + w - kLeftArrowInset;
    mLeftArrow->SetPosition({left, p.y - kArrowRise, p.z});
    mRightArrow->SetPosition({left + mValueSize.x - kRightArrowInset, p.y - kArrowRise, p.z});
}

void W2dGraphicChoiceMenu::SetLabelColour(const Rgba& c)
{
    W2dGraphicMenu::SetLabelColour(c);
    for (int32_t i = 0; i < mValues.GetCount(); ++i)
        mValues[i]->SetColour(c);
    Rgba opaque = {c.red, c.green, c.blue, 255};
    mLeftArrow->SetColour(opaque);
    mRightArrow->SetColour(opaque);
}

float W2dGraphicChoiceMenu::GetLabelWidth()
{
    return W2dGraphicMenu::GetLabelWidth() + mValueSize.x;
}

void W2dGraphicChoiceMenu::ShowValue(int32_t selected)
{
    int32_t index = Index();
    if (index >= 0)
    {
        W2dGenericItem* value = mValues[index];
        value->SetSize(mValueSize);
        value->SetColour({255, 255, 255, uint8_t(selected ? 255 : 80)});
        value->Show();
    }
    if (selected && index >= 0)
    {
        index > 0 ? (void)mLeftArrow->Show() : mLeftArrow->Hide();
        index < mValues.GetCount() - 1 ? (void)mRightArrow->Show() : mRightArrow->Hide();
    }
    else
    {
        mLeftArrow->Hide();
        mRightArrow->Hide();
    }
}

void W2dGraphicChoiceMenu::Deselect()
{
    ShowValue(0);
}

void W2dGraphicChoiceMenu::Show()
{
    W2dGraphicMenu::Show();
    for (int32_t i = 0; i < mValues.GetCount(); ++i)
        mValues[i]->Show();
    mLeftArrow->Show();
    mRightArrow->Show();
}

void W2dGraphicChoiceMenu::Hide()
{
    W2dGraphicMenu::Hide();
    for (int32_t i = 0; i < mValues.GetCount(); ++i)
        mValues[i]->Hide();
    mLeftArrow->Hide();
    mRightArrow->Hide();
}

void W2dGraphicChoiceMenu::RevealRow(int32_t row, int32_t columns)
{
    W2dGraphicMenu::RevealRow(row, columns);
    for (int32_t i = 0; i < mValues.GetCount(); ++i)
        mValues[i]->Hide();
    mLeftArrow->Hide();
    mRightArrow->Hide();
}

void W2dGraphicChoiceMenu::HandleValueInput()
{
    int32_t index = Index();
    if (index < 0)
        return;
    static ActionCache nextCache;
    static ActionCache previousCache;
    static ActionCache chooseCache;
    mValues[index]->Hide();
    if (IsActionTriggered(nextCache, "MENU_NEXT_VALUE"))
    {
        if (*mIndex < mValues.GetCount() - 1)
            ++*mIndex;
        Notify(kChoose);
    }
    else if (IsActionTriggered(previousCache, "MENU_PREVIOUS_VALUE"))
    {
        if (*mIndex > 0)
            --*mIndex;
        Notify(kChoose);
    }
    else if (IsActionTriggered(chooseCache, "MENU_CHOOSE") && mChooseCallback)
        mChooseCallback(mChooseContext);
    ShowValue(1);
}
