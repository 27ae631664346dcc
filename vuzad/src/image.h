// Images: pictures in main memory (4-bit or 8-bit palettised, or 32-bit red, green, blue,
// alpha), the image module with its registered file formats, search path and gamma table,
// pixel copying and conversion, masks, resampling, and the exchange with rasters through
// the device.
#pragma once

#include "plugin.h"

#include <cstdint>

struct Raster;

// ---- Flags ------------------------------------------------------------------------------

constexpr uint32_t kImageOwnsPixels = 0x1;     ///< pixels and palette are one block the image frees
constexpr uint32_t kImageGammaCorrected = 0x2; ///< the pixels went through the gamma table

/// A file format's reader: the full file name; a new image, or null.
using ImageReader = struct Image* (*)(const char* name);
/// A file format's writer: the image and the full file name; the image, or null.
using ImageWriter = struct Image* (*)(struct Image* image, const char* name);
/// Called for each candidate file name; non-null to go on, null to stop.
using ImagePathCallback = const char* (*)(const char* candidate, void* data);

/// One registered file extension.
struct ImageFormat
{
    char lowerExtension[20]; ///< "." and at most 18 characters, lower-cased
    char upperExtension[20]; ///< the same, upper-cased
    ImageReader reader;      ///< may be null
    ImageWriter writer;      ///< may be null
    ImageFormat* next;       ///< newest first
};

/// Pixels of depth 32 are four bytes red, green, blue, alpha; depths 4 and 8 have one byte
/// per pixel (4-bit images are not packed) indexing the palette, whose entries are four
/// bytes red, green, blue, alpha. Rows follow each other at the stride.
struct Image
{
    uint32_t flags;
    int32_t width;
    int32_t height;
    int32_t depth;
    int32_t stride;   ///< bytes per row; 0 until pixels are allocated
    uint8_t* pixels;  ///< first row, or null
    uint8_t* palette; ///< (1 << depth) entries for depths 4 and 8, else null
    // Plug-in data follows.

    /// The palette index a pixel byte of this depth may hold: 4-bit pixels index 16 entries.
    static uint32_t IndexMask(int32_t depth) { return depth == 4 ? 0x0Fu : 0xFFu; }
    /// Bytes of one row's pixels (without padding), in 64 bits: a row no 32-bit stride can
    /// hold comes out larger than any stride, so every check against the stride refuses it.
    static int64_t RowBytes(const Image* image) { return int64_t((image->depth + 7) / 8) * image->width; }

    // ---- Records and pixels ------------------------------------------------------------------

    /// A new image without pixels; null when the module is closed, the sizes are negative,
    /// the depth is not one an image can have (1 to 32), or no entry is left.
    static Image* Create(int32_t width, int32_t height, int32_t depth);
    /// Frees an owned pixel block too. 1.
    static int32_t Destroy(Image* image);
    /// One block for the rows (stride rounded to 4 bytes) and, for depths 4 and 8, the
    /// palette behind them. The image, or null: 0x80000003 for sizes whose block cannot be
    /// addressed, 0x80000013 when it cannot be allocated.
    static Image* AllocatePixels(Image* image);
    /// Frees the pixel block when the image owns it; clears pixels and palette.
    static Image* FreePixels(Image* image);
    /// Same size and depth: the palette (when both have one) and every row. 1, or 0
    /// (0x8000000A for different sizes or depths, 0x80000016 without pixels).
    static int32_t CopyPixels(Image* destination, const Image* source);
    /// Same size: 4 -> 8 copies the indices and the 16 palette entries and clears the other
    /// 240; 4 or 8 -> 32 expands through the palette; equal depths do nothing. 1, or 0
    /// (0x80000009 for any other pair, 0x8000000A for different sizes).
    static int32_t ConvertPixels(Image* destination, const Image* source);
    /// CopyPixels for equal depths, else ConvertPixels; the destination takes the source's
    /// gamma flag. The destination, or null with it unchanged.
    static Image* CopyInto(Image* destination, const Image* source);

    // ---- Masks ------------------------------------------------------------------------------

    /// Alpha = the largest of red, green and blue, in every palette entry (depths 4 and 8)
    /// or pixel (depth 32).
    static Image* MakeMask(Image* image);
    /// A palettised image first becomes 32-bit; then each pixel's alpha = the mask's alpha
    /// at the same place. The image, or null (0x8000000A sizes differ, 0x80000009 depths).
    static Image* ApplyMask(Image* image, const Image* mask);

    // ---- Files --------------------------------------------------------------------------------
    // The extension of a name is the text from its last '.' after its last ':', '/' or '\',
    // for reading and writing alike, so a dot in a folder name never counts.

    /// Directory prefixes separated by ';', each with its own trailing separator. The
    /// module's copy, or null (0x80000013).
    static const char* SetPath(const char* path);
    static const char* GetPath();
    /// extension without its dot (at most 18 characters kept). Registering an extension again
    /// (in any case) replaces its reader and writer with the ones given that are not null.
    /// 1, or 0.
    static int32_t RegisterFileFormat(const char* extension, ImageReader reader, ImageWriter writer);
    /// The extension must match a format's lower-case or upper-case form exactly; the name is
    /// tried along the search path and the first candidate that exists and reads is the
    /// result. Null without an extension, a format, a reader, or a readable candidate.
    static Image* Read(const char* name);
    /// Read, then with a mask name (not null or empty) read the mask and apply its
    /// brightness as alpha. Null when either read or the masking fails; nothing is kept.
    static Image* ReadMasked(const char* name, const char* maskName);
    /// The writer of the name's extension; no search path. The writer's answer, or null.
    static Image* Write(Image* image, const char* name);
    /// Candidates: the name alone when it is absolute or the path is empty, else each prefix
    /// + name in order while the callback answers non-null. A candidate lives in the shared
    /// scratch buffer with extra bytes of room, valid until the next call. The name, or null
    /// when the scratch buffer cannot grow.
    static const char* ForEachPathCandidate(const char* name, int32_t extra, ImagePathCallback callback, void* data);
    /// The registered extension (lower-case, then upper-case form, formats newest first) that
    /// makes an existing file of a candidate of the name; null when none does, which is also
    /// the answer for a name that already has its extension.
    static const char* FindFileExtension(const char* name);
    /// The shared scratch buffer grown to at least size bytes, or null (0x80000013).
    static char* GetScratchName(int32_t size);

    // ---- Gamma --------------------------------------------------------------------------------
    // One 256-entry table serves red, green and blue alike; alpha is never corrected.

    /// table[i] = 255 x (i / 255)^(1 / gamma) + 0.5, truncated, in single precision; table[0]
    /// = 0. Built for 1.0 at module open and for the device's gamma at engine start. 1.
    static int32_t BuildGammaTables(float gamma);
    /// The gamma the table was built for.
    static float GetGamma();
    /// The table itself (256 entries), or null while the module is closed.
    static const uint8_t* GetGammaTable();
    /// Palette entries (depths 4, 8) or pixels (32) through the table; sets the gamma flag.
    /// Correcting twice applies the table twice. The image, or null (0x80000016 without
    /// palette or pixels, 0x80000008 for other depths).
    static Image* GammaCorrect(Image* image);

    // ---- Resampling -----------------------------------------------------------------------------

    /// Area average of the 32-bit source into the 32-bit destination's size; the destination
    /// gains the source's gamma flag. The destination, or null (0x80000009 for other depths,
    /// 0x80000016 without pixels).
    static Image* Resample(Image* destination, const Image* source);
    /// A new 32-bit image of the given size resampled from a source of any depth, or null
    /// with nothing left allocated.
    static Image* CreateResampled(const Image* source, int32_t width, int32_t height);

    // ---- Rasters (through the device) -------------------------------------------------------------

    /// Reads the raster's pixels into the image, which must have the raster's (current) size;
    /// the image gains the gamma flag when the raster carries it. The image, or null
    /// (0x8000000A for a size mismatch, else what the device recorded).
    static Image* SetFromRaster(Image* image, Raster* raster);
    /// Asks the device which raster suits the image for the creation flags (type and format
    /// wishes): the size it would have, its depth and the creation word for Raster::Create
    /// (format byte << 8 | type). The image, or null.
    static Image* FindRasterFormat(Image* image, uint32_t rasterFlags, int32_t* width, int32_t* height, int32_t* depth,
                                   uint32_t* format);

    // ---- Plug-ins (before Engine::Open) --------------------------------------------------------------

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t GetPluginOffset(int32_t pluginId);

    // ---- The image module (engine-level module 0x406) ---------------------------------------------

    static constexpr int32_t kPluginId = 0x406;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
