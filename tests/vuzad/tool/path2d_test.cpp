// Tests of paths, brushes, fill, stroke and the transformation stack on the recording
// immediate-mode layer: the strips and batches drawn, colours and texture states, curve
// flattening, the device matrix and the stack's limits.
#include "brush2d.h"
#include "path2d.h"
#include "raster.h"
#include "texture.h"
#include "toolfixture.h"
#include "vector.h"

#include <cmath>

using tooltest::Recorded;

namespace
{

class Toolkit2dRecording : public tooltest::RecordingTest
{
};

uint32_t Argb(const Rgba& c)
{
    return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

bool ColourNear(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 1)
            return false;
    return true;
}

std::vector<std::pair<float, float>> Positions(const tooltest::Draw& draw)
{
    std::vector<std::pair<float, float>> out;
    for (const Im3dVertex& v : draw.vertices)
        out.emplace_back(v.x, v.y);
    return out;
}

/// p x m for a row-vector matrix.
Vector Apply(const Matrix& m, Vector p)
{
    return {p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x,
            p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y,
            p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z};
}

int32_t CountPoints(const Path2d* sub)
{
    int32_t count = 0;
    Path2d::GetPoints(sub, &count);
    return count;
}

TEST_F(Toolkit2dRecording, ARectangleFillsAsTheStripLastFirstFourthSecondThird)
{
    Path2d* path = Path2d::AddRectangle(Path2d::Create(), 0.1f, 0.2f, 0.3f, 0.4f);
    ASSERT_EQ(CountPoints(path), 5);
    Brush2d* brush = Brush2d::Create();
    Path2d::Fill(path, brush);

    ASSERT_EQ(Recorded().draws.size(), 1u);
    const tooltest::Draw& draw = Recorded().draws[0];
    EXPECT_EQ(draw.primitive, kIm3dTriStrip);
    EXPECT_EQ(draw.flags & kIm3dTextured, 0u);
    using P = std::pair<float, float>;
    std::vector<P> expected = {P(0.1f, 0.2f), P(0.1f, 0.2f), P(0.1f, 0.6f), P(0.4f, 0.2f), P(0.4f, 0.6f)};
    std::vector<P> actual = Positions(draw);
    ASSERT_EQ(actual.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
    {
        EXPECT_NEAR(actual[i].first, expected[i].first, 1e-6f) << i;
        EXPECT_NEAR(actual[i].second, expected[i].second, 1e-6f) << i;
        EXPECT_EQ(draw.vertices[i].z, 1.0f) << "the layer depth";
    }
    EXPECT_EQ(draw.indices, (std::vector<uint16_t>{0, 1, 2, 3, 4}));
    ASSERT_EQ(Recorded().states.size(), 1u);
    EXPECT_EQ(Recorded().states[0], std::make_pair(int32_t(kRenderStateTextureRaster), intptr_t(0)));

    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, EqualCornersDrawFlatAndOneChangedCornerInterpolates)
{
    Path2d* path = Path2d::AddRectangle(Path2d::Create(), 0, 0, 1, 1);
    Brush2d* brush = Brush2d::Create();
    const Rgba same = {200, 100, 50, 255};
    Brush2d::SetColors(brush, &same, &same, &same, &same);
    EXPECT_EQ(brush->flags & kBrush2dColoursDiffer, 0u);
    Path2d::Fill(path, brush);
    for (const Im3dVertex& v : Recorded().draws.at(0).vertices)
        EXPECT_EQ(v.colour, Argb(same));

    // Corner 1 (bottom right) changes: each corner vertex takes its own colour, and a
    // point halfway along the bottom edge takes the mean.
    Recorded().Clear();
    const Rgba other = {0, 200, 150, 55};
    Brush2d::SetColors(brush, &same, &other, &same, &same);
    EXPECT_NE(brush->flags & kBrush2dColoursDiffer, 0u);
    Path2d::Fill(path, brush);
    const std::vector<Im3dVertex>& v = Recorded().draws.at(0).vertices;
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[1].colour, Argb(same)) << "bottom left";
    EXPECT_EQ(v[3].colour, Argb(other)) << "bottom right";
    EXPECT_EQ(v[2].colour, Argb(same)) << "top left";
    EXPECT_EQ(v[4].colour, Argb(same)) << "top right";
    EXPECT_EQ(Brush2d::ColourAt(brush, 0.5f, 0.0f), 0x9B649664u);

    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, UVsSetTheTextureBitOnlyWhenTheyVaryAcross)
{
    Brush2d* brush = Brush2d::Create();
    Texture* texture = Texture::Create(nullptr);
    ASSERT_NE(texture, nullptr);
    Brush2d::SetTexture(brush, texture);
    EXPECT_NE(brush->flags & kBrush2dTextured, 0u);
    EXPECT_EQ(texture->refCount, 2);

    struct Case
    {
        Vector2 uv[4];
        bool textured;
        const char* what;
    } cases[] = {
        {{{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}, false, "four equal pairs, texture set"},
        {{{0, 0}, {0, 0}, {1, 1}, {1, 1}}, false, "bottom and top differ, not across"},
        {{{0, 0}, {1, 0}, {0, 1}, {0, 1}}, true, "the bottom varies"},
        {{{0, 0}, {0, 0}, {0, 1}, {0, 0.5f}}, true, "the top varies in v"},
    };
    for (const Case& c : cases)
    {
        Brush2d::SetUVs(brush, &c.uv[0], &c.uv[1], &c.uv[2], &c.uv[3]);
        EXPECT_EQ((brush->flags & kBrush2dTextured) != 0, c.textured) << c.what;
    }
    Brush2d::SetTexture(brush, nullptr);
    EXPECT_EQ(brush->flags & kBrush2dTextured, 0u) << "no texture";
    EXPECT_EQ(texture->refCount, 1);
    Texture::Destroy(texture);
    Brush2d::Destroy(brush);
}

TEST_F(Toolkit2dRecording, ABrushWithTwoReferencesSurvivesDestroy)
{
    Brush2d* brush = Brush2d::AddRef(Brush2d::Create());
    EXPECT_EQ(Brush2d::Destroy(brush), 0);
    const Rgba red = {255, 0, 0, 255};
    Brush2d::SetColors(brush, &red, &red, &red, &red);
    Path2d* path = Path2d::AddRectangle(Path2d::Create(), 0, 0, 1, 1);
    Path2d::Fill(path, brush);
    ASSERT_EQ(Recorded().draws.size(), 1u);
    EXPECT_EQ(Recorded().draws[0].vertices[0].colour, 0xFFFF0000u);
    EXPECT_EQ(Brush2d::Destroy(brush), 1);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, TheFillSetsTheTexturesStatesAndAddressingOnlyWhenUAndVAgree)
{
    Raster* raster = Raster::Create(8, 8, 0, kRasterTypeTexture);
    ASSERT_NE(raster, nullptr);
    Texture* texture = Texture::Create(raster);
    Brush2d* brush = Brush2d::Create();
    Brush2d::SetTexture(brush, texture);
    Path2d* path = Path2d::AddRectangle(Path2d::Create(), 0, 0, 1, 1);
    const intptr_t rasterValue = reinterpret_cast<intptr_t>(raster);
    struct Case
    {
        uint32_t word;
        intptr_t filter, address;
    } cases[] = {{0x3302, 2, 3}, {0x2101, 1, 0}, {0x1106, 6, 1}};
    for (const Case& c : cases)
    {
        Recorded().Clear();
        texture->filterAddressing = c.word;
        Path2d::Fill(path, brush);
        std::vector<std::pair<int32_t, intptr_t>> expected = {{kRenderStateTextureRaster, rasterValue},
                                                              {kRenderStateTextureFilter, c.filter},
                                                              {kRenderStateTextureAddress, c.address}};
        EXPECT_EQ(Recorded().states, expected) << std::hex << c.word;
        EXPECT_EQ(Recorded().draws.at(0).flags & kIm3dTextured, kIm3dTextured);
    }
    Texture::Destroy(texture);
    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, TheStackHoldsThirtyTwoLevelsAndPreConcatenates)
{
    for (int i = 1; i <= 31; ++i)
        ASSERT_EQ(Transform2d::Push(), 1) << i;
    EXPECT_EQ(Transform2d::Push(), 0);
    EXPECT_EQ(Transform2d::GetLevel(), 31);
    for (int i = 1; i <= 31; ++i)
        ASSERT_EQ(Transform2d::Pop(), 1) << i;
    EXPECT_EQ(Transform2d::Pop(), 0);

    // Translate, then scale: the scale applies first, in the translated frame; a pop
    // brings the level's old matrix back.
    Matrix base = *Device2d::GetMatrix();
    ASSERT_EQ(Transform2d::Push(), 1);
    Transform2d::Translate(0.25f, 0.5f);
    Transform2d::Scale(2, 3);
    Transform2d::Rotate(90);
    Matrix moved = *Device2d::GetMatrix();
    Vector a = Apply(moved, {0.1f, 0.0f, 1.0f});
    Vector b = Apply(base, {0.25f, 0.5f + 0.3f, 1.0f}); // rotated to (0, 0.1), scaled to (0, 0.3)
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
    ASSERT_EQ(Transform2d::Pop(), 1);
    Vector c = Apply(*Device2d::GetMatrix(), {0.3f, 0.4f, 1.0f});
    Vector d = Apply(base, {0.3f, 0.4f, 1.0f});
    EXPECT_NEAR(c.x, d.x, 1e-6f);
    EXPECT_NEAR(c.y, d.y, 1e-6f);
}

TEST_F(Toolkit2dRecording, TheOriginIsTheViewsBottomLeftAndParallelIgnoresTheLayerDepth)
{
    EXPECT_EQ(Device2d::SetLayerDepth(0), 0);
    EXPECT_EQ(Device2d::SetLayerDepth(-1), 0);
    EXPECT_EQ(Device2d::GetLayerDepth(), 1.0f);
    ASSERT_EQ(Device2d::SetLayerDepth(4), 1);

    // The camera's frame is the identity: camera space is world space, and the view
    // window's (+x, -y) corner is its bottom left (camera x runs to the left on screen).
    const float w = 2.0f / 3.0f, h = 0.5f;
    struct Case
    {
        int32_t projection;
        float d;
    } cases[] = {{kCameraPerspective, 4.0f}, {kCameraParallel, 1.0f}};
    for (const Case& c : cases)
    {
        Camera::SetProjection(mCamera, c.projection);
        ASSERT_EQ(Device2d::SetCamera(mCamera), 1);
        const Matrix& m = *Device2d::GetMatrix();
        Vector origin = Apply(m, {0, 0, 4.0f});
        EXPECT_NEAR(origin.x, w * c.d, 1e-5f) << c.projection;
        EXPECT_NEAR(origin.y, -h * c.d, 1e-5f) << c.projection;
        EXPECT_NEAR(origin.z, 4.0f, 1e-6f) << "vertices keep the layer depth";
        // The shorter side spans 1: (4/3, 1) is the opposite corner.
        Vector corner = Apply(m, {4.0f / 3.0f, 1.0f, 4.0f});
        EXPECT_NEAR(corner.x, -w * c.d, 1e-5f) << c.projection;
        EXPECT_NEAR(corner.y, h * c.d, 1e-5f) << c.projection;
    }
    Camera::SetProjection(mCamera, kCameraPerspective);
    Device2d::SetCamera(mCamera);

    Raster* noBuffer = mCamera->frameBuffer;
    mCamera->frameBuffer = nullptr;
    EXPECT_EQ(Device2d::SetCamera(mCamera), 0);
    EXPECT_EQ(Device2d::GetCamera(), mCamera) << "a camera without a frame buffer changes nothing";
    mCamera->frameBuffer = noBuffer;
    EXPECT_EQ(Device2d::SetCamera(nullptr), 0);
    EXPECT_EQ(Device2d::GetCamera(), nullptr);
    Path2d* path = Path2d::AddRectangle(Path2d::Create(), 0, 0, 1, 1);
    Brush2d* brush = Brush2d::Create();
    Path2d::Fill(path, brush);
    EXPECT_TRUE(Recorded().draws.empty()) << "nothing is drawn without a camera";
    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, CurvesFlattenWithinTheToleranceAndAtMost128Segments)
{
    // Half a pixel: 480 rows span one 2D unit.
    EXPECT_NEAR(std::sqrt(Device2d::GetFlatTolerance()), 0.5f / 480.0f, 1e-6f);
    struct Case
    {
        float p[8];
        int32_t minPoints, maxPoints;
        const char* what;
    } cases[] = {
        {{0, 0, 0.1f, 0, 0.2f, 0, 0.3f, 0}, 2, 2, "control points on the chord: one segment"},
        {{0.2f, 0.2f, 0.4f, 0.6f, 0.0f, 0.6f, 0.2f, 0.2f}, 3, 129, "coincident ends split at least once"},
        {{0, 0, 500, 900, -400, 900, 1, 0}, 100, 129, "a huge loop stops at 128 segments"},
        {{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, 1, 1, "a curve without extent adds no segment"},
    };
    for (const Case& c : cases)
    {
        Path2d* source = Path2d::Create();
        Path2d::MoveTo(source, c.p[0], c.p[1]);
        Path2d::CurveTo(source, c.p[2], c.p[3], c.p[4], c.p[5], c.p[6], c.p[7]);
        EXPECT_EQ(source->flat, 0);
        Path2d* flat = Path2d::Flatten(Path2d::Create(), source);
        int32_t n = CountPoints(flat);
        EXPECT_GE(n, c.minPoints) << c.what;
        EXPECT_LE(n, c.maxPoints) << c.what;
        int32_t count = 0;
        const Path2dPoint* points = Path2d::GetPoints(flat, &count);
        EXPECT_FLOAT_EQ(points[count - 1].x, c.p[6]) << c.what;
        EXPECT_FLOAT_EQ(points[count - 1].y, c.p[7]) << c.what;
        for (int32_t i = 1; i < count; ++i)
            EXPECT_EQ(points[i].kind, kPath2dLineTo);
        Path2d::Destroy(flat);
        Path2d::Destroy(source);
    }
}

/// A regular polygon of n corners around (cx, cy).
Path2d* Polygon(int32_t n, float cx, float cy, float r)
{
    Path2d* path = Path2d::Create();
    Path2d::MoveTo(path, cx + r, cy);
    for (int32_t i = 1; i < n; ++i)
    {
        float a = 2.0f * 3.14159265f * float(i) / float(n);
        Path2d::LineTo(path, cx + r * std::cos(a), cy + r * std::sin(a));
    }
    return Path2d::ClosePath(path);
}

TEST_F(Toolkit2dRecording, LongOutlinesDrawInBatchesThatContinueEachOther)
{
    Path2d* path = Polygon(600, 0.6f, 0.5f, 0.4f);
    const int32_t n = CountPoints(path);
    ASSERT_EQ(n, 601);
    int32_t count = 0;
    const Path2dPoint* points = Path2d::GetPoints(path, &count);
    std::vector<std::pair<float, float>> order;
    for (int32_t back = n - 1, front = 0; back >= front;)
    {
        order.emplace_back(points[back].x, points[back].y);
        if (--back < front)
            break;
        order.emplace_back(points[front].x, points[front].y);
        ++front;
    }

    Brush2d* brush = Brush2d::Create();
    Path2d::Fill(path, brush);
    const auto& draws = Recorded().draws;
    ASSERT_GE(draws.size(), 3u);
    std::vector<std::pair<float, float>> joined;
    for (size_t k = 0; k < draws.size(); ++k)
    {
        EXPECT_LE(draws[k].vertices.size(), 256u);
        EXPECT_EQ(draws[k].indices.size(), draws[k].vertices.size());
        std::vector<std::pair<float, float>> p = Positions(draws[k]);
        if (k > 0)
        {
            // The strip goes on from the last two vertices drawn.
            const std::vector<Im3dVertex>& before = draws[k - 1].vertices;
            EXPECT_EQ(p[0], std::make_pair(before[before.size() - 2].x, before[before.size() - 2].y));
            EXPECT_EQ(p[1], std::make_pair(before.back().x, before.back().y));
            p.erase(p.begin(), p.begin() + 2);
        }
        joined.insert(joined.end(), p.begin(), p.end());
    }
    EXPECT_EQ(joined, order);

    // The stroke starts every batch again with the previous point's pair.
    Recorded().Clear();
    Path2d::Stroke(path, brush);
    ASSERT_GE(draws.size(), 4u);
    size_t pairs = 0;
    for (size_t k = 0; k < draws.size(); ++k)
    {
        EXPECT_LE(draws[k].vertices.size(), 256u);
        EXPECT_EQ(draws[k].vertices.size() % 2, 0u);
        if (k > 0)
        {
            const std::vector<Im3dVertex>& before = draws[k - 1].vertices;
            EXPECT_EQ(draws[k].vertices[0].x, before[before.size() - 2].x);
            EXPECT_EQ(draws[k].vertices[1].y, before.back().y);
            pairs -= 1;
        }
        pairs += draws[k].vertices.size() / 2;
    }
    EXPECT_EQ(pairs, size_t(n));
    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, StrokesOffsetByTheHalfWidthAndGradeAlongTheLength)
{
    Path2d* path = Path2d::Create();
    Path2d::MoveTo(path, 0.1f, 0.5f);
    Path2d::LineTo(path, 0.5f, 0.5f);
    Path2d::LineTo(path, 0.9f, 0.5f);
    Brush2d* brush = Brush2d::Create();
    Brush2d::SetHalfWidth(brush, 0.05f);
    const Rgba c0 = {0, 0, 0, 255}, c1 = {200, 0, 0, 255}, c2 = {0, 200, 0, 255}, c3 = {0, 0, 200, 255};
    Brush2d::SetColors(brush, &c0, &c1, &c2, &c3);
    Path2d::Stroke(path, brush);
    ASSERT_EQ(Recorded().draws.size(), 1u);
    const std::vector<Im3dVertex>& v = Recorded().draws[0].vertices;
    ASSERT_EQ(v.size(), 6u);
    // The right-hand normal of a segment to the right points down: the first vertex of a
    // pair lies above, with the top colours.
    EXPECT_NEAR(v[0].y, 0.55f, 1e-4f);
    EXPECT_NEAR(v[1].y, 0.45f, 1e-4f);
    EXPECT_EQ(v[0].colour, Argb(c3));
    EXPECT_EQ(v[1].colour, Argb(c0));
    // Distances come from the table square root: within a step of the exact gradient.
    EXPECT_TRUE(ColourNear(v[2].colour, 0xFF006464u)) << std::hex << v[2].colour << ": halfway, corners 3 and 2";
    EXPECT_TRUE(ColourNear(v[5].colour, Argb(c1))) << std::hex << v[5].colour;
    EXPECT_EQ(Recorded().draws[0].primitive, kIm3dTriStrip);
    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, DegenerateShapesDrawWithoutDividingByZero)
{
    Brush2d* brush = Brush2d::Create();
    const Rgba c0 = {10, 20, 30, 255}, c1 = {210, 20, 30, 255}, c2 = {0, 0, 0, 255}, c3 = {0, 0, 0, 255};
    Brush2d::SetColors(brush, &c0, &c1, &c2, &c3);

    // A box without height: t is 0, the colours run along the bottom edge.
    Path2d* flat = Path2d::Create();
    Path2d::MoveTo(flat, 0.0f, 0.5f);
    Path2d::LineTo(flat, 1.0f, 0.5f);
    Path2d::LineTo(flat, 0.5f, 0.5f);
    Path2d::Fill(flat, brush);
    ASSERT_EQ(Recorded().draws.size(), 1u);
    const std::vector<Im3dVertex>& v = Recorded().draws[0].vertices;
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].colour, 0xFF6E141Eu) << "x = 0.5 of the bottom gradient";
    EXPECT_EQ(v[1].colour, Argb(c0));

    // Zero-length segments add no points, so these have fewer than two and draw nothing.
    Recorded().Clear();
    Path2d* dot = Path2d::Create();
    Path2d::MoveTo(dot, 0.3f, 0.3f);
    Path2d::LineTo(dot, 0.3f, 0.3f);
    Path2d::CurveTo(dot, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f);
    Path2d::ClosePath(dot);
    Path2d::Stroke(dot, brush);
    Path2d::Fill(dot, brush);
    EXPECT_TRUE(Recorded().draws.empty());

    // A line that turns straight back has no miter; its normal stays unit length.
    Path2d* back = Path2d::Create();
    Path2d::MoveTo(back, 0.1f, 0.1f);
    Path2d::LineTo(back, 0.5f, 0.1f);
    Path2d::LineTo(back, 0.2f, 0.1f);
    int32_t count = 0;
    const Path2dPoint* p = Path2d::GetPoints(back, &count);
    ASSERT_EQ(count, 3);
    EXPECT_TRUE(std::isfinite(p[1].nx) && std::isfinite(p[1].ny));
    EXPECT_NEAR(p[1].nx * p[1].nx + p[1].ny * p[1].ny, 1.0f, 1e-3f);
    Path2d::Destroy(back);
    Path2d::Destroy(dot);
    Path2d::Destroy(flat);
    Brush2d::Destroy(brush);
}

TEST_F(Toolkit2dRecording, SubPathsCloseFillAndCompactAsTheirFlagsSay)
{
    Path2d* path = Path2d::Create();
    // An open first sub-path, a closed second one ending on its first point, a lone move.
    Path2d::MoveTo(path, 0, 0);
    Path2d::LineTo(path, 0.2f, 0);
    Path2d::LineTo(path, 0.2f, 0.2f);
    Path2d::MoveTo(path, 0.5f, 0.5f);
    Path2d::LineTo(path, 0.7f, 0.5f);
    Path2d::LineTo(path, 0.7f, 0.7f);
    Path2d::LineTo(path, 0.5f, 0.5f);
    Path2d::ClosePath(path);
    Path2d::MoveTo(path, 0.9f, 0.9f);
    ASSERT_NE(path->next, nullptr);
    EXPECT_EQ(CountPoints(path->next), 4) << "closing on the first point adds none";
    EXPECT_EQ(path->next->closed, 1);
    Brush2d* brush = Brush2d::Create();

    Path2d::Fill(path, brush);
    ASSERT_EQ(Recorded().draws.size(), 1u);
    EXPECT_EQ(Recorded().draws[0].vertices.size(), 3u) << "the open first sub-path";
    Recorded().Clear();
    Path2d::FillAllWithBrush(path, brush);
    ASSERT_EQ(Recorded().draws.size(), 1u);
    EXPECT_EQ(Recorded().draws[0].vertices[0].x, 0.5f) << "only the closed one";

    path = Path2d::RemoveLoneMoves(path);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->last, path->next);
    EXPECT_EQ(path->next->next, nullptr);

    // Compacted, the same drawing; locked again, it grows.
    Path2d::Unlock(path);
    EXPECT_EQ(path->numPoints, 3);
    Recorded().Clear();
    Path2d::FillAllWithBrush(path, brush);
    EXPECT_EQ(Recorded().draws.size(), 1u);
    ASSERT_EQ(Path2d::Lock(path), path);
    Path2d::LineTo(path, 0.9f, 0.1f);
    EXPECT_EQ(CountPoints(path->next), 5);
    Path2d::Empty(path);
    EXPECT_EQ(path->next, nullptr);
    EXPECT_EQ(CountPoints(path), 0);
    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

TEST_F(Toolkit2dRecording, PoolsGrowPastTheirFirstBlock)
{
    std::vector<Path2d*> paths;
    std::vector<Brush2d*> brushes;
    for (int i = 0; i < 100; ++i)
    {
        paths.push_back(Path2d::Create());
        brushes.push_back(Brush2d::Create());
        ASSERT_NE(paths.back(), nullptr) << i;
        ASSERT_NE(brushes.back(), nullptr) << i;
    }
    for (Path2d* p : paths)
        Path2d::Destroy(p);
    for (Brush2d* b : brushes)
        EXPECT_EQ(Brush2d::Destroy(b), 1);
}

} // namespace

namespace
{

TEST_F(Toolkit2dRecording, DrawingTakesNoMemoryOnceTheScratchPathHasGrown)
{
    Path2d* path = Path2d::Create();
    Path2d::MoveTo(path, 0.1f, 0.1f);
    Path2d::CurveTo(path, 0.5f, 0.0f, 0.9f, 0.4f, 0.9f, 0.9f);
    Path2d::CurveTo(path, 0.5f, 1.0f, 0.1f, 0.6f, 0.1f, 0.1f);
    Path2d::ClosePath(path);
    Brush2d* brush = Brush2d::Create();
    Path2d::Fill(path, brush);
    Path2d::Stroke(path, brush);
    const size_t before = TestMemory::hints.size();
    for (int frame = 0; frame < 3; ++frame)
    {
        Transform2d::Push();
        Transform2d::Rotate(10.0f * float(frame));
        Path2d::Fill(path, brush);
        Path2d::FillAllWithBrush(path, brush);
        Path2d::Stroke(path, brush);
        Transform2d::Pop();
    }
    EXPECT_EQ(TestMemory::hints.size(), before);
    EXPECT_EQ(Recorded().draws.size(), 2u + 9u);
    Brush2d::Destroy(brush);
    Path2d::Destroy(path);
}

} // namespace
