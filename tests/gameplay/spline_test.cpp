// Response curves over the engine's spline curves.
#include "renderer_fixture.h"
#include "spline.h"

#include <gtest/gtest.h>

namespace
{
using renderertest::RendererTest;

class SplineTest : public RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
    }
};

TEST_F(SplineTest, TurnCurvePeaksInTheMiddleAndEndsWhereItStarts)
{
    Spline spline;
    ASSERT_EQ(spline.SetLayout(1, 4), 1);
    const float points[4] = {300.0f, 1300.0f, 1300.0f, 300.0f};
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(spline.SetControlPoint(i, &points[i]), 1);
    EXPECT_EQ(spline.SetControlPoint(4, points), 0);
    ASSERT_EQ(spline.Build(0), 1);

    float guard[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
    spline.Sample(0.0f, guard);
    EXPECT_NEAR(guard[0], 300.0f, 0.01f);
    EXPECT_EQ(guard[1], -7.0f) << "one value for one dimension";
    spline.Sample(1.0f, guard);
    EXPECT_NEAR(guard[0], 300.0f, 0.01f);
    float quarter, middle, threeQuarters;
    spline.Sample(0.25f, &quarter);
    spline.Sample(0.5f, &middle);
    spline.Sample(0.75f, &threeQuarters);
    EXPECT_GT(middle, 1300.0f);
    EXPECT_GT(middle, quarter);
    EXPECT_GT(middle, threeQuarters);
    EXPECT_NEAR(quarter, threeQuarters, 0.5f);
}

TEST_F(SplineTest, WritesExactlyItsDimension)
{
    Spline spline;
    float guard[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
    spline.Sample(0.5f, guard);
    EXPECT_EQ(guard[0], -7.0f) << "nothing before a layout";
    EXPECT_EQ(spline.Build(0), 0);
    EXPECT_EQ(spline.SetLayout(4, 4), 0);
    EXPECT_EQ(spline.SetLayout(2, 0), 0);

    ASSERT_EQ(spline.SetLayout(2, 4), 1);
    const float points[4][2] = {{0.0f, 10.0f}, {1.0f, 20.0f}, {2.0f, 30.0f}, {3.0f, 40.0f}};
    for (int32_t i = 0; i < 4; ++i)
        spline.SetControlPoint(i, points[i]);
    ASSERT_EQ(spline.Build(0), 1);
    spline.Sample(1.0f, guard);
    EXPECT_NEAR(guard[0], 3.0f, 1e-3f);
    EXPECT_NEAR(guard[1], 40.0f, 1e-3f);
    EXPECT_EQ(guard[2], -7.0f);
    EXPECT_EQ(guard[3], -7.0f);

    spline.Clear();
    EXPECT_EQ(spline.GetBuiltCount(), 0);
    ASSERT_EQ(spline.SetLayout(3, 5), 1);
    const float point[3] = {1.0f, 2.0f, 3.0f};
    for (int32_t i = 0; i < 5; ++i)
        spline.SetControlPoint(i, point);
    ASSERT_EQ(spline.Build(1), 1);
    spline.Sample(0.3f, guard);
    EXPECT_NEAR(guard[2], 3.0f, 1e-3f);
    EXPECT_EQ(guard[3], -7.0f);
}

} // namespace
