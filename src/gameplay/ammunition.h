// What a shot leaves in the world: projectiles that fly straight and test each step against
// the actors collected at launch and the level, impacts that play the hit effects, send the
// damage and spread a blast, and casings that jump out of the weapon, bounce and fade. Each
// kind lives in a ring made once at start-up; the shot takes objects from the rings through
// the weapons' ammunition source, which the start-up installs.
#pragma once

#include "ammomanager.h"
#include "hbptr.h"
#include "w3dframe.h"
#include "weaponshoot.h"

#include <cstdint>

class KFX;
class TsActor;
struct W3dCollisionQuery;

/// One model of a geometry row.
struct AmmoGeometry
{
    int32_t inUse = 0;
    W3dNode* model = nullptr; ///< one reference held; null when the row's resource is missing
    int32_t index = 0;
};

struct ShootSphere;

/// Time and units the ammunition runs on: world units, ticks of the game clock.
int64_t AmmoNow();
/// The part a hit point touches: body (2), head (1) inside the enabled head sphere, heart (6)
/// inside the enabled heart sphere (the heart wins); either sphere may be null.
int32_t AmmoHitPart(const Vector& point, const ShootSphere* head, const ShootSphere* heart);
/// What a hit on the part sends: 999 for the head or the heart, else the damage points.
float AmmoHitValue(int32_t part, int32_t damage);

class Projectil : public W3dFrame
{
    HB_DECLARE_CLASS_DESC();
    AMMO_DECLARE_POOL();

public:
    static constexpr int32_t kMaxCollected = 20;
    static constexpr float kCollectMargin = 150.0f;
    static constexpr float kStreakMax = 200.0f;
    /// Hit parts sent with the impact.
    enum Part : int32_t
    {
        kHead = 1,
        kBody = 2,
        kWorld = 5,
        kHeart = 6,
    };

    static Projectil* Create();
    ~Projectil() override;

    /// Along the at axis of its world matrix (placed by the caller under the level's root).
    /// The record is the firing weapon's: the projectile follows the weapon's handle and ends
    /// when the weapon dies. With a target only that actor is tested.
    void Launch(const WeaponHitRecord* hit, TsActor* target, int32_t tracer);
    void Update() override;
    void OnAddToWorld() override;
    /// Taken out of the world while live (its parent went): back in the ring.
    void OnRemoveFromWorld() override;
    /// Back to the launch state: off every list, no record, no effect.
    void Reset();
    /// The render callback: a cross of two triangles along the flight.
    static void DrawStreak(void* user);

    int32_t mLive = 0;
    int32_t mRingPosition = -1;
    int32_t mTracer = 0;
    float mHitRadius = 0.0f;
    int64_t mLaunchTime = 0;
    int64_t mLastUpdate = 0;
    HbHandlePtr mCollected[kMaxCollected];
    int32_t mCollectedCount = 0;
    AmmoGeometry* mModel = nullptr;
    Vector mPosition = {0.0f, 0.0f, 0.0f};
    Vector mDirection = {0.0f, 0.0f, 1.0f};
    KFX* mTrail = nullptr;
    int32_t mStreak = -1;
    const WeaponHitRecord* GetRecord();

private:
    Projectil() = default;
    /// The step's segment; 1 when something was hit (the projectile is then freed).
    int32_t HitTest(Vector segment[2]);
    void Collect(TsActor* target);
    const WeaponHitRecord* mHit = nullptr;
    HbHandlePtr mWeapon;
    int32_t mHasWeapon = 0;
};

class Impact : public W3dFrame
{
    HB_DECLARE_CLASS_DESC();
    AMMO_DECLARE_POOL();

public:
    static constexpr int32_t kMaxCollected = 20;
    static constexpr float kBlastStart = 4.0f;
    static constexpr float kBlastReach = 100.0f;
    enum Kind : int32_t
    {
        kWorldHit = 0,
        kActorHit = 2,
    };

    static Impact* Create();
    ~Impact() override;

    /// Plays the hit at the impact's place: noise, effects, damage to the node's actor, then
    /// the blast or the end. surface is the hit triangle's material colour (red byte: the
    /// ground id). normal is the impact's facing.
    void Start(const WeaponHitRecord* hit, W3dNode* hitNode, int32_t kind, int32_t part, const uint8_t surface[4],
               const Vector& normal);
    /// The blast ring, once per frame while live.
    void Update() override;
    void OnAddToWorld() override;
    /// Taken out of the world while live (the actor it hangs on went): back in the ring.
    void OnRemoveFromWorld() override;
    void Reset();

    int32_t mLive = 0;
    int32_t mRingPosition = -1;
    float mBlastRadius = 0.0f;
    KFX* mEffect = nullptr;
    HbHandlePtr mCollected[kMaxCollected];
    int32_t mCollectedCount = 0;
    /// A record copied at the start: the weapon may die while the blast runs.
    float mDamage = 0.0f, mFullRadius = 0.0f, mSpeed = 0.0f, mFalloff = 0.0f;
    int32_t mHitEvent = 0;
    HbHandlePtr mSender;

private:
    Impact() = default;
    void PlayEffects(const WeaponHitRecord* hit, W3dNode* hitNode, int32_t kind, int32_t surface, const Vector& normal);
};

class Casing : public W3dFrame
{
    HB_DECLARE_CLASS_DESC();
    AMMO_DECLARE_POOL();

public:
    enum State : int32_t
    {
        kFlying = 0,
        kFading = 1,
        kFaded = 2,
        kFree = 3,
    };
    static constexpr int32_t kMaxBounces = 3;
    /// Gravity in world units per second squared.
    static constexpr float kGravity = -490.5f;

    static Casing* Create();
    ~Casing() override;

    /// Leaves with the record's ejection turned by its world matrix; floor is the height the
    /// casing bounces on. The record's sound is held while the casing flies.
    void Launch(const WeaponCasingRecord& casing, float floor);
    void Update() override;
    void OnAddToWorld() override;
    void OnRemoveFromWorld() override;
    void Reset();

    int32_t mLive = 0;
    int32_t mRingPosition = -1;
    int64_t mLaunchTime = 0;
    int64_t mBounceAge = 0;
    int64_t mLastUpdate = 0;
    int64_t mLifetime = 0;
    Vector mVelocity = {0.0f, 0.0f, 0.0f};
    float mFloor = 0.0f;
    int32_t mBounces = 0;
    float mSpin = 0.0f;
    float mBounceFactor = 0.5f;
    Vector mDisplacement = {0.0f, 0.0f, 0.0f};
    AmmoGeometry* mModel = nullptr;
    int32_t mState = kFree;
    HbRoot* mSound = nullptr;

private:
    Casing() = default;
    void Rest();
};

// ---- The rings -----------------------------------------------------------------------------------

namespace Ammunition
{
constexpr int32_t kProjectiles = 90;
constexpr int32_t kImpacts = 30;
constexpr int32_t kCasings = 90;

/// The rings, the rows' models and the streak matrix, and the weapons' source; 1 done.
int32_t Preallocate();
void ResetAll();
void Shutdown();

/// The next object not live, round-robin after the last taken; null when all are live.
Projectil* TakeProjectile();
Casing* TakeCasing();
Impact* TakeImpact();
/// Out of its parent, reset, not live (by ring position; nothing outside the ring).
void FreeProjectile(int32_t position);
void FreeImpact(int32_t position);
void FreeCasing(int32_t position);

Projectil* GetProjectile(int32_t position);
Impact* GetImpact(int32_t position);
Casing* GetCasing(int32_t position);
/// Live objects of each ring.
int32_t LiveProjectiles();
int32_t LiveImpacts();
int32_t LiveCasings();

/// A free entry of the kind's row (casings row kind, projectiles row kind + 1); null when
/// none is free or the kind names no row.
AmmoGeometry* TakeCasingGeometry(int32_t kind);
AmmoGeometry* TakeProjectileGeometry(int32_t kind);
void ReleaseGeometry(AmmoGeometry* entry);
int32_t GeometryInUse();
} // namespace Ammunition
