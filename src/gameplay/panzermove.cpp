// The tank move skill: its states and callbacks, the turret, the weapons' orders and
// PanzerAction.
#include "panzermove.h"

#include "animmovectrl.h"
#include "animplayerstatemachine.h"
#include "frame.h"
#include "fxcontext.h"
#include "fxservices.h"
#include "hbclock.h"
#include "hero.h"
#include "herostatemachine.h"
#include "herostates.h"
#include "kfxmanagerimp.h"
#include "moveanimplayerstate.h"
#include "moveskillhooks.h"
#include "rdanimmotor.h"
#include "scripteventid.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsbonelookat.h"
#include "tsfmod.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "tssoundmodule.h"
#include "w3dnode.h"
#include "weaponshoot.h"
#include "wvectorutil.h"

#include <Python.h>

#include <cfloat>
#include <cmath>

HB_DEFINE_CLASS_DESC(PanzerMoveMSState, PnjMoveMSState);

namespace
{
constexpr const char* kTurretSound = "SD_E_TANK_TOURELLE_S3DSB";
constexpr const char* kEngineSound = "SD_E_TANK_ENGINE_S3DSB";
constexpr int32_t kTracksEffect = 13;
constexpr int32_t kTracksStartEffect = 14;
constexpr int32_t kExplosionEffect = 4;

enum Callback : int32_t
{
    kNoCallback,
    kDrive,
    kTurnThenDrive,
    kTurnInPlace,
    kEngineSoundEnter,
    kStartTracks,
    kStopTracks,
    kExplode,
};

struct Row
{
    int32_t state;
    int32_t animation;
    float limit;
    int32_t playMode;
    int32_t entry;
    const char* sound;
    int32_t followUp;
    Callback update;
    Callback enter;
    Callback leave;
};

using P = PanzerMoveMSState;
constexpr Row kStates[] = {
    {P::kAccelerate, 53, FLT_MAX, 0, 0, "SD_E_TANK_ACCELER_S3DSB", P::kRoll, kDrive, kStartTracks, kNoCallback},
    {P::kAccelerateBack, 54, FLT_MAX, 0, 0, "SD_E_TANK_ACCELER_S3DSB", P::kRollBack, kDrive, kStartTracks, kNoCallback},
    {P::kBrake, 55, FLT_MAX, 0, 0, "SD_E_TANK_BRAKE_S3DSB", P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kBrakeBack, 56, 0, 0, 0, "SD_E_TANK_BRAKE_S3DSB", P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kRoll, 6, FLT_MAX, 1, 0, "SD_E_TANK_ROLL_S3DSB", P::kBrake, kDrive, kNoCallback, kStopTracks},
    {P::kRollBack, 61, FLT_MAX, 1, 0, "SD_E_TANK_ROLL_S3DSB", P::kBrakeBack, kDrive, kNoCallback, kStopTracks},
    {P::kTurnDriving, 6, 0, 1, 0, "SD_E_TANK_TURN_S3DSB", P::kAccelerate, kTurnThenDrive, kNoCallback, kNoCallback},
    {P::kTurnDrivingBack, 61, 0, 1, 0, "SD_E_TANK_TURN_S3DSB", P::kAccelerate, kTurnThenDrive, kNoCallback,
     kNoCallback},
    {P::kTurnInPlace, 6, 0, 1, 0, "SD_E_TANK_TURN_S3DSB", P::kStand, kTurnInPlace, kEngineSoundEnter, kNoCallback},
    {P::kTurnLeft, 6, 0, 1, 0, "SD_E_TANK_TURN_S3DSB", P::kStand, kTurnInPlace, kEngineSoundEnter, kNoCallback},
    {P::kTurnRight, 61, 0, 1, 0, "SD_E_TANK_TURN_S3DSB", P::kStand, kTurnInPlace, kEngineSoundEnter, kNoCallback},
    {P::kStand, 0, 0, 1, 0, nullptr, P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {8, 0, 0, 0, 0, nullptr, P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kRecoilFront, 57, 0, 0, 1, nullptr, P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kRecoilBack, 58, 0, 0, 1, nullptr, P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kRecoilSideA, 59, 0, 0, 1, nullptr, P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kRecoilSideB, 60, 0, 0, 1, nullptr, P::kStand, kNoCallback, kNoCallback, kNoCallback},
    {P::kDeath, 57, 0, 0, 1, "SD_E_TANK_EXPLO_S3DSB", 0, kNoCallback, kExplode, kNoCallback},
};
constexpr int32_t kSilentEnd[] = {67, 68, 74, 75, 69, 70};

float FrameSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mStepSeconds : 0.0f;
}

Vector PositionOf(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    const Vector* p = node ? node->GetWorldPosition() : nullptr;
    return p ? *p : Vector{0.0f, 0.0f, 0.0f};
}

const Matrix* WorldOf(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    return frame ? Frame::GetWorldMatrix(frame) : nullptr;
}

/// The horizontal part at unit length; false when it has none.
bool Planar(const Vector& v, Vector* out)
{
    const float length = std::sqrt(v.x * v.x + v.z * v.z);
    if (length <= 0.001f)
        return false;
    *out = {v.x / length, 0.0f, v.z / length};
    return true;
}

PanzerMoveMSState* SkillOf(void* data)
{
    return static_cast<PanzerMoveMSState*>(data);
}

void StopSound(int32_t& slot)
{
    if (slot >= 0)
        TsFModStopChannel(slot);
    slot = -1;
}

void PlayEffectAt(int32_t effect, TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (!node)
        return;
    FxContext* context = FxContextGet();
    context->Reset();
    const Vector at = *node->GetWorldPosition();
    context->position[0] = at.x, context->position[1] = at.y, context->position[2] = at.z;
    context->node = node;
    context->frame = node->GetEngineFrame();
    FxPlayOneShot(effect, context);
}

/// The soldier's path turn at the tank's rate; the angle applied.
float TurnToPath(PanzerMoveMSState* skill, TsAnimActor* actor)
{
    if (skill->mPath.GetState() == MovePathFollower::kIdle)
        return 0.0f;
    skill->mPath.Step(nullptr);
    const Vector target = *skill->mPath.GetTargetPosition();
    return PnjTurnToward(actor, &target, skill->mTurnRate, 0.0f);
}

// ---- Callbacks --------------------------------------------------------------------------------

int32_t Drive(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    if (!skill)
        return 0;
    if (skill->Crush())
        return 0;
    if (skill->mPath.GetState() != MovePathFollower::kIdle)
    {
        const Vector target = *skill->mPath.GetTargetPosition();
        const int32_t side = PnjSide(actor, &target, 0.1f);
        if (side == 2)
            skill->Request(PanzerMoveMSState::kTurnDriving);
        else if (side == 3)
            skill->Request(PanzerMoveMSState::kTurnDrivingBack);
    }
    if (skill->mPath.Step(nullptr) == MovePathFollower::kArrived)
    {
        skill->Succeed();
        skill->Request(PanzerMoveMSState::kBrake);
        return 0;
    }
    return 1;
}

int32_t TurnThenDrive(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    if (!skill)
        return 0;
    if (skill->Crush())
        return 0;
    if (std::fabs(TurnToPath(skill, actor)) <= 0.001f)
        return 0;
    skill->RequestTurnAnimation(PanzerMoveMSState::kTurnDriving, PanzerMoveMSState::kTurnDrivingBack);
    return 1;
}

int32_t TurnInPlace(AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    if (!skill)
        return 0;
    const float angle = TurnToPath(skill, actor);
    if (skill->Crush())
        return 0;
    if (std::fabs(angle) < 0.01f)
    {
        skill->Succeed();
        return 0;
    }
    skill->RequestTurnAnimation(PanzerMoveMSState::kTurnLeft, PanzerMoveMSState::kTurnRight);
    return 1;
}

int32_t EngineSound(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (skill && node && skill->mEngineSound < 0)
    {
        skill->mEngineSound = TsFModPlaySoundAt(kEngineSound, node->GetWorldPosition());
        if (skill->mEngineSound >= 0)
            TsFModAttachChannelToNode(node, skill->mEngineSound);
    }
    return 1;
}

int32_t StartTracks(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    if (!skill || !skill->mTracks || skill->mPath.GetState() == MovePathFollower::kIdle)
        return 1;
    const Vector target = *skill->mPath.GetTargetPosition();
    if (PnjSide(actor, &target, 0.1f) != 1)
        return 1;
    if (skill->mTracks->GetEmitterCount() == 0)
    {
        FxContext* context = FxContextGet();
        context->Reset();
        context->effect = skill->mTracks;
        if (W3dNode* node = actor->GetNode())
        {
            context->node = node;
            context->frame = node->GetEngineFrame();
        }
        FxBindDefinition(kTracksEffect, context);
    }
    skill->mTracks->Start();
    PlayEffectAt(kTracksStartEffect, actor);
    return 1;
}

int32_t StopTracks(AnimPlayerState*, TsAnimActor*, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    if (skill && skill->mTracks)
        skill->mTracks->Stop();
    return 1;
}

int32_t Explode(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    PanzerMoveMSState* skill = SkillOf(data);
    PlayEffectAt(kExplosionEffect, actor);
    if (skill)
    {
        StopSound(skill->mTurretSound);
        skill->mAction = PanzerMoveMSState::kNone;
        StopSound(skill->mEngineSound);
    }
    return 1;
}

AnimPlayerState::Callback UpdateOf(Callback c)
{
    switch (c)
    {
    case kDrive:
        return Drive;
    case kTurnThenDrive:
        return TurnThenDrive;
    case kTurnInPlace:
        return TurnInPlace;
    case kStopTracks:
        return StopTracks;
    default:
        return nullptr;
    }
}

AnimPlayerState::EnterCallback EnterOf(Callback c)
{
    switch (c)
    {
    case kEngineSoundEnter:
        return EngineSound;
    case kStartTracks:
        return StartTracks;
    case kExplode:
        return Explode;
    default:
        return nullptr;
    }
}

/// The blend-time table nothing fills: every transition of a tank blends in the default time.
HbIntHashMap* EmptyBlendTable()
{
    static HbIntHashMap* table = new HbIntHashMap(1, 1);
    return table;
}

// ---- Script function -------------------------------------------------------------------------

PyObject* PanzerAction(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int action = 0;
    if (!PyArg_ParseTuple(args, "Oi:PanzerAction", &object, &action))
        return nullptr;
    // Each tank keeps its own order: two tanks never carry out each other's.
    TsActor* actor = TsFindActorOfScriptObject(object);
    TsMotorSkills* table = actor ? actor->GetMotorSkills() : nullptr;
    if (auto* skill = table ? HbCastTo<PanzerMoveMSState>(table->FindSkill(PanzerMoveMSState::kName)) : nullptr)
        skill->mAction = action;
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(PanzerAction, "PanzerAction", "This function is not documented", __FILE__, __LINE__);
    registry->AddSkillState(PanzerMoveMSState::kScriptId, PanzerMoveMSState::kName, __FILE__, PanzerMoveMSState::Create,
                            __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (PanzerMoveQueueRegistrations(), 1);

void QueueStateOver(TsActor* actor)
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
    {
        TsSendEvent event;
        event.id = kEventSapStateOver;
        event.sender = actor;
        event.target = actor;
        world->QueueEvent(event);
    }
}
} // namespace

// ---- The skill -------------------------------------------------------------------------------------

PanzerMoveMSState::PanzerMoveMSState(TsAnimActor* actor) : PnjMoveMSState(actor)
{
    SetName(kName);
    mTracks = new KFX();
    mTracks->AddRef();
    FollowModel();
}

PanzerMoveMSState::~PanzerMoveMSState()
{
    StopSound(mTurretSound);
    StopSound(mEngineSound);
    if (mTracks)
    {
        mTracks->Stop();
        mTracks->Release();
    }
    if (mCannon)
        mCannon->Release();
    if (mMachineGun)
        mMachineGun->Release();
}

int32_t PanzerMoveMSState::SetParameters(PyObject* parameters)
{
    PyObject* cannonObject = nullptr;
    PyObject* cannonOffset = nullptr;
    PyObject* gunObject = nullptr;
    PyObject* gunOffset = nullptr;
    if (!parameters || !PyTuple_Check(parameters) ||
        !PyArg_ParseTuple(parameters, "OOOO:PanzerMoveSkill", &cannonObject, &cannonOffset, &gunObject, &gunOffset))
        return 0;
    auto* cannon = HbCastTo<WeaponShoot>(TsFindActorOfScriptObject(cannonObject));
    auto* gun = HbCastTo<WeaponShoot>(TsFindActorOfScriptObject(gunObject));
    // A tank without its turret bone or its two firearms cannot carry out its orders.
    if (!cannon || !gun || !mTurretFrame || !mActor || !ScriptIsVertex(cannonOffset) || !ScriptIsVertex(gunOffset))
    {
        PyErr_SetString(PyExc_RuntimeError, "PanzerMoveSkill : the tank needs bone 161 and two shooting weapons");
        return 0;
    }
    mActor->SetWeapon(cannon);
    mActor->AttachToBone(gun, kMachineGunBone);
    const Vector axis = {1.0f, 0.0f, 0.0f};
    const struct
    {
        WeaponShoot* weapon;
        PyObject* offset;
    } mounts[] = {{cannon, cannonOffset}, {gun, gunOffset}};
    for (const auto& mount : mounts)
    {
        W3dNode* node = mount.weapon->GetNode();
        Frame* frame = node ? node->GetEngineFrame() : nullptr;
        if (!frame)
            continue;
        const auto* v = reinterpret_cast<const ScriptVertex*>(mount.offset);
        const Vector offset = {v->x, v->y, v->z};
        Frame::Rotate(frame, &axis, 90.0f, kCombinePreConcat);
        Frame::Translate(frame, &offset, kCombinePostConcat);
    }
    cannon->AddRef();
    gun->AddRef();
    if (mCannon)
        mCannon->Release();
    if (mMachineGun)
        mMachineGun->Release();
    mCannon = cannon;
    mMachineGun = gun;
    return 1;
}

void PanzerMoveMSState::Setup()
{
    mTimerDuration = -1.0f;
    mTurnRate = kTankTurnRate;
    mPath.SetActor(mActor);
    if (AnimMoveCtrl* controller = mActor ? mActor->GetMoveController() : nullptr)
        controller->SetFamilyMask(HeroFamily | HeroEnemyFamily);
    const MoveSkillHooks& hooks = GetMoveSkillHooks();
    if (mActor && hooks.initPlayer)
    {
        hooks.initPlayer(mActor, kMoveAnimPlayer, kMoveStateSlots, kStand);
        hooks.initPlayer(mActor, kStaticAnimPlayer, kStaticStateSlots, 0);
    }
    AnimPlayerStateMachine* move = mActor ? mActor->GetMovePlayer() : nullptr;
    if (move)
        move->SetBlendTable(EmptyBlendTable());
    for (const Row& row : kStates)
    {
        MoveStateDescription d;
        d.stateId = row.state;
        d.animation = row.animation;
        const bool recoil = row.entry == 1;
        d.controllerMode = recoil ? 0 : 10;
        d.controllerFlags = 0x810;
        d.controllerLimit = row.limit;
        d.channel = 1;
        d.playMode = row.playMode;
        d.entryValue = row.entry;
        d.sound = row.sound;
        d.followUp = row.followUp;
        d.update = UpdateOf(row.update);
        d.updateData = d.update ? this : nullptr;
        d.enter = EnterOf(row.enter);
        d.enterData = d.enter ? this : nullptr;
        d.leave = UpdateOf(row.leave);
        d.leaveData = d.leave ? this : nullptr;
        AddMoveState(d);
    }
    if (!move)
        return;
    for (int32_t id : kSilentEnd)
        if (AnimPlayerState* state = move->GetState(id))
            state->mNotify = 0;
    if (AnimPlayerState* death = move->GetState(kDeath))
        death->mExclusive = 1;
}

void PanzerMoveMSState::FollowModel()
{
    W3dNode* model = mActor ? mActor->GetNode() : nullptr;
    if (mTurretModel.IsValid() && mTurretModel.GetObject() == model)
        return;
    // The old frame and lock went with the old model's motor: neither is touched again.
    const bool locked = mTurretLock != nullptr;
    mTurretLock = nullptr;
    mTurretModel.Assign(model);
    RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr;
    mTurretFrame = motor ? motor->GetBoneFrame(kTurretBone) : nullptr;
    if (locked && mTurretFrame)
    {
        const Vector zero = {0.0f, 0.0f, 0.0f};
        mTurretLock = motor->AddLockedBone(kTurretBone, &zero, 0, 0.0f);
    }
}

void PanzerMoveMSState::Enter()
{
    PnjMoveMSState::Enter();
    FollowModel();
    const Vector zero = {0.0f, 0.0f, 0.0f};
    if (RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr)
        mTurretLock = motor->AddLockedBone(kTurretBone, &zero, 0, 0.0f);
}

void PanzerMoveMSState::Exit()
{
    StopSound(mEngineSound);
    PnjMoveMSState::Exit();
    FollowModel();
    if (RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr)
        motor->RemoveLockedBone(kTurretBone);
    mTurretLock = nullptr;
}

void PanzerMoveMSState::Request(int32_t state)
{
    if (AnimPlayerStateMachine* move = mActor ? mActor->GetMovePlayer() : nullptr)
        move->RequestState(state);
}

void PanzerMoveMSState::RequestTurnAnimation(int32_t left, int32_t right)
{
    const Matrix* world = WorldOf(mActor);
    ScriptWorldManager* manager = ScriptWorldManager::Instance();
    TsActor* hero = manager ? manager->GetHero() : nullptr;
    if (!world || !hero)
    {
        Request(left);
        return;
    }
    const Vector h = PositionOf(hero);
    const Vector d = {h.x - world->pos.x, h.y - world->pos.y, h.z - world->pos.z};
    const float dot = d.x * world->right.x + d.y * world->right.y + d.z * world->right.z;
    Request(dot < 0.0f ? left : right);
}

int32_t PanzerMoveMSState::Crush()
{
    AnimMoveCtrl* controller = mActor ? mActor->GetMoveController() : nullptr;
    if (!controller || !(controller->GetFlags() & AnimMoveCtrl::kHitActor))
        return 0;
    return CrushActor(controller->GetTarget());
}

int32_t PanzerMoveMSState::CrushActor(TsActor* touched)
{
    Request(kBrake);
    auto* hero = HbCastTo<Hero>(touched);
    if (hero && !HeroIsGodMode())
    {
        const Matrix* world = WorldOf(mActor);
        const Vector h = PositionOf(hero);
        if (world)
        {
            const Vector d = {h.x - world->pos.x, h.y - world->pos.y, h.z - world->pos.z};
            const Vector& f = world->at;
            if (f.x * d.x + f.y * d.y + f.z * d.z > 0.1f)
            {
                if (W3dNode* node = hero->GetNode())
                    node->LookAlong(&f);
                if (HeroStateMachine* machine = hero->GetStateMachine())
                    machine->SetState(kHeroDie);
            }
        }
    }
    mAction = kNone;
    Succeed();
    return 1;
}

int32_t PanzerMoveMSState::TurnTurret(const Vector& direction, float speed, int32_t flag)
{
    if (!mTurretFrame)
        return 0;
    Vector target, turret;
    const Matrix* world = Frame::GetWorldMatrix(mTurretFrame);
    if (!Planar(direction, &target) || !Planar(world->at, &turret))
        return 0;
    if (std::fabs(turret.x - target.x) <= 0.01f && std::fabs(turret.z - target.z) <= 0.01f)
    {
        mAction = kNone;
        StopSound(mTurretSound);
        return 1;
    }
    Vector blended;
    BlendVectorByFrameTime(&turret, &target, speed, FrameSeconds(), &blended);
    Vector unit;
    if (!Planar(blended, &unit))
        return 0;
    if (mTurretLock)
        mTurretLock->SetTarget(&unit, flag);
    if (mTurretSound < 0)
    {
        const Vector at = PositionOf(mActor);
        mTurretSound = TsFModPlaySoundAt(kTurretSound, &at);
    }
    return 0;
}

int32_t PanzerMoveMSState::Loop()
{
    FollowModel();
    // The aim target is set once PnjSetTarget has hung the tank's virtual target somewhere.
    TsActor* target = mActor ? mActor->GetTarget() : nullptr;
    W3dNode* targetNode = target ? target->GetNode() : nullptr;
    if (!targetNode || !targetNode->GetParent())
        target = nullptr;
    const Matrix* body = WorldOf(mActor);
    switch (mAction)
    {
    case kStartAim:
        if (target && body)
        {
            const Vector t = PositionOf(target);
            const Vector direction = {t.x - body->pos.x, t.y - body->pos.y, t.z - body->pos.z};
            if (TurnTurret(direction, 5.0f, 1))
                QueueStateOver(mActor);
        }
        break;
    case kStopAim:
        if (body && TurnTurret(body->at, 2.0f, 1))
        {
            const Vector zero = {0.0f, 0.0f, 0.0f};
            if (mTurretLock)
                mTurretLock->SetTarget(&zero, 1);
            QueueStateOver(mActor);
        }
        break;
    case kShoot1:
    case kShoot2:
    {
        WeaponShoot* weapon = mAction == kShoot1 ? mCannon : mMachineGun;
        if (weapon)
        {
            if (target)
            {
                const Vector t = PositionOf(target);
                TsAnimActorAimWeaponAt(mActor, &t);
            }
            weapon->Fire(mShotFactor, mShotWideHit);
        }
        const bool cannon = mAction == kShoot1;
        mAction = kNone;
        if (cannon && body && mTurretFrame)
        {
            const Vector turret = Frame::GetWorldMatrix(mTurretFrame)->at;
            const Vector& tank = body->at;
            const float dot = turret.x * tank.x + turret.y * tank.y + turret.z * tank.z;
            if (dot > 0.5f)
                Request(kRecoilFront);
            else if (dot < -0.5f)
                Request(kRecoilBack);
            else
                Request(turret.x * tank.z - tank.x * turret.z > 0.0f ? kRecoilSideA : kRecoilSideB);
        }
        break;
    }
    default:
        break;
    }
    return PnjMoveMSState::Loop();
}

int32_t PanzerMoveMSState::SetTargetPosition(const Vector* point, int32_t)
{
    return PnjMoveMSState::SetTargetPosition(point, MovePathFollower::kNoAstar);
}

int32_t PanzerMoveMSState::SetTargetActor(TsActor* target, int32_t)
{
    return PnjMoveMSState::SetTargetActor(target, MovePathFollower::kNoAstar);
}

TsMotorSkill* PanzerMoveMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* actor = HbCastTo<TsAnimActor>(owner);
    if (!actor)
        return nullptr;
    auto* state = new PanzerMoveMSState(actor);
    if (!state->SetParameters(parameters))
    {
        delete state;
        return nullptr;
    }
    state->Setup();
    return state;
}

void PanzerMoveQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(Register);
    gQueued = true;
}
