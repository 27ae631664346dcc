// The processor side of skinning: the palette builders in both layouts and the blending
// routines (one matrix, one, two and up to four weights per vertex) for each layout. Plain
// C++: the compiler vectorises what it can, and both layouts stay available on every
// processor so that they can be compared.
#include "skinpipeline.h"

#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "hierarchy.h"
#include "matrix.h"
#include "skin.h"

#include <cstring>

namespace
{

constexpr int32_t kPaletteEntries = 256;

struct PaletteKey
{
    const Hierarchy* hierarchy;
    const Skin* skin; ///< its inverse bind matrices are in the palette
    uint32_t counter;
    const Frame* frame;
    int32_t layout; ///< 0 x87, 1 SSE, 2 hardware: a palette of one layout is never taken for another
};

PaletteKey sLastKey = {nullptr, nullptr, 0, nullptr, -1};
int32_t sBuildCount = 0;

// ---- Matrix helpers (the stored flags of inverse bone matrices come from files and are
// not trusted, so products are always computed in full) -----------------------------------

struct Affine
{
    float m[4][3]; // rows right, up, at, position
};

Affine FromMatrix(const Matrix* in)
{
    Affine a;
    const Vector* rows[4] = {&in->right, &in->up, &in->at, &in->pos};
    for (int r = 0; r < 4; ++r)
    {
        a.m[r][0] = rows[r]->x;
        a.m[r][1] = rows[r]->y;
        a.m[r][2] = rows[r]->z;
    }
    return a;
}

Affine Identity()
{
    return Affine{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}};
}

// a x b: a applied first.
Affine Multiply(const Affine& a, const Affine& b)
{
    Affine out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + (r == 3 ? b.m[3][c] : 0.0f);
    return out;
}

Affine InverseWorld(const Atomic* atomic)
{
    Frame* frame = atomic ? atomic->object.frame : nullptr;
    if (!frame)
        return Identity();
    Matrix inverse;
    Matrix::Invert(&inverse, Frame::GetWorldMatrix(frame));
    return FromMatrix(&inverse);
}

const Matrix* NodeMatrix(const Hierarchy* hierarchy, int32_t i)
{
    if (hierarchy->matrices)
        return &hierarchy->matrices[i];
    Frame* frame = hierarchy->nodes[i].frame;
    return frame ? Frame::GetWorldMatrix(frame) : nullptr;
}

// The skinning matrix of node i.
Affine SkinningMatrix(const Skin* skin, const Hierarchy* hierarchy, int32_t i, const Affine& inverseWorld,
                      bool local)
{
    const Affine inverseBone = i < skin->boneCount && skin->inverseMatrices ? FromMatrix(&skin->inverseMatrices[i])
                                                                           : Identity();
    const Matrix* node = NodeMatrix(hierarchy, i);
    Affine m = Multiply(inverseBone, node ? FromMatrix(node) : Identity());
    return local ? m : Multiply(m, inverseWorld);
}

int32_t EntryCount(const Hierarchy* hierarchy)
{
    return hierarchy->nodeCount < kPaletteEntries ? hierarchy->nodeCount : kPaletteEntries;
}

bool KeyHit(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy, int32_t layout)
{
    Engine* engine = Engine::Current();
    const uint32_t counter = engine ? engine->renderFrame : 0;
    // The hardware key holds the counter complemented, as a second guard between the paths.
    const PaletteKey key = {hierarchy, skin, layout == 2 ? ~counter : counter, atomic ? atomic->object.frame : nullptr,
                            layout};
    if (key.hierarchy == sLastKey.hierarchy && key.skin == sLastKey.skin && key.counter == sLastKey.counter &&
        key.frame == sLastKey.frame && key.layout == sLastKey.layout)
        return true;
    sLastKey = key;
    ++sBuildCount;
    return false;
}

// ---- x87 layout: three rows of four reals per bone --------------------------------------

inline const float* Rows(const Matrix* palette, uint32_t bone)
{
    return &palette[bone].right.x;
}

inline void TransformRows(const float* e, const Vector& p, float* out)
{
    out[0] = e[0] * p.x + e[1] * p.y + e[2] * p.z + e[3];
    out[1] = e[4] * p.x + e[5] * p.y + e[6] * p.z + e[7];
    out[2] = e[8] * p.x + e[9] * p.y + e[10] * p.z + e[11];
}

inline void RotateRows(const float* e, const Vector& n, float* out)
{
    out[0] = e[0] * n.x + e[1] * n.y + e[2] * n.z;
    out[1] = e[4] * n.x + e[5] * n.y + e[6] * n.z;
    out[2] = e[8] * n.x + e[9] * n.y + e[10] * n.z;
}

inline float* OutAt(const SkinBlendStreams& s, int32_t v)
{
    return reinterpret_cast<float*>(static_cast<uint8_t*>(s.out) + size_t(v) * s.stride);
}

void BlendOneMatrixX87(const SkinBlendStreams& s, const Matrix* palette, int32_t bone)
{
    const float* e = Rows(palette, uint32_t(bone) & 0xFF);
    for (int32_t v = 0; v < s.count; ++v)
    {
        float* out = OutAt(s, v);
        TransformRows(e, s.positions[v], out);
        if (s.normals)
            RotateRows(e, s.normals[v], out + 3);
    }
}

void BlendOneWeightX87(const SkinBlendStreams& s, const Matrix* palette, int32_t)
{
    for (int32_t v = 0; v < s.count; ++v)
    {
        const float* e = Rows(palette, s.boneIndices[v] & 0xFF);
        float* out = OutAt(s, v);
        TransformRows(e, s.positions[v], out);
        if (s.normals)
            RotateRows(e, s.normals[v], out + 3);
    }
}

// Sums weight k's transform over the slots the rule admits: all of them below `slots`,
// except that slot 2 needs w2 > 0 and slot 3 needs w2 > 0 and w3 > 0.
template <int Slots> void BlendWeightsX87(const SkinBlendStreams& s, const Matrix* palette, int32_t)
{
    for (int32_t v = 0; v < s.count; ++v)
    {
        const float* w = s.weights + 4 * v;
        const uint32_t bones = s.boneIndices[v];
        float* out = OutAt(s, v);
        if (w[0] >= 1.0f)
        {
            const float* e = Rows(palette, bones & 0xFF);
            TransformRows(e, s.positions[v], out);
            if (s.normals)
                RotateRows(e, s.normals[v], out + 3);
            continue;
        }
        int used = 2;
        if (Slots > 2 && w[2] > 0.0f)
            used = w[3] > 0.0f ? 4 : 3;
        float p[3] = {0, 0, 0}, n[3] = {0, 0, 0};
        for (int k = 0; k < used; ++k)
        {
            const float* e = Rows(palette, (bones >> (8 * k)) & 0xFF);
            float t[3];
            TransformRows(e, s.positions[v], t);
            for (int c = 0; c < 3; ++c)
                p[c] += w[k] * t[c];
            if (s.normals)
            {
                RotateRows(e, s.normals[v], t);
                for (int c = 0; c < 3; ++c)
                    n[c] += w[k] * t[c];
            }
        }
        std::memcpy(out, p, 12);
        if (s.normals)
            std::memcpy(out + 3, n, 12);
    }
}

// ---- SSE layout: 4x4 matrices, the weighted matrices blended first -----------------------

inline void TransformMatrix(const float* m, const Vector& p, float* out)
{
    for (int c = 0; c < 3; ++c)
        out[c] = p.x * m[c] + p.y * m[4 + c] + p.z * m[8 + c] + m[12 + c];
}

inline void RotateMatrix(const float* m, const Vector& n, float* out)
{
    for (int c = 0; c < 3; ++c)
        out[c] = n.x * m[c] + n.y * m[4 + c] + n.z * m[8 + c];
}

void BlendOneMatrixSse(const SkinBlendStreams& s, const Matrix* palette, int32_t bone)
{
    const float* m = &palette[uint32_t(bone) & 0xFF].right.x;
    for (int32_t v = 0; v < s.count; ++v)
    {
        float* out = OutAt(s, v);
        TransformMatrix(m, s.positions[v], out);
        if (s.normals)
            RotateMatrix(m, s.normals[v], out + 3);
    }
}

void BlendOneWeightSse(const SkinBlendStreams& s, const Matrix* palette, int32_t)
{
    for (int32_t v = 0; v < s.count; ++v)
    {
        const float* m = &palette[s.boneIndices[v] & 0xFF].right.x;
        float* out = OutAt(s, v);
        TransformMatrix(m, s.positions[v], out);
        if (s.normals)
            RotateMatrix(m, s.normals[v], out + 3);
    }
}

template <int Slots> void BlendWeightsSse(const SkinBlendStreams& s, const Matrix* palette, int32_t)
{
    for (int32_t v = 0; v < s.count; ++v)
    {
        const float* w = s.weights + 4 * v;
        const uint32_t bones = s.boneIndices[v];
        float blended[16];
        const float* m;
        if (w[0] >= 1.0f)
            m = &palette[bones & 0xFF].right.x;
        else
        {
            int used = 2;
            if (Slots > 2 && w[2] > 0.0f)
                used = w[3] > 0.0f ? 4 : 3;
            const float* m0 = &palette[bones & 0xFF].right.x;
            for (int i = 0; i < 16; ++i)
                blended[i] = w[0] * m0[i];
            for (int k = 1; k < used; ++k)
            {
                const float* mk = &palette[(bones >> (8 * k)) & 0xFF].right.x;
                for (int i = 0; i < 16; ++i)
                    blended[i] += w[k] * mk[i];
            }
            m = blended;
        }
        float* out = OutAt(s, v);
        TransformMatrix(m, s.positions[v], out);
        if (s.normals)
            RotateMatrix(m, s.normals[v], out + 3);
    }
}

} // namespace

SkinBlendCase SkinBlend::Choose(const Skin* skin)
{
    if (skin->maxWeights <= 1)
        return skin->usedBoneCount == 1 ? kSkinBlendOneMatrix : kSkinBlendOneWeight;
    return skin->maxWeights == 2 ? kSkinBlendTwoWeights : kSkinBlendFourWeights;
}

SkinBlendRoutine SkinBlend::Get(SkinBlendCase blendCase, int32_t sse)
{
    static const SkinBlendRoutine kX87[] = {BlendOneMatrixX87, BlendOneWeightX87, BlendWeightsX87<2>,
                                            BlendWeightsX87<4>};
    static const SkinBlendRoutine kSse[] = {BlendOneMatrixSse, BlendOneWeightSse, BlendWeightsSse<2>,
                                            BlendWeightsSse<4>};
    const int32_t i = blendCase >= kSkinBlendOneMatrix && blendCase <= kSkinBlendFourWeights ? blendCase : 1;
    return sse ? kSse[i] : kX87[i];
}

void SkinPipeline::StoreTransposed(float* out, const Matrix* a, const Matrix* b)
{
    const Affine m = Multiply(FromMatrix(a), FromMatrix(b));
    for (int j = 0; j < 3; ++j)
    {
        out[4 * j + 0] = m.m[0][j];
        out[4 * j + 1] = m.m[1][j];
        out[4 * j + 2] = m.m[2][j];
        out[4 * j + 3] = m.m[3][j];
    }
}

void SkinPipeline::BuildBoneMatrices(Matrix* out, const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy,
                                     int32_t count)
{
    const bool local = (hierarchy->flags & kHierarchyLocalSpace) != 0;
    const Affine inverseWorld = local ? Identity() : InverseWorld(atomic);
    for (int32_t i = 0; i < count; ++i)
    {
        const Affine m = SkinningMatrix(skin, hierarchy, i, inverseWorld, local);
        float* e = &out[i].right.x;
        for (int r = 0; r < 4; ++r)
        {
            e[4 * r + 0] = m.m[r][0];
            e[4 * r + 1] = m.m[r][1];
            e[4 * r + 2] = m.m[r][2];
            e[4 * r + 3] = 0.0f;
        }
    }
}

Matrix* SkinPipeline::BuildPaletteSSE(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy)
{
    Matrix* palette = SkinPlugin::GetPalette();
    if (!palette || !skin || !hierarchy || KeyHit(atomic, skin, hierarchy, 1))
        return palette;
    BuildBoneMatrices(palette, atomic, skin, hierarchy, EntryCount(hierarchy));
    return palette;
}

Matrix* SkinPipeline::BuildPaletteX87(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy)
{
    Matrix* palette = SkinPlugin::GetPalette();
    if (!palette || !skin || !hierarchy || KeyHit(atomic, skin, hierarchy, 0))
        return palette;
    const bool local = (hierarchy->flags & kHierarchyLocalSpace) != 0;
    const Affine inverseWorld = local ? Identity() : InverseWorld(atomic);
    const int32_t count = EntryCount(hierarchy);
    for (int32_t i = 0; i < count; ++i)
    {
        const Affine m = SkinningMatrix(skin, hierarchy, i, inverseWorld, local);
        float* e = &palette[i].right.x;
        for (int j = 0; j < 3; ++j)
        {
            e[4 * j + 0] = m.m[0][j];
            e[4 * j + 1] = m.m[1][j];
            e[4 * j + 2] = m.m[2][j];
            e[4 * j + 3] = m.m[3][j];
        }
        e[12] = e[13] = e[14] = e[15] = 0.0f;
    }
    return palette;
}

float* SkinPipeline::BuildPaletteHardware(Matrix* palette, const Atomic* atomic, const Skin* skin)
{
    const Hierarchy* hierarchy = atomic ? SkinAtomic::GetSkinHierarchy(atomic) : nullptr;
    float* rows = palette ? &palette->right.x : nullptr;
    if (!rows || !skin || !hierarchy || KeyHit(atomic, skin, hierarchy, 2))
        return rows;
    const bool local = (hierarchy->flags & kHierarchyLocalSpace) != 0;
    const Affine inverseWorld = local ? Identity() : InverseWorld(atomic);
    const int32_t count = EntryCount(hierarchy);
    for (int32_t i = 0; i < count; ++i)
    {
        const Affine m = SkinningMatrix(skin, hierarchy, i, inverseWorld, local);
        float* e = rows + 12 * i;
        for (int j = 0; j < 3; ++j)
        {
            e[4 * j + 0] = m.m[0][j];
            e[4 * j + 1] = m.m[1][j];
            e[4 * j + 2] = m.m[2][j];
            e[4 * j + 3] = m.m[3][j];
        }
    }
    return rows;
}

int32_t SkinPipeline::GetPaletteBuildCount()
{
    return sBuildCount;
}

void SkinPipeline::ResetPaletteKey()
{
    sLastKey = {nullptr, nullptr, 0, nullptr, -1};
}
