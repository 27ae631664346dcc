// Geometry: the vertices and triangles of a model in morph targets, shared colours and
// texture coordinates, triangles with material indices, the material list, and the mesh
// header that groups the triangles by material for drawing.
#pragma once

#include "camera.h"
#include "material.h"
#include "plugin.h"

#include <cstdint>

struct ResourceEntry;
struct Stream;

// Format flags.
constexpr uint32_t kGeometryTriStrip = 0x1;
constexpr uint32_t kGeometryPositions = 0x2;
constexpr uint32_t kGeometryTextured = 0x4;
constexpr uint32_t kGeometryPrelit = 0x8;
constexpr uint32_t kGeometryNormals = 0x10;
constexpr uint32_t kGeometryLight = 0x20;
constexpr uint32_t kGeometryModulateMaterialColor = 0x40;
constexpr uint32_t kGeometryTextured2 = 0x80;
constexpr uint32_t kGeometryNative = 0x1000000;
constexpr uint32_t kGeometryInstanceOnly = 0x2000000;

// Lock bits.
constexpr uint16_t kGeometryLockTriangles = 0x1;
constexpr uint16_t kGeometryLockPositions = 0x2;
constexpr uint16_t kGeometryLockNormals = 0x4;
constexpr uint16_t kGeometryLockPrelit = 0x8;
constexpr uint16_t kGeometryLockAll = 0x0FFF;

constexpr int32_t kGeometryMaxVertices = 65535;
constexpr int32_t kGeometryMaxTexCoordSets = 8;

struct Geometry;

struct Triangle
{
    uint16_t vertex[3];
    int16_t material; ///< -1: none
};

struct TexCoords
{
    float u, v;
};

struct MorphTarget
{
    Geometry* parent;
    Sphere boundingSphere;
    Vector* positions;
    Vector* normals;

    static const MorphTarget* CalcBoundingSphere(const MorphTarget* target, Sphere* sphere);
};

struct Mesh
{
    uint16_t* indices;
    uint32_t numIndices;
    Material* material;

    // ---- Index helpers of the device form ---------------------------------------------------

    /// Writes the strip's triangles as a list, skipping those with two equal indices, each
    /// index less offset; odd positions reversed so that every triangle keeps its winding.
    /// destination holds room for 3 x (length - 2) indices. The number of indices written.
    static int32_t StripToList(uint16_t* destination, const uint16_t* strip, int32_t length, uint16_t offset);
    /// The triangles' sorted index triples compared in order: negative, 0 or positive.
    static int32_t CompareTriangles(const uint16_t* a, const uint16_t* b);
    /// Sorts the count / 3 triangles of a list by CompareTriangles.
    static void SortTriangles(uint16_t* indices, int32_t count);
    /// The smallest index and the span (largest - smallest + 1); both 0 for no indices.
    static void GetIndexRange(const uint16_t* indices, int32_t count, uint32_t* range, uint32_t* minimum);
};
/// Mesh header flag: the meshes draw their vertices in order, without indices.
constexpr uint32_t kMeshHeaderUnindexed = 0x100;

/// One allocation: the header, its meshes, then their indices. The shared empty header
/// has every field 0 and is never freed.
struct MeshHeader
{
    uint32_t flags; ///< 0 triangle list, 1 triangle strip
    uint16_t numMeshes;
    uint16_t serialNumber;
    uint32_t totalIndices;
    uint32_t firstMeshOffset;

    static Mesh* Meshes(MeshHeader* header) { return reinterpret_cast<Mesh*>(header + 1); }
    static const Mesh* Meshes(const MeshHeader* header) { return reinterpret_cast<const Mesh*>(header + 1); }
    static MeshHeader* Empty();
    /// Frees it unless it is the shared empty one. 1.
    static int32_t Destroy(MeshHeader* header);
    using Callback = Mesh* (*)(Mesh* mesh, MeshHeader* header, void* data);
    static MeshHeader* ForAllMeshes(MeshHeader* header, Callback callback, void* data);
};

struct Geometry
{
    uint8_t type; ///< 8
    uint8_t subType;
    uint8_t objectFlags;
    uint8_t privateFlags;
    void* parent;
    uint32_t flags;
    uint16_t lockedSinceInstance;
    int16_t refCount;
    int32_t numTriangles;
    int32_t numVertices;
    int32_t numMorphTargets;
    int32_t numTexCoordSets;
    MaterialList materials;
    Triangle* triangles;
    Rgba* prelit;
    TexCoords* texCoords[kGeometryMaxTexCoordSets];
    MeshHeader* meshHeader;
    ResourceEntry* instanceData;
    MorphTarget* morphTargets;
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 8;

    /// Null for negative counts, or over 65535 vertices ({2, 6}), or when memory fails.
    static Geometry* Create(int32_t numVertices, int32_t numTriangles, uint32_t format);
    /// A geometry with no vertices whose morph target 0 has the sphere {0, 0, 0, radius}.
    static Geometry* CreateEmptyWithRadius(float radius);
    /// Releases one reference; the last one frees everything. 1.
    static int32_t Destroy(Geometry* geometry);
    static Geometry* AddRef(Geometry* geometry);
    /// Index of the first new target, or -1 (0x80000013).
    static int32_t AddMorphTargets(Geometry* geometry, int32_t count);
    /// Triangles locked drops the mesh header. The geometry.
    static Geometry* Lock(Geometry* geometry, uint16_t lockBits);
    /// Builds the mesh header when there is none. The geometry, or null.
    static Geometry* Unlock(Geometry* geometry);
    static Geometry* SetTriangleVertices(Geometry* geometry, Triangle* triangle, uint16_t v0, uint16_t v1, uint16_t v2);
    /// Null stores -1; else the material's index, appended when absent. Null on failure.
    static Geometry* SetTriangleMaterial(Geometry* geometry, Triangle* triangle, Material* material);
    using MaterialCallback = Material* (*)(Material* material, void* data);
    static Geometry* ForAllMaterials(Geometry* geometry, MaterialCallback callback, void* data);

    /// Stream positioned after a geometry chunk header (15). Null on failure. Counts that
    /// need more bytes than a memory stream still holds are refused before allocating.
    static Geometry* StreamRead(Stream* stream);
    /// The same, bounded by the size the geometry chunk's header gave.
    static Geometry* StreamRead(Stream* stream, uint64_t chunkSize);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
};

/// Gathers a geometry's or a sector's triangles by material before the header is built.
struct MeshBuilder
{
    struct Entry
    {
        uint16_t vertex[3];
        uint16_t spare;
        Material* material;
        uint16_t materialIndex;
        uint16_t textureIndex;
        uint16_t rasterIndex;
        uint16_t pipelineIndex;
    };

    int32_t capacity;
    int32_t count;
    Entry* entries;

    /// Null when memory fails (0x80000013).
    static MeshBuilder* Create(int32_t numTriangles);
    static void Destroy(MeshBuilder* builder);
    /// Adds every triangle of the list with its material; triangles without a material,
    /// or naming one past the list, are left out. The builder.
    static MeshBuilder* AddTriangles(MeshBuilder* builder, const Triangle* triangles, int32_t count,
                                     const MaterialList* materials, int32_t materialBase);
    /// Destroys the builder on success. Null on failure, leaving it to the caller.
    static MeshHeader* BuildHeader(MeshBuilder* builder, uint32_t stripFlag);
    static MeshHeader* BuildLists(MeshBuilder* builder);
    static MeshHeader* BuildStrips(MeshBuilder* builder);
    /// Opaque before transparent, then by raster, pipeline, texture and material index;
    /// equal materials end up adjacent.
    static void Sort(MeshBuilder* builder);
};
