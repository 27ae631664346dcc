// Direct3D 9 raster access: locking a mip level or cube face for reading or writing (camera
// rasters and camera textures through a system-memory copy), the level rebuild after level 0
// of a raster with automatic mipmaps was written, palette locks, sub-rasters and level counts.
#include "d3d9driver_local.h"
#include "d3d9raster_local.h"

#include "error.h"

#include <algorithm>

using namespace d3d9raster;

namespace
{

D3D9MipGenerator sMipGenerator = nullptr;

bool HasPalette(const Raster* raster)
{
    return IsTextureType(raster->type) || raster->type == kRasterTypeCameraTexture;
}

// A system-memory copy of the target surface, filled from it when reading.
IDirect3DSurface9* CopyOfTarget(Raster* top, UINT level, bool read)
{
    IDirect3DSurface9* target = SurfaceOf(top, level);
    if (!target)
        return nullptr;
    D3DSURFACE_DESC desc{};
    IDirect3DSurface9* copy = nullptr;
    if (SUCCEEDED(target->GetDesc(&desc)) &&
        SUCCEEDED(D3D9State().device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                                  D3DPOOL_SYSTEMMEM, &copy, nullptr)) &&
        read && FAILED(D3D9State().device->GetRenderTargetData(target, copy)))
    {
        // A read lock whose pixels never arrived has nothing to offer: it fails.
        copy->Release();
        copy = nullptr;
    }
    target->Release();
    return copy;
}

RECT AreaOf(const Raster* raster)
{
    return {raster->offsetX, raster->offsetY, raster->offsetX + raster->width, raster->offsetY + raster->height};
}

// After level 0 of a raster with automatic mipmaps was written, on a device that does not
// make the levels itself, the lower levels are rebuilt from it.
void RebuildLevels(Raster* raster, D3D9RasterExtension* ext, uint8_t level)
{
    Raster* top = raster->parent;
    if (level != 0 || !(Raster::FormatFlags(raster) & kRasterFormatAutoMipmap) ||
        (D3D9Raster::Extension(top)->mipmapState & 0x0F))
        return;
    ext->lockedLevel = 0xFF;
    if (sMipGenerator)
        sMipGenerator(top, nullptr);
}

} // namespace

void D3D9Raster::SetMipGenerator(D3D9MipGenerator generator)
{
    sMipGenerator = generator;
}

int32_t D3D9Raster::Lock(void* out, void* in, int32_t number)
{
    auto* raster = static_cast<Raster*>(in);
    if (raster->pixels)
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrAlreadyLocked));
        return 0;
    }
    uint32_t mode = uint32_t(number) & 0xFF;
    UINT level = (uint32_t(number) >> 8) & 0xFF;
    bool write = (mode & kRasterLockWrite) != 0;
    bool read = (mode & kRasterLockRead) != 0;
    DWORD flags = write ? D3DLOCK_NOSYSLOCK : D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE;
    Raster* top = raster->parent;
    RECT rect = AreaOf(raster);
    const RECT* area = top == raster ? nullptr : &rect;
    D3D9RasterExtension* ext = Extension(raster);

    IDirect3DSurface9* surface = nullptr;
    switch (raster->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        surface = SurfaceOf(top, level);
        break;
    case kRasterTypeCamera:
    case kRasterTypeCameraTexture:
        surface = CopyOfTarget(top, level, read);
        break;
    default:
        Error::Report(kCorePluginId, Error::MakeCode(kErrAlreadyLocked));
        return 0;
    }
    if (!surface)
        return 0;
    if (FAILED(surface->LockRect(&ext->lockedRect, area, flags)))
    {
        surface->Release();
        return 0;
    }
    // A level number comes from the caller (up to 255): past 30 every size is 1, and no shift is that wide.
    int32_t width = level > 30 ? 1 : std::max(raster->width >> level, 1);
    int32_t height = level > 30 ? 1 : std::max(raster->height >> level, 1);
    // A caller that walks the rows back to back must not get a pitch it would overrun.
    if ((mode & kRasterLockPackedRows) && ext->lockedRect.Pitch != width * (raster->depth / 8))
    {
        surface->UnlockRect();
        surface->Release();
        Error::Report(kCorePluginId, Error::MakeCode(kErrRasterFormat));
        return 0;
    }
    ext->lockedSurface = surface;
    ext->lockedLevel = uint8_t(level);
    raster->privateFlags |= uint8_t((read ? kRasterLockedRead : 0) | (write ? kRasterLockedWrite : 0));
    raster->sourceWidth = raster->width;
    raster->sourceHeight = raster->height;
    raster->width = width;
    raster->height = height;
    raster->stride = ext->lockedRect.Pitch;
    raster->pixels = static_cast<uint8_t*>(ext->lockedRect.pBits);
    *static_cast<uint8_t**>(out) = raster->pixels;
    return 1;
}

int32_t D3D9Raster::Unlock(void*, void* in, int32_t)
{
    auto* raster = static_cast<Raster*>(in);
    D3D9RasterExtension* ext = Extension(raster);
    if (!raster->pixels || !ext->lockedSurface)
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrNotLocked));
        return 0;
    }
    bool written = (raster->privateFlags & kRasterLockedWrite) != 0;
    uint8_t level = ext->lockedLevel;
    raster->width = raster->sourceWidth;
    raster->height = raster->sourceHeight;
    raster->stride = 0;
    raster->pixels = nullptr;
    IDirect3DSurface9* surface = ext->lockedSurface;
    ext->lockedSurface = nullptr;
    surface->UnlockRect();
    bool copy = raster->type == kRasterTypeCamera || raster->type == kRasterTypeCameraTexture;
    if (written && copy)
    {
        // The copy goes back onto the surface it came from, a sub-raster's rectangle to the
        // same place.
        Raster* top = raster->parent;
        if (IDirect3DSurface9* target = SurfaceOf(top, level))
        {
            RECT rect = AreaOf(raster);
            POINT at = {raster->offsetX, raster->offsetY};
            bool whole = top == raster;
            D3D9State().device->UpdateSurface(surface, whole ? nullptr : &rect, target, whole ? nullptr : &at);
            target->Release();
        }
    }
    surface->Release();
    ext->lockedLevel = 0xFF;
    raster->privateFlags &= uint8_t(~kRasterPixelLockMask);
    if (written && raster->type != kRasterTypeCamera)
        RebuildLevels(raster, ext, level);
    return 1;
}

int32_t D3D9Raster::LockPalette(void* out, void* in, int32_t number)
{
    auto* raster = static_cast<Raster*>(in);
    if (!HasPalette(raster))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrAlreadyLocked));
        return 0;
    }
    D3D9Palette* palette = Extension(raster->parent)->palette;
    raster->palette = palette ? reinterpret_cast<uint8_t*>(palette->entries) : nullptr;
    raster->privateFlags |= kRasterPaletteLocked;
    if (uint32_t(number) & kRasterLockWrite)
        raster->privateFlags |= kRasterPaletteLockedWrite;
    *static_cast<uint8_t**>(out) = raster->palette;
    return 1;
}

int32_t D3D9Raster::UnlockPalette(void*, void* in, int32_t)
{
    auto* raster = static_cast<Raster*>(in);
    if (!HasPalette(raster))
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrNotLocked));
        return 0;
    }
    D3D9Palette* palette = Extension(raster->parent)->palette;
    if ((raster->privateFlags & kRasterPaletteLockedWrite) && palette && D3D9State().device)
        D3D9State().device->SetPaletteEntries(palette->number, palette->entries);
    raster->palette = nullptr;
    raster->privateFlags &= uint8_t(~kRasterPaletteLockMask);
    return 1;
}

int32_t D3D9Raster::SubRaster(void* out, void* in, int32_t)
{
    auto* sub = static_cast<Raster*>(out);
    auto* parent = static_cast<Raster*>(in);
    sub->stride = parent->stride;
    sub->depth = parent->depth;
    sub->type = parent->type;
    sub->format = parent->format;
    sub->pixels = nullptr;
    return 1;
}

int32_t D3D9Raster::GetMipLevels(void* out, void* in, int32_t)
{
    auto* raster = static_cast<Raster*>(in);
    int32_t levels = 1;
    if (HasPalette(raster))
    {
        Raster* top = raster->parent;
        D3D9RasterExtension* ext = Extension(top);
        if (ext->object)
            levels = int32_t(static_cast<IDirect3DBaseTexture9*>(ext->object)->GetLevelCount());
        else
        {
            int32_t size = std::max(top->width, top->height);
            levels = 0;
            if (size > 0)
                for (levels = 1; size > 1; size >>= 1)
                    ++levels;
        }
    }
    *static_cast<int32_t*>(out) = levels;
    return 1;
}
