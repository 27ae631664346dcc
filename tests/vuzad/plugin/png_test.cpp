// PNG images: every colour type and depth the reader maps, made with libpng itself, the
// writer's round trips, and damaged files.
#include "pluginfixture.h"

#include "error.h"
#include "image.h"
#include "pngimage.h"

#include <png.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace
{
struct PngSpec
{
    const char* what;
    int colorType;
    int bitDepth;
    int plteCount;   ///< palette entries written (palette type)
    int trnsCount;   ///< tRNS alphas written (palette type), or 1 for a gray transparent colour
    int imageDepth;  ///< what the reader must make
};

int Channels(int colorType)
{
    switch (colorType)
    {
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;
    }
}

uint32_t Sample(int x, int y, int c, int bitDepth)
{
    const uint32_t spread = bitDepth == 16 ? 4099u : 1u;
    return (uint32_t(x * 7 + y * 13 + c * 5) * spread) & ((1u << bitDepth) - 1);
}

uint8_t To8(uint32_t s, int bitDepth)
{
    if (bitDepth == 16)
        return uint8_t(s >> 8);
    if (bitDepth == 8)
        return uint8_t(s);
    return uint8_t(s * 255 / ((1u << bitDepth) - 1));
}

png_color PlteEntry(int j)
{
    return {png_byte(j * 3 + 1), png_byte(j * 5 + 2), png_byte(j * 7 + 3)};
}

png_byte TrnsEntry(int j)
{
    return png_byte(255 - j * 11);
}

constexpr int kW = 9, kH = 3;

// A file made by libpng directly, samples from Sample().
void WriteFixture(const std::string& path, const PngSpec& s)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kW, kH, s.bitDepth, s.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> plte;
    for (int j = 0; j < s.plteCount; ++j)
        plte.push_back(PlteEntry(j));
    std::vector<png_byte> trns;
    for (int j = 0; j < s.trnsCount; ++j)
        trns.push_back(TrnsEntry(j));
    if (!plte.empty())
        png_set_PLTE(png, info, plte.data(), int(plte.size()));
    png_color_16 transparent = {0, 0, 0, 0, 1};
    if (s.trnsCount && s.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
    else if (s.trnsCount)
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    png_write_info(png, info);
    const int channels = Channels(s.colorType);
    const size_t rowBytes = (size_t(kW) * channels * s.bitDepth + 7) / 8;
    for (int y = 0; y < kH; ++y)
    {
        std::vector<png_byte> row(rowBytes, 0);
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < channels; ++c)
            {
                const uint32_t v = Sample(x, y, c, s.bitDepth);
                const size_t bit = size_t(x * channels + c) * s.bitDepth;
                if (s.bitDepth == 16)
                {
                    row[bit / 8] = png_byte(v >> 8);
                    row[bit / 8 + 1] = png_byte(v);
                }
                else
                    row[bit / 8] |= png_byte(v << (8 - s.bitDepth - bit % 8));
            }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

using PngTest = PluginFixture;

TEST_F(PngTest, EveryColourTypeReadsAsTheEngineImageItMapsTo)
{
    const PngSpec specs[] = {
        {"gray 1", PNG_COLOR_TYPE_GRAY, 1, 0, 0, 8},
        {"gray 1 with tRNS stays one byte per pixel", PNG_COLOR_TYPE_GRAY, 1, 0, 1, 8},
        {"gray 2", PNG_COLOR_TYPE_GRAY, 2, 0, 0, 8},
        {"gray 4 with tRNS", PNG_COLOR_TYPE_GRAY, 4, 0, 1, 8},
        {"gray 8", PNG_COLOR_TYPE_GRAY, 8, 0, 0, 8},
        {"gray 16", PNG_COLOR_TYPE_GRAY, 16, 0, 0, 8},
        {"RGB 8", PNG_COLOR_TYPE_RGB, 8, 0, 0, 32},
        {"RGB 16", PNG_COLOR_TYPE_RGB, 16, 0, 0, 32},
        {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, 2, 1, 4},
        {"palette 2", PNG_COLOR_TYPE_PALETTE, 2, 4, 3, 4},
        {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, 16, 16, 4},
        {"palette 8", PNG_COLOR_TYPE_PALETTE, 8, 256, 200, 8},
        {"gray + alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 0, 0, 32},
        {"gray + alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 0, 0, 32},
        {"RGBA 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 0, 0, 32},
        {"RGBA 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, 0, 0, 32},
    };
    for (const PngSpec& s : specs)
    {
        const std::string path = TempPath("fixture.png");
        WriteFixture(path, s);
        Image* image = Png::ReadImage(path.c_str());
        ASSERT_NE(image, nullptr) << s.what;
        EXPECT_EQ(image->depth, s.imageDepth) << s.what;
        EXPECT_EQ(image->width, kW);
        EXPECT_EQ(image->height, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
            {
                const uint8_t* p = image->pixels + y * image->stride + x * (s.imageDepth == 32 ? 4 : 1);
                uint8_t want[4];
                const int bd = s.bitDepth;
                switch (s.colorType)
                {
                case PNG_COLOR_TYPE_GRAY:
                    want[0] = To8(Sample(x, y, 0, bd), bd);
                    break;
                case PNG_COLOR_TYPE_PALETTE:
                    want[0] = uint8_t(Sample(x, y, 0, bd));
                    break;
                case PNG_COLOR_TYPE_GRAY_ALPHA:
                    want[0] = want[1] = want[2] = To8(Sample(x, y, 0, bd), bd);
                    want[3] = To8(Sample(x, y, 1, bd), bd);
                    break;
                default:
                    for (int c = 0; c < 4; ++c)
                        want[c] = c < Channels(s.colorType) ? To8(Sample(x, y, c, bd), bd) : 255;
                }
                const int bytes = s.imageDepth == 32 ? 4 : 1;
                for (int c = 0; c < bytes; ++c)
                    ASSERT_EQ(p[c], want[c]) << s.what << " at " << x << "," << y << " byte " << c;
            }
        if (s.bitDepth == 1 && s.colorType == PNG_COLOR_TYPE_GRAY)
        {
            for (int x = 0; x < kW; ++x)
                EXPECT_TRUE(image->pixels[x] == 0 || image->pixels[x] == 255);
        }
        if (s.imageDepth != 32)
        {
            ASSERT_NE(image->palette, nullptr);
            for (int j = 0; j < (1 << s.imageDepth); ++j)
            {
                const uint8_t* e = image->palette + 4 * j;
                const png_color c = j < s.plteCount ? PlteEntry(j) : png_color{png_byte(j), png_byte(j), png_byte(j)};
                const uint8_t alpha = s.colorType == PNG_COLOR_TYPE_PALETTE && j < s.trnsCount ? TrnsEntry(j) : 255;
                ASSERT_EQ(e[0], c.red) << s.what << " entry " << j;
                ASSERT_EQ(e[1], c.green) << s.what << " entry " << j;
                ASSERT_EQ(e[2], c.blue) << s.what << " entry " << j;
                ASSERT_EQ(e[3], alpha) << s.what << " entry " << j;
            }
        }
        Image::Destroy(image);
    }
}

Image* Filled(int32_t width, int32_t height, int32_t depth)
{
    Image* image = Image::Create(width, height, depth);
    Image::AllocatePixels(image);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < Image::RowBytes(image); ++x)
            image->pixels[y * image->stride + x] = uint8_t((x * 31 + y * 17) & Image::IndexMask(depth == 32 ? 8 : depth));
    if (image->palette)
        for (int j = 0; j < 4 * (1 << depth); ++j)
            image->palette[j] = uint8_t(j * 7 + 1);
    return image;
}

// Bytes of the named chunk's data in the file, or -1.
int64_t ChunkLength(const std::string& path, const char* type)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
    for (size_t at = 8; at + 8 <= b.size();)
    {
        const uint32_t length = uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
        if (std::string(reinterpret_cast<char*>(&b[at + 4]), 4) == type)
            return length;
        at += 12 + length;
    }
    return -1;
}

TEST_F(PngTest, ImagesOfEveryDepthRoundTrip)
{
    for (int32_t depth : {4, 8, 32})
    {
        Image* image = Filled(7, 5, depth);
        const std::string path = TempPath("round.png");
        ASSERT_EQ(Png::WriteImage(image, path.c_str()), image) << depth;
        Image* back = Png::ReadImage(path.c_str());
        ASSERT_NE(back, nullptr) << depth;
        EXPECT_EQ(back->depth, depth);
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(0, std::memcmp(back->pixels + y * back->stride, image->pixels + y * image->stride,
                                     size_t(Image::RowBytes(image))))
                << depth << " row " << y;
        if (depth != 32)
        {
            EXPECT_EQ(0, std::memcmp(back->palette, image->palette, size_t(4 << depth))) << depth;
            EXPECT_EQ(ChunkLength(path, "PLTE"), 3 << depth);
            EXPECT_EQ(ChunkLength(path, "tRNS"), 1 << depth);
        }
        Image::Destroy(back);
        Image::Destroy(image);
    }
}

TEST_F(PngTest, MissingNamesAndDamagedFilesGiveNull)
{
    TakeError();
    EXPECT_EQ(Png::ReadImage(nullptr), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrNullArgument);
    EXPECT_EQ(Png::ReadImage(TempPath("none.png").c_str()), nullptr);

    Image* image = Filled(4, 4, 32);
    EXPECT_EQ(Png::WriteImage(image, nullptr), nullptr); // nothing written is no success
    EXPECT_EQ(Png::WriteImage(nullptr, TempPath("x.png").c_str()), nullptr);
    Image* odd = Image::Create(4, 4, 16);
    Image::AllocatePixels(odd);
    EXPECT_EQ(Png::WriteImage(odd, TempPath("odd.png").c_str()), nullptr);
    Image::Destroy(odd);

    // A file cut anywhere inside its pixel data never reads as an image.
    const std::string path = TempPath("whole.png");
    ASSERT_EQ(Png::WriteImage(image, path.c_str()), image);
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> whole((std::istreambuf_iterator<char>(in)), {});
    for (size_t cut : {size_t(8), size_t(40), whole.size() - 20, whole.size() - 13})
    {
        const std::string part = TempPath("cut.png");
        std::ofstream(part, std::ios::binary).write(whole.data(), std::streamsize(cut));
        EXPECT_EQ(Png::ReadImage(part.c_str()), nullptr) << cut;
    }
    Image::Destroy(image);
}

TEST_F(PngTest, MutatedFilesAreReadSafely)
{
    const std::string path = TempPath("seed.png");
    WriteFixture(path, {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, 16, 16, 4});
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string mutated = TempPath("mutated.png");
    int read = 0;
    SweepMutations(bytes, 600, [&](std::vector<uint8_t>& copy) {
        std::ofstream(mutated, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(copy.data()), std::streamsize(copy.size()));
        if (Image* image = Png::ReadImage(mutated.c_str()))
        {
            ++read;
            Image::Destroy(image);
        }
        TakeError();
    });
    EXPECT_GT(read, 0); // some mutations leave a valid file
}
} // namespace
