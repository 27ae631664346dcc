// Tests of texture loading on the Direct3D 9 driver: image files found along the path and
// fitted to the raster the device chooses, masks, mip levels from level files or generated
// from level 0, shared palettes, bounded file names, and binding a texture to a stage.
#include "d3d9driverfixture.h"
#include "d3d9renderstate.h"
#include "filesystem.h"
#include "image.h"
#include "stream.h"
#include "texture.h"

#include <cstring>
#include <map>
#include <string>

using namespace d3d9driver;

namespace
{

/// A flat image file: every pixel one colour (palettised files: every index 0, whose
/// palette entry is the colour; the other entries are grey).
struct ImageFile
{
    int32_t width;
    int32_t height;
    int32_t depth;
    Rgba colour;
};

std::map<std::string, ImageFile> sFiles;
std::vector<std::string> sRead;

int32_t Exists(const char* name)
{
    return sFiles.count(name) ? 1 : 0;
}

Image* ReadFile(const char* name)
{
    sRead.push_back(name);
    const ImageFile& file = sFiles.at(name);
    Image* image = Image::Create(file.width, file.height, file.depth);
    Image::AllocatePixels(image);
    for (int32_t y = 0; y < file.height; ++y)
    {
        uint8_t* row = image->pixels + y * image->stride;
        if (file.depth == 32)
            for (int32_t x = 0; x < file.width; ++x)
                std::memcpy(row + 4 * x, &file.colour, 4);
        else
            std::memset(row, 0, size_t(file.width));
    }
    if (image->palette)
    {
        for (int32_t i = 0; i < (1 << file.depth); ++i)
        {
            uint8_t grey[4] = {uint8_t(i), uint8_t(i), uint8_t(i), 255};
            std::memcpy(image->palette + 4 * i, grey, 4);
        }
        std::memcpy(image->palette, &file.colour, 4);
    }
    return image;
}

/// The colour of pixel (0, 0) of a level, through the palette for palettised rasters.
Rgba LevelColour(Raster* raster, uint8_t level, int32_t* width = nullptr)
{
    uint8_t* pixels = Raster::Lock(raster, level, kRasterLockRead);
    EXPECT_NE(pixels, nullptr);
    if (!pixels)
        return {};
    if (width)
        *width = raster->width;
    Rgba colour{};
    if (Raster::FormatFlags(raster) & kRasterFormatPal8)
    {
        uint8_t index = pixels[0];
        Raster::Unlock(raster);
        uint8_t* palette = Raster::LockPalette(raster, kRasterLockRead);
        EXPECT_NE(palette, nullptr);
        std::memcpy(&colour, palette + 4 * index, 4);
        Raster::UnlockPalette(raster);
        return colour;
    }
    uint32_t argb;
    std::memcpy(&argb, pixels, 4);
    Raster::Unlock(raster);
    return {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)};
}

void ExpectColour(Rgba actual, Rgba expected, int tolerance, const std::string& what)
{
    EXPECT_NEAR(actual.red, expected.red, tolerance) << what;
    EXPECT_NEAR(actual.green, expected.green, tolerance) << what;
    EXPECT_NEAR(actual.blue, expected.blue, tolerance) << what;
    EXPECT_NEAR(actual.alpha, expected.alpha, tolerance) << what;
}

constexpr Rgba kBrick = {200, 100, 48, 255};
constexpr Rgba kLevel1 = {16, 160, 240, 255};
constexpr Rgba kLevel2 = {96, 32, 128, 255};

class TextureLoad : public DriverTest
{
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        sFiles.clear();
        sRead.clear();
    }

    /// Started with the adapter changed by adjust, a "tst" format over the file map and
    /// the path "textures\".
    template <typename Adjust> void StartWith(Adjust adjust)
    {
        d3d9test::AdapterConfig adapter = Adapter();
        adjust(adapter);
        Start({adapter});
        FileSystem::GetFunctions()->exists = Exists;
        ASSERT_EQ(Image::RegisterFileFormat("tst", ReadFile, nullptr), 1);
        ASSERT_NE(Image::SetPath("textures\\"), nullptr);
        TakeError();
    }
    void StartPlain()
    {
        StartWith([](d3d9test::AdapterConfig&) {});
    }
};

TEST_F(TextureLoad, ReadFindsTheFileAlongThePathAtTheDeviceSizeAndSharesTheTexture)
{
    StartWith([](d3d9test::AdapterConfig& a) { a.caps.TextureCaps |= D3DPTEXTURECAPS_POW2; });
    sFiles["textures\\brick.tst"] = {100, 60, 32, kBrick};

    Texture* texture = Texture::Read("brick", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(sRead, std::vector<std::string>{"textures\\brick.tst"});
    ASSERT_NE(texture->raster, nullptr);
    EXPECT_EQ(texture->raster->width, 64) << "the device's powers of two";
    EXPECT_EQ(texture->raster->height, 32);
    EXPECT_STREQ(texture->name, "brick");
    EXPECT_EQ(texture->dictionary, TextureDictionary::GetCurrent());
    ExpectColour(LevelColour(texture->raster, 0), kBrick, 0, "resampled flat colour");

    EXPECT_EQ(Texture::Read("BRICK", nullptr), texture);
    EXPECT_EQ(texture->refCount, 2);
    EXPECT_EQ(sRead.size(), 1u);

    // A name with its extension reads the same file; no second extension is looked for.
    Texture* direct = Texture::DefaultRead("brick.tst", nullptr);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(sRead.back(), "textures\\brick.tst");
    Texture::Destroy(direct);

    // Bound to a stage, the texture's raster is what the stage draws.
    EXPECT_EQ(D3D9RenderState::SetTexture(texture, 0), 1);
    EXPECT_EQ(D3D9RenderState::GetStageRaster(0), texture->raster);
    EXPECT_EQ(D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 0), 1);
    EXPECT_EQ(D3D9RenderState::GetStageRaster(0), nullptr);

    // Its chunk says the raster cannot generate levels.
    Stream* stream = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(Texture::StreamWrite(texture, stream), nullptr);
    MemoryBlock block{};
    Stream::Close(stream, &block);
    uint32_t word;
    std::memcpy(&word, block.start + 24, 4);
    EXPECT_EQ(word, 0x11101u);
    Memory::Free(block.start);

    Texture::Destroy(texture);
    Texture::Destroy(texture);
}

TEST_F(TextureLoad, SetRasterGoesThroughTheDeviceAndNullOnlyClears)
{
    StartPlain();
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture);
    Texture* texture = Texture::Create(nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(Texture::SetRaster(texture, raster), texture);
    EXPECT_EQ(texture->raster, raster);
    EXPECT_EQ(Texture::SetRaster(texture, nullptr), texture);
    EXPECT_EQ(texture->raster, nullptr);
    Texture::Destroy(texture);
    Raster::Destroy(raster);
}

TEST_F(TextureLoad, NamesAreCutToTheirFieldsAndComposedNamesStayInTheirBuffers)
{
    StartPlain();
    std::string forty(40, 'f');
    sFiles["textures\\" + forty + ".tst"] = {4, 4, 32, kBrick};
    Texture* texture = Texture::DefaultRead(forty.c_str(), nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(std::string(texture->name), forty.substr(0, 31));
    EXPECT_EQ(TakeError(), int32_t(0x8000001Eu));
    Texture::Destroy(texture);

    // 300 characters are cut to 255, which still leave room for the extension and a
    // level suffix (the sanitizer build checks every byte).
    std::string longName(300, 'L');
    std::string kept = longName.substr(0, 255);
    sFiles["textures\\" + kept + ".tst"] = {2, 2, 32, kBrick};
    sFiles["textures\\" + kept + "m1.tst"] = {1, 1, 32, kLevel1};
    // The same long name serves as the mask too, so both buffers are composed.
    texture = Texture::DefaultRead(longName.c_str(), longName.c_str());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(TakeError(), int32_t(0x8000001Eu));
    Texture::Destroy(texture);

    Texture::SetMipmapping(1);
    texture = Texture::DefaultRead(longName.c_str(), longName.c_str());
    Texture::SetMipmapping(0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(sRead.back(), "textures\\" + kept + "m1.tst");
    Texture::Destroy(texture);
}

TEST_F(TextureLoad, LevelsAreReadFromTheirOwnFilesAndAMissingOneFailsTheRead)
{
    StartPlain();
    sFiles["textures\\brick.tst"] = {4, 4, 32, kBrick};
    sFiles["textures\\brickm1.tst"] = {5, 3, 32, kLevel1};
    sFiles["textures\\brickm2.tst"] = {1, 1, 32, kLevel2};
    Texture::SetMipmapping(1);
    Texture::SetAutoMipmapping(0);

    Texture* texture = Texture::Read("brick", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(sRead,
              (std::vector<std::string>{"textures\\brick.tst", "textures\\brickm1.tst", "textures\\brickm2.tst"}));
    Raster* raster = texture->raster;
    ASSERT_EQ(Raster::GetNumLevels(raster), 3);
    const Rgba expected[] = {kBrick, kLevel1, kLevel2};
    for (uint8_t level = 0; level < 3; ++level)
    {
        int32_t width = 0;
        ExpectColour(LevelColour(raster, level, &width), expected[level], 0, "level " + std::to_string(level));
        EXPECT_EQ(width, 4 >> level) << "each level's file is fitted to the level";
    }
    Texture::Destroy(texture);

    sFiles.erase("textures\\brickm2.tst");
    sRead.clear();
    EXPECT_EQ(Texture::Read("brick", nullptr), nullptr);
    EXPECT_EQ(TakeError(), 22);
    EXPECT_TRUE(ListLink::IsEmpty(&TextureDictionary::GetCurrent()->textures));
    Texture::SetMipmapping(0);
}

TEST_F(TextureLoad, PalettisedFilesComeBackPalettisedAndLevelsShareOnePalette)
{
    StartPlain();
    sFiles["textures\\glass.tst"] = {6, 6, 8, kBrick};
    int32_t width = 4, height = 4, depth = 0;
    uint32_t format = 0;
    Image* image = Texture::ReadImageForRaster("glass", nullptr, kRasterTypeTexture, &width, &height, &depth, &format);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->depth, 8);
    EXPECT_EQ(image->width, 4);
    ASSERT_NE(image->palette, nullptr);
    Rgba first;
    std::memcpy(&first, image->palette + 4 * image->pixels[0], 4);
    ExpectColour(first, kBrick, 4, "the new palette holds the resampled colour");
    Image::Destroy(image);

    // Three levels, each file with its own palette: the raster gets one for all of them.
    sFiles["textures\\glass.tst"] = {4, 4, 8, kBrick};
    sFiles["textures\\glassm1.tst"] = {2, 2, 8, kLevel1};
    sFiles["textures\\glassm2.tst"] = {1, 1, 8, kLevel2};
    Texture::SetMipmapping(1);
    Texture* texture = Texture::Read("glass", nullptr);
    Texture::SetMipmapping(0);
    ASSERT_NE(texture, nullptr);
    ASSERT_TRUE(Raster::FormatFlags(texture->raster) & kRasterFormatPal8);
    const Rgba expected[] = {kBrick, kLevel1, kLevel2};
    for (uint8_t level = 0; level < 3; ++level)
        ExpectColour(LevelColour(texture->raster, level), expected[level], 4, "level " + std::to_string(level));
    Texture::Destroy(texture);
}

TEST_F(TextureLoad, AMaskGivesAlphaAndAMissingMaskFailsTheRead)
{
    StartPlain();
    sFiles["textures\\leaf.tst"] = {4, 4, 32, kLevel1};
    sFiles["textures\\leafmask.tst"] = {4, 4, 32, {0x40, 0x80, 0x20, 255}};
    Texture* texture = Texture::Read("leaf", "leafmask");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(texture->maskName, "leafmask");
    Rgba colour = LevelColour(texture->raster, 0);
    EXPECT_EQ(colour.alpha, 0x80) << "the mask's brightest channel";
    EXPECT_EQ(colour.blue, kLevel1.blue);
    Texture::Destroy(texture);

    EXPECT_EQ(Texture::Read("leaf", "nomask"), nullptr);
}

TEST_F(TextureLoad, GeneratedLevelsAreResampledFromLevelZero)
{
    StartWith([](d3d9test::AdapterConfig& a) { a.caps.Caps2 &= ~D3DCAPS2_CANAUTOGENMIPMAP; });
    sFiles["textures\\moss.tst"] = {8, 8, 32, kLevel2};
    Texture::SetMipmapping(1);
    Texture::SetAutoMipmapping(1);
    Texture* texture = Texture::Read("moss", nullptr);
    Texture::SetMipmapping(0);
    Texture::SetAutoMipmapping(0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(sRead, std::vector<std::string>{"textures\\moss.tst"}) << "no level files";
    Raster* raster = texture->raster;
    ASSERT_TRUE(Raster::FormatFlags(raster) & kRasterFormatAutoMipmap) << "the flag is back after the rebuild";
    int32_t levels = Raster::GetNumLevels(raster);
    ASSERT_EQ(levels, 4);
    for (uint8_t level = 1; level < levels; ++level)
        ExpectColour(LevelColour(raster, level), kLevel2, 0, "level " + std::to_string(level));
    Texture::Destroy(texture);
}

} // namespace
