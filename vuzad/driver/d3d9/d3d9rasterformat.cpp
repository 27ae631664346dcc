// Direct3D 9 raster formats: the tables between engine formats and Direct3D formats, the
// device's format checks, the choice of format and size for a raster of each type, and the
// extension's accessors.
#include "d3d9driver_local.h"
#include "d3d9raster_local.h"

#include "error.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace d3d9raster
{
namespace
{

D3D9FormatInfo sFormats[D3D9Raster::kFormatTableSize];

// Indexed by the base format (bits 8-11 of a raster format).
constexpr BaseFormat kBaseFormats[16] = {
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_A1R5G5B5, 16, 1}, {D3DFMT_R5G6B5, 16, 0},   {D3DFMT_A4R4G4B4, 16, 1},
    {D3DFMT_L8, 8, 0},      {D3DFMT_A8R8G8B8, 32, 1}, {D3DFMT_X8R8G8B8, 32, 0}, {D3DFMT_D16, 16, 0},
    {D3DFMT_D24X8, 32, 0},  {D3DFMT_D32, 32, 0},      {D3DFMT_X1R5G5B5, 16, 0},
};

constexpr uint32_t k1555 = BaseOf(kRasterFormat1555);
constexpr uint32_t k565 = BaseOf(kRasterFormat565);
constexpr uint32_t k4444 = BaseOf(kRasterFormat4444);
constexpr uint32_t kLum8 = BaseOf(kRasterFormatLum8);
constexpr uint32_t k8888 = BaseOf(kRasterFormat8888);
constexpr uint32_t k888 = BaseOf(kRasterFormat888);
constexpr uint32_t kZ16 = BaseOf(kRasterFormatZ16);
constexpr uint32_t kZ32 = BaseOf(kRasterFormatZ32);
constexpr uint32_t kPalettes = kRasterFormatPal8 | kRasterFormatPal4;

void Set(std::initializer_list<D3DFORMAT> formats, uint8_t alpha, uint8_t bits, uint16_t rasterFormat)
{
    for (D3DFORMAT f : formats)
        sFormats[f] = {alpha, bits, rasterFormat};
}

bool Check(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format)
{
    D3D9DeviceState& s = D3D9State();
    return s.d3d &&
           SUCCEEDED(s.d3d->CheckDeviceFormat(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, usage, type, format));
}

// The automatic-mipmap checks count only an exact S_OK: the device's "no automatic
// generation" answer is a success code.
bool CheckAutoMipmap(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format)
{
    D3D9DeviceState& s = D3D9State();
    return s.d3d && (s.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) &&
           s.d3d->CheckDeviceFormat(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, usage | D3DUSAGE_AUTOGENMIPMAP, type,
                                    format) == D3D_OK;
}

uint32_t DisplayBase()
{
    return BaseOf(D3D9Raster::FormatInfo(D3D9State().adapterFormat).rasterFormat);
}

// 4444 where the device has it, else 1555.
uint32_t Small16WithAlpha()
{
    return SupportsTextureFormat(D3DFMT_A4R4G4B4) ? k4444 : k1555;
}

// The best texture format with alpha for the display.
uint32_t BestWithAlpha()
{
    if (DisplayDepth() > 16 && SupportsTextureFormat(D3DFMT_A8R8G8B8))
        return k8888;
    return Small16WithAlpha();
}

uint32_t WithBase(uint32_t flags, uint32_t base)
{
    return (flags & ~kRasterFormatPixelMask) | (base << 8);
}

uint32_t ResolveTextureFormat(uint32_t flags)
{
    uint32_t base = BaseOf(flags);
    if (flags & kRasterFormatPal4)
        flags = (flags & ~kRasterFormatPal4) | kRasterFormatPal8;
    if (base == 0)
    {
        if ((flags & kRasterFormatPal8) && SupportsTextureFormat(D3DFMT_P8))
            return WithBase(flags, PalettesHaveAlpha() ? k8888 : k888);
        flags &= ~kRasterFormatPal8;
        return WithBase(flags, SupportsTextureFormat(D3DFMT_A8R8G8B8) ? k8888 : Small16WithAlpha());
    }
    if (flags & kRasterFormatPal8)
    {
        if (SupportsTextureFormat(D3DFMT_P8) && (base != k8888 || PalettesHaveAlpha()))
            return flags;
        flags &= ~kRasterFormatPal8;
        if (base == k888)
            return WithBase(flags, DisplayDepth() > 16 && SupportsTextureFormat(D3DFMT_X8R8G8B8) ? k888 : k565);
        return WithBase(flags, BestWithAlpha());
    }
    switch (base)
    {
    case k8888:
        return SupportsTextureFormat(D3DFMT_A8R8G8B8) ? flags : WithBase(flags, Small16WithAlpha());
    case k888:
        return SupportsTextureFormat(D3DFMT_X8R8G8B8) ? flags : WithBase(flags, k565);
    case k4444:
        return SupportsTextureFormat(D3DFMT_A4R4G4B4) ? flags : WithBase(flags, k1555);
    case kLum8:
        if (SupportsTextureFormat(D3DFMT_L8))
            return flags;
        return WithBase(flags, SupportsTextureFormat(D3DFMT_X8R8G8B8) ? k888 : k565);
    default:
        return flags;
    }
}

uint32_t ResolveCameraTextureFormat(uint32_t flags)
{
    uint32_t base = BaseOf(flags);
    int32_t zDepth = D3D9State().display.zDepth;
    if (base == 0)
    {
        if (zDepth == 16)
            return WithBase(flags, k565);
        return WithBase(flags, SupportsRenderTargetFormat(D3DFMT_X8R8G8B8) ? k888 : k565);
    }
    int32_t depth = kBaseFormats[base].depth;
    if (zDepth == 16)
    {
        if (depth == 32)
            base = base == k8888 ? k4444 : k565;
        if (base == k4444 && !SupportsRenderTargetFormat(D3DFMT_A4R4G4B4))
            base = k1555;
        if (base == k1555 && !SupportsRenderTargetFormat(D3DFMT_A1R5G5B5))
            base = k565;
    }
    else
    {
        if (depth == 16)
            base = base == k4444 || base == k1555 ? k8888 : k888;
        if (base == k8888 && !SupportsRenderTargetFormat(D3DFMT_A8R8G8B8))
            base = k888;
    }
    return WithBase(flags, base);
}

uint32_t PowerOfTwoBelow(int32_t value)
{
    uint32_t p = 1;
    while (int64_t(p) * 2 <= value)
        p *= 2;
    return p;
}

} // namespace

const BaseFormat& Base(uint32_t base)
{
    return kBaseFormats[base & 0x0F];
}

void FillFormatTable()
{
    std::memset(sFormats, 0, sizeof(sFormats));
    Set({D3DFMT_R8G8B8}, 0, 24, 0);
    Set({D3DFMT_A8R8G8B8}, 1, 32, 0x500);
    Set({D3DFMT_X8R8G8B8}, 0, 32, 0x600);
    Set({D3DFMT_R5G6B5}, 0, 16, 0x200);
    Set({D3DFMT_X1R5G5B5}, 0, 16, 0xA00);
    Set({D3DFMT_A1R5G5B5}, 1, 16, 0x100);
    Set({D3DFMT_A4R4G4B4}, 1, 16, 0x300);
    Set({D3DFMT_R3G3B2}, 0, 8, 0);
    Set({D3DFMT_A8}, 1, 8, 0);
    Set({D3DFMT_A8R3G3B2}, 1, 16, 0);
    Set({D3DFMT_X4R4G4B4}, 0, 16, 0);
    Set({D3DFMT_A2B10G10R10, D3DFMT_A8B8G8R8, D3DFMT_A2R10G10B10}, 1, 32, 0);
    Set({D3DFMT_X8B8G8R8, D3DFMT_G16R16}, 0, 32, 0);
    Set({D3DFMT_A16B16G16R16}, 1, 64, 0);
    Set({D3DFMT_A8P8}, 1, 16, 0);
    Set({D3DFMT_P8}, 0, 8, 0x2000);
    Set({D3DFMT_L8}, 0, 8, 0x400);
    Set({D3DFMT_A8L8}, 1, 16, 0);
    Set({D3DFMT_A4L4}, 1, 8, 0);
    Set({D3DFMT_V8U8, D3DFMT_L6V5U5}, 0, 16, 0);
    Set({D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16}, 0, 32, 0);
    Set({D3DFMT_A2W10V10U10}, 1, 32, 0);
    Set({D3DFMT_D16_LOCKABLE, D3DFMT_D15S1, D3DFMT_D16}, 0, 16, 0x700);
    Set({D3DFMT_D32, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4, D3DFMT_D32F_LOCKABLE, D3DFMT_D24FS8}, 0, 32, 0x900);
    Set({D3DFMT_L16}, 0, 16, 0);
    Set({D3DFMT_Q16W16V16U16, D3DFMT_G32R32F}, 0, 64, 0);
    Set({D3DFMT_R16F}, 0, 16, 0);
    Set({D3DFMT_G16R16F, D3DFMT_R32F}, 0, 32, 0);
    Set({D3DFMT_A16B16G16R16F}, 1, 64, 0);
    Set({D3DFMT_A32B32G32R32F}, 1, 128, 0);
    Set({D3DFMT_CxV8U8}, 0, 16, 0);
}

// ---- Device checks -----------------------------------------------------------------------------------

bool SupportsTextureFormat(D3DFORMAT format)
{
    return Check(0, D3DRTYPE_TEXTURE, format);
}

bool SupportsRenderTargetFormat(D3DFORMAT format)
{
    D3D9DeviceState& s = D3D9State();
    return Check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format) &&
           SUCCEEDED(s.d3d->CheckDepthStencilMatch(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, format,
                                                   s.present.AutoDepthStencilFormat));
}

bool SupportsDepthFormat(D3DFORMAT format)
{
    D3D9DeviceState& s = D3D9State();
    return Check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format) &&
           SUCCEEDED(
               s.d3d->CheckDepthStencilMatch(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, s.adapterFormat, format));
}

bool SupportsAutoMipmap(D3DFORMAT format)
{
    return CheckAutoMipmap(0, D3DRTYPE_TEXTURE, format);
}

bool SupportsAutoMipmapRenderTarget(D3DFORMAT format)
{
    return CheckAutoMipmap(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format);
}

bool SupportsAutoMipmapCube(D3DFORMAT format)
{
    return CheckAutoMipmap(0, D3DRTYPE_CUBETEXTURE, format);
}

bool PalettesHaveAlpha()
{
    return (D3D9State().caps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE) != 0;
}

int32_t DisplayDepth()
{
    return D3D9ColourDepth(D3D9State().adapterFormat);
}

void ReportDevice(const char* reason)
{
    Error::Report(kCorePluginId, Error::MakeCode(kCoreErrDevice, reason));
}

void ReportFormat()
{
    Error::Report(kCorePluginId, Error::MakeCode(kErrRasterFormat));
}

// ---- The choice at creation ----------------------------------------------------------------------------

bool ChooseFormat(Raster* raster, D3D9RasterExtension* ext, uint32_t requested, uint32_t* base, int32_t* depth)
{
    D3D9DeviceState& s = D3D9State();
    *base = BaseOf(requested);
    bool palettised = (requested & kPalettes) != 0;
    bool autoMipmap = (requested & kRasterFormatMipmap) && (requested & kRasterFormatAutoMipmap) && !palettised;
    switch (raster->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (requested & kRasterFormatPal4)
        {
            ReportFormat();
            return false;
        }
        if (requested & kRasterFormatPal8)
        {
            if (!SupportsTextureFormat(D3DFMT_P8))
                return false;
            if (*base == 0)
                *base = PalettesHaveAlpha() ? k8888 : k888;
            else if (*base != k888 && !(*base == k8888 && PalettesHaveAlpha()))
                return false;
            *depth = 8;
        }
        else if (*base != 0)
        {
            D3DFORMAT format = kBaseFormats[*base].format;
            if (format == D3DFMT_UNKNOWN ||
                !(IsDepthFormat(format) ? SupportsDepthFormat(format) : SupportsTextureFormat(format)))
                return false;
            *depth = kBaseFormats[*base].depth;
        }
        else if (DisplayDepth() >= 17 && SupportsTextureFormat(D3DFMT_A8R8G8B8))
        {
            *base = k8888;
            *depth = 32;
        }
        else
        {
            *base = Small16WithAlpha();
            *depth = 16;
        }
        if (autoMipmap && SupportsAutoMipmap(kBaseFormats[*base].format))
            ext->mipmapState |= 0x01;
        return true;
    case kRasterTypeZBuffer:
        if (*base != 0 && !(*base == kZ16 && s.display.zDepth == 16) && !(*base == kZ32 && s.display.zDepth == 32))
        {
            ReportFormat();
            return false;
        }
        *base = s.display.zDepth == 16 ? kZ16 : kZ32;
        *depth = s.display.zDepth;
        return true;
    case kRasterTypeCamera:
        if (*base != 0 && *base != DisplayBase())
        {
            ReportFormat();
            return false;
        }
        *base = DisplayBase();
        *depth = DisplayDepth();
        return true;
    case kRasterTypeCameraTexture:
        if (*base != 0)
        {
            if (!SupportsRenderTargetFormat(kBaseFormats[*base].format))
            {
                ReportFormat();
                return false;
            }
            *depth = kBaseFormats[*base].depth;
        }
        else if (DisplayDepth() != 16 && SupportsRenderTargetFormat(D3DFMT_X8R8G8B8))
        {
            *base = k888;
            *depth = 32;
        }
        else
        {
            *base = k565;
            *depth = 16;
        }
        if (autoMipmap && SupportsAutoMipmapRenderTarget(kBaseFormats[*base].format))
            ext->mipmapState |= 0x01;
        return true;
    default:
        ReportFormat();
        return false;
    }
}

} // namespace d3d9raster

using namespace d3d9raster;

// ---- Tables --------------------------------------------------------------------------------------------------

D3D9FormatInfo D3D9Raster::FormatInfo(D3DFORMAT format)
{
    return uint32_t(format) < uint32_t(kFormatTableSize) ? sFormats[format] : D3D9FormatInfo{0, 0, 0};
}

D3DFORMAT D3D9Raster::BaseToD3DFormat(uint32_t rasterFormat)
{
    return kBaseFormats[BaseOf(rasterFormat)].format;
}

// ---- The extension as other modules see it ------------------------------------------------------------------------

int32_t D3D9Raster::GetAlphaFlag(const Raster* raster)
{
    return raster ? Extension(const_cast<Raster*>(raster))->alpha : 0;
}

bool D3D9Raster::IsCompressed(const Raster* raster)
{
    return raster && (Extension(const_cast<Raster*>(raster))->mipmapState & 0xF0) != 0;
}

int32_t D3D9Raster::GetFormatBits(const Raster* raster)
{
    return raster ? Extension(const_cast<Raster*>(raster))->cube & 0x0F : 0;
}

// ---- Format and size choice ---------------------------------------------------------------------------------------

void D3D9Raster::AdjustSize(int32_t* width, int32_t* height, uint32_t flags)
{
    const D3DCAPS9& caps = D3D9State().caps;
    *width = std::min(*width, int32_t(std::min<DWORD>(caps.MaxTextureWidth, INT32_MAX)));
    *height = std::min(*height, int32_t(std::min<DWORD>(caps.MaxTextureHeight, INT32_MAX)));
    bool pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
    bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
    // Mip chains of textures need powers of two even where single levels need not have them.
    bool mipmapped = (flags & kRasterTypeMask) != kRasterTypeNormal && (flags & kRasterFormatMipmap);
    if (pow2 && (mipmapped || !conditional))
    {
        if (*width > 0)
            *width = int32_t(PowerOfTwoBelow(*width));
        if (*height > 0)
            *height = int32_t(PowerOfTwoBelow(*height));
    }
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY)
        *width = *height = std::min(*width, *height);
}

uint32_t D3D9Raster::ResolveFormat(uint32_t type, uint32_t flags)
{
    bool requested = BaseOf(flags) != 0;
    switch (type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        return ResolveTextureFormat(flags);
    case kRasterTypeZBuffer:
        if (requested)
            break;
        return WithBase(flags, D3D9State().display.zDepth == 16 ? kZ16 : kZ32);
    case kRasterTypeCamera:
        if (requested)
            break;
        return WithBase(flags, DisplayBase());
    case kRasterTypeCameraTexture:
        return ResolveCameraTextureFormat(flags);
    default:
        break;
    }
    ReportFormat();
    return flags;
}

int32_t D3D9Raster::SetTypeAndFormat(Raster* raster, uint32_t flags)
{
    uint32_t type = flags & kRasterTypeMask;
    uint32_t resolved = ResolveFormat(type, flags);
    raster->type = uint8_t(type);
    raster->flags = uint8_t(flags & kRasterFlagsMask);
    raster->format = uint8_t((resolved & kRasterFormatMask) >> 8);
    // A palettised raster holds 8-bit indices whatever its palette's format.
    raster->depth = (resolved & kPalettes) ? 8 : kBaseFormats[BaseOf(resolved)].depth;
    return 1;
}
