// HbHandlesManager, the program-wide table of weak handles to HbRoot objects,
// and HbHandlePtr, the handle pointer that game code embeds.
#pragma once

#include "hbgrowarray.h"
#include "hbperclassfreelist.h"
#include "hbptrlist.h"
#include "hbroot.h"

#include <cstdint>

/// A handle is an index into a table of entries {object, reference count}. It
/// reads null once the object is destroyed; holding it does not keep the object
/// alive. An index is recycled, most recently freed first, when no handle
/// pointer refers to it any more. Index 0 is reserved and means none.
class HbHandlesManager : public HbAllocated
{
public:
    /// One table entry; records come from a pool of 10,000 and are never freed
    /// while the table lives (a recycled index keeps its record).
    struct HandleTableEntry
    {
        HB_DECLARE_CLASS_POOL();
        HbRoot* object;
        int32_t count;
    };

    /// The program's table, made on the first call (during the framework's own
    /// start-up) and destroyed by the exit list after every other singleton.
    /// Null once destroyed.
    static HbHandlesManager* Instance();

    /// A table with the reserved entry 0. The program uses Instance; tests may
    /// make tables of their own.
    HbHandlesManager();
    virtual ~HbHandlesManager();
    HbHandlesManager(const HbHandlesManager&) = delete;
    HbHandlesManager& operator=(const HbHandlesManager&) = delete;

    /// Gives the object an index (the most recently freed one, else a new one)
    /// with count 0 and stores it in the object; 0 when out of memory.
    HbHandle Register(HbRoot* object);
    /// Adds a reference; 0, unknown indices and free indices are ignored.
    void AddRef(HbHandle handle);
    /// Drops a reference. At 0 the object (if still alive) forgets its index and
    /// the index goes to the front of the free list. An index whose count is
    /// already 0, or that is free, is left alone, so it never goes on the free
    /// list twice.
    void Release(HbHandle handle);
    /// The entry's object; null for 0, an unknown index or a destroyed object.
    HbRoot* Get(HbHandle handle) const;
    /// Clears the entry's object (the count is kept); returns the handle.
    HbHandle Invalidate(HbHandle handle);

    /// The entry's reference count; 0 for 0 or an unknown index.
    int32_t GetRefCount(HbHandle handle) const;
    /// Entries including the reserved one.
    int32_t GetEntryCount() const { return mEntries.GetCount(); }
    int32_t GetFreeCount() const { return mFreeIndices.GetCount(); }

private:
    HandleTableEntry* Entry(HbHandle handle) const;

    HbPtrArray mEntries;
    HbPtrList mFreeIndices{10};
};

/// A weak reference {object as assigned, handle}. Each pointer holds one
/// reference on its handle's entry.
class HbHandlePtr
{
public:
    HbHandlePtr() = default;
    explicit HbHandlePtr(HbRoot* object) { Assign(object); }
    HbHandlePtr(const HbHandlePtr& other);
    /// AssignFrom.
    HbHandlePtr& operator=(const HbHandlePtr& other)
    {
        AssignFrom(other);
        return *this;
    }
    ~HbHandlePtr() { Reset(); }

    /// Refers to the object (registering it when it has no handle) or to nothing
    /// for null. The new reference is taken before the old one is released, so
    /// assigning the object already held keeps its entry.
    void Assign(HbRoot* object);
    /// Refers to what the other pointer refers to: takes a reference on its handle, then
    /// releases the one held before, so assigning from itself is safe.
    void AssignFrom(const HbHandlePtr& other);
    /// 1 while the handle reaches a live object; otherwise releases the
    /// reference, clears the pointer and returns 0.
    int IsValid();
    /// Releases the reference and clears the pointer.
    void Reset();

    /// The object as assigned; check IsValid first.
    HbRoot* GetObject() const { return mObject; }
    HbHandle GetHandle() const { return mHandle; }

private:
    HbRoot* mObject = nullptr;
    HbHandle mHandle = 0;
};
