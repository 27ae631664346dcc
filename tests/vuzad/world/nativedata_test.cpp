// Native geometry data: written and read back to the same instance record, indices, vertex
// bytes and materials; the size formula; objects that are not native write nothing; two
// streams with and without the stream-offset cap; another platform's data, an unreadable
// version and inconsistent counts refused; and a sweep of damaged copies.
#include "atomicnode.h"
#include "chunk.h"
#include "d3d9worldfixture.h"
#include "memory.h"
#include "nativedata.h"
#include "resourcearena.h"
#include "streamfixture.h"
#include "worldd3d9.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace
{

/// A lit quad of two triangles with a material each, so that it has two meshes.
GeometryDescription TwoMaterialQuad()
{
    GeometryDescription d;
    d.format = kGeometryPositions | kGeometryNormals | kGeometryTextured | kGeometryPrelit | kGeometryLight;
    d.numVertices = 4;
    d.prelit = {{1, 2, 3, 255}, {4, 5, 6, 128}, {7, 8, 9, 255}, {10, 11, 12, 255}};
    d.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    d.triangles = {{0, 1, 2, 0}, {1, 3, 2, 1}};
    d.targets = {{{0, 0, 0, 1.5f}, {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0}, {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1}}};
    GeometryDescription::Material red, blue;
    red.colour = {255, 0, 0, 255};
    blue.colour = {0, 0, 255, 255};
    d.materials = {red, blue};
    d.listEntries = {0, 1};
    return d;
}

int32_t TakeCode()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

// Offsets in the written bytes.
constexpr size_t kVersionAt = 8;
constexpr size_t kPlatformAt = 12;
constexpr size_t kRecordSizeAt = 16;
constexpr size_t kRecordAt = 20;

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at)
{
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

class NativeDataTest : public d3d9world::D3D9WorldTest
{
protected:
    /// A geometry from the writer, instanced through its atomic and so made native.
    Geometry* NativeGeometry(const GeometryDescription& description, uint32_t vertexShaderFlags = 0)
    {
        Geometry* g = ReadGeometry(description);
        EXPECT_NE(g, nullptr);
        if (!g)
            return nullptr;
        VertexShaderFlags::Set(g, vertexShaderFlags);
        return MakeNative(g);
    }

    Geometry* MakeNative(Geometry* g)
    {
        Atomic* atomic = MakeAtomic(g);
        Geometry::AddRef(g);
        EXPECT_EQ(Atomic::Instance(atomic), 1);
        EXPECT_NE(g->flags & kGeometryNative, 0u);
        EXPECT_NE(g->instanceData, nullptr);
        mGeometries.push_back(g);
        return g;
    }

    /// Another geometry of the same description, marked native, without instance data.
    Geometry* Receiver(const GeometryDescription& description)
    {
        Geometry* g = ReadGeometry(description);
        EXPECT_NE(g, nullptr);
        if (g)
        {
            g->flags |= kGeometryNative;
            mGeometries.push_back(g);
        }
        return g;
    }

    void TearDown() override
    {
        for (Geometry* g : mGeometries)
            Geometry::Destroy(g);
        mGeometries.clear();
        D3D9WorldTest::TearDown();
    }

    static std::vector<uint8_t> Write(const Geometry* g)
    {
        Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_EQ(NativeData::WriteGeometry(out, g), out);
        return CloseWriter(out);
    }

    /// A read into a geometry without data.
    static Geometry* Read(std::vector<uint8_t> bytes, Geometry* into)
    {
        if (into->instanceData)
            ResourceArena::Free(into->instanceData);
        Stream* in = OpenReader(bytes);
        Geometry* result = NativeData::ReadGeometry(in, into, int32_t(bytes.size()));
        Stream::Close(in, nullptr);
        return result;
    }

    static std::vector<BYTE> StreamBytes(const InstanceHeader* h, int i)
    {
        std::vector<BYTE> bytes;
        EXPECT_TRUE(d3d9test::ReadBuffer(h->streams[i].vertexBuffer, bytes));
        const size_t from = h->streams[i].managed ? h->streams[i].offset : 0;
        const size_t size = size_t(h->streams[i].stride) * h->totalVertexCount;
        return std::vector<BYTE>(bytes.begin() + ptrdiff_t(from), bytes.begin() + ptrdiff_t(from + size));
    }

    std::vector<Geometry*> mGeometries;
};

TEST_F(NativeDataTest, WrittenAndReadBackTheRecordIndicesVertexBytesAndMaterialsAreTheSame)
{
    StartWorld();
    Geometry* g = NativeGeometry(TwoMaterialQuad());
    ASSERT_NE(g, nullptr);
    const std::vector<uint8_t> bytes = Write(g);
    ASSERT_EQ(int32_t(bytes.size()), NativeData::GeometrySize(g));
    EXPECT_EQ(Get32(bytes, kPlatformAt), 9u);

    Geometry* back = Receiver(TwoMaterialQuad());
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(Read(bytes, back), back);
    ASSERT_NE(back->instanceData, nullptr);
    EXPECT_EQ(back->instanceData->link.next, nullptr) << "not an arena entry";
    const InstanceHeader* a = InstanceData::Header(g->instanceData);
    const InstanceHeader* b = InstanceData::Header(back->instanceData);
    EXPECT_EQ(b->serialNumber, back->meshHeader->serialNumber) << "tied to the mesh header read with it";
    EXPECT_EQ(b->meshCount, 2u);
    EXPECT_EQ(b->meshCount, a->meshCount);
    EXPECT_EQ(b->primitiveType, a->primitiveType);
    EXPECT_EQ(b->totalIndexCount, a->totalIndexCount);
    EXPECT_EQ(b->totalVertexCount, a->totalVertexCount);
    EXPECT_EQ(b->useOffsets, a->useOffsets);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(b->streams[i].stride, a->streams[i].stride) << i;
        EXPECT_EQ(b->streams[i].geometryFlags, a->streams[i].geometryFlags) << i;
        EXPECT_EQ(b->streams[i].managed, a->streams[i].managed) << i;
        EXPECT_EQ(b->streams[i].vertexBuffer != nullptr, a->streams[i].vertexBuffer != nullptr) << i;
    }
    for (uint32_t m = 0; m < a->meshCount; ++m)
    {
        const InstanceMesh& x = InstanceHeader::Meshes(a)[m];
        const InstanceMesh& y = InstanceHeader::Meshes(b)[m];
        EXPECT_EQ(y.indexCount, x.indexCount);
        EXPECT_EQ(y.minimumVertex, x.minimumVertex);
        EXPECT_EQ(y.vertexAlpha, x.vertexAlpha);
        EXPECT_EQ(y.vertexCount, x.vertexCount);
        EXPECT_EQ(y.startIndex, x.startIndex);
        EXPECT_EQ(y.primitiveCount, x.primitiveCount);
        EXPECT_EQ(y.baseIndex - b->streams[0].offset / b->streams[0].stride,
                  x.baseIndex - a->streams[0].offset / a->streams[0].stride);
        EXPECT_EQ(MaterialList::FindMaterialIndex(&back->materials, y.material),
                  MaterialList::FindMaterialIndex(&g->materials, x.material));
        EXPECT_NE(y.material, nullptr);
    }
    std::vector<BYTE> ia, ib;
    ASSERT_TRUE(d3d9test::ReadBuffer(a->indexBuffer, ia));
    ASSERT_TRUE(d3d9test::ReadBuffer(b->indexBuffer, ib));
    EXPECT_EQ(ib, ia);
    EXPECT_EQ(StreamBytes(b, 0), StreamBytes(a, 0));
    UINT na = 0, nb = 0;
    a->vertexDeclaration->GetDeclaration(nullptr, &na);
    b->vertexDeclaration->GetDeclaration(nullptr, &nb);
    EXPECT_EQ(nb, na);

    // The geometry read draws through the default atomic pipeline as it is.
    Atomic* atomic = MakeAtomic(back);
    Geometry::AddRef(back);
    Device()->BeginScene();
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    EXPECT_EQ(Atomic::DefaultRender(atomic), atomic);
    d3d9test::EnableCallLog(false);
    Device()->EndScene();
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 2u);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 0u) << "nothing instanced again";
}

TEST_F(NativeDataTest, TheSizeIsTheBodyAndHeaderAndObjectsThatAreNotNativeWriteNothing)
{
    StartWorld();
    // One unindexed mesh of 100 vertices, stride 24 (position, packed normal, one texture set).
    Geometry* g = Geometry::Create(100, 0, kGeometryPositions | kGeometryNormals | kGeometryTextured);
    ASSERT_NE(g, nullptr);
    for (int v = 0; v < 100; ++v)
    {
        g->morphTargets[0].positions[v] = {float(v), 0, 0};
        g->morphTargets[0].normals[v] = {0, 0, 1};
        g->texCoords[0][v] = {0.5f, 0.25f};
    }
    auto* header = static_cast<MeshHeader*>(Memory::Allocate(sizeof(MeshHeader) + sizeof(Mesh), 0));
    *header = {kMeshHeaderUnindexed, 1, 0x4242, 100, 0};
    MeshHeader::Meshes(header)[0] = {nullptr, 100, nullptr};
    g->meshHeader = header;

    // Not native yet: nothing.
    EXPECT_EQ(NativeData::GeometrySize(g), 0);
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    EXPECT_EQ(NativeData::WriteGeometry(out, g), out);
    EXPECT_TRUE(CloseWriter(out).empty());

    MakeNative(g);
    const InstanceHeader* h = InstanceData::Header(g->instanceData);
    ASSERT_EQ(h->streams[0].stride, 24u);
    ASSERT_EQ(h->indexBuffer, nullptr);
    const int32_t n = 4; // position, normal, texture set, end
    EXPECT_EQ(NativeData::GeometrySize(g), 12 + 4 + 4 + 100 + 4 + 8 * n + 32 + 2400);
    const std::vector<uint8_t> bytes = Write(g);
    EXPECT_EQ(int32_t(bytes.size()), NativeData::GeometrySize(g)) << "no index bytes";
    EXPECT_EQ(Get32(bytes, kRecordSizeAt), 100u);
    EXPECT_EQ(Get32(bytes, kRecordAt + 100), uint32_t(n));
}

TEST_F(NativeDataTest, TwoStreamsUseOffsetsOnlyWhereTheDeviceCanOffsetStreams)
{
    for (bool offsets : {true, false})
    {
        SCOPED_TRACE(offsets ? "stream offsets" : "no stream offsets");
        d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
        StartWorld(adapter);
        // Positions in the first stream, the rest in the second.
        Geometry* g = NativeGeometry(TwoMaterialQuad(), kVsFlagPositions);
        ASSERT_NE(g, nullptr);
        ASSERT_NE(InstanceData::Header(g->instanceData)->streams[1].vertexBuffer, nullptr);
        const std::vector<uint8_t> bytes = Write(g);
        if (!offsets)
            D3D9Device::GetCapsForUpdate()->DevCaps2 &= ~D3DDEVCAPS2_STREAMOFFSET;
        Geometry* back = Receiver(TwoMaterialQuad());
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(Read(bytes, back), back);
        const InstanceHeader* h = InstanceData::Header(back->instanceData);
        EXPECT_EQ(h->useOffsets, offsets ? 1u : 0u);
        for (uint32_t m = 0; m < h->meshCount; ++m)
            EXPECT_EQ(InstanceHeader::Meshes(h)[m].baseIndex, InstanceHeader::Meshes(h)[m].minimumVertex);
        EXPECT_EQ(h->streams[0].stride, 12u);
        EXPECT_EQ(StreamBytes(h, 1), StreamBytes(InstanceData::Header(g->instanceData), 1));
        for (Geometry* each : mGeometries)
            Geometry::Destroy(each);
        mGeometries.clear();
        for (Atomic* atomic : mAtomics)
            Atomic::Destroy(atomic);
        mAtomics.clear();
        for (Frame* frame : mFrames)
            Frame::Destroy(frame);
        mFrames.clear();
        ShutDown();
    }
}

TEST_F(NativeDataTest, AnotherPlatformAnUnreadableVersionAndInconsistentCountsAreRefused)
{
    StartWorld();
    Geometry* g = NativeGeometry(TwoMaterialQuad());
    ASSERT_NE(g, nullptr);
    const std::vector<uint8_t> bytes = Write(g);
    Geometry* back = Receiver(TwoMaterialQuad());
    ASSERT_NE(back, nullptr);
    TakeCode();

    std::vector<uint8_t> other = bytes;
    Put32(other, kPlatformAt, 8);
    EXPECT_EQ(Read(other, back), nullptr);
    EXPECT_EQ(back->instanceData, nullptr);
    EXPECT_EQ(TakeCode(), kErrNone) << "refused without an error";

    std::vector<uint8_t> newer = bytes;
    Put32(newer, kVersionAt, LibraryStamp::Encode(0x37000, 0xFFFF));
    EXPECT_EQ(Read(newer, back), nullptr);
    EXPECT_EQ(TakeCode(), kErrBadVersion);

    const uint32_t recordSize = Get32(bytes, kRecordSizeAt);
    const struct
    {
        const char* what;
        size_t at;
        uint32_t value;
    } damaged[] = {
        {"record size off by one mesh", kRecordSizeAt, recordSize + 36},
        {"record size below the header", kRecordSizeAt, 12},
        {"mesh count past the record", kRecordAt + 4, 3},
        {"element count above 20", kRecordAt + recordSize, 21},
        {"element count 0", kRecordAt + recordSize, 0},
        {"vertex count past the stream", kRecordAt + 60, 0x40000000},
        {"index count past the stream", kRecordAt + 56, 0x7FFFFFFF},
        {"material past the list", kRecordAt + 64 + 8, 2},
        {"mesh vertices past the total", kRecordAt + 64 + 24, 5},
        {"primitives past the indices", kRecordAt + 64 + 32, 2},
        {"unknown primitive type", kRecordAt + 12, 9},
    };
    for (const auto& d : damaged)
    {
        std::vector<uint8_t> copy = bytes;
        Put32(copy, d.at, d.value);
        EXPECT_EQ(Read(copy, back), nullptr) << d.what;
        EXPECT_EQ(back->instanceData, nullptr) << d.what;
        EXPECT_NE(TakeCode(), kErrNone) << d.what;
    }

    // Damaged copies never crash and either attach complete data or nothing.
    std::mt19937 random(1296);
    for (int round = 0; round < 2000; ++round)
    {
        std::vector<uint8_t> copy = bytes;
        const int flips = 1 + int(random() % 4);
        for (int f = 0; f < flips; ++f)
            copy[random() % copy.size()] = uint8_t(random());
        if (random() % 8 == 0)
            copy.resize(random() % copy.size());
        if (Read(copy, back))
            ASSERT_NE(back->instanceData, nullptr);
        else
            ASSERT_EQ(back->instanceData, nullptr);
        TakeCode();
    }
    ASSERT_EQ(Read(bytes, back), back);
}

} // namespace
