// Grow lists.
#include "growlist.h"

#include "error.h"
#include "memory.h"

namespace
{

void ReportNoMemory(int64_t bytes)
{
    Error::Report(kCorePluginId, Error::MakeCode(kErrNoMemory, bytes));
}

// Grows the array to capacity entries; false (0x80000013) with the list unchanged.
bool Resize(GrowList* list, int64_t capacity, uint32_t hint)
{
    int64_t bytes = capacity * list->entrySize;
    if (capacity > INT32_MAX || bytes <= 0)
    {
        ReportNoMemory(bytes);
        return false;
    }
    auto* entries = static_cast<uint8_t*>(Memory::Reallocate(list->entries, size_t(bytes), hint | kMemoryHintResize));
    if (!entries)
    {
        ReportNoMemory(bytes);
        return false;
    }
    list->entries = entries;
    list->capacity = int32_t(capacity);
    return true;
}

} // namespace

GrowList* GrowList::Create(int32_t entrySize, uint32_t hint)
{
    if (entrySize <= 0)
        return nullptr;
    auto* list = static_cast<GrowList*>(Memory::Allocate(sizeof(GrowList), hint));
    if (!list)
    {
        ReportNoMemory(sizeof(GrowList));
        return nullptr;
    }
    size_t bytes = size_t(kInitialCapacity) * size_t(entrySize);
    list->entries = static_cast<uint8_t*>(Memory::Allocate(bytes, hint | kMemoryHintResize));
    if (!list->entries)
    {
        Memory::Free(list);
        ReportNoMemory(int64_t(bytes));
        return nullptr;
    }
    list->count = 0;
    list->capacity = kInitialCapacity;
    list->entrySize = entrySize;
    return list;
}

int32_t GrowList::Destroy(GrowList* list)
{
    if (list->entries)
        Memory::Free(list->entries);
    Memory::Free(list);
    return 1;
}

void* GrowList::DetachArray(GrowList* list)
{
    void* entries = list->entries;
    if (list->count == 0 && entries)
    {
        Memory::Free(entries);
        entries = nullptr;
    }
    Memory::Free(list);
    return entries;
}

void* GrowList::AddEntry(GrowList* list, uint32_t hint)
{
    if (list->count >= list->capacity && !Resize(list, int64_t(list->capacity) + list->capacity / 4, hint))
        return nullptr;
    return GetEntry(list, list->count++);
}

void* GrowList::AddEntries(GrowList* list, int32_t n, uint32_t hint)
{
    if (n < 0)
        return nullptr;
    if (int64_t(list->count) + n >= list->capacity &&
        !Resize(list, int64_t(list->capacity) + list->capacity / 4 + n, hint))
        return nullptr;
    void* first = GetEntry(list, list->count);
    list->count += n;
    return first;
}

GrowList* GrowList::RemoveLast(GrowList* list, int32_t n)
{
    if (n > 0)
        list->count = n > list->count ? 0 : list->count - n;
    return list;
}

GrowList* GrowList::Empty(GrowList* list)
{
    list->count = 0;
    return list;
}
