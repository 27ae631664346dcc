// The spline plug-in: interpolating uniform cubic B-spline curves through 3D control
// points, open or closed, evaluated from shared basis tables that the engine open builds.
#pragma once

#include "vector.h"

#include <cstdint>

struct Stream;

constexpr int32_t kSplineOpen = 1;
constexpr int32_t kSplineClosed = 2;
constexpr int32_t kSplineModeUniform = 10;
constexpr int32_t kSplineModeEased = 11;

struct SplineCurve
{
    uint8_t objectType; ///< 12
    uint8_t subType;
    uint8_t flags;
    uint8_t privateFlags;
    int32_t numVertices; ///< control points + 2 (open) or + 3 (closed)
    int32_t type;        ///< kSplineOpen or kSplineClosed
    void* reserved;      ///< released by Destroy when set; nothing of ours sets it
    Vector* controlPoints;
    char name[33]; ///< 32 characters from a stream, always terminated
    Vector* vertices; ///< numVertices B-spline vertices, in the curve's own block

    static constexpr int32_t kPluginId = 258;
    static constexpr uint8_t kObjectType = 12;
    static constexpr uint32_t kChunkType = 12;
    static constexpr int32_t kMaxWindow = 10;
    static constexpr int32_t kTableEntries = 257;

    // ---- Plug-in --------------------------------------------------------------------------------

    /// Registers the engine plug-in (no block); only between Engine::Init and Engine::Open.
    /// 1, or 0 when refused.
    static int32_t Attach();
    /// Engine open (Engine::Start): the first builds the basis tables and the inverse
    /// matrices; null (error {258, 3} after any memory error) when that fails.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    /// The last close frees them.
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();

    // ---- Curves -------------------------------------------------------------------------------

    /// A curve through n points of the type; null with {258, 1} for another type, the core
    /// error 0x80000016 for an open curve of fewer than 4 points or a closed one of fewer
    /// than 3, 0x80000013 when memory fails. Only while the plug-in is open.
    static SplineCurve* Create(int32_t n, int32_t type, const Vector* points);
    /// 1.
    static int32_t Destroy(SplineCurve* curve);
    /// The point at t (0 to 1, spread evenly over the segments; a closed curve wraps, an
    /// open one stops at its ends) and, when tangent is given, the unit tangent there.
    /// position, or null with {258, 1} for a mode other than 10 and 11.
    static Vector* FindPosition(const SplineCurve* curve, int32_t mode, float t, Vector* position, Vector* tangent);
    /// Reads a curve body; the stream stands inside its chunk (type 12). The count must fit
    /// in what the stream still holds (a memory stream) or in chunkSize when the caller
    /// knows it. Null on any fault; nothing is left allocated.
    static SplineCurve* StreamRead(Stream* stream);
    static SplineCurve* StreamRead(Stream* stream, uint32_t chunkSize);

    // ---- Internals, open for tests ----------------------------------------------------------------

    /// K_m's inverse (m x m, row-major) from the closed form; null when memory fails.
    static float* BuildInverseMatrix(int32_t m);
    /// The inverse of the open interpolation matrix of size m (4 to 10) while open.
    static const float* GetInverseMatrix(int32_t m);
    static SplineCurve* ComputeVertices(SplineCurve* curve, const Vector* points);
};
