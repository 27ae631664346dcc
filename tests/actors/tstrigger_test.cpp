// Triggers over a script world: the pool of 200 and its cyclic search, the range send filter,
// send periods and lives, and the script functions that name triggers by pool index.
#include "frame.h"
#include "hbclock.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptworld_fixture.h"
#include "tssendevent.h"
#include "tstrigger.h"
#include "w3dnode.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using namespace scriptworldtest;

class Triggers : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        ASSERT_EQ(TriggerManager::Create(), 1);
        TriggerManager::Install(mWorld);
        for (PyMethodDef* def = TsTriggerScriptFunctions(); def->ml_name; ++def)
        {
            PyObject* function = PyCFunction_New(def, nullptr);
            PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
            Py_XDECREF(function);
        }
    }
    void TearDown() override
    {
        TriggerManager::Free();
        ScriptWorldTest::TearDown();
    }
    TsTrigger* Arm(Vector at, int32_t radius, float period, float life, uint32_t mask = HeroEnemyFamily,
                   int32_t lineTest = 0, float value = 5.0f)
    {
        TsTrigger* trigger = TriggerManager::TakeFreeTrigger();
        EXPECT_NE(trigger, nullptr);
        trigger->Start(kEventSound, radius, TsTriggerSecondsToTicks(period), TsTriggerSecondsToTicks(life), mask,
                       lineTest, value);
        trigger->SetPosition(&at);
        Frame::SyncDirtyList();
        return trigger;
    }
    /// How many sound events each listener hears over the frames.
    int32_t Heard(FakeActor* listener, int32_t frames, float step = 1.0f / 60.0f)
    {
        Log().clear();
        for (int32_t i = 0; i < frames; ++i)
            Frame(step);
        int32_t count = 0;
        for (const std::string& line : Log())
            count += line == "heard " + listener->mName ? 1 : 0;
        return count;
    }
    FakeActor* Listener(const char* name, Vector at, uint32_t family = HeroEnemyFamily)
    {
        FakeActor* actor = Listed(name, at, family);
        Register(actor, kEventSound, ("lambda a: note('heard " + std::string(name) + "')").c_str(), 0.0f);
        return actor;
    }
};

TEST_F(Triggers, PoolRefusesThe201stAndFindsAStoppedOneAgain)
{
    for (int32_t i = 0; i < TriggerManager::kCapacity; ++i)
    {
        TsTrigger* trigger = TriggerManager::TakeFreeTrigger();
        ASSERT_EQ(trigger, TriggerManager::Get(i)) << "the search goes round in order";
        trigger->Start(kEventSound, 100, 0, TsTrigger::kUnlimited, 0, 0, 0.0f);
        EXPECT_NE(trigger->GetNode()->GetParent(), nullptr) << "a live trigger hangs under the level root";
    }
    EXPECT_EQ(TriggerManager::TakeFreeTrigger(), nullptr);
    TsTrigger* stopped = TriggerManager::Get(57);
    stopped->Stop();
    EXPECT_EQ(stopped->GetNode()->GetParent(), nullptr);
    EXPECT_EQ(TriggerManager::TakeFreeTrigger(), stopped);
    EXPECT_EQ(TriggerManager::IndexOf(stopped), 57);
    EXPECT_EQ(TriggerManager::Get(200), nullptr);
    EXPECT_EQ(TriggerManager::Get(-1), nullptr);

    mWorld->Hooks().triggersStopAll();
    EXPECT_EQ(TriggerManager::GetLiveCount(), 0);
    EXPECT_EQ(stopped->mFamily, uint32_t(TriggerFamily));
    EXPECT_EQ(stopped->GetScriptObject(), Py_None);
}

TEST_F(Triggers, ATickQueuesOnlyListedActorsInsideTheRadiusAndTheMask)
{
    FakeActor* near = Listed("near", {100, 0, 0});
    Listed("far", {100, 0, 500});
    Listed("friend", {100, 0, 50}, HeroFriendFamily);
    Make("unlisted", {100, 0, 10});
    Listed("outside", {100, 0, 20}, HeroEnemyFamily, kOutside);
    FakeActor* behind = Listed("behind", {-50, 0, 0});
    TsTrigger* trigger = Arm({50, 0, 0}, 300, 0.2f, 0.2f);
    mWorld->Hooks().triggersTickAll();
    ASSERT_EQ(mWorld->GetQueuedCount(), 2);
    TsSendEvent* first = mWorld->GetQueuedEvent(0);
    EXPECT_EQ(first->target, near);
    EXPECT_EQ(first->sender, trigger);
    EXPECT_EQ(first->id, kEventSound);
    EXPECT_EQ(first->value, 5.0f);
    EXPECT_EQ(mWorld->GetQueuedEvent(1)->target, behind);

    // With the line test the wall at x = 0 hides the actor behind it.
    trigger->Stop();
    Frame(0.5f);
    Arm({50, 0, 0}, 300, 0.2f, 0.2f, HeroEnemyFamily, 1);
    mWorld->Hooks().triggersTickAll();
    ASSERT_EQ(mWorld->GetQueuedCount(), 1);
    EXPECT_EQ(mWorld->GetQueuedEvent(0)->target, near);

    // The mask 0 takes every family.
    Frame(0.5f);
    Arm({50, 0, 0}, 300, 0.2f, 0.2f, UndefinedFamily);
    mWorld->Hooks().triggersTickAll();
    EXPECT_EQ(mWorld->GetQueuedCount(), 3);
}

TEST_F(Triggers, PeriodsAndLives)
{
    FakeActor* listener = Listener("guard", {0, 0, 100});
    // Period 0: a send on every frame until the end.
    TsTrigger* trigger = Arm({0, 0, 0}, 300, 0.0f, 1.0f);
    EXPECT_EQ(Heard(listener, 30), 30 - 1) << "the last send waits for the next frame's delivery";
    trigger->Stop();
    Heard(listener, 1);

    // Life 0: stopped on the first tick, nothing sent.
    trigger = Arm({0, 0, 0}, 300, 0.0f, 0.0f);
    EXPECT_EQ(Heard(listener, 5), 0);
    EXPECT_FALSE(trigger->IsLive());

    // The footstep recipe: 0.1 s period and life send exactly once.
    trigger = Arm({0, 0, 0}, 300, 0.1f, 0.1f);
    EXPECT_EQ(Heard(listener, 30), 1);
    EXPECT_FALSE(trigger->IsLive());

    // A trigger of the hero's family is not heard by the enemies.
    Arm({0, 0, 0}, 300, 0.0f, 1.0f, HeroFamily);
    EXPECT_EQ(Heard(listener, 10), 0);
    TriggerManager::StopAll();

    // Unlimited life: still sending long after, until the level stops the triggers.
    trigger = Arm({0, 0, 0}, 300, 1.0f, -1.0f);
    EXPECT_EQ(trigger->GetEndTime(), TsTrigger::kUnlimited);
    EXPECT_EQ(Heard(listener, 100, 2.0f), 100 - 1) << "one send every two seconds, delivered a frame later";
    mWorld->Hooks().triggersStopAll();
    EXPECT_FALSE(trigger->IsLive());
}

TEST_F(Triggers, SecondsBecomeClampedTicks)
{
    const int64_t frequency = HbPerformanceFrequency();
    EXPECT_EQ(TsTriggerSecondsToTicks(0.2f), int64_t(double(0.2f) * double(frequency)));
    EXPECT_EQ(TsTriggerSecondsToTicks(-1.0f), TsTrigger::kUnlimited);
    EXPECT_EQ(TsTriggerSecondsToTicks(NAN), 0);
    const int64_t huge = TsTriggerSecondsToTicks(1e30f);
    EXPECT_GT(huge, 0);
    EXPECT_LT(huge, TsTrigger::kUnlimited / 2);
    TsTrigger* trigger = Arm({0, 0, 0}, 10, 0.0f, 1e30f);
    EXPECT_GT(trigger->GetEndTime(), HbGameClock::Instance()->mGameTime) << "no overflow into the past";
}

TEST_F(Triggers, ScriptFunctionsNameTriggersByPoolIndexAndRefuseBadArguments)
{
    EXPECT_EQ(Exec("t = DropTrigger(vertex(10, 20, 30), 21, 300, 0.1, 0.1, 4, 0, 2.0)"), "");
    EXPECT_EQ(Eval("t"), "0");
    EXPECT_EQ(Eval("GetTriggerPos(t)"), "<10.000000 20.000000 30.000000>");
    EXPECT_TRUE(TriggerManager::Get(0)->IsLive());
    EXPECT_EQ(Exec("DestroyTrigger(t)"), "");
    EXPECT_FALSE(TriggerManager::Get(0)->IsLive());
    EXPECT_EQ(Eval("DropTrigger(vertex(0, 0, 0), 21, 300, 0.1, -1, 0, 1, 0)"), "1") << "negative life: unlimited";
    EXPECT_EQ(TriggerManager::Get(1)->GetEndTime(), TsTrigger::kUnlimited);

    const struct
    {
        const char* call;
        const char* error;
    } cases[] = {
        {"DropTrigger((0, 0, 0), 21, 300, 0.1, 0.1, 4, 0, 0)", "TypeError: DropTrigger : Position is not a vertex !"},
        {"DropTrigger(vertex(0, 0, 0), 0, 300, 0.1, 0.1, 4, 0, 0)",
         "RuntimeError: DropTrigger : Invalid Event To Send"},
        {"DropTrigger(vertex(0, 0, 0), 21, -1, 0.1, 0.1, 4, 0, 0)", "RuntimeError: DropTrigger : Invalid Distance"},
        {"DropTrigger(vertex(0, 0, 0), 21, 300, -0.1, 0.1, 4, 0, 0)",
         "RuntimeError: DropTrigger : Invalid send frequency"},
        {"DropTrigger(vertex(0, 0, 0), 21, 300, 0.1, float('nan'), 4, 0, 0)",
         "RuntimeError: DropTrigger : Invalid life duration"},
        {"DropTrigger(vertex(0, 0, 0), 21, 300, 0.1, 0.1, 4, 2, 0)",
         "RuntimeError: DropTrigger : Invalid collideable flag"},
        {"DropTrigger(vertex(0, 0, 0), 21, 300)", "TypeError: DropTrigger() takes exactly 8 arguments (3 given)"},
        {"DestroyTrigger(200)", "RuntimeError: DestroyTrigger : Actor is not a TsTrigger"},
        {"DestroyTrigger(-1)", "RuntimeError: DestroyTrigger : Actor is not a TsTrigger"},
        {"GetTriggerPos(140737488355328)", "OverflowError: signed integer is greater than maximum"},
        {"GetTriggerPos(999)", "RuntimeError: GetTriggerPos : Actor is not a TsTrigger"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Exec(c.call), c.error) << c.call;

    for (int32_t i = TriggerManager::GetLiveCount(); i < TriggerManager::kCapacity; ++i)
        TriggerManager::TakeFreeTrigger()->Start(kEventSound, 1, 0, TsTrigger::kUnlimited, 0, 0, 0.0f);
    EXPECT_EQ(Exec("DropTrigger(vertex(0, 0, 0), 21, 300, 0.1, 0.1, 4, 0, 0)"),
              "RuntimeError: DropTrigger : Can't generate a valid Trigger. Check that there is not too many launched "
              "trigger, or increase TriggerManager capacity");
}

} // namespace
