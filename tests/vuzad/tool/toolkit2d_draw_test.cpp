// Drawing tests of the 2D toolkit on the Direct3D 9 driver: where the 2D space lands in the
// frame for both projections, and a rounded box filled with a four-colour brush and stroked,
// read back against a CPU reference.
#include "brush2d.h"
#include "d3d9device.h"
#include "engine.h"
#include "framecheck.h"
#include "path2d.h"
#include "toolfixture.h"

#include <algorithm>
#include <cmath>

namespace
{

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kClear = 0xFF202020;

class Toolkit2dDrawing : public tooltest::DriverToolTest
{
};

/// The 2D point at a pixel's centre: 480 rows span one unit, y up from the bottom.
void PixelTo2d(int x, int y, float* u, float* v)
{
    *u = (float(x) + 0.5f) / float(kHeight);
    *v = (float(kHeight) - (float(y) + 0.5f)) / float(kHeight);
}

TEST_F(Toolkit2dDrawing, TheOriginIsTheBottomLeftOfTheFrameForBothProjections)
{
    Brush2d* brush = Brush2d::Create();
    const Rgba orange = {240, 140, 20, 255};
    Brush2d::SetColors(brush, &orange, &orange, &orange, &orange);
    Path2d* square = Path2d::AddRectangle(Path2d::Create(), 0, 0, 0.25f, 0.25f);
    struct Case
    {
        int32_t projection;
        float layerDepth;
        const char* name;
    } cases[] = {{kCameraPerspective, 2.0f, "toolkit2d_origin_perspective"},
                 {kCameraParallel, 3.0f, "toolkit2d_origin_parallel"}};
    for (const Case& c : cases)
    {
        Camera::SetProjection(mCamera, c.projection);
        ASSERT_EQ(Device2d::SetCamera(mCamera), 1);
        ASSERT_EQ(Device2d::SetLayerDepth(c.layerDepth), 1);
        BeginFrame(kClear);
        Path2d::Fill(square, brush);
        std::vector<uint32_t> actual = EndFrame();
        std::vector<uint32_t> expected(size_t(kWidth) * kHeight, kClear);
        for (int y = kHeight - 120; y < kHeight; ++y)
            for (int x = 0; x < 120; ++x)
                expected[size_t(y) * kWidth + size_t(x)] = 0xFFF08C14;
        EXPECT_EQ(framecheck::CheckFrame(c.name, kWidth, kHeight, actual, expected, 2), "");
    }
    Path2d::Destroy(square);
    Brush2d::Destroy(brush);
}

/// A box with corners rounded by cubic quarter circles.
Path2d* RoundedBox(float x0, float y0, float x1, float y1, float r)
{
    const float k = 0.5523f * r;
    Path2d* path = Path2d::Create();
    Path2d::MoveTo(path, x0 + r, y0);
    Path2d::LineTo(path, x1 - r, y0);
    Path2d::CurveTo(path, x1 - r + k, y0, x1, y0 + r - k, x1, y0 + r);
    Path2d::LineTo(path, x1, y1 - r);
    Path2d::CurveTo(path, x1, y1 - r + k, x1 - r + k, y1, x1 - r, y1);
    Path2d::LineTo(path, x0 + r, y1);
    Path2d::CurveTo(path, x0 + r - k, y1, x0, y1 - r + k, x0, y1 - r);
    Path2d::LineTo(path, x0, y0 + r);
    Path2d::CurveTo(path, x0, y0 + r - k, x0 + r - k, y0, x0 + r, y0);
    return Path2d::ClosePath(path);
}

struct Triangle
{
    float x[3], y[3];
};

/// The distance of a point inside the triangle from its nearest edge (negative outside).
float InsideDistance(const Triangle& t, float px, float py)
{
    float area = (t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (t.y[1] - t.y[0]) * (t.x[2] - t.x[0]);
    float sign = area < 0 ? -1.0f : 1.0f;
    float nearest = 1e9f;
    for (int i = 0; i < 3; ++i)
    {
        int j = (i + 1) % 3;
        float ex = t.x[j] - t.x[i], ey = t.y[j] - t.y[i];
        float length = std::sqrt(ex * ex + ey * ey);
        if (length == 0)
            continue;
        float d = sign * (ex * (py - t.y[i]) - ey * (px - t.x[i])) / length;
        nearest = std::min(nearest, d);
    }
    return nearest;
}

TEST_F(Toolkit2dDrawing, ARoundedBoxFillsWithFourCornerColoursAndStrokes)
{
    const float x0 = 0.2f, y0 = 0.2f, x1 = 1.1f, y1 = 0.8f, r = 0.15f;
    Path2d* box = RoundedBox(x0, y0, x1, y1, r);
    // Corner 2 = corner 1 + corner 3 - corner 0: the colour is affine across the box, which
    // the strip's per-vertex interpolation reproduces exactly.
    const Rgba c0 = {40, 40, 200, 255}, c1 = {200, 40, 120, 255}, c2 = {200, 200, 80, 255}, c3 = {40, 200, 160, 255};
    Brush2d* fill = Brush2d::Create();
    Brush2d::SetColors(fill, &c0, &c1, &c2, &c3);
    Brush2d* pen = Brush2d::Create();
    const Rgba white = {250, 250, 240, 255};
    Brush2d::SetColors(pen, &white, &white, &white, &white);
    Brush2d::SetHalfWidth(pen, 4.0f / 480.0f);

    BeginFrame(kClear);
    Path2d::Fill(box, fill);
    Path2d::Stroke(box, pen);
    std::vector<uint32_t> actual = EndFrame();

    // The reference from the same flattened outline, in pixels (y down).
    Path2d* flat = Path2d::Flatten(Path2d::Create(), box);
    int32_t n = 0;
    const Path2dPoint* p = Path2d::GetPoints(flat, &n);
    ASSERT_GT(n, 12);
    auto px = [](float x) { return x * kHeight; };
    auto py = [](float y) { return kHeight - y * kHeight; };
    std::vector<Triangle> fillTriangles, strokeTriangles;
    for (int32_t i = 1; i + 1 < n; ++i)
        fillTriangles.push_back({{px(p[0].x), px(p[i].x), px(p[i + 1].x)}, {py(p[0].y), py(p[i].y), py(p[i + 1].y)}});
    const float a = pen->halfWidth, b = pen->halfWidth;
    for (int32_t i = 0; i + 1 < n; ++i)
    {
        float v[4][2] = {{p[i].x - a * p[i].nx, p[i].y - a * p[i].ny},
                         {p[i].x + b * p[i].nx, p[i].y + b * p[i].ny},
                         {p[i + 1].x - a * p[i + 1].nx, p[i + 1].y - a * p[i + 1].ny},
                         {p[i + 1].x + b * p[i + 1].nx, p[i + 1].y + b * p[i + 1].ny}};
        for (int k = 0; k < 2; ++k)
            strokeTriangles.push_back(
                {{px(v[k][0]), px(v[k + 1][0]), px(v[k + 2][0])}, {py(v[k][1]), py(v[k + 1][1]), py(v[k + 2][1])}});
    }
    // Per pixel, which of five samples (the centre and 0.9 pixels to each side) the union of
    // the triangles covers: all of them is inside, none outside, and between the two the
    // rasteriser's rounding at the edge decides (bit 5: the centre lies on an edge).
    constexpr float kOffsets[5][2] = {{0, 0}, {-0.9f, 0}, {0.9f, 0}, {0, -0.9f}, {0, 0.9f}};
    std::vector<uint8_t> inFill(size_t(kWidth) * kHeight, 0), inStroke(size_t(kWidth) * kHeight, 0);
    auto cover = [&](const std::vector<Triangle>& triangles, std::vector<uint8_t>& samples)
    {
        for (const Triangle& t : triangles)
        {
            int xa = std::max(0, int(std::floor(std::min({t.x[0], t.x[1], t.x[2]}))) - 2);
            int xb = std::min(kWidth - 1, int(std::ceil(std::max({t.x[0], t.x[1], t.x[2]}))) + 2);
            int ya = std::max(0, int(std::floor(std::min({t.y[0], t.y[1], t.y[2]}))) - 2);
            int yb = std::min(kHeight - 1, int(std::ceil(std::max({t.y[0], t.y[1], t.y[2]}))) + 2);
            for (int y = ya; y <= yb; ++y)
                for (int x = xa; x <= xb; ++x)
                {
                    uint8_t& covered = samples[size_t(y) * kWidth + size_t(x)];
                    float centre = InsideDistance(t, float(x) + 0.5f, float(y) + 0.5f);
                    // The distance changes by at most the step: far from the edges all five
                    // samples agree with the centre.
                    if (centre >= 1.0f)
                        covered |= 0x1F;
                    else if (centre > -1.0f)
                        for (int k = 0; k < 5; ++k)
                            if (InsideDistance(t, float(x) + 0.5f + kOffsets[k][0], float(y) + 0.5f + kOffsets[k][1]) >=
                                0)
                                covered |= uint8_t(1 << k);
                    // A centre on a shared edge is a tie the rasteriser's rounding breaks.
                    if (std::fabs(centre) < 0.01f)
                        covered |= 0x20;
                }
        }
    };
    cover(fillTriangles, inFill);
    cover(strokeTriangles, inStroke);
    std::vector<uint32_t> expected(size_t(kWidth) * kHeight, kClear);
    int fillPixels = 0, strokePixels = 0, dontCare = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            size_t at = size_t(y) * kWidth + size_t(x);
            uint8_t s = inStroke[at], f = inFill[at];
            if ((s != 0 && s != 0x1F) || (s == 0 && f != 0 && f != 0x1F) || ((s | f) & 0x20))
            {
                expected[at] = actual[at];
                ++dontCare;
            }
            else if (s)
            {
                expected[at] = 0xFFFAFAF0;
                ++strokePixels;
            }
            else if (f)
            {
                float u, v;
                PixelTo2d(x, y, &u, &v);
                float ss = (u - x0) / (x1 - x0), tt = (v - y0) / (y1 - y0);
                auto channel = [&](uint8_t k0, uint8_t k1, uint8_t k3)
                { return uint32_t(std::lround(k0 + ss * (k1 - k0) + tt * (k3 - k0))); };
                expected[at] = 0xFF000000u | channel(c0.red, c1.red, c3.red) << 16 |
                               channel(c0.green, c1.green, c3.green) << 8 | channel(c0.blue, c1.blue, c3.blue);
                ++fillPixels;
            }
        }
    EXPECT_GT(fillPixels, 100000);
    EXPECT_GT(strokePixels, 6000);
    EXPECT_LT(dontCare, 6000);
    EXPECT_EQ(framecheck::CheckFrame("toolkit2d_rounded_box", kWidth, kHeight, actual, expected, 3), "");

    Path2d::Destroy(flat);
    Path2d::Destroy(box);
    Brush2d::Destroy(pen);
    Brush2d::Destroy(fill);
}

TEST_F(Toolkit2dDrawing, AnAddressingOfZeroLeavesTheDevicesAddressingAsItWas)
{
    // The fill sends 0 when a texture's U and V addressing differ.
    const DeviceRecord& device = Engine::Current()->device;
    ASSERT_EQ(device.setRenderState(kRenderStateTextureAddress, 3), 1);
    EXPECT_EQ(device.setRenderState(kRenderStateTextureAddress, 0), 0);
    intptr_t u = 0, v = 0;
    ASSERT_EQ(device.getRenderState(kRenderStateTextureAddressU, &u), 1);
    ASSERT_EQ(device.getRenderState(kRenderStateTextureAddressV, &v), 1);
    EXPECT_EQ(u, 3);
    EXPECT_EQ(v, 3);
}

} // namespace
