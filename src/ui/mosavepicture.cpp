// Save cards: the mission picture and three texts in framed panels, the play time as hours, minutes and
// seconds, and colours that never go below 50 so a card never disappears entirely.
#include "mosavepicture.h"

#include "hbclock.h"
#include "w2dframedpanel.h"
#include "w2dmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cstdio>

HB_DEFINE_CLASS_DESC(MoSavePicture, W2dGraphicContainer);

namespace
{
constexpr Vector kPictureSize = {0.304384f, 0.34375f, 0.0f};
constexpr Vector kPicturePanelSize = {0.220634f, 0.21875f, 0.0f};
constexpr Vector kTextSize = {0.304384f, 0.0625f, 0.0f};
constexpr float kLeft = 0.015625f;
constexpr float kNameY = 0.015625f;
constexpr float kPictureY = 0.115625f;
constexpr float kDifficultyY = 0.366875f;
constexpr float kPlayTimeY = 0.466875f;

W2dTextGraphicItem* MakeText()
{
    auto* text = new W2dTextGraphicItem(W2dMenu::kMenuFont, nullptr);
    text->AddRef();
    text->SetPriority(92);
    text->Create();
    text->SetCharHeight(0.04f);
    text->SetJustify(0);
    text->SetSize(kTextSize);
    return text;
}

template <typename T> void Drop(T*& item)
{
    if (!item)
        return;
    T* held = item;
    item = nullptr;
    held->Release();
    held->HbRoot::Release();
}

uint8_t AtLeast50(uint8_t value)
{
    return value < 50 ? 50 : value;
}
} // namespace

MoSavePicture::MoSavePicture(const char* name) : W2dGraphicContainer(name) {}

int32_t MoSavePicture::Build(int32_t mission)
{
    // The mission comes from a save file: one outside the table builds nothing.
    if (mission < 0 || mission >= kMissionCount)
        return 0;
    if (mPicture || mName || mPlayTime)
        return 1;
    char texture[32];
    std::snprintf(texture, sizeof texture, "FE_MISSION%d_PIC_TEX", int(mission + 1));
    mPicture = new W2dPictureItem(texture, -1.0f, nullptr);
    mPicture->AddRef();
    mPicture->SetPriority(91);
    mName = MakeText();
    mPlayTime = MakeText();
    W2dTextGraphicItem* difficulty = MakeText();
    if (!Create())
    {
        difficulty->HbRoot::Release();
        return 0;
    }
    SetFlag(kFitToChildren);

    Vector origin = {0.0f, 0.0f, 0.0f};
    GetPosition(&origin);
    auto at = [&](float y) { return Vector{origin.x + kLeft, origin.y + y, origin.z}; };
    auto panel = [&](W2dGenericItem* content, float y, const Vector* size)
    {
        auto* framed = new W2dFramedPanel;
        framed->AddRef();
        framed->Build(at(y), content, 1, size);
        AddChild(framed);
        return framed;
    };

    mPicture->Create();
    mPicture->SetSize(kPictureSize);
    mPicture->SetPosition(at(kPictureY));
    mPicturePanel = panel(mPicture, kPictureY, &kPicturePanelSize);
    mPicturePanel->Show();

    SetPlayTime(0);
    SetName(GetLocalizedText("TX_MENU_SAVE_NEW_FILE_TXT").c_str());
    mNamePanel = panel(mName, kNameY, nullptr);
    mDifficultyPanel = panel(difficulty, kDifficultyY, nullptr);
    difficulty->HbRoot::Release();
    mPlayTimePanel = panel(mPlayTime, kPlayTimeY, nullptr);
    return 1;
}

int32_t MoSavePicture::SetName(const char* text)
{
    if (mName)
        mName->SetText(text ? text : "");
    return 1;
}

int32_t MoSavePicture::SetPlayTime(int64_t ticks)
{
    int64_t frequency = HbPerformanceFrequency();
    int64_t s = frequency > 0 ? ticks / frequency : 0;
    if (s < 0)
        s = 0;
    char text[32];
    if (s / 3600 >= 9999)
        std::snprintf(text, sizeof text, "9999:59:59");
    else
        std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", int(s / 3600), int(s % 3600 / 60), int(s % 60));
    if (mPlayTime)
        mPlayTime->SetText(text);
    return 1;
}

int32_t MoSavePicture::SetDifficulty(int32_t difficulty)
{
    static const char* const kTexts[3] = {"TX_MENU_DIFFICULTY_EASY_TXT", "TX_MENU_DIFFICULTY_NORMAL_TXT",
                                          "TX_MENU_DIFFICULTY_HARD_TXT"};
    if (!mDifficultyPanel || difficulty < 0 || difficulty > 2)
        return 0;
    W2dGenericItem* content = mDifficultyPanel->GetContent();
    if (!content || !HbClassDesc::IsKindOf(content, &W2dTextGraphicItem::sClassDesc))
        return 0;
    static_cast<W2dTextGraphicItem*>(content)->SetText(GetLocalizedText(kTexts[difficulty]).c_str());
    return 1;
}

int32_t MoSavePicture::ShowHighlight(int32_t flag)
{
    if (!mPicture)
        return 0;
    if (flag)
        mPicture->Show();
    else
        mPicture->Hide();
    return 1;
}

int32_t MoSavePicture::SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3)
{
    auto raise = [](const Rgba& c)
    { return Rgba{AtLeast50(c.red), AtLeast50(c.green), AtLeast50(c.blue), AtLeast50(c.alpha)}; };
    Rgba r0 = raise(c0), r1 = raise(c1), r2 = raise(c2), r3 = raise(c3);
    for (int32_t i = 0; i < GetChildCount(); ++i)
        GetChild(i)->SetCornerColours(r0, r1, r2, r3);
    return 1;
}

int32_t MoSavePicture::Release()
{
    int32_t result = W2dGraphicContainer::Release();
    Drop(mPicture);
    Drop(mName);
    Drop(mSpare);
    Drop(mPlayTime);
    Drop(mPicturePanel);
    Drop(mPlayTimePanel);
    Drop(mNamePanel);
    Drop(mDifficultyPanel);
    return result;
}
