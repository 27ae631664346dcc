// The Direct3D 9 extras of the world module: registrations at start-up and the device
// restore that marks instanced geometries for a full re-instance.
#include "worldd3d9.h"

#include "atomicnode.h"
#include "d3d9device.h"
#include "engine.h"
#include "geometry.h"
#include "light.h"
#include "pipeline.h"
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
int32_t sGeometryFlagsOffset = -1;
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
    return WorldSector::RegisterPlugin(4, kPluginId, ZeroWord, ZeroWord, CopyWord) >= 0 ? 1 : 0;
}

uint32_t VertexShaderFlags::Get(const Geometry* geometry)
{
    uint32_t flags;
    std::memcpy(&flags, reinterpret_cast<const char*>(geometry) + sGeometryFlagsOffset, sizeof(flags));
    return flags;
}

void VertexShaderFlags::Set(Geometry* geometry, uint32_t flags)
{
    std::memcpy(reinterpret_cast<char*>(geometry) + sGeometryFlagsOffset, &flags, sizeof(flags));
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
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot))
        *slot = nullptr;
    sCreatedAtomicPipeline = nullptr;
    if (!CreateAtomicPipeline())
    {
        DestroyAtomicPipeline();
        return 0;
    }
    return 1;
}

void WorldPipelines::Close()
{
    DestroyAtomicPipeline();
}

int32_t WorldPipelines::CreateAtomicPipeline()
{
    Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot);
    Pipeline* pipeline = slot ? Pipeline::Create() : nullptr;
    if (!pipeline)
        return 0;
    pipeline->pluginId = kWorldPluginId;
    NodeDefinition* const chain[] = {AtomicAllInOneNode::GetDefinition(), nullptr};
    if (!Pipeline::Lock(pipeline) || !Pipeline::AppendNodes(pipeline, nullptr, chain) || !Pipeline::Unlock(pipeline))
    {
        Pipeline::Destroy(pipeline);
        return 0;
    }
    sCreatedAtomicPipeline = pipeline;
    *slot = pipeline;
    D3D9Lights::Open();
    VertexShaderCache::Open();
    return 1;
}

void WorldPipelines::DestroyAtomicPipeline()
{
    sInstanced.clear();
    VertexShaderCache::Close();
    D3D9Lights::Close();
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot))
        *slot = sCreatedAtomicPipeline;
    if (sCreatedAtomicPipeline)
        Pipeline::Destroy(sCreatedAtomicPipeline);
    sCreatedAtomicPipeline = nullptr;
    if (Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot))
        *slot = nullptr;
}
