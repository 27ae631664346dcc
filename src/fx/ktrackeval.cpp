// Track evaluation, billboards and reference-point placement.
#include "ktrackeval.h"

#include "kparser.h"
#include "ktrack.h"
#include "matrix.h"
#include "quat.h"

#include <cmath>
#include <cstring>

namespace
{
float gScalar[1];
float gVec2[2];
float gVec3[3];
Quat gOrientation;

const float* Linear(float t, const float* keys, int32_t count, int32_t components, float* out)
{
    const float* k = KFindKey(t, keys, count, 1 + 2 * components);
    if (!k)
        return nullptr;
    const float dt = t - k[0];
    for (int32_t i = 0; i < components; ++i)
        out[i] = k[1 + i] + dt * k[1 + components + i];
    return out;
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector Unit(const Vector& v)
{
    Vector out;
    Vector::NormalizeUnchecked(&out, &v);
    return out;
}

Vector Negated(const Vector& v)
{
    return {-v.x, -v.y, -v.z};
}

Vector Turned(const float* v, const Matrix& m)
{
    return {v[0] * m.right.x + v[1] * m.up.x + v[2] * m.at.x, v[0] * m.right.y + v[1] * m.up.y + v[2] * m.at.y,
            v[0] * m.right.z + v[1] * m.up.z + v[2] * m.at.z};
}
} // namespace

// ---- Keyframes ---------------------------------------------------------------------------------

const float* KFindKey(float t, const float* keys, int32_t count, int32_t keyFloats)
{
    const float* found = nullptr;
    for (int32_t i = 0; i < count && !(t < keys[0]); ++i, keys += keyFloats)
        found = keys;
    return found;
}

const float* KTrackEvalScalar(float t, const float* keys, int32_t count)
{
    return Linear(t, keys, count, 1, gScalar);
}

const float* KTrackEvalVec2(float t, const float* keys, int32_t count)
{
    return Linear(t, keys, count, 2, gVec2);
}

const float* KTrackEvalVec3(float t, const float* keys, int32_t count)
{
    return Linear(t, keys, count, 3, gVec3);
}

float KPolySin(float x)
{
    const float x2 = x * x;
    return x * (1.0f +
                x2 * (-1.0f / 6.0f +
                      x2 * (1.0f / 120.0f + x2 * (-1.0f / 5040.0f +
                                                  x2 * (2.7557314e-6f + x2 * (-2.505076e-8f + x2 * 1.589691e-10f))))));
}

const Quat* KTrackEvalOrientation(float t, const float* keys, int32_t count)
{
    constexpr int32_t kStride = 5;
    const float* a = KFindKey(t, keys, count, kStride);
    if (!a)
        return nullptr;
    const float* q = a + 1;
    const int32_t index = int32_t((a - keys) / kStride);
    if (index == count - 1)
    {
        gOrientation = {q[0], q[1], q[2], q[3]};
        return &gOrientation;
    }
    const float* b = a + kStride;
    const float span = b[0] - a[0];
    const float f = span != 0.0f ? (t - a[0]) / span : 1.0f;
    if (f <= 0.0f)
    {
        gOrientation = {q[0], q[1], q[2], q[3]};
        return &gOrientation;
    }
    if (f >= 1.0f)
    {
        gOrientation = {b[1], b[2], b[3], b[4]};
        return &gOrientation;
    }
    const Quat qa = {q[0], q[1], q[2], q[3]};
    const Quat qb = {b[1], b[2], b[3], b[4]};
    QuatSlerpCache cache;
    QuatSlerpCache::Setup(&qa, &qb, &cache);
    float wa, wb;
    if (cache.nearlyEqual)
    {
        wa = 1.0f - f;
        wb = f;
    }
    else
    {
        wa = KPolySin((1.0f - f) * cache.omega);
        wb = KPolySin(f * cache.omega);
    }
    gOrientation = {wa * cache.first.x + wb * cache.second.x, wa * cache.first.y + wb * cache.second.y,
                    wa * cache.first.z + wb * cache.second.z, wa * cache.first.w + wb * cache.second.w};
    return &gOrientation;
}

// ---- Billboards --------------------------------------------------------------------------------

void KBillboardCamera(Matrix* out, const Matrix* camera, const Vector* up, const Vector* right)
{
    if (!up && !right)
    {
        out->right = camera->right;
        out->up = camera->up;
        out->at = Negated(camera->at);
    }
    else if (!up)
    {
        out->right = Negated(*right);
        out->up = Unit(Cross(camera->at, *right));
        out->at = Unit(Cross(out->up, out->right));
    }
    else if (!right)
    {
        out->up = *up;
        out->right = Unit(Cross(camera->at, *up));
        out->at = Unit(Cross(*up, out->right));
    }
    else
    {
        out->up = *up;
        out->right = *right;
        out->at = Cross(*right, *up);
    }
    Matrix::Update(out);
}

void KBillboardViewpoint(Matrix* out, const Matrix* camera, const Vector* position, const Vector* up,
                         const Vector* right)
{
    const Vector d = {camera->pos.x - position->x, camera->pos.y - position->y, camera->pos.z - position->z};
    if (!up && !right)
    {
        out->at = Unit(Negated(d));
        out->right = Unit(Cross(camera->up, out->at));
        out->up = Cross(out->at, out->right);
    }
    else if (!up)
    {
        out->right = *right;
        out->up = Unit(Cross(*right, d));
    }
    else if (!right)
    {
        out->up = *up;
        out->right = Unit(Cross(d, *up));
    }
    else
        return;
    Matrix::Update(out);
}

// ---- Reference points --------------------------------------------------------------------------

float KRandomDraw(uint32_t* state)
{
    *state = *state * 196314165u + 907633515u;
    return float(double(*state) * (1.0 / 4294967296.0) * 2.0 - 1.0);
}

void KRpEmit(int32_t mode, const float* axis, float angle, const float* biasAxis, float biasAngle, uint32_t* seed,
             KRpParticle* particle)
{
    if (mode == kRpSelfOriented)
    {
        float drawn[3];
        for (int32_t i = 0; i < 3; ++i)
            drawn[i] = axis[i] + KRandomDraw(seed) * biasAxis[i];
        const float spin = angle + KRandomDraw(seed) * biasAngle;
        Matrix m{};
        KDirectionToMatrixY(&m, drawn, spin);
        std::memcpy(particle->matrix, &m, sizeof(m));
    }
    else if (mode == kRpSpeedOriented)
    {
        for (int32_t i = 0; i < 3; ++i)
            particle->axis[i] = biasAxis[i] * KRandomDraw(seed);
        particle->angle = angle + KRandomDraw(seed) * biasAngle;
    }
}

void KRpUpdate(int32_t mode, KRpParticle* particle, float* referencePoint, const float* velocity, float dt,
               const float* offset, float* position)
{
    for (int32_t i = 0; i < 3; ++i)
        referencePoint[i] += dt * velocity[i];
    Vector turned = {offset[0], offset[1], offset[2]};
    if (mode == kRpSelfOriented)
    {
        Matrix m;
        std::memcpy(&m, particle->matrix, sizeof(m));
        turned = Turned(offset, m);
    }
    else if (mode == kRpSpeedOriented)
    {
        Vector v = {velocity[0], velocity[1], velocity[2]};
        v = Unit(v);
        const float direction[3] = {v.x + particle->axis[0], v.y + particle->axis[1], v.z + particle->axis[2]};
        Matrix m{};
        KDirectionToMatrixY(&m, direction, particle->angle);
        turned = Turned(offset, m);
    }
    position[0] = referencePoint[0] + turned.x;
    position[1] = referencePoint[1] + turned.y;
    position[2] = referencePoint[2] + turned.z;
}
