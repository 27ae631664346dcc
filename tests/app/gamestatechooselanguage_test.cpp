// The language choice: each flag names its group; a flag chosen in the first frame hands over in
// the next, loading the group into layer 0 behind the loading screen, building the themes in
// order on the game's key-hint bar and starting the intro; the wheel stays held until Leave
// releases it, once; a device lost mid-frame comes back and the wheel draws the same.
#include "boardcontrol.h"
#include "camera.h"
#include "framecheck.h"
#include "frontend_fixture.h"
#include "gamekeyhintbar.h"
#include "gameloadingscreen.h"
#include "gamestatechooselanguage.h"
#include "hbfile.h"
#include "mocircularmenu.h"
#include "raster.h"
#include "w2dgraphiccontainer.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

namespace fetest
{
namespace
{

using Language = FrontStart;

GameState_ChooseLanguage* LanguageState(GameStateManager* manager)
{
    return HbCastTo<GameState_ChooseLanguage>(manager->GetCurrentState());
}

struct LoadSeen
{
    bool loadingShown = false;
    bool hookSet = false;
    std::vector<std::string> layer0;
};
LoadSeen* gSeen = nullptr;
GameStateManager* gManager = nullptr;

void OpenedLanguage(const char* name)
{
    if (!gSeen || std::string(name) != "FR.scr")
        return;
    gSeen->loadingShown = gManager->GetLoadingPicture() && gManager->GetLoadingPicture()->IsInserted();
    gSeen->hookSet = HbFileBeforeOpenHook == LoadingTickHook;
    gSeen->layer0 = FrontStart::Layer(0);
}

/// A theme of the bar that keeps the order of the builds.
std::vector<int32_t> gThemesBuilt;
class RecordingTheme : public BoardControlTheme
{
public:
    explicit RecordingTheme(int32_t id) : mId(id) {}
    int32_t Build() override
    {
        gThemesBuilt.push_back(mId);
        return BoardControlTheme::Build();
    }

private:
    int32_t mId;
};

/// The flags' surfaces and the background's, each with a reference of the caller's.
std::vector<W2dSurface*> FlagSurfaces(GameState_ChooseLanguage* state)
{
    std::vector<W2dSurface*> surfaces;
    for (int32_t i = 0; i < state->GetWheel()->GetEntryCount(); ++i)
        if (auto* label = static_cast<W2dSurfaceGraphicItem*>(state->GetWheel()->GetEntry(i)->GetLabel()))
            surfaces.push_back(label->GetSurface());
    surfaces.push_back(state->GetBackground());
    for (W2dSurface* surface : surfaces)
        surface->AddRef();
    return surfaces;
}

/// The wheel at rest on the first flag as a frame of the size: the black background, then the
/// flags 0.2 round the centre, 72 degrees apart, the first one below it; 0.15 wide and, for a 2:1
/// texture on the 4:3 screen, 0.1 high. The others are greyed (150) and 150/255 opaque. The
/// flags' edges are taken from the actual frame.
std::vector<uint32_t> WheelReference(int32_t width, int32_t height, const std::vector<uint32_t>& actual)
{
    uitest::Reference expected(width, height, 0xFF000000u);
    constexpr float kPi = 3.14159265f;
    constexpr float kWidth = 0.15f, kHeight = 0.1f;
    for (int k = 0; k < 5; ++k)
    {
        const float angle = float(k) * 72.0f * kPi / 180.0f;
        const float x = 0.5f - 0.2f * std::sin(angle) - kWidth / 2.0f;
        const float y = 0.5f + 0.2f * std::cos(angle) - kHeight / 2.0f;
        uint32_t rgb = kFlagColours[k] & 0xFFFFFFu;
        if (k == 0)
            expected.Fill(x, y, kWidth, kHeight, rgb);
        else
        {
            uint32_t grey = 0;
            for (int shift = 0; shift <= 16; shift += 8)
                grey |= uint32_t(((rgb >> shift) & 0xFFu) * 150u / 255u) << shift;
            expected.Fill(x, y, kWidth, kHeight, grey, 150);
        }
    }
    for (int k = 0; k < 5; ++k)
    {
        const float angle = float(k) * 72.0f * kPi / 180.0f;
        expected.IgnoreEdges(0.5f - 0.2f * std::sin(angle) - kWidth / 2.0f,
                             0.5f + 0.2f * std::cos(angle) - kHeight / 2.0f, kWidth, kHeight, actual);
    }
    return expected.pixels;
}

TEST_F(Language, EnterPutsTheWheelOfFiveFlagsOverABlackScreenInTheMenuContext)
{
    GameState_ChooseLanguage* state = LanguageState(mManager);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(Layer(2), std::vector<std::string>{"LANGUAGE"});
    EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "Menu");
    MoCircularMenu* wheel = state->GetWheel();
    ASSERT_NE(wheel, nullptr);
    EXPECT_EQ(state->GetInputMenu(), wheel);
    ASSERT_EQ(wheel->GetEntryCount(), GameState_ChooseLanguage::kFlagCount);
    W2dTexturedSurface* background = state->GetBackground();
    ASSERT_NE(background, nullptr);
    EXPECT_TRUE(background->IsInserted());
    EXPECT_EQ(background->GetLayer(), -100);
    EXPECT_EQ(GameState_ChooseLanguage::GetChosenLanguage(), "");
    EXPECT_EQ(GameState_ChooseLanguage::IsLanguageChosen(), 0);
}

TEST_F(Language, EachFlagChoosesItsOwnGroup)
{
    GameState_ChooseLanguage* state = LanguageState(mManager);
    ASSERT_NE(state, nullptr);
    for (int32_t flag = 0; flag < GameState_ChooseLanguage::kFlagCount; ++flag)
    {
        ASSERT_NE(state->GetWheel(), nullptr);
        // A turn of the wheel takes 0.4 s, and input waits for it.
        for (int32_t step = 0; step < flag; ++step)
        {
            Frame(1.0 / 60.0, {VK_RIGHT});
            Frame(0.5);
        }
        Frame(1.0 / 60.0, {VK_RETURN});
        EXPECT_EQ(GameState_ChooseLanguage::GetChosenLanguage(), GameState_ChooseLanguage::kLanguageGroups[flag]);
        EXPECT_EQ(GameState_ChooseLanguage::IsLanguageChosen(), 1);
        EXPECT_EQ(Current(), kGameStateChooseLanguage) << "the hand-over waits for the next update";
        // The wheel's handler refused the choice (no menu back): the state keeps the wheel.
        EXPECT_EQ(state->GetInputMenu(), state->GetWheel());
        state->Leave();
        state->Enter();
    }
}

TEST_F(Language, AFlagChosenInTheFirstFrameLoadsItsGroupBehindTheLoadingScreenThenStartsTheIntro)
{
    GameState_ChooseLanguage* state = LanguageState(mManager);
    ASSERT_NE(state, nullptr);
    std::vector<W2dSurface*> flags = FlagSurfaces(state);
    // The wheel at rest on the second flag from the start.
    state->GetWheel()->SetCurrentIndex(1);
    state->GetWheel()->SetMoving(0);
    // The bar's themes, recording the order they are built in.
    BoardControl* bar = GameKeyHintBar();
    bar->DestroyAll();
    gThemesBuilt.clear();
    for (int32_t id = 1; id <= 9; ++id)
    {
        auto* theme = new RecordingTheme(id);
        theme->AddRef();
        bar->RegisterTheme(id, theme);
        theme->HbRoot::Release();
    }
    Frame(1.0 / 60.0, {VK_RETURN});
    EXPECT_EQ(Current(), kGameStateChooseLanguage);
    EXPECT_TRUE(gThemesBuilt.empty());

    LoadSeen seen;
    gSeen = &seen;
    gManager = mManager;
    HbFileNameHook = OpenedLanguage;
    Frame();
    HbFileNameHook = nullptr;
    gSeen = nullptr;

    EXPECT_TRUE(seen.loadingShown) << "the loading picture is up while the group loads";
    EXPECT_TRUE(seen.hookSet);
    EXPECT_EQ(seen.layer0, (std::vector<std::string>{"loading", "FR"})) << "the loading group came first";
    EXPECT_EQ(gThemesBuilt, (std::vector<int32_t>{2, 4, 8, 5, 3, 6, 7}));
    for (int32_t id : {2, 4, 8, 5, 3, 6, 7})
        EXPECT_EQ(bar->GetTheme(id)->GetState(), BoardControlTheme::kBuilt) << "built, then hidden: " << id;
    EXPECT_EQ(Current(), kGameStateIntro);
    EXPECT_NE(ResourceGroupFind("FR"), nullptr);
    EXPECT_EQ(ResourceGroupFind("LANGUAGE"), nullptr);
    const std::vector<std::string> layer0 = Layer(0);
    EXPECT_NE(std::find(layer0.begin(), layer0.end(), "FR"), layer0.end());
    // The wheel, its five flags and the background are gone; the context pushed is popped.
    EXPECT_EQ(state->GetWheel(), nullptr);
    EXPECT_EQ(state->GetBackground(), nullptr);
    for (W2dSurface* surface : flags)
    {
        EXPECT_FALSE(surface->IsInserted());
        surface->Release();
    }
    EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "Default");
    // The preferences were applied, which writes them.
    EXPECT_FALSE(renderertest::ReadFile("gprefs.dat").empty());
}

TEST_F(Language, TheHandOverBuildsTheGamesOwnThemesHiddenAndNoOthers)
{
    BoardControl* bar = GameKeyHintBar();
    ASSERT_NE(bar->GetTheme(2), nullptr) << "the start-up made the themes";
    Frame(1.0 / 60.0, {VK_RETURN});
    Frame();
    ASSERT_EQ(Current(), kGameStateIntro);
    for (int32_t id : {2, 4, 8, 5, 3, 6, 7})
    {
        ASSERT_NE(bar->GetTheme(id), nullptr) << id;
        EXPECT_EQ(bar->GetTheme(id)->GetState(), BoardControlTheme::kBuilt) << "built, then hidden: " << id;
        ASSERT_NE(bar->GetTheme(id)->GetContainer(), nullptr) << id;
        EXPECT_GT(bar->GetTheme(id)->GetContainer()->GetChildCount(), 0) << "its keys and captions: " << id;
    }
    EXPECT_EQ(bar->GetTheme(9)->IsBuilt(), 0);
}

TEST_F(Language, TheMainMenuAfterTheIntroShowsItsKeyHintsOnTheBuiltThemesAndTakesThemAlong)
{
    Frame(1.0 / 60.0, {VK_RETURN});
    Frame();
    ASSERT_EQ(Current(), kGameStateIntro);
    Frame(1.0 / 60.0, {VK_SPACE});
    ASSERT_EQ(Current(), kGameStateMainMenu);
    for (int i = 0; i < 30; ++i)
        Frame(0.1);
    // The open main menu's select hint is on top of the bar, shown with its keys.
    BoardControl* bar = GameKeyHintBar();
    EXPECT_EQ(bar->GetTopThemeId(), 5);
    BoardControlTheme* select = bar->GetTheme(5);
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(select->GetState(), BoardControlTheme::kBuilt | BoardControlTheme::kShown);
    ASSERT_NE(select->GetContainer(), nullptr);
    EXPECT_FALSE(select->GetContainer()->IsHidden());

    // The new-game page's select-and-back hint covers it; a difficulty leaves the menu, which
    // takes its hints with it.
    Frame(1.0 / 60.0, {VK_RETURN});
    for (int i = 0; i < 10; ++i)
        Frame(0.1);
    EXPECT_EQ(bar->GetTopThemeId(), 4);
    EXPECT_EQ(select->GetState(), BoardControlTheme::kBuilt) << "hidden under the page's";
    Frame(1.0 / 60.0, {VK_RETURN});
    for (int i = 0; i < 10 && Current() == kGameStateMainMenu; ++i)
        Frame(0.1);
    EXPECT_NE(Current(), kGameStateMainMenu);
    EXPECT_EQ(bar->GetTopThemeId(), 0);
}

TEST_F(Language, LeaveReleasesTheWheelOnceAndPopsTheMenuContext)
{
    GameState_ChooseLanguage* state = LanguageState(mManager);
    ASSERT_NE(state, nullptr);
    const int32_t surfaces = SurfaceCount();
    Frame(); // the labels are laid out and shown
    state->Leave();
    EXPECT_EQ(state->GetWheel(), nullptr);
    EXPECT_EQ(state->GetInputMenu(), nullptr);
    EXPECT_EQ(SurfaceCount(), surfaces - 6);
    EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "Default");
    state->Leave();
    EXPECT_EQ(SurfaceCount(), surfaces - 6);
    EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "Default");
    state->Enter();
}

TEST_F(Language, TheWheelDrawsItsFiveFlagsRoundTheCentreTheCurrentOneLit)
{
    GameState_ChooseLanguage* state = LanguageState(mManager);
    ASSERT_NE(state, nullptr);
    Frame(); // the wheel lays its labels out and lights them
    Frame();

    // Drawn into a 128 x 128 target of the screen's camera.
    constexpr int32_t kSide = 128;
    constexpr uint32_t kClearColour = 0xFF203040u;
    Camera* camera = WRenderer::Existing()->GetSurfaceList()->GetCamera();
    ASSERT_NE(camera, nullptr);
    Raster* screen = camera->frameBuffer;
    Raster* depth = camera->zBuffer;
    camera->frameBuffer = Raster::Create(kSide, kSide, 0, kRasterTypeCamera);
    camera->zBuffer = Raster::Create(kSide, kSide, 0, kRasterTypeZBuffer);
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual =
        uitest::DrawSurfaces(WRenderer::Existing()->GetSurfaceList(), kClearColour, &width, &height);
    Raster::Destroy(camera->frameBuffer);
    Raster::Destroy(camera->zBuffer);
    camera->frameBuffer = screen;
    camera->zBuffer = depth;
    ASSERT_EQ(width, kSide);
    ASSERT_EQ(height, kSide);

    const std::vector<uint32_t> expected = WheelReference(width, height, actual);
    EXPECT_EQ(framecheck::CheckFrame("language_wheel", width, height, actual, expected, 4), "");
}

TEST_F(Language, ADeviceLostMidFrameComesBackAndTheNextFrameDrawsTheWheelAgain)
{
    GameState_ChooseLanguage* state = LanguageState(mManager);
    ASSERT_NE(state, nullptr);
    Frame();
    Frame();
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> before = ReadScreen(&width, &height);
    ASSERT_EQ(width, 640);
    EXPECT_EQ(framecheck::CheckFrame("language_wheel_before_loss", width, height, before,
                                     WheelReference(width, height, before), 4),
              "");

    LoseDeviceInNextFrame();
    Frame();
    Frame(); // still lost: the frames draw nothing, the wheel keeps going
    EXPECT_EQ(Current(), kGameStateChooseLanguage);
    ASSERT_NE(state->GetWheel(), nullptr);
    EXPECT_EQ(RecoveringFrame([this] { Frame(); }), "");
    const std::vector<uint32_t> after = ReadScreen(&width, &height);
    ASSERT_EQ(width, 640);
    EXPECT_EQ(framecheck::CheckFrame("language_wheel_after_loss", width, height, after,
                                     WheelReference(width, height, after), 4),
              "");

    // The wheel still answers: a flag chosen after the loss hands over as before.
    Frame(1.0 / 60.0, {VK_RETURN});
    Frame();
    EXPECT_EQ(Current(), kGameStateIntro);
}

} // namespace
} // namespace fetest
