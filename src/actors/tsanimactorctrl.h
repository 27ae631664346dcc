// The functions through which the rest of the game drives an animated actor's two animation
// players (the move player for the whole body, the static player for the upper body) and
// its model's bone callback. A null actor, or one without the player, is answered with null,
// 0 or nothing.
#pragma once

#include <cstdint>

class AnimPlayerStateMachine;
class TsAnimActor;

// ---- Requests -----------------------------------------------------------------------------------

/// The request is stored on the machine (its next update acts); the machine, or null.
AnimPlayerStateMachine* TsAnimActorRequestMoveState(TsAnimActor* actor, int32_t state, int32_t parameter);
AnimPlayerStateMachine* TsAnimActorRequestStaticState(TsAnimActor* actor, int32_t state, int32_t parameter);
/// The move player transits to the state at once (AnimPlayerStateMachine::RequestState): 0
/// already there, 3 no states, 4 no actor, 5 refused by the timing rules, 2 done. State 0
/// leaves the player without a state: its defaults then move the actor. -1 without a player.
int32_t TsAnimActorPlayTimedAnim(TsAnimActor* actor, int32_t state);
/// The move player's defaults for no state: move flags and longest step.
void TsAnimActorSetMoveDefaults(TsAnimActor* actor, uint32_t flags, float maxStep);

// ---- Current states -----------------------------------------------------------------------------

/// The move player's current state number; 0 without a player.
int32_t TsAnimActorGetMoveStateIndex(TsAnimActor* actor);
bool TsAnimActorIsInMoveState(TsAnimActor* actor, int32_t state);
bool TsAnimActorIsInStaticState(TsAnimActor* actor, int32_t state);
/// Restart of the current state; 0 without one.
int32_t TsAnimActorRestartMoveState(TsAnimActor* actor, float blendSeconds);
int32_t TsAnimActorRestartStaticState(TsAnimActor* actor, float blendSeconds);
/// Hands the value to the current state (AnimPlayerState::SetParameter); nothing without one.
void TsAnimActorSetMoveStateParam(TsAnimActor* actor, float value);
void TsAnimActorSetStaticStateParam(TsAnimActor* actor, float value);
/// The state following the current one.
void TsAnimActorSetMoveNextState(TsAnimActor* actor, int32_t state);
void TsAnimActorSetStaticNextState(TsAnimActor* actor, int32_t state);

// ---- The model ----------------------------------------------------------------------------------

/// The model's motor forgets the callback on the bone.
void TsAnimActorStopBoneCallback(TsAnimActor* actor, int32_t boneId);
