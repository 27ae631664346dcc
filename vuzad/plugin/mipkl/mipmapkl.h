// The mipmap-K plug-in: the texture extension that holds a texture's mipmap K value.
#pragma once

#include <cstdint>

struct Texture;

/// The texture extension: K in the low 12 bits as a signed fixed-point number with 4
/// fraction bits; the top 4 bits are not K's.
struct MipmapKWord
{
    uint16_t word;
};

struct MipmapKL
{
    /// Ours: no engine plug-in of the system registers this extension.
    static constexpr int32_t kPluginId = 0x11A;

    /// Registers the texture extension (0 at creation, copied with the texture); only
    /// between Engine::Init and Engine::Open. 1, or 0 when refused.
    static int32_t Attach();
    /// -1 before Attach.
    static int32_t GetTextureOffset();
    /// K x 16 truncated toward zero and clamped to -2048..2047 replaces the word's low 12
    /// bits; the top 4 are kept. The texture, or null for a null texture.
    static Texture* SetTextureK(Texture* texture, float k);
    /// The texture's word; 0 for a null texture or before Attach.
    static uint16_t GetTextureKWord(const Texture* texture);
};
