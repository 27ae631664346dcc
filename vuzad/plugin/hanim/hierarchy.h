// The hierarchical-animation plug-in: a node id on every frame, and the Hierarchy that a
// skeleton's root frame carries: the animated nodes in depth-first order with their
// tree-walk flags, one AnimInterpolator (node i = entry i), the frames bound to the entries
// and the matrix array that UpdateMatrices fills.
//
// Typical use (the animation layer): find the hierarchy on a model's frames
// (HierarchyFrame::GetHierarchy), Hierarchy::AttachFrames, set the flags to
// kHierarchyUpdateModelling, drive hierarchy->interpolator (AnimInterpolator::SetAnimation,
// AddTime, or blends into its interpolated keyframes) and call Hierarchy::UpdateMatrices once
// per frame.
#pragma once

#include "matrix.h"
#include "stdkey.h"

#include <cstdint>

struct Frame;
struct AnimInterpolator;
struct Hierarchy;

// Node flags: how the next entry of the table relates to this one.
constexpr uint32_t kHierarchyPop = 0x1;  ///< no children, last sibling: the next entry's parent is popped
constexpr uint32_t kHierarchyPush = 0x2; ///< a later sibling follows: the parent is saved for it
// 0: the next entry is this node's first child; 3: the next entry is this node's sibling.

// Hierarchy flags.
constexpr uint32_t kHierarchySubHierarchy = 0x1;    ///< shares the table and matrices of its parent hierarchy
constexpr uint32_t kHierarchyNoMatrices = 0x2;      ///< no matrix array: matrices only go into frames
constexpr uint32_t kHierarchyUpdateModelling = 0x1000; ///< each node's local matrix into its frame's modelling matrix
constexpr uint32_t kHierarchyUpdateWorld = 0x2000;  ///< each node's world matrix straight into its frame
constexpr uint32_t kHierarchyLocalSpace = 0x4000;   ///< the matrix array is relative to the root frame's parent

/// Deepest nesting of pushes a table may have.
constexpr int32_t kHierarchyStackDepth = 30;

/// The frame extension (on every frame).
struct HierarchyFrameExtension
{
    int32_t nodeId;       ///< -1: none
    Hierarchy* hierarchy; ///< only on the root frame of a hierarchy
};

struct HierarchyNode
{
    int32_t nodeId;
    int32_t nodeIndex; ///< its own position
    uint32_t flags;    ///< kHierarchyPop, kHierarchyPush
    Frame* frame;      ///< null until attached
};

struct Hierarchy
{
    uint32_t flags;
    int32_t nodeCount;
    Matrix* matrices;  ///< nodeCount matrices, 16-byte aligned; null with kHierarchyNoMatrices
    void* matrixBlock; ///< the unaligned allocation behind matrices
    HierarchyNode* nodes;
    Frame* rootFrame;
    Hierarchy* parentHierarchy; ///< itself, except for a sub-hierarchy
    int32_t rootParentOffset;   ///< sub-hierarchy only: the parent matrix of node 0 in the parent's array; -1 none
    AnimInterpolator* interpolator;
    /// The maximum interpolated keyframe size as the stream stored it (the in-memory size
    /// differs on 64 bits), written back while the interpolator keeps the size it was read
    /// for; 0 for a hierarchy made in memory.
    int32_t streamInterpSize;

    static constexpr int32_t kPluginId = 286;
    static constexpr uint32_t kStreamVersion = 0x100;
    /// The smallest "maximum interpolated keyframe size" a stream may give: the stored size
    /// of the standard keyframe.
    static constexpr int32_t kMinStreamInterpSize = 36;

    /// Registers the engine plug-in (no block), the frame extension and its stream callbacks;
    /// only between Engine::Init and Engine::Open. 1, or 0 when a registration was refused.
    static int32_t Attach();
    /// -1 before Attach.
    static int32_t GetFrameOffset();
    static HierarchyFrameExtension* GetFrameExtension(Frame* frame);

    /// A hierarchy not yet on any frame. flags and ids may be null (entries then get flags 0
    /// and id -1). Null when the flags do not form a walkable table (pushes nested deeper
    /// than 30, a pop with nothing pushed before the last entry, bits other than 0 and 1), for
    /// a node count < 1, or when memory runs out.
    static Hierarchy* Create(int32_t nodeCount, const uint32_t* nodeFlags, const int32_t* nodeIds,
                             uint32_t hierarchyFlags, int32_t maxInterpKeyFrameSize);
    /// A hierarchy with the source's entries (ids, indices, flags), frames not attached.
    static Hierarchy* CreateFromHierarchy(const Hierarchy* source, uint32_t hierarchyFlags,
                                          int32_t maxInterpKeyFrameSize);
    /// Frees what it owns and clears its root frame's extension. Null.
    static Hierarchy* Destroy(Hierarchy* hierarchy);
    /// 1 when the node flags can be walked with the 30-entry stack.
    static int32_t CheckNodeFlags(const uint32_t* nodeFlags, int32_t nodeCount);

    /// Binds every entry to the frame below (and including) the root frame that carries its
    /// id; every visited frame is marked for update. The hierarchy.
    static Hierarchy* AttachFrames(Hierarchy* hierarchy);
    /// The same for the one id of entry index. The hierarchy.
    static Hierarchy* AttachNode(Hierarchy* hierarchy, int32_t index);
    /// The interpolated keyframes into matrices and frames, as the flags say. 1.
    static int32_t UpdateMatrices(Hierarchy* hierarchy);
};

/// The frame side of the extension.
struct HierarchyFrame
{
    /// The hierarchy whose root frame this is, or null.
    static Hierarchy* GetHierarchy(Frame* frame);
    /// Makes the frame the hierarchy's root frame (a hierarchy the frame had is destroyed).
    static Frame* SetHierarchy(Frame* frame, Hierarchy* hierarchy);
    static int32_t GetAnimNodeId(Frame* frame);
    static Frame* SetAnimNodeId(Frame* frame, int32_t nodeId);
};

struct HierarchyPlugin
{
    /// Engine open (Engine::Start): the hierarchy free list and the standard keyframe scheme;
    /// null when the free list cannot be made. Close destroys the free list.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
};
