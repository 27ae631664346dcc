// PNG reading and writing over libpng, with the engine's memory and streams.
#include "pngimage.h"

#include "error.h"
#include "image.h"
#include "memory.h"
#include "stream.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace
{
constexpr uint32_t kMemoryHintPng = 0x3010D;

png_voidp Allocate(png_structp, png_alloc_size_t size)
{
    return Memory::Allocate(size, kMemoryHintPng);
}

void Free(png_structp, png_voidp block)
{
    Memory::Free(block);
}

// Files are data from outside: their faults end the call with null, quietly.
void QuietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void QuietWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, size_t length)
{
    auto* stream = static_cast<Stream*>(png_get_io_ptr(png));
    // A short read would hand libpng bytes that were never in the file.
    if (!stream || length > UINT32_MAX || Stream::Read(stream, data, uint32_t(length)) != length)
        png_error(png, nullptr);
}

void WriteData(png_structp png, png_bytep data, size_t length)
{
    auto* stream = static_cast<Stream*>(png_get_io_ptr(png));
    if (!stream || length > UINT32_MAX || !Stream::Write(stream, data, uint32_t(length)))
        png_error(png, nullptr);
}

void Flush(png_structp) {}

// What must be undone after a long jump: kept in memory, out of the jump's reach.
struct ReadState
{
    Stream* stream = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    Image* image = nullptr;
    png_bytep* rows = nullptr;
};

Image* FinishRead(ReadState* s, bool ok)
{
    Memory::Free(s->rows);
    png_destroy_read_struct(&s->png, s->info ? &s->info : nullptr, nullptr);
    Stream::Close(s->stream, nullptr);
    if (!ok && s->image)
        Image::Destroy(s->image);
    return ok ? s->image : nullptr;
}

// Everything libpng may jump out of; the caller holds the jump.
bool ReadBody(ReadState* s)
{
    png_structp png = s->png;
    png_infop info = s->info;
    png_set_read_fn(png, s->stream, ReadData);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    png_set_strip_16(png);
    int32_t depth = 32;
    switch (colorType)
    {
    case PNG_COLOR_TYPE_GRAY:
        // Only the gray samples: a tRNS chunk must not become a second byte per pixel.
        if (bitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        depth = 8;
        break;
    case PNG_COLOR_TYPE_RGB:
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        break;
    case PNG_COLOR_TYPE_PALETTE:
        if (bitDepth < 8)
        {
            png_set_packing(png);
            depth = 4;
        }
        else
            depth = 8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        break;
    default:
        return false;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    s->image = Image::Create(int32_t(width), int32_t(height), depth);
    if (!s->image || !Image::AllocatePixels(s->image))
        return false;
    Image* image = s->image;
    // The transformed rows must be exactly what the image holds per row.
    if (png_get_rowbytes(png, info) != size_t(Image::RowBytes(image)))
        return false;
    s->rows = static_cast<png_bytep*>(Memory::Allocate(sizeof(png_bytep) * height, kMemoryHintPng));
    if (!s->rows)
        return false;
    for (png_uint_32 y = 0; y < height; ++y)
        s->rows[y] = image->pixels + size_t(y) * size_t(image->stride);

    if (depth != 32)
    {
        const int32_t entries = 1 << depth;
        uint8_t* palette = image->palette;
        for (int32_t j = 0; j < entries; ++j)
        {
            palette[4 * j] = palette[4 * j + 1] = palette[4 * j + 2] = uint8_t(j);
            palette[4 * j + 3] = 255;
        }
        png_colorp plte = nullptr;
        int plteCount = 0;
        if (png_get_PLTE(png, info, &plte, &plteCount) && plte)
            for (int32_t j = 0; j < plteCount && j < entries; ++j)
            {
                palette[4 * j] = plte[j].red;
                palette[4 * j + 1] = plte[j].green;
                palette[4 * j + 2] = plte[j].blue;
            }
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        if (png_get_tRNS(png, info, &alpha, &alphaCount, nullptr) && alpha)
            for (int32_t j = 0; j < alphaCount && j < entries; ++j)
                palette[4 * j + 3] = alpha[j];
    }
    png_read_image(png, s->rows);
    png_read_end(png, nullptr);
    return true;
}

struct WriteState
{
    Stream* stream = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    png_colorp plte = nullptr;
    png_bytep trns = nullptr;
};

bool WriteBody(WriteState* s, Image* image)
{
    png_structp png = s->png;
    png_infop info = s->info;
    png_set_write_fn(png, s->stream, WriteData, Flush);
    const int32_t depth = image->depth;
    const bool paletted = depth == 4 || depth == 8;
    png_set_IHDR(png, info, png_uint_32(image->width), png_uint_32(image->height), paletted ? depth : 8,
                 paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (paletted)
    {
        const int32_t entries = 1 << depth;
        s->plte = static_cast<png_colorp>(Memory::Allocate(sizeof(png_color) * size_t(entries), kMemoryHintPng));
        s->trns = static_cast<png_bytep>(Memory::Allocate(size_t(entries), kMemoryHintPng));
        if (!s->plte || !s->trns)
            return false;
        for (int32_t j = 0; j < entries; ++j)
        {
            s->plte[j] = {image->palette[4 * j], image->palette[4 * j + 1], image->palette[4 * j + 2]};
            s->trns[j] = image->palette[4 * j + 3];
        }
        png_set_PLTE(png, info, s->plte, entries);
        png_set_tRNS(png, info, s->trns, entries, nullptr);
    }
    png_write_info(png, info);
    png_set_packing(png);
    s->rows = static_cast<png_bytep*>(Memory::Allocate(sizeof(png_bytep) * size_t(image->height), kMemoryHintPng));
    if (!s->rows)
        return false;
    for (int32_t y = 0; y < image->height; ++y)
        s->rows[y] = image->pixels + size_t(y) * size_t(image->stride);
    png_write_image(png, s->rows);
    png_write_end(png, nullptr);
    return true;
}
} // namespace

Image* Png::ReadImage(const char* name)
{
    if (!name)
    {
        Error::Report(kPluginId, kErrNullArgument);
        return nullptr;
    }
    ReadState state;
    ReadState* s = &state;
    s->stream = Stream::Open(kStreamFileName, kStreamRead, name);
    if (!s->stream)
        return nullptr;
    s->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning, nullptr, Allocate,
                                      Free);
    if (s->png)
        s->info = png_create_info_struct(s->png);
    if (!s->png || !s->info)
        return FinishRead(s, false);
    png_set_user_limits(s->png, kMaxSide, kMaxSide);
    if (setjmp(png_jmpbuf(s->png)))
        return FinishRead(s, false);
    return FinishRead(s, ReadBody(s));
}

Image* Png::WriteImage(Image* image, const char* name)
{
    // Without a name nothing is written, and saying otherwise would report a lost file as saved.
    if (!image || !name || !image->pixels || (image->depth != 4 && image->depth != 8 && image->depth != 32))
        return nullptr;
    if (image->depth != 32 && !image->palette)
        return nullptr;
    WriteState state;
    WriteState* s = &state;
    s->stream = Stream::Open(kStreamFileName, kStreamWrite, name);
    if (!s->stream)
        return nullptr;
    bool ok = false;
    s->png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning, nullptr, Allocate,
                                       Free);
    if (s->png)
        s->info = png_create_info_struct(s->png);
    if (s->png && s->info)
    {
        if (setjmp(png_jmpbuf(s->png)) == 0)
            ok = WriteBody(s, image);
    }
    Memory::Free(s->rows);
    Memory::Free(s->plte);
    Memory::Free(s->trns);
    png_destroy_write_struct(&s->png, s->info ? &s->info : nullptr);
    ok = Stream::Close(s->stream, nullptr) && ok;
    return ok ? image : nullptr;
}
