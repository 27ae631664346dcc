// Animation requests and the timed slots.
#include "rdanimrequest.h"

#include "hbclock.h"
#include "hbptr.h"
#include "hbresource.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"

#include <cfloat>

namespace
{

AnimRequestHooks sHooks = {};
bool sHooked = false;

struct TimedSlot
{
    TsActor* actor = nullptr;
    HbHandlePtr channel;
    uint16_t channelId = 0;
    float delay = 0.0f;
    float elapsed = 0.0f;
    float fadeOut = 0.0f;
    int32_t free = 1;

    void Reset()
    {
        free = 1;
        delay = elapsed = fadeOut = 0.0f;
        actor = nullptr;
        channel.Reset();
        channelId = 0;
    }
};

TimedSlot* sSlots = nullptr;

int64_t ToTicks(float seconds)
{
    return int64_t(double(seconds) * double(HbPerformanceFrequency()));
}

void AtSectionEnd(uint16_t, void* data)
{
    if (sHooked && sHooks.requestMoveState)
        sHooks.requestMoveState(static_cast<TsActor*>(data), 3, 0);
}

} // namespace

void AnimRequestSetHooks(const AnimRequestHooks* hooks)
{
    sHooks = hooks ? *hooks : AnimRequestHooks{};
    sHooked = hooks != nullptr;
}

int32_t AnimRequestPlay(TsActor* actor, const char* resourceId, int32_t kind, uint32_t flags, float blendIn,
                        float blendOut, float startFraction, float endFraction, float duration)
{
    HbResourceManager* manager = HbResourceManager::Instance();
    auto* animation = manager && resourceId ? HbCastTo<RdAnimation>(manager->GetResource(resourceId)) : nullptr;
    if (!animation)
        return 3;
    // A shared resource stays cached at no reference: held here so that one no channel took
    // goes when the request is over.
    animation->AddRef();
    struct Hold
    {
        RdAnimation* animation;
        ~Hold() { animation->Release(); }
    } hold{animation};
    if (!sHooked || !sHooks.playAnim)
        return 2;
    const float d = animation->GetDuration();
    float start = d / 2.0f;
    float end = d;
    if (startFraction <= endFraction && startFraction + endFraction <= 1.0f)
    {
        start = d * startFraction;
        end = d * endFraction;
    }
    const float length = end - start;

    int32_t flag = 0;
    TimedSlot* slot = nullptr;
    if (kind == 0)
    {
        if (blendIn + blendOut > length)
            blendIn = blendOut = length / 2.0f;
    }
    else if (kind == 1)
        flag = 1;
    else if (kind == 2)
    {
        flag = 1;
        if (blendIn + blendOut > duration)
            blendIn = blendOut = duration / 2.0f;
        for (int32_t i = 0; sSlots && i < kTimedAnimSlotCount && !slot; ++i)
            if (sSlots[i].free)
                slot = &sSlots[i];
        if (!slot)
            return 1;
        slot->actor = actor;
        slot->free = 0;
        slot->delay = duration - blendIn - blendOut;
    }

    if (sHooks.playTimedAnim)
        sHooks.playTimedAnim(actor, nullptr);
    if (sHooks.setMoveRecord)
        sHooks.setMoveRecord(actor, flags | 0x1000u, FLT_MAX);
    if (RdAnimMotor* motor = sHooks.getMotor ? sHooks.getMotor(actor) : nullptr)
        motor->FadeOutAllChannels(blendIn);

    if (!HbCastTo<RdAnimation>(manager->GetResource(resourceId)))
        return 2;
    HbHandlePtr handle;
    sHooks.playAnim(actor, &handle, animation, 1, ToTicks(blendIn), ToTicks(start), flag);
    auto* channel = handle.IsValid() ? HbCastTo<RdAnimChannel>(handle.GetObject()) : nullptr;
    if (!channel)
        return 2;
    if (slot)
    {
        slot->channelId = channel->GetId();
        slot->channel.AssignFrom(handle);
        slot->fadeOut = blendOut;
    }
    if (kind == 0)
        channel->AddTimedCallback(AtSectionEnd, actor, ToTicks(end));
    return 0;
}

void TimedAnimRequestsInit()
{
    if (!sSlots)
        sSlots = new TimedSlot[kTimedAnimSlotCount];
    for (int32_t i = 0; i < kTimedAnimSlotCount; ++i)
        sSlots[i].Reset();
}

void TimedAnimRequestsTick()
{
    if (!sSlots)
        return;
    HbGameClock* clock = HbGameClock::Instance();
    const float dt = clock ? clock->mStepSeconds : 0.0f;
    for (int32_t i = 0; i < kTimedAnimSlotCount; ++i)
    {
        TimedSlot& slot = sSlots[i];
        if (!slot.actor)
            continue;
        if (!slot.channel.IsValid())
        {
            slot.channel.Reset();
            if (!slot.free)
                slot.Reset();
            continue;
        }
        if (slot.free)
            continue;
        slot.elapsed += dt;
        if (slot.elapsed < slot.delay)
            continue;
        if (sHooked && sHooks.fadeOutChannel)
            sHooks.fadeOutChannel(slot.actor, &slot.channelId, ToTicks(slot.fadeOut));
        slot.channelId = 0;
        if (sHooked && sHooks.requestMoveState)
            sHooks.requestMoveState(slot.actor, 3, 0);
        slot.Reset();
    }
}

void TimedAnimRequestsFree()
{
    delete[] sSlots;
    sSlots = nullptr;
}

int32_t TimedAnimRequestsInUse()
{
    int32_t n = 0;
    for (int32_t i = 0; sSlots && i < kTimedAnimSlotCount; ++i)
        n += sSlots[i].free ? 0 : 1;
    return n;
}
