// Tests of textures: every format through lock, unlock and OpenGL read-back with a padded pitch, palettes,
// mip levels, automatic mip levels, compressed blocks, cube faces, creation rules and lock rules.
#include "d3d9test_support.h"

#include <gtest/gtest.h>

#include <array>

namespace
{

using namespace d3d9support;

using Rgba = std::array<float, 4>;

class TextureTest : public D3D9Test
{
protected:
    /// Texels of a level as OpenGL holds them.
    std::vector<Rgba> Texels(IDirect3DBaseTexture9* texture, UINT level, UINT face = 0)
    {
        std::vector<float> flat;
        UINT width = 0, height = 0;
        EXPECT_TRUE(d3d9test::ReadTexels(texture, face, level, flat, &width, &height));
        std::vector<Rgba> out(flat.size() / 4);
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = {flat[4 * i], flat[4 * i + 1], flat[4 * i + 2], flat[4 * i + 3]};
        return out;
    }

    void ExpectTexel(const Rgba& actual, const Rgba& expected, float tolerance, const char* what)
    {
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual[c], expected[c], tolerance) << what << " channel " << c;
    }

    void Fill(IDirect3DTexture9* texture, UINT level, D3DCOLOR colour)
    {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x)
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = colour;
        ASSERT_EQ(texture->UnlockRect(level), D3D_OK);
    }
};

// ---- Every format round-trips ---------------------------------------------------------------------------------

struct FormatCase
{
    D3DFORMAT format;
    int bytes;
    uint64_t pixels[2]; ///< little-endian pixel values
    Rgba expected[2];   ///< as the device samples them
};

constexpr float k80 = 128 / 255.0f;

// clang-format off
const FormatCase kFormatCases[] = {
    {D3DFMT_A8R8G8B8, 4, {0x80FF4020, 0x01020304}, {{1, 64 / 255.f, 32 / 255.f, k80}, {2 / 255.f, 3 / 255.f, 4 / 255.f, 1 / 255.f}}},
    {D3DFMT_X8R8G8B8, 4, {0x00FF4020, 0x12000000}, {{1, 64 / 255.f, 32 / 255.f, 1}, {0, 0, 0, 1}}},
    {D3DFMT_R5G6B5, 2, {0xF800, 0x07E0}, {{1, 0, 0, 1}, {0, 1, 0, 1}}},
    {D3DFMT_X1R5G5B5, 2, {0x7C00, 0x03E0}, {{1, 0, 0, 1}, {0, 1, 0, 1}}},
    {D3DFMT_A1R5G5B5, 2, {0x801F, 0x7C00}, {{0, 0, 1, 1}, {1, 0, 0, 0}}},
    {D3DFMT_A4R4G4B4, 2, {0xF00F, 0x0F00}, {{0, 0, 1, 1}, {1, 0, 0, 0}}},
    {D3DFMT_R3G3B2, 1, {0xE0, 0x03}, {{1, 0, 0, 1}, {0, 0, 1, 1}}},
    {D3DFMT_A8, 1, {0x80, 0xFF}, {{0, 0, 0, k80}, {0, 0, 0, 1}}},
    {D3DFMT_A8R3G3B2, 2, {0x801C, 0xFFE3}, {{0, 1, 0, k80}, {1, 0, 1, 1}}},
    {D3DFMT_X4R4G4B4, 2, {0x0F0F, 0xF0F0}, {{1, 0, 1, 1}, {0, 1, 0, 1}}},
    {D3DFMT_A2B10G10R10, 4, {0xC00003FF, 0x3FF00000}, {{1, 0, 0, 1}, {0, 0, 1, 0}}},
    {D3DFMT_A8B8G8R8, 4, {0x80FF4020, 0}, {{32 / 255.f, 64 / 255.f, 1, k80}, {0, 0, 0, 0}}},
    {D3DFMT_X8B8G8R8, 4, {0x00FF4020, 0x11000000}, {{32 / 255.f, 64 / 255.f, 1, 1}, {0, 0, 0, 1}}},
    {D3DFMT_G16R16, 4, {0xFFFF0000, 0x0000FFFF}, {{0, 1, 1, 1}, {1, 0, 1, 1}}},
    {D3DFMT_A2R10G10B10, 4, {0xC00003FF, 0x3FF00000}, {{0, 0, 1, 1}, {1, 0, 0, 0}}},
    {D3DFMT_A16B16G16R16, 8, {0xFFFF00000000FFFF, 0x0000FFFF00000000}, {{1, 0, 0, 1}, {0, 0, 1, 0}}},
    {D3DFMT_L8, 1, {0x80, 0xFF}, {{k80, k80, k80, 1}, {1, 1, 1, 1}}},
    {D3DFMT_A8L8, 2, {0x80FF, 0xFF00}, {{1, 1, 1, k80}, {0, 0, 0, 1}}},
    {D3DFMT_A4L4, 1, {0xF0, 0x0F}, {{0, 0, 0, 1}, {1, 1, 1, 0}}},
    {D3DFMT_V8U8, 2, {0x817F, 0x0000}, {{1, -1, 1, 1}, {0, 0, 1, 1}}},
    {D3DFMT_L6V5U5, 2, {0xFE2F, 0x0000}, {{1, -1, 1, 1}, {0, 0, 0, 1}}},
    {D3DFMT_X8L8V8U8, 4, {0x00FF817F, 0}, {{1, -1, 1, 1}, {0, 0, 0, 1}}},
    {D3DFMT_Q8W8V8U8, 4, {0x817F817F, 0}, {{1, -1, 1, -1}, {0, 0, 0, 0}}},
    {D3DFMT_V16U16, 4, {0x80017FFF, 0}, {{1, -1, 1, 1}, {0, 0, 1, 1}}},
    {D3DFMT_L16, 2, {0xFFFF, 0x8000}, {{1, 1, 1, 1}, {32768 / 65535.f, 32768 / 65535.f, 32768 / 65535.f, 1}}},
    {D3DFMT_CxV8U8, 2, {0x007F, 0x0000}, {{1, 0, 0, 1}, {0, 0, 1, 1}}},
};
// clang-format on

class TextureFormats : public TextureTest, public ::testing::WithParamInterface<FormatCase>
{
};

TEST_P(TextureFormats, LockUnlockAndReadBackWithAPaddedPitch)
{
    const FormatCase& param = GetParam();
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.pitchPadding = 12;
    OpenDevice(Windowed(), {adapter});
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(4, 2, 1, 0, param.format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);

    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    ASSERT_EQ(locked.Pitch, 4 * param.bytes + 12);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
        {
            uint64_t value = param.pixels[(x + y) % 2];
            BYTE* at = static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * param.bytes;
            for (int b = 0; b < param.bytes; ++b)
                at[b] = BYTE(value >> (8 * b));
        }
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
        {
            uint64_t value = 0;
            const BYTE* at = static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch + x * param.bytes;
            for (int b = 0; b < param.bytes; ++b)
                value |= uint64_t(at[b]) << (8 * b);
            EXPECT_EQ(value, param.pixels[(x + y) % 2]) << "pixel " << x << "," << y;
        }
    texture->UnlockRect(0);

    std::vector<Rgba> texels = Texels(texture, 0);
    ASSERT_EQ(texels.size(), 8u);
    for (int i = 0; i < 8; ++i)
        ExpectTexel(texels[i], param.expected[(i % 4 + i / 4) % 2], 0.003f, "texel");
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(AllFormats, TextureFormats, ::testing::ValuesIn(kFormatCases));

TEST_F(TextureTest, CompressedBlocksDecodeAsTheDeviceSamplesThem)
{
    OpenDevice();
    // Colour half: red and blue endpoints, texels alternating between them.
    const BYTE colours[8] = {0x00, 0xF8, 0x1F, 0x00, 0x44, 0x44, 0x44, 0x44};
    BYTE dxt5Alpha[8] = {255, 0};
    uint64_t indices = 0;
    for (int t = 1; t < 16; t += 2)
        indices |= uint64_t(1) << (3 * t);
    for (int i = 0; i < 6; ++i)
        dxt5Alpha[2 + i] = BYTE(indices >> (8 * i));
    struct
    {
        D3DFORMAT format;
        std::vector<BYTE> block;
        float oddAlpha;
    } cases[] = {
        {D3DFMT_DXT1, std::vector<BYTE>(colours, colours + 8), 1.0f},
        {D3DFMT_DXT3, {0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F}, 0.0f},
        {D3DFMT_DXT5, std::vector<BYTE>(dxt5Alpha, dxt5Alpha + 8), 0.0f},
    };
    for (auto& c : cases)
    {
        if (c.format != D3DFMT_DXT1)
            c.block.insert(c.block.end(), colours, colours + 8);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(mDevice->CreateTexture(4, 4, 1, 0, c.format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        EXPECT_EQ(size_t(locked.Pitch), c.block.size()) << "one row of blocks";
        std::memcpy(locked.pBits, c.block.data(), c.block.size());
        texture->UnlockRect(0);
        std::vector<Rgba> texels = Texels(texture, 0);
        ExpectTexel(texels[0], {1, 0, 0, 1}, 0.003f, "even texel");
        ExpectTexel(texels[5], {0, 0, 1, c.oddAlpha}, 0.003f, "odd texel");
        texture->Release();
    }
}

// ---- Palettes -----------------------------------------------------------------------------------------------------

TEST_F(TextureTest, PalettisedTexturesFollowTheCurrentPalette)
{
    OpenDevice();
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {BYTE(i), BYTE(255 - i), 7, BYTE(i == 1 ? 0x80 : 0xFF)};
    ASSERT_EQ(mDevice->SetPaletteEntries(3, palette), D3D_OK);
    ASSERT_EQ(mDevice->SetCurrentTexturePalette(3), D3D_OK);

    IDirect3DTexture9 *p8 = nullptr, *a8p8 = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(2, 1, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &p8, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateTexture(1, 1, 1, 0, D3DFMT_A8P8, D3DPOOL_MANAGED, &a8p8, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(p8->LockRect(0, &locked, nullptr, 0), D3D_OK);
    static_cast<BYTE*>(locked.pBits)[0] = 1;
    static_cast<BYTE*>(locked.pBits)[1] = 255;
    p8->UnlockRect(0);
    ASSERT_EQ(a8p8->LockRect(0, &locked, nullptr, 0), D3D_OK);
    static_cast<BYTE*>(locked.pBits)[0] = 255;
    static_cast<BYTE*>(locked.pBits)[1] = 0x40;
    a8p8->UnlockRect(0);

    std::vector<Rgba> texels = Texels(p8, 0);
    ExpectTexel(texels[0], {1 / 255.f, 254 / 255.f, 7 / 255.f, k80}, 1e-6f, "index 1");
    ExpectTexel(texels[1], {1, 0, 7 / 255.f, 1}, 1e-6f, "index 255");
    ExpectTexel(Texels(a8p8, 0)[0], {1, 0, 7 / 255.f, 64 / 255.f}, 1e-6f, "alpha from the texel");

    palette[1] = {10, 20, 30, 0xFF};
    ASSERT_EQ(mDevice->SetPaletteEntries(3, palette), D3D_OK);
    ExpectTexel(Texels(p8, 0)[0], {10 / 255.f, 20 / 255.f, 30 / 255.f, 1}, 1e-6f, "after the palette changed");

    PALETTEENTRY grey[256];
    for (int i = 0; i < 256; ++i)
        grey[i] = {BYTE(i), BYTE(i), BYTE(i), 0xFF};
    ASSERT_EQ(mDevice->SetPaletteEntries(9, grey), D3D_OK);
    ASSERT_EQ(mDevice->SetCurrentTexturePalette(9), D3D_OK);
    ExpectTexel(Texels(p8, 0)[1], {1, 1, 1, 1}, 1e-6f, "another current palette");

    EXPECT_EQ(mDevice->SetCurrentTexturePalette(4), D3DERR_INVALIDCALL) << "palette never set";
    p8->Release();
    a8p8->Release();
}

TEST_F(TextureTest, PaletteAlphaNeedsTheCapability)
{
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.caps.TextureCaps &= ~D3DPTEXTURECAPS_ALPHAPALETTE;
    OpenDevice(Windowed(), {adapter});
    PALETTEENTRY palette[256] = {};
    EXPECT_EQ(mDevice->SetPaletteEntries(0, palette), D3DERR_INVALIDCALL);
    for (auto& entry : palette)
        entry.peFlags = 0xFF;
    EXPECT_EQ(mDevice->SetPaletteEntries(0, palette), D3D_OK);
}

// ---- Mip levels ---------------------------------------------------------------------------------------------------

TEST_F(TextureTest, FullChainHasEveryLevelDownToOnePixel)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(8, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 4u);
    const D3DCOLOR colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    for (UINT level = 0; level < 4; ++level)
        Fill(texture, level, colours[level]);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    ExpectTexel(Texels(texture, 2)[1], {0, 0, 1, 1}, 0, "level 2");
    ExpectTexel(Texels(texture, 3)[0], {1, 1, 1, 1}, 0, "level 3");
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(4, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DTexture9* tooMany = nullptr;
    EXPECT_EQ(mDevice->CreateTexture(8, 4, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tooMany, nullptr),
              D3DERR_INVALIDCALL);
    texture->Release();
}

TEST_F(TextureTest, AutomaticMipLevelsAreMadeFromTheTopLevel)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        mDevice->CreateTexture(4, 4, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 1u) << "only the top level is the caller's";
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                x < 2 ? 0xFFFF0000 : 0xFF0000FF;
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);

    std::vector<Rgba> level1 = Texels(texture, 1);
    ExpectTexel(level1[0], {1, 0, 0, 1}, 0.01f, "level 1 left");
    ExpectTexel(level1[1], {0, 0, 1, 1}, 0.01f, "level 1 right");
    ExpectTexel(Texels(texture, 2)[0], {0.5f, 0, 0.5f, 1}, 0.02f, "level 2");
    texture->Release();
}

TEST_F(TextureTest, WithoutAutomaticMipmapsTheTextureKeepsItsLevels)
{
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.caps.Caps2 &= ~D3DCAPS2_CANAUTOGENMIPMAP;
    OpenDevice(Windowed(), {adapter});
    EXPECT_EQ(mD3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE,
                                      D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        mDevice->CreateTexture(4, 4, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DOK_NOAUTOGEN);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    texture->Release();
}

// ---- Cube textures and surfaces -----------------------------------------------------------------------------------

TEST_F(TextureTest, CubeFacesAreSeparateImages)
{
    OpenDevice();
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(mDevice->CreateCubeTexture(4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    for (UINT face = 0; face < 6; ++face)
    {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(face), 0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = face * 40;
        ASSERT_EQ(cube->UnlockRect(D3DCUBEMAP_FACES(face), 0), D3D_OK);
    }
    for (UINT face = 0; face < 6; ++face)
        ExpectTexel(Texels(cube, 0, face)[15], {0, 0, face * 40 / 255.f, 1}, 1e-6f, "face");
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &surface), D3D_OK);
    EXPECT_EQ(d3d9test::RefCount(cube), 2u);
    surface->Release();
    EXPECT_EQ(cube->Release(), 0u);
}

TEST_F(TextureTest, LevelSurfacesKeepTheirTextureAlive)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
    EXPECT_EQ(texture->Release(), 1u);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    static_cast<DWORD*>(locked.pBits)[0] = 0xFF00FF00;
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
    ExpectTexel(Texels(texture, 0)[0], {0, 1, 0, 1}, 0, "written through the surface");
    EXPECT_EQ(surface->Release(), 0u);
}

// ---- Creation and lock rules --------------------------------------------------------------------------------------

struct CreationCase
{
    const char* name;
    UINT width, height, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    DWORD textureCaps; ///< added to the default caps
    HRESULT expected;
};

class TextureCreation : public TextureTest, public ::testing::WithParamInterface<CreationCase>
{
};

TEST_P(TextureCreation, FollowsThePlatformsRules)
{
    const CreationCase& param = GetParam();
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.caps.TextureCaps |= param.textureCaps;
    adapter.caps.MaxTextureWidth = 1024;
    OpenDevice(Windowed(), {adapter});
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(mDevice->CreateTexture(param.width, param.height, param.levels, param.usage, param.format, param.pool,
                                     &texture, nullptr),
              param.expected)
        << param.name;
    EXPECT_EQ(texture != nullptr, SUCCEEDED(param.expected));
    if (texture)
        texture->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TextureCreation,
    ::testing::Values(
        CreationCase{"render target in managed pool", 8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                     0, D3DERR_INVALIDCALL},
        CreationCase{"dynamic in managed pool", 8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0,
                     D3DERR_INVALIDCALL},
        CreationCase{"compressed size not on blocks", 6, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, 0, D3DERR_INVALIDCALL},
        CreationCase{"wider than the maximum", 2048, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0, D3DERR_INVALIDCALL},
        CreationCase{"zero size", 0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0, D3DERR_INVALIDCALL},
        CreationCase{"power of two required", 300, 200, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DPTEXTURECAPS_POW2,
                     D3DERR_INVALIDCALL},
        CreationCase{"conditional non-power of two, one level", 300, 200, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                     D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3D_OK},
        CreationCase{"conditional non-power of two, mip levels", 300, 200, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                     D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, D3DERR_INVALIDCALL},
        CreationCase{"square only", 256, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DPTEXTURECAPS_SQUAREONLY,
                     D3DERR_INVALIDCALL},
        CreationCase{"depth format without depth usage", 8, 8, 1, 0, D3DFMT_D24S8, D3DPOOL_DEFAULT, 0,
                     D3DERR_INVALIDCALL},
        CreationCase{"depth texture", 8, 8, 1, D3DUSAGE_DEPTHSTENCIL, D3DFMT_D24S8, D3DPOOL_DEFAULT, 0, D3D_OK},
        CreationCase{"automatic mipmaps with levels", 8, 8, 2, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                     0, D3DERR_INVALIDCALL},
        CreationCase{"system memory", 8, 8, 1, 0, D3DFMT_L8, D3DPOOL_SYSTEMMEM, 0, D3D_OK}));

TEST_F(TextureTest, LocksFollowThePoolAndTheRectangle)
{
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.pitchPadding = 8;
    OpenDevice(Windowed(), {adapter});
    IDirect3DTexture9 *plain = nullptr, *dynamic = nullptr, *managed = nullptr, *dxt = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &plain, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &dynamic, nullptr),
              D3D_OK);
    ASSERT_EQ(mDevice->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(plain->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "video memory without DYNAMIC";
    EXPECT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(managed->UnlockRect(0), D3DERR_INVALIDCALL) << "not locked";

    Fill(managed, 0, 0xFF000000);
    RECT rect{2, 3, 5, 4};
    ASSERT_EQ(managed->LockRect(0, &locked, &rect, 0), D3D_OK);
    EXPECT_EQ(managed->LockRect(0, &locked, &rect, 0), D3DERR_INVALIDCALL) << "already locked";
    static_cast<DWORD*>(locked.pBits)[0] = 0xFFFFFFFF;
    static_cast<DWORD*>(locked.pBits)[2] = 0xFFFFFFFF;
    ASSERT_EQ(managed->UnlockRect(0), D3D_OK);
    std::vector<Rgba> texels = Texels(managed, 0);
    ExpectTexel(texels[3 * 8 + 2], {1, 1, 1, 1}, 0, "rectangle start");
    ExpectTexel(texels[3 * 8 + 4], {1, 1, 1, 1}, 0, "rectangle end");
    ExpectTexel(texels[3 * 8 + 5], {0, 0, 0, 1}, 0, "outside");
    RECT outside{6, 6, 9, 8};
    EXPECT_EQ(managed->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
    RECT offBlock{2, 0, 4, 4};
    EXPECT_EQ(dxt->LockRect(0, &locked, &offBlock, 0), D3DERR_INVALIDCALL) << "compressed locks keep to blocks";

    Fill(dynamic, 0, 0xFF123456);
    ASSERT_EQ(dynamic->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + locked.Pitch)[1], 0xFF123456u);
    dynamic->UnlockRect(0);
    ExpectTexel(Texels(dynamic, 0)[63], {0x12 / 255.f, 0x34 / 255.f, 0x56 / 255.f, 1}, 1e-6f, "dynamic");

    for (auto* texture : {plain, dynamic, managed, dxt})
        texture->Release();
}

} // namespace
