// The standard particle plug-in: its attach, its engine open and close, and the atomic
// extension that lists an atomic's emitters.
#pragma once

#include <cstdint>

struct Atomic;
struct PrtStdEmitter;

/// The atomic extension: the atomic's most recently added emitter, or null.
struct PrtStdAtomicExtension
{
    PrtStdEmitter* emitters;
};

struct PrtStd
{
    static constexpr int32_t kPluginId = 304;

    /// Engine open and close (Engine::Start and Engine::Stop); they count nested opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
    /// -1 before PrtStdAttach.
    static int32_t GetAtomicOffset();
    static PrtStdAtomicExtension* GetAtomicExtension(Atomic* atomic);
};

/// Registers the engine plug-in (no block) and the atomic extension; only between
/// Engine::Init and Engine::Open. 1, or 0 when a registration was refused.
int32_t PrtStdAttach();
/// The engine close: releases what the plug-in shares between its atomics.
void* PrtStdClose(void* engine, int32_t offset, int32_t size);
