// The animation player state machine with recording states standing in for the move and
// static players: blend lookups, the timing rules, the transitions, played-out states and
// the request stack.
#include "animplayerstatemachine.h"
#include "hbclock.h"
#include "hbhashmap.h"
#include "rdanimchannel.h"
#include "tsanimactor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> gLog;

std::string Real(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(v));
    return text;
}

/// Records what the machine asks of it; plays by starting nothing.
class RecordingState : public AnimPlayerState
{
public:
    explicit RecordingState(std::string name, int32_t animState) : mName(std::move(name)) { mAnimState = animState; }
    void NotifyOver() override { gLog.push_back("over " + mName); }
    int32_t Prepare(float blendOut) override
    {
        gLog.push_back("prepare " + mName + " " + Real(blendOut));
        return 1;
    }
    RdAnimChannel* StartChannel(RdAnimation*, int64_t, int64_t) override { return nullptr; }
    int32_t PlayAnimation(int32_t animState, float blendIn, float blendOut, float start, int32_t parameter) override
    {
        gLog.push_back("play " + mName + " " + std::to_string(animState) + " " + Real(blendIn) + " " + Real(blendOut) +
                       " " + Real(start) + " " + std::to_string(parameter));
        mStartTime = HbGameClock::Instance()->mGameTime;
        return 1;
    }
    int32_t Enter(AnimPlayerState* previous) override
    {
        if (mRefuseEnter)
            return 0;
        gLog.push_back("enter " + mName);
        return AnimPlayerState::Enter(previous);
    }
    int32_t Leave() override
    {
        gLog.push_back("leave " + mName);
        return AnimPlayerState::Leave();
    }
    std::string mName;
    int32_t mRefuseEnter = 0;
};

int32_t Still(AnimPlayerState*, TsAnimActor*, void*)
{
    return 1;
}

class AnimPlayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gLog.clear();
        HbGameClock::Instance()->mGameTime = 1000 * HbPerformanceFrequency();
        mActor = new TsAnimActor();
        mActor->AddRef();
        mMachine = new AnimPlayerStateMachine();
        mMachine->AddRef();
        mMachine->Init(6, mActor, 0);
        for (int32_t i = 1; i < 6; ++i)
        {
            // States 2 and 3 play the same animation state.
            auto* state = new RecordingState("s" + std::to_string(i), i == 3 ? 12 : 10 + i);
            state->Init(mActor, mMachine);
            state->mDefaultNext = 1;
            mMachine->SetState(i, state);
            mStates[i] = state;
        }
    }
    void TearDown() override
    {
        for (RdAnimChannel* channel : mChannels)
            channel->Release();
        mMachine->Release();
        if (mActor)
            mActor->Release();
    }
    void Advance(float seconds) { HbGameClock::Instance()->mGameTime += int64_t(seconds * HbPerformanceFrequency()); }
    /// A live channel for the animation state, its weight holding.
    RdAnimChannel* Channel(int32_t animState)
    {
        auto* channel = new RdAnimChannel(uint16_t(animState), nullptr, 0.0f, 0);
        channel->AddRef();
        mChannels.push_back(channel);
        mMachine->SetAnimHandle(animState, channel);
        return channel;
    }
    /// Makes the state current (through an exempt request for 1 when needed).
    void Become(int32_t index)
    {
        mMachine->SetRequest(index, 0);
        mMachine->DoTransition();
        gLog.clear();
    }

    TsAnimActor* mActor = nullptr;
    AnimPlayerStateMachine* mMachine = nullptr;
    RecordingState* mStates[6] = {};
    std::vector<RdAnimChannel*> mChannels;
};

TEST_F(AnimPlayer, BlendTimesLookUpThePairThenAnyToThenFromAny)
{
    EXPECT_FLOAT_EQ(mMachine->BlendTime(2, 3), 0.1f) << "no table";
    HbIntHashMap table;
    TsSetAnimBlendTime(&table, 2, 3, 0.25f, 0);
    TsSetAnimBlendTime(&table, kAnyAnimPlayerState, 4, 0.5f, 0);
    TsSetAnimBlendTime(&table, 2, kAnyAnimPlayerState, 0.75f, 0);
    TsSetAnimBlendTime(&table, 5, 1, 0.3f, 1);
    mMachine->SetBlendTable(&table);
    struct Case
    {
        int32_t from, to;
        float seconds;
    };
    const Case cases[] = {{2, 3, 0.25f}, {3, 2, 0.1f},  {2, 4, 0.5f}, {1, 4, 0.5f},
                          {2, 5, 0.75f}, {4, 5, 0.1f}, {5, 1, 0.3f}, {1, 5, 0.3f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(mMachine->BlendTime(c.from, c.to), c.seconds) << c.from << " -> " << c.to;
    mMachine->SetBlendTable(nullptr);
}

TEST_F(AnimPlayer, TimingRulesRefuseWithFiveExceptForStateOneAndExclusiveStates)
{
    Become(2);
    EXPECT_EQ(mMachine->GetCurrentStateIndex(), 2);
    EXPECT_EQ(mMachine->TryTransition(), 0) << "requested is current";

    mStates[2]->mMinimumDuration = HbPerformanceFrequency(); // 1 s
    mMachine->SetRequest(4, 0);
    EXPECT_EQ(mMachine->TryTransition(), 5) << "minimum duration";
    mStates[4]->mExclusive = 1;
    EXPECT_EQ(mMachine->TryTransition(), 2) << "exclusive transits at once";
    EXPECT_EQ(mMachine->GetCurrentStateIndex(), 4);

    mStates[4]->mLock = 1;
    mMachine->SetRequest(5, 0);
    EXPECT_EQ(mMachine->TryTransition(), 5) << "locked";
    mMachine->SetRequest(1, 0);
    EXPECT_EQ(mMachine->TryTransition(), 2) << "state 1 is exempt";

    mStates[5]->mReentryDelay = HbPerformanceFrequency();
    mStates[5]->mStartTime = HbGameClock::Instance()->mGameTime;
    mMachine->SetRequest(5, 0);
    EXPECT_EQ(mMachine->TryTransition(), 5) << "re-entry delay";
    Advance(1.0f);
    EXPECT_EQ(mMachine->TryTransition(), 2);

    mActor->Release();
    mActor = nullptr;
    EXPECT_EQ(mMachine->RequestState(2), 4) << "actor gone";
    AnimPlayerStateMachine empty;
    EXPECT_EQ(empty.RequestState(2), 3);
}

TEST_F(AnimPlayer, TransitionsFromAndToNoState)
{
    HbIntHashMap table;
    TsSetAnimBlendTime(&table, 0, 2, 0.2f, 0);
    TsSetAnimBlendTime(&table, 2, 1, 0.4f, 0);
    mMachine->SetBlendTable(&table);
    mMachine->SetRequest(2, 7);
    EXPECT_EQ(mMachine->DoTransition(), 0) << "C null";
    EXPECT_EQ(gLog, (std::vector<std::string>{"enter s2", "play s2 12 0.2 0.4 0 7"}));
    EXPECT_EQ(mMachine->GetCurrentStateIndex(), 2);

    gLog.clear();
    mMachine->SetRequest(0, 0);
    EXPECT_EQ(mMachine->DoTransition(), 2) << "R null";
    EXPECT_EQ(gLog, (std::vector<std::string>{"leave s2", "prepare s2 0.1"}));
    EXPECT_EQ(mMachine->GetCurrentStateIndex(), 0);
    EXPECT_EQ(mMachine->GetPreviousStateIndex(), 2);
    EXPECT_EQ(mStates[2]->mStatus, AnimPlayerState::kOver);

    gLog.clear();
    mStates[4]->mRefuseEnter = 1;
    mMachine->SetRequest(4, 0);
    EXPECT_EQ(mMachine->DoTransition(), 0);
    EXPECT_TRUE(gLog.empty());
    EXPECT_EQ(mMachine->GetCurrentStateIndex(), 4) << "requested becomes current even when refused";
    mMachine->SetBlendTable(nullptr);
}

TEST_F(AnimPlayer, ASynchronisedTransitionStartsAtTheOldChannelsTime)
{
    Become(4);
    HbIntHashMap sync;
    TsSetAnimBlendTime(&sync, 5, 4, 0.6f, 0); // found the other way round
    mMachine->SetSyncTable(&sync);
    mMachine->SetRequest(5, 3);
    EXPECT_EQ(mMachine->DoTransition(), 2);
    // A channel without a pose reads time 0, so the start is that of the old channel.
    EXPECT_EQ(gLog, (std::vector<std::string>{"enter s5", "leave s4", "prepare s4 0.6", "play s5 15 0.6 0.1 0 3"}));

    gLog.clear();
    mMachine->SetSyncTable(nullptr);
    mMachine->SetRequest(2, 0);
    EXPECT_EQ(mMachine->DoTransition(), 2);
    EXPECT_EQ(gLog, (std::vector<std::string>{"enter s2", "leave s5", "prepare s5 0.1", "play s2 12 0.1 0.1 0 0"}));
    EXPECT_EQ(mMachine->GetPreviousStateIndex(), 5);
}

TEST_F(AnimPlayer, TheSameAnimationStateKeepsItsChannelAndSwitchesLooping)
{
    RdAnimChannel* channel = Channel(12);
    Become(2); // kind 0
    mStates[3]->mPlayKind = 1;
    mMachine->SetRequest(3, 0);
    EXPECT_EQ(mMachine->DoTransition(), 2);
    EXPECT_EQ(gLog, (std::vector<std::string>{"enter s3", "leave s2"})) << "nothing played again";
    EXPECT_EQ(channel->GetLoop(), 1);
    EXPECT_EQ(channel->GetCallbackCount(), 0);

    mStates[2]->mEventTime = HbPerformanceFrequency() / 2;
    mMachine->SetRequest(2, 0);
    EXPECT_EQ(mMachine->DoTransition(), 2);
    EXPECT_EQ(channel->GetLoop(), 0);
    EXPECT_EQ(channel->GetCallbackCount(), 1) << "the event callback at the state's event time";
    EXPECT_EQ(mStates[2]->mStatus, AnimPlayerState::kPlaying);

    mStates[3]->mEventTime = mStates[2]->mEventTime;
    mMachine->SetRequest(3, 0);
    mMachine->DoTransition();
    EXPECT_EQ(channel->GetCallbackCount(), 0) << "looping again removes it";
    EXPECT_EQ(channel->GetLoop(), 1);
    mStates[2]->mEventTime = -1; // the channel's time already lies beyond it
    mMachine->SetRequest(2, 0);
    mMachine->DoTransition();
    EXPECT_EQ(mStates[2]->mStatus, AnimPlayerState::kOver);
}

TEST_F(AnimPlayer, APlayedOutStateNotifiesAndTheNextRunsInTheSameFrame)
{
    Channel(12);
    Channel(14);
    Become(2);
    mStates[2]->mDefaultNext = 4;
    mStates[2]->mNext = 4;
    mStates[4]->mUpdate = Still;
    struct Seen
    {
        int32_t current = -1, previous = -1;
    } seen;
    mMachine->SetChangeCallback(
        [](AnimPlayerState* current, AnimPlayerState* previous, TsAnimActor*, void* data) {
            gLog.push_back("changed");
            auto* s = static_cast<Seen*>(data);
            s->current = static_cast<RecordingState*>(current)->mName == "s4";
            s->previous = static_cast<RecordingState*>(previous)->mName == "s2";
        },
        &seen);
    EXPECT_EQ(mMachine->Update(), 0) << "still playing";
    EXPECT_TRUE(gLog.empty());

    mStates[2]->mStatus = AnimPlayerState::kOver;
    EXPECT_EQ(mMachine->Update(), 2);
    EXPECT_EQ(gLog, (std::vector<std::string>{"over s2", "enter s4", "leave s2", "prepare s2 0.1",
                                              "play s4 14 0.1 0.1 0 0", "changed"}));
    EXPECT_EQ(mMachine->GetCurrentStateIndex(), 4);
    EXPECT_EQ(seen.current, 1);
    EXPECT_EQ(seen.previous, 1);
    mMachine->SetChangeCallback(nullptr, nullptr);
}

TEST_F(AnimPlayer, StatesReadTheirChannelAndTheirTimer)
{
    RecordingState& s = *mStates[4];
    s.mStatus = AnimPlayerState::kPlaying;
    EXPECT_EQ(s.Update(), 0) << "no channel: over";
    EXPECT_EQ(s.mStatus, AnimPlayerState::kOver);

    RdAnimChannel* channel = Channel(14);
    struct Case
    {
        float from, to;
        int32_t active;
        int32_t status;
        int32_t answer;
    };
    const Case cases[] = {{1, 1, 1, AnimPlayerState::kPlaying, 1},
                          {0, 1, 1, AnimPlayerState::kBlendingIn, 1},
                          {1, 0, 1, AnimPlayerState::kBlendingOut, 1},
                          {1, 1, 0, AnimPlayerState::kOver, 0}};
    for (const Case& c : cases)
    {
        s.mStatus = AnimPlayerState::kPlaying;
        channel->SetWeightRamp(c.from, c.to, 0, 100);
        channel->mActive = c.active;
        EXPECT_EQ(s.Update(), c.answer) << c.from << " -> " << c.to;
        EXPECT_EQ(s.mStatus, c.status);
    }
    channel->mActive = 1;
    channel->SetWeightRamp(1, 1, 0, 100);

    // Timers by play kind: 4 over and unlocked, 3 plays again, 2 over.
    for (int32_t kind : {4, 3, 2})
    {
        gLog.clear();
        s.mStatus = AnimPlayerState::kPlaying;
        s.mPlayKind = kind;
        s.mLock = 1;
        s.ArmTimer(HbPerformanceFrequency() / 10);
        EXPECT_EQ(s.Update(), 1) << "kind " << kind << " before its time";
        Advance(0.2f);
        EXPECT_EQ(s.Update(), kind == 3 ? 1 : 0) << "kind " << kind;
        EXPECT_EQ(s.mTimerArmed, 0);
        if (kind == 4)
            EXPECT_EQ(s.mLock, 0);
        if (kind == 3)
            EXPECT_EQ(gLog, (std::vector<std::string>{"prepare s4 0.3", "play s4 14 0.3 0.3 0 0"}));
    }
}

TEST_F(AnimPlayer, RequestStackPushReplaceAndUrgent)
{
    AnimPlayerRequestStack stack;
    stack.Bind(mMachine, mActor);
    EXPECT_EQ(stack.Push(2, AnimPlayerRequestStack::kPush), 1);
    EXPECT_EQ(stack.Push(2, AnimPlayerRequestStack::kPush), 0) << "same state as the newest";
    EXPECT_EQ(stack.Push(3, AnimPlayerRequestStack::kPush), 1);
    EXPECT_EQ(stack.Push(4, AnimPlayerRequestStack::kReplace), 1);
    EXPECT_EQ(stack.Push(2, AnimPlayerRequestStack::kUrgent), 0) << "same state as the oldest";
    EXPECT_EQ(stack.Push(5, AnimPlayerRequestStack::kUrgent), 1);
    EXPECT_EQ(stack.Push(5, 7), 1) << "other kinds do nothing";
    ASSERT_EQ(stack.GetCount(), 3);
    EXPECT_EQ(stack.GetRequest(0)->state, 5);
    EXPECT_EQ(stack.GetRequest(1)->state, 2);
    EXPECT_EQ(stack.GetRequest(2)->state, 4);

    EXPECT_EQ(stack.Process(), 1) << "urgent: every request dropped";
    EXPECT_EQ(mMachine->GetRequestedStateIndex(), 5);
    EXPECT_EQ(stack.GetCount(), 0);
    EXPECT_EQ(stack.Process(), 0);

    for (int32_t i = 0; i < AnimPlayerRequestStack::kCapacity; ++i)
        EXPECT_EQ(stack.Push(i % 2 + 2, AnimPlayerRequestStack::kPush), 1);
    EXPECT_EQ(stack.Push(4, AnimPlayerRequestStack::kPush), 0) << "full: dropped and said so";
    EXPECT_EQ(stack.Push(5, AnimPlayerRequestStack::kUrgent), 0);
    EXPECT_EQ(stack.GetCount(), AnimPlayerRequestStack::kCapacity);
}

TEST_F(AnimPlayer, RequestStackProcessesTheOldestAndReusesRecords)
{
    AnimPlayerRequestStack stack;
    stack.Bind(mMachine, mActor);
    stack.Push(9, AnimPlayerRequestStack::kPush); // no such slot
    stack.Push(3, AnimPlayerRequestStack::kPush);
    const AnimPlayerRequestStack::Request* first = stack.GetRequest(0);
    EXPECT_EQ(stack.Process(), 0) << "a slot-less request stays";
    EXPECT_EQ(stack.GetCount(), 2);
    Advance(0.4f);
    stack.Push(4, AnimPlayerRequestStack::kPush);
    Advance(0.2f);
    EXPECT_EQ(stack.Process(), 0) << "older than 0.5 s: dropped";
    ASSERT_EQ(stack.GetCount(), 2);
    EXPECT_EQ(stack.GetRequest(0)->state, 3);
    EXPECT_EQ(stack.Process(), 0) << "the next one is stale too";
    EXPECT_EQ(stack.Process(), 1);
    EXPECT_EQ(mMachine->GetRequestedStateIndex(), 4);
    EXPECT_EQ(stack.GetCount(), 0);

    stack.Push(0, AnimPlayerRequestStack::kPush);
    EXPECT_EQ(stack.Process(), 1) << "state 0";
    EXPECT_EQ(mMachine->GetRequestedStateIndex(), 0);
    // Dropped records move behind the live ones and are handed out again in that order: the
    // first record, dropped first, comes back after the six records never handed out.
    for (int32_t i = 0; i < AnimPlayerRequestStack::kCapacity; ++i)
        stack.Push(i % 2 + 2, AnimPlayerRequestStack::kPush);
    EXPECT_EQ(stack.GetRequest(6), first);
}
} // namespace
