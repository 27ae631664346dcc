// Button themes: the registry filled in its order with the in-game theme from its maker, keys and
// captions at their places fading in when shown, and captions read anew when a theme is rebuilt.
#include "boardcontrolthemes.h"
#include "framecheck.h"
#include "ui_fixture.h"
#include "w2dgraphiccontainer.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "w2dtextsurface.h"

#include <memory>

namespace uitest
{
namespace
{

const int64_t kT0 = Ticks(20.0);

BoardControl* gBar = nullptr;
bool gOrderSeen = false;

class FakeInGame : public BoardControlTheme
{
};

BoardControlTheme* MakeInGame()
{
    // Registered after 2 and 4, before 5.
    gOrderSeen = gBar->GetTheme(2) && gBar->GetTheme(4) && !gBar->GetTheme(5) && !gBar->GetTheme(1);
    return new FakeInGame;
}

class ButtonThemes : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mClocks->SetReal(kT0);
        mResources->SolidTexture("FE_ESCAPE_KEY_TEX", 64, 48, 0xFFFFFFFFu);
        mResources->SolidTexture("FE_RETURN_KEY_TEX", 64, 48, 0xFFFFFFFFu);
        mResources->Text("TX_MENU_COMMON_BACK_TXT", "Back");
        mResources->Text("TX_VALIDATE_TXT", "Select");
        mBar = std::make_unique<BoardControl>();
        gBar = mBar.get();
        BoardControl::SetInGameThemeFactory(MakeInGame);
        ASSERT_EQ(mBar->CreateThemes(), 1);
    }

    void TearDown() override
    {
        mBar->DestroyAll();
        mBar.reset();
        BoardControl::SetInGameThemeFactory(nullptr);
        gBar = nullptr;
        UiTest::TearDown();
    }

    static Vector At(W2dGenericItem* item)
    {
        Vector v;
        item->GetPosition(&v);
        return v;
    }
    static Vector Size(W2dGenericItem* item)
    {
        Vector v;
        item->GetSize(&v);
        return v;
    }
    static int32_t Justification(W2dTextGraphicItem* caption)
    {
        return static_cast<W2dTextSurface*>(caption->GetSurface())->GetJustification();
    }
    static uint8_t Alpha(W2dGenericItem* item)
    {
        Rgba c[4];
        item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        return c[0].alpha;
    }

    std::unique_ptr<BoardControl> mBar;
};

TEST_F(ButtonThemes, CreateThemesRegistersEveryThemeUnbuiltWithTheInGameOneFromItsMaker)
{
    EXPECT_TRUE(gOrderSeen) << "0, 2, 4, then 1";
    EXPECT_EQ(mBar->GetTheme(0), nullptr);
    EXPECT_NE(dynamic_cast<FakeInGame*>(mBar->GetTheme(1)), nullptr);
    const struct
    {
        int32_t id;
        const HbClassDesc* desc;
    } themes[] = {{2, &BoardControlTheme_Back::sClassDesc},
                  {3, &BoardControlTheme_Next::sClassDesc},
                  {4, &BoardControlTheme_SelectBack::sClassDesc},
                  {5, &BoardControlTheme_Select::sClassDesc},
                  {6, &BoardControlTheme_Map::sClassDesc},
                  {7, &BoardControlTheme_BackNext::sClassDesc},
                  {8, &BoardControlTheme_SelectReturnMainMenu::sClassDesc},
                  {9, &BoardControlTheme_Continue::sClassDesc}};
    for (const auto& t : themes)
    {
        BoardControlTheme* theme = mBar->GetTheme(t.id);
        ASSERT_NE(theme, nullptr) << t.id;
        EXPECT_EQ(theme->GetClassDesc(), t.desc) << t.id;
        EXPECT_TRUE(HbClassDesc::IsKindOf(theme, &BoardControlTheme_Buttons::sClassDesc));
        EXPECT_EQ(theme->IsBuilt(), 0) << t.id;
        EXPECT_EQ(theme->GetRefCount(), 1) << "the registry's reference only";
    }
}

TEST_F(ButtonThemes, BackShowsItsKeyAndCaptionAtTheBottomLeftFadingInOverHalfASecond)
{
    ASSERT_EQ(mBar->BuildTheme(2), 1);
    EXPECT_EQ(mBar->BuildTheme(2), 0) << "built once";
    auto* theme = static_cast<BoardControlTheme_Buttons*>(mBar->GetTheme(2));
    W2dPictureItem* key = theme->GetIcon(4);
    W2dTextGraphicItem* caption = theme->GetCaption(4);
    ASSERT_NE(key, nullptr);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(theme->GetIcon(5), nullptr);
    EXPECT_EQ(theme->GetContainer()->GetChildCount(), 2);
    EXPECT_EQ(key->GetTextureId(), "FE_ESCAPE_KEY_TEX");
    EXPECT_NEAR(Size(key).x, 0.045f, 1e-6f);
    EXPECT_NEAR(At(key).x, 0.05f, 1e-6f);
    EXPECT_NEAR(At(key).y, 0.87f, 1e-6f);
    EXPECT_NEAR(At(caption).x, 0.095f, 1e-6f);
    EXPECT_NEAR(At(caption).y, 0.905f, 1e-6f);
    EXPECT_NEAR(Size(caption).x, 0.4f, 1e-6f);
    EXPECT_NEAR(Size(caption).y, Size(key).y, 1e-6f) << "as high as the key";
    EXPECT_EQ(Justification(caption), W2dTextSurface::kLeft);
    EXPECT_EQ(caption->GetText(), "Back");

    ASSERT_EQ(mBar->PushTheme(2), 1);
    EXPECT_EQ(Alpha(key), 0);
    EXPECT_EQ(Alpha(caption), 0);
    mBar->Update(); // the fades start with the first frame shown
    EXPECT_EQ(Alpha(key), 0);
    mClocks->SetReal(kT0 + Ticks(0.25));
    mBar->Update();
    EXPECT_NEAR(Alpha(key), 127, 2);
    EXPECT_NEAR(Alpha(caption), 127, 2);
    mClocks->SetReal(kT0 + Ticks(0.5));
    mBar->Update();
    EXPECT_EQ(Alpha(key), 255);
    Rgba c[4];
    caption->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0].red, 252);
    EXPECT_EQ(c[0].blue, 121);
    EXPECT_EQ(c[0].alpha, 255);

    // Shown again after a hide, it fades in again.
    mBar->PopTheme(2);
    mBar->PushTheme(2);
    EXPECT_EQ(Alpha(key), 0);
}

TEST_F(ButtonThemes, SelectBackPutsTheSelectCaptionLeftOfItsKeyAndContinueHasFourLines)
{
    ASSERT_EQ(mBar->BuildTheme(4), 1);
    auto* theme = static_cast<BoardControlTheme_Buttons*>(mBar->GetTheme(4));
    ASSERT_NE(theme->GetIcon(4), nullptr);
    W2dPictureItem* key = theme->GetIcon(5);
    W2dTextGraphicItem* caption = theme->GetCaption(5);
    ASSERT_NE(key, nullptr);
    EXPECT_NEAR(At(key).x, 0.905f, 1e-6f);
    EXPECT_NEAR(At(key).y, 0.87f, 1e-6f);
    EXPECT_NEAR(At(caption).x, 0.505f, 1e-6f);
    EXPECT_NEAR(At(caption).x + Size(caption).x, At(key).x, 1e-6f) << "ends at the key's left edge";
    EXPECT_EQ(Justification(caption), W2dTextSurface::kRight);
    EXPECT_EQ(caption->GetText(), "Select");

    ASSERT_EQ(mBar->BuildTheme(9), 1);
    auto* next = static_cast<BoardControlTheme_Buttons*>(mBar->GetTheme(9));
    EXPECT_EQ(next->GetCaption(5)->GetText(), "Continue\nContinuer\nContinuare\nContinuar");
    EXPECT_NEAR(At(next->GetIcon(5)).y, 0.82f, 1e-6f);
    EXPECT_NEAR(At(next->GetCaption(5)).y, 0.87f - 0.08f + 0.005f, 1e-6f);
}

TEST_F(ButtonThemes, TheCaptionsAreDrawnInTheirBoxesBesideTheirKeys)
{
    // Captions in a font whose letters are boxes of ink: "Back" from its box's left edge right
    // of its key, "Select" ending at its key's left edge; each centred in its box, which is as
    // high as the key and 0.035 lower.
    mResources->InkFont(kW2dStandardFont);
    ASSERT_EQ(mBar->BuildTheme(4), 1);
    ASSERT_EQ(mBar->PushTheme(4), 1);
    mBar->Update();
    mClocks->SetReal(kT0 + Ticks(0.5));
    mBar->Update();
    auto* theme = static_cast<BoardControlTheme_Buttons*>(mBar->GetTheme(4));
    W2dPictureItem* back = theme->GetIcon(4);
    W2dPictureItem* select = theme->GetIcon(5);
    ASSERT_NE(back, nullptr);
    ASSERT_NE(select, nullptr);
    const float keyWidth = 0.045f, keyHeight = Size(back).y, letter = 0.04f * kInkFontWidth;
    Rgba c[4];
    theme->GetCaption(4)->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    const uint32_t ink = uint32_t(c[0].red) << 16 | uint32_t(c[0].green) << 8 | c[0].blue;

    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);
    Reference expected(width, height, kClear);
    std::vector<std::vector<float>> rects = {{0.05f, 0.87f, keyWidth, keyHeight}, {0.905f, 0.87f, keyWidth, keyHeight}};
    const float inkTop = 0.905f + (keyHeight - 0.04f) / 2;
    rects.push_back({0.095f, inkTop, 4 * letter, 0.04f});
    rects.push_back({0.905f - 6 * letter, inkTop, 6 * letter, 0.04f});
    expected.Fill(rects[0][0], rects[0][1], rects[0][2], rects[0][3], 0xFFFFFF);
    expected.Fill(rects[1][0], rects[1][1], rects[1][2], rects[1][3], 0xFFFFFF);
    expected.Fill(rects[2][0], rects[2][1], rects[2][2], rects[2][3], ink);
    expected.Fill(rects[3][0], rects[3][1], rects[3][2], rects[3][3], ink);
    for (const auto& r : rects)
        expected.IgnoreEdges(r[0], r[1], r[2], r[3], actual);
    EXPECT_EQ(framecheck::CheckFrame("ui_select_back_theme", width, height, actual, expected.pixels, 3), "");
}

TEST_F(ButtonThemes, ARebuiltThemeReadsItsCaptionsAgain)
{
    ASSERT_EQ(mBar->BuildTheme(2), 1);
    auto* theme = static_cast<BoardControlTheme_Buttons*>(mBar->GetTheme(2));
    EXPECT_EQ(theme->GetCaption(4)->GetText(), "Back");
    EXPECT_EQ(mBar->ReleaseTheme(2), 1);
    EXPECT_EQ(theme->GetIcon(4), nullptr) << "the slots are emptied";
    mResources->Text("TX_MENU_COMMON_BACK_TXT", "Retour");
    ASSERT_EQ(mBar->BuildTheme(2), 1);
    EXPECT_EQ(theme->GetCaption(4)->GetText(), "Retour");
    EXPECT_EQ(theme->GetContainer()->GetChildCount(), 2);
}

} // namespace
} // namespace uitest
