// KPropertyLayout: where each value of an emitter class lies inside its emitter and particle
// records, as byte offsets resolved once when the class is built; -1 marks an absent value,
// whose code is then skipped.
#pragma once

#include "ktrack.h"

#include <cstdint>

// ---- Slots of one track's block (meaning per kind of track) ----------------------------------

/// Emitter-record slots of a value track (and of the shape, whose selected parameter track
/// lies in its slots).
enum KEmitterSlot : int32_t
{
    kSlotValue = 0,    ///< the current value (the track's type)
    kSlotBias,         ///< an emitter track's constant bias; a particle bias track's value
    kSlotIMode,        ///< 4 bytes
    kSlotLMode,        ///< 4 bytes, present only for "REPEAT"
    kSlotTMode,        ///< 4 bytes
    kSlotSpeed,        ///< float
    kSlotAcceleration, ///< float
    kSlotDuration,     ///< float: the time of the last key
    kSlotKeyCount,     ///< uint16_t
    kSlotKeys,         ///< key count x key floats
    kSlotShapeKind,    ///< the shape's kind word
    kEmitterSlotCount = 11,
};

/// Particle-record slots of a value track.
enum KParticleSlot : int32_t
{
    kParticleSlotValue = 0, ///< the per-particle value (the track's type)
    kParticleSlotBias,      ///< the per-particle random offset (the track's type)
    kParticleSlotTime,      ///< a float of the particle's own track time
    kParticleSlotCount = 4,
};

/// The RP track's slots.
enum KRpSlot : int32_t
{
    kRpSlotMode = 0,       ///< emitter: the mode word
    kRpSlotAxis = 1,       ///< emitter: axis (3 floats) and angle
    kRpSlotBias = 2,       ///< emitter: bias axis (3 floats) and bias angle
    kRpSlotMatrix = 3,     ///< emitter: the one matrix of a self-oriented RP without bias
    kRpParticlePoint = 0,  ///< particle: the reference point
    kRpParticleMatrix = 1, ///< particle: its own RP matrix (self-oriented with a bias)
    kRpParticleAxis = 2,   ///< particle: the drawn bias axis (speed-oriented)
    kRpParticleAngle = 3,  ///< particle: the drawn angle (speed-oriented)
};

/// The CONSTRAINTS track's slots.
enum KConstraintSlot : int32_t
{
    kConstraintUp = 0,            ///< emitter: 3 floats
    kConstraintRight = 1,         ///< emitter: 3 floats
    kConstraintUpBias = 2,        ///< emitter: 3 floats
    kConstraintRightBias = 3,     ///< emitter: 3 floats
    kConstraintFlags = 4,         ///< emitter: bit 0 up follows speed, bit 1 size y follows speed
    kConstraintFactor = 5,        ///< emitter: the size-y factor
    kConstraintParticleUp = 0,    ///< particle: the drawn up offset
    kConstraintParticleRight = 1, ///< particle: the drawn right offset
};

/// The definition's own block: seven emitter properties and one particle property.
enum KDefinitionSlot : int32_t
{
    kDefStartTime = 0,
    kDefEndTime = 1,
    kDefQuadCentre = 2,   ///< 2 floats
    kDefTimeScale = 3,    ///< 1 / PrtLife
    kDefTransparency = 4, ///< 52 bytes
    kDefSpare = 5,
    kDefPlacement = 6, ///< the emitter's placement matrix
    kDefEmitterCount = 7,
    kDefFirstInEmission = 7, ///< particle: the first particle born in the same emission
    kDefSlotCount = 8,
};

struct KPropertyLayout
{
    KPropertyLayout() { Reset(); }
    /// Every offset absent.
    void Reset()
    {
        for (auto& slots : emitter)
            for (int32_t& offset : slots)
                offset = -1;
        for (auto& slots : particle)
            for (int32_t& offset : slots)
                offset = -1;
        for (int32_t& offset : frame)
            offset = -1;
        for (int32_t& offset : definition)
            offset = -1;
        viewpointOriented = 0;
    }

    /// By track number and slot.
    int32_t emitter[KTrackNumber::kCount][kEmitterSlotCount];
    int32_t particle[KTrackNumber::kCount][kParticleSlotCount];
    /// By frame quantity: the offset of the definition's emitter property 0 to 3 when the
    /// quantity is in the emitter's frame, else -1. A presence flag only: the position's
    /// entry is the first speed-frame switch, the speed's the second, so velocity lives in
    /// the frame where positions are integrated.
    int32_t frame[FxFrameSectionParser::kQuantityCount];
    /// 1 when the quads face the camera position ("VIEWPOINT_ORIENTED"), 0 when they face
    /// the camera plane: which billboard builder the particles use.
    int32_t viewpointOriented;
    /// The definition's own block (emitter slots 0-6, particle slot 7).
    int32_t definition[kDefSlotCount];

    /// The record address plus the offset, or null for an absent offset.
    static void* At(void* record, int32_t offset)
    {
        return offset >= 0 ? static_cast<char*>(record) + offset : nullptr;
    }
};
