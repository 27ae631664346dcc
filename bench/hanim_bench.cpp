// Benchmark: skeletal animation per frame. 50 skeletons of 60 bones, each stepped by its
// interpolator and turned into matrices by Hierarchy::UpdateMatrices, against a plain loop
// doing the same slerps, quaternion conversions and matrix products; prints the ratio.
#include "animation.h"
#include "animationwriter.h"
#include "benchsupport.h"
#include "hierarchy.h"
#include "matrix.h"
#include "stdkey.h"
#include "stream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{
constexpr int kSkeletons = 50;
constexpr int kBones = 60;
constexpr int kKeysPerBone = 6;
constexpr float kDuration = 2.0f;

AnimQuat Axis(float x, float y, float z, float degrees)
{
    const float n = std::sqrt(x * x + y * y + z * z);
    const float h = degrees * 3.14159265f / 360.0f;
    return {x / n * std::sin(h), y / n * std::sin(h), z / n * std::sin(h), std::cos(h)};
}

// A root with limbs of five bones: each limb's first bone saves the parent for the next limb.
std::vector<uint32_t> LimbFlags(std::vector<int32_t>* parents)
{
    std::vector<uint32_t> flags = {0};
    parents->assign(1, -1);
    int32_t left = kBones - 1;
    while (left > 0)
    {
        const int32_t limb = left >= 5 ? 5 : left;
        left -= limb;
        for (int32_t b = 0; b < limb; ++b)
        {
            parents->push_back(b == 0 ? 0 : int32_t(flags.size()) - 1);
            if (b == limb - 1)
                flags.push_back(kHierarchyPop);
            else if (b == 0 && left > 0)
                flags.push_back(kHierarchyPush);
            else
                flags.push_back(0);
        }
    }
    return flags;
}

struct Scene
{
    std::vector<Animation*> animations;
    std::vector<Hierarchy*> hierarchies;
    std::vector<int32_t> parents;
    // The plain loop's data: per skeleton and bone two keyframes and a matrix.
    std::vector<StdKeyFrame> from, to;
    std::vector<Matrix> matrices;
    float time = 0.0f;

    Scene()
    {
        const std::vector<uint32_t> flags = LimbFlags(&parents);
        std::vector<AnimationKeyRow> rows;
        for (int32_t b = 0; b < kBones; ++b)
            for (int k = 0; k < kKeysPerBone; ++k)
            {
                const AnimQuat q = Axis(float(b % 3) + 0.2f, 1.0f, float(k), 10.0f * float(k + b % 7));
                rows.push_back({b, kDuration * float(k) / float(kKeysPerBone - 1), {q.x, q.y, q.z, q.w},
                                {0.1f * float(k), 1.0f, 0.0f}});
            }
        std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, kDuration);
        for (int s = 0; s < kSkeletons; ++s)
        {
            MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
            Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
            uint32_t size = 0;
            Stream::FindChunk(in, 27, &size, nullptr);
            Animation* a = Animation::StreamRead(in, size);
            Stream::Close(in, nullptr);
            Hierarchy* h = Hierarchy::Create(kBones, flags.data(), nullptr, 0, int32_t(sizeof(StdInterpFrame)));
            if (!a || !h || !AnimInterpolator::SetAnimation(h->interpolator, a))
            {
                std::fprintf(stderr, "the skeletons could not be built\n");
                std::abort();
            }
            AnimInterpolator::AddTime(h->interpolator, 0.37f * float(s));
            animations.push_back(a);
            hierarchies.push_back(h);
        }
        for (int s = 0; s < kSkeletons; ++s)
            for (int32_t b = 0; b < kBones; ++b)
            {
                from.push_back(StdKeyFrame{{nullptr, 0.0f}, Axis(1, float(b), 2, 5.0f), {0, 1, 0}});
                to.push_back(StdKeyFrame{{nullptr, 0.4f}, Axis(2, 1, float(b), 40.0f), {1, 1, 0}});
            }
        matrices.resize(size_t(kSkeletons) * kBones);
    }
};

Scene& GetScene()
{
    static Scene scene;
    return scene;
}

void BM_Skeletons(benchmark::State& state)
{
    Scene& scene = GetScene();
    for (auto _ : state)
        for (Hierarchy* h : scene.hierarchies)
        {
            AnimInterpolator::AddTime(h->interpolator, 1.0f / 60.0f);
            Hierarchy::UpdateMatrices(h);
            benchmark::DoNotOptimize(h->matrices);
        }
    state.SetItemsProcessed(state.iterations() * kSkeletons * kBones);
}
BENCHMARK(BM_Skeletons)->Name("Skeletons/hierarchy");

void BM_PlainLoop(benchmark::State& state)
{
    Scene& scene = GetScene();
    StdInterpFrame frame{};
    Matrix local;
    for (auto _ : state)
    {
        scene.time = std::fmod(scene.time + 1.0f / 60.0f, 0.4f);
        for (int s = 0; s < kSkeletons; ++s)
        {
            Matrix* m = &scene.matrices[size_t(s) * kBones];
            for (int32_t b = 0; b < kBones; ++b)
            {
                const size_t i = size_t(s) * kBones + size_t(b);
                StdKeyFrame::Interpolate(&frame, &scene.from[i], &scene.to[i], scene.time, nullptr);
                StdKeyFrame::Apply(&local, &frame);
                const int32_t p = scene.parents[size_t(b)];
                if (p < 0)
                    m[b] = local;
                else
                    Matrix::Multiply(&m[b], &local, &m[p]);
            }
            benchmark::DoNotOptimize(m);
        }
    }
    state.SetItemsProcessed(state.iterations() * kSkeletons * kBones);
}
BENCHMARK(BM_PlainLoop)->Name("Skeletons/plain");

bool AttachAnimation()
{
    return Animation::Attach() && Hierarchy::Attach();
}
} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(AttachAnimation))
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv, {{"50 skeletons x 60 bones: hierarchy / plain loop", "Skeletons/hierarchy", "Skeletons/plain"}},
        "per frame: one AddTime and one UpdateMatrices per skeleton against the same slerps and products");
    for (Hierarchy* h : GetScene().hierarchies)
        Hierarchy::Destroy(h);
    for (Animation* a : GetScene().animations)
        Animation::Destroy(a);
    BenchStopEngine();
    return result;
}
