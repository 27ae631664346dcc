// HbPerClassFreeList: a fixed pool of N records for one class, with constant-time
// allocation and freeing and a heap fallback; HbClassPool and the pool macros
// give a class its pool as its operator new and delete.
#pragma once

#include "hbmemory.h"
#include "hbmoduleinit.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

/// One block from operator new: the pool record, an array of N record pointers
/// and N slots. A slot holds a record followed by its 32-bit pool index (its
/// position in the pointer array while in use, -1 while free); slots are
/// 16-byte aligned, enough for every class a pool may hold. The first
/// used-count pointers point at the records in use.
class HbPerClassFreeList
{
public:
    static constexpr size_t kSlotAlignment = 16;

    /// Result of Free.
    enum FreeResult : int
    {
        kIgnored = -1, ///< null, or a pool record that is already free (a double free)
        kToHeap = 0,   ///< not a pool record: handed to the heap
        kToPool = 1,   ///< back in the pool
    };

    /// A pool of count records of recordSize bytes, zeroed, all free; null when
    /// out of memory or for a count below 1.
    static HbPerClassFreeList* Create(size_t recordSize, int32_t count);
    /// Gives a pool's block back (the program keeps its pools until it ends).
    static void Destroy(HbPerClassFreeList* pool);

    /// The next free record, or a heap block when the pool is full or size is
    /// larger than the pool's records (a derived class); null when out of memory.
    void* Alloc(size_t size);
    /// Returns a record to the pool (moving the last used record into its
    /// position), or a foreign record to the heap. A pointer inside the pool that
    /// is free already or does not start a slot is ignored: it must never reach
    /// the heap.
    FreeResult Free(void* record);

    /// True when the pointer lies inside the pool's slots.
    bool Contains(const void* pointer) const;
    /// The pool index of a record in the pool (-1 while free).
    int32_t IndexOf(const void* record) const;
    int32_t GetUsedCount() const { return mUsed; }
    int32_t GetCapacity() const { return mCount; }
    size_t GetRecordSize() const { return mRecordSize; }
    size_t GetSlotSize() const { return mSlotSize; }
    /// The record at a position of the pointer array (the used ones come first).
    void* GetRecord(int32_t position) const { return mPointers[position]; }

private:
    HbPerClassFreeList() = default;
    int32_t& IndexWord(void* record) const
    {
        return *reinterpret_cast<int32_t*>(static_cast<uint8_t*>(record) + mIndexOffset);
    }

    void** mPointers = nullptr;
    uint8_t* mSlots = nullptr;
    size_t mRecordSize = 0;
    size_t mIndexOffset = 0;
    size_t mSlotSize = 0;
    int32_t mCount = 0;
    int32_t mUsed = 0;
    // Sound and video threads may open files, whose records come from a pool.
    std::mutex mLock;
};

/// The pool of one class: made on first use or by its module initialiser; freed only when it
/// becomes empty after HbSetShuttingDown. Constant-initialised, so it works from any static initialiser.
class HbClassPool
{
public:
    constexpr HbClassPool(const char* name, size_t recordSize, int32_t count)
        : mName(name), mRecordSize(recordSize), mCount(count)
    {
    }

    /// Module-initialiser pair: make the pool when it is missing and report
    /// whether it exists; report whether it exists.
    int Create();
    int Exists() const { return mPool ? 1 : 0; }

    /// The class's operator new: a pool record, else a heap block.
    void* Alloc(size_t size);
    /// The class's operator delete.
    void Free(void* record);

    HbPerClassFreeList* Get() const { return mPool; }
    const char* GetName() const { return mName; }

private:
    const char* mName;
    size_t mRecordSize;
    int32_t mCount;
    std::atomic<HbPerClassFreeList*> mPool = nullptr;
    std::mutex mCreateLock;
};

#define HB_POOL_CONCAT2(a, b) a##b
#define HB_POOL_CONCAT(a, b) HB_POOL_CONCAT2(a, b)

/// Inside a class: its objects come from its pool. Leaves the access at public.
#define HB_DECLARE_CLASS_POOL()                                                                                        \
public:                                                                                                                \
    static void* operator new(size_t size) noexcept                                                                    \
    {                                                                                                                  \
        return sClassPool.Alloc(size);                                                                                 \
    }                                                                                                                  \
    static void* operator new(size_t, void* place) noexcept                                                            \
    {                                                                                                                  \
        return place;                                                                                                  \
    }                                                                                                                  \
    static void operator delete(void* record) noexcept                                                                 \
    {                                                                                                                  \
        sClassPool.Free(record);                                                                                       \
    }                                                                                                                  \
    static HbClassPool sClassPool

/// In the class's source file: defines its pool of count records under a name
/// and registers the pool's module-initialiser pair during static construction.
#define HB_DEFINE_CLASS_POOL(Class, name, count)                                                                       \
    static_assert(alignof(Class) <= HbPerClassFreeList::kSlotAlignment, "heap fallback blocks are 16-byte aligned");   \
    constinit HbClassPool Class::sClassPool{name, sizeof(Class), count};                                               \
    [[maybe_unused]] static const int HB_POOL_CONCAT(sHbClassPoolInit, __LINE__) = HbRegisterModuleInit(               \
        []() -> int { return Class::sClassPool.Create(); }, []() -> int { return Class::sClassPool.Exists(); })
