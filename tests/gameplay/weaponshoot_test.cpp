// The game's firearm: the shot after the trigger, the rounds, tracers, the spread seen from the
// launch, an empty projectile ring, the difficulty and unlimited ammunition.
#include "hbclock.h"
#include "hbrandom.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "weaponscript.h"

#include <Python.h>
#include "renderer_fixture.h"
#include "weaponshoot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
class Ring : public WeaponAmmoSource
{
public:
    int32_t TakeProjectile() override { return mFree > 0 ? --mFree, int32_t(mLaunches.size()) : -1; }
    void LaunchProjectile(int32_t, const WeaponLaunch& launch) override { mLaunches.push_back(launch); }
    int32_t TakeCasing() override { return mCasings > 0 ? --mCasings, 0 : -1; }
    void LaunchCasing(int32_t, const WeaponCasingRecord&, const Vector&) override { ++mCasingsLaunched; }
    int32_t mFree = 1000000;
    int32_t mCasings = 0;
    int32_t mCasingsLaunched = 0;
    std::vector<WeaponLaunch> mLaunches;
};

class WeaponShootTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        WeaponSetAmmoSource(&mRing);
        mGun = new WeaponShoot();
        mGun->AddRef();
        mGun->mMagazineSize = 1;
        mGun->mMaxSpread = -1.0f;
        mGun->SetAmmo(2); // one in the magazine, one spare
    }
    void TearDown() override
    {
        mGun->Release();
        WeaponSetAmmoSource(nullptr);
        WeaponSetProfileReaders(nullptr, nullptr);
        RendererTest::TearDown();
    }
    Ring mRing;
    WeaponShoot* mGun = nullptr;
};

TEST_F(WeaponShootTest, MagazineOfOneShootsClicksOnceThenSilentAndShootsAfterReload)
{
    EXPECT_EQ(mGun->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRing.mLaunches.size(), 1u);
    EXPECT_EQ(mGun->mMagazine, 0);
    EXPECT_EQ(mGun->Fire(1.0f, 1), 0); // the click
    EXPECT_EQ(mGun->mReady, 0);
    EXPECT_EQ(mGun->Fire(1.0f, 1), 0); // silent
    EXPECT_EQ(mGun->Reload(), 1);
    EXPECT_EQ(mGun->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRing.mLaunches.size(), 2u);
    // Spread off: along the muzzle's at axis.
    const Vector& d = mRing.mLaunches[1].direction;
    EXPECT_FLOAT_EQ(d.x, 0.0f);
    EXPECT_FLOAT_EQ(d.y, 0.0f);
    EXPECT_FLOAT_EQ(d.z, 1.0f);
    EXPECT_EQ(mRing.mLaunches[1].hit->owner, mGun);
    EXPECT_EQ(mRing.mLaunches[1].hit->wideHit, 1);
}

TEST_F(WeaponShootTest, NoFreeProjectileUsesNoRoundAndNoCasing)
{
    mRing.mFree = 0;
    mRing.mCasings = 5;
    mGun->mCasing.model = 3;
    mGun->mMuzzleEffect = 4;
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mGun->mMagazine, 1);
    EXPECT_EQ(mRing.mCasingsLaunched, 0);
    EXPECT_EQ(mGun->mFlashes, 0);
    // A free projectile but no free casing: the shot goes on without it.
    mRing.mFree = 1;
    mRing.mCasings = 0;
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mRing.mLaunches.size(), 1u);
    EXPECT_EQ(mGun->mMagazine, 0);
}

TEST_F(WeaponShootTest, TracerPeriodAndUnlimitedAmmunition)
{
    WeaponSetProfileReaders(nullptr, [] { return 1; });
    mGun->mMagazineSize = 30;
    mGun->LoadAmmunitionData();
    EXPECT_EQ(mGun->mMagazine, 30);
    EXPECT_EQ(mGun->mStock, -1);
    mGun->mTracerPeriod = 3;
    for (int i = 0; i < 9; ++i)
        mGun->Fire(1.0f, 0);
    ASSERT_EQ(mRing.mLaunches.size(), 9u);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(mRing.mLaunches[i].tracer, (i + 1) % 3 == 0 ? 1 : 0) << "shot " << i + 1;
    mGun->mTracerPeriod = 0;
    mGun->Fire(1.0f, 0);
    EXPECT_EQ(mRing.mLaunches.back().tracer, 0);
}

TEST_F(WeaponShootTest, EveryDeviationWithinTheSpreadOnBothAxes)
{
    mGun->mMinSpread = 2.0f;
    mGun->mMaxSpread = 6.0f;
    mGun->SetAmmo(-1);
    HbRandom::Instance()->GameState() = 12345u;
    constexpr float kDeg = 57.29577951f;
    float smallest = 90.0f, largest = 0.0f;
    for (int i = 0; i < 10000; ++i)
    {
        mGun->Fire(1.0f, 0);
        mGun->Reload();
        const Vector& d = mRing.mLaunches.back().direction;
        // The X turn is applied first, then the Y turn.
        const float a = std::atan2(std::fabs(d.x), d.z) * kDeg;
        const float b = std::asin(std::fabs(d.y)) * kDeg;
        smallest = std::fmin(smallest, std::fmin(a, b));
        largest = std::fmax(largest, std::fmax(a, b));
    }
    EXPECT_GE(smallest, 1.0f - 1e-3f);
    EXPECT_LE(largest, 3.0f + 1e-3f);
    EXPECT_LT(smallest, 1.1f);
    EXPECT_GT(largest, 2.9f);
}

TEST_F(WeaponShootTest, DifficultyScalesTheHitRadiusAndTheWideHitFlag)
{
    struct Case
    {
        int32_t difficulty;
        int32_t wideHit;
        float radius;
    };
    const Case cases[] = {{0, 1, 20.0f}, {1, 0, 15.0f}, {2, 0, 10.0f}, {3, 0, 10.0f}};
    mGun->mBaseHitRadius = 10.0f;
    for (const Case& c : cases)
    {
        mGun->ApplyDifficultyFor(c.difficulty);
        EXPECT_EQ(mGun->mHit.wideHit, c.wideHit) << c.difficulty;
        EXPECT_FLOAT_EQ(mGun->mHit.hitRadius, c.radius) << c.difficulty;
    }
}
} // namespace

namespace scriptworldtest
{
namespace
{
class AmmoScript : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        for (PyMethodDef* def = WeaponAmmoScriptFunctions(); def->ml_name; ++def)
        {
            PyObject* function = PyCFunction_New(def, nullptr);
            PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
            Py_XDECREF(function);
        }
        mGun = new WeaponShoot();
        mGun->AddRef();
        ASSERT_EQ(Exec("gun = 'gun'"), "");
        mGun->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "gun"));
        mWorld->AddActor(mGun);
    }
    void TearDown() override
    {
        mWorld->RemoveActor(mGun);
        mGun->Release();
        ScriptWorldTest::TearDown();
    }
    WeaponShoot* mGun = nullptr;
};

TEST_F(AmmoScript, FillsTheRecordsWithPerTickValuesAndFailsWithTheTexts)
{
    const double tps = double(HbPerformanceFrequency());
    EXPECT_EQ(Exec("SetAmmoData(gun, 1, None, 20000.0, 10000.0, 35, 4.0, 2.0, 0.5, 3, 0, 'SD_HIT_S2DSB', '', 6, "
                   "75, -2, 9, 100.0, 300.0, 50.0, 1.0, None, None, (0.0, 3.0, 4.0), 10.0, 7.0, 5000.0)"),
              "");
    const WeaponHitRecord& hit = mGun->mHit;
    EXPECT_EQ(hit.hitsWorld, 1);
    EXPECT_EQ(hit.trailEffect, -1);
    EXPECT_EQ(hit.damage, 35);
    EXPECT_EQ(hit.projectileModel, 3);
    EXPECT_EQ(hit.worldImpactEffect, -1) << "75 is out of the effect range";
    EXPECT_EQ(hit.actorImpactEffect, -1) << "a negative id plays nothing";
    EXPECT_EQ(hit.hitEvent, 9);
    EXPECT_EQ(hit.wideHit, 1);
    EXPECT_EQ(hit.owner, mGun);
    EXPECT_FLOAT_EQ(hit.hitRadius, 4.0f);
    EXPECT_FLOAT_EQ(mGun->mBaseHitRadius, 4.0f);
    EXPECT_FLOAT_EQ(float(hit.flightSpeed * tps), 10000.0f);
    EXPECT_FLOAT_EQ(float(hit.blastSpeed * tps), 50.0f);
    // 0.5 s at 10,000 units/s: 5,000 units.
    EXPECT_NEAR(double(hit.flightSpeed) * double(hit.lifetime), 5000.0, 0.5);
    // Lifetimes keep all 64 bits.
    EXPECT_EQ(mGun->mCasing.lifetime, int64_t(5000.0 * tps));
    EXPECT_GT(mGun->mCasing.lifetime, int64_t(UINT32_MAX));
    EXPECT_EQ(mGun->mCasing.model, -1);
    EXPECT_NEAR(mGun->mCasing.ejection.y * tps, 6.0, 1e-3);
    EXPECT_NEAR(mGun->mCasing.ejection.z * tps, 8.0, 1e-3);

    EXPECT_NE(Exec("SetAmmoData(gun, 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 3, 0, '', '', 6, "
                   "1, 2, 9, 100.0, 300.0, 50.0, 1.0, 4, None, (0.0, 3, 4.0), 10.0, 7.0, 1.0)")
                  .find("SetAmmoData : ejection vector coordinates are not float"),
              std::string::npos);
    EXPECT_EQ(mGun->mHit.damage, 36) << "the fields before the ejection stay";
    EXPECT_EQ(mGun->mCasing.model, 4);
    EXPECT_NE(Exec("SetAmmoData('nobody', 1, None, 1.0, 1.0, 36, 4.0, 2.0, 0.5, 3, 0, '', '', 6, "
                   "1, 2, 9, 100.0, 300.0, 50.0, 1.0, 4, None, (0.0, 3.0, 4.0), 10.0, 7.0, 1.0)")
                  .find("Weapon isn't a WeaponShoot"),
              std::string::npos);
}
} // namespace
} // namespace scriptworldtest
