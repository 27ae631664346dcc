// Atomics and clumps as far as the world ties need them: the records, creation and
// destruction, frames and the world bounding sphere. Their stream form and cloning belong
// with the clump reader.
#pragma once

#include "camera.h"
#include "frameobject.h"
#include "linklist.h"
#include "plugin.h"

#include <cstdint>

struct Clump;
struct Geometry;
struct Light;
struct Pipeline;
struct ResourceEntry;
struct World;

struct Atomic;
using AtomicRenderCallback = Atomic* (*)(Atomic* atomic);
struct CollisionTriangle;
struct IntersectionPrimitive;
/// A collision query's triangle of one atomic, in model space; null stops the query.
using CollisionAtomicTriangleCallback = CollisionTriangle* (*)(IntersectionPrimitive* primitive,
                                                               CollisionTriangle* triangle, float distance, void* data);

// Atomic flags.
constexpr uint8_t kAtomicCollisionTest = 0x1;
constexpr uint8_t kAtomicRender = 0x4;
/// Private flag: the world bounding sphere must be recomputed.
constexpr uint8_t kAtomicWorldSphereDirty = 0x1;
// Interpolator flags.
constexpr uint32_t kInterpolatorMorphUpdate = 0x1;
constexpr uint32_t kInterpolatorSphereDirty = 0x2;

struct Interpolator
{
    uint32_t flags;
    int16_t startTarget;
    int16_t endTarget;
    float time;
    float recipTime;
    float position;
};

struct Atomic
{
    FrameObject object; ///< type 1
    ResourceEntry* instanceData;
    Geometry* geometry;
    Sphere boundingSphere; ///< model space
    Sphere worldBoundingSphere;
    Clump* clump;
    ListLink clumpLink;
    AtomicRenderCallback renderCallback;
    Interpolator interpolator;
    uint16_t renderStamp;
    uint16_t spare;
    ListLink sectorTies;
    Pipeline* pipeline;
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 1;

    /// Flags 5, interpolator 3 / 0 / 0 / 1 / 1 / 0, private bit 0 set. Null when the free
    /// list is exhausted or a plug-in constructor fails.
    static Atomic* Create();
    /// Plug-in destructors (the world's unties it), instance data freed, geometry
    /// released, off its frame. Callers unlink it from a clump first. 1.
    static int32_t Destroy(Atomic* atomic);
    static Atomic* SetFrame(Atomic* atomic, Frame* frame);
    /// Same geometry: nothing. Flags bit 0 keeps the model sphere. The atomic.
    static Atomic* SetGeometry(Atomic* atomic, Geometry* geometry, uint32_t flags);
    /// The cached world sphere, recomputed when the frame moved or the sphere changed.
    static const Sphere* GetWorldBoundingSphere(Atomic* atomic);
    static Atomic* InterpolateBoundingSphere(Atomic* atomic);
    /// The default frame-sync callback.
    static FrameObject* SyncFrame(FrameObject* object);
    static World* GetWorld(const Atomic* atomic);
    /// The triangles of its geometry the primitive hits, worked in model space
    /// (collisionquery.cpp). The atomic.
    static Atomic* ForAllIntersections(Atomic* atomic, IntersectionPrimitive* primitive,
                                       CollisionAtomicTriangleCallback callback, void* data);
    static Atomic* FromClumpLink(ListLink* link);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
};

struct Clump
{
    uint8_t type; ///< 2
    uint8_t subType;
    uint8_t flags;
    uint8_t privateFlags;
    Frame* frame;
    ListLink atomics;
    ListLink lights;
    ListLink cameras;
    ListLink worldLink;
    Clump* (*callback)(Clump* clump, void* data);
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 2;

    /// Empty lists, no frame. Null when the free list is exhausted.
    static Clump* Create();
    /// Destroys its atomics, lights, cameras and frame hierarchy. Callers remove it from
    /// its world first. 1.
    static int32_t Destroy(Clump* clump);
    /// At the head of the atomic list. The clump.
    static Clump* AddAtomic(Clump* clump, Atomic* atomic);
    static Clump* RemoveAtomic(Clump* clump, Atomic* atomic);
    /// At the head of the light or camera list, through the clump extension. The clump.
    static Clump* AddLight(Clump* clump, Light* light);
    static Clump* AddCamera(Clump* clump, Camera* camera);
    static World* GetWorld(const Clump* clump);
    static Clump* FromWorldLink(ListLink* link);
    /// The clump a light or camera belongs to, and its link in the clump's list.
    static Clump** LightClump(Light* light);
    static ListLink* LightLink(Light* light);
    static Clump** CameraClump(Camera* camera);
    static ListLink* CameraLink(Camera* camera);

    /// The 12-byte clump extension on cameras and lights. 1, or 0 when either fails.
    static int32_t AttachExtensions();

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();

    // ---- The atomic and clump module (engine block 1284) ---------------------------------

    static constexpr int32_t kPluginId = 1284;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
