// HbPerClassFreeList: pool layout, allocation, the swap-on-free rule and the
// class pools built on it.
#include "hbperclassfreelist.h"

#include <cstring>
#include <new>

namespace
{
constexpr size_t RoundUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

constexpr int32_t kMaxRecords = 1 << 24;
} // namespace

HbPerClassFreeList* HbPerClassFreeList::Create(size_t recordSize, int32_t count)
{
    if (count < 1 || count > kMaxRecords || recordSize == 0 || recordSize > (size_t(1) << 24))
        return nullptr;
    size_t indexOffset = RoundUp(recordSize, alignof(int32_t));
    size_t slotSize = RoundUp(indexOffset + sizeof(int32_t), kSlotAlignment);
    size_t header = RoundUp(sizeof(HbPerClassFreeList), kSlotAlignment);
    size_t pointers = RoundUp(sizeof(void*) * static_cast<size_t>(count), kSlotAlignment);
    size_t total = header + pointers + slotSize * static_cast<size_t>(count);

    // Operator new blocks are 16-byte aligned, so the slots are too.
    void* block = HbOperatorNew(total);
    if (!block)
        return nullptr;
    auto* pool = new (block) HbPerClassFreeList();
    auto* bytes = static_cast<uint8_t*>(block);
    pool->mPointers = reinterpret_cast<void**>(bytes + header);
    pool->mSlots = bytes + header + pointers;
    pool->mRecordSize = recordSize;
    pool->mIndexOffset = indexOffset;
    pool->mSlotSize = slotSize;
    pool->mCount = count;
    pool->mUsed = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        uint8_t* slot = pool->mSlots + slotSize * static_cast<size_t>(i);
        std::memset(slot, 0, recordSize);
        pool->mPointers[i] = slot;
        pool->IndexWord(slot) = -1;
    }
    return pool;
}

void HbPerClassFreeList::Destroy(HbPerClassFreeList* pool)
{
    if (!pool)
        return;
    pool->~HbPerClassFreeList();
    HbOperatorDelete(pool);
}

bool HbPerClassFreeList::Contains(const void* pointer) const
{
    auto* p = static_cast<const uint8_t*>(pointer);
    return p >= mSlots && p < mSlots + mSlotSize * static_cast<size_t>(mCount);
}

int32_t HbPerClassFreeList::IndexOf(const void* record) const
{
    return IndexWord(const_cast<void*>(record));
}

void* HbPerClassFreeList::Alloc(size_t size)
{
    std::unique_lock<std::mutex> guard(mLock);
    if (mUsed >= mCount || size > mRecordSize)
    {
        guard.unlock();
        return HbHeapAlloc(size);
    }
    void* record = mPointers[mUsed];
    IndexWord(record) = mUsed;
    ++mUsed;
    return record;
}

HbPerClassFreeList::FreeResult HbPerClassFreeList::Free(void* record)
{
    if (!record)
        return kIgnored;
    if (!Contains(record))
    {
        HbHeapFree(record);
        return kToHeap;
    }
    std::lock_guard<std::mutex> guard(mLock);
    size_t offset = static_cast<size_t>(static_cast<uint8_t*>(record) - mSlots);
    if (offset % mSlotSize != 0)
        return kIgnored;
    int32_t index = IndexWord(record);
    if (index < 0 || index >= mUsed || mPointers[index] != record)
        return kIgnored;
    // Keep the used records at the front: the last used one takes the freed
    // position, and the freed record becomes the next one handed out.
    --mUsed;
    void* last = mPointers[mUsed];
    mPointers[index] = last;
    IndexWord(last) = index;
    mPointers[mUsed] = record;
    IndexWord(record) = -1;
    return kToPool;
}

// ---- HbClassPool ----------------------------------------------------------------

int HbClassPool::Create()
{
    if (!mPool)
    {
        std::lock_guard<std::mutex> guard(mCreateLock);
        if (!mPool)
            mPool = HbPerClassFreeList::Create(mRecordSize, mCount);
    }
    return Exists();
}

void* HbClassPool::Alloc(size_t size)
{
    if (!mPool)
        Create();
    HbPerClassFreeList* pool = mPool;
    return pool ? pool->Alloc(size) : HbHeapAlloc(size);
}

void HbClassPool::Free(void* record)
{
    HbPerClassFreeList* pool = mPool;
    if (!pool)
    {
        HbHeapFree(record);
        return;
    }
    pool->Free(record);
    if (HbIsShuttingDown() && pool->GetUsedCount() == 0)
    {
        // Once the game is shutting down an empty pool goes; a later Alloc makes it again.
        std::lock_guard<std::mutex> guard(mCreateLock);
        if (mPool == pool && pool->GetUsedCount() == 0)
        {
            mPool = nullptr;
            HbPerClassFreeList::Destroy(pool);
        }
    }
}
