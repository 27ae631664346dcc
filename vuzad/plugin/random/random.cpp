// The random-number plug-in: its engine block and the generator.
#include "random.h"

#include "engine.h"
#include "memory.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sEngineOffset = -1;

constexpr uint32_t kMemoryHintTable = 0x4010C;
constexpr uint32_t kSeed = 0x9A319039u;
constexpr int32_t kTap = 3;
constexpr int32_t kWarmUpSteps = 10 * Random::kTableWords;

RandomBlock* Block(void* engine, int32_t offset)
{
    return static_cast<RandomBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
}

uint32_t Step(RandomBlock* b)
{
    *b->front += *b->rear;
    uint32_t result = *b->front >> 1;
    if (++b->front >= b->end)
    {
        b->front = b->state;
        ++b->rear;
    }
    else if (++b->rear >= b->end)
        b->rear = b->state;
    return result;
}
} // namespace

int32_t Random::Attach()
{
    int32_t offset =
        Keep(&sEngineOffset, Engine::RegisterPlugin(int32_t(sizeof(RandomBlock)), kPluginId, EngineOpen, EngineClose));
    return offset >= 0 ? 1 : 0;
}

void* Random::EngineOpen(void* engine, int32_t offset, int32_t)
{
    RandomBlock* b = Block(engine, offset);
    *b = RandomBlock{};
    auto* state = static_cast<uint32_t*>(Memory::Allocate(sizeof(uint32_t) * kTableWords, kMemoryHintTable));
    if (!state)
        return nullptr;
    b->state = state;
    b->front = state + kTap;
    b->rear = state;
    b->end = state + kTableWords;
    state[0] = kSeed;
    for (int32_t i = 1; i < kTableWords; ++i)
        state[i] = state[i - 1] * 1103515245u + 12345u;
    for (int32_t i = 0; i < kWarmUpSteps; ++i)
        Step(b);
    return engine;
}

void* Random::EngineClose(void* engine, int32_t offset, int32_t)
{
    RandomBlock* b = Block(engine, offset);
    Memory::Free(b->state);
    *b = RandomBlock{};
    return engine;
}

uint32_t Random::Next()
{
    return Step(Block(Engine::Current(), sEngineOffset));
}

int32_t Random::GetEngineOffset()
{
    return sEngineOffset;
}
