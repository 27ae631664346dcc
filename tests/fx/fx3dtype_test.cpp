// The debris types as start-up fills them (given and derived values) and the gravity term of
// the moving bodies.
#include "fx3dtype.h"
#include "hbclock.h"

#include <gtest/gtest.h>

namespace
{
TEST(Fx3dTypes, FourTypesWithTheirDerivedValues)
{
    const Fx3dType fresh;
    EXPECT_EQ(fresh.pieces, 0);
    EXPECT_EQ(fresh.launchInterval, INT64_MAX);
    EXPECT_FLOAT_EQ(fresh.fadeDuration, -1.0f);
    EXPECT_FLOAT_EQ(fresh.restitution, 1.0f);
    EXPECT_FLOAT_EQ(fresh.spinAxis[2], 1.0f);

    Fx3dFillTypes();
    const double hz = double(HbPerformanceFrequency());
    struct Case
    {
        int32_t type, pieces;
        float offsetY, speed, scale, restitution, directionSpreadY;
    };
    const Case cases[] = {
        {kFx3dTypeBox, 6, 50, 400, 1.0f, 0.5f, 0.0f},
        {kFx3dTypeBaril, 3, 50, 600, 1.0f, 0.5f, 1.0f},
        {kFx3dTypeBarilWood, 5, 60, 450, 0.6f, 0.5f, 0.7f},
        {kFx3dTypeBarilBridge, 10, 50, 500, 1.0f, 0.4f, 0.3f},
    };
    for (const Case& c : cases)
    {
        const Fx3dType* t = Fx3dGetType(c.type);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->pieces, c.pieces) << c.type;
        EXPECT_EQ(t->piecesReserved, c.pieces) << "one launch fits the window";
        EXPECT_EQ(t->life, int64_t(2 * hz));
        EXPECT_EQ(t->launchWindow, int64_t(0.1 * hz));
        EXPECT_FLOAT_EQ(t->fadeDuration, 1.0f);
        EXPECT_EQ(t->fadeDelay, int64_t(hz));
        EXPECT_FLOAT_EQ(t->positionOffset[1], c.offsetY);
        EXPECT_FLOAT_EQ(t->direction[1], 1.0f);
        EXPECT_FLOAT_EQ(t->directionSpread[1], c.directionSpreadY);
        EXPECT_FLOAT_EQ(t->speed * float(hz), c.speed);
        EXPECT_FLOAT_EQ(t->speedSpread * float(hz), 50.0f);
        EXPECT_FLOAT_EQ(t->scale[2], c.scale);
        EXPECT_FLOAT_EQ(t->spinSpread, 720.0f);
        EXPECT_FLOAT_EQ(t->restitution, c.restitution);
    }
    EXPECT_EQ(Fx3dGetType(4), nullptr);
    EXPECT_EQ(Fx3dGetType(-1), nullptr);

    // A fade longer than the life is cut to it; a window of several intervals reserves more.
    Fx3dType t;
    t.pieces = 2;
    t.life = Fx3dTicks(0.5f);
    t.launchWindow = Fx3dTicks(1.0f);
    t.launchInterval = Fx3dTicks(0.1f);
    t.fadeDuration = 3.0f;
    t.direction[0] = 3, t.direction[2] = 4;
    t.Derive();
    EXPECT_FLOAT_EQ(t.fadeDuration, 0.5f);
    EXPECT_EQ(t.piecesReserved, 10);
    EXPECT_FLOAT_EQ(t.direction[0], 0.6f);
    EXPECT_FLOAT_EQ(t.direction[2], 0.8f);
}

TEST(Fx3dTypes, GravityFollowsTheCounterFrequency)
{
    PhysicsSetGravity();
    const double hz = double(HbPerformanceFrequency());
    EXPECT_FLOAT_EQ(PhysicsGetGravity(), float(-490.5 / (hz * hz)));
    // One second from rest falls half of 981 units; the horizontal speed carries on.
    const float v[3] = {float(100 / hz), 0.0f, 0.0f};
    float d[3];
    PhysicsDisplacement(int64_t(hz), v, d);
    EXPECT_NEAR(d[0], 100.0f, 1e-3f);
    EXPECT_NEAR(d[1], -490.5f, 1e-2f);
    EXPECT_FLOAT_EQ(d[2], 0.0f);
}
} // namespace
