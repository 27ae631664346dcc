// The script modules mark, path and marktype over a writer database and the wall level of
// the script world's fixture (a wall in the plane x = 0, floor at y = -100).
#include "frame.h"
#include "hbclock.h"
#include "hbrandom.h"
#include "hbresource.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "tsscenaricmarks.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace
{
using namespace scriptworldtest;
using W = ScenarioDbWriter;

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

ScenarioPathEntry Path(const std::string& name, std::vector<std::string> marks)
{
    return {"P_" + name + "_YOSCENARICPATH", name, std::move(marks)};
}

constexpr int32_t kSearchMarks = 120;

std::vector<ScenarioSection> Sections()
{
    ScenarioMarkEntry facing = Mark("M_FA_DEFENSEMARK", "facing", {-300, 0, 50});
    facing.matrix = {0, 0, -1, 0, 1, 0, 1, 0, 0, -300, 0, 50};
    // Sections in the order the reader looks for them.
    std::vector<ScenarioSection> s = {
        {9, {Mark("M_AN_ALARMMARK", "alarm_near", {-450, 0, 0}), Mark("M_AF_ALARMMARK", "alarm_far", {-100, 0, 0})}},
        {10,
         {Mark("M_A2_AMBUSHMARK", "amb2", {-500, 0, 0}, W::Ambush(2)),
          Mark("M_A3_AMBUSHMARK", "amb3", {-500, 0, 0}, W::Ambush(3)),
          Mark("M_A4_AMBUSHMARK", "amb4", {-500, 0, 0}, W::Ambush(4)),
          Mark("M_S2_AMBUSHMARK", "side2", {-50, 0, 0}, W::Ambush(2)),
          Mark("M_S3_AMBUSHMARK", "side3", {-50, 0, 0}, W::Ambush(3)),
          Mark("M_S4_AMBUSHMARK", "side4", {-50, 0, 0}, W::Ambush(4))}},
        {1,
         {Mark("M_AT_ATTACKMARK", "attack", {-300, 0, 0}), facing, Mark("M_BE_ATTACKMARK", "beyond", {-500, 0, 30}),
          Mark("M_CL_ATTACKMARK", "close", {-500, 0, -50}), Mark("M_FR_ATTACKMARK", "front", {-500, 0, -300}),
          Mark("M_AS_ATTACKMARK", "aside", {-900, 0, 0}), Mark("M_HN_ATTACKMARK", "h_near", {200, 0, 0}),
          Mark("M_HF_ATTACKMARK", "h_far", {250, 0, 0}), Mark("M_HO_ATTACKMARK", "h_open", {-700, 0, -200})}},
        {15, {}},
        {17,
         {Mark("M_RS_RESPAWNMARK", "r_seen", {-300, 0, 0}, W::Respawn(0, 1, 0.0f, 0)),
          Mark("M_RW_RESPAWNMARK", "r_walled", {300, 0, 0}, W::Respawn(0, 0, 2.0f, 1)),
          Mark("M_RB_RESPAWNMARK", "r_behind", {-100, 0, -2000}, W::Respawn(0, 0, 2.0f, 2))}},
        {18, {Mark("M_PA_PATROLMARK", "patrol", {-500, 0, 700}, W::Patrol(1.5f))}},
    };
    std::vector<std::string> searches;
    for (int32_t i = 0; i < kSearchMarks; ++i)
    {
        const std::string name = "search" + std::to_string(i);
        s[3].marks.push_back(Mark("M_" + name + "_SEARCHMARK", name, {-600, 0, float(i)}));
        searches.push_back(name);
    }
    s.push_back(
        {2,
         {},
         {Path("route", {"attack", "alarm_near", "alarm_far", "amb4", "search0", "search1", "r_seen", "patrol"}),
          Path("norespawn", {"attack", "facing"}), Path("searches", searches),
          Path("respawns", {"r_seen", "r_walled", "r_behind"}), Path("targets", {"beyond", "close", "front", "aside"}),
          Path("hidden", {"h_near", "h_open"}), Path("hidden2", {"h_near", "h_far"}), Path("lone", {"h_near"}),
          Path("side2", {"side2", "h_open"}), Path("side3", {"side3", "h_open"}), Path("side4", {"side4", "h_open"}),
          Path("amb2", {"amb2"}), Path("amb3", {"amb3"}), Path("amb4", {"amb4"})}});
    return s;
}

/// The state that makes the quick generator's next real (r - 1) come from those 23 bits.
uint32_t StateBefore(uint32_t mantissa)
{
    const uint32_t a = 1664525u;
    uint32_t inverse = a;
    for (int i = 0; i < 5; ++i)
        inverse *= 2u - a * inverse;
    return (mantissa - 1013904223u) * inverse;
}

class MarkScript : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        TsCameraRegistry::Reset();
        std::string pattern = (std::filesystem::temp_directory_path() / "markscript_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        mDirectory = pattern;
        TsMarkSystemInstall(mWorld);
        mWorld->Hooks().makeMarkModule();
        const std::vector<ScenarioSection> sections = Sections();
        const std::string path = mDirectory + "/PATHS_SCE.sce";
        const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes(sections);
        ASSERT_FALSE(bytes.empty());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        Declare("PATHS_SCE", path);
        for (const ScenarioSection& section : sections)
        {
            for (const ScenarioMarkEntry& mark : section.marks)
                Declare(mark.identifier, path);
            for (const ScenarioPathEntry& p : section.paths)
                Declare(p.identifier, path);
        }
        ASSERT_EQ(mWorld->LoadScenaricData("PATHS_SCE"), 1);
        ASSERT_NE(TsGetMarkSystem()->FindMark("search119"), nullptr);
        HbGameClock::Instance()->mGameTime = 100 * HbPerformanceFrequency();
        ASSERT_EQ(Exec("def xyz(v):\n"
                       "    return (round(v.x, 3), round(v.y, 3), round(v.z, 3))\n"
                       "p = vertex(-500.0, 0.0, 0.0)\n"
                       "A = vertex(-500.0, 0.0, -600.0)\n"
                       "B = vertex(-500.0, 0.0, 0.0)\n"),
                  "");
    }

    void TearDown() override
    {
        TsCameraRegistry::Clear();
        mWorld->SetScene(nullptr);
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        std::filesystem::remove_all(mDirectory);
        ScriptWorldTest::TearDown();
    }

    void Declare(const std::string& id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mIds.push_back(id);
    }

    /// A current camera at the point looking along +z, far enough to see the whole level.
    void ViewFrom(Vector at)
    {
        TsCamera* camera = TsCamera::Create();
        ASSERT_NE(camera, nullptr);
        camera->SetFarClipPlane(5000.0f);
        const Vector direction = {0, 0, 1};
        TsCameraPlacement placement = {&at, &direction};
        camera->SetPlacement(&placement);
        camera->ApplyPlacement();
        const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
        TsCameraRegistry::SetCurrentCamera(id);
        Frame::SyncDirtyList();
    }

    YoScenaricMark* Find(const char* name) { return TsGetMarkSystem()->FindMark(name); }

    std::string mDirectory;
    std::vector<std::string> mIds;
};

TEST_F(MarkScript, MarkFunctionsAnswerFromTheDatabase)
{
    const std::pair<const char*, const char*> rows[] = {
        {"mark.GetMarkAmbushMode('amb3')", "3"},
        {"mark.GetMarkAmbushMode('attack')", "0"},
        {"mark.GetMarkPatrolTimer('patrol')", "1.5"},
        {"mark.GetMarkPatrolTimer('attack')", "0.0"},
        {"xyz(mark.GetMarkPosition('attack'))", "(-300.0, 0.0, 0.0)"},
        {"xyz(mark.GetMarkOrientation('facing'))", "(1.0, 0.0, 0.0)"},
        {"mark.GetMarkType('patrol')", "14"},
        {"mark.GetMarkType('r_seen')", "13"},
        {"mark.Exist('amb2')", "1"},
        {"mark.Exist('nowhere')", "0"},
        {"(marktype.GENERIC, marktype.AMBUSH, marktype.SEARCH, marktype.RESPAWN, marktype.PATROL)",
         "(0, 6, 11, 13, 14)"},
        {"len([n for n in dir(marktype) if n.isupper()])", "15"},
        {"sorted(n for n in dir(mark) if not n.startswith('_'))",
         "['Exist', 'GetMarkAmbushMode', 'GetMarkOrientation', 'GetMarkPatrolTimer', 'GetMarkPosition', "
         "'GetMarkType', 'IsLocked', 'IsRespawnMarkUsable', 'IsVisible', 'Lock', 'Unlock', 'UseRespawnMark', "
         "'request']"},
    };
    for (const auto& [call, expected] : rows)
        EXPECT_EQ(Eval(call), expected) << call;
}

TEST_F(MarkScript, LocksCountBothWaysAndRespawnMarksAreUsed)
{
    EXPECT_EQ(Eval("mark.IsLocked('attack')"), "0");
    ASSERT_EQ(Exec("mark.Lock('attack'); mark.Lock('attack'); mark.Unlock('attack')"), "");
    EXPECT_EQ(Eval("mark.IsLocked('attack')"), "1");
    ASSERT_EQ(Exec("mark.Unlock('attack'); mark.Unlock('attack')"), "");
    EXPECT_EQ(Find("attack")->mLockCount, -1) << "Unlock does not stop at 0";
    EXPECT_EQ(Eval("mark.IsLocked('attack')"), "0");
    Find("patrol")->mHeld = 1;
    EXPECT_EQ(Eval("mark.IsLocked('patrol')"), "1") << "a held mark counts as locked";

    EXPECT_EQ(Eval("mark.IsRespawnMarkUsable('r_walled', 0)"), "1");
    EXPECT_EQ(Eval("mark.UseRespawnMark('r_walled', 0)"), "None");
    EXPECT_EQ(static_cast<RespawnMark*>(Find("r_walled"))->GetRemainingUses(), 0);
    EXPECT_EQ(Eval("mark.IsRespawnMarkUsable('r_walled', 0)"), "0");
    HbGameClock::Instance()->mGameTime += 3 * HbPerformanceFrequency();
    EXPECT_EQ(Eval("mark.IsRespawnMarkUsable('r_walled', 0)"), "0") << "no use left";
    EXPECT_EQ(Eval("mark.IsRespawnMarkUsable('r_walled', 1)"), "1") << "the limit ignored";
}

TEST_F(MarkScript, ErrorTextsForMissingMarksPathsAndArguments)
{
    const std::pair<const char*, const char*> rows[] = {
        {"mark.GetMarkAmbushMode('x')", "!TypeError: The mark x not found !"},
        {"mark.GetMarkPatrolTimer('x')", "!TypeError: The mark x not found !"},
        {"mark.IsRespawnMarkUsable('x', 0)", "!TypeError: The mark x not found !"},
        {"mark.UseRespawnMark('x', 0)", "!TypeError: The mark x not found !"},
        {"mark.IsLocked('x')", "!TypeError: The mark x not found !"},
        {"mark.IsVisible('x')", "!TypeError: The mark x not found !"},
        {"mark.GetMarkOrientation('x')", "!TypeError: The mark x not found !\n"},
        {"mark.GetMarkType('x')", "!TypeError: The mark x not found !\n"},
        {"mark.Lock('x')", "!TypeError: The mark x not found !\n"},
        {"mark.Unlock('x')", "!TypeError: The mark x not found !\n"},
        {"mark.GetMarkPosition('x')", "!TypeError: Mark x not found !\n"},
        {"mark.IsRespawnMarkUsable('attack', 0)",
         "!TypeError: IsRespawnMarkUsable : the mark attack is not a respawn mark"},
        {"mark.UseRespawnMark('patrol', 0)", "!TypeError: UseRespawnMark : the mark patrol is not a respawn mark"},
        {"path.GetPathMark('x')", "!TypeError: The path x not found!\n"},
        {"path.GetPathMarkPosition('x')", "!TypeError: The path x not found!\n"},
        {"path.GetPathMarkOrientation('x')", "!TypeError: The path x not found!\n"},
        {"path.GetNearestMarkFromPos('x', p, 0, 0, None, None, None)", "!TypeError: The path x not found!\n"},
        {"path.GetARandomSearchMark('x')", "!TypeError: The path x not found!\n"},
        {"path.GetRespawnMark('x', 0)", "!TypeError: The path x not found!\n"},
        {"path.DoesPathGetRespawnMark('x')", "!TypeError: The path x not found!\n"},
        {"path.GetNearestMarkFromPos('route', p, 0, 1, None, None, None)",
         "!TypeError: GetNearestMarkFromPos : incorrect mark type\n"},
        // Where the calls fail on a value that is not a vertex, they raise a TypeError.
        {"path.GetNearestMarkFromPos('route', (1, 2, 3), 0, 0, None, None, None)",
         "!TypeError: GetNearestMarkFromPos : the position must be a vertex"},
        {"path.GetNearestMarkFromPos('route', p, 0, 0, (1, 0.0, 0.0), None, None)",
         "!TypeError: GetNearestMarkFromPos : the distance test's centre must be a vertex"},
        {"path.GetNearestMarkFromPos('route', p, 0, 0, None, (A, 2, 0.0), None)",
         "!TypeError: GetNearestMarkFromPos : the target position must be a vertex"},
        {"path.GetNearestMarkFromPos('route', p, 0, 0, None, None, 7)",
         "!TypeError: GetNearestMarkFromPos : the ambush point must be a vertex"},
        {"path.GetNearestMarkFromPos('route', p, 0, 0, 5, None, None)",
         "!TypeError: GetNearestMarkFromPos : the distance test must be None or a tuple"},
        {"path.GetNearestMarkFromPos('route', p, 0, 0, (p, 1.0), None, None)",
         "!TypeError: GetPathMark_distanceTest() takes exactly 3 arguments (2 given)"},
        // Formats shared with a sibling name the sibling.
        {"mark.GetMarkOrientation(5)", "!TypeError: GetMarkPosition() argument 1 must be str, not int"},
        {"mark.Unlock(5)", "!TypeError: Lock() argument 1 must be str, not int"},
        {"path.GetPathMarkPosition(5)", "!TypeError: GetPathMark() argument 1 must be str, not int"},
        {"path.GetPathMarkOrientation(5)", "!TypeError: GetPathMark() argument 1 must be str, not int"},
    };
    for (const auto& [call, expected] : rows)
        EXPECT_EQ(Eval(call), expected) << call;

    // Without a scenario database nothing is found, and nothing crashes.
    ASSERT_EQ(mWorld->LoadScenaricData("NO_SUCH_SCE"), 1);
    EXPECT_EQ(Eval("mark.Exist('attack')"), "0");
    EXPECT_EQ(Eval("mark.GetMarkType('attack')"), "!TypeError: The mark attack not found !\n");
    EXPECT_EQ(Eval("path.GetPathMark('route')"), "!TypeError: The path route not found!\n");
}

TEST_F(MarkScript, PathListsItsMarksInOrder)
{
    EXPECT_EQ(Eval("path.GetPathMark('norespawn')"), "('attack', 'facing')");
    EXPECT_EQ(Eval("tuple(xyz(v) for v in path.GetPathMarkPosition('norespawn'))"),
              "((-300.0, 0.0, 0.0), (-300.0, 0.0, 50.0))");
    EXPECT_EQ(Eval("tuple(xyz(v) for v in path.GetPathMarkOrientation('norespawn'))"),
              "((0.0, 0.0, 1.0), (1.0, 0.0, 0.0))");
    EXPECT_EQ(Eval("len(path.GetPathMark('searches'))"), "120");
    EXPECT_EQ(Eval("path.DoesPathGetRespawnMark('route')"), "1");
    EXPECT_EQ(Eval("path.DoesPathGetRespawnMark('norespawn')"), "0");
}

TEST_F(MarkScript, NearestMarkByKindDistanceAndFreedom)
{
    // From p: amb4 0, alarm_near 50, search0 100, search1 ~100, attack and r_seen 200,
    // alarm_far 400, patrol 700.
    const std::pair<const char*, const char*> rows[] = {
        {"'route', p, 0, 0, None", "'amb4'"},
        {"'route', p, 0, 5, None", "'alarm_near'"},
        {"'route', p, 0, 6, None", "'amb4'"},
        {"'route', p, 0, 11, None", "'search0'"},
        {"'route', p, 0, 13, None", "'r_seen'"},
        {"'route', p, 0, 0, (p, 60.0, 0.0)", "'search0'"},
        {"'route', p, 0, 0, (p, 250.0, 450.0)", "'alarm_far'"},
        {"'route', p, 0, 0, (p, 0.0, 0.0)", "'amb4'"},
        {"'route', p, 0, 0, (p, 450.0, 500.0)", "None"},
        {"'route', vertex(-100.0, 0.0, 0.0), 0, 0, (p, 150.0, 0.0)", "'alarm_far'"},
        {"'norespawn', p, 0, 13, None", "None"},
    };
    for (const auto& [args, expected] : rows)
        EXPECT_EQ(Eval(std::string("path.GetNearestMarkFromPos(") + args + ", None, None)"), expected) << args;

    Find("amb4")->mLockCount = 1;
    Find("alarm_near")->mHeld = 1;
    EXPECT_EQ(Eval("path.GetNearestMarkFromPos('route', p, 1, 0, None, None, None)"), "'search0'");
    EXPECT_EQ(Eval("path.GetNearestMarkFromPos('route', p, 0, 0, None, None, None)"), "'amb4'");
    Find("amb4")->mLockCount = -1;
    EXPECT_EQ(Eval("path.GetNearestMarkFromPos('route', p, 1, 0, None, None, None)"), "'amb4'")
        << "a negative lock count is free";
}

TEST_F(MarkScript, NearestMarkWithATarget)
{
    // The actor A looks from (-500, 0, -600) at its target B (-500, 0, 0); the wall stands at
    // x = 0 between the target and the marks h_near, h_far.
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"targets", "B", "None", "'beyond'"},
        {"targets", "B", "(A, B, 0.0)", "'close'"},
        {"targets", "B", "(A, B, 100.0)", "'front'"},
        {"hidden", "vertex(150.0, 0.0, 0.0)", "None", "'h_near'"},
        {"hidden", "vertex(150.0, 0.0, 0.0)", "(A, B, 0.0)", "'h_open'"},
        {"hidden2", "vertex(150.0, 0.0, 0.0)", "(A, B, 0.0)", "'h_far'"},
        {"lone", "vertex(150.0, 0.0, 0.0)", "(A, B, 0.0)", "'h_near'"},
        // An ambush mark of mode 2 looks out 100 to its right, across the wall; mode 3 to its
        // left, and mode 4 from its point.
        {"side2", "vertex(-50.0, 0.0, 0.0)", "(A, B, 0.0)", "'h_open'"},
        {"side3", "vertex(-50.0, 0.0, 0.0)", "(A, B, 0.0)", "'side3'"},
        {"side4", "vertex(-50.0, 0.0, 0.0)", "(A, B, 0.0)", "'side4'"},
    };
    for (const auto& [name, position, target, expected] : rows)
        EXPECT_EQ(Eval(std::string("path.GetNearestMarkFromPos('") + name + "', " + position + ", 0, 0, None, " +
                       target + ", None)"),
                  expected)
            << name << " " << target;
}

TEST_F(MarkScript, AmbushMarksFaceTheAmbushPoint)
{
    // Each mark stands at p looking along +z; the point lies ahead to the right (+x), ahead to
    // the left, or behind.
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"amb2", "vertex(-400.0, 0.0, 200.0)", "'amb2'"},  {"amb2", "vertex(-600.0, 0.0, 200.0)", "None"},
        {"amb2", "vertex(-500.0, 0.0, -200.0)", "None"},   {"amb3", "vertex(-400.0, 0.0, 200.0)", "None"},
        {"amb3", "vertex(-600.0, 0.0, 200.0)", "'amb3'"},  {"amb3", "vertex(-500.0, 0.0, -200.0)", "None"},
        {"amb4", "vertex(-500.0, 0.0, -200.0)", "'amb4'"},
    };
    for (const auto& [name, point, expected] : rows)
        EXPECT_EQ(Eval(std::string("path.GetNearestMarkFromPos('") + name + "', p, 0, 6, None, None, " + point + ")"),
                  expected)
            << name << " " << point;
}

TEST_F(MarkScript, RandomSearchMarkFromTheQuickStateAmongTheFirstHundredFree)
{
    uint32_t& state = HbRandom::Instance()->GameState();
    const std::tuple<const char*, uint32_t, const char*> rows[] = {
        {"route", 0x000000u, "'search0'"},
        {"route", 0x7FFFFFu, "'search1'"},
        // 120 free marks: a draw near 1 picks the hundredth, a half the fiftieth.
        {"searches", 0x7FFFFFu, "'search99'"},
        {"searches", 0x400000u, "'search50'"},
    };
    for (const auto& [name, mantissa, expected] : rows)
    {
        state = StateBefore(mantissa);
        EXPECT_EQ(Eval(std::string("path.GetARandomSearchMark('") + name + "')"), expected) << name << mantissa;
    }
    Find("search0")->mLockCount = 1;
    state = StateBefore(0);
    EXPECT_EQ(Eval("path.GetARandomSearchMark('route')"), "'search1'") << "only free marks are drawn";
    Find("search1")->mHeld = 1;
    EXPECT_EQ(Eval("path.GetARandomSearchMark('route')"), "None");
}

TEST_F(MarkScript, RespawnMarkIsTheFirstThePlayerCannotSee)
{
    // No current camera: the first usable mark, whatever it faces.
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 0)"), "'r_seen'");

    // Seen from (-100, 0, -900) along +z: r_seen in plain view, r_walled behind the wall,
    // r_behind behind the camera.
    ViewFrom({-100, 0, -900});
    EXPECT_EQ(Eval("(mark.IsVisible('r_seen'), mark.IsVisible('r_walled'), mark.IsVisible('r_behind'))"), "(1, 0, 1)");
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 0)"), "'r_walled'");
    EXPECT_EQ(static_cast<RespawnMark*>(Find("r_walled"))->GetRemainingUses(), 0) << "its use is counted";
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 0)"), "'r_behind'");
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 0)"), "None") << "r_behind waits its delay";
    HbGameClock::Instance()->mGameTime += 3 * HbPerformanceFrequency();
    Find("r_behind")->mLockCount = 1;
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 0)"), "None") << "a locked mark is not taken";
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 1)"), "'r_walled'") << "the limit ignored";
    Find("r_behind")->mLockCount = 0;
    EXPECT_EQ(Eval("path.GetRespawnMark('respawns', 0)"), "'r_behind'");
    EXPECT_EQ(static_cast<RespawnMark*>(Find("r_behind"))->GetRemainingUses(), 0);

    TsCameraRegistry::Clear();
    EXPECT_EQ(Eval("mark.IsVisible('r_seen')"), "0") << "nothing views the level";
}
} // namespace
