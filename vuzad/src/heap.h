// The block heap: first-fit allocation with 32-byte granularity inside one memory area,
// with blocks tiling the area in address order and free neighbours merged on release.
#pragma once

#include <cstddef>
#include <cstdint>

struct Heap;

/// The 32-byte header in front of every block; the block's bytes follow it.
struct HeapBlock
{
    Heap* heap;
    HeapBlock* next; ///< in address order; null for the last block
    HeapBlock* prev;
    uint32_t size; ///< usable bytes behind the header, a multiple of 32
    uint32_t used; ///< bit 0

    static constexpr size_t kGranularity = 32;
};
static_assert(sizeof(HeapBlock) == HeapBlock::kGranularity, "a block header is one granule");

/// Lies at the start of the area it manages. Invariants: no free block lies before the
/// first-free hint, and two free blocks are never neighbours.
struct Heap
{
    HeapBlock* first;
    HeapBlock* firstFree; ///< the hint; null when every block is used

    /// Lays a heap over the area: the first header on the first 32-byte boundary past the
    /// heap record, the area's end rounded down to 32 bytes, one free block between. 1, or
    /// 0 when that block would hold fewer than 32 bytes.
    static int32_t Init(void* area, size_t size);
    /// The address behind the header of the first free block from the hint that holds
    /// size rounded up to 32; the block is split when more than 64 bytes would be left
    /// over. Null when no block fits.
    static void* Alloc(Heap* heap, size_t size);
    /// pointer from Heap::Alloc; the block merges with free neighbours.
    static void Free(void* pointer);
    /// Cuts a free block after size bytes; the remainder becomes a free block, absorbing
    /// the next block when that is free.
    static void Split(HeapBlock* block, size_t size);

    static HeapBlock* BlockOf(void* pointer) { return static_cast<HeapBlock*>(pointer) - 1; }
    static void* DataOf(HeapBlock* block) { return block + 1; }
};
