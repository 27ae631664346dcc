// Frames: nodes of transform hierarchies. A change only marks the frame and puts its
// hierarchy's root on the engine's dirty-frame list; world matrices and the objects hung
// on frames are brought up to date in one pass when a camera begins an update, or on
// demand when a world matrix is asked for.
#pragma once

#include "linklist.h"
#include "matrix.h"
#include "plugin.h"

#include <cstdint>

// Private flags. On a root: the hierarchy's world matrices are out of date, its objects
// are; the root is on the dirty-frame list exactly while either is set.
constexpr uint8_t kFrameHierarchyMatrices = 0x1;
constexpr uint8_t kFrameHierarchyObjects = 0x2;
constexpr uint8_t kFrameHierarchyDirty = kFrameHierarchyMatrices | kFrameHierarchyObjects;
// On any frame: its world matrix must be recomputed (and with it its descendants'), its
// objects must be synchronised.
constexpr uint8_t kFrameMatrixDirty = 0x4;
constexpr uint8_t kFrameObjectsDirty = 0x8;

struct Frame;
/// Answers the child to go on, or null to stop.
using FrameCallback = Frame* (*)(Frame* child, void* data);

struct Frame
{
    uint8_t type; ///< 0
    uint8_t subType;
    uint8_t flags;
    uint8_t privateFlags;
    Frame* parent;      ///< null for a root
    ListLink dirtyLink; ///< in the dirty-frame list while a root with bit 0 or 1
    // The matrices start 32 bytes in, so they lie on 16 bytes in a frame from the frame
    // free list (its entries are 16-byte aligned), where the four-lane routines read them
    // fastest; no alignment is demanded of other storage.
    Matrix modelling; ///< relative to the parent
    Matrix world;     ///< modelling x parent's world; current after a synchronisation
    ListLink objects; ///< FrameObject::link of the objects hung on the frame
    Frame* child;     ///< first child; new children go to the front
    Frame* next;      ///< next sibling
    Frame* root;      ///< of the hierarchy; the frame itself for a root
    // Plug-in data follows, at the offsets Frame::RegisterPlugin answered.

    // ---- Objects from the frame free list ------------------------------------------

    /// An unmarked identity root, or null (no block, or a plug-in constructor failed).
    static Frame* Create();
    /// Detaches the frame from its parent and makes each child a marked root of its own
    /// subtree; attached objects must be detached first. 1.
    static int32_t Destroy(Frame* frame);
    /// The frame and all below it, children before parents (a null frame is allowed). 1.
    static int32_t DestroyHierarchy(Frame* frame);
    /// A copy of the subtree, marked for a full recomputation, with siblings in the
    /// source's order. Each source frame's root then points at its copy, for the caller
    /// to map objects across; the caller restores them with SetRootInSubtree. Null on
    /// failure, with the sources' roots already restored.
    static Frame* CloneHierarchy(Frame* frame);

    // ---- The hierarchy -----------------------------------------------------------------

    /// root = the parent's root (the frame itself without a parent), for the whole subtree.
    static Frame* SetRootInSubtree(Frame* frame);
    static Frame* GetRoot(const Frame* frame) { return frame->root; }
    /// The root's pending-synchronisation bits: 0 when nothing is pending.
    static int32_t IsDirty(const Frame* frame) { return frame->root->privateFlags & kFrameHierarchyDirty; }
    /// Marks the frame so its objects are synchronised. The frame.
    static Frame* UpdateObjects(Frame* frame);
    /// Current, computing the hierarchy's matrices first when they are out of date (the
    /// objects stay pending). Valid as long as the frame lives.
    static const Matrix* GetWorldMatrix(Frame* frame);
    /// child must not be an ancestor of parent. A marked root leaves the dirty list and
    /// is marked inside its new hierarchy. The parent.
    static Frame* AddChild(Frame* parent, Frame* child);
    /// Attaching only: the dirty list and the marks are left to the caller (stream readers).
    static Frame* AddChildNoUpdate(Frame* parent, Frame* child);
    /// frame must have a parent; it becomes a marked root of its subtree. The frame.
    static Frame* RemoveChild(Frame* frame);
    /// The next sibling is fetched before each call, so the callback may detach or destroy
    /// its child.
    static Frame* ForAllChildren(Frame* frame, FrameCallback callback, void* data);
    /// Frames in the subtree, the frame included.
    static int32_t CountHierarchy(const Frame* frame);

    // ---- Transforms of the modelling matrix; the frame is marked even when the matrix
    // operation refuses a combine mode.

    static Frame* Translate(Frame* frame, const Vector* translation, int32_t combine);
    static Frame* Scale(Frame* frame, const Vector* scale, int32_t combine);
    static Frame* Rotate(Frame* frame, const Vector* axis, float angleDegrees, int32_t combine);
    static Frame* Transform(Frame* frame, const Matrix* matrix, int32_t combine);
    static Frame* SetIdentity(Frame* frame);
    static Frame* Orthonormalize(Frame* frame);

    // ---- Synchronisation -----------------------------------------------------------------

    /// Brings every hierarchy on the dirty-frame list up to date and empties the list:
    /// world matrices of marked frames and their descendants, then every object's sync
    /// callback. 1.
    static int32_t SyncDirtyList();
    /// The matrix pass alone; the root stays on the list for its objects.
    static void SyncHierarchyMatrices(Frame* root);

    // ---- Plug-ins (before Engine::Open) ---------------------------------------------------

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();

    // ---- The frame module (engine-level module 0x403) ----------------------------------------

    static constexpr int32_t kPluginId = 0x403;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
