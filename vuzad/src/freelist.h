// Free lists: fixed-size entries carved out of blocks, with a most-significant-bit-first
// occupancy bitmap per block; every engine object type is allocated from one.
#pragma once

#include "linklist.h"

#include <cstdint>

/// Called for each entry in use; see FreeList::ForAllUsed.
using FreeListCallback = void (*)(void* entry, void* data);

constexpr uint32_t kFreeListCallerStorage = 0x1; ///< the record lies in storage the caller owns
constexpr uint32_t kFreeListReleaseEmpty = 0x2;  ///< a block is released as soon as it empties

/// Entries are aligned for what they hold: never below 8 bytes on this platform.
constexpr int32_t kFreeListMinAlignment = 8;

struct FreeList
{
    int32_t entrySize; ///< the requested size rounded up to the alignment
    int32_t entriesPerBlock;
    int32_t bitmapBytes; ///< (entriesPerBlock + 7) / 8
    int32_t alignment;
    ListLink blocks; ///< new blocks go to the head
    uint32_t flags;
    ListLink link; ///< in the global list of free lists

    // ---- Creation ------------------------------------------------------------------

    /// One block made in advance (none while free lists are off); null when the record
    /// or the block cannot be had. An alignment of 0 means the minimum.
    static FreeList* Create(int32_t entrySize, int32_t entriesPerBlock, int32_t alignment, uint32_t hint);
    /// storage: a record the caller owns, or null to take one. Null on failure, with
    /// nothing left allocated.
    static FreeList* CreateInStorage(int32_t entrySize, int32_t entriesPerBlock, int32_t alignment,
                                     int32_t blocksInAdvance, FreeList* storage, uint32_t hint);
    /// Frees every block and the record (unless it is the caller's). 1.
    static int32_t Destroy(FreeList* list);

    // ---- Entries (objects call these through the engine record's free-list functions)

    /// First fit from the newest block; a new block when all are full. Null when it
    /// cannot be allocated.
    static void* Alloc(FreeList* list, uint32_t hint);
    /// The list, or null when the entry lies in none of its blocks.
    static FreeList* Free(FreeList* list, void* entry);
    /// With free lists off: one allocation of the entry size per entry.
    static void* AllocUnpooled(FreeList* list, uint32_t hint);
    static FreeList* FreeUnpooled(FreeList* list, void* entry);

    /// Calls back with every entry in use, in block and entry order; the callback may
    /// give entries back. Null when the scratch copy of a bitmap cannot be allocated.
    static FreeList* ForAllUsed(FreeList* list, FreeListCallback callback, void* data);
    /// Releases the empty blocks; answers the number released times the entry size.
    static int32_t Purge(FreeList* list);
    /// The sum of the positive Purge results of every free list.
    static int32_t PurgeAll();
    /// Destroys every free list, then the free list of free-list records.
    static void DestroyAll();

    // ---- The memory module (opened by Engine::Init) -------------------------------------

    /// Empties the global list and sets up the free list of free-list records. 1 or 0.
    static int32_t OpenModule();
    static void SetEnabled(bool enabled);
    static bool IsEnabled();

    // ---- Block layout ----------------------------------------------------------------
    // A block: its {next, prev} link, the bitmap, then the entries from the first
    // multiple of the alignment at or past the bitmap's end.

    static uint8_t* BlockBitmap(ListLink* block) { return reinterpret_cast<uint8_t*>(block + 1); }
    static uint8_t* BlockEntries(const FreeList* list, ListLink* block);
    static int32_t CountBlocks(const FreeList* list);
};
