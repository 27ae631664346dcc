// HbModuleArena: a fixed-size arena owned by one module (the save buffers, the
// resource path lists), made on first use or by its module initialiser.
#pragma once

#include <cstddef>
#include <cstdint>

class HbArena;

/// Blocks come from an HbArena carved from the framework heap. When the arena
/// is full, Alloc answers null, or a heap block when the module asked for a
/// fallback. In builds that route the framework to the system allocator every
/// block is a heap block of its own (so sanitizers see each one) and the
/// arena's capacity is only counted, so the module meets "full" at about the
/// same point.
class HbModuleArena
{
public:
    constexpr HbModuleArena(size_t size, bool heapFallback) : mSize(size), mHeapFallback(heapFallback) {}
    HbModuleArena(const HbModuleArena&) = delete;
    HbModuleArena& operator=(const HbModuleArena&) = delete;

    /// Module-initialiser pair: make the arena when it is missing and report
    /// whether it exists; report whether it exists.
    int Create();
    int Exists() const;

    /// size bytes, 16-byte aligned; null when the arena is full (and there is
    /// no fallback) or memory is out.
    void* Alloc(size_t size);
    /// Null is ignored.
    void Free(void* block);

    /// For the exit list: gives the arena back now when no block is in use,
    /// else when the last block comes back.
    void ReleaseWhenEmpty();

    size_t GetSize() const { return mSize; }
    int32_t GetUsedCount() const { return mUsed; }

private:
    void Release();

    size_t mSize;
    bool mHeapFallback;
    bool mReleaseWhenEmpty = false;
    int32_t mUsed = 0;
    HbArena* mArena = nullptr;
    size_t mCounted = 0;
    /// System-allocator builds: set up (by Create or a first Alloc) and not released.
    bool mCountedOnly = false;
};
