// The material-effects plug-in: attach, engine open and close, the record pool, the material,
// atomic and world-sector extensions, and the operations that set a material's effects.
#include "matfx.h"

#include "clump.h"
#include "engine.h"
#include "freelist.h"
#include "material.h"
#include "memory.h"
#include "texture.h"
#include "uvanim.h"
#include "world.h"

#include <cstring>

namespace
{

constexpr uint32_t kPoolHint = kMemoryHintEngine | MatFx::kPluginId;
constexpr uint32_t kRecordHint = kMemoryHintObject | MatFx::kPluginId;
constexpr int32_t kRecordsPerBlock = 128;

// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sOpenCount = 0;
int32_t sMaterialOffset = -1;
int32_t sAtomicOffset = -1;
int32_t sSectorOffset = -1;
FreeList* sPool = nullptr;

MatFxMaterialExtension* Extension(void* material, int32_t offset)
{
    return reinterpret_cast<MatFxMaterialExtension*>(static_cast<char*>(material) + offset);
}

void Release(Texture*& texture)
{
    if (texture)
        Texture::Destroy(texture);
    texture = nullptr;
}

void AddRef(Texture* texture)
{
    if (texture)
        ++texture->refCount;
}

MatFxMaterialData* NewRecord()
{
    if (!sPool)
        return nullptr;
    auto* data = static_cast<MatFxMaterialData*>(Engine::Current()->freeListFunctions.take(sPool, kRecordHint));
    if (data)
        std::memset(data, 0, sizeof(*data));
    return data;
}

void* MaterialConstructor(void* object, int32_t offset, int32_t)
{
    Extension(object, offset)->data = nullptr;
    return object;
}

void* MaterialDestructor(void* object, int32_t offset, int32_t)
{
    MatFxMaterialExtension* ext = Extension(object, offset);
    if (ext->data)
    {
        MatFx::ClearMaterialData(ext->data);
        if (sPool)
            Engine::Current()->freeListFunctions.giveBack(sPool, ext->data);
        ext->data = nullptr;
    }
    return object;
}

void* MaterialCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    const MatFxMaterialData* from =
        reinterpret_cast<const MatFxMaterialExtension*>(static_cast<const char*>(source) + offset)->data;
    if (!from)
        return destination;
    auto* material = static_cast<Material*>(destination);
    if (!MatFx::SetEffects(material, from->kind))
        return nullptr;
    MatFxMaterialData* to = Extension(destination, offset)->data;
    for (int i = 0; i < 2; ++i)
    {
        const MatFxEffectSlot& s = from->slots[i];
        MatFxEffectSlot& d = to->slots[i];
        if (d.type != s.type)
            continue;
        switch (s.type)
        {
        case kMatFxSlotBump:
            AddRef(s.bump.drawnTexture);
            AddRef(s.bump.bumpMap);
            Release(d.bump.drawnTexture);
            Release(d.bump.bumpMap);
            d.bump = s.bump;
            break;
        case kMatFxSlotEnv:
            AddRef(s.env.texture);
            Release(d.env.texture);
            d.env = s.env;
            break;
        case kMatFxSlotDual:
            AddRef(s.dual.texture);
            Release(d.dual.texture);
            d.dual = s.dual;
            break;
        case kMatFxSlotUVTransform:
            d.uv = s.uv;
            break;
        default:
            break;
        }
    }
    return destination;
}

// Constructor and destructor of the atomic and sector flags.
void* FlagInit(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<MatFxObjectFlag*>(static_cast<char*>(object) + offset)->enabled = 0;
    return object;
}

void* FlagCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    *reinterpret_cast<MatFxObjectFlag*>(static_cast<char*>(destination) + offset) =
        *reinterpret_cast<const MatFxObjectFlag*>(static_cast<const char*>(source) + offset);
    return destination;
}

} // namespace

namespace
{
// UV animation writes its channel matrices into the material's UV-transform slot; only
// materials that carry one are animated.
int32_t HasUVTransformSlot(const Material* material)
{
    return MatFx::FindSlot(MatFx::GetData(material), kMatFxSlotUVTransform) ? 1 : 0;
}

void SetAnimatedUVMatrices(Material* material, Matrix* first, Matrix* second)
{
    MatFx::SetUVTransformMatrices(material, first, second);
}

const UVAnimTransformTarget kUVAnimTarget = {HasUVTransformSlot, SetAnimatedUVMatrices};
} // namespace

int32_t MatFx::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) < 0)
        return 0;
    if (Keep(&sMaterialOffset, Material::RegisterPlugin(int32_t(sizeof(MatFxMaterialExtension)), kPluginId,
                                                        MaterialConstructor, MaterialDestructor, MaterialCopy)) < 0 ||
        Material::RegisterPluginStream(kPluginId, MaterialStreamRead, MaterialStreamWrite, MaterialStreamGetSize) < 0)
        return 0;
    if (Keep(&sAtomicOffset,
             Atomic::RegisterPlugin(int32_t(sizeof(MatFxObjectFlag)), kPluginId, FlagInit, FlagInit, FlagCopy)) < 0 ||
        Atomic::RegisterPluginStream(kPluginId, AtomicFlagRead, FlagWrite, FlagSize) < 0)
        return 0;
    if (Keep(&sSectorOffset, WorldSector::RegisterPlugin(int32_t(sizeof(MatFxObjectFlag)), kPluginId, FlagInit,
                                                         FlagInit, FlagCopy)) < 0 ||
        WorldSector::RegisterPluginStream(kPluginId, SectorFlagRead, FlagWrite, FlagSize) < 0)
        return 0;
    if (AttachBumpKey() < 0)
        return 0;
    UVAnim::SetTransformTarget(&kUVAnimTarget);
    return 1;
}

void* MatFx::EngineOpen(void* engine, int32_t, int32_t)
{
    if (sOpenCount == 0)
    {
        sPool = FreeList::Create(int32_t(sizeof(MatFxMaterialData)), kRecordsPerBlock, 8, kPoolHint);
        if (!sPool)
            return nullptr;
        CreatePipelines();
    }
    ++sOpenCount;
    return engine;
}

void* MatFx::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0 && --sOpenCount == 0)
    {
        DestroyPipelines();
        if (sPool)
            FreeList::Destroy(sPool);
        sPool = nullptr;
    }
    return engine;
}

int32_t MatFx::GetOpenCount()
{
    return sOpenCount;
}

int32_t MatFx::GetMaterialOffset()
{
    return sMaterialOffset;
}

int32_t MatFx::GetAtomicOffset()
{
    return sAtomicOffset;
}

int32_t MatFx::GetSectorOffset()
{
    return sSectorOffset;
}

// ---- Effects ---------------------------------------------------------------------------------------

MatFxMaterialData* MatFx::GetData(const Material* material)
{
    if (!material || sMaterialOffset < 0)
        return nullptr;
    return reinterpret_cast<const MatFxMaterialExtension*>(reinterpret_cast<const char*>(material) + sMaterialOffset)
        ->data;
}

int32_t MatFx::GetKind(const Material* material)
{
    const MatFxMaterialData* data = GetData(material);
    return data ? data->kind : kMatFxNone;
}

MatFxEffectSlot* MatFx::FindSlot(MatFxMaterialData* data, int32_t type)
{
    if (!data)
        return nullptr;
    for (MatFxEffectSlot& slot : data->slots)
        if (slot.type == type)
            return &slot;
    return nullptr;
}

MatFxMaterialData* MatFx::ClearMaterialData(MatFxMaterialData* data)
{
    for (MatFxEffectSlot& slot : data->slots)
        switch (slot.type)
        {
        case kMatFxSlotBump:
            Release(slot.bump.drawnTexture);
            Release(slot.bump.bumpMap);
            break;
        case kMatFxSlotEnv:
            Release(slot.env.texture);
            break;
        case kMatFxSlotDual:
            Release(slot.dual.texture);
            break;
        default:
            break;
        }
    std::memset(data, 0, sizeof(*data));
    return data;
}

Material* MatFx::SetEffects(Material* material, int32_t kind)
{
    if (!material || sMaterialOffset < 0 || kind < kMatFxNone || kind >= kMatFxKindCount)
        return nullptr;
    MatFxMaterialExtension* ext = Extension(material, sMaterialOffset);
    if (!ext->data)
    {
        ext->data = NewRecord();
        if (!ext->data)
            return nullptr;
    }
    MatFxMaterialData* data = ext->data;
    if (kind == kMatFxNone || (data->kind != kMatFxNone && data->kind != kind))
        ClearMaterialData(data);
    else if (data->kind == kind)
        return material;
    data->kind = kind;
    MatFxEffectSlot* s = data->slots;
    auto dual = [](MatFxEffectSlot& slot)
    {
        slot.type = kMatFxSlotDual;
        slot.dual.sourceBlend = kDefaultSourceBlend;
        slot.dual.destBlend = kDefaultDestBlend;
    };
    switch (kind)
    {
    case kMatFxBumpMap:
        s[0].type = kMatFxSlotBump;
        break;
    case kMatFxEnvMap:
        s[0].type = kMatFxSlotEnv;
        break;
    case kMatFxBumpEnvMap:
        s[0].type = kMatFxSlotBump;
        s[1].type = kMatFxSlotEnv;
        break;
    case kMatFxDual:
        dual(s[0]);
        break;
    case kMatFxUVTransform:
        s[0].type = kMatFxSlotUVTransform;
        break;
    case kMatFxDualUVTransform:
        s[0].type = kMatFxSlotUVTransform;
        dual(s[1]);
        break;
    default:
        break;
    }
    return material;
}

Material* MatFx::SetDualBlendModes(Material* material, int32_t sourceBlend, int32_t destBlend)
{
    MatFxEffectSlot* slot = FindSlot(GetData(material), kMatFxSlotDual);
    if (!slot)
        return nullptr;
    slot->dual.sourceBlend = sourceBlend;
    slot->dual.destBlend = destBlend;
    return material;
}

void MatFx::SetUVTransformMatrices(Material* material, const Matrix* base, const Matrix* dual)
{
    MatFxEffectSlot* slot = FindSlot(GetData(material), kMatFxSlotUVTransform);
    if (!slot)
        return;
    slot->uv.baseTransform = base;
    slot->uv.dualTransform = dual;
}

Atomic* MatFx::EnableAtomic(Atomic* atomic)
{
    atomic->pipeline = GetAtomicPipeline();
    return atomic;
}

WorldSector* MatFx::EnableWorldSector(WorldSector* sector)
{
    sector->pipeline = GetSectorPipeline();
    return sector;
}
