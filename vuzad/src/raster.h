// Rasters: the device-independent record of a device surface (a texture, a camera's frame
// buffer or z-buffer, a render-target texture), its type and format flags, and the
// operations that hand the real work to the device's standard functions.
#pragma once

#include "plugin.h"

#include <cstdint>

struct Image;

// ---- Creation flags: one word of type | flags | format -----------------------------------

constexpr uint32_t kRasterTypeNormal = 0;
constexpr uint32_t kRasterTypeZBuffer = 1;
constexpr uint32_t kRasterTypeCamera = 2;
constexpr uint32_t kRasterTypeTexture = 4;
constexpr uint32_t kRasterTypeCameraTexture = 5;
constexpr uint32_t kRasterTypeMask = 0x07;

/// Flags (bits 3-7): the device makes no object and no pixels for the raster.
constexpr uint32_t kRasterDontAllocate = 0x80;
constexpr uint32_t kRasterFlagsMask = 0xF8;

// The pixel format (bits 8-11) is one value; the bits above it are flags. Format 0 lets
// the device choose.
constexpr uint32_t kRasterFormatDefault = 0x0000;
constexpr uint32_t kRasterFormat1555 = 0x0100;
constexpr uint32_t kRasterFormat565 = 0x0200;
constexpr uint32_t kRasterFormat4444 = 0x0300;
constexpr uint32_t kRasterFormatLum8 = 0x0400;
constexpr uint32_t kRasterFormat8888 = 0x0500;
constexpr uint32_t kRasterFormat888 = 0x0600;
constexpr uint32_t kRasterFormatZ16 = 0x0700;
constexpr uint32_t kRasterFormatZ24 = 0x0800;
constexpr uint32_t kRasterFormatZ32 = 0x0900;
constexpr uint32_t kRasterFormat555 = 0x0A00;
constexpr uint32_t kRasterFormatPixelMask = 0x0F00;
constexpr uint32_t kRasterFormatAutoMipmap = 0x1000; ///< the device generates the lower levels
constexpr uint32_t kRasterFormatPal8 = 0x2000;
constexpr uint32_t kRasterFormatPal4 = 0x4000;
constexpr uint32_t kRasterFormatMipmap = 0x8000;
constexpr uint32_t kRasterFormatMask = 0xFF00;

// ---- Lock modes: bit 0 write, bit 1 read; a pixel lock carries the mip level in bits 8-15

constexpr uint32_t kRasterLockWrite = 0x1;
constexpr uint32_t kRasterLockRead = 0x2;
constexpr uint32_t kRasterLockNoFetch = 0x4;
/// The caller walks the rows back to back (stride = width x bytes per pixel): a device
/// whose lock would hand out a wider pitch refuses the lock instead.
constexpr uint32_t kRasterLockPackedRows = 0x8;

// ---- Private flags ----------------------------------------------------------------------------

constexpr uint8_t kRasterGammaCorrected = 0x01;
constexpr uint8_t kRasterLockedRead = 0x02;
constexpr uint8_t kRasterLockedWrite = 0x04;
constexpr uint8_t kRasterPaletteLocked = 0x08;
constexpr uint8_t kRasterPaletteLockedWrite = 0x10;
constexpr uint8_t kRasterPixelLockMask = kRasterLockedRead | kRasterLockedWrite;
constexpr uint8_t kRasterPaletteLockMask = kRasterPaletteLocked | kRasterPaletteLockedWrite;

/// Four bytes red, green, blue, alpha: how colours travel to the device.
struct Rgba
{
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t alpha;
};

/// A rectangle inside a raster, in pixels.
struct RasterRect
{
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

struct Raster
{
    Raster* parent;   ///< the top-level raster whose pixels this one uses; itself for its own
    uint8_t* pixels;  ///< while locked, else null
    uint8_t* palette; ///< while the palette is locked, else null
    int32_t width;
    int32_t height;
    int32_t depth;   ///< bits per pixel, set by the device
    int32_t stride;  ///< bytes per row of the locked level, set by the device
    int16_t offsetX; ///< position inside the parent
    int16_t offsetY;
    uint8_t type;         ///< creation bits 0-2
    uint8_t flags;        ///< creation bits 3-7
    uint8_t privateFlags; ///< kRasterGammaCorrected, the lock bits
    uint8_t format;       ///< creation bits 8-15
    // The device's: while a level is locked they hold the level-0 size that unlock puts
    // back (every lock rewrites them); a camera raster keeps its created size in them.
    // Nothing else may rely on them between locks.
    int32_t sourceWidth;
    int32_t sourceHeight;
    int32_t sourceStride;
    // Plug-in data follows; the device's extension is the first plug-in.

    /// The creation word's format bits as they are stored in the record.
    static uint32_t FormatFlags(const Raster* raster) { return uint32_t(raster->format) << 8; }

    // ---- Objects from the raster free list -------------------------------------------

    /// The device sets type, format, depth and its extension, or refuses (its error is
    /// recorded); a refused raster leaves no record and runs no plug-in constructor.
    static Raster* Create(int32_t width, int32_t height, int32_t depth, uint32_t flags);
    /// Plug-in destructors, the device's destroy, the record back. 1.
    static int32_t Destroy(Raster* raster);
    /// Makes raster a view of a rectangle of parent (which may itself be a sub-raster):
    /// it shares the top-level raster's pixels. raster is a record of its own, made with
    /// Raster::Create at size 0. The raster, or null when the device refuses.
    static Raster* SubRaster(Raster* raster, Raster* parent, const RasterRect* rect);

    // ---- Pixels and palettes ------------------------------------------------------------

    /// level 0-255; mode kRasterLockRead and/or kRasterLockWrite. The pixels, or null (the
    /// device records why: 0x8000000E when already locked).
    static uint8_t* Lock(Raster* raster, uint8_t level, uint32_t mode);
    /// The raster, or null (0x80000011 when it is not locked).
    static Raster* Unlock(Raster* raster);
    /// The palette entries (256 of red, green, blue, alpha), or null.
    static uint8_t* LockPalette(Raster* raster, uint32_t mode);
    /// Clears the palette-lock bits whatever the device answers; the raster, or null when
    /// the device refuses.
    static Raster* UnlockPalette(Raster* raster);
    /// 1 without the mipmap format flag (the device is not asked), else the device's
    /// count; -1 when the device fails.
    static int32_t GetNumLevels(Raster* raster);

    // ---- Images (through the device) ---------------------------------------------------------

    /// Writes the image into the raster (resampled to its size when they differ); the raster
    /// gains the gamma flag when the image carries it. The raster, or null.
    static Raster* SetFromImage(Raster* raster, Image* image);

    // ---- Presentation ------------------------------------------------------------------

    /// Rolls the resource arena over to a new frame, then presents; flags bit 0 waits for
    /// the vertical blank. The raster, or null.
    static Raster* Show(Raster* raster, void* deviceWindow, uint32_t flags);

    // ---- Plug-ins (before Engine::Open) and the context -----------------------------------

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
    /// The raster on top of the context stack: an empty raster while nothing was pushed.
    static Raster* GetCurrentContext();

    // ---- The raster module (engine-level module 0x407) -------------------------------------

    static constexpr int32_t kPluginId = 0x407;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
