// Vertex elements in Direct3D declaration types: the encoders, the decoders, the choice of a
// texture-coordinate type and the tangents computed from the triangles of instance data.
#include "vertexdeclaration.h"

#include "d3d9device.h"
#include "geometry.h"
#include "instancedata.h"
#include "memory.h"
#include "vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace
{

constexpr uint32_t kTangentHint = 0x1050D;
constexpr float kDec3nScale = 511.0f;
constexpr float kDec3nUnit = 0.0019569471f; // 1 / 511

constexpr int32_t kTypeSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};

// Nearest integer, ties to even (the default rounding mode).
int32_t Rnd(float value)
{
    if (!(value == value))
        return 0;
    return int32_t(std::nearbyint(std::clamp(value, -2147483520.0f, 2147483520.0f)));
}

uint8_t Byte(int32_t value)
{
    return uint8_t(std::clamp(value, 0, 255));
}

int16_t Short(int32_t value)
{
    return int16_t(std::clamp(value, -32768, 32767));
}

uint16_t UShort(int32_t value)
{
    return uint16_t(std::clamp(value, 0, 65535));
}

uint32_t Field10(int32_t value)
{
    return uint32_t(value) & 0x3FF;
}

uint32_t Colour(uint8_t alpha, uint8_t red, uint8_t green, uint8_t blue)
{
    return uint32_t(alpha) << 24 | uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
}

template <typename T, size_t N> void Store(uint8_t* at, const T (&values)[N])
{
    std::memcpy(at, values, sizeof(values));
}

void Store32(uint8_t* at, uint32_t word)
{
    std::memcpy(at, &word, 4);
}

// One element of a vector; texture coordinates are vectors whose third component is 0.
void EncodeVector(int32_t type, uint8_t* at, float c0, float c1, float c2)
{
    switch (type)
    {
    case D3DDECLTYPE_FLOAT1:
        Store(at, {c0});
        break;
    case D3DDECLTYPE_FLOAT2:
        Store(at, {c0, c1});
        break;
    case D3DDECLTYPE_FLOAT3:
        Store(at, {c0, c1, c2});
        break;
    case D3DDECLTYPE_FLOAT4:
        Store(at, {c0, c1, c2, 1.0f});
        break;
    case D3DDECLTYPE_D3DCOLOR:
        Store32(at, Colour(255, Byte(Rnd(c0 * 255)), Byte(Rnd(c1 * 255)), Byte(Rnd(c2 * 255))));
        break;
    case D3DDECLTYPE_UBYTE4:
        Store(at, {Byte(Rnd(c0)), Byte(Rnd(c1)), Byte(Rnd(c2)), uint8_t(1)});
        break;
    case D3DDECLTYPE_SHORT2:
        Store(at, {Short(Rnd(c0)), Short(Rnd(c1))});
        break;
    case D3DDECLTYPE_SHORT4:
        Store(at, {Short(Rnd(c0)), Short(Rnd(c1)), Short(Rnd(c2)), int16_t(1)});
        break;
    case D3DDECLTYPE_UBYTE4N:
        Store(at, {Byte(Rnd(c0 * 255)), Byte(Rnd(c1 * 255)), Byte(Rnd(c2 * 255)), uint8_t(255)});
        break;
    case D3DDECLTYPE_SHORT2N:
        Store(at, {Short(Rnd(c0 * 32767)), Short(Rnd(c1 * 32767))});
        break;
    case D3DDECLTYPE_SHORT4N:
        Store(at, {Short(Rnd(c0 * 32767)), Short(Rnd(c1 * 32767)), Short(Rnd(c2 * 32767)), int16_t(32767)});
        break;
    case D3DDECLTYPE_USHORT2N:
        Store(at, {UShort(Rnd(c0 * 65535)), UShort(Rnd(c1 * 65535))});
        break;
    case D3DDECLTYPE_USHORT4N:
        Store(at, {UShort(Rnd(c0 * 65535)), UShort(Rnd(c1 * 65535)), UShort(Rnd(c2 * 65535)), uint16_t(65535)});
        break;
    case D3DDECLTYPE_UDEC3:
        Store32(at, Field10(Rnd(c0)) | Field10(Rnd(c1)) << 10 | Field10(Rnd(c2)) << 20);
        break;
    case D3DDECLTYPE_DEC3N:
        Store32(at, Field10(Rnd(c0 * kDec3nScale)) | Field10(Rnd(c1 * kDec3nScale)) << 10 |
                        Field10(Rnd(c2 * kDec3nScale)) << 20);
        break;
    default:
        break;
    }
}

void EncodeWeights(int32_t type, uint8_t* at, const float* w)
{
    switch (type)
    {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(at, w, size_t(type + 1) * sizeof(float));
        break;
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4N:
    {
        uint8_t b[4] = {255, 0, 0, 0};
        if (!(w[0] >= 1.0f))
        {
            int32_t rest = 0;
            for (int i = 1; i < 4; ++i)
            {
                b[i] = Byte(Rnd(w[i] * 255));
                rest += b[i];
            }
            b[0] = Byte(255 - rest);
        }
        // A colour word holds w0 as red so that a shader reads the weights as x, y, z, w.
        if (type == D3DDECLTYPE_D3DCOLOR)
            Store32(at, Colour(b[3], b[0], b[1], b[2]));
        else
            Store(at, b);
        break;
    }
    case D3DDECLTYPE_UBYTE4:
        Store(at, {Byte(Rnd(w[0])), Byte(Rnd(w[1])), Byte(Rnd(w[2])), Byte(Rnd(w[3]))});
        break;
    case D3DDECLTYPE_SHORT2:
        Store(at, {Short(Rnd(w[0])), Short(Rnd(w[1]))});
        break;
    case D3DDECLTYPE_SHORT4:
        Store(at, {Short(Rnd(w[0])), Short(Rnd(w[1])), Short(Rnd(w[2])), Short(Rnd(w[3]))});
        break;
    case D3DDECLTYPE_SHORT2N:
    {
        int16_t s0 = Short(Rnd(w[0] * 32767));
        Store(at, {s0, Short(32767 - s0)});
        break;
    }
    case D3DDECLTYPE_SHORT4N:
    {
        int16_t s[4];
        int32_t rest = 0;
        for (int i = 1; i < 4; ++i)
            rest += s[i] = Short(Rnd(w[i] * 32767));
        s[0] = Short(32767 - rest);
        Store(at, s);
        break;
    }
    case D3DDECLTYPE_USHORT2N:
    {
        uint16_t s0 = UShort(Rnd(w[0] * 65535));
        Store(at, {s0, UShort(65535 - s0)});
        break;
    }
    case D3DDECLTYPE_USHORT4N:
    {
        uint16_t s[4];
        int32_t rest = 0;
        for (int i = 1; i < 4; ++i)
            rest += s[i] = UShort(Rnd(w[i] * 65535));
        s[0] = UShort(65535 - rest);
        Store(at, s);
        break;
    }
    case D3DDECLTYPE_UDEC3:
        Store32(at, Field10(Rnd(w[0])) | Field10(Rnd(w[1])) << 10 | Field10(Rnd(w[2])) << 20);
        break;
    case D3DDECLTYPE_DEC3N:
    {
        int32_t f0, f1, f2;
        if (w[2] < kDec3nUnit)
        {
            f0 = Rnd(w[0] * kDec3nScale);
            f1 = 511 - f0;
            f2 = 0;
        }
        else
        {
            f2 = Rnd(w[2] * kDec3nScale);
            f1 = Rnd(w[1] * kDec3nScale);
            f0 = 511 - f1 - f2;
        }
        Store32(at, Field10(f0) | Field10(f1) << 10 | Field10(f2) << 20);
        break;
    }
    default:
        break;
    }
}

bool Writes(int32_t type)
{
    return type >= 0 && type <= D3DDECLTYPE_DEC3N;
}

template <typename T> T Load(const uint8_t* at)
{
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

float SignedField10(uint32_t word, int shift)
{
    int32_t field = int32_t((word >> shift) & 0x3FF);
    if (field & 0x200)
        field -= 0x400;
    return float(field) * kDec3nUnit;
}

} // namespace

int32_t VertexDeclaration::GetTypeSize(int32_t type)
{
    return type >= 0 && type < int32_t(std::size(kTypeSizes)) ? kTypeSizes[type] : 0;
}

int32_t VertexDeclaration::WriteVectors(int32_t type, void* destination, const Vector* vectors, int32_t count,
                                        int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    if (type == D3DDECLTYPE_FLOAT3 && stride == int32_t(sizeof(Vector)) && count > 0)
    {
        std::memcpy(at, vectors, size_t(count) * sizeof(Vector));
        return GetTypeSize(type);
    }
    if (Writes(type))
        for (int32_t i = 0; i < count; ++i, at += stride)
            EncodeVector(type, at, vectors[i].x, vectors[i].y, vectors[i].z);
    return GetTypeSize(type);
}

int32_t VertexDeclaration::WriteCompressedNormals(int32_t type, void* destination, const int8_t* normals, int32_t count,
                                                  int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    if (Writes(type))
        for (int32_t i = 0; i < count; ++i, at += stride, normals += 4)
            EncodeVector(type, at, normals[0] / 128.0f, normals[1] / 128.0f, normals[2] / 128.0f);
    return GetTypeSize(type);
}

int32_t VertexDeclaration::WriteInterpolatedVectors(int32_t type, void* destination, const Vector* a, const Vector* b,
                                                    float t, int32_t count, int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    if (Writes(type))
        for (int32_t i = 0; i < count; ++i, at += stride)
            EncodeVector(type, at, a[i].x + t * (b[i].x - a[i].x), a[i].y + t * (b[i].y - a[i].y),
                         a[i].z + t * (b[i].z - a[i].z));
    return GetTypeSize(type);
}

int32_t VertexDeclaration::WriteTexCoords(int32_t type, void* destination, const TexCoords* coordinates, int32_t count,
                                          int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    if (type == D3DDECLTYPE_FLOAT2 && stride == int32_t(sizeof(TexCoords)) && count > 0)
    {
        std::memcpy(at, coordinates, size_t(count) * sizeof(TexCoords));
        return GetTypeSize(type);
    }
    if (Writes(type))
        for (int32_t i = 0; i < count; ++i, at += stride)
            EncodeVector(type, at, coordinates[i].u, coordinates[i].v, 0.0f);
    return GetTypeSize(type);
}

int32_t VertexDeclaration::WriteWeights(int32_t type, void* destination, const float* weights, int32_t count,
                                        int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    if (Writes(type))
        for (int32_t i = 0; i < count; ++i, at += stride, weights += 4)
            EncodeWeights(type, at, weights);
    return GetTypeSize(type);
}

int32_t VertexDeclaration::WriteBoneIndices(int32_t type, void* destination, const uint8_t* indices,
                                            const uint8_t* remap, int32_t count, int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    for (int32_t i = 0; i < count; ++i, at += stride, indices += 4)
    {
        const uint8_t b[4] = {remap[indices[0]], remap[indices[1]], remap[indices[2]], remap[indices[3]]};
        switch (type)
        {
        case D3DDECLTYPE_D3DCOLOR:
            Store32(at, Colour(b[3], b[0], b[1], b[2]));
            break;
        case D3DDECLTYPE_UBYTE4:
            Store(at, b);
            break;
        case D3DDECLTYPE_SHORT2:
            Store(at, {int16_t(b[0]), int16_t(b[1])});
            break;
        case D3DDECLTYPE_SHORT4:
            Store(at, {int16_t(b[0]), int16_t(b[1]), int16_t(b[2]), int16_t(b[3])});
            break;
        default:
            return GetTypeSize(type);
        }
    }
    return GetTypeSize(type);
}

int32_t VertexDeclaration::WriteColors(void* destination, const uint8_t* colours, int32_t count, int32_t stride)
{
    auto* at = static_cast<uint8_t*>(destination);
    int32_t translucent = 0;
    for (int32_t i = 0; i < count; ++i, at += stride, colours += 4)
    {
        Store32(at, Colour(colours[3], colours[0], colours[1], colours[2]));
        if (colours[3] != 255)
            translucent = 1;
    }
    return translucent;
}

int32_t VertexDeclaration::WriteTangents(int32_t type, void* destination, const Vector* positions,
                                         const TexCoords* coordinates, const InstanceHeader* header, int32_t stride)
{
    const int32_t numVertices = int32_t(header->totalVertexCount);
    auto* tangents =
        static_cast<Vector*>(Memory::AllocateZeroed(size_t(std::max(numVertices, 1)), sizeof(Vector), kTangentHint));
    if (!tangents)
        return 0;

    auto add = [&](uint32_t a, uint32_t b, uint32_t c)
    {
        // Indices come from our own buffer, but a vertex past the set would read outside it.
        if (a >= uint32_t(numVertices) || b >= uint32_t(numVertices) || c >= uint32_t(numVertices))
            return;
        const Vector &pa = positions[a], &pb = positions[b], &pc = positions[c];
        const TexCoords &ta = coordinates[a], &tb = coordinates[b], &tc = coordinates[c];
        const Vector e1 = {pb.x - pa.x, pb.y - pa.y, pb.z - pa.z};
        const Vector e2 = {pc.x - pa.x, pc.y - pa.y, pc.z - pa.z};
        const float du1 = tb.u - ta.u, dv1 = tb.v - ta.v, du2 = tc.u - ta.u, dv2 = tc.v - ta.v;
        const float det = du1 * dv2 - dv1 * du2;
        if (!(std::fabs(det) > 1e-12f))
            return;
        const Vector t = {(e1.x * dv2 - e2.x * dv1) / det, (e1.y * dv2 - e2.y * dv1) / det,
                          (e1.z * dv2 - e2.z * dv1) / det};
        for (uint32_t v : {a, b, c})
        {
            tangents[v].x += t.x;
            tangents[v].y += t.y;
            tangents[v].z += t.z;
        }
    };

    IDirect3DIndexBuffer9* buffer = header->indexBuffer;
    void* locked = nullptr;
    if (buffer && header->totalIndexCount > 0)
    {
        if (FAILED(buffer->Lock(0, header->totalIndexCount * 2, &locked, 0)) || !locked)
        {
            Memory::Free(tangents);
            return 0;
        }
        const auto* indices = static_cast<const uint16_t*>(locked);
        const InstanceMesh* meshes = InstanceHeader::Meshes(header);
        for (uint32_t m = 0; m < header->meshCount; ++m)
        {
            const InstanceMesh& mesh = meshes[m];
            if (mesh.startIndex + mesh.indexCount > header->totalIndexCount)
                continue;
            const uint16_t* s = indices + mesh.startIndex;
            const uint32_t base = mesh.minimumVertex;
            if (header->primitiveType == D3DPT_TRIANGLELIST)
            {
                for (uint32_t i = 0; i + 3 <= mesh.indexCount; i += 3)
                    add(base + s[i], base + s[i + 1], base + s[i + 2]);
            }
            else if (header->primitiveType == D3DPT_TRIANGLESTRIP)
            {
                for (uint32_t i = 0; i + 3 <= mesh.indexCount; ++i)
                {
                    uint32_t a = s[i], b = s[i + 1], c = s[i + 2];
                    if (a == b || b == c || a == c)
                        continue;
                    if (i & 1)
                        std::swap(a, c);
                    add(base + a, base + b, base + c);
                }
            }
        }
        buffer->Unlock();
    }

    for (int32_t i = 0; i < numVertices; ++i)
    {
        Vector& t = tangents[i];
        const float lengthSquared = t.x * t.x + t.y * t.y + t.z * t.z;
        // A vertex of no usable triangle stays (0, 0, 0) rather than becoming not-a-number.
        if (lengthSquared > 0.0f)
        {
            const float s = 1.0f / std::sqrt(lengthSquared);
            t = {t.x * s, t.y * s, t.z * s};
        }
    }
    const int32_t size = WriteVectors(type, destination, tangents, numVertices, stride);
    Memory::Free(tangents);
    return size;
}

void VertexDeclaration::ReadVector(int32_t type, float* out, const void* element)
{
    const auto* at = static_cast<const uint8_t*>(element);
    out[0] = out[1] = out[2] = 0.0f;
    switch (type)
    {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
        std::memcpy(out, at, size_t(type + 1) * sizeof(float));
        break;
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(out, at, 3 * sizeof(float));
        break;
    case D3DDECLTYPE_D3DCOLOR:
    {
        const uint32_t word = Load<uint32_t>(at);
        out[0] = float((word >> 16) & 0xFF) / 255.0f;
        out[1] = float((word >> 8) & 0xFF) / 255.0f;
        out[2] = float(word & 0xFF) / 255.0f;
        break;
    }
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 3; ++i)
            out[i] = type == D3DDECLTYPE_UBYTE4 ? float(at[i]) : float(at[i]) / 255.0f;
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
    {
        const int n = (type == D3DDECLTYPE_SHORT2 || type == D3DDECLTYPE_SHORT2N) ? 2 : 3;
        const float scale = type >= D3DDECLTYPE_SHORT2N ? 1.0f / 32767.0f : 1.0f;
        for (int i = 0; i < n; ++i)
            out[i] = float(Load<int16_t>(at + 2 * i)) * scale;
        break;
    }
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
    {
        const int n = type == D3DDECLTYPE_USHORT2N ? 2 : 3;
        for (int i = 0; i < n; ++i)
            out[i] = float(Load<uint16_t>(at + 2 * i)) / 65535.0f;
        break;
    }
    case D3DDECLTYPE_UDEC3:
    {
        const uint32_t word = Load<uint32_t>(at);
        for (int i = 0; i < 3; ++i)
            out[i] = float((word >> (10 * i)) & 0x3FF);
        break;
    }
    case D3DDECLTYPE_DEC3N:
    {
        const uint32_t word = Load<uint32_t>(at);
        for (int i = 0; i < 3; ++i)
            out[i] = SignedField10(word, 10 * i);
        break;
    }
    default:
        break;
    }
}

void VertexDeclaration::ReadTexCoord(int32_t type, float* out, const void* element)
{
    float v[3];
    ReadVector(type, v, element);
    out[0] = v[0];
    out[1] = v[1];
}

void VertexDeclaration::GetTexCoordRange(const TexCoords* coordinates, int32_t count, TexCoords* minimum,
                                         TexCoords* maximum)
{
    if (count <= 0)
    {
        *minimum = *maximum = {0.0f, 0.0f};
        return;
    }
    *minimum = *maximum = coordinates[0];
    for (int32_t i = 1; i < count; ++i)
    {
        minimum->u = std::min(minimum->u, coordinates[i].u);
        minimum->v = std::min(minimum->v, coordinates[i].v);
        maximum->u = std::max(maximum->u, coordinates[i].u);
        maximum->v = std::max(maximum->v, coordinates[i].v);
    }
}

int32_t VertexDeclaration::ChooseTexCoordType(const TexCoords* coordinates, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        if (std::isnan(coordinates[i].u) || std::isnan(coordinates[i].v))
            return D3DDECLTYPE_FLOAT2;
    TexCoords low, high;
    GetTexCoordRange(coordinates, count, &low, &high);
    if (high.u > 1.0f || high.v > 1.0f)
        return D3DDECLTYPE_FLOAT2;
    const DWORD types = D3D9Device::GetCaps() ? D3D9Device::GetCaps()->DeclTypes : 0;
    if (low.u >= 0.0f && low.v >= 0.0f)
    {
        if (types & D3DDTCAPS_USHORT2N)
            return D3DDECLTYPE_USHORT2N;
        return (types & D3DDTCAPS_DEC3N) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_D3DCOLOR;
    }
    if (low.u >= -1.0f && low.v >= -1.0f)
    {
        if (types & D3DDTCAPS_SHORT2N)
            return D3DDECLTYPE_SHORT2N;
        if (types & D3DDTCAPS_DEC3N)
            return D3DDECLTYPE_DEC3N;
    }
    return D3DDECLTYPE_FLOAT2;
}
