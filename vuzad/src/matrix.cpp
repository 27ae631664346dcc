// Matrices: the matrix module, products, inverses, orthonormalisation, the combining
// operations and classification, with the type flags kept exact by each.
#include "matrix.h"

#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "mathsqrt.h"
#include "memory.h"

#include <cmath>
#include <cstring>
#include <xmmintrin.h>
#include <initializer_list>

namespace
{

struct MatrixModuleBlock
{
    FreeList* matrices;
    uint32_t optimisationMask;
    MatrixMultiplyFunction multiply;
    MatrixTolerances tolerances;
};

constexpr int32_t kMatricesPerBlock = 256;
constexpr int32_t kMatrixAlignment = 16; // rows are read as four-lane registers
constexpr uint32_t kMatrixChunkType = 0x0D;
constexpr uint32_t kModuleHint = kMemoryHintEngine | kMatrixChunkType;
constexpr uint32_t kObjectHint = kMemoryHintObject | kMatrixChunkType;
constexpr MatrixTolerances kDefaultTolerances = {0.01f, 0.01f, 0.01f};
constexpr float kDegreesToRadians = 0.017453292f;

// The block of the started engine, and the module's free list in static storage.
// Without an open engine the arithmetic runs on the default settings (no matrix
// objects can be made then), so a caller outside the engine's life reads no null.
MatrixModuleBlock sNoEngineBlock = {nullptr, kMatrixIdentity, Matrix::MultiplyGeneric, kDefaultTolerances};
MatrixModuleBlock* sBlock = &sNoEngineBlock;
FreeList sMatrixList;
constexpr float kRadiansToDegrees = 57.29578f;

bool IsIdentity(const Matrix* m)
{
    return (m->flags & sBlock->optimisationMask & kMatrixIdentity) != 0;
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector Scaled(const Vector& v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}

// Normalised with the table inverse square root: a zero vector stays zero.
Vector Unit(const Vector& v)
{
    return Scaled(v, Math::InvSqrt(Dot(v, v)));
}

bool IsValidCombine(int32_t combine)
{
    if (combine == kCombineReplace || combine == kCombinePreConcat || combine == kCombinePostConcat)
        return true;
    Error::Report(kCorePluginId, Error::MakeCode(kErrBadArgument, "Invalid combination type"));
    return false;
}

void SetRows(Matrix* m, const Vector& right, const Vector& up, const Vector& at, const Vector& pos)
{
    m->right = right;
    m->up = up;
    m->at = at;
    m->pos = pos;
}

// matrix = first x second through the multiply function, with flags = keepFlags. The
// product goes to a copy of the matrix first, so either factor may be the matrix.
void ProductInto(Matrix* matrix, const Matrix* first, const Matrix* second, uint32_t flags)
{
    Matrix product = *matrix;
    sBlock->multiply(&product, first, second);
    product.flags = flags;
    *matrix = product;
}

// The adjugate (transposed cofactors) of the 3 x 3 part over the determinant; the
// adjugate alone when the determinant is zero of either sign.
void GeneralInverse3x3(Matrix* out, const Matrix* in)
{
    const Vector& r = in->right;
    const Vector& u = in->up;
    const Vector& a = in->at;
    Vector adjRight = {u.y * a.z - u.z * a.y, -(r.y * a.z - r.z * a.y), r.y * u.z - r.z * u.y};
    Vector adjUp = {-(u.x * a.z - u.z * a.x), r.x * a.z - r.z * a.x, -(r.x * u.z - r.z * u.x)};
    Vector adjAt = {u.x * a.y - u.y * a.x, -(r.x * a.y - r.y * a.x), r.x * u.y - r.y * u.x};
    float d = r.x * adjRight.x + u.x * adjRight.y + a.x * adjRight.z;
    if (d != 0.0f)
    {
        float inverse = 1.0f / d;
        adjRight = Scaled(adjRight, inverse);
        adjUp = Scaled(adjUp, inverse);
        adjAt = Scaled(adjAt, inverse);
    }
    out->right = adjRight;
    out->up = adjUp;
    out->at = adjAt;
}

Vector ApplyRows(const Matrix* m, const Vector& p)
{
    return {p.x * m->right.x + p.y * m->up.x + p.z * m->at.x, p.x * m->right.y + p.y * m->up.y + p.z * m->at.y,
            p.x * m->right.z + p.y * m->up.z + p.z * m->at.z};
}

} // namespace

// ---- Objects -------------------------------------------------------------------------------

Matrix* Matrix::Create()
{
    Engine* engine = Engine::Current();
    if (!engine || !sBlock->matrices)
        return nullptr;
    auto* matrix = static_cast<Matrix*>(engine->freeListFunctions.take(sBlock->matrices, kObjectHint));
    if (!matrix)
        return nullptr;
    std::memset(matrix, 0, sizeof(Matrix));
    matrix->right.x = matrix->up.y = matrix->at.z = 1.0f;
    matrix->flags = kMatrixIdentity | kMatrixOrthonormal;
    return matrix;
}

int32_t Matrix::Destroy(Matrix* matrix)
{
    Engine* engine = Engine::Current();
    if (!engine || !sBlock->matrices || !matrix)
        return 0;
    engine->freeListFunctions.giveBack(sBlock->matrices, matrix);
    return 1;
}

// ---- Products and inverses ---------------------------------------------------------------------

Matrix* Matrix::Multiply(Matrix* out, const Matrix* a, const Matrix* b)
{
    if (IsIdentity(a))
        *out = *b;
    else if (IsIdentity(b))
        *out = *a;
    else
    {
        sBlock->multiply(out, a, b);
        out->flags = a->flags & b->flags;
    }
    return out;
}

Matrix* Matrix::Invert(Matrix* out, const Matrix* in)
{
    if (IsIdentity(in))
    {
        *out = *in;
        return out;
    }
    const Vector& p = in->pos;
    if ((in->flags & kMatrixOrthonormal) == kMatrixOrthonormal)
    {
        out->right = {in->right.x, in->up.x, in->at.x};
        out->up = {in->right.y, in->up.y, in->at.y};
        out->at = {in->right.z, in->up.z, in->at.z};
        out->pos = {-Dot(p, in->right), -Dot(p, in->up), -Dot(p, in->at)};
        out->flags = kMatrixOrthonormal;
        return out;
    }
    GeneralInverse3x3(out, in);
    Vector moved = ApplyRows(out, p);
    out->pos = {-moved.x, -moved.y, -moved.z};
    out->flags = 0;
    return out;
}

Matrix* Matrix::Orthonormalize(Matrix* out, const Matrix* in)
{
    Vector right = Unit(in->right);
    Vector up = Unit(in->up);
    Vector at = Unit(in->at);
    Vector pos = in->pos;

    // Keep k, fix f, rebuild r = k x f, then f = r x k: the most perpendicular pair
    // survives and right = up x at keeps its handedness.
    Vector *k, *f, *r;
    auto isZero = [](const Vector& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; };
    if (isZero(right))
        k = &up, f = &at, r = &right;
    else if (isZero(up))
        k = &at, f = &right, r = &up;
    else if (isZero(at))
        k = &right, f = &up, r = &at;
    else
    {
        float dAU = std::fabs(Dot(at, up));
        float dAR = std::fabs(Dot(at, right));
        float dUR = std::fabs(Dot(up, right));
        if (dAU < dAR)
        {
            if (dAU < dUR)
                k = &up, f = &at, r = &right;
            else
                k = &right, f = &up, r = &at;
        }
        else if (dUR > dAR)
            k = &at, f = &right, r = &up;
        else
            k = &right, f = &up, r = &at;
    }
    *r = Unit(Cross(*k, *f));
    *f = Unit(Cross(*r, *k));

    SetRows(out, right, up, at, pos);
    out->flags = (out->flags & ~kMatrixIdentity) | kMatrixOrthonormal;
    return out;
}

// ---- Combining transforms -----------------------------------------------------------------------

Matrix* Matrix::RotateCosSin(Matrix* matrix, const Vector* unitAxis, float oneMinusCos, float sinAngle, int32_t combine)
{
    if (!IsValidCombine(combine))
        return nullptr;
    float x = unitAxis->x, y = unitAxis->y, z = unitAxis->z;
    float a = oneMinusCos, b = sinAngle;
    Matrix rotation = *matrix;
    SetRows(&rotation, {1.0f - a * (1.0f - x * x), a * x * y + b * z, a * x * z - b * y},
            {a * x * y - b * z, 1.0f - a * (1.0f - y * y), a * y * z + b * x},
            {a * x * z + b * y, a * y * z - b * x, 1.0f - a * (1.0f - z * z)}, {0.0f, 0.0f, 0.0f});
    rotation.flags = kMatrixOrthonormal;

    if (combine == kCombineReplace || IsIdentity(matrix))
    {
        SetRows(matrix, rotation.right, rotation.up, rotation.at, rotation.pos);
        matrix->flags = kMatrixOrthonormal;
    }
    else if (combine == kCombinePreConcat)
        ProductInto(matrix, &rotation, matrix, matrix->flags & kMatrixOrthonormal);
    else
        ProductInto(matrix, matrix, &rotation, matrix->flags & kMatrixOrthonormal);
    return matrix;
}

Matrix* Matrix::Rotate(Matrix* matrix, const Vector* axis, float angleDegrees, int32_t combine)
{
    if (!IsValidCombine(combine))
        return nullptr;
    Vector unit = Unit(*axis);
    float radians = angleDegrees * kDegreesToRadians;
    return RotateCosSin(matrix, &unit, 1.0f - std::cos(radians), std::sin(radians), combine);
}

Matrix* Matrix::Scale(Matrix* matrix, const Vector* s, int32_t combine)
{
    if (!IsValidCombine(combine))
        return nullptr;
    if (combine == kCombineReplace)
        SetRows(matrix, {s->x, 0.0f, 0.0f}, {0.0f, s->y, 0.0f}, {0.0f, 0.0f, s->z}, {0.0f, 0.0f, 0.0f});
    else if (combine == kCombinePreConcat)
    {
        matrix->right = Scaled(matrix->right, s->x);
        matrix->up = Scaled(matrix->up, s->y);
        matrix->at = Scaled(matrix->at, s->z);
    }
    else
    {
        for (Vector* row : {&matrix->right, &matrix->up, &matrix->at, &matrix->pos})
            *row = {row->x * s->x, row->y * s->y, row->z * s->z};
    }
    matrix->flags &= ~kMatrixTypeMask;
    return matrix;
}

Matrix* Matrix::Translate(Matrix* matrix, const Vector* t, int32_t combine)
{
    if (!IsValidCombine(combine))
        return nullptr;
    if (combine == kCombineReplace)
    {
        SetRows(matrix, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, *t);
        matrix->flags |= kMatrixOrthonormal;
    }
    else if (combine == kCombinePreConcat)
    {
        Vector moved = ApplyRows(matrix, *t);
        matrix->pos = {matrix->pos.x + moved.x, matrix->pos.y + moved.y, matrix->pos.z + moved.z};
    }
    else
        matrix->pos = {matrix->pos.x + t->x, matrix->pos.y + t->y, matrix->pos.z + t->z};
    matrix->flags &= ~kMatrixIdentity;
    return matrix;
}

Matrix* Matrix::Transform(Matrix* matrix, const Matrix* other, int32_t combine)
{
    if (!IsValidCombine(combine))
        return nullptr;
    if (combine == kCombineReplace)
        *matrix = *other;
    else if (combine == kCombinePreConcat)
    {
        if (IsIdentity(other))
            return matrix;
        if (IsIdentity(matrix))
            *matrix = *other;
        else
            ProductInto(matrix, other, matrix, other->flags & matrix->flags);
    }
    else
    {
        if (IsIdentity(matrix))
            *matrix = *other;
        else if (!IsIdentity(other))
            ProductInto(matrix, matrix, other, matrix->flags & other->flags);
    }
    return matrix;
}

// ---- Classifying and querying ---------------------------------------------------------------------

Matrix* Matrix::Update(Matrix* matrix)
{
    matrix->flags &= ~kMatrixTypeMask;
    return matrix;
}

float Matrix::NormalError(const Matrix* m)
{
    float r = Dot(m->right, m->right) - 1.0f;
    float u = Dot(m->up, m->up) - 1.0f;
    float a = Dot(m->at, m->at) - 1.0f;
    return r * r + u * u + a * a;
}

float Matrix::OrthogonalError(const Matrix* m)
{
    float ar = Dot(m->at, m->right);
    float au = Dot(m->at, m->up);
    float ru = Dot(m->right, m->up);
    return ar * ar + au * au + ru * ru;
}

float Matrix::IdentityError(const Matrix* m)
{
    auto sq = [](float v) { return v * v; };
    return sq(m->right.x - 1.0f) + sq(m->right.y) + sq(m->right.z) + sq(m->up.x) + sq(m->up.y - 1.0f) + sq(m->up.z) +
           sq(m->at.x) + sq(m->at.y) + sq(m->at.z - 1.0f) + Dot(m->pos, m->pos);
}

Matrix* Matrix::Optimize(Matrix* matrix, const MatrixTolerances* tolerances)
{
    const MatrixTolerances& t = tolerances ? *tolerances : sBlock->tolerances;
    bool normal = NormalError(matrix) <= t.normal;
    bool orthogonal = OrthogonalError(matrix) <= t.orthogonal;
    bool identity = normal && orthogonal && IdentityError(matrix) <= t.identity;
    uint32_t flags = matrix->flags & ~kMatrixTypeMask;
    if (normal)
        flags |= kMatrixNormal;
    if (orthogonal)
        flags |= kMatrixOrthogonal;
    if (identity)
        flags |= kMatrixIdentity;
    matrix->flags = flags;
    return matrix;
}

float Matrix::Determinant(const Matrix* m)
{
    return Dot(m->right, Cross(m->up, m->at));
}

const Matrix* Matrix::QueryRotate(const Matrix* m, Vector* unitAxis, float* angleDegrees, Vector* centre)
{
    float t = m->right.x + m->up.y + m->at.z - 1.0f;
    Vector v = {m->up.z - m->at.y, m->at.x - m->right.z, m->right.y - m->up.x};
    float y = Vector::Length(&v);
    *unitAxis = y > 0.0f ? Scaled(v, 1.0f / y) : Vector{0.0f, 0.0f, 0.0f};
    *angleDegrees = std::atan2(y, t) * kRadiansToDegrees;

    // A half turn has no antisymmetric part to read the axis from: take it from the
    // largest diagonal element instead.
    if (y <= 0.01f && t <= 0.0f)
    {
        Vector fromRight = {2.0f * (m->right.x + 1.0f), m->up.x + m->right.y, m->at.x + m->right.z};
        Vector fromUp = {m->up.x + m->right.y, 2.0f * (m->up.y + 1.0f), m->at.y + m->up.z};
        Vector fromAt = {m->at.x + m->right.z, m->at.y + m->up.z, 2.0f * (m->at.z + 1.0f)};
        const Vector* chosen;
        if (m->right.x > m->up.y)
            chosen = m->right.x > m->at.z ? &fromRight : &fromAt;
        else
            chosen = m->up.y > m->at.z ? &fromUp : &fromAt;
        *unitAxis = Unit(*chosen);
    }

    // The fixed point: position through the general inverse of (I - R).
    Matrix fixed = {};
    fixed.right = {1.0f - m->right.x, -m->right.y, -m->right.z};
    fixed.up = {-m->up.x, 1.0f - m->up.y, -m->up.z};
    fixed.at = {-m->at.x, -m->at.y, 1.0f - m->at.z};
    Matrix inverse = {};
    GeneralInverse3x3(&inverse, &fixed);
    *centre = ApplyRows(&inverse, m->pos);
    return m;
}

// ---- Multiply routines ------------------------------------------------------------------------

int32_t Matrix::SetMultiplyFunction(MatrixMultiplyFunction multiply)
{
    if (sBlock == &sNoEngineBlock)
        return 0;
    sBlock->multiply = multiply ? multiply : MultiplyGeneric;
    return 1;
}

MatrixMultiplyFunction Matrix::GetMultiplyFunction()
{
    return sBlock == &sNoEngineBlock ? nullptr : sBlock->multiply;
}

void Matrix::MultiplyGeneric(Matrix* out, const Matrix* a, const Matrix* b)
{
    out->right = ApplyRows(b, a->right);
    out->up = ApplyRows(b, a->up);
    out->at = ApplyRows(b, a->at);
    Vector p = ApplyRows(b, a->pos);
    out->pos = {p.x + b->pos.x, p.y + b->pos.y, p.z + b->pos.z};
}

void Matrix::MultiplyX87(Matrix* out, const Matrix* a, const Matrix* b)
{
    const Vector* in[4] = {&a->right, &a->up, &a->at, &a->pos};
    Vector* result[4] = {&out->right, &out->up, &out->at, &out->pos};
    for (int i = 0; i < 4; ++i)
    {
        Vector row = *in[i];
        Vector v = ApplyRows(b, row);
        if (i == 3)
            v = {v.x + b->pos.x, v.y + b->pos.y, v.z + b->pos.z};
        *result[i] = v;
    }
}

namespace
{

// Rows move as an 8-byte and a 4-byte access: the fourth word (the flags of the right
// row) is neither read nor written, and a row written just before by scalar stores, as
// Matrix::Multiply writes the flags, is read without a stalled store forwarding.
inline __m128 LoadRow(const Vector* row)
{
    __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&row->x));
    __m128 z = _mm_load_ss(&row->z);
    return _mm_movelh_ps(xy, _mm_shuffle_ps(z, z, 0)); // (x, y, z, z)
}

inline void StoreRow(Vector* row, __m128 value)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(&row->x), value);
    _mm_store_ss(&row->z, _mm_movehl_ps(value, value));
}

inline __m128 RowTimes(const Vector* row, __m128 right, __m128 up, __m128 at)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(row->x), right), _mm_mul_ps(_mm_set1_ps(row->y), up)),
                      _mm_mul_ps(_mm_set1_ps(row->z), at));
}

} // namespace

void Matrix::MultiplySse(Matrix* out, const Matrix* a, const Matrix* b)
{
    __m128 right = LoadRow(&b->right), up = LoadRow(&b->up), at = LoadRow(&b->at), pos = LoadRow(&b->pos);
    StoreRow(&out->right, RowTimes(&a->right, right, up, at));
    StoreRow(&out->up, RowTimes(&a->up, right, up, at));
    StoreRow(&out->at, RowTimes(&a->at, right, up, at));
    StoreRow(&out->pos, _mm_add_ps(RowTimes(&a->pos, right, up, at), pos));
}

// ---- The matrix module ---------------------------------------------------------------------------

const int32_t Matrix::kModuleBlockSize = sizeof(MatrixModuleBlock);

void* Matrix::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<MatrixModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->matrices =
        FreeList::CreateInStorage(sizeof(Matrix), kMatricesPerBlock, kMatrixAlignment, 1, &sMatrixList, kModuleHint);
    if (!block->matrices)
        return nullptr;
    block->optimisationMask = kMatrixIdentity;
    block->multiply = MultiplyGeneric;
    block->tolerances = kDefaultTolerances;
    sBlock = block;
    return engine;
}

void* Matrix::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<MatrixModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->matrices);
    block->matrices = nullptr;
    sBlock = &sNoEngineBlock;
    return engine;
}
