// The event-box glue: which actors get bit records and are tested each frame, the contextual
// filter, the due delayed actions, and the script world's hooks; and the game's script call.
#include "eboxcontract.h"
#include "hbclock.h"
#include "hbresource.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tseventboxes.h"
#include "tsheroactor.h"
#include "tsscriptcall.h"

#include <gtest/gtest.h>

namespace
{
using namespace scriptworldtest;

class RecordingQueue : public DelayedActionQueue
{
public:
    int32_t RunDue(int64_t now) override
    {
        ++mRuns;
        return DelayedActionQueue::RunDue(now);
    }
    int32_t mRuns = 0;
};

/// A set whose index the scenario layer would have built: id 7 over 40 boxes (two words).
class FakeBoxes : public YoEBox
{
public:
    FakeBoxes()
    {
        mIndexId = 7;
        mBoxCount = 40;
    }
    DelayedActionQueue* GetDelayedActions() override { return &mQueue; }
    void Rebuild(int32_t id) { mIndexId = id; }
    RecordingQueue mQueue;
};

class EventBoxes : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        TsEventBoxesInstall(mWorld);
        mBoxes = new FakeBoxes();
        mBoxes->AddRef();
    }
    void TearDown() override
    {
        mBoxes->Release();
        EBoxSetContextualFilter(nullptr);
        ScriptWorldTest::TearDown();
    }
    FakeBoxes* mBoxes = nullptr;
};

TEST_F(EventBoxes, LoadGivesRecordsToTheSelectionAndUpdateTestsThem)
{
    FakeActor* enemy = Listed("enemy", {10, 0, 0}, HeroEnemyFamily);
    FakeActor* hero = Listed("hero", {20, 0, 0}, HeroFamily);
    FakeActor* parked = Listed("parked", {30, 0, 0}, HeroEnemyFamily);
    FakeActor* door = Listed("door", {40, 0, 0}, HeroEnemyFamily | DofFamily);
    FakeActor* friendly = Listed("friend", {50, 0, 0}, HeroFriendFamily);
    FakeActor* ghost = Listed("ghost", {0, 0, 0}, HeroEnemyFamily, kNoNode);
    parked->mMustBeUpdated = 0;

    // The script world's load hook passes its families on.
    mWorld->Hooks().eventBoxesLoad(mBoxes, HeroFamily | HeroEnemyFamily, DofFamily);
    EXPECT_EQ(TsEventBoxesWanted(), uint32_t(HeroFamily | HeroEnemyFamily));
    EXPECT_EQ(TsEventBoxesExcluded(), uint32_t(DofFamily));
    EBoxActorBits* enemyBits = enemy->mEBoxBits;
    for (FakeActor* selected : {enemy, hero, parked, ghost})
        EXPECT_NE(selected->mEBoxBits, nullptr) << selected->mName;
    EXPECT_EQ(door->mEBoxBits, nullptr) << "excluded family";
    EXPECT_EQ(friendly->mEBoxBits, nullptr) << "no wanted family";
    // A second load keeps the records the actors have.
    EXPECT_EQ(TsEventBoxesLoad(HeroFamily | HeroEnemyFamily, DofFamily), 1);
    EXPECT_EQ(enemy->mEBoxBits, enemyBits);

    FakeActor* late = Listed("late", {60, 0, 0}, HeroEnemyFamily);
    HbGameClock::Instance()->mGameTime = 12345;
    EXPECT_EQ(TsEventBoxesUpdate(mBoxes), 1);
    EXPECT_EQ(mBoxes->mQueue.mRuns, 1);
    EXPECT_EQ(mBoxes->mQueue.GetNow(), 12345) << "due actions run at the game clock's time";

    // The box test stamps each record it is given with the index and sizes its bitsets.
    for (FakeActor* tested : {enemy, hero})
    {
        EXPECT_EQ(tested->mEBoxBits->stamp, 7) << tested->mName;
        EXPECT_EQ(tested->mEBoxBits->words, 2) << tested->mName;
    }
    EXPECT_EQ(parked->mEBoxBits->stamp, -1) << "not to be updated";
    EXPECT_EQ(ghost->mEBoxBits->stamp, -1) << "no node to place it";
    EXPECT_EQ(late->mEBoxBits, nullptr) << "created after the load: not tested until the next";

    // The same index again keeps the bitsets.
    const uint32_t* now = enemy->mEBoxBits->now;
    TsEventBoxesUpdate(mBoxes);
    EXPECT_EQ(enemy->mEBoxBits->now, now);

    // A narrower selection leaves the others out of the test.
    TsEventBoxesLoad(HeroFamily, 0);
    EXPECT_EQ(late->mEBoxBits, nullptr);
    mBoxes->Rebuild(8);
    TsEventBoxesUpdate(mBoxes);
    EXPECT_EQ(hero->mEBoxBits->stamp, 8);
    EXPECT_EQ(enemy->mEBoxBits->stamp, 7);
}

TEST_F(EventBoxes, TheScriptWorldLoadsAndTicksItsSet)
{
    FakeActor* enemy = Listed("enemy", {10, 0, 0}, HeroEnemyFamily);
    FakeActor* door = Listed("door", {40, 0, 0}, HeroEnemyFamily | DofFamily);
    EXPECT_EQ(TsEventBoxesUpdate(nullptr), 0);
    // A set made afresh for an identifier starting with '_': no file behind it.
    HbResourceManager::Instance()->RegisterType("TESTEBOXES", []() -> HbRoot* { return new FakeBoxes(); });
    ASSERT_EQ(mWorld->LoadEventBoxes("_LEVEL_TESTEBOXES"), 1);
    ASSERT_NE(enemy->mEBoxBits, nullptr);
    EXPECT_EQ(door->mEBoxBits, nullptr) << "the script world leaves degrees of freedom out";
    Frame(0.1f);
    EXPECT_EQ(enemy->mEBoxBits->stamp, 7);
    EXPECT_EQ(static_cast<FakeBoxes*>(mWorld->GetEventBoxes())->mQueue.mRuns, 1);
}

TEST_F(EventBoxes, ContextualBoxesAcceptOnlyTheHero)
{
    TsEventBoxesLoad(HeroEnemyFamily, 0);
    EBoxFilter filter = EBoxGetContextualFilter();
    ASSERT_NE(filter, nullptr);
    auto* hero = new TsHeroActor();
    hero->AddRef();
    FakeActor* other = Make("other", {0, 0, 0}, HeroFamily);
    EXPECT_EQ(filter(hero), 1);
    EXPECT_EQ(filter(other), 0);
    hero->Release();
}

TEST_F(EventBoxes, AScriptCallBeginsAFreshFrameChainBesideASuspendedMicrothread)
{
    ASSERT_EQ(Exec("import sys, uthread\n"
                   "s = uthread.semaphore(0)\n"
                   "def body():\n"
                   "    s.claim()\n"
                   "    return 'resumed'\n"
                   "t = uthread.thread(body)\n"
                   "t.step()\n"
                   "probe = lambda *a: (a, sys._getframe().f_back is None)\n"),
              "");
    PyObject* probe = PyDict_GetItemString(scripttest::MainDict(), "probe");
    PyObject* argument = PyLong_FromLong(7);
    ASSERT_TRUE(probe && argument);
    struct Case
    {
        PyObject* argument;
        const char* expected;
    };
    for (const Case& c : {Case{nullptr, "((), True)"}, Case{argument, "((7,), True)"}})
    {
        PyObject* result = TsCallScriptObject(probe, c.argument);
        ASSERT_NE(result, nullptr) << scripttest::TakeError();
        PyObject* text = PyObject_Repr(result);
        EXPECT_STREQ(PyUnicode_AsUTF8(text), c.expected);
        Py_XDECREF(text);
        Py_DECREF(result);
    }
    Py_DECREF(argument);
    // The microthread is still where it stopped.
    ASSERT_EQ(Exec("s.release()"), "");
    EXPECT_EQ(Eval("t.step()"), "'resumed'");
}
} // namespace
