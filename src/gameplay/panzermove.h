// PanzerMoveMSState ("MS_PANZERMOVE"): the tanks' move skill. It drives along paths like the
// soldier's skill, with body states of its own (accelerate, roll, brake, turn, recoil,
// explode), crushes the hero in front of it, turns a turret on bone 161 toward its aim target
// and fires a cannon and a machine gun as PanzerAction (module skills) orders.
#pragma once

#include "hbptr.h"
#include "pnjmove.h"

#include <cstdint>

class KFX;
class WeaponShoot;
class RdLockedBones;
struct Frame;

class PanzerMoveMSState : public PnjMoveMSState
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_PANZERMOVE";
    static constexpr int32_t kScriptId = 0x9004;
    static constexpr int32_t kTurretBone = 161;
    static constexpr int32_t kMachineGunBone = 2;
    static constexpr float kTankTurnRate = 50.0f;
    enum Action : int32_t
    {
        kNone = 0,
        kStartAim = 1,
        kStopAim = 2,
        kShoot1 = 3,
        kShoot2 = 4,
    };
    enum State : int32_t
    {
        kAccelerate = 67,
        kAccelerateBack = 68,
        kBrake = 69,
        kBrakeBack = 70,
        kRoll = 11,
        kRollBack = 71,
        kTurnDriving = 74,
        kTurnDrivingBack = 75,
        kTurnInPlace = 58,
        kTurnLeft = 72,
        kTurnRight = 73,
        kStand = 3,
        kRecoilFront = 63,
        kRecoilBack = 64,
        kRecoilSideA = 65,
        kRecoilSideB = 66,
        kDeath = 41,
    };

    /// The soldier's skill with the track effect, no weapons, no action and the turret frame
    /// of bone 161 (null when the model has none).
    explicit PanzerMoveMSState(TsAnimActor* actor);
    ~PanzerMoveMSState() override;

    /// (cannon, cannon offset, machine gun, machine-gun offset): the cannon in hand, the
    /// machine gun on bone 2. 0 for a tuple that does not parse, weapons that are not shooting
    /// weapons and a model without the turret bone.
    int32_t SetParameters(PyObject* parameters) override;
    /// Rate 50, the tank's players and states (replacing the soldier's).
    void Setup() override;
    /// The soldier's Enter, then the turret lock on bone 161.
    void Enter() override;
    /// Engine sound off, the soldier's Exit, the turret lock removed.
    void Exit() override;
    /// Carries out the pending action, then the soldier's Loop.
    int32_t Loop() override;
    /// Always planned without A* and with arrival distance 0.
    int32_t SetTargetPosition(const Vector* point, int32_t pathMode) override;
    int32_t SetTargetActor(TsActor* target, int32_t pathMode) override;

    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    /// Turns the turret toward the horizontal direction at the blend speed; 1 once aligned
    /// (the action cleared, the turret sound stopped), else 0.
    int32_t TurnTurret(const Vector& direction, float speed, int32_t flag);
    /// The move controller's collision with an actor: brake, and the hero in front dies
    /// (unless in god mode). 1 when it acted.
    int32_t Crush();
    /// Crush's reaction to the actor touched: brake, the hero dies when in front and not in
    /// god mode, the order is dropped and the skill succeeds. 1.
    int32_t CrushActor(TsActor* touched);
    /// The first state when the hero lies on the tank's left, else the second.
    void RequestTurnAnimation(int32_t left, int32_t right);
    /// Asks the move player for the state.
    void Request(int32_t state);
    /// When the tank's model is no longer the one the turret frame came from (replaced or
    /// gone), the frame is taken from the current model (null without bone 161) and, while
    /// the skill is entered, a fresh lock is put on it.
    void FollowModel();

    /// The order this tank carries out next (PanzerAction).
    int32_t mAction = kNone;
    /// One reference held on each.
    WeaponShoot* mCannon = nullptr;
    WeaponShoot* mMachineGun = nullptr;
    /// Bone 161's frame and lock belong to the model they were taken from (mTurretModel):
    /// FollowModel takes them again from the current model.
    Frame* mTurretFrame = nullptr;
    RdLockedBones* mTurretLock = nullptr;
    HbHandlePtr mTurretModel;
    int32_t mTurretSound = -1;
    int32_t mEngineSound = -1;
    KFX* mTracks = nullptr;
};

/// Queues MS_PANZERMOVE and PanzerAction on the skill registry (once).
void PanzerMoveQueueRegistrations();
