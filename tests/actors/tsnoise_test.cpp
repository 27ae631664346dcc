// The noise-level table: names to rows, and lookups that read a row outside the table as NONE.
#include "tsnoise.h"

#include <gtest/gtest.h>

namespace
{

TEST(TsNoise, NamesFindTheirRowsExactly)
{
    EXPECT_EQ(TsNoiseRowByName("LIGHT_ALARM"), 13);
    EXPECT_EQ(TsNoiseRowByName("NONE"), 0);
    EXPECT_EQ(TsNoiseRowByName("SATURATE_ALARM"), 12);
    EXPECT_EQ(TsNoiseRowByName("ALARM"), -1);
    EXPECT_EQ(TsNoiseRowByName("light_alarm"), -1) << "case-sensitive";
    EXPECT_EQ(TsNoiseRowByName(nullptr), -1);
}

TEST(TsNoise, LookupsClassifyRowsAndReadUnknownRowsAsNone)
{
    const struct
    {
        int32_t row, radius, level;
        bool alarm, danger, light, heavy;
    } cases[] = {
        {13, 300, 25, true, false, true, false},     {3, 300, 25, false, true, true, false},
        {10, 3000, 75, true, false, false, true},    {11, 4000, 100, false, false, false, false},
        {-1, 0, 0, false, false, false, false},      {14, 0, 0, false, false, false, false},
        {1000000, 0, 0, false, false, false, false},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(TsGetSoundRadius(c.row), c.radius) << c.row;
        EXPECT_EQ(TsGetSoundLevel(c.row), c.level) << c.row;
        EXPECT_EQ(TsSoundLevelIsAlarm(c.row), c.alarm) << c.row;
        EXPECT_EQ(TsSoundLevelIsDanger(c.row), c.danger) << c.row;
        EXPECT_EQ(TsSoundLevelIsLight(c.row), c.light) << c.row;
        EXPECT_EQ(TsSoundLevelIsHeavy(c.row), c.heavy) << c.row;
    }
    EXPECT_TRUE(TsSoundLevelIsNone(-1));
    EXPECT_TRUE(TsSoundLevelIsNormal(-1));
    EXPECT_TRUE(TsSoundLevelIsSuspect(9));
    EXPECT_TRUE(TsSoundLevelIsMedium(7));
    EXPECT_TRUE(TsSoundLevelIsSaturate(12));
}

} // namespace
