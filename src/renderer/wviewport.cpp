// The window's rasters.
#include "wviewport.h"

#include "hbapplication.h"
#include "raster.h"

HB_DEFINE_CLASS_DESC(WViewport, HbRoot);

WViewport* WViewport::Create(const HbWindowState& window)
{
    auto* viewport = new WViewport();
    if (!viewport)
        return nullptr;
    viewport->mFrameBuffer =
        Raster::Create(window.clientWidth, window.clientHeight, window.colourDepth, kRasterTypeCamera);
    viewport->mDepthBuffer = Raster::Create(window.clientWidth, window.clientHeight, window.zDepth, kRasterTypeZBuffer);
    if (!viewport->mFrameBuffer || !viewport->mDepthBuffer)
    {
        delete viewport;
        return nullptr;
    }
    return viewport;
}

WViewport::~WViewport()
{
    if (mFrameBuffer)
        Raster::Destroy(mFrameBuffer);
    if (mDepthBuffer)
        Raster::Destroy(mDepthBuffer);
    if (mHeld)
        mHeld->Release();
}
