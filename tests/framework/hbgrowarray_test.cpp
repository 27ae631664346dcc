// Tests of the growable arrays: growth steps, zero-filling, freeing, and the
// string array's construction and destruction of its elements.
#include "hbgrowarray.h"
#include "hbstringarray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

void* Value(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

// ---- Growth ----------------------------------------------------------------------------

TEST(HbPtrArray, GrowsByFourWhileAnEighthIsSmaller)
{
    HbPtrArray array;
    ASSERT_TRUE(array.SetSize(1, -1));
    EXPECT_EQ(array.GetCapacity(), 1);
    std::vector<int32_t> capacities;
    for (int i = 0; i < 9; ++i)
    {
        EXPECT_EQ(array.Add(Value(i + 1)), i + 1);
        capacities.push_back(array.GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{5, 5, 5, 5, 9, 9, 9, 9, 13}));
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(array[i + 1], Value(i + 1));
}

TEST(HbPtrArray, GrowthStepIsAnEighthClampedOrTheOwnersStep)
{
    struct Case
    {
        int32_t count;    // filled exactly, then grown by one
        int32_t growStep; // set with the first SetSize
        int32_t newCount;
        int32_t capacity; // after growing
    } cases[] = {
        {20, 0, 21, 24},        // 20/8 = 2, raised to 4
        {40, 0, 41, 45},        // 40/8 = 5
        {100, 0, 101, 112},     // 100/8 = 12
        {9000, 0, 9001, 10024}, // 1125, clamped to 1024
        {10, 3, 11, 13},        // the owner's step
        {10, 3, 30, 30},        // a larger request wins over the step
        {10, 0, 200, 200},
    };
    for (const Case& c : cases)
    {
        HbPtrArray array;
        ASSERT_TRUE(array.SetSize(c.count, c.growStep));
        EXPECT_EQ(array.GetCapacity(), c.count);
        ASSERT_TRUE(array.SetSize(c.newCount, -1)); // -1 keeps the step
        EXPECT_EQ(array.GetGrowStep(), c.growStep);
        EXPECT_EQ(array.GetCapacity(), c.capacity) << c.count << " -> " << c.newCount;
        EXPECT_EQ(array.GetCount(), c.newCount);
    }
}

TEST(HbPtrArray, NewElementsAreZeroAndOldOnesSurviveGrowth)
{
    HbPtrArray array;
    ASSERT_TRUE(array.SetSize(6));
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(array[i], nullptr);
        array[i] = Value(0xA0 + i);
    }
    // Shrinking keeps the storage; growing inside it zeroes the elements again.
    ASSERT_TRUE(array.SetSize(2));
    EXPECT_EQ(array.GetCapacity(), 6);
    ASSERT_TRUE(array.SetSize(5));
    EXPECT_EQ(array[1], Value(0xA1));
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(array[i], nullptr) << i;
    // Growing past the capacity copies the old elements and zeroes the rest.
    array[4] = Value(0xA4);
    ASSERT_TRUE(array.SetSize(9));
    EXPECT_EQ(array[0], Value(0xA0));
    EXPECT_EQ(array[4], Value(0xA4));
    for (int i = 5; i < 9; ++i)
        EXPECT_EQ(array[i], nullptr) << i;

    ASSERT_TRUE(array.SetSize(0));
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(array.GetCapacity(), 0);
    EXPECT_FALSE(array.SetSize(-1));
}

TEST(PairAndRecordArrays, KeepPointerSizedWordsAcrossGrowth)
{
    PairArray pairs;
    HbRecordArray records;
    const uintptr_t big = ~uintptr_t(0) - 5; // does not fit 32 bits
    for (uintptr_t i = 0; i < 20; ++i)
    {
        pairs.Add({big - i, i});
        records.Add({{i, big, big - i}});
    }
    EXPECT_EQ(sizeof(HbPair), 2 * sizeof(void*));
    EXPECT_EQ(sizeof(HbRecord), 3 * sizeof(void*));
    EXPECT_EQ(pairs.GetCapacity(), 21); // 1, 5, 9, 13, 17, 21
    for (uintptr_t i = 0; i < 20; ++i)
    {
        EXPECT_EQ(pairs[static_cast<int32_t>(i)].first, big - i);
        EXPECT_EQ(records[static_cast<int32_t>(i)].words[2], big - i);
    }
}

// ---- Strings ------------------------------------------------------------------------------

TEST(HbStringArray, AppendedStringsSurviveEveryGrowth)
{
    HbStringArray array;
    std::vector<std::string> expected;
    for (int i = 0; i < 60; ++i)
    {
        // Short strings live inside the string object; moving must fix them up.
        std::string text = (i % 2) ? std::string(40 + i, 'a' + (i % 26)) : std::to_string(i);
        EXPECT_EQ(array.Append(text), i);
        expected.push_back(text);
    }
    EXPECT_EQ(array.GetCount(), 60);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(array.GetCopy(i), expected[i]) << i;
    EXPECT_EQ(array.GetCopy(60), "");
    EXPECT_EQ(array.GetCopy(-1), "");

    // Appending one of its own elements while that growth moves it.
    HbStringArray one;
    one.Append(std::string(50, 'z'));
    EXPECT_EQ(one.Append(one[0]), 1);
    EXPECT_EQ(one.GetCopy(1), std::string(50, 'z'));
}

TEST(HbStringArray, SetSizeConstructsAndDestroysElements)
{
    HbStringArray array;
    ASSERT_TRUE(array.SetSize(3));
    EXPECT_EQ(array.GetCapacity(), 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(array[i], "");
        array[i] = std::string(30, 'x');
    }
    ASSERT_TRUE(array.SetSize(1)); // elements 1 and 2 destroyed
    ASSERT_TRUE(array.SetSize(3)); // and made again, empty
    EXPECT_EQ(array[0], std::string(30, 'x'));
    EXPECT_EQ(array[1], "");
    EXPECT_EQ(array[2], "");
    ASSERT_TRUE(array.SetSize(4));
    EXPECT_EQ(array.GetCapacity(), 7);
    EXPECT_EQ(array[3], "");

    array.Clear();
    EXPECT_EQ(array.GetCount(), 0);
    EXPECT_EQ(array.GetCapacity(), 0);
    array.Append(std::string(30, 'y'));
    ASSERT_TRUE(array.SetSize(0));
    EXPECT_EQ(array.GetCapacity(), 0);
    array.Append(std::string(30, 'w')); // left for the destructor
}

} // namespace
