// Benchmark: 2D quads through the Direct3D 9 driver's primitive entry and rotating vertex
// buffers (10,000 quads a frame, then the buffers move on as after a present), against a
// plain loop that fills the same vertices into memory; prints the time ratio per quad.
#include "benchd3d9.h"
#include "benchsupport.h"
#include "d3d9device.h"
#include "d3d9vertexbuffer.h"
#include "device.h"
#include "engine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{

constexpr int kQuads = 10000;

std::vector<Im2DVertex> MakeQuads()
{
    std::vector<Im2DVertex> quads;
    for (int i = 0; i < kQuads; ++i)
    {
        float x = float(i % 100) * 6.0f, y = float(i / 100) * 4.0f;
        uint32_t colour = 0xFF000000u | uint32_t(i) * 2654435761u;
        quads.push_back({x, y, 0.5f, 1.0f, colour, 0, 0});
        quads.push_back({x + 5, y, 0.5f, 1.0f, colour, 1, 0});
        quads.push_back({x + 5, y + 3, 0.5f, 1.0f, colour, 1, 1});
        quads.push_back({x, y + 3, 0.5f, 1.0f, colour, 0, 1});
    }
    return quads;
}

void BM_QuadsThroughDriver(benchmark::State& state)
{
    std::vector<Im2DVertex> quads = MakeQuads();
    const DeviceRecord& device = Engine::Current()->device;
    for (auto _ : state)
    {
        for (int i = 0; i < kQuads; ++i)
            device.im2DPrimitive(kIm2DTriFan, &quads[size_t(i) * 4], 4);
        D3D9VertexBuffer::Advance();
    }
    state.SetItemsProcessed(state.iterations() * kQuads);
}
BENCHMARK(BM_QuadsThroughDriver)->Name("Quads/driver")->Unit(benchmark::kMillisecond);

// The same vertices, with the same offset added, into plain memory.
void BM_QuadsIntoMemory(benchmark::State& state)
{
    std::vector<Im2DVertex> quads = MakeQuads();
    std::vector<Im2DVertex> out(quads.size());
    const float offsetX = 0, offsetY = 0;
    for (auto _ : state)
    {
        for (size_t i = 0; i < quads.size(); ++i)
        {
            out[i] = quads[i];
            out[i].x += offsetX;
            out[i].y += offsetY;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kQuads);
}
BENCHMARK(BM_QuadsIntoMemory)->Name("Quads/memory")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (BenchStartD3D9Engine("Im2DBench", "2D benchmark", 640, 480, 0))
        return 1;
    int result = BenchRunWithRatios(argc, argv, {{"2D quad: driver / plain memory", "Quads/driver", "Quads/memory"}},
                                    "10,000 quads a frame; the ratio is the CPU time per quad");
    BenchStopD3D9Engine();
    return result;
}
