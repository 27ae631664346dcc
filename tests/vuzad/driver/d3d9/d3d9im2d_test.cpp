// Tests of 2D drawing through the device record's entries: vertices offset by the camera's
// sub-raster, the plain and indexed paths, refused indices and counts, the states sent once,
// and the own buffer's wrap on a device without hardware transform.
#include "d3d9driverfixture.h"
#include "d3d9im2d.h"
#include "d3d9renderstate.h"
#include "framecheck.h"

#include <cstring>
#include <string>

namespace d3d9driver
{
namespace
{

using Strings = std::vector<std::string>;

Im2DVertex V(float x, float y, uint32_t colour = 0xFFFFFFFF)
{
    return {x, y, 0.5f, 1.0f, colour, 0, 0};
}

class D3D9Im2DDrawing : public DriverTest
{
protected:
    /// A started camera whose frame buffer is the sub-raster at (100, 50) of a 640 x 480
    /// camera raster, inside its update.
    void BeginSubRasterCamera()
    {
        mCamera = MakeCamera();
        mParent = mCamera->frameBuffer;
        Raster* sub = Raster::Create(0, 0, 0, kRasterTypeCamera | kRasterDontAllocate);
        RasterRect rect = {100, 50, 200, 100};
        ASSERT_EQ(Raster::SubRaster(sub, mParent, &rect), sub);
        mCamera->frameBuffer = sub;
        ASSERT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    }

    void TearDown() override
    {
        if (mCamera)
        {
            Camera::EndUpdate(mCamera);
            Raster::Destroy(mParent);
            DestroyCamera(mCamera);
        }
        DriverTest::TearDown();
    }

    const DeviceRecord& Record() const { return Engine::Current()->device; }

    Camera* mCamera = nullptr;
    Raster* mParent = nullptr;
};

TEST_F(D3D9Im2DDrawing, VerticesTakeTheSubRasterOffset)
{
    Start();
    BeginSubRasterCamera();
    d3d9test::EnableCallLog(true);
    Im2DVertex tri[] = {V(10, 10, 0xFF112233), V(30, 10), V(10, 30)};
    Record().im2DPrimitive(kIm2DTriList, tri, 3);
    ASSERT_EQ(d3d9test::CountCalls("DrawPrimitive"), 1u);
    IDirect3DVertexBuffer9* buffer = D3D9Device::GetBindings()->streams[0].buffer;
    std::vector<BYTE> bytes;
    ASSERT_TRUE(d3d9test::ReadBuffer(buffer, bytes));
    const std::string draw = d3d9test::CallArgs("DrawPrimitive")[0];
    UINT start = UINT(std::stoul(draw.substr(draw.find(", ") + 2)));
    Im2DVertex first;
    std::memcpy(&first, bytes.data() + start * sizeof(Im2DVertex), sizeof first);
    EXPECT_EQ(first.x, 110.0f);
    EXPECT_EQ(first.y, 60.0f);
    EXPECT_EQ(first.colour, 0xFF112233u);
    EXPECT_EQ(first.recipW, 1.0f) << "the other fields are copied as they are";
    EXPECT_EQ(tri[0].x, 10.0f) << "the caller's vertices are not touched";
    EXPECT_EQ(draw, "4, " + std::to_string(start) + ", 1");
}

TEST_F(D3D9Im2DDrawing, IndexedPathsAndTheirLimits)
{
    Start();
    BeginSubRasterCamera();
    d3d9test::EnableCallLog(true);
    Im2DVertex quad[] = {V(0, 0), V(10, 0), V(10, 10), V(0, 10), V(5, 5), V(6, 6)};
    const uint16_t six[] = {0, 1, 2, 0, 2, 3};

    // Fewer vertices than indices: the index buffer.
    Record().im2DIndexedPrimitive(kIm2DTriList, quad, 4, six, 6);
    EXPECT_EQ(d3d9test::CountCalls("IndexBuffer::Lock"), 1u);
    ASSERT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
    const std::string indexed = d3d9test::CallArgs("DrawIndexedPrimitive")[0];
    EXPECT_EQ(indexed.substr(0, 2), "4,");
    EXPECT_EQ(indexed.substr(indexed.find(", 0, 4, 0, 2")), ", 0, 4, 0, 2") << indexed;

    // As many vertices as indices: the named vertices as a plain list.
    d3d9test::ClearCallLog();
    Record().im2DIndexedPrimitive(kIm2DTriList, quad, 6, six, 6);
    EXPECT_EQ(d3d9test::CountCalls("IndexBuffer::Lock"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);
    ASSERT_EQ(d3d9test::CountCalls("DrawPrimitive"), 1u);
    EXPECT_EQ(d3d9test::CallArgs("DrawPrimitive")[0].substr(0, 2), "4,");

    // Refused: more indices than the buffer holds, indices past the vertices, bad types and
    // counts. Nothing is locked or drawn.
    d3d9test::ClearCallLog();
    std::vector<uint16_t> many(10001, 1);
    EXPECT_EQ(Record().im2DIndexedPrimitive(kIm2DTriList, quad, 4, many.data(), 10001), 0);
    const uint16_t past[] = {0, 1, 4};
    EXPECT_EQ(Record().im2DIndexedPrimitive(kIm2DTriList, quad, 4, past, 3), 0);
    EXPECT_EQ(Record().im2DIndexedPrimitive(6, quad, 4, six, 6), 0);
    EXPECT_EQ(Record().im2DIndexedPrimitive(kIm2DTriList, quad, 4, six, 2), 0);
    EXPECT_EQ(Record().im2DLine(quad, 4, 0, 4), 0);
    EXPECT_EQ(Record().im2DLine(quad, 4, -1, 2), 0);
    EXPECT_EQ(Record().im2DTriangle(quad, 3, 0, 1, 3), 0);
    EXPECT_EQ(Record().im2DPrimitive(kIm2DTriStrip, quad, 2), 0);
    EXPECT_EQ(Record().im2DPrimitive(0, quad, 4), 0);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock") + d3d9test::CountCalls("IndexBuffer::Lock"), 0u);

    // The index buffer appends until it is full, then starts again with a discard.
    d3d9test::ClearCallLog();
    std::vector<uint16_t> block(4000);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint16_t(i % 4);
    for (int i = 0; i < 3; ++i)
        Record().im2DIndexedPrimitive(kIm2DLineList, quad, 4, block.data(), 4000);
    Strings locks = d3d9test::CallArgs("IndexBuffer::Lock");
    ASSERT_EQ(locks.size(), 3u);
    EXPECT_NE(locks[1].find(", 8012, 8000, 0x1800"), std::string::npos) << locks[1];
    EXPECT_NE(locks[2].find(", 0, 8000, 0x2800"), std::string::npos) << locks[2];
}

TEST_F(D3D9Im2DDrawing, LinesAndTrianglesNeedACameraAndSendStatesOnce)
{
    Start();
    Im2DVertex v[] = {V(0, 0), V(10, 0), V(10, 10)};
    EXPECT_EQ(Record().im2DLine(v, 3, 0, 1), 0) << "no camera is being rendered";
    EXPECT_EQ(Record().im2DTriangle(v, 3, 0, 1, 2), 0);
    BeginSubRasterCamera();
    d3d9test::EnableCallLog(true);
    for (int i = 0; i < 5; ++i)
    {
        Record().im2DLine(v, 3, 0, 2);
        Record().im2DTriangle(v, 3, 2, 1, 0);
    }
    Strings draws = d3d9test::CallArgs("DrawPrimitive");
    ASSERT_EQ(draws.size(), 10u);
    EXPECT_EQ(draws[0].substr(0, 2), "2,");
    EXPECT_EQ(draws[1].substr(0, 2), "4,");
    EXPECT_EQ(d3d9test::CountCalls("SetVertexDeclaration"), 1u);
    EXPECT_EQ(d3d9test::CountCalls("SetStreamSource"), 1u) << "one rotating buffer, offset 0, stride 28";
    EXPECT_EQ(d3d9test::CountCalls("SetRenderState"), 1u) << "only CLIPPING differs from the defaults";
    EXPECT_EQ(d3d9test::CallArgs("SetRenderState")[0], "136, 0");
}

TEST_F(D3D9Im2DDrawing, OwnBufferWrapsWithADiscard)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.caps.DevCaps &= ~(D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE);
    Start({adapter});
    ASSERT_TRUE(D3D9Im2D::HasOwnBuffer());
    BeginSubRasterCamera();
    d3d9test::EnableCallLog(true);
    std::vector<Im2DVertex> strip(9361, V(1, 1));
    Record().im2DPrimitive(kIm2DPolyLine, strip.data(), 9361);
    Im2DVertex v[] = {V(0, 0), V(10, 0)};
    Record().im2DLine(v, 2, 0, 1);
    Record().im2DLine(v, 2, 1, 0);
    Strings locks = d3d9test::CallArgs("VertexBuffer::Lock");
    ASSERT_EQ(locks.size(), 3u);
    EXPECT_NE(locks[0].find(", 0, 262108, 0x1800"), std::string::npos) << locks[0];
    EXPECT_NE(locks[1].find(", 0, 56, 0x2800"), std::string::npos) << "position 9361 + 2 wraps: " << locks[1];
    EXPECT_NE(locks[2].find(", 56, 56, 0x1800"), std::string::npos) << locks[2];
    EXPECT_EQ(d3d9test::CallArgs("DrawPrimitive")[1], "2, 0, 1");
}

TEST_F(D3D9Im2DDrawing, TheFourEntriesDrawIntoTheParentAtTheOffset)
{
    Start();
    ASSERT_EQ(D3D9Device::SetEngineRenderState(kRenderStateCullMode, D3DCULL_NONE), 1);
    BeginSubRasterCamera();
    const Rgba black = {0, 0, 0, 255};
    ASSERT_EQ(Camera::Clear(mCamera, &black, kCameraClearImage | kCameraClearZ), mCamera);
    const uint32_t red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    // A rectangle from each filled entry, in the sub-raster's pixels.
    Im2DVertex list[] = {V(10, 10, red), V(40, 10, red), V(10, 30, red),
                         V(40, 10, red), V(40, 30, red), V(10, 30, red)};
    EXPECT_EQ(Record().im2DPrimitive(kIm2DTriList, list, 6), 1);
    Im2DVertex quad[] = {V(50, 10, green), V(80, 10, green), V(80, 30, green), V(50, 30, green)};
    const uint16_t six[] = {0, 1, 2, 0, 2, 3};
    EXPECT_EQ(Record().im2DIndexedPrimitive(kIm2DTriList, quad, 4, six, 6), 1);
    Im2DVertex corners[] = {V(10, 40, blue), V(40, 40, blue), V(40, 70, blue), V(10, 70, blue)};
    EXPECT_EQ(Record().im2DTriangle(corners, 4, 0, 1, 2), 1);
    EXPECT_EQ(Record().im2DTriangle(corners, 4, 0, 2, 3), 1);
    Im2DVertex ends[] = {V(60.5f, 40, white), V(60.5f, 70, white)};
    EXPECT_EQ(Record().im2DLine(ends, 2, 0, 1), 1);
    Camera::EndUpdate(mCamera);

    ASSERT_NE(Raster::Lock(mParent, 0, kRasterLockRead), nullptr);
    const int w = mParent->width, h = mParent->height;
    std::vector<uint32_t> actual(size_t(w) * size_t(h)), expected(actual.size(), 0xFF000000);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            actual[size_t(y) * w + x] = 0xFF000000 | (Pixel32(mParent, x, y) & 0xFFFFFF);
    Raster::Unlock(mParent);
    auto fill = [&](int x0, int y0, int x1, int y1, uint32_t colour) {
        for (int y = y0 + 50; y < y1 + 50; ++y)
            for (int x = x0 + 100; x < x1 + 100; ++x)
                expected[size_t(y) * w + x] = colour;
    };
    fill(10, 10, 40, 30, red);
    fill(50, 10, 80, 30, green);
    fill(10, 40, 40, 70, blue);
    // The line's inner pixels are white; where its end pixels fall is the rasteriser's, so
    // the reference takes what was drawn there (the saved frame stays what was drawn).
    for (int y = 91; y < 119; ++y)
        expected[size_t(y) * w + 160] = white;
    for (int y : {90, 119})
        if (actual[size_t(y) * w + 160] == white)
            expected[size_t(y) * w + 160] = white;
    EXPECT_EQ(framecheck::CheckFrame("im2d_entries_at_offset", w, h, actual, expected, 2), "");
}

/// A 16 x 8 texture of one colour.
Raster* SolidTexture(uint32_t argb)
{
    Raster* texture = Raster::Create(16, 8, 0, kRasterTypeTexture | kRasterFormat8888);
    EXPECT_NE(texture, nullptr);
    if (!texture || !Raster::Lock(texture, 0, kRasterLockWrite))
        return texture;
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x)
            reinterpret_cast<uint32_t*>(texture->pixels + size_t(y) * size_t(texture->stride))[x] = argb;
    Raster::Unlock(texture);
    return texture;
}

void FillExpected(std::vector<uint32_t>& pixels, int width, int x0, int y0, int x1, int y1, uint32_t colour)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            pixels[size_t(y) * width + x] = colour;
}

TEST_F(D3D9Im2DDrawing, TheTexturedQuadLandsAtItsPlaceInTheSubRaster)
{
    Start();
    BeginSubRasterCamera();
    const Rgba black = {0, 0, 0, 255};
    ASSERT_EQ(Camera::Clear(mCamera, &black, kCameraClearImage | kCameraClearZ), mCamera);
    Raster* texture = SolidTexture(0xFF20C040);
    D3D9Raster::SetContext(nullptr, mCamera->frameBuffer, 0);
    const int32_t position[2] = {10, 10};
    ASSERT_EQ(D3D9Raster::RenderFast(texture, const_cast<int32_t*>(position), 0), 1);
    D3D9Raster::SetContext(nullptr, nullptr, 0);
    Camera::EndUpdate(mCamera);

    const int w = mParent->width, h = mParent->height;
    std::vector<uint32_t> expected(size_t(w) * size_t(h), 0xFF000000u);
    FillExpected(expected, w, 110, 60, 126, 68, 0xFF20C040u);
    EXPECT_EQ(framecheck::CheckFrame("textured_quad_in_sub_raster", w, h, ReadOpaquePixels(mParent, w, h), expected, 2), "");
    Raster::Destroy(texture);
}

TEST_F(D3D9Im2DDrawing, ADestroyedStageRasterIsForgottenAndTheNextOneDrawsTextured)
{
    Start();
    ASSERT_EQ(D3D9Device::SetEngineRenderState(kRenderStateCullMode, D3DCULL_NONE), 1);
    Raster* first = SolidTexture(0xFFE02020);
    ASSERT_EQ(D3D9Device::SetEngineRenderState(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(first)), 1);
    Raster::Destroy(first);
    intptr_t bound = -1;
    ASSERT_EQ(D3D9Device::GetEngineRenderState(kRenderStateTextureRaster, &bound), 1);
    EXPECT_EQ(bound, 0) << "the destroyed raster is no longer reported on stage 0";
    EXPECT_EQ(D3D9RenderState::GetStageRaster(0), nullptr);

    // Whatever address the next raster gets, binding it reaches the device.
    Raster* next = SolidTexture(0xFF3060E0);
    d3d9test::EnableCallLog(true);
    ASSERT_EQ(D3D9Device::SetEngineRenderState(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(next)), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetTexture"), 1u);
    BeginSubRasterCamera();
    const Rgba black = {0, 0, 0, 255};
    ASSERT_EQ(Camera::Clear(mCamera, &black, kCameraClearImage | kCameraClearZ), mCamera);
    Im2DVertex quad[] = {{10, 10, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {40, 10, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                         {40, 30, 0.5f, 1, 0xFFFFFFFF, 1, 1}, {10, 30, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
    const uint16_t six[] = {0, 1, 2, 0, 2, 3};
    ASSERT_EQ(Record().im2DIndexedPrimitive(kIm2DTriList, quad, 4, six, 6), 1);
    Camera::EndUpdate(mCamera);

    const int w = mParent->width, h = mParent->height;
    std::vector<uint32_t> expected(size_t(w) * size_t(h), 0xFF000000u);
    FillExpected(expected, w, 110, 60, 140, 80, 0xFF3060E0u);
    EXPECT_EQ(framecheck::CheckFrame("stage_raster_after_destroy", w, h, ReadOpaquePixels(mParent, w, h), expected, 2), "");
    ASSERT_EQ(D3D9Device::SetEngineRenderState(kRenderStateTextureRaster, 0), 1);
    Raster::Destroy(next);
}

} // namespace
} // namespace d3d9driver
