// Scenario marks, the scenario database read from the writer's bytes, the mark system's
// sector index and the module mark.request over a running script world.
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hbresource.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "skeletonwriter.h"
#include "tsactorlayer.h"
#include "tsdof.h"
#include "tsdummyactor.h"
#include "tsmarkrequest.h"
#include "tsmarksystem.h"
#include "tsscenaricdatabase.h"
#include "tsscenaricmarks.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace
{
using namespace scriptworldtest;

ScenarioMarkEntry Mark(const std::string& id, const std::string& name, Vector at,
                       std::vector<ScenarioValue> extras = {})
{
    ScenarioMarkEntry mark;
    mark.identifier = id;
    mark.name = name;
    mark.SetPosition(at.x, at.y, at.z);
    mark.extras = std::move(extras);
    return mark;
}

/// A database of every section, one or more marks of each kind and two paths.
std::vector<ScenarioSection> EverySection()
{
    using W = ScenarioDbWriter;
    std::vector<ScenarioSection> s(11);
    s[0] = {9, {Mark("E_AL_ALARMMARK", "alarm", {10, 0, 10})}};
    s[1] = {10, {Mark("E_AM_AMBUSHMARK", "ambush", {20, 0, 10}, W::Ambush(3))}};
    s[2] = {1,
            {Mark("E_AT_ATTACKMARK", "attack", {-30, 0, 10}), Mark("E_DE_DEFENSEMARK", "defense", {-40, 0, 10}),
             Mark("E_RE_RETREATMARK", "retreat", {-50, 0, 10}), Mark("E_HB_HOMEBASEMARK", "home", {-60, 0, 10}),
             Mark("E_GE_YOSCENARICMARK", "generic", {-70, 0, 10})}};
    s[3] = {11,
            {Mark("E_AC_ACTORMARK", "actor", {30, 0, 10},
                  {ScenarioValue::Str("a"), ScenarioValue::Str("b"), ScenarioValue::Str("c")})}};
    s[4] = {
        13,
        {Mark("E_DO_DOFMK", "dof", {40, 0, 10},
              {ScenarioValue::Str("1"), ScenarioValue::Str("2"), ScenarioValue::Str("3"), ScenarioValue::Str("4")})}};
    s[5] = {14, {Mark("E_SO_SDMK", "sound", {50, 0, 10}, {ScenarioValue::Str("SD_DRIP_S3DSB")})}};
    s[6] = {15, {Mark("E_SE_SEARCHMARK", "search", {60, 0, 10})}};
    s[7] = {16, {Mark("E_AN_ACTIONMARK", "action", {70, 0, 10})}};
    s[8] = {17,
            {Mark("E_R1_RESPAWNMARK", "respawn", {80, 0, 10}, W::Respawn(0, 0, 2.0f, 2)),
             Mark("E_R2_RESPAWNMARK", "unlimited", {90, 0, 10}, W::Respawn(0, 1, 0.5f, 0)),
             Mark("E_R3_RESPAWNMARK", "flagged", {100, 0, 10}, W::Respawn(1, 0, 0, 0))}};
    s[9] = {18, {Mark("E_PA_PATROLMARK", "patrol", {110, 0, 10}, W::Patrol(1.5f))}};
    s[10] = {2,
             {},
             {{"E_P1_YOSCENARICPATH", "route", {"attack", "respawn", "unlimited", "nowhere"}},
              {"E_P2_YOSCENARICPATH", "empty", {}}}};
    return s;
}

class MarkSystem : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        std::string pattern = (std::filesystem::temp_directory_path() / "marks_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        mDirectory = pattern;
        TsMarkSystemInstall(mWorld);
        mWorld->Hooks().makeMarkModule();
        HbGameClock::Instance()->mGameTime = 0;
    }

    void TearDown() override
    {
        mWorld->SetScene(nullptr);
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        std::filesystem::remove_all(mDirectory);
        ScriptWorldTest::TearDown();
    }

    /// Writes the database under the identifier and declares it and every identifier of its
    /// entries (the marks' own "files" are the database: they read nothing of their own).
    void Declare(const std::string& id, const std::vector<uint8_t>& bytes, const std::vector<ScenarioSection>& sections)
    {
        const std::string path = mDirectory + "/" + id + ".sce";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        DeclarePath(id, path);
        for (const ScenarioSection& section : sections)
        {
            for (const ScenarioMarkEntry& mark : section.marks)
                DeclarePath(mark.identifier, path);
            for (const ScenarioPathEntry& p : section.paths)
                DeclarePath(p.identifier, path);
        }
    }

    void DeclarePath(const std::string& id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mIds.push_back(id);
    }

    /// The database of the sections, read through the resource manager; the test holds one
    /// reference (null when it failed).
    TsScenaricDataBase* Load(const std::string& id, const std::vector<ScenarioSection>& sections)
    {
        Declare(id, ScenarioDbWriter::Bytes(sections), sections);
        auto* db = HbCastTo<TsScenaricDataBase>(HbResourceManager::Instance()->GetResource(id.c_str()));
        if (db)
            db->AddRef();
        return db;
    }

    TsMarkSystem* System() { return TsGetMarkSystem(); }

    /// The sorted tuple of a request from Python.
    std::string Sorted(const std::string& call) { return Eval("tuple(sorted(mark.request." + call + "))"); }

    std::string mDirectory;
    std::vector<std::string> mIds;
};

TEST_F(MarkSystem, EverySectionLoadsEachKindWithItsData)
{
    TsScenaricDataBase* db = Load("EVERY_SCE", EverySection());
    ASSERT_NE(db, nullptr);
    const std::pair<const char*, int32_t> kinds[] = {
        {"alarm", 5},    {"ambush", 6},     {"attack", 1},   {"defense", 2}, {"retreat", 3}, {"home", 4},
        {"generic", 0},  {"actor", 8},      {"dof", 9},      {"sound", 10},  {"search", 11}, {"action", 12},
        {"respawn", 13}, {"unlimited", 13}, {"flagged", 13}, {"patrol", 14},
    };
    for (const auto& [name, kind] : kinds)
    {
        YoScenaricMark* mark = db->FindMark(name);
        ASSERT_NE(mark, nullptr) << name;
        EXPECT_EQ(mark->GetKind(), kind) << name;
    }
    EXPECT_EQ(db->GetMarkMap().GetCount(), 16);
    EXPECT_EQ(db->GetRejectedCount(), 0);
    EXPECT_EQ(db->FindMark("attack")->GetPosition().x, -30.0f);

    EXPECT_EQ(static_cast<AmbushMark*>(db->FindMark("ambush"))->mAmbushMode, 3);
    EXPECT_EQ(static_cast<ActorMark*>(db->FindMark("actor"))->mStrings[2], "c");
    EXPECT_EQ(static_cast<GenericDofMark*>(db->FindMark("dof"))->mStrings[3], "4");
    EXPECT_EQ(static_cast<SoundMark*>(db->FindMark("sound"))->mStrings[0], "SD_DRIP_S3DSB");
    EXPECT_EQ(static_cast<PatrolMark*>(db->FindMark("patrol"))->mPatrolTime,
              int64_t(double(1.5f) * double(HbPerformanceFrequency())));

    YoScenaricPath* route = db->FindPath("route");
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->mMarkNames.size(), 4u);
    ASSERT_NE(db->FindPath("empty"), nullptr);
    EXPECT_TRUE(db->FindPath("empty")->mMarkNames.empty());
    db->Release();
}

TEST_F(MarkSystem, RespawnMarksCountUsesAndWaitTheirDelay)
{
    TsScenaricDataBase* db = Load("RESPAWN_SCE", EverySection());
    ASSERT_NE(db, nullptr);
    auto* limited = static_cast<RespawnMark*>(db->FindMark("respawn"));
    auto* unlimited = static_cast<RespawnMark*>(db->FindMark("unlimited"));
    auto* flagged = static_cast<RespawnMark*>(db->FindMark("flagged"));
    const int64_t second = HbPerformanceFrequency();
    int64_t& now = HbGameClock::Instance()->mGameTime;

    now = 10 * second;
    EXPECT_EQ(limited->IsUsable(0), 1);
    limited->Use(0);
    EXPECT_EQ(limited->GetRemainingUses(), 1);
    const int64_t due = 10 * second + limited->mDelay;
    now = due - 1;
    EXPECT_EQ(limited->IsUsable(0), 0);
    now = due;
    EXPECT_EQ(limited->IsUsable(0), 1);
    limited->Use(0);
    now += limited->mDelay;
    EXPECT_EQ(limited->IsUsable(0), 0) << "no use left";
    EXPECT_EQ(limited->IsUsable(1), 1) << "the limit ignored";

    unlimited->Use(0);
    EXPECT_EQ(unlimited->GetRemainingUses(), -1);
    EXPECT_EQ(unlimited->mRemainingUses, 0);

    // A mark whose flag stopped the read: nothing left, usable only when the limit is ignored.
    EXPECT_EQ(flagged->mDelay, 0);
    EXPECT_EQ(flagged->GetRemainingUses(), 0);
    EXPECT_EQ(flagged->IsUsable(0), 0);
    EXPECT_EQ(flagged->IsUsable(1), 1);
    db->Release();
}

TEST_F(MarkSystem, ReaderEdgesOfTheFormat)
{
    // Duplicate names keep the first; a section lying before one read earlier is lost;
    // a wrong-class entry drops the rest of its section only.
    std::vector<ScenarioSection> sections = {
        {10, {Mark("D_AM_AMBUSHMARK", "lost ambush", {0, 0, 0}, ScenarioDbWriter::Ambush(2))}},
        {9, {Mark("D_AL_ALARMMARK", "alarm", {0, 0, 0})}},
        {1, {Mark("D_A1_ATTACKMARK", "twin", {1, 0, 0}), Mark("D_A2_DEFENSEMARK", "twin", {2, 0, 0})}},
        {15, {Mark("D_S1_ATTACKMARK", "wrong", {0, 0, 0}), Mark("D_S2_SEARCHMARK", "after wrong", {0, 0, 0})}},
        {16, {Mark("D_AC_ACTIONMARK", "action", {0, 0, 0})}},
        {17, {}, {}, 0},
    };
    TsScenaricDataBase* db = Load("EDGES_SCE", sections);
    ASSERT_NE(db, nullptr);
    ASSERT_NE(db->FindMark("twin"), nullptr);
    EXPECT_EQ(db->FindMark("twin")->GetKind(), 1);
    EXPECT_EQ(db->FindMark("lost ambush"), nullptr);
    EXPECT_NE(db->FindMark("alarm"), nullptr);
    EXPECT_EQ(db->FindMark("wrong"), nullptr);
    EXPECT_EQ(db->FindMark("after wrong"), nullptr);
    EXPECT_NE(db->FindMark("action"), nullptr);
    EXPECT_EQ(db->GetRejectedCount(), 2);
    db->Release();

    // A count larger than its section holds, and no outer chunk: the load fails.
    std::vector<ScenarioSection> overcount = {{1, {Mark("O_A_ATTACKMARK", "a", {0, 0, 0})}, {}, 1000}};
    EXPECT_EQ(Load("OVER_SCE", overcount), nullptr);
    Declare("BARE_SCE", {1, 2, 3, 4}, {});
    EXPECT_EQ(HbResourceManager::Instance()->GetResource("BARE_SCE"), nullptr);
}

/// A shared resource that reads nothing, standing for one another module holds (a playing
/// sound): readers that meet it where they expect something else must leave it as it is.
class HeldThing : public HbRoot
{
public:
    int IsShared() const override { return 1; }
    int Load(HbStream*, const char*) override { return 1; }
};

TEST_F(MarkSystem, ReadersThatMeetTheWrongObjectLeaveItToItsHoldersAndRefuseTheDatabaseItself)
{
    HbResourceManager::Instance()->RegisterType("HELDTST", []() -> HbRoot* { return new HeldThing(); });
    std::vector<ScenarioSection> sections = {
        {9, {Mark("T_HELD_HELDTST", "held", {0, 0, 0}), Mark("T_AL_ALARMMARK", "lost", {0, 0, 0})}},
        {10, {Mark("SELF_SCE", "itself", {0, 0, 0})}},
        {16, {Mark("T_AC_ACTIONMARK", "action", {0, 0, 0})}},
    };
    const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes(sections);
    const std::string path = mDirectory + "/SELF_SCE.sce";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const char* id : {"SELF_SCE", "T_HELD_HELDTST", "T_AL_ALARMMARK", "T_AC_ACTIONMARK"})
        DeclarePath(id, path);
    HbRoot* held = HbResourceManager::Instance()->GetResource("T_HELD_HELDTST");
    ASSERT_NE(held, nullptr);
    held->AddRef();
    ASSERT_EQ(held->GetRefCount(), 1);

    HbRoot* db = HbResourceManager::Instance()->GetResource("SELF_SCE");
    ASSERT_NE(db, nullptr) << "the database survives an entry naming itself";
    db->AddRef();
    auto* marks = HbCastTo<TsScenaricDataBase>(db);
    ASSERT_NE(marks, nullptr);
    EXPECT_NE(marks->FindMark("action"), nullptr);
    EXPECT_EQ(marks->FindMark("itself"), nullptr);
    EXPECT_EQ(marks->GetRejectedCount(), 3);
    EXPECT_EQ(db->GetRefCount(), 1);
    db->Release();

    // The mark system given it as its database, and a model name of a degree-of-freedom actor.
    ASSERT_EQ(mWorld->LoadScenaricData("T_HELD_HELDTST"), 1);
    EXPECT_EQ(System()->GetDatabase(), nullptr);
    auto* dof = new TsDof();
    dof->AddRef();
    EXPECT_EQ(dof->LoadModel("T_HELD_HELDTST"), 0);
    dof->Release();
    EXPECT_EQ(held->GetRefCount(), 1) << "never released by a reader that took nothing";
    held->Release();
}

TEST_F(MarkSystem, SystemIndexesMarksAndWalksSectorObjects)
{
    Declare("LEVEL_SCE", ScenarioDbWriter::Bytes(EverySection()), EverySection());
    ASSERT_EQ(mWorld->LoadScenaricData("LEVEL_SCE"), 1);
    TsMarkSystem* system = System();
    ASSERT_NE(system, nullptr);
    ASSERT_NE(system->GetDatabase(), nullptr);
    EXPECT_EQ(system->FindMark("patrol")->GetKind(), 14);

    // The script world bound the path's names that exist and filed respawn marks apart.
    YoScenaricPath* route = system->GetDatabase()->FindPath("route");
    EXPECT_EQ(route->mMarks.GetCount(), 3);
    EXPECT_EQ(route->mRespawnMarks.GetCount(), 2);
    EXPECT_EQ(route->mAlarmMarks.GetCount(), 0);

    auto count = [](HbRoot*, void* context) -> int32_t { return ++*static_cast<int32_t*>(context) < 100; };
    auto first = [](HbRoot*, void* context) -> int32_t
    {
        ++*static_cast<int32_t*>(context);
        return 0;
    };
    int32_t seen = 0;
    EXPECT_EQ(TsWorldForEachSectorObject(system, count, 13, &seen), 1);
    EXPECT_EQ(seen, 3);
    seen = 0;
    EXPECT_EQ(TsWorldForEachSectorObject(system, first, 13, &seen), 1);
    EXPECT_EQ(seen, 1) << "a callback answering 0 stops the walk";

    // A level change without a world empties the index; no database: nothing at all.
    system->SetLevel(nullptr);
    seen = 0;
    EXPECT_EQ(TsWorldForEachSectorObject(system, count, 13, &seen), 0);
    TsMarkSystem empty("NO_SUCH_SCE", mLevel);
    EXPECT_EQ(empty.GetDatabase(), nullptr);
    EXPECT_EQ(empty.FindMark("patrol"), nullptr);
    empty.SetLevel(mLevel);
    EXPECT_EQ(TsWorldForEachSectorObject(&empty, count, 13, &seen), 0);
}

TEST_F(MarkSystem, RespawnMarksFitTheDifficultyOncePerLoadOfTheDatabase)
{
    // The level group holds the database across entries into its sectors: a retry makes a
    // new mark system over the same database, and must not fit its marks again.
    TsScenaricDataBase* held = Load("DIFF_SCE", EverySection());
    ASSERT_NE(held, nullptr);
    auto uses = [this](const char* name)
    {
        auto* mark = static_cast<RespawnMark*>(System()->FindMark(name));
        return std::make_pair(mark->GetRemainingUses(), mark->mRemainingUses);
    };
    EXPECT_EQ(TsApplyDifficultyToRespawnMarks(nullptr, 1), 0);
    for (int entry = 0; entry < 3; ++entry)
    {
        ASSERT_EQ(mWorld->LoadScenaricData("DIFF_SCE"), 1);
        ASSERT_EQ(System()->GetDatabase(), held);
        EXPECT_EQ(TsApplyDifficultyToRespawnMarks(System(), 1), entry == 0 ? 1 : 0) << entry;
        EXPECT_EQ(uses("respawn"), std::make_pair(4, 4)) << entry;
        // An unlimited mark answers -1: its count becomes 1 and it stays unlimited.
        EXPECT_EQ(uses("unlimited"), std::make_pair(-1, 1)) << entry;
        EXPECT_EQ(uses("flagged"), std::make_pair(1, 1)) << entry;
    }
    ASSERT_EQ(mWorld->LoadScenaricData("NO_SUCH_SCE"), 1);
    held->Release();

    // A new load of the database is fitted anew; at 2 every mark becomes unlimited, at 0
    // nothing changes.
    for (int32_t difficulty : {2, 0})
    {
        ASSERT_EQ(mWorld->LoadScenaricData("DIFF_SCE"), 1);
        ASSERT_EQ(System()->GetDatabase()->IsDifficultyApplied(), 0) << difficulty;
        EXPECT_EQ(TsApplyDifficultyToRespawnMarks(System(), difficulty), 1);
        for (const char* name : {"respawn", "unlimited", "flagged"})
            EXPECT_EQ(static_cast<RespawnMark*>(System()->FindMark(name))->mUnlimited,
                      difficulty == 2 || std::string(name) == "unlimited" ? 1 : 0)
                << name << " at " << difficulty;
        EXPECT_EQ(static_cast<RespawnMark*>(System()->FindMark("respawn"))->mRemainingUses, 2);
        ASSERT_EQ(mWorld->LoadScenaricData("NO_SUCH_SCE"), 1);
    }
}

class MarkRequests : public MarkSystem
{
protected:
    void SetUp() override
    {
        MarkSystem::SetUp();
        // The wall stands in the plane x = 0; the reference actor looks along +z from
        // (-500, 0, 0).
        std::vector<ScenarioSection> sections = {
            {1,
             {Mark("Q_A_ATTACKMARK", "front", {-500, 0, 300}), Mark("Q_B_ATTACKMARK", "behind", {-500, 0, -300}),
              Mark("Q_C_ATTACKMARK", "abeam", {-200, 0, 0}), Mark("Q_D_ATTACKMARK", "walled", {100, 0, 300}),
              Mark("Q_E_ATTACKMARK", "locked", {-500, 0, 200}), Mark("Q_F_ATTACKMARK", "held", {-400, 0, 200}),
              Mark("Q_G_ATTACKMARK", "far", {-500, 0, 900}), Mark("Q_H_DEFENSEMARK", "defense", {-500, 0, 100})}}};
        Declare("REQ_SCE", ScenarioDbWriter::Bytes(sections), sections);
        ASSERT_EQ(mWorld->LoadScenaricData("REQ_SCE"), 1);
        System()->FindMark("locked")->mLockCount = 1;
        System()->FindMark("held")->mHeld = 1;
        FakeActor* hero = Listed("hero", {-500, 0, 0});
        FakeActor* lost = Listed("lost", {-500, 0, 0}, HeroEnemyFamily, kOutside);
        PyDict_SetItemString(scripttest::MainDict(), "hero", hero->GetScriptObject());
        PyDict_SetItemString(scripttest::MainDict(), "lost", lost->GetScriptObject());
        ASSERT_EQ(Exec("c = vertex(-500.0, 0.0, 0.0)"), "");
    }
};

TEST_F(MarkRequests, NamedRequestsFromPython)
{
    const std::string all = "('abeam', 'behind', 'front', 'walled')";
    const std::pair<const char*, std::string> rows[] = {
        {"DistanceIn(c, 800.0, 1)", all},
        {"DistanceIn(c, 0.0, 1)", "()"},
        {"DistanceIn(c, 800.0, 2)", "('defense',)"},
        {"Front(c, 800.0, 1, hero)", "('front', 'walled')"},
        {"Behind(c, 800.0, 1, hero)", "('abeam', 'behind')"},
        {"Visible(c, 800.0, 1, hero)", "('abeam', 'behind', 'front')"},
        {"NotVisible(c, 800.0, 1, hero)", "('walled',)"},
        {"FrontNotVisible(c, 800.0, 1, hero)", "('walled',)"},
        // A reference actor in no world: nothing in front or visible, every free mark behind.
        {"Front(c, 800.0, 1, lost)", "()"},
        {"Visible(c, 800.0, 1, lost)", "()"},
        {"Behind(c, 800.0, 1, lost)", all},
        {"GetAllMark(1)", "('abeam', 'behind', 'far', 'front', 'held', 'locked', 'walled')"},
    };
    for (const auto& [call, expected] : rows)
        EXPECT_EQ(Sorted(call), expected) << call;
}

TEST_F(MarkRequests, AMaximumBoundsTheMarksExamined)
{
    auto* request = HbCastTo<YoScenaricMarkRequestDistanceIn>(System()->GetRegistry()->Find("DistanceIn"));
    ASSERT_NE(request, nullptr);
    request->SetCenter({-500, 0, 0});
    request->SetRadius(5000);
    request->SetKind(1);
    HbPtrArray found;
    request->Evaluate(&found, -1);
    EXPECT_EQ(found.GetCount(), 5) << "every free attack mark";
    // Two examined, whether or not the filter passes them.
    struct FirstTwo
    {
        int32_t seen = 0;
        int32_t free = 0;
    } first;
    auto visit = [](HbRoot* object, void* context) -> int32_t
    {
        auto* f = static_cast<FirstTwo*>(context);
        f->free += static_cast<YoScenaricMark*>(object)->IsFree() ? 1 : 0;
        return ++f->seen < 2;
    };
    TsWorldForEachSectorObject(System(), visit, 1, &first);
    HbPtrArray two;
    request->Evaluate(&two, 2);
    EXPECT_EQ(two.GetCount(), first.free);
}

TEST_F(MarkRequests, DummyActorsStandOnMarks)
{
    auto* dummy = new TsDummyActor();
    dummy->AddRef();
    EXPECT_EQ(dummy->PlaceAtMark("front"), 1);
    EXPECT_EQ(dummy->GetNode()->GetParent(), mScene->GetRoot());
    const Vector at = *dummy->GetNode()->GetWorldPosition();
    EXPECT_EQ(at.x, -500.0f);
    EXPECT_EQ(at.z, 300.0f);
    EXPECT_EQ(dummy->LoadModel("no such mark"), 0);
    dummy->Release();
}

TEST_F(MarkRequests, ArgumentErrorsAndNoDatabase)
{
    EXPECT_EQ(Eval("mark.request.Front((1, 2, 3), 800.0, 1, hero)"),
              "!TypeError: param 1 for Front must be a vertex!\n");
    EXPECT_EQ(Eval("mark.request.Behind(c, 800.0, 1, 5)").rfind("!TypeError: Behind : param 4", 0), 0u);
    // NotVisible shares Visible's format, so the interpreter's error names Visible.
    EXPECT_NE(Eval("mark.request.NotVisible(c)").find("Visible()"), std::string::npos);
    // Without a scenario database every request answers an empty tuple.
    ASSERT_EQ(mWorld->LoadScenaricData("NO_SUCH_SCE"), 1);
    EXPECT_EQ(Eval("mark.request.DistanceIn(c, 800.0, 1)"), "()");
    EXPECT_EQ(Eval("mark.request.GetAllMark(1)"), "()");
    EXPECT_EQ(System()->FindMark("front"), nullptr);
}

TEST_F(MarkSystem, MutatedDatabasesNeverCorruptMemory)
{
    const std::vector<uint8_t> good = ScenarioDbWriter::Bytes(EverySection());
    ASSERT_FALSE(good.empty());
    Declare("SWEEP_SCE", good, EverySection());
    const std::string path = mDirectory + "/SWEEP_SCE.sce";
    std::mt19937 random(52);
    for (int round = 0; round < 300; ++round)
    {
        std::vector<uint8_t> bytes = good;
        if (round % 3 == 0)
            bytes.resize(random() % bytes.size());
        else
            for (int flips = 1 + int(random() % 4); flips > 0; --flips)
                bytes[random() % bytes.size()] = uint8_t(random());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        HbRoot* db = HbResourceManager::Instance()->GetResource("SWEEP_SCE");
        if (db)
        {
            db->AddRef();
            db->Release();
        }
    }
}
} // namespace
