// Tests of grow lists: growth steps, failures that leave the list as it was, detaching.
#include "engine.h"
#include "error.h"
#include "growlist.h"
#include "memory.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

constexpr uint32_t kHint = 0x30077;

class GrowLists : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    }
};

TEST_F(GrowLists, GrowByAQuarterAndAddEntriesMakesRoomForThemAll)
{
    GrowList* list = GrowList::Create(8, kHint);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(TestMemory::live[list->entries].hint, kHint | kMemoryHintResize);
    std::vector<int32_t> capacities;
    for (int i = 0; i < 32; ++i)
    {
        auto* entry = static_cast<int64_t*>(GrowList::AddEntry(list, kHint));
        ASSERT_NE(entry, nullptr);
        *entry = i;
        if (capacities.empty() || capacities.back() != list->capacity)
            capacities.push_back(list->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{20, 25, 31, 38}));
    EXPECT_EQ(*static_cast<int64_t*>(GrowList::GetEntry(list, 31)), 31) << "entries survive growth";
    EXPECT_EQ(GrowList::GetEnd(list), GrowList::GetEntry(list, 32));

    // 20 entries in room for 25: adding 5 reaches the capacity and grows to 25 + 6 + 5.
    GrowList::Empty(list);
    EXPECT_EQ(GrowList::GetArray(list), nullptr) << "empty although the storage stays";
    EXPECT_NE(GrowList::GetBegin(list), nullptr);
    list->capacity = 25;
    GrowList::AddEntries(list, 20, kHint);
    EXPECT_EQ(list->capacity, 25);
    auto* first = static_cast<uint8_t*>(GrowList::AddEntries(list, 5, kHint));
    EXPECT_EQ(first, GrowList::GetEntry(list, 20));
    EXPECT_EQ(list->capacity, 36);
    GrowList::RemoveLast(list, 100);
    EXPECT_EQ(GrowList::GetCount(list), 0);
    EXPECT_EQ(GrowList::Destroy(list), 1);
}

TEST_F(GrowLists, FailuresLeaveTheListAsItWas)
{
    TestMemory::refuse = [](size_t size, uint32_t) { return size == 20 * 8; };
    EXPECT_EQ(GrowList::Create(8, kHint), nullptr);
    EXPECT_TRUE(TestMemory::CountLive(kHint) == 0) << "the record is freed with the array";
    Error e;
    EXPECT_EQ(Error::Get(&e)->code, kErrNoMemory);

    TestMemory::refuse = nullptr;
    GrowList* list = GrowList::Create(8, kHint);
    GrowList::AddEntries(list, 19, kHint);
    uint8_t* entries = list->entries;
    TestMemory::refuse = [](size_t, uint32_t hint) { return (hint & kMemoryHintResize) != 0; };
    EXPECT_NE(GrowList::AddEntry(list, kHint), nullptr) << "the 20th fits";
    EXPECT_EQ(GrowList::AddEntry(list, kHint), nullptr);
    EXPECT_EQ(GrowList::AddEntries(list, 1, kHint), nullptr);
    EXPECT_EQ(Error::Get(&e)->code, kErrNoMemory);
    EXPECT_EQ(list->count, 20);
    EXPECT_EQ(list->capacity, 20);
    EXPECT_EQ(list->entries, entries);
    EXPECT_EQ(GrowList::AddEntries(list, -1, kHint), nullptr);
    TestMemory::refuse = nullptr;

    // Detaching hands over the array, or frees it when the list was empty.
    void* array = GrowList::DetachArray(list);
    EXPECT_EQ(array, entries);
    Memory::Free(array);
    EXPECT_EQ(GrowList::DetachArray(GrowList::Create(4, kHint)), nullptr);
    EXPECT_EQ(TestMemory::CountLive(kHint) + TestMemory::CountLive(kHint | kMemoryHintResize), 0u);
}

} // namespace
