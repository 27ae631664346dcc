// Tests of the allocation routing (arena and heap boundaries, pools with heap
// fallback, reallocation across sources, the out-of-memory handler) and the exit list.
#include "hbexitlist.h"
#include "hbheap.h"
#include "hbmemory.h"
#include "hbmemoryrouter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// A router over a 40 MB heap of the test's own, so the rules are checked in
// every build, including the one that sends the program's memory to malloc.
class RouterFixture : public ::testing::Test
{
protected:
    static constexpr size_t kHeapBytes = 40u << 20;
    void SetUp() override
    {
        mBlock = std::malloc(kHeapBytes);
        ASSERT_TRUE(mHeap.Init(mBlock, static_cast<uint8_t*>(mBlock) + kHeapBytes, 16));
        mRouter = new HbMemoryRouter(&mHeap);
        sHandlerSize = 0;
        sHandlerCalls = 0;
        mOldHandler = HbGetOutOfMemoryHandler();
        HbSetOutOfMemoryHandler(&Handler);
    }
    void TearDown() override
    {
        HbSetOutOfMemoryHandler(mOldHandler);
        delete mRouter;
        EXPECT_EQ(mHeap.Check(), "");
        std::free(mBlock);
    }
    static void Handler(size_t size)
    {
        sHandlerSize = size;
        ++sHandlerCalls;
    }

    void* mBlock = nullptr;
    HbHeap mHeap;
    HbMemoryRouter* mRouter = nullptr;
    HbOutOfMemoryHandler mOldHandler = nullptr;
    static inline size_t sHandlerSize = 0;
    static inline int sHandlerCalls = 0;
};

TEST_F(RouterFixture, RequestsGoToTheirSourceAtTheBoundaries)
{
    struct Case
    {
        const char* what;
        void* pointer;
        HbMemorySource expected;
    } cases[] = {
        {"new 1", mRouter->OperatorNew(1), HbMemorySource::SmallObject},
        {"new 1024", mRouter->OperatorNew(1024), HbMemorySource::SmallObject},
        {"new 1025", mRouter->OperatorNew(1025), HbMemorySource::Heap},
        {"render 51199", mRouter->RenderMalloc(51199), HbMemorySource::Engine},
        {"render 51200", mRouter->RenderMalloc(51200), HbMemorySource::Heap},
        {"render calloc", mRouter->RenderCalloc(10, 10), HbMemorySource::Engine},
        {"script 100000", mRouter->ScriptMalloc(100000), HbMemorySource::Script},
        {"array", mRouter->ArrayAlloc(64), HbMemorySource::ArrayPool},
        {"bucket", mRouter->BucketAlloc(68), HbMemorySource::BucketPool},
        {"node", mRouter->NodeBlockAlloc(100), HbMemorySource::NodeBlock},
    };
    for (auto& c : cases)
    {
        ASSERT_NE(c.pointer, nullptr) << c.what;
        EXPECT_EQ(mRouter->Where(c.pointer), c.expected) << c.what;
    }
    // Operator new hands out 16-byte-aligned blocks from both of its sources.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(cases[0].pointer) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(cases[2].pointer) % 16, 0u);

    mRouter->OperatorDelete(cases[0].pointer);
    mRouter->OperatorDelete(cases[1].pointer);
    mRouter->OperatorDelete(cases[2].pointer);
    mRouter->RenderFree(cases[3].pointer);
    mRouter->RenderFree(cases[4].pointer);
    mRouter->RenderFree(cases[5].pointer);
    mRouter->ScriptFree(cases[6].pointer);
    mRouter->ArrayFree(cases[7].pointer);
    mRouter->BucketFree(cases[8].pointer);
    for (HbArenaKind kind : {HbArenaKind::SmallObject, HbArenaKind::Engine, HbArenaKind::Script,
                             HbArenaKind::ArrayPool, HbArenaKind::BucketPool})
    {
        EXPECT_TRUE(mRouter->Arena(kind)->UsedList().empty()) << static_cast<int>(kind);
        EXPECT_EQ(mRouter->Arena(kind)->Check(), "");
    }
}

TEST_F(RouterFixture, ArenaTestsAreStrictAtTheBase)
{
    HbArena* small = mRouter->Arena(HbArenaKind::SmallObject);
    ASSERT_NE(small, nullptr);
    // The arena's own block lies in the heap: its base is heap memory, not arena memory.
    EXPECT_EQ(mRouter->Where(small->Base()), HbMemorySource::Heap);
}

TEST_F(RouterFixture, FullContainerPoolsFallBackToTheHeap)
{
    std::vector<void*> arrays;
    for (int i = 0; i < 300; ++i) // 300 x 1 KB is more than the 200 KB pool
        arrays.push_back(mRouter->ArrayAlloc(1024));
    std::vector<void*> buckets;
    for (int i = 0; i < 100; ++i) // more than the 60 KB pool
        buckets.push_back(mRouter->BucketAlloc(1024));
    EXPECT_EQ(mRouter->Where(arrays.front()), HbMemorySource::ArrayPool);
    EXPECT_EQ(mRouter->Where(arrays.back()), HbMemorySource::Heap);
    EXPECT_EQ(mRouter->Where(buckets.back()), HbMemorySource::Heap);
    for (void* p : arrays)
        mRouter->ArrayFree(p);
    for (void* p : buckets)
        mRouter->BucketFree(p);
    EXPECT_TRUE(mRouter->Arena(HbArenaKind::ArrayPool)->UsedList().empty());
    EXPECT_EQ(mHeap.Check(), "");
}

TEST_F(RouterFixture, NodeBlockChainsSpanPoolAndHeap)
{
    void* chain = nullptr;
    int blocks = 0;
    // 70 blocks of 10 x 1 KB nodes overflow the 650 KB node pool.
    for (; blocks < 70; ++blocks)
    {
        void* block = mRouter->NodeBlockChainAdd(chain, 10, 1024);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(*static_cast<void**>(block), chain);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(HbNodeBlockNodes(block)) % 16, 0u);
        chain = block;
    }
    EXPECT_EQ(mRouter->Where(chain), HbMemorySource::Heap);
    EXPECT_EQ(mRouter->NodeBlockChainFree(chain), nullptr);
    EXPECT_TRUE(mRouter->Arena(HbArenaKind::NodeBlock)->UsedList().empty());
    EXPECT_EQ(mRouter->NodeBlockChainAdd(nullptr, SIZE_MAX / 2, 4), nullptr);
}

TEST_F(RouterFixture, ReallocationFollowsTheBlocksSource)
{
    // Script blocks grow inside their arena, then move to the heap when it is full.
    auto* s = static_cast<uint8_t*>(mRouter->ScriptMalloc(64));
    std::memset(s, 3, 64);
    auto* s2 = static_cast<uint8_t*>(mRouter->ScriptRealloc(s, 128));
    EXPECT_EQ(mRouter->Where(s2), HbMemorySource::Script);
    auto* s3 = static_cast<uint8_t*>(mRouter->ScriptRealloc(s2, 6u << 20));
    ASSERT_NE(s3, nullptr);
    EXPECT_EQ(mRouter->Where(s3), HbMemorySource::Heap);
    EXPECT_EQ(s3[63], 3);
    EXPECT_TRUE(mRouter->Arena(HbArenaKind::Script)->UsedList().empty());
    mRouter->ScriptFree(s3);

    // Reallocating to 0 frees, in the arena and in the heap.
    void* e = mRouter->RenderMalloc(100);
    EXPECT_EQ(mRouter->RenderRealloc(e, 0), nullptr);
    EXPECT_TRUE(mRouter->Arena(HbArenaKind::Engine)->UsedList().empty());
    void* s4 = mRouter->ScriptMalloc(10);
    EXPECT_EQ(mRouter->ScriptRealloc(s4, 0), nullptr);
    void* big = mRouter->RenderMalloc(100000);
    uint32_t frees = mHeap.FreeBlockCount();
    EXPECT_EQ(mRouter->RenderRealloc(big, 0), nullptr);
    EXPECT_LE(mHeap.FreeBlockCount(), frees + 1);
    EXPECT_EQ(mHeap.Check(), "");
}

TEST_F(RouterFixture, ExhaustionCallsTheHandlerWithTheSize)
{
    EXPECT_EQ(mRouter->OperatorNew(kHeapBytes), nullptr);
    EXPECT_EQ(sHandlerCalls, 1);
    EXPECT_EQ(sHandlerSize, kHeapBytes);
    EXPECT_EQ(mRouter->RenderMalloc(kHeapBytes), nullptr);
    EXPECT_EQ(mRouter->ScriptMalloc(kHeapBytes), nullptr);
    EXPECT_EQ(mRouter->HeapAlloc(kHeapBytes), nullptr);
    EXPECT_EQ(sHandlerCalls, 4);
    // The heap's calloc refuses quietly, including a count x size that overflows.
    EXPECT_EQ(mRouter->HeapCalloc(kHeapBytes, 1), nullptr);
    EXPECT_EQ(mRouter->HeapCalloc(SIZE_MAX / 2, 3), nullptr);
    EXPECT_EQ(sHandlerCalls, 4);
    EXPECT_EQ(mRouter->RenderCalloc(SIZE_MAX / 2, 3), nullptr);
    auto* zeroed = static_cast<uint8_t*>(mRouter->HeapCalloc(100, 3));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(zeroed[i], 0);
}

TEST_F(RouterFixture, ArenaInitialisersCreateOnceAndReport)
{
    EXPECT_EQ(mRouter->ArenaExists(HbArenaKind::Engine), 0);
    EXPECT_EQ(mRouter->CreateArena(HbArenaKind::Engine), 1);
    HbArena* engine = mRouter->Arena(HbArenaKind::Engine);
    EXPECT_EQ(mRouter->CreateArena(HbArenaKind::Engine), 1);
    EXPECT_EQ(mRouter->Arena(HbArenaKind::Engine), engine);
    EXPECT_EQ(engine->Capacity(), 20971520u);
}

// ---- The program's entry points -------------------------------------------------

TEST(HbMemory, EntryPointsServeAndFree)
{
    void* p = HbOperatorNew(100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    if (!HbUsesSystemAllocator())
    {
        EXPECT_EQ(HbMemoryWhere(p), HbMemorySource::SmallObject);
    }
    HbOperatorDelete(p);
    EXPECT_EQ(HbHeapCalloc(SIZE_MAX / 4, 8), nullptr);
    void* q = HbRenderCalloc(4, 4);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(HbRenderRealloc(q, 0), nullptr);
}

TEST(HbMemory, ByteOperations)
{
    uint8_t buffer[16] = {};
    EXPECT_EQ(HbMemSet(buffer, 0x1A7, 7), buffer);
    EXPECT_EQ(buffer[6], 0xA7);
    EXPECT_EQ(buffer[7], 0);
    HbMemMove(buffer + 2, buffer, 7); // overlapping
    EXPECT_EQ(buffer[8], 0xA7);
    EXPECT_EQ(buffer[9], 0);
}

// ---- Exit list ----------------------------------------------------------------------

TEST(HbExitListDeathTest, CallbacksRunLastAddedFirstAtExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HbExitList::Add([] { std::fputs("A\n", stderr); });
            HbExitList::Add([] { std::fputs("B\n", stderr); });
            HbExitList::Add([] {
                std::fputs("C\n", stderr);
                // Added while the list runs: never called.
                HbExitList::Add([] { std::fputs("late\n", stderr); });
            });
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "C\nB\nA\n$");
}

} // namespace
