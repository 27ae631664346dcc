// Benchmark: the animation layer per frame. 50 models with 3 looping animation channels each,
// their events delivered to a receiver, against the bare interpolator steps underneath
// (the same 150 interpolators stepped by AddTime alone); prints the ratio.
#include "animation.h"
#include "animationwriter.h"
#include "benchsupport.h"
#include "hbclock.h"
#include "hierarchy.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdeventmanager.h"
#include "stdkey.h"
#include "stream.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{
constexpr int kModels = 50;
constexpr int kChannelsPerModel = 3;
constexpr int kBones = 20;
constexpr float kDuration = 1.0f;

class Receiver : public HbRoot, public RdEventReceiverOwner
{
public:
    Receiver()
    {
        mEventReceiver = [](int32_t id, void* data) { static_cast<Receiver*>(data)->sum += id; };
        mEventReceiverData = this;
    }
    int64_t sum = 0;
};

Animation* MakeAnimation()
{
    std::vector<AnimationKeyRow> rows;
    for (int32_t b = 0; b < kBones; ++b)
        for (int k = 0; k < 5; ++k)
        {
            const float h = 0.1f * float(k + b % 5);
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

struct Scene
{
    std::vector<Hierarchy*> models;
    std::vector<RdAnimation*> resources;
    std::vector<RdAnimChannel*> channels;
    std::vector<Receiver*> receivers;
    std::vector<Hierarchy*> bare;
    std::vector<Animation*> bareAnimations;
    int64_t now = 0;
    int64_t step = 0;

    Scene()
    {
        std::vector<uint32_t> flags(kBones, 0);
        flags[kBones - 1] = kHierarchyPop;
        step = HbPerformanceFrequency() / 60;
        HbGameClock::Instance()->mStepSeconds = 1.0f / 60.0f;
        for (int c = 0; c < kChannelsPerModel; ++c)
        {
            auto* resource = new RdAnimation();
            resource->AddRef();
            if (!resource->Setup(MakeAnimation(), "BENCH_ANM", "bench.anm"))
                std::abort();
            resource->GetEventSet()->Add({0.25f, 1});
            resource->GetEventSet()->Add({0.5f, 2});
            resource->GetEventSet()->Add({0.75f, 13});
            resources.push_back(resource);
        }
        for (int m = 0; m < kModels; ++m)
        {
            Hierarchy* model = Hierarchy::Create(kBones, flags.data(), nullptr, kHierarchyUpdateModelling,
                                                 int32_t(sizeof(StdInterpFrame)));
            auto* receiver = new Receiver();
            receiver->AddRef();
            if (!model)
                std::abort();
            models.push_back(model);
            receivers.push_back(receiver);
            for (int c = 0; c < kChannelsPerModel; ++c)
            {
                auto* channel = new RdAnimChannel(uint16_t(c), resources[size_t(c)], 0.1f * float(m % 10), now);
                channel->AddRef();
                channel->SetLoop(1);
                channel->Attach(model, now);
                if (!channel->GetHierarchy())
                    std::abort();
                RdEventManager::Register(channel->GetHierarchy(), resources[size_t(c)]->GetEventSet(), receiver);
                channels.push_back(channel);

                Hierarchy* plain = Hierarchy::Create(kBones, flags.data(), nullptr, 0, int32_t(sizeof(StdInterpFrame)));
                Animation* animation = MakeAnimation();
                if (!plain || !animation || !AnimInterpolator::SetAnimation(plain->interpolator, animation))
                    std::abort();
                AnimInterpolator::AddTime(plain->interpolator, 0.1f * float(m % 10));
                bare.push_back(plain);
                bareAnimations.push_back(animation);
            }
        }
    }

    ~Scene()
    {
        for (RdAnimChannel* c : channels)
            c->Release();
        for (Receiver* r : receivers)
            r->Release();
        for (RdAnimation* a : resources)
            a->Release();
        for (Hierarchy* h : models)
            Hierarchy::Destroy(h);
        for (Hierarchy* h : bare)
            Hierarchy::Destroy(h);
        for (Animation* a : bareAnimations)
            Animation::Destroy(a);
    }
};

Scene* sScene = nullptr;

void BM_Channels(benchmark::State& state)
{
    Scene& scene = *sScene;
    for (auto _ : state)
    {
        scene.now += scene.step;
        for (RdAnimChannel* channel : scene.channels)
            benchmark::DoNotOptimize(channel->Update(scene.now));
    }
    state.SetItemsProcessed(state.iterations() * kModels * kChannelsPerModel);
}
BENCHMARK(BM_Channels)->Name("Channels/events");

void BM_Bare(benchmark::State& state)
{
    Scene& scene = *sScene;
    for (auto _ : state)
        for (Hierarchy* h : scene.bare)
        {
            AnimInterpolator::AddTime(h->interpolator, 1.0f / 60.0f);
            benchmark::DoNotOptimize(h->interpolator->interpFrames);
        }
    state.SetItemsProcessed(state.iterations() * kModels * kChannelsPerModel);
}
BENCHMARK(BM_Bare)->Name("Channels/bare");

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
    sScene = new Scene();
    int result = BenchRunWithRatios(
        argc, argv, {{"50 models x 3 channels with events: channels / bare interpolator steps", "Channels/events", "Channels/bare"}},
        "per frame: each channel's ramp, timed callbacks, interpolator step and event delivery against AddTime alone");
    delete sScene;
    BenchStopEngine();
    return result;
}
