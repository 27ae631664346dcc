// The "YDB" scenario database read from the writer's bytes: marks and paths by name, the
// look-up cache, the binding of paths to marks, and damaged databases.
#include "hbchunkstream.h"
#include "scenariodbwriter.h"
#include "scriptworld_fixture.h"
#include "skeletonwriter.h"
#include "yoscenaricdatabase.h"
#include "yoscenaricmark.h"
#include "yorequest.h"

#include <gtest/gtest.h>

#include <random>

namespace
{
ScenarioMarkEntry Mark(const std::string& id, const std::string& name, float x, std::vector<ScenarioValue> extras = {})
{
    ScenarioMarkEntry mark;
    mark.identifier = id;
    mark.name = name;
    mark.SetPosition(x, 0.0f, 0.0f);
    mark.extras = std::move(extras);
    return mark;
}

ScenarioPathEntry Path(const std::string& name, std::vector<std::string> marks)
{
    return {"_YOSCENARICPATH", name, std::move(marks)};
}

/// A database read from the bytes (one reference of the caller's), and Read's answer.
YoScenaricDataBase* ReadBytes(const std::vector<uint8_t>& bytes, int32_t* result)
{
    auto* database = new YoScenaricDataBase();
    database->AddRef();
    HbMChunkStream stream(new VectorStreamBuf(bytes));
    *result = database->Read(&stream);
    return database;
}

std::vector<ScenarioMarkEntry> KindsOfMarks()
{
    return {
        Mark("_ATTACKMARK", "attack", 1),
        Mark("_ALARMMARK", "alarm", 2),
        Mark("_AMBUSHMARK", "ambush", 3, ScenarioDbWriter::Ambush(1)),
        Mark("_SEARCHMARK", "search", 4),
        Mark("_RESPAWNMARK", "respawn", 5, ScenarioDbWriter::Respawn(0, 0, 2.0f, 3)),
        Mark("_YOSCENARICMARK", "plain", 6),
    };
}

TEST(ScenaricDataBase, MarksAndPathsByNameTheLaterOfOneNameWins)
{
    std::vector<ScenarioMarkEntry> marks = KindsOfMarks();
    marks.push_back(Mark("_YOSCENARICMARK", "attack", 99));
    const std::vector<uint8_t> bytes = ScenarioDbWriter::YdbBytes(
        marks, {Path("round", {"attack", "alarm", "respawn", "ambush", "search", "respawn", "nowhere"}),
                Path("round", {"plain"})});
    ASSERT_FALSE(bytes.empty());
    int32_t result = 0;
    YoScenaricDataBase* database = ReadBytes(bytes, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(database->GetMarkMap().GetCount(), 6);
    YoScenaricMark* attack = database->FindMark("attack");
    ASSERT_NE(attack, nullptr);
    EXPECT_EQ(attack->GetPosition().x, 99.0f) << "the later mark of the name replaced the earlier";
    EXPECT_EQ(attack->GetKind(), 0);
    ASSERT_NE(database->FindMark("respawn"), nullptr);
    EXPECT_EQ(database->FindMark("respawn")->GetKind(), YoScenaricMark::kRespawnKind);
    YoScenaricPath* round = database->FindPath("round");
    ASSERT_NE(round, nullptr);
    EXPECT_EQ(round->mMarkNames, std::vector<std::string>{"plain"}) << "the later path of the name replaced it";
    database->Release();
}

TEST(ScenaricDataBase, FindMarkCachesTheLastNameUntilAnotherIsAsked)
{
    int32_t result = 0;
    YoScenaricDataBase* database = ReadBytes(ScenarioDbWriter::YdbBytes(KindsOfMarks(), {}), &result);
    ASSERT_EQ(result, 1);
    YoScenaricMark* alarm = database->FindMark("alarm");
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(database->FindMark("alarm"), alarm);
    EXPECT_EQ(database->GetMarkLookupCount(), 1) << "the second question was answered by the cache";
    EXPECT_EQ(database->FindMark("unknown"), nullptr);
    EXPECT_EQ(database->FindMark("alarm"), alarm);
    EXPECT_EQ(database->GetMarkLookupCount(), 3) << "an unknown name replaced the cache";
    database->Release();
}

TEST(ScenaricDataBase, BindingAPathFillsTheListsOfItsKinds)
{
    int32_t result = 0;
    YoScenaricDataBase* database = ReadBytes(
        ScenarioDbWriter::YdbBytes(KindsOfMarks(), {Path("walk", {"attack", "alarm", "respawn", "ambush", "search",
                                                                  "respawn", "nowhere"})}),
        &result);
    ASSERT_EQ(result, 1);
    // What the mark system does when it takes the database: every name, in order.
    YoScenaricPath* walk = database->FindPath("walk");
    ASSERT_NE(walk, nullptr);
    for (const std::string& name : walk->mMarkNames)
        walk->AddMark(database->FindMark(name.c_str()));
    EXPECT_EQ(walk->mMarks.GetCount(), 6) << "an unknown name binds nothing";
    EXPECT_EQ(walk->mAlarmMarks.GetCount(), 1);
    EXPECT_EQ(walk->mAmbushMarks.GetCount(), 1);
    EXPECT_EQ(walk->mSearchMarks.GetCount(), 1);
    ASSERT_EQ(walk->mRespawnMarks.GetCount(), 2);
    EXPECT_EQ(walk->mRespawnMarks[0], database->FindMark("respawn"));
    database->Release();
}

TEST(ScenaricDataBase, TheDumpHoldsTheMarksButIsNotTheLayoutReadTakes)
{
    int32_t result = 0;
    YoScenaricDataBase* database =
        ReadBytes(ScenarioDbWriter::YdbBytes(KindsOfMarks(), {Path("p", {"attack", "plain"})}), &result);
    ASSERT_EQ(result, 1);
    YoScenaricPath* path = database->FindPath("p");
    for (const std::string& name : path->mMarkNames)
        path->AddMark(database->FindMark(name.c_str()));
    auto* buffer = new VectorStreamBuf();
    HbMChunkStream out(buffer);
    ASSERT_EQ(database->WriteChunks(&out), 1);
    const std::vector<uint8_t> dump = buffer->Bytes();
    const std::string text(dump.begin(), dump.end());
    EXPECT_NE(text.find("_TSMARK"), std::string::npos);
    // After "_TSPATH" comes the mark-name chunk's 28-byte header, then the bound marks.
    const size_t dumped = text.find("_TSPATH");
    ASSERT_NE(dumped, std::string::npos);
    EXPECT_EQ(text.compare(dumped + 8 + 28, 15, "_YOSCENARICPATH"), 0) << "a path's own name is not written";
    EXPECT_EQ(text.find(std::string(1, '\0') + "p" + '\0'), std::string::npos) << "no path name in the dump";
    database->Release();

    YoScenaricDataBase* back = ReadBytes(dump, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(back->GetMarkMap().GetCount(), 0) << "\"_TSMARK\" names no type";
    EXPECT_EQ(back->GetPathMap().GetCount(), 0);
    back->Release();
}

TEST(ScenaricDataBase, EmptySectionsAreLeftAndBadCountsRefused)
{
    struct Case
    {
        const char* why;
        int64_t markCount;
        int64_t pathCount;
        int32_t result;
        int32_t marks;
        int32_t paths;
    };
    const Case cases[] = {
        {"as written", -1, -1, 1, 2, 1},
        {"a marks section counting 0 is left, and the paths after it read", 0, -1, 1, 0, 1},
        {"a count beyond what the section holds", 1000000, -1, 0, 0, 0},
        {"a count one short leaves the last mark unread", 1, -1, 1, 1, 1},
        {"a paths count beyond its section", -1, 4000000000, 0, 2, 0},
    };
    for (const Case& c : cases)
    {
        const std::vector<uint8_t> bytes =
            ScenarioDbWriter::YdbBytes({Mark("_ATTACKMARK", "a", 1), Mark("_ALARMMARK", "b", 2)},
                                       {Path("p", {"a", "b"})}, c.markCount, c.pathCount);
        int32_t result = -1;
        YoScenaricDataBase* database = ReadBytes(bytes, &result);
        EXPECT_EQ(result, c.result) << c.why;
        EXPECT_EQ(database->GetMarkMap().GetCount(), c.marks) << c.why;
        EXPECT_EQ(database->GetPathMap().GetCount(), c.paths) << c.why;
        database->Release();
    }
}

TEST(ScenaricDataBase, EntriesOfAnotherClassAddNothing)
{
    // A database object in the marks section: made for the reader alone and dropped, and the
    // rest of that section with it (entries have no length to skip by).
    int32_t result = 0;
    YoScenaricDataBase* database =
        ReadBytes(ScenarioDbWriter::YdbBytes({Mark("_ATTACKMARK", "a", 1), Mark("_YDB", "x", 2),
                                              Mark("_ALARMMARK", "b", 3)},
                                             {Path("p", {"a"})}),
                  &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(database->GetMarkMap().GetCount(), 1);
    EXPECT_NE(database->FindMark("a"), nullptr);
    EXPECT_NE(database->FindPath("p"), nullptr);
    database->Release();

    HbMChunkStream empty(new VectorStreamBuf(std::vector<uint8_t>()));
    auto* none = new YoScenaricDataBase();
    none->AddRef();
    EXPECT_EQ(none->Read(&empty), 0) << "no outer chunk";
    none->Release();
}

TEST(ScenaricDataBase, CutAndGarbledDatabasesNeverCorruptMemory)
{
    const std::vector<uint8_t> good = ScenarioDbWriter::YdbBytes(
        KindsOfMarks(), {Path("one", {"attack", "respawn"}), Path("two", {"alarm", "search", "plain"})});
    ASSERT_FALSE(good.empty());
    // Every cut short of the whole stops inside some entry or chunk: refused.
    for (size_t cut : {size_t(0), size_t(27), size_t(28), size_t(60), good.size() / 2, good.size() - 1})
    {
        int32_t result = -1;
        YoScenaricDataBase* database = ReadBytes({good.begin(), good.begin() + cut}, &result);
        EXPECT_EQ(result, 0) << "cut at " << cut;
        database->Release();
    }
    std::mt19937 random(79);
    for (int round = 0; round < 400; ++round)
    {
        std::vector<uint8_t> bytes = good;
        if (round % 4 == 0)
            bytes.resize(random() % bytes.size());
        else
            for (int flips = 1 + int(random() % 4); flips > 0; --flips)
                bytes[random() % bytes.size()] = uint8_t(random());
        int32_t result = 0;
        YoScenaricDataBase* database = ReadBytes(bytes, &result);
        for (const char* name : {"attack", "alarm", "plain"})
        {
            YoScenaricMark* mark = database->FindMark(name);
            EXPECT_TRUE(!mark || mark->mName == name);
        }
        database->Release();
    }
}
} // namespace

// ---- Requests over a database and a level world ----------------------------------------------

namespace
{
/// Counts the marks it is asked about and passes those with an even x.
class CountingFilter : public YoRequestFilterAbstract
{
public:
    int32_t Test(YoScenaricMark* mark) override
    {
        ++mAsked;
        return int32_t(mark->GetPosition().x) % 2 == 0 ? 1 : 0;
    }
    int32_t mAsked = 0;
};

class ScenaricRequests : public scriptworldtest::ScriptWorldTest
{
protected:
    /// Eight attack marks along x at -400 + 10 i (i = 0..7), then one alarm mark.
    YoScenaricDataBase* EightAttackMarks()
    {
        std::vector<ScenarioMarkEntry> marks;
        for (int i = 0; i < 8; ++i)
            marks.push_back(Mark("_ATTACKMARK", "attack" + std::to_string(i), float(-400 + 10 * i)));
        marks.push_back(Mark("_ALARMMARK", "alarm", -350));
        int32_t result = 0;
        YoScenaricDataBase* database = ReadBytes(ScenarioDbWriter::YdbBytes(marks, {}), &result);
        EXPECT_EQ(result, 1);
        return database;
    }
};

TEST_F(ScenaricRequests, AMaximumBoundsTheMarksExaminedAndTheRadiusIsExclusive)
{
    YoScenaricDataBase* database = EightAttackMarks();
    auto* tables = new SectorObjectTables(database, mWallWorld);
    tables->AddRef();
    auto* filter = new CountingFilter();
    auto* request = new YoScenaricMarkRequestDistanceIn("near", filter, tables);
    request->AddRef();
    request->SetCenter({-400, 0, 0});
    request->SetRadius(1000);
    request->SetKind(1);

    HbPtrArray found;
    request->Evaluate(&found, 5);
    EXPECT_EQ(filter->mAsked, 5) << "five of the eight examined";
    EXPECT_EQ(found.GetCount(), 5) << "every attack mark has an even x";
    filter->mAsked = 0;
    HbPtrArray all;
    request->Evaluate(&all, -1);
    EXPECT_EQ(filter->mAsked, 8) << "no maximum: every mark of the kind, the alarm mark left out";
    request->Release();

    // A mark exactly at the radius is outside.
    auto* distance = new YoScenaricMarkFilterDistanceIn();
    auto* exact = new YoScenaricMarkRequestDistanceIn("exact", distance, tables);
    exact->AddRef();
    exact->SetCenter({-400, 0, 0});
    exact->SetRadius(30);
    exact->SetKind(1);
    HbPtrArray inside;
    exact->Evaluate(&inside, -1);
    EXPECT_EQ(inside.GetCount(), 3) << "x = -400, -390 and -380; -370 lies on the sphere";
    exact->Release();
    tables->Release();
    database->Release();
}
} // namespace
