// The animated model node and its description reader.
#include "w3danimobject.h"

#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "rdmodel.h"
#include "rdnameidtable.h"
#include "rdskeleton.h"
#include "watomicowner.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wscene.h"
#include "wshadows.h"

#include <string>

HB_DEFINE_CLASS_DESC(W3dAnimObject, W3dNode);

namespace
{

Atomic* SetAtomicLighting(Atomic* atomic, void* on)
{
    if (atomic->geometry)
    {
        if (on)
            atomic->geometry->flags |= kGeometryLight;
        else
            atomic->geometry->flags &= ~kGeometryLight;
    }
    return atomic;
}

Atomic* SetAtomicCollision(Atomic* atomic, void* on)
{
    if (on)
        atomic->object.flags |= kAtomicCollisionTest;
    else
        atomic->object.flags &= uint8_t(~kAtomicCollisionTest);
    return atomic;
}

/// The frame of a bone named in the description, or null when the name or the bone is unknown.
Frame* NamedBoneFrame(RdAnimMotor& motor, const std::string& boneName)
{
    NameIdTable* bones = NameIdTable::Bones();
    // Id 0 is the tables' "unknown" entry: an unknown name must not find a node numbered 0.
    const int32_t id = bones ? bones->FindIdByName(boneName.c_str()) : 0;
    return id != 0 ? motor.GetBoneFrame(id) : nullptr;
}

void DetachFrame(Frame* frame)
{
    if (frame && frame->parent)
        Frame::RemoveChild(frame);
}

} // namespace

Vector ShootSphere::GetWorldCentre() const
{
    if (!ownFrame)
        return {0, 0, 0};
    return Frame::GetWorldMatrix(ownFrame)->pos;
}

// ---- Life ------------------------------------------------------------------------------------------

W3dAnimObject::W3dAnimObject() : mMotor(this), mOwnFrame(Frame::Create())
{
    mMotor.SetOwnerFlags(&mMotorFlags);
    mHeadSphere.ownFrame = Frame::Create();
    mHeartSphere.ownFrame = Frame::Create();
    if (mOwnFrame && mMotor.GetRootFrame())
        Frame::AddChild(mOwnFrame, mMotor.GetRootFrame());
    SetFlags(GetFlags() & ~kReadyToDraw);
    SetRenderLayer(1);
}

W3dAnimObject* W3dAnimObject::Create()
{
    auto* node = new W3dAnimObject();
    if (node && (!node->mOwnFrame || !node->mMotor.GetRootFrame() || !node->mHeadSphere.ownFrame ||
                 !node->mHeartSphere.ownFrame))
    {
        delete node;
        return nullptr;
    }
    return node;
}

W3dAnimObject::~W3dAnimObject()
{
    DetachAllChildren();
    ClearMoveCollisionSet();
    ClearShootCollisionSet();
    // Items point at the model's atomics: they leave their lists before the model goes.
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->RemoveFromRenderLists(this);
    // A shadow record must not outlive the clump it draws.
    if (GetShadowId() != -1)
    {
        WShadows::Remove(GetShadowId());
        SetShadowId(-1);
    }
    DetachAllNodes();
    mMotor.RemoveAllChannels();
    DetachFrame(mMotor.GetRootFrame());
    if (mOwnFrame)
    {
        DetachFrame(mOwnFrame);
        Frame::Destroy(mOwnFrame);
        mOwnFrame = nullptr;
    }
    // The sphere frames hang in the model's frame tree, which the motor destroys.
    for (ShootSphere* sphere : {&mHeartSphere, &mHeadSphere})
        if (sphere->ownFrame)
        {
            DetachFrame(sphere->ownFrame);
            Frame::Destroy(sphere->ownFrame);
            sphere->ownFrame = nullptr;
        }
    mBoneNodes.RemoveAll();
}

// ---- Node operations ----------------------------------------------------------------------------

const Sphere* W3dAnimObject::GetBoundingSphere()
{
    RdModel* model = mMotor.GetModel();
    return model ? &model->GetBoundingSphere() : &mNoBounds;
}

void* W3dAnimObject::GetEngineObject()
{
    RdModel* model = mMotor.GetModel();
    return model ? model->GetClump() : nullptr;
}

void W3dAnimObject::ForAllClumps(ClumpFunction fn, void* user)
{
    if (Clump* clump = static_cast<Clump*>(GetEngineObject()))
        fn(this, clump, user);
}

void W3dAnimObject::ForAllAtomics(AtomicFunction fn, void* user)
{
    Clump* clump = static_cast<Clump*>(GetEngineObject());
    if (!clump)
        return;
    struct Walk
    {
        W3dNode* node;
        AtomicFunction fn;
        void* user;
    } walk = {this, fn, user};
    Clump::ForAllAtomics(
        clump,
        [](Atomic* atomic, void* data) -> Atomic*
        {
            auto* w = static_cast<Walk*>(data);
            return w->fn(w->node, atomic, w->user) ? atomic : nullptr;
        },
        &walk);
}

void W3dAnimObject::Update()
{
    mMotor.Update();
    if (mMotorFlags)
    {
        SetFlags(GetFlags() | mMotorFlags);
        mMotorFlags = 0;
    }
}

void W3dAnimObject::OnAddToWorld()
{
    const uint32_t flags = GetFlags();
    if (flags & (kStaticShadow | kDynamicShadow))
    {
        const Sphere* bounds = GetBoundingSphere();
        // Both shadow types are drawn as a projected silhouette.
        const WShadowDesc desc = {static_cast<Clump*>(GetEngineObject()),
                                  bounds->centre,
                                  bounds->radius,
                                  &GetLightDirection(),
                                  kShadowStrength,
                                  &GetShadowVector(),
                                  WShadowDesc::kProjected,
                                  (flags & kVisible) ? 1 : 0};
        SetShadowId(WShadows::Add(&desc));
    }
    if (RdModel* model = mMotor.GetModel())
        model->mInUse = 1;
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->AddToRenderLists(this, GetRenderLayer());
    if (WScene* scene = GetScene())
        scene->AddUpdatable(this);
}

void W3dAnimObject::OnRemoveFromWorld()
{
    if (WScene* scene = GetScene())
        scene->RemoveUpdatable(this);
    if (GetShadowId() != -1)
    {
        WShadows::Remove(GetShadowId());
        SetShadowId(-1);
    }
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->RemoveFromRenderLists(this);
}

// ---- The description -----------------------------------------------------------------------------

void W3dAnimObject::ReadSphere(const TDataManagerContainer* container, const char* prefix, ShootSphere& sphere)
{
    const std::string p = prefix;
    std::string bone;
    float radius = 0.0f, x = 0.0f, y = 0.0f, z = 0.0f;
    if (!container->GetString((p + "_BONE").c_str(), bone) || !container->GetReal((p + "_RADIUS").c_str(), radius) ||
        !container->GetReal((p + "_POS_X").c_str(), x) || !container->GetReal((p + "_POS_Y").c_str(), y) ||
        !container->GetReal((p + "_POS_Z").c_str(), z))
        return;
    Frame* boneFrame = NamedBoneFrame(mMotor, bone);
    if (!boneFrame || !sphere.ownFrame)
        return;
    sphere.offset = {x, y, z};
    Frame::Translate(sphere.ownFrame, &sphere.offset, kCombineReplace);
    sphere.radius = radius;
    sphere.radiusSquared = radius * radius;
    DetachFrame(sphere.ownFrame);
    Frame::AddChild(boneFrame, sphere.ownFrame);
    sphere.boneFrame = boneFrame;
    sphere.enabled = 1;
}

int32_t W3dAnimObject::LoadDescription(const char* modelId)
{
    mName = modelId ? modelId : "";
    TDataManagerContainer* root = HbDataManager::Root();
    const TDataManagerContainer* container = root ? root->FindContainer(mName.c_str()) : nullptr;
    HbResourceManager* resources = HbResourceManager::Instance();
    if (container)
    {
        std::string id;
        if (resources && container->GetString("SKELETON", id))
            if (HbRoot* skeleton = resources->GetResource(id.c_str()))
            {
                // The fetch's own reference is given back once the motor holds one.
                skeleton->AddRef();
                mMotor.SetSkeleton(HbCastTo<RdSkeleton>(skeleton));
                skeleton->Release();
            }
        if (resources && container->GetString("LOD", id))
            if (HbRoot* object = resources->GetResource(id.c_str()))
            {
                object->AddRef();
                auto* model = HbCastTo<RdModel>(object);
                if (model && mMotor.AddModel(model) && model->GetClump())
                    ClumpSetOwnerNode(model->GetClump(), this);
                object->Release();
            }
        Clump* clump = static_cast<Clump*>(GetEngineObject());

        uint32_t flags = GetFlags() & ~kLitByField;
        if (clump)
            Clump::ForAllAtomics(clump, SetAtomicLighting, nullptr);
        bool lit = false;
        if (container->GetBoolean("LIGHTFIELD", lit) && lit)
        {
            flags |= kLitByField;
            if (clump)
                Clump::ForAllAtomics(clump, SetAtomicLighting, this);
            std::string bone;
            if (container->GetString("LIGHTFIELD_REF_BONE", bone))
                if (Frame* frame = NamedBoneFrame(mMotor, bone))
                    SetLightingFrame(frame);
        }

        flags &= ~(kStaticShadow | kDynamicShadow);
        std::string shadow;
        if (container->GetString("SHADOW_TYPE", shadow))
        {
            if (shadow == "STATIC")
                flags |= kStaticShadow;
            else if (shadow == "DYNAMIC")
                flags |= kDynamicShadow;
        }
        SetFlags(flags);

        bool collideable = false;
        if (clump && container->GetBoolean("IS_GEOMETRY_COLLIDEABLE", collideable))
            Clump::ForAllAtomics(clump, SetAtomicCollision, collideable ? this : nullptr);

        ReadSphere(container, "HEADSHOOT_SPHERE", mHeadSphere);
        mHeartSphere.enabled = 0;
        ReadSphere(container, "HEARTSHOOT_SPHERE", mHeartSphere);
    }
    SetFlags(GetFlags() | kVisible);
    RenderItemList::Build(this, static_cast<Clump*>(GetEngineObject()));
    return 1;
}

// ---- Nodes on bones ------------------------------------------------------------------------------

Frame* W3dAnimObject::GetBoneFrame(int32_t boneId)
{
    return mMotor.GetBoneFrame(boneId);
}

W3dNode* W3dAnimObject::AttachNode(W3dNode* node, int32_t boneId)
{
    Frame* boneFrame = node ? GetBoneFrame(boneId) : nullptr;
    if (!boneFrame)
        return nullptr;
    if (W3dNode* previous = GetAttachedNode(boneId))
        DetachNode(previous);
    void** slot = mBoneNodes.FindOrInsert(uint32_t(boneId));
    if (!slot)
        return nullptr;
    node->AddRef();
    *slot = node;
    AddChild(node, boneFrame);
    return node;
}

int32_t W3dAnimObject::DetachNode(W3dNode* node)
{
    if (!node || mBoneNodes.IsEmpty())
        return 0;
    HbPosition position = mBoneNodes.GetStartPosition();
    uint32_t key = 0;
    void* value = nullptr;
    while (position && mBoneNodes.GetNextAssoc(position, key, value))
    {
        if (value != node)
            continue;
        RemoveChild(node);
        mBoneNodes.Remove(key);
        node->Release();
        return 1;
    }
    return 0;
}

W3dNode* W3dAnimObject::GetAttachedNode(int32_t boneId) const
{
    void* value = nullptr;
    return mBoneNodes.Find(uint32_t(boneId), value) ? static_cast<W3dNode*>(value) : nullptr;
}

void W3dAnimObject::DetachAllNodes()
{
    HbPosition position = mBoneNodes.GetStartPosition();
    uint32_t key = 0;
    void* value = nullptr;
    while (position && mBoneNodes.GetNextAssoc(position, key, value))
        if (auto* node = static_cast<W3dNode*>(value))
        {
            RemoveChild(node);
            node->Release();
        }
    mBoneNodes.RemoveAll();
}

Frame* FrameGetFirstChild(Frame* frame)
{
    Frame* first = nullptr;
    if (frame)
        Frame::ForAllChildren(
            frame,
            [](Frame* child, void* data) -> Frame*
            {
                *static_cast<Frame**>(data) = child;
                return nullptr;
            },
            &first);
    return first;
}
