// Missions: the mission file's commands, running it once per world, completing actions and
// objectives, objectives that wait for others, markers and sector entry.
#include "hbcommand.h"
#include "missions_fixture.h"

namespace
{
using namespace missiontest;

const char* const kTwoObjectives = "BeginCreateMission 3 TX_TITLE\n"
                                   "SetSignaleticForAllObjectiveActions SIGNAL\n"
                                   "CreateObjective 0 W1L1S01 1 1 TX_D0 TX_DONE0\n"
                                   "AddObjectiveAction 0 MK_A none none TX_MSG0\n"
                                   "AddObjectiveAction 2 none none none INVALID_RESOURCE_ID\n"
                                   "AddObjective\n"
                                   "CreateObjective 1 W1L1S02 2 1 INVALID_RESOURCE_ID TX_DONE1\n"
                                   "AddNeededObjective 0\n"
                                   "AddObjectiveAction 0 MK_B none none TX_MSG1\n"
                                   "AddObjective\n"
                                   "EndCreateMission\n";

TEST_F(MissionTest, TheMissionFileBuildsItsObjectivesOncePerWorldAndAgainAfterAReset)
{
    FxModule("_fx.SIGNAL = 7");
    Seen().marks["MK_A"] = {100, 2, 3};
    ASSERT_EQ(RunMission(kTwoObjectives), 1);
    EXPECT_EQ(Missions().GetMissionNumber(), 3);
    EXPECT_EQ(Missions().GetTitleText(), "TX_TITLE");
    ASSERT_EQ(Missions().GetObjectiveCount(), 2);
    Objective* first = Missions().GetObjective(0);
    EXPECT_EQ(first->GetCategory(), 0);
    EXPECT_EQ(first->IsActive(), 1);
    EXPECT_EQ(first->GetDescriptionText(), "TX_D0");
    ObjectiveAction* reach = first->GetAction(0);
    ASSERT_NE(reach, nullptr);
    EXPECT_EQ(reach->mPoint[0], 100.0f) << "the point comes from the mark";
    EXPECT_EQ(reach->mEffectId, 7);
    EXPECT_NE(reach->GetMarker(), nullptr);
    EXPECT_EQ(first->GetAction(1), nullptr);
    EXPECT_EQ(first->GetAction(2)->mMessageText, "");
    Objective* second = Missions().GetObjective(1);
    EXPECT_EQ(second->GetDescriptionText(), "");
    EXPECT_EQ(second->IsActive(), 0) << "it waits for the first";
    EXPECT_EQ(second->GetAction(0)->mActive, 0);
    EXPECT_EQ(MissionManager::Building(), nullptr);
    EXPECT_EQ(MissionManager::BuildingObjective(), nullptr);

    // The next sector of the same world keeps the objectives as they are.
    first->mCategory = 5;
    EXPECT_EQ(RunMission("", "W1L1S02"), 1);
    EXPECT_EQ(Missions().GetObjective(0), first);
    EXPECT_EQ(first->GetCategory(), 5);
    // A reset forgets the world: the file runs again.
    Missions().Reset();
    EXPECT_EQ(Missions().GetObjectiveCount(), 0);
    EXPECT_EQ(Seen().liveMarkers, 0) << "the markers go with their actions";
    ASSERT_EQ(RunMission(kTwoObjectives, "W1L1S02"), 1);
    EXPECT_EQ(Missions().GetObjective(0)->GetCategory(), 0);
    // Another world runs it afresh; an unknown file answers 0 and leaves no objective.
    for (const std::string& id : mDeclared)
        HbResourceManager::Instance()->RemovePath(id.c_str());
    mDeclared.clear();
    Seen().sector = "W2L1S01";
    EXPECT_EQ(Missions().RunMissionFile("MISSION_OBJECTIVES_SCR"), 0);
    EXPECT_EQ(Missions().GetObjectiveCount(), 0);
}

TEST_F(MissionTest, CompletingActionsFinishesTheObjectiveAndActivatesTheOneWaitingForIt)
{
    FxModule("_fx.SIGNAL = 7");
    ASSERT_EQ(RunMission(kTwoObjectives), 1);
    Missions().OnEnterSector("W1L1S01");
    // Only the current sector's active actions show their markers.
    EXPECT_EQ(Seen().markers, (std::vector<std::string>{"show 7 0", "show 7 0"}));
    Seen().markers.clear();

    struct Case
    {
        int32_t objective, action, result;
    };
    const Case refused[] = {{1, 0, 1}, {0, 1, 2}, {0, 15, 2}, {0, -1, 2}, {20, 0, 3}, {-1, 0, 3}, {5, 0, 3}};
    for (const Case& c : refused)
        EXPECT_EQ(Missions().CompleteAction(c.objective, c.action), c.result) << c.objective << "," << c.action;
    EXPECT_TRUE(Seen().texts.empty());
    EXPECT_EQ(Missions().GetObjective(1)->GetAction(0)->mDone, 0) << "an inactive objective changes nothing";

    EXPECT_EQ(Missions().CompleteAction(0, 0), 0);
    EXPECT_EQ(Missions().CompleteAction(0, 0), 0) << "twice: done already";
    EXPECT_EQ(Missions().IsObjectiveDone(0), 0) << "slot 2 is still to do";
    EXPECT_EQ(Seen().texts, std::vector<std::string>{"TX_MSG0"}) << "the message shows once";
    EXPECT_EQ(Seen().markers, std::vector<std::string>{"hide 7"});
    EXPECT_EQ(Missions().CompleteAction(0, 2), 0);
    EXPECT_EQ(Missions().IsObjectiveDone(0), 1) << "the empty slot 1 does not hold it back";
    EXPECT_EQ(Missions().GetObjective(0)->IsActive(), 0);
    EXPECT_EQ(Seen().texts, (std::vector<std::string>{"TX_MSG0", "TX_DONE0"}));

    // The waiting objective lies in another sector: active, but its marker waits for the entry.
    Objective* second = Missions().GetObjective(1);
    EXPECT_EQ(second->IsActive(), 1);
    EXPECT_EQ(second->GetAction(0)->mActive, 1);
    EXPECT_EQ(Seen().markers, (std::vector<std::string>{"hide 7", "hide 7"}));
    Seen().markers.clear();
    Missions().OnEnterSector("W1L1S02");
    EXPECT_EQ(Seen().markers, std::vector<std::string>{"show 7 0"});
    EXPECT_EQ(Missions().CompleteAction(1, 0), 0);
    EXPECT_EQ(Missions().IsObjectiveDone(1), 1);
    EXPECT_EQ(Missions().IsObjectiveDone(-3), 0);
    EXPECT_EQ(Missions().IsObjectiveDone(99), 0);
}

TEST_F(MissionTest, AWaitingObjectiveOfTheCurrentSectorShowsItsMarkersWhenActivated)
{
    FxModule("_fx.SIGNAL = 2");
    ASSERT_EQ(RunMission("BeginCreateMission 1 T\nSetSignaleticForAllObjectiveActions SIGNAL\n"
                         "CreateObjective 0 W1L1S01 1 1 D C\nAddObjectiveAction 0 none none none M\nAddObjective\n"
                         "CreateObjective 1 W1L1S01 1 1 D C\nAddNeededObjective 0\n"
                         "AddObjectiveAction 0 none none none M\nAddObjective\nEndCreateMission\n"),
              1);
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(Seen().markers, std::vector<std::string>{"show 2 0"}) << "the waiting one shows nothing";
    Seen().markers.clear();
    ASSERT_EQ(Missions().CompleteAction(0, 0), 0);
    EXPECT_EQ(Seen().markers, (std::vector<std::string>{"hide 2", "show 2 0"}));
}

TEST_F(MissionTest, ObjectiveActionTokensDecideWhatIsBuilt)
{
    struct Case
    {
        const char* signal;
        const char* line;
        bool stored;
        bool marker;
        const char* actor;
        const char* argument;
    };
    const Case cases[] = {
        {"5", "AddObjectiveAction 0 none none none M", true, true, "", ""},
        {"59", "AddObjectiveAction 0 none none none M", true, true, "", ""},
        {"60", "AddObjectiveAction 0 none none none M", true, false, "", ""},
        {"-5", "AddObjectiveAction 0 none none none M", true, false, "", ""},
        {"5", "AddObjectiveAction 0 none Guard none M", false, false, "", ""},
        {"5", "AddObjectiveAction 0 none Guard open M", true, false, "Guard", "open"},
        {"5", "AddObjectiveAction 15 none none none M", false, false, "", ""},
        {"5", "AddObjectiveAction -1 none none none M", false, false, "", ""},
        {"5", "AddObjectiveAction 0 none none none", false, false, "", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.line) + " with signal " + c.signal);
        Missions().Reset();
        FxModule(std::string("_fx.SIGNAL = ") + c.signal);
        ASSERT_EQ(RunMission(std::string("BeginCreateMission 1 T\nSetSignaleticForAllObjectiveActions SIGNAL\n"
                                         "CreateObjective 0 W1L1S01 1 1 D C\n") +
                             c.line + "\nAddObjective\n"),
                  1);
        Objective* objective = Missions().GetObjective(0);
        ASSERT_NE(objective, nullptr);
        int32_t filled = 0;
        for (int32_t i = 0; i < Objective::kMaxActions; ++i)
            filled += objective->GetAction(i) ? 1 : 0;
        EXPECT_EQ(filled, c.stored ? 1 : 0);
        ObjectiveAction* action = objective->GetAction(0);
        if (!action)
            continue;
        EXPECT_EQ(action->GetMarker() != nullptr, c.marker);
        EXPECT_EQ(action->mActorName, c.actor);
        EXPECT_EQ(action->mArgument, c.argument);
    }
    // An actor's action tells the actor at sector entry and never shows a marker.
    Seen().markers.clear();
    Seen().actors.clear();
    Missions().Reset();
    ASSERT_EQ(RunMission("BeginCreateMission 1 T\nSetSignaleticForAllObjectiveActions SIGNAL\n"
                         "CreateObjective 0 W1L1S01 1 1 D C\nAddObjectiveAction 0 none Guard open M\nAddObjective\n"),
              1);
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(Seen().actors, std::vector<std::string>{"Guard(open)"});
    EXPECT_TRUE(Seen().markers.empty());
}

TEST_F(MissionTest, CommandsWithoutAMissionUnderConstructionDoNothing)
{
    HbCommandManager* commands = HbCommandManager::Instance();
    for (const char* line : {"BeginCreateMission 4 T", "AddObjectiveAction 0 none none none M", "AddNeededObjective 1",
                             "AddObjective", "EndCreateMission", "CreateObjective 0 W1 1 1 D", "BeginCreateMission 4"})
        EXPECT_EQ(commands->ExecuteLine(line), HbCommandManager::kDone) << line;
    EXPECT_EQ(Missions().GetMissionNumber(), 0);
    EXPECT_EQ(Missions().GetObjectiveCount(), 0);
    // An objective built outside a file run is dropped by the next AddObjective.
    EXPECT_EQ(commands->ExecuteLine("CreateObjective 0 W1 1 1 D C"), HbCommandManager::kDone);
    EXPECT_EQ(commands->ExecuteLine("AddObjective"), HbCommandManager::kDone);
    EXPECT_EQ(MissionManager::BuildingObjective(), nullptr);
    // A name the module "fx" does not hold as an integer fails the line.
    FxModule("_fx.TEXT = 'x'");
    EXPECT_EQ(commands->ExecuteLine("SetSignaleticForAllObjectiveActions TEXT"), HbCommandManager::kFailed);
    EXPECT_EQ(commands->ExecuteLine("SetSignaleticForAllObjectiveActions MISSING"), HbCommandManager::kFailed);
}

TEST_F(MissionTest, SectorEntryReadsThePointsAgainAndHidesEveryMarkerFirst)
{
    FxModule("_fx.SIGNAL = 4");
    Seen().marks["MK_A"] = {10, 0, 0};
    ASSERT_EQ(RunMission(kTwoObjectives), 1);
    Missions().OnEnterSector("W1L1S01");
    Seen().markers.clear();
    Seen().marks["MK_A"] = {20, 0, 0};
    Seen().marks["MK_B"] = {30, 0, 0};
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(Seen().markers, (std::vector<std::string>{"hide 4", "hide 4", "show 4 20", "show 4 0"}));
    EXPECT_EQ(Missions().GetObjective(0)->GetAction(0)->mPoint[0], 20.0f);
    EXPECT_EQ(Missions().GetObjective(1)->GetAction(0)->mPoint[0], 0.0f) << "another sector's points stay";
    // An unknown mark leaves the point as it was.
    Seen().marks.clear();
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(Missions().GetObjective(0)->GetAction(0)->mPoint[0], 20.0f);
}

TEST_F(MissionTest, AScriptReportsANamedActionOfItsSector)
{
    ASSERT_EQ(RunMission("BeginCreateMission 1 T\nCreateObjective 0 W1L1S01 1 1 D C\n"
                         "AddObjectiveAction 1 none Guard open M\nAddObjective\n"
                         "CreateObjective 1 W1L1S02 1 1 D C\nAddObjectiveAction 0 none Guard open M\nAddObjective\n"),
              1);
    ASSERT_EQ(Exec("LaunchObjectiveSuccess('Guard')\nLaunchObjectiveSuccess('Nobody')"), "");
    EXPECT_EQ(Missions().IsObjectiveDone(0), 1);
    EXPECT_EQ(Missions().IsObjectiveDone(1), 0) << "another sector's action of that name";
    // The scenario command reports by index, and switches an objective on.
    HbCommandManager* commands = HbCommandManager::Instance();
    EXPECT_EQ(commands->ExecuteLine("SetObjective 0 0 1 3"), HbCommandManager::kFailed) << "no such action";
    EXPECT_EQ(commands->ExecuteLine("SetObjective 0 0 7 0"), HbCommandManager::kFailed) << "no such objective";
    Missions().GetObjective(1)->SetActive(0, 0);
    EXPECT_EQ(commands->ExecuteLine("SetObjective 0 0 1 0"), HbCommandManager::kDone) << "inactive: answered";
    EXPECT_EQ(Missions().IsObjectiveDone(1), 0);
    EXPECT_EQ(commands->ExecuteLine("SetObjective 0 1 1"), HbCommandManager::kDone);
    EXPECT_EQ(Missions().GetObjective(1)->GetAction(0)->mActive, 1);
    EXPECT_EQ(commands->ExecuteLine("SetObjective 0 0 1 0"), HbCommandManager::kDone);
    EXPECT_EQ(Missions().IsObjectiveDone(1), 1);
}

TEST_F(MissionTest, RestoredActionStatesRecomputeObjectivesWithoutActivatingWaitingOnes)
{
    ASSERT_EQ(RunMission(kTwoObjectives), 1);
    Objective* first = Missions().GetObjective(0);
    Objective* second = Missions().GetObjective(1);
    first->GetAction(0)->SetState(0, 1);
    first->GetAction(2)->SetState(0, 1);
    first->RecomputeState();
    EXPECT_EQ(first->IsDone(), 1);
    EXPECT_EQ(first->IsActive(), 0);
    second->RecomputeNeeded({0});
    EXPECT_EQ(second->mNeeded[0].satisfied, 1);
    EXPECT_EQ(second->IsActive(), 0);
    second->RecomputeNeeded({});
    EXPECT_EQ(second->mNeeded[0].satisfied, 0);
    Objective empty;
    empty.RecomputeState();
    EXPECT_EQ(empty.IsDone(), 1);
}
} // namespace
