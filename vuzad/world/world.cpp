// The world module's start-up, the list of worlds read from streams, the world side of the
// ties (adding and removing cameras, atomics, clumps and lights), the render walk over the
// current camera's frustum sectors, and the world and sector plug-in registries.
#include "world.h"

#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "freelist.h"
#include "geometry.h"
#include "light.h"
#include "material.h"
#include "matrix.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "world_local.h"
#include "worldd3d9.h"

#include <cstddef>
#include <utility>

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
WorldListBlock* sWorldList = nullptr;
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
    sWorldList = block;
    return engine;
}

void* CloseWorldList(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<WorldListBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->nodes)
        FreeList::Destroy(block->nodes);
    block->nodes = nullptr;
    sWorldList = nullptr;
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

WorldListNode* FromListLink(ListLink* link)
{
    return reinterpret_cast<WorldListNode*>(reinterpret_cast<char*>(link) - offsetof(WorldListNode, link));
}

bool TreeHolds(const World* world, const WorldSector* sector)
{
    std::pair<const WorldSector*, bool> look = {sector, false};
    World::ForAllSectors(
        const_cast<World*>(world),
        [](WorldSector* s, void* d) -> WorldSector*
        {
            auto* l = static_cast<std::pair<const WorldSector*, bool>*>(d);
            l->second = s == l->first;
            return l->second ? nullptr : s;
        },
        &look);
    return look.second;
}

/// Draws the atomics tied to one frustum sector that have not been handled yet in this
/// camera update.
WorldSector* RenderSectorAtomics(WorldSector* sector, void* data)
{
    if (!WorldSector::Render(sector))
        return sector;
    auto* camera = static_cast<Camera*>(data);
    uint32_t frame = Engine::Current()->renderFrame;
    for (ListLink* link = sector->atomicTies.next; link != &sector->atomicTies;)
    {
        ListLink* next = link->next;
        auto* atomic = static_cast<Atomic*>(SectorTie::FromSectorLink(link)->object);
        link = next;
        if (!(atomic->object.flags & kAtomicRender) || atomic->renderStamp == frame)
            continue;
        atomic->renderStamp = frame;
        if (Camera::FrustumTestSphere(camera, Atomic::GetWorldBoundingSphere(atomic)) != kFrustumOutside &&
            atomic->renderCallback)
            atomic->renderCallback(atomic);
    }
    return sector;
}

} // namespace

// ---- The list of worlds read from streams ---------------------------------------------------------

bool EnterWorldList(World* world, size_t blockSize)
{
    if (!sWorldList)
        return false;
    auto* node =
        static_cast<WorldListNode*>(Engine::Current()->freeListFunctions.take(sWorldList->nodes, kWorldListHint));
    if (!node)
        return false;
    node->world = world;
    node->blockSize = blockSize;
    ListLink::InsertAtHead(&sWorldList->worlds, &node->link);
    return true;
}

void LeaveWorldList(World* world)
{
    if (!sWorldList)
        return;
    for (ListLink* link = sWorldList->worlds.next; link != &sWorldList->worlds; link = link->next)
    {
        WorldListNode* node = FromListLink(link);
        if (node->world == world)
        {
            ListLink::Unlink(link);
            Engine::Current()->freeListFunctions.giveBack(sWorldList->nodes, node);
            return;
        }
    }
}

Pipeline* DefaultAtomicPipeline()
{
    Pipeline** slot = Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot);
    return slot ? *slot : nullptr;
}

Pipeline* DefaultSectorPipeline()
{
    Pipeline** slot = Pipeline::DefaultPipelineSlot(kSectorPipelineSlot);
    return slot ? *slot : nullptr;
}

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
    world->sectorRenderCallback = WorldSector::DefaultRender;
}

void WorldSector::InitLeaf(WorldSector* sector)
{
    sector->type = kSectorLeaf;
    ListLink::Init(&sector->atomicTies);
    ListLink::Init(&sector->lightTies);
}

World* WorldSector::GetWorld(const WorldSector* sector)
{
    if (sWorldList)
        for (ListLink* link = sWorldList->worlds.next; link != &sWorldList->worlds; link = link->next)
        {
            const WorldListNode* node = FromListLink(link);
            auto* start = reinterpret_cast<const char*>(node->world);
            auto* at = reinterpret_cast<const char*>(sector);
            if (node->world->privateFlags & World::kOneBlock)
            {
                if (at >= start && at < start + node->blockSize)
                    return node->world;
            }
            else if (TreeHolds(node->world, sector))
                return node->world;
        }
    // Worlds laid out by their callers are not listed: the one being drawn may hold it.
    Engine* engine = Engine::Current();
    auto* current = engine ? static_cast<World*>(engine->currentWorld) : nullptr;
    return current && TreeHolds(current, sector) ? current : nullptr;
}

WorldSector* WorldSector::Render(WorldSector* sector)
{
    auto* world = static_cast<World*>(Engine::Current()->currentWorld);
    if (!world || !world->sectorRenderCallback)
        return nullptr;
    return world->sectorRenderCallback(sector);
}

WorldSector* WorldSector::DefaultRender(WorldSector* sector)
{
    if (sector->numTriangles == 0)
        return sector;
    auto* world = static_cast<World*>(Engine::Current()->currentWorld);
    Pipeline* pipeline = sector->pipeline;
    if (!pipeline && world)
        pipeline = world->pipeline;
    if (!pipeline)
        pipeline = DefaultSectorPipeline();
    return Pipeline::Execute(pipeline, sector, 1) ? sector : nullptr;
}

// ---- Rendering and walks ------------------------------------------------------------------------------

World* World::Render(World* world)
{
    auto* camera = static_cast<Camera*>(Engine::Current()->currentCamera);
    if (camera)
        WorldCamera::ForAllFrustumSectors(camera, RenderSectorAtomics, camera);
    return world;
}

World* World::SetSectorRenderCallback(World* world, WorldSectorRenderCallback callback)
{
    world->sectorRenderCallback = callback ? callback : WorldSector::DefaultRender;
    return world;
}

World* World::ForAllSectors(World* world, SectorCallback callback, void* data)
{
    SectorStack stack;
    SectorNode* node = world->rootSector;
    while (node)
    {
        if (node->type < 0)
        {
            if (!callback(reinterpret_cast<WorldSector*>(node), data))
                break;
            node = stack.Pop();
            continue;
        }
        auto* plane = reinterpret_cast<PlaneSector*>(node);
        // A tree cut short by a failed read may miss children.
        if (plane->right)
            stack.Push(plane->right);
        node = plane->left ? plane->left : stack.Pop();
    }
    return world;
}

World* World::ForAllClumps(World* world, ClumpCallback callback, void* data)
{
    for (ListLink* link = world->clumps.next; link != &world->clumps;)
    {
        ListLink* next = link->next;
        if (!callback(Clump::FromWorldLink(link), data))
            break;
        link = next;
    }
    return world;
}

World* World::ForAllMaterials(World* world, MaterialCallback callback, void* data)
{
    for (int32_t i = 0; i < world->materials.count; ++i)
        if (!callback(world->materials.materials[i], data))
            break;
    return world;
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
