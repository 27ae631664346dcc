// Tests of the random generators.
#include "hbrandom.h"

#include <gtest/gtest.h>

namespace
{

// The generator as the original arithmetic states it: Schrage's form in 32 bits.
uint32_t ReferenceStep(uint32_t state)
{
    uint32_t s = state ^ 0x075BD924u;
    int32_t signedS = static_cast<int32_t>(s);
    uint32_t wrapped = 16807u * s - static_cast<uint32_t>(signedS / 127773) * 2147483647u;
    int32_t result = static_cast<int32_t>(wrapped);
    if (result < 0)
        result += 2147483647;
    return static_cast<uint32_t>(result) ^ 0x075BD924u;
}

TEST(HbRandom, ParkMillerMatchesTheThirtyTwoBitArithmetic)
{
    for (uint32_t state : {0u, 1u, 65410624u, 0x075BD924u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 123456789u})
    {
        uint32_t ours = state;
        float value = HbRandom::NextUniform(ours);
        EXPECT_EQ(ours, ReferenceStep(state)) << state;
        EXPECT_GE(value, 0.0f);
        EXPECT_LT(value, 1.0f);
    }
}

TEST(HbRandom, QuickGeneratorFromSeedZero)
{
    uint32_t state = 0;
    EXPECT_EQ(HbRandom::QuickNext(state), 1013904223u);
    EXPECT_EQ(state, 1013904223u);
    state = 0;
    float u = HbRandom::QuickUniform(state);
    EXPECT_FLOAT_EQ(u, static_cast<float>(1013904223u & 0x7FFFFF) / 8388608.0f);

    // Uniform over [0, 1): the mean of many draws is near one half.
    double sum = 0;
    for (int i = 0; i < 100000; ++i)
    {
        float v = HbRandom::QuickUniform(state);
        ASSERT_GE(v, 0.0f);
        ASSERT_LT(v, 1.0f);
        sum += v;
    }
    EXPECT_NEAR(sum / 100000, 0.5, 0.01);
}

TEST(HbRandom, SingletonSeedsTheGameStateFromTheSeedState)
{
    HbRandom* random = HbRandom::Instance();
    ASSERT_NE(random, nullptr);
    EXPECT_EQ(HbRandom::Instance(), random);
    uint32_t expected = ReferenceStep(65410624u);
    EXPECT_EQ(random->SeedState(), expected);
    EXPECT_EQ(random->GameState(), expected ^ 0x075BD924u);
}

} // namespace
