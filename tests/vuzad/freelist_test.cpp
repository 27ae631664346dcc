// Tests of free lists: bitmaps and blocks, alignment, giving back, iteration, purging,
// record storage and the pass-through mode with free lists off.
#include "engine.h"
#include "freelist.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace
{

constexpr uint32_t kHint = 0x30099;

class FreeLists : public EngineFixture
{
protected:
    void Init(uint32_t flags = 0) { ASSERT_NE(Engine::Init(TestMemory::Functions(), flags, 0), 0); }
    static void* Take(FreeList* list) { return Engine::Current()->freeListFunctions.take(list, kHint); }
    static FreeList* GiveBack(FreeList* list, void* entry)
    {
        return Engine::Current()->freeListFunctions.giveBack(list, entry);
    }
    static ListLink* Head(FreeList* list) { return list->blocks.next; }
};

TEST_F(FreeLists, BitmapsAreMostSignificantBitFirstAndAFullListGrowsAtTheHead)
{
    Init();
    FreeList* list = FreeList::Create(24, 10, 0, kHint);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->bitmapBytes, 2);
    EXPECT_EQ(FreeList::CountBlocks(list), 1);
    ListLink* first = Head(list);

    std::vector<uint8_t*> entries;
    for (int i = 0; i < 10; ++i)
        entries.push_back(static_cast<uint8_t*>(Take(list)));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(entries[size_t(i)], FreeList::BlockEntries(list, first) + i * 24);
    EXPECT_EQ(FreeList::BlockBitmap(first)[0], 0xFF);
    EXPECT_EQ(FreeList::BlockBitmap(first)[1], 0xC0);

    size_t allocations = TestMemory::hints.size();
    auto* eleventh = static_cast<uint8_t*>(Take(list));
    ASSERT_EQ(FreeList::CountBlocks(list), 2);
    ListLink* second = Head(list);
    EXPECT_NE(second, first);
    EXPECT_EQ(eleventh, FreeList::BlockEntries(list, second));
    EXPECT_EQ(FreeList::BlockBitmap(second)[0], 0x80);
    ASSERT_EQ(TestMemory::hints.size(), allocations + 1);
    EXPECT_EQ(TestMemory::hints.back(), kHint) << "a new block carries the taker's hint";

    // First fit from the newest block: a hole in the older block waits.
    EXPECT_EQ(GiveBack(list, entries[3]), list);
    EXPECT_EQ(FreeList::BlockBitmap(first)[0], 0xEF);
    EXPECT_EQ(Take(list), eleventh + 24);
    FreeList::Destroy(list);
}

TEST_F(FreeLists, EntriesAreAlignedForWhatTheyHold)
{
    Init();
    struct Case
    {
        int32_t size, perBlock, alignment;
        int32_t entrySize, effectiveAlignment;
    } cases[] = {
        {1, 4, 0, 8, 8},      {33, 16, 0, 40, 8},   {12, 17, 4, 16, 8},
        {64, 20, 16, 64, 16}, {60, 24, 16, 64, 16}, {100, 3, 32, 128, 32},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " alignment " << c.alignment);
        FreeList* list = FreeList::Create(c.size, c.perBlock, c.alignment, kHint);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->entrySize, c.entrySize);
        EXPECT_EQ(list->alignment, c.effectiveAlignment);
        ListLink* block = Head(list);
        auto blockStart = reinterpret_cast<uintptr_t>(block);
        uintptr_t blockEnd = blockStart + TestMemory::live.at(block).size;
        auto bitmapEnd = reinterpret_cast<uintptr_t>(FreeList::BlockBitmap(block)) + uintptr_t(list->bitmapBytes);
        for (int i = 0; i < c.perBlock; ++i)
        {
            auto entry = reinterpret_cast<uintptr_t>(Take(list));
            EXPECT_EQ(entry % uintptr_t(c.effectiveAlignment), 0u);
            EXPECT_GE(entry, bitmapEnd);
            EXPECT_LE(entry + uintptr_t(list->entrySize), blockEnd);
        }
        // The first entry sits at the first aligned address past the bitmap.
        auto first = reinterpret_cast<uintptr_t>(FreeList::BlockEntries(list, block));
        EXPECT_LT(first - bitmapEnd, uintptr_t(c.effectiveAlignment));
        EXPECT_EQ(FreeList::CountBlocks(list), 1);
        FreeList::Destroy(list);
    }
}

TEST_F(FreeLists, GivingBackTheLastEntryReleasesTheBlockAtOnce)
{
    Init();
    FreeList* list = FreeList::Create(16, 8, 0, kHint);
    auto* entry = static_cast<uint8_t*>(Take(list));
    size_t live = TestMemory::live.size();

    EXPECT_EQ(GiveBack(list, entry + 4), nullptr) << "inside an entry is not an entry";
    int32_t outside = 0;
    EXPECT_EQ(GiveBack(list, &outside), nullptr);
    EXPECT_EQ(TestMemory::live.size(), live);

    EXPECT_EQ(GiveBack(list, entry), list);
    EXPECT_EQ(FreeList::CountBlocks(list), 0);
    EXPECT_EQ(TestMemory::live.size(), live - 1);
    EXPECT_NE(Take(list), nullptr);
    EXPECT_EQ(TestMemory::live.size(), live) << "the next take makes a new block";
    FreeList::Destroy(list);
}

TEST_F(FreeLists, ForAllUsedVisitsEachEntryOnceWhileTheyAreGivenBack)
{
    Init();
    FreeList* list = FreeList::Create(16, 10, 0, kHint);
    std::set<void*> taken;
    for (int i = 0; i < 25; ++i)
        taken.insert(Take(list));
    ASSERT_EQ(FreeList::CountBlocks(list), 3);

    struct Visit
    {
        FreeList* list;
        std::multiset<void*> seen;
    } visit = {list, {}};
    auto giveBack = [](void* entry, void* data)
    {
        auto* v = static_cast<Visit*>(data);
        v->seen.insert(entry);
        EXPECT_EQ(Engine::Current()->freeListFunctions.giveBack(v->list, entry), v->list);
    };
    EXPECT_EQ(FreeList::ForAllUsed(list, giveBack, &visit), list);
    EXPECT_EQ(std::set<void*>(visit.seen.begin(), visit.seen.end()), taken);
    EXPECT_EQ(visit.seen.size(), taken.size());
    EXPECT_EQ(FreeList::CountBlocks(list), 0);

    // The bitmap copy is temporary memory; without it the walk stops.
    Take(list);
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == kMemoryHintTemporary; };
    EXPECT_EQ(FreeList::ForAllUsed(list, giveBack, &visit), nullptr);
    FreeList::Destroy(list);
}

TEST_F(FreeLists, PurgeReleasesEmptyBlocksAndReportsBlocksTimesEntrySize)
{
    Init();
    FreeList* a = FreeList::CreateInStorage(24, 4, 0, 2, nullptr, kHint);
    FreeList* b = FreeList::Create(40, 4, 0, kHint);
    ASSERT_EQ(FreeList::CountBlocks(a), 2);
    void* kept = Take(a);

    EXPECT_EQ(FreeList::Purge(a), 24) << "one empty block of 24-byte entries";
    EXPECT_EQ(FreeList::CountBlocks(a), 1);
    EXPECT_EQ(FreeList::Purge(a), 0);

    ListLink* before = Head(a);
    EXPECT_EQ(FreeList::PurgeAll(), 40);
    EXPECT_EQ(Head(a), before);
    EXPECT_EQ(FreeList::CountBlocks(b), 0);
    GiveBack(a, kept);
    FreeList::Destroy(a);
    FreeList::Destroy(b);
}

TEST_F(FreeLists, RecordsComeFromTheRecordListOrTheCallersStorage)
{
    Init();
    size_t before = TestMemory::hints.size();
    FreeList* list = FreeList::Create(16, 8, 0, kHint);
    EXPECT_EQ(list->flags, kFreeListReleaseEmpty);
    // The record list's new block carries only the duration bits of the hint.
    EXPECT_EQ(std::vector<uint32_t>(TestMemory::hints.begin() + long(before), TestMemory::hints.end()),
              (std::vector<uint32_t>{kHint & kMemoryHintDurationMask, kHint}));

    FreeList storage;
    EXPECT_EQ(FreeList::CreateInStorage(16, 8, 0, 1, &storage, kHint), &storage);
    EXPECT_EQ(storage.flags, kFreeListCallerStorage | kFreeListReleaseEmpty);
    EXPECT_EQ(FreeList::Destroy(&storage), 1);
    EXPECT_EQ(FreeList::Destroy(list), 1);

    // A block that cannot be made leaves nothing behind.
    size_t live = TestMemory::live.size();
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == kHint; };
    EXPECT_EQ(FreeList::Create(16, 8, 0, kHint), nullptr);
    EXPECT_EQ(TestMemory::live.size(), live);
}

TEST_F(FreeLists, SwitchedOffEveryEntryIsItsOwnAllocation)
{
    Init(kEngineNoFreeLists);
    EXPECT_FALSE(FreeList::IsEnabled());
    FreeList* list = FreeList::Create(20, 8, 0, kHint);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(FreeList::CountBlocks(list), 0);

    void* entry = Take(list);
    ASSERT_EQ(TestMemory::live.count(entry), 1u);
    EXPECT_EQ(TestMemory::live.at(entry).size, 24u);
    EXPECT_EQ(TestMemory::live.at(entry).hint, kHint);
    EXPECT_EQ(FreeList::CountBlocks(list), 0);

    int visits = 0;
    FreeList::ForAllUsed(
        list, [](void*, void* n) { ++*static_cast<int*>(n); }, &visits);
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(FreeList::Purge(list), 0);
    EXPECT_EQ(GiveBack(list, entry), list);
    EXPECT_EQ(TestMemory::live.count(entry), 0u);
    FreeList::Destroy(list);
}

TEST_F(FreeLists, TermReleasesEveryList)
{
    Init();
    for (int i = 0; i < 20; ++i)
        ASSERT_NE(Take(FreeList::Create(8 + i, 4, 0, kHint)), nullptr);
    ASSERT_EQ(TestMemory::CountLive(kHint), 20u) << "one block per list";
    ASSERT_GT(TestMemory::live.size(), 20u) << "and the list records";
    ShutDownEngine();
    EXPECT_EQ(TestMemory::CountLive(kHint), 0u);
    EXPECT_TRUE(TestMemory::live.empty()) << TestMemory::live.size() << " blocks left";
}

} // namespace
