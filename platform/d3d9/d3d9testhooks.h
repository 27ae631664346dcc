// Test hooks of our Direct3D 9 layer: a configurable adapter, fault injection, the device-loss cycle, a call log
// with arguments and read-back of what the layer handed to OpenGL. Production code never calls these.
#pragma once

#include "d3d9.h"

#include <string>
#include <string_view>
#include <vector>

namespace d3d9test
{

// ---- Adapters -----------------------------------------------------------------------------------------------

/// What one adapter reports. Direct3DCreate9 copies the list that is set when it runs.
struct AdapterConfig
{
    std::string description;
    std::string driver;
    std::string deviceName;
    DWORD vendorId = 0;
    DWORD deviceId = 0;
    bool hal = true; ///< GetDeviceCaps and the checks answer for D3DDEVTYPE_HAL; false makes them fail
    D3DDISPLAYMODE desktop{};
    std::vector<D3DDISPLAYMODE> modes; ///< full-screen modes, each carrying its format
    D3DCAPS9 caps{};
    std::vector<D3DFORMAT> textureFormats;
    std::vector<D3DFORMAT> cubeTextureFormats;
    std::vector<D3DFORMAT> renderTargetFormats; ///< render-target surfaces and textures
    std::vector<D3DFORMAT> depthStencilFormats;
    std::vector<D3DFORMAT> autoGenMipmapFormats; ///< also needs D3DCAPS2_CANAUTOGENMIPMAP in caps
    std::vector<D3DFORMAT> displayFormats;       ///< adapter formats a device may run in
    UINT textureMemory = 256u << 20;             ///< bytes; default-pool creation past it fails with OUTOFVIDEOMEMORY
    UINT pitchPadding = 0;  ///< bytes added after each locked row, to show callers honour the pitch
    UINT clientWidth = 640; ///< client size of a window handle that has no window behind it
    UINT clientHeight = 480;
};

/// Everything the OpenGL backing can do, with the desktop of the first display (640 x 480 X8R8G8B8 without one)
/// and the capabilities the engine's paths expect of a hardware T&L device with vs_2_0 / ps_2_0.
AdapterConfig DefaultAdapter();
void SetAdapters(std::vector<AdapterConfig> adapters);
/// Back to one DefaultAdapter(); also clears faults and the call log.
void ResetAll();

/// Changes the desktop mode of a created Direct3D object's adapter, as a user changing it would.
void SetDesktopMode(IDirect3D9* d3d, UINT adapter, const D3DDISPLAYMODE& mode);

// ---- Fault injection ----------------------------------------------------------------------------------------

enum class Fault
{
    Create9,        ///< Direct3DCreate9 returns null (the code is ignored)
    CreateDevice,   ///< IDirect3D9::CreateDevice
    CreateResource, ///< every Create* of textures, surfaces, buffers, swap chains, declarations, shaders
    Reset,          ///< IDirect3DDevice9::Reset, before any other check
    Present,        ///< device and swap-chain Present
    Lock,           ///< LockRect and buffer Lock
    ValidateDevice, ///< IDirect3DDevice9::ValidateDevice, so callers' fallbacks can be taken
};

/// After `skip` successful calls at the site, the next `count` calls fail with `result`.
void FailNext(Fault site, HRESULT result, UINT count = 1, UINT skip = 0);
void ClearFaults();

// ---- Device loss --------------------------------------------------------------------------------------------

/// The device is lost: TestCooperativeLevel and Present answer DEVICELOST, Reset fails with DEVICELOST.
void LoseDevice(IDirect3DDevice9* device);
/// A lost device can be reset: TestCooperativeLevel answers DEVICENOTRESET until a Reset succeeds.
void MakeDeviceResettable(IDirect3DDevice9* device);

// ---- Call log -----------------------------------------------------------------------------------------------

struct Call
{
    std::string name; ///< method name, e.g. "SetRenderState"
    std::string args; ///< arguments, e.g. "7, 1"; objects as "#<id>" (ObjectName), null pointers as "null"
    std::string Text() const { return name + "(" + args + ")"; }
};

/// Off by default; every interface method records itself while on (AddRef and Release too).
void EnableCallLog(bool on);
void ClearCallLog();
const std::vector<Call>& CallLog();
size_t CountCalls(std::string_view name);
/// The argument strings of every call of that name, in order.
std::vector<std::string> CallArgs(std::string_view name);
/// How an object appears in the log: "#<id>", ids counting from 1 per process; "null" for none.
std::string ObjectName(const void* object);

// ---- Inspection ---------------------------------------------------------------------------------------------

/// The current reference count (AddRef then Release).
ULONG RefCount(IUnknownD3D* object);
/// Default-pool resources alive on the device (textures, surfaces, buffers, additional swap chains).
UINT DefaultPoolResources(IDirect3DDevice9* device);
/// The texels OpenGL holds for a level (a cube face for cube textures), as RGBA floats in the order the device
/// samples them, rows from the top; pending palette changes and mip generation are applied first.
bool ReadTexels(IDirect3DBaseTexture9* texture, UINT face, UINT level, std::vector<float>& rgba, UINT* width,
                UINT* height);
/// The bytes OpenGL holds for a vertex or index buffer.
bool ReadBuffer(IDirect3DResource9* buffer, std::vector<BYTE>& bytes);
/// OpenGL errors raised inside the layer since the process started; a correct run raises none.
UINT GlErrors();
/// Waits until OpenGL has finished the device's work (benchmarks time whole frames with it).
void Finish(IDirect3DDevice9* device);
/// Benchmark reference: `count` draws of three vertices with the program and vertex input the device's last
/// draw left bound, sent straight to OpenGL, alternating the depth function (LESS, LESSEQUAL) and the stage-0
/// texture (a, b) as a layer draw with those state changes would.
void DrawDirect(IDirect3DDevice9* device, UINT count, IDirect3DTexture9* a, IDirect3DTexture9* b);
/// Benchmark reference: the draws a device sends to OpenGL between BeginCapture and EndCapture, kept with the
/// OpenGL state each ran with (programs, textures, samplers, blocks and vertex input are the layer's own).
struct Capture;
void BeginCapture(IDirect3DDevice9* device);
/// Null when no capture was running. FreeCapture lets go of it (the device must still exist).
Capture* EndCapture(IDirect3DDevice9* device);
void FreeCapture(IDirect3DDevice9* device, Capture* capture);
struct CaptureSummary
{
    UINT draws = 0;
    UINT primitives = 0; ///< triangles, lines or points drawn
    bool complete = false; ///< false when state the replay does not send (scissor, stencil, clip planes, ...)
                           ///< was on, so its frame would differ
};
CaptureSummary Summarise(const Capture* capture);
/// Clears the device's current render target and depth buffer whole, then sends the captured draws straight to
/// OpenGL, each state only when it differs from the draw before.
void DrawCaptured(IDirect3DDevice9* device, Capture* capture, D3DCOLOR clearColour, float clearZ);
/// The SDL window the device presents into: the application window behind its window handle, or a hidden one
/// of its own.
void* DeviceWindow(IDirect3DDevice9* device);

} // namespace d3d9test
