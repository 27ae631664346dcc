// What the follow camera's two files share: the module state, the hooks in force and small
// vector helpers.
#pragma once

#include "ingamecamera.h"

#include <cmath>

namespace ingamecamera
{
constexpr float kFrameSeconds = 1.0f / 60.0f;
constexpr float kPi = 3.14159265358979f;
constexpr float kDegrees = 180.0f / kPi;

CameraFollowModule& Module();
const CameraFollowHooks& Hooks();

int32_t PadPresent();
/// The frame time in seconds; 0 when the clock has none or it is not finite.
float FrameSeconds();
/// The game time in seconds.
double GameSeconds();

/// The share of the gap a value eased at the rate (percent per 1/60 s) covers this frame.
inline float FrameFactor(float dt, float rate)
{
    const float f = dt / kFrameSeconds * rate * 0.01f;
    return f < 1.0f ? (f > 0.0f ? f : 0.0f) : 1.0f;
}

inline Vector Add(const Vector& a, const Vector& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector Scale(const Vector& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline float Length(const Vector& a)
{
    return std::sqrt(Dot(a, a));
}
inline Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline bool Finite(const Vector& a)
{
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
/// The vector with its height component 0, at unit length; false (out untouched) when it has
/// no horizontal length.
inline bool Horizontal(const Vector& v, Vector* out)
{
    const float length = std::sqrt(v.x * v.x + v.z * v.z);
    if (!(length > 1e-5f) || !std::isfinite(length))
        return false;
    *out = {v.x / length, 0.0f, v.z / length};
    return true;
}
/// Turns a horizontal vector about the Y axis by the degrees.
inline Vector TurnY(const Vector& v, float degrees)
{
    const float a = degrees / kDegrees;
    const float c = std::cos(a), s = std::sin(a);
    return {v.x * c + v.z * s, v.y, -v.x * s + v.z * c};
}
/// Spherical interpolation of two unit vectors by the share t; opposite vectors turn about Y.
Vector Slerp(const Vector& from, const Vector& to, float t);
/// The horizontal distance between two horizontal unit vectors.
inline float Gap(const Vector& a, const Vector& b)
{
    const float dx = a.x - b.x, dz = a.z - b.z;
    return std::sqrt(dx * dx + dz * dz);
}
} // namespace ingamecamera
