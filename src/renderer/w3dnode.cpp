// Scene-graph nodes: the tree, scene entry and exit, visibility with shadows, placement.
#include "w3dnode.h"

#include "frame.h"
#include "matrix.h"
#include "w3dlevel.h"
#include "wlightfield.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wscene.h"
#include "wshadows.h"
#include "wvectorutil.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(W3dNode, HbRoot);

W3dNode::W3dNode()
{
    mMoveCollisionSet.Clear();
    mShootCollisionSet.Clear();
}

W3dNode::~W3dNode()
{
    if (mUpdateScene)
        mUpdateScene->ForgetUpdatable(this);
    mShootCollisionSet.Clear();
    mMoveCollisionSet.Clear();
    // The node holds one reference on each attachment (normally dropped when it left its
    // parent): a node destroyed with attachments still gives them back.
    for (int32_t i = 0; i < mAttachments.GetCount(); ++i)
        if (auto* object = static_cast<HbRoot*>(mAttachments[i]))
            object->Release();
    mAttachments.RemoveAll();
    // Listed items leave their lists before they are freed: a list is drawn every frame.
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->RemoveFromRenderLists(this);
    for (int32_t i = 0; i < mRenderItems.GetCount(); ++i)
        delete static_cast<TRenderDataItem*>(mRenderItems[i]);
    mRenderItems.RemoveAll();
    mChildren.RemoveAll();
}

// ---- The tree --------------------------------------------------------------------------------------

void W3dNode::AddChild(W3dNode* child, Frame* frame)
{
    if (child->mParent == this)
        return;
    child->AddRef();
    if (child->mParent)
        child->mParent->RemoveChild(child);
    child->mParent = this;
    mChildren.AddHead(child);

    Frame* childFrame = child->GetEngineFrame();
    if (childFrame->parent)
        Frame::RemoveChild(childFrame);
    Frame::AddChild(frame ? frame : GetEngineFrame(), childFrame);

    if (mScene)
    {
        child->mScene = mScene;
        child->OnAddToWorld();
        for (HbPtrListNode* n = child->mChildren.GetHead(); n; n = n->next)
            if (n->value)
                static_cast<W3dNode*>(n->value)->AddToScene(mScene);
        // Only the node hung here brings its collision sets; its descendants' stay put.
        child->mMoveCollisionSet.AddToWorld(mScene);
        child->mShootCollisionSet.AddToWorld(mScene);
        child->RefreshItemLighting();
    }
}

void W3dNode::RemoveChild(W3dNode* child)
{
    if (!child || child->mParent != this)
        return;
    if (mScene)
    {
        for (HbPtrListNode* n = child->mChildren.GetHead(); n; n = n->next)
            if (n->value)
                static_cast<W3dNode*>(n->value)->RemoveFromScene();
        child->OnRemoveFromWorld();
        if (child->mUpdateScene && child->mUpdateScene == mScene)
            mScene->ForgetUpdatable(child);
        child->mScene = nullptr;
        child->mMoveCollisionSet.RemoveFromWorld(mScene);
        child->mShootCollisionSet.RemoveFromWorld(mScene);
    }
    Frame* childFrame = child->GetEngineFrame();
    if (childFrame && childFrame->parent)
        Frame::RemoveChild(childFrame);
    for (HbPtrListNode* n = mChildren.GetHead(); n; n = n->next)
        if (n->value == child)
        {
            mChildren.RemoveAt(n);
            break;
        }
    child->mParent = nullptr;

    // Attachments may be held elsewhere too: the node gives back only its own reference.
    HbPtrArray& attachments = child->mAttachments;
    for (int32_t i = 0; i < attachments.GetCount(); ++i)
        if (auto* object = static_cast<HbRoot*>(attachments[i]))
            object->Release();
    attachments.RemoveAll();

    child->Release();
}

void W3dNode::DetachAllChildren()
{
    HbPtrListNode* n = mChildren.GetHead();
    while (n)
    {
        HbPtrListNode* next = n->next;
        if (n->value)
            RemoveChild(static_cast<W3dNode*>(n->value));
        n = next;
    }
}

int32_t W3dNode::ForAllChildren(ChildFunction fn, void* user)
{
    HbPtrListNode* n = mChildren.GetHead();
    while (n)
    {
        HbPtrListNode* next = n->next;
        if (n->value && !fn(static_cast<W3dNode*>(n->value), user))
            return 0;
        n = next;
    }
    return 1;
}

void W3dNode::AddToScene(WScene* scene)
{
    mScene = scene;
    OnAddToWorld();
    for (HbPtrListNode* n = mChildren.GetHead(); n; n = n->next)
        if (n->value)
            static_cast<W3dNode*>(n->value)->AddToScene(scene);
}

void W3dNode::RemoveFromScene()
{
    for (HbPtrListNode* n = mChildren.GetHead(); n; n = n->next)
        if (n->value)
            static_cast<W3dNode*>(n->value)->RemoveFromScene();
    OnRemoveFromWorld();
    if (mUpdateScene && mUpdateScene == mScene)
        mScene->ForgetUpdatable(this);
    mScene = nullptr;
}

int32_t W3dNode::AddAttachment(HbRoot* object)
{
    if (!object || mAttachments.Add(object) < 0)
        return 0;
    object->AddRef();
    return 1;
}

// ---- Visibility and placement -------------------------------------------------------------------------

void W3dNode::SetVisibleInSubtree(bool visible)
{
    mFlags = visible ? mFlags | kVisible : mFlags & ~uint32_t(kVisible);
    if (mShadowId != -1)
        WShadows::SetVisible(mShadowId, visible ? 1 : 0);
    for (HbPtrListNode* n = mChildren.GetHead(); n; n = n->next)
        if (n->value)
            static_cast<W3dNode*>(n->value)->SetVisibleInSubtree(visible);
}

void W3dNode::Show()
{
    SetVisibleInSubtree(true);
}

void W3dNode::Hide()
{
    SetVisibleInSubtree(false);
}

const Vector* W3dNode::GetWorldPosition()
{
    return &Frame::GetWorldMatrix(GetEngineFrame())->pos;
}

const Vector* W3dNode::GetWorldAt()
{
    return &Frame::GetWorldMatrix(GetEngineFrame())->at;
}

void W3dNode::SetWorldPosition(const Vector* point)
{
    const Vector* position = GetWorldPosition();
    Vector delta = {point->x - position->x, point->y - position->y, point->z - position->z};
    Frame::Translate(GetEngineFrame(), &delta, kCombinePostConcat);
}

void W3dNode::LookAlong(const Vector* direction)
{
    FrameLookAlong(GetEngineFrame(), direction);
}

// ---- Lighting -------------------------------------------------------------------------------------------

void W3dNode::RefreshItemLighting()
{
    if (mRenderItems.GetCount() == 0)
        return;
    bool lit = (mFlags & kLitByField) || (mParent && (mParent->mFlags & kLitByField));
    for (int32_t i = 0; i < mRenderItems.GetCount(); ++i)
        if (auto* item = static_cast<TRenderDataItem*>(mRenderItems[i]))
            item->lit = lit ? 1 : 0;
}

namespace
{
/// The frame's world position without synchronising its hierarchy: the light field's own
/// lights hang in the scene's tree and mark it at every apply, so a synchronisation per lit
/// node would walk the whole scene for each of them.
Vector WorldPositionOf(Frame* frame)
{
    if (!(frame->root->privateFlags & kFrameHierarchyMatrices))
        return frame->world.pos;
    Vector p = frame->modelling.pos;
    for (Frame* parent = frame->parent; parent; parent = parent->parent)
    {
        const Matrix& m = parent->modelling;
        p = {p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x,
             p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y,
             p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z};
    }
    return p;
}
} // namespace

void W3dNode::UpdateLighting(int32_t stamp)
{
    W3dLevel* level = mScene ? mScene->GetLevel() : nullptr;
    WLightFieldManager* field = level ? level->GetLightField() : nullptr;
    if (!field)
        return;
    if (mParent && (mParent->mFlags & kLitByField))
    {
        mLightDirection = mParent->mLightDirection;
        std::memcpy(mLightDirectionalColor, mParent->mLightDirectionalColor, sizeof(mLightDirectionalColor));
        std::memcpy(mLightAmbientColor, mParent->mLightAmbientColor, sizeof(mLightAmbientColor));
        field->Apply(mLightDirection, mLightDirectionalColor, mLightAmbientColor);
        return;
    }
    if (stamp != mLightStamp)
    {
        Frame* frame = GetLightingFrame();
        if (!frame)
            return;
        const Vector position = WorldPositionOf(frame);
        field->SampleAndApply(position, &mLightDirection, mLightDirectionalColor, mLightAmbientColor);
        mLightStamp = stamp;
        return;
    }
    // Sampled already this frame (a node with several atomics): the lights may have taken
    // another node's sample since, so the node's own is loaded again.
    field->Apply(mLightDirection, mLightDirectionalColor, mLightAmbientColor);
}
