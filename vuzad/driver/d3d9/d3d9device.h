// The Direct3D 9 device driver: the engine's one device. It owns the Direct3D object, the
// adapter, the video-mode table, the device and its present parameters, answers the
// engine's device requests, and fills the engine's standard device functions.
#pragma once

#include "d3d9.h"
#include "device.h"

#include <cstdint>

struct Camera;

/// The current display: what the next start creates, and what the running device shows.
struct D3D9DisplayRecord
{
    int32_t width;
    int32_t height;
    int32_t refreshRate;
    D3DFORMAT format;
    int32_t depth;  ///< colour bits of format: 32, 16, or 0 for a format the engine cannot use
    int32_t flags;  ///< kD3D9ModeFullScreen for exclusive full screen
    int32_t zDepth; ///< bits of the chosen depth-stencil format: 32 or 16
};

/// One entry of the video-mode table.
struct D3D9VideoMode
{
    int32_t width;
    int32_t height;
    int32_t refreshRate;
    D3DFORMAT format;
    int32_t flags;
};

constexpr int32_t kD3D9ModeFullScreen = 0x1;

/// Called after every restore of the device's resources.
using D3D9RestoreCallback = void (*)();

/// The Direct3D 9 device. One per process: its state is module-wide.
struct D3D9Device
{
    // ---- Installing the driver ------------------------------------------------------------

    /// What the renderer hands Engine::SetDriver before Engine::Init: the attach step
    /// (raster extension and format table) and the device record.
    static const DeviceDriver* Driver();

    /// Registers the raster extension, which must be the first raster plug-in, and builds
    /// the format table. 1, or 0 when the registration fails.
    static int32_t PluginAttach();
    /// The device record the register request copies into the engine.
    static const DeviceRecord* GetDeviceRecord();

    // ---- Requests and the standard functions ----------------------------------------------------

    /// Answers the engine's device requests; 1 for success, 0 for failure or a request it
    /// does not handle.
    static int32_t SystemRequest(int32_t request, void* out, void* inOut, int32_t number);
    /// Fills count slots (at least kNumStandardFunctions, else 0): every slot does nothing
    /// and answers 0 unless this device implements it.
    static int32_t FillStandardFunctions(StandardFunction* slots, int32_t count);

    // ---- Called by the renderer directly, before the start ----------------------------------------

    /// The next device creation is multithread-safe.
    static void SetMultithreaded(int32_t flag);
    /// The highest full-screen rate to ask for: rate itself when a mode offers it, else the
    /// highest offered below it (0 when none is); 0 makes every full-screen rate the
    /// adapter's default. Needs the opened device to look at the modes.
    static void SetRefreshRate(uint32_t rate);

    // ---- State the other parts of the device read ----------------------------------------------

    /// The capability record read at open and again at start.
    static const D3DCAPS9* GetCaps();
    static const D3DPRESENT_PARAMETERS* GetPresentParameters();
    static const D3D9DisplayRecord* GetDisplay();
    /// The running device, or null outside start .. stop.
    static IDirect3DDevice9* GetDevice();
    static IDirect3D9* GetDirect3D();
    static uint32_t GetRefreshLimit();
    /// The video-mode table (enumerated on first need); count receives its length.
    static const D3D9VideoMode* GetVideoModes(int32_t* count);
    static void SetRestoreCallback(D3D9RestoreCallback callback);
    static D3D9RestoreCallback GetRestoreCallback();

    /// Present parameters for a mode: windowed ones follow the device window (back-buffer
    /// size 0 lets the device take the client size) and the desktop format; full-screen ones
    /// take the mode's size and format and its rate capped by the refresh limit. The depth
    /// format is the first acceptable one for the back buffer's depth, 32-bit formats
    /// falling back to 16-bit ones. Sets the z depth and stencil flag it chose.
    static void FillPresentParameters(const D3D9VideoMode* mode, D3DFORMAT desktopFormat,
                                      D3DPRESENT_PARAMETERS* parameters);

    // ---- Frames (standard functions) ----------------------------------------------------------------

    /// in = camera. View and projection transforms, render target and depth surface,
    /// viewport, scene begun. 1 when the frame can be drawn.
    static int32_t CameraBeginUpdate(void* out, void* in, int32_t number);
    /// in = camera. Copies a camera texture that is no render target from the back buffer.
    static int32_t CameraEndUpdate(void* out, void* in, int32_t number);
    /// out = camera, in = Rgba, number = clear mode. 0 when the window has no client area.
    static int32_t CameraClear(void* out, void* in, int32_t number);
    /// in = raster, number bit 0: wait for the vertical blank. Ends the scene and presents.
    static int32_t RasterShow(void* out, void* in, int32_t number);
};
