// PnjMoveMSState: the soldier's states, their callbacks, the turning helpers and the
// skill's script functions.
#include "pnjmove.h"

#include "animmovectrl.h"
#include "frame.h"
#include "hbclock.h"
#include "moveanimplayerstate.h"
#include "moveblendtables.h"
#include "moveskillhooks.h"
#include "rdanimmotor.h"
#include "scripteventid.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsanimactorctrl.h"
#include "tsfamilies.h"
#include "tsheroactor.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tssenses.h"
#include "tsskillregistry.h"
#include "virtualtargetactor.h"
#include "w3dframe.h"
#include "w3dnode.h"
#include "weaponshoot.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <Python.h>

#include <cfloat>
#include <cmath>
#include <iterator>

HB_DEFINE_CLASS_DESC(PnjMoveMSState, MoveMSState);

namespace
{
constexpr float kMax = FLT_MAX;
constexpr float kAngleThreshold = 0.01f;
constexpr float kNear = 0.001f;
/// The faction bits of a family mask: a blocker sharing one with the shooter is a friend.
constexpr uint32_t kFactionMask = 0xFF00;
/// Below this share of the line of fire the obstacle is too close to shoot past.
constexpr float kCloseCollision = 0.5f;

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

bool PositionOf(TsActor* actor, Vector* out)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    const Vector* position = node ? node->GetWorldPosition() : nullptr;
    if (!position)
        return false;
    *out = *position;
    return true;
}

Frame* FrameOf(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    return node ? node->GetEngineFrame() : nullptr;
}

Vector ForwardOf(TsActor* actor)
{
    Frame* frame = FrameOf(actor);
    return frame ? Frame::GetWorldMatrix(frame)->at : Vector{0.0f, 0.0f, 1.0f};
}

bool NearZero(const Vector& v)
{
    return std::fabs(v.x) <= kNear && std::fabs(v.y) <= kNear && std::fabs(v.z) <= kNear;
}

/// The horizontal part of the vector at unit length; false when it has none.
bool Planar(const Vector& v, Vector* out)
{
    const float length = std::sqrt(v.x * v.x + v.z * v.z);
    if (length <= 0.0f)
        return false;
    *out = {v.x / length, 0.0f, v.z / length};
    return true;
}

PnjMoveMSState* SkillOf(void* data)
{
    return static_cast<PnjMoveMSState*>(data);
}

/// The soldier's aim target and its position; null when it has none.
TsActor* AimTarget(TsAnimActor* actor, Vector* position)
{
    TsActor* target = actor ? actor->GetTarget() : nullptr;
    if (!target || !PositionOf(target, position))
        return nullptr;
    return target;
}

bool LeftTheGraph(TsAnimActor* actor)
{
    AnimMoveCtrl* controller = actor ? actor->GetMoveController() : nullptr;
    return controller && (controller->GetFlags() & AnimMoveCtrl::kOffWalkable);
}

void LookAlong(TsAnimActor* actor, const Vector& direction)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (!node || NearZero(direction))
        return;
    Vector unit = direction;
    const float length = std::sqrt(unit.x * unit.x + unit.y * unit.y + unit.z * unit.z);
    unit = {unit.x / length, unit.y / length, unit.z / length};
    node->LookAlong(&unit);
}

void FaceAimTarget(TsAnimActor* actor)
{
    Vector target, position;
    Frame* frame = FrameOf(actor);
    if (!frame || !AimTarget(actor, &target) || !PositionOf(actor, &position))
        return;
    const Vector direction = {target.x - position.x, target.y - position.y, target.z - position.z};
    FrameFaceDirectionPlanar(frame, &direction);
}

W3dNode* LevelRoot()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetRoot() : nullptr;
}
} // namespace

// ---- Turning --------------------------------------------------------------------------------

float PnjAngleTo(TsActor* actor, const Vector* point)
{
    Vector position;
    if (!point || !PositionOf(actor, &position))
        return 0.0f;
    if (std::fabs(point->x - position.x) <= kNear && std::fabs(point->y - position.y) <= kNear &&
        std::fabs(point->z - position.z) <= kNear)
        return 0.0f;
    return MovePathFollower::AngleToPoint(point, actor);
}

float PnjTurnToward(TsActor* actor, const Vector* point, float rate, float threshold)
{
    float angle = PnjAngleTo(actor, point);
    if (std::fabs(angle) <= threshold)
        return 0.0f;
    const float step = FrameSeconds() * rate;
    angle = std::fmax(-step, std::fmin(step, angle));
    static const Vector kUp = {0.0f, 1.0f, 0.0f};
    if (Frame* frame = FrameOf(actor))
        Frame::Rotate(frame, &kUp, angle, kCombinePreConcat);
    return angle;
}

float PnjTurnRate(TsActor* target, TsActor* actor)
{
    constexpr float kRateAtUnit = 25000.0f;
    Vector a, b;
    if (!PositionOf(target, &a) || !PositionOf(actor, &b))
        return kRateAtUnit;
    const float distance = VectorDistance(&a, &b);
    return distance > 0.0f ? kRateAtUnit / distance : kRateAtUnit;
}

int32_t PnjSide(TsActor* actor, const Vector* point, float tolerance)
{
    Vector position;
    if (!point || !PositionOf(actor, &position))
        return 1;
    Vector direction = {point->x - position.x, 0.0f, point->z - position.z};
    Vector forward = ForwardOf(actor);
    Planar(direction, &direction);
    Planar(forward, &forward);
    if (std::fabs(direction.x - forward.x) <= tolerance && std::fabs(direction.z - forward.z) <= tolerance)
        return 1;
    return direction.x * forward.z - forward.x * direction.z < 0.0f ? 2 : 3;
}

// ---- The skill ------------------------------------------------------------------------------

PnjMoveMSState::PnjMoveMSState(TsAnimActor* actor) : MoveMSState(actor)
{
    SetName(kName);
}

PnjMoveMSState::~PnjMoveMSState() = default;

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

// ---- Callbacks ------------------------------------------------------------------------------

namespace PnjCallbacks
{
int32_t TurnToPathTarget(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    if (skill->mPath.GetState() == MovePathFollower::kIdle)
        return 0;
    skill->mPath.Step(nullptr);
    const Vector target = *skill->mPath.GetTargetPosition();
    Vector position;
    if (!PositionOf(actor, &position) ||
        (std::fabs(target.x - position.x) <= kNear && std::fabs(target.z - position.z) <= kNear))
        return 0;
    const float angle = PnjTurnToward(actor, &target, skill->mTurnRate, kAngleThreshold);
    return std::fabs(angle) > kAngleThreshold ? 1 : 0;
}

int32_t FacePathDirection(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    if (skill->mPath.GetState() != MovePathFollower::kIdle)
        LookAlong(actor, *skill->mPath.GetDirection());
    return 1;
}

/// The path step shared by the walking and aiming walks: 0 once arrived.
static int32_t StepPath(PnjMoveMSState* skill, TsAnimActor* actor, bool face)
{
    switch (skill->mPath.Step(nullptr))
    {
    case MovePathFollower::kFailed:
        skill->Fail(kMsErrorMoveNoPath);
        break;
    case MovePathFollower::kArrived:
        skill->Succeed();
        return 0;
    case MovePathFollower::kNewWaypoint:
        if (face)
            LookAlong(actor, *skill->mPath.GetDirection());
        break;
    default:
        break;
    }
    return 1;
}

int32_t FollowPath(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    if (LeftTheGraph(actor))
        skill->Fail(kMsErrorMoveOutAstar);
    return StepPath(skill, actor, true);
}

int32_t WalkAimUpdate(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    skill->mLookAt.Update();
    // The controller moves the soldier along the path while his body faces the target: the
    // walk-aim animation chosen says which way the legs go.
    if (AnimMoveCtrl* controller = actor->GetMoveController())
        controller->SetDirection(skill->mPath.GetDirection());
    FaceAimTarget(actor);
    if (LeftTheGraph(actor))
        skill->Fail(kMsErrorMoveOutAstar);
    return StepPath(skill, actor, false);
}

int32_t StrafeUpdate(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    FaceAimTarget(actor);
    if (LeftTheGraph(actor))
    {
        SkillOf(data)->Fail(kMsErrorMoveOutAstar);
        return 0;
    }
    return 1;
}

int32_t StrafeCheck(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    if (LeftTheGraph(actor))
    {
        SkillOf(data)->Fail(kMsErrorMoveOutAstar);
        return 0;
    }
    return 1;
}

int32_t AimEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor*, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    skill->mLookAt.Start(PnjMoveMSState::kLookAtBone);
    skill->mShootAnim = PnjMoveMSState::kDefaultShootAnim;
    return 1;
}

int32_t AimLeave(AnimPlayerState*, TsAnimActor*, void* data)
{
    SkillOf(data)->mLookAt.Stop();
    return 1;
}

static int32_t AimWithRate(TsAnimActor* actor, PnjMoveMSState* skill, bool fixedRate)
{
    Vector position;
    if (TsActor* target = AimTarget(actor, &position))
        PnjTurnToward(actor, &position, fixedRate ? PnjMoveMSState::kTurnRate : PnjTurnRate(target, actor),
                      kAngleThreshold);
    skill->mLookAt.Update();
    return 1;
}

int32_t AimUpdate(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    return AimWithRate(actor, SkillOf(data), false);
}

int32_t AimOnceUpdate(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    return AimWithRate(actor, SkillOf(data), true);
}

int32_t ChooseAimAnim(AnimPlayerState* state, TsAnimActor* actor, void*)
{
    Vector position;
    if (!AimTarget(actor, &position))
        return state->mAnimState;
    switch (PnjSide(actor, &position, 0.1f))
    {
    case 2:
        return 8;
    case 3:
        return 9;
    default:
        return 1;
    }
}

int32_t ChooseWalkAimAnim(AnimPlayerState* state, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    if (TsAnimActorIsInStaticState(actor, 7))
        return state->mAnimState;
    Vector target, position;
    if (!AimTarget(actor, &target) || !PositionOf(actor, &position))
        return 0;
    auto pick = [skill](int32_t walk)
    {
        skill->mShootAnim = walk + 1;
        skill->mReloadAnim = walk + 2;
        return walk;
    };
    const Vector path = *skill->mPath.GetDirection();
    const Vector toTarget = {target.x - position.x, 0.0f, target.z - position.z};
    Vector p, t;
    if (NearZero(path) || NearZero(toTarget) || !Planar(path, &p) || !Planar(toTarget, &t))
        return pick(72);
    const float dot = p.x * t.x + p.z * t.z;
    if (dot > 0.5f)
        return pick(72);
    if (dot < -0.5f)
        return pick(81);
    // Sideways: the same side rule as PnjSide with the path as forward. A target on the
    // right of the walking direction (side 3) takes 75, on the left (side 2) 78.
    return pick(t.x * p.z - p.x * t.z < 0.0f ? 78 : 75);
}

int32_t ChooseShootAnim(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    return TsAnimActorIsInMoveState(actor, 22) ? SkillOf(data)->mShootAnim : PnjMoveMSState::kDefaultShootAnim;
}

int32_t ChooseReloadAnim(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    return TsAnimActorIsInMoveState(actor, 22) ? SkillOf(data)->mReloadAnim : PnjMoveMSState::kDefaultReloadAnim;
}

int32_t ShootEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    auto* weapon = HbCastTo<WeaponShoot>(actor->GetWeapon());
    if (!weapon)
        return 0;
    Vector target;
    if (AimTarget(actor, &target))
        TsAnimActorAimWeaponAt(actor, &target);
    switch (weapon->Fire(skill->mShotFactor, skill->mShotWideHit))
    {
    case 0:
        skill->Fail(kMsErrorCanNotShootNoAmmo);
        return 0;
    case 2:
        skill->Fail(kMsErrorCanNotShootRearm);
        return 0;
    default:
        break;
    }
    if (weapon->mMagazine == 0)
        if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        {
            TsSendEvent reload;
            reload.id = kEventReload;
            reload.sender = actor;
            reload.target = actor;
            world->QueueEvent(reload);
        }
    return 1;
}

int32_t ShootRepeat(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PnjMoveMSState* skill = SkillOf(data);
    int32_t families = 0;
    float factor = 1.0f;
    if (!TsCanShootActor(actor, actor->GetTarget(), &families, &factor))
        return 1;
    if (uint32_t(families) & actor->mFamily & kFactionMask)
    {
        skill->Fail(kMsErrorCanNotShootMustMove);
        return 0;
    }
    if (factor < kCloseCollision)
    {
        skill->Fail(kMsErrorCanNotShootCloseCollision);
        return 0;
    }
    return 1;
}

int32_t ShootLeave(AnimPlayerState*, TsAnimActor* actor, void*)
{
    auto* weapon = HbCastTo<WeaponShoot>(actor->GetWeapon());
    if (!weapon)
        return 0;
    // The end of the burst: the weapon's end-of-fire operation.
    weapon->SpareOperation();
    return 1;
}

int32_t ReloadEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    auto* weapon = HbCastTo<TsWeaponShoot>(actor->GetWeapon());
    if (!weapon)
        return 0;
    SkillOf(data)->mReloadChannel = weapon->PlayRandomSound(TsWeapon::kReloadSounds, 1);
    return 1;
}

int32_t ReloadLeave(AnimPlayerState*, TsAnimActor* actor, void*)
{
    auto* weapon = HbCastTo<TsWeaponShoot>(actor->GetWeapon());
    if (!weapon)
        return 0;
    weapon->Reload();
    return 1;
}

static void SetFall(TsAnimActor* actor, void* data, bool on)
{
    const int32_t index = data ? *static_cast<int32_t*>(data) : -1;
    AnimMoveCtrl* controller = actor ? actor->GetMoveController() : nullptr;
    if (!controller || index < 0)
        return;
    if (on)
        controller->SetBoneTarget(index, nullptr);
    else
        controller->ClearBoneTarget(index);
}

int32_t DeathEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    SetFall(actor, data, true);
    return 1;
}

int32_t DeathLeave(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    SetFall(actor, data, false);
    if (RdAnimMotor* motor = actor->GetAnimMotor())
        motor->RemoveAllChannels();
    return 1;
}

static TsHeroActor* Hero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? HbCastTo<TsHeroActor>(world->GetHero()) : nullptr;
}

int32_t NeutralizedEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    if (TsHeroActor* hero = Hero())
        hero->mHandle.Assign(actor);
    SetFall(actor, data, true);
    return 1;
}

int32_t NeutralizedLeave(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    if (TsHeroActor* hero = Hero())
        hero->mHandle.Reset();
    SetFall(actor, data, false);
    return 1;
}
} // namespace PnjCallbacks

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
