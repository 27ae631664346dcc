// The vector and frame utilities: planar angles and their sign, headings, wrapping, blending
// by frame time, and frames turned to look along a direction or given a world matrix.
#include "frame.h"
#include "matrix.h"
#include "scene_fixture.h"
#include "wvectorutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace renderertest
{
namespace
{

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectVector(const Vector& v, float x, float y, float z, const char* what)
{
    EXPECT_NEAR(v.x, x, 1e-4f) << what;
    EXPECT_NEAR(v.y, y, 1e-4f) << what;
    EXPECT_NEAR(v.z, z, 1e-4f) << what;
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

void ExpectOrthonormal(const Matrix& m)
{
    EXPECT_NEAR(Dot(m.right, m.right), 1.0f, 1e-4f);
    EXPECT_NEAR(Dot(m.up, m.up), 1.0f, 1e-4f);
    EXPECT_NEAR(Dot(m.at, m.at), 1.0f, 1e-4f);
    EXPECT_NEAR(Dot(m.right, m.up), 0.0f, 1e-4f);
    EXPECT_NEAR(Dot(m.right, m.at), 0.0f, 1e-4f);
    EXPECT_NEAR(Dot(m.up, m.at), 0.0f, 1e-4f);
}

TEST(VectorUtil, PlanarAngleIgnoresHeightsAndIsSigned)
{
    Vector a = {1, 5, 0}, b = {0, -3, 1}, axis;
    EXPECT_NEAR(VectorPlanarAngle(&a, &b, &axis), -90.0f, 1e-4f) << "(1,0,0) x (0,0,1) points down";
    ExpectVector(axis, 0, 1, 0, "the axis is turned up");
    EXPECT_NEAR(VectorPlanarAngle(&b, &a, &axis), 90.0f, 1e-4f);
    ExpectVector(axis, 0, 1, 0, "swapped");

    Vector up = {0, 7, 0};
    EXPECT_EQ(VectorPlanarAngle(&a, &up, nullptr), 0.0f) << "no horizontal direction";
    Vector p = {1, 0, 1}, pa = {2, 9, 1}, pb = {1, -2, 2};
    EXPECT_NEAR(PointPlanarAngle(&p, &pa, &pb, nullptr), -90.0f, 1e-4f);
}

TEST(VectorUtil, AngleOfParallelVectorsGivesAPerpendicularAxis)
{
    const struct
    {
        Vector a, b;
        float angle;
        Vector axis;
    } cases[] = {
        {{1, 0, 0}, {0, 1, 0}, 90.0f, {0, 0, 1}},
        {{0, 2, 0}, {0, 3, 0}, 0.0f, {0, 0, 1}},     // a.y set: (0, -a.z, a.y)
        {{2, 0, 0}, {-1, 0, 0}, 180.0f, {0, 0, -1}}, // only a.x: (a.z, 0, -a.x)
    };
    for (const auto& c : cases)
    {
        Vector axis;
        EXPECT_NEAR(VectorAngle(&c.a, &c.b, &axis), c.angle, 1e-3f);
        ExpectVector(axis, c.axis.x, c.axis.y, c.axis.z, "axis");
    }
}

TEST(VectorUtil, HeadingsWrappingAndBlending)
{
    Vector back = {0, 0, -1}, right = {1, 0, 0}, beyond = {1.5f, 0, 0}, below = {-1.5f, 0, 0};
    EXPECT_NEAR(HeadingFromVector(&back), 3.0f * kPi / 2.0f, 1e-5f);
    EXPECT_EQ(HeadingFromVector(&right), 0.0f);
    EXPECT_EQ(HeadingFromVector(&beyond), 0.0f);
    EXPECT_NEAR(HeadingFromVector(&below), kPi, 1e-6f);
    Vector v = VectorFromHeading(kPi / 2.0f);
    ExpectVector(v, 0, 0, 1, "heading pi/2");

    EXPECT_NEAR(AngleWrapTowards(0.0f, 7.0f), 7.0f - 2.0f * kPi, 1e-5f);
    EXPECT_NEAR(AngleWrapTowards(10.0f, 0.0f), 4.0f * kPi, 1e-4f);
    // Far angles wrap by a remainder (a loop of whole turns never ends there); non-finite
    // angles pass through.
    for (float far : {1e9f, -1e9f, 123456789.0f})
    {
        float wrapped = AngleWrapTowards(0.0f, far);
        EXPECT_LE(std::fabs(wrapped), kPi + 1e-5f) << far;
        EXPECT_NEAR(std::remainder(double(far) - double(wrapped), 2.0 * double(kPi)), 0.0, 1e-3) << far;
    }
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(AngleWrapTowards(0.0f, inf), inf);
    EXPECT_EQ(AngleWrapTowards(0.0f, -inf), -inf);
    EXPECT_TRUE(std::isnan(AngleWrapTowards(1.0f, std::numeric_limits<float>::quiet_NaN())));

    EXPECT_NEAR(BlendByFrameTime(0.0f, 10.0f, 50.0f, 1.0f / 120.0f), 2.5f, 1e-5f);
    EXPECT_EQ(BlendByFrameTime(0.0f, 10.0f, 50.0f, 1.0f), 10.0f) << "clamped at the target";
    EXPECT_EQ(BlendByFrameTime(0.0f, 10.0f, 100.0f, 1.0f / 60.0f), 10.0f) << "rate 100 arrives in one frame";
    Vector from = {0, 0, 0}, to = {10, -10, 4}, out;
    BlendVectorByFrameTime(&from, &to, 50.0f, 1.0f / 120.0f, &out);
    ExpectVector(out, 2.5f, -2.5f, 1.0f, "per component");
}

using FrameUtil = SceneTest;

TEST_F(FrameUtil, LookAlongAnyDirectionGivesAnOrthonormalFrame)
{
    Frame* parent = Frame::Create();
    Frame* frame = Frame::Create();
    Vector turn = {0, 1, 0};
    Frame::Rotate(parent, &turn, 90.0f, kCombineReplace);
    Frame::AddChild(parent, frame);
    Vector position = {3, 4, 5};
    Frame::Translate(frame, &position, kCombineReplace);

    // Along the world up the up reference is parallel to the direction: another one is taken.
    const Vector directions[] = {{0, 0, 2}, {1, 1, 0}, {0, 5, 0}, {0, -3, 0}};
    for (const Vector& direction : directions)
    {
        FrameLookAlong(frame, &direction);
        const Matrix* world = Frame::GetWorldMatrix(frame);
        ExpectOrthonormal(*world);
        float length = std::sqrt(Dot(direction, direction));
        ExpectVector(world->at, direction.x / length, direction.y / length, direction.z / length, "at in world");
        ExpectVector(frame->modelling.pos, 3, 4, 5, "position kept");
        if (direction.y == 0.0f)
        {
            EXPECT_GT(world->up.y, 0.0f) << "up leans to the world up";
        }
    }
    Vector none = {0, 0.0001f, 0};
    Matrix before = frame->modelling;
    FrameLookAlong(frame, &none);
    ExpectVector(frame->modelling.at, before.at.x, before.at.y, before.at.z, "no direction: nothing");

    Matrix bare;
    Vector along = {0, 0, -4};
    bare.flags = kMatrixIdentity | kMatrixOrthonormal;
    bare.pos = {0, 0, 0};
    MatrixLookAlong(&bare, &along);
    ExpectVector(bare.at, 0, 0, -1, "bare at");
    ExpectVector(bare.right, -1, 0, 0, "bare right = up x at");
    EXPECT_EQ(bare.flags & kMatrixTypeMask, 0u);

    Frame::RemoveChild(frame);
    Frame::Destroy(frame);
    Frame::Destroy(parent);
}

TEST_F(FrameUtil, SetWorldMatrixAndFacePlanar)
{
    Frame* parent = Frame::Create();
    Frame* frame = Frame::Create();
    Vector offset = {10, 0, 0};
    Frame::Translate(parent, &offset, kCombineReplace);
    Frame::AddChild(parent, frame);

    Matrix wanted = *Frame::GetWorldMatrix(parent);
    wanted.pos = {1, 2, 3};
    FrameSetWorldMatrix(frame, &wanted);
    ExpectVector(Frame::GetWorldMatrix(frame)->pos, 1, 2, 3, "world position under a parent");
    ExpectVector(frame->modelling.pos, -9, 2, 3, "modelling relative to the parent");

    Vector target = {-1, 7, 0};
    FrameFaceDirectionPlanar(frame, &target);
    const Matrix* world = Frame::GetWorldMatrix(frame);
    EXPECT_NEAR(world->at.x, -1.0f, 1e-4f);
    EXPECT_NEAR(world->at.z, 0.0f, 1e-4f);
    ExpectVector(world->pos, 1, 2, 3, "turned in place");
    ExpectOrthonormal(*world);

    Frame::RemoveChild(frame);
    Frame::Destroy(frame);
    Frame::Destroy(parent);
}

} // namespace
} // namespace renderertest
