// Direct3D 9 rasters: the device extension of every raster, the tables between engine
// raster formats and Direct3D formats, creation and destruction of the Direct3D objects
// behind rasters, the list of rasters in video memory, and pixel and palette locks.
#pragma once

#include "d3d9.h"
#include "raster.h"

#include <cstdint>

/// One palettised texture's palette and the device palette slot it uses.
struct D3D9Palette
{
    PALETTEENTRY entries[256]; ///< red, green, blue, alpha
    uint32_t number;
};

/// Raster plug-in 0x40C, the first registered on rasters.
struct D3D9RasterExtension
{
    /// A texture (normal, texture and camera-texture rasters), a depth-stencil surface
    /// (z-buffers), or a swap chain's back buffer; null for a camera raster of the device's
    /// own back buffer.
    IDirect3DResource9* object;
    D3D9Palette* palette; ///< palettised textures only
    uint8_t alpha;        ///< the pixel format carries alpha
    uint8_t cube;         ///< low four bits: cube texture; high four bits: the face addressed
    uint8_t mipmapState;  ///< low four bits: the device generates levels; high four: compressed
    uint8_t lockedLevel;  ///< 0xFF when no level is locked
    IDirect3DSurface9* lockedSurface;
    D3DLOCKED_RECT lockedRect;
    D3DFORMAT format;
    IDirect3DSwapChain9* swapChain; ///< a swap chain of its own, released with the extension
    HWND window;                    ///< that swap chain's window
};

/// What a Direct3D format is to the engine.
struct D3D9FormatInfo
{
    uint8_t alpha;
    uint8_t bitsPerPixel;
    uint16_t rasterFormat; ///< the engine raster format, 0 for none
};

struct D3D9Raster
{
    static constexpr int32_t kPluginId = 0x40C;
    static constexpr int32_t kFormatTableSize = 128;

    // ---- Tables --------------------------------------------------------------------------

    /// Registers the extension; -1 when refused. Fills the format table.
    static int32_t Attach();
    static D3D9RasterExtension* Extension(Raster* raster);
    /// The entry of a Direct3D format below 128; {0, 0, 0} for any other.
    static D3D9FormatInfo FormatInfo(D3DFORMAT format);
    /// The Direct3D format of an engine base format (bits 8-11 of a raster format).
    static D3DFORMAT BaseToD3DFormat(uint32_t rasterFormat);

    // ---- Standard functions ----------------------------------------------------------------

    /// in = raster, number = creation flags. Chooses a format the device supports for the
    /// type and makes the Direct3D object. 1, or 0 with the cause recorded.
    static int32_t Create(void* out, void* in, int32_t number);
    /// in = raster. 1, or 0 for a type outside 0 to 5.
    static int32_t Destroy(void* out, void* in, int32_t number);
    /// out = sub-raster, in = the raster it views: takes its stride, depth, type and format.
    static int32_t SubRaster(void* out, void* in, int32_t number);
    /// out = uint8_t* pixels, in = raster, number = level << 8 | mode. Textures lock their
    /// level; camera rasters and camera textures lock a system-memory copy (filled from the
    /// target when reading). 1, or 0 (0x8000000E when locked already or not lockable).
    static int32_t Lock(void* out, void* in, int32_t number);
    /// in = raster. A written copy goes back onto its target. 1, or 0 with 0x80000011.
    static int32_t Unlock(void* out, void* in, int32_t number);
    /// out = uint8_t* palette, in = raster, number = mode. 1, or 0 with 0x8000000E.
    static int32_t LockPalette(void* out, void* in, int32_t number);
    /// in = raster. A palette locked for writing goes to the device. 1, or 0 with 0x80000011.
    static int32_t UnlockPalette(void* out, void* in, int32_t number);
    /// out = int32_t count, in = raster. 1.
    static int32_t GetMipLevels(void* out, void* in, int32_t number);

    // ---- The driver's raster module (device start to stop) ----------------------------------------

    static int32_t Open();
    static void Close();
    /// Whether the raster is on the list of rasters whose objects live in video memory.
    static bool IsListed(const Raster* raster);
    /// Palette numbers handed out and not yet returned.
    static int32_t PalettesInUse();
};
