// Textures and texture dictionaries: the records, their lists, the find-or-load read and
// the texture module with its free lists and current dictionary.
#include "texture.h"

#include "device.h"
#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "raster.h"
#include "stringfunctions.h"
#include "texture_local.h"

#include <cstring>

namespace
{

constexpr int32_t kTexturesPerBlock = 128;
constexpr int32_t kDictionariesPerBlock = 5;
constexpr uint32_t kTextureChunkType = 0x06;
constexpr uint32_t kDictionaryChunkType = 0x16;

PluginRegistry sTextureRegistry = PluginRegistry::Initial(int32_t(sizeof(Texture)));
PluginRegistry sDictionaryRegistry = PluginRegistry::Initial(int32_t(sizeof(TextureDictionary)));
FreeList sTextureList;
FreeList sDictionaryList;
TextureModuleBlock* sBlock = nullptr;

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

// Copies at most 31 characters; a longer name is cut and reported.
void CopyName(char* field, const char* name)
{
    if (!name)
        name = "";
    size_t length = std::strlen(name);
    if (length >= size_t(kTextureNameSize))
    {
        Report(Error::MakeCode(kErrNameTruncated, name));
        length = kTextureNameSize - 1;
    }
    std::memcpy(field, name, length);
    field[length] = '\0';
}

TextureDictionary* FromModuleLink(ListLink* link)
{
    return reinterpret_cast<TextureDictionary*>(reinterpret_cast<char*>(link) - offsetof(TextureDictionary, link));
}

void Unlink(Texture* texture)
{
    if (texture->dictionary)
        ListLink::Unlink(&texture->dictionaryLink);
    texture->dictionary = nullptr;
}

} // namespace

TextureModuleBlock* texturemodule::Block()
{
    return sBlock;
}

// ---- Textures -------------------------------------------------------------------------------------

Texture* Texture::Create(Raster* raster)
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* texture =
        static_cast<Texture*>(engine->freeListFunctions.take(sBlock->textures, kMemoryHintObject | kTextureChunkType));
    if (!texture)
        return nullptr;
    *texture = Texture{};
    texture->raster = raster;
    ListLink::Init(&texture->dictionaryLink);
    texture->filterAddressing = kTextureDefaultFilterAddressing;
    texture->refCount = 1;
    if (!PluginRegistry::InitObject(&sTextureRegistry, texture))
    {
        engine->freeListFunctions.giveBack(sBlock->textures, texture);
        return nullptr;
    }
    return texture;
}

int32_t Texture::Destroy(Texture* texture)
{
    if (texture->refCount >= 2)
    {
        --texture->refCount;
        return 1;
    }
    PluginRegistry::DeinitObject(&sTextureRegistry, texture);
    Unlink(texture);
    if (texture->raster)
        Raster::Destroy(texture->raster);
    Engine::Current()->freeListFunctions.giveBack(sBlock->textures, texture);
    return 1;
}

Texture* Texture::SetName(Texture* texture, const char* name)
{
    CopyName(texture->name, name);
    return texture;
}

Texture* Texture::SetMaskName(Texture* texture, const char* maskName)
{
    CopyName(texture->maskName, maskName);
    return texture;
}

Texture* Texture::SetRaster(Texture* texture, Raster* raster)
{
    if (!raster)
    {
        texture->raster = nullptr;
        return texture;
    }
    Engine* engine = Engine::Current();
    StandardFunction function = engine ? engine->standardFunctions[kStdTextureSetRaster] : nullptr;
    return (function && function(&texture->raster, raster, 0)) ? texture : nullptr;
}

Texture* Texture::DefaultFind(const char* name)
{
    if (!sBlock)
        return nullptr;
    if (sBlock->current)
        return TextureDictionary::FindTexture(sBlock->current, name);
    for (ListLink* link = sBlock->dictionaries.next; link != &sBlock->dictionaries; link = link->next)
        if (Texture* texture = TextureDictionary::FindTexture(FromModuleLink(link), name))
            return texture;
    return nullptr;
}

Texture* Texture::Read(const char* name, const char* maskName)
{
    if (!sBlock || !name)
        return nullptr;
    if (Texture* found = sBlock->find(name))
    {
        ++found->refCount;
        return found;
    }
    Texture* texture = sBlock->read(name, maskName);
    if (!texture)
    {
        Report(Error::MakeCode(kCoreErrTextureNotFound, name));
        return nullptr;
    }
    if (sBlock->current)
        TextureDictionary::AddTexture(sBlock->current, texture);
    return texture;
}

// ---- Mipmapping flags --------------------------------------------------------------------------------

int32_t Texture::SetMipmapping(int32_t enable)
{
    if (sBlock)
        sBlock->mipmapping = enable;
    return 1;
}

int32_t Texture::GetMipmapping()
{
    return sBlock ? sBlock->mipmapping : 0;
}

int32_t Texture::SetAutoMipmapping(int32_t enable)
{
    if (sBlock)
        sBlock->autoMipmapping = enable;
    return 1;
}

int32_t Texture::GetAutoMipmapping()
{
    return sBlock ? sBlock->autoMipmapping : 0;
}

// ---- Dictionaries ---------------------------------------------------------------------------------------

TextureDictionary* TextureDictionary::Create()
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* dictionary = static_cast<TextureDictionary*>(
        engine->freeListFunctions.take(sBlock->dictionaryList, kMemoryHintObject | kDictionaryChunkType));
    if (!dictionary)
        return nullptr;
    *dictionary = TextureDictionary{};
    dictionary->type = kObjectType;
    ListLink::Init(&dictionary->textures);
    if (!PluginRegistry::InitObject(&sDictionaryRegistry, dictionary))
    {
        engine->freeListFunctions.giveBack(sBlock->dictionaryList, dictionary);
        return nullptr;
    }
    ListLink::InsertAtHead(&sBlock->dictionaries, &dictionary->link);
    return dictionary;
}

int32_t TextureDictionary::Destroy(TextureDictionary* dictionary)
{
    if (sBlock->current == dictionary)
        sBlock->current = nullptr;
    if (sBlock->first == dictionary)
        sBlock->first = nullptr;
    // Every texture is unlinked before its reference goes: one that others still hold
    // must not point into the dictionary freed below.
    while (!ListLink::IsEmpty(&dictionary->textures))
    {
        Texture* texture = Texture::FromLink(dictionary->textures.next);
        Unlink(texture);
        Texture::Destroy(texture);
    }
    PluginRegistry::DeinitObject(&sDictionaryRegistry, dictionary);
    ListLink::Unlink(&dictionary->link);
    Engine::Current()->freeListFunctions.giveBack(sBlock->dictionaryList, dictionary);
    return 1;
}

void TextureDictionary::AddTexture(TextureDictionary* dictionary, Texture* texture)
{
    Unlink(texture);
    ListLink::InsertAtHead(&dictionary->textures, &texture->dictionaryLink);
    texture->dictionary = dictionary;
}

Texture* TextureDictionary::FindTexture(TextureDictionary* dictionary, const char* name)
{
    for (ListLink* link = dictionary->textures.next; link != &dictionary->textures; link = link->next)
    {
        Texture* texture = Texture::FromLink(link);
        if (StringFunctions::CompareNoCase(texture->name, name) == 0)
            return texture;
    }
    return nullptr;
}

TextureDictionary* TextureDictionary::ForAllTextures(TextureDictionary* dictionary, TextureCallback callback,
                                                     void* data)
{
    ListLink* link = dictionary->textures.next;
    while (link != &dictionary->textures)
    {
        ListLink* next = link->next;
        if (!callback(Texture::FromLink(link), data))
            break;
        link = next;
    }
    return dictionary;
}

void TextureDictionary::SetCurrent(TextureDictionary* dictionary)
{
    if (sBlock)
        sBlock->current = dictionary;
}

TextureDictionary* TextureDictionary::GetCurrent()
{
    return sBlock ? sBlock->current : nullptr;
}

Texture* TextureDictionary::FindInCurrent(const char* name)
{
    TextureDictionary* current = GetCurrent();
    return current && name ? FindTexture(current, name) : nullptr;
}

int32_t TextureDictionary::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                          PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sDictionaryRegistry, size, pluginId, constructor, destructor, copy);
}

PluginRegistry* TextureDictionary::Registry()
{
    return &sDictionaryRegistry;
}

// ---- Plug-ins ---------------------------------------------------------------------------------------------

int32_t Texture::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sTextureRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Texture::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                      PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sTextureRegistry, pluginId, read, write, size);
}

int32_t Texture::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sTextureRegistry, pluginId);
}

PluginRegistry* Texture::Registry()
{
    return &sTextureRegistry;
}

// ---- The texture module ----------------------------------------------------------------------------------

const int32_t Texture::kModuleBlockSize = sizeof(TextureModuleBlock);

void* Texture::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<TextureModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    *block = TextureModuleBlock{};
    ListLink::Init(&block->dictionaries);
    block->textures = FreeList::CreateInStorage(sTextureRegistry.size, kTexturesPerBlock, 0, 1, &sTextureList,
                                                kMemoryHintEngine | kTextureChunkType);
    if (!block->textures)
        return nullptr;
    block->dictionaryList = FreeList::CreateInStorage(sDictionaryRegistry.size, kDictionariesPerBlock, 0, 1,
                                                      &sDictionaryList, kMemoryHintEngine | Texture::kPluginId);
    if (!block->dictionaryList)
    {
        FreeList::Destroy(block->textures);
        return nullptr;
    }
    block->find = DefaultFind;
    block->read = DefaultRead;
    sBlock = block;
    block->first = TextureDictionary::Create();
    if (!block->first)
    {
        FreeList::Destroy(block->dictionaryList);
        FreeList::Destroy(block->textures);
        sBlock = nullptr;
        return nullptr;
    }
    block->current = block->first;
    return engine;
}

void* Texture::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<TextureModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->first)
        TextureDictionary::Destroy(block->first);
    block->current = nullptr;
    FreeList::Destroy(block->dictionaryList);
    FreeList::Destroy(block->textures);
    block->dictionaryList = nullptr;
    block->textures = nullptr;
    sBlock = nullptr;
    return engine;
}
