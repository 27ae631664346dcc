// The hero's action, ladder and special states: the script's control with its input context
// and damage events, death by an explosion or by chance and the game over at its end, the
// ladder up and down with the snap and no damage on the ladder, the weapon change's minimum
// time, the reload with hold mode 1, the flinch after a heavy hit, the strikes' way back and
// a death while the weapon wheel is open.
#include "heroplay_fixture.h"

#include "frame.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "hbcontroller.h"
#include "hbinputmanager.h"
#include "hbrandom.h"
#include "scriptworldmanager.h"
#include "tssendevent.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"
#include "walker_fixture.h"

#include <cstring>

namespace
{
using namespace heroplaytest;

constexpr int32_t kDamage[] = {Hero::kEventHit, Hero::kEventStrike, Hero::kEventExplosion, Hero::kEventVibrations};

int32_t DamageEventsOn(Hero* hero)
{
    int32_t on = 0;
    for (int32_t id : kDamage)
        on += hero->FindEvent(id) ? 1 : 0;
    return on;
}

class HeroAction : public HeroPlay
{
protected:
    void SetUp() override
    {
        HeroPlay::SetUp();
        mProfile = new GameProfile();
        GameStateManager::Instance()->SetProfile(mProfile);
        mHero->EnableDamageEvents();
    }
    void TearDown() override
    {
        GameStateManager::Instance()->SetProfile(nullptr);
        HeroPlay::TearDown();
    }
    Vector At() { return *mHero->GetNode()->GetWorldPosition(); }
    /// A hit event of the value sent to the hero and delivered by a frame of the script world.
    void Hit(float value)
    {
        TsSendEvent event;
        event.id = Hero::kEventHit;
        event.target = mHero;
        event.value = value;
        mWorld->QueueEvent(event);
        mClock.Step(kFrame);
        mWorld->Update();
    }
    static bool Forced(AnimPlayerRequestStack& stack, int32_t state)
    {
        return KindOf(stack, state) == AnimPlayerRequestStack::kUrgent;
    }
    Vector Forward() { return ::Frame::GetWorldMatrix(mHero->GetNode()->GetEngineFrame())->at; }

    GameProfile* mProfile = nullptr;
};

TEST_F(HeroAction, ScriptControlTakesTheInputContextAndTheDamageAndGivesThemBack)
{
    HbController* keyboard = HbInputManager::Instance()->GetSlotController(0);
    ASSERT_NE(keyboard, nullptr);
    const int32_t before = keyboard->GetContext();
    const int32_t depth = HbInputManager::Instance()->GetContextDepth();
    ASSERT_EQ(DamageEventsOn(mHero), 4);

    Enter(kHeroDoNothing);
    EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "HeroMotorControl");
    EXPECT_EQ(DamageEventsOn(mHero), 0);
    EXPECT_TRUE(Forced(HeroMapRequests(), 3));
    EXPECT_TRUE(Forced(HeroSapRequests(), 1));
    Frame("L", 0.0f, 1.0f);
    Frame("L", 0.0f, 1.0f);
    EXPECT_EQ(Input::Triggered("LOCK"), 0) << "the hero's own actions are not in the script's context";
    EXPECT_EQ(Code(), kHeroDoNothing) << "only a switch from outside ends it";

    Enter(kHeroNormalWait);
    EXPECT_EQ(HbInputManager::Instance()->GetContextDepth(), depth);
    EXPECT_EQ(keyboard->GetContext(), before) << "the context of before, though none was pushed";
    EXPECT_EQ(DamageEventsOn(mHero), 4);
    Frame("L");
    EXPECT_EQ(Input::Triggered("LOCK"), 1);
}

/// The quick generator's next real, as the framework's generator makes it.
float NextQuick(uint32_t state)
{
    state = state * 1664525u + 1013904223u;
    const uint32_t bits = (state & 0x7FFFFFu) | 0x3F800000u;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value - 1.0f;
}

TEST_F(HeroAction, DeathFacesTheKillerAfterAnExplosionElseFallsByChanceAndEndsTheGame)
{
    walkertest::Walker* killer = walkertest::MakeWalker();
    ASSERT_NE(killer, nullptr);
    const Vector there = {300.0f, 0.0f, 0.0f};
    killer->SetPosition(&there);
    // Two seeds, one on each side of a half.
    uint32_t high = 1, low = 1;
    while (NextQuick(high) <= 0.5f)
        ++high;
    while (NextQuick(low) > 0.5f)
        ++low;
    const struct
    {
        int32_t lastHit;
        bool withKiller;
        uint32_t seed;
        int32_t death;
        bool facing;
    } cases[] = {
        {Hero::kEventExplosion, true, high, 42, true},
        {Hero::kEventExplosion, false, high, 41, false},
        {Hero::kEventHit, true, high, 41, false},
        {Hero::kEventHit, true, low, 42, false},
    };
    for (const auto& c : cases)
    {
        mHero->SetMaxHitPoints(100);
        mHero->EnableDamageEvents();
        mProfile->gameOverRequest = 0;
        Settle();
        mHero->TakeDamage(c.withKiller ? killer : nullptr, 500.0f);
        mHero->mLastHitEvent = c.lastHit;
        HbRandom::Instance()->GameState() = c.seed;
        Frame();
        ASSERT_EQ(Code(), kHeroDie);
        EXPECT_EQ(MapRequested(), c.death) << c.lastHit << " " << c.withKiller << " " << c.seed;
        EXPECT_EQ(HeroGetPresetPlacement().preset, 5);
        EXPECT_EQ(DamageEventsOn(mHero), 0) << "no more explosions or vibrations either";
        EXPECT_EQ(HeroGetInventoryLock(), 1);
        if (c.facing)
            EXPECT_NEAR(Forward().x, 1.0f, 1e-4f) << "facing the killer";
        Frame("CO", 0.0f, 1.0f);
        EXPECT_EQ(Code(), kHeroDie) << "death is final";
        EXPECT_EQ(mProfile->gameOverRequest, 0);
        Machine()->GetCurrent()->OnMAPStateOver(mHero);
        EXPECT_EQ(mProfile->gameOverRequest, 1) << "raised when the fall ends";
        EXPECT_EQ(HeroIsCrouched(), 0);
        // Face +z again for the next case.
        const Vector ahead = {0.0f, 0.0f, 1.0f};
        mHero->GetNode()->LookAlong(&ahead);
    }
    killer->Release();
}

HeroLadderContact gLadder;

TEST_F(HeroAction, LaddersUpAndDownSnapClimbStepByStepAndTakeNoDamage)
{
    // A face at z = 100 looking back at the hero, who faces +z from below it.
    gLadder.set = 1;
    gLadder.normal = {0.0f, 0.0f, -1.0f};
    gLadder.points[0] = {-50.0f, 0.0f, 100.0f};
    gLadder.points[1] = {50.0f, 0.0f, 100.0f};
    gLadder.points[2] = {0.0f, 300.0f, 100.0f};
    gLadder.kind = 0x80;
    HeroSetLadderContactReader([](TsActor*) { return gLadder; });
    const Vector start = {20.0f, 200.0f, 0.0f};
    mHero->SetPosition(&start);

    // Up: the walk finds the foot after its first 0.15 s.
    Settle();
    Frame("", 0.0f, 1.0f);
    Frame("", 0.0f, 1.0f);
    ASSERT_EQ(Code(), kHeroNormalMove);
    Hold(0.2f, "", 0.0f, 1.0f);
    ASSERT_EQ(Code(), kHeroLadderUpStart);
    EXPECT_EQ(MapRequested(), 80);
    EXPECT_NEAR(At().x, 0.0f, 1e-3f);
    EXPECT_NEAR(At().y, 200.0f, 1e-3f) << "at his own height";
    EXPECT_NEAR(At().z, 100.0f - 38.3f, 1e-3f);
    EXPECT_NEAR(Forward().z, 1.0f, 1e-4f) << "into the ladder";
    EXPECT_EQ(DamageEventsOn(mHero), 0);
    EXPECT_EQ(HeroGetInventoryLock(), 1);
    Hit(150.0f);
    EXPECT_EQ(mHero->mHitPoints, 100) << "no damage on a ladder";
    EXPECT_EQ(Code(), kHeroLadderUpStart) << "no flinch either";

    Frame(); // the stick let go while the start plays
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroLadderStand);
    EXPECT_TRUE(Forced(HeroMapRequests(), 84)) << "standing on the ladder, facing up";
    Frame("", 0.0f, 0.05f);
    Frame("", 0.0f, 0.05f);
    EXPECT_EQ(Code(), kHeroLadderStand) << "a touch of the stick does not climb";
    Frame("", 0.0f, 1.0f);
    Frame("", 0.0f, 1.0f);
    ASSERT_EQ(Code(), kHeroLadderMoveUp);
    EXPECT_EQ(MapRequested(), 82);
    Frame("", 0.0f, 1.0f);
    EXPECT_EQ(Code(), kHeroLadderMoveUp) << "the top is not ahead yet";
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroLadderStand) << "one step a climb";
    // The floor of the wall world (y = -100) lies ahead and above: the top.
    const Vector below = {0.0f, -255.0f, 61.7f};
    mHero->SetPosition(&below);
    Frame("", 0.0f, 1.0f);
    Frame("", 0.0f, 1.0f);
    ASSERT_EQ(Code(), kHeroLadderUpEnd);
    EXPECT_EQ(MapRequested(), 81);
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroNormalWait);
    EXPECT_EQ(DamageEventsOn(mHero), 4);
    EXPECT_EQ(HeroGetInventoryLock(), 0);

    // Down: the top's contact, found at once.
    gLadder.kind = 0x10;
    const Vector high = {0.0f, 200.0f, 0.0f};
    mHero->SetPosition(&high);
    Settle();
    Frame("", 0.0f, 1.0f);
    Frame("", 0.0f, 1.0f);
    Frame("", 0.0f, 1.0f);
    ASSERT_EQ(Code(), kHeroLadderDownStart);
    EXPECT_EQ(MapRequested(), 78);
    EXPECT_EQ(HeroGetActionPlacement().action, 4);
    EXPECT_EQ(HeroGetActionPlacement().direction[2], -1.0f) << "the camera turns by the face";
    Frame();
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(HeroGetActionPlacement().action, 0) << "the camera action ends";
    ASSERT_EQ(Code(), kHeroLadderStand);
    EXPECT_TRUE(Forced(HeroMapRequests(), 84)) << "the stick was last pushed up";
    Frame("", 0.0f, -1.0f);
    Frame("", 0.0f, -1.0f);
    ASSERT_EQ(Code(), kHeroLadderMoveDown);
    EXPECT_EQ(MapRequested(), 83);
    const Vector floor = {0.0f, -80.0f, 61.7f};
    mHero->SetPosition(&floor);
    Frame("", 0.0f, -1.0f);
    ASSERT_EQ(Code(), kHeroLadderDownEnd);
    EXPECT_EQ(MapRequested(), 79);
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroNormalWait);
    EXPECT_EQ(DamageEventsOn(mHero), 4);

    // A contact of another kind, or one the hero turns his back on, is no ladder.
    for (const auto& [kind, z] : {std::pair{uint8_t(0x20), -1.0f}, std::pair{uint8_t(0x80), 1.0f}})
    {
        gLadder.kind = kind;
        gLadder.normal = {0.0f, 0.0f, z};
        EXPECT_EQ(HeroLadderUpAvailable(mHero) + HeroLadderDownAvailable(mHero), 0) << int(kind) << " " << z;
        Vector normal = {9.0f, 9.0f, 9.0f};
        EXPECT_EQ(HeroLadderSnap(mHero, &normal), kind == 0x80 ? 1 : 0);
    }
}

TEST_F(HeroAction, TheWeaponChangeLastsHalfASecondThenRestsByCrouchAndLock)
{
    const struct
    {
        bool crouched;
        const char* keys;
        int32_t next;
    } cases[] = {{false, "", kHeroNormalWait}, {false, "L", kHeroAimWait}, {true, "", kHeroSilentWait}};
    auto* gun = new TsWeaponShoot();
    gun->AddRef();
    mHero->SetWeapon(gun);
    for (const auto& c : cases)
    {
        Settle();
        HeroSetCrouched(c.crouched);
        Enter(kHeroInventoryQuit); // nothing pending: no change to play, the time all the same
        Hold(0.5f, c.keys);
        EXPECT_EQ(Code(), kHeroInventoryQuit) << c.keys << c.crouched;
        Frame(c.keys);
        EXPECT_EQ(Code(), c.next) << c.keys << c.crouched;
    }
    mHero->SetWeapon(nullptr);
    gun->Release();
}

TEST_F(HeroAction, ReloadFlinchStrikesAndTheWheelReturnWhereTheyShould)
{
    // The full-body reload crouches and ends in the crouched aim when the upper body is done.
    Enter(kHeroReload);
    EXPECT_EQ(HeroIsCrouched(), 1);
    EXPECT_TRUE(Forced(HeroSapRequests(), 17));
    EXPECT_EQ(KindOf(HeroMapRequests(), 76), int32_t(AnimPlayerRequestStack::kPush));
    Machine()->GetCurrent()->OnSAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroSilentAimWait);
    EXPECT_EQ(KindOf(HeroSapRequests(), 35), int32_t(AnimPlayerRequestStack::kPush));

    // A heavy hit flinches, and the flinch ends in the resting state; a death there dies.
    Settle();
    mHero->SetMaxHitPoints(1000);
    Hit(150.0f);
    ASSERT_EQ(Code(), kHeroHit);
    EXPECT_TRUE(Forced(HeroMapRequests(), 77));
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroNormalWait);
    Enter(kHeroHit);
    mHero->SetHitPoints(0);
    Frame();
    EXPECT_EQ(Code(), kHeroDie);
    mHero->SetMaxHitPoints(100);

    // The crouched aimed strike goes back to the crouched aim when either player ends first.
    for (const bool moveFirst : {true, false})
    {
        Enter(kHeroStrikeAimCrouch);
        if (moveFirst)
            Machine()->GetCurrent()->OnMAPStateOver(mHero);
        else
            Machine()->GetCurrent()->OnSAPStateOver(mHero);
        EXPECT_EQ(Code(), kHeroSilentAimWait) << moveFirst;
    }
    Enter(kHeroStrikeAim);
    Machine()->GetCurrent()->OnSAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroStrikeAim) << "the standing one waits for the whole body";
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(Code(), kHeroAimWait);

    // The take-down locks the wheel until its end.
    HeroSetCrouched(1);
    Enter(kHeroNeutralize);
    EXPECT_EQ(HeroGetInventoryLock(), 1);
    Machine()->GetCurrent()->OnMAPStateOver(mHero);
    EXPECT_EQ(HeroGetInventoryLock(), 0);
    EXPECT_EQ(Code(), kHeroSilentWait);

    // A death with the wheel open asks the wheel to close, once a frame while it stays open.
    HeroSetCrouched(0);
    Enter(kHeroInventoryEnter);
    Frame();
    EXPECT_EQ(HeroTakeInventoryCloseRequests(), 0);
    mHero->SetHitPoints(0);
    Frame();
    EXPECT_EQ(Code(), kHeroInventoryEnter);
    EXPECT_EQ(HeroTakeInventoryCloseRequests(), 1);
    EXPECT_EQ(HeroGetInventoryLock(), 1);
    Enter(kHeroInventoryQuit);
    Hold(0.6f);
    EXPECT_EQ(Code(), kHeroDie) << "through the resting state";
}

} // namespace
