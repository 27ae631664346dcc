// Simple physics: which registered objects a dirty support wakes, the fall, bounces and rest
// of a woken body on an object below, and the limits of the idle stack.
#include "fxlevel_fixture.h"

#include "fxphysics.h"
#include "fxbody.h"
#include "fx3dtype.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

namespace fxtest
{
namespace
{

class Physics : public FxLevelTest
{
protected:
    void SetUp() override
    {
        FxLevelTest::SetUp();
        PhysicsInitConstants();
    }
    void TearDown() override
    {
        PhysicsFreeAll();
        for (W3dNode* node : mNodes)
            node->Release();
        if (mBlock)
            W3dCollisionNode::DestroySubtree(mBlock);
        FxLevelTest::TearDown();
    }
    W3dFrame* Node(Vector at)
    {
        W3dFrame* node = NodeAt(at);
        mNodes.push_back(node);
        return node;
    }
    /// A collision box of half side 20 at the position, owned by a node, in the level's world.
    void Block(Vector at)
    {
        const float box[6] = {20, 20, 20, -20, -20, -20};
        Atomic* atomic = CreateBoxGeometry(box);
        ASSERT_NE(atomic, nullptr);
        Frame::Translate(atomic->object.frame, &at, kCombineReplace);
        AtomicOwner::Get(atomic)->owner = Node(at);
        mBlock = W3dCollisionNode::CreateForAtomic(atomic, mScene);
        ASSERT_NE(mBlock, nullptr);
    }
    static float Y(W3dNode* node) { return node->GetEngineFrame()->modelling.pos.y; }

    std::vector<W3dNode*> mNodes;
    W3dCollisionNode* mBlock = nullptr;
};

TEST_F(Physics, DirtySupportWakesOnlyWhatRestsOnIt)
{
    // Frame nodes have a bounding radius of 100: b = 57.7.
    W3dFrame* support = Node({0, 0, 0});
    W3dFrame* above = Node({40, 100, -40});
    W3dFrame* aside = Node({70, 100, 0});
    W3dFrame* level = Node({10, 0, 10});
    for (W3dFrame* node : {support, above, aside, level})
        ASSERT_EQ(PhysicsRegister(node), 1);

    W3dFrame* elsewhere = Node({1000, 0, 0});
    EXPECT_EQ(PhysicsSetDirty(elsewhere), 1);
    EXPECT_EQ(PhysicsActiveCount(), 0) << "nothing rests on it";

    EXPECT_EQ(PhysicsSetDirty(support), 1);
    EXPECT_EQ(PhysicsActiveCount(), 1);
    EXPECT_EQ(PhysicsIdleCount(), 3);
    EXPECT_EQ(PhysicsBodyState(above), FxBody::kMoving);
    EXPECT_EQ(PhysicsBodyState(aside), FxBody::kRemoved) << "outside the inscribed cube";
    EXPECT_EQ(PhysicsBodyState(level), FxBody::kRemoved) << "dy = 0 does not rest on it";
    EXPECT_EQ(PhysicsBodyState(support), FxBody::kRemoved) << "the support itself";
}

TEST_F(Physics, WokenBodyFallsBouncesOnTheObjectBelowAndRests)
{
    Block({0, 0, 0}); // its top at y = 20, above the floor
    W3dFrame* support = Node({0, 50, 0});
    W3dFrame* crate = Node({0, 120, 0});
    ASSERT_EQ(PhysicsRegister(crate), 1);
    ASSERT_EQ(PhysicsSetDirty(support), 1);
    ASSERT_EQ(PhysicsActiveCount(), 1);

    const int64_t step = HbPerformanceFrequency() / 60;
    int32_t frames = 0, bounces = 0;
    float last = Y(crate), lowest = last;
    bool falling = true;
    while (PhysicsBodyState(crate) == FxBody::kMoving && frames < 600)
    {
        Advance(step);
        PhysicsStep();
        ++frames;
        const float y = Y(crate);
        if (falling && y > last)
            ++bounces;
        falling = y <= last;
        last = y;
        lowest = std::min(lowest, y);
    }
    EXPECT_EQ(PhysicsBodyState(crate), FxBody::kRemoved);
    EXPECT_GE(bounces, 2);
    EXPECT_LT(frames, 300) << "rests by its bounces, before the 5 s life ends";
    EXPECT_NEAR(Y(crate), 20.0f, 2.0f) << "on the block, not the floor";
    EXPECT_GT(lowest, 15.0f);

    PhysicsStep();
    EXPECT_EQ(PhysicsActiveCount(), 0);
    EXPECT_EQ(PhysicsIdleCount(), 1) << "back on the idle stack";
}

TEST_F(Physics, FallBouncesAndRestAreTheSameAtOneAndTenMegahertz)
{
    // Velocities are kept per tick and the rest threshold per second: a frame of 1/60 s gives
    // the same path whatever the counter's frequency.
    struct Run
    {
        int32_t frames = 0, bounces = 0;
        float rest = 0.0f;
    };
    Block({0, 0, 0});
    W3dFrame* support = Node({0, 50, 0});
    auto fall = [&](int64_t hz) {
        Win32TestSetPerformanceFrequency(hz);
        HbPerformanceFrequencyResetForTest();
        PhysicsSetGravity();
        W3dFrame* crate = Node({0, 120, 0});
        Run run;
        EXPECT_EQ(PhysicsRegister(crate), 1);
        EXPECT_EQ(PhysicsSetDirty(support), 1);
        float last = Y(crate);
        bool falling = true;
        while (PhysicsBodyState(crate) == FxBody::kMoving && run.frames < 600)
        {
            Advance(hz / 60);
            PhysicsStep();
            ++run.frames;
            const float y = Y(crate);
            if (falling && y > last)
                ++run.bounces;
            falling = y <= last;
            last = y;
        }
        EXPECT_EQ(PhysicsBodyState(crate), FxBody::kRemoved) << hz;
        run.rest = Y(crate);
        PhysicsStep(); // back on the idle stack
        EXPECT_EQ(PhysicsUnRegister(crate), 1) << hz;
        return run;
    };
    const Run fast = fall(10000000);
    const Run slow = fall(1000000);
    Win32TestSetPerformanceFrequency(0);
    HbPerformanceFrequencyResetForTest();
    PhysicsSetGravity();

    EXPECT_GE(fast.bounces, 2);
    EXPECT_LT(fast.frames, 300);
    EXPECT_NEAR(fast.rest, 20.0f, 2.0f);
    EXPECT_EQ(slow.frames, fast.frames);
    EXPECT_EQ(slow.bounces, fast.bounces);
    EXPECT_NEAR(slow.rest, fast.rest, 0.05f);
}

TEST_F(Physics, WithoutGroundAWokenBodyStopsAtTheEndOfItsLife)
{
    // Far off the floor: no static ground below, no atomic.
    W3dFrame* support = Node({5000, 0, 0});
    W3dFrame* crate = Node({5000, 100, 0});
    ASSERT_EQ(PhysicsRegister(crate), 1);
    PhysicsSetDirty(support);
    const int64_t second = HbPerformanceFrequency();
    for (int32_t i = 0; i < 49; ++i)
    {
        Advance(second / 10);
        PhysicsStep();
    }
    EXPECT_EQ(PhysicsBodyState(crate), FxBody::kMoving);
    Advance(second / 10);
    PhysicsStep();
    EXPECT_EQ(PhysicsBodyState(crate), FxBody::kRemoved) << "5 s after it was woken";
    EXPECT_LT(Y(crate), -10000.0f);
}

TEST_F(Physics, UnRegisterFindsOnlyIdleEntriesAndTheStackHoldsAHundredAndTwentyEight)
{
    W3dFrame* support = Node({0, 0, 0});
    W3dFrame* crate = Node({0, 100, 0});
    ASSERT_EQ(PhysicsRegister(crate), 1);
    PhysicsSetDirty(support);
    Advance(HbPerformanceFrequency() / 60);
    PhysicsStep();
    EXPECT_EQ(PhysicsUnRegister(crate), 0) << "it is falling";
    EXPECT_EQ(PhysicsUnRegister(support), 0) << "never registered";

    W3dFrame* many = Node({3000, 0, 0});
    for (int32_t i = 0; i < kPhysicsMaxEntries; ++i)
        ASSERT_EQ(PhysicsRegister(many), 1) << i;
    EXPECT_EQ(PhysicsRegister(many), 0) << "the 129th";
    EXPECT_EQ(PhysicsUnRegister(many), 1);
}

TEST_F(Physics, DestroyedNodesLeaveTheActiveArrayAndAreSkippedOnWakeUp)
{
    W3dFrame* support = Node({0, 0, 0});
    W3dFrame* crate = W3dFrame::Create();
    crate->AddRef();
    Vector at = {0, 100, 0};
    Frame::Translate(crate->GetEngineFrame(), &at, kCombineReplace);
    ASSERT_EQ(PhysicsRegister(crate), 1);
    PhysicsSetDirty(support);
    ASSERT_EQ(PhysicsActiveCount(), 1);
    crate->Release(); // destroyed while it falls
    Advance(HbPerformanceFrequency() / 60);
    PhysicsStep();
    EXPECT_EQ(PhysicsActiveCount(), 0);
    EXPECT_EQ(PhysicsIdleCount(), 1);
    EXPECT_EQ(PhysicsSetDirty(support), 1) << "a gone node is skipped";
    EXPECT_EQ(PhysicsActiveCount(), 0);
}

} // namespace
} // namespace fxtest
