// Tests of the framework heap and the arenas: block arithmetic, splitting,
// coalescing, reallocation and list order, with a full walk after each step.
#include "hbarena.h"
#include "hbheap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace
{

// A heap over a buffer of its own, checked after every operation.
class HeapFixture : public ::testing::Test
{
protected:
    void Make(size_t bytes, uint32_t alignment)
    {
        mBuffer.assign(bytes + 64, 0);
        ASSERT_TRUE(mHeap.Init(mBuffer.data(), mBuffer.data() + bytes, alignment));
        Verify();
    }
    void Verify() { ASSERT_EQ(mHeap.Check(), ""); }
    void* Alloc(size_t size)
    {
        void* p = mHeap.Alloc(size);
        EXPECT_EQ(mHeap.Check(), "") << "after Alloc(" << size << ")";
        return p;
    }
    void Free(void* p)
    {
        mHeap.Free(p);
        EXPECT_EQ(mHeap.Check(), "") << "after Free";
    }
    uint32_t FreeSizeAt(void* pointer)
    {
        size_t offset = static_cast<uint8_t*>(pointer) - 4 - mBuffer.data();
        for (auto& b : mHeap.Blocks())
            if (b.offset == offset)
                return b.free ? b.size : 0;
        return 0;
    }

    std::vector<uint8_t> mBuffer;
    HbHeap mHeap;
};

TEST_F(HeapFixture, BlockSizeFollowsRequestWithAlignment8)
{
    Make(4096, 8);
    struct Case
    {
        size_t request;
        uint32_t block;
    } cases[] = {{0, 16}, {1, 16}, {8, 16}, {12, 16}, {13, 24}, {20, 24}, {21, 32}, {100, 104}};
    for (auto c : cases)
    {
        void* p = Alloc(c.request);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(mHeap.BlockSize(p), c.block) << "request " << c.request;
    }
}

TEST_F(HeapFixture, FirstCallerPointerIs32ByteAlignedAndAlignment16Holds)
{
    Make(4096, 16);
    void* first = Alloc(10);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 32, 0u);
    for (size_t size : {1, 13, 29, 100, 7})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(Alloc(size)) % 16, 0u) << size;
    EXPECT_EQ(mHeap.BlockSize(first), 16u);
}

TEST_F(HeapFixture, FreeBlockOf40IsSplitOneOf32IsTakenWhole)
{
    Make(4096, 8);
    // A 40-byte hole and a 32-byte hole, each fenced by allocated blocks.
    void* hole40 = Alloc(36);
    void* fence1 = Alloc(8);
    void* hole32 = Alloc(28);
    void* fence2 = Alloc(8);
    ASSERT_EQ(mHeap.BlockSize(hole40), 40u);
    ASSERT_EQ(mHeap.BlockSize(hole32), 32u);
    Free(hole40);
    Free(hole32);
    uint32_t freeBlocks = mHeap.FreeBlockCount();

    // Best fit: 16 bytes come from the 32-byte hole, taken whole (16 would remain).
    void* a = Alloc(12);
    EXPECT_EQ(a, hole32);
    EXPECT_EQ(mHeap.BlockSize(a), 32u);
    EXPECT_EQ(mHeap.FreeBlockCount(), freeBlocks - 1);

    // Next best fit is the 40-byte hole, split with 24 bytes left free.
    void* b = Alloc(12);
    EXPECT_EQ(b, hole40);
    EXPECT_EQ(mHeap.BlockSize(b), 16u);
    EXPECT_EQ(FreeSizeAt(static_cast<uint8_t*>(b) + 16), 24u);
    EXPECT_EQ(mHeap.FreeBlockCount(), freeBlocks - 1);
    (void)fence1;
    (void)fence2;
}

TEST_F(HeapFixture, EqualSizedHolesFirstFoundWins)
{
    Make(4096, 8);
    void* h1 = Alloc(20);
    Alloc(8);
    void* h2 = Alloc(20);
    Alloc(8);
    Free(h1);
    Free(h2); // h2 becomes the head of the free list, so it is found first
    EXPECT_EQ(Alloc(20), h2);
}

TEST_F(HeapFixture, NeighboursFreedInEveryOrderCoalesceIntoOneBlock)
{
    std::vector<int> order = {0, 1, 2};
    do
    {
        Make(4096, 8);
        void* p[3] = {Alloc(20), Alloc(36), Alloc(52)};
        void* fence = Alloc(8);
        uint32_t total = mHeap.BlockSize(p[0]) + mHeap.BlockSize(p[1]) + mHeap.BlockSize(p[2]);
        uint32_t before = mHeap.FreeBlockCount();
        for (int i : order)
            Free(p[i]);
        EXPECT_EQ(mHeap.FreeBlockCount(), before + 1) << order[0] << order[1] << order[2];
        EXPECT_EQ(FreeSizeAt(p[0]), total);
        (void)fence;
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(HeapFixture, FreeingNextToTheTailMergesWithIt)
{
    Make(4096, 8);
    void* a = Alloc(20);
    void* b = Alloc(20);
    Free(b); // merges with the free tail
    EXPECT_EQ(mHeap.FreeBlockCount(), 1u);
    Free(a);
    EXPECT_EQ(mHeap.FreeBlockCount(), 1u);
    EXPECT_EQ(mHeap.Blocks().size(), 1u);
}

TEST_F(HeapFixture, DoubleFreeAndForeignPointersAreIgnored)
{
    Make(4096, 8);
    void* a = Alloc(20);
    Alloc(8);
    Free(a);
    auto before = mHeap.Blocks();
    Free(a);
    int local = 0;
    Free(&local);
    Free(nullptr);
    EXPECT_EQ(mHeap.Blocks().size(), before.size());
    EXPECT_EQ(mHeap.FreeBlockCount(), 2u);
}

TEST_F(HeapFixture, ReallocGrowsInPlaceMovesAndShrinks)
{
    Make(8192, 8);
    // Grow into the free tail, splitting it.
    auto* a = static_cast<uint8_t*>(Alloc(20));
    std::memset(a, 0xAB, 20);
    EXPECT_EQ(mHeap.Realloc(a, 200), a);
    Verify();
    EXPECT_EQ(mHeap.BlockSize(a), 208u);

    // Grow by absorbing a small free neighbour whole (excess below 24).
    void* b = Alloc(36); // 40-byte block
    void* fence = Alloc(8);
    auto* c = static_cast<uint8_t*>(Alloc(20)); // 24-byte block, moved below
    (void)c;
    Free(fence);
    fence = nullptr;
    // b's neighbour is now a 16-byte free block followed by c: grow b by 8
    uint32_t frees = mHeap.FreeBlockCount();
    EXPECT_EQ(mHeap.Realloc(b, 48), b);
    Verify();
    EXPECT_EQ(mHeap.BlockSize(b), 56u);
    EXPECT_EQ(mHeap.FreeBlockCount(), frees - 1);

    // Growing past an allocated neighbour moves and keeps the bytes.
    auto* moved = static_cast<uint8_t*>(mHeap.Realloc(a, 1000));
    Verify();
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, a);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(moved[i], 0xAB);

    // Shrinking by more than 8 bytes frees the tail; by 8 or less changes nothing.
    EXPECT_EQ(mHeap.Realloc(moved, 500), moved);
    Verify();
    EXPECT_EQ(mHeap.BlockSize(moved), 504u);
    EXPECT_EQ(mHeap.Realloc(moved, 492), moved);
    EXPECT_EQ(mHeap.BlockSize(moved), 504u);
    Verify();
}

TEST_F(HeapFixture, OversizedAndOverflowingRequestsAreRefused)
{
    Make(4096, 8);
    void* a = Alloc(16);
    std::memset(a, 0x5A, 16);
    for (size_t size : {size_t(5000), size_t(0x0FFFFFFC), size_t(0xFFFFFFFC), SIZE_MAX, SIZE_MAX - 3})
    {
        EXPECT_EQ(mHeap.Alloc(size), nullptr) << size;
        EXPECT_EQ(mHeap.Realloc(a, size), nullptr) << size;
    }
    Verify();
    EXPECT_EQ(static_cast<uint8_t*>(a)[15], 0x5A);
}

TEST_F(HeapFixture, RandomSequencesKeepEveryInvariant)
{
    std::mt19937 rng(1234);
    for (uint32_t alignment : {8u, 16u})
    {
        Make(1 << 16, alignment);
        std::vector<std::pair<uint8_t*, size_t>> live;
        for (int step = 0; step < 3000; ++step)
        {
            int op = rng() % 3;
            if (op == 0 || live.empty())
            {
                size_t size = rng() % 700;
                auto* p = static_cast<uint8_t*>(mHeap.Alloc(size));
                if (p)
                {
                    std::memset(p, static_cast<int>(size & 0xFF), size);
                    live.push_back({p, size});
                }
            }
            else if (op == 1)
            {
                size_t i = rng() % live.size();
                mHeap.Free(live[i].first);
                live.erase(live.begin() + static_cast<long>(i));
            }
            else
            {
                size_t i = rng() % live.size();
                size_t size = rng() % 900;
                auto* p = static_cast<uint8_t*>(mHeap.Realloc(live[i].first, size));
                if (p)
                {
                    size_t keep = std::min(size, live[i].second);
                    for (size_t k = 0; k < keep; ++k)
                        ASSERT_EQ(p[k], live[i].second & 0xFF);
                    std::memset(p, static_cast<int>(size & 0xFF), size);
                    live[i] = {p, size};
                }
            }
            ASSERT_EQ(mHeap.Check(), "") << "step " << step;
        }
        for (auto& l : live)
            mHeap.Free(l.first);
        ASSERT_EQ(mHeap.Check(), "");
        EXPECT_EQ(mHeap.FreeBlockCount(), 1u);
    }
}

TEST(HbHeapInit, AreaTooSmallIsRefused)
{
    std::vector<uint8_t> buffer(128);
    HbHeap heap;
    EXPECT_FALSE(heap.Init(buffer.data(), buffer.data() + 40, 8));
    EXPECT_EQ(heap.Alloc(1), nullptr);
    EXPECT_TRUE(heap.Init(buffer.data(), buffer.data() + 128, 8));
    EXPECT_NE(heap.Alloc(1), nullptr);
}

// ---- Arenas ---------------------------------------------------------------------

class ArenaFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mBuffer.assign(1 << 20, 0);
        ASSERT_TRUE(mHeap.Init(mBuffer.data(), mBuffer.data() + mBuffer.size(), 16));
    }
    void Make(size_t size)
    {
        mArena.Init(size, &mHeap);
        ASSERT_TRUE(mArena.Exists());
    }
    size_t Offset(void* p) { return static_cast<uint8_t*>(p) - static_cast<const uint8_t*>(mArena.Base()); }

    std::vector<uint8_t> mBuffer;
    HbHeap mHeap;
    HbArena mArena;
};

TEST_F(ArenaFixture, SplitRoundsToSixteenAndPointersAreAligned)
{
    Make(4096);
    void* a = mArena.Alloc(20);
    void* b = mArena.Alloc(1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(Offset(a), 16u); // the base is aligned, so the first block starts at base + 16
    EXPECT_EQ(mArena.BlockSize(a), 32u);
    EXPECT_EQ(static_cast<uint8_t*>(b), static_cast<uint8_t*>(a) + 32 + 16);
    EXPECT_EQ(mArena.Check(), "");
    auto used = mArena.UsedList();
    ASSERT_EQ(used.size(), 2u);
    EXPECT_EQ(used[0].offset, Offset(b)); // newest first
}

TEST_F(ArenaFixture, ExactSizeBeatsASmallerLargerBlock)
{
    Make(4096);
    void* big = mArena.Alloc(64);
    mArena.Alloc(16);
    void* small = mArena.Alloc(48);
    mArena.Alloc(16);
    mArena.Free(small);
    mArena.Free(big); // the free list now reads 64, 48, tail
    ASSERT_EQ(mArena.Check(), "");
    // 48 fits in the 48 block (smallest larger than 40) ...
    EXPECT_EQ(mArena.Alloc(40), small);
    mArena.Free(small);
    // ... but a request of exactly 64 takes the 64 block at once.
    EXPECT_EQ(mArena.Alloc(64), big);
    EXPECT_EQ(mArena.Check(), "");
}

TEST_F(ArenaFixture, FreeListStaysInAddressOrderUnderAnyFreeOrder)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 50; ++round)
    {
        Make(8192);
        std::vector<void*> blocks;
        for (int i = 0; i < 12; ++i)
            blocks.push_back(mArena.Alloc(16 + 16 * (rng() % 5)));
        std::shuffle(blocks.begin(), blocks.end(), rng);
        for (void* p : blocks)
        {
            mArena.Free(p);
            ASSERT_EQ(mArena.Check(), "") << "round " << round;
        }
        // Everything coalesced back into one block.
        auto list = mArena.FreeList();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].offset, 16u);
        mArena.Release();
    }
}

TEST_F(ArenaFixture, HighestBlockFreedLastJoinsTheEndOfTheList)
{
    Make(256);
    // Fill the arena exactly so that no free tail remains above the last block.
    void* a = mArena.Alloc(16);
    void* b = mArena.Alloc(16);
    void* c = mArena.Alloc(16);
    size_t rest = mArena.FreeList().at(0).size;
    void* d = mArena.Alloc(rest);
    ASSERT_TRUE(mArena.FreeList().empty());
    mArena.Free(a);
    mArena.Free(c);
    mArena.Free(d); // merges with c, which lies below it
    ASSERT_EQ(mArena.Check(), "");
    auto list = mArena.FreeList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].offset, Offset(c));
    (void)b;
}

TEST_F(ArenaFixture, ReallocCopiesAndZeroFrees)
{
    Make(4096);
    auto* a = static_cast<uint8_t*>(mArena.Alloc(16));
    std::memset(a, 7, 16);
    auto* b = static_cast<uint8_t*>(mArena.Realloc(a, 100));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b[15], 7);
    EXPECT_EQ(mArena.Realloc(b, 0), nullptr);
    EXPECT_TRUE(mArena.UsedList().empty());
    EXPECT_EQ(mArena.Realloc(nullptr, 5000), nullptr); // larger than the arena
    EXPECT_EQ(mArena.Check(), "");
}

TEST_F(ArenaFixture, DoubleFreeIsIgnoredAndEmptyArenaYieldsNothing)
{
    Make(1024);
    void* a = mArena.Alloc(32);
    mArena.Alloc(32);
    mArena.Free(a);
    mArena.Free(a);
    EXPECT_EQ(mArena.Check(), "");
    EXPECT_EQ(mArena.UsedList().size(), 1u);

    HbArena tooBig;
    tooBig.Init(size_t(4) << 20, &mHeap); // more than the heap holds
    EXPECT_FALSE(tooBig.Exists());
    EXPECT_EQ(tooBig.Alloc(16), nullptr);
}

// The audio and video threads allocate beside the main one: blocks handed out
// concurrently never overlap, and the lists hold afterwards.
TEST_F(ArenaFixture, ConcurrentAllocationsNeverShareABlock)
{
    Make(256 * 1024);
    auto worker = [this](uint8_t tag) {
        std::mt19937 rng(tag);
        std::vector<std::pair<uint8_t*, size_t>> live;
        for (int step = 0; step < 20000; ++step)
        {
            if (live.size() < 16 && rng() % 2 == 0)
            {
                size_t size = 1 + rng() % 200;
                bool fromArena = rng() % 2 == 0;
                auto* p = static_cast<uint8_t*>(fromArena ? mArena.Alloc(size) : mHeap.Alloc(size));
                if (p)
                {
                    std::memset(p, tag, size);
                    live.push_back({p, size});
                }
            }
            else if (!live.empty())
            {
                auto [p, size] = live[rng() % live.size()];
                for (size_t i = 0; i < size; ++i)
                    ASSERT_EQ(p[i], tag) << "a block was handed out twice";
                if (mArena.Contains(p))
                    mArena.Free(p);
                else
                    mHeap.Free(p);
                live.erase(std::find(live.begin(), live.end(), std::make_pair(p, size)));
            }
        }
        for (auto [p, size] : live)
            mArena.Contains(p) ? mArena.Free(p) : mHeap.Free(p);
    };
    std::vector<std::thread> threads;
    for (uint8_t tag = 1; tag <= 4; ++tag)
        threads.emplace_back(worker, tag);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(mArena.Check(), "");
    EXPECT_EQ(mHeap.Check(), "");
    EXPECT_TRUE(mArena.UsedList().empty());
    EXPECT_EQ(mArena.FreeList().size(), 1u);
}

} // namespace
