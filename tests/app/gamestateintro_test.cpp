// The intro: its screens at 6, 12, 15 and 21 seconds with the only white background in the
// third; one step per frame however slow the frames; "START" from any step, also with no
// context pushed, leaves for the main menu, and the leave releases everything and silences
// the title music; a device lost mid-frame or through the loading screen comes back and the
// first screen draws the same.
#include "framecheck.h"
#include "frontend_fixture.h"
#include "gamestatechooselanguage.h"
#include "gamestateintro.h"
#include "mocircularmenu.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <gtest/gtest.h>

namespace fetest
{
namespace
{

class Intro : public FrontStart
{
protected:
    /// The first flag chosen in the first frame; the next frame starts the intro.
    GameState_Intro* ToIntro()
    {
        auto* language = HbCastTo<GameState_ChooseLanguage>(mManager->GetCurrentState());
        EXPECT_NE(language, nullptr);
        if (!language)
            return nullptr;
        Frame(1.0 / 60.0, {VK_RETURN});
        Frame();
        return HbCastTo<GameState_Intro>(mManager->GetCurrentState());
    }

    static bool Shown(W2dGenericItem* item) { return item && !item->IsHidden(); }
    static Rgba Colour(W2dGenericItem* item)
    {
        Rgba c[4] = {};
        item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        return c[0];
    }
    static bool Is(const Rgba& c, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
    {
        return c.red == r && c.green == g && c.blue == b && c.alpha == a;
    }
};

TEST_F(Intro, EnterTakesTheLoadingScreenAwayAndShowsThePublisherFirst)
{
    GameState_Intro* intro = ToIntro();
    ASSERT_NE(intro, nullptr);
    EXPECT_EQ(Layer(0), std::vector<std::string>{"UK"}) << "the loading group went with the loading screen";
    EXPECT_EQ(Layer(2), std::vector<std::string>{"INTRO"});
    EXPECT_EQ(mManager->GetLoadingPicture(), nullptr);
    EXPECT_EQ(intro->GetStep(), 0);
    EXPECT_TRUE(Shown(intro->GetPicture(GameState_Intro::kPublisherLogo)));
    EXPECT_TRUE(Shown(intro->GetPicture(GameState_Intro::kPublisherTitle)));
    EXPECT_FALSE(Shown(intro->GetPicture(GameState_Intro::kMakerLogo)));
    EXPECT_FALSE(Shown(intro->GetPicture(GameState_Intro::kTitle)));
    EXPECT_FALSE(Shown(intro->GetPrompt()));
    EXPECT_TRUE(Is(Colour(intro->GetPicture(GameState_Intro::kBackground)), 0, 0, 0, 255));
    // Shown but wearing its fade's start colour until the sequence starts the fade.
    EXPECT_TRUE(Shown(intro->GetPicture(GameState_Intro::kSoundLogo)));
    EXPECT_TRUE(Is(Colour(intro->GetPicture(GameState_Intro::kSoundLogo)), 0, 0, 0, 0));
    EXPECT_TRUE(Is(Colour(intro->GetPicture(GameState_Intro::kMakerLogo)), 255, 255, 255, 0));
    EXPECT_TRUE(Is(Colour(intro->GetPicture(GameState_Intro::kMakerLettering)), 0, 0, 0, 0));
}

TEST_F(Intro, TheScreensComeAtSixTwelveFifteenAndTwentyOneSecondsAndOnlyTheThirdIsWhite)
{
    GameState_Intro* intro = ToIntro();
    ASSERT_NE(intro, nullptr);
    constexpr double kFrame = 0.05;
    double maker = -1, white = -1, whiteEnd = -1, sound = -1, title = -1;
    for (int frame = 0; frame <= 460 && Current() == kGameStateIntro; ++frame)
    {
        Frame(frame == 0 ? 0.0 : kFrame);
        const double t = frame * kFrame;
        const bool isWhite = Is(Colour(intro->GetPicture(GameState_Intro::kBackground)), 255, 255, 255, 255);
        const Rgba soundColour = Colour(intro->GetPicture(GameState_Intro::kSoundLogo));
        if (maker < 0 && Shown(intro->GetPicture(GameState_Intro::kMakerLogo)))
            maker = t;
        if (isWhite && white < 0)
            white = t;
        if (!isWhite && white >= 0 && whiteEnd < 0)
            whiteEnd = t;
        if (sound < 0 && intro->GetStep() >= 3 && intro->IsStepStarted())
            sound = t;
        if (sound < 0)
            EXPECT_TRUE(Is(soundColour, 0, 0, 0, 0)) << "the sound-library logo is unseen before its step, t=" << t;
        if (title < 0 && Shown(intro->GetPicture(GameState_Intro::kTitle)))
            title = t;
        if (isWhite)
            EXPECT_EQ(intro->GetStep(), 3) << "white only once the engine screen ran, t=" << t;
    }
    // Each step waits for more than three seconds after the last: a frame late at most.
    EXPECT_NEAR(maker, 6.0, 0.2);
    EXPECT_NEAR(white, 12.0, 0.3);
    EXPECT_NEAR(whiteEnd, 15.0, 0.3);
    EXPECT_NEAR(sound, 15.0, 0.3);
    EXPECT_NEAR(title, 21.0, 0.4);
    EXPECT_EQ(intro->GetStep(), GameState_Intro::kTitleStep);
    EXPECT_TRUE(Shown(intro->GetPrompt()));
    EXPECT_FALSE(Shown(intro->GetPicture(GameState_Intro::kBackground)));
    EXPECT_FALSE(Shown(intro->GetPicture(GameState_Intro::kSoundLogo)));
    // The title screen stays until "START".
    Frame(10.0);
    EXPECT_EQ(Current(), kGameStateIntro);
}

TEST_F(Intro, OneStepPerFrameEvenAtOneFrameEveryFourSeconds)
{
    GameState_Intro* intro = ToIntro();
    ASSERT_NE(intro, nullptr);
    Frame(0.0); // the first update starts the step timer
    EXPECT_EQ(intro->GetStep(), 0);
    // The maker's and the sound library's fades take a frame to start and end a frame later.
    const struct
    {
        int32_t step, started;
    } expected[] = {{1, 0}, {1, 1}, {1, 1}, {2, 0}, {3, 0}, {3, 1}, {3, 1}, {4, 0}, {100, 1}, {100, 1}};
    int frame = 0;
    for (const auto& e : expected)
    {
        Frame(4.0);
        EXPECT_EQ(intro->GetStep(), e.step) << "frame " << frame;
        EXPECT_EQ(intro->IsStepStarted(), e.started) << "frame " << frame;
        ++frame;
    }
}

TEST_F(Intro, StartAtAnyStepGoesToTheMainMenuAndLeaveSilencesEverything)
{
    // The main menu starts the title music again on entry, so a second sound shows the stop.
    // Both last longer than a case; the sound layer ends a sound that has played out.
    uitest::Sounds sounds({"Z_TITLE_STDSB", "SD_I_MOVE_S2DSB"}, 30.0);
    sounds.Declare("SD_I_SELECT_S2DSB", 0.05);
    ASSERT_TRUE(sounds.Started());
    GameState_Intro* intro = ToIntro();
    ASSERT_NE(intro, nullptr);
    // Nothing pushed: "START" is read in the default context.
    HbInputManager* input = HbInputManager::Instance();
    ASSERT_EQ(input->PopCommandContext("Default"), 1);
    ASSERT_EQ(input->PopCommandContext("Menu"), 1);
    ASSERT_EQ(input->GetContextDepth(), 0);

    // Seconds after the intro started: before the first update, and in each of the steps.
    for (double seconds : {-1.0, 0.0, 4.0, 7.0, 13.0, 16.0, 19.0, 23.0})
    {
        SCOPED_TRACE(seconds);
        EXPECT_GE(TsFModFindChannelBySoundName("Z_TITLE_STDSB"), 0) << "the title music plays";
        for (double t = 0.0; t <= seconds; t += 0.25)
            Frame(t == 0.0 ? 0.0 : 0.25);
        EXPECT_EQ(Current(), kGameStateIntro);
        TsFModPlaySoundAt("SD_I_MOVE_S2DSB", nullptr);
        ASSERT_GE(TsFModFindChannelBySoundName("SD_I_MOVE_S2DSB"), 0);
        Frame(1.0 / 60.0, {VK_SPACE});
        ASSERT_EQ(Current(), kGameStateMainMenu);
        EXPECT_EQ(TsFModFindChannelBySoundName("SD_I_MOVE_S2DSB"), -1);
        EXPECT_GE(TsFModFindChannelBySoundName("Z_TITLE_STDSB"), 0) << "the main menu's own music";
        for (int32_t picture = 0; picture < GameState_Intro::kPictureCount; ++picture)
            EXPECT_EQ(intro->GetPicture(picture), nullptr) << picture;
        EXPECT_EQ(intro->GetPrompt(), nullptr);
        EXPECT_EQ(ResourceGroupFind("INTRO"), nullptr);

        // A short sound has played out a quarter of a second later (the layer sees it in its
        // next update); the title music goes on.
        ASSERT_GE(TsFModPlaySoundAt("SD_I_SELECT_S2DSB", nullptr), 0);
        Frame(0.25);
        Frame(1.0 / 60.0);
        EXPECT_EQ(TsFModFindChannelBySoundName("SD_I_SELECT_S2DSB"), -1) << "played out";
        EXPECT_GE(TsFModFindChannelBySoundName("Z_TITLE_STDSB"), 0);

        // Back to the intro for the next case.
        GameState* menu = mManager->GetCurrentState();
        ASSERT_EQ(menu->SwitchTo(kGameStateIntro), 1);
        mManager->SetCurrentState(menu->GetPending());
    }
}

/// The intro's first screen over flat-coloured publisher pictures.
class IntroDrawn : public Intro
{
protected:
    static constexpr uint32_t kLogo = 0xFF3070B0u, kLettering = 0xFFD09040u;

    void SetUp() override
    {
        Intro::SetUp();
        if (HasFatalFailure())
            return;
        mResources->SolidTexture("FE_LOGO_TALMERIC_TEX", 8, 8, kLogo);
        mResources->SolidTexture("FE_TITLE_TALMERIC_TEX", 8, 8, kLettering);
    }

    /// The publisher's logo and lettering over the black background; every other picture is
    /// hidden or, for the sound library's, still wearing its fade's see-through start colour.
    /// "" when the screen shows that.
    std::string CheckPublisherScreen(const std::string& name)
    {
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> actual = ReadScreen(&width, &height);
        if (width != 640 || height != 480)
            return "no 640 x 480 frame";
        uitest::Reference expected(width, height, 0xFF000000u);
        const float rects[2][4] = {{0.382f, 0.274f, 0.25f, 0.25f}, {0.249f, 0.539f, 0.5f, 0.125f}};
        expected.Fill(rects[0][0], rects[0][1], rects[0][2], rects[0][3], kLogo & 0xFFFFFFu);
        expected.Fill(rects[1][0], rects[1][1], rects[1][2], rects[1][3], kLettering & 0xFFFFFFu);
        for (const auto& r : rects)
            expected.IgnoreEdges(r[0], r[1], r[2], r[3], actual);
        return framecheck::CheckFrame(name, width, height, actual, expected.pixels, 3);
    }
};

TEST_F(IntroDrawn, ADeviceLostMidFrameComesBackAndTheNextFrameDrawsThePublisherScreenAgain)
{
    GameState_Intro* intro = ToIntro();
    ASSERT_NE(intro, nullptr);
    Frame();
    EXPECT_EQ(CheckPublisherScreen("intro_before_loss"), "");

    LoseDeviceInNextFrame();
    Frame();
    Frame();
    EXPECT_EQ(Current(), kGameStateIntro);
    EXPECT_EQ(RecoveringFrame([this] { Frame(); }), "");
    EXPECT_EQ(CheckPublisherScreen("intro_after_loss"), "");

    // The sequence goes on: the maker's screen after more than three seconds.
    Frame(3.5);
    EXPECT_EQ(intro->GetStep(), 1);
}

TEST_F(IntroDrawn, ADeviceLostThroughTheLanguagesLoadingScreenComesBackInTheIntro)
{
    // Lost in the frame the flag is chosen: the loading screen of the hand-over draws on a
    // lost device.
    LoseDeviceInNextFrame();
    Frame(1.0 / 60.0, {VK_RETURN});
    Frame();
    ASSERT_EQ(Current(), kGameStateIntro);
    EXPECT_EQ(RecoveringFrame([this] { Frame(); }), "");
    EXPECT_EQ(CheckPublisherScreen("intro_after_loss_in_loading"), "");
}
} // namespace
} // namespace fetest
