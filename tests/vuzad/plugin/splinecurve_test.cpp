// Spline curves: the inverse matrices, curves through their points (open and closed), the
// parameter rules at and beyond the ends, errors, the 10-point window, and the body reader
// against our writer, with a mutation sweep.
#include "pluginfixture.h"

#include "error.h"
#include "splinecurve.h"
#include "splinewriter.h"
#include "stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{

class Splines : public PluginFixture
{
protected:
    void TearDown() override
    {
        for (SplineCurve* c : mCurves)
            SplineCurve::Destroy(c);
        PluginFixture::TearDown();
    }

    SplineCurve* Curve(int32_t type, const std::vector<Vector>& points)
    {
        SplineCurve* c = SplineCurve::Create(int32_t(points.size()), type, points.data());
        if (c)
            mCurves.push_back(c);
        return c;
    }

    static Vector At(const SplineCurve* c, float t, int32_t mode = kSplineModeUniform)
    {
        Vector p = {};
        EXPECT_EQ(SplineCurve::FindPosition(c, mode, t, &p, nullptr), &p);
        return p;
    }

    static Error Take()
    {
        Error e;
        Error::Get(&e);
        return e;
    }

    std::vector<SplineCurve*> mCurves;
};

void ExpectNear(const Vector& a, const Vector& b, float tolerance = 1e-3f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

const std::vector<Vector> kSquare = {{0, 0, 0}, {4, 1, 0}, {5, 5, 2}, {1, 6, -1}};

TEST_F(Splines, TheInverseMatricesInvertTheInterpolationConditions)
{
    const float* m4 = SplineCurve::GetInverseMatrix(4);
    ASSERT_NE(m4, nullptr);
    const float row[4] = {26.0f / 15, -14.0f / 15, 4.0f / 15, -1.0f / 15};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(m4[k], row[k], 1e-6f);
    for (int32_t m = 4; m <= 10; ++m)
    {
        const float* inv = SplineCurve::GetInverseMatrix(m);
        ASSERT_NE(inv, nullptr) << m;
        auto k = [m](int r, int c) -> double {
            if (r == 0)
                return c == 0 ? 2.0 / 3 : c == 1 ? 1.0 / 3 : 0;
            if (r == m - 1)
                return c == m - 1 ? 2.0 / 3 : c == m - 2 ? 1.0 / 3 : 0;
            return c == r ? 2.0 / 3 : (c == r - 1 || c == r + 1) ? 1.0 / 6 : 0;
        };
        for (int r = 0; r < m; ++r)
            for (int c = 0; c < m; ++c)
            {
                double sum = 0;
                for (int j = 0; j < m; ++j)
                    sum += double(inv[r * m + j]) * k(j, c);
                EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-5) << "m " << m << " at " << r << "," << c;
            }
    }
}

TEST_F(Splines, AnOpenCurvePassesThroughItsPointsEvenlyAndStopsAtItsEnds)
{
    SplineCurve* c = Curve(kSplineOpen, kSquare);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->numVertices, 6);
    for (int i = 0; i < 4; ++i)
        ExpectNear(At(c, float(i) / 3), kSquare[size_t(i)]);
    Vector p, tangent;
    SplineCurve::FindPosition(c, kSplineModeUniform, 0, &p, &tangent);
    ExpectNear(tangent, {0, 1, 0}, 1e-6f); // mirrored end vertices: no direction there
    SplineCurve::FindPosition(c, kSplineModeUniform, 0.5f, &p, &tangent);
    EXPECT_NEAR(Vector::Length(&tangent), 1.0f, 1e-3f);
    // Beyond the end, and just below it, nothing past the vertices is read.
    ExpectNear(At(c, 1.5f), kSquare[3]);
    ExpectNear(At(c, -7.0f), kSquare[3]);
    ExpectNear(At(c, 0.99999994f), kSquare[3]);
    ExpectNear(At(c, -0.25f), At(c, 0.25f), 1e-6f);
}

TEST_F(Splines, AClosedCurveWrapsAroundAndPassesThroughItsPoints)
{
    const std::vector<Vector> points = {{0, 0, 0}, {3, 0, 1}, {4, 3, 0}, {1, 4, -2}, {-1, 2, 0}};
    SplineCurve* c = Curve(kSplineClosed, points);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->numVertices, 8);
    for (size_t i = 0; i < points.size(); ++i)
        ExpectNear(At(c, float(i) / 5), points[i]);
    ExpectNear(At(c, 1.0f), points[0]);
    ExpectNear(At(c, 1.75f), At(c, 0.75f), 1e-6f);
    ExpectNear(At(c, 2.0f), At(c, 0.0f), 1e-6f);
    ExpectNear(At(c, -0.25f), At(c, 0.25f), 1e-6f);
    // Three points are enough for a closed curve.
    SplineCurve* triangle = Curve(kSplineClosed, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    ASSERT_NE(triangle, nullptr);
    ExpectNear(At(triangle, 1.0f / 3), {1, 0, 0});
}

TEST_F(Splines, EasedEvaluationAndErrors)
{
    SplineCurve* c = Curve(kSplineOpen, kSquare);
    ExpectNear(At(c, 0.5f, kSplineModeEased), At(c, 0.5f), 1e-6f);
    ExpectNear(At(c, 0.25f, kSplineModeEased), At(c, 0.125f), 1e-6f);
    Take();
    Vector p;
    EXPECT_EQ(SplineCurve::FindPosition(c, 12, 0.5f, &p, nullptr), nullptr);
    Error e = Take();
    EXPECT_EQ(e.pluginId, SplineCurve::kPluginId);
    EXPECT_EQ(e.code, 1);
    EXPECT_EQ(Curve(3, kSquare), nullptr);
    e = Take();
    EXPECT_EQ(e.pluginId, SplineCurve::kPluginId);
    EXPECT_EQ(e.code, 1);
    EXPECT_EQ(Curve(kSplineOpen, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}), nullptr);
    EXPECT_EQ(Take().code, int32_t(0x80000016u));
    EXPECT_EQ(Curve(kSplineClosed, {{0, 0, 0}, {1, 0, 0}}), nullptr);
}

TEST_F(Splines, LongCurvesUseATenPointWindow)
{
    std::vector<Vector> points;
    for (int i = 0; i < 16; ++i)
        points.push_back({float(i), float((i * 7) % 5), float(i % 3)});
    SplineCurve* a = Curve(kSplineOpen, points);
    points[15].y += 100; // far from vertex 6 (point 5): outside its window
    SplineCurve* b = Curve(kSplineOpen, points);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ExpectNear(a->vertices[6], b->vertices[6], 1e-6f);
    EXPECT_NE(a->vertices[15].y, b->vertices[15].y);
    // Still close to its points in the middle.
    ExpectNear(At(a, 5.0f / 15), points[5], 0.05f);
}

TEST_F(Splines, TheWriterAndTheReaderAgree)
{
    const std::string full(32, 'n');
    struct Case
    {
        std::string name;
        int32_t type;
    };
    for (const Case& k : {Case{"camera_path", kSplineOpen}, Case{full, kSplineClosed}})
    {
        std::vector<uint8_t> bytes = SplineWriter::Chunk(k.name, k.type, kSquare);
        Stream* s = OpenReader(bytes);
        uint32_t size = 0;
        ASSERT_EQ(Stream::FindChunk(s, SplineCurve::kChunkType, &size, nullptr), 1);
        EXPECT_EQ(size, 40u + 12 * 4);
        SplineCurve* c = SplineCurve::StreamRead(s, size);
        Stream::Close(s, nullptr);
        ASSERT_NE(c, nullptr);
        mCurves.push_back(c);
        EXPECT_EQ(std::string(c->name), k.name); // a full name is still terminated
        EXPECT_EQ(c->type, k.type);
        EXPECT_EQ(c->objectType, 12);
        for (size_t i = 0; i < kSquare.size(); ++i)
            ExpectNear(c->controlPoints[i], kSquare[i], 0);
        ExpectNear(At(c, 0), kSquare[0]);
    }
}

TEST_F(Splines, TheReaderRefusesCountsItsChunkCannotHold)
{
    struct Case
    {
        const char* what;
        int32_t count;
        int32_t type;
        size_t points;
    };
    const Case cases[] = {
        {"more points than written", 5, kSplineOpen, 4},  {"a huge count", 0x7FFFFFFF, kSplineOpen, 4},
        {"a negative count", -4, kSplineOpen, 4},         {"open with three", 3, kSplineOpen, 3},
        {"closed with two", 2, kSplineClosed, 2},          {"another type", 4, 7, 4},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> body = SplineWriter::Body("x", c.type, std::vector<Vector>(c.points, Vector{1, 2, 3}));
        std::memcpy(body.data() + 32, &c.count, 4);
        Stream* s = OpenReader(body);
        EXPECT_EQ(SplineCurve::StreamRead(s), nullptr) << c.what;
        Stream::Close(s, nullptr);
        Take();
    }
    // A chunk size that does not cover the points, though the stream goes on.
    std::vector<uint8_t> body = SplineWriter::Body("x", kSplineOpen, kSquare);
    body.resize(body.size() + 64);
    Stream* s = OpenReader(body);
    EXPECT_EQ(SplineCurve::StreamRead(s, 40 + 12 * 3), nullptr);
    Stream::Close(s, nullptr);
}

TEST_F(Splines, MutatedBodiesAreReadSafely)
{
    std::vector<Vector> points;
    for (int i = 0; i < 12; ++i)
        points.push_back({float(i), float(i * i), -float(i)});
    const std::vector<uint8_t> bytes = SplineWriter::Body("mutated", kSplineClosed, points);
    SweepMutations(bytes, 3000, [](std::vector<uint8_t>& copy) {
        Stream* s = OpenReader(copy);
        if (SplineCurve* c = SplineCurve::StreamRead(s))
        {
            Vector p, t;
            SplineCurve::FindPosition(c, kSplineModeUniform, 0.999f, &p, &t);
            SplineCurve::Destroy(c);
        }
        Stream::Close(s, nullptr);
        Error e;
        Error::Get(&e);
    });
}

} // namespace
