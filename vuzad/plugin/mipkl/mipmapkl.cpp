// The mipmap-K plug-in's texture extension.
#include "mipmapkl.h"

#include "texture.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sTextureOffset = -1;

MipmapKWord* Word(void* texture, int32_t offset)
{
    return reinterpret_cast<MipmapKWord*>(static_cast<char*>(texture) + offset);
}

void* Construct(void* object, int32_t offset, int32_t)
{
    Word(object, offset)->word = 0;
    return object;
}

void* Copy(void* destination, const void* source, int32_t offset, int32_t)
{
    *Word(destination, offset) = *Word(const_cast<void*>(source), offset);
    return destination;
}
} // namespace

int32_t MipmapKL::Attach()
{
    int32_t offset = Keep(&sTextureOffset,
                          Texture::RegisterPlugin(int32_t(sizeof(MipmapKWord)), kPluginId, Construct, nullptr, Copy));
    return offset >= 0 ? 1 : 0;
}

int32_t MipmapKL::GetTextureOffset()
{
    return sTextureOffset;
}

uint16_t MipmapKL::GetTextureKWord(const Texture* texture)
{
    if (!texture || sTextureOffset < 0)
        return 0;
    return Word(const_cast<Texture*>(texture), sTextureOffset)->word;
}

Texture* MipmapKL::SetTextureK(Texture* texture, float k)
{
    if (!texture)
        return nullptr;
    if (sTextureOffset < 0)
        return texture;
    const float scaled = k * 16.0f;
    int32_t fixed = 0;
    if (scaled >= 2047.0f)
        fixed = 2047;
    else if (scaled <= -2048.0f)
        fixed = -2048;
    else if (scaled == scaled)
        fixed = int32_t(scaled);
    MipmapKWord* w = Word(texture, sTextureOffset);
    w->word = uint16_t((w->word & 0xF000u) | (uint32_t(fixed) & 0x0FFFu));
    return texture;
}
