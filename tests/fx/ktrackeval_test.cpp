// Track evaluation: linear lookups of the three vector types, orientation keys with the
// polynomial slerp, the billboard builders in their constraint cases, and reference-point
// placement in its three modes.
#include "ktrackeval.h"

#include "kparser.h"
#include "ktrack.h"
#include "matrix.h"
#include "quat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{
using Floats = std::vector<float>;

/// A track's key table built the way the parser appends keys.
Floats Keys(KTrackType type, const std::vector<std::pair<float, Floats>>& keys)
{
    KTrack track("T", 1, 1, type);
    for (const auto& [time, value] : keys)
        track.AppendKey(time, value.data());
    return track.keys;
}

TEST(KTrackEval, LinearKeysInterpolateAndHoldTheLastValue)
{
    const Floats scalar = Keys(kTrackScalar, {{0, {0}}, {1, {10}}});
    struct Case
    {
        float t;
        bool found;
        float value;
    };
    const Case cases[] = {{0.5f, true, 5}, {1, true, 10}, {2, true, 10}, {0, true, 0}, {-0.1f, false, 0}};
    for (const Case& c : cases)
    {
        const float* v = KTrackEvalScalar(c.t, scalar.data(), 2);
        ASSERT_EQ(v != nullptr, c.found) << c.t;
        if (v)
        {
            EXPECT_FLOAT_EQ(*v, c.value) << c.t;
        }
    }
    EXPECT_EQ(KTrackEvalScalar(0.5f, nullptr, 0), nullptr);

    const Floats single = Keys(kTrackScalar, {{0.25f, {7}}});
    EXPECT_EQ(*KTrackEvalScalar(0.25f, single.data(), 1), 7.0f);
    EXPECT_EQ(*KTrackEvalScalar(100.0f, single.data(), 1), 7.0f);

    const Floats vec2 = Keys(kTrackVec2, {{0, {0, 100}}, {2, {4, 0}}});
    const float* v2 = KTrackEvalVec2(1, vec2.data(), 2);
    EXPECT_EQ(Floats(v2, v2 + 2), (Floats{2, 50}));
    const Floats vec3 = Keys(kTrackVec3, {{1, {0, 0, 0}}, {2, {1, 2, 3}}, {4, {1, 2, 7}}});
    const float* v3 = KTrackEvalVec3(3, vec3.data(), 3);
    EXPECT_EQ(Floats(v3, v3 + 3), (Floats{1, 2, 5}));

    // Equal times: the later key is selected at that time, and nothing divides by zero.
    const Floats equal = Keys(kTrackScalar, {{0, {0}}, {1, {4}}, {1, {8}}, {2, {10}}});
    EXPECT_EQ(*KTrackEvalScalar(1, equal.data(), 4), 8.0f);
    EXPECT_EQ(*KTrackEvalScalar(1.5f, equal.data(), 4), 9.0f);
    EXPECT_EQ(*KTrackEvalScalar(0.5f, equal.data(), 4), 2.0f);
    EXPECT_EQ(KFindKey(1, equal.data(), 4, 3), equal.data() + 6);
}

Quat Turn(float degrees, Vector axis)
{
    Quat q = {0, 0, 0, 1};
    Quat::Rotate(&q, &axis, degrees, 0);
    return q;
}

Floats OrientationKeys(const std::vector<std::pair<float, Quat>>& keys)
{
    Floats out;
    for (const auto& [t, q] : keys)
        out.insert(out.end(), {t, q.x, q.y, q.z, q.w});
    return out;
}

float Angle(const Quat& q)
{
    Vector axis;
    float degrees = 0;
    Quat copy = q;
    Quat::GetRotation(&copy, &axis, &degrees);
    return degrees;
}

TEST(KTrackEval, OrientationKeysSlerpBetweenTheKeysAroundT)
{
    const Floats keys = OrientationKeys({{0, Turn(0, {0, 1, 0})}, {1, Turn(180, {0, 1, 0})}});
    EXPECT_EQ(KTrackEvalOrientation(-0.1f, keys.data(), 2), nullptr);
    const Quat* half = KTrackEvalOrientation(0.5f, keys.data(), 2);
    ASSERT_NE(half, nullptr);
    EXPECT_NEAR(Angle(*half), 90.0f, 1e-3f);
    EXPECT_NEAR(std::fabs(half->y), std::sqrt(0.5f), 1e-5f);
    for (float t : {1.0f, 3.0f})
    {
        const Quat* end = KTrackEvalOrientation(t, keys.data(), 2);
        ASSERT_NE(end, nullptr);
        EXPECT_NEAR(Angle(*end), 180.0f, 1e-3f) << t;
    }

    // The polynomial sine against the library's, over random pairs of rotations: within 1e-5
    // of the slerp over the same prepared angle, and within 5e-5 of an exact double slerp
    // (the prepared angle comes from a single-precision arc cosine).
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1, 1);
    for (int32_t i = 0; i < 200; ++i)
    {
        Quat a = Turn(unit(random) * 180, {unit(random), unit(random), unit(random) + 1.5f});
        Quat b = Turn(unit(random) * 180, {unit(random) + 1.5f, unit(random), unit(random)});
        const float f = (unit(random) + 1) * 0.5f;
        const Floats pair = OrientationKeys({{0, a}, {1, b}});
        const Quat* got = KTrackEvalOrientation(f, pair.data(), 2);
        ASSERT_NE(got, nullptr);
        QuatSlerpCache cache;
        QuatSlerpCache::Setup(&a, &b, &cache);
        double dot = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
        if (dot < 0)
        {
            b = {-b.x, -b.y, -b.z, -b.w};
            dot = -dot;
        }
        for (const double omega : {double(cache.omega), std::acos(std::min(1.0, dot))})
        {
            const double tolerance = omega == double(cache.omega) ? 1e-5 : 5e-5;
            double wa = 1 - f, wb = f;
            if (!cache.nearlyEqual)
            {
                wa = std::sin((1 - f) * omega) / std::sin(omega);
                wb = std::sin(f * omega) / std::sin(omega);
            }
            EXPECT_NEAR(got->x, wa * a.x + wb * b.x, tolerance) << i;
            EXPECT_NEAR(got->y, wa * a.y + wb * b.y, tolerance) << i;
            EXPECT_NEAR(got->z, wa * a.z + wb * b.z, tolerance) << i;
            EXPECT_NEAR(got->w, wa * a.w + wb * b.w, tolerance) << i;
        }
    }
}

void ExpectRow(const Vector& v, Vector e, const char* what)
{
    EXPECT_NEAR(v.x, e.x, 1e-5f) << what;
    EXPECT_NEAR(v.y, e.y, 1e-5f) << what;
    EXPECT_NEAR(v.z, e.z, 1e-5f) << what;
}

Matrix Camera()
{
    Matrix camera{};
    camera.right = {1, 0, 0};
    camera.up = {0, 1, 0};
    camera.at = {0, 0, 1};
    camera.pos = {0, 0, -10};
    return camera;
}

TEST(KTrackEval, BillboardsInTheirFourConstraintCases)
{
    const Matrix camera = Camera();
    const Vector up = {0, 1, 0}, right = {1, 0, 0};
    struct Case
    {
        const Vector* up;
        const Vector* right;
        Vector r, u, a;
    };
    const Case facingPlane[] = {
        {nullptr, nullptr, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
        {nullptr, &right, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {&up, nullptr, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {&up, &right, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    };
    for (const Case& c : facingPlane)
    {
        Matrix m{};
        KBillboardCamera(&m, &camera, c.up, c.right);
        ExpectRow(m.right, c.r, "camera right");
        ExpectRow(m.up, c.u, "camera up");
        ExpectRow(m.at, c.a, "camera at");
    }

    // Facing the camera position from a particle beside the axis: the at row points from the
    // camera to the particle. With one constraint the at row stays as it was; with both the
    // whole matrix does.
    const Vector beside = {10, 0, 0};
    Matrix m{};
    KBillboardViewpoint(&m, &camera, &beside, nullptr, nullptr);
    const float s = std::sqrt(0.5f);
    ExpectRow(m.at, {s, 0, s}, "viewpoint at");
    ExpectRow(m.right, {s, 0, -s}, "viewpoint right");
    ExpectRow(m.up, {0, 1, 0}, "viewpoint up");

    const Vector origin = {0, 0, 0};
    const Vector marker = {7, 7, 7};
    struct OneCase
    {
        const Vector* up;
        const Vector* right;
        Vector r, u;
    };
    const OneCase partial[] = {
        {nullptr, &right, {1, 0, 0}, {0, 1, 0}},
        {&up, nullptr, {1, 0, 0}, {0, 1, 0}},
        {&up, &right, marker, marker},
    };
    for (const OneCase& c : partial)
    {
        Matrix v{};
        v.right = v.up = v.at = marker;
        KBillboardViewpoint(&v, &camera, &origin, c.up, c.right);
        ExpectRow(v.right, c.r, "viewpoint right");
        ExpectRow(v.up, c.u, "viewpoint up");
        ExpectRow(v.at, marker, "viewpoint at kept");
    }
}

/// The particle generator, written out independently.
float Draw(uint32_t& x)
{
    x = x * 196314165u + 907633515u;
    return float(double(x) / 4294967296.0 * 2.0 - 1.0);
}

TEST(KTrackEval, ReferencePointsInTheThreeModes)
{
    const float axis[3] = {0, 1, 0};
    const float biasAxis[3] = {0.5f, 0.25f, 0.5f};
    const float velocity[3] = {10, 0, 0};
    // +Y lands on the RP direction whatever the spin (the spin's table sines and the
    // normalisation of its axis cost a few 1e-5).
    const float offset[3] = {0, 2, 0};
    const uint32_t start = 12345;

    {
        uint32_t seed = start;
        KRpParticle particle{};
        KRpEmit(kRpWorldOriented, axis, 30, biasAxis, 10, &seed, &particle);
        EXPECT_EQ(seed, start) << "world orientation draws nothing";
        float point[3] = {1, 1, 1}, position[3];
        KRpUpdate(kRpWorldOriented, &particle, point, velocity, 0.5f, offset, position);
        EXPECT_EQ(Floats(point, point + 3), (Floats{6, 1, 1}));
        EXPECT_EQ(Floats(position, position + 3), (Floats{6, 3, 1}));
    }
    {
        uint32_t seed = start, expected = start;
        Floats drawn(3);
        for (int32_t i = 0; i < 3; ++i)
            drawn[i] = axis[i] + Draw(expected) * biasAxis[i];
        Draw(expected); // the angle
        KRpParticle particle{};
        KRpEmit(kRpSelfOriented, axis, 30, biasAxis, 10, &seed, &particle);
        EXPECT_EQ(seed, expected) << "x, y, z, then the angle";
        const float length = std::sqrt(drawn[0] * drawn[0] + drawn[1] * drawn[1] + drawn[2] * drawn[2]);
        float point[3] = {0, 0, 0}, position[3];
        KRpUpdate(kRpSelfOriented, &particle, point, velocity, 0.1f, offset, position);
        for (int32_t i = 0; i < 3; ++i)
            EXPECT_NEAR(position[i], point[i] + 2 * drawn[size_t(i)] / length, 1e-4f) << i;
        EXPECT_FLOAT_EQ(point[0], 1.0f);
    }
    {
        uint32_t seed = start, expected = start;
        Floats kept(3);
        for (int32_t i = 0; i < 3; ++i)
            kept[i] = biasAxis[i] * Draw(expected);
        const float angle = 30 + Draw(expected) * 10;
        KRpParticle particle{};
        KRpEmit(kRpSpeedOriented, axis, 30, biasAxis, 10, &seed, &particle);
        EXPECT_EQ(Floats(particle.axis, particle.axis + 3), kept);
        EXPECT_EQ(particle.angle, angle);
        const Floats direction = {1 + kept[0], kept[1], kept[2]}; // the unit velocity plus the kept axis
        const float length =
            std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] + direction[2] * direction[2]);
        float point[3] = {0, 0, 0}, position[3];
        KRpUpdate(kRpSpeedOriented, &particle, point, velocity, 0, offset, position);
        for (int32_t i = 0; i < 3; ++i)
            EXPECT_NEAR(position[i], 2 * direction[size_t(i)] / length, 1e-4f) << i;
    }
}

} // namespace
