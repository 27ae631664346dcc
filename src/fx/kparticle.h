// The program's particle callbacks: the emitter part of a frame (track evaluation, the
// emitter matrix, the choice of value sources), emission, the next emission time, the copy
// of an emitter's properties into a clone, and the particle update, all written into the
// emitter's particle tank. Every value is found through the class's property layout.
#pragma once

#include "kemitterdef.h"
#include "kpropertylayout.h"
#include "prtstdemitter.h"

#include <cstdint>

struct Matrix;
struct PrtStdEmitterStd;
struct PrtStdTankBlock;

/// What a value source reads for one particle and one value.
struct KValueQuery
{
    char* emitter;  ///< the emitter's property data
    char* particle; ///< the particle record
    const KPropertyLayout* layout;
    int32_t number; ///< the particle track's number (SIZE 1, COLOR 5, ALPHA 9, ROT2D 12, POSITION 15)
    int32_t floats; ///< components of the value
    float nominal;  ///< age / PrtLife
    float real;     ///< age / life, at most 1
    /// Own-track sources: the emission's shared value, valid for particles of this age.
    float* previous;
    bool* previousValid;
};

/// A particle's current value of one track into out (floats of q). input: a value the
/// caller offers (the constant source's fallback), or null.
using KValueSource = void (*)(float* out, const float* input, const KValueQuery& q);

/// The update parameter block every callback of an emitter instance receives.
struct KEmitterUpdateParams : PrtStdUpdateData
{
    int32_t outOfView = 0; ///< 1: the particles only age
    /// Emitter properties 1, 9, 6, 3 and particle properties 3, 6 (-1 absent).
    int32_t offsets[6] = {-1, -1, -1, -1, -1, -1};
    PrtStdEmitterStd* standard = nullptr;
    PrtStdTankBlock* tank = nullptr;
    const KPropertyLayout* layout = nullptr;
    /// COLOR, ALPHA, SIZE, POSITION, ROT2D, chosen by every emitter update.
    KValueSource sources[5] = {};
    /// The camera frame's world matrix, or null.
    const Matrix* cameraMatrix = nullptr;
};

enum KValueSourceIndex : int32_t
{
    kSourceColour,
    kSourceAlpha,
    kSourceSize,
    kSourcePosition,
    kSourceRotation,
};

/// The program-wide seed every emitter draws from in update order; starts at 1.
uint32_t KfxGetSharedSeed();
void KfxSetSharedSeed(uint32_t seed);
/// The next draw of the seed in [-1, 1).
float KfxRandom(uint32_t* seed);
/// Three draws at once: seed x 473723277 - 183681627.
uint32_t KfxStepSeedThree(uint32_t seed);

PrtStdEmitter* KfxEmitterUpdate(Atomic* atomic, PrtStdEmitter* emitter, void* params);
PrtStdEmitter* KfxEmit(Atomic* atomic, PrtStdEmitter* emitter, void* params);
PrtStdEmitter* KfxScheduleEmission(Atomic* atomic, PrtStdEmitter* emitter, void* params);
/// data: the new emitter. The standard block is copied with a texture reference of the
/// clone's own, the tank block's settings, and every other property; the clone's bound is 0.
PrtStdEmitter* KfxCloneEmitter(Atomic* atomic, PrtStdEmitter* source, void* data);
PrtStdBatch* KfxParticleUpdate(PrtStdEmitter* emitter, PrtStdBatch* batch, void* params);

/// The five callbacks above, as the class set-up takes them.
KEmitterCallbackSet KfxCallbacks();

/// The particle track time warp: t by the speed v and acceleration a over a track whose
/// last key lies at L. L <= 0 leaves t as it is.
float KfxWarpTime(float t, float length, float speed, float acceleration);
/// The loop mode of an emitter track past its last key L: "REPEAT" wraps (0 for L <= 0),
/// otherwise the time stops at L.
float KfxLoopTime(float t, float length, bool repeat);
