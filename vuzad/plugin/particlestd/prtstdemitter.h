// Emitters: instances of an emitter class carrying its property data, a particle class and
// the tank they draw through; particle atomics hold a ring of them.
#pragma once

#include <cstdint>

struct Atomic;
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
    /// Engine close: every emitter freed with its tank; owners forget them.
    static void FreeAll();
};

struct PrtStdAtomic
{
    /// The ring pointer: the most recently added emitter, or null.
    static PrtStdEmitter* GetEmitters(Atomic* atomic);
    /// Appends the emitter to the atomic's ring and makes the atomic its owner.
    static Atomic* AddEmitter(Atomic* atomic, PrtStdEmitter* emitter);
};
