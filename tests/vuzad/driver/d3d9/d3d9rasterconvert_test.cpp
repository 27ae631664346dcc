// Tests of images and rasters on Direct3D 9: the pixel readers and writers, the colour
// conversions, the format an image needs, images written into and read back from rasters of
// every format with a converter, rasters made for Direct3D formats, and rasters remade in a
// supported format.
#include "d3d9driverfixture.h"
#include "image.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace d3d9driver
{
namespace
{

using Colour = std::vector<uint8_t>;

void Drop(std::vector<D3DFORMAT>& formats, D3DFORMAT format)
{
    formats.erase(std::remove(formats.begin(), formats.end(), format), formats.end());
}

d3d9test::AdapterConfig SixteenBitDisplay()
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.desktop.Format = D3DFMT_R5G6B5;
    return adapter;
}

class D3D9ImageTest : public DriverTest
{
protected:
    /// A 32-bit image whose pixel i is colours[i % size], row by row.
    static Image* Make32(int32_t width, int32_t height, const std::vector<Colour>& colours)
    {
        Image* image = Image::Create(width, height, 32);
        EXPECT_NE(Image::AllocatePixels(image), nullptr);
        for (int32_t i = 0; i < width * height; ++i)
            std::memcpy(At(image, i % width, i / width), colours[size_t(i) % colours.size()].data(), 4);
        return image;
    }

    /// An 8-bit image with pixel i = indices[i % size] and the palette given (the rest zero).
    static Image* Make8(int32_t width, int32_t height, const std::vector<uint8_t>& indices,
                        const std::vector<Colour>& palette)
    {
        Image* image = Image::Create(width, height, 8);
        EXPECT_NE(Image::AllocatePixels(image), nullptr);
        std::memset(image->palette, 0, 1024);
        for (size_t i = 0; i < palette.size(); ++i)
            std::memcpy(image->palette + 4 * i, palette[i].data(), 4);
        for (int32_t i = 0; i < width * height; ++i)
            image->pixels[(i / width) * image->stride + i % width] = indices[size_t(i) % indices.size()];
        return image;
    }

    static uint8_t* At(const Image* image, int32_t x, int32_t y)
    {
        return image->pixels + y * image->stride + x * (image->depth / 8);
    }

    static Colour ColourAt(const Image* image, int32_t x, int32_t y)
    {
        return Colour(At(image, x, y), At(image, x, y) + 4);
    }

    /// The raster read back into a new 32-bit image.
    static Image* ReadBack(Raster* raster)
    {
        Image* image = Image::Create(raster->width, raster->height, 32);
        Image::AllocatePixels(image);
        EXPECT_EQ(Image::SetFromRaster(image, raster), image);
        return image;
    }

    /// The first pixel value of level 0, as many bytes as the raster's depth holds.
    static uint32_t FirstPixel(Raster* raster)
    {
        uint32_t value = 0;
        uint8_t* pixels = Raster::Lock(raster, 0, kRasterLockRead);
        EXPECT_NE(pixels, nullptr);
        std::memcpy(&value, pixels, size_t(std::max(1, raster->depth / 8)));
        Raster::Unlock(raster);
        return value;
    }
};

// ---- Pixel values ------------------------------------------------------------------------------------------

TEST_F(D3D9ImageTest, ColourConversionsByEngineFormat)
{
    Start();
    struct Case
    {
        uint32_t format;
        Colour colour;
        uint32_t pixel;
        Colour back; ///< what the pixel reads back as
    };
    const Case cases[] = {
        {kRasterFormat565, {255, 255, 255, 7}, 0xFFFF, {248, 252, 248, 255}},
        {kRasterFormatLum8, {255, 255, 255, 128}, 128, {128, 128, 128, 255}},
        {kRasterFormat1555, {255, 0, 8, 128}, 0xFC01, {248, 0, 8, 255}},
        {kRasterFormat4444, {0x12, 0x34, 0x56, 0x78}, 0x7135, {0x10, 0x30, 0x50, 0x70}},
        {kRasterFormat8888, {1, 2, 3, 4}, 0x04010203, {1, 2, 3, 4}},
        {kRasterFormatDefault, {1, 2, 3, 4}, 0x04010203, {1, 2, 3, 4}},
        {kRasterFormat888, {1, 2, 3, 4}, 0xFF010203, {1, 2, 3, 255}},
        {kRasterFormat555, {255, 8, 16, 0}, 0x7C22, {248, 8, 16, 255}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.format);
        uint32_t pixel = 0;
        ASSERT_EQ(D3D9Raster::RGBToPixel(&pixel, const_cast<uint8_t*>(c.colour.data()), int32_t(c.format)), 1);
        EXPECT_EQ(pixel, c.pixel);
        Colour back(4);
        if (c.format == kRasterFormatDefault)
            continue;
        ASSERT_EQ(D3D9Raster::PixelToRGB(back.data(), &pixel, int32_t(c.format)), 1);
        EXPECT_EQ(back, c.back);
    }
    uint32_t pixel = 0x11223344;
    Colour colour(4);
    ASSERT_EQ(D3D9Raster::PixelToRGB(colour.data(), &pixel, int32_t(kRasterFormatPal8 | kRasterFormat888)), 1);
    EXPECT_EQ(colour, (Colour{0x44, 0x33, 0x22, 0x11})) << "a palettised value is a colour already";

    EXPECT_EQ(D3D9Raster::RGBToPixel(&pixel, colour.data(), int32_t(kRasterFormatZ16)), 0);
    EXPECT_EQ(TakeError(), kErrRasterFormat);
    EXPECT_EQ(D3D9Raster::PixelToRGB(colour.data(), &pixel, int32_t(kRasterFormat555 + 0x100)), 0);
    EXPECT_EQ(TakeError(), kErrRasterFormat);
}

TEST(D3D9PixelValues, EveryFormatWithAReaderAndAWriterKeepsItsPrecision)
{
    struct Case
    {
        D3DFORMAT format;
        int32_t bits[4]; ///< bits kept of red, green, blue, alpha; 0: the channel reads as fixed
        Colour fixed;    ///< what an unkept channel reads as
        bool grey;       ///< a luminance format: colours are tried in grey
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, {8, 8, 8, 8}, {}, false},           {D3DFMT_X8R8G8B8, {8, 8, 8, 0}, {0, 0, 0, 255}, false},
        {D3DFMT_R5G6B5, {5, 6, 5, 0}, {0, 0, 0, 255}, false}, {D3DFMT_X1R5G5B5, {5, 5, 5, 0}, {0, 0, 0, 255}, false},
        {D3DFMT_A1R5G5B5, {5, 5, 5, 1}, {}, false},           {D3DFMT_A4R4G4B4, {4, 4, 4, 4}, {}, false},
        {D3DFMT_A8R3G3B2, {3, 3, 2, 8}, {}, false},           {D3DFMT_X4R4G4B4, {4, 4, 4, 0}, {0, 0, 0, 255}, false},
        {D3DFMT_A8B8G8R8, {8, 8, 8, 8}, {}, false},           {D3DFMT_X8B8G8R8, {8, 8, 8, 0}, {0, 0, 0, 255}, false},
        {D3DFMT_L8, {8, 8, 8, 0}, {0, 0, 0, 255}, true},      {D3DFMT_A8L8, {8, 8, 8, 8}, {}, true},
        {D3DFMT_V8U8, {8, 8, 0, 0}, {0, 0, 0, 255}, false},   {D3DFMT_L6V5U5, {5, 5, 6, 0}, {0, 0, 0, 255}, false},
        {D3DFMT_L16, {8, 8, 8, 0}, {0, 0, 0, 255}, true},
    };
    const Colour colours[] = {
        {0, 0, 0, 255}, {255, 255, 255, 255}, {200, 100, 50, 255}, {13, 240, 77, 255}, {99, 1, 254, 255}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(int(c.format));
        D3D9PixelWriter write = D3D9Raster::GetPixelWriter(c.format);
        D3D9PixelReader read = D3D9Raster::GetPixelReader(c.format);
        ASSERT_TRUE(write && read);
        for (Colour colour : colours)
        {
            if (c.grey)
                colour[1] = colour[2] = colour[0];
            if (c.bits[3])
                colour[3] = uint8_t(colour[1] ^ 0x5A);
            Rgba back = read(write({colour[0], colour[1], colour[2], colour[3]}));
            const uint8_t got[4] = {back.red, back.green, back.blue, back.alpha};
            for (int32_t k = 0; k < 4; ++k)
            {
                if (!c.bits[k])
                {
                    EXPECT_EQ(got[k], c.fixed[size_t(k)]) << k;
                    continue;
                }
                int32_t tolerance = (1 << (8 - c.bits[k])) - 1;
                EXPECT_LE(std::abs(int32_t(got[k]) - int32_t(colour[size_t(k)])), tolerance)
                    << "channel " << k << " of " << int(colour[size_t(k)]);
            }
        }
    }
    EXPECT_EQ(D3D9Raster::GetPixelWriter(D3DFMT_L16)({255, 255, 255, 255}), 0xFFFFu) << "full scale";
    EXPECT_EQ(D3D9Raster::GetPixelWriter(D3DFMT_L8)({255, 255, 255, 128}), 128u);
    EXPECT_EQ(D3D9Raster::GetPixelWriter(D3DFMT_A2B10G10R10), nullptr);
    EXPECT_EQ(D3D9Raster::GetPixelReader(D3DFMT_R16F), nullptr);
}

// ---- The format an image needs --------------------------------------------------------------------------

TEST_F(D3D9ImageTest, AnalysisFollowsTheAlphaThatPixelsUseAndTheDisplay)
{
    const Colour opaque = {10, 20, 30, 255}, clear = {10, 20, 30, 0}, half = {10, 20, 30, 128}, faint = {1, 2, 3, 9};
    struct Case
    {
        const char* name;
        std::vector<Colour> colours;
        uint32_t deep;    ///< on a 32-bit display with every texture format
        uint32_t shallow; ///< on a 16-bit display
    };
    const Case cases[] = {
        {"one alpha of 128 among 255 and 0", {opaque, clear, half, opaque}, kRasterFormat8888, kRasterFormat4444},
        {"only alphas below 16 besides 255", {opaque, clear, faint}, kRasterFormat8888, kRasterFormat1555},
        {"opaque", {opaque}, kRasterFormat888, kRasterFormat565},
    };
    for (bool deep : {true, false})
    {
        SCOPED_TRACE(deep ? "32-bit display" : "16-bit display");
        Start({deep ? Adapter() : SixteenBitDisplay()});
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            Image* image = Make32(4, 2, c.colours);
            EXPECT_EQ(D3D9Raster::AnalyseImageFormat(image), deep ? c.deep : c.shallow);
            Image::Destroy(image);
        }
        ShutDown();
    }

    d3d9test::AdapterConfig without4444 = Adapter();
    Drop(without4444.textureFormats, D3DFMT_A8R8G8B8);
    Drop(without4444.textureFormats, D3DFMT_A4R4G4B4);
    Start({without4444});
    Image* image = Make32(4, 2, cases[0].colours);
    EXPECT_EQ(D3D9Raster::AnalyseImageFormat(image), kRasterFormat1555);
    Image::Destroy(image);

    // Palettised images: a translucent entry counts only when a pixel uses it.
    Image* unused = Make8(4, 2, {0, 1}, {opaque, opaque, half});
    EXPECT_EQ(D3D9Raster::AnalyseImageFormat(unused), kRasterFormatPal8 | kRasterFormat888);
    Image* used = Make8(4, 2, {0, 2}, {opaque, opaque, half});
    EXPECT_EQ(D3D9Raster::AnalyseImageFormat(used), kRasterFormatPal8 | kRasterFormat8888);
    Image* four = Image::Create(2, 2, 4);
    Image::AllocatePixels(four);
    std::memset(four->pixels, 0, size_t(2 * four->stride));
    for (int32_t i = 0; i < 16; ++i)
        std::memcpy(four->palette + 4 * i, opaque.data(), 4);
    EXPECT_EQ(D3D9Raster::AnalyseImageFormat(four), kRasterFormatPal4 | kRasterFormat888);
    for (Image* i : {unused, used, four})
        Image::Destroy(i);
}

TEST_F(D3D9ImageTest, FindRasterFormatSizesAndResolvesForTheDevice)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
    Start({adapter});
    Image* image = Make32(300, 200, {{1, 2, 3, 255}});
    struct Case
    {
        uint32_t flags;
        int32_t width, height, depth;
        uint32_t format;
    };
    const Case cases[] = {
        {kRasterTypeTexture | kRasterFormatMipmap | kRasterFormat4444, 256, 128, 32,
         kRasterTypeTexture | kRasterFormatMipmap | kRasterFormat888},
        {kRasterTypeNormal | kRasterFormatMipmap | kRasterFormatAutoMipmap, 256, 128, 32, kRasterFormat888},
        {kRasterTypeTexture | kRasterFormatPal8, 256, 128, 32, kRasterTypeTexture | kRasterFormat888},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.flags);
        int32_t width = 0, height = 0, depth = 0;
        uint32_t format = 0;
        ASSERT_EQ(Image::FindRasterFormat(image, c.flags, &width, &height, &depth, &format), image);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        EXPECT_EQ(depth, c.depth);
        EXPECT_EQ(format, c.format);
    }
    int32_t width = 0, height = 0, depth = 0;
    uint32_t format = 0;
    EXPECT_EQ(Image::FindRasterFormat(image, 3, &width, &height, &depth, &format), nullptr);
    EXPECT_EQ(TakeError(), kErrRasterFormat);
    Image::Destroy(image);
}

// ---- Images through rasters --------------------------------------------------------------------------------

TEST_F(D3D9ImageTest, EveryConvertibleFormatRoundTripsAnImageWithinItsPrecision)
{
    Start();
    struct Case
    {
        D3DFORMAT format;
        int32_t bits[4]; ///< bits kept of red, green, blue, alpha; 0: the channel reads as 255
        bool grey;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, {8, 8, 8, 8}, false}, {D3DFMT_X8R8G8B8, {8, 8, 8, 0}, false},
        {D3DFMT_R5G6B5, {5, 6, 5, 0}, false},   {D3DFMT_X1R5G5B5, {5, 5, 5, 0}, false},
        {D3DFMT_A1R5G5B5, {5, 5, 5, 1}, false}, {D3DFMT_A4R4G4B4, {4, 4, 4, 4}, false},
        {D3DFMT_A8R3G3B2, {3, 3, 2, 8}, false}, {D3DFMT_X4R4G4B4, {4, 4, 4, 0}, false},
        {D3DFMT_A8B8G8R8, {8, 8, 8, 8}, false}, {D3DFMT_X8B8G8R8, {8, 8, 8, 0}, false},
        {D3DFMT_R3G3B2, {3, 3, 2, 0}, false},   {D3DFMT_A8, {0, 0, 0, 8}, false},
        {D3DFMT_L8, {8, 8, 8, 0}, true},        {D3DFMT_A8L8, {8, 8, 8, 8}, true},
        {D3DFMT_A4L4, {4, 4, 4, 4}, true},      {D3DFMT_L16, {8, 8, 8, 0}, true},
    };
    const std::vector<Colour> colours = {{0, 0, 0, 0},      {255, 255, 255, 255}, {200, 100, 50, 128},
                                         {13, 240, 77, 30}, {99, 1, 254, 250},    {64, 128, 192, 255}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(int(c.format));
        std::vector<Colour> used = colours;
        for (Colour& colour : used)
        {
            if (c.grey)
                colour[1] = colour[2] = colour[0];
            if (!c.bits[3])
                colour[3] = 255; // luminance with alpha below 255 would darken
        }
        Raster* raster = D3D9Raster::CreateFromD3DFormat(6, 2, c.format, kRasterTypeTexture);
        ASSERT_NE(raster, nullptr);
        Image* image = Make32(6, 2, used);
        ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
        EXPECT_EQ(raster->privateFlags & kRasterPixelLockMask, 0) << "unlocked again";
        Image* back = ReadBack(raster);
        for (int32_t i = 0; i < 12; ++i)
        {
            Colour got = ColourAt(back, i % 6, i / 6);
            const Colour& want = used[size_t(i) % used.size()];
            for (int32_t k = 0; k < 4; ++k)
            {
                int32_t expected = c.bits[k] ? want[size_t(k)] : 255;
                int32_t tolerance = c.bits[k] ? (1 << (8 - c.bits[k])) - 1 : 0;
                EXPECT_LE(std::abs(int32_t(got[size_t(k)]) - expected), tolerance) << "pixel " << i << " channel " << k;
            }
        }
        Image::Destroy(image);
        Image::Destroy(back);
        Raster::Destroy(raster);
    }
}

TEST_F(D3D9ImageTest, RasterValuesOfTheEdgeColours)
{
    Start();
    struct Case
    {
        D3DFORMAT format;
        Colour colour;
        uint32_t pixel;
    };
    const Case cases[] = {
        {D3DFMT_R5G6B5, {255, 255, 255, 9}, 0xFFFF},
        {D3DFMT_L8, {255, 255, 255, 128}, 128},
        {D3DFMT_A4L4, {255, 255, 255, 255}, 0xFF},
        {D3DFMT_L16, {255, 255, 255, 255}, 0xFFFF},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(int(c.format));
        Raster* raster = D3D9Raster::CreateFromD3DFormat(2, 2, c.format, kRasterTypeTexture);
        ASSERT_NE(raster, nullptr);
        // Through the palette for the 8-bit formats, pixel by pixel for the others.
        Image* image = raster->depth == 8 ? Make8(2, 2, {3}, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, c.colour})
                                          : Make32(2, 2, {c.colour});
        ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
        EXPECT_EQ(FirstPixel(raster), c.pixel);
        Image::Destroy(image);
        Raster::Destroy(raster);
    }

    // A 32-bit image in an 888 raster: opaque pixels and no alpha flag.
    Raster* raster = Raster::Create(2, 2, 0, kRasterTypeTexture | kRasterFormat888);
    D3D9Raster::Extension(raster)->alpha = 1;
    Image* image = Make32(2, 2, {{1, 2, 3, 4}});
    ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
    EXPECT_EQ(FirstPixel(raster), 0xFF010203u);
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(raster), 0);
    Raster* alpha = Raster::Create(2, 2, 0, kRasterTypeTexture | kRasterFormat8888);
    ASSERT_EQ(Raster::SetFromImage(alpha, image), alpha);
    EXPECT_EQ(FirstPixel(alpha), 0x04010203u);
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(alpha), 1);
    Image::Destroy(image);
    Raster::Destroy(raster);
    Raster::Destroy(alpha);
}

TEST_F(D3D9ImageTest, AFailedLockLeavesTheAlphaFlagAsItWas)
{
    Start();
    Raster* raster = Raster::Create(2, 2, 0, kRasterTypeTexture | kRasterFormat888);
    D3D9Raster::Extension(raster)->alpha = 1;
    Image* image = Make32(2, 2, {{1, 2, 3, 4}});
    d3d9test::FailNext(d3d9test::Fault::Lock, D3DERR_INVALIDCALL);
    EXPECT_EQ(Raster::SetFromImage(raster, image), nullptr);
    d3d9test::ClearFaults();
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(raster), 1) << "unchanged";
    Error e;
    Error::Get(&e);
    Image::Destroy(image);
    Raster::Destroy(raster);
}

TEST_F(D3D9ImageTest, PalettisedAndLuminanceRastersReadBack)
{
    Start();
    const std::vector<Colour> palette = {{1, 2, 3, 255}, {40, 50, 60, 255}, {200, 100, 0, 255}};
    Raster* p8 = Raster::Create(4, 2, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_NE(p8, nullptr);
    Image* indexed = Make8(4, 2, {2, 0, 1, 1}, palette);
    ASSERT_EQ(Raster::SetFromImage(p8, indexed), p8);

    Image* wide = ReadBack(p8);
    EXPECT_EQ(ColourAt(wide, 0, 0), palette[2]);
    EXPECT_EQ(ColourAt(wide, 1, 1), palette[0]);
    Image* narrow = Make8(4, 2, {0}, {});
    ASSERT_EQ(Image::SetFromRaster(narrow, p8), narrow);
    EXPECT_EQ(std::memcmp(narrow->pixels, indexed->pixels, 4), 0);
    EXPECT_EQ(std::memcmp(narrow->palette, indexed->palette, 1024), 0);

    Raster* l8 = Raster::Create(4, 2, 0, kRasterTypeTexture | kRasterFormatLum8);
    ASSERT_NE(l8, nullptr);
    Image* greys = Make32(4, 2, {{7, 7, 7, 255}, {180, 180, 180, 255}});
    ASSERT_EQ(Raster::SetFromImage(l8, greys), l8);
    Image* back = ReadBack(l8);
    EXPECT_EQ(ColourAt(back, 1, 0), (Colour{180, 180, 180, 255}));
    // An alpha-only raster reads as white with its alpha, not as a grey.
    Raster* a8 = D3D9Raster::CreateFromD3DFormat(4, 2, D3DFMT_A8, kRasterTypeTexture);
    ASSERT_NE(a8, nullptr);
    uint8_t* bytes = Raster::Lock(a8, 0, kRasterLockWrite);
    ASSERT_NE(bytes, nullptr);
    for (int32_t y = 0; y < 2; ++y)
        std::memset(bytes + y * a8->stride, 0x40, 4);
    Raster::Unlock(a8);
    Image* alphas = ReadBack(a8);
    EXPECT_EQ(ColourAt(alphas, 2, 1), (Colour{255, 255, 255, 0x40}));
    Image::Destroy(alphas);
    Raster::Destroy(a8);
    ASSERT_EQ(Image::SetFromRaster(narrow, l8), narrow);
    EXPECT_EQ(narrow->pixels[1], 180);
    EXPECT_EQ(Colour(narrow->palette + 4 * 99, narrow->palette + 4 * 100), (Colour{99, 99, 99, 255})) << "a ramp";

    for (Image* i : {indexed, wide, narrow, greys, back})
        Image::Destroy(i);
    Raster::Destroy(p8);
    Raster::Destroy(l8);
}

TEST_F(D3D9ImageTest, AWideImageIsQuantisedIntoAPalettisedRaster)
{
    Start();
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat8888);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(D3D9Raster::GetAlphaFlag(raster), 1);
    const std::vector<Colour> colours = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
    Image* image = Make32(4, 4, colours);
    ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
    EXPECT_EQ(Raster::FormatFlags(raster), kRasterFormatPal8 | kRasterFormat888) << "an opaque palette drops alpha";
    EXPECT_EQ(D3D9Raster::GetAlphaFlag(raster), 0);
    Image* back = ReadBack(raster);
    for (int32_t i = 0; i < 16; ++i)
        EXPECT_EQ(ColourAt(back, i % 4, i / 4), colours[size_t(i) % 4]) << i;
    Image::Destroy(image);
    Image::Destroy(back);
    Raster::Destroy(raster);
}

TEST_F(D3D9ImageTest, AnImageOfAnotherSizeIsWrittenThroughAResampledCopy)
{
    Start();
    Raster* raster = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat8888);
    Image* image = Image::Create(16, 16, 32);
    Image::AllocatePixels(image);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
        {
            const uint8_t value = (x + y) % 2 ? 200 : 100; // averages to 150 over each 2 x 2
            const uint8_t colour[4] = {value, value, value, 255};
            std::memcpy(At(image, x, y), colour, 4);
        }
    std::vector<uint8_t> before(image->pixels, image->pixels + 16 * image->stride);
    ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
    EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + 16 * image->stride), before);
    Image* back = ReadBack(raster);
    EXPECT_EQ(ColourAt(back, 3, 5), (Colour{150, 150, 150, 255}));
    Image::Destroy(image);
    Image::Destroy(back);
    Raster::Destroy(raster);
}

TEST_F(D3D9ImageTest, ConversionsThatCannotBeMadeFailAndSaySo)
{
    Start();
    Image* image = Make32(8, 8, {{1, 2, 3, 4}});
    Raster* dxt = D3D9Raster::CreateFromD3DFormat(8, 8, D3DFMT_DXT1, kRasterTypeTexture);
    ASSERT_NE(dxt, nullptr);
    EXPECT_EQ(Raster::SetFromImage(dxt, image), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, kCorePluginId);
    EXPECT_EQ(e.code, kCoreErrDevice);
    EXPECT_EQ(Image::SetFromRaster(image, dxt), nullptr);
    Error::Get(&e);
    EXPECT_EQ(e.code, kCoreErrDevice);

    Raster* wide = D3D9Raster::CreateFromD3DFormat(8, 8, D3DFMT_A16B16G16R16, kRasterTypeTexture);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(Raster::SetFromImage(wide, image), nullptr) << "64 bits per pixel have no writer";
    EXPECT_EQ(TakeError(), kErrConvertDepth);
    EXPECT_EQ(Image::SetFromRaster(image, wide), nullptr);
    EXPECT_EQ(TakeError(), kErrConvertDepth);

    // An image smaller than the raster would be overrun by its rows.
    Raster* raster = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat8888);
    Image* small = Make32(4, 4, {{0, 0, 0, 0}});
    EXPECT_EQ(D3D9Raster::ToImage(small, raster, 0), 0);
    EXPECT_EQ(TakeError(), kErrImageSize);
    EXPECT_EQ(raster->privateFlags & kRasterPixelLockMask, 0);

    Image* four = Image::Create(8, 8, 4);
    Image::AllocatePixels(four);
    EXPECT_EQ(Image::SetFromRaster(four, raster), nullptr) << "a 4-bit image from a 32-bit raster";
    Error::Get(&e);
    EXPECT_EQ(e.code, kCoreErrDevice);
    for (Image* i : {image, small, four})
        Image::Destroy(i);
    for (Raster* r : {dxt, wide, raster})
        Raster::Destroy(r);
}

// ---- Rasters of Direct3D formats --------------------------------------------------------------------------

TEST_F(D3D9ImageTest, RastersAreMadeForDirect3DFormats)
{
    Start();
    struct Case
    {
        const char* name;
        D3DFORMAT format;
        uint32_t flags;
        uint32_t rasterFormat; ///< the format flags it ends with
        int32_t depth;
        uint8_t alpha;
        bool listed;
        bool compressed;
    };
    const uint32_t T = kRasterTypeTexture;
    const Case cases[] = {
        {"8888 with its mip levels", D3DFMT_A8R8G8B8, T | kRasterFormatMipmap, kRasterFormat8888 | kRasterFormatMipmap,
         32, 1, false, false},
        {"normal rasters drop the mipmap flags", D3DFMT_R5G6B5, kRasterTypeNormal | kRasterFormatMipmap,
         kRasterFormat565, 16, 0, false, false},
        {"a format without an engine format", D3DFMT_A8L8, T, 0, 16, 1, false, false},
        {"DXT1", D3DFMT_DXT1, T, kRasterFormat565, 16, 0, false, true},
        {"DXT5", D3DFMT_DXT5, T, kRasterFormat4444, 16, 1, false, true},
        {"P8 takes a palette and joins the list", D3DFMT_P8, T, kRasterFormatPal8, 8, 0, true, false},
        {"a depth texture lives in the default pool", D3DFMT_D16, T, kRasterFormatZ16, 16, 0, true, false},
        {"a camera texture", D3DFMT_X8R8G8B8, kRasterTypeCameraTexture, kRasterFormat888, 32, 0, true, false},
    };
    std::vector<Raster*> made;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Raster* raster = D3D9Raster::CreateFromD3DFormat(16, 16, c.format, c.flags);
        ASSERT_NE(raster, nullptr);
        D3D9RasterExtension* ext = D3D9Raster::Extension(raster);
        EXPECT_EQ(ext->format, c.format);
        EXPECT_NE(ext->object, nullptr);
        EXPECT_EQ(raster->flags & kRasterDontAllocate, 0);
        EXPECT_EQ(Raster::FormatFlags(raster), c.rasterFormat);
        EXPECT_EQ(raster->depth, c.depth);
        EXPECT_EQ(ext->alpha, c.alpha);
        EXPECT_EQ(D3D9Raster::IsListed(raster), c.listed);
        EXPECT_EQ(D3D9Raster::IsCompressed(raster), c.compressed);
        made.push_back(raster);
    }
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 1);
    EXPECT_EQ(Raster::GetNumLevels(made[0]), 5);
    for (Raster* raster : made)
        Raster::Destroy(raster);
    EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
    EXPECT_EQ(ExtraResources(), 0u);
    ShutDown();

    d3d9test::AdapterConfig adapter = Adapter();
    Drop(adapter.textureFormats, D3DFMT_A8L8);
    Start({adapter});
    EXPECT_EQ(D3D9Raster::CreateFromD3DFormat(16, 16, D3DFMT_A8L8, T), nullptr);
    EXPECT_EQ(D3D9Raster::CreateFromD3DFormat(16, 16, D3DFMT_L8, kRasterTypeCameraTexture), nullptr)
        << "not a render-target format";
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(D3D9Raster::CreateFromD3DFormat(16, 16, D3DFMT_A8R8G8B8, T), nullptr);
}

TEST_F(D3D9ImageTest, PalettisedRastersAreRemadeInASupportedFormatWithTheirPixels)
{
    struct Case
    {
        const char* name;
        bool deep;
        Colour translucent;
        uint32_t format;
        int32_t tolerance;
    };
    const Case cases[] = {
        {"opaque on a 32-bit display", true, {90, 91, 92, 255}, kRasterFormat888, 0},
        {"translucent on a 32-bit display", true, {90, 91, 92, 100}, kRasterFormat8888, 0},
        {"opaque on a 16-bit display", false, {90, 91, 92, 255}, kRasterFormat565, 7},
        {"translucent on a 16-bit display", false, {90, 91, 92, 100}, kRasterFormat4444, 15},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Start({c.deep ? Adapter() : SixteenBitDisplay()});
        // The raster's own alpha flag decides, as its palette format gave it.
        uint32_t base = c.translucent[3] == 255 ? kRasterFormat888 : kRasterFormat8888;
        Raster* raster = Raster::Create(4, 2, 0, kRasterTypeTexture | kRasterFormatPal8 | base);
        ASSERT_NE(raster, nullptr);
        const std::vector<Colour> palette = {{255, 0, 0, 255}, c.translucent, {16, 32, 48, 255}};
        Image* image = Make8(4, 2, {0, 1, 2, 1}, palette);
        ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
        Image* before = ReadBack(raster);

        ASSERT_EQ(D3D9Raster::ConvertToSupportedFormat(raster), 1);
        EXPECT_EQ(Raster::FormatFlags(raster) & (kRasterFormatPixelMask | kRasterFormatPal8), c.format);
        EXPECT_FALSE(D3D9Raster::IsListed(raster)) << "no palette left to restore";
        EXPECT_EQ(D3D9Raster::PalettesInUse(), 0);
        Image* after = ReadBack(raster);
        for (int32_t i = 0; i < 8; ++i)
            for (int32_t k = 0; k < 4; ++k)
                EXPECT_LE(std::abs(int32_t(At(after, i % 4, i / 4)[k]) - int32_t(At(before, i % 4, i / 4)[k])),
                          c.tolerance)
                    << "pixel " << i << " channel " << k;
        for (Image* i : {image, before, after})
            Image::Destroy(i);
        Raster::Destroy(raster);
        ShutDown();
    }
}

} // namespace
} // namespace d3d9driver
