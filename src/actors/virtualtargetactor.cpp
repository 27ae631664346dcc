// The virtual target.
#include "virtualtargetactor.h"

#include "w3dframe.h"

HB_DEFINE_CLASS_DESC(VirtualTargetActor, TsActor);
HB_DEFINE_CLASS_POOL(VirtualTargetActor, "VirtualTargetActor", VirtualTargetActor::kPoolSize);

VirtualTargetActor::VirtualTargetActor() : mFrame(W3dFrame::Create())
{
    if (mFrame)
        mFrame->AddRef();
}

VirtualTargetActor::~VirtualTargetActor()
{
    SetModel(nullptr);
}

W3dNode* VirtualTargetActor::GetNode()
{
    return mFrame;
}

void VirtualTargetActor::SetModel(W3dNode* node)
{
    if (node == mFrame)
        return;
    if (mFrame)
    {
        if (W3dNode* parent = mFrame->GetParent())
            parent->RemoveChild(mFrame);
        mFrame->Release();
    }
    mFrame = HbCastTo<W3dFrame>(node);
    if (mFrame)
        mFrame->AddRef();
}
