// The renderer's frame: the may-draw test, the clear at the start of a frame and the
// present with the pending mode change at its end; the nodes' items in the render lists.
#include "wrenderer.h"

#include "camera.h"
#include "engine.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "raster.h"
#include "w2dsurfacelist.h"
#include "w3dnode.h"
#include "wrenderitem.h"
#include "wrenderlist.h"

bool WRenderer::MayDraw()
{
    // Only a full-screen window hides the frame while inactive; the first call of a frame
    // samples the window, later ones can only turn drawing off.
    if (!mWindow || !(mWindow->flags & HbWindowState::kFullScreen))
        return true;
    if (mFrameCounter != mSampledFrame)
    {
        mActiveFlag = mWindow->active;
        mSampledFrame = mFrameCounter;
    }
    else
    {
        mActiveFlag = mActiveFlag && mWindow->active;
    }
    return mActiveFlag != 0;
}

int32_t WRenderer::BeginFrame()
{
    if (!MayDraw() || !mMainCamera)
        return 0;
    // A camera node clears itself with its own colours; until camera nodes exist the main
    // camera clears the screen.
    static const Rgba kClearColour = {0, 0, 0, 255};
    return Camera::Clear(mMainCamera, &kClearColour, kCameraClearImage | kCameraClearZ) ? 1 : 0;
}

void WRenderer::EndFrame()
{
    if (HbRealClock* clock = HbRealClock::Instance())
        ++clock->mFrameCount;
    if (!MayDraw())
    {
        ++mFrameCounter;
        return;
    }
    if (mMainCamera)
    {
        if (Camera::BeginUpdate(mMainCamera))
        {
            if (mSurfaceList)
                mSurfaceList->Render();
            Camera::EndUpdate(mMainCamera);
        }
        Camera::ShowRaster(mMainCamera, mWindow ? mWindow->window : nullptr, 0);
    }
    ++mFrameCounter;
    if (mPendingVideoMode < 0)
        return;
    int32_t previous = Engine::GetCurrentVideoMode();
    if (!ChangeVideoMode())
    {
        // The device is back in the previous mode; the window state and the preferences are
        // made to describe that mode again, not the request that failed.
        mRequested = mRestoreSettings;
        mPendingVideoMode = previous;
        ChangeVideoMode();
    }
}

// ---- Render lists ---------------------------------------------------------------------------------------

int32_t WRenderer::AddToRenderLists(W3dNode* node, int32_t layer)
{
    HbPtrArray& items = node->GetRenderItems();
    // The level puts its objects' opaque items in the transparent layer too. The node's "no
    // list" layer (6), or any layer outside 0 to 5, lists them nowhere rather than past the
    // six lists.
    WRenderList* opaque = layer >= 0 && layer < kNumRenderLists ? mRenderLists[layer] : nullptr;
    WRenderList* transparent = mRenderLists[kTransparentLayer];
    for (int32_t i = 0; i < items.GetCount(); ++i)
    {
        auto* item = static_cast<TRenderDataItem*>(items[i]);
        if (!item)
            continue;
        if (item->transparent)
        {
            if (transparent && transparent->Add(item))
                item->list = kTransparentLayer;
        }
        else if (opaque && opaque->Add(item))
        {
            item->list = layer;
            opaque->Sort(CompareByTexture);
        }
    }
    node->SetFlags(node->GetFlags() | W3dNode::kInRenderLists);
    return 1;
}

int32_t WRenderer::RemoveFromRenderLists(W3dNode* node)
{
    HbPtrArray& items = node->GetRenderItems();
    for (int32_t i = 0; i < items.GetCount(); ++i)
    {
        auto* item = static_cast<TRenderDataItem*>(items[i]);
        if (!item || item->list < 0 || item->list >= kNumRenderLists)
            continue;
        if (WRenderList* list = mRenderLists[item->list])
        {
            list->Remove(item);
            list->Sort(CompareByTexture);
        }
        item->list = -1;
        item->position = -1;
    }
    node->SetFlags(node->GetFlags() & ~uint32_t(W3dNode::kInRenderLists));
    return 0;
}
