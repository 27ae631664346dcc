// HbArena: best-fit arena with an address-ordered free list and a newest-first used list.
#include "hbarena.h"

#include "hbfreeindex_local.h"
#include "hbheap.h"
#include "hbmemory.h"

#include <cstring>
#include <mutex>
#include <new>

struct HbArena::Index
{
    HbGranuleBitmap starts; ///< one bit per 16-byte granule: a free block's caller pointer
    HbBestFitIndex fit;     ///< free blocks by (size, address)
};

namespace
{
// Sizes below 64 KB, the arenas' usual requests, get a bin each.
constexpr uint32_t kFitBins = 4096;
} // namespace

HbArena::Header* HbArena::HeaderOf(uint32_t callerOffset) const
{
    return reinterpret_cast<Header*>(mBase + callerOffset - kHeader);
}

HbArena::Header* HbArena::HeaderAt(const uint8_t* caller) const
{
    return reinterpret_cast<Header*>(const_cast<uint8_t*>(caller) - kHeader);
}

uint32_t HbArena::OffsetOf(const uint8_t* caller) const
{
    return static_cast<uint32_t>(caller - mBase);
}

HbArena::~HbArena()
{
    delete mIndex;
}

void HbArena::Init(size_t size, HbHeap* source)
{
    std::lock_guard<HbSpinLock> guard(mLock);
    mSize = size;
    mSource = source;
    mBase = mEnd = nullptr;
    mUsedHead = mFreeHead = 0;
    delete mIndex;
    mIndex = nullptr;
    if (size < 2 * kHeader || size > 0xFFFFFFF0u)
        return;
    void* block = source ? source->Alloc(size) : HbHeapAlloc(size);
    if (!block)
        return;
    mBase = static_cast<uint8_t*>(block);
    mEnd = mBase + size;
    // The first caller pointer is the first 16-byte boundary whose header still
    // lies inside the block (base + 16 when the base is aligned).
    uintptr_t first = (reinterpret_cast<uintptr_t>(mBase) + kHeader + 15) & ~uintptr_t(15);
    uint8_t* caller = reinterpret_cast<uint8_t*>(first);
    if (caller >= mEnd)
    {
        ReleaseLocked();
        return;
    }
    mFirst = OffsetOf(caller);
    // A small pool needs no more bins than it has granules.
    uint32_t granules = static_cast<uint32_t>((mEnd - caller) / 16 + 1);
    mIndex = new (std::nothrow) Index;
    if (!mIndex || !mIndex->starts.Init(granules) || !mIndex->fit.Init(16, granules < kFitBins ? granules : kFitBins))
    {
        ReleaseLocked();
        return;
    }
    Header* h = HeaderAt(caller);
    h->size = static_cast<uint32_t>(mEnd - caller);
    h->inUse = 0;
    h->prev = h->next = 0;
    mFreeHead = mFirst;
    IndexAdd(mFirst);
}

void HbArena::IndexAdd(uint32_t block)
{
    mIndex->starts.Set(Granule(block));
    mIndex->fit.Add(HeaderOf(block)->size, block, block);
}

// Before the block's size changes or it leaves the free list.
void HbArena::IndexRemove(uint32_t block)
{
    mIndex->starts.Clear(Granule(block));
    mIndex->fit.Remove(HeaderOf(block)->size, block, block);
}

void HbArena::UnlinkFree(uint32_t block)
{
    Header* h = HeaderOf(block);
    if (h->prev)
        HeaderOf(h->prev)->next = h->next;
    else
        mFreeHead = h->next;
    if (h->next)
        HeaderOf(h->next)->prev = h->prev;
    h->prev = h->next = 0;
}

void HbArena::UnlinkUsed(uint32_t block)
{
    Header* h = HeaderOf(block);
    if (h->prev)
        HeaderOf(h->prev)->next = h->next;
    else
        mUsedHead = h->next;
    if (h->next)
        HeaderOf(h->next)->prev = h->prev;
    h->prev = h->next = 0;
}

void* HbArena::Alloc(size_t size)
{
    std::lock_guard<HbSpinLock> guard(mLock);
    return AllocLocked(size);
}

// Best fit: the smallest free block of at least the request, the lowest address
// among equals (a block of exactly the request is then also the first such
// block on the address-ordered list, which a walk would take at once).
void* HbArena::AllocLocked(size_t size)
{
    if (!mBase || size > mSize)
        return nullptr;
    uint32_t chosen = 0;
    uint32_t chosenSize = 0;
    if (!mIndex->fit.Find(size, &chosen, &chosenSize))
        return nullptr;
    IndexRemove(chosen);

    Header* h = HeaderOf(chosen);
    if (chosenSize > size)
    {
        size_t rounded = (size + 15) & ~size_t(15);
        uint8_t* caller = CallerOf(chosen);
        uint8_t* bytesEnd = caller + chosenSize;
        uint8_t* split = caller + rounded + kHeader;
        if (split - kHeader < mEnd && split < bytesEnd)
        {
            uint32_t s = OffsetOf(split);
            Header* n = HeaderOf(s);
            n->size = static_cast<uint32_t>(bytesEnd - split);
            n->inUse = 0;
            n->prev = chosen;
            n->next = h->next;
            if (h->next)
                HeaderOf(h->next)->prev = s;
            h->next = s;
            h->size = static_cast<uint32_t>(rounded);
            IndexAdd(s);
        }
    }
    UnlinkFree(chosen);
    h->next = mUsedHead;
    h->prev = 0;
    if (mUsedHead)
        HeaderOf(mUsedHead)->prev = chosen;
    mUsedHead = chosen;
    h->inUse = 1;
    return CallerOf(chosen);
}

void HbArena::Free(void* pointer)
{
    std::lock_guard<HbSpinLock> guard(mLock);
    FreeLocked(pointer);
}

// The block joins the free list after the nearest free block below it (found
// in the bitmap) and merges with the free blocks that touch it.
void HbArena::FreeLocked(void* pointer)
{
    if (!pointer || !mBase)
        return;
    uint8_t* caller = static_cast<uint8_t*>(pointer);
    Header* h = HeaderAt(caller);
    if (h->inUse != 1)
        return; // freed twice or not a block: leave the lists as they are
    uint32_t block = OffsetOf(caller);
    h->inUse = 0;
    UnlinkUsed(block);

    uint32_t below = mIndex->starts.FindBelow(Granule(block));
    uint32_t after = below == HbGranuleBitmap::kNone ? 0 : mFirst + below * 16;
    uint32_t next = after ? HeaderOf(after)->next : mFreeHead;
    bool joinsAbove = next && caller + h->size + kHeader == CallerOf(next);
    if (after && CallerOf(after) + HeaderOf(after)->size + kHeader == caller)
    {
        // The block below absorbs this one, and the one above when it is free too.
        // Its start stays marked in the bitmap; only its size, and so its place
        // in the best-fit index, changes.
        Header* a = HeaderOf(after);
        mIndex->fit.Remove(a->size, after, after);
        uint32_t grown = a->size + h->size + kHeader;
        if (joinsAbove)
        {
            IndexRemove(next);
            grown += HeaderOf(next)->size + kHeader;
            UnlinkFree(next);
        }
        a->size = grown;
        mIndex->fit.Add(grown, after, after);
        return;
    }

    h->prev = after;
    h->next = next;
    if (next)
        HeaderOf(next)->prev = block;
    if (after)
        HeaderOf(after)->next = block;
    else
        mFreeHead = block;
    if (joinsAbove)
    {
        IndexRemove(next);
        uint32_t upperSize = HeaderOf(next)->size;
        UnlinkFree(next);
        h->size += upperSize + kHeader;
    }
    IndexAdd(block);
}

void* HbArena::Realloc(void* pointer, size_t size)
{
    std::lock_guard<HbSpinLock> guard(mLock);
    if (size == 0)
    {
        FreeLocked(pointer);
        return nullptr;
    }
    void* moved = AllocLocked(size);
    if (!moved)
        return nullptr;
    if (pointer)
    {
        uint32_t old = HeaderAt(static_cast<uint8_t*>(pointer))->size;
        std::memcpy(moved, pointer, old < size ? old : size);
        FreeLocked(pointer);
    }
    return moved;
}

void HbArena::Release()
{
    ReleaseLocked();
}

void HbArena::ReleaseLocked()
{
    delete mIndex;
    mIndex = nullptr;
    if (mBase)
    {
        if (mSource)
            mSource->Free(mBase);
        else
            HbHeapFree(mBase);
    }
    mBase = mEnd = nullptr;
    mUsedHead = mFreeHead = 0;
}

uint32_t HbArena::BlockSize(const void* pointer) const
{
    return HeaderAt(static_cast<const uint8_t*>(pointer))->size;
}

std::vector<HbArena::BlockInfo> HbArena::FreeList() const
{
    std::lock_guard<HbSpinLock> guard(mLock);
    std::vector<BlockInfo> list;
    for (uint32_t b = mFreeHead; b && list.size() < (1u << 24); b = HeaderOf(b)->next)
        list.push_back({b, HeaderOf(b)->size, HeaderOf(b)->inUse != 0});
    return list;
}

std::vector<HbArena::BlockInfo> HbArena::UsedList() const
{
    std::lock_guard<HbSpinLock> guard(mLock);
    std::vector<BlockInfo> list;
    for (uint32_t b = mUsedHead; b && list.size() < (1u << 24); b = HeaderOf(b)->next)
        list.push_back({b, HeaderOf(b)->size, HeaderOf(b)->inUse != 0});
    return list;
}

std::string HbArena::Check() const
{
    if (!mBase)
        return "";
    auto freeList = FreeList();
    auto usedList = UsedList();
    std::lock_guard<HbSpinLock> guard(mLock);
    for (size_t i = 0; i < freeList.size(); ++i)
    {
        if (freeList[i].inUse)
            return "a block on the free list is in use";
        if (i > 0 && freeList[i].offset <= freeList[i - 1].offset)
            return "free list out of address order";
        if (HeaderOf(static_cast<uint32_t>(freeList[i].offset))->prev != (i ? freeList[i - 1].offset : 0))
            return "bad previous link on the free list";
    }
    for (size_t i = 0; i < usedList.size(); ++i)
    {
        if (!usedList[i].inUse)
            return "a block on the used list is free";
        if (HeaderOf(static_cast<uint32_t>(usedList[i].offset))->prev != (i ? usedList[i - 1].offset : 0))
            return "bad previous link on the used list";
    }
    // Blocks tile the arena without gaps from the first caller pointer to the end.
    uintptr_t first = (reinterpret_cast<uintptr_t>(mBase) + kHeader + 15) & ~uintptr_t(15);
    uint8_t* caller = reinterpret_cast<uint8_t*>(first);
    size_t blocks = 0;
    bool lastFree = false;
    while (caller < mEnd)
    {
        Header* h = HeaderAt(caller);
        if (h->inUse == 0 && lastFree)
            return "two adjacent free blocks";
        lastFree = h->inUse == 0;
        ++blocks;
        caller += h->size + kHeader;
    }
    if (caller != mEnd + kHeader)
        return "blocks do not tile the arena";
    if (blocks != freeList.size() + usedList.size())
        return "a block is on neither list";
    // The side index holds exactly the free blocks.
    if (mIndex->fit.Count() != freeList.size())
        return "the best-fit index does not hold every free block";
    size_t marked = 0;
    for (uint32_t g = mIndex->starts.FindFrom(0); g != HbGranuleBitmap::kNone; g = mIndex->starts.FindFrom(g + 1))
        ++marked;
    if (marked != freeList.size())
        return "the bitmap marks other blocks than the free ones";
    for (const BlockInfo& b : freeList)
        if (!mIndex->starts.Test(Granule(static_cast<uint32_t>(b.offset))))
            return "a free block is missing from the bitmap";
    return "";
}
