// Hero: the player's actor. It owns the hero state machine's 31 states, the list of carried
// weapons with its cursor, the equipment of other items and the item in hand, the names bound
// to the weapon keys, and the rules for damage, hit feedback, saves and the start and end of
// play. Registered in the actor-type registry as "Hero"; the start-up installs the services
// the states, the input tests and the head-up display reach it through.
#pragma once

#include "hbperclassfreelist.h"
#include "heroweaponkeys.h"
#include "tsheroactor.h"
#include "tsinventory.h"

#include <cstdint>
#include <string>
#include <vector>

class HbSaveFile;
class TsFModSound;
class TsWeapon;
class TsWeaponShoot;

/// The carried items with a cursor. Only items whose actor is a weapon take part in the walks.
class WeaponList : public TsInventory
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 1;

    WeaponList() = default;
    ~WeaponList() override = default;

    /// The next weapon item after the cursor, wrapping; the cursor moves onto it. Null for an
    /// empty list or after a full turn without a weapon.
    TsInventoryItem* Next();
    /// The same walk backwards.
    TsInventoryItem* Previous();
    /// The first weapon item of the name, or null; the cursor stays.
    TsInventoryItem* FindByName(const char* name) const;
    /// 1 when the cursor moved onto the first item of the name; 0 for an empty list, an empty
    /// name, the name already under the cursor or a name not listed.
    int32_t SetCursorByName(const char* name);
    /// Cursor 0, every item removed.
    void Clear();
    /// On: every firearm's count is kept and its stock made unlimited. Off: the kept counts
    /// come back. The flag then flips.
    void ToggleUnlimitedAmmo();
    /// The item under the cursor, or null.
    TsInventoryItem* GetCursorItem() const;

    int32_t mCursor = 0;
    /// 1: the next toggle switches unlimited ammunition on.
    int32_t mToggle = 1;

private:
    struct KeptCount
    {
        HbHandlePtr weapon;
        int32_t total;
    };
    std::vector<KeptCount> mKept;
};

/// A shake request of the hero's cameras {channel, on, amplitude, frequency, damping, delay}.
struct HeroShake
{
    int32_t channel = 0;
    int32_t on = 1;
    float amplitude = 0.0f;
    float frequency = 0.0f;
    float damping = 0.0f;
    float delay = 0.0f;
};

/// The kind-2 shake placement of the follow camera.
struct HeroShakePlacement
{
    int32_t kind = 2;
    HeroShake shake;
};

/// The kind-1 placement the scenario camera takes: a pointer to the shake request.
struct HeroShakeRequestPlacement
{
    int32_t kind = 1;
    const HeroShake* shake = nullptr;
};

class Hero : public TsHeroActor
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 1;
    /// The events whose program callbacks the hero subscribes.
    static constexpr int32_t kEventStrike = 520;
    static constexpr int32_t kEventHit = 10;
    static constexpr int32_t kEventExplosion = 13;
    static constexpr int32_t kEventVibrations = 4;
    static constexpr float kAimRayLength = 5000.0f;
    static constexpr float kAimRayRaise = 80.0f;

    /// The states, an empty weapon list and equipment, the event-box bits, the sight at its
    /// start and the three sounds.
    Hero();
    /// Sounds, damage events, item in hand, equipment and weapon list go; both players reset.
    ~Hero() override;

    /// The light level, the state machine's step, then no hit this frame, the unlimited
    /// ammunition brought in line with the profile and the sight eased.
    void Update() override;
    /// The actor layer's model setter (the movement controller and the aim marker come with it).
    void SetModel(W3dNode* node) override;
    /// The actor layer's hit points, then the display's health restored.
    void SetHitPoints(int32_t value) override;
    int32_t Save(HbSaveFile* save) override;
    int32_t Load(HbSaveFile* save) override;
    using TsActor::Load;
    /// The aim marker on the aim ray (computed once per game-clock tick); null without a marker.
    TsActor* GetAimTarget();

    // ---- Play ----------------------------------------------------------------------------------
    void OnStageStart();
    /// Back from a checkpoint: full health and half the maximum of every counted firearm.
    void OnSectorEnter();
    void OnSectorLeave();
    /// Nothing in hand, no current weapon, state 1, weapons and equipment emptied.
    void Restart();
    /// Subscribes the four damage callbacks, each only when none of its id is active.
    void EnableDamageEvents();

    // ---- Weapons -------------------------------------------------------------------------------
    TsInventoryItem* GetItemInHand() const { return mItemInHand; }
    /// The previous item goes (into the equipment when it is no weapon); the item is held and
    /// its actor equipped.
    void SetItemInHand(TsInventoryItem* item);
    /// Hangs the object in the hand (null: nothing), handing back an item of another object.
    int32_t Equip(TsActor* object);
    /// Whatever hangs an object in the hero's hand (a level script's SetObjectInHand) equips
    /// it, so that the item carried for it becomes the item in hand.
    int32_t SetWeapon(TsActor* weapon) override { return Equip(weapon); }
    /// The named weapon (the next one for an empty name) into the hand; 0 when not carried.
    int32_t SelectWeapon(const char* name);
    /// The named weapon taken now: both players restart their state for its animation.
    int32_t TakeWeapon(TsActor* weapon, const char* name);
    /// Drops the object in hand for the named weapon (the previous one for an empty name).
    void DropObject(const char* name);
    int32_t SetWeaponSlotName(int32_t index, const char* name) { return mKeys.SetSlotName(index, name); }
    const char* GetWeaponSlotName(int32_t index) const { return mKeys.GetSlotName(index); }
    HeroWeaponKeys* GetWeaponKeys() { return &mKeys; }
    WeaponList* GetWeaponList() const { return mWeapons; }
    TsInventory* GetEquipment() const { return mEquipment; }
    const std::string& GetCurrentWeaponName() const { return mCurrentWeapon; }
    const std::string& GetPreviousWeaponName() const { return mPreviousWeapon; }

    // ---- Damage --------------------------------------------------------------------------------
    /// See the source: hit direction, god mode, hit points and killer, hurt sound, shakes,
    /// rumble, and the hit state for heavy damage.
    void TakeDamage(TsActor* attacker, float amount);
    /// The vibrations event: rumble and shakes scaled by the sender's distance.
    void Feedback(TsActor* sender, float strength);
    int32_t GetHitDirection() const { return mHitDirection; }
    TsActor* GetKiller() const;

    /// Times the aim ray was computed (tests).
    int32_t mAimRayCount = 0;
    /// 1 while the aim ray rests on an actor.
    int32_t mActorUnderSight = 0;

private:
    /// Gives the item back (into the equipment when its actor is no weapon) and releases it.
    void HandBack(TsInventoryItem* item);
    void RestartPlayers();
    void SendZoom(TsActor* weapon);
    void PlayAtHero(TsFModSound* sound);

    WeaponList* mWeapons = nullptr;
    TsInventory* mEquipment = nullptr;
    TsInventoryItem* mItemInHand = nullptr;
    std::string mCurrentWeapon;
    std::string mPreviousWeapon;
    HeroWeaponKeys mKeys;
    int32_t mHitDirection = 4;
    int64_t mAimRayStamp = -1;
    mutable HbHandlePtr mKiller;
    TsFModSound* mHitSound = nullptr;
    TsFModSound* mHurtSounds[2] = {};
    /// The unlimited-ammunition phase the weapons were last brought to.
    int32_t mUnlimitedPhase = 1;
};

/// The first item of the equipment of the name, or null.
TsInventoryItem* HeroEquipmentFindItemByName(Hero* hero, const char* name);

/// The hit direction the display's markers show for the planar angle (degrees) from the
/// camera-to-hero direction to the hero-to-attacker direction: 2 beyond 135, 3 beyond 45,
/// 0 beyond -45, else 1.
int32_t HeroHitDirectionForAngle(float degrees);

/// Pad rumble of the hero: effect with the two values, to the pad, or to the sink while one is
/// set (tests).
using HeroRumbleSink = void (*)(int32_t effect, float a, float b);
void HeroSetRumbleSink(HeroRumbleSink sink);
void HeroRumble(int32_t effect, float a, float b);

/// The console's god flag and life level, read through the reader the game installs (none:
/// off).
using HeroGodReader = int32_t (*)(int32_t* life);
void HeroSetGodReader(HeroGodReader reader);
/// The profile's god mode or the console's god flag is on.
int32_t HeroIsGodMode();

/// The script world's hero when it is a Hero, else null.
Hero* HeroGetCurrent();

/// Registers "Hero" in the actor-type registry and installs the hero's services: the input
/// host, the head-up display's reader and the weapon keys.
void HeroInstall();
void HeroRemove();
