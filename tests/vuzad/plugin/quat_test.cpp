// Quaternions, matrix interpolation and the quaternion interpolation cache.
#include "pluginfixture.h"

#include "error.h"
#include "matrix.h"
#include "quat.h"
#include "slerp.h"
#include "testdevice.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

class QuatTest : public PluginFixture
{
};

Matrix RotationMatrix(Vector axis, float degrees)
{
    Matrix m{};
    Matrix::Rotate(&m, &axis, degrees, kCombineReplace);
    return m;
}

/// The same rotation, either sign.
void ExpectSameRotation(const Quat& a, const Quat& b, float tolerance)
{
    const float dot = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    EXPECT_NEAR(std::fabs(dot), 1.0f, tolerance) << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs ("
                                                 << b.x << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}

TEST_F(QuatTest, FromMatrixAgreesWithRotateInEveryBranch)
{
    struct Case
    {
        const char* branch;
        Vector axis;
        float degrees;
    };
    const Case cases[] = {
        {"trace > 0", {0.3f, -0.5f, 0.8f}, 70.0f},
        {"x case: 180 about x, trace -1", {1, 0, 0}, 180.0f},
        {"y case", {0.1f, 1.0f, 0.2f}, 170.0f},
        {"z case with m00 <= m11", {0, 0, 1}, 180.0f},
        {"z case with m00 > m11, m22 >= m00", {0.3f, 0.1f, 1.0f}, 180.0f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.branch);
        const Matrix m = RotationMatrix(c.axis, c.degrees);
        Quat fromMatrix{}, expected{};
        ASSERT_EQ(Quat::FromMatrix(&fromMatrix, &m), 1);
        ASSERT_NE(Quat::Rotate(&expected, &c.axis, c.degrees, 0), nullptr);
        ExpectSameRotation(fromMatrix, expected, 2e-4f);
    }
    Quat q{};
    const Matrix identity = RotationMatrix({0, 0, 1}, 0.0f);
    ASSERT_EQ(Quat::FromMatrix(&q, &identity), 1);
    EXPECT_FLOAT_EQ(q.w, 1.0f);
    EXPECT_FLOAT_EQ(q.x, 0.0f);
    EXPECT_EQ(Quat::FromMatrix(nullptr, &identity), 0);
    EXPECT_EQ(Quat::FromMatrix(&q, nullptr), 0);
    EXPECT_EQ(TakeError(), kErrNone) << "a null argument records nothing";
}

TEST_F(QuatTest, RotateCombinationsAndErrors)
{
    Quat q{};
    const Vector z2 = {0, 0, 2};
    ASSERT_EQ(Quat::Rotate(&q, &z2, 180.0f, 0), &q);
    EXPECT_FLOAT_EQ(q.x, 0.0f);
    EXPECT_FLOAT_EQ(q.y, 0.0f);
    EXPECT_FLOAT_EQ(q.z, 1.0f);
    EXPECT_FLOAT_EQ(q.w, std::cos(180.0f * 0.008726646f)) << "cos 90 in single precision";

    // 1 forms quat x R, 2 forms R x quat: rotations about different axes do not commute.
    const Vector x = {1, 0, 0}, y = {0, 1, 0};
    Quat a{}, b{}, rx{}, ry{};
    Quat::Rotate(&rx, &x, 90.0f, 0);
    Quat::Rotate(&ry, &y, 90.0f, 0);
    a = rx, b = rx;
    Quat::Rotate(&a, &y, 90.0f, 1);
    Quat::Rotate(&b, &y, 90.0f, 2);
    ExpectSameRotation(a, Quat::Multiply(rx, ry), 1e-6f);
    ExpectSameRotation(b, Quat::Multiply(ry, rx), 1e-6f);
    EXPECT_GT(std::fabs(a.z - b.z), 0.5f);

    Quat before = q;
    EXPECT_EQ(Quat::Rotate(&q, &z2, 10.0f, 3), nullptr);
    // Common codes are kept with plug-in id 0 by the error slot.
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrBadArgument) << "Invalid combination type";
    EXPECT_EQ(std::memcmp(&q, &before, sizeof q), 0);
    EXPECT_EQ(Quat::Rotate(&q, nullptr, 10.0f, 0), nullptr);
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrNullArgument);
}

TEST_F(QuatTest, GetRotationTakesTheShortWay)
{
    Vector axis{};
    float angle = -1.0f;
    Quat identity = {0, 0, 0, 1};
    ASSERT_EQ(Quat::GetRotation(&identity, &axis, &angle), &identity);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_EQ(axis.x, 0.0f);
    EXPECT_EQ(axis.y, 0.0f);
    EXPECT_EQ(axis.z, 0.0f);

    // 300 degrees about +z is 60 degrees about -z.
    const float h = 150.0f * 3.14159265f / 180.0f;
    Quat q = {0, 0, std::sin(h), std::cos(h)};
    ASSERT_LT(q.w, 0.0f);
    Quat::GetRotation(&q, &axis, &angle);
    EXPECT_NEAR(angle, 60.0f, 1e-3f);
    EXPECT_NEAR(axis.z, -1.0f, 1e-4f);

    // 100 degrees (w > 0) comes back as it went in.
    const Vector dir = {0, 3, 4};
    Quat::Rotate(&q, &dir, 100.0f, 0);
    Quat::GetRotation(&q, &axis, &angle);
    EXPECT_NEAR(angle, 100.0f, 1e-2f);
    EXPECT_NEAR(axis.y, 0.6f, 1e-4f);
    EXPECT_NEAR(axis.z, 0.8f, 1e-4f);
    EXPECT_EQ(Quat::GetRotation(&q, nullptr, &angle), nullptr);
    EXPECT_EQ(TakeError(), kErrNullArgument);
}

TEST_F(QuatTest, SlerpEndsAreExactCopiesAndTheMiddleIsHalfway)
{
    Matrix start = RotationMatrix({0, 0, 1}, 10.0f);
    start.pos = {1, 2, 3};
    Matrix end = RotationMatrix({0, 0, 1}, 100.0f);
    end.pos = {5, -2, 7};
    for (uint32_t flags : {0u, kSlerpCallerStart | kSlerpCallerEnd})
    {
        SCOPED_TRACE(flags);
        Slerp* slerp = Slerp::Create(flags);
        ASSERT_NE(slerp, nullptr);
        ASSERT_EQ(Slerp::Initialise(slerp, &start, &end), slerp);
        EXPECT_EQ(slerp->linear, 0);
        EXPECT_NEAR(slerp->angle, 90.0f, 0.05f);

        Matrix r;
        std::memset(&r, 0x5A, sizeof r);
        Slerp::InterpolateMatrix(slerp, &r, 0.0f);
        EXPECT_EQ(std::memcmp(&r, &start, sizeof r), 0);
        Slerp::InterpolateMatrix(slerp, &r, 1.0f);
        EXPECT_EQ(std::memcmp(&r, &end, sizeof r), 0);

        Slerp::InterpolateMatrix(slerp, &r, 0.5f);
        EXPECT_FLOAT_EQ(r.pos.x, 3.0f);
        EXPECT_FLOAT_EQ(r.pos.y, 0.0f);
        EXPECT_FLOAT_EQ(r.pos.z, 5.0f);
        const Matrix mid = RotationMatrix({0, 0, 1}, 55.0f);
        EXPECT_NEAR(r.right.x, mid.right.x, 1e-3f);
        EXPECT_NEAR(r.right.y, mid.right.y, 1e-3f);
        EXPECT_NEAR(r.up.x, mid.up.x, 1e-3f);
        Slerp::Destroy(slerp);
    }
}

TEST_F(QuatTest, SlerpOneDegreeApartIsLinearWithUnitRows)
{
    Matrix start = RotationMatrix({1, 1, 0}, 30.0f);
    Matrix end = RotationMatrix({1, 1, 0}, 31.0f);
    end.pos = {2, 0, 0};
    Slerp* slerp = Slerp::Create(0);
    ASSERT_NE(slerp, nullptr);
    Slerp::Initialise(slerp, &start, &end);
    EXPECT_EQ(slerp->linear, 1);
    Matrix r;
    Slerp::InterpolateMatrix(slerp, &r, 0.25f);
    for (const Vector* row : {&r.right, &r.up, &r.at})
        EXPECT_NEAR(Vector::Length(row), 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(r.pos.x, 0.5f);
    EXPECT_EQ(r.flags & kMatrixTypeMask, 0u) << "rows written directly: the type is cleared";
    Slerp::Destroy(slerp);
}

TEST_F(QuatTest, SlerpCreateFailsWhenItsMatrixCannotBeMade)
{
    // Only the record itself may be allocated; the matrix free list runs dry.
    TestMemory::refuse = [](size_t, uint32_t hint) { return (hint & 0xFFFF) != uint32_t(Slerp::kPluginId); };
    std::vector<Matrix*> held;
    while (held.size() < 200000)
    {
        Matrix* m = Matrix::Create();
        if (!m)
            break;
        held.push_back(m);
    }
    TakeError();
    EXPECT_EQ(Slerp::Create(0), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrNoMemory);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintObject | Slerp::kPluginId), 0u) << "the record is freed";
    Slerp* callerEnds = Slerp::Create(kSlerpCallerStart | kSlerpCallerEnd);
    EXPECT_NE(callerEnds, nullptr) << "a record that owns no matrix needs none";
    Slerp::Destroy(callerEnds);
    TestMemory::refuse = nullptr;
    for (Matrix* m : held)
        Matrix::Destroy(m);
}

TEST_F(QuatTest, SlerpCacheTakesTheShorterArc)
{
    const Vector axis = {0.2f, 0.9f, -0.4f};
    Quat q1{}, q2{};
    Quat::Rotate(&q1, &axis, 40.0f, 0);
    const Quat minus = {-q1.x, -q1.y, -q1.z, -q1.w};
    QuatSlerpCache cache{};
    QuatSlerpCache::Setup(&q1, &minus, &cache);
    EXPECT_EQ(cache.nearlyEqual, 1);
    EXPECT_EQ(std::memcmp(&cache.first, &q1, sizeof q1), 0);
    EXPECT_EQ(std::memcmp(&cache.second, &q1, sizeof q1), 0) << "-q2 is q1";

    // 40 to 130 degrees about one axis: at t the angle is 40 + 90 t.
    Quat::Rotate(&q2, &axis, 130.0f, 0);
    QuatSlerpCache::Setup(&q1, &q2, &cache);
    EXPECT_EQ(cache.nearlyEqual, 0);
    EXPECT_NEAR(cache.omega, 45.0f * 3.14159265f / 180.0f, 1e-4f);
    for (float t : {0.1f, 0.5f, 0.8f})
    {
        Quat expected{};
        Quat::Rotate(&expected, &axis, 40.0f + 90.0f * t, 0);
        const Quat got = QuatSlerpCache::Evaluate(&cache, t);
        EXPECT_NEAR(got.x, expected.x, 2e-4f);
        EXPECT_NEAR(got.y, expected.y, 2e-4f);
        EXPECT_NEAR(got.w, expected.w, 2e-4f);
    }
    EXPECT_EQ(QuatSlerpCache::Acos(1.0f), 0.0f);
    EXPECT_FLOAT_EQ(QuatSlerpCache::Acos(0.0f), 1.5707964f);
    for (float c : {-0.9f, -0.3f, 0.2f, 0.6f, 0.99f})
        EXPECT_NEAR(QuatSlerpCache::Acos(c), std::acos(c), 2e-4f) << c;
}

} // namespace
