// Tests of Direct3D 9 raster drawing: filling the context raster by its type and depth, and
// drawing one raster onto another through surface copies or a textured quad.
#include "d3d9driverfixture.h"
#include "framecheck.h"

#include <cstring>
#include <map>
#include <string>

namespace d3d9driver
{
namespace
{

using D3D9RasterDrawing = DriverTest;

uint32_t Pattern(int32_t x, int32_t y)
{
    return 0xFF000000u | uint32_t(x * 13) << 16 | uint32_t(y * 7) << 8 | 0x40u;
}

/// Writes the pattern into the first width x height pixels of a 32-bit raster.
void WritePattern(Raster* raster, int32_t width, int32_t height)
{
    ASSERT_NE(Raster::Lock(raster, 0, kRasterLockWrite | kRasterLockRead), nullptr);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(raster->pixels + size_t(y) * size_t(raster->stride))[x] = Pattern(x, y);
    Raster::Unlock(raster);
}

template <typename T> T PixelAt(Raster* raster, int32_t x, int32_t y)
{
    return reinterpret_cast<const T*>(raster->pixels + size_t(y) * size_t(raster->stride))[x];
}

/// A rectangle of a 32-bit raster, read through a lock.
std::vector<uint32_t> ReadBack(Raster* raster, int32_t left, int32_t top, int32_t width, int32_t height)
{
    std::vector<uint32_t> pixels;
    if (!Raster::Lock(raster, 0, kRasterLockRead))
        return pixels;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            pixels.push_back(PixelAt<uint32_t>(raster, left + x, top + y));
    Raster::Unlock(raster);
    return pixels;
}

// ---- Fills ---------------------------------------------------------------------------------------------------------

TEST_F(D3D9RasterDrawing, FillsWriteThePixelValueInTheContextsFormat)
{
    Start();
    struct Case
    {
        const char* name;
        uint32_t flags;
        uint32_t value;
        uint32_t pixel; ///< what the filled pixels hold
    };
    const Case cases[] = {
        {"32-bit", kRasterTypeTexture | kRasterFormat8888, 0x80112233u, 0x80112233u},
        {"16-bit takes the low half", kRasterTypeTexture | kRasterFormat565, 0x1234F81Fu, 0xF81Fu},
        {"luminance takes the colour's luminance", kRasterTypeTexture | kRasterFormatLum8, 0xFF3264C8u, 124u},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Raster* raster = Raster::Create(16, 16, 0, c.flags);
        ASSERT_NE(raster, nullptr);
        D3D9Raster::SetContext(nullptr, raster, 0);
        ASSERT_EQ(D3D9Raster::Clear(nullptr, nullptr, 0), 1);
        RasterRect rect = {12, 4, 10, 2}; // runs past the right edge: cut to the raster
        ASSERT_EQ(D3D9Raster::ClearRect(&rect, nullptr, int32_t(c.value)), 1);
        ASSERT_NE(Raster::Lock(raster, 0, kRasterLockRead), nullptr);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 16; ++x)
            {
                bool inside = x >= 12 && y >= 4 && y < 6;
                uint32_t pixel = raster->depth == 32   ? PixelAt<uint32_t>(raster, x, y)
                                 : raster->depth == 16 ? PixelAt<uint16_t>(raster, x, y)
                                                       : PixelAt<uint8_t>(raster, x, y);
                ASSERT_EQ(pixel, inside ? c.pixel : 0u) << x << ", " << y;
            }
        Raster::Unlock(raster);
        Raster::Destroy(raster);
    }
    EXPECT_EQ(D3D9Raster::GetContext(), nullptr) << "a destroyed context is dropped";
    EXPECT_EQ(D3D9Raster::Clear(nullptr, nullptr, 0), 0);
    EXPECT_EQ(TakeError(), kErrRasterFormat);
}

TEST_F(D3D9RasterDrawing, PalettisedFillsPickTheNearestEntry)
{
    Start();
    Raster* raster = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_NE(raster, nullptr);
    uint8_t* palette = Raster::LockPalette(raster, kRasterLockWrite);
    auto entry = [&](int i, uint8_t r, uint8_t g, uint8_t b)
    { palette[i * 4] = r, palette[i * 4 + 1] = g, palette[i * 4 + 2] = b, palette[i * 4 + 3] = 255; };
    for (int i = 0; i < 256; ++i)
        entry(i, 255, 255, 255);
    entry(5, 100, 0, 0);
    entry(9, 120, 0, 0);
    entry(17, 10, 20, 30);
    entry(40, 10, 20, 30);
    Raster::UnlockPalette(raster);
    D3D9Raster::SetContext(nullptr, raster, 0);
    const struct
    {
        const char* name;
        uint32_t colour; ///< bytes red, green, blue, alpha
        uint8_t index;
    } cases[] = {
        {"exact match", 0xFF1E140Au, 17},
        {"nearer entry", 0xFF000076u, 9},
        {"tie keeps the lower index", 0xFF00006Eu, 5},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(D3D9Raster::Clear(nullptr, nullptr, int32_t(c.colour)), 1);
        ASSERT_NE(Raster::Lock(raster, 0, kRasterLockRead), nullptr);
        EXPECT_EQ(PixelAt<uint8_t>(raster, 0, 0), c.index);
        EXPECT_EQ(PixelAt<uint8_t>(raster, 7, 7), c.index);
        Raster::Unlock(raster);
    }
    Raster::Destroy(raster);
}

TEST_F(D3D9RasterDrawing, FillsOfTargetsGoThroughTheDevice)
{
    Start();
    Camera* camera = MakeCamera();
    Raster* frameBuffer = camera->frameBuffer;
    Raster* sub = Raster::Create(0, 0, 0, kRasterTypeCamera | kRasterDontAllocate);
    RasterRect area = {100, 50, 40, 30};
    ASSERT_EQ(Raster::SubRaster(sub, frameBuffer, &area), sub);

    D3D9Raster::SetContext(nullptr, frameBuffer, 0);
    ASSERT_EQ(D3D9Raster::Clear(nullptr, nullptr, int32_t(0xFF202020u)), 1);
    D3D9Raster::SetContext(nullptr, sub, 0);
    RasterRect rect = {10, 5, 100, 100}; // cut to the sub-raster
    ASSERT_EQ(D3D9Raster::ClearRect(&rect, nullptr, int32_t(0xFF00FF00u)), 1);
    std::vector<uint32_t> actual = ReadBack(frameBuffer, 96, 46, 48, 38);
    std::vector<uint32_t> expected;
    for (int32_t y = 46; y < 84; ++y)
        for (int32_t x = 96; x < 144; ++x)
            expected.push_back(x >= 110 && x < 140 && y >= 55 && y < 80 ? 0xFF00FF00u : 0xFF202020u);
    EXPECT_EQ(framecheck::CheckFrame("raster_fill_camera", 48, 38, actual, expected, 0), "");
    // Rectangles at the ends of the 32-bit range fill nothing (their sums are taken in 64 bits).
    for (RasterRect far : {RasterRect{INT32_MAX - 5, 0, 100, 100}, RasterRect{0, INT32_MAX, INT32_MAX, 1},
                           RasterRect{INT32_MIN, INT32_MIN, 10, 10}})
        EXPECT_EQ(D3D9Raster::ClearRect(&far, nullptr, int32_t(0xFFFF0000u)), 1);
    EXPECT_EQ(ReadBack(frameBuffer, 96, 46, 48, 38), actual);

    // A 565 camera texture: the value is turned into a colour for the device's fill.
    Raster* target = Raster::Create(16, 16, 0, kRasterTypeCameraTexture | kRasterFormat565);
    ASSERT_NE(target, nullptr);
    D3D9Raster::SetContext(nullptr, target, 0);
    ASSERT_EQ(D3D9Raster::Clear(nullptr, nullptr, 0xF800), 1);
    ASSERT_NE(Raster::Lock(target, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(PixelAt<uint16_t>(target, 3, 3), 0xF800);
    Raster::Unlock(target);

    D3D9Raster::SetContext(nullptr, camera->zBuffer, 0);
    EXPECT_EQ(D3D9Raster::Clear(nullptr, nullptr, 0), 1);
    IDirect3DSurface9* depth = nullptr;
    Device()->GetDepthStencilSurface(&depth);
    EXPECT_EQ(depth, D3D9Raster::Extension(camera->zBuffer)->object) << "the main depth surface is bound again";
    if (depth)
        depth->Release();

    Raster::Destroy(target);
    Raster::Destroy(sub);
    DestroyCamera(camera);
}

// ---- Raster onto raster
// ----------------------------------------------------------------------------------------------

std::map<int32_t, intptr_t> sStates;
std::vector<std::pair<int32_t, intptr_t>> sStatesSet;
std::vector<std::vector<float>> sQuads;

int32_t SetState(int32_t state, intptr_t value)
{
    sStates[state] = value;
    sStatesSet.emplace_back(state, value);
    return 1;
}

int32_t GetState(int32_t state, intptr_t* value)
{
    *value = sStates.count(state) ? sStates[state] : 1000 + state;
    return 1;
}

int32_t DrawPrimitive(int32_t type, void* vertices, int32_t count)
{
    EXPECT_EQ(type, 4) << "a triangle strip";
    EXPECT_EQ(count, 4);
    const float* v = static_cast<const float*>(vertices);
    sQuads.emplace_back(v, v + 7 * 4);
    return 1;
}

/// The engine's render states and 2D entry as a recording stand-in.
void InstallRecordingDrawing()
{
    sStates.clear();
    sStatesSet.clear();
    sQuads.clear();
    DeviceRecord& record = Engine::Current()->device;
    record.setRenderState = SetState;
    record.getRenderState = GetState;
    record.im2DPrimitive = DrawPrimitive;
}

enum class Outcome
{
    Copy,    ///< 1, the source's pixels at the position
    Quad,    ///< 1, a textured quad drawn
    Nothing, ///< 1, nothing drawn
    Fails,   ///< 0 with core code 2
};

TEST_F(D3D9RasterDrawing, RenderCombinations)
{
    Start();
    InstallRecordingDrawing();
    const uint32_t T = kRasterTypeTexture | kRasterFormat8888;
    const uint32_t C = kRasterTypeCamera;
    const uint32_t CT = kRasterTypeCameraTexture | kRasterFormat8888;
    const uint32_t Z = kRasterTypeZBuffer;
    const uint32_t Other = 3;
    const struct
    {
        const char* name;
        uint32_t context, source;
        Outcome outcome;
    } cases[] = {
        {"texture_from_texture", T, T, Outcome::Copy},
        {"texture_from_camera", T, C, Outcome::Copy},
        {"texture_from_camera_texture", T, CT, Outcome::Copy},
        {"texture_from_z", T, Z, Outcome::Fails},
        {"texture_from_type_3", T, Other, Outcome::Nothing},
        {"camera_from_texture", C, T, Outcome::Quad},
        {"camera_from_camera_texture", C, CT, Outcome::Quad},
        {"camera_from_itself", C, C, Outcome::Fails}, // one surface cannot be copied onto itself
        {"camera_from_z", C, Z, Outcome::Fails},
        {"camera_from_type_3", C, Other, Outcome::Nothing},
        {"camera_texture_from_camera", CT, C, Outcome::Copy},
        {"camera_texture_from_texture", CT, T, Outcome::Quad},
        {"z_from_texture", Z, T, Outcome::Fails},
    };
    const int32_t position[2] = {8, 4};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        sQuads.clear();
        Raster* context = Raster::Create(c.context == C || c.context == Z ? 640 : 64,
                                         c.context == C || c.context == Z ? 480 : 32, 0, c.context);
        ASSERT_NE(context, nullptr);
        Raster other{};
        other.type = 3;
        other.parent = &other;
        Raster* source = c.source == Other ? &other : Raster::Create(16, 16, 0, c.source);
        ASSERT_NE(source, nullptr);
        if (c.source != Z && c.source != Other)
            WritePattern(source, 16, 16);
        if (c.context != Z)
        {
            D3D9Raster::SetContext(nullptr, context, 0);
            D3D9Raster::Clear(nullptr, nullptr, int32_t(0xFF000000u));
        }
        D3D9Raster::SetContext(nullptr, context, 0);
        int32_t result = D3D9Raster::Render(source, const_cast<int32_t*>(position), 0);
        Error e;
        Error::Get(&e);
        if (c.outcome == Outcome::Fails)
        {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(e.code, kCoreErrDevice);
        }
        else
        {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(e.code, kErrNone);
        }
        EXPECT_EQ(sQuads.size(), c.outcome == Outcome::Quad ? 1u : 0u);
        if (c.outcome == Outcome::Copy)
        {
            std::vector<uint32_t> expected;
            for (int32_t y = 0; y < 16; ++y)
                for (int32_t x = 0; x < 16; ++x)
                    expected.push_back(Pattern(x, y));
            EXPECT_EQ(framecheck::CheckFrame(std::string("raster_render_") + c.name, 16, 16,
                                             ReadBack(context, position[0], position[1], 16, 16), expected, 0),
                      "");
            EXPECT_EQ(ReadBack(context, position[0] - 1, position[1], 1, 1), std::vector<uint32_t>{0xFF000000u})
                << "nothing left of the copy";
        }
        if (source != &other)
            Raster::Destroy(source);
        Raster::Destroy(context);
    }
    EXPECT_EQ(ExtraResources(), 0u);
}

TEST_F(D3D9RasterDrawing, TheTexturedQuadSpansTheSourceAndPutsStatesBack)
{
    Start();
    InstallRecordingDrawing();
    Camera* camera = MakeCamera();
    Raster* context = Raster::Create(0, 0, 0, kRasterTypeCamera | kRasterDontAllocate);
    RasterRect contextArea = {100, 50, 200, 100};
    ASSERT_EQ(Raster::SubRaster(context, camera->frameBuffer, &contextArea), context);
    Raster* texture = Raster::Create(64, 32, 0, kRasterTypeTexture | kRasterFormat8888);
    Raster* source = Raster::Create(0, 0, 0, kRasterTypeTexture | kRasterDontAllocate);
    RasterRect sourceArea = {16, 8, 16, 8};
    ASSERT_EQ(Raster::SubRaster(source, texture, &sourceArea), source);
    D3D9Raster::SetContext(nullptr, context, 0);
    DWORD zEnable = 0, cull = 0;
    Device()->GetRenderState(D3DRS_ZENABLE, &zEnable);
    Device()->GetRenderState(D3DRS_CULLMODE, &cull);

    const int32_t position[2] = {10, 20};
    ASSERT_EQ(D3D9Raster::Render(source, const_cast<int32_t*>(position), 0), 1);
    ASSERT_EQ(sQuads.size(), 1u);
    const std::vector<float> strip = {
        110, 70, 0, 1, 0, 0.25f, 0.25f, 110, 78, 0, 1, 0, 0.25f, 0.5f,
        126, 70, 0, 1, 0, 0.5f,  0.25f, 126, 78, 0, 1, 0, 0.5f,  0.5f,
    };
    for (size_t i = 0; i < strip.size(); ++i)
    {
        if (i % 7 != 4) // the colour word is checked below
        {
            EXPECT_FLOAT_EQ(sQuads[0][i], strip[i]) << "vertex " << i / 7 << ", field " << i % 7;
        }
    }
    uint32_t colour;
    std::memcpy(&colour, &sQuads[0][4], 4);
    EXPECT_EQ(colour, 0xFFFFFFFFu);
    std::map<int32_t, intptr_t> during(sStatesSet.begin(), sStatesSet.begin() + 8);
    EXPECT_EQ(during[1], reinterpret_cast<intptr_t>(texture)) << "the source's top raster on stage 0";
    EXPECT_EQ(during[12], 1) << "blended: the source has alpha";
    EXPECT_EQ(during[10], 5);
    EXPECT_EQ(during[11], 6);
    EXPECT_EQ(during[14], 0);
    EXPECT_EQ(during[9], 1);
    EXPECT_EQ(during[2], 3);
    for (int32_t state : {1, 3, 4, 9, 10, 11, 12, 14})
        EXPECT_EQ(sStates[state], 1000 + state) << "state " << state << " put back";
    DWORD after = 0;
    Device()->GetRenderState(D3DRS_ZENABLE, &after);
    EXPECT_EQ(after, zEnable);
    Device()->GetRenderState(D3DRS_CULLMODE, &after);
    EXPECT_EQ(after, cull);
    D3DVIEWPORT9 viewport{};
    Device()->GetViewport(&viewport);
    EXPECT_EQ(viewport.X, 100u);
    EXPECT_EQ(viewport.Y, 50u);
    EXPECT_EQ(viewport.Width, 200u);
    EXPECT_EQ(viewport.Height, 100u);

    // Unblended and scaled variants.
    sStatesSet.clear();
    ASSERT_EQ(D3D9Raster::RenderFast(source, const_cast<int32_t*>(position), 0), 1);
    EXPECT_EQ((std::map<int32_t, intptr_t>(sStatesSet.begin(), sStatesSet.begin() + 6)[12]), 0);
    sStatesSet.clear();
    RasterRect stretched = {0, 0, 32, 16};
    ASSERT_EQ(D3D9Raster::RenderScaled(source, &stretched, 0), 1);
    std::map<int32_t, intptr_t> scaled(sStatesSet.begin(), sStatesSet.begin() + 8);
    EXPECT_EQ(scaled[9], 2) << "filtered";
    EXPECT_FLOAT_EQ(sQuads.back()[2 * 7], 132.0f);
    EXPECT_FLOAT_EQ(sQuads.back()[1 * 7 + 1], 66.0f);

    // A device record without 2D drawing cannot draw the quad.
    Engine::Current()->device.im2DPrimitive = nullptr;
    EXPECT_EQ(D3D9Raster::Render(source, const_cast<int32_t*>(position), 0), 0);

    Raster::Destroy(source);
    Raster::Destroy(texture);
    Raster::Destroy(context);
    DestroyCamera(camera);
}

} // namespace
} // namespace d3d9driver
