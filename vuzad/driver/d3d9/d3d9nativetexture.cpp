// Native textures of the Direct3D 9 driver: the struct chunk of one texture in the device's
// own layout (names and words, the raster's description, the palette, then every face's
// levels as byte counts and bytes), its size, its writer and its reader.
#include "d3d9nativetexture.h"

#include "d3d9driver_local.h"
#include "d3d9raster.h"
#include "d3d9raster_local.h"

#include "byteorder.h"
#include "chunk.h"
#include "error.h"
#include "stream.h"
#include "texture.h"

#include <algorithm>
#include <cstring>

using namespace d3d9raster;

namespace
{

constexpr uint32_t kPartASize = 72;
constexpr uint32_t kPartBSize = 16;
constexpr uint32_t kMipmapFlags = kRasterFormatMipmap | kRasterFormatAutoMipmap;
constexpr uint32_t kPal4Bytes = 128;
constexpr uint32_t kPal8Bytes = 1024;
constexpr int32_t kCubeFaces = 6;

/// The raster's description as the chunk stores it.
struct RasterDescription
{
    uint32_t rasterFormat; ///< the format byte shifted left by 8
    uint32_t d3dFormat;
    uint16_t width;
    uint16_t height;
    uint8_t depth;
    uint8_t levels;
    uint8_t type;
    uint8_t flags;
};

uint32_t PaletteBytes(uint32_t rasterFormat)
{
    if (rasterFormat & kRasterFormatPal4)
        return kPal4Bytes;
    if (rasterFormat & kRasterFormatPal8)
        return kPal8Bytes;
    return 0;
}

bool IsCube(D3D9RasterExtension* ext)
{
    return (ext->cube & 0x0F) != 0;
}

bool DeviceMakesLevels(D3D9RasterExtension* ext)
{
    return (ext->mipmapState & 0x0F) != 0;
}

/// Lock, clear and render address the face in the extension's high four bits.
void SetFace(D3D9RasterExtension* ext, int32_t face)
{
    ext->cube = uint8_t((ext->cube & 0x0F) | (face << 4));
}

/// The bytes of a locked level as the device lays it out: the pitch times the rows, which
/// for a compressed format are rows of 4 x 4 blocks. A partial block row is a whole row of
/// the lock, so it is counted whole (otherwise its pixels would not be stored).
bool IsBlockFormat(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

/// The bytes of the locked level, from the surface the lock holds: what a file says of the
/// raster's height or compression never sets how far a read may write. 0 when unknown.
uint64_t LockedLevelBytes(Raster* raster)
{
    IDirect3DSurface9* surface = D3D9Raster::Extension(raster)->lockedSurface;
    D3DSURFACE_DESC desc{};
    if (!surface || FAILED(surface->GetDesc(&desc)))
        return 0;
    uint64_t rows = desc.Height;
    if (IsBlockFormat(desc.Format))
        rows = std::max<uint64_t>(1, (rows + 3) / 4);
    return uint64_t(std::max(raster->stride, 0)) * rows;
}

/// Levels kept in the chunk for each face: level 0 alone when the device makes the others.
int32_t StoredLevels(D3D9RasterExtension* ext)
{
    if (!ext->object)
        return 0;
    if (DeviceMakesLevels(ext))
        return 1;
    return int32_t(static_cast<IDirect3DBaseTexture9*>(ext->object)->GetLevelCount());
}

/// The byte count of one level of the current face, or -1 when it cannot be locked.
int64_t MeasureLevel(Raster* raster, int32_t level)
{
    if (!Raster::Lock(raster, uint8_t(level), kRasterLockRead))
        return -1;
    int64_t bytes = int64_t(LockedLevelBytes(raster));
    Raster::Unlock(raster);
    return bytes;
}

bool WriteName(Stream* stream, const char* name)
{
    char field[kTextureNameSize] = {};
    std::memcpy(field, name, strnlen(name, kTextureNameSize - 1));
    return Stream::Write(stream, field, kTextureNameSize) != nullptr;
}

// One call per level: a memory stream grows by a fixed step per write, so pieces would make
// writing a large level quadratic.
bool WriteBytes(Stream* stream, const uint8_t* bytes, uint64_t count)
{
    return count <= UINT32_MAX && (count == 0 || Stream::Write(stream, bytes, uint32_t(count)));
}

bool WritePartB(Stream* stream, Raster* raster, D3D9RasterExtension* ext)
{
    uint8_t b[kPartBSize];
    ByteOrder::Store32(b, Raster::FormatFlags(raster));
    ByteOrder::Store32(b + 4, uint32_t(ext->format));
    b[8] = uint8_t(raster->width);
    b[9] = uint8_t(raster->width >> 8);
    b[10] = uint8_t(raster->height);
    b[11] = uint8_t(raster->height >> 8);
    b[12] = uint8_t(raster->depth);
    b[13] = uint8_t(Raster::GetNumLevels(raster));
    b[14] = raster->type;
    b[15] =
        uint8_t((ext->alpha ? D3D9NativeTexture::kFlagAlpha : 0) | (IsCube(ext) ? D3D9NativeTexture::kFlagCube : 0) |
                (DeviceMakesLevels(ext) ? D3D9NativeTexture::kFlagAutoMipmap : 0) |
                (D3D9Raster::IsCompressed(raster) ? D3D9NativeTexture::kFlagCompressed : 0));
    return Stream::Write(stream, b, kPartBSize) != nullptr;
}

bool WritePalette(Stream* stream, Raster* raster)
{
    uint32_t bytes = PaletteBytes(Raster::FormatFlags(raster));
    if (bytes == 0)
        return true;
    uint8_t* palette = Raster::LockPalette(raster, kRasterLockRead);
    bool ok = palette && Stream::Write(stream, palette, bytes);
    Raster::UnlockPalette(raster);
    return ok;
}

bool WriteLevels(Stream* stream, Raster* raster, D3D9RasterExtension* ext)
{
    int32_t faces = IsCube(ext) ? kCubeFaces : 1;
    int32_t levels = StoredLevels(ext);
    for (int32_t face = 0; face < faces; ++face)
    {
        SetFace(ext, face);
        for (int32_t level = 0; level < levels; ++level)
        {
            if (!Raster::Lock(raster, uint8_t(level), kRasterLockRead))
                return false;
            uint64_t bytes = LockedLevelBytes(raster);
            uint32_t count = uint32_t(bytes);
            bool ok = bytes <= UINT32_MAX && Stream::WriteWords(stream, &count, 4) &&
                      WriteBytes(stream, raster->pixels, bytes);
            Raster::Unlock(raster);
            if (!ok)
                return false;
        }
    }
    return true;
}

// ---- Reading ---------------------------------------------------------------------------------------------

/// The chunk's body as it is read: every read must fit what the body has left.
struct Body
{
    Stream* stream;
    uint32_t left;

    bool Take(void* to, uint32_t length)
    {
        if (length > left)
        {
            Error::Report(kCorePluginId, Error::MakeCode(kErrStreamRead));
            return false;
        }
        left -= length;
        return Stream::Read(stream, to, length) == length;
    }

    bool TakeWord(uint32_t* word)
    {
        uint8_t bytes[4];
        if (!Take(bytes, 4))
            return false;
        *word = ByteOrder::Load32(bytes);
        return true;
    }
};

RasterDescription DecodePartB(const uint8_t* b)
{
    RasterDescription d;
    d.rasterFormat = ByteOrder::Load32(b);
    d.d3dFormat = ByteOrder::Load32(b + 4);
    d.width = ByteOrder::Load16(b + 8);
    d.height = ByteOrder::Load16(b + 10);
    d.depth = b[12];
    d.levels = b[13];
    d.type = b[14];
    d.flags = b[15];
    return d;
}

/// Compressed and cube textures: the raster record is made for the stored format, and the
/// Direct3D object for the stored Direct3D format with the stored level count.
Raster* MakeObjectRaster(const RasterDescription& d)
{
    bool compressed = (d.flags & D3D9NativeTexture::kFlagCompressed) != 0;
    bool cube = (d.flags & D3D9NativeTexture::kFlagCube) != 0;
    auto format = D3DFORMAT(d.d3dFormat);
    if (!SupportsTextureFormat(format))
        return nullptr;
    Raster* raster = Raster::Create(d.width, d.height, d.depth, d.type | d.rasterFormat | kRasterDontAllocate);
    if (!raster)
        return nullptr;
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    D3D9DeviceState& s = D3D9State();
    UINT levels = (d.rasterFormat & kRasterFormatMipmap) ? d.levels : 1;
    bool autoRequested = (d.rasterFormat & kMipmapFlags) == kMipmapFlags;
    constexpr DWORD kMipFilters = D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR;
    if (cube && levels > 1 && !(s.caps.CubeTextureFilterCaps & kMipFilters))
    {
        Raster::Destroy(raster);
        return nullptr;
    }
    ext->cube = cube ? 1 : 0;
    ext->mipmapState =
        autoRequested && (cube ? SupportsAutoMipmapCube(format) : SupportsAutoMipmap(format)) ? 0x01 : 0x00;
    // A texture whose levels the device makes has them all; only level 0 is loaded.
    DWORD usage = DeviceMakesLevels(ext) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    UINT levelsAsked = DeviceMakesLevels(ext) ? 0 : levels;
    IDirect3DBaseTexture9* object = nullptr;
    HRESULT result = E_FAIL;
    if (s.device && cube)
    {
        IDirect3DCubeTexture9* texture = nullptr;
        result = s.device->CreateCubeTexture(d.width, levelsAsked, usage, format, D3DPOOL_MANAGED, &texture, nullptr);
        object = texture;
    }
    else if (s.device)
    {
        IDirect3DTexture9* texture = nullptr;
        result =
            s.device->CreateTexture(d.width, d.height, levelsAsked, usage, format, D3DPOOL_MANAGED, &texture, nullptr);
        object = texture;
    }
    if (FAILED(result) || !object)
    {
        // Still without an object of its own: destruction releases nothing.
        Raster::Destroy(raster);
        return nullptr;
    }
    raster->flags &= uint8_t(~kRasterDontAllocate);
    ext->object = object;
    ext->format = format;
    ext->alpha = (d.flags & D3D9NativeTexture::kFlagAlpha) ? 1 : 0;
    if (compressed)
        ext->mipmapState |= 0x10;
    if (format == D3DFMT_P8)
    {
        // The palette must be set on the device again after a reset.
        ext->palette = NewPalette();
        if (!ext->palette)
        {
            Raster::Destroy(raster);
            return nullptr;
        }
        AddToList(raster);
    }
    return raster;
}

Raster* MakeRaster(const RasterDescription& d)
{
    if (d.flags & (D3D9NativeTexture::kFlagCompressed | D3D9NativeTexture::kFlagCube))
        return MakeObjectRaster(d);
    // A stored engine format lets the device choose as for any texture of that format.
    if (d.rasterFormat & ~kMipmapFlags)
        return Raster::Create(d.width, d.height, d.depth, d.type | d.rasterFormat);
    return D3D9Raster::CreateFromD3DFormat(d.width, d.height, D3DFORMAT(d.d3dFormat),
                                           d.type | (d.rasterFormat & kMipmapFlags));
}

/// Whether the new raster holds what was stored; a texture stored as level 0 only needs a
/// raster whose levels the device makes.
bool MatchesStored(Raster* raster, const RasterDescription& d)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    if ((d.flags & D3D9NativeTexture::kFlagAutoMipmap) && !DeviceMakesLevels(ext))
        return false;
    return Raster::FormatFlags(raster) == d.rasterFormat && uint32_t(ext->format) == d.d3dFormat &&
           raster->width == d.width && raster->height == d.height;
}

bool ReadPalette(Body& body, Raster* raster, uint32_t rasterFormat)
{
    uint32_t bytes = PaletteBytes(rasterFormat);
    if (bytes == 0)
        return true;
    uint8_t* palette = Raster::LockPalette(raster, kRasterLockWrite);
    bool ok = palette && body.Take(palette, bytes);
    Raster::UnlockPalette(raster);
    return ok;
}

bool ReadLevel(Body& body, Raster* raster, int32_t level)
{
    uint8_t* pixels = Raster::Lock(raster, uint8_t(level), kRasterLockWrite);
    if (!pixels)
        return false;
    uint32_t count = 0;
    bool ok = body.TakeWord(&count);
    // The count comes from the file: more than the level holds would write past the lock.
    if (ok && count > LockedLevelBytes(raster))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamRead));
        ok = false;
    }
    ok = ok && body.Take(pixels, count);
    Raster::Unlock(raster);
    return ok;
}

bool ReadLevels(Body& body, Raster* raster, const RasterDescription& d)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    int32_t faces = IsCube(ext) ? kCubeFaces : 1;
    int32_t levels = DeviceMakesLevels(ext) ? 1 : d.levels;
    // Unlocking a written level 0 would otherwise rebuild the levels still to be read.
    uint8_t format = raster->format;
    raster->format &= uint8_t(~(kRasterFormatAutoMipmap >> 8));
    bool ok = true;
    for (int32_t face = 0; ok && face < faces; ++face)
    {
        if (IsCube(ext))
            SetFace(ext, face);
        for (int32_t level = 0; ok && level < levels; ++level)
            ok = ReadLevel(body, raster, level);
    }
    raster->format = format;
    if (IsCube(ext))
        SetFace(ext, 0);
    return ok;
}

} // namespace

int32_t D3D9NativeTexture::GetSize(void* out, void* in, int32_t)
{
    auto* texture = static_cast<const Texture*>(in);
    Raster* raster = texture->raster;
    int64_t size = kSizeWithoutRaster;
    if (raster)
    {
        D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
        size = kHeaderSize + PaletteBytes(Raster::FormatFlags(raster));
        uint8_t face = ext->cube;
        int32_t faces = IsCube(ext) ? kCubeFaces : 1;
        int32_t levels = StoredLevels(ext);
        for (int32_t f = 0; f < faces; ++f)
        {
            SetFace(ext, f);
            for (int32_t level = 0; level < levels; ++level)
                size += 4 + std::max<int64_t>(MeasureLevel(raster, level), 0);
        }
        ext->cube = face;
    }
    *static_cast<int32_t*>(out) = int32_t(std::min<int64_t>(size, INT32_MAX));
    return 1;
}

int32_t D3D9NativeTexture::Write(void* out, void* in, int32_t)
{
    auto* stream = static_cast<Stream*>(out);
    auto* texture = static_cast<const Texture*>(in);
    Raster* raster = texture->raster;
    // Without pixels there is nothing a reader could make a texture of.
    if (!raster || !D3D9Raster::Extension(raster)->object)
        return 0;
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    int32_t size = 0;
    GetSize(&size, const_cast<Texture*>(texture), 0);
    uint32_t words[2] = {kPlatformId, texture->filterAddressing & 0xFFFF};
    if (!Stream::WriteChunkHeader(stream, kChunkStruct, uint32_t(size) - kChunkHeaderSize, kLibraryVersion,
                                  kLibraryBuild) ||
        !Stream::WriteWords(stream, words, sizeof words) || !WriteName(stream, texture->name) ||
        !WriteName(stream, texture->maskName) || !WritePartB(stream, raster, ext) || !WritePalette(stream, raster))
        return 0;
    // The face lock and clear address is left as the caller had it.
    uint8_t face = ext->cube;
    bool ok = WriteLevels(stream, raster, ext);
    ext->cube = face;
    return ok ? 1 : 0;
}

int32_t D3D9NativeTexture::Read(void* out, void* in, int32_t)
{
    auto* stream = static_cast<Stream*>(out);
    auto** result = static_cast<Texture**>(in);
    uint32_t size = 0;
    if (!Stream::FindChunk(stream, kChunkStruct, &size, nullptr))
        return 0;
    Body body{stream, size};
    uint8_t a[kPartASize], b[kPartBSize];
    if (!body.Take(a, kPartASize) || ByteOrder::Load32(a) != kPlatformId || !body.Take(b, kPartBSize))
        return 0;
    RasterDescription d = DecodePartB(b);
    // Only texture rasters are stored with their pixels; the format is the byte of a
    // raster, and a texture has at least one level.
    bool textureType =
        d.type == kRasterTypeNormal || d.type == kRasterTypeTexture || d.type == kRasterTypeCameraTexture;
    if (!textureType || (d.rasterFormat & ~kRasterFormatMask) || d.levels == 0)
        return 0;
    // A cube's faces are square, and the compressed flag must say what the format is: the
    // pixels that follow are laid out by both.
    bool cube = (d.flags & kFlagCube) != 0;
    bool compressed = (d.flags & kFlagCompressed) != 0;
    if ((cube && d.width != d.height) || compressed != IsBlockFormat(D3DFORMAT(d.d3dFormat)))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamRead));
        return 0;
    }

    Raster* raster = MakeRaster(d);
    if (!raster)
        return 0;
    if (!MatchesStored(raster, d) || !ReadPalette(body, raster, d.rasterFormat) || !ReadLevels(body, raster, d))
    {
        Raster::Destroy(raster);
        return 0;
    }
    Texture* texture = Texture::Create(raster);
    if (!texture)
    {
        Raster::Destroy(raster);
        return 0;
    }
    texture->filterAddressing = (texture->filterAddressing & ~0xFFFFu) | (ByteOrder::Load32(a + 4) & 0xFFFF);
    char name[kTextureNameSize + 1] = {}, mask[kTextureNameSize + 1] = {};
    std::memcpy(name, a + 8, kTextureNameSize);
    std::memcpy(mask, a + 8 + kTextureNameSize, kTextureNameSize);
    Texture::SetName(texture, name);
    Texture::SetMaskName(texture, mask);
    *result = texture;
    return 1;
}
