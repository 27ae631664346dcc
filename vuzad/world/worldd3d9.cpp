// The Direct3D 9 extras of the world module: registrations at start-up and the device
// restore that marks instanced geometries for a full re-instance.
#include "worldd3d9.h"

#include "atomicnode.h"
#include "clump.h"
#include "d3d9device.h"
#include "engine.h"
#include "geometry.h"
#include "light.h"
#include "pipeline.h"
#include "sectornode.h"
#include "vertexshader.h"
#include "world.h"
#include "world_local.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

D3D9RestoreCallback sSavedRestore = nullptr;
std::vector<Geometry*> sInstanced;
Pipeline* sCreatedAtomicPipeline = nullptr;
Pipeline* sCreatedSectorPipeline = nullptr;
int32_t sGeometryFlagsOffset = -1;
int32_t sSectorFlagsOffset = -1;
int32_t sEngineOpenCount = 0;

void* ZeroWord(void* object, int32_t offset, int32_t)
{
    std::memset(static_cast<char*>(object) + offset, 0, sizeof(uint32_t));
    return object;
}

void* CopyWord(void* destination, const void* source, int32_t offset, int32_t)
{
    std::memcpy(static_cast<char*>(destination) + offset, static_cast<const char*>(source) + offset, sizeof(uint32_t));
    return destination;
}

void* CountOpen(void* engine, int32_t, int32_t)
{
    ++sEngineOpenCount;
    return engine;
}

void* CountClose(void* engine, int32_t, int32_t)
{
    --sEngineOpenCount;
    return engine;
}

/// A new pipeline of the one node, owned by the world module; null when any step fails
/// (the pipeline core has set the error).
Pipeline* BuildPipeline(NodeDefinition* definition)
{
    Pipeline* pipeline = Pipeline::Create();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = kWorldPluginId;
    NodeDefinition* const chain[] = {definition, nullptr};
    if (!Pipeline::Lock(pipeline) || !Pipeline::AppendNodes(pipeline, nullptr, chain) || !Pipeline::Unlock(pipeline))
    {
        Pipeline::Destroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

uint32_t ReadWord(const void* object, int32_t offset)
{
    uint32_t word;
    std::memcpy(&word, static_cast<const char*>(object) + offset, sizeof(word));
    return word;
}

void WriteWord(void* object, int32_t offset, uint32_t word)
{
    std::memcpy(static_cast<char*>(object) + offset, &word, sizeof(word));
}

} // namespace

int32_t WorldD3D9::Attach()
{
    int32_t ok = D3D9Lights::Attach() && VertexShaderFlags::Attach();
    // Attached again after an engine restart: the hook is already ours, so keep the one
    // saved the first time rather than chaining to ourselves.
    D3D9RestoreCallback current = D3D9Device::GetRestoreCallback();
    if (current != InstanceList::RestoreDevice)
        sSavedRestore = current;
    D3D9Device::SetRestoreCallback(InstanceList::RestoreDevice);
    return ok;
}

int32_t VertexShaderFlags::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, CountOpen, CountClose) < 0)
        return 0;
    sGeometryFlagsOffset = Geometry::RegisterPlugin(4, kPluginId, ZeroWord, ZeroWord, CopyWord);
    if (sGeometryFlagsOffset < 0)
        return 0;
    sSectorFlagsOffset = WorldSector::RegisterPlugin(4, kPluginId, ZeroWord, ZeroWord, CopyWord);
    return sSectorFlagsOffset >= 0 ? 1 : 0;
}

uint32_t VertexShaderFlags::Get(const Geometry* geometry)
{
    return ReadWord(geometry, sGeometryFlagsOffset);
}

void VertexShaderFlags::Set(Geometry* geometry, uint32_t flags)
{
    WriteWord(geometry, sGeometryFlagsOffset, flags);
}

uint32_t VertexShaderFlags::Get(const WorldSector* sector)
{
    return sSectorFlagsOffset < 0 ? 0 : ReadWord(sector, sSectorFlagsOffset);
}

void VertexShaderFlags::Set(WorldSector* sector, uint32_t flags)
{
    if (sSectorFlagsOffset >= 0)
        WriteWord(sector, sSectorFlagsOffset, flags);
}

void InstanceList::AddGeometry(Geometry* geometry)
{
    if (std::find(sInstanced.begin(), sInstanced.end(), geometry) == sInstanced.end())
        sInstanced.push_back(geometry);
}

void InstanceList::RemoveGeometry(Geometry* geometry)
{
    sInstanced.erase(std::remove(sInstanced.begin(), sInstanced.end(), geometry), sInstanced.end());
}

int32_t InstanceList::GetCount()
{
    return int32_t(sInstanced.size());
}

void InstanceList::RestoreDevice()
{
    if (sSavedRestore)
        sSavedRestore();
    for (Geometry* geometry : sInstanced)
        geometry->lockedSinceInstance = kGeometryLockAll;
}

int32_t WorldPipelines::Open()
{
    for (int32_t slot : {kAtomicPipelineSlot, kSectorPipelineSlot})
        if (Pipeline** p = Pipeline::DefaultPipelineSlot(slot))
            *p = nullptr;
    sCreatedAtomicPipeline = nullptr;
    sCreatedSectorPipeline = nullptr;
    if (!CreateAtomicPipeline() || !CreateSectorPipeline())
    {
        DestroySectorPipeline();
        DestroyAtomicPipeline();
        return 0;
    }
    return 1;
}

void WorldPipelines::Close()
{
    DestroySectorPipeline();
    DestroyAtomicPipeline();
}

int32_t WorldPipelines::CreateAtomicPipeline()
{
    Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot);
    Pipeline* pipeline = slot ? BuildPipeline(AtomicAllInOneNode::GetDefinition()) : nullptr;
    if (!pipeline)
        return 0;
    sCreatedAtomicPipeline = pipeline;
    *slot = pipeline;
    D3D9Lights::Open();
    VertexShaderCache::Open();
    return 1;
}

int32_t WorldPipelines::CreateSectorPipeline()
{
    Pipeline** slot = Pipeline::DefaultPipelineSlot(kSectorPipelineSlot);
    Pipeline* pipeline = slot ? BuildPipeline(WorldSectorAllInOneNode::GetDefinition()) : nullptr;
    if (!pipeline)
        return 0;
    sCreatedSectorPipeline = pipeline;
    *slot = pipeline;
    return 1;
}

void WorldPipelines::DestroyAtomicPipeline()
{
    sInstanced.clear();
    VertexShaderCache::Close();
    D3D9Lights::Close();
    Atomic::SetDefaultPipeline(nullptr);
    if (sCreatedAtomicPipeline)
        Pipeline::Destroy(sCreatedAtomicPipeline);
    sCreatedAtomicPipeline = nullptr;
    // Nothing is left to run once closed: the slot must not keep the freed pipeline.
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot))
        *slot = nullptr;
}

void WorldPipelines::DestroySectorPipeline()
{
    WorldSector::SetDefaultPipeline(nullptr);
    if (sCreatedSectorPipeline)
        Pipeline::Destroy(sCreatedSectorPipeline);
    sCreatedSectorPipeline = nullptr;
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kSectorPipelineSlot))
        *slot = nullptr;
}

Pipeline* WorldPipelines::GetCreatedAtomicPipeline()
{
    return sCreatedAtomicPipeline;
}

Pipeline* WorldPipelines::GetCreatedSectorPipeline()
{
    return sCreatedSectorPipeline;
}

// ---- Default pipelines of atomics and sectors ------------------------------------------------------

void Atomic::SetDefaultPipeline(Pipeline* pipeline)
{
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot))
        *slot = pipeline ? pipeline : sCreatedAtomicPipeline;
}

void WorldSector::SetDefaultPipeline(Pipeline* pipeline)
{
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kSectorPipelineSlot))
        *slot = pipeline ? pipeline : sCreatedSectorPipeline;
}
