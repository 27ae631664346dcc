// The tank's generic instancing callbacks against a CPU reference: quad corners for every
// position callback, texture coordinates and colours, written at the vertex stride without
// touching the bytes of other fields.
#include "ptank.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

constexpr int32_t kCount = 3;
constexpr int32_t kStride = 24; // position, colour, two texture coordinates
constexpr uint8_t kUntouched = 0xCD;

struct Particles
{
    float positions[kCount][3] = {{1, 2, 3}, {-4, 0.5f, 2}, {0, 0, -1}};
    float sizes[kCount][2] = {{2, 1}, {0.5f, 3}, {1, 1}};
    float rotations[kCount] = {0.3f, -1.2f, 3.0f};
    Matrix matrices[kCount];
    Rgba colours[kCount] = {{10, 20, 30, 40}, {255, 0, 128, 255}, {1, 2, 3, 4}};
    float pairs[kCount][4] = {{0.1f, 0.2f, 0.3f, 0.4f}, {0, 0, 1, 1}, {0.5f, 0.25f, 0.75f, 1}};
    PTankData data{};

    Particles()
    {
        for (int32_t i = 0; i < kCount; ++i)
        {
            Matrix& m = matrices[i];
            std::memset(&m, 0, sizeof(m));
            const float c = std::cos(0.5f * float(i)), s = std::sin(0.5f * float(i));
            m.right = {2 * c, 2 * s, 0};
            m.up = {-s, c, 0.5f};
            m.at = {0, 0, 1};
            m.pos = {float(i), -float(i), 2};
        }
        data.slots[kPTankSlotPosition] = {positions, 12};
        data.slots[kPTankSlotSize] = {sizes, 8};
        data.slots[kPTankSlotRotation] = {rotations, 4};
        data.slots[kPTankSlotMatrix] = {matrices, int32_t(sizeof(Matrix))};
        data.slots[kPTankSlotColour] = {colours, 4};
        data.slots[kPTankSlotTexCoords2] = {pairs, 16};
        data.size = {1.5f, 0.75f};
        data.centre = {0.25f, -0.5f};
        data.colour = {9, 8, 7, 6};
    }
};

struct V3
{
    double x, y, z;
};
V3 Add(V3 a, V3 b, double s = 1)
{
    return {a.x + s * b.x, a.y + s * b.y, a.z + s * b.z};
}

struct PositionCase
{
    const char* name;
    PTankPositionCallback callback;
    bool size, rotated, centre, matrix;
};

// The four corners of particle i as the quad formulas give them.
std::vector<V3> Corners(const Particles& p, const PositionCase& c, V3 A, V3 B, int32_t i)
{
    if (c.matrix)
    {
        const Matrix& m = p.matrices[i];
        const V3 R = {m.right.x, m.right.y, m.right.z}, U = {m.up.x, m.up.y, m.up.z};
        V3 t = {m.pos.x, m.pos.y, m.pos.z};
        if (c.centre)
            t = Add(Add(t, R, p.data.centre.x), U, p.data.centre.y);
        return {Add(Add(t, R, 0.5), U, -0.5), Add(Add(t, R, -0.5), U, -0.5), Add(Add(t, R, -0.5), U, 0.5),
                Add(Add(t, R, 0.5), U, 0.5)};
    }
    const double w = c.size ? p.sizes[i][0] : p.data.size.x;
    const double h = c.size ? p.sizes[i][1] : p.data.size.y;
    V3 a2 = A, b2 = B;
    if (c.rotated)
    {
        const double t = p.rotations[i];
        a2 = Add({std::cos(t) * A.x, std::cos(t) * A.y, std::cos(t) * A.z}, B, -std::sin(t));
        b2 = Add({std::sin(t) * A.x, std::sin(t) * A.y, std::sin(t) * A.z}, B, std::cos(t));
    }
    const V3 a = {w / 2 * a2.x, w / 2 * a2.y, w / 2 * a2.z};
    const V3 b = {h / 2 * b2.x, h / 2 * b2.y, h / 2 * b2.z};
    V3 P = {p.positions[i][0], p.positions[i][1], p.positions[i][2]};
    if (c.centre)
        P = Add(Add(P, a2, p.data.centre.x), b2, p.data.centre.y);
    return {Add(Add(P, a, -1), b, -1), Add(Add(P, a, 1), b, -1), Add(Add(P, a, 1), b, 1), Add(Add(P, a, -1), b, 1)};
}

TEST(PTankQuads, EveryPositionCallbackWritesTheCornersOfTheCpuReference)
{
    using C = PTankCallback;
    const PositionCase cases[] = {
        {"plain", C::QuadConstant, false, false, false, false},
        {"plain centre", C::QuadConstantCentre, false, false, true, false},
        {"size", C::QuadSize, true, false, false, false},
        {"size centre", C::QuadSizeCentre, true, false, true, false},
        {"rotated", C::QuadRotated, false, true, false, false},
        {"rotated centre", C::QuadRotatedCentre, false, true, true, false},
        {"rotated size", C::QuadRotatedSize, true, true, false, false},
        {"rotated size centre", C::QuadRotatedSizeCentre, true, true, true, false},
        {"matrix", C::QuadMatrix, false, false, false, true},
        {"matrix centre", C::QuadMatrixCentre, false, false, true, true},
    };
    // Axes of a camera turned a little: not the unit axes, so a swapped axis shows.
    const Vector A = {-0.8f, 0.0f, 0.6f}, B = {0.0f, 1.0f, 0.0f};
    for (const PositionCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Particles p;
        std::vector<uint8_t> vertices(size_t(4 * kCount * kStride), kUntouched);
        const PTankSlot out = {vertices.data(), kStride};
        c.callback(&out, &A, &B, kCount, &p.data);
        for (int32_t i = 0; i < kCount; ++i)
        {
            const std::vector<V3> want = Corners(p, c, {A.x, A.y, A.z}, {B.x, B.y, B.z}, i);
            for (int32_t k = 0; k < 4; ++k)
            {
                float got[3];
                std::memcpy(got, vertices.data() + (4 * i + k) * kStride, sizeof(got));
                EXPECT_NEAR(got[0], want[k].x, 1e-5) << "particle " << i << " corner " << k;
                EXPECT_NEAR(got[1], want[k].y, 1e-5) << "particle " << i << " corner " << k;
                EXPECT_NEAR(got[2], want[k].z, 1e-5) << "particle " << i << " corner " << k;
                for (int32_t b = 12; b < kStride; ++b)
                    ASSERT_EQ(vertices[size_t((4 * i + k) * kStride + b)], kUntouched) << "other fields untouched";
            }
        }
    }
}

TEST(PTankQuads, StructureStridesAreWalkedLikeArrays)
{
    // Position and colour interleaved in one 16-byte record per particle.
    struct Record
    {
        float position[3];
        Rgba colour;
    };
    Record records[2] = {{{1, 2, 3}, {1, 2, 3, 4}}, {{-1, -2, -3}, {5, 6, 7, 8}}};
    PTankData data{};
    data.slots[kPTankSlotPosition] = {&records[0].position, 16};
    data.slots[kPTankSlotColour] = {&records[0].colour, 16};
    data.size = {2, 2};
    const Vector A = {1, 0, 0}, B = {0, 1, 0};
    float positions[8][3];
    uint32_t colours[8];
    const PTankSlot out = {positions, 12}, outColours = {colours, 4};
    PTankCallback::QuadConstant(&out, &A, &B, 2, &data);
    PTankCallback::Colour(&outColours, 2, &data);
    EXPECT_EQ(positions[4][0], -2.0f);
    EXPECT_EQ(positions[4][1], -3.0f);
    EXPECT_EQ(positions[6][2], -3.0f);
    EXPECT_EQ(colours[3], 0x04010203u);
    EXPECT_EQ(colours[4], 0x08050607u);
}

TEST(PTankTexCoords, PairsMapToTheCornersAndFourPairsGoVertexByVertex)
{
    Particles p;
    float four[kCount][8];
    for (int32_t i = 0; i < kCount; ++i)
        for (int32_t j = 0; j < 8; ++j)
            four[i][j] = float(10 * i + j);
    p.data.slots[kPTankSlotTexCoords4] = {four, 32};
    p.data.texCoords[0] = {0.1f, 0.2f};
    p.data.texCoords[1] = {0.3f, 0.4f};
    p.data.texCoords[2] = {0.5f, 0.6f};
    p.data.texCoords[3] = {0.7f, 0.8f};

    struct Case
    {
        const char* name;
        PTankPropertyCallback callback;
    };
    const Case cases[] = {{"two pairs", PTankCallback::TexCoords2},
                          {"constant two pairs", PTankCallback::ConstantTexCoords2},
                          {"four pairs", PTankCallback::TexCoords4},
                          {"constant four pairs", PTankCallback::ConstantTexCoords4}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> vertices(size_t(4 * kCount * kStride), kUntouched);
        const PTankSlot out = {vertices.data() + 16, kStride};
        c.callback(&out, kCount, &p.data);
        for (int32_t i = 0; i < kCount; ++i)
            for (int32_t k = 0; k < 4; ++k)
            {
                float want[2];
                if (c.callback == PTankCallback::TexCoords2 || c.callback == PTankCallback::ConstantTexCoords2)
                {
                    const float* q = c.callback == PTankCallback::TexCoords2
                                         ? p.pairs[i]
                                         : &p.data.texCoords[0].x; // (U0, V0, U1, V1)
                    // Q0 = (U0, V1), Q1 = (U1, V1), Q2 = (U1, V0), Q3 = (U0, V0).
                    const int32_t u[4] = {0, 2, 2, 0}, v[4] = {3, 3, 1, 1};
                    want[0] = q[u[k]];
                    want[1] = q[v[k]];
                }
                else if (c.callback == PTankCallback::TexCoords4)
                {
                    want[0] = four[i][2 * k];
                    want[1] = four[i][2 * k + 1];
                }
                else
                {
                    want[0] = p.data.texCoords[k].x;
                    want[1] = p.data.texCoords[k].y;
                }
                float got[2];
                std::memcpy(got, vertices.data() + (4 * i + k) * kStride + 16, sizeof(got));
                EXPECT_EQ(got[0], want[0]) << i << " " << k;
                EXPECT_EQ(got[1], want[1]) << i << " " << k;
                EXPECT_EQ(vertices[size_t((4 * i + k) * kStride)], kUntouched);
            }
    }
}

TEST(PTankColours, ColoursAreArgbWordsPerParticleOrPerVertex)
{
    Particles p;
    Rgba perVertex[kCount][4];
    for (int32_t i = 0; i < kCount; ++i)
        for (int32_t k = 0; k < 4; ++k)
            perVertex[i][k] = {uint8_t(i), uint8_t(k), uint8_t(16 * i + k), uint8_t(200 + k)};
    p.data.slots[kPTankSlotVertexColours] = {perVertex, 16};
    for (int32_t k = 0; k < 4; ++k)
        p.data.vertexColours[k] = {uint8_t(k), 0x11, 0x22, 0x80};

    auto word = [](Rgba c)
    { return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue; };
    struct Case
    {
        const char* name;
        PTankPropertyCallback callback;
    };
    const Case cases[] = {{"per particle", PTankCallback::Colour},
                          {"vertex colours", PTankCallback::VertexColours},
                          {"constant vertex colours", PTankCallback::ConstantVertexColours},
                          {"constant colour", PTankCallback::ConstantColour}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> vertices(size_t(4 * kCount * kStride), kUntouched);
        const PTankSlot out = {vertices.data() + 12, kStride};
        c.callback(&out, kCount, &p.data);
        for (int32_t i = 0; i < kCount; ++i)
            for (int32_t k = 0; k < 4; ++k)
            {
                uint32_t want = word(p.data.colour);
                if (c.callback == PTankCallback::Colour)
                    want = word(p.colours[i]);
                else if (c.callback == PTankCallback::VertexColours)
                    want = word(perVertex[i][k]);
                else if (c.callback == PTankCallback::ConstantVertexColours)
                    want = word(p.data.vertexColours[k]);
                uint32_t got;
                std::memcpy(&got, vertices.data() + (4 * i + k) * kStride + 12, sizeof(got));
                EXPECT_EQ(got, want) << i << " " << k;
                EXPECT_EQ(vertices[size_t((4 * i + k) * kStride + 16)], kUntouched);
            }
    }
}

TEST(PTankNormals, ANormalGoesToAllFourVertices)
{
    float normals[2][3] = {{0, 0, 1}, {0.6f, 0.8f, 0}};
    PTankData data{};
    data.slots[kPTankSlotNormal] = {normals, 12};
    float out[8][3];
    const PTankSlot slot = {out, 12};
    PTankCallback::Normal(&slot, 2, &data);
    for (int32_t k = 0; k < 4; ++k)
    {
        EXPECT_EQ(out[k][2], 1.0f);
        EXPECT_EQ(out[4 + k][0], 0.6f);
        EXPECT_EQ(out[4 + k][1], 0.8f);
    }
}

} // namespace
