// Particle property tables: creation with sharing of equal lists, reference counts, look-ups.
#include "prtstdproperty.h"

#include "memory.h"
#include "prtstd.h"
#include "prtstd_local.h"

#include <cstring>

namespace
{
PrtStdPropertyTable* sRing = nullptr;

bool Matches(const PrtStdPropertyTable* t, int32_t count, const int32_t* ids, const int32_t* sizes)
{
    if (t->count != count)
        return false;
    for (int32_t i = 0; i < count; ++i)
    {
        bool found = false;
        for (int32_t j = 0; j < t->count && !found; ++j)
            found = t->ids[j] == ids[i] && t->roundedSizes[j] == sizes[i];
        if (!found)
            return false;
    }
    return true;
}

void Free(PrtStdPropertyTable* table)
{
    PrtStd::ForgetTable(table);
    if (PrtStdTableHook hook = PrtStd::GetTableDestroyedHook())
        hook(table);
    Memory::Free(table->allocation);
}
} // namespace

PrtStdPropertyTable* PrtStdPropertyTable::Create(int32_t count, const int32_t* ids, const int32_t* sizes)
{
    if (count < 0 || (count > 0 && (!ids || !sizes)) || count > (INT32_MAX - 64) / 16)
        return nullptr;
    auto* rounded = static_cast<int32_t*>(PrtStdScratch(kPrtStdScratchSizes, size_t(count) * sizeof(int32_t)));
    if (!rounded && count > 0)
        return nullptr;
    int64_t total = 0;
    int32_t sum = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        if (sizes[i] < 0 || sizes[i] > INT32_MAX - 3)
            return nullptr;
        rounded[i] = (sizes[i] + 3) & ~3;
        total += rounded[i] + 4; // room for the padding of pointer-holding properties
        sum = int32_t(uint32_t(sum) + uint32_t(ids[i]));
    }
    if (total > INT32_MAX)
        return nullptr;

    // From the most recent table onwards.
    if (PrtStdPropertyTable* t = sRing)
        do
        {
            if (Matches(t, count, ids, sizes))
            {
                ++t->refCount;
                return t;
            }
            t = t->next;
        } while (t != sRing);

    const size_t arrays = size_t(count + 1) * sizeof(int32_t) * 4;
    void* block = Memory::Allocate(sizeof(PrtStdPropertyTable) + alignof(PrtStdPropertyTable) + arrays, PrtStd::kHint);
    if (!block)
        return nullptr;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + alignof(PrtStdPropertyTable) - 1) &
                              ~uintptr_t(alignof(PrtStdPropertyTable) - 1);
    auto* t = reinterpret_cast<PrtStdPropertyTable*>(aligned);
    std::memset(static_cast<void*>(t), 0, sizeof(*t));
    auto* words = reinterpret_cast<int32_t*>(t + 1);
    t->allocation = block;
    t->refCount = 1;
    t->count = count;
    t->ids = words;
    t->offsets = words + (count + 1);
    t->roundedSizes = words + 2 * (count + 1);
    t->sizes = words + 3 * (count + 1);
    int32_t offset = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        // The standard emitter and the tank block hold pointers: they start on 8 bytes
        // (the record itself does), whatever comes before them.
        if (ids[i] == PrtStdEmitterProperty::kStandardId || ids[i] == PrtStdEmitterProperty::kTankId)
            offset = (offset + 7) & ~7;
        t->ids[i] = ids[i];
        t->offsets[i] = offset;
        t->roundedSizes[i] = rounded[i];
        t->sizes[i] = sizes[i];
        offset += rounded[i];
    }
    t->offsets[count] = offset;
    const uint32_t s = uint32_t(sum);
    t->id = (uint32_t((count + 1) * 16) & 0xFFFF) | uint32_t(sum >> 10) | (s << 10);
    RingInsert(&sRing, t);
    return t;
}

bool PrtStdPropertyTable::Destroy(PrtStdPropertyTable* table)
{
    if (!table || !RingContains(sRing, table))
        return false;
    if (--table->refCount >= 1)
        return true;
    RingUnlink(&sRing, table);
    Free(table);
    return true;
}

PrtStdPropertyTable* PrtStdPropertyTable::AddRef(PrtStdPropertyTable* table)
{
    if (table)
        ++table->refCount;
    return table;
}

int32_t PrtStdPropertyTable::GetIndex(const PrtStdPropertyTable* table, int32_t id)
{
    if (!table)
        return -1;
    for (int32_t i = 0; i < table->count; ++i)
        if (table->ids[i] == id)
            return i;
    return -1;
}

int32_t PrtStdPropertyTable::GetOffset(const PrtStdPropertyTable* table, int32_t id)
{
    const int32_t i = GetIndex(table, id);
    return i < 0 ? -1 : table->offsets[i];
}

PrtStdPropertyTable* PrtStdPropertyTable::FindById(uint32_t id)
{
    if (PrtStdPropertyTable* t = sRing)
        do
        {
            if (t->id == id)
                return t;
            t = t->next;
        } while (t != sRing);
    return nullptr;
}

bool PrtStdPropertyTable::IsAlive(const PrtStdPropertyTable* table)
{
    return RingContains<PrtStdPropertyTable>(sRing, table);
}

PrtStdPropertyTable* PrtStdPropertyTable::GetRing()
{
    return sRing;
}

void PrtStdPropertyTable::FreeAll()
{
    while (sRing)
    {
        PrtStdPropertyTable* t = sRing;
        RingUnlink(&sRing, t);
        Free(t);
    }
}
