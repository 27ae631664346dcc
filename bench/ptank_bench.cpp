// Benchmark: the particle tank's instancing callbacks at 20,000 particles, each position
// callback with the colour callback writing quads of position and colour (16-byte
// vertices), and point sprites (one vertex per particle), against a plain loop that writes
// the same vertex bytes already computed. Prints particles per second (items) and the ratios.
#include "benchsupport.h"
#include "ptank.h"
#include "ptankd3d9.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

constexpr int32_t kParticles = 20000;
constexpr int32_t kStride = 16;

struct Tank
{
    std::vector<float> positions = std::vector<float>(size_t(3 * kParticles));
    std::vector<float> sizes = std::vector<float>(size_t(2 * kParticles));
    std::vector<float> rotations = std::vector<float>(size_t(kParticles));
    std::vector<Matrix> matrices = std::vector<Matrix>(size_t(kParticles));
    std::vector<Rgba> colours = std::vector<Rgba>(size_t(kParticles));
    PTankData data{};

    Tank()
    {
        for (int32_t i = 0; i < kParticles; ++i)
        {
            const float f = float(i);
            positions[size_t(3 * i)] = std::sin(f);
            positions[size_t(3 * i + 1)] = std::cos(f);
            positions[size_t(3 * i + 2)] = 2.0f + 0.001f * f;
            sizes[size_t(2 * i)] = 0.5f + 0.0001f * f;
            sizes[size_t(2 * i + 1)] = 0.25f;
            rotations[size_t(i)] = 0.01f * f;
            Matrix& m = matrices[size_t(i)];
            std::memset(&m, 0, sizeof(m));
            m.right = {std::cos(f), std::sin(f), 0};
            m.up = {-std::sin(f), std::cos(f), 0};
            m.at = {0, 0, 1};
            m.pos = {positions[size_t(3 * i)], positions[size_t(3 * i + 1)], 2};
            colours[size_t(i)] = {uint8_t(i), uint8_t(i >> 8), 128, 255};
        }
        data.slots[kPTankSlotPosition] = {positions.data(), 12};
        data.slots[kPTankSlotSize] = {sizes.data(), 8};
        data.slots[kPTankSlotRotation] = {rotations.data(), 4};
        data.slots[kPTankSlotMatrix] = {matrices.data(), int32_t(sizeof(Matrix))};
        data.slots[kPTankSlotColour] = {colours.data(), 4};
        data.size = {1, 1};
        data.format.dataFlags = kPTankPosition | kPTankColour;
    }
};

Tank& TheTank()
{
    static Tank tank;
    return tank;
}

void Report(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * kParticles);
}

void Quads(benchmark::State& state, PTankPositionCallback position)
{
    Tank& tank = TheTank();
    std::vector<uint8_t> vertices(size_t(4 * kParticles * kStride));
    const PTankSlot out = {vertices.data(), kStride}, colours = {vertices.data() + 12, kStride};
    const Vector A = {-1, 0, 0}, B = {0, 1, 0};
    for (auto _ : state)
    {
        position(&out, &A, &B, kParticles, &tank.data);
        PTankCallback::Colour(&colours, kParticles, &tank.data);
        benchmark::ClobberMemory();
    }
    Report(state);
}

// The floor: the same bytes, computed beforehand, written vertex by vertex at the stride.
void Plain(benchmark::State& state, int32_t verticesPerParticle, int32_t stride)
{
    const size_t bytes = size_t(verticesPerParticle) * kParticles * size_t(stride);
    std::vector<uint8_t> source(bytes, 0x5A), vertices(bytes);
    for (auto _ : state)
    {
        const uint8_t* from = source.data();
        uint8_t* to = vertices.data();
        for (int32_t v = 0; v < verticesPerParticle * kParticles; ++v, from += stride, to += stride)
        {
            std::memcpy(to, from, 12);
            std::memcpy(to + 12, from + 12, size_t(stride - 12));
        }
        benchmark::ClobberMemory();
    }
    Report(state);
}

void BM_Plain(benchmark::State& state)
{
    Quads(state, PTankCallback::QuadConstant);
}
BENCHMARK(BM_Plain)->Name("Quads/plain");
BENCHMARK_CAPTURE(Quads, size, PTankCallback::QuadSize)->Name("Quads/size");
BENCHMARK_CAPTURE(Quads, rotated, PTankCallback::QuadRotated)->Name("Quads/rotated");
BENCHMARK_CAPTURE(Quads, rotatedSize, PTankCallback::QuadRotatedSize)->Name("Quads/rotated+size");
BENCHMARK_CAPTURE(Quads, matrix, PTankCallback::QuadMatrix)->Name("Quads/matrix");
BENCHMARK_CAPTURE(Plain, quads, 4, kStride)->Name("Quads/copy");

void BM_PointSprites(benchmark::State& state)
{
    Tank& tank = TheTank();
    std::vector<uint8_t> vertices(size_t(kParticles * kStride));
    const PTankSlot out = {vertices.data(), kStride}, colours = {vertices.data() + 12, kStride};
    for (auto _ : state)
    {
        PTankD3D9::Point(&out, nullptr, nullptr, kParticles, &tank.data);
        PTankD3D9::PointColour(&colours, kParticles, &tank.data);
        benchmark::ClobberMemory();
    }
    Report(state);
}
BENCHMARK(BM_PointSprites)->Name("Points/sprites");
BENCHMARK_CAPTURE(Plain, points, 1, kStride)->Name("Points/copy");

} // namespace

int main(int argc, char** argv)
{
    return BenchRunWithRatios(argc, argv,
                              {{"20000 quads, constant size: callbacks / copy", "Quads/plain", "Quads/copy"},
                               {"20000 quads, sized: callbacks / copy", "Quads/size", "Quads/copy"},
                               {"20000 quads, rotated: callbacks / copy", "Quads/rotated", "Quads/copy"},
                               {"20000 quads, rotated and sized: callbacks / copy", "Quads/rotated+size", "Quads/copy"},
                               {"20000 quads, matrix: callbacks / copy", "Quads/matrix", "Quads/copy"},
                               {"20000 point sprites: callbacks / copy", "Points/sprites", "Points/copy"}},
                              "items_per_second / 1000 is particles per millisecond; the copy writes the same vertex\n"
                              "bytes computed beforehand");
}
