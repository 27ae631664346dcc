// Benchmark: what the pipelines add to immediate-mode drawing. A frame of 1000 small
// batches (transform, one indexed render, end) through the default pipelines, against
// calling the same node bodies directly; prints the time ratio at the end.
#include "benchsupport.h"
#include "im3d.h"
#include "pipeline.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace
{

constexpr int kBatches = 1000;

const Im3dBatch* sBatch = nullptr;
uint64_t sDrawnIndices = 0;

int32_t InstanceBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    sBatch = static_cast<const Im3dBatch*>(parameters->data);
    return 1;
}

// Stands for the device's submit node: only what every draw does with the request.
int32_t RenderBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    const auto* request = static_cast<const Im3dRenderRequest*>(parameters->data);
    sDrawnIndices += uint64_t(request->numIndices) + sBatch->numVertices;
    return 1;
}

/// A definition with only a name and a body.
NodeDefinition BodyOnly(const char* name, NodeBody body)
{
    NodeDefinition definition = {};
    definition.name = name;
    definition.body = body;
    return definition;
}

NodeDefinition sInstance = BodyOnly("Im3DInstance.node", InstanceBody);
NodeDefinition sRender = BodyOnly("Bench.node", RenderBody);
NodeDefinition* Instance()
{
    return &sInstance;
}
NodeDefinition* Render()
{
    return &sRender;
}
const Im3dDeviceNodes kNodes = {Instance, Render, nullptr, nullptr};

bool InstallNodes()
{
    Im3d::SetDeviceNodes(&kNodes);
    return true;
}

struct Frame
{
    std::vector<Im3dVertex> vertices = std::vector<Im3dVertex>(4);
    uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
};

void BM_ThroughPipelines(benchmark::State& state)
{
    Frame frame;
    for (auto _ : state)
        for (int i = 0; i < kBatches; ++i)
        {
            Im3d::Transform(frame.vertices.data(), 4, nullptr, 0);
            Im3d::RenderIndexedPrimitive(kIm3dTriList, frame.indices, 6);
            Im3d::End();
        }
    benchmark::DoNotOptimize(sDrawnIndices);
    state.SetItemsProcessed(state.iterations() * kBatches);
}
BENCHMARK(BM_ThroughPipelines)->Name("Im3dFrame/pipelines");

void BM_BodiesDirectly(benchmark::State& state)
{
    Frame frame;
    Im3dBatch batch = {};
    for (auto _ : state)
        for (int i = 0; i < kBatches; ++i)
        {
            batch = {4, frame.vertices.data(), int32_t(sizeof(Im3dVertex)), 0x18, nullptr, {}};
            NodeExecutionParameters transform = {&batch, nullptr};
            InstanceBody(nullptr, &transform);
            batch.render = {nullptr, kIm3dTriList, frame.indices, 6};
            NodeExecutionParameters render = {&batch.render, nullptr};
            RenderBody(nullptr, &render);
            batch = {};
            benchmark::ClobberMemory();
        }
    benchmark::DoNotOptimize(sDrawnIndices);
    state.SetItemsProcessed(state.iterations() * kBatches);
}
BENCHMARK(BM_BodiesDirectly)->Name("Im3dFrame/direct");

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(InstallNodes))
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv, {{"1000 batches: pipelines / direct bodies", "Im3dFrame/pipelines", "Im3dFrame/direct"}},
        "the ratio is the pipelines' overhead on top of the node bodies");
    BenchStopEngine();
    Im3d::SetDeviceNodes(nullptr);
    return result;
}
