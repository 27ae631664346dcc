// The event-box runtime's entry points that the actor layer and the script world call: actor
// bit records, the box test with its three handlers, and the contextual filter. The set, its
// index and its delayed actions are in yoeventbox.h.
#pragma once

#include "yoeventbox.h"

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

/// Sets the program-wide contextual filter (null: none, and contextual boxes never run).
void EBoxSetContextualFilter(EBoxFilter filter);
EBoxFilter EBoxGetContextualFilter();

/// Tests the position against the set's index (whose id the caller passes) and calls, per box
/// in order of words and within a word of bits, the inside handler for boxes still inside,
/// then enter and inside for boxes entered, then leave for boxes left, and keeps now as
/// before. A record whose stamp differs from the index id first gets fresh zeroed bitsets
/// sized for the set's boxes and the id as its stamp, so an actor already inside enters.
/// Nothing without a set (a YoEBox), its index, or a record; allocates only on a new stamp.
void EBoxTestActor(int32_t index, const float position[3], EBoxActorBits* bits, EBoxHandler inside, EBoxHandler enter,
                   EBoxHandler leave, HbRoot* set, TsActor* actor);

/// The box handlers (box, set, actor); a disabled box does nothing. Inside runs boxes of kind
/// while-inside, and contextual boxes in a frame where "CMD_CONTEXTUAL_ACTION" triggers for
/// an actor the filter accepts; enter runs on-entry boxes; leave runs on-exit boxes. 0.
int32_t EBoxOnInside(int32_t box, HbRoot* set, TsActor* actor);
int32_t EBoxOnEnter(int32_t box, HbRoot* set, TsActor* actor);
int32_t EBoxOnLeave(int32_t box, HbRoot* set, TsActor* actor);
