// Vertex-element encoding: the bytes every declaration type gets for vectors, texture
// coordinates, blend weights, bone indices and colours, decoding what was encoded, strides,
// and the texture-coordinate type the device's declaration types allow.
#include "d3d9device.h"
#include "geometry.h"
#include "vector.h"
#include "vertexdeclaration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

Bytes FloatBytes(std::initializer_list<float> values)
{
    Bytes out(values.size() * 4);
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

std::string Hex(const Bytes& bytes)
{
    std::string s;
    char b[4];
    for (uint8_t v : bytes)
    {
        std::snprintf(b, sizeof b, "%02X ", v);
        s += b;
    }
    return s;
}

enum Kind
{
    kVector,
    kTexCoord,
    kWeights,
};

struct EncodeCase
{
    Kind kind;
    int32_t type;
    float in[4];
    Bytes expected;
};

Bytes Encode(const EncodeCase& c)
{
    Bytes out(16, 0xCD);
    int32_t size = 0;
    switch (c.kind)
    {
    case kVector:
    {
        const Vector v = {c.in[0], c.in[1], c.in[2]};
        size = VertexDeclaration::WriteVectors(c.type, out.data(), &v, 1, 16);
        break;
    }
    case kTexCoord:
    {
        const TexCoords t = {c.in[0], c.in[1]};
        size = VertexDeclaration::WriteTexCoords(c.type, out.data(), &t, 1, 16);
        break;
    }
    case kWeights:
        size = VertexDeclaration::WriteWeights(c.type, out.data(), c.in, 1, 16);
        break;
    }
    EXPECT_EQ(size, VertexDeclaration::GetTypeSize(c.type));
    // Nothing beyond the element is touched.
    for (size_t i = size_t(size); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xCD) << "byte " << i << " of type " << c.type;
    out.resize(size_t(size));
    return out;
}

TEST(VertexDeclaration, EveryTypeEncodesVectorsCoordinatesAndWeights)
{
    const EncodeCase cases[] = {
        // Vectors, positions and normals.
        {kVector, D3DDECLTYPE_FLOAT1, {5, 6, 7}, FloatBytes({5})},
        {kVector, D3DDECLTYPE_FLOAT2, {5, 6, 7}, FloatBytes({5, 6})},
        {kVector, D3DDECLTYPE_FLOAT3, {5, 6, 7}, FloatBytes({5, 6, 7})},
        {kVector, D3DDECLTYPE_FLOAT4, {1, 2, 3}, FloatBytes({1, 2, 3, 1})},
        {kVector, D3DDECLTYPE_D3DCOLOR, {1, 0.5f, 0}, {0x00, 0x80, 0xFF, 0xFF}}, // 127.5 rounds to even 128
        {kVector, D3DDECLTYPE_UBYTE4, {1.5f, 2.5f, 3}, {0x02, 0x02, 0x03, 0x01}},
        {kVector, D3DDECLTYPE_SHORT2, {-1.4f, 7.6f, 9}, {0xFF, 0xFF, 0x08, 0x00}},
        {kVector, D3DDECLTYPE_SHORT4, {1, 2, 3}, {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x01, 0x00}},
        {kVector, D3DDECLTYPE_UBYTE4N, {1, 0, 0.5f}, {0xFF, 0x00, 0x80, 0xFF}},
        {kVector, D3DDECLTYPE_SHORT2N, {1, -1, 0}, {0xFF, 0x7F, 0x01, 0x80}},
        {kVector, D3DDECLTYPE_SHORT4N, {0.5f, 0, -0.5f}, {0x00, 0x40, 0x00, 0x00, 0x00, 0xC0, 0xFF, 0x7F}},
        {kVector, D3DDECLTYPE_USHORT2N, {0.75f, 1, 0}, {0xFF, 0xBF, 0xFF, 0xFF}},
        {kVector, D3DDECLTYPE_USHORT4N, {0, 0.5f, 1}, {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF}},
        {kVector, D3DDECLTYPE_UDEC3, {1, 2, 3}, {0x01, 0x08, 0x30, 0x00}},
        {kVector, D3DDECLTYPE_DEC3N, {0, 1, 0}, {0x00, 0xFC, 0x07, 0x00}},  // 511 << 10
        {kVector, D3DDECLTYPE_DEC3N, {0, -1, 0}, {0x00, 0x04, 0x08, 0x00}}, // 0x201 << 10
        // Texture coordinates: the third component is 0, packed forms round.
        {kTexCoord, D3DDECLTYPE_FLOAT3, {0.25f, 0.75f}, FloatBytes({0.25f, 0.75f, 0})},
        {kTexCoord, D3DDECLTYPE_FLOAT4, {0.25f, 0.75f}, FloatBytes({0.25f, 0.75f, 0, 1})},
        {kTexCoord, D3DDECLTYPE_D3DCOLOR, {0.5f, 1}, {0x00, 0xFF, 0x80, 0xFF}},
        {kTexCoord, D3DDECLTYPE_USHORT2N, {0.75f, 0.25f}, {0xFF, 0xBF, 0x00, 0x40}},
        {kTexCoord, D3DDECLTYPE_DEC3N, {0.5f, -1}, {0x00, 0x05, 0x08, 0x00}},
        {kTexCoord, D3DDECLTYPE_SHORT4, {3, 4}, {0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00}},
        // Blend weights: packed forms derive the first so that the sum is the unit.
        {kWeights, D3DDECLTYPE_FLOAT4, {0.1f, 0.2f, 0.3f, 0.4f}, FloatBytes({0.1f, 0.2f, 0.3f, 0.4f})},
        {kWeights, D3DDECLTYPE_D3DCOLOR, {0.75f, 0.25f, 0, 0}, {0x00, 0x40, 0xBF, 0x00}}, // green 64, red 191
        {kWeights, D3DDECLTYPE_D3DCOLOR, {1, 0, 0, 0}, {0x00, 0x00, 0xFF, 0x00}},
        {kWeights, D3DDECLTYPE_UBYTE4N, {1, 0, 0, 0}, {0xFF, 0x00, 0x00, 0x00}},
        {kWeights, D3DDECLTYPE_UBYTE4N, {0.5f, 0.25f, 0.25f, 0}, {0x7F, 0x40, 0x40, 0x00}},
        {kWeights, D3DDECLTYPE_UBYTE4, {1, 2, 3, 4}, {0x01, 0x02, 0x03, 0x04}},
        {kWeights, D3DDECLTYPE_SHORT2, {3, -2, 0, 0}, {0x03, 0x00, 0xFE, 0xFF}},
        {kWeights, D3DDECLTYPE_SHORT2N, {0.25f, 0.75f, 0, 0}, {0x00, 0x20, 0xFF, 0x5F}},
        {kWeights, D3DDECLTYPE_SHORT4N, {0.25f, 0.25f, 0.25f, 0.25f}, {0xFF, 0x1F, 0x00, 0x20, 0x00, 0x20, 0x00, 0x20}},
        {kWeights, D3DDECLTYPE_USHORT2N, {0.5f, 0.5f, 0, 0}, {0x00, 0x80, 0xFF, 0x7F}},
        {kWeights, D3DDECLTYPE_USHORT4N, {0.5f, 0.25f, 0.25f, 0}, {0xFF, 0x7F, 0x00, 0x40, 0x00, 0x40, 0x00, 0x00}},
        {kWeights, D3DDECLTYPE_UDEC3, {1, 2, 3, 0}, {0x01, 0x08, 0x30, 0x00}},
        {kWeights, D3DDECLTYPE_DEC3N, {0.5f, 0.5f, 0, 0}, {0x00, 0xFD, 0x03, 0x00}},      // 256, 255, 0
        {kWeights, D3DDECLTYPE_DEC3N, {0.5f, 0.25f, 0.25f, 0}, {0xFF, 0x00, 0x02, 0x08}}, // 255, 128, 128
    };
    for (const EncodeCase& c : cases)
    {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " type " + std::to_string(c.type));
        EXPECT_EQ(Hex(Encode(c)), Hex(c.expected));
    }
}

TEST(VertexDeclaration, SizesAndTheTypesNothingIsWrittenIn)
{
    const int32_t sizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
    for (int32_t type = 0; type < 17; ++type)
        EXPECT_EQ(VertexDeclaration::GetTypeSize(type), sizes[type]) << type;
    EXPECT_EQ(VertexDeclaration::GetTypeSize(D3DDECLTYPE_UNUSED), 0);

    // The 16-bit float forms keep the caller's offsets right but write nothing.
    Bytes out(8, 0xCD);
    const Vector v = {1, 2, 3};
    EXPECT_EQ(VertexDeclaration::WriteVectors(D3DDECLTYPE_FLOAT16_2, out.data(), &v, 1, 8), 4);
    EXPECT_EQ(VertexDeclaration::WriteWeights(D3DDECLTYPE_FLOAT16_4, out.data(), &v.x, 0, 8), 8);
    EXPECT_EQ(out, Bytes(8, 0xCD));
}

TEST(VertexDeclaration, ElementsFollowTheStrideAndInterpolateAndDecompress)
{
    const Vector a[2] = {{0, 0, 0}, {1, 1, 1}};
    const Vector b[2] = {{2, 4, 6}, {3, 3, 3}};
    Bytes out(40, 0xCD);
    VertexDeclaration::WriteInterpolatedVectors(D3DDECLTYPE_FLOAT3, out.data(), a, b, 0.5f, 2, 20);
    float v[3];
    VertexDeclaration::ReadVector(D3DDECLTYPE_FLOAT3, v, out.data());
    EXPECT_EQ(std::vector<float>(v, v + 3), (std::vector<float>{1, 2, 3}));
    VertexDeclaration::ReadVector(D3DDECLTYPE_FLOAT3, v, out.data() + 20);
    EXPECT_EQ(std::vector<float>(v, v + 3), (std::vector<float>{2, 2, 2}));
    for (size_t i = 12; i < 20; ++i)
        EXPECT_EQ(out[i], 0xCD);

    const int8_t packed[8] = {64, -128, 0, 99, 0, 0, 127, 0};
    VertexDeclaration::WriteCompressedNormals(D3DDECLTYPE_SHORT4N, out.data(), packed, 2, 20);
    VertexDeclaration::ReadVector(D3DDECLTYPE_SHORT4N, v, out.data());
    EXPECT_NEAR(v[0], 0.5f, 1e-4f);
    EXPECT_NEAR(v[1], -1.0f, 1e-4f);
    VertexDeclaration::ReadVector(D3DDECLTYPE_SHORT4N, v, out.data() + 20);
    EXPECT_NEAR(v[2], 127 / 128.0f, 1e-4f);
}

TEST(VertexDeclaration, DecodingWhatWasEncodedStaysWithinOneStepOfTheType)
{
    struct Domain
    {
        int32_t type;
        int components;
        float in[3];
        float tolerance;
    };
    const Domain domains[] = {
        {D3DDECLTYPE_FLOAT1, 1, {0.3f, 0, 0}, 0},
        {D3DDECLTYPE_FLOAT2, 2, {0.3f, -0.7f, 0}, 0},
        {D3DDECLTYPE_FLOAT3, 3, {0.3f, -0.7f, 0.9f}, 0},
        {D3DDECLTYPE_FLOAT4, 3, {0.3f, -0.7f, 0.9f}, 0},
        {D3DDECLTYPE_D3DCOLOR, 3, {0.3f, 0.7f, 0.9f}, 0.5f / 255},
        {D3DDECLTYPE_UBYTE4, 3, {3, 7, 9}, 0},
        {D3DDECLTYPE_SHORT2, 2, {-300, 7000, 0}, 0},
        {D3DDECLTYPE_SHORT4, 3, {-300, 7000, 9}, 0},
        {D3DDECLTYPE_UBYTE4N, 3, {0.3f, 0.7f, 0.9f}, 0.5f / 255},
        {D3DDECLTYPE_SHORT2N, 2, {0.3f, -0.7f, 0}, 0.5f / 32767},
        {D3DDECLTYPE_SHORT4N, 3, {0.3f, -0.7f, 0.9f}, 0.5f / 32767},
        {D3DDECLTYPE_USHORT2N, 2, {0.3f, 0.7f, 0}, 0.5f / 65535},
        {D3DDECLTYPE_USHORT4N, 3, {0.3f, 0.7f, 0.9f}, 0.5f / 65535},
        {D3DDECLTYPE_UDEC3, 3, {3, 700, 1023}, 0},
        {D3DDECLTYPE_DEC3N, 3, {0.3f, -0.7f, 0.9f}, 0.5f / 511},
    };
    for (const Domain& d : domains)
    {
        SCOPED_TRACE(d.type);
        uint8_t element[16] = {};
        const Vector in = {d.in[0], d.in[1], d.in[2]};
        VertexDeclaration::WriteVectors(d.type, element, &in, 1, 16);
        float out[3];
        VertexDeclaration::ReadVector(d.type, out, element);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(out[i], i < d.components ? d.in[i] : 0.0f, d.tolerance + 1e-6f) << i;

        const TexCoords uv = {d.in[0], d.components > 1 ? d.in[1] : 0.0f};
        VertexDeclaration::WriteTexCoords(d.type, element, &uv, 1, 16);
        float t[2];
        VertexDeclaration::ReadTexCoord(d.type, t, element);
        EXPECT_NEAR(t[0], uv.u, d.tolerance + 1e-6f);
        EXPECT_NEAR(t[1], uv.v, d.tolerance + 1e-6f);
    }
    // The example the packed coordinates are chosen for.
    const TexCoords threeQuarters = {0.75f, 0.75f};
    uint8_t element[4];
    VertexDeclaration::WriteTexCoords(D3DDECLTYPE_USHORT2N, element, &threeQuarters, 1, 4);
    float t[2];
    VertexDeclaration::ReadTexCoord(D3DDECLTYPE_USHORT2N, t, element);
    EXPECT_NEAR(t[0], 0.75f, 1.0f / 65535);
}

TEST(VertexDeclaration, BoneIndicesAreRemappedAndColoursReportTranslucency)
{
    uint8_t remap[256];
    for (int i = 0; i < 256; ++i)
        remap[i] = uint8_t(i * 10);
    const uint8_t indices[4] = {1, 2, 3, 4};
    const struct
    {
        int32_t type;
        Bytes expected;
    } cases[] = {
        {D3DDECLTYPE_D3DCOLOR, {30, 20, 10, 40}}, // x, y, z, w as red, green, blue, alpha
        {D3DDECLTYPE_UBYTE4, {10, 20, 30, 40}},
        {D3DDECLTYPE_SHORT2, {10, 0, 20, 0}},
        {D3DDECLTYPE_SHORT4, {10, 0, 20, 0, 30, 0, 40, 0}},
        {D3DDECLTYPE_SHORT2N, {}},
    };
    for (const auto& c : cases)
    {
        Bytes out(8, 0xCD);
        EXPECT_EQ(VertexDeclaration::WriteBoneIndices(c.type, out.data(), indices, remap, 1, 8),
                  VertexDeclaration::GetTypeSize(c.type));
        Bytes expected = c.expected;
        expected.resize(8, 0xCD);
        EXPECT_EQ(Hex(out), Hex(expected)) << c.type;
    }

    const uint8_t opaque[8] = {1, 2, 3, 255, 4, 5, 6, 255};
    Bytes out(16, 0);
    EXPECT_EQ(VertexDeclaration::WriteColors(out.data(), opaque, 2, 8), 0);
    EXPECT_EQ(Hex(Bytes(out.begin(), out.begin() + 4)), "03 02 01 FF ");
    EXPECT_EQ(Hex(Bytes(out.begin() + 8, out.begin() + 12)), "06 05 04 FF ");
    const uint8_t almost[8] = {1, 2, 3, 255, 4, 5, 6, 254};
    EXPECT_EQ(VertexDeclaration::WriteColors(out.data(), almost, 2, 8), 1);
}

TEST(VertexDeclaration, TexCoordTypeFollowsTheRangeAndTheDeviceTypes)
{
    D3DCAPS9* caps = D3D9Device::GetCapsForUpdate();
    const DWORD saved = caps->DeclTypes;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct
    {
        std::vector<TexCoords> coordinates;
        DWORD types;
        int32_t expected;
    } cases[] = {
        {{{0, 0}, {0.9f, 0.5f}}, D3DDTCAPS_USHORT2N | D3DDTCAPS_DEC3N, D3DDECLTYPE_USHORT2N},
        {{{0, 0}, {1.5f, 0.5f}}, D3DDTCAPS_USHORT2N, D3DDECLTYPE_FLOAT2},
        {{{0, 0}, {1, 1}}, D3DDTCAPS_DEC3N, D3DDECLTYPE_DEC3N},
        {{{0, 0}, {1, 1}}, 0, D3DDECLTYPE_D3DCOLOR},
        {{{-1, 0}, {1, 0.5f}}, D3DDTCAPS_SHORT2N | D3DDTCAPS_USHORT2N, D3DDECLTYPE_SHORT2N},
        {{{-1, 0}, {1, 0.5f}}, D3DDTCAPS_DEC3N, D3DDECLTYPE_DEC3N},
        {{{-1, 0}, {1, 0.5f}}, D3DDTCAPS_USHORT2N, D3DDECLTYPE_FLOAT2},
        {{{-1.5f, 0}, {1, 0.5f}}, D3DDTCAPS_SHORT2N, D3DDECLTYPE_FLOAT2},
        {{{0.5f, nan}, {0.5f, 0.5f}}, D3DDTCAPS_USHORT2N, D3DDECLTYPE_FLOAT2},
        {{}, D3DDTCAPS_USHORT2N, D3DDECLTYPE_USHORT2N},
    };
    for (const auto& c : cases)
    {
        caps->DeclTypes = c.types;
        EXPECT_EQ(VertexDeclaration::ChooseTexCoordType(c.coordinates.data(), int32_t(c.coordinates.size())),
                  c.expected)
            << c.coordinates.size() << " coordinates, types " << c.types;
    }
    caps->DeclTypes = saved;

    const TexCoords set[3] = {{0.5f, -0.25f}, {-0.5f, 0.75f}, {0.25f, 0.5f}};
    TexCoords low, high;
    VertexDeclaration::GetTexCoordRange(set, 3, &low, &high);
    EXPECT_EQ(low.u, -0.5f);
    EXPECT_EQ(low.v, -0.25f);
    EXPECT_EQ(high.u, 0.5f);
    EXPECT_EQ(high.v, 0.75f);
}

} // namespace
