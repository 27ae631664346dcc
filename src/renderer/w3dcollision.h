// Node collision sets: trees of collision volumes (spheres hung on frames, collision atomics
// and whole scene nodes) whose atomics join the scene's main world so that world queries
// find them; the bullet query over one node's shot set, the level-wide line test, the
// sector queries and the box collision atomic.
#pragma once

#include "camera.h"
#include "hbgrowarray.h"
#include "hbmemory.h"

#include <cstdint>

struct Atomic;
struct Frame;
struct Material;
struct Rgba;
struct World;
struct WorldSector;
class W3dCollisionTree;
class W3dLevel;
class W3dNode;
class WScene;

// ---- Volumes ----------------------------------------------------------------------------------

/// One collision volume.
class W3dCollisionNode : public HbAllocated
{
public:
    enum Kind : uint32_t
    {
        kFrameSphere = 0x1,
        kAtomic = 0x2,
        kNode = 0x4,
        /// With kAtomic: the atomic came with a frame of its own, which the volume owns.
        kOwnsFrame = 0x8,
    };
    /// Mask bit of a frame sphere whose sphere record is borrowed, not freed.
    static constexpr uint8_t kBorrowedSphere = 0x4;

    /// A sphere hung on a frame; the sphere (centre and radius in the frame's space) comes
    /// from NewSphere and is owned by the volume unless mask bit kBorrowedSphere is set. The
    /// volume owns the frame. Joins the scene's main world. Null when out of memory.
    static W3dCollisionNode* CreateForFrame(Frame* frame, Sphere* sphere, WScene* scene);
    /// A collision atomic, which the volume owns (with its frame, when it has one of its own).
    static W3dCollisionNode* CreateForAtomic(Atomic* atomic, WScene* scene);
    /// A whole scene node, one reference held; its bounding sphere on its engine object's frame.
    static W3dCollisionNode* CreateForNode(W3dNode* node, WScene* scene);
    /// A sphere record for CreateForFrame; null when out of memory.
    static Sphere* NewSphere(const Sphere& sphere);

    /// Out of its parent's children and out of the world; frees what the volume owns. The
    /// children are the caller's (DestroySubtree destroys them too).
    ~W3dCollisionNode();
    /// The volume and its subtree, children before parents and the last child first.
    static void DestroySubtree(W3dCollisionNode* volume);

    /// Appends a child: its parent, depth and tree follow this volume.
    void AddChild(W3dCollisionNode* child);
    /// The sphere in world space, in one shared record valid until the next call.
    const Sphere* GetWorldSphere() const;
    /// Applies the mask to the volume's atomics and ORs it into the volume's mask.
    void AddMask(uint8_t mask);
    /// Applies the mask to the volume's atomics only.
    void ApplyMask(uint8_t mask);
    /// The volume's atomics into the scene's main world, once; nothing without a scene or world.
    void AddToWorld(WScene* scene);
    /// The volume's atomics out of whatever world holds them, once; nothing without a scene.
    void RemoveFromWorld(WScene* scene);
    /// Calls fn for each atomic of the volume (its atomic, or every atomic of its node).
    void ForAllAtomics(void (*fn)(Atomic* atomic, void* user), void* user) const;

    W3dNode* node = nullptr;
    Atomic* atomic = nullptr;
    uint32_t kind = 0;
    uint8_t mask = 0;
    int32_t depth = 0;
    Frame* frame = nullptr;
    Sphere* sphere = nullptr;
    int32_t inWorld = 0;
    HbPtrArray children;
    W3dCollisionNode* parent = nullptr;
    W3dCollisionTree* tree = nullptr;

private:
    W3dCollisionNode() = default;
};

/// Sets a collision mask on an atomic: the collision-test flag follows the mask, the render
/// flag is cleared (collision atomics are never drawn) and the mask is ORed into the green
/// byte of its geometry's first material.
void AtomicSetCollisionMask(Atomic* atomic, uint8_t mask);

// ---- Query records ------------------------------------------------------------------------------

struct W3dCollisionResult;
/// 1 to accept a candidate, 0 to ignore it.
using W3dCollisionFilter = int32_t (*)(const W3dCollisionResult* candidate);

struct W3dCollisionResult
{
    static constexpr int32_t kStaticTriangle = 1;
    static constexpr int32_t kAtomicTriangle = 2;

    int32_t hit;
    Vector normal;
    Vector spare[3];
    float distance; ///< fraction of the line; FLT_MAX when cleared
    int32_t kind;
    uint8_t color[4]; ///< r, g, b, a of the hit triangle's material; green is the surface tag
    W3dNode* node;    ///< owner of the atomic being tested
    W3dNode* hitNode; ///< owner of the atomic whose triangle was accepted
    W3dCollisionFilter filter;

    /// Everything zero, distance FLT_MAX.
    void Clear();
};

/// The bullet query's record.
struct W3dCollisionQuery : W3dCollisionResult
{
    static constexpr int32_t kNoHit = 0;
    static constexpr int32_t kDirectHit = 1;
    static constexpr int32_t kGraze = 2;

    int32_t hitType;
    float triangleDistance;
    float bestCosine;
    W3dCollisionNode* hitVolume;

    W3dCollisionQuery() { Reset(); }
    /// The result cleared; distance and triangleDistance 1.05, no hit type, bestCosine -1.1.
    void Reset();
};

// ---- Trees ----------------------------------------------------------------------------------------

class W3dCollisionTree
{
public:
    W3dCollisionTree() = default;
    ~W3dCollisionTree() { Clear(); }
    W3dCollisionTree(const W3dCollisionTree&) = delete;
    W3dCollisionTree& operator=(const W3dCollisionTree&) = delete;

    /// Appends a volume the game registers besides the tree (not owned).
    void AddNode(W3dCollisionNode* volume);
    /// Destroys the old root with its subtree; the new root and its subtree get this tree.
    void SetRoot(W3dCollisionNode* root);
    /// The root destroyed by someone else: the tree forgets it.
    void ForgetRoot(W3dCollisionNode* root)
    {
        if (mRoot == root)
            mRoot = nullptr;
    }
    /// Frees the registered volumes' array and destroys the root with its subtree.
    void Clear();
    /// Stores the flag and applies each volume's mask when on, 0 when off.
    void SetEnabled(int32_t on);
    /// Every volume's atomics into the scene's main world, root first.
    void AddToWorld(WScene* scene);
    /// Every volume's atomics out of their world, children first; nothing without a scene.
    void RemoveFromWorld(WScene* scene);

    /// The bullet test of this shot set: query prepared by the caller (Reset), segment
    /// {start, end}, margin the bullet's radius. query->hit; on a direct hit segment[1]
    /// becomes the end of the line query->distance measures along.
    int32_t CollideSegment(W3dCollisionQuery* query, Vector* segment, float margin);

    W3dCollisionNode* GetRoot() const { return mRoot; }
    const HbPtrArray& GetNodes() const { return mNodes; }
    int32_t IsEnabled() const { return mEnabled; }

    // ---- Frames the game names on a node's shot set (none owned): the element frames (the
    // first gives an actor's facing and its sight point), the eye, the shooting atomic (the
    // muzzle of the line of fire) and the aim point. Clear forgets them all.

    void AddElementFrame(Frame* frame) { mElementFrames.Add(frame); }
    int32_t GetElementFrameCount() const { return mElementFrames.GetCount(); }
    Frame* GetElementFrame(int32_t index) const
    {
        return index >= 0 && index < mElementFrames.GetCount() ? static_cast<Frame*>(mElementFrames[index]) : nullptr;
    }
    void SetEyeFrame(Frame* frame) { mEyeFrame = frame; }
    Frame* GetEyeFrame() const { return mEyeFrame; }
    void SetShootAtomic(Atomic* atomic) { mShootAtomic = atomic; }
    Atomic* GetShootAtomic() const { return mShootAtomic; }
    void SetAimFrame(Frame* frame) { mAimFrame = frame; }
    Frame* GetAimFrame() const { return mAimFrame; }

private:
    W3dCollisionNode* mRoot = nullptr;
    HbPtrArray mNodes;
    int32_t mEnabled = 1;
    HbPtrArray mElementFrames;
    Frame* mEyeFrame = nullptr;
    Atomic* mShootAtomic = nullptr;
    Frame* mAimFrame = nullptr;
};

// ---- Level queries ----------------------------------------------------------------------------------

/// The line test: clears result and stores filter; the collision world's triangles the line
/// meets, then (with a main world) every owned atomic the line meets that belongs to neither
/// ignored node, and its triangles. The nearest accepted candidate wins. result->hit.
int32_t CollisionTestLineEx(World* mainWorld, World* collisionWorld, const Vector* start, const Vector* end,
                            const W3dNode* ignore1, const W3dNode* ignore2, W3dCollisionResult* result,
                            W3dCollisionFilter filter);
/// CollisionTestLineEx on the level's main and collision worlds; a miss without a level.
int32_t CollisionTestLine(const W3dLevel* level, const Vector* start, const Vector* end, const W3dNode* ignore1,
                          const W3dNode* ignore2, W3dCollisionResult* result, W3dCollisionFilter filter);
/// The colour of a collision-world triangle's material (opaque black when it has none).
Rgba CollisionTriangleGetMaterialColor(const WorldSector* sector, int32_t triangle);
/// The first sector of the level's collision world whose bounds contain the point. Callers
/// expect a sector: a point outside the world gets the leaf its partition tree leads to.
/// Null only without a world.
WorldSector* LevelFindSectorAtPoint(World* collisionWorld, const Vector* point);
/// Appends every sector of the level's collision world that the sphere touches.
void LevelCollectSectorsInSphere(HbPtrArray* array, World* collisionWorld, const Sphere* sphere);
/// True when the sphere grown by margin holds either end of the segment, or the point of the
/// segment's line nearest the centre lies strictly between the ends and nearer than radius +
/// margin. direction is the segment's unit direction.
bool SphereIntersectsSegment(const Sphere* sphere, const Vector* direction, const Vector* segment, float margin);

/// A box collision atomic: box = {max x, y, z, min x, y, z}; 24 vertices with face normals
/// and 12 triangles over one material; on a new frame, collision-tested and not drawn. Null
/// when anything cannot be made.
Atomic* CreateBoxGeometry(const float box[6]);
