// The game binary on a fresh copy of the content set, from the language choice through a new game
// to the campaign map and into the first mission's label state: the states in turn, and the map's
// frame read back against a reference painted from the set's pictures and the map's rectangles.
#include "contentset.h"
#include "contentpaint.h"
#include "e2e_fixture.h"
#include "framecheck.h"
#include "uisupport.h"


#include <algorithm>
#include <cmath>

namespace e2etest
{
namespace
{

// The language and the intro as the set's own run takes them, then New game and its first
// difficulty; the map is saved once its entrance has ended (5.2 s), then mission 1 is chosen
// twice: its story, then its launch; the label's two pages are paged through. A frame is a
// quarter of a second.
std::string MapDrive(const fs::path& folder)
{
    const std::string name = folder.filename().string();
    return "step 2500000\n"
           "bound 190\n"
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
           "on 12 +24 save campaign-map\n"
           "on 12 +25 key VK_RETURN\n"
           "on 12 +29 key VK_RETURN\n"
           "on 18 +4 key VK_RETURN\n"
           "on 18 +8 key VK_RETURN\n";
}

void PaintPicture(uitest::Reference& reference, const std::vector<uint32_t>& actual, const char* id, float x, float y,
                  float w, float h)
{
    PaintContentPicture(reference, actual, id, x, y, w, h);
}

/// A rectangle the reference does not paint: the frame's own pixels stand there.
void Leave(uitest::Reference& reference, const std::vector<uint32_t>& actual, float x, float y, float w, float h)
{
    for (int py = 0; py < reference.height; ++py)
        for (int px = 0; px < reference.width; ++px)
        {
            const float cx = (float(px) + 0.5f) / float(reference.width);
            const float cy = (float(py) + 0.5f) / float(reference.height);
            if (cx >= x && cx < x + w && cy >= y && cy < y + h)
                reference.pixels[size_t(py) * size_t(reference.width) + size_t(px)] =
                    actual[size_t(py) * size_t(reference.width) + size_t(px)];
        }
}

/// Pixels of the rectangle that differ from the colour: the ink of what stands there.
int Ink(const std::vector<uint32_t>& actual, int width, int height, float x, float y, float w, float h, uint32_t rgb)
{
    int ink = 0;
    for (int py = int(y * float(height)); py < int((y + h) * float(height)); ++py)
        for (int px = int(x * float(width)); px < int((x + w) * float(width)); ++px)
        {
            const uint32_t pixel = actual[size_t(py * width + px)];
            for (int shift = 0; shift <= 16; shift += 8)
                if (std::abs(int((pixel >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)) > 8)
                {
                    ++ink;
                    break;
                }
        }
    return ink;
}

// The frame buffer holds 5 and 6 bits a channel, and so do the texels: a colour may be rounded
// down twice.
constexpr int kTolerance = 12;

TEST_F(GameRun, ANewGameOpensTheCampaignMapAndTheFirstMissionGoesOnToItsLabel)
{
    const fs::path folder = Copy("campaign-map");
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), MapDrive(folder));
    ASSERT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string trace = gamerun::ReadFile((gRoot / "campaign-map.trace").string());

    // New game asks for the intro video; without one the cinematic goes straight on to the map.
    // The second choose on mission 1 reaches the label state on the next frame; past its two
    // pages and the half-second after the last, the label goes on to the stage.
    std::vector<std::string> states;
    for (const std::string& line : Lines(trace, "state "))
        states.push_back(line.substr(0, line.find(" frame")));
    EXPECT_EQ(states, (std::vector<std::string>{"state 9", "state 7", "state 1", "state 17", "state 12", "state 18", "state 6"}))
        << trace;
    auto frameOf = [](const std::string& line) { return std::stol(line.substr(line.rfind(' ') + 1)); };
    const std::vector<std::string> cinematic = Lines(trace, "state 17 "), map = Lines(trace, "state 12 ");
    ASSERT_EQ(cinematic.size(), 1u);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(frameOf(map[0]), frameOf(cinematic[0]) + 1) << "the cinematic's first update goes on";
    const std::vector<std::string> keys = Lines(trace, "key ");
    ASSERT_GE(keys.size(), 4u);
    const std::vector<std::string> label = Lines(trace, "state 18 ");
    ASSERT_EQ(label.size(), 1u);
    EXPECT_EQ(frameOf(label[0]), frameOf(keys[keys.size() - 3]) + 1) << trace;
    EXPECT_EQ(Lines(trace, "saved campaign-map ").size(), 1u) << trace;

    int width = 0, height = 0;
    const std::vector<uint32_t> actual = ReadPng(gRoot / "campaign-map-frames" / "campaign-map.png", &width, &height);
    ASSERT_EQ(actual.size(), size_t(640 * 480));
    uitest::Reference expected(width, height, 0xFF000000u);

    // A fresh campaign: the background, mission 1's picture under its frame, no path (every
    // mission it leads to is closed), no marker, no tick and no story.
    PaintPicture(expected, actual, "FE_INTRO_TEX", 0.0f, 0.0f, 1.0f, 1.0f);
    PaintPicture(expected, actual, "FE_MISSION1_PIC_TEX", -0.000125f, 0.453125f, 1.01f, 0.5f);
    const float u = 1.0f / 32.0f, x0 = 0.083f + u / 2, e = 2.0f / 480.0f;
    // The seven names with their frames (the text wraps below the frame), and the title's frame.
    const float nameX[7] = {x0, x0, 0.382f, 0.382f, 0.681f, 0.681f, 0.681f};
    const float nameY[7] = {0.083f, 0.225f, 0.083f, 0.225f, 0.083f, 0.225f, 0.367f};
    for (int i = 0; i < 7; ++i)
        Leave(expected, actual, nameX[i] - u - e, nameY[i] - e, 0.1875f + u + 2 * e, 0.16f);
    Leave(expected, actual, x0 - u - e, 0.432287f - e, 0.5625f + u + 2 * e, 3 * u + 2 * e);
    // The picture's frame: 27 by 11 tiles round the panel's inside.
    const float px = x0, py = 0.53125f, pw = 27 * u, ph = 10 * u;
    Leave(expected, actual, px - u - e, py - e, pw + u + 2 * e, u + 2 * e);
    Leave(expected, actual, px - u - e, py + ph - e, pw + u + 2 * e, u + 2 * e);
    Leave(expected, actual, px - u - e, py - e, u + 2 * e, ph + u + 2 * e);
    Leave(expected, actual, px + pw - u - e, py - e, u + 2 * e, ph + u + 2 * e);
    // The key hints of the map along the bottom: keys in the corners, their captions towards the
    // middle.
    Leave(expected, actual, 0.0f, 0.85f, 1.0f, 0.15f);
    EXPECT_EQ(framecheck::CheckFrame("e2e_campaign_map", width, height, actual, expected.pixels, kTolerance), "");

    // What the reference leaves to the frame is there: ink in every name's frame and the title's.
    const uint32_t background = ContentFill("FE_INTRO_TEX");
    for (int i = 0; i < 7; ++i)
        EXPECT_GT(Ink(actual, width, height, nameX[i], nameY[i] + u, 0.1875f - u, u, background), 0) << i;
    EXPECT_GT(Ink(actual, width, height, x0, 0.432287f + u / 2, 0.5625f - u, u, background), 0);
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
