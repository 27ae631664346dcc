// The standard particle plug-in: its attach and close, its module hooks, the atomic
// extension that lists an atomic's emitters, and the published ids and sizes of the
// standard properties that every user of the plug-in registers its tables with.
#pragma once

#include "prtstdtank.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>

struct Atomic;
struct Matrix;
struct Texture;
struct PrtStdBatch;
struct PrtStdEmitter;
struct PrtStdEmitterClass;
struct PrtStdParticleClass;
struct PrtStdPropertyTable;

// ---- Standard property records (in memory: native sizes) ----------------------------------------

/// Emitter property 1, the standard emitter.
struct PrtStdEmitterStd
{
    uint32_t random;
    int32_t maxParticles; ///< the capacity of the emitter's tank
    float time;
    uint32_t spare;
    Vector force;
    Vector emitPosition;
    Vector emitBox;
    float gap;
    float gapBias;
    float lastEmitTime;
    float nextEmitTime;
    int32_t emitCount;
    int32_t emitCountBias;
    float speed;
    float speedBias;
    float life;
    float lifeBias;
    Vector direction;
    Vector directionBias;
    Vector2 size;
    Rgba colour;
    float rotationRate;
    Vector2 texCoords[4];
    Texture* texture;
    const Matrix* worldMatrix;

    // ---- The standard emitter entry (slots as the emitter class numbers them) ---------------------

    static PrtStdEmitter* Emit(Atomic* atomic, PrtStdEmitter* emitter, void* updateData);
    static PrtStdEmitter* BeginUpdate(Atomic* atomic, PrtStdEmitter* emitter, void* updateData);
    static PrtStdEmitter* EndUpdate(Atomic* atomic, PrtStdEmitter* emitter, void* updateData);
    static PrtStdEmitter* BeginRender(Atomic* atomic, PrtStdEmitter* emitter, void* data);
    static PrtStdEmitter* Create(Atomic* atomic, PrtStdEmitter* emitter, void* createData);
    static PrtStdEmitter* Destroy(Atomic* atomic, PrtStdEmitter* emitter, void* data);
    /// data: the stream.
    static PrtStdEmitter* StreamRead(Atomic* atomic, PrtStdEmitter* emitter, void* stream);
    static PrtStdEmitter* StreamWrite(Atomic* atomic, PrtStdEmitter* emitter, void* stream);
    /// data: an int32_t the byte count is added to.
    static PrtStdEmitter* StreamGetSize(Atomic* atomic, PrtStdEmitter* emitter, void* size);
    /// data: the new emitter.
    static PrtStdEmitter* Clone(Atomic* atomic, PrtStdEmitter* source, void* copy);
    /// Gives the class exactly the standard entry (the loaded-class hook).
    static PrtStdEmitterClass* SetCallbacks(PrtStdEmitterClass* emitterClass);
    /// The next random real in [-1, 1) from a state.
    static float Random(uint32_t* state)
    {
        *state = *state * 196314165u + 907633515u;
        return float(2.0 * double(*state) * (1.0 / 4294967296.0) - 1.0);
    }
};

/// The standard particle entry: the update only.
struct PrtStdParticleStd
{
    static PrtStdBatch* Update(PrtStdEmitter* emitter, PrtStdBatch* batch, void* updateData);
    static PrtStdParticleClass* SetCallbacks(PrtStdParticleClass* particleClass);
};

/// Ids of the standard emitter properties, their sizes in memory (tables register these)
/// and their sizes in streams (the stream code maps between the two).
struct PrtStdEmitterProperty
{
    static constexpr int32_t kStandardId = 1;
    static constexpr int32_t kStandardSize = int32_t(sizeof(PrtStdEmitterStd));
    static constexpr int32_t kStandardStreamSize = 172;
    static constexpr int32_t kColourId = 2;
    static constexpr int32_t kColourSize = 64;
    static constexpr int32_t kTexCoordsId = 3;
    static constexpr int32_t kTexCoordsSize = 64;
    static constexpr int32_t kRotationId = 4;
    static constexpr int32_t kRotationSize = 16;
    static constexpr int32_t kSizeId = 5;
    static constexpr int32_t kSizeSize = 32;
    static constexpr int32_t kTankId = 6;
    static constexpr int32_t kTankSize = int32_t(sizeof(PrtStdTankBlock));
    static constexpr int32_t kTankStreamSize = 52;
    static constexpr int32_t kMatrixId = 8;
    static constexpr int32_t kMatrixSize = 116;
    /// The first id the standard callbacks never read: properties a program adds for itself.
    static constexpr int32_t kFirstUserId = 9;

    /// The bytes the standard code needs under a standard id (0 for other ids): a table
    /// whose entry is smaller has that property only for code of its own.
    static int32_t MinimumSize(int32_t id);
    /// The size a table's (id, size) pair is written with; other pairs keep their size.
    static int32_t ToStreamSize(int32_t id, int32_t size);
    /// The size a stream's (id, size) pair is registered with in memory.
    static int32_t FromStreamSize(int32_t id, int32_t size);
};

/// Ids and sizes of the standard particle properties (the same in memory and in streams).
struct PrtStdParticleProperty
{
    static constexpr int32_t kStandardId = 0; ///< age, lifetime and its reciprocal; always at offset 0
    static constexpr int32_t kStandardSize = 16;
    static constexpr int32_t kPositionId = 1;
    static constexpr int32_t kPositionSize = 12;
    static constexpr int32_t kColourId = 2;
    static constexpr int32_t kColourSize = 32;
    static constexpr int32_t kTexCoordsId = 3;
    static constexpr int32_t kTexCoordsSize = 32;
    static constexpr int32_t kRotationId = 4;
    static constexpr int32_t kRotationSize = 8;
    static constexpr int32_t kSizeId = 5;
    static constexpr int32_t kSizeSize = 24;
    static constexpr int32_t kVelocityId = 6;
    static constexpr int32_t kVelocitySize = 12;
    static constexpr int32_t kMatrixId = 7;
    static constexpr int32_t kMatrixSize = 64;
    static constexpr int32_t kFirstUserId = 8;

    /// As PrtStdEmitterProperty::MinimumSize.
    static int32_t MinimumSize(int32_t id);
};

// ---- Module -------------------------------------------------------------------------------------

/// The atomic extension: the atomic's most recently added emitter, or null.
struct PrtStdAtomicExtension
{
    PrtStdEmitter* emitters;
};

using PrtStdEmitterClassHook = PrtStdEmitterClass* (*)(PrtStdEmitterClass* emitterClass);
using PrtStdParticleClassHook = PrtStdParticleClass* (*)(PrtStdParticleClass* particleClass);
using PrtStdTableHook = PrtStdPropertyTable* (*)(PrtStdPropertyTable* table);

/// The offsets of the standard ids in the emitter and particle tables seen last; -1 marks
/// an absent id.
struct PrtStdOffsetCache
{
    PrtStdPropertyTable* emitterTable;
    int32_t emitterOffsets[9]; ///< by emitter id 0-8 (0 and 7 are never standard)
    PrtStdPropertyTable* particleTable;
    int32_t particleOffsets[8];
    int32_t particleIndices[8];
};

struct PrtStd
{
    static constexpr int32_t kPluginId = 304;
    static constexpr uint32_t kHint = 0x30130;
    static constexpr uint32_t kScratchHint = 0x1040130;

    /// The engine open only counts: tables and classes are made on demand.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    /// Engine opens not yet closed by PrtStdClose.
    static int32_t GetOpenCount();
    /// -1 before PrtStdAttach.
    static int32_t GetAtomicOffset();
    static PrtStdAtomicExtension* GetAtomicExtension(Atomic* atomic);

    // ---- Hooks: called when a stream creates a class or a table, or a table dies ----------------

    static void SetLoadedEmitterClassHook(PrtStdEmitterClassHook hook);
    static void SetLoadedParticleClassHook(PrtStdParticleClassHook hook);
    static void SetTableLoadedHook(PrtStdTableHook hook);
    static void SetTableDestroyedHook(PrtStdTableHook hook);
    static PrtStdEmitterClassHook GetLoadedEmitterClassHook();
    static PrtStdParticleClassHook GetLoadedParticleClassHook();
    static PrtStdTableHook GetTableLoadedHook();
    static PrtStdTableHook GetTableDestroyedHook();
    /// 1: streams carry the tables and classes of each emitter.
    static void SetWriteClasses(int32_t flag);
    static int32_t GetWriteClasses();

    // ---- Offset caches ----------------------------------------------------------------------------

    /// The format version of the atomic being read; 0 outside a read.
    static int32_t GetStreamVersion();
    /// The version atomics are written with: 3, or 2 for fixtures of the older form (no
    /// rotation rate, a 168-byte standard emitter).
    static void SetWriteVersion(int32_t version);
    static int32_t GetWriteVersion();
    static constexpr int32_t kStreamVersion = 3;
    static constexpr uint32_t kChunkType = 37;

    /// Refreshes the caches from the emitter's two classes (a table already cached is kept).
    static void RefreshOffsets(const PrtStdEmitter* emitter);
    static const PrtStdOffsetCache* GetOffsets();
    /// A dying table leaves the caches.
    static void ForgetTable(const PrtStdPropertyTable* table);
};

/// Registers the engine plug-in (no block) and the atomic extension; only between
/// Engine::Init and Engine::Open. Empties the rings and sets the default hooks. 1, or 0
/// when a registration was refused.
int32_t PrtStdAttach();
/// The engine close: frees every emitter, class and table still alive (their tanks too),
/// whatever their reference counts; a later release of one of them does nothing.
void* PrtStdClose(void* engine, int32_t offset, int32_t size);
