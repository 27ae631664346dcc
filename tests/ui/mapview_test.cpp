// The map overlay over a mission: entries and markers in the mission's order, the arrows' search with
// its sound, the arrows hidden at the ends, the zoom held in, and recentring without any marker.
#include "mapview.h"
#include "missionmanager.h"
#include "ui_fixture.h"
#include "win32keyboard.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace uitest;

const char* const kNew = "SD_I_OBJECTIVE_NEW_S2DSB";
const char* const kFinished = "SD_I_OBJECTIVE_FINISHED_S2DSB";

/// A mission whose slots hold the objectives given (number, kind, done, markers).
class FakeMissions : public MissionManager
{
public:
    struct Spec
    {
        int32_t number;
        int32_t kind;
        int32_t done;
        int32_t markers;
    };
    explicit FakeMissions(std::initializer_list<Spec> specs)
    {
        int32_t slot = 0;
        for (const Spec& spec : specs)
        {
            Objective& o = mObjectives[slot++];
            o.mId = spec.number;
            o.mCategory = spec.kind;
            o.mDone = spec.done;
            o.mActive = 1;
            o.mDescriptionText = "OBJ_" + std::to_string(spec.number) + "_TXT";
            for (int32_t m = 0; m < spec.markers; ++m)
                o.mMarkers.push_back({float(spec.number) * 1000.0f, 0.0f, -500.0f});
        }
        mCount = slot;
    }
    int32_t GetObjectiveCount() const override { return mCount; }
    Objective* GetObjective(int32_t index) const override
    {
        return index >= 0 && index < mCount ? const_cast<Objective*>(&mObjectives[index]) : nullptr;
    }

private:
    Objective mObjectives[kMaxObjectives];
    int32_t mCount = 0;
};

class MapViews : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kNew, kFinished});
        ASSERT_TRUE(mSounds->Started());
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MAP_OBJECTIVES_SCROLL_DOWN", "VK_DOWN"));
        ASSERT_TRUE(mInput->Bind("MAP_OBJECTIVES_SCROLL_UP", "VK_UP"));
        ASSERT_TRUE(mInput->Bind("MAP_ZOOM_IN", "VK_A"));
        ASSERT_TRUE(mInput->Bind("SELECT_OBJ", "VK_RETURN"));
        mInput->Frame();
    }
    void TearDown() override
    {
        mInput.reset();
        mSounds.reset();
        UiTest::TearDown();
    }
    void Frame(MapView* view, std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        view->HandleInput();
        for (uint8_t key : keys)
            mInput->Lift(key);
        mInput->Frame();
    }

    std::unique_ptr<Sounds> mSounds;
    std::unique_ptr<InjectedInput> mInput;
};

TEST_F(MapViews, AnObjectiveWithoutMarkerStopsTheArrowsButTheSoundPlays)
{
    FakeMissions missions({{1, 0, 0, 1}, {2, 0, 0, 0}, {3, 0, 0, 1}});
    MapView view;
    view.Build(&missions);
    ASSERT_EQ(view.GetEntryCount(), 3);
    ASSERT_EQ(view.GetCurrentIndex(), 0);
    Frame(&view);
    EXPECT_FALSE(view.IsUpArrowShown());
    EXPECT_TRUE(view.IsDownArrowShown());
    mSounds->Clear();
    Frame(&view, {VK_DOWN});
    EXPECT_EQ(view.GetCurrentIndex(), 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kNew});
}

TEST_F(MapViews, GapsInNumbersKeepEntriesMarkersAndArrowsAligned)
{
    // The third objective (number 4) is finished: nothing is pending past the first two.
    FakeMissions missions({{4, 1, 1, 1}, {1, 0, 1, 1}, {2, 0, 1, 1}});
    MapView view;
    view.Build(&missions);
    ASSERT_EQ(view.GetEntryCount(), 3);
    ASSERT_EQ(view.GetMarkerCount(), 3);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(view.GetMarker(i).entry, i);
    EXPECT_EQ(view.GetEntry(2).number, 4);
    EXPECT_EQ(view.GetMainCount(), 2);
    EXPECT_EQ(view.GetMarker(2).text, "2"); // kind 1: 4 minus two main objectives
    EXPECT_EQ(view.GetCurrentIndex(), 2);   // none pending: the last entry
    Frame(&view);
    EXPECT_TRUE(view.IsUpArrowShown());
    EXPECT_FALSE(view.IsDownArrowShown());
    mSounds->Clear();
    Frame(&view, {VK_UP});
    EXPECT_EQ(view.GetCurrentIndex(), 1);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kFinished});
}

TEST_F(MapViews, ZoomHeldInAndTheTextureWindow)
{
    FakeMissions missions({});
    MapView view;
    view.Build(&missions);
    EXPECT_EQ(view.GetEntryCount(), 0);
    for (int i = 0; i < 100; ++i)
        Frame(&view, {'A'});
    EXPECT_NEAR(view.GetPan().zoom, std::pow(1.001, 100), 1e-3);
    view.SetPan({2.0f, 0.0f, 0.0f});
    EXPECT_NEAR(view.GetTexCoords()[0].u, 0.25f, 1e-6);
    EXPECT_NEAR(view.GetTexCoords()[2].u, 0.75f, 1e-6);
    // No marker record at all: recentring leaves the view as it is.
    Frame(&view, {VK_RETURN});
    EXPECT_FLOAT_EQ(view.GetPan().zoom, 2.0f);
    EXPECT_FLOAT_EQ(view.GetPan().panX, 0.0f);
}

TEST_F(MapViews, NoMissionGivesNoEntries)
{
    MapView view;
    view.Build(nullptr);
    Frame(&view, {VK_DOWN, VK_UP, VK_RETURN});
    EXPECT_EQ(view.GetEntryCount(), 0);
    EXPECT_EQ(view.GetCurrentIndex(), 0);
}

} // namespace
