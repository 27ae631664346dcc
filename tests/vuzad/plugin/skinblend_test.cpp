// The processor skinning: the palette builders of both layouts against a double-precision
// reference, the four blend routines and their rules, and the palette cache.
#include "pluginfixture.h"

#include "animation.h"
#include "clump.h"
#include "cpufeature.h"
#include "engine.h"
#include "frame.h"
#include "hierarchy.h"
#include "matrix.h"
#include "skin.h"
#include "skinpipeline.h"
#include "world.h"

#include <array>
#include <cmath>

namespace
{

constexpr int32_t kBones = 4;
constexpr int32_t kVertices = 6;

using Mat = std::array<double, 12>;

Mat ToMat(const Matrix& m)
{
    return {m.right.x, m.right.y, m.right.z, m.up.x, m.up.y, m.up.z, m.at.x, m.at.y, m.at.z, m.pos.x, m.pos.y, m.pos.z};
}

Mat Mul(const Mat& a, const Mat& b)
{
    Mat r{};
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c)
        {
            double v = row == 3 ? b[9 + c] : 0.0;
            for (int k = 0; k < 3; ++k)
                v += a[row * 3 + k] * b[k * 3 + c];
            r[row * 3 + c] = v;
        }
    return r;
}

void SetMatrix(Matrix* m, const Mat& v)
{
    *m = {};
    m->right = {float(v[0]), float(v[1]), float(v[2])};
    m->up = {float(v[3]), float(v[4]), float(v[5])};
    m->at = {float(v[6]), float(v[7]), float(v[8])};
    m->pos = {float(v[9]), float(v[10]), float(v[11])};
}

class SkinBlendTest : public PluginFixture
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SetUpWith(Skin::Attach));
        mHierarchy = Hierarchy::Create(kBones, nullptr, nullptr, 0, 36);
        ASSERT_NE(mHierarchy, nullptr);
        // Non-uniform scales and shears: normals come out of unit length, and must stay so.
        for (int32_t i = 0; i < kBones; ++i)
        {
            const double s = 1.0 + 0.25 * i;
            SetMatrix(&mHierarchy->matrices[i], {s, 0.1 * i, 0, -0.2, 0.8, 0.05 * i, 0, 0.3, 1.5 - 0.1 * i, 1.0 * i,
                                                 -0.5 * i, 2.0});
        }
        mSkin = Skin::Create();
        ASSERT_NE(mSkin, nullptr);
        ASSERT_EQ(Skin::AllocateData(mSkin, kBones, kBones, kVertices, nullptr, nullptr, nullptr, nullptr), 1);
        for (int32_t b = 0; b < kBones; ++b)
        {
            SetMatrix(&mSkin->inverseMatrices[b], {1, 0, 0, 0, 1, 0, 0, 0, 1, -0.5 * b, 0.25, -0.1 * b});
            mSkin->usedBones[b] = uint8_t(b);
        }
        for (int32_t v = 0; v < kVertices; ++v)
        {
            mPositions[v] = {0.5f * v, 1.0f - 0.3f * v, 0.2f * v * v};
            mNormals[v] = {0.0f, 0.6f, 0.8f};
        }
        ResetAll();
    }
    void TearDown() override
    {
        Skin::Destroy(mSkin);
        Hierarchy::Destroy(mHierarchy);
        PluginFixture::TearDown();
    }

    void ResetAll()
    {
        SkinPipeline::ResetPaletteKey();
    }

    void SetVertex(int32_t v, std::array<uint8_t, 4> bones, std::array<float, 4> weights)
    {
        mSkin->vertexBoneIndices[v] = uint32_t(bones[0]) | uint32_t(bones[1]) << 8 | uint32_t(bones[2]) << 16 |
                                      uint32_t(bones[3]) << 24;
        for (int k = 0; k < 4; ++k)
            mSkin->vertexWeights[4 * v + k] = weights[k];
    }

    /// The blend of one layout: 6 reals (position, normal) per vertex.
    std::array<float, 6 * kVertices> Blend(SkinBlendCase blendCase, int32_t sse, int32_t bone = 0)
    {
        SkinPipeline::ResetPaletteKey();
        const Matrix* palette = sse ? SkinPipeline::BuildPaletteSSE(nullptr, mSkin, mHierarchy)
                                    : SkinPipeline::BuildPaletteX87(nullptr, mSkin, mHierarchy);
        std::array<float, 6 * kVertices> out{};
        const SkinBlendStreams streams = {mPositions, mNormals, mSkin->vertexBoneIndices, mSkin->vertexWeights,
                                          kVertices, out.data(), 24};
        SkinBlend::Get(blendCase, sse)(streams, palette, bone);
        return out;
    }

    /// The rule in doubles: slots 0 and 1 (only 0 when w0 >= 1), slot 2 when w2 > 0 and
    /// slot 3 when w2 and w3 > 0 for the routine of up to four.
    std::array<double, 6> Reference(int32_t v, int slots, int32_t forcedBone = -1)
    {
        const float* w = mSkin->vertexWeights + 4 * v;
        int used = slots;
        if (forcedBone >= 0 || w[0] >= 1.0f || slots == 1)
            used = 1;
        else if (slots == 4)
            used = w[2] > 0 ? (w[3] > 0 ? 4 : 3) : 2;
        std::array<double, 6> r{};
        for (int k = 0; k < used; ++k)
        {
            const int32_t bone = forcedBone >= 0 ? forcedBone : int32_t((mSkin->vertexBoneIndices[v] >> (8 * k)) & 0xFF);
            const Mat m = Mul(ToMat(mSkin->inverseMatrices[bone]), ToMat(mHierarchy->matrices[bone]));
            const double weight = used == 1 ? 1.0 : w[k];
            const Vector& p = mPositions[v];
            const Vector& n = mNormals[v];
            for (int c = 0; c < 3; ++c)
            {
                r[c] += weight * (p.x * m[c] + p.y * m[3 + c] + p.z * m[6 + c] + m[9 + c]);
                r[3 + c] += weight * (n.x * m[c] + n.y * m[3 + c] + n.z * m[6 + c]);
            }
        }
        return r;
    }

    Hierarchy* mHierarchy = nullptr;
    Skin* mSkin = nullptr;
    Vector mPositions[kVertices];
    Vector mNormals[kVertices];
};

} // namespace

TEST_F(SkinBlendTest, EveryRoutineFollowsTheBlendRuleInBothLayouts)
{
    SetVertex(0, {1, 2, 0, 0}, {1.0f, 0.7f, 0.6f, 0.5f}); // w0 >= 1: the rest ignored
    SetVertex(1, {3, 1, 0, 0}, {0.6f, 0.4f, 0, 0});
    SetVertex(2, {0, 2, 3, 1}, {0.4f, 0.3f, 0.2f, 0.1f});
    SetVertex(3, {2, 1, 3, 0}, {0.5f, 0.3f, 0.2f, 0});
    SetVertex(4, {1, 0, 2, 3}, {0.7f, 0.3f, 0.0f, 0.4f}); // w2 = 0: w3 not looked at
    SetVertex(5, {3, 2, 1, 0}, {1.5f, 0.5f, 0.9f, 0});
    struct Case
    {
        SkinBlendCase blendCase;
        int slots;
        int32_t bone;
    };
    const Case cases[] = {{kSkinBlendOneMatrix, 1, 2},
                          {kSkinBlendOneWeight, 1, -1},
                          {kSkinBlendTwoWeights, 2, -1},
                          {kSkinBlendFourWeights, 4, -1}};
    for (const Case& c : cases)
    {
        const auto x87 = Blend(c.blendCase, 0, c.bone < 0 ? 0 : c.bone);
        const auto sse = Blend(c.blendCase, 1, c.bone < 0 ? 0 : c.bone);
        for (int32_t v = 0; v < kVertices; ++v)
        {
            const auto r = Reference(v, c.slots, c.bone);
            for (int i = 0; i < 6; ++i)
            {
                EXPECT_NEAR(x87[6 * v + i], r[i], 1e-4) << "case " << c.blendCase << " vertex " << v << " " << i;
                EXPECT_NEAR(sse[6 * v + i], x87[6 * v + i], 1e-5) << "case " << c.blendCase << " vertex " << v;
            }
        }
    }
    // Not renormalised: the scaled bones give normals away from unit length.
    const auto out = Blend(kSkinBlendTwoWeights, 1);
    const double length = std::sqrt(out[9] * out[9] + out[10] * out[10] + out[11] * out[11]);
    EXPECT_GT(std::fabs(length - 1.0), 0.05);
}

TEST_F(SkinBlendTest, RoutineChoiceFollowsMaximumWeightsAndUsedBones)
{
    struct Case
    {
        int32_t maxWeights, usedBones;
        SkinBlendCase expected;
    };
    const Case cases[] = {{1, 1, kSkinBlendOneMatrix},
                          {1, 3, kSkinBlendOneWeight},
                          {2, 1, kSkinBlendTwoWeights},
                          {3, 4, kSkinBlendFourWeights},
                          {4, 4, kSkinBlendFourWeights}};
    for (const Case& c : cases)
    {
        mSkin->maxWeights = c.maxWeights;
        mSkin->usedBoneCount = c.usedBones;
        EXPECT_EQ(SkinBlend::Choose(mSkin), c.expected);
    }
}

TEST_F(SkinBlendTest, PaletteIsBuiltOncePerHierarchyRenderAndFrame)
{
    SkinPipeline::ResetPaletteKey();
    const int32_t before = SkinPipeline::GetPaletteBuildCount();
    Frame* frame = Frame::Create();
    Atomic* a = Atomic::Create();
    Atomic* b = Atomic::Create();
    Atomic::SetFrame(a, frame);
    Atomic::SetFrame(b, frame);
    SkinPipeline::BuildPaletteSSE(a, mSkin, mHierarchy);
    SkinPipeline::BuildPaletteSSE(b, mSkin, mHierarchy); // same hierarchy, frame and render
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 1);
    ++Engine::Current()->renderFrame;
    SkinPipeline::BuildPaletteSSE(a, mSkin, mHierarchy);
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 2);
    // The other layout never takes this palette for its own.
    SkinPipeline::BuildPaletteX87(a, mSkin, mHierarchy);
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 3);
    Atomic::Destroy(a);
    Atomic::Destroy(b);
    Frame::Destroy(frame);
}

TEST_F(SkinBlendTest, PaletteTakesTheAtomicFrameOutUnlessTheHierarchyIsLocal)
{
    Frame* frame = Frame::Create();
    const Vector offset = {3, -2, 5};
    Frame::Translate(frame, &offset, 0);
    Atomic* atomic = Atomic::Create();
    Atomic::SetFrame(atomic, frame);
    SkinPipeline::ResetPaletteKey();
    const Matrix* palette = SkinPipeline::BuildPaletteSSE(atomic, mSkin, mHierarchy);
    const Mat expected = Mul(ToMat(mSkin->inverseMatrices[1]), ToMat(mHierarchy->matrices[1]));
    EXPECT_NEAR(palette[1].pos.x, expected[9] - 3, 1e-5);
    EXPECT_NEAR(palette[1].pos.z, expected[11] - 5, 1e-5);
    EXPECT_EQ(palette[1].flags, 0u); // the fourth column is zero
    mHierarchy->flags |= kHierarchyLocalSpace;
    SkinPipeline::ResetPaletteKey();
    palette = SkinPipeline::BuildPaletteSSE(atomic, mSkin, mHierarchy);
    EXPECT_NEAR(palette[1].pos.x, expected[9], 1e-5);
    // The three-row form of a product.
    float rows[12];
    SkinPipeline::StoreTransposed(rows, &mSkin->inverseMatrices[1], &mHierarchy->matrices[1]);
    EXPECT_NEAR(rows[3], expected[9], 1e-5);
    EXPECT_NEAR(rows[1], expected[3], 1e-5);
    Atomic::Destroy(atomic);
    Frame::Destroy(frame);
}
