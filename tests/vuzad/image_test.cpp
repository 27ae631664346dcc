// Tests of images: the pixel block and its limits, copying and conversion, masks, gamma,
// and the exchange with rasters through the device's standard functions.
#include "engine.h"
#include "error.h"
#include "image.h"
#include "palettequantizer.h"
#include "raster.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

constexpr uint32_t kPixelHint = kMemoryHintObject | 0x18;

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

class ImageTest : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
    }

    /// A new image with pixels; palette entry i = {i, 2i, 3i, 255 - i} for palettised depths.
    static Image* Make(int32_t width, int32_t height, int32_t depth)
    {
        Image* image = Image::Create(width, height, depth);
        EXPECT_NE(image, nullptr);
        EXPECT_NE(Image::AllocatePixels(image), nullptr);
        std::memset(image->pixels, 0, size_t(image->height) * size_t(image->stride));
        if (image->palette)
            for (int32_t i = 0; i < (1 << depth); ++i)
                std::memcpy(image->palette + 4 * i,
                            std::vector<uint8_t>{uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), uint8_t(255 - i)}.data(),
                            4);
        return image;
    }

    static uint8_t* Pixel(Image* image, int32_t x, int32_t y)
    {
        return image->pixels + y * image->stride + x * ((image->depth + 7) / 8);
    }
};

// ---- The pixel block -------------------------------------------------------------------------

TEST_F(ImageTest, PixelBlockHoldsPaddedRowsThenThePalette)
{
    struct Case
    {
        int32_t width, height, depth, stride, paletteBytes;
    };
    for (const Case& c : {Case{3, 2, 4, 4, 64}, Case{5, 3, 8, 8, 1024}, Case{3, 2, 32, 12, 0}, Case{0, 4, 8, 0, 1024}})
    {
        SCOPED_TRACE(c.depth);
        Image* image = Make(c.width, c.height, c.depth);
        EXPECT_EQ(image->stride, c.stride);
        EXPECT_EQ(image->flags & kImageOwnsPixels, kImageOwnsPixels);
        if (c.paletteBytes)
            EXPECT_EQ(image->palette, image->pixels + c.height * c.stride);
        else
            EXPECT_EQ(image->palette, nullptr);
        uint8_t* block = image->pixels;
        EXPECT_EQ(TestMemory::live.at(block).size, size_t(c.height * c.stride + c.paletteBytes));
        Image::FreePixels(image);
        EXPECT_EQ(image->pixels, nullptr);
        EXPECT_EQ(image->flags & kImageOwnsPixels, 0u);
        EXPECT_EQ(TestMemory::live.count(block), 0u);
        Image::Destroy(image);
    }
}

TEST_F(ImageTest, SizesThatCannotBeAddressedAreRefusedBeforeAllocating)
{
    EXPECT_EQ(Image::Create(-1, 4, 32), nullptr);
    EXPECT_EQ(TakeError(), kErrBadArgument);
    EXPECT_EQ(Image::Create(4, 4, 0), nullptr);
    EXPECT_EQ(TakeError(), kErrBadArgument);

    struct Case
    {
        int32_t width, height, depth;
    };
    // Each would wrap a 32-bit byte count: stride alone, rows x stride, or the palette on top.
    for (const Case& c : {Case{0x40000000, 1, 32}, Case{65536, 65536, 32}, Case{0x7FFFFFFC, 1, 8}})
    {
        Image* image = Image::Create(1, 1, 32);
        image->width = c.width;
        image->height = c.height;
        image->depth = c.depth;
        size_t before = TestMemory::hints.size();
        EXPECT_EQ(Image::AllocatePixels(image), nullptr);
        EXPECT_EQ(TakeError(), kErrBadArgument);
        EXPECT_EQ(TestMemory::hints.size(), before) << "nothing was asked of the allocator";
        Image::Destroy(image);
    }

    Image* image = Image::Create(4, 4, 32);
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == kPixelHint; };
    EXPECT_EQ(Image::AllocatePixels(image), nullptr);
    EXPECT_EQ(TakeError(), kErrNoMemory);
    Image::Destroy(image);
}

// ---- Copying and conversion -------------------------------------------------------------------

TEST_F(ImageTest, ConversionExpandsThroughThePaletteAndKeeps4BitPalettesWhole)
{
    Image* four = Make(3, 2, 4);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            *Pixel(four, x, y) = uint8_t(x + 3 * y + 10); // indices 10 to 15

    Image* eight = Make(3, 2, 8);
    std::memset(eight->palette, 0xAB, 1024);
    ASSERT_EQ(Image::ConvertPixels(eight, four), 1);
    EXPECT_EQ(*Pixel(eight, 2, 1), 15);
    EXPECT_EQ(std::memcmp(eight->palette, four->palette, 64), 0);
    EXPECT_EQ(std::vector<uint8_t>(eight->palette + 64, eight->palette + 1024), std::vector<uint8_t>(960, 0))
        << "the 240 entries a 4-bit image has no use for are cleared";

    Image* wide = Make(3, 2, 32);
    ASSERT_EQ(Image::ConvertPixels(wide, eight), 1);
    EXPECT_EQ(std::vector<uint8_t>(Pixel(wide, 1, 1), Pixel(wide, 1, 1) + 4), (std::vector<uint8_t>{14, 28, 42, 241}));

    // An index past a 4-bit palette reads entry (index & 15), never past the palette.
    *Pixel(four, 0, 0) = 0xF3;
    ASSERT_EQ(Image::ConvertPixels(wide, four), 1);
    EXPECT_EQ(Pixel(wide, 0, 0)[0], 3);

    std::vector<uint8_t> before(wide->pixels, wide->pixels + 2 * wide->stride);
    EXPECT_EQ(Image::ConvertPixels(eight, wide), 0) << "32 -> 8 needs the quantiser";
    EXPECT_EQ(TakeError(), kErrImageFormat);
    EXPECT_EQ(Image::CopyInto(eight, wide), nullptr);
    EXPECT_EQ(TakeError(), kErrImageFormat);

    Image* small = Make(2, 2, 32);
    EXPECT_EQ(Image::ConvertPixels(small, four), 0);
    EXPECT_EQ(TakeError(), kErrImageSize);
    EXPECT_EQ(Image::CopyPixels(small, wide), 0);
    EXPECT_EQ(TakeError(), kErrImageSize);

    for (Image* image : {four, eight, wide, small})
        Image::Destroy(image);
}

TEST_F(ImageTest, CopyIntoCopiesOrConvertsAndTakesTheGammaFlag)
{
    Image* source = Make(2, 2, 8);
    *Pixel(source, 1, 0) = 7;
    source->flags |= kImageGammaCorrected;
    Image* same = Make(2, 2, 8);
    ASSERT_EQ(Image::CopyInto(same, source), same);
    EXPECT_EQ(*Pixel(same, 1, 0), 7);
    EXPECT_EQ(same->flags & kImageGammaCorrected, kImageGammaCorrected);

    Image* wide = Make(2, 2, 32);
    wide->flags |= kImageGammaCorrected;
    source->flags &= ~kImageGammaCorrected;
    ASSERT_EQ(Image::CopyInto(wide, source), wide);
    EXPECT_EQ(Pixel(wide, 1, 0)[2], 21);
    EXPECT_EQ(wide->flags & kImageGammaCorrected, 0u);
    for (Image* image : {source, same, wide})
        Image::Destroy(image);
}

// ---- Masks -------------------------------------------------------------------------------------

TEST_F(ImageTest, MaskBrightnessBecomesAlphaOfAPalettisedImageMadeWide)
{
    Image* image = Make(2, 2, 8);
    image->flags |= kImageGammaCorrected;
    *Pixel(image, 0, 0) = 1;
    *Pixel(image, 1, 1) = 5;
    Image* mask = Make(2, 2, 32);
    const uint8_t colours[4][4] = {{10, 200, 30, 0}, {0, 0, 0, 9}, {90, 20, 91, 0}, {255, 1, 2, 0}};
    for (int32_t i = 0; i < 4; ++i)
        std::memcpy(Pixel(mask, i % 2, i / 2), colours[i], 4);

    ASSERT_EQ(Image::MakeMask(mask), mask);
    EXPECT_EQ(Pixel(mask, 0, 0)[3], 200);
    EXPECT_EQ(Pixel(mask, 1, 0)[3], 0);

    size_t blocks = TestMemory::CountLive(kPixelHint);
    ASSERT_EQ(Image::ApplyMask(image, mask), image);
    EXPECT_EQ(TestMemory::CountLive(kPixelHint), blocks) << "a new block for the image, the temporary copy gone";
    EXPECT_EQ(image->depth, 32);
    EXPECT_EQ(image->palette, nullptr);
    EXPECT_EQ(image->flags & kImageGammaCorrected, kImageGammaCorrected);
    EXPECT_EQ(std::vector<uint8_t>(Pixel(image, 0, 0), Pixel(image, 0, 0) + 4), (std::vector<uint8_t>{1, 2, 3, 200}));
    EXPECT_EQ(std::vector<uint8_t>(Pixel(image, 1, 1), Pixel(image, 1, 1) + 4), (std::vector<uint8_t>{5, 10, 15, 255}));
    EXPECT_EQ(Pixel(image, 0, 1)[3], 91);

    Image* palettisedMask = Make(2, 2, 4);
    *Pixel(palettisedMask, 1, 0) = 2; // entry 2 has alpha 253
    ASSERT_EQ(Image::ApplyMask(image, palettisedMask), image);
    EXPECT_EQ(Pixel(image, 1, 0)[3], 253);
    EXPECT_EQ(Pixel(image, 0, 0)[3], 255);

    Image* other = Make(3, 2, 32);
    EXPECT_EQ(Image::ApplyMask(image, other), nullptr);
    EXPECT_EQ(TakeError(), kErrImageSize);
    for (Image* i : {image, mask, palettisedMask, other})
        Image::Destroy(i);
}

TEST_F(ImageTest, AMaskThatCannotBeAppliedLeavesTheImageAsItWas)
{
    // Whichever pixel allocation fails, the image keeps its depth, palette and pixels.
    for (int failAt : {1, 2})
    {
        Image* image = Make(2, 2, 8);
        *Pixel(image, 1, 1) = 5;
        Image* mask = Make(2, 2, 32);
        uint8_t* pixels = image->pixels;
        int count = 0;
        TestMemory::refuse = [&](size_t, uint32_t hint) { return hint == kPixelHint && ++count == failAt; };
        Image* result = Image::ApplyMask(image, mask);
        TestMemory::refuse = nullptr;
        if (result)
        {
            EXPECT_EQ(image->depth, 32) << failAt;
            EXPECT_EQ(std::vector<uint8_t>(Pixel(image, 1, 1), Pixel(image, 1, 1) + 3),
                      (std::vector<uint8_t>{5, 10, 15}));
        }
        else
        {
            EXPECT_EQ(TakeError(), kErrNoMemory) << failAt;
            EXPECT_EQ(image->depth, 8) << failAt;
            EXPECT_EQ(image->pixels, pixels) << failAt;
            ASSERT_NE(image->palette, nullptr) << failAt;
            EXPECT_EQ(*Pixel(image, 1, 1), 5) << failAt;
        }
        Image::Destroy(image);
        Image::Destroy(mask);
    }
}

TEST_F(ImageTest, RowsTooWideForAStrideAreRefused)
{
    Image* image = Image::Create(0x40000000, 1, 32);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Image::RowBytes(image), int64_t(1) << 32);
    // A record claiming such rows over a small block is left alone, never walked.
    uint8_t block[64] = {};
    image->pixels = block;
    image->stride = 16;
    EXPECT_EQ(Image::MakeMask(image), image);
    EXPECT_EQ(block[3], 0);
    image->pixels = nullptr;
    Image::Destroy(image);
}

// ---- Gamma ---------------------------------------------------------------------------------------

TEST_F(ImageTest, GammaTableIsTheIdentityAtOneAndCorrectsColoursOnly)
{
    const uint8_t* table = Image::GetGammaTable();
    ASSERT_NE(table, nullptr);
    for (int32_t i = 0; i < 256; ++i)
        ASSERT_EQ(table[i], i);
    EXPECT_EQ(Image::GetGamma(), 1.0f);

    ASSERT_EQ(Image::BuildGammaTables(2.0f), 1);
    EXPECT_EQ(Image::GetGamma(), 2.0f);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[64], 128); // 255 x sqrt(64 / 255) + 0.5 = 128.25
    EXPECT_EQ(table[255], 255);

    Image* image = Make(1, 1, 32);
    const uint8_t colour[4] = {64, 16, 0, 64};
    std::memcpy(image->pixels, colour, 4);
    ASSERT_EQ(Image::GammaCorrect(image), image);
    EXPECT_EQ(image->flags & kImageGammaCorrected, kImageGammaCorrected);
    EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + 4), (std::vector<uint8_t>{128, 64, 0, 64}));
    Image::GammaCorrect(image);
    EXPECT_EQ(image->pixels[1], 128) << "a second correction applies the table again";

    Image* palettised = Make(1, 1, 8);
    ASSERT_EQ(Image::GammaCorrect(palettised), palettised);
    EXPECT_EQ(palettised->palette[4 * 64 + 0], 128);
    EXPECT_EQ(palettised->palette[4 * 64 + 3], 191) << "alpha unchanged";

    Image* bare = Image::Create(1, 1, 8);
    EXPECT_EQ(Image::GammaCorrect(bare), nullptr);
    EXPECT_EQ(TakeError(), kErrNullArgument);
    Image* odd = Image::Create(1, 1, 16);
    EXPECT_EQ(Image::GammaCorrect(odd), nullptr);
    EXPECT_EQ(TakeError(), kErrImageDepth);
    for (Image* i : {image, palettised, bare, odd})
        Image::Destroy(i);
}

TEST_F(ImageTest, EngineStartBuildsTheTableForTheDeviceGamma)
{
    ShutDownEngine();
    TestDevice::gamma = 2.0f;
    StartEngine();
    EXPECT_EQ(Image::GetGamma(), 2.0f);
    EXPECT_EQ(Image::GetGammaTable()[64], 128);
}

TEST_F(ImageTest, ModuleOpenFailureLeavesNothingAndTheStartFails)
{
    ShutDownEngine();
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == (kMemoryHintResize | kMemoryHintEngine | 0x18); };
    EXPECT_EQ(Engine::Start(), 0);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | 0x406), 0u);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintResize | kMemoryHintEngine | 0x406), 0u);
    EXPECT_EQ(Image::Create(1, 1, 32), nullptr) << "the module is closed";
}

// ---- Records from callers and files ------------------------------------------------------------------

TEST_F(ImageTest, MutatedRecordsAreRefusedOrHandledWithinTheirPixels)
{
    // Each image operation gets records whose fields disagree with their pixel block in
    // every way a reader or caller could make them; the sanitizers watch every access.
    std::vector<Image*> bases = {Make(5, 3, 4), Make(5, 3, 8), Make(5, 3, 32)};
    Image* wide = Make(5, 3, 32);
    Image* wideMask = Make(5, 3, 32);
    using Mutation = void (*)(Image&);
    const Mutation mutations[] = {
        [](Image&) {},
        [](Image& i) { i.stride = Image::RowBytes(&i) - 1; },
        [](Image& i) { i.stride = 0; },
        [](Image& i) { i.width = -i.width; },
        [](Image& i) { i.height = -1; },
        [](Image& i) { i.width += 1; },
        [](Image& i) { i.depth = 16; },
        [](Image& i) { i.depth = 0; },
        [](Image& i) { i.depth = 33; },
        [](Image& i) { i.palette = nullptr; },
        [](Image& i) { i.pixels = nullptr; },
        [](Image& i) { i.width = 2; },
        [](Image& i) { i.depth = i.depth == 32 ? 8 : 32; },
    };
    int32_t refused = 0;
    for (Image* base : bases)
        for (Mutation mutate : mutations)
        {
            auto run = [&](auto operation)
            {
                Image copy = *base;
                copy.flags &= ~kImageOwnsPixels; // the block stays the base's
                mutate(copy);
                if (!operation(&copy))
                    ++refused;
                Image::FreePixels(&copy); // a block the operation gave the copy
                TakeError();
            };
            run([&](Image* i) { return Image::ConvertPixels(wide, i) != 0; });
            run([&](Image* i) { return Image::CopyInto(i, wide) != nullptr; });
            run([&](Image* i) { return Image::GammaCorrect(i) != nullptr; });
            run([&](Image* i) { return Image::MakeMask(i) != nullptr; });
            run([&](Image* i) { return Image::ApplyMask(i, wideMask) != nullptr; });
            run([&](Image* i) { return Image::ApplyMask(wide, i) != nullptr; });
            run([&](Image* i) { return Image::Resample(wide, i) != nullptr; });
            run(
                [&](Image* i)
                {
                    Image* result = Image::CreateResampled(i, 3, 2);
                    if (result)
                        Image::Destroy(result);
                    return result != nullptr;
                });
            run(
                [&](Image* i)
                {
                    PaletteQuantizer quantizer;
                    PaletteQuantizer::Init(&quantizer);
                    uint8_t palette[1024], indices[64];
                    bool added = PaletteQuantizer::AddImage(&quantizer, i, 1.0f) != 0;
                    PaletteQuantizer::MakePalette(palette, 256, &quantizer);
                    bool matched = added && i->width <= 8 && i->height <= 8 &&
                                   PaletteQuantizer::MatchImage(indices, 8, 8, 0, &quantizer, i) != nullptr;
                    PaletteQuantizer::Term(&quantizer);
                    return matched;
                });
        }
    EXPECT_GT(refused, 100);
    for (Image* image : bases)
        Image::Destroy(image);
    Image::Destroy(wide);
    Image::Destroy(wideMask);
}

// ---- Rasters --------------------------------------------------------------------------------------

struct DeviceCall
{
    int32_t slot;
    void* out;
    void* in;
    int32_t number;
};
std::vector<DeviceCall> sCalls;

template <int32_t Slot> int32_t Record(void* out, void* in, int32_t number)
{
    sCalls.push_back({Slot, out, in, number});
    return 1;
}

int32_t FindFormat(void* out, void* in, int32_t number)
{
    sCalls.push_back({kStdImageFindRasterFormat, out, in, number});
    auto* raster = static_cast<Raster*>(out);
    auto* image = static_cast<Image*>(in);
    raster->width = image->width / 2;
    raster->height = image->height;
    raster->depth = 16;
    raster->type = uint8_t(number & kRasterTypeMask);
    raster->format = 0x83;
    return 1;
}

int32_t CreateRaster(void*, void* in, int32_t number)
{
    auto* raster = static_cast<Raster*>(in);
    raster->type = uint8_t(number & kRasterTypeMask);
    raster->depth = 32;
    return 1;
}

class ImageRaster : public ImageTest
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sCalls.clear();
        TestDevice::slots = {{kStdRasterCreate, CreateRaster},
                             {kStdImageGetRaster, Record<kStdImageGetRaster>},
                             {kStdRasterSetImage, Record<kStdRasterSetImage>},
                             {kStdImageFindRasterFormat, FindFormat}};
        StartEngine();
    }
};

TEST_F(ImageRaster, ExchangesGoThroughTheDeviceAndCarryTheGammaFlag)
{
    Raster* raster = Raster::Create(4, 2, 0, kRasterTypeTexture);
    ASSERT_NE(raster, nullptr);
    Image* image = Make(4, 2, 32);
    image->flags |= kImageGammaCorrected;

    ASSERT_EQ(Raster::SetFromImage(raster, image), raster);
    ASSERT_EQ(sCalls.size(), 1u);
    EXPECT_EQ(sCalls[0].slot, kStdRasterSetImage);
    EXPECT_EQ(sCalls[0].out, raster);
    EXPECT_EQ(sCalls[0].in, image);
    EXPECT_EQ(raster->privateFlags & kRasterGammaCorrected, kRasterGammaCorrected);

    Image* back = Make(4, 2, 32);
    ASSERT_EQ(Image::SetFromRaster(back, raster), back);
    EXPECT_EQ(sCalls.back().slot, kStdImageGetRaster);
    EXPECT_EQ(sCalls.back().out, back);
    EXPECT_EQ(sCalls.back().in, raster);
    EXPECT_EQ(back->flags & kImageGammaCorrected, kImageGammaCorrected);

    // An image of another size would be overrun by the raster's rows: the device is not asked.
    Image* small = Make(2, 2, 32);
    sCalls.clear();
    EXPECT_EQ(Image::SetFromRaster(small, raster), nullptr);
    EXPECT_EQ(TakeError(), kErrImageSize);
    EXPECT_TRUE(sCalls.empty());

    int32_t width = 0, height = 0, depth = 0;
    uint32_t format = 0;
    ASSERT_EQ(
        Image::FindRasterFormat(image, kRasterTypeTexture | kRasterFormatMipmap, &width, &height, &depth, &format),
        image);
    EXPECT_EQ(sCalls.back().number, int32_t(kRasterTypeTexture | kRasterFormatMipmap));
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(depth, 16);
    EXPECT_EQ(format, 0x8304u);

    for (Image* i : {image, back, small})
        Image::Destroy(i);
    Raster::Destroy(raster);
}

} // namespace
