// Grow lists: arrays of fixed-size entries that grow by a quarter when full; record and
// array come from the engine's memory.
#pragma once

#include <cstdint>

struct GrowList
{
    uint8_t* entries; ///< null only after a detach
    int32_t count;
    int32_t capacity;
    int32_t entrySize;

    static constexpr int32_t kInitialCapacity = 20;

    /// Room for 20 entries; null (0x80000013) when either allocation fails.
    static GrowList* Create(int32_t entrySize, uint32_t hint);
    static int32_t Destroy(GrowList* list);
    /// Frees the record; the array is the caller's to free through the engine's memory,
    /// or null (and freed) when the list was empty.
    static void* DetachArray(GrowList* list);

    /// The new entry at index count; a full list grows to capacity + capacity / 4 first.
    /// Null (0x80000013) with the list unchanged when it cannot grow.
    static void* AddEntry(GrowList* list, uint32_t hint);
    /// The first of n new entries; when count + n reaches the capacity the list grows to
    /// capacity + capacity / 4 + n.
    static void* AddEntries(GrowList* list, int32_t n, uint32_t hint);
    /// Drops the last n entries (all of them when n is larger).
    static GrowList* RemoveLast(GrowList* list, int32_t n);
    /// Count 0; the storage is kept.
    static GrowList* Empty(GrowList* list);

    static int32_t GetCount(const GrowList* list) { return list->count; }
    /// Null when the list is empty, whatever storage it keeps.
    static void* GetArray(const GrowList* list) { return list->count ? list->entries : nullptr; }
    static void* GetEntry(const GrowList* list, int32_t index)
    {
        return list->entries + int64_t(index) * list->entrySize;
    }
    static void* GetBegin(const GrowList* list) { return list->entries; }
    static void* GetEnd(const GrowList* list) { return GetEntry(list, list->count); }
};
