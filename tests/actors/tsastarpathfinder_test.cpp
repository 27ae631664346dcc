// The navigation graph read from the writer's bytes: point queries, straight walks, the
// breadth-first portal search with its cache and path shortening, and bad graphs refused.
#include "hbchunkstream.h"
#include "hbresource.h"
#include "navgraphwriter.h"
#include "scriptworld_fixture.h"
#include "scriptworldmanager.h"
#include "skeletonwriter.h"
#include "tsastarpathfinder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace
{
struct Released
{
    void operator()(TsAStarPathfinder* p) const { p->Release(); }
};
using Graph = std::unique_ptr<TsAStarPathfinder, Released>;

int32_t LoadInto(TsAStarPathfinder* graph, const std::vector<uint8_t>& bytes)
{
    HbMChunkStream stream(new VectorStreamBuf(bytes));
    return graph->LoadFromChunks(&stream);
}

Graph LoadCells(const std::vector<NavCell>& cells)
{
    Graph graph(new TsAStarPathfinder());
    EXPECT_EQ(LoadInto(graph.get(), NavGraphWriter::Bytes(cells)), 1);
    return graph;
}

Graph Load(const std::vector<NavRect>& rects)
{
    return LoadCells(NavGraphWriter::FromRectangles(rects));
}

Vector V(float x, float z)
{
    return {x, 0.0f, z};
}

void ExpectPath(const std::vector<Vector>& path, const std::vector<Vector>& expected)
{
    ASSERT_EQ(path.size(), expected.size());
    for (size_t i = 0; i < path.size(); ++i)
    {
        EXPECT_FLOAT_EQ(path[i].x, expected[i].x) << "point " << i;
        EXPECT_FLOAT_EQ(path[i].y, expected[i].y) << "point " << i;
        EXPECT_FLOAT_EQ(path[i].z, expected[i].z) << "point " << i;
    }
}

/// Start cell 0 with two two-hop routes to the bottom cell 3: through the big cell 1 (listed
/// first) and straight down through cell 2 (the short one).
const std::vector<NavRect> kTwoRoutes = {
    {0, 0, 100, -100}, {100, 0, 1100, -1000}, {0, -100, 100, -1000}, {0, -1000, 1100, -1200}};

TEST(TsAStarPathfinder, ReadsCellsAndPortalMidpoints)
{
    std::vector<NavCell> cells = NavGraphWriter::FromRectangles({{0, 0, 100, -100}, {100, 0, 201, -100}});
    cells[0].portals[0] = {100, 0, 100, -101, 1}; // odd edge: the half of an integer difference
    Graph graph = LoadCells(cells);
    ASSERT_EQ(graph->GetCellCount(), 2);
    const TsAStarPathfinder::Cell& second = graph->GetCells()[1];
    EXPECT_FLOAT_EQ(second.x1, 201.0f);
    EXPECT_FLOAT_EQ(second.centreX, 150.5f);
    EXPECT_FLOAT_EQ(second.centreZ, -50.0f);
    ASSERT_EQ(graph->GetCells()[0].portals.size(), 1u);
    EXPECT_EQ(graph->GetCells()[0].portals[0].neighbour, 1);
    EXPECT_FLOAT_EQ(graph->GetCells()[0].portals[0].midpoint.z, -50.5f);
    EXPECT_FLOAT_EQ(graph->GetCells()[1].portals[0].midpoint.x, 100.0f);
    EXPECT_EQ(std::string(graph->GetTypeKey()), "AS");
    EXPECT_EQ(graph->IsShared(), 1);
}

TEST(TsAStarPathfinder, LocatesTheLastCellFirstAndTheNearestWithTiesToCellZero)
{
    // Cells 0 and 1 overlap on x 50..100; cell 2 lies apart.
    Graph graph = Load({{0, 0, 100, -100}, {50, 0, 150, -100}, {300, 0, 400, -100}});
    graph->SetLastCell(1);
    EXPECT_EQ(graph->LocateCell(V(75, -50)), 1) << "last cell tried first";
    EXPECT_EQ(graph->LocateCell(V(10, -50)), 0);
    EXPECT_EQ(graph->LocateCell(V(75, -50)), 0) << "cell 0 is now the last";
    EXPECT_EQ(graph->LocateCell(V(200, -50)), -1);
    EXPECT_EQ(graph->GetLastCell(), 0) << "a miss keeps the last cell";
    EXPECT_EQ(graph->LocateCell(V(400, -100)), 2) << "bounds included";

    EXPECT_EQ(graph->LocateNearestCell(V(75, -50)), 1) << "a later cell holding the point";
    EXPECT_EQ(graph->LocateNearestCell(V(225, -50)), 1) << "75 from cell 1, 75 from cell 2";
    EXPECT_EQ(graph->LocateNearestCell(V(-20, -120)), 0);
    EXPECT_FLOAT_EQ(graph->DistanceToCell(V(-20, -120), 0), 40.0f) << "Manhattan distance";

    Graph tie = Load({{0, 0, 100, -100}, {200, 0, 300, -100}});
    EXPECT_EQ(tie->LocateNearestCell(V(150, -50)), 0) << "cell 0 wins ties";
}

TEST(TsAStarPathfinder, SnapsWithinTheMaximumDistance)
{
    Graph graph = Load({{0, 0, 100, -100}, {300, 0, 400, -100}});
    Vector out = V(-1, -1);
    EXPECT_EQ(graph->SnapToGraph(&out, V(350, -50), 100.0f), 1);
    EXPECT_FLOAT_EQ(out.x, 350.0f);
    EXPECT_EQ(graph->SnapToGraph(&out, V(150, 30), 100.0f), 1) << "50 + 30 from cell 0";
    EXPECT_FLOAT_EQ(out.x, 100.0f);
    EXPECT_FLOAT_EQ(out.z, 0.0f);
    EXPECT_EQ(graph->SnapToGraph(&out, V(200, -50), 100.0f), 1) << "exactly 100 from both, cell 0 wins";
    EXPECT_FLOAT_EQ(out.x, 100.0f);
    EXPECT_EQ(graph->SnapToGraph(&out, V(200, -150), 100.0f), 0) << "150 from the nearest";
}

TEST(TsAStarPathfinder, StraightWalksFollowTheCellsTheyCross)
{
    // Two cells with a 10-unit gap between x 100 and 110, a third joined to the first below
    // it, and far away two huge cells apart by 20 units, two billion units wide.
    Graph graph = Load({{0, 0, 100, -100},
                        {110, 0, 300, -100},
                        {0, -100, 100, -300},
                        {-2000000000, 1010000, -10, 1000000},
                        {10, 1010000, 2000000000, 1000000}});
    struct Case
    {
        Vector from, to;
        int32_t walkable;
        const char* why;
    };
    const Case cases[] = {
        {V(500, -50), V(50, -50), 1, "from off the graph to on it"},
        {V(50, -50), V(500, -50), 0, "from on the graph to off it"},
        {V(10, -10), V(90, -90), 1, "same cell"},
        {V(98, -50), V(112, -50), 0, "a short step over the gap"},
        {V(94, -50), V(116, -50), 0, "a longer one"},
        {V(45, -50), V(245, -50), 0, "a long walk over the gap"},
        {V(150, -50), V(290, -90), 1, "a long walk in one cell"},
        {V(50, -50), V(50, -250), 1, "into the joined cell"},
        {V(10, -10), V(90, -290), 1, "diagonally across the shared edge"},
        {V(90, -90), V(150, -200), 0, "out of the corner into nothing"},
        {V(100, 0), V(100, -300), 1, "along the shared edges' end"},
        {V(-1e9f, 1005000), V(1e9f, 1005000), 0, "two billion units over the 20-unit gap"},
        {V(-1e9f, 1005000), V(-20, 1002000), 1, "a billion units in one huge cell"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(graph->IsStraightWalkable(c.from, c.to), c.walkable) << c.why;
}

TEST(TsAStarPathfinder, SearchesBreadthFirstThroughPortalMidpoints)
{
    Graph graph = Load(kTwoRoutes);
    const Vector start = V(50, -50);
    ASSERT_EQ(graph->FindPath(start, V(50, -1150)), 1);
    // The straight line down is walkable: one shortcut leaves the start and the goal.
    ExpectPath(graph->GetPath(), {start, V(50, -1150)});
    EXPECT_FLOAT_EQ(graph->GetLookDirection().x, TsAStarPathfinder::kNoDirection);
    // The search itself went through the big cell, listed first, not the short way down.
    const std::vector<Vector>* cached = graph->FindCachedPath(0, 3);
    ASSERT_NE(cached, nullptr);
    ExpectPath(*cached, {V(100, -50), V(600, -1000)});

    // The same cells again, served from the cache: the goal off the graph is appended as given,
    // then one shortcut and two refining passes (the second pass's second cut would leave it).
    ASSERT_EQ(graph->FindPath(start, V(50, -1300)), 1);
    ExpectPath(graph->GetPath(), {start, V(187.5f, -287.5f), V(325, -837.5f), V(325, -1150), V(50, -1300)});
}

TEST(TsAStarPathfinder, SameCellGivesStartAndClampedGoalAndCachesAnEmptyList)
{
    Graph graph = Load(kTwoRoutes);
    ASSERT_EQ(graph->FindPath(V(10, -10), V(90, 20)), 1);
    ExpectPath(graph->GetPath(), {V(10, -10), V(90, 0)});
    const std::vector<Vector>* cached = graph->FindCachedPath(0, 0);
    ASSERT_NE(cached, nullptr);
    EXPECT_TRUE(cached->empty());
}

TEST(TsAStarPathfinder, TheThirtyThirdPairReplacesTheFirst)
{
    Graph graph = Load(NavGraphWriter::Grid(40, 1, 10));
    for (int i = 0; i < 33; ++i)
        ASSERT_EQ(graph->FindPath(V(i * 10 + 5, -5), V(i * 10 + 5, -5)), 1);
    EXPECT_EQ(graph->FindCachedPath(0, 0), nullptr);
    EXPECT_NE(graph->FindCachedPath(1, 1), nullptr);
    EXPECT_NE(graph->FindCachedPath(32, 32), nullptr);
    graph->ResetCache();
    EXPECT_EQ(graph->FindCachedPath(32, 32), nullptr);
}

TEST(TsAStarPathfinder, SmoothingTakesOneShortcutFromTheStart)
{
    // An L: the corner square x 0..100, z -100..-200 is missing.
    Graph graph = Load({{0, 0, 100, -100}, {100, 0, 200, -100}, {100, -100, 200, -200}});
    std::vector<Vector> path = {V(10, -90), V(100, -50), V(150, -100), V(190, -190)};
    graph->SmoothPath(path);
    ExpectPath(path, {V(10, -90), V(150, -100), V(190, -190)});
    // Nothing walkable from the start but its neighbour: unchanged.
    path = {V(10, -90), V(100, -50), V(190, -190)};
    graph->SmoothPath(path);
    EXPECT_EQ(path.size(), 3u);
}

TEST(TsAStarPathfinder, RefiningCutsCornersInTwoPasses)
{
    Graph open = Load({{-1000, 1000, 1000, -1000}});
    std::vector<Vector> path = {V(0, 0), V(100, 0), V(100, 100)};
    open->RefinePath(path);
    ExpectPath(path, {V(0, 0), V(25, 0), V(75, 25), V(87.5f, 37.5f), V(100, 75), V(100, 100)});

    // Around the L's missing corner no cut is walkable.
    Graph corner = Load({{0, 0, 100, -100}, {100, 0, 200, -100}, {100, -100, 200, -200}});
    path = {V(50, -90), V(110, -90), V(110, -150)};
    corner->RefinePath(path);
    ExpectPath(path, {V(50, -90), V(110, -90), V(110, -150)});
}

TEST(TsAStarPathfinder, UnreachableGoalFailsAndKeepsTheLastPath)
{
    Graph graph = Load({{0, 0, 100, -100}, {300, 0, 400, -100}});
    ASSERT_EQ(graph->FindPath(V(10, -10), V(90, -90)), 1);
    const std::vector<Vector> before = graph->GetPath();
    EXPECT_EQ(graph->SearchStep(V(10, -10), V(350, -50)), 1) << "started";
    EXPECT_EQ(graph->SearchStep(V(10, -10), V(350, -50)), 1) << "expanded the start; nothing left";
    EXPECT_EQ(graph->SearchStep(V(10, -10), V(350, -50)), 3);
    EXPECT_EQ(graph->GetSearchState(), 0);
    EXPECT_EQ(graph->FindPath(V(10, -10), V(350, -50)), 0);
    ExpectPath(graph->GetPath(), before);
}

TEST(TsAStarPathfinder, EmptyGraphsAnswerNoCellNoSnapNoPath)
{
    Graph empty = LoadCells({});
    Graph missing(new TsAStarPathfinder());
    {
        auto* buffer = new VectorStreamBuf();
        HbMChunkStream writer(buffer);
        writer.BeginChunk(5440, 0, 0, 1);
        writer.WriteInt32(7);
        writer.EndChunk();
        EXPECT_EQ(LoadInto(missing.get(), buffer->Bytes()), 1) << "no chunk 261: an empty graph";
    }
    for (TsAStarPathfinder* graph : {empty.get(), missing.get()})
    {
        Vector out = V(1, 1);
        EXPECT_EQ(graph->GetCellCount(), 0);
        EXPECT_EQ(graph->LocateCell(V(0, 0)), -1);
        EXPECT_EQ(graph->LocateNearestCell(V(0, 0)), -1);
        EXPECT_EQ(graph->SnapToGraph(&out, V(0, 0), 100.0f), 0);
        EXPECT_EQ(graph->IsStraightWalkable(V(0, 0), V(10, 0)), 0);
        EXPECT_EQ(graph->FindPath(V(0, 0), V(10, 0)), 0);
        EXPECT_TRUE(graph->GetPath().empty());
    }
}

TEST(TsAStarPathfinder, RefusesBadGraphs)
{
    const std::vector<NavCell> good = NavGraphWriter::FromRectangles({{0, 0, 100, -100}, {100, 0, 200, -100}});
    struct Case
    {
        const char* why;
        std::vector<NavCell> cells;
        int64_t cellCount;
    };
    std::vector<Case> cases;
    auto with = [&](const char* why, auto mutate, int64_t count = kNavCountAuto) {
        std::vector<NavCell> cells = good;
        mutate(cells);
        cases.push_back({why, cells, count});
    };
    with("neighbour N", [](std::vector<NavCell>& c) { c[0].portals[0].neighbour = 2; });
    with("neighbour -1", [](std::vector<NavCell>& c) { c[1].portals[0].neighbour = -1; });
    with("negative portal count", [](std::vector<NavCell>& c) { c[1].portalCount = -1; });
    with("portal count past the chunk", [](std::vector<NavCell>& c) { c[1].portalCount = 2; });
    with("huge portal count", [](std::vector<NavCell>& c) { c[0].portalCount = 0x7FFFFFFF; });
    with("negative cell count", [](std::vector<NavCell>&) {}, -2);
    with("cell count past the chunk", [](std::vector<NavCell>&) {}, 3);
    with("huge cell count", [](std::vector<NavCell>&) {}, 0x40000000);
    for (const Case& c : cases)
    {
        Graph graph(new TsAStarPathfinder());
        EXPECT_EQ(LoadInto(graph.get(), NavGraphWriter::Bytes(c.cells, c.cellCount)), 0) << c.why;
        EXPECT_EQ(graph->GetCellCount(), 0) << c.why;
        EXPECT_EQ(graph->FindPath(V(50, -50), V(150, -50)), 0) << c.why;
    }
}

class PathfinderLoad : public scriptworldtest::ScriptWorldTest
{
};

TEST_F(PathfinderLoad, TheScriptWorldLoadsAGraphAndGoesOnWithoutABadOne)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    const std::string path = (std::filesystem::temp_directory_path() / "tsastar_test_nav.as").string();
    auto write = [&](const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    std::vector<NavCell> cells = NavGraphWriter::FromRectangles(kTwoRoutes);
    write(NavGraphWriter::Bytes(cells));
    resources->AddPath("LEVEL_NAV_AS", path.c_str());
    ASSERT_EQ(mWorld->LoadAStar("LEVEL_NAV_AS"), 1);
    auto* graph = HbCastTo<TsAStarPathfinder>(mWorld->GetAStar());
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->GetCellCount(), 4);

    cells[2].portals[0].neighbour = 4;
    write(NavGraphWriter::Bytes(cells));
    resources->AddPath("BAD_NAV_AS", path.c_str());
    EXPECT_EQ(mWorld->LoadAStar("BAD_NAV_AS"), 0);
    EXPECT_EQ(mWorld->GetAStar(), nullptr);
    mWorld->SetScene(nullptr);
    resources->RemovePath("LEVEL_NAV_AS");
    resources->RemovePath("BAD_NAV_AS");
    std::filesystem::remove(path);
}

TEST(TsAStarPathfinder, MutatedGraphsNeverCorruptMemory)
{
    const std::vector<uint8_t> good = NavGraphWriter::Bytes(NavGraphWriter::FromRectangles(kTwoRoutes));
    ASSERT_FALSE(good.empty());
    std::mt19937 random(261);
    for (int round = 0; round < 400; ++round)
    {
        std::vector<uint8_t> bytes = good;
        if (round % 3 == 0)
            bytes.resize(random() % bytes.size());
        else
            for (int flips = 1 + int(random() % 4); flips > 0; --flips)
                bytes[random() % bytes.size()] = uint8_t(random());
        Graph graph(new TsAStarPathfinder());
        if (LoadInto(graph.get(), bytes))
            for (int i = 0; i < 4; ++i)
            {
                const Vector a = V(float(int(random() % 1400) - 200), float(-int(random() % 1400)));
                const Vector b = V(float(int(random() % 1400) - 200), float(-int(random() % 1400)));
                graph->FindPath(a, b);
                graph->IsStraightWalkable(a, b);
            }
    }
}
} // namespace
