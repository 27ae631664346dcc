// Lists: the column layouts, the gradient, framed text messages and children that expire on the game
// clock.
#include "w2dlistgraphiccontainer.h"

#include "hbclock.h"
#include "tssoundmodule.h"
#include "w2dframedpanel.h"
#include "w2dtextgraphicitem.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(W2dSimpleListGraphicContainer, W2dGraphicContainer);
HB_DEFINE_CLASS_DESC(W2dProgressiveListGraphicContainer, W2dSimpleListGraphicContainer);
HB_DEFINE_CLASS_DESC(W2dMessageList, W2dProgressiveListGraphicContainer);
HB_DEFINE_CLASS_DESC(W2dTimedListGraphicContainer, W2dSimpleListGraphicContainer);

namespace
{
const char* const kTextsOnSound = "SD_I_TEXTS_ON_S2DSB";
const char* const kTextsOffSound = "SD_I_TEXTS_OFF_S2DSB";

// Every message looks the same whatever width or text size it was given.
constexpr float kMessageWidth = 0.8f;
constexpr float kMessageHeight = 0.25f;
constexpr float kMessageCharHeight = 0.04f;
constexpr int32_t kMessagePriority = 100;
/// Inside the frame's margins: half a tile across, one and a half down.
constexpr Vector kMessageTextAt = {0.015625f, 0.046875f, 0.0f};

int64_t GameNow()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

void PlayUnplaced(const char* sound)
{
    TsFModPlaySoundAt(sound, nullptr);
}
} // namespace

// ---- Simple list ------------------------------------------------------------------------------------------

W2dSimpleListGraphicContainer::W2dSimpleListGraphicContainer(const char* name) : W2dGraphicContainer(name) {}

int32_t W2dSimpleListGraphicContainer::AddChild(W2dGenericItem* item)
{
    if (!W2dGraphicContainer::AddChild(item))
        return 0;
    item->Create();
    item->Show();
    Layout();
    return 1;
}

int32_t W2dSimpleListGraphicContainer::RemoveChildByName(const char* name)
{
    int32_t index = W2dGraphicContainer::RemoveChildByName(name);
    if (index >= 0)
        Layout();
    return index;
}

void W2dSimpleListGraphicContainer::SetReversed(int32_t value)
{
    mReversed = value;
}

void W2dSimpleListGraphicContainer::SetFixedRows(int32_t value)
{
    mFixedRows = value;
}

void W2dSimpleListGraphicContainer::Layout()
{
    int32_t n = GetChildCount();
    if (n == 0)
        return;
    const float x = mPosition.x, y = mPosition.y, w = mSize.x, h = mSize.y;
    if (mFixedRows)
    {
        Vector first;
        GetChild(0)->GetSize(&first);
        const float r = first.y;
        float total = float(n) * r;
        while (n > 0 && total > h)
        {
            RemoveFirst();
            int32_t left = GetChildCount();
            // A list that cannot shrink (an overriding removal refusing) must not spin here.
            if (left >= n)
                break;
            n = left;
            total -= r;
        }
        for (int32_t i = 0; i < n; ++i)
        {
            W2dGenericItem* child = GetChild(i);
            float rowY = mReversed ? y + float(n - 1 - i) * r : y + float(i + 1) * r;
            child->SetPosition({x, rowY, 0.0f});
            child->SetSize({w, r, 0.0f});
        }
        return;
    }
    float cursor = y + h;
    for (int32_t i = n - 1; i >= 0; --i)
    {
        W2dGenericItem* child = GetChild(i);
        Vector size;
        child->GetSize(&size);
        cursor -= size.y;
        child->SetPosition({x, cursor, 0.0f});
    }
}

void W2dSimpleListGraphicContainer::RemoveFirst()
{
    W2dGenericItem* first = GetChild(0);
    if (!first)
        return;
    std::string name = first->GetName();
    W2dGraphicContainer::RemoveChildByName(name.c_str());
}

void W2dSimpleListGraphicContainer::RemoveLast()
{
    if (W2dGenericItem* last = GetChild(GetChildCount() - 1))
        W2dGraphicContainer::RemoveChild(last);
}

// ---- Progressive list ---------------------------------------------------------------------------------------

W2dProgressiveListGraphicContainer::W2dProgressiveListGraphicContainer(const char* name)
    : W2dSimpleListGraphicContainer(name)
{
}

void W2dProgressiveListGraphicContainer::Layout()
{
    W2dSimpleListGraphicContainer::Layout();
    const int32_t n = GetChildCount();
    if (n == 0)
        return;
    const uint8_t start[4] = {mStart.red, mStart.green, mStart.blue, mStart.alpha};
    const uint8_t end[4] = {mEnd.red, mEnd.green, mEnd.blue, mEnd.alpha};
    const bool stacked = IsReversed() != 0;
    int32_t step[4], running[4];
    for (int32_t k = 0; k < 4; ++k)
    {
        step[k] = (int32_t(start[k]) - int32_t(end[k])) / n;
        running[k] = stacked ? start[k] : end[k];
    }
    // n steps of (start - end) / n never leave the span between the two colours.
    for (int32_t i = 0; i < n; ++i)
    {
        Rgba before = {uint8_t(running[0]), uint8_t(running[1]), uint8_t(running[2]), uint8_t(running[3])};
        for (int32_t k = 0; k < 4; ++k)
            running[k] += stacked ? -step[k] : step[k];
        Rgba after = {uint8_t(running[0]), uint8_t(running[1]), uint8_t(running[2]), uint8_t(running[3])};
        GetChild(i)->SetCornerColours(after, after, before, before);
    }
}

void W2dProgressiveListGraphicContainer::SetStartColour(const Rgba& colour)
{
    mStart = colour;
}

void W2dProgressiveListGraphicContainer::SetEndColour(const Rgba& colour)
{
    mEnd = colour;
}

// ---- Message list ---------------------------------------------------------------------------------------------

W2dMessageList::W2dMessageList(const char* name) : W2dProgressiveListGraphicContainer(name), mFont(kW2dStandardFont) {}

int32_t W2dMessageList::AddMessage(const char* text, float /*width*/, float /*textSize*/, const char* fontId,
                                   const Rgba& colour)
{
    auto* item = new W2dTextGraphicItem(fontId, nullptr);
    if (!item)
        return 0;
    item->AddRef();
    item->SetPriority(kMessagePriority);
    item->Create();
    item->SetPosition({0.0f, 0.0f, 0.0f});
    item->SetSize({kMessageWidth, kMessageHeight, 0.0f});
    item->SetCharHeight(kMessageCharHeight);
    item->SetText(text ? text : "");
    item->SetJustify(mJustify);
    item->SetColour(colour);

    auto* panel = new W2dFramedPanel();
    if (!panel)
    {
        item->Release();
        item->HbRoot::Release();
        return 0;
    }
    panel->AddRef();
    const Vector frame = {kMessageWidth, kMessageHeight, 0.0f};
    panel->Build({0.0f, 0.0f, 0.0f}, item, 1, &frame);
    panel->Show();
    item->SetPosition(kMessageTextAt);
    // The panel holds the text now, and the list will hold the panel.
    item->HbRoot::Release();
    int32_t added = AddChild(panel);
    if (!added)
        panel->Release();
    panel->HbRoot::Release();
    return added;
}

int32_t W2dMessageList::AddMessage(const char* text, float width, float textSize, const char* fontId)
{
    return AddMessage(text, width, textSize, fontId, Rgba{255, 255, 255, 255});
}

int32_t W2dMessageList::AddMessage(const char* text, float width, float textSize)
{
    return AddMessage(text, width, textSize, mFont.c_str());
}

int32_t W2dMessageList::AddMessage(const char* text)
{
    return AddMessage(text, mSize.x, mTextSize);
}

int32_t W2dMessageList::SetJustify(int32_t kind)
{
    mJustify = kind;
    return 1;
}

int32_t W2dMessageList::SetTextSize(float size)
{
    if (!(size > 0.0f && size <= 1.0f))
        return 0;
    mTextSize = size;
    return 1;
}

int32_t W2dMessageList::SetFont(const char* fontId)
{
    mFont = fontId ? fontId : "";
    return 1;
}

float W2dMessageList::GetTextSize() const
{
    return mTextSize;
}

std::string W2dMessageList::GetFont() const
{
    return mFont;
}

// ---- Timed list ---------------------------------------------------------------------------------------------

W2dTimedListGraphicContainer::W2dTimedListGraphicContainer(const char* name) : W2dSimpleListGraphicContainer(name) {}

int32_t W2dTimedListGraphicContainer::AddChild(W2dGenericItem* item)
{
    // The layout inside may trim the oldest rows, taking their stamps; the new stamp comes after.
    if (!W2dSimpleListGraphicContainer::AddChild(item))
        return 0;
    mStamps.Add(GameNow());
    PlayUnplaced(kTextsOnSound);
    return 1;
}

int32_t W2dTimedListGraphicContainer::Update()
{
    W2dGraphicContainer::Update();
    if (mStamps.GetCount() == 0 || !(mLifetime > 0.0f) || GetChildCount() == 0)
        return 1;
    const int64_t limit = int64_t(double(HbPerformanceFrequency()) * double(mLifetime));
    const int64_t now = GameNow();
    while (GetChildCount() > 0 && mStamps.GetCount() > 0)
    {
        if (now - mStamps[0] <= limit)
            break;
        RemoveFirst();
        PlayUnplaced(kTextsOnSound);
        Layout();
    }
    return 1;
}

int32_t W2dTimedListGraphicContainer::RemoveChildByName(const char* name)
{
    int32_t index = W2dGraphicContainer::RemoveChildByName(name);
    if (index < 0)
        return 0;
    RemoveStamp(index);
    Layout();
    PlayUnplaced(kTextsOffSound);
    return 1;
}

int32_t W2dTimedListGraphicContainer::RemoveChild(W2dGenericItem* item)
{
    int32_t index = W2dGraphicContainer::RemoveChild(item);
    if (index >= 0)
        RemoveStamp(index);
    return index;
}

void W2dTimedListGraphicContainer::RemoveFirst()
{
    if (GetChildCount() == 0)
        return;
    W2dSimpleListGraphicContainer::RemoveFirst();
    RemoveStamp(0);
}

void W2dTimedListGraphicContainer::RemoveLast()
{
    if (GetChildCount() == 0)
        return;
    W2dSimpleListGraphicContainer::RemoveLast();
    RemoveStamp(mStamps.GetCount() - 1);
}

void W2dTimedListGraphicContainer::RemoveAllChildren()
{
    W2dGraphicContainer::RemoveAllChildren();
    mStamps.RemoveAll();
}

int32_t W2dTimedListGraphicContainer::SetLifetime(float seconds)
{
    mLifetime = seconds;
    return 1;
}

int64_t W2dTimedListGraphicContainer::GetStamp(int32_t index) const
{
    return index >= 0 && index < mStamps.GetCount() ? mStamps[index] : 0;
}

void W2dTimedListGraphicContainer::RemoveStamp(int32_t index)
{
    int32_t count = mStamps.GetCount();
    if (index < 0 || index >= count)
        return;
    int64_t* data = mStamps.GetData();
    std::memmove(data + index, data + index + 1, sizeof(int64_t) * size_t(count - index - 1));
    mStamps.SetSize(count - 1);
}
