// The matrix interpolation toolkit: between two matrices by one rotation about a fixed axis
// plus a straight move of the position, or element by element when they are nearly aligned.
#pragma once

#include "matrix.h"

#include <cstdint>

constexpr uint32_t kSlerpCallerStart = 0x1; ///< the caller supplies the start matrix
constexpr uint32_t kSlerpCallerEnd = 0x2;   ///< the caller supplies the end matrix

struct Slerp
{
    uint32_t flags;
    Matrix* start; ///< the caller's when kSlerpCallerStart, else owned
    Matrix* end;
    Vector axis;   ///< unit axis of the rotation from start to end
    float angle;   ///< degrees
    int32_t linear; ///< angle below 2 degrees: element-wise mixing

    static constexpr int32_t kPluginId = 387;

    /// A record owning an identity matrix for each end the caller does not supply. Null with
    /// {387, kErrNoMemory} when the record or one of its matrices cannot be had.
    static Slerp* Create(uint32_t flags);
    /// Stores the ends (caller's pointers kept, else copied) and derives axis, angle, linear.
    static Slerp* Initialise(Slerp* slerp, Matrix* start, Matrix* end);
    /// The matrix at t; result may be one of the ends. t <= 0 and t >= 1 give exact copies.
    static Matrix* InterpolateMatrix(Slerp* slerp, Matrix* result, float t);
    static void Destroy(Slerp* slerp);
};
