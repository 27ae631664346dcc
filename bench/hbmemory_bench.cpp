// Benchmark: mixed small and large allocations through the framework allocator
// against the system allocator; prints their time ratio at the end.
#include "benchsupport.h"
#include "hbmemory.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

// A fixed mixed pattern: mostly small objects, some large blocks, frees in a
// shuffled order so that both allocators see fragmentation.
struct Pattern
{
    std::vector<size_t> sizes;
    std::vector<size_t> freeOrder;
    Pattern()
    {
        std::mt19937 rng(42);
        for (int i = 0; i < 4096; ++i)
            sizes.push_back(rng() % 8 == 0 ? 1024 + rng() % 60000 : 8 + rng() % 512);
        for (size_t i = 0; i < sizes.size(); ++i)
            freeOrder.push_back(i);
        std::shuffle(freeOrder.begin(), freeOrder.end(), rng);
    }
};
const Pattern& GetPattern()
{
    static Pattern pattern;
    return pattern;
}

template <void* (*Alloc)(size_t), void (*Free)(void*)> void Run(benchmark::State& state)
{
    const Pattern& pattern = GetPattern();
    std::vector<void*> blocks(pattern.sizes.size());
    for (auto _ : state)
    {
        for (size_t i = 0; i < blocks.size(); ++i)
        {
            blocks[i] = Alloc(pattern.sizes[i]);
            benchmark::DoNotOptimize(blocks[i]);
        }
        for (size_t i : pattern.freeOrder)
            Free(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(blocks.size()));
}

void* SystemAlloc(size_t size) { return std::malloc(size); }
void SystemFree(void* pointer) { std::free(pointer); }

void BM_FrameworkNewDelete(benchmark::State& state) { Run<HbOperatorNew, HbOperatorDelete>(state); }
void BM_SystemMallocFree(benchmark::State& state) { Run<SystemAlloc, SystemFree>(state); }
BENCHMARK(BM_FrameworkNewDelete);
BENCHMARK(BM_SystemMallocFree);

} // namespace

int main(int argc, char** argv)
{
    return BenchRunWithRatios(argc, argv,
                              {{"framework / system", "BM_FrameworkNewDelete", "BM_SystemMallocFree"}},
                              HbUsesSystemAllocator() ? "(this build routes the framework to the system allocator)"
                                                      : nullptr);
}
