// HbHandlesManager and HbHandlePtr: registration, reference counts, recycling
// of indices and the handle pointer's assignment rule.
#include "hbptr.h"

#include "hbsingleton.h"

HB_DEFINE_CLASS_POOL(HbHandlesManager::HandleTableEntry, "HbHandlesManager::HandleTableEntry", 10000);

namespace
{
void* IndexValue(HbHandle handle)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
}
} // namespace

// ---- HbHandlesManager ----------------------------------------------------------------

HbHandlesManager* HbHandlesManager::Instance()
{
    return HbSingleton<HbHandlesManager>::Instance();
}

HbHandlesManager::HbHandlesManager()
{
    if (auto* reserved = new HandleTableEntry{nullptr, 0})
        if (mEntries.Add(reserved) < 0)
            delete reserved;
}

HbHandlesManager::~HbHandlesManager()
{
    mFreeIndices.RemoveAll();
    for (int32_t i = 0; i < mEntries.GetCount(); ++i)
    {
        auto* entry = static_cast<HandleTableEntry*>(mEntries[i]);
        // Objects that outlive the table forget their handle, so their
        // destructors do not reach for a table that is gone.
        if (entry->object)
            entry->object->SetHandle(0);
        delete entry;
    }
    mEntries.RemoveAll();
}

HbHandlesManager::HandleTableEntry* HbHandlesManager::Entry(HbHandle handle) const
{
    if (handle == 0 || handle >= static_cast<HbHandle>(mEntries.GetCount()))
        return nullptr;
    return static_cast<HandleTableEntry*>(mEntries[static_cast<int32_t>(handle)]);
}

HbHandle HbHandlesManager::Register(HbRoot* object)
{
    HbHandle handle = 0;
    if (!mFreeIndices.IsEmpty())
    {
        handle = static_cast<HbHandle>(reinterpret_cast<uintptr_t>(mFreeIndices.PopFront()));
        HandleTableEntry* entry = Entry(handle);
        entry->object = object;
        entry->count = 0;
    }
    else
    {
        auto* entry = new HandleTableEntry{object, 0};
        if (!entry)
            return 0;
        int32_t index = mEntries.Add(entry);
        if (index < 0)
        {
            delete entry;
            return 0;
        }
        handle = static_cast<HbHandle>(index);
    }
    if (object)
        object->SetHandle(handle);
    return handle;
}

// A free entry's count is -1, so that neither AddRef nor Release can touch an
// index that waits on the free list.
void HbHandlesManager::AddRef(HbHandle handle)
{
    HandleTableEntry* entry = Entry(handle);
    if (entry && entry->count >= 0)
        ++entry->count;
}

void HbHandlesManager::Release(HbHandle handle)
{
    HandleTableEntry* entry = Entry(handle);
    if (!entry || entry->count <= 0)
        return;
    if (--entry->count > 0)
        return;
    if (entry->object)
    {
        entry->object->SetHandle(0);
        entry->object = nullptr;
    }
    entry->count = -1;
    mFreeIndices.AddHead(IndexValue(handle));
}

HbRoot* HbHandlesManager::Get(HbHandle handle) const
{
    HandleTableEntry* entry = Entry(handle);
    return entry ? entry->object : nullptr;
}

HbHandle HbHandlesManager::Invalidate(HbHandle handle)
{
    if (HandleTableEntry* entry = Entry(handle))
        entry->object = nullptr;
    return handle;
}

int32_t HbHandlesManager::GetRefCount(HbHandle handle) const
{
    HandleTableEntry* entry = Entry(handle);
    return entry && entry->count > 0 ? entry->count : 0;
}

// ---- HbHandlePtr -----------------------------------------------------------------------

HbHandlePtr::HbHandlePtr(const HbHandlePtr& other) : mObject(other.mObject), mHandle(other.mHandle)
{
    if (mHandle)
        if (HbHandlesManager* table = HbHandlesManager::Instance())
            table->AddRef(mHandle);
}

void HbHandlePtr::AssignFrom(const HbHandlePtr& other)
{
    HbHandlesManager* table = HbHandlesManager::Instance();
    if (table)
    {
        // Take before releasing, as Assign does, so self-assignment is safe.
        table->AddRef(other.mHandle);
        table->Release(mHandle);
    }
    mObject = other.mObject;
    mHandle = other.mHandle;
}

void HbHandlePtr::Assign(HbRoot* object)
{
    HbHandlesManager* table = HbHandlesManager::Instance();
    HbHandle handle = 0;
    if (object && table)
    {
        handle = object->GetHandle();
        if (handle == 0)
            handle = table->Register(object);
        table->AddRef(handle);
    }
    if (mHandle && table)
        table->Release(mHandle);
    mObject = handle ? object : nullptr;
    mHandle = handle;
}

int HbHandlePtr::IsValid()
{
    if (mHandle)
        if (HbHandlesManager* table = HbHandlesManager::Instance())
            if (table->Get(mHandle))
                return 1;
    Reset();
    return 0;
}

void HbHandlePtr::Reset()
{
    if (mHandle)
        if (HbHandlesManager* table = HbHandlesManager::Instance())
            table->Release(mHandle);
    mObject = nullptr;
    mHandle = 0;
}
