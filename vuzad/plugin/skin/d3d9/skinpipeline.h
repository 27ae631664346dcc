// The skin pipeline: one pipeline node that keeps a skinned atomic's geometry instanced and
// builds the matrix palette from the atomic's hierarchy, then either uploads the palette as
// vertex-shader constants and draws with a generated shader that blends on the device
// (hardware skinning, chosen per geometry from the device's capabilities), or blends
// positions and normals on the processor into a vertex buffer and draws through the
// fixed-function device; and the blending routines in the two palette layouts.
//
// Palette layouts: the x87 layout stores bone i as three rows of four reals at palette entry
// i (row j = (m[0][j], m[1][j], m[2][j], m[3][j]) of the skinning matrix m); the SSE layout
// stores the 4x4 skinning matrix with its fourth column zeroed. CpuFeature::GetEngineSse
// chooses the layout and the routines. The hardware layout packs the three rows of node i
// at float 12 i, so that bones of consecutive nodes upload as one run of registers.
#pragma once

#include <cstdint>

struct Atomic;
struct Hierarchy;
struct Matrix;
struct Pipeline;
struct PipelineNode;
struct NodeExecutionParameters;
struct ResourceEntry;
struct InstanceHeader;
struct Skin;
struct Vector;
struct VertexShaderDescriptor;

/// What a blend routine reads and writes. The normal of vertex v is written 12 bytes after
/// its position when normals is not null.
struct SkinBlendStreams
{
    const Vector* positions;
    const Vector* normals; ///< null: positions only
    const uint32_t* boneIndices;
    const float* weights; ///< four per vertex
    int32_t count;
    void* out;
    uint32_t stride; ///< bytes between output vertices
};

/// bone: the palette entry the one-matrix routine uses; the others ignore it.
using SkinBlendRoutine = void (*)(const SkinBlendStreams& streams, const Matrix* palette, int32_t bone);

enum SkinBlendCase : int32_t
{
    kSkinBlendOneMatrix = 0, ///< one used bone, one weight: the same matrix for every vertex
    kSkinBlendOneWeight = 1, ///< each vertex by its first bone
    kSkinBlendTwoWeights = 2,
    kSkinBlendFourWeights = 3, ///< up to four weights
};

struct SkinBlend
{
    static SkinBlendCase Choose(const Skin* skin);
    /// sse selects the SSE-layout routine.
    static SkinBlendRoutine Get(SkinBlendCase blendCase, int32_t sse);
};

struct SkinPipeline
{
    /// Creates the pipeline {plugin id 278, data 1} with its one node
    /// "D3D9SkinAtomicAllInOne.node"; null when a step fails.
    static Pipeline* Create();
    static int32_t NodeInit(PipelineNode* node);
    /// parameters->data is the atomic. 1, or 0 when the instance data cannot be built or
    /// the vertex buffer cannot be locked.
    static int32_t RenderAtomic(PipelineNode* node, const NodeExecutionParameters* parameters);

    /// Whether the atomic's skin can be blended in a vertex shader on this device.
    static bool CanSkinInHardware(const Atomic* atomic);
    /// True without hardware vertex processing (the blended vertices go to the instance's
    /// own static buffer), else as CanSkinInHardware.
    static bool UseStaticVertexBuffer(const Atomic* atomic);

    // ---- Hardware skinning ---------------------------------------------------------------------

    /// Clears the descriptor and fills what the geometry asks: texture-coordinate sets,
    /// prelit colours, normals, material-colour modulation and, with fog on, the fog type.
    static void BeginShaderDescriptor(const Atomic* atomic, VertexShaderDescriptor* descriptor);
    /// The blend-weight declaration type for a skin of maxWeights, the first the caps'
    /// declaration types allow; D3DDECLTYPE_UNUSED (no weights) for one weight or fewer.
    static int32_t ChooseWeightType(int32_t maxWeights, uint32_t declTypes);
    /// The blend-index declaration type: SHORT2 below three weights, else UBYTE4 when allowed,
    /// else SHORT4.
    static int32_t ChooseIndexType(int32_t maxWeights, uint32_t declTypes);
    /// Each bone's first constant register relative to the shader's bone base, into remap
    /// (256 entries): 3 x the split slot with split data (0 without a slot); 3 x the position
    /// in the used-bone list when the hierarchy has more nodes than boneLimit; else 3 x the
    /// bone. Entries that a byte cannot hold are 0.
    static void BuildBoneRemap(const Skin* skin, int32_t nodeCount, int32_t boneLimit, uint8_t* remap);
    /// While the shader's constants and boneRegisters do not fit in maxConstants, drops one
    /// spot light, else one point light, else one directional light, else fog; stops when
    /// nothing is left to drop.
    static void FitDescriptor(VertexShaderDescriptor* descriptor, int32_t boneRegisters, int32_t maxConstants);
    /// The constant registers the bones of one draw take: 3 x the bones per batch with split
    /// data or when the hierarchy has more nodes than the bone limit, else 3 x the node count
    /// (bones are addressed by number then).
    static int32_t CountBoneRegisters(const Skin* skin, int32_t nodeCount, int32_t boneLimit);

    // ---- Palette -----------------------------------------------------------------------------

    /// The shared palette for the atomic in each layout; rebuilt only when (hierarchy, world
    /// render counter, atomic frame) differs from the last build. Null without a palette.
    static Matrix* BuildPaletteX87(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy);
    static Matrix* BuildPaletteSSE(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy);
    /// The hardware palette: node i's three rows at float 12 i of palette. The key's counter
    /// is stored complemented, so a software palette is never taken for it.
    static float* BuildPaletteHardware(Matrix* palette, const Atomic* atomic, const Skin* skin);
    /// The skinning matrices of the first count nodes into out (4x4, fourth column zero).
    static void BuildBoneMatrices(Matrix* out, const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy,
                                  int32_t count);
    /// a x b stored as the three-row form into out (12 reals).
    static void StoreTransposed(float* out, const Matrix* a, const Matrix* b);
    /// Palette builds done since the engine opened (the cache hits are not counted).
    static int32_t GetPaletteBuildCount();
    /// Forgets the last key, so that the next build is done whatever it is.
    static void ResetPaletteKey();
};
