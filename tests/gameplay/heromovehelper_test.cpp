// The hero's stick analyser: movement modes, the quick-turn gesture, the turn-rate ramp's
// silence, walking on in the running mode and the history ring.
#include "gameplay_fixture.h"
#include "heromovehelper.h"
#include "tsheroactor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using namespace gameplaytest;

constexpr float kFrame = 1.0f / 60.0f;

class MoveHelper : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mHero = new TsHeroActor();
        mHero->AddRef();
        mHelper.SetHero(mHero);
        mHelper.ResetHistory();
    }
    void TearDown() override { mHero->Release(); }

    /// Frames with the stick held at (x, z).
    void Hold(float x, float z, int frames)
    {
        mStick.Set(x, z);
        for (int i = 0; i < frames; ++i)
        {
            mClock.Step(kFrame);
            mHelper.Sample();
        }
    }

    GameClock mClock;
    HeroMoveHelper mHelper;
    Stick mStick{mHelper};
    TsHeroActor* mHero = nullptr;
};

TEST_F(MoveHelper, ModesByMagnitude)
{
    EXPECT_EQ(HeroMoveHelper::DefaultTuning()[4], -0.70710677f);
    EXPECT_EQ(HeroMoveHelper::DefaultTuning()[5], 0.70710677f);
    const struct
    {
        float magnitude;
        int32_t mode;
    } steps[] = {{0.5f, 1}, {0.05f, 0}, {0.05f, 1}, {1.2f, 2}, {0.05f, 0}, {0.02f, 0}, {0.98f, 1}, {0.99f, 2}};
    for (const auto& step : steps)
    {
        Hold(0.0f, step.magnitude, 1);
        EXPECT_EQ(mHelper.GetMode(), step.mode) << step.magnitude;
    }
    EXPECT_EQ(mHelper.IsActive(), 1);
    EXPECT_EQ(mHelper.GetBand(2).timer, 0.0f);
    Hold(0.0f, 1.0f, 6);
    EXPECT_EQ(mHelper.IsMode2TimerOver(), 0);
    Hold(0.0f, 1.0f, 1);
    EXPECT_EQ(mHelper.IsMode2TimerOver(), 1) << "more than 0.1 s running";
    Hold(0.0f, 0.0f, 1);
    EXPECT_EQ(mHelper.IsActive(), 0);
    EXPECT_EQ(mHelper.IsMode0AndTimerAbove(0.1f), 1) << "the running time is kept after the stop";
    EXPECT_EQ(mHelper.IsMode0AndTimerAbove(0.2f), 0);
}

TEST_F(MoveHelper, WalkOnAndTurnNeeded)
{
    // The hero without a node faces +z.
    Hold(0.0f, -0.5f, 2);
    EXPECT_EQ(mHelper.GetMode(), 1);
    EXPECT_EQ(mHelper.NeedsTurn(), 1);
    EXPECT_EQ(mHelper.CanWalkOn(), 0);
    Hold(0.0f, 0.5f, 2);
    EXPECT_EQ(mHelper.NeedsTurn(), 0);
    EXPECT_EQ(mHelper.CanWalkOn(), 1);
    Hold(0.0f, -1.0f, 2);
    EXPECT_EQ(mHelper.GetMode(), 2);
    EXPECT_EQ(mHelper.CanWalkOn(), 1) << "running walks on whatever the direction";
    Hold(0.0f, 0.0f, 1);
    EXPECT_EQ(mHelper.NeedsTurn(), 0);
}

TEST_F(MoveHelper, QuickTurnIsAReleaseThenTheOppositeWay)
{
    const struct
    {
        float x, z;
        int32_t expected;
    } pushes[] = {{-0.6f, 0.0f, 1}, {0.0f, 0.6f, 0}, {0.0f, -0.6f, 0}};
    for (const auto& push : pushes)
    {
        HeroMoveHelper helper;
        helper.SetHero(mHero);
        Stick stick(helper);
        auto hold = [&](float x, float z, int frames)
        {
            stick.Set(x, z);
            for (int i = 0; i < frames; ++i)
            {
                mClock.Step(kFrame);
                helper.Sample();
            }
        };
        // Walking forward, then along +x: the direction change is watched.
        hold(0.0f, 0.6f, 30);
        hold(0.6f, 0.0f, 30);
        ASSERT_EQ(helper.IsDirectionChanged(), 1);
        EXPECT_EQ(helper.CheckHistory(), 0) << "no release yet";
        ASSERT_EQ(helper.IsDirectionChanged(), 1);
        hold(0.0f, 0.0f, 1);
        hold(push.x, push.z, 1);
        EXPECT_EQ(helper.CheckHistory(), push.expected) << push.x << " " << push.z;
        // The gesture keeps where it points: the quick turn turns the hero that way.
        const Vector kept = helper.GetQuickTurnDirection();
        if (push.expected)
            EXPECT_NEAR(kept.x, -1.0f, 1e-5f);
        else
            EXPECT_EQ(kept.z, 1.0f) << "nothing kept without a gesture";
    }
}

TEST_F(MoveHelper, RampSilencesTheCheckForItsDelay)
{
    Hold(0.0f, 0.6f, 30);
    Hold(0.6f, 0.0f, 30);
    ASSERT_EQ(mHelper.IsDirectionChanged(), 1);
    mHelper.SetCheckDelayA(1.0f);
    EXPECT_FLOAT_EQ(mHero->mMoveDirection.z, 1.0f) << "the move direction follows the hero's facing";
    for (int frame = 0; frame < 58; ++frame)
    {
        // The gesture again and again: silent while the ramp runs.
        Hold(frame % 2 ? -0.6f : 0.0f, 0.0f, 1);
        EXPECT_EQ(mHelper.CheckHistory(), 0) << frame;
    }
    Hold(0.6f, 0.0f, 10);
    Hold(0.0f, 0.0f, 1);
    Hold(-0.6f, 0.0f, 1);
    EXPECT_EQ(mHelper.CheckHistory(), 1) << "after a second the gesture counts again";
    EXPECT_EQ(mHelper.IsDirectionChanged(), 0);
}

TEST_F(MoveHelper, HistoryWrapsFrom499To0)
{
    // Straight ahead first so that no direction change resets the ring later.
    Hold(0.0f, 0.3f, 20);
    mHelper.ResetHistory();
    EXPECT_EQ(mHelper.GetNewestIndex(), 0);
    EXPECT_EQ(mHelper.GetSample(0).magnitude, 0.0f);
    EXPECT_FLOAT_EQ(mHelper.GetSample(0).frameSeconds, 0.016f);
    Hold(0.0f, 0.3f, 499);
    EXPECT_EQ(mHelper.GetNewestIndex(), 499);
    Hold(0.0f, 0.7f, 1);
    EXPECT_EQ(mHelper.GetNewestIndex(), 0);
    EXPECT_FLOAT_EQ(mHelper.GetSample(0).magnitude, 0.3f) << "the magnitude of the frame before";
    EXPECT_FLOAT_EQ(mHelper.GetSample(0).frameSeconds, kFrame);
}

} // namespace
