// The event-box action and condition kinds: their file layouts read back and written again,
// what each action does and what each condition answers, against the script world's actors,
// the profile's missions and the logical inventories.
#include "eboxactions.h"
#include "eboxconditions.h"
#include "eventboxwriter.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "logicalinventory.h"
#include "missions_fixture.h"
#include "scenaricmodule.h"
#include "skeletonwriter.h"
#include "tsinventory.h"
#include "w3dnode.h"

#include <Python.h>

namespace
{
using namespace missiontest;
using Kinds = EBoxKinds;

/// One box of every kind: the twelve conditions, the nine actions, one else-action.
EBoxEntry EveryKind()
{
    EBoxEntry box;
    box.size[0] = box.size[1] = box.size[2] = 10;
    box.conditions = {
        Kinds::ObjectiveDone(0, 3),
        Kinds::ActorBehaviour(1, "ACTORINBOX", "patrol"),
        Kinds::Named("EBXPHYSINVCOND", 1, "key"),
        Kinds::Named("EBXGLOBALLOGINVCOND", 1, "coin"),
        Kinds::Named("EBXSECTORLOGINVCOND", 0, "gem"),
        Kinds::Named("EBOXOBJECTUSECONDITION", 1, "lever"),
        Kinds::Occurrences("EBXPHYSINVOCCCOND", 1, "ammo", 1, 2),
        Kinds::Occurrences("EBXGLLOGINVOCCCOND", 1, "coin", 2, 3),
        Kinds::Occurrences("EBXSECTLOGINVOCCCOND", 0, "gem", 0, 4),
        Kinds::Named("EBXACTNAMECOND", 1, "TheHero"),
        Kinds::Named("EBXACTTYPECOND", 1, "Gard"),
        Kinds::LookAt(1, 0, 2, "guard", "MK_DOOR", 0.5f),
    };
    box.actions = {
        Kinds::Behaviour(0.5f, "guard", "attack", {"a", "b"}, {1.5f}, {7, 8}),
        Kinds::Inventory("EBXPHYSINVENADDACTION", 0, "key"),
        Kinds::PhysicalRemove(0, "key", "pocket"),
        Kinds::Inventory("EBXGLLOGINVADDACTION", 0, "coin"),
        Kinds::Inventory("EBXGLLOGINVREMOVEACTION", 0, "coin"),
        Kinds::Inventory("EBXSECTLOGINVENADDACTION", 0, "gem"),
        Kinds::Inventory("EBXSECTLOGINVREMOVEACTION", 1.0f, "gem"),
        Kinds::Camera(0, "shot", 3.0f, 40.0f),
        Kinds::Command(0, "SetObjective 0 0 1 2"),
    };
    box.elseActions = {Kinds::Behaviour(0, "guard", "idle")};
    return box;
}

struct Reader
{
    explicit Reader(const std::vector<uint8_t>& bytes) : stream(new VectorStreamBuf(bytes)) {}
    HbMChunkStream stream;
};

class EBoxKindsTest : public MissionTest
{
protected:
    void TearDown() override
    {
        if (mSet)
            mSet->Release();
        MissionTest::TearDown();
    }
    /// Reads the boxes into the test's set; 1 when read.
    int32_t Load(const std::vector<EBoxEntry>& boxes)
    {
        if (mSet)
            mSet->Release();
        mSet = new YoEBox();
        mSet->AddRef();
        Reader reader(EventBoxWriter::Bytes(boxes));
        return mSet->Read(&reader.stream);
    }
    /// A listed actor of that name whose script class is given; its calls go to the list "calls".
    TsActor* Actor(const std::string& name, const std::string& className)
    {
        EXPECT_EQ(Exec("calls = globals().get('calls', [])\n"
                       "class " +
                       className +
                       ":\n"
                       "    def requestBehaviourFromScenaric(self, *args):\n"
                       "        calls.append(args)\n" +
                       name + " = " + className + "()\n" + name + ".actorName = '" + name + "'\n" + "CreateActor(" +
                       name + ", " + std::to_string(scenarictest::kTestActorType) + ")\n"),
                  "");
        TsActor* actor = Bound(name.c_str());
        if (actor)
            actor->mMustBeUpdated = 1;
        return actor;
    }
    YoEBox* mSet = nullptr;
};

TEST_F(EBoxKindsTest, EveryKindReadsItsLayoutAndWritesItAgainByteForByte)
{
    const std::vector<uint8_t> bytes = EventBoxWriter::Bytes({EveryKind()});
    ASSERT_EQ(Load({EveryKind()}), 1);
    const EventBox* box = mSet->GetBox(0);
    ASSERT_EQ(box->conditions.count, 12);
    ASSERT_EQ(box->actions.count, 9);
    ASSERT_EQ(box->elseActions.count, 1);
    const char* const conditionKeys[] = {"EBXOBJECTIFCOND",     "EBOXACTORBHVCOND",    "EBXPHYSINVCOND",
                                         "EBXGLOBALLOGINVCOND", "EBXSECTORLOGINVCOND", "EBOXOBJECTUSECONDITION",
                                         "EBXPHYSINVOCCCOND",   "EBXGLLOGINVOCCCOND",  "EBXSECTLOGINVOCCCOND",
                                         "EBXACTNAMECOND",      "EBXACTTYPECOND",      "EBXLOOKATCOND"};
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(box->conditions[i]->GetTypeKey(), conditionKeys[i]);
    const char* const actionKeys[] = {"EBXBHVACTION",
                                      "EBXPHYSINVENADDACTION",
                                      "EBXPHYSINVREMOVEACTION",
                                      "EBXGLLOGINVADDACTION",
                                      "EBXGLLOGINVREMOVEACTION",
                                      "EBXSECTLOGINVENADDACTION",
                                      "EBXSECTLOGINVREMOVEACTION",
                                      "SCECAMERAACTION",
                                      "SCEEXECHBCMD"};
    for (int32_t i = 0; i < 9; ++i)
        EXPECT_EQ(box->actions[i]->GetTypeKey(), actionKeys[i]);

    auto* behaviour = static_cast<EBoxActorBhvAction*>(box->actions[0]);
    EXPECT_FLOAT_EQ(behaviour->mDelay, 0.5f);
    EXPECT_EQ(behaviour->mName, "guard");
    EXPECT_EQ(behaviour->mBehaviour, "attack");
    EXPECT_EQ(behaviour->mStrings, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(behaviour->mIntegers, (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(static_cast<EBoxPhysicalInventoryRemoveAction*>(box->actions[2])->mSecondName, "pocket");
    auto* camera = static_cast<ScenaricCameraStateAction*>(box->actions[7]);
    EXPECT_EQ(camera->mName, "shot");
    EXPECT_FLOAT_EQ(camera->mSecond, 40.0f);
    EXPECT_EQ(static_cast<ExecuteHbCommandAction*>(box->actions[8])->GetLine(), "SetObjective 0 0 1 2");
    EXPECT_NE(static_cast<ExecuteHbCommandAction*>(box->actions[8])->GetCommand(), nullptr);
    EXPECT_EQ(static_cast<EBoxObjectifCondition*>(box->conditions[0])->mIndex, 3);
    EXPECT_EQ(box->conditions[0]->mExpected, 0);
    auto* occurrences = static_cast<EBoxOccurencesCondition*>(box->conditions[8]);
    EXPECT_EQ(occurrences->mName, "gem");
    EXPECT_EQ(occurrences->mCount, 4);
    auto* look = static_cast<EBoxLookAtCondition*>(box->conditions[11]);
    EXPECT_EQ(look->mTargetKind, 2);
    EXPECT_EQ(look->mTargetName, "MK_DOOR");
    EXPECT_FLOAT_EQ(look->mThreshold, 0.5f);

    auto* out = new VectorStreamBuf();
    HbMChunkStream writer(out);
    ASSERT_EQ(mSet->Write(&writer), 1);
    EXPECT_EQ(out->Bytes(), bytes);
}

TEST_F(EBoxKindsTest, OptionalChunksMayBeMissingAndALongParameterListIsRefused)
{
    EBoxEntry box;
    box.actions = {Kinds::BareBehaviour(0, "guard", "run"), EBoxObjectEntry::Action("SCECAMERAACTION", 0),
                   EBoxObjectEntry::Action("SCEEXECHBCMD", 0), Kinds::Behaviour(0, "guard", "bad", {"x"}, {}, {}, 200),
                   Kinds::Inventory("EBXGLLOGINVADDACTION", 0, "after")};
    ASSERT_EQ(Load({box}), 1);
    const EventBox* read = mSet->GetBox(0);
    ASSERT_EQ(read->actions.count, 3) << "the refused action ends its sub-chunk";
    EXPECT_EQ(static_cast<EBoxActorBhvAction*>(read->actions[0])->mBehaviour, "run");
    auto* camera = static_cast<ScenaricCameraStateAction*>(read->actions[1]);
    EXPECT_EQ(camera->mFirst, 2.0f);
    EXPECT_EQ(camera->mSecond, 25.0f);
    EXPECT_EQ(static_cast<ExecuteHbCommandAction*>(read->actions[2])->GetCommand(), nullptr);
    EXPECT_EQ(read->actions[2]->Execute(), 0);
}

TEST_F(EBoxKindsTest, MutatedSetsOfEveryKindReadOrAreRefusedSafely)
{
    const std::vector<uint8_t> good = EventBoxWriter::Bytes({EveryKind()});
    int32_t read = 0;
    for (size_t at = 0; at < good.size(); ++at)
        for (uint8_t value : {uint8_t(0x00), uint8_t(0x80), uint8_t(0xFF), uint8_t(good[at] ^ 0x01)})
        {
            std::vector<uint8_t> bytes = good;
            bytes[at] = value;
            auto* set = new YoEBox();
            set->AddRef();
            Reader reader(bytes);
            read += set->Read(&reader.stream);
            set->Release();
        }
    for (size_t cut = 0; cut < good.size(); cut += 7)
    {
        auto* set = new YoEBox();
        set->AddRef();
        Reader reader(std::vector<uint8_t>(good.begin(), good.begin() + cut));
        set->Read(&reader.stream);
        set->Release();
    }
    EXPECT_GT(read, 0);
}

TEST_F(EBoxKindsTest, BehaviourRequestsReachTheActorsScriptWithTheirParameters)
{
    ASSERT_NE(Actor("guard", "Guard"), nullptr);
    struct Case
    {
        std::vector<std::string> strings;
        std::vector<float> reals;
        std::vector<int32_t> integers;
        const char* call;
    };
    const Case cases[] = {
        {{}, {}, {}, "(0, 'go')"},
        {{"a", "b"}, {}, {}, "(0, 'go', (('a', 'b'), 'None', 'None'))"},
        {{}, {1.5f}, {}, "(0, 'go', ('None', ((1.5,),), 'None'))"},
        {{}, {}, {4, 5}, "(0, 'go', ('None', 'None', ((4,), (5,))))"},
    };
    for (const Case& c : cases)
    {
        EBoxActorBhvAction action;
        action.mName = "guard";
        action.mBehaviour = "go";
        action.mStrings = c.strings;
        action.mReals = c.reals;
        action.mIntegers = c.integers;
        ASSERT_EQ(Exec("del calls[:]"), "");
        EXPECT_EQ(action.Execute(), 0);
        EXPECT_EQ(Eval("calls[0]"), c.call);
    }
    EBoxActorBhvAction nobody;
    nobody.mName = "nobody";
    EXPECT_EQ(nobody.Execute(), 4);
    EXPECT_FALSE(PyErr_Occurred());
}

TEST_F(EBoxKindsTest, LogicalInventoryActionsAndConditionsCountItems)
{
    EBoxGlobalLogicalInventoryAddAction add;
    add.mName = "coin";
    EBoxGlobalLogicalInventoryRemoveAction remove;
    remove.mName = "coin";
    EBoxGlobalLogicalInventoryCondition has;
    has.mName = "coin";
    EBoxGlobalLogicalInventoryOccurencesCondition count;
    count.mName = "coin";
    struct Case
    {
        int32_t mode, count, items, result;
    };
    const Case cases[] = {{1, 0, 1, 1}, {1, 0, 0, 0}, {2, 0, 0, 1}, {2, 2, 2, 1},
                          {0, 2, 1, 1}, {0, 2, 2, 0}, {3, 0, 0, 0}, {-1, 5, 1, 0}};
    for (const Case& c : cases)
    {
        mProfile->globalInventory.RemoveAll();
        for (int32_t i = 0; i < c.items; ++i)
            EXPECT_EQ(add.Execute(), 1);
        count.mMode = c.mode;
        count.mCount = c.count;
        EXPECT_EQ(count.Evaluate(nullptr), c.result) << c.mode << " " << c.count << " with " << c.items;
        EXPECT_EQ(has.Evaluate(nullptr), c.items);
    }
    mProfile->globalInventory.RemoveAll();
    add.Execute();
    has.mExpected = 1;
    EXPECT_EQ(has.Passes(nullptr), 1);
    remove.Execute();
    EXPECT_EQ(has.Passes(nullptr), 0) << "removed at count 1";
    EXPECT_EQ(remove.Execute(), 1) << "an absent item changes nothing";
    EXPECT_EQ(mProfile->globalInventory.GetCount(), 0);

    // The sector inventory exists only in the mission state.
    EBoxSectorLogicalInventoryAddAction sectorAdd;
    sectorAdd.mName = "gem";
    EBoxSectorLogicalInventoryCondition sectorHas;
    sectorHas.mName = "gem";
    EBoxSectorLogicalInventoryOccurencesCondition sectorCount;
    sectorCount.mName = "gem";
    sectorCount.mMode = 2;
    EXPECT_EQ(sectorAdd.Execute(), 1);
    EXPECT_EQ(sectorHas.Evaluate(nullptr), 1);
    Stage menu(kGameStateMainMenu);
    menu.SetProfile(mProfile);
    GameStateManager::Instance()->SetCurrentState(&menu);
    EXPECT_EQ(sectorAdd.Execute(), 0);
    EXPECT_EQ(sectorHas.Evaluate(nullptr), 0);
    for (int32_t mode : {0, 1, 2})
    {
        sectorCount.mMode = mode;
        EXPECT_EQ(sectorCount.Evaluate(nullptr), 0) << mode;
    }
    EXPECT_EQ(add.Execute(), 1) << "the global one needs only a profile";
    GameStateManager::Instance()->SetCurrentState(nullptr);
    EXPECT_EQ(add.Execute(), 0);
    EXPECT_EQ(has.Evaluate(nullptr), 0);
    EXPECT_EQ(EBoxObjectUseCondition().Passes(nullptr), 1);
    EBoxPhysicalInventoryOccurencesCondition physical;
    physical.mExpected = 0;
    EXPECT_EQ(physical.Passes(nullptr), 0);
    GameStateManager::Instance()->SetCurrentState(&mStage);
}

/// The names an inventory holds, in order.
std::string Pocket(TsInventory* inventory)
{
    std::string names;
    inventory->ForEach(
        [](TsInventoryItem* item, void* data)
        {
            auto* text = static_cast<std::string*>(data);
            *text += (text->empty() ? "" : " ") + item->mName;
            return 1;
        },
        &names);
    return names;
}

TsInventoryItem* Item(const char* name)
{
    auto* item = new TsInventoryItem();
    item->mName = name;
    return item;
}

TEST_F(EBoxKindsTest, TheCarriedItemConditionSearchesTheHerosPocketsAndTheFieldsOnlyKindsChangeNothing)
{
    static TsInventory* pockets[2] = {};
    for (TsInventory*& pocket : pockets)
    {
        pocket = new TsInventory();
        pocket->AddRef();
    }
    ScenaricSetHeroAccess({[](TsActor*) { return pockets[0]; }, [](TsActor*) { return pockets[1]; }, nullptr});
    pockets[0]->Add(Item("key"));
    pockets[1]->Add(Item("rifle"));
    EBoxPhysicalInventoryCondition carried;
    // Without a hero nothing is carried.
    carried.mName = "key";
    EXPECT_EQ(carried.Evaluate(nullptr), 0);
    TsActor* hero = Actor("TheHero", "Hero");
    ASSERT_NE(hero, nullptr);
    mWorld->SetHero(hero);
    const struct
    {
        const char* item;
        int32_t result;
    } cases[] = {{"key", 1}, {"rifle", 1}, {"map", 0}, {"", 0}};
    for (const auto& c : cases)
    {
        carried.mName = c.item;
        EXPECT_EQ(carried.Evaluate(nullptr), c.result) << c.item;
    }

    // The physical-inventory and camera actions and the object-use and carried-count
    // conditions only carry their fields: the box passes whatever they name, and after the
    // delay only the witness has done anything.
    EBoxEntry box;
    box.size[0] = box.size[1] = box.size[2] = 10;
    box.conditions = {Kinds::Named("EBOXOBJECTUSECONDITION", 1, "lever"),
                      Kinds::Occurrences("EBXPHYSINVOCCCOND", 1, "key", 1, 5)};
    box.actions = {Kinds::Inventory("EBXPHYSINVENADDACTION", 0.5f, "map"), Kinds::PhysicalRemove(0.5f, "key", "rifle"),
                   Kinds::Camera(0.5f, "shot", 3.0f, 40.0f), Kinds::Inventory("EBXGLLOGINVADDACTION", 0.5f, "witness")};
    EBoxEntry refused = box;
    refused.conditions = {Kinds::Named("EBOXOBJECTUSECONDITION", 0, "lever")};
    EBoxEntry uncounted = box;
    uncounted.conditions = {Kinds::Occurrences("EBXPHYSINVOCCCOND", 0, "key", 1, 5)};
    ASSERT_EQ(Load({box, refused, uncounted}), 1);
    mProfile->globalInventory.RemoveAll();
    const int32_t sectorItems = mStage.mInventory.GetCount();
    EXPECT_EQ(mSet->RunBox(mSet->GetBox(1), hero), 0) << "object use fails with expected result 0";
    EXPECT_EQ(mSet->RunBox(mSet->GetBox(2), hero), 0) << "the carried count fails with expected result 0";
    EXPECT_EQ(mSet->GetDelayedActions()->GetPendingCount(), 0);
    ASSERT_EQ(mSet->RunBox(mSet->GetBox(0), hero), 1);
    EXPECT_EQ(mSet->GetDelayedActions()->GetPendingCount(), 4);
    mSet->RunDue(HbPerformanceFrequency());
    EXPECT_EQ(mSet->GetDelayedActions()->GetPendingCount(), 0);
    EXPECT_EQ(LogicalInventoryCount(mProfile->globalInventory, "witness"), 1) << "the actions ran";
    EXPECT_EQ(mProfile->globalInventory.GetCount(), 1);
    EXPECT_EQ(mStage.mInventory.GetCount(), sectorItems);
    EXPECT_EQ(Pocket(pockets[0]), "key");
    EXPECT_EQ(Pocket(pockets[1]), "rifle");

    mWorld->SetHero(nullptr);
    ScenaricSetHeroAccess({});
    for (TsInventory*& pocket : pockets)
    {
        pocket->Release();
        pocket = nullptr;
    }
}

TEST_F(EBoxKindsTest, ActorConditionsTestTheActorInTheBox)
{
    TsActor* guard = Actor("guard", "ClassGardWithGraph");
    TsActor* plain = Actor("plainguard", "Gard");
    TsActor* hero = Actor("TheHero", "Hero");
    ASSERT_TRUE(guard && plain && hero);
    ASSERT_EQ(Exec("guard.currentBehaviourGenericName = 'patrol'"), "");
    EBoxActorTypeCondition type;
    type.mName = "Gard";
    EBoxActorNameCondition name;
    name.mName = "TheHero";
    EBoxActorBehaviourCondition inBox;
    inBox.mName = "ACTORINBOX";
    inBox.mBehaviour = "patrol";
    EBoxActorBehaviourCondition byName;
    byName.mName = "guard";
    byName.mBehaviour = "patrol";
    EXPECT_EQ(type.Evaluate(guard), 1);
    EXPECT_EQ(type.Evaluate(plain), 0) << "Gard stands for ClassGardWithGraph";
    type.mName = "TheHero";
    EXPECT_EQ(type.Evaluate(hero), 1);
    EXPECT_EQ(type.Evaluate(guard), 0);
    EXPECT_EQ(name.Evaluate(hero), 1);
    EXPECT_EQ(name.Evaluate(guard), 0);
    EXPECT_EQ(inBox.Evaluate(guard), 1);
    EXPECT_EQ(inBox.Evaluate(plain), 0);
    EXPECT_EQ(byName.Evaluate(nullptr), 1);
    byName.mBehaviour = "Patrol";
    EXPECT_EQ(byName.Evaluate(nullptr), 0) << "case counts";
    for (YoEBoxACondition* condition : std::initializer_list<YoEBoxACondition*>{&type, &name, &inBox})
        EXPECT_EQ(condition->Evaluate(nullptr), 0) << condition->GetTypeKey() << " without an actor in the box";
}

TEST_F(EBoxKindsTest, LookAtComparesTheHorizontalFacingWithTheThreshold)
{
    TsActor* source = Actor("watcher", "Watcher");
    TsActor* target = Actor("walker", "Walker");
    ASSERT_TRUE(source && target);
    // The watcher faces +z from the origin.
    const Vector origin = {0, 0, 0};
    source->GetNode()->SetWorldPosition(&origin);
    struct Case
    {
        Vector at;
        float threshold;
        int32_t result;
    };
    const Case cases[] = {
        {{0, 5, 10}, 0.9f, 1},  {{10, 0, 10}, 0.9f, 0}, {{10, 0, 10}, 0.7f, 1}, {{10, 0, 0}, 0.0f, 0},
        {{0, 0, -10}, 0.0f, 0}, {{0, 20, 0}, 0.0f, 0},  {{0, 20, 0}, -0.1f, 1},
    };
    const Vector* facing = source->GetNode()->GetWorldAt();
    ASSERT_NE(facing, nullptr);
    for (const Case& c : cases)
    {
        // The cases are written for a watcher facing +z; mirror them for one facing -z.
        Vector at = c.at;
        if (facing->z < 0)
            at.z = -at.z;
        target->GetNode()->SetWorldPosition(&at);
        EBoxLookAtCondition look;
        look.mSourceKind = 0;
        look.mSourceName = "watcher";
        look.mTargetKind = 1;
        look.mThreshold = c.threshold;
        EXPECT_EQ(look.Evaluate(target), c.result) << at.x << "," << at.y << "," << at.z << " > " << c.threshold;
    }
    EBoxLookAtCondition self;
    self.mSourceKind = 1;
    self.mTargetKind = 1;
    self.mThreshold = -2.0f;
    EXPECT_EQ(self.Evaluate(source), 0) << "an actor looking at itself";
    EXPECT_EQ(self.Evaluate(nullptr), 0);
    EBoxLookAtCondition nothing;
    nothing.mSourceKind = 5;
    nothing.mTargetKind = 5;
    nothing.mThreshold = -2.0f;
    EXPECT_EQ(nothing.Evaluate(nullptr), 0) << "neither end is an actor";
    EBoxLookAtCondition mark;
    mark.mSourceName = "watcher";
    mark.mTargetKind = 2;
    mark.mTargetName = "MK_NOWHERE";
    mark.mThreshold = -2.0f;
    EXPECT_EQ(mark.Evaluate(nullptr), 0) << "an unknown mark";
}

TEST_F(EBoxKindsTest, ObjectiveConditionsAndCommandActionsMeetTheMissions)
{
    ASSERT_EQ(RunMission("BeginCreateMission 1 T\nCreateObjective 0 W1L1S01 1 1 D C\n"
                         "AddObjectiveAction 2 none none none M\nAddObjective\n"),
              1);
    EBoxObjectifCondition done;
    done.mIndex = 0;
    done.mExpected = 0;
    EXPECT_EQ(done.Passes(nullptr), 1) << "expected 0 passes while the objective is not done";
    ExecuteHbCommandAction command;
    command.SetName("SetObjective 0 0 0 2");
    EXPECT_EQ(command.Execute(), 1);
    EXPECT_EQ(done.Passes(nullptr), 0);
    done.mExpected = 1;
    EXPECT_EQ(done.Passes(nullptr), 1);
    for (int32_t index : {-1, -2147483647 - 1, 20, 1})
    {
        done.mIndex = index;
        EXPECT_EQ(done.Evaluate(nullptr), 0) << index;
    }
    ExecuteHbCommandAction unknown;
    unknown.SetName("NoSuchCommand 1 2");
    EXPECT_EQ(unknown.Execute(), 0);
    EXPECT_EQ(unknown.Execute(), 0);
    unknown.SetName("");
    EXPECT_EQ(unknown.Execute(), 0);
    // A command that goes away after the line was read is not called.
    struct Counting : HbCommand
    {
        Counting() : HbCommand("ebox_kinds_test_count", "") {}
        int Execute(const HbCommandArgs&, int32_t) override { return ++runs; }
        int runs = 0;
    };
    ExecuteHbCommandAction counted;
    {
        Counting command;
        counted.SetName("ebox_kinds_test_count 1");
        EXPECT_EQ(counted.Execute(), 1);
        EXPECT_EQ(command.runs, 1);
    }
    EXPECT_EQ(counted.Execute(), 0);
    // The fields-only kinds run without an effect.
    EXPECT_EQ(ScenaricCameraStateAction().Execute(), 0);
    EXPECT_EQ(EBoxPhysicalInventoryAddAction().Execute(), 0);
    EXPECT_EQ(EBoxPhysicalInventoryRemoveAction().Execute(), 0);
    GameStateManager::Instance()->SetCurrentState(nullptr);
    done.mIndex = 0;
    EXPECT_EQ(done.Evaluate(nullptr), 0) << "no profile";
    GameStateManager::Instance()->SetCurrentState(&mStage);
}
} // namespace
