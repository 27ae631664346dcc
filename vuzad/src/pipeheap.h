// The pipeline heap: scratch memory for node bodies during one pipeline execution. Memory
// blocks are chains of 32-byte-headed blocks; free blocks are listed in a growable array of
// free entries, and a reset makes every memory block one free block again.
#pragma once

#include <cstddef>
#include <cstdint>

struct PipeHeapFreeEntry;

/// The 32-byte header in front of each block of a memory block's chain. The start and end
/// headers that frame a memory block have size 0 and no free entry, so nothing merges
/// across them.
struct PipeHeapHeader
{
    PipeHeapHeader* prev;
    PipeHeapHeader* next;
    size_t size;                  ///< bytes behind the header
    PipeHeapFreeEntry* freeEntry; ///< null while the block is in use

    static constexpr size_t kSize = 32;
};
static_assert(sizeof(PipeHeapHeader) == PipeHeapHeader::kSize, "a header is 32 bytes");

struct PipeHeapFreeEntry
{
    size_t size;
    PipeHeapHeader* header;
};

/// One allocation of the heap: its base is aligned to 128 bytes.
struct PipeHeapMemory
{
    uint8_t* base;
    size_t size;
    PipeHeapMemory* next;
};

struct PipeHeap
{
    size_t totalSize;
    PipeHeapMemory* firstMemory;
    PipeHeapHeader* firstHeader; ///< the first block behind the first memory block's start header
    PipeHeapFreeEntry* freeEntries;
    int32_t freeCapacity;
    int32_t freeCount;
    int32_t needsReset; ///< set by an allocation, cleared by a reset

    static constexpr size_t kMinimumSize = 1024;
    static constexpr int32_t kFreeEntryGrowth = 32;

    /// size is raised to at least 1024 and rounded up to 32. Null when any allocation fails
    /// (nothing is left allocated).
    static PipeHeap* Create(size_t size);
    /// Frees the entry array, every memory block and the record; null is ignored.
    static void Destroy(PipeHeap* heap);
    /// Every memory block becomes one free block again.
    static void Reset(PipeHeap* heap);

    /// First fit from the free entries; a new memory block when none fits. The bytes behind
    /// a header whose free entry is null, or null when memory cannot be had.
    static void* Alloc(PipeHeap* heap, size_t size);
    /// pointer from Alloc (null ignored). The block merges with free neighbours. 1, or 0
    /// with 0x80000013 when a lone block needs a free entry and the array cannot grow: the
    /// block then stays in use until the next reset.
    static int32_t Free(PipeHeap* heap, void* pointer);

    static PipeHeapHeader* HeaderOf(void* pointer) { return static_cast<PipeHeapHeader*>(pointer) - 1; }
};
