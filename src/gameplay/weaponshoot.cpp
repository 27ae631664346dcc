// The game's firearm: the shot after the trigger, the muzzle flash and the difficulty.
#include "weaponshoot.h"

#include "frame.h"
#include "matrix.h"
#include "w3dnode.h"

HB_DEFINE_CLASS_DESC(WeaponShoot, TsWeaponShoot);

namespace
{
WeaponAmmoSource* gAmmoSource = nullptr;
WeaponProfileValue gDifficulty = nullptr;
WeaponProfileValue gUnlimitedAmmo = nullptr;
} // namespace

void WeaponSetAmmoSource(WeaponAmmoSource* source)
{
    gAmmoSource = source;
}

WeaponAmmoSource* WeaponGetAmmoSource()
{
    return gAmmoSource;
}

void WeaponSetProfileReaders(WeaponProfileValue difficulty, WeaponProfileValue unlimitedAmmo)
{
    gDifficulty = difficulty;
    gUnlimitedAmmo = unlimitedAmmo;
}

void WeaponShoot::Shoot()
{
    Frame* muzzle = GetMuzzleFrame();
    const Matrix* world = muzzle ? Frame::GetWorldMatrix(muzzle) : nullptr;
    Vector direction = mDirection;
    Vector from = {0.0f, 0.0f, 0.0f};
    if (world)
    {
        Vector::TransformVector(&direction, &mDirection, world);
        from = world->pos;
    }
    Vector::Normalize(&direction, &direction);
    mDirection = direction;

    PlayShotSound();
    WeaponAmmoSource* source = gAmmoSource;
    const int32_t projectile = source ? source->TakeProjectile() : -1;
    if (projectile < 0)
        return; // all flying: no casing, no flash, no round used

    if (mCasing.model != -1)
    {
        const int32_t casing = source->TakeCasing();
        if (casing >= 0)
        {
            TsActor* holder = GetParentActor();
            W3dNode* node = holder ? holder->GetNode() : nullptr;
            const Vector at = node ? *node->GetWorldPosition() : from;
            source->LaunchCasing(casing, mCasing, at);
        }
    }

    int32_t tracer = 0;
    if (mTracerPeriod != 0)
    {
        mShotCounter = (mShotCounter + 1) % mTracerPeriod;
        tracer = mShotCounter == 0 ? 1 : 0;
    }
    mLastTracer = tracer;
    mHit.owner = this;
    mHit.wideHit = mAmmunition.mode;
    WeaponLaunch launch;
    launch.from = from;
    launch.direction = direction;
    launch.hit = &mHit;
    launch.tracer = tracer;
    source->LaunchProjectile(projectile, launch);
    PlayMuzzleEffect();
    if (mMagazine > 0)
        --mMagazine;
}

int32_t WeaponShoot::PlayMuzzleEffect()
{
    if (mMuzzleEffect < 0 || mMuzzleEffect >= kNoEffect || !GetMuzzleFrame())
        return 0;
    ++mFlashes;
    return 1;
}

void WeaponShoot::ApplyDifficulty()
{
    if (gDifficulty)
        ApplyDifficultyFor(gDifficulty());
}

void WeaponShoot::ApplyDifficultyFor(int32_t difficulty)
{
    switch (difficulty)
    {
    case 0:
        mHit.wideHit = 1;
        mHit.hitRadius = mBaseHitRadius * 2.0f;
        break;
    case 1:
        mHit.wideHit = 0;
        mHit.hitRadius = mBaseHitRadius * 1.5f;
        break;
    case 2:
        mHit.wideHit = 0;
        mHit.hitRadius = mBaseHitRadius;
        break;
    default:
        break;
    }
    mAmmunition.mode = mHit.wideHit;
}

int32_t WeaponShoot::LoadAmmunitionData()
{
    if (gUnlimitedAmmo && gUnlimitedAmmo())
        SetAmmo(-1);
    return 1;
}
