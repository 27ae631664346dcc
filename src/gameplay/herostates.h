// The hero's 31 states: the code table (in the order of the script constants), their
// one-object pools, the creation of all states for a hero, and the rules every state shares:
// the resting state, the walking and aiming upper-body choices, the aim lock and the
// footstep choice.
#pragma once

#include "herostatemachine.h"

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
    int32_t sapState = 0;         ///< the static player's current state
    bool weaponChange = false;    ///< the weapon-selection test reports a change
    bool contextAction = false;   ///< the contextual-action test
    bool reload = false;          ///< the reload test
    bool blocked = false;         ///< HeroIsWeaponBlocked
    int32_t wallFlag = 0;         ///< the held weapon's wall flag
    int32_t holdMode = 0;         ///< the hero's weapon hold mode
    bool shooting = false;        ///< a shooting weapon is in hand
    bool shootDown = false;       ///< SHOOT_DOWN triggered
    bool rawShootClick = false;   ///< the raw SHOOT_CLICK action
    bool shootClick = false;      ///< the SHOOT_CLICK test
    int32_t magazine = 0;         ///< rounds in the magazine
    int32_t spare = 0;            ///< spare magazines, -1 unlimited
    bool crouched = false;
};

enum class HeroUpperBodyAction : int32_t
{
    None,         ///< nothing done
    SetState,     ///< switch the machine to `code`
    ForceSap,     ///< force the static player's `code`
    QueueSapAndClick, ///< queue SAP `code` (reload) and play the shot sound
    Click,        ///< the shot sound only (empty list)
    ReloadNow,    ///< TsWeaponShoot::Reload at once
};

struct HeroUpperBodyChoice
{
    HeroUpperBodyAction action = HeroUpperBodyAction::None;
    int32_t code = 0;
};

/// The static player is not in a shooting or weapon-change state (7..10, 22..25).
bool HeroCanChangeWeaponIn(int32_t sapState);
/// The walking and rotating states' choice.
HeroUpperBodyChoice HeroWalkingUpperBody(const HeroUpperBodyInputs& in, int32_t reloadAnim);
/// The aiming states' choice.
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
