// Benchmark: the animation motor per frame. 20 and 50 models of 40 bones, each playing 3
// looping channels (the first an overlay), channels stepped, blended bone by bone and the
// bone matrices computed, against a plain loop of the same blends and matrix products on
// keyframes already interpolated; prints the ratios.
#include "animation.h"
#include "animationwriter.h"
#include "benchsupport.h"
#include "clump.h"
#include "clumpwriter.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "matrix.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdmodel.h"
#include "rdnameidtable.h"
#include "rdskeleton.h"
#include "skeletonwriter.h"
#include "stdkey.h"
#include "stream.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr int kBones = 40;
constexpr int kChannels = 3;
constexpr float kDuration = 1.0f;

Animation* MakeAnimation(int variant)
{
    std::vector<AnimationKeyRow> rows;
    for (int32_t b = 0; b < kBones; ++b)
        for (int k = 0; k < 5; ++k)
        {
            const float h = 0.1f * float(k + b % 5 + variant);
            rows.push_back({b, kDuration * float(k) / 4.0f, {0, std::sin(h), 0, std::cos(h)}, {0.1f * float(k), 1, 0}});
        }
    std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, kDuration);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    uint32_t size = 0;
    Animation* animation = nullptr;
    if (in && Stream::FindChunk(in, Animation::kChunkType, &size, nullptr))
        animation = Animation::StreamRead(in, size);
    if (in)
        Stream::Close(in, nullptr);
    return animation;
}

std::vector<uint8_t> ChainClump()
{
    ClumpDescription c;
    c.frames.resize(kBones + 1);
    std::vector<HierarchyNodeRow> table;
    for (int i = 0; i < kBones; ++i)
        table.push_back({i + 1, i == kBones - 1 ? kHierarchyPop : 0u});
    for (int i = 1; i <= kBones; ++i)
    {
        c.frames[size_t(i)].parent = i - 1;
        c.frames[size_t(i)].rows[10] = 1.0f;
    }
    c.frames[1].extension = HierarchyWriter::FrameExtension(1, table, 0);
    for (int i = 2; i <= kBones; ++i)
        c.frames[size_t(i)].extension = HierarchyWriter::FrameExtension(i);
    return ClumpWriter::Write(c);
}

Clump* ReadClump(std::vector<uint8_t> bytes)
{
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    Clump* clump = nullptr;
    if (stream && Stream::FindChunk(stream, RdModel::kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return clump;
}

struct Plain
{
    StdInterpFrame keys[kChannels][kBones];
    StdInterpFrame result[kBones];
    Matrix local[kBones];
    Matrix world[kBones];
};

struct Scene
{
    std::vector<RdAnimMotor*> motors;
    std::vector<RdAnimation*> resources;
    std::vector<Plain> plain;

    explicit Scene(int models)
    {
        HbGameClock::Instance()->mStepSeconds = 1.0f / 60.0f;
        std::vector<std::string> names;
        for (int32_t i = 1; i <= kBones; ++i)
        {
            std::string name;
            NameIdTable::Bones()->FindNameById(i, name);
            names.push_back(name);
        }
        auto* skeleton = new RdSkeleton();
        skeleton->AddRef();
        HbMChunkStream stream(new VectorStreamBuf(SkeletonWriter::Bytes(names, nullptr)));
        skeleton->Read(&stream);
        for (int c = 0; c < kChannels; ++c)
        {
            auto* resource = new RdAnimation();
            resource->AddRef();
            if (!resource->Setup(MakeAnimation(c), "BENCH_ANM", "bench.anm"))
                std::abort();
            resources.push_back(resource);
        }
        const std::vector<uint8_t> clump = ChainClump();
        plain.resize(size_t(models));
        for (int m = 0; m < models; ++m)
        {
            auto* model = new RdModel();
            if (!model->SetClump(ReadClump(clump)))
                std::abort();
            auto* motor = new RdAnimMotor(nullptr);
            motor->SetSkeleton(skeleton);
            motor->AddModel(model);
            for (int c = 0; c < kChannels; ++c)
            {
                RdAnimChannel* channel = motor->PlayAnim(resources[size_t(c)], 1, 0.1f * float(m % 10));
                if (!channel)
                    std::abort();
                channel->SetLoop(1);
                channel->mOverlay = c == 0;
                motor->RampChannelWeight(channel->GetId(), 0.5f, 0.5f, 0);
                for (int b = 0; b < kBones; ++b)
                    plain[size_t(m)].keys[c][b] = *static_cast<StdInterpFrame*>(
                        AnimInterpolator::GetInterpFrame(channel->GetHierarchy()->interpolator, b));
            }
            motors.push_back(motor);
        }
        skeleton->Release();
    }

    ~Scene()
    {
        for (RdAnimMotor* m : motors)
            delete m;
        for (RdAnimation* a : resources)
            a->Release();
    }
};

Scene* sScenes[2] = {};

template <int Index> void BM_Motor(benchmark::State& state)
{
    Scene& scene = *sScenes[Index];
    for (auto _ : state)
    {
        HbGameClock::Instance()->mGameTime += HbPerformanceFrequency() / 60;
        for (RdAnimMotor* motor : scene.motors)
            motor->Update();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(scene.motors.size()));
}

template <int Index> void BM_Plain(benchmark::State& state)
{
    Scene& scene = *sScenes[Index];
    for (auto _ : state)
        for (Plain& p : scene.plain)
        {
            for (int b = 0; b < kBones; ++b)
            {
                p.result[b] = p.keys[1][b];
                StdKeyFrame::Blend(&p.result[b], &p.result[b], &p.keys[0][b], 0.5f);
                StdKeyFrame::Blend(&p.result[b], &p.result[b], &p.keys[2][b], 0.5f);
                StdKeyFrame::Blend(&p.result[b], &p.result[b], &p.keys[0][b], 0.5f);
                StdKeyFrame::Apply(&p.local[b], &p.result[b]);
                if (b == 0)
                    p.world[b] = p.local[b];
                else
                    Matrix::Multiply(&p.world[b], &p.local[b], &p.world[b - 1]);
            }
            benchmark::DoNotOptimize(p.world);
        }
    state.SetItemsProcessed(state.iterations() * int64_t(scene.plain.size()));
}

BENCHMARK(BM_Motor<0>)->Name("Motor/20");
BENCHMARK(BM_Plain<0>)->Name("Plain/20");
BENCHMARK(BM_Motor<1>)->Name("Motor/50");
BENCHMARK(BM_Plain<1>)->Name("Plain/50");

bool AttachAnimation()
{
    return World::Attach() && Animation::Attach() && Hierarchy::Attach();
}
} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(AttachAnimation))
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    sScenes[0] = new Scene(20);
    sScenes[1] = new Scene(50);
    int result = BenchRunWithRatios(
        argc, argv,
        {{"20 models x 40 bones x 3 channels: motor / plain loop", "Motor/20", "Plain/20"},
         {"50 models x 40 bones x 3 channels: motor / plain loop", "Motor/50", "Plain/50"}},
        "per frame the motor also steps its 3 interpolators per model; the plain loop blends keyframes "
        "already interpolated (2 slerps and the overlay's per bone) and multiplies the matrices down the chain");
    delete sScenes[1];
    delete sScenes[0];
    BenchStopEngine();
    return result;
}
