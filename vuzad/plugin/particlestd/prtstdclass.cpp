// Particle and emitter classes: creation, reference counts, tables and callback entries.
#include "prtstdclass.h"

#include "memory.h"
#include "prtstd.h"
#include "prtstd_local.h"
#include "prtstdproperty.h"

#include <cstring>

namespace
{
PrtStdClassRecord* sParticleRing = nullptr;
PrtStdClassRecord* sEmitterRing = nullptr;

PrtStdClassRecord* CreateRecord(PrtStdClassRecord** ring, size_t size)
{
    auto* record = static_cast<PrtStdClassRecord*>(Memory::Allocate(size, PrtStd::kHint));
    if (!record)
        return nullptr;
    std::memset(static_cast<void*>(record), 0, size);
    record->next = record;
    record->id = PrtStdNextClassId();
    record->refCount = 1;
    RingInsert(ring, record);
    return record;
}

void FreeRecord(PrtStdClassRecord* record)
{
    if (record->entries)
        Memory::Free(record->entries);
    if (record->table)
        PrtStdPropertyTable::Destroy(record->table);
    std::memset(static_cast<void*>(record), 0, sizeof(*record));
    Memory::Free(record);
}

bool Release(PrtStdClassRecord** ring, PrtStdClassRecord* record)
{
    if (!record || !RingContains(*ring, record))
        return false;
    if (--record->refCount >= 1)
        return true;
    RingUnlink(ring, record);
    FreeRecord(record);
    return true;
}

bool SetEntries(PrtStdClassRecord* record, int32_t count, const void* entries, size_t entrySize)
{
    if (count < 0 || (count > 0 && !entries) || size_t(count) > SIZE_MAX / entrySize)
        return false;
    void* copy = nullptr;
    if (count > 0)
    {
        copy = Memory::Allocate(size_t(count) * entrySize, PrtStd::kHint);
        if (!copy)
            return false;
        std::memcpy(copy, entries, size_t(count) * entrySize);
    }
    if (record->entries)
        Memory::Free(record->entries);
    record->entries = copy;
    record->numEntries = count;
    return true;
}

PrtStdClassRecord* Find(PrtStdClassRecord* ring, bool byId, uint32_t id, const PrtStdPropertyTable* table)
{
    if (PrtStdClassRecord* c = ring)
        do
        {
            if (byId ? c->id == id : c->table == table)
                return c;
            c = c->next;
        } while (c != ring);
    return nullptr;
}

void FreeRing(PrtStdClassRecord** ring)
{
    while (*ring)
    {
        PrtStdClassRecord* c = *ring;
        RingUnlink(ring, c);
        FreeRecord(c);
    }
}
} // namespace

// ---- Both kinds ---------------------------------------------------------------------------------

PrtStdClassRecord* PrtStdParticleClass::AddRef(PrtStdClassRecord* record)
{
    if (record)
        ++record->refCount;
    return record;
}

PrtStdClassRecord* PrtStdParticleClass::SetPropertyTable(PrtStdClassRecord* record, PrtStdPropertyTable* table)
{
    if (!record)
        return nullptr;
    if (table)
        PrtStdPropertyTable::AddRef(table);
    if (record->table)
        PrtStdPropertyTable::Destroy(record->table);
    record->table = table;
    record->recordSize = table ? table->offsets[table->count] : 0;
    return record;
}

void PrtStdFreeAllClasses()
{
    FreeRing(&sParticleRing);
    FreeRing(&sEmitterRing);
}

bool PrtStdClassIdInUse(uint32_t id)
{
    return Find(sParticleRing, true, id, nullptr) || Find(sEmitterRing, true, id, nullptr);
}

// ---- Particle classes ---------------------------------------------------------------------------

PrtStdParticleClass* PrtStdParticleClass::Create()
{
    return static_cast<PrtStdParticleClass*>(CreateRecord(&sParticleRing, sizeof(PrtStdParticleClass)));
}

bool PrtStdParticleClass::Destroy(PrtStdParticleClass* particleClass)
{
    return Release(&sParticleRing, particleClass);
}

PrtStdParticleClass* PrtStdParticleClass::SetCallbacks(PrtStdParticleClass* particleClass, int32_t count,
                                                       const PrtStdParticleCallbacks* entries)
{
    if (!particleClass || !SetEntries(particleClass, count, entries, sizeof(PrtStdParticleCallbacks)))
        return nullptr;
    return particleClass;
}

PrtStdParticleClass* PrtStdParticleClass::FindById(uint32_t id)
{
    return static_cast<PrtStdParticleClass*>(Find(sParticleRing, true, id, nullptr));
}

PrtStdParticleClass* PrtStdParticleClass::FindByPropertyTable(const PrtStdPropertyTable* table)
{
    return static_cast<PrtStdParticleClass*>(Find(sParticleRing, false, 0, table));
}

bool PrtStdParticleClass::IsAlive(const PrtStdParticleClass* particleClass)
{
    return RingContains<PrtStdClassRecord>(sParticleRing, particleClass);
}

PrtStdParticleClass* PrtStdParticleClass::GetRing()
{
    return static_cast<PrtStdParticleClass*>(sParticleRing);
}

// ---- Emitter classes ----------------------------------------------------------------------------

PrtStdEmitterClass* PrtStdEmitterClass::Create()
{
    return static_cast<PrtStdEmitterClass*>(CreateRecord(&sEmitterRing, sizeof(PrtStdEmitterClass)));
}

bool PrtStdEmitterClass::Destroy(PrtStdEmitterClass* emitterClass)
{
    return Release(&sEmitterRing, emitterClass);
}

PrtStdEmitterClass* PrtStdEmitterClass::SetCallbacks(PrtStdEmitterClass* emitterClass, int32_t count,
                                                     const PrtStdEmitterCallbacks* entries)
{
    if (!emitterClass || !SetEntries(emitterClass, count, entries, sizeof(PrtStdEmitterCallbacks)))
        return nullptr;
    return emitterClass;
}

PrtStdEmitterClass* PrtStdEmitterClass::FindById(uint32_t id)
{
    return static_cast<PrtStdEmitterClass*>(Find(sEmitterRing, true, id, nullptr));
}

PrtStdEmitterClass* PrtStdEmitterClass::FindByPropertyTable(const PrtStdPropertyTable* table)
{
    return static_cast<PrtStdEmitterClass*>(Find(sEmitterRing, false, 0, table));
}

bool PrtStdEmitterClass::IsAlive(const PrtStdEmitterClass* emitterClass)
{
    return RingContains<PrtStdClassRecord>(sEmitterRing, emitterClass);
}

PrtStdEmitterClass* PrtStdEmitterClass::GetRing()
{
    return static_cast<PrtStdEmitterClass*>(sEmitterRing);
}
