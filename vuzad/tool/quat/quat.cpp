// Quaternions: conversions and the spherical interpolation cache.
#include "quat.h"

#include "error.h"
#include "mathsqrt.h"
#include "matrix.h"
#include "vector.h"

#include <cmath>
#include <cstring>

int32_t Quat::FromMatrix(Quat* quat, const Matrix* matrix)
{
    if (!quat || !matrix)
        return 0;
    const float m[3][3] = {{matrix->right.x, matrix->right.y, matrix->right.z},
                           {matrix->up.x, matrix->up.y, matrix->up.z},
                           {matrix->at.x, matrix->at.y, matrix->at.z}};
    const float trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0f)
    {
        const float s = Math::Sqrt(trace + 1.0f);
        const float h = 0.5f / s;
        quat->w = s * 0.5f;
        quat->x = (m[1][2] - m[2][1]) * h;
        quat->y = (m[2][0] - m[0][2]) * h;
        quat->z = (m[0][1] - m[1][0]) * h;
        return 1;
    }
    int axis; // 0 x, 1 y, 2 z
    if (m[0][0] > m[1][1])
        axis = m[2][2] < m[0][0] ? 0 : 2;
    else if (m[1][1] >= m[0][0] && m[1][1] > m[2][2])
        axis = 1;
    else
        axis = 2;
    if (axis == 0)
    {
        const float s = Math::Sqrt(m[0][0] - (m[2][2] + m[1][1]) + 1.0f);
        const float h = 0.5f / s;
        quat->x = s * 0.5f;
        quat->w = (m[1][2] - m[2][1]) * h;
        quat->y = (m[1][0] + m[0][1]) * h;
        quat->z = (m[2][0] + m[0][2]) * h;
    }
    else if (axis == 1)
    {
        const float s = Math::Sqrt(m[1][1] - (m[2][2] + m[0][0]) + 1.0f);
        const float h = 0.5f / s;
        quat->y = s * 0.5f;
        quat->w = (m[2][0] - m[0][2]) * h;
        quat->z = (m[2][1] + m[1][2]) * h;
        quat->x = (m[1][0] + m[0][1]) * h;
    }
    else
    {
        const float s = Math::Sqrt(m[2][2] - (m[1][1] + m[0][0]) + 1.0f);
        const float h = 0.5f / s;
        quat->z = s * 0.5f;
        quat->w = (m[0][1] - m[1][0]) * h;
        quat->x = (m[2][0] + m[0][2]) * h;
        quat->y = (m[2][1] + m[1][2]) * h;
    }
    return 1;
}

Quat Quat::Multiply(const Quat& a, const Quat& b)
{
    Quat r;
    r.x = a.w * b.x + b.w * a.x + (a.y * b.z - a.z * b.y);
    r.y = a.w * b.y + b.w * a.y + (a.z * b.x - a.x * b.z);
    r.z = a.w * b.z + b.w * a.z + (a.x * b.y - a.y * b.x);
    r.w = a.w * b.w - (a.x * b.x + a.y * b.y + a.z * b.z);
    return r;
}

Quat* Quat::Rotate(Quat* quat, const Vector* axis, float angleDegrees, int32_t combination)
{
    if (!quat || !axis)
    {
        Error::Report(kPluginId, kErrNullArgument);
        return nullptr;
    }
    if (combination < 0 || combination > 2)
    {
        // "Invalid combination type"
        Error::Report(kPluginId, kErrBadArgument);
        return nullptr;
    }
    const float half = angleDegrees * 0.008726646f;
    const float c = std::cos(half), s = std::sin(half);
    Vector a;
    Vector::Normalize(&a, axis);
    const Quat r = {s * a.x, s * a.y, s * a.z, c};
    if (combination == 0)
        *quat = r;
    else if (combination == 1)
        *quat = Multiply(*quat, r);
    else
        *quat = Multiply(r, *quat);
    return quat;
}

Quat* Quat::GetRotation(Quat* quat, Vector* axis, float* angleDegrees)
{
    if (!quat || !axis || !angleDegrees)
    {
        Error::Report(kPluginId, kErrNullArgument);
        return nullptr;
    }
    const float len = Math::Sqrt(quat->x * quat->x + quat->y * quat->y + quat->z * quat->z);
    const float inv = len > 0.0f ? 1.0f / len : 0.0f;
    const float half = std::atan2(len, quat->w);
    if (half > 1.5707964f)
    {
        axis->x = -inv * quat->x, axis->y = -inv * quat->y, axis->z = -inv * quat->z;
        *angleDegrees = (3.1415927f - half) * 114.59155f;
    }
    else
    {
        axis->x = inv * quat->x, axis->y = inv * quat->y, axis->z = inv * quat->z;
        *angleDegrees = half * 114.59155f;
    }
    return quat;
}

float QuatSlerpCache::Sin(float x)
{
    const float x2 = x * x;
    return x + x * x2 *
                   (-0.16666667f +
                    x2 * (0.008333334f + x2 * (-0.0001984127f + x2 * (2.7557314e-6f + x2 * (-2.505076e-8f + x2 * 1.589691e-10f)))));
}

static float AcosRational(float z)
{
    const float p = z * (0.16666667f + z * (-0.32556581f + z * (0.20121253f + z * (-0.040055536f +
                                                                               z * (0.000791535f + z * 0.00003479331f)))));
    const float q = 1.0f + z * (-2.403395f + z * (2.0209458f + z * (-0.688284f + z * 0.077038154f)));
    return p / q;
}

float QuatSlerpCache::Acos(float c)
{
    const float pio2Hi = 1.5707963f, pio2Lo = 7.5497894e-8f;
    const float a = std::fabs(c);
    if (a >= 1.0f)
        return c > 0.0f ? 0.0f : 2.0f * pio2Hi + 2.0f * pio2Lo;
    if (a < 0.5f)
    {
        if (a < 6.9388939e-18f) // 2^-57
            return pio2Hi + pio2Lo;
        const float r = AcosRational(c * c);
        return pio2Hi - (c - (pio2Lo - c * r));
    }
    const float z = (1.0f - a) * 0.5f;
    const float s = Math::Sqrt(z);
    const float r = AcosRational(z);
    if (c < 0.0f)
        return 2.0f * pio2Hi - 2.0f * (s + (r * s - pio2Lo));
    return 2.0f * (s + r * s);
}

void QuatSlerpCache::Setup(const Quat* q1, const Quat* q2, QuatSlerpCache* cache)
{
    cache->first = *q1;
    const float d = q1->x * q2->x + q1->y * q2->y + q1->z * q2->z + q1->w * q2->w;
    float c;
    if (d < 0.0f)
    {
        cache->second = {-q2->x, -q2->y, -q2->z, -q2->w};
        c = -d > 1.0f ? 1.0f : -d;
    }
    else
    {
        cache->second = *q2;
        c = d > 1.0f ? 1.0f : d;
    }
    cache->omega = Acos(c);
    cache->nearlyEqual = c >= 0.99999f;
    if (cache->nearlyEqual)
        return;
    const float k = 1.0f / Sin(cache->omega);
    Quat* both[2] = {&cache->first, &cache->second};
    for (Quat* q : both)
        q->x *= k, q->y *= k, q->z *= k, q->w *= k;
}

Quat QuatSlerpCache::Evaluate(const QuatSlerpCache* cache, float t)
{
    float a, b;
    if (cache->nearlyEqual)
        a = 1.0f - t, b = t;
    else
        a = Sin((1.0f - t) * cache->omega), b = Sin(t * cache->omega);
    const Quat& p = cache->first;
    const Quat& q = cache->second;
    return {a * p.x + b * q.x, a * p.y + b * q.y, a * p.z + b * q.z, a * p.w + b * q.w};
}
