// The event-box runtime: where a point is inside, the order of the handlers, the kinds of
// boxes and their one-shot flag, delayed actions, contextual boxes, and sets loaded by the
// script world, reloaded during its frame or outliving an actor.
#include "eboxcontract.h"
#include "eboxtestkinds.h"
#include "eventboxwriter.h"
#include "frame.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "scriptworld_fixture.h"
#include "tseventboxes.h"
#include "uisupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
using namespace scriptworldtest;
using eboxtest::Trace;

std::vector<std::string> gHandled;

int32_t NoteInside(int32_t box, HbRoot*, TsActor*)
{
    gHandled.push_back("i" + std::to_string(box));
    return 0;
}
int32_t NoteEnter(int32_t box, HbRoot*, TsActor*)
{
    gHandled.push_back("e" + std::to_string(box));
    return 0;
}
int32_t NoteLeave(int32_t box, HbRoot*, TsActor*)
{
    gHandled.push_back("l" + std::to_string(box));
    return 0;
}

/// A set of boxes given as (centre, size, mode) with its index; one reference of the caller's.
struct BoxSpec
{
    Vector centre;
    Vector size;
    int32_t mode;
    std::vector<YoEBoxACondition*> conditions = {};
    std::vector<YoEBoxAAction*> actions = {};
    std::vector<YoEBoxAAction*> elseActions = {};
};

YoEBox* MakeSet(const std::vector<BoxSpec>& specs)
{
    auto* set = new YoEBox();
    set->AddRef();
    for (const BoxSpec& s : specs)
    {
        const float centre[3] = {s.centre.x, s.centre.y, s.centre.z};
        const float size[3] = {s.size.x, s.size.y, s.size.z};
        EXPECT_EQ(set->AddBox(centre, size, s.mode, s.conditions, s.actions, s.elseActions), 1);
    }
    EXPECT_EQ(set->BuildIndex(), 1);
    return set;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : " ") + item;
    return text;
}

class EventBoxRuntime : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        TsEventBoxesInstall(mWorld);
        eboxtest::Reset();
        gHandled.clear();
    }
    void TearDown() override
    {
        for (const std::string& id : mDeclared)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        EBoxSetContextualFilter(nullptr);
        ScriptWorldTest::TearDown();
    }

    /// Tests the point with the noting handlers and a fresh record; what they noted.
    std::string Test(YoEBox* set, Vector at, EBoxActorBits* bits = nullptr)
    {
        gHandled.clear();
        EBoxActorBits* own = bits ? bits : EBoxActorBitsNew();
        const float position[3] = {at.x, at.y, at.z};
        EBoxTestActor(set->GetIndexId(), position, own, NoteInside, NoteEnter, NoteLeave, set, nullptr);
        if (!bits)
            EBoxActorBitsFree(own);
        return Joined(gHandled);
    }

    /// Writes the boxes as a file declared under the identifier.
    void Declare(const std::string& id, const std::vector<EBoxEntry>& boxes)
    {
        const std::string path = mDir / (id + ".yb");
        const std::vector<uint8_t> bytes = EventBoxWriter::Bytes(boxes);
        hbtest::WriteBytes(path, std::string(bytes.begin(), bytes.end()));
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mDeclared.push_back(id);
    }

    static void MoveTo(FakeActor* actor, Vector at)
    {
        actor->mNode->SetWorldPosition(&at);
        ::Frame::SyncDirtyList();
    }

    std::string TraceText() { return Joined(Trace()); }

    hbtest::TempDir mDir;
    std::vector<std::string> mDeclared;
};

EBoxEntry FileBox(Vector centre, float size, int32_t mode, std::vector<EBoxObjectEntry> actions,
                  std::vector<EBoxObjectEntry> conditions = {}, std::vector<EBoxObjectEntry> elses = {})
{
    EBoxEntry box;
    box.centre[0] = centre.x, box.centre[1] = centre.y, box.centre[2] = centre.z;
    box.size[0] = box.size[1] = box.size[2] = size;
    box.mode = mode;
    box.actions = std::move(actions);
    box.conditions = std::move(conditions);
    box.elseActions = std::move(elses);
    return box;
}

EBoxObjectEntry Act(int32_t tag, float delay = 0.0f)
{
    return EBoxObjectEntry::Action("TESTACTION", delay, EBoxObjectEntry::Int(tag));
}

EBoxObjectEntry Cond(int32_t flag, int32_t expected = 1)
{
    return EBoxObjectEntry::Condition("TESTCOND", expected, EBoxObjectEntry::Int(flag));
}

TEST_F(EventBoxRuntime, APointOnMinIsInsideAndOnMaxOutside)
{
    // min (0, 0, 0), max (10, 20, 30); a second box sharing the face x = 10.
    YoEBox* set = MakeSet({{{5, 10, 15}, {10, 20, 30}, 2}, {{15, 10, 15}, {10, 20, 30}, 2}});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case
    {
        Vector at;
        const char* handled;
    } cases[] = {
        {{0, 0, 0}, "e0 i0"},        {{5, 10, 15}, "e0 i0"},
        {{10, 10, 15}, "e1 i1"},     {{9.999f, 19.99f, 29.99f}, "e0 i0"},
        {{5, 20, 15}, ""},           {{5, 10, 30}, ""},
        {{20, 10, 15}, ""},          {{-0.001f, 10, 15}, ""},
        {{-1e9f, -1e9f, -1e9f}, ""}, {{2e8f, 10, 15}, ""},
        {{nan, 10, 15}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Test(set, c.at), c.handled) << c.at.x << " " << c.at.y << " " << c.at.z;
    set->Release();
}

TEST_F(EventBoxRuntime, HandlersRunWordByWordStayThenEnterThenLeave)
{
    // Boxes 1 and 33 hold only the first point, 5 and 50 only the second, 3 and 40 both; the
    // other boxes of the 64 lie far away.
    std::vector<BoxSpec> specs;
    for (int32_t i = 0; i < 64; ++i)
    {
        Vector centre = {5000.0f + 100.0f * float(i), 0, 0};
        float width = 10;
        if (i == 1 || i == 33)
            centre = {0, 0, 0}, width = 50;
        if (i == 5 || i == 50)
            centre = {100, 0, 0}, width = 50;
        if (i == 3 || i == 40)
            centre = {50, 0, 0}, width = 300;
        specs.push_back({centre, {width, 10, 10}, 2});
    }
    YoEBox* set = MakeSet(specs);
    EBoxActorBits* bits = EBoxActorBitsNew();
    EXPECT_EQ(Test(set, {0, 0, 0}, bits), "e1 i1 e3 i3 e33 i33 e40 i40");
    EXPECT_EQ(Test(set, {100, 0, 0}, bits), "i3 e5 i5 l1 i40 e50 i50 l33");
    EXPECT_EQ(Test(set, {100, 0, 0}, bits), "i3 i5 i40 i50");
    EXPECT_EQ(Test(set, {-900, 0, 0}, bits), "l3 l5 l40 l50");
    EXPECT_EQ(bits->words, 3) << "64 boxes / 32 + 1";
    EXPECT_EQ(Test(set, {-900, 0, 0}, bits), "") << "nothing inside before or now";
    EBoxActorBitsFree(bits);
    set->Release();
}

TEST_F(EventBoxRuntime, ActorsInsideAtLoadEnterInBoxOrder)
{
    Declare("RUNTIME_A_YB", {FileBox({0, 0, 0}, 100, 8, {Act(8)}), FileBox({0, 0, 0}, 100, 4, {Act(4)}),
                             FileBox({0, 0, 0}, 100, 2, {Act(2)}), FileBox({900, 0, 0}, 10, 2, {Act(9)})});
    FakeActor* enemy = Listed("enemy", {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_A_YB"), 1);
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a4 a2") << "entered on the first test, in box order";
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a4") << "while inside, every frame";
    Trace().clear();
    MoveTo(enemy, {500, 0, 0});
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a8") << "on leaving; the while-inside box no more";
    // Loading the set again resets the records: back inside, the actor enters anew.
    MoveTo(enemy, {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_A_YB"), 1);
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a4 a2");
}

TEST_F(EventBoxRuntime, TwoActorsInAnEntryBoxRunItTwiceHeroFirst)
{
    Declare("RUNTIME_B_YB", {FileBox({0, 0, 0}, 100, 2, {Act(1)}, {Cond(0)})});
    FakeActor* enemy = Listed("enemy", {10, 0, 0});
    FakeActor* hero = Make("hero", {-10, 0, 0}, HeroFamily);
    mWorld->SetHero(hero);
    mWorld->AddActor(hero);
    FakeActor* idle = Listed("idle", {0, 0, 0});
    idle->mMustBeUpdated = 0;
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_B_YB"), 1);
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "c0 a1 c0 a1");
    EXPECT_EQ(eboxtest::Actors(), (std::vector<TsActor*>{hero, enemy}));
}

TEST_F(EventBoxRuntime, ModeWordsChooseKindAndOneShot)
{
    struct Case
    {
        int32_t mode;
        int runs; ///< over three frames inside, then one outside
    } cases[] = {{0x02, 1}, {0x04, 3}, {0x14, 1}, {0x84, 3}, {0x24, 3}, {0x34, 0},
                 {0x08, 1}, {0x18, 1}, {0x40, 0}, {0x00, 0}, {0x06, 0}};
    FakeActor* enemy = Listed("enemy", {0, 0, 0});
    for (const Case& c : cases)
    {
        const std::string id = "RUNTIME_MODE" + std::to_string(c.mode) + "_YB";
        Declare(id, {FileBox({0, 0, 0}, 100, c.mode, {Act(1)})});
        MoveTo(enemy, {0, 0, 0});
        ASSERT_EQ(mWorld->LoadEventBoxes(id.c_str()), 1);
        Trace().clear();
        for (int frame = 0; frame < 3; ++frame)
            Frame(0.1f);
        MoveTo(enemy, {500, 0, 0});
        Frame(0.1f);
        EXPECT_EQ(int(Trace().size()), c.runs) << "mode 0x" << std::hex << c.mode;
    }
}

TEST_F(EventBoxRuntime, AOneShotBoxRunsElseActionsUntilItsConditionsPass)
{
    Declare("RUNTIME_C_YB",
            {FileBox({0, 0, 0}, 100, 0x14, {Act(1)}, {Cond(3)}, {Act(2)}), FileBox({0, 0, 0}, 100, 4, {Act(7)})});
    Listed("enemy", {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_C_YB"), 1);
    auto* set = static_cast<YoEBox*>(mWorld->GetEventBoxes());
    eboxtest::Flag(3) = 0;
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "c3 a2 a7 c3 a2 a7");
    EXPECT_EQ(set->IsBoxEnabled(set->GetBox(0)), 1);
    Trace().clear();
    eboxtest::Flag(3) = 1;
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "c3 a1 a7 a7");
    EXPECT_EQ(set->IsBoxEnabled(set->GetBox(0)), 0);
    // A disabled box runs for no one; enabling it again lets it run.
    set->SetBoxEnabled(set->GetBox(0), 5);
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "c3 a1 a7");
}

TEST_F(EventBoxRuntime, DelayedActionsRunAtTheFirstFrameAtOrPastTheirTick)
{
    Declare("RUNTIME_D_YB", {FileBox({0, 0, 0}, 100, 2, {Act(5, 2.0f), Act(1), Act(6, 2.0f)}),
                             FileBox({0, 0, 0}, 100, 2, {Act(2), Act(7, -1.0f)})});
    Listed("enemy", {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_D_YB"), 1);
    Frame(0.5f);
    EXPECT_EQ(TraceText(), "a1 a2") << "no delay: at once, before the next box";
    auto* set = static_cast<YoEBox*>(mWorld->GetEventBoxes());
    EXPECT_EQ(set->GetDelayedActions()->GetPendingCount(), 3);
    Trace().clear();
    Frame(0.5f);
    EXPECT_EQ(TraceText(), "a7") << "a negative delay runs at the next frame";
    Trace().clear();
    Frame(0.5f);
    Frame(0.5f);
    EXPECT_EQ(TraceText(), "") << "1.5 s after the frame the box ran in";
    Frame(0.5f);
    EXPECT_EQ(TraceText(), "a5 a6") << "2 s after: in the order they were queued";

    // An action run from the queue that queues itself again waits for the next frame.
    eboxtest::Hook() = [set](int32_t tag)
    {
        if (tag == 7)
            set->RunBox(set->GetBox(1), nullptr);
    };
    Trace().clear();
    set->RunBox(set->GetBox(1), nullptr);
    Frame(0.5f);
    Frame(0.5f);
    EXPECT_EQ(TraceText(), "a2 a7 a2 a7 a2");
    // A cleared queue drops what waits.
    set->GetDelayedActions()->Clear();
    Trace().clear();
    Frame(5.0f);
    EXPECT_EQ(TraceText(), "");
}

TEST_F(EventBoxRuntime, AContextualBoxNeedsTheActionAndAnAcceptedActor)
{
    uitest::InjectedInput input;
    ASSERT_TRUE(input.Bind("CMD_CONTEXTUAL_ACTION", "VK_X"));
    Declare("RUNTIME_E_YB", {FileBox({0, 0, 0}, 100, 0x40, {Act(1)}, {Cond(0)})});
    FakeActor* hero = Make("hero", {0, 0, 0}, HeroFamily);
    mWorld->SetHero(hero);
    mWorld->AddActor(hero);
    Listed("enemy", {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_E_YB"), 1);
    static TsActor* sAccepted = nullptr;
    sAccepted = hero;
    EBoxSetContextualFilter([](TsActor* actor) -> int32_t { return actor == sAccepted; });
    input.Frame();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "") << "the action did not trigger";
    input.Press('X');
    input.Frame();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "c0 a1") << "once, for the accepted actor only";
    EXPECT_EQ(eboxtest::Actors(), (std::vector<TsActor*>{hero}));
    EBoxSetContextualFilter(nullptr);
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "") << "no filter, no contextual box";
}

TEST_F(EventBoxRuntime, ASetReloadedDuringTheFrameGoesAfterIt)
{
    Declare("RUNTIME_F_YB", {FileBox({0, 0, 0}, 100, 2, {Act(1)}), FileBox({0, 0, 0}, 100, 2, {Act(2)})});
    Declare("RUNTIME_G_YB", {FileBox({0, 0, 0}, 100, 4, {Act(9)})});
    Listed("enemy", {0, 0, 0});
    Listed("other", {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_F_YB"), 1);
    eboxtest::Hook() = [this](int32_t tag)
    {
        if (tag == 1)
            mWorld->LoadEventBoxes("RUNTIME_G_YB");
    };
    Frame(0.1f);
    // The first actor's test loads the other set: the old one finishes the frame whole.
    EXPECT_EQ(TraceText(), "a1 a2 a1 a2");
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a9 a9") << "the new set from the next frame";

    // The same shared set loaded again from inside its own frame stays whole.
    eboxtest::Hook() = [this](int32_t tag)
    {
        if (tag == 9)
            mWorld->LoadEventBoxes("RUNTIME_G_YB");
    };
    auto* held = static_cast<YoEBox*>(mWorld->GetEventBoxes());
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(mWorld->GetEventBoxes(), held);
    EXPECT_EQ(held->GetBoxCount(), 1);
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a9 a9 a9 a9");
}

TEST_F(EventBoxRuntime, AnActorDestroyedInsideABoxTakesItsRecordAlong)
{
    Declare("RUNTIME_H_YB", {FileBox({0, 0, 0}, 100, 4, {Act(1)})});
    FakeActor* doomed = Listed("doomed", {0, 0, 0});
    Listed("enemy", {0, 0, 0});
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_H_YB"), 1);
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a1 a1");
    mWorld->RemoveActor(doomed);
    mActors.erase(std::find(mActors.begin(), mActors.end(), doomed));
    doomed->Release();
    Trace().clear();
    Frame(0.1f);
    EXPECT_EQ(TraceText(), "a1");
}

TEST_F(EventBoxRuntime, TheFrameWorkAllocatesNothingOnceRecordsAreStamped)
{
    std::vector<EBoxEntry> boxes;
    for (int i = 0; i < 64; ++i)
        boxes.push_back(FileBox({float(i % 8) * 40.0f, 0, float(i / 8) * 40.0f}, 60, i % 2 ? 4 : 2, {Act(i)}));
    Declare("RUNTIME_I_YB", boxes);
    std::vector<FakeActor*> walkers;
    for (int i = 0; i < 50; ++i)
        walkers.push_back(Listed("walker", {float(i * 7 % 320), 0, float(i * 13 % 320)}));
    ASSERT_EQ(mWorld->LoadEventBoxes("RUNTIME_I_YB"), 1);
    Frame(0.1f);
    const size_t used = EBoxBytesInUse();
    EBoxResetPeak();
    for (int frame = 0; frame < 20; ++frame)
    {
        for (size_t i = 0; i < walkers.size(); ++i)
            MoveTo(walkers[i],
                   {float((i * 7 + size_t(frame) * 11) % 320), 0, float((i * 13 + size_t(frame) * 5) % 320)});
        Frame(0.1f);
    }
    EXPECT_FALSE(Trace().empty());
    EXPECT_EQ(EBoxBytesInUse(), used);
    EXPECT_EQ(EBoxPeakBytes(), used);
}

} // namespace
