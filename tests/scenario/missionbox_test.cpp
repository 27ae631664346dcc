// A mission played over a small world: an actor walks into an event box whose command completes
// an objective action; the head-up display shows the action's message once, the objective's
// flags change and the sector data's mission snapshot records it.
#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "eventboxwriter.h"
#include "framecheck.h"
#include "missions_fixture.h"
#include "sectordatamanager.h"
#include "tseventboxes.h"
#include "tsmarksystem.h"
#include "uisupport.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dtextgraphicitem.h"
#include "w3dframe.h"
#include "wrenderer.h"
#include "wscene.h"

namespace
{
using namespace missiontest;

constexpr uint32_t kClear = 0xFF2040A0u;

class MissionBox : public MissionTest
{
protected:
    void SetUp() override
    {
        MissionTest::SetUp();
        // The game's own services: the display, the marks and the markers.
        MissionManager::SetServices(mSaved);
        TsEventBoxesInstall(mWorld);
        mResources.Text("TX_DOOR_TXT", "I");
        mResources.Text("TX_DONE_TXT", "II");
        mResources.InkFont(kW2dStandardFont);
        BoardControlTheme_InGame::CreateTheme(&mBar);
        BoardControlTheme_InGame::SetLevelCheck([]() -> int32_t { return 1; });
        mTheme = BoardControlTheme_InGame::Find();
        ASSERT_NE(mTheme, nullptr);
        ASSERT_EQ(mTheme->Build(), 1);
    }
    void TearDown() override
    {
        mWorld->SetHero(nullptr);
        mBar.DestroyAll();
        BoardControlTheme_InGame::SetGameBoardControl(nullptr);
        BoardControlTheme_InGame::SetLevelCheck(nullptr);
        SectorDataManager::Instance()->ClearAll();
        MissionTest::TearDown();
    }

    /// The messages the display holds now.
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> texts;
        W2dTimedListGraphicContainer* list = mTheme->GetMessageList();
        for (int32_t i = 0; list && i < list->GetChildCount(); ++i)
            texts.push_back(HbCastTo<W2dTextGraphicItem>(list->GetChild(i))->GetText());
        return texts;
    }

    uitest::Resources mResources;
    BoardControl mBar;
    BoardControlTheme_InGame* mTheme = nullptr;
};

TEST_F(MissionBox, AnActorWalkingIntoABoxCompletesAnObjectiveActionAndTheDisplayShowsItsMessageOnce)
{
    ASSERT_EQ(RunMission("BeginCreateMission 1 TX_TITLE\n"
                         "CreateObjective 0 W1L1S01 1 1 TX_DESC TX_DONE_TXT\n"
                         "AddObjectiveAction 0 none none none TX_DOOR_TXT\n"
                         "AddObjectiveAction 1 none none none INVALID_RESOURCE_ID\n"
                         "AddObjective\nEndCreateMission\n"),
              1);
    Missions().OnEnterSector("W1L1S01");
    EBoxEntry box;
    box.centre[0] = 100;
    box.size[0] = box.size[1] = box.size[2] = 10;
    box.mode = 2;
    box.conditions = {EBoxKinds::ObjectiveDone(0, 0)};
    box.actions = {EBoxKinds::Command(0, "SetObjective 0 0 0 0")};
    const std::vector<uint8_t> bytes = EventBoxWriter::Bytes({box});
    Declare("MISSION_YB", std::string(bytes.begin(), bytes.end()), ".yb");

    scriptworldtest::FakeActor* walker = Listed("walker", {0, 0, 0});
    mWorld->SetHero(walker);
    ASSERT_EQ(Eval("LoadEventBoxes('MISSION_YB')"), "1");
    ASSERT_EQ(mTheme->Show(), 1);
    Frame(0.1f);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Missions().GetObjective(0)->GetAction(0)->mDone, 0);

    const Vector inside = {100, 0, 0};
    walker->GetNode()->SetWorldPosition(&inside);
    Frame(0.1f);
    Objective* objective = Missions().GetObjective(0);
    EXPECT_EQ(objective->GetAction(0)->mDone, 1);
    EXPECT_EQ(objective->GetAction(0)->mActive, 0);
    EXPECT_EQ(objective->IsDone(), 0) << "action 1 is still to do";
    EXPECT_EQ(Messages(), std::vector<std::string>{"I"});

    // The message as the player sees it: the dark frame with the text's ink inside.
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual =
        uitest::DrawSurfaces(WRenderer::Existing()->GetSurfaceList(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), size_t(width) * size_t(height));
    // Outside the message box the display's other items are taken as drawn; inside it the frame
    // darkens the clear colour and the one letter of ink stands centred in the list's row.
    uitest::Reference expected(width, height, kClear);
    expected.pixels = actual;
    const float frame[4] = {0.1f, 0.7f, 0.8f, 0.05f};
    const float ink[4] = {0.16f + (0.68f - 0.04f * uitest::kInkFontWidth) / 2, 0.74f, 0.04f * uitest::kInkFontWidth,
                          0.04f};
    expected.Fill(frame[0], frame[1], frame[2], frame[3], kClear & 0xFFFFFFu);
    expected.Fill(frame[0], frame[1], frame[2], frame[3], 0x000000u, 150);
    expected.Fill(ink[0], ink[1], ink[2], ink[3], 0xFCC479u);
    expected.IgnoreEdges(frame[0], frame[1], frame[2], frame[3], actual);
    expected.IgnoreEdges(ink[0], ink[1], ink[2], ink[3], actual);
    EXPECT_EQ(framecheck::CheckFrame("mission_box_message", width, height, actual, expected.pixels, 4), "");

    // Out and in again: the box runs, the action is done already and no message comes again.
    mTheme->ClearMessages();
    const Vector outside = {0, 0, 0};
    walker->GetNode()->SetWorldPosition(&outside);
    Frame(0.1f);
    walker->GetNode()->SetWorldPosition(&inside);
    Frame(0.1f);
    EXPECT_TRUE(Messages().empty());

    // The sector data's snapshot holds the done action.
    ASSERT_EQ(SectorDataManager::Instance()->SaveObjectiveActions(), 0);
    const auto& states = SectorDataManager::Instance()->GetObjectiveStates();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].done, 1);
    EXPECT_EQ(states[1].done, 0);

    // The walker goes: the next frame runs without it.
    mWorld->SetHero(nullptr);
    mWorld->RemoveActor(walker);
    Frame(0.1f);
}
TEST_F(MissionBox, AMarkerStandsAtItsMarkInTheLevelWhileItsActionIsToDo)
{
    ScenarioMarkEntry gate;
    gate.identifier = "MK_GATE_ATTACKMARK";
    gate.name = "MK_GATE";
    gate.SetPosition(30, 0, 40);
    const std::vector<uint8_t> marks = ScenarioDbWriter::Bytes({{1, {gate}}});
    Declare("MISSION_SCE", std::string(marks.begin(), marks.end()), ".sce");
    Declare(gate.identifier, std::string(marks.begin(), marks.end()), ".sce");
    TsMarkSystemInstall(mWorld);
    ASSERT_EQ(mWorld->LoadScenaricData("MISSION_SCE"), 1);
    FxModule("_fx.SIGNAL = 3");
    ASSERT_EQ(RunMission("BeginCreateMission 1 T\nSetSignaleticForAllObjectiveActions SIGNAL\n"
                         "CreateObjective 0 W1L1S01 1 1 D C\nAddObjectiveAction 0 MK_GATE none none TX_DOOR_TXT\n"
                         "AddObjectiveAction 1 MK_GATE none none M\nAddObjective\n"),
              1);
    ObjectiveAction* action = Missions().GetObjective(0)->GetAction(0);
    ASSERT_NE(action->GetMarker(), nullptr);
    EXPECT_EQ(action->mPoint[2], 40.0f);

    auto children = [this]()
    {
        int32_t count = 0;
        mScene->GetRoot()->ForAllChildren([](W3dNode*, void* n) -> int32_t { return ++*static_cast<int32_t*>(n), 1; },
                                          &count);
        return count;
    };
    const int32_t before = children();
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(children(), before + 2);
    EXPECT_EQ(action->mMarkerShown, 1);
    float at[3] = {};
    action->GetPosition(at);
    EXPECT_NEAR(at[0], 30.0f, 1e-4f);
    EXPECT_NEAR(at[2], 40.0f, 1e-4f);
    ASSERT_EQ(Missions().CompleteAction(0, 0), 0);
    EXPECT_EQ(children(), before + 1) << "a done action's marker leaves the level";

    // Without a level the markers stay as they are; the objectives going take them away.
    Frame(0.1f);
    mScene->SetLevel(nullptr);
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(Missions().GetObjective(0)->GetAction(1)->mMarkerShown, 1);
    Frame(0.1f);
    mScene->SetLevel(mLevel);
    Missions().Reset();
    EXPECT_EQ(children(), before);
    Frame(0.1f);
}
} // namespace
