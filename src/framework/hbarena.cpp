// HbArena: best-fit arena with an address-ordered free list and a newest-first used list.
#include "hbarena.h"

#include "hbheap.h"
#include "hbmemory.h"

#include <cstring>

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

void HbArena::Init(size_t size, HbHeap* source)
{
    std::lock_guard<std::mutex> guard(mLock);
    mSize = size;
    mSource = source;
    mBase = mEnd = nullptr;
    mUsedHead = mFreeHead = 0;
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
        Release();
        return;
    }
    Header* h = HeaderAt(caller);
    h->size = static_cast<uint32_t>(mEnd - caller);
    h->inUse = 0;
    h->prev = h->next = 0;
    mFreeHead = OffsetOf(caller);
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
    std::lock_guard<std::mutex> guard(mLock);
    return AllocLocked(size);
}

void* HbArena::AllocLocked(size_t size)
{
    if (!mBase || size > mSize)
        return nullptr;
    uint32_t chosen = 0;
    uint32_t chosenSize = 0;
    for (uint32_t b = mFreeHead; b; b = HeaderOf(b)->next)
    {
        uint32_t s = HeaderOf(b)->size;
        if (s == size)
        {
            chosen = b;
            chosenSize = s;
            break;
        }
        if (s > size && (!chosen || s < chosenSize))
        {
            chosen = b;
            chosenSize = s;
        }
    }
    if (!chosen)
        return nullptr;

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
    std::lock_guard<std::mutex> guard(mLock);
    FreeLocked(pointer);
}

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

    // Find the free block after which this one belongs (address order).
    uint32_t after = 0;
    bool found = false;
    uint8_t* nextHeader = caller + h->size;
    if (nextHeader > mBase && nextHeader + kHeader < mEnd)
    {
        Header* next = reinterpret_cast<Header*>(nextHeader);
        if (next->inUse == 0)
        {
            after = next->prev;
            found = true;
        }
    }
    if (!found)
    {
        for (uint32_t b = mFreeHead; b && b < block; b = HeaderOf(b)->next)
            after = b;
    }

    if (after)
    {
        Header* a = HeaderOf(after);
        h->prev = after;
        h->next = a->next;
        if (a->next)
            HeaderOf(a->next)->prev = block;
        a->next = block;
    }
    else
    {
        h->prev = 0;
        h->next = mFreeHead;
        if (mFreeHead)
            HeaderOf(mFreeHead)->prev = block;
        mFreeHead = block;
    }

    uint32_t prev = h->prev;
    Coalesce(block, h->next);
    Coalesce(prev, block);
}

void HbArena::Coalesce(uint32_t lower, uint32_t upper)
{
    if (!lower || !upper)
        return;
    Header* l = HeaderOf(lower);
    if (CallerOf(lower) + l->size != CallerOf(upper) - kHeader)
        return;
    uint32_t upperSize = HeaderOf(upper)->size;
    UnlinkFree(upper);
    l->size += upperSize + kHeader;
}

void* HbArena::Realloc(void* pointer, size_t size)
{
    std::lock_guard<std::mutex> guard(mLock);
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
    std::lock_guard<std::mutex> guard(mLock);
    std::vector<BlockInfo> list;
    for (uint32_t b = mFreeHead; b && list.size() < (1u << 24); b = HeaderOf(b)->next)
        list.push_back({b, HeaderOf(b)->size, HeaderOf(b)->inUse != 0});
    return list;
}

std::vector<HbArena::BlockInfo> HbArena::UsedList() const
{
    std::lock_guard<std::mutex> guard(mLock);
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
    std::lock_guard<std::mutex> guard(mLock);
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
    return "";
}
