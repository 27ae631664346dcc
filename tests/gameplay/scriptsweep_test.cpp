// Every function of the level scripts' modules (mark, mark.request, path, skills' senses, fx,
// fx3d, physic, the weapon functions, pyactor_tools, sound) called from a script with bad
// arguments, with and without the content they work on. Each call runs inside a script that
// catches everything: a bad call must raise an exception with a message (never SystemError,
// never a quiet success the function should refuse), and the interpreter goes on working.
#include "fx3d.h"
#include "fx3dtype.h"
#include "fxcontext.h"
#include "fxphysics.h"
#include "fxservices.h"
#include "hbresource.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "skillconstants.h"
#include "tsactorlayer.h"
#include "tsfmod.h"
#include "tsfmod_fixture.h"
#include "tsmarksystem.h"
#include "tsscriptbinding.h"
#include "tsweaponscript.h"
#include "uthread.h"
#include "weaponcontact.h"
#include "weaponscript.h"
#include "weaponshoot.h"
#include "weapontables.h"
#include "wscene.h"

#include <Python.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace scriptworldtest
{
namespace
{

/// One function and arguments it accepts when the content is there. The sweep calls it with
/// no arguments, one too few, one too many, and each argument in turn replaced by each bad value
/// (tags in kSweepScript). `kinds` has one letter per argument saying which of those values the
/// function's contract answers without an error (see Accepts), after a "*" when the function
/// ignores extra arguments; every other case must raise.
struct SweepRow
{
    const char* call;
    const char* goodArgs;
    const char* kinds;
};

/// The bad values an argument of that kind takes without an error:
/// n a name that must exist; q a name or text any string answers; i an integer of any value;
/// j a small non-negative integer; k an integer checked against a list; f a real;
/// p a real that must be a float object; x an actor, tuple or weapon; v a vertex;
/// N None or a tuple; M None or a vertex; d an id, None or any integer (out of range: none);
/// s a sound, None or any string; y a key, None or 0..7; c a class instance; a anything.
std::set<std::string> Accepts(char kind)
{
    switch (kind)
    {
    case 'q':
        return {"str"};
    case 'i':
        return {"int", "neg"};
    case 'j':
        return {"int"};
    case 'f':
        return {"int", "float", "huge", "nan", "neg"};
    case 'p':
        return {"float", "nan"};
    case 'v':
        return {"nanvertex", "farvertex"};
    case 'N':
        return {"None"};
    case 'M':
        return {"None", "nanvertex", "farvertex"};
    case 'd':
        return {"None", "int", "huge", "neg"};
    case 's':
        return {"None", "str"};
    case 'y':
        return {"None", "int"};
    case 'c':
        return {"object"};
    case 'a':
        return {"None", "int", "float", "str", "tuple", "huge", "nan", "neg", "object", "nanvertex", "farvertex"};
    default:
        return {};
    }
}

// "object" is an instance of a plain class (neither actor nor vertex).
constexpr const char* kSweepScript = R"(
class NotAnActor:
    pass

nan = float('nan')
BAD = (('None', None), ('int', 7), ('float', 2.5), ('str', 'nobody'), ('tuple', (1, 2)),
       ('huge', 1 << 80), ('nan', nan), ('neg', -1), ('object', NotAnActor()),
       ('nanvertex', vertex(nan, nan, nan)), ('farvertex', vertex(1e30, -1e30, 1e30)))

def outcome(f, args):
    try:
        return ('ok', repr(f(*args)))
    except BaseException as e:
        return (type(e).__name__, str(e))

def sweep(label, f, good):
    rows = [(label, 'good', outcome(f, good))]
    cases = [('argc0', ())] if good else []
    if len(good) > 1:
        cases.append(('argc-1', good[:-1]))
    cases.append(('argc+1', good + (None,)))
    for i in range(len(good)):
        for tag, value in BAD:
            args = list(good)
            args[i] = value
            cases.append(('arg%d=%s' % (i, tag), tuple(args)))
    for tag, args in cases:
        rows.append((label, tag, outcome(f, args)))
    return rows
)";

const std::vector<SweepRow>& Rows()
{
    static const std::vector<SweepRow> rows = {
        {"mark.GetMarkAmbushMode", "('m0',)", "n"},
        {"mark.GetMarkPatrolTimer", "('m0',)", "n"},
        {"mark.IsRespawnMarkUsable", "('m0', 0)", "ni"},
        {"mark.UseRespawnMark", "('m0', 0)", "ni"},
        {"mark.GetMarkPosition", "('m0',)", "n"},
        {"mark.GetMarkOrientation", "('m0',)", "n"},
        {"mark.GetMarkType", "('m0',)", "n"},
        {"mark.Lock", "('m0',)", "n"},
        {"mark.Unlock", "('m0',)", "n"},
        {"mark.IsLocked", "('m0',)", "n"},
        {"mark.Exist", "('m0',)", "q"},
        {"mark.IsVisible", "('m0',)", "n"},
        // A kind no mark has finds nothing.
        {"mark.request.GetAllMark", "(0,)", "i"},
        {"mark.request.DistanceIn", "(v, 500.0, 0)", "vfi"},
        {"mark.request.Visible", "(v, 500.0, 0, npc)", "vfix"},
        {"mark.request.NotVisible", "(v, 500.0, 0, npc)", "vfix"},
        {"mark.request.Front", "(v, 500.0, 0, npc)", "vfix"},
        {"mark.request.Behind", "(v, 500.0, 0, npc)", "vfix"},
        {"mark.request.FrontNotVisible", "(v, 500.0, 0, npc)", "vfix"},
        {"path.GetPathMark", "('p',)", "n"},
        {"path.GetPathMarkPosition", "('p',)", "n"},
        {"path.GetPathMarkOrientation", "('p',)", "n"},
        {"path.GetNearestMarkFromPos", "('p', v, 0, 0, None, None, None)", "nvikNNM"},
        {"path.GetARandomSearchMark", "('p',)", "n"},
        {"path.GetRespawnMark", "('p', 0)", "ni"},
        {"path.DoesPathGetRespawnMark", "('p',)", "n"},
        {"skills.DoesActorSeesActor", "(hero, npc)", "xx"},
        {"skills.DoesActorCanShootActor", "(hero, npc)", "xx"},
        {"fx.Play", "(fx.id_impact_1,)", "j"},
        {"fx.ContextReset", "()", "*"},
        {"fx.SetPosition", "(v,)", "v"},
        {"fx.SetOrientation", "(v,)", "v"},
        {"fx.SetAngle", "(0.5,)", "p"},
        {"fx.SetNode", "(npc,)", "x"},
        // The third argument is not read.
        {"fx3d.Play", "(0, ('M_WO',), None, 0.0, 0.0, 0.0, 0.0)", "kxaffff"},
        {"fx3d.Reserve", "(0, ('M_WO',))", "kx"},
        // 0 for anything that is not an actor with a node.
        {"physic.Register", "(crate,)", "a"},
        {"physic.UnRegister", "(crate,)", "a"},
        {"physic.SetDirty", "(crate,)", "a"},
        {"SetWeaponAnimations", "(gun, 3, ((0, 0.1, 0.5),))", "xix"},
        {"SetWeaponData", "(gun, 'RIFLE', 2, 1, 1, 0)", "xqyiii"},
        {"SetWeaponShootData",
         "(gun, 10, 0.5, ('SD_HIT_S2DSB',), (), (), 75, (2.0, 6.0), 30, 4, 1, 7, 8, 9, 1.5, 120, 1)",
         "xifxxxixiiiiiifii"},
        {"SetWeaponContactData",
         "(knife, None, 1.0, 2.0, 60, 3.0, 4.0, 0.5, 9, '', '', 12, 13, -2, 15, 16.0, 17.0, 18.0, 19.0, 20)",
         "xdffifffissiddiffffi"},
        {"SetAmmoData",
         "(gun, 1, None, 20000.0, 10000.0, 35, 4.0, 2.0, 0.5, 0, 0, '', '', 6, 75, -2, 9, 100.0, 300.0, 50.0, 1.0, "
         "None, '', (0.0, 3.0, 4.0), 10.0, 7.0, 5000.0)",
         "xidffifffdissiddiffffdsxfff"},
        {"SetAmmoNumber", "(gun, 45)", "xi"},
        {"AddAmmo", "(gun, 10)", "xi"},
        {"pyactor_tools.StorePyActor", "(pyactor,)", "c"},
        {"pyactor_tools.RemovePyActor", "(pyactor,)", "c"},
        {"pyactor_tools.IsNameExist", "('hero',)", "q"},
        // Anything but a vertex plays without a position.
        {"sound.PlaySound", "('SD_HIT_S2DSB', v)", "qa"},
        {"sound.GetSoundLength", "('SD_HIT_S2DSB',)", "n"},
        {"sound.SetSoundFade", "('SD_HIT_S2DSB', 0.0, 1.0, 0.5)", "qfff"},
    };
    return rows;
}

struct Outcome
{
    std::string label;
    std::string tag;
    std::string type;
    std::string text;
};

class ScriptSweep : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        // What the game's start-up installs before scripting starts.
        TsActorsInstall(mWorld);
        WeaponsInstall();
        for (const char* name : {"fx", "fx3d", "physic"})
        {
            ScriptWorldManager::ModuleFill fill = std::string(name) == "fx"     ? FxModuleFill
                                                  : std::string(name) == "fx3d" ? Fx3dModuleFill
                                                                                : PhysicsModuleFill;
            mWorld->RegisterPendingModule(name, fill, 0);
        }
        mWorld->StartScripting();
        ASSERT_EQ(mWorld->IsScriptingStarted(), 1);
        ASSERT_EQ(Exec("import mark, path, marktype, skills, states, fx, fx3d, physic, pyactor_tools, sound"), "");
        for (PyMethodDef* table : {WeaponScriptFunctions(), TsWeaponScriptFunctions()})
            for (PyMethodDef* def = table; def->ml_name; ++def)
            {
                PyObject* function = PyCFunction_New(def, nullptr);
                PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
                Py_XDECREF(function);
            }
        ASSERT_EQ(Exec(kSweepScript), "");
        ASSERT_EQ(Exec("v = vertex(10.0, 0.0, 20.0)\n"
                       "class PyActor:\n    def __init__(self):\n        self.actorName = 'pyactor1'\n"
                       "        self.data = 'PyActor'\n"
                       "pyactor = PyActor()\n"),
                  "");
        FxContextGet()->Reset();
    }

    void TearDown() override
    {
        GiveSceneBack();
        FxServicesShutdown();
        FxContextGet()->Reset();
        Fx3dFreeAll();
        mWorld->SetHero(nullptr);
        for (TsActor* weapon : mWeapons)
        {
            mWorld->RemoveActor(weapon);
            weapon->Release();
        }
        mWeapons.clear();
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        if (!mDirectory.empty())
            std::filesystem::remove_all(mDirectory);
        mWorld->Hooks().fillSoundModule = nullptr;
        mWorld->Hooks().fillActorToolsModule = nullptr;
        SoundTest::TearDown();
    }

    void GiveSceneBack()
    {
        if (!mSceneHeld)
            return;
        mWorld->SetScene(mScene);
        mScene->Release();
        mSceneHeld = false;
    }

    /// Binds the actor's script object to the name in __main__.
    void Publish(const char* name, TsActor* actor)
    {
        PyDict_SetItemString(scripttest::MainDict(), name, actor->GetScriptObject());
    }

    void AddWeapon(TsActor* weapon, const char* name)
    {
        weapon->AddRef();
        ASSERT_EQ(Exec(std::string(name) + " = '" + name + "_object'"), "");
        weapon->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), name));
        mWorld->AddActor(weapon);
        mWeapons.push_back(weapon);
    }

    /// Actors and weapons under the names the rows use, and nothing else: no level, no scenario
    /// database, no hero, no effect services, no debris types, no sound.
    void Actors()
    {
        Publish("npc", Listed("npc", {100, 0, 100}));
        Publish("hero", Listed("hero", {0, 0, 0}, HeroFamily));
        Publish("crate", Listed("crate", {0, 0, 300}));
        // Kept for Content: the script world lets go of its scene.
        mScene->AddRef();
        mSceneHeld = true;
        mWorld->SetScene(nullptr);
        TsFModClose();
        AddWeapon(new WeaponShoot(), "gun");
        AddWeapon(new WeaponContact(), "knife");
    }

    /// The level back, a scenario database with a mark "m0" and a path "p", the hero, the effect
    /// services and debris types, sound started.
    void Content()
    {
        GiveSceneBack();
        ASSERT_EQ(TsFModStart(), 0);
        FxServicesInstall();
        Fx3dFillTypes();
        std::string pattern = (std::filesystem::temp_directory_path() / "scriptsweep_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        mDirectory = pattern;
        ScenarioMarkEntry mark;
        mark.identifier = "M_M0_RESPAWNMARK";
        mark.name = "m0";
        mark.SetPosition(-300.0f, 0.0f, 0.0f);
        mark.extras = ScenarioDbWriter::Respawn(0, 1, 0.0f, 0);
        ScenarioMarkEntry search;
        search.identifier = "M_S0_SEARCHMARK";
        search.name = "s0";
        search.SetPosition(-300.0f, 0.0f, 50.0f);
        const std::vector<ScenarioSection> sections = {
            {15, {search}, {}}, {17, {mark}, {}}, {2, {}, {{"P_p_YOSCENARICPATH", "p", {"m0", "s0"}}}}};
        const std::string file = mDirectory + "/SWEEP_SCE.sce";
        const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes(sections);
        ASSERT_FALSE(bytes.empty());
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        for (const char* id : {"SWEEP_SCE", "M_M0_RESPAWNMARK", "M_S0_SEARCHMARK", "P_p_YOSCENARICPATH"})
        {
            HbResourceManager::Instance()->AddPath(id, file.c_str());
            mIds.push_back(id);
        }
        ASSERT_EQ(mWorld->LoadScenaricData("SWEEP_SCE"), 1);
        ASSERT_NE(TsGetMarkSystem()->FindMark("m0"), nullptr);
        PyObject* hero = PyDict_GetItemString(scripttest::MainDict(), "hero");
        for (FakeActor* actor : mActors)
            if (actor->GetScriptObject() == hero)
                mWorld->SetHero(actor);
    }

    /// Runs every row's sweep; the outcomes in order.
    std::vector<Outcome> Sweep()
    {
        std::vector<Outcome> outcomes;
        EXPECT_EQ(Exec("results = []"), "");
        for (const SweepRow& row : Rows())
        {
            std::string code = "results += sweep('" + std::string(row.call) + "', " + row.call + ", " +
                               row.goodArgs + ")";
            EXPECT_EQ(Exec(code), "") << code;
        }
        PyObject* results = PyDict_GetItemString(scripttest::MainDict(), "results");
        EXPECT_NE(results, nullptr);
        if (!results)
            return outcomes;
        for (Py_ssize_t i = 0; i < PyList_Size(results); ++i)
        {
            PyObject* item = PyList_GetItem(results, i);
            PyObject* result = PyTuple_GetItem(item, 2);
            outcomes.push_back({PyUnicode_AsUTF8(PyTuple_GetItem(item, 0)), PyUnicode_AsUTF8(PyTuple_GetItem(item, 1)),
                                PyUnicode_AsUTF8(PyTuple_GetItem(result, 0)),
                                PyUnicode_AsUTF8(PyTuple_GetItem(result, 1))});
        }
        return outcomes;
    }

    std::vector<TsActor*> mWeapons;
    bool mSceneHeld = false;
    std::string mDirectory;
    std::vector<std::string> mIds;
};

const SweepRow* RowOf(const std::string& call)
{
    for (const SweepRow& row : Rows())
        if (call == row.call)
            return &row;
    return nullptr;
}

/// Every outcome against its row. With the content there, the good call must work too.
void Check(const std::vector<Outcome>& outcomes, bool content)
{
    ASSERT_GT(outcomes.size(), Rows().size() * 10);
    // A kind per argument, no more.
    std::map<std::string, size_t> arguments;
    for (const Outcome& o : outcomes)
        if (o.tag.rfind("arg", 0) == 0 && o.tag.rfind("argc", 0) != 0)
            arguments[o.label] = std::max(arguments[o.label], std::stoul(o.tag.substr(3)) + 1);
    for (const SweepRow& row : Rows())
        EXPECT_EQ(std::strlen(row.kinds) - (row.kinds[0] == '*' ? 1 : 0), arguments[row.call]) << row.call;
    for (const Outcome& o : outcomes)
    {
        const SweepRow* row = RowOf(o.label);
        ASSERT_NE(row, nullptr) << o.label;
        const std::string where = std::string(content ? "with content: " : "without content: ") + o.label + " " +
                                  o.tag + " -> " + o.type + ": " + o.text;
        EXPECT_NE(o.type, "SystemError") << where;
        if (o.type != "ok")
        {
            EXPECT_FALSE(o.text.empty()) << where << " (an error without a message)";
        }
        if (o.tag == "good")
        {
            if (content)
            {
                EXPECT_EQ(o.type, "ok") << where;
            }
            continue;
        }
        const bool ignoresExtra = row->kinds[0] == '*';
        const char* kinds = row->kinds + (ignoresExtra ? 1 : 0);
        bool accepted = o.tag == "argc+1" && ignoresExtra;
        if (o.tag.rfind("argc", 0) != 0)
        {
            const size_t index = std::stoul(o.tag.substr(3));
            ASSERT_LT(index, std::strlen(kinds)) << where << " (a kind per argument)";
            accepted = Accepts(kinds[index]).count(o.tag.substr(o.tag.find('=') + 1)) > 0;
        }
        if (!accepted)
        {
            EXPECT_NE(o.type, "ok") << where << " (a bad call that answered)";
        }
    }
}

TEST_F(ScriptSweep, BadCallsRaiseWithAMessageWithoutLevelDatabaseOrHero)
{
    Actors();
    Check(Sweep(), false);
    // The interpreter goes on.
    EXPECT_EQ(Eval("fx.ContextReset(), mark.Exist('m0'), vertex(1, 2, 3).y"), "(None, 0, 2.0)");
}

TEST_F(ScriptSweep, BadCallsRaiseWithAMessageWithTheContentLoaded)
{
    Actors();
    Content();
    Check(Sweep(), true);
    EXPECT_EQ(Eval("mark.Exist('m0'), path.GetPathMark('p'), physic.UnRegister(crate)"), "(1, ('m0', 's0'), 1)");
}

// A level script that swallows every exception in an endless loop is stopped by the step
// watchdog whether the game calls it directly (the level start) or it runs in a microthread
// (the module uthread imported for the first time inside the game's call).
TEST_F(ScriptSweep, ACatchAllEndlessLoopDoesNotHangTheGame)
{
    Actors();
    UthreadSetStepTimeLimit(40);
    ASSERT_EQ(Exec("def spin():\n    while True:\n        try:\n            fx.Play(-5)\n"
                   "        except BaseException:\n            pass\n"
                   "def start():\n    spin()\n"
                   "def stepped():\n    import uthread\n    uthread.thread(spin).step()\n"),
              "");
    const std::string stopped = "RuntimeError: script call ran longer than 40 ms and was stopped";
    size_t stops = 0;
    for (const char* callable : {"start", "stepped"})
    {
        SCOPED_TRACE(callable);
        const auto begin = std::chrono::steady_clock::now();
        mWorld->SetLevelCallbacks(PyDict_GetItemString(scripttest::MainDict(), callable), nullptr);
        mWorld->StartLevelScript();
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
        EXPECT_FALSE(PyErr_Occurred());
        const std::string log = LogText();
        size_t found = 0;
        for (size_t at = log.find(stopped); at != std::string::npos; at = log.find(stopped, at + 1))
            ++found;
        EXPECT_EQ(found, ++stops) << log;
        EXPECT_EQ(Eval("__import__('sys').gettrace()"), "None") << "the stop leaves no trace function behind";
        EXPECT_EQ(Eval("fx.ContextReset(), 1 + 1"), "(None, 2)") << "the interpreter goes on";
    }
    UthreadSetStepTimeLimit(kUthreadDefaultStepLimitMs);
    mWorld->SetLevelCallbacks(nullptr, nullptr);
}

TEST_F(ScriptSweep, EndlessConsoleLinesAndActorMethodsAreStoppedToo)
{
    Actors();
    UthreadSetStepTimeLimit(40);
    ASSERT_EQ(Exec("class Spinner:\n    def spin(self, *args):\n        while True:\n            try:\n"
                   "                pass\n            except BaseException:\n                pass\n"
                   "spinner = Spinner()\n"),
              "");
    WeaponContact* holder = new WeaponContact();
    holder->AddRef();
    holder->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "spinner"));
    mWorld->AddActor(holder);
    mWeapons.push_back(holder);

    PyObject* pair = Py_BuildValue("(ii)", 1, 2);
    const struct
    {
        const char* name;
        std::function<void()> call;
    } cases[] = {
        {"console line", [&] { EXPECT_FALSE(mWorld->RunString("while True:\n    try:\n        pass\n    except BaseException:\n        pass\n")); }},
        {"method, no argument", [&] { EXPECT_EQ(TsActorCallScriptMethod(holder, "spin", nullptr), 4); }},
        {"method, a tuple", [&] { EXPECT_EQ(TsActorCallScriptMethod(holder, "spin", pair), 4); }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto begin = std::chrono::steady_clock::now();
        c.call();
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
        PyErr_Clear();
        EXPECT_EQ(Eval("1 + 1"), "2") << "the interpreter goes on";
    }
    Py_DECREF(pair);
    UthreadSetStepTimeLimit(kUthreadDefaultStepLimitMs);
}

} // namespace
} // namespace scriptworldtest
