// The shooting weapon: ammunition arithmetic, the empty click, the shot's trigger, noise and
// light, the spread, the saved total and the script data.
#include "fmod3testhooks.h"
#include "frame.h"
#include "hbclock.h"
#include "hbrandom.h"
#include "hbsavefile.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "tsfmod_fixture.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "tsweaponscript.h"
#include "tsweaponshoot.h"
#include "w3dobject.h"

#include <gtest/gtest.h>

#include <cmath>

namespace scriptworldtest
{
namespace
{

class Rifle : public TsWeaponShoot
{
public:
    void Shoot() override { ++mShots; }
    int32_t mShots = 0;
};

class ShootingWeapon : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        ASSERT_EQ(TriggerManager::Create(), 1);
        mRifle = new Rifle();
        mRifle->AddRef();
        W3dObject* model = W3dObject::Create();
        model->SetClump(renderertest::MakeClump({nullptr}));
        mRifle->SetModel(model);
        mRifle->mMagazineSize = 10;
        for (PyMethodDef* def = TsWeaponScriptFunctions(); def->ml_name; ++def)
        {
            PyObject* function = PyCFunction_New(def, nullptr);
            PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
            Py_XDECREF(function);
        }
    }
    void TearDown() override
    {
        TriggerManager::Free();
        while (mWorld->GetActors().GetHead())
            mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
        mRifle->Release();
        SoundTest::TearDown();
    }
    /// The rifle in the hands of a listed holder at the place.
    FakeActor* Held(Vector at)
    {
        FakeActor* holder = Listed("holder", at);
        holder->mNode->AttachChild(mRifle->GetNode());
        Frame::SyncDirtyList();
        return holder;
    }

    Rifle* mRifle = nullptr;
};

TEST_F(ShootingWeapon, SetAmmoPutsThePartialMagazineInTheWeapon)
{
    const struct
    {
        int32_t size, total, magazine, stock, reported;
    } cases[] = {
        {10, 30, 10, 2, 30}, {10, 31, 1, 3, 31},   {10, 25, 5, 2, 25}, {10, 20, 10, 1, 20},
        {10, 0, 0, 0, 0},    {10, -1, 10, -1, -1}, {0, 25, 0, -1, -1},
    };
    for (const auto& c : cases)
    {
        mRifle->mMagazineSize = c.size;
        mRifle->SetAmmo(c.total);
        EXPECT_EQ(mRifle->mMagazine, c.magazine) << c.size << " " << c.total;
        EXPECT_EQ(mRifle->mStock, c.stock) << c.size << " " << c.total;
        EXPECT_EQ(mRifle->GetTotal(), c.reported) << c.size << " " << c.total;
        EXPECT_EQ(mRifle->mReady, 2);
    }
}

TEST_F(ShootingWeapon, AddAmmoStopsAtTheMaximumAndReloadTakesAMagazine)
{
    mRifle->mMaxAmmo = 40;
    const struct
    {
        int32_t holding, add, total;
    } cases[] = {{35, 10, 40}, {40, 10, 40}, {12, 3, 15}, {0, 45, 40}};
    for (const auto& c : cases)
    {
        mRifle->SetAmmo(c.holding);
        mRifle->AddAmmo(c.add);
        EXPECT_EQ(mRifle->GetTotal(), c.total) << c.holding << " + " << c.add;
    }
    mRifle->SetAmmo(15);
    mRifle->AddAmmo(2);
    EXPECT_EQ(mRifle->mMagazine, 7) << "the magazine is refilled from the new total";
    mRifle->AddAmmo(-1);
    EXPECT_EQ(mRifle->GetTotal(), -1);
    mRifle->AddAmmo(5);
    EXPECT_EQ(mRifle->GetTotal(), -1);

    mRifle->SetAmmo(13);
    mRifle->mMagazine = 0;
    EXPECT_EQ(mRifle->Reload(), 1);
    EXPECT_EQ(mRifle->mMagazine, 10);
    EXPECT_EQ(mRifle->mStock, 0);
    mRifle->mMagazine = 4;
    EXPECT_EQ(mRifle->Reload(), 0);
    EXPECT_EQ(mRifle->mMagazine, 4) << "no magazine left: the rounds stay";
    mRifle->SetAmmo(-1);
    mRifle->mMagazine = 0;
    EXPECT_EQ(mRifle->Reload(), 1);
    EXPECT_EQ(mRifle->mMagazine, 10);
}

TEST_F(ShootingWeapon, AnEmptyWeaponClicksOnceThenIsSilent)
{
    mRifle->AddSound(TsWeapon::kShotSounds, "SD_HUM_S3DSB");
    mRifle->AddSound(TsWeapon::kEmptySounds, "SD_HIT_S2DSB");
    fmod3test::EnableCallLog(true);
    EXPECT_EQ(mRifle->Fire(1.0f, 0), 0) << "a magazine never set is empty";
    EXPECT_EQ(fmod3test::CountCalls("FSOUND_PlaySound") + fmod3test::CountCalls("FSOUND_PlaySoundEx"), 0u)
        << "nothing was loaded, so no click either";

    mRifle->SetAmmo(0);
    EXPECT_EQ(mRifle->Fire(1.0f, 3), 0);
    EXPECT_EQ(mRifle->mAmmunition.mode, 3);
    ASSERT_EQ(mRifle->GetChannelCount(), 1) << "one click";
    EXPECT_EQ(mRifle->Fire(1.0f, 0), 0);
    EXPECT_EQ(mRifle->GetChannelCount(), 1) << "silent";
    EXPECT_EQ(mRifle->mShots, 0);
    mRifle->SetAmmo(0);
    mRifle->Fire(1.0f, 0);
    EXPECT_EQ(mRifle->GetChannelCount(), 2) << "clicks again after SetAmmo";
}

TEST_F(ShootingWeapon, WithoutTheRepeatFlagAWeaponThatIsNotReadyAnswers2)
{
    mRifle->SetAmmo(30);
    // The ammunition operations set only 0 and 2; any other fire state is "not ready".
    const struct
    {
        int32_t repeat;
        int32_t state;
        int32_t answer;
    } cases[] = {{0, 1, 2}, {1, 1, 1}, {0, 2, 1}, {0, 0, 1}};
    for (const auto& c : cases)
    {
        mRifle->mStoredFlag = c.repeat;
        mRifle->mReady = c.state;
        const int32_t shots = mRifle->mShots;
        EXPECT_EQ(mRifle->Fire(1.0f, 0), c.answer) << c.repeat << " " << c.state;
        EXPECT_EQ(mRifle->mShots - shots, c.answer == 1 ? 1 : 0);
    }
}

TEST_F(ShootingWeapon, AShotAlertsTheEnemiesAroundTheHolderAndLightsTheHero)
{
    FakeActor* hero = Listed("hero", {0, 0, 0}, HeroFamily);
    mWorld->SetHero(hero);
    FakeActor* holder = Held({100, 0, 200});
    mRifle->mNoiseLevel = TsNoiseRowByName("MEDIUM_ALARM");
    mRifle->SetAmmo(30);

    // All 200 triggers live: the shot goes on without its noise.
    for (int32_t i = 0; i < 200; ++i)
        TriggerManager::TakeFreeTrigger()->Start(kEventSound, 1, 1000, 1000, HeroEnemyFamily, 0, 0.0f);
    ASSERT_EQ(TriggerManager::TakeFreeTrigger(), nullptr);
    EXPECT_EQ(mRifle->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRifle->mShots, 1);
    EXPECT_EQ(mRifle->GetSoundLevel(), 0u);
    TriggerManager::StopAll();

    EXPECT_EQ(mRifle->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRifle->mShots, 2);
    ASSERT_EQ(TriggerManager::GetLiveCount(), 1);
    TsTrigger* trigger = nullptr;
    for (int32_t i = 0; i < 200 && !trigger; ++i)
        if (TriggerManager::Get(i)->IsLive())
            trigger = TriggerManager::Get(i);
    ASSERT_NE(trigger, nullptr);
    const int64_t ticks = int64_t(double(HbPerformanceFrequency()) * 0.2);
    EXPECT_EQ(trigger->GetEvent(), kEventSound);
    EXPECT_EQ(trigger->GetRadius(), 1000);
    EXPECT_EQ(trigger->GetPeriod(), ticks);
    EXPECT_EQ(trigger->GetEndTime(), HbGameClock::Instance()->mGameTime + ticks);
    EXPECT_EQ(trigger->GetMask(), uint32_t(HeroEnemyFamily));
    EXPECT_EQ(trigger->GetLineTest(), 0);
    EXPECT_EQ(trigger->GetValue(), 6.0f);
    Frame::SyncDirtyList();
    const Vector* at = trigger->GetNode()->GetWorldPosition();
    EXPECT_EQ(at->x, 100.0f);
    EXPECT_EQ(at->z, 200.0f);
    EXPECT_EQ(mRifle->GetSoundLevel(), 50u);
    EXPECT_EQ(hero->mLightBoost, 1.5f);

    // Without a holder: no alert and no light, but the weapon still shoots.
    holder->mNode->RemoveChild(mRifle->GetNode());
    hero->mLightBoost = -1.0f;
    trigger->Stop();
    EXPECT_EQ(mRifle->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRifle->mShots, 3);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 0);
    EXPECT_EQ(hero->mLightBoost, -1.0f);

    // A quiet weapon alerts nobody and keeps its level.
    Held({0, 0, 0});
    TsWeaponShoot quiet;
    quiet.mMagazineSize = 5;
    quiet.SetAmmo(5);
    EXPECT_EQ(quiet.Fire(1.0f, 0), 1);
    EXPECT_EQ(quiet.GetSoundLevel(), 0u);
    EXPECT_EQ(TriggerManager::GetLiveCount(), 0);
}

TEST_F(ShootingWeapon, TheSpreadIsDeterministicForASeededState)
{
    mRifle->SetAmmo(30);
    mRifle->mMaxSpread = -1.0f;
    mRifle->Fire(1.0f, 0);
    EXPECT_EQ(mRifle->mDirection.x, 0.0f);
    EXPECT_EQ(mRifle->mDirection.y, 0.0f);
    EXPECT_EQ(mRifle->mDirection.z, 1.0f) << "a negative maximum turns the spread off";

    // Equal minimum and maximum: both deviations are exactly -min/2 degrees.
    mRifle->mMinSpread = mRifle->mMaxSpread = 10.0f;
    mRifle->Fire(1.0f, 0);
    const float c = std::cos(5.0f * 3.14159265f / 180.0f);
    EXPECT_NEAR(mRifle->mDirection.z, c * c, 1e-5f);
    EXPECT_LT(mRifle->mDirection.x, 0.0f);

    // A seeded state gives the deviations its two draws say, and the same ones again.
    mRifle->mMinSpread = 0.0f;
    mRifle->mMaxSpread = 8.0f;
    uint32_t& state = HbRandom::Instance()->GameState();
    state = 12345u;
    uint32_t copy = state;
    const float x = HbRandom::QuickUniform(copy) * 8.0f - 4.0f, y = HbRandom::QuickUniform(copy) * 8.0f - 4.0f;
    mRifle->Fire(0.5f, 0);
    const Vector first = mRifle->mDirection;
    const float radians = 3.14159265f / 180.0f;
    EXPECT_NEAR(first.z, std::cos(0.5f * x * radians) * std::cos(0.5f * y * radians), 1e-5f);
    EXPECT_NEAR(first.x * first.x + first.y * first.y + first.z * first.z, 1.0f, 1e-5f);
    state = 12345u;
    mRifle->Fire(0.5f, 0);
    EXPECT_EQ(mRifle->mDirection.x, first.x);
    EXPECT_EQ(mRifle->mDirection.y, first.y);
    EXPECT_EQ(mRifle->mDirection.z, first.z);
}

TEST_F(ShootingWeapon, TheTotalIsSavedAndLoaded)
{
    ASSERT_EQ(Exec("class Gun:\n    def __init__(self):\n        self.actorName = 'gun1'\n        self.data = Gun\n"
                   "gun = Gun()"),
              "");
    mRifle->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "gun"));
    mRifle->SetAmmo(27);
    HbSaveFile save;
    ASSERT_EQ(mRifle->Save(&save), 1);
    mRifle->SetAmmo(-1);
    ASSERT_EQ(mRifle->Save(&save), 1);
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);

    Rifle loaded;
    loaded.mMagazineSize = 10;
    std::string text;
    for (int32_t expected : {27, -1})
    {
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(save.ReadString(text), 1);
        EXPECT_EQ(loaded.Load(&save), 1);
        EXPECT_EQ(loaded.GetTotal(), expected);
    }
    loaded.SetAmmo(13);
    HbSaveFile writing(8);
    EXPECT_EQ(loaded.Load(&writing), 0) << "nothing to read";
    EXPECT_EQ(loaded.GetTotal(), 13);
}

TEST_F(ShootingWeapon, AmmunitionCountsFromTheScript)
{
    ASSERT_EQ(Exec("rifle = 'rifle'"), "");
    mRifle->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "rifle"));
    mWorld->AddActor(mRifle);
    const int32_t shootData[3] = {7, 8, 9};
    mRifle->LoadData(10, 0.5f, 99, 2.0f, 6.0f, 30, 4, 1, shootData, 1.5f, 120, 17);
    EXPECT_EQ(mRifle->mMuzzleEffect, 60);
    EXPECT_EQ(mRifle->mMaxAmmo, 120);
    mRifle->LoadData(10, 0.5f, -4, 2.0f, 6.0f, 30, 4, 1, shootData, 1.5f, 120, 17);
    EXPECT_EQ(mRifle->mMuzzleEffect, 60) << "a negative effect id is none";
    EXPECT_EQ(Exec("SetAmmoNumber(rifle, 45)"), "");
    EXPECT_EQ(mRifle->mMagazine, 15);
    EXPECT_EQ(Exec("AddAmmo(rifle, 100)"), "");
    EXPECT_EQ(mRifle->GetTotal(), 120);

    FakeActor* other = Listed("other", {0, 0, 0});
    (void)other;
    const struct
    {
        const char* call;
        const char* error;
    } cases[] = {
        {"SetAmmoNumber('other', 3)", "RuntimeError: SetAmmoNumber : Weapon isn't a TsWeaponShoot"},
        {"AddAmmo('other', 3)", "RuntimeError: AddAmmo : Weapon isn't a TsWeaponShoot"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Exec(c.call), c.error) << c.call;
}

} // namespace
} // namespace scriptworldtest
