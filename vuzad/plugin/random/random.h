// The random-number plug-in: its attach and the engine block that will hold the generator's
// table.
#pragma once

#include <cstdint>

/// The engine block: the generator's table of 31 words and its two taps, allocated when the
/// engine starts; null until the generator is built.
struct RandomBlock
{
    uint32_t* state;
    uint32_t* front;
    uint32_t* rear;
    uint32_t* end;
};

struct Random
{
    static constexpr int32_t kPluginId = 268;

    /// Registers the engine block; only between Engine::Init and Engine::Open. 1, or 0 when
    /// refused.
    static int32_t Attach();
    /// Engine open and close (Engine::Start and Engine::Stop).
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    /// -1 before Attach.
    static int32_t GetEngineOffset();
};
