// The scenario commands over the wall level: sectors and the mission flow, the weak slots, the
// actor types, taking actors out and back, the hero's control, lists and carried objects, the
// sound and effect tables, texts, and lines with missing, extra or malformed tokens.
#include "gameprofile.h"
#include "hbcommand.h"
#include "herostatemachine.h"
#include "kfxmanagerimp.h"
#include "scenariocommands.h"
#include "scenariolevel_fixture.h"
#include "scenarioslots.h"
#include "sectordatamanager.h"
#include "tsheroactor.h"
#include "tsinventory.h"
#include "tsmarksystem.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "uisupport.h"
#include "w3danimobject.h"
#include "w3dframe.h"
#include "walkermodel.h"
#include "wscene.h"
#include "yoscenaricmark.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace scenarictest
{
namespace
{
constexpr int kDone = HbCommandManager::kDone;
constexpr int kFailed = HbCommandManager::kFailed;

bool Has(const std::vector<std::string>& notes, const std::string& note)
{
    return std::find(notes.begin(), notes.end(), note) != notes.end();
}

int32_t FilledSlots()
{
    int32_t filled = 0;
    for (int32_t i = 0; i < ScenarioActorSlots::kCount; ++i)
        filled += ScenarioActorSlots::Get(i) ? 1 : 0;
    return filled;
}

class ScenarioCommands : public ScenarioLevelTest
{
};

TEST_F(ScenarioCommands, LaunchSectorAndSetSectorFollowTheForwardAndBackwardRules)
{
    struct Case
    {
        const char* from;
        const char* line;
        const char* sector;
        int32_t forward;
        int32_t labelAfterMission;
        const char* startMark;
        int32_t labelRequest;
    };
    const Case cases[] = {
        {"W1L1S01", "launch_sector 0 W1 L1 S02 ", "W1L1S02", 1, 1, "", 1},
        {"W1L1S02", "launch_sector 0 W1 L1 S01 MK_A", "W1L1S01", 0, 0, "MK_A", 1},
        {"W2L1S01", "launch_sector 0 W1 L3 S05", "W1L3S05", 0, 0, "", 1},
        {"W1L2S01", "launch_sector 0 W1 L2 S0", "W1L2S0", 0, 0, "", 1},
        {"W1L1S01", "launch_sector 1 W1 L1 S02", "W1L1S01", 9, 0, "OLD", 0},
        {"W1L1S01", "launch_sector 0 W1 L1", "W1L1S01", 9, 0, "OLD", 0},
        {"W1L1S01", "launch_sector 0 W1 L1 S02 MK_A extra", "W1L1S01", 9, 0, "OLD", 0},
        {"W1L1S01", "set_sector 0 W8 L1 S01 ", "W8L1S01", 9, 0, "OLD", 0},
        {"W1L1S01", "set_sector 0 W8 L1", "W1L1S01", 9, 0, "OLD", 0},
        {"W1L1S01", "set_sector 1 W8 L1 S01", "W1L1S01", 9, 0, "OLD", 0},
    };
    for (const Case& c : cases)
    {
        mProfile->sectorId = c.from;
        mProfile->lastMissionSector = "";
        mProfile->forwardEntry = 9;
        mProfile->labelAfterMission = 0;
        mProfile->startMark = "OLD";
        mProfile->labelRequest = 0;
        EXPECT_EQ(Run(c.line), kDone) << c.line;
        EXPECT_EQ(mProfile->sectorId, c.sector) << c.line;
        EXPECT_EQ(mProfile->forwardEntry, c.forward) << c.line;
        EXPECT_EQ(mProfile->labelAfterMission, c.labelAfterMission) << c.line;
        EXPECT_EQ(mProfile->startMark, c.startMark) << c.line;
        EXPECT_EQ(mProfile->labelRequest, c.labelRequest) << c.line;
        EXPECT_EQ(mProfile->lastMissionSector, c.labelRequest ? c.from : "") << c.line;
    }
}

TEST_F(ScenarioCommands, SlotsAreWeakBoundedAndKeepTheirFirstLiveObject)
{
    auto* a = new T3DSoundData();
    auto* b = new T3DSoundData();
    a->AddRef();
    b->AddRef();
    ScenarioActorSlots::Set(0, a);
    ScenarioActorSlots::Set(199, a);
    ScenarioActorSlots::Set(200, a);
    ScenarioActorSlots::Set(-1, a);
    ScenarioActorSlots::Set(0, b);
    EXPECT_EQ(ScenarioActorSlots::Get(0), a) << "a live slot keeps its object";
    EXPECT_EQ(ScenarioActorSlots::Get(199), a);
    EXPECT_EQ(ScenarioActorSlots::Get(200), nullptr);
    EXPECT_EQ(FilledSlots(), 2);
    EXPECT_EQ(ScenarioActorSlots::GetAs<T3DSoundData>(0), a);
    EXPECT_EQ(ScenarioActorSlots::GetAs<TsActor>(0), nullptr) << "the wrong class reads empty";
    ASSERT_NE(ScenarioActorSlots::GetDirection(0), nullptr);
    EXPECT_EQ(ScenarioActorSlots::GetDirection(0)->y, 1.0f);
    ScenarioActorSlots::SetPosition(199, {4, 5, 6});
    EXPECT_EQ(ScenarioActorSlots::GetPosition(199)->z, 6.0f);
    EXPECT_EQ(a->GetRefCount(), 1) << "slots hold no reference";

    a->Release();
    EXPECT_EQ(ScenarioActorSlots::Get(0), nullptr) << "a dead object's slot reads empty";
    EXPECT_EQ(ScenarioActorSlots::GetPosition(199), nullptr);
    ScenarioActorSlots::Set(0, b);
    EXPECT_EQ(ScenarioActorSlots::Get(0), b) << "a dead slot takes a new object";
    ScenarioActorSlots::Reset();
    EXPECT_EQ(FilledSlots(), 0);
    b->Release();
}

TEST_F(ScenarioCommands, ActorTypeLinesMakeTheirActorsAndRefuseWhatTheScriptRefuses)
{
    EXPECT_EQ(Run("Door 1 7 door7 10 0 20 0 0 1 open sub 1"), kDone);
    TsActor* door = ScenarioActorSlots::GetAs<TsActor>(7);
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door, Bound("door7"));
    EXPECT_EQ(door->mScenarioSlot, 7);
    EXPECT_EQ(door->mMustBeUpdated, 1);
    EXPECT_EQ(door->GetNode()->GetParent(), mScene->GetRoot());
    EXPECT_EQ(Eval("xyz(GetPosition(door7))"), "(10.0, 0.0, 20.0)");
    EXPECT_EQ(Eval("xyz(GetLookAt(door7))"), "(0.0, 0.0, 1.0)");
    EXPECT_EQ(ScenarioActorSlots::GetPosition(7)->z, 20.0f);
    EXPECT_EQ(Notes(), (std::vector<std::string>{"made ClassDoor door7 Actors.Object.Door.sub", "main door7 open"}));

    // The slot's live actor is placed again, not made again.
    EXPECT_EQ(Run("Door 1 7 other 5 0 5 1 0 0 open sub 0"), kDone);
    EXPECT_EQ(ScenarioActorSlots::Get(7), door);
    EXPECT_EQ(door->mMustBeUpdated, 0);
    EXPECT_EQ(door->GetNode()->GetParent(), nullptr);
    EXPECT_EQ(Notes(), std::vector<std::string>{});

    EXPECT_EQ(Run("Door 1 8 door7 0 0 0 0 0 1 open sub 1"), kFailed) << "the variable exists";
    EXPECT_EQ(ScenarioActorSlots::Get(8), nullptr);
    EXPECT_EQ(Run("Bonus 2 9 evil 0 0 0 0 0 1 x sub 1 __import__('os').system('true')"), kFailed);
    EXPECT_EQ(Run("Bonus 1 9 evil');note('x 0 0 0 0 0 1 x sub 1"), kFailed);
    EXPECT_EQ(Run("Gard 1 9 evil 0 0 0 0 0 1 x a\"b 1"), kFailed) << "a quote in the data";
    EXPECT_EQ(Run("Gard 2 9 evil 0 0 0 0 0 1 x sub 1 NoSuchClass"), kFailed);
    EXPECT_EQ(Eval("'evil' in globals()"), "False");
    EXPECT_EQ(Notes(), std::vector<std::string>{}) << "nothing ran";
    EXPECT_EQ(ScenarioActorSlots::Get(9), nullptr);
    EXPECT_EQ(Run("MobileDof 1 9 door7 0 0 0 0 0 1 x sub 1"), kDone) << "MobileDof answers 1 in every case";
    EXPECT_EQ(Run("MobileDof 0 9 dof 0 0 0 0 0 1 x sub 1"), kDone);

    // Form 2 names the class; a sector stored already skips the start method.
    SectorDataManager::Instance()->StoreSector("W1L1S01", nullptr);
    EXPECT_EQ(Run("ExplosiveObject 2 10 barrel 0 0 0 0 0 1 x sub 1 ClassBonusObject"), kDone);
    EXPECT_EQ(Notes(), std::vector<std::string>{"made ClassBonusObject barrel Actors.Object.explosive.sub"});
    EXPECT_EQ(ScenarioActorSlots::Get(10), Bound("barrel"));
}

TEST_F(ScenarioCommands, ActorsTakenOutOfTheLevelComeBackAtTheirStoredPlace)
{
    ASSERT_EQ(Run("Gard 1 3 guard 10 0 20 1 0 0 idle sub 1"), kDone);
    ASSERT_EQ(Run("Gard 1 4 other -10 0 0 1 0 0 idle sub 1"), kDone);
    TsActor* guard = Bound("guard");
    W3dNode* node = guard->GetNode();
    ASSERT_EQ(Exec("SetPosition(guard, vertex(40, 0, 50))"), "");
    EXPECT_EQ(Run("SetActorState 0 1 3"), kDone);
    EXPECT_EQ(guard->mMustBeUpdated, 0);
    EXPECT_EQ(node->GetParent(), nullptr);
    EXPECT_EQ(ScenarioActorSlots::GetPosition(3)->x, 40.0f);
    ASSERT_EQ(Exec("SetPosition(guard, vertex(-99, 0, -99))"), "");
    EXPECT_EQ(Run("SetActorState 0 1 3"), kDone) << "already out: nothing";
    EXPECT_EQ(ScenarioActorSlots::GetPosition(3)->x, 40.0f);
    EXPECT_EQ(Run("SetActorState 0 2 3"), kDone);
    EXPECT_EQ(guard->mMustBeUpdated, 1);
    EXPECT_EQ(node->GetParent(), mScene->GetRoot());
    EXPECT_EQ(Eval("xyz(GetPosition(guard))"), "(40.0, 0.0, 50.0)");

    EXPECT_EQ(Run("SetActorState 0 3 2 3 4"), kDone);
    EXPECT_EQ(guard->mMustBeUpdated + Bound("other")->mMustBeUpdated, 0);
    EXPECT_EQ(Run("SetActorState 0 4 3 3 4"), kFailed) << "three slots listed, two given";
    EXPECT_EQ(Run("SetActorState 0 4 2 4 200"), kFailed);
    EXPECT_EQ(guard->mMustBeUpdated + Bound("other")->mMustBeUpdated, 0) << "a refused line changes nothing";
    EXPECT_EQ(Run("SetActorState 0 4 2 3 4"), kDone);
    EXPECT_EQ(guard->mMustBeUpdated + Bound("other")->mMustBeUpdated, 2);

    EXPECT_EQ(Run("SetActorPosition 0 3 drop"), kDone);
    EXPECT_EQ(Eval("xyz(GetPosition(guard))"), "(50.0, 0.0, 60.0)");
    EXPECT_EQ(Eval("xyz(GetLookAt(guard))"), "(-1.0, 0.0, 0.0)");
    EXPECT_EQ(Run("SetActorPosition 0 3 nowhere"), kDone);
    EXPECT_EQ(Eval("xyz(GetPosition(guard))"), "(50.0, 0.0, 60.0)");

    // A destroyed actor empties its slot: the next lines find nothing.
    ASSERT_EQ(Exec("guard.delete()"), "");
    EXPECT_EQ(ScenarioActorSlots::Get(3), nullptr);
    EXPECT_EQ(Run("SetActorState 0 2 3"), kDone);
}

TEST_F(ScenarioCommands, ScriptLinesReachTheirActorsAndTheDirector)
{
    ASSERT_EQ(Exec("director = Directing()"), "");
    ASSERT_EQ(Run("Gard 1 3 guard 0 0 0 1 0 0 idle sub 1"), kDone);
    ASSERT_EQ(Run("Gard 1 4 enemy 0 0 0 1 0 0 idle sub 1"), kDone);
    Notes();
    const char* const lines[] = {
        "SetActorPath 0 3 route",
        "SetActorRestrictionPath 0 3 zone",
        "SetActorBhvScenaricCallBack 0 3 bhv cb",
        "SetEnemy 0 3 4",
        "SetSectorAlarm 0 1",
        "SetSectorRespawnBuffer 0 12",
        "SetSectorMusic 0 a b c d",
    };
    for (const char* line : lines)
        EXPECT_EQ(Run(line), kDone) << line;
    EXPECT_EQ(Notes(),
              (std::vector<std::string>{"path guard [route] []", "path guard [] [zone]", "callback guard [bhv] [cb]",
                                        "enemy guard enemy", "alarm 1", "buffer 12", "music [a] [b] [c] [d]"}));
    ASSERT_EQ(Exec("del Saved.setEnemy"), "");
    EXPECT_EQ(Run("SetEnemy 0 3 4"), kFailed) << "the script call fails";
}

TEST_F(ScenarioCommands, MissionEndAndLabelLinesRaiseTheProfilesRequests)
{
    mProfile->sectorId = "W2L1S03";
    EXPECT_EQ(Run("SetEndMission 0 1 0 TX_END"), kDone);
    EXPECT_EQ(mProfile->missionEndRequest, 1);
    EXPECT_EQ(mProfile->gameOverRequest, 0);
    EXPECT_EQ(mProfile->missionEndText, "TX_END");
    EXPECT_EQ(mProfile->lastMissionSector, "W2L1S03");
    EXPECT_EQ(mProfile->labelAfterMission, 1);
    EXPECT_EQ(Run("SetEndMission 0 0 1"), kDone);
    EXPECT_EQ(mProfile->gameOverRequest, 1);
    EXPECT_EQ(mProfile->missionEndText, "");
    EXPECT_EQ(Run("SetEndMission 1 0 0 x"), kDone);
    EXPECT_EQ(mProfile->gameOverRequest, 1) << "form 1 does nothing";

    mProfile->labelAfterMission = 0;
    mProfile->sectorId = "W3L1S01";
    EXPECT_EQ(Run("EndMission 7 any tokens at all"), kDone);
    EXPECT_EQ(mProfile->missionEndRequest, 1);
    EXPECT_EQ(mProfile->gameOverRequest, 0);
    EXPECT_EQ(mProfile->missionEndText, "prout prout");
    EXPECT_EQ(mProfile->lastMissionSector, "W3L1S01");
    EXPECT_EQ(mProfile->labelAfterMission, 1);

    EXPECT_EQ(Run("LaunchLabel 0"), kDone);
    EXPECT_EQ(mProfile->pauseLabelRequest, 0);
    EXPECT_EQ(Run("LaunchLabel 0 1"), kDone);
    EXPECT_EQ(mProfile->pauseLabelRequest, 1);
}

class CodeState : public HeroState
{
public:
    explicit CodeState(int32_t code) : HeroState(code) {}
    int32_t Decide(TsActor*) override { return GetCode(); }
};

TEST_F(ScenarioCommands, HeroControlFormsSwitchTheHerosStateMachine)
{
    EXPECT_EQ(Run("SetHeroControl 0 0"), kDone) << "no hero: nothing";
    auto* hero = static_cast<TsHeroActor*>(Create("john", kHeroType));
    ASSERT_NE(hero, nullptr);
    HeroStateMachine* machine = hero->GetStateMachine();
    ASSERT_NE(machine, nullptr);
    for (int32_t code : {0, 1, 3, 50})
        machine->AddState(new CodeState(code));
    struct Case
    {
        int32_t from;
        const char* line;
        int32_t to;
    };
    const Case cases[] = {
        {50, "SetHeroControl 0 0", 0},    {50, "SetHeroControl 0 1", 1},   {50, "SetHeroControl 0 2", 50},
        {50, "SetHeroControl 0", 0},      {0, "SetHeroControl 0", 1},      {0, "SetHeroControl 0 1 1 1", 1},
        {50, "SetHeroControl 1 0", 0},    {50, "SetHeroControl 1 1 0", 1}, {50, "SetHeroControl 1 1 1", 3},
        {50, "SetHeroControl 1 1 2", 50}, {50, "SetHeroControl 1", 50},    {50, "SetHeroControl 2 0", 50},
    };
    for (const Case& c : cases)
    {
        machine->SetState(c.from);
        EXPECT_EQ(Run(c.line), kDone) << c.line;
        EXPECT_EQ(machine->GetCurrentCode(), c.to) << c.line;
    }
}

TEST_F(ScenarioCommands, TablesHoldReferencesThatTheLevelsResetReleases)
{
    auto* kept = new KFX();
    kept->AddRef();
    auto* alone = new KFX();
    ASSERT_EQ(ScenarioEffectTableAdd(4, kept), 1);
    ASSERT_EQ(ScenarioEffectTableAdd(5, alone), 1);
    EXPECT_EQ(ScenarioEffectTableAdd(4, alone), 0) << "an entry is filled once";
    EXPECT_EQ(ScenarioEffectTableAdd(120, kept), 0);
    EXPECT_EQ(kept->GetRefCount(), 2);
    EXPECT_EQ(ScenarioActorSlots::Get(4), kept);
    std::vector<int32_t> walked;
    ScenarioEffectTableForEach(
        [](KFX*, int32_t index, void* data)
        {
            static_cast<std::vector<int32_t>*>(data)->push_back(index);
            return 1;
        },
        &walked);
    EXPECT_EQ(walked, (std::vector<int32_t>{4, 5}));

    // PlayFX puts a new effect in the table entry and the slot of its number, once.
    EXPECT_EQ(Run("PlayFX 0 7 1 2 3 0 0 1 5 1"), kDone);
    KFX* played = ScenarioEffectTableGet(7);
    ASSERT_NE(played, nullptr);
    EXPECT_EQ(ScenarioActorSlots::Get(7), played);
    EXPECT_EQ(Run("PlayFX 0 7 1 2 3 0 0 1 5 0"), kDone);
    EXPECT_EQ(ScenarioEffectTableGet(7), played);
    EXPECT_EQ(ScenarioActorSlots::Get(7), played);
    EXPECT_EQ(Run("FXModifier 0 1 7"), kDone);

    ScenarioLookupsReset();
    EXPECT_EQ(ScenarioEffectTableGet(4), nullptr);
    EXPECT_EQ(ScenarioActorSlots::Get(4), nullptr);
    EXPECT_EQ(kept->GetRefCount(), 1) << "another holder keeps the effect alive";
    kept->Release();
    // The effect only the table held went with the reset (the leak check would say otherwise).
}

TEST_F(ScenarioCommands, Create3DSoundReusesItsRecordAndSoundModifierKeepsTheChannel)
{
    uitest::Sounds sounds({"SD_A_S3DSB", "SD_B_S3DSB"});
    ASSERT_TRUE(sounds.Started());
    EXPECT_EQ(Run("Create3DSound 0 5 1 2 3 0 0 0 SD_A_S3DSB"), kDone);
    T3DSoundData* first = ScenarioActorSlots::GetAs<T3DSoundData>(5);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ScenarioSoundTableGet(5), first);
    EXPECT_EQ(first->mChannel, -1);
    EXPECT_EQ(Run("Create3DSound 0 5 4 5 6 0 0 0 SD_B_S3DSB"), kDone);
    EXPECT_EQ(ScenarioActorSlots::Get(5), first) << "the slot's record is reused";
    EXPECT_EQ(first->mSound, "SD_B_S3DSB");
    EXPECT_EQ(first->mPosition.z, 6.0f);

    // With the slot emptied, a new record fills it; the table keeps its first entry.
    ScenarioActorSlots::Reset();
    EXPECT_EQ(Run("Create3DSound 0 5 0 0 0 0 0 0 SD_A_S3DSB"), kDone);
    T3DSoundData* second = ScenarioActorSlots::GetAs<T3DSoundData>(5);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(ScenarioSoundTableGet(5), first);
    EXPECT_EQ(Run("Create3DSound 0 150 0 0 0 0 0 0 SD_A_S3DSB"), kFailed) << "beyond the sound table";

    EXPECT_EQ(Run("SoundModifier 0 0 5"), kDone);
    const int32_t channel = second->mChannel;
    ASSERT_GE(channel, 0);
    EXPECT_EQ(Run("SoundModifier 0 0 5"), kDone);
    EXPECT_EQ(second->mChannel, channel) << "a playing record is not started twice";
    EXPECT_EQ(sounds.Played(), std::vector<std::string>{"SD_A_S3DSB"});
    EXPECT_EQ(Run("SoundModifier 0 1 5"), kDone);
    EXPECT_EQ(second->mChannel, -1);
    EXPECT_EQ(Run("SoundModifier 0 0 5"), kDone);
    EXPECT_GE(second->mChannel, 0) << "stopped, it starts again";
}

TEST_F(ScenarioCommands, TriggerLinesTakeAFreeTriggerAndArmIt)
{
    EXPECT_EQ(Run("SoundTriggerCreate 0 0 6 1 2 3"), kFailed) << "no trigger to take";
    ASSERT_EQ(TriggerManager::Create(), 1);
    EXPECT_EQ(Run("SoundTriggerCreate 0 0 6 1 2 3"), kDone);
    auto* trigger = ScenarioActorSlots::GetAs<TsTrigger>(6);
    ASSERT_NE(trigger, nullptr);
    EXPECT_EQ(trigger->GetNode()->GetWorldPosition()->z, 3.0f);
    EXPECT_EQ(Run("SoundTriggerCreate 0 0 6 4 5 6"), kDone);
    EXPECT_EQ(ScenarioActorSlots::Get(6), trigger) << "the slot's trigger is moved, not another taken";

    EXPECT_EQ(Run("SoundTriggerUpdate 0 0 6 0.5 1 3 2"), kDone);
    EXPECT_TRUE(trigger->IsLive());
    EXPECT_EQ(trigger->GetEvent(), 21);
    EXPECT_EQ(trigger->GetRadius(), TsGetSoundRadius(3));
    EXPECT_EQ(trigger->GetMask(), uint32_t(HeroEnemyFamily));
    EXPECT_EQ(trigger->GetLineTest(), 1);
    EXPECT_EQ(trigger->GetValue(), 3.0f);
    EXPECT_EQ(Run("SoundTriggerUpdate 0 2 6"), kDone);
    EXPECT_EQ(trigger->mMustBeUpdated, 0);
    EXPECT_EQ(Run("SoundTriggerUpdate 0 3 6"), kDone);
    EXPECT_FALSE(trigger->IsLive());
    EXPECT_EQ(Run("SoundTriggerUpdate 0 1 6 0.5 0 2"), kDone);
    EXPECT_EQ(trigger->GetEndTime(), TsTrigger::kUnlimited);

    EXPECT_EQ(Run("TriggerUpdate 0 0 6 0 1 250.7 9"), kDone);
    EXPECT_EQ(trigger->GetEvent(), 4);
    EXPECT_EQ(trigger->GetRadius(), 250);
    EXPECT_EQ(trigger->GetMask(), 0u);
    EXPECT_EQ(trigger->GetValue(), 9.0f);
    EXPECT_EQ(Run("TriggerUpdate 0 0 6 3"), kDone);
    EXPECT_FALSE(trigger->IsLive());
    TriggerManager::Free();
    EXPECT_EQ(ScenarioActorSlots::Get(6), nullptr) << "a freed trigger empties its slot";
}

struct Lists
{
    TsInventory* inventory = nullptr;
    TsInventory* equipment = nullptr;
    std::string inHand;
    int32_t previous = 0;
};
Lists* sLists = nullptr;

TsInventoryItem* Item(const char* name, TsActor* actor)
{
    auto* item = new TsInventoryItem();
    item->mName = name;
    item->SetActor(actor);
    return item;
}

TEST_F(ScenarioCommands, DroppingAnItemAtAMarkCallsItsScriptAndFallsBackToAnotherWeapon)
{
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 2 medkit drop 3"), kFailed) << "no hero";
    ASSERT_NE(Create("john", kHeroType), nullptr);
    Lists lists;
    lists.inventory = new TsInventory();
    lists.equipment = new TsInventory();
    lists.inventory->AddRef();
    lists.equipment->AddRef();
    sLists = &lists;
    ScenarioHeroHooks& hooks = ScenarioGetHeroHooks();
    hooks.inventory = [](TsActor*) { return sLists->inventory; };
    hooks.equipment = [](TsActor*) { return sLists->equipment; };
    hooks.itemInHand = [](TsActor*) { return sLists->inHand.c_str(); };
    hooks.previousWeaponInHand = [](TsActor*) { ++sLists->previous; };
    ASSERT_EQ(Exec("medkit = ClassBonusObject('medkit', 'm')\nrifle = ClassBonusObject('rifle', 'r')\n"
                   "knife = ClassBonusObject('knife', 'k')\nloose = Thing()\nCreateActor(loose, 9001)"),
              "");
    lists.inventory->Add(Item("medkit", Bound("medkit")));
    lists.equipment->Add(Item("rifle", Bound("rifle")));
    lists.equipment->Add(Item("knife", Bound("knife")));
    lists.equipment->Add(Item("loose", Bound("loose")));
    lists.inHand = "rifle";
    Notes();

    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 2 medkit drop 3"), kDone);
    EXPECT_EQ(Notes(), std::vector<std::string>{"drop medkit (50.0, 0.0, 60.0) (-1.0, 0.0, 0.0) 3"});
    EXPECT_FALSE(lists.inventory->Contains("medkit"));
    EXPECT_EQ(lists.previous, 0);
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 2 rifle drop 1"), kDone);
    EXPECT_EQ(lists.previous, 1) << "the item in hand goes: the previous weapon is taken";
    EXPECT_EQ(Notes(), std::vector<std::string>{"drop rifle (50.0, 0.0, 60.0) (-1.0, 0.0, 0.0) 1"});
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 2 knife nowhere 1"), kDone) << "no mark: taken, not dropped";
    EXPECT_FALSE(lists.equipment->Contains("knife"));
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 2 loose drop 1"), kFailed) << "not a stored script actor";
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 2 nothing drop 1"), kFailed);
    EXPECT_EQ(lists.previous, 1);
    EXPECT_EQ(Notes(), std::vector<std::string>{});

    lists.equipment->Add(Item("medkit", Bound("medkit")));
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 0 medkit"), kDone);
    EXPECT_FALSE(lists.equipment->Contains("medkit")) << "removed from the equipment when not in the inventory";

    ScenarioGetHeroHooks() = ScenarioHeroHooks{};
    sLists = nullptr;
    lists.inventory->Release();
    lists.equipment->Release();
}

std::vector<std::string>* sTexts = nullptr;

TEST_F(ScenarioCommands, TextLinesGoToTheDisplay)
{
    std::vector<std::string> texts;
    sTexts = &texts;
    ScenarioGetHudHooks().logText = [](const char* id) { sTexts->push_back(id); };
    ScenarioGetHudHooks().clearTexts = [] { sTexts->push_back("(cleared)"); };
    const char* const lines[] = {
        "DisplayText 0 TX_HELLO",
        "DisplayText 0 TX_TUTORIAL_02_MAP_TXT",
        "DisplayText 1 TX_NOT_SHOWN",
        "SetPhysicalInventoryAction 1 1 a b TX_PICKED",
        "SetPhysicalInventoryAction 0 1 a b TX_NOT_LOGGED",
        "EraseText 0",
        "EraseText 0 1 2",
    };
    for (const char* line : lines)
        EXPECT_EQ(Run(line), kDone) << line;
    EXPECT_EQ(texts, (std::vector<std::string>{"TX_HELLO", "TX_TUTORIAL_02_MAP_WIN32_TXT", "TX_PICKED", "(cleared)"}));
    ScenarioResetHudHooks();
    sTexts = nullptr;
}

TEST_F(ScenarioCommands, AnObjectOnBone27IsTheHerosCarriedObjectUntilDetached)
{
    auto* hero = static_cast<TsHeroActor*>(Create("john", kHeroType));
    ASSERT_NE(hero, nullptr);
    W3dAnimObject* model = WalkerModel::Create(nullptr);
    ASSERT_NE(model, nullptr);
    hero->SetModel(model);
    ASSERT_EQ(hero->GetNode(), model);
    W3dFrame* crate = W3dFrame::Create();
    W3dFrame* hat = W3dFrame::Create();
    crate->AddRef();
    hat->AddRef();
    ScenarioActorSlots::Set(4, crate);
    ScenarioActorSlots::Set(5, hat);

    EXPECT_EQ(Run("AttachObjectOnActor 0 0 4 Head"), kDone);
    EXPECT_EQ(crate->GetParent(), model);
    EXPECT_NE(crate->GetFlags() & W3dNode::kVisible, 0u);
    EXPECT_EQ(ScenarioGetCarriedBone(hero), kScenarioCarriedObjectBone);
    EXPECT_EQ(ScenarioGetCarriedNode(hero), crate);
    EXPECT_EQ(Run("AttachObjectOnActor 0 0 5 Pelvis"), kDone);
    EXPECT_EQ(hat->GetParent(), model);
    EXPECT_EQ(ScenarioGetCarriedNode(hero), crate) << "another bone is no carried object";
    EXPECT_EQ(Run("AttachObjectOnActor 0 0 4 Pelvis"), kDone) << "a hung node stays where it is";
    EXPECT_EQ(model->GetAttachedNode(3), hat);

    // Mode 1 hangs a node on a bone of the slot's actor; it is no carried object of the hero.
    W3dFrame* badge = W3dFrame::Create();
    badge->AddRef();
    ScenarioActorSlots::Set(6, badge);
    ScenarioActorSlots::Set(2, hero);
    EXPECT_EQ(Run("AttachedObjectCreate 0 1 6 0 0 0 0 0 0 NONE 2 Upper_Torso"), kDone);
    EXPECT_EQ(badge->GetParent(), model);
    EXPECT_EQ(ScenarioGetCarriedNode(hero), crate);
    EXPECT_EQ(Run("DetachObjectFromActor 0 6"), kDone);
    EXPECT_EQ(badge->GetParent(), nullptr);
    badge->Release();

    EXPECT_EQ(Run("DetachObjectFromActor 0 5"), kDone);
    EXPECT_EQ(hat->GetParent(), nullptr);
    EXPECT_EQ(ScenarioGetCarriedNode(hero), crate);
    EXPECT_EQ(Run("DetachObjectFromActor 0 4"), kDone);
    EXPECT_EQ(crate->GetParent(), nullptr);
    EXPECT_EQ(ScenarioGetCarriedBone(hero), -1);
    EXPECT_EQ(Run("AttachObjectOnActor 0 0 200 Head"), kFailed);
    crate->Release();
    hat->Release();
}

TEST_F(ScenarioCommands, MarkLocksReachMarksAndEveryMarkOfAPath)
{
    TsMarkSystem* marks = TsGetMarkSystem();
    EXPECT_EQ(Run("SetMarkLock 0 0 drop"), kDone);
    EXPECT_EQ(marks->FindMark("drop")->mHeld, 1);
    EXPECT_EQ(Run("SetMarkLock 0 2 gate"), kDone);
    EXPECT_EQ(marks->FindMark("gate_a")->mHeld + marks->FindMark("gate_b")->mHeld, 2);
    EXPECT_EQ(Run("SetMarkLock 0 1 drop x"), kDone) << "five tokens: nothing";
    EXPECT_EQ(marks->FindMark("drop")->mHeld, 1);
    EXPECT_EQ(Run("SetMarkLock 0 1 drop"), kDone);
    EXPECT_EQ(Run("SetMarkLock 0 3 gate"), kDone);
    EXPECT_EQ(marks->FindMark("drop")->mHeld + marks->FindMark("gate_a")->mHeld + marks->FindMark("gate_b")->mHeld, 0);
    EXPECT_EQ(Run("SetMarkLock 0 0 nowhere"), kDone);
}

TEST_F(ScenarioCommands, MissingExtraAndMalformedTokensAnswerTheirErrorAndChangeNothing)
{
    ASSERT_EQ(Exec("director = Directing()"), "");
    Notes();
    struct Case
    {
        const char* line;
        int answer;
    };
    const Case cases[] = {
        {"launch_sector", kDone},
        {"launch_sector 2 W1 L1 S02", kDone},
        {"set_sector 0 W1 L1 S02 extra", kDone},
        {"AnimatedMaterial 0 0", kDone},
        {"AnimatedMaterial 0 0 NO_SUCH_TEXTURE 1", kFailed},
        {"SetActorPath 0 3", kDone},
        {"SetActorPath 0 3 a b", kDone},
        {"SetActorPath 0 -1 a", kFailed},
        {"SetActorBhvScenaricCallBack 0 3 a", kDone},
        {"PlayAnim 0 0 0 3 ANIM_ANM 0.1 0 100 1", kDone},
        {"PlayAnim 1 0 0 3 ANIM_ANM 0.1", kDone},
        {"PlayAnim 1 0 0 999 ANIM_ANM 0.1 0 100 1", kFailed},
        {"Bonus 1 3 box 0 0 0 0 0", kFailed},
        {"Bonus 0 3 box 0 0 0 0 0 1 x sub 1", kFailed},
        {"Door 1 200 box 0 0 0 0 0 1 x sub 1", kFailed},
        {"Door 1 -5 box 0 0 0 0 0 1 x sub 1", kFailed},
        {"Gard 1 3 0box 0 0 0 0 0 1 x sub 1", kFailed},
        {"MobileDof 1 3", kDone},
        {"WObject 0 3 0 0 0 0 0 1 NO_SUCH_MODEL", kDone},
        {"WObject 0 3 0 0 0 0 0 1", kDone},
        {"SoundTriggerCreate 0 0 3 1", kDone},
        {"SoundTriggerCreate 0 0 300 1 2 3", kFailed},
        {"SoundTriggerUpdate 0 0", kDone},
        {"SoundTriggerUpdate 0 0 3 1 0 2 5", kDone},
        {"TriggerUpdate 0 1 3 0", kDone},
        {"TriggerUpdate 0 0 3000 0", kFailed},
        {"Play2DSound 0", kDone},
        {"MusicModifier 0 0 SD_X_S2DSB 1 0", kDone},
        {"SetSectorMusic 0 a b c", kDone},
        {"Create3DSound 0 5 1 2 3 0 0 0", kDone},
        {"Create3DSound 0 -1 1 2 3 0 0 0 SD", kFailed},
        {"LaunchFX 0 3", kDone},
        {"LaunchFX 0 3 nowhere", kDone},
        {"PlayFX 0 7 0 0 0 0 0 1 3", kDone},
        {"PlayFX 0 120 0 0 0 0 0 1 3 1", kFailed},
        {"FXModifier 0 0", kDone},
        {"FXModifier 0 0 -3", kFailed},
        {"SoundModifier 0 0", kDone},
        {"SoundModifier 0 0 200", kFailed},
        {"SetActorState", kDone},
        {"SetActorState 0 7 3", kDone},
        {"SetActorState 0 3 -1", kFailed},
        {"SetActorState 0 1 250", kFailed},
        {"SetActorPosition 0 3", kDone},
        {"SetActorPosition 0 999 drop", kFailed},
        {"SetEndMission 0", kDone},
        {"SetPhysicalInventoryAction", kDone},
        {"LaunchLabel 0 1 2", kDone},
        {"FadeIn 0 255 0 0", kDone},
        {"FadeOut 0 255 0 0 1 2", kDone},
        {"FadeIn 0 255 0 0 nan", kDone},
        {"FadeOut 0 0 0 99999999999 1e300", kDone},
        {"SetSectorAlarm 0", kDone},
        {"SetSectorRespawnBuffer 0 1 2", kDone},
        {"SetMarkLock 0 0 drop x", kDone},
        {"SetEnemy 0 3", kDone},
        {"SetEnemy 0 3 4 5", kDone},
        {"SetEnemy 0 3 -4", kFailed},
        {"SetObjective 0 1 0 0 0", kDone},
        {"SetObjective 0 1 0", kFailed},
        {"AttachedObjectCreate 0 0 3", kDone},
        {"AttachedObjectCreate 0 0 -3", kFailed},
        {"AttachObjectOnActor 0 1 3 999 Head", kDone},
        {"DetachObjectFromActor 0", kDone},
        {"DetachObjectFromActor 0 777", kFailed},
        {"SetHeroControl", kDone},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(Run(c.line), c.answer) << c.line;
        EXPECT_EQ(FilledSlots(), 0) << c.line;
        EXPECT_EQ(Notes(), std::vector<std::string>{}) << c.line;
    }
    EXPECT_EQ(mProfile->sectorId, "W1L1S01");
    EXPECT_EQ(mProfile->labelRequest + mProfile->missionEndRequest + mProfile->pauseLabelRequest, 0);
    EXPECT_EQ(Eval("'box' in globals()"), "False");
}
} // namespace
} // namespace scenarictest
