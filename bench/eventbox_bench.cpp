// The event boxes' per-frame test: 64 boxes and 50 watched actors walking through them, tested
// through the box index and records against a brute-force test of every box for every actor
// with the same enter, stay and leave bookkeeping; prints the ratio.
#include "benchsupport.h"
#include "eboxcontract.h"
#include "hbmemory.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{
constexpr int kBoxes = 64;
constexpr int kActors = 50;
constexpr int kFrames = 64;

int32_t gHandled = 0;
int32_t Count(int32_t, HbRoot*, TsActor*)
{
    ++gHandled;
    return 0;
}

struct Scene
{
    YoEBox* set = nullptr;
    std::vector<EBoxActorBits*> bits;
    /// Actor positions for each frame of the walk.
    std::vector<float> positions;
    std::vector<uint64_t> insideBefore;
};
Scene gScene;

void Build()
{
    gScene.set = new YoEBox();
    gScene.set->AddRef();
    const float size[3] = {300, 400, 300};
    for (int i = 0; i < kBoxes; ++i)
    {
        const float centre[3] = {float(i % 8) * 250.0f, 0, float(i / 8) * 250.0f};
        gScene.set->AddBox(centre, size, 2, {}, {}, {});
    }
    gScene.set->BuildIndex();
    for (int a = 0; a < kActors; ++a)
        gScene.bits.push_back(EBoxActorBitsNew());
    gScene.insideBefore.assign(kActors, 0);
    for (int f = 0; f < kFrames; ++f)
    {
        for (int a = 0; a < kActors; ++a)
        {
            const float t = float(f) * 0.05f + float(a);
            gScene.positions.push_back(1000.0f + 900.0f * std::sin(t * 0.7f));
            gScene.positions.push_back(0.0f);
            gScene.positions.push_back(1000.0f + 900.0f * std::cos(t * 0.3f));
        }
    }
}

void BM_Indexed(benchmark::State& state)
{
    int frame = 0;
    const int32_t id = gScene.set->GetIndexId();
    for (auto _ : state)
    {
        const float* at = &gScene.positions[size_t(frame) * kActors * 3];
        for (int a = 0; a < kActors; ++a)
            EBoxTestActor(id, at + 3 * a, gScene.bits[size_t(a)], Count, Count, Count, gScene.set, nullptr);
        frame = (frame + 1) % kFrames;
    }
    benchmark::DoNotOptimize(gHandled);
}
BENCHMARK(BM_Indexed)->Name("Boxes/index and records")->Unit(benchmark::kMicrosecond);

void BM_BruteForce(benchmark::State& state)
{
    int frame = 0;
    for (auto _ : state)
    {
        const float* at = &gScene.positions[size_t(frame) * kActors * 3];
        for (int a = 0; a < kActors; ++a)
        {
            const float* p = at + 3 * a;
            uint64_t now = 0;
            for (int b = 0; b < kBoxes; ++b)
            {
                const EventBox* box = gScene.set->GetBox(b);
                bool in = true;
                for (int k = 0; k < 3; ++k)
                    in = in && box->min[k] <= p[k] && p[k] < box->max[k];
                now |= uint64_t(in) << b;
            }
            const uint64_t before = gScene.insideBefore[size_t(a)];
            for (int b = 0; b < kBoxes; ++b)
            {
                const uint64_t bit = uint64_t(1) << b;
                if (now & bit)
                    Count(b, gScene.set, nullptr);
                if ((now & bit) && !(before & bit))
                    Count(b, gScene.set, nullptr);
                if (!(now & bit) && (before & bit))
                    Count(b, gScene.set, nullptr);
            }
            gScene.insideBefore[size_t(a)] = now;
        }
        frame = (frame + 1) % kFrames;
    }
    benchmark::DoNotOptimize(gHandled);
}
BENCHMARK(BM_BruteForce)->Name("Boxes/every box for every actor")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    InitFrameworkHeap();
    Build();
    int result = BenchRunWithRatios(
        argc, argv, {{"index / brute force", "Boxes/index and records", "Boxes/every box for every actor"}},
        "one frame: 50 actors walking through 64 overlapping boxes, each tested for the boxes it stays in, "
        "enters and leaves");
    for (EBoxActorBits* bits : gScene.bits)
        EBoxActorBitsFree(bits);
    gScene.set->Release();
    return result;
}
