// Benchmark: processor skinning. Each blend routine (one matrix, one, two and four weights)
// in both palette layouts over 4096 vertices with normals, against a plain loop that
// transforms the same points and normals by one matrix; and the palette build for 64 bones
// in each layout. Prints vertices per millisecond through the items counter and the ratios.
#include "animation.h"
#include "benchsupport.h"
#include "engine.h"
#include "hierarchy.h"
#include "matrix.h"
#include "skin.h"
#include "skinpipeline.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{

constexpr int32_t kVertices = 4096;
constexpr int32_t kBones = 64;

struct Scene
{
    Hierarchy* hierarchy = nullptr;
    Skin* skin = nullptr;
    std::vector<Vector> positions, normals;
    std::vector<float> out;

    Scene()
    {
        hierarchy = Hierarchy::Create(kBones, nullptr, nullptr, 0, 36);
        skin = Skin::Create();
        if (!hierarchy || !skin || !Skin::AllocateData(skin, kBones, kBones, kVertices, nullptr, nullptr, nullptr, nullptr))
            return;
        for (int32_t b = 0; b < kBones; ++b)
        {
            Matrix& m = hierarchy->matrices[b];
            const float a = 0.05f * float(b);
            m = {};
            m.right = {std::cos(a), std::sin(a), 0};
            m.up = {-std::sin(a), std::cos(a), 0};
            m.at = {0, 0, 1};
            m.pos = {float(b), 0.5f, -1.0f};
            skin->inverseMatrices[b] = m;
            skin->inverseMatrices[b].pos = {-float(b), 0, 0};
            skin->usedBones[b] = uint8_t(b);
        }
        positions.resize(kVertices);
        normals.resize(kVertices);
        out.resize(size_t(kVertices) * 6);
        for (int32_t v = 0; v < kVertices; ++v)
        {
            positions[size_t(v)] = {float(v % 64), float(v / 64), 0.5f};
            normals[size_t(v)] = {0, 0.6f, 0.8f};
            const uint32_t b = uint32_t(v) % kBones;
            skin->vertexBoneIndices[v] = b | ((b + 1) % kBones) << 8 | ((b + 2) % kBones) << 16 | ((b + 3) % kBones) << 24;
            float* w = skin->vertexWeights + 4 * v;
            w[0] = 0.4f;
            w[1] = 0.3f;
            w[2] = 0.2f;
            w[3] = 0.1f;
        }
    }
};

Scene& GetScene()
{
    static Scene scene;
    return scene;
}

void BM_Blend(benchmark::State& state, SkinBlendCase blendCase, int32_t sse)
{
    Scene& s = GetScene();
    SkinPipeline::ResetPaletteKey();
    const Matrix* palette = sse ? SkinPipeline::BuildPaletteSSE(nullptr, s.skin, s.hierarchy)
                                : SkinPipeline::BuildPaletteX87(nullptr, s.skin, s.hierarchy);
    const SkinBlendStreams streams = {s.positions.data(), s.normals.data(), s.skin->vertexBoneIndices,
                                      s.skin->vertexWeights, kVertices, s.out.data(), 24};
    const SkinBlendRoutine routine = SkinBlend::Get(blendCase, sse);
    for (auto _ : state)
    {
        routine(streams, palette, 5);
        benchmark::DoNotOptimize(s.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kVertices);
}

void BM_Plain(benchmark::State& state)
{
    Scene& s = GetScene();
    const Matrix& m = s.hierarchy->matrices[5];
    for (auto _ : state)
    {
        float* out = s.out.data();
        for (int32_t v = 0; v < kVertices; ++v, out += 6)
        {
            const Vector& p = s.positions[size_t(v)];
            const Vector& n = s.normals[size_t(v)];
            out[0] = p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x;
            out[1] = p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y;
            out[2] = p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z;
            out[3] = n.x * m.right.x + n.y * m.up.x + n.z * m.at.x;
            out[4] = n.x * m.right.y + n.y * m.up.y + n.z * m.at.y;
            out[5] = n.x * m.right.z + n.y * m.up.z + n.z * m.at.z;
        }
        benchmark::DoNotOptimize(s.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kVertices);
}

void BM_Palette(benchmark::State& state, int32_t sse)
{
    Scene& s = GetScene();
    for (auto _ : state)
    {
        SkinPipeline::ResetPaletteKey();
        benchmark::DoNotOptimize(sse ? SkinPipeline::BuildPaletteSSE(nullptr, s.skin, s.hierarchy)
                                     : SkinPipeline::BuildPaletteX87(nullptr, s.skin, s.hierarchy));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBones);
}

BENCHMARK(BM_Plain)->Name("Blend/plain");
BENCHMARK_CAPTURE(BM_Blend, x87_one_matrix, kSkinBlendOneMatrix, 0)->Name("Blend/x87/one_matrix");
BENCHMARK_CAPTURE(BM_Blend, x87_one_weight, kSkinBlendOneWeight, 0)->Name("Blend/x87/one_weight");
BENCHMARK_CAPTURE(BM_Blend, x87_two_weights, kSkinBlendTwoWeights, 0)->Name("Blend/x87/two_weights");
BENCHMARK_CAPTURE(BM_Blend, x87_four_weights, kSkinBlendFourWeights, 0)->Name("Blend/x87/four_weights");
BENCHMARK_CAPTURE(BM_Blend, sse_one_matrix, kSkinBlendOneMatrix, 1)->Name("Blend/sse/one_matrix");
BENCHMARK_CAPTURE(BM_Blend, sse_one_weight, kSkinBlendOneWeight, 1)->Name("Blend/sse/one_weight");
BENCHMARK_CAPTURE(BM_Blend, sse_two_weights, kSkinBlendTwoWeights, 1)->Name("Blend/sse/two_weights");
BENCHMARK_CAPTURE(BM_Blend, sse_four_weights, kSkinBlendFourWeights, 1)->Name("Blend/sse/four_weights");
BENCHMARK_CAPTURE(BM_Palette, x87, 0)->Name("Palette64/x87");
BENCHMARK_CAPTURE(BM_Palette, sse, 1)->Name("Palette64/sse");

bool AttachSkin()
{
    return World::Attach() && Animation::Attach() && Hierarchy::Attach() && Skin::Attach();
}

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(AttachSkin))
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(argc, argv,
                                    {{"x87 one matrix / plain", "Blend/x87/one_matrix", "Blend/plain"},
                                     {"x87 one weight / plain", "Blend/x87/one_weight", "Blend/plain"},
                                     {"x87 two weights / plain", "Blend/x87/two_weights", "Blend/plain"},
                                     {"x87 four weights / plain", "Blend/x87/four_weights", "Blend/plain"},
                                     {"sse one matrix / plain", "Blend/sse/one_matrix", "Blend/plain"},
                                     {"sse one weight / plain", "Blend/sse/one_weight", "Blend/plain"},
                                     {"sse two weights / plain", "Blend/sse/two_weights", "Blend/plain"},
                                     {"sse four weights / plain", "Blend/sse/four_weights", "Blend/plain"},
                                     {"palette of 64 bones: sse / x87", "Palette64/sse", "Palette64/x87"}},
                                    "4096 vertices with normals per run; items/s are vertices (bones for the palette)");
    Skin::Destroy(GetScene().skin);
    Hierarchy::Destroy(GetScene().hierarchy);
    BenchStopEngine();
    return result;
}
