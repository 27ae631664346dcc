// Tests of the subtitles: the spans read in order with a cursor that never goes back, lines
// the command drops, and mutated scripts read safely.
#include "hbresource.h"
#include "hbtext.h"
#include "renderer_fixture.h"
#include "tssubtitles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace
{

// Text resources are read through engine streams: the renderer's engine must run.
class TsSubtitles : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        mDir = std::filesystem::temp_directory_path() / ("subtitles_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(mDir);
        for (const char* id : {"SUB_A_TXT", "SUB_B_TXT"})
        {
            std::string path = (mDir / (std::string(id) + ".txt")).string();
            Write(path, std::string("text of ") + id);
            HbResourceManager::Instance()->AddPath(id, path.c_str());
        }
        TsSubtitlesClear();
    }

    void TearDown() override
    {
        TsSubtitlesClear();
        for (const char* id : {"SUB_A_TXT", "SUB_B_TXT"})
            HbResourceManager::Instance()->RemovePath(id);
        std::filesystem::remove_all(mDir);
        RendererTest::TearDown();
    }

    static void Write(const std::string& path, const std::string& bytes)
    {
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }

    /// Writes the script as the video's "_SUB" file and loads it; the load's answer.
    int32_t Load(const std::string& script)
    {
        std::string path = (mDir / "INTRO_SUB").string();
        Write(path, script);
        return TsSubtitlesLoad(path.c_str());
    }

    std::filesystem::path mDir;
};

const std::string kTwoSpans = "AddSubTitle SUB_A_TXT 0 2 0.05\r\n"
                              "AddSubTitle SUB_B_TXT 3.0 5.0 0.04\n";

TEST_F(TsSubtitles, SpansAreShownStrictlyInsideAndTheCursorNeverGoesBack)
{
    ASSERT_EQ(Load(kTwoSpans), 0);
    ASSERT_EQ(TsSubtitlesCount(), 2);
    const char* first = "text of SUB_A_TXT";
    const char* second = "text of SUB_B_TXT";

    struct Step
    {
        float time;
        const char* shown; ///< the text, or null
    };
    // One pass in time order, then one that starts exactly at the first start.
    const std::vector<std::vector<Step>> passes = {
        {{1.0f, first},
         {2.5f, nullptr},
         {1.0f, nullptr},
         {4.0f, second},
         {3.5f, second},
         {5.0f, nullptr},
         {4.0f, nullptr}},
        {{0.0f, nullptr}, {1.0f, nullptr}, {3.0f, nullptr}, {3.5f, nullptr}},
    };
    for (size_t p = 0; p < passes.size(); ++p)
    {
        SCOPED_TRACE(p);
        TsSubtitlesClear();
        ASSERT_EQ(Load(kTwoSpans), 0);
        for (const Step& step : passes[p])
        {
            SCOPED_TRACE(step.time);
            const TsSubtitle* shown = TsSubtitlesGetAt(step.time);
            ASSERT_EQ(shown != nullptr, step.shown != nullptr);
            if (shown)
                EXPECT_EQ(static_cast<HbText*>(shown->text)->GetText(), step.shown);
        }
    }
    TsSubtitlesClear();
    ASSERT_EQ(Load(kTwoSpans), 0);
    const TsSubtitle* shown = TsSubtitlesGetAt(4.0f);
    ASSERT_NE(shown, nullptr);
    EXPECT_FLOAT_EQ(shown->start, 3.0f);
    EXPECT_FLOAT_EQ(shown->duration, 2.0f);
    EXPECT_FLOAT_EQ(shown->height, 0.04f);
}

TEST_F(TsSubtitles, LinesWithoutATextOrWithAnotherCountAreDropped)
{
    EXPECT_EQ(Load("AddSubTitle NO_SUCH_TXT 0 2 0.05\n"
                   "AddSubTitle SUB_A_TXT 0 2\n"
                   "AddSubTitle SUB_A_TXT 0 2 0.05 extra\n"
                   "AddSubTitle SUB_B_TXT 1 2 0.05\n"),
              0);
    EXPECT_EQ(TsSubtitlesCount(), 1);
    // The console's execute succeeds even without its file: nothing is added.
    EXPECT_EQ(TsSubtitlesLoad((mDir / "NOTHING_SUB").string().c_str()), 0);
    EXPECT_EQ(TsSubtitlesCount(), 1);
    TsSubtitlesClear();
    EXPECT_EQ(TsSubtitlesCount(), 0);
    EXPECT_EQ(TsSubtitlesGetAt(1.5f), nullptr);
}

TEST_F(TsSubtitles, MutatedScriptsAreReadSafely)
{
    const std::string base = kTwoSpans + "AddSubTitle SUB_A_TXT 1e39 -1e39 1e-50\n";
    const std::string pieces[] = {" ", "\n", "\t",   "AddSubTitle",         "SUB_A_TXT",          "1e999",
                                  "-", ".",  "0x10", std::string(300, '9'), std::string(200, 'x')};
    auto TextOf = [](const TsSubtitle* shown)
    {
        const HbText* text = HbCastTo<HbText>(shown->text);
        return text ? text->GetText() : std::string("(not a text)");
    };
    // What the untouched script gives: its count and what shows at a few times.
    auto Fingerprint = [&TextOf]
    {
        std::string text = std::to_string(TsSubtitlesCount());
        for (float time : {0.5f, 1.5f, 4.0f})
            if (const TsSubtitle* shown = TsSubtitlesGetAt(time))
                text += " " + TextOf(shown) + "/" + std::to_string(shown->start) + "/" +
                        std::to_string(shown->duration) + "/" + std::to_string(shown->height);
        return text;
    };
    Load(base);
    const std::string expected = Fingerprint();
    ASSERT_EQ(TsSubtitlesCount(), 3);
    std::mt19937 random(64);
    for (int round = 0; round < 300; ++round)
    {
        std::string script = base;
        for (int c = 1 + int(random() % 4); c > 0; --c)
        {
            size_t at = random() % script.size();
            if (random() % 2)
                script[at] = char(random());
            else
                script.insert(at, pieces[random() % std::size(pieces)]);
        }
        if (random() % 5 == 0)
            script.resize(random() % script.size());
        TsSubtitlesClear();
        Load(script);
        // A line is one subtitle at most, and only a declared text is ever shown.
        std::string lower = script;
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        int32_t lines = 0;
        for (size_t at = lower.find("addsubtitle"); at != std::string::npos; at = lower.find("addsubtitle", at + 1))
            ++lines;
        EXPECT_LE(TsSubtitlesCount(), lines) << script;
        for (float time : {-1.0f, 0.5f, 1.5f, 4.0f, 1e30f})
            if (const TsSubtitle* shown = TsSubtitlesGetAt(time))
                EXPECT_TRUE(TextOf(shown) == "text of SUB_A_TXT" || TextOf(shown) == "text of SUB_B_TXT") << script;
        // The untouched script still reads the same after any damaged one.
        TsSubtitlesClear();
        Load(base);
        EXPECT_EQ(Fingerprint(), expected) << "after: " << script;
    }
}

} // namespace
