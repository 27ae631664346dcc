// The language choice: each flag names its group; a flag chosen in the first frame hands over in
// the next, loading the group into layer 0 behind the loading screen, building the themes in
// order and starting the intro; the wheel stays held until Leave releases it, once.
#include "frontstart_fixture.h"
#include "gameloadingscreen.h"
#include "gamestatechooselanguage.h"
#include "hbfile.h"
#include "mocircularmenu.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace frontstart
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

} // namespace
} // namespace frontstart
