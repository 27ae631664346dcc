// The renderer's frame: the may-draw test, the clear at the start of a frame and the
// present with the pending mode change at its end.
#include "wrenderer.h"

#include "camera.h"
#include "engine.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "raster.h"
#include "w2dsurfacelist.h"

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
