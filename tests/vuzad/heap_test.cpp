// Tests of the block heap: where the first block lies, the split threshold, the hint, and
// merging free neighbours back into one block whatever the order of release.
#include "heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace
{

// A 32-byte-aligned area of a given size.
class Area
{
public:
    explicit Area(size_t size) : mBytes(size + 32) {}
    void* Start()
    {
        auto address = reinterpret_cast<uintptr_t>(mBytes.data());
        return reinterpret_cast<void*>((address + 31) & ~uintptr_t(31));
    }
    Heap* Laid(size_t size)
    {
        EXPECT_EQ(Heap::Init(Start(), size), 1);
        return static_cast<Heap*>(Start());
    }

private:
    std::vector<uint8_t> mBytes;
};

std::vector<uint32_t> FreeSizes(const Heap* heap)
{
    std::vector<uint32_t> sizes;
    for (const HeapBlock* b = heap->first; b; b = b->next)
        if (!(b->used & 1))
            sizes.push_back(b->size);
    return sizes;
}

// Every block's links agree and the blocks tile the area without gaps.
void ExpectTiled(const Heap* heap)
{
    const HeapBlock* prev = nullptr;
    for (const HeapBlock* b = heap->first; b; b = b->next)
    {
        EXPECT_EQ(b->prev, prev);
        EXPECT_EQ(b->heap, heap);
        if (b->next)
        {
            EXPECT_EQ(reinterpret_cast<const char*>(b->next), reinterpret_cast<const char*>(b + 1) + b->size);
        }
        prev = b;
    }
}

TEST(BlockHeap, FirstBlockLiesOneGranuleInAndTheFirstAllocationSplitsIt)
{
    Area area(1024);
    Heap* heap = area.Laid(1024);
    ASSERT_EQ(reinterpret_cast<char*>(heap->first), static_cast<char*>(area.Start()) + 32);
    EXPECT_EQ(heap->first->size, 960u);
    EXPECT_EQ(heap->firstFree, heap->first);

    void* p = Heap::Alloc(heap, 1);
    ASSERT_EQ(p, reinterpret_cast<char*>(heap->first) + 32);
    EXPECT_EQ(heap->first->size, 32u);
    EXPECT_EQ(FreeSizes(heap), (std::vector<uint32_t>{896}));
    EXPECT_EQ(heap->firstFree, heap->first->next) << "the hint moves to the next free block";
    ExpectTiled(heap);
}

TEST(BlockHeap, InitRefusesAnAreaWithoutRoomForOneGranule)
{
    Area area(256);
    EXPECT_EQ(Heap::Init(area.Start(), 95), 0) << "header at 32, end at 64: no usable bytes";
    EXPECT_EQ(Heap::Init(area.Start(), 96), 1);
    EXPECT_EQ(static_cast<Heap*>(area.Start())->first->size, 32u);
    EXPECT_EQ(Heap::Init(nullptr, 1024), 0);
}

// A remainder of 64 bytes or less stays inside the allocated block.
TEST(BlockHeap, SplitsOnlyWhenMoreThanTwoGranulesWouldRemain)
{
    const struct
    {
        uint32_t freeSize;
        size_t request;
        uint32_t taken;
        std::vector<uint32_t> left;
    } cases[] = {
        {160, 100, 160, {}},                         // 160 is not above 128 + 64
        {192, 128, 192, {}},                         // exactly 64 over: kept
        {224, 128, 128, {64}},                       // 96 over: 64 after the new header
        {160, 160, 160, {}},   {160, 161, 0, {160}}, // does not fit
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.freeSize);
        Area area(c.freeSize + 64);
        Heap* heap = area.Laid(c.freeSize + 64);
        ASSERT_EQ(heap->first->size, c.freeSize);
        void* p = Heap::Alloc(heap, c.request);
        if (c.taken == 0)
        {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(heap->firstFree, heap->first);
        }
        else
        {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(Heap::BlockOf(p)->size, c.taken);
            EXPECT_EQ(heap->firstFree == nullptr, c.left.empty());
        }
        EXPECT_EQ(FreeSizes(heap), c.left);
        ExpectTiled(heap);
    }
}

// Three used blocks with the free rest behind them, released in every order, merge into
// the single block the heap started with.
TEST(BlockHeap, ReleasingNeighboursInAnyOrderLeavesOneFreeBlock)
{
    std::array<int, 3> order = {0, 1, 2};
    do
    {
        SCOPED_TRACE(testing::PrintToString(order));
        Area area(1024);
        Heap* heap = area.Laid(1024);
        void* blocks[3] = {Heap::Alloc(heap, 64), Heap::Alloc(heap, 96), Heap::Alloc(heap, 32)};
        for (void* b : blocks)
            ASSERT_NE(b, nullptr);
        EXPECT_EQ(FreeSizes(heap), (std::vector<uint32_t>{960 - 64 - 96 - 32 - 3 * 32}));
        for (int i : order)
        {
            Heap::Free(blocks[i]);
            ExpectTiled(heap);
        }
        EXPECT_EQ(FreeSizes(heap), (std::vector<uint32_t>{960}));
        EXPECT_EQ(heap->firstFree, heap->first);
        EXPECT_EQ(heap->first->next, nullptr);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(BlockHeap, TheHintStaysOnTheFirstFreeBlock)
{
    Area area(1024);
    Heap* heap = area.Laid(1024);
    void* a = Heap::Alloc(heap, 64);
    void* b = Heap::Alloc(heap, 64);
    void* c = Heap::Alloc(heap, 64);
    Heap::Free(b);
    EXPECT_EQ(heap->firstFree, Heap::BlockOf(b)) << "a freed block before the hint becomes the hint";
    Heap::Free(c);
    EXPECT_EQ(heap->firstFree, Heap::BlockOf(b)) << "a block after the hint leaves it";
    EXPECT_EQ(FreeSizes(heap).size(), 1u) << "b, c and the rest merged";

    // First fit from the hint: the freed space is used before anything further on.
    EXPECT_EQ(Heap::Alloc(heap, 64), b);
    Heap::Free(a);
    EXPECT_EQ(heap->firstFree, heap->first);
    EXPECT_EQ(Heap::Alloc(heap, 2048), nullptr);
}

TEST(BlockHeap, SplittingBeforeAFreeBlockAbsorbsIt)
{
    Area area(1024);
    Heap* heap = area.Laid(1024);
    void* p = Heap::Alloc(heap, 256);
    HeapBlock* block = Heap::BlockOf(p);
    ASSERT_EQ(FreeSizes(heap), (std::vector<uint32_t>{960 - 256 - 32}));
    Heap::Split(block, 64);
    EXPECT_EQ(block->size, 64u);
    EXPECT_EQ(FreeSizes(heap), (std::vector<uint32_t>{960 - 64 - 32})) << "the cut and the free rest are one";
    ExpectTiled(heap);
}

} // namespace
