// The random-number plug-in: one additive-feedback generator per engine instance (31 words,
// taps 3 apart), seeded with a fixed value at every engine start, so a run repeats its
// sequence for the same sequence of calls.
#pragma once

#include <cstdint>

/// The engine block: the generator's table of 31 words and its two taps, allocated when the
/// engine starts; null while the engine is stopped.
struct RandomBlock
{
    uint32_t* state;
    uint32_t* front; ///< the entry the next step updates; 3 entries ahead of rear
    uint32_t* rear;  ///< the entry added to it
    uint32_t* end;   ///< state + 31
};

struct Random
{
    static constexpr int32_t kPluginId = 268;
    static constexpr int32_t kTableWords = 31;

    /// Registers the engine block; only between Engine::Init and Engine::Open. 1, or 0 when
    /// refused.
    static int32_t Attach();
    /// Engine open (Engine::Start): allocates and seeds the table; null when it cannot be
    /// allocated, which fails the start.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    /// Engine close (Engine::Stop): frees the table.
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    /// The next value, 0 .. 2^31 - 1. The engine must be started with the plug-in attached.
    static uint32_t Next();
    /// -1 before Attach.
    static int32_t GetEngineOffset();
};
