// Texture loading: image files (and masks) fitted to the raster the device chooses,
// palettes shared across mip levels, level files named by suffix, and the rebuild of the
// lower levels from level 0 for rasters whose levels are generated.
#include "texture.h"

#include "error.h"
#include "image.h"
#include "memory.h"
#include "palettequantizer.h"
#include "raster.h"
#include "texture_local.h"

#include <cstring>
#include <vector>

namespace
{

constexpr uint32_t kPalettised = kRasterFormatPal8 | kRasterFormatPal4;
constexpr uint32_t kLockLevelWrite = 5; // write, no fetch of the old pixels
constexpr int32_t kMaxLevels = 16;

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

// The caller's name into a loader buffer: at most 255 characters kept, so the buffer
// always has room left for an extension and a level suffix.
void CopyFileName(char* buffer, const char* name)
{
    if (!name)
        name = "";
    size_t length = std::strlen(name);
    if (length > size_t(kTextureFileNameLength))
    {
        Report(Error::MakeCode(kErrNameTruncated, name));
        length = kTextureFileNameLength;
    }
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
}

// Appends when the whole suffix fits the buffer; else reports and leaves it.
bool Append(char* buffer, const char* suffix)
{
    size_t length = std::strlen(buffer), extra = std::strlen(suffix);
    if (length + extra >= size_t(kTextureFileNameSize))
    {
        Report(Error::MakeCode(kErrNameTruncated, buffer));
        return false;
    }
    std::memcpy(buffer + length, suffix, extra + 1);
    return true;
}

void AppendExtension(char* buffer)
{
    if (const char* extension = Image::FindFileExtension(buffer))
        Append(buffer, extension);
}

int32_t IndexDepth(uint32_t format)
{
    return (format & kRasterFormatPal4) ? 4 : 8;
}

// A quantiser is large; it lives on the heap for the duration of one step.
struct Quantizer
{
    PaletteQuantizer* q = nullptr;
    bool started = false;
    bool Start()
    {
        q = static_cast<PaletteQuantizer*>(Memory::AllocateZeroed(1, sizeof(PaletteQuantizer), kMemoryHintTemporary));
        started = q && PaletteQuantizer::Init(q);
        return started;
    }
    ~Quantizer()
    {
        if (started)
            PaletteQuantizer::Term(q);
        Memory::Free(q);
    }
};

// A new image of the index depth with each pixel's nearest palette index; null on failure.
Image* Palettise(Quantizer& quantizer, const Image* source, int32_t indexDepth, const uint8_t* palette)
{
    Image* image = Image::Create(source->width, source->height, indexDepth);
    if (!image)
        return nullptr;
    if (!Image::AllocatePixels(image) ||
        !PaletteQuantizer::MatchImage(image->pixels, image->stride, indexDepth, 0, quantizer.q, source))
    {
        Image::Destroy(image);
        return nullptr;
    }
    std::memcpy(image->palette, palette, size_t(4) << indexDepth);
    image->flags |= source->flags & kImageGammaCorrected;
    return image;
}

// One palette for all images. When they already share one it is kept; otherwise every
// image is replaced by one of the index depth over a palette made for all of them
// (keep: an image the caller owns, never destroyed here). False when no palette results.
bool SharePalette(std::vector<Image*>& images, int32_t indexDepth, uint8_t* paletteOut, const Image* keep)
{
    size_t paletteBytes = size_t(4) << indexDepth;
    bool shared = true;
    for (const Image* image : images)
        if (!image->palette || image->depth != indexDepth ||
            std::memcmp(image->palette, images[0]->palette, paletteBytes) != 0)
            shared = false;
    if (shared)
    {
        std::memcpy(paletteOut, images[0]->palette, paletteBytes);
        return true;
    }
    Quantizer quantizer;
    if (!quantizer.Start())
        return false;
    for (const Image* image : images)
        if (!PaletteQuantizer::AddImage(quantizer.q, image, 1.0f))
            return false;
    std::memset(paletteOut, 0, paletteBytes);
    PaletteQuantizer::MakePalette(paletteOut, 1 << indexDepth, quantizer.q);
    std::vector<Image*> made;
    for (const Image* image : images)
    {
        Image* palettised = Palettise(quantizer, image, indexDepth, paletteOut);
        if (!palettised)
        {
            for (Image* m : made)
                Image::Destroy(m);
            return false;
        }
        made.push_back(palettised);
    }
    for (size_t i = 0; i < images.size(); ++i)
    {
        if (images[i] != keep)
            Image::Destroy(images[i]);
        images[i] = made[i];
    }
    return true;
}

void DestroyAll(std::vector<Image*>& images, const Image* keep = nullptr)
{
    for (Image* image : images)
        if (image && image != keep)
            Image::Destroy(image);
    images.clear();
}

// Writes each level's image into the raster; a level that cannot be locked is skipped.
bool WriteLevels(Raster* raster, const std::vector<Image*>& images, int32_t firstLevel)
{
    for (size_t i = 0; i < images.size(); ++i)
    {
        if (!Raster::Lock(raster, uint8_t(firstLevel + int32_t(i)), kLockLevelWrite))
            continue;
        bool written = Raster::SetFromImage(raster, images[i]) != nullptr;
        Raster::Unlock(raster);
        if (!written)
            return false;
    }
    return true;
}

// An image corrected once is never corrected again (levels resampled from a corrected
// level 0 carry its flag).
void Correct(Image* image)
{
    if (!(image->flags & kImageGammaCorrected))
        Image::GammaCorrect(image);
}

// Palettised rasters share one palette over all levels and correct it once; others
// correct every level.
bool PrepareLevels(Raster* raster, std::vector<Image*>& images, const Image* keep)
{
    uint32_t format = Raster::FormatFlags(raster);
    if (format & kPalettised)
    {
        uint8_t palette[256 * 4];
        if (!SharePalette(images, IndexDepth(format), palette, keep))
            return false;
        Correct(images[0]);
        return true;
    }
    for (Image* image : images)
        Correct(image);
    return true;
}

Texture* MakeTexture(Raster* raster, const char* name, const char* maskName)
{
    Texture* texture = Texture::Create(raster);
    if (!texture)
    {
        Raster::Destroy(raster);
        return nullptr;
    }
    Texture::SetName(texture, name);
    Texture::SetMaskName(texture, maskName ? maskName : "");
    return texture;
}

// Level 0 written as it is, palettised first for a palettised raster.
bool WriteSingle(Raster* raster, Image*& image)
{
    std::vector<Image*> images = {image};
    bool ok = PrepareLevels(raster, images, nullptr);
    image = images[0];
    return ok && Raster::SetFromImage(raster, image);
}

Texture* ReadMipmapped(const char* name, const char* maskName, bool automatic)
{
    char nameBuffer[kTextureFileNameSize], maskBuffer[kTextureFileNameSize];
    CopyFileName(nameBuffer, name);
    CopyFileName(maskBuffer, maskName);
    uint32_t flags = kRasterTypeTexture | kRasterFormatMipmap | (automatic ? kRasterFormatAutoMipmap : 0);
    Texture::MipLevelName(nameBuffer, maskBuffer, 0, flags);
    int32_t width = 0, height = 0, depth = 0;
    uint32_t format = 0;
    Image* image = Texture::ReadImageForRaster(nameBuffer, maskBuffer, flags, &width, &height, &depth, &format);
    if (!image)
        return nullptr;
    Raster* raster = Raster::Create(width, height, depth, format);
    if (!raster)
    {
        Image::Destroy(image);
        return nullptr;
    }
    uint32_t rasterFormat = Raster::FormatFlags(raster);
    bool ok = true;
    if (!(rasterFormat & kRasterFormatMipmap) || (rasterFormat & kRasterFormatAutoMipmap))
    {
        // Without levels, or with levels the device's unlock makes from level 0.
        // Level 0 is corrected here, so the levels made from it are not corrected twice.
        if (rasterFormat & kRasterFormatAutoMipmap)
            ok = Image::GammaCorrect(image) && Raster::SetFromImage(raster, image);
        else
            ok = WriteSingle(raster, image);
        Image::Destroy(image);
    }
    else
    {
        std::vector<Image*> images = {image};
        int32_t levels = Raster::GetNumLevels(raster);
        for (int32_t level = 1; ok && level < levels && level < kMaxLevels; ++level)
        {
            CopyFileName(nameBuffer, name);
            CopyFileName(maskBuffer, maskName);
            Texture::MipLevelName(nameBuffer, maskBuffer, level, flags);
            if (!Raster::Lock(raster, uint8_t(level), kLockLevelWrite))
            {
                ok = false;
                break;
            }
            int32_t w = raster->width, h = raster->height, d = 0;
            uint32_t f = 0;
            Raster::Unlock(raster);
            Image* levelImage = Texture::ReadImageForRaster(nameBuffer, maskBuffer, flags, &w, &h, &d, &f);
            if (!levelImage)
                ok = false;
            else
                images.push_back(levelImage);
        }
        ok = ok && PrepareLevels(raster, images, nullptr) && WriteLevels(raster, images, 0);
        DestroyAll(images);
    }
    if (!ok)
    {
        Raster::Destroy(raster);
        return nullptr;
    }
    return MakeTexture(raster, name, maskName);
}

} // namespace

// ---- Loading ---------------------------------------------------------------------------------------

Texture* Texture::DefaultRead(const char* name, const char* maskName)
{
    if (!name)
        return nullptr;
    TextureModuleBlock* block = texturemodule::Block();
    if (block && block->mipmapping)
        return ReadMipmapped(name, maskName, block->autoMipmapping != 0);
    char nameBuffer[kTextureFileNameSize], maskBuffer[kTextureFileNameSize];
    CopyFileName(nameBuffer, name);
    CopyFileName(maskBuffer, maskName);
    MipLevelName(nameBuffer, maskBuffer, 0, kRasterTypeTexture);
    int32_t width = 0, height = 0, depth = 0;
    uint32_t format = 0;
    Image* image = ReadImageForRaster(nameBuffer, maskBuffer, kRasterTypeTexture, &width, &height, &depth, &format);
    if (!image)
        return nullptr;
    Raster* raster = Raster::Create(width, height, depth, format);
    if (!raster)
    {
        Image::Destroy(image);
        return nullptr;
    }
    bool ok = WriteSingle(raster, image);
    Image::Destroy(image);
    if (!ok)
    {
        Raster::Destroy(raster);
        return nullptr;
    }
    return MakeTexture(raster, name, maskName);
}

Image* Texture::ReadImageForRaster(const char* name, const char* maskName, uint32_t rasterFlags, int32_t* width,
                                   int32_t* height, int32_t* depth, uint32_t* format)
{
    char nameBuffer[kTextureFileNameSize], maskBuffer[kTextureFileNameSize];
    CopyFileName(nameBuffer, name);
    AppendExtension(nameBuffer);
    CopyFileName(maskBuffer, maskName);
    if (maskBuffer[0])
        AppendExtension(maskBuffer);
    Image* image = Image::ReadMasked(nameBuffer, maskBuffer[0] ? maskBuffer : nullptr);
    if (!image)
        return nullptr;
    if (*width == 0 || *height == 0)
    {
        if (!Image::FindRasterFormat(image, rasterFlags, width, height, depth, format))
        {
            Image::Destroy(image);
            Report(Error::MakeCode(kErrImageFormat));
            return nullptr;
        }
    }
    if (image->width == *width && image->height == *height)
        return image;

    int32_t originalDepth = image->depth;
    Image* full = image;
    if (image->depth != 32)
    {
        full = Image::Create(image->width, image->height, 32);
        if (!full || !Image::AllocatePixels(full) || !Image::CopyInto(full, image))
        {
            if (full)
                Image::Destroy(full);
            Image::Destroy(image);
            return nullptr;
        }
        Image::Destroy(image);
    }
    Image* resampled = Image::Create(*width, *height, 32);
    if (!resampled || !Image::AllocatePixels(resampled) || !Image::Resample(resampled, full))
    {
        if (resampled)
            Image::Destroy(resampled);
        Image::Destroy(full);
        return nullptr;
    }
    Image::Destroy(full);
    if (originalDepth != 4 && originalDepth != 8)
        return resampled;

    // Palettised again over a palette made for the resampled colours; when that cannot be
    // done the 32-bit image still serves.
    uint8_t palette[256 * 4] = {};
    Quantizer quantizer;
    if (!quantizer.Start() || !PaletteQuantizer::AddImage(quantizer.q, resampled, 1.0f))
        return resampled;
    PaletteQuantizer::MakePalette(palette, 1 << originalDepth, quantizer.q);
    Image* palettised = Palettise(quantizer, resampled, originalDepth, palette);
    if (!palettised)
        return resampled;
    Image::Destroy(resampled);
    return palettised;
}

int32_t Texture::MipLevelName(char* name, char* maskName, int32_t level, uint32_t)
{
    if (level < 1 || level > 15)
        return 1;
    char suffix[3] = {'m', "0123456789abcdef"[level], '\0'};
    Append(name, suffix);
    if (maskName && maskName[0])
        Append(maskName, suffix);
    return 1;
}

// ---- Generated levels ----------------------------------------------------------------------------------

int32_t Texture::GenerateMipLevels(Raster* raster, Image* image)
{
    Image* level0 = image;
    if (!image)
    {
        level0 = Image::Create(raster->width, raster->height, 32);
        if (!level0 || !Image::AllocatePixels(level0) || !Image::SetFromRaster(level0, raster))
        {
            if (level0)
                Image::Destroy(level0);
            return 0;
        }
    }
    else if (image->depth != 32)
    {
        level0 = Image::Create(image->width, image->height, 32);
        if (!level0 || !Image::AllocatePixels(level0) || !Image::CopyInto(level0, image))
        {
            if (level0)
                Image::Destroy(level0);
            return 0;
        }
    }
    const Image* keep = image;

    // The unlocks below must not come back here.
    uint8_t savedFormat = raster->format;
    raster->format &= uint8_t(~(kRasterFormatAutoMipmap >> 8));
    std::vector<Image*> images = {level0};
    int32_t levels = Raster::GetNumLevels(raster);
    bool ok = true;
    for (int32_t level = 1; level < levels && level < kMaxLevels; ++level)
    {
        if (!Raster::Lock(raster, uint8_t(level), kRasterLockRead))
        {
            ok = false;
            break;
        }
        int32_t w = raster->width, h = raster->height;
        Raster::Unlock(raster);
        Image* next = Image::CreateResampled(images.back(), w, h);
        if (!next)
        {
            ok = false;
            break;
        }
        images.push_back(next);
    }
    // Level 0 is not rewritten: only the images from level 1 on go to the raster.
    ok = ok && PrepareLevels(raster, images, keep);
    if (ok)
    {
        std::vector<Image*> lower(images.begin() + 1, images.end());
        ok = WriteLevels(raster, lower, 1);
    }
    DestroyAll(images, keep);
    raster->format = savedFormat;
    return ok ? 1 : 0;
}

int32_t Texture::CallMipGenerator(Raster* raster, void* image)
{
    return GenerateMipLevels(raster, static_cast<Image*>(image)) ? 1 : 0;
}
