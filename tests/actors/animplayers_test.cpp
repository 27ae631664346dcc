// The move and static animation players on a walker holding a weapon: what a state plays
// (the weapon's record, the variant pick), the five play kinds over real channels, the upper
// body taken from and given back to the whole-body channel, the speed rate, the state-over
// events, the move machine's settings for its controller, the pools and the functions on an
// animated actor.
#include "animmovectrl.h"
#include "fmod3testhooks.h"
#include "frame.h"
#include "hbclock.h"
#include "moveanimplayerstate.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdanimrequest.h"
#include "rdanimset.h"
#include "renderer_fixture.h"
#include "scriptworldmanager.h"
#include "staticanimplayerstate.h"
#include "tsanimactorctrl.h"
#include "tsheroactor.h"
#include "tsfmod_fixture.h"
#include "tssendevent.h"
#include "w3danimobject.h"
#include "walker_fixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>

namespace
{
using walkertest::kAllProfile;
using walkertest::kHighPart;

/// Animation states of the weapon's records and the animation-set cells they lead to.
constexpr int32_t kWalkState = 20;
constexpr int32_t kAimState = 30;
constexpr int32_t kKind = 3;
constexpr int32_t kWalkCell = 7;
constexpr int32_t kAimCell = 8;

class Players : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        if (HasFatalFailure())
            return;
        Started();
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime = 1000 * HbPerformanceFrequency();
        clock->mStepSeconds = 0.0f;
        mWorld = new ScriptWorldManager();
        AnimSetFreeAll();
        mWalk = mAnims.Add("T_WALK_ANM", {0, 0, 120});
        mWalk2 = mAnims.Add("T_WALK2_ANM", {0, 0, 60});
        mAim = mAnims.Add("T_AIM_ANM", {0, 0, 0}, 1.0f, 30.0f);
        ASSERT_NE(mWalk, nullptr);
        ASSERT_NE(mAim, nullptr);
        mActor = walkertest::MakeWalker();
        ASSERT_NE(mActor, nullptr);
        mActor->mFamily = HeroEnemyFamily;
        mWeapon = new walkertest::ContactWeapon();
        mWeapon->AddRef();
        mActor->SetWeapon(mWeapon);
        mWeapon->GetAnimation(kWalkState)->SetAnimation(kKind, kWalkCell);
        mWeapon->GetAnimation(kWalkState)->SetEventFraction(0.5f);
        mWeapon->GetAnimation(kAimState)->SetAnimation(kKind, kAimCell);
        mWeapon->GetAnimation(kAimState)->SetEventFraction(0.5f);
        mMove = mActor->GetMovePlayer();
        mStatic = mActor->GetStaticPlayer();
        mMove->Init(8, mActor, 0);
        mStatic->Init(4, mActor, 0);
    }
    void TearDown() override
    {
        if (mActor)
            mActor->Release();
        if (mWeapon)
            mWeapon->Release();
        AnimSetFreeAll();
        delete mWorld;
        RendererTest::TearDown();
    }

    /// A new state of the class in the machine's slot, playing the animation state.
    template <typename State>
    State* AddState(AnimPlayerStateMachine* machine, int32_t slot, int32_t animState, int32_t kind,
                    int32_t profile = kAllProfile)
    {
        AnimPlayerStateDesc desc;
        desc.value = slot;
        desc.actor = mActor;
        desc.machine = machine;
        desc.animState = animState;
        desc.boneProfile = profile;
        desc.playKind = kind;
        State* state = State::Allocate();
        state->Init(desc);
        machine->SetState(slot, state);
        return state;
    }

    /// One frame: both players, then the model's motor.
    void Frame(float seconds)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()));
        clock->mStepSeconds = seconds;
        mMove->Update();
        mStatic->Update();
        Motor().Update();
    }
    /// Frames of 0.05 s until the machine leaves the state or the time is up; the seconds
    /// played.
    float PlayUntilLeft(AnimPlayerStateMachine* machine, int32_t state, float limit)
    {
        float played = 0.0f;
        while (machine->GetCurrentStateIndex() == state && played < limit)
        {
            Frame(0.05f);
            played += 0.05f;
        }
        return played;
    }

    void PlayFor(float seconds)
    {
        for (float played = 0.0f; played < seconds; played += 0.05f)
            Frame(0.05f);
    }

    RdAnimMotor& Motor() { return static_cast<W3dAnimObject*>(mActor->GetNode())->GetMotor(); }
    RdAnimChannel* Channel(AnimPlayerState* state)
    {
        return state->mChannel.IsValid() ? HbCastTo<RdAnimChannel>(state->mChannel.GetObject()) : nullptr;
    }

    ScriptWorldManager* mWorld = nullptr;
    walkertest::Animations mAnims;
    RdAnimation* mWalk = nullptr;
    RdAnimation* mWalk2 = nullptr;
    RdAnimation* mAim = nullptr;
    walkertest::Walker* mActor = nullptr;
    walkertest::ContactWeapon* mWeapon = nullptr;
    AnimPlayerStateMachine* mMove = nullptr;
    AnimPlayerStateMachine* mStatic = nullptr;
};

TEST_F(Players, PlayAnimationTakesTheHeldWeaponsRecordAndTheVariantOfTheActorsFamily)
{
    // The first variant is for another family: the second is played.
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK2_ANM", 1, 2, 1.0f, HeroFamily);
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    mWeapon->GetAnimation(kWalkState)->SetStartFraction(0.25f);
    mWeapon->GetAnimation(kWalkState)->SetParameter(0.75f);
    auto* state = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 1);
    state->mVariantCursor = 1;

    ASSERT_EQ(state->PlayAnimation(kWalkState, 0.1f, 0.2f, 0.0f, 0), 1);
    RdAnimChannel* channel = Channel(state);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->GetAnimation(), mWalk);
    EXPECT_EQ(mMove->GetAnimHandle(kWalkState)->GetObject(), channel) << "the machine's handle";
    EXPECT_EQ(channel->GetBones().mId, kAllProfile);
    EXPECT_EQ(channel->GetLoop(), 1) << "kind 1 loops";
    // Start and event times are fractions of the first variant (1 s); the record's parameter
    // scales the weapon; a contact weapon has no end phase to wait for.
    const double f = double(HbPerformanceFrequency());
    EXPECT_NEAR(double(state->mStartOffset) / f, 0.25, 1e-6);
    EXPECT_NEAR(double(state->mEventTime) / f, 0.5, 1e-6);
    EXPECT_NEAR(channel->GetTime(), 0.25f, 1e-4f);
    ASSERT_EQ(mWeapon->mScaled.size(), 1u);
    EXPECT_FLOAT_EQ(mWeapon->mScaled[0], 0.75f);
    EXPECT_EQ(state->mEndPhase, 1);
    EXPECT_FLOAT_EQ(state->mBlendOut, 0.2f);
    // A start inside the first variant's length wins over the record's fraction.
    ASSERT_EQ(state->PlayAnimation(kWalkState, 0.1f, 0.2f, 0.6f, 0), 1);
    EXPECT_NEAR(double(state->mStartOffset) / f, 0.6, 1e-6);
    // An exclusive state first fades out everything the motor plays.
    RdAnimChannel* other = Motor().PlayAnim(mAim, kAllProfile, 0.0f);
    ASSERT_NE(other, nullptr);
    Frame(0.05f);
    state->mExclusive = 1;
    ASSERT_EQ(state->PlayAnimation(kWalkState, 0.1f, 0.2f, 0.0f, 0), 1);
    EXPECT_EQ(other->GetRampTo(), 0.0f);
    EXPECT_GT(Channel(state)->GetRampTo(), 0.0f) << "but its own new channel";
    state->mExclusive = 0;

    // A shooting weapon leaves the end phase at 0.
    auto* gun = new walkertest::ShootWeapon();
    gun->AddRef();
    gun->GetAnimation(kWalkState)->SetAnimation(kKind, kWalkCell);
    mActor->SetWeapon(gun);
    ASSERT_EQ(state->PlayAnimation(kWalkState, 0.1f, 0.2f, 0.0f, 0), 1);
    EXPECT_EQ(state->mEndPhase, 0);

    // No weapon in hand, or no variant in the record's cell: nothing plays.
    mActor->SetWeapon(nullptr);
    gun->Release();
    EXPECT_EQ(state->PlayAnimation(kWalkState, 0.1f, 0.2f, 0.0f, 0), 0);
    mActor->SetWeapon(mWeapon);
    EXPECT_EQ(state->PlayAnimation(kAimState, 0.1f, 0.2f, 0.0f, 0), 0) << "empty cell";
    EXPECT_EQ(state->PlayAnimation(90, 0.1f, 0.2f, 0.0f, 0), 0) << "no record";
}

TEST_F(Players, PlayKindsEndOnceAtTheEventTimeAfterPLoopsAfterTheirTimerOrNever)
{
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 2, 3, 1.0f, HeroEnemyFamily);
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 2, 3, 1.0f, HeroEnemyFamily);
    struct Case
    {
        const char* what;
        int32_t kind;
        int32_t parameter;
        float blendOut;
        float endsAfter; ///< seconds; 0 never within 4 s
    };
    const Case cases[] = {
        {"kind 0: over at the event time", 0, 0, 0.0f, 0.5f},
        {"kind 1: loops until left", 1, 0, 0.0f, 0.0f},
        {"kind 2 with 3: the third loop's event time", 2, 3, 0.0f, 2.5f},
        {"kind 2 without a parameter never counts", 2, 0, 0.0f, 0.0f},
        {"kind 4, held by its lock for a waiting request: the blend-out before the end", 4, 0, 0.25f, 0.75f},
    };
    for (const Case& c : cases)
    {
        mMove->Init(8, mActor, 0);
        auto* state = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, c.kind);
        state->mDefaultNext = 3; // an empty slot
        state->mLockOnEnter = c.kind == 4 ? 1 : 0;
        mMove->SetRequest(2, c.parameter);
        // The first frame makes the transition; the blend out is the state's.
        Frame(0.0f);
        state->mBlendOut = c.blendOut;
        ASSERT_EQ(mMove->GetCurrentStateIndex(), 2) << c.what;
        if (c.kind == 4)
            mMove->SetRequest(3, 0);
        const float played = PlayUntilLeft(mMove, 2, 4.0f);
        if (c.endsAfter == 0.0f)
            EXPECT_EQ(mMove->GetCurrentStateIndex(), 2) << c.what;
        else
            EXPECT_NEAR(played, c.endsAfter, 0.051f) << c.what;
        Motor().RemoveAllChannels();
    }
}

TEST_F(Players, KindThreeReplaysANewVariantAfterItsCountOfLoops)
{
    // Two variants of 2 loops each.
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 2, 3, 1.0f, HeroEnemyFamily);
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK2_ANM", 2, 3, 1.0f, HeroEnemyFamily);
    auto* state = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 3);
    mMove->SetRequest(2, 0);
    Frame(0.0f);
    RdAnimChannel* first = Channel(state);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetAnimation(), mWalk);
    EXPECT_TRUE(state->mTimerArmed);
    PlayFor(1.9f);
    EXPECT_EQ(Channel(state), first) << "still the first two loops";
    PlayFor(0.2f);
    RdAnimChannel* second = Channel(state);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->GetAnimation(), mWalk2) << "the next variant";
    EXPECT_LT(first->GetRampTo(), first->GetRampFrom()) << "the old loops fade out";
    EXPECT_EQ(mMove->GetCurrentStateIndex(), 2) << "the state goes on";
}

TEST_F(Players, LoopEndsChangeTheAnimationTheChooseCallbackPicks)
{
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    AnimSetAddVariant(kKind, kAimCell, "T_AIM_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    auto* state = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 1);
    mMove->SetRequest(2, 0);
    Frame(0.0f);
    RdAnimChannel* walk = Channel(state);
    ASSERT_NE(walk, nullptr);
    // From now on every loop end picks the aim.
    state->mChoose = [](AnimPlayerState*, TsAnimActor*, void*) { return kAimState; };
    PlayFor(1.1f);
    RdAnimChannel* aim = Channel(state);
    ASSERT_NE(aim, nullptr);
    EXPECT_EQ(aim->GetAnimation(), mAim);
    EXPECT_EQ(state->mAnimState, kAimState);
    EXPECT_LT(walk->GetRampTo(), walk->GetRampFrom());

    // A can-continue callback that answers 0 ends the state at the next loop end.
    state->mCanContinue = [](AnimPlayerState*, TsAnimActor*, void*) { return 0; };
    state->mDefaultNext = 3;
    state->mNext = 3;
    const float played = PlayUntilLeft(mMove, 2, 2.0f);
    EXPECT_NE(mMove->GetCurrentStateIndex(), 2);
    EXPECT_LT(played, 1.3f);
}

TEST_F(Players, AStaticStateTakesTheUpperBodyOffTheWalkAndGivesItBack)
{
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    AnimSetAddVariant(kKind, kAimCell, "T_AIM_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    auto* walk = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 1);
    auto* aim = AddState<StaticAnimPlayerState>(mStatic, 2, kAimState, 1, kHighPart);
    mMove->SetRequest(2, 0);
    Frame(0.0f);
    Frame(0.2f);
    RdAnimChannel* body = Channel(walk);
    ASSERT_NE(body, nullptr);
    const uint64_t whole = body->GetBones().mMask;
    EXPECT_EQ(body->GetBones().mBoneCount, 4);

    mStatic->SetRequest(2, 0);
    Frame(0.05f);
    RdAnimChannel* upper = Channel(aim);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->GetBones().mId, kHighPart);
    EXPECT_EQ(upper->GetBones().mBoneCount, 2);
    EXPECT_EQ(body->GetBones().mBoneCount, 2) << "the walk keeps the legs";
    EXPECT_EQ(body->GetBones().mMask & upper->GetBones().mMask, 0u);
    EXPECT_EQ(Motor().GetKilledProfileCount(), 1);
    // The walk's upper body goes on a split channel that fades out under the aim.
    int32_t fading = 0;
    for (int32_t i = 0; i < Motor().GetAnimChannelCount(); ++i)
    {
        RdChannel* c = Motor().GetAnimChannel(i);
        if (c != upper && c->GetBones().mId == kHighPart && c->GetRampTo() < c->GetRampFrom())
            ++fading;
    }
    EXPECT_EQ(fading, 1);
    EXPECT_TRUE(aim->HasProfile());

    // Leaving for no state gives the bones back; the aim then blends last.
    mStatic->SetRequest(0, 0);
    Frame(0.05f);
    EXPECT_EQ(mStatic->GetCurrentStateIndex(), 0);
    EXPECT_EQ(body->GetBones().mMask, whole);
    EXPECT_EQ(Motor().GetKilledProfileCount(), 0);
    EXPECT_FALSE(aim->HasProfile());
    EXPECT_EQ(upper->mOverlay, 1);
}

TEST_F(Players, TheSpeedRateSettlesBetweenFortyAndAHundredPercent)
{
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    const struct
    {
        float factor;
        float rate;
    } cases[] = {{0.0f, 0.4f}, {0.5f, 0.55f}, {1.0f, 1.0f}, {3.0f, 1.0f}};
    for (const auto& c : cases)
    {
        mMove->Init(8, mActor, 0);
        auto* walk = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 1);
        walk->EnableSpeedRate(1);
        mActor->mMovementFactor = c.factor;
        mMove->SetRequest(2, 0);
        Frame(0.0f);
        for (int i = 0; i < 60; ++i)
            Frame(1.0f / 60.0f);
        RdAnimChannel* channel = Channel(walk);
        ASSERT_NE(channel, nullptr);
        EXPECT_NEAR(channel->GetSpeedFactor(), c.rate, 1e-3f) << "factor " << c.factor;
        Motor().RemoveAllChannels();
    }
    mActor->mMovementFactor = 1.0f;
}

TEST_F(Players, PlayedOutStatesTellNonHeroesWith517And518AndAlwaysClearTheLock)
{
    auto* hero = new TsHeroActor();
    hero->AddRef();
    // The hero first: the queue stays empty for it.
    for (TsAnimActor* actor : {static_cast<TsAnimActor*>(hero), static_cast<TsAnimActor*>(mActor)})
    {
        AnimPlayerStateDesc desc;
        desc.actor = actor;
        desc.value = 7;
        MoveAnimPlayerState* move = MoveAnimPlayerState::Allocate();
        StaticAnimPlayerState* still = StaticAnimPlayerState::Allocate();
        move->AddRef();
        still->AddRef();
        move->Init(desc);
        desc.value = 9;
        still->Init(desc);
        move->mLock = still->mLock = 1;
        move->NotifyOver();
        still->NotifyOver();
        EXPECT_EQ(move->mLock, 0);
        EXPECT_EQ(still->mLock, 0);
        if (actor == hero)
            EXPECT_EQ(mWorld->GetQueuedCount(), 0) << "the hero is not told";
        else
        {
            ASSERT_EQ(mWorld->GetQueuedCount(), 2);
            const TsSendEvent* first = mWorld->GetQueuedEvent(0);
            const TsSendEvent* second = mWorld->GetQueuedEvent(1);
            EXPECT_EQ(first->id, 517);
            EXPECT_EQ(first->target, actor);
            EXPECT_EQ(first->sender, actor);
            EXPECT_FLOAT_EQ(first->value, 7.0f);
            EXPECT_EQ(second->id, 518);
            EXPECT_FLOAT_EQ(second->value, 9.0f);
        }
        move->Release();
        still->Release();
    }
    hero->Release();
}

TEST_F(Players, TheMoveMachineMovesByItsStateByAFadingStateOfHigherPriorityOrByItsDefaults)
{
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    AnimSetAddVariant(kKind, kAimCell, "T_AIM_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    AnimMoveCtrl* controller = mActor->GetMoveController();
    auto* strike = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 1);
    auto* stand = AddState<MoveAnimPlayerState>(mMove, 3, kAimState, 1);
    strike->mMoveMode = 3;
    strike->mMoveFlags = 0x70;
    strike->mMaxStep = 50.0f;
    strike->mPriority = 1;
    stand->mMoveMode = 1;
    stand->mMoveFlags = 0x20;
    stand->mMaxStep = 5.0f;

    // No current state: the defaults, which the timed animations' record sets.
    TsAnimActorSetMoveDefaults(mActor, 0x1010, FLT_MAX);
    Frame(0.0f);
    EXPECT_EQ(controller->GetMode(), 0u);
    EXPECT_EQ(controller->GetMoveFlags(), 0x1010u);

    mMove->SetRequest(2, 0);
    Frame(0.05f);
    Frame(0.05f);
    EXPECT_EQ(controller->GetMode(), 3u);
    EXPECT_EQ(controller->GetMoveFlags(), 0x70u);

    // The strike fades out with a higher priority: it keeps the movement until it is gone.
    mMove->SetRequest(3, 0);
    Frame(0.05f);
    ASSERT_EQ(mMove->GetCurrentStateIndex(), 3);
    EXPECT_EQ(controller->GetMoveFlags(), 0x70u);
    strike->mPriority = 0;
    Frame(0.02f);
    EXPECT_EQ(controller->GetMoveFlags(), 0x20u) << "equal priority: the current state";
    EXPECT_EQ(controller->GetMode(), 1u);

    // A timed animation's "none" is state 0: the defaults again.
    EXPECT_EQ(TsAnimActorPlayTimedAnim(mActor, 0), 2);
    Frame(0.02f);
    EXPECT_EQ(mMove->GetCurrentStateIndex(), 0);
    EXPECT_EQ(controller->GetMoveFlags(), 0x1010u);

    // Through the animation requests: the move machine leaves its state for the request's
    // animation and moves by the request's flags.
    mMove->SetRequest(3, 0);
    Frame(0.05f);
    ASSERT_EQ(mMove->GetCurrentStateIndex(), 3);
    TsAnimActorInstallRequestHooks();
    ASSERT_EQ(AnimRequestPlay(mActor, "T_WALK_ANM", 1, 0x20, 0.1f, 0.1f, 0.0f, 1.0f, 0.0f), 0);
    EXPECT_EQ(mMove->GetCurrentStateIndex(), 0);
    Frame(0.02f);
    EXPECT_EQ(controller->GetMoveFlags(), 0x1020u);
    EXPECT_EQ(controller->GetMode(), 0u);
}

TEST_F(Players, TheActorsFunctionsReachItsTwoPlayers)
{
    AnimSetAddVariant(kKind, kWalkCell, "T_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    auto* walk = AddState<MoveAnimPlayerState>(mMove, 2, kWalkState, 1);
    AddState<StaticAnimPlayerState>(mStatic, 1, kWalkState, 1, kHighPart);

    EXPECT_EQ(TsAnimActorRequestMoveState(mActor, 2, 0), mMove);
    EXPECT_EQ(TsAnimActorRequestStaticState(mActor, 1, 0), mStatic);
    EXPECT_EQ(TsAnimActorGetMoveStateIndex(mActor), 0) << "the request waits for the update";
    Frame(0.05f);
    EXPECT_EQ(TsAnimActorGetMoveStateIndex(mActor), 2);
    EXPECT_TRUE(TsAnimActorIsInMoveState(mActor, 2));
    EXPECT_FALSE(TsAnimActorIsInMoveState(mActor, 1));
    EXPECT_TRUE(TsAnimActorIsInStaticState(mActor, 1));
    TsAnimActorSetMoveNextState(mActor, 5);
    EXPECT_EQ(walk->mNext, 5);
    RdAnimChannel* before = Channel(walk);
    EXPECT_EQ(TsAnimActorRestartMoveState(mActor, 0.1f), 1);
    EXPECT_NE(Channel(walk), before);

    // The walk moves the actor by its root bone until that bone's callback is stopped.
    walk->mMoveFlags = 0;
    auto z = [this] { return mActor->GetNode()->GetWorldPosition()->z; };
    PlayFor(0.5f);
    const float walked = z();
    EXPECT_GT(walked, 20.0f);
    TsAnimActorStopBoneCallback(mActor, AnimMoveCtrl::kRootBone);
    PlayFor(0.5f);
    EXPECT_FLOAT_EQ(z(), walked);

    // Without an actor everything answers nothing.
    EXPECT_EQ(TsAnimActorRequestMoveState(nullptr, 2, 0), nullptr);
    EXPECT_EQ(TsAnimActorGetMoveStateIndex(nullptr), 0);
    EXPECT_FALSE(TsAnimActorIsInStaticState(nullptr, 0));
    EXPECT_EQ(TsAnimActorPlayTimedAnim(nullptr, 2), -1);
}

class PlayerSounds : public soundtest::SoundTest
{
};

TEST_F(PlayerSounds, AStatesSoundStartsAtTheActorWhenItBecomesCurrentAndStopsWhenItIsLeft)
{
    auto* actor = new TsAnimActor();
    actor->AddRef();
    actor->SetModel(W3dAnimObject::Create());
    const Vector at = {100.0f, 0.0f, 50.0f};
    actor->SetPosition(&at);
    Frame::SyncDirtyList();
    AnimPlayerStateMachine* machine = actor->GetMovePlayer();
    machine->Init(4, actor, 0);
    for (int32_t slot : {2, 3})
    {
        AnimPlayerStateDesc desc;
        desc.actor = actor;
        desc.machine = machine;
        desc.soundName = slot == 2 ? "SD_HUM_S3DSB" : "NO_SUCH_S3DSB";
        MoveAnimPlayerState* state = MoveAnimPlayerState::Allocate();
        state->Init(desc);
        machine->SetState(slot, state);
    }
    EXPECT_NE(machine->GetState(2)->mSound, nullptr);
    EXPECT_EQ(machine->GetState(3)->mSound, nullptr) << "an unknown name leaves the state silent";

    fmod3test::EnableCallLog(true);
    machine->RequestState(2);
    ASSERT_EQ(machine->GetCurrentStateIndex(), 2);
    const int32_t channel = machine->GetState(2)->mSoundChannel;
    ASSERT_GE(channel, 0);
    EXPECT_EQ(fmod3test::CallArgs("FSOUND_3D_SetAttributes"),
              std::vector<std::string>{std::to_string(channel) + ", (100, 0, 50), null"});
    machine->RequestState(3);
    EXPECT_EQ(fmod3test::CallArgs("FSOUND_StopSound"), std::vector<std::string>{std::to_string(channel)});
    EXPECT_EQ(machine->GetState(2)->mSoundChannel, -1);
    fmod3test::EnableCallLog(false);
    actor->Release();
}

TEST(PlayerClasses, PoolsAndParentsAreTheirOwn)
{
    struct Case
    {
        HbClassPool& pool;
        const char* name;
        int32_t capacity;
    };
    const Case cases[] = {
        {MoveAnimPlayerState::sClassPool, "MoveAnimPlayerState", 900},
        {StaticAnimPlayerState::sClassPool, "StaticAnimPlayerState", 200},
        {StaticAnimPlayerStateMachine::sClassPool, "AnimPlayerStateMachine", 40},
        {MoveAnimPlayerStateMachine::sClassPool, "MoveAnimPlayerStateMachine", 40},
        {AnimPlayerRequestStack::Request::sClassPool, "AnimPlayerRequest", 20},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(c.pool.Create(), 1) << c.name;
        EXPECT_STREQ(c.pool.GetName(), c.name);
        EXPECT_EQ(c.pool.Get()->GetCapacity(), c.capacity) << c.name;
    }
    // A state and a machine come from their pools.
    MoveAnimPlayerStateMachine* machine = MoveAnimPlayerStateMachine::Allocate();
    EXPECT_TRUE(MoveAnimPlayerStateMachine::sClassPool.Get()->Contains(machine));
    MoveAnimPlayerStateMachine::Free(machine);
    StaticAnimPlayerState* state = StaticAnimPlayerState::Allocate();
    EXPECT_TRUE(StaticAnimPlayerState::sClassPool.Get()->Contains(state));
    StaticAnimPlayerState::Free(state);

    // Both machines hang under HbRoot, not under AnimPlayerStateMachine; the states under
    // AnimPlayerState.
    EXPECT_EQ(MoveAnimPlayerStateMachine::sClassDesc.GetParent(), &HbRoot::sClassDesc);
    EXPECT_EQ(StaticAnimPlayerStateMachine::sClassDesc.GetParent(), &HbRoot::sClassDesc);
    auto* move = new MoveAnimPlayerStateMachine();
    auto* still = new StaticAnimPlayerStateMachine();
    EXPECT_FALSE(HbClassDesc::IsKindOf(move, &AnimPlayerStateMachine::sClassDesc));
    EXPECT_FALSE(HbClassDesc::IsKindOf(still, &AnimPlayerStateMachine::sClassDesc));
    EXPECT_EQ(move->GetCurrentStateIndex(), 1) << "the move machine starts at 1";
    EXPECT_EQ(still->GetCurrentStateIndex(), 0);
    delete move;
    delete still;
    EXPECT_EQ(MoveAnimPlayerState::sClassDesc.GetParent(), &AnimPlayerState::sClassDesc);
    EXPECT_EQ(StaticAnimPlayerState::sClassDesc.GetParent(), &AnimPlayerState::sClassDesc);
}

} // namespace
