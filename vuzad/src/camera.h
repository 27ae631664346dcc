// Cameras: frame-bound objects that render into a frame-buffer raster and a z-buffer
// raster through a perspective or parallel projection, and keep their view matrix, view
// frustum planes, corners and bounding box up to date with their frame for culling.
#pragma once

#include "bbox.h"
#include "frameobject.h"
#include "matrix.h"
#include "plugin.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>

struct Camera;

/// Begin- or end-update: the camera, or null when the device refuses.
using CameraUpdateFunction = Camera* (*)(Camera* camera);

enum CameraProjection : int32_t
{
    kCameraPerspective = 1,
    kCameraParallel = 2,
};

// Clear modes.
constexpr uint32_t kCameraClearImage = 0x1;
constexpr uint32_t kCameraClearZ = 0x2;
constexpr uint32_t kCameraClearStencil = 0x4;

struct FrustumPlane
{
    Vector normal;  ///< unit, pointing out of the frustum
    float distance; ///< normal . any point on the plane
    /// Per normal component: 1 when its sign bit is clear (picks box corners in culling).
    uint8_t positiveX;
    uint8_t positiveY;
    uint8_t positiveZ;
};

enum FrustumPlaneIndex : int32_t
{
    kFrustumFar = 0,
    kFrustumNear = 1,
    // 2 to 5: the four sides.
};

/// Sphere tests answer one of these.
enum FrustumTest : int32_t
{
    kFrustumOutside = 0,
    kFrustumBoundary = 1,
    kFrustumInside = 2,
};

struct Sphere
{
    Vector centre;
    float radius;
};

struct Camera
{
    FrameObject object; ///< type 4; its sync callback rebuilds the view data below
    int32_t projection;
    CameraUpdateFunction beginUpdate; ///< replaceable (the world hooks it)
    CameraUpdateFunction endUpdate;   ///< replaceable
    Matrix viewMatrix;                ///< world to view space
    Raster* frameBuffer;              ///< set by the application
    Raster* zBuffer;                  ///< set by the application
    Vector2 viewWindow;               ///< half-width and half-height at distance 1
    Vector2 recipViewWindow;
    Vector2 viewOffset;
    float nearPlane;
    float farPlane;
    float fogPlane;
    float zScale; ///< camera depth to the device's z-buffer range
    float zShift;
    FrustumPlane frustumPlanes[6]; ///< far, near, then the four sides
    BBox frustumBox;
    /// Near corners 0-3, then far corners 0-3, in world space; corner 0 at (+x, +y) of the
    /// view window, 1 at (-x, +y), 2 at (-x, -y), 3 at (+x, -y).
    Vector frustumCorners[8];
    // Plug-in data follows.

    // ---- Objects from the camera free list ------------------------------------------------

    /// Perspective, view window 1 x 1, near 0.05, far 10, fog 5, no frame, no rasters; null
    /// when no entry can be had or a plug-in constructor fails (the ones that ran are undone).
    static Camera* Create();
    /// Plug-in destructors; the camera leaves its frame's object list (the frame stays). 1.
    static int32_t Destroy(Camera* camera);

    // ---- Rendering ------------------------------------------------------------------------

    /// The camera's begin-update function: by default the camera becomes the engine's
    /// current camera, dirty frames are synchronised and the device prepares the frame; a
    /// refusal answers null and leaves the camera current.
    static Camera* BeginUpdate(Camera* camera);
    /// By default the device ends the frame and the engine has no current camera.
    static Camera* EndUpdate(Camera* camera);
    /// mode: kCameraClear* bits. The camera, or null when the device refuses.
    static Camera* Clear(Camera* camera, const Rgba* colour, uint32_t mode);
    /// Presents the frame-buffer raster (Raster::Show). The camera, or null.
    static Camera* ShowRaster(Camera* camera, void* deviceWindow, uint32_t flags);

    static Camera* DefaultBeginUpdate(Camera* camera);
    static Camera* DefaultEndUpdate(Camera* camera);

    // ---- Settings: each marks the camera's frame so its view data is rebuilt at the next
    // synchronisation; a camera without a frame only stores.

    /// kCameraPerspective or kCameraParallel; another value reports 0x80000003 and answers
    /// null with the camera unchanged.
    static Camera* SetProjection(Camera* camera, int32_t projection);
    static Camera* SetViewWindow(Camera* camera, const Vector2* window);
    static Camera* SetViewOffset(Camera* camera, const Vector2* offset);
    static Camera* SetNearClipPlane(Camera* camera, float distance);
    static Camera* SetFarClipPlane(Camera* camera, float distance);

    // ---- Culling ------------------------------------------------------------------------------

    /// kFrustumOutside as soon as the sphere lies beyond one plane by more than its radius;
    /// kFrustumBoundary when it crosses a plane; else kFrustumInside (a sphere of radius 0
    /// on a plane is inside it).
    static int32_t FrustumTestSphere(const Camera* camera, const Sphere* sphere);
    /// 1 when the sphere lies wholly inside all six planes (touching one from inside
    /// counts), else 0; the pipelines then need no clipping.
    static int32_t SphereWhollyInside(const Camera* camera, const Sphere* sphere);
    /// 1 when the box lies wholly inside all six planes, else 0.
    static int32_t BoxWhollyInside(const Camera* camera, const BBox* box);

    /// The frame-sync callback: view matrix, corners, planes and box from the frame's
    /// world matrix. Replaceable through object.sync (the world chains it).
    static FrameObject* SyncFrame(FrameObject* object);

    // ---- Plug-ins (before Engine::Open) ---------------------------------------------------------

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();

    // ---- Stream form (chunk 5, read only) ----------------------------------------------------------

    /// The stream stands inside a camera chunk: a new camera with the stored view window,
    /// offset, clip and fog distances and projection (an invalid one keeps perspective and
    /// reports 0x80000003). Null when the body is not 32 bytes or cannot be read, or the
    /// extension chunk fails (the camera is destroyed then).
    static Camera* StreamRead(Stream* stream);

    // ---- The camera module (engine-level module 0x405) ------------------------------------------

    static constexpr uint8_t kObjectType = 4;
    static constexpr int32_t kPluginId = 0x405;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
