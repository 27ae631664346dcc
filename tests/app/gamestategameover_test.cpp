// Game over and the label pages. Game over shows why the mission was lost, retries the sector
// keeping its level or quits dropping the hero and level groups. The label state shows the old
// sector's closing pages, then the new sector's opening pages, then starts the stage; a backward
// change starts the stage at once; at a mission's end it goes on to the debriefing, half a second
// after the last page; it cleans up once however often it is left. Frames of a label page and of
// both game-over screens are read back against references.
#include "framecheck.h"
#include "gamestategameover.h"
#include "gamestatelabel.h"
#include "herohudaccess.h"
#include "playstates_fixture.h"
#include "w2dgraphicmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <gtest/gtest.h>

namespace fetest
{
namespace
{

/// The hero's hit points as the test sets them.
class FixedHitPoints : public HeroHudAccess
{
public:
    int32_t GetHitPoints(HbRoot*) override { return hitPoints; }
    int32_t hitPoints = 0;
};

std::string TextOf(W2dTextGraphicItem* item)
{
    return item ? item->GetText() : std::string("?");
}

class GameOver : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        HeroHudAccess::Install(&mHitPoints);
        Texts({"TX_MENU_GAMEOVER_HERO_IS_DEAD_TXT", "TX_MENU_GAMEOVER_VOZUV_TXT", "TX_MENU_PAUSE_CONTINUE_TXT",
               "TX_MENU_PAUSE_QUIT_TXT", "TX_MENU_PAUSE_NO_TXT", "TX_MENU_PAUSE_YES_TXT"});
        mStage = Root(new Target(kGameStateStage));
        mGameOver = Make(new GameState_GameOver());
        mSelect = Make(new Target(kGameStateSelectMission));
        mStage->AddTransition(mGameOver, 0);
        mGameOver->AddTransition(mStage, 0);
        mGameOver->AddTransition(mSelect, 0);
        mProfile->sectorId = "W2L1S03";
        for (const char* group : {"HERO", "W2L1", "gameover", "FRONTEND"})
            Group(group, {});
        ResourceGroupLoad("HERO", 0);
        ResourceGroupLoad("W2L1", 1);
        mStage->Enter();
        mManager->SetCurrentState(mStage);
    }

    void TearDown() override
    {
        HeroHudAccess::Install(nullptr);
        PlayStates::TearDown();
    }

    /// The stage loses the mission; the game-over menu opens over the next frames.
    void Lose(int32_t hitPoints)
    {
        mHitPoints.hitPoints = hitPoints;
        ASSERT_EQ(mStage->SwitchTo(kGameStateGameOver), 1);
        mManager->SetCurrentState(mGameOver);
        Frame(mAt);
        for (int i = 0; i < 10; ++i)
            Frame(mAt += 0.1);
    }

    /// A menu key, then frames for the menu to move.
    void Press(uint8_t key)
    {
        Frame(mAt += 0.1, {key});
        for (int i = 0; i < 6; ++i)
            Frame(mAt += 0.1);
    }

    FixedHitPoints mHitPoints;
    Target* mStage = nullptr;
    GameState_GameOver* mGameOver = nullptr;
    Target* mSelect = nullptr;
    double mAt = 0.0;
};

TEST_F(GameOver, TheScreenSaysWhetherTheHeroDiedOrTheMissionFailedWithHimAlive)
{
    struct Case
    {
        int32_t hitPoints;
        const char* picture;
        const char* text;
    };
    for (const Case& c : {Case{0, "FE_GAMEOVER_TEX", "TX_MENU_GAMEOVER_HERO_IS_DEAD_TXT"},
                          Case{-5, "FE_GAMEOVER_TEX", "TX_MENU_GAMEOVER_HERO_IS_DEAD_TXT"},
                          Case{40, "FE_GAMEOVER_VOZUV_TEX", "TX_MENU_GAMEOVER_VOZUV_TXT"}})
    {
        SCOPED_TRACE(c.hitPoints);
        Lose(c.hitPoints);
        ASSERT_NE(mGameOver->GetPicture(), nullptr);
        EXPECT_EQ(mGameOver->GetPicture()->GetTextureId(), c.picture);
        EXPECT_EQ(TextOf(mGameOver->GetMessage()), c.text);
        EXPECT_EQ(Layer(2), std::vector<std::string>{"gameover"});
        EXPECT_EQ(ContextName(), "Menu");
        EXPECT_EQ(mGameOver->IsMenuBuilt(), 1);
        // Back to the stage for the next case, as a retry would.
        ASSERT_EQ(mGameOver->SwitchTo(kGameStateStage), 1);
        mManager->SetCurrentState(mStage);
        EXPECT_EQ(mGameOver->GetPicture(), nullptr);
        EXPECT_NE(ContextName(), "Menu");
    }
}

TEST_F(GameOver, RetryKeepsTheLevelAndPlaysTheSectorAgainFromItsCheckpoint)
{
    Lose(0);
    mProfile->stageEntered = 1;
    Press(VK_RETURN);
    EXPECT_EQ(mManager->GetCurrentState(), mStage);
    EXPECT_EQ(mProfile->loadRequest, 1);
    EXPECT_EQ(mProfile->stageEntered, 0);
    EXPECT_EQ(mProfile->sectorId, "W2L1S03");
    EXPECT_EQ(mProfile->worldResetRequest, 0);
    EXPECT_NE(ResourceGroupFind("HERO"), nullptr);
    EXPECT_NE(ResourceGroupFind("W2L1"), nullptr);
    EXPECT_EQ(ResourceGroupFind("gameover"), nullptr);
    EXPECT_EQ(mGameOver->GetRootMenu(), nullptr);
}

TEST_F(GameOver, QuitAsksFirstThenDropsTheHeroAndLevelGroupsForTheMissionSelection)
{
    Lose(0);
    // Quit opens its page; "No" goes back, and the screen stays.
    Press(VK_DOWN);
    Press(VK_RETURN);
    EXPECT_EQ(TextOf(static_cast<W2dTextGraphicItem*>(mGameOver->GetCurrentMenu()->GetEntry(0)->GetLabel())),
              "TX_MENU_PAUSE_NO_TXT");
    Press(VK_RETURN);
    EXPECT_EQ(mManager->GetCurrentState(), mGameOver);
    EXPECT_EQ(mGameOver->GetCurrentMenu(), mGameOver->GetRootMenu());

    Press(VK_RETURN);
    Press(VK_DOWN);
    Press(VK_RETURN);
    EXPECT_EQ(mManager->GetCurrentState(), mSelect);
    EXPECT_EQ(mProfile->worldResetRequest, 1);
    EXPECT_EQ(ResourceGroupFind("HERO"), nullptr);
    EXPECT_EQ(ResourceGroupFind("W2L1"), nullptr);
    EXPECT_EQ(ResourceGroupFind("gameover"), nullptr);
    EXPECT_EQ(Layer(2), std::vector<std::string>{"FRONTEND"});
    EXPECT_NE(mManager->GetLoadingPicture(), nullptr) << "the loading screen waits for what comes next";
}

/// Both screens drawn: the picture of the loss over the whole screen, the menu and the text left
/// without ink (see-through tiles, a font without ink).
class GameOverDrawn : public GameOver
{
protected:
    static constexpr uint32_t kDead = 0xFF8A1C1Cu, kAlive = 0xFF2C5A8Au;

    void SetUp() override
    {
        GameOver::SetUp();
        if (HasFatalFailure())
            return;
        BlankFont();
        mResources->SolidTexture("FE_GAMEOVER_TEX", 8, 8, kDead);
        mResources->SolidTexture("FE_GAMEOVER_VOZUV_TEX", 8, 8, kAlive);
        for (const char* id : {"FE_MAIN_BORDER_TEX", "FE_MAIN_BORDER_CORNER_TEX", "FE_MAIN_BORDER_SHADOW_TEX",
                               "FE_MAIN_CORNER_SHADOW_TEX", "FE_MAIN_ANGLE_SHADOW_TEX", "FE_MAIN_WHITE_BACKGROUND_TEX"})
            mResources->SolidTexture(id, 4, 4, 0x00FFFFFFu);
    }
};

TEST_F(GameOverDrawn, EachLossShowsItsOwnPictureOverTheWholeScreen)
{
    for (const auto& [hitPoints, colour, name] :
         {std::tuple{0, kDead, "app_game_over_dead"}, std::tuple{25, kAlive, "app_game_over_alive"}})
    {
        SCOPED_TRACE(name);
        Lose(hitPoints);
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), uitest::kClear, &width, &height);
        ASSERT_EQ(width, 640);
        uitest::Reference expected(width, height, uitest::kClear);
        expected.Fill(0.0f, 0.0f, 1.0f, 1.0f, colour & 0xFFFFFFu);
        EXPECT_EQ(framecheck::CheckFrame(name, width, height, actual, expected.pixels, 3), "");
        ASSERT_EQ(mGameOver->SwitchTo(kGameStateStage), 1);
        mManager->SetCurrentState(mStage);
    }
}

// ---- The label pages ----------------------------------------------------------------------------------

class Labels : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        mLabel = Root(new GameState_Label());
        mStage = Make(new Target(kGameStateStage));
        mDebriefing = Make(new Target(kGameStateDebriefing));
        mLabel->AddTransition(mStage, 0);
        mLabel->AddTransition(mDebriefing, 0);
        Group("W1L1S02labelend",
              {Slide("CreateLabel", "END_A_TEX", "TX_A_TXT"), Slide("CreateLabel", "END_B_TEX", "TX_B_TXT")});
        Group("W1L1S03label", {Slide("CreateLabel", "OPEN_A_TEX", "TX_C_TXT")});
        mProfile->lastMissionSector = "W1L1S02";
        mProfile->sectorId = "W1L1S03";
        mManager->SetCurrentState(mLabel);
    }

    void Enter()
    {
        mLabel->Enter();
        mManager->SetCurrentState(mLabel);
    }

    GameState_Label* mLabel = nullptr;
    Target* mStage = nullptr;
    Target* mDebriefing = nullptr;
};

TEST_F(Labels, AForwardChangeShowsTheOldSectorsClosingPagesThenTheNewOnesThenStartsTheStage)
{
    // As launch_sector leaves a forward change.
    mProfile->forwardEntry = 1;
    mProfile->labelAfterMission = 1;
    Enter();
    EXPECT_EQ(Layer(2), std::vector<std::string>{"W1L1S02labelend"});
    EXPECT_EQ(GameState_Label::IsShown(), 1);
    EXPECT_TRUE(Is(Colour(mLabel->GetBackground()), 255, 255, 255, 255));
    EXPECT_EQ(ContextName(), "Label");
    EXPECT_EQ(TopTheme(), 3);

    Frame(0.1);
    Frame(0.2, {VK_RETURN});
    EXPECT_TRUE(Shown(LabelList::Instance()->GetAt(1)->GetPicture()));
    Frame(0.3, {VK_RETURN});
    EXPECT_NE(mLabel->GetEndTime(), 0) << "the last closing page was passed";
    // Presses during the half second do nothing.
    const int64_t end = mLabel->GetEndTime();
    Frame(0.5, {VK_RETURN});
    Frame(0.75);
    EXPECT_EQ(mLabel->GetEndTime(), end);
    EXPECT_EQ(Layer(2), std::vector<std::string>{"W1L1S02labelend"});

    // Then the new sector's opening pages, with the wait of the closing ones behind them.
    Frame(0.85);
    EXPECT_EQ(Layer(2), std::vector<std::string>{"W1L1S03label"});
    EXPECT_EQ(mProfile->labelAfterMission, 0);
    EXPECT_EQ(mLabel->GetEndTime(), 0);
    EXPECT_EQ(LabelList::Instance()->GetCount(), 1);
    EXPECT_TRUE(Shown(LabelList::Instance()->GetAt(0)->GetPicture()));
    for (double at = 0.95; at < 3.0; at += 0.1)
        Frame(at);
    EXPECT_EQ(mManager->GetCurrentState(), mLabel) << "a page stays until it is passed";

    Frame(3.0, {VK_RETURN});
    Frame(3.4);
    EXPECT_EQ(mManager->GetCurrentState(), mLabel);
    Frame(3.6);
    EXPECT_EQ(mManager->GetCurrentState(), mStage);
    EXPECT_EQ(mStage->enters, 1);
    EXPECT_EQ(mProfile->sectorId, "W1L1S03");
    EXPECT_EQ(Layer(2), std::vector<std::string>{});
    EXPECT_EQ(LabelList::Instance()->GetCount(), 0);
    EXPECT_NE(ContextName(), "Label");
    EXPECT_EQ(TopTheme(), 0);
}

TEST_F(Labels, ABackwardChangeShowsNoPagesAndStartsTheStageAtOnce)
{
    mProfile->forwardEntry = 0;
    mProfile->labelAfterMission = 0;
    Enter();
    EXPECT_EQ(GameState_Label::IsActive(), 0);
    EXPECT_EQ(Layer(2), std::vector<std::string>{});
    EXPECT_NE(ContextName(), "Label");
    Frame(0.1);
    EXPECT_EQ(mManager->GetCurrentState(), mStage);
    EXPECT_EQ(mProfile->sectorId, "W1L1S03");
}

TEST_F(Labels, AtAMissionsEndTheDebriefingFollowsAtOnceOrHalfASecondAfterTheLastPage)
{
    // Backward at the end: the closing pages are loaded behind a black screen and not waited for.
    mProfile->forwardEntry = 0;
    mProfile->labelAfterMission = 1;
    mProfile->worldResetRequest = 1;
    Enter();
    EXPECT_EQ(Layer(2), std::vector<std::string>{"W1L1S02labelend"});
    EXPECT_TRUE(Is(Colour(mLabel->GetBackground()), 0, 0, 0, 255));
    Frame(0.1);
    EXPECT_EQ(mManager->GetCurrentState(), mDebriefing);
    EXPECT_EQ(mProfile->worldResetRequest, 0);
    EXPECT_EQ(mProfile->labelAfterMission, 0);
    EXPECT_EQ(Layer(2), std::vector<std::string>{});

    // Forward: both pages, then the wait.
    mProfile->forwardEntry = 1;
    mProfile->labelAfterMission = 1;
    mProfile->worldResetRequest = 1;
    Enter();
    Frame(1.0, {VK_RETURN});
    Frame(1.1, {VK_RETURN});
    Frame(1.5);
    EXPECT_EQ(mManager->GetCurrentState(), mLabel);
    Frame(1.65);
    EXPECT_EQ(mManager->GetCurrentState(), mDebriefing);
    EXPECT_EQ(mDebriefing->enters, 2);
}

TEST_F(Labels, ASecondLeaveFindsNothingOfTheVisitToCleanUp)
{
    mProfile->forwardEntry = 1;
    Enter();
    ASSERT_EQ(GameState_Label::IsActive(), 1);
    mLabel->Leave();
    EXPECT_EQ(GameState_Label::IsActive(), 0);
    EXPECT_EQ(Layer(2), std::vector<std::string>{});

    // Someone else's pages and context, then the stray leave.
    Group("W1L1S03labelmiddle", {Slide("CreateLabel", "MIDDLE_TEX", "TX_M_TXT")});
    ResourceGroupLoad("W1L1S03labelmiddle", 0);
    HbInputManager::Instance()->PushCommandContext("Label");
    GameKeyHintBar()->PushTheme(3);
    mLabel->Leave();
    EXPECT_EQ(LabelList::Instance()->GetCount(), 1);
    EXPECT_EQ(ContextName(), "Label");
    EXPECT_EQ(TopTheme(), 3);
    EXPECT_NE(ResourceGroupFind("W1L1S03labelmiddle"), nullptr);
    HbInputManager::Instance()->PopCommandContext("Label");
    GameKeyHintBar()->PopTheme(3);
}

TEST_F(Labels, ALabelPageIsItsPictureOverTheMapBackdrop)
{
    constexpr uint32_t kBackdrop = 0xFF5A6E3Cu, kPage = 0xFFC89632u;
    mResources->SolidTexture("FE_MAP_BACK_TEX", 8, 8, kBackdrop);
    mResources->SolidTexture("END_A_TEX", 8, 8, kPage);
    mProfile->forwardEntry = 1;
    mProfile->labelAfterMission = 1;
    Enter();
    // The picture fades in over half a second.
    for (double at = 0.1; at < 0.8; at += 0.1)
        Frame(at);
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), uitest::kClear, &width, &height);
    ASSERT_EQ(width, 640);
    uitest::Reference expected(width, height, uitest::kClear);
    expected.Fill(0.0f, 0.0f, 1.0f, 1.0f, kBackdrop & 0xFFFFFFu);
    expected.Fill(0.25f, 0.25f, 0.5f, 0.5f, kPage & 0xFFFFFFu);
    expected.IgnoreEdges(0.25f, 0.25f, 0.5f, 0.5f, actual);
    EXPECT_EQ(framecheck::CheckFrame("app_label_page", width, height, actual, expected.pixels, 3), "");
}

} // namespace
} // namespace fetest
