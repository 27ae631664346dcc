// Direct3D 9 rasters: the extension, creation and destruction of the Direct3D objects,
// palettes and their numbers, and the list of rasters whose objects live in video memory
// with their release before a reset and their restore after it.
#include "d3d9driver_local.h"
#include "d3d9raster_local.h"
#include "d3d9renderstate.h"
#include "d3d9renderstate_local.h"

#include "engine.h"
#include "freelist.h"
#include "memory.h"

#include <cstring>
#include <initializer_list>

using namespace d3d9raster;

namespace
{

constexpr uint32_t kListHint = 0x30411;
constexpr uint32_t kStackHint = 0x1030411;
constexpr int32_t kNodesPerBlock = 127;
constexpr int32_t kPalettesPerBlock = 64;
constexpr int32_t kStackGrowth = 512;
constexpr uint32_t kPalettes = kRasterFormatPal8 | kRasterFormatPal4;

struct ListNode
{
    Raster* raster;
    ListNode* next;
};

int32_t sOffset = -1;

// The driver's raster module: from device start to device stop.
FreeList* sNodes = nullptr;
ListNode* sListed = nullptr;
FreeList* sPalettes = nullptr;
uint16_t* sFreeNumbers = nullptr;
int32_t sFreeCount = 0;
int32_t sFreeCapacity = 0;
uint32_t sNextNumber = 0;
int32_t sPalettesInUse = 0;
// The back buffer's size when video memory was last released: cameras scale by the change.
UINT sBackWidth = 0;
UINT sBackHeight = 0;

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

// ---- Objects ---------------------------------------------------------------------------------------------

// A one-level depth-stencil texture in the default pool: it must be released before a reset.
HRESULT CreateDepthTexture(Raster* raster, D3DFORMAT format, IDirect3DTexture9** texture)
{
    return D3D9State().device->CreateTexture(UINT(raster->width), UINT(raster->height), 1, D3DUSAGE_DEPTHSTENCIL,
                                             format, D3DPOOL_DEFAULT, texture, nullptr);
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

// A depth-stencil surface of the raster's size (at least 1 x 1) in the chosen format.
bool CreateOwnDepthSurface(Raster* raster, D3D9RasterExtension* ext)
{
    D3D9DeviceState& s = D3D9State();
    D3DFORMAT format = ChooseZBufferFormat(s.display.zDepth);
    IDirect3DSurface9* surface = nullptr;
    HRESULT result = s.device->CreateDepthStencilSurface(
        UINT(raster->width > 0 ? raster->width : 1), UINT(raster->height > 0 ? raster->height : 1), format,
        s.present.MultiSampleType, s.present.MultiSampleQuality, FALSE, &surface, nullptr);
    if (FAILED(result))
    {
        ReportDevice(result == D3DERR_OUTOFVIDEOMEMORY ? "Out of video memory. Failed to create raster."
                                                       : "Failed to create raster.");
        return false;
    }
    ext->object = surface;
    ext->format = format;
    ext->mainSurface = 0;
    return true;
}

bool CreateZBuffer(Raster* raster, D3D9RasterExtension* ext)
{
    D3D9DeviceState& s = D3D9State();
    ext->alpha = 0;
    int32_t width = 0, height = 0;
    if (s.depthSurface && ClientSize(&width, &height) && width == raster->width && height == raster->height)
    {
        ext->object = s.depthSurface;
        ext->format = s.present.AutoDepthStencilFormat;
        ext->mainSurface = 1;
        return true;
    }
    return CreateOwnDepthSurface(raster, ext);
}

HRESULT CreateTargetTexture(Raster* raster, D3D9RasterExtension* ext, DWORD usage, D3DFORMAT format,
                            IDirect3DBaseTexture9** out)
{
    D3D9DeviceState& s = D3D9State();
    UINT levels = (Raster::FormatFlags(raster) & kRasterFormatMipmap) ? 0 : 1;
    if (ext->cube & 0x0F)
    {
        IDirect3DCubeTexture9* cube = nullptr;
        HRESULT result =
            s.device->CreateCubeTexture(UINT(raster->width), levels, usage, format, D3DPOOL_DEFAULT, &cube, nullptr);
        *out = cube;
        return result;
    }
    IDirect3DTexture9* texture = nullptr;
    HRESULT result = s.device->CreateTexture(UINT(raster->width), UINT(raster->height), levels, usage, format,
                                             D3DPOOL_DEFAULT, &texture, nullptr);
    *out = texture;
    return result;
}

// The render-target texture behind a camera texture; a device that cannot target the format
// gets a plain texture of the display's format, drawn into through the back buffer.
// outOfMemory: set when the device ran out of video memory (no retry then).
bool CreateCameraTextureObject(Raster* raster, D3D9RasterExtension* ext, bool* outOfMemory)
{
    D3D9DeviceState& s = D3D9State();
    uint32_t base = BaseOf(Raster::FormatFlags(raster));
    D3DFORMAT format = Base(base).format;
    DWORD autoMip = (ext->mipmapState & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    IDirect3DBaseTexture9* texture = nullptr;
    HRESULT result = CreateTargetTexture(raster, ext, D3DUSAGE_RENDERTARGET | autoMip, format, &texture);
    *outOfMemory = result == D3DERR_OUTOFVIDEOMEMORY;
    if (*outOfMemory)
    {
        ReportDevice("Out of video memory. Failed to create raster.");
        return false;
    }
    if (FAILED(result))
    {
        format = s.adapterFormat;
        if (FAILED(CreateTargetTexture(raster, ext, autoMip, format, &texture)))
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

bool CreateCameraTexture(Raster* raster, D3D9RasterExtension* ext)
{
    uint32_t flags = CreationFlags(raster);
    if (flags & kPalettes)
    {
        ReportDevice("Camera textures cannot be palettised.");
        return false;
    }
    ext->alpha = Base(BaseOf(flags)).alpha;
    D3D9Raster::AdjustSize(&raster->width, &raster->height, flags);
    bool outOfMemory = false;
    return CreateCameraTextureObject(raster, ext, &outOfMemory);
}

// ---- Release and restore --------------------------------------------------------------------------------

void ReleaseObject(D3D9RasterExtension* ext)
{
    if (ext->object)
        ext->object->Release();
    ext->object = nullptr;
}

bool BackBufferSize(UINT* width, UINT* height)
{
    IDirect3DDevice9* device = D3D9State().device;
    IDirect3DSurface9* back = nullptr;
    if (!device || FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) || !back)
        return false;
    D3DSURFACE_DESC desc{};
    bool ok = SUCCEEDED(back->GetDesc(&desc));
    back->Release();
    *width = desc.Width;
    *height = desc.Height;
    return ok;
}

bool RestoreCameraSwapChain(D3D9RasterExtension* ext)
{
    D3D9DeviceState& s = D3D9State();
    D3DPRESENT_PARAMETERS parameters = s.present;
    parameters.hDeviceWindow = ext->window;
    parameters.EnableAutoDepthStencil = FALSE;
    RECT client{};
    GetClientRect(ext->window, &client);
    parameters.BackBufferWidth = client.right - client.left == 0 ? 1 : 0;
    parameters.BackBufferHeight = client.bottom - client.top == 0 ? 1 : 0;
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(s.device->CreateAdditionalSwapChain(&parameters, &chain)) || !chain)
        return false;
    IDirect3DSurface9* back = nullptr;
    if (FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back)) || !back)
    {
        chain->Release();
        return false;
    }
    // The chain keeps its back buffer alive; the extension holds no reference of its own.
    back->Release();
    ext->swapChain = chain;
    ext->object = back;
    ext->format = parameters.BackBufferFormat;
    return true;
}

void RestoreCameraSize(Raster* raster, D3D9RasterExtension* ext, UINT newWidth, UINT newHeight)
{
    D3D9DeviceState& s = D3D9State();
    if (sBackWidth != 0 && raster->width != int32_t(newWidth))
        raster->width = int32_t(int64_t(raster->width) * newWidth / sBackWidth);
    if (sBackHeight != 0 && raster->height != int32_t(newHeight))
        raster->height = int32_t(int64_t(raster->height) * newHeight / sBackHeight);
    D3D9FormatInfo info = D3D9Raster::FormatInfo(s.adapterFormat);
    raster->depth = info.bitsPerPixel;
    raster->format = uint8_t(((Raster::FormatFlags(raster) & ~kRasterFormatPixelMask) | info.rasterFormat) >> 8);
    ext->alpha = info.alpha;
    ext->format = s.adapterFormat;
}

bool Restore(Raster* raster, UINT backWidth, UINT backHeight)
{
    D3D9DeviceState& s = D3D9State();
    D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
    switch (raster->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (ext->palette)
            return SUCCEEDED(s.device->SetPaletteEntries(ext->palette->number, ext->palette->entries));
        if (IsDepthFormat(ext->format) && !ext->object)
        {
            IDirect3DTexture9* texture = nullptr;
            if (FAILED(CreateDepthTexture(raster, ext->format, &texture)))
                return false;
            ext->object = texture;
        }
        return true;
    case kRasterTypeZBuffer:
        if (ext->mainSurface)
        {
            int32_t width = 0, height = 0;
            if (ClientSize(&width, &height))
            {
                raster->width = width;
                raster->height = height;
            }
            ext->object = s.depthSurface;
            ext->format = s.present.AutoDepthStencilFormat;
            return s.depthSurface != nullptr;
        }
        return ext->object || CreateOwnDepthSurface(raster, ext);
    case kRasterTypeCamera:
        if (ext->window)
            return ext->swapChain || RestoreCameraSwapChain(ext);
        RestoreCameraSize(raster, ext, backWidth, backHeight);
        return true;
    case kRasterTypeCameraTexture:
        if (!ext->object)
        {
            bool outOfMemory = false;
            return CreateCameraTextureObject(raster, ext, &outOfMemory);
        }
        return true;
    default:
        return true;
    }
}

} // namespace

// ---- Shared with the other raster files ------------------------------------------------------------------------

void d3d9raster::AddToList(Raster* raster)
{
    Enlist(raster);
}

D3D9Palette* d3d9raster::NewPalette()
{
    return TakePalette();
}

bool d3d9raster::ClientSize(int32_t* width, int32_t* height)
{
    RECT client;
    if (!GetClientRect(D3D9State().window, &client))
        return false;
    *width = client.right - client.left;
    *height = client.bottom - client.top;
    return true;
}

IDirect3DSurface9* d3d9raster::SurfaceOf(Raster* top, UINT level)
{
    D3D9RasterExtension* ext = D3D9Raster::Extension(top);
    IDirect3DSurface9* surface = nullptr;
    // Cameras and z-buffers have one level only.
    if (level != 0 && (top->type == kRasterTypeCamera || top->type == kRasterTypeZBuffer))
        return nullptr;
    switch (top->type)
    {
    case kRasterTypeCamera:
        if (ext->swapChain)
        {
            if (FAILED(ext->swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface)))
                return nullptr;
            return surface;
        }
        surface = D3D9State().backBuffer;
        break;
    case kRasterTypeZBuffer:
        surface = static_cast<IDirect3DSurface9*>(ext->object);
        break;
    default:
        if (!ext->object)
            return nullptr;
        if (ext->cube & 0x0F)
        {
            auto face = D3DCUBEMAP_FACES((ext->cube >> 4) & 0x0F);
            if (FAILED(static_cast<IDirect3DCubeTexture9*>(ext->object)->GetCubeMapSurface(face, level, &surface)))
                return nullptr;
            return surface;
        }
        if (FAILED(static_cast<IDirect3DTexture9*>(ext->object)->GetSurfaceLevel(level, &surface)))
            return nullptr;
        return surface;
    }
    if (surface)
        surface->AddRef();
    return surface;
}

// ---- The extension -----------------------------------------------------------------------------------------------

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

// ---- Creation and destruction ------------------------------------------------------------------------------

int32_t D3D9Raster::CreateTexture(Raster* raster)
{
    D3D9RasterExtension* ext = Extension(raster);
    uint32_t flags = CreationFlags(raster);
    uint32_t base = BaseOf(flags);
    D3DFORMAT format;
    if (flags & kPalettes)
    {
        if (base != BaseOf(kRasterFormat888) && base != BaseOf(kRasterFormat8888))
        {
            ReportDevice("Palettised textures must be 888 or 8888.");
            return 0;
        }
        ext->palette = TakePalette();
        if (!ext->palette)
        {
            ReportDevice("Failed to create texture.");
            return 0;
        }
        format = D3DFMT_P8;
    }
    else
    {
        format = Base(base).format;
    }
    ext->alpha = Base(base).alpha;
    AdjustSize(&raster->width, &raster->height, flags);
    IDirect3DDevice9* device = D3D9State().device;
    UINT levels = (flags & kRasterFormatMipmap) ? 0 : 1;
    DWORD usage = (ext->mipmapState & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    bool depth = IsDepthFormat(format);
    IDirect3DBaseTexture9* object = nullptr;
    HRESULT result;
    if (ext->cube & 0x0F)
    {
        IDirect3DCubeTexture9* cube = nullptr;
        result = device->CreateCubeTexture(UINT(raster->width), levels, usage, format, D3DPOOL_MANAGED, &cube, nullptr);
        object = cube;
    }
    else
    {
        IDirect3DTexture9* texture = nullptr;
        result = depth ? CreateDepthTexture(raster, format, &texture)
                       : device->CreateTexture(UINT(raster->width), UINT(raster->height), levels, usage, format,
                                               D3DPOOL_MANAGED, &texture, nullptr);
        object = texture;
    }
    if (FAILED(result))
    {
        if (ext->palette)
            GiveBackPalette(ext->palette);
        ext->palette = nullptr;
        ReportDevice("Failed to create texture.");
        return 0;
    }
    ext->object = object;
    ext->format = format;
    if ((depth && !(ext->cube & 0x0F)) || ext->palette)
        Enlist(raster);
    return 1;
}

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
    ext->mainSurface = 0;
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
        return dontAllocate ? 1 : CreateTexture(raster);
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
    bool texture = IsTextureType(raster->type) || raster->type == kRasterTypeCameraTexture;
    // The render-state cache forgets the raster first: a stage record naming it would keep a
    // raster made later at the same address from ever being bound, and would be read back.
    if (texture)
    {
        auto* own = raster->parent == raster ? static_cast<IDirect3DBaseTexture9*>(ext->object) : nullptr;
        for (uint32_t stage = 0; stage < D3D9RenderState::kNumStages; ++stage)
        {
            const D3D9StageRecord& record = D3D9EngineState().stages[stage];
            if (record.raster == raster || (own && record.texture == own))
                D3D9RenderState::SetRaster(nullptr, stage);
        }
    }
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
    if (GetContext() == raster)
        SetContext(nullptr, nullptr, 0);

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
        ReleaseObject(ext);
        return 1;
    case kRasterTypeZBuffer:
        if (dontAllocate)
            return 1;
        Unlist(raster);
        if (!ext->mainSurface)
            ReleaseObject(ext);
        ext->object = nullptr;
        return 1;
    case kRasterTypeCamera:
        Unlist(raster);
        return 1;
    case kRasterTypeCameraTexture:
        if (dontAllocate)
            return 1;
        Unlist(raster);
        ReleaseObject(ext);
        return 1;
    default:
        ReportFormat();
        return 0;
    }
}

// ---- Around a device reset -------------------------------------------------------------------------------------

void D3D9Raster::ReleaseVideoMemory()
{
    BackBufferSize(&sBackWidth, &sBackHeight);
    for (ListNode* node = sListed; node; node = node->next)
    {
        Raster* raster = node->raster;
        if (raster->parent != raster)
            continue;
        D3D9RasterExtension* ext = Extension(raster);
        switch (raster->type)
        {
        case kRasterTypeNormal:
        case kRasterTypeTexture:
            if (IsDepthFormat(ext->format))
                ReleaseObject(ext);
            break;
        case kRasterTypeZBuffer:
            // The device's own surface goes with the reset; the raster forgets it either way.
            if (!ext->mainSurface)
                ReleaseObject(ext);
            ext->object = nullptr;
            break;
        case kRasterTypeCamera:
            // The window stays: the restore makes the chain again for it. The pointer is
            // cleared so that a failed restore leaves nothing to release twice.
            if (ext->swapChain)
                ext->swapChain->Release();
            ext->swapChain = nullptr;
            ext->object = nullptr;
            break;
        case kRasterTypeCameraTexture:
            ReleaseObject(ext);
            break;
        default:
            break;
        }
    }
}

int32_t D3D9Raster::RestoreVideoMemory()
{
    if (!D3D9State().device)
        return 0;
    // The reset made the device's back buffer and depth surface anew.
    D3D9KeepDeviceSurfaces();
    UINT backWidth = 0, backHeight = 0;
    BackBufferSize(&backWidth, &backHeight);
    int32_t result = 1;
    for (ListNode* node = sListed; node; node = node->next)
    {
        Raster* raster = node->raster;
        if (raster->parent == raster && !Restore(raster, backWidth, backHeight))
            result = 0;
    }
    sBackWidth = backWidth;
    sBackHeight = backHeight;
    return result;
}

// ---- The driver's raster module ----------------------------------------------------------------------------

int32_t D3D9Raster::Open()
{
    sListed = nullptr;
    sBackWidth = sBackHeight = 0;
    BackBufferSize(&sBackWidth, &sBackHeight);
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
    SetContext(nullptr, nullptr, 0);
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
