// Engine memory functions: the allocation table every engine block comes from, its C
// runtime defaults, and the hints passed with each request.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Memory hints ---------------------------------------------------------------
// Bits 0-15 say what the memory is for (a chunk type or a module's plug-in id), bits
// 16-23 how long it lives, bit 24 marks a reallocation.

constexpr uint32_t kMemoryHintTemporary = 0x10000; ///< freed before the calling operation returns
constexpr uint32_t kMemoryHintObject = 0x30000;    ///< lives as long as an object
constexpr uint32_t kMemoryHintEngine = 0x40000;    ///< lives as long as the engine or its module
constexpr uint32_t kMemoryHintDurationMask = 0xFF0000;
constexpr uint32_t kMemoryHintResize = 0x1000000;

// ---- The table ------------------------------------------------------------------

/// The four functions the engine allocates through; installed at Engine::Init and kept
/// in the engine record. The ones an application installs may ignore the hint.
struct MemoryFunctions
{
    void* (*allocate)(size_t size, uint32_t hint);
    void (*free)(void* pointer);
    /// The old block stays valid when this returns null.
    void* (*reallocate)(void* pointer, size_t size, uint32_t hint);
    void* (*allocateZeroed)(size_t count, size_t size, uint32_t hint);
};

struct Memory
{
    /// malloc, free, realloc and calloc, ignoring the hint.
    static const MemoryFunctions* DefaultFunctions();

    // Calls through the current engine record's table (the defaults while there is no
    // engine record or it has no table yet).
    static void* Allocate(size_t size, uint32_t hint);
    static void Free(void* pointer);
    static void* Reallocate(void* pointer, size_t size, uint32_t hint);
    static void* AllocateZeroed(size_t count, size_t size, uint32_t hint);
};
