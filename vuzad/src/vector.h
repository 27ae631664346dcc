// Vectors: lengths and normalisation from the square-root tables, and point and
// direction transforms through four replaceable routines (generic, and ones suited to
// the processor that the device installs when it starts).
#pragma once

#include <cstdint>

struct Matrix;
struct Vector;

using TransformPointFunction = Vector* (*)(Vector* out, const Vector* in, const Matrix* matrix);
using TransformPointsFunction = Vector* (*)(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);

/// The four transform slots, in the order the device installs them.
struct TransformFunctions
{
    TransformPointFunction point;
    TransformPointsFunction points;
    TransformPointFunction vector;
    TransformPointsFunction vectors;
};

struct Vector2
{
    float x, y;

    /// As Vector::Normalize in two dimensions.
    static float Normalize(Vector2* out, const Vector2* in);
};

struct Vector
{
    float x, y, z;

    // ---- Lengths -----------------------------------------------------------------

    static float Length(const Vector* v);
    /// out = in / |in| (out may be in); answers |in|. A zero vector gives (0, 0, 0),
    /// answers 0 and reports error 25.
    static float Normalize(Vector* out, const Vector* in);
    /// out = in / |in| without any report; answers 1 / |in| (0 for a zero vector).
    static float NormalizeUnchecked(Vector* out, const Vector* in);

    // ---- Transforms ----------------------------------------------------------------
    // out = in.x * right + in.y * up + in.z * at (+ position for points). Each returns
    // out; out may be the same vector or array as in, but must not partly overlap it.
    // Only the three components of each out element are written.

    static Vector* TransformPoint(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformPoints(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    static Vector* TransformVector(Vector* out, const Vector* in, const Matrix* matrix);

    /// A null entry restores the generic routine of its slot. 1.
    static int32_t SetTransformFunctions(TransformPointFunction point, TransformPointsFunction points,
                                         TransformPointFunction vector, TransformPointsFunction vectors);
    static TransformFunctions GetTransformFunctions();

    // The sets of routines. Generic: ((x * right + y * up) + z * at) + position.
    static Vector* TransformPointGeneric(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformPointsGeneric(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    static Vector* TransformVectorGeneric(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformVectorsGeneric(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    // The set for processors without SSE: the sums of the generic set, computed with
    // scalar arithmetic (x86-64 has no reason to use the x87 stack for them).
    static Vector* TransformPointX87(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformPointsX87(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    static Vector* TransformVectorX87(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformVectorsX87(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    // SSE: rows held as four-lane registers (aligned loads when the matrix is on a
    // 16-byte boundary), summed in the generic order, so the results are the generic
    // ones bit for bit; x and y stored as one 8-byte store.
    static Vector* TransformPointSse(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformPointsSse(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    static Vector* TransformVectorSse(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformVectorsSse(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    // SSE2: the SSE arithmetic, each component stored on its own.
    static Vector* TransformPointSse2(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformPointsSse2(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);
    static Vector* TransformVectorSse2(Vector* out, const Vector* in, const Matrix* matrix);
    static Vector* TransformVectorsSse2(Vector* out, const Vector* in, int32_t count, const Matrix* matrix);

    static TransformFunctions GenericSet();
    static TransformFunctions X87Set();
    static TransformFunctions SseSet();
    static TransformFunctions Sse2Set();

    // ---- The vector module (engine-level module 0x401): the square-root tables and
    // the transform slots, from Engine::Start to Engine::Stop.

    static constexpr int32_t kPluginId = 0x401;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
