// The move skill over the actor layer's services as start-up installs them: states added to
// the real players, their transition and reset, footsteps on the ground under the actor, the
// strike of a contact weapon, and the path follower steering the movement controller over
// the script world's path-finding graph.
#include "animmovectrl.h"
#include "hbclock.h"
#include "hbresource.h"
#include "move.h"
#include "moveanimplayerstate.h"
#include "movepathfollower.h"
#include "moveskillhooks.h"
#include "navgraphwriter.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdanimset.h"
#include "scriptworld_fixture.h"
#include "staticanimplayerstate.h"
#include "tsastarpathfinder.h"
#include "tsgroundtype.h"
#include "tsheroactor.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "tsweaponcontact.h"
#include "w3danimobject.h"
#include "walker_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{
using scriptworldtest::ScriptWorldTest;

constexpr int32_t kWalkState = 20;
constexpr int32_t kKind = 3;
constexpr int32_t kWalkCell = 7;

class StrikingKnife : public TsWeaponContact
{
public:
    int32_t LoadModel(const char*) override { return 0; }
    int32_t Strike(TsActor* actor) override
    {
        mStrikes.push_back(actor);
        return 1;
    }
    std::vector<TsActor*> mStrikes;
};

class MoveServices : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure())
            return;
        MoveSkillHooksInstall();
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime = 1000 * HbPerformanceFrequency();
        AnimSetFreeAll();
        ASSERT_NE(mAnims.Add("T_WALK_ANM", {0, 0, 120}), nullptr);
        AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, ~0u);
        mActor = walkertest::MakeWalker();
        ASSERT_NE(mActor, nullptr);
        mKnife = new StrikingKnife();
        mKnife->AddRef();
        mKnife->GetAnimation(kWalkState)->SetAnimation(kKind, kWalkCell);
        mActor->SetWeapon(mKnife);
    }
    void TearDown() override
    {
        if (mActor)
            mActor->Release();
        if (mKnife)
            mKnife->Release();
        AnimSetFreeAll();
        GetMoveSkillHooks() = MoveSkillHooks();
        ScriptWorldTest::TearDown();
    }

    /// One frame: the move player, then the model's motor (which steps the controller).
    void Frame(float seconds)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()));
        clock->mStepSeconds = seconds;
        mActor->GetMovePlayer()->Update();
        static_cast<W3dAnimObject*>(mActor->GetNode())->GetMotor().Update();
    }

    walkertest::Animations mAnims;
    walkertest::Walker* mActor = nullptr;
    StrikingKnife* mKnife = nullptr;
};

TEST_F(MoveServices, StatesAddedByTheSkillPlayOnTheActorsPlayers)
{
    MoveMSState skill(mActor);
    AnimPlayerStateMachine* move = mActor->GetMovePlayer();
    AnimPlayerStateMachine* still = mActor->GetStaticPlayer();
    EXPECT_EQ(move->GetStateCount(), MoveMSState::kMoveStateSlots);
    EXPECT_EQ(still->GetStateCount(), MoveMSState::kStaticStateSlots);
    EXPECT_EQ(move->GetCurrentStateIndex(), 0);

    MoveStateDescription walk;
    walk.stateId = 11;
    walk.animation = kWalkState;
    walk.controllerMode = 3;
    walk.controllerFlags = 0x70;
    walk.controllerLimit = 50.0f;
    walk.playMode = 1;
    walk.entryValue = 1;
    walk.followUp = 3;
    walk.time1 = 0.5f;
    walk.time2 = 0.25f;
    auto* state = HbCastTo<MoveAnimPlayerState>(skill.AddMoveState(walk));
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(move->GetState(11), state);
    EXPECT_TRUE(MoveAnimPlayerState::sClassPool.Get()->Contains(state)) << "from the pool";
    EXPECT_EQ(state->mValue, 11);
    EXPECT_EQ(state->mAnimState, kWalkState);
    EXPECT_EQ(state->mMoveMode, 3);
    EXPECT_EQ(state->mMoveFlags, 0x70);
    EXPECT_FLOAT_EQ(state->mMaxStep, 50.0f);
    EXPECT_EQ(state->mPlayKind, 1);
    EXPECT_EQ(state->mLockOnEnter, 1);
    EXPECT_EQ(state->mDefaultNext, 3);
    const double f = double(HbPerformanceFrequency());
    EXPECT_NEAR(double(state->mMinimumDuration) / f, 0.5, 1e-9) << "time 1 gates leaving";
    EXPECT_NEAR(double(state->mReentryDelay) / f, 0.25, 1e-9) << "time 2 gates entering again";

    MoveStateDescription aim = walk;
    aim.stateId = 7;
    aim.channel = 2;
    AnimPlayerState* upper = skill.AddStaticState(aim);
    ASSERT_NE(HbCastTo<StaticAnimPlayerState>(upper), nullptr);
    EXPECT_EQ(still->GetState(7), upper);
    EXPECT_EQ(upper->mBoneProfile, 2);
    aim.stateId = MoveMSState::kStaticStateSlots;
    EXPECT_EQ(skill.AddStaticState(aim), nullptr) << "past the slots";

    // The tuning functions reach the same states.
    const MoveAnimStateTuning tuning = {kWalkState, 5, 0, nullptr, int64_t(f), 0};
    EXPECT_TRUE(GetMoveSkillHooks().tuneState(mActor, kMoveAnimPlayer, 11, &tuning));
    EXPECT_EQ(state->mDefaultNext, 5);
    EXPECT_EQ(state->mLockOnEnter, 0);
    EXPECT_FALSE(GetMoveSkillHooks().tuneState(mActor, kMoveAnimPlayer, 12, &tuning)) << "no state";
    EXPECT_EQ(GetMoveSkillHooks().getMoveStateIndex(mActor), 0);
    EXPECT_EQ(GetMoveSkillHooks().getMoveStateIndex(nullptr), -1);

    // Setup starts the player's current state; Exit resets both players.
    GetMoveSkillHooks().initPlayer(mActor, kMoveAnimPlayer, MoveMSState::kMoveStateSlots, 11);
    ASSERT_NE(skill.AddMoveState(walk), nullptr);
    state = HbCastTo<MoveAnimPlayerState>(move->GetState(11));
    skill.Setup();
    RdAnimChannel* channel = state->mChannel.IsValid() ? HbCastTo<RdAnimChannel>(state->mChannel.GetObject()) : nullptr;
    ASSERT_NE(channel, nullptr) << "the walk plays";
    EXPECT_EQ(state->mStatus, AnimPlayerState::kPlaying);
    Frame(0.05f);
    EXPECT_EQ(mActor->GetMoveController()->GetMoveFlags(), 0x70u) << "its settings move the actor";
    skill.Exit();
    EXPECT_EQ(move->GetCurrentStateIndex(), 0);
    EXPECT_LT(channel->GetRampTo(), channel->GetRampFrom()) << "faded out";
}

TEST_F(MoveServices, FootstepsSoundTheGroundUnderTheActorAndTheStrikeReachesTheKnife)
{
    ASSERT_EQ(TriggerManager::Create(), 1);
    const std::string grounds = "GroundCreateTypeBegin GRASS 3\n"
                                "GroundSetTriggerWalk MEDIUM_NORMAL\n"
                                "GroundSetTriggerRun HEAVY_SUSPECT\n"
                                "GroundSetTriggerCrouchedWalk LIGHT_NORMAL\n"
                                "GroundCreateTypeEnd\n";
    FILE* file = std::fopen("grounds.scr", "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(grounds.data(), 1, grounds.size(), file);
    std::fclose(file);
    TsGroundTypesLoad();
    ASSERT_NE(TsFindGroundType(3), nullptr);

    // The hero's steps make the ground's noise, whose row tells which step it was.
    auto* hero = new TsHeroActor();
    hero->AddRef();
    hero->SetModel(W3dAnimObject::Create());
    hero->mEnemyFamily = HeroEnemyFamily;
    MoveMSState skill(hero);
    struct Case
    {
        int32_t state;
        const char* noise;
    };
    // Rising rows: each step raises the level above the one before.
    const Case cases[] = {{31, "LIGHT_NORMAL"}, {11, "MEDIUM_NORMAL"}, {26, "HEAVY_SUSPECT"}};
    hero->mCollision.color[TsActor::kGroundIdByte] = 9; // no such ground: nothing
    hero->GetMovePlayer()->Init(MoveMSState::kMoveStateSlots, hero, 26);
    skill.OnEvent(MoveMSState::kEventLeftFoot);
    EXPECT_EQ(hero->GetSoundLevel(), 0u);
    hero->mCollision.color[TsActor::kGroundIdByte] = 3;
    for (const Case& c : cases)
    {
        hero->GetMovePlayer()->Init(MoveMSState::kMoveStateSlots, hero, c.state);
        skill.OnEvent(MoveMSState::kEventRightFoot);
        EXPECT_EQ(hero->GetSoundLevel(), TsNoiseRowLevel(TsNoiseRowByName(c.noise))) << c.state;
    }

    // Event 13 strikes with the knife in hand, with no victim named.
    MoveMSState walkerSkill(mActor);
    walkerSkill.OnEvent(MoveMSState::kEventStrike);
    ASSERT_EQ(mKnife->mStrikes.size(), 1u);
    EXPECT_EQ(mKnife->mStrikes[0], nullptr);

    hero->Release();
    TsGroundTypesFree();
    TriggerManager::Free();
    std::remove("grounds.scr");
}

TEST_F(MoveServices, ThePathFollowerSteersTheControllerOverTheLevelsGraph)
{
    // An L of three cells: from the origin the way to (150, -250) turns the corner.
    const std::vector<NavRect> rects = {{-100, 100, 100, -100}, {100, 100, 300, -100}, {100, -100, 300, -300}};
    const std::vector<uint8_t> bytes = NavGraphWriter::Bytes(NavGraphWriter::FromRectangles(rects));
    FILE* file = std::fopen("hooks_nav.as", "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    HbResourceManager* resources = HbResourceManager::Instance();
    resources->AddPath("HOOKS_NAV_AS", "hooks_nav.as");

    MovePathFollower follower(mActor);
    const Vector goal = {150.0f, 0.0f, -250.0f};
    follower.SetTargetPosition(&goal);
    EXPECT_EQ(follower.Start(MovePathFollower::kAstar, 1.0f), 0) << "no graph yet";
    ASSERT_EQ(mWorld->LoadAStar("HOOKS_NAV_AS"), 1);
    follower.SetTargetPosition(&goal);
    ASSERT_EQ(follower.Start(MovePathFollower::kAstar, 1.0f), 1);
    EXPECT_GE(follower.GetWaypointCount(), 2) << "through the portals";
    AnimMoveCtrl* controller = mActor->GetMoveController();
    EXPECT_TRUE(controller->GetMoveFlags() & AnimMoveCtrl::kStopOnGoal) << "the controller has the goal";

    // The walk moves the actor; the follower counts what the controller moved.
    MoveMSState skill(mActor);
    MoveStateDescription walk;
    walk.stateId = 11;
    walk.animation = kWalkState;
    walk.controllerFlags = 0;
    walk.playMode = 1;
    ASSERT_NE(skill.AddMoveState(walk), nullptr);
    mActor->GetMovePlayer()->SetRequest(11, 0);
    Frame(0.0f);
    float travelled = 0.0f;
    for (int i = 0; i < 5; ++i)
    {
        Frame(0.05f);
        travelled += controller->GetLastDistance();
        follower.Step(nullptr);
    }
    EXPECT_GT(travelled, 0.0f);
    EXPECT_FLOAT_EQ(follower.GetTravelled(), travelled);
    EXPECT_FLOAT_EQ(GetMoveSkillHooks().getMovedDistance(mActor), controller->GetLastDistance());

    // LineAstar off the graph fails.
    const Vector away = {2000.0f, 0.0f, 0.0f};
    follower.SetTargetPosition(&away);
    EXPECT_EQ(follower.Start(MovePathFollower::kLineAstar, 1.0f), 0);
    mWorld->SetScene(nullptr);
    resources->RemovePath("HOOKS_NAV_AS");
    std::remove("hooks_nav.as");
}

} // namespace
