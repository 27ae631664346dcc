// HbHeap: the framework heap, a boundary-tag best-fit allocator over one block.
#pragma once

#include "hbspinlock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Block format (32-bit little-endian words; a block's address is its header):
//   header: bit 0 block below is free, bit 1 this block is free, bits 2..27 size
//   allocated: header, caller bytes (caller pointer = header + 4)
//   free: header, next (+4), previous (+8), ..., footer = size (last word)
// Free-list links are 32-bit offsets from the area start, so the block format
// and its arithmetic stay those of a 32-bit heap whatever the pointer width.
// Beside the area, outside it, an index by (size, place on the free list) finds
// the block the best-fit walk of the list would find, without the walk: every
// free block carries a sequence number (at +12, or beside the heap for 16-byte
// blocks) that falls strictly along the list, the newest freed first.
class HbHeap
{
public:
    HbHeap() = default;
    ~HbHeap();
    HbHeap(const HbHeap&) = delete;
    HbHeap& operator=(const HbHeap&) = delete;

    static constexpr uint32_t kMinBlock = 16;
    static constexpr uint32_t kMinSplit = 24;
    static constexpr uint32_t kSizeMask = 0x0FFFFFFC;
    static constexpr uint32_t kBelowFree = 0x1;
    static constexpr uint32_t kFree = 0x2;

    /// Sets the heap up over [start, end). False when the area cannot hold one
    /// free block or is too large for the 28-bit size field.
    bool Init(void* start, void* end, uint32_t alignment);

    /// Best fit; null when no free block is large enough (no handler call here).
    void* Alloc(size_t size);
    /// Null, pointers outside the area and blocks already free are ignored.
    void Free(void* pointer);
    /// Grows in place when the next block is free, else moves; shrinks in place.
    /// Null when the block cannot grow; the old block is then untouched.
    void* Realloc(void* pointer, size_t size);

    /// Forgets the area (every later call fails or is ignored) and returns its start.
    void* Detach();
    bool IsReady() const { return mStart != nullptr; }

    /// True when the pointer lies inside the managed area.
    bool Contains(const void* pointer) const;
    uint32_t Alignment() const { return mAlignMask + 1; }
    uint32_t FreeBlockCount() const { return mFreeCount; }
    /// Size of the block holding a caller pointer (header included).
    uint32_t BlockSize(const void* pointer) const;

    // Inspection for tests and diagnostics.
    struct BlockInfo
    {
        size_t offset; ///< header address minus area start
        uint32_t size;
        bool free;
    };
    std::vector<BlockInfo> Blocks() const;
    /// The free blocks in free-list order, head first.
    std::vector<BlockInfo> FreeList() const;
    /// Walks every block and the free list; returns an empty string when all
    /// invariants hold, else a description of the first broken one.
    std::string Check() const;

private:
    uint32_t& Word(uint8_t* block, size_t offset) const;
    uint32_t Size(uint8_t* block) const;
    uint8_t* Next(uint8_t* block) const;
    uint8_t* Prev(uint8_t* block) const;
    void SetNext(uint8_t* block, uint8_t* next);
    void SetPrev(uint8_t* block, uint8_t* prev);
    void SetFooter(uint8_t* block, uint32_t size);
    void Unlink(uint8_t* block);
    void Replace(uint8_t* oldBlock, uint8_t* newBlock);
    size_t Needed(size_t size) const;
    void* AllocLocked(size_t size);
    void FreeLocked(void* pointer);
    uint32_t Offset(const uint8_t* block) const { return static_cast<uint32_t>(block - mStart); }
    uint32_t Granule(const uint8_t* block) const { return static_cast<uint32_t>(block - mFirst) >> mAlignShift; }
    uint32_t NewSeq();
    void Renumber();
    void IndexAdd(uint8_t* block, uint32_t seq);
    uint32_t IndexRemove(uint8_t* block);
    uint8_t* FirstSmallFree() const;

    struct Index;

    uint8_t* mStart = nullptr;
    uint8_t* mEnd = nullptr;
    uint8_t* mFirst = nullptr;
    uint8_t* mEndMarker = nullptr;
    uint8_t* mFreeHead = nullptr;
    uint32_t mAlignMask = 7;
    uint32_t mFreeCount = 0;
    uint32_t mAlignShift = 3;
    uint32_t mSeq = 0;       ///< the last sequence number given
    uint32_t mSmallFree = 0; ///< free blocks too small to carry their number
    Index* mIndex = nullptr;
    mutable HbSpinLock mLock;
};
