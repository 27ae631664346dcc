// The stage's level over a running script world: loading it starts the level script, whose
// start marks the level loaded; deleting it ends the level (the script's end runs), marks it
// unloaded and takes its callbacks back. Entering again over the same scenario database
// leaves its respawn marks as the first entry fitted them to the difficulty.
#include "gameprofile.h"
#include "gameservices.h"
#include "gameservicesdefaults.h"
#include "gamestatemanager.h"
#include "gamestatestage.h"
#include "groupwriter.h"
#include "hbresource.h"
#include "ingamecamera.h"
#include "resourcegroups.h"
#include "scenariocamera.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "tsscenaricdatabase.h"
#include "tsscenaricmarks.h"
#include "wscene.h"

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

namespace
{
using namespace scriptworldtest;

int gLevelEnds = 0;

class StageLevelScript : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        GameServicesTable() = GameServicesLeast();
        GameServicesTable().scenarioLevelEnd = [] { ++gLevelEnds; };
        gLevelEnds = 0;
        mManager = GameStateManager::Instance();
        mManager->Initialise();
        mProfile = mManager->GetProfile();
    }
    void TearDown() override
    {
        mManager->Shutdown();
        ResourceGroupUnloadAll(); // the language choice's group: the least table unloads nothing
        GameServicesTable() = GameServicesLeast();
        ScriptWorldTest::TearDown();
    }
    PyObject* Main(const char* name) { return PyDict_GetItemString(scripttest::MainDict(), name); }

    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
};

TEST_F(StageLevelScript, LoadStartsTheLevelScriptAndDeletingItEndsIt)
{
    ASSERT_NE(mProfile, nullptr);
    ASSERT_EQ(Exec("def begin(*a):\n    note('begin')\ndef end(*a):\n    note('end')\n"), "");
    mWorld->ImportScriptResource("NOSCRIPT_PY");
    mWorld->SetLevelCallbacks(Main("begin"), Main("end"));
    const int32_t callbacks = mWorld->GetKeyCallbackCount();

    auto* level = new StageLevel();
    level->AddRef();
    mProfile->levelHandle.Assign(level);
    EXPECT_EQ(level->Load("W3L1S01"), 1);
    EXPECT_EQ(Log(), std::vector<std::string>{"begin"});
    EXPECT_EQ(mWorld->IsLevelStarted(), 1);
    EXPECT_EQ(level->IsLoaded(), 1) << "the level start marks the level loaded";
    EXPECT_EQ(mWorld->GetKeyCallbackCount(), callbacks + 2);

    // The level's end (key 1) marks it unloaded and releases the scenario tables.
    mWorld->RunKeyCallbacks(1);
    EXPECT_EQ(level->IsLoaded(), 0);
    EXPECT_EQ(gLevelEnds, 1);

    Log().clear();
    level->Release();
    mProfile->levelHandle.Reset();
    EXPECT_EQ(Log(), std::vector<std::string>{"end"});
    EXPECT_EQ(mWorld->IsLevelStarted(), 0);
    EXPECT_EQ(mWorld->GetKeyCallbackCount(), callbacks);
    EXPECT_EQ(gLevelEnds, 2);
    mScene = nullptr; // went with the level

    // Without the level's callbacks a new start leaves nothing to mark.
    mWorld->StartLevelScript();
    EXPECT_EQ(gLevelEnds, 2);
}
TEST_F(StageLevelScript, EachStageEntryRunsTheLevelScriptAndEachLeaveEndsIt)
{
    ASSERT_NE(mProfile, nullptr);
    ASSERT_EQ(Exec("def begin(*a):\n    note('begin')\ndef end(*a):\n    note('end')\n"), "");
    for (const char* group : {"HERO", "W3L1", "W3L1S01", "FRONTEND"})
        GroupWriter::WriteText(std::string(group) + ".scr", "");
    ResourceGroupUnloadAll();
    ResourceGroupResetLayers();
    mProfile->sectorId = "W3L1S01";
    auto* stage = new GameState_Stage();
    stage->SetProfile(mProfile);

    // The level's scenario database with one respawn mark of two uses, held as the level
    // group holds it; the level script makes a mark system over it at every start.
    TsMarkSystemInstall(mWorld);
    ScenarioMarkEntry respawn;
    respawn.identifier = "ST_R1_RESPAWNMARK";
    respawn.name = "respawn";
    respawn.extras = ScenarioDbWriter::Respawn(0, 0, 1.0f, 2);
    const std::vector<ScenarioSection> sections = {{17, {respawn}}};
    const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes(sections);
    const std::string path = "stage_level_test.sce";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    HbResourceManager* resources = HbResourceManager::Instance();
    resources->AddPath("STAGE_SCE", path.c_str());
    resources->AddPath("ST_R1_RESPAWNMARK", path.c_str());
    HbRoot* held = resources->GetResource("STAGE_SCE");
    ASSERT_NE(HbCastTo<TsScenaricDataBase>(held), nullptr);
    held->AddRef();
    mProfile->missionTable.words[MissionTable::kDifficulty] = 1;
    for (int entry = 0; entry < 2; ++entry)
    {
        // A retry: the level script imported again sets its callables again, and its level
        // comes back (the end of the level let the scene go).
        mWorld->ImportScriptResource("NOSCRIPT_PY");
        if (entry > 0)
        {
            mScene = new WScene();
            mScene->SetLevel(mLevel);
            mWorld->SetScene(mScene);
        }
        mWorld->SetLevelCallbacks(Main("begin"), Main("end"));
        ASSERT_EQ(mWorld->LoadScenaricData("STAGE_SCE"), 1);
        Log().clear();
        stage->Enter();
        // Entering the level again does not double its respawn marks again.
        EXPECT_EQ(static_cast<RespawnMark*>(TsGetMarkSystem()->FindMark("respawn"))->mRemainingUses, 4) << entry;
        ASSERT_TRUE(mProfile->levelHandle.IsValid()) << entry;
        EXPECT_EQ(static_cast<StageLevel*>(mProfile->levelHandle.GetObject())->IsLoaded(), 1) << entry;
        EXPECT_EQ(Log(), std::vector<std::string>{"begin"}) << entry;
        stage->Update();
        mProfile->stageRequest = 1;
        Log().clear();
        stage->Leave();
        EXPECT_EQ(Log(), std::vector<std::string>{"end"}) << entry;
        EXPECT_FALSE(mProfile->levelHandle.IsValid()) << entry;
        EXPECT_EQ(mWorld->IsLevelStarted(), 0) << entry;
    }
    mScene = nullptr; // went with the last level
    held->Release();
    resources->RemovePath("STAGE_SCE");
    resources->RemovePath("ST_R1_RESPAWNMARK");
    std::remove(path.c_str());
    mProfile->stageRequest = 0;
    delete stage;
    ResourceGroupUnloadAll();
}

TEST_F(StageLevelScript, CreateCamerasMakesTheProfilesFollowCameraOnTheHero)
{
    ASSERT_NE(mProfile, nullptr);
    // The game's own entry for the cameras, the least entries for everything else.
    GameServicesInstallDefaults();
    const auto create = GameServicesTable().camerasCreate;
    GameServicesTable() = GameServicesLeast();
    GameServicesTable().camerasCreate = create;
    TsCameraRegistry::Reset();
    FakeActor* hero = Make("hero", {10, 0, 20});
    mWorld->SetHero(hero);
    auto* stage = new GameState_Stage();
    stage->SetProfile(mProfile);

    // A level script that asks twice still has one follow camera.
    for (int call = 0; call < 2; ++call)
    {
        stage->CreateCameras();
        ASSERT_GE(mProfile->followCamera, 0) << call;
        EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->followCamera) << call;
        EXPECT_EQ(TsCameraRegistry::GetActiveCount(), 1) << call;
        auto* camera = HbCastTo<CameraFollow>(TsCameraRegistry::GetCamera(mProfile->followCamera));
        ASSERT_NE(camera, nullptr) << call;
        EXPECT_EQ(camera->GetFollowed(), hero) << call;
        EXPECT_EQ(CameraFollowGetCurrent(), camera) << call;
        // And one scenario camera beside it, resting on the default shot.
        EXPECT_EQ(TsCameraRegistry::GetInactiveCount(), 1) << call;
        auto* second = HbCastTo<GeScenaricCamera>(TsCameraRegistry::GetCamera(mProfile->secondCamera));
        ASSERT_NE(second, nullptr) << call;
        EXPECT_EQ(second->GetShot(), CameraShotSlots::GetDefaultShot()) << call;
    }
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(mProfile->followCamera), 0);
    mProfile->followCamera = -1;
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(mProfile->secondCamera), 0);
    mProfile->secondCamera = -1;
    EXPECT_EQ(CameraFollowGetCurrent(), nullptr);
    delete stage;
}
} // namespace
