// The event-box entry points, as the scenario layer's runtime finishes them.
#include "eboxcontract.h"

#include "hbmemory.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(YoEBox, HbRoot);

namespace
{
EBoxFilter gContextualFilter = nullptr;
}

EBoxActorBits* EBoxActorBitsNew()
{
    auto* bits = static_cast<EBoxActorBits*>(HbHeapAlloc(sizeof(EBoxActorBits)));
    if (bits)
        *bits = EBoxActorBits{-1, nullptr, nullptr, 0};
    return bits;
}

void EBoxActorBitsFree(EBoxActorBits* bits)
{
    if (!bits)
        return;
    if (bits->now)
        HbHeapFree(bits->now);
    if (bits->before)
        HbHeapFree(bits->before);
    HbHeapFree(bits);
}

void EBoxSetContextualFilter(EBoxFilter filter)
{
    gContextualFilter = filter;
}

EBoxFilter EBoxGetContextualFilter()
{
    return gContextualFilter;
}

void EBoxTestActor(int32_t index, const float position[3], EBoxActorBits* bits, EBoxHandler inside, EBoxHandler enter,
                   EBoxHandler leave, HbRoot* set, TsActor* actor)
{
    auto* boxes = HbCastTo<YoEBox>(set);
    if (!bits || !boxes || bits->stamp == index)
        return;
    // One bit per box, and always one word more than the whole words the boxes fill.
    const int32_t words = (boxes->GetBoxCount() > 0 ? boxes->GetBoxCount() : 0) / 32 + 1;
    auto* now = static_cast<uint32_t*>(HbHeapAlloc(sizeof(uint32_t) * size_t(words)));
    auto* before = static_cast<uint32_t*>(HbHeapAlloc(sizeof(uint32_t) * size_t(words)));
    if (!now || !before)
    {
        // Keep the old stamp: the next test tries again.
        if (now)
            HbHeapFree(now);
        if (before)
            HbHeapFree(before);
        return;
    }
    std::memset(now, 0, sizeof(uint32_t) * size_t(words));
    std::memset(before, 0, sizeof(uint32_t) * size_t(words));
    if (bits->now)
        HbHeapFree(bits->now);
    if (bits->before)
        HbHeapFree(bits->before);
    *bits = EBoxActorBits{index, now, before, words};
    // No box is read until the scenario layer builds its index: nothing contains the position.
    (void)position, (void)inside, (void)enter, (void)leave, (void)actor;
}

int32_t EBoxOnInside(int32_t box, HbRoot* set, TsActor* actor)
{
    (void)box, (void)set, (void)actor;
    return 0;
}

int32_t EBoxOnEnter(int32_t box, HbRoot* set, TsActor* actor)
{
    (void)box, (void)set, (void)actor;
    return 0;
}

int32_t EBoxOnLeave(int32_t box, HbRoot* set, TsActor* actor)
{
    (void)box, (void)set, (void)actor;
    return 0;
}

int32_t DelayedActionQueue::RunDue(int64_t now)
{
    mNow = now;
    return 0;
}
