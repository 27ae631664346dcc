// Emitters: instances of an emitter class carrying its property data, a particle class and
// the tank they draw through; particle atomics hold a ring of them.
#pragma once

#include <cstdint>

struct Atomic;
struct Stream;
struct PrtStdBatch;
struct PrtStdEmitterClass;
struct PrtStdParticleClass;
struct PrtStdTankBlock;
struct PrtStdEmitterStd;

// Emitter flags.
constexpr uint32_t kPrtStdEmitterFlagStandard = 0x1;
constexpr uint32_t kPrtStdEmitterFlagAlive = 0x2;
constexpr uint32_t kPrtStdEmitterFlagOwnsTank = 0x4;
constexpr uint32_t kPrtStdEmitterFlagEmit = 0x8;
constexpr uint32_t kPrtStdEmitterFlagUpdate = 0x10;
constexpr uint32_t kPrtStdEmitterFlagUpdateParticles = 0x20;
constexpr uint32_t kPrtStdEmitterFlagRender = 0x40;
constexpr uint32_t kPrtStdEmitterFlagRenderParticles = 0x80;
constexpr uint32_t kPrtStdEmitterFlagFromStream = 0x200;

/// A batch of particles: this header, then capacity records of the particle class, the
/// live ones first.
struct PrtStdBatch
{
    PrtStdBatch* next; ///< in its ring
    PrtStdParticleClass* particleClass;
    int32_t count;
    int32_t capacity;
    int32_t firstNew; ///< -1 during an update pass; the count before the latest emission
    int32_t offset;   ///< of the first record from the batch start

    static char* Records(PrtStdBatch* batch) { return reinterpret_cast<char*>(batch) + batch->offset; }
};

/// What UpdateEmitters hands every callback: its first member is the time elapsed since
/// the previous update; a caller may extend it.
struct PrtStdUpdateData
{
    float elapsed;
};

struct PrtStdEmitter
{
    PrtStdEmitter* next; ///< in the atomic's ring
    uint32_t flags;
    Atomic* owner;
    PrtStdEmitterClass* emitterClass; ///< one reference held
    int32_t activeCount;
    int32_t batchSize;
    PrtStdParticleClass* particleClass; ///< one reference held, or null
    PrtStdBatch* freeBatches;
    PrtStdBatch* activeBatches;
    float radius;
    // Every emitter of the run, so the engine close can free what is left.
    PrtStdEmitter* liveNext;
    PrtStdEmitter* livePrev;
    // The class's property data follows, 16-byte aligned.

    /// A zeroed emitter of the class (tank block initialised when the class has one) after
    /// every create callback; null when memory fails or a create callback fails.
    static PrtStdEmitter* Create(PrtStdEmitterClass* emitterClass, void* createData);
    /// After every destroy callback: the tank, the classes and the emitter. False (emitter
    /// kept) when a destroy callback fails; false for an emitter already freed by the engine
    /// close.
    static bool Destroy(PrtStdEmitter* emitter);
    /// A new emitter of the source's class with its flags, particle class and batch size,
    /// after every clone callback; no particles and no tank. Null on failure.
    static PrtStdEmitter* Clone(PrtStdEmitter* source);
    /// Frees every batch of the old particle class and takes one reference on the new one.
    static PrtStdEmitter* SetParticleClass(PrtStdEmitter* emitter, PrtStdParticleClass* particleClass,
                                           int32_t batchSize);
    /// A batch from the free ring, or a new one of batch-size records, set up by the class
    /// and appended to the active ring; null when memory fails.
    static PrtStdBatch* NewParticleBatch(PrtStdEmitter* emitter);
    /// Every batch released (active ones through the class's release callbacks) and freed.
    static PrtStdEmitter* FreeParticleBatches(PrtStdEmitter* emitter);
    /// One update: tank, begin update, particles, emission, end update, radius. Null when
    /// a callback fails or the tank cannot be made.
    static PrtStdEmitter* Update(Atomic* atomic, PrtStdEmitter* emitter, void* updateData);
    static PrtStdEmitter* Render(Atomic* atomic, PrtStdEmitter* emitter, void* data);
    /// The class's property data.
    static char* Data(PrtStdEmitter* emitter);
    /// The property data of the class's id, or null when the class lacks it.
    static void* GetProperty(PrtStdEmitter* emitter, int32_t id);
    static PrtStdTankBlock* GetTankBlock(PrtStdEmitter* emitter);
    static PrtStdEmitterStd* GetStandard(PrtStdEmitter* emitter);
    /// Binds a tank the caller made; null when the block already has one (nothing changes)
    /// or the arrays cannot be made (the tank stays bound).
    static PrtStdEmitter* AttachPTank(PrtStdEmitter* emitter, Atomic* tank);
    /// Makes the tank from the standard emitter and the class's properties, binds it. Null
    /// without standard emitter or tank block, with a tank already bound, or on failure.
    static PrtStdEmitter* CreatePTank(PrtStdEmitter* emitter);
    // ---- Streams ----------------------------------------------------------------------------------

    /// The record: class ids, flags, batch size, the tables and classes (when the module
    /// writes them) and every entry's stream-write bytes.
    static PrtStdEmitter* StreamWrite(Atomic* atomic, PrtStdEmitter* emitter, Stream* stream);
    /// One record, its classes bound to the tables read with it; the emitter is added to
    /// the atomic. Null (nothing added) on any fault.
    static PrtStdEmitter* StreamRead(Stream* stream, Atomic* atomic);
    /// Adds the record's bytes to size.
    static PrtStdEmitter* StreamGetSize(Atomic* atomic, PrtStdEmitter* emitter, int32_t* size);
    /// Engine close: every emitter freed with its tank; owners forget them.
    static void FreeAll();
};

struct PrtStdAtomic
{
    /// An atomic with an empty geometry and one emitter of the class; no frame. Null (and
    /// nothing left) on failure.
    static Atomic* Create(PrtStdEmitterClass* emitterClass, void* createData);
    /// Every emitter updated from the first added; the bounding sphere grows around the
    /// particles. Null without emitters or when one fails.
    static Atomic* UpdateEmitters(Atomic* atomic, void* updateData);
    /// The render callback: every emitter rendered from the first added.
    static Atomic* Render(Atomic* atomic);
    // The atomic extension's stream callbacks: a header word (emitter count, format version
    // 3 in the top byte), then one record per emitter from the first added.
    static Stream* StreamRead(Stream* stream, int32_t length, void* atomic, int32_t offset, int32_t size);
    static Stream* StreamWrite(Stream* stream, int32_t length, const void* atomic, int32_t offset, int32_t size);
    /// 0 without emitters: nothing is written.
    static int32_t StreamGetSize(const void* atomic, int32_t offset, int32_t size);
    /// Clones every emitter of source into destination (the extension's copy).
    static Atomic* CopyEmitters(Atomic* destination, Atomic* source);
    /// The ring pointer: the most recently added emitter, or null.
    static PrtStdEmitter* GetEmitters(Atomic* atomic);
    /// Appends the emitter to the atomic's ring and makes the atomic its owner.
    static Atomic* AddEmitter(Atomic* atomic, PrtStdEmitter* emitter);
};
