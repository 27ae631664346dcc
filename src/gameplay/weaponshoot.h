// WeaponShoot: the game's firearm. The actor layer's trigger decides whether a shot happens
// and turns its direction; this class takes a projectile from the ammunition, ejects the
// casing, aims along the muzzle (or at the shoot helper's target), marks tracers, launches,
// starts the muzzle flash, kicks the hero's camera and counts the rounds; it also scales the
// hit radius by the difficulty.
#pragma once

#include "hbperclassfreelist.h"
#include "ingamecameraplacement.h"
#include "matrix.h"
#include "tsweaponshoot.h"
#include "vector.h"

#include <cstdint>

class KFX;

/// The ammunition hit record: what a projectile carries (the contact strike's record too).
using WeaponHitRecord = TsWeaponContactData;

/// The casing record. The sound is held (one reference).
struct WeaponCasingRecord
{
    WeaponCasingRecord() = default;
    ~WeaponCasingRecord() { SetSound(nullptr); }
    WeaponCasingRecord(const WeaponCasingRecord&) = delete;
    WeaponCasingRecord& operator=(const WeaponCasingRecord&) = delete;

    /// Keeps the sound (null allowed) in place of the old one.
    void SetSound(HbRoot* next);

    Vector ejection = {0.0f, 0.0f, 0.0f}; ///< per tick, in the casing frame's axes
    float stored = 0.0f;
    int64_t lifetime = 0;    ///< ticks
    HbRoot* sound = nullptr; ///< played at the first bounce
    int32_t model = -1;      ///< -1: no casing
};

/// One launch as the ammunition receives it.
struct WeaponLaunch
{
    Vector from = {0.0f, 0.0f, 0.0f};
    Vector direction = {0.0f, 0.0f, 1.0f};
    const WeaponHitRecord* hit = nullptr;
    int32_t tracer = 0;
};

/// The ammunition's rings as the shot sees them. Without a source no projectile is free.
class WeaponAmmoSource
{
public:
    virtual ~WeaponAmmoSource() = default;
    /// A free projectile's handle, or -1 while all are flying.
    virtual int32_t TakeProjectile() = 0;
    virtual void LaunchProjectile(int32_t handle, const WeaponLaunch& launch) = 0;
    /// A free casing's handle, or -1 (the shot goes on without one).
    virtual int32_t TakeCasing() = 0;
    /// The casing leaves with the casing frame's world matrix; floor is the world height of
    /// the shooter's position.
    virtual void LaunchCasing(int32_t handle, const WeaponCasingRecord& casing, const Matrix& frame, float floor) = 0;
};

void WeaponSetAmmoSource(WeaponAmmoSource* source);
WeaponAmmoSource* WeaponGetAmmoSource();

/// What the weapons read of the player profile: the difficulty, the unlimited-ammunition flag
/// and the id of the level's in-game camera. Null readers read the current state's profile.
using WeaponProfileValue = int32_t (*)();
void WeaponSetProfileReaders(WeaponProfileValue difficulty, WeaponProfileValue unlimitedAmmo);
void WeaponSetInGameCameraReader(WeaponProfileValue camera);
/// What the readers answer: the difficulty (-1 without a profile), the unlimited-ammunition
/// flag and the in-game (follow) camera's id (-1 without one).
int32_t WeaponProfileDifficulty();
int32_t WeaponProfileUnlimitedAmmo();
int32_t WeaponInGameCamera();

/// The shoot helper's pick as the shot sees it: 1 and a world point near the sight while aim is
/// active and a target is found, else 0. Without a pick no shot is corrected.
using WeaponAimPick = int32_t (*)(Vector* target);
void WeaponSetAimPick(WeaponAimPick pick);

/// A shake request of the in-game camera and the placement that carries it (kind 2).
using WeaponCameraShake = CameraShakeRequest;
using WeaponCameraPlacement = CameraFollowPlacement;

class WeaponShoot : public TsWeaponShoot
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 25;

    /// Makes the muzzle effect object.
    WeaponShoot();
    /// Releases the muzzle effect object.
    ~WeaponShoot() override;

    /// The shot: see the file comment. Without a free projectile nothing follows the sound.
    void Shoot() override;
    /// Nothing when the muzzle effect is 60 (none) or there is no muzzle frame. Otherwise the
    /// effect is bound to the weapon's effect object once (while it holds no emitter) and
    /// started on every shot; 1 when started.
    int32_t PlayMuzzleEffect() override;
    int32_t StartMuzzleFlash() { return PlayMuzzleEffect(); }
    /// The contact weapon's strike effect: the actor impact effect once at the strike point.
    void OnStrike() override { PlayStrikeEffect(); }
    void PlayStrikeEffect();
    /// By the profile's difficulty: 0 wide hits and radius x2, 1 radius x1.5, 2 radius x1.
    void OnAmmunitionLoaded() override { ApplyDifficulty(); }
    void ApplyDifficulty();
    void ApplyDifficultyFor(int32_t difficulty);
    /// The base load, then a full magazine and an unlimited stock with the profile's flag.
    int32_t LoadAmmunitionData();

    /// The values of SetWeaponData: hold mode (the holder copies it), aim assist allowed, a
    /// reserved value.
    int32_t AllowsAimAssist() const { return mWeaponData[1]; }
    KFX* GetMuzzleEffectObject() const { return mMuzzleFx; }

    WeaponHitRecord mHit;
    WeaponCasingRecord mCasing;
    float mBaseHitRadius = 0.0f;
    int32_t mShotCounter = 0;
    int32_t mFlashes = 0;    ///< muzzle flashes started
    int32_t mLastTracer = 0; ///< the last launch's tracer mark

private:
    KFX* mMuzzleFx = nullptr;
};

/// The strike effect of a contact weapon (and of a firearm's butt): the record's actor impact
/// effect played once at the strike point, scale 1. Nothing for an effect id outside 0..59.
void WeaponPlayStrikeEffect(TsWeaponContact* weapon);
