// Button themes: the five key places, one key and caption filled per place with their fades, the eight
// themes' choices of places, and the registration of every theme of the bar.
#include "boardcontrolthemes.h"

#include "hbclock.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

HB_DEFINE_CLASS_DESC(BoardControlTheme_Buttons, BoardControlTheme);
HB_DEFINE_CLASS_DESC(BoardControlTheme_Back, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_Next, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_SelectBack, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_Select, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_Map, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_BackNext, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_SelectReturnMainMenu, BoardControlTheme_Buttons);
HB_DEFINE_CLASS_DESC(BoardControlTheme_Continue, BoardControlTheme_Buttons);

namespace
{
constexpr float kKeyWidth = 0.045f;
constexpr float kMargin = 0.05f;
constexpr float kGap = 0.01f;
constexpr float kRowStep = kKeyWidth + 0.002f;
constexpr float kTopRow = 0.15f;
constexpr float kBottomRow = 0.87f;
constexpr float kCaptionWidth = 0.4f;
constexpr float kCaptionOffset = 0.03f;
constexpr float kCaptionRise = 0.005f;
constexpr Rgba kCaptionColour = {252, 196, 121, 255};

const char* const kEscapeKey = "FE_ESCAPE_KEY_TEX";
const char* const kReturnKey = "FE_RETURN_KEY_TEX";
const char* const kBackText = "TX_MENU_COMMON_BACK_TXT";
const char* const kValidateText = "TX_VALIDATE_TXT";
const char* const kNextText = "TX_NEXT_TXT";

const Vector kCaptionBox = {kCaptionWidth, 0.0f, 0.0f};

template <typename T> void DropSlot(T*& slot)
{
    if (slot)
    {
        T* held = slot;
        slot = nullptr;
        held->HbRoot::Release();
    }
}

void FadeIn(W2dGenericItem* item, const Rgba& to)
{
    const Rgba from = {0, 0, 0, 0};
    auto* fade = new W2dColourFadeEffect(int64_t(0.5 * double(HbPerformanceFrequency())), &from, &to, 0);
    fade->AddRef();
    item->AddEffect(fade);
    fade->Begin(item);
    fade->HbRoot::Release();
}
} // namespace

const Vector BoardControlTheme_Buttons::kPlaceA = {1.0f - kMargin - kKeyWidth, kTopRow + kGap, 0.0f};
const Vector BoardControlTheme_Buttons::kPlaceB = {1.0f - kMargin - kKeyWidth, kTopRow + kGap + kRowStep + kGap, 0.0f};
const Vector BoardControlTheme_Buttons::kPlaceC = {kMargin, kBottomRow, 0.0f};
const Vector BoardControlTheme_Buttons::kPlaceD = {kMargin, kBottomRow - kGap - kRowStep, 0.0f};
const Vector BoardControlTheme_Buttons::kPlaceE = {1.0f - kMargin - kKeyWidth, kBottomRow, 0.0f};

int32_t BoardControlTheme_Buttons::Release()
{
    for (int32_t i = 0; i < 5; ++i)
    {
        DropSlot(mIcons[i]);
        DropSlot(mCaptions[i]);
    }
    return BoardControlTheme::Release();
}

int32_t BoardControlTheme_Buttons::SetButton(W2dPictureItem*& icon, const Vector& keyPosition, float keyWidth,
                                             W2dTextGraphicItem*& caption, const Vector& captionPosition,
                                             const Vector& captionWidth, int32_t justify, const char* text,
                                             const char* keyTexture)
{
    if (!mContainer)
        return 0;
    if (icon)
    {
        mContainer->RemoveChild(icon);
        DropSlot(icon);
    }
    if (caption)
    {
        mContainer->RemoveChild(caption);
        DropSlot(caption);
    }
    icon = new W2dPictureItem(keyTexture, -1.0f, nullptr);
    icon->AddRef();
    icon->SetPriority(101);
    mContainer->AddChild(icon);
    caption = new W2dTextGraphicItem(kW2dStandardFont, nullptr);
    caption->AddRef();
    caption->SetPriority(101);
    mContainer->AddChild(caption);
    mContainer->Create();

    icon->SetWidth(keyWidth);
    icon->SetPosition(keyPosition);
    FadeIn(icon, {255, 255, 255, 255});

    // The caption box is as high as the key.
    Vector size = {0.0f, 0.0f, 0.0f};
    icon->GetSize(&size);
    size.x = captionWidth.x;
    caption->SetSize(size);
    caption->SetCharHeight(0.04f);
    caption->SetPosition({captionPosition.x, captionPosition.y + kCaptionRise, captionPosition.z});
    caption->SetText(text ? text : "");
    caption->SetJustify(justify);
    caption->SetColour(kCaptionColour);
    FadeIn(caption, kCaptionColour);
    return 1;
}

int32_t BoardControlTheme_Buttons::SetButton1(const char* text, const char* key)
{
    const Vector& a = kPlaceA;
    return SetButton(mIcons[0], a, kKeyWidth, mCaptions[0],
                     {a.x - kCaptionWidth, a.y + (kRowStep - kCaptionOffset) * 0.5f, a.z}, kCaptionBox, 2, text, key);
}

int32_t BoardControlTheme_Buttons::SetButton2(const char* text, const char* key)
{
    const Vector& b = kPlaceB;
    return SetButton(mIcons[1], b, kKeyWidth, mCaptions[1],
                     {b.x - kCaptionWidth, b.y + (kRowStep - kCaptionOffset) * 0.5f, b.z}, kCaptionBox, 2, text, key);
}

int32_t BoardControlTheme_Buttons::SetButton3(const char* text, const char* key)
{
    const Vector& d = kPlaceD;
    return SetButton(mIcons[2], d, kKeyWidth, mCaptions[2],
                     {d.x + kKeyWidth, d.y + (kRowStep - kCaptionOffset) * 0.5f, d.z}, kCaptionBox, 1, text, key);
}

int32_t BoardControlTheme_Buttons::SetButton4(const char* text, const char* key)
{
    const Vector& c = kPlaceC;
    return SetButton(mIcons[3], c, kKeyWidth, mCaptions[3], {c.x + kKeyWidth, c.y + kCaptionOffset, c.z},
                     kCaptionBox, 1, text, key);
}

int32_t BoardControlTheme_Buttons::SetButton5(const char* text, const char* key)
{
    const Vector& e = kPlaceE;
    return SetButton(mIcons[4], e, kKeyWidth, mCaptions[4], {e.x - kCaptionWidth, e.y + kCaptionOffset, e.z},
                     kCaptionBox, 2, text, key);
}

// ---- The themes -------------------------------------------------------------------------------------------

namespace
{
std::string Text(const char* id)
{
    return GetLocalizedText(id);
}
} // namespace

int32_t BoardControlTheme_Back::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    return SetButton4(Text(kBackText).c_str(), kEscapeKey);
}

int32_t BoardControlTheme_Next::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    return SetButton5(Text(kNextText).c_str(), kReturnKey);
}

int32_t BoardControlTheme_SelectBack::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    SetButton4(Text(kBackText).c_str(), kEscapeKey);
    return SetButton5(Text(kValidateText).c_str(), kReturnKey);
}

int32_t BoardControlTheme_Select::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    return SetButton5(Text(kValidateText).c_str(), kReturnKey);
}

int32_t BoardControlTheme_Map::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    SetButton4(Text("TX_MENU_PAUSE_CONTINUE_TXT").c_str(), kEscapeKey);
    return SetButton5(Text("TX_FOCUS_TXT").c_str(), kReturnKey);
}

int32_t BoardControlTheme_BackNext::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    SetButton4(Text(kBackText).c_str(), kEscapeKey);
    return SetButton5(Text(kNextText).c_str(), kReturnKey);
}

int32_t BoardControlTheme_SelectReturnMainMenu::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    SetButton4(Text("TX_MENU_MAIN_MENU_TXT").c_str(), kEscapeKey);
    return SetButton5(Text(kValidateText).c_str(), kReturnKey);
}

int32_t BoardControlTheme_Continue::Build()
{
    if (!BoardControlTheme::Build())
        return 0;
    // One line per language, whatever language was chosen.
    const Vector& e = kPlaceE;
    return SetButton(mIcons[4], {e.x, e.y - 0.05f, e.z}, kKeyWidth, mCaptions[4],
                     {e.x - kCaptionWidth, e.y - kCaptionOffset - 0.05f, e.z}, kCaptionBox, 2,
                     "Continue\nContinuer\nContinuare\nContinuar", kReturnKey);
}

// ---- Registration -----------------------------------------------------------------------------------------

namespace
{
BoardControl::ThemeFactory sInGameFactory = nullptr;

template <class Theme> void RegisterNew(BoardControl* bar, int32_t id)
{
    BoardControlTheme* theme = new Theme;
    theme->AddRef();
    bar->RegisterTheme(id, theme);
    theme->HbRoot::Release();
}
} // namespace

void BoardControl::SetInGameThemeFactory(ThemeFactory factory)
{
    sInGameFactory = factory;
}

int32_t BoardControl::CreateThemes()
{
    RegisterTheme(0, nullptr);
    RegisterNew<BoardControlTheme_Back>(this, 2);
    RegisterNew<BoardControlTheme_SelectBack>(this, 4);
    // The head-up display's theme comes from the layer that owns it; without one the id is a blank face.
    BoardControlTheme* inGame = sInGameFactory ? sInGameFactory() : nullptr;
    if (inGame)
        inGame->AddRef();
    RegisterTheme(1, inGame);
    if (inGame)
        inGame->HbRoot::Release();
    RegisterNew<BoardControlTheme_Select>(this, 5);
    RegisterNew<BoardControlTheme_SelectReturnMainMenu>(this, 8);
    RegisterNew<BoardControlTheme_Next>(this, 3);
    RegisterNew<BoardControlTheme_Map>(this, 6);
    RegisterNew<BoardControlTheme_BackNext>(this, 7);
    RegisterNew<BoardControlTheme_Continue>(this, 9);
    return 1;
}
