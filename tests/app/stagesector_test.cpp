// Leaving a sector and coming back through the stage: the first sector's saved actors, its
// one-shot event boxes and its respawn mark come back as the player left them, the sector
// between stores nothing of its own into the first, and a load request rolls the global
// logical inventory back to the last entry.
#include "eboxcontract.h"
#include "yoeventbox.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "gamestatestage.h"
#include "groupwriter.h"
#include "hbresource.h"
#include "logicalinventory.h"
#include "resourcegroups.h"
#include "scenaricmodule.h"
#include "scenariocommands.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "sectordatamanager.h"
#include "tsactortyperegistry.h"
#include "tsmarksystem.h"
#include "tsscenaricmarks.h"
#include "w3dframe.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace
{
using namespace scriptworldtest;

constexpr int32_t kLevelActorType = 9101;
constexpr int32_t kBoxes = 40;

/// A level actor placed by a frame node.
class LevelActor : public TsActor
{
public:
    LevelActor()
    {
        mNode = W3dFrame::Create();
        mNode->AddRef();
    }
    ~LevelActor() override
    {
        if (W3dNode* parent = mNode->GetParent())
            parent->RemoveChild(mNode);
        mNode->Release();
    }
};

class LevelActorFactory : public TsActorFactory
{
public:
    TsActor* Create() override
    {
        auto* actor = new LevelActor();
        actor->AddRef();
        return actor;
    }
};

/// A sector's event-box set as its file gives it at every load: 40 one-shot boxes, enabled.
class SectorBoxes : public YoEBox
{
public:
    SectorBoxes()
    {
        for (int32_t i = 0; i < kBoxes; ++i)
        {
            const float centre[3] = {float(i) * 100.0f, 0.0f, 0.0f}, size[3] = {10.0f, 10.0f, 10.0f};
            AddBox(centre, size, 0x10, {}, {}, {});
        }
        BuildIndex();
    }
    int Load(HbStream*, const char*) override { return 1; }
    int IsShared() const override { return 0; }
};
HB_REGISTER_RESOURCE_TYPE(SectorBoxes, "TBOX");

const char* const kLevelScript = "from scenaric import *\n"
                                 "class Data:\n"
                                 "    def __init__(self, name):\n"
                                 "        self.__name__ = name\n"
                                 "class Guard:\n"
                                 "    def __init__(self, name, data):\n"
                                 "        self.actorName = name\n"
                                 "        self.data = Data(data)\n"
                                 "        self.currentBehaviourGenericName = None\n"
                                 "        CreateActor(self, 9101)\n"
                                 "        SetFamily(self, 32)\n"
                                 "    def main(self, behaviour):\n"
                                 "        self.currentBehaviourGenericName = behaviour\n"
                                 "        note('main %s %s' % (self.actorName, behaviour))\n"
                                 "    def delete(self):\n"
                                 "        note('delete ' + self.actorName)\n"
                                 "        globals().pop(self.actorName, None)\n"
                                 "        DeleteActor(self)\n"
                                 "level_actors = {'W3L1S01': ['guard', 'crate'], 'W3L1S02': ['sentry']}\n"
                                 "def begin(*a):\n"
                                 "    for n in level_actors[sector]:\n"
                                 "        globals()[n] = Guard(n, 'Actors.characters.' + n)\n"
                                 "        SetPosition(globals()[n], vertex(0, 0, 0))\n"
                                 "def end(*a):\n"
                                 "    for v in [v for v in globals().values() if isinstance(v, Guard)]:\n"
                                 "        v.delete()\n"
                                 "def where(n):\n"
                                 "    p = GetPosition(globals()[n])\n"
                                 "    return (round(p.x), round(p.y), round(p.z))\n";

class StageSectors : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScenaricModuleInstall();
        ScriptWorldTest::SetUp();
        static bool registered = false;
        if (!registered)
        {
            registered = true;
            TsActorTypeRegistry::Instance()->Register(new LevelActorFactory(), "STAGE_SECTOR_ACTOR", kLevelActorType);
        }
        GameServicesTable() = GameServicesLeast();
        GameServicesTable().scenarioLevelStart = ScenarioCommandsLevelStart;
        GameServicesTable().scenarioLevelEnd = ScenarioCommandsLevelEnd;
        GameServicesTable().scenarioHeroReady = ScenarioCommandsHeroReady;
        mManager = GameStateManager::Instance();
        mManager->Initialise();
        mProfile = mManager->GetProfile();
        ASSERT_NE(mProfile, nullptr);
        TsMarkSystemInstall(mWorld);
        for (const char* group : {"HERO", "W3L1", "W3L1S01", "W3L1S02", "FRONTEND"})
            GroupWriter::WriteText(std::string(group) + ".scr", "");
        ResourceGroupUnloadAll();
        ResourceGroupResetLayers();
        // Each sector's scenario database: one respawn mark of two uses.
        for (const char* sector : {"A", "B"})
        {
            ScenarioMarkEntry respawn;
            respawn.identifier = std::string("R") + sector + "_RESPAWNMARK";
            respawn.name = std::string("respawn_") + sector;
            respawn.extras = ScenarioDbWriter::Respawn(0, 0, 1.0f, 2);
            const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes({{17, {respawn}}});
            const std::string path = std::string("stage_sector_") + sector + ".sce";
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            Declare(std::string(sector) + "_SCE", path);
            Declare(respawn.identifier, path);
            mFiles.push_back(path);
        }
        std::ofstream("stage_sector.tbox").put('\n');
        mFiles.push_back("stage_sector.tbox");
        Declare("SECTOR_TBOX", "stage_sector.tbox");
        ASSERT_EQ(Exec(kLevelScript), "");
        mStage = new GameState_Stage();
        mStage->SetProfile(mProfile);
    }

    void TearDown() override
    {
        if (mStage->IsEntered())
            mStage->Leave();
        mScene = nullptr; // went with the last level
        delete mStage;
        if (SectorDataManager* sectors = SectorDataManager::Existing())
            sectors->ClearAll();
        mManager->Shutdown();
        ResourceGroupUnloadAll();
        GameServicesTable() = GameServicesLeast();
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        for (const std::string& file : mFiles)
            std::remove(file.c_str());
        ScriptWorldTest::TearDown();
    }

    void Declare(const std::string& id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mIds.push_back(id);
    }

    /// The level of the sector loaded as its groups would load it, then the stage entered.
    void Enter(const char* sector, const char* database)
    {
        if (!mWorld->GetScene())
        {
            mScene = new WScene();
            mScene->SetLevel(mLevel);
            mWorld->SetScene(mScene);
        }
        ASSERT_EQ(Exec(std::string("sector = '") + sector + "'"), "");
        mWorld->ImportScriptResource("NOSCRIPT_PY");
        PyObject* main = scripttest::MainDict();
        mWorld->SetLevelCallbacks(PyDict_GetItemString(main, "begin"), PyDict_GetItemString(main, "end"));
        ASSERT_EQ(mWorld->LoadScenaricData(database), 1);
        ASSERT_EQ(mWorld->LoadEventBoxes("SECTOR_TBOX"), 1);
        mProfile->sectorId = sector;
        mStage->Enter();
    }

    /// Leaves for another sector (the stage request keeps the sector's state).
    void Leave()
    {
        mProfile->stageRequest = 1;
        mStage->Leave();
        mProfile->stageRequest = 0;
    }

    SectorBoxes* Boxes() { return HbCastTo<SectorBoxes>(mWorld->GetEventBoxes()); }
    RespawnMark* Respawn(const char* name) { return static_cast<RespawnMark*>(TsGetMarkSystem()->FindMark(name)); }

    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
    GameState_Stage* mStage = nullptr;
    std::vector<std::string> mIds;
    std::vector<std::string> mFiles;
};

TEST_F(StageSectors, ComingBackToASectorRestoresItsActorsBoxesMarksAndTheInventoryOfTheLastEntry)
{
    Enter("W3L1S01", "A_SCE");
    ASSERT_NE(Boxes(), nullptr);
    ASSERT_EQ(Eval("where('guard')"), "(0, 0, 0)");
    // Played: the guard walks off on patrol, the crate is destroyed, two one-shot boxes fire, the
    // respawn mark is used once and a key is picked up.
    ASSERT_EQ(Exec("SetPosition(guard, vertex(30, 0, 40))\nguard.main('patrol')\ncrate.delete()"), "");
    Boxes()->SetBoxEnabled(2, 0);
    Boxes()->SetBoxEnabled(35, 0);
    Respawn("respawn_A")->mRemainingUses = 1;
    LogicalInventoryAdd(mProfile->globalInventory, "KEY");
    Leave();
    EXPECT_EQ(Eval("[n for n in ('guard', 'crate') if n in globals()]"), "[]") << "the level's end took them";

    Enter("W3L1S02", "B_SCE");
    EXPECT_EQ(Eval("where('sentry')"), "(0, 0, 0)");
    EXPECT_EQ(Boxes()->IsBoxEnabled(2), 1) << "a sector never left keeps its file's flags";
    LogicalInventoryAdd(mProfile->globalInventory, "MAP");
    Leave();

    Log().clear();
    Enter("W3L1S01", "A_SCE");
    const std::vector<std::string> notes = Log();
    EXPECT_NE(std::find(notes.begin(), notes.end(), "main guard patrol"), notes.end());
    EXPECT_NE(std::find(notes.begin(), notes.end(), "delete crate"), notes.end())
        << "made by the level, gone when left";
    EXPECT_EQ(Eval("where('guard')"), "(30, 0, 40)");
    EXPECT_EQ(Eval("'crate' in globals()"), "False");
    for (int32_t i = 0; i < kBoxes; ++i)
        EXPECT_EQ(Boxes()->IsBoxEnabled(i), i == 2 || i == 35 ? 0 : 1) << "box " << i;
    EXPECT_EQ(Respawn("respawn_A")->mRemainingUses, 1);
    EXPECT_EQ(LogicalInventoryCount(mProfile->globalInventory, "KEY"), 1);
    EXPECT_EQ(LogicalInventoryCount(mProfile->globalInventory, "MAP"), 1);

    // A retry of this entry: what was picked up since goes, the sector comes back again.
    LogicalInventoryAdd(mProfile->globalInventory, "GUN");
    Leave();
    mProfile->loadRequest = 1;
    Enter("W3L1S01", "A_SCE");
    EXPECT_EQ(mProfile->loadRequest, 0);
    EXPECT_EQ(LogicalInventoryCount(mProfile->globalInventory, "GUN"), 0);
    EXPECT_EQ(LogicalInventoryCount(mProfile->globalInventory, "KEY"), 1);
    EXPECT_EQ(mProfile->globalInventory.GetCount(), 2);
    EXPECT_EQ(Eval("where('guard')"), "(30, 0, 40)");
    EXPECT_EQ(Boxes()->IsBoxEnabled(35), 0);
}
} // namespace
