// The module "scenaric" beyond actors and geometry: inventories and logical inventories,
// ammunition, triggers named by handles, the profile's sector and difficulty, random numbers,
// ambush marks, command scripts, and event boxes tested at a mark.
#include "eboxtestkinds.h"
#include "eventboxwriter.h"
#include "gameplayactortypes.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbcommand.h"
#include "hbfile_fixture.h"
#include "hbhashmap.h"
#include "hbresource.h"
#include "scenaricmodule.h"
#include "scenaricmodule_fixture.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "tseventboxes.h"
#include "tsinventory.h"
#include "tsmarksystem.h"
#include "tsnoise.h"
#include "tsscenaricmarks.h"
#include "tstrigger.h"
#include "tsweaponshoot.h"
#include "weapontables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using namespace scenarictest;

class TestStage : public GameState
{
public:
    explicit TestStage(int32_t id = kGameStateStage) : GameState(id) {}
    void Leave() override {}
    void Update() override {}
    void CreateCameras() override { ++mCameras; }
    StringHashMap* GetSectorLogicalInventory() override { return GetId() == kGameStateStage ? &mInventory : nullptr; }
    StringHashMap mInventory{17, 10};
    int32_t mCameras = 0;
};

TsInventory* gInventory = nullptr;
TsInventory* gEquipment = nullptr;
std::vector<std::string> gTaken;

class CountingCommand : public HbCommand
{
public:
    CountingCommand() : HbCommand("scenaric_test_count", "") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        ++runs;
        return 1;
    }
    int runs = 0;
};
CountingCommand gCounting;

class ScenaricData : public ScenaricTest
{
protected:
    void SetUp() override
    {
        ScenaricTest::SetUp();
        eboxtest::Reset();
        TsEventBoxesInstall(mWorld);
        mManager = GameStateManager::Instance();
        mProfile = new GameProfile();
        mProfile->AddRef();
        gInventory = new TsInventory();
        gInventory->AddRef();
        gEquipment = new TsInventory();
        gEquipment->AddRef();
        gTaken.clear();
        ScenaricSetHeroAccess({[](TsActor*) { return gInventory; }, [](TsActor*) { return gEquipment; },
                               [](TsActor*, TsActor*, const char* name) { gTaken.push_back(name); }});
    }
    void TearDown() override
    {
        Enter(nullptr);
        ScenaricSetHeroAccess({});
        gInventory->Release();
        gEquipment->Release();
        mProfile->Release();
        for (const std::string& id : mDeclared)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        ScenaricTest::TearDown();
    }

    /// Makes the state current with the test's profile (null: no state).
    void Enter(TestStage* state)
    {
        if (state)
            state->SetProfile(mProfile);
        mManager->SetCurrentState(state);
    }

    void Declare(const std::string& id, const std::vector<uint8_t>& bytes, const char* extension)
    {
        const std::string path = mDir / (id + extension);
        hbtest::WriteBytes(path, std::string(bytes.begin(), bytes.end()));
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mDeclared.push_back(id);
    }

    /// A level database of marks, loaded as the script world's mark system.
    void LoadMarks(const std::vector<ScenarioMarkEntry>& marks)
    {
        std::vector<ScenarioSection> sections = {{10, {}}, {1, {}}};
        for (const ScenarioMarkEntry& mark : marks)
            sections[mark.identifier.find("AMBUSH") != std::string::npos ? 0 : 1].marks.push_back(mark);
        const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes(sections);
        Declare("DATA_SCE", bytes, ".sce");
        for (const ScenarioMarkEntry& mark : marks)
            Declare(mark.identifier, bytes, ".sce");
        TsMarkSystemInstall(mWorld);
        ASSERT_EQ(mWorld->LoadScenaricData("DATA_SCE"), 1);
    }

    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
    hbtest::TempDir mDir;
    std::vector<std::string> mDeclared;
};

ScenarioMarkEntry Mark(const std::string& id, const std::string& name, Vector at,
                       std::vector<ScenarioValue> extras = {})
{
    ScenarioMarkEntry mark;
    mark.identifier = id;
    mark.name = name;
    mark.SetPosition(at.x, at.y, at.z);
    mark.extras = std::move(extras);
    return mark;
}

TEST_F(ScenaricData, LogicalInventoriesCountNamesAndNeedTheStage)
{
    TestStage menu(kGameStateMainMenu);
    Enter(&menu);
    for (const char* call : {"AddToSectorLogicalInventory('KEY')", "RemoveFromSectorLogicalInventory('KEY')",
                             "IsItemInSectorLogicalInventory('KEY')"})
        EXPECT_EQ(Exec(call), "TypeError: IsItemInSectorLogicalInventory : The sector is not instanciate !\n") << call;
    EXPECT_EQ(Exec("AddToGlobalLogicalInventory('KEY')"),
              "TypeError: AddToGlobalLogicalInventory : The Global is not instanciate !\n");
    EXPECT_EQ(Exec("RemoveFromGlobalLogicalInventory('KEY')"),
              "TypeError: RemoveFromGlobalLogicalInventory : The Global is not instanciate !\n");
    EXPECT_EQ(Exec("IsItemInGlobalLogicalInventory('KEY')"),
              "TypeError: IsItemInGlobalLogicalInventory : The Global is not instanciate !\n");
    Enter(nullptr);
    EXPECT_EQ(Exec("AddToSectorLogicalInventory('KEY')"),
              "TypeError: IsItemInSectorLogicalInventory : The sector is not instanciate !\n")
        << "no state at all";

    TestStage stage;
    Enter(&stage);
    for (const char* kind : {"Sector", "Global"})
    {
        const std::string add = std::string("AddTo") + kind + "LogicalInventory('KEY')";
        const std::string remove = std::string("RemoveFrom") + kind + "LogicalInventory('";
        const std::string has = std::string("IsItemIn") + kind + "LogicalInventory('KEY')";
        ASSERT_EQ(Exec(add + "\n" + add + "\n" + remove + "KEY')"), "") << kind;
        EXPECT_EQ(Eval(has), "1") << kind << ": added twice, removed once";
        ASSERT_EQ(Exec(remove + "KEY')\n" + remove + "KEY')\n" + remove + "DOOR')"), "") << kind;
        EXPECT_EQ(Eval(has), "0") << kind;
    }
    EXPECT_EQ(stage.mInventory.GetCount(), 0) << "an absent name removed changes nothing";
    EXPECT_EQ(mProfile->globalInventory.GetCount(), 0);
    // The global functions over a stage without a profile: nothing kept, every name present.
    stage.SetProfile(nullptr);
    EXPECT_EQ(Exec("AddToGlobalLogicalInventory('KEY')"), "");
    EXPECT_EQ(Eval("IsItemInGlobalLogicalInventory('GHOST')"), "1");
}

TEST_F(ScenaricData, InventoryAndEquipmentItemsOfTheHero)
{
    EXPECT_EQ(Exec("AddToInventory(None, 'MAP')"), "TypeError: Item not added in Inventory") << "no hero yet";
    Create("hero", kHeroType);
    TsActor* box = Create("box");
    ASSERT_EQ(Exec("AddToInventory(None, 'MAP')\nAddToInventory(box, 'CRATE', 'a crate')"), "");
    ASSERT_EQ(gInventory->GetCount(), 2);
    EXPECT_EQ(gInventory->GetItem(0)->GetActor(), nullptr);
    EXPECT_EQ(gInventory->GetItem(1)->GetActor(), box);
    EXPECT_EQ(gInventory->GetItem(1)->mTexts[0], "a crate");
    EXPECT_EQ(gInventory->GetItem(1)->GetRefCount(), 1) << "the list's reference only";

    EXPECT_EQ(Eval("AddToEquipment(box, 'TOOL', 'second')"), "1");
    EXPECT_EQ(Eval("AddToEquipment(None, 'BADGE', 'first', 'second')"), "1");
    ASSERT_EQ(gEquipment->GetCount(), 2);
    EXPECT_EQ(gEquipment->GetItem(0)->mTexts[0], "") << "three arguments: no first text";
    EXPECT_EQ(gEquipment->GetItem(0)->mTexts[1], "second");
    EXPECT_EQ(gEquipment->GetItem(1)->mTexts[0], "first");
    EXPECT_EQ(Eval("GetEquipmentItem('TOOL') is box"), "True");
    EXPECT_EQ(Eval("GetEquipmentItem('BADGE')"), "None") << "no physical actor";
    EXPECT_EQ(Eval("GetEquipmentItem('NOTHING')"), "None");
    EXPECT_EQ(Exec("AddToEquipment(Thing(), 'X', 'y')"),
              "TypeError: AddToEquipment : the object is not bound to a live actor");
    EXPECT_TRUE(gTaken.empty()) << "no weapon of kind 2 was given";
}

TEST_F(ScenaricData, AmmunitionFollowsTheProfilesUnlimitedFlag)
{
    TestStage stage;
    Enter(&stage);
    WeaponsInstall();
    ASSERT_EQ(Exec("gun = Thing()\nCreateActor(gun, " + std::to_string(kActorTypeWeaponShoot) + ")"), "");
    auto* gun = HbCastTo<TsWeaponShoot>(Bound("gun"));
    ASSERT_NE(gun, nullptr);
    gun->mMagazineSize = 10;
    Create("lamp");
    ASSERT_EQ(Exec("SetAmmoNumber(gun, 25)"), "");
    EXPECT_EQ(gun->GetTotal(), 25);
    ASSERT_EQ(Exec("AddAmmo(gun, 5)"), "");
    EXPECT_EQ(gun->GetTotal(), 30);
    mProfile->unlimitedAmmo = 1;
    ASSERT_EQ(Exec("SetAmmoNumber(gun, 25)"), "");
    EXPECT_EQ(gun->GetTotal(), -1) << "unlimited ammunition";
    ASSERT_EQ(Exec("AddAmmo(gun, 5)"), "");
    EXPECT_EQ(gun->GetTotal(), -1) << "an unlimited stock takes no more";
    EXPECT_EQ(Exec("SetAmmoNumber(lamp, 3)\nAddAmmo(lamp, 3)"), "") << "not a firearm: nothing";
    ASSERT_EQ(Exec("SetWeaponLocation(gun, 1, 2, 3)"), "");
    EXPECT_EQ(gun->mLocation.z, 3.0f);
    EXPECT_EQ(Exec("SetWeaponLocation(lamp, 1, 2, 3)"), "TypeError: SetWeaponLocation : Actor is not a TsWeapon");
}

TEST_F(ScenaricData, NoiseRowsAndSightReachTheActorLayer)
{
    const char* query = "(GetSoundLevel(r), GetSoundRadius(r), IsSoundTypeNORMAL(r), IsSoundTypeSUSPECT(r), "
                        "IsSoundTypeALARM(r), IsSoundTypeDANGER(r), IsSoundLevelNONE(r), IsSoundLevelLIGHT(r), "
                        "IsSoundLevelMEDIUM(r), IsSoundLevelHEAVY(r), IsSoundLevelSATURATE(r))";
    for (int32_t row : {0, 1, 4, 7, 10, 13, 99})
    {
        const TsNoiseRow& n = TsNoiseRowAt(row);
        std::string expected = "(" + std::to_string(n.level) + ", " + std::to_string(n.radius);
        for (int32_t type = 0; type < 4; ++type)
            expected += n.type == type ? ", 1" : ", 0";
        for (int32_t level : {0, 25, 50, 75, 100})
            expected += n.level == level ? ", 1" : ", 0";
        ASSERT_EQ(Exec("r = " + std::to_string(row)), "");
        EXPECT_EQ(Eval(query), expected + ")") << "row " << row;
    }

    TsActor* guard = Create("guard");
    ASSERT_EQ(Exec("SetActorSoundLevel(guard, 10)"), "");
    EXPECT_EQ(Eval("GetActorSoundLevel(guard)"), std::to_string(TsNoiseRowAt(10).level));
    ASSERT_EQ(Exec("SetActorVisibilityAngle(guard, 10, 20, 30)\n"
                   "SetActorVisibilityDistance(guard, 2, 3, (1, 2, 3, 4, 5))\n"
                   "SetActorVisibilityDistance(guard, 4, 3, (9, 9, 9, 9, 9))\n"
                   "SetActorVisibilityDistanceMultiplier(guard, 1.5)"),
              "");
    EXPECT_EQ(guard->mSightAngles[0], 10.0f);
    EXPECT_EQ(guard->mSightAngles[2], 30.0f);
    EXPECT_EQ(guard->mSightAngles[3], 0.0f) << "the fourth threshold is not the scripts'";
    for (int32_t c = 0; c < 5; ++c)
        EXPECT_EQ(guard->mSightTable[2][3][c], float(c + 1));
    EXPECT_EQ(guard->mSightMultiplier, 1.5f);
    EXPECT_EQ(Exec("SetActorVisibilityDistance(guard, 0, 0, (1, 2))"),
              "TypeError: SetActorVisibilityDistanceTuple() takes exactly 5 arguments (2 given)");
}

TEST_F(ScenaricData, TriggersAreNamedByHandlesOfLiveTriggers)
{
    ASSERT_EQ(TriggerManager::Create(), 1);
    struct Refusal
    {
        const char* call;
        const char* text;
    } refusals[] = {
        {"DropTrigger(3, 1, 10, 0.5, 2.0, 0, 0, 1.0)", "DropTrigger : Position is not a vertex !"},
        {"DropTrigger(v, 0, 10, 0.5, 2.0, 0, 0, 1.0)", "DropTrigger : Invalid Event To Send"},
        {"DropTrigger(v, 1, -1, 0.5, 2.0, 0, 0, 1.0)", "DropTrigger : Invalid Distance"},
        {"DropTrigger(v, 1, 10, -0.5, 2.0, 0, 0, 1.0)", "DropTrigger : Invalid send frequency"},
        {"DropTrigger(v, 1, 10, 0.5, -2.0, 0, 0, 1.0)", "DropTrigger : Invalid life duration"},
        {"DropTrigger(v, 1, 10, 0.5, 2.0, 0, 2, 1.0)", "DropTrigger : Invalid collideable flag"},
    };
    ASSERT_EQ(Exec("v = vertex(10, 20, 30)"), "");
    for (const Refusal& r : refusals)
        EXPECT_EQ(Exec(r.call), std::string("TypeError: ") + r.text) << r.call;
    EXPECT_EQ(TriggerManager::GetLiveCount(), 0) << "a refused drop takes no trigger";

    ASSERT_EQ(Exec("h = DropTrigger(v, 1, 10, 0.5, 20.0, 0, 0, 1.0)"), "");
    EXPECT_EQ(Eval("xyz(GetTriggerPos(h))"), "(10.0, 20.0, 30.0)");
    ASSERT_EQ(Exec("DestroyTrigger(h)"), "");
    for (const char* call :
         {"GetTriggerPos(h)", "DestroyTrigger(h)", "GetTriggerPos(0)", "GetTriggerPos(-5)", "GetTriggerPos(123456789)"})
        EXPECT_EQ(Exec(call), "TypeError: GetTriggerPos : Actor is not a TsTrigger") << call;

    // The pool holds 200: the 201st drop is refused, and an old handle never names a trigger
    // taken again.
    ASSERT_EQ(Exec("hs = [DropTrigger(v, 1, 10, 0.5, 20.0, 0, 0, 1.0) for i in range(200)]"), "");
    EXPECT_EQ(Eval("len(set(hs)) == 200 and h not in hs"), "True");
    EXPECT_EQ(Exec("DropTrigger(v, 1, 10, 0.5, 20.0, 0, 0, 1.0)"),
              "TypeError: DropTrigger : Can't generate a valid Trigger. Check that there is not too many launched "
              "trigger, or increase TriggerManager capacity");
    EXPECT_EQ(Exec("GetTriggerPos(h)"), "TypeError: GetTriggerPos : Actor is not a TsTrigger");
    ASSERT_EQ(Exec("for x in hs: DestroyTrigger(x)"), "");
    EXPECT_EQ(TriggerManager::GetLiveCount(), 0);
    TriggerManager::Free();
}

TEST_F(ScenaricData, TheProfilesSectorStartMarkAndDifficulty)
{
    EXPECT_EQ(Eval("GetSectorID()"), "None");
    EXPECT_EQ(Eval("GetStartMark()"), "None");
    EXPECT_EQ(Exec("CreateCameras()"), "TypeError: CreateCameras : Current Gamestate not define !");
    TestStage stage;
    Enter(&stage);
    mProfile->sectorId = "W3L1S01";
    mProfile->startMark = "MK_HERO_START02";
    mProfile->missionTable.words[MissionTable::kDifficulty] = 2;
    EXPECT_EQ(Eval("GetSectorID()"), "('W3', 'L1', 'S01')");
    EXPECT_EQ(Eval("GetStartMark()"), "'MK_HERO_START02'");
    EXPECT_EQ(Eval("GetDifficultyLevel()"), "2");
    EXPECT_EQ(Exec("CreateCameras()"), "");
    EXPECT_EQ(stage.mCameras, 1);
    mProfile->sectorId = "W3";
    EXPECT_EQ(Eval("GetSectorID()"), "('W3', '', '')") << "a short id leaves the parts it lacks empty";
    EXPECT_EQ(Exec("LaunchObjectiveSuccess('OPEN_GATE')"), "") << "no such objective action: nothing";
    EXPECT_EQ(Eval("(IsDebugMode(), GetPlatformId())"), "(0, 0)");
}

std::vector<std::string> gDrawn;

TEST_F(ScenaricData, LoadingALevelDrawsAFrameOfTheOneInPlaceFirst)
{
    GameServices saved = GameServicesTable();
    GameServicesTable().rendererBeginFrame = [] { gDrawn.push_back("begin"); };
    GameServicesTable().rendererRenderScene = [] { gDrawn.push_back("scene"); };
    GameServicesTable().rendererEndFrame = [] { gDrawn.push_back("end"); };
    gDrawn.clear();
    EXPECT_EQ(Eval("LoadLevel('NO_SUCH_LEVEL')"), "0");
    EXPECT_EQ(gDrawn, (std::vector<std::string>{"begin", "end"})) << "a level in place, no stage level to draw";
    gDrawn.clear();
    EXPECT_EQ(Eval("LoadLevel('NO_SUCH_LEVEL')"), "0");
    EXPECT_TRUE(gDrawn.empty()) << "no level in place any more";
    EXPECT_EQ(Eval("(LoadAStar('NONE_AS'), LoadScenaricData('NONE_SCE'), LoadEventBoxes('NONE_YB'), "
                   "LoadCinematicSplines('NONE_SDB'))"),
              "(0, 0, 0, 0)");
    GameServicesTable() = saved;
}

TEST_F(ScenaricData, RandomNumbersStayInTheirRanges)
{
    EXPECT_EQ(Eval("set(GetIntegerRandom(1) for i in range(200))"), "{0}");
    EXPECT_EQ(Eval("all(0 <= GetIntegerRandom(6) < 6 for i in range(500))"), "True");
    EXPECT_EQ(Eval("len(set(GetIntegerRandom(6) for i in range(500))) == 6"), "True");
    EXPECT_EQ(Eval("all(0.0 <= GetUniformRandom(2.5) < 2.5 for i in range(500))"), "True");
    EXPECT_EQ(Eval("all(10.0 <= GetGaussianRandom(10.0, 3.0) < 13.0 for i in range(500))"), "True");
}

TEST_F(ScenaricData, AnAmbushMarkSuitsAnEnemyWithinItsModesAngle)
{
    LoadMarks({Mark("M_0_AMBUSHMARK", "amb0", {0, 0, 0}, ScenarioDbWriter::Ambush(0)),
               Mark("M_2_AMBUSHMARK", "amb2", {0, 0, 0}, ScenarioDbWriter::Ambush(2)),
               Mark("M_3_AMBUSHMARK", "amb3", {0, 0, 0}, ScenarioDbWriter::Ambush(3)),
               Mark("M_4_AMBUSHMARK", "amb4", {0, 0, 0}, ScenarioDbWriter::Ambush(4)),
               Mark("M_7_AMBUSHMARK", "amb7", {0, 0, 0}, ScenarioDbWriter::Ambush(7)),
               Mark("M_P_ATTACKMARK", "plain", {0, 0, 0})});
    Create("guard");
    Create("enemy");
    ASSERT_EQ(Exec("SetPosition(guard, vertex(10, 0, 10))\n"
                   "import math\n"
                   "def at(deg):\n"
                   "    return vertex(1000 * math.sin(math.radians(deg)), 0, 1000 * math.cos(math.radians(deg)))\n"
                   // Which side the module's angles count as positive, from the mark's facing +z.
                   "side = 1 if GetHorizontalAngleBetweenVectors(vertex(0, 0, 1), at(30)) > 0 else -1\n"
                   "def valid(mark, deg, radius=100.0, kind=6):\n"
                   "    return IsLockedMarkValidForCombat(guard, mark, None, at(side * deg), kind, radius)\n"),
              "");
    struct Case
    {
        const char* mark;
        int degrees;
        int valid;
    } cases[] = {{"amb2", 30, 1}, {"amb2", -30, 0}, {"amb2", 60, 0}, {"amb3", -30, 1}, {"amb3", 30, 0},
                 {"amb0", 30, 1}, {"amb0", -30, 1}, {"amb0", 60, 0}, {"amb4", 170, 1}, {"amb7", 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(Eval("valid('" + std::string(c.mark) + "', " + std::to_string(c.degrees) + ")"),
                  std::to_string(c.valid))
            << c.mark << " at " << c.degrees;
    EXPECT_EQ(Eval("valid('amb4', 0, radius=10.0)"), "0") << "the actor stands outside the radius";
    EXPECT_EQ(Eval("valid('amb4', 0, kind=1)"), "0") << "another kind";
    EXPECT_EQ(Eval("valid('plain', 0, kind=1)"), "0") << "the attack kind, but no ambush mode";
    // An enemy actor's position comes before the vertex.
    ASSERT_EQ(Exec("SetPosition(enemy, at(side * 30))"), "");
    EXPECT_EQ(Eval("IsLockedMarkValidForCombat(guard, 'amb2', enemy, at(side * -30), 6, 100.0)"), "1");
    EXPECT_EQ(Exec("valid('nowhere', 0)"), "TypeError: IsLockedMarkValidForCombat : Mark not found");
}

TEST_F(ScenaricData, RunScriptExecutesTheResourcesCommandFile)
{
    const std::string script = "scenaric_test_count\nscenaric_test_count\n";
    Declare("COUNT_SCR", std::vector<uint8_t>(script.begin(), script.end()), ".scr");
    gCounting.runs = 0;
    ASSERT_EQ(Exec("RunScript('COUNT_SCR')"), "");
    EXPECT_EQ(gCounting.runs, 2);
    EXPECT_EQ(Exec("RunScript('NO_SUCH_SCR')"), "TypeError: RunScript : Script file not found !");
}

TEST_F(ScenaricData, ABehaviourChangeRunsTheEntryBoxesAtAMarkWithNoActor)
{
    LoadMarks({Mark("M_D_ATTACKMARK", "door", {0, 0, 0})});
    using Obj = EBoxObjectEntry;
    auto box = [](int32_t mode, int32_t tag)
    {
        EBoxEntry entry;
        entry.size[0] = entry.size[1] = entry.size[2] = 100;
        entry.mode = mode;
        entry.conditions = {Obj::Condition("TESTCOND", 1, Obj::Int(0))};
        entry.actions = {Obj::Action("TESTACTION", 0.0f, Obj::Int(tag))};
        return entry;
    };
    EBoxEntry far = box(2, 9);
    far.centre[0] = 5000;
    Declare("DATA_YB", EventBoxWriter::Bytes({box(2, 2), box(4, 4), box(8, 8), box(0x40, 64), far}), ".yb");
    ASSERT_EQ(Eval("LoadEventBoxes('DATA_YB')"), "1");
    ASSERT_EQ(Exec("HasChangeBhvCallBack('door')\nHasChangeBhvCallBack('nowhere')"), "");
    EXPECT_EQ(eboxtest::Trace(), (std::vector<std::string>{"c0", "a2", "c0", "a4"}));
    EXPECT_EQ(eboxtest::Actors(), (std::vector<TsActor*>{nullptr, nullptr}));
    // Each call starts from nothing inside: the same boxes run again.
    eboxtest::Trace().clear();
    ASSERT_EQ(Exec("HasChangeBhvCallBack('door')"), "");
    EXPECT_EQ(eboxtest::Trace().size(), 4u);
}

} // namespace
