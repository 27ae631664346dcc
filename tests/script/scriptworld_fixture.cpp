// The script world tests' fixture.
#include "scriptworld_fixture.h"

#include "collisiontreewriter.h"
#include "frame.h"
#include "hbclock.h"
#include "hbfile.h"
#include "script_fixture.h"
#include "scriptinterpreter.h"
#include "tsevent.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "world.h"
#include "worldwriter.h"
#include "wscene.h"

#include <cstdio>

namespace scriptworldtest
{

std::vector<std::string>& Log()
{
    static std::vector<std::string> log;
    return log;
}

namespace
{
PyObject* Note(PyObject*, PyObject* args)
{
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:note", &text))
        return nullptr;
    Log().push_back(text);
    Py_RETURN_NONE;
}

PyMethodDef gNoteDef = {"note", Note, METH_VARARGS, nullptr};
} // namespace

World* MakeWallWorld()
{
    WorldDescription d;
    d.materials = {{{200, 0x10, 0, 255}}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {0,     -200, -1000, 0,    400,  -1000, 0,    -200, 1000, 0,    400, 1000,
                      -1000, -100, -1000, -1000, -100, 1000, 1000, -100, -1000, 1000, -100, 1000};
    // The wall in both windings, so it blocks lines from either side; the floor faces up.
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 1, 2}, {2, 1, 3}, {0, 2, 1}, {2, 3, 1},
                                                      {4, 5, 6}, {6, 5, 7}};
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {1000, 400, 1000, -1000, -200, -1000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

FakeActor::~FakeActor()
{
    if (mLogRelease)
        Log().push_back("released " + mName);
    if (mNode)
    {
        if (W3dNode* parent = mNode->GetParent())
            parent->RemoveChild(mNode);
        mNode->Release();
    }
}

W3dNode* FakeActor::GetNode()
{
    return mNode;
}

void ScriptWorldTest::SetUp()
{
    SceneTest::SetUp();
    Log().clear();
    mScriptLog = HbFileWrapCrt(std::tmpfile());
    ASSERT_NE(mScriptLog, nullptr);
    ScriptInterpreter::SetLogFiles(mScriptLog, mScriptLog);
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    PyObject* note = PyCFunction_New(&gNoteDef, nullptr);
    PyDict_SetItemString(scripttest::MainDict(), "note", note);
    Py_XDECREF(note);
    ASSERT_EQ(Exec("log = []\n"
                   "def rec(tag):\n"
                   "    def f(*args):\n"
                   "        log.append((tag,) + args)\n"
                   "    return f\n"),
              "");

    HbGameClock* clock = HbGameClock::Instance();
    clock->mGameTime = 0;
    clock->mStepSeconds = 0.0f;

    mWorld = new ScriptWorldManager();
    mWallWorld = MakeWallWorld();
    ASSERT_NE(mWallWorld, nullptr);
    mLevel = W3dLevel::Create();
    mLevel->AddRef();
    mLevel->SetMainWorld(mWallWorld);
    mScene = new WScene();
    mScene->SetLevel(mLevel);
    mWorld->SetScene(mScene);
}

void ScriptWorldTest::TearDown()
{
    while (mWorld->GetActors().GetHead())
        mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
    mWorld->SetHero(nullptr);
    for (FakeActor* actor : mActors)
        actor->Release();
    mActors.clear();
    mWorld->SetScene(nullptr);
    delete mWorld;
    if (mLevel)
        mLevel->Release();
    if (mWallWorld)
        World::Destroy(mWallWorld);
    EXPECT_FALSE(PyErr_Occurred()) << scripttest::TakeError();
    Exec("for name in [n for n in globals() if not n.startswith('__')]: del globals()[name]");
    ScriptInterpreter::SetLogFiles(nullptr, nullptr);
    HbFileClose(mScriptLog);
    SceneTest::TearDown();
    // Garbage of this test is collected before the next one builds its modules again: left for a
    // later collection, it crashed the interpreter after a few dozen tests.
    PyGC_Collect();
}

FakeActor* ScriptWorldTest::Make(const char* name, Vector at, uint32_t family, Placement placement)
{
    auto* actor = new FakeActor();
    actor->AddRef();
    actor->mName = name;
    actor->mFamily = family;
    PyObject* script = PyUnicode_FromString(name);
    actor->SetScriptObject(script);
    Py_XDECREF(script);
    if (placement != kNoNode)
    {
        actor->mNode = W3dFrame::Create();
        actor->mNode->AddRef();
        actor->mNode->SetWorldPosition(&at);
        if (placement == kInScene)
            mScene->GetRoot()->AttachChild(actor->mNode);
        Frame::SyncDirtyList();
    }
    mActors.push_back(actor);
    return actor;
}

FakeActor* ScriptWorldTest::Listed(const char* name, Vector at, uint32_t family, Placement placement)
{
    FakeActor* actor = Make(name, at, family, placement);
    mWorld->AddActor(actor);
    return actor;
}

TsEvent* ScriptWorldTest::Register(FakeActor* owner, int32_t id, const char* callable, float value, float period,
                                   uint32_t mask, TsActor* target)
{
    auto* event = new TsEvent();
    event->id = id;
    event->value = value;
    event->period = period;
    event->familyMask = mask;
    PyObject* object = PyRun_String(callable, Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
    EXPECT_NE(object, nullptr) << callable << ": " << scripttest::TakeError();
    event->SetCallable(object);
    Py_XDECREF(object);
    event->SetTarget(target);
    EXPECT_EQ(owner->AddEvent(event), 1);
    return event;
}

void ScriptWorldTest::Frame(float seconds)
{
    HbGameClock* clock = HbGameClock::Instance();
    clock->mStepSeconds = seconds;
    clock->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()) + 0.5);
    mWorld->Update();
}

std::string ScriptWorldTest::Exec(const std::string& code)
{
    return scripttest::Exec(code);
}

std::string ScriptWorldTest::Eval(const std::string& expression)
{
    return scripttest::Eval(expression);
}

std::string ScriptWorldTest::ListedNames()
{
    std::string names;
    for (HbPtrListNode* node = mWorld->GetActors().GetHead(); node; node = node->next)
        names += (names.empty() ? "" : " ") + static_cast<FakeActor*>(node->value)->mName;
    return names;
}

std::string ScriptWorldTest::LogText()
{
    std::FILE* f = mScriptLog->crt;
    std::fflush(f);
    long end = std::ftell(f);
    std::string text(size_t(end), '\0');
    std::rewind(f);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fseek(f, end, SEEK_SET);
    return text;
}

} // namespace scriptworldtest
