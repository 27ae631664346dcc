// Inside the Direct3D 9 driver: the module-wide device state that the device and raster
// files share.
#pragma once

#include "cpufeature.h"
#include "d3d9device.h"

struct Camera;

struct D3D9DeviceState
{
    IDirect3D9* d3d = nullptr;
    UINT adapter = 0;
    D3DCAPS9 caps{};
    HWND window = nullptr;
    IDirect3DDevice9* device = nullptr;
    DWORD behaviorFlags = 0;
    D3DPRESENT_PARAMETERS present{};
    D3DFORMAT adapterFormat = D3DFMT_UNKNOWN; ///< the format the device runs the display in
    D3D9DisplayRecord display{};
    D3DFORMAT desktopFormat = D3DFMT_UNKNOWN;
    // Kept without a reference: the device holds them.
    IDirect3DSurface9* backBuffer = nullptr;
    IDirect3DSurface9* depthSurface = nullptr;
    bool started = false;
    bool inScene = false;
    bool copyBack = false;
    bool stencil = false;
    bool multithreaded = false;
    Camera* currentCamera = nullptr;
    uint32_t refreshLimit = 0xFFFFFFFF;
    int32_t currentMode = 0;
    int32_t totalModes = 0;
    D3D9VideoMode* modes = nullptr; ///< null until enumerated
    int32_t modeCount = 0;
    CpuFeatures cpu{};
    D3D9RestoreCallback restore = nullptr;
};

D3D9DeviceState& D3D9State();
/// Takes the device's back buffer and depth-stencil surface (kept without a reference):
/// at start and after every reset, which makes them anew.
void D3D9KeepDeviceSurfaces();

/// Colour bits of a display or back-buffer format: 32, 16, or 0.
int32_t D3D9ColourDepth(D3DFORMAT format);

/// The device's state caches at start: targets, bindings and transforms forgotten, no lights.
void D3D9DeviceCachesStart();
/// At stop: transforms, lights and every shared declaration freed.
void D3D9DeviceCachesStop();
