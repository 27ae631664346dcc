// Benchmark: the texture path's image work on a 1024 x 1024 image: resampling it and
// quantising it to 256 colours, each against a plain copy of its pixels; prints the time
// ratios at the end.
#include "benchsupport.h"
#include "image.h"
#include "palettequantizer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>

namespace
{

constexpr int32_t kSize = 1024;

/// A photo-like source: smooth gradients with noise, so the quantiser sees many colours.
Image* Source()
{
    static Image* image = []
    {
        Image* made = Image::Create(kSize, kSize, 32);
        Image::AllocatePixels(made);
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> noise(-12, 12);
        for (int32_t y = 0; y < kSize; ++y)
            for (int32_t x = 0; x < kSize; ++x)
            {
                uint8_t* p = made->pixels + size_t(y) * size_t(made->stride) + 4 * size_t(x);
                const int values[4] = {x / 4 + noise(rng), y / 4 + noise(rng), (x + y) / 8 + noise(rng),
                                       ((x / 64 + y / 64) & 1) ? 255 : 128};
                for (int c = 0; c < 4; ++c)
                    p[c] = uint8_t(values[c] < 0 ? 0 : values[c] > 255 ? 255 : values[c]);
            }
        return made;
    }();
    return image;
}

void BM_Copy(benchmark::State& state)
{
    Image* source = Source();
    Image* copy = Image::Create(kSize, kSize, 32);
    Image::AllocatePixels(copy);
    for (auto _ : state)
    {
        Image::CopyPixels(copy, source);
        benchmark::DoNotOptimize(copy->pixels);
    }
    Image::Destroy(copy);
}
BENCHMARK(BM_Copy)->Name("Image/copy")->Unit(benchmark::kMillisecond);

void BM_Resample(benchmark::State& state)
{
    Image* source = Source();
    const int32_t size = int32_t(state.range(0));
    Image* result = Image::Create(size, size, 32);
    Image::AllocatePixels(result);
    for (auto _ : state)
    {
        Image::Resample(result, source);
        benchmark::DoNotOptimize(result->pixels);
    }
    Image::Destroy(result);
}
BENCHMARK(BM_Resample)->Name("Image/resample")->Arg(512)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_Quantise(benchmark::State& state)
{
    Image* source = Source();
    std::unique_ptr<uint8_t[]> indices(new uint8_t[size_t(kSize) * kSize]);
    uint8_t palette[1024];
    auto quantizer = std::make_unique<PaletteQuantizer>();
    for (auto _ : state)
    {
        PaletteQuantizer::Init(quantizer.get());
        PaletteQuantizer::AddImage(quantizer.get(), source, 1.0f);
        PaletteQuantizer::MakePalette(palette, 256, quantizer.get());
        PaletteQuantizer::MatchImage(indices.get(), kSize, 8, 0, quantizer.get(), source);
        PaletteQuantizer::Term(quantizer.get());
        benchmark::DoNotOptimize(indices.get());
    }
}
BENCHMARK(BM_Quantise)->Name("Image/quantise")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine())
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(argc, argv,
                                    {{"resample to 512 / copy", "Image/resample/512", "Image/copy"},
                                     {"resample to 1000 / copy", "Image/resample/1000", "Image/copy"},
                                     {"quantise to 256 colours / copy", "Image/quantise", "Image/copy"}},
                                    "1024 x 1024 32-bit source");
    BenchStopEngine();
    return result;
}
