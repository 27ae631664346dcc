// The engine's random generator: its fixed sequence from every engine start.
#include "pluginfixture.h"

#include "engine.h"
#include "random.h"

namespace
{
using RandomTest = PluginFixture;

TEST_F(RandomTest, EveryStartYieldsTheSameSequence)
{
    const uint32_t expected[] = {1373023817u, 253234266u, 2145093567u, 898975974u, 266244007u};
    for (int start = 0; start < 2; ++start)
    {
        for (uint32_t value : expected)
            EXPECT_EQ(Random::Next(), value) << "start " << start;
        ASSERT_EQ(Engine::Stop(), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }
}

TEST_F(RandomTest, ValuesStayBelowTwoToThe31)
{
    uint32_t highest = 0;
    for (int i = 0; i < 10000; ++i)
        highest = std::max(highest, Random::Next());
    EXPECT_LE(highest, 0x7FFFFFFFu);
    EXPECT_GT(highest, 0x7F000000u); // the whole range is reached, not a stuck tap
}

TEST_F(RandomTest, AFailedTableAllocationFailsTheStart)
{
    ASSERT_EQ(Engine::Stop(), 1);
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == 0x4010C; };
    EXPECT_EQ(Engine::Start(), 0);
    TestMemory::refuse = nullptr;
}
} // namespace
