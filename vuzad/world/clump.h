// Atomics and clumps: the records, creation, cloning and destruction, frames and the world
// bounding sphere, rendering through callbacks and pipelines, and the clump stream reader
// (models, characters and props are read as clumps and cloned for every instance).
#pragma once

#include "camera.h"
#include "frameobject.h"
#include "linklist.h"
#include "plugin.h"

#include <cstdint>

struct Clump;
struct FrameList;
struct Geometry;
struct Light;
struct Stream;
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
    /// The engine's render frame counter at its last render test. 32 bits, so an atomic
    /// left out of view for 65536 camera updates is not taken as already handled.
    uint32_t renderStamp;
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
    /// A copy in no frame and no clump: the same geometry (one more reference), model sphere,
    /// flags, render callback, pipeline and interpolator; plug-in copies run. Null on failure.
    static Atomic* Clone(Atomic* atomic);
    static Atomic* SetFrame(Atomic* atomic, Frame* frame);
    /// Same geometry: nothing. Flags bit 0 keeps the model sphere. The atomic.
    static Atomic* SetGeometry(Atomic* atomic, Geometry* geometry, uint32_t flags);
    /// The cached world sphere, recomputed when the frame moved or the sphere changed.
    static const Sphere* GetWorldBoundingSphere(Atomic* atomic);
    static Atomic* InterpolateBoundingSphere(Atomic* atomic);
    /// The default frame-sync callback.
    static FrameObject* SyncFrame(FrameObject* object);
    /// Builds the instance data of a one-target geometry ahead of rendering, through the
    /// render callback, and marks the geometry native. 1, or 0 for other geometries.
    static int32_t Instance(Atomic* atomic);
    /// The atomic's pipeline, else the default atomic pipeline. The atomic, or null.
    static Atomic* DefaultRender(Atomic* atomic);
    /// Makes pipeline the default atomic pipeline; null restores the one the world
    /// pipelines built. The replaced pipeline stays its owner's to destroy.
    static void SetDefaultPipeline(Pipeline* pipeline);
    /// Reads an atomic chunk's body (after its header) inside a clump read: frames and
    /// geometries are taken from the clump's lists by index; with no geometries, the
    /// atomic's own geometry chunk follows. An index outside its list refuses the atomic
    /// (0x8000001A). Null on failure, nothing left.
    static Atomic* StreamRead(Stream* stream, const FrameList* frames, Geometry* const* geometries,
                              int32_t numGeometries);
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
    /// Runs after every atomic's extension chunk.
    static int32_t SetPluginPostReadCallback(int32_t pluginId, PluginAlways callback);
    /// Called when an atomic's stored rights record names the plug-in.
    static int32_t SetPluginRenderOwnerCallback(int32_t pluginId, PluginRights callback);
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
    /// A copy of the frame hierarchy and the atomics (in the source's list order again);
    /// lights and cameras are not copied. A copy in the source's world joins it. An atomic
    /// without a frame in the clump's hierarchy stops the copying of atomics ({2, 5}) and
    /// the copy holds those copied before it. Null on failure, nothing left.
    static Clump* Clone(Clump* clump);
    /// Every atomic with the render flag, its frame brought up to date first. The clump, or
    /// null when any render callback answered null (all are still called).
    static Clump* Render(Clump* clump);
    using AtomicCallback = Atomic* (*)(Atomic* atomic, void* data);
    using LightCallback = Light* (*)(Light* light, void* data);
    using CameraCallback = Camera* (*)(Camera* camera, void* data);
    /// In list order, the next link read before each call; stop at a null answer. The clump.
    static Clump* ForAllAtomics(Clump* clump, AtomicCallback callback, void* data);
    static Clump* ForAllLights(Clump* clump, LightCallback callback, void* data);
    static Clump* ForAllCameras(Clump* clump, CameraCallback callback, void* data);
    /// Stream positioned after a clump chunk header (16). Atomics, lights and cameras end
    /// up in reverse stream order. Null on failure (0x80000004 for a bad version, else
    /// 0x8000001A or 0x80000013), nothing left.
    static Clump* StreamRead(Stream* stream);
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
