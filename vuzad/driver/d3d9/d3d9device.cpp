// The Direct3D 9 device: module state, the device record and requests, adapter choice and
// video modes, present parameters with the depth-format choice, and the device's creation
// and release.
#include "d3d9driver_local.h"

#include "d3d9im2d.h"
#include "d3d9im3dpipeline.h"
#include "d3d9nativetexture.h"
#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "fpu.h"
#include "im3d.h"
#include "memory.h"
#include "texture.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr UINT kSdkVersion = 31;
constexpr uint32_t kModeTableHint = 0x1040411;
constexpr uint16_t kD3D9DeviceIdentifier = 2;

/// The back-buffer formats whose full-screen modes are offered, in enumeration order.
constexpr D3DFORMAT kModeFormats[] = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10};

// Depth-stencil formats in order of preference, and whether they carry stencil bits.
struct DepthChoice
{
    D3DFORMAT format;
    bool stencil;
};
constexpr DepthChoice kDepth32[] = {
    {D3DFMT_D24S8, true}, {D3DFMT_D24X4S4, true}, {D3DFMT_D32, false}, {D3DFMT_D24X8, false}};

D3D9DeviceState sState;

int32_t DoNothing(void*, void*, int32_t)
{
    return 0;
}

int32_t SystemFunction(int32_t request, void* out, void* inOut, int32_t number)
{
    return D3D9Device::SystemRequest(request, out, inOut, number);
}

const DeviceRecord sRecord = {
    1.0f,
    SystemFunction,
    0.0f,
    1.0f,
    D3D9Device::SetEngineRenderState,
    D3D9Device::GetEngineRenderState,
    D3D9Im2D::Line,
    D3D9Im2D::Triangle,
    D3D9Im2D::Primitive,
    D3D9Im2D::IndexedPrimitive,
    {},
};

const DeviceRecord* DriverRecord()
{
    return &sRecord;
}

int32_t DriverAttach()
{
    return D3D9Device::PluginAttach();
}

const DeviceDriver sDriver = {DriverAttach, DriverRecord};

uint32_t EngineFormatOfDisplay(D3DFORMAT format)
{
    switch (format)
    {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A2R10G10B10:
        return kRasterFormat8888;
    case D3DFMT_X8R8G8B8:
        return kRasterFormat888;
    case D3DFMT_R5G6B5:
        return kRasterFormat565;
    case D3DFMT_X1R5G5B5:
        return kRasterFormat555;
    case D3DFMT_A1R5G5B5:
        return kRasterFormat1555;
    default:
        return 0;
    }
}

// ---- Adapter and modes ----------------------------------------------------------------------

int32_t CountAdapterModes()
{
    int32_t total = 0;
    for (D3DFORMAT format : kModeFormats)
        total += int32_t(sState.d3d->GetAdapterModeCount(sState.adapter, format));
    return total;
}

void ReadDesktopIntoDisplay()
{
    D3DDISPLAYMODE desktop{};
    sState.d3d->GetAdapterDisplayMode(sState.adapter, &desktop);
    sState.display.width = int32_t(desktop.Width);
    sState.display.height = int32_t(desktop.Height);
    sState.display.refreshRate = int32_t(desktop.RefreshRate);
    sState.display.format = desktop.Format;
    sState.display.depth = D3D9ColourDepth(desktop.Format);
    sState.display.flags = 0;
    sState.desktopFormat = desktop.Format;
}

void FreeModeTable()
{
    if (sState.modes)
        Memory::Free(sState.modes);
    sState.modes = nullptr;
    sState.modeCount = 0;
}

// Entry 0 is always the desktop's windowed mode, so that a full-screen mode never takes the
// index the renderer reserves for windowed use; when the desktop's format is not one the
// engine can draw in, the entry stays as a placeholder that cannot be selected (depth 0).
// Every further entry is a full-screen mode, one per size and format, at the highest rate
// the adapter offers for it.
bool EnumerateVideoModes()
{
    FreeModeTable();
    size_t capacity = size_t(sState.totalModes) + 1;
    auto* modes = static_cast<D3D9VideoMode*>(Memory::Allocate(capacity * sizeof(D3D9VideoMode), kModeTableHint));
    if (!modes)
        return false;
    D3DDISPLAYMODE desktop{};
    sState.d3d->GetAdapterDisplayMode(sState.adapter, &desktop);
    modes[0] = {int32_t(desktop.Width), int32_t(desktop.Height), int32_t(desktop.RefreshRate), desktop.Format, 0};
    int32_t count = 1;
    for (D3DFORMAT format : kModeFormats)
    {
        UINT formatModes = sState.d3d->GetAdapterModeCount(sState.adapter, format);
        for (UINT i = 0; i < formatModes && size_t(count) < capacity; ++i)
        {
            D3DDISPLAYMODE mode{};
            if (FAILED(sState.d3d->EnumAdapterModes(sState.adapter, format, i, &mode)))
                continue;
            D3D9VideoMode* same = std::find_if(modes + 1, modes + count,
                                               [&](const D3D9VideoMode& m) {
                                                   return m.width == int32_t(mode.Width) &&
                                                          m.height == int32_t(mode.Height) && m.format == mode.Format;
                                               });
            if (same != modes + count)
            {
                same->refreshRate = std::max(same->refreshRate, int32_t(mode.RefreshRate));
                continue;
            }
            modes[count++] = {int32_t(mode.Width), int32_t(mode.Height), int32_t(mode.RefreshRate), mode.Format,
                              kD3D9ModeFullScreen};
        }
    }
    if (size_t(count) < capacity)
    {
        void* shrunk = Memory::Reallocate(modes, size_t(count) * sizeof(D3D9VideoMode), kModeTableHint);
        if (shrunk)
            modes = static_cast<D3D9VideoMode*>(shrunk);
    }
    sState.modes = modes;
    sState.modeCount = count;
    return true;
}

bool EnsureModes()
{
    return sState.modes || (sState.d3d && EnumerateVideoModes());
}

bool Selectable(const D3D9VideoMode& mode)
{
    return D3D9ColourDepth(mode.format) != 0;
}

// ---- Present parameters -------------------------------------------------------------------------

bool DepthAcceptable(D3DFORMAT adapterFormat, D3DFORMAT backBuffer, D3DFORMAT depth)
{
    // These two checks count only an exact S_OK.
    return sState.d3d->CheckDeviceFormat(sState.adapter, D3DDEVTYPE_HAL, adapterFormat, D3DUSAGE_DEPTHSTENCIL,
                                         D3DRTYPE_SURFACE, depth) == S_OK &&
           sState.d3d->CheckDepthStencilMatch(sState.adapter, D3DDEVTYPE_HAL, adapterFormat, backBuffer, depth) == S_OK;
}

D3DFORMAT ChooseDepthFormat(D3DFORMAT adapterFormat, D3DFORMAT backBuffer)
{
    if (D3D9ColourDepth(backBuffer) == 32)
    {
        for (const DepthChoice& choice : kDepth32)
        {
            if (DepthAcceptable(adapterFormat, backBuffer, choice.format))
            {
                sState.stencil = choice.stencil;
                sState.display.zDepth = 32;
                return choice.format;
            }
        }
    }
    sState.display.zDepth = 16;
    if (DepthAcceptable(adapterFormat, backBuffer, D3DFMT_D15S1))
    {
        sState.stencil = true;
        return D3DFMT_D15S1;
    }
    sState.stencil = false;
    return D3DFMT_D16;
}

// ---- Start and stop ---------------------------------------------------------------------------------

void KeepDeviceSurfaces()
{
    sState.backBuffer = nullptr;
    sState.depthSurface = nullptr;
    IDirect3DSurface9* surface = nullptr;
    if (SUCCEEDED(sState.device->GetRenderTarget(0, &surface)) && surface)
    {
        sState.backBuffer = surface;
        surface->Release();
    }
    surface = nullptr;
    if (SUCCEEDED(sState.device->GetDepthStencilSurface(&surface)) && surface)
    {
        sState.depthSurface = surface;
        surface->Release();
    }
}

// The layers over the device, closed before it goes: rasters, then vertex buffers. The 2D
// layer closes first of all, so that it gives its declaration back before the shared
// declarations are released for good (a later release would free it twice).
void StopLayers()
{
    D3D9Im2D::Close();
    D3D9DeviceCachesStop();
    D3D9Raster::Close();
    D3D9VertexBuffer::Close();
}

int32_t Start()
{
    if (!sState.d3d || sState.started)
        return 0;
    D3DDISPLAYMODE desktop{};
    sState.d3d->GetAdapterDisplayMode(sState.adapter, &desktop);
    sState.desktopFormat = desktop.Format;
    const D3D9DisplayRecord& display = sState.display;
    D3D9VideoMode mode = {display.width, display.height, display.refreshRate, display.format, display.flags};
    sState.present = D3DPRESENT_PARAMETERS{};
    D3D9Device::FillPresentParameters(&mode, sState.desktopFormat, &sState.present);
    sState.present.hDeviceWindow = sState.window;
    sState.d3d->GetDeviceCaps(sState.adapter, D3DDEVTYPE_HAL, &sState.caps);

    DWORD flags = sState.multithreaded ? D3DCREATE_MULTITHREADED : 0;
    if (sState.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)
    {
        flags |= D3DCREATE_HARDWARE_VERTEXPROCESSING;
        if (sState.caps.DevCaps & D3DDEVCAPS_PUREDEVICE)
            flags |= D3DCREATE_PUREDEVICE;
    }
    else
    {
        flags |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    }
    sState.behaviorFlags = flags;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(
            sState.d3d->CreateDevice(sState.adapter, D3DDEVTYPE_HAL, sState.window, flags, &sState.present, &device)) ||
        !device)
    {
        sState.started = false;
        return 0;
    }
    sState.device = device;
    RECT client;
    if (sState.window && GetClientRect(sState.window, &client))
    {
        sState.display.width = client.right - client.left;
        sState.display.height = client.bottom - client.top;
    }
    KeepDeviceSurfaces();
    D3D9DeviceCachesStart();
    if (!D3D9Raster::Open())
    {
        sState.device->Release();
        sState.device = nullptr;
        return 0;
    }
    // A device without its 2D resources or vertex buffers could not draw: the start fails.
    bool im2D = D3D9Im2D::Open();
    if (im2D)
        D3D9RenderState::Open();
    if (!im2D || !D3D9VertexBuffer::Open())
    {
        StopLayers();
        sState.device->Release();
        sState.device = nullptr;
        return 0;
    }
    sState.inScene = false;
    sState.copyBack = false;
    sState.currentCamera = nullptr;
    sState.started = true;
    return 1;
}

int32_t Stop()
{
    sState.started = false;
    FreeModeTable();
    FPU::RestoreControlWord();
    if (IDirect3DDevice9* device = sState.device)
    {
        for (DWORD stage = 0; stage < 8; ++stage)
            device->SetTexture(stage, nullptr);
        device->SetIndices(nullptr);
        for (UINT stream = 0; stream < 4; ++stream)
            device->SetStreamSource(stream, nullptr, 0, 0);
        device->SetPixelShader(nullptr);
        device->SetVertexDeclaration(nullptr);
        device->SetVertexShader(nullptr);
    }
    StopLayers();
    if (sState.device)
        sState.device->Release();
    sState.device = nullptr;
    sState.backBuffer = nullptr;
    sState.depthSurface = nullptr;
    sState.inScene = false;
    sState.currentCamera = nullptr;
    return 1;
}

// ---- Requests ---------------------------------------------------------------------------------------------

int32_t Open(void* openRecord)
{
    if (sState.d3d)
        return 0;
    sState.window = *static_cast<HWND*>(openRecord);
    IDirect3D9* d3d = Direct3DCreate9(kSdkVersion);
    if (!d3d)
        return 0;
    UINT adapters = d3d->GetAdapterCount();
    UINT adapter = 0;
    while (adapter < adapters && FAILED(d3d->GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &sState.caps)))
        ++adapter;
    if (adapter == adapters)
    {
        d3d->Release();
        return 0;
    }
    sState.d3d = d3d;
    sState.adapter = adapter;
    sState.totalModes = CountAdapterModes();
    ReadDesktopIntoDisplay();
    sState.currentMode = 0;
    sState.cpu = CpuFeature::Detect();
    return 1;
}

int32_t Close()
{
    FreeModeTable();
    if (sState.d3d)
        sState.d3d->Release();
    sState.d3d = nullptr;
    return 1;
}

int32_t WriteModeInfo(VideoMode* out, int32_t index)
{
    if (!EnsureModes() || index < 0 || index >= sState.modeCount)
        return 0;
    const D3D9VideoMode& mode = sState.modes[index];
    *out = {mode.width, mode.height,      D3D9ColourDepth(mode.format),
            mode.flags, mode.refreshRate, int32_t(EngineFormatOfDisplay(mode.format))};
    return 1;
}

int32_t UseVideoMode(int32_t index)
{
    if (sState.started || !EnsureModes() || index < 0 || index >= sState.modeCount || !Selectable(sState.modes[index]))
        return 0;
    const D3D9VideoMode& mode = sState.modes[index];
    sState.display.width = mode.width;
    sState.display.height = mode.height;
    sState.display.refreshRate = mode.refreshRate;
    sState.display.format = mode.format;
    sState.display.depth = D3D9ColourDepth(mode.format);
    sState.display.flags = mode.flags;
    sState.currentMode = index;
    return 1;
}

int32_t Focus(int32_t gained)
{
    if (!sState.device)
        return 0;
    if (sState.present.Windowed)
        return 1;
    ShowWindow(sState.window, gained ? SW_RESTORE : SW_HIDE);
    return 1;
}

int32_t AdapterDescription(char* out, const int32_t* size, int32_t adapter)
{
    // The caller states its buffer's size: the description may be far longer than the
    // buffers callers keep for it.
    if (!sState.d3d || !out || !size || *size <= 0)
        return 0;
    D3DADAPTER_IDENTIFIER9 identifier{};
    if (FAILED(sState.d3d->GetAdapterIdentifier(UINT(adapter), 0, &identifier)))
        return 0;
    size_t length = strnlen(identifier.Description, sizeof(identifier.Description));
    length = std::min(length, size_t(*size) - 1);
    std::memcpy(out, identifier.Description, length);
    out[length] = 0;
    return 1;
}

int32_t SelectAdapter(int32_t adapter)
{
    if (!sState.d3d || sState.started || adapter < 0 || UINT(adapter) >= sState.d3d->GetAdapterCount())
        return 0;
    D3DCAPS9 caps{};
    if (FAILED(sState.d3d->GetDeviceCaps(UINT(adapter), D3DDEVTYPE_HAL, &caps)))
        return 0;
    sState.adapter = UINT(adapter);
    sState.caps = caps;
    sState.totalModes = CountAdapterModes();
    ReadDesktopIntoDisplay();
    sState.currentMode = 0;
    return EnumerateVideoModes() ? 1 : 0;
}

} // namespace

// ---- Module state -------------------------------------------------------------------------------------------

D3D9DeviceState& D3D9State()
{
    return sState;
}

void D3D9KeepDeviceSurfaces()
{
    KeepDeviceSurfaces();
}

int32_t D3D9ColourDepth(D3DFORMAT format)
{
    switch (format)
    {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2R10G10B10:
        return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 16;
    default:
        return 0;
    }
}

// ---- Installing the driver ---------------------------------------------------------------------------------------

const DeviceDriver* D3D9Device::Driver()
{
    return &sDriver;
}

int32_t D3D9Device::PluginAttach()
{
    Im3d::SetDeviceNodes(SubmitNoLightNode::DeviceNodes());
    // Rasters whose levels are generated get them from the texture loader when the device
    // cannot make them itself.
    D3D9Raster::SetMipGenerator(Texture::CallMipGenerator);
    return D3D9Raster::Attach() < 0 ? 0 : 1;
}

const DeviceRecord* D3D9Device::GetDeviceRecord()
{
    return &sRecord;
}

// ---- Requests -------------------------------------------------------------------------------------------------------

int32_t D3D9Device::SystemRequest(int32_t request, void* out, void* inOut, int32_t number)
{
    switch (request)
    {
    case kDeviceOpen:
        return inOut ? Open(inOut) : 0;
    case kDeviceClose:
        return Close();
    case kDeviceStart:
        return Start();
    case kDeviceStop:
        return Stop();
    case kDeviceRegister:
        *static_cast<DeviceRecord*>(out) = sRecord;
        return 1;
    case kDeviceNumVideoModes:
        if (!EnsureModes())
            return 0;
        *static_cast<int32_t*>(out) = sState.modeCount;
        return 1;
    case kDeviceVideoModeInfo:
        return WriteModeInfo(static_cast<VideoMode*>(out), number);
    case kDeviceUseVideoMode:
        return UseVideoMode(number);
    case kDeviceFocus:
        return Focus(number);
    case kDeviceCurrentVideoMode:
        *static_cast<int32_t*>(out) = sState.currentMode;
        return 1;
    case kDeviceStandardFunctions:
        return FillStandardFunctions(static_cast<StandardFunction*>(out), number);
    case kDeviceTextureMemory:
        if (!sState.device)
            return 0;
        *static_cast<int32_t*>(out) = int32_t(std::min<UINT>(sState.device->GetAvailableTextureMem(), INT32_MAX));
        return 1;
    case kDeviceNumSubSystems:
        if (!sState.d3d)
            return 0;
        *static_cast<int32_t*>(out) = int32_t(sState.d3d->GetAdapterCount());
        return 1;
    case kDeviceSubSystemInfo:
        return AdapterDescription(static_cast<char*>(out), static_cast<const int32_t*>(inOut), number);
    case kDeviceCurrentSubSystem:
        if (!sState.d3d)
            return 0;
        *static_cast<int32_t*>(out) = int32_t(sState.adapter);
        return 1;
    case kDeviceSelectSubSystem:
        return SelectAdapter(number);
    case kDeviceFinaliseStart:
        CpuFeature::InstallRoutines(sState.cpu);
        return 1;
    case kDeviceMaxTextureSize:
        if (!sState.d3d)
            return 0;
        *static_cast<int32_t*>(out) = int32_t(std::max(sState.caps.MaxTextureWidth, sState.caps.MaxTextureHeight));
        return 1;
    case kDeviceIdentifier:
        *static_cast<uint16_t*>(out) = kD3D9DeviceIdentifier;
        return 1;
    default:
        return 0;
    }
}

// Slots 0 and 22 keep the function that does nothing: the engine core answers their
// failure values.
int32_t D3D9Device::FillStandardFunctions(StandardFunction* slots, int32_t count)
{
    if (!slots || count < kNumStandardFunctions)
        return 0;
    for (int32_t i = 0; i < count; ++i)
        slots[i] = DoNothing;
    slots[kStdCameraBeginUpdate] = CameraBeginUpdate;
    slots[kStdRasterCreate] = D3D9Raster::Create;
    slots[kStdRasterDestroy] = D3D9Raster::Destroy;
    slots[kStdCameraEndUpdate] = CameraEndUpdate;
    slots[kStdRasterSubRaster] = D3D9Raster::SubRaster;
    slots[kStdRasterLock] = D3D9Raster::Lock;
    slots[kStdRasterUnlock] = D3D9Raster::Unlock;
    slots[kStdRasterShowRaster] = RasterShow;
    slots[kStdCameraClear] = CameraClear;
    slots[kStdRasterLockPalette] = D3D9Raster::LockPalette;
    slots[kStdRasterUnlockPalette] = D3D9Raster::UnlockPalette;
    slots[kStdRasterGetMipLevels] = D3D9Raster::GetMipLevels;
    slots[kStdTextureSetRaster] = D3D9Raster::TextureSetRaster;
    slots[kStdSetRasterContext] = D3D9Raster::SetContext;
    slots[kStdRasterClearRect] = D3D9Raster::ClearRect;
    slots[kStdRasterClear] = D3D9Raster::Clear;
    slots[kStdRasterRender] = D3D9Raster::Render;
    slots[kStdRasterRenderScaled] = D3D9Raster::RenderScaled;
    slots[kStdRasterRenderFast] = D3D9Raster::RenderFast;
    slots[kStdRgbToPixel] = D3D9Raster::RGBToPixel;
    slots[kStdPixelToRgb] = D3D9Raster::PixelToRGB;
    slots[kStdImageGetRaster] = D3D9Raster::ToImage;
    slots[kStdRasterSetImage] = D3D9Raster::FromImage;
    slots[kStdImageFindRasterFormat] = D3D9Raster::FindImageFormat;
    slots[kStdNativeTextureGetSize] = D3D9NativeTexture::GetSize;
    slots[kStdNativeTextureRead] = D3D9NativeTexture::Read;
    slots[kStdNativeTextureWrite] = D3D9NativeTexture::Write;
    return 1;
}

// ---- Called by the renderer ----------------------------------------------------------------------------------------

void D3D9Device::SetMultithreaded(int32_t flag)
{
    sState.multithreaded = flag != 0;
}

void D3D9Device::SetRefreshRate(uint32_t rate)
{
    sState.refreshLimit = rate;
    if (rate == 0 || !sState.d3d)
        return;
    uint32_t highestBelow = 0;
    for (D3DFORMAT format : kModeFormats)
    {
        UINT count = sState.d3d->GetAdapterModeCount(sState.adapter, format);
        for (UINT i = count; i-- > 0;)
        {
            D3DDISPLAYMODE mode{};
            if (FAILED(sState.d3d->EnumAdapterModes(sState.adapter, format, i, &mode)))
                continue;
            if (mode.RefreshRate == rate)
                return;
            if (mode.RefreshRate < rate)
                highestBelow = std::max(highestBelow, uint32_t(mode.RefreshRate));
        }
    }
    sState.refreshLimit = highestBelow;
}

// ---- State
// -----------------------------------------------------------------------------------------------------------

const D3DCAPS9* D3D9Device::GetCaps()
{
    return &sState.caps;
}

D3DCAPS9* D3D9Device::GetCapsForUpdate()
{
    return &sState.caps;
}

const D3DPRESENT_PARAMETERS* D3D9Device::GetPresentParameters()
{
    return &sState.present;
}

const D3D9DisplayRecord* D3D9Device::GetDisplay()
{
    return &sState.display;
}

IDirect3DDevice9* D3D9Device::GetDevice()
{
    return sState.device;
}

IDirect3D9* D3D9Device::GetDirect3D()
{
    return sState.d3d;
}

uint32_t D3D9Device::GetRefreshLimit()
{
    return sState.refreshLimit;
}

const D3D9VideoMode* D3D9Device::GetVideoModes(int32_t* count)
{
    EnsureModes();
    *count = sState.modeCount;
    return sState.modes;
}

void D3D9Device::SetRestoreCallback(D3D9RestoreCallback callback)
{
    sState.restore = callback;
}

D3D9RestoreCallback D3D9Device::GetRestoreCallback()
{
    return sState.restore;
}

void D3D9Device::FillPresentParameters(const D3D9VideoMode* mode, D3DFORMAT desktopFormat,
                                       D3DPRESENT_PARAMETERS* parameters)
{
    D3DPRESENT_PARAMETERS& p = *parameters;
    bool fullScreen = (mode->flags & kD3D9ModeFullScreen) != 0;
    D3DFORMAT adapterFormat;
    p.BackBufferCount = 1;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (fullScreen)
    {
        p.Windowed = FALSE;
        p.BackBufferWidth = UINT(mode->width);
        p.BackBufferHeight = UINT(mode->height);
        uint32_t rate = uint32_t(mode->refreshRate);
        p.FullScreen_RefreshRateInHz = rate < sState.refreshLimit ? rate : sState.refreshLimit;
        p.SwapEffect = D3DSWAPEFFECT_FLIP;
        adapterFormat = mode->format;
    }
    else
    {
        p.Windowed = TRUE;
        p.FullScreen_RefreshRateInHz = 0;
        p.SwapEffect = D3DSWAPEFFECT_COPY;
        // Size 0 lets the device take the client area; a window without width or height
        // still gets a one-pixel back buffer in that direction.
        RECT rect{};
        if (!sState.window || !GetWindowRect(sState.window, &rect))
            rect = RECT{};
        p.BackBufferWidth = rect.right - rect.left == 0 ? 1 : 0;
        p.BackBufferHeight = rect.bottom - rect.top == 0 ? 1 : 0;
        adapterFormat = desktopFormat;
    }
    p.hDeviceWindow = sState.window;
    p.BackBufferFormat = adapterFormat;
    if (adapterFormat == D3DFMT_X8R8G8B8)
        p.BackBufferFormat = SUCCEEDED(sState.d3d->CheckDeviceType(sState.adapter, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                                                   D3DFMT_A8R8G8B8, p.Windowed))
                                 ? D3DFMT_A8R8G8B8
                                 : D3DFMT_X8R8G8B8;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = ChooseDepthFormat(adapterFormat, p.BackBufferFormat);
    p.MultiSampleType = D3DMULTISAMPLE_NONE;
    p.MultiSampleQuality = 0;
    p.Flags = 0;
    sState.adapterFormat = adapterFormat;
}
