// HbHeap: boundary-tag best-fit heap with an exactly counted free list.
#include "hbheap.h"

#include <cstring>

namespace
{
uintptr_t RoundUp(uintptr_t value, uintptr_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}
uintptr_t RoundDown(uintptr_t value, uintptr_t alignment)
{
    return value & ~(alignment - 1);
}
} // namespace

uint32_t& HbHeap::Word(uint8_t* block, size_t offset) const
{
    return *reinterpret_cast<uint32_t*>(block + offset);
}

uint32_t HbHeap::Size(uint8_t* block) const
{
    return Word(block, 0) & kSizeMask;
}

uint8_t* HbHeap::Next(uint8_t* block) const
{
    return mStart + Word(block, 4);
}

uint8_t* HbHeap::Prev(uint8_t* block) const
{
    return mStart + Word(block, 8);
}

void HbHeap::SetNext(uint8_t* block, uint8_t* next)
{
    Word(block, 4) = static_cast<uint32_t>(next - mStart);
}

void HbHeap::SetPrev(uint8_t* block, uint8_t* prev)
{
    Word(block, 8) = static_cast<uint32_t>(prev - mStart);
}

void HbHeap::SetFooter(uint8_t* block, uint32_t size)
{
    Word(block, size - 4) = size;
}

bool HbHeap::Init(void* start, void* end, uint32_t alignment)
{
    uint32_t align = 8;
    if (alignment != 0)
    {
        align = 1;
        while (align < alignment && align < 0x10000)
            align <<= 1;
        if (align < 8)
            align = 8;
    }
    mAlignMask = align - 1;

    uintptr_t s = reinterpret_cast<uintptr_t>(start);
    uintptr_t e = reinterpret_cast<uintptr_t>(end);
    if (e < s + 64)
        return false;
    // The first caller pointer lands on a 32-byte boundary (or the alignment when larger).
    uintptr_t first = (align < 32 ? RoundUp(s + 4, 32) : RoundUp(s + 4, align)) - 4;
    uintptr_t marker = RoundDown(e - 16, align) - 4;
    if (marker <= first || marker - first < kMinBlock || marker - first > kSizeMask)
        return false;

    mStart = static_cast<uint8_t*>(start);
    mEnd = static_cast<uint8_t*>(end);
    mFirst = reinterpret_cast<uint8_t*>(first);
    mEndMarker = reinterpret_cast<uint8_t*>(marker);

    uint32_t size = static_cast<uint32_t>(marker - first);
    Word(mFirst, 0) = size | kFree;
    SetFooter(mFirst, size);
    SetNext(mFirst, mEndMarker);
    SetPrev(mFirst, mFirst);
    Word(mEndMarker, 0) = 16 | kBelowFree;
    mFreeHead = mFirst;
    mFreeCount = 1;
    return true;
}

void* HbHeap::Detach()
{
    std::lock_guard<std::mutex> guard(mLock);
    void* start = mStart;
    mStart = mEnd = mFirst = mEndMarker = mFreeHead = nullptr;
    mFreeCount = 0;
    return start;
}

bool HbHeap::Contains(const void* pointer) const
{
    auto p = static_cast<const uint8_t*>(pointer);
    return p > mFirst && p < mEndMarker;
}

uint32_t HbHeap::BlockSize(const void* pointer) const
{
    return Size(const_cast<uint8_t*>(static_cast<const uint8_t*>(pointer)) - 4);
}

size_t HbHeap::Needed(size_t size) const
{
    // Requests larger than any block could be are refused before the rounding can wrap.
    if (size > kSizeMask)
        return 0;
    size_t n = (size < 8 ? 8 : size) + 4;
    n = (n + mAlignMask) & ~static_cast<size_t>(mAlignMask);
    return n > kSizeMask ? 0 : n;
}

// Removes a free block from the list (the caller adjusts the count).
void HbHeap::Unlink(uint8_t* block)
{
    uint8_t* next = Next(block);
    if (block == mFreeHead)
    {
        mFreeHead = next;
        if (next != mEndMarker)
            SetPrev(next, next);
        return;
    }
    uint8_t* prev = Prev(block);
    SetNext(prev, next);
    if (next != mEndMarker)
        SetPrev(next, prev);
}

// Puts newBlock in oldBlock's place on the free list.
void HbHeap::Replace(uint8_t* oldBlock, uint8_t* newBlock)
{
    uint8_t* next = Next(oldBlock);
    SetNext(newBlock, next);
    if (next != mEndMarker)
        SetPrev(next, newBlock);
    if (oldBlock == mFreeHead)
    {
        mFreeHead = newBlock;
        SetPrev(newBlock, newBlock);
    }
    else
    {
        uint8_t* prev = Prev(oldBlock);
        SetPrev(newBlock, prev);
        SetNext(prev, newBlock);
    }
}

void* HbHeap::Alloc(size_t size)
{
    std::lock_guard<std::mutex> guard(mLock);
    return AllocLocked(size);
}

void* HbHeap::AllocLocked(size_t size)
{
    if (!mStart)
        return nullptr;
    size_t needed = Needed(size);
    if (needed == 0)
        return nullptr;

    uint8_t* best = nullptr;
    uint32_t bestSize = 0;
    uint8_t* block = mFreeHead;
    for (uint32_t i = 0; i < mFreeCount; ++i)
    {
        uint32_t s = Size(block);
        if (s >= needed && (!best || s < bestSize))
        {
            best = block;
            bestSize = s;
        }
        block = Next(block);
    }
    if (!best)
        return nullptr;

    uint32_t belowFree = Word(best, 0) & kBelowFree;
    if (bestSize - needed >= kMinSplit)
    {
        uint8_t* rest = best + needed;
        uint32_t restSize = bestSize - static_cast<uint32_t>(needed);
        Replace(best, rest);
        Word(rest, 0) = restSize | kFree;
        SetFooter(rest, restSize);
        Word(best, 0) = static_cast<uint32_t>(needed) | belowFree;
    }
    else
    {
        Unlink(best);
        --mFreeCount;
        Word(best + bestSize, 0) &= ~kBelowFree;
        Word(best, 0) = bestSize | belowFree;
    }
    return best + 4;
}

void HbHeap::Free(void* pointer)
{
    std::lock_guard<std::mutex> guard(mLock);
    FreeLocked(pointer);
}

void HbHeap::FreeLocked(void* pointer)
{
    if (!pointer || !Contains(pointer))
        return;
    uint8_t* b = static_cast<uint8_t*>(pointer) - 4;
    uint32_t header = Word(b, 0);
    if (header & kFree)
        return; // freed twice: leave the heap as it is
    uint32_t bSize = header & kSizeMask;
    uint8_t* n = b + bSize;
    bool nFree = (Word(n, 0) & kFree) != 0;

    if (header & kBelowFree)
    {
        uint32_t pSize = *reinterpret_cast<uint32_t*>(b - 4);
        uint8_t* p = b - pSize;
        uint32_t merged = pSize + bSize;
        if (nFree)
        {
            merged += Size(n);
            Unlink(n);
            --mFreeCount;
        }
        Word(p, 0) = merged | kFree | (Word(p, 0) & kBelowFree);
        SetFooter(p, merged);
        Word(p + merged, 0) |= kBelowFree;
    }
    else if (nFree)
    {
        uint32_t merged = bSize + Size(n);
        Replace(n, b);
        Word(b, 0) = merged | kFree;
        SetFooter(b, merged);
        Word(b + merged, 0) |= kBelowFree;
    }
    else
    {
        SetNext(b, mFreeHead);
        if (mFreeHead != mEndMarker)
            SetPrev(mFreeHead, b);
        SetPrev(b, b);
        mFreeHead = b;
        Word(b, 0) = bSize | kFree;
        SetFooter(b, bSize);
        Word(n, 0) |= kBelowFree;
        ++mFreeCount;
    }
}

void* HbHeap::Realloc(void* pointer, size_t size)
{
    if (!pointer)
        return Alloc(size);
    size_t needed = Needed(size);
    if (needed == 0)
        return nullptr;

    std::unique_lock<std::mutex> guard(mLock);
    if (!Contains(pointer))
        return nullptr;
    uint8_t* b = static_cast<uint8_t*>(pointer) - 4;
    uint32_t current = Size(b);
    uint32_t belowFree = Word(b, 0) & kBelowFree;

    if (needed > current)
    {
        uint8_t* n = b + current;
        if ((Word(n, 0) & kFree) && current + Size(n) >= needed)
        {
            uint32_t nSize = Size(n);
            uint32_t excess = current + nSize - static_cast<uint32_t>(needed);
            uint32_t newSize;
            if (excess >= kMinSplit)
            {
                uint8_t* rest = b + needed;
                Replace(n, rest);
                Word(rest, 0) = excess | kFree;
                SetFooter(rest, excess);
                newSize = static_cast<uint32_t>(needed);
            }
            else
            {
                Unlink(n);
                --mFreeCount;
                Word(n + nSize, 0) &= ~kBelowFree;
                newSize = current + nSize;
            }
            Word(b, 0) = newSize | belowFree;
            return pointer;
        }
        void* moved = AllocLocked(size);
        if (!moved)
            return nullptr;
        size_t keep = current - 4;
        std::memcpy(moved, pointer, size < keep ? size : keep);
        FreeLocked(pointer);
        return moved;
    }

    if (current - needed > 8)
    {
        Word(b, 0) = static_cast<uint32_t>(needed) | belowFree;
        uint8_t* rest = b + needed;
        Word(rest, 0) = current - static_cast<uint32_t>(needed);
        FreeLocked(rest + 4);
    }
    return pointer;
}

std::vector<HbHeap::BlockInfo> HbHeap::Blocks() const
{
    std::lock_guard<std::mutex> guard(mLock);
    std::vector<BlockInfo> blocks;
    for (uint8_t* b = mFirst; b && b < mEndMarker; b += Size(b))
    {
        blocks.push_back({static_cast<size_t>(b - mStart), Size(b), (Word(b, 0) & kFree) != 0});
        if (Size(b) == 0)
            break;
    }
    return blocks;
}

std::string HbHeap::Check() const
{
    std::lock_guard<std::mutex> guard(mLock);
    if (!mStart)
        return "heap not initialised";
    uint32_t freeSeen = 0;
    bool belowFree = false;
    uint8_t* b = mFirst;
    while (b < mEndMarker)
    {
        uint32_t header = Word(b, 0);
        uint32_t size = header & kSizeMask;
        bool isFree = (header & kFree) != 0;
        if (size < kMinBlock || (size & mAlignMask) || b + size > mEndMarker)
            return "bad block size at offset " + std::to_string(b - mStart);
        if (((header & kBelowFree) != 0) != belowFree)
            return "below-free bit wrong at offset " + std::to_string(b - mStart);
        if (isFree)
        {
            if (belowFree)
                return "two adjacent free blocks at offset " + std::to_string(b - mStart);
            if (Word(b, size - 4) != size)
                return "bad footer at offset " + std::to_string(b - mStart);
            ++freeSeen;
        }
        belowFree = isFree;
        b += size;
    }
    if (b != mEndMarker)
        return "blocks do not end at the end marker";
    uint32_t marker = Word(mEndMarker, 0);
    if ((marker & kSizeMask) != 16 || (marker & kFree) || ((marker & kBelowFree) != 0) != belowFree)
        return "bad end marker";
    if (freeSeen != mFreeCount)
        return "free count " + std::to_string(mFreeCount) + " but " + std::to_string(freeSeen) + " free blocks";

    uint8_t* f = mFreeHead;
    uint8_t* prev = nullptr;
    for (uint32_t i = 0; i < mFreeCount; ++i)
    {
        if (f < mFirst || f >= mEndMarker || !(Word(f, 0) & kFree))
            return "free list reaches a block that is not free";
        if (i == 0 ? Prev(f) != f : Prev(f) != prev)
            return "bad previous link on the free list";
        prev = f;
        f = Next(f);
    }
    if (f != mEndMarker)
        return "free list does not end at the end marker";
    return "";
}
