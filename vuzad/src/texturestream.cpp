// The texture chunk as materials store it: the filter/address word, the name and mask name,
// and the texture plug-ins' data; reading finds or loads the named texture.
#include "texture.h"

#include "byteorder.h"
#include "chunk.h"
#include "error.h"
#include "raster.h"
#include "stream.h"
#include "texture_local.h"

namespace
{

constexpr uint32_t kMipmapUnavailable = 0x10000; // the raster's format cannot generate levels
constexpr int32_t kStreamNameSize = 128;

bool IsMipmappedFilter(uint32_t filter)
{
    return filter >= 3 && filter <= 6;
}

uint32_t StructWord(const Texture* texture)
{
    uint32_t word = texture->filterAddressing & 0xFFFF;
    if (texture->raster && !(Raster::FormatFlags(texture->raster) & kRasterFormatAutoMipmap))
        word |= kMipmapUnavailable;
    return word;
}

} // namespace

int32_t Texture::StreamGetSize(const Texture* texture)
{
    return int32_t(StringChunk::GetSize(texture->name) + StringChunk::GetSize(texture->maskName)) +
           PluginRegistry::GetExtensionSize(Registry(), texture) + 52;
}

const Texture* Texture::StreamWrite(const Texture* texture, Stream* stream)
{
    uint32_t word = StructWord(texture);
    if (!Stream::WriteChunkHeader(stream, kChunkTexture, uint32_t(StreamGetSize(texture)), kLibraryVersion,
                                  kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, 4, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteWords(stream, &word, 4) || !StringChunk::Write(texture->name, stream) ||
        !StringChunk::Write(texture->maskName, stream) ||
        !PluginRegistry::WriteExtensionChunk(Registry(), stream, texture))
        return nullptr;
    return texture;
}

Texture* Texture::StreamRead(Stream* stream)
{
    TextureModuleBlock* block = texturemodule::Block();
    uint32_t size = 0;
    if (!block || !Stream::FindChunk(stream, kChunkStruct, &size, nullptr))
        return nullptr;
    // The word is the whole body: any other size is not a texture struct.
    uint32_t word = 0;
    if (size != 4)
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    if (!Stream::ReadWords(stream, &word, 4))
        return nullptr;
    if (((word >> kTextureAddressVShift) & 0xF) == 0)
        word |= ((word >> kTextureAddressUShift) & 0xF) << kTextureAddressVShift;

    int32_t savedMipmapping = block->mipmapping, savedAuto = block->autoMipmapping;
    if (IsMipmappedFilter(word & kTextureFilterMask))
    {
        block->mipmapping = 1;
        block->autoMipmapping = (word & kMipmapUnavailable) ? 0 : 1;
    }
    else
    {
        block->mipmapping = 0;
        block->autoMipmapping = 0;
    }
    char name[kStreamNameSize], maskName[kStreamNameSize];
    Texture* texture = nullptr;
    if (StringChunk::Read(name, sizeof name, stream) && StringChunk::Read(maskName, sizeof maskName, stream))
        texture = Read(name, maskName);
    block->mipmapping = savedMipmapping;
    block->autoMipmapping = savedAuto;
    if (!texture)
    {
        PluginRegistry::SkipExtensionChunk(Registry(), stream);
        return nullptr;
    }
    if (texture->refCount == 1)
        texture->filterAddressing = word & 0xFFFF;
    if (!PluginRegistry::ReadExtensionChunk(Registry(), stream, texture))
    {
        // The caller never gets this reference, so it is given back here.
        Destroy(texture);
        return nullptr;
    }
    return texture;
}
