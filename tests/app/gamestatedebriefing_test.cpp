// The debriefing over missions built in the test: the results entered into the mission table (the
// main objectives decide the result, all of them the campaign word), refused for a mission without
// a number; the headings' numbers; the reveal of a row every 1.7 s with its sound, skipped by
// MENU_CHOOSE; scrolling that waits for a running move; the save question's hand-over for each
// answer with and without the campaign complete, after the darkening; the leave; a frame of the
// list read back against a reference built from the panels' own pieces.
#include "framecheck.h"
#include "gamestatedebriefing.h"
#include "missionmanager.h"
#include "playstates_fixture.h"
#include "w2dframedpanel.h"
#include "w2dgraphicmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fetest
{
namespace
{

const char* const kMusic = "VICTORY_MUSIC_STDSB";
const char* const kFinished = "SD_I_OBJECTIVE_FINISHED_S2DSB";
const char* const kNew = "SD_I_OBJECTIVE_NEW_S2DSB";

/// A mission of the given number whose slots hold the objectives (id, category, done).
class FakeMissions : public MissionManager
{
public:
    struct Row
    {
        int32_t id;
        int32_t category;
        int32_t done;
    };
    FakeMissions(int32_t number, const std::vector<Row>& rows) : mNumber(number)
    {
        int32_t slot = 0;
        for (const Row& row : rows)
        {
            Objective& o = mObjectives[slot++];
            o.mId = row.id;
            o.mCategory = row.category;
            o.mDone = row.done;
            o.mDescriptionText = "OBJ_" + std::to_string(row.id) + "_TXT";
        }
        mCount = slot;
    }
    int32_t GetObjectiveCount() const override { return mCount; }
    Objective* GetObjective(int32_t index) const override
    {
        return index >= 0 && index < mCount ? const_cast<Objective*>(&mObjectives[index]) : nullptr;
    }
    int32_t GetMissionNumber() const override { return mNumber; }
    void Reset() override { ++resets; }

    int resets = 0;

private:
    Objective mObjectives[kMaxObjectives];
    int32_t mCount = 0;
    int32_t mNumber;
};

class Debriefing : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        UseSounds({kMusic, kFinished, kNew});
        Texts({"TX_MENU_CONFIRM_YES_TXT", "TX_MENU_CONFIRM_NO_TXT", "TX_SAVE_TXT", "TX_NOT_SAVE_TXT",
               "TX_MISSION3_NAME_TXT", "TX_MISSION3_TITLE_TXT"});
        mResources->Text("TX_WX_OBJECTIVES_TXT", "Objective:");
        Group("FRONTEND", {});
        mDebriefing = Root(new GameState_Debriefing());
        mSaveLoad = Make(new Target(kGameStateSaveLoad));
        mSelect = Make(new Target(kGameStateSelectMission));
        mCinematic = Make(new Target(kGameStateCinematic));
        for (GameState* target : {static_cast<GameState*>(mSaveLoad), static_cast<GameState*>(mSelect),
                                  static_cast<GameState*>(mCinematic)})
            mDebriefing->AddTransition(target, 0);
        mManager->SetCurrentState(mDebriefing);
    }

    // The tests' mission managers are gone by the tear-down, which leaves the entered state.
    void TearDown() override
    {
        mDebriefing->UseMissions(nullptr);
        PlayStates::TearDown();
    }

    void Enter(MissionManager* missions)
    {
        mDebriefing->UseMissions(missions);
        mClocks->SetReal(kT0);
        mDebriefing->Enter();
        mManager->SetCurrentState(mDebriefing);
    }

    /// Frames a tenth of a second apart up to the time.
    void Until(double& at, double end)
    {
        while (at + 0.1 <= end + 1e-9)
            Frame(at += 0.1);
    }

    static float Y(W2dGenericItem* item)
    {
        Vector at;
        item->GetPosition(&at);
        return at.y;
    }

    GameState_Debriefing* mDebriefing = nullptr;
    Target* mSaveLoad = nullptr;
    Target* mSelect = nullptr;
    Target* mCinematic = nullptr;
};

TEST_F(Debriefing, TheResultsGoIntoTheMissionTableByTheMainObjectivesAndAllOfThem)
{
    struct Case
    {
        const char* name;
        int32_t number;
        std::vector<FakeMissions::Row> rows;
        int32_t result, second, campaignWord;
        const char* mark;
    };
    const Case cases[] = {
        {"main done, a secondary not", 3, {{0, 0, 1}, {1, 0, 1}, {2, 1, 0}}, 1, 0, 5, "FE_COMPLETE_TEX"},
        {"everything done", 3, {{0, 0, 1}, {1, 1, 1}}, 1, 1, 6, "FE_COMPLETE_TEX"},
        {"a main objective not done", 3, {{0, 0, 1}, {1, 0, 0}, {2, 1, 1}}, 0, 0, 5, "FE_FAIL_TEX"},
        {"no objectives at all", 3, {}, 1, 1, 6, "FE_COMPLETE_TEX"},
        // A mission file without a number: nothing goes into the table, word -1 least of all.
        {"no mission number", 0, {{0, 0, 1}}, 0, 0, 5, "FE_COMPLETE_TEX"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        mProfile->missionTable.Reset();
        mProfile->missionTable.words[14] = 5;
        const MissionTable before = mProfile->missionTable;
        FakeMissions missions(c.number, c.rows);
        Enter(&missions);
        EXPECT_EQ(mProfile->missionTable.words[2], c.result);
        EXPECT_EQ(mProfile->missionTable.words[7 + 2], c.second);
        EXPECT_EQ(mProfile->missionTable.words[14], c.campaignWord);
        for (int32_t w : {0, 1, 3, 4, 5, 6, 8, 10, 15, 16})
            EXPECT_EQ(mProfile->missionTable.words[w], before.words[w]) << "word " << w;
        EXPECT_EQ(mProfile->campaignComplete, 0);
        ASSERT_NE(mDebriefing->GetOverallMark(), nullptr);
        EXPECT_EQ(mDebriefing->GetOverallMark()->GetTextureId(), c.mark);
        const bool complete = std::string(c.mark) == "FE_COMPLETE_TEX";
        EXPECT_EQ(Colour(mDebriefing->GetOverallMark()).red, complete ? 194 : 255);
        EXPECT_EQ(mDebriefing->GetRowCount(), int32_t(c.rows.size()));
        mDebriefing->Leave();
        EXPECT_EQ(missions.resets, 1) << "the missions are reset on the way out";
    }
}

TEST_F(Debriefing, RowsShowTheirObjectivesAndSecondaryOnesAreNumberedAfresh)
{
    FakeMissions missions(3, {{0, 0, 1}, {1, 0, 0}, {2, 1, 1}, {3, 1, 0}});
    Texts({"OBJ_0_TXT", "OBJ_1_TXT", "OBJ_2_TXT", "OBJ_3_TXT"});
    Enter(&missions);
    ASSERT_EQ(mDebriefing->GetRowCount(), 4);
    const char* const headings[] = {"Objective 0", "Objective 1", "Objective 0", "Objective 1"};
    for (int32_t i = 0; i < 4; ++i)
    {
        SCOPED_TRACE(i);
        const GameState_Debriefing::Row& row = mDebriefing->GetRow(i);
        EXPECT_EQ(row.heading->GetText(), headings[i]);
        EXPECT_EQ(row.description->GetText(), "OBJ_" + std::to_string(i) + "_TXT");
        EXPECT_EQ(row.mark->GetTextureId(), row.done ? "FE_COMPLETE_TEX" : "FE_FAIL_TEX");
        EXPECT_NEAR(Y(row.headingPanel), 0.37f + 0.45f * float(i), 1e-5f);
    }
    EXPECT_EQ(mDebriefing->GetName()->GetText(), "TX_MISSION3_NAME_TXT");
    EXPECT_NEAR(Y(mDebriefing->GetNamePanel()), 0.45f * 4 + 0.09375f + 0.37f, 1e-5f);
    EXPECT_EQ(ContextName(), "Menu");
    EXPECT_EQ(TopTheme(), 3);
    EXPECT_GE(mDebriefing->GetMusicChannel(), 0);
    EXPECT_EQ(mDebriefing->GetOverlay()->IsHidden(), 1);
    EXPECT_EQ(mDebriefing->GetSaveMenu()->IsShown(), 0);

    // An empty heading text gives headings of the number alone.
    mDebriefing->Leave();
    mResources->Text("TX_WX_OBJECTIVES_TXT", "");
    Enter(&missions);
    EXPECT_EQ(mDebriefing->GetRow(3).heading->GetText(), " 1");
}

TEST_F(Debriefing, ARowIsRevealedEvery1Point7SecondsWithItsSoundAndChooseSkipsTheRest)
{
    FakeMissions missions(3, {{0, 0, 1}, {1, 0, 0}});
    Enter(&missions);
    double at = 0.0;
    Frame(at);
    // The music is a stream, outside the samples' log.
    EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kFinished}));
    Until(at, 1.7);
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 0);
    Until(at, 1.8);
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 1);
    EXPECT_EQ(mDebriefing->IsMoving(), 1);
    Until(at, 2.5);
    EXPECT_EQ(mDebriefing->IsMoving(), 0);
    EXPECT_NEAR(Y(mDebriefing->GetRow(1).headingPanel), 0.37f, 1e-4f) << "the second row took the first's place";
    EXPECT_NEAR(Y(mDebriefing->GetRow(0).headingPanel), 0.37f - 0.45f, 1e-4f);
    // The next step waits 1.7 s after the last one: the last row by the overall mark.
    Until(at, 3.5);
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 1);
    Until(at, 3.6);
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 2);
    Until(at, 5.4);
    EXPECT_EQ(mDebriefing->IsRevealing(), 0);
    EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kFinished, kNew, kNew}));
    EXPECT_EQ(mDebriefing->GetArrow(0)->IsHidden(), 0);
    EXPECT_EQ(mDebriefing->GetArrow(1)->IsHidden(), 1);

    // A second visit: MENU_CHOOSE ends the reveal where it is.
    mDebriefing->Leave();
    Enter(&missions);
    at = 0.0;
    Frame(at);
    Frame(at += 0.1, {VK_RETURN});
    EXPECT_EQ(mDebriefing->IsRevealing(), 0);
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 0);
    EXPECT_EQ(mDebriefing->IsMenuShown(), 0);
    Until(at, 4.0);
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 0);
}

TEST_F(Debriefing, ScrollingMovesARowAtATimeAndWaitsForAMoveToEnd)
{
    FakeMissions missions(3, {{0, 0, 1}, {1, 0, 1}});
    Enter(&missions);
    double at = 0.0;
    Frame(at);
    Frame(at += 0.1, {VK_RETURN});
    ASSERT_EQ(mDebriefing->IsRevealing(), 0);
    Frame(at += 0.1, {VK_DOWN});
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 1);
    Frame(at += 0.1, {VK_DOWN});
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 1) << "a press during the move does nothing";
    Until(at, 1.0);
    Frame(at += 0.1, {VK_DOWN});
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 2);
    Until(at, 2.0);
    Frame(at += 0.1, {VK_DOWN});
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 2) << "not past the last row";
    Frame(at += 0.1, {VK_UP});
    EXPECT_EQ(mDebriefing->GetScrollIndex(), 1);
    Until(at, 3.0);
    EXPECT_NEAR(Y(mDebriefing->GetRow(1).headingPanel), 0.37f, 1e-4f);
}

TEST_F(Debriefing, TheAnswerHandsOverAfterTheDarkeningBySaveAndByTheCampaign)
{
    struct Case
    {
        bool save;
        bool lastMission;
        int32_t state;          ///< where the state goes
        int32_t afterCinematic; ///< the state after the closing video; 0 without one
        int32_t saveLoadWord;
    };
    const Case cases[] = {
        {true, false, kGameStateSaveLoad, 0, kGameStateSelectMission},
        {false, false, kGameStateSelectMission, 0, kGameStateSelectMission},
        {true, true, kGameStateCinematic, kGameStateSaveLoad, kGameStateCredits},
        {false, true, kGameStateCinematic, kGameStateCredits, kGameStateSelectMission},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.save ? "save" : "no save") + (c.lastMission ? ", last mission" : ""));
        mProfile->missionTable.Reset();
        mProfile->cinematicRequest = 0;
        mProfile->stateAfterCinematic = 0;
        if (c.lastMission)
            for (int32_t w = 0; w < 6; ++w)
                mProfile->missionTable.words[w] = 1;
        FakeMissions missions(c.lastMission ? 7 : 3, {{0, 0, 1}});
        Enter(&missions);
        EXPECT_EQ(mProfile->campaignComplete, c.lastMission ? 1 : 0);
        double at = 0.0;
        Frame(at);
        Frame(at += 0.1, {VK_RETURN}); // the reveal ends
        Frame(at += 0.1, {VK_RETURN}); // the question opens
        ASSERT_EQ(mDebriefing->IsMenuShown(), 1);
        EXPECT_EQ(mDebriefing->GetRow(0).headingPanel->IsHidden(), 1) << "the list makes way";
        Until(at, at + 0.6);
        // Back at the root, MENU_UP closes the question and shows the list again.
        Frame(at += 0.1, {VK_BACK});
        EXPECT_EQ(mDebriefing->IsMenuShown(), 0);
        EXPECT_EQ(mDebriefing->GetRow(0).headingPanel->IsHidden(), 0);
        Frame(at += 0.1, {VK_RETURN});
        ASSERT_EQ(mDebriefing->IsMenuShown(), 1);
        Until(at, at + 0.6);
        if (c.save)
            Frame(at += 0.1, {VK_RETURN});
        else
        {
            // No, then the confirmation page's yes.
            Frame(at += 0.1, {VK_DOWN});
            Until(at, at + 0.6);
            Frame(at += 0.1, {VK_RETURN});
            Until(at, at + 0.6);
            Frame(at += 0.1, {VK_DOWN});
            Until(at, at + 0.6);
            Frame(at += 0.1, {VK_RETURN});
        }
        ASSERT_EQ(mDebriefing->IsAnswered(), 1);
        EXPECT_EQ(mDebriefing->IsSaveChosen(), c.save ? 1 : 0);
        const double answered = at;
        Until(at, answered + 0.9);
        const Rgba dark = Colour(mDebriefing->GetOverlay());
        EXPECT_FALSE(mDebriefing->GetOverlay()->IsHidden());
        EXPECT_NEAR(dark.alpha, 255.0 * 0.9 / 1.7, 4.0);
        EXPECT_EQ(mManager->GetCurrentState(), mDebriefing);
        Until(at, answered + 1.8);
        EXPECT_EQ(mManager->GetCurrentState()->GetId(), c.state);
        EXPECT_EQ(mProfile->newGame, 0);
        EXPECT_EQ(mProfile->writeFile, 1);
        EXPECT_EQ(mProfile->saveLoadMode, 2);
        EXPECT_EQ(mProfile->saveLoadWord, c.saveLoadWord);
        EXPECT_EQ(mProfile->campaignComplete, 0);
        if (c.afterCinematic)
        {
            EXPECT_EQ(mProfile->cinematicVideo, "FE_VIDEO_OUTRO_VID");
            EXPECT_EQ(mProfile->cinematicSkippable, 1);
            EXPECT_EQ(mProfile->stateAfterCinematic, c.afterCinematic);
        }
        EXPECT_EQ(mDebriefing->GetSaveMenu(), nullptr) << "left";
        EXPECT_EQ(missions.resets, 1);
        // Back for the next case.
        mManager->SetCurrentState(mDebriefing);
    }
}

/// The list drawn on a 256 x 256 screen: every texture a flat colour, the shadows see-through and
/// the texts without ink, so the backdrop, the first row's panels and mark and the lower arrow show.
class DebriefingDrawn : public Debriefing
{
public:
    DebriefingDrawn() { mScreenSize = 256; }

protected:
    static constexpr uint32_t kBackdrop = 0xFF3C3250u, kBorder = 0xFF30A030u, kInside = 0xFFE0D0B0u;

    void SetUp() override
    {
        Debriefing::SetUp();
        if (HasFatalFailure())
            return;
        BlankFont();
        mResources->SolidTexture("FE_INTRO_TEX", 8, 8, kBackdrop);
        for (const char* id : {"FE_MAIN_BORDER_TEX", "FE_MAIN_BORDER_CORNER_TEX"})
            mResources->SolidTexture(id, 4, 4, kBorder);
        for (const char* id : {"FE_MAIN_BORDER_SHADOW_TEX", "FE_MAIN_CORNER_SHADOW_TEX", "FE_MAIN_ANGLE_SHADOW_TEX"})
            mResources->SolidTexture(id, 4, 4, 0x00000000u);
        mResources->SolidTexture("FE_MAIN_WHITE_BACKGROUND_TEX", 4, 4, kInside);
        for (const char* id : {"FE_COMPLETE_TEX", "FE_FAIL_TEX", "FE_HIT_TEX"})
            mResources->SolidTexture(id, 4, 4, 0xFFFFFFFFu);
    }

    /// Paints the item's rectangle with its texture's colour under its own colour.
    static void Paint(uitest::Reference& expected, std::vector<std::vector<float>>& rects, W2dGenericItem* item,
                      uint32_t texture)
    {
        if (!item || item->IsHidden())
            return;
        Vector at, size;
        item->GetPosition(&at);
        item->GetSize(&size);
        const Rgba c = Colour(item);
        if (c.alpha == 0 || (texture >> 24) == 0)
            return;
        const uint32_t r = ((texture >> 16) & 0xFF) * c.red / 255, g = ((texture >> 8) & 0xFF) * c.green / 255,
                       b = (texture & 0xFF) * c.blue / 255;
        expected.Fill(at.x, at.y, size.x, size.y, (r << 16) | (g << 8) | b, c.alpha);
        rects.push_back({at.x, at.y, size.x, size.y});
    }

    /// A framed panel's pieces in their layers: the inside, then the border and corners.
    static void PaintPanel(uitest::Reference& expected, std::vector<std::vector<float>>& rects, W2dFramedPanel* panel)
    {
        Paint(expected, rects, panel->GetBackground(), kInside);
        for (int32_t i = 0; i < 4; ++i)
            Paint(expected, rects, panel->GetEdge(i), kBorder);
        for (int32_t i = 0; i < W2dFramedPanel::kCornerCount; ++i)
            Paint(expected, rects, panel->GetCorner(i), kBorder);
    }
};

TEST_F(DebriefingDrawn, TheFirstRowShowsItsPanelsAndMarkOverTheBackdropAndTheOthersWaitUnseen)
{
    FakeMissions missions(3, {{0, 0, 1}, {1, 0, 0}});
    Enter(&missions);
    double at = 0.0;
    Frame(at);
    Until(at, 1.0); // the slides and the arrow's fade are over
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), uitest::kClear, &width, &height);
    ASSERT_EQ(width, 256);

    uitest::Reference expected(width, height, uitest::kClear);
    std::vector<std::vector<float>> rects;
    Paint(expected, rects, mDebriefing->GetBackground(), kBackdrop);
    const GameState_Debriefing::Row& first = mDebriefing->GetRow(0);
    EXPECT_EQ(Colour(mDebriefing->GetRow(1).mark).alpha, 0) << "the second row waits below, faded out";
    EXPECT_EQ(Colour(mDebriefing->GetOverallMark()).alpha, 0);
    PaintPanel(expected, rects, mDebriefing->GetTitlePanel());
    PaintPanel(expected, rects, first.headingPanel);
    PaintPanel(expected, rects, first.descriptionPanel);
    Paint(expected, rects, first.mark, 0xFFFFFFFFu);
    Paint(expected, rects, mDebriefing->GetArrow(1), 0xFFFFFFFFu);
    for (const auto& r : rects)
        expected.IgnoreEdges(r[0], r[1], r[2], r[3], actual);
    EXPECT_EQ(framecheck::CheckFrame("app_debriefing", width, height, actual, expected.pixels, 4), "");
}

} // namespace
} // namespace fetest
