// The world-object module: the extensions that tie cameras, atomics, clumps and lights to
// a world, the tie records and their free lists, the frustum sector list and the walks of
// the partition tree that keep atomic and light ties in step with their frames.
#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "freelist.h"
#include "geometry.h"
#include "instancedata.h"
#include "light.h"
#include "memory.h"
#include "nativedata.h"
#include "resourcearena.h"
#include "vertexshader.h"
#include "world_local.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace
{

struct WorldObjectsBlock
{
    FreeList* atomicTies;
    FreeList* lightTies;
    int32_t spare;
};

constexpr int32_t kAtomicTiesPerBlock = 256;
constexpr int32_t kLightTiesPerBlock = 32;
constexpr uint32_t kModuleHint = kMemoryHintEngine | 0x507;
constexpr uint32_t kTieHint = kMemoryHintObject | 0x507;
constexpr uint32_t kFrustumHint = kMemoryHintResize | kMemoryHintObject | 0x507;
constexpr int32_t kFrustumGrowth = 50;
/// Standard function the device may use as a hint of the coming render order.
constexpr int32_t kStdRenderOrderHint = 22;

FreeList sAtomicTieList;
FreeList sLightTieList;
WorldObjectsBlock* sBlock = nullptr;
int32_t sCameraOffset = -1;
int32_t sAtomicOffset = -1;
int32_t sClumpOffset = -1;
int32_t sLightOffset = -1;

template <typename T> T* At(const void* object, int32_t offset)
{
    return reinterpret_cast<T*>(const_cast<char*>(static_cast<const char*>(object)) + offset);
}

bool IsLocal(const Light* light)
{
    return (light->object.subType & kLightLocal) != 0;
}

void Untie(ListLink* ties, FreeList* list)
{
    Engine* engine = Engine::Current();
    while (!ListLink::IsEmpty(ties))
    {
        SectorTie* tie = SectorTie::FromObjectLink(ties->next);
        ListLink::Unlink(&tie->sectorLink);
        ListLink::Unlink(&tie->objectLink);
        engine->freeListFunctions.giveBack(list, tie);
    }
}

/// New ties go at the head of both lists. False when no tie can be had.
bool Tie(void* object, ListLink* objectTies, WorldSector* sector, ListLink* sectorTies, FreeList* list)
{
    auto* tie = static_cast<SectorTie*>(Engine::Current()->freeListFunctions.take(list, kTieHint));
    if (!tie)
        return false;
    tie->object = object;
    tie->sector = sector;
    ListLink::InsertAtHead(sectorTies, &tie->sectorLink);
    ListLink::InsertAtHead(objectTies, &tie->objectLink);
    return true;
}

/// Calls leaf(sector) for every leaf the box reaches.
template <typename Leaf> void WalkBox(World* world, const BBox& box, Leaf leaf)
{
    SectorStack stack;
    SectorNode* node = world->rootSector;
    while (node)
    {
        if (node->type < 0)
        {
            leaf(reinterpret_cast<WorldSector*>(node));
            node = stack.Pop();
            continue;
        }
        auto* plane = reinterpret_cast<PlaneSector*>(node);
        float lo = AxisCoordinate(box.inf, plane->type), hi = AxisCoordinate(box.sup, plane->type);
        if (lo < plane->leftExtent)
        {
            if (hi > plane->rightExtent)
                stack.Push(plane->right);
            node = plane->left;
        }
        else if (hi > plane->rightExtent)
            node = plane->right;
        else
            node = stack.Pop();
    }
}

BBox BoxAround(const Vector& centre, float radius)
{
    return {{centre.x + radius, centre.y + radius, centre.z + radius},
            {centre.x - radius, centre.y - radius, centre.z - radius}};
}

// ---- Camera extension ------------------------------------------------------------------------

Camera* WorldBeginUpdate(Camera* camera)
{
    Engine* engine = Engine::Current();
    CameraWorldData* data = CameraWorld(camera);
    engine->currentWorld = data->world;
    ++engine->renderFrame;
    // The camera's view and projection change: the shaders' product is made again.
    VertexShader::ForgetViewProjection();
    return data->savedBeginUpdate(camera);
}

Camera* WorldEndUpdate(Camera* camera)
{
    Engine::Current()->currentWorld = nullptr;
    return CameraWorld(camera)->savedEndUpdate(camera);
}

bool OutsideSomePlane(const Camera* camera, const BBox& box)
{
    for (const FrustumPlane& plane : camera->frustumPlanes)
    {
        Vector corner = {plane.positiveX ? box.inf.x : box.sup.x, plane.positiveY ? box.inf.y : box.sup.y,
                         plane.positiveZ ? box.inf.z : box.sup.z};
        float d = plane.normal.x * corner.x + plane.normal.y * corner.y + plane.normal.z * corner.z - plane.distance;
        if (d > 0.0f)
            return true;
    }
    return false;
}

bool AppendFrustumSector(CameraWorldData* data, WorldSector* sector)
{
    if (data->count >= data->capacity)
    {
        int32_t capacity = data->capacity + kFrustumGrowth;
        void* grown = data->sectors
                          ? Memory::Reallocate(data->sectors, size_t(capacity) * sizeof(WorldSector*), kFrustumHint)
                          : Memory::Allocate(size_t(capacity) * sizeof(WorldSector*), kFrustumHint);
        if (!grown)
            return false;
        data->sectors = static_cast<WorldSector**>(grown);
        data->capacity = capacity;
    }
    data->sectors[data->count++] = sector;
    return true;
}

void RenderOrderHint(int32_t frontToBack)
{
    Engine* engine = Engine::Current();
    if (StandardFunction hint = engine->standardFunctions[kStdRenderOrderHint])
        hint(nullptr, nullptr, frontToBack);
}

FrameObject* SyncFrustumSectors(FrameObject* object)
{
    auto* camera = reinterpret_cast<Camera*>(object);
    CameraWorldData* data = CameraWorld(camera);
    if (!data->savedSync(object))
        return nullptr;
    World* world = data->world;
    if (!world)
        return object;
    const Vector& position = Frame::GetWorldMatrix(camera->object.frame)->pos;
    const BBox& box = camera->frustumBox;
    bool backToFront = world->renderOrder == kWorldBackToFront;
    data->count = 0;
    SectorStack stack;
    SectorNode* node = world->rootSector;
    while (node)
    {
        if (node->type < 0)
        {
            auto* sector = reinterpret_cast<WorldSector*>(node);
            if (!OutsideSomePlane(camera, sector->box) && !AppendFrustumSector(data, sector))
            {
                WorldError(kErrNoMemory);
                break;
            }
            node = stack.Pop();
            continue;
        }
        auto* plane = reinterpret_cast<PlaneSector*>(node);
        float lo = AxisCoordinate(box.inf, plane->type), hi = AxisCoordinate(box.sup, plane->type);
        if (lo < plane->leftExtent && hi > plane->rightExtent)
        {
            bool highSide = AxisCoordinate(position, plane->type) > plane->value;
            bool rightFirst = highSide != backToFront;
            stack.Push(rightFirst ? plane->left : plane->right);
            node = rightFirst ? plane->right : plane->left;
        }
        else
            node = lo < plane->leftExtent ? plane->left : plane->right;
    }
    RenderOrderHint(world->renderOrder == kWorldFrontToBack ? 1 : 0);
    return object;
}

void* CameraConstruct(void* object, int32_t offset, int32_t)
{
    auto* camera = static_cast<Camera*>(object);
    CameraWorldData* data = At<CameraWorldData>(object, offset);
    data->sectors = nullptr;
    data->capacity = 0;
    data->count = 0;
    data->world = nullptr;
    data->savedBeginUpdate = camera->beginUpdate;
    data->savedEndUpdate = camera->endUpdate;
    data->savedSync = camera->object.sync;
    camera->beginUpdate = WorldBeginUpdate;
    camera->endUpdate = WorldEndUpdate;
    camera->object.sync = SyncFrustumSectors;
    return object;
}

void* CameraDestruct(void* object, int32_t offset, int32_t)
{
    auto* camera = static_cast<Camera*>(object);
    CameraWorldData* data = At<CameraWorldData>(object, offset);
    Memory::Free(data->sectors);
    data->sectors = nullptr;
    data->capacity = data->count = 0;
    camera->beginUpdate = data->savedBeginUpdate;
    camera->endUpdate = data->savedEndUpdate;
    camera->object.sync = data->savedSync;
    return object;
}

void* CameraCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    CameraWorldData* to = At<CameraWorldData>(destination, offset);
    const CameraWorldData* from = At<CameraWorldData>(source, offset);
    // The copy's constructor made its own list; it must not share the source's.
    to->sectors = nullptr;
    to->capacity = to->count = 0;
    if (from->world)
    {
        MarkFrameDirty(static_cast<Camera*>(destination)->object.frame);
        to->world = from->world;
    }
    return destination;
}

// ---- Atomic extension ---------------------------------------------------------------------------

FrameObject* SyncAtomicSectors(FrameObject* object)
{
    auto* atomic = reinterpret_cast<Atomic*>(object);
    ObjectWorldData* data = AtomicWorld(atomic);
    if (!data->savedSync(object))
        return nullptr;
    World* world = data->world;
    if (!world)
        return object;
    UntieAtomic(atomic);
    const Sphere* sphere = Atomic::GetWorldBoundingSphere(atomic);
    bool tied = true;
    WalkBox(world, BoxAround(sphere->centre, sphere->radius),
            [&](WorldSector* sector)
            { tied = tied && Tie(atomic, &atomic->sectorTies, sector, &sector->atomicTies, sBlock->atomicTies); });
    if (!tied)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    return object;
}

void* AtomicConstruct(void* object, int32_t offset, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    ObjectWorldData* data = At<ObjectWorldData>(object, offset);
    data->world = nullptr;
    atomic->renderStamp = Engine::Current()->renderFrame - 1;
    data->savedSync = atomic->object.sync;
    atomic->object.sync = SyncAtomicSectors;
    return object;
}

void* AtomicDestruct(void* object, int32_t offset, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    UntieAtomic(atomic);
    atomic->object.sync = At<ObjectWorldData>(object, offset)->savedSync;
    return object;
}

// ---- Clump extension -------------------------------------------------------------------------------

void* ClumpConstruct(void* object, int32_t offset, int32_t)
{
    *At<ObjectWorldData>(object, offset) = {};
    return object;
}

void* ClumpCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    if (World* world = At<ObjectWorldData>(source, offset)->world)
        World::AddClump(world, static_cast<Clump*>(destination));
    return destination;
}

// ---- Light extension --------------------------------------------------------------------------------

FrameObject* SyncLightSectors(FrameObject* object)
{
    auto* light = reinterpret_cast<Light*>(object);
    ObjectWorldData* data = LightWorld(light);
    if (!data->savedSync(object))
    {
        // Failure is reported as failure: the caller must not take the light as synchronised.
        WorldError(kErrNullArgument);
        return nullptr;
    }
    World* world = data->world;
    if (!IsLocal(light) || !world || !light->object.frame)
        return object;
    UntieLight(light);
    const Vector& position = Frame::GetWorldMatrix(light->object.frame)->pos;
    bool tied = true;
    WalkBox(world, BoxAround(position, light->radius),
            [&](WorldSector* sector)
            { tied = tied && Tie(light, &light->sectorTies, sector, &sector->lightTies, sBlock->lightTies); });
    if (!tied)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    return object;
}

void* LightConstruct(void* object, int32_t offset, int32_t)
{
    auto* light = static_cast<Light*>(object);
    ObjectWorldData* data = At<ObjectWorldData>(object, offset);
    data->world = nullptr;
    data->savedSync = light->object.sync;
    light->object.sync = SyncLightSectors;
    return object;
}

void* LightDestruct(void* object, int32_t, int32_t)
{
    UntieLight(static_cast<Light*>(object));
    return object;
}

void* LightCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    World* world = At<ObjectWorldData>(source, offset)->world;
    if (!world)
        return destination;
    auto* light = static_cast<Light*>(destination);
    At<ObjectWorldData>(destination, offset)->world = world;
    if (IsLocal(light))
    {
        MarkFrameDirty(light->object.frame);
        ListLink::InsertAtHead(&world->localLights, &light->worldLink);
    }
    else
        ListLink::InsertAtHead(&world->globalLights, &light->worldLink);
    return destination;
}

// ---- Module block 1289 ----------------------------------------------------------------------------------

void ReleaseTie(void* entry, void* data)
{
    auto* tie = static_cast<SectorTie*>(entry);
    ListLink::Unlink(&tie->sectorLink);
    ListLink::Unlink(&tie->objectLink);
}

void* OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<WorldObjectsBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->atomicTies =
        FreeList::CreateInStorage(int32_t(sizeof(SectorTie)), kAtomicTiesPerBlock, 0, 1, &sAtomicTieList, kModuleHint);
    if (!block->atomicTies)
        return nullptr;
    block->lightTies =
        FreeList::CreateInStorage(int32_t(sizeof(SectorTie)), kLightTiesPerBlock, 0, 1, &sLightTieList, kModuleHint);
    if (!block->lightTies)
    {
        FreeList::Destroy(block->atomicTies);
        block->atomicTies = nullptr;
        return nullptr;
    }
    static_cast<Engine*>(engine)->renderFrame = 1;
    sBlock = block;
    return engine;
}

void* CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<WorldObjectsBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    // The object modules close after this one: ties still held leave their lists before
    // their memory goes, so the objects are left with empty tie lists.
    for (FreeList* list : {block->atomicTies, block->lightTies})
        if (list)
        {
            FreeList::ForAllUsed(list, ReleaseTie, nullptr);
            FreeList::Destroy(list);
        }
    block->atomicTies = block->lightTies = nullptr;
    sBlock = nullptr;
    return engine;
}

// ---- The rights chunk --------------------------------------------------------------------------------------

RightsRecord sPendingRights[4];

template <int32_t Kind> Stream* RightsRead(Stream* stream, int32_t length, void*, int32_t, int32_t)
{
    RightsRecord& record = sPendingRights[Kind];
    uint8_t bytes[8] = {};
    if (length < 4 || !Stream::ReadWords(stream, bytes, 4))
        return nullptr;
    std::memcpy(&record.pluginId, bytes, 4);
    if (length >= 8)
    {
        if (!Stream::ReadWords(stream, bytes + 4, 4))
            return nullptr;
        std::memcpy(&record.extraData, bytes + 4, 4);
    }
    int32_t rest = length - (length >= 8 ? 8 : 4);
    if (rest > 0 && !Stream::Skip(stream, uint32_t(rest)))
        return nullptr;
    return stream;
}

/// Objects of this build carry no pipeline with an owner, so nothing is written.
int32_t RightsSize(const void*, int32_t, int32_t)
{
    return 0;
}

Stream* RightsWrite(Stream* stream, int32_t, const void*, int32_t, int32_t)
{
    return stream;
}

} // namespace

// ---- Ties -----------------------------------------------------------------------------------------------

SectorTie* SectorTie::FromSectorLink(ListLink* link)
{
    return reinterpret_cast<SectorTie*>(reinterpret_cast<char*>(link) - offsetof(SectorTie, sectorLink));
}

SectorTie* SectorTie::FromObjectLink(ListLink* link)
{
    return reinterpret_cast<SectorTie*>(reinterpret_cast<char*>(link) - offsetof(SectorTie, objectLink));
}

void UntieAtomic(Atomic* atomic)
{
    if (sBlock)
        Untie(&atomic->sectorTies, sBlock->atomicTies);
}

void UntieLight(Light* light)
{
    if (sBlock)
        Untie(&light->sectorTies, sBlock->lightTies);
}

void UntieSector(WorldSector* sector)
{
    if (!sBlock)
        return;
    Engine* engine = Engine::Current();
    for (auto [ties, list] :
         {std::pair{&sector->atomicTies, sBlock->atomicTies}, std::pair{&sector->lightTies, sBlock->lightTies}})
        while (!ListLink::IsEmpty(ties))
        {
            SectorTie* tie = SectorTie::FromSectorLink(ties->next);
            ListLink::Unlink(&tie->sectorLink);
            ListLink::Unlink(&tie->objectLink);
            engine->freeListFunctions.giveBack(list, tie);
        }
}

void MarkFrameDirty(Frame* frame)
{
    if (frame)
        Frame::UpdateObjects(frame);
}

CameraWorldData* CameraWorld(const Camera* camera)
{
    return At<CameraWorldData>(camera, sCameraOffset);
}

ObjectWorldData* AtomicWorld(const Atomic* atomic)
{
    return sAtomicOffset < 0 ? nullptr : At<ObjectWorldData>(atomic, sAtomicOffset);
}

ObjectWorldData* ClumpWorld(const Clump* clump)
{
    return sClumpOffset < 0 ? nullptr : At<ObjectWorldData>(clump, sClumpOffset);
}

ObjectWorldData* LightWorld(const Light* light)
{
    return sLightOffset < 0 ? nullptr : At<ObjectWorldData>(light, sLightOffset);
}

RightsRecord* PendingRights(int32_t kind)
{
    return &sPendingRights[kind];
}

World* WorldCamera::GetWorld(const Camera* camera)
{
    return CameraWorld(camera)->world;
}

namespace
{
void PrefetchLines(const void* at, size_t bytes)
{
    for (size_t i = 0; i < bytes; i += 64)
        __builtin_prefetch(static_cast<const char*>(at) + i);
}

// Drawing a sector reads its record, its mesh header, its instance data and the index buffer
// that data names, scattered over memory that the sectors drawn in between pushed out of the
// cache. The walk asks for them a few sectors ahead, each step following a pointer that the
// step before brought in.
void PrefetchAhead(const CameraWorldData* list, int32_t i)
{
    if (i + 3 < list->count)
        PrefetchLines(list->sectors[i + 3], sizeof(WorldSector));
    if (i + 2 < list->count)
    {
        const WorldSector* sector = list->sectors[i + 2];
        if (sector->meshHeader)
            __builtin_prefetch(sector->meshHeader);
        if (sector->instanceData)
            PrefetchLines(sector->instanceData, sizeof(ResourceEntry) + sizeof(InstanceHeader) + sizeof(InstanceMesh));
    }
    if (i + 1 < list->count)
        if (ResourceEntry* entry = list->sectors[i + 1]->instanceData)
            if (const IDirect3DIndexBuffer9* indices = InstanceData::Header(entry)->indexBuffer)
                PrefetchLines(indices, 128);
}
} // namespace

Camera* WorldCamera::ForAllFrustumSectors(Camera* camera, SectorCallback callback, void* data)
{
    CameraWorldData* list = CameraWorld(camera);
    for (int32_t i = 0; i < list->count; ++i)
    {
        PrefetchAhead(list, i);
        if (!callback(list->sectors[i], data))
            break;
    }
    return camera;
}

int32_t WorldCamera::GetNumFrustumSectors(const Camera* camera)
{
    return CameraWorld(camera)->count;
}

// ---- Registration ------------------------------------------------------------------------------------------

int32_t WorldObjects::Attach()
{
    bool ok =
        Engine::RegisterPlugin(int32_t(sizeof(WorldObjectsBlock)), kWorldObjectsPluginId, OpenModule, CloseModule) >= 0;
    sCameraOffset = Camera::RegisterPlugin(int32_t(sizeof(CameraWorldData)), kWorldObjectsPluginId, CameraConstruct,
                                           CameraDestruct, CameraCopy);
    sAtomicOffset = Atomic::RegisterPlugin(int32_t(sizeof(ObjectWorldData)), kWorldObjectsPluginId, AtomicConstruct,
                                           AtomicDestruct, nullptr);
    sClumpOffset = Clump::RegisterPlugin(int32_t(sizeof(ObjectWorldData)), kWorldObjectsPluginId, ClumpConstruct,
                                         nullptr, ClumpCopy);
    sLightOffset = Light::RegisterPlugin(int32_t(sizeof(ObjectWorldData)), kWorldObjectsPluginId, LightConstruct,
                                         LightDestruct, LightCopy);
    ok = ok && sCameraOffset >= 0 && sAtomicOffset >= 0 && sClumpOffset >= 0 && sLightOffset >= 0;

    ok = ok && Geometry::RegisterPlugin(0, kMeshPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok && Geometry::RegisterPluginStream(kMeshPluginId, MeshStreamRead, MeshStreamWrite, MeshStreamSize) >= 0;
    ok = ok && WorldSector::RegisterPlugin(0, kMeshPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok && WorldSector::RegisterPluginStream(kMeshPluginId, SectorMeshStreamRead, SectorMeshStreamWrite,
                                                 SectorMeshStreamSize) >= 0;
    ok = ok && NativeData::Attach();

    ok = ok && Atomic::RegisterPlugin(0, kRightsPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok && Atomic::RegisterPluginStream(kRightsPluginId, RightsRead<kRightsAtomic>, RightsWrite, RightsSize) >= 0;
    ok = ok && World::RegisterPlugin(0, kRightsPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok && World::RegisterPluginStream(kRightsPluginId, RightsRead<kRightsWorld>, RightsWrite, RightsSize) >= 0;
    ok = ok && WorldSector::RegisterPlugin(0, kRightsPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok &&
         WorldSector::RegisterPluginStream(kRightsPluginId, RightsRead<kRightsSector>, RightsWrite, RightsSize) >= 0;
    ok = ok && Material::RegisterPlugin(0, kRightsPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok &&
         Material::RegisterPluginStream(kRightsPluginId, RightsRead<kRightsMaterial>, RightsWrite, RightsSize) >= 0;
    return ok ? 1 : 0;
}
