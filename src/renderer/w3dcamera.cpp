// Camera nodes.
#include "w3dcamera.h"

#include "camera.h"
#include "frame.h"
#include "kfxmanager.h"
#include "w2dsurfacelist.h"
#include "w3dlevel.h"
#include "world.h"
#include "wrenderer.h"
#include "wrenderer_local.h"
#include "wscene.h"
#include "wviewport.h"

HB_DEFINE_CLASS_DESC(W3dCamera, W3dNode);

namespace
{
World* MainWorldOf(W3dNode* node)
{
    WScene* scene = node->GetScene();
    return scene ? scene->GetMainWorld() : nullptr;
}
} // namespace

W3dCamera::W3dCamera()
{
    WRenderer* renderer = WRenderer::Instance();
    mViewport = renderer ? renderer->GetViewport() : nullptr;
    if (mViewport)
        mViewport->AddRef();
    mCamera = Camera::Create();
    if (!mCamera)
        return;
    Frame* frame = Frame::Create();
    if (!frame)
    {
        // The effects keep the camera they draw for: a dead one must not reach the next
        // effect played before a frame names another.
        if (KfxManager::GetCamera() == mCamera)
            KfxManager::SetCamera(nullptr);
        Camera::Destroy(mCamera);
        mCamera = nullptr;
        return;
    }
    FrameObject::SetFrame(&mCamera->object, frame);
    if (mViewport)
    {
        mCamera->frameBuffer = mViewport->GetFrameBuffer();
        mCamera->zBuffer = mViewport->GetDepthRaster();
    }
    SetViewWindow({1.0f, 1.0f});
    mCamera->fogPlane = mFogDistance;
    Camera::SetFarClipPlane(mCamera, 10000.0f);
    Camera::SetNearClipPlane(mCamera, 1.0f);
}

W3dCamera* W3dCamera::Create()
{
    auto* node = new W3dCamera();
    if (node && !node->mCamera)
    {
        delete node;
        return nullptr;
    }
    return node;
}

W3dCamera::~W3dCamera()
{
    DetachAllChildren();
    if (mCamera)
    {
        Clear();
        if (mOverlays)
        {
            mOverlays->RemoveAll();
            delete mOverlays;
            mOverlays = nullptr;
        }
        mCamera->frameBuffer = nullptr;
        mCamera->zBuffer = nullptr;
        if (Frame* frame = mCamera->object.frame)
        {
            if (frame->parent)
                Frame::RemoveChild(frame);
            FrameObject::SetFrame(&mCamera->object, nullptr);
            Frame::Destroy(frame);
        }
        // The effects keep the camera they draw for: a dead one must not reach the next
        // effect played before a frame names another.
        if (KfxManager::GetCamera() == mCamera)
            KfxManager::SetCamera(nullptr);
        Camera::Destroy(mCamera);
        mCamera = nullptr;
    }
    if (mViewport)
        mViewport->Release();
    mViewport = nullptr;
}

Frame* W3dCamera::GetEngineFrame()
{
    return mCamera ? mCamera->object.frame : nullptr;
}

void W3dCamera::OnAddToWorld()
{
    if (World* world = MainWorldOf(this))
        World::AddCamera(world, mCamera);
}

void W3dCamera::OnRemoveFromWorld()
{
    if (World* world = MainWorldOf(this))
        World::RemoveCamera(world, mCamera);
}

// ---- Projection -------------------------------------------------------------------------------------

void W3dCamera::SetViewWindow(const Vector2& size)
{
    mViewWindow = size;
    Vector2 window = {size.x * kAspect, size.y};
    Camera::SetViewWindow(mCamera, &window);
}

void W3dCamera::SetNearClipPlane(float distance)
{
    Camera::SetNearClipPlane(mCamera, distance);
}

void W3dCamera::SetFarClipPlane(float distance)
{
    Camera::SetFarClipPlane(mCamera, distance);
}

// ---- Clearing and fog ---------------------------------------------------------------------------------

void W3dCamera::SetFogColor(const Rgba& colour)
{
    mFogColor = colour;
    mFogColorPacked =
        uint32_t(colour.alpha) << 24 | uint32_t(colour.red) << 16 | uint32_t(colour.green) << 8 | uint32_t(colour.blue);
}

void W3dCamera::SetFogDistance(float distance)
{
    mFogDistance = distance;
    mCamera->fogPlane = distance;
}

void W3dCamera::ApplyFog()
{
    if (!mFogEnabled)
    {
        WSetRenderState(kRenderStateFog, 0);
        return;
    }
    WSetRenderState(kRenderStateFog, 1);
    WSetRenderState(kRenderStateFogType, mFogType);
    if (mFogType == kFogExponential || mFogType == kFogExponentialSquared)
        WSetRenderState(kRenderStateFogDensity, reinterpret_cast<intptr_t>(&mFogDensity));
    WSetRenderState(kRenderStateFogColour, intptr_t(mFogColorPacked));
}

int32_t W3dCamera::Clear()
{
    const Rgba& colour = mFogEnabled ? mFogColor : mClearColor;
    return Camera::Clear(mCamera, &colour, kCameraClearImage | kCameraClearZ) ? 1 : 0;
}

// ---- Overlays ---------------------------------------------------------------------------------------------

void W3dCamera::RenderOverlays()
{
    if (mOverlays)
        mOverlays->Render();
}

W2dSurfaceList* W3dCamera::GetOverlays()
{
    if (!mOverlays)
        mOverlays = new W2dSurfaceList(mCamera);
    return mOverlays;
}
