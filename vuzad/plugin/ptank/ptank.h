// The particle tank plug-in: its attach and the atomic extension that points to an
// atomic's tank.
#pragma once

#include <cstdint>

struct Atomic;
struct PTankRecord;

/// The engine block: opens of the Direct3D 9 side not yet closed.
struct PTankEngineBlock
{
    int32_t openCount;
};

/// The atomic extension: the atomic's tank, or null for an ordinary atomic.
struct PTankAtomicExtension
{
    PTankRecord* tank;
};

struct PTank
{
    static constexpr int32_t kPluginId = 303;

    /// Registers the engine block (opened by the Direct3D 9 side) and the atomic extension;
    /// only between Engine::Init and Engine::Open. 1, or 0 when either registration was
    /// refused.
    static int32_t Attach();
    /// Extension offsets kept by Attach; -1 before it.
    static int32_t GetEngineOffset();
    static int32_t GetAtomicOffset();
    /// The atomic's extension; the atomic registry must hold the extension.
    static PTankAtomicExtension* GetAtomicExtension(Atomic* atomic);
};
