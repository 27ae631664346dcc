// The Direct3D 9 device's frame: camera begin-update (transforms, targets, viewport,
// scene), end-update, camera clear and raster show; around them the release of video
// memory before every Reset and the restore sequence after it, the window-size follow-up,
// video-mode changes while running and swap chains of further windows.
#include "d3d9driver_local.h"

#include "camera.h"
#include "d3d9im2d.h"
#include "d3d9im3dpipeline.h"
#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "fpu.h"
#include "frame.h"
#include "freelist.h"

namespace
{

// The StretchRectFilterCaps bits that allow a point-filtered stretch copy (MINFPOINT |
// MAGFPOINT); the copy is never scaled, so point filtering is all it needs.
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

bool Windowed()
{
    return D3D9State().present.Windowed != FALSE;
}

bool ClientSize(HWND window, int32_t* width, int32_t* height)
{
    RECT client;
    if (!GetClientRect(window, &client))
        return false;
    *width = client.right - client.left;
    *height = client.bottom - client.top;
    return *width != 0 && *height != 0;
}

// A camera texture's surface (its cube face, else level 0; a reference the caller
// releases), or null.
IDirect3DSurface9* TextureSurface(Raster* top)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(top);
    if (!ext->object)
        return nullptr;
    IDirect3DSurface9* surface = nullptr;
    HRESULT result;
    if (ext->cube & 0x0F)
        result = static_cast<IDirect3DCubeTexture9*>(ext->object)
                     ->GetCubeMapSurface(D3DCUBEMAP_FACES((ext->cube >> 4) & 0x0F), 0, &surface);
    else
        result = static_cast<IDirect3DTexture9*>(ext->object)->GetSurfaceLevel(0, &surface);
    return SUCCEEDED(result) ? surface : nullptr;
}

bool IsRenderTarget(IDirect3DSurface9* surface)
{
    D3DSURFACE_DESC desc{};
    return surface && SUCCEEDED(surface->GetDesc(&desc)) && (desc.Usage & D3DUSAGE_RENDERTARGET);
}

// The depth surface of a z raster: its own surface, or level 0 of a depth texture.
IDirect3DSurface9* DepthSurfaceOf(Raster* zRaster, IDirect3DSurface9** release)
{
    *release = nullptr;
    Raster* top = TopRaster(zRaster);
    if (!top)
        return nullptr;
    D3D9RasterExtension* ext = D3D9Raster::Extension(top);
    if (top->type == kRasterTypeZBuffer)
        return static_cast<IDirect3DSurface9*>(ext->object);
    if (top->type == kRasterTypeTexture && ext->object)
        *release = TextureSurface(top);
    return *release;
}

void BindMainTargets()
{
    D3D9DeviceState& state = D3D9State();
    D3D9Device::SetRenderTargetSurface(0, state.backBuffer);
    D3D9Device::SetDepthStencilSurface(state.depthSurface);
}

// Binds where a camera of the main window draws: a render-target camera texture with the
// camera's z raster, else the back buffer (a camera texture that cannot be a target is
// copied into at the end). Answers whether the camera texture itself is the target.
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
            D3D9Device::SetRenderTargetSurface(0, surface);
            IDirect3DSurface9* release = nullptr;
            D3D9Device::SetDepthStencilSurface(DepthSurfaceOf(camera->zBuffer, &release));
            if (release)
                release->Release();
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

// A camera of a further window: the z raster follows the window's client size, a frame
// buffer of another size gets a new swap chain; then the chain's back buffer and the z
// raster are bound. False when the window shows no client area or a chain cannot be made.
bool BindSwapChainTargets(Camera* camera)
{
    Raster* top = TopRaster(camera->frameBuffer);
    D3D9RasterExtension* ext = D3D9Raster::Extension(top);
    int32_t width = 0, height = 0;
    if (!ClientSize(ext->window, &width, &height))
        return false;
    if (width == top->sourceWidth && height == top->sourceHeight)
    {
        Raster* z = camera->zBuffer;
        if (z && z->parent == z && (z->width != width || z->height != height))
        {
            Raster::Destroy(z);
            camera->zBuffer = Raster::Create(width, height, 0, kRasterTypeZBuffer);
        }
    }
    else if (camera->frameBuffer == top)
    {
        if (!D3D9Device::CreateWindowSwapChain(camera, ext->window))
            return false;
        top = camera->frameBuffer;
        ext = D3D9Raster::Extension(top);
    }
    D3D9Device::SetRenderTargetSurface(0, static_cast<IDirect3DSurface9*>(ext->object));
    IDirect3DSurface9* release = nullptr;
    D3D9Device::SetDepthStencilSurface(DepthSurfaceOf(camera->zBuffer, &release));
    if (release)
        release->Release();
    return true;
}

bool HasSwapChain(Raster* top)
{
    return top && D3D9Raster::Extension(top)->swapChain;
}

void SetViewport(const Raster* raster, bool atOrigin)
{
    if (!raster)
        return;
    D3DVIEWPORT9 viewport = {atOrigin ? 0u : DWORD(raster->offsetX), atOrigin ? 0u : DWORD(raster->offsetY),
                             DWORD(raster->width), DWORD(raster->height), 0.0f, 1.0f};
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

// ---- Reset ---------------------------------------------------------------------------------------

// Reset with the present parameters. With retryInvalid, a windowed device that the Reset
// refuses as an invalid call takes the desktop's format again (the user changed it) and
// tries once more.
HRESULT ResetDevice(bool retryInvalid)
{
    D3D9DeviceState& state = D3D9State();
    HRESULT result = state.device->Reset(&state.present);
    if (result == D3DERR_INVALIDCALL && retryInvalid && Windowed())
    {
        D3DDISPLAYMODE desktop{};
        state.d3d->GetAdapterDisplayMode(state.adapter, &desktop);
        state.desktopFormat = desktop.Format;
        state.display.format = desktop.Format;
        state.display.depth = D3D9ColourDepth(desktop.Format);
        state.present.BackBufferFormat = desktop.Format;
        result = state.device->Reset(&state.present);
    }
    return result;
}

// Release, Reset and, after a successful Reset, the restore sequence. The Reset's result.
HRESULT ReleaseResetRestore(bool retryInvalid)
{
    D3D9Device::ReleaseVideoMemory();
    HRESULT result = ResetDevice(retryInvalid);
    if (SUCCEEDED(result))
        D3D9Device::RestoreVideoMemory();
    return result;
}

// The device's cooperative level, resetting a device that can be reset. False while the
// device cannot be used.
bool TestDevice(bool retryInvalid)
{
    HRESULT result = D3D9State().device->TestCooperativeLevel();
    if (result == D3DERR_DEVICENOTRESET)
        result = ReleaseResetRestore(retryInvalid);
    return SUCCEEDED(result);
}

// Places the main window so that its client area has the display record's size again.
void RestoreWindowSize(const RECT& client)
{
    D3D9DeviceState& state = D3D9State();
    RECT rect = {client.left, client.top, client.left + state.display.width, client.top + state.display.height};
    DWORD style = DWORD(GetWindowLongA(state.window, GWL_STYLE));
    if (style & WS_MAXIMIZE)
    {
        style &= ~WS_MAXIMIZE;
        SetWindowLongA(state.window, GWL_STYLE, LONG(style));
    }
    AdjustWindowRectEx(&rect, style, GetMenu(state.window) != nullptr,
                       DWORD(GetWindowLongA(state.window, GWL_EXSTYLE)));
    SetWindowPos(state.window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

// The main window must show a client area, and a client area of another size than the
// device's makes the device follow it. False when nothing can be drawn.
bool FollowMainWindow()
{
    D3D9DeviceState& state = D3D9State();
    RECT client;
    if (!GetClientRect(state.window, &client) || IsIconic(state.window))
        return false;
    int32_t width = client.right - client.left;
    int32_t height = client.bottom - client.top;
    if (width == 0 || height == 0)
        return false;
    if (width == state.display.width && height == state.display.height)
        return true;

    D3D9Device::ReleaseVideoMemory();
    if (SUCCEEDED(state.device->TestCooperativeLevel()) && Windowed())
    {
        state.present.BackBufferWidth = UINT(width);
        state.present.BackBufferHeight = UINT(height);
    }
    bool reset = SUCCEEDED(state.device->Reset(&state.present));
    if (reset && D3D9Device::RestoreVideoMemory())
    {
        state.display.width = width;
        state.display.height = height;
        return true;
    }
    if (reset)
        D3D9Device::ReleaseVideoMemory();
    if (!Windowed())
        return false;
    // The device keeps its size; the window goes back to it.
    state.present.BackBufferWidth = UINT(state.display.width);
    state.present.BackBufferHeight = UINT(state.display.height);
    if (FAILED(state.device->Reset(&state.present)))
        return false;
    RestoreWindowSize(client);
    D3D9Device::RestoreVideoMemory();
    return true;
}

} // namespace

// ---- Around a Reset ------------------------------------------------------------------------------------

void D3D9Device::ReleaseVideoMemory()
{
    D3D9DeviceState& state = D3D9State();
    IDirect3DDevice9* device = state.device;
    if (!device)
        return;
    ForgetBindings();
    ResetTransformCache();
    for (DWORD stage = 0; stage < D3D9RenderState::kNumStages; ++stage)
        device->SetTexture(stage, nullptr);
    device->SetIndices(nullptr);
    for (UINT stream = 0; stream < 4; ++stream)
        device->SetStreamSource(stream, nullptr, 0, 0);
    device->SetPixelShader(nullptr);
    device->SetVertexDeclaration(nullptr);
    device->SetVertexShader(nullptr);
    SetRenderTargetSurface(0, state.backBuffer);
    for (DWORD target = 1; target < 4; ++target)
        SetRenderTargetSurface(target, nullptr);
    SetDepthStencilSurface(state.depthSurface);

    D3D9Im2D::Close();
    SubmitNoLightNode::ReleaseResources();
    D3D9VertexBuffer::Release();
    D3D9Raster::ReleaseVideoMemory();
    FreeList::PurgeAll();
}

int32_t D3D9Device::RestoreVideoMemory()
{
    D3D9DeviceState& state = D3D9State();
    D3D9KeepDeviceSurfaces();
    // The Reset bound the device's new surfaces; the caches must not compare against the
    // old ones, whose addresses may come back.
    ForgetTargets();
    SetRenderTargetSurface(0, state.backBuffer);
    SetDepthStencilSurface(state.depthSurface);

    bool restored = D3D9Raster::RestoreVideoMemory() != 0;
    restored = restored && D3D9VertexBuffer::Restore() != 0;
    if (restored)
    {
        D3D9RenderState::Restore();
        restored = RestoreLights() != 0;
    }
    restored = restored && D3D9Im2D::Open() != 0;
    restored = restored && SubmitNoLightNode::CreateResources() != 0;
    if (state.restore)
        state.restore();
    return restored ? 1 : 0;
}

int32_t D3D9Device::TestAndReset()
{
    D3D9DeviceState& state = D3D9State();
    if (!state.device || !TestDevice(true))
    {
        state.inScene = false;
        return 0;
    }
    if (state.inScene)
        return 1;
    if (FAILED(state.device->BeginScene()))
        return 0;
    state.inScene = true;
    return 1;
}

// ---- Frames ---------------------------------------------------------------------------------------------------

int32_t D3D9Device::CameraBeginUpdate(void*, void* in, int32_t)
{
    D3D9DeviceState& state = D3D9State();
    auto* camera = static_cast<Camera*>(in);
    FPU::ForceSinglePrecision();
    // A failed begin leaves no current camera: nothing may draw into it or read it afterwards.
    state.currentCamera = nullptr;
    if (!state.device || !camera)
        return 0;
    Raster* top = TopRaster(camera->frameBuffer);
    bool chained = HasSwapChain(top);
    // The window comes first, so that a minimised one costs no device call at all.
    if (!chained && !FollowMainWindow())
        return 0;
    // A lost device is tested, and reset when it can be, before the camera's state is sent: the Reset
    // wipes transforms, targets and viewport.
    if (!TestDevice(true))
    {
        state.inScene = false;
        return 0;
    }

    D3DMATRIX view = ViewTransform(camera);
    SetTransform(D3DTS_VIEW, &view._11);
    D3DMATRIX projection = ProjectionTransform(camera);
    SetTransform(D3DTS_PROJECTION, &projection._11);
    if (chained)
    {
        if (!BindSwapChainTargets(camera))
            return 0;
    }
    else
    {
        BindCameraTargets(camera);
    }
    SetViewport(camera->frameBuffer, false);

    if (!state.inScene && SUCCEEDED(state.device->BeginScene()))
        state.inScene = true;
    if (!state.inScene)
        return 0;
    state.currentCamera = camera;
    return 1;
}

int32_t D3D9Device::CameraEndUpdate(void*, void*, int32_t)
{
    D3D9DeviceState& state = D3D9State();
    Camera* camera = state.currentCamera;
    Raster* top = camera ? TopRaster(camera->frameBuffer) : nullptr;
    if (state.device && top && top->type == kRasterTypeCameraTexture && state.copyBack && !HasSwapChain(top))
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
    if (!state.device || !camera)
        return 0;
    Raster* top = TopRaster(camera->frameBuffer);
    if (HasSwapChain(top))
    {
        if (!BindSwapChainTargets(camera))
            return 0;
        SetViewport(camera->frameBuffer, true);
        D3DCOLOR value =
            (mode & kCameraClearImage) ? D3DCOLOR_ARGB(colour->alpha, colour->red, colour->green, colour->blue) : 0;
        state.device->Clear(0, nullptr, mode & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL), value, 1.0f,
                            0);
        return 1;
    }
    if (!FollowMainWindow())
        return 0;
    // The frame's first call: a device that can be reset is reset now, or the clear would be lost with it.
    if (!TestDevice(true))
        return 0;
    top = TopRaster(camera->frameBuffer);
    D3DCOLOR value =
        (mode & kCameraClearImage) ? D3DCOLOR_ARGB(colour->alpha, colour->red, colour->green, colour->blue) : 0;
    DWORD flags = 0;
    if (top && top->type == kRasterTypeCameraTexture)
    {
        // Inside this camera's update the copy-back stays due: what is drawn after the clear must still reach
        // the texture when the update ends.
        bool updating = state.currentCamera == camera;
        bool target = BindCameraTargets(camera);
        if (!updating)
            state.copyBack = false;
        SetViewport(camera->frameBuffer, false);
        flags = mode & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
        if (!camera->zBuffer)
            flags &= D3DCLEAR_TARGET;
        state.device->Clear(0, nullptr, flags, value, 1.0f, 0);
        if (!target)
            CopyBackIntoTexture(camera->frameBuffer);
        return 1;
    }
    BindMainTargets();
    SetViewport(camera->frameBuffer, false);
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

int32_t D3D9Device::RasterShow(void*, void* in, int32_t number)
{
    D3D9DeviceState& state = D3D9State();
    if (!state.device)
        return 0;
    if (state.inScene)
    {
        state.device->EndScene();
        state.inScene = false;
    }
    HRESULT result = D3D_OK;
    // Waiting for the vertical blank is a present parameter: a change needs a Reset.
    bool wait = (number & 1) != 0;
    UINT& interval = state.present.PresentationInterval;
    if ((wait && interval == D3DPRESENT_INTERVAL_IMMEDIATE) || (!wait && interval == D3DPRESENT_INTERVAL_ONE))
    {
        interval = wait ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
        result = ReleaseResetRestore(false);
    }
    Raster* top = TopRaster(static_cast<Raster*>(in));
    IDirect3DSwapChain9* swapChain = top ? D3D9Raster::Extension(top)->swapChain : nullptr;
    result = swapChain ? swapChain->Present(nullptr, nullptr, nullptr, nullptr, 0)
                       : state.device->Present(nullptr, nullptr, nullptr, nullptr);
    if (result == D3DERR_DEVICELOST && state.device->TestCooperativeLevel() == D3DERR_DEVICENOTRESET)
        result = ReleaseResetRestore(false);
    // The next frame's geometry starts in the next rotating buffer, with a discard.
    D3D9VertexBuffer::Advance();
    return SUCCEEDED(result) ? 1 : 0;
}

// ---- Modes and windows ------------------------------------------------------------------------------------------

int32_t D3D9Device::ChangeVideoMode(int32_t index)
{
    D3D9DeviceState& state = D3D9State();
    int32_t count = 0;
    const D3D9VideoMode* modes = GetVideoModes(&count);
    // An index that names no usable mode is refused; only "not started" and "already
    // current" succeed without doing anything.
    if (!modes || index < 0 || index >= count || D3D9ColourDepth(modes[index].format) == 0)
        return 0;
    if (!state.started || index == state.currentMode)
        return 1;
    const D3D9VideoMode mode = modes[index];

    D3DPRESENT_PARAMETERS saved = state.present;
    int32_t savedZDepth = state.display.zDepth;
    bool savedStencil = state.stencil;
    D3DFORMAT savedAdapterFormat = state.adapterFormat;
    ReleaseVideoMemory();
    state.device->TestCooperativeLevel();
    state.present = D3DPRESENT_PARAMETERS{};
    FillPresentParameters(&mode, state.desktopFormat, &state.present);
    bool reset = SUCCEEDED(state.device->Reset(&state.present));
    if (reset && RestoreVideoMemory())
    {
        state.currentMode = index;
        state.display.width = mode.width;
        state.display.height = mode.height;
        state.display.refreshRate = mode.refreshRate;
        state.display.format = mode.format;
        state.display.depth = D3D9ColourDepth(mode.format);
        state.display.flags = mode.flags;
        HWND window = state.window;
        bool menu = GetMenu(window) != nullptr;
        DWORD exStyle = DWORD(GetWindowLongA(window, GWL_EXSTYLE));
        if (mode.flags & kD3D9ModeFullScreen)
        {
            RECT rect = {0, 0, mode.width, mode.height};
            AdjustWindowRectEx(&rect, DWORD(GetWindowLongA(window, GWL_STYLE)), menu, exStyle);
            SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                         SWP_NOMOVE | SWP_NOZORDER);
        }
        else
        {
            constexpr DWORD kWindowedStyle = WS_VISIBLE | WS_OVERLAPPEDWINDOW;
            SetWindowLongA(window, GWL_STYLE, LONG(kWindowedStyle));
            RECT rect = {0, 0, LONG(state.present.BackBufferWidth), LONG(state.present.BackBufferHeight)};
            AdjustWindowRectEx(&rect, kWindowedStyle, menu, exStyle);
            SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOZORDER);
            RECT client;
            if (GetClientRect(window, &client))
            {
                state.display.width = client.right - client.left;
                state.display.height = client.bottom - client.top;
            }
        }
        return 1;
    }
    if (reset)
        ReleaseVideoMemory();
    state.present = saved;
    state.display.zDepth = savedZDepth;
    state.stencil = savedStencil;
    state.adapterFormat = savedAdapterFormat;
    if (FAILED(state.device->Reset(&state.present)))
        return 0;
    RestoreVideoMemory();
    return 1;
}

int32_t D3D9Device::CreateWindowSwapChain(Camera* camera, HWND window)
{
    D3D9DeviceState& state = D3D9State();
    if (!state.device || !camera || !window || !Windowed() || window == state.window)
        return 0;
    RECT rect{};
    GetWindowRect(window, &rect);
    if (camera->frameBuffer)
        Raster::Destroy(camera->frameBuffer);
    if (camera->zBuffer)
        Raster::Destroy(camera->zBuffer);
    camera->frameBuffer = nullptr;
    camera->zBuffer = nullptr;

    D3DPRESENT_PARAMETERS parameters = state.present;
    parameters.BackBufferWidth = rect.right - rect.left == 0 ? 1 : 0;
    parameters.BackBufferHeight = rect.bottom - rect.top == 0 ? 1 : 0;
    parameters.hDeviceWindow = window;
    parameters.EnableAutoDepthStencil = FALSE;
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(state.device->CreateAdditionalSwapChain(&parameters, &chain)) || !chain)
        return 0;
    IDirect3DSurface9* back = nullptr;
    D3DSURFACE_DESC desc{};
    if (FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back)) || !back || FAILED(back->GetDesc(&desc)))
    {
        if (back)
            back->Release();
        chain->Release();
        return 0;
    }
    Raster* raster = Raster::Create(int32_t(desc.Width), int32_t(desc.Height), 0, kRasterTypeCamera | kRasterDontAllocate);
    if (!raster)
    {
        back->Release();
        chain->Release();
        return 0;
    }
    D3D9FormatInfo info = D3D9Raster::FormatInfo(desc.Format);
    raster->width = raster->sourceWidth = int32_t(desc.Width);
    raster->height = raster->sourceHeight = int32_t(desc.Height);
    raster->depth = info.bitsPerPixel;
    raster->format = uint8_t(((Raster::FormatFlags(raster) & ~kRasterFormatPixelMask) | info.rasterFormat) >> 8);
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    // The chain keeps its back buffer alive; the extension holds no reference of its own.
    ext->object = back;
    ext->alpha = info.alpha;
    ext->format = desc.Format;
    ext->swapChain = chain;
    ext->window = window;
    camera->frameBuffer = raster;
    camera->zBuffer = Raster::Create(int32_t(desc.Width), int32_t(desc.Height), 0, kRasterTypeZBuffer);
    back->Release();
    return 1;
}
