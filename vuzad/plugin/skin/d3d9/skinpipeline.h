// The skin pipeline: one pipeline node that keeps a skinned atomic's geometry instanced,
// builds the matrix palette from the atomic's hierarchy, blends positions and normals on the
// processor into a vertex buffer and draws through the fixed-function device; and the
// blending routines in the two palette layouts.
//
// Palette layouts: the x87 layout stores bone i as three rows of four reals at palette entry
// i (row j = (m[0][j], m[1][j], m[2][j], m[3][j]) of the skinning matrix m); the SSE layout
// stores the 4x4 skinning matrix with its fourth column zeroed. CpuFeature::GetEngineSse
// chooses the layout and the routines.
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
    /// own static buffer), else as CanSkinInHardware while hardware skinning is allowed.
    static bool UseStaticVertexBuffer(const Atomic* atomic);

    // ---- Palette -----------------------------------------------------------------------------

    /// The shared palette for the atomic in each layout; rebuilt only when (hierarchy, world
    /// render counter, atomic frame) differs from the last build. Null without a palette.
    static Matrix* BuildPaletteX87(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy);
    static Matrix* BuildPaletteSSE(const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy);
    /// The skinning matrices of the first count nodes into out (4x4, fourth column zero).
    static void BuildBoneMatrices(Matrix* out, const Atomic* atomic, const Skin* skin, const Hierarchy* hierarchy,
                                  int32_t count);
    /// a x b stored as the three-row form into out (12 reals).
    static void StoreTransposed(float* out, const Matrix* a, const Matrix* b);
    /// Palette builds done since the engine opened (the cache hits are not counted).
    static int32_t GetPaletteBuildCount();
    /// Forgets the last key, so that the next build is done whatever it is.
    static void ResetPaletteKey();

    // ---- Switches ----------------------------------------------------------------------------

    /// Until the vertex-shader half exists every instance is built software-skinned, whatever
    /// the capabilities answer; false by default.
    static void SetHardwareSkinningAllowed(bool allowed);
};
