// Worlds and their partition trees as far as the world-object ties need them: the world
// record, plane nodes and leaf sectors, the records that tie atomics and local lights to
// the leaves they overlap, and the world module's start-up and tie operations.
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
struct World;
struct WorldSector;

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
    int32_t type; ///< kSectorLeaf
    void* triangles;
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
    static World* GetWorld(const WorldSector* sector);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
};

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
    BBox box;
    Pipeline* pipeline;
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 7;

    /// Empty lists, no clumps; for code that lays worlds out itself.
    static void InitRecord(World* world);

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
