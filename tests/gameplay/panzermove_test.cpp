// The tank move skill on a walker-model tank whose head bone carries the turret's id: the
// weapons it mounts and the tanks it refuses, the per-tank orders of PanzerAction, the turret
// turn and its state-over event, and the cannon's recoil states by turret orientation.
#include "frame.h"
#include "hbclock.h"
#include "hbptr.h"
#include "hero.h"
#include "herostatemachine.h"
#include "herostates.h"
#include "moveanimplayerstate.h"
#include "moveskillhooks.h"
#include "panzermove.h"
#include "rdanimmotor.h"
#include "rdanimset.h"
#include "scene_fixture.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptinterpreter.h"
#include "scriptworld_fixture.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsfmod_fixture.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "w3danimobject.h"
#include "w3dobject.h"
#include "walker_fixture.h"
#include "walkermodel.h"
#include "weaponshoot.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
constexpr int32_t kKind = 3;
constexpr float kDt = 0.05f;

class Ring : public WeaponAmmoSource
{
public:
    int32_t TakeProjectile() override { return int32_t(mLaunches.size()); }
    void LaunchProjectile(int32_t, const WeaponLaunch& launch) override { mLaunches.push_back(launch); }
    int32_t TakeCasing() override { return -1; }
    void LaunchCasing(int32_t, const WeaponCasingRecord&, const Matrix&, float) override {}
    std::vector<WeaponLaunch> mLaunches;
};

class Tanks : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        if (HasFatalFailure())
            return;
        Declare("SD_E_TANK_ENGINE_S3DSB", "hum.wav");
        mWorld->StopScripting();
        mWorld->StartScripting();
        ASSERT_EQ(Exec("import skills"), "");
        mSavedHooks = GetMoveSkillHooks();
        MoveSkillHooksInstall();
        WeaponSetAmmoSource(&mRing);
        AnimSetFreeAll();
        ASSERT_NE(mAnims.Add("T_STILL_ANM", {0, 0, 0}, 1.0f), nullptr);
        AnimSetAddVariant(kKind, 0, "T_STILL_ANM", 1, 2, 1.0f, HeroEnemyFamily);
        mCannon = Gun("cannon");
        mMachineGun = Gun("mg");
        // The machine gun has a model of its own to hang on the tank's bone.
        W3dObject* gunModel = W3dObject::Create();
        ASSERT_NE(gunModel, nullptr);
        gunModel->SetClump(renderertest::MakeClump({nullptr}));
        mMachineGun->SetModel(gunModel);
    }
    void TearDown() override
    {
        for (TsAnimActor* tank : mTanks)
        {
            mWorld->RemoveActor(tank);
            tank->ExitMotorSkills();
            tank->Release();
        }
        for (WeaponShoot* gun : {mCannon, mMachineGun})
            if (gun)
            {
                mWorld->RemoveActor(gun);
                gun->Release();
            }
        AnimSetFreeAll();
        WeaponSetAmmoSource(nullptr);
        GetMoveSkillHooks() = mSavedHooks;
        SoundTest::TearDown();
        ScriptInterpreter::Stop();
        TsSkillRegistry::Instance()->Clear();
    }

    void Bind(TsActor* actor, const char* name)
    {
        ASSERT_EQ(Exec(std::string("class Actor: pass\n") + name + " = Actor()"), "");
        actor->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), name));
        mWorld->AddActor(actor);
    }
    WeaponShoot* Gun(const char* name)
    {
        auto* gun = new WeaponShoot();
        gun->AddRef();
        gun->mMagazineSize = 10;
        gun->mMaxSpread = -1.0f;
        gun->SetAmmo(20);
        for (int32_t anim = 0; anim < kAnimStateCount; ++anim)
            gun->GetAnimation(anim)->SetAnimation(kKind, 0);
        Bind(gun, name);
        return gun;
    }
    /// A tank at the point facing +z: the walker's chain as root, mount (bone 2), hull and,
    /// when asked, turret (bone 161; else the cannon's support).
    TsAnimActor* Tank(const char* name, bool turret = true, Vector at = {0, 0, 0})
    {
        W3dAnimObject* model = WalkerModel::CreateWithBones(
            nullptr, {"DummyRootBone", "Root", "Caisse", turret ? "Tourelle" : "Support_Canon"});
        EXPECT_NE(model, nullptr);
        auto* tank = new TsAnimActor();
        tank->AddRef();
        tank->SetModel(model);
        mTanks.push_back(tank);
        mScene->GetRoot()->AttachChild(model);
        ::Frame::Translate(model->GetEngineFrame(), &at, kCombineReplace);
        ::Frame::SyncDirtyList();
        Bind(tank, name);
        return tank;
    }
    /// The skill made by the factory with (cannon, offset, gun, offset); null when refused.
    PanzerMoveMSState* Skill(TsAnimActor* tank, const char* cannon = "cannon", const char* gun = "mg")
    {
        const std::string code = std::string("(") + cannon + ", vertex(0, 10, 0), " + gun + ", vertex(5, 0, 0))";
        PyObject* tuple = PyRun_String(code.c_str(), Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
        EXPECT_NE(tuple, nullptr);
        auto* skill = static_cast<PanzerMoveMSState*>(PanzerMoveMSState::Create(tank, tuple));
        Py_XDECREF(tuple);
        PyErr_Clear();
        if (skill)
            EXPECT_EQ(tank->GetMotorSkills()->AddSkill(skill), 1);
        return skill;
    }
    int32_t Frame(TsAnimActor* tank, float seconds = kDt)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()));
        clock->mStepSeconds = seconds;
        const int32_t result = tank->GetMotorSkills()->LoopSkill(PanzerMoveMSState::kName);
        ::Frame::SyncDirtyList();
        return result;
    }
    int32_t Queued(TsActor* actor, int32_t id)
    {
        int32_t n = 0;
        for (int32_t i = 0; i < mWorld->GetQueuedCount(); ++i)
            n += mWorld->GetQueuedEvent(i)->id == id && mWorld->GetQueuedEvent(i)->target == actor;
        return n;
    }

    MoveSkillHooks mSavedHooks;
    walkertest::Animations mAnims;
    Ring mRing;
    WeaponShoot* mCannon = nullptr;
    WeaponShoot* mMachineGun = nullptr;
    std::vector<TsAnimActor*> mTanks;
};

TEST_F(Tanks, ATankMountsItsTwoFirearmsAndRefusesWhatItCannotUse)
{
    TsAnimActor* tank = Tank("tank");
    ASSERT_EQ(Exec("class Thing: pass\nrock = Thing()"), "");
    EXPECT_EQ(Skill(tank, "rock", "mg"), nullptr) << "a cannon that is no shooting weapon";
    EXPECT_EQ(Skill(tank, "cannon", "rock"), nullptr) << "a machine gun that is no shooting weapon";
    EXPECT_EQ(Skill(Tank("bare", false), "cannon", "mg"), nullptr) << "a model without the turret bone";

    PanzerMoveMSState* skill = Skill(tank);
    ASSERT_NE(skill, nullptr);
    EXPECT_EQ(tank->GetWeapon(), mCannon);
    EXPECT_EQ(static_cast<W3dAnimObject*>(tank->GetNode())->GetAttachedNode(PanzerMoveMSState::kMachineGunBone),
              mMachineGun->GetNode())
        << "the machine gun hangs on bone 2";
    EXPECT_EQ(skill->mCannon, mCannon);
    EXPECT_EQ(skill->mMachineGun, mMachineGun);
    EXPECT_EQ(skill->mTurnRate, 50.0f);
    EXPECT_EQ(tank->GetMovePlayer()->GetCurrentStateIndex(), PanzerMoveMSState::kStand);
}

TEST_F(Tanks, OrdersAreKeptPerTank)
{
    TsAnimActor* first = Tank("first");
    PanzerMoveMSState* a = Skill(first);
    ASSERT_NE(a, nullptr);
    TsAnimActor* second = Tank("second", true, {500, 0, 0});
    PanzerMoveMSState* b = Skill(second);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Exec("skills.PanzerAction(second, 4)"), "");
    EXPECT_EQ(a->mAction, PanzerMoveMSState::kNone);
    EXPECT_EQ(b->mAction, PanzerMoveMSState::kShoot2);
    EXPECT_EQ(Exec("skills.PanzerAction(second, 'x')").rfind("TypeError", 0), 0u);
}

TEST_F(Tanks, TheTurretWaitsForATargetAndReportsWhenAligned)
{
    TsAnimActor* tank = Tank("tank");
    PanzerMoveMSState* skill = Skill(tank);
    ASSERT_NE(skill, nullptr);
    skill->mAction = PanzerMoveMSState::kStartAim;
    Frame(tank);
    EXPECT_EQ(skill->mAction, PanzerMoveMSState::kStartAim) << "no aim target: the order waits";
    EXPECT_EQ(Queued(tank, kEventSapStateOver), 0);

    // A target straight ahead: the turret already faces it.
    Bind(Make("ahead", {0, 0, 400}), "ahead");
    ASSERT_EQ(Exec("skills.PnjSetTarget(tank, ahead, 1.0)"), "");
    Frame(tank);
    EXPECT_EQ(skill->mAction, PanzerMoveMSState::kNone);
    EXPECT_EQ(Queued(tank, kEventSapStateOver), 1);

    // A target to the side: the turret turns over several frames, the order pending meanwhile.
    ScriptWorldTest::Frame(0.0f);
    Bind(Make("side", {400, 0, 0}), "side");
    ASSERT_EQ(Exec("skills.PnjSetTarget(tank, side, 1.0)"), "");
    skill->mAction = PanzerMoveMSState::kStartAim;
    Frame(tank);
    EXPECT_EQ(skill->mAction, PanzerMoveMSState::kStartAim);
    EXPECT_EQ(Queued(tank, kEventSapStateOver), 0);
}

TEST_F(Tanks, TheCannonRecoilsByTheTurretsOrientationAndTheMachineGunDoesNot)
{
    TsAnimActor* tank = Tank("tank");
    PanzerMoveMSState* skill = Skill(tank);
    ASSERT_NE(skill, nullptr);
    const struct
    {
        float turretYaw;
        int32_t recoil;
    } cases[] = {{0.0f, 63}, {180.0f, 64}, {90.0f, 65}, {-90.0f, 66}};
    const Vector up = {0.0f, 1.0f, 0.0f};
    for (const auto& c : cases)
    {
        // Leaving the skill resets the players: the recoil of the last case ends. Entering it
        // again puts a fresh lock on the turret, which faces forward until turned.
        tank->GetMotorSkills()->LoopSkill(DoNothingMSState::kName);
        Frame(tank);
        ::Frame::Rotate(skill->mTurretFrame, &up, c.turretYaw, kCombineReplace);
        ::Frame::SyncDirtyList();
        const size_t shots = mRing.mLaunches.size();
        skill->mAction = PanzerMoveMSState::kShoot1;
        Frame(tank);
        EXPECT_EQ(mRing.mLaunches.size(), shots + 1) << c.turretYaw;
        EXPECT_EQ(skill->mAction, PanzerMoveMSState::kNone);
        EXPECT_EQ(tank->GetMovePlayer()->GetCurrentStateIndex(), c.recoil) << c.turretYaw;
    }
    tank->GetMotorSkills()->LoopSkill(DoNothingMSState::kName);
    const int32_t before = tank->GetMovePlayer()->GetCurrentStateIndex();
    const int32_t rounds = mMachineGun->mMagazine;
    skill->mAction = PanzerMoveMSState::kShoot2;
    Frame(tank);
    EXPECT_EQ(mMachineGun->mMagazine, rounds - 1) << "the machine gun fired";
    EXPECT_EQ(tank->GetMovePlayer()->GetCurrentStateIndex(), before) << "no recoil";
}

TEST_F(Tanks, TheEngineStartsWithTheFirstTurnInPlaceAndStopsWithTheSkill)
{
    TsAnimActor* tank = Tank("tank");
    PanzerMoveMSState* skill = Skill(tank);
    ASSERT_NE(skill, nullptr);
    Frame(tank);
    EXPECT_EQ(skill->mEngineSound, -1) << "standing, the engine is quiet";
    tank->GetMovePlayer()->RequestState(PanzerMoveMSState::kTurnInPlace);
    Frame(tank);
    const int32_t engine = skill->mEngineSound;
    EXPECT_GE(engine, 0);
    tank->GetMovePlayer()->RequestState(PanzerMoveMSState::kTurnRight);
    Frame(tank);
    EXPECT_EQ(skill->mEngineSound, engine) << "one engine sound for every turn";
    tank->GetMotorSkills()->LoopSkill(DoNothingMSState::kName);
    EXPECT_EQ(skill->mEngineSound, -1);
}

TEST_F(Tanks, CrushingKillsTheHeroInFrontAndOnlyBrakesOtherwise)
{
    TsAnimActor* tank = Tank("tank");
    PanzerMoveMSState* skill = Skill(tank);
    ASSERT_NE(skill, nullptr);
    auto* hero = new Hero();
    hero->AddRef();
    if (walkertest::Walker* walker = walkertest::MakeWalker())
    {
        W3dAnimObject* model = walker->GetModel();
        model->AddRef();
        walker->Release();
        hero->SetModel(model);
        model->Release();
    }
    ASSERT_NE(hero->GetNode(), nullptr);
    mScene->GetRoot()->AttachChild(hero->GetNode());
    mWorld->SetHero(hero);
    static int32_t god = 0;
    HeroSetGodReader([](int32_t*) { return god; });
    const struct
    {
        float heroZ;
        int32_t godMode;
        bool dies;
    } cases[] = {{100.0f, 0, false}, {-100.0f, 0, false}, {100.0f, 1, false}, {100.0f, 0, true}};
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        const auto& c = cases[i];
        // The first case touches another actor: the tank only brakes.
        const Vector at = {0.0f, 0.0f, c.heroZ};
        ::Frame* frame = hero->GetNode()->GetEngineFrame();
        ::Frame::SetIdentity(frame);
        ::Frame::Translate(frame, &at, kCombineReplace);
        ::Frame::SyncDirtyList();
        god = c.godMode;
        hero->GetStateMachine()->SetState(kHeroNormalWait);
        skill->mAction = PanzerMoveMSState::kShoot1;
        tank->GetMotorSkills()->mFlags = 0;
        TsActor* touched = i == 0 ? static_cast<TsActor*>(mCannon) : hero;
        EXPECT_EQ(skill->CrushActor(touched), 1);
        EXPECT_EQ(hero->GetStateMachine()->GetCurrentCode() == kHeroDie, c.dies) << i;
        EXPECT_EQ(skill->mAction, PanzerMoveMSState::kNone) << i;
        EXPECT_TRUE(tank->GetMotorSkills()->mFlags & TsMotorSkills::kSucceeded) << i;
    }
    EXPECT_NEAR(hero->GetNode()->GetWorldAt()->z, 1.0f, 1e-3f) << "the hero looks along the tank";
    HeroSetGodReader(nullptr);
    mWorld->SetHero(nullptr);
    mScene->GetRoot()->RemoveChild(hero->GetNode());
    hero->Release();
}

TEST_F(Tanks, AReplacedModelsTurretIsTheOneTurnedAndRead)
{
    TsAnimActor* tank = Tank("tank");
    PanzerMoveMSState* skill = Skill(tank);
    ASSERT_NE(skill, nullptr);
    Frame(tank); // entered: the lock is on the first model's turret
    const Vector up = {0.0f, 1.0f, 0.0f};
    ::Frame::Rotate(skill->mTurretFrame, &up, 90.0f, kCombineReplace);
    ::Frame::SyncDirtyList();

    // A new model (a wreck, say) replaces the first, which goes with its frames and its lock.
    HbHandlePtr first(tank->GetNode());
    mScene->GetRoot()->RemoveChild(tank->GetNode());
    tank->SetModel(WalkerModel::CreateWithBones(nullptr, {"DummyRootBone", "Root", "Caisse", "Tourelle"}));
    ::Frame::SyncDirtyList();
    ASSERT_FALSE(first.IsValid()) << "the first model is gone";

    // The new turret faces forward: a cannon shot recoils to the front, and an order to aim to
    // the side turns the new turret's lock.
    skill->mAction = PanzerMoveMSState::kShoot1;
    Frame(tank);
    EXPECT_EQ(tank->GetMovePlayer()->GetCurrentStateIndex(), PanzerMoveMSState::kRecoilFront);
    Bind(Make("side", {400, 0, 0}), "side");
    ASSERT_EQ(Exec("skills.PnjSetTarget(tank, side, 1.0)"), "");
    skill->mAction = PanzerMoveMSState::kStartAim;
    Frame(tank);
    EXPECT_EQ(skill->mAction, PanzerMoveMSState::kStartAim) << "turning";
    EXPECT_NE(skill->mTurretLock, nullptr);
    EXPECT_EQ(tank->GetAnimMotor()->GetLockedBoneCount(), 1);

    // A model without a turret leaves the orders waiting and the cannon without recoil.
    tank->SetModel(WalkerModel::CreateWithBones(nullptr, {"DummyRootBone", "Root", "Caisse", "Support_Canon"}));
    ::Frame::SyncDirtyList();
    Frame(tank);
    EXPECT_EQ(skill->mTurretFrame, nullptr);
    EXPECT_EQ(skill->mAction, PanzerMoveMSState::kStartAim);
    const size_t shots = mRing.mLaunches.size();
    skill->mAction = PanzerMoveMSState::kShoot1;
    Frame(tank);
    EXPECT_EQ(mRing.mLaunches.size(), shots + 1);
    const int32_t state = tank->GetMovePlayer()->GetCurrentStateIndex();
    EXPECT_TRUE(state < PanzerMoveMSState::kRecoilFront || state > PanzerMoveMSState::kRecoilSideB) << state;
}
} // namespace
