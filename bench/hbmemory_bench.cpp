// Benchmark: mixed small and large allocations, and a steady churn around about
// 1,000 live blocks, through the framework allocator against the system
// allocator; prints their time ratios at the end.
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

// Steady churn: about 1,000 live blocks, each step frees one at random and
// allocates a new one, so the free lists stay long and interleaved.
struct Churn
{
    static constexpr size_t kLive = 1000;
    static constexpr size_t kSteps = 8192;
    std::vector<size_t> sizes;
    std::vector<size_t> victims;
    Churn()
    {
        std::mt19937 rng(7);
        for (size_t i = 0; i < kLive + kSteps; ++i)
            sizes.push_back(rng() % 16 == 0 ? 1024 + rng() % 30000 : 8 + rng() % 1000);
        for (size_t i = 0; i < kSteps; ++i)
            victims.push_back(rng() % kLive);
    }
};
const Churn& GetChurn()
{
    static Churn churn;
    return churn;
}

template <void* (*Alloc)(size_t), void (*Free)(void*)> void RunChurn(benchmark::State& state)
{
    const Churn& churn = GetChurn();
    std::vector<void*> live(Churn::kLive);
    for (size_t i = 0; i < live.size(); ++i)
        live[i] = Alloc(churn.sizes[i]);
    for (auto _ : state)
    {
        for (size_t step = 0; step < Churn::kSteps; ++step)
        {
            size_t victim = churn.victims[step];
            Free(live[victim]);
            live[victim] = Alloc(churn.sizes[Churn::kLive + step]);
            benchmark::DoNotOptimize(live[victim]);
        }
    }
    for (void* p : live)
        Free(p);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Churn::kSteps));
}

void* SystemAlloc(size_t size) { return std::malloc(size); }
void SystemFree(void* pointer) { std::free(pointer); }

void BM_FrameworkNewDelete(benchmark::State& state) { Run<HbOperatorNew, HbOperatorDelete>(state); }
void BM_SystemMallocFree(benchmark::State& state) { Run<SystemAlloc, SystemFree>(state); }
void BM_FrameworkChurn(benchmark::State& state) { RunChurn<HbOperatorNew, HbOperatorDelete>(state); }
void BM_SystemChurn(benchmark::State& state) { RunChurn<SystemAlloc, SystemFree>(state); }
BENCHMARK(BM_FrameworkNewDelete);
BENCHMARK(BM_SystemMallocFree);
BENCHMARK(BM_FrameworkChurn);
BENCHMARK(BM_SystemChurn);

} // namespace

int main(int argc, char** argv)
{
    return BenchRunWithRatios(argc, argv,
                              {{"mixed small and large: framework / system", "BM_FrameworkNewDelete", "BM_SystemMallocFree"},
                               {"steady churn, 1,000 live blocks: framework / system", "BM_FrameworkChurn",
                                "BM_SystemChurn"}},
                              HbUsesSystemAllocator() ? "(this build routes the framework to the system allocator)"
                                                      : nullptr);
}
