// Instance data: the device form of an atomic's geometry or of a world sector (an index
// buffer, one or two vertex streams, a vertex declaration and one draw record per mesh),
// kept in the resource arena, and the default fixed-function render callback of the
// all-in-one pipeline nodes that draws it.
#pragma once

#include "d3d9.h"

#include <cstdint>

struct Material;
struct MeshHeader;
struct PipelineNode;
struct ResourceEntry;

/// One vertex stream of instance data.
struct InstanceStream
{
    IDirect3DVertexBuffer9* vertexBuffer;
    uint32_t offset;        ///< bytes
    uint32_t stride;        ///< bytes
    uint16_t geometryFlags; ///< lock bits of the elements the stream holds
    uint8_t managed;        ///< 1: a range of a shared static buffer; 0: a dynamic buffer
    uint8_t dynamicLock;
};

/// The draw record of one mesh.
struct InstanceMesh
{
    uint32_t indexCount;    ///< indices in the index buffer after any strip conversion; 0 unindexed
    uint32_t minimumVertex; ///< smallest vertex the mesh uses (unindexed: its first vertex)
    Material* material;
    uint32_t vertexAlpha;                 ///< some vertex colour is not opaque (set by the instance callback)
    IDirect3DVertexShader9* vertexShader; ///< null: fixed function
    uint32_t baseIndex;                   ///< first vertex of the mesh in its stream (set by the instance callback)
    uint32_t vertexCount;                 ///< from the minimum to the maximum index used, inclusive
    uint32_t startIndex;                  ///< first index in the index buffer
    uint32_t primitiveCount;              ///< 0 draws nothing
};

struct InstanceHeader
{
    uint32_t serialNumber; ///< the mesh header's when the data was made
    uint32_t meshCount;
    IDirect3DIndexBuffer9* indexBuffer; ///< 16-bit indices, or null for unindexed meshes
    uint32_t primitiveType;             ///< D3DPRIMITIVETYPE
    InstanceStream streams[2];
    uint32_t useOffsets; ///< stream offsets are passed to the device when the streams are set
    IDirect3DVertexDeclaration9* vertexDeclaration;
    uint32_t totalIndexCount;
    uint32_t totalVertexCount;
    uint32_t pipelineFlags; ///< the instancing pipeline's own record of how it built the data (0 when made)

    static InstanceMesh* Meshes(InstanceHeader* header) { return reinterpret_cast<InstanceMesh*>(header + 1); }
    static const InstanceMesh* Meshes(const InstanceHeader* header)
    {
        return reinterpret_cast<const InstanceMesh*>(header + 1);
    }
};

/// Object types the instance data and the render callback are told.
constexpr int32_t kInstanceAtomic = 1;
constexpr int32_t kInstanceSector = 0xFF;

/// Builds (reinstance 0) or refills (1) the vertex side of the header. Non-zero for success.
using InstanceCallback = int32_t (*)(void* object, InstanceHeader* header, int32_t reinstance);
/// Refills the vertex side of existing data. Non-zero for success.
using ReinstanceCallback = int32_t (*)(void* object, ResourceEntry* entry, InstanceCallback instance);
using LightingCallback = void (*)(void* object);
/// flags: the geometry's for an atomic, the world's for a sector.
using RenderCallback = void (*)(ResourceEntry* entry, void* object, int32_t objectType, uint32_t flags);

struct InstanceData
{
    /// The header behind an entry's head.
    static InstanceHeader* Header(ResourceEntry* entry);

    /// The index side of the data (index buffer, draw records), then the instance callback
    /// for the vertex side. Kept outside the arena, the block comes from the engine allocator
    /// with its head filled by hand (no links, no owner). Null when the block cannot be had,
    /// when the index buffer is refused, or when the instance callback fails (the block is
    /// freed and the owner reference cleared).
    static ResourceEntry* Create(void* object, void* owner, int32_t objectType, ResourceEntry** ownerReference,
                                 MeshHeader* meshHeader, InstanceCallback instance, int32_t keepOutsideArena);
    /// The destroy callback of every entry: takes a geometry whose data held a dynamic stream
    /// off the instanced-geometry list and releases the device objects.
    static void Destroy(ResourceEntry* entry);
};

/// The private data of the atomic and world-sector all-in-one pipeline nodes.
struct AllInOneNodeData
{
    InstanceCallback instance;
    ReinstanceCallback reinstance;
    LightingCallback lighting;
    RenderCallback render;
};

struct AllInOneNode
{
    static void SetInstanceCallback(PipelineNode* node, InstanceCallback callback);
    static InstanceCallback GetInstanceCallback(PipelineNode* node);
    static void SetRenderCallback(PipelineNode* node, RenderCallback callback);

    /// The fixed-function render callback: clipping by the camera's frustum, the index buffer,
    /// streams and declaration, then each mesh with its material's texture, colour and
    /// lighting; unlit, non-prelit objects in opaque black cut out by texture alpha.
    static void DefaultRender(ResourceEntry* entry, void* object, int32_t objectType, uint32_t flags);
    /// D3DRS_CLIPPING off when the object (an atomic's world sphere, a sector's box) lies
    /// wholly inside the current camera's frustum, else on.
    static void SetClippingByFrustum(void* object, int32_t objectType);
};

/// The Direct3D primitive type of an engine primitive type (0-6).
uint32_t D3D9PrimitiveType(int32_t engineType);
