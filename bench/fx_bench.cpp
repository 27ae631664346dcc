// Benchmark: track evaluation (a linear key scan with precomputed slopes) with 2, 8 and 64
// keys, against a plain binary-search lerp over the same keys. Prints evaluations per second
// (items) and the ratios of the two at each key count.
#include "benchsupport.h"
#include "ktrack.h"
#include "ktrackeval.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace
{

constexpr int32_t kTimes = 256;

/// A 3-vector track of n keys over 0..1 and the times evaluated, spread over the track.
struct Fixture
{
    explicit Fixture(int32_t n) : track("COLOR", 2, 5, kTrackVec3)
    {
        for (int32_t i = 0; i < n; ++i)
        {
            const float value[3] = {float(i), float(i * 2), float(255 - i)};
            track.AppendKey(float(i) / float(n - 1), value);
        }
        for (int32_t i = 0; i < kTimes; ++i)
            times.push_back(float(i) / float(kTimes - 1));
    }
    KTrack track;
    std::vector<float> times;
};

void BM_TrackEval(benchmark::State& state)
{
    Fixture f(int32_t(state.range(0)));
    const int32_t count = f.track.KeyCount();
    for (auto _ : state)
        for (float t : f.times)
            benchmark::DoNotOptimize(KTrackEvalVec3(t, f.track.keys.data(), count));
    state.SetItemsProcessed(int64_t(state.iterations()) * kTimes);
}
BENCHMARK(BM_TrackEval)->Arg(2)->Arg(8)->Arg(64);

/// The textbook alternative: find the segment by bisection, then lerp its two ends.
const float* BinaryLerp(float t, const float* keys, int32_t count, float* out)
{
    constexpr int32_t kStride = 7;
    if (count == 0 || t < keys[0])
        return nullptr;
    int32_t lo = 0, hi = count - 1;
    while (lo < hi)
    {
        const int32_t mid = (lo + hi + 1) / 2;
        if (keys[mid * kStride] <= t)
            lo = mid;
        else
            hi = mid - 1;
    }
    const float* a = keys + lo * kStride;
    if (lo == count - 1)
    {
        std::copy(a + 1, a + 4, out);
        return out;
    }
    const float* b = a + kStride;
    const float f = (t - a[0]) / (b[0] - a[0]);
    for (int32_t i = 0; i < 3; ++i)
        out[i] = a[1 + i] + f * (b[1 + i] - a[1 + i]);
    return out;
}

void BM_BinaryLerp(benchmark::State& state)
{
    Fixture f(int32_t(state.range(0)));
    const int32_t count = f.track.KeyCount();
    float out[3];
    for (auto _ : state)
        for (float t : f.times)
            benchmark::DoNotOptimize(BinaryLerp(t, f.track.keys.data(), count, out));
    state.SetItemsProcessed(int64_t(state.iterations()) * kTimes);
}
BENCHMARK(BM_BinaryLerp)->Arg(2)->Arg(8)->Arg(64);

} // namespace

int main(int argc, char** argv)
{
    return BenchRunWithRatios(argc, argv,
                              {{"2 keys: scan / bisection", "BM_TrackEval/2", "BM_BinaryLerp/2"},
                               {"8 keys: scan / bisection", "BM_TrackEval/8", "BM_BinaryLerp/8"},
                               {"64 keys: scan / bisection", "BM_TrackEval/64", "BM_BinaryLerp/64"}},
                              "time per 256 evaluations of a 3-vector track spread over its keys");
}
