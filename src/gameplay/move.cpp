// MoveMSState, the move skills' error constants and the animation-player tuning functions.
#include "move.h"

#include "hbclock.h"
#include "moveanimplayerstate.h"
#include "moveskillhooks.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"

#include <Python.h>

HB_DEFINE_CLASS_DESC(MoveMSState, TsMotorSkill);

MoveMSState::MoveMSState(TsAnimActor* actor) : TsMotorSkill(actor, kName), mActor(actor)
{
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (actor && hooks.initPlayer)
    {
        hooks.initPlayer(actor, kMoveAnimPlayer, kMoveStateSlots, 0);
        hooks.initPlayer(actor, kStaticAnimPlayer, kStaticStateSlots, 0);
    }
}

void MoveMSState::Setup()
{
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (mActor && hooks.startTransition)
        hooks.startTransition(mActor);
}

void MoveMSState::Exit()
{
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (mActor && hooks.resetPlayer)
    {
        hooks.resetPlayer(mActor, kMoveAnimPlayer);
        hooks.resetPlayer(mActor, kStaticAnimPlayer);
    }
}

int32_t MoveMSState::Loop()
{
    if (TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr)
        table->mFlags |= TsMotorSkills::kRunning;
    return 1;
}

int32_t MoveMSState::StepKindOfState(int32_t state)
{
    switch (state)
    {
    case 11: case 12: case 13: case 14:
    case 22: case 23: case 24: case 25:
    case 32: case 51: case 52: case 57:
    case 59: case 60: case 61: case 62:
        return kWalkStep;
    case 26: case 27:
        return kRunStep;
    case 31: case 35: case 36: case 37: case 38: case 39: case 53: case 54:
        return kCrouchedWalkStep;
    default:
        return -1;
    }
}

void MoveMSState::OnEvent(int32_t id)
{
    if (id == kEventStrike)
    {
        Strike();
        return;
    }
    if (id != kEventLeftFoot && id != kEventRightFoot)
        return;
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (!mActor || !hooks.getMoveStateIndex || !hooks.playStep)
        return;
    const int32_t kind = StepKindOfState(hooks.getMoveStateIndex(mActor));
    if (kind >= 0)
        hooks.playStep(mActor, MoveStepKind(kind));
}

int32_t MoveMSState::AttachTo(TsActor* owner)
{
    return HbClassDesc::IsKindOf(owner, &TsAnimActor::sClassDesc) ? 1 : 0;
}

int32_t MoveMSState::Strike()
{
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (TsActor* weapon = mActor ? mActor->GetWeapon() : nullptr; weapon && hooks.strikeWeapon)
        hooks.strikeWeapon(weapon);
    return 1;
}

namespace
{
/// The player's description of the state; time 1 gates leaving the state, time 2 its
/// re-entry, and the description's last word is the state's priority.
AnimPlayerStateDesc PlayerDescription(const MoveStateDescription& d, TsAnimActor* actor,
                                      AnimPlayerStateMachine* machine)
{
    AnimPlayerStateDesc desc;
    desc.value = d.stateId;
    desc.actor = actor;
    desc.machine = machine;
    desc.animState = d.animation;
    desc.boneProfile = d.channel;
    desc.playKind = d.playMode;
    desc.lockOnEnter = d.entryValue;
    desc.soundName = d.sound;
    desc.defaultNext = d.followUp;
    desc.minimumDuration = d.time1;
    desc.reentryDelay = d.time2;
    desc.update = d.update;
    desc.updateData = d.updateData;
    desc.enter = d.enter;
    desc.enterData = d.enterData;
    desc.leave = d.leave;
    desc.leaveData = d.leaveData;
    return desc;
}

/// Stores the new state at its id; the machine keeps the only reference.
AnimPlayerState* Store(AnimPlayerStateMachine* machine, AnimPlayerState* state, int32_t id)
{
    state->AddRef();
    machine->SetState(id, state);
    const bool stored = machine->GetState(id) == state;
    state->Release();
    return stored ? state : nullptr;
}
} // namespace

AnimPlayerState* MoveMSState::AddMoveState(const MoveStateDescription& description)
{
    MoveAnimPlayerStateMachine* machine = mActor ? mActor->GetMovePlayer() : nullptr;
    if (!machine || description.stateId < 0 || description.stateId >= machine->GetStateCount())
        return nullptr;
    MoveAnimPlayerState* state = MoveAnimPlayerState::Allocate();
    if (!state)
        return nullptr;
    state->Init(PlayerDescription(description, mActor, machine));
    state->mMoveMode = description.controllerMode;
    state->mMoveFlags = int32_t(description.controllerFlags);
    state->mMaxStep = description.controllerLimit;
    state->mPriority = description.lastWord;
    return Store(machine, state, description.stateId);
}

AnimPlayerState* MoveMSState::AddStaticState(const MoveStateDescription& description)
{
    StaticAnimPlayerStateMachine* machine = mActor ? mActor->GetStaticPlayer() : nullptr;
    if (!machine || description.stateId < 0 || description.stateId >= machine->GetStateCount())
        return nullptr;
    StaticAnimPlayerState* state = StaticAnimPlayerState::Allocate();
    if (!state)
        return nullptr;
    state->Init(PlayerDescription(description, mActor, machine));
    state->mPriority = description.lastWord;
    return Store(machine, state, description.stateId);
}

// ---- Script functions and registrations ----------------------------------------------------------

namespace
{
/// Applies each tuple of the sequence to the player's state of its id; tuples of another
/// shape, ids without a state and actors that are not animated are skipped.
PyObject* TuneStates(PyObject* args, const char* format, MoveAnimPlayer player, Py_ssize_t tupleSize)
{
    PyObject* script = nullptr;
    PyObject* states = nullptr;
    if (!PyArg_ParseTuple(args, format, &script, &states))
        return nullptr;
    auto* actor = HbCastTo<TsAnimActor>(TsFindActorOfScriptObject(script));
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    PyObject* sequence = actor && hooks.tuneState ? PySequence_Fast(states, "states must be a sequence") : nullptr;
    if (!sequence)
    {
        PyErr_Clear();
        Py_RETURN_NONE;
    }
    const double frequency = double(HbPerformanceFrequency());
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence); ++i)
    {
        PyObject* item = PySequence_Fast_GET_ITEM(sequence, i);
        int stateId = 0, animation = 0, followUp = 0, entry = 0;
        const char* sound = nullptr;
        float time1 = 0.0f, time2 = 0.0f;
        PyObject* ignored = nullptr;
        const bool parsed = tupleSize == 8 ? PyArg_ParseTuple(item, "iiiizffO", &stateId, &animation, &followUp,
                                                              &entry, &sound, &time1, &time2, &ignored)
                                           : PyArg_ParseTuple(item, "iiiizff", &stateId, &animation, &followUp,
                                                              &entry, &sound, &time1, &time2);
        if (!parsed || !PyTuple_Check(item))
        {
            PyErr_Clear();
            continue;
        }
        const MoveAnimStateTuning tuning = {animation, followUp, entry, sound,
                                            int64_t(double(time1) * frequency), int64_t(double(time2) * frequency)};
        hooks.tuneState(actor, player, stateId, &tuning);
    }
    Py_DECREF(sequence);
    Py_RETURN_NONE;
}

PyObject* MAPInitialization(PyObject*, PyObject* args)
{
    return TuneStates(args, "OO:HMAPInitialization", kMoveAnimPlayer, 8);
}

PyObject* SAPInitialization(PyObject*, PyObject* args)
{
    return TuneStates(args, "OO:HeroSAPInitialization", kStaticAnimPlayer, 7);
}

struct ErrorConstant
{
    const char* name;
    uint32_t value;
};

constexpr ErrorConstant kErrors[] = {
    {"MS_ERROR_NO_AMMO", kMsErrorNoAmmo},
    {"MS_ERROR_MOVE_OUT_ASTAR", kMsErrorMoveOutAstar},
    {"MS_ERROR_MOVE_WORLD_COLL", kMsErrorMoveWorldColl},
    {"MS_ERROR_MOVE_ACTOR_COLL", kMsErrorMoveActorColl},
    {"MS_ERROR_MOVE_NO_PATH", kMsErrorMoveNoPath},
    {"MS_ERROR_MOVE_NO_TARGET", kMsErrorMoveNoTarget},
    {"MS_ERROR_CAN_NOT_SHOOT", kMsErrorCanNotShoot},
    {"MS_ERROR_CAN_NOT_SHOOT_NO_AMMO", kMsErrorCanNotShootNoAmmo},
    {"MS_ERROR_CAN_NOT_SHOOT_REARM", kMsErrorCanNotShootRearm},
    {"MS_ERROR_CAN_NOT_SHOOT_MUST_MOVE", kMsErrorCanNotShootMustMove},
    {"MS_ERROR_CAN_NOT_SHOOT_CLOSE_COLLISION", kMsErrorCanNotShootCloseCollision},
    {"MS_ERROR_MDOF_FINISH", kMsErrorMdofFinish},
};

int RegisterErrors()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (world)
        for (const ErrorConstant& error : kErrors)
            world->AddSkillConstant(error.name, int32_t(error.value));
    return 1;
}

int RegisterFunctions()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(MAPInitialization, "MAPInitialization", "This function is not documented", __FILE__,
                               __LINE__);
    registry->AddSkillFunction(SAPInitialization, "SAPInitialization", "This function is not documented", __FILE__,
                               __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (MoveQueueRegistrations(), 1);
} // namespace

void MoveQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(RegisterFunctions);
    registry->AddRegistration(RegisterErrors);
    gQueued = true;
}
