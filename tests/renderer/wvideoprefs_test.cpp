// The display preferences file: the record's validity, the gamma's range, and reads of
// whole, short, long and damaged files.
#include "renderer_fixture.h"
#include "hbfile.h"
#include "hbuserfolder.h"
#include "wvideoprefs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace renderertest
{
namespace
{

using VideoPrefs = RendererTest;

TEST(WVideoPrefs, ValidRecordsNeedASizeAndADepthKindThatIsSet)
{
    struct Case
    {
        WDisplaySettings settings;
        bool valid;
    } cases[] = {
        {{0, 800, 600, 1}, true},   {{1, 640, 480, 0}, true},  {{0, 0, 600, 1}, false},
        {{0, 800, -1, 1}, false},   {{0, 800, 600, 2}, false}, {{0, 800, 600, 7}, true},
        {{0, 800, 600, -1}, true},  {{2, 800, 600, 1}, true},  {{0, -1, -1, 2}, false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(WVideoPrefs::IsValid(c.settings), c.valid) << c.settings.windowed << " " << c.settings.width << "x"
                                                             << c.settings.height << " kind " << c.settings.depthKind;
    }
}

TEST(WVideoPrefs, GammaOutsideASaneRangeBecomesOne)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        float stored;
        float used;
    } cases[] = {{1.0f, 1.0f},  {2.2f, 2.2f}, {0.1f, 0.1f}, {10.0f, 10.0f}, {0.0f, 1.0f},  {-0.0f, 1.0f},
                 {-1.5f, 1.0f}, {nan, 1.0f},  {inf, 1.0f},  {-inf, 1.0f},   {0.05f, 1.0f}, {1e30f, 1.0f}};
    for (const Case& c : cases)
        EXPECT_EQ(WVideoPrefs::SaneGamma(c.stored), c.used) << c.stored;
}

TEST_F(VideoPrefs, AWholeRecordIsReadAndWrittenBackByteForByte)
{
    const std::string bytes = PrefsBytes(0, 800, 600, 1, 1.25f);
    WriteFile("vprefs.dat", bytes);
    WVideoPrefs prefs;
    ASSERT_EQ(prefs.Read(), 1);
    EXPECT_EQ(prefs.settings, (WDisplaySettings{0, 800, 600, 1}));
    EXPECT_EQ(prefs.wantedGamma, 1.25f);
    EXPECT_EQ(prefs.appliedGamma, 1.0f) << "reading does not change the gamma the textures carry";
    std::remove("vprefs.dat");
    ASSERT_EQ(prefs.Write(), 1);
    EXPECT_EQ(ReadFile("vprefs.dat"), bytes);
}

size_t gAllowance = 0;
size_t LimitWrites(HbFile*, size_t bytes)
{
    return std::min(bytes, gAllowance);
}

TEST_F(VideoPrefs, TheFileLivesInThePlayersFolderAndAFailedWriteKeepsTheOldOne)
{
    HbUserFolderSet("player/video");
    WVideoPrefs prefs;
    prefs.settings = {0, 800, 600, 1};
    prefs.wantedGamma = 1.5f;
    ASSERT_EQ(prefs.Write(), 1) << "the folder is made on the first write";
    EXPECT_EQ(ReadFile("player/video/vprefs.dat"), PrefsBytes(0, 800, 600, 1, 1.5f));
    EXPECT_EQ(ReadFile("vprefs.dat"), "");

    // Cut short after 12 bytes, as on a full disk.
    HbUserFolderResetReport();
    testing::internal::CaptureStderr();
    gAllowance = 12;
    HbFileWriteLimitHook = LimitWrites;
    prefs.settings = {1, 1024, 768, 1};
    EXPECT_EQ(prefs.Write(), 0);
    HbFileWriteLimitHook = nullptr;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("player/video"), std::string::npos);
    WVideoPrefs back;
    ASSERT_EQ(back.Read(), 1);
    EXPECT_EQ(back.settings, (WDisplaySettings{0, 800, 600, 1}));
    EXPECT_EQ(ReadFile("player/video/vprefs.dat.tmp"), "");
    HbUserFolderResetReport();
    HbUserFolderSet(std::string());
}

TEST_F(VideoPrefs, ShortFilesAreIgnoredWholeAndLongOnesReadAsTheirFirstRecord)
{
    const std::string record = PrefsBytes(1, 640, 480, 0, 2.0f);
    WVideoPrefs defaults;
    for (size_t size :
         {size_t(0), size_t(1), size_t(4), size_t(15), size_t(16), size_t(19), size_t(20), size_t(21), size_t(40)})
    {
        SCOPED_TRACE(size);
        std::string bytes = record;
        bytes.resize(size, '\x7F');
        WriteFile("vprefs.dat", bytes);
        WVideoPrefs prefs;
        if (size < 20)
        {
            EXPECT_EQ(prefs.Read(), 0);
            EXPECT_EQ(prefs.settings, defaults.settings) << "no half record is applied";
            EXPECT_EQ(prefs.wantedGamma, defaults.wantedGamma);
        }
        else
        {
            EXPECT_EQ(prefs.Read(), 1);
            EXPECT_EQ(prefs.settings, (WDisplaySettings{1, 640, 480, 0}));
            EXPECT_EQ(prefs.wantedGamma, 2.0f);
        }
    }
    std::remove("vprefs.dat");
    WVideoPrefs missing;
    EXPECT_EQ(missing.Read(), 0);
}

TEST_F(VideoPrefs, DamagedFilesAreReadWholeOrNotAtAll)
{
    const std::string record = PrefsBytes(0, 800, 600, 1, 1.0f);
    std::mt19937 random(20261211);
    for (int round = 0; round < 2000; ++round)
    {
        std::string bytes = record;
        bytes.resize(random() % 28, char(random()));
        for (int flips = int(random() % 4); flips > 0 && !bytes.empty(); --flips)
            bytes[random() % bytes.size()] ^= char(1u << (random() % 8));
        WriteFile("vprefs.dat", bytes);

        WVideoPrefs prefs;
        prefs.settings = {5, 6, 7, 8};
        prefs.wantedGamma = 3.0f;
        int32_t read = prefs.Read();
        if (bytes.size() < 20)
        {
            ASSERT_EQ(read, 0) << round;
            ASSERT_EQ(prefs.settings, (WDisplaySettings{5, 6, 7, 8})) << round;
            ASSERT_EQ(prefs.wantedGamma, 3.0f) << round;
            continue;
        }
        ASSERT_EQ(read, 1) << round;
        int32_t words[4];
        float gamma;
        std::memcpy(words, bytes.data(), sizeof(words));
        std::memcpy(&gamma, bytes.data() + 16, sizeof(gamma));
        ASSERT_EQ(prefs.settings, (WDisplaySettings{words[0], words[1], words[2], words[3]})) << round;
        ASSERT_TRUE(std::isfinite(prefs.wantedGamma) && prefs.wantedGamma >= WVideoPrefs::kMinGamma &&
                    prefs.wantedGamma <= WVideoPrefs::kMaxGamma)
            << round;
        ASSERT_EQ(prefs.wantedGamma, WVideoPrefs::SaneGamma(gamma)) << round;
    }
}

} // namespace
} // namespace renderertest
