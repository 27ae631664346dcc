// Rasters made for a given Direct3D format (native textures), and rasters remade in a
// format the device supports, their pixels carried over through an image.
#include "d3d9raster.h"
#include "d3d9raster_local.h"

#include "d3d9driver_local.h"
#include "image.h"

using namespace d3d9raster;

namespace
{

constexpr uint32_t kMipmapFlags = kRasterFormatMipmap | kRasterFormatAutoMipmap;

bool IsDxt(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

/// Whether the device takes the format for a raster of this type and shape.
bool SupportsFor(const Raster* raster, D3DFORMAT format, bool cube)
{
    D3D9DeviceState& s = D3D9State();
    if (!s.d3d)
        return false;
    D3DRESOURCETYPE resource = cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE;
    if (IsTextureType(raster->type))
        return SUCCEEDED(s.d3d->CheckDeviceFormat(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, 0, resource, format));
    if (raster->type == kRasterTypeCameraTexture)
        return SUCCEEDED(s.d3d->CheckDeviceFormat(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, D3DUSAGE_RENDERTARGET,
                                                  resource, format)) &&
               SUCCEEDED(s.d3d->CheckDepthStencilMatch(s.adapter, D3DDEVTYPE_HAL, s.adapterFormat, format,
                                                       s.present.AutoDepthStencilFormat));
    return false;
}

} // namespace

Raster* D3D9Raster::CreateFromD3DFormat(int32_t width, int32_t height, D3DFORMAT format, uint32_t flags)
{
    uint32_t type = flags & kRasterTypeMask;
    if (type == kRasterTypeNormal || type == kRasterTypeZBuffer)
        flags &= ~kMipmapFlags;
    Raster* raster = Raster::Create(width, height, 0, flags | kRasterDontAllocate);
    if (!raster)
        return nullptr;
    D3D9RasterExtension* ext = Extension(raster);
    IDirect3DDevice9* device = D3D9State().device;

    // The device makes the lower levels itself only where it can for this very format.
    ext->mipmapState = 0;
    bool camera = type == kRasterTypeCameraTexture;
    if ((flags & kMipmapFlags) == kMipmapFlags &&
        (camera ? SupportsAutoMipmapRenderTarget(format) : SupportsAutoMipmap(format)))
        ext->mipmapState = 1;

    DWORD usage = ext->mipmapState ? D3DUSAGE_AUTOGENMIPMAP : 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    bool supported = false;
    if (camera)
    {
        supported = SupportsRenderTargetFormat(format);
        usage |= D3DUSAGE_RENDERTARGET;
        pool = D3DPOOL_DEFAULT;
    }
    else if (IsDepthFormat(format))
    {
        supported = SupportsDepthFormat(format);
        usage |= D3DUSAGE_DEPTHSTENCIL;
        pool = D3DPOOL_DEFAULT;
    }
    else
    {
        supported = SupportsTextureFormat(format);
    }
    IDirect3DTexture9* texture = nullptr;
    UINT levels = (flags & kRasterFormatMipmap) ? 0 : 1;
    if (!supported || !device ||
        FAILED(device->CreateTexture(UINT(width), UINT(height), levels, usage, format, pool, &texture, nullptr)))
    {
        Raster::Destroy(raster);
        return nullptr;
    }
    ext->object = texture;
    ext->format = format;
    raster->flags &= uint8_t(~kRasterDontAllocate);
    raster->format &= uint8_t(~(kRasterFormatPixelMask >> 8));

    if (IsDxt(format))
    {
        ext->mipmapState |= 0x10;
        bool dxt1 = format == D3DFMT_DXT1;
        ext->alpha = dxt1 ? 0 : 1;
        raster->format |= uint8_t((dxt1 ? kRasterFormat565 : kRasterFormat4444) >> 8);
        raster->depth = 16;
    }
    else if (uint32_t(format) < uint32_t(kFormatTableSize))
    {
        D3D9FormatInfo info = FormatInfo(format);
        ext->alpha = info.alpha;
        raster->depth = info.bitsPerPixel;
        raster->format |= uint8_t(info.rasterFormat >> 8);
        if (format == D3DFMT_P8)
        {
            ext->palette = NewPalette();
            if (!ext->palette)
            {
                Raster::Destroy(raster);
                return nullptr;
            }
        }
    }
    else
    {
        ext->alpha = 0;
        raster->depth = 0;
    }
    // Default-pool objects must be made again after a reset, palettes set again.
    if (pool != D3DPOOL_MANAGED || ext->palette)
        AddToList(raster);
    return raster;
}

int32_t D3D9Raster::ConvertToSupportedFormat(Raster* raster)
{
    Image* image = Image::Create(raster->width, raster->height, 32);
    if (!image)
        return 0;
    if (!Image::AllocatePixels(image) || !ToImage(image, raster, 0))
    {
        Image::Destroy(image);
        return 0;
    }
    D3D9RasterExtension* ext = Extension(raster);
    bool cube = (ext->cube & 0x0F) != 0;
    bool deep = DisplayDepth() > 16;
    uint32_t base = 0;
    if (ext->alpha)
        base = deep && SupportsFor(raster, D3DFMT_A8R8G8B8, cube) ? kRasterFormat8888
               : SupportsFor(raster, D3DFMT_A4R4G4B4, cube)       ? kRasterFormat4444
                                                                  : kRasterFormat1555;
    else
        base = deep && SupportsFor(raster, D3DFMT_X8R8G8B8, cube) ? kRasterFormat888 : kRasterFormat565;

    uint32_t flags = raster->type | base | kMipmapFlags;
    Destroy(nullptr, raster, 0);
    int32_t answer = Create(nullptr, raster, int32_t(flags));
    if (answer)
        answer = FromImage(raster, image, 0);
    Image::Destroy(image);
    return answer;
}
