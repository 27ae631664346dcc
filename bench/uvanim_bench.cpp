// Benchmark: UV animation per frame. 200 materials, each playing a parameter-keyframe rotation on
// its first texture and a matrix-keyframe scroll on its second, advanced and turned into their
// channel matrices, against building the same two matrices per material directly; prints the ratio.
#include "animation.h"
#include "benchsupport.h"
#include "dictionary.h"
#include "material.h"
#include "matrix.h"
#include "stream.h"
#include "uvanim.h"
#include "uvanimwriter.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr int kMaterials = 200;
constexpr float kStep = 1.0f / 60.0f;

// The material extension's stream body: a struct chunk with mask 0x3 and the two names.
std::vector<uint8_t> Slots()
{
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    u32(1);
    u32(4 + 64);
    u32(LibraryStamp::Encode(kLibraryVersion, kLibraryBuild));
    u32(0x3);
    for (const std::string name : {"turn", "scroll"})
        for (size_t i = 0; i < 32; ++i)
            b.push_back(i < name.size() ? uint8_t(name[i]) : 0);
    return b;
}

struct Scene
{
    Dictionary* dictionary = nullptr;
    std::vector<Material*> materials;
    std::vector<Matrix> plain;
    float time = 0.0f;

    Scene()
    {
        UVAnimDescription turn;
        turn.name = "turn";
        turn.scheme = 0x1C1;
        turn.duration = 4.0f;
        for (int k = 0; k <= 4; ++k)
            turn.keys.push_back({0, float(k), {1.5f * float(k), 1.0f + 0.1f * float(k), 1.0f, 0.0f, 0.0f, 0.0f}});
        UVAnimDescription scroll;
        scroll.name = "scroll";
        scroll.nodeToChannel[0] = 1;
        for (int k = 0; k <= 4; ++k)
            scroll.keys.push_back({0, float(k), {1, 0, 0, 1, 0.25f * float(k), 0.1f * float(k)}});
        scroll.duration = 4.0f;
        std::vector<uint8_t> bytes = UVAnimWriter::Dictionary({turn, scroll});
        MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
        Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
        uint32_t size = 0;
        if (Stream::FindChunk(in, UVAnim::kDictionaryChunk, &size, nullptr))
            dictionary = UVAnim::ReadDictionary(in, size);
        Stream::Close(in, nullptr);
        UVAnim::SetCurrentDictionary(dictionary);
        std::vector<uint8_t> slots = Slots();
        for (int i = 0; i < kMaterials && dictionary; ++i)
        {
            Material* m = Material::Create();
            MemoryBlock s = {slots.data(), uint32_t(slots.size())};
            Stream* sin = Stream::Open(kStreamMemory, kStreamRead, &s);
            if (!m || !UVAnim::MaterialStreamRead(sin, int32_t(slots.size()), m, UVAnim::GetMaterialOffset(), 0))
                dictionary = nullptr;
            Stream::Close(sin, nullptr);
            UVAnimMaterial::AddUVAnimTime(m, 0.013f * float(i));
            materials.push_back(m);
        }
        UVAnim::SetCurrentDictionary(nullptr);
        if (!dictionary)
        {
            std::fprintf(stderr, "the materials could not be built\n");
            std::abort();
        }
        plain.resize(size_t(kMaterials) * 2);
    }
};

Scene& GetScene()
{
    static Scene scene;
    return scene;
}

void BM_Animated(benchmark::State& state)
{
    Scene& scene = GetScene();
    for (auto _ : state)
        for (Material* m : scene.materials)
        {
            UVAnimMaterial::AddUVAnimTime(m, kStep);
            UVAnimMaterial::UpdateUVAnim(m);
            benchmark::DoNotOptimize(UVAnimMaterial::GetChannelMatrix(m, 0));
        }
    state.SetItemsProcessed(state.iterations() * kMaterials);
}
BENCHMARK(BM_Animated)->Name("UVMaterials/animated");

void BM_Plain(benchmark::State& state)
{
    Scene& scene = GetScene();
    const Vector axis = {0.0f, 0.0f, 1.0f};
    const Vector toOrigin = {-0.5f, -0.5f, 0.0f}, back = {0.5f, 0.5f, 0.0f};
    for (auto _ : state)
    {
        scene.time = std::fmod(scene.time + kStep, 4.0f);
        for (int i = 0; i < kMaterials; ++i)
        {
            const float t = scene.time + 0.013f * float(i);
            Matrix* rotate = &scene.plain[size_t(i) * 2];
            Matrix* scroll = rotate + 1;
            const Vector scale = {1.0f + 0.1f * t, 1.0f, 1.0f};
            Matrix::Scale(rotate, &scale, kCombineReplace);
            Matrix::Translate(rotate, &toOrigin, kCombinePostConcat);
            Matrix::Rotate(rotate, &axis, 1.5f * t * 57.2957763671875f, kCombinePostConcat);
            Matrix::Translate(rotate, &back, kCombinePostConcat);
            const Vector move = {0.25f * t, 0.1f * t, 0.0f};
            Matrix::Translate(scroll, &move, kCombineReplace);
            benchmark::DoNotOptimize(rotate);
        }
    }
    state.SetItemsProcessed(state.iterations() * kMaterials);
}
BENCHMARK(BM_Plain)->Name("UVMaterials/plain");

bool AttachUVAnimation()
{
    return World::Attach() && Animation::Attach() && UVAnim::Attach();
}
} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(AttachUVAnimation))
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"200 UV-animated materials: animated / plain matrix builds", "UVMaterials/animated", "UVMaterials/plain"}},
        "per frame: AddUVAnimTime and UpdateUVAnim per material (two animations, two channels) against "
        "building the same two matrices directly");
    for (Material* m : GetScene().materials)
        Material::Destroy(m);
    Dictionary::Destroy(GetScene().dictionary);
    BenchStopEngine();
    return result;
}
