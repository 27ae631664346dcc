// The stream form of geometries: the geometry chunk reader and the mesh extension that
// stores a built mesh header with a geometry or a world sector.
#include "geometry.h"
#include "memory.h"
#include "stream.h"
#include "world_local.h"

#include <cstring>

namespace
{

constexpr uint32_t kMaterialListChunk = 8;
constexpr uint32_t kHeaderHint = kMemoryHintObject | 0x502;
constexpr uint32_t kIndexBatch = 256;

uint32_t Get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool ReadBytes(Stream* stream, void* to, size_t bytes)
{
    if (bytes > 0xFFFFFFFFu)
        return false;
    return Stream::ReadWords(stream, to, uint32_t(bytes)) != nullptr;
}

Geometry* Fail(Geometry* geometry)
{
    if (geometry)
        Geometry::Destroy(geometry);
    return nullptr;
}

/// Reads a mesh extension of length bytes for an object with the given material list and
/// vertex count. Every count, material index and vertex index is checked against what the
/// sub-chunk, the list and the vertex arrays hold.
MeshHeader* ReadMeshHeader(Stream* stream, int32_t length, const MaterialList* materials, int32_t numVertices,
                           bool native)
{
    uint8_t head[12];
    if (length < 12 || !ReadBytes(stream, head, 12))
        return nullptr;
    uint32_t flags = Get32(head), numMeshes = Get32(head + 4), total = Get32(head + 8);
    uint64_t rest = uint64_t(length) - 12;
    uint64_t need = uint64_t(numMeshes) * 8 + (native ? 0 : uint64_t(total) * 4);
    if (numMeshes > 0xFFFF || need != rest)
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    size_t size = sizeof(MeshHeader) + numMeshes * sizeof(Mesh) + (native ? 0 : size_t(total) * sizeof(uint16_t));
    auto* header = static_cast<MeshHeader*>(Memory::Allocate(size, kHeaderHint));
    if (!header)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    header->flags = flags;
    header->numMeshes = uint16_t(numMeshes);
    header->serialNumber = MeshModule::NextSerial();
    header->totalIndices = total;
    header->firstMeshOffset = 0;
    Mesh* meshes = MeshHeader::Meshes(header);
    auto* index = reinterpret_cast<uint16_t*>(meshes + numMeshes);
    uint64_t placed = 0;
    uint32_t batch[kIndexBatch];
    bool ok = true;
    for (uint32_t m = 0; ok && m < numMeshes; ++m)
    {
        uint8_t record[8];
        if (!ReadBytes(stream, record, 8))
        {
            ok = false;
            break;
        }
        uint32_t count = Get32(record);
        int32_t material = int32_t(Get32(record + 4));
        if (material < 0 || material >= materials->count || (!native && placed + count > total))
        {
            ok = false;
            break;
        }
        meshes[m] = {native ? nullptr : index, count, materials->materials[material]};
        placed += count;
        for (uint32_t left = native ? 0 : count; ok && left > 0;)
        {
            uint32_t n = left < kIndexBatch ? left : kIndexBatch;
            ok = ReadBytes(stream, batch, n * 4);
            for (uint32_t i = 0; ok && i < n; ++i)
            {
                if (batch[i] >= uint32_t(numVertices))
                    ok = false;
                else
                    *index++ = uint16_t(batch[i]);
            }
            left -= n;
        }
    }
    if (ok && (native || placed == total))
        return header;
    Memory::Free(header);
    WorldError(kErrStreamRead);
    return nullptr;
}

int32_t MeshSize(const MeshHeader* header, bool native)
{
    if (!header)
        return 0;
    if (native)
        return 12 + int32_t(header->numMeshes) * 8;
    return 12 + 4 * int32_t(header->totalIndices + 2u * header->numMeshes);
}

Stream* WriteMeshHeader(Stream* stream, const MeshHeader* header, const MaterialList* materials, bool native)
{
    uint32_t head[3] = {header->flags, header->numMeshes, header->totalIndices};
    if (!Stream::WriteWords(stream, head, 12))
        return nullptr;
    const Mesh* meshes = MeshHeader::Meshes(header);
    uint32_t batch[kIndexBatch];
    for (uint32_t m = 0; m < header->numMeshes; ++m)
    {
        int32_t material = MaterialList::FindMaterialIndex(materials, meshes[m].material);
        uint32_t record[2] = {meshes[m].numIndices, uint32_t(material < 0 ? 0 : material)};
        if (!Stream::WriteWords(stream, record, 8))
            return nullptr;
        if (native)
            continue;
        for (uint32_t i = 0; i < meshes[m].numIndices; i += kIndexBatch)
        {
            uint32_t n = meshes[m].numIndices - i < kIndexBatch ? meshes[m].numIndices - i : kIndexBatch;
            for (uint32_t k = 0; k < n; ++k)
                batch[k] = meshes[m].indices[i + k];
            if (!Stream::WriteWords(stream, batch, n * 4))
                return nullptr;
        }
    }
    return stream;
}

} // namespace

// ---- Mesh extension --------------------------------------------------------------------------------

Stream* MeshStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* geometry = static_cast<Geometry*>(object);
    MeshHeader* header = ReadMeshHeader(stream, length, &geometry->materials, geometry->numVertices,
                                        (geometry->flags & kGeometryNative) != 0);
    if (!header)
        return nullptr;
    if (geometry->meshHeader)
        MeshHeader::Destroy(geometry->meshHeader);
    geometry->meshHeader = header;
    return stream;
}

Stream* MeshStreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    return WriteMeshHeader(stream, geometry->meshHeader, &geometry->materials,
                           (geometry->flags & kGeometryNative) != 0);
}

int32_t MeshStreamSize(const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    return MeshSize(geometry->meshHeader, (geometry->flags & kGeometryNative) != 0);
}

Stream* SectorMeshStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* sector = static_cast<WorldSector*>(object);
    World* world = WorldSector::GetWorld(sector);
    if (!world)
        return nullptr;
    // The sector's part of its world's list lies from its material base on; the
    // world reader owns the list itself.
    MaterialList* materials = &world->materials;
    MeshHeader* header =
        ReadMeshHeader(stream, length, materials, sector->numVertices, (world->formatFlags & kGeometryNative) != 0);
    if (!header)
        return nullptr;
    if (sector->meshHeader)
        MeshHeader::Destroy(sector->meshHeader);
    sector->meshHeader = header;
    return stream;
}

Stream* SectorMeshStreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* sector = static_cast<const WorldSector*>(object);
    World* world = WorldSector::GetWorld(sector);
    if (!world)
        return nullptr;
    return WriteMeshHeader(stream, sector->meshHeader, &world->materials, (world->formatFlags & kGeometryNative) != 0);
}

int32_t SectorMeshStreamSize(const void* object, int32_t, int32_t)
{
    const auto* sector = static_cast<const WorldSector*>(object);
    World* world = WorldSector::GetWorld(sector);
    return world ? MeshSize(sector->meshHeader, (world->formatFlags & kGeometryNative) != 0) : 0;
}

// ---- Geometry chunk ----------------------------------------------------------------------------------

namespace
{

int32_t StoredTexCoordSets(uint32_t format)
{
    if (format & 0x00FF0000)
        return int32_t((format >> 16) & 0xFF);
    if (format & kGeometryTextured2)
        return 2;
    return (format & kGeometryTextured) ? 1 : 0;
}

/// The bytes a struct's arrays take: colours, texture coordinates, triangles and the target
/// records, with each target's positions and (by the format) normals when withTargets.
uint64_t ArrayBytes(uint32_t format, int32_t numVertices, int32_t numTriangles, int32_t numTargets, bool withTargets)
{
    uint64_t nv = uint64_t(numVertices);
    uint64_t bytes = uint64_t(numTargets) * 24;
    if (format & kGeometryNative)
        return bytes;
    if (nv > 0)
        bytes += nv * (((format & kGeometryPrelit) ? 4 : 0) + 8 * uint64_t(StoredTexCoordSets(format))) +
                 uint64_t(numTriangles) * 8;
    if (withTargets)
        bytes += uint64_t(numTargets) * nv * ((format & kGeometryNormals) ? 24 : 12);
    return bytes;
}

/// What the stream still holds (a memory block, a file or a pack entry).
uint64_t StreamLeft(const Stream* stream)
{
    return Stream::Remaining(stream);
}

} // namespace

Geometry* Geometry::StreamRead(Stream* stream)
{
    return StreamRead(stream, StreamLeft(stream));
}

Geometry* Geometry::StreamRead(Stream* stream, uint64_t chunkSize)
{
    uint32_t size = 0, version = 0;
    if (!FindStructChunk(stream, &size, &version))
        return nullptr;
    uint8_t head[28] = {};
    uint32_t want = version == 0x34000 ? 28 : 16;
    if (size < want || !ReadBytes(stream, head, want))
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    uint32_t format = Get32(head);
    int32_t numTriangles = int32_t(Get32(head + 4)), numVertices = int32_t(Get32(head + 8));
    int32_t numTargets = int32_t(Get32(head + 12));
    SurfaceProperties surface;
    std::memcpy(&surface, head + 16, sizeof(surface));
    bool native = (format & kGeometryNative) != 0;
    // Counts are checked against the bytes the chunk holds before anything is allocated:
    // a damaged head must not make a reader clear gigabytes. Triangles need vertices to
    // name, or they would stay placeholders never read.
    if (numTargets < 1 || numTargets > 0xFFFF || numTriangles < 0 || numTriangles > 0x7FFFFFF || numVertices < 0 ||
        (!native && numTriangles > 0 && numVertices == 0) ||
        12 + uint64_t(want) + ArrayBytes(format, numVertices, numTriangles, numTargets, true) > chunkSize)
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    // The arrays lie inside the struct when its length covers them, else after it (the
    // older layout, whose struct holds the head alone).
    uint64_t inside = size - want;
    bool arraysInside = inside > 0 && inside >= ArrayBytes(format, numVertices, numTriangles, numTargets, false);
    if (!arraysInside && inside > 0 && !Stream::Skip(stream, uint32_t(inside)))
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    uint64_t consumed = 0;
    auto take = [&](void* to, size_t bytes)
    {
        consumed += bytes;
        if (arraysInside && consumed > inside)
        {
            WorldError(kErrStreamRead);
            return false;
        }
        return ReadBytes(stream, to, bytes);
    };
    Geometry* geometry = Create(numVertices, numTriangles, format);
    if (!geometry)
        return nullptr;
    if (numTargets > 1 && AddMorphTargets(geometry, numTargets - 1) < 0)
        return Fail(geometry);
    size_t nv = size_t(numVertices);
    if (!(geometry->flags & kGeometryNative) && numVertices > 0)
    {
        if (geometry->prelit && !take(geometry->prelit, nv * 4))
            return Fail(geometry);
        for (int32_t s = 0; s < geometry->numTexCoordSets; ++s)
            if (!take(geometry->texCoords[s], nv * sizeof(TexCoords)))
                return Fail(geometry);
        for (int32_t t = 0; t < numTriangles; ++t)
        {
            uint16_t stored[4];
            if (!take(stored, 8))
                return Fail(geometry);
            Triangle& tri = geometry->triangles[t];
            tri = {{stored[1], stored[0], stored[3]}, int16_t(stored[2])};
            if (tri.vertex[0] >= nv || tri.vertex[1] >= nv || tri.vertex[2] >= nv)
            {
                WorldError(kErrStreamRead);
                return Fail(geometry);
            }
        }
    }
    for (int32_t m = 0; m < numTargets; ++m)
    {
        MorphTarget& target = geometry->morphTargets[m];
        uint8_t record[24];
        if (!take(record, 24))
            return Fail(geometry);
        std::memcpy(&target.boundingSphere, record, 16);
        bool positions = Get32(record + 16) != 0, normals = Get32(record + 20) != 0;
        if ((positions && !target.positions) || (normals && !target.normals))
        {
            WorldError(kErrStreamRead);
            return Fail(geometry);
        }
        if (positions && !take(target.positions, nv * sizeof(Vector)))
            return Fail(geometry);
        if (normals && !take(target.normals, nv * sizeof(Vector)))
            return Fail(geometry);
    }
    if (arraysInside && consumed < inside && !Stream::Skip(stream, uint32_t(inside - consumed)))
    {
        WorldError(kErrStreamRead);
        return Fail(geometry);
    }
    uint32_t listVersion = 0;
    if (!Stream::FindChunk(stream, kMaterialListChunk, nullptr, &listVersion))
        return Fail(geometry);
    if (listVersion == 0x34000)
        Material::SetDefaultSurfaceProperties(&surface);
    MaterialList* list = MaterialList::StreamRead(stream, &geometry->materials);
    Material::SetDefaultSurfaceProperties(nullptr);
    if (!list)
        return Fail(geometry);
    // Triangles naming a material past the list are refused here rather than drawn with
    // whatever lies there.
    for (int32_t t = 0; t < geometry->numTriangles && geometry->triangles; ++t)
        if (geometry->triangles[t].material >= geometry->materials.count)
        {
            WorldError(kErrStreamRead);
            return Fail(geometry);
        }
    if (!PluginRegistry::ReadExtensionChunk(Registry(), stream, geometry))
        return Fail(geometry);
    if (!Unlock(geometry))
        return Fail(geometry);
    return geometry;
}
