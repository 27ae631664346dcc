// The emitter particle tank: emitter property 6, the block that binds a particle tank to
// an emitter, holds the settings it is created from and the write cursors the standard
// callbacks append and compact particles with.
#pragma once

#include <cstdint>

struct Atomic;

struct PrtStdTankBlock
{
    uint32_t lockedProperties; ///< the tank's per-particle bits, rebuilt by every Lock
    int32_t platformFlags;
    int32_t writtenCount; ///< particles written since the last Lock
    int32_t capacity;
    uint32_t updateMask; ///< tank properties the particle update writes; 0x20000 spins the rotation
    uint32_t emitMask;   ///< tank properties the emit callback writes
    Atomic* tank;
    void** sources;      ///< one per tank property, in increasing bit order
    void** destinations; ///< likewise; one allocation holds all three arrays
    int32_t* strides;
    int32_t sourceBlend;
    int32_t destBlend;
    int32_t vertexAlpha;

    static constexpr float kMinRotationRate = 0.00001f;

    /// No tank, both masks -1, blends 2 and 2, vertex alpha 1.
    static void Init(PrtStdTankBlock* block);
    /// Destroys the bound tank with its frame and frees the arrays.
    static void Destroy(PrtStdTankBlock* block);
    /// The settings only: never the tank, the arrays or the written count.
    static void CopySettings(PrtStdTankBlock* destination, const PrtStdTankBlock* source);
    /// Locks every property of the bound tank for writing, in increasing bit order, into
    /// the arrays. The block, or null without a tank.
    static PrtStdTankBlock* Lock(PrtStdTankBlock* block);
};
