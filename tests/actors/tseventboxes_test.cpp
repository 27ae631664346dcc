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

/// A set of 40 boxes far from every actor (two words of bits) with its index built.
YoEBox* MakeBoxes()
{
    auto* boxes = new YoEBox();
    const float size[3] = {10, 10, 10};
    for (int i = 0; i < 40; ++i)
    {
        const float centre[3] = {float(10000 + 100 * i), 0, 0};
        boxes->AddBox(centre, size, 2, {}, {}, {});
    }
    boxes->BuildIndex();
    return boxes;
}

class EventBoxes : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        TsEventBoxesInstall(mWorld);
        mBoxes = MakeBoxes();
        mBoxes->AddRef();
    }
    void TearDown() override
    {
        mBoxes->Release();
        EBoxSetContextualFilter(nullptr);
        ScriptWorldTest::TearDown();
    }
    YoEBox* mBoxes = nullptr;
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
    EXPECT_EQ(mBoxes->GetDelayedActions()->GetNow(), 12345) << "due actions run at the game clock's time";
    const int32_t id = mBoxes->GetIndexId();

    // The box test stamps each record it is given with the index and sizes its bitsets.
    for (FakeActor* tested : {enemy, hero})
    {
        EXPECT_EQ(tested->mEBoxBits->stamp, id) << tested->mName;
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
    mBoxes->BuildIndex();
    TsEventBoxesUpdate(mBoxes);
    EXPECT_EQ(hero->mEBoxBits->stamp, mBoxes->GetIndexId());
    EXPECT_NE(mBoxes->GetIndexId(), id);
    EXPECT_EQ(enemy->mEBoxBits->stamp, id);
}

TEST_F(EventBoxes, TheScriptWorldLoadsAndTicksItsSet)
{
    FakeActor* enemy = Listed("enemy", {10, 0, 0}, HeroEnemyFamily);
    FakeActor* door = Listed("door", {40, 0, 0}, HeroEnemyFamily | DofFamily);
    EXPECT_EQ(TsEventBoxesUpdate(nullptr), 0);
    // A set made afresh for an identifier starting with '_': no file behind it.
    HbResourceManager::Instance()->RegisterType("TESTEBOXES", []() -> HbRoot* { return MakeBoxes(); });
    ASSERT_EQ(mWorld->LoadEventBoxes("_LEVEL_TESTEBOXES"), 1);
    ASSERT_NE(enemy->mEBoxBits, nullptr);
    EXPECT_EQ(door->mEBoxBits, nullptr) << "the script world leaves degrees of freedom out";
    Frame(0.1f);
    auto* loaded = static_cast<YoEBox*>(mWorld->GetEventBoxes());
    EXPECT_EQ(enemy->mEBoxBits->stamp, loaded->GetIndexId());
    EXPECT_EQ(loaded->GetDelayedActions()->GetNow(), HbGameClock::Instance()->mGameTime);
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
