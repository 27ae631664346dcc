// Animation requests: scenario actions make an actor play a named animation outside its own
// animation logic, ending at a point of the animation (kind 0), never by itself (kind 1) or
// after a time counted down in one of the timed slots (kind 2). The actor is reached through
// a hook table that the actor layer fills.
#pragma once

#include <cstdint>

class HbHandlePtr;
class RdAnimation;
class RdAnimMotor;
class TsActor;

/// What the requests need of an animated actor.
struct AnimRequestHooks
{
    /// Starts the animation on the actor (weight 0 to 1 over blendInTicks, from the start
    /// offset) and points *channel at the new channel.
    void (*playAnim)(TsActor* actor, HbHandlePtr* channel, RdAnimation* animation, int32_t playMode,
                     int64_t blendInTicks, int64_t startOffsetTicks, int32_t flag);
    /// Hands a timed-animation request to the actor's move machine; null cancels.
    void (*playTimedAnim)(TsActor* actor, void* request);
    /// The move machine's record: its flags word and end time.
    void (*setMoveRecord)(TsActor* actor, uint32_t flags, float endTime);
    /// Asks the actor's move machine for a state.
    void (*requestMoveState)(TsActor* actor, int32_t state, int32_t parameter);
    /// Ramps the actor's animation channel to 0 over the ticks when it still plays; the id
    /// becomes 0 in any case.
    void (*fadeOutChannel)(TsActor* actor, uint16_t* channelId, int64_t ticks);
    /// The actor's animation motor, or null.
    RdAnimMotor* (*getMotor)(TsActor* actor);
};

/// The table is copied; null empties it.
void AnimRequestSetHooks(const AnimRequestHooks* hooks);

constexpr int32_t kTimedAnimSlotCount = 20;

/// 0 done, 1 no free timed slot (kind 2), 2 the animation did not start (also without the
/// actor layer's hooks), 3 no such animation resource. Times in seconds; the fractions are
/// parts of the animation's length.
int32_t AnimRequestPlay(TsActor* actor, const char* resourceId, int32_t kind, uint32_t flags, float blendIn,
                        float blendOut, float startFraction, float endFraction, float duration);

/// Makes the slots on the first call; frees them all.
void TimedAnimRequestsInit();
/// The per-frame countdown of the slots in use.
void TimedAnimRequestsTick();
void TimedAnimRequestsFree();
/// Slots in use (tests and diagnostics).
int32_t TimedAnimRequestsInUse();
