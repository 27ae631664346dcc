// Inside the Direct3D 9 driver: what the raster files share (the base-format table, the
// device's format checks, the video-memory list and the surfaces behind a raster).
#pragma once

#include "d3d9raster.h"

#include <cstdint>

namespace d3d9raster
{

/// One row of the table indexed by the base format (bits 8-11 of a raster format).
struct BaseFormat
{
    D3DFORMAT format;
    int32_t depth;
    uint8_t alpha;
};

const BaseFormat& Base(uint32_t base);
/// Zeroes and fills the table of Direct3D formats (at driver attach).
void FillFormatTable();
constexpr uint32_t BaseOf(uint32_t flags)
{
    return (flags >> 8) & 0x0F;
}
inline uint32_t CreationFlags(const Raster* raster)
{
    return raster->type | raster->flags | Raster::FormatFlags(raster);
}
inline bool IsDepthFormat(D3DFORMAT format)
{
    return format >= D3DFMT_D16_LOCKABLE && format <= D3DFMT_D16;
}
inline bool IsTextureType(uint32_t type)
{
    return type == kRasterTypeNormal || type == kRasterTypeTexture;
}

// ---- Device checks, each against the adapter and display format the device runs in ----------

bool SupportsTextureFormat(D3DFORMAT format);
bool SupportsRenderTargetFormat(D3DFORMAT format);
bool SupportsDepthFormat(D3DFORMAT format);
/// Each no when the device cannot generate mip levels at all.
bool SupportsAutoMipmap(D3DFORMAT format);
bool SupportsAutoMipmapRenderTarget(D3DFORMAT format);
bool SupportsAutoMipmapCube(D3DFORMAT format);
bool PalettesHaveAlpha();
/// Colour bits of the display format: 32, 16, or 0.
int32_t DisplayDepth();

/// The base format and depth for a new raster of the raster's type; false with nothing
/// recorded when the device lacks a format, with 0x8000000D when the request cannot be met.
/// Marks the extension for device-generated levels where the device offers them.
bool ChooseFormat(Raster* raster, D3D9RasterExtension* ext, uint32_t requested, uint32_t* base, int32_t* depth);

void ReportDevice(const char* reason);
void ReportFormat();

/// Puts the raster on the video-memory list.
void AddToList(Raster* raster);
/// A palette record with a palette number, or null.
D3D9Palette* NewPalette();

// ---- Surfaces ----------------------------------------------------------------------------------------

/// The client size of the device window.
bool ClientSize(int32_t* width, int32_t* height);
/// The surface of a top-level raster that lock, clear and render address, with a reference
/// the caller releases: a texture's level (the extension's face of a cube), a z-buffer's
/// surface, a camera's back buffer (its swap chain's when it has one). Null when none.
IDirect3DSurface9* SurfaceOf(Raster* top, UINT level);

} // namespace d3d9raster
