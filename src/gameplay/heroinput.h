// The hero's input tests: the bound input actions the hero states ask every frame, each
// checked against what the hero holds, with the crouch flag, the LOCK stamp and the pending
// weapon name they keep. What only the full hero knows (its inventory items, the weapon list,
// the neutralise search, dropping an object) is asked of a host the hero installs; the
// default host answers for a hero that holds its object in hand and carries nothing else.
#pragma once

#include <cstdint>
#include <string>

class TsActor;

/// What the input tests ask of the hero beyond the actor layer.
class HeroInputHost
{
public:
    virtual ~HeroInputHost() = default;

    /// The object of the item in hand; by default the object the hero holds.
    virtual TsActor* GetObjectInHand(TsActor* hero);
    /// 1 when a weapon list exists; by default none.
    virtual int32_t HasWeaponList(TsActor* hero);
    /// The hero move skill's neutralisable-enemy test; by default no enemy.
    virtual int32_t CanNeutralize(TsActor* hero);
    /// The neutralise search: 1 when an enemy was found and stored as the target.
    virtual int32_t PickNeutralizeTarget(TsActor* hero);
    /// Free room to stand up (160 units above the hero).
    virtual int32_t HasHeadroom(TsActor* hero);
    /// The weapon-list walk forward (direction 1) or backward (-1). The candidate's name into
    /// name and 1; 0 when the walk found none or came back to the item under the cursor.
    virtual int32_t CycleWeapon(TsActor* hero, int32_t direction, std::string* name);
    /// The weapon bound to key index 0..7 when it is carried and not in hand: its name and 1.
    virtual int32_t WeaponForKey(TsActor* hero, int32_t index, std::string* name);
    /// Drops the held object and takes the named weapon (the previous one for an empty name).
    virtual void DropObject(TsActor* hero, const char* name);
};

/// The installed host (the default one when none is); never null.
HeroInputHost* HeroGetInputHost();
/// Null puts the default host back. The caller keeps the object alive while installed.
void HeroSetInputHost(HeroInputHost* host);

// ---- What the hero holds ------------------------------------------------------------------------

/// The hero's weapon hold mode (0, 1 or 2) as the held weapon set it.
int32_t HeroGetHoldMode(TsActor* hero);

// ---- The tests ------------------------------------------------------------------------------------

/// SHOOT_CLICK with a weapon in hand and no enemy to neutralise (no search for a firearm).
int32_t HeroInShootClick(TsActor* hero);
/// The shoot-click test with hold mode 0.
int32_t HeroInShootClickBareHold(TsActor* hero);
/// SHOOT_CLICK triggered, nothing else.
int32_t HeroInRawShootClick();
/// Hold mode 2, CMD_CONTEXTUAL_ACTION and a weapon list: the held object is dropped.
int32_t HeroInContextualAction(TsActor* hero);
/// SHOOT_DOWN with exactly a contact weapon in hand and an enemy found to neutralise.
int32_t HeroInContactStrike(TsActor* hero);
/// SHOOT_DOWN with a firearm in hand.
int32_t HeroInShooting(TsActor* hero);
/// LOCK with something in hand; stamps the frame.
int32_t HeroInLockTest(TsActor* hero);
/// Something in hand, hold mode not 2, LOCK not triggered and not stamped this frame.
int32_t HeroInLockReleased(TsActor* hero);
/// LOCK held this frame: stamped already in this frame, or the LOCK test passing now.
int32_t HeroInLock(TsActor* hero);
/// CROUCH while standing, once per frame: crouched := 1.
int32_t HeroInCrouchEnter(TsActor* hero);
/// CROUCH while crouched with room to stand, once per frame: crouched := 0.
int32_t HeroInCrouchLeave(TsActor* hero);
/// ROLL with hold mode 0.
int32_t HeroInRoll(TsActor* hero);
/// Without a pad the wheel turned down or CHANGE_WEAPON; with a pad NEXT_WEAPON.
int32_t HeroInNextWeapon();
/// Without a pad the wheel turned up; with a pad PREVIOUS_WEAPON.
int32_t HeroInPreviousWeapon();
/// RUN triggered (without a pad it makes the hero walk).
int32_t HeroInRun();
/// RELOAD or RELOAD_MOUSE with a firearm that has spare magazines and a magazine not full.
int32_t HeroInReload(TsActor* hero);
/// A different weapon was chosen (it becomes the pending weapon); with hold mode 2 the held
/// object is dropped instead and the answer is 0.
int32_t HeroInWeaponSelect(TsActor* hero);

// ---- Kept values --------------------------------------------------------------------------------------

int32_t HeroIsCrouched();
void HeroSetCrouched(int32_t crouched);
void HeroSetPendingWeapon(const char* name);
std::string HeroGetPendingWeapon();
/// A copy of the pending name, which is then cleared.
std::string HeroTakePendingWeapon();
/// Crouch flag 0, stamps and pending name cleared, every action looked up again.
void HeroInputReset();
