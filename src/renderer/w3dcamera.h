// W3dCamera: the scene-graph node that wraps an engine camera rendering into the renderer's
// main viewport, with its projection window, the colour it clears to, its fog settings and
// the 2D surfaces drawn over its image.
#pragma once

#include "raster.h"
#include "w3dnode.h"

#include <cstdint>

class W2dSurfaceList;
class WViewport;

class W3dCamera : public W3dNode
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The engine camera's width to height ratio of the view window.
    static constexpr float kAspect = 1.333333f;

    enum FogType : int32_t
    {
        kFogLinear = 1,
        kFogExponential = 2,
        kFogExponentialSquared = 3,
    };

    /// A camera on a new engine frame, rendering into the renderer's main viewport (no
    /// rasters while the renderer has none); null when the engine camera or its frame cannot
    /// be had.
    static W3dCamera* Create();
    ~W3dCamera() override;

    const Sphere* GetBoundingSphere() override { return &mBounds; }
    Frame* GetEngineFrame() override;
    void* GetEngineObject() override { return mCamera; }
    void ForAllFrames(FrameFunction fn, void* user) override { fn(this, GetEngineFrame(), user); }
    /// The engine camera joins the main world of the scene's level.
    void OnAddToWorld() override;
    void OnRemoveFromWorld() override;

    // ---- Projection ---------------------------------------------------------------------

    /// Stores the size; the engine camera's window becomes (width x kAspect, height).
    void SetViewWindow(const Vector2& size);
    const Vector2& GetViewWindow() const { return mViewWindow; }
    void SetNearClipPlane(float distance);
    void SetFarClipPlane(float distance);

    // ---- Clearing and fog ---------------------------------------------------------------

    void SetClearColor(const Rgba& colour) { mClearColor = colour; }
    /// Also the packed device word and, while fog is on, the clear colour.
    void SetFogColor(const Rgba& colour);
    void SetFogDensity(float density) { mFogDensity = density; }
    /// Also the engine camera's fog plane.
    void SetFogDistance(float distance);
    /// Kept for the scripts; the renderer does not read it.
    void SetFogEnd(float distance) { mFogEnd = distance; }
    void SetFogType(int32_t type) { mFogType = type; }
    void SetFogEnabled(int32_t on) { mFogEnabled = on ? 1 : 0; }
    const Rgba& GetClearColor() const { return mClearColor; }
    const Rgba& GetFogColor() const { return mFogColor; }
    uint32_t GetFogColorPacked() const { return mFogColorPacked; }
    float GetFogDensity() const { return mFogDensity; }
    float GetFogDistance() const { return mFogDistance; }
    float GetFogEnd() const { return mFogEnd; }
    int32_t GetFogType() const { return mFogType; }
    int32_t IsFogEnabled() const { return mFogEnabled; }

    /// Sends the fog settings to the engine's render states (fog off when disabled); the
    /// renderer calls it at the start of the 3D pass.
    void ApplyFog();
    /// Clears colour and depth to the fog colour while fog is on, else to the clear colour.
    /// 1, or 0 when the device refused.
    int32_t Clear();

    // ---- Overlays -----------------------------------------------------------------------

    /// Inside the camera's update: draws the overlay surfaces, if any.
    void RenderOverlays();
    /// The camera's overlay list, made on first use; null when out of memory.
    W2dSurfaceList* GetOverlays();
    bool HasOverlays() const { return mOverlays != nullptr; }

    Camera* GetCamera() const { return mCamera; }
    WViewport* GetViewport() const { return mViewport; }

protected:
    /// For the game's camera classes, which check GetCamera after construction.
    W3dCamera();

private:
    Camera* mCamera = nullptr;
    Vector2 mViewWindow = {1.0f, 1.0f};
    WViewport* mViewport = nullptr;
    Rgba mClearColor = {0, 0, 0, 255};
    Sphere mBounds = {{0.0f, 0.0f, 0.0f}, 100.0f};
    W2dSurfaceList* mOverlays = nullptr;
    int32_t mFogEnabled = 0;
    uint32_t mFogColorPacked = 0xFF000000u;
    Rgba mFogColor = {0, 0, 0, 255};
    float mFogDistance = 1000.0f;
    float mFogEnd = -1.0f;
    float mFogDensity = 0.001f;
    int32_t mFogType = kFogLinear;
};
