// Spline curves: the shared basis tables and inverse matrices, curve creation from control
// points, evaluation, and the curve body reader.
#include "splinecurve.h"

#include "byteorder.h"
#include "engine.h"
#include "error.h"
#include "memory.h"
#include "stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr uint32_t kCurveHint = 0x3000C;
constexpr uint32_t kTableHint = 0x40102;
constexpr uint32_t kMatrixHint = 0x30102;
constexpr uint32_t kReadHint = 0x10102;
constexpr int32_t kErrSplineArgument = 1;
constexpr int32_t kErrOpenFailed = 3;
// Without a known chunk size a stream may not ask for more points than this.
constexpr int32_t kMaxUnboundedPoints = 1 << 16;

struct Module
{
    int32_t openCount = 0;
    float* tables = nullptr; // eight tables of 257 entries
    float* inverse[SplineCurve::kMaxWindow + 1] = {};
};
Module sModule;

enum Table
{
    kW0,
    kW1,
    kW2,
    kW3,
    kT0,
    kT1,
    kT2,
    kT3
};

float* TableOf(int32_t which)
{
    return sModule.tables + which * SplineCurve::kTableEntries;
}

void FreeMatrices()
{
    for (int32_t m = SplineCurve::kMaxWindow; m >= 4; --m)
        if (sModule.inverse[m])
        {
            Memory::Free(sModule.inverse[m]);
            sModule.inverse[m] = nullptr;
        }
}

void CoreError(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

uint32_t Remaining(const Stream* stream)
{
    const uint64_t left = Stream::Remaining(stream);
    return left < UINT32_MAX ? uint32_t(left) : UINT32_MAX;
}

// Sequence x_0, x_1, x_k = 4 x_(k-1) - x_(k-2).
double Sequence(double x0, double x1, int32_t k)
{
    if (k == 0)
        return x0;
    double a = x0, b = x1;
    for (int32_t i = 1; i < k; ++i)
    {
        const double c = 4 * b - a;
        a = b;
        b = c;
    }
    return b;
}
} // namespace

// ---- Plug-in ------------------------------------------------------------------------------------

int32_t SplineCurve::Attach()
{
    return Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) >= 0 ? 1 : 0;
}

void* SplineCurve::EngineOpen(void* engine, int32_t, int32_t)
{
    if (sModule.openCount != 0)
    {
        ++sModule.openCount;
        return engine;
    }
    sModule.tables = static_cast<float*>(Memory::Allocate(sizeof(float) * 8 * kTableEntries, kTableHint));
    if (!sModule.tables)
    {
        CoreError(kErrNoMemory);
        Error::Report(kPluginId, kErrOpenFailed);
        return nullptr;
    }
    for (int32_t j = 0; j < kTableEntries; ++j)
    {
        const float s = float(j) * 0.00390625f;
        const float s2 = s * s, s3 = s2 * s, u = 1 - s;
        TableOf(kW0)[j] = s3 / 6;
        TableOf(kW1)[j] = (1 + 3 * s + 3 * s2 - 3 * s3) / 6;
        TableOf(kW2)[j] = (4 - 6 * s2 + 3 * s3) / 6;
        TableOf(kW3)[j] = u * u * u / 6;
        TableOf(kT0)[j] = s2 / 2;
        TableOf(kT1)[j] = (1 + 2 * s - 3 * s2) / 2;
        TableOf(kT2)[j] = (3 * s2 - 4 * s) / 2;
        TableOf(kT3)[j] = -(u * u) / 2;
    }
    for (int32_t m = 4; m <= kMaxWindow; ++m)
        if (!(sModule.inverse[m] = BuildInverseMatrix(m)))
        {
            FreeMatrices();
            Memory::Free(sModule.tables);
            sModule.tables = nullptr;
            Error::Report(kPluginId, kErrOpenFailed);
            return nullptr;
        }
    ++sModule.openCount;
    return engine;
}

void* SplineCurve::EngineClose(void* engine, int32_t, int32_t)
{
    if (sModule.openCount > 0 && --sModule.openCount == 0)
    {
        FreeMatrices();
        Memory::Free(sModule.tables);
        sModule.tables = nullptr;
    }
    return engine;
}

int32_t SplineCurve::GetOpenCount()
{
    return sModule.openCount;
}

// ---- Matrices -------------------------------------------------------------------------------------

float* SplineCurve::BuildInverseMatrix(int32_t m)
{
    if (m < 2 || m > 64)
        return nullptr;
    auto* out = static_cast<float*>(Memory::Allocate(sizeof(float) * size_t(m * m), kMatrixHint));
    if (!out)
    {
        CoreError(kErrNoMemory);
        return nullptr;
    }
    const double d = Sequence(1, 4, m - 2);
    double b[64];
    for (int32_t k = 0; k < m; ++k)
        b[k] = Sequence(1, 2, k);
    for (int32_t j = m - 2; j >= 0; j -= 2)
        b[j] = -b[j];
    const double sigma = (m % 2) ? 2 : -2;
    auto at = [&](int32_t r, int32_t c) -> float& { return out[r * m + c]; };
    for (int32_t j = 0; j < m; ++j)
    {
        at(j, 0) = float(b[m - 1 - j] / d);
        for (int32_t k = 1; k <= j; ++k)
            at(j, k) = float(sigma * b[k] * b[m - 1 - j] / d);
    }
    at(m - 1, m - 1) = at(0, 0);
    for (int32_t i = 0; i < m; ++i)
        for (int32_t j = i + 1; j < m; ++j)
            at(i, j) = at(m - 1 - i, m - 1 - j);
    return out;
}

const float* SplineCurve::GetInverseMatrix(int32_t m)
{
    return m >= 4 && m <= kMaxWindow ? sModule.inverse[m] : nullptr;
}

SplineCurve* SplineCurve::ComputeVertices(SplineCurve* curve, const Vector* p)
{
    Vector* v = curve->vertices;
    if (curve->type == kSplineOpen)
    {
        const int32_t n = curve->numVertices - 2;
        const int32_t m = n < kMaxWindow ? n : kMaxWindow;
        const float* inv = GetInverseMatrix(m);
        if (!inv)
        {
            CoreError(kErrNullArgument);
            return nullptr;
        }
        const int32_t h = m / 2;
        for (int32_t i = 0; i < n; ++i)
        {
            int32_t r, s;
            if (i < h)
                r = i, s = 0;
            else if (i < n - h)
                r = h, s = i - h;
            else
                r = m - n + i, s = n - m;
            Vector sum = {0, 0, 0};
            for (int32_t k = 0; k < m; ++k)
            {
                const float w = inv[r * m + k];
                sum.x += w * p[s + k].x;
                sum.y += w * p[s + k].y;
                sum.z += w * p[s + k].z;
            }
            v[i + 1] = sum;
        }
        v[0] = v[2];
        v[n + 1] = v[n - 1];
        return curve;
    }
    const int32_t n = curve->numVertices - 3;
    const int32_t m = n < kMaxWindow ? n : kMaxWindow;
    // The first row of the cyclic system's inverse, from the two integer sequences.
    double weights[kMaxWindow];
    int32_t lowest;
    double divisor;
    if (m % 2)
    {
        const int32_t h = (m - 1) / 2;
        divisor = Sequence(1, 3, h);
        lowest = -h;
        for (int32_t k = -h; k <= h; ++k)
        {
            const int32_t a = k < 0 ? -k : k;
            weights[k + h] = ((a % 2) ? -1 : 1) * Sequence(1, 5, h - a);
        }
    }
    else
    {
        const int32_t h = m / 2;
        divisor = Sequence(1, 4, h - 1);
        lowest = -(h - 1);
        for (int32_t k = -(h - 1); k <= h; ++k)
        {
            const int32_t a = k < 0 ? -k : k;
            weights[k + h - 1] = ((a % 2) ? -1 : 1) * Sequence(1, 2, h - a);
        }
    }
    for (int32_t i = 0; i < n; ++i)
    {
        Vector sum = {0, 0, 0};
        for (int32_t k = 0; k < m; ++k)
        {
            const int32_t index = ((i + lowest + k) % n + n) % n;
            const float w = float(weights[k] / divisor);
            sum.x += w * p[index].x;
            sum.y += w * p[index].y;
            sum.z += w * p[index].z;
        }
        v[i + 1] = sum;
    }
    v[0] = v[n];
    v[n + 1] = v[1];
    v[n + 2] = v[2];
    return curve;
}

// ---- Curves -------------------------------------------------------------------------------------

SplineCurve* SplineCurve::Create(int32_t n, int32_t type, const Vector* points)
{
    if (type != kSplineOpen && type != kSplineClosed)
    {
        Error::Report(kPluginId, kErrSplineArgument);
        return nullptr;
    }
    // Fewer points leave no system to solve: open curves need 4, closed ones 3.
    static_assert(sizeof(Vector) == 12, "points are read and copied as packed triples");
    if (!points || n < (type == kSplineOpen ? 4 : 3) || n > (INT32_MAX / 16) - 8)
    {
        CoreError(kErrNullArgument);
        return nullptr;
    }
    if (!sModule.tables)
        return nullptr;
    const int32_t numVertices = n + (type == kSplineOpen ? 2 : 3);
    const size_t head = (sizeof(SplineCurve) + 15) & ~size_t(15);
    auto* curve = static_cast<SplineCurve*>(Memory::Allocate(head + sizeof(Vector) * size_t(numVertices), kCurveHint));
    if (!curve)
    {
        CoreError(kErrNoMemory);
        return nullptr;
    }
    std::memset(static_cast<void*>(curve), 0, head);
    curve->objectType = kObjectType;
    curve->numVertices = numVertices;
    curve->type = type;
    curve->vertices = reinterpret_cast<Vector*>(reinterpret_cast<char*>(curve) + head);
    if (!ComputeVertices(curve, points))
    {
        Memory::Free(curve);
        return nullptr;
    }
    curve->controlPoints = static_cast<Vector*>(Memory::Allocate(sizeof(Vector) * size_t(n), kCurveHint));
    if (!curve->controlPoints)
    {
        Memory::Free(curve);
        CoreError(kErrNoMemory);
        return nullptr;
    }
    std::memcpy(curve->controlPoints, points, sizeof(Vector) * size_t(n));
    return curve;
}

int32_t SplineCurve::Destroy(SplineCurve* curve)
{
    if (!curve)
        return 1;
    if (curve->controlPoints)
        Memory::Free(curve->controlPoints);
    if (curve->reserved)
        Memory::Free(curve->reserved);
    Memory::Free(curve);
    return 1;
}

Vector* SplineCurve::FindPosition(const SplineCurve* curve, int32_t mode, float t, Vector* position, Vector* tangent)
{
    if ((mode != kSplineModeUniform && mode != kSplineModeEased) || !curve || !sModule.tables)
    {
        Error::Report(kPluginId, kErrSplineArgument);
        return nullptr;
    }
    t = std::fabs(t);
    if (!(t <= 3.0e38f))
        t = 0; // NaN and infinity
    if (t > 1)
        // A closed curve goes round again; an open one has nothing past its end.
        t = curve->type == kSplineClosed ? t - std::floor(t) : 1.0f;
    if (mode == kSplineModeEased)
        t = t <= 0.5f ? 2 * t * t : -2 * t * t + 4 * t - 1;

    const int32_t last = curve->numVertices - 4;
    int32_t segment, index;
    float fraction;
    if (t >= 1)
        segment = last, index = 255, fraction = 1;
    else
    {
        const float x = float(curve->numVertices - 3) * t;
        segment = int32_t(x);
        const float y = (x - float(segment)) * 256.0f;
        index = int32_t(y);
        fraction = y - float(index);
        // Rounding may carry a parameter just below 1 onto the end of the last segment.
        if (segment > last)
            segment = last, index = 255, fraction = 1;
        else if (index > 255)
            index = 255, fraction = 1;
    }
    auto weight = [&](int32_t table) {
        const float* T = TableOf(table);
        return T[index] + fraction * (T[index + 1] - T[index]);
    };
    const Vector* v = curve->vertices + segment;
    auto sum = [&](float w3, float w2, float w1, float w0) {
        return Vector{w3 * v[0].x + w2 * v[1].x + w1 * v[2].x + w0 * v[3].x,
                      w3 * v[0].y + w2 * v[1].y + w1 * v[2].y + w0 * v[3].y,
                      w3 * v[0].z + w2 * v[1].z + w1 * v[2].z + w0 * v[3].z};
    };
    *position = sum(weight(kW3), weight(kW2), weight(kW1), weight(kW0));
    if (tangent)
    {
        *tangent = sum(weight(kT3), weight(kT2), weight(kT1), weight(kT0));
        if (Vector::NormalizeUnchecked(tangent, tangent) == 0)
            *tangent = {0, 1, 0};
    }
    return position;
}

// ---- Streams --------------------------------------------------------------------------------------

SplineCurve* SplineCurve::StreamRead(Stream* stream)
{
    return StreamRead(stream, UINT32_MAX);
}

SplineCurve* SplineCurve::StreamRead(Stream* stream, uint32_t chunkSize)
{
    uint8_t head[40];
    if (Stream::Read(stream, head, 40) != 40)
        return nullptr;
    const int32_t n = int32_t(ByteOrder::Load32(head + 32));
    const int32_t type = int32_t(ByteOrder::Load32(head + 36));
    if (type != kSplineOpen && type != kSplineClosed)
    {
        Error::Report(kPluginId, kErrSplineArgument);
        return nullptr;
    }
    // The points must lie in what the chunk (or the stream) still holds.
    uint32_t room = Remaining(stream);
    if (chunkSize != UINT32_MAX)
        room = chunkSize < 40 ? 0 : std::min(room, chunkSize - 40);
    const int64_t most = room == UINT32_MAX ? kMaxUnboundedPoints : int64_t(room / 12);
    if (n < (type == kSplineOpen ? 4 : 3) || n > most)
    {
        Error::Report(kCorePluginId, kErrStreamRead);
        return nullptr;
    }
    auto* points = static_cast<Vector*>(Memory::Allocate(sizeof(Vector) * size_t(n), kReadHint));
    if (!points)
    {
        CoreError(kErrNoMemory);
        return nullptr;
    }
    SplineCurve* curve = nullptr;
    if (Stream::ReadWords(stream, points, uint32_t(n) * 12))
        curve = Create(n, type, points);
    Memory::Free(points);
    if (!curve)
        return nullptr;
    std::memcpy(curve->name, head, 32);
    curve->name[32] = 0;
    curve->objectType = kObjectType;
    return curve;
}
