// Tests of the framework hash maps: bucket functions, insertion and
// replacement, removal, node blocks and iteration.
#include "hbhashmap.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace
{

void* Value(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

int CountBlocks(void* chain)
{
    int n = 0;
    for (; chain; chain = *static_cast<void**>(chain))
        ++n;
    return n;
}

// ---- Bucket functions ---------------------------------------------------------------

TEST(StringHashMap, KeysLandInTheBucketsOfTheHash)
{
    struct Case
    {
        std::string key;
        uint32_t hash;
        uint32_t bucket;
    } cases[] = {
        {"a", 97, 12},
        {"ab", 3299, 1},
        // Bytes above 127 count as negative: 97 x 33 - 23, not + 233 (bucket 0).
        {"a\xE9", 3178, 16},
        {"\xFF", 0xFFFFFFFFu, 0},
        {"", 0, 0},
    };
    StringHashMap map;
    for (const Case& c : cases)
    {
        EXPECT_EQ(StringHashMap::HashKey(c.key), c.hash) << c.key;
        uint32_t bucket = 99;
        EXPECT_EQ(map.Find(c.key, &bucket), nullptr); // absent, bucket still stored
        EXPECT_EQ(bucket, c.bucket) << c.key;
        ASSERT_NE(map.FindOrInsert(c.key), nullptr);
        EXPECT_EQ(map.Find(c.key)->bucket, c.bucket) << c.key;
    }
    EXPECT_EQ(map.GetCount(), 5);
}

TEST(HbIntHashMap, KeysShareBucketsBySixteensAndIterateBucketByBucket)
{
    HbIntHashMap map;
    for (uint32_t key = 0; key < 16; ++key)
        EXPECT_EQ(map.BucketOf(key), 0u) << key;
    EXPECT_EQ(map.BucketOf(16), 1u);
    EXPECT_EQ(map.BucketOf(272), 0u);

    for (uint32_t key : {16u, 0u, 5u, 15u, 272u})
        *map.FindOrInsert(key) = Value(key + 1000);
    // Bucket 0 first, newest node at the front of its chain; then bucket 1.
    std::vector<uint32_t> order;
    HbPosition pos = map.GetStartPosition();
    uint32_t key;
    void* value;
    while (pos && map.GetNextAssoc(pos, key, value))
    {
        EXPECT_EQ(value, Value(key + 1000));
        order.push_back(key);
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{272, 15, 5, 0, 16}));
}

// ---- Insert, replace, remove -----------------------------------------------------------

TEST(StringHashMap, InsertReplaceLookupAndRemove)
{
    StringHashMap map;
    EXPECT_EQ(map.Remove("x"), 0); // no bucket array yet
    void** slot = map.FindOrInsert("alpha");
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, nullptr); // inserted with value null
    *slot = Value(1);
    EXPECT_EQ(map.FindOrInsert("alpha"), slot); // same address, no new entry
    EXPECT_EQ(map.GetCount(), 1);
    *map.FindOrInsert("alpha") = Value(2);
    EXPECT_EQ(map.Lookup("alpha"), Value(2));

    // Case-sensitive, compared by length and bytes (a zero byte included).
    *map.FindOrInsert("Alpha") = Value(3);
    *map.FindOrInsert(std::string_view("alpha\0x", 7)) = Value(4);
    EXPECT_EQ(map.GetCount(), 3);
    EXPECT_EQ(map.Lookup("alpha"), Value(2));
    EXPECT_EQ(map.Lookup(std::string_view("alpha\0x", 7)), Value(4));
    EXPECT_EQ(map.Lookup("beta"), nullptr);

    EXPECT_EQ(map.Remove("beta"), 0);
    EXPECT_EQ(map.Remove("Alpha"), 1);
    EXPECT_EQ(map.Remove("Alpha"), 0);
    EXPECT_EQ(map.Lookup("Alpha"), nullptr);
    EXPECT_EQ(map.GetCount(), 2);

    // Removing the last key gives everything back.
    map.Remove("alpha");
    EXPECT_NE(map.GetBlocks(), nullptr);
    map.Remove(std::string_view("alpha\0x", 7));
    EXPECT_EQ(map.GetCount(), 0);
    EXPECT_EQ(map.GetBlocks(), nullptr);
    EXPECT_EQ(map.GetStartPosition(), 0u);
    *map.FindOrInsert("again") = Value(5);
    EXPECT_EQ(map.Lookup("again"), Value(5));
}

TEST(StringHashMap, ClearAndRemoveAllDropLongKeysAndKeepTheBucketCount)
{
    StringHashMap map(7, 3);
    const std::string longKey(100, 'k'); // beyond any small-string buffer
    for (int i = 0; i < 8; ++i)
        *map.FindOrInsert(longKey + std::to_string(i)) = Value(i + 1);
    EXPECT_EQ(CountBlocks(map.GetBlocks()), 3);
    EXPECT_EQ(map.Clear(), 1);
    EXPECT_EQ(map.GetCount(), 0);
    EXPECT_EQ(map.GetBlocks(), nullptr);
    EXPECT_EQ(map.Lookup(longKey + "0"), nullptr);
    EXPECT_EQ(map.GetBucketCount(), 7u);
    *map.FindOrInsert(longKey) = Value(9);
    map.RemoveAll();
    EXPECT_EQ(map.Lookup(longKey), nullptr);
    *map.FindOrInsert(longKey) = Value(10); // left for the destructor
}

TEST(IntStringHashMap, StringValuesAreOwnedAndCopiedOut)
{
    IntStringHashMap map;
    std::string out = "untouched";
    EXPECT_EQ(map.Lookup(12296, out), 0);
    EXPECT_EQ(out, "untouched");

    std::string* text = map.FindOrInsert(12296);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(*text, "");
    *text = std::string(64, 't');
    EXPECT_EQ(map.FindOrInsert(12296), text);
    *map.FindOrInsert(4097) = "w3dlevel";
    EXPECT_EQ(map.Lookup(12296, out), 1);
    EXPECT_EQ(out, std::string(64, 't'));
    out[0] = 'x'; // a copy
    EXPECT_EQ(map.Lookup(12296, out), 1);
    EXPECT_EQ(out[0], 't');

    std::map<uint32_t, std::string> seen;
    HbPosition pos = kHbStartPosition;
    uint32_t key;
    while (pos && map.GetNextAssoc(pos, key, out))
        seen[key] = out;
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[4097], "w3dlevel");

    map.RemoveAll();
    EXPECT_EQ(map.Lookup(4097, out), 0);
    EXPECT_EQ(map.GetBlocks(), nullptr);
}

TEST(HbIntHashMap, FindTellsPresenceApartFromANullValueAndRemoveDropsKeys)
{
    HbIntHashMap map;
    void* value = Value(7);
    EXPECT_EQ(map.Find(3, value), 0);
    EXPECT_EQ(value, Value(7));
    map.FindOrInsert(3); // present with value null
    EXPECT_EQ(map.Find(3, value), 1);
    EXPECT_EQ(value, nullptr);
    *map.FindOrInsert(0xFFFFFFFFu) = Value(8);
    EXPECT_EQ(map.Find(0xFFFFFFFFu, value), 1);
    EXPECT_EQ(value, Value(8));
    EXPECT_EQ(map.GetCount(), 2);
    EXPECT_EQ(map.Remove(3), 1);
    EXPECT_EQ(map.Remove(3), 0);
    EXPECT_EQ(map.Find(3, value), 0);
    EXPECT_EQ(map.Remove(0xFFFFFFFFu), 1);
    EXPECT_EQ(map.GetBlocks(), nullptr) << "the last key gives the storage back";
}

// ---- Node blocks ------------------------------------------------------------------------

TEST(StringHashMap, NodesComeTenToABlockInAddressOrderAndAreReused)
{
    StringHashMap map;
    std::vector<void**> slots;
    for (int i = 0; i < 10; ++i)
        slots.push_back(map.FindOrInsert("key" + std::to_string(i)));
    EXPECT_EQ(CountBlocks(map.GetBlocks()), 1);
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ(reinterpret_cast<uint8_t*>(slots[i]) - reinterpret_cast<uint8_t*>(slots[i - 1]),
                  static_cast<ptrdiff_t>(sizeof(StringHashMap::Node)));

    void** eleventh = map.FindOrInsert("key10");
    EXPECT_EQ(CountBlocks(map.GetBlocks()), 2);

    // A removed node is the next one handed out; no block is added.
    map.Remove("key4");
    EXPECT_EQ(map.FindOrInsert("fresh"), slots[4]);
    EXPECT_EQ(map.Find("fresh")->key, "fresh");
    EXPECT_EQ(CountBlocks(map.GetBlocks()), 2);
    EXPECT_EQ(map.GetCount(), 11);
    (void)eleventh;
}

TEST(HbIntHashMap, AllocNodeCountsAFreshNode)
{
    HbIntHashMap map(17, 2);
    HbIntHashMap::Node* a = map.AllocNode();
    HbIntHashMap::Node* b = map.AllocNode();
    HbIntHashMap::Node* c = map.AllocNode();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(c->key, 0u);
    EXPECT_EQ(c->value, nullptr);
    EXPECT_EQ(map.GetCount(), 3);
    EXPECT_EQ(CountBlocks(map.GetBlocks()), 2);
}

// ---- Iteration ----------------------------------------------------------------------------

TEST(StringHashMap, IterationVisitsEveryEntryOnceAndAnEmptyMapEndsAtOnce)
{
    StringHashMap map;
    std::string key = "unchanged";
    void* value = Value(1);
    HbPosition pos = kHbStartPosition;
    EXPECT_FALSE(map.GetNextAssoc(pos, key, value));
    EXPECT_EQ(pos, 0u);
    EXPECT_EQ(map.GetStartPosition(), 0u);

    std::map<std::string, uintptr_t> expected;
    for (int i = 0; i < 40; ++i) // several entries per bucket
    {
        std::string k = "entry" + std::to_string(i * 7);
        expected[k] = static_cast<uintptr_t>(i + 1);
        *map.FindOrInsert(k) = Value(i + 1);
    }
    std::map<std::string, uintptr_t> seen;
    int calls = 0;
    for (pos = map.GetStartPosition(); pos;)
    {
        ASSERT_TRUE(map.GetNextAssoc(pos, key, value));
        EXPECT_TRUE(seen.emplace(key, reinterpret_cast<uintptr_t>(value)).second) << key;
        ASSERT_LT(++calls, 100);
    }
    EXPECT_EQ(seen, expected);
}

} // namespace
