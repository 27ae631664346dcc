// Benchmark: mesh building. Strips a 60,000-triangle grid (one material, so one run) and
// lists the same grid with the reorder passes, against copying the triangles' indices
// into an index list, which is the least any mesh building must do.
#include "benchsupport.h"
#include "geometry.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace
{

constexpr int kGridWidth = 200;
constexpr int kGridHeight = 150; // 2 x 200 x 150 = 60,000 triangles

Geometry* MakeGrid(uint32_t format, Material* material)
{
    int32_t numTriangles = 2 * kGridWidth * kGridHeight;
    Geometry* g = Geometry::Create((kGridWidth + 1) * (kGridHeight + 1), numTriangles, format);
    Triangle* t = g->triangles;
    for (int y = 0; y < kGridHeight; ++y)
        for (int x = 0; x < kGridWidth; ++x)
        {
            auto a = uint16_t(y * (kGridWidth + 1) + x), b = uint16_t(a + 1), c = uint16_t(a + kGridWidth + 1),
                 d = uint16_t(c + 1);
            Geometry::SetTriangleVertices(g, t, a, b, c);
            Geometry::SetTriangleMaterial(g, t++, material);
            Geometry::SetTriangleVertices(g, t, b, d, c);
            Geometry::SetTriangleMaterial(g, t++, material);
        }
    return g;
}

void Build(benchmark::State& state, uint32_t format)
{
    Material* material = Material::Create();
    Geometry* g = MakeGrid(kGeometryPositions | format, material);
    for (auto _ : state)
    {
        Geometry::Lock(g, kGeometryLockTriangles);
        benchmark::DoNotOptimize(Geometry::Unlock(g));
    }
    Geometry::Destroy(g);
    Material::Destroy(material);
}

void BM_Strips(benchmark::State& state)
{
    Build(state, kGeometryTriStrip);
}
BENCHMARK(BM_Strips)->Name("MeshBuild60k/strips")->Unit(benchmark::kMillisecond);

void BM_Lists(benchmark::State& state)
{
    Build(state, 0);
}
BENCHMARK(BM_Lists)->Name("MeshBuild60k/lists")->Unit(benchmark::kMillisecond);

void BM_Copy(benchmark::State& state)
{
    Material* material = Material::Create();
    Geometry* g = MakeGrid(kGeometryPositions, material);
    std::vector<uint16_t> indices;
    for (auto _ : state)
    {
        indices.clear();
        for (int32_t i = 0; i < g->numTriangles; ++i)
            indices.insert(indices.end(), g->triangles[i].vertex, g->triangles[i].vertex + 3);
        benchmark::DoNotOptimize(indices.data());
    }
    Geometry::Destroy(g);
    Material::Destroy(material);
}
BENCHMARK(BM_Copy)->Name("MeshBuild60k/plain copy")->Unit(benchmark::kMillisecond);

bool Attach()
{
    return World::Attach() == 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(Attach))
    {
        std::fprintf(stderr, "engine start failed\n");
        return 1;
    }
    int result = BenchRunWithRatios(argc, argv,
                                    {{"strips / plain copy", "MeshBuild60k/strips", "MeshBuild60k/plain copy"},
                                     {"lists / plain copy", "MeshBuild60k/lists", "MeshBuild60k/plain copy"}},
                                    "a linear search of the edges seen would make the strips ratio grow with the "
                                    "grid; the edge hash keeps it a constant factor");
    BenchStopEngine();
    return result;
}
