// The world module's start-up and the world side of the ties: adding and removing cameras,
// atomics, clumps and lights, and the world and sector plug-in registries.
#include "world.h"

#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "freelist.h"
#include "geometry.h"
#include "light.h"
#include "material.h"
#include "matrix.h"
#include "resourcearena.h"
#include "world_local.h"
#include "worldd3d9.h"

#include <cstddef>

namespace
{

/// Engine block 1287: the nodes of the world list, one per world read from a stream.
struct WorldListBlock
{
    FreeList* nodes;
    ListLink worlds;
};

constexpr int32_t kWorldListPluginId = 1287;
constexpr int32_t kSectorModulePluginId = 1290;
constexpr int32_t kBinaryWorldPluginId = 1291;
constexpr int32_t kWorldNodesPerBlock = 8;
constexpr uint32_t kWorldListHint = kMemoryHintEngine | 0xB;

struct WorldListNode
{
    World* world;
    size_t blockSize;
    ListLink link;
};

PluginRegistry sWorldRegistry = PluginRegistry::Initial(int32_t(sizeof(World)));
PluginRegistry sSectorRegistry = PluginRegistry::Initial(int32_t(sizeof(WorldSector)));
FreeList sWorldNodeList;
int32_t sSectorOpenCount = 0;
int32_t sBinaryWorldOpenCount = 0;

void* OpenWorldList(void* engine, int32_t offset, int32_t)
{
    if (!WorldPipelines::Open())
        return nullptr;
    auto* block = static_cast<WorldListBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->nodes = FreeList::CreateInStorage(int32_t(sizeof(WorldListNode)), kWorldNodesPerBlock, 0, 1, &sWorldNodeList,
                                             kWorldListHint);
    if (!block->nodes)
    {
        WorldPipelines::Close();
        return nullptr;
    }
    ListLink::Init(&block->worlds);
    return engine;
}

void* CloseWorldList(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<WorldListBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->nodes)
        FreeList::Destroy(block->nodes);
    block->nodes = nullptr;
    WorldPipelines::Close();
    return engine;
}

void* OpenSectors(void* engine, int32_t, int32_t)
{
    ++sSectorOpenCount;
    return engine;
}

void* CloseSectors(void* engine, int32_t, int32_t)
{
    --sSectorOpenCount;
    return engine;
}

void* OpenBinaryWorlds(void* engine, int32_t, int32_t)
{
    ++sBinaryWorldOpenCount;
    return engine;
}

void* CloseBinaryWorlds(void* engine, int32_t, int32_t)
{
    --sBinaryWorldOpenCount;
    return engine;
}

void LinkLight(World* world, Light* light)
{
    LightWorld(light)->world = world;
    if (light->object.subType & kLightLocal)
    {
        MarkFrameDirty(light->object.frame);
        ListLink::InsertAtHead(&world->localLights, &light->worldLink);
    }
    else
        ListLink::InsertAtHead(&world->globalLights, &light->worldLink);
}

void FreeInstanceData(Atomic* atomic)
{
    if (atomic->instanceData)
        ResourceArena::Free(atomic->instanceData);
}

template <typename Visit> void ForClumpLights(Clump* clump, Visit visit)
{
    for (ListLink* link = clump->lights.next; link != &clump->lights;)
    {
        ListLink* next = link->next;
        visit(reinterpret_cast<Light*>(reinterpret_cast<char*>(link) - offsetof(ClumpExtension, link) -
                                       Light::GetPluginOffset(kClumpExtensionPluginId)));
        link = next;
    }
}

template <typename Visit> void ForClumpCameras(Clump* clump, Visit visit)
{
    for (ListLink* link = clump->cameras.next; link != &clump->cameras;)
    {
        ListLink* next = link->next;
        visit(reinterpret_cast<Camera*>(reinterpret_cast<char*>(link) - offsetof(ClumpExtension, link) -
                                        Camera::GetPluginOffset(kClumpExtensionPluginId)));
        link = next;
    }
}

} // namespace

// ---- Records ----------------------------------------------------------------------------------------

void World::InitRecord(World* world)
{
    world->type = kObjectType;
    world->renderOrder = kWorldBackToFront;
    world->numClumps = 0;
    world->currentClumpLink = nullptr;
    ListLink::Init(&world->clumps);
    ListLink::Init(&world->localLights);
    ListLink::Init(&world->globalLights);
}

void WorldSector::InitLeaf(WorldSector* sector)
{
    sector->type = kSectorLeaf;
    ListLink::Init(&sector->atomicTies);
    ListLink::Init(&sector->lightTies);
}

World* WorldSector::GetWorld(const WorldSector*)
{
    // Sectors are reached through the world being read or drawn.
    Engine* engine = Engine::Current();
    return engine ? static_cast<World*>(engine->currentWorld) : nullptr;
}

// ---- Start-up -----------------------------------------------------------------------------------------

int32_t World::Attach()
{
    const int32_t offsets[] = {
        Engine::RegisterPlugin(int32_t(sizeof(void*)), 1281, MaterialModule::Open, MaterialModule::Close),
        Engine::RegisterPlugin(MeshModule::BlockSize(), 1282, MeshModule::Open, MeshModule::Close),
        Engine::RegisterPlugin(4, 1283, GeometryModule::Open, GeometryModule::Close),
        Engine::RegisterPlugin(int32_t(2 * sizeof(void*)), Clump::kPluginId, Clump::OpenModule, Clump::CloseModule),
        Engine::RegisterPlugin(int32_t(sizeof(void*)), Light::kPluginId, Light::OpenModule, Light::CloseModule),
        Engine::RegisterPlugin(0, kSectorModulePluginId, OpenSectors, CloseSectors),
        Engine::RegisterPlugin(int32_t(sizeof(WorldListBlock)), kWorldListPluginId, OpenWorldList, CloseWorldList),
        Engine::RegisterPlugin(0, kBinaryWorldPluginId, OpenBinaryWorlds, CloseBinaryWorlds),
    };
    for (int32_t offset : offsets)
        if (offset < 0)
            return 0;
    if (!WorldObjects::Attach() || !Clump::AttachExtensions())
        return 0;
    return WorldD3D9::Attach();
}

// ---- Ties -------------------------------------------------------------------------------------------------

World* World::AddCamera(World* world, Camera* camera)
{
    MarkFrameDirty(camera->object.frame);
    CameraWorld(camera)->world = world;
    return world;
}

World* World::RemoveCamera(World* world, Camera* camera)
{
    CameraWorldData* data = CameraWorld(camera);
    if (!data->world)
        return nullptr;
    data->world = nullptr;
    data->count = 0;
    return world;
}

World* World::AddAtomic(World* world, Atomic* atomic)
{
    MarkFrameDirty(atomic->object.frame);
    AtomicWorld(atomic)->world = world;
    return world;
}

World* World::RemoveAtomic(World* world, Atomic* atomic)
{
    FreeInstanceData(atomic);
    UntieAtomic(atomic);
    AtomicWorld(atomic)->world = nullptr;
    return world;
}

World* World::AddLight(World* world, Light* light)
{
    LinkLight(world, light);
    return world;
}

World* World::RemoveLight(World* world, Light* light)
{
    LightWorld(light)->world = nullptr;
    UntieLight(light);
    ListLink::Unlink(&light->worldLink);
    return world;
}

World* World::AddClump(World* world, Clump* clump)
{
    ListLink::InsertAtHead(&world->clumps, &clump->worldLink);
    ++world->numClumps;
    ClumpWorld(clump)->world = world;
    for (ListLink* link = clump->atomics.next; link != &clump->atomics; link = link->next)
        AddAtomic(world, Atomic::FromClumpLink(link));
    ForClumpLights(clump, [&](Light* light) { LinkLight(world, light); });
    ForClumpCameras(clump, [&](Camera* camera) { AddCamera(world, camera); });
    if (clump->frame)
    {
        Matrix::Optimize(&clump->frame->modelling, nullptr);
        MarkFrameDirty(clump->frame);
    }
    return world;
}

World* World::RemoveClump(World* world, Clump* clump)
{
    ObjectWorldData* data = ClumpWorld(clump);
    if (!data->world)
    {
        WorldError(kWorldErrClumpNotInWorld);
        return nullptr;
    }
    --world->numClumps;
    if (world->currentClumpLink == &clump->worldLink)
        world->currentClumpLink = clump->worldLink.next;
    ListLink::Unlink(&clump->worldLink);
    for (ListLink* link = clump->atomics.next; link != &clump->atomics; link = link->next)
    {
        Atomic* atomic = Atomic::FromClumpLink(link);
        if (Atomic::GetWorld(atomic) == world)
            RemoveAtomic(world, atomic);
    }
    ForClumpLights(clump,
                   [&](Light* light)
                   {
                       if (Light::GetWorld(light) == world)
                           RemoveLight(world, light);
                   });
    ForClumpCameras(clump,
                    [&](Camera* camera)
                    {
                        if (WorldCamera::GetWorld(camera) == world)
                            RemoveCamera(world, camera);
                    });
    data->world = nullptr;
    return world;
}

// ---- Plug-ins -------------------------------------------------------------------------------------------

int32_t World::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sWorldRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t World::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                    PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sWorldRegistry, pluginId, read, write, size);
}

int32_t World::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sWorldRegistry, pluginId);
}

PluginRegistry* World::Registry()
{
    return &sWorldRegistry;
}

int32_t WorldSector::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                    PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sSectorRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t WorldSector::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                          PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sSectorRegistry, pluginId, read, write, size);
}

int32_t WorldSector::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sSectorRegistry, pluginId);
}

PluginRegistry* WorldSector::Registry()
{
    return &sSectorRegistry;
}
