// W3dNode: the base of everything placed in the 3D scene. A node wraps one engine frame and
// keeps beside it its child nodes, its scene, its render items, its two collision sets and
// the lighting the level's light field gave it; the node tree and the frame tree move
// together.
#pragma once

#include "camera.h"
#include "hbgrowarray.h"
#include "hbptrlist.h"
#include "hbroot.h"
#include "w3dcollision.h"

#include <cstdint>

struct Atomic;
struct Clump;
struct Frame;
struct TRenderDataItem;
class WScene;

class W3dNode : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    enum Flag : uint32_t
    {
        kStaticShadow = 0x01,
        kDynamicShadow = 0x02,
        kVisible = 0x04,
        /// Lit by the light field; its children take its lighting.
        kLitByField = 0x08,
        kInRenderLists = 0x10,
        kReadyToDraw = 0x20,
    };
    /// renderLayer of a node whose opaque items go to no list.
    static constexpr int32_t kNoRenderLayer = 6;

    using FadeFunction = float (*)(TRenderDataItem* item, void* user);
    using ClumpFunction = int32_t (*)(W3dNode* node, Clump* clump, void* user);
    using AtomicFunction = int32_t (*)(W3dNode* node, Atomic* atomic, void* user);
    using FrameFunction = int32_t (*)(W3dNode* node, Frame* frame, void* user);
    using ChildFunction = int32_t (*)(W3dNode* child, void* user);

    W3dNode();
    ~W3dNode() override;

    // ---- Node operations (after the root's) ---------------------------------------------

    /// The node's sphere {centre, radius} in its frame's space.
    virtual const Sphere* GetBoundingSphere() = 0;
    /// The engine frame that places the node.
    virtual Frame* GetEngineFrame() = 0;
    /// The engine object behind the node (a clump, camera or light: each starts with its
    /// type byte and its frame), or null.
    virtual void* GetEngineObject() { return nullptr; }
    virtual void ForAllClumps(ClumpFunction, void*) {}
    /// fn for each atomic until one answers 0.
    virtual void ForAllAtomics(AtomicFunction, void*) {}
    virtual void ForAllFrames(FrameFunction, void*) {}
    /// Per-frame work of a node on the scene's update list.
    virtual void Update() {}
    virtual void SpareHook() {}
    /// The frame whose world position samples the light field.
    virtual Frame* GetLightingFrame() { return GetEngineFrame(); }
    virtual int32_t SetLightingFrame(Frame*) { return 0; }
    virtual void ClearMoveCollisionSet() { mMoveCollisionSet.Clear(); }
    virtual void ClearShootCollisionSet() { mShootCollisionSet.Clear(); }
    /// The node has entered a scene (GetScene is set).
    virtual void OnAddToWorld() {}
    /// The node is leaving its scene (GetScene is still set).
    virtual void OnRemoveFromWorld() {}

    // ---- The tree ---------------------------------------------------------------------------

    /// Hangs child under this node, its frame under frame (null: this node's frame). The
    /// child gets one reference and leaves its old parent; under a node in a scene it
    /// enters the scene (parents first) and its collision sets join the main world.
    void AddChild(W3dNode* child, Frame* frame);
    void AttachChild(W3dNode* child) { AddChild(child, nullptr); }
    /// Takes a child of this node out of the scene (children first), off this node's frame
    /// and out of the list; releases its attachments and this node's reference on it.
    /// Nothing for a node that is not a child of this one.
    void RemoveChild(W3dNode* child);
    void DetachAllChildren();
    /// fn for each child in list order (fn may remove the current child); 0 when fn
    /// answered 0 and the walk stopped, else 1.
    int32_t ForAllChildren(ChildFunction fn, void* user);
    /// The node and its subtree enter the scene, parents first.
    void AddToScene(WScene* scene);
    /// The node and its subtree leave their scene, children first.
    void RemoveFromScene();
    /// Gives the node an object it owns while it hangs in the tree: one reference is taken
    /// and released when the node is taken from its parent. 1, or 0 when out of memory.
    int32_t AddAttachment(HbRoot* object);

    // ---- Visibility and placement ---------------------------------------------------------

    /// The subtree visible, with the shadows of its nodes.
    void Show();
    /// The subtree hidden, with the shadows of its nodes.
    void Hide();
    /// Into the frame's world matrix: follows the frame's later moves.
    const Vector* GetWorldPosition();
    const Vector* GetWorldAt();
    /// Moves the frame by the difference, applied after its current transform.
    void SetWorldPosition(const Vector* point);
    void LookAlong(const Vector* direction);

    // ---- Lighting -------------------------------------------------------------------------------

    /// Each render item is lit when this node or its parent is lit by the light field.
    void RefreshItemLighting();
    /// Before the node's lit atomics draw: the light field of the scene's level is sampled at
    /// the lighting frame once per frame stamp and its lights take the sample; a node under a
    /// parent lit by the field takes the parent's lighting instead.
    void UpdateLighting(int32_t stamp);

    // ---- Fields -------------------------------------------------------------------------------

    W3dNode* GetParent() const { return mParent; }
    WScene* GetScene() const { return mScene; }
    const HbPtrList& GetChildren() const { return mChildren; }
    HbPtrArray& GetRenderItems() { return mRenderItems; }
    HbPtrArray& GetAttachments() { return mAttachments; }
    uint32_t GetFlags() const { return mFlags; }
    void SetFlags(uint32_t flags) { mFlags = flags; }
    int32_t GetShadowId() const { return mShadowId; }
    void SetShadowId(int32_t id) { mShadowId = id; }
    FadeFunction GetFadeFunction() const { return mFadeFunction; }
    void* GetFadeUserData() const { return mFadeUserData; }
    void SetFade(FadeFunction fn, void* user)
    {
        mFadeFunction = fn;
        mFadeUserData = user;
    }
    int32_t GetRenderLayer() const { return mRenderLayer; }
    void SetRenderLayer(int32_t layer) { mRenderLayer = layer; }
    /// The layer its items move to while the node fades out (kNoRenderLayer: it cannot fade).
    int32_t GetFadeRenderLayer() const { return mFadeRenderLayer; }
    void SetFadeRenderLayer(int32_t layer) { mFadeRenderLayer = layer; }
    W3dCollisionTree& GetMoveCollisionSet() { return mMoveCollisionSet; }
    W3dCollisionTree& GetShootCollisionSet() { return mShootCollisionSet; }
    Vector& GetShadowVector() { return mShadowVector; }
    Vector& GetLightDirection() { return mLightDirection; }
    float* GetLightDirectionalColor() { return mLightDirectionalColor; }
    float* GetLightAmbientColor() { return mLightAmbientColor; }
    int32_t GetLightStamp() const { return mLightStamp; }

private:
    friend class WScene;
    void SetVisibleInSubtree(bool visible);

    HbPtrList mChildren{10};
    HbPtrArray mRenderItems;
    FadeFunction mFadeFunction = nullptr;
    void* mFadeUserData = nullptr;
    W3dNode* mParent = nullptr;
    WScene* mScene = nullptr;
    /// The scene whose update list holds the node; it holds no reference, so the node takes
    /// itself off when it leaves that scene or dies.
    WScene* mUpdateScene = nullptr;
    W3dNode* mSpareNode = nullptr;
    int32_t mSpareWord = 0;
    void* mSparePointer = nullptr;
    uint32_t mFlags = kVisible | kReadyToDraw;
    int32_t mShadowId = -1;
    HbPtrArray mAttachments;
    Vector mLightDirection = {0.0f, 0.0f, 0.0f};
    float mLightDirectionalColor[4] = {};
    float mLightAmbientColor[4] = {};
    /// No frame stamp yet: the first frame samples.
    int32_t mLightStamp = -1;
    W3dCollisionTree mMoveCollisionSet;
    W3dCollisionTree mShootCollisionSet;
    Vector mShadowVector = {0.0f, 1.0f, 0.0f};
    int32_t mRenderLayer = kNoRenderLayer;
    int32_t mFadeRenderLayer = kNoRenderLayer;
};
