// Tests of native textures on the Direct3D 9 driver: textures written in the device's own
// layout and read back level by level (full chains, compressed levels, cube faces and
// palettes), the chunk's size, level-0-only storage of levels the device makes, refusals,
// byte counts larger than the level, and mutated chunks.
#include "d3d9driverfixture.h"
#include "d3d9nativetexture.h"

#include "byteorder.h"
#include "chunk.h"
#include "memory.h"
#include "stream.h"
#include "texture.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace d3d9driver
{
namespace
{

using D3D9NativeTextures = DriverTest;

int32_t CallSlot(int32_t slot, void* out, void* in)
{
    return Engine::Current()->standardFunctions[slot](out, in, 0);
}

/// The chunk the device writes for the texture, through the device table; empty when the
/// write fails.
std::vector<uint8_t> WriteNative(Texture* texture)
{
    Stream* stream = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    int32_t written = CallSlot(kStdNativeTextureWrite, stream, texture);
    MemoryBlock block = {};
    Stream::Close(stream, &block);
    std::vector<uint8_t> bytes;
    if (written)
        bytes.assign(block.start, block.start + block.length);
    if (block.start)
        Memory::Free(block.start);
    return bytes;
}

Texture* ReadNative(std::vector<uint8_t>& bytes)
{
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    Texture* texture = nullptr;
    int32_t read = CallSlot(kStdNativeTextureRead, stream, &texture);
    Stream::Close(stream, nullptr);
    EXPECT_EQ(read != 0, texture != nullptr);
    return read ? texture : nullptr;
}

int32_t NativeSize(Texture* texture)
{
    int32_t size = -1;
    EXPECT_EQ(CallSlot(kStdNativeTextureGetSize, &size, texture), 1);
    return size;
}

Texture* MakeTexture(Raster* raster, const char* name = "brick", const char* mask = "brickm")
{
    Texture* texture = Texture::Create(raster);
    EXPECT_NE(texture, nullptr);
    Texture::SetName(texture, name);
    Texture::SetMaskName(texture, mask);
    return texture;
}

bool IsCube(Raster* raster)
{
    return D3D9Raster::GetFormatBits(raster) != 0;
}

void SetFace(Raster* raster, int32_t face)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    ext->cube = uint8_t((ext->cube & 0x0F) | face << 4);
}

/// Bytes of the locked level: pitch times rows (rows of blocks for compressed formats, a
/// partial one counted whole).
size_t LockedBytes(Raster* raster)
{
    size_t rows = size_t(raster->height);
    if (D3D9Raster::IsCompressed(raster))
        rows = (rows + 3) / 4;
    return size_t(raster->stride) * rows;
}

/// Every level of every face, in stored order, as the raster holds them.
std::vector<std::vector<uint8_t>> Levels(Raster* raster, int32_t levels)
{
    std::vector<std::vector<uint8_t>> out;
    for (int32_t face = 0; face < (IsCube(raster) ? 6 : 1); ++face)
    {
        SetFace(raster, face);
        for (int32_t level = 0; level < levels; ++level)
        {
            uint8_t* pixels = Raster::Lock(raster, uint8_t(level), kRasterLockRead);
            EXPECT_NE(pixels, nullptr) << "face " << face << " level " << level;
            if (!pixels)
                return out;
            out.emplace_back(pixels, pixels + LockedBytes(raster));
            Raster::Unlock(raster);
        }
    }
    SetFace(raster, 0);
    return out;
}

/// Fills every level of every face with bytes that differ by face, level and position.
void FillLevels(Raster* raster, int32_t levels, uint32_t seed)
{
    for (int32_t face = 0; face < (IsCube(raster) ? 6 : 1); ++face)
    {
        SetFace(raster, face);
        for (int32_t level = 0; level < levels; ++level)
        {
            uint8_t* pixels = Raster::Lock(raster, uint8_t(level), kRasterLockWrite);
            ASSERT_NE(pixels, nullptr);
            size_t bytes = LockedBytes(raster);
            for (size_t i = 0; i < bytes; ++i)
                pixels[i] = uint8_t(i * 7 + size_t(level) * 31 + size_t(face) * 57 + seed);
            Raster::Unlock(raster);
        }
    }
    SetFace(raster, 0);
}

/// The byte count of each stored level, walking the chunk from its first count.
std::vector<uint32_t> StoredCounts(const std::vector<uint8_t>& bytes, size_t first)
{
    std::vector<uint32_t> counts;
    for (size_t at = first; at + 4 <= bytes.size();)
    {
        uint32_t count = ByteOrder::Load32(bytes.data() + at);
        counts.push_back(count);
        at += 4 + size_t(count);
    }
    return counts;
}

/// A cube raster made by hand in a Direct3D format (the driver makes cube rasters only
/// from native chunks).
Raster* MakeCube(IDirect3DDevice9* device, int32_t edge, D3DFORMAT format, uint32_t rasterFormat, UINT levels)
{
    Raster* cube = Raster::Create(edge, edge, 0, kRasterTypeTexture | rasterFormat | kRasterDontAllocate);
    EXPECT_NE(cube, nullptr);
    IDirect3DCubeTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateCubeTexture(UINT(edge), levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3D9RasterExtension* ext = D3D9Raster::Extension(cube);
    ext->object = texture;
    ext->format = format;
    ext->cube = 1;
    if (format == D3DFMT_DXT1)
        ext->mipmapState = 0x10;
    cube->flags &= uint8_t(~kRasterDontAllocate);
    return cube;
}

// ---- Round trips ----------------------------------------------------------------------------------------

TEST_F(D3D9NativeTextures, AFullChainOf8888LevelsRoundTripsWithItsPitch)
{
    // Padded rows show that the stored counts are the lock's pitch times the rows.
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.pitchPadding = 8;
    Start({adapter});
    Raster* raster = Raster::Create(64, 64, 0, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(Raster::GetNumLevels(raster), 7);
    FillLevels(raster, 7, 1);
    Texture* texture = MakeTexture(raster);
    texture->filterAddressing = 0xABCD2306; // filter 6, U 3, V 2, and upper bits the chunk leaves out

    int32_t expected = 100;
    for (int32_t size = 64; size >= 1; size /= 2)
        expected += 4 + (size * 4 + 8) * size;
    EXPECT_EQ(NativeSize(texture), expected);
    std::vector<uint8_t> bytes = WriteNative(texture);
    ASSERT_EQ(bytes.size(), size_t(expected));

    // The struct header, part A and part B.
    EXPECT_EQ(ByteOrder::Load32(&bytes[0]), kChunkStruct);
    EXPECT_EQ(ByteOrder::Load32(&bytes[4]), uint32_t(expected - 12));
    EXPECT_EQ(ByteOrder::Load32(&bytes[8]), LibraryStamp::Encode(0x36003, 0xFFFF));
    EXPECT_EQ(ByteOrder::Load32(&bytes[12]), 9u);
    EXPECT_EQ(ByteOrder::Load32(&bytes[16]), 0x2306u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&bytes[20]), "brick");
    EXPECT_STREQ(reinterpret_cast<const char*>(&bytes[52]), "brickm");
    EXPECT_EQ(ByteOrder::Load32(&bytes[84]), kRasterFormat8888 | kRasterFormatMipmap);
    EXPECT_EQ(ByteOrder::Load32(&bytes[88]), uint32_t(D3DFMT_A8R8G8B8));
    EXPECT_EQ(ByteOrder::Load16(&bytes[92]), 64);
    EXPECT_EQ(ByteOrder::Load16(&bytes[94]), 64);
    EXPECT_EQ(bytes[96], 32);
    EXPECT_EQ(bytes[97], 7);
    EXPECT_EQ(bytes[98], kRasterTypeTexture);
    EXPECT_EQ(bytes[99], D3D9NativeTexture::kFlagAlpha);
    EXPECT_EQ(StoredCounts(bytes, 100),
              (std::vector<uint32_t>{264 * 64, 136 * 32, 72 * 16, 40 * 8, 24 * 4, 16 * 2, 12 * 1}));

    Texture* back = ReadNative(bytes);
    ASSERT_NE(back, nullptr);
    Raster* copy = back->raster;
    EXPECT_EQ(Raster::FormatFlags(copy), kRasterFormat8888 | kRasterFormatMipmap);
    EXPECT_EQ(D3D9Raster::Extension(copy)->format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(copy->width, 64);
    EXPECT_EQ(copy->height, 64);
    EXPECT_EQ(copy->depth, 32);
    EXPECT_EQ(Raster::GetNumLevels(copy), 7);
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(copy), 1);
    EXPECT_EQ(Levels(copy, 7), Levels(raster, 7));
    for (UINT level : {0u, 3u, 6u})
    {
        // What the device samples, not only what the locks hand back.
        std::vector<float> stored, loaded;
        UINT width = 0, height = 0;
        auto object = [](Raster* r) { return static_cast<IDirect3DBaseTexture9*>(D3D9Raster::Extension(r)->object); };
        ASSERT_TRUE(d3d9test::ReadTexels(object(raster), 0, level, stored, &width, &height));
        ASSERT_TRUE(d3d9test::ReadTexels(object(copy), 0, level, loaded, &width, &height));
        EXPECT_EQ(loaded, stored) << "level " << level;
    }
    EXPECT_STREQ(back->name, "brick");
    EXPECT_STREQ(back->maskName, "brickm");
    EXPECT_EQ(back->filterAddressing, 0x2306u) << "the stored word over the new texture's upper bits";
    EXPECT_EQ(back->refCount, 1);
    EXPECT_EQ(back->dictionary, nullptr);
    Texture::Destroy(back);
    Texture::Destroy(texture);
}

TEST_F(D3D9NativeTextures, CompressedLevelsStoreRowsOfBlocks)
{
    Start();
    struct Case
    {
        int32_t size;
        uint32_t flags;
        int32_t levels;
        std::vector<uint32_t> counts; ///< pitch x rows of blocks, at least one row
    };
    const Case cases[] = {
        {128, kRasterTypeTexture, 1, {256 * 32}},
        {16, kRasterTypeTexture | kRasterFormatMipmap, 5, {32 * 4, 16 * 2, 8, 8, 8}},
        // Level 2 is 6 x 6: its second row of blocks is half used, and stored all the same.
        {24, kRasterTypeTexture | kRasterFormatMipmap, 5, {48 * 6, 24 * 3, 16 * 2, 8, 8}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.size);
        Raster* raster = D3D9Raster::CreateFromD3DFormat(c.size, c.size, D3DFMT_DXT1, c.flags);
        ASSERT_NE(raster, nullptr);
        ASSERT_EQ(Raster::GetNumLevels(raster), c.levels);
        FillLevels(raster, c.levels, 3);
        Texture* texture = MakeTexture(raster);
        std::vector<uint8_t> bytes = WriteNative(texture);
        EXPECT_EQ(int32_t(bytes.size()), NativeSize(texture));
        ASSERT_GE(bytes.size(), 100u);
        EXPECT_EQ(ByteOrder::Load32(&bytes[84]), kRasterFormat565 | (c.flags & kRasterFormatMipmap));
        EXPECT_EQ(ByteOrder::Load32(&bytes[88]), uint32_t(D3DFMT_DXT1));
        EXPECT_EQ(bytes[96], 16);
        EXPECT_EQ(bytes[99], D3D9NativeTexture::kFlagCompressed);
        EXPECT_EQ(StoredCounts(bytes, 100), c.counts);

        Texture* back = ReadNative(bytes);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(D3D9Raster::IsCompressed(back->raster));
        EXPECT_EQ(D3D9Raster::Extension(back->raster)->format, D3DFMT_DXT1);
        EXPECT_EQ(D3D9Raster::GetAlphaFlag(back->raster), 0);
        EXPECT_EQ(Raster::GetNumLevels(back->raster), c.levels);
        EXPECT_EQ(Levels(back->raster, c.levels), Levels(raster, c.levels));
        Texture::Destroy(back);
        Texture::Destroy(texture);
    }
}

TEST_F(D3D9NativeTextures, AFormatWithoutAnEngineFormatIsMadeByItsDirect3DFormat)
{
    Start();
    Raster* raster = D3D9Raster::CreateFromD3DFormat(8, 8, D3DFMT_A8L8, kRasterTypeTexture | kRasterFormatMipmap);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(Raster::FormatFlags(raster), kRasterFormatMipmap);
    FillLevels(raster, 4, 7);
    Texture* texture = MakeTexture(raster);
    std::vector<uint8_t> bytes = WriteNative(texture);
    EXPECT_EQ(bytes.size(), size_t(100 + (4 + 128) + (4 + 32) + (4 + 8) + (4 + 2)));

    Texture* back = ReadNative(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(D3D9Raster::Extension(back->raster)->format, D3DFMT_A8L8);
    EXPECT_EQ(back->raster->depth, 16);
    EXPECT_EQ(Levels(back->raster, 4), Levels(raster, 4));
    Texture::Destroy(back);
    Texture::Destroy(texture);
}

TEST_F(D3D9NativeTextures, CubeTexturesStoreSixFacesInFaceOrder)
{
    Start();
    struct Case
    {
        D3DFORMAT format;
        uint32_t rasterFormat;
        UINT levels;
        uint8_t flags;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, kRasterFormat8888 | kRasterFormatMipmap, 5,
         D3D9NativeTexture::kFlagCube | D3D9NativeTexture::kFlagAlpha},
        {D3DFMT_DXT1, kRasterFormat565, 1, D3D9NativeTexture::kFlagCube | D3D9NativeTexture::kFlagCompressed},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.levels);
        Raster* cube = MakeCube(Device(), 16, c.format, c.rasterFormat, c.levels);
        D3D9RasterExtension* ext = D3D9Raster::Extension(cube);
        ext->alpha = c.format == D3DFMT_A8R8G8B8;
        int32_t levels = int32_t(c.levels);
        ASSERT_EQ(Raster::GetNumLevels(cube), levels);
        FillLevels(cube, levels, 5);
        Texture* texture = MakeTexture(cube);
        SetFace(cube, 3);
        std::vector<uint8_t> bytes = WriteNative(texture);
        EXPECT_EQ(ext->cube, uint8_t(1 | 3 << 4)) << "the caller's face is left as it was";
        EXPECT_EQ(int32_t(bytes.size()), NativeSize(texture));
        ASSERT_GE(bytes.size(), 100u);
        EXPECT_EQ(bytes[99], c.flags);
        std::vector<uint32_t> counts = StoredCounts(bytes, 100);
        ASSERT_EQ(counts.size(), size_t(6 * levels));
        // Face f's level 0 starts with byte f * 57 + 5 of the fill.
        size_t at = 100;
        for (int32_t face = 0; face < 6; ++face)
            for (int32_t level = 0; level < levels; ++level)
            {
                if (level == 0)
                {
                    EXPECT_EQ(bytes[at + 4], uint8_t(face * 57 + 5)) << "face " << face;
                }
                at += 4 + counts[size_t(face * levels + level)];
            }

        Texture* back = ReadNative(bytes);
        ASSERT_NE(back, nullptr);
        D3D9RasterExtension* copy = D3D9Raster::Extension(back->raster);
        EXPECT_EQ(copy->cube, 1) << "a cube, addressing face 0";
        EXPECT_EQ(copy->object->GetType(), D3DRTYPE_CUBETEXTURE);
        EXPECT_EQ(D3D9Raster::IsCompressed(back->raster), c.format == D3DFMT_DXT1);
        EXPECT_EQ(Levels(back->raster, levels), Levels(cube, levels));
        Texture::Destroy(back);
        Texture::Destroy(texture);
    }
}

TEST_F(D3D9NativeTextures, PalettisedTexturesCarryTheirPalette)
{
    Start();
    Raster* raster =
        Raster::Create(16, 16, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888 | kRasterFormatMipmap);
    ASSERT_NE(raster, nullptr);
    FillLevels(raster, 5, 9);
    uint8_t* palette = Raster::LockPalette(raster, kRasterLockWrite);
    ASSERT_NE(palette, nullptr);
    for (int32_t i = 0; i < 1024; ++i)
        palette[i] = uint8_t(255 - i);
    Raster::UnlockPalette(raster);
    Texture* texture = MakeTexture(raster);

    int32_t expected = 100 + 1024;
    for (int32_t size = 16; size >= 1; size /= 2)
        expected += 4 + size * size;
    EXPECT_EQ(NativeSize(texture), expected);
    std::vector<uint8_t> bytes = WriteNative(texture);
    ASSERT_EQ(bytes.size(), size_t(expected));
    EXPECT_EQ(ByteOrder::Load32(&bytes[88]), uint32_t(D3DFMT_P8));
    EXPECT_EQ(bytes[100], 255);
    EXPECT_EQ(bytes[100 + 1023], 0);

    Texture* back = ReadNative(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 2);
    EXPECT_EQ(Raster::FormatFlags(back->raster), kRasterFormatPal8 | kRasterFormat888 | kRasterFormatMipmap);
    EXPECT_EQ(back->raster->depth, 8);
    EXPECT_EQ(Levels(back->raster, 5), Levels(raster, 5));
    uint8_t* read = Raster::LockPalette(back->raster, kRasterLockRead);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(read, read + 1024), std::vector<uint8_t>(&bytes[100], &bytes[100] + 1024));
    Raster::UnlockPalette(back->raster);
    Texture::Destroy(back);
    Texture::Destroy(texture);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
}

TEST_F(D3D9NativeTextures, ATextureWithoutARasterMeasures84AndIsNotWritten)
{
    Start();
    Texture* texture = Texture::Create(nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(NativeSize(texture), 84);
    EXPECT_TRUE(WriteNative(texture).empty()) << "no chunk that no reader could make a texture of";
    Texture::Destroy(texture);
}

TEST_F(D3D9NativeTextures, LevelsTheDeviceMakesAreStoredAsLevelZeroAndNeedSuchADevice)
{
    Start();
    uint32_t flags = kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap | kRasterFormatAutoMipmap;
    Raster* raster = Raster::Create(32, 32, 0, flags);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(D3D9Raster::Extension(raster)->mipmapState & 0x0F, 1) << "the device makes the levels";
    FillLevels(raster, 1, 2);
    Texture* texture = MakeTexture(raster);
    std::vector<uint8_t> bytes = WriteNative(texture);
    EXPECT_EQ(bytes.size(), size_t(100 + 4 + 32 * 32 * 4));
    EXPECT_EQ(int32_t(bytes.size()), NativeSize(texture));
    EXPECT_EQ(bytes[99], D3D9NativeTexture::kFlagAlpha | D3D9NativeTexture::kFlagAutoMipmap);

    Texture* back = ReadNative(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(D3D9Raster::Extension(back->raster)->mipmapState & 0x0F, 1);
    EXPECT_EQ(Raster::FormatFlags(back->raster), flags & kRasterFormatMask) << "the flag is restored after loading";
    EXPECT_EQ(Levels(back->raster, 1), Levels(raster, 1));
    Texture::Destroy(back);
    Texture::Destroy(texture);
    ShutDown();

    d3d9test::AdapterConfig adapter = Adapter();
    adapter.caps.Caps2 &= ~DWORD(D3DCAPS2_CANAUTOGENMIPMAP);
    Start({adapter});
    EXPECT_EQ(ReadNative(bytes), nullptr) << "only level 0 was stored";
}

// ---- Refusals -----------------------------------------------------------------------------------------

/// A one-level 4 x 4 8888 texture's chunk.
std::vector<uint8_t> SmallChunk(uint32_t extraFormat = 0)
{
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture | kRasterFormat8888 | extraFormat);
    EXPECT_NE(raster, nullptr);
    FillLevels(raster, Raster::GetNumLevels(raster), 4);
    Texture* texture = MakeTexture(raster);
    std::vector<uint8_t> bytes = WriteNative(texture);
    Texture::Destroy(texture);
    return bytes;
}

TEST_F(D3D9NativeTextures, ChunksOfOtherPlatformsVersionsAndShapesAreRefused)
{
    Start();
    std::vector<uint8_t> good = SmallChunk();
    ASSERT_EQ(good.size(), size_t(100 + 4 + 64));
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
        int32_t error; ///< 0: nothing recorded
    };
    const Case cases[] = {
        {"platform 8", 12, 8, 0},
        {"version before the oldest readable", 8, LibraryStamp::Encode(0x33FFF, 0xFFFF), kErrBadVersion},
        {"a z-buffer", 98, kRasterTypeZBuffer, 0},
        {"a camera", 98, kRasterTypeCamera, 0},
        {"no levels", 97, 0, 0},
        {"a body shorter than part B", 4, 80, kErrStreamRead},
        {"a body shorter than the level", 4, 88 + 4 + 63, kErrStreamRead},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        if (c.at == 97 || c.at == 98)
            bytes[c.at] = uint8_t(c.value);
        else
            ByteOrder::Store32(&bytes[c.at], c.value);
        TakeError();
        EXPECT_EQ(ReadNative(bytes), nullptr);
        EXPECT_EQ(TakeError(), c.error == 0 ? kErrNone : c.error);
    }
    for (size_t length : {size_t(0), size_t(12), size_t(50), size_t(99), size_t(103), good.size() - 1})
    {
        std::vector<uint8_t> bytes(good.begin(), good.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(ReadNative(bytes), nullptr) << "cut at " << length;
    }
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
}

TEST_F(D3D9NativeTextures, AByteCountLargerThanTheLevelIsRefused)
{
    Start();
    // A palettised texture shows by its palette number that the refused raster is gone.
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_NE(raster, nullptr);
    FillLevels(raster, 1, 6);
    Texture* texture = MakeTexture(raster);
    std::vector<uint8_t> good = WriteNative(texture);
    Texture::Destroy(texture);
    ASSERT_EQ(good.size(), size_t(100 + 1024 + 4 + 16));

    // One byte more than the level holds, with the chunk grown to carry it: only the
    // level's size stands in the way.
    std::vector<uint8_t> bytes = good;
    bytes.push_back(0xEE);
    ByteOrder::Store32(&bytes[4], ByteOrder::Load32(&bytes[4]) + 1);
    ByteOrder::Store32(&bytes[1124], 17);
    TakeError();
    EXPECT_EQ(ReadNative(bytes), nullptr);
    EXPECT_EQ(TakeError(), kErrStreamRead);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);

    Texture* back = ReadNative(good);
    ASSERT_NE(back, nullptr);
    Texture::Destroy(back);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
}

TEST_F(D3D9NativeTextures, EachLevelIsWrittenInOneCall)
{
    Start();
    // A memory stream grows by a fixed step per write: levels written in pieces would make a large texture
    // quadratic to write. A custom stream shows the writes as the device makes them.
    Raster* raster = Raster::Create(256, 256, 0, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap);
    ASSERT_NE(raster, nullptr);
    const int32_t levels = Raster::GetNumLevels(raster);
    FillLevels(raster, levels, 9);
    Texture* texture = MakeTexture(raster);
    std::vector<uint32_t> writes;
    StreamCallbacks callbacks{};
    callbacks.write = [](void* data, const void*, uint32_t length) -> int32_t {
        static_cast<std::vector<uint32_t>*>(data)->push_back(length);
        return 1;
    };
    callbacks.data = &writes;
    Stream* stream = Stream::Open(kStreamCustom, kStreamWrite, &callbacks);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(CallSlot(kStdNativeTextureWrite, stream, texture), 1);
    Stream::Close(stream, nullptr);
    Texture::Destroy(texture);
    // Levels larger than the header's fields, each one write of its whole size.
    for (int32_t level = 0; level < levels - 2; ++level)
    {
        const uint32_t side = uint32_t(256 >> level);
        EXPECT_EQ(std::count(writes.begin(), writes.end(), side * side * 4), 1) << "level " << level;
    }
    EXPECT_LE(writes.size(), size_t(40 + 2 * levels)) << "header fields, then a count and the pixels per level";
}

TEST_F(D3D9NativeTextures, ShapesWhosePixelsWouldNotFitTheirLevelsAreRefused)
{
    Start();
    // Chunks as the writer makes them, then part B altered: width 92, height 94, flags 99.
    auto chunkOf = [&](Raster* raster) {
        Texture* texture = MakeTexture(raster);
        std::vector<uint8_t> bytes = WriteNative(texture);
        Texture::Destroy(texture);
        return bytes;
    };
    std::vector<uint8_t> cube8888 = chunkOf(MakeCube(Device(), 4, D3DFMT_A8R8G8B8, kRasterFormat8888, 1));
    std::vector<uint8_t> cubeDxt = chunkOf(MakeCube(Device(), 8, D3DFMT_DXT1, kRasterFormat565, 1));
    Raster* flat = D3D9Raster::CreateFromD3DFormat(8, 8, D3DFMT_DXT1, kRasterTypeTexture);
    ASSERT_NE(flat, nullptr);
    FillLevels(flat, 1, 2);
    std::vector<uint8_t> flatDxt = chunkOf(flat);
    std::vector<uint8_t> small = SmallChunk();
    for (std::vector<uint8_t>* good : {&cube8888, &cubeDxt, &flatDxt})
    {
        Texture* back = ReadNative(*good);
        ASSERT_NE(back, nullptr) << "as written, each is read";
        Texture::Destroy(back);
    }

    struct Case
    {
        const char* what;
        const std::vector<uint8_t>* chunk;
        size_t at;
        uint8_t value;
    };
    const Case cases[] = {
        {"a cube taller than wide", &cube8888, 94, 16},
        {"a cube wider than tall", &cube8888, 92, 16},
        {"a compressed cube without its flag", &cubeDxt, 99, D3D9NativeTexture::kFlagCube},
        {"a compressed texture without its flag", &flatDxt, 99, 0},
        {"an 8888 texture flagged compressed", &small, 99, D3D9NativeTexture::kFlagCompressed},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = *c.chunk;
        bytes[c.at] = c.value;
        TakeError();
        Texture* back = ReadNative(bytes);
        EXPECT_EQ(back, nullptr);
        if (back)
            Texture::Destroy(back);
        EXPECT_EQ(TakeError(), kErrStreamRead);
    }
}

TEST_F(D3D9NativeTextures, CubeLevelsNeedADeviceThatFiltersBetweenThem)
{
    Start();
    std::vector<uint8_t> chained, single;
    for (UINT levels : {3u, 1u})
    {
        Raster* cube = MakeCube(Device(), 4, D3DFMT_A8R8G8B8, kRasterFormat8888 | kRasterFormatMipmap, levels);
        FillLevels(cube, int32_t(levels), 8);
        Texture* texture = MakeTexture(cube);
        (levels == 3 ? chained : single) = WriteNative(texture);
        Texture::Destroy(texture);
    }
    ShutDown();

    d3d9test::AdapterConfig adapter = Adapter();
    adapter.caps.CubeTextureFilterCaps &= ~DWORD(D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR);
    Start({adapter});
    EXPECT_EQ(ReadNative(chained), nullptr);
    Texture* back = ReadNative(single);
    ASSERT_NE(back, nullptr);
    Texture::Destroy(back);
}

// ---- Mutated chunks -------------------------------------------------------------------------------------

TEST_F(D3D9NativeTextures, MutatedChunksAreRefusedOrReadWithoutHarm)
{
    Start();
    std::vector<std::vector<uint8_t>> chunks;
    chunks.push_back(SmallChunk(kRasterFormatMipmap));
    {
        Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
        FillLevels(raster, 1, 1);
        Texture* texture = MakeTexture(raster);
        chunks.push_back(WriteNative(texture));
        Texture::Destroy(texture);
    }
    {
        Raster* raster = D3D9Raster::CreateFromD3DFormat(8, 8, D3DFMT_DXT1, kRasterTypeTexture | kRasterFormatMipmap);
        FillLevels(raster, 4, 2);
        Texture* texture = MakeTexture(raster);
        chunks.push_back(WriteNative(texture));
        Texture::Destroy(texture);
    }
    {
        Raster* cube = MakeCube(Device(), 4, D3DFMT_A8R8G8B8, kRasterFormat8888 | kRasterFormatMipmap, 3);
        FillLevels(cube, 3, 3);
        Texture* texture = MakeTexture(cube);
        chunks.push_back(WriteNative(texture));
        Texture::Destroy(texture);
    }
    int32_t read = 0, mutations = 0;
    for (const std::vector<uint8_t>& good : chunks)
    {
        ASSERT_FALSE(good.empty());
        // Every byte of the header and the descriptions, every byte count, and a spread of
        // the palette and pixel bytes.
        std::vector<size_t> positions;
        for (size_t at = 0; at < good.size(); ++at)
            if (at < 100 || at % 37 == 0)
                positions.push_back(at);
        size_t first = (ByteOrder::Load32(&good[84]) & kRasterFormatPal8) ? 1124 : 100;
        for (size_t at = first; at + 4 <= good.size(); at += 4 + ByteOrder::Load32(&good[at]))
            for (size_t i = 0; i < 4; ++i)
                positions.push_back(at + i);
        for (size_t at : positions)
            for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80), uint8_t(good[at] + 1)})
            {
                std::vector<uint8_t> bytes = good;
                bytes[at] = value;
                ++mutations;
                if (Texture* texture = ReadNative(bytes))
                {
                    ++read;
                    Texture::Destroy(texture);
                }
                TakeError();
            }
    }
    EXPECT_GT(read, 0);
    EXPECT_LT(read, mutations);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
}

} // namespace
} // namespace d3d9driver
