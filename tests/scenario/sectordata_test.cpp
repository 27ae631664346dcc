// The sector data: a sector's saved actors, respawn marks, one-shot boxes and running effects
// stored when it is left and put back on return, and the mission snapshot of a sector entry.
#include "eboxcontract.h"
#include "hbhashmap.h"
#include "logicalinventory.h"
#include "missionmanager.h"
#include "scenariolevel_fixture.h"
#include "scenarioslots.h"
#include "sectordatamanager.h"
#include "tsmarksystem.h"
#include "tsscenaricmarks.h"
#include "w3dnode.h"
#include "wscene.h"
#include "yoeventbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace scenarictest
{
namespace
{
bool Has(const std::vector<std::string>& notes, const std::string& note)
{
    return std::find(notes.begin(), notes.end(), note) != notes.end();
}

class SectorData : public ScenarioLevelTest
{
protected:
    SectorDataManager& Sectors() { return *SectorDataManager::Instance(); }
};

TEST_F(SectorData, ReturningToASectorPutsItsSavedActorsBackAsTheyWere)
{
    ASSERT_EQ(Exec("guard = ClassGardWithGraph('guard', 'Actors.characters.g')\n"
                   "SetPosition(guard, vertex(10, 0, 20))\nSetAtEuler(guard, vertex(1, 0, 0))\n"
                   "guard.main('patrol')\n"
                   "door = ClassDoor('door', 'Actors.Object.Door.d')\nSetPosition(door, vertex(-30, 0, 5))\n"
                   "sleeper = ClassGardWithGraph('sleeper', 'Actors.characters.s')\n"
                   "SetPosition(sleeper, vertex(0, 0, -40))\nsleeper.main('sleep')\n"
                   "gone = ClassGardWithGraph('gone', 'Actors.characters.x')\ngone.delete()\n"
                   "plain = Thing()\nCreateActor(plain, 9001)\n"),
              "");
    Bound("sleeper")->mMustBeUpdated = 0;
    EXPECT_EQ(Sectors().StoreSector("W1L1S01", nullptr), 3) << "no event-box set";
    const SectorDataManager::SectorData* stored = Sectors().FindSector("W1L1S01");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->actors.size(), 3u) << "saved-family script actors only";
    EXPECT_EQ(stored->actors.at("door").className, "ClassDoor");
    EXPECT_EQ(stored->actors.at("door").dataName, "Actors.Object.Door.d");
    EXPECT_EQ(stored->actors.at("door").behaviour, "");
    EXPECT_EQ(stored->actors.at("guard").behaviour, "patrol");
    EXPECT_EQ(stored->actors.at("sleeper").active, 0);

    // The level is loaded again: its script makes the guard, the sleeper and "gone" afresh, at
    // their start places; the door it does not make.
    ASSERT_EQ(Exec("for a in (guard, door, sleeper): a.delete()\n"
                   "guard = ClassGardWithGraph('guard', 'Actors.characters.g')\n"
                   "sleeper = ClassGardWithGraph('sleeper', 'Actors.characters.s')\n"
                   "gone = ClassGardWithGraph('gone', 'Actors.characters.x')\n"
                   "for a in (guard, sleeper, gone): SetPosition(a, vertex(0, 0, 0))\n"),
              "");
    ScenarioActorSlots::Set(5, Bound("guard"));
    Bound("guard")->mScenarioSlot = 5;
    Notes();

    ASSERT_EQ(Sectors().RestoreActors("W1L1S01"), 0);
    const std::vector<std::string> notes = Notes();
    EXPECT_TRUE(Has(notes, "made ClassDoor door Actors.Object.Door.d")) << "made again from its names";
    EXPECT_TRUE(Has(notes, "main guard patrol"));
    EXPECT_TRUE(Has(notes, "main sleeper sleep"));
    EXPECT_FALSE(Has(notes, "main door ")) << "an empty behaviour gets no main";
    EXPECT_TRUE(Has(notes, "delete gone")) << "no record: deleted again";
    EXPECT_EQ(Eval("'gone' in globals()"), "False");
    EXPECT_EQ(Eval("xyz(GetPosition(guard))"), "(10.0, 0.0, 20.0)");
    EXPECT_EQ(Eval("xyz(GetLookAt(guard))"), "(1.0, 0.0, 0.0)");
    EXPECT_EQ(Eval("xyz(GetPosition(door))"), "(-30.0, 0.0, 5.0)");
    ASSERT_NE(ScenarioActorSlots::GetPosition(5), nullptr);
    EXPECT_EQ(ScenarioActorSlots::GetPosition(5)->x, 10.0f) << "the actor's slot takes the place";
    EXPECT_EQ(Bound("sleeper")->mMustBeUpdated, 0);
    EXPECT_EQ(Bound("sleeper")->GetNode()->GetParent(), nullptr) << "an inactive actor leaves the scene";
    EXPECT_EQ(Bound("guard")->mMustBeUpdated, 1);
    EXPECT_EQ(Bound("guard")->GetNode()->GetParent(), mScene->GetRoot());

    EXPECT_EQ(Sectors().RestoreActors("W9L9S09"), 3);
    EXPECT_EQ(Sectors().RestoreMarkStates("W9L9S09"), 3);
    EXPECT_EQ(Sectors().RestoreFxStates("W9L9S09"), 3);
}

TEST_F(SectorData, StoringASectorAgainKeepsOnlyTheSecondStateAndLongNamesAreRefused)
{
    const std::string longName(60, 'n');
    ASSERT_EQ(Exec("guard = ClassGardWithGraph('guard', 'g')\nSetPosition(guard, vertex(1, 0, 0))\n"
                   "extra = ClassDoor('extra', 'e')\n" +
                   longName + " = ClassDoor('" + longName + "', 'l')\n"),
              "");
    Sectors().StoreSector("W1L1S01", nullptr);
    EXPECT_EQ(Sectors().FindSector("W1L1S01")->actors.count(longName), 0u) << "a 60-byte name does not fit";
    ASSERT_EQ(Exec("extra.delete()\nSetPosition(guard, vertex(2, 0, 0))"), "");
    Sectors().StoreSector("W1L1S01", nullptr);
    const SectorDataManager::SectorData* stored = Sectors().FindSector("W1L1S01");
    EXPECT_EQ(Sectors().GetSectorCount(), 1);
    EXPECT_EQ(stored->actors.count("extra"), 0u);
    EXPECT_EQ(stored->actors.at("guard").position.x, 2.0f);
}

/// A set of real boxes in a row, one-shot unless modes say otherwise, every box enabled.
class FakeBoxes : public YoEBox
{
public:
    explicit FakeBoxes(int32_t count, const std::vector<int32_t>& modes = {})
    {
        for (int32_t i = 0; i < count; ++i)
        {
            const float centre[3] = {float(i) * 10.0f, 0.0f, 0.0f}, size[3] = {1.0f, 1.0f, 1.0f};
            AddBox(centre, size, size_t(i) < modes.size() ? modes[size_t(i)] : 0x10, {}, {}, {});
        }
        BuildIndex();
    }
};

TEST_F(SectorData, OneShotBoxesComeBackAsTheyWereAndOthersAreUntouched)
{
    std::vector<int32_t> modes(100, 0x10);
    modes[7] = 0x10 | 0x80;
    modes[9] = 0;
    FakeBoxes left(100, modes);
    for (int32_t i : {3, 7, 9, 35, 99})
        left.SetBoxEnabled(i, 0);
    ASSERT_EQ(Sectors().StoreSector("W1L1S01", &left), 0);
    EXPECT_EQ(Sectors().FindSector("W1L1S01")->boxWords, 4);

    FakeBoxes reloaded(100, modes);
    EXPECT_EQ(Sectors().RestoreEventBoxBits("W1L1S01", &reloaded), 0);
    for (int32_t i = 0; i < 100; ++i)
        EXPECT_EQ(reloaded.IsBoxEnabled(i), i == 3 || i == 35 || i == 99 ? 0 : 1) << "box " << i;

    // A set whose count crosses a multiple of 32 restores nothing.
    FakeBoxes fewer(95);
    EXPECT_EQ(Sectors().RestoreEventBoxBits("W1L1S01", &fewer), 4);
    EXPECT_EQ(fewer.IsBoxEnabled(3), 1);
    EXPECT_EQ(Sectors().RestoreEventBoxBits("W1L1S01", nullptr), 2);
    EXPECT_EQ(Sectors().RestoreEventBoxBits("W9L9S09", &reloaded), 3);

    FakeBoxes many(992);
    EXPECT_EQ(Sectors().StoreSector("W1L1S02", &many), 4) << "32 words do not fit";
    FakeBoxes most(991);
    EXPECT_EQ(Sectors().StoreSector("W1L1S03", &most), 0);
}

TEST_F(SectorData, RespawnMarkStatesComeBackWithTheSector)
{
    auto* one = static_cast<RespawnMark*>(TsGetMarkSystem()->FindMark("r_one"));
    auto* two = static_cast<RespawnMark*>(TsGetMarkSystem()->FindMark("r_two"));
    one->mRemainingUses = 1;
    one->mHeld = 1;
    Sectors().StoreSector("W1L1S01", nullptr);
    one->mRemainingUses = 3;
    one->mHeld = 0;
    two->mUnlimited = 0;
    EXPECT_EQ(Sectors().RestoreMarkStates("W1L1S01"), 0);
    EXPECT_EQ(one->mRemainingUses, 1);
    EXPECT_EQ(one->mHeld, 1);
    EXPECT_EQ(two->mUnlimited, 1);
    EXPECT_EQ(two->mRemainingUses, -1) << "an unlimited mark's uses read -1";
}

TEST_F(SectorData, AMissionSnapshotRestoresActionStatesAndStopsAtAMissingAction)
{
    // Objective 1 waits for objective 0; each has one action, objective 0 a second in slot 3.
    MissionManager missions;
    for (int32_t id : {0, 1})
    {
        auto* objective = new Objective();
        objective->mId = id;
        objective->mActive = id == 0 ? 1 : 0;
        for (int32_t slot : {0, 3})
            if (slot == 0 || id == 0)
            {
                auto* action = new ObjectiveAction();
                action->mId = slot;
                action->mActive = objective->mActive;
                objective->SetAction(slot, action);
            }
        if (id == 1)
            objective->AddNeeded(0);
        missions.SetObjective(objective);
    }
    missions.GetObjective(0)->GetAction(0)->SetState(0, 1);
    missions.GetObjective(0)->GetAction(3)->SetState(0, 1);
    ASSERT_EQ(Sectors().SaveObjectiveActions(&missions), 0);
    ASSERT_EQ(Sectors().GetObjectiveStates().size(), 3u);
    EXPECT_EQ(Sectors().GetObjectiveStates()[1].action, 3);

    // Played on: everything undone; the restore brings the snapshot back and recomputes.
    missions.GetObjective(0)->GetAction(0)->SetState(1, 0);
    missions.GetObjective(0)->GetAction(3)->SetState(1, 0);
    EXPECT_EQ(Sectors().RestoreObjectiveActions(&missions), 0);
    EXPECT_EQ(missions.IsObjectiveDone(0), 1);
    EXPECT_EQ(missions.GetObjective(0)->IsActive(), 0);
    EXPECT_EQ(missions.GetObjective(1)->mNeeded[0].satisfied, 1);
    EXPECT_EQ(missions.GetObjective(1)->IsActive(), 0) << "a restore activates nothing";

    // An action that no longer exists stops the restore; the entries before it stay applied.
    missions.GetObjective(0)->GetAction(0)->SetState(1, 0);
    missions.GetObjective(0)->SetAction(3, nullptr);
    EXPECT_EQ(Sectors().RestoreObjectiveActions(&missions), 3);
    EXPECT_EQ(missions.GetObjective(0)->GetAction(0)->mDone, 1);
}

TEST_F(SectorData, TheLogicalInventorySnapshotIsCopiedBackCountForCount)
{
    StringHashMap inventory(17, 10);
    LogicalInventoryAdd(inventory, "key");
    LogicalInventoryAdd(inventory, "key");
    LogicalInventoryAdd(inventory, "card");
    EXPECT_EQ(LogicalInventoryAdd(inventory, ""), 0);
    ASSERT_EQ(Sectors().StoreLogicalInventory(inventory), 0);
    LogicalInventoryAdd(inventory, "map");
    LogicalInventoryAdd(inventory, "key");
    ASSERT_EQ(Sectors().CopyLogicalInventory(inventory), 0);
    EXPECT_EQ(LogicalInventoryCount(inventory, "key"), 2);
    EXPECT_EQ(LogicalInventoryCount(inventory, "card"), 1);
    EXPECT_EQ(LogicalInventoryCount(inventory, "map"), 0);
    EXPECT_EQ(inventory.GetCount(), 2);
    Sectors().ClearAll();
    ASSERT_EQ(Sectors().CopyLogicalInventory(inventory), 0);
    EXPECT_EQ(inventory.GetCount(), 0);
}
} // namespace
} // namespace scenarictest
