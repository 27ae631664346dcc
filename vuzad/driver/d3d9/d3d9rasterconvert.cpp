// Images into and out of Direct3D 9 rasters: the raster format an image needs, writing an
// image into a locked raster of 8, 16 or 32 bits per pixel (palettes quantised where the
// raster needs them) and reading a raster back into an image (standard functions 6, 7, 9).
#include "d3d9raster.h"
#include "d3d9raster_local.h"

#include "error.h"
#include "image.h"
#include "palettequantizer.h"

#include <cstring>

using namespace d3d9raster;

namespace
{

constexpr uint32_t kPalettised = kRasterFormatPal8 | kRasterFormatPal4;
constexpr uint32_t kMipmapFlags = kRasterFormatMipmap | kRasterFormatAutoMipmap;

void ReportDepth()
{
    Error::Report(0, kErrConvertDepth);
}

bool IsPalettised(const Raster* raster)
{
    return (Raster::FormatFlags(raster) & kPalettised) != 0;
}

uint32_t BaseOfRaster(const Raster* raster)
{
    return BaseOf(Raster::FormatFlags(raster));
}

/// Image rows can be read: pixels exist, each row holds its pixels, palettised images have
/// their palette.
bool Readable(const Image* image)
{
    bool palettised = image->depth == 4 || image->depth == 8;
    return image->pixels && image->width >= 0 && image->height >= 0 && image->stride >= Image::RowBytes(image) &&
           (!palettised || image->palette);
}

const uint8_t* ImageRow(const Image* image, int32_t y)
{
    return image->pixels + size_t(y) * size_t(image->stride);
}

uint8_t* RasterRow(const Raster* raster, int32_t y)
{
    return raster->pixels + size_t(y) * size_t(raster->stride);
}

Rgba ColourAt(const uint8_t* bytes)
{
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

void SetAlpha(Raster* raster, uint8_t alpha)
{
    D3D9Raster::Extension(raster)->alpha = alpha;
    if (alpha && raster->parent != raster)
        D3D9Raster::Extension(raster->parent)->alpha = 1;
}

/// Writes each pixel of the image as a value of bytesPerPixel bytes: palettised images through
/// a table of their converted entries, 32-bit images one by one.
template <typename Convert> void WritePixels(Raster* raster, const Image* image, int32_t bytesPerPixel, Convert convert)
{
    uint32_t table[256];
    bool palettised = image->depth != 32;
    if (palettised)
        for (int32_t i = 0; i < (1 << image->depth); ++i)
            table[i] = convert(ColourAt(image->palette + 4 * i));
    uint32_t mask = Image::IndexMask(image->depth);
    for (int32_t y = 0; y < image->height; ++y)
    {
        const uint8_t* in = ImageRow(image, y);
        uint8_t* out = RasterRow(raster, y);
        for (int32_t x = 0; x < image->width; ++x)
        {
            uint32_t value = palettised ? table[in[x] & mask] : convert(ColourAt(in + 4 * x));
            std::memcpy(out + size_t(x) * size_t(bytesPerPixel), &value, size_t(bytesPerPixel));
        }
    }
}

// ---- 8-bit luminance rasters ----------------------------------------------------------------------------

uint32_t LuminanceValue(Rgba c, D3DFORMAT format)
{
    uint32_t luminance = 30u * c.red + 59u * c.green + 11u * c.blue;
    switch (format)
    {
    case D3DFMT_R3G3B2:
        return uint32_t(c.red & 0xE0) + (uint32_t(c.green & 0xE0) >> 3) + (c.blue >> 6);
    case D3DFMT_A4L4:
        return uint32_t(c.alpha & 0xF0) + luminance / 1600;
    case D3DFMT_A8:
        return c.alpha;
    default:
        return luminance / 100 * c.alpha / 255;
    }
}

// ---- 8-bit palettised rasters ------------------------------------------------------------------------------

void WriteIndices(Raster* raster, const Image* image)
{
    uint32_t mask = Image::IndexMask(image->depth);
    for (int32_t y = 0; y < image->height; ++y)
    {
        const uint8_t* in = ImageRow(image, y);
        uint8_t* out = RasterRow(raster, y);
        for (int32_t x = 0; x < image->width; ++x)
            out[x] = uint8_t(in[x] & mask);
    }
    // Only level 0 carries the palette the texture's levels share.
    if (D3D9Raster::Extension(raster->parent)->lockedLevel == 0 && raster->palette)
        std::memcpy(raster->palette, image->palette, size_t(4) << image->depth);
}

/// A palettised copy of a 32-bit image, its palette made for it; null on failure.
Image* Quantise(const Image* image, int32_t depth, int32_t* colours)
{
    Image* palettised = Image::Create(image->width, image->height, depth);
    if (!palettised)
        return nullptr;
    PaletteQuantizer* quantizer = new PaletteQuantizer;
    bool done = Image::AllocatePixels(palettised) && PaletteQuantizer::Init(quantizer) &&
                PaletteQuantizer::AddImage(quantizer, image, 1.0f);
    if (done)
    {
        *colours = PaletteQuantizer::MakePalette(palettised->palette, 1 << depth, quantizer);
        done =
            PaletteQuantizer::MatchImage(palettised->pixels, palettised->stride, depth, 0, quantizer, image) != nullptr;
    }
    PaletteQuantizer::Term(quantizer);
    delete quantizer;
    if (!done)
    {
        Image::Destroy(palettised);
        return nullptr;
    }
    return palettised;
}

// ---- 16-bit and 32-bit readers that are not in the table ---------------------------------------------------

Rgba ReadA2R10G10B10(uint32_t v)
{
    return {uint8_t(v >> 22), uint8_t(v >> 12), uint8_t(v >> 2), uint8_t((v >> 30) * 85)};
}

D3D9PixelReader ReaderOf(D3DFORMAT format)
{
    return format == D3DFMT_A2R10G10B10 ? ReadA2R10G10B10 : D3D9Raster::GetPixelReader(format);
}

} // namespace

// ---- The format an image needs ------------------------------------------------------------------------

uint32_t D3D9Raster::AnalyseImageFormat(const Image* image)
{
    if (image->depth == 4 || image->depth == 8)
    {
        uint32_t palette = image->depth == 4 ? kRasterFormatPal4 : kRasterFormatPal8;
        if (!Readable(image))
            return palette | kRasterFormat888;
        int32_t entries = 1 << image->depth;
        bool opaque = true;
        for (int32_t i = 0; i < entries && opaque; ++i)
            opaque = image->palette[4 * i + 3] == 255;
        if (opaque)
            return palette | kRasterFormat888;
        // Translucent entries count only when a pixel uses them.
        uint32_t mask = Image::IndexMask(image->depth);
        for (int32_t y = 0; y < image->height; ++y)
        {
            const uint8_t* row = ImageRow(image, y);
            for (int32_t x = 0; x < image->width; ++x)
                if (image->palette[4 * (row[x] & mask) + 3] != 255)
                    return palette | kRasterFormat8888;
        }
        return palette | kRasterFormat888;
    }
    bool deep = DisplayDepth() > 16;
    bool has8888 = SupportsTextureFormat(D3DFMT_A8R8G8B8);
    if (image->depth != 32 || !Readable(image))
        return kRasterFormatDefault;
    bool lowAlpha = false;
    for (int32_t y = 0; y < image->height; ++y)
    {
        const uint8_t* row = ImageRow(image, y);
        for (int32_t x = 0; x < image->width; ++x)
        {
            uint8_t alpha = row[4 * x + 3];
            if (alpha >= 16 && alpha < 255)
            {
                if (deep && has8888)
                    return kRasterFormat8888;
                return SupportsTextureFormat(D3DFMT_A4R4G4B4) ? kRasterFormat4444 : kRasterFormat1555;
            }
            lowAlpha = lowAlpha || alpha < 16;
        }
    }
    if (lowAlpha)
        return (!deep || !has8888) ? kRasterFormat1555 : kRasterFormat8888;
    return (!deep || !SupportsTextureFormat(D3DFMT_X8R8G8B8)) ? kRasterFormat565 : kRasterFormat888;
}

int32_t D3D9Raster::FindImageFormat(void* out, void* in, int32_t number)
{
    auto* raster = static_cast<Raster*>(out);
    const auto* image = static_cast<const Image*>(in);
    uint32_t flags = uint32_t(number);
    raster->width = image->width;
    raster->height = image->height;
    raster->depth = 0;
    switch (flags & kRasterTypeMask)
    {
    case kRasterTypeNormal:
        AdjustSize(&raster->width, &raster->height, flags);
        // The image decides the pixel format; the word's own format gives way to it.
        return SetTypeAndFormat(raster, (flags & ~(kRasterFormatPixelMask | kMipmapFlags)) | AnalyseImageFormat(image));
    case kRasterTypeZBuffer:
    case kRasterTypeCamera:
        return SetTypeAndFormat(raster, flags);
    case kRasterTypeTexture:
    case kRasterTypeCameraTexture:
        AdjustSize(&raster->width, &raster->height, flags);
        return SetTypeAndFormat(raster, (flags & (kMipmapFlags | kRasterTypeMask)) | AnalyseImageFormat(image));
    default:
        Error::Report(0, kErrRasterFormat);
        return 0;
    }
}

// ---- Writing images into locked rasters ------------------------------------------------------------------

int32_t D3D9Raster::WriteImage8(Raster* raster, const Image* image)
{
    D3D9RasterExtension* top = Extension(raster->parent);
    if (!IsPalettised(raster))
    {
        D3DFORMAT format = top->format;
        WritePixels(raster, image, 1, [format](Rgba c) { return LuminanceValue(c, format); });
        return 1;
    }
    if (image->depth == 4 || image->depth == 8)
    {
        WriteIndices(raster, image);
        return 1;
    }
    int32_t colours = 0;
    Image* palettised = Quantise(image, raster->depth, &colours);
    if (!palettised)
        return 0;
    if (top->alpha)
    {
        bool opaque = true;
        for (int32_t i = 0; i < colours && opaque; ++i)
            opaque = palettised->palette[4 * i + 3] == 255;
        if (opaque)
        {
            // The palette carries no alpha after all: the raster says so and blends cheaper.
            raster->format = uint8_t((raster->format & 0xF0) | (kRasterFormat888 >> 8));
            if (raster->parent != raster)
                raster->parent->format = uint8_t((raster->parent->format & 0xF0) | (kRasterFormat888 >> 8));
            top->alpha = 0;
            Extension(raster)->alpha = 0;
        }
    }
    WriteIndices(raster, palettised);
    Image::Destroy(palettised);
    return 1;
}

int32_t D3D9Raster::WriteImage32(Raster* raster, const Image* image)
{
    D3D9RasterExtension* top = Extension(raster->parent);
    uint32_t base = BaseOfRaster(raster);
    D3D9PixelWriter writer = nullptr;
    uint8_t alpha = 0;
    if (base == BaseOf(kRasterFormat888))
    {
        writer = GetPixelWriter(D3DFMT_X8R8G8B8);
    }
    else if (base == BaseOf(kRasterFormat8888))
    {
        writer = GetPixelWriter(D3DFMT_A8R8G8B8);
        alpha = 1;
    }
    else
    {
        // Other 32-bit formats: the flag tells whether their pixels carry alpha.
        writer = GetPixelWriter(top->format);
        alpha = FormatInfo(top->format).alpha;
    }
    if (!writer || raster->depth != 32)
    {
        ReportDepth();
        return 0;
    }
    WritePixels(raster, image, 4, writer);
    SetAlpha(raster, alpha);
    return 1;
}

int32_t D3D9Raster::FromImage(void* out, void* in, int32_t)
{
    auto* raster = static_cast<Raster*>(out);
    const auto* source = static_cast<const Image*>(in);
    Raster* top = raster->parent;
    D3D9RasterExtension* topExt = Extension(top);
    if (IsCompressed(top))
    {
        ReportDevice("Cannot convert an image into a compressed raster.");
        return 0;
    }
    if (!Readable(source) || (source->depth != 4 && source->depth != 8 && source->depth != 32))
    {
        Error::Report(0, source->depth == 32 || source->depth == 8 || source->depth == 4 ? kErrNullArgument
                                                                                         : kErrImageFormat);
        return 0;
    }

    uint8_t alpha = 0;
    if (raster->type == kRasterTypeNormal)
        alpha = Base(BaseOf(AnalyseImageFormat(source))).alpha;
    else if (topExt->format == D3DFMT_P8)
        alpha = BaseOfRaster(raster) == BaseOf(kRasterFormat8888);
    else
        alpha = FormatInfo(topExt->format).alpha;

    // The raster keeps its has-alpha flag when the lock fails.
    bool lockedHere = false;
    bool paletteLockedHere = false;
    if (!(raster->privateFlags & kRasterLockedWrite))
    {
        if (!Raster::Lock(raster, 0, kRasterLockWrite | kRasterLockNoFetch))
            return 0;
        lockedHere = true;
    }
    SetAlpha(raster, alpha);
    if (IsPalettised(raster) && !(raster->privateFlags & kRasterPaletteLockedWrite))
        paletteLockedHere = Raster::LockPalette(raster, kRasterLockWrite | kRasterLockNoFetch) != nullptr;

    // An image of another size is written through a resampled copy; the caller's stays.
    const Image* image = source;
    Image* resampled = nullptr;
    if (source->width != raster->width || source->height != raster->height)
        image = resampled = Image::CreateResampled(source, raster->width, raster->height);

    int32_t answer = 0;
    if (!image)
        answer = 0;
    else if (raster->depth == 4 || raster->depth == 8)
        answer = WriteImage8(raster, image);
    else if (raster->depth == 16)
    {
        D3D9PixelWriter writer = GetPixelWriter(topExt->format);
        if (writer)
        {
            WritePixels(raster, image, 2, writer);
            answer = 1;
        }
        else
            ReportDepth();
    }
    else if (raster->depth == 24 || raster->depth == 32)
        answer = WriteImage32(raster, image);
    else
        ReportDepth(); // 64 and 128 bits per pixel have no converter: nothing is written

    if (paletteLockedHere)
        Raster::UnlockPalette(raster);
    if (lockedHere)
        Raster::Unlock(raster);
    if (resampled)
        Image::Destroy(resampled);
    return answer;
}

// ---- Reading rasters into images ---------------------------------------------------------------------------

int32_t D3D9Raster::ToImage(void* out, void* in, int32_t)
{
    auto* image = static_cast<Image*>(out);
    auto* raster = static_cast<Raster*>(in);
    Raster* top = raster->parent;
    D3D9RasterExtension* topExt = Extension(top);
    if (IsCompressed(top))
    {
        ReportDevice("Cannot convert a compressed raster into an image.");
        return 0;
    }
    bool lockedHere = false;
    bool paletteLockedHere = false;
    if (!(raster->privateFlags & kRasterLockedRead))
    {
        if (!Raster::Lock(raster, 0, kRasterLockRead))
            return 0;
        lockedHere = true;
    }
    if (IsPalettised(raster) && !(raster->privateFlags & kRasterPaletteLocked))
        paletteLockedHere = Raster::LockPalette(raster, kRasterLockRead) != nullptr;

    int32_t answer = 0;
    if (image->width != raster->width || image->height != raster->height)
        Error::Report(0, kErrImageSize); // a smaller image would be overrun
    else if (!Readable(image))
        Error::Report(0, kErrNullArgument);
    else if (image->depth == 32)
    {
        int32_t bytes = raster->depth / 8;
        D3D9PixelReader reader = ReaderOf(topExt->format);
        bool palette = (raster->depth == 4 || raster->depth == 8) && IsPalettised(raster) && raster->palette;
        if (raster->depth == 4 || raster->depth == 8)
            bytes = 1;
        if (!palette && (!reader || bytes * 8 != FormatInfo(topExt->format).bitsPerPixel))
            ReportDepth();
        else
        {
            for (int32_t y = 0; y < image->height; ++y)
            {
                const uint8_t* row = RasterRow(raster, y);
                uint8_t* pixel = image->pixels + size_t(y) * size_t(image->stride);
                for (int32_t x = 0; x < image->width; ++x, pixel += 4)
                {
                    if (palette)
                    {
                        std::memcpy(pixel, raster->palette + 4 * size_t(row[x]), 4);
                        continue;
                    }
                    // An 8-bit raster without a palette: luminance (L8) gives red = green =
                    // blue = the pixel and alpha 255 through its reader; A8 holds alpha
                    // only, so it keeps its reading as white with that alpha.
                    uint32_t value = 0;
                    std::memcpy(&value, row + size_t(x) * size_t(bytes), size_t(bytes));
                    Rgba c = reader(value);
                    std::memcpy(pixel, &c, 4);
                }
            }
            answer = 1;
        }
    }
    else if (image->depth == 8 && raster->depth == 8 && BaseOfRaster(raster) != 0 &&
             (IsPalettised(raster) || BaseOfRaster(raster) == BaseOf(kRasterFormatLum8)))
    {
        for (int32_t y = 0; y < image->height; ++y)
            std::memcpy(image->pixels + size_t(y) * size_t(image->stride), RasterRow(raster, y), size_t(image->width));
        if (raster->palette)
            std::memcpy(image->palette, raster->palette, 1024);
        else
            for (int32_t i = 0; i < 256; ++i)
            {
                const uint8_t ramp[4] = {uint8_t(i), uint8_t(i), uint8_t(i), 255};
                std::memcpy(image->palette + 4 * i, ramp, 4);
            }
        answer = 1;
    }
    else
        ReportDevice("Cannot convert this raster into this image.");

    if (paletteLockedHere)
        Raster::UnlockPalette(raster);
    if (lockedHere)
        Raster::Unlock(raster);
    return answer;
}
