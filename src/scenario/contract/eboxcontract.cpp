// The event-box entry points, as the scenario layer's runtime finishes them.
#include "eboxcontract.h"

#include "hbmemory.h"

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

void EBoxTestActor(int32_t index, const float position[3], EBoxActorBits* bits, EBoxHandler inside,
                   EBoxHandler enter, EBoxHandler leave, HbRoot* set, TsActor* actor)
{
    // No box index exists until the scenario layer builds one: nothing is inside anything.
    (void)index, (void)position, (void)bits, (void)inside, (void)enter, (void)leave, (void)set, (void)actor;
}

int32_t DelayedActionQueue::RunDue(int64_t now)
{
    mNow = now;
    return 0;
}
