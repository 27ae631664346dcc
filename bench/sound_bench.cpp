// Benchmark: the sound layer's frame over 64 fading channels. 64 channels of a looping 2D
// sample are started (32 reach an FMOD channel, as FMOD has 32) and each fades over a long
// time, so every frame recomputes every volume. The direct side makes the same FMOD calls
// (loop mode and volume of each playing channel, then FSOUND_Update) from a plain array of
// channel numbers with the same interpolation, without the slots, the live list or the
// sound objects.
#include "benchsupport.h"
#include "fmod3.h"
#include "fmod3testhooks.h"
#include "hbclock.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "tsfmod.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

constexpr int kChannels = 64;
constexpr const char* kSound = "BENCH_LOOP_S2DSB";

struct Bench
{
    std::string path;
    std::vector<int> fmodChannels;
    int64_t step = 0;
};
Bench gBench;

bool Start()
{
    // Headless unless the caller chose an output.
    setenv("ALSOFT_DRIVERS", "null", 0);
    if (!BenchStartEngine())
        return false;
    Bench& b = gBench;
    b.path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/sound_bench_loop.wav";
    if (!fmod3test::WriteTone(b.path, fmod3test::ToneFormat::Wav16, 22050, 1, 0.5, 440.0))
        return false;
    fmod3test::SetUpdateStep(0.016);
    if (!HbDataManager::Create() || TsFModStart() != 0)
        return false;
    auto* sounds = new TDataManagerContainer("SOUNDS");
    HbDataManager::Root()->AttachChild(sounds);
    auto* loop = new TDataManagerContainer("BENCH_LOOP");
    loop->SetString("LOOP_MODE", "NORMAL");
    sounds->AttachChild(loop);
    HbResourceManager::Instance()->AddPath(kSound, b.path.c_str());
    for (int i = 0; i < kChannels; ++i)
    {
        int32_t slot = TsFModStartSound(kSound);
        if (slot < 0)
            return false;
        TsFModSetChannelFade(slot, 1.0f, 0.2f, 100000.0f);
        if (int channel = TsFModGetChannel(slot)->mFmodChannel; channel != -1)
            b.fmodChannels.push_back(channel);
    }
    b.step = HbPerformanceFrequency() / 60;
    return true;
}

void Stop()
{
    TsFModClose();
    HbDataManager::Destroy();
    if (!gBench.path.empty())
        std::remove(gBench.path.c_str());
    BenchStopEngine();
}

void BM_LayerUpdate(benchmark::State& state)
{
    HbRealClock* clock = HbRealClock::Instance();
    for (auto _ : state)
    {
        clock->mCurrentTime += gBench.step;
        TsFModUpdate();
    }
    if (TsFModGetLiveCount() != kChannels)
        state.SkipWithError("a channel was reaped");
}
BENCHMARK(BM_LayerUpdate)->Name("Sound/TsFModUpdate, 64 fading channels")->Unit(benchmark::kMicrosecond);

void BM_DirectCalls(benchmark::State& state)
{
    const double frequency = static_cast<double>(HbPerformanceFrequency());
    const double duration = 100000.0 * frequency;
    int64_t elapsed = 0;
    for (auto _ : state)
    {
        elapsed += gBench.step;
        float t = static_cast<float>((static_cast<double>(elapsed) / frequency) / (duration / frequency));
        float volume = 1.0f + t * (0.2f - 1.0f);
        for (int channel : gBench.fmodChannels)
        {
            unsigned int loop = FSOUND_GetLoopMode(channel);
            if (!(loop & (FSOUND_LOOP_NORMAL | FSOUND_LOOP_BIDI)))
                benchmark::DoNotOptimize(FSOUND_IsPlaying(channel));
            FSOUND_SetVolume(channel, static_cast<int>(volume * 255.0f));
        }
        FSOUND_Update();
    }
}
BENCHMARK(BM_DirectCalls)->Name("Sound/the same FMOD calls made directly")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!Start())
    {
        std::fprintf(stderr, "the sound layer could not start\n");
        Stop();
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"layer / direct", "Sound/TsFModUpdate, 64 fading channels", "Sound/the same FMOD calls made directly"}},
        "64 live channels of one looping 2D sample, 32 of them on FMOD channels, each fading; the layer also "
        "updates the 32 channels FMOD could not place and walks the slots and sound objects");
    Stop();
    return result;
}
