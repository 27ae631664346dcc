// Frame nodes and their pool.
#include "w3dframe.h"

#include "frame.h"

HB_DEFINE_CLASS_DESC(W3dFrame, W3dNode);
HB_DEFINE_CLASS_POOL(W3dFrame, "W3dFrame", W3dFrame::kPoolSize);

W3dFrame::W3dFrame() : mFrame(Frame::Create()) {}

W3dFrame* W3dFrame::Create()
{
    auto* node = new W3dFrame();
    if (node && !node->mFrame)
    {
        delete node;
        return nullptr;
    }
    return node;
}

W3dFrame::~W3dFrame()
{
    DetachAllChildren();
    if (mFrame)
    {
        if (mFrame->parent)
            Frame::RemoveChild(mFrame);
        Frame::Destroy(mFrame);
        mFrame = nullptr;
    }
}
