// The skin plug-in's attach, engine open and close, records, extensions, weight order,
// device evaluation and pipeline assignment. The stream layouts are in skinstream.cpp.
#include "skin.h"

#include "clump.h"
#include "d3d9device.h"
#include "engine.h"
#include "freelist.h"
#include "geometry.h"
#include "matfx.h"
#include "matrix.h"
#include "memory.h"
#include "pipeline.h"
#include "skinpipeline.h"

#include <cstring>
#include <utility>

namespace
{

constexpr uint32_t kHintSkin = kMemoryHintObject | 0x116;
constexpr uint32_t kHintModule = kMemoryHintEngine | 0x116;
constexpr int32_t kPaletteEntries = 256;
constexpr int32_t kPipelineSlots = 4;

// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sOpenCount = 0;
int32_t sAtomicOffset = -1;
int32_t sGeometryOffset = -1;
FreeList* sSkinList = nullptr;
void* sPaletteBlock = nullptr;
Matrix* sPalette = nullptr;
Pipeline* sPipelines[kPipelineSlots] = {};
SkinDeviceCaps sCaps = {};

SkinAtomicExtension* AtomicExt(const void* atomic)
{
    return reinterpret_cast<SkinAtomicExtension*>(const_cast<char*>(static_cast<const char*>(atomic)) + sAtomicOffset);
}

SkinGeometryExtension* GeometryExt(const void* geometry)
{
    return reinterpret_cast<SkinGeometryExtension*>(const_cast<char*>(static_cast<const char*>(geometry)) +
                                                    sGeometryOffset);
}

void* AtomicExtInit(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<SkinAtomicExtension*>(static_cast<char*>(object) + offset)->hierarchy = nullptr;
    return object;
}

// A clone is driven by the same hierarchy.
void* AtomicExtCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    *reinterpret_cast<SkinAtomicExtension*>(static_cast<char*>(destination) + offset) =
        *reinterpret_cast<const SkinAtomicExtension*>(static_cast<const char*>(source) + offset);
    return destination;
}

void* GeometryExtInit(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<SkinGeometryExtension*>(static_cast<char*>(object) + offset)->skin = nullptr;
    return object;
}

void* GeometryExtDestroy(void* object, int32_t offset, int32_t)
{
    auto* ext = reinterpret_cast<SkinGeometryExtension*>(static_cast<char*>(object) + offset);
    Skin::Destroy(ext->skin);
    ext->skin = nullptr;
    return object;
}

// The kind only chooses among plug-ins that may be missing; the pipeline is the same.
int32_t PipelineKind(Atomic* atomic)
{
    const int32_t matfx = MatFx::GetAtomicOffset();
    if (matfx >= 0 && *reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(atomic) + matfx) != 0)
        return 2;
    return 1;
}

void* AtomicPostRead(void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    if (atomic->geometry && SkinGeometry::GetSkin(atomic->geometry))
        SkinAtomic::SetSkinPipeline(atomic, PipelineKind(atomic));
    return object;
}

int32_t AtomicRenderOwner(void* object, int32_t, int32_t, uint32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    if (atomic->geometry && SkinGeometry::GetSkin(atomic->geometry))
        SkinAtomic::SetSkinPipeline(atomic, PipelineKind(atomic));
    return 1;
}

} // namespace

// ---- Plug-in ------------------------------------------------------------------------------

int32_t Skin::Attach()
{
    // Every registration is checked: a refused one must fail the engine's start-up.
    if (Engine::RegisterPlugin(0, kPluginId, SkinPlugin::EngineOpen, SkinPlugin::EngineClose) < 0)
        return 0;
    if (Keep(&sAtomicOffset, Atomic::RegisterPlugin(int32_t(sizeof(SkinAtomicExtension)), kPluginId, AtomicExtInit,
                                                    AtomicExtInit, AtomicExtCopy)) < 0)
        return 0;
    if (Atomic::RegisterPluginStream(kPluginId, AtomicStreamRead, nullptr, nullptr) < 0 ||
        Atomic::SetPluginPostReadCallback(kPluginId, AtomicPostRead) < 0 ||
        Atomic::SetPluginRenderOwnerCallback(kPluginId, AtomicRenderOwner) < 0)
        return 0;
    if (Keep(&sGeometryOffset, Geometry::RegisterPlugin(int32_t(sizeof(SkinGeometryExtension)), kPluginId,
                                                        GeometryExtInit, GeometryExtDestroy, nullptr)) < 0)
        return 0;
    return Geometry::RegisterPluginStream(kPluginId, StreamRead, StreamWrite, StreamGetSize) >= 0 ? 1 : 0;
}

int32_t Skin::GetAtomicOffset()
{
    return sAtomicOffset;
}

int32_t Skin::GetGeometryOffset()
{
    return sGeometryOffset;
}

void* SkinPlugin::EngineOpen(void* engine, int32_t, int32_t)
{
    if (sOpenCount == 0)
    {
        sSkinList = FreeList::Create(int32_t(sizeof(Skin)), 32, 16, kHintModule);
        sPaletteBlock = Memory::AllocateZeroed(1, sizeof(Matrix) * kPaletteEntries + 15, kHintModule);
        if (!sSkinList || !sPaletteBlock)
        {
            if (sSkinList)
                FreeList::Destroy(sSkinList);
            Memory::Free(sPaletteBlock);
            sSkinList = nullptr;
            sPaletteBlock = nullptr;
            return nullptr;
        }
        sPalette = reinterpret_cast<Matrix*>((reinterpret_cast<uintptr_t>(sPaletteBlock) + 15) & ~uintptr_t(15));
        // A failed pipeline leaves skinned atomics on the default one; the open still counts.
        CreatePipelines();
    }
    ++sOpenCount;
    return engine;
}

void* SkinPlugin::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0 && --sOpenCount == 0)
    {
        DestroyPipelines();
        FreeList::Destroy(sSkinList);
        Memory::Free(sPaletteBlock);
        sSkinList = nullptr;
        sPaletteBlock = nullptr;
        sPalette = nullptr;
    }
    return engine;
}

int32_t SkinPlugin::GetOpenCount()
{
    return sOpenCount;
}

SkinDeviceCaps SkinPlugin::EvaluateCaps(uint32_t devCaps, uint32_t vertexShaderVersion, uint32_t pixelShaderVersion,
                                        uint32_t maxVertexShaderConst)
{
    SkinDeviceCaps caps = {};
    caps.hardwareVertexProcessing = (devCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? 1 : 0;
    if (caps.hardwareVertexProcessing && (vertexShaderVersion & 0xFFFF) > 0x100 &&
        (pixelShaderVersion & 0xFFFF) > 0x100 && maxVertexShaderConst >= 12)
    {
        caps.hardwareSkinning = 1;
        caps.maxVertexShaderConstants = int32_t(maxVertexShaderConst);
        // Twelve registers hold the transform and lighting; each bone takes three.
        caps.hardwareBoneLimit = (caps.maxVertexShaderConstants - 12) / 3;
    }
    return caps;
}

const SkinDeviceCaps& SkinPlugin::GetCaps()
{
    return sCaps;
}

void SkinPlugin::SetCaps(const SkinDeviceCaps& caps)
{
    sCaps = caps;
}

Matrix* SkinPlugin::GetPalette()
{
    return sPalette;
}

Pipeline* SkinPlugin::GetPipeline(int32_t slot)
{
    return slot >= 0 && slot < kPipelineSlots ? sPipelines[slot] : nullptr;
}

void SkinPlugin::CreatePipelines()
{
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    sCaps = caps ? EvaluateCaps(caps->DevCaps, caps->VertexShaderVersion, caps->PixelShaderVersion,
                                caps->MaxVertexShaderConst)
                 : SkinDeviceCaps{};
    sPipelines[0] = SkinPipeline::Create();
}

void SkinPlugin::DestroyPipelines()
{
    for (Pipeline*& pipeline : sPipelines)
    {
        Pipeline::Destroy(pipeline);
        pipeline = nullptr;
    }
}

// ---- Records ------------------------------------------------------------------------------

Skin* Skin::Create()
{
    if (!sSkinList)
        return nullptr;
    auto* skin = static_cast<Skin*>(FreeList::Alloc(sSkinList, kHintSkin));
    if (skin)
        std::memset(skin, 0, sizeof(Skin));
    return skin;
}

Skin* Skin::Destroy(Skin* skin)
{
    if (!skin)
        return nullptr;
    Memory::Free(skin->data);
    Memory::Free(skin->splitBlock);
    if (sSkinList)
        FreeList::Free(sSkinList, skin);
    return nullptr;
}

int32_t Skin::AllocateData(Skin* skin, int32_t boneCount, int32_t usedBoneCount, int32_t vertexCount,
                           const uint8_t* usedBones, const float* weights, const uint32_t* boneIndices,
                           const Matrix* inverseMatrices)
{
    if (!skin || boneCount < 0 || boneCount > kMaxBones || usedBoneCount < 0 || usedBoneCount > 256 ||
        vertexCount < 0 || vertexCount > 65535)
        return 0;
    const size_t size = size_t(boneCount) * 64 + size_t(vertexCount) * 20 + size_t(usedBoneCount) + 15;
    void* data = Memory::AllocateZeroed(1, size, kHintSkin);
    if (!data)
        return 0;
    Memory::Free(skin->data);
    auto* bytes = static_cast<uint8_t*>(data);
    skin->data = data;
    skin->boneCount = boneCount;
    skin->usedBoneCount = usedBoneCount;
    skin->vertexCount = vertexCount;
    skin->usedBones = bytes;
    const uintptr_t matrices = (reinterpret_cast<uintptr_t>(bytes + usedBoneCount) + 15) & ~uintptr_t(15);
    skin->inverseMatrices = reinterpret_cast<Matrix*>(matrices);
    skin->vertexBoneIndices = reinterpret_cast<uint32_t*>(skin->inverseMatrices + boneCount);
    skin->vertexWeights = reinterpret_cast<float*>(skin->vertexBoneIndices + vertexCount);
    if (usedBones)
        std::memcpy(skin->usedBones, usedBones, size_t(usedBoneCount));
    if (inverseMatrices)
        std::memcpy(skin->inverseMatrices, inverseMatrices, sizeof(Matrix) * size_t(boneCount));
    if (boneIndices)
        std::memcpy(skin->vertexBoneIndices, boneIndices, 4 * size_t(vertexCount));
    if (weights)
        std::memcpy(skin->vertexWeights, weights, 16 * size_t(vertexCount));
    return 1;
}

void Skin::ComputeUsedBones(const Skin* skin, const uint32_t* boneIndices, const float* weights, uint8_t* list,
                            int32_t* count, int32_t vertexCount)
{
    bool seen[256] = {};
    *count = 0;
    const int32_t slots = skin->maxWeights < 4 ? skin->maxWeights : 4;
    for (int32_t v = 0; v < vertexCount; ++v)
        for (int32_t k = 0; k < slots; ++k)
        {
            if (weights[4 * v + k] == 0.0f)
                continue;
            const uint8_t bone = uint8_t(boneIndices[v] >> (8 * k));
            if (!seen[bone])
            {
                seen[bone] = true;
                list[(*count)++] = bone;
            }
        }
}

void Skin::SortVertexWeights(Skin* skin)
{
    // A native skin keeps no weights: there is nothing to order.
    if (!skin || !skin->data)
        return;
    for (int32_t v = 0; v < skin->vertexCount; ++v)
    {
        float* w = skin->vertexWeights + 4 * v;
        if (!(w[0] < 1.0f))
            continue;
        uint8_t b[4];
        for (int k = 0; k < 4; ++k)
            b[k] = uint8_t(skin->vertexBoneIndices[v] >> (8 * k));
        for (bool swapped = true; swapped;)
        {
            swapped = false;
            for (int k = 0; k < 3; ++k)
                if (w[k] < w[k + 1])
                {
                    std::swap(w[k], w[k + 1]);
                    std::swap(b[k], b[k + 1]);
                    swapped = true;
                }
        }
        skin->vertexBoneIndices[v] = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    uint8_t* used = skin->usedBones;
    for (int32_t i = 1; i < skin->usedBoneCount; ++i)
        for (int32_t j = i; j > 0 && used[j - 1] > used[j]; --j)
            std::swap(used[j - 1], used[j]);
}

float* Skin::GetVertexBoneWeights(Skin* skin)
{
    return skin ? skin->vertexWeights : nullptr;
}

// ---- Engine objects --------------------------------------------------------------------------

Skin* SkinGeometry::GetSkin(const Geometry* geometry)
{
    return geometry && sGeometryOffset >= 0 ? GeometryExt(geometry)->skin : nullptr;
}

Geometry* SkinGeometry::SetSkin(Geometry* geometry, Skin* skin)
{
    if (!geometry || sGeometryOffset < 0)
        return geometry;
    SkinGeometryExtension* ext = GeometryExt(geometry);
    if (ext->skin == skin)
        return geometry;
    // The geometry owns its skin: a replaced one would otherwise leak.
    Skin::Destroy(ext->skin);
    ext->skin = skin;
    Skin::SortVertexWeights(skin);
    return geometry;
}

Atomic* SkinAtomic::SetSkinHierarchy(Atomic* atomic, Hierarchy* hierarchy)
{
    if (atomic && sAtomicOffset >= 0)
        AtomicExt(atomic)->hierarchy = hierarchy;
    return atomic;
}

Hierarchy* SkinAtomic::GetSkinHierarchy(const Atomic* atomic)
{
    return atomic && sAtomicOffset >= 0 ? AtomicExt(atomic)->hierarchy : nullptr;
}

Atomic* SkinAtomic::SetSkinPipeline(Atomic* atomic, int32_t)
{
    if (atomic)
        atomic->pipeline = sPipelines[0];
    return atomic;
}
