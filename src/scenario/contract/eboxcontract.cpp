// The event-box entry points, as the scenario layer's runtime finishes them.
#include "eboxcontract.h"

#include "hbmemory.h"

#include <cstring>

EBoxActorBits* EBoxActorBitsNew()
{
    auto* bits = static_cast<EBoxActorBits*>(HbHeapAlloc(sizeof(EBoxActorBits)));
    if (bits)
        std::memset(bits, 0, sizeof(*bits));
    return bits;
}

void EBoxActorBitsFree(EBoxActorBits* bits)
{
    if (bits)
        HbHeapFree(bits);
}

int32_t EBoxTestActor(HbRoot* boxes, const Vector* position, EBoxActorBits* bits, EBoxHandler inside,
                      EBoxHandler enter, EBoxHandler leave, void* set, TsActor* actor)
{
    (void)boxes, (void)position, (void)bits, (void)inside, (void)enter, (void)leave, (void)set, (void)actor;
    return 0;
}

int32_t DelayedActionQueue::RunDue(void* set, int64_t now, Runner runner, void* user)
{
    (void)set, (void)now, (void)runner, (void)user;
    return 0;
}
