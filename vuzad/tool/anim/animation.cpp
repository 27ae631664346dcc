// The keyframe animation toolkit's engine plug-in.
#include "animation.h"

#include "engine.h"

namespace
{
int32_t sOpenCount = 0;
} // namespace

int32_t Animation::Attach()
{
    // A block of size 0 may legally sit at offset 0, so only a negative offset is a refusal.
    return Engine::RegisterPlugin(0, kPluginId, AnimToolkit::EngineOpen, AnimToolkit::EngineClose) >= 0 ? 1 : 0;
}

void* AnimToolkit::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* AnimToolkit::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t AnimToolkit::GetOpenCount()
{
    return sOpenCount;
}
