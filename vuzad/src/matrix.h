// Matrices: four 16-byte rows (right, up, at, position) used as row-vector transforms,
// with type flags that every operation keeps exact so that identity matrices are copied
// instead of multiplied and orthonormal ones are inverted by transposition.
#pragma once

#include "vector.h"

#include <cstdint>

struct Stream;

constexpr uint32_t kMatrixNormal = 0x1;     ///< right, up and at have unit length
constexpr uint32_t kMatrixOrthogonal = 0x2; ///< the three rows are mutually perpendicular
constexpr uint32_t kMatrixOrthonormal = kMatrixNormal | kMatrixOrthogonal;
constexpr uint32_t kMatrixIdentity = 0x20000;
constexpr uint32_t kMatrixTypeMask = kMatrixOrthonormal | kMatrixIdentity;

/// How a new transform combines with a matrix.
enum MatrixCombine : int32_t
{
    kCombineReplace = 0,    ///< the matrix becomes the new transform
    kCombinePreConcat = 1,  ///< new x matrix: the new transform is applied first
    kCombinePostConcat = 2, ///< matrix x new: the new transform is applied after
};

struct MatrixTolerances
{
    float normal;
    float orthogonal;
    float identity;
};

struct Matrix;
/// out = a x b; out is distinct from a and b; out's flags are not touched.
using MatrixMultiplyFunction = void (*)(Matrix* out, const Matrix* a, const Matrix* b);

/// A point p becomes p.x * right + p.y * up + p.z * at + position; a x b applies a, then b.
/// The fourth word of every row belongs to the matrix (the SIMD routines read whole rows).
struct Matrix
{
    Vector right;
    uint32_t flags;
    Vector up;
    uint32_t pad1;
    Vector at;
    uint32_t pad2;
    Vector pos;
    uint32_t pad3;

    // ---- Objects from the matrix free list -----------------------------------------

    /// A new identity matrix (flags 0x20003), or null.
    static Matrix* Create();
    static int32_t Destroy(Matrix* matrix);

    // ---- Products and inverses -----------------------------------------------------

    /// out = a x b, out distinct from both; copies instead when either is the identity;
    /// out's flags become a's AND b's.
    static Matrix* Multiply(Matrix* out, const Matrix* a, const Matrix* b);
    /// out distinct from in. Orthonormal: the transpose (flags 3); else the adjugate over
    /// the determinant, undivided when the determinant is zero (flags 0).
    static Matrix* Invert(Matrix* out, const Matrix* in);
    /// Rebuilds the rows as an orthonormal set keeping the most perpendicular pair; out
    /// may be in.
    static Matrix* Orthonormalize(Matrix* out, const Matrix* in);

    // ---- Combining transforms: null and error 0x80000003 for another combine mode,
    // the matrix unchanged.

    static Matrix* Rotate(Matrix* matrix, const Vector* axis, float angleDegrees, int32_t combine);
    /// unitAxis of unit length, oneMinusCos = 1 - cos, sinAngle = sin.
    static Matrix* RotateCosSin(Matrix* matrix, const Vector* unitAxis, float oneMinusCos, float sinAngle,
                                int32_t combine);
    static Matrix* Scale(Matrix* matrix, const Vector* scale, int32_t combine);
    static Matrix* Translate(Matrix* matrix, const Vector* translation, int32_t combine);
    /// other may be the matrix itself.
    static Matrix* Transform(Matrix* matrix, const Matrix* other, int32_t combine);

    // ---- Classifying and querying ----------------------------------------------------

    /// For whoever wrote rows directly: clears normal, orthogonal and identity.
    static Matrix* Update(Matrix* matrix);
    /// Recomputes the three flags against the tolerances (null: the module's defaults).
    static Matrix* Optimize(Matrix* matrix, const MatrixTolerances* tolerances);
    static float NormalError(const Matrix* matrix);
    static float OrthogonalError(const Matrix* matrix);
    static float IdentityError(const Matrix* matrix);
    /// right . (up x at).
    static float Determinant(const Matrix* matrix);
    /// The rotation's unit axis, its angle in degrees and a point on the axis.
    static const Matrix* QueryRotate(const Matrix* matrix, Vector* unitAxis, float* angleDegrees, Vector* centre);

    // ---- Stream form (chunk 13): the four rows and the normal and orthogonal flags ----------

    static int32_t StreamGetSize(const Matrix*) { return 64; }
    /// An orthonormal-flagged matrix is written orthonormalised. The matrix, or null
    /// (0x8000001C).
    static const Matrix* StreamWrite(const Matrix* matrix, Stream* stream);
    /// The stream stands inside a matrix chunk. Into matrix, or a new one when null; null
    /// when the body is missing, unreadable or not 52 bytes (0x8000001A) or of an
    /// unreadable version (0x80000004).
    static Matrix* StreamRead(Stream* stream, Matrix* matrix);

    // ---- Multiply routines -------------------------------------------------------------

    /// Null restores the generic product. 1.
    static int32_t SetMultiplyFunction(MatrixMultiplyFunction multiply);
    static MatrixMultiplyFunction GetMultiplyFunction();
    /// Each out row = row.x * b.right + row.y * b.up + row.z * b.at (+ b.position).
    static void MultiplyGeneric(Matrix* out, const Matrix* a, const Matrix* b);
    /// The generic sums, reading each row of a whole before writing that row of out.
    static void MultiplyX87(Matrix* out, const Matrix* a, const Matrix* b);
    /// The generic sums in four-lane registers: the same results, bit for bit.
    static void MultiplySse(Matrix* out, const Matrix* a, const Matrix* b);

    // ---- The matrix module (engine-level module 0x402) ------------------------------------

    static constexpr int32_t kPluginId = 0x402;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};

static_assert(sizeof(Matrix) == 64, "rows of 16 bytes");
