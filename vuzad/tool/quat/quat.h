// The quaternion toolkit: rotations as unit quaternions, from and to rotation matrices and
// axis-angle pairs, and the cache that prepares spherical interpolation between two of them.
#pragma once

#include <cstdint>

struct Matrix;
struct Vector;

/// (x, y, z) the vector part, w the real part; a rotation by a about the unit axis n is
/// (n sin(a/2), cos(a/2)).
struct Quat
{
    float x, y, z, w;

    static constexpr int32_t kPluginId = 405;

    /// The unit quaternion of the matrix's rotation part. 1, or 0 (no error) for a null argument.
    static int32_t FromMatrix(Quat* quat, const Matrix* matrix);
    /// R = the rotation by angleDegrees about the normalised axis, then combination 0 (quat = R),
    /// 1 (quat = quat x R) or 2 (quat = R x quat). Null with {405, kErrBadArgument} for another
    /// combination, {405, kErrNullArgument} for a null quat or axis.
    static Quat* Rotate(Quat* quat, const Vector* axis, float angleDegrees, int32_t combination);
    /// The rotation as a unit axis and an angle in degrees within 0 .. 180 (the short way: a
    /// quaternion with w < 0 gives the negated axis). Null with {405, kErrNullArgument}.
    static Quat* GetRotation(Quat* quat, Vector* axis, float* angleDegrees);
    /// (a x b): vector part a.w b.v + b.w a.v + a.v x b.v, real part a.w b.w - a.v . b.v.
    static Quat Multiply(const Quat& a, const Quat& b);
};

/// Spherical interpolation from q1 to q2 along the shorter arc, prepared once.
struct QuatSlerpCache
{
    Quat first;       ///< q1, divided by sin(omega) unless nearlyEqual
    Quat second;      ///< q2 or -q2 (the shorter arc), divided by sin(omega) unless nearlyEqual
    float omega;      ///< the angle between them, radians
    int32_t nearlyEqual; ///< cos(omega) >= 0.99999: linear mixing, nothing divided

    static void Setup(const Quat* q1, const Quat* q2, QuatSlerpCache* cache);
    /// The rotation at t in (0, 1): linear when nearlyEqual, else the sine-weighted sum (not
    /// normalised). The ends are the caller's: t <= 0 is q1 and t >= 1 q2 as given to Setup.
    static Quat Evaluate(const QuatSlerpCache* cache, float t);

    /// The single-precision arc cosine and sine the cache uses.
    static float Acos(float c);
    static float Sin(float x);
};
