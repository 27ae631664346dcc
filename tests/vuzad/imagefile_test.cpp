// Tests of image files: format registration, the search path and its candidates, reading
// with masks, writing by extension, and finding a name's extension; the files are an
// in-memory set behind the engine's file functions.
#include "engine.h"
#include "error.h"
#include "filesystem.h"
#include "image.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t kPixelHint = kMemoryHintObject | 0x18;

/// The files that exist, each a flat image: {depth, red} (palettised files use entry 0).
std::map<std::string, std::pair<int32_t, uint8_t>> sFiles;
std::vector<std::string> sProbed; ///< every name the exists test saw
std::vector<std::string> sRead;   ///< every name a reader got
std::vector<std::string> sWritten;

int32_t Exists(const char* name)
{
    sProbed.push_back(name);
    return sFiles.count(name) ? 1 : 0;
}

Image* ReadTest(const char* name)
{
    sRead.push_back(name);
    auto [depth, red] = sFiles.at(name);
    if (red == 0xEE)
        return nullptr; // an unreadable file
    Image* image = Image::Create(2, 2, depth);
    Image::AllocatePixels(image);
    std::memset(image->pixels, 0, size_t(2 * image->stride));
    uint8_t colour[4] = {red, uint8_t(red / 2), 0, 255};
    std::memcpy(image->palette ? image->palette : image->pixels, colour, 4);
    if (!image->palette)
        for (int32_t i = 1; i < 4; ++i)
            std::memcpy(image->pixels + (i / 2) * image->stride + (i % 2) * 4, colour, 4);
    return image;
}

Image* OtherReader(const char* name)
{
    sRead.push_back(std::string("other:") + name);
    return nullptr;
}

Image* WriteTest(Image* image, const char* name)
{
    sWritten.push_back(name);
    return image;
}

class ImageFile : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
        sFiles.clear();
        sProbed.clear();
        sRead.clear();
        sWritten.clear();
        FileSystem::GetFunctions()->exists = Exists;
        ASSERT_EQ(Image::RegisterFileFormat("tst", ReadTest, WriteTest), 1);
    }
};

TEST_F(ImageFile, ReadTriesEachPrefixInOrderAndStopsAtTheFirstImage)
{
    ASSERT_NE(Image::SetPath("textures\\;data\\;more\\"), nullptr);
    EXPECT_STREQ(Image::GetPath(), "textures\\;data\\;more\\");
    sFiles["data\\tex\\wall.TST"] = {32, 10};
    sFiles["more\\tex\\wall.TST"] = {32, 20};

    Image* image = Image::Read("tex\\wall.TST");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels[0], 10);
    EXPECT_EQ(sProbed, (std::vector<std::string>{"textures\\tex\\wall.TST", "data\\tex\\wall.TST"}));
    EXPECT_EQ(sRead, (std::vector<std::string>{"data\\tex\\wall.TST"}));
    Image::Destroy(image);

    // A candidate that exists but does not read lets the search go on.
    sFiles["data\\tex\\wall.TST"] = {32, 0xEE};
    image = Image::Read("tex\\wall.TST");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels[0], 20);
    Image::Destroy(image);

    sProbed.clear();
    EXPECT_EQ(Image::Read("wall.tst"), nullptr) << "the bare name is not tried when a path is set";
    EXPECT_EQ(sProbed.size(), 3u);
}

TEST_F(ImageFile, AbsoluteNamesMissingExtensionsAndCaseDecideWhatIsTried)
{
    Image::SetPath("textures\\");
    sFiles["c:\\x.tst"] = {32, 1};
    Image* image = Image::Read("c:\\x.tst");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(sProbed, (std::vector<std::string>{"c:\\x.tst"}));
    Image::Destroy(image);

    struct Case
    {
        const char* name;
        const char* why;
    };
    for (const Case& c :
         {Case{"x", "no extension"}, Case{"pics.tst\\x", "the dot lies in a folder name"},
          Case{"x.Tst", "only the lower-case and upper-case forms match"}, Case{"x.bmp", "no such format"}})
    {
        sProbed.clear();
        EXPECT_EQ(Image::Read(c.name), nullptr) << c.why;
        EXPECT_TRUE(sProbed.empty()) << c.why;
    }

    // Without a path the name is its own only candidate.
    Image::SetPath("");
    sFiles["x.tst"] = {32, 2};
    image = Image::Read("x.tst");
    ASSERT_NE(image, nullptr);
    Image::Destroy(image);
}

TEST_F(ImageFile, RegisteringAnExtensionAgainReplacesItsCallbacks)
{
    ASSERT_EQ(Image::RegisterFileFormat("TST", OtherReader, nullptr), 1);
    sFiles["a.tst"] = {32, 1};
    EXPECT_EQ(Image::Read("a.tst"), nullptr);
    EXPECT_EQ(sRead, (std::vector<std::string>{"other:a.tst"}));

    Image* image = ReadTest("a.tst");
    EXPECT_EQ(Image::Write(image, "out\\shot.TST"), image) << "the writer that was not replaced stays";
    EXPECT_EQ(Image::Write(image, "out.tst\\shot"), nullptr) << "the same extension rule as reading";
    EXPECT_EQ(Image::Write(image, "shot.png"), nullptr);
    EXPECT_EQ(sWritten, (std::vector<std::string>{"out\\shot.TST"}));

    // A long extension is cut to 18 characters.
    ASSERT_EQ(Image::RegisterFileFormat("abcdefghijklmnopqrstuvwxyz", ReadTest, nullptr), 1);
    sFiles["p.abcdefghijklmnopqr"] = {32, 3};
    Image* cut = Image::Read("p.abcdefghijklmnopqr");
    EXPECT_NE(cut, nullptr);
    Image::Destroy(cut);
    Image::Destroy(image);
}

TEST_F(ImageFile, FindFileExtensionAppendsEachRegisteredForm)
{
    Image::RegisterFileFormat("png", nullptr, nullptr);
    Image::SetPath("textures\\;data\\");
    sFiles["data\\wall.TST"] = {32, 1};
    EXPECT_STREQ(Image::FindFileExtension("wall"), ".TST");
    EXPECT_EQ(sProbed, (std::vector<std::string>{"textures\\wall.png", "textures\\wall.PNG", "textures\\wall.tst",
                                                 "textures\\wall.TST", "data\\wall.png", "data\\wall.PNG",
                                                 "data\\wall.tst", "data\\wall.TST"}));
    EXPECT_EQ(Image::FindFileExtension("wall.TST"), nullptr) << "a name with its extension gets a second one";
    EXPECT_EQ(Image::FindFileExtension("door"), nullptr);
}

TEST_F(ImageFile, MaskedReadsGiveAlphaOrNothing)
{
    sFiles["i.tst"] = {8, 40};
    sFiles["m.tst"] = {32, 90};
    Image* image = Image::ReadMasked("i.tst", "m.tst");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->depth, 32);
    EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + 4), (std::vector<uint8_t>{40, 20, 0, 90}));
    Image::Destroy(image);

    image = Image::ReadMasked("i.tst", "");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->depth, 8);
    Image::Destroy(image);

    EXPECT_EQ(Image::ReadMasked("i.tst", "missing.tst"), nullptr);
    EXPECT_EQ(TestMemory::CountLive(kPixelHint), 0u) << "the image read first is gone again";
}

TEST_F(ImageFile, LongNamesAndPathsGrowTheBuffers)
{
    std::string folder(300, 'f');
    folder += "\\";
    ASSERT_NE(Image::SetPath(("short\\;" + folder).c_str()), nullptr);
    EXPECT_EQ(std::string(Image::GetPath()), "short\\;" + folder);
    std::string name = std::string(400, 'n') + ".tst";
    sFiles[folder + name] = {32, 5};
    Image* image = Image::Read(name.c_str());
    ASSERT_NE(image, nullptr);
    Image::Destroy(image);
    ASSERT_NE(Image::GetScratchName(2000), nullptr);

    TestMemory::refuse = [](size_t, uint32_t) { return true; };
    EXPECT_EQ(Image::GetScratchName(5000), nullptr);
    EXPECT_EQ(Image::SetPath(std::string(600, 'p').c_str()), nullptr);
    TestMemory::refuse = nullptr;
    Error e;
    EXPECT_EQ(Error::Get(&e)->code, kErrNoMemory);
    EXPECT_EQ(std::string(Image::GetPath()), "short\\;" + folder) << "a refused path leaves the old one";
}

TEST_F(ImageFile, FormatsAndThePathGoWithTheEngine)
{
    Image::SetPath("textures\\");
    ShutDownEngine();
    StartEngine();
    EXPECT_STREQ(Image::GetPath(), "");
    FileSystem::GetFunctions()->exists = Exists;
    sFiles["x.tst"] = {32, 1};
    EXPECT_EQ(Image::Read("x.tst"), nullptr);
    EXPECT_TRUE(sProbed.empty());
}

} // namespace
