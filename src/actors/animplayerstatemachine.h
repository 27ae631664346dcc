// AnimPlayerStateMachine: an animated actor's animation player: a table of animation player
// states, the current, previous and requested state, blend times per pair of states, and the
// timing rules that decide when a request is honoured. AnimPlayerState is the base of the
// states; AnimPlayerRequestStack a short queue of timed requests for the machine.
#pragma once

#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hbroot.h"
#include "rdanimset.h"

#include <cstdint>
#include <vector>

class AnimPlayerStateMachine;
class HbIntHashMap;
class RdAnimation;
class RdAnimChannel;
class TsActor;
class TsAnimActor;
class TsFModSound;
struct TsWeaponAnimation;

/// The "none" end animation, one past the animation states of the animation-set table.
constexpr int32_t kNoAnimState = kAnimStateCount;
/// A blend table key for "any state".
constexpr uint32_t kAnyAnimPlayerState = 0xFFFF;

struct AnimPlayerStateDesc;

class AnimPlayerState : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    enum Status
    {
        kPlaying = 0,
        kBlendingIn = 1,
        kBlendingOut = 2,
        kOver = 3,
    };
    using Callback = int32_t (*)(AnimPlayerState* state, TsAnimActor* actor, void* data);
    using EnterCallback = int32_t (*)(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor,
                                      void* data);

    AnimPlayerState() = default;
    /// Releases the sound and the end animation's name; the channel callbacks that name this
    /// state are removed.
    ~AnimPlayerState() override;

    // ---- Operations of the states ---------------------------------------------------------------

    /// Defaults for the actor and the machine; notify 0 for the hero and its kind.
    virtual void Init(TsAnimActor* actor, AnimPlayerStateMachine* machine);
    /// The defaults, then the description's fields (its sound looked up by name).
    void Init(const AnimPlayerStateDesc& desc);
    /// The enter callback may refuse (0); else next = default next, status playing, lock from
    /// lock-on-enter, a kind-4 timer disarmed; 1.
    virtual int32_t Enter(AnimPlayerState* previous);
    /// 0 once the state has played out, else the update callback's answer (1 without one).
    virtual int32_t Update();
    /// Whether the minimum duration has passed (the move states answer it).
    virtual int32_t MinimumDurationPassed() { return 1; }
    virtual int32_t Restart(float blendSeconds);
    /// Status over; the leave callback may refuse (0); else the bone profile is no longer killed.
    virtual int32_t Leave();
    /// The choose callback may pick the animation state; then PlayAnimation. 1 when played.
    virtual int32_t Play(float blendIn, float blendOut, float startSeconds, int32_t parameter);
    /// The killed profile removed, the state's callbacks off its channel, which fades out
    /// over the seconds when it still plays. 0 when the machine has no channel for it.
    virtual int32_t Prepare(float blendOutSeconds);
    /// The state has played out: the owner is told.
    virtual void NotifyOver() = 0;
    /// At each loop end of the looping kinds: a variant change, or the next of p loops.
    virtual void OnLoopEnd();
    virtual int32_t PlayEnd(float blendIn, float blendOut, float startSeconds);
    /// A value for the state from its skill's callbacks; no state class uses it.
    virtual void SetParameter(float value) { (void)value; }
    virtual void ReleaseProfile() {}
    virtual void EnableSpeedRate(int32_t on) { mSpeedRate = on; }
    /// The channel this state plays its animation on; null when none could start.
    virtual RdAnimChannel* StartChannel(RdAnimation* animation, int64_t startTicks, int64_t blendInTicks) = 0;
    /// Plays the held weapon's animation of the state (its record, then a variant of the
    /// animation-set table). 0 without a weapon, record, variant or channel.
    virtual int32_t PlayAnimation(int32_t animState, float blendIn, float blendOut, float startSeconds,
                                  int32_t parameter);
    /// Kind 4, each time the machine tries a transition: the timer runs to the blend-out time
    /// before the animation's end (over already when the channel is past it).
    virtual void Rearm();

    // ---- Other operations -----------------------------------------------------------------------

    void SetSound(TsFModSound* sound);
    /// The sound resource of that name; an unknown name or null leaves the state silent.
    void SetSound(const char* name);
    void SetEndAnimation(int32_t animState, const char* name, float delaySeconds);
    /// The machine's handle for this state's animation state.
    HbHandlePtr* GetAnimHandle();
    /// The channel playing this state's animation state, or null.
    RdAnimChannel* GetChannel();
    void ArmTimer(int64_t ticks);
    /// The channel callback at the state's event time (data: the state): the state is over
    /// unless its channel is fading out.
    static void OnEventTime(uint16_t channelId, void* data);
    /// The channel's loop-event callback (data: the state).
    static void OnLoopEvent(uint16_t channelId, void* data);
    /// The held weapon's record of the animation state, or null.
    TsWeaponAnimation* GetRecord(int32_t animState) const;
    /// What the players' NotifyOver share: the event of the id, from the actor to itself with the state's
    /// value, queued to the script world when the state notifies; the lock lifted either way.
    void QueueStateOver(int32_t eventId);

    // ---- Fields ---------------------------------------------------------------------------------

    TsAnimActor* mActor = nullptr;
    HbHandlePtr mChannel;
    AnimPlayerStateMachine* mMachine = nullptr;
    int32_t mAnimState = 0;
    int32_t mPlayKind = 0;
    Callback mUpdate = nullptr;
    void* mUpdateData = nullptr;
    EnterCallback mEnter = nullptr;
    void* mEnterData = nullptr;
    Callback mLeave = nullptr;
    void* mLeaveData = nullptr;
    Callback mChoose = nullptr;
    void* mChooseData = nullptr;
    Callback mCanContinue = nullptr;
    void* mCanContinueData = nullptr;
    Callback mRearm = nullptr;
    void* mRearmData = nullptr;
    int64_t mStartTime = 0;
    int64_t mReentryDelay = 0;
    int64_t mMinimumDuration = 0;
    int64_t mTimerDuration = 0;
    int32_t mTimerArmed = 0;
    int32_t mValue = 0;
    int32_t mDefaultNext = 0;
    int32_t mNext = 0;
    TsFModSound* mSound = nullptr;
    int32_t mSoundChannel = -1;
    int32_t mLock = 0;
    int32_t mLockOnEnter = 0;
    int32_t mBoneProfile = 1;
    int32_t mStatus = kOver;
    int32_t mExclusive = 0;
    int32_t mEndAnimation = kNoAnimState;
    char* mEndName = nullptr;
    int64_t mEndDelay = 0;
    int32_t mEndPhase = 2;
    int32_t mNotify = 1;
    int32_t mVariantCursor = 0;
    int32_t mLoopCounter = 0;
    int32_t mPriority = 0;
    float mBlendOut = 0.0f;
    int32_t mSpeedRate = 0;
    float mSmoothedRate = 0.0f;
    int64_t mStartOffset = 0;
    int64_t mEventTime = 0;
};

/// What a motor skill sets a new state up with.
struct AnimPlayerStateDesc
{
    using Callback = AnimPlayerState::Callback;
    using EnterCallback = AnimPlayerState::EnterCallback;
    int32_t value = 0;
    TsAnimActor* actor = nullptr;
    AnimPlayerStateMachine* machine = nullptr;
    int32_t animState = 0;
    int32_t boneProfile = 1;
    int32_t playKind = 0;
    int32_t lockOnEnter = 0;
    const char* soundName = nullptr;
    int32_t defaultNext = 0;
    float reentryDelay = 0.0f;    ///< seconds
    float minimumDuration = 0.0f; ///< seconds
    Callback update = nullptr;
    void* updateData = nullptr;
    EnterCallback enter = nullptr;
    void* enterData = nullptr;
    Callback leave = nullptr;
    void* leaveData = nullptr;
};

class AnimPlayerStateMachine : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    using ChangeCallback = void (*)(AnimPlayerState* current, AnimPlayerState* previous, TsAnimActor* actor,
                                    void* data);

    AnimPlayerStateMachine() = default;
    /// Releases every state, the animation handles and the actor handle.
    ~AnimPlayerStateMachine() override;

    /// 0 nothing changed, 2 a transition or a played-out state, 4 no current state; the
    /// answers of TryTransition otherwise.
    virtual int32_t Update();
    virtual void ApplyTransition() {}

    /// n empty slots, the tables cleared, the handles released; current (and requested) the
    /// state given, previous 0.
    void Init(int32_t n, TsAnimActor* actor, int32_t current);
    /// Takes a reference on the state, releases the old one. Out of range: nothing.
    void SetState(int32_t index, AnimPlayerState* state);
    AnimPlayerState* GetState(int32_t index) const;
    AnimPlayerState* GetCurrentState() const { return GetState(mCurrent); }
    int32_t GetCurrentStateIndex() const { return mCurrent; }
    int32_t GetPreviousStateIndex() const { return mPrevious; }
    int32_t GetRequestedStateIndex() const { return mRequested; }
    int32_t GetStateCount() const { return int32_t(mStates.size()); }
    void SetRequest(int32_t state, int32_t parameter) { mRequested = state, mParameter = parameter; }
    /// 0 already current, 3 no states, 4 actor gone, else the transition's answer.
    int32_t RequestState(int32_t state);
    void SetChangeCallback(ChangeCallback function, void* data) { mChange = function, mChangeData = data; }
    /// The data the change callback is called with (null without one).
    void* GetChangeData() const { return mChangeData; }
    void Reset();
    void StartTransition();
    void SetAnimHandle(int32_t animState, RdAnimChannel* channel);
    HbHandlePtr* GetAnimHandle(int32_t animState);
    /// The tables are borrowed (null allowed).
    void SetBlendTable(HbIntHashMap* table) { mBlend = table; }
    void SetSyncTable(HbIntHashMap* table) { mSync = table; }
    TsAnimActor* GetActor();

    /// The cross-fade time from one state to another: the pair, any state to `to`, `from` to
    /// any state, else 0.1 s.
    float BlendTime(int32_t from, int32_t to) const;
    /// 0 nothing to do, 2 done, 3 no states, 4 actor gone, 5 refused by the timing rules.
    int32_t TryTransition();
    int32_t DoTransition();

protected:
    int32_t mCurrent = 0;
    int32_t mPrevious = 0;
    int32_t mRequested = 0;

private:
    void Swap();
    int32_t TryEndAnimation(AnimPlayerState* state);

    HbHandlePtr mActor;
    std::vector<AnimPlayerState*> mStates;
    HbHandlePtr mAnimHandles[kAnimStateCount];
    HbIntHashMap* mBlend = nullptr;
    HbIntHashMap* mSync = nullptr;
    ChangeCallback mChange = nullptr;
    void* mChangeData = nullptr;
    int32_t mParameter = 0;
};

/// Stores the time under (from << 16) | to and, with both set, under (to << 16) | from. 1.
int32_t TsSetAnimBlendTime(HbIntHashMap* table, int32_t from, int32_t to, float seconds, int32_t both);

class AnimPlayerRequestStack
{
public:
    static constexpr int32_t kCapacity = 10;
    enum Kind
    {
        kPush = 0,
        kReplace = 1,
        kUrgent = 2,
    };
    /// Records come from the pool "AnimPlayerRequest" (20, heap beyond).
    struct Request
    {
        HB_DECLARE_CLASS_POOL();
        static constexpr int32_t kPoolSize = 20;
        int32_t state;
        int64_t time;
        int32_t kind;
    };

    AnimPlayerRequestStack();
    ~AnimPlayerRequestStack();

    void Bind(AnimPlayerStateMachine* machine, TsAnimActor* actor) { mMachine = machine, mActor = actor; }
    /// 1 queued; 0 refused (same state as the newest, or the oldest for an urgent one) or
    /// dropped because the stack is full.
    int32_t Push(int32_t state, int32_t kind);
    /// Acts on the oldest request once per frame: 1 when a state was requested.
    int32_t Process();
    void Clear() { mCount = 0; }
    int32_t GetCount() const { return mCount; }
    const Request* GetRequest(int32_t index) const { return index < mCount ? mRequests[size_t(index)] : nullptr; }

private:
    void DropOldest();
    int32_t WholeBodyChannels() const;

    Request* mRequests[kCapacity] = {};
    int32_t mCount = 0;
    AnimPlayerStateMachine* mMachine = nullptr;
    TsAnimActor* mActor = nullptr;
};
