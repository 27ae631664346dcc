// The first mission played from a new game: the campaign map, the sector's label pages, then the
// stage on the set's first level. The stage loads the sector without an error line in the log,
// and its frame, once the fade-in is over, shows the level's ground where the camera looks down
// on it (not a cleared screen).
#include "contentset.h"
#include "e2e_fixture.h"
#include "framecheck.h"
#include "levelcontent.h"


namespace e2etest
{
namespace
{

// As the campaign-map run, then a press a label page and a frame of the stage five seconds in.
std::string StageDrive(const fs::path& folder)
{
    const std::string name = folder.filename().string();
    return "step 2500000\n"
           "bound 220\n"
           "trace " +
           (folder.parent_path() / (name + ".trace")).string() +
           "\n"
           "frames " +
           (folder.parent_path() / (name + "-frames")).string() +
           "\n"
           "at 2 key VK_RETURN\n"
           "on 7 +100 key VK_RETURN\n"
           "on 1 +20 key VK_RETURN\n"
           "on 1 +30 key VK_RETURN\n"
           "on 12 +25 key VK_RETURN\n"
           "on 12 +29 key VK_RETURN\n"
           "on 18 +6 key VK_RETURN\n"
           "on 18 +12 key VK_RETURN\n"
           "on 18 +18 key VK_RETURN\n"
           "on 6 +20 save stage\n";
}

TEST_F(GameRun, TheFirstMissionLoadsItsSectorWithoutAnErrorAndDrawsItsLevel)
{
    const fs::path folder = Copy("stage");
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), StageDrive(folder));
    ASSERT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string trace = gamerun::ReadFile((gRoot / "stage.trace").string());
    ASSERT_EQ(Lines(trace, "state 6 ").size(), 1u) << trace;
    for (const char* group : {"load HERO 0", "load W1L1 1", "load W1L1S01 2"})
        EXPECT_EQ(Lines(trace, group).size(), 1u) << group << "\n" << trace;
    // The level script ran to its end: no traceback, no refused resource, no missing mark.
    for (const std::string& log : {run.out, run.err})
        for (const char* fault : {"Traceback", "Error", "not found", "not defined", "is not an object"})
            EXPECT_EQ(log.find(fault), std::string::npos) << fault << " in\n" << log;

    int width = 0, height = 0;
    const std::vector<uint32_t> actual = ReadPng(gRoot / "stage-frames" / "stage.png", &width, &height);
    ASSERT_EQ(actual.size(), size_t(640 * 480));
    // The camera looks along the yard from behind the start: the bottom of the screen is the
    // ground's top (its prelit colour lightened by the tops' 30) between the crates and the hero,
    // who stands in the middle; the rest is the frame's own.
    std::vector<uint32_t> expected = actual;
    const uint32_t ground = 0xFF000000u | uint32_t(110 + 30) << 16 | uint32_t(120 + 30) << 8 | uint32_t(80 + 30);
    int cleared = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            cleared += actual[size_t(y * width + x)] == 0xFF000000u;
            const bool leftOfHero = x >= width * 5 / 16 && x < width * 7 / 16;
            const bool rightOfHero = x >= width * 9 / 16 && x < width * 11 / 16;
            if (y >= height * 15 / 16 && (leftOfHero || rightOfHero))
                expected[size_t(y * width + x)] = ground;
        }
    EXPECT_EQ(framecheck::CheckFrame("e2e_stage_first_frame", width, height, actual, expected, 10), "");
    // Above the yard's walls the sky is the clear colour; the rest is not.
    EXPECT_LT(cleared, width * height / 2) << "mostly the clear colour";
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
