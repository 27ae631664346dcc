// The per-frame script world: the queue's delivery order and de-duplication, a failing
// delivery that freezes the world, sensor rates, distances and the wall that blocks sight,
// timers, the contextual action, skill errors, removals during a pass, range queries and
// the camera-collision list.
#include "scriptworld_fixture.h"

#include "hbclock.h"
#include "script_fixture.h"
#include "tsevent.h"
#include "tssendevent.h"
#include "w3dcollision.h"
#include "w3dframe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace scriptworldtest
{
namespace
{

TsSendEvent Event(int32_t id, TsActor* sender, TsActor* target, float value)
{
    TsSendEvent event;
    event.id = id;
    event.sender = sender;
    event.target = target;
    event.value = value;
    return event;
}

ScriptWorldManager* gSendWorld = nullptr;
std::vector<FakeActor*>* gSendActors = nullptr;

std::string Hex(const void* pointer)
{
    return std::to_string(uintptr_t(pointer));
}

class ScriptWorldFrame : public ScriptWorldTest
{
};

TEST_F(ScriptWorldFrame, QueuedEventsAreDeliveredOldestThenNewestFirstOncePerIdAndTarget)
{
    FakeActor* target = Listed("T", {0, 0, 0});
    FakeActor* sender = Listed("S", {10, 0, 0});
    FakeActor* hero = Listed("H", {20, 0, 0}, HeroFamily);
    mWorld->SetHero(hero);
    const char* tags[] = {"A", "B", "C", "D"};
    for (int32_t i = 0; i < 4; ++i)
        Register(target, kEventHit + i, ("rec('" + std::string(tags[i]) + "')").c_str(), 0.0f);
    // Only the first registration of an id is called.
    Register(target, kEventHit, "rec('second')", 0.0f);
    static TsActor* sHeroSender = nullptr;
    static float sHeroValue = 0.0f;
    auto* heroEvent = new TsEvent();
    heroEvent->id = kEventHit;
    heroEvent->callback = [](TsActor* from, float value, TsActor*) {
        sHeroSender = from;
        sHeroValue = value;
    };
    ASSERT_EQ(hero->AddEvent(heroEvent), 1);

    for (int32_t i = 0; i < 4; ++i)
        mWorld->QueueEvent(Event(kEventHit + i, i == 1 ? nullptr : sender, target, float(i) + 0.5f));
    mWorld->QueueEvent(Event(kEventHit, nullptr, target, 99.0f));
    mWorld->QueueEvent(Event(kEventHit, sender, hero, 7.0f));
    mWorld->QueueEvent(Event(kEventUse + 30, sender, target, 1.0f));
    EXPECT_EQ(mWorld->GetQueuedCount(), 6) << "the same id for the same target waits once";
    EXPECT_EQ(mWorld->GetQueuedEvent(0)->value, 0.5f) << "the first keeps its sender and value";

    Frame(0.02f);
    EXPECT_EQ(mWorld->GetQueuedCount(), 0);
    EXPECT_EQ(Eval("[entry[0] for entry in log]"), "['A', 'D', 'C', 'B']");
    EXPECT_EQ(Eval("log[0][1][:2]"), "('S', 0.5)");
    EXPECT_EQ(Eval("log[0][1][2]"), Hex(sender)) << "the sender's identity is its address";
    EXPECT_EQ(Eval("log[3][1][:2]"), "(None, 1.5)");
    EXPECT_EQ(Eval("log[3][1][2] == id(None)"), "True");
    EXPECT_EQ(sHeroSender, sender) << "the hero's C callback";
    EXPECT_EQ(sHeroValue, 7.0f);

    // An event queued while the queue is delivered (here by the hero's callback) waits for the
    // next frame, behind what that flush still delivers.
    static ScriptWorldManager* sWorld = nullptr;
    static TsActor* sTarget = nullptr;
    sWorld = mWorld;
    sTarget = target;
    heroEvent->callback = [](TsActor*, float, TsActor*) { sWorld->QueueEvent(Event(kEventStrike, nullptr, sTarget, 0)); };
    Exec("log.clear()");
    mWorld->QueueEvent(Event(kEventHit, nullptr, hero, 0.0f));
    mWorld->QueueEvent(Event(kEventUse, nullptr, target, 0.0f));
    Frame(0.02f);
    EXPECT_EQ(Eval("[entry[0] for entry in log]"), "['B']");
    ASSERT_EQ(mWorld->GetQueuedCount(), 1);
    EXPECT_EQ(mWorld->GetQueuedEvent(0)->id, kEventStrike);
    Frame(0.02f);
    EXPECT_EQ(Eval("[entry[0] for entry in log]"), "['B', 'C']");
}

// A script function that queues an event, as the scenario layer's "SendEvent".
PyObject* SendHit(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s", &name))
        return nullptr;
    for (FakeActor* actor : *gSendActors)
        if (actor->mName == name)
            gSendWorld->QueueEvent(Event(kEventHit, nullptr, actor, 0.0f));
    Py_RETURN_NONE;
}
PyMethodDef gSendDef = {"send_hit", SendHit, METH_VARARGS, nullptr};

TEST_F(ScriptWorldFrame, TwoHandlersThatAnswerEachOtherExchangeOneEventPerFrame)
{
    gSendWorld = mWorld;
    gSendActors = &mActors;
    PyObject* function = PyCFunction_New(&gSendDef, nullptr);
    PyDict_SetItemString(scripttest::MainDict(), "send_hit", function);
    Py_DECREF(function);
    // Bounded so that a flush delivering its own events ends instead of freezing the test.
    ASSERT_EQ(Exec("def answer(other):\n"
                   "    def f(args):\n"
                   "        log.append(other)\n"
                   "        if len(log) < 1000:\n"
                   "            send_hit(other)\n"
                   "    return f\n"),
              "");
    FakeActor* ping = Listed("PING", {0, 0, 0});
    FakeActor* pong = Listed("PONG", {10, 0, 0});
    Register(ping, kEventHit, "answer('PONG')", 0.0f);
    Register(pong, kEventHit, "answer('PING')", 0.0f);
    mWorld->QueueEvent(Event(kEventHit, nullptr, ping, 0.0f));
    for (int32_t frame = 0; frame < 3; ++frame)
        Frame(0.02f);
    EXPECT_EQ(Eval("len(log)"), "3");
    EXPECT_EQ(Eval("log[:3]"), "['PONG', 'PING', 'PONG']");
    EXPECT_EQ(mWorld->GetQueuedCount(), 1);
    EXPECT_EQ(ping->mUpdates, 3) << "every frame goes on past the flush";
    gSendWorld = nullptr;
    gSendActors = nullptr;
}

TEST_F(ScriptWorldFrame, ARaisingDeliveryFreezesTheWorldUntilTheLevelStartsAndIsThenDeliveredFirst)
{
    FakeActor* target = Listed("T", {0, 0, 0});
    FakeActor* other = Listed("O", {10, 0, 0});
    ASSERT_EQ(Exec("calls = []\n"
                   "def once(args):\n"
                   "    calls.append(args[1])\n"
                   "    if len(calls) == 1:\n"
                   "        raise RuntimeError('first delivery fails')\n"
                   "def begin():\n"
                   "    pass\n"),
              "");
    Register(target, kEventHit, "once", 0.0f);
    Register(other, kEventUse, "rec('use')", 0.0f);
    static int sBoxes = 0, sTriggers = 0;
    sBoxes = sTriggers = 0;
    mWorld->Hooks().eventBoxesUpdate = [](HbRoot*) { ++sBoxes; };
    mWorld->Hooks().triggersTickAll = [] { ++sTriggers; };
    mWorld->QueueEvent(Event(kEventHit, nullptr, target, 1.0f));
    mWorld->QueueEvent(Event(kEventUse, nullptr, other, 2.0f));

    Frame(0.02f);
    EXPECT_EQ(mWorld->GetScriptFailure(), 1);
    EXPECT_FALSE(PyErr_Occurred()) << "printed and cleared";
    EXPECT_NE(LogText().find("first delivery fails"), std::string::npos);
    ASSERT_EQ(mWorld->GetQueuedCount(), 2);
    EXPECT_EQ(mWorld->GetQueuedEvent(0)->id, kEventHit) << "the failing event stays first";
    EXPECT_EQ(target->mUpdates, 0);
    EXPECT_EQ(sBoxes, 1) << "the failing frame still runs the event boxes";

    for (int32_t i = 0; i < 3; ++i)
        Frame(0.02f);
    EXPECT_EQ(target->mUpdates + other->mUpdates, 0) << "frozen";
    EXPECT_EQ(sBoxes, 1);
    EXPECT_EQ(sTriggers, 1);

    mWorld->SetLevelCallbacks(PyDict_GetItemString(scripttest::MainDict(), "begin"), nullptr);
    mWorld->StartLevelScript();
    EXPECT_EQ(mWorld->GetScriptFailure(), 0);
    Frame(0.02f);
    EXPECT_EQ(Eval("calls"), "[1.0, 1.0]");
    EXPECT_EQ(Eval("log == [('use', (None, 2.0, id(None)))]"), "True");
    EXPECT_EQ(target->mUpdates, 1);
    EXPECT_EQ(sBoxes, 2);
}

TEST_F(ScriptWorldFrame, DistanceSensorsAreTestedAtMostEveryTenthOfASecondAndNeverWithTheClockStopped)
{
    FakeActor* owner = Listed("O", {-100, 0, 0});
    Listed("N", {-150, 0, 0});
    Register(owner, kEventDistanceIn, "rec('in')", 10000.0f);
    Register(owner, kEventSee, "rec('see')", 10000.0f);
    mWorld->Hooks().seesActor = [](TsActor*, TsActor*, float) -> int32_t { return 1; };
    std::string seen;
    for (int32_t frame = 1; frame <= 8; ++frame)
    {
        Frame(0.05f);
        seen += std::to_string(frame) + ":" + Eval("''.join(entry[0][0] for entry in log)") + " ";
        Exec("log.clear()");
    }
    // Tested when the game time passes the last test by more than the period.
    EXPECT_EQ(seen, "1:'' 2:'' 3:'i' 4:'' 5:'s' 6:'i' 7:'' 8:'' ");
    for (int32_t frame = 0; frame < 5; ++frame)
        Frame(0.0f);
    EXPECT_EQ(Eval("log"), "[]") << "the clock stopped";
    EXPECT_EQ(owner->mUpdates, 13);
}

TEST_F(ScriptWorldFrame, DistancesAndTheWallDecideWhichCandidatesAreReported)
{
    FakeActor* owner = Listed("O", {-100, 0, 0});
    FakeActor* near = Listed("N", {-150, 0, 0});
    FakeActor* behindWall = Listed("W", {100, 0, 0}, HeroFriendFamily);
    FakeActor* far = Listed("F", {-900, 0, 0});
    FakeActor* nodeless = Listed("L", {0, 0, 0}, HeroEnemyFamily, kNoNode);
    FakeActor* outside = Listed("X", {-100, 0, 0}, HeroEnemyFamily, kOutside);
    Register(owner, kEventDistanceIn, "rec('in')", 50000.0f);
    Register(owner, kEventDistanceInColl, "rec('coll')", 50000.0f);
    Register(owner, kEventDistanceOut, "rec('out')", 50000.0f);
    Register(owner, kEventDistanceIn, "rec('enemies')", 50000.0f, 0.0f, HeroEnemyFamily);
    Register(owner, kEventDistanceIn, "rec('fixed')", 50000.0f, 0.0f, UndefinedFamily, far);
    Frame(0.2f);
    EXPECT_EQ(Eval("[(entry[0], entry[1][0]) for entry in log]"),
              "[('in', 'N'), ('in', 'W'), ('coll', 'N'), ('out', 'F'), ('enemies', 'N')]")
        << "a negative distance (no node, or outside the scene) never passes";

    const struct
    {
        const char* name;
        TsActor* a;
        TsActor* b;
        float distance;
    } distances[] = {
        {"itself", owner, owner, 0.0f},
        {"a neighbour", owner, near, 2500.0f},
        {"no node", owner, nodeless, -1.0f},
        {"outside the scene", owner, outside, -1.0f},
        {"outside the scene, itself", outside, outside, 0.0f},
    };
    for (const auto& d : distances)
        EXPECT_EQ(mWorld->GetActorDistance(d.a, d.b), d.distance) << d.name;
    mWorld->SetHero(near);
    EXPECT_EQ(mWorld->GetActorDistance(owner, near), 2500.0f) << "the hero's distance as the actor keeps it";
    EXPECT_EQ(mWorld->GetActorDistance(near, far), 562500.0f);
    EXPECT_EQ(mWorld->IsLineOfSightBlocked(owner, behindWall), 1);
    EXPECT_EQ(mWorld->IsLineOfSightBlocked(behindWall, owner), 1) << "from the other side";
    EXPECT_EQ(mWorld->IsLineOfSightBlocked(owner, far), 0);
    EXPECT_EQ(mWorld->IsLineOfSightBlocked(owner, nodeless), 1);

    // The floor lies 100 units below the actors.
    W3dCollisionResult result;
    Vector beside = {50, 0, 300};
    EXPECT_EQ(mWorld->TestSegment(&result, &beside, nullptr, 200.0f), 1);
    EXPECT_NEAR(result.distance, 0.75f, 1e-4f);
    EXPECT_EQ(mWorld->TestSegment(&result, &beside, nullptr, 50.0f), 0);
}

TEST_F(ScriptWorldFrame, ATimerFiresPastItsPeriodAndStartsAgainFromThePeriod)
{
    FakeActor* owner = Listed("O", {0, 0, 0});
    Listed("C", {10, 0, 0});
    TsEvent* timer = Register(owner, kEventTimer1, "rec('t')", 2.0f, 2.0f);
    TsEvent* lonely = Register(owner, kEventTimer2, "rec('lonely')", 2.0f, 2.0f, TriggerFamily);
    Frame(1.0f);
    Frame(1.0005f);
    EXPECT_EQ(Eval("log"), "[]") << "0.0005 s past is not yet past";
    Frame(0.001f);
    EXPECT_EQ(Eval("log"), "[('t',)]");
    EXPECT_EQ(timer->value, 2.0f) << "the excess is dropped";
    Frame(1.0f);
    EXPECT_EQ(timer->value, 1.0f) << "once per frame, not once per candidate";
    EXPECT_EQ(lonely->value, 2.0f) << "no candidate of its family: it never counts down";
}

TEST_F(ScriptWorldFrame, OneContextualActionIsDeliveredPerFrame)
{
    FakeActor* hero = Make("H", {0, 0, 0}, HeroFamily);
    mWorld->SetHero(hero);
    mWorld->AddActor(hero);
    FakeActor* first = Listed("P", {10, 0, 0});
    FakeActor* second = Listed("Q", {20, 0, 0});
    Register(first, kEventContextAction, "rec('P')", 1e6f);
    Register(second, kEventContextAction, "rec('Q')", 1e6f);
    const struct
    {
        const char* name;
        int32_t hitPoints;
        bool hook;
        const char* expected;
    } cases[] = {
        {"the hero alive", 10, true, "[('P', ('H', None)), ('P', ('H', None))]"},
        {"the hero dead", 0, true, "[]"},
        {"no contextual test", 10, false, "[]"},
    };
    for (const auto& c : cases)
    {
        hero->mHitPoints = c.hitPoints;
        mWorld->Hooks().contextAction = c.hook ? +[](TsActor*, TsActor*, float) -> int32_t { return 1; } : nullptr;
        Frame(0.02f);
        EXPECT_EQ(mWorld->GetLastSensorKind(), c.hook && c.hitPoints > 0 ? kEventContextAction : 0) << c.name;
        Frame(0.02f);
        EXPECT_EQ(Eval("log"), c.expected) << c.name;
        Exec("log.clear()");
    }
    EXPECT_EQ(ListedNames(), "H P Q") << "the hero in front";
}

TEST_F(ScriptWorldFrame, ASkillErrorIsQueuedEveryFrameWhileItLasts)
{
    FakeActor* hero = Listed("H", {0, 0, 0}, HeroFamily);
    mWorld->SetHero(hero);
    hero->mHasSkills = true;
    hero->mSkills.mError = 3;
    FakeActor* actor = Listed("A", {10, 0, 0});
    actor->mHasSkills = true;
    actor->mSkills.mError = 519;
    Register(actor, kEventSkillError, "rec('error')", 0.0f);
    Frame(0.02f);
    ASSERT_EQ(mWorld->GetQueuedCount(), 1);
    TsSendEvent* queued = mWorld->GetQueuedEvent(0);
    EXPECT_EQ(queued->id, kEventSkillError);
    EXPECT_EQ(queued->sender, actor);
    EXPECT_EQ(queued->target, actor);
    EXPECT_EQ(queued->value, 519.0f);
    Frame(0.02f);
    Frame(0.02f);
    EXPECT_EQ(Eval("[entry[1][:2] for entry in log]"), "[('A', 519.0), ('A', 519.0)]");
    actor->mSkills.mError = 0;
    Frame(0.02f);
    Frame(0.02f);
    EXPECT_EQ(Eval("len(log)"), "3") << "the event of the last erring frame, then none";
    EXPECT_EQ(actor->mSkills.mLooped.size(), 5u);
    EXPECT_EQ(actor->mSkills.mLooped[0], "walk");
    EXPECT_TRUE(hero->mSkills.mLooped.empty()) << "the hero's skills are not run by the script world";
    EXPECT_EQ(hero->mUpdates, 5);
}

// A script function that deletes actors by name, as the scenario layer's "DeleteActor".
ScriptWorldManager* gDeleteWorld = nullptr;
std::vector<FakeActor*>* gDeleteActors = nullptr;

PyObject* DeleteActor(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s", &name))
        return nullptr;
    for (FakeActor* actor : *gDeleteActors)
        if (actor->mName == name)
            return PyLong_FromLong(gDeleteWorld->RemoveActor(actor));
    Py_RETURN_NONE;
}
PyMethodDef gDeleteDef = {"delete_actor", DeleteActor, METH_VARARGS, nullptr};

TEST_F(ScriptWorldFrame, ALevelEndedFromACallbackLetsTheActorsGoWhenThePassEnds)
{
    static ScriptWorldManager* sWorld = nullptr;
    sWorld = mWorld;
    mWorld->ImportScriptResource("NOSCRIPT_PY");
    ASSERT_EQ(Exec("def begin():\n    pass\n"), "");
    mWorld->SetLevelCallbacks(PyDict_GetItemString(scripttest::MainDict(), "begin"), nullptr);
    mWorld->StartLevelScript();
    FakeActor* hero = Listed("H", {0, 0, 0}, HeroFamily, kNoNode);
    mWorld->SetHero(hero);
    FakeActor* a = Listed("A", {0, 0, 0}, HeroEnemyFamily, kNoNode);
    FakeActor* b = Listed("B", {0, 0, 0}, HeroEnemyFamily, kNoNode);
    // The stage's end, reached from the first actor's queued event.
    auto* ending = new TsEvent();
    ending->id = kEventHit;
    ending->callback = [](TsActor*, float, TsActor*) { sWorld->EndLevel(); };
    ASSERT_EQ(hero->AddEvent(ending), 1);
    mWorld->QueueEvent(Event(kEventHit, a, hero, 0.0f));
    mWorld->QueueEvent(Event(kEventUse, b, a, 0.0f));
    Frame(0.02f);
    EXPECT_EQ(mWorld->IsLevelStarted(), 0);
    EXPECT_EQ(mWorld->GetActors().GetCount(), 0) << "gone once the pass ended";
    EXPECT_EQ(a->mUpdates + b->mUpdates, 0);
    EXPECT_EQ(mWorld->GetQueuedCount(), 0);
    EXPECT_EQ(a->GetRefCount(), 1);
}

TEST_F(ScriptWorldFrame, ActorsDeletedFromACallbackLeaveAfterTheirTurnAndLaterOnesBeforeIt)
{
    gDeleteWorld = mWorld;
    gDeleteActors = &mActors;
    PyObject* function = PyCFunction_New(&gDeleteDef, nullptr);
    PyDict_SetItemString(scripttest::MainDict(), "delete_actor", function);
    Py_DECREF(function);
    ASSERT_EQ(Exec("def purge(args):\n"
                   "    log.append((delete_actor('A'), delete_actor('B'), delete_actor('Z')))\n"),
              "");
    FakeActor* a = Listed("A", {0, 0, 0});
    FakeActor* b = Listed("B", {10, 0, 0});
    FakeActor* c = Listed("C", {20, 0, 0});
    FakeActor* d = Listed("D", {30, 0, 0});
    Make("Z", {0, 0, 0});
    // A's callback removes A itself and B, the node the pass takes next.
    Register(a, kEventDistanceIn, "purge", 1e6f, 0.0f, UndefinedFamily, c);
    Register(b, kEventDistanceIn, "rec('never')", 1e6f);
    Frame(0.2f);
    EXPECT_EQ(Eval("log"), "[(0, 0, 0)]") << "deferred during the pass";
    EXPECT_EQ(ListedNames(), "C D");
    EXPECT_EQ(a->mUpdates, 1) << "the current actor finishes its turn";
    EXPECT_EQ(b->mUpdates, 0) << "a later actor leaves before its turn";
    EXPECT_EQ(c->mUpdates + d->mUpdates, 2);
    EXPECT_EQ(a->mRegistered + b->mRegistered, 0);
    EXPECT_EQ(a->GetRefCount(), 1) << "the list's reference is gone";

    // Deleted and added again within one walk, an actor stays.
    mWorld->ForEachActor(
        [](TsActor* actor, void* world, void*) -> int32_t {
            auto* scriptWorld = static_cast<ScriptWorldManager*>(world);
            EXPECT_EQ(scriptWorld->RemoveActor(actor), 0);
            if (static_cast<FakeActor*>(actor)->mName == "C")
                scriptWorld->AddActor(actor);
            return 1;
        },
        mWorld, nullptr);
    EXPECT_EQ(ListedNames(), "C");
    mWorld->AddActor(d);

    // Outside a pass the removal is immediate and drops the actor's queued events.
    mWorld->QueueEvent(Event(kEventHit, c, d, 1.0f));
    mWorld->QueueEvent(Event(kEventHit, d, c, 1.0f));
    mWorld->QueueEvent(Event(kEventUse, nullptr, c, 1.0f));
    EXPECT_EQ(mWorld->RemoveActor(d), 1);
    EXPECT_EQ(mWorld->GetQueuedCount(), 1);
    EXPECT_EQ(mWorld->RemoveActor(d), 0) << "not listed";
    EXPECT_EQ(mWorld->AddActor(c), 0) << "already listed";
    gDeleteWorld = nullptr;
    gDeleteActors = nullptr;
}

TEST_F(ScriptWorldFrame, ARegistrationOnAnActorThatLeavesTheWorldIsDroppedAndNeverReadsItAgain)
{
    // Deleted by name, or let go by the level's end: either way the world held the last
    // reference the test leaves.
    for (bool levelEnd : {false, true})
    {
        if (levelEnd)
        {
            mWorld->ImportScriptResource("NOSCRIPT_PY");
            ASSERT_EQ(Exec("def begin():\n    pass\n"), "");
            mWorld->SetLevelCallbacks(PyDict_GetItemString(scripttest::MainDict(), "begin"), nullptr);
            mWorld->StartLevelScript();
            // The watcher is kept across levels.
            mWorld->Hooks().isScriptStored = [](TsActor* actor) -> int32_t
            { return static_cast<FakeActor*>(actor)->mName == "W"; };
        }
        FakeActor* watcher = Listed("W", {0, 0, 0});
        FakeActor* target = Listed("T", {10, 0, 0});
        target->mLogRelease = true;
        TsEvent* event = Register(watcher, kEventDistanceIn, "rec('in')", 1e6f, 0.0f, UndefinedFamily, target);
        Frame(0.2f);
        ASSERT_EQ(Eval("log"), "[('in', ('T',))]");
        mActors.erase(std::find(mActors.begin(), mActors.end(), target));
        target->Release();
        if (levelEnd)
            mWorld->EndLevel();
        else
            mWorld->RemoveActor(target);
        EXPECT_EQ(event->active, 0) << (levelEnd ? "level end" : "deleted");
        EXPECT_NE(std::find(Log().begin(), Log().end(), "released T"), Log().end()) << "nothing holds it any more";
        EXPECT_EQ(ListedNames(), "W");
        Exec("log.clear()");
        Frame(0.2f);
        EXPECT_EQ(Eval("log"), "[]");
        EXPECT_EQ(watcher->FindEvent(kEventDistanceIn), nullptr) << "purged after the watcher's pass";
        mWorld->RemoveActor(watcher);
    }
}

int32_t Collect(TsActor* actor, void* user, const float* distance)
{
    auto* names = static_cast<std::string*>(user);
    *names += static_cast<FakeActor*>(actor)->mName + "=" + std::to_string(int64_t(*distance)) + " ";
    return 1;
}

TEST_F(ScriptWorldFrame, RangeQueriesMeasureInSixtyFourBitsAndLeaveOutWhatTheyCannotMeasure)
{
    FakeActor* centre = Listed("C", {-100, 0, 0});
    Listed("N", {-150, 0, 0});
    Listed("W", {100, 0, 0}, HeroFriendFamily);
    Listed("FAR", {-100 - 69999.5f, 0, 0});
    Listed("L", {0, 0, 0}, HeroEnemyFamily, kNoNode);
    Listed("X", {-100, 0, 0}, HeroEnemyFamily, kOutside);
    const struct
    {
        const char* name;
        int32_t radius;
        uint32_t mask;
        int32_t sight;
        const char* expected;
    } cases[] = {
        {"70,000 units", 70000, UndefinedFamily, 0, "N=2500 W=40000 FAR=4899930112 "},
        {"half a unit short of the far one", 69999, UndefinedFamily, 0, "N=2500 W=40000 "},
        {"in sight", 70000, UndefinedFamily, 1, "N=2500 FAR=4899930112 "},
        {"friends", 70000, HeroFriendFamily, 0, "W=40000 "},
        {"a negative radius", -70000, UndefinedFamily, 0, ""},
    };
    for (const auto& c : cases)
    {
        std::string names;
        EXPECT_EQ(mWorld->QueryActorsInRange(Collect, &names, centre, c.radius, c.mask, c.sight), 1);
        EXPECT_EQ(names, c.expected) << c.name;
    }
    mWorld->QueueEventsInRange(centre, 70000, kEventAlert, UndefinedFamily, 1, 4.0f);
    ASSERT_EQ(mWorld->GetQueuedCount(), 2);
    EXPECT_EQ(mWorld->GetQueuedEvent(1)->sender, centre);
    EXPECT_EQ(mWorld->GetQueuedEvent(1)->value, 4.0f);
}

TEST_F(ScriptWorldFrame, AtMostTwoHundredActorsAvoidTheCamera)
{
    for (int32_t i = 0; i < 205; ++i)
        Listed(("A" + std::to_string(i)).c_str(), {float(i), 0, 0}, CameraCollFamily);
    FakeActor* hidden = Listed("hidden", {0, 0, 5}, CameraCollFamily);
    hidden->mNode->Hide();
    FakeActor* plain = Listed("plain", {0, 0, 6});
    Frame(0.02f);
    ASSERT_EQ(mWorld->GetCameraCollisionCount(), ScriptWorldManager::kMaxCameraCollisionActors);
    EXPECT_EQ(static_cast<FakeActor*>(mWorld->GetCameraCollisionActor(199))->mName, "A199");
    EXPECT_EQ(plain->mUpdates, 1);
}

} // namespace
} // namespace scriptworldtest
