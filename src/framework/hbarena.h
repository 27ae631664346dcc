// HbArena: fixed-size best-fit arena carved from the framework heap.
#pragma once

#include "hbspinlock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class HbHeap;

// Each block has a 16-byte header in front of its 16-byte-aligned caller bytes:
// {size of the caller bytes, in-use byte, 3 spare bytes, previous, next}. The
// links are 32-bit offsets of caller pointers from the arena base (0 = none),
// so the header keeps its 16 bytes on a 64-bit build. Beside the arena, outside
// its memory, a bitmap of free-block starts finds a freed block's place on the
// address-ordered list and an index by (size, address) finds the best fit, so
// neither walks the list; the lists, headers and addresses stay as a walk makes them.
class HbArena
{
public:
    static constexpr uint32_t kHeader = 16;

    HbArena() = default;
    /// Frees the side index only; the block goes back to its heap through Release.
    ~HbArena();
    HbArena(const HbArena&) = delete;
    HbArena& operator=(const HbArena&) = delete;

    /// Takes size bytes from the given heap (the framework heap when null). An
    /// arena whose block could not be taken stays empty and yields nothing.
    void Init(size_t size, HbHeap* source = nullptr);
    void* Alloc(size_t size);
    /// Null and blocks that are not in use are ignored; the caller checks Contains.
    void Free(void* pointer);
    /// Size 0 frees and returns null; on failure null and the old block is kept.
    void* Realloc(void* pointer, size_t size);
    /// Gives the block back to its heap and empties the arena.
    void Release();

    /// base < pointer < end, as the routing tests of the allocators need.
    bool Contains(const void* pointer) const { return pointer > mBase && pointer < mEnd; }
    bool Exists() const { return mBase != nullptr; }
    const void* Base() const { return mBase; }
    size_t Capacity() const { return mSize; }
    /// Caller bytes of a block in use.
    uint32_t BlockSize(const void* pointer) const;

    // Inspection for tests.
    struct BlockInfo
    {
        size_t offset; ///< caller pointer minus base
        uint32_t size;
        bool inUse;
    };
    std::vector<BlockInfo> FreeList() const;
    std::vector<BlockInfo> UsedList() const;
    /// Empty when the blocks tile the arena and both lists are consistent.
    std::string Check() const;

private:
    struct Header
    {
        uint32_t size;
        uint8_t inUse;
        uint8_t spare[3];
        uint32_t prev;
        uint32_t next;
    };
    static_assert(sizeof(Header) == kHeader);

    Header* HeaderOf(uint32_t callerOffset) const;
    Header* HeaderAt(const uint8_t* caller) const;
    uint32_t OffsetOf(const uint8_t* caller) const;
    uint8_t* CallerOf(uint32_t callerOffset) const { return mBase + callerOffset; }
    void UnlinkFree(uint32_t block);
    void UnlinkUsed(uint32_t block);
    void* AllocLocked(size_t size);
    void FreeLocked(void* pointer);
    uint32_t Granule(uint32_t block) const { return (block - mFirst) / 16; }
    void IndexAdd(uint32_t block);
    void IndexRemove(uint32_t block);
    void ReleaseLocked();

    struct Index;

    size_t mSize = 0;
    uint8_t* mBase = nullptr;
    uint8_t* mEnd = nullptr;
    uint32_t mUsedHead = 0;
    uint32_t mFreeHead = 0;
    HbHeap* mSource = nullptr;
    uint32_t mFirst = 0; ///< offset of the first caller pointer
    Index* mIndex = nullptr;
    mutable HbSpinLock mLock;
};
