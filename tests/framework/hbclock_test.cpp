// Tests of the clocks on a performance counter the test sets.
#include "hbclock.h"
#include "hbvariable.h"

#include "win32testhooks.h"

#include <gtest/gtest.h>

namespace
{

constexpr int64_t kFrequency = 10000000;

class ClockFixture : public ::testing::Test
{
protected:
    // Variables are write-once: start every test without MODE_PAL.
    void SetUp() override
    {
        HbVariableClearAllForTest();
        Win32TestSetPerformanceCounter(5000000);
    }
    void TearDown() override
    {
        HbVariableClearAllForTest();
        Win32TestUseRealPerformanceCounter();
    }
};

TEST_F(ClockFixture, RealClockStartsWithOneNtscFrame)
{
    ASSERT_EQ(HbPerformanceFrequency(), kFrequency);
    HbRealClock clock;
    EXPECT_EQ(clock.mLastStep, kFrequency / 60);
    EXPECT_FLOAT_EQ(clock.mLastStepSeconds, 0.016666668f);
    EXPECT_EQ(clock.mCurrentTime, 0);
    // The first tick measures from the moment the clock was made.
    Win32TestAdvancePerformanceCounter(250000);
    clock.Tick();
    EXPECT_EQ(clock.mLastStep, 250000);
    EXPECT_EQ(clock.mCurrentTime, 250000);
    EXPECT_FLOAT_EQ(clock.mLastStepSeconds, 0.025f);
    clock.Tick();
    EXPECT_EQ(clock.mLastStep, 0);
}

TEST_F(ClockFixture, ModePalGivesFiftyHertz)
{
    ASSERT_EQ(HbSetBoolVariable("MODE_PAL", 1), 1);
    HbRealClock real;
    // frequency x 0.02f in single precision falls a hair short of 200000.
    EXPECT_NEAR(real.mLastStep, kFrequency / 50, 1);
    EXPECT_FLOAT_EQ(real.mLastStepSeconds, 0.02f);
    HbGameClock game;
    EXPECT_NEAR(game.mNominalStep, kFrequency / 50, 1);
    EXPECT_FLOAT_EQ(HbFramePeriod(), 0.02f);
}

TEST_F(ClockFixture, GameClockClampsAStallAndScalesTime)
{
    HbGameClock clock;
    clock.Reset();
    clock.Start();
    const int64_t limit = static_cast<int64_t>(static_cast<double>(kFrequency) * 0.066666f);

    Win32TestAdvancePerformanceCounter(kFrequency); // a one-second stall
    clock.Update();
    EXPECT_EQ(clock.mStep, limit);
    EXPECT_EQ(clock.mGameTime, limit);

    EXPECT_EQ(clock.SetStepClamp(0), 1);
    Win32TestAdvancePerformanceCounter(kFrequency);
    clock.Update();
    EXPECT_EQ(clock.mStep, kFrequency);
    EXPECT_FLOAT_EQ(clock.mStepSeconds, 1.0f);

    // No time passing: a step of 0 and game time unchanged.
    int64_t before = clock.mGameTime;
    clock.Update();
    clock.Update();
    EXPECT_EQ(clock.mStep, 0);
    EXPECT_EQ(clock.mGameTime, before);

    clock.mTimeScale = 0.5f;
    Win32TestAdvancePerformanceCounter(100000);
    clock.Update();
    EXPECT_EQ(clock.mStep, 50000);
    EXPECT_EQ(clock.mGameTime, before + 50000);
}

TEST_F(ClockFixture, ResetStopsTheGameClock)
{
    HbGameClock clock;
    clock.Start();
    Win32TestAdvancePerformanceCounter(100000);
    clock.Update();
    ASSERT_EQ(clock.mGameTime, 100000);

    clock.Reset();
    EXPECT_EQ(clock.mGameTime, 0);
    EXPECT_EQ(clock.mStep, kFrequency / 60);
    Win32TestAdvancePerformanceCounter(100000);
    clock.Update();
    clock.Update();
    EXPECT_EQ(clock.mGameTime, 0);
}

TEST_F(ClockFixture, RealClockStepsAreCounterTicksAndTheirSeconds)
{
    HbRealClock clock;
    struct Case
    {
        int64_t ticks;
        float seconds;
    } cases[] = {
        {kFrequency, 1.0f}, {kFrequency / 50, 0.02f},     {166666, 0.0166666f},
        {1000, 0.0001f},    {3600 * kFrequency, 3600.0f}, // past 32 bits of ticks
    };
    int64_t total = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.ticks);
        Win32TestAdvancePerformanceCounter(c.ticks);
        clock.Tick();
        total += c.ticks;
        EXPECT_EQ(clock.mLastStep, c.ticks);
        EXPECT_FLOAT_EQ(clock.mLastStepSeconds, c.seconds);
        EXPECT_EQ(clock.mCurrentTime, total);
    }
}

} // namespace
