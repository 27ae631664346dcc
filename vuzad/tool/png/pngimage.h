// PNG files to engine images and back, over the system's libpng. Registered as the engine's
// image file format "png" by the renderer's texture manager; fonts and textures read their
// PNG files through Image::Read.
//
// Reading: gray (any depth) -> 8-bit gray ramp palette; palette 8-bit -> 8-bit, 1/2/4-bit ->
// 4-bit (one pixel per byte); RGB, gray + alpha, RGBA (8 or 16 bits) -> 32-bit RGBA, RGB with
// alpha 255. PLTE and tRNS fill the palette of 4- and 8-bit images. Writing: depth 4 -> 4-bit
// palette, 8 -> 8-bit palette (PLTE and tRNS of 2^depth entries), 32 -> 8-bit RGBA.
#pragma once

#include <cstdint>

struct Image;

struct Png
{
    static constexpr int32_t kPluginId = 269;
    /// Larger sides are refused before anything is allocated.
    static constexpr uint32_t kMaxSide = 16384;

    /// A new image, or null: a null name records {269, 0x80000016}; a missing, truncated or
    /// damaged file, or one beyond kMaxSide, gives null.
    static Image* ReadImage(const char* name);
    /// The image, or null (null image or name, depth other than 4, 8 or 32, a failed write).
    static Image* WriteImage(Image* image, const char* name);
};
