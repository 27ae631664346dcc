// Test helpers for the engine plug-ins and toolkits.
#include "pluginfixture.h"

#include "animation.h"
#include "engine.h"
#include "hierarchy.h"
#include "random.h"
#include "splinecurve.h"
#include "userdata.h"
#include "world.h"

void PluginFixture::SetUp()
{
    EngineFixture::SetUp();
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    ASSERT_EQ(World::Attach(), 1);
    ASSERT_EQ(Random::Attach(), 1);
    ASSERT_EQ(Animation::Attach(), 1);
    ASSERT_EQ(Hierarchy::Attach(), 1);
    ASSERT_EQ(UserData::Attach(), 1);
    ASSERT_EQ(SplineCurve::Attach(), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
}

void PluginFixture::SetUpWith(int32_t (*attachPlugin)())
{
    EngineFixture::SetUp();
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    ASSERT_EQ(World::Attach(), 1);
    ASSERT_EQ(Animation::Attach(), 1);
    ASSERT_EQ(Hierarchy::Attach(), 1);
    ASSERT_EQ(attachPlugin(), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
}

void SweepMutations(const std::vector<uint8_t>& bytes, int count, const std::function<void(std::vector<uint8_t>&)>& read,
                    size_t protectedPrefix)
{
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    const size_t span = bytes.size() - protectedPrefix;
    for (int i = 0; i < count && span > 0; ++i)
    {
        std::vector<uint8_t> copy = bytes;
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits; ++e)
        {
            const size_t at = protectedPrefix + size_t(next() % span);
            switch (next() % 4)
            {
            case 0:
                copy[at] ^= uint8_t(1u << (next() % 8));
                break;
            case 1:
                copy[at] = uint8_t(next());
                break;
            case 2:
            {
                // Lengths and counts are words: the extremes find unchecked ones.
                static const uint32_t kWords[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 36, 0x10000};
                const uint32_t w = kWords[next() % 7];
                for (size_t b = 0; b < 4 && at + b < copy.size(); ++b)
                    copy[at + b] = uint8_t(w >> (8 * b));
                break;
            }
            default:
                copy.resize(at);
                break;
            }
            if (copy.size() <= protectedPrefix)
                break;
        }
        read(copy);
    }
}
