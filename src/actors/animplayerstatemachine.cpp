// The animation player state machine, the state base class and the request stack.
#include "animplayerstatemachine.h"

#include "fmod3.h"
#include "hbclock.h"
#include "hbhashmap.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "scriptworldmanager.h"
#include "tsanimactor.h"
#include "tsfmodsound.h"
#include "tsheroactor.h"
#include "tssendevent.h"
#include "tsweapon.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"

#include <algorithm>
#include <cstring>

HB_DEFINE_CLASS_DESC(AnimPlayerState, HbRoot);
HB_DEFINE_CLASS_DESC(AnimPlayerStateMachine, HbRoot);
HB_DEFINE_CLASS_POOL(AnimPlayerRequestStack::Request, "AnimPlayerRequest", AnimPlayerRequestStack::Request::kPoolSize);

namespace
{
constexpr float kDefaultBlend = 0.1f;

int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

int64_t Ticks(float seconds)
{
    return int64_t(double(seconds) * double(HbPerformanceFrequency()));
}

float Seconds(int64_t ticks)
{
    return float(double(ticks) / double(HbPerformanceFrequency()));
}

bool RampingDown(const RdChannel* channel)
{
    return channel->GetRampTo() < channel->GetRampFrom();
}

bool RampingUp(const RdChannel* channel)
{
    return channel->GetRampTo() > channel->GetRampFrom();
}

/// Live whole-body channels of the motor: two mean a cross-fade of the body is under way.
int32_t CountWholeBodyChannels(RdAnimMotor* motor)
{
    if (!motor)
        return 0;
    int32_t count = 0;
    motor->ForAllAnimChannels(
        [](RdAnimChannel* channel, void* data) {
            if (channel->IsAlive() && channel->GetBones().mId == 1)
                ++*static_cast<int32_t*>(data);
        },
        &count);
    return count;
}

/// Starts the state's sound and places a channel it got at the actor, without velocity.
void PlayStateSound(AnimPlayerState* state)
{
    if (!state->mSound)
        return;
    state->mSoundChannel = state->mSound->Play();
    W3dNode* node = state->mActor ? state->mActor->GetNode() : nullptr;
    if (state->mSoundChannel < 0 || !node)
        return;
    const Vector* at = node->GetWorldPosition();
    const float position[3] = {at->x, at->y, at->z};
    FSOUND_3D_SetAttributes(state->mSoundChannel, position, nullptr);
}

uint32_t Key(int32_t from, int32_t to)
{
    return (uint32_t(from) << 16) | (uint32_t(to) & 0xFFFFu);
}

// The tables keep a real in the bits of the value pointer.
bool FindReal(const HbIntHashMap* table, uint32_t key, float& out)
{
    void* value = nullptr;
    if (!table || !table->Find(key, value))
        return false;
    const uint32_t bits = uint32_t(reinterpret_cast<uintptr_t>(value));
    std::memcpy(&out, &bits, sizeof out);
    return true;
}
} // namespace

int32_t TsSetAnimBlendTime(HbIntHashMap* table, int32_t from, int32_t to, float seconds, int32_t both)
{
    if (!table)
        return 1;
    uint32_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    *table->FindOrInsert(Key(from, to)) = reinterpret_cast<void*>(uintptr_t(bits));
    if (both == 1)
        *table->FindOrInsert(Key(to, from)) = reinterpret_cast<void*>(uintptr_t(bits));
    return 1;
}

// ---- AnimPlayerState ---------------------------------------------------------------------------------

AnimPlayerState::~AnimPlayerState()
{
    // A channel may outlive its state: nothing of it may call back here.
    auto forget = [this](RdAnimChannel* channel) {
        if (!channel)
            return;
        channel->RemoveCallback(OnEventTime, mEventTime);
        channel->RemoveCallback(OnLoopEvent, RdChannel::kLoopEvent);
    };
    forget(mChannel.IsValid() ? HbCastTo<RdAnimChannel>(mChannel.GetObject()) : nullptr);
    forget(GetChannel());
    if (mSound)
        mSound->Release();
    delete[] mEndName;
}

void AnimPlayerState::Init(TsAnimActor* actor, AnimPlayerStateMachine* machine)
{
    mActor = actor;
    mMachine = machine;
    mStatus = kOver;
    mEndAnimation = kNoAnimState;
    mEndPhase = 2;
    mBoneProfile = 1;
    mNotify = HbCastTo<TsHeroActor>(actor) ? 0 : 1;
    mVariantCursor = 0;
    mLoopCounter = 0;
    mPriority = 0;
    mBlendOut = 0.0f;
    mSoundChannel = -1;
}

void AnimPlayerState::Init(const AnimPlayerStateDesc& desc)
{
    Init(desc.actor, desc.machine);
    mValue = desc.value;
    mAnimState = desc.animState;
    mBoneProfile = desc.boneProfile;
    mPlayKind = desc.playKind;
    mLockOnEnter = desc.lockOnEnter;
    SetSound(desc.soundName);
    mDefaultNext = desc.defaultNext;
    mReentryDelay = Ticks(desc.reentryDelay);
    mMinimumDuration = Ticks(desc.minimumDuration);
    mUpdate = desc.update;
    mUpdateData = desc.updateData;
    mEnter = desc.enter;
    mEnterData = desc.enterData;
    mLeave = desc.leave;
    mLeaveData = desc.leaveData;
}

int32_t AnimPlayerState::Enter(AnimPlayerState* previous)
{
    if (mEnter && !mEnter(this, previous, mActor, mEnterData))
        return 0;
    mNext = mDefaultNext;
    mStatus = kPlaying;
    mLock = mLockOnEnter;
    mVariantCursor = 0;
    if (mPlayKind == 4)
        mTimerArmed = 0;
    return 1;
}

int32_t AnimPlayerState::Update()
{
    if (mTimerArmed && Now() >= mStartTime + mTimerDuration)
    {
        mTimerArmed = 0;
        if (mPlayKind == 4)
        {
            mStatus = kOver;
            mLock = 0;
            return 0;
        }
        if (mPlayKind == 3)
        {
            Prepare(0.3f);
            Play(0.3f, 0.3f, 0.0f, 0);
        }
        else if (mPlayKind == 2)
        {
            mStatus = kOver;
            return 0;
        }
    }
    if (mStatus == kBlendingOut || mStatus == kOver)
        return 0;
    RdAnimChannel* channel = GetChannel();
    if (!channel || !channel->mActive)
        mStatus = kOver;
    else if (channel->GetRampTo() < channel->GetRampFrom())
        mStatus = kBlendingOut;
    else if (channel->GetRampTo() > channel->GetRampFrom())
        mStatus = kBlendingIn;
    if (mStatus == kOver)
        return 0;
    return mUpdate ? mUpdate(this, mActor, mUpdateData) : 1;
}

int32_t AnimPlayerState::Restart(float blendSeconds)
{
    mVariantCursor = 0;
    const int32_t prepared = Prepare(blendSeconds);
    const int32_t played = Play(blendSeconds, blendSeconds, 0.0f, 0);
    return prepared && played ? 1 : 0;
}

int32_t AnimPlayerState::Leave()
{
    mStatus = kOver;
    if (mLeave && !mLeave(this, mActor, mLeaveData))
        return 0;
    if (RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr)
        motor->RemoveKilledProfile(mActor, mBoneProfile);
    return 1;
}

int32_t AnimPlayerState::Play(float blendIn, float blendOut, float startSeconds, int32_t parameter)
{
    int32_t animState = mAnimState;
    if (mChoose)
        animState = mChoose(this, mActor, mChooseData);
    const int32_t played = PlayAnimation(animState, blendIn, blendOut, startSeconds, parameter);
    if (mEndPhase == 1)
        mEndPhase = 2;
    return played;
}

int32_t AnimPlayerState::PlayEnd(float blendIn, float blendOut, float startSeconds)
{
    const int32_t played = PlayAnimation(mEndAnimation, blendIn, blendOut, startSeconds, 0);
    mEndPhase = 3;
    return played;
}

void AnimPlayerState::SetSound(TsFModSound* sound)
{
    if (sound)
        sound->AddRef();
    if (mSound)
        mSound->Release();
    mSound = sound;
    mSoundChannel = -1;
}

void AnimPlayerState::SetSound(const char* name)
{
    HbResourceManager* manager = name ? HbResourceManager::Instance() : nullptr;
    // Held while handed over: SetSound takes its own reference.
    HbRoot* resource = manager ? manager->AcquireResource(name) : nullptr;
    SetSound(HbCastTo<TsFModSound>(resource));
    if (resource)
        resource->Release();
}

void AnimPlayerState::SetEndAnimation(int32_t animState, const char* name, float delaySeconds)
{
    mEndAnimation = animState;
    delete[] mEndName;
    mEndName = nullptr;
    if (name)
    {
        mEndName = new char[std::strlen(name) + 1];
        std::strcpy(mEndName, name);
    }
    mEndDelay = Ticks(delaySeconds);
}

HbHandlePtr* AnimPlayerState::GetAnimHandle()
{
    return mMachine ? mMachine->GetAnimHandle(mAnimState) : nullptr;
}

RdAnimChannel* AnimPlayerState::GetChannel()
{
    HbHandlePtr* handle = GetAnimHandle();
    if (!handle || !handle->IsValid())
        return nullptr;
    return HbCastTo<RdAnimChannel>(handle->GetObject());
}

void AnimPlayerState::OnEventTime(uint16_t, void* data)
{
    auto* state = static_cast<AnimPlayerState*>(data);
    RdAnimChannel* channel = state->GetChannel();
    if (!channel || !RampingDown(channel))
        state->mStatus = kOver;
}

void AnimPlayerState::OnLoopEvent(uint16_t, void* data)
{
    static_cast<AnimPlayerState*>(data)->OnLoopEnd();
}

TsWeaponAnimation* AnimPlayerState::GetRecord(int32_t animState) const
{
    TsWeapon* weapon = mActor ? HbCastTo<TsWeapon>(mActor->GetWeapon()) : nullptr;
    return weapon ? weapon->GetAnimation(animState) : nullptr;
}

void AnimPlayerState::QueueStateOver(int32_t eventId)
{
    ScriptWorldManager* world = mNotify ? ScriptWorldManager::Instance() : nullptr;
    if (world && mActor)
    {
        TsSendEvent event;
        event.id = eventId;
        event.sender = mActor;
        event.target = mActor;
        event.value = float(mValue);
        world->QueueEvent(event);
    }
    mLock = 0;
}

int32_t AnimPlayerState::Prepare(float blendOutSeconds)
{
    if (RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr)
        motor->RemoveKilledProfile(mActor, mBoneProfile);
    HbHandlePtr* handle = GetAnimHandle();
    if (!handle || !handle->IsValid())
        return 0;
    RdAnimChannel* channel = HbCastTo<RdAnimChannel>(handle->GetObject());
    if (!channel)
        return 1;
    channel->RemoveCallback(OnEventTime, mEventTime);
    channel->RemoveCallback(OnLoopEvent, RdChannel::kLoopEvent);
    if (!channel->mActive || RampingDown(channel))
        return 1;
    uint16_t id = channel->GetId();
    return TsAnimActorFadeOutChannel(mActor, &id, Ticks(blendOutSeconds));
}

int32_t AnimPlayerState::PlayAnimation(int32_t animState, float blendIn, float blendOut, float startSeconds,
                                       int32_t parameter)
{
    TsWeapon* weapon = mActor ? HbCastTo<TsWeapon>(mActor->GetWeapon()) : nullptr;
    if (!weapon)
        return 0;
    if (mExclusive)
        if (RdAnimMotor* motor = mActor->GetAnimMotor())
            motor->FadeOutAllChannels(blendIn);
    const TsWeaponAnimation* record = weapon->GetAnimation(animState);
    if (!record)
        return 0;
    mBlendOut = blendOut;
    RdAnimation* animation = nullptr;
    const int32_t count = AnimSetPickVariant(mActor->mFamily, record->kind, record->state, &animation, &mVariantCursor);
    if (!animation)
        return 0;
    const RdAnimation* first = AnimSetGetFirstVariant(record->kind, record->state);
    const float firstDuration = first ? first->GetDuration() : 0.0f;
    mStartOffset = startSeconds > 0.0f && startSeconds < firstDuration ? Ticks(startSeconds)
                                                                       : Ticks(record->startFraction * firstDuration);
    mEventTime = Ticks(record->eventFraction * firstDuration);
    weapon->ScaleParameter(record->parameter);
    mEndPhase = HbCastTo<TsWeaponShoot>(weapon) ? 0 : 1;

    RdAnimChannel* channel = StartChannel(animation, mStartOffset, Ticks(blendIn));
    mChannel.Assign(channel);
    if (mMachine)
        mMachine->SetAnimHandle(mAnimState, channel);
    if (!channel)
        return 0;
    if (mPlayKind == 0)
    {
        channel->RemoveCallback(OnEventTime, mEventTime);
        // A record without an event time (a negative fraction) ends with its channel.
        if (mEventTime >= 0)
            channel->AddTimedCallback(OnEventTime, this, mEventTime);
    }
    else
    {
        channel->RemoveCallback(OnLoopEvent, RdChannel::kLoopEvent);
        channel->AddTimedCallback(OnLoopEvent, this, RdChannel::kLoopEvent);
    }
    mStartTime = Now();
    mLoopCounter = 0;
    const int64_t duration = Ticks(animation->GetDuration());
    if (mPlayKind == 2 && parameter != 0)
    {
        ArmTimer(int64_t(parameter - 1) * duration + mEventTime);
        mLoopCounter = parameter - 1;
    }
    else if (mPlayKind == 3 && count > 0)
        ArmTimer(int64_t(count) * duration);
    return 1;
}

void AnimPlayerState::OnLoopEnd()
{
    RdAnimChannel* channel = mChannel.IsValid() ? HbCastTo<RdAnimChannel>(mChannel.GetObject()) : nullptr;
    if (!channel)
    {
        mChannel.Reset();
        return;
    }
    if (RampingUp(channel))
        return;
    if (mCanContinue && !mCanContinue(this, mActor, mCanContinueData))
    {
        mStatus = kOver;
        return;
    }
    const int32_t chosen = mChoose ? mChoose(this, mActor, mChooseData) : mAnimState;
    if (mPlayKind == 2 && !RampingDown(channel))
    {
        if (mLoopCounter <= 0)
            return;
        --mLoopCounter;
        if (CountWholeBodyChannels(mActor ? mActor->GetAnimMotor() : nullptr) >= 2)
        {
            mStatus = kOver;
            return;
        }
        if (chosen == mAnimState)
        {
            if (!Enter(nullptr))
                mStatus = kOver;
            return;
        }
        // The old animation is left before the state is entered again: entered last, the
        // state goes on playing instead of reading as over.
        const int32_t loops = mLoopCounter;
        Leave();
        Prepare(0.2f);
        if (!Enter(nullptr))
        {
            mStatus = kOver;
            return;
        }
        mAnimState = chosen;
        PlayAnimation(chosen, 0.2f, 0.2f, 0.0f, loops);
        return;
    }
    if (chosen != mAnimState)
    {
        Prepare(0.2f);
        mAnimState = chosen;
        PlayAnimation(chosen, 0.2f, 0.2f, 0.0f, 0);
    }
}

void AnimPlayerState::Rearm()
{
    RdAnimChannel* channel = mChannel.IsValid() ? HbCastTo<RdAnimChannel>(mChannel.GetObject()) : nullptr;
    if (!channel || RampingDown(channel))
        return;
    const TsWeaponAnimation* record = GetRecord(mAnimState);
    const RdAnimation* first = record ? AnimSetGetFirstVariant(record->kind, record->state) : nullptr;
    const float rest = (first ? first->GetDuration() : 0.0f) - mBlendOut;
    const float time = channel->GetTime();
    if (time > rest)
    {
        mStatus = kOver;
        return;
    }
    ArmTimer(Ticks(std::max(rest, 0.0f) - time));
    if (mRearm)
        mRearm(this, mActor, mRearmData);
}

void AnimPlayerState::ArmTimer(int64_t ticks)
{
    mTimerDuration = ticks;
    mTimerArmed = 1;
    mStartTime = Now();
}

// ---- AnimPlayerStateMachine ------------------------------------------------------------------------

AnimPlayerStateMachine::~AnimPlayerStateMachine()
{
    for (AnimPlayerState* state : mStates)
        if (state)
        {
            // A state kept elsewhere must not reach the machine's handles any more.
            state->mMachine = nullptr;
            state->Release();
        }
}

void AnimPlayerStateMachine::Init(int32_t n, TsAnimActor* actor, int32_t current)
{
    mPrevious = 0;
    mCurrent = current;
    // Nothing is asked of a machine just prepared: a request left from before would make its
    // first update leave the initial state.
    mRequested = current;
    mParameter = 0;
    mActor.Assign(actor);
    mBlend = nullptr;
    mSync = nullptr;
    for (AnimPlayerState* state : mStates)
        if (state)
            state->Release();
    mStates.assign(size_t(n > 0 ? n : 0), nullptr);
    for (HbHandlePtr& handle : mAnimHandles)
        handle.Reset();
}

void AnimPlayerStateMachine::SetState(int32_t index, AnimPlayerState* state)
{
    if (index < 0 || index >= GetStateCount())
        return;
    if (state)
        state->AddRef();
    if (AnimPlayerState* old = mStates[size_t(index)])
        old->Release();
    mStates[size_t(index)] = state;
}

AnimPlayerState* AnimPlayerStateMachine::GetState(int32_t index) const
{
    return index >= 0 && index < GetStateCount() ? mStates[size_t(index)] : nullptr;
}

TsAnimActor* AnimPlayerStateMachine::GetActor()
{
    return mActor.IsValid() ? HbCastTo<TsAnimActor>(mActor.GetObject()) : nullptr;
}

void AnimPlayerStateMachine::SetAnimHandle(int32_t animState, RdAnimChannel* channel)
{
    if (animState >= 0 && animState < kAnimStateCount)
        mAnimHandles[animState].Assign(channel);
}

HbHandlePtr* AnimPlayerStateMachine::GetAnimHandle(int32_t animState)
{
    return animState >= 0 && animState < kAnimStateCount ? &mAnimHandles[animState] : nullptr;
}

float AnimPlayerStateMachine::BlendTime(int32_t from, int32_t to) const
{
    float seconds = kDefaultBlend;
    if (!mBlend)
        return seconds;
    if (FindReal(mBlend, Key(from, to), seconds) || FindReal(mBlend, Key(kAnyAnimPlayerState, to), seconds) ||
        FindReal(mBlend, Key(from, kAnyAnimPlayerState), seconds))
        return seconds;
    return kDefaultBlend;
}

int32_t AnimPlayerStateMachine::RequestState(int32_t state)
{
    if (state == mCurrent)
        return 0;
    if (mStates.empty())
        return 3;
    if (!GetActor())
        return 4;
    SetRequest(state, 0);
    return TryTransition();
}

void AnimPlayerStateMachine::Reset()
{
    for (AnimPlayerState* state : mStates)
        if (state)
            state->Prepare(0.0f);
    mCurrent = mPrevious = mRequested = 0;
}

void AnimPlayerStateMachine::StartTransition()
{
    AnimPlayerState* current = GetCurrentState();
    if (!current)
        return;
    current->Enter(GetState(mPrevious));
    current->Play(BlendTime(mPrevious, mCurrent), BlendTime(mCurrent, current->mNext), 0.0f, 0);
}

int32_t AnimPlayerStateMachine::Update()
{
    TryTransition();
    AnimPlayerState* current = GetCurrentState();
    if (!current)
        return 4;
    if (current->Update())
    {
        TryEndAnimation(current);
        return 0;
    }
    // Played out: the state-over event goes first, then the next state runs this frame.
    const int32_t next = current->mNext;
    current->NotifyOver();
    SetRequest(next, 0);
    TryTransition();
    if (mChange)
        mChange(GetCurrentState(), GetState(mPrevious), GetActor(), mChangeData);
    return 2;
}

int32_t AnimPlayerStateMachine::TryEndAnimation(AnimPlayerState* state)
{
    if (state->mEndAnimation == kNoAnimState || state->mEndPhase != 2 ||
        Now() - state->mStartTime < state->mEndDelay)
        return 0;
    HbInputManager* input = HbInputManager::Instance();
    HbInputAction* action = input ? input->FindAction("SHOOT_CLICK") : nullptr;
    if (!action || !action->IsTriggered())
        return 0;
    if (!state->Enter(state))
        return 0;
    state->Prepare(0.3f);
    AnimPlayerState* requested = GetState(mRequested);
    state->PlayEnd(0.3f, BlendTime(mRequested, requested ? requested->mNext : 0), 0.0f);
    PlayStateSound(state);
    return 1;
}

int32_t AnimPlayerStateMachine::TryTransition()
{
    if (mRequested == mCurrent)
        return 0;
    if (mStates.empty())
        return 3;
    if (!GetActor())
        return 4;
    AnimPlayerState* current = GetCurrentState();
    AnimPlayerState* requested = GetState(mRequested);
    if (current && current->mPlayKind == 4)
        current->Rearm();
    if (mRequested != 1 && !(requested && requested->mExclusive))
    {
        const int64_t now = Now();
        if (requested && now - requested->mStartTime < requested->mReentryDelay)
            return 5;
        if (current && (now - current->mStartTime < current->mMinimumDuration || current->mLock == 1))
            return 5;
    }
    return DoTransition();
}

void AnimPlayerStateMachine::Swap()
{
    AnimPlayerState* old = GetCurrentState();
    mPrevious = mCurrent;
    mCurrent = mRequested;
    if (old && old->mSoundChannel != -1)
    {
        FSOUND_StopSound(old->mSoundChannel);
        old->mSoundChannel = -1;
    }
    if (AnimPlayerState* now = GetCurrentState())
        PlayStateSound(now);
    mParameter = 0;
}

int32_t AnimPlayerStateMachine::DoTransition()
{
    AnimPlayerState* r = GetState(mRequested);
    AnimPlayerState* c = GetCurrentState();
    if (!r)
    {
        if (c && c->Leave())
            c->ReleaseProfile();
        if (c)
            c->Prepare(BlendTime(mCurrent, mRequested));
        Swap();
        return 2;
    }
    if (!c)
    {
        if (r->Enter(nullptr))
        {
            r->Play(BlendTime(mCurrent, mRequested), BlendTime(mRequested, r->mNext), 0.0f, mParameter);
            Swap();
            ApplyTransition();
        }
        mCurrent = mRequested;
        return 0;
    }
    if (!r->Enter(c))
    {
        mRequested = mCurrent;
        return 0;
    }
    c->Leave();
    if (r->mAnimState != c->mAnimState)
    {
        const float blendOut = BlendTime(mRequested, r->mNext);
        float blendIn;
        float start = 0.0f;
        if (FindReal(mSync, Key(mCurrent, mRequested), blendIn) || FindReal(mSync, Key(mRequested, mCurrent), blendIn))
        {
            // The new animation continues in step with the old one.
            RdAnimChannel* channel = c->GetChannel();
            start = channel ? channel->GetTime() : 0.0f;
        }
        else
            blendIn = BlendTime(mCurrent, mRequested);
        c->Prepare(blendIn);
        r->Play(blendIn, blendOut, start, mParameter);
        Swap();
        ApplyTransition();
        return 2;
    }
    // The same animation goes on playing; only its looping changes with the play kinds.
    Swap();
    RdAnimChannel* channel = r->GetChannel();
    r->mChannel.Assign(channel);
    if (channel && c->mPlayKind == 0 && r->mPlayKind != 0)
    {
        channel->SetLoop(1);
        channel->RemoveCallback(AnimPlayerState::OnEventTime, r->mEventTime);
    }
    else if (channel && c->mPlayKind != 0 && r->mPlayKind == 0)
    {
        channel->SetLoop(0);
        if (channel->GetTime() > Seconds(r->mEventTime))
            r->mStatus = AnimPlayerState::kOver;
        else if (r->mEventTime >= 0)
            channel->AddTimedCallback(AnimPlayerState::OnEventTime, r, r->mEventTime);
    }
    return 2;
}

// ---- AnimPlayerRequestStack ------------------------------------------------------------------------

AnimPlayerRequestStack::AnimPlayerRequestStack()
{
    for (Request*& request : mRequests)
        request = new Request{0, 0, 0};
}

AnimPlayerRequestStack::~AnimPlayerRequestStack()
{
    for (Request* request : mRequests)
        delete request;
}

int32_t AnimPlayerRequestStack::Push(int32_t state, int32_t kind)
{
    if (kind == kReplace)
    {
        if (mCount > 0)
            --mCount;
        kind = kPush;
    }
    if (kind == kPush)
    {
        if (mCount > kCapacity || (mCount > 0 && mRequests[size_t(mCount - 1)]->state == state))
            return 0;
        if (mCount == kCapacity)
            return 0; // full: dropped, and the caller is told
        *mRequests[size_t(mCount++)] = {state, Now(), kPush};
        return 1;
    }
    if (kind == kUrgent)
    {
        if (mCount > 0 && mRequests[0]->state == state)
            return 0;
        if (mCount == kCapacity)
            return 0;
        // The record past the newest moves to the front.
        Request* record = mRequests[size_t(mCount)];
        for (int32_t i = mCount; i > 0; --i)
            mRequests[size_t(i)] = mRequests[size_t(i - 1)];
        mRequests[0] = record;
        *record = {state, Now(), kUrgent};
        ++mCount;
        return 1;
    }
    return 1;
}

void AnimPlayerRequestStack::DropOldest()
{
    if (mCount == 0)
        return;
    Request* oldest = mRequests[0];
    for (int32_t i = 1; i < kCapacity; ++i)
        mRequests[size_t(i - 1)] = mRequests[size_t(i)];
    mRequests[kCapacity - 1] = oldest;
    --mCount;
}

int32_t AnimPlayerRequestStack::WholeBodyChannels() const
{
    RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr;
    if (!motor)
        return 0;
    return CountWholeBodyChannels(motor);
}

int32_t AnimPlayerRequestStack::Process()
{
    if (mCount == 0 || !mMachine)
        return 0;
    const Request& oldest = *mRequests[0];
    if (double(Now() - oldest.time) > double(HbPerformanceFrequency()) * 0.5)
    {
        DropOldest();
        return 0;
    }
    if (oldest.state == 0)
    {
        mMachine->SetRequest(0, 0);
        DropOldest();
        return 1;
    }
    if (oldest.kind == kUrgent)
    {
        mMachine->SetRequest(oldest.state, 0);
        mCount = 0;
        return 1;
    }
    if (mMachine->GetState(oldest.state) && WholeBodyChannels() < 2)
    {
        mMachine->SetRequest(oldest.state, 0);
        DropOldest();
        return 1;
    }
    return 0;
}
