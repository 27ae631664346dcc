// The stage: entry loads the hero, level and sector groups in order into layers 0, 1 and 2;
// the first three frames restart a one-second fade; the actions and the profile's requests
// in their order; a save deferring a stage request; what leaving keeps, and the projectiles
// and casings it does not.
#include "ammomanager.h"
#include "ammunition.h"
#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "gamekeyhintbar.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gameservicesdefaults.h"
#include "gamestatemanager.h"
#include "gamestatestage.h"
#include "groupwriter.h"
#include "hbclock.h"
#include "hbfile.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "sectordatamanager.h"
#include "uisupport.h"
#include "w2dimagesurface.h"
#include "win32keyboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{
std::vector<std::string>* gOpened = nullptr;
int32_t gHeroFirst = 0;
int32_t gTopTheme = 1;
int32_t gPad = 0;
std::string gTriggered;
int gBoardShown = 0;
int gHeroRestarts = 0;
/// The engine calls the stage makes, in order, and how often it looked an action up.
std::vector<std::string>* gCalls = nullptr;
int gFinds = 0;
/// Stand-ins for the three actions: only their addresses are used.
const char* const kActionNames[] = {"ESC", "MAP_BACK", "INVENTORY_OPEN"};
char gActionTokens[3];

HbInputAction* FindStandIn(const char* name)
{
    ++gFinds;
    for (int i = 0; i < 3; ++i)
        if (std::string(name) == kActionNames[i])
            return reinterpret_cast<HbInputAction*>(&gActionTokens[i]);
    return nullptr;
}

int32_t StandInTriggered(HbInputAction* action)
{
    for (int i = 0; i < 3; ++i)
        if (action == reinterpret_cast<HbInputAction*>(&gActionTokens[i]))
            return gTriggered == kActionNames[i] ? 1 : 0;
    return 0;
}

void Call(const char* name)
{
    if (gCalls)
        gCalls->push_back(name);
}

void Opened(const char* name)
{
    if (gOpened && std::string(name).ends_with(".scr"))
        gOpened->push_back(name);
}

class Target : public GameState
{
public:
    explicit Target(int32_t id) : GameState(id) {}
    void Leave() override {}
    void Update() override {}
};

class Stage : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Started();
        GameServicesTable() = GameServicesLeast();
        GameServices& services = GameServicesTable();
        services.heroInFirstState = [] { return gHeroFirst; };
        services.boardTopTheme = [] { return gTopTheme; };
        services.padPresent = [] { return gPad; };
        services.actionFind = FindStandIn;
        services.actionTriggered = StandInTriggered;
        services.freeListsPurge = [] { Call("purge"); };
        services.shadowsAttach = [] { Call("shadows attach"); };
        services.shadowsDetach = [] { Call("shadows detach"); };
        services.rendererPrepareClumps = [] { Call("prepare clumps"); };
        services.heroOnStageStart = [] { Call("hero stage start"); };
        services.soundStopAll = [] { Call("sounds stopped"); };
        services.boardShow = [] { ++gBoardShown; };
        services.heroRestart = [] { ++gHeroRestarts; };
        gHeroFirst = 0, gTopTheme = 1, gPad = 0, gBoardShown = 0, gHeroRestarts = 0, gFinds = 0;
        gCalls = nullptr;
        gTriggered.clear();
        ResourceGroupResetLayers();
        mManager = GameStateManager::Instance();
        mManager->Initialise();
        mProfile = mManager->GetProfile();
        ASSERT_NE(mProfile, nullptr);
        mProfile->sectorId = "W3L1S01";
        mStage = new GameState_Stage();
        for (int32_t id : {4, 5, 8, 11, 12, 13, 16, 18, 19})
        {
            auto* target = new Target(id);
            mStage->AddTransition(target, id == 4 || id == 8 || id == 11 || id == 16 || id == 19);
            target->AddTransition(mStage, 0);
        }
        mStage->SetProfile(mProfile);
        for (const char* group : {"HERO", "W3L1", "W3L1S01", "FRONTEND"})
            GroupWriter::WriteText(std::string(group) + ".scr", "");
    }
    void TearDown() override
    {
        if (mStage->IsEntered())
            mStage->Leave();
        delete mStage;
        mManager->Shutdown();
        ResourceGroupUnloadAll();
        RendererTest::TearDown();
    }

    static std::vector<std::string> Layer(int32_t layer)
    {
        std::vector<std::string> names;
        for (HbPtrListNode* node = ResourceGroupLayer(layer)->GetHead(); node; node = node->next)
            names.push_back(static_cast<ResourceGroup*>(node->value)->name);
        return names;
    }
    /// The state switched to, or the overlay pushed.
    int32_t Pending() const
    {
        if (mStage->GetPending())
            return mStage->GetPending()->GetId();
        return mStage->IsSuspended() && mStage->GetOverlayState() ? mStage->GetOverlayState()->GetId() : 0;
    }

    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
    GameState_Stage* mStage = nullptr;
};

TEST_F(Stage, EnterLoadsHeroLevelAndSectorGroupsInOrder)
{
    ResourceGroupLoad("FRONTEND", 2);
    std::vector<std::string> opened;
    gOpened = &opened;
    HbFileNameHook = Opened;
    mStage->Enter();
    HbFileNameHook = nullptr;
    gOpened = nullptr;
    EXPECT_EQ(opened, (std::vector<std::string>{"HERO.scr", "W3L1.scr", "W3L1S01.scr"}));
    EXPECT_EQ(Layer(0), std::vector<std::string>{"HERO"});
    EXPECT_EQ(Layer(1), std::vector<std::string>{"W3L1"});
    EXPECT_EQ(Layer(2), std::vector<std::string>{"W3L1S01"});
    EXPECT_EQ(mStage->GetSectorName(), "W3L1S01");
    EXPECT_EQ(mProfile->stageEntered, 1);
    EXPECT_TRUE(mProfile->levelHandle.IsValid());

    // Leaving for the menu with the world reset drops every group the entry loaded.
    mProfile->worldResetRequest = 1;
    mStage->Leave();
    EXPECT_FALSE(mProfile->levelHandle.IsValid());
    for (int32_t layer = 0; layer < kResourceLayerCount; ++layer)
        EXPECT_TRUE(Layer(layer).empty()) << layer;
}

TEST_F(Stage, TheFirstThreeFramesRestartAOneSecondFadeAndTheBarShowsOnTheSecond)
{
    mStage->Enter();
    W2dFadingSurface* overlay = mManager->GetFadeOverlay();
    HbRealClock* clock = HbRealClock::Instance();
    for (int frame = 0; frame < 4; ++frame)
    {
        clock->mCurrentTime += 2 * HbPerformanceFrequency();
        mStage->Update();
        overlay->UpdateLevel();
        // A restarted fade is still running; the fourth frame's is long done.
        EXPECT_EQ(overlay->IsFadeDone(), frame == 3 ? 1 : 0) << frame;
        EXPECT_EQ(gBoardShown, frame >= 1 ? 1 : 0) << frame;
    }
    EXPECT_EQ(mStage->GetFrameCounter(), 3);
}

TEST_F(Stage, ActionsWaitForTheHeroAndTheInGameDisplay)
{
    mStage->Enter();
    struct Case
    {
        const char* action;
        int32_t heroFirst;
        int32_t theme;
        int32_t pad;
        int32_t locked;
        int32_t expected;
    };
    const Case cases[] = {
        {"ESC", 1, 1, 0, 0, 0},
        {"ESC", 0, 1, 0, 0, 4},
        {"ESC", 0, 2, 0, 0, 0},
        {"MAP_BACK", 0, 1, 0, 0, 16},
        {"INVENTORY_OPEN", 1, 1, 1, 0, 8},
        {"INVENTORY_OPEN", 0, 1, 1, 1, 0},
        {"INVENTORY_OPEN", 0, 1, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        gTriggered = c.action, gHeroFirst = c.heroFirst, gTopTheme = c.theme, gPad = c.pad;
        mStage->SetInventoryLocked(c.locked);
        mStage->Update();
        EXPECT_EQ(Pending(), c.expected) << c.action << " hero " << c.heroFirst << " theme " << c.theme;
        if (GameState* target = mStage->GetOverlayState(); target && mStage->IsSuspended())
        {
            target->SwitchTo(kGameStateStage);
            gTriggered.clear();
            mStage->Tick(); // clears pending
        }
    }
}

TEST_F(Stage, EntryAndLeavePurgeTheFreeListsAttachTheShadowsAndPrepareTheClumps)
{
    std::vector<std::string> calls;
    gCalls = &calls;
    mStage->Enter();
    EXPECT_EQ(calls, (std::vector<std::string>{"purge", "purge", "sounds stopped", "hero stage start", "shadows attach",
                                               "prepare clumps"}));
    calls.clear();
    mStage->Leave();
    EXPECT_EQ(calls, (std::vector<std::string>{"shadows detach", "purge"}));
    gCalls = nullptr;
}

TEST_F(Stage, AFrameOfPlayAnimatesTheSceneBeforeItDrawsIt)
{
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame = [] { Call("begin"); };
    services.rendererUpdateFrame = [] { Call("update"); };
    services.rendererRenderScene = [] { Call("scene"); };
    services.rendererEndFrame = [] { Call("end"); };
    mStage->Enter();
    std::vector<std::string> calls;
    gCalls = &calls;
    mStage->Update();
    EXPECT_EQ(calls, (std::vector<std::string>{"begin", "update", "scene", "end"}));
    gCalls = nullptr;
}

TEST_F(Stage, ActionsAreLookedUpOncePerSetOfBindings)
{
    mStage->Enter();
    for (int frame = 0; frame < 5; ++frame)
        mStage->Update();
    EXPECT_LE(gFinds, 3) << "once per action, not once per frame";
    const int before = gFinds;
    // A rebinding makes new actions: each is looked up again, once.
    uitest::InjectedInput input;
    ASSERT_TRUE(input.Bind("ZZ_STAGE_REBOUND", "VK_F9"));
    gPad = 1;
    for (int frame = 0; frame < 5; ++frame)
        mStage->Update();
    EXPECT_EQ(gFinds, before + 3);
    gTriggered = "ESC";
    mStage->Update();
    EXPECT_EQ(Pending(), kGameStateStageMenu) << "the cached action still answers";
}

TEST_F(Stage, TheGameInstallsTheInGameDisplayAsThemeOneAndItsActionsFireUnderIt)
{
    // The game's own key-hint bar entries and action look-ups, on the game's bar.
    GameServicesInstallDefaults();
    const GameServices defaults = GameServicesTable();
    GameServicesTable() = GameServicesLeast();
    GameServices& services = GameServicesTable();
    services.boardBuildInGame = defaults.boardBuildInGame;
    services.boardShow = defaults.boardShow;
    services.boardHide = defaults.boardHide;
    services.boardPopAll = defaults.boardPopAll;
    services.boardTopTheme = defaults.boardTopTheme;
    services.boardResetInGame = defaults.boardResetInGame;
    services.boardReleaseInGame = defaults.boardReleaseInGame;
    services.actionFind = defaults.actionFind;
    services.actionTriggered = defaults.actionTriggered;
    BoardControl* bar = GameKeyHintBar();
    ASSERT_NE(bar, nullptr);
    bar->CreateThemes();
    ASSERT_NE(HbCastTo<BoardControlTheme_InGame>(bar->GetTheme(1)), nullptr);
    EXPECT_EQ(BoardControlTheme_InGame::Find(), bar->GetTheme(1)) << "found without the bar at hand";

    uitest::InjectedInput input;
    ASSERT_TRUE(input.Bind("ESC", "VK_ESCAPE"));
    mStage->Enter();
    EXPECT_EQ(bar->GetTheme(1)->IsBuilt(), 1) << "built by the entry";
    input.Press(VK_ESCAPE);
    input.Frame();
    mStage->Update();
    EXPECT_EQ(Pending(), 0) << "no action while the in-game display is not on top";
    // The level script shows the in-game display.
    ASSERT_EQ(bar->PushTheme(1), 1);
    mStage->Update();
    EXPECT_EQ(Pending(), kGameStateStageMenu);
    input.Lift(VK_ESCAPE);
    mStage->GetOverlayState()->SwitchTo(kGameStateStage);
    mStage->Leave();
    EXPECT_EQ(bar->GetStackDepth(), 0) << "the leave pops every theme";
    bar->DestroyAll();
}

TEST_F(Stage, GameOverBeatsMissionEndAndASaveDefersTheStageRequest)
{
    mStage->Enter();
    mProfile->gameOverRequest = 1;
    mProfile->missionEndRequest = 1;
    mStage->Update();
    EXPECT_EQ(Pending(), 5);
    EXPECT_EQ(mProfile->gameOverRequest, 0);
    EXPECT_EQ(mProfile->missionEndRequest, 1);
    EXPECT_EQ(gHeroRestarts, 1);
    mStage->Enter();
    mProfile->missionEndRequest = 0;

    mStage->RequestSave();
    mProfile->stageRequest = 1;
    mStage->Update();
    EXPECT_EQ(Pending(), 11);
    EXPECT_EQ(mProfile->stageRequest, 0);
    EXPECT_EQ(mStage->GetDeferredStageRequest(), 1);
    mStage->GetOverlayState()->SwitchTo(kGameStateStage);
    EXPECT_EQ(mStage->IsSuspended(), 0);
    mStage->Update();
    EXPECT_EQ(mProfile->stageRequest, 1);
    EXPECT_EQ(mStage->GetDeferredStageRequest(), 0);
}

TEST_F(Stage, LeavingForASectorStoresItAndKeepsTheInventoryLeavingForTheMenuClearsIt)
{
    mStage->Enter();
    *mProfile->globalInventory.FindOrInsert("KEY_RED") = mProfile;
    mProfile->stageRequest = 1;
    mStage->Leave();
    EXPECT_EQ(SectorDataManager::Instance()->HasSector("W3L1S01"), 1);
    EXPECT_EQ(mProfile->globalInventory.GetCount(), 1);

    mProfile->stageRequest = 0;
    mProfile->sectorId = "W3L1S02";
    GroupWriter::WriteText("W3L1S02.scr", "");
    mStage->Enter();
    mStage->Leave();
    EXPECT_EQ(SectorDataManager::Instance()->HasSector("W3L1S02"), 0);
    EXPECT_EQ(mProfile->globalInventory.GetCount(), 0);
    SectorDataManager::Instance()->ClearAll();
}

TEST_F(Stage, ADamagedGroupRefusesTheSectorByNameAndTheFirstFrameGoesBackToTheMainMenu)
{
    auto* menu = new Target(kGameStateMainMenu);
    mStage->AddTransition(menu, 0);
    struct Damage
    {
        const char* group;
        const char* script; ///< null: no script at all
        const char* named;
    };
    const Damage cases[] = {
        {"HERO", nullptr, "HERO.scr: cannot be read"},
        {"W3L1", "add_ressource W3L1_A_PY w3l1\\a.py\r\nno_such_command 1\r\n", "W3L1.scr line 2: no_such_command"},
    };
    for (const Damage& c : cases)
    {
        SCOPED_TRACE(c.group);
        const std::string script = std::string(c.group) + ".scr";
        if (c.script)
            GroupWriter::WriteText(script, c.script);
        else
            std::remove(script.c_str());
        mProfile->stageRequest = 1;
        testing::internal::CaptureStderr();
        mStage->Enter();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(
            err.find("the sector \"W3L1S01\" cannot be played: " + std::string(c.named) + "; back to the main menu"),
            std::string::npos)
            << err;
        EXPECT_EQ(mStage->IsRefused(), 1);
        EXPECT_EQ(mProfile->stageEntered, 0);
        EXPECT_FALSE(mProfile->levelHandle.IsValid()) << "the level script never ran";
        mStage->Update();
        EXPECT_EQ(Pending(), kGameStateMainMenu);
        mStage->Leave();
        // Nothing of the sector stays: no group, no stored sector.
        for (int32_t layer = 0; layer < kResourceLayerCount; ++layer)
            EXPECT_TRUE(Layer(layer).empty()) << layer;
        EXPECT_EQ(SectorDataManager::Instance()->HasSector("W3L1S01"), 0);
        EXPECT_EQ(mStage->IsRefused(), 0);
        GroupWriter::WriteText(script, "");
    }
}

TEST_F(Stage, LeavingFreesEveryProjectileImpactAndCasingInFlight)
{
    AmmoGeometryDeclareRows();
    ASSERT_EQ(AmmoManager::Preallocate(), 1);
    mStage->Enter();
    for (int32_t i = 0; i < 3; ++i)
    {
        ASSERT_NE(Ammunition::TakeProjectile(), nullptr);
        ASSERT_NE(Ammunition::TakeCasing(), nullptr);
    }
    ASSERT_NE(Ammunition::TakeImpact(), nullptr);
    ASSERT_EQ(Ammunition::LiveProjectiles(), 3);
    mStage->Leave();
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);
    EXPECT_EQ(Ammunition::LiveCasings(), 0);
    EXPECT_EQ(Ammunition::LiveImpacts(), 0);
    AmmoManagerShutdown();
}
} // namespace
