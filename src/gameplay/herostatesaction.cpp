// The hero's action, ladder and special states: the script's control, the take-down, death,
// the four strikes, the reload with hold mode 1, the flinch after a heavy hit, the weapon wheel
// and the weapon change, and the climb up and down a ladder; with the ladder's helpers, the
// damage events and the stage's inventory lock and wheel.
#include "animmovectrl.h"
#include "eboxcontract.h"
#include "frame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbcontroller.h"
#include "hbinputmanager.h"
#include "hbrandom.h"
#include "hero.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "heromove.h"
#include "heromovehelper.h"
#include "herostates_local.h"
#include "rdanimmotor.h"
#include "scriptworldmanager.h"
#include "tsanimactorctrl.h"
#include "tsweaponshoot.h"
#include "w3dcollision.h"
#include "w3dnode.h"
#include "weaponshoot.h"

#include <cmath>
#include <string>

using namespace herostates;

namespace
{
constexpr float kStandingHeight = 180.0f;
constexpr float kCrouchedHeight = 110.0f;
constexpr float kLadderDistance = 38.3f;
constexpr int32_t kDamageEvents[] = {Hero::kEventHit, Hero::kEventStrike, Hero::kEventExplosion,
                                     Hero::kEventVibrations};

HeroStageHooks gStageHooks;
int32_t gInventoryLock = 0;
int32_t gCloseRequests = 0;
HeroLadderContactReader gLadderReader = nullptr;

HeroMoveHelper& Helper()
{
    return HeroMoveHelper::Instance();
}

TsActor* InHand(TsActor* hero)
{
    return hero ? HeroGetInputHost()->GetObjectInHand(hero) : nullptr;
}

GameProfile* CurrentProfile()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    return profile ? profile : (manager ? manager->GetProfile() : nullptr);
}

bool Dead(TsActor* hero)
{
    return HeroIsDead(hero) != 0;
}
bool Moving()
{
    return Helper().IsActive() != 0;
}
bool LockHeld(TsActor* hero)
{
    return HeroInLock(hero) != 0;
}
float Height()
{
    return HeroIsCrouched() ? kCrouchedHeight : kStandingHeight;
}

Vector PositionOf(TsActor* hero)
{
    W3dNode* node = hero ? hero->GetNode() : nullptr;
    const Vector* at = node ? node->GetWorldPosition() : nullptr;
    return at ? *at : Vector{0.0f, 0.0f, 0.0f};
}

Vector ForwardOf(TsActor* hero)
{
    W3dNode* node = hero ? hero->GetNode() : nullptr;
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    return frame ? Frame::GetWorldMatrix(frame)->at : Vector{0.0f, 0.0f, 1.0f};
}

/// The hero's node looks along the horizontal part of the direction (nothing when it has none).
void LookAlongFlat(TsActor* hero, Vector direction)
{
    direction.y = 0.0f;
    const float length = std::sqrt(direction.x * direction.x + direction.z * direction.z);
    W3dNode* node = hero ? hero->GetNode() : nullptr;
    if (!node || !(length > 0.0f))
        return;
    direction = {direction.x / length, 0.0f, direction.z / length};
    node->LookAlong(&direction);
}

/// The next state of the strikes' move animation: aiming or not, walking or standing.
void StrikeNextState(TsActor* hero, int32_t aimWalk, int32_t aimStand, int32_t walk, int32_t stand)
{
    if (!HbCastTo<WeaponShoot>(InHand(hero)))
        HeroFaceMoveDirection(hero);
    const bool lock = LockHeld(hero);
    const bool moving = Moving();
    TsAnimActorSetMoveNextState(HbCastTo<TsAnimActor>(hero),
                                lock ? (moving ? aimWalk : aimStand) : (moving ? walk : stand));
}

// ---- Under a script's control ----------------------------------------------------------------------

class HeroState_DoNothing : public HeroGameState
{
public:
    explicit HeroState_DoNothing(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        // The hero's own actions give way to the script's context; what each controller had
        // before comes back when the state ends, even when no context was pushed before.
        if (HbInputManager* input = HbInputManager::Instance())
        {
            for (int32_t slot = 0; slot < HbInputManager::kSlotCount; ++slot)
            {
                HbController* controller = input->GetSlotController(slot);
                mContexts[slot] = controller ? controller->GetContext() : -1;
            }
            mPushed = input->PushCommandContext(kHeroMotorControlContext);
        }
        HeroAimLockEndAndHideSight(hero);
        HeroSetCrouched(0);
        HeroDisableDamageEvents(hero);
        HeroRequestStacksClear();
        ForceMap(3);
        ForceSap(1);
        HeroSetCameraPreset(1);
    }
    int32_t Decide(TsActor*) override { return GetCode(); }
    void Exit(TsActor* hero) override
    {
        HeroEnableDamageEvents(hero);
        HbInputManager* input = HbInputManager::Instance();
        if (!input || !mPushed)
            return;
        mPushed = 0;
        if (!input->PopCommandContext(kHeroMotorControlContext))
            return;
        for (int32_t slot = 0; slot < HbInputManager::kSlotCount; ++slot)
        {
            HbController* controller = input->GetSlotController(slot);
            if (controller && controller->GetContext() != mContexts[slot])
                controller->SetContext(mContexts[slot]);
        }
    }

private:
    int32_t mContexts[HbInputManager::kSlotCount] = {-1, -1, -1, -1};
    int32_t mPushed = 0;
};

// ---- Take-down, death, flinch ----------------------------------------------------------------------------

class HeroState_Neutralize : public HeroGameState
{
public:
    explicit HeroState_Neutralize(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(49);
        ForceSap(1);
        HeroAimLockEndAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetInventoryLock(1);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (HeroGetHoldMode(hero) != 0)
            return kHeroAimWait;
        return GetCode();
    }
    void OnMAPStateOver(TsActor* hero) override
    {
        HeroSetInventoryLock(0);
        SetState(hero, HeroIsCrouched() ? kHeroSilentWait : kHeroNormalWait);
    }
};

class HeroState_Die : public HeroGameState
{
public:
    explicit HeroState_Die(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        HeroSetCameraPreset(5);
        ForceSap(1);
        FallBoneTargetSet(hero);
        // All four: a dead hero takes no more explosions or vibrations either.
        HeroDisableDamageEvents(hero);
        HeroSetInventoryLock(1);
        HeroAimLockEndAndHideSight(hero);

        int32_t death = 42;
        auto* animated = HbCastTo<TsAnimActor>(hero);
        Hero* full = HbCastTo<Hero>(hero);
        TsActor* killer = full ? full->GetKiller() : nullptr;
        if (animated && animated->mLastHitEvent == Hero::kEventExplosion && killer)
        {
            const Vector from = PositionOf(hero);
            const Vector to = PositionOf(killer);
            LookAlongFlat(hero, {to.x - from.x, 0.0f, to.z - from.z});
        }
        else
        {
            HbRandom* random = HbRandom::Instance();
            const float r = random ? HbRandom::QuickUniform(random->GameState()) : 0.0f;
            death = r > 0.5f ? 41 : 42;
        }
        ForceMap(death);

        ScriptWorldManager* world = ScriptWorldManager::Instance();
        auto* boxes = world ? HbCastTo<YoEBox>(world->GetEventBoxes()) : nullptr;
        if (DelayedActionQueue* delayed = boxes ? boxes->GetDelayedActions() : nullptr)
            delayed->Clear();
    }
    int32_t Decide(TsActor*) override { return GetCode(); }
    void OnMAPStateOver(TsActor* hero) override
    {
        if (RdAnimMotor* motor = hero ? hero->GetAnimMotor() : nullptr)
            motor->RemoveAllChannels();
        HeroAimLockEndAndHideSight(hero);
        HeroSetCrouched(0);
        if (GameProfile* profile = CurrentProfile())
            profile->gameOverRequest = 1;
    }
};

class HeroState_Hit : public HeroGameState
{
public:
    explicit HeroState_Hit(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(77);
        ForceSap(1);
    }
    int32_t Decide(TsActor* hero) override { return Dead(hero) ? kHeroDie : GetCode(); }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, HeroStateRestCode(hero)); }
};

// ---- Strikes -------------------------------------------------------------------------------------------

class HeroState_StrikeStand : public HeroGameState
{
public:
    explicit HeroState_StrikeStand(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(55);
        ForceSap(1);
        Helper().SetCheckDelayA(1.5f);
        HeroAimLockEndAndHideSight(hero);
        HeroSetCameraPreset(1);
        HeroSetCameraPreset(6);
        HeroSetPosture(hero, 1);
    }
    int32_t Update(TsActor* hero) override
    {
        StrikeNextState(hero, 22, 7, 11, 3);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (HeroGetHoldMode(hero) != 0)
            return kHeroAimWait;
        if (HeroInCrouchEnter(hero))
            return kHeroSilentWait;
        if (HeroInContactStrike(hero))
            return kHeroNeutralize;
        if (HeroInRoll(hero))
            return kHeroRoll;
        return GetCode();
    }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, HeroStateRestCode(hero)); }
};

class HeroState_StrikeCrouch : public HeroGameState
{
public:
    explicit HeroState_StrikeCrouch(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(56);
        ForceSap(1);
        HeroSetCameraPreset(4);
        Helper().SetCheckDelayA(1.5f);
        HeroAimLockEndAndHideSight(hero);
        HeroSetPosture(hero, 4);
        HeroSetCameraPreset(6);
        Helper().SyncFrame();
    }
    int32_t Update(TsActor* hero) override
    {
        StrikeNextState(hero, 36, 35, 31, 28);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        if (Dead(hero))
            return kHeroDie;
        if (HeroInCrouchLeave(hero))
            return kHeroNormalWait;
        if (HeroInContactStrike(hero))
            return kHeroNeutralize;
        if (HeroInLockTest(hero) && !Moving())
            return kHeroSilentAimWait;
        if (HeroInRoll(hero))
            return kHeroRoll;
        if (HeroGetHoldMode(hero) == 0)
            return GetCode();
        return kHeroSilentAimWait;
    }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, HeroStateRestCode(hero)); }
};

/// A strike from an aiming state, back to that aiming state when it ends.
class HeroAimStrike : public HeroGameState
{
public:
    HeroAimStrike(int32_t code, int32_t map, int32_t posture, int32_t back, bool crouched)
        : HeroGameState(code), mMap(map), mPosture(posture), mBack(back), mCrouched(crouched)
    {
    }
    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(mMap);
        ForceSap(1);
        Helper().SetCheckDelayA(1.5f);
        HeroSetPosture(hero, mPosture);
        HeroSetCameraPreset(6);
        if (mCrouched)
            Helper().SyncFrame();
    }
    int32_t Update(TsActor* hero) override
    {
        ForceSap(1);
        return HeroStateCommonUpdate(hero);
    }
    int32_t Decide(TsActor* hero) override { return Dead(hero) ? kHeroDie : GetCode(); }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, mBack); }
    void OnSAPStateOver(TsActor* hero) override
    {
        // The crouched strike ends with whichever player finishes first.
        if (mCrouched)
            SetState(hero, mBack);
    }

private:
    int32_t mMap;
    int32_t mPosture;
    int32_t mBack;
    bool mCrouched;
};

class HeroState_StrikeAim : public HeroAimStrike
{
public:
    explicit HeroState_StrikeAim(int32_t code) : HeroAimStrike(code, 55, 1, kHeroAimWait, false) {}
};

class HeroState_StrikeAimCrouch : public HeroAimStrike
{
public:
    explicit HeroState_StrikeAimCrouch(int32_t code) : HeroAimStrike(code, 56, 4, kHeroSilentAimWait, true) {}
};

class HeroState_Reload : public HeroGameState
{
public:
    explicit HeroState_Reload(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        QueueMap(76);
        ForceSap(17);
        HeroSetCameraPreset(4);
        HeroSetCrouched(1);
        HeroAimLockEndAndHideSight(hero);
        HeroSetPosture(hero, 0);
    }
    int32_t Decide(TsActor* hero) override { return Dead(hero) ? kHeroDie : GetCode(); }
    void OnSAPStateOver(TsActor* hero) override
    {
        QueueSap(35);
        SetState(hero, kHeroSilentAimWait);
    }
};

// ---- The weapon wheel and the weapon change --------------------------------------------------------------

class HeroState_InventoryEnter : public HeroGameState
{
public:
    explicit HeroState_InventoryEnter(int32_t code) : HeroGameState(code) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        const bool crouched = HeroIsCrouched() != 0;
        if (LockHeld(hero) || HeroGetHoldMode(hero) != 0)
            QueueMap(crouched ? 35 : 7);
        else
        {
            HeroAimLockEndAndHideSight(hero);
            QueueMap(crouched ? 28 : 3);
        }
        AimBoneTargetSet(hero, Height());
    }
    int32_t Decide(TsActor* hero) override
    {
        // A death while the wheel is open: the wheel closes and the resting states lead on.
        if (hero && hero->mHitPoints <= 0)
        {
            HeroRequestInventoryClose();
            HeroSetInventoryLock(1);
        }
        AimBoneTargetUpdate();
        if (HeroIsWeaponBlocked(hero))
            QueueSap(28);
        return GetCode();
    }
};

/// The game-clock tick of the weapon change's last entry.
int64_t gInventoryQuitEntry = 0;

class HeroState_InventoryQuit : public HeroGameState
{
public:
    explicit HeroState_InventoryQuit(int32_t code)
        : HeroGameState(code), mMinimum(int64_t(0.5 * double(HbPerformanceFrequency())))
    {
    }

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        if (!LockHeld(hero) && HeroGetHoldMode(hero) == 0)
            HeroAimLockEndAndHideSight(hero);
        if (!HeroGetPendingWeapon().empty())
            ForceSap(22);
        gInventoryQuitEntry = Now();
        AimBoneTargetSet(hero, Height());
        if (!HbCastTo<TsWeaponShoot>(InHand(hero)))
            HeroAimLockEnd(hero);
    }
    int32_t Decide(TsActor* hero) override
    {
        AimBoneTargetUpdate();
        if (HeroIsWeaponBlocked(hero))
            QueueSap(28);
        if (Now() - gInventoryQuitEntry <= mMinimum)
            return GetCode();
        const bool aim = LockHeld(hero) || HeroGetHoldMode(hero) != 0;
        if (HeroIsCrouched())
            return aim ? kHeroSilentAimWait : kHeroSilentWait;
        return aim ? kHeroAimWait : kHeroNormalWait;
    }
    void Exit(TsActor* hero) override
    {
        AimBoneTargetClear(hero);
        if (LockHeld(hero))
            HeroAimLockBegin(hero, HeroIsCrouched() ? 16 : 49);
    }

private:
    /// Half a second in clock ticks.
    int64_t mMinimum;
};

// ---- Ladders ----------------------------------------------------------------------------------------------

/// The climbing states: the ladder's footsteps, and where each goes when its animation ends.
class HeroLadderState : public HeroGameState
{
public:
    HeroLadderState(int32_t code, int32_t map, int32_t over) : HeroGameState(code), mMap(map), mOver(over) {}

    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(mMap);
        HeroSetFootstepCallback(hero, HeroFootstepLadder);
    }
    int32_t Decide(TsActor*) override { return GetCode(); }
    void OnMAPStateOver(TsActor* hero) override { SetState(hero, mOver); }

protected:
    int32_t mMap;
    int32_t mOver;
};

class HeroState_LadderUpStart : public HeroLadderState
{
public:
    explicit HeroState_LadderUpStart(int32_t code) : HeroLadderState(code, 80, kHeroLadderStand) {}
    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(mMap);
        HeroLadderSnap(hero, nullptr);
        HeroLadderBegin(hero);
        HeroSetFootstepCallback(hero, HeroFootstepLadder);
    }
    int32_t Decide(TsActor*) override
    {
        ForceSap(1);
        return GetCode();
    }
};

class HeroState_LadderDownStart : public HeroLadderState
{
public:
    explicit HeroState_LadderDownStart(int32_t code) : HeroLadderState(code, 78, kHeroLadderStand) {}
    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        ForceMap(mMap);
        Vector normal = {0.0f, 0.0f, 0.0f};
        HeroLadderSnap(hero, &normal);
        HeroSetCameraAction(4, &normal);
        HeroLadderBegin(hero);
        HeroSetFootstepCallback(hero, HeroFootstepLadder);
    }
    int32_t Decide(TsActor*) override
    {
        ForceSap(1);
        return GetCode();
    }
    void OnMAPStateOver(TsActor* hero) override
    {
        HeroSetCameraAction(0, nullptr);
        SetState(hero, mOver);
    }
};

class HeroState_LadderStand : public HeroGameState
{
public:
    explicit HeroState_LadderStand(int32_t code) : HeroGameState(code) {}
    void Enter(TsActor* hero) override
    {
        HeroStateCommonEnter(hero, this);
        TsHeroActor* h = HbCastTo<TsHeroActor>(hero);
        ForceMap(h && h->mMoveDirection.z > 0.0f ? 84 : 85);
        HeroSetCameraPreset(1);
    }
    int32_t Decide(TsActor* hero) override
    {
        TsHeroActor* h = HbCastTo<TsHeroActor>(hero);
        if (!h || h->mInputStrength <= 0.1f)
            return GetCode();
        if (h->mMoveDirection.z > 0.0f)
            return kHeroLadderMoveUp;
        if (h->mMoveDirection.z < 0.0f)
            return kHeroLadderMoveDown;
        return GetCode();
    }
};

class HeroState_LadderMoveUp : public HeroLadderState
{
public:
    explicit HeroState_LadderMoveUp(int32_t code) : HeroLadderState(code, 82, kHeroLadderStand) {}
    int32_t Decide(TsActor* hero) override { return HeroLadderTopReached(hero) ? kHeroLadderUpEnd : GetCode(); }
};

class HeroState_LadderMoveDown : public HeroLadderState
{
public:
    explicit HeroState_LadderMoveDown(int32_t code) : HeroLadderState(code, 83, kHeroLadderStand) {}
    int32_t Decide(TsActor* hero) override { return HeroLadderBottomReached(hero) ? kHeroLadderDownEnd : GetCode(); }
};

/// Off the ladder at its top or its foot: standing, then the climb's end.
class HeroLadderLeave : public HeroLadderState
{
public:
    HeroLadderLeave(int32_t code, int32_t map) : HeroLadderState(code, map, kHeroNormalWait) {}
    void OnMAPStateOver(TsActor* hero) override
    {
        SetState(hero, kHeroNormalWait);
        HeroLadderEnd(hero);
    }
};

class HeroState_LadderUpEnd : public HeroLadderLeave
{
public:
    explicit HeroState_LadderUpEnd(int32_t code) : HeroLadderLeave(code, 81) {}
};

class HeroState_LadderDownEnd : public HeroLadderLeave
{
public:
    explicit HeroState_LadderDownEnd(int32_t code) : HeroLadderLeave(code, 79) {}
};

bool SegmentHits(TsActor* hero, const Vector& point, float halfHeight)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world)
        return false;
    W3dCollisionResult result;
    return world->TestSegment(&result, &point, hero ? hero->GetNode() : nullptr, halfHeight) != 0;
}
} // namespace

// ---- Life and damage --------------------------------------------------------------------------------------------

int32_t HeroIsDead(TsActor* hero)
{
    return hero && hero->mHitPoints <= 0 && !HeroIsGodMode() ? 1 : 0;
}

void HeroDisableDamageEvents(TsActor* hero)
{
    if (!hero)
        return;
    for (int32_t id : kDamageEvents)
        while (hero->DeactivateEvent(id))
        {
        }
}

void HeroEnableDamageEvents(TsActor* hero)
{
    if (Hero* full = HbCastTo<Hero>(hero))
        full->EnableDamageEvents();
}

// ---- The stage ---------------------------------------------------------------------------------------------------

void HeroSetStageHooks(const HeroStageHooks* hooks)
{
    gStageHooks = hooks ? *hooks : HeroStageHooks{};
}

void HeroSetInventoryLock(int32_t locked)
{
    gInventoryLock = locked;
    if (gStageHooks.setInventoryLock)
        gStageHooks.setInventoryLock(locked);
}

int32_t HeroGetInventoryLock()
{
    return gInventoryLock;
}

void HeroRequestInventoryClose()
{
    ++gCloseRequests;
    if (gStageHooks.requestInventoryClose)
        gStageHooks.requestInventoryClose();
}

int32_t HeroTakeInventoryCloseRequests()
{
    const int32_t requests = gCloseRequests;
    gCloseRequests = 0;
    return requests;
}

// ---- Ladders -----------------------------------------------------------------------------------------------------

void HeroSetLadderContactReader(HeroLadderContactReader reader)
{
    gLadderReader = reader;
}

HeroLadderContact HeroGetLadderContact(TsActor* hero)
{
    if (gLadderReader)
        return gLadderReader(hero);
    HeroLadderContact contact;
    AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr;
    if (!controller)
        return contact;
    const AnimMoveCtrl::WallRecord& wall = controller->GetWallRecord();
    contact.set = wall.set;
    contact.normal = wall.normal;
    for (int32_t i = 0; i < 3; ++i)
        contact.points[i] = wall.points[i];
    contact.kind = wall.colour[2];
    return contact;
}

void HeroLadderBegin(TsActor* hero)
{
    HeroSetInventoryLock(1);
    auto* animated = HbCastTo<TsAnimActor>(hero);
    if (TsActor* weapon = animated ? animated->GetWeapon() : nullptr)
    {
        weapon->mActive = 0;
        if (W3dNode* node = weapon->GetNode())
            node->SetFlags(node->GetFlags() & ~W3dNode::kVisible);
    }
    HeroDisableDamageEvents(hero);
}

void HeroLadderEnd(TsActor* hero)
{
    HeroSetInventoryLock(0);
    auto* animated = HbCastTo<TsAnimActor>(hero);
    if (TsActor* weapon = animated ? animated->GetWeapon() : nullptr)
    {
        weapon->mActive = 1;
        if (W3dNode* node = weapon->GetNode())
            node->SetFlags(node->GetFlags() | W3dNode::kVisible);
    }
    HeroEnableDamageEvents(hero);
}

int32_t HeroLadderSnap(TsActor* hero, Vector* normal)
{
    W3dNode* node = hero ? hero->GetNode() : nullptr;
    const HeroLadderContact wall = HeroGetLadderContact(hero);
    if (!node || !wall.set || (wall.kind != 0x80 && wall.kind != 0x10))
        return 0;
    const Vector at = PositionOf(hero);
    const Vector centre = {(wall.points[0].x + wall.points[1].x + wall.points[2].x) / 3.0f, at.y,
                           (wall.points[0].z + wall.points[1].z + wall.points[2].z) / 3.0f};
    Vector n = wall.normal;
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (length > 0.0f)
        n = {n.x / length, n.y / length, n.z / length};
    const Vector place = {centre.x + kLadderDistance * n.x, centre.y + kLadderDistance * n.y,
                          centre.z + kLadderDistance * n.z};
    hero->SetPosition(&place);
    if (std::fabs(wall.normal.x) > 0.001f || std::fabs(wall.normal.z) > 0.001f)
        LookAlongFlat(hero, {-wall.normal.x, 0.0f, -wall.normal.z});
    if (normal)
        *normal = wall.normal;
    return 1;
}

int32_t HeroLadderBottomReached(TsActor* hero)
{
    return SegmentHits(hero, PositionOf(hero), 35.0f) ? 1 : 0;
}

int32_t HeroLadderTopReached(TsActor* hero)
{
    const Vector at = PositionOf(hero);
    const Vector forward = ForwardOf(hero);
    const Vector point = {at.x + 100.0f * forward.x, at.y + 100.0f * forward.y + 160.0f, at.z + 100.0f * forward.z};
    return SegmentHits(hero, point, 10.0f) ? 1 : 0;
}

#define HERO_ACTION_ENTRIES                                                                                            \
    HeroStateEntry<HeroState_DoNothing, kHeroDoNothing>, HeroStateEntry<HeroState_Neutralize, kHeroNeutralize>,        \
        HeroStateEntry<HeroState_Die, kHeroDie>, HeroStateEntry<HeroState_StrikeStand, kHeroStrikeStand>,              \
        HeroStateEntry<HeroState_StrikeCrouch, kHeroStrikeCrouch>,                                                     \
        HeroStateEntry<HeroState_InventoryEnter, kHeroInventoryEnter>,                                                 \
        HeroStateEntry<HeroState_InventoryQuit, kHeroInventoryQuit>, HeroStateEntry<HeroState_Reload, kHeroReload>,    \
        HeroStateEntry<HeroState_LadderMoveUp, kHeroLadderMoveUp>,                                                     \
        HeroStateEntry<HeroState_LadderMoveDown, kHeroLadderMoveDown>,                                                 \
        HeroStateEntry<HeroState_LadderUpStart, kHeroLadderUpStart>,                                                   \
        HeroStateEntry<HeroState_LadderUpEnd, kHeroLadderUpEnd>,                                                       \
        HeroStateEntry<HeroState_LadderDownStart, kHeroLadderDownStart>,                                               \
        HeroStateEntry<HeroState_LadderDownEnd, kHeroLadderDownEnd>,                                                   \
        HeroStateEntry<HeroState_LadderStand, kHeroLadderStand>, HeroStateEntry<HeroState_StrikeAim, kHeroStrikeAim>,  \
        HeroStateEntry<HeroState_StrikeAimCrouch, kHeroStrikeAimCrouch>, HeroStateEntry<HeroState_Hit, kHeroHit>

HeroState* HeroActionStatesCreate(int32_t code)
{
    return HeroStateCreateFrom<HERO_ACTION_ENTRIES>(code);
}

int32_t HeroActionStatesInUse(int32_t code)
{
    return HeroStateInUseFrom<HERO_ACTION_ENTRIES>(code);
}
