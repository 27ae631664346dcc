// Collision trees over the triangles of leaf sectors and geometries, the collision plug-in
// that attaches them and keeps the query stamps, the records the collision queries hand to
// their callbacks, and the exact intersection tests the queries are built on.
#pragma once

#include "bbox.h"
#include "camera.h"

#include <cstdint>

struct Atomic;
struct Geometry;
struct Stream;
struct WorldSector;

// ---- Collision trees ------------------------------------------------------------------------

constexpr int32_t kCollisionPluginId = 285;
constexpr uint32_t kChunkCollisionTree = 44;
/// An older-layout leaf holds more triangles than a node's type byte can tell.
constexpr int32_t kCollisionErrLeafTooLarge = 1;
/// A stored tree breaks the invariants the queries rely on (split indices, cycles, leaf
/// runs, depth, map entries): it is dropped and its owner loads without it.
constexpr int32_t kCollisionErrBadTree = 2;

constexpr uint32_t kCollisionTreeHasMap = 0x1;
/// A node type that names a split; any other value is a leaf's triangle count.
constexpr uint8_t kCollisionNodeSplit = 0xFF;
/// The query walks keep 33 pending entries: no tree is deeper than this below its root.
constexpr int32_t kCollisionTreeMaxDepth = 32;
constexpr int32_t kCollisionWalkStack = kCollisionTreeMaxDepth + 1;

struct CollisionTreeNode
{
    uint8_t axis;   ///< bits 2-3: the split axis as a byte offset (0 x, 4 y, 8 z); mask with 0x0C
    uint8_t type;   ///< kCollisionNodeSplit, or a leaf's triangle count
    uint16_t index; ///< a split's index, or a leaf's first position
};

struct CollisionTreeSplit
{
    CollisionTreeNode leftNode;
    float leftValue; ///< the largest coordinate on the axis of any triangle on the left
    CollisionTreeNode rightNode;
    float rightValue; ///< the smallest coordinate on the axis of any triangle on the right
};

static_assert(sizeof(CollisionTreeNode) == 4 && sizeof(CollisionTreeSplit) == 16, "stored byte for byte");

/// One block: the head, the splits at the next 16-byte boundary, the map after them.
struct CollisionTree
{
    uint32_t flags; ///< kCollisionTreeHasMap
    BBox box;       ///< of the tree's triangles, maximum corner first
    uint16_t numTriangles;
    uint16_t numSplits; ///< 0: one leaf holding every triangle
    CollisionTreeSplit* splits;
    uint16_t* map; ///< position to triangle index, or null

    /// Splits and map allocated, not filled. Null when memory fails (0x80000013).
    static CollisionTree* Create(int32_t numTriangles, int32_t numSplits, const BBox* box, uint32_t flags);
    /// Frees the block through the engine's memory; null is ignored.
    static void Destroy(CollisionTree* tree);
    /// The triangle index at a position.
    static int32_t TriangleAt(const CollisionTree* tree, int32_t position)
    {
        return tree->map ? tree->map[position] : position;
    }

    /// True when the invariants the walks rely on hold: split indices in range and each
    /// split reached once, leaves covering positions 0 to numTriangles - 1 in walk order,
    /// leaf counts below 0xFF, an axis of x, y or z, at most kCollisionTreeMaxDepth
    /// levels, and every triangle index below ownerTriangles.
    static bool Validate(const CollisionTree* tree, int32_t ownerTriangles);

    // ---- Stream form (chunk 44) ------------------------------------------------------------

    /// Chunk-44 body size: 48 + 16 per split (+ 2 per triangle with a map).
    static int32_t StreamGetSize(const CollisionTree* tree);
    /// The chunk-44 header, its struct chunk and the body. The tree, or null.
    static const CollisionTree* StreamWrite(const CollisionTree* tree, Stream* stream);
    /// Stream inside a chunk 44 (after its header). Null on a short read, a struct chunk
    /// whose size does not match its counts, or a tree that fails Validate (with
    /// {285, 2}); nothing is left allocated.
    static CollisionTree* StreamRead(Stream* stream);
    /// Converts the older layout that follows the leaf count and triangle count words:
    /// numSplits split records, the leaf words and the map. A leaf of more than 0xEF
    /// triangles, or a tree that fails Validate, sets *dropped and records {285, 1} or
    /// {285, 2}. Null then, and on a short read.
    static CollisionTree* ConvertOld(Stream* stream, int32_t numTriangles, int32_t numSplits, const BBox* box,
                                     int32_t* dropped);

    // ---- The plug-in's stream callbacks (sectors and geometries) ------------------------------

    /// Reads exactly length bytes; a dropped tree leaves the owner without one and the
    /// stream past the data. The stream, or null.
    static Stream* StreamReadExtension(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
    static Stream* StreamWriteExtension(Stream* stream, int32_t length, const void* object, int32_t offset,
                                        int32_t size);
    /// 0 without a tree, else the chunk-44 body size + 16.
    static int32_t StreamSizeExtension(const void* object, int32_t offset, int32_t size);
    static void* ConstructExtension(void* object, int32_t offset, int32_t size);
    /// Frees the tree. The object.
    static void* DestroyExtension(void* object, int32_t offset, int32_t size);
};

// ---- The collision plug-in ---------------------------------------------------------------------

struct Collision
{
    /// Between Engine::Init and Engine::Open, after World::Attach: the engine's query
    /// stamp, the atomics' stamps, and the tree of sectors and geometries with their
    /// stream callbacks. 1, or 0 at the first registration that fails.
    static int32_t Attach();

    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static void* InitAtomicStamp(void* atomic, int32_t offset, int32_t size);

    static CollisionTree* GetSectorTree(const WorldSector* sector);
    static CollisionTree* GetGeometryTree(const Geometry* geometry);
    /// Gives the owner a tree it now owns, freeing the one it had. The owner.
    static WorldSector* SetSectorTree(WorldSector* sector, CollisionTree* tree);
    static Geometry* SetGeometryTree(Geometry* geometry, CollisionTree* tree);

    /// The stamp of the current atomic query, and an atomic's last one.
    static uint32_t* QueryStamp();
    static uint32_t* AtomicStamp(Atomic* atomic);
    /// Open engine instances seen by the plug-in.
    static int32_t GetOpenCount();
};

// ---- What the queries take and hand back ---------------------------------------------------------

enum IntersectionType : int32_t
{
    kIntersectLine = 1,
    kIntersectPoint = 2,
    kIntersectSphere = 3,
    kIntersectBox = 4,
    kIntersectAtomic = 5,
};

struct Line
{
    Vector start;
    Vector end;
};

/// A shape in world space, filled by the caller.
struct IntersectionPrimitive
{
    union
    {
        Line line;
        Vector point;
        Sphere sphere;
        BBox box;
        Atomic* atomic; ///< stands for its world bounding sphere
    } data;
    int32_t type; ///< IntersectionType; other values make every query return at once
};

/// A triangle hit, valid only during the callback.
struct CollisionTriangle
{
    Vector normal; ///< unit normal of (B - A) x (C - A)
    Vector point;  ///< A
    int32_t index; ///< in the owner's triangle array
    Vector* vertices[3];
};

// ---- Intersection tests ----------------------------------------------------------------------------

struct Intersection
{
    /// 1 on contact, with the unit normal and the signed distance of the centre from the
    /// plane (positive on the front); else 0.
    static int32_t SphereTriangle(const Sphere* sphere, const Vector* a, const Vector* b, const Vector* c,
                                  Vector* normal, float* distance);
    /// 1 when the box and the triangle overlap, else 0.
    static int32_t BoxTriangle(const BBox* box, const Vector* a, const Vector* b, const Vector* c);
    /// The line parameter of a front-face hit on the triangle, within the 0.00001 margins;
    /// false for a miss, a back face or a near-parallel line.
    static bool LineTriangle(const Vector* start, const Vector* delta, const Vector* a, const Vector* b,
                             const Vector* c, float* t);
};
