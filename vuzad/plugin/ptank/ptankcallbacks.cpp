// The particle tank's generic instancing callbacks: four vertices per particle, each loop
// walking source and destination by their strides so both layouts share the callbacks.
// The choices of size, rotation and centre are template arguments, so the per-frame loops
// test no flags.
#include "ptank.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace
{
inline char* At(const PTankSlot& slot, int32_t i)
{
    return static_cast<char*>(slot.data) + std::ptrdiff_t(i) * slot.stride;
}

inline void Put(char* out, float x, float y, float z)
{
    const float v[3] = {x, y, z};
    std::memcpy(out, v, sizeof(v));
}

inline Vector Read3(const char* p)
{
    Vector v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

template <bool kSize, bool kRotated, bool kCentre>
void Quads(const PTankSlot* out, const Vector* axisA, const Vector* axisB, int32_t count, const PTankData* d)
{
    const PTankSlot& pos = d->slots[kPTankSlotPosition];
    const PTankSlot& size = d->slots[kPTankSlotSize];
    const PTankSlot& rot = d->slots[kPTankSlotRotation];
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    const Vector A = *axisA, B = *axisB;
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(stride))
    {
        const Vector p = Read3(At(pos, i));
        float w = d->size.x, h = d->size.y;
        if constexpr (kSize)
        {
            float wh[2];
            std::memcpy(wh, At(size, i), sizeof(wh));
            w = wh[0];
            h = wh[1];
        }
        Vector a2 = A, b2 = B;
        if constexpr (kRotated)
        {
            float t;
            std::memcpy(&t, At(rot, i), sizeof(t));
            const float c = std::cos(t), s = std::sin(t);
            a2 = {c * A.x - s * B.x, c * A.y - s * B.y, c * A.z - s * B.z};
            b2 = {s * A.x + c * B.x, s * A.y + c * B.y, s * A.z + c * B.z};
        }
        const Vector a = {0.5f * w * a2.x, 0.5f * w * a2.y, 0.5f * w * a2.z};
        const Vector b = {0.5f * h * b2.x, 0.5f * h * b2.y, 0.5f * h * b2.z};
        Vector c = p;
        if constexpr (kCentre)
        {
            const float cx = d->centre.x, cy = d->centre.y;
            c = {p.x + cx * a2.x + cy * b2.x, p.y + cx * a2.y + cy * b2.y, p.z + cx * a2.z + cy * b2.z};
        }
        Put(v, c.x - a.x - b.x, c.y - a.y - b.y, c.z - a.z - b.z);
        Put(v + stride, c.x + a.x - b.x, c.y + a.y - b.y, c.z + a.z - b.z);
        Put(v + 2 * stride, c.x + a.x + b.x, c.y + a.y + b.y, c.z + a.z + b.z);
        Put(v + 3 * stride, c.x - a.x + b.x, c.y - a.y + b.y, c.z - a.z + b.z);
    }
}

template <bool kCentre>
void MatrixQuads(const PTankSlot* out, const Vector*, const Vector*, int32_t count, const PTankData* d)
{
    const PTankSlot& mat = d->slots[kPTankSlotMatrix];
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(stride))
    {
        Matrix m;
        std::memcpy(&m, At(mat, i), sizeof(m));
        const Vector r = {0.5f * m.right.x, 0.5f * m.right.y, 0.5f * m.right.z};
        const Vector u = {0.5f * m.up.x, 0.5f * m.up.y, 0.5f * m.up.z};
        Vector t = m.pos;
        if constexpr (kCentre)
        {
            const float cx = d->centre.x, cy = d->centre.y;
            t = {t.x + cx * m.right.x + cy * m.up.x, t.y + cx * m.right.y + cy * m.up.y,
                 t.z + cx * m.right.z + cy * m.up.z};
        }
        Put(v, t.x + r.x - u.x, t.y + r.y - u.y, t.z + r.z - u.z);
        Put(v + stride, t.x - r.x - u.x, t.y - r.y - u.y, t.z - r.z - u.z);
        Put(v + 2 * stride, t.x - r.x + u.x, t.y - r.y + u.y, t.z - r.z + u.z);
        Put(v + 3 * stride, t.x + r.x + u.x, t.y + r.y + u.y, t.z + r.z + u.z);
    }
}

inline void PutUv(char* out, float u, float v)
{
    const float uv[2] = {u, v};
    std::memcpy(out, uv, sizeof(uv));
}

// (U0, V0, U1, V1) to the four corners.
inline void TwoPairs(char* v, int32_t stride, const float* p)
{
    PutUv(v, p[0], p[3]);
    PutUv(v + stride, p[2], p[3]);
    PutUv(v + 2 * stride, p[2], p[1]);
    PutUv(v + 3 * stride, p[0], p[1]);
}

inline void FourPairs(char* v, int32_t stride, const float* p)
{
    for (int32_t k = 0; k < 4; ++k)
        PutUv(v + k * stride, p[2 * k], p[2 * k + 1]);
}

inline void PutWord(char* out, uint32_t word)
{
    std::memcpy(out, &word, sizeof(word));
}

inline Rgba ReadRgba(const char* p)
{
    Rgba c;
    std::memcpy(&c, p, sizeof(c));
    return c;
}
} // namespace

void PTankCallback::QuadConstant(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n, const PTankData* d)
{
    Quads<false, false, false>(o, a, b, n, d);
}
void PTankCallback::QuadConstantCentre(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n,
                                       const PTankData* d)
{
    Quads<false, false, true>(o, a, b, n, d);
}
void PTankCallback::QuadSize(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n, const PTankData* d)
{
    Quads<true, false, false>(o, a, b, n, d);
}
void PTankCallback::QuadSizeCentre(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n, const PTankData* d)
{
    Quads<true, false, true>(o, a, b, n, d);
}
void PTankCallback::QuadRotated(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n, const PTankData* d)
{
    Quads<false, true, false>(o, a, b, n, d);
}
void PTankCallback::QuadRotatedCentre(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n,
                                      const PTankData* d)
{
    Quads<false, true, true>(o, a, b, n, d);
}
void PTankCallback::QuadRotatedSize(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n, const PTankData* d)
{
    Quads<true, true, false>(o, a, b, n, d);
}
void PTankCallback::QuadRotatedSizeCentre(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n,
                                          const PTankData* d)
{
    Quads<true, true, true>(o, a, b, n, d);
}
void PTankCallback::QuadMatrix(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n, const PTankData* d)
{
    MatrixQuads<false>(o, a, b, n, d);
}
void PTankCallback::QuadMatrixCentre(const PTankSlot* o, const Vector* a, const Vector* b, int32_t n,
                                     const PTankData* d)
{
    MatrixQuads<true>(o, a, b, n, d);
}

void PTankCallback::TexCoords2(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotTexCoords2];
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(out->stride))
    {
        float p[4];
        std::memcpy(p, At(src, i), sizeof(p));
        TwoPairs(v, out->stride, p);
    }
}

void PTankCallback::TexCoords4(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotTexCoords4];
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(out->stride))
    {
        float p[8];
        std::memcpy(p, At(src, i), sizeof(p));
        FourPairs(v, out->stride, p);
    }
}

void PTankCallback::ConstantTexCoords2(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const float p[4] = {d->texCoords[0].x, d->texCoords[0].y, d->texCoords[1].x, d->texCoords[1].y};
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(out->stride))
        TwoPairs(v, out->stride, p);
}

void PTankCallback::ConstantTexCoords4(const PTankSlot* out, int32_t count, const PTankData* d)
{
    float p[8];
    for (int32_t k = 0; k < 4; ++k)
    {
        p[2 * k] = d->texCoords[k].x;
        p[2 * k + 1] = d->texCoords[k].y;
    }
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(out->stride))
        FourPairs(v, out->stride, p);
}

void PTankCallback::Colour(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotColour];
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(stride))
    {
        const uint32_t word = Argb(ReadRgba(At(src, i)));
        for (int32_t k = 0; k < 4; ++k)
            PutWord(v + k * stride, word);
    }
}

void PTankCallback::VertexColours(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotVertexColours];
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(stride))
    {
        const char* c = At(src, i);
        for (int32_t k = 0; k < 4; ++k)
            PutWord(v + k * stride, Argb(ReadRgba(c + 4 * k)));
    }
}

void PTankCallback::ConstantVertexColours(const PTankSlot* out, int32_t count, const PTankData* d)
{
    uint32_t words[4];
    for (int32_t k = 0; k < 4; ++k)
        words[k] = Argb(d->vertexColours[k]);
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(stride))
        for (int32_t k = 0; k < 4; ++k)
            PutWord(v + k * stride, words[k]);
}

void PTankCallback::ConstantColour(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const uint32_t word = Argb(d->colour);
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < 4 * count; ++i, v += stride)
        PutWord(v, word);
}

void PTankCallback::Normal(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotNormal];
    const int32_t stride = out->stride;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += 4 * std::ptrdiff_t(stride))
    {
        const char* n = At(src, i);
        for (int32_t k = 0; k < 4; ++k)
            std::memcpy(v + k * stride, n, 12);
    }
}
