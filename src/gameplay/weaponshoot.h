// WeaponShoot: the game's firearm. The actor layer's trigger decides whether a shot happens
// and turns its direction; this class takes a projectile from the ammunition, ejects the
// casing, aims along the muzzle, marks tracers, launches, starts the muzzle flash and counts
// the rounds; it also scales the hit radius by the difficulty.
#pragma once

#include "tsweaponshoot.h"
#include "vector.h"

#include <cstdint>

/// The ammunition hit record: what a projectile (or a contact strike) carries.
struct WeaponHitRecord
{
    float launchSpeed = 0.0f;     ///< per tick
    float flightSpeed = 0.0f;     ///< per tick
    float hitRadius = 0.0f;
    float hitRadiusGrowth = 0.0f; ///< per tick
    int32_t wideHit = 1;
    int32_t trailEffect = -1;
    int32_t damage = 0;
    int64_t lifetime = 0;         ///< ticks
    int32_t projectileModel = -1;
    int32_t hitsWorld = 0;
    TsWeapon* owner = nullptr;
    int32_t directHitOnly = 0;
    int32_t worldImpactEffect = -1;
    int32_t actorImpactEffect = -1;
    int32_t impactNoise = 0;
    int32_t hitEvent = 0;
    float blastDamage = 0.0f;
    float blastRadius = 0.0f;
    float blastSpeed = 0.0f;      ///< per tick
    float blastFalloff = 0.0f;    ///< per tick
};

/// The casing record.
struct WeaponCasingRecord
{
    Vector ejection = {0.0f, 0.0f, 0.0f}; ///< per tick, in the casing frame's axes
    float stored = 0.0f;
    int64_t lifetime = 0;                  ///< ticks
    int32_t model = -1;
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
    virtual void LaunchCasing(int32_t handle, const WeaponCasingRecord& casing, const Vector& at) = 0;
};

void WeaponSetAmmoSource(WeaponAmmoSource* source);
WeaponAmmoSource* WeaponGetAmmoSource();

/// What the weapons read of the player profile: the difficulty and the unlimited-ammunition flag.
using WeaponProfileValue = int32_t (*)();
void WeaponSetProfileReaders(WeaponProfileValue difficulty, WeaponProfileValue unlimitedAmmo);

class WeaponShoot : public TsWeaponShoot
{
    HB_DECLARE_CLASS_DESC();

public:
    WeaponShoot() = default;

    /// The shot: see the file comment. Without a free projectile nothing follows the sound.
    void Shoot() override;
    /// Starts the muzzle effect unless it is 60 (none) or there is no muzzle frame; 1 when started.
    int32_t PlayMuzzleEffect() override;
    /// By the profile's difficulty: 0 wide hits and radius x2, 1 radius x1.5, 2 radius x1.
    void OnAmmunitionLoaded() override { ApplyDifficulty(); }
    void ApplyDifficulty();
    void ApplyDifficultyFor(int32_t difficulty);
    /// The base load, then a full magazine and an unlimited stock with the profile's flag.
    int32_t LoadAmmunitionData();

    WeaponHitRecord mHit;
    WeaponCasingRecord mCasing;
    float mBaseHitRadius = 0.0f;
    int32_t mShotCounter = 0;
    int32_t mFlashes = 0;        ///< muzzle flashes started
    int32_t mLastTracer = 0;     ///< the last launch's tracer mark
};
