// Tests of geometries: creation and its flags, morph targets and spheres, the geometry
// chunk reader against the tool writer, the mesh extension, and damaged streams.
#include "error.h"
#include "geometry.h"
#include "geometrywriter.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace
{

using Geometries = WorldFixture;

TEST_F(Geometries, CreateDerivesTexCoordSetsAndStoredFlags)
{
    const struct
    {
        uint32_t format;
        int32_t sets;
        uint32_t stored;
    } cases[] = {
        {0x84, 2, 0x80}, {0x00030000, 3, 0x80}, {0x04, 1, 0x04}, {0x0100003B, 0, 0x0100003B}, {0x00010080, 1, 0x04}};
    for (const auto& c : cases)
    {
        Geometry* g = Geometry::Create(10, 4, c.format);
        ASSERT_NE(g, nullptr) << std::hex << c.format;
        EXPECT_EQ(g->numTexCoordSets, c.sets) << std::hex << c.format;
        EXPECT_EQ(g->flags, c.stored) << std::hex << c.format;
        EXPECT_EQ(g->refCount, 1);
        EXPECT_EQ(g->numMorphTargets, 1);
        EXPECT_EQ(g->triangles == nullptr, (c.format & kGeometryNative) != 0);
        if (g->triangles)
        {
            EXPECT_EQ(g->triangles[3].material, -1);
        }
        Geometry::Destroy(g);
    }
}

TEST_F(Geometries, CreateRefusesBadCounts)
{
    EXPECT_EQ(Geometry::Create(65536, 1, 0), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, 2);
    EXPECT_EQ(e.code, 6);
    EXPECT_EQ(Geometry::Create(-1, 0, 0), nullptr);
    EXPECT_EQ(Geometry::Create(3, -1, 0), nullptr);
    Geometry* max = Geometry::Create(65535, 0, kGeometryPositions);
    EXPECT_NE(max, nullptr);
    Geometry::Destroy(max);
}

TEST_F(Geometries, MorphTargetsKeepTheirVerticesWhenMoreAreAdded)
{
    Geometry* g = Geometry::Create(4, 0, kGeometryPositions | kGeometryNormals);
    const Vector points[4] = {{-1, 0, 0}, {1, 0, 0}, {0, 2, 0}, {0, -2, 0}};
    std::copy(points, points + 4, g->morphTargets[0].positions);
    g->morphTargets[0].normals[3] = {0, 0, 1};
    ASSERT_EQ(Geometry::AddMorphTargets(g, 2), 1);
    EXPECT_EQ(g->numMorphTargets, 3);
    EXPECT_EQ(g->morphTargets[0].positions[2].y, 2.0f);
    EXPECT_EQ(g->morphTargets[0].normals[3].z, 1.0f);
    EXPECT_EQ(g->morphTargets[2].parent, g);
    EXPECT_EQ(g->morphTargets[2].positions[3].y, 0.0f);
    Sphere sphere;
    MorphTarget::CalcBoundingSphere(&g->morphTargets[0], &sphere);
    EXPECT_FLOAT_EQ(sphere.radius, 2.0f * 1.001f);
    EXPECT_EQ(sphere.centre.y, 0.0f);
    Geometry::Destroy(g);
}

GeometryDescription Quad(uint32_t format = kGeometryPositions | kGeometryTextured | kGeometryPrelit)
{
    GeometryDescription d;
    d.format = format;
    d.numVertices = 4;
    d.prelit = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    d.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    d.triangles = {{0, 1, 2, 0}, {1, 3, 2, 1}};
    d.targets = {{{0.5f, 0.5f, 0, 0.75f}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {}}};
    GeometryDescription::Material red, glass;
    red.colour = {255, 0, 0, 255};
    glass.colour = {0, 0, 255, 100};
    d.materials = {red, glass};
    d.listEntries = {0, 1};
    return d;
}

Geometry* ReadGeometry(std::vector<uint8_t>& bytes)
{
    Stream* in = OpenReader(bytes);
    Geometry* g = nullptr;
    if (Stream::FindChunk(in, 15, nullptr, nullptr))
        g = Geometry::StreamRead(in);
    Stream::Close(in, nullptr);
    return g;
}

TEST_F(Geometries, WrittenChunksReadBackWithArraysInsideOrAfterTheStruct)
{
    for (uint32_t version : {0x36003u, 0x34000u})
        for (bool after : {false, true})
        {
            GeometryDescription d = Quad();
            d.version = version;
            d.arraysAfterStruct = after;
            std::vector<uint8_t> bytes = GeometryWriter::Write(d);
            // The struct's length: the head alone, or the head with every array.
            uint32_t head = version == 0x34000 ? 28 : 16, structSize;
            std::memcpy(&structSize, bytes.data() + 16, 4);
            EXPECT_EQ(structSize, after ? head : head + 4 * 4 + 4 * 8 + 2 * 8 + 24 + 4 * 12);
            Geometry* g = ReadGeometry(bytes);
            ASSERT_NE(g, nullptr) << std::hex << version << " " << after;
            EXPECT_EQ(g->numVertices, 4);
            EXPECT_EQ(g->numTriangles, 2);
            EXPECT_EQ(g->prelit[2].red, 9);
            EXPECT_EQ(g->texCoords[0][3].u, 1.0f);
            EXPECT_EQ(g->triangles[1].vertex[0], 1);
            EXPECT_EQ(g->triangles[1].vertex[1], 3);
            EXPECT_EQ(g->triangles[1].vertex[2], 2);
            EXPECT_EQ(g->triangles[1].material, 1);
            EXPECT_EQ(g->morphTargets[0].boundingSphere.radius, 0.75f);
            EXPECT_EQ(g->morphTargets[0].positions[3].x, 1.0f);
            EXPECT_EQ(g->materials.count, 2);
            // Built on read: the opaque red mesh first.
            ASSERT_EQ(g->meshHeader->numMeshes, 2);
            EXPECT_EQ(MeshHeader::Meshes(g->meshHeader)[0].material, g->materials.materials[0]);
            Geometry::Destroy(g);
    }
}

TEST_F(Geometries, MeshExtensionRoundTrips)
{
    std::vector<uint8_t> first = GeometryWriter::Write(Quad());
    Geometry* g = ReadGeometry(first);
    ASSERT_NE(g, nullptr);
    int32_t size = PluginRegistry::GetExtensionSize(Geometry::Registry(), g);
    EXPECT_EQ(size, 12 + 12 + 4 * (6 + 2 * 2));
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(PluginRegistry::WriteExtensionChunk(Geometry::Registry(), out, g), nullptr);
    std::vector<uint8_t> extension = CloseWriter(out);
    // Hand the written extension to a new read in place of the built header.
    GeometryDescription d = Quad();
    d.extension.assign(extension.begin() + 12, extension.end());
    std::vector<uint8_t> bytes = GeometryWriter::Write(d);
    Geometry* again = ReadGeometry(bytes);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(again->meshHeader->numMeshes, g->meshHeader->numMeshes);
    for (int m = 0; m < g->meshHeader->numMeshes; ++m)
    {
        const Mesh& a = MeshHeader::Meshes(g->meshHeader)[m];
        const Mesh& b = MeshHeader::Meshes(again->meshHeader)[m];
        EXPECT_EQ(std::vector<uint16_t>(a.indices, a.indices + a.numIndices),
                  std::vector<uint16_t>(b.indices, b.indices + b.numIndices));
        EXPECT_EQ(MaterialList::FindMaterialIndex(&g->materials, a.material),
                  MaterialList::FindMaterialIndex(&again->materials, b.material));
    }
    EXPECT_NE(again->meshHeader->serialNumber, g->meshHeader->serialNumber);
    Geometry::Destroy(again);
    Geometry::Destroy(g);
}

TEST_F(Geometries, MeshExtensionsWithBadCountsOrIndicesAreRefused)
{
    const std::vector<std::pair<int32_t, std::vector<uint32_t>>> bad[] = {
        {{-1, {0, 1, 2}}}, // no material
        {{2, {0, 1, 2}}},  // material past the list
        {{0, {0, 1, 4}}},  // vertex past the arrays
    };
    for (const auto& meshes : bad)
    {
        GeometryDescription d = Quad();
        d.extension = GeometryWriter::WriteMeshExtension(0, meshes);
        std::vector<uint8_t> bytes = GeometryWriter::Write(d);
        EXPECT_EQ(ReadGeometry(bytes), nullptr);
        TakeError();
    }
    // A total that disagrees with the sub-chunk's length.
    GeometryDescription d = Quad();
    d.extension = GeometryWriter::WriteMeshExtension(0, {{0, {0, 1, 2}}});
    d.extension[12 + 8] = 200;
    std::vector<uint8_t> bytes = GeometryWriter::Write(d);
    EXPECT_EQ(ReadGeometry(bytes), nullptr);
    TakeError();
}

TEST_F(Geometries, TrianglesNamingMissingVerticesOrMaterialsAreRefused)
{
    GeometryDescription d = Quad();
    d.triangles[1].v1 = 4;
    std::vector<uint8_t> bytes = GeometryWriter::Write(d);
    EXPECT_EQ(ReadGeometry(bytes), nullptr);
    d = Quad();
    d.triangles[0].material = 2;
    bytes = GeometryWriter::Write(d);
    EXPECT_EQ(ReadGeometry(bytes), nullptr);
    TakeError();
}

TEST_F(Geometries, CountsBeyondTheChunkAreRefusedBeforeAllocating)
{
    const struct
    {
        uint32_t format;
        uint32_t triangles, vertices, targets;
    } heads[] = {
        {kGeometryPositions, 0, 65535, 300},   {kGeometryPositions | kGeometryNormals, 0, 65535, 1},
        {kGeometryPositions, 0x7FFFFFF, 3, 1}, {kGeometryPositions, 0, 0, 65535},
        {kGeometryNative, 0, 0, 65535},        {kGeometryPositions, 2, 0, 1}, // triangles without vertices to name
    };
    size_t largest = 0;
    TestMemory::refuse = [&](size_t size, uint32_t)
    {
        largest = std::max(largest, size);
        return false;
    };
    for (const auto& h : heads)
    {
        // A 128-byte geometry chunk: the head, then zeros.
        ChunkBuilder c;
        c.Header(15, 116).Header(1, 16).U32(h.format).U32(h.triangles).U32(h.vertices).U32(h.targets);
        c.bytes.resize(128 + 12);
        largest = 0;
        EXPECT_EQ(ReadGeometry(c.bytes), nullptr) << h.vertices << " " << h.targets;
        EXPECT_LT(largest, size_t(4096)) << h.vertices << " " << h.targets;
        TakeError();
        // Bounded by the chunk header's size too, as a clump's reader passes it.
        std::vector<uint8_t> bytes = c.bytes;
        bytes.resize(bytes.size() + (1 << 16));
        Stream* in = OpenReader(bytes);
        uint32_t size = 0;
        ASSERT_TRUE(Stream::FindChunk(in, 15, &size, nullptr));
        largest = 0;
        EXPECT_EQ(Geometry::StreamRead(in, size), nullptr);
        EXPECT_LT(largest, size_t(4096));
        Stream::Close(in, nullptr);
        TakeError();
    }
}

TEST_F(Geometries, MutatedStreamsAreRefusedWithoutACrash)
{
    GeometryDescription d = Quad(kGeometryPositions | kGeometryTextured | kGeometryPrelit | kGeometryNormals);
    d.targets[0].normals = std::vector<float>(12, 0.5f);
    d.extension = GeometryWriter::WriteMeshExtension(0, {{0, {0, 1, 2}}, {1, {1, 3, 2}}});
    const std::vector<uint8_t> good = GeometryWriter::Write(d);
    {
        std::vector<uint8_t> copy = good;
        Geometry* g = ReadGeometry(copy);
        ASSERT_NE(g, nullptr);
        Geometry::Destroy(g);
    }
    for (size_t at = 12; at < good.size(); ++at)
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80), uint8_t(0x03)})
        {
            std::vector<uint8_t> bytes = good;
            bytes[at] = value;
            if (Geometry* g = ReadGeometry(bytes))
                Geometry::Destroy(g);
            TakeError();
        }
    for (size_t cut = 0; cut < good.size(); cut += 7)
    {
        std::vector<uint8_t> bytes(good.begin(), good.begin() + long(cut));
        EXPECT_EQ(ReadGeometry(bytes), nullptr) << cut;
        TakeError();
    }
}

} // namespace
