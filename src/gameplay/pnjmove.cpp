// PnjMoveMSState: the soldier's state tables, the skill's operations, its script functions
// and its registration.
#include "pnjmove.h"

#include "animmovectrl.h"
#include "frame.h"
#include "hbclock.h"
#include "moveanimplayerstate.h"
#include "moveblendtables.h"
#include "moveskillhooks.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsanimactorctrl.h"
#include "tsfamilies.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"
#include "virtualtargetactor.h"
#include "w3dframe.h"
#include "w3dnode.h"
#include "wscene.h"

#include <Python.h>

#include <cfloat>
#include <cmath>
#include <iterator>

HB_DEFINE_CLASS_DESC(PnjMoveMSState, MoveMSState);

namespace
{
constexpr float kMax = FLT_MAX;

// Move states: channel 1, entry value 0, time 1 0, in the order Setup creates them.
constexpr PnjStateRow kMoveStates[] = {
    {87, 6, 2, 0x8D0, 0.0f, 1, 0, 11, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {88, 11, 2, 0x8D0, 0.0f, 3, 0, 12, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {89, 12, 2, 0x8D0, 0.0f, 3, 0, 13, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {90, 13, 2, 0x8D0, 0.0f, 1, 0, 26, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {11, 6, 2, 0x8D0, kMax, 1, 0, 3, 0.0f, 0.0f, kPnjFollowPath, kPnjFacePathDirection, kPnjNone},
    {12, 11, 2, 0x8D0, kMax, 3, 0, 3, 0.0f, 0.0f, kPnjFollowPath, kPnjFacePathDirection, kPnjNone},
    {13, 12, 2, 0x8D0, kMax, 3, 0, 3, 0.0f, 0.0f, kPnjFollowPath, kPnjFacePathDirection, kPnjNone},
    {14, 6, 2, 0x8D0, 0.0f, 1, 0, 3, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {15, 11, 2, 0x8D0, 0.0f, 3, 0, 3, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {16, 12, 2, 0x8D0, 0.0f, 3, 0, 3, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {26, 13, 2, 0x8D0, kMax, 1, 0, 3, 0.0f, 0.0f, kPnjFollowPath, kPnjFacePathDirection, kPnjNone},
    {27, 13, 2, 0x8D0, 0.0f, 1, 0, 3, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {3, 0, 0, 0x0, 0.0f, 3, 0, 3, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {5, 4, 0, 0x0, 0.0f, 3, 0, 3, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {6, 5, 0, 0x0, 0.0f, 3, 0, 3, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {30, 16, 0, 0x8D0, 0.0f, 0, 0, 35, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {7, 1, 6, 0x8D0, 0.0f, 1, 0, 7, 0.0f, 0.0f, kPnjAimUpdate, kPnjAimEnter, kPnjAimLeave},
    {8, 1, 6, 0x8D0, 0.0f, 0, 0, 9, 0.0f, 0.0f, kPnjAimOnceUpdate, kPnjNone, kPnjNone},
    {9, 1, 6, 0x8D0, 0.0f, 1, 0, 9, 0.0f, 0.0f, kPnjAimOnceUpdate, kPnjNone, kPnjNone},
    {22, 7, 2, 0x8DB, kMax, 1, 0, 7, 0.0f, 0.0f, kPnjWalkAimUpdate, kPnjAimEnter, kPnjAimLeave},
    {17, 7, 2, 0x8D0, 0.0f, 1, 0, 7, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {35, 16, 0, 0x8D0, 0.0f, 1, 0, 3, 0.0f, 0.0f, kPnjAimUpdate, kPnjNone, kPnjNone},
    {40, 17, 2, 0x8D0, 0.0f, 1, 0, 35, 0.0f, 0.0f, kPnjTurnToPathTarget, kPnjNone, kPnjNone},
    {18, 8, 6, 0x8D0, kMax, 1, 0, 7, 0.0f, 0.0f, kPnjStrafeUpdate, kPnjNone, kPnjNone},
    {19, 9, 6, 0x8D0, kMax, 1, 0, 7, 0.0f, 0.0f, kPnjStrafeUpdate, kPnjNone, kPnjNone},
    {20, 8, 6, 0x8D0, kMax, 0, 0, 7, 0.0f, 0.0f, kPnjStrafeCheck, kPnjNone, kPnjNone},
    {21, 9, 6, 0x8D0, kMax, 0, 0, 7, 0.0f, 0.0f, kPnjStrafeCheck, kPnjNone, kPnjNone},
    {50, 35, 0, 0x8D0, kMax, 1, 0, 3, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {91, 84, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {43, 38, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {44, 39, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {45, 40, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {46, 41, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {47, 42, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {48, 43, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjDeathEnter, kPnjDeathLeave},
    {49, 29, 0, 0x8D0, kMax, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjNeutralizedEnter, kPnjNeutralizedLeave},
    {33, 22, 0, 0x10D0, 0.0f, 0, 0, 28, 0.0f, 0.0f, kPnjNone, kPnjReloadEnter, kPnjReloadLeave},
    {34, 21, 0, 0x10D0, 0.0f, 0, 0, 28, 0.0f, 0.0f, kPnjNone, kPnjShootEnter, kPnjShootLeave},
    {55, 23, 6, 0xD0, kMax, 0, 0, 3, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {77, 70, 6, 0xD0, kMax, 0, 0, 3, 0.0f, 0.2f, kPnjNone, kPnjNone, kPnjNone},
    {86, 71, 6, 0xD0, 0.0f, 0, 0, 3, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
};

// Static states: channel 2, follow-up 0, no update callback.
constexpr PnjStateRow kStaticStates[] = {
    {7, 2, 0, 0, 0.0f, 2, 1, 0, 0.0f, 0.0f, kPnjNone, kPnjShootEnter, kPnjShootLeave},
    {12, 31, 0, 0, 0.0f, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {13, 32, 0, 0, 0.0f, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {14, 33, 0, 0, 0.0f, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {15, 34, 0, 0, 0.0f, 0, 1, 0, 0.0f, 0.0f, kPnjNone, kPnjNone, kPnjNone},
    {16, 3, 0, 0, 0.0f, 0, 0, 0, 0.0f, 0.0f, kPnjNone, kPnjReloadEnter, kPnjReloadLeave},
    {30, 49, 0, 0, 0.0f, 1, 0, 0, 0.1f, 0.1f, kPnjNone, kPnjNone, kPnjNone},
};

// Option lists of Setup.
constexpr int32_t kNotInterruptible[] = {91, 43, 44, 45, 46, 47, 48, 49};
constexpr int32_t kSilentEnd[] = {87, 88, 89, 90};
constexpr int32_t kFirstPriority[] = {55, 77, 91, 43, 44, 45, 46, 47, 48, 49, 7};

AnimPlayerState::Callback UpdateCallbackOf(PnjCallback id)
{
    using namespace PnjCallbacks;
    switch (id)
    {
    case kPnjTurnToPathTarget:
        return TurnToPathTarget;
    case kPnjFollowPath:
        return FollowPath;
    case kPnjWalkAimUpdate:
        return WalkAimUpdate;
    case kPnjStrafeUpdate:
        return StrafeUpdate;
    case kPnjStrafeCheck:
        return StrafeCheck;
    case kPnjAimLeave:
        return AimLeave;
    case kPnjAimUpdate:
        return AimUpdate;
    case kPnjAimOnceUpdate:
        return AimOnceUpdate;
    case kPnjShootLeave:
        return ShootLeave;
    case kPnjReloadLeave:
        return ReloadLeave;
    case kPnjDeathLeave:
        return DeathLeave;
    case kPnjNeutralizedLeave:
        return NeutralizedLeave;
    default:
        return nullptr;
    }
}

AnimPlayerState::EnterCallback EnterCallbackOf(PnjCallback id)
{
    using namespace PnjCallbacks;
    switch (id)
    {
    case kPnjFacePathDirection:
        return FacePathDirection;
    case kPnjAimEnter:
        return AimEnter;
    case kPnjShootEnter:
        return ShootEnter;
    case kPnjReloadEnter:
        return ReloadEnter;
    case kPnjDeathEnter:
        return DeathEnter;
    case kPnjNeutralizedEnter:
        return NeutralizedEnter;
    default:
        return nullptr;
    }
}

bool IsDeath(PnjCallback id)
{
    return id == kPnjDeathEnter || id == kPnjDeathLeave || id == kPnjNeutralizedEnter || id == kPnjNeutralizedLeave;
}

float FrameSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mStepSeconds : 0.0f;
}

W3dNode* LevelRoot()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetRoot() : nullptr;
}
} // namespace

// ---- The skill ------------------------------------------------------------------------------

PnjMoveMSState::PnjMoveMSState(TsAnimActor* actor) : MoveMSState(actor)
{
    SetName(kName);
}

PnjMoveMSState::~PnjMoveMSState()
{
    // States made by this skill may outlive it in players another skill did not prepare again:
    // they lose the callbacks that would reach it.
    AnimPlayerStateMachine* players[2] = {mActor ? mActor->GetMovePlayer() : nullptr,
                                          mActor ? mActor->GetStaticPlayer() : nullptr};
    const void* mine[2] = {this, &mFallBoneTarget};
    auto owned = [&mine](const void* data) { return data && (data == mine[0] || data == mine[1]); };
    for (AnimPlayerStateMachine* player : players)
        for (int32_t id = 0; player && id < player->GetStateCount(); ++id)
            if (AnimPlayerState* state = player->GetState(id))
            {
                if (owned(state->mUpdateData))
                    state->mUpdate = nullptr, state->mUpdateData = nullptr;
                if (owned(state->mEnterData))
                    state->mEnter = nullptr, state->mEnterData = nullptr;
                if (owned(state->mLeaveData))
                    state->mLeave = nullptr, state->mLeaveData = nullptr;
                if (owned(state->mChooseData))
                    state->mChoose = nullptr, state->mChooseData = nullptr;
                if (owned(state->mCanContinueData))
                    state->mCanContinue = nullptr, state->mCanContinueData = nullptr;
            }
}

void PnjMoveMSState::Setup()
{
    mTimerDuration = -1.0f;
    mTurnRate = kTurnRate;
    mPath.SetActor(mActor);
    if (mActor)
        mLookAt.Init(mActor, 0);

    // The fall target exists only on skeletons with the bone; the controller refuses others.
    mFallBoneTarget = -1;
    if (AnimMoveCtrl* controller = mActor ? mActor->GetMoveController() : nullptr)
        mFallBoneTarget = controller->AddBoneTarget(kFallBone, 40.0f, 2.0f, AnimMoveCtrl::kProbeSphere, nullptr);

    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (mActor && hooks.initPlayer)
    {
        hooks.initPlayer(mActor, kMoveAnimPlayer, kMoveStateSlots, 3);
        hooks.initPlayer(mActor, kStaticAnimPlayer, kStaticStateSlots, 0);
    }
    if (AnimPlayerStateMachine* move = mActor ? mActor->GetMovePlayer() : nullptr)
        move->SetBlendTable(PnjMapTransitions());
    if (AnimPlayerStateMachine* still = mActor ? mActor->GetStaticPlayer() : nullptr)
        still->SetBlendTable(PnjSapTransitions());

    auto describe = [this](const PnjStateRow& row, int32_t channel)
    {
        MoveStateDescription d;
        d.stateId = row.state;
        d.animation = row.animation;
        d.controllerMode = row.controllerMode;
        d.controllerFlags = row.controllerFlags;
        d.controllerLimit = row.controllerLimit;
        d.channel = channel;
        d.playMode = row.playMode;
        d.entryValue = row.entryValue;
        d.followUp = row.followUp;
        d.time1 = row.time1;
        d.time2 = row.time2;
        void* data = IsDeath(row.enter) ? static_cast<void*>(&mFallBoneTarget) : static_cast<void*>(this);
        d.update = UpdateCallbackOf(row.update);
        d.updateData = d.update ? data : nullptr;
        d.enter = EnterCallbackOf(row.enter);
        d.enterData = d.enter ? data : nullptr;
        d.leave = UpdateCallbackOf(row.leave);
        d.leaveData = d.leave ? data : nullptr;
        return d;
    };
    for (const PnjStateRow& row : kMoveStates)
        AddMoveState(describe(row, 1));
    for (const PnjStateRow& row : kStaticStates)
        AddStaticState(describe(row, 2));

    AnimPlayerStateMachine* move = mActor ? mActor->GetMovePlayer() : nullptr;
    AnimPlayerStateMachine* still = mActor ? mActor->GetStaticPlayer() : nullptr;
    if (!move || !still)
        return;
    for (int32_t id : kNotInterruptible)
        if (AnimPlayerState* state = move->GetState(id))
            state->mExclusive = 1;
    for (int32_t id : kSilentEnd)
        if (AnimPlayerState* state = move->GetState(id))
            state->mNotify = 0;
    for (int32_t id : kFirstPriority)
        if (AnimPlayerState* state = move->GetState(id))
            state->mPriority = 1;
    auto choose = [this](AnimPlayerStateMachine* machine, int32_t id, AnimPlayerState::Callback callback)
    {
        if (AnimPlayerState* state = machine->GetState(id))
        {
            state->mChoose = callback;
            state->mChooseData = this;
        }
    };
    choose(still, 7, PnjCallbacks::ChooseShootAnim);
    choose(still, 16, PnjCallbacks::ChooseReloadAnim);
    choose(move, 22, PnjCallbacks::ChooseWalkAimAnim);
    choose(move, 7, PnjCallbacks::ChooseAimAnim);
    if (AnimPlayerState* shoot = still->GetState(7))
    {
        shoot->mCanContinue = PnjCallbacks::ShootRepeat;
        shoot->mCanContinueData = this;
    }
}

void PnjMoveMSState::Enter()
{
    mTimerElapsed = 0.0f;
    if (AnimMoveCtrl* controller = mActor ? mActor->GetMoveController() : nullptr)
    {
        controller->Reset();
        controller->SetFamilyMask(HeroFamily | HeroEnemyFamily);
    }
}

void PnjMoveMSState::Exit()
{
    MoveMSState::Exit();
    mTimerDuration = -1.0f;
    mLookAt.Stop();
}

int32_t PnjMoveMSState::Loop()
{
    if (mActor)
    {
        if (AnimPlayerStateMachine* move = mActor->GetMovePlayer())
            move->Update();
        if (AnimPlayerStateMachine* still = mActor->GetStaticPlayer())
            still->Update();
    }
    TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr;
    if (table && table->mError != 0)
        return 0;
    if (mTimerDuration >= 0.0f)
    {
        mTimerElapsed += FrameSeconds();
        if (mTimerElapsed > mTimerDuration)
        {
            mTimerElapsed = 0.0f;
            Succeed();
            return 0;
        }
    }
    if (table)
        table->mFlags |= TsMotorSkills::kRunning;
    return 1;
}

int32_t PnjMoveMSState::SetTargetPosition(const Vector* point, int32_t pathMode)
{
    mPath.SetTargetPosition(point);
    return mPath.Start(pathMode, 0.0f);
}

int32_t PnjMoveMSState::SetTargetActor(TsActor* target, int32_t pathMode)
{
    mPath.SetTargetActor(target);
    return mPath.Start(pathMode, 0.0f);
}

void PnjMoveMSState::Fail(uint32_t code)
{
    if (TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr)
    {
        table->mFlags |= TsMotorSkills::kFailed;
        table->mError = code;
    }
}

void PnjMoveMSState::Succeed()
{
    if (TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr)
    {
        table->mFlags |= TsMotorSkills::kSucceeded;
        table->mError = 0;
    }
}

TsMotorSkill* PnjMoveMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* actor = HbCastTo<TsAnimActor>(owner);
    if (!actor)
        return nullptr;
    auto* skill = new PnjMoveMSState(actor);
    if (!skill->SetParameters(parameters))
    {
        delete skill;
        return nullptr;
    }
    skill->Setup();
    return skill;
}

const PnjStateRow* PnjMoveStates(int32_t* count)
{
    *count = int32_t(std::size(kMoveStates));
    return kMoveStates;
}

const PnjStateRow* PnjStaticStates(int32_t* count)
{
    *count = int32_t(std::size(kStaticStates));
    return kStaticStates;
}

// ---- Script functions and registration ------------------------------------------------------

namespace
{
TsAnimActor* AnimActorOf(PyObject* script)
{
    return HbCastTo<TsAnimActor>(TsFindActorOfScriptObject(script));
}

/// The soldier (or tank) move skill the actor runs now, or null.
PnjMoveMSState* CurrentSkill(TsActor* actor)
{
    TsMotorSkills* table = actor ? actor->GetMotorSkills() : nullptr;
    return table ? HbCastTo<PnjMoveMSState>(table->GetCurrent()) : nullptr;
}

/// The actor's skill of that name when it is a soldier move skill, or null.
PnjMoveMSState* NamedSkill(TsActor* actor)
{
    TsMotorSkills* table = actor ? actor->GetMotorSkills() : nullptr;
    return table ? HbCastTo<PnjMoveMSState>(table->FindSkill(PnjMoveMSState::kName)) : nullptr;
}

PyObject* Transition(PyObject* args, const char* format, HbIntHashMap* table)
{
    int from = 0, to = 0, both = 0;
    float seconds = 0.0f;
    if (!PyArg_ParseTuple(args, format, &from, &to, &seconds, &both))
        return nullptr;
    PnjSetBlendTime(table, from, to, seconds, both);
    Py_RETURN_NONE;
}

PyObject* PnjMAPTransition(PyObject*, PyObject* args)
{
    return Transition(args, "iifi:PnjMAPTransition", PnjMapTransitions());
}

PyObject* PnjSAPTransition(PyObject*, PyObject* args)
{
    return Transition(args, "iifi:PnjSAPTransition", PnjSapTransitions());
}

PyObject* Request(PyObject* args, const char* format, bool withParameter, bool move)
{
    PyObject* script = nullptr;
    int state = 0, parameter = 0;
    const bool parsed = withParameter ? PyArg_ParseTuple(args, format, &script, &state, &parameter)
                                      : PyArg_ParseTuple(args, format, &script, &state);
    if (!parsed)
        return nullptr;
    if (TsAnimActor* actor = AnimActorOf(script))
    {
        if (move)
            TsAnimActorRequestMoveState(actor, state, parameter);
        else
            TsAnimActorRequestStaticState(actor, state, parameter);
    }
    Py_RETURN_NONE;
}

PyObject* PnjMAPSetState(PyObject*, PyObject* args)
{
    return Request(args, "Oi:PnjMAPSetState", false, true);
}

// Both repeat functions report their argument errors under PnjMAPSetState, as scripts expect.
PyObject* PnjMAPRepeatState(PyObject*, PyObject* args)
{
    return Request(args, "Oii:PnjMAPSetState", true, true);
}

PyObject* PnjSAPSetState(PyObject*, PyObject* args)
{
    return Request(args, "Oi:PnjSAPSetState", false, false);
}

PyObject* PnjSAPRepeatState(PyObject*, PyObject* args)
{
    return Request(args, "Oii:PnjMAPSetState", true, false);
}

PyObject* PnjSetMoveTarget(PyObject*, PyObject* args)
{
    PyObject* script = nullptr;
    PyObject* target = nullptr;
    int mode = 0;
    if (!PyArg_ParseTuple(args, "OOi:PnjSetMoveTarget", &script, &target, &mode))
        return nullptr;
    PnjMoveMSState* skill = CurrentSkill(TsFindActorOfScriptObject(script));
    if (!skill)
        Py_RETURN_NONE;
    if (ScriptIsVertex(target))
    {
        const auto* vertex = reinterpret_cast<const ScriptVertex*>(target);
        const Vector point = {vertex->x, vertex->y, vertex->z};
        skill->SetTargetPosition(&point, mode);
    }
    else if (TsActor* actor = TsFindActorOfScriptObject(target))
        skill->SetTargetActor(actor, mode);
    Py_RETURN_NONE;
}

/// The factor goes to the skill the soldier runs, else to his soldier move skill.
void StoreShotFactor(TsActor* actor, float factor)
{
    PnjMoveMSState* skill = CurrentSkill(actor);
    if (!skill)
        skill = NamedSkill(actor);
    if (skill)
        skill->mShotFactor = factor;
}

PyObject* PnjSetTarget(PyObject*, PyObject* args)
{
    PyObject* script = nullptr;
    PyObject* target = nullptr;
    float factor = 0.0f;
    if (!PyArg_ParseTuple(args, "OOf:PnjSetTarget", &script, &target, &factor))
        return nullptr;
    TsAnimActor* soldier = AnimActorOf(script);
    if (!soldier)
        Py_RETURN_NONE;
    auto* aim = HbCastTo<VirtualTargetActor>(soldier->GetTarget());
    W3dNode* aimNode = aim ? aim->GetNode() : nullptr;
    if (ScriptIsVertex(target))
    {
        if (aimNode)
        {
            const auto* vertex = reinterpret_cast<const ScriptVertex*>(target);
            const Vector point = {vertex->x, vertex->y, vertex->z};
            aim->RemoveNodeFromParent();
            if (W3dNode* root = LevelRoot())
                root->AttachChild(aimNode);
            aimNode->SetWorldPosition(&point);
        }
        StoreShotFactor(soldier, factor);
    }
    else if (TsActor* other = TsFindActorOfScriptObject(target))
    {
        if (aimNode)
        {
            if (Frame* frame = aimNode->GetEngineFrame())
                Frame::SetIdentity(frame);
            W3dNode* otherNode = other->GetNode();
            if (otherNode && otherNode->GetEngineFrame())
            {
                otherNode->AttachChild(aimNode);
                aim->SetTarget(HbHandlePtr(other));
            }
        }
        StoreShotFactor(soldier, factor);
    }
    Py_RETURN_NONE;
}

PyObject* PnjSetTimer(PyObject*, PyObject* args)
{
    PyObject* script = nullptr;
    float seconds = 0.0f;
    if (!PyArg_ParseTuple(args, "Of:PnjSetTimer", &script, &seconds))
        return nullptr;
    if (PnjMoveMSState* skill = NamedSkill(TsFindActorOfScriptObject(script)))
        skill->mTimerDuration = seconds;
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    struct Row
    {
        PyCFunction function;
        const char* name;
    };
    static const Row kFunctions[] = {
        {PnjMAPTransition, "PnjMAPTransition"}, {PnjSAPTransition, "PnjSAPTransition"},
        {PnjMAPSetState, "PnjMAPSetState"},     {PnjMAPRepeatState, "PnjMAPRepeatState"},
        {PnjSAPSetState, "PnjSAPSetState"},     {PnjSAPRepeatState, "PnjSAPRepeatState"},
        {PnjSetMoveTarget, "PnjSetMoveTarget"}, {PnjSetTarget, "PnjSetTarget"},
        {PnjSetTimer, "PnjSetTimer"},
    };
    for (const Row& row : kFunctions)
        registry->AddSkillFunction(row.function, row.name, "This function is not documented", __FILE__, __LINE__);
    registry->AddSkillState(kMsPnjMoveId, PnjMoveMSState::kName, __FILE__, PnjMoveMSState::Create, __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (PnjMoveQueueRegistrations(), 1);
} // namespace

void PnjMoveQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(Register);
    gQueued = true;
}
