// TsWeaponShoot: the firearm: a contact weapon with a magazine, a stock of magazines, a maximum
// of ammunition, a spread, a noise level and the frames of its muzzle and casing ejection. Fire
// decides whether a shot happens, clicks when empty, turns the direction inside the spread,
// alerts the enemies that hear it, lights the hero up and calls the gameplay weapon's Shoot.
#pragma once

#include "tsweaponcontact.h"

#include <cstdint>

class HbSaveFile;

/// What the gameplay weapon fills and hands to each projectile.
struct TsWeaponAmmunition
{
    int32_t casingId = -1;
    float damage = 0.0f;
    int32_t mode = 0;
    /// Held references, released with the weapon.
    HbRoot* held[3] = {};
};

class TsWeaponShoot : public TsWeaponContact
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kNoEffect = 60;
    static constexpr float kShotNoiseSeconds = 0.2f;
    static constexpr float kHeroLightBoost = 1.5f;

    /// The strike event is "strike1" (520).
    TsWeaponShoot();
    ~TsWeaponShoot() override;

    /// The contact weapon's load; 0 when it fails.
    int32_t LoadModel(const char* name) override;
    /// The contact weapon's frames, then the casing frame (first child of the strike frame)
    /// and the muzzle frame (first child of the casing frame), each falling back to the
    /// frame above (the model frame without a strike frame).
    void FindFrames() override;
    /// The actor's record, then the total (-1 with an unlimited stock). 1 when both were
    /// written.
    int32_t Save(HbSaveFile* save) override;
    /// The actor's part, then the total: SetAmmo with it and OnAmmunitionLoaded, 1; without
    /// it OnAmmunitionLoaded alone, 0 (the ammunition stays).
    int32_t Load(HbSaveFile* save) override;
    using TsActor::Load;
    /// Multiplies the shot damage.
    void ScaleParameter(float value) override { mAmmunition.damage *= value; }

    // ---- The shot -----------------------------------------------------------------------------

    /// 0 without a shot (empty magazine: one click after each SetAmmo or Reload), 2 when not
    /// ready (repeat flag 0 and a fire state other than 0 and 2), else 1.
    virtual int32_t Fire(float scale, int32_t mode);
    virtual void SpareOperation() {}
    /// The shot itself: the gameplay weapon's projectile, casing, tracer and rounds.
    virtual void Shoot() {}
    /// The gameplay weapon starts the muzzle effect; 1 here.
    virtual int32_t PlayMuzzleEffect() { return 1; }
    /// A random sound of the empty list when the magazine is empty, else of the shot list;
    /// the channel follows the weapon.
    virtual int32_t PlayShotSound();
    /// The gameplay weapon applies the difficulty to the damage; nothing here.
    virtual void OnAmmunitionLoaded() {}

    /// Turns the shot direction inside the spread: two quick draws give the two deviations
    /// in degrees, scaled, pushed away from zero by half the minimum spread.
    void ApplyDispersion(float scale);

    // ---- Ammunition ----------------------------------------------------------------------------

    /// Distributes a total: negative (or a magazine size of 0) fills the magazine from an
    /// unlimited stock; the partial magazine is the one in the weapon.
    void SetAmmo(int32_t total);
    /// Adds rounds up to the maximum; a negative count makes the stock unlimited.
    void AddAmmo(int32_t count);
    /// A new magazine: 1 when the magazine is full again, 0 when none was left.
    int32_t Reload();
    /// Rounds in the magazine plus the stock; -1 with an unlimited stock.
    int32_t GetTotal() const;

    /// Fills the fields of SetWeaponShootData after the sound lists (a muzzle effect outside
    /// 0..59 is stored as 60, none).
    void LoadData(int32_t noiseLevel, float real3, int32_t muzzleEffect, float minSpread, float maxSpread,
                  int32_t magazineSize, int32_t tracerPeriod, int32_t flag, const int32_t shootData[3], float real15,
                  int32_t maxAmmo, int32_t integer17);
    /// TsWeapon::AddSound on the shot list.
    int32_t AddShotSound(const char* name) { return AddSound(kShotSounds, name); }

    int32_t mMagazine = -1;
    int32_t mMagazineSize = 0;
    int32_t mStock = 0;
    int32_t mMaxAmmo = -1;
    float mMaxSpread = 0.0f;
    float mMinSpread = 0.0f;
    int32_t mNoiseLevel = 0;
    int32_t mMuzzleEffect = 0;
    int32_t mTracerPeriod = 0;
    /// The repeat flag; the trigger test reads it.
    int32_t mStoredFlag = 0;
    /// The camera zoom the in-game camera takes when the hero holds the weapon.
    float mReal3 = 0.0f;
    TsWeaponAmmunition mAmmunition;
    Vector mDirection = {0.0f, 0.0f, 1.0f};
    int32_t mReady = 0;
    /// The factor of the hero's aim bone target.
    float mReal15 = 0.0f;
    /// 1 for a scope weapon.
    int32_t mInteger17 = 0;

    Frame* GetMuzzleFrame() const { return mMuzzleFrame; }
    Frame* GetCasingFrame() const { return mCasingFrame; }

private:
    Frame* mMuzzleFrame = nullptr;
    Frame* mCasingFrame = nullptr;
};
