// The animated model node.
#include "w3danimobject.h"

#include "frame.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "rdmodel.h"
#include "rdskeleton.h"

HB_DEFINE_CLASS_DESC(W3dAnimObject, W3dNode);

W3dAnimObject::W3dAnimObject() : mMotor(this), mFrame(Frame::Create())
{
    if (mFrame && mMotor.GetRootFrame())
        Frame::AddChild(mFrame, mMotor.GetRootFrame());
    SetFlags(GetFlags() & ~kReadyToDraw);
    SetRenderLayer(1);
}

W3dAnimObject::~W3dAnimObject()
{
    DetachAllChildren();
    DetachAllNodes();
    mMotor.RemoveAllChannels();
    if (Frame* root = mMotor.GetRootFrame(); root && root->parent == mFrame)
        Frame::RemoveChild(root);
    if (mFrame)
    {
        if (mFrame->parent)
            Frame::RemoveChild(mFrame);
        Frame::Destroy(mFrame);
    }
}

int32_t W3dAnimObject::LoadDescription(const char* modelId)
{
    mName = modelId ? modelId : "";
    TDataManagerContainer* root = HbDataManager::Root();
    TDataManagerContainer* description = root && modelId ? root->FindContainer(modelId) : nullptr;
    HbResourceManager* resources = HbResourceManager::Instance();
    std::string id;
    if (description && resources && description->GetString("SKELETON", id))
        if (RdSkeleton* skeleton = HbCastTo<RdSkeleton>(resources->GetResource(id.c_str())))
        {
            skeleton->AddRef();
            mMotor.SetSkeleton(skeleton);
            skeleton->Release();
        }
    if (description && resources && description->GetString("LOD", id))
        if (RdModel* model = HbCastTo<RdModel>(resources->GetResource(id.c_str())))
        {
            model->AddRef();
            mMotor.AddModel(model);
            model->Release();
        }
    SetFlags(GetFlags() | kVisible);
    return 1;
}

W3dNode* W3dAnimObject::AttachNode(W3dNode* node, int32_t boneId)
{
    Frame* frame = node ? GetBoneFrame(boneId) : nullptr;
    if (!frame)
        return nullptr;
    if (W3dNode* old = GetAttachedNode(boneId))
        DetachNode(old);
    void** slot = mAttached.FindOrInsert(uint32_t(boneId));
    if (!slot)
        return nullptr;
    node->AddRef();
    *slot = node;
    AddChild(node, frame);
    return node;
}

int32_t W3dAnimObject::DetachNode(W3dNode* node)
{
    if (!node)
        return 0;
    HbPosition position = mAttached.GetStartPosition();
    uint32_t bone = 0;
    void* value = nullptr;
    while (mAttached.GetNextAssoc(position, bone, value))
    {
        if (value != node)
            continue;
        // The map has no removal: an emptied entry reads as nothing attached.
        *mAttached.FindOrInsert(bone) = nullptr;
        RemoveChild(node);
        node->Release();
        return 1;
    }
    return 0;
}

W3dNode* W3dAnimObject::GetAttachedNode(int32_t boneId) const
{
    void* value = nullptr;
    return mAttached.Find(uint32_t(boneId), value) ? static_cast<W3dNode*>(value) : nullptr;
}

void W3dAnimObject::DetachAllNodes()
{
    HbPosition position = mAttached.GetStartPosition();
    uint32_t bone = 0;
    void* value = nullptr;
    while (mAttached.GetNextAssoc(position, bone, value))
    {
        if (auto* node = static_cast<W3dNode*>(value))
        {
            RemoveChild(node);
            node->Release();
        }
    }
    mAttached.RemoveAll();
}
