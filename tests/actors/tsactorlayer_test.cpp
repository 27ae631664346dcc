// The actor layer over a running script world: the actor base's ground snap, sight bands
// and decaying noise; subscriptions and queued events; the script binding and the module
// pyactor_tools; the family and skill modules; save records and their mutated-input sweep.
#include "collisiontreewriter.h"
#include "eboxcontract.h"
#include "frame.h"
#include "hbclock.h"
#include "hbsavefile.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsactorlayer.h"
#include "tsactorsaverecord.h"
#include "tsevent.h"
#include "tsfamilytable.h"
#include "tsmotorskills.h"
#include "tsscriptbinding.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "uthread.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "world.h"
#include "worldwriter.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace
{
using namespace scriptworldtest;

/// One floor triangle at y 0 around the origin, and one slope at x 5000 whose normal has y
/// 0.25, in both windings.
World* MakeSnapWorld()
{
    WorldDescription d;
    d.materials = {{{200, 0, 0, 255}}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    const float s = 3.8729833f; // sqrt(1 - 0.25^2) / 0.25
    leaf.positions = {-1000, 0,       -1000, -1000, 0,       2000, 2000, 0, -1000,
                      4900,  100 * s, -100,  4900,  100 * s, 100,  5100, -100 * s, 0};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 1, 2}, {3, 4, 5}, {3, 5, 4}};
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {6000, 1000, 3000, -2000, -1000, -2000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

class ActorLayer : public ScriptWorldTest
{
protected:
    void AdvanceSeconds(double seconds)
    {
        HbGameClock::Instance()->mGameTime += int64_t(seconds * double(HbPerformanceFrequency()) + 0.5);
    }
};

// ---- The actor base ---------------------------------------------------------------------------

TEST_F(ActorLayer, SnapDropsOntoFlatGroundAndRefusesASteepSlope)
{
    World* snap = MakeSnapWorld();
    ASSERT_NE(snap, nullptr);
    mLevel->SetMainWorld(snap);
    FakeActor* flat = Make("flat", {0, 30, 0});
    EXPECT_EQ(flat->SnapToGround(), 1);
    EXPECT_NEAR(flat->mNode->GetWorldPosition()->y, 0.0f, 1e-3f);
    EXPECT_NEAR(flat->mCollision.distance, 100.0f / 140.0f, 1e-4f);

    FakeActor* slope = Make("slope", {5000, 30, 0});
    EXPECT_EQ(slope->SnapToGround(), 0);
    EXPECT_TRUE(slope->mCollision.hit) << "the slope was hit, and refused";
    EXPECT_NEAR(std::fabs(slope->mCollision.normal.y), 0.25f, 1e-3f);
    EXPECT_FLOAT_EQ(slope->mNode->GetWorldPosition()->y, 30.0f);

    FakeActor* high = Make("high", {0, 200, 0});
    EXPECT_EQ(high->SnapToGround(), 0) << "the ground is beyond the 70-unit reach";
    high->mGroundTestFlags = 0;
    Vector down = {0, -180, 0};
    EXPECT_EQ(high->SnapToGround(&down), 0) << "no collision chosen";
    mLevel->SetMainWorld(mWallWorld);
    World::Destroy(snap);
}

TEST_F(ActorLayer, AttachAndDetachKeepTheWorldPlacement)
{
    FakeActor* carrier = Make("carrier", {100, 0, 0});
    FakeActor* load = Make("load", {10, 20, 30});
    ASSERT_EQ(load->AttachTo(carrier), 1);
    Frame::SyncDirtyList();
    EXPECT_EQ(load->mNode->GetParent(), carrier->mNode);
    const Vector* at = load->mNode->GetWorldPosition();
    EXPECT_NEAR(at->x, 10, 1e-3f);
    EXPECT_NEAR(at->z, 30, 1e-3f);
    Vector moved = {150, 0, 0};
    carrier->mNode->SetWorldPosition(&moved);
    Frame::SyncDirtyList();
    EXPECT_NEAR(load->mNode->GetWorldPosition()->x, 60, 1e-3f) << "it follows its carrier";
    ASSERT_EQ(load->DetachToWorld(), 1);
    Frame::SyncDirtyList();
    EXPECT_EQ(load->mNode->GetParent(), mScene->GetRoot());
    EXPECT_NEAR(load->mNode->GetWorldPosition()->x, 60, 1e-3f);
    EXPECT_NEAR(load->mNode->GetWorldPosition()->y, 20, 1e-3f);
    TsActor nodeless;
    EXPECT_EQ(nodeless.AttachTo(carrier), 0);
    EXPECT_EQ(nodeless.DetachToWorld(), 0);
}

TEST_F(ActorLayer, SightBandsAndClasses)
{
    TsActor actor;
    EXPECT_FLOAT_EQ(actor.GetSightDistance(0, actor.mVisibilityClass, actor.mPostureClass), 2000);
    struct Case
    {
        float angle;
        int32_t visibility;
        float expected;
    } cases[] = {{20, 0, 2000}, {20.01f, 0, 1000}, {-55, 0, 600}, {70.5f, 0, 130}, {0, 4, 0}, {80, 4, 0}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(actor.GetSightDistance(c.angle, c.visibility, 0), c.expected) << c.angle;
    float row[5] = {1, 2, 3, 4, 5};
    actor.SetVisibilityDistances(4, 0, row);
    actor.SetVisibilityDistances(0, -1, row);
    EXPECT_FLOAT_EQ(actor.GetSightDistance(0, 0, 0), 2000) << "rows outside the table are ignored";
    actor.SetVisibilityDistances(0, 0, row);
    actor.mSightMultiplier = 2.0f;
    EXPECT_FLOAT_EQ(actor.GetSightDistance(0, 0, 4), 10);
    actor.SetMaxHitPoints(50);
    actor.SetHitPoints(80);
    EXPECT_EQ(actor.mHitPoints, 50);
}

TEST_F(ActorLayer, NoiseDecaysOnTheGameClock)
{
    TsActor actor;
    HbGameClock::Instance()->mGameTime = 1000;
    EXPECT_EQ(actor.SetSoundLevel(11), 1);
    EXPECT_EQ(actor.GetSoundLevel(), 100u);
    AdvanceSeconds(2.5);
    EXPECT_EQ(actor.GetSoundLevel(), 50u);
    AdvanceSeconds(3.5);
    EXPECT_EQ(actor.GetSoundLevel(), 0u);
    int64_t stamp = actor.mNoiseStamp;
    AdvanceSeconds(1);
    EXPECT_EQ(actor.GetSoundLevel(), 0u);
    EXPECT_EQ(actor.mNoiseStamp, stamp) << "a silent actor's stamp stays";

    actor.SetSoundLevel(12);
    AdvanceSeconds(3);
    actor.SetSoundLevel(1);
    EXPECT_EQ(actor.GetSoundLevel(), 40u) << "25 is below the decayed 40";
    actor.SetSoundLevel(8);
    EXPECT_EQ(actor.GetSoundLevel(), 75u);
    actor.SetSoundLevel(99);
    actor.SetSoundLevel(-3);
    EXPECT_EQ(actor.GetSoundLevel(), 75u) << "rows outside the table read as silence";
}

TEST_F(ActorLayer, UnplacedActorsAreOutOfRange)
{
    FakeActor* placed = Make("placed", {0, 0, 0});
    FakeActor* loose = Make("loose", {0, 0, 0}, HeroEnemyFamily, kOutside);
    EXPECT_LT(placed->GetDistanceSquaredTo(loose), 0.0f);
    EXPECT_LT(mWorld->GetActorDistance(placed, loose), 0.0f);
}

// ---- Subscriptions and the queue ------------------------------------------------------------------

TEST_F(ActorLayer, SubscriptionsAreFoundReplacedDeactivatedAndPurged)
{
    FakeActor* owner = Make("owner", {0, 0, 0});
    PyObject* first = PyRun_String("rec('first')", Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
    PyObject* second = PyRun_String("rec('second')", Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(TsActorSubscribe(owner, kEventDistanceIn, 0, first, 10, nullptr), 1);
    EXPECT_EQ(TsActorSubscribe(owner, kEventDistanceIn, HeroFamily, second, 20, nullptr), 1);
    EXPECT_EQ(TsActorSubscribe(owner, kEventTimer1, 0, Py_None, 2, nullptr), 0) << "None is not callable";
    ASSERT_EQ(owner->GetEvents().GetCount(), 1) << "re-subscribing reuses the subscription";
    TsEvent* event = owner->FindEvent(kEventDistanceIn);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->callable, second);
    EXPECT_FLOAT_EQ(event->value, 400);
    EXPECT_EQ(event->familyMask, uint32_t(HeroFamily));
    EXPECT_EQ(Py_REFCNT(first), 1) << "the replaced callable was let go";
    TsActorSubscribe(owner, kEventTimer2, 0, first, 2, nullptr);
    EXPECT_FLOAT_EQ(owner->FindEvent(kEventTimer2)->period, 2);

    EXPECT_NE(owner->DeactivateEvent(kEventDistanceIn), nullptr) << "the timer follows it";
    EXPECT_EQ(owner->FindEvent(kEventDistanceIn), nullptr);
    EXPECT_EQ(owner->DeactivateEvent(kEventDistanceIn), nullptr);
    owner->PurgeEvents();
    EXPECT_EQ(owner->GetEvents().GetCount(), 1);
    Py_DECREF(first);
    Py_DECREF(second);
}

TEST_F(ActorLayer, PoolsSpillToTheHeapAndADestroyedActorReturnsItsSubscriptions)
{
    auto* actor = new TsActor();
    actor->AddRef();
    actor->mEBoxBits = EBoxActorBitsNew();
    ASSERT_NE(actor->mEBoxBits, nullptr);
    EXPECT_EQ(actor->mEBoxBits->stamp, -1);
    std::vector<TsSendEvent*> sent;
    for (int32_t i = 0; i < TsSendEvent::kPoolSize + 10; ++i)
        sent.push_back(TsSendEvent::Allocate());
    for (TsSendEvent* event : sent)
        ASSERT_NE(event, nullptr);
    for (int32_t i = 0; i < TsEvent::kPoolSize + 10; ++i)
    {
        auto* event = new TsEvent();
        event->callback = [](TsActor*, float, TsActor*) {};
        event->id = i;
        ASSERT_EQ(actor->AddEvent(event), 1);
    }
    EXPECT_NE(actor->FindEvent(TsEvent::kPoolSize + 5), nullptr);
    for (TsSendEvent* event : sent)
        TsSendEvent::Free(event);
    actor->Release(); // the sanitizers report any subscription or record it kept
}

TEST_F(ActorLayer, TheQueueDropsDuplicatesAndServesFromItsEndAfterTheFirst)
{
    FakeActor* target = Listed("target", {0, 0, 0});
    ASSERT_EQ(Exec("got = []\ndef hear(args): got.append(args[1])\n"), "");
    PyObject* hear = PyDict_GetItemString(scripttest::MainDict(), "hear");
    for (int32_t id : {kEventHit, kEventUse, kEventStrike})
        ASSERT_EQ(TsActorSubscribe(target, id, 0, hear, 1, nullptr), 1);
    float value = 1;
    for (int32_t id : {kEventHit, kEventUse, kEventStrike, kEventHit})
    {
        TsSendEvent event;
        event.id = id;
        event.target = target;
        event.value = value++;
        mWorld->QueueEvent(event);
    }
    EXPECT_EQ(mWorld->GetQueuedCount(), 3);
    Frame(0.016f);
    EXPECT_EQ(Eval("got"), "[1.0, 3.0, 2.0]");
}

// ---- Script binding -------------------------------------------------------------------------------

class ActorBinding : public ActorLayer
{
protected:
    void SetUp() override
    {
        ActorLayer::SetUp();
        PyObject* tools = PyModule_New("pyactor_tools");
        ASSERT_EQ(PyActorToolsInit(tools), 1);
        PyDict_SetItemString(scripttest::MainDict(), "pyactor_tools", tools);
        Py_DECREF(tools);
        ASSERT_EQ(Exec("class Guard:\n"
                       "    def __init__(self, name, data='d'):\n"
                       "        self.actorName = name\n"
                       "        self.data = data\n"
                       "        self.currentBehaviourGenericName = 'patrol'\n"
                       "    def ping(self, *args): log.append(('ping',) + args)\n"
                       "    def boom(self): raise ValueError('boom')\n"
                       "class ClassGardWithGraph(Guard): pass\n"),
                  "");
    }
    TsActor* Bound(const char* expression)
    {
        auto* actor = new TsActor();
        actor->AddRef();
        PyObject* object = PyRun_String(expression, Py_eval_input, scripttest::MainDict(), scripttest::MainDict());
        EXPECT_NE(object, nullptr) << scripttest::TakeError();
        actor->BindScriptObject(object);
        Py_XDECREF(object);
        return actor;
    }
};

TEST_F(ActorBinding, TheModuleStoresRemovesAndAsksNames)
{
    ASSERT_EQ(Exec("g = Guard('g1')\nfirst = pyactor_tools.StorePyActor(g)\n"
                   "other = Guard('g1')\nagain = pyactor_tools.StorePyActor(other)\n"),
              "");
    EXPECT_EQ(Eval("(first, again, g1 is g)"), "(1, 1, True)") << "an existing global stays";
    EXPECT_EQ(Eval("(pyactor_tools.IsNameExist('g1'), pyactor_tools.IsNameExist('nobody'))"), "(1, 0)");
    EXPECT_EQ(Eval("pyactor_tools.RemovePyActor(g)"), "1");
    EXPECT_EQ(Eval("pyactor_tools.RemovePyActor(g)"), "0") << "no longer stored";
    EXPECT_EQ(Eval("pyactor_tools.StorePyActor(3)"), "!TypeError: StorePyActor : The pyobject is not a py actor");
    EXPECT_EQ(Eval("pyactor_tools.RemovePyActor(Guard)")[0], '!');
}

TEST_F(ActorBinding, NativeCallsAnswerTheirCodesAndSpreadTuples)
{
    TsActor* actor = Bound("Guard('hero')");
    EXPECT_EQ(actor->GetName(), "hero");
    EXPECT_EQ(TsActorCallScriptMethod(actor, "ping", nullptr), 0);
    PyObject* pair = Py_BuildValue("(is)", 4, "x");
    EXPECT_EQ(TsActorCallScriptMethod(actor, "ping", pair), 0);
    PyObject* one = PyLong_FromLong(9);
    EXPECT_EQ(TsActorCallScriptMethod(actor, "ping", one), 0);
    EXPECT_EQ(Eval("log"), "[('ping',), ('ping', 4, 'x'), ('ping', 9)]");
    EXPECT_EQ(TsActorCallScriptMethod(actor, "missing", nullptr), 3);
    EXPECT_EQ(TsActorCallScriptMethod(actor, "boom", nullptr), 4);
    EXPECT_FALSE(PyErr_Occurred());
    EXPECT_EQ(TsActorScriptDelete(actor), 3) << "no delete method";
    EXPECT_EQ(TsActorBehaviourNameEquals(actor, "patrol"), 1);
    EXPECT_EQ(TsActorBehaviourNameEquals(actor, "patro"), 0);
    std::string name;
    EXPECT_EQ(TsActorGetBehaviourName(actor, name), 0);
    EXPECT_EQ(name, "patrol");
    EXPECT_EQ(TsActorCheckScriptClass(actor, "Guard"), 1);
    EXPECT_EQ(TsActorCheckScriptClass(actor, "TheHero"), 0);
    EXPECT_EQ(TsActorGetScriptName(actor, name), 1) << "not stored in __main__";
    Py_DECREF(pair);
    Py_DECREF(one);
    actor->Release();

    TsActor* gard = Bound("ClassGardWithGraph('TheHero')");
    EXPECT_EQ(TsActorCheckScriptClass(gard, "Gard"), 1);
    EXPECT_EQ(TsActorCheckScriptClass(gard, "TheHero"), 1);
    gard->Release();
}

TEST_F(ActorBinding, CreatingFromSaveTextsCallsTheClassAndRefusesInjection)
{
    EXPECT_EQ(TsCreateScriptObject("Guard", "g2", "Data1"), 0);
    EXPECT_EQ(Eval("(g2.actorName, g2.data)"), "('g2', 'Data1')");
    EXPECT_EQ(TsCreateScriptObject("Guard", "g2", "Data2"), 2);
    const char* bad[][3] = {{"Guard", "g3", "x\")\nimport os\n#"},
                            {"Guard", "g4", "a\nb"},
                            {"Guard", "g5 = 1; g6", "d"},
                            {"Guard(1)", "g7", "d"},
                            {"Missing", "g8", "d"}};
    for (const auto& c : bad)
    {
        EXPECT_EQ(TsCreateScriptObject(c[0], c[1], c[2]), 4) << c[1];
        EXPECT_FALSE(PyErr_Occurred());
    }
    EXPECT_EQ(Eval("[n for n in ('g3', 'g4', 'g5', 'g6', 'g7', 'g8', 'os') if n in globals()]"), "[]");
}

TEST_F(ActorBinding, DestroyingTheActorUnstoresItsInstance)
{
    ASSERT_EQ(Exec("keep = Guard('kept')\npyactor_tools.StorePyActor(keep)\n"), "");
    TsActor* actor = Bound("keep");
    EXPECT_EQ(TsActorIsScriptStored(actor), 1);
    actor->Release();
    EXPECT_EQ(Eval("'kept' in globals()"), "False");

    // Respawned under the same name: the old instance's death leaves the new one stored.
    ASSERT_EQ(Exec("old = Guard('respawned')\npyactor_tools.StorePyActor(old)\n"), "");
    TsActor* dying = Bound("old");
    ASSERT_EQ(Exec("new = Guard('respawned')\npyactor_tools.RemovePyActor(old)\npyactor_tools.StorePyActor(new)\n"),
              "");
    dying->Release();
    EXPECT_EQ(Eval("globals().get('respawned') is new"), "True");
}

TEST_F(ActorBinding, RequestsReachListedActorsByName)
{
    ASSERT_EQ(Exec("def req(self, *args): log.append(args)\nGuard.requestBehaviourFromScenaric = req\n"), "");
    TsActor* actor = Bound("Guard('walker')");
    EXPECT_EQ(TsActorByNameCallScript("walker", "run", nullptr), 4) << "not in the world";
    mWorld->AddActor(actor);
    EXPECT_EQ(TsFindActorByName("walker"), actor);
    EXPECT_EQ(TsActorByNameCallScript("walker", "run", Py_None), 0);
    EXPECT_EQ(Eval("log"), "[(0, 'run', None)]");
    EXPECT_EQ(TsActorByNameBehaviourNameEquals("walker", "patrol"), 1);
    mWorld->RemoveActor(actor);
    actor->Release();
}

// ---- Families, skills and save records --------------------------------------------------------------

TEST_F(ActorLayer, FamiliesArePublishedAndValueThreeIsRefused)
{
    TsRegisterFamilies();
    TsFamilyTable* table = TsFamilyTable::Instance();
    ASSERT_EQ(table->PublishToModule("family"), 1);
    EXPECT_EQ(Eval("len([v for k, v in vars(__import__('family')).items() if not k.startswith('__')])"), "18");
    EXPECT_EQ(Eval("(__import__('family').faction7, __import__('family').CameraCollFamily)"), "(32768, 131072)");
    EXPECT_EQ(table->AddEntry("Mixed", 3), 1);
    EXPECT_EQ(table->FindByName("Mixed"), nullptr);
    EXPECT_EQ(table->AddEntry("HeroFamily", 1), 0);
}

TEST_F(ActorLayer, TheScriptHostRestartsFiveHundredTimesInOneProcess)
{
    // Each round what a level's scripts touch: every module of the actor layer, a skills
    // function kept in a name, a microthread switched to and blocked, a guarded call.
    TsActorsInstall(mWorld);
    for (int round = 0; round < 500; ++round)
    {
        mWorld->StopScripting();
        mWorld->StartScripting();
        ASSERT_TRUE(ScriptInterpreter::IsStarted()) << "round " << round;
        ASSERT_EQ(Exec("import uthread, skills, sound, pyactor_tools, event, family, actors_type\n"
                       "s = uthread.semaphore(0)\n"
                       "def body():\n"
                       "    s.claim()\n"
                       "t = uthread.thread(body)\n"
                       "t.step()\n"
                       "nothing = skills.TsNothingToDo\n"
                       "def ping():\n"
                       "    nothing(1)\n"
                       "    return pyactor_tools.IsNameExist('ping') + skills.MS_FAILED\n"),
                  "")
            << "round " << round;
        PyObject* result = UthreadGuardedCall(PyDict_GetItemString(scripttest::MainDict(), "ping"), nullptr);
        ASSERT_NE(result, nullptr) << "round " << round;
        EXPECT_EQ(PyLong_AsLong(result), 9);
        Py_DECREF(result);
    }
}

TEST_F(ActorLayer, ASkillsFunctionKeptByAScriptOutlivesTheNextStartOfTheWorld)
{
    // The functions of "skills" read their rows from the registry's table: a world started
    // again in the same interpreter must not free the rows a kept function still reads.
    TsActorsInstall(mWorld);
    mWorld->StartScripting();
    ASSERT_EQ(Exec("import skills\nkeep = skills.TsNothingToDo\n"), "");
    mWorld->StartScripting();
    auto* kept = reinterpret_cast<PyCFunctionObject*>(PyDict_GetItemString(scripttest::MainDict(), "keep"));
    ASSERT_NE(kept, nullptr);
    EXPECT_STREQ(kept->m_ml->ml_name, "TsNothingToDo");
    EXPECT_EQ(Eval("keep(1)"), "None");
    mWorld->Hooks().fillActorToolsModule = nullptr;
}

TEST_F(ActorLayer, TheSkillsModuleHoldsTheConstantsAndTheTrivialSkill)
{
    TsActorsInstall(mWorld);
    mWorld->StartScripting();
    EXPECT_EQ(Eval("__import__('skills').MS_SUCCEEDED, __import__('skills').MS_FAILED, "
                   "__import__('skills').MS_NOTHING_TO_DO"),
              "(2, 8, 52428)");
    EXPECT_EQ(Eval("__import__('skills').TsNothingToDo(1)"), "None");
    EXPECT_EQ(Eval("__import__('pyactor_tools').IsNameExist('note')"), "1");
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    EXPECT_EQ(registry->GetSkillId("MS_NOTHING_TO_DO"), 52428);
    EXPECT_EQ(registry->GetSkillId("MS_NONE"), TsSkillRegistry::kNoSkill);
    EXPECT_STREQ(registry->GetSkillName(52428), "MS_NOTHING_TO_DO");
    EXPECT_EQ(registry->CreateSkillState(1234, nullptr, Py_None), nullptr);

    struct Skilled : TsActor
    {
        Skilled() : skills(this) {}
        ~Skilled() override { ExitMotorSkills(); }
        TsMotorSkills* GetMotorSkills() override { return &skills; }
        TsMotorSkills skills;
    } actor;
    TsMotorSkill* nothing = registry->CreateSkillState(52428, &actor, Py_None);
    ASSERT_NE(nothing, nullptr);
    actor.skills.AddSkill(nothing);
    EXPECT_STREQ(TsActorGetChangingSkillName(&actor), "MS_DO_NOTHING");
    EXPECT_EQ(actor.skills.LoopSkill("MS_NOTHING_TO_DO"), 0);
    EXPECT_TRUE(actor.skills.mFlags & TsMotorSkills::kSucceeded);
    EXPECT_STREQ(TsActorGetChangingSkillName(&actor), "MS_NOTHING_TO_DO") << "the skill it changed to";
    TsActor skillless;
    EXPECT_EQ(TsActorGetChangingSkillName(&skillless), nullptr);
    EXPECT_EQ(skillless.GetLinkedObject(), nullptr);
    mWorld->Hooks().fillActorToolsModule = nullptr;
}

TEST_F(ActorBinding, SaveRecordsRoundTripAndSurviveMutation)
{
    TsActor* actor = Bound("Guard('saved', Guard)");
    HbSaveFile save;
    ASSERT_EQ(actor->Save(&save), 1);
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    TsActorSaveRecord record;
    ASSERT_EQ(record.Read(&save), 1);
    EXPECT_EQ(record.className, "Guard");
    EXPECT_EQ(record.actorName, "saved");
    EXPECT_EQ(record.dataName, "Guard");
    actor->Release();

    HbSaveFile tiny(16);
    TsActor* wordy = Bound("Guard('a_name_longer_than_sixteen_bytes')");
    EXPECT_EQ(wordy->Save(&tiny), 0) << "a failed write is reported";
    wordy->Release();
    TsActor unbound;
    EXPECT_EQ(unbound.Save(&save), 0);

    // Mutations of the written bytes: every read stays bounded by the buffer.
    HbMemoryStreamBuf* buffer = save.GetMemoryBuffer();
    std::vector<uint8_t> original(buffer->GetData(), buffer->GetData() + 64);
    std::mt19937 random(50);
    for (int32_t round = 0; round < 3000; ++round)
    {
        std::vector<uint8_t> bytes = original;
        for (int32_t n = random() % 4 + 1; n > 0; --n)
            bytes[random() % bytes.size()] = uint8_t(random() % 3 == 0 ? 0 : random());
        save.EndAccess();
        buffer->Seek(0, 0);
        buffer->Write(bytes.data(), bytes.size());
        ASSERT_EQ(save.BeginRead(), 1);
        TsActorSaveRecord mutated;
        if (mutated.Read(&save))
            EXPECT_LE(mutated.className.size() + mutated.actorName.size() + mutated.dataName.size(),
                      size_t(buffer->GetCapacity()));
        else
            EXPECT_TRUE(mutated.className.empty() && mutated.actorName.empty());
    }
}

PyObject* SkillFunctionA(PyObject*, PyObject*)
{
    Py_RETURN_NONE;
}

PyObject* SkillFunctionB(PyObject*, PyObject*)
{
    Py_RETURN_NONE;
}

TEST(SkillRegistry, AMethodTableOutlivesTheNextBuildBecauseModuleFunctionsPointIntoIt)
{
    TsSkillRegistry registry;
    ASSERT_EQ(registry.AddFunction("first", SkillFunctionA), 1);
    PyMethodDef* first = registry.BuildMethodTable();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(registry.BuildMethodTable(), first) << "unchanged functions keep their table";
    registry.Clear();
    ASSERT_EQ(registry.AddFunction("second", SkillFunctionB), 1);
    PyMethodDef* second = registry.BuildMethodTable();
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second[0].ml_name, "second");
    // A function object the last interpreter made still reads its row.
    EXPECT_STREQ(first[0].ml_name, "first");
    EXPECT_EQ(first[0].ml_meth, SkillFunctionA);
    EXPECT_EQ(first[1].ml_name, nullptr);
}

} // namespace
