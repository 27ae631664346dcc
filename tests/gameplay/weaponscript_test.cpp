// The five weapon functions of the scenario module: each fills its record exactly, converts
// per-second values and seconds, and fails with its own text, leaving the record as it was.
#include "dinput8testhooks.h"
#include "hbclock.h"
#include "hbinputmanager.h"
#include "heroweaponkeys.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsfmod_fixture.h"
#include "weaponcontact.h"
#include "weaponscript.h"
#include "weaponshoot.h"
#include "win32.h"

#include <Python.h>

#include <gtest/gtest.h>

#include <string>

namespace scriptworldtest
{
namespace
{
HeroWeaponKeys gKeys;

class WeaponScript : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        for (PyMethodDef* def = WeaponScriptFunctions(); def->ml_name; ++def)
        {
            PyObject* function = PyCFunction_New(def, nullptr);
            PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
            Py_XDECREF(function);
        }
        mGun = new WeaponShoot();
        mKnife = new WeaponContact();
        Bind(mGun, "gun");
        Bind(mKnife, "knife");
        Listed("other", {0.0f, 0.0f, 0.0f});
        for (int32_t i = 0; i < HeroWeaponKeys::kCount; ++i)
            gKeys.SetSlotName(i, "");
        HeroSetWeaponKeysReader([](TsActor*) { return &gKeys; });
    }
    void TearDown() override
    {
        HeroSetWeaponKeysReader(nullptr);
        mWorld->SetHero(nullptr);
        for (TsActor* weapon : {static_cast<TsActor*>(mGun), static_cast<TsActor*>(mKnife)})
        {
            mWorld->RemoveActor(weapon);
            weapon->Release();
        }
        SoundTest::TearDown();
    }
    void Bind(TsActor* weapon, const char* name)
    {
        weapon->AddRef();
        ASSERT_EQ(Exec(std::string(name) + " = '" + name + "'"), "");
        weapon->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), name));
        mWorld->AddActor(weapon);
    }
    /// Runs each call and expects its error line.
    struct Failure
    {
        const char* call;
        const char* error;
    };
    void ExpectFailures(std::initializer_list<Failure> failures)
    {
        for (const Failure& f : failures)
            EXPECT_EQ(Exec(f.call), f.error) << f.call;
    }

    WeaponShoot* mGun = nullptr;
    WeaponContact* mKnife = nullptr;
};

TEST_F(WeaponScript, AnimationRecordsFromThreeFourAndFiveTuples)
{
    EXPECT_EQ(Exec("SetWeaponAnimations(gun, 3, ((0, 0.1, 0.5), (7, 0.2, 0.6, 2.5), (84, 0.3, 0.7, 0.5, "
                   "vertex(1, 2, 3)), (9, 0, 1, 1, (4, 5, 6))))"),
              "");
    const TsWeaponAnimation* three = mGun->GetAnimation(0);
    EXPECT_EQ(three->kind, 3);
    EXPECT_EQ(three->state, 0);
    EXPECT_FLOAT_EQ(three->startFraction, 0.1f);
    EXPECT_FLOAT_EQ(three->eventFraction, 0.5f);
    EXPECT_EQ(three->parameter, 1.0f) << "no fourth element: the parameter stays";
    EXPECT_FLOAT_EQ(mGun->GetAnimation(7)->parameter, 2.5f);
    EXPECT_EQ(mGun->GetAnimation(7)->offsetSet, 0);
    Vector offset = {};
    EXPECT_EQ(mGun->GetAnimation(84)->GetOffset(&offset), 1);
    EXPECT_EQ(offset.x, 1.0f);
    EXPECT_EQ(offset.z, 3.0f);
    EXPECT_EQ(mGun->GetAnimation(84)->state, 84);
    EXPECT_EQ(mGun->GetAnimation(9)->eventFraction, 1.0f) << "integers pass as reals";
    EXPECT_EQ(mGun->GetAnimation(9)->offsetSet, 0) << "a fifth element that is no vertex sets no offset";

    ExpectFailures({
        {"SetWeaponAnimations('other', 3, ())", "TypeError: SetWeaponAnimations : Weapon isn't a TsWeapon"},
        {"SetWeaponAnimations(None, 3, ())", "TypeError: SetWeaponAnimations : Weapon isn't a TsWeapon"},
        {"SetWeaponAnimations(gun, 3, ((85, 0, 0),))", "TypeError: SetWeaponAnimations : Invalid animation state 85"},
        {"SetWeaponAnimations(gun, 3, ((-1, 0, 0),))", "TypeError: SetWeaponAnimations : Invalid animation state -1"},
        {"SetWeaponAnimations(gun, 3, ((1, 0),))",
         "TypeError: SetWeaponAnimations : an animation must be a tuple (state, start, event)"},
        {"SetWeaponAnimations(gun, 3, (5,))",
         "TypeError: SetWeaponAnimations : an animation must be a tuple (state, start, event)"},
        {"SetWeaponAnimations(gun, 3, 7)", "TypeError: SetWeaponAnimations : the animations must be a tuple"},
        {"SetWeaponAnimations(gun, 3, ((1, 'a', 0),))", "TypeError: must be real number, not str"},
    });
    // The records before a bad one are kept.
    EXPECT_EQ(Exec("SetWeaponAnimations(gun, 5, ((2, 0.25, 0.5), (99, 0, 0)))"),
              "TypeError: SetWeaponAnimations : Invalid animation state 99");
    EXPECT_EQ(mGun->GetAnimation(2)->kind, 5);
}

TEST_F(WeaponScript, WeaponDataBindsTheHerosKeyOnlyWithoutAPadAndAfterTheWeaponTest)
{
    FakeActor* hero = Listed("hero", {0.0f, 0.0f, 0.0f}, HeroFamily);
    mWorld->SetHero(hero);
    EXPECT_EQ(Exec("SetWeaponData(gun, 'RIFLE', 2, 1, 1, 0)"), "");
    EXPECT_STREQ(gKeys.GetSlotName(2), "RIFLE");
    EXPECT_EQ(mGun->mWeaponData[0], 1);
    EXPECT_EQ(mGun->mWeaponData[1], 1);
    EXPECT_EQ(mGun->mWeaponData[2], 0);
    EXPECT_EQ(mGun->mWeaponKind, 1) << "the hold mode the holder copies";

    // A failed weapon test binds nothing and stores nothing.
    ExpectFailures({
        {"SetWeaponData('other', 'KNIFE', 3, 2, 0, 0)", "TypeError: SetWeaponData : Weapon isn't a TsWeapon"},
        {"SetWeaponData(None, 'KNIFE', 3, 2, 0, 0)", "TypeError: SetWeaponData : Weapon isn't a TsWeapon"},
        {"SetWeaponData(knife, 7, 3, 2, 0, 0)", "TypeError: SetWeaponData : Weapon name isn't a string"},
        {"SetWeaponData(knife, 'KNIFE', 8, 2, 0, 0)", "TypeError: SetWeaponData : Weapon key isn't in 0..7"},
        {"SetWeaponData(knife, 'KNIFE', -1, 2, 0, 0)", "TypeError: SetWeaponData : Weapon key isn't in 0..7"},
        {"SetWeaponData(knife, 'KNIFE', 2.0, 2, 0, 0)",
         "TypeError: SetWeaponData : Weapon key isn't an integer or None"},
    });
    EXPECT_STREQ(gKeys.GetSlotName(3), "");
    EXPECT_EQ(mKnife->mWeaponData[0], 0);

    // No key: only the record.
    EXPECT_EQ(Exec("SetWeaponData(knife, None, None, 2, 0, 5)"), "");
    EXPECT_EQ(mKnife->mWeaponData[0], 2);
    EXPECT_EQ(mKnife->mWeaponData[2], 5);

    // With a pad present the binding stays as it is; the integers are stored.
    HbInputManager* input = HbInputManager::Instance();
    dinput8test::UseSource(dinput8test::Source::Injected);
    dinput8test::AttachPad();
    Window().instance = GetModuleHandleA(nullptr);
    ASSERT_EQ(input->InitDirectInput(), 0);
    ASSERT_EQ(input->CreateController(0, "Paddle1"), 1);
    ASSERT_EQ(input->IsPadPresent(), 1);
    EXPECT_EQ(Exec("SetWeaponData(knife, 'KNIFE', 2, 0, 1, 4)"), "");
    EXPECT_STREQ(gKeys.GetSlotName(2), "RIFLE");
    EXPECT_EQ(mKnife->mWeaponData[0], 0);
    EXPECT_EQ(mKnife->mWeaponData[1], 1);
    EXPECT_EQ(mKnife->mWeaponData[2], 4);
    input->Reset();
    dinput8test::UseSource(dinput8test::Source::Injected);

    // Without a hero there are no keys to bind: the record is still stored.
    mWorld->SetHero(nullptr);
    EXPECT_EQ(Exec("SetWeaponData(knife, 'KNIFE', 4, 2, 0, 0)"), "");
    EXPECT_STREQ(gKeys.GetSlotName(4), "");
    EXPECT_EQ(mKnife->mWeaponData[0], 2);
}

TEST_F(WeaponScript, ShootDataFillsTheShootingRecord)
{
    EXPECT_EQ(Exec("SetWeaponShootData(gun, 10, 0.5, ('SD_HIT_S2DSB', 'SD_HUM_S3DSB'), ('SD_HIT_S2DSB',), (), 75, "
                   "(2.0, 6.0), 30, 4, 1, 7, 8, 9, 1.5, 120, 1)"),
              "");
    EXPECT_EQ(mGun->mNoiseLevel, 10);
    EXPECT_EQ(mGun->mReal3, 0.5f);
    EXPECT_EQ(mGun->GetSoundCount(TsWeapon::kShotSounds), 2);
    EXPECT_EQ(mGun->GetSoundCount(TsWeapon::kEmptySounds), 1);
    EXPECT_EQ(mGun->GetSoundCount(TsWeapon::kReloadSounds), 0);
    EXPECT_EQ(mGun->mMuzzleEffect, 60) << "75 is stored as 60, none";
    EXPECT_EQ(mGun->mMinSpread, 2.0f);
    EXPECT_EQ(mGun->mMaxSpread, 6.0f);
    EXPECT_EQ(mGun->mMagazineSize, 30);
    EXPECT_EQ(mGun->mTracerPeriod, 4);
    EXPECT_EQ(mGun->mStoredFlag, 1);
    EXPECT_EQ(mGun->mShootData[0], 7);
    EXPECT_EQ(mGun->mShootData[1], 8);
    EXPECT_EQ(mGun->mShootData[2], 9);
    EXPECT_EQ(mGun->mReal15, 1.5f);
    EXPECT_EQ(mGun->mMaxAmmo, 120);
    EXPECT_EQ(mGun->mInteger17, 1);

    const char* rest = ", 1, (2.0, 6.0), 30, 4, 1, 7, 8, 9, 1.5, 120, 0)";
    EXPECT_EQ(Exec(std::string("SetWeaponShootData(gun, 10, 0.5, (), (), ()") + rest), "");
    EXPECT_EQ(mGun->mMuzzleEffect, 1);
    EXPECT_EQ(Exec(std::string("SetWeaponShootData(gun, 10, 0.5, (), (), (), -4") + (rest + 2)), "");
    EXPECT_EQ(mGun->mMuzzleEffect, 60) << "a negative effect id is none";

    // A sound tuple with an integer second: the first is appended, then the error.
    EXPECT_EQ(Exec(std::string("SetWeaponShootData(gun, 3, 0.5, (), (), ('SD_HIT_S2DSB', 3)") + rest),
              "TypeError: SetWeaponShootData : Weapon sound isn't a ResourceId");
    EXPECT_EQ(mGun->GetSoundCount(TsWeapon::kReloadSounds), 1);
    EXPECT_EQ(mGun->mNoiseLevel, 10) << "nothing after the failing element";

    ExpectFailures({
        {"SetWeaponShootData(knife, 10, 0.5, (), (), (), 1, (2.0, 6.0), 30, 4, 1, 7, 8, 9, 1.5, 120, 0)",
         "TypeError: SetWeaponShootData : Weapon isn't a TsWeaponShoot"},
        {"SetWeaponShootData(gun, 10, 0.5, (), None, (), 1, (2.0, 6.0), 30, 4, 1, 7, 8, 9, 1.5, 120, 0)",
         "TypeError: SetWeaponShootData : Weapon sound isn't a ResourceId"},
        {"SetWeaponShootData(gun, 10, 0.5, (), (), (), 1, (2, 6), 30, 4, 1, 7, 8, 9, 1.5, 120, 0)",
         "TypeError: SetWeaponShootData : Weapon sound isn't a ResourceId"},
        {"SetWeaponShootData(gun, 10, 0.5, (), (), (), 1, (2.0,), 30, 4, 1, 7, 8, 9, 1.5, 120, 0)",
         "TypeError: SetWeaponShootData : Weapon sound isn't a ResourceId"},
        {"SetWeaponShootData(gun, 10, 0.5, (), (), (), 1, 2.0, 30, 4, 1, 7, 8, 9, 1.5, 120, 0)",
         "TypeError: SetWeaponShootData : Weapon sound isn't a ResourceId"},
    });
    EXPECT_EQ(mGun->mMagazineSize, 30);
}

TEST_F(WeaponScript, ContactDataFillsTheHitRecordUnconverted)
{
    EXPECT_EQ(Exec("SetWeaponContactData(knife, None, 1.0, 2.0, 60, 3.0, 4.0, 0.5, 9, '', 'SD_HIT_S2DSB', 12, 13, "
                   "-2, 15, 16.0, 17.0, 18.0, 19.0, 20)"),
              "");
    const TsWeaponContactData& hit = mKnife->mContact;
    EXPECT_EQ(hit.trailEffect, -1);
    EXPECT_EQ(hit.launchSpeed, 1.0f) << "stored as given, not per tick";
    EXPECT_EQ(hit.flightSpeed, 2.0f);
    EXPECT_EQ(hit.damage, 60);
    EXPECT_EQ(hit.hitRadius, 3.0f);
    EXPECT_EQ(hit.hitRadiusGrowth, 4.0f);
    EXPECT_EQ(hit.lifetime, int64_t(double(0.5f) * double(HbPerformanceFrequency())));
    EXPECT_EQ(hit.directHitOnly, 9);
    EXPECT_EQ(hit.worldImpactSound, nullptr) << "an empty name gives no sound";
    EXPECT_NE(hit.actorImpactSound, nullptr);
    EXPECT_EQ(hit.impactNoise, 12);
    EXPECT_EQ(hit.worldImpactEffect, 13);
    EXPECT_EQ(hit.actorImpactEffect, -1) << "a negative effect id plays nothing";
    EXPECT_EQ(hit.hitEvent, 15);
    EXPECT_EQ(hit.blastDamage, 16.0f);
    EXPECT_EQ(hit.blastRadius, 17.0f);
    EXPECT_EQ(hit.blastSpeed, 18.0f);
    EXPECT_EQ(hit.blastFalloff, 19.0f);
    EXPECT_EQ(hit.hitsWorld, 20);
    EXPECT_EQ(hit.wideHit, 1);
    EXPECT_EQ(hit.projectileModel, -1);
    EXPECT_EQ(hit.owner, mKnife);

    // A firearm is a contact weapon too (its butt).
    EXPECT_EQ(Exec("SetWeaponContactData(gun, 4, 1.0, 2.0, 61, 3.0, 4.0, 0.5, 9, None, None, 12, 60, 5, 15, 16.0, "
                   "17.0, 18.0, 19.0, 20)"),
              "");
    EXPECT_EQ(mGun->mContact.damage, 61);
    EXPECT_EQ(mGun->mContact.trailEffect, 4);
    EXPECT_EQ(mGun->mContact.worldImpactEffect, -1) << "60 is none";
    EXPECT_EQ(mGun->mContact.actorImpactEffect, 5);

    ExpectFailures({
        {"SetWeaponContactData('other', None, 1.0, 2.0, 60, 3.0, 4.0, 0.5, 9, None, None, 12, 13, None, 15, 16.0, "
         "17.0, 18.0, 19.0, 20)",
         "TypeError: SetWeaponContactData : Weapon isn't a TsWeaponContact"},
        {"SetWeaponContactData(knife, 'x', 1.0, 2.0, 70, 3.0, 4.0, 0.5, 9, None, None, 12, 13, None, 15, 16.0, "
         "17.0, 18.0, 19.0, 20)",
         "TypeError: SetWeaponContactData : an id must be an integer or None"},
        {"SetWeaponContactData(knife, None, 1.0, 2.0, 70, 3.0, 4.0, 0.5, 9, 5, None, 12, 13, None, 15, 16.0, "
         "17.0, 18.0, 19.0, 20)",
         "TypeError: SetWeaponContactData : Weapon sound isn't a ResourceId"},
    });
    EXPECT_EQ(hit.damage, 60) << "a failed call stores nothing";
}

TEST_F(WeaponScript, AmmoDataFillsTheRecordsWithPerTickValuesAndFailsWithTheTexts)
{
    const double tps = double(HbPerformanceFrequency());
    EXPECT_EQ(Exec("SetAmmoData(gun, 1, None, 20000.0, 10000.0, 35, 4.0, 2.0, 0.5, 0, 0, 'SD_HIT_S2DSB', '', 6, "
                   "75, -2, 9, 100.0, 300.0, 50.0, 1.0, None, 'SD_HUM_S3DSB', (0.0, 3.0, 4.0), 10.0, 7.0, 5000.0)"),
              "");
    const WeaponHitRecord& hit = mGun->mHit;
    EXPECT_EQ(hit.hitsWorld, 1);
    EXPECT_EQ(hit.trailEffect, -1);
    EXPECT_EQ(hit.damage, 35);
    EXPECT_EQ(hit.projectileModel, 0);
    EXPECT_EQ(hit.directHitOnly, 0);
    EXPECT_NE(hit.worldImpactSound, nullptr);
    EXPECT_EQ(hit.actorImpactSound, nullptr);
    EXPECT_EQ(hit.impactNoise, 6);
    EXPECT_EQ(hit.worldImpactEffect, -1) << "75 is out of the effect range";
    EXPECT_EQ(hit.actorImpactEffect, -1) << "a negative id plays nothing";
    EXPECT_EQ(hit.hitEvent, 9);
    EXPECT_EQ(hit.wideHit, 1);
    EXPECT_EQ(hit.owner, mGun);
    EXPECT_FLOAT_EQ(hit.hitRadius, 4.0f);
    EXPECT_FLOAT_EQ(mGun->mBaseHitRadius, 4.0f);
    EXPECT_FLOAT_EQ(hit.blastDamage, 100.0f);
    EXPECT_FLOAT_EQ(hit.blastRadius, 300.0f);
    EXPECT_FLOAT_EQ(float(hit.launchSpeed * tps), 20000.0f);
    EXPECT_FLOAT_EQ(float(hit.flightSpeed * tps), 10000.0f);
    EXPECT_FLOAT_EQ(float(hit.hitRadiusGrowth * tps), 2.0f);
    EXPECT_FLOAT_EQ(float(hit.blastSpeed * tps), 50.0f);
    // Damage per unit of radius: no time in it.
    EXPECT_FLOAT_EQ(hit.blastFalloff, 1.0f);
    // 0.5 s at 10,000 units/s: 5,000 units.
    EXPECT_NEAR(double(hit.flightSpeed) * double(hit.lifetime), 5000.0, 0.5);
    // Lifetimes keep all 64 bits.
    EXPECT_EQ(mGun->mCasing.lifetime, int64_t(5000.0 * tps));
    EXPECT_GT(mGun->mCasing.lifetime, int64_t(UINT32_MAX));
    EXPECT_EQ(mGun->mCasing.model, -1);
    EXPECT_NE(mGun->mCasing.sound, nullptr);
    EXPECT_EQ(mGun->mCasing.stored, 7.0f);
    EXPECT_NEAR(mGun->mCasing.ejection.x * tps, 0.0, 1e-3);
    EXPECT_NEAR(mGun->mCasing.ejection.y * tps, 6.0, 1e-3);
    EXPECT_NEAR(mGun->mCasing.ejection.z * tps, 8.0, 1e-3);

    // A bad ejection vector: every other field is stored, per tick, then the error.
    EXPECT_EQ(Exec("SetAmmoData(gun, 1, None, 1.0, 2000.0, 36, 4.0, 2.0, 0.5, 0, 0, '', '', 6, "
                   "1, 2, 9, 100.0, 300.0, 50.0, 1.0, 0, None, (0.0, 3, 4.0), 10.0, 7.0, 1.0)"),
              "TypeError: SetAmmoData : ejection vector coordinates are not float");
    EXPECT_EQ(mGun->mHit.damage, 36);
    EXPECT_EQ(mGun->mCasing.model, 0);
    EXPECT_FLOAT_EQ(float(mGun->mHit.flightSpeed * tps), 2000.0f);
    EXPECT_EQ(mGun->mCasing.lifetime, int64_t(tps));
    EXPECT_NEAR(mGun->mCasing.ejection.y * tps, 6.0, 1e-3) << "the old velocity stays";
    EXPECT_EQ(mGun->mHit.worldImpactSound, nullptr);

    const char* tail = ", 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 0, 0, '', '', 6, 1, 2, 9, 100.0, 300.0, 50.0, 1.0, 0, "
                       "None, ";
    ExpectFailures({
        {"SetAmmoData(knife, 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 0, 0, '', '', 6, 1, 2, 9, 100.0, 300.0, 50.0, "
         "1.0, 0, None, (0.0, 3.0, 4.0), 10.0, 7.0, 1.0)",
         "TypeError: SetAmmoData : Weapon isn't a WeaponShoot"},
        {"SetAmmoData(gun, 1, 'x', 1.0, 1.0, 36, 4.0, 2.0, 0.5, 0, 0, '', '', 6, 1, 2, 9, 100.0, 300.0, 50.0, 1.0, "
         "0, None, (0.0, 3.0, 4.0), 10.0, 7.0, 1.0)",
         "TypeError: SetAmmoData : an id must be an integer or None"},
        {"SetAmmoData(gun, 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 0, 0, 5, '', 6, 1, 2, 9, 100.0, 300.0, 50.0, 1.0, "
         "0, None, (0.0, 3.0, 4.0), 10.0, 7.0, 1.0)",
         "TypeError: SetAmmoData : a sound must be a ResourceId"},
        // Model kinds past the one row of each.
        {"SetAmmoData(gun, 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 1, 0, '', '', 6, 1, 2, 9, 100.0, 300.0, 50.0, 1.0, "
         "0, None, (0.0, 3.0, 4.0), 10.0, 7.0, 1.0)",
         "ValueError: SetAmmoData : a model id names no ammunition row"},
        {"SetAmmoData(gun, 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 0, 0, '', '', 6, 1, 2, 9, 100.0, 300.0, 50.0, 1.0, "
         "1, None, (0.0, 3.0, 4.0), 10.0, 7.0, 1.0)",
         "ValueError: SetAmmoData : a model id names no ammunition row"},
    });
    EXPECT_EQ(Exec(std::string("SetAmmoData(gun") + tail + "(0.0, 3.0), 10.0, 7.0, 1.0)"),
              "TypeError: SetAmmoData : ejection vector coordinates are not float");
}
} // namespace
} // namespace scriptworldtest
