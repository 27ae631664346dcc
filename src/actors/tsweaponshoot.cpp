// The shooting weapon: ammunition, the shot sequence, the spread and the saved total.
#include "tsweaponshoot.h"

#include "frame.h"
#include "hbclock.h"
#include "hbrandom.h"
#include "hbsavefile.h"
#include "matrix.h"
#include "scripteventid.h"
#include "scriptworldmanager.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "w3dnode.h"

HB_DEFINE_CLASS_DESC(TsWeaponShoot, TsWeaponContact);

TsWeaponShoot::TsWeaponShoot()
{
    mStrikeEvent.id = kEventStrike1;
}

TsWeaponShoot::~TsWeaponShoot()
{
    for (HbRoot*& held : mAmmunition.held)
        if (held)
        {
            held->Release();
            held = nullptr;
        }
}

int32_t TsWeaponShoot::LoadModel(const char* name)
{
    return TsWeaponContact::LoadModel(name);
}

void TsWeaponShoot::FindFrames()
{
    TsWeaponContact::FindFrames();
    mCasingFrame = mStrikeFrame ? (mStrikeFrame->child ? mStrikeFrame->child : mStrikeFrame) : mModelFrame;
    mMuzzleFrame = mCasingFrame ? (mCasingFrame->child ? mCasingFrame->child : mCasingFrame) : mModelFrame;
}

int32_t TsWeaponShoot::Save(HbSaveFile* save)
{
    if (!TsActor::Save(save))
        return 0;
    return save->WriteInt32(GetTotal()) ? 1 : 0;
}

int32_t TsWeaponShoot::Load(HbSaveFile* save)
{
    TsActor::Load(save);
    int32_t total = -1;
    if (save && save->ReadInt32(total))
    {
        SetAmmo(total);
        OnAmmunitionLoaded();
        return 1;
    }
    OnAmmunitionLoaded();
    return 0;
}

// ---- Ammunition ------------------------------------------------------------------------------------

int32_t TsWeaponShoot::GetTotal() const
{
    if (mStock == -1)
        return -1;
    return mStock * mMagazineSize + (mMagazine > 0 ? mMagazine : 0);
}

void TsWeaponShoot::SetAmmo(int32_t total)
{
    mReady = 2;
    if (total < 0 || mMagazineSize == 0)
    {
        mMagazine = mMagazineSize;
        mStock = -1;
        return;
    }
    if (total == 0)
    {
        mMagazine = 0;
        mStock = 0;
        return;
    }
    mStock = total / mMagazineSize;
    const int32_t remainder = total % mMagazineSize;
    if (remainder == 0)
    {
        mMagazine = mMagazineSize;
        --mStock;
    }
    else
        mMagazine = remainder;
}

void TsWeaponShoot::AddAmmo(int32_t count)
{
    if (count < 0)
    {
        SetAmmo(count);
        return;
    }
    if (mStock == -1)
        return;
    const int64_t total = GetTotal();
    int64_t added = count;
    if (mMaxAmmo > 0 && total + added > mMaxAmmo)
    {
        added = mMaxAmmo - total;
        if (added <= 0)
            return;
    }
    // In 64 bits: a total past the 32-bit range keeps the largest count.
    const int64_t sum = total + added;
    SetAmmo(sum > INT32_MAX ? INT32_MAX : int32_t(sum));
}

int32_t TsWeaponShoot::Reload()
{
    mReady = 2;
    if (mStock == -1)
    {
        mMagazine = mMagazineSize;
        return 1;
    }
    if (mStock > 0)
    {
        --mStock;
        mMagazine = mMagazineSize;
        return 1;
    }
    return 0;
}

void TsWeaponShoot::LoadData(int32_t noiseLevel, float real3, int32_t muzzleEffect, float minSpread, float maxSpread,
                             int32_t magazineSize, int32_t tracerPeriod, int32_t flag, const int32_t shootData[3],
                             float real15, int32_t maxAmmo, int32_t integer17)
{
    mNoiseLevel = noiseLevel;
    mReal3 = real3;
    // Effect ids are 0..59: anything else (a negative id too) is 60, no flash.
    mMuzzleEffect = muzzleEffect < 0 || muzzleEffect > kNoEffect ? kNoEffect : muzzleEffect;
    mMinSpread = minSpread;
    mMaxSpread = maxSpread;
    mMagazineSize = magazineSize;
    mTracerPeriod = tracerPeriod;
    mStoredFlag = flag;
    for (int i = 0; i < 3; ++i)
        mShootData[i] = shootData[i];
    mReal15 = real15;
    mMaxAmmo = maxAmmo;
    mInteger17 = integer17;
}

// ---- The shot ---------------------------------------------------------------------------------------

int32_t TsWeaponShoot::PlayShotSound()
{
    return PlayRandomSound(mMagazine <= 0 ? kEmptySounds : kShotSounds, 1);
}

void TsWeaponShoot::ApplyDispersion(float scale)
{
    const float d = mMaxSpread - mMinSpread;
    const float h = d / 2.0f;
    const float m = mMinSpread / 2.0f;
    uint32_t& state = HbRandom::Instance()->GameState();
    const float u1 = HbRandom::QuickUniform(state);
    const float u2 = HbRandom::QuickUniform(state);
    const float x = (u1 * d - h) * scale;
    const float y = (u2 * d - h) * scale;
    const float X = x > 0.0f ? x + m : x - m;
    const float Y = y > 0.0f ? y + m : y - m;
    Matrix matrix = {};
    matrix.right.x = matrix.up.y = matrix.at.z = 1.0f;
    matrix.flags = kMatrixIdentity | kMatrixOrthonormal;
    const Vector yAxis = {0.0f, 1.0f, 0.0f}, xAxis = {1.0f, 0.0f, 0.0f};
    Matrix::Rotate(&matrix, &yAxis, X, 1);
    Matrix::Rotate(&matrix, &xAxis, Y, 1);
    const Vector forward = mDirection;
    Vector::TransformVector(&mDirection, &forward, &matrix);
}

int32_t TsWeaponShoot::Fire(float scale, int32_t mode)
{
    mAmmunition.mode = mode;
    // Not ready: a weapon without the repeat flag waits for a fire state of 0 or 2, the only
    // ones the ammunition operations set.
    if (mStoredFlag == 0 && mReady != 0 && mReady != 2)
        return 2;
    // An unset magazine (-1) is empty too: it must never fire for ever.
    if (mMagazine <= 0)
    {
        if (mReady != 0)
            PlayShotSound();
        mReady = 0;
        return 0;
    }
    mDirection = {0.0f, 0.0f, 1.0f};
    if (mMaxSpread >= 0.0f)
        ApplyDispersion(scale);

    const int32_t radius = TsGetSoundRadius(mNoiseLevel);
    TsActor* holder = GetParentActor();
    if (radius != 0)
    {
        // Without a holder there is no place to alert from, and all 200 triggers may be live:
        // either way the shot goes on without its noise.
        W3dNode* holderNode = holder ? holder->GetNode() : nullptr;
        if (TsTrigger* trigger = holderNode ? TriggerManager::TakeFreeTrigger() : nullptr)
        {
            const auto ticks = int64_t(double(HbPerformanceFrequency()) * double(kShotNoiseSeconds));
            trigger->Start(kEventSound, radius, ticks, ticks, HeroEnemyFamily, 0, float(mNoiseLevel));
            const Vector at = *holderNode->GetWorldPosition();
            trigger->SetPosition(&at);
            SetSoundLevel(mNoiseLevel);
        }
    }
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (TsActor* hero = world ? world->GetHero() : nullptr; hero && holder)
        hero->mLightBoost = kHeroLightBoost;
    Shoot();
    return 1;
}
