// The hero's input tests on injected keys: what each asks of the object in hand and the hold
// mode, the crouch toggle once per frame, LOCK and its release across frames, the reload's
// ammunition rule, and the weapon choice by cycling or by key with its drop in hold mode 2.
#include "gameplay_fixture.h"
#include "heroinput.h"
#include "scriptworld_fixture.h"
#include "tsheroactor.h"
#include "tsweaponshoot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using namespace gameplaytest;

/// A hero with a weapon list: what it was asked and what it answers.
class FakeHost : public HeroInputHost
{
public:
    int32_t HasWeaponList(TsActor*) override { return 1; }
    int32_t CanNeutralize(TsActor*) override { return enemy; }
    int32_t PickNeutralizeTarget(TsActor*) override { return enemy; }
    int32_t CycleWeapon(TsActor*, int32_t direction, std::string* name) override
    {
        calls.push_back("cycle " + std::to_string(direction));
        if (cycled.empty())
            return 0;
        *name = cycled;
        return 1;
    }
    int32_t WeaponForKey(TsActor*, int32_t index, std::string* name) override
    {
        calls.push_back("key " + std::to_string(index));
        if (index != keyed)
            return 0;
        *name = "KNIFE";
        return 1;
    }
    void DropObject(TsActor*, const char* name) override { calls.push_back(std::string("drop ") + name); }

    int32_t enemy = 0;
    std::string cycled;
    int32_t keyed = -1;
    std::vector<std::string> calls;
};

class HeroInput : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        HeroInputReset();
        mHero = new TsHeroActor();
        mHero->AddRef();
        mGun = new TsWeaponShoot();
        mGun->AddRef();
        mKnife = new TsWeaponContact();
        mKnife->AddRef();
        const struct
        {
            const char* action;
            const char* key;
        } bindings[] = {{"SHOOT_CLICK", "VK_Q"},   {"SHOOT_DOWN", "VK_S"}, {"LOCK", "VK_L"},
                        {"CROUCH", "VK_C"},        {"ROLL", "VK_R"},       {"RELOAD", "VK_E"},
                        {"CHANGE_WEAPON", "VK_W"}, {"WEAPON_3", "VK_3"},   {"CMD_CONTEXTUAL_ACTION", "VK_X"}};
        for (const auto& b : bindings)
            ASSERT_TRUE(mInput.Bind(b.action, b.key)) << b.action;
    }
    void TearDown() override
    {
        HeroSetInputHost(nullptr);
        HeroInputReset();
        mHero->SetWeapon(nullptr);
        mKnife->Release();
        mGun->Release();
        mHero->Release();
        ScriptWorldTest::TearDown();
    }

    /// The next frame with exactly these keys down.
    void Keys(const std::string& down)
    {
        for (char key : std::string("QSLCREW3X"))
            mInput.Lift(uint8_t(key));
        for (char key : down)
            mInput.Press(uint8_t(key));
        mInput.Frame();
        mClock.Step(1.0f / 60.0f);
    }
    void Hold(TsActor* object, int32_t holdMode)
    {
        mHero->SetWeapon(object);
        mHero->mWeaponKind = holdMode;
    }

    Input mInput;
    GameClock mClock;
    TsHeroActor* mHero = nullptr;
    TsWeaponShoot* mGun = nullptr;
    TsWeaponContact* mKnife = nullptr;
};

TEST_F(HeroInput, EachTestByObjectInHandHoldModeAndKeys)
{
    FakeHost host;
    HeroSetInputHost(&host);
    enum Held
    {
        kNothing,
        kKnife,
        kGun
    };
    using Test = int32_t (*)(TsActor*);
    const struct
    {
        const char* name;
        Test test;
        Held held;
        int32_t holdMode;
        int32_t enemy;
        const char* keys;
        int32_t expected;
    } cases[] = {
        {"shoot click, nothing held", HeroInShootClick, kNothing, 0, 0, "Q", 0},
        {"shoot click, knife", HeroInShootClick, kKnife, 0, 0, "Q", 1},
        {"shoot click, knife near an enemy", HeroInShootClick, kKnife, 0, 1, "Q", 0},
        {"shoot click, gun: no search", HeroInShootClick, kGun, 0, 1, "Q", 1},
        {"shoot click, no key", HeroInShootClick, kGun, 0, 0, "", 0},
        {"bare hold, mode 1", HeroInShootClickBareHold, kGun, 1, 0, "Q", 0},
        {"bare hold, mode 0", HeroInShootClickBareHold, kGun, 0, 0, "Q", 1},
        {"contact strike, knife and enemy", HeroInContactStrike, kKnife, 0, 1, "S", 1},
        {"contact strike, no enemy", HeroInContactStrike, kKnife, 0, 0, "S", 0},
        {"contact strike, gun", HeroInContactStrike, kGun, 0, 1, "S", 0},
        {"shooting, gun", HeroInShooting, kGun, 0, 0, "S", 1},
        {"shooting, knife", HeroInShooting, kKnife, 0, 0, "S", 0},
        {"lock, nothing held", HeroInLockTest, kNothing, 0, 0, "L", 0},
        {"lock, knife", HeroInLockTest, kKnife, 0, 0, "L", 1},
        {"roll, mode 0", HeroInRoll, kNothing, 0, 0, "R", 1},
        {"roll, mode 1", HeroInRoll, kGun, 1, 0, "R", 0},
        {"contextual, mode 2", HeroInContextualAction, kGun, 2, 0, "X", 1},
        {"contextual, mode 0", HeroInContextualAction, kGun, 0, 0, "X", 0},
    };
    for (const auto& c : cases)
    {
        Hold(c.held == kGun ? static_cast<TsActor*>(mGun) : c.held == kKnife ? mKnife : nullptr, c.holdMode);
        host.enemy = c.enemy;
        Keys(c.keys);
        EXPECT_EQ(c.test(mHero), c.expected) << c.name;
    }
    // The contextual action drops what is held and goes back to the previous weapon.
    EXPECT_EQ(host.calls, std::vector<std::string>{"drop "});
}

TEST_F(HeroInput, CrouchTogglesOncePerFrameAndLockStampsTheFrame)
{
    Hold(mGun, 0);
    Keys("C");
    EXPECT_EQ(HeroInCrouchEnter(mHero), 1);
    EXPECT_EQ(HeroIsCrouched(), 1);
    // Other states asking in the same frame see no second press.
    EXPECT_EQ(HeroInCrouchEnter(mHero), 0);
    EXPECT_EQ(HeroInCrouchLeave(mHero), 0);
    EXPECT_EQ(HeroIsCrouched(), 1);
    Keys("C");
    EXPECT_EQ(HeroInCrouchLeave(mHero), 1) << "nothing above a hero outside a level";
    EXPECT_EQ(HeroIsCrouched(), 0);

    Keys("L");
    EXPECT_EQ(HeroInLock(mHero), 1);
    EXPECT_EQ(HeroInLockReleased(mHero), 0);
    Keys("");
    EXPECT_EQ(HeroInLock(mHero), 0);
    EXPECT_EQ(HeroInLockReleased(mHero), 1);
    Hold(mGun, 2);
    EXPECT_EQ(HeroInLockReleased(mHero), 0) << "hold mode 2 never locks";
}

TEST_F(HeroInput, ReloadNeedsSpareMagazinesAndRoomInTheMagazine)
{
    Hold(mGun, 0);
    mGun->mMagazineSize = 10;
    const struct
    {
        int32_t magazine, stock;
        const char* keys;
        int32_t expected;
    } cases[] = {
        {5, 2, "E", 1}, {5, -1, "E", 1}, {5, 0, "E", 0}, {10, 2, "E", 0}, {5, 2, "", 0},
    };
    for (const auto& c : cases)
    {
        mGun->mMagazine = c.magazine;
        mGun->mStock = c.stock;
        Keys(c.keys);
        EXPECT_EQ(HeroInReload(mHero), c.expected) << c.magazine << " " << c.stock << " " << c.keys;
    }
    Hold(mKnife, 0);
    Keys("E");
    EXPECT_EQ(HeroInReload(mHero), 0);
}

TEST_F(HeroInput, WeaponChoiceByCyclingOrKeyAndTheDropInHoldModeTwo)
{
    FakeHost host;
    HeroSetInputHost(&host);
    Hold(mGun, 0);

    // Without a pad CHANGE_WEAPON cycles forward.
    host.cycled = "SHOTGUN";
    Keys("W");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroGetPendingWeapon(), "SHOTGUN");
    host.cycled.clear();
    Keys("W");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 0) << "the walk came back to the weapon in hand";

    // A weapon key names the weapon bound to it; one not carried changes nothing.
    host.keyed = 2;
    Keys("3");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroTakePendingWeapon(), "KNIFE");
    EXPECT_EQ(HeroGetPendingWeapon(), "");
    host.keyed = -1;
    Keys("3");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 0);
    Keys("");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 0);

    // Hold mode 2 drops the held object for the chosen weapon instead.
    host.keyed = 2;
    host.calls.clear();
    Hold(mGun, 2);
    Keys("3");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 0);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"key 2", "drop KNIFE"}));
    EXPECT_EQ(HeroGetPendingWeapon(), "");
}

} // namespace
