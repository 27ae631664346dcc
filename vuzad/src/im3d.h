// Immediate-mode 3D: draws an array of 3D vertices without building geometry. A batch is
// transformed through the transform pipeline, rendered as primitives through one render
// pipeline per primitive type, and ended.
#pragma once

#include <cstdint>

struct Matrix;
struct NodeDefinition;
struct Pipeline;

/// 36 bytes.
struct Im3dVertex
{
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour; ///< device colour, 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(Im3dVertex) == 36, "the immediate-mode vertex is 36 bytes");

// ---- Batch flags ------------------------------------------------------------------------------------

constexpr uint32_t kIm3dTextured = 0x01;     ///< the vertices carry texture coordinates
constexpr uint32_t kIm3dNoAlphaBlend = 0x02; ///< no vertex-alpha blending
constexpr uint32_t kIm3dNoClip = 0x04;       ///< the device need not clip
/// Always added by Im3d::Transform, and ignored by the drawing nodes: the batch's vertices are
/// in the 36-byte layout above, and they are the caller's, who keeps them until Im3d::End.
/// A caller may pass them too (the shadow code draws with 0x19); they change nothing.
constexpr uint32_t kIm3dVertexLayout = 0x08;
constexpr uint32_t kIm3dCallerVertices = 0x10;

// ---- Primitive types ----------------------------------------------------------------------------------

enum Im3dPrimitive : int32_t
{
    kIm3dLineList = 1,
    kIm3dPolyLine = 2,
    kIm3dTriList = 3,
    kIm3dTriStrip = 4,
    kIm3dTriFan = 5,
    /// Has a render-pipeline slot, but every render call refuses it (error 37): no node
    /// draws points.
    kIm3dPointList = 6,
};

constexpr int32_t kIm3dNumPrimitives = 6;
constexpr uint32_t kIm3dMaxVertices = 65536;

/// What the render pipeline receives; it follows the batch, whose node reads both.
struct Im3dRenderRequest
{
    Pipeline* pipeline;
    int32_t primitiveType;
    const uint16_t* indices; ///< null for a non-indexed draw
    int32_t numIndices;
};

/// What the transform pipeline receives. The count is kept in 32 bits so that a batch of
/// 65536 vertices does not read as empty.
struct Im3dBatch
{
    uint32_t numVertices;
    Im3dVertex* vertices; ///< null while no batch is open
    int32_t vertexSize;
    uint32_t flags;
    const Matrix* matrix; ///< null for none
    Im3dRenderRequest render;
};

/// What the device driver supplies: the node definitions of the default pipelines and the
/// device resources of the render node. Without it the module opens with no default
/// pipelines and every draw fails.
struct Im3dDeviceNodes
{
    NodeDefinition* (*instanceDefinition)(); ///< takes the batch ("Im3DInstance.node")
    NodeDefinition* (*renderDefinition)();   ///< draws it; the default for types 1-5
    int32_t (*createResources)();            ///< 1, or 0
    int32_t (*releaseResources)();
};

struct Im3d
{
    // ---- Drawing ---------------------------------------------------------------------------------

    /// Opens (or replaces) the batch and runs the transform pipeline on it. The vertex array,
    /// or null: error 50 above 65536 vertices, or a failing pipeline. The vertices must stay
    /// valid until Im3d::End.
    static Im3dVertex* Transform(Im3dVertex* vertices, uint32_t numVertices, const Matrix* matrix, uint32_t flags);
    /// 1, or 0: error 35 without an open batch, 37 for a type outside 1-5, or a failing pipeline.
    static int32_t RenderPrimitive(int32_t primitiveType);
    /// As RenderPrimitive; a line list drops an odd last index, a triangle list the indices
    /// beyond a multiple of 3.
    static int32_t RenderIndexedPrimitive(int32_t primitiveType, const uint16_t* indices, int32_t numIndices);
    /// Closes the batch. 1, or 0 when none is open.
    static int32_t End();

    // ---- Pipelines ---------------------------------------------------------------------------------

    /// Null restores the default. The current transform pipeline.
    static Pipeline* SetTransformPipeline(Pipeline* pipeline);
    /// Null restores the type's default. The current render pipeline of the type (1-6), or
    /// null with error 37 for another type.
    static Pipeline* SetRenderPipeline(Pipeline* pipeline, int32_t primitiveType);

    /// Installed by the device driver before Engine::Start; null removes them.
    static void SetDeviceNodes(const Im3dDeviceNodes* nodes);

    // ---- The module (engine-level module 0x40A) --------------------------------------------------------

    static constexpr int32_t kPluginId = 0x40A;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
    /// 0 or 1.
    static int32_t GetModuleOpenCount();
};

// ---- Core codes of immediate mode ----------------------------------------------------------------------

constexpr int32_t kCoreErrIm3dNoBatch = 35;
constexpr int32_t kCoreErrIm3dPrimitive = 37;
constexpr int32_t kCoreErrIm3dTooManyVertices = 50;
