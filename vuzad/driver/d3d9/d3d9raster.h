// Direct3D 9 rasters: the device extension of every raster, the tables between engine
// raster formats and Direct3D formats, creation and destruction of the Direct3D objects
// behind rasters, the list of rasters in video memory with its release and restore around
// a reset, pixel and palette locks, clearing and drawing one raster onto another.
#pragma once

#include "d3d9.h"
#include "raster.h"

#include <cstdint>

struct Image;

/// One palettised texture's palette and the device palette slot it uses.
struct D3D9Palette
{
    PALETTEENTRY entries[256]; ///< red, green, blue, alpha
    uint32_t number;
};

/// Raster plug-in 0x40C, the first registered on rasters.
struct D3D9RasterExtension
{
    /// A texture (normal, texture and camera-texture rasters), a depth-stencil surface
    /// (z-buffers), or a swap chain's back buffer; null for a camera raster of the device's
    /// own back buffer.
    IDirect3DResource9* object;
    D3D9Palette* palette; ///< palettised textures only
    uint8_t alpha;        ///< the pixel format carries alpha
    uint8_t cube;         ///< low four bits: cube texture; high four bits: the face addressed
    uint8_t mipmapState;  ///< low four bits: the device generates levels; high four: compressed
    uint8_t lockedLevel;  ///< 0xFF when no level is locked
    uint8_t mainSurface;  ///< z-buffers: on the device's own depth-stencil surface (never released)
    IDirect3DSurface9* lockedSurface;
    D3DLOCKED_RECT lockedRect;
    D3DFORMAT format;
    /// A swap chain of its own, released with the extension; null between a release of
    /// video memory and the restore that makes it again.
    IDirect3DSwapChain9* swapChain;
    HWND window; ///< that swap chain's window; set while the raster presents through one
};

/// The lower levels of a raster rebuilt from level 0 (the texture module's generator);
/// raster is the top-level raster, image null. Non-zero on success.
using D3D9MipGenerator = int32_t (*)(Raster* raster, void* image);

/// A Direct3D format's pixel value into red, green, blue, alpha, and back.
using D3D9PixelReader = Rgba (*)(uint32_t value);
using D3D9PixelWriter = uint32_t (*)(Rgba colour);

/// What a Direct3D format is to the engine.
struct D3D9FormatInfo
{
    uint8_t alpha;
    uint8_t bitsPerPixel;
    uint16_t rasterFormat; ///< the engine raster format, 0 for none
};

struct D3D9Raster
{
    static constexpr int32_t kPluginId = 0x40C;
    static constexpr int32_t kFormatTableSize = 128;

    // ---- Tables --------------------------------------------------------------------------

    /// Registers the extension; -1 when refused. Fills the format table.
    static int32_t Attach();
    static D3D9RasterExtension* Extension(Raster* raster);
    /// The entry of a Direct3D format below 128; {0, 0, 0} for any other.
    static D3D9FormatInfo FormatInfo(D3DFORMAT format);
    /// The Direct3D format of an engine base format (bits 8-11 of a raster format).
    static D3DFORMAT BaseToD3DFormat(uint32_t rasterFormat);

    // ---- The extension as other modules see it -----------------------------------------------

    /// Whether the raster's pixel format carries alpha (texture callers pass the texture's
    /// raster); 0 without a raster.
    static int32_t GetAlphaFlag(const Raster* raster);
    /// Whether the raster holds a compressed (DXT) format.
    static bool IsCompressed(const Raster* raster);
    /// The cube flag: 1 for a cube texture, else 0.
    static int32_t GetFormatBits(const Raster* raster);

    // ---- Format and size choice ---------------------------------------------------------------

    /// Clamps to the device's largest texture, rounds down to powers of two and makes the
    /// size square as the device requires. flags: the creation word (its type and mipmap flag
    /// decide whether a device that allows other sizes conditionally still rounds).
    static void AdjustSize(int32_t* width, int32_t* height, uint32_t flags);
    /// The creation word with its format replaced by the nearest one the device supports
    /// for the type. A format asked of a z-buffer or camera, and any type outside 0-5, record
    /// 0x8000000D and answer the word unchanged.
    static uint32_t ResolveFormat(uint32_t type, uint32_t flags);
    /// Stores type, flags and the resolved format in the raster, and the depth of that
    /// format (8 for a palettised one). 1.
    static int32_t SetTypeAndFormat(Raster* raster, uint32_t flags);

    // ---- Objects -------------------------------------------------------------------------------

    /// Makes the texture behind a normal or texture raster whose format is chosen (a cube
    /// texture when the extension's cube flag is set). 1, or 0 with core code 2.
    static int32_t CreateTexture(Raster* raster);

    // ---- Standard functions ----------------------------------------------------------------

    /// in = raster, number = creation flags. Chooses a format the device supports for the
    /// type and makes the Direct3D object. 1, or 0 with the cause recorded.
    static int32_t Create(void* out, void* in, int32_t number);
    /// in = raster. 1, or 0 for a type outside 0 to 5.
    static int32_t Destroy(void* out, void* in, int32_t number);
    /// out = sub-raster, in = the raster it views: takes its stride, depth, type and format.
    static int32_t SubRaster(void* out, void* in, int32_t number);
    /// out = uint8_t* pixels, in = raster, number = level << 8 | mode. Textures lock their
    /// level; camera rasters and camera textures lock a system-memory copy (filled from the
    /// target when reading). 1, or 0 (0x8000000E when locked already or not lockable).
    static int32_t Lock(void* out, void* in, int32_t number);
    /// in = raster. A written copy goes back onto its target. 1, or 0 with 0x80000011.
    static int32_t Unlock(void* out, void* in, int32_t number);
    /// out = uint8_t* palette, in = raster, number = mode. 1, or 0 with 0x8000000E.
    static int32_t LockPalette(void* out, void* in, int32_t number);
    /// in = raster. A palette locked for writing goes to the device. 1, or 0 with 0x80000011.
    static int32_t UnlockPalette(void* out, void* in, int32_t number);
    /// out = int32_t count, in = raster. 1.
    static int32_t GetMipLevels(void* out, void* in, int32_t number);
    /// in = the raster that clear and render draw into from now on. 1.
    static int32_t SetContext(void* out, void* in, int32_t number);
    /// number = pixel value in the context's format: fills the whole context raster. 1, or 0.
    static int32_t Clear(void* out, void* in, int32_t number);
    /// out = RasterRect in the context, number = pixel value. 1, or 0.
    static int32_t ClearRect(void* out, void* in, int32_t number);
    /// out = source raster, in = int32_t position {x, y} in the context, blended. 1, or 0
    /// with core code 2 for a combination the device cannot draw.
    static int32_t Render(void* out, void* in, int32_t number);
    /// out = source raster, in = RasterRect it is stretched to, blended. 1, or 0.
    static int32_t RenderScaled(void* out, void* in, int32_t number);
    /// As Render, without blending. 1, or 0.
    static int32_t RenderFast(void* out, void* in, int32_t number);
    /// out = the texture's raster field (Raster**), in = raster. 1.
    static int32_t TextureSetRaster(void* out, void* in, int32_t number);
    /// The raster clear and render draw into, or null.
    static Raster* GetContext();
    /// The generator unlock calls after level 0 of a raster with automatic mipmaps was
    /// written on a device that does not make the levels itself; null makes none.
    static void SetMipGenerator(D3D9MipGenerator generator);

    // ---- Around a device reset ----------------------------------------------------------------------

    /// Before a reset: releases the default-pool objects and extra swap chains of every
    /// listed raster, so that the reset can succeed.
    static void ReleaseVideoMemory();
    /// After a reset: makes them again, takes the device's new surfaces and sizes, and sets
    /// the palettes again. 1 when every listed raster was restored, else 0 (the walk goes on).
    static int32_t RestoreVideoMemory();

    // ---- Images and colours ----------------------------------------------------------------------------

    /// out = uint32_t pixel value, in = Rgba, number = engine raster format (0 counts as
    /// 8888). 1, or 0 with 0x8000000D for a format it does not know.
    static int32_t RGBToPixel(void* out, void* in, int32_t number);
    /// out = Rgba, in = uint32_t pixel value, number = engine raster format; a palettised
    /// format's value is a colour already. 1, or 0 with 0x8000000D.
    static int32_t PixelToRGB(void* out, void* in, int32_t number);
    /// Null for a format without one.
    static D3D9PixelReader GetPixelReader(D3DFORMAT format);
    static D3D9PixelWriter GetPixelWriter(D3DFORMAT format);
    /// The engine raster format an image needs on this device (palettised images stay
    /// palettised; 32-bit images by the alpha they use).
    static uint32_t AnalyseImageFormat(const Image* image);
    /// out = a raster record to fill (size, type, format, depth), in = image, number = the
    /// creation word. 1, or 0 (0x8000000D for a type it does not handle).
    static int32_t FindImageFormat(void* out, void* in, int32_t number);
    /// out = raster, in = image: writes the image (resampled to the raster's size when they
    /// differ) into level 0, locking what is not locked already. 1, or 0 with the cause
    /// recorded (core code 2 for a compressed raster, 0x8000000C for a depth or format
    /// without a converter).
    static int32_t FromImage(void* out, void* in, int32_t number);
    /// out = image of the raster's size, in = raster: reads the pixels (32-bit images from
    /// any raster with a reader, 8-bit images from 8-bit palettised or luminance rasters).
    /// 1, or 0 with the cause recorded.
    static int32_t ToImage(void* out, void* in, int32_t number);
    /// Into a locked 8-bit raster of the image's size: palettised rasters take indices (a
    /// 32-bit image is quantised first), luminance rasters converted colours. 1, or 0.
    static int32_t WriteImage8(Raster* raster, const Image* image);
    /// Into a locked 32-bit raster of the image's size; sets the raster's alpha flag. 1, or 0
    /// (0x8000000C for a format without a writer).
    static int32_t WriteImage32(Raster* raster, const Image* image);

    // ---- Rasters of Direct3D formats ----------------------------------------------------------------------

    /// A raster holding a texture of the Direct3D format (for native textures), or null when
    /// the device does not support it or creation fails.
    static Raster* CreateFromD3DFormat(int32_t width, int32_t height, D3DFORMAT format, uint32_t flags);
    /// Remakes the raster in a format the device supports for its type (8888, 4444 or 1555
    /// with alpha, 888 or 565 without) and writes its pixels back. 1, or 0 with the raster
    /// unchanged when its pixels cannot be read.
    static int32_t ConvertToSupportedFormat(Raster* raster);

    // ---- The driver's raster module (device start to stop) ----------------------------------------

    static int32_t Open();
    static void Close();
    /// Whether the raster is on the list of rasters whose objects live in video memory.
    static bool IsListed(const Raster* raster);
    /// Palette numbers handed out and not yet returned.
    static int32_t PalettesInUse();
};
