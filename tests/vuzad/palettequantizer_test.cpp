// Tests of the palette quantiser: few colours give one entry per leaf in depth-first order,
// many colours give a full palette that every pixel maps close to, and the tree's nodes
// are all given back.
#include "engine.h"
#include "error.h"
#include "image.h"
#include "palettequantizer.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace
{

using Colour = std::vector<uint8_t>;

class Quantizer : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
        ASSERT_EQ(PaletteQuantizer::Init(&mQuantizer), 1);
    }

    void TearDown() override
    {
        PaletteQuantizer::Term(&mQuantizer);
        EngineFixture::TearDown();
    }

    /// A 32-bit image of one row holding the colours.
    static Image* Row(const std::vector<Colour>& colours)
    {
        Image* image = Image::Create(int32_t(colours.size()), 1, 32);
        Image::AllocatePixels(image);
        for (size_t i = 0; i < colours.size(); ++i)
            std::memcpy(image->pixels + 4 * i, colours[i].data(), 4);
        return image;
    }

    /// Quantises the image to at most maxColours; answers the palette and the indices.
    int32_t Quantise(Image* image, int32_t maxColours, std::vector<uint8_t>* indices)
    {
        EXPECT_EQ(PaletteQuantizer::AddImage(&mQuantizer, image, 1.0f), 1);
        std::memset(mPalette, 0xCD, sizeof(mPalette));
        int32_t count = PaletteQuantizer::MakePalette(mPalette, maxColours, &mQuantizer);
        indices->assign(size_t(image->width) * size_t(image->height), 0xFF);
        EXPECT_EQ(PaletteQuantizer::MatchImage(indices->data(), image->width, 8, 0, &mQuantizer, image), image);
        return count;
    }

    Colour Entry(int32_t i) const { return Colour(mPalette + 4 * i, mPalette + 4 * i + 4); }

    PaletteQuantizer mQuantizer;
    uint8_t mPalette[1024];
};

TEST_F(Quantizer, FewColoursGiveOneEntryPerLeafInDepthFirstOrder)
{
    // Greys in shuffled order: their leaves lie in ascending order depth first. Each leaf
    // holds one colour and gives it back exactly.
    std::vector<Colour> colours;
    for (int32_t v : {180, 0, 252, 36, 144, 72, 216, 108, 4, 8})
        colours.push_back({uint8_t(v), uint8_t(v), uint8_t(v), 255});
    Image* image = Row(colours);
    std::vector<uint8_t> indices;
    ASSERT_EQ(Quantise(image, 16, &indices), 10);

    std::vector<Colour> sorted = colours;
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < 10; ++i)
        EXPECT_EQ(Entry(i), sorted[size_t(i)]) << i;
    for (int32_t i = 10; i < 16; ++i)
        EXPECT_EQ(Entry(i), Colour(4, 0)) << "unused requested entries are cleared";
    EXPECT_EQ(mPalette[64], 0xCD) << "nothing past the requested count is written";
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(Entry(indices[i]), colours[i]);
    Image::Destroy(image);
}

TEST_F(Quantizer, LeavesJoinColoursThatShareTheirTopBitsButAlphaSeparates)
{
    Image* image = Row({{100, 100, 100, 255}, {103, 102, 101, 255}, {100, 100, 100, 0}, {103, 102, 101, 255}});
    std::vector<uint8_t> indices;
    ASSERT_EQ(Quantise(image, 256, &indices), 2);
    EXPECT_EQ(indices, (std::vector<uint8_t>{1, 1, 0, 1})) << "the transparent leaf comes first";
    EXPECT_EQ(Entry(0), (Colour{100, 100, 100, 0}));
    // The leaf's mean colour scaled by 255.99 / 255 and truncated.
    EXPECT_EQ(Entry(1), (Colour{102, 101, 101, 255}));
    Image::Destroy(image);
}

TEST_F(Quantizer, ManyColoursFillThePaletteAndEveryPixelMapsNearby)
{
    // 4096 colours over all four channels, and a palettised image that shares the palette.
    std::vector<Colour> colours;
    for (int32_t i = 0; i < 4096; ++i)
        colours.push_back({uint8_t((i & 15) * 17), uint8_t(((i >> 4) & 15) * 17), uint8_t(((i >> 8) & 7) * 36),
                           uint8_t((i >> 11) ? 255 : 40)});
    Image* image = Row(colours);
    Image* palettised = Image::Create(3, 1, 8);
    Image::AllocatePixels(palettised);
    std::memset(palettised->palette, 0, 1024);
    const Colour extra = {255, 255, 255, 255};
    std::memcpy(palettised->palette + 4 * 9, extra.data(), 4);
    std::memset(palettised->pixels, 9, 3);
    ASSERT_EQ(PaletteQuantizer::AddImage(&mQuantizer, palettised, 1.0f), 1);

    std::vector<uint8_t> indices;
    ASSERT_EQ(Quantise(image, 256, &indices), 256);
    std::set<uint8_t> used(indices.begin(), indices.end());
    EXPECT_EQ(used.size(), 256u) << "every box gets pixels";
    int32_t worst = 0;
    double total = 0;
    for (size_t i = 0; i < colours.size(); ++i)
    {
        Colour got = Entry(indices[i]);
        for (int32_t c = 0; c < 4; ++c)
        {
            int32_t d = std::abs(int32_t(got[size_t(c)]) - int32_t(colours[i][size_t(c)]));
            worst = std::max(worst, d);
            total += d;
        }
    }
    EXPECT_LE(total / (4.0 * colours.size()), 16.0) << "mean error per channel";
    EXPECT_LE(worst, 80);

    uint8_t index[3] = {};
    ASSERT_EQ(PaletteQuantizer::MatchImage(index, 3, 8, 0, &mQuantizer, palettised), palettised);
    Colour white = Entry(index[0]);
    for (int32_t c = 0; c < 4; ++c)
        EXPECT_GE(white[size_t(c)], 200);

    Image::Destroy(image);
    Image::Destroy(palettised);
}

TEST_F(Quantizer, UnknownColoursAndUnreadableImages)
{
    Image* image = Row({{10, 20, 30, 255}, {200, 100, 0, 255}});
    std::vector<uint8_t> indices;
    ASSERT_EQ(Quantise(image, 16, &indices), 2);
    Image* stranger = Row({{200, 100, 0, 255}, {0, 255, 0, 255}});
    uint8_t out[2] = {0xFF, 0xFF};
    ASSERT_EQ(PaletteQuantizer::MatchImage(out, 2, 8, 0, &mQuantizer, stranger), stranger);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 0) << "a colour never added maps to entry 0";

    Image* sixteen = Image::Create(2, 2, 16);
    Image::AllocatePixels(sixteen);
    EXPECT_EQ(PaletteQuantizer::AddImage(&mQuantizer, sixteen, 1.0f), 0);
    Error e;
    EXPECT_EQ(Error::Get(&e)->code, kErrImageFormat);
    for (Image* i : {image, stranger, sixteen})
        Image::Destroy(i);
}

} // namespace
