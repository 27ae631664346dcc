// The hero's 31 states: the code table (in the order of the script constants), their
// one-object pools, the creation of all states for a hero, and the rules every state shares:
// the resting state, the walking and aiming upper-body choices, the aim lock and the
// footstep choice.
#pragma once

#include "herostatemachine.h"
#include "ingamecameraplacement.h"
#include "vector.h"

#include <cstddef>
#include <cstdint>

enum HeroStateCode : int32_t
{
    kHeroDoNothing = 0,
    kHeroNormalWait = 1,
    kHeroNormalMove = 2,
    kHeroSilentWait = 3,
    kHeroSilentMove = 4,
    kHeroNormalWaitRotate = 5,
    kHeroSilentWaitRotate = 7,
    kHeroAimWait = 9,
    kHeroAimMove = 10,
    kHeroSilentAimWait = 11,
    kHeroSilentAimMove = 12,
    kHeroRoll = 13,
    kHeroNeutralize = 14,
    kHeroDie = 15,
    kHeroStrikeStand = 48,
    kHeroStrikeCrouch = 64,
    kHeroStop = 80,
    kHeroQuickTurn = 96,
    kHeroInventoryEnter = 112,
    kHeroInventoryQuit = 128,
    kHeroReload = 144,
    kHeroLadderMoveUp = 160,
    kHeroLadderMoveDown = 176,
    kHeroLadderUpStart = 192,
    kHeroLadderUpEnd = 208,
    kHeroLadderDownStart = 224,
    kHeroLadderDownEnd = 240,
    kHeroLadderStand = 256,
    kHeroStrikeAim = 512,
    kHeroStrikeAimCrouch = 768,
    kHeroHit = 1024,
};

struct HeroStateName
{
    const char* name;
    int32_t code;
};

constexpr int32_t kHeroStateCount = 31;
/// The 31 codes under their script names, in the order of the constants.
extern const HeroStateName kHeroStateNames[kHeroStateCount];
/// The order in which a hero creates and adds its states.
extern const int32_t kHeroStateCreationOrder[kHeroStateCount];

/// Makes a state object of the code from its class's pool (the heap when the slot is taken);
/// null for an unknown code.
HeroState* HeroStateCreate(int32_t code);
/// Creates the 31 states in creation order and adds them; the number added.
int32_t HeroStatesAddAll(HeroStateMachine* machine);
/// Objects of the code's class currently held in its pool slot (0 or 1).
int32_t HeroStatePoolInUse(int32_t code);

/// A one-object pool: the slot while it is free, the heap otherwise.
class HeroStatePool
{
public:
    HeroStatePool(void* slot, size_t size) : mSlot(slot), mSize(size) {}
    void* Allocate(size_t size);
    void Free(void* pointer);
    int32_t GetInUse() const { return mInUse; }

private:
    void* mSlot;
    size_t mSize;
    int32_t mInUse = 0;
};

// ---- Shared rules ---------------------------------------------------------------------------

/// What the resting state depends on: the crouch flag, the SHOOT_CLICK test, LOCK triggered and
/// the movement helper active (mode not 0).
struct HeroRestInputs
{
    bool crouched = false;
    bool shootClick = false;
    bool lock = false;
    bool moving = false;
};
/// The state an action returns to.
int32_t HeroStateRestCodeFor(const HeroRestInputs& in);

/// What the upper-body handlers read of the hero and its weapon.
struct HeroUpperBodyInputs
{
    int32_t sapState = 0;       ///< the static player's current state
    bool weaponChange = false;  ///< the weapon-selection test reports a change
    bool contextAction = false; ///< the contextual-action test
    bool reload = false;        ///< the reload test
    bool blocked = false;       ///< HeroIsWeaponBlocked
    int32_t wallFlag = 0;       ///< the held weapon's wall flag
    int32_t holdMode = 0;       ///< the hero's weapon hold mode
    bool shooting = false;      ///< a shooting weapon is in hand
    bool shootDown = false;     ///< SHOOT_DOWN triggered
    bool rawShootClick = false; ///< the raw SHOOT_CLICK action
    bool shootClick = false;    ///< the SHOOT_CLICK test
    int32_t magazine = 0;       ///< rounds in the magazine
    int32_t spare = 0;          ///< spare magazines, -1 unlimited
    bool crouched = false;
};

enum class HeroUpperBodyAction : int32_t
{
    None,             ///< nothing done
    SetState,         ///< switch the machine to `code`
    ForceSap,         ///< force the static player's `code`
    QueueSapAndClick, ///< queue SAP `code` (reload) and play the shot sound
    Click,            ///< the shot sound only (empty list)
    ReloadNow,        ///< TsWeaponShoot::Reload at once
};

struct HeroUpperBodyChoice
{
    HeroUpperBodyAction action = HeroUpperBodyAction::None;
    int32_t code = 0;
};

/// What the upper-body handlers ask, in the order they ask it: a handler stops asking once
/// its choice is made, since some tests act when they pass (a weapon choice, a drop).
class HeroUpperBodyQuery
{
public:
    virtual ~HeroUpperBodyQuery() = default;
    virtual int32_t SapState() = 0;
    virtual bool WeaponChange() = 0;
    virtual bool ContextAction() = 0;
    virtual bool Reload() = 0;
    virtual bool Blocked() = 0;
    virtual int32_t WallFlag() = 0;
    virtual int32_t HoldMode() = 0;
    /// SHOOT_DOWN triggered with a shooting weapon in hand.
    virtual bool ShootDown() = 0;
    virtual bool RawShootClick() = 0;
    virtual bool ShootClick() = 0;
    virtual int32_t Magazine() = 0;
    virtual int32_t Spare() = 0;
    virtual bool Crouched() = 0;
};

/// The static player is not in a shooting or weapon-change state (7..10, 22..25).
bool HeroCanChangeWeaponIn(int32_t sapState);
/// The walking and rotating states' choice.
HeroUpperBodyChoice HeroWalkingUpperBody(HeroUpperBodyQuery& in, int32_t reloadAnim);
HeroUpperBodyChoice HeroWalkingUpperBody(const HeroUpperBodyInputs& in, int32_t reloadAnim);
/// The aiming states' choice.
HeroUpperBodyChoice HeroAimingUpperBody(HeroUpperBodyQuery& in, int32_t shootAnim, int32_t reloadAnim);
HeroUpperBodyChoice HeroAimingUpperBody(const HeroUpperBodyInputs& in, int32_t shootAnim, int32_t reloadAnim);

/// The aim lock: 0 none, 1 locked, 2 released (2 at program start).
int32_t HeroAimLockState();
int32_t HeroAimLockLastKind();
/// Records animKind; locks (state 1) when the state is 0 or 2 and the weapon animation gives
/// an offset. 1 when the bone was locked now.
int32_t HeroAimLockBeginWith(int32_t animKind, bool hasOffset);
/// 1 when a lock was ended (state 1 -> 2).
int32_t HeroAimLockEndState();
/// Back to released, as at the start of play.
void HeroAimLockRelease();

/// The footstep of events 1 and 2 when standing: the run step only while the helper is in
/// mode 2 past its hold time and LOCK is not triggered.
enum class HeroStep : int32_t
{
    None,
    Walk,
    Run,
    Strike,
};
HeroStep HeroStandingStepFor(int32_t event, bool mode2TimerOver, bool lock);

// ---- The hero's animation players and their request stacks ------------------------------------

class AnimPlayerRequestStack;
class AnimPlayerStateMachine;
class TsAnimActor;
class TsHeroActor;

enum HeroAnimPlayer : int32_t
{
    kHeroMovePlayer = 0,   ///< MAP, whole-body moves
    kHeroStaticPlayer = 1, ///< SAP, upper body and standing actions
};
/// Finds one of the hero's two animation players; null when the actor has none.
using HeroAnimPlayerSource = AnimPlayerStateMachine* (*)(TsActor* hero, int32_t player);
/// The owner of the players installs the source; null: the hero has no players.
void HeroSetAnimPlayerSource(HeroAnimPlayerSource source);
AnimPlayerStateMachine* HeroGetAnimPlayer(TsActor* hero, int32_t player);

/// The global request stacks of the move and the static player.
AnimPlayerRequestStack& HeroMapRequests();
AnimPlayerRequestStack& HeroSapRequests();
/// Both stacks emptied (start of play).
void HeroRequestStacksClear();

// ---- The states' shared work ---------------------------------------------------------------------

/// The common update: the movement helper's sample, the static then the move requests, the
/// hero move skill; 1.
int32_t HeroStateCommonUpdate(TsActor* hero);
/// The common enter: the movement helper bound to the hero, both players' change callbacks on
/// the state, the standing footsteps, both stacks bound to the hero's players.
void HeroStateCommonEnter(TsActor* hero, HeroState* state);

/// Takes the players' change callbacks off when they still call the state.
void HeroStateCommonRemove(TsActor* hero, HeroState* state);

/// A state of the game: the common update and enter.
class HeroGameState : public HeroState
{
public:
    explicit HeroGameState(int32_t code) : HeroState(code) {}
    int32_t Update(TsActor* hero) override { return HeroStateCommonUpdate(hero); }
    void Enter(TsActor* hero) override { HeroStateCommonEnter(hero, this); }
    void OnRemove(TsActor* hero) override { HeroStateCommonRemove(hero, this); }
};

/// The four walking states (1 to 4): the aim target at the aim height while in the state, the
/// walking upper body.
class HeroMoveState : public HeroGameState
{
public:
    explicit HeroMoveState(int32_t code) : HeroGameState(code) { mAimHeight = 180.0f; }
    void Enter(TsActor* hero) override;
    void Exit(TsActor* hero) override;
    int32_t UpdateUpperBody(TsActor* hero, int32_t shootAnim, int32_t reloadAnim, int32_t spare) override;
};

/// The two rotating states (5, 7): the walking upper body, and the turn toward the move
/// direction of their entry along the turn curve.
class HeroRotateState : public HeroGameState
{
public:
    explicit HeroRotateState(int32_t code) : HeroGameState(code) { mAimHeight = 180.0f; }
    int32_t UpdateUpperBody(TsActor* hero, int32_t shootAnim, int32_t reloadAnim, int32_t spare) override;

    /// The size of the turn at the entry, degrees.
    float mTotalAngle = 0.0f;
    /// 0 at the entry, 1 turned (or turned further away than at the entry).
    float mProgress = 0.0f;
    /// Degrees per second, from the turn curve at the progress.
    float mTurnSpeed = 300.0f;
    /// The move direction of the entry (turned into the hero's horizontal frame each frame).
    Vector mTarget = {0.0f, 0.0f, 1.0f};
};

/// The four aiming states (9 to 12).
class HeroAimState : public HeroGameState
{
public:
    explicit HeroAimState(int32_t code) : HeroGameState(code) {}
    /// The common enter; the aim direction from the camera unless aiming has started; the aim
    /// target at the aim height.
    void Enter(TsActor* hero) override;
    void Exit(TsActor* hero) override;
    int32_t UpdateUpperBody(TsActor* hero, int32_t shootAnim, int32_t reloadAnim, int32_t spare) override;

    float mTurnValue = 0.0f;
    int32_t mAimStarted = 0;
    float mAimDirection[3] = {0.0f, 0.0f, 0.0f};
};

/// The walking and the aiming upper body on the hero's live inputs, carried out: a state
/// switch, a forced or queued static-player request, the shot sound, an immediate reload.
HeroUpperBodyChoice HeroUpdateUpperBodyWalking(TsActor* hero, int32_t reloadAnim);
HeroUpperBodyChoice HeroUpdateUpperBodyAiming(TsActor* hero, int32_t shootAnim, int32_t reloadAnim);

/// The resting state on the hero's live inputs.
int32_t HeroStateRestCode(TsActor* hero);

/// A firearm in hand with hold mode 0, and the touched actor a DOF or the aim target blocked.
int32_t HeroIsWeaponBlocked(TsActor* hero);

/// The aim lock on the hero: bone 4 locked with the held weapon's offset for the kind, then
/// (unless the weapon is blocked) the look-at on bone 5 and the sight shown.
void HeroAimLockBegin(TsActor* hero, int32_t animKind);
/// Unlocks (SAP 0 queued, the static player's next state 0, bone 4 freed); the look-at stops.
void HeroAimLockEnd(TsActor* hero);
void HeroAimLockEndAndHideSight(TsActor* hero);
void HeroShowSight(TsActor* hero);
void HeroHideSight();
/// The look-at bound to the hero again, following the camera, on bone 5.
void HeroLookAtRestart(TsActor* hero);
/// The bone look-at controller the aim lock drives.
class TsBoneLookAt;
TsBoneLookAt* HeroGetLookAt();

/// The wall flag of the states' shared data: set while the static player shows the wall pose.
void HeroSetWallFlag(int32_t flag);
int32_t HeroGetWallFlag();

/// The hero's posture value B: 0 standing, 1 walking, rolling or striking, 2 running, 3
/// crouched, 4 crouched and moving.
void HeroSetPosture(TsActor* hero, int32_t posture);

// ---- Camera messages -----------------------------------------------------------------------------

/// The placement the hero sends its follow camera.
using HeroCameraPlacement = CameraFollowPlacement;
/// Kind 3 with the preset to the profile's follow camera.
void HeroSetCameraPreset(int32_t preset);
/// Kind 4: the camera action (direction may be null).
void HeroSetCameraPlacement4(int32_t action, const Vector* direction, float pitch, float distance);
/// Kind 4 with the action and, when given, the direction alone (no pitch or distance).
void HeroSetCameraAction(int32_t action, const Vector* direction);
/// The last records sent (tests).
const HeroCameraPlacement& HeroGetPresetPlacement();
const HeroCameraPlacement& HeroGetActionPlacement();

// ---- Footsteps ---------------------------------------------------------------------------------------

using HeroFootstepCallback = void (*)(int32_t event, void* hero);
/// The animation events of the hero's model go to the callback with the hero.
void HeroSetFootstepCallback(TsActor* hero, HeroFootstepCallback callback);
void HeroFootstepStanding(int32_t event, void* hero);
void HeroFootstepCrouched(int32_t event, void* hero);
void HeroFootstepLadder(int32_t event, void* hero);

// ---- What the movement, aiming, action and ladder states decide on ----------------------------------

/// Hit points at or below 0 with god mode off (the profile's flag and the console's).
int32_t HeroIsDead(TsActor* hero);
/// The planar angle (degrees) from the hero's forward vector to the smoothed heading in the
/// hero's horizontal frame, handed to the move controller as this frame's turn; the angle.
float HeroFaceMoveDirection(TsActor* hero);
/// The static player in no reload (16..19), a ladder contact of the kind (0x80 foot, 0x10 top)
/// and the hero facing the ladder face (forward against its normal).
int32_t HeroLadderAvailable(TsActor* hero, uint8_t kind);
inline int32_t HeroLadderUpAvailable(TsActor* hero)
{
    return HeroLadderAvailable(hero, 0x80);
}
inline int32_t HeroLadderDownAvailable(TsActor* hero)
{
    return HeroLadderAvailable(hero, 0x10);
}
/// The ladder contact the move controller reports: set, normal, three face points and the kind
/// byte (colour[2]). A reader other than the controller's may be installed (null: the
/// controller's).
struct HeroLadderContact
{
    int32_t set = 0;
    Vector normal = {0.0f, 0.0f, 0.0f};
    Vector points[3] = {};
    uint8_t kind = 0;
};
using HeroLadderContactReader = HeroLadderContact (*)(TsActor* hero);
void HeroSetLadderContactReader(HeroLadderContactReader reader);
HeroLadderContact HeroGetLadderContact(TsActor* hero);
/// The climb begins: the stage's inventory locked, the weapon disabled and hidden, the four
/// damage events off.
void HeroLadderBegin(TsActor* hero);
/// The climb ends: the inventory unlocked, the weapon enabled and shown, damage events on.
void HeroLadderEnd(TsActor* hero);
/// With a ladder contact of kind 0x80 or 0x10 the hero stands 38.3 in front of the face centre
/// (at his own height) and looks into the ladder; the face normal into normal. 0 without a
/// contact of a known kind (nothing moves).
int32_t HeroLadderSnap(TsActor* hero, Vector* normal);
/// The level's segment test around the hero's feet (half-height 35) hits.
int32_t HeroLadderBottomReached(TsActor* hero);
/// The segment test 100 ahead and 160 up (half-height 10) hits.
int32_t HeroLadderTopReached(TsActor* hero);
/// The four damage events of the hero switched off (a ladder, a script's control, death).
void HeroDisableDamageEvents(TsActor* hero);
/// Hero::EnableDamageEvents on a Hero.
void HeroEnableDamageEvents(TsActor* hero);
/// The input context the script-controlled state makes current.
inline constexpr const char kHeroMotorControlContext[] = "HeroMotorControl";

// ---- The stage the hero plays in --------------------------------------------------------------------

/// What the states ask of the game state above them: the stage's inventory lock (the wheel
/// does not open while set) and the weapon wheel's close request. The game installs them;
/// without them the values are only kept.
struct HeroStageHooks
{
    void (*setInventoryLock)(int32_t locked) = nullptr;
    void (*requestInventoryClose)() = nullptr;
};
/// Null puts the defaults back.
void HeroSetStageHooks(const HeroStageHooks* hooks);
void HeroSetInventoryLock(int32_t locked);
/// The last lock the states set.
int32_t HeroGetInventoryLock();
void HeroRequestInventoryClose();
/// Close requests made since the last call (tests).
int32_t HeroTakeInventoryCloseRequests();

// ---- Turn curve ----------------------------------------------------------------------------------------

/// The rotating speed over 0..1 (null before the start-up built it).
class Spline;
Spline* HeroGetTurnCurve();
/// Speed on the curve at the parameter; 0 without a curve.
float HeroTurnCurveSample(float parameter);
