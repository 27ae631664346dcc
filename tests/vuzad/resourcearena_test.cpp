// Tests of the resource arena: least-recently-used eviction across frames with owner
// references cleared and destroy callbacks run, the arena's error when nothing is left to
// evict or it has no heap, and its size before and after the engine starts.
#include "engine.h"
#include "error.h"
#include "resourcearena.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// 80 data bytes and the header take 128 heap bytes and a 32-byte block header; an arena
// of 512 bytes (448 usable whatever the block's alignment) holds exactly three.
constexpr size_t kEntryData = 80;
constexpr int32_t kThreeEntries = 512;

std::vector<std::string> sDestroyed;

struct Owner
{
    std::string name;
    ResourceEntry* entry = nullptr;
};

void Destroy(ResourceEntry* entry)
{
    sDestroyed.push_back(static_cast<Owner*>(entry->owner)->name);
}

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

class Arena : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sDestroyed.clear();
    }

    void Start(int32_t size)
    {
        ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
        EXPECT_EQ(ResourceArena::SetSize(size), 1);
        EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | ResourceArena::kPluginId), 0u)
            << "before the start only the size is recorded";
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
        ASSERT_NE(ResourceArena::Get(), nullptr);
    }

    // Entries point back at their owners, so the owners outlive every test body.
    void TearDown() override
    {
        ResourceArena::Empty();
        EngineFixture::TearDown();
    }

    ResourceEntry* Take(Owner& owner, size_t size = kEntryData)
    {
        return ResourceArena::Allocate(&owner, &owner.entry, size, Destroy);
    }

    Owner a{"a"}, b{"b"}, c{"c"}, d{"d"}, e{"e"}, huge{"huge"};
};

TEST_F(Arena, EntriesNotUsedInTheLastFrameGoFirst)
{
    Start(kThreeEntries);
    ASSERT_NE(Take(a), nullptr);
    ASSERT_NE(Take(b), nullptr);
    ASSERT_NE(Take(c), nullptr);
    EXPECT_EQ(a.entry->owner, &a);
    EXPECT_EQ(ResourceArena::Get()->used, 3 * kEntryData);

    ResourceArena::NextFrame(); // frame 2: only a is drawn
    ResourceArena::Use(a.entry);
    ResourceArena::NextFrame(); // frame 3: the heap is full

    ASSERT_NE(Take(d), nullptr);
    EXPECT_EQ(sDestroyed, (std::vector<std::string>{"b"}));
    EXPECT_EQ(b.entry, nullptr) << "the owner's reference is cleared";
    ASSERT_NE(Take(e), nullptr);
    EXPECT_EQ(sDestroyed, (std::vector<std::string>{"b", "c"}));
    EXPECT_NE(a.entry, nullptr);
    EXPECT_EQ(ResourceArena::Get()->evictedThisFrame, 0u) << "only older frames were evicted";
    EXPECT_EQ(ResourceArena::Get()->used, 3 * kEntryData);
    EXPECT_EQ(TakeError(), kErrNone);
}

TEST_F(Arena, AFullCurrentFrameGivesUpItsOldestEntryAndCountsIt)
{
    Start(kThreeEntries);
    Take(a);
    Take(b);
    Take(c);
    ResourceArena::Use(a.entry);
    ASSERT_NE(Take(d), nullptr);
    EXPECT_EQ(sDestroyed, (std::vector<std::string>{"b"}));
    EXPECT_EQ(ResourceArena::Get()->evictedThisFrame, kEntryData);
    ResourceArena::NextFrame();
    EXPECT_EQ(ResourceArena::Get()->evictedThisFrame, 0u);
}

TEST_F(Arena, NothingLeftToEvictFailsWithCode12AndClearsTheReference)
{
    Start(kThreeEntries);
    Take(a);
    Take(b);
    huge.entry = reinterpret_cast<ResourceEntry*>(&huge); // a stale value the failure must clear
    EXPECT_EQ(Take(huge, 4096), nullptr);
    EXPECT_EQ(huge.entry, nullptr);
    EXPECT_EQ(sDestroyed, (std::vector<std::string>{"a", "b"})) << "everything was tried first";
    EXPECT_EQ(ResourceArena::Get()->used, 0u);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, kCorePluginId);
    EXPECT_EQ(e.code, kCoreErrArenaFull);

    // The emptied arena still serves what fits.
    EXPECT_NE(Take(a), nullptr);
}

// An arena of size 0 has no heap; an allocation from it fails as a full arena does.
TEST_F(Arena, AnArenaOfSizeZeroRefusesEveryAllocation)
{
    Start(0);
    EXPECT_EQ(ResourceArena::Get()->heap, nullptr);
    a.entry = reinterpret_cast<ResourceEntry*>(&a);
    EXPECT_EQ(Take(a, 1), nullptr);
    EXPECT_EQ(a.entry, nullptr);
    EXPECT_EQ(TakeError(), kCoreErrArenaFull);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | ResourceArena::kPluginId), 0u);
}

TEST_F(Arena, FreeAndEmptyRunTheCallbacksAndGiveTheSpaceBack)
{
    Start(kThreeEntries);
    Take(a);
    Take(b);
    Take(c);
    EXPECT_EQ(ResourceArena::Free(b.entry), 1);
    EXPECT_EQ(b.entry, nullptr);
    EXPECT_EQ(ResourceArena::Get()->used, 2 * kEntryData);
    ASSERT_NE(Take(d), nullptr);
    EXPECT_EQ(sDestroyed, (std::vector<std::string>{"b"})) << "the freed space is reused without eviction";

    ResourceArena::NextFrame();
    EXPECT_EQ(ResourceArena::Empty(), 1);
    EXPECT_EQ(sDestroyed.size(), 4u);
    EXPECT_EQ(a.entry, nullptr);
    EXPECT_EQ(d.entry, nullptr);
    EXPECT_EQ(ResourceArena::Get()->used, 0u);
    for (const ListLink& list : ResourceArena::Get()->lists)
        EXPECT_TRUE(ListLink::IsEmpty(&list));
}

TEST_F(Arena, ResizingAStartedArenaEmptiesItAndReportsBadSizes)
{
    Start(kThreeEntries);
    Take(a);
    EXPECT_EQ(ResourceArena::SetSize(4096), 1);
    EXPECT_EQ(a.entry, nullptr);
    EXPECT_EQ(sDestroyed, (std::vector<std::string>{"a"}));
    EXPECT_EQ(ResourceArena::Get()->size, 4096u);
    EXPECT_NE(Take(a, 3000), nullptr);

    // Too small for a heap: no heap is kept, and allocations fail as for size 0.
    EXPECT_EQ(ResourceArena::SetSize(64), 0);
    EXPECT_EQ(TakeError(), kCoreErrArenaFull);
    EXPECT_EQ(ResourceArena::Get()->heap, nullptr);
    EXPECT_EQ(Take(a, 1), nullptr);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | ResourceArena::kPluginId), 0u);
    TakeError();

    // No block: 0x80000013 and size 0.
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == (kMemoryHintEngine | ResourceArena::kPluginId); };
    EXPECT_EQ(ResourceArena::SetSize(4096), 0);
    EXPECT_EQ(TakeError(), kErrNoMemory);
    EXPECT_EQ(ResourceArena::Get()->size, 0u);
    TestMemory::refuse = nullptr;
}

TEST_F(Arena, AnArenaBlockThatCannotBeHadFailsTheStart)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, kThreeEntries), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == (kMemoryHintEngine | ResourceArena::kPluginId); };
    EXPECT_EQ(Engine::Start(), 0);
    EXPECT_EQ(TakeError(), kErrNoMemory);
    EXPECT_EQ(ResourceArena::Get(), nullptr);
    TestMemory::refuse = nullptr;
    EXPECT_EQ(Engine::Start(), 1);
    EXPECT_EQ(ResourceArena::Get()->size, size_t(kThreeEntries)) << "the size given to Engine::Init";
}

} // namespace
