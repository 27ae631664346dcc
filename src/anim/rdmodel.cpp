// The model resource.
#include "rdmodel.h"

#include "animation.h"
#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbresource.h"
#include "hbstream.h"
#include "hierarchy.h"
#include "rdskeleton.h"
#include "skin.h"
#include "stdkey.h"
#include "stream.h"
#include "world.h"
#include "wrenderer.h"
#include "wtexturemanager.h"

#include <cmath>
#include <vector>

HB_DEFINE_CLASS_DESC(RdModel, HbRoot);
HB_REGISTER_RESOURCE_TYPE(RdModel, "MDL");

namespace
{

bool HasNodeId(Frame* frame)
{
    return HierarchyFrame::GetAnimNodeId(frame) != -1;
}

bool HoldsObjects(const Frame* frame)
{
    return frame->objects.next != &frame->objects;
}

/// Destroys, children first, the frames below frame that carry no node id and hold nothing.
void PruneFrames(Frame* frame)
{
    Frame* child = frame->child;
    while (child)
    {
        Frame* next = child->next;
        PruneFrames(child);
        if (!HasNodeId(child) && !child->child && !HoldsObjects(child) && !HierarchyFrame::GetHierarchy(child))
        {
            Frame::RemoveChild(child);
            Frame::Destroy(child);
        }
        child = next;
    }
}

Hierarchy* FindHierarchy(Frame* frame)
{
    for (Frame* child = frame->child; child; child = child->next)
    {
        if (Hierarchy* h = HierarchyFrame::GetHierarchy(child))
            return h;
        if (Hierarchy* h = FindHierarchy(child))
            return h;
    }
    return nullptr;
}

Frame* FindFrameWithId(Frame* frame, int32_t id)
{
    if (HierarchyFrame::GetAnimNodeId(frame) == id)
        return frame;
    for (Frame* child = frame->child; child; child = child->next)
        if (Frame* found = FindFrameWithId(child, id))
            return found;
    return nullptr;
}

} // namespace

RdModel::~RdModel()
{
    DestroyClump();
}

void RdModel::DestroyClump()
{
    if (!mClump)
        return;
    WRenderer::UnregisterClump(mClump);
    if (World* world = Clump::GetWorld(mClump))
        World::RemoveClump(world, mClump);
    if (mClump->frame && mClump->frame->parent)
        Frame::RemoveChild(mClump->frame);
    Clump::Destroy(mClump);
    mClump = nullptr;
    mHierarchy = nullptr;
}

int RdModel::Load(HbStream* stream, const char* name)
{
    mName = name ? name : "";
    HbResourceStream* resource = HbResourceStream::From(stream);
    Stream* engineStream = resource ? resource->GetEngineStream() : nullptr;
    WTextureManager* textures = WTextureManager::Instance();
    if (textures)
        textures->BeginDictionary(mName.c_str(), 1);
    Clump* clump = nullptr;
    if (engineStream && Stream::FindChunk(engineStream, kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(engineStream);
    if (textures)
        textures->EndDictionary(mName.c_str());
    return SetClump(clump);
}

int RdModel::CloneInto(HbRoot** target)
{
    auto* model = target ? HbCastTo<RdModel>(*target) : nullptr;
    if (!model || !mClump)
        return 0;
    Clump* copy = Clump::Clone(mClump);
    if (!copy)
        return 0;
    model->SetClump(copy);
    model->mName = mName;
    return 1;
}

int RdModel::SetClump(Clump* clump)
{
    if (!clump)
        return 0;
    if (clump != mClump)
        DestroyClump();
    if (World* world = Clump::GetWorld(clump))
        World::RemoveClump(world, clump);
    mClump = clump;
    Frame* top = clump->frame;

    // Atomics on frames that no node names are not part of the model.
    std::vector<Atomic*> idless;
    Clump::ForAllAtomics(
        clump,
        [](Atomic* atomic, void* data) -> Atomic*
        {
            Frame* frame = atomic->object.frame;
            if (!frame || !HasNodeId(frame))
                static_cast<std::vector<Atomic*>*>(data)->push_back(atomic);
            return atomic;
        },
        &idless);
    for (Atomic* atomic : idless)
    {
        Frame* frame = atomic->object.frame;
        Clump::RemoveAtomic(clump, atomic);
        Atomic::Destroy(atomic);
        // The clump's own frame stays whatever it carries.
        if (frame && frame != top)
        {
            PruneFrames(frame);
            if (!frame->child && !HoldsObjects(frame) && !HierarchyFrame::GetHierarchy(frame))
            {
                if (frame->parent)
                    Frame::RemoveChild(frame);
                Frame::Destroy(frame);
            }
        }
    }
    if (top)
        PruneFrames(top);

    // Collidable and unlit; and the bounds of what is left.
    struct Bounds
    {
        Vector low = {1e30f, 1e30f, 1e30f};
        Vector high = {-1e30f, -1e30f, -1e30f};
        std::vector<Sphere> spheres;
    } bounds;
    Clump::ForAllAtomics(
        clump,
        [](Atomic* atomic, void* data) -> Atomic*
        {
            atomic->object.flags |= kAtomicCollisionTest;
            if (atomic->geometry)
                atomic->geometry->flags &= ~kGeometryLight;
            if (const Sphere* s = Atomic::GetWorldBoundingSphere(atomic))
                static_cast<Bounds*>(data)->spheres.push_back(*s);
            return atomic;
        },
        &bounds);
    mBoundingSphere = {{0, 0, 0}, 0};
    if (!bounds.spheres.empty())
    {
        for (const Sphere& s : bounds.spheres)
        {
            bounds.low = {std::fmin(bounds.low.x, s.centre.x - s.radius), std::fmin(bounds.low.y, s.centre.y - s.radius),
                          std::fmin(bounds.low.z, s.centre.z - s.radius)};
            bounds.high = {std::fmax(bounds.high.x, s.centre.x + s.radius),
                           std::fmax(bounds.high.y, s.centre.y + s.radius),
                           std::fmax(bounds.high.z, s.centre.z + s.radius)};
        }
        const Vector c = {(bounds.low.x + bounds.high.x) * 0.5f, (bounds.low.y + bounds.high.y) * 0.5f,
                          (bounds.low.z + bounds.high.z) * 0.5f};
        float radius = 0.0f;
        for (const Sphere& s : bounds.spheres)
        {
            const float dx = s.centre.x - c.x, dy = s.centre.y - c.y, dz = s.centre.z - c.z;
            radius = std::fmax(radius, std::sqrt(dx * dx + dy * dy + dz * dz) + s.radius);
        }
        mBoundingSphere = {c, radius};
    }
    mInUse = 1;

    // The skeleton's nodes are numbered in table order; their frames follow.
    mHierarchy = top ? FindHierarchy(top) : nullptr;
    if (!mHierarchy && top)
        mHierarchy = HierarchyFrame::GetHierarchy(top);
    if (mHierarchy)
    {
        Frame* root = mHierarchy->rootFrame ? mHierarchy->rootFrame : top;
        std::vector<Frame*> frames(size_t(mHierarchy->nodeCount), nullptr);
        for (int32_t i = 0; i < mHierarchy->nodeCount; ++i)
            frames[size_t(i)] = FindFrameWithId(root, mHierarchy->nodes[i].nodeId);
        for (int32_t i = 0; i < mHierarchy->nodeCount; ++i)
        {
            mHierarchy->nodes[i].nodeId = i;
            if (frames[size_t(i)])
                HierarchyFrame::SetAnimNodeId(frames[size_t(i)], i);
        }
        mHierarchy->flags = kHierarchyUpdateModelling;
        Hierarchy::AttachFrames(mHierarchy);
        AnimInterpolator::SetKeyFrameScheme(mHierarchy->interpolator, StdKeyFrame::kTypeId);
    }

    // Skinned atomics are posed by this model's hierarchy; a clone's atomics would otherwise
    // still point at the hierarchy of the clump they were copied from.
    Clump::ForAllAtomics(
        clump,
        [](Atomic* atomic, void* data) -> Atomic*
        {
            if (SkinGeometry::GetSkin(atomic->geometry))
                SkinAtomic::SetSkinHierarchy(atomic, static_cast<Hierarchy*>(data));
            return atomic;
        },
        mHierarchy);

    WRenderer::RegisterClump(clump);
    return 1;
}

void RdModel::BindSkeleton(const RdSkeleton* skeleton)
{
    if (!mHierarchy || !skeleton)
        return;
    // A skeleton with fewer bones than the model has nodes leaves the rest at id 0.
    for (int32_t i = 0; i < mHierarchy->nodeCount; ++i)
        mHierarchy->nodes[i].nodeId = i < skeleton->GetBoneCount() ? skeleton->GetBone(i).id : 0;
}

void RdModel::UpdateHierarchy()
{
    if (mHierarchy && mHierarchy->interpolator)
        Hierarchy::UpdateMatrices(mHierarchy);
}
