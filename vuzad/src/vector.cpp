// Vectors: lengths and normalisation, the transform slots of the vector module, and the
// generic, scalar and SSE transform routines.
#include "vector.h"

#include "engine.h"
#include "error.h"
#include "mathsqrt.h"
#include "matrix.h"
#include "memory.h"

#include <xmmintrin.h>

namespace
{

struct VectorModuleBlock
{
    uint32_t* sqrtTable;
    uint32_t* invSqrtTable;
    TransformFunctions transforms;
};

// The block of the started engine; null outside Engine::Start .. Engine::Stop.
VectorModuleBlock* sBlock = nullptr;

constexpr uint32_t kTableHint = kMemoryHintEngine | Vector::kPluginId;
constexpr size_t kTableBytes = sizeof(uint32_t) * Math::kTableEntries;

// ---- Scalar routines ----------------------------------------------------------------
// The input is read whole before anything is written, so out may be in.

inline void PointScalar(Vector* out, const Vector* in, const Matrix* m)
{
    float x = in->x, y = in->y, z = in->z;
    out->x = x * m->right.x + y * m->up.x + z * m->at.x + m->pos.x;
    out->y = x * m->right.y + y * m->up.y + z * m->at.y + m->pos.y;
    out->z = x * m->right.z + y * m->up.z + z * m->at.z + m->pos.z;
}

inline void VectorScalar(Vector* out, const Vector* in, const Matrix* m)
{
    float x = in->x, y = in->y, z = in->z;
    out->x = x * m->right.x + y * m->up.x + z * m->at.x;
    out->y = x * m->right.y + y * m->up.y + z * m->at.y;
    out->z = x * m->right.z + y * m->up.z + z * m->at.z;
}

// ---- SSE routines ---------------------------------------------------------------------

struct Rows
{
    __m128 right, up, at, pos;
};

// The fourth word of each row (the right row's is the flags) is replaced by the third so
// that no integer pattern enters the arithmetic.
inline __m128 RowLanes(__m128 row)
{
    return _mm_shuffle_ps(row, row, _MM_SHUFFLE(2, 2, 1, 0));
}

inline Rows LoadRows(const Matrix* m)
{
    const float* f = &m->right.x;
    if ((reinterpret_cast<uintptr_t>(m) & 15) == 0)
        return {RowLanes(_mm_load_ps(f)), RowLanes(_mm_load_ps(f + 4)), RowLanes(_mm_load_ps(f + 8)),
                RowLanes(_mm_load_ps(f + 12))};
    return {RowLanes(_mm_loadu_ps(f)), RowLanes(_mm_loadu_ps(f + 4)), RowLanes(_mm_loadu_ps(f + 8)),
            RowLanes(_mm_loadu_ps(f + 12))};
}

// The sums are added in the generic routines' order, so every routine gives the same
// bits: which one the processor gets never changes a result.
inline __m128 VectorLanes(const Rows& rows, const Vector* in)
{
    __m128 x = _mm_set1_ps(in->x), y = _mm_set1_ps(in->y), z = _mm_set1_ps(in->z);
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, rows.right), _mm_mul_ps(y, rows.up)), _mm_mul_ps(z, rows.at));
}

inline __m128 PointLanes(const Rows& rows, const Vector* in)
{
    return _mm_add_ps(VectorLanes(rows, in), rows.pos);
}

// SSE: x and y in one 8-byte store, z in one 4-byte store.
inline void StorePaired(Vector* out, __m128 v)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(&out->x), v);
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

// SSE2: one 4-byte store per component.
inline void StoreSingles(Vector* out, __m128 v)
{
    _mm_store_ss(&out->x, v);
    _mm_store_ss(&out->y, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

template <__m128 (*Lanes)(const Rows&, const Vector*), void (*Store)(Vector*, __m128)>
Vector* TransformOne(Vector* out, const Vector* in, const Matrix* matrix)
{
    Store(out, Lanes(LoadRows(matrix), in));
    return out;
}

template <__m128 (*Lanes)(const Rows&, const Vector*), void (*Store)(Vector*, __m128)>
Vector* TransformMany(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    Rows rows = LoadRows(matrix);
    for (int32_t i = 0; i < count; ++i)
        Store(out + i, Lanes(rows, in + i));
    return out;
}

} // namespace

// ---- Lengths -------------------------------------------------------------------------

float Vector::Length(const Vector* v)
{
    float s = v->x * v->x + v->y * v->y + v->z * v->z;
    return Math::Sqrt(s);
}

float Vector::Normalize(Vector* out, const Vector* in)
{
    float s = in->x * in->x + in->y * in->y + in->z * in->z;
    float length = Math::Sqrt(s);
    float inverse = Math::InvSqrt(s);
    out->x = in->x * inverse;
    out->y = in->y * inverse;
    out->z = in->z * inverse;
    if (length <= 0.0f)
        Error::Report(kCorePluginId, Error::MakeCode(kCoreErrZeroLength));
    return length;
}

float Vector::NormalizeUnchecked(Vector* out, const Vector* in)
{
    float s = in->x * in->x + in->y * in->y + in->z * in->z;
    float inverse = Math::InvSqrt(s);
    out->x = in->x * inverse;
    out->y = in->y * inverse;
    out->z = in->z * inverse;
    return inverse;
}

float Vector2::Normalize(Vector2* out, const Vector2* in)
{
    float s = in->x * in->x + in->y * in->y;
    float length = Math::Sqrt(s);
    float inverse = Math::InvSqrt(s);
    out->x = in->x * inverse;
    out->y = in->y * inverse;
    if (length <= 0.0f)
        Error::Report(kCorePluginId, Error::MakeCode(kCoreErrZeroLength));
    return length;
}

// ---- Transforms through the slots -------------------------------------------------------

Vector* Vector::TransformPoint(Vector* out, const Vector* in, const Matrix* matrix)
{
    sBlock->transforms.point(out, in, matrix);
    return out;
}

Vector* Vector::TransformPoints(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    sBlock->transforms.points(out, in, count, matrix);
    return out;
}

Vector* Vector::TransformVector(Vector* out, const Vector* in, const Matrix* matrix)
{
    sBlock->transforms.vector(out, in, matrix);
    return out;
}

int32_t Vector::SetTransformFunctions(TransformPointFunction point, TransformPointsFunction points,
                                      TransformPointFunction vector, TransformPointsFunction vectors)
{
    if (!sBlock)
        return 0;
    TransformFunctions generic = GenericSet();
    sBlock->transforms = {point ? point : generic.point, points ? points : generic.points,
                          vector ? vector : generic.vector, vectors ? vectors : generic.vectors};
    return 1;
}

TransformFunctions Vector::GetTransformFunctions()
{
    return sBlock ? sBlock->transforms : TransformFunctions{};
}

// ---- Generic and scalar routines --------------------------------------------------------

Vector* Vector::TransformPointGeneric(Vector* out, const Vector* in, const Matrix* matrix)
{
    PointScalar(out, in, matrix);
    return out;
}

Vector* Vector::TransformPointsGeneric(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    for (int32_t i = 0; i < count; ++i)
        PointScalar(out + i, in + i, matrix);
    return out;
}

Vector* Vector::TransformVectorGeneric(Vector* out, const Vector* in, const Matrix* matrix)
{
    VectorScalar(out, in, matrix);
    return out;
}

Vector* Vector::TransformVectorsGeneric(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    for (int32_t i = 0; i < count; ++i)
        VectorScalar(out + i, in + i, matrix);
    return out;
}

Vector* Vector::TransformPointX87(Vector* out, const Vector* in, const Matrix* matrix)
{
    return TransformPointGeneric(out, in, matrix);
}

Vector* Vector::TransformPointsX87(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    return TransformPointsGeneric(out, in, count, matrix);
}

Vector* Vector::TransformVectorX87(Vector* out, const Vector* in, const Matrix* matrix)
{
    return TransformVectorGeneric(out, in, matrix);
}

Vector* Vector::TransformVectorsX87(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    return TransformVectorsGeneric(out, in, count, matrix);
}

// ---- SSE routines ------------------------------------------------------------------------

Vector* Vector::TransformPointSse(Vector* out, const Vector* in, const Matrix* matrix)
{
    return TransformOne<PointLanes, StorePaired>(out, in, matrix);
}

Vector* Vector::TransformPointsSse(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    return TransformMany<PointLanes, StorePaired>(out, in, count, matrix);
}

Vector* Vector::TransformVectorSse(Vector* out, const Vector* in, const Matrix* matrix)
{
    return TransformOne<VectorLanes, StorePaired>(out, in, matrix);
}

Vector* Vector::TransformVectorsSse(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    return TransformMany<VectorLanes, StorePaired>(out, in, count, matrix);
}

Vector* Vector::TransformPointSse2(Vector* out, const Vector* in, const Matrix* matrix)
{
    return TransformOne<PointLanes, StoreSingles>(out, in, matrix);
}

Vector* Vector::TransformPointsSse2(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    return TransformMany<PointLanes, StoreSingles>(out, in, count, matrix);
}

Vector* Vector::TransformVectorSse2(Vector* out, const Vector* in, const Matrix* matrix)
{
    return TransformOne<VectorLanes, StoreSingles>(out, in, matrix);
}

Vector* Vector::TransformVectorsSse2(Vector* out, const Vector* in, int32_t count, const Matrix* matrix)
{
    return TransformMany<VectorLanes, StoreSingles>(out, in, count, matrix);
}

TransformFunctions Vector::GenericSet()
{
    return {TransformPointGeneric, TransformPointsGeneric, TransformVectorGeneric, TransformVectorsGeneric};
}

TransformFunctions Vector::X87Set()
{
    return {TransformPointX87, TransformPointsX87, TransformVectorX87, TransformVectorsX87};
}

TransformFunctions Vector::SseSet()
{
    return {TransformPointSse, TransformPointsSse, TransformVectorSse, TransformVectorsSse};
}

TransformFunctions Vector::Sse2Set()
{
    return {TransformPointSse2, TransformPointsSse2, TransformVectorSse2, TransformVectorsSse2};
}

// ---- The vector module --------------------------------------------------------------------

const int32_t Vector::kModuleBlockSize = sizeof(VectorModuleBlock);

void* Vector::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<VectorModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->transforms = GenericSet();
    block->sqrtTable = static_cast<uint32_t*>(Memory::Allocate(kTableBytes, kTableHint));
    if (!block->sqrtTable)
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrNoMemory, kTableBytes));
        return nullptr;
    }
    block->invSqrtTable = static_cast<uint32_t*>(Memory::Allocate(kTableBytes, kTableHint));
    if (!block->invSqrtTable)
    {
        Memory::Free(block->sqrtTable);
        block->sqrtTable = nullptr;
        Error::Report(kCorePluginId, Error::MakeCode(kErrNoMemory, kTableBytes));
        return nullptr;
    }
    Math::BuildSqrtTables(block->sqrtTable, block->invSqrtTable);
    Math::SetTables(block->sqrtTable, block->invSqrtTable);
    sBlock = block;
    return engine;
}

void* Vector::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<VectorModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    Math::SetTables(nullptr, nullptr);
    Memory::Free(block->invSqrtTable);
    Memory::Free(block->sqrtTable);
    block->invSqrtTable = nullptr;
    block->sqrtTable = nullptr;
    sBlock = nullptr;
    return engine;
}
