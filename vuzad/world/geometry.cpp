// Geometry: creation with its arrays in one block and its morph targets in a second,
// reference counting, locking and the mesh header built when it is unlocked, and the
// geometry and mesh modules.
#include "geometry.h"

#include "bbox.h"
#include "engine.h"
#include "freelist.h"
#include "memory.h"
#include "resourcearena.h"
#include "world_local.h"
#include "worldd3d9.h"

#include <cmath>
#include <cstring>

namespace
{

constexpr uint32_t kGeometryHint = kMemoryHintObject | 0xF;
constexpr uint32_t kMorphHint = kMemoryHintObject | 0xF;
constexpr uint32_t kMorphResizeHint = kMemoryHintResize | kMemoryHintObject | 0xF;

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Geometry)));
int32_t sGeometryOpenCount = 0;

/// Mesh module state (engine block 1282).
struct MeshModuleBlock
{
    uint16_t nextSerial;
    int32_t primitiveOfFlags[32];
    uint32_t flagsOfPrimitive[8];
};

MeshModuleBlock* sMesh = nullptr;
int32_t sMeshOpenCount = 0;
MeshHeader sEmptyHeader = {};

size_t Align(size_t n)
{
    return (n + 7) & ~size_t(7);
}

int32_t TexCoordSets(uint32_t format)
{
    if (format & 0x00FF0000)
        return int32_t((format >> 16) & 0xFF);
    if (format & kGeometryTextured2)
        return 2;
    return (format & kGeometryTextured) ? 1 : 0;
}

size_t TargetVertexBytes(const Geometry* geometry)
{
    if ((geometry->flags & kGeometryNative) || geometry->numVertices == 0)
        return 0;
    size_t perVertex = (geometry->flags & kGeometryNormals) ? 2 * sizeof(Vector) : sizeof(Vector);
    return size_t(geometry->numVertices) * perVertex;
}

void SetTargetPointers(Geometry* geometry)
{
    size_t count = size_t(geometry->numMorphTargets);
    auto* data = reinterpret_cast<uint8_t*>(geometry->morphTargets) + Align(count * sizeof(MorphTarget));
    bool vertices = TargetVertexBytes(geometry) != 0;
    for (size_t i = 0; i < count; ++i)
    {
        MorphTarget& target = geometry->morphTargets[i];
        target.positions = nullptr;
        target.normals = nullptr;
        if (!vertices)
            continue;
        target.positions = reinterpret_cast<Vector*>(data);
        data += size_t(geometry->numVertices) * sizeof(Vector);
        if (geometry->flags & kGeometryNormals)
        {
            target.normals = reinterpret_cast<Vector*>(data);
            data += size_t(geometry->numVertices) * sizeof(Vector);
        }
    }
}

} // namespace

// ---- Geometries ----------------------------------------------------------------------------------

Geometry* Geometry::Create(int32_t numVertices, int32_t numTriangles, uint32_t format)
{
    if (numVertices < 0 || numTriangles < 0)
        return nullptr;
    if (numVertices > kGeometryMaxVertices)
    {
        WorldError(kWorldErrTooManyVertices);
        return nullptr;
    }
    int32_t sets = TexCoordSets(format);
    if (sets > kGeometryMaxTexCoordSets)
    {
        WorldError(kErrBadArgument);
        return nullptr;
    }
    uint32_t flags = (format & 0x7B) | (sets == 1 ? kGeometryTextured : 0) | (sets >= 2 ? kGeometryTextured2 : 0) |
                     (format & 0x0F000000);
    bool arrays = !(flags & kGeometryNative);
    size_t size = size_t(sRegistry.size);
    size_t prelitOffset = size, texOffset = size, triOffset = size;
    if (arrays)
    {
        if ((flags & kGeometryPrelit) && numVertices)
            size += size_t(numVertices) * sizeof(Rgba);
        texOffset = size;
        size += size_t(sets) * size_t(numVertices) * sizeof(TexCoords);
        triOffset = size;
        size += size_t(numTriangles) * sizeof(Triangle);
    }
    auto* block = static_cast<uint8_t*>(Memory::Allocate(size, kGeometryHint));
    if (!block)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    std::memset(block, 0, size_t(sRegistry.size));
    auto* geometry = reinterpret_cast<Geometry*>(block);
    geometry->type = kObjectType;
    geometry->flags = flags;
    geometry->refCount = 1;
    geometry->numTriangles = numTriangles;
    geometry->numVertices = numVertices;
    geometry->numTexCoordSets = sets;
    MaterialList::Init(&geometry->materials);
    if (arrays)
    {
        if ((flags & kGeometryPrelit) && numVertices)
            geometry->prelit = reinterpret_cast<Rgba*>(block + prelitOffset);
        for (int32_t s = 0; s < sets; ++s)
            geometry->texCoords[s] =
                reinterpret_cast<TexCoords*>(block + texOffset + size_t(s) * size_t(numVertices) * sizeof(TexCoords));
        if (numTriangles)
            geometry->triangles = reinterpret_cast<Triangle*>(block + triOffset);
        for (int32_t t = 0; t < numTriangles; ++t)
            geometry->triangles[t] = {{0, 0, 0}, -1};
    }
    if (AddMorphTargets(geometry, 1) < 0)
    {
        Memory::Free(block);
        return nullptr;
    }
    if (!PluginRegistry::InitObject(&sRegistry, geometry))
    {
        Memory::Free(geometry->morphTargets);
        Memory::Free(block);
        return nullptr;
    }
    return geometry;
}

Geometry* Geometry::CreateEmptyWithRadius(float radius)
{
    Geometry* geometry = Create(0, 0, 0);
    if (!geometry)
        return nullptr;
    geometry->morphTargets[0].boundingSphere = {{0, 0, 0}, radius};
    geometry->meshHeader = MeshHeader::Empty();
    return geometry;
}

int32_t Geometry::Destroy(Geometry* geometry)
{
    if (geometry->refCount > 1)
    {
        --geometry->refCount;
        return 1;
    }
    if (geometry->instanceData)
        ResourceArena::Free(geometry->instanceData);
    InstanceList::RemoveGeometry(geometry);
    geometry->lockedSinceInstance = kGeometryLockAll;
    if (geometry->meshHeader)
        MeshHeader::Destroy(geometry->meshHeader);
    geometry->meshHeader = nullptr;
    PluginRegistry::DeinitObject(&sRegistry, geometry);
    Memory::Free(geometry->morphTargets);
    MaterialList::Deinit(&geometry->materials);
    Memory::Free(geometry);
    return 1;
}

Geometry* Geometry::AddRef(Geometry* geometry)
{
    ++geometry->refCount;
    return geometry;
}

int32_t Geometry::AddMorphTargets(Geometry* geometry, int32_t count)
{
    if (count < 1)
        return -1;
    int32_t old = geometry->numMorphTargets;
    size_t vertexBytes = TargetVertexBytes(geometry);
    size_t total = size_t(old) + size_t(count);
    size_t size = Align(total * sizeof(MorphTarget)) + total * vertexBytes;
    uint8_t* block;
    if (geometry->morphTargets)
    {
        block = static_cast<uint8_t*>(Memory::Reallocate(geometry->morphTargets, size, kMorphResizeHint));
        if (!block)
        {
            WorldError(kErrNoMemory);
            return -1;
        }
        // The vertex data moves up behind the new records.
        size_t oldRecords = Align(size_t(old) * sizeof(MorphTarget));
        std::memmove(block + Align(total * sizeof(MorphTarget)), block + oldRecords, size_t(old) * vertexBytes);
    }
    else
    {
        block = static_cast<uint8_t*>(Memory::Allocate(size, kMorphHint));
        if (!block)
        {
            WorldError(kErrNoMemory);
            return -1;
        }
    }
    geometry->morphTargets = reinterpret_cast<MorphTarget*>(block);
    geometry->numMorphTargets = int32_t(total);
    SetTargetPointers(geometry);
    for (size_t i = size_t(old); i < total; ++i)
    {
        geometry->morphTargets[i].parent = geometry;
        geometry->morphTargets[i].boundingSphere = {};
        if (vertexBytes)
            std::memset(geometry->morphTargets[i].positions, 0, vertexBytes);
    }
    return old;
}

Geometry* Geometry::Lock(Geometry* geometry, uint16_t lockBits)
{
    geometry->lockedSinceInstance |= lockBits;
    if ((lockBits & kGeometryLockTriangles) && geometry->meshHeader)
    {
        MeshHeader::Destroy(geometry->meshHeader);
        geometry->meshHeader = nullptr;
    }
    return geometry;
}

Geometry* Geometry::Unlock(Geometry* geometry)
{
    if (geometry->meshHeader)
        return geometry;
    MeshBuilder* builder = MeshBuilder::Create(geometry->numTriangles);
    if (!builder)
        return nullptr;
    if (geometry->materials.count > 0 && geometry->triangles)
        MeshBuilder::AddTriangles(builder, geometry->triangles, geometry->numTriangles, &geometry->materials, 0);
    MeshHeader* header = MeshBuilder::BuildHeader(builder, geometry->flags & kGeometryTriStrip);
    if (!header)
    {
        MeshBuilder::Destroy(builder);
        return nullptr;
    }
    geometry->meshHeader = header;
    return geometry;
}

Geometry* Geometry::SetTriangleVertices(Geometry* geometry, Triangle* triangle, uint16_t v0, uint16_t v1, uint16_t v2)
{
    triangle->vertex[0] = v0;
    triangle->vertex[1] = v1;
    triangle->vertex[2] = v2;
    return geometry;
}

Geometry* Geometry::SetTriangleMaterial(Geometry* geometry, Triangle* triangle, Material* material)
{
    if (!material)
    {
        triangle->material = -1;
        return geometry;
    }
    int32_t index = MaterialList::FindMaterialIndex(&geometry->materials, material);
    if (index < 0)
        index = MaterialList::AppendMaterial(&geometry->materials, material);
    if (index < 0)
        return nullptr;
    triangle->material = int16_t(index);
    return geometry;
}

Geometry* Geometry::ForAllMaterials(Geometry* geometry, MaterialCallback callback, void* data)
{
    for (int32_t i = 0; i < geometry->materials.count; ++i)
        if (!callback(geometry->materials.materials[i], data))
            break;
    return geometry;
}

const MorphTarget* MorphTarget::CalcBoundingSphere(const MorphTarget* target, Sphere* sphere)
{
    const Geometry* geometry = target->parent;
    int32_t n = geometry->numVertices;
    if (n == 0 || !target->positions)
    {
        *sphere = {};
        return target;
    }
    BBox box;
    BBox::Calculate(&box, target->positions, n);
    Vector c = {(box.sup.x + box.inf.x) * 0.5f, (box.sup.y + box.inf.y) * 0.5f, (box.sup.z + box.inf.z) * 0.5f};
    float largest = 0.0f;
    for (int32_t i = 0; i < n; ++i)
    {
        const Vector& p = target->positions[i];
        float dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
        largest = std::fmax(largest, dx * dx + dy * dy + dz * dz);
    }
    *sphere = {c, std::sqrt(largest) * 1.001f};
    return target;
}

int32_t Geometry::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                 PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Geometry::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                       PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sRegistry, pluginId, read, write, size);
}

int32_t Geometry::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

PluginRegistry* Geometry::Registry()
{
    return &sRegistry;
}

void* GeometryModule::Open(void* engine, int32_t, int32_t)
{
    ++sGeometryOpenCount;
    return engine;
}

void* GeometryModule::Close(void* engine, int32_t, int32_t)
{
    --sGeometryOpenCount;
    return engine;
}

// ---- Mesh headers -------------------------------------------------------------------------------------

MeshHeader* MeshHeader::Empty()
{
    return &sEmptyHeader;
}

int32_t MeshHeader::Destroy(MeshHeader* header)
{
    bool empty = header->flags == 0 && header->numMeshes == 0 && header->serialNumber == 0 &&
                 header->totalIndices == 0 && header->firstMeshOffset == 0;
    if (!empty && header != &sEmptyHeader)
        Memory::Free(header);
    return 1;
}

MeshHeader* MeshHeader::ForAllMeshes(MeshHeader* header, Callback callback, void* data)
{
    Mesh* meshes = Meshes(header);
    for (uint32_t i = 0; i < header->numMeshes; ++i)
        if (!callback(&meshes[i], header, data))
            break;
    return header;
}

// ---- The mesh module ------------------------------------------------------------------------------------

int32_t MeshModule::BlockSize()
{
    return int32_t(sizeof(MeshModuleBlock));
}

uint16_t MeshModule::NextSerial()
{
    if (!sMesh)
        return 0;
    return sMesh->nextSerial++;
}

int32_t MeshModule::PrimitiveType(uint32_t flags)
{
    return sMesh ? sMesh->primitiveOfFlags[flags & 0x1F] : 0;
}

void* MeshModule::Open(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<MeshModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    std::memset(block, 0, sizeof(*block));
    block->nextSerial = 1;
    block->primitiveOfFlags[0] = 3;
    block->primitiveOfFlags[1] = 4;
    block->primitiveOfFlags[2] = 5;
    block->primitiveOfFlags[4] = 1;
    block->primitiveOfFlags[8] = 2;
    block->primitiveOfFlags[16] = 6;
    const uint32_t back[6] = {4, 8, 0, 1, 2, 16};
    for (int i = 0; i < 6; ++i)
        block->flagsOfPrimitive[i + 1] = back[i];
    sMesh = block;
    ++sMeshOpenCount;
    return engine;
}

void* MeshModule::Close(void* engine, int32_t, int32_t)
{
    if (--sMeshOpenCount == 0)
        sMesh = nullptr;
    return engine;
}
