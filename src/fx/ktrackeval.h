// Track evaluation: keyframe lookup and interpolation for the four value types, the billboard
// matrices that turn a particle quad toward the camera, and the reference-point placement of
// the RP track. Nothing here allocates; results of a type share one scratch value.
#pragma once

#include <cstdint>

struct Matrix;
struct Quat;
struct Vector;

// ---- Keyframes (layouts: scalar 3 floats, 2-vector 5, 3-vector 7, orientation 5) ----------

/// The last key whose time is not above t (a later key of equal time wins), or null when t
/// lies before the first key or there is none.
const float* KFindKey(float t, const float* keys, int32_t count, int32_t keyFloats);

/// value + (t - time) x slope of the found key; null before the first key. The result stays
/// valid until the next evaluation of the same type.
const float* KTrackEvalScalar(float t, const float* keys, int32_t count);
const float* KTrackEvalVec2(float t, const float* keys, int32_t count);
const float* KTrackEvalVec3(float t, const float* keys, int32_t count);
/// Spherical interpolation between the keys around t, with a polynomial sine; null before
/// the first key.
const Quat* KTrackEvalOrientation(float t, const float* keys, int32_t count);

/// The polynomial sine of the interpolation (accurate on 0 to pi/2, the slerp's range).
float KPolySin(float x);

// ---- Billboards: right, up and at rows of a particle quad -----------------------------------

/// Facing the camera plane; up and right are the constraint vectors, null when absent.
void KBillboardCamera(Matrix* out, const Matrix* camera, const Vector* up, const Vector* right);
/// Facing the camera position from the particle; with both constraints the matrix is left
/// as it was, with one the at row is.
void KBillboardViewpoint(Matrix* out, const Matrix* camera, const Vector* position, const Vector* up,
                         const Vector* right);

// ---- Reference-point placement --------------------------------------------------------------

/// The next draw in [-1, 1) of a particle's generator (x = x x 196314165 + 907633515).
float KRandomDraw(uint32_t* state);

/// What a particle keeps of its RP orientation from birth.
struct KRpParticle
{
    float matrix[16]; ///< self-oriented: its rotation (a Matrix)
    float axis[3];    ///< speed-oriented: its drawn bias axis
    float angle;      ///< speed-oriented: its drawn angle
};

/// The birth part: self-oriented draws axis (x, y, z) then angle around the RP values and
/// builds its matrix; speed-oriented draws a bias axis and an angle; world-oriented draws
/// nothing.
void KRpEmit(int32_t mode, const float* axis, float angle, const float* biasAxis, float biasAngle, uint32_t* seed,
             KRpParticle* particle);
/// The per-frame part: the reference point advances by dt x velocity, and the position is
/// that point plus offset, turned by the particle's RP orientation (for speed-oriented the
/// normalised velocity plus its bias axis, spun by its angle).
void KRpUpdate(int32_t mode, KRpParticle* particle, float* referencePoint, const float* velocity, float dt,
               const float* offset, float* position);
