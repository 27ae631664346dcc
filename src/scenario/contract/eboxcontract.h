// The event-box runtime's entry points that the actor layer and the script world call.
// The scenario layer owns the boxes and finishes these: until then a set reads no box, no box
// contains anything and no action is queued.
#pragma once

#include "hbroot.h"

#include <cstdint>

class TsActor;

/// An actor's record of the boxes it was and is inside: bitsets of `words` 32-bit words,
/// reallocated whenever `stamp` differs from the current box index's id.
struct EBoxActorBits
{
    int32_t stamp;
    uint32_t* now;
    uint32_t* before;
    int32_t words;
};

/// A record with stamp -1 and no bitsets, or null when out of memory.
EBoxActorBits* EBoxActorBitsNew();
/// Frees a record and its bitsets (null does nothing).
void EBoxActorBitsFree(EBoxActorBits* bits);

/// handler(box index, set, actor); answers 0.
using EBoxHandler = int32_t (*)(int32_t box, HbRoot* set, TsActor* actor);
/// The actor test of contextual-action boxes: non-zero accepts.
using EBoxFilter = int32_t (*)(TsActor* actor);

/// Sets the program-wide contextual filter (null: none).
void EBoxSetContextualFilter(EBoxFilter filter);
EBoxFilter EBoxGetContextualFilter();

/// Tests the position against the box index and calls, per box, the inside, enter and leave
/// handlers as the record's before and now sets say, then keeps now as before. A record whose
/// stamp differs from the index id first gets fresh zeroed bitsets sized for the set's boxes
/// (the set must be a YoEBox) and the id as its stamp.
void EBoxTestActor(int32_t index, const float position[3], EBoxActorBits* bits, EBoxHandler inside, EBoxHandler enter,
                   EBoxHandler leave, HbRoot* set, TsActor* actor);

/// The box handlers (box, set, actor): while inside (boxes run on stay and contextual-action
/// boxes), on entering and on leaving. They answer 0.
int32_t EBoxOnInside(int32_t box, HbRoot* set, TsActor* actor);
int32_t EBoxOnEnter(int32_t box, HbRoot* set, TsActor* actor);
int32_t EBoxOnLeave(int32_t box, HbRoot* set, TsActor* actor);

/// Actions of a box set waiting for their game-clock tick.
class DelayedActionQueue
{
public:
    /// Stores now, then runs the queued actions whose tick is at most now, earliest first;
    /// the number run.
    virtual int32_t RunDue(int64_t now);
    virtual ~DelayedActionQueue() = default;
    /// Drops every pending action without running it (none wait in this base).
    void Clear() {}
    int64_t GetNow() const { return mNow; }

protected:
    int64_t mNow = 0;
};

/// A level's event-box set as the actor layer reaches it: the id of its box index, its number
/// of boxes and its delayed actions. The scenario layer's set derives from it and builds the
/// index when it reads its boxes; until then a set has no index (id -1, no box).
class YoEBox : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetIndexId() const { return mIndexId; }
    int32_t GetBoxCount() const { return mBoxCount; }
    virtual DelayedActionQueue* GetDelayedActions() { return &mDelayed; }

protected:
    int32_t mIndexId = -1;
    int32_t mBoxCount = 0;
    DelayedActionQueue mDelayed;
};
