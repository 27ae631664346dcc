// The credits and the artwork viewer. Credits: each line starts once the one before has risen to
// 0.96, the state ends when the last line (not the first) reaches the top, an empty line takes a
// line's place, the quit action leaves at once without a frame, a missing text leaves a dark
// screen that waits; a frame of the roll is read back. Artworks: the mission's pages one per
// press, back to the map after the last or at once on escape, both in one frame turn the page, an
// empty group returns on the first press, the group named at Enter is the one unloaded.
#include "framecheck.h"
#include "gamestateartworks.h"
#include "gamestatecredits.h"
#include "playstates_fixture.h"
#include "w2dgraphiccontainer.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <gtest/gtest.h>

namespace fetest
{
namespace
{

class Credits : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        BlankFont();
        mCredits = Root(new GameState_Credits());
        mSelect = Make(new Target(kGameStateSelectMission));
        mCredits->AddTransition(mSelect, 0);
        GameServicesTable().rendererBeginFrame = [] { ++sFrames; };
        sFrames = 0;
    }

    void Enter(const char* text)
    {
        if (text)
            mResources->Text("TX_FRONTEND_CREDITS_TXT", text);
        mClocks->SetReal(kT0);
        mCredits->Enter();
        mManager->SetCurrentState(mCredits);
    }

    float LineY(int32_t index) const
    {
        Vector at;
        mCredits->GetLines()->GetChild(index)->GetPosition(&at);
        return at.y;
    }

    static inline int sFrames = 0;
    GameState_Credits* mCredits = nullptr;
    Target* mSelect = nullptr;
};

TEST_F(Credits, EachLineFollowsTheOneBeforeAndTheRollEndsWhenTheLastLineReachesTheTop)
{
    Enter("Velmoran\nMade by a small team\nThank you");
    ASSERT_EQ(mCredits->GetLines()->GetChildCount(), 3);
    EXPECT_EQ(mCredits->GetLinesStarted(), 1);
    EXPECT_FLOAT_EQ(LineY(0), 1.0f);
    EXPECT_EQ(static_cast<W2dTextGraphicItem*>(mCredits->GetLines()->GetChild(1))->GetText(), "Made by a small team");

    // Frames of 1/60 s: one step of 0.001 each.
    double at = 0.0;
    int32_t started = 1;
    int frame = 0;
    bool firstAtTop = false;
    while (mManager->GetCurrentState() == mCredits && frame < 2000)
    {
        const float before = LineY(started - 1);
        Frame(at += 1.0 / 60.0);
        ++frame;
        if (mManager->GetCurrentState() != mCredits)
            break;
        if (mCredits->GetLinesStarted() > started)
        {
            SCOPED_TRACE(started);
            EXPECT_LE(before, GameState_Credits::kNextLineY + 1e-6f) << "the line before had risen to 0.96";
            EXPECT_GT(before, GameState_Credits::kNextLineY - 0.0015f) << "and the next started in the next update";
            started = mCredits->GetLinesStarted();
        }
        if (LineY(0) <= 0.0f)
            firstAtTop = true;
    }
    EXPECT_TRUE(firstAtTop) << "the first line reached the top before the roll ended";
    EXPECT_EQ(mManager->GetCurrentState(), mSelect);
    EXPECT_EQ(started, 3);
    // Two start gaps of 40 steps and the last line's 1000 steps, a frame late at most each.
    EXPECT_NEAR(frame, 1080, 4);
    EXPECT_EQ(mCredits->GetLines(), nullptr) << "released";
    EXPECT_EQ(mCredits->GetBackground(), nullptr);
}

TEST_F(Credits, TwoLineFeedsGiveAnEmptyLineInTheRollAndOneLineEndsWhenItReachesTheTop)
{
    Enter("First\n\nThird");
    ASSERT_EQ(mCredits->GetLines()->GetChildCount(), 3);
    EXPECT_EQ(static_cast<W2dTextGraphicItem*>(mCredits->GetLines()->GetChild(1))->GetText(), "");
    mCredits->Leave();

    Enter("Alone");
    ASSERT_EQ(mCredits->GetLines()->GetChildCount(), 1);
    double at = 0.0;
    int frame = 0;
    while (mManager->GetCurrentState() == mCredits && frame < 1200)
    {
        const float y = LineY(0);
        Frame(at += 1.0 / 60.0);
        ++frame;
        if (mManager->GetCurrentState() != mCredits)
        {
            EXPECT_LE(y, 0.0f) << "it ended in the first update that found the line at the top";
            EXPECT_GT(y, -0.0015f);
        }
    }
    EXPECT_EQ(mManager->GetCurrentState(), mSelect);
}

TEST_F(Credits, TheQuitActionLeavesAtOnceWithoutAFrameAndAMissingTextWaitsForIt)
{
    // No credits text: a dark screen that does not end by itself.
    Enter(nullptr);
    EXPECT_EQ(mCredits->GetLines()->GetChildCount(), 0);
    EXPECT_TRUE(Is(Colour(mCredits->GetBackground()), 0, 0, 0, 255));
    for (int i = 1; i <= 300; ++i)
        Frame(i * 0.05);
    EXPECT_EQ(mManager->GetCurrentState(), mCredits);
    const int frames = sFrames;
    Frame(15.1, {VK_SPACE});
    EXPECT_EQ(mManager->GetCurrentState(), mSelect);
    EXPECT_EQ(sFrames, frames);

    // Mid-roll too.
    mManager->SetCurrentState(mCredits);
    Enter("One\nTwo");
    for (int i = 1; i <= 100; ++i)
        Frame(i / 60.0);
    Frame(2.0, {VK_SPACE});
    EXPECT_EQ(mManager->GetCurrentState(), mSelect);
}

TEST_F(Credits, ARollingFrameIsTheDarkScreenWithTheLinesFadedInAndOutByTheirHeight)
{
    Enter("One\nTwo");
    double at = 0.0;
    for (int i = 0; i < 200; ++i)
        Frame(at += 1.0 / 60.0);
    // Both lines are inside their fade-in, each as far as its height said before the frame's step.
    for (int32_t line = 0; line < 2; ++line)
    {
        const float y = LineY(line);
        ASSERT_LT(y, 0.9f) << line;
        ASSERT_GT(y, 0.7f) << line;
        const float before = y + 0.001f;
        EXPECT_NEAR(Colour(mCredits->GetLines()->GetChild(line)).alpha, 255.0f * (0.9f - before) / 0.2f, 1.5f) << line;
    }

    constexpr uint32_t kBehind = 0xFF204060u;
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), kBehind, &width, &height);
    ASSERT_EQ(width, 640);
    uitest::Reference expected(width, height, kBehind);
    expected.Fill(0.0f, 0.0f, 1.0f, 1.0f, 0x000000);
    EXPECT_EQ(framecheck::CheckFrame("app_credits", width, height, actual, expected.pixels, 3), "");
}

// ---- The artwork viewer ----------------------------------------------------------------------------------

class Artworks : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        mSelect = Root(new Target(kGameStateSelectMission));
        mArtworks = Make(new GameState_Artworks());
        mSelect->AddTransition(mArtworks, 1);
        mArtworks->AddTransition(mSelect, 0);
        mSelect->Enter();
        mManager->SetCurrentState(mSelect);
        Group("W2L1S01artwork",
              {Slide("CreateArtwork", "ART_A_TEX", "TX_A_TXT"), Slide("CreateArtwork", "ART_B_TEX", "TX_B_TXT"),
               Slide("CreateArtwork", "ART_C_TEX", "TX_C_TXT")});
        Group("W3L1S01artwork", {});
    }

    void Open(const char* sector)
    {
        mProfile->sectorId = sector;
        ASSERT_EQ(mSelect->SwitchTo(kGameStateArtworks), 1);
    }

    bool Open() const { return mSelect->IsSuspended() != 0; }
    static bool PageShown(int32_t index)
    {
        Artwork* artwork = ArtworkList::Instance()->GetAt(index);
        return artwork && artwork->GetPicture() && !artwork->GetPicture()->IsHidden();
    }

    Target* mSelect = nullptr;
    GameState_Artworks* mArtworks = nullptr;
};

TEST_F(Artworks, ThePagesTurnOnePerPressAndThePressPastTheLastGoesBack)
{
    Open("W2L1S01");
    EXPECT_EQ(Layer(0), std::vector<std::string>{"W2L1S01artwork"});
    EXPECT_EQ(mArtworks->GetBackground()->GetTextureId(), "FE_MAP_BACK_ART");
    EXPECT_EQ(ContextName(), "Label");
    EXPECT_EQ(TopTheme(), 7);
    EXPECT_TRUE(PageShown(0));
    Frame(0.1);
    Frame(0.2, {VK_RETURN});
    EXPECT_TRUE(PageShown(1));
    EXPECT_FALSE(PageShown(0));
    // Both actions in one frame turn the page.
    Frame(0.3, {VK_RETURN, VK_ESCAPE});
    EXPECT_TRUE(Open());
    EXPECT_TRUE(PageShown(2));
    // Past the last page: back to the map, the group of Enter unloaded though the sector changed.
    mProfile->sectorId = "W9L9S09";
    Frame(0.4, {VK_RETURN});
    EXPECT_FALSE(Open());
    EXPECT_EQ(mSelect->resumes, 1);
    EXPECT_EQ(ResourceGroupFind("W2L1S01artwork"), nullptr);
    EXPECT_EQ(ArtworkList::Instance()->GetCount(), 0);
    EXPECT_EQ(mArtworks->GetBackground(), nullptr);
    EXPECT_NE(ContextName(), "Label");
    EXPECT_NE(TopTheme(), 7);
}

TEST_F(Artworks, EscapeGoesBackAtOnceAndAnEmptyGroupOnTheFirstPress)
{
    struct Case
    {
        const char* sector;
        uint8_t key;
    };
    for (const Case& c : {Case{"W2L1S01", VK_ESCAPE}, Case{"W3L1S01", VK_RETURN}, Case{"W3L1S01", VK_ESCAPE}})
    {
        SCOPED_TRACE(std::string(c.sector) + (c.key == VK_RETURN ? " next" : " escape"));
        Open(c.sector);
        Frame(0.1);
        EXPECT_TRUE(Open());
        Frame(0.2, {c.key});
        EXPECT_FALSE(Open());
        EXPECT_EQ(Layer(0), std::vector<std::string>{});
    }
}

} // namespace
} // namespace fetest
