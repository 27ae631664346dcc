// The Direct3D 9 device's frame: camera begin-update (transforms, targets, viewport,
// scene), end-update, camera clear and raster show.
#include "d3d9driver_local.h"

#include "camera.h"
#include "d3d9raster.h"
#include "d3d9vertexbuffer.h"
#include "fpu.h"
#include "frame.h"

namespace
{

// StretchRectFilterCaps bits that allow a filtered stretch copy.
constexpr DWORD kStretchFilterCaps = 0x1000100;

D3DMATRIX ToD3D(const Matrix& m)
{
    D3DMATRIX out{};
    out._11 = m.right.x, out._12 = m.right.y, out._13 = m.right.z;
    out._21 = m.up.x, out._22 = m.up.y, out._23 = m.up.z;
    out._31 = m.at.x, out._32 = m.at.y, out._33 = m.at.z;
    out._41 = m.pos.x, out._42 = m.pos.y, out._43 = m.pos.z;
    out._44 = 1.0f;
    return out;
}

// The engine's view space is mirrored in x against the device's.
D3DMATRIX ViewTransform(Camera* camera)
{
    D3DMATRIX view{};
    view._11 = view._22 = view._33 = view._44 = 1.0f;
    if (!camera->object.frame)
        return view;
    Matrix inverse;
    Matrix::Invert(&inverse, Frame::GetWorldMatrix(camera->object.frame));
    view = ToD3D(inverse);
    view._11 = -view._11;
    view._21 = -view._21;
    view._31 = -view._31;
    view._41 = -view._41;
    return view;
}

D3DMATRIX ProjectionTransform(const Camera* camera)
{
    D3DMATRIX p{};
    p._11 = camera->recipViewWindow.x;
    p._22 = camera->recipViewWindow.y;
    p._31 = camera->viewOffset.x * p._11;
    p._32 = camera->viewOffset.y * p._22;
    p._41 = -p._31;
    p._42 = -p._32;
    float depth = camera->farPlane - camera->nearPlane;
    if (camera->projection == kCameraParallel)
    {
        p._33 = 1.0f / depth;
        p._44 = 1.0f;
    }
    else
    {
        p._33 = camera->farPlane / depth;
        p._34 = 1.0f;
    }
    p._43 = -p._33 * camera->nearPlane;
    return p;
}

Raster* TopRaster(Raster* raster)
{
    return raster ? raster->parent : nullptr;
}

// The main window must show a client area: a minimised or empty one is not drawn into.
bool MainWindowUsable()
{
    HWND window = D3D9State().window;
    RECT client;
    if (!GetClientRect(window, &client) || client.right - client.left == 0 || client.bottom - client.top == 0)
        return false;
    return !IsIconic(window);
}

// Level 0 of a camera texture (a reference the caller releases), or null.
IDirect3DSurface9* TextureSurface(Raster* raster)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    if (!ext->object || (ext->cube & 0x0F))
        return nullptr;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(static_cast<IDirect3DTexture9*>(ext->object)->GetSurfaceLevel(0, &surface)))
        return nullptr;
    return surface;
}

bool IsRenderTarget(IDirect3DSurface9* surface)
{
    D3DSURFACE_DESC desc{};
    return surface && SUCCEEDED(surface->GetDesc(&desc)) && (desc.Usage & D3DUSAGE_RENDERTARGET);
}

IDirect3DSurface9* DepthSurfaceOf(Raster* zRaster)
{
    Raster* top = TopRaster(zRaster);
    if (!top || top->type != kRasterTypeZBuffer)
        return nullptr;
    return static_cast<IDirect3DSurface9*>(D3D9Raster::Extension(top)->object);
}

void BindMainTargets()
{
    D3D9DeviceState& state = D3D9State();
    state.device->SetRenderTarget(0, state.backBuffer);
    state.device->SetDepthStencilSurface(state.depthSurface);
}

// Binds where the camera draws: a render-target camera texture with the camera's z raster,
// else the back buffer (a camera texture that cannot be a target is copied at the end).
// Answers whether the camera texture itself is the target.
bool BindCameraTargets(Camera* camera)
{
    D3D9DeviceState& state = D3D9State();
    Raster* top = TopRaster(camera->frameBuffer);
    if (top && top->type == kRasterTypeCameraTexture)
    {
        IDirect3DSurface9* surface = TextureSurface(top);
        bool target = IsRenderTarget(surface);
        if (target)
        {
            state.device->SetRenderTarget(0, surface);
            state.device->SetDepthStencilSurface(DepthSurfaceOf(camera->zBuffer));
        }
        else
        {
            state.copyBack = true;
            BindMainTargets();
        }
        if (surface)
            surface->Release();
        return target;
    }
    BindMainTargets();
    return false;
}

void SetViewport(const Raster* raster)
{
    if (!raster)
        return;
    D3DVIEWPORT9 viewport = {
        DWORD(raster->offsetX), DWORD(raster->offsetY), DWORD(raster->width), DWORD(raster->height), 0.0f, 1.0f};
    D3D9State().device->SetViewport(&viewport);
}

// Copies the camera raster's rectangle of the back buffer into its texture.
void CopyBackIntoTexture(Raster* raster)
{
    D3D9DeviceState& state = D3D9State();
    IDirect3DSurface9* surface = TextureSurface(TopRaster(raster));
    if (!surface)
        return;
    RECT rect = {raster->offsetX, raster->offsetY, raster->offsetX + raster->width, raster->offsetY + raster->height};
    D3DTEXTUREFILTERTYPE filter =
        (state.caps.StretchRectFilterCaps & kStretchFilterCaps) ? D3DTEXF_POINT : D3DTEXF_NONE;
    state.device->StretchRect(state.backBuffer, &rect, surface, &rect, filter);
    surface->Release();
}

} // namespace

int32_t D3D9Device::CameraBeginUpdate(void*, void* in, int32_t)
{
    D3D9DeviceState& state = D3D9State();
    auto* camera = static_cast<Camera*>(in);
    FPU::ForceSinglePrecision();
    state.currentCamera = camera;
    if (!state.device || !MainWindowUsable())
        return 0;

    D3DMATRIX view = ViewTransform(camera);
    state.device->SetTransform(D3DTS_VIEW, &view);
    D3DMATRIX projection = ProjectionTransform(camera);
    state.device->SetTransform(D3DTS_PROJECTION, &projection);
    BindCameraTargets(camera);
    SetViewport(camera->frameBuffer);

    if (FAILED(state.device->TestCooperativeLevel()))
    {
        state.inScene = false;
        return 0;
    }
    if (!state.inScene && SUCCEEDED(state.device->BeginScene()))
        state.inScene = true;
    return state.inScene ? 1 : 0;
}

int32_t D3D9Device::CameraEndUpdate(void*, void*, int32_t)
{
    D3D9DeviceState& state = D3D9State();
    Camera* camera = state.currentCamera;
    Raster* top = camera ? TopRaster(camera->frameBuffer) : nullptr;
    if (state.device && top && top->type == kRasterTypeCameraTexture && state.copyBack &&
        !D3D9Raster::Extension(top)->swapChain)
        CopyBackIntoTexture(camera->frameBuffer);
    state.copyBack = false;
    state.currentCamera = nullptr;
    return 1;
}

int32_t D3D9Device::CameraClear(void* out, void* in, int32_t number)
{
    D3D9DeviceState& state = D3D9State();
    auto* camera = static_cast<Camera*>(out);
    const auto* colour = static_cast<const Rgba*>(in);
    uint32_t mode = uint32_t(number);
    if (!state.device || !MainWindowUsable())
        return 0;
    D3DCOLOR value =
        (mode & kCameraClearImage) ? D3DCOLOR_ARGB(colour->alpha, colour->red, colour->green, colour->blue) : 0;
    Raster* top = TopRaster(camera->frameBuffer);
    DWORD flags = 0;
    if (top && top->type == kRasterTypeCameraTexture)
    {
        bool target = BindCameraTargets(camera);
        state.copyBack = false;
        SetViewport(camera->frameBuffer);
        flags = mode & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
        if (!camera->zBuffer)
            flags &= D3DCLEAR_TARGET;
        state.device->Clear(0, nullptr, flags, value, 1.0f, 0);
        if (!target)
            CopyBackIntoTexture(camera->frameBuffer);
        return 1;
    }
    BindMainTargets();
    SetViewport(camera->frameBuffer);
    if (mode & kCameraClearImage)
        flags |= D3DCLEAR_TARGET;
    // The stencil goes with the depth when there is one; alone it is cleared only then too.
    if (mode & kCameraClearZ)
        flags |= D3DCLEAR_ZBUFFER | (state.stencil ? D3DCLEAR_STENCIL : 0);
    if ((mode & kCameraClearStencil) && state.stencil)
        flags |= D3DCLEAR_STENCIL;
    if (flags)
        state.device->Clear(0, nullptr, flags, value, 1.0f, 0);
    return 1;
}

int32_t D3D9Device::RasterShow(void*, void* in, int32_t)
{
    D3D9DeviceState& state = D3D9State();
    if (!state.device)
        return 0;
    if (state.inScene)
    {
        state.device->EndScene();
        state.inScene = false;
    }
    Raster* top = TopRaster(static_cast<Raster*>(in));
    IDirect3DSwapChain9* swapChain = top ? D3D9Raster::Extension(top)->swapChain : nullptr;
    HRESULT result = swapChain ? swapChain->Present(nullptr, nullptr, nullptr, nullptr, 0)
                               : state.device->Present(nullptr, nullptr, nullptr, nullptr);
    // The next frame's geometry starts in the next rotating buffer, with a discard.
    D3D9VertexBuffer::Advance();
    return SUCCEEDED(result) ? 1 : 0;
}
