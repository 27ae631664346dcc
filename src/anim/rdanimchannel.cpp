// Animation channels.
#include "rdanimchannel.h"

#include "animation.h"
#include "hbclock.h"
#include "hierarchy.h"
#include "rdanim.h"
#include "rdeventmanager.h"

HB_DEFINE_CLASS_DESC(RdAnimChannel, RdChannel);
HB_DEFINE_CLASS_POOL(RdAnimChannel, "RdAnimChannel", 60);

RdAnimChannel::RdAnimChannel(uint16_t channelId, RdAnimation* animation, float startTime, int64_t now)
    : RdChannel(channelId, now), mAnimation(animation), mStartTime(startTime), mStartClockTime(now)
{
    if (mAnimation)
        mAnimation->AddRef();
}

RdAnimChannel::~RdAnimChannel()
{
    if (mHierarchy)
    {
        RdEventManager::Unregister(mHierarchy);
        AnimInterpolator::SetLoopCallback(mHierarchy->interpolator, nullptr, nullptr);
    }
    if (mAnimation)
        mAnimation->Release();
    mAnimation = nullptr;
    mSpeedFactor = -1.0f;
}

void RdAnimChannel::Attach(Hierarchy* modelHierarchy, int64_t now)
{
    mCreationTime = mLastUpdateTime = now;
    if (mHierarchy)
    {
        RdEventManager::Unregister(mHierarchy);
        AnimInterpolator::SetLoopCallback(mHierarchy->interpolator, nullptr, nullptr);
        RdHierarchyCache::Release(mHierarchy);
    }
    mHierarchy = RdHierarchyCache::Acquire(modelHierarchy);
    if (!mHierarchy)
        return;
    AnimInterpolator* interpolator = mHierarchy->interpolator;
    AnimInterpolator::SetLoopCallback(interpolator, mLoop ? OnLoop : OnEnd, this);
    AnimInterpolator::SetTimedCallback(interpolator, nullptr, 0.0f, nullptr);
    if (mAnimation && mAnimation->GetAnimation())
        AnimInterpolator::SetAnimation(interpolator, mAnimation->GetAnimation());
    AnimInterpolator::SetCurrentTime(interpolator, mStartTime);
}

int RdAnimChannel::Update(int64_t now)
{
    // Callbacks and event receivers run inside this step; the channel (and with it the
    // interpolator being stepped) outlives them even when one of them releases it.
    BeginStep();
    UpdateWeight(now);
    FireDue(now);
    const int alive = IsAlive();
    const float step = HbGameClock::Instance() ? HbGameClock::Instance()->mStepSeconds : 0.0f;
    if (step >= 0.0f && mHierarchy && mHierarchy->interpolator->animation && !IsReleasedInStep())
        AnimInterpolator::AddTime(mHierarchy->interpolator, step * mSpeedFactor);
    mLastUpdateTime = now;
    return EndStep() ? 0 : alive;
}

void RdAnimChannel::FireDue(int64_t now)
{
    const double ticksPerSecond = double(HbPerformanceFrequency());
    for (int32_t i = 0; i < mCallbackCount && !IsReleasedInStep(); ++i)
    {
        const int64_t key = mCallbacks[i].key;
        if (key < 0 || !(mSpeedFactor > 0.0f))
            continue;
        // The key is play time: at twice the speed it comes after half the clock time.
        const double stretched = double(key) / ticksPerSecond / double(mSpeedFactor) * ticksPerSecond;
        if (stretched >= 9.0e18)
            continue;
        const int64_t due = mCreationTime + int64_t(stretched);
        if (mLastUpdateTime <= due && due <= now)
        {
            const Callback entry = mCallbacks[i];
            i = RemoveCallbackAt(i);
            if (entry.function)
                entry.function(mId, entry.data);
        }
    }
}

void RdAnimChannel::Silence()
{
    if (!mHierarchy)
        return;
    RdEventManager::Unregister(mHierarchy);
    AnimInterpolator::SetLoopCallback(mHierarchy->interpolator, nullptr, nullptr);
}

void RdAnimChannel::SetLoop(int loop)
{
    mLoop = loop;
    if (mHierarchy)
        AnimInterpolator::SetLoopCallback(mHierarchy->interpolator, loop ? OnLoop : OnEnd, this);
}

int RdAnimChannel::SetSpeed(float groundSpeed)
{
    if (mAnimation && mAnimation->GetRootSpeed() > 0.0f)
        mSpeedFactor = groundSpeed / mAnimation->GetRootSpeed();
    return 1;
}

float RdAnimChannel::GetSpeed() const
{
    return mAnimation ? mAnimation->GetRootSpeed() * mSpeedFactor : 0.0f;
}

float RdAnimChannel::GetTime() const
{
    return mHierarchy ? mHierarchy->interpolator->currentTime : 0.0f;
}

int32_t RdAnimChannel::OnLoop(AnimInterpolator*, void* data)
{
    static_cast<RdAnimChannel*>(data)->FireEvent(kLoopEvent, false);
    return 1;
}

int32_t RdAnimChannel::OnEnd(AnimInterpolator* interpolator, void* data)
{
    auto* channel = static_cast<RdAnimChannel*>(data);
    channel->FireEvent(kEndEvent, true);
    channel->mActive = 0;
    // Hold the last frame; the jump to the end delivers no events.
    RdEventSet* set = channel->mAnimation ? channel->mAnimation->GetEventSet() : nullptr;
    if (set)
        set->mMuted = 1;
    if (interpolator->animation)
        AnimInterpolator::SetCurrentTime(interpolator, interpolator->animation->duration);
    if (set)
        set->mMuted = 0;
    return 0;
}
