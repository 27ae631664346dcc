// The overlays of the stage: the map opened twice in a visit resumes the view it built, going
// back hides it and closes its input, leaving the stage releases it; the pause label shows the
// sector's middle pages one per press, goes back past the last one clearing the request, and
// goes back at once when the sector has none.
#include "gamestatemap.h"
#include "gamestatepauselabel.h"
#include "mapview.h"
#include "playstates_fixture.h"
#include "w2dsurfacegraphicitem.h"

#include <gtest/gtest.h>

namespace fetest
{
namespace
{

const char* const kOpenSound = "SD_I_PAUSE_S2DSB";
const char* const kCloseSound = "SD_I_MENU_PAUSE_OFF_S2DSB";

/// A stage that pushes the two overlays and leaves for good to a state 5.
class Overlays : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        UseSounds({kOpenSound, kCloseSound, "SD_LABEL_S2DSB"});
        mStage = Root(new Target(kGameStateStage));
        mMap = Make(new GameState_Map());
        mPause = Make(new GameState_PauseLabel());
        mOver = Make(new Target(kGameStateGameOver));
        mMap->SetPersistent(1);
        mStage->AddTransition(mMap, 1);
        mStage->AddTransition(mPause, 1);
        mStage->AddTransition(mOver, 0);
        mMap->AddTransition(mStage, 0);
        mPause->AddTransition(mStage, 0);
        mOver->AddTransition(mStage, 0);
        mStage->Enter();
        mManager->SetCurrentState(mStage);
    }

    /// The stage pushes an overlay, as its update does.
    void Push(int32_t id) { ASSERT_EQ(mStage->SwitchTo(id), 1); }

    Target* mStage = nullptr;
    GameState_Map* mMap = nullptr;
    GameState_PauseLabel* mPause = nullptr;
    Target* mOver = nullptr;
};

TEST_F(Overlays, TheMapIsBuiltOnceAVisitResumedOnLaterOpeningsAndReleasedWhenTheStageIsLeft)
{
    const int32_t before = SurfaceCount();
    Push(kGameStateMap);
    MapView* view = mMap->GetMapView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->IsVisible(), 1);
    EXPECT_EQ(SurfaceCount() > before, true) << "the view is on the 2D list";
    EXPECT_EQ(ContextName(), "Map");
    EXPECT_EQ(TopTheme(), 6);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOpenSound});

    // Both ways back: the view hidden, the input closed, the stage resumed, the map kept.
    struct Way
    {
        uint8_t key;
        const char* name;
    };
    double at = 0.0;
    int opening = 1;
    for (const Way& way : {Way{uint8_t('M'), "MAP_BACK"}, Way{VK_ESCAPE, "MAP_ESC"}})
    {
        SCOPED_TRACE(way.name);
        mSounds->Clear();
        Frame(at += 0.1);
        EXPECT_EQ(mMap->IsSuspended(), 0) << "a frame without a key keeps the map";
        Frame(at += 0.1, {way.key});
        ASSERT_EQ(mStage->IsSuspended(), 0);
        EXPECT_EQ(mMap->IsEntered(), 1);
        EXPECT_EQ(mMap->IsSuspended(), 1);
        EXPECT_EQ(mMap->GetMapView(), view);
        EXPECT_EQ(view->IsVisible(), 0);
        EXPECT_NE(ContextName(), "Map");
        EXPECT_NE(TopTheme(), 6);
        EXPECT_EQ(mStage->resumes, opening);
        EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kCloseSound});

        // The next opening resumes the same view and plays the opening sound again.
        mSounds->Clear();
        Push(kGameStateMap);
        ++opening;
        EXPECT_EQ(mMap->GetMapView(), view) << "not rebuilt";
        EXPECT_EQ(view->IsVisible(), 1);
        EXPECT_EQ(ContextName(), "Map");
        EXPECT_EQ(TopTheme(), 6);
        EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOpenSound});
        mManager->SetCurrentState(mStage);
    }

    // The stage leaves for good with the map opened earlier: the map leaves with it.
    Frame(at += 0.1, {uint8_t('M')});
    ASSERT_EQ(mStage->IsSuspended(), 0);
    mSounds->Clear();
    ASSERT_EQ(mStage->SwitchTo(kGameStateGameOver), 1);
    EXPECT_EQ(mMap->GetMapView(), nullptr);
    EXPECT_EQ(mMap->IsEntered(), 0);
    EXPECT_EQ(SurfaceCount(), before);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kCloseSound});

    // Back in the stage the first opening builds a new view.
    mManager->SetCurrentState(mOver);
    ASSERT_EQ(mOver->SwitchTo(kGameStateStage), 1);
    mManager->SetCurrentState(mStage);
    Frame(at += 0.1);
    Push(kGameStateMap);
    EXPECT_NE(mMap->GetMapView(), nullptr);
    EXPECT_EQ(mMap->IsEntered(), 1);
}

TEST_F(Overlays, ThePauseLabelShowsOnePagePerPressAndGoesBackPastTheLastClearingTheRequest)
{
    mProfile->sectorId = "W3L1S02";
    mProfile->pauseLabelRequest = 1;
    Group("W3L1S02labelmiddle",
          {Slide("CreateLabel", "PAGE_A_TEX", "TX_A_TXT"), Slide("CreateLabel", "PAGE_B_TEX", "TX_B_TXT"),
           Slide("CreateLabel", "PAGE_C_TEX", "TX_C_TXT")});
    Push(kGameStatePauseLabel);
    EXPECT_EQ(Layer(0), std::vector<std::string>{"W3L1S02labelmiddle"});
    EXPECT_EQ(mPause->HasLabels(), 1);
    ASSERT_NE(mPause->GetBackground(), nullptr);
    EXPECT_TRUE(Is(Colour(mPause->GetBackground()), 255, 255, 255, 255));
    EXPECT_EQ(mPause->GetBackground()->GetTextureId(), "FE_MAP_BACK_TEX");
    EXPECT_EQ(ContextName(), "Label");
    EXPECT_EQ(TopTheme(), 5);
    LabelList* labels = LabelList::Instance();
    ASSERT_EQ(labels->GetCount(), 3);

    // A frame without a press keeps the page; each press shows the next page.
    double at = 0.0;
    Frame(at += 0.1);
    for (int32_t page = 1; page < 3; ++page)
    {
        Frame(at += 0.1, {VK_RETURN});
        ASSERT_EQ(mStage->IsSuspended(), 1) << page;
        EXPECT_TRUE(Shown(labels->GetAt(page)->GetPicture())) << page;
        Frame(at += 0.1);
    }
    // The press past the last page goes back and takes everything away.
    Frame(at += 0.1, {VK_RETURN});
    EXPECT_EQ(mStage->IsSuspended(), 0);
    EXPECT_EQ(mProfile->pauseLabelRequest, 0);
    EXPECT_EQ(labels->GetCount(), 0);
    EXPECT_EQ(ResourceGroupFind("W3L1S02labelmiddle"), nullptr);
    EXPECT_EQ(mPause->GetBackground(), nullptr);
    EXPECT_NE(ContextName(), "Label");
    EXPECT_NE(TopTheme(), 5);
    EXPECT_EQ(mStage->resumes, 1);
}

TEST_F(Overlays, APauseLabelWithoutPagesGoesBackInItsFirstUpdateWithoutAFrame)
{
    int frames = 0;
    static int* sFrames = nullptr;
    sFrames = &frames;
    GameServicesTable().rendererBeginFrame = [] { ++*sFrames; };
    // The sector's group holds no page; the next one has no group at all.
    Group("W1L1S01labelmiddle", {});
    for (const char* sector : {"W1L1S01", "W9L9S09"})
    {
        SCOPED_TRACE(sector);
        mProfile->sectorId = sector;
        mProfile->pauseLabelRequest = 1;
        frames = 0;
        Push(kGameStatePauseLabel);
        EXPECT_EQ(mPause->HasLabels(), 0);
        ASSERT_NE(mPause->GetBackground(), nullptr);
        EXPECT_TRUE(Is(Colour(mPause->GetBackground()), 0, 0, 0, 255));
        mManager->SetCurrentState(mStage);
        Frame(0.1);
        EXPECT_EQ(mStage->IsSuspended(), 0);
        EXPECT_EQ(frames, 0);
        EXPECT_EQ(mProfile->pauseLabelRequest, 0);
        EXPECT_EQ(Layer(0), std::vector<std::string>{});
    }
    sFrames = nullptr;
}

} // namespace
} // namespace fetest
