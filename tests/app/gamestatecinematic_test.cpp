// The cinematic over a clip the test encodes: the video band laid out for the screen, subtitles
// placed so that a second line lifts the text by one line height, the skip refused when the
// profile does not allow it, the way on to the next state (the stage with the loading icon only,
// any other with the front end's group), and files that hold no playable video leaving the state
// at once with no graph left behind. A frame of the video with a subtitle is read back.
#include "dshowtesthooks.h"
#include "fontwriter.h"
#include "framecheck.h"
#include "gamestatecinematic.h"
#include "playstates_fixture.h"
#include "tssubtitles.h"
#include "tsvideo.h"
#include "w2dmenu.h"
#include "w2dtextgraphicitem.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace fetest
{
namespace
{

constexpr uint32_t kVideoColour = 0x2060C0u;
constexpr const char* kVideo = "FE_VIDEO_TEST_VID";
constexpr int64_t kCounterPerSecond = 10000000;

/// Waits (at most five seconds) until the condition holds, giving the decode thread the CPU.
template <class Condition> bool WaitFor(Condition condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class Cinematic : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        dshowtest::Reset();
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Win32TestSetPerformanceCounter(now.QuadPart);
        TsVideoCreateMutex();
        // Four frames of one colour at 10 frames a second: 0.4 s.
        ASSERT_TRUE(dshowtest::WriteClip("cine.mkv", 16, 12, 4, 10, [](int, int, int) { return kVideoColour; }));
        HbInputManager* input = HbInputManager::Instance();
        input->PushCommandContext("Cinematic");
        ASSERT_TRUE(mInput->Bind("SKIP_CINEMATIC", "VK_SPACE"));
        input->PopCommandContext("Cinematic");
        Group("FRONTEND", {});

        mFrom = Root(new Target(kGameStateSelectMission));
        mCinematic = Make(new GameState_Cinematic());
        mStage = Make(new Target(kGameStateStage));
        mMainMenu = Make(new Target(kGameStateMainMenu));
        mFrom->AddTransition(mCinematic, 0);
        mCinematic->AddTransition(mMainMenu, 0);
        mCinematic->AddTransition(mStage, 0);
        mFrom->Enter();
        mManager->SetCurrentState(mFrom);
    }

    void TearDown() override
    {
        TsVideoClose();
        TsSubtitlesClear();
        EXPECT_EQ(dshowtest::LiveGraphs(), 0);
        HbResourceManager* resources = HbResourceManager::Instance();
        for (const std::string& id : mDeclared)
            if (!id.empty())
                resources->RemovePath(id.c_str());
        PlayStates::TearDown();
        dshowtest::Reset();
        Win32TestUseRealPerformanceCounter();
    }

    void Declare(const std::string& id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mDeclared.push_back(id);
    }

    /// The subtitles: one line from 0.05 s, two lines from 0.2 s, nothing after 0.3 s.
    void Subtitles()
    {
        mResources->Text("TX_SUB_ONE_TXT", "I");
        mResources->Text("TX_SUB_TWO_TXT", "I\nI");
        std::ofstream("cine_sub.scr") << "AddSubTitle TX_SUB_ONE_TXT 0.05 0.2 0.05\r\n"
                                         "AddSubTitle TX_SUB_TWO_TXT 0.2 0.3 0.05\r\n";
        Declare(std::string(kVideo) + "_SUB", "cine_sub.scr");
    }

    /// The profile asks for the video; the manager's request is served at the next frame's end.
    void Request(const char* video, int32_t skippable, int32_t next)
    {
        mManager->RequestCinematic(video, skippable, next);
        Frame(mAt += 0.02);
        ASSERT_EQ(mManager->GetCurrentState(), mCinematic) << Current();
    }

    /// The performance counter moves on, then one game frame.
    void Play(double seconds, std::initializer_list<uint8_t> keys = {})
    {
        Win32TestAdvancePerformanceCounter(int64_t(seconds * double(kCounterPerSecond)));
        Frame(mAt += seconds, keys);
    }

    /// The decode thread has handed a frame over.
    static void Delivered()
    {
        ASSERT_TRUE(WaitFor([] { return dshowtest::DeliveredFrames() > 0; }));
    }

    static float SubtitleTop(W2dTextGraphicItem* item)
    {
        Vector position = {};
        item->GetPosition(&position);
        return position.y;
    }

    Target* mFrom = nullptr;
    GameState_Cinematic* mCinematic = nullptr;
    Target* mStage = nullptr;
    Target* mMainMenu = nullptr;
    std::vector<std::string> mDeclared;
    double mAt = 0.0;
};

TEST_F(Cinematic, TheVideoPlaysOnAWideBandWithSubtitlesLiftedOneLineForTwoAndGoesOnToTheStage)
{
    Declare(kVideo, "cine.mkv");
    Subtitles();
    Request(kVideo, 1, kGameStateStage);
    ASSERT_EQ(mCinematic->IsPlaying(), 1);
    EXPECT_EQ(ContextName(), "Cinematic");
    EXPECT_EQ(TsSubtitlesCount(), 2);

    // 640 x 480: a band 360 high, 60 from the top, texture corners in reading order.
    const Im2DVertex* quad = mCinematic->GetQuad();
    const float expected[4][4] = {{0, 60, 0, 0}, {640, 60, 1, 0}, {0, 420, 0, 1}, {640, 420, 1, 1}};
    for (int i = 0; i < 4; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(quad[i].x, expected[i][0]);
        EXPECT_FLOAT_EQ(quad[i].y, expected[i][1]);
        EXPECT_FLOAT_EQ(quad[i].u, expected[i][2]);
        EXPECT_FLOAT_EQ(quad[i].v, expected[i][3]);
        EXPECT_EQ(quad[i].colour, 0xFFFFFFFFu);
    }
    W2dTextGraphicItem* subtitle = mCinematic->GetSubtitle();
    ASSERT_NE(subtitle, nullptr);
    EXPECT_EQ(subtitle->GetPriority(), 100);

    Play(0.0); // the first poll starts the video
    Play(0.1);
    Delivered();
    EXPECT_FALSE(subtitle->IsHidden());
    EXPECT_EQ(subtitle->GetText(), "I");
    EXPECT_NEAR(SubtitleTop(subtitle), 0.9f, 1e-5f);
    Play(0.15);
    EXPECT_FALSE(subtitle->IsHidden());
    EXPECT_EQ(subtitle->GetText(), "I\nI");
    EXPECT_NEAR(SubtitleTop(subtitle), 0.85f, 1e-5f) << "one line height higher";
    Play(0.1);
    EXPECT_TRUE(subtitle->IsHidden());

    // The end of the clip goes on to the stage: only the loading icon, no front end.
    Win32TestAdvancePerformanceCounter(kCounterPerSecond);
    for (int i = 0; i < 100 && mManager->GetCurrentState() == mCinematic; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Frame(mAt += 0.02);
    }
    ASSERT_EQ(mManager->GetCurrentState(), mStage);
    EXPECT_EQ(mStage->enters, 1);
    EXPECT_NE(ContextName(), "Cinematic");
    EXPECT_EQ(mCinematic->GetSubtitle(), nullptr);
    EXPECT_EQ(TsSubtitlesCount(), 0);
    EXPECT_EQ(dshowtest::LiveGraphs(), 0);
    EXPECT_NE(mManager->GetLoadingIcon(), nullptr);
    EXPECT_EQ(ResourceGroupFind("FRONTEND"), nullptr);
    mManager->StopLoadingScreen();
}

TEST_F(Cinematic, SkipEndsTheVideoOnlyWhenTheProfileAllowsIt)
{
    Declare(kVideo, "cine.mkv");
    for (int32_t skippable : {0, 1})
    {
        SCOPED_TRACE(skippable ? "skippable" : "not skippable");
        mManager->SetCurrentState(mFrom);
        mFrom->Enter();
        Request(kVideo, skippable, kGameStateMainMenu);
        Play(0.0);
        Play(0.05, {VK_SPACE});
        Play(0.05);
        if (!skippable)
        {
            EXPECT_EQ(mManager->GetCurrentState(), mCinematic);
            EXPECT_EQ(mCinematic->IsPlaying(), 1);
            ASSERT_EQ(mCinematic->SwitchTo(kGameStateMainMenu), 1);
            continue;
        }
        EXPECT_EQ(mManager->GetCurrentState(), mMainMenu);
        EXPECT_EQ(dshowtest::LiveGraphs(), 0);
        EXPECT_EQ(Layer(2), std::vector<std::string>{"FRONTEND"});
    }
}

TEST_F(Cinematic, WithoutAPlayableVideoTheFirstUpdateGoesOnAndNothingIsLeftRunning)
{
    // Half of a real clip, and a file that is no video at all.
    {
        std::ifstream in("cine.mkv", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream("half.mkv", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
        std::ofstream("text.mkv", std::ios::binary) << "not a video\n";
    }
    struct Case
    {
        const char* name;
        const char* path; ///< null: the video name has no path
    };
    for (const Case& c : {Case{"no path", nullptr}, Case{"no file", "absent.mkv"}, Case{"not a video", "text.mkv"},
                          Case{"truncated", "half.mkv"}})
    {
        SCOPED_TRACE(c.name);
        const std::string video = std::string("FE_VIDEO_") + std::to_string(mDeclared.size()) + "_VID";
        if (c.path)
            Declare(video, c.path);
        else
            mDeclared.push_back("");
        mManager->SetCurrentState(mFrom);
        mFrom->Enter();
        const int enters = mMainMenu->enters;
        Request(video.c_str(), 0, kGameStateMainMenu);
        // A truncated clip may open and play what it holds; it ends like any other.
        for (int i = 0; i < 100 && mManager->GetCurrentState() == mCinematic; ++i)
            Play(0.1);
        EXPECT_EQ(mManager->GetCurrentState(), mMainMenu);
        EXPECT_EQ(mMainMenu->enters, enters + 1);
        EXPECT_EQ(dshowtest::LiveGraphs(), 0) << "no graph, so no decode thread";
        EXPECT_NE(ContextName(), "Cinematic");
        EXPECT_EQ(Layer(2), std::vector<std::string>{"FRONTEND"});
    }
}

// ---- Drawn ------------------------------------------------------------------------------------------------

/// A square screen, and a subtitle font whose one glyph is a full box.
class CinematicDrawn : public Cinematic
{
public:
    CinematicDrawn() { mScreenSize = 128; }

protected:
    void SetUp() override
    {
        Cinematic::SetUp();
        if (HasFatalFailure())
            return;
        std::vector<OutlineGlyph> glyphs = {{'I',
                                             {{OutlineOp::MoveTo, {0, 0}},
                                              {OutlineOp::LineTo, {1, 0}},
                                              {OutlineOp::LineTo, {1, 1}},
                                              {OutlineOp::LineTo, {0, 1}},
                                              {OutlineOp::Close, {}}},
                                             1.0f}};
        std::filesystem::create_directories("fonts");
        ASSERT_TRUE(FontWriter::WriteText("fonts/Box.met", FontWriter::Metrics3("Box", glyphs)));
        HbResourceManager::Instance()->AddPath(W2dMenu::kMenuFont, "fonts\\Box.met");
    }

    void TearDown() override
    {
        Cinematic::TearDown();
        HbResourceManager* manager = HbResourceManager::Instance();
        while (manager->GetPathCount(W2dMenu::kMenuFont) > 0)
            manager->RemovePath(W2dMenu::kMenuFont);
    }
};

TEST_F(CinematicDrawn, AFrameShowsTheVideoBandAndTheSubtitleBelowItOnBlack)
{
    Declare(kVideo, "cine.mkv");
    // A subtitle a tenth of the screen high, so its stroked outline shows on 128 pixels.
    mResources->Text("TX_SUB_BIG_TXT", "I");
    std::ofstream("cine_sub.scr") << "AddSubTitle TX_SUB_BIG_TXT 0.05 0.3 0.1\r\n";
    Declare(std::string(kVideo) + "_SUB", "cine_sub.scr");
    Request(kVideo, 1, kGameStateMainMenu);
    Play(0.0);
    Win32TestAdvancePerformanceCounter(kCounterPerSecond / 10);
    Delivered();
    Frame(mAt += 0.1);
    W2dTextGraphicItem* subtitle = mCinematic->GetSubtitle();
    ASSERT_NE(subtitle, nullptr);
    ASSERT_FALSE(subtitle->IsHidden());

    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = ReadScreen(&width, &height);
    ASSERT_EQ(width, 128);
    ASSERT_EQ(height, 128);
    // The band: 128 wide, 72 high, centred. The subtitle's glyph: one text height square,
    // centred in its row, whose bottom stays at 0.95 of the screen; its outline is the
    // device's to rasterise, so its box is taken from the frame and its ink looked at below.
    const float band = 0.5625f;
    const float glyph = subtitle->GetTextWidth();
    const float left = 0.07f + (0.86f - glyph) / 2.0f, top = 0.95f - 0.1f;
    uitest::Reference expected(width, height, 0xFF000000u);
    expected.Fill(0.0f, (1.0f - band) / 2.0f, 1.0f, band, kVideoColour);
    expected.IgnoreEdges(0.0f, (1.0f - band) / 2.0f, 1.0f, band, actual);
    expected.IgnoreEdges(left, top, glyph, 0.1f, actual, 3.0f);
    int32_t minX = width, maxX = -1, minY = height, maxY = -1;
    for (int32_t y = int32_t(top * 128.0f) - 3; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            if (actual[size_t(y) * size_t(width) + size_t(x)] == 0xFFFFFFFFu)
            {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    EXPECT_EQ(framecheck::CheckFrame("app_cinematic_subtitle", width, height, actual, expected.pixels, 3), "");
    ASSERT_GE(maxX, 0) << "the subtitle's white ink";
    EXPECT_NEAR(minX, left * 128.0f, 3.0f);
    EXPECT_NEAR(maxX, (left + glyph) * 128.0f, 3.0f);
    EXPECT_NEAR(minY, top * 128.0f, 3.0f);
    EXPECT_NEAR(maxY, 0.95f * 128.0f, 3.0f);
}

} // namespace
} // namespace fetest
