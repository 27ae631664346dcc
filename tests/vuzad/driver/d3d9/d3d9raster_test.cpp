// Tests of Direct3D 9 rasters on configured adapters: every raster type made and released
// through the device, format choices by the device's caps, locks of levels, sub-rasters
// and camera rasters with read-back, palettes and their numbers, and level counts.
#include "d3d9driverfixture.h"
#include "d3d9im2d.h"
#include "d3d9im3dpipeline.h"
#include "d3d9vertexbuffer.h"

#include <functional>
#include <string>

namespace d3d9driver
{
namespace
{

using D3D9Rasters = DriverTest;

enum class Object
{
    None,
    ManagedTexture,
    DefaultTexture,   ///< default pool, no render target (depth formats)
    RenderTarget,     ///< default-pool render-target texture
    MainDepthSurface, ///< the device's own depth-stencil surface
    OwnDepthSurface,
};

Object KindOf(Raster* raster)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    if (!ext->object)
        return Object::None;
    D3DSURFACE_DESC desc{};
    if (ext->object->GetType() == D3DRTYPE_SURFACE)
    {
        IDirect3DSurface9* main = nullptr;
        D3D9Device::GetDevice()->GetDepthStencilSurface(&main);
        if (main)
            main->Release();
        return ext->object == main ? Object::MainDepthSurface : Object::OwnDepthSurface;
    }
    static_cast<IDirect3DTexture9*>(ext->object)->GetLevelDesc(0, &desc);
    if (desc.Pool == D3DPOOL_MANAGED)
        return Object::ManagedTexture;
    return (desc.Usage & D3DUSAGE_RENDERTARGET) ? Object::RenderTarget : Object::DefaultTexture;
}

TEST_F(D3D9Rasters, EveryTypeIsMadeAndReleasedThroughTheDevice)
{
    Start();
    const struct
    {
        const char* name;
        int32_t width, height;
        uint32_t flags;
        uint32_t format; ///< the format flags the raster ends with
        int32_t depth;
        bool listed;
        Object object;
        int32_t levels;
    } cases[] = {
        {"normal, format of the device's choice", 64, 64, kRasterTypeNormal, kRasterFormat8888, 32, false,
         Object::ManagedTexture, 1},
        {"mipmapped 565 texture", 64, 32, kRasterTypeTexture | kRasterFormat565 | kRasterFormatMipmap,
         kRasterFormat565 | kRasterFormatMipmap, 16, false, Object::ManagedTexture, 7},
        {"luminance texture", 16, 16, kRasterTypeTexture | kRasterFormatLum8, kRasterFormatLum8, 8, false,
         Object::ManagedTexture, 1},
        {"palettised texture", 16, 16, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888,
         kRasterFormatPal8 | kRasterFormat888, 8, true, Object::ManagedTexture, 1},
        {"texture in a depth format", 32, 32, kRasterTypeTexture | kRasterFormatZ16, kRasterFormatZ16, 16, true,
         Object::DefaultTexture, 1},
        {"z-buffer of the window's size", 640, 480, kRasterTypeZBuffer, kRasterFormatZ32, 32, true,
         Object::MainDepthSurface, 1},
        {"z-buffer of its own", 128, 128, kRasterTypeZBuffer, kRasterFormatZ32, 32, true, Object::OwnDepthSurface, 1},
        {"camera of the window's size", 640, 480, kRasterTypeCamera, kRasterFormat888, 32, true, Object::None, 1},
        {"camera texture", 128, 128, kRasterTypeCameraTexture, kRasterFormat888, 32, true, Object::RenderTarget, 1},
        {"camera texture with device mip levels", 64, 64,
         kRasterTypeCameraTexture | kRasterFormat565 | kRasterFormatMipmap | kRasterFormatAutoMipmap,
         kRasterFormat565 | kRasterFormatMipmap | kRasterFormatAutoMipmap, 16, true, Object::RenderTarget, 1},
        {"no size allocates nothing", 0, 0, kRasterTypeTexture, kRasterFormat8888, 32, false, Object::None, 1},
    };
    std::vector<Raster*> made;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Raster* raster = Raster::Create(c.width, c.height, 0, c.flags);
        ASSERT_NE(raster, nullptr);
        EXPECT_EQ(TakeError(), kErrNone);
        EXPECT_EQ(raster->type, c.flags & kRasterTypeMask);
        EXPECT_EQ(Raster::FormatFlags(raster), c.format);
        EXPECT_EQ(raster->depth, c.depth);
        EXPECT_EQ(D3D9Raster::IsListed(raster), c.listed);
        EXPECT_EQ(KindOf(raster), c.object);
        EXPECT_EQ(Raster::GetNumLevels(raster), c.levels);
        made.push_back(raster);
    }
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 1);
    EXPECT_EQ(D3D9Raster::Extension(made[9])->mipmapState & 0x0F, 1) << "the device generates the levels";
    EXPECT_NE(made[7]->flags & kRasterDontAllocate, 0) << "a camera raster owns no pixels";
    EXPECT_NE(made[10]->flags & kRasterDontAllocate, 0);
    for (Raster* raster : made)
        EXPECT_EQ(Raster::Destroy(raster), 1);
    EXPECT_EQ(ExtraResources(), 0u);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
    for (Raster* raster : made)
        EXPECT_FALSE(D3D9Raster::IsListed(raster));
}

// ---- Format choice by the device's caps -----------------------------------------------------------------

struct Request
{
    const char* name;
    int32_t width, height;
    uint32_t flags;
    bool made;
    int32_t error;                   ///< kErrNone: nothing recorded
    uint32_t format;                 ///< pixel format and flags the raster ends with, when made
    int32_t width2 = 0, height2 = 0; ///< the size the device gave it (0: as asked)
};

struct Profile
{
    const char* name;
    std::function<void(d3d9test::AdapterConfig&)> configure;
    std::vector<Request> requests;
};

void Drop(std::vector<D3DFORMAT>& formats, D3DFORMAT format)
{
    std::erase(formats, format);
}

TEST_F(D3D9Rasters, FormatsFollowTheCapsOfTheDevice)
{
    const int32_t N = kErrNone;
    const uint32_t T = kRasterTypeTexture;
    const Profile profiles[] = {
        {"32-bit display",
         [](d3d9test::AdapterConfig&) {},
         {
             {"texture: 8888", 8, 8, T, true, N, kRasterFormat8888},
             {"PAL4 is refused", 8, 8, T | kRasterFormatPal4 | kRasterFormat888, false, kErrRasterFormat, 0},
             {"PAL8 8888 with alpha in palettes", 8, 8, T | kRasterFormatPal8 | kRasterFormat8888, true, N,
              kRasterFormatPal8 | kRasterFormat8888},
             {"PAL8 of the device's choice", 8, 8, T | kRasterFormatPal8, true, N,
              kRasterFormatPal8 | kRasterFormat8888},
             {"PAL8 565", 8, 8, T | kRasterFormatPal8 | kRasterFormat565, false, N, 0},
             {"z-buffer of the other depth", 8, 8, kRasterTypeZBuffer | kRasterFormatZ16, false, kErrRasterFormat, 0},
             {"camera in another format", 8, 8, kRasterTypeCamera | kRasterFormat565, false, kErrRasterFormat, 0},
             {"camera in the display's format", 8, 8, kRasterTypeCamera | kRasterFormat888, true, N, kRasterFormat888},
             {"camera wider than the window", 641, 480, kRasterTypeCamera, false, kCoreErrDevice, 0},
             {"... unless it allocates nothing", 641, 480, kRasterTypeCamera | kRasterDontAllocate, true, N,
              kRasterFormat888},
             {"camera texture of a format that is no target", 8, 8, kRasterTypeCameraTexture | kRasterFormatLum8, false,
              kErrRasterFormat, 0},
             {"type 3", 8, 8, 3, false, kErrRasterFormat, 0},
             {"300 x 200 keeps its size", 300, 200, T | kRasterFormatMipmap, true, N,
              kRasterFormat8888 | kRasterFormatMipmap},
         }},
        {"16-bit display",
         [](d3d9test::AdapterConfig& a) { a.desktop.Format = D3DFMT_R5G6B5; },
         {
             {"texture: 4444", 8, 8, T, true, N, kRasterFormat4444},
             {"z-buffer: 16 bits", 8, 8, kRasterTypeZBuffer, true, N, kRasterFormatZ16},
             {"camera texture: 565", 8, 8, kRasterTypeCameraTexture, true, N, kRasterFormat565},
         }},
        {"16-bit display without 4444 textures",
         [](d3d9test::AdapterConfig& a)
         {
             a.desktop.Format = D3DFMT_R5G6B5;
             Drop(a.textureFormats, D3DFMT_A4R4G4B4);
         },
         {{"texture: 1555", 8, 8, T, true, N, kRasterFormat1555}}},
        {"32-bit display without 8888 textures, luminance or palettes",
         [](d3d9test::AdapterConfig& a)
         {
             Drop(a.textureFormats, D3DFMT_A8R8G8B8);
             Drop(a.textureFormats, D3DFMT_L8);
             Drop(a.textureFormats, D3DFMT_P8);
             a.caps.TextureCaps &= ~D3DPTEXTURECAPS_ALPHAPALETTE;
         },
         {
             {"texture: 4444", 8, 8, T, true, N, kRasterFormat4444},
             {"luminance is not offered", 8, 8, T | kRasterFormatLum8, false, N, 0},
             {"palettes are not offered", 8, 8, T | kRasterFormatPal8 | kRasterFormat888, false, N, 0},
         }},
        {"palettes without alpha",
         [](d3d9test::AdapterConfig& a) { a.caps.TextureCaps &= ~D3DPTEXTURECAPS_ALPHAPALETTE; },
         {
             {"PAL8 8888", 8, 8, T | kRasterFormatPal8 | kRasterFormat8888, false, N, 0},
             {"PAL8 of the device's choice: 888", 8, 8, T | kRasterFormatPal8, true, N,
              kRasterFormatPal8 | kRasterFormat888},
         }},
        {"power-of-two textures",
         [](d3d9test::AdapterConfig& a) { a.caps.TextureCaps |= D3DPTEXTURECAPS_POW2; },
         {
             {"mipmapped 300 x 200", 300, 200, T | kRasterFormatMipmap, true, N,
              kRasterFormat8888 | kRasterFormatMipmap, 256, 128},
             {"normal 300 x 200", 300, 200, kRasterTypeNormal, true, N, kRasterFormat8888, 256, 128},
         }},
        {"power-of-two textures with a conditional exception",
         [](d3d9test::AdapterConfig& a)
         { a.caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL; },
         {
             {"mipmapped 300 x 200", 300, 200, T | kRasterFormatMipmap, true, N,
              kRasterFormat8888 | kRasterFormatMipmap, 256, 128},
             {"plain 300 x 200", 300, 200, T, true, N, kRasterFormat8888, 300, 200},
         }},
        {"square power-of-two textures",
         [](d3d9test::AdapterConfig& a) { a.caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY; },
         {{"mipmapped 300 x 200", 300, 200, T | kRasterFormatMipmap, true, N, kRasterFormat8888 | kRasterFormatMipmap,
           128, 128}}},
        {"small textures",
         [](d3d9test::AdapterConfig& a) { a.caps.MaxTextureWidth = a.caps.MaxTextureHeight = 64; },
         {{"clamped", 300, 20, T, true, N, kRasterFormat8888, 64, 20}}},
    };
    for (const Profile& profile : profiles)
    {
        SCOPED_TRACE(profile.name);
        d3d9test::AdapterConfig adapter = Adapter();
        profile.configure(adapter);
        Start({adapter});
        for (const Request& r : profile.requests)
        {
            SCOPED_TRACE(r.name);
            Raster* raster = Raster::Create(r.width, r.height, 0, r.flags);
            EXPECT_EQ(raster != nullptr, r.made);
            EXPECT_EQ(TakeError(), r.error);
            if (!raster)
                continue;
            EXPECT_EQ(Raster::FormatFlags(raster), r.format);
            D3DFORMAT made = D3D9Raster::Extension(raster)->format;
            if (made != D3DFMT_UNKNOWN)
            {
                EXPECT_EQ(raster->depth, D3D9Raster::FormatInfo(made).bitsPerPixel) << "depth of the object's format";
            }
            EXPECT_EQ(raster->width, r.width2 ? r.width2 : r.width);
            EXPECT_EQ(raster->height, r.height2 ? r.height2 : r.height);
            Raster::Destroy(raster);
        }
        EXPECT_EQ(ExtraResources(), 0u);
        ShutDown();
    }
}

TEST_F(D3D9Rasters, ResolveFormatGivesTheNearestFormatTheDeviceOffers)
{
    const uint32_t T = kRasterTypeTexture;
    const uint32_t Z = kRasterTypeZBuffer;
    const uint32_t C = kRasterTypeCamera;
    const uint32_t CT = kRasterTypeCameraTexture;
    const uint32_t P8 = kRasterFormatPal8;
    const uint32_t M = kRasterFormatMipmap | kRasterFormatAutoMipmap;
    struct Case
    {
        uint32_t type, flags, resolved;
        int32_t error = kErrNone;
    };
    struct ResolveProfile
    {
        const char* name;
        std::function<void(d3d9test::AdapterConfig&)> configure;
        std::vector<Case> cases;
    };
    const ResolveProfile profiles[] = {
        {"32-bit display with every format",
         [](d3d9test::AdapterConfig&) {},
         {
             {T, 0, kRasterFormat8888},
             {T, M, M | kRasterFormat8888},
             {T, kRasterFormatLum8, kRasterFormatLum8},
             {T, P8, P8 | kRasterFormat8888},
             {T, kRasterFormatPal4 | kRasterFormat888, P8 | kRasterFormat888},
             {Z, 0, kRasterFormatZ32},
             {Z, kRasterFormatZ32, kRasterFormatZ32, kErrRasterFormat},
             {C, 0, kRasterFormat888},
             {C, kRasterFormat888, kRasterFormat888, kErrRasterFormat},
             {CT, 0, kRasterFormat888},
             {CT, kRasterFormat4444, kRasterFormat8888},
             {CT, kRasterFormat565 | kRasterFormatMipmap, kRasterFormat888 | kRasterFormatMipmap},
             {3, kRasterFormat565, kRasterFormat565, kErrRasterFormat},
         }},
        {"32-bit display without L8, 8888, P8 or alpha in palettes",
         [](d3d9test::AdapterConfig& a)
         {
             Drop(a.textureFormats, D3DFMT_L8);
             Drop(a.textureFormats, D3DFMT_A8R8G8B8);
             Drop(a.textureFormats, D3DFMT_P8);
             a.caps.TextureCaps &= ~D3DPTEXTURECAPS_ALPHAPALETTE;
         },
         {
             {T, kRasterFormatLum8, kRasterFormat888},
             {T, kRasterFormat8888, kRasterFormat4444},
             {T, 0, kRasterFormat4444},
             {T, P8, kRasterFormat4444},
             {T, P8 | kRasterFormat888, kRasterFormat888},
             {T, P8 | kRasterFormat8888, kRasterFormat4444},
         }},
        {"32-bit display without L8 or X8R8G8B8",
         [](d3d9test::AdapterConfig& a)
         {
             Drop(a.textureFormats, D3DFMT_L8);
             Drop(a.textureFormats, D3DFMT_X8R8G8B8);
         },
         {{T, kRasterFormatLum8, kRasterFormat565}, {T, kRasterFormat888, kRasterFormat565}}},
        {"16-bit display",
         [](d3d9test::AdapterConfig& a) { a.desktop.Format = D3DFMT_R5G6B5; },
         {
             {Z, 0, kRasterFormatZ16},
             {C, 0, kRasterFormat565},
             {CT, 0, kRasterFormat565},
             {CT, kRasterFormat8888, kRasterFormat4444},
             {CT, kRasterFormat888, kRasterFormat565},
         }},
        {"16-bit display without 4444 render targets",
         [](d3d9test::AdapterConfig& a)
         {
             a.desktop.Format = D3DFMT_R5G6B5;
             Drop(a.renderTargetFormats, D3DFMT_A4R4G4B4);
             Drop(a.textureFormats, D3DFMT_P8);
         },
         {
             {CT, kRasterFormat8888, kRasterFormat1555},
             {T, P8 | kRasterFormat888, kRasterFormat565},
             {T, P8 | kRasterFormat8888, kRasterFormat4444},
         }},
    };
    for (const ResolveProfile& profile : profiles)
    {
        SCOPED_TRACE(profile.name);
        d3d9test::AdapterConfig adapter = Adapter();
        profile.configure(adapter);
        Start({adapter});
        for (const Case& c : profile.cases)
        {
            SCOPED_TRACE(testing::Message() << "type " << c.type << ", flags 0x" << std::hex << c.flags);
            EXPECT_EQ(D3D9Raster::ResolveFormat(c.type, c.flags | c.type), c.resolved | c.type);
            EXPECT_EQ(TakeError(), c.error);
        }
        ShutDown();
    }
}

TEST_F(D3D9Rasters, SetTypeAndFormatStoresTheResolvedFormatAndItsDepth)
{
    d3d9test::AdapterConfig adapter = Adapter();
    Drop(adapter.textureFormats, D3DFMT_L8);
    Start({adapter});
    Raster* raster = Raster::Create(0, 0, 0, kRasterTypeTexture);
    ASSERT_EQ(D3D9Raster::SetTypeAndFormat(raster, kRasterTypeTexture | kRasterFormatLum8 | kRasterFormatMipmap), 1);
    EXPECT_EQ(Raster::FormatFlags(raster), kRasterFormat888 | kRasterFormatMipmap);
    EXPECT_EQ(raster->depth, 32);
    EXPECT_EQ(Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormatLum8), nullptr) << "not made directly";
    ASSERT_EQ(D3D9Raster::SetTypeAndFormat(raster, kRasterTypeNormal | kRasterFormatPal8 | kRasterFormat888), 1);
    EXPECT_EQ(raster->type, kRasterTypeNormal);
    EXPECT_EQ(raster->depth, 8) << "a palettised raster holds indices";
    Raster::Destroy(raster);
}

TEST_F(D3D9Rasters, AccessorsReadTheExtension)
{
    Start();
    Raster* alpha = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat8888);
    Raster* opaque = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat565);
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(alpha), 1);
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(opaque), 0);
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(nullptr), 0);
    EXPECT_FALSE(D3D9Raster::IsCompressed(alpha));
    EXPECT_EQ(D3D9Raster::GetFormatBits(alpha), 0);
    D3D9Raster::Extension(opaque)->mipmapState = 0x10;
    D3D9Raster::Extension(opaque)->cube = 0x31;
    EXPECT_TRUE(D3D9Raster::IsCompressed(opaque));
    EXPECT_EQ(D3D9Raster::GetFormatBits(opaque), 1) << "the cube flag without the face";
    D3D9Raster::Extension(opaque)->cube = 0;
    Raster::Destroy(alpha);
    Raster::Destroy(opaque);
}

TEST_F(D3D9Rasters, ACameraTextureTheDeviceCannotTargetFallsBackToTheDisplayFormat)
{
    Start();
    d3d9test::EnableCallLog(true);
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_NOTAVAILABLE);
    Raster* raster = Raster::Create(64, 64, 0, kRasterTypeCameraTexture | kRasterFormat565);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(d3d9test::CountCalls("CreateTexture"), 2u);
    EXPECT_EQ(Raster::FormatFlags(raster), kRasterFormat888);
    EXPECT_EQ(raster->depth, 32);
    EXPECT_EQ(KindOf(raster), Object::DefaultTexture) << "drawn into through the back buffer";
    Raster::Destroy(raster);

    // Out of video memory is not retried.
    d3d9test::ClearCallLog();
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(Raster::Create(64, 64, 0, kRasterTypeCameraTexture), nullptr);
    EXPECT_EQ(d3d9test::CountCalls("CreateTexture"), 1u);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, kCorePluginId);
    EXPECT_EQ(e.code, kCoreErrDevice);
    d3d9test::EnableCallLog(false);
}

// ---- Locks ------------------------------------------------------------------------------------------------------

TEST_F(D3D9Rasters, LockingALevelReportsItsSizeAndPitch)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.pitchPadding = 12; // rows lie further apart than their pixels
    Start({adapter});
    Raster* raster = Raster::Create(256, 128, 0, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap);
    ASSERT_NE(raster, nullptr);

    ASSERT_NE(Raster::Lock(raster, 2, kRasterLockRead), nullptr);
    EXPECT_EQ(raster->width, 64);
    EXPECT_EQ(raster->height, 32);
    EXPECT_EQ(raster->stride, 64 * 4 + 12);
    EXPECT_EQ(raster->privateFlags & kRasterPixelLockMask, kRasterLockedRead);
    EXPECT_EQ(Raster::Lock(raster, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(TakeError(), kErrAlreadyLocked);
    ASSERT_EQ(Raster::Unlock(raster), raster);
    EXPECT_EQ(raster->width, 256);
    EXPECT_EQ(raster->height, 128);
    EXPECT_EQ(raster->stride, 0);
    EXPECT_EQ(raster->pixels, nullptr);
    EXPECT_EQ(raster->privateFlags & kRasterPixelLockMask, 0);

    ASSERT_NE(Raster::Lock(raster, 8, kRasterLockWrite), nullptr);
    EXPECT_EQ(raster->width, 1);
    EXPECT_EQ(raster->height, 1);
    Raster::Unlock(raster);
    EXPECT_EQ(Raster::Unlock(raster), nullptr);
    EXPECT_EQ(TakeError(), kErrNotLocked);

    Raster* z = Raster::Create(64, 64, 0, kRasterTypeZBuffer);
    EXPECT_EQ(Raster::Lock(z, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(TakeError(), kErrAlreadyLocked) << "a z-buffer cannot be locked";
    Raster::Destroy(z);
    Raster::Destroy(raster);
}

uint32_t Pattern(int32_t x, int32_t y)
{
    return 0xFF000000u | uint32_t(y) << 8 | uint32_t(x);
}

void Fill(Raster* raster, uint32_t (*value)(int32_t, int32_t))
{
    for (int32_t y = 0; y < raster->height; ++y)
        for (int32_t x = 0; x < raster->width; ++x)
            reinterpret_cast<uint32_t*>(raster->pixels + size_t(y) * size_t(raster->stride))[x] = value(x, y);
}

TEST_F(D3D9Rasters, SubRastersShareTheirParentsPixels)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.pitchPadding = 4;
    Start({adapter});
    Raster* parent = Raster::Create(64, 64, 0, kRasterTypeTexture | kRasterFormat8888);
    ASSERT_NE(Raster::Lock(parent, 0, kRasterLockWrite), nullptr);
    Fill(parent, Pattern);
    Raster::Unlock(parent);

    Raster* sub = Raster::Create(0, 0, 0, kRasterTypeTexture | kRasterDontAllocate);
    RasterRect rect = {16, 8, 8, 4};
    ASSERT_EQ(Raster::SubRaster(sub, parent, &rect), sub);
    EXPECT_EQ(sub->depth, 32);
    EXPECT_EQ(Raster::FormatFlags(sub), kRasterFormat8888);
    ASSERT_NE(Raster::Lock(sub, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(sub, 0, 0), Pattern(16, 8));
    EXPECT_EQ(Pixel32(sub, 7, 3), Pattern(23, 11));
    Raster::Unlock(sub);

    ASSERT_NE(Raster::Lock(sub, 0, kRasterLockWrite), nullptr);
    Fill(sub, [](int32_t, int32_t) { return 0xFFABCDEFu; });
    Raster::Unlock(sub);
    ASSERT_NE(Raster::Lock(parent, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(parent, 16, 8), 0xFFABCDEFu);
    EXPECT_EQ(Pixel32(parent, 23, 11), 0xFFABCDEFu);
    EXPECT_EQ(Pixel32(parent, 15, 8), Pattern(15, 8));
    EXPECT_EQ(Pixel32(parent, 16, 12), Pattern(16, 12));
    Raster::Unlock(parent);
    Raster::Destroy(sub);
    Raster::Destroy(parent);
}

TEST_F(D3D9Rasters, CameraRastersLockThroughASystemMemoryCopy)
{
    Start();
    Camera* camera = MakeCamera();
    const Rgba red = {0xFF, 0, 0, 0xFF};
    ASSERT_EQ(Camera::Clear(camera, &red, kCameraClearImage), camera);
    Raster* frameBuffer = camera->frameBuffer;

    // What is changed under a read-only lock is not written back.
    ASSERT_NE(Raster::Lock(frameBuffer, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(frameBuffer, 5, 5) & 0xFFFFFF, 0xFF0000u);
    Fill(frameBuffer, [](int32_t, int32_t) { return 0u; });
    Raster::Unlock(frameBuffer);

    Raster* sub = Raster::Create(0, 0, 0, kRasterTypeCamera | kRasterDontAllocate);
    RasterRect rect = {100, 50, 10, 10};
    ASSERT_EQ(Raster::SubRaster(sub, frameBuffer, &rect), sub);
    ASSERT_NE(Raster::Lock(sub, 0, kRasterLockWrite), nullptr);
    Fill(sub, [](int32_t, int32_t) { return 0xFF0000FFu; });
    Raster::Unlock(sub);

    ASSERT_NE(Raster::Lock(frameBuffer, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(frameBuffer, 5, 5) & 0xFFFFFF, 0xFF0000u) << "the read-only change is gone";
    EXPECT_EQ(Pixel32(frameBuffer, 100, 50) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(Pixel32(frameBuffer, 109, 59) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(Pixel32(frameBuffer, 110, 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(Pixel32(frameBuffer, 100, 49) & 0xFFFFFF, 0xFF0000u);
    Raster::Unlock(frameBuffer);
    // A camera raster has one level: any other is refused, however far.
    for (uint8_t level : {1, 31, 40, 255})
        EXPECT_EQ(Raster::Lock(frameBuffer, level, kRasterLockRead), nullptr) << int(level);
    EXPECT_TRUE(D3D9Raster::IsListed(sub));
    Raster::Destroy(sub);
    EXPECT_FALSE(D3D9Raster::IsListed(sub)) << "a camera sub-raster leaves the list";
    DestroyCamera(camera);
}

TEST_F(D3D9Rasters, CameraTexturesLockThroughACopyToo)
{
    Start();
    Raster* target = Raster::Create(32, 32, 0, kRasterTypeCameraTexture | kRasterFormat8888);
    ASSERT_NE(target, nullptr);
    ASSERT_NE(Raster::Lock(target, 0, kRasterLockWrite), nullptr);
    Fill(target, Pattern);
    Raster::Unlock(target);
    ASSERT_NE(Raster::Lock(target, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(target, 3, 7), Pattern(3, 7));
    EXPECT_EQ(Pixel32(target, 31, 31), Pattern(31, 31));
    Raster::Unlock(target);
    Raster::Destroy(target);
    EXPECT_EQ(ExtraResources(), 0u) << "the copies are released";
}

TEST_F(D3D9Rasters, CubeFacesLockTheirOwnSurfaces)
{
    Start();
    Raster* cube =
        Raster::Create(32, 32, 0, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap | kRasterDontAllocate);
    ASSERT_NE(cube, nullptr);
    D3D9RasterExtension* ext = D3D9Raster::Extension(cube);
    ext->cube = 1;
    cube->flags &= uint8_t(~kRasterDontAllocate);
    ASSERT_EQ(D3D9Raster::CreateTexture(cube), 1);
    ASSERT_EQ(ext->object->GetType(), D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(D3D9Raster::GetFormatBits(cube), 1);
    EXPECT_EQ(Raster::GetNumLevels(cube), 6);
    for (uint8_t face = 0; face < 6; ++face)
    {
        ext->cube = uint8_t(1 | face << 4);
        ASSERT_NE(Raster::Lock(cube, 1, kRasterLockWrite), nullptr);
        EXPECT_EQ(cube->width, 16);
        EXPECT_EQ(cube->stride, 16 * 4);
        Fill(cube, [](int32_t, int32_t) { return 0u; });
        uint32_t value = 0xFF000000u | uint32_t(face * 40) << 16;
        for (int32_t y = 0; y < cube->height; ++y)
            for (int32_t x = 0; x < cube->width; ++x)
                reinterpret_cast<uint32_t*>(cube->pixels + size_t(y) * size_t(cube->stride))[x] = value;
        Raster::Unlock(cube);
    }
    for (UINT face = 0; face < 6; ++face)
    {
        std::vector<float> texels;
        UINT width = 0, height = 0;
        ASSERT_TRUE(
            d3d9test::ReadTexels(static_cast<IDirect3DBaseTexture9*>(ext->object), face, 1, texels, &width, &height));
        ASSERT_EQ(width, 16u);
        EXPECT_NEAR(texels[0], float(face * 40) / 255.0f, 1e-3f) << "face " << face;
        EXPECT_NEAR(texels[(16 * 16 - 1) * 4], float(face * 40) / 255.0f, 1e-3f) << "face " << face;
    }
    ext->cube = 1;
    Raster::Destroy(cube);
}

TEST_F(D3D9Rasters, PackedRowLocksGetRowsBackToBackOrNothing)
{
    const uint32_t mode = kRasterLockWrite | kRasterLockPackedRows; // the video player's mode 9
    for (UINT padding : {0u, 8u})
    {
        SCOPED_TRACE(padding);
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.pitchPadding = padding;
        Start({adapter});
        Raster* video = Raster::Create(100, 60, 0, kRasterTypeNormal | kRasterFormat8888);
        ASSERT_NE(video, nullptr);
        uint8_t* pixels = Raster::Lock(video, 0, mode);
        if (padding == 0)
        {
            ASSERT_NE(pixels, nullptr) << "managed 32-bit textures have rows back to back";
            EXPECT_EQ(video->stride, 100 * 4);
            std::fill_n(reinterpret_cast<uint32_t*>(pixels), 100 * 60, 0xFF102030u);
            Raster::Unlock(video);
        }
        else
        {
            EXPECT_EQ(pixels, nullptr) << "a wider pitch would be overrun";
            EXPECT_EQ(TakeError(), kErrRasterFormat);
            EXPECT_EQ(video->pixels, nullptr);
            EXPECT_EQ(video->width, 100);
            ASSERT_NE(Raster::Lock(video, 0, kRasterLockWrite), nullptr) << "not left locked";
            Raster::Unlock(video);
        }
        Raster::Destroy(video);
        ShutDown();
    }
}

std::vector<Raster*> sGenerated;

int32_t RecordGeneration(Raster* raster, void* image)
{
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(D3D9Raster::Extension(raster)->lockedLevel, 0xFF);
    sGenerated.push_back(raster);
    return 1;
}

TEST_F(D3D9Rasters, AutomaticLevelsAreRebuiltOnlyAfterLevelZeroIsWritten)
{
    const uint32_t autoMip = kRasterFormat8888 | kRasterFormatMipmap | kRasterFormatAutoMipmap;
    struct Step
    {
        uint8_t level;
        uint32_t mode;
        bool rebuilt;
    };
    const Step steps[] = {
        {1, kRasterLockWrite, false}, {0, kRasterLockRead, false}, {0, kRasterLockWrite | kRasterLockNoFetch, true}};
    for (bool deviceMakesLevels : {false, true})
    {
        SCOPED_TRACE(deviceMakesLevels ? "the device makes the levels" : "the engine makes the levels");
        d3d9test::AdapterConfig adapter = Adapter();
        if (!deviceMakesLevels)
            adapter.caps.Caps2 &= ~D3DCAPS2_CANAUTOGENMIPMAP;
        Start({adapter});
        D3D9Raster::SetMipGenerator(RecordGeneration);
        for (uint32_t type : {kRasterTypeTexture, kRasterTypeCameraTexture})
        {
            SCOPED_TRACE(type);
            Raster* raster = Raster::Create(64, 64, 0, type | autoMip);
            ASSERT_NE(raster, nullptr);
            EXPECT_EQ(D3D9Raster::Extension(raster)->mipmapState & 0x0F, deviceMakesLevels ? 1 : 0);
            for (const Step& step : steps)
            {
                if (deviceMakesLevels && step.level > 0)
                    continue; // the device shows only level 0 of the textures it completes
                sGenerated.clear();
                ASSERT_NE(Raster::Lock(raster, step.level, step.mode), nullptr);
                Raster::Unlock(raster);
                bool expected = step.rebuilt && !deviceMakesLevels;
                ASSERT_EQ(sGenerated.size(), expected ? 1u : 0u) << "level " << int(step.level);
                if (expected)
                {
                    EXPECT_EQ(sGenerated[0], raster);
                }
            }
            Raster::Destroy(raster);
        }
        D3D9Raster::SetMipGenerator(nullptr);
        ShutDown();
    }
}

// ---- Around a reset ------------------------------------------------------------------------------------------

/// The driver's own default-pool buffers (rotating vertex buffers, 2D and immediate-mode
/// index buffers) go and come back around a Reset as the rasters' video memory does.
void ReleaseDriverBuffers()
{
    SubmitNoLightNode::ReleaseResources();
    D3D9Im2D::Close();
    D3D9VertexBuffer::Release();
}

void RestoreDriverBuffers()
{
    EXPECT_EQ(D3D9VertexBuffer::Restore(), 1);
    EXPECT_EQ(D3D9Im2D::Open(), 1);
    EXPECT_EQ(SubmitNoLightNode::CreateResources(), 1);
}

TEST_F(D3D9Rasters, VideoMemoryIsReleasedForAResetAndRestoredAfterIt)
{
    Start();
    HWND second = MakeWindow(320, 240);
    Raster* target = Raster::Create(64, 64, 0, kRasterTypeCameraTexture | kRasterFormat8888);
    Raster* ownZ = Raster::Create(128, 128, 0, kRasterTypeZBuffer);
    Raster* mainZ = Raster::Create(640, 480, 0, kRasterTypeZBuffer);
    Raster* depthTexture = Raster::Create(32, 32, 0, kRasterTypeTexture | kRasterFormatZ16);
    Raster* palettised = Raster::Create(16, 16, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    Raster* camera = Raster::Create(640, 480, 0, kRasterTypeCamera);
    Raster* chained = Raster::Create(320, 240, 0, kRasterTypeCamera);
    std::vector<Raster*> all = {target, ownZ, mainZ, depthTexture, palettised, camera, chained};
    for (Raster* raster : all)
        ASSERT_NE(raster, nullptr);

    // A camera presenting through a swap chain of its own, as the device's window cameras do.
    D3DPRESENT_PARAMETERS chainParameters = *D3D9Device::GetPresentParameters();
    chainParameters.hDeviceWindow = second;
    chainParameters.EnableAutoDepthStencil = FALSE;
    chainParameters.BackBufferWidth = chainParameters.BackBufferHeight = 0;
    D3D9RasterExtension* chainedExt = D3D9Raster::Extension(chained);
    ASSERT_EQ(Device()->CreateAdditionalSwapChain(&chainParameters, &chainedExt->swapChain), D3D_OK);
    chainedExt->window = second;
    IDirect3DSurface9* back = nullptr;
    chainedExt->swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    chainedExt->object = back;
    back->Release();

    uint8_t* palette = Raster::LockPalette(palettised, kRasterLockWrite);
    palette[3 * 4] = 200;
    Raster::UnlockPalette(palettised);

    d3d9test::LoseDevice(Device());
    d3d9test::MakeDeviceResettable(Device());
    D3DPRESENT_PARAMETERS parameters = *D3D9Device::GetPresentParameters();
    parameters.BackBufferWidth = 320; // a smaller back buffer: the window cameras follow it
    parameters.BackBufferHeight = 240;
    EXPECT_EQ(Device()->Reset(&parameters), D3DERR_INVALIDCALL) << "default-pool objects are still alive";

    D3D9Raster::ReleaseVideoMemory();
    EXPECT_EQ(ExtraResources(), 0u);
    EXPECT_EQ(chainedExt->swapChain, nullptr);
    for (Raster* raster : all)
        EXPECT_TRUE(D3D9Raster::IsListed(raster));
    ReleaseDriverBuffers();
    ASSERT_EQ(Device()->Reset(&parameters), D3D_OK);
    RestoreDriverBuffers();

    d3d9test::EnableCallLog(true);
    EXPECT_EQ(D3D9Raster::RestoreVideoMemory(), 1);
    d3d9test::EnableCallLog(false);
    auto paletteCalls = d3d9test::CallArgs("SetPaletteEntries");
    ASSERT_EQ(paletteCalls.size(), 1u) << "the palette is set again";
    EXPECT_EQ(paletteCalls[0].substr(0, paletteCalls[0].find(',')),
              std::to_string(D3D9Raster::Extension(palettised)->palette->number));
    EXPECT_EQ(KindOf(target), Object::RenderTarget);
    EXPECT_EQ(KindOf(ownZ), Object::OwnDepthSurface);
    EXPECT_EQ(KindOf(mainZ), Object::MainDepthSurface) << "the device's new depth surface";
    EXPECT_EQ(KindOf(depthTexture), Object::DefaultTexture);
    EXPECT_EQ(camera->width, 320);
    EXPECT_EQ(camera->height, 240);
    EXPECT_EQ(camera->depth, 32);
    EXPECT_NE(chainedExt->swapChain, nullptr);
    EXPECT_NE(chainedExt->object, nullptr);
    EXPECT_EQ(chained->width, 320) << "a window camera keeps its size";

    ASSERT_NE(Raster::Lock(target, 0, kRasterLockWrite), nullptr);
    Fill(target, Pattern);
    Raster::Unlock(target);
    ASSERT_NE(Raster::Lock(target, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(target, 9, 4), Pattern(9, 4)) << "the restored camera texture works";
    Raster::Unlock(target);

    // A restore that fails for one raster reports it and still restores the others.
    D3D9Raster::ReleaseVideoMemory();
    ReleaseDriverBuffers();
    ASSERT_EQ(Device()->Reset(&parameters), D3D_OK);
    RestoreDriverBuffers();
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(D3D9Raster::RestoreVideoMemory(), 0);
    TakeError();
    EXPECT_EQ(chainedExt->swapChain, nullptr) << "the newest raster is restored first and failed";
    EXPECT_EQ(KindOf(target), Object::RenderTarget);
    EXPECT_EQ(KindOf(ownZ), Object::OwnDepthSurface);

    for (Raster* raster : all)
        Raster::Destroy(raster);
    EXPECT_EQ(ExtraResources(), 0u);
    DestroyWindow(second);
}

// ---- Palettes and levels ---------------------------------------------------------------------------------------

TEST_F(D3D9Rasters, PaletteLocksReachTheDeviceAndNumbersAreReused)
{
    Start();
    const uint32_t pal8 = kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888;
    Raster* first = Raster::Create(16, 16, 0, pal8);
    Raster* second = Raster::Create(16, 16, 0, pal8);
    uint32_t firstNumber = D3D9Raster::Extension(first)->palette->number;
    EXPECT_NE(firstNumber, D3D9Raster::Extension(second)->palette->number);

    uint8_t* palette = Raster::LockPalette(first, kRasterLockWrite);
    ASSERT_NE(palette, nullptr);
    palette[5 * 4 + 0] = 10;
    palette[5 * 4 + 1] = 20;
    palette[5 * 4 + 2] = 30;
    palette[5 * 4 + 3] = 40;
    ASSERT_EQ(Raster::UnlockPalette(first), first);
    EXPECT_EQ(first->palette, nullptr);
    PALETTEENTRY entries[256];
    ASSERT_EQ(Device()->GetPaletteEntries(firstNumber, entries), D3D_OK);
    EXPECT_EQ(entries[5].peRed, 10);
    EXPECT_EQ(entries[5].peFlags, 40);

    Raster* z = Raster::Create(16, 16, 0, kRasterTypeZBuffer);
    EXPECT_EQ(Raster::LockPalette(z, kRasterLockRead), nullptr);
    EXPECT_EQ(TakeError(), kErrAlreadyLocked);
    EXPECT_EQ(Raster::UnlockPalette(z), nullptr);
    EXPECT_EQ(TakeError(), kErrNotLocked);
    Raster::Destroy(z);

    Raster::Destroy(first);
    Raster* third = Raster::Create(16, 16, 0, pal8);
    EXPECT_EQ(D3D9Raster::Extension(third)->palette->number, firstNumber) << "a freed number is used again";
    Raster::Destroy(second);
    Raster::Destroy(third);
}

TEST_F(D3D9Rasters, LevelCounts)
{
    Start();
    const uint32_t mipmapped = kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap;
    Raster* withTexture = Raster::Create(100, 60, 0, mipmapped);
    Raster* withoutTexture = Raster::Create(100, 60, 0, mipmapped | kRasterDontAllocate);
    Raster* camera = Raster::Create(64, 64, 0, kRasterTypeCamera | kRasterFormatMipmap);
    EXPECT_EQ(Raster::GetNumLevels(withTexture), 7);
    EXPECT_EQ(Raster::GetNumLevels(withoutTexture), 7);
    EXPECT_EQ(Raster::GetNumLevels(camera), 1);
    for (Raster* r : {withTexture, withoutTexture, camera})
        Raster::Destroy(r);
}

} // namespace
} // namespace d3d9driver
