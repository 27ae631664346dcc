// Native geometry data: the writer, reader and size of the instanced form of geometries and
// world sectors, and the stream callbacks of the native-data plug-in.
#include "nativedata.h"

#include "byteorder.h"
#include "chunk.h"
#include "d3d9device.h"
#include "d3d9vertexbuffer.h"
#include "geometry.h"
#include "instancedata.h"
#include "memory.h"
#include "resourcearena.h"
#include "stream.h"
#include "vertexdeclaration.h"
#include "world.h"
#include "world_local.h"

#include <cstring>
#include <vector>

namespace
{

// The stream form of the instance record: every field 4 bytes (pointers too), but the
// stream records' geometry flags (2) and managed and dynamic-lock bytes (1 each).
constexpr uint32_t kHeaderBytes = 64;
constexpr uint32_t kMeshBytes = 36;
constexpr uint32_t kStreamBytes = 16;
constexpr uint32_t kElementBytes = 8;
/// Declarations built by the world module hold far fewer; more is a damaged stream.
constexpr uint32_t kMaxElements = 20;
constexpr uint32_t kInstanceHint = 0x3050D;
constexpr uint32_t kNoMaterial = 0xFFFFFFFF;
constexpr uint8_t kLastDeclarationUsage = 13; // D3DDECLUSAGE_SAMPLE

/// What the data belongs to: the object, its instance-data field, the list its meshes'
/// materials are indices into, and its mesh header.
struct Owner
{
    void* object;
    ResourceEntry** reference;
    const MaterialList* materials;
    const MeshHeader* meshHeader;
    bool dynamic; ///< several morph targets: the streams are dynamic buffers
};

bool Indexed(const InstanceHeader* h)
{
    return h->indexBuffer && h->totalIndexCount;
}

uint32_t ElementCount(const InstanceHeader* h)
{
    UINT n = 0;
    if (!h->vertexDeclaration || FAILED(h->vertexDeclaration->GetDeclaration(nullptr, &n)))
        return 0;
    return n;
}

uint64_t RecordBytes(const InstanceHeader* h)
{
    return kHeaderBytes + uint64_t(kMeshBytes) * h->meshCount;
}

uint64_t StreamDataBytes(const InstanceHeader* h, int32_t i)
{
    const InstanceStream& s = h->streams[i];
    return s.vertexBuffer ? uint64_t(s.stride) * h->totalVertexCount : 0;
}

uint64_t BodyBytes(const InstanceHeader* h, uint32_t elements)
{
    return 4 + 4 + RecordBytes(h) + 4 + uint64_t(kElementBytes) * elements +
           (Indexed(h) ? 2 * uint64_t(h->totalIndexCount) : 0) + 2 * kStreamBytes + StreamDataBytes(h, 0) +
           StreamDataBytes(h, 1);
}

int32_t SizeOf(const ResourceEntry* entry)
{
    if (!entry)
        return 0;
    const InstanceHeader* h = InstanceData::Header(const_cast<ResourceEntry*>(entry));
    const uint64_t size = kChunkHeaderSize + BodyBytes(h, ElementCount(h));
    return size <= uint64_t(INT32_MAX) ? int32_t(size) : 0;
}

void PutStream(uint8_t* p, const InstanceStream& s)
{
    ByteOrder::Store32(p, s.vertexBuffer ? 1 : 0);
    ByteOrder::Store32(p + 4, s.offset);
    ByteOrder::Store32(p + 8, s.stride);
    p[12] = uint8_t(s.geometryFlags);
    p[13] = uint8_t(s.geometryFlags >> 8);
    p[14] = s.managed;
    p[15] = s.dynamicLock;
}

/// The record with the buffer field as a presence flag.
InstanceStream GetStream(const uint8_t* p, bool* hasData)
{
    *hasData = ByteOrder::Load32(p) != 0;
    InstanceStream s{};
    s.offset = ByteOrder::Load32(p + 4);
    s.stride = ByteOrder::Load32(p + 8);
    s.geometryFlags = ByteOrder::Load16(p + 12);
    s.managed = p[14];
    s.dynamicLock = p[15];
    return s;
}

bool LockStream(const InstanceStream& s, uint32_t bytes, DWORD flags, void** data)
{
    const UINT offset = s.managed ? s.offset : 0;
    *data = nullptr;
    return SUCCEEDED(s.vertexBuffer->Lock(offset, bytes, data, flags)) && *data;
}

// ---- Writing ------------------------------------------------------------------------------------------

Stream* Write(Stream* stream, ResourceEntry* entry, const MaterialList* materials)
{
    const InstanceHeader* h = InstanceData::Header(entry);
    const uint32_t n = ElementCount(h);
    if (n == 0 || n > kMaxElements)
        return nullptr;
    D3DVERTEXELEMENT9 elements[kMaxElements];
    UINT got = n;
    if (FAILED(h->vertexDeclaration->GetDeclaration(elements, &got)) || got != n)
        return nullptr;
    const uint64_t body = BodyBytes(h, n);
    if (body > 0xFFFFFFFFu)
        return nullptr;

    const bool indexed = Indexed(h);
    std::vector<uint8_t> out(size_t(4 + 4 + RecordBytes(h) + 4 + kElementBytes * n));
    uint8_t* p = out.data();
    ByteOrder::Store32(p, NativeData::kPlatformId);
    ByteOrder::Store32(p + 4, uint32_t(RecordBytes(h)));
    p += 8;
    ByteOrder::Store32(p, h->serialNumber);
    ByteOrder::Store32(p + 4, h->meshCount);
    ByteOrder::Store32(p + 8, indexed ? 1 : 0);
    ByteOrder::Store32(p + 12, h->primitiveType);
    PutStream(p + 16, h->streams[0]);
    PutStream(p + 32, h->streams[1]);
    ByteOrder::Store32(p + 48, h->useOffsets);
    ByteOrder::Store32(p + 52, 0);
    ByteOrder::Store32(p + 56, indexed ? h->totalIndexCount : 0);
    ByteOrder::Store32(p + 60, h->totalVertexCount);
    p += kHeaderBytes;
    const InstanceMesh* meshes = InstanceHeader::Meshes(h);
    for (uint32_t m = 0; m < h->meshCount; ++m, p += kMeshBytes)
    {
        const InstanceMesh& mesh = meshes[m];
        const int32_t index = mesh.material ? MaterialList::FindMaterialIndex(materials, mesh.material) : -1;
        ByteOrder::Store32(p, mesh.indexCount);
        ByteOrder::Store32(p + 4, mesh.minimumVertex);
        ByteOrder::Store32(p + 8, index < 0 ? kNoMaterial : uint32_t(index));
        ByteOrder::Store32(p + 12, mesh.vertexAlpha);
        ByteOrder::Store32(p + 16, 0);
        ByteOrder::Store32(p + 20, mesh.baseIndex);
        ByteOrder::Store32(p + 24, mesh.vertexCount);
        ByteOrder::Store32(p + 28, mesh.startIndex);
        ByteOrder::Store32(p + 32, mesh.primitiveCount);
    }
    ByteOrder::Store32(p, n);
    p += 4;
    for (uint32_t i = 0; i < n; ++i, p += kElementBytes)
    {
        const D3DVERTEXELEMENT9& e = elements[i];
        p[0] = uint8_t(e.Stream);
        p[1] = uint8_t(e.Stream >> 8);
        p[2] = uint8_t(e.Offset);
        p[3] = uint8_t(e.Offset >> 8);
        p[4] = e.Type;
        p[5] = e.Method;
        p[6] = e.Usage;
        p[7] = e.UsageIndex;
    }
    if (!Stream::WriteChunkHeader(stream, kChunkStruct, uint32_t(body), kLibraryVersion, kLibraryBuild) ||
        !Stream::Write(stream, out.data(), uint32_t(out.size())))
        return nullptr;

    if (indexed)
    {
        void* locked = nullptr;
        if (FAILED(h->indexBuffer->Lock(0, 0, &locked, 0)) || !locked)
            return nullptr;
        std::vector<uint8_t> bytes(size_t(h->totalIndexCount) * 2);
        const auto* indices = static_cast<const uint16_t*>(locked);
        for (uint32_t i = 0; i < h->totalIndexCount; ++i)
        {
            bytes[2 * i] = uint8_t(indices[i]);
            bytes[2 * i + 1] = uint8_t(indices[i] >> 8);
        }
        h->indexBuffer->Unlock();
        if (!Stream::Write(stream, bytes.data(), uint32_t(bytes.size())))
            return nullptr;
    }
    for (int32_t i = 0; i < 2; ++i)
    {
        const InstanceStream& s = h->streams[i];
        uint8_t record[kStreamBytes];
        PutStream(record, s);
        if (!Stream::Write(stream, record, kStreamBytes))
            return nullptr;
        if (!s.vertexBuffer)
            continue;
        const uint32_t bytes = uint32_t(StreamDataBytes(h, i));
        void* data = nullptr;
        if (!LockStream(s, bytes, D3DLOCK_NOSYSLOCK, &data))
            return nullptr;
        const bool ok = Stream::Write(stream, data, bytes) != nullptr;
        s.vertexBuffer->Unlock();
        if (!ok)
            return nullptr;
    }
    return stream;
}

// ---- Reading ------------------------------------------------------------------------------------------

/// Primitives that count indices (or vertices) can make.
uint64_t MaxPrimitives(uint32_t type, uint64_t count)
{
    switch (type)
    {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count / 2;
    case D3DPT_LINESTRIP:
        return count >= 1 ? count - 1 : 0;
    case D3DPT_TRIANGLELIST:
        return count / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count >= 2 ? count - 2 : 0;
    default:
        return 0;
    }
}

/// Reads within the bytes of one struct chunk, failing rather than running past them.
struct BoundedReader
{
    Stream* stream;
    uint32_t left;

    bool Take(void* to, uint32_t bytes)
    {
        if (bytes > left || Stream::Read(stream, to, bytes) != bytes)
            return false;
        left -= bytes;
        return true;
    }
};

/// Null with the error set when code is not 0; the block, when there is one, destroyed
/// and the owner's field cleared.
void* Refuse(ResourceEntry* entry, int32_t code)
{
    if (entry)
        ResourceArena::Free(entry);
    if (code)
        WorldError(code);
    return nullptr;
}

bool ElementsFit(const D3DVERTEXELEMENT9* elements, uint32_t n, const InstanceHeader* h, const bool hasData[2])
{
    const D3DVERTEXELEMENT9& end = elements[n - 1];
    if (end.Stream != 0xFF || end.Type != D3DDECLTYPE_UNUSED)
        return false;
    for (uint32_t i = 0; i + 1 < n; ++i)
    {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Stream > 1 || !hasData[e.Stream] || e.Type >= D3DDECLTYPE_UNUSED || e.Usage > kLastDeclarationUsage ||
            uint32_t(e.Offset) + uint32_t(VertexDeclaration::GetTypeSize(e.Type)) > h->streams[e.Stream].stride)
            return false;
    }
    return true;
}

void* Read(Stream* stream, int32_t length, const Owner& owner)
{
    uint32_t type = 0, size = 0, version = 0;
    if (length < int32_t(kChunkHeaderSize) || !Stream::ReadChunkHeader(stream, &type, &size, &version, nullptr))
        return Refuse(nullptr, kErrStreamRead);
    if (type != kChunkStruct || size > uint32_t(length) - kChunkHeaderSize)
        return Refuse(nullptr, kErrStreamRead);
    if (!LibraryStamp::IsReadable(version))
        return Refuse(nullptr, kErrBadVersion);
    BoundedReader in{stream, size};
    uint8_t word[8];
    if (!in.Take(word, 8))
        return Refuse(nullptr, kErrStreamRead);
    if (ByteOrder::Load32(word) != NativeData::kPlatformId)
        return nullptr;
    const uint32_t recordBytes = ByteOrder::Load32(word + 4);
    uint8_t head[kHeaderBytes];
    if (recordBytes < kHeaderBytes || !in.Take(head, kHeaderBytes))
        return Refuse(nullptr, kErrStreamRead);
    const uint32_t meshCount = ByteOrder::Load32(head + 4);
    // The record's size must be exactly what its mesh count says.
    if (meshCount > 0xFFFF || recordBytes != kHeaderBytes + kMeshBytes * meshCount)
        return Refuse(nullptr, kErrStreamRead);
    std::vector<uint8_t> meshBytes(size_t(kMeshBytes) * meshCount);
    if (!in.Take(meshBytes.data(), uint32_t(meshBytes.size())))
        return Refuse(nullptr, kErrStreamRead);

    if (*owner.reference)
        ResourceArena::Free(*owner.reference);
    const size_t dataSize = sizeof(InstanceHeader) + size_t(meshCount) * sizeof(InstanceMesh);
    auto* entry = static_cast<ResourceEntry*>(Memory::Allocate(sizeof(ResourceEntry) + dataSize, kInstanceHint));
    if (!entry)
        return Refuse(nullptr, kErrNoMemory);
    // Not an arena entry: nothing evicts it; freeing it runs the destroy callback and
    // clears the owner's field.
    entry->link = {nullptr, nullptr};
    entry->size = dataSize;
    entry->owner = owner.object;
    entry->reference = owner.reference;
    entry->destroy = InstanceData::Destroy;
    *owner.reference = entry;
    InstanceHeader* h = InstanceData::Header(entry);
    std::memset(h, 0, dataSize);

    h->serialNumber = ByteOrder::Load32(head);
    h->meshCount = meshCount;
    h->primitiveType = ByteOrder::Load32(head + 12);
    h->useOffsets = ByteOrder::Load32(head + 48);
    h->totalIndexCount = ByteOrder::Load32(head + 56);
    h->totalVertexCount = ByteOrder::Load32(head + 60);
    if (h->primitiveType < D3DPT_POINTLIST || h->primitiveType > D3DPT_TRIANGLEFAN || h->totalVertexCount == 0)
        return Refuse(entry, kErrStreamRead);
    InstanceMesh* meshes = InstanceHeader::Meshes(h);
    for (uint32_t m = 0; m < meshCount; ++m)
    {
        const uint8_t* p = meshBytes.data() + size_t(m) * kMeshBytes;
        InstanceMesh& mesh = meshes[m];
        mesh.indexCount = ByteOrder::Load32(p);
        mesh.minimumVertex = ByteOrder::Load32(p + 4);
        const uint32_t material = ByteOrder::Load32(p + 8);
        mesh.vertexAlpha = ByteOrder::Load32(p + 12);
        mesh.vertexCount = ByteOrder::Load32(p + 24);
        mesh.startIndex = ByteOrder::Load32(p + 28);
        mesh.primitiveCount = ByteOrder::Load32(p + 32);
        if (material != kNoMaterial && material >= uint32_t(owner.materials->count))
            return Refuse(entry, kErrStreamRead);
        mesh.material = material == kNoMaterial ? nullptr : owner.materials->materials[material];
        const uint64_t drawn = h->totalIndexCount ? mesh.indexCount : mesh.vertexCount;
        if (uint64_t(mesh.minimumVertex) + mesh.vertexCount > h->totalVertexCount ||
            (h->totalIndexCount && uint64_t(mesh.startIndex) + mesh.indexCount > h->totalIndexCount) ||
            mesh.primitiveCount > MaxPrimitives(h->primitiveType, drawn))
            return Refuse(entry, kErrStreamRead);
    }

    uint8_t count[4];
    if (!in.Take(count, 4))
        return Refuse(entry, kErrStreamRead);
    const uint32_t n = ByteOrder::Load32(count);
    if (n == 0 || n > kMaxElements)
        return Refuse(entry, kErrStreamRead);
    D3DVERTEXELEMENT9 elements[kMaxElements];
    for (uint32_t i = 0; i < n; ++i)
    {
        uint8_t e[kElementBytes];
        if (!in.Take(e, kElementBytes))
            return Refuse(entry, kErrStreamRead);
        elements[i] = {ByteOrder::Load16(e), ByteOrder::Load16(e + 2), e[4], e[5], e[6], e[7]};
    }

    if (h->totalIndexCount)
    {
        const uint64_t bytes = 2 * uint64_t(h->totalIndexCount);
        if (bytes > in.left)
            return Refuse(entry, kErrStreamRead);
        std::vector<uint8_t> stored(static_cast<size_t>(bytes));
        if (!in.Take(stored.data(), uint32_t(bytes)))
            return Refuse(entry, kErrStreamRead);
        // Every index a mesh draws must stay within that mesh's vertices.
        for (uint32_t m = 0; m < meshCount; ++m)
            for (uint32_t i = 0; i < meshes[m].indexCount; ++i)
                if (ByteOrder::Load16(stored.data() + 2 * (size_t(meshes[m].startIndex) + i)) >= meshes[m].vertexCount)
                    return Refuse(entry, kErrStreamRead);
        if (!D3D9Device::CreateIndexBuffer(h->totalIndexCount, &h->indexBuffer))
            return Refuse(entry, 0);
        void* locked = nullptr;
        if (FAILED(h->indexBuffer->Lock(0, 0, &locked, 0)) || !locked)
            return Refuse(entry, 0);
        auto* indices = static_cast<uint16_t*>(locked);
        for (uint32_t i = 0; i < h->totalIndexCount; ++i)
            indices[i] = ByteOrder::Load16(stored.data() + 2 * size_t(i));
        h->indexBuffer->Unlock();
    }

    bool hasData[2] = {false, false};
    for (int32_t i = 0; i < 2; ++i)
    {
        uint8_t record[kStreamBytes];
        if (!in.Take(record, kStreamBytes))
            return Refuse(entry, kErrStreamRead);
        InstanceStream s = GetStream(record, &hasData[i]);
        if (!hasData[i])
        {
            h->streams[i] = s;
            continue;
        }
        const uint64_t bytes = uint64_t(s.stride) * h->totalVertexCount;
        if (s.stride == 0 || bytes > in.left)
            return Refuse(entry, kErrStreamRead);
        InstanceStream& made = h->streams[i];
        made = s;
        // The buffers are this reader's own: what the record said about them goes.
        made.vertexBuffer = nullptr;
        made.dynamicLock = 0;
        DWORD lockFlags = D3DLOCK_NOSYSLOCK;
        if (owner.dynamic)
        {
            made.offset = 0;
            made.managed = 0;
            lockFlags |= D3DLOCK_DISCARD;
            if (!D3D9DynamicVertexBuffer::Create(UINT(bytes), &made.vertexBuffer))
                return Refuse(entry, 0);
        }
        else
        {
            UINT offset = 0;
            made.managed = 1;
            if (!D3D9VertexBuffer::Create(s.stride, UINT(bytes), &made.vertexBuffer, &offset))
            {
                made.vertexBuffer = nullptr;
                return Refuse(entry, 0);
            }
            made.offset = offset;
        }
        void* data = nullptr;
        if (!LockStream(made, uint32_t(bytes), lockFlags, &data))
            return Refuse(entry, 0);
        const bool ok = in.Take(data, uint32_t(bytes));
        made.vertexBuffer->Unlock();
        if (!ok)
            return Refuse(entry, kErrStreamRead);
    }
    // Stream 0 carries the first vertex data; a lone stream 1 is no layout the engine makes.
    if (!hasData[0] || !ElementsFit(elements, n, h, hasData))
        return Refuse(entry, kErrStreamRead);
    if (!D3D9Device::CreateVertexDeclaration(elements, &h->vertexDeclaration))
        return Refuse(entry, 0);
    if (in.left && !Stream::Skip(stream, in.left))
        return Refuse(entry, kErrStreamRead);

    const InstanceStream& s0 = h->streams[0];
    const bool twoStreams = hasData[1];
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    h->useOffsets = twoStreams && caps && (caps->DevCaps2 & D3DDEVCAPS2_STREAMOFFSET) ? 1 : 0;
    for (uint32_t m = 0; m < meshCount; ++m)
        meshes[m].baseIndex = twoStreams ? meshes[m].minimumVertex : s0.offset / s0.stride + meshes[m].minimumVertex;
    // The data now belongs to the mesh header read with the object: the serial number it
    // was written with would make the first draw throw it away.
    if (owner.meshHeader)
        h->serialNumber = owner.meshHeader->serialNumber;
    return owner.object;
}

// ---- Plug-in callbacks ----------------------------------------------------------------------------------

Stream* GeometryRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    return NativeData::ReadGeometry(stream, static_cast<Geometry*>(object), length) ? stream : nullptr;
}

Stream* GeometryWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    return NativeData::WriteGeometry(stream, static_cast<const Geometry*>(object));
}

int32_t GeometrySizeCallback(const void* object, int32_t, int32_t)
{
    return NativeData::GeometrySize(static_cast<const Geometry*>(object));
}

Stream* SectorRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    return NativeData::ReadSector(stream, static_cast<WorldSector*>(object), length) ? stream : nullptr;
}

Stream* SectorWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    return NativeData::WriteSector(stream, static_cast<const WorldSector*>(object));
}

int32_t SectorSizeCallback(const void* object, int32_t, int32_t)
{
    return NativeData::SectorSize(static_cast<const WorldSector*>(object));
}

const World* NativeWorld(const WorldSector* sector)
{
    const World* world = WorldSector::GetWorld(sector);
    return world && (world->formatFlags & kGeometryNative) ? world : nullptr;
}

} // namespace

Stream* NativeData::WriteGeometry(Stream* stream, const Geometry* geometry)
{
    if (!(geometry->flags & kGeometryNative) || !geometry->instanceData)
        return stream;
    return Write(stream, geometry->instanceData, &geometry->materials);
}

Stream* NativeData::WriteSector(Stream* stream, const WorldSector* sector)
{
    const World* world = NativeWorld(sector);
    if (!world || !sector->instanceData)
        return stream;
    return Write(stream, sector->instanceData, &world->materials);
}

Geometry* NativeData::ReadGeometry(Stream* stream, Geometry* geometry, int32_t length)
{
    const Owner owner = {geometry, &geometry->instanceData, &geometry->materials, geometry->meshHeader,
                         geometry->numMorphTargets > 1};
    return static_cast<Geometry*>(Read(stream, length, owner));
}

WorldSector* NativeData::ReadSector(Stream* stream, WorldSector* sector, int32_t length)
{
    World* world = WorldSector::GetWorld(sector);
    if (!world)
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    const Owner owner = {sector, &sector->instanceData, &world->materials, sector->meshHeader, false};
    return static_cast<WorldSector*>(Read(stream, length, owner));
}

int32_t NativeData::GeometrySize(const Geometry* geometry)
{
    return (geometry->flags & kGeometryNative) ? SizeOf(geometry->instanceData) : 0;
}

int32_t NativeData::SectorSize(const WorldSector* sector)
{
    return NativeWorld(sector) ? SizeOf(sector->instanceData) : 0;
}

int32_t NativeData::Attach()
{
    bool ok = Geometry::RegisterPlugin(0, kNativeDataPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok &&
         Geometry::RegisterPluginStream(kNativeDataPluginId, GeometryRead, GeometryWrite, GeometrySizeCallback) >= 0;
    ok = ok && WorldSector::RegisterPlugin(0, kNativeDataPluginId, nullptr, nullptr, nullptr) >= 0;
    ok = ok && WorldSector::RegisterPluginStream(kNativeDataPluginId, SectorRead, SectorWrite, SectorSizeCallback) >= 0;
    return ok ? 1 : 0;
}
