// The script world's start-up: the game modules in their order with their constants, the
// search path, the first script imported from a pack archive, its unload, and a stop
// followed by a new start.
#include "hbpack.h"
#include "hbresource.h"
#include "hbvariable.h"
#include "herostateregistry.h"
#include "script_fixture.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsactortyperegistry.h"
#include "tsfamilytable.h"
#include "tsskillregistry.h"

#include <Python.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using scripttest::Eval;
using scripttest::Exec;
using scripttest::ScriptTest;

namespace
{

// What the fills and registrations saw, while a test listens.
std::vector<std::string>* gSeen = nullptr;
ScriptWorldManager* gWorld = nullptr;

const char* const kWatched[] = {"location", "skills", "sound", "states", "pyactor_tools", "event",
                                "family",   "actors_type", "pend_a", "pend_null", "pend_b", "mark"};

void See(const std::string& who)
{
    if (!gSeen)
        return;
    std::string text = who + ":";
    PyObject* modules = PyImport_GetModuleDict();
    for (const char* name : kWatched)
        if (PyDict_GetItemString(modules, name))
            text += std::string(" ") + name;
    gSeen->push_back(text);
}

PyObject* SkillWalk(PyObject*, PyObject*)
{
    return PyLong_FromLong(42);
}

int SkillRegistration()
{
    if (gSeen && gWorld)
    {
        See("skills");
        gWorld->AddSkillConstant("SK_WALK", 3);
        TsSkillRegistry::Instance()->AddFunction("walk", SkillWalk);
    }
    return 1;
}

int StateRegistration()
{
    if (gSeen && gWorld)
    {
        See("states");
        gWorld->AddStateConstant("HS_RUN", 7);
    }
    return 1;
}

/// A name of __main__ (borrowed), or null.
PyObject* MainItem(const char* name)
{
    return PyDict_GetItemString(scripttest::MainDict(), name);
}

void PendingFill(PyObject* module, int32_t argument)
{
    See(PyModule_GetName(module));
    PyObject* value = PyLong_FromLong(argument);
    PyModule_AddObject(module, "ARG", value);
}

class ScriptWorldStart : public ScriptTest
{
protected:
    static void SetUpTestSuite()
    {
        // Callbacks of the singletons stay registered; they act only while a test listens.
        TsSkillRegistry::Instance()->AddRegistration(SkillRegistration);
        HeroStateRegistry::Instance()->AddRegistration(StateRegistration);
    }

    void SetUp() override
    {
        ScriptTest::SetUp();
        mWorld = new ScriptWorldManager();
        gWorld = mWorld;
        gSeen = &mSeen;
        mWorld->StopScripting();
        HbVariableClearAllForTest();
    }
    void TearDown() override
    {
        gSeen = nullptr;
        gWorld = nullptr;
        mWorld->StopScripting();
        delete mWorld;
        HbVariableClearAllForTest();
        ScriptTest::TearDown();
    }

    std::vector<std::string> mSeen;
    ScriptWorldManager* mWorld = nullptr;
};

TEST_F(ScriptWorldStart, ModulesAreMadeInTheirOrderAndEachFillSeesTheEarlierOnes)
{
    if (!TsFamilyTable::Instance()->FindByName("HeroFamily"))
        TsFamilyTable::Instance()->AddEntry("HeroFamily", 1);
    ScriptWorldHooks& hooks = mWorld->Hooks();
    hooks.fillSoundModule = [](PyObject*) { See("sound"); };
    hooks.fillActorToolsModule = [](PyObject*) { See("pyactor_tools"); };
    hooks.makeMarkModule = [] {
        See("mark");
        PyObject* mark = PyModule_New("mark");
        PyDict_SetItemString(PyImport_GetModuleDict(), "mark", mark);
        Py_DECREF(mark);
    };
    EXPECT_EQ(mWorld->RegisterPendingModule("pend_a", PendingFill, 5), 5);
    mWorld->RegisterPendingModule("pend_null", nullptr, 0);
    mWorld->RegisterPendingModule("pend_b", PendingFill, 6);
    mWorld->StartScripting();
    ASSERT_EQ(mWorld->IsScriptingStarted(), 1);
    EXPECT_NE(mWorld->GetMainThreadState(), nullptr);

    // actors_type shows only when some test of this program registered a type before.
    std::string types = TsActorTypeRegistry::Instance()->GetCount() > 0 ? " actors_type" : "";
    std::vector<std::string> expected = {
        "skills: location skills",
        "sound: location skills sound",
        "states: location skills sound states",
        "pyactor_tools: location skills sound states pyactor_tools",
        "pend_a: location skills sound states pyactor_tools event family" + types + " pend_a",
        "pend_b: location skills sound states pyactor_tools event family" + types + " pend_a pend_b",
        "mark: location skills sound states pyactor_tools event family" + types + " pend_a pend_b",
    };
    EXPECT_EQ(mSeen, expected);
    EXPECT_EQ(Eval("'pend_null' in __import__('sys').modules"), "False") << "a null fill makes no module";
    EXPECT_EQ(Eval("'mark' in __import__('sys').modules"), "True");
    EXPECT_EQ(Eval("__import__('pend_b').ARG"), "6");

    // One integer type: the constants are checked by value.
    ASSERT_EQ(Exec("import skills, states, event, location, sound, pyactor_tools"), "");
    EXPECT_EQ(Eval("(skills.MS_SUCCEEDED, skills.MS_FAILED, skills.SK_WALK, skills.walk())"), "(2, 8, 3, 42)");
    EXPECT_EQ(Eval("states.HS_RUN"), "7");
    EXPECT_EQ(Eval("(event.distanceIn, event.distanceInColl, event.timer4, event.contextAction, "
                   "event.skillError, event.block, len([n for n in dir(event) if not n.startswith('_')]))"),
              "(1, 15, 259, 513, 519, 524, 32)");
    EXPECT_EQ(Eval("[n for n in dir(sound) + dir(pyactor_tools) + dir(location) if not n.startswith('_')]"), "[]")
        << "modules whose owners fill nothing stay empty";
    EXPECT_EQ(Eval("__PythonWin__"), "0");

    // Registering after the start waits for the next one.
    mWorld->RegisterPendingModule("pend_late", PendingFill, 1);
    EXPECT_EQ(Eval("'pend_late' in __import__('sys').modules"), "False");
}

TEST_F(ScriptWorldStart, TheRootComesLastOnTheSearchPathOnce)
{
    const struct
    {
        const char* name;
        void (*set)();
        const char* root;
    } cases[] = {
        {"no variable", [] {}, "s:\\code_scenarique"},
        {"a string variable", [] { HbSetStringVariable("PYTHON_ROOT_PATH", "roots\\game"); }, "roots\\game"},
        {"a variable of another type", [] { HbSetRealVariable("PYTHON_ROOT_PATH", 1.5f); }, "s:\\code_scenarique"},
    };
    for (const auto& c : cases)
    {
        mWorld->StopScripting();
        HbVariableClearAllForTest();
        c.set();
        mWorld->StartScripting();
        ASSERT_EQ(Exec("import sys\npath = list(sys.path)"), "") << c.name;
        // The interpreter's own library folders lie between the empty entry and the root.
        EXPECT_EQ(Eval("path[0]"), "''") << c.name;
        EXPECT_EQ(Eval("path[-1]"), Eval("r'" + std::string(c.root) + "'")) << c.name;
        EXPECT_EQ(Eval("path.count(path[-1])"), "1") << c.name;
        EXPECT_GT(std::stoi(Eval("len(path)")), 2) << c.name;
    }
}

TEST(ScriptWorldPaths, DirectoryPartAndModuleName)
{
    const struct
    {
        const char* path;
        const char* directory;
        const char* name;
    } cases[] = {
        {"levels\\w1\\start.py", "levels\\w1", "start"},
        {"start.py", "start.py", "start"},
        {"levels\\w1.d\\start", "levels\\w1.d", "start"},
        {"a\\b.c.py", "a", "b.c"},
        {"", "", ""},
        {"levels\\", "levels", ""},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ScriptGetDirectoryPart(c.path), c.directory) << c.path;
        EXPECT_EQ(ScriptGetModuleName(c.path), c.name) << c.path;
    }
}

// The first script from a pack archive; resource paths and the pack are undone afterwards.
class ScriptWorldImport : public ScriptWorldStart
{
protected:
    void SetUp() override
    {
        ScriptWorldStart::SetUp();
        mDir = std::filesystem::temp_directory_path() / ("script_world_" + std::to_string(::getpid()));
        std::filesystem::create_directories(mDir);
        mPack = (mDir / "START.PAK").string();
        HbPackArchive writer;
        ASSERT_TRUE(writer.Open(mPack.c_str(), "wb"));
        std::string source = "LEVEL_NAME = 'w1'\r\nlog = []\r\n"
                             "def begin():\r\n    log.append('begin')\r\n"
                             "def end():\r\n    log.append('end')\r\n";
        ASSERT_EQ(writer.AddEntry("levels\\w1\\start_level.py", source.data(), source.size()), 1);
        writer.Close();
        HbPackSet* set = HbPackSet::Instance();
        set->SetEnabled(1);
        ASSERT_EQ(set->Mount(mPack.c_str()), 1);
        mWorld->StartScripting();
    }
    void TearDown() override
    {
        for (const char* id : mIds)
            HbResourceManager::Instance()->RemovePath(id);
        HbPackSet* set = HbPackSet::Instance();
        while (set->GetMountedCount() > 0)
            set->Unmount(nullptr);
        set->SetEnabled(0);
        std::error_code ignored;
        std::filesystem::remove_all(mDir, ignored);
        ScriptWorldStart::TearDown();
    }
    void Declare(const char* id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id, path.c_str());
        mIds.push_back(id);
    }

    std::filesystem::path mDir;
    std::string mPack;
    std::vector<const char*> mIds;
};

TEST_F(ScriptWorldImport, TheFirstScriptComesFromAPackIntoMainAndItsFolderJoinsThePathOnce)
{
    Declare("START_PY", "levels\\w1\\start_level.py");
    mWorld->ImportScriptResource("START_PY");
    mWorld->ImportScriptResource("START_PY");
    EXPECT_EQ(mWorld->IsScriptImported(), 1);
    EXPECT_EQ(mWorld->GetFirstScriptId(), "START_PY");
    EXPECT_EQ(Eval("LEVEL_NAME"), "'w1'") << LogText();
    EXPECT_EQ(Eval("__import__('sys').path.count('levels\\\\w1')"), "1");
    EXPECT_EQ(Eval("'start_level' in __import__('sys').modules"), "True");

    // Unloading ends the started level first.
    mWorld->SetLevelCallbacks(MainItem("begin"), MainItem("end"));
    mWorld->StartLevelScript();
    EXPECT_EQ(mWorld->IsLevelStarted(), 1);
    mWorld->UnloadScriptModule();
    EXPECT_EQ(mWorld->IsLevelStarted(), 0);
    EXPECT_EQ(Eval("log"), "['begin', 'end']");
    EXPECT_EQ(mWorld->IsScriptImported(), 0);
    EXPECT_EQ(Eval("'start_level' in __import__('sys').modules"), "False");
    EXPECT_EQ(Eval("__import__('sys').path.count('levels\\\\w1')"), "1") << "the folder stays";
    mWorld->UnloadScriptModule();
    EXPECT_EQ(Eval("log"), "['begin', 'end']") << "a second unload does nothing";

    // Stop, start, import again: a fresh interpreter takes the script again.
    mWorld->StopScripting();
    EXPECT_EQ(mWorld->IsScriptingStarted(), 0);
    EXPECT_EQ(mWorld->GetMainThreadState(), nullptr);
    mWorld->StartScripting();
    EXPECT_EQ(Eval("'LEVEL_NAME' in globals()"), "False");
    mWorld->ImportScriptResource("START_PY");
    EXPECT_EQ(Eval("(LEVEL_NAME, log)"), "('w1', [])");
}

TEST_F(ScriptWorldImport, UnusableModuleNamesAreRefusedAndFailuresLeaveNoErrorSet)
{
    const std::string longName(kScriptMaxModuleNameLength + 1, 'm');
    const std::string fitting(kScriptMaxModuleNameLength, 'f');
    const struct
    {
        const char* id;
        std::string path; ///< empty: not declared
        const char* logged;
    } cases[] = {
        {"NOFILE_PY", "", "no usable module name"},
        {"LONG_PY", "levels\\" + longName + ".py", "no usable module name"},
        {"FITTING_PY", "levels\\" + fitting + ".py", "ModuleNotFoundError"},
        {"MISSING_PY", "levels\\w9\\absent.py", "ModuleNotFoundError"},
    };
    for (const auto& c : cases)
    {
        if (!c.path.empty())
            Declare(c.id, c.path);
        size_t before = LogText().size();
        mWorld->ImportScriptResource(c.id);
        EXPECT_FALSE(PyErr_Occurred()) << c.id;
        EXPECT_EQ(mWorld->IsScriptImported(), 1) << c.id << ": set even when the import failed";
        EXPECT_NE(LogText().find(c.logged, before), std::string::npos) << c.id << "\n" << LogText();
        // The module is not in sys.modules: its removal's error is printed and cleared.
        mWorld->UnloadScriptModule();
        EXPECT_FALSE(PyErr_Occurred()) << c.id;
        EXPECT_EQ(mWorld->IsScriptImported(), 0) << c.id;
    }
}

TEST_F(ScriptWorldStart, RunStringReportsWhetherTheTextRan)
{
    mWorld->StartScripting();
    EXPECT_TRUE(mWorld->RunString("ran_here = 1"));
    EXPECT_EQ(Eval("ran_here"), "1");
    EXPECT_FALSE(mWorld->RunString("raise ValueError('no')"));
    EXPECT_FALSE(PyErr_Occurred());
    EXPECT_NE(LogText().find("ValueError: no"), std::string::npos);
}

} // namespace
