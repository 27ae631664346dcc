// Collision volumes and the trees of a node's collision sets.
#include "w3dcollision.h"

#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbmemory.h"
#include "material.h"
#include "w3dnode.h"
#include "world.h"
#include "wscene.h"

#include <cfloat>

namespace
{
Frame* EngineObjectFrame(void* object)
{
    if (!object)
        return nullptr;
    // Clumps, cameras and lights all begin with their type byte and their frame.
    if (*static_cast<uint8_t*>(object) == Clump::kObjectType)
        return static_cast<Clump*>(object)->frame;
    return static_cast<FrameObject*>(object)->frame;
}

int32_t CollectAtomic(W3dNode*, Atomic* atomic, void* user)
{
    auto* call = static_cast<std::pair<void (*)(Atomic*, void*), void*>*>(user);
    call->first(atomic, call->second);
    return 1;
}

void AddAtomicToWorld(Atomic* atomic, void* world)
{
    World::AddAtomic(static_cast<World*>(world), atomic);
}

void RemoveAtomicFromWorld(Atomic* atomic, void*)
{
    if (World* world = Atomic::GetWorld(atomic))
        World::RemoveAtomic(world, atomic);
}

void ApplyMaskTo(Atomic* atomic, void* mask)
{
    AtomicSetCollisionMask(atomic, *static_cast<uint8_t*>(mask));
}

void DetachFrame(Frame* frame)
{
    if (frame && frame->parent)
        Frame::RemoveChild(frame);
}

void SetTreeInSubtree(W3dCollisionNode* volume, W3dCollisionTree* tree)
{
    volume->tree = tree;
    for (int32_t i = 0; i < volume->children.GetCount(); ++i)
        SetTreeInSubtree(static_cast<W3dCollisionNode*>(volume->children[i]), tree);
}

void AddSubtreeToWorld(W3dCollisionNode* volume, WScene* scene)
{
    volume->AddToWorld(scene);
    for (int32_t i = 0; i < volume->children.GetCount(); ++i)
        AddSubtreeToWorld(static_cast<W3dCollisionNode*>(volume->children[i]), scene);
}

void RemoveSubtreeFromWorld(W3dCollisionNode* volume, WScene* scene)
{
    for (int32_t i = 0; i < volume->children.GetCount(); ++i)
        RemoveSubtreeFromWorld(static_cast<W3dCollisionNode*>(volume->children[i]), scene);
    volume->RemoveFromWorld(scene);
}

void MaskSubtree(W3dCollisionNode* volume, bool on)
{
    volume->ApplyMask(on ? volume->mask : 0);
    for (int32_t i = 0; i < volume->children.GetCount(); ++i)
        MaskSubtree(static_cast<W3dCollisionNode*>(volume->children[i]), on);
}

Sphere gWorldSphere;
} // namespace

void AtomicSetCollisionMask(Atomic* atomic, uint8_t mask)
{
    if (mask)
        atomic->object.flags |= kAtomicCollisionTest;
    else
        atomic->object.flags &= uint8_t(~kAtomicCollisionTest);
    atomic->object.flags &= uint8_t(~kAtomicRender);
    Geometry* geometry = atomic->geometry;
    if (geometry && geometry->materials.count > 0 && geometry->materials.materials[0])
        geometry->materials.materials[0]->colour.green |= mask;
}

// ---- Volumes ------------------------------------------------------------------------------------------------

Sphere* W3dCollisionNode::NewSphere(const Sphere& sphere)
{
    auto* record = static_cast<Sphere*>(HbHeapAlloc(sizeof(Sphere)));
    if (record)
        *record = sphere;
    return record;
}

W3dCollisionNode* W3dCollisionNode::CreateForFrame(Frame* frame, Sphere* sphere, WScene* scene)
{
    auto* volume = new W3dCollisionNode();
    if (!volume)
        return nullptr;
    volume->kind = kFrameSphere;
    volume->frame = frame;
    volume->sphere = sphere;
    volume->AddToWorld(scene);
    return volume;
}

W3dCollisionNode* W3dCollisionNode::CreateForAtomic(Atomic* atomic, WScene* scene)
{
    auto* volume = new W3dCollisionNode();
    if (!volume)
        return nullptr;
    volume->kind = kAtomic;
    volume->atomic = atomic;
    if (atomic->geometry && atomic->geometry->numMorphTargets > 1)
        Atomic::InterpolateBoundingSphere(atomic);
    volume->sphere = &atomic->boundingSphere;
    if (atomic->object.frame)
    {
        volume->frame = atomic->object.frame;
        volume->kind |= kOwnsFrame;
    }
    else if (atomic->clump)
        volume->frame = atomic->clump->frame;
    volume->AddToWorld(scene);
    return volume;
}

W3dCollisionNode* W3dCollisionNode::CreateForNode(W3dNode* node, WScene* scene)
{
    auto* volume = new W3dCollisionNode();
    if (!volume)
        return nullptr;
    volume->kind = kNode;
    volume->node = node;
    node->AddRef();
    // A node without an engine object (a plain frame node) is placed by its own frame.
    volume->frame = EngineObjectFrame(node->GetEngineObject());
    if (!volume->frame)
        volume->frame = node->GetEngineFrame();
    volume->sphere = const_cast<Sphere*>(node->GetBoundingSphere());
    volume->AddToWorld(scene);
    return volume;
}

W3dCollisionNode::~W3dCollisionNode()
{
    if (parent)
    {
        HbPtrArray& siblings = parent->children;
        for (int32_t i = 0; i < siblings.GetCount(); ++i)
            if (siblings[i] == this)
            {
                for (int32_t j = i; j + 1 < siblings.GetCount(); ++j)
                    siblings[j] = siblings[j + 1];
                siblings.SetSize(siblings.GetCount() - 1);
                break;
            }
        parent = nullptr;
    }
    if (tree)
        tree->ForgetRoot(this);
    // Out of whatever world holds the atomics, scene or not.
    if (inWorld)
    {
        ForAllAtomics(RemoveAtomicFromWorld, nullptr);
        inWorld = 0;
    }
    if (kind & kFrameSphere)
    {
        DetachFrame(frame);
        if (frame)
            Frame::Destroy(frame);
        if (!(mask & kBorrowedSphere))
            HbHeapFree(sphere);
    }
    else if (kind & kAtomic)
    {
        Frame* owned = (kind & kOwnsFrame) ? frame : nullptr;
        if (atomic)
        {
            if (atomic->clump)
                Clump::RemoveAtomic(atomic->clump, atomic);
            Atomic::Destroy(atomic);
        }
        if (owned)
        {
            DetachFrame(owned);
            Frame::Destroy(owned);
        }
    }
    else if ((kind & kNode) && node)
        node->Release();
    frame = nullptr;
    sphere = nullptr;
}

void W3dCollisionNode::DestroySubtree(W3dCollisionNode* volume)
{
    if (!volume)
        return;
    while (volume->children.GetCount() > 0)
        DestroySubtree(static_cast<W3dCollisionNode*>(volume->children[volume->children.GetCount() - 1]));
    delete volume;
}

void W3dCollisionNode::AddChild(W3dCollisionNode* child)
{
    if (children.Add(child) < 0)
        return;
    child->parent = this;
    child->depth = depth + 1;
    child->tree = tree;
}

const Sphere* W3dCollisionNode::GetWorldSphere() const
{
    if (kind & kAtomic)
        gWorldSphere = *Atomic::GetWorldBoundingSphere(atomic);
    else
    {
        gWorldSphere.radius = sphere->radius;
        Vector::TransformPoint(&gWorldSphere.centre, &sphere->centre, Frame::GetWorldMatrix(frame));
    }
    return &gWorldSphere;
}

void W3dCollisionNode::ForAllAtomics(void (*fn)(Atomic* atomic, void* user), void* user) const
{
    if ((kind & kAtomic) && atomic)
        fn(atomic, user);
    else if ((kind & kNode) && node)
    {
        std::pair<void (*)(Atomic*, void*), void*> call{fn, user};
        node->ForAllAtomics(CollectAtomic, &call);
    }
}

void W3dCollisionNode::ApplyMask(uint8_t value)
{
    ForAllAtomics(ApplyMaskTo, &value);
}

void W3dCollisionNode::AddMask(uint8_t value)
{
    ApplyMask(value);
    mask |= value;
}

void W3dCollisionNode::AddToWorld(WScene* scene)
{
    World* world = scene ? scene->GetMainWorld() : nullptr;
    if (inWorld || !world)
        return;
    ForAllAtomics(AddAtomicToWorld, world);
    inWorld = 1;
}

void W3dCollisionNode::RemoveFromWorld(WScene* scene)
{
    if (!inWorld || !scene)
        return;
    ForAllAtomics(RemoveAtomicFromWorld, nullptr);
    inWorld = 0;
}

// ---- Trees ------------------------------------------------------------------------------------------------

void W3dCollisionTree::AddNode(W3dCollisionNode* volume)
{
    mNodes.Add(volume);
}

void W3dCollisionTree::SetRoot(W3dCollisionNode* root)
{
    W3dCollisionNode* old = mRoot;
    mRoot = nullptr;
    if (old && old != root)
    {
        old->tree = nullptr;
        W3dCollisionNode::DestroySubtree(old);
    }
    mRoot = root;
    if (root)
        SetTreeInSubtree(root, this);
}

void W3dCollisionTree::Clear()
{
    mNodes.RemoveAll();
    mElementFrames.RemoveAll();
    mEyeFrame = nullptr;
    mShootAtomic = nullptr;
    mAimFrame = nullptr;
    SetRoot(nullptr);
}

void W3dCollisionTree::SetEnabled(int32_t on)
{
    mEnabled = on;
    if (mRoot)
        MaskSubtree(mRoot, on != 0);
}

void W3dCollisionTree::AddToWorld(WScene* scene)
{
    if (mRoot)
        AddSubtreeToWorld(mRoot, scene);
}

void W3dCollisionTree::RemoveFromWorld(WScene* scene)
{
    if (mRoot && scene)
        RemoveSubtreeFromWorld(mRoot, scene);
}
