// Direct3D 9 rasters: the extension and the format tables, the format choice by raster
// type, creation and destruction of the Direct3D objects, palettes and their numbers, and
// the list of rasters whose objects live in video memory.
#include "d3d9raster.h"

#include "d3d9driver_local.h"
#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "memory.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace
{

constexpr uint32_t kListHint = 0x30411;
constexpr uint32_t kStackHint = 0x1030411;
constexpr int32_t kNodesPerBlock = 127;
constexpr int32_t kPalettesPerBlock = 64;
constexpr int32_t kStackGrowth = 512;

struct ListNode
{
    Raster* raster;
    ListNode* next;
};

int32_t sOffset = -1;
D3D9FormatInfo sFormats[D3D9Raster::kFormatTableSize];

// The driver's raster module: from device start to device stop.
FreeList* sNodes = nullptr;
ListNode* sListed = nullptr;
FreeList* sPalettes = nullptr;
uint16_t* sFreeNumbers = nullptr;
int32_t sFreeCount = 0;
int32_t sFreeCapacity = 0;
uint32_t sNextNumber = 0;
int32_t sPalettesInUse = 0;

// ---- Tables -------------------------------------------------------------------------------

struct BaseFormat
{
    D3DFORMAT format;
    int32_t depth;
    uint8_t alpha;
};

// Indexed by the base format (bits 8-11 of a raster format).
constexpr BaseFormat kBaseFormats[16] = {
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_A1R5G5B5, 16, 1}, {D3DFMT_R5G6B5, 16, 0},   {D3DFMT_A4R4G4B4, 16, 1},
    {D3DFMT_L8, 8, 0},      {D3DFMT_A8R8G8B8, 32, 1}, {D3DFMT_X8R8G8B8, 32, 0}, {D3DFMT_D16, 16, 0},
    {D3DFMT_D24X8, 32, 0},  {D3DFMT_D32, 32, 0},      {D3DFMT_X1R5G5B5, 16, 0},
};

uint32_t BaseOf(uint32_t flags)
{
    return (flags >> 8) & 0x0F;
}

void Set(std::initializer_list<D3DFORMAT> formats, uint8_t alpha, uint8_t bits, uint16_t rasterFormat)
{
    for (D3DFORMAT f : formats)
        sFormats[f] = {alpha, bits, rasterFormat};
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

bool IsDepthFormat(D3DFORMAT format)
{
    return format >= D3DFMT_D16_LOCKABLE && format <= D3DFMT_D16;
}

// ---- Device checks ------------------------------------------------------------------------------
// Each asks the Direct3D object about the adapter and display format the device runs in.

bool Check(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format)
{
    D3D9DeviceState& s = D3D9State();
    return s.d3d &&
           SUCCEEDED(s.d3d->CheckDeviceFormat(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, usage, type, format));
}

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

bool CanAutoMipmap()
{
    return (D3D9State().caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) != 0;
}

bool SupportsAutoMipmap(D3DFORMAT format)
{
    return CanAutoMipmap() && Check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, format);
}

bool SupportsAutoMipmapRenderTarget(D3DFORMAT format)
{
    return CanAutoMipmap() && Check(D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format);
}

bool PalettesHaveAlpha()
{
    return (D3D9State().caps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE) != 0;
}

int32_t DisplayDepth()
{
    return D3D9ColourDepth(D3D9State().adapterFormat);
}

uint32_t DisplayBase()
{
    return BaseOf(D3D9Raster::FormatInfo(D3D9State().adapterFormat).rasterFormat);
}

void ReportDevice(const char* reason)
{
    Error::Report(kCorePluginId, Error::MakeCode(kCoreErrDevice, reason));
}

void ReportFormat()
{
    Error::Report(kCorePluginId, Error::MakeCode(kErrRasterFormat));
}

// ---- The video-memory list --------------------------------------------------------------------------

void Enlist(Raster* raster)
{
    if (!sNodes)
        return;
    auto* node = static_cast<ListNode*>(Engine::Current()->freeListFunctions.take(sNodes, kListHint));
    if (!node)
        return;
    node->raster = raster;
    node->next = sListed;
    sListed = node;
}

void Unlist(Raster* raster)
{
    for (ListNode** link = &sListed; *link; link = &(*link)->next)
    {
        if ((*link)->raster == raster)
        {
            ListNode* node = *link;
            *link = node->next;
            Engine::Current()->freeListFunctions.giveBack(sNodes, node);
            return;
        }
    }
}

// ---- Palettes ------------------------------------------------------------------------------------------

// Numbers given back are used again first; else the next never used.
D3D9Palette* TakePalette()
{
    if (!sPalettes)
        sPalettes = FreeList::Create(sizeof(D3D9Palette), kPalettesPerBlock, 0, kListHint);
    if (!sPalettes)
        return nullptr;
    auto* palette = static_cast<D3D9Palette*>(Engine::Current()->freeListFunctions.take(sPalettes, kListHint));
    if (!palette)
        return nullptr;
    std::memset(palette->entries, 0, sizeof(palette->entries));
    palette->number = sFreeCount > 0 ? sFreeNumbers[--sFreeCount] : sNextNumber++;
    ++sPalettesInUse;
    return palette;
}

void GiveBackPalette(D3D9Palette* palette)
{
    if (sFreeCount == sFreeCapacity)
    {
        size_t capacity = size_t(sFreeCapacity + kStackGrowth);
        void* grown = Memory::Reallocate(sFreeNumbers, capacity * sizeof(uint16_t), kStackHint);
        if (grown)
        {
            sFreeNumbers = static_cast<uint16_t*>(grown);
            sFreeCapacity = int32_t(capacity);
        }
    }
    // A number that cannot be stacked is lost rather than written past the stack.
    if (sFreeCount < sFreeCapacity)
        sFreeNumbers[sFreeCount++] = uint16_t(palette->number);
    Engine::Current()->freeListFunctions.giveBack(sPalettes, palette);
    --sPalettesInUse;
}

// ---- Sizes -------------------------------------------------------------------------------------------------

int32_t PowerOfTwoBelow(int32_t value)
{
    int32_t p = 1;
    while (p * 2 <= value)
        p *= 2;
    return value > 0 ? p : value;
}

void AdjustSize(int32_t* width, int32_t* height, uint32_t flags)
{
    const D3DCAPS9& caps = D3D9State().caps;
    *width = std::min(*width, int32_t(caps.MaxTextureWidth));
    *height = std::min(*height, int32_t(caps.MaxTextureHeight));
    bool pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
    bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
    bool mipmapped = (flags & kRasterTypeMask) != kRasterTypeNormal && (flags & kRasterFormatMipmap);
    if (pow2 && (mipmapped || !conditional))
    {
        *width = PowerOfTwoBelow(*width);
        *height = PowerOfTwoBelow(*height);
    }
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY)
        *width = *height = std::min(*width, *height);
}

uint32_t CreationFlags(const Raster* raster)
{
    return raster->type | raster->flags | Raster::FormatFlags(raster);
}

// ---- Objects ---------------------------------------------------------------------------------------------

bool CreateTexture(Raster* raster, D3D9RasterExtension* ext)
{
    uint32_t flags = CreationFlags(raster);
    uint32_t base = BaseOf(flags);
    D3DFORMAT format;
    if (flags & (kRasterFormatPal8 | kRasterFormatPal4))
    {
        if (base != BaseOf(kRasterFormat888) && base != BaseOf(kRasterFormat8888))
        {
            ReportDevice("Palettised textures must be 888 or 8888.");
            return false;
        }
        ext->palette = TakePalette();
        if (!ext->palette)
            return false;
        format = D3DFMT_P8;
    }
    else
    {
        format = kBaseFormats[base].format;
    }
    ext->alpha = kBaseFormats[base].alpha;
    AdjustSize(&raster->width, &raster->height, flags);
    IDirect3DDevice9* device = D3D9State().device;
    IDirect3DTexture9* texture = nullptr;
    HRESULT result;
    bool depth = IsDepthFormat(format);
    if (depth)
        result = device->CreateTexture(UINT(raster->width), UINT(raster->height), 1, D3DUSAGE_DEPTHSTENCIL, format,
                                       D3DPOOL_DEFAULT, &texture, nullptr);
    else
        result = device->CreateTexture(UINT(raster->width), UINT(raster->height), (flags & kRasterFormatMipmap) ? 0 : 1,
                                       (ext->mipmapState & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0, format, D3DPOOL_MANAGED,
                                       &texture, nullptr);
    if (FAILED(result))
    {
        if (ext->palette)
            GiveBackPalette(ext->palette);
        ext->palette = nullptr;
        ReportDevice("Failed to create texture.");
        return false;
    }
    ext->object = texture;
    ext->format = format;
    if (depth || ext->palette)
        Enlist(raster);
    return true;
}

D3DFORMAT ChooseZBufferFormat(int32_t zDepth)
{
    if (zDepth == 16)
        return SupportsDepthFormat(D3DFMT_D15S1) ? D3DFMT_D15S1 : D3DFMT_D16;
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32})
        if (SupportsDepthFormat(format))
            return format;
    return D3DFMT_D24X8;
}

bool ClientSize(int32_t* width, int32_t* height)
{
    RECT client;
    if (!GetClientRect(D3D9State().window, &client))
        return false;
    *width = client.right - client.left;
    *height = client.bottom - client.top;
    return true;
}

bool CreateZBuffer(Raster* raster, D3D9RasterExtension* ext)
{
    D3D9DeviceState& s = D3D9State();
    D3DFORMAT format = ChooseZBufferFormat(s.display.zDepth);
    ext->alpha = 0;
    int32_t width = 0, height = 0;
    if (s.depthSurface && ClientSize(&width, &height) && width == raster->width && height == raster->height)
    {
        ext->object = s.depthSurface;
        ext->format = s.present.AutoDepthStencilFormat;
        return true;
    }
    IDirect3DSurface9* surface = nullptr;
    HRESULT result = s.device->CreateDepthStencilSurface(UINT(raster->width), UINT(raster->height), format,
                                                         s.present.MultiSampleType, s.present.MultiSampleQuality, FALSE,
                                                         &surface, nullptr);
    if (FAILED(result))
    {
        ReportDevice(result == D3DERR_OUTOFVIDEOMEMORY ? "Out of video memory. Failed to create raster."
                                                       : "Failed to create raster.");
        return false;
    }
    ext->object = surface;
    ext->format = format;
    return true;
}

bool CreateCameraTexture(Raster* raster, D3D9RasterExtension* ext)
{
    uint32_t flags = CreationFlags(raster);
    if (flags & (kRasterFormatPal8 | kRasterFormatPal4))
    {
        ReportDevice("Camera textures cannot be palettised.");
        return false;
    }
    uint32_t base = BaseOf(flags);
    D3DFORMAT format = kBaseFormats[base].format;
    ext->alpha = kBaseFormats[base].alpha;
    AdjustSize(&raster->width, &raster->height, flags);
    D3D9DeviceState& s = D3D9State();
    UINT levels = (flags & kRasterFormatMipmap) ? 0 : 1;
    DWORD autoMip = (ext->mipmapState & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    IDirect3DTexture9* texture = nullptr;
    HRESULT result =
        s.device->CreateTexture(UINT(raster->width), UINT(raster->height), levels, D3DUSAGE_RENDERTARGET | autoMip,
                                format, D3DPOOL_DEFAULT, &texture, nullptr);
    if (result == D3DERR_OUTOFVIDEOMEMORY)
    {
        ReportDevice("Out of video memory. Failed to create raster.");
        return false;
    }
    if (FAILED(result))
    {
        // A texture of the display's format, drawn into through the back buffer.
        format = s.adapterFormat;
        result = s.device->CreateTexture(UINT(raster->width), UINT(raster->height), levels, autoMip, format,
                                         D3DPOOL_DEFAULT, &texture, nullptr);
        if (FAILED(result))
        {
            ReportDevice("Failed to create raster.");
            return false;
        }
        D3D9FormatInfo info = D3D9Raster::FormatInfo(format);
        raster->format = uint8_t(((Raster::FormatFlags(raster) & ~kRasterFormatPixelMask) | info.rasterFormat) >> 8);
        raster->depth = info.bitsPerPixel;
        ext->alpha = info.alpha;
    }
    ext->object = texture;
    ext->format = format;
    return true;
}

// The base format and depth for the raster's type; false with nothing recorded when the
// device lacks a format, and with 0x8000000D when the request cannot be met at all.
bool ChooseFormat(Raster* raster, D3D9RasterExtension* ext, uint32_t requested, uint32_t* base, int32_t* depth)
{
    D3D9DeviceState& s = D3D9State();
    *base = BaseOf(requested);
    bool palettised = (requested & (kRasterFormatPal8 | kRasterFormatPal4)) != 0;
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
                *base = BaseOf(PalettesHaveAlpha() ? kRasterFormat8888 : kRasterFormat888);
            else if (*base != BaseOf(kRasterFormat888) && !(*base == BaseOf(kRasterFormat8888) && PalettesHaveAlpha()))
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
        else
        {
            uint32_t small = BaseOf(SupportsTextureFormat(D3DFMT_A4R4G4B4) ? kRasterFormat4444 : kRasterFormat1555);
            if (DisplayDepth() >= 17 && SupportsTextureFormat(D3DFMT_A8R8G8B8))
            {
                *base = BaseOf(kRasterFormat8888);
                *depth = 32;
            }
            else
            {
                *base = small;
                *depth = 16;
            }
        }
        if ((requested & kRasterFormatMipmap) && (requested & kRasterFormatAutoMipmap) && !palettised &&
            SupportsAutoMipmap(kBaseFormats[*base].format))
            ext->mipmapState |= 0x01;
        return true;
    case kRasterTypeZBuffer:
        if (*base != 0 && !(*base == BaseOf(kRasterFormatZ16) && s.display.zDepth == 16) &&
            !(*base == BaseOf(kRasterFormatZ32) && s.display.zDepth == 32))
        {
            ReportFormat();
            return false;
        }
        *base = BaseOf(s.display.zDepth == 16 ? kRasterFormatZ16 : kRasterFormatZ32);
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
            *base = BaseOf(kRasterFormat888);
            *depth = 32;
        }
        else
        {
            *base = BaseOf(kRasterFormat565);
            *depth = 16;
        }
        if ((requested & kRasterFormatMipmap) && (requested & kRasterFormatAutoMipmap) && !palettised &&
            SupportsAutoMipmapRenderTarget(kBaseFormats[*base].format))
            ext->mipmapState |= 0x01;
        return true;
    default:
        ReportFormat();
        return false;
    }
}

} // namespace

// ---- Tables ------------------------------------------------------------------------------------------------

int32_t D3D9Raster::Attach()
{
    FillFormatTable();
    // The constructor clears what creation does not set; the device fills the rest before
    // the plug-ins run.
    auto construct = [](void* object, int32_t offset, int32_t) -> void*
    {
        auto* ext = reinterpret_cast<D3D9RasterExtension*>(static_cast<char*>(object) + offset);
        ext->swapChain = nullptr;
        ext->window = nullptr;
        return object;
    };
    auto destruct = [](void* object, int32_t offset, int32_t) -> void*
    {
        auto* ext = reinterpret_cast<D3D9RasterExtension*>(static_cast<char*>(object) + offset);
        if (ext->swapChain)
            ext->swapChain->Release();
        ext->swapChain = nullptr;
        return object;
    };
    sOffset = Raster::RegisterPlugin(int32_t(sizeof(D3D9RasterExtension)), kPluginId, construct, destruct, nullptr);
    return sOffset;
}

D3D9RasterExtension* D3D9Raster::Extension(Raster* raster)
{
    return reinterpret_cast<D3D9RasterExtension*>(reinterpret_cast<char*>(raster) + sOffset);
}

D3D9FormatInfo D3D9Raster::FormatInfo(D3DFORMAT format)
{
    return uint32_t(format) < uint32_t(kFormatTableSize) ? sFormats[format] : D3D9FormatInfo{0, 0, 0};
}

D3DFORMAT D3D9Raster::BaseToD3DFormat(uint32_t rasterFormat)
{
    return kBaseFormats[BaseOf(rasterFormat)].format;
}

// ---- Creation and destruction ------------------------------------------------------------------------------

int32_t D3D9Raster::Create(void*, void* in, int32_t number)
{
    auto* raster = static_cast<Raster*>(in);
    uint32_t flags = uint32_t(number);
    D3D9RasterExtension* ext = Extension(raster);
    raster->type = uint8_t(flags & kRasterTypeMask);
    raster->flags = uint8_t(flags & kRasterFlagsMask);
    raster->pixels = nullptr;
    raster->palette = nullptr;
    ext->object = nullptr;
    ext->palette = nullptr;
    ext->alpha = 0;
    ext->cube = 0;
    ext->mipmapState = 0;
    ext->lockedLevel = 0xFF;
    ext->lockedSurface = nullptr;
    ext->lockedRect = {};
    ext->format = D3DFMT_UNKNOWN;
    ext->swapChain = nullptr;
    ext->window = nullptr;
    if (!D3D9State().device)
        return 0;

    uint32_t requested = flags & kRasterFormatMask;
    uint32_t base = 0;
    int32_t depth = 0;
    if (!ChooseFormat(raster, ext, requested, &base, &depth))
        return 0;
    raster->format = uint8_t(((requested & ~kRasterFormatPixelMask) | (base << 8)) >> 8);
    raster->depth = depth;

    if (raster->width == 0 || raster->height == 0)
    {
        raster->flags |= uint8_t(kRasterDontAllocate);
        raster->stride = 0;
        if (raster->depth == 0)
            raster->depth = 16;
        if (raster->type == kRasterTypeCamera)
            Enlist(raster);
        return 1;
    }
    bool dontAllocate = (raster->flags & kRasterDontAllocate) != 0;
    switch (raster->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        return dontAllocate || CreateTexture(raster, ext) ? 1 : 0;
    case kRasterTypeZBuffer:
        if (dontAllocate)
            return 1;
        if (!CreateZBuffer(raster, ext))
            return 0;
        Enlist(raster);
        return 1;
    case kRasterTypeCamera:
    {
        int32_t width = 0, height = 0;
        bool fits = ClientSize(&width, &height) && width >= raster->width && height >= raster->height;
        if (!dontAllocate && !fits)
        {
            ReportDevice("Camera raster is too big.");
            return 0;
        }
        raster->depth = D3D9ColourDepth(D3D9State().adapterFormat);
        raster->stride = 0;
        raster->flags |= uint8_t(kRasterDontAllocate);
        raster->sourceWidth = raster->width;
        raster->sourceHeight = raster->height;
        ext->format = D3D9State().adapterFormat;
        Enlist(raster);
        return 1;
    }
    case kRasterTypeCameraTexture:
        if (dontAllocate)
            return 1;
        if (!CreateCameraTexture(raster, ext))
            return 0;
        Enlist(raster);
        return 1;
    default:
        return 0;
    }
}

int32_t D3D9Raster::Destroy(void*, void* in, int32_t)
{
    auto* raster = static_cast<Raster*>(in);
    D3D9RasterExtension* ext = Extension(raster);
    IDirect3DDevice9* device = D3D9State().device;
    bool texture = raster->type == kRasterTypeNormal || raster->type == kRasterTypeTexture ||
                   raster->type == kRasterTypeCameraTexture;
    if (device && texture && ext->object && raster->parent == raster)
    {
        auto* own = static_cast<IDirect3DBaseTexture9*>(ext->object);
        for (DWORD stage = 0; stage < 8; ++stage)
        {
            IDirect3DBaseTexture9* bound = nullptr;
            if (SUCCEEDED(device->GetTexture(stage, &bound)) && bound)
            {
                if (bound == own)
                    device->SetTexture(stage, nullptr);
                bound->Release();
            }
        }
    }
    if (ext->lockedSurface)
    {
        ext->lockedSurface->UnlockRect();
        ext->lockedSurface->Release();
        ext->lockedSurface = nullptr;
    }

    if (raster->parent != raster)
    {
        if (raster->type == kRasterTypeCamera)
            Unlist(raster);
        return 1;
    }
    bool dontAllocate = (raster->flags & kRasterDontAllocate) != 0;
    switch (raster->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (dontAllocate)
            return 1;
        if (ext->palette)
        {
            Unlist(raster);
            GiveBackPalette(ext->palette);
            ext->palette = nullptr;
        }
        if (IsDepthFormat(ext->format))
            Unlist(raster);
        if (ext->object)
            ext->object->Release();
        ext->object = nullptr;
        return 1;
    case kRasterTypeZBuffer:
        if (dontAllocate)
            return 1;
        Unlist(raster);
        if (ext->object && ext->object != D3D9State().depthSurface)
            ext->object->Release();
        ext->object = nullptr;
        return 1;
    case kRasterTypeCamera:
        Unlist(raster);
        return 1;
    case kRasterTypeCameraTexture:
        if (dontAllocate)
            return 1;
        Unlist(raster);
        if (ext->object)
            ext->object->Release();
        ext->object = nullptr;
        return 1;
    default:
        ReportFormat();
        return 0;
    }
}

// ---- The driver's raster module ----------------------------------------------------------------------------

int32_t D3D9Raster::Open()
{
    sListed = nullptr;
    sNodes = FreeList::Create(sizeof(ListNode), kNodesPerBlock, 0, kListHint);
    return sNodes ? 1 : 0;
}

void D3D9Raster::Close()
{
    if (sNodes)
        FreeList::Destroy(sNodes);
    sNodes = nullptr;
    sListed = nullptr;
    if (sFreeNumbers)
        Memory::Free(sFreeNumbers);
    sFreeNumbers = nullptr;
    sFreeCount = sFreeCapacity = 0;
    sNextNumber = 0;
    if (sPalettes)
        FreeList::Destroy(sPalettes);
    sPalettes = nullptr;
    sPalettesInUse = 0;
}

bool D3D9Raster::IsListed(const Raster* raster)
{
    for (const ListNode* node = sListed; node; node = node->next)
        if (node->raster == raster)
            return true;
    return false;
}

int32_t D3D9Raster::PalettesInUse()
{
    return sPalettesInUse;
}
