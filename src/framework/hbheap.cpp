// HbHeap: boundary-tag best-fit heap with an exactly counted free list.
#include "hbheap.h"

#include "hbfreeindex_local.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

struct HbHeap::Index
{
    HbGranuleBitmap starts;                          ///< one bit per alignment unit: an indexed free block's header
    HbBestFitIndex fit;                              ///< free blocks of 24 bytes and more by (size, newest first)
    std::unordered_map<uint32_t, uint32_t> smallSeq; ///< offset -> number of a 16-byte free block
};

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

// A free block of this size or more has room for its number at +12.
constexpr uint32_t kNumbered = 24;
// Sizes below 256 KB get a bin each (counted in alignment units).
constexpr uint32_t kFitBytes = 256 * 1024;
} // namespace

HbHeap::~HbHeap()
{
    delete mIndex;
}

// The number of a block pushed at the head of the free list: above every other.
uint32_t HbHeap::NewSeq()
{
    if (mSeq == UINT32_MAX)
        Renumber();
    return ++mSeq;
}

// Numbers the free list afresh from its tail (1) to its head, keeping the order.
void HbHeap::Renumber()
{
    std::vector<uint8_t*> blocks;
    uint8_t* b = mFreeHead;
    for (uint32_t i = 0; i < mFreeCount; ++i, b = Next(b))
        blocks.push_back(b);
    for (uint8_t* block : blocks)
        IndexRemove(block);
    uint32_t seq = static_cast<uint32_t>(blocks.size());
    for (uint8_t* block : blocks)
        IndexAdd(block, seq--);
    mSeq = static_cast<uint32_t>(blocks.size());
}

// After the block's header holds its final size. The index keys are the
// inverted numbers, so that the smallest key is the newest block, the one
// nearest the head of the free list.
void HbHeap::IndexAdd(uint8_t* block, uint32_t seq)
{
    uint32_t size = Size(block);
    if (size < kNumbered)
    {
        mIndex->smallSeq[Offset(block)] = seq;
        ++mSmallFree;
        return;
    }
    Word(block, 12) = seq;
    mIndex->starts.Set(Granule(block));
    mIndex->fit.Add(size, ~seq, Offset(block));
}

// Before the block's size changes or it leaves the free list; returns its number.
uint32_t HbHeap::IndexRemove(uint8_t* block)
{
    uint32_t size = Size(block);
    if (size < kNumbered)
    {
        auto it = mIndex->smallSeq.find(Offset(block));
        uint32_t seq = it->second;
        mIndex->smallSeq.erase(it);
        --mSmallFree;
        return seq;
    }
    uint32_t seq = Word(block, 12);
    mIndex->starts.Clear(Granule(block));
    mIndex->fit.Remove(size, ~seq, Offset(block));
    return seq;
}

// The first 16-byte block on the free list (rare: only 12-byte requests and
// small shrinks make them).
uint8_t* HbHeap::FirstSmallFree() const
{
    uint8_t* b = mFreeHead;
    for (uint32_t i = 0; i < mFreeCount; ++i, b = Next(b))
        if (Size(b) < kNumbered)
            return b;
    return nullptr;
}

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
    mAlignShift = static_cast<uint32_t>(__builtin_ctz(align));

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

    delete mIndex;
    mIndex = new (std::nothrow) Index;
    uint32_t units = static_cast<uint32_t>((marker - first) >> mAlignShift) + 1;
    if (!mIndex || !mIndex->starts.Init(units) || !mIndex->fit.Init(align, kFitBytes >> mAlignShift))
    {
        delete mIndex;
        mIndex = nullptr;
        mStart = mEnd = mFirst = mEndMarker = mFreeHead = nullptr;
        return false;
    }
    mSeq = 0;
    mSmallFree = 0;

    uint32_t size = static_cast<uint32_t>(marker - first);
    Word(mFirst, 0) = size | kFree;
    SetFooter(mFirst, size);
    SetNext(mFirst, mEndMarker);
    SetPrev(mFirst, mFirst);
    Word(mEndMarker, 0) = 16 | kBelowFree;
    mFreeHead = mFirst;
    mFreeCount = 1;
    IndexAdd(mFirst, NewSeq());
    return true;
}

void* HbHeap::Detach()
{
    std::lock_guard<HbSpinLock> guard(mLock);
    void* start = mStart;
    mStart = mEnd = mFirst = mEndMarker = mFreeHead = nullptr;
    mFreeCount = 0;
    mSmallFree = 0;
    delete mIndex;
    mIndex = nullptr;
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
    std::lock_guard<HbSpinLock> guard(mLock);
    return AllocLocked(size);
}

void* HbHeap::AllocLocked(size_t size)
{
    if (!mStart)
        return nullptr;
    size_t needed = Needed(size);
    if (needed == 0)
        return nullptr;

    // Best fit: the smallest free block of at least the needed size, the one
    // nearest the head of the free list among equals.
    uint8_t* best = nullptr;
    uint32_t bestSize = 0;
    if (needed < kNumbered && mSmallFree > 0)
    {
        best = FirstSmallFree();
        bestSize = Size(best);
    }
    else
    {
        uint32_t offset = 0;
        if (!mIndex->fit.Find(needed, &offset, &bestSize))
            return nullptr;
        best = mStart + offset;
    }

    uint32_t belowFree = Word(best, 0) & kBelowFree;
    uint32_t seq = IndexRemove(best);
    if (bestSize - needed >= kMinSplit)
    {
        uint8_t* rest = best + needed;
        uint32_t restSize = bestSize - static_cast<uint32_t>(needed);
        Replace(best, rest);
        Word(rest, 0) = restSize | kFree;
        SetFooter(rest, restSize);
        Word(best, 0) = static_cast<uint32_t>(needed) | belowFree;
        IndexAdd(rest, seq);
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
    std::lock_guard<HbSpinLock> guard(mLock);
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
            IndexRemove(n);
            Unlink(n);
            --mFreeCount;
        }
        uint32_t seq = IndexRemove(p);
        Word(p, 0) = merged | kFree | (Word(p, 0) & kBelowFree);
        SetFooter(p, merged);
        Word(p + merged, 0) |= kBelowFree;
        IndexAdd(p, seq);
    }
    else if (nFree)
    {
        uint32_t merged = bSize + Size(n);
        uint32_t seq = IndexRemove(n);
        Replace(n, b);
        Word(b, 0) = merged | kFree;
        SetFooter(b, merged);
        Word(b + merged, 0) |= kBelowFree;
        IndexAdd(b, seq);
    }
    else
    {
        uint32_t seq = NewSeq();
        SetNext(b, mFreeHead);
        if (mFreeHead != mEndMarker)
            SetPrev(mFreeHead, b);
        SetPrev(b, b);
        mFreeHead = b;
        Word(b, 0) = bSize | kFree;
        SetFooter(b, bSize);
        Word(n, 0) |= kBelowFree;
        ++mFreeCount;
        IndexAdd(b, seq);
    }
}

void* HbHeap::Realloc(void* pointer, size_t size)
{
    if (!pointer)
        return Alloc(size);
    size_t needed = Needed(size);
    if (needed == 0)
        return nullptr;

    std::unique_lock<HbSpinLock> guard(mLock);
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
            uint32_t seq = IndexRemove(n);
            if (excess >= kMinSplit)
            {
                uint8_t* rest = b + needed;
                Replace(n, rest);
                Word(rest, 0) = excess | kFree;
                SetFooter(rest, excess);
                newSize = static_cast<uint32_t>(needed);
                IndexAdd(rest, seq);
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
    std::lock_guard<HbSpinLock> guard(mLock);
    std::vector<BlockInfo> blocks;
    for (uint8_t* b = mFirst; b && b < mEndMarker; b += Size(b))
    {
        blocks.push_back({static_cast<size_t>(b - mStart), Size(b), (Word(b, 0) & kFree) != 0});
        if (Size(b) == 0)
            break;
    }
    return blocks;
}

std::vector<HbHeap::BlockInfo> HbHeap::FreeList() const
{
    std::lock_guard<HbSpinLock> guard(mLock);
    std::vector<BlockInfo> list;
    uint8_t* b = mFreeHead;
    for (uint32_t i = 0; mStart && i < mFreeCount; ++i, b = Next(b))
        list.push_back({static_cast<size_t>(b - mStart), Size(b), true});
    return list;
}

std::string HbHeap::Check() const
{
    std::lock_guard<HbSpinLock> guard(mLock);
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

    // The index: numbers fall strictly along the list, and exactly the free
    // blocks are indexed.
    uint32_t small = 0;
    uint32_t last = UINT32_MAX;
    size_t marked = 0;
    f = mFreeHead;
    for (uint32_t i = 0; i < mFreeCount; ++i, f = Next(f))
    {
        uint32_t seq = 0;
        if (Size(f) < kNumbered)
        {
            auto it = mIndex->smallSeq.find(Offset(f));
            if (it == mIndex->smallSeq.end())
                return "a small free block has no number";
            seq = it->second;
            ++small;
        }
        else
        {
            if (!mIndex->starts.Test(Granule(f)))
                return "a free block is missing from the bitmap";
            seq = Word(f, 12);
            ++marked;
        }
        if (seq >= last && i > 0)
            return "free-list numbers do not fall along the list";
        if (seq > mSeq)
            return "a free-list number above the last one given";
        last = seq;
    }
    if (small != mSmallFree || mIndex->smallSeq.size() != small)
        return "small free blocks miscounted";
    if (mIndex->fit.Count() != marked)
        return "the best-fit index does not hold every free block";
    size_t bits = 0;
    for (uint32_t g = mIndex->starts.FindFrom(0); g != HbGranuleBitmap::kNone; g = mIndex->starts.FindFrom(g + 1))
        ++bits;
    if (bits != marked)
        return "the bitmap marks other blocks than the free ones";
    return "";
}
