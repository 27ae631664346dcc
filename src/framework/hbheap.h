// HbHeap: the framework heap, a boundary-tag best-fit allocator over one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Block format (32-bit little-endian words; a block's address is its header):
//   header: bit 0 block below is free, bit 1 this block is free, bits 2..27 size
//   allocated: header, caller bytes (caller pointer = header + 4)
//   free: header, next (+4), previous (+8), ..., footer = size (last word)
// Free-list links are 32-bit offsets from the area start, so the block format
// and its arithmetic stay those of a 32-bit heap whatever the pointer width.
class HbHeap
{
public:
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

    uint8_t* mStart = nullptr;
    uint8_t* mEnd = nullptr;
    uint8_t* mFirst = nullptr;
    uint8_t* mEndMarker = nullptr;
    uint8_t* mFreeHead = nullptr;
    uint32_t mAlignMask = 7;
    uint32_t mFreeCount = 0;
    mutable std::mutex mLock;
};
