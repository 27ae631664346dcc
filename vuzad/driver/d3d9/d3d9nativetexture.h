// Native textures of the Direct3D 9 driver: a texture stored in the device's own pixel
// layout (level by level, cube faces and compressed formats included) in one struct chunk,
// its size, and a texture rebuilt from it without decoding or converting any pixel.
#pragma once

#include <cstdint>

struct D3D9NativeTexture
{
    /// The platform id the chunk starts with; chunks of other devices are refused.
    static constexpr uint32_t kPlatformId = 9;
    /// Struct header, the texture's names and words, and the raster's description.
    static constexpr int32_t kHeaderSize = 100;
    /// What a texture without a raster reports: the struct header and the names only.
    static constexpr int32_t kSizeWithoutRaster = 84;

    // Flags byte of the raster's description.
    static constexpr uint8_t kFlagAlpha = 0x01;
    static constexpr uint8_t kFlagCube = 0x02;
    static constexpr uint8_t kFlagAutoMipmap = 0x04; ///< only level 0 is stored
    static constexpr uint8_t kFlagCompressed = 0x08;

    /// out = int32_t size of the whole chunk (header included), in = const Texture*. Each
    /// level is measured by locking it for reading. 1.
    static int32_t GetSize(void* out, void* in, int32_t number);
    /// out = Stream*, in = const Texture*: the chunk of the texture as its raster holds it.
    /// 1, or 0 when a write or a lock fails or the texture has no raster with an object.
    static int32_t Write(void* out, void* in, int32_t number);
    /// out = Stream*, in = Texture** that receives a new texture (count 1, no dictionary).
    /// The raster is made on this device as it was stored; a level whose byte count is
    /// larger than the locked level, or than what the chunk has left, is refused with
    /// 0x8000001A. 1, or 0 with nothing left behind.
    static int32_t Read(void* out, void* in, int32_t number);
};
