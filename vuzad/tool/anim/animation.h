// The keyframe animation toolkit's engine plug-in: its attach and the engine open and close
// that bracket the toolkit's shared state.
#pragma once

#include <cstdint>

struct Animation
{
    static constexpr int32_t kPluginId = 439;

    /// Registers the toolkit's engine plug-in (no block); only between Engine::Init and
    /// Engine::Open. 1, or 0 when the engine refused it.
    static int32_t Attach();
};

struct AnimToolkit
{
    /// Engine open and close (Engine::Start and Engine::Stop); they count nested opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    /// Opens not yet closed.
    static int32_t GetOpenCount();
};
