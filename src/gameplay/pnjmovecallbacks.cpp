// The soldier move skill's turning helpers and the callbacks its animation states run: walking
// the path, turning toward the target, aiming, firing, reloading and falling.
#include "pnjmove.h"

#include "animmovectrl.h"
#include "frame.h"
#include "hbclock.h"
#include "rdanimmotor.h"
#include "scripteventid.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "tsanimactor.h"
#include "tsanimactorctrl.h"
#include "tsheroactor.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tssenses.h"
#include "w3dnode.h"
#include "weaponshoot.h"
#include "wvectorutil.h"

#include <cmath>

namespace
{
constexpr float kAngleThreshold = 0.01f;
constexpr float kNear = 0.001f;
/// The faction bits of a family mask: a blocker sharing one with the shooter is a friend.
constexpr uint32_t kFactionMask = 0xFF00;
/// Below this share of the line of fire the obstacle is too close to shoot past.
constexpr float kCloseCollision = 0.5f;

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
