// Driving an animated actor's animation players.
#include "tsanimactorctrl.h"

#include "moveanimplayerstate.h"
#include "rdanimmotor.h"
#include "staticanimplayerstate.h"
#include "tsanimactor.h"

namespace
{
AnimPlayerStateMachine* MovePlayer(TsAnimActor* actor)
{
    return actor ? actor->GetMovePlayer() : nullptr;
}

AnimPlayerStateMachine* StaticPlayer(TsAnimActor* actor)
{
    return actor ? actor->GetStaticPlayer() : nullptr;
}

AnimPlayerStateMachine* Request(AnimPlayerStateMachine* machine, int32_t state, int32_t parameter)
{
    if (machine)
        machine->SetRequest(state, parameter);
    return machine;
}

int32_t Restart(AnimPlayerStateMachine* machine, float blendSeconds)
{
    AnimPlayerState* current = machine ? machine->GetCurrentState() : nullptr;
    return current ? current->Restart(blendSeconds) : 0;
}

void SetNext(AnimPlayerStateMachine* machine, int32_t state)
{
    if (AnimPlayerState* current = machine ? machine->GetCurrentState() : nullptr)
        current->mNext = state;
}
} // namespace

AnimPlayerStateMachine* TsAnimActorRequestMoveState(TsAnimActor* actor, int32_t state, int32_t parameter)
{
    return Request(MovePlayer(actor), state, parameter);
}

AnimPlayerStateMachine* TsAnimActorRequestStaticState(TsAnimActor* actor, int32_t state, int32_t parameter)
{
    return Request(StaticPlayer(actor), state, parameter);
}

int32_t TsAnimActorPlayTimedAnim(TsAnimActor* actor, int32_t state)
{
    AnimPlayerStateMachine* machine = MovePlayer(actor);
    return machine ? machine->RequestState(state) : -1;
}

void TsAnimActorSetMoveDefaults(TsAnimActor* actor, uint32_t flags, float maxStep)
{
    if (MoveAnimPlayerStateMachine* machine = actor ? actor->GetMovePlayer() : nullptr)
    {
        machine->mDefaultMoveFlags = int32_t(flags);
        machine->mDefaultMaxStep = maxStep;
    }
}

int32_t TsAnimActorGetMoveStateIndex(TsAnimActor* actor)
{
    AnimPlayerStateMachine* machine = MovePlayer(actor);
    return machine ? machine->GetCurrentStateIndex() : 0;
}

bool TsAnimActorIsInMoveState(TsAnimActor* actor, int32_t state)
{
    AnimPlayerStateMachine* machine = MovePlayer(actor);
    return machine && machine->GetCurrentStateIndex() == state;
}

bool TsAnimActorIsInStaticState(TsAnimActor* actor, int32_t state)
{
    AnimPlayerStateMachine* machine = StaticPlayer(actor);
    return machine && machine->GetCurrentStateIndex() == state;
}

int32_t TsAnimActorRestartMoveState(TsAnimActor* actor, float blendSeconds)
{
    return Restart(MovePlayer(actor), blendSeconds);
}

int32_t TsAnimActorRestartStaticState(TsAnimActor* actor, float blendSeconds)
{
    return Restart(StaticPlayer(actor), blendSeconds);
}

void TsAnimActorSetMoveStateParam(TsAnimActor* actor, float value)
{
    if (AnimPlayerState* current = MovePlayer(actor) ? MovePlayer(actor)->GetCurrentState() : nullptr)
        current->SetParameter(value);
}

void TsAnimActorSetStaticStateParam(TsAnimActor* actor, float value)
{
    if (AnimPlayerState* current = StaticPlayer(actor) ? StaticPlayer(actor)->GetCurrentState() : nullptr)
        current->SetParameter(value);
}

void TsAnimActorSetMoveNextState(TsAnimActor* actor, int32_t state)
{
    SetNext(MovePlayer(actor), state);
}

void TsAnimActorSetStaticNextState(TsAnimActor* actor, int32_t state)
{
    SetNext(StaticPlayer(actor), state);
}

void TsAnimActorStopBoneCallback(TsAnimActor* actor, int32_t boneId)
{
    if (RdAnimMotor* motor = actor ? actor->GetAnimMotor() : nullptr)
        motor->SetBoneCallback(boneId, nullptr, nullptr);
}
