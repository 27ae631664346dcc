// The hero's services on a live hero actor: the states on its own animation players, the aim
// target on its movement controller's probe (which a wall in front of the weapon blocks), and
// the weapon keys it owns.
#include "gameplay_fixture.h"
#include "scriptworld_fixture.h"
#include "walker_fixture.h"

#include "animmovectrl.h"
#include "frame.h"
#include "heroactorhooks.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "herostates.h"
#include "heroweaponkeys.h"
#include "moveanimplayerstate.h"
#include "staticanimplayerstate.h"
#include "tsheroactor.h"
#include "w3danimobject.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using namespace gameplaytest;

/// A hero on the walker's four-bone model.
TsHeroActor* MakeHero()
{
    auto* hero = new TsHeroActor();
    hero->AddRef();
    walkertest::Walker* walker = walkertest::MakeWalker();
    if (!walker)
        return hero;
    W3dAnimObject* model = walker->GetModel();
    model->AddRef();
    walker->Release();
    hero->SetModel(model);
    model->Release();
    return hero;
}

class HeroActorHooks : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        HeroActorHooksInstall();
        HeroInputReset();
        AimBoneTargetSetBlocked(0);
        mHero = MakeHero();
        ASSERT_NE(mHero->GetModel(), nullptr);
    }
    void TearDown() override
    {
        AimBoneTargetClear(mHero);
        HeroActorHooksRemove();
        mHero->SetWeapon(nullptr);
        if (mGun)
            mGun->Release();
        mHero->Release();
        ScriptWorldTest::TearDown();
    }

    GameClock mClock;
    TsHeroActor* mHero = nullptr;
    TsWeaponShoot* mGun = nullptr;
};

TEST_F(HeroActorHooks, TheStatesRunOnTheHeroActorsOwnPlayers)
{
    EXPECT_EQ(HeroGetAnimPlayer(mHero, kHeroMovePlayer), mHero->GetMovePlayer());
    EXPECT_EQ(HeroGetAnimPlayer(mHero, kHeroStaticPlayer), mHero->GetStaticPlayer());

    // The common enter hangs the state's callbacks on the hero's players.
    HeroStateMachine* machine = mHero->GetStateMachine();
    ASSERT_EQ(HeroStatesAddAll(machine), kHeroStateCount);
    ASSERT_EQ(machine->SetState(kHeroNormalWait), 1);
    EXPECT_EQ(mHero->GetMovePlayer()->GetChangeData(), machine->GetCurrent());
    EXPECT_EQ(mHero->GetStaticPlayer()->GetChangeData(), machine->GetCurrent());

    // The weapon-change test reads the hero's static player: not while it shoots.
    mHero->GetStaticPlayer()->Init(36, mHero, 9);
    EXPECT_EQ(HeroCanChangeWeapon(mHero), 0);
    mHero->GetStaticPlayer()->Init(36, mHero, 0);
    EXPECT_EQ(HeroCanChangeWeapon(mHero), 1);

    // The states go before the players do; no callback is left on a deleted state.
    machine->RemoveAll();
    EXPECT_EQ(mHero->GetMovePlayer()->GetChangeData(), nullptr);
    EXPECT_EQ(mHero->GetStaticPlayer()->GetChangeData(), nullptr);
}

TEST_F(HeroActorHooks, TheAimTargetBendsTheControllersProbeAndAWallAheadBlocksTheWeapon)
{
    AnimMoveCtrl* controller = mHero->GetMoveController();
    ASSERT_NE(controller, nullptr);
    // Nothing bends without a firearm in hand.
    AimBoneTargetSet(mHero, 180.0f);
    EXPECT_EQ(controller->IsBoneTargetSet(0), 0);

    mGun = new walkertest::ShootWeapon();
    mGun->AddRef();
    mGun->mReal15 = 80.0f;
    mHero->SetWeapon(mGun);
    mHero->mWeaponKind = 0;
    AimBoneTargetSet(mHero, 180.0f);
    const int32_t index = HeroAimProbeIndex(mHero);
    ASSERT_GE(index, 0);
    EXPECT_EQ(controller->IsBoneTargetSet(index), 1);
    const Vector* offset = controller->GetBoneTargetOffset(index);
    EXPECT_EQ(offset->x, 0.0f);
    EXPECT_FLOAT_EQ(offset->y, AimBoneTargetUpdate().offsetY);
    EXPECT_EQ(offset->z, 80.0f) << "the weapon's reach";
    AimBoneTargetSet(mHero, 110.0f);
    EXPECT_EQ(HeroAimProbeIndex(mHero), index) << "one probe per controller";
    EXPECT_FLOAT_EQ(controller->GetBoneTargetOffset(index)->y, AimBoneTargetUpdate().offsetY);
    AimBoneTargetClear(mHero);
    EXPECT_EQ(controller->IsBoneTargetSet(index), 0);

    // The hero faces the fixture's wall (the plane x = 0) from 50 and from 150 units: only
    // the nearer one lies within the weapon's reach of 80.
    walkertest::Animations anims;
    RdAnimation* stand = anims.Add("HH_STAND_ANM", {0, 0, 0});
    ASSERT_NE(stand, nullptr);
    controller->SetCollisionWorlds(mWallWorld, nullptr);
    ::Frame* frame = mHero->GetModel()->GetEngineFrame();
    const struct
    {
        float distance;
        int32_t blocked;
    } cases[] = {{50.0f, 1}, {150.0f, 0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.distance);
        const Vector up = {0, 1, 0};
        ::Frame::Rotate(frame, &up, 90.0f, 0);
        const Vector ahead = ::Frame::GetWorldMatrix(frame)->at;
        ASSERT_NEAR(std::fabs(ahead.x), 1.0f, 1e-4f);
        const Vector at = {-c.distance * ahead.x, 0.0f, 0.0f};
        ::Frame::Translate(frame, &at, 2);
        ::Frame::SyncDirtyList();
        controller->PlayAnim(stand, walkertest::kAllProfile, 0, 0, 1);
        AimBoneTargetSet(mHero, 180.0f);
        mClock.Step(0.05f);
        mHero->GetModel()->GetMotor().Update();
        EXPECT_EQ(AimBoneTargetIsBlocked(), c.blocked);
        EXPECT_EQ(HeroIsWeaponBlocked(mHero), c.blocked);
        // A cleared target asks the probe no more.
        AimBoneTargetClear(mHero);
        EXPECT_EQ(AimBoneTargetIsBlocked(), 0);
    }
    controller->SetCollisionWorlds(nullptr, nullptr);
}

TEST_F(HeroActorHooks, EachHeroOwnsItsWeaponKeysAndOtherActorsHaveNone)
{
    HeroWeaponKeys* keys = HeroWeaponKeysOf(mHero);
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->SetSlotName(2, "KNIFE"), 1);
    EXPECT_EQ(HeroWeaponKeysOf(mHero), keys);
    EXPECT_STREQ(HeroWeaponKeysOf(mHero)->GetSlotName(2), "KNIFE");

    walkertest::Walker* walker = walkertest::MakeWalker();
    ASSERT_NE(walker, nullptr);
    EXPECT_EQ(HeroWeaponKeysOf(walker), nullptr) << "no hero";
    walker->Release();

    // A new hero starts with no key bound.
    mHero->Release();
    mHero = MakeHero();
    ASSERT_NE(HeroWeaponKeysOf(mHero), nullptr);
    EXPECT_STREQ(HeroWeaponKeysOf(mHero)->GetSlotName(2), "");
}

} // namespace
