// Benchmark: FindPath across grids of 1,000 and 5,000 square cells, corner to corner, with the
// path cache emptied before every search (cold) and with the pair cached (warm: the cached
// portals are shortened and cut again), against a plain breadth-first search over an adjacency
// array of the same graph (cells and parents only, no points).
#include "benchsupport.h"
#include "hbchunkstream.h"
#include "navgraphwriter.h"
#include "skeletonwriter.h"
#include "tsastarpathfinder.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
struct Grid
{
    TsAStarPathfinder* graph = nullptr;
    // Adjacency array: the neighbours of cell i are next[first[i]..first[i + 1]).
    std::vector<int32_t> first;
    std::vector<int32_t> next;
    Vector start, goal;
};

Grid Make(int32_t w, int32_t h)
{
    Grid grid;
    const std::vector<NavCell> cells = NavGraphWriter::FromRectangles(NavGraphWriter::Grid(w, h, 100));
    grid.graph = new TsAStarPathfinder();
    HbMChunkStream stream(new VectorStreamBuf(NavGraphWriter::Bytes(cells)));
    grid.graph->LoadFromChunks(&stream);
    for (const NavCell& cell : cells)
    {
        grid.first.push_back(int32_t(grid.next.size()));
        for (const NavPortal& portal : cell.portals)
            grid.next.push_back(portal.neighbour);
    }
    grid.first.push_back(int32_t(grid.next.size()));
    grid.start = {50.0f, 0.0f, -50.0f};
    grid.goal = {float(w) * 100.0f - 50.0f, 0.0f, -float(h) * 100.0f + 50.0f};
    return grid;
}

Grid& Small()
{
    static Grid grid = Make(40, 25);
    return grid;
}

Grid& Large()
{
    static Grid grid = Make(100, 50);
    return grid;
}

Grid& Pick(int64_t cells)
{
    return cells == 1000 ? Small() : Large();
}

void BM_FindPathCold(benchmark::State& state)
{
    Grid& grid = Pick(state.range(0));
    for (auto _ : state)
    {
        grid.graph->ResetCache();
        benchmark::DoNotOptimize(grid.graph->FindPath(grid.start, grid.goal));
    }
}
BENCHMARK(BM_FindPathCold)->Name("Path/FindPath cold")->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_FindPathWarm(benchmark::State& state)
{
    Grid& grid = Pick(state.range(0));
    grid.graph->FindPath(grid.start, grid.goal);
    for (auto _ : state)
        benchmark::DoNotOptimize(grid.graph->FindPath(grid.start, grid.goal));
}
BENCHMARK(BM_FindPathWarm)->Name("Path/FindPath warm")->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_PlainSearch(benchmark::State& state)
{
    Grid& grid = Pick(state.range(0));
    const int32_t cells = int32_t(grid.first.size()) - 1;
    const int32_t start = 0, goal = cells - 1;
    std::vector<int32_t> parent(static_cast<size_t>(cells));
    std::vector<int32_t> queue(static_cast<size_t>(cells));
    for (auto _ : state)
    {
        std::fill(parent.begin(), parent.end(), -2);
        size_t head = 0, tail = 0;
        queue[tail++] = start;
        parent[size_t(start)] = -1;
        while (head < tail)
        {
            const int32_t cell = queue[head++];
            if (cell == goal)
                break;
            for (int32_t i = grid.first[size_t(cell)]; i < grid.first[size_t(cell) + 1]; ++i)
            {
                const int32_t n = grid.next[size_t(i)];
                if (parent[size_t(n)] == -2)
                    parent[size_t(n)] = cell, queue[tail++] = n;
            }
        }
        benchmark::DoNotOptimize(parent[size_t(goal)]);
    }
}
BENCHMARK(BM_PlainSearch)->Name("Path/plain breadth-first")->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    const int result = BenchRunWithRatios(
        argc, argv,
        {{"cold / plain, 1,000 cells", "Path/FindPath cold/1000", "Path/plain breadth-first/1000"},
         {"cold / plain, 5,000 cells", "Path/FindPath cold/5000", "Path/plain breadth-first/5000"},
         {"warm / plain, 1,000 cells", "Path/FindPath warm/1000", "Path/plain breadth-first/1000"},
         {"warm / plain, 5,000 cells", "Path/FindPath warm/5000", "Path/plain breadth-first/5000"}},
        "grids of 40 x 25 and 100 x 50 cells of 100 units, corner to corner; FindPath also builds the "
        "path through portal midpoints, shortens it and cuts its corners, sampling the graph every 15 units");
    Small().graph->Release();
    Large().graph->Release();
    return result;
}
