// Tests of the pipeline heap: its size and first free block, merging freed neighbours in
// every order, reset (also by a pipeline execution), growth by further memory blocks, and a
// free-entry array that cannot grow.
#include "engine.h"
#include "error.h"
#include "pipeheap.h"
#include "pipeline.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace
{

class PipeHeaps : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
    }
};

/// The chain of one memory block, from its first block to its end header: {size, free}.
std::vector<std::pair<size_t, bool>> Chain(PipeHeap* heap)
{
    std::vector<std::pair<size_t, bool>> blocks;
    for (PipeHeapHeader* h = heap->firstHeader; h && h->size; h = h->next)
        blocks.push_back({h->size, h->freeEntry != nullptr});
    return blocks;
}

TEST_F(PipeHeaps, SmallSizesAreRaisedTo1024WithOneFreeBlockOf928)
{
    PipeHeap* heap = PipeHeap::Create(100);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->totalSize, 1024u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(heap->firstMemory->base) % 128, 0u);
    ASSERT_EQ(heap->freeCount, 1);
    EXPECT_EQ(heap->freeEntries[0].size, 928u);
    EXPECT_EQ(heap->freeEntries[0].header, heap->firstHeader);
    EXPECT_EQ(heap->needsReset, 0);
    PipeHeap::Destroy(heap);

    heap = PipeHeap::Create(1030);
    EXPECT_EQ(heap->totalSize, 1056u) << "rounded up to 32";
    PipeHeap::Destroy(heap);
}

TEST_F(PipeHeaps, ThreeFreedNeighboursBecomeOneBlockInAnyOrder)
{
    std::array<int, 3> order = {0, 1, 2};
    do
    {
        SCOPED_TRACE(::testing::Message() << order[0] << order[1] << order[2]);
        PipeHeap* heap = PipeHeap::Create(1024);
        std::array<void*, 4> blocks;
        for (void*& b : blocks)
            b = PipeHeap::Alloc(heap, 100);
        // The fourth keeps the three away from the rest, so the last free has neighbours on
        // one side only when it is not the middle one.
        EXPECT_EQ(heap->needsReset, 1);
        EXPECT_EQ(Chain(heap).size(), 5u);
        for (int i : order)
            EXPECT_EQ(PipeHeap::Free(heap, blocks[size_t(i)]), 1);
        auto chain = Chain(heap);
        ASSERT_EQ(chain.size(), 3u);
        EXPECT_EQ(chain[0], std::make_pair(size_t(3 * 128 + 2 * 32), true));
        EXPECT_EQ(chain[1].second, false);
        EXPECT_EQ(heap->freeCount, 2) << "the three and the remainder behind the fourth";
        PipeHeap::Free(heap, blocks[3]);
        EXPECT_EQ(Chain(heap), (std::vector<std::pair<size_t, bool>>{{928, true}}));
        EXPECT_EQ(heap->freeCount, 1);
        PipeHeap::Destroy(heap);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(PipeHeaps, ResetMakesEveryMemoryBlockOneFreeBlock)
{
    PipeHeap* heap = PipeHeap::Create(1024);
    ASSERT_NE(PipeHeap::Alloc(heap, 500), nullptr);
    void* big = PipeHeap::Alloc(heap, 2000);
    ASSERT_NE(big, nullptr) << "a request that fits nowhere adds a memory block";
    ASSERT_NE(heap->firstMemory->next, nullptr);
    EXPECT_EQ(PipeHeap::HeaderOf(big)->freeEntry, nullptr);
    PipeHeap::Reset(heap);
    EXPECT_EQ(heap->needsReset, 0);
    ASSERT_EQ(heap->freeCount, 2);
    EXPECT_EQ(heap->freeEntries[1].header, heap->firstHeader) << "the first memory block is laid out last";
    EXPECT_EQ(heap->freeEntries[1].size, 928u);
    EXPECT_EQ(heap->freeEntries[0].size, heap->firstMemory->next->size - 96);
    PipeHeap::Destroy(heap);
}

int32_t NothingBody(PipelineNode*, const NodeExecutionParameters*)
{
    return 1;
}

TEST_F(PipeHeaps, ExecutionResetsAUsedHeapWhenAsked)
{
    NodeDefinition node = {};
    node.name = "nothing.node";
    node.body = NothingBody;
    NodeDefinition* list[] = {&node, nullptr};
    Pipeline* pipeline = Pipeline::Create();
    ASSERT_TRUE(Pipeline::Lock(pipeline) && Pipeline::AppendNodes(pipeline, nullptr, list) &&
                Pipeline::Unlock(pipeline));
    PipeHeap* heap = Pipeline::GetHeap();
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->totalSize, Pipeline::kHeapSize);
    PipeHeap::Alloc(heap, 64);
    ASSERT_EQ(Pipeline::Execute(pipeline, nullptr, 0), pipeline);
    EXPECT_EQ(heap->needsReset, 1) << "not without the flag";
    ASSERT_EQ(Pipeline::Execute(pipeline, nullptr, 1), pipeline);
    EXPECT_EQ(heap->needsReset, 0);
    ASSERT_EQ(heap->freeCount, 1);
    EXPECT_EQ(heap->freeEntries[0].size, Pipeline::kHeapSize - 96);
    Pipeline::Destroy(pipeline);
}

TEST_F(PipeHeaps, AFreeThatNeedsAnEntryTheArrayCannotHoldKeepsTheBlockInUse)
{
    PipeHeap* heap = PipeHeap::Create(8192);
    std::vector<void*> blocks;
    for (int i = 0; i < 70; ++i)
        blocks.push_back(PipeHeap::Alloc(heap, 32));
    // Every other block freed, each between two blocks in use: one entry each, besides the
    // remainder's, until the array of 32 is full.
    for (int i = 0; i < 62; i += 2)
        ASSERT_EQ(PipeHeap::Free(heap, blocks[size_t(i)]), 1);
    ASSERT_EQ(heap->freeCount, heap->freeCapacity);
    TestMemory::refuse = [](size_t, uint32_t hint) { return (hint & kMemoryHintResize) != 0; };
    Error e;
    Error::Get(&e);
    EXPECT_EQ(PipeHeap::Free(heap, blocks[62]), 0);
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrNoMemory);
    EXPECT_EQ(heap->freeCount, heap->freeCapacity);
    EXPECT_EQ(PipeHeap::HeaderOf(blocks[62])->freeEntry, nullptr) << "in use until the next reset";
    // Freeing a neighbour of a free block needs no entry.
    EXPECT_EQ(PipeHeap::Free(heap, blocks[1]), 1);
    TestMemory::refuse = nullptr;
    EXPECT_EQ(PipeHeap::Free(heap, blocks[64]), 1);
    EXPECT_EQ(PipeHeap::Free(heap, blocks[66]), 1);
    EXPECT_EQ(heap->freeCapacity, 64) << "grown by 32 once memory comes back";
    PipeHeap::Reset(heap);
    EXPECT_EQ(heap->freeCount, 1);
    PipeHeap::Destroy(heap);
}

} // namespace
