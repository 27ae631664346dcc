// Particle and emitter classes: a property table and entries of callbacks. Both kinds
// share one record layout; a particle entry has seven callbacks, an emitter entry eleven.
#pragma once

#include <cstdint>

struct Atomic;
struct Stream;
struct PrtStdBatch;
struct PrtStdEmitter;
struct PrtStdPropertyTable;

/// Every callback answers its second argument on success, anything else on failure.
using PrtStdParticleCallback = PrtStdBatch* (*)(PrtStdEmitter* emitter, PrtStdBatch* batch, void* data);
using PrtStdEmitterCallback = PrtStdEmitter* (*)(Atomic* atomic, PrtStdEmitter* emitter, void* data);

enum PrtStdParticleSlot : int32_t
{
    kPrtStdParticleUpdate,
    kPrtStdParticleRender,
    kPrtStdParticleBatchSetup,
    kPrtStdParticleBatchRelease,
    kPrtStdParticleNumSlots = 7
};

enum PrtStdEmitterSlot : int32_t
{
    kPrtStdEmitterEmit,
    kPrtStdEmitterBeginUpdate,
    kPrtStdEmitterEndUpdate,
    kPrtStdEmitterBeginRender,
    kPrtStdEmitterEndRender,
    kPrtStdEmitterCreate,
    kPrtStdEmitterDestroy,
    kPrtStdEmitterStreamRead,
    kPrtStdEmitterStreamWrite,
    kPrtStdEmitterStreamSize,
    kPrtStdEmitterClone,
    kPrtStdEmitterNumSlots
};

struct PrtStdParticleCallbacks
{
    PrtStdParticleCallback slot[kPrtStdParticleNumSlots];
};

struct PrtStdEmitterCallbacks
{
    PrtStdEmitterCallback slot[kPrtStdEmitterNumSlots];
};

/// The record both kinds of class share.
struct PrtStdClassRecord
{
    PrtStdClassRecord* next; ///< in the ring of its kind
    /// Unique among live classes of the run; streams carry it as 32 bits.
    uint32_t id;
    int32_t refCount;
    int32_t recordSize; ///< one particle record, or one emitter's property data
    PrtStdPropertyTable* table;
    int32_t numEntries;
    void* entries;
};

struct PrtStdParticleClass : PrtStdClassRecord
{
    /// A class with one reference, no table and no callbacks; null when memory fails.
    static PrtStdParticleClass* Create();
    /// Releases one reference. False for null or a class no longer held (engine close).
    static bool Destroy(PrtStdParticleClass* particleClass);
    static PrtStdClassRecord* AddRef(PrtStdClassRecord* record);
    /// Both kinds: the old table released, the new one referenced, the record size its total.
    static PrtStdClassRecord* SetPropertyTable(PrtStdClassRecord* record, PrtStdPropertyTable* table);
    /// Copies count entries; null with the old entries kept when memory fails or count < 0.
    static PrtStdParticleClass* SetCallbacks(PrtStdParticleClass* particleClass, int32_t count,
                                             const PrtStdParticleCallbacks* entries);
    static PrtStdParticleCallbacks* Entries(PrtStdParticleClass* particleClass)
    {
        return static_cast<PrtStdParticleCallbacks*>(particleClass->entries);
    }
    static PrtStdParticleClass* FindById(uint32_t id);
    static PrtStdParticleClass* FindByPropertyTable(const PrtStdPropertyTable* table);
    /// A class body: the loaded class of the id, else a new one on the loaded table of the
    /// stored table id with the loaded-class hook's callbacks. One reference for the caller.
    static PrtStdParticleClass* StreamRead(Stream* stream);
    static bool IsAlive(const PrtStdParticleClass* particleClass);
    static PrtStdParticleClass* GetRing();
};

struct PrtStdEmitterClass : PrtStdClassRecord
{
    static PrtStdEmitterClass* Create();
    static bool Destroy(PrtStdEmitterClass* emitterClass);
    static PrtStdEmitterClass* SetCallbacks(PrtStdEmitterClass* emitterClass, int32_t count,
                                            const PrtStdEmitterCallbacks* entries);
    static PrtStdEmitterCallbacks* Entries(PrtStdEmitterClass* emitterClass)
    {
        return static_cast<PrtStdEmitterCallbacks*>(emitterClass->entries);
    }
    static PrtStdEmitterClass* FindById(uint32_t id);
    static PrtStdEmitterClass* FindByPropertyTable(const PrtStdPropertyTable* table);
    static PrtStdEmitterClass* StreamRead(Stream* stream);
    static bool IsAlive(const PrtStdEmitterClass* emitterClass);
    static PrtStdEmitterClass* GetRing();
};

/// A class chunk body (chunk 37): the class id and its table's id. Both kinds.
const PrtStdClassRecord* PrtStdClassStreamWrite(const PrtStdClassRecord* record, Stream* stream);

/// Engine close: every class of both kinds freed whatever its count (particle classes
/// first), their table references released.
void PrtStdFreeAllClasses();
