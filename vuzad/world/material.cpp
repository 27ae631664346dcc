// Materials and material lists: creation and sharing, textures, and the stream form of
// both, in which a list writes each shared material once.
#include "material.h"

#include "engine.h"
#include "freelist.h"
#include "memory.h"
#include "stream.h"
#include "world_local.h"

#include <cstring>

#if __has_include("texture.h")
#include "texture.h"
#define WORLD_HAS_TEXTURES 1
#endif

namespace
{

struct MaterialModuleBlock
{
    FreeList* materials;
};

constexpr uint32_t kMaterialChunk = 7;
constexpr uint32_t kMaterialListChunk = 8;
constexpr uint32_t kTextureChunk = 6;
constexpr uint32_t kMaterialStructSize = 28;
constexpr int32_t kMaterialsPerBlock = 256;
constexpr uint32_t kModuleHint = kMemoryHintEngine | 0x7;
constexpr uint32_t kObjectHint = kMemoryHintObject | 0x7;
constexpr uint32_t kListHint = kMemoryHintResize | kMemoryHintObject | 0x8;
constexpr uint32_t kScratchHint = kMemoryHintTemporary | 0x501;

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Material)));
FreeList sMaterialList;
MaterialModuleBlock* sBlock = nullptr;
SurfaceProperties sDefaults = {1.0f, 1.0f, 1.0f};

// ---- The texture side ---------------------------------------------------------------------------

#ifdef WORLD_HAS_TEXTURES
void TextureAddRef(Texture* texture)
{
    ++texture->refCount;
}
void TextureRelease(Texture* texture)
{
    Texture::Destroy(texture);
}
Texture* TextureRead(Stream* stream)
{
    return Texture::StreamRead(stream);
}
bool TextureWrite(const Texture* texture, Stream* stream)
{
    return Texture::StreamWrite(texture, stream) != nullptr;
}
int32_t TextureSize(const Texture* texture)
{
    return Texture::StreamGetSize(texture);
}
bool TextureHasAlpha(const Texture* texture)
{
    if (!texture->raster)
        return false;
    // The raster keeps creation bits 8-15 in its format byte.
    uint32_t format = (uint32_t(texture->raster->format) << 8) & kRasterFormatPixelMask;
    return format == kRasterFormat1555 || format == kRasterFormat4444 || format == kRasterFormat8888;
}
#else
// Without the texture module no texture can exist, so only reading one can be asked for.
void TextureAddRef(Texture*) {}
void TextureRelease(Texture*) {}
Texture* TextureRead(Stream*)
{
    WorldError(kErrStreamRead);
    return nullptr;
}
bool TextureWrite(const Texture*, Stream*)
{
    return false;
}
int32_t TextureSize(const Texture*)
{
    return 0;
}
bool TextureHasAlpha(const Texture*)
{
    return false;
}
#endif

void Put32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

void PutFloat(uint8_t* p, float v)
{
    std::memcpy(p, &v, 4);
}

float GetFloat(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

uint32_t Get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void DestroyRemaining(void* entry, void*)
{
    auto* material = static_cast<Material*>(entry);
    material->refCount = 1;
    Material::Destroy(material);
}

} // namespace

const void* MaterialRaster(const Material* material)
{
#ifdef WORLD_HAS_TEXTURES
    return material->texture ? material->texture->raster : nullptr;
#else
    return nullptr;
#endif
}

// ---- Materials ------------------------------------------------------------------------------------

Material* Material::Create()
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* material = static_cast<Material*>(engine->freeListFunctions.take(sBlock->materials, kObjectHint));
    if (!material)
        return nullptr;
    std::memset(static_cast<void*>(material), 0, sizeof(Material));
    material->colour = {255, 255, 255, 255};
    material->surface = sDefaults;
    material->refCount = 1;
    if (!PluginRegistry::InitObject(&sRegistry, material))
    {
        engine->freeListFunctions.giveBack(sBlock->materials, material);
        return nullptr;
    }
    return material;
}

int32_t Material::Destroy(Material* material)
{
    if (material->refCount > 1)
    {
        --material->refCount;
        return 1;
    }
    PluginRegistry::DeinitObject(&sRegistry, material);
    if (material->texture)
        TextureRelease(material->texture);
    Engine::Current()->freeListFunctions.giveBack(sBlock->materials, material);
    return 1;
}

Material* Material::SetTexture(Material* material, Texture* texture)
{
    if (texture)
        TextureAddRef(texture);
    if (material->texture)
        TextureRelease(material->texture);
    material->texture = texture;
    return material;
}

void Material::SetDefaultSurfaceProperties(const SurfaceProperties* properties)
{
    sDefaults = properties ? *properties : SurfaceProperties{1.0f, 1.0f, 1.0f};
}

const SurfaceProperties* Material::GetDefaultSurfaceProperties()
{
    return &sDefaults;
}

bool Material::IsTransparent(const Material* material)
{
    return material->colour.alpha != 255 || (material->texture && TextureHasAlpha(material->texture));
}

// ---- Material stream ----------------------------------------------------------------------------------

int32_t Material::StreamGetSize(const Material* material)
{
    int32_t size = int32_t(kChunkHeaderSize + kMaterialStructSize);
    if (material->texture)
        size += int32_t(kChunkHeaderSize) + TextureSize(material->texture);
    return size + int32_t(kChunkHeaderSize) + PluginRegistry::GetExtensionSize(&sRegistry, material);
}

const Material* Material::StreamWrite(const Material* material, Stream* stream)
{
    uint8_t body[kMaterialStructSize] = {};
    std::memcpy(body + 4, &material->colour, 4);
    Put32(body + 12, material->texture ? 1 : 0);
    PutFloat(body + 16, material->surface.ambient);
    PutFloat(body + 20, material->surface.specular);
    PutFloat(body + 24, material->surface.diffuse);
    if (!Stream::WriteChunkHeader(stream, kMaterialChunk, uint32_t(StreamGetSize(material)), kLibraryVersion,
                                  kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, kMaterialStructSize, kLibraryVersion, kLibraryBuild) ||
        !Stream::Write(stream, body, kMaterialStructSize))
        return nullptr;
    if (material->texture && !TextureWrite(material->texture, stream))
        return nullptr;
    if (!PluginRegistry::WriteExtensionChunk(&sRegistry, stream, material))
        return nullptr;
    return material;
}

Material* Material::StreamRead(Stream* stream)
{
    uint32_t size = 0, version = 0;
    if (!FindStructChunk(stream, &size, &version))
        return nullptr;
    uint8_t body[kMaterialStructSize] = {};
    uint32_t take = size < kMaterialStructSize ? size : kMaterialStructSize;
    if (Stream::Read(stream, body, take) != take)
        return nullptr;
    if (size > take && !Stream::Skip(stream, size - take))
        return nullptr;
    Material* material = Create();
    if (!material)
        return nullptr;
    std::memcpy(&material->colour, body + 4, 4);
    material->surface = {GetFloat(body + 16), GetFloat(body + 20), GetFloat(body + 24)};
    if (Get32(body + 12))
    {
        if (!Stream::FindChunk(stream, kTextureChunk, nullptr, nullptr))
        {
            Destroy(material);
            return nullptr;
        }
        // A texture that cannot be found leaves the material untextured.
        material->texture = TextureRead(stream);
    }
    RightsRecord* rights = PendingRights(kRightsMaterial);
    *rights = {};
    if (!PluginRegistry::ReadExtensionChunk(&sRegistry, stream, material))
    {
        Destroy(material);
        return nullptr;
    }
    if (rights->pluginId)
        PluginRegistry::CallRightsCallback(&sRegistry, rights->pluginId, material, rights->extraData);
    return material;
}

// ---- Plug-ins ------------------------------------------------------------------------------------------

int32_t Material::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                 PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Material::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                       PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sRegistry, pluginId, read, write, size);
}

int32_t Material::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

PluginRegistry* Material::Registry()
{
    return &sRegistry;
}

void* MaterialModule::Open(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<MaterialModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->materials = FreeList::CreateInStorage(sRegistry.size, kMaterialsPerBlock, 0, 1, &sMaterialList, kModuleHint);
    if (!block->materials)
        return nullptr;
    sBlock = block;
    return engine;
}

void* MaterialModule::Close(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<MaterialModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->materials)
    {
        FreeList::ForAllUsed(block->materials, DestroyRemaining, nullptr);
        FreeList::Destroy(block->materials);
    }
    block->materials = nullptr;
    sBlock = nullptr;
    return engine;
}

// ---- Material lists ----------------------------------------------------------------------------------------

MaterialList* MaterialList::Init(MaterialList* list)
{
    list->materials = nullptr;
    list->count = 0;
    list->capacity = 0;
    return list;
}

MaterialList* MaterialList::Deinit(MaterialList* list)
{
    for (int32_t i = 0; i < list->count; ++i)
        Material::Destroy(list->materials[i]);
    Memory::Free(list->materials);
    return Init(list);
}

int32_t MaterialList::AppendMaterial(MaterialList* list, Material* material)
{
    if (list->count >= list->capacity)
    {
        int32_t capacity = list->capacity + kGrowth;
        size_t bytes = size_t(capacity) * sizeof(Material*);
        void* grown = list->materials ? Memory::Reallocate(list->materials, bytes, kListHint)
                                      : Memory::Allocate(bytes, kListHint);
        if (!grown)
        {
            WorldError(kErrNoMemory);
            return -1;
        }
        list->materials = static_cast<Material**>(grown);
        list->capacity = capacity;
    }
    list->materials[list->count] = material;
    Material::AddRef(material);
    return list->count++;
}

int32_t MaterialList::FindMaterialIndex(const MaterialList* list, const Material* material)
{
    for (int32_t i = list->count - 1; i >= 0; --i)
        if (list->materials[i] == material)
            return i;
    return -1;
}

/// The word of entry k: the nearest earlier entry holding the same material, or -1.
static int32_t SharedWord(const MaterialList* list, int32_t k)
{
    for (int32_t j = k - 1; j >= 0; --j)
        if (list->materials[j] == list->materials[k])
            return j;
    return -1;
}

int32_t MaterialList::StreamGetSize(const MaterialList* list)
{
    int32_t size = int32_t(kChunkHeaderSize) + 4 + 4 * list->count;
    for (int32_t k = 0; k < list->count; ++k)
        if (SharedWord(list, k) < 0)
            size += int32_t(kChunkHeaderSize) + Material::StreamGetSize(list->materials[k]);
    return size;
}

const MaterialList* MaterialList::StreamWrite(const MaterialList* list, Stream* stream)
{
    uint32_t structSize = 4 + 4 * uint32_t(list->count);
    if (!Stream::WriteChunkHeader(stream, kMaterialListChunk, uint32_t(StreamGetSize(list)), kLibraryVersion,
                                  kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, structSize, kLibraryVersion, kLibraryBuild))
        return nullptr;
    uint8_t word[4];
    Put32(word, uint32_t(list->count));
    if (!Stream::Write(stream, word, 4))
        return nullptr;
    for (int32_t k = 0; k < list->count; ++k)
    {
        Put32(word, uint32_t(SharedWord(list, k)));
        if (!Stream::Write(stream, word, 4))
            return nullptr;
    }
    for (int32_t k = 0; k < list->count; ++k)
        if (SharedWord(list, k) < 0 && !Material::StreamWrite(list->materials[k], stream))
            return nullptr;
    return list;
}

MaterialList* MaterialList::StreamRead(Stream* stream, MaterialList* list)
{
    Init(list);
    uint32_t size = 0, version = 0;
    if (!FindStructChunk(stream, &size, &version))
        return nullptr;
    uint8_t word[4];
    if (size < 4 || !Stream::ReadWords(stream, word, 4))
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    uint32_t count = Get32(word);
    if (count == 0)
        return size > 4 && !Stream::Skip(stream, size - 4) ? nullptr : list;
    // The words must lie inside the struct chunk: a count from a damaged file cannot make
    // the reader allocate or read past it.
    if (count > (size - 4) / 4 || count > 0x7FFF)
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    list->materials = static_cast<Material**>(Memory::Allocate(count * sizeof(Material*), kListHint));
    auto* words = static_cast<int32_t*>(Memory::Allocate(count * 4, kScratchHint));
    if (!list->materials || !words)
    {
        Memory::Free(list->materials);
        Memory::Free(words);
        Init(list);
        WorldError(kErrNoMemory);
        return nullptr;
    }
    list->capacity = int32_t(count);
    bool ok = Stream::ReadWords(stream, words, count * 4) != nullptr;
    if (ok && size - 4 > count * 4)
        ok = Stream::Skip(stream, size - 4 - count * 4) != nullptr;
    for (uint32_t k = 0; ok && k < count; ++k)
    {
        int32_t w = words[k];
        if (w < -1)
        {
            WorldError(kErrStreamRead);
            ok = false;
            break;
        }
        if (w >= 0)
        {
            // Only an entry already read may be named again.
            if (w >= list->count)
            {
                WorldError(kErrStreamRead);
                ok = false;
                break;
            }
            AppendMaterial(list, list->materials[w]);
            continue;
        }
        Material* material = nullptr;
        if (Stream::FindChunk(stream, kMaterialChunk, nullptr, nullptr))
            material = Material::StreamRead(stream);
        if (!material)
        {
            ok = false;
            break;
        }
        list->materials[list->count++] = material;
    }
    Memory::Free(words);
    if (!ok)
    {
        Deinit(list);
        return nullptr;
    }
    return list;
}
