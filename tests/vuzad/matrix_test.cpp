// Tests of matrices: combine modes, type flags through products and inverses, singular
// and orthonormal inverses, orthonormalisation, rotation queries and the matrix free list.
#include "engine.h"
#include "error.h"
#include "matrix.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{

// ---- A double-precision reference ----------------------------------------------------------

struct Ref
{
    double m[4][3]; // right, up, at, position
};

Ref ToRef(const Matrix& a)
{
    const Vector* rows[4] = {&a.right, &a.up, &a.at, &a.pos};
    Ref r;
    for (int i = 0; i < 4; ++i)
        r.m[i][0] = rows[i]->x, r.m[i][1] = rows[i]->y, r.m[i][2] = rows[i]->z;
    return r;
}

Ref Mul(const Ref& a, const Ref& b)
{
    Ref r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
        {
            double s = i == 3 ? b.m[3][j] : 0.0;
            for (int k = 0; k < 3; ++k)
                s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Ref Identity()
{
    return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}};
}

// The rotation about a unit axis that maps p to p R.
Ref Rotation(double x, double y, double z, double c, double s)
{
    double u[3] = {x, y, z};
    Ref r = Identity();
    const int eps[3][3][3] = {
        {{0, 0, 0}, {0, 0, 1}, {0, -1, 0}}, {{0, 0, -1}, {0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {-1, 0, 0}, {0, 0, 0}}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            double v = (i == j ? c : 0.0) + (1 - c) * u[i] * u[j];
            for (int k = 0; k < 3; ++k)
                v += s * eps[i][j][k] * u[k];
            r.m[i][j] = v;
        }
    return r;
}

void ExpectRefNear(const Ref& actual, const Ref& expected, double tolerance)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(actual.m[i][j], expected.m[i][j], tolerance) << "row " << i << " column " << j;
}

void ExpectNear(const Matrix& actual, const Ref& expected, double tolerance = 2e-5)
{
    ExpectRefNear(ToRef(actual), expected, tolerance);
}

Matrix Make(Vector right, Vector up, Vector at, Vector pos, uint32_t flags)
{
    Matrix m = {};
    m.right = right, m.up = up, m.at = at, m.pos = pos, m.flags = flags;
    return m;
}

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

class Matrices : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
        // An orthonormal matrix: 30 degrees about (1, 2, 3), then moved.
        Vector axis = {1, 2, 3};
        Vector move = {1, -2, 3};
        Matrix::Rotate(&mRigid, &axis, 30.0f, kCombineReplace);
        Matrix::Translate(&mRigid, &move, kCombinePostConcat);
        // A general matrix: scaled and sheared.
        mGeneral = Make({2, 0.5f, 0}, {0, 3, 0.25f}, {0.5f, 0, 0.5f}, {4, 5, 6}, 0);
    }

    Matrix mRigid = {};
    Matrix mGeneral = {};
};

// ---- Combining -------------------------------------------------------------------------------

TEST_F(Matrices, CombineModesFollowTheirOrderAndFlagRules)
{
    const double c40 = std::cos(40 * M_PI / 180), s40 = std::sin(40 * M_PI / 180);
    const double h = std::sqrt(0.5);
    const Vector axis = {1, 1, 0};
    const Vector unitAxis = {float(h), float(h), 0};
    const Vector scale = {2, -1, 0.5f};
    const Vector move = {3, 4, -5};
    const Matrix other = mGeneral;

    struct Op
    {
        const char* name;
        std::function<Matrix*(Matrix*, int32_t)> apply;
        Ref transform;
        std::function<uint32_t(uint32_t flags, int32_t combine)> flags;
    };
    const uint32_t id = kMatrixIdentity;
    const Op ops[] = {
        {"Rotate", [&](Matrix* m, int32_t c) { return Matrix::Rotate(m, &axis, 40, c); }, Rotation(h, h, 0, c40, s40),
         [&](uint32_t f, int32_t c) { return c == kCombineReplace || (f & id) ? kMatrixOrthonormal : f & 3; }},
        {"RotateCosSin",
         [&](Matrix* m, int32_t c) { return Matrix::RotateCosSin(m, &unitAxis, float(1 - c40), float(s40), c); },
         Rotation(h, h, 0, c40, s40),
         [&](uint32_t f, int32_t c) { return c == kCombineReplace || (f & id) ? kMatrixOrthonormal : f & 3; }},
        {"Scale",
         [&](Matrix* m, int32_t c) { return Matrix::Scale(m, &scale, c); },
         {{{2, 0, 0}, {0, -1, 0}, {0, 0, 0.5}, {0, 0, 0}}},
         [](uint32_t f, int32_t) { return f & ~kMatrixTypeMask; }},
        {"Translate",
         [&](Matrix* m, int32_t c) { return Matrix::Translate(m, &move, c); },
         {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {3, 4, -5}}},
         [](uint32_t f, int32_t c) { return (c == kCombineReplace ? f | kMatrixOrthonormal : f) & ~id; }},
        {"Transform", [&](Matrix* m, int32_t c) { return Matrix::Transform(m, &other, c); }, ToRef(other),
         [&](uint32_t f, int32_t c) { return c == kCombineReplace || (f & id) ? other.flags : f & other.flags; }},
    };

    Matrix* identity = Matrix::Create();
    for (Matrix* start : {&mRigid, identity})
        for (const Op& op : ops)
            for (int32_t combine : {0, 1, 2, 3})
            {
                SCOPED_TRACE(std::string(op.name) + " combine " + std::to_string(combine) +
                             (start == identity ? " on the identity" : " on a rigid matrix"));
                Matrix m = *start;
                Matrix* result = op.apply(&m, combine);
                if (combine == 3)
                {
                    EXPECT_EQ(result, nullptr);
                    EXPECT_EQ(std::memcmp(&m, start, sizeof m), 0) << "unchanged";
                    EXPECT_EQ(TakeError(), kErrBadArgument);
                    continue;
                }
                EXPECT_EQ(result, &m);
                Ref expected = combine == kCombineReplace     ? op.transform
                               : combine == kCombinePreConcat ? Mul(op.transform, ToRef(*start))
                                                              : Mul(ToRef(*start), op.transform);
                ExpectNear(m, expected);
                EXPECT_EQ(m.flags, op.flags(start->flags, combine));
                EXPECT_EQ(TakeError(), kErrNone);
            }
    Matrix::Destroy(identity);
}

TEST_F(Matrices, RotateNormalisesItsAxisAndTransformMayCombineWithItself)
{
    Matrix m = {};
    Vector axis = {0, 0, 2};
    Matrix::Rotate(&m, &axis, 90, kCombineReplace);
    ExpectNear(m, {{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, 0}}}, 1e-6);

    Matrix twice = mGeneral;
    Matrix::Transform(&twice, &twice, kCombinePostConcat);
    ExpectNear(twice, Mul(ToRef(mGeneral), ToRef(mGeneral)), 1e-4);
}

// ---- Products ------------------------------------------------------------------------------------

TEST_F(Matrices, MultiplyCopiesIdentitiesAndAndsTheFlags)
{
    Matrix* identity = Matrix::Create();
    Matrix out;
    std::memset(&out, 0xAB, sizeof out);
    Matrix::Multiply(&out, identity, &mGeneral);
    EXPECT_EQ(std::memcmp(&out, &mGeneral, sizeof out), 0) << "a copy of b, flags included";
    Matrix::Multiply(&out, &mRigid, identity);
    EXPECT_EQ(std::memcmp(&out, &mRigid, sizeof out), 0);

    Matrix otherRigid = {};
    Vector axis = {0, 1, 0};
    Matrix::Rotate(&otherRigid, &axis, 70, kCombineReplace);
    Matrix::Multiply(&out, &mRigid, &otherRigid);
    EXPECT_EQ(out.flags, kMatrixOrthonormal) << "orthonormal x orthonormal";
    ExpectNear(out, Mul(ToRef(mRigid), ToRef(otherRigid)));

    Matrix::Multiply(&out, &mRigid, &mGeneral);
    EXPECT_EQ(out.flags, 0u);
    ExpectNear(out, Mul(ToRef(mRigid), ToRef(mGeneral)), 1e-4);

    // Identity rows without the identity flag are multiplied, not copied.
    Matrix plain = *identity;
    Matrix::Update(&plain);
    Matrix::Multiply(&out, &plain, &mRigid);
    EXPECT_EQ(out.flags, 0u);
    ExpectNear(out, ToRef(mRigid));
    Matrix::Destroy(identity);
}

// ---- Inverses --------------------------------------------------------------------------------------

TEST_F(Matrices, InvertByKind)
{
    Matrix out = {};
    Matrix* identity = Matrix::Create();
    Matrix::Invert(&out, identity);
    EXPECT_EQ(std::memcmp(&out, identity, sizeof out), 0);
    Matrix::Destroy(identity);

    for (const Matrix* m : {&mRigid, &mGeneral})
    {
        SCOPED_TRACE(m == &mRigid ? "orthonormal" : "general");
        Matrix::Invert(&out, m);
        EXPECT_EQ(out.flags, m == &mRigid ? kMatrixOrthonormal : 0u);
        ExpectRefNear(Mul(ToRef(*m), ToRef(out)), Identity(), 1e-5);
        ExpectRefNear(Mul(ToRef(out), ToRef(*m)), Identity(), 1e-5);
    }
}

TEST_F(Matrices, InvertOfASingularMatrixGivesTheUndividedAdjugate)
{
    // Rows 1 and 2 are parallel: the determinant is exactly zero.
    Matrix singular = Make({1, 2, 3}, {2, 4, 6}, {0, 1, 1}, {1, 1, 1}, kMatrixNormal);
    Matrix out = {};
    Matrix::Invert(&out, &singular);
    EXPECT_EQ(out.flags, 0u);
    Ref adjugate = {{{-2, 1, 0}, {-2, 1, 0}, {2, -1, 0}, {0, 0, 0}}};
    for (int j = 0; j < 3; ++j)
        adjugate.m[3][j] = -(adjugate.m[0][j] + adjugate.m[1][j] + adjugate.m[2][j]);
    ExpectNear(out, adjugate, 0);

    // The determinant of these rows comes out as -0.0; it is zero too, so nothing is
    // divided by it and no infinity or NaN appears.
    Matrix negativeZero = Make({-1, 0, 0}, {0, 0, 0}, {-1, 0, 0}, {1, 2, 3}, 0);
    Matrix::Invert(&out, &negativeZero);
    for (float v : {out.right.x, out.right.y, out.right.z, out.up.x, out.up.y, out.up.z, out.at.x, out.at.y, out.at.z,
                    out.pos.x, out.pos.y, out.pos.z})
        EXPECT_EQ(v, 0.0f);
}

// ---- Orthonormalising --------------------------------------------------------------------------------

TEST_F(Matrices, OrthonormalizeKeepsTheMostPerpendicularRowsAndHandedness)
{
    Matrix m = Make({2, 0, 0}, {0.1f, 3, 0}, {0, 0, 0}, {7, 8, 9}, 0);
    Matrix out = {};
    Matrix::Orthonormalize(&out, &m);
    ExpectNear(out, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {7, 8, 9}}}, 2e-4);
    EXPECT_EQ(out.flags, kMatrixOrthonormal);

    // In place, on skewed rows; identity leaves the flags, other bits stay.
    Matrix skewed = Make({1, 0.1f, 0}, {0.2f, 1, 0.1f}, {0, 0.3f, 2}, {5, 6, 7}, kMatrixIdentity | 0x100);
    Matrix::Orthonormalize(&skewed, &skewed);
    EXPECT_EQ(skewed.flags, 0x100u | kMatrixOrthonormal);
    EXPECT_LT(Matrix::NormalError(&skewed), 1e-6f);
    EXPECT_LT(Matrix::OrthogonalError(&skewed), 1e-6f);
    EXPECT_NEAR(Matrix::Determinant(&skewed), 1.0f, 1e-3f) << "right = up x at";
    EXPECT_EQ(skewed.pos.z, 7.0f);
}

TEST_F(Matrices, OptimizeAndUpdateSetTheFlagsFromTheRows)
{
    struct Case
    {
        const char* name;
        Matrix m;
        uint32_t flags;
    } cases[] = {
        {"identity rows", Make({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, 0x100), 0x100 | kMatrixTypeMask},
        {"rigid", mRigid, kMatrixOrthonormal},
        {"moved identity", Make({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, 0), kMatrixOrthonormal},
        {"unit skewed rows", Make({1, 0, 0}, {0.6f, 0.8f, 0}, {0, 0, 1}, {0, 0, 0}, 0), kMatrixNormal},
        {"scaled", Make({2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {0, 0, 0}, kMatrixTypeMask), kMatrixOrthogonal},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Matrix::Optimize(&c.m, nullptr)->flags, c.flags);
        EXPECT_EQ(Matrix::Update(&c.m)->flags, c.flags & ~kMatrixTypeMask);
    }
    MatrixTolerances loose = {100, 100, 100};
    Matrix scaled = cases[4].m;
    EXPECT_EQ(Matrix::Optimize(&scaled, &loose)->flags, kMatrixTypeMask);
}

// ---- Queries ----------------------------------------------------------------------------------------

TEST_F(Matrices, QueryRotateFindsAxisAndAngleIncludingHalfTurns)
{
    struct Case
    {
        Vector axis;
        float angle;
    } cases[] = {
        {{0, 1, 0}, 180}, {{1, 0, 0}, 180}, {{0, 0, 1}, 180}, {{0, 0, 1}, 90}, {{0, 1, 0}, 45}, {{1, 1, 1}, 120},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.angle << " degrees about (" << c.axis.x << ", " << c.axis.y << ", "
                                        << c.axis.z << ")");
        Matrix m = {};
        Matrix::Rotate(&m, &c.axis, c.angle, kCombineReplace);
        Vector axis, centre;
        float angle = 0;
        EXPECT_EQ(Matrix::QueryRotate(&m, &axis, &angle, &centre), &m);
        Vector expected;
        Vector::NormalizeUnchecked(&expected, &c.axis);
        EXPECT_NEAR(axis.x, expected.x, 1e-3);
        EXPECT_NEAR(axis.y, expected.y, 1e-3);
        EXPECT_NEAR(axis.z, expected.z, 1e-3);
        EXPECT_NEAR(angle, c.angle, 1e-3);
    }
}

// ---- Outside an engine ---------------------------------------------------------------------------------

// No engine is started: the arithmetic that needs square roots works all the same.
class MatricesWithoutAnEngine : public EngineFixture
{
};

TEST_F(MatricesWithoutAnEngine, RotateOrthonormalizeAndQueryRotateWork)
{
    ASSERT_TRUE(!Engine::Current() || Engine::Current()->state == kEngineNotInitialised);
    Matrix m = {};
    Vector axis = {0, 0, 2};
    ASSERT_EQ(Matrix::Rotate(&m, &axis, 90, kCombineReplace), &m);
    ExpectNear(m, {{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, 0}}}, 1e-6);

    Matrix skewed = Make({1, 0.1f, 0}, {0.2f, 1, 0.1f}, {0, 0.3f, 2}, {5, 6, 7}, 0);
    ASSERT_EQ(Matrix::Orthonormalize(&skewed, &skewed), &skewed);
    EXPECT_LT(Matrix::NormalError(&skewed), 1e-6f);
    EXPECT_LT(Matrix::OrthogonalError(&skewed), 1e-6f);

    Vector diagonal = {1, 1, 1}, found, centre;
    float angle = 0;
    Matrix::Rotate(&m, &diagonal, 120, kCombineReplace);
    ASSERT_EQ(Matrix::QueryRotate(&m, &found, &angle, &centre), &m);
    const float third = 1.0f / std::sqrt(3.0f);
    EXPECT_NEAR(found.x, third, 1e-3);
    EXPECT_NEAR(found.y, third, 1e-3);
    EXPECT_NEAR(found.z, third, 1e-3);
    EXPECT_NEAR(angle, 120, 1e-3);
}

// ---- Matrix objects -----------------------------------------------------------------------------------

TEST_F(Matrices, CreateTakesAlignedIdentitiesFromTheFreeList)
{
    std::vector<Matrix*> matrices;
    for (int i = 0; i < 256; ++i)
    {
        Matrix* m = Matrix::Create();
        ASSERT_NE(m, nullptr);
        matrices.push_back(m);
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(matrices[1]) % 16, 0u);
    EXPECT_EQ(matrices[7]->flags, kMatrixIdentity | kMatrixOrthonormal);
    ExpectNear(*matrices[7], Identity(), 0);

    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == 0x3000D; };
    EXPECT_EQ(Matrix::Create(), nullptr) << "the block of 256 is full and no other can be made";
    TestMemory::refuse = nullptr;
    for (Matrix* m : matrices)
        EXPECT_EQ(Matrix::Destroy(m), 1);
}

} // namespace
