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

struct Matrix;
struct Raster;
struct Rgba;

/// A stream binding as the device was last given it.
struct D3D9StreamRecord
{
    IDirect3DVertexBuffer9* buffer; ///< D3D9Device::Unknown<...>() while unknown
    UINT offset;
    UINT stride;
};

/// Streams 0 and 1 of a draw, as the world's geometry keeps them.
struct D3D9StreamDescriptor
{
    struct Stream
    {
        IDirect3DVertexBuffer9* buffer; ///< null: the stream is unbound
        UINT offset;
        UINT stride;
        UINT reserved;
    } streams[2];
};

/// What the device was last bound to; code that draws on its own reads and keeps it.
struct D3D9BindingCache
{
    IDirect3DVertexDeclaration9* declaration;
    IDirect3DVertexShader9* vertexShader;
    IDirect3DPixelShader9* pixelShader;
    IDirect3DIndexBuffer9* indices;
    /// The fixed-function vertex format the world and particle code keep; unknown (all bits
    /// set) whenever a declaration is set.
    DWORD vertexFormat;
    D3D9StreamRecord streams[4];
};

/// A material's lighting coefficients.
struct D3D9SurfaceProperties
{
    float ambient;
    float specular;
    float diffuse;
};

/// SetSurfaceProperties flags: the geometry carries vertex colours; the material colour
/// modulates the lighting.
constexpr uint32_t kD3D9MaterialVertexColours = 0x08;
constexpr uint32_t kD3D9MaterialModulate = 0x40;

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

    // ---- The engine's render-state codes (device record) ---------------------------------------

    /// 1 for a code it handles (code 5: whether the value is non-zero); 0 for codes 18, 19,
    /// codes outside 1-30 and values outside a code's range.
    static int32_t SetEngineRenderState(int32_t code, intptr_t value);
    /// 1 and the value; 0 for codes 5, 18, 19, unknown codes, and code 2 while the U and V
    /// address modes differ (the value is then 0).
    static int32_t GetEngineRenderState(int32_t code, intptr_t* value);

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
    /// The same record, for the world's shader set-up, which narrows what the vertex
    /// writers may choose on devices with 1.x vertex shaders.
    static D3DCAPS9* GetCapsForUpdate();
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

    // ---- Device state caches: each setter calls the device only on a change ----------------------

    /// A binding-cache pointer that matches no object: the device's binding is not known.
    template <typename T> static T* Unknown() { return reinterpret_cast<T*>(~uintptr_t(0)); }
    static D3D9BindingCache* GetBindings();
    /// Declaration, shaders, index buffer and the four streams unknown.
    static void ForgetBindings();
    /// stream 0-3. 1, or 0 when the device refuses (the stream then reads as unknown).
    static int32_t SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride);
    /// Streams 0 and 1 from the descriptor; without offsets every offset sent is 0.
    static int32_t SetStreams(const D3D9StreamDescriptor* descriptor, int32_t useOffsets);
    static int32_t SetIndices(IDirect3DIndexBuffer9* indices);
    static int32_t SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
    static int32_t SetVertexShader(IDirect3DVertexShader9* shader);
    static int32_t SetPixelShader(IDirect3DPixelShader9* shader);

    /// index 0-3. 1, or 0 on failure.
    static int32_t SetRenderTargetSurface(DWORD index, IDirect3DSurface9* surface);
    static int32_t SetDepthStencilSurface(IDirect3DSurface9* surface);
    /// A camera texture's surface (its cube face, else level 0), or none, as a render target.
    static int32_t SetRenderTarget(DWORD index, Raster* raster);
    /// Render targets 0-3 and the depth-stencil surface as at start (none known bound).
    static void ForgetTargets();

    /// transform < 260 (view 2, projection 3, textures 16-23, world 256); null is the
    /// identity. 1, or 0 for another number or when the device refuses.
    static int32_t SetTransform(DWORD transform, const float* matrix16);
    /// The cached matrix, or the identity for an empty slot. 0 for a number outside the cache.
    static int32_t GetTransform(DWORD transform, float* matrix16);
    /// The engine's 4 x 3 matrix widened to the world transform; null or an identity-flagged
    /// matrix sends the identity once. 1, or 0 when the device refuses.
    static int32_t SetWorldTransform(const Matrix* matrix);
    /// Every cached matrix freed; the world slot holds the identity (not known to be sent).
    static void ResetTransformCache();

    /// Grows the cache for an index past its end (new records disabled); sends only a light
    /// that differs in what its type uses. 1, or 0 on failure.
    static int32_t SetLight(DWORD index, const D3DLIGHT9* light);
    /// LightEnable for a cached index whose flag changes; 1 when nothing is sent.
    static int32_t EnableLight(DWORD index, BOOL enable);
    /// Type and diffuse colour, then what the type uses: position and range (point),
    /// position, direction, range, theta and phi (spot), direction (directional).
    static bool LightsEqual(const D3DLIGHT9* a, const D3DLIGHT9* b);
    /// Every cached light and its flag sent again, in index order (after a Reset). Whether
    /// the last LightEnable succeeded (1 with no lights).
    static int32_t RestoreLights();
    /// Light records cached (enabled or not).
    static DWORD NumCachedLights();

    /// Material and lighting states from a material; skipped when every input equals the
    /// last call's. The result of SetMaterial (1 when skipped).
    static int32_t SetSurfaceProperties(const D3D9SurfaceProperties* properties, const Rgba* colour, uint32_t flags);
    /// The next SetSurfaceProperties sends whatever its inputs.
    static void ForgetMaterial();
    /// The ambient light colour {red, green, blue} the material set-up reads; the lights
    /// of the world install theirs, null reads as black.
    static void SetAmbientColourSource(const float* rgb);

    /// Shared declarations: an element list already made gets the same declaration (made
    /// again from the kept elements when its last user released it). 1, or 0 with none.
    static int32_t CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out);
    /// Releases one reference; the remaining count.
    static ULONG DestroyVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
    /// 1 or 0; a new vertex shader makes the cached one unknown.
    static int32_t CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** out);
    static int32_t CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** out);
    /// A managed 16-bit index buffer. 1 or 0.
    static int32_t CreateIndexBuffer(UINT count, IDirect3DIndexBuffer9** out);
    static ULONG ReleaseObject(IUnknownD3D* object);

    // ---- Frames (standard functions) ----------------------------------------------------------------

    /// in = camera. View and projection transforms, render target and depth surface,
    /// viewport, scene begun. 1 when the frame can be drawn.
    static int32_t CameraBeginUpdate(void* out, void* in, int32_t number);
    /// in = camera. Copies a camera texture that is no render target from the back buffer.
    static int32_t CameraEndUpdate(void* out, void* in, int32_t number);
    /// out = camera, in = Rgba, number = clear mode. 0 when the window has no client area.
    static int32_t CameraClear(void* out, void* in, int32_t number);
    /// in = raster, number bit 0: wait for the vertical blank (a change resets the device
    /// once). Ends the scene and presents; a lost device that can be reset is reset. 1 when
    /// presenting (or the reset after a loss) succeeded.
    static int32_t RasterShow(void* out, void* in, int32_t number);

    // ---- Device loss, modes and windows ------------------------------------------------------------

    /// Before every Reset: bindings and transforms forgotten, everything unbound, the targets
    /// back on the device's surfaces, and every layer's default-pool resources released.
    static void ReleaseVideoMemory();
    /// After every successful Reset: the device's surfaces taken again, then rasters, vertex
    /// buffers, render states, lights, 2D and immediate-mode resources, each only when the
    /// one before succeeded; the restore callback runs whatever the result. 1 when all did.
    static int32_t RestoreVideoMemory();
    /// Resets a device that can be reset and begins a scene when none is open. 1 when the
    /// device can be drawn on inside a scene; 0 (scene flag cleared) otherwise.
    static int32_t TestAndReset();
    /// Switches the running device to a mode of the table, following with the window; falls
    /// back to the previous parameters when the new mode cannot be reset or restored. 0 for
    /// an index that names no usable mode, or when even the fallback fails; 1 otherwise
    /// (also before the start and for the current mode, doing nothing).
    static int32_t ChangeVideoMode(int32_t index);
    /// Gives the camera a frame buffer presented through a swap chain of its own in another
    /// window, and a z raster of its size (the camera's old rasters are destroyed). Windowed
    /// use only. 1, or 0.
    static int32_t CreateWindowSwapChain(Camera* camera, HWND window);
};
