// Benchmark: skinning. Each blend routine (one matrix, one, two and four weights) in both
// palette layouts over 4096 vertices with normals, against a plain loop that transforms the
// same points and normals by one matrix; the palette build for 64 bones in each layout; and
// a skinned model of the same size drawn through the skin pipeline on our Direct3D 9 layer,
// skinned by a vertex shader against blended on the processor (the CPU time of submitting
// one draw, palette included; the device's own work is finished outside the timing).
// Prints vertices per millisecond through the items counter and the ratios.
#include "animation.h"
#include "benchd3d9.h"
#include "benchsupport.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9testhooks.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "hierarchy.h"
#include "instancedata.h"
#include "material.h"
#include "matrix.h"
#include "skin.h"
#include "skinpipeline.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
        if (!hierarchy || !skin ||
            !Skin::AllocateData(skin, kBones, kBones, kVertices, nullptr, nullptr, nullptr, nullptr))
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
            skin->vertexBoneIndices[v] =
                b | ((b + 1) % kBones) << 8 | ((b + 2) % kBones) << 16 | ((b + 3) % kBones) << 24;
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
    const SkinBlendStreams streams = {s.positions.data(),
                                      s.normals.data(),
                                      s.skin->vertexBoneIndices,
                                      s.skin->vertexWeights,
                                      kVertices,
                                      s.out.data(),
                                      24};
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

// A 64 x 64 grid skinned like the scene above (four weights over 64 bones), in one atomic.
struct Model
{
    Material* material = nullptr;
    Geometry* geometry = nullptr;
    Frame* frame = nullptr;
    Atomic* atomic = nullptr;

    bool Build()
    {
        Scene& s = GetScene();
        constexpr int32_t kSide = 64;
        static_assert(kSide * kSide == kVertices);
        const int32_t triangles = 2 * (kSide - 1) * (kSide - 1);
        geometry = Geometry::Create(kVertices, triangles, kGeometryPositions | kGeometryNormals | kGeometryPrelit);
        material = Material::Create();
        if (!geometry || !material)
            return false;
        for (int32_t v = 0; v < kVertices; ++v)
        {
            geometry->morphTargets[0].positions[v] = s.positions[size_t(v)];
            geometry->morphTargets[0].normals[v] = s.normals[size_t(v)];
            geometry->prelit[v] = {200, 120, 40, 255};
        }
        geometry->morphTargets[0].boundingSphere = {{32, 32, 0}, 50};
        int32_t t = 0;
        for (int32_t y = 0; y + 1 < kSide; ++y)
            for (int32_t x = 0; x + 1 < kSide; ++x)
            {
                const auto v = uint16_t(y * kSide + x);
                Geometry::SetTriangleVertices(geometry, &geometry->triangles[t], v, uint16_t(v + 1),
                                              uint16_t(v + kSide));
                Geometry::SetTriangleMaterial(geometry, &geometry->triangles[t++], material);
                Geometry::SetTriangleVertices(geometry, &geometry->triangles[t], uint16_t(v + 1),
                                              uint16_t(v + kSide + 1), uint16_t(v + kSide));
                Geometry::SetTriangleMaterial(geometry, &geometry->triangles[t++], material);
            }
        if (!Geometry::Unlock(geometry))
            return false;
        Skin* skin = Skin::Create();
        if (!skin || !Skin::AllocateData(skin, kBones, kBones, kVertices, s.skin->usedBones, s.skin->vertexWeights,
                                         s.skin->vertexBoneIndices, s.skin->inverseMatrices))
            return false;
        skin->maxWeights = 4;
        SkinGeometry::SetSkin(geometry, skin);
        atomic = Atomic::Create();
        frame = Frame::Create();
        if (!atomic || !frame)
            return false;
        Atomic::SetFrame(atomic, frame);
        Atomic::SetGeometry(atomic, geometry, 0);
        SkinAtomic::SetSkinHierarchy(atomic, s.hierarchy);
        SkinAtomic::SetSkinPipeline(atomic, 1);
        return true;
    }

    void Destroy()
    {
        if (atomic)
        {
            SkinAtomic::SetSkinHierarchy(atomic, nullptr);
            Atomic::Destroy(atomic);
        }
        if (frame)
            Frame::Destroy(frame);
        if (geometry)
            Geometry::Destroy(geometry);
        if (material)
            Material::Destroy(material);
    }
};

Model sModel;

// One draw of the model per iteration, the palette rebuilt each time as in a new frame.
// Without the device's draw the meshes are given no primitives after the first frame: our
// layer runs on a software OpenGL, whose vertex shading would otherwise stand in the
// hardware path's time for what a graphics processor takes off the processor.
void BM_Draw(benchmark::State& state, int32_t hardware, bool deviceDraw)
{
    SkinDeviceCaps caps = SkinPlugin::GetCaps();
    caps.hardwareSkinning = hardware;
    SkinPlugin::SetCaps(caps);
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    Engine* engine = Engine::Current();
    device->BeginScene();
    // The first draw builds the instance data the path needs.
    if (!Atomic::DefaultRender(sModel.atomic) || SkinGeometry::GetSkin(sModel.geometry)->hardwareSkinned != hardware)
        state.SkipWithError("the model was not drawn by the path asked for");
    InstanceHeader* header = InstanceData::Header(sModel.geometry->instanceData);
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    std::vector<uint32_t> primitives;
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        primitives.push_back(meshes[m].primitiveCount);
        if (!deviceDraw)
            meshes[m].primitiveCount = 0;
    }
    for (auto _ : state)
    {
        ++engine->renderFrame;
        benchmark::DoNotOptimize(Atomic::DefaultRender(sModel.atomic));
        state.PauseTiming();
        D3D9VertexBuffer::Advance();
        d3d9test::Finish(device);
        state.ResumeTiming();
    }
    for (uint32_t m = 0; m < header->meshCount; ++m)
        meshes[m].primitiveCount = primitives[m];
    device->EndScene();
    state.SetItemsProcessed(int64_t(state.iterations()) * kVertices);
}

BENCHMARK_CAPTURE(BM_Draw, hardware, 1, true)->Name("Draw/hardware_skin");
BENCHMARK_CAPTURE(BM_Draw, processor, 0, true)->Name("Draw/processor_blend");
BENCHMARK_CAPTURE(BM_Draw, hardware_submit, 1, false)->Name("Submit/hardware_skin");
BENCHMARK_CAPTURE(BM_Draw, processor_submit, 0, false)->Name("Submit/processor_blend");

bool AttachSkin()
{
    return World::Attach() && Animation::Attach() && Hierarchy::Attach() && Skin::Attach();
}

} // namespace

int main(int argc, char** argv)
{
    // The engine on our Direct3D 9 layer, offscreen, in a small window.
    if (BenchStartD3D9Engine("SkinBench", "skin benchmark", 64, 64, 1 << 20, AttachSkin))
        return 1;
    const int step = !GetScene().skin ? 5 : !sModel.Build() ? 6 : 0;
    if (step)
    {
        std::fprintf(stderr, "the engine or the model could not be made (step %d)\n", step);
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"x87 one matrix / plain", "Blend/x87/one_matrix", "Blend/plain"},
         {"x87 one weight / plain", "Blend/x87/one_weight", "Blend/plain"},
         {"x87 two weights / plain", "Blend/x87/two_weights", "Blend/plain"},
         {"x87 four weights / plain", "Blend/x87/four_weights", "Blend/plain"},
         {"sse one matrix / plain", "Blend/sse/one_matrix", "Blend/plain"},
         {"sse one weight / plain", "Blend/sse/one_weight", "Blend/plain"},
         {"sse two weights / plain", "Blend/sse/two_weights", "Blend/plain"},
         {"sse four weights / plain", "Blend/sse/four_weights", "Blend/plain"},
         {"palette of 64 bones: sse / x87", "Palette64/sse", "Palette64/x87"},
         {"model draw: hardware skin / processor blend", "Draw/hardware_skin", "Draw/processor_blend"},
         {"model submission without the device's draw: hardware / processor", "Submit/hardware_skin",
          "Submit/processor_blend"}},
        "4096 vertices with normals per run; items/s are vertices (bones for the palette)");
    sModel.Destroy();
    Skin::Destroy(GetScene().skin);
    Hierarchy::Destroy(GetScene().hierarchy);
    BenchStopD3D9Engine();
    return result;
}
