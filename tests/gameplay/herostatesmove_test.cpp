// The hero's movement and aiming states driven by scripted input on a stepped clock: walking
// on before turning, the release after a short or a long run, the quick turn's settling time,
// the walking-aim steps by angle, the scope weapon's standing aim, the turn on the spot along
// the turn curve, the gait without a pad and the run's banking.
#include "heroplay_fixture.h"

#include "frame.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"

#include <cmath>

namespace
{
using namespace heroplaytest;

TEST_F(HeroPlay, StandingStickDecidesBetweenWalkingOnAndTurningFirst)
{
    // Facing +z; the stick (x right, z forward) and what standing decides.
    const struct
    {
        float x, z;
        int32_t next;
    } cases[] = {
        {0.0f, 1.0f, kHeroNormalMove},        // toward the facing, running: walk on
        {0.0f, 0.5f, kHeroNormalMove},        // toward the facing, walking: walk on, no turn
        {0.0f, -0.5f, kHeroNormalWaitRotate}, // behind, walking: turn first
        {0.5f, 0.0f, kHeroNormalWaitRotate},  // sideways: turn first
        {0.0f, -1.0f, kHeroNormalMove},       // behind, running: the run walks on whatever the way
    };
    for (const auto& c : cases)
    {
        Settle();
        Frame("", c.x, c.z); // the stick is sampled in this frame's update
        Frame("", c.x, c.z);
        EXPECT_EQ(Code(), c.next) << c.x << " " << c.z;
    }
}

TEST_F(HeroPlay, ReleasingTheStickStandsAfterAShortRunAndBrakesAfterALongOne)
{
    for (const float run : {1.0f, 1.5f, 2.0f})
    {
        Settle();
        Hold(run, "", 0.0f, 1.0f);
        ASSERT_EQ(Code(), kHeroNormalMove) << run;
        // Released: mode 0 must hold past its time (0.1 s) before the walk stops.
        Hold(0.1f);
        EXPECT_EQ(Code(), kHeroNormalMove) << run;
        Hold(0.05f);
        if (run <= 1.5f)
        {
            EXPECT_EQ(Code(), kHeroNormalWait) << run;
            continue;
        }
        ASSERT_EQ(Code(), kHeroStop) << run;
        EXPECT_EQ(MapRequested(), 2) << "the braking animation";
        // The brake's end stands him up.
        Machine()->GetCurrent()->OnMAPStateOver(mHero);
        EXPECT_EQ(Code(), kHeroNormalWait);
    }
}

TEST_F(HeroPlay, AQuickTurnIsIgnoredInTheWalksFirstTenthsOfASecond)
{
    for (const float settle : {0.0f, 0.2f})
    {
        Settle();
        // Walking ahead, then to the right: the helper watches the change.
        Hold(0.5f, "", 0.0f, 0.6f);
        Hold(0.5f, "", 0.6f, 0.0f);
        ASSERT_EQ(HeroMoveHelper::Instance().IsDirectionChanged(), 1);
        // The walk begins again (a strike's end leads here, say), then the flick: released for a
        // frame, then the other way.
        Enter(kHeroStop);
        Enter(kHeroNormalMove);
        Hold(settle, "", 0.6f, 0.0f);
        Frame("", 0.0f, 0.0f);
        Frame("", -0.6f, 0.0f);
        Frame("", -0.6f, 0.0f);
        if (settle == 0.0f)
            EXPECT_EQ(Code(), kHeroNormalMove) << "within 0.15 s of the walk's entry";
        else
        {
            EXPECT_EQ(Code(), kHeroQuickTurn);
            EXPECT_EQ(MapRequested(), 57);
            Machine()->GetCurrent()->OnMAPStateOver(mHero);
            EXPECT_EQ(Code(), kHeroNormalMove) << "walking on after the turn";
        }
    }
}

TEST_F(HeroPlay, WalkingAimStepsByTheAngleBetweenFacingAndWalk)
{
    // Facing +z; the walk's direction at these angles (positive toward +x).
    const struct
    {
        float degrees;
        int32_t map; // -1: nothing asked, the step before goes on
    } cases[] = {
        {0.0f, 22},   {10.0f, 22},  {25.0f, -1},  {45.0f, 23},   {-90.0f, 24},
        {135.0f, 23}, {145.0f, -1}, {170.0f, 25}, {-170.0f, 25},
    };
    for (const auto& c : cases)
    {
        const float r = c.degrees * 3.14159265f / 180.0f;
        Enter(kHeroAimMove);
        HeroRequestStacksClear();
        mHero->mMoveDirection = {std::sin(r), 0.0f, std::cos(r)};
        Machine()->GetCurrent()->Update(mHero);
        EXPECT_EQ(KindOf(HeroSapRequests(), 30), int32_t(AnimPlayerRequestStack::kPush)) << c.degrees;
        int32_t asked = -1;
        for (int32_t map : {22, 23, 24, 25})
            if (KindOf(HeroMapRequests(), map) == AnimPlayerRequestStack::kPush)
                asked = map;
        EXPECT_EQ(asked, c.map) << c.degrees;
    }
}

TEST_F(HeroPlay, AScopeWeaponAimsStandingOnly)
{
    auto* gun = new TsWeaponShoot();
    gun->AddRef();
    gun->mInteger17 = 1;
    mHero->SetWeapon(gun);
    Frame("L");
    ASSERT_EQ(Code(), kHeroAimWait);
    EXPECT_EQ(HeroGetPresetPlacement().preset, 7) << "the scope's camera";
    Frame("LC");
    Frame("LC");
    EXPECT_EQ(Code(), kHeroAimWait);
    EXPECT_EQ(HeroIsCrouched(), 0) << "CROUCH is not even asked";
    // Put in the crouched aim anyway, it stands up in the next frame.
    Enter(kHeroSilentAimWait);
    EXPECT_EQ(HeroIsCrouched(), 1);
    Frame("L");
    EXPECT_EQ(Code(), kHeroAimWait);

    // Without a scope CROUCH crouches the aim.
    gun->mInteger17 = 0;
    HeroSetCrouched(0);
    Enter(kHeroAimWait);
    Frame("LC");
    EXPECT_EQ(Code(), kHeroSilentAimWait);
    EXPECT_EQ(HeroIsCrouched(), 1);
    mHero->SetWeapon(nullptr);
    gun->Release();
}

TEST_F(HeroPlay, TurningOnTheSpotFollowsTheTurnCurve)
{
    ::Frame* frame = mHero->GetNode()->GetEngineFrame();
    // Right, gently: a turn of 90 degrees to the right (TurnRight asked for a negative angle).
    Frame("", 0.3f, 0.0f);
    Frame("", 0.3f, 0.0f);
    ASSERT_EQ(Code(), kHeroNormalWaitRotate);
    auto* turn = dynamic_cast<HeroRotateState*>(Machine()->GetCurrent());
    ASSERT_NE(turn, nullptr);
    EXPECT_NEAR(turn->mTotalAngle, 90.0f, 0.01f);
    EXPECT_EQ(MapRequested(), turn->mTarget.x > 0.0f ? 61 : 62);
    // The stick let go (held, the turn would walk on once within 60 degrees). The controller
    // would turn him: turn his frame by hand a third at a time.
    const Vector up = {0.0f, 1.0f, 0.0f};
    float previous = -1.0f;
    for (int32_t step = 0; step < 2; ++step)
    {
        ::Frame::Rotate(frame, &up, turn->mTarget.x > 0.0f ? 30.0f : -30.0f, kCombinePreConcat);
        Frame();
        ASSERT_EQ(Code(), kHeroNormalWaitRotate) << step;
        EXPECT_NEAR(turn->mProgress, (step + 1) / 3.0f, 0.01f) << step;
        EXPECT_NEAR(turn->mTurnSpeed, HeroTurnCurveSample(turn->mProgress), 0.01f) << step;
        EXPECT_GT(turn->mTurnSpeed, previous) << "the curve rises from 300 toward its middle";
        previous = turn->mTurnSpeed;
    }
    // Turned past the start's angle the other way: the curve's end speed.
    ::Frame::Rotate(frame, &up, turn->mTarget.x > 0.0f ? -160.0f : 160.0f, kCombinePreConcat);
    Frame();
    EXPECT_EQ(turn->mProgress, 1.0f);
    EXPECT_NEAR(turn->mTurnSpeed, HeroTurnCurveSample(1.0f), 0.01f);
    Frame();
    EXPECT_EQ(Code(), kHeroNormalWait) << "progress 1 ends the turn";
    EXPECT_EQ(turn->mProgress, 0.0f) << "put back by the exit";
}

TEST_F(HeroPlay, WithoutAPadRunIsTheDefaultAndRunWalksAndTheRunBanks)
{
    const struct
    {
        const char* keys;
        float degrees;
        int32_t map;
        int32_t posture;
    } cases[] = {
        {"R", 0.0f, 11, 1}, {"", 0.0f, 26, 2}, {"", 30.0f, 59, 2}, {"", -30.0f, 60, 2}, {"", 5.0f, 26, 2},
    };
    for (const auto& c : cases)
    {
        const float r = c.degrees * 3.14159265f / 180.0f;
        Settle();
        // Heading settled on the stick's way (the hero keeps facing +z without a controller).
        Hold(0.5f, c.keys, std::sin(r), std::cos(r));
        ASSERT_EQ(Code(), kHeroNormalMove) << c.degrees;
        HeroRequestStacksClear();
        Frame(c.keys, std::sin(r), std::cos(r));
        // A bank replaces the run asked in the same frame.
        EXPECT_EQ(Newest(HeroMapRequests()).first, c.map) << c.keys << " " << c.degrees;
        EXPECT_EQ(KindOf(HeroMapRequests(), c.map), AnimPlayerRequestStack::kPush) << c.keys << " " << c.degrees;
        if (c.map != 26)
            EXPECT_EQ(KindOf(HeroMapRequests(), 26), -1) << c.keys << " " << c.degrees;
        EXPECT_EQ(mHero->mPostureClass, c.posture) << c.keys << " " << c.degrees;
    }
}

} // namespace
