// Tests of image resampling: exact copies at the same size, the area average of a pair,
// growing and shrinking against an exact area integral, and images of other depths.
#include "engine.h"
#include "error.h"
#include "image.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{

class ImageResample : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
    }

    static Image* Make(int32_t width, int32_t height, uint8_t (*colour)(int32_t x, int32_t y, int32_t c))
    {
        Image* image = Image::Create(width, height, 32);
        Image::AllocatePixels(image);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                for (int32_t c = 0; c < 4; ++c)
                    image->pixels[y * image->stride + 4 * x + c] = colour(x, y, c);
        return image;
    }

    static const uint8_t* At(const Image* image, int32_t x, int32_t y)
    {
        return image->pixels + y * image->stride + 4 * x;
    }
};

uint8_t Pattern(int32_t x, int32_t y, int32_t c)
{
    const int32_t values[4] = {(x * 7 + y * 3) & 255, x * 2, y * 4, 255 - x};
    return uint8_t(values[c]);
}

/// The exact area average of the source under destination pixel (x, y).
double Reference(const Image* source, int32_t width, int32_t height, int32_t x, int32_t y, int32_t c)
{
    double sx = double(source->width) / width, sy = double(source->height) / height;
    double x0 = x * sx, x1 = x0 + sx, y0 = y * sy, y1 = y0 + sy;
    double sum = 0, area = 0;
    for (int32_t j = int32_t(y0); j < std::min<int32_t>(int32_t(std::ceil(y1)), source->height); ++j)
        for (int32_t i = int32_t(x0); i < std::min<int32_t>(int32_t(std::ceil(x1)), source->width); ++i)
        {
            double w =
                (std::min(x1, i + 1.0) - std::max(x0, double(i))) * (std::min(y1, j + 1.0) - std::max(y0, double(j)));
            sum += w * source->pixels[j * source->stride + 4 * i + c];
            area += w;
        }
    return sum / area;
}

TEST_F(ImageResample, SameSizeCopiesAndAPairAveragesToTheMiddle)
{
    Image* source = Make(4, 4, Pattern);
    source->flags |= kImageGammaCorrected;
    Image* copy = Image::Create(4, 4, 32);
    Image::AllocatePixels(copy);
    ASSERT_EQ(Image::Resample(copy, source), copy);
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(At(copy, 0, y), At(source, 0, y), 16), 0);
    EXPECT_EQ(copy->flags & kImageGammaCorrected, kImageGammaCorrected);

    Image* pair = Make(2, 1, [](int32_t x, int32_t, int32_t c) { return uint8_t(c == 3 || x == 1 ? 255 : 0); });
    Image* one = Image::CreateResampled(pair, 1, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(one->pixels, one->pixels + 4), (std::vector<uint8_t>{127, 127, 127, 255}));

    for (Image* image : {source, copy, pair, one})
        Image::Destroy(image);
}

TEST_F(ImageResample, GrowingAndShrinkingFollowTheAreaUnderEachPixel)
{
    Image* source = Make(100, 60, Pattern);
    struct Case
    {
        int32_t width, height;
    };
    for (const Case& c : {Case{128, 64}, Case{64, 32}, Case{37, 100}})
    {
        SCOPED_TRACE(c.width);
        Image* result = Image::CreateResampled(source, c.width, c.height);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->width, c.width);
        EXPECT_EQ(result->height, c.height);
        double worst = 0;
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x)
                for (int32_t k = 0; k < 4; ++k)
                {
                    double expected = Reference(source, c.width, c.height, x, y, k);
                    worst = std::max(worst, std::fabs(At(result, x, y)[k] - expected));
                }
        EXPECT_LE(worst, 1.0);
        Image::Destroy(result);
    }
    Image::Destroy(source);
}

TEST_F(ImageResample, PalettisedSourcesAreExpandedFirstAndBadInputsRefused)
{
    Image* palettised = Image::Create(3, 1, 4);
    Image::AllocatePixels(palettised);
    std::memset(palettised->palette, 0, 64);
    const uint8_t red[4] = {200, 0, 0, 255};
    std::memcpy(palettised->palette + 4 * 2, red, 4);
    std::memset(palettised->pixels, 2, 3);
    size_t blocks = TestMemory::CountLive(kMemoryHintObject | 0x18);
    Image* wide = Image::CreateResampled(palettised, 5, 2);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(At(wide, 4, 1), At(wide, 4, 1) + 4), std::vector<uint8_t>(red, red + 4));
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintObject | 0x18), blocks + 1)
        << "the result's pixels; the expanded copy is gone";

    Image* sixteen = Image::Create(2, 2, 16);
    Image::AllocatePixels(sixteen);
    blocks = TestMemory::CountLive(kMemoryHintObject | 0x18);
    EXPECT_EQ(Image::CreateResampled(sixteen, 4, 4), nullptr);
    EXPECT_EQ(Image::Resample(wide, sixteen), nullptr);
    Error e;
    EXPECT_EQ(Error::Get(&e)->code, kErrImageFormat);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintObject | 0x18), blocks);
    for (Image* image : {palettised, wide, sixteen})
        Image::Destroy(image);
}

} // namespace
