// The random-number plug-in's attach and engine block.
#include "random.h"

#include "engine.h"

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

RandomBlock* Block(void* engine, int32_t offset)
{
    return static_cast<RandomBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
}
} // namespace

int32_t Random::Attach()
{
    int32_t offset =
        Keep(&sEngineOffset, Engine::RegisterPlugin(int32_t(sizeof(RandomBlock)), kPluginId, EngineOpen, EngineClose));
    return offset >= 0 ? 1 : 0;
}

// The generator is not built yet: the block stays empty while the engine runs.
void* Random::EngineOpen(void* engine, int32_t offset, int32_t)
{
    *Block(engine, offset) = RandomBlock{};
    return engine;
}

void* Random::EngineClose(void* engine, int32_t offset, int32_t)
{
    *Block(engine, offset) = RandomBlock{};
    return engine;
}

int32_t Random::GetEngineOffset()
{
    return sEngineOffset;
}
