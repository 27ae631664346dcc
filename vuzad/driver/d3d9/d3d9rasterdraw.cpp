// Direct3D 9 raster drawing: the context raster, filling it or a rectangle of it, drawing
// one raster onto it (surface copies or a textured quad), and binding a raster to a texture.
#include "d3d9driver_local.h"
#include "d3d9raster_local.h"

#include "camera.h"
#include "engine.h"
#include "error.h"

#include <algorithm>
#include <cstring>
#include <iterator>

using namespace d3d9raster;

namespace
{

Raster* sContext = nullptr;

constexpr const char* kCombination = "SRC, DST Raster render combination not supported";

// Engine render states the textured quad sets and puts back.
constexpr int32_t kStateTexture = 1;
constexpr int32_t kStateAddress = 2;
constexpr int32_t kStateAddressU = 3;
constexpr int32_t kStateAddressV = 4;
constexpr int32_t kStateFilter = 9;
constexpr int32_t kStateSourceBlend = 10;
constexpr int32_t kStateDestBlend = 11;
constexpr int32_t kStateVertexAlpha = 12;
constexpr int32_t kStateFog = 14;
constexpr int32_t kSavedStates[] = {kStateSourceBlend, kStateDestBlend, kStateVertexAlpha, kStateFog,
                                    kStateFilter,      kStateAddressU,  kStateAddressV,    kStateTexture};
constexpr int32_t kTriangleStrip = 4; ///< the 2D primitive type

/// The 2D vertex the device record's primitive entry draws.
struct Vertex2D
{
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

bool IsCameraType(uint32_t type)
{
    return type == kRasterTypeCamera || type == kRasterTypeCameraTexture;
}

bool HasStencil(D3DFORMAT format)
{
    return format == D3DFMT_D24S8 || format == D3DFMT_D15S1 || format == D3DFMT_D24X4S4 || format == D3DFMT_D24FS8;
}

uint8_t Expand(uint32_t value, int bits)
{
    uint32_t max = (1u << bits) - 1;
    return uint8_t((value & max) * 255 / max);
}

// A pixel value in the raster's format as an 8888 colour; a palettised value already is one.
D3DCOLOR ToColour(const Raster* raster, uint32_t value)
{
    uint32_t format = Raster::FormatFlags(raster);
    if (format & (kRasterFormatPal8 | kRasterFormatPal4))
        return value;
    switch (format & kRasterFormatPixelMask)
    {
    case kRasterFormat1555:
        return D3DCOLOR_ARGB((value & 0x8000) ? 255 : 0, Expand(value >> 10, 5), Expand(value >> 5, 5),
                             Expand(value, 5));
    case kRasterFormat555:
        return D3DCOLOR_ARGB(255, Expand(value >> 10, 5), Expand(value >> 5, 5), Expand(value, 5));
    case kRasterFormat565:
        return D3DCOLOR_ARGB(255, Expand(value >> 11, 5), Expand(value >> 5, 6), Expand(value, 5));
    case kRasterFormat4444:
        return D3DCOLOR_ARGB(Expand(value >> 12, 4), Expand(value >> 8, 4), Expand(value >> 4, 4), Expand(value, 4));
    case kRasterFormatLum8:
        return D3DCOLOR_ARGB(255, value & 0xFF, value & 0xFF, value & 0xFF);
    case kRasterFormat888:
        return value | 0xFF000000u;
    default:
        return value;
    }
}

// The palette entry nearest to the colour (four bytes red, green, blue, alpha); the first
// exact match ends the search and ties keep the lower index.
uint8_t NearestIndex(const D3D9Palette* palette, uint32_t value)
{
    const int colour[4] = {int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF),
                           int((value >> 24) & 0xFF)};
    int best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int i = 0; i < 256; ++i)
    {
        const PALETTEENTRY& e = palette->entries[i];
        const int entry[4] = {e.peRed, e.peGreen, e.peBlue, e.peFlags};
        int64_t distance = 0;
        for (int c = 0; c < 4; ++c)
            distance += int64_t(entry[c] - colour[c]) * (entry[c] - colour[c]);
        if (distance < bestDistance)
        {
            best = i;
            bestDistance = distance;
            if (distance == 0)
                break;
        }
    }
    return uint8_t(best);
}

// The rectangle of the context's top-level raster to fill, cut to the context's own area.
bool FillArea(const Raster* context, const RasterRect& rect, RECT* area)
{
    // In 64 bits: a rectangle from a caller may lie anywhere in the 32-bit range.
    const int64_t left = context->offsetX, top = context->offsetY;
    const int64_t right = left + context->width, bottom = top + context->height;
    const int64_t x0 = std::max(left, left + rect.x), y0 = std::max(top, top + rect.y);
    const int64_t x1 = std::min(right, left + rect.x + int64_t(rect.width));
    const int64_t y1 = std::min(bottom, top + rect.y + int64_t(rect.height));
    if (x0 >= x1 || y0 >= y1)
        return false;
    *area = {LONG(x0), LONG(y0), LONG(x1), LONG(y1)};
    return true;
}

// Fills a lockable texture level through a lock.
int32_t FillLocked(IDirect3DSurface9* surface, const Raster* context, const RECT& area, uint32_t value)
{
    D3DLOCKED_RECT locked{};
    if (FAILED(surface->LockRect(&locked, &area, D3DLOCK_NOSYSLOCK)))
        return 0;
    Raster* top = context->parent;
    LONG width = area.right - area.left;
    LONG height = area.bottom - area.top;
    auto* bits = static_cast<uint8_t*>(locked.pBits);
    int32_t result = 1;
    switch (context->depth)
    {
    case 32:
        for (LONG y = 0; y < height; ++y)
            std::fill_n(reinterpret_cast<uint32_t*>(bits + size_t(y) * size_t(locked.Pitch)), width, value);
        break;
    case 16:
        for (LONG y = 0; y < height; ++y)
            std::fill_n(reinterpret_cast<uint16_t*>(bits + size_t(y) * size_t(locked.Pitch)), width, uint16_t(value));
        break;
    case 8:
    {
        // A palettised raster takes the nearest palette entry; a luminance raster (which has
        // no palette) takes the colour's luminance.
        const D3D9Palette* palette = D3D9Raster::Extension(top)->palette;
        uint8_t index;
        if (palette)
            index = NearestIndex(palette, value);
        else
        {
            uint32_t r = value & 0xFF, g = (value >> 8) & 0xFF, b = (value >> 16) & 0xFF, a = value >> 24;
            index = uint8_t((30 * r + 59 * g + 11 * b) / 100 * a / 255);
        }
        for (LONG y = 0; y < height; ++y)
            std::memset(bits + size_t(y) * size_t(locked.Pitch), index, size_t(width));
        break;
    }
    default:
        Error::Report(kCorePluginId, Error::MakeCode(kErrRasterFormat));
        result = 0;
        break;
    }
    surface->UnlockRect();
    return result;
}

bool Pooled(IDirect3DSurface9* surface, D3DPOOL pool)
{
    D3DSURFACE_DESC desc{};
    return SUCCEEDED(surface->GetDesc(&desc)) && desc.Pool == pool;
}

int32_t FillRect(const RasterRect& rect, uint32_t value)
{
    Raster* context = sContext;
    D3D9DeviceState& s = D3D9State();
    if (!context || !s.device)
    {
        ReportFormat();
        return 0;
    }
    RECT area;
    if (!FillArea(context, rect, &area))
        return 1;
    Raster* top = context->parent;
    int32_t result = 0;
    switch (context->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
    case kRasterTypeCameraTexture:
    {
        IDirect3DSurface9* surface = SurfaceOf(top, 0);
        if (!surface)
            return 0;
        if (context->type != kRasterTypeCameraTexture && !Pooled(surface, D3DPOOL_DEFAULT))
            result = FillLocked(surface, context, area, value);
        else
            result = SUCCEEDED(s.device->ColorFill(surface, &area, ToColour(context, value))) ? 1 : 0;
        surface->Release();
        return result;
    }
    case kRasterTypeZBuffer:
    {
        auto* surface = static_cast<IDirect3DSurface9*>(D3D9Raster::Extension(top)->object);
        if (!surface)
            return 0;
        D3DRECT cleared = {area.left, area.top, area.right, area.bottom};
        DWORD flags = D3DCLEAR_ZBUFFER | (HasStencil(D3D9Raster::Extension(top)->format) ? D3DCLEAR_STENCIL : 0);
        D3D9Device::SetDepthStencilSurface(surface);
        result = SUCCEEDED(s.device->Clear(1, &cleared, flags, 0, 1.0f, 0)) ? 1 : 0;
        D3D9Device::SetDepthStencilSurface(s.depthSurface);
        return result;
    }
    case kRasterTypeCamera:
    {
        D3DCOLOR colour = context->depth == 32 ? value : ToColour(context, value);
        IDirect3DSurface9* back = SurfaceOf(top, 0);
        if (!back)
            return 0;
        D3DRECT cleared = {area.left, area.top, area.right, area.bottom};
        D3D9Device::SetRenderTargetSurface(0, back);
        D3D9Device::SetDepthStencilSurface(s.depthSurface);
        result = SUCCEEDED(s.device->Clear(1, &cleared, D3DCLEAR_TARGET, colour, 1.0f, 0)) ? 1 : 0;
        back->Release();
        return result;
    }
    default:
        ReportFormat();
        return 0;
    }
}

// ---- Surface copies ----------------------------------------------------------------------------------

// Copies rows between two locks of the same format.
void CopyRows(const D3DLOCKED_RECT& from, const D3DLOCKED_RECT& to, size_t rowBytes, LONG rows)
{
    for (LONG y = 0; y < rows; ++y)
        std::memcpy(static_cast<uint8_t*>(to.pBits) + size_t(y) * size_t(to.Pitch),
                    static_cast<const uint8_t*>(from.pBits) + size_t(y) * size_t(from.Pitch), rowBytes);
}

// The device's surface update and read-back refuse a managed destination; such a destination
// is lockable, so the rectangle goes across through locks (a render target through a
// system-memory copy of it).
bool CopyThroughLocks(IDirect3DSurface9* from, const RECT& fromArea, bool fromTarget, IDirect3DSurface9* to,
                      const POINT& at, int32_t depth)
{
    D3DSURFACE_DESC fromDesc{}, toDesc{};
    if (FAILED(from->GetDesc(&fromDesc)) || FAILED(to->GetDesc(&toDesc)) || fromDesc.Format != toDesc.Format ||
        toDesc.Pool == D3DPOOL_DEFAULT || depth % 8 != 0 || depth == 0)
        return false;
    IDirect3DSurface9* source = from;
    IDirect3DSurface9* copy = nullptr;
    if (fromTarget)
    {
        IDirect3DDevice9* device = D3D9State().device;
        if (FAILED(device->CreateOffscreenPlainSurface(fromDesc.Width, fromDesc.Height, fromDesc.Format,
                                                       D3DPOOL_SYSTEMMEM, &copy, nullptr)) ||
            FAILED(device->GetRenderTargetData(from, copy)))
        {
            if (copy)
                copy->Release();
            return false;
        }
        source = copy;
    }
    RECT toArea = {at.x, at.y, at.x + (fromArea.right - fromArea.left), at.y + (fromArea.bottom - fromArea.top)};
    D3DLOCKED_RECT fromLock{}, toLock{};
    bool ok = false;
    if (SUCCEEDED(source->LockRect(&fromLock, &fromArea, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK)))
    {
        if (SUCCEEDED(to->LockRect(&toLock, &toArea, D3DLOCK_NOSYSLOCK)))
        {
            CopyRows(fromLock, toLock, size_t(fromArea.right - fromArea.left) * size_t(depth / 8),
                     fromArea.bottom - fromArea.top);
            to->UnlockRect();
            ok = true;
        }
        source->UnlockRect();
    }
    if (copy)
        copy->Release();
    return ok;
}

bool Inside(const RECT& area, IDirect3DSurface9* surface)
{
    D3DSURFACE_DESC desc{};
    return SUCCEEDED(surface->GetDesc(&desc)) && area.left >= 0 && area.top >= 0 && area.left < area.right &&
           area.top < area.bottom && area.right <= LONG(desc.Width) && area.bottom <= LONG(desc.Height);
}

bool SurfaceCopy(Raster* source, const RasterRect& place, bool scaled)
{
    D3D9DeviceState& s = D3D9State();
    Raster* context = sContext;
    IDirect3DSurface9* from = SurfaceOf(source->parent, 0);
    IDirect3DSurface9* to = SurfaceOf(context->parent, 0);
    bool ok = false;
    if (from && to)
    {
        RECT fromArea = {source->offsetX, source->offsetY, source->offsetX + source->width,
                         source->offsetY + source->height};
        LONG x = context->offsetX + place.x;
        LONG y = context->offsetY + place.y;
        RECT toArea = {x, y, x + (scaled ? place.width : source->width), y + (scaled ? place.height : source->height)};
        bool fromTarget = IsCameraType(source->type);
        if (!Inside(fromArea, from) || !Inside(toArea, to))
            ok = false;
        else if (fromTarget && IsCameraType(context->type))
        {
            DWORD caps = s.caps.StretchRectFilterCaps;
            D3DTEXTUREFILTERTYPE filter = D3DTEXF_NONE;
            if (scaled && (caps & D3DPTFILTERCAPS_MINFLINEAR) && (caps & D3DPTFILTERCAPS_MAGFLINEAR))
                filter = D3DTEXF_LINEAR;
            else if (!scaled && (caps & D3DPTFILTERCAPS_MINFPOINT) && (caps & D3DPTFILTERCAPS_MAGFPOINT))
                filter = D3DTEXF_POINT;
            ok = SUCCEEDED(s.device->StretchRect(from, &fromArea, to, &toArea, filter));
        }
        else if (toArea.right - toArea.left != fromArea.right - fromArea.left ||
                 toArea.bottom - toArea.top != fromArea.bottom - fromArea.top)
            ok = false; // only the device's stretch copy scales
        else if (fromTarget)
        {
            POINT at = {toArea.left, toArea.top};
            D3DSURFACE_DESC fromDesc{}, toDesc{};
            bool whole = SUCCEEDED(from->GetDesc(&fromDesc)) && SUCCEEDED(to->GetDesc(&toDesc)) &&
                         fromDesc.Width == toDesc.Width && fromDesc.Height == toDesc.Height && at.x == 0 && at.y == 0 &&
                         fromArea.left == 0 && fromArea.top == 0;
            ok = (whole && SUCCEEDED(s.device->GetRenderTargetData(from, to))) ||
                 CopyThroughLocks(from, fromArea, true, to, at, source->depth);
        }
        else
        {
            POINT at = {toArea.left, toArea.top};
            ok = SUCCEEDED(s.device->UpdateSurface(from, &fromArea, to, &at)) ||
                 CopyThroughLocks(from, fromArea, false, to, at, source->depth);
        }
    }
    if (from)
        from->Release();
    if (to)
        to->Release();
    return ok;
}

// ---- The textured quad --------------------------------------------------------------------------------

int32_t RenderTextureQuad(Raster* source, const RasterRect& place, bool scaled, bool blend)
{
    D3D9DeviceState& s = D3D9State();
    DeviceRecord& record = Engine::Current()->device;
    // Without the engine's render states and 2D drawing this device cannot draw a quad.
    if (!record.setRenderState || !record.getRenderState || !record.im2DPrimitive)
        return 0;
    // A device that is lost draws nothing; one that can be reset is reset first, before any
    // surface is held here that would keep the Reset from succeeding.
    if (!D3D9Device::TestAndReset())
        return 1;
    Raster* context = sContext;
    Raster* top = context->parent;
    IDirect3DSurface9* target = nullptr;
    if (top->type == kRasterTypeCameraTexture)
    {
        IDirect3DSurface9* surface = SurfaceOf(top, 0);
        if (surface && D3D9Device::SetRenderTargetSurface(0, surface))
            target = surface;
        else if (surface)
            surface->Release();
    }
    if (!target)
    {
        // A camera draws into its own back buffer (its swap chain's when it has one).
        IDirect3DSurface9* back = top->type == kRasterTypeCamera ? SurfaceOf(top, 0) : nullptr;
        D3D9Device::SetRenderTargetSurface(0, back ? back : s.backBuffer);
        if (back)
            back->Release();
    }
    D3D9Device::SetDepthStencilSurface(nullptr);
    D3DVIEWPORT9 viewport = {
        DWORD(context->offsetX), DWORD(context->offsetY), DWORD(context->width), DWORD(context->height), 0.0f, 1.0f};
    s.device->SetViewport(&viewport);

    int32_t result = 1;
    {
        Raster* sourceTop = source->parent;
        // 2D drawing adds the offset of its own target (the current camera's raster, else the
        // current context): give the corner relative to that, so the context's offset counts once.
        const Raster* im2DTarget = s.currentCamera ? s.currentCamera->frameBuffer : Raster::GetCurrentContext();
        float x0 = float(context->offsetX + place.x - (im2DTarget ? im2DTarget->offsetX : 0));
        float y0 = float(context->offsetY + place.y - (im2DTarget ? im2DTarget->offsetY : 0));
        float x1 = x0 + float(scaled ? place.width : source->width);
        float y1 = y0 + float(scaled ? place.height : source->height);
        float u0 = float(source->offsetX) / float(sourceTop->width);
        float v0 = float(source->offsetY) / float(sourceTop->height);
        float u1 = float(source->offsetX + source->width) / float(sourceTop->width);
        float v1 = float(source->offsetY + source->height) / float(sourceTop->height);
        Vertex2D strip[4] = {
            {x0, y0, 0.0f, 1.0f, 0xFFFFFFFFu, u0, v0},
            {x0, y1, 0.0f, 1.0f, 0xFFFFFFFFu, u0, v1},
            {x1, y0, 0.0f, 1.0f, 0xFFFFFFFFu, u1, v0},
            {x1, y1, 0.0f, 1.0f, 0xFFFFFFFFu, u1, v1},
        };

        intptr_t saved[std::size(kSavedStates)] = {};
        for (size_t i = 0; i < std::size(kSavedStates); ++i)
            record.getRenderState(kSavedStates[i], &saved[i]);
        DWORD zEnable = 0, cull = 0;
        s.device->GetRenderState(D3DRS_ZENABLE, &zEnable);
        s.device->GetRenderState(D3DRS_CULLMODE, &cull);

        record.setRenderState(kStateTexture, reinterpret_cast<intptr_t>(sourceTop));
        if (blend && D3D9Raster::GetAlphaFlag(sourceTop))
        {
            record.setRenderState(kStateVertexAlpha, 1);
            record.setRenderState(kStateSourceBlend, D3DBLEND_SRCALPHA);
            record.setRenderState(kStateDestBlend, D3DBLEND_INVSRCALPHA);
        }
        else
        {
            record.setRenderState(kStateVertexAlpha, 0);
        }
        record.setRenderState(kStateFog, 0);
        record.setRenderState(kStateFilter, scaled ? 2 : 1);
        record.setRenderState(kStateAddress, D3DTADDRESS_CLAMP);
        s.device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        s.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        result = record.im2DPrimitive(kTriangleStrip, strip, 4) ? 1 : 0;

        for (size_t i = std::size(kSavedStates); i-- > 0;)
            record.setRenderState(kSavedStates[i], saved[i]);
        s.device->SetRenderState(D3DRS_ZENABLE, zEnable);
        s.device->SetRenderState(D3DRS_CULLMODE, cull);
    }
    if (target)
    {
        D3D9Device::SetRenderTargetSurface(0, s.backBuffer);
        D3D9Device::SetDepthStencilSurface(s.depthSurface);
        target->Release();
    }
    return result;
}

int32_t Dispatch(Raster* source, const RasterRect& place, bool scaled, bool blend)
{
    Raster* context = sContext;
    if (!context || !source || !D3D9State().device)
    {
        ReportDevice(kCombination);
        return 0;
    }
    uint32_t from = source->type;
    bool nothing = from == 3 || from == 6 || from == 7;
    switch (context->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (nothing)
            return 1;
        if (from == kRasterTypeZBuffer || !SurfaceCopy(source, place, scaled))
            break;
        return 1;
    case kRasterTypeCamera:
    case kRasterTypeCameraTexture:
        if (nothing)
            return 1;
        if (from == kRasterTypeCamera)
        {
            if (!SurfaceCopy(source, place, scaled))
                break;
            return 1;
        }
        if (from == kRasterTypeZBuffer)
            break;
        return RenderTextureQuad(source, place, scaled, blend);
    default:
        break;
    }
    ReportDevice(kCombination);
    return 0;
}

RasterRect At(const void* position)
{
    const auto* xy = static_cast<const int32_t*>(position);
    return {xy[0], xy[1], 0, 0};
}

} // namespace

// ---- The context -----------------------------------------------------------------------------------------

int32_t D3D9Raster::SetContext(void*, void* in, int32_t)
{
    sContext = static_cast<Raster*>(in);
    return 1;
}

Raster* D3D9Raster::GetContext()
{
    return sContext;
}

int32_t D3D9Raster::Clear(void*, void*, int32_t number)
{
    if (!sContext)
    {
        ReportFormat();
        return 0;
    }
    return FillRect({0, 0, sContext->width, sContext->height}, uint32_t(number));
}

int32_t D3D9Raster::ClearRect(void* out, void*, int32_t number)
{
    if (!out)
        return 0;
    return FillRect(*static_cast<const RasterRect*>(out), uint32_t(number));
}

// ---- Drawing rasters -----------------------------------------------------------------------------------------

int32_t D3D9Raster::Render(void* out, void* in, int32_t)
{
    return in ? Dispatch(static_cast<Raster*>(out), At(in), false, true) : 0;
}

int32_t D3D9Raster::RenderScaled(void* out, void* in, int32_t)
{
    return in ? Dispatch(static_cast<Raster*>(out), *static_cast<const RasterRect*>(in), true, true) : 0;
}

int32_t D3D9Raster::RenderFast(void* out, void* in, int32_t)
{
    return in ? Dispatch(static_cast<Raster*>(out), At(in), false, false) : 0;
}

int32_t D3D9Raster::TextureSetRaster(void* out, void* in, int32_t)
{
    if (!out)
        return 0;
    *static_cast<Raster**>(out) = static_cast<Raster*>(in);
    return 1;
}
