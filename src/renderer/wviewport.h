// WViewport: the frame buffer and depth buffer of the application window that cameras
// render into.
#pragma once

#include "hbroot.h"

struct HbWindowState;
struct Raster;

class WViewport : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// A viewport with a camera raster of the window's client size and colour depth and a
    /// depth raster of the same size and the window's depth-buffer depth; null when either
    /// raster cannot be created. Reference count 0: the caller takes its reference.
    static WViewport* Create(const HbWindowState& window);
    ~WViewport() override;

    Raster* GetFrameBuffer() const { return mFrameBuffer; }
    Raster* GetDepthRaster() const { return mDepthBuffer; }

private:
    WViewport() = default;

    Raster* mFrameBuffer = nullptr;
    Raster* mDepthBuffer = nullptr;
    HbRoot* mHeld = nullptr; ///< one reference, released with the viewport
    float mArea[4] = {0.0f, 0.0f, 1.0f, 1.0f};
};
