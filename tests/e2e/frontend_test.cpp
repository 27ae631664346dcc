// The game binary run from its start to its quit on a fresh copy of the content set with the
// set's own drive file: the language choice, the intro and the main menu in turn with the groups
// of each layer, their frames read back against references painted from the set's pictures
// and the menu frame's tiles, the preferences the hand-over saves, a clean quit.
#include "contentpaint.h"
#include "e2e_fixture.h"
#include "framecheck.h"
#include "gameprefs.h"
#include "uisupport.h"


#include <algorithm>
#include <cmath>

namespace e2etest
{
namespace
{
// ---- The front end, start to quit ---------------------------------------------------------------

// Where the drive file saves the frames the tests compare, in frames after each state's entry.
// The intro's title comes in under the fade overlay about 92 frames after the intro starts.
constexpr const char kFrameLines[] = "at 2 save language\n"
                                     "on 7 +86 save fade-86\non 7 +87 save fade-87\non 7 +88 save fade-88\n"
                                     "on 7 +89 save fade-89\non 7 +90 save fade-90\non 7 +91 save fade-91\n"
                                     "on 7 +92 save fade-92\non 7 +93 save fade-93\non 7 +94 save fade-94\n"
                                     "on 7 +95 save fade-95\n"
                                     "on 7 +96 save intro-title\n";

/// What the references paint: the set's pictures, and rectangles left to the frame.
struct Painter
{
    uitest::Reference& reference;
    const std::vector<uint32_t>& actual;

    void Picture(const char* id, float x, float y, float w, float h, int grey = 255, uint8_t alpha = 255)
    {
        PaintContentPicture(reference, actual, id, x, y, w, h, grey, alpha);
    }

    /// A rectangle this reference does not paint: the frame's own pixels stand there.
    void Leave(float x, float y, float w, float h)
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
};

// The frame buffer holds 5 and 6 bits a channel, and so do the texels: a colour may be rounded
// down twice.
constexpr int kTolerance = 12;

bool Near(uint32_t pixel, uint32_t rgb, int tolerance)
{
    for (int shift = 0; shift <= 16; shift += 8)
        if (std::abs(int((pixel >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

TEST_F(GameRun, TheFrontEndRunsFromTheLanguageChoiceToTheMainMenuAndQuitsCleanly)
{
    const fs::path folder = Copy("front-end");
    const fs::path frames = gRoot / "front-end-frames";
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), Drive(folder) + kFrameLines);
    ASSERT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string trace = gamerun::ReadFile((gRoot / "front-end.trace").string());

    // The language choice, the intro, the main menu; then the quit ends the run before its bound,
    // with every group unloaded, no group record left and the manager gone with the exit list.
    EXPECT_EQ(Lines(trace, "state "),
              (std::vector<std::string>{"state 9 frame 0", "state 7 frame 3", "state 1 frame 103"}))
        << trace;
    const std::vector<std::string> layers = Lines(trace, "layers ");
    ASSERT_EQ(layers.size(), 3u) << trace;
    EXPECT_EQ(layers[0], "layers 0:loading,PERMANENT 1: 2:LANGUAGE");
    EXPECT_EQ(layers[1], "layers 0:PERMANENT,UK 1: 2:INTRO");
    EXPECT_EQ(layers[2], "layers 0:PERMANENT,UK 1: 2:FRONTEND");
    EXPECT_EQ(Lines(trace, "end "), (std::vector<std::string>{"end 0 frames 168 groups 0 records 0"})) << trace;
    EXPECT_EQ(Lines(trace, "exit list "), (std::vector<std::string>{"exit list ran, manager gone"}));
    for (const char* name : {"language", "intro-title", "run-main-menu"})
        EXPECT_EQ(Lines(trace, std::string("saved ") + name + " ").size(), 1u) << name << "\n" << trace;

    // The language's hand-over applied the profile's preferences, which saves them: the defaults.
    uint8_t defaults[GamePrefs::kFileSize];
    GamePrefs().Encode(defaults);
    EXPECT_EQ(gamerun::ReadFile((fs::path(gamerun::UserFolder(folder.string())) / "gprefs.dat").string()),
              std::string(reinterpret_cast<const char*>(defaults), sizeof(defaults)));

    int width = 0, height = 0;
    {
        SCOPED_TRACE("language choice");
        const std::vector<uint32_t> actual = ReadPng(frames / "language.png", &width, &height);
        ASSERT_EQ(actual.size(), size_t(640 * 480));
        // The five flags 0.2 round the centre, 72 degrees apart, the first (lit) below it; the
        // others greyed to 150 and 150/255 opaque; 0.15 wide, square textures on the 4:3 screen.
        uitest::Reference expected(width, height, 0xFF000000u);
        Painter paint{expected, actual};
        const char* flags[] = {"FE_FLAG_UK_TEX", "FE_FLAG_FR_TEX", "FE_FLAG_DE_TEX", "FE_FLAG_SP_TEX",
                               "FE_FLAG_IT_TEX"};
        const float w = 0.15f, h = 0.15f * 640.0f / 480.0f;
        for (int k = 0; k < 5; ++k)
        {
            const float angle = float(k) * 72.0f * 3.14159265f / 180.0f;
            paint.Picture(flags[k], 0.5f - 0.2f * std::sin(angle) - w / 2, 0.5f + 0.2f * std::cos(angle) - h / 2, w, h,
                          k == 0 ? 255 : 150, k == 0 ? 255 : 150);
        }
        EXPECT_EQ(framecheck::CheckFrame("e2e_language", width, height, actual, expected.pixels, kTolerance), "");
    }
    {
        SCOPED_TRACE("intro title");
        const std::vector<uint32_t> actual = ReadPng(frames / "intro-title.png", &width, &height);
        ASSERT_EQ(actual.size(), size_t(640 * 480));
        // The title over the whole screen; the blinking prompt's line is left to the font's tests.
        uitest::Reference expected(width, height, 0xFF000000u);
        Painter paint{expected, actual};
        paint.Picture("FE_TITLE_TEX", 0.0f, 0.0f, 1.0f, 1.0f);
        paint.Leave(0.0f, 0.9f, 1.0f, 0.1f);
        EXPECT_EQ(framecheck::CheckFrame("e2e_intro_title", width, height, actual, expected.pixels, kTolerance), "");
    }
    {
        SCOPED_TRACE("intro title half faded in");
        // The title comes in under the fade overlay, from black to clear in a second: the frame
        // a quarter of a second after it first shows through above the last logo is half the
        // title's colours.
        int first = 86;
        std::vector<uint32_t> actual;
        for (; first < 95; ++first)
        {
            actual = ReadPng(frames / ("fade-" + std::to_string(first) + ".png"), &width, &height);
            ASSERT_EQ(actual.size(), size_t(640 * 480)) << first;
            if ((actual[size_t(60 * 640 + 320)] & 0xFFFFFFu) != 0)
                break;
        }
        ASSERT_LT(first, 95) << "the title never showed through";
        actual = ReadPng(frames / ("fade-" + std::to_string(first + 1) + ".png"), &width, &height);
        ASSERT_EQ(actual.size(), size_t(640 * 480));
        uitest::Reference expected(width, height, 0xFF000000u);
        Painter paint{expected, actual};
        paint.Picture("FE_TITLE_TEX", 0.0f, 0.0f, 1.0f, 1.0f, 255, 128);
        paint.Leave(0.0f, 0.9f, 1.0f, 0.1f);
        EXPECT_EQ(framecheck::CheckFrame("e2e_intro_fading", width, height, actual, expected.pixels, kTolerance), "");
    }
    {
        SCOPED_TRACE("main menu");
        const std::vector<uint32_t> actual = ReadPng(frames / "run-main-menu.png", &width, &height);
        ASSERT_EQ(actual.size(), size_t(640 * 480));
        uitest::Reference expected(width, height, 0xFF000000u);
        Painter paint{expected, actual};
        paint.Picture("FE_INTRO_TEX", 0.0f, 0.0f, 1.0f, 1.0f);
        paint.Picture("FE_INTRO_TITLE_TEX", 0.0f, 0.021f, 1.0f, 0.25f);

        // The framed menu: square tiles of 1/32 of the screen round four rows of 0.0625, centred
        // on the rows. Its width comes from the labels' text, so the tiles are found on the top
        // edge: its first corner, then every tile centre in the border's colours.
        const float u = 1.0f / 32.0f, top = (1.0f - 4 * 0.0625f) / 2.0f;
        const int row = int((top - u / 2) * float(height));
        const uint32_t corner = ContentFill("FE_MAIN_BORDER_CORNER_TEX");
        const uint32_t border = ContentFill("FE_MAIN_BORDER_TEX");
        int firstX = 0;
        while (firstX < width / 2 && !Near(actual[size_t(row * width + firstX)], corner, 12))
            ++firstX;
        const float left = std::floor(float(firstX) / (u * float(width)) + 0.5f) * u;
        int columns = 0;
        for (float centre = left + u / 2; centre < 1.0f; centre += u, ++columns)
        {
            const uint32_t pixel = actual[size_t(row * width + int(centre * float(width)))];
            if (!Near(pixel, corner, kTolerance) && !Near(pixel, border, kTolerance))
                break;
        }
        ASSERT_GE(columns, 4);
        const float right = left + float(columns - 1) * u;
        // The rows from the left edge to under the right one, the first reaching under half the
        // top edge; nothing sticks out past the right edge.
        for (int r = 0; r < 4; ++r)
            paint.Picture("FE_MAIN_WHITE_BACKGROUND_TEX", left + u, r == 0 ? top - u / 2 : top + float(r) * 2 * u,
                          right - left, r == 0 ? 2.5f * u : 2 * u);
        for (int i = 0; i < columns; ++i)
        {
            const char* tile = i == 0 || i == columns - 1 ? "FE_MAIN_BORDER_CORNER_TEX" : "FE_MAIN_BORDER_TEX";
            paint.Picture(tile, left + float(i) * u, top - u, u, u);
            paint.Picture(tile, left + float(i) * u, top + 8 * u, u, u);
        }
        for (int j = 0; j < 8; ++j)
        {
            paint.Picture("FE_MAIN_BORDER_TEX", left, top + float(j) * u, u, u);
            paint.Picture("FE_MAIN_BORDER_TEX", right, top + float(j) * u, u, u);
        }
        // Each label's text stays inside its row, clear of the row's edges and of the frame's
        // bottom edge; every row's band holds ink.
        const uint32_t rowColour = ContentFill("FE_MAIN_WHITE_BACKGROUND_TEX");
        for (int r = 0; r < 4; ++r)
        {
            const float bandX = left + u, bandY = top + float(r) * 2 * u + u / 4;
            const float bandW = right - left - u, bandH = 2 * u - u / 4 - u / 8;
            int ink = 0;
            for (int py = int(bandY * float(height)); py < int((bandY + bandH) * float(height)); ++py)
                for (int px = int(bandX * float(width)); px < int((bandX + bandW) * float(width)); ++px)
                    ink += !Near(actual[size_t(py * width + px)], rowColour, kTolerance);
            EXPECT_GT(ink, 0) << "row " << r;
            paint.Leave(bandX, bandY, bandW, bandH);
        }
        EXPECT_EQ(framecheck::CheckFrame("e2e_main_menu", width, height, actual, expected.pixels, kTolerance), "");
    }
    fs::remove_all(folder);
}

/// A menu text's pixel: grey (its channels close together) and brighter than the row under it.
bool IsText(uint32_t pixel, uint32_t row)
{
    const int r = int((pixel >> 16) & 0xFF), g = int((pixel >> 8) & 0xFF), b = int(pixel & 0xFF);
    const int under = int(((row >> 16) & 0xFF) + ((row >> 8) & 0xFF) + (row & 0xFF)) / 3;
    return std::max({r, g, b}) - std::min({r, g, b}) <= 24 && (r + g + b) / 3 > under + 30;
}

/// A centred framed page of `rows` rows (a title counts as one) in the saved frame: the frame
/// lies on the screen with the rows' count of tile rows, and each row's text (its label and
/// value: grey to white, lit or dimmed, over the row's colour) stands clear of the borders on
/// either side. "" when all holds, else what does not.
std::string CheckFramedPage(const std::vector<uint32_t>& actual, int width, int height, int rows)
{
    const float u = 1.0f / 32.0f, top = (1.0f - float(rows) * 0.0625f) / 2.0f;
    const uint32_t corner = ContentFill("FE_MAIN_BORDER_CORNER_TEX"), border = ContentFill("FE_MAIN_BORDER_TEX");
    const uint32_t rowColour = ContentFill("FE_MAIN_WHITE_BACKGROUND_TEX");
    auto at = [&](float x, float y) { return actual[size_t(int(y * float(height)) * width + int(x * float(width)))]; };
    auto tile = [&](float x, float y) { return Near(at(x, y), corner, 16) || Near(at(x, y), border, 16); };
    // The top edge's first corner, on the half-tile grid a centred menu stands on.
    int firstX = 0;
    while (firstX < width / 2 && !Near(actual[size_t(int((top - u / 2) * float(height)) * width + firstX)], corner, 16))
        ++firstX;
    if (firstX == width / 2)
        return "no frame's top edge at " + std::to_string(top);
    const float left = std::floor(float(firstX) / (u / 2 * float(width)) + 0.5f) * u / 2;
    int columns = 0;
    while (left + (float(columns) + 0.5f) * u < 1.0f && tile(left + (float(columns) + 0.5f) * u, top - u / 2))
        ++columns;
    const float right = left + float(columns - 1) * u;
    std::string problems;
    if (columns < 3 || left < 0.0f || right + u > 1.0f + 1e-4f)
        problems += "the frame leaves the screen (" + std::to_string(columns) + " columns from " +
                    std::to_string(left) + "); ";
    // The side edges: two tile rows per row, then the bottom edge's corner.
    for (int j = 0; j < 2 * rows; ++j)
        if (!tile(left + u / 2, top + (float(j) + 0.5f) * u) || !tile(right + u / 2, top + (float(j) + 0.5f) * u))
            problems += "no side tile at row " + std::to_string(j) + "; ";
    if (!Near(at(left + u / 2, top + (2.0f * float(rows) + 0.5f) * u), corner, 16))
        problems += "no bottom corner under " + std::to_string(rows) + " rows; ";
    const int bandLeft = int(std::ceil((left + u) * float(width))), bandRight = int(std::floor(right * float(width)));
    for (int r = 0; r < rows; ++r)
    {
        const int y0 = int((top + float(r) * 2 * u + u / 4) * float(height));
        const int y1 = int((top + float(r + 1) * 2 * u - u / 8) * float(height));
        int minX = width, maxX = -1;
        for (int py = y0; py < y1; ++py)
            for (int px = bandLeft; px < bandRight; ++px)
                if (IsText(actual[size_t(py * width + px)], rowColour))
                    minX = std::min(minX, px), maxX = std::max(maxX, px);
        if (maxX < 0)
            problems += "row " + std::to_string(r) + " is empty; ";
        else if (minX < bandLeft + 1 || maxX > bandRight - 2)
            problems += "row " + std::to_string(r) + " runs from " + std::to_string(minX) + " to " +
                        std::to_string(maxX) + ", its box from " + std::to_string(bandLeft) + " to " +
                        std::to_string(bandRight) + "; ";
    }
    return problems;
}

TEST_F(GameRun, EveryMenuPageFitsItsFrameInEveryLanguageAndEscapeStepsBackOutOfEach)
{
    // Three walks from the main menu, ten frames after each page opens or closes: the difficulty,
    // left with Escape, then the options, their video page, left with Escape, and the controls;
    // the options' audio page; the quit page, whose yes ends the run. A page reached after an
    // Escape is only the expected one (its row count) when the Escape stepped back. (A move key
    // pressed first after some pages close goes unread, so each walk keeps to sure steps.)
    const struct
    {
        const char* keys;
        std::vector<std::pair<const char*, int>> pages; ///< saved name, rows (a title counts)
    } walks[] = {
        {"on 1 +40 save main\non 1 +41 key VK_RETURN\non 1 +51 save difficulty\non 1 +52 key VK_ESCAPE\n"
         "on 1 +62 key VK_DOWN\non 1 +65 key VK_DOWN\non 1 +68 key VK_RETURN\non 1 +78 save options\n"
         "on 1 +79 key VK_RETURN\non 1 +89 save video\non 1 +90 key VK_ESCAPE\non 1 +100 key VK_DOWN\n"
         "on 1 +103 key VK_RETURN\non 1 +113 save controls\n",
         {{"main", 4}, {"difficulty", 4}, {"options", 4}, {"video", 6}, {"controls", 4}}},
        {"on 1 +40 key VK_DOWN\non 1 +43 key VK_DOWN\non 1 +46 key VK_RETURN\non 1 +56 key VK_DOWN\n"
         "on 1 +59 key VK_DOWN\non 1 +62 key VK_RETURN\non 1 +72 save audio\n",
         {{"audio", 3}}},
        {"on 1 +40 key VK_DOWN\non 1 +43 key VK_DOWN\non 1 +46 key VK_DOWN\non 1 +49 key VK_RETURN\n"
         "on 1 +59 save quit\non 1 +60 key VK_DOWN\non 1 +63 key VK_RETURN\n",
         {{"quit", 3}}},
    };
    for (size_t language = 0; language < ContentLanguages().size(); ++language)
        for (size_t w = 0; w < std::size(walks); ++w)
        {
            const std::string name = "pages-" + ContentLanguages()[language] + "-" + std::to_string(w);
            SCOPED_TRACE(name);
            const fs::path folder = Copy(name);
            std::string drive = "step 2500000\nbound 260\ntrace " + (gRoot / (name + ".trace")).string() +
                                "\nframes " + (gRoot / (name + "-frames")).string() + "\n";
            // The wheel turns one flag a press, in the languages' order.
            for (size_t k = 0; k < language; ++k)
                drive += "at " + std::to_string(2 + 4 * k) + " key VK_RIGHT\n";
            drive += "at 20 key VK_RETURN\non 7 +100 key VK_RETURN\n" + std::string(walks[w].keys);
            const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), drive);
            ASSERT_EQ(run.signal, 0) << run.err;
            EXPECT_EQ(run.exitCode, 0) << run.err;
            const std::string trace = gamerun::ReadFile((gRoot / (name + ".trace")).string());
            EXPECT_EQ(Lines(trace, "load " + ContentLanguages()[language] + " ").size(), 1u) << trace;
            for (const auto& [page, rows] : walks[w].pages)
            {
                int width = 0, height = 0;
                const std::vector<uint32_t> actual =
                    ReadPng(gRoot / (name + "-frames") / (std::string(page) + ".png"), &width, &height);
                ASSERT_EQ(actual.size(), size_t(640 * 480)) << page;
                EXPECT_EQ(CheckFramedPage(actual, width, height, rows), "") << page;
            }
            if (w == 2)
            {
                // The quit page's yes ends the run before its bound.
                const std::vector<std::string> end = Lines(trace, "end ");
                ASSERT_EQ(end.size(), 1u) << trace;
                EXPECT_EQ(end[0].find("frames 260"), std::string::npos) << end[0];
            }
            fs::remove_all(folder);
        }
}

TEST_F(GameRun, ANewGameReachesTheCampaignMapWhoseBackConfirmationReturnsToAMainMenuThatStillQuits)
{
    // The main menu opens at frame 103 and takes keys two seconds later: New game, then Easy.
    // Without an intro video the cinematic goes straight on to the campaign map; past its
    // entrance, back and the confirmation's yes. The set's own quit keys count from the menu's
    // latest entry, so they end the run after the way back.
    const fs::path folder = Copy("new-game");
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(),
                                             Drive(folder) +
                                                 "at 115 key VK_RETURN\nat 117 key VK_RETURN\n"
                                                 "on 12 +25 key VK_ESCAPE\non 12 +27 key VK_DOWN\n"
                                                 "on 12 +29 key VK_RETURN\n");
    ASSERT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string trace = gamerun::ReadFile((gRoot / "new-game.trace").string());
    std::vector<std::string> states;
    for (const std::string& line : Lines(trace, "state "))
        states.push_back(line.substr(0, line.find(" frame")));
    EXPECT_EQ(states, (std::vector<std::string>{"state 9", "state 7", "state 1", "state 17", "state 12", "state 1"}))
        << trace;
    EXPECT_EQ(Lines(trace, "state 1 frame 103").size(), 1u) << trace;
    EXPECT_EQ(Lines(trace, "end ").size(), 1u) << trace;
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
