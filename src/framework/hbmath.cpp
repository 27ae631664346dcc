// Framework numeric helpers.
#include "hbmath.h"

#include "mathsqrt.h"
#include "matrix.h"

#include <cmath>

namespace
{
// Cosine then sine, contiguous, so sine entry i is also cosine entry i + 3600.
float gTables[2 * kHbSinCosEntries];
bool gTablesReady = false;

// Exponents beyond this already overflow or underflow every real; the cap keeps
// a text such as "1e999999999" from costing a billion steps.
constexpr int kMaxExponent = 400;
constexpr double kMaxMantissa = 1e300;
constexpr long kMaxScale = 100000;
} // namespace

double HbStrToD(const char* text, const char** end)
{
    const char* p = text;
    while (*p && static_cast<signed char>(*p) <= 32)
        ++p;
    bool negative = false;
    if (*p == '-')
    {
        negative = true;
        ++p;
    }
    else if (*p == '+')
    {
        ++p;
    }
    // The divisor is kept as its power of ten: a fraction digit raises it, a
    // negative exponent raises it, a positive one lowers it. Digits beyond
    // kMaxMantissa only scale the result, so hundreds of digits give a finite
    // number or infinity, never inf / inf.
    double value = 0.0;
    long scale = 0;
    while (*p >= '0' && *p <= '9')
    {
        if (value < kMaxMantissa)
            value = value * 10.0 + (*p - '0');
        else if (scale > -kMaxScale)
            --scale;
        ++p;
    }
    if (*p == '.')
    {
        ++p;
        while (*p >= '0' && *p <= '9')
        {
            if (value < kMaxMantissa)
            {
                value = value * 10.0 + (*p - '0');
                ++scale;
            }
            ++p;
        }
    }
    if (*p == 'e' || *p == 'E')
    {
        ++p;
        bool negativeExponent = false;
        if (*p == '-')
        {
            negativeExponent = true;
            ++p;
        }
        else if (*p == '+')
        {
            ++p;
        }
        long n = 0;
        while (*p >= '0' && *p <= '9')
        {
            if (n < kMaxExponent)
                n = n * 10 + (*p - '0');
            ++p;
        }
        if (n > kMaxExponent)
            n = kMaxExponent;
        scale += negativeExponent ? n : -n;
    }
    if (end)
        *end = p;
    if (negative)
        value = -value;
    // A zero mantissa stays zero whatever the exponent (no 0/0).
    if (scale == 0 || value == 0.0)
        return value;
    if (scale >= -300 && scale <= 300)
        return value / std::pow(10.0, static_cast<double>(scale));
    // Far out of range: divide in two steps so that the divisor itself does
    // not overflow before the quotient would come back into range.
    long half = scale / 2;
    return value / std::pow(10.0, static_cast<double>(half)) / std::pow(10.0, static_cast<double>(scale - half));
}

double HbAtoF(const char* text)
{
    return HbStrToD(text, nullptr);
}

void HbBuildSinCosTables()
{
    for (int i = 0; i < kHbSinCosEntries; ++i)
    {
        long double angle = static_cast<long double>(i) * 0.1L * 0.01745329238474369L;
        gTables[i] = static_cast<float>(cosl(angle));
        gTables[kHbSinCosEntries + i] = static_cast<float>(sinl(angle));
    }
    gTablesReady = true;
}

bool HbSinCosTablesReady()
{
    return gTablesReady;
}

const float* HbCosTable()
{
    return gTables;
}

const float* HbSinTable()
{
    return gTables + kHbSinCosEntries;
}

int HbSinCosIndex(float degrees)
{
    if (!std::isfinite(degrees))
        return 0;
    double tenths = static_cast<double>(degrees) * 10.0;
    // Truncate toward zero; angles far outside a turn wrap like any other.
    long long index = static_cast<long long>(std::fmod(std::trunc(tenths), static_cast<double>(kHbSinCosEntries)));
    if (index < 0)
        index += kHbSinCosEntries;
    return static_cast<int>(index);
}

Matrix* MatrixRotateAxisDegrees(Matrix* matrix, const Vector* axis, float degrees, int combine)
{
    if (combine < 0 || combine > 2)
        return nullptr;
    if (!gTablesReady)
        HbBuildSinCosTables();
    // The table inverse square root works with or without a started engine.
    float lengthSquared = axis->x * axis->x + axis->y * axis->y + axis->z * axis->z;
    float scale = Math::InvSqrt(lengthSquared);
    Vector unit = {axis->x * scale, axis->y * scale, axis->z * scale};
    int index = HbSinCosIndex(degrees);
    float c = HbCosTable()[index];
    float s = HbSinTable()[index];
    return Matrix::RotateCosSin(matrix, &unit, 1.0f - c, s, combine);
}

float VectorDistanceSquared(const float* a, const float* b)
{
    float dx = b[0] - a[0];
    float dy = b[1] - a[1];
    float dz = b[2] - a[2];
    return dx * dx + dy * dy + dz * dz;
}

float ClampMax(float value, float bound)
{
    return value > bound ? bound : value;
}
