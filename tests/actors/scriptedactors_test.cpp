// Actors made by a script: a test actor type registered with the type registry, created from
// Python by its published id and bound to the script's objects, whose handlers get the events
// queued around a sender and play 3D sounds where their actors stand (read on the sound layer's
// call log).
#include "tsfmod_fixture.h"

#include "fmod3testhooks.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptvertex.h"
#include "tsactortyperegistry.h"
#include "tsactorlayer.h"
#include "tsdummyactor.h"
#include "tsevent.h"
#include "tsfmod.h"
#include "tsscriptbinding.h"
#include "w3dframe.h"
#include "wscene.h"

#include <algorithm>

namespace scriptworldtest
{
namespace
{

/// The test's actor type: a placeable frame that counts its updates.
class Bell : public TsDummyActor
{
public:
    void Update() override { ++mUpdates; }
    int32_t mUpdates = 0;
};

struct BellFactory : TsActorFactory
{
    TsActor* Create() override
    {
        auto* bell = new Bell();
        bell->AddRef();
        return bell;
    }
};

constexpr const char* kBellType = "TestBell";
/// Clear of the game's ids, which the other tests of this program register.
constexpr int32_t kBellTypeId = 90;

// The scenario layer's actor functions are not built yet: the module "testactors" stands in
// for creating an actor from a type id, registering a handler and reading a position.
ScriptWorldManager* gWorld = nullptr;
W3dNode* gRoot = nullptr;
std::vector<TsActor*> gCreated;

TsActor* BoundActor(PyObject* instance)
{
    for (TsActor* actor : gCreated)
        if (actor->GetScriptObject() == instance)
            return actor;
    PyErr_SetString(PyExc_ValueError, "no actor is bound to that object");
    return nullptr;
}

PyObject* CreateActor(PyObject*, PyObject* args)
{
    int type = 0;
    unsigned int family = 0;
    PyObject* instance = nullptr;
    PyObject* where = nullptr;
    if (!PyArg_ParseTuple(args, "iOOI:CreateActor", &type, &instance, &where, &family))
        return nullptr;
    if (!ScriptIsVertex(where))
    {
        PyErr_SetString(PyExc_TypeError, "CreateActor : a vertex is needed");
        return nullptr;
    }
    TsActor* actor = TsActorTypeRegistry::Instance()->Create(type);
    if (!actor)
    {
        PyErr_SetString(PyExc_RuntimeError, "Actor creation failed");
        return nullptr;
    }
    gCreated.push_back(actor);
    actor->BindScriptObject(instance);
    actor->mFamily = family;
    gRoot->AttachChild(actor->GetNode());
    auto* vertex = reinterpret_cast<ScriptVertex*>(where);
    const Vector at = {vertex->x, vertex->y, vertex->z};
    actor->SetPosition(&at);
    gWorld->AddActor(actor);
    Py_RETURN_NONE;
}

PyObject* RegisterEvent(PyObject*, PyObject* args)
{
    PyObject* instance = nullptr;
    PyObject* callable = nullptr;
    int id = 0;
    if (!PyArg_ParseTuple(args, "OiO:RegisterEvent", &instance, &id, &callable))
        return nullptr;
    TsActor* actor = BoundActor(instance);
    if (!actor)
        return nullptr;
    auto* event = new TsEvent();
    event->id = id;
    event->SetCallable(callable);
    if (!actor->AddEvent(event))
        delete event;
    Py_RETURN_NONE;
}

PyObject* Position(PyObject*, PyObject* args)
{
    PyObject* instance = nullptr;
    if (!PyArg_ParseTuple(args, "O:Position", &instance))
        return nullptr;
    TsActor* actor = BoundActor(instance);
    if (!actor)
        return nullptr;
    const Vector* at = actor->GetNode()->GetWorldPosition();
    return ScriptNewVertex(at->x, at->y, at->z);
}

PyMethodDef gTestActorsMethods[] = {
    {"CreateActor", CreateActor, METH_VARARGS, nullptr},
    {"RegisterEvent", RegisterEvent, METH_VARARGS, nullptr},
    {"Position", Position, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

class ScriptedActors : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        if (HasFatalFailure())
            return;
        // Registered before scripting starts, so that "actors_type" publishes it.
        TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance();
        if (!registry->FindByName(kBellType))
        {
            ASSERT_EQ(registry->Register(new BellFactory(), kBellType, kBellTypeId), 1);
        }
        TsActorsInstall(mWorld);
        mWorld->StartScripting();
        PyObject* module = PyImport_AddModule("testactors");
        ASSERT_NE(module, nullptr);
        ASSERT_EQ(PyModule_AddFunctions(module, gTestActorsMethods), 0);
        gWorld = mWorld;
        gRoot = mScene->GetRoot();
    }

    void TearDown() override
    {
        // The actors hold their script objects: let them go while the interpreter runs.
        for (TsActor* actor : gCreated)
        {
            mWorld->RemoveActor(actor);
            actor->RemoveNodeFromParent();
            actor->Release();
        }
        gCreated.clear();
        gWorld = nullptr;
        gRoot = nullptr;
        mWorld->Hooks().fillSoundModule = nullptr;
        mWorld->Hooks().fillActorToolsModule = nullptr;
        SoundTest::TearDown();
    }

    /// The positions of the 3D sounds placed since the log was cleared, sorted.
    static std::vector<std::string> Placed()
    {
        std::vector<std::string> positions;
        for (const std::string& args : fmod3test::CallArgs("FSOUND_3D_SetAttributes"))
            positions.push_back(args.substr(args.find('(')));
        std::sort(positions.begin(), positions.end());
        return positions;
    }
};

TEST_F(ScriptedActors, EventsQueuedAroundASenderMakeScriptActorsPlaySoundsWhereTheyStand)
{
    ASSERT_EQ(Exec("import actors_type, event, family, pyactor_tools, sound, testactors\n"
                   "class Bell:\n"
                   "    def __init__(self, name, where):\n"
                   "        self.actorName = name\n"
                   "        self.rung = []\n"
                   "        testactors.CreateActor(actors_type.TestBell, self, where, family.HeroEnemyFamily)\n"
                   "        pyactor_tools.StorePyActor(self)\n"
                   "        testactors.RegisterEvent(self, event.hit, self.OnHit)\n"
                   "    def OnHit(self, info):\n"
                   "        sender, value, identity = info\n"
                   "        self.rung.append((sender, value))\n"
                   "        sound.PlaySound('SD_HUM_S3DSB', testactors.Position(self))\n"
                   "bells = [Bell('north', vertex(0, 0, 300)), Bell('east', vertex(250, 20, 0)),\n"
                   "         Bell('far', vertex(5000, 0, 0))]\n"),
              "");
    EXPECT_EQ(Eval("actors_type.TestBell"), std::to_string(kBellTypeId));
    ASSERT_EQ(gCreated.size(), 3u);
    const char* names[] = {"north", "east", "far"};
    for (size_t i = 0; i < gCreated.size(); ++i)
    {
        EXPECT_NE(dynamic_cast<Bell*>(gCreated[i]), nullptr) << "made by the registered factory";
        std::string name;
        EXPECT_EQ(TsActorGetScriptName(gCreated[i], name), 0);
        EXPECT_EQ(name, names[i]) << "bound to its script object";
    }
    EXPECT_NE(Exec("testactors.CreateActor(9999, Bell, vertex(0, 0, 0), 0)").find("Actor creation failed"),
              std::string::npos);

    // The sender's events reach the bells within 1000 of it; the far one hears nothing.
    FakeActor* alarm = Listed("alarm", {0.0f, 0.0f, 0.0f});
    fmod3test::EnableCallLog(true);
    mWorld->QueueEventsInRange(alarm, 1000, kEventHit, HeroEnemyFamily, 0, 2.0f);
    EXPECT_EQ(mWorld->GetQueuedCount(), 2);
    Frame(0.02f);
    EXPECT_EQ(Eval("[(b.actorName, b.rung) for b in bells]"),
              "[('north', [('alarm', 2.0)]), ('east', [('alarm', 2.0)]), ('far', [])]");
    EXPECT_EQ(TsFModGetLiveCount(), 2) << LogText();
    EXPECT_EQ(Placed(), (std::vector<std::string>{"(0, 0, 300), null", "(250, 20, 0), null"}));
    EXPECT_GT(static_cast<Bell*>(gCreated[2])->mUpdates, 0) << "every listed actor is updated";

    // Moved by the game, a bell rings where it now stands.
    const Vector moved = {-120.0f, 5.0f, 40.0f};
    gCreated[1]->SetPosition(&moved);
    fmod3test::ClearCallLog();
    mWorld->QueueEventsInRange(alarm, 200, kEventHit, HeroEnemyFamily, 0, 3.0f);
    Frame(0.02f);
    EXPECT_EQ(Placed(), (std::vector<std::string>{"(-120, 5, 40), null"}));
    EXPECT_EQ(Eval("bells[1].rung[-1]"), "('alarm', 3.0)");
}

} // namespace
} // namespace scriptworldtest
