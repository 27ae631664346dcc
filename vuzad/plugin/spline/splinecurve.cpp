// The spline plug-in's attach and its engine open and close.
#include "splinecurve.h"

#include "engine.h"

namespace
{
int32_t sOpenCount = 0;
} // namespace

int32_t SplineCurve::Attach()
{
    return Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) >= 0 ? 1 : 0;
}

void* SplineCurve::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* SplineCurve::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t SplineCurve::GetOpenCount()
{
    return sOpenCount;
}
