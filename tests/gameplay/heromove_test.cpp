// The hero move skill on a hero with the walker's model: every state its Setup makes against
// the hero's state tables, the pair and blend tables, Enter and Loop, the callbacks that refuse
// a reload or a shot, the shot's rumble, the neutralisation's target rule, and the script
// functions' errors.
#include "animmovectrl.h"
#include "dinput8testhooks.h"
#include "frame.h"
#include "gameplay_fixture.h"
#include "hbclock.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "heroinput.h"
#include "heromove.h"
#include "herostates.h"
#include "moveanimplayerstate.h"
#include "moveblendtables.h"
#include "script_fixture.h"
#include "staticanimplayerstate.h"
#include "tsfmod_fixture.h"
#include "tsfmodsound.h"
#include "tsmotorskills.h"
#include "w3danimobject.h"
#include "walker_fixture.h"
#include "weaponcontact.h"
#include "weaponshoot.h"
#include "win32.h"

#include <Python.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

namespace soundtest
{
namespace
{
using AP = AnimPlayerState;

constexpr const char* kRoll = "SD_H_ROLL_S3DSB";
constexpr const char* kDeath = "SD_H_DEATH_S3DSB";
constexpr const char* kKnife = "SD_H_KNIFE_ATTACK_S3DSB";
constexpr const char* kTake = "SD_H_WEAPON_TAKE_S3DSB";
constexpr float kMax = FLT_MAX;

/// A state as the hero's tables give it.
struct Expected
{
    int32_t id;
    int32_t anim;
    int32_t mode;
    int32_t flags;
    float limit;
    int32_t channel;
    int32_t play;
    int32_t entry;
    const char* sound;
    int32_t next;
    float time1;
    float time2;
    AP::Callback update;
    AP::EnterCallback enter;
    AP::Callback leave;
};

const Expected kMap[] = {
    {57, 45, 3, 0x70, kMax, 1, 0, 1, nullptr, 3, 0, 0, HeroMoveQuickTurnUpdate, HeroMoveFaceMoveDirection, nullptr},
    {58, 6, 0, 0x870, 0, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {61, 51, 0, 0x870, 0, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {62, 52, 0, 0x870, 0, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {2, 44, 0, 0x870, 0, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {3, 0, 3, 0x0, 0, 1, 3, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {7, 1, 3, 0x879, 0, 3, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {11, 6, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {22, 7, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {23, 8, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0.5f, 0.25f, nullptr, HeroMoveAimWalkEnter, nullptr},
    {24, 9, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {25, 10, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {26, 13, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {59, 46, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {60, 47, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {28, 14, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 1, 0, nullptr, nullptr, nullptr},
    {31, 15, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {35, 16, 3, 0x879, 0, 3, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {36, 17, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {37, 18, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {38, 19, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {39, 20, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {10, 26, 3, 0x870, kMax, 1, 0, 1, kRoll, 3, 0, 0, nullptr, nullptr, nullptr},
    {41, 36, 0, 0x870, kMax, 1, 0, 0, kDeath, 0, 0, 0, nullptr, nullptr, HeroMoveResetController},
    {42, 37, 0, 0x870, kMax, 1, 0, 0, kDeath, 0, 0, 0, nullptr, nullptr, HeroMoveResetController},
    {49, 30, 0, 0x1070, kMax, 1, 0, 0, nullptr, 3, 0, 0, HeroMoveNeutralizeUpdate, HeroMoveNeutralizeEnter,
     HeroMoveNeutralizeLeave},
    {51, 8, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {52, 9, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {53, 18, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {54, 19, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {55, 23, 3, 0x70, kMax, 1, 0, 1, kKnife, 3, 0, 0, nullptr, nullptr, nullptr},
    {56, 25, 3, 0x70, kMax, 1, 0, 1, kKnife, 28, 0, 0, nullptr, nullptr, nullptr},
    {76, 3, 0, 0x870, kMax, 1, 0, 1, nullptr, 28, 0, 0, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {78, 62, 0, 0x1204, kMax, 1, 0, 1, nullptr, 85, 0, 0, nullptr, nullptr, nullptr},
    {79, 63, 0, 0x1200, kMax, 1, 0, 1, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {80, 64, 0, 0x1200, kMax, 1, 0, 1, nullptr, 84, 0, 0, nullptr, nullptr, nullptr},
    {81, 65, 0, 0x1200, kMax, 1, 0, 1, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {82, 66, 0, 0x200, kMax, 1, 0, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {83, 67, 0, 0x200, kMax, 1, 0, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {84, 68, 0, 0x200, kMax, 1, 1, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {85, 69, 0, 0x200, kMax, 1, 1, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {77, 33, 3, 0x70, kMax, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
};

const Expected kSap[] = {
    {16, 3, 0, 0, 0, 2, 0, 1, nullptr, 0, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {17, 22, 0, 0, 0, 2, 0, 1, nullptr, 0, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {20, 3, 0, 0, 0, 2, 0, 1, nullptr, 31, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {21, 22, 0, 0, 0, 2, 0, 1, nullptr, 32, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {18, 3, 0, 0, 0, 2, 0, 1, nullptr, 30, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {19, 3, 0, 0, 0, 2, 0, 1, nullptr, 29, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {22, 27, 0, 0, 0, 2, 0, 1, kTake, 0, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {23, 27, 0, 0, 0, 2, 0, 1, kTake, 0, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {24, 27, 0, 0, 0, 2, 0, 1, kTake, 31, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {25, 27, 0, 0, 0, 2, 0, 1, kTake, 32, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {26, 27, 0, 0, 0, 2, 0, 1, kTake, 30, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {27, 27, 0, 0, 0, 2, 0, 1, kTake, 29, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {7, 2, 0, 0, 0, 2, 4, 1, nullptr, 31, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {8, 2, 0, 0, 0, 2, 4, 1, nullptr, 32, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {9, 2, 0, 0, 0, 2, 4, 1, nullptr, 29, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {10, 2, 0, 0, 0, 2, 4, 1, nullptr, 30, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {5, 25, 0, 0, 0, 2, 0, 1, kKnife, 0, 0, 0, nullptr, nullptr, nullptr},
    {2, 23, 0, 0, 0, 2, 0, 1, kKnife, 0, 0, 0, nullptr, nullptr, nullptr},
    {29, 48, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {30, 49, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {31, 1, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {32, 16, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {35, 14, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {28, 50, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.2f, 0, nullptr, HeroMoveWallEnter, HeroMoveWallLeave},
};

/// The options set after the states: speed-synchronised, not interruptible, priority 1.
const std::vector<int32_t> kSynced = {11, 26, 59, 60, 31, 22, 23, 24, 25, 36, 37, 38, 39};
const std::vector<int32_t> kMapExclusive = {41, 42, 49, 77};
const std::vector<int32_t> kMapPriority = {55, 41, 42};

bool In(const std::vector<int32_t>& ids, int32_t id)
{
    for (int32_t i : ids)
        if (i == id)
            return true;
    return false;
}

std::vector<float> gRumbles;

class HeroMove : public SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        for (const char* id : {kRoll, kDeath, kKnife, kTake})
            Declare(id, "hum.wav");
        for (PyMethodDef* def = HeroMoveScriptFunctions(); def->ml_name; ++def)
        {
            PyObject* function = PyCFunction_New(def, nullptr);
            PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
            Py_XDECREF(function);
        }
        HeroActorHooksInstall();
        HeroInputReset();
        gRumbles.clear();
        HeroSetRumbleSink([](int32_t, float a, float) { gRumbles.push_back(a); });
        mHero = new Hero();
        mHero->AddRef();
        walkertest::Walker* walker = walkertest::MakeWalker();
        ASSERT_NE(walker, nullptr);
        W3dAnimObject* model = walker->GetModel();
        model->AddRef();
        walker->Release();
        mHero->SetModel(model);
        model->Release();
        mWorld->SetHero(mHero);
        mWorld->AddActor(mHero);
        mSkill = HeroMoveMSState::Create(mHero, Py_None);
        ASSERT_NE(mSkill, nullptr);
        mHero->GetMotorSkills()->AddSkill(mSkill);
    }
    void TearDown() override
    {
        mHero->Restart();
        mHero->SetWeapon(nullptr);
        mHero->GetMotorSkills()->ExitCurrent();
        mWorld->RemoveActor(mHero);
        mWorld->SetHero(nullptr);
        mHero->Release();
        for (TsActor* weapon : mWeapons)
            weapon->Release();
        HeroSetRumbleSink(nullptr);
        HeroActorHooksRemove();
        HeroInputReset();
        HbInputManager::Instance()->Reset();
        SoundTest::TearDown();
    }
    template <typename Class> Class* Give(const char* name)
    {
        auto* weapon = new Class();
        weapon->AddRef();
        mWeapons.push_back(weapon);
        auto* item = new TsInventoryItem();
        item->mName = name;
        item->SetActor(weapon);
        mHero->GetWeaponList()->Add(item);
        EXPECT_EQ(mHero->SelectWeapon(name), 1);
        return weapon;
    }
    static int64_t Ticks(float seconds) { return int64_t(double(seconds) * double(HbPerformanceFrequency())); }
    void ExpectState(AnimPlayerState* state, const Expected& e, bool move)
    {
        SCOPED_TRACE((move ? "MAP " : "SAP ") + std::to_string(e.id));
        ASSERT_NE(state, nullptr);
        if (move)
        {
            auto* m = HbCastTo<MoveAnimPlayerState>(state);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->mMoveMode, e.mode);
            EXPECT_EQ(m->mMoveFlags, e.flags);
            EXPECT_EQ(m->mMaxStep, e.limit);
            EXPECT_EQ(state->mSpeedRate, In(kSynced, e.id) ? 1 : 0);
            EXPECT_EQ(state->mExclusive, In(kMapExclusive, e.id) ? 1 : 0);
            EXPECT_EQ(state->mPriority, In(kMapPriority, e.id) ? 1 : 0);
        }
        else
        {
            EXPECT_NE(HbCastTo<StaticAnimPlayerState>(state), nullptr);
            EXPECT_EQ(state->mSpeedRate, 0);
            EXPECT_EQ(state->mExclusive, e.id == 22 ? 1 : 0);
            EXPECT_EQ(state->mPriority, 0);
            const bool shooting = e.id >= 7 && e.id <= 10;
            EXPECT_EQ(state->mCanContinue, shooting ? HeroMoveShootRepeat : nullptr);
            EXPECT_EQ(state->mRearm, shooting ? HeroMoveShootHold : nullptr);
        }
        EXPECT_EQ(state->mAnimState, e.anim);
        EXPECT_EQ(state->mBoneProfile, e.channel);
        EXPECT_EQ(state->mPlayKind, e.play);
        EXPECT_EQ(state->mLockOnEnter, e.entry);
        HbRoot* sound = e.sound ? HbResourceManager::Instance()->GetResource(e.sound) : nullptr;
        EXPECT_EQ(static_cast<HbRoot*>(state->mSound), sound);
        if (e.sound)
            EXPECT_NE(sound, nullptr);
        EXPECT_EQ(state->mDefaultNext, e.next);
        EXPECT_NEAR(double(state->mMinimumDuration), double(Ticks(e.time1)), 1.0);
        EXPECT_NEAR(double(state->mReentryDelay), double(Ticks(e.time2)), 1.0);
        EXPECT_EQ(state->mUpdate, e.update);
        EXPECT_EQ(state->mEnter, e.enter);
        EXPECT_EQ(state->mLeave, e.leave);
        EXPECT_EQ(state->mLeaveData, e.leave == HeroMoveWeaponTaken ? static_cast<void*>(mSkill) : nullptr);
        const bool combo = move && e.id == 55;
        EXPECT_EQ(state->mEndAnimation, combo ? 24 : kNoAnimState);
        EXPECT_STREQ(state->mEndName ? state->mEndName : "", combo ? "SHOOT_CLICK" : "");
        if (combo)
            EXPECT_NEAR(double(state->mEndDelay), double(Ticks(0.2f)), 1.0);
    }
    void AttachPad()
    {
        HbInputManager* input = HbInputManager::Instance();
        dinput8test::UseSource(dinput8test::Source::Injected);
        dinput8test::AttachPad();
        Window().instance = GetModuleHandleA(nullptr);
        ASSERT_EQ(input->InitDirectInput(), 0);
        ASSERT_EQ(input->CreateController(2, "Paddle1"), 1);
    }

    gameplaytest::GameClock mClock;
    Hero* mHero = nullptr;
    TsMotorSkill* mSkill = nullptr;
    std::vector<TsActor*> mWeapons;
};

TEST_F(HeroMove, EveryStateTheSetupMakesMatchesTheHerosTables)
{
    MoveAnimPlayerStateMachine* map = mHero->GetMovePlayer();
    StaticAnimPlayerStateMachine* sap = mHero->GetStaticPlayer();
    ASSERT_EQ(map->GetStateCount(), 92);
    ASSERT_EQ(sap->GetStateCount(), 36);
    EXPECT_EQ(map->GetCurrentStateIndex(), 3) << "prepared at Stand";
    static_assert(std::size(kMap) == 42 && std::size(kSap) == 24);
    std::vector<bool> mapUsed(92), sapUsed(36);
    for (const Expected& e : kMap)
    {
        ExpectState(map->GetState(e.id), e, true);
        mapUsed[size_t(e.id)] = true;
    }
    for (const Expected& e : kSap)
    {
        ExpectState(sap->GetState(e.id), e, false);
        sapUsed[size_t(e.id)] = true;
    }
    // No state beyond the tables.
    for (int32_t id = 0; id < 92; ++id)
        EXPECT_EQ(map->GetState(id) != nullptr, mapUsed[size_t(id)]) << "MAP " << id;
    for (int32_t id = 0; id < 36; ++id)
        EXPECT_EQ(sap->GetState(id) != nullptr, sapUsed[size_t(id)]) << "SAP " << id;
    // The aim bone target is the controller's probe on the root bone.
    EXPECT_EQ(HeroAimProbeIndex(mHero), 0);
}

TEST_F(HeroMove, PairTablesHoldBothOrdersAndTheScriptsFillTheBlendTimes)
{
    HeroMoveBlendTablesInit();
    const struct
    {
        HbIntHashMap* table;
        int32_t a;
        int32_t b;
        float seconds;
    } pairs[] = {{HeroMapPairs(), 59, 26, 0.2f}, {HeroMapPairs(), 60, 26, 0.2f}, {HeroMapPairs(), 59, 60, 0.3f},
                 {HeroMapPairs(), 83, 82, 0.2f}, {HeroMapPairs(), 11, 26, 0.2f}, {HeroSapPairs(), 7, 8, 0.1f},
                 {HeroSapPairs(), 7, 9, 0.1f},   {HeroSapPairs(), 7, 10, 0.1f},  {HeroSapPairs(), 8, 9, 0.1f},
                 {HeroSapPairs(), 8, 10, 0.1f},  {HeroSapPairs(), 9, 10, 0.1f}};
    for (const auto& p : pairs)
    {
        SCOPED_TRACE(std::to_string(p.a) + "-" + std::to_string(p.b));
        float one = 0.0f, other = 0.0f;
        ASSERT_EQ(HeroMoveTableFind(p.table, p.a, p.b, &one), 1);
        ASSERT_EQ(HeroMoveTableFind(p.table, p.b, p.a, &other), 1);
        EXPECT_EQ(one, p.seconds);
        EXPECT_EQ(other, p.seconds);
    }
    EXPECT_EQ(HeroMoveTableFind(HeroMapPairs(), 11, 59, nullptr), 0);

    // Without an entry 0.1 s; (All, to) applies from every state; one way unless both.
    MoveAnimPlayerStateMachine* map = mHero->GetMovePlayer();
    EXPECT_FLOAT_EQ(map->BlendTime(11, 26), 0.1f);
    EXPECT_EQ(Exec("HeroMAPTransition(65535, 26, 0.3, 0)\nHeroMAPTransition(11, 31, 0.7, 0)\n"
                   "HeroSAPTransition(29, 30, 0.25, 1)"),
              "");
    EXPECT_FLOAT_EQ(map->BlendTime(11, 26), 0.3f);
    EXPECT_FLOAT_EQ(map->BlendTime(3, 26), 0.3f);
    EXPECT_FLOAT_EQ(map->BlendTime(11, 31), 0.7f);
    EXPECT_FLOAT_EQ(map->BlendTime(31, 11), 0.1f);
    EXPECT_FLOAT_EQ(mHero->GetStaticPlayer()->BlendTime(30, 29), 0.25f);

    const struct
    {
        const char* call;
        const char* error;
    } failures[] = {
        {"HeroMAPTransition(1, 2, 'a', 0)", "TypeError: must be real number, not str"},
        {"HeroSAPTransition(1, 2)", "TypeError: HeroSAPTransition() takes exactly 4 arguments (2 given)"},
        {"HeroControleur(('Head', 'x', 1.0), None)",
         "TypeError: must be real number, not str"},
        {"HeroControleur(('Head', 1.0), None)",
         "TypeError: ParseHeroControleurFallRC() takes exactly 3 arguments (2 given)"},
    };
    for (const auto& f : failures)
        EXPECT_EQ(Exec(f.call), f.error) << f.call;
    EXPECT_EQ(FallBoneTargetIndex(), -1) << "a bad tuple adds nothing";
    EXPECT_EQ(Exec("HeroControleur(('Head', 20.0, 0.5), None)"), "");
    EXPECT_GE(FallBoneTargetIndex(), 1);
    HeroMoveTablesFree();
}

TEST_F(HeroMove, EnterResetsAsksForStandAndNormalWaitAndLoopNeverEnds)
{
    TsMotorSkills* skills = mHero->GetMotorSkills();
    for (int32_t pass = 0; pass < 2; ++pass)
    {
        SCOPED_TRACE(pass);
        mHero->GetStateMachine()->SetState(kHeroRoll);
        mHero->GetStaticPlayer()->SetRequest(31, 0);
        mHero->GetMovePlayer()->SetRequest(26, 0);
        mHero->GetMoveController()->SetMode(0);
        skills->ExitCurrent();
        skills->mFlags = 0;
        EXPECT_EQ(skills->LoopSkill(HeroMoveMSState::kName), 1);
        EXPECT_EQ(mHero->GetStateMachine()->GetCurrentCode(), kHeroNormalWait);
        EXPECT_EQ(mHero->GetMoveController()->GetMode(), 3u);
        EXPECT_EQ(mHero->GetStaticPlayer()->GetRequestedStateIndex(), 0) << "reset";
        for (int32_t frame = 0; frame < 3; ++frame)
        {
            mClock.Step(1.0f / 60.0f);
            EXPECT_EQ(skills->LoopSkill(HeroMoveMSState::kName), 1);
            EXPECT_TRUE(skills->mFlags & TsMotorSkills::kRunning);
            EXPECT_FALSE(skills->mFlags & (TsMotorSkills::kSucceeded | TsMotorSkills::kFailed));
        }
        EXPECT_EQ(mHero->GetMovePlayer()->GetRequestedStateIndex(), 3);
    }
}

TEST_F(HeroMove, ReloadAndShotAreRefusedWithoutTheirWeaponOrTargetAndTheShotRumbles)
{
    StaticAnimPlayerStateMachine* sap = mHero->GetStaticPlayer();
    Give<WeaponContact>("KNIFE");
    // The static player asked to reload with a knife stays where it was.
    sap->SetRequest(16, 0);
    sap->Update();
    EXPECT_EQ(sap->GetCurrentStateIndex(), 0);
    EXPECT_EQ(HeroMoveReloadEnter(nullptr, nullptr, mHero, nullptr), 0);
    EXPECT_EQ(HeroMoveShootLeave(nullptr, mHero, nullptr), 0);

    WeaponShoot* gun = Give<WeaponShoot>("GUN");
    gun->mMagazineSize = 10;
    gun->SetAmmo(25);
    gun->Fire(1.0f, 0);
    EXPECT_EQ(HeroMoveReloadEnter(nullptr, nullptr, mHero, nullptr), 1);
    EXPECT_EQ(gun->mMagazine, 10) << "reloaded";

    // An actor with no aim marker has no target: no shot.
    walkertest::Walker* other = walkertest::MakeWalker();
    EXPECT_EQ(HeroMoveShootEnter(nullptr, nullptr, other, nullptr), 0);
    other->Release();

    AttachPad();
    const struct
    {
        int32_t force;
        float rumble;
    } shots[] = {{10, 0.45f}, {39, 0.6f}, {65, 1.0f}, {130, 1.0f}};
    for (const auto& s : shots)
    {
        SCOPED_TRACE(s.force);
        gRumbles.clear();
        gun->mHit.damage = s.force;
        gun->SetAmmo(25);
        mClock.Step(1.0f / 60.0f);
        EXPECT_EQ(HeroMoveShootEnter(nullptr, nullptr, mHero, nullptr), 1);
        ASSERT_EQ(gRumbles.size(), 1u);
        EXPECT_FLOAT_EQ(gRumbles[0], s.rumble);
    }
}

TEST_F(HeroMove, TheNeutralisableTargetByTable)
{
    const Vector up = {0.0f, 1.0f, 0.0f};
    const struct
    {
        const char* why;
        Vector at;
        bool turned;
        uint32_t family;
        bool subscribed;
        int32_t hitPoints;
        int32_t placement; ///< 0 in the scene, 1 no node, 2 not listed
        int32_t target;
    } cases[] = {
        {"behind an enemy facing away", {0, 0, 100}, false, HeroEnemyFamily, true, 10, 0, 1},
        {"at 150 units", {0, 0, 150}, false, HeroEnemyFamily, true, 10, 0, 1},
        {"beyond 150 units", {0, 0, 151}, false, HeroEnemyFamily, true, 10, 0, 0},
        {"in front of the enemy", {0, 0, -100}, false, HeroEnemyFamily, true, 10, 0, 0},
        {"the enemy faces the hero", {0, 0, 100}, true, HeroEnemyFamily, true, 10, 0, 0},
        {"no enemy", {0, 0, 100}, false, DofFamily, true, 10, 0, 0},
        {"not subscribed", {0, 0, 100}, false, HeroEnemyFamily, false, 10, 0, 0},
        {"dead", {0, 0, 100}, false, HeroEnemyFamily, true, 0, 0, 0},
        {"no node", {0, 0, 100}, false, HeroEnemyFamily, true, 10, 1, 0},
        {"not listed", {0, 0, 100}, false, HeroEnemyFamily, true, 10, 2, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.why);
        scriptworldtest::FakeActor* enemy =
            c.placement == 2 ? Make("enemy", c.at, c.family)
                             : Listed("enemy", c.at, c.family, c.placement == 1 ? kNoNode : kInScene);
        enemy->mHitPoints = c.hitPoints;
        if (c.subscribed)
            Register(enemy, HeroMoveMSState::kNeutralizeEvent, "lambda *a: None", 0.0f);
        if (c.turned)
        {
            ::Frame::Rotate(enemy->mNode->GetEngineFrame(), &up, 180.0f, 1);
            ::Frame::SyncDirtyList();
        }
        EXPECT_EQ(HeroIsNeutralizableTarget(mHero, enemy), c.target);
        EXPECT_EQ(HeroCanNeutralize(mHero), c.target);
        EXPECT_EQ(HeroPickNeutralizeTarget(mHero), c.target);
        EXPECT_EQ(mHero->mHandle.IsValid() ? mHero->mHandle.GetObject() : nullptr, c.target ? enemy : nullptr);
        mHero->mHandle.Reset();
        mWorld->RemoveActor(enemy);
    }
    EXPECT_EQ(HeroIsNeutralizableTarget(mHero, mHero), 0) << "not the hero himself";

    // A firearm never grabs; the grab itself is refused with the enemy on top of the hero.
    scriptworldtest::FakeActor* enemy = Listed("enemy", {0, 0, 100}, HeroEnemyFamily);
    enemy->mHitPoints = 10;
    Register(enemy, HeroMoveMSState::kNeutralizeEvent, "lambda *a: None", 0.0f);
    Give<WeaponShoot>("GUN");
    EXPECT_EQ(HeroCanNeutralize(mHero), 0);
    ASSERT_EQ(HeroPickNeutralizeTarget(mHero), 1);
    const Vector onTop = {0.0f, 0.0f, 0.0f};
    enemy->SetPosition(&onTop);
    ::Frame::SyncDirtyList();
    EXPECT_EQ(HeroMoveNeutralizeEnter(nullptr, nullptr, mHero, nullptr), 0);
    const Vector ahead = {0.0f, 0.0f, 100.0f};
    enemy->SetPosition(&ahead);
    ::Frame::SyncDirtyList();
    EXPECT_EQ(HeroMoveNeutralizeEnter(nullptr, nullptr, mHero, nullptr), 1);
    EXPECT_NEAR(enemy->GetNode()->GetWorldPosition()->z, 90.0f, 1e-3f) << "held 90 units ahead";
    EXPECT_EQ(HeroMoveNeutralizeLeave(nullptr, mHero, nullptr), 1);
    EXPECT_FALSE(mHero->mHandle.IsValid());
}

} // namespace
} // namespace soundtest
