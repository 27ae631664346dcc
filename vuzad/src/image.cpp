// Images: the record and its pixel block, copying and conversion, masks, gamma, the
// exchange with rasters through the device, and the image module's open and close.
#include "image.h"
#include "image_local.h"

#include "device.h"
#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "raster.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

namespace
{

constexpr int32_t kImagesPerBlock = 128;
constexpr int32_t kFormatsPerBlock = 128;
constexpr int32_t kInitialBufferSize = 256;

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Image)));
FreeList sImageList;
FreeList sFormatList;
ImageModuleBlock* sBlock = nullptr;

void Report(int32_t code)
{
    Error::Report(0, code);
}

int32_t PaletteEntries(int32_t depth)
{
    return (depth == 4 || depth == 8) ? (1 << depth) : 0;
}

uint8_t* Row(const Image* image, int32_t y)
{
    return image->pixels + size_t(y) * size_t(image->stride);
}

/// Rows can be read: pixels exist and each row holds its pixels.
bool HasRows(const Image* image)
{
    return image->pixels && image->width >= 0 && image->height >= 0 && image->stride >= Image::RowBytes(image);
}

int32_t CallDevice(int32_t slot, void* out, void* in, int32_t number)
{
    Engine* engine = Engine::Current();
    StandardFunction function = engine ? engine->standardFunctions[slot] : nullptr;
    return function ? function(out, in, number) : 0;
}

// Expands palettised pixels into red, green, blue, alpha through the source's palette.
void ExpandToRgba(Image* destination, const Image* source)
{
    uint32_t mask = Image::IndexMask(source->depth);
    for (int32_t y = 0; y < source->height; ++y)
    {
        const uint8_t* in = Row(source, y);
        uint8_t* out = Row(destination, y);
        for (int32_t x = 0; x < source->width; ++x)
            std::memcpy(out + 4 * x, source->palette + 4 * (in[x] & mask), 4);
    }
}

} // namespace

ImageModuleBlock* ImageModule()
{
    return sBlock;
}

// ---- Records and pixels -----------------------------------------------------------------------

Image* Image::Create(int32_t width, int32_t height, int32_t depth)
{
    if (!sBlock)
        return nullptr;
    if (width < 0 || height < 0 || depth < 1 || depth > 32)
    {
        Report(kErrBadArgument);
        return nullptr;
    }
    Engine* engine = Engine::Current();
    auto* image = static_cast<Image*>(engine->freeListFunctions.take(sBlock->images, kImageObjectHint));
    if (!image)
        return nullptr;
    *image = Image{0, width, height, depth, 0, nullptr, nullptr};
    if (!PluginRegistry::InitObject(&sRegistry, image))
    {
        engine->freeListFunctions.giveBack(sBlock->images, image);
        return nullptr;
    }
    return image;
}

int32_t Image::Destroy(Image* image)
{
    FreePixels(image);
    PluginRegistry::DeinitObject(&sRegistry, image);
    Engine::Current()->freeListFunctions.giveBack(sBlock->images, image);
    return 1;
}

Image* Image::AllocatePixels(Image* image)
{
    // The block's size is worked out in 64 bits, and kept within what an int32_t stride and
    // row offsets can address, so no size from a caller or a file can wrap it.
    constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
    if (image->width < 0 || image->height < 0 || image->depth < 1 || image->depth > 32)
    {
        Report(kErrBadArgument);
        return nullptr;
    }
    int64_t rowBytes = int64_t((image->depth + 7) / 8) * image->width;
    int64_t stride = (rowBytes + 3) & ~int64_t(3);
    int64_t paletteBytes = int64_t(PaletteEntries(image->depth)) * 4;
    if (stride > kLimit || stride * image->height > kLimit - paletteBytes)
    {
        Report(kErrBadArgument);
        return nullptr;
    }
    int64_t rowsBytes = stride * image->height;
    FreePixels(image);
    auto* block = static_cast<uint8_t*>(Memory::Allocate(size_t(rowsBytes + paletteBytes), kImageObjectHint));
    if (!block)
    {
        Report(Error::MakeCode(kErrNoMemory, rowsBytes + paletteBytes));
        return nullptr;
    }
    image->stride = int32_t(stride);
    image->pixels = block;
    image->palette = paletteBytes ? block + rowsBytes : nullptr;
    image->flags |= kImageOwnsPixels;
    return image;
}

Image* Image::FreePixels(Image* image)
{
    if (image->flags & kImageOwnsPixels)
        Memory::Free(image->pixels);
    image->pixels = nullptr;
    image->palette = nullptr;
    image->flags &= ~kImageOwnsPixels;
    return image;
}

int32_t Image::CopyPixels(Image* destination, const Image* source)
{
    if (destination->width != source->width || destination->height != source->height ||
        destination->depth != source->depth)
    {
        Report(kErrImageSize);
        return 0;
    }
    if (!HasRows(destination) || !HasRows(source))
    {
        Report(kErrNullArgument);
        return 0;
    }
    int32_t entries = PaletteEntries(source->depth);
    if (entries && destination->palette && source->palette && destination->palette != source->palette)
        std::memcpy(destination->palette, source->palette, size_t(entries) * 4);
    size_t rowBytes = size_t(RowBytes(source));
    for (int32_t y = 0; y < source->height; ++y)
        std::memmove(Row(destination, y), Row(source, y), rowBytes);
    return 1;
}

int32_t Image::ConvertPixels(Image* destination, const Image* source)
{
    int32_t from = source->depth;
    int32_t to = destination->depth;
    if (from == to && (from == 4 || from == 8 || from == 32))
        return 1;
    bool supported = (from == 4 && to == 8) || ((from == 4 || from == 8) && to == 32);
    if (!supported)
    {
        Report(kErrImageFormat);
        return 0;
    }
    if (destination->width != source->width || destination->height != source->height)
    {
        Report(kErrImageSize);
        return 0;
    }
    if (!HasRows(destination) || !HasRows(source) || !source->palette)
    {
        Report(kErrNullArgument);
        return 0;
    }
    if (to == 32)
    {
        ExpandToRgba(destination, source);
        return 1;
    }
    // 4 -> 8: the indices stay, and the palette comes along: 16 entries, the rest cleared.
    for (int32_t y = 0; y < source->height; ++y)
    {
        const uint8_t* in = Row(source, y);
        uint8_t* out = Row(destination, y);
        for (int32_t x = 0; x < source->width; ++x)
            out[x] = uint8_t(in[x] & 0x0F);
    }
    if (destination->palette)
    {
        std::memcpy(destination->palette, source->palette, 16 * 4);
        std::memset(destination->palette + 16 * 4, 0, 240 * 4);
    }
    return 1;
}

Image* Image::CopyInto(Image* destination, const Image* source)
{
    int32_t answer =
        destination->depth == source->depth ? CopyPixels(destination, source) : ConvertPixels(destination, source);
    if (!answer)
        return nullptr;
    destination->flags = (destination->flags & ~kImageGammaCorrected) | (source->flags & kImageGammaCorrected);
    return destination;
}

// ---- Masks ---------------------------------------------------------------------------------------

Image* Image::MakeMask(Image* image)
{
    auto makeAlpha = [](uint8_t* colour)
    {
        uint8_t largest = colour[0] > colour[1] ? colour[0] : colour[1];
        colour[3] = largest > colour[2] ? largest : colour[2];
    };
    int32_t entries = PaletteEntries(image->depth);
    if (entries && image->palette)
    {
        for (int32_t i = 0; i < entries; ++i)
            makeAlpha(image->palette + 4 * i);
    }
    else if (image->depth == 32 && HasRows(image))
    {
        for (int32_t y = 0; y < image->height; ++y)
        {
            uint8_t* row = Row(image, y);
            for (int32_t x = 0; x < image->width; ++x)
                makeAlpha(row + 4 * x);
        }
    }
    return image;
}

Image* Image::ApplyMask(Image* image, const Image* mask)
{
    if (image->width != mask->width || image->height != mask->height)
    {
        Report(kErrImageSize);
        return nullptr;
    }
    bool maskPalettised = mask->depth == 4 || mask->depth == 8;
    if ((image->depth != 4 && image->depth != 8 && image->depth != 32) || (!maskPalettised && mask->depth != 32))
    {
        Report(kErrImageFormat);
        return nullptr;
    }
    if (!HasRows(mask) || (maskPalettised && !mask->palette) || !HasRows(image) ||
        (image->depth != 32 && !image->palette))
    {
        Report(kErrNullArgument);
        return nullptr;
    }
    if (image->depth != 32)
    {
        // Expand into a new block first: the image changes only once that has succeeded.
        Image* wide = Create(image->width, image->height, 32);
        if (!wide)
            return nullptr;
        if (!AllocatePixels(wide))
        {
            Destroy(wide);
            return nullptr;
        }
        ExpandToRgba(wide, image);
        FreePixels(image);
        image->depth = 32;
        image->stride = wide->stride;
        image->pixels = wide->pixels;
        image->palette = nullptr;
        image->flags |= kImageOwnsPixels;
        wide->pixels = nullptr;
        wide->flags &= ~kImageOwnsPixels;
        Destroy(wide);
    }
    uint32_t indexMask = IndexMask(mask->depth);
    for (int32_t y = 0; y < image->height; ++y)
    {
        uint8_t* out = Row(image, y);
        const uint8_t* in = Row(mask, y);
        for (int32_t x = 0; x < image->width; ++x)
            out[4 * x + 3] = maskPalettised ? mask->palette[4 * (in[x] & indexMask) + 3] : in[4 * x + 3];
    }
    return image;
}

// ---- Gamma ------------------------------------------------------------------------------------------

int32_t Image::BuildGammaTables(float gamma)
{
    if (!sBlock)
        return 0;
    sBlock->gamma = gamma;
    sBlock->gammaTable[0] = 0;
    // Single precision throughout, as the tables have always been built.
    const float step = 1.0f / 255.0f;
    const float exponent = 1.0f / gamma;
    for (int32_t i = 1; i < 256; ++i)
    {
        float power = std::pow(float(i) * step, exponent);
        float value = 255.0f * power + 0.5f;
        sBlock->gammaTable[i] = value >= 255.0f ? 255 : value > 0.0f ? uint8_t(value) : 0; // NaN gives 0
    }
    return 1;
}

float Image::GetGamma()
{
    return sBlock ? sBlock->gamma : 1.0f;
}

const uint8_t* Image::GetGammaTable()
{
    return sBlock ? sBlock->gammaTable : nullptr;
}

Image* Image::GammaCorrect(Image* image)
{
    if (!sBlock)
        return nullptr;
    const uint8_t* table = sBlock->gammaTable;
    auto correct = [table](uint8_t* colour)
    {
        colour[0] = table[colour[0]];
        colour[1] = table[colour[1]];
        colour[2] = table[colour[2]];
    };
    int32_t entries = PaletteEntries(image->depth);
    if (entries)
    {
        if (!image->palette)
        {
            Report(kErrNullArgument);
            return nullptr;
        }
        for (int32_t i = 0; i < entries; ++i)
            correct(image->palette + 4 * i);
    }
    else if (image->depth == 32)
    {
        if (!HasRows(image))
        {
            Report(kErrNullArgument);
            return nullptr;
        }
        for (int32_t y = 0; y < image->height; ++y)
        {
            uint8_t* row = Row(image, y);
            for (int32_t x = 0; x < image->width; ++x)
                correct(row + 4 * x);
        }
    }
    else
    {
        Report(kErrImageDepth);
        return nullptr;
    }
    image->flags |= kImageGammaCorrected;
    return image;
}

// ---- Rasters ----------------------------------------------------------------------------------------

Image* Image::SetFromRaster(Image* image, Raster* raster)
{
    // A smaller image would be overrun by the raster's rows.
    if (image->width != raster->width || image->height != raster->height)
    {
        Report(kErrImageSize);
        return nullptr;
    }
    if (!CallDevice(kStdImageGetRaster, image, raster, 0))
        return nullptr;
    if (raster->privateFlags & kRasterGammaCorrected)
        image->flags |= kImageGammaCorrected;
    return image;
}

Raster* Raster::SetFromImage(Raster* raster, Image* image)
{
    if (!CallDevice(kStdRasterSetImage, raster, image, 0))
        return nullptr;
    if (image->flags & kImageGammaCorrected)
        raster->privateFlags |= kRasterGammaCorrected;
    return raster;
}

Image* Image::FindRasterFormat(Image* image, uint32_t rasterFlags, int32_t* width, int32_t* height, int32_t* depth,
                               uint32_t* format)
{
    // A scratch record of the raster registry's full size, so the device may treat it as
    // any raster.
    size_t size = size_t(Raster::Registry()->size);
    auto* raster = static_cast<Raster*>(Memory::AllocateZeroed(1, size, kMemoryHintTemporary | uint32_t(kPluginId)));
    if (!raster)
    {
        Report(kErrNoMemory);
        return nullptr;
    }
    raster->parent = raster;
    Image* answer = nullptr;
    if (CallDevice(kStdImageFindRasterFormat, raster, image, int32_t(rasterFlags)))
    {
        *width = raster->width;
        *height = raster->height;
        *depth = raster->depth;
        *format = (uint32_t(raster->format) << 8) | raster->type;
        answer = image;
    }
    Memory::Free(raster);
    return answer;
}

// ---- Plug-ins ----------------------------------------------------------------------------------------

int32_t Image::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Image::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

// ---- The image module ----------------------------------------------------------------------------------

const int32_t Image::kModuleBlockSize = sizeof(ImageModuleBlock);

void* Image::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<ImageModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    *block = ImageModuleBlock{};
    block->images = FreeList::CreateInStorage(sRegistry.size, kImagesPerBlock, 0, 1, &sImageList,
                                              kMemoryHintEngine | kImageChunkType);
    if (!block->images)
        return nullptr;
    block->formats =
        FreeList::CreateInStorage(int32_t(sizeof(ImageFormat)), kFormatsPerBlock, 0, 1, &sFormatList, kImageModuleHint);
    block->path = static_cast<char*>(Memory::Allocate(kInitialBufferSize, kImagePathHint));
    block->scratch = static_cast<char*>(Memory::Allocate(kInitialBufferSize, kImageBufferHint));
    if (!block->formats || !block->path || !block->scratch)
    {
        Memory::Free(block->scratch);
        Memory::Free(block->path);
        if (block->formats)
            FreeList::Destroy(block->formats);
        FreeList::Destroy(block->images);
        *block = ImageModuleBlock{};
        return nullptr;
    }
    block->path[0] = 0;
    block->pathSize = kInitialBufferSize;
    block->scratch[0] = 0;
    block->scratchSize = kInitialBufferSize;
    sBlock = block;
    BuildGammaTables(1.0f);
    return engine;
}

void* Image::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<ImageModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    Memory::Free(block->scratch);
    Memory::Free(block->path);
    Engine* instance = static_cast<Engine*>(engine);
    for (ImageFormat* format = block->formatList; format;)
    {
        ImageFormat* next = format->next;
        instance->freeListFunctions.giveBack(block->formats, format);
        format = next;
    }
    FreeList::Destroy(block->formats);
    FreeList::Destroy(block->images);
    *block = ImageModuleBlock{};
    sBlock = nullptr;
    return engine;
}
