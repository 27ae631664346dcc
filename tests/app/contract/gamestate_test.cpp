// The state graph: overlays, persistent overlays, switching to itself, undeclared ids, the
// profile handed along, the level handle, and the deletion of the whole graph.
#include "gameprofile.h"
#include "gamestate.h"
#include "hbptr.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace
{
struct Counts
{
    int enters = 0;
    int resumes = 0;
    int suspends = 0;
    int leaves = 0;
    int updates = 0;
    int destroyed = 0;
};

std::map<int32_t, Counts>* gCounts = nullptr;

// A state that counts its operations; persistent states clear entered in their Leave, as the
// game's persistent overlays do.
class CountingState : public GameState
{
public:
    explicit CountingState(int32_t id, int32_t persistent = 0) : GameState(id) { SetPersistent(persistent); }
    ~CountingState() override { ++(*gCounts)[GetId()].destroyed; }
    void Enter() override
    {
        GameState::Enter();
        ++(*gCounts)[GetId()].enters;
    }
    void Resume() override
    {
        GameState::Resume();
        ++(*gCounts)[GetId()].resumes;
    }
    void Suspend() override
    {
        GameState::Suspend();
        ++(*gCounts)[GetId()].suspends;
    }
    void Leave() override
    {
        if (IsPersistent())
            mEntered = 0;
        ++(*gCounts)[GetId()].leaves;
    }
    void Update() override { ++(*gCounts)[GetId()].updates; }
};

class GameStateGraph : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gCounts = &mCounts;
        mMainMenu = new CountingState(kGameStateMainMenu);
        mStage = new CountingState(kGameStateStage);
        mPause = new CountingState(kGameStateStageMenu);
        mMap = new CountingState(kGameStateMap, 1);
        mMainMenu->AddTransition(mStage, 0);
        mStage->AddTransition(mMainMenu, 0);
        mStage->AddTransition(mStage, 0);
        mStage->AddTransition(mPause, 1);
        mStage->AddTransition(mMap, 1);
        mPause->AddTransition(mStage, 0);
        mMap->AddTransition(mStage, 0);
        mStage->Enter();
        mCounts.clear();
    }
    void TearDown() override
    {
        delete mStage;
        gCounts = nullptr;
    }

    std::map<int32_t, Counts> mCounts;
    CountingState* mMainMenu = nullptr;
    CountingState* mStage = nullptr;
    CountingState* mPause = nullptr;
    CountingState* mMap = nullptr;
};

TEST_F(GameStateGraph, PersistentMapSuspendsOnReturnAndIsResumedNotEnteredAgain)
{
    ASSERT_EQ(mStage->SwitchTo(kGameStateMap), 1);
    EXPECT_TRUE(mStage->IsSuspended());
    EXPECT_EQ(mStage->GetPending(), nullptr);
    EXPECT_TRUE(mMap->IsEntered());
    EXPECT_EQ(mCounts[kGameStateMap].enters, 1);
    EXPECT_EQ(mStage->GetOverlayState(), mMap);

    // The stage stays the ticked state; its tick reaches the map.
    mStage->Tick();
    EXPECT_EQ(mCounts[kGameStateMap].updates, 1);
    EXPECT_EQ(mCounts[kGameStateStage].updates, 0);

    ASSERT_EQ(mMap->SwitchTo(kGameStateStage), 1);
    EXPECT_TRUE(mMap->IsSuspended());
    EXPECT_TRUE(mMap->IsEntered());
    EXPECT_EQ(mCounts[kGameStateMap].leaves, 0);
    EXPECT_FALSE(mStage->IsSuspended());
    EXPECT_EQ(mCounts[kGameStateStage].resumes, 1);
    EXPECT_EQ(mStage->GetPending(), nullptr) << "the current state does not change";

    ASSERT_EQ(mStage->SwitchTo(kGameStateMap), 1);
    EXPECT_EQ(mCounts[kGameStateMap].enters, 1);
    EXPECT_EQ(mCounts[kGameStateMap].resumes, 1);
    EXPECT_FALSE(mMap->IsSuspended());
}

TEST_F(GameStateGraph, LeavingForGoodAlsoLeavesTheEnteredPersistentOverlay)
{
    mStage->SwitchTo(kGameStateMap);
    mMap->SwitchTo(kGameStateStage);
    ASSERT_TRUE(mMap->IsEntered());

    ASSERT_EQ(mStage->SwitchTo(kGameStateMainMenu), 1);
    EXPECT_EQ(mCounts[kGameStateStage].leaves, 1);
    EXPECT_EQ(mCounts[kGameStateMap].leaves, 1);
    EXPECT_FALSE(mMap->IsSuspended());
    EXPECT_FALSE(mMap->IsEntered());
    EXPECT_FALSE(mStage->IsEntered());
    EXPECT_EQ(mCounts[kGameStateMainMenu].enters, 1);
    EXPECT_EQ(mStage->GetPending(), mMainMenu);
    EXPECT_EQ(mMainMenu->GetPrevious(), mStage);
}

TEST_F(GameStateGraph, SwitchingToItselfLeavesAndEntersAndIsItsOwnPending)
{
    ASSERT_EQ(mStage->SwitchTo(kGameStateStage), 1);
    EXPECT_EQ(mCounts[kGameStateStage].leaves, 1);
    EXPECT_EQ(mCounts[kGameStateStage].enters, 1);
    EXPECT_TRUE(mStage->IsEntered());
    EXPECT_EQ(mStage->GetPending(), mStage);
}

TEST_F(GameStateGraph, StaleOverlayEntryIsClearedByTheNextEnter)
{
    mStage->SwitchTo(kGameStateStageMenu);
    EXPECT_EQ(mStage->GetOverlayState(), mPause);
    mPause->SwitchTo(kGameStateStage);
    EXPECT_EQ(mStage->GetOverlayState(), mPause) << "Resume keeps the entry";
    mStage->SwitchTo(kGameStateStage);
    EXPECT_EQ(mStage->GetOverlayState(), nullptr);
}

TEST_F(GameStateGraph, UndeclaredIdChangesNothing)
{
    EXPECT_EQ(mStage->SwitchTo(kGameStateCredits), 0);
    EXPECT_EQ(mMainMenu->SwitchTo(kGameStateMap), 0);
    EXPECT_TRUE(mCounts.empty());
    EXPECT_EQ(mStage->GetPending(), nullptr);
    EXPECT_TRUE(mStage->IsEntered());
}

TEST_F(GameStateGraph, ProfileTravelsWithTheSwitchAndGivesTheLevelHandle)
{
    auto* profile = new GameProfile();
    auto* level = new GameProfile(); // any object will do as the level
    profile->levelHandle.Assign(level);
    mStage->SetProfile(profile);
    EXPECT_EQ(profile->GetRefCount(), 1);

    HbHandlePtr handle;
    mMainMenu->GetLevelHandle(&handle);
    EXPECT_EQ(handle.GetObject(), nullptr) << "no profile, no level";

    mStage->SwitchTo(kGameStateMainMenu);
    EXPECT_EQ(mMainMenu->GetProfile(), profile);
    EXPECT_EQ(profile->GetRefCount(), 2);
    mMainMenu->GetLevelHandle(&handle);
    EXPECT_EQ(handle.GetObject(), level);
    handle.Reset();

    // The states release their references when the graph goes; the profile with them.
    mStage->SetProfile(nullptr);
    mMainMenu->SetProfile(nullptr);
    mPause->SetProfile(nullptr);
    delete level;
}

TEST_F(GameStateGraph, DeletingAnyStateDeletesEveryReachableStateOnce)
{
    // An extra node reached by two ways, and a cycle through it.
    auto* debriefing = new CountingState(kGameStateDebriefing);
    mMainMenu->AddTransition(debriefing, 0);
    mPause->AddTransition(debriefing, 0);
    debriefing->AddTransition(mMainMenu, 0);
    debriefing->AddTransition(debriefing, 0);

    delete mPause;
    mStage = nullptr;
    for (int32_t id : {kGameStateMainMenu, kGameStateStage, kGameStateStageMenu, kGameStateMap, kGameStateDebriefing})
        EXPECT_EQ(mCounts[id].destroyed, 1) << "state " << id;
    EXPECT_EQ(mCounts.size(), 5u);
}
} // namespace
