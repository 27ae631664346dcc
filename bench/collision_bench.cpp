// Benchmark: line queries against the world's triangles. A rolling height field split into
// leaf sectors, each with a collision tree from the tree writer, is probed with short lines
// (the length of a step or a shot's segment) through World::ForAllTriangleIntersections,
// against a loop that tests every triangle. The same query runs on fields of 10k, 50k and
// 200k triangles at the same density: the tree's cost should grow as log n.
#include "benchsupport.h"
#include "collision.h"
#include "collisiontreewriter.h"
#include "geometry.h"
#include "stream.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace
{

constexpr int32_t kLeafCells = 32; // 2 x 32 x 32 = 2,048 triangles per leaf
constexpr int32_t kQueries = 100000;

float Height(int32_t x, int32_t z)
{
    return 3.0f * std::sin(0.11f * float(x)) * std::cos(0.07f * float(z));
}

CollisionTree* ReadTree(const CollisionTreeDescription& description)
{
    std::vector<uint8_t> bytes = CollisionTreeWriter::WriteChunk(description);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    CollisionTree* tree = nullptr;
    if (Stream::FindChunk(in, kChunkCollisionTree, nullptr, nullptr))
        tree = CollisionTree::StreamRead(in);
    Stream::Close(in, nullptr);
    return tree;
}

/// A height field of side x side cells, two triangles each, in leaves of kLeafCells cells.
class Field
{
public:
    explicit Field(int32_t side) : mSide(side)
    {
        World::InitRecord(&mWorld);
        MaterialList::Init(&mWorld.materials);
        mWorld.rootSector = Build(0, 0, side, side, 0);
        std::mt19937 rng(static_cast<uint32_t>(side));
        std::uniform_real_distribution<float> at(0.0f, float(side)), step(-3.0f, 3.0f);
        for (int32_t i = 0; i < kQueries; ++i)
        {
            float x = at(rng), z = at(rng);
            Vector start = {x, 6.0f, z};
            mLines.push_back({start, {x + step(rng), -6.0f, z + step(rng)}});
        }
    }
    ~Field()
    {
        for (WorldSector* leaf : mLeaves)
        {
            PluginRegistry::DeinitObject(WorldSector::Registry(), leaf);
            std::free(leaf);
        }
        MaterialList::Deinit(&mWorld.materials);
    }
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    World* Get() { return &mWorld; }
    const std::vector<WorldSector*>& Leaves() const { return mLeaves; }
    const Line& LineAt(int64_t i) const { return mLines[size_t(i % kQueries)]; }
    int32_t Triangles() const { return 2 * mSide * mSide; }

private:
    SectorNode* Build(int32_t x0, int32_t z0, int32_t x1, int32_t z1, int32_t depth)
    {
        if (x1 - x0 <= kLeafCells && z1 - z0 <= kLeafCells)
            return Leaf(x0, z0, x1, z1);
        bool alongX = x1 - x0 >= z1 - z0;
        int32_t mid = alongX ? (x0 + x1) / 2 : (z0 + z1) / 2;
        auto plane = std::make_unique<PlaneSector>();
        plane->type = alongX ? 0 : 8;
        plane->value = float(mid);
        // Cells meet at the split: each side's triangles end exactly on it.
        plane->leftExtent = float(mid);
        plane->rightExtent = float(mid);
        PlaneSector* raw = plane.get();
        mPlanes.push_back(std::move(plane));
        raw->left = alongX ? Build(x0, z0, mid, z1, depth + 1) : Build(x0, z0, x1, mid, depth + 1);
        raw->right = alongX ? Build(mid, z0, x1, z1, depth + 1) : Build(x0, mid, x1, z1, depth + 1);
        return reinterpret_cast<SectorNode*>(raw);
    }

    SectorNode* Leaf(int32_t x0, int32_t z0, int32_t x1, int32_t z1)
    {
        int32_t w = x1 - x0 + 1;
        std::vector<Vector>& positions = mPositions.emplace_back();
        std::vector<Triangle>& triangles = mTriangles.emplace_back();
        std::vector<float> flat;
        std::vector<std::array<uint16_t, 3>> list;
        for (int32_t z = z0; z <= z1; ++z)
            for (int32_t x = x0; x <= x1; ++x)
            {
                positions.push_back({float(x), Height(x, z), float(z)});
                flat.insert(flat.end(), {positions.back().x, positions.back().y, positions.back().z});
            }
        for (int32_t z = 0; z < z1 - z0; ++z)
            for (int32_t x = 0; x < x1 - x0; ++x)
            {
                auto a = uint16_t(z * w + x), b = uint16_t(a + 1), c = uint16_t(a + w), d = uint16_t(c + 1);
                // Faces up (+y): lines from above hit them.
                triangles.push_back({{a, c, b}, 0});
                triangles.push_back({{b, c, d}, 0});
                list.push_back({a, c, b});
                list.push_back({b, c, d});
            }
        auto* sector = static_cast<WorldSector*>(std::calloc(1, size_t(WorldSector::Registry()->size)));
        WorldSector::InitLeaf(sector);
        PluginRegistry::InitObject(WorldSector::Registry(), sector);
        sector->positions = positions.data();
        sector->triangles = triangles.data();
        sector->numTriangles = uint16_t(triangles.size());
        sector->numVertices = uint16_t(positions.size());
        Collision::SetSectorTree(sector, ReadTree(CollisionTreeWriter::Build(flat, list, 4)));
        mLeaves.push_back(sector);
        return reinterpret_cast<SectorNode*>(sector);
    }

    int32_t mSide;
    World mWorld{};
    std::vector<std::unique_ptr<PlaneSector>> mPlanes;
    std::vector<WorldSector*> mLeaves;
    std::vector<std::vector<Vector>> mPositions;
    std::vector<std::vector<Triangle>> mTriangles;
    std::vector<Line> mLines;
};

CollisionTriangle* CountHit(IntersectionPrimitive*, WorldSector*, CollisionTriangle* triangle, float, void* data)
{
    ++*static_cast<int64_t*>(data);
    return triangle;
}

/// Fields are built once and kept for every benchmark; released before the engine stops,
/// while the sector registry can still free their trees.
std::vector<std::unique_ptr<Field>> sFields;

Field& FieldOfSide(int32_t side)
{
    for (auto& f : sFields)
        if (f->Triangles() == 2 * side * side)
            return *f;
    sFields.push_back(std::make_unique<Field>(side));
    return *sFields.back();
}

/// Sides giving about 10k, 50k and 200k triangles.
constexpr int32_t kSide10k = 71, kSide50k = 158, kSide200k = 316;

void Tree(benchmark::State& state, int32_t side)
{
    Field& field = FieldOfSide(side);
    int64_t hits = 0, i = 0;
    IntersectionPrimitive p = {};
    p.type = kIntersectLine;
    for (auto _ : state)
    {
        p.data.line = field.LineAt(i++);
        World::ForAllTriangleIntersections(field.Get(), &p, CountHit, &hits);
    }
    benchmark::DoNotOptimize(hits);
    state.counters["hits/query"] = double(hits) / double(i);
    state.counters["triangles"] = field.Triangles();
}

void BM_Tree10k(benchmark::State& state)
{
    Tree(state, kSide10k);
}
BENCHMARK(BM_Tree10k)->Name("LineQuery/tree 10k");

void BM_Tree50k(benchmark::State& state)
{
    Tree(state, kSide50k);
}
BENCHMARK(BM_Tree50k)->Name("LineQuery/tree 50k");

void BM_Tree200k(benchmark::State& state)
{
    Tree(state, kSide200k);
}
BENCHMARK(BM_Tree200k)->Name("LineQuery/tree 200k");

/// Every triangle of every leaf through the same line test: the query without trees.
void BM_BruteForce50k(benchmark::State& state)
{
    Field& field = FieldOfSide(kSide50k);
    int64_t hits = 0, i = 0;
    for (auto _ : state)
    {
        const Line& line = field.LineAt(i++);
        Vector d = {line.end.x - line.start.x, line.end.y - line.start.y, line.end.z - line.start.z};
        for (WorldSector* leaf : field.Leaves())
        {
            const auto* triangles = static_cast<const Triangle*>(leaf->triangles);
            for (int32_t t = 0; t < leaf->numTriangles; ++t)
            {
                float along;
                hits += Intersection::LineTriangle(&line.start, &d, &leaf->positions[triangles[t].vertex[0]],
                                                   &leaf->positions[triangles[t].vertex[1]],
                                                   &leaf->positions[triangles[t].vertex[2]], &along);
            }
        }
    }
    benchmark::DoNotOptimize(hits);
    state.counters["hits/query"] = double(hits) / double(i);
}
BENCHMARK(BM_BruteForce50k)->Name("LineQuery/brute force 50k");

bool Attach()
{
    return World::Attach() == 1 && Collision::Attach() == 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(Attach))
    {
        std::fprintf(stderr, "engine start failed\n");
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"brute force / tree, 50k triangles", "LineQuery/brute force 50k", "LineQuery/tree 50k"},
         {"tree 50k / tree 10k", "LineQuery/tree 50k", "LineQuery/tree 10k"},
         {"tree 200k / tree 50k", "LineQuery/tree 200k", "LineQuery/tree 50k"}},
        "each iteration is one query from a list of 100,000; a tree's cost growing as log n gives ratios near "
        "log(50k)/log(10k) = 1.17 and log(200k)/log(50k) = 1.13, where a linear cost would give 5 and 4");
    sFields.clear();
    BenchStopEngine();
    return result;
}
