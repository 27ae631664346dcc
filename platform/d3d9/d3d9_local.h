// Internals of our Direct3D 9 layer below its objects: the format table, the call log and fault sites, and the
// OpenGL backing's entry points. Private to platform/d3d9 (the objects are in d3d9objects_local.h).
//
// Conventions the whole folder keeps:
// - Every image in OpenGL stores the platform's row 0 (the top row) as its row 0. Uploads, read-backs, blits,
//   clears and viewports therefore use the platform's coordinates unchanged; only Present flips, and drawing
//   flips clip-space y so that rendered images keep the same orientation.
// - A surface's contents live in a CPU copy (SYSTEMMEM, SCRATCH), in OpenGL (DEFAULT, back buffers), or both
//   (MANAGED, lockable DEFAULT). OpenGL is current for every surface that has an image there: a CPU write is
//   uploaded at unlock; a write by OpenGL clears mCpuValid, and the next lock reads the image back.
// - State setters store the value and set a dirty bit (Device::mDirty); drawing reads the stored state.
#pragma once

#include "d3d9.h"
#include "d3d9testhooks.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace d3d9
{

class Device;
class Direct3D;

// ---- Formats ------------------------------------------------------------------------------------------------

/// How a format's bytes reach OpenGL.
enum class Upload : uint8_t
{
    Direct,     ///< bytes passed as they are (glFormat/glType), swizzled when sampled
    Rgba8,      ///< decoded on the CPU into RGBA8
    Float,      ///< decoded on the CPU into RGBA32F (signed and wide formats)
    Palette,    ///< indices looked up in the current texture palette into RGBA8
    Compressed, ///< DXT blocks: compressed upload when OpenGL has S3TC, else decoded into RGBA8
    Depth,      ///< depth (and stencil) images
};

struct FormatInfo
{
    D3DFORMAT format;
    const char* name;
    uint8_t bytes; ///< per pixel, or per 4 x 4 block when compressed
    bool compressed;
    bool depth;
    bool stencil;
    bool alpha;
    bool renderable; ///< OpenGL can attach it as a colour image (clears, blits, read-back)
    Upload upload;
    uint32_t glInternal; ///< for Direct and Depth; the others use GL_RGBA8 / GL_RGBA32F
    uint32_t glFormat;
    uint32_t glType;
    int32_t swizzle[4]; ///< GL_RED..GL_ALPHA, GL_ZERO or GL_ONE; all 0 (GL_ZERO) for the identity
    /// One pixel (a 4 x 4 block's texel for compressed formats: unused) to RGBA as the device samples it.
    void (*decode)(const BYTE* in, float out[4]);
    /// RGBA to one pixel; null for formats that nothing writes from colours (palettised, compressed).
    void (*encode)(const float in[4], BYTE* out);

    /// A swizzle applies when any entry is set: no real swizzle is GL_ZERO throughout.
    bool swizzled() const { return upload == Upload::Direct && (swizzle[0] | swizzle[1] | swizzle[2] | swizzle[3]); }
};

/// Null for a format the layer does not know.
const FormatInfo* findFormat(D3DFORMAT format);
/// Bytes of one tightly packed row (of blocks for compressed formats).
UINT rowBytes(const FormatInfo& format, UINT width);
/// Rows (of blocks) in an image.
UINT rowCount(const FormatInfo& format, UINT height);
/// Every colour format the backing handles, and every depth format.
std::vector<D3DFORMAT> backingColourFormats();
std::vector<D3DFORMAT> backingDepthFormats();
/// Decodes one DXT1-5 block into 16 RGBA8 texels (row-major).
void decodeDxtBlock(D3DFORMAT format, const BYTE* block, BYTE out[64]);
/// D3DCOLOR (ARGB) to RGBA floats.
void colourToFloats(D3DCOLOR colour, float out[4]);

// ---- Call log, faults, object names --------------------------------------------------------------------------

/// Which test hooks a test has switched on; production runs pay one branch per hook site.
struct HookFlags
{
    bool callLog = false;
    bool faults = false;
    bool registry = false; ///< object ids for the call log, from the first use of any test hook
    bool glChecks = false; ///< glGetError after transfers in release builds
};
inline HookFlags gHooks;

inline bool callLogOn()
{
    return gHooks.callLog;
}
void pushCall(const char* name, std::string args);
bool takeFaultPlanned(d3d9test::Fault site, HRESULT* result);
/// True (with the code) when an injected fault fires at this site.
inline bool takeFault(d3d9test::Fault site, HRESULT* result)
{
    return gHooks.faults && takeFaultPlanned(site, result);
}
void registerObjectNamed(const void* object);
void unregisterObjectNamed(const void* object);
inline void registerObject(const void* object)
{
    if (gHooks.registry)
        registerObjectNamed(object);
}
inline void unregisterObject(const void* object)
{
    if (gHooks.registry)
        unregisterObjectNamed(object);
}
const std::vector<d3d9test::AdapterConfig>& configuredAdapters();

struct Hex
{
    uint64_t value;
};

void appendArg(std::string& out, uint64_t value);
void appendArg(std::string& out, int64_t value);
void appendArg(std::string& out, double value);
void appendArg(std::string& out, Hex value);
void appendArg(std::string& out, const char* text);
void appendArg(std::string& out, const RECT* rect);
void appendArg(std::string& out, const POINT* point);
void appendArg(std::string& out, const D3DRECT* rect);
void appendArg(std::string& out, const void* object);

template <class T> void appendOne(std::string& out, const T& value)
{
    if (!out.empty())
        out += ", ";
    if constexpr (std::is_enum_v<T>)
        appendArg(out, uint64_t(value));
    else if constexpr (std::is_same_v<T, bool>)
        appendArg(out, uint64_t(value));
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
        appendArg(out, int64_t(value));
    else if constexpr (std::is_integral_v<T>)
        appendArg(out, uint64_t(value));
    else if constexpr (std::is_floating_point_v<T>)
        appendArg(out, double(value));
    else if constexpr (std::is_pointer_v<T> && !std::is_same_v<T, const RECT*> && !std::is_same_v<T, const POINT*> &&
                       !std::is_same_v<T, const D3DRECT*> && !std::is_same_v<T, const char*>)
        appendArg(out, static_cast<const void*>(value));
    else
        appendArg(out, value);
}

template <class... A> [[gnu::noinline, gnu::cold]] void traceLogged(const char* name, const A&... args)
{
    std::string text;
    (appendOne(text, args), ...);
    pushCall(name, std::move(text));
}

/// Records a call with its arguments when the log is on; with the log off a draw pays one test, not a call.
template <class... A> inline void trace(const char* name, const A&... args)
{
    if (callLogOn()) [[unlikely]]
        traceLogged(name, args...);
}

// ---- OpenGL backing (d3d9gl.cpp) -----------------------------------------------------------------------------

/// One device's window, context and the framebuffer objects its transfers use.
struct GlContext
{
    void* window = nullptr;  ///< SDL_Window
    void* context = nullptr; ///< SDL_GLContext
    bool ownsWindow = false;
    uint32_t drawFbo = 0;
    uint32_t readFbo = 0;
    uint32_t copyFbo = 0;
    bool s3tc = false;
    /// Set when a transfer changed OpenGL state that drawing keeps in its own cache.
    bool stateDirty = true;
};

/// One image in OpenGL: a level of a 2D texture or of a cube face.
constexpr uint32_t kGlTexture2D = 0x0DE1;         // GL_TEXTURE_2D
constexpr uint32_t kGlCubeFacePositiveX = 0x8515; // GL_TEXTURE_CUBE_MAP_POSITIVE_X

struct GlImage
{
    uint32_t texture = 0;
    uint32_t target = 0; ///< GL_TEXTURE_2D or GL_TEXTURE_CUBE_MAP_POSITIVE_X + face
    int level = 0;
};

/// OpenGL errors seen so far (a test hook reads it).
UINT glErrorCount();
/// Collects pending OpenGL errors into the count (debug builds, or when a test switched the checks on).
void glCheck(const char* where);
/// Starts SDL video and loads the OpenGL driver on first use; false when there is no graphics system.
bool glStartVideo();
/// The SDL window behind a window handle, or null; the seam to the Win32 layer's windows.
void* glWindowForHandle(HWND window);
/// Client size of a window handle; the adapter's configured size when no window is behind it.
void glClientSize(HWND window, const d3d9test::AdapterConfig& adapter, UINT* width, UINT* height);
/// The desktop of the first display, or false without one.
bool glDesktopMode(D3DDISPLAYMODE* mode);
bool glOpen(HWND window, UINT width, UINT height, GlContext& out);
void glClose(GlContext& context);
void glMakeCurrent(const GlContext& context);
void glResizeOwnWindow(GlContext& context, UINT width, UINT height);
void glSetSwapInterval(UINT presentationInterval);

uint32_t glNewTexture(const GlContext& context, const FormatInfo& format, UINT width, UINT height, UINT levels,
                      bool cube);
void glDeleteTexture(uint32_t texture);
/// Uploads a rectangle of the platform's bytes (bits point at the rectangle's first byte).
void glUpload(const GlContext& context, const GlImage& image, const FormatInfo& format, const RECT& rect,
              const BYTE* bits, UINT pitch, const PALETTEENTRY* palette);
/// Reads a rectangle of a renderable image back into the platform's bytes.
void glReadImage(const GlContext& context, const GlImage& image, const FormatInfo& format, const RECT& rect, BYTE* bits,
                 UINT pitch);
void glGenerateMips(uint32_t texture, bool cube);
/// RGBA floats of a whole level as OpenGL holds them, with the format's swizzle applied.
bool glReadTexels(const GlImage& image, const FormatInfo& format, UINT width, UINT height, std::vector<float>& rgba);

struct GlTarget
{
    const GlImage* colour[4] = {};
    const GlImage* depth = nullptr;
    bool depthHasStencil = false;
};
/// Clears colour, depth and stencil of the target inside the rectangle (platform coordinates).
void glClearTarget(GlContext& context, const GlTarget& target, const RECT& rect, DWORD flags, const float colour[4],
                   float z, DWORD stencil);
void glBlit(GlContext& context, const GlImage& source, const RECT& sourceRect, const GlImage& dest,
            const RECT& destRect, bool depth, bool linear);
void glPresent(GlContext& context, void* window, const GlImage& backBuffer, UINT width, UINT height);

uint32_t glNewBuffer(UINT size);
void glDeleteBuffer(uint32_t buffer);
void glBufferWrite(uint32_t buffer, UINT offset, UINT size, const BYTE* data, bool orphan, UINT fullSize);
void glBufferRead(uint32_t buffer, UINT size, BYTE* out);

} // namespace d3d9
