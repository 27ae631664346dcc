// Atomics and clumps: creation, cloning and destruction from the module's free lists,
// frames, the world bounding sphere, rendering, clump membership and the clump extension
// on cameras and lights.
#include "clump.h"

#include "engine.h"
#include "frame.h"
#include "freelist.h"
#include "geometry.h"
#include "light.h"
#include "matrix.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "world_local.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace
{

struct ClumpModuleBlock
{
    FreeList* atomics;
    FreeList* clumps;
};

constexpr int32_t kPerBlock = 128;
constexpr uint32_t kAtomicModuleHint = kMemoryHintEngine | 0x10;
constexpr uint32_t kClumpModuleHint = kMemoryHintEngine | 0x14;
constexpr uint32_t kAtomicHint = kMemoryHintObject | 0x14;
constexpr uint32_t kClumpHint = kMemoryHintObject | 0x10;

PluginRegistry sAtomicRegistry = PluginRegistry::Initial(int32_t(sizeof(Atomic)));
PluginRegistry sClumpRegistry = PluginRegistry::Initial(int32_t(sizeof(Clump)));
FreeList sAtomicList;
FreeList sClumpList;
ClumpModuleBlock* sBlock = nullptr;
int32_t sLightExtension = -1;
int32_t sCameraExtension = -1;

Clump* DefaultCallback(Clump* clump, void*)
{
    return clump;
}

void* ZeroExtension(void* object, int32_t offset, int32_t size)
{
    std::memset(static_cast<char*>(object) + offset, 0, size_t(size));
    ListLink::Init(&reinterpret_cast<ClumpExtension*>(static_cast<char*>(object) + offset)->link);
    return object;
}

ClumpExtension* Extension(void* object, int32_t offset)
{
    return reinterpret_cast<ClumpExtension*>(static_cast<char*>(object) + offset);
}

ClumpExtension* FromExtensionLink(ListLink* link)
{
    return reinterpret_cast<ClumpExtension*>(reinterpret_cast<char*>(link) - offsetof(ClumpExtension, link));
}

void DestroyClump(void* entry, void*)
{
    Clump::Destroy(static_cast<Clump*>(entry));
}

void DestroyAtomic(void* entry, void*)
{
    Atomic::Destroy(static_cast<Atomic*>(entry));
}

} // namespace

// ---- Atomics ----------------------------------------------------------------------------------

Atomic* Atomic::Create()
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* atomic = static_cast<Atomic*>(engine->freeListFunctions.take(sBlock->atomics, kAtomicHint));
    if (!atomic)
        return nullptr;
    std::memset(static_cast<void*>(atomic), 0, sizeof(Atomic));
    FrameObject::Init(&atomic->object, kObjectType, SyncFrame);
    atomic->object.flags = kAtomicCollisionTest | kAtomicRender;
    atomic->object.privateFlags = kAtomicWorldSphereDirty;
    ListLink::Init(&atomic->clumpLink);
    ListLink::Init(&atomic->sectorTies);
    atomic->interpolator = {kInterpolatorMorphUpdate | kInterpolatorSphereDirty, 0, 0, 1.0f, 1.0f, 0.0f};
    atomic->renderCallback = DefaultRender;
    if (!PluginRegistry::InitObject(&sAtomicRegistry, atomic))
    {
        engine->freeListFunctions.giveBack(sBlock->atomics, atomic);
        return nullptr;
    }
    return atomic;
}

int32_t Atomic::Destroy(Atomic* atomic)
{
    PluginRegistry::DeinitObject(&sAtomicRegistry, atomic);
    if (atomic->instanceData)
        ResourceArena::Free(atomic->instanceData);
    if (atomic->geometry)
        Geometry::Destroy(atomic->geometry);
    if (atomic->object.frame)
    {
        // The sectors it leaves are told at the frame's next synchronisation.
        if (GetWorld(atomic))
            MarkFrameDirty(atomic->object.frame);
        FrameObject::RemoveFromFrame(&atomic->object);
    }
    Engine::Current()->freeListFunctions.giveBack(sBlock->atomics, atomic);
    return 1;
}

Atomic* Atomic::Clone(Atomic* atomic)
{
    Atomic* copy = Create();
    if (!copy)
        return nullptr;
    copy->object.type = atomic->object.type;
    copy->object.subType = atomic->object.subType;
    copy->object.flags = atomic->object.flags;
    copy->object.privateFlags = atomic->object.privateFlags | kAtomicWorldSphereDirty;
    SetGeometry(copy, atomic->geometry, 0);
    copy->boundingSphere = atomic->boundingSphere;
    copy->renderCallback = atomic->renderCallback;
    copy->pipeline = atomic->pipeline;
    copy->interpolator = atomic->interpolator;
    PluginRegistry::CopyObject(&sAtomicRegistry, copy, atomic);
    return copy;
}

Atomic* Atomic::SetFrame(Atomic* atomic, Frame* frame)
{
    FrameObject::SetFrame(&atomic->object, frame);
    atomic->object.privateFlags |= kAtomicWorldSphereDirty;
    return atomic;
}

Atomic* Atomic::SetGeometry(Atomic* atomic, Geometry* geometry, uint32_t flags)
{
    if (geometry == atomic->geometry)
        return atomic;
    if (geometry)
        Geometry::AddRef(geometry);
    if (atomic->geometry)
        Geometry::Destroy(atomic->geometry);
    atomic->geometry = geometry;
    if (!(flags & 1))
    {
        if (geometry)
            atomic->boundingSphere = geometry->morphTargets[0].boundingSphere;
        if (atomic->object.frame && GetWorld(atomic))
            MarkFrameDirty(atomic->object.frame);
    }
    return atomic;
}

Atomic* Atomic::InterpolateBoundingSphere(Atomic* atomic)
{
    const Geometry* geometry = atomic->geometry;
    if (!geometry)
        return atomic;
    Interpolator& in = atomic->interpolator;
    int32_t s = in.startTarget, e = in.endTarget, n = geometry->numMorphTargets;
    bool inRange = s >= 0 && e >= 0 && s < n && e < n;
    if (inRange && s != e)
    {
        float t = in.position * in.recipTime;
        const Sphere& a = geometry->morphTargets[s].boundingSphere;
        const Sphere& b = geometry->morphTargets[e].boundingSphere;
        atomic->boundingSphere = {{a.centre.x + t * (b.centre.x - a.centre.x),
                                   a.centre.y + t * (b.centre.y - a.centre.y),
                                   a.centre.z + t * (b.centre.z - a.centre.z)},
                                  a.radius + t * (b.radius - a.radius)};
    }
    else
        atomic->boundingSphere = geometry->morphTargets[inRange ? s : 0].boundingSphere;
    in.flags &= ~kInterpolatorSphereDirty;
    atomic->object.privateFlags |= kAtomicWorldSphereDirty;
    return atomic;
}

const Sphere* Atomic::GetWorldBoundingSphere(Atomic* atomic)
{
    if (atomic->interpolator.flags & kInterpolatorSphereDirty)
        InterpolateBoundingSphere(atomic);
    Frame* frame = atomic->object.frame;
    if (frame && (Frame::IsDirty(frame) || (atomic->object.privateFlags & kAtomicWorldSphereDirty)))
    {
        const Matrix* m = Frame::GetWorldMatrix(frame);
        Vector::TransformPoint(&atomic->worldBoundingSphere.centre, &atomic->boundingSphere.centre, m);
        float radius = atomic->boundingSphere.radius;
        if ((m->flags & kMatrixOrthonormal) != kMatrixOrthonormal)
        {
            auto square = [](const Vector& v) { return v.x * v.x + v.y * v.y + v.z * v.z; };
            float largest = std::fmax(square(m->right), std::fmax(square(m->up), square(m->at)));
            radius *= std::sqrt(largest);
        }
        atomic->worldBoundingSphere.radius = radius;
        atomic->object.privateFlags &= ~kAtomicWorldSphereDirty;
    }
    else if (!frame)
        atomic->worldBoundingSphere = atomic->boundingSphere;
    return &atomic->worldBoundingSphere;
}

FrameObject* Atomic::SyncFrame(FrameObject* object)
{
    auto* atomic = reinterpret_cast<Atomic*>(object);
    if (atomic->interpolator.flags & kInterpolatorSphereDirty)
        InterpolateBoundingSphere(atomic);
    atomic->object.privateFlags |= kAtomicWorldSphereDirty;
    return object;
}

int32_t Atomic::Instance(Atomic* atomic)
{
    Geometry* geometry = atomic->geometry;
    if (!geometry || geometry->numMorphTargets != 1)
        return 0;
    if (geometry->flags & kGeometryNative)
        return 1;
    if (geometry->instanceData)
        ResourceArena::Free(geometry->instanceData);
    // The render node sees the flag, builds the instance data and draws nothing.
    geometry->flags |= kGeometryInstanceOnly;
    if (atomic->renderCallback)
        atomic->renderCallback(atomic);
    geometry->flags = (geometry->flags & ~kGeometryInstanceOnly) | kGeometryNative;
    return 1;
}

Atomic* Atomic::DefaultRender(Atomic* atomic)
{
    Pipeline* pipeline = atomic->pipeline ? atomic->pipeline : DefaultAtomicPipeline();
    return Pipeline::Execute(pipeline, atomic, 1) ? atomic : nullptr;
}

World* Atomic::GetWorld(const Atomic* atomic)
{
    ObjectWorldData* data = AtomicWorld(atomic);
    return data ? data->world : nullptr;
}

Atomic* Atomic::FromClumpLink(ListLink* link)
{
    return reinterpret_cast<Atomic*>(reinterpret_cast<char*>(link) - offsetof(Atomic, clumpLink));
}

int32_t Atomic::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                               PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sAtomicRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Atomic::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                     PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sAtomicRegistry, pluginId, read, write, size);
}

int32_t Atomic::SetPluginPostReadCallback(int32_t pluginId, PluginAlways callback)
{
    return PluginRegistry::SetAlwaysCallback(&sAtomicRegistry, pluginId, callback);
}

int32_t Atomic::SetPluginRenderOwnerCallback(int32_t pluginId, PluginRights callback)
{
    return PluginRegistry::SetRightsCallback(&sAtomicRegistry, pluginId, callback);
}

int32_t Atomic::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sAtomicRegistry, pluginId);
}

PluginRegistry* Atomic::Registry()
{
    return &sAtomicRegistry;
}

// ---- Clumps -----------------------------------------------------------------------------------

Clump* Clump::Create()
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* clump = static_cast<Clump*>(engine->freeListFunctions.take(sBlock->clumps, kClumpHint));
    if (!clump)
        return nullptr;
    std::memset(static_cast<void*>(clump), 0, sizeof(Clump));
    clump->type = kObjectType;
    ListLink::Init(&clump->atomics);
    ListLink::Init(&clump->lights);
    ListLink::Init(&clump->cameras);
    ListLink::Init(&clump->worldLink);
    clump->callback = DefaultCallback;
    if (!PluginRegistry::InitObject(&sClumpRegistry, clump))
    {
        engine->freeListFunctions.giveBack(sBlock->clumps, clump);
        return nullptr;
    }
    return clump;
}

int32_t Clump::Destroy(Clump* clump)
{
    PluginRegistry::DeinitObject(&sClumpRegistry, clump);
    for (ListLink* link = clump->atomics.next; link != &clump->atomics;)
    {
        ListLink* next = link->next;
        Atomic::Destroy(Atomic::FromClumpLink(link));
        link = next;
    }
    while (!ListLink::IsEmpty(&clump->lights))
    {
        ClumpExtension* ext = FromExtensionLink(clump->lights.next);
        ListLink::Unlink(&ext->link);
        ext->clump = nullptr;
        Light::Destroy(reinterpret_cast<Light*>(reinterpret_cast<char*>(ext) - sLightExtension));
    }
    while (!ListLink::IsEmpty(&clump->cameras))
    {
        ClumpExtension* ext = FromExtensionLink(clump->cameras.next);
        ListLink::Unlink(&ext->link);
        ext->clump = nullptr;
        Camera::Destroy(reinterpret_cast<Camera*>(reinterpret_cast<char*>(ext) - sCameraExtension));
    }
    if (clump->frame)
        Frame::DestroyHierarchy(clump->frame);
    Engine::Current()->freeListFunctions.giveBack(sBlock->clumps, clump);
    return 1;
}

Clump* Clump::Clone(Clump* clump)
{
    Clump* copy = Create();
    if (!copy)
        return nullptr;
    if (clump->frame && !(copy->frame = Frame::CloneHierarchy(clump->frame)))
    {
        Destroy(copy);
        return nullptr;
    }
    // While the hierarchy is copied, each source frame's root points at its copy.
    auto copyOf = [&](const Frame* frame) -> Frame*
    {
        if (!frame || !copy->frame)
            return nullptr;
        Frame* mapped = frame->root;
        return mapped && mapped->root == copy->frame ? mapped : nullptr;
    };
    bool ok = true;
    for (ListLink* link = clump->atomics.next; link != &clump->atomics; link = link->next)
    {
        Atomic* source = Atomic::FromClumpLink(link);
        Atomic* atomic = Atomic::Clone(source);
        if (!atomic)
        {
            ok = false;
            break;
        }
        Frame* frame = copyOf(source->object.frame);
        if (!frame)
        {
            // Only atomics placed in the clump's own hierarchy can be copied.
            Atomic::Destroy(atomic);
            WorldError(kWorldErrNoFrame);
            break;
        }
        Atomic::SetFrame(atomic, frame);
        AddAtomic(copy, atomic);
    }
    if (clump->frame)
        Frame::SetRootInSubtree(clump->frame);
    if (!ok)
    {
        Destroy(copy);
        return nullptr;
    }
    copy->callback = clump->callback;
    PluginRegistry::CopyObject(&sClumpRegistry, copy, clump);
    return copy;
}

Clump* Clump::Render(Clump* clump)
{
    Clump* result = clump;
    for (ListLink* link = clump->atomics.next; link != &clump->atomics;)
    {
        ListLink* next = link->next;
        Atomic* atomic = Atomic::FromClumpLink(link);
        if (atomic->object.flags & kAtomicRender)
        {
            if (atomic->object.frame)
                Frame::GetWorldMatrix(atomic->object.frame);
            if (!atomic->renderCallback || !atomic->renderCallback(atomic))
                result = nullptr;
        }
        link = next;
    }
    return result;
}

Clump* Clump::ForAllAtomics(Clump* clump, AtomicCallback callback, void* data)
{
    for (ListLink* link = clump->atomics.next; link != &clump->atomics;)
    {
        ListLink* next = link->next;
        if (!callback(Atomic::FromClumpLink(link), data))
            break;
        link = next;
    }
    return clump;
}

Clump* Clump::ForAllLights(Clump* clump, LightCallback callback, void* data)
{
    for (ListLink* link = clump->lights.next; link != &clump->lights;)
    {
        ListLink* next = link->next;
        if (!callback(reinterpret_cast<Light*>(reinterpret_cast<char*>(FromExtensionLink(link)) - sLightExtension),
                      data))
            break;
        link = next;
    }
    return clump;
}

Clump* Clump::ForAllCameras(Clump* clump, CameraCallback callback, void* data)
{
    for (ListLink* link = clump->cameras.next; link != &clump->cameras;)
    {
        ListLink* next = link->next;
        if (!callback(reinterpret_cast<Camera*>(reinterpret_cast<char*>(FromExtensionLink(link)) - sCameraExtension),
                      data))
            break;
        link = next;
    }
    return clump;
}

Clump* Clump::AddAtomic(Clump* clump, Atomic* atomic)
{
    ListLink::InsertAtHead(&clump->atomics, &atomic->clumpLink);
    atomic->clump = clump;
    return clump;
}

Clump* Clump::RemoveAtomic(Clump* clump, Atomic* atomic)
{
    ListLink::Unlink(&atomic->clumpLink);
    atomic->clump = nullptr;
    return clump;
}

Clump* Clump::AddLight(Clump* clump, Light* light)
{
    ClumpExtension* ext = Extension(light, sLightExtension);
    ListLink::InsertAtHead(&clump->lights, &ext->link);
    ext->clump = clump;
    return clump;
}

Clump* Clump::AddCamera(Clump* clump, Camera* camera)
{
    ClumpExtension* ext = Extension(camera, sCameraExtension);
    ListLink::InsertAtHead(&clump->cameras, &ext->link);
    ext->clump = clump;
    return clump;
}

Clump** Clump::LightClump(Light* light)
{
    return &Extension(light, sLightExtension)->clump;
}

ListLink* Clump::LightLink(Light* light)
{
    return &Extension(light, sLightExtension)->link;
}

Clump** Clump::CameraClump(Camera* camera)
{
    return &Extension(camera, sCameraExtension)->clump;
}

ListLink* Clump::CameraLink(Camera* camera)
{
    return &Extension(camera, sCameraExtension)->link;
}

World* Clump::GetWorld(const Clump* clump)
{
    ObjectWorldData* data = ClumpWorld(clump);
    return data ? data->world : nullptr;
}

Clump* Clump::FromWorldLink(ListLink* link)
{
    return reinterpret_cast<Clump*>(reinterpret_cast<char*>(link) - offsetof(Clump, worldLink));
}

int32_t Clump::AttachExtensions()
{
    sCameraExtension = Camera::RegisterPlugin(int32_t(sizeof(ClumpExtension)), kClumpExtensionPluginId, ZeroExtension,
                                              nullptr, nullptr);
    if (sCameraExtension < 0)
        return 0;
    sLightExtension = Light::RegisterPlugin(int32_t(sizeof(ClumpExtension)), kClumpExtensionPluginId, ZeroExtension,
                                            nullptr, nullptr);
    return sLightExtension < 0 ? 0 : 1;
}

int32_t Clump::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sClumpRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Clump::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sClumpRegistry, pluginId);
}

PluginRegistry* Clump::Registry()
{
    return &sClumpRegistry;
}

// ---- Module -----------------------------------------------------------------------------------

void* Clump::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<ClumpModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->atomics = FreeList::CreateInStorage(sAtomicRegistry.size, kPerBlock, 0, 1, &sAtomicList, kAtomicModuleHint);
    if (!block->atomics)
        return nullptr;
    block->clumps = FreeList::CreateInStorage(sClumpRegistry.size, kPerBlock, 0, 1, &sClumpList, kClumpModuleHint);
    if (!block->clumps)
    {
        FreeList::Destroy(block->atomics);
        block->atomics = nullptr;
        return nullptr;
    }
    sBlock = block;
    return engine;
}

void* Clump::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<ClumpModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->clumps)
    {
        // Clumps first: they destroy their own atomics; what remains has no clump.
        FreeList::ForAllUsed(block->clumps, DestroyClump, nullptr);
        FreeList::ForAllUsed(block->atomics, DestroyAtomic, nullptr);
        FreeList::Destroy(block->clumps);
        FreeList::Destroy(block->atomics);
    }
    block->atomics = block->clumps = nullptr;
    sBlock = nullptr;
    return engine;
}
