// The spline plug-in: its attach and its engine open and close.
#pragma once

#include <cstdint>

struct SplineCurve
{
    static constexpr int32_t kPluginId = 258;

    /// Registers the engine plug-in (no block); only between Engine::Init and Engine::Open.
    /// 1, or 0 when refused.
    static int32_t Attach();
    /// Engine open and close (Engine::Start and Engine::Stop); they count nested opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
};
