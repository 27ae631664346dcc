// The event-box runtime's entry points that the actor layer and the script world call.
// The scenario layer owns the boxes; until it installs its runtime these do the least
// they can: a bit record is an empty block, no box contains anything and no action is due.
#pragma once

#include <cstdint>

struct Vector;
class HbRoot;
class TsActor;

/// An actor's record of the boxes it is inside.
struct EBoxActorBits
{
    static constexpr int32_t kWords = 4;
    uint32_t inside[kWords];
};

/// A zeroed record for one actor, or null when out of memory.
EBoxActorBits* EBoxActorBitsNew();
/// Frees a record (null does nothing).
void EBoxActorBitsFree(EBoxActorBits* bits);

/// fn(box, actor, set) for a box and the actor; 0 stops the walk.
using EBoxHandler = int32_t (*)(HbRoot* box, TsActor* actor, void* set);

/// Finds the boxes of the set that contain the position and calls, per box, the inside,
/// enter or leave handler as the actor's bits say, updating the bits. The number of boxes
/// that contain the position (0 without boxes).
int32_t EBoxTestActor(HbRoot* boxes, const Vector* position, EBoxActorBits* bits, EBoxHandler inside,
                      EBoxHandler enter, EBoxHandler leave, void* set, TsActor* actor);

class DelayedActionQueue
{
public:
    /// runner(action, user) for one due action.
    using Runner = void (*)(void* action, void* user);
    /// Runs the set's queued actions whose tick has come, through the runner, in order;
    /// the number run.
    static int32_t RunDue(void* set, int64_t now, Runner runner, void* user);
};
