// Benchmark: reading a world of 10,000 sectors from a memory stream (one block carved in
// stream order, every index checked, a mesh header built per sector) against copying the
// stream's bytes, the least any reader must do.
#include "benchsupport.h"
#include "stream.h"
#include "world.h"
#include "worldwriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

constexpr int32_t kLeaves = 10000;

/// Leaves first..last - 1 along x, one unit each, as a balanced tree; the node's index.
int32_t Build(WorldDescription& w, int32_t first, int32_t last)
{
    auto index = int32_t(w.nodes.size());
    w.nodes.emplace_back();
    if (last - first == 1)
    {
        w.nodes[size_t(index)].leaf = first;
        return index;
    }
    int32_t middle = (first + last) / 2;
    int32_t left = Build(w, first, middle);
    int32_t right = Build(w, middle, last);
    WorldDescription::Node& node = w.nodes[size_t(index)];
    node.axis = 0;
    node.value = node.leftExtent = node.rightExtent = float(middle);
    node.left = left;
    node.right = right;
    return index;
}

std::vector<uint8_t> MakeWorld()
{
    WorldDescription w;
    w.format = 0x2 | 0x4 | 0x8 | 0x10 | 0x20;
    w.numTexCoordSets = 1;
    for (int32_t i = 0; i < kLeaves; ++i)
    {
        WorldDescription::Leaf leaf;
        auto x = float(i);
        leaf.materialBase = uint32_t(i % 2);
        leaf.positions = {x, 0, 0, x + 1, 0, 0, x, 1, 0, x + 1, 1, 0};
        leaf.normals.assign(4, {0, 0, 127, 0});
        leaf.prelit.assign(4, {255, 255, 255, 255});
        leaf.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
        leaf.triangles = {{0, 1, 2, 0}, {1, 3, 2, 1}};
        w.leaves.push_back(leaf);
    }
    Build(w, 0, kLeaves);
    w.materials.resize(3);
    w.listEntries = {0, 1, 2};
    return WorldWriter::Write(w);
}

std::vector<uint8_t>& Bytes()
{
    static std::vector<uint8_t> bytes = MakeWorld();
    return bytes;
}

void BM_Read(benchmark::State& state)
{
    std::vector<uint8_t>& bytes = Bytes();
    for (auto _ : state)
    {
        MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
        Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
        World* world = Stream::FindChunk(stream, 11, nullptr, nullptr) ? World::StreamRead(stream) : nullptr;
        Stream::Close(stream, nullptr);
        if (!world)
        {
            state.SkipWithError("the world was not read");
            break;
        }
        state.PauseTiming();
        World::Destroy(world);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_Read)->Name("WorldRead10k/stream read")->Unit(benchmark::kMillisecond);

void BM_Copy(benchmark::State& state)
{
    std::vector<uint8_t>& bytes = Bytes();
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state)
    {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_Copy)->Name("WorldRead10k/memcpy")->Unit(benchmark::kMillisecond);

bool Attach()
{
    return World::Attach() == 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(Attach))
    {
        std::fprintf(stderr, "engine start failed\n");
        return 1;
    }
    int result =
        BenchRunWithRatios(argc, argv, {{"stream read / memcpy", "WorldRead10k/stream read", "WorldRead10k/memcpy"}},
                           "the read builds a mesh header per sector, so it stays a large but constant "
                           "factor above the copy; a per-sector allocation or walk of the world list "
                           "would show as growth with the sector count");
    BenchStopEngine();
    return result;
}
