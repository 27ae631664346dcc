// The hero's movement and aiming states: standing, walking and running, crouched standing and
// walking, the two turns on the spot, the four aiming states, the roll, the stop after a run
// and the quick turn. Each Decide asks its tests in order and the first that passes names the
// next state, so a test that acts (a crouch toggle, the LOCK stamp) acts only when reached.
#include "animmovectrl.h"
#include "frame.h"
#include "hbinputmanager.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "heromovehelper.h"
#include "herostates_local.h"
#include "ingamecamera.h"
#include "tsanimactorctrl.h"
#include "tsbonelookat.h"
#include "tscameraregistry.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"
#include "wvectorutil.h"

#include <cmath>

using namespace herostates;

namespace
{
constexpr float kStandingHeight = 180.0f;
constexpr float kCrouchedHeight = 110.0f;
/// A quick turn or a ladder is looked for only after this long in the walk.
constexpr double kWalkSettleSeconds = 0.15;
/// A run longer than this before the stick is released brakes through the stop.
constexpr float kLongRunSeconds = 1.5f;
/// Turn (degrees) beyond which the run banks.
constexpr float kBankDegrees = 8.0f;
/// The follow camera's yaw speed, in degrees per frame, beyond which the aiming hero plays
/// his turning steps, and below which he stands still again.
constexpr float kAimTurnOn = 0.2f;
constexpr float kAimTurnOff = 0.1f;

HeroMoveHelper& Helper()
{
    return HeroMoveHelper::Instance();
}

TsHeroActor* AsHero(TsActor* actor)
{
    return HbCastTo<TsHeroActor>(actor);
}

Vector ForwardOf(TsActor* hero)
{
    W3dNode* node = hero ? hero->GetNode() : nullptr;
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    return frame ? Frame::GetWorldMatrix(frame)->at : Vector{0.0f, 0.0f, 1.0f};
}

/// A direction of the hero (move direction or smoothed heading) in his horizontal frame.
Vector Local(TsActor* hero, const Vector& direction)
{
    Vector local = direction;
    if (hero)
        hero->GetLocalDirection(&direction, &local);
    return local;
}

/// The signed turn (degrees) from the hero's facing to a direction in his horizontal frame,
/// where his facing is +z: both sides of the comparison in the same frame.
float AngleToForward(TsActor*, const Vector& local)
{
    const Vector forward = {0.0f, 0.0f, 1.0f};
    return VectorPlanarAngle(&forward, &local, nullptr);
}

void EndLockAndHideSight(TsActor* hero)
{
    HeroAimLockEndAndHideSight(hero);
}

TsActor* InHand(TsActor* hero)
{
    return hero ? HeroGetInputHost()->GetObjectInHand(hero) : nullptr;
}

bool ScopeWeapon(TsActor* hero)
{
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(hero));
    return gun && gun->mInteger17 == 1;
}

bool PadPresent()
{
    HbInputManager* input = HbInputManager::Instance();
    return input && input->IsPadPresent();
}

bool Dead(TsActor* hero)
{
    return HeroIsDead(hero) != 0;
}
bool Moving()
{
    return Helper().IsActive() != 0;
}
bool WalkOn()
{
    return Helper().CanWalkOn() != 0;
}
bool TurnNeeded()
{
    return Helper().NeedsTurn() != 0;
}
bool Stopped()
{
    return Helper().IsMode0TimerOver() != 0;
}
int32_t Hold(TsActor* hero)
{
    return HeroGetHoldMode(hero);
}
bool Lock(TsActor* hero)
{
    return HeroInLockTest(hero) != 0;
}
bool LockReleased(TsActor* hero)
{
    return HeroInLockReleased(hero) != 0;
}
bool CrouchEnter(TsActor* hero)
{
    return HeroInCrouchEnter(hero) != 0;
}
bool CrouchLeave(TsActor* hero)
{
    return HeroInCrouchLeave(hero) != 0;
}
bool Roll(TsActor* hero)
{
    return HeroInRoll(hero) != 0;
}
bool ShootClick(TsActor* hero)
{
    return HeroInShootClick(hero) != 0;
}
bool ContactStrike(TsActor* hero)
{
    return HeroInContactStrike(hero) != 0;
}

// ---- Standing and walking ---------------------------------------------------------------------------

class HeroState_NormalWait : public HeroMoveState
{
public:
    explicit HeroState_NormalWait(int32_t code) : HeroMoveState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroMoveState::Enter(hero);
        Helper().ResetHistory();
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetPosture(hero, 0);
        mAimHeight = kStandingHeight;
        ForceMap(3);
        ForceSap(0);
        HeroSetCrouched(0);
    }
    int32_t Update(TsActor* hero) override
    {
        ForceMap(3);
        UpdateUpperBody(hero, 0, 16, 0);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (WalkOn())
            return kHeroNormalMove;
        if (TurnNeeded())
            return kHeroNormalWaitRotate;
        if (Hold(hero) == 2 || Hold(hero) == 1)
            return kHeroAimWait;
        if (CrouchEnter(hero))
            return kHeroSilentWait;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Lock(hero))
            return kHeroAimWait;
        if (Roll(hero))
            return kHeroRoll;
        if (ShootClick(hero))
            return kHeroStrikeStand;
        return GetCode();
    }
    void Exit(TsActor* hero) override
    {
        AimBoneTargetClear(hero);
        QueueSap(0);
    }
};

/// The game-clock tick of the walk's last entry.
int64_t gNormalMoveEntry = 0;

class HeroState_NormalMove : public HeroMoveState
{
public:
    explicit HeroState_NormalMove(int32_t code) : HeroMoveState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroMoveState::Enter(hero);
        Helper().SyncFrame();
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(1);
        mAimHeight = kStandingHeight;
        gNormalMoveEntry = Now();
    }
    int32_t Update(TsActor* hero) override
    {
        const float turn = HeroFaceMoveDirection(hero);
        enum
        {
            kNone,
            kWalk,
            kRun
        } gait = kNone;
        int32_t runKind = AnimPlayerRequestStack::kPush;
        if (PadPresent())
        {
            if (Helper().IsMode1TimerOver())
                gait = kWalk;
            else if (Helper().IsMode2TimerOver())
            {
                gait = kRun;
                runKind = AnimPlayerRequestStack::kUrgent;
            }
        }
        else
            gait = HeroInRun() ? kWalk : kRun;

        if (gait == kWalk)
        {
            HeroSetPosture(hero, 1);
            QueueMap(11);
        }
        else if (gait == kRun && HeroGetHoldMode(hero) != 1)
        {
            HeroSetPosture(hero, 2);
            HeroMapRequests().Push(26, runKind);
            if (turn > kBankDegrees)
                ReplaceMap(59);
            else if (turn < -kBankDegrees)
                ReplaceMap(60);
        }
        UpdateUpperBody(hero, 0, 16, 0);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        const bool settled = SecondsSince(gNormalMoveEntry) > kWalkSettleSeconds;
        if (settled && Helper().CheckHistory())
            return kHeroQuickTurn;
        if (settled && HeroLadderUpAvailable(hero))
            return kHeroLadderUpStart;
        if (HeroLadderDownAvailable(hero))
            return kHeroLadderDownStart;
        if (Dead(hero))
            return kHeroDie;
        if (ShootClick(hero))
            return kHeroStrikeStand;
        if (Stopped())
            return Helper().IsMode0AndTimerAbove(kLongRunSeconds) ? kHeroStop : kHeroNormalWait;
        if (Hold(hero) != 0)
            return kHeroAimWait;
        if (CrouchEnter(hero))
            return kHeroSilentMove;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Lock(hero))
            return kHeroAimMove;
        if (Roll(hero))
            return kHeroRoll;
        return GetCode();
    }
};

class HeroState_SilentWait : public HeroMoveState
{
public:
    explicit HeroState_SilentWait(int32_t code) : HeroMoveState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroMoveState::Enter(hero);
        HeroSetCrouched(1);
        HeroSetCameraPreset(4);
        EndLockAndHideSight(hero);
        HeroSetPosture(hero, 3);
        mAimHeight = kCrouchedHeight;
        ForceMap(28);
        ForceSap(0);
    }
    int32_t Update(TsActor* hero) override
    {
        ForceSap(0);
        UpdateUpperBody(hero, 0, 17, 0);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Hold(hero) == 1 || Hold(hero) == 2)
            return kHeroSilentAimWait;
        if (Dead(hero))
            return kHeroDie;
        if (WalkOn())
            return kHeroSilentMove;
        if (TurnNeeded())
            return kHeroSilentWaitRotate;
        if (CrouchLeave(hero))
            return kHeroNormalWait;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Lock(hero) && !Moving())
            return kHeroSilentAimWait;
        if (Roll(hero))
            return kHeroRoll;
        if (ShootClick(hero))
            return kHeroStrikeCrouch;
        return GetCode();
    }
};

class HeroState_SilentMove : public HeroMoveState
{
public:
    explicit HeroState_SilentMove(int32_t code) : HeroMoveState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroMoveState::Enter(hero);
        HeroSetCameraPreset(4);
        EndLockAndHideSight(hero);
        HeroSetPosture(hero, 4);
        mAimHeight = kCrouchedHeight;
        ForceMap(31);
        ForceSap(0);
        HeroSetFootstepCallback(hero, HeroFootstepCrouched);
    }
    int32_t Update(TsActor* hero) override
    {
        HeroFaceMoveDirection(hero);
        ForceSap(0);
        UpdateUpperBody(hero, 0, 17, 0);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (HeroLadderUpAvailable(hero))
        {
            HeroSetCrouched(0);
            return kHeroLadderUpStart;
        }
        if (HeroLadderDownAvailable(hero))
        {
            HeroSetCrouched(0);
            return kHeroLadderDownStart;
        }
        if (Dead(hero))
            return kHeroDie;
        if (ShootClick(hero))
            return kHeroStrikeCrouch;
        if (CrouchLeave(hero))
            return kHeroNormalMove;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Lock(hero))
            return kHeroSilentAimMove;
        if (Roll(hero))
            return kHeroRoll;
        if (Stopped())
            return kHeroSilentWait;
        if (Hold(hero) != 0)
            return kHeroSilentAimWait;
        return GetCode();
    }
};

// ---- Turning on the spot -------------------------------------------------------------------------------

/// The turn's fields and its per-frame step along the turn curve.
class HeroTurnOnSpot : public HeroRotateState
{
public:
    explicit HeroTurnOnSpot(int32_t code) : HeroRotateState(code) {}

protected:
    /// Aims at the move direction; the signed angle still to turn.
    float Aim(TsActor* hero)
    {
        mProgress = 0.0f;
        TsHeroActor* h = AsHero(hero);
        mTarget = h ? h->mMoveDirection : Vector{0.0f, 0.0f, 1.0f};
        const float angle = AngleToForward(hero, Local(hero, mTarget));
        mTotalAngle = std::fabs(angle);
        return angle;
    }
    /// Progress along the turn, the curve's speed, and this frame's part of the turn for the
    /// move controller (never past the target).
    void Turn(TsActor* hero)
    {
        // The entry's direction seen from where the hero faces now.
        const float a = AngleToForward(hero, Local(hero, mTarget));
        // A turn that grew beyond its start runs at the curve's end speed.
        if (std::fabs(a) > mTotalAngle || mTotalAngle < 0.001f)
            mProgress = 1.0f;
        else
            mProgress = 1.0f - std::fabs(a) / mTotalAngle;
        mTurnSpeed = HeroTurnCurveSample(mProgress);
        HeroMoveHelper& helper = Helper();
        const float step = std::copysign(helper.GetFrameSeconds() * mTurnSpeed, a);
        if (AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr)
            controller->SetSpeed(std::fabs(step) > std::fabs(a) ? a : step);
    }
};

class HeroState_NormalWaitRotate : public HeroTurnOnSpot
{
public:
    explicit HeroState_NormalWaitRotate(int32_t code) : HeroTurnOnSpot(code) {}

    void Enter(TsActor* hero) override
    {
        // All of the standing state's entry.
        HeroStateCommonEnter(hero, this);
        AimBoneTargetSet(hero, mAimHeight);
        Helper().ResetHistory();
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetPosture(hero, 0);
        mAimHeight = kStandingHeight;
        ForceMap(3);
        ForceSap(0);
        HeroSetCrouched(0);

        const float angle = Aim(hero);
        if (PlayerState(hero, kHeroStaticPlayer) == 28)
            QueueMap(3);
        else
            ForceMap(angle < 0.0f ? 62 : 61);
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetPosture(hero, 0);
    }
    int32_t Update(TsActor* hero) override
    {
        Turn(hero);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (WalkOn())
        {
            Helper().SetCheckDelayB(1.0f);
            return kHeroNormalMove;
        }
        if (Dead(hero))
            return kHeroDie;
        if (mTotalAngle < 0.001f || mProgress >= 0.98f)
            return kHeroNormalWait;
        if (Hold(hero) == 1 || Hold(hero) == 2)
            return kHeroAimWait;
        if (CrouchEnter(hero))
            return kHeroSilentWait;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Roll(hero))
            return kHeroRoll;
        if (ShootClick(hero))
            return kHeroStrikeStand;
        return GetCode();
    }
    void Exit(TsActor* hero) override
    {
        AimBoneTargetClear(hero);
        QueueSap(0);
        mProgress = 0.0f;
    }
};

class HeroState_SilentWaitRotate : public HeroTurnOnSpot
{
public:
    explicit HeroState_SilentWaitRotate(int32_t code) : HeroTurnOnSpot(code) {}

    void Enter(TsActor* hero) override
    {
        // All of the crouched standing state's entry.
        HeroStateCommonEnter(hero, this);
        AimBoneTargetSet(hero, mAimHeight);
        HeroSetCrouched(1);
        HeroSetCameraPreset(4);
        EndLockAndHideSight(hero);
        HeroSetPosture(hero, 3);
        mAimHeight = kCrouchedHeight;
        ForceMap(28);
        ForceSap(0);

        Aim(hero);
        QueueMap(31);
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(4);
        HeroSetPosture(hero, 3);
        HeroSetFootstepCallback(hero, HeroFootstepCrouched);
    }
    int32_t Update(TsActor* hero) override
    {
        ForceSap(0);
        UpdateUpperBody(hero, 0, 17, 0);
        const int32_t result = HeroStateCommonUpdate(hero);
        Turn(hero);
        return result;
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Hold(hero) == 1 || Hold(hero) == 2)
            return kHeroSilentAimWait;
        if (mTotalAngle < 0.001f)
            return WalkOn() ? kHeroSilentMove : kHeroSilentWait;
        if (mProgress >= 0.98f)
            return WalkOn() ? kHeroSilentMove : kHeroSilentWait;
        if (Dead(hero))
            return kHeroDie;
        if (CrouchLeave(hero))
            return kHeroNormalWait;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Lock(hero) && !Moving())
            return kHeroSilentAimWait;
        if (Roll(hero))
            return kHeroRoll;
        if (ShootClick(hero))
            return kHeroStrikeCrouch;
        return GetCode();
    }
    void Exit(TsActor* hero) override
    {
        AimBoneTargetClear(hero);
        mProgress = 0.0f;
    }
};

// ---- Aiming ----------------------------------------------------------------------------------------------

/// The aiming states' shared tail: without the follow camera as the current camera nothing
/// more happens this frame (no common update); otherwise the aim target follows the camera,
/// the hero looks where the camera looks and the turn value is the camera's yaw speed.
class HeroAimingState : public HeroAimState
{
public:
    explicit HeroAimingState(int32_t code) : HeroAimState(code) {}

protected:
    int32_t Tail(TsActor* hero)
    {
        TsCamera* current = TsCameraRegistry::GetCamera(TsCameraRegistry::GetCurrentCameraId());
        if (!current || !HbCastTo<CameraFollow>(current))
            return 0;
        AimBoneTargetUpdate();
        mAimStarted = 1;
        // Degrees per frame, as the follow camera turns under the player's stick or mouse.
        mTurnValue = CameraFollowGetYawSpeed();
        if (Frame* camera = TsCameraRegistry::GetCurrentCameraNode())
        {
            Vector at = Frame::GetWorldMatrix(camera)->at;
            at.y = 0.0f;
            const float length = std::sqrt(at.x * at.x + at.z * at.z);
            W3dNode* node = hero ? hero->GetNode() : nullptr;
            if (length > 0.0f && node && node->GetEngineFrame())
            {
                at = {at.x / length, 0.0f, at.z / length};
                FrameLookAlong(node->GetEngineFrame(), &at);
            }
        }
        if (HeroAimLockState() == 1)
            HeroGetLookAt()->Update();
        return HeroStateCommonUpdate(hero);
    }
    /// The aiming turn on the spot by the camera's turn.
    void TurnSteps(int32_t left, int32_t right, int32_t still)
    {
        if (mTurnValue > kAimTurnOn)
            QueueMap(left);
        else if (mTurnValue < -kAimTurnOn)
            QueueMap(right);
        else if (std::fabs(mTurnValue) < kAimTurnOff)
            QueueMap(still);
    }
    /// The walking-aim step by the angle (degrees) between facing and walk: back beyond 150,
    /// ahead within 20, sideways between 30 and 140; the bands in between keep the step.
    static void WalkSteps(float a, int32_t back, int32_t ahead, int32_t left, int32_t right)
    {
        const float size = std::fabs(a);
        if (size > 150.0f)
            QueueMap(back);
        else if (size < 20.0f)
            QueueMap(ahead);
        else if (size > 30.0f && size < 140.0f)
            QueueMap(a > 0.0f ? left : right);
    }
};

class HeroState_AimWait : public HeroAimingState
{
public:
    explicit HeroState_AimWait(int32_t code) : HeroAimingState(code) {}

    void Enter(TsActor* hero) override
    {
        mAimHeight = kStandingHeight;
        HeroAimState::Enter(hero);
        QueueMap(7);
        TsActor* held = InHand(hero);
        if (HbCastTo<TsWeaponShoot>(held))
        {
            ForceSap(HeroIsWeaponBlocked(hero) ? 28 : 31);
            HeroSetCameraPreset(ScopeWeapon(hero) ? 7 : 2);
        }
        else if (held)
            HeroSetCameraPreset(2);
        HeroSetPosture(hero, 0);
    }
    int32_t Update(TsActor* hero) override
    {
        if (mAimStarted)
            HeroAimLockBegin(hero, 49);
        TurnSteps(51, 52, 7);
        QueueSap(PlayerState(hero, kHeroMovePlayer) == 7 ? 31 : 30);
        UpdateUpperBody(hero, 10, 20, 0);
        return Tail(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        // A scope weapon is aimed standing only: CROUCH is not even asked.
        if (!ScopeWeapon(hero) && CrouchEnter(hero))
            return kHeroSilentAimWait;
        if (Roll(hero))
            return kHeroRoll;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Moving() && Hold(hero) != 2)
        {
            QueueSap(30);
            return kHeroAimMove;
        }
        if (LockReleased(hero) && Moving() && Hold(hero) == 0)
            return kHeroNormalMove;
        if (LockReleased(hero) && Hold(hero) == 0)
            return kHeroNormalWait;
        return GetCode();
    }
};

class HeroState_AimMove : public HeroAimingState
{
public:
    explicit HeroState_AimMove(int32_t code) : HeroAimingState(code) {}

    void Enter(TsActor* hero) override
    {
        mAimHeight = kStandingHeight;
        HeroAimState::Enter(hero);
        ForceSap(30);
        HeroSetPosture(hero, 1);
        HeroSetCameraPreset(2);
    }
    int32_t Update(TsActor* hero) override
    {
        if (mAimStarted)
            HeroAimLockBegin(hero, 49);
        TsHeroActor* h = AsHero(hero);
        const Vector d = Local(hero, h ? h->mMoveDirection : Vector{0.0f, 0.0f, 1.0f});
        if (AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr)
            controller->SetDirection(&d);
        const float a = AngleToForward(hero, d);
        QueueSap(30);
        WalkSteps(a, 25, 22, 23, 24);
        UpdateUpperBody(hero, 10, 18, 0);
        return Tail(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (Hold(hero) == 2)
            return kHeroAimWait;
        if (CrouchEnter(hero))
            return kHeroSilentAimMove;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Roll(hero))
            return kHeroRoll;
        if (LockReleased(hero) && Moving() && Hold(hero) == 0)
            return kHeroNormalMove;
        if (LockReleased(hero) && Hold(hero) == 0)
            return kHeroNormalWait;
        if (Stopped())
            return kHeroAimWait;
        return GetCode();
    }
    void Exit(TsActor* hero) override
    {
        HeroAimState::Exit(hero);
        Helper().SetCheckDelayA(1.0f);
    }
};

class HeroState_SilentAimWait : public HeroAimingState
{
public:
    explicit HeroState_SilentAimWait(int32_t code) : HeroAimingState(code) {}

    void Enter(TsActor* hero) override
    {
        mAimHeight = kCrouchedHeight;
        HeroAimState::Enter(hero);
        HeroSetCameraPreset(3);
        QueueMap(35);
        QueueSap(32);
        HeroSetCrouched(1);
        HeroSetPosture(hero, 3);
    }
    int32_t Update(TsActor* hero) override
    {
        if (mAimStarted)
            HeroAimLockBegin(hero, 16);
        TurnSteps(53, 54, 35);
        QueueSap(PlayerState(hero, kHeroMovePlayer) == 35 ? 32 : 29);
        UpdateUpperBody(hero, 9, 21, 0);
        return Tail(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (ScopeWeapon(hero) || CrouchLeave(hero))
            return kHeroAimWait;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Roll(hero) && Hold(hero) == 0)
            return kHeroRoll;
        if (Moving() && Hold(hero) != 2)
            return kHeroSilentAimMove;
        if (LockReleased(hero) && Hold(hero) == 0)
            return kHeroSilentWait;
        return GetCode();
    }
};

class HeroState_SilentAimMove : public HeroAimingState
{
public:
    explicit HeroState_SilentAimMove(int32_t code) : HeroAimingState(code) {}

    void Enter(TsActor* hero) override
    {
        mAimHeight = kCrouchedHeight;
        HeroAimState::Enter(hero);
        HeroSetCameraPreset(3);
        HeroSetPosture(hero, 4);
        HeroSetFootstepCallback(hero, HeroFootstepCrouched);
    }
    int32_t Update(TsActor* hero) override
    {
        TsHeroActor* h = AsHero(hero);
        const Vector d = Local(hero, h ? h->mSmoothedDirection : Vector{0.0f, 0.0f, 1.0f});
        if (AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr)
            controller->SetDirection(&d);
        const float a = AngleToForward(hero, d);
        if (mAimStarted)
            HeroAimLockBegin(hero, 16);
        QueueSap(29);
        WalkSteps(a, 39, 36, 37, 38);
        UpdateUpperBody(hero, 9, 19, 0);
        return Tail(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (Hold(hero) == 2)
            return kHeroSilentAimWait;
        if (CrouchLeave(hero))
            return kHeroAimMove;
        if (ContactStrike(hero))
            return kHeroNeutralize;
        if (Roll(hero) && Hold(hero) == 0)
            return kHeroRoll;
        if (LockReleased(hero) && Moving() && Hold(hero) == 0)
            return kHeroSilentMove;
        if (Stopped())
            return kHeroSilentAimWait;
        return GetCode();
    }
    void Exit(TsActor* hero) override
    {
        HeroAimState::Exit(hero);
        Helper().SetCheckDelayA(1.0f);
    }
};

// ---- Roll, stop, quick turn ----------------------------------------------------------------------------------

class HeroState_Roll : public HeroGameState
{
public:
    explicit HeroState_Roll(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        HeroSetCameraPreset(4);
        ForceMap(10);
        ForceSap(1);
        EndLockAndHideSight(hero);
        Helper().SetCheckDelayA(1.0f);
        HeroSetPosture(hero, 1);
    }
    int32_t Decide(TsActor* hero) override
    {
        HeroFaceMoveDirection(hero);
        // What the roll runs into when it ends: up when CROUCH was pressed while crouched,
        // crouched when crouched or CROUCH was pressed standing.
        auto* animated = HbCastTo<TsAnimActor>(hero);
        const bool moving = Moving();
        if (CrouchLeave(hero))
        {
            const bool lock = HeroInLock(hero) != 0;
            TsAnimActorSetMoveNextState(animated, moving ? (lock ? 22 : 11) : (lock ? 7 : 3));
        }
        else if (HeroIsCrouched() || CrouchEnter(hero))
        {
            const bool lock = HeroInLock(hero) != 0;
            TsAnimActorSetMoveNextState(animated, moving ? (lock ? 36 : 31) : (lock ? 35 : 28));
        }
        return GetCode();
    }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, HeroStateRestCode(hero)); }
};

class HeroState_Stop : public HeroGameState
{
public:
    explicit HeroState_Stop(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(2);
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetPosture(hero, 0);
        Helper().ResetTuning();
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (Roll(hero))
            return kHeroRoll;
        if (CrouchEnter(hero))
            return kHeroSilentWait;
        return GetCode();
    }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, kHeroNormalWait); }
};

class HeroState_QuickTurn : public HeroGameState
{
public:
    explicit HeroState_QuickTurn(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(57);
        EndLockAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetPosture(hero, 1);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Roll(hero))
            return kHeroRoll;
        if (Dead(hero))
            return kHeroDie;
        return GetCode();
    }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, kHeroNormalMove); }
};

} // namespace

// ---- Shared tests ---------------------------------------------------------------------------------------------

float HeroFaceMoveDirection(TsActor* hero)
{
    TsHeroActor* h = AsHero(hero);
    if (!h)
        return 0.0f;
    const float angle = AngleToForward(hero, Local(hero, h->mSmoothedDirection));
    if (AnimMoveCtrl* controller = hero->GetMoveController())
        controller->SetSpeed(angle);
    return angle;
}

int32_t HeroLadderAvailable(TsActor* hero, uint8_t kind)
{
    const int32_t sap = PlayerState(hero, kHeroStaticPlayer);
    if (sap >= 16 && sap <= 19)
        return 0;
    const HeroLadderContact wall = HeroGetLadderContact(hero);
    if (!wall.set || wall.kind != kind)
        return 0;
    const Vector forward = ForwardOf(hero);
    const float dot = forward.x * wall.normal.x + forward.y * wall.normal.y + forward.z * wall.normal.z;
    return dot < 0.0f ? 1 : 0;
}

#define HERO_MOVE_ENTRIES                                                                                              \
    HeroStateEntry<HeroState_NormalWait, kHeroNormalWait>, HeroStateEntry<HeroState_NormalMove, kHeroNormalMove>,      \
        HeroStateEntry<HeroState_SilentWait, kHeroSilentWait>, HeroStateEntry<HeroState_SilentMove, kHeroSilentMove>,  \
        HeroStateEntry<HeroState_NormalWaitRotate, kHeroNormalWaitRotate>,                                             \
        HeroStateEntry<HeroState_SilentWaitRotate, kHeroSilentWaitRotate>,                                             \
        HeroStateEntry<HeroState_AimWait, kHeroAimWait>, HeroStateEntry<HeroState_AimMove, kHeroAimMove>,              \
        HeroStateEntry<HeroState_SilentAimWait, kHeroSilentAimWait>,                                                   \
        HeroStateEntry<HeroState_SilentAimMove, kHeroSilentAimMove>, HeroStateEntry<HeroState_Roll, kHeroRoll>,        \
        HeroStateEntry<HeroState_Stop, kHeroStop>, HeroStateEntry<HeroState_QuickTurn, kHeroQuickTurn>

HeroState* HeroMoveStatesCreate(int32_t code)
{
    return HeroStateCreateFrom<HERO_MOVE_ENTRIES>(code);
}

int32_t HeroMoveStatesInUse(int32_t code)
{
    return HeroStateInUseFrom<HERO_MOVE_ENTRIES>(code);
}
