// Benchmark: a 640 x 480 clip of 30 lossless frames played through the DirectShow layer and
// the cut-scene player (graph, decode thread, 24- to 32-bit copy into the video raster under
// the mutex, polling until completion) against the same file decoded straight through
// libavcodec and converted by libswscale into 24-bit rows, per whole clip; both sides open
// the file each time. The graph clock is the performance counter, moved past the clip's end
// so that frames are handed over as fast as they decode.
#include "benchsupport.h"
#include "benchwindow.h"
#include "dshowtesthooks.h"
#include "tsvideo.h"
#include "win32testhooks.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace
{

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 30;
constexpr int64_t kTicksPerSecond = 10000000;

std::string gClip;

uint32_t Pixel(int frame, int x, int y)
{
    return uint32_t((x + 3 * frame) & 0xFF) << 16 | uint32_t((y + frame) & 0xFF) << 8 | uint32_t((x ^ y) & 0xFF);
}

bool Start()
{
    if (!BenchOpenWindow("VideoBench", "video bench"))
        return false;
    WRenderer* renderer = WRenderer::Instance();
    if (!renderer || !renderer->Start(BenchWindowState()))
        return false;
    TsVideoCreateMutex();
    gClip = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/video_bench_clip.mkv";
    if (!dshowtest::WriteClip(gClip, kWidth, kHeight, kFrames, 30, Pixel))
        return false;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    Win32TestSetPerformanceCounter(now.QuadPart);
    return true;
}

void Stop()
{
    TsVideoClose();
    Win32TestUseRealPerformanceCounter();
    if (!gClip.empty())
        std::remove(gClip.c_str());
    WRenderer::DestroyInstance();
}

void BM_Player(benchmark::State& state)
{
    for (auto _ : state)
    {
        if (TsVideoOpen(gClip.c_str(), nullptr, 0) != 0)
        {
            state.SkipWithError("the clip did not open");
            break;
        }
        Raster* raster = nullptr;
        float time = 0.0f;
        int32_t play = 0;
        TsVideoPoll(&raster, &time, &play);
        Win32TestAdvancePerformanceCounter(2 * kTicksPerSecond);
        do
        {
            std::this_thread::yield();
            if (TsVideoPoll(&raster, &time, &play) != 0)
                break;
        } while (play != 2);
        TsVideoClose();
    }
    state.counters["frames"] = kFrames;
}
BENCHMARK(BM_Player)->Name("Video/30 frames through layer and player")->Unit(benchmark::kMillisecond);

void BM_Bare(benchmark::State& state)
{
    std::vector<uint8_t> rows;
    for (auto _ : state)
    {
        dshowtest::BareDecoder decoder;
        if (!decoder.Open(gClip))
        {
            state.SkipWithError("the clip did not open");
            break;
        }
        int frames = 0;
        while (decoder.Next(&rows))
            ++frames;
        benchmark::DoNotOptimize(rows.data());
        if (frames != kFrames)
            state.SkipWithError("frames missing");
    }
    state.counters["frames"] = kFrames;
}
BENCHMARK(BM_Bare)->Name("Video/30 frames through libavcodec and libswscale")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!Start())
    {
        std::fprintf(stderr, "the renderer or the clip could not be made\n");
        Stop();
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"layer and player / bare decoding", "Video/30 frames through layer and player",
          "Video/30 frames through libavcodec and libswscale"}},
        "a 640 x 480 FFV1 clip of 30 frames, per clip (divide by 30 for a frame); the player's side adds the "
        "filter graph, its decode thread handing each frame over on the graph clock, the 24- to 32-bit copy into "
        "the video raster under the video mutex and the poll loop until completion");
    Stop();
    return result;
}
