// The game manager: the deferred switch of the current state, the order of the profile's
// requests, quitting, the graph it builds, the start-up and shut-down steps in order, the
// renderer's depth retries and its fatal end.
#include "gameprofile.h"
#include "gameservices.h"
#include "gameservicesdefaults.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "hbexitlist.h"
#include "hbmoduleinit.h"
#include "resourcegroups.h"
#include "sectordatamanager.h"
#include "wrenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{
std::vector<std::string>* gSteps = nullptr;

void Record(const char* step)
{
    if (gSteps)
        gSteps->push_back(step);
}

// A state that may switch during its update.
class ScriptedState : public GameState
{
public:
    explicit ScriptedState(int32_t id) : GameState(id) {}
    void Leave() override { ++leaves; }
    void Update() override
    {
        ++updates;
        if (switchTo)
        {
            SwitchTo(std::exchange(switchTo, 0));
            seenAfterSwitch = GameStateManager::Existing()->GetCurrentState();
        }
    }
    void Enter() override
    {
        GameState::Enter();
        ++enters;
    }
    int32_t switchTo = 0;
    GameState* seenAfterSwitch = nullptr;
    int updates = 0;
    int enters = 0;
    int leaves = 0;
};

// Runs in a fresh working directory (no gprefs.dat) with the least service table and an
// observer; the renderer fixture's application object holds the window state.
class GameManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mOldDirectory = std::filesystem::current_path();
        mDirectory =
            std::filesystem::temp_directory_path() / ("gamemanager_test_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(mDirectory);
        std::filesystem::current_path(mDirectory);
        GameServicesTable() = GameServicesLeast();
        GameServicesTable().observe = Record;
        gSteps = &mSteps;
        mManager = GameStateManager::Instance();
    }
    void TearDown() override
    {
        gSteps = nullptr;
        if (GameState* state = mManager->GetCurrentState())
        {
            mManager->SetCurrentState(nullptr);
            delete state;
        }
        mManager->SetProfile(nullptr);
        ResourceGroupUnloadAll();
        // The language choice's 2D items made a renderer when the start-up had none.
        WRenderer::DestroyInstance();
        GameServicesTable() = GameServicesLeast();
        std::filesystem::current_path(mOldDirectory);
        std::filesystem::remove_all(mDirectory);
    }

    // Stage (6) and the cinematic (17), main menu (1), label (18) and their ways, the stage
    // current, all sharing one profile.
    void BuildSmallGraph()
    {
        mProfile = new GameProfile();
        mManager->SetProfile(mProfile);
        mStage = new ScriptedState(kGameStateStage);
        mCinematic = new ScriptedState(kGameStateCinematic);
        mMainMenu = new ScriptedState(kGameStateMainMenu);
        mLabel = new ScriptedState(kGameStateLabel);
        for (GameState* to : {static_cast<GameState*>(mCinematic), static_cast<GameState*>(mMainMenu),
                              static_cast<GameState*>(mLabel), static_cast<GameState*>(mStage)})
            mStage->AddTransition(to, 0);
        mCinematic->AddTransition(mStage, 0);
        mMainMenu->AddTransition(mStage, 0);
        mLabel->AddTransition(mStage, 0);
        mStage->SetProfile(mProfile);
        mStage->Enter();
        mManager->SetCurrentState(mStage);
    }

    std::filesystem::path mOldDirectory;
    std::filesystem::path mDirectory;
    std::vector<std::string> mSteps;
    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
    ScriptedState* mStage = nullptr;
    ScriptedState* mCinematic = nullptr;
    ScriptedState* mMainMenu = nullptr;
    ScriptedState* mLabel = nullptr;
};

TEST_F(GameManagerTest, StateSwitchingInItsUpdateStaysCurrentUntilTheTickEnds)
{
    BuildSmallGraph();
    mStage->switchTo = kGameStateMainMenu;
    ASSERT_EQ(mManager->Tick(), 1);
    EXPECT_EQ(mStage->seenAfterSwitch, mMainMenu) << "the new state answers from the moment of the switch";
    EXPECT_EQ(mMainMenu->enters, 1);
    EXPECT_EQ(mMainMenu->updates, 0) << "the new state's first update is in the next tick";
    EXPECT_EQ(mManager->GetCurrentState(), mMainMenu);
    ASSERT_EQ(mManager->Tick(), 1);
    EXPECT_EQ(mMainMenu->updates, 1);
    EXPECT_EQ(mStage->updates, 1);
}

TEST_F(GameManagerTest, GetCurrentStateAnswersThePendingStateFromTheSwitch)
{
    BuildSmallGraph();
    EXPECT_EQ(mManager->GetCurrentState(), mStage);
    mStage->SwitchTo(kGameStateLabel);
    EXPECT_EQ(mManager->GetCurrentState(), mLabel);
}

TEST_F(GameManagerTest, OnlyTheFirstRaisedRequestIsServedPerTick)
{
    BuildSmallGraph();
    mProfile->stageRequest = 1;
    mManager->RequestCinematic("INTRO_VIDEO", 1, kGameStateMainMenu);
    EXPECT_EQ(mProfile->cinematicVideo, "INTRO_VIDEO");
    EXPECT_EQ(mProfile->cinematicSkippable, 1);
    EXPECT_EQ(mProfile->stateAfterCinematic, kGameStateMainMenu);

    mManager->Tick();
    EXPECT_EQ(mManager->GetCurrentState(), mCinematic);
    EXPECT_EQ(mProfile->cinematicRequest, 0);
    EXPECT_EQ(mProfile->stageRequest, 1) << "served in the next tick";
    mManager->Tick();
    EXPECT_EQ(mManager->GetCurrentState(), mStage);
    EXPECT_EQ(mProfile->stageRequest, 0);
}

TEST_F(GameManagerTest, RequestWaitsWhileTheStateHasAlreadySwitched)
{
    BuildSmallGraph();
    mStage->switchTo = kGameStateMainMenu;
    mProfile->labelRequest = 1;
    mManager->Tick();
    EXPECT_EQ(mManager->GetCurrentState(), mMainMenu);
    EXPECT_EQ(mLabel->enters, 0);
    EXPECT_EQ(mStage->leaves, 1);
    EXPECT_EQ(mProfile->labelRequest, 1);
}

TEST_F(GameManagerTest, NoRequestIsServedWhileAnOverlayIsPushedOverTheState)
{
    struct Case
    {
        const char* name;
        int32_t GameProfile::*request;
        int32_t target;
    };
    const Case cases[] = {{"stage", &GameProfile::stageRequest, kGameStateStage},
                          {"label", &GameProfile::labelRequest, kGameStateLabel},
                          {"cinematic", &GameProfile::cinematicRequest, kGameStateCinematic}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        BuildSmallGraph();
        auto* pause = new ScriptedState(kGameStateStageMenu);
        mStage->AddTransition(pause, 1);
        pause->AddTransition(mStage, 0);

        // The pause menu opens in the frame the request is raised.
        mStage->switchTo = kGameStateStageMenu;
        mProfile->*c.request = 1;
        mManager->Tick();
        EXPECT_EQ(mManager->GetCurrentState(), mStage);
        EXPECT_TRUE(mStage->IsSuspended());
        EXPECT_TRUE(pause->IsEntered());
        EXPECT_EQ(mStage->leaves, 0);
        EXPECT_EQ(mProfile->*c.request, 1) << "it waits for the overlay to go";
        mManager->Tick();
        EXPECT_EQ(pause->updates, 1) << "the pause menu still runs";

        // The pause menu closes; the request is served on the stage as it stands.
        pause->switchTo = kGameStateStage;
        mManager->Tick();
        EXPECT_FALSE(mStage->IsSuspended());
        mManager->Tick();
        EXPECT_EQ(mProfile->*c.request, 0);
        GameState* current = mManager->GetCurrentState();
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(current->GetId(), c.target);
        EXPECT_EQ(mStage->leaves, 1);
        if (c.target == kGameStateStage)
        {
            EXPECT_EQ(mStage->enters, 2) << "entered again, not resumed";
        }

        mManager->SetCurrentState(nullptr);
        delete mStage; // and every state reachable from it
        mManager->SetProfile(nullptr);
    }
}

TEST_F(GameManagerTest, UndeclaredRequestChangesNothingAndStaysRaised)
{
    BuildSmallGraph();
    mStage->switchTo = kGameStateLabel; // the label state declares no cinematic
    mManager->Tick();
    ASSERT_EQ(mManager->GetCurrentState(), mLabel);
    mProfile->cinematicRequest = 1;
    mManager->Tick();
    EXPECT_EQ(mManager->GetCurrentState(), mLabel);
    EXPECT_EQ(mProfile->cinematicRequest, 1);
    EXPECT_EQ(mCinematic->enters, 0);
}

TEST_F(GameManagerTest, QuitRequestEndsTheGameWithoutMakingTheSwitchCurrent)
{
    BuildSmallGraph();
    mStage->switchTo = kGameStateMainMenu;
    mProfile->quitRequest = 1;
    EXPECT_EQ(mManager->Tick(), 0);
    EXPECT_EQ(mStage->GetPending(), mMainMenu);
    mManager->SetCurrentState(nullptr);
    delete mStage;
}

TEST_F(GameManagerTest, WorldResetRepeatsEachTickAndIsNotCleared)
{
    BuildSmallGraph();
    static int sHeroClears;
    sHeroClears = 0;
    GameServicesTable().scriptHasHero = [] { return int32_t{1}; };
    GameServicesTable().scriptClearHero = [] { ++sHeroClears; };
    *mProfile->globalInventory.FindOrInsert("KEY_RED") = nullptr;
    mProfile->worldResetRequest = 1;
    mManager->Tick();
    mManager->Tick();
    EXPECT_EQ(sHeroClears, 2);
    EXPECT_EQ(mProfile->worldResetRequest, 1);
    EXPECT_EQ(mProfile->globalInventory.Find("KEY_RED"), nullptr);
    EXPECT_EQ(mManager->GetCurrentState(), mStage);
}

TEST_F(GameManagerTest, TimedActionCompletesOnceAfterItsDuration)
{
    static int sTicks, sDone;
    sTicks = sDone = 0;
    GameTimedAction& action = mManager->GetTimedAction();
    action.start = 1;
    action.duration = 0;
    action.perTick = [](void*) { ++sTicks; };
    action.completion = [](void*) { ++sDone; };
    HbRealClock::Instance()->Tick();
    mManager->Tick();
    mManager->Tick();
    EXPECT_EQ(sTicks, 1);
    EXPECT_EQ(sDone, 1);
    EXPECT_EQ(action.start, 0);
}

TEST_F(GameManagerTest, BuildStatesMakesTheDeclaredGraphWithTheLanguageChoiceFirst)
{
    mManager->BuildStates();
    GameState* language = mManager->GetCurrentState();
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->GetId(), kGameStateChooseLanguage);
    EXPECT_TRUE(language->IsEntered());
    ASSERT_NE(language->GetProfile(), nullptr);
    EXPECT_EQ(language->GetProfile(), mManager->GetProfile());
    EXPECT_EQ(language->GetProfile()->GetRefCount(), 2);

    // Walk the graph: sixteen states, each id once, persistent ones 8 and 16, and the
    // cinematic able to reach the stage.
    std::vector<GameState*> seen{language};
    for (size_t i = 0; i < seen.size(); ++i)
        for (int32_t t = 0; t < seen[i]->GetTransitionCount(); ++t)
        {
            GameState* target = seen[i]->GetTransition(t)->target;
            if (std::find(seen.begin(), seen.end(), target) == seen.end())
                seen.push_back(target);
        }
    ASSERT_EQ(seen.size(), 16u);
    for (GameState* state : seen)
    {
        const bool persistent = state->GetId() == kGameStateMap || state->GetId() == kGameStateInventory;
        EXPECT_EQ(state->IsPersistent(), persistent ? 1 : 0) << state->GetId();
        if (state->GetId() == kGameStateCinematic)
        {
            EXPECT_NE(state->FindTransition(kGameStateStage), nullptr);
        }
        if (state->GetId() == kGameStateStage)
        {
            ASSERT_EQ(state->GetTransitionCount(), 12);
            int overlays = 0;
            for (int32_t t = 0; t < 12; ++t)
                overlays += state->GetTransition(t)->overlay;
            EXPECT_EQ(overlays, 5);
            EXPECT_EQ(state->FindTransition(kGameStateMap)->overlay, 1);
        }
    }
}

TEST_F(GameManagerTest, StartUpRunsItsThirtyFiveStepsInOrder)
{
    static const char* const kExpected[] = {
        "HbDataManager::Create",
        "HbInputManager::Instance",
        "WRenderer::Start",
        "HbBuildSinCosTables",
        "W2dSurfaceCreateBrush",
        "TsCameraRegistry::Reset",
        "TsFModStart",
        "TsVideoCreateMutex",
        "TsFamilyTable::Instance",
        "TsActorTypeRegistry::Instance",
        "GameSaveManager::Instance",
        "SectorDataManager::Instance",
        "AnimSystemInit",
        "HbInputManager::ExecuteBindingFile",
        "HbInputManager::Update",
        "WRenderer::BeginFrame",
        "TimedAnimRequestsInit",
        "ScriptWorldManager::RegisterPendingModule",
        "AmmoGeometryDeclareRows",
        "ScriptWorldManager::StartScripting",
        "GameStateManager::StartLoadingScreen",
        "ResourceGroupLoad",
        "WShadows::Init",
        "AmmoManager::Preallocate",
        "Fx3dInitTypeRecords",
        "AnimSetLoadAll",
        "MoveBlendTablesInit",
        "BoardControl::CreateThemes",
        "TsGroundTypesLoad",
        "CreateFadeOverlay",
        "TriggerManager::Create",
        "ScriptWorldManager::ImportScriptResource",
        "GameStateManager::StopLoadingScreen",
        "GameStateManager::BuildStates",
        "GamePrefs::Load",
    };
    static std::vector<std::string> sModules;
    sModules.clear();
    GameServicesTable().scriptQueueModule = [](const char* name)
    {
        sModules.push_back(name);
        return int32_t{1};
    };

    EXPECT_EQ(mManager->Initialise(), 0) << "no gprefs.dat";
    ASSERT_EQ(mSteps.size(), std::size(kExpected));
    for (size_t i = 0; i < mSteps.size(); ++i)
        EXPECT_EQ(mSteps[i], kExpected[i]) << "step " << i + 1;
    const std::vector<std::string> modules = {"map_states", "sap_states", "target_path", "he_map",   "he_sap",
                                              "pan_map",    "pan_sap",    "pan_action",  "anim_set", "anim",
                                              "fx",         "fx3d",       "physic",      "casing",   "projectil"};
    EXPECT_EQ(sModules, modules);
    EXPECT_EQ(mManager->GetCurrentState()->GetId(), kGameStateChooseLanguage);
    ASSERT_NE(mManager->GetFadeOverlay(), nullptr);
    EXPECT_FALSE(std::filesystem::exists("gprefs.dat")) << "nothing written without the file";
    mManager->Shutdown();
}

TEST_F(GameManagerTest, RendererRetriesTheNineDepthPairsUntilOneStarts)
{
    struct Case
    {
        int32_t colour, z;
        size_t calls;
    };
    static std::vector<std::pair<int32_t, int32_t>> sTried;
    static Case sWorking;
    for (Case c : {Case{16, 32, 1}, Case{32, 32, 2}, Case{24, 24, 6}, Case{16, 16, 10}})
    {
        // The program's application object (the renderer fixture's) holds the window state.
        ASSERT_NE(HbApplication::Get(), nullptr);
        HbWindowState& window = HbApplication::Get()->WindowState();
        window.colourDepth = 16;
        window.zDepth = 32;
        sTried.clear();
        sWorking = c;
        GameServicesTable().rendererStart = [](HbWindowState& window)
        {
            sTried.emplace_back(window.colourDepth, window.zDepth);
            return window.colourDepth == sWorking.colour && window.zDepth == sWorking.z ? int32_t{1} : int32_t{0};
        };
        static int sBoxes;
        sBoxes = 0;
        GameServicesTable().fatalBox = [](const char*, const char*, uint32_t) { ++sBoxes; };
        mManager->Initialise();
        EXPECT_EQ(sTried.size(), c.calls) << c.colour << "/" << c.z;
        EXPECT_EQ(sTried.back(), std::make_pair(c.colour, c.z));
        EXPECT_EQ(sBoxes, 0);
        mManager->Shutdown();
    }
    EXPECT_EQ(sTried[1], std::make_pair(32, 32));
    EXPECT_EQ(sTried[2], std::make_pair(32, 24));
}

TEST_F(GameManagerTest, NineRendererFailuresShowTheFatalBoxAndExitNonZero)
{
    // The service table here unloads nothing: the group the language choice loaded at the
    // start-up goes by hand.
    ResourceGroupUnloadAll();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    GameServicesInstallDefaults();
    GameServicesTable().rendererStart = [](HbWindowState&) { return int32_t{0}; };
    EXPECT_EXIT(mManager->Initialise(), ::testing::ExitedWithCode(1), "Renderer Initialisation failed !!");

    static std::string sText, sTitle;
    static uint32_t sStyle;
    GameServicesTable().fatalBox = [](const char* text, const char* title, uint32_t style)
    {
        sText = text;
        sTitle = title;
        sStyle = style;
    };
    GameServicesTable().exitProgram = [](int32_t) {};
    mSteps.clear();
    EXPECT_EQ(mManager->Initialise(), 0);
    EXPECT_EQ(sText, "Renderer Initialisation failed !!");
    EXPECT_EQ(sTitle, "Fatal error");
    EXPECT_EQ(sStyle, 0x1030u);
    EXPECT_EQ(mSteps.back(), "WRenderer::Start") << "nothing runs after the failure";
}

TEST_F(GameManagerTest, ShutDownRunsInOrderAndLeavesTheExitListEmptyAtExit)
{
    mManager->Initialise();
    GameProfile* profile = mManager->GetProfile();
    *profile->globalInventory.FindOrInsert("KEY_RED") = nullptr;
    mSteps.clear();
    EXPECT_EQ(mManager->Shutdown(), 1);
    const std::vector<std::string> expected = {
        "GameStateManager::RemoveExtraItems",
        "ScriptWorldManager::UnloadScriptModule",
        "LeaveStates",
        "ResetWorld",
        "ReleaseProfile",
        "TriggerManager::Free",
        "ResourceGroupUnloadAll",
        "ScriptWorldManager::StopScripting",
        "TsCameraRegistry::Clear",
        "AmmoManagerShutdown",
        "ReleaseFadeOverlay",
        "TsGroundTypesFree",
        "BoardControl::DestroyAll",
        "FxServicesShutdown",
        "TimedAnimRequestsFree",
        "AnimSetFreeAll",
        "MoveTablesFree",
        "AnimSystemShutdown",
        "HbInputManager::ReleaseControllers",
        "TsFModClose",
        "W2dSurfaceDestroyBrush",
        "HbDataManager::Destroy",
        "GameSaveManager::Release",
        "WRenderer::Stop",
        "HbSetShuttingDown",
    };
    EXPECT_EQ(mSteps, expected);
    EXPECT_EQ(mManager->GetCurrentState(), nullptr);
    EXPECT_EQ(mManager->GetProfile(), nullptr);
    EXPECT_EQ(mManager->GetFadeOverlay(), nullptr);
    EXPECT_EQ(HbIsShuttingDown(), 1);

    // The service table here unloads nothing: the group the language choice loaded at the
    // start-up goes by hand.
    ResourceGroupUnloadAll();
    GTEST_FLAG_SET(death_test_style, "threadsafe");

    EXPECT_EXIT(
        {
            HbExitList::RunAll();
            std::exit(HbExitList::Count() == 0 && !GameStateManager::Existing() && !SectorDataManager::Existing() ? 0
                                                                                                                  : 2);
        },
        ::testing::ExitedWithCode(0), "");
}
} // namespace
