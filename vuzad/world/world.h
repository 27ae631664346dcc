// Worlds and their partition trees: the world record, plane nodes and leaf sectors, the
// records that tie atomics and local lights to the leaves they overlap, the world module's
// start-up and tie operations, the world stream form and the per-frame render walk.
#pragma once

#include "bbox.h"
#include "linklist.h"
#include "material.h"
#include "plugin.h"

#include <cstdint>

struct Atomic;
struct Camera;
struct Clump;
struct CollisionTriangle;
struct IntersectionPrimitive;
struct Light;
struct MeshHeader;
struct Pipeline;
struct ResourceEntry;
struct Stream;
struct World;
struct WorldSector;

using WorldSectorRenderCallback = WorldSector* (*)(WorldSector* sector);

/// A node of the partition tree: a leaf (WorldSector) when type is negative, else a plane.
struct SectorNode
{
    int32_t type;
};

struct PlaneSector
{
    int32_t type; ///< axis as the byte offset of the coordinate in a vector: 0 x, 4 y, 8 z
    float value;
    SectorNode* left;  ///< everything whose coordinate is below leftExtent
    SectorNode* right; ///< everything at or above rightExtent
    float leftExtent;
    float rightExtent;
};

/// Ties an atomic or a light to one leaf; linked into the sector's and the object's list.
struct SectorTie
{
    ListLink sectorLink;
    void* object; ///< Atomic or Light
    ListLink objectLink;
    WorldSector* sector;

    static SectorTie* FromSectorLink(ListLink* link);
    static SectorTie* FromObjectLink(ListLink* link);
};

constexpr int32_t kSectorLeaf = -1;

struct WorldSector
{
    int32_t type;    ///< kSectorLeaf
    void* triangles; ///< Triangle records: three vertex indices, material relative to materialBase
    Vector* positions;
    void* normals;
    void* texCoords[8];
    void* prelit;
    ResourceEntry* instanceData;
    ListLink atomicTies;
    ListLink lightTies;
    BBox box;      ///< partition box
    BBox tightBox; ///< box of its vertices
    MeshHeader* meshHeader;
    Pipeline* pipeline;
    uint16_t materialBase;
    uint16_t numVertices;
    uint16_t numTriangles;
    uint16_t spare;
    // Plug-in data follows.

    /// Empty tie lists and a type of kSectorLeaf; for code that lays sectors out itself.
    static void InitLeaf(WorldSector* sector);
    /// The world read from a stream that holds the sector, else the current world when its
    /// tree holds it; null for a sector in no world.
    static World* GetWorld(const WorldSector* sector);
    /// The current world's sector render callback. The sector, or null.
    static WorldSector* Render(WorldSector* sector);
    /// A sector without triangles at once; else its pipeline, the world's or the default
    /// sector pipeline. The sector, or null when the pipeline failed.
    static WorldSector* DefaultRender(WorldSector* sector);
    /// Makes pipeline the default sector pipeline; null restores the one the world
    /// pipelines built. The replaced pipeline stays its owner's to destroy.
    static void SetDefaultPipeline(Pipeline* pipeline);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
};

/// The pipeline module's slots that hold the pipelines run for atomics and sectors that
/// have none of their own; empty until the world pipelines are built.
constexpr int32_t kAtomicPipelineSlot = 2;
constexpr int32_t kSectorPipelineSlot = 3;

enum WorldRenderOrder : int32_t
{
    kWorldFrontToBack = 1,
    kWorldBackToFront = 2,
};

// Collision query callbacks (collision.h has the records): the caller's primitive, the
// leaf sector, what was hit, and the caller's data last; null stops the query at once.
using CollisionSectorCallback = WorldSector* (*)(IntersectionPrimitive* primitive, WorldSector* sector, void* data);
using CollisionTriangleCallback = CollisionTriangle* (*)(IntersectionPrimitive* primitive, WorldSector* sector,
                                                         CollisionTriangle* triangle, float distance, void* data);
using CollisionAtomicCallback = Atomic* (*)(IntersectionPrimitive* primitive, WorldSector* sector, Atomic* atomic,
                                            float distance, void* data);

/// The world record; its material list, origin and stream form belong with the world reader.
struct World
{
    uint8_t type; ///< 7
    uint8_t subType;
    uint8_t flags;
    uint8_t privateFlags;
    void* parent;
    uint32_t formatFlags;
    int32_t renderOrder;
    MaterialList materials;
    SectorNode* rootSector;
    int32_t numTexCoordSets;
    int32_t numClumps;
    ListLink* currentClumpLink; ///< iteration position RemoveClump moves past a removed clump
    ListLink clumps;
    ListLink localLights;  ///< lights whose type has bit 7 set
    ListLink globalLights; ///< ambient and directional lights
    Vector origin;         ///< the stream's inverse origin, negated
    BBox box;
    WorldSectorRenderCallback sectorRenderCallback;
    Pipeline* pipeline;
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 7;
    /// Private flag: the world, its sectors and its vertex arrays lie in one block.
    static constexpr uint8_t kOneBlock = 0x1;

    /// Empty lists, no clumps, the default sector render callback; for code that lays
    /// worlds out itself.
    static void InitRecord(World* world);

    // ---- Stream form ------------------------------------------------------------------------

    /// Stream positioned after a world chunk header (11). The world in one block, or null:
    /// 0x80000004 for a bad version or a collision sector size, 0x80000013 when the block
    /// cannot be had, 0x8000001A for a short read or counts and indices that disagree
    /// with what the stream holds.
    static World* StreamRead(Stream* stream);
    /// Chunk 11 with its header. The world, or null (0x8000001C).
    static const World* StreamWrite(const World* world, Stream* stream);
    /// Frees its sectors' instance data, ties, plug-in data and meshes, its material list
    /// and its block. Clumps, atomics, lights and cameras are not visited: remove them
    /// first. A world not read into one block is freed piece by piece: each leaf's arrays,
    /// each plane and leaf record and the world record, all from the engine's memory. 1.
    static int32_t Destroy(World* world);

    // ---- Rendering and walks ---------------------------------------------------------------------

    /// The current camera's frustum sectors and, through their ties, each visible atomic
    /// once per camera update. The world.
    static World* Render(World* world);
    /// Null installs WorldSector::DefaultRender. The world.
    static World* SetSectorRenderCallback(World* world, WorldSectorRenderCallback callback);
    using SectorCallback = WorldSector* (*)(WorldSector* sector, void* data);
    using ClumpCallback = Clump* (*)(Clump* clump, void* data);
    using MaterialCallback = Material* (*)(Material* material, void* data);
    /// Leaves depth first, left child first; stop at a null answer. The world.
    static World* ForAllSectors(World* world, SectorCallback callback, void* data);
    static World* ForAllClumps(World* world, ClumpCallback callback, void* data);
    static World* ForAllMaterials(World* world, MaterialCallback callback, void* data);

    // ---- Start-up (between Engine::Init and Engine::Open) ----------------------------------

    /// Registers the world module's engine blocks, object extensions and stream plug-ins
    /// and the Direct3D 9 extras. 1, or 0 when a registration failed (the engine must not
    /// be opened then).
    static int32_t Attach();

    // ---- Ties ---------------------------------------------------------------------------

    /// The frustum list is rebuilt at the camera frame's next synchronisation. The world.
    static World* AddCamera(World* world, Camera* camera);
    /// The world, or null when the camera is in no world.
    static World* RemoveCamera(World* world, Camera* camera);
    /// Ties are made at the atomic frame's next synchronisation. The world.
    static World* AddAtomic(World* world, Atomic* atomic);
    static World* RemoveAtomic(World* world, Atomic* atomic);
    static World* AddClump(World* world, Clump* clump);
    /// The world, or null with {2, 4} when the clump is in no world.
    static World* RemoveClump(World* world, Clump* clump);
    static World* AddLight(World* world, Light* light);
    static World* RemoveLight(World* world, Light* light);

    // ---- Collision queries (collisionquery.cpp) -----------------------------------------------

    /// Each leaf sector the primitive reaches. The world.
    static World* ForAllSectorIntersections(World* world, IntersectionPrimitive* primitive,
                                            CollisionSectorCallback callback, void* data);
    /// Each triangle of the leaf sectors with a collision tree that the primitive hits. The world.
    static World* ForAllTriangleIntersections(World* world, IntersectionPrimitive* primitive,
                                              CollisionTriangleCallback callback, void* data);
    /// Each colliding atomic whose world bounding sphere the primitive meets, once per query. The world.
    static World* ForAllAtomicIntersections(World* world, IntersectionPrimitive* primitive,
                                            CollisionAtomicCallback callback, void* data);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
};

/// The camera side of the ties: the camera's world extension and its frustum sector list.
struct WorldCamera
{
    using SectorCallback = WorldSector* (*)(WorldSector* sector, void* data);

    /// The camera's world, or null.
    static World* GetWorld(const Camera* camera);
    /// Each sector of the frustum list in order until a callback answers null. The camera.
    static Camera* ForAllFrustumSectors(Camera* camera, SectorCallback callback, void* data);
    static int32_t GetNumFrustumSectors(const Camera* camera);
};
