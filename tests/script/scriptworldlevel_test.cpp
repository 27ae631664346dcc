// The level lifecycle: the scene made once by the first level, the level's objects held and
// let go in order when the level ends, actors kept across levels, the keyed callbacks, the
// scenario paths and the level callables held by the script world.
#include "scriptworld_fixture.h"

#include "hbresource.h"
#include "script_fixture.h"
#include "tsevent.h"
#include "tssendevent.h"
#include "w3dlevel.h"
#include "wrenderer.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace scriptworldtest
{
namespace
{

World* gLevelWorld = nullptr;

// Any resource that is not a level; logs its release under the name the test gives it.
class Thing : public HbRoot
{
public:
    ~Thing() override
    {
        if (!mName.empty())
            Log().push_back("released " + mName);
    }
    std::string mName;
};

HbRoot* MakeLevel()
{
    W3dLevel* level = W3dLevel::Create();
    level->SetMainWorld(gLevelWorld);
    return level;
}

HbRoot* MakeThing()
{
    return new Thing();
}

void Name(HbRoot* object, const char* name)
{
    ASSERT_NE(object, nullptr) << name;
    static_cast<Thing*>(object)->mName = name;
}

// A scenario database of two paths; "missing" names no mark.
struct Path
{
    std::vector<const char*> names;
};
Path gPaths[2] = {{{"m1", "missing", "m2"}}, {{"m2"}}};
int gMarks[2];

void InstallScenarioHooks(ScriptWorldHooks& h)
{
    h.createMarkSystem = [](const char* name, W3dLevel*) -> HbRoot* {
        auto* marks = new Thing();
        marks->mName = std::string("marks ") + name;
        return marks;
    };
    h.markSystemSetLevel = [](HbRoot*, W3dLevel* level) { Log().push_back(level ? "marks level" : "marks no level"); };
    h.markSystemDatabase = [](HbRoot*) -> void* { return gPaths; };
    h.databasePathCount = [](void*) -> int32_t { return 2; };
    h.databasePath = [](void* database, int32_t index) -> void* { return static_cast<Path*>(database) + index; };
    h.pathMarkNameCount = [](void* path) -> int32_t { return int32_t(static_cast<Path*>(path)->names.size()); };
    h.pathMarkName = [](void* path, int32_t index) { return static_cast<Path*>(path)->names[size_t(index)]; };
    h.databaseFindMark = [](void*, const char* name) -> void* {
        return std::strcmp(name, "m1") == 0 ? &gMarks[0] : std::strcmp(name, "m2") == 0 ? &gMarks[1] : nullptr;
    };
    h.pathAddMark = [](void* path, void* mark) {
        Log().push_back(std::string("path ") + (path == &gPaths[0] ? "0" : "1") + " gets m" +
                        (mark == &gMarks[0] ? "1" : "2"));
    };
}

class ScriptWorldLevel : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        gLevelWorld = mWallWorld;
        HbResourceManager::Instance()->RegisterType("TLV", MakeLevel);
        HbResourceManager::Instance()->RegisterType("TXX", MakeThing);
        // The level tests start before any level: no scene.
        mWorld->SetScene(nullptr);
        mScene = nullptr;
        ASSERT_EQ(Exec("def begin():\n    note('begin')\n"
                       "def end():\n    note('end')\n"),
                  "");
    }
    void TearDown() override
    {
        gLevelWorld = nullptr;
        ScriptWorldTest::TearDown();
    }
    PyObject* Main(const char* name) { return PyDict_GetItemString(scripttest::MainDict(), name); }
    /// A nodeless listed actor whose release is logged; the list holds its only reference.
    FakeActor* ListedOnly(const char* name)
    {
        FakeActor* actor = Listed(name, {0, 0, 0}, HeroEnemyFamily, kNoNode);
        actor->mLogRelease = true;
        mActors.pop_back();
        actor->Release();
        return actor;
    }
};

TEST_F(ScriptWorldLevel, TheFirstLevelMakesTheSceneAndANonLevelLeavesItWithoutOne)
{
    InstallScenarioHooks(mWorld->Hooks());
    EXPECT_EQ(mWorld->LoadCinematicSplines("_CS_TXX"), 1) << "splines need no scene";
    EXPECT_EQ(mWorld->LoadAStar("_ANY_TXX"), 0) << "no scene";
    EXPECT_EQ(mWorld->LoadEventBoxes("_ANY_TXX"), 0) << "no scene";
    EXPECT_EQ(mWorld->LoadScenaricData("SCEN"), 0) << "no scene";

    ASSERT_EQ(mWorld->LoadLevel("_W1_TLV"), 1);
    WScene* scene = mWorld->GetScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(WRenderer::Instance()->GetScene(), scene);
    W3dLevel* first = scene->GetLevel();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetMainWorld(), mWallWorld);

    ASSERT_EQ(mWorld->LoadScenaricData("SCEN"), 1);
    EXPECT_EQ(mWorld->GetMarkSystem()->GetRefCount(), 1);
    ASSERT_EQ(mWorld->LoadLevel("_W2_TLV"), 1);
    EXPECT_EQ(mWorld->GetScene(), scene) << "made once";
    EXPECT_NE(scene->GetLevel(), nullptr);
    EXPECT_EQ(mWorld->LoadLevel("_NOT_A_LEVEL_TXX"), 0);
    EXPECT_EQ(scene->GetLevel(), nullptr) << "the old level left before the lookup";
    EXPECT_EQ(mWorld->LoadLevel("NOWHERE_TLV"), 0);
    EXPECT_EQ(mWorld->LoadScenaricData("SCEN"), 0) << "no level to mark";
    EXPECT_EQ(mWorld->GetMarkSystem(), nullptr);

    std::vector<std::string> expected = {
        "path 0 gets m1", "path 0 gets m2", "path 1 gets m2", // the missing mark is skipped
        "marks no level", "marks level",                        // the second level
        "marks no level",                                       // the non-level
        "released marks SCEN",
    };
    EXPECT_EQ(Log(), expected);

    static uint32_t sWanted = 0, sExcluded = 0;
    mWorld->Hooks().eventBoxesLoad = [](HbRoot*, uint32_t wanted, uint32_t excluded) {
        sWanted = wanted;
        sExcluded = excluded;
    };
    EXPECT_EQ(mWorld->LoadEventBoxes("_EB_TXX"), 1);
    EXPECT_EQ(sWanted, uint32_t(HeroFamily | HeroEnemyFamily));
    EXPECT_EQ(sExcluded, uint32_t(DofFamily));
    EXPECT_EQ(mWorld->LoadAStar("NOWHERE_TXX"), 0);
    EXPECT_EQ(mWorld->GetAStar(), nullptr);
}

TEST_F(ScriptWorldLevel, WhatTheLevelCouldNotLoadAndTheStartsExceptionAreRecordedByFile)
{
    InstallScenarioHooks(mWorld->Hooks());
    HbResourceManager* resources = HbResourceManager::Instance();
    resources->AddPath("NOWHERE_TLV", "w9\\level.wl");
    ASSERT_EQ(Exec("def broken():\n    note('begin')\n    raise ValueError('no mark MK_START')\n"), "");
    mWorld->SetLevelCallbacks(Main("broken"), nullptr);
    mWorld->StartLevelScript();
    EXPECT_EQ(mWorld->LoadLevel("NOWHERE_TLV"), 0);
    EXPECT_EQ(mWorld->LoadLevel("_NOT_A_LEVEL_TXX"), 0);
    EXPECT_EQ(mWorld->LoadAStar("NOWHERE_TXX"), 0);
    EXPECT_EQ(mWorld->LoadEventBoxes("NOWHERE_TXX"), 0);
    mWorld->Hooks().createMarkSystem = [](const char*, W3dLevel*) -> HbRoot* { return nullptr; };
    EXPECT_EQ(mWorld->LoadScenaricData("SCEN"), 0);
    // A graph of no cell loads, and is a fault.
    mWorld->Hooks().graphCellCount = [](HbRoot*) -> int32_t { return 0; };
    EXPECT_EQ(mWorld->LoadAStar("_AS_TXX"), 1);
    const std::vector<std::string> expected = {
        "the level script failed: ValueError: no mark MK_START",
        "w9\\level.wl (NOWHERE_TLV) cannot be loaded",
        "_NOT_A_LEVEL_TXX is not a level",
        "NOWHERE_TXX cannot be loaded",
        "NOWHERE_TXX cannot be loaded",
        "SCEN has no level to lie on",
        "_AS_TXX holds no navigation cell",
    };
    EXPECT_EQ(mWorld->TakeLevelFaults(), expected);
    EXPECT_TRUE(mWorld->TakeLevelFaults().empty()) << "taken once";

    // A level of no world loads, and is a fault; the next start forgets the old record.
    gLevelWorld = nullptr;
    EXPECT_EQ(mWorld->LoadLevel("_EMPTY_TLV"), 1);
    mWorld->SetLevelCallbacks(Main("begin"), nullptr);
    mWorld->StartLevelScript();
    EXPECT_TRUE(mWorld->TakeLevelFaults().empty());
    EXPECT_EQ(mWorld->LoadLevel("_EMPTY_TLV"), 1);
    EXPECT_EQ(mWorld->TakeLevelFaults(), std::vector<std::string>{"_EMPTY_TLV holds no world to show"});
    resources->RemovePath("NOWHERE_TLV");
}

TEST_F(ScriptWorldLevel, EndingALevelLetsGoInOrderOnceAndKeepsStoredActorsInPlace)
{
    ScriptWorldHooks& h = mWorld->Hooks();
    InstallScenarioHooks(h);
    h.eventBoxesFreeIndex = [](HbRoot*) { Log().push_back("boxes index freed"); };
    h.stopAllSoundChannels = [] { Log().push_back("sounds stopped"); };
    h.triggersStopAll = [] { Log().push_back("triggers stopped"); };
    h.isScriptStored = [](TsActor* actor) -> int32_t { return static_cast<FakeActor*>(actor)->mName[0] == 'S'; };
    mWorld->AddKeyCallback([](intptr_t a) { Log().push_back("key0 " + std::to_string(a)); }, 1, 0);
    mWorld->AddKeyCallback([](intptr_t a) { Log().push_back("key1 " + std::to_string(a)); }, 2, 1);

    mWorld->ImportScriptResource("NOSCRIPT_PY");
    ASSERT_EQ(mWorld->LoadLevel("_W1_TLV"), 1);
    ASSERT_EQ(mWorld->LoadScenaricData("SCEN"), 1);
    ASSERT_EQ(mWorld->LoadAStar("_AS_TXX"), 1);
    ASSERT_EQ(mWorld->LoadEventBoxes("_EB_TXX"), 1);
    ASSERT_EQ(mWorld->LoadCinematicSplines("_CS_TXX"), 1);
    Name(mWorld->GetAStar(), "astar");
    Name(mWorld->GetEventBoxes(), "boxes");
    Name(mWorld->GetCinematicSplines(), "splines");
    ListedOnly("S1");
    FakeActor* b = ListedOnly("b");
    ListedOnly("S2");
    ListedOnly("d");
    mWorld->QueueEvent(TsSendEvent{});
    TsSendEvent toB;
    toB.id = kEventHit;
    toB.target = b;
    mWorld->QueueEvent(toB);
    mWorld->SetLevelCallbacks(Main("begin"), Main("end"));
    mWorld->StartLevelScript();
    EXPECT_EQ(mWorld->IsLevelStarted(), 1);
    Log().clear();

    mWorld->EndLevel();
    std::vector<std::string> expected = {
        "end",
        "released b",
        "released d",
        "released marks SCEN",
        "released astar",
        "boxes index freed",
        "released boxes",
        "released splines",
        "sounds stopped",
        "triggers stopped",
        "key1 2",
    };
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(ListedNames(), "S1 S2");
    EXPECT_EQ(mWorld->GetQueuedCount(), 0);
    EXPECT_EQ(mWorld->GetScene(), nullptr);
    EXPECT_EQ(WRenderer::Instance()->GetScene(), nullptr);
    EXPECT_EQ(mWorld->IsLevelStarted(), 0);

    Log().clear();
    mWorld->EndLevel();
    EXPECT_TRUE(Log().empty()) << "a second end does nothing";
}

TEST_F(ScriptWorldLevel, AfterAScriptFailureTheEndCallableIsSkippedAndTheRestIsDone)
{
    mWorld->Hooks().triggersStopAll = [] { Log().push_back("triggers stopped"); };
    mWorld->ImportScriptResource("NOSCRIPT_PY");
    ASSERT_EQ(Exec("def fail(args):\n    raise RuntimeError('no')\n"), "");
    FakeActor* actor = Listed("T", {0, 0, 0}, HeroEnemyFamily, kNoNode);
    Register(actor, kEventHit, "fail", 0.0f);
    mWorld->SetLevelCallbacks(Main("begin"), Main("end"));
    mWorld->StartLevelScript();
    TsSendEvent hit;
    hit.id = kEventHit;
    hit.target = actor;
    mWorld->QueueEvent(hit);
    Frame(0.02f);
    ASSERT_EQ(mWorld->GetScriptFailure(), 1);
    Log().clear();
    mWorld->EndLevel();
    EXPECT_EQ(Log(), std::vector<std::string>{"triggers stopped"});
    EXPECT_EQ(mWorld->GetActors().GetCount(), 0);
}

TEST_F(ScriptWorldLevel, RemovingAKeyCallbackRemovesItsFirstRecordOnly)
{
    auto f = [](intptr_t a) { Log().push_back("f " + std::to_string(a)); };
    auto g = [](intptr_t a) { Log().push_back("g " + std::to_string(a)); };
    ScriptWorldManager::KeyCallback unknown = [](intptr_t) {};
    EXPECT_EQ(mWorld->AddKeyCallback(f, 1, 0), 0);
    mWorld->AddKeyCallback(g, 2, 1);
    mWorld->AddKeyCallback(f, 3, 1);
    EXPECT_EQ(mWorld->RemoveKeyCallback(f), 0);
    EXPECT_EQ(mWorld->GetKeyCallbackCount(), 2);
    mWorld->RunKeyCallbacks(0);
    mWorld->RunKeyCallbacks(1);
    EXPECT_EQ(Log(), (std::vector<std::string>{"g 2", "f 3"}));
    EXPECT_EQ(mWorld->RemoveKeyCallback(unknown), 1);
}

TEST_F(ScriptWorldLevel, LevelCallablesAreHeldUntilReplacedOrUnloaded)
{
    ASSERT_EQ(Exec("class Callable:\n"
                   "    def __init__(self, name): self.name = name\n"
                   "    def __call__(self): note('called ' + self.name)\n"
                   "    def __del__(self): note('gone ' + self.name)\n"),
              "");
    PyObject* first = PyRun_String("Callable('first')", Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
    ASSERT_NE(first, nullptr);
    mWorld->SetLevelCallbacks(first, first);
    Py_DECREF(first);
    mWorld->StartLevelScript();
    EXPECT_EQ(Log(), std::vector<std::string>{"called first"}) << "the script world's reference kept it";

    PyObject* second = PyRun_String("Callable('second')", Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
    mWorld->SetLevelCallbacks(second, nullptr);
    Py_DECREF(second);
    EXPECT_EQ(Log().back(), "gone first");

    mWorld->ImportScriptResource("NOSCRIPT_PY");
    Log().clear();
    mWorld->UnloadScriptModule();
    EXPECT_EQ(Log(), std::vector<std::string>{"gone second"}) << "no end callable; the start callable let go";
}

} // namespace
} // namespace scriptworldtest
