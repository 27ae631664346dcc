// Tests of the per-class pools (layout, the swap-on-free rule, heap fallback,
// double frees), the class pool macros and the lazily created singletons.
#include "hbmoduleinit.h"
#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hbsingleton.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

class PoolFixture : public ::testing::Test
{
protected:
    void Make(size_t recordSize, int32_t count)
    {
        mPool = HbPerClassFreeList::Create(recordSize, count);
        ASSERT_NE(mPool, nullptr);
    }
    void TearDown() override { HbPerClassFreeList::Destroy(mPool); }

    HbPerClassFreeList* mPool = nullptr;
};

TEST_F(PoolFixture, SlotsAreAlignedAndHoldTheRecordAndItsIndex)
{
    struct Case
    {
        size_t record;
        size_t slot;
    } cases[] = {{1, 16}, {12, 16}, {13, 32}, {16, 32}, {28, 32}, {29, 48}, {100, 112}};
    for (const Case& c : cases)
    {
        HbPerClassFreeList* pool = HbPerClassFreeList::Create(c.record, 3);
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->GetSlotSize(), c.slot) << c.record;
        for (int i = 0; i < 3; ++i)
        {
            auto* record = static_cast<uint8_t*>(pool->GetRecord(i));
            EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 16, 0u);
            EXPECT_EQ(pool->IndexOf(record), -1);
            for (size_t b = 0; b < c.record; ++b)
                ASSERT_EQ(record[b], 0) << "records start zeroed";
        }
        HbPerClassFreeList::Destroy(pool);
    }
    EXPECT_EQ(HbPerClassFreeList::Create(16, 0), nullptr);
}

TEST_F(PoolFixture, PoolOfTwoFallsBackToTheHeapAndReusesTheFreedRecord)
{
    Make(24, 2);
    void* a = mPool->Alloc(24);
    void* b = mPool->Alloc(24);
    void* c = mPool->Alloc(24);
    EXPECT_TRUE(mPool->Contains(a));
    EXPECT_TRUE(mPool->Contains(b));
    EXPECT_FALSE(mPool->Contains(c)); // from the heap
    EXPECT_EQ(mPool->IndexOf(a), 0);
    EXPECT_EQ(mPool->IndexOf(b), 1);
    EXPECT_EQ(mPool->GetUsedCount(), 2);

    EXPECT_EQ(mPool->Free(a), HbPerClassFreeList::kToPool);
    EXPECT_EQ(mPool->GetUsedCount(), 1);
    EXPECT_EQ(mPool->GetRecord(0), b); // B moved into A's position
    EXPECT_EQ(mPool->IndexOf(b), 0);
    EXPECT_EQ(mPool->IndexOf(a), -1);

    EXPECT_EQ(mPool->Alloc(24), a);
    EXPECT_EQ(mPool->IndexOf(a), 1);

    EXPECT_EQ(mPool->Free(c), HbPerClassFreeList::kToHeap);
    EXPECT_EQ(mPool->GetUsedCount(), 2);
}

TEST_F(PoolFixture, FreeingAFreeRecordOrAnInteriorPointerIsIgnored)
{
    Make(24, 3);
    void* a = mPool->Alloc(24);
    void* b = mPool->Alloc(24);
    EXPECT_EQ(mPool->Free(a), HbPerClassFreeList::kToPool);
    // A second free must neither reach the heap nor disturb the pool.
    EXPECT_EQ(mPool->Free(a), HbPerClassFreeList::kIgnored);
    EXPECT_EQ(mPool->Free(static_cast<uint8_t*>(b) + 8), HbPerClassFreeList::kIgnored);
    void* neverUsed = mPool->GetRecord(2);
    EXPECT_EQ(mPool->Free(neverUsed), HbPerClassFreeList::kIgnored);
    EXPECT_EQ(mPool->Free(nullptr), HbPerClassFreeList::kIgnored);
    EXPECT_EQ(mPool->GetUsedCount(), 1);
    EXPECT_EQ(mPool->IndexOf(b), 0);

    // The pool still hands out each record once.
    void* x = mPool->Alloc(24);
    void* y = mPool->Alloc(24);
    EXPECT_EQ(x, a);
    EXPECT_EQ(y, neverUsed);
    EXPECT_NE(x, b);
    EXPECT_EQ(mPool->GetUsedCount(), 3);
}

TEST_F(PoolFixture, LargerRequestsGoToTheHeap)
{
    Make(16, 4);
    void* big = mPool->Alloc(40); // a derived class
    EXPECT_FALSE(mPool->Contains(big));
    EXPECT_EQ(mPool->GetUsedCount(), 0);
    EXPECT_EQ(mPool->Free(big), HbPerClassFreeList::kToHeap);
}

// ---- Class pools ------------------------------------------------------------------------

int gLive = 0;

struct Pooled
{
    HB_DECLARE_CLASS_POOL();
    explicit Pooled(int v) : value(v) { ++gLive; }
    virtual ~Pooled() { --gLive; }
    int value;
};
HB_DEFINE_CLASS_POOL(Pooled, "Pooled", 2);

struct PooledDerived : Pooled
{
    PooledDerived() : Pooled(7) { std::memset(extra, 0x5A, sizeof(extra)); }
    char extra[64];
};

struct alignas(16) Aligned
{
    HB_DECLARE_CLASS_POOL();
    double v[3];
};
HB_DEFINE_CLASS_POOL(Aligned, "Aligned", 4);

TEST(HbClassPool, NewAndDeleteGoThroughTheClassPool)
{
    Pooled* a = new Pooled(1);
    Pooled* b = new Pooled(2);
    Pooled* c = new Pooled(3);
    HbPerClassFreeList* pool = Pooled::sClassPool.Get();
    ASSERT_NE(pool, nullptr);
    EXPECT_TRUE(pool->Contains(a));
    EXPECT_TRUE(pool->Contains(b));
    EXPECT_FALSE(pool->Contains(c));
    delete a;
    Pooled* d = new Pooled(4);
    EXPECT_EQ(static_cast<void*>(d), static_cast<void*>(a));
    EXPECT_EQ(d->value, 4);

    // A derived class is larger than the pool's records: it lives on the heap
    // and is freed there through the base's delete.
    Pooled* derived = new PooledDerived();
    EXPECT_FALSE(pool->Contains(derived));
    delete derived;
    delete b;
    delete c;
    delete d;
    EXPECT_EQ(pool->GetUsedCount(), 0);
    EXPECT_EQ(gLive, 0);
}

struct ShutDownPooled
{
    HB_DECLARE_CLASS_POOL();
    int32_t value = 0;
};
HB_DEFINE_CLASS_POOL(ShutDownPooled, "ShutDownPooled", 2);

// The flag is program-wide, so the check runs in a child process.
TEST(HbClassPool, AnEmptyPoolIsFreedOnlyOnceShutDownHasBegun)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            delete new ShutDownPooled();
            const bool keptWhileRunning = ShutDownPooled::sClassPool.Get() != nullptr;
            HbSetShuttingDown();
            auto* a = new ShutDownPooled();
            auto* b = new ShutDownPooled();
            delete a;
            const bool keptWhileUsed = ShutDownPooled::sClassPool.Get() != nullptr;
            delete b;
            const bool freedWhenEmpty = ShutDownPooled::sClassPool.Get() == nullptr;
            auto* c = new ShutDownPooled();
            const bool madeAgain = ShutDownPooled::sClassPool.Get() != nullptr;
            delete c;
            std::exit(keptWhileRunning && keptWhileUsed && freedWhenEmpty && madeAgain && HbIsShuttingDown() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(HbClassPool, RecordsKeepTheClassAlignment)
{
    Aligned* items[6];
    for (auto*& item : items)
    {
        item = new Aligned();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(item) % alignof(Aligned), 0u);
    }
    for (auto* item : items)
        delete item;
    EXPECT_EQ(Aligned::sClassPool.Get()->GetUsedCount(), 0);
}

// ---- Singletons ---------------------------------------------------------------------------

struct FirstSingleton : HbAllocated
{
    ~FirstSingleton() { std::fprintf(stderr, "[first %d]", HbHandlesManager::Instance() != nullptr); }
};
struct SecondSingleton : HbAllocated
{
    ~SecondSingleton() { std::fprintf(stderr, "[second %d]", HbHandlesManager::Instance() != nullptr); }
};
struct ThirdSingleton : HbAllocated
{
};

TEST(HbSingletonDeathTest, ExitListDestroysLastCreatedFirstAndTheHandleTableLast)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HbSingleton<FirstSingleton>::Instance();
            HbSingleton<SecondSingleton>::Instance();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "\\[second 1\\]\\[first 1\\]$");
}

TEST(HbSingleton, MadeOnceAndNeverRemadeAfterDestruction)
{
    ThirdSingleton* one = HbSingleton<ThirdSingleton>::Instance();
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(HbSingleton<ThirdSingleton>::Instance(), one);
    HbSingleton<ThirdSingleton>::Destroy();
    EXPECT_EQ(HbSingleton<ThirdSingleton>::Instance(), nullptr);
}

TEST(HbSingleton, TheHandleTableIsTheFirstExitEntry)
{
    ASSERT_NE(HbHandlesManager::Instance(), nullptr);
    EXPECT_EQ(HbExitList::At(0), &HbSingleton<HbHandlesManager>::Destroy);
}

} // namespace
