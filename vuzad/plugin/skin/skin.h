// The skin plug-in: a geometry's Skin (per-vertex bones and weights, per-bone inverse rest
// matrices, optional split data), its stream layouts, the atomic's hierarchy binding, the
// weight order the blending relies on, the device capabilities that decide hardware
// skinning, and the assignment of the skin pipeline to skinned atomics.
//
// Typical use (the animation layer): after reading a model, Atomic::SetSkinHierarchy on
// every atomic with the model's Hierarchy; Geometry::GetSkin and Skin::GetVertexBoneWeights
// to read the weights. Skinned atomics are drawn by the skin pipeline (skinpipeline.h).
#pragma once

#include <cstdint>

struct Atomic;
struct Geometry;
struct Hierarchy;
struct Matrix;
struct Pipeline;
struct Skin;
struct Stream;

/// The geometry extension: the geometry's skin (owned), or null.
struct SkinGeometryExtension
{
    Skin* skin;
};

/// The atomic extension: the hierarchy that drives the atomic's skin (not owned), or null.
struct SkinAtomicExtension
{
    Hierarchy* hierarchy;
};

struct Skin
{
    int32_t boneCount; ///< at most 255
    int32_t usedBoneCount;
    uint8_t* usedBones;       ///< ascending after SortVertexWeights
    Matrix* inverseMatrices;  ///< boneCount, 16-byte aligned: model space into each bone's rest space
    int32_t maxWeights;       ///< 1..4
    uint32_t* vertexBoneIndices; ///< per vertex; byte k is the bone of weight k
    float* vertexWeights;     ///< four per vertex, decreasing (see SortVertexWeights)
    int32_t bonesPerBatch;    ///< set when the pipeline instances the atomic
    int32_t hardwareSkinned;  ///< set when the pipeline instances the atomic
    uint32_t sharedRenderFrame; ///< the render in which the geometry's instance data last served
    int32_t splitBoneLimit;
    int32_t splitMeshCount;
    int32_t splitRunCount;
    uint8_t* splitBlock; ///< bone remap table (boneCount bytes, 255 = no slot), mesh runs, bone runs
    uint8_t* meshRuns;   ///< per mesh {first run, run count}
    uint8_t* boneRuns;   ///< {first bone, bone count}
    void* data;          ///< the block behind usedBones, inverseMatrices, indices and weights; null for a native skin
    int32_t vertexCount; ///< vertices the data block holds

    static constexpr int32_t kPluginId = 278;
    static constexpr int32_t kMaxBones = 255;

    // ---- Plug-in ----------------------------------------------------------------------------

    /// Registers the engine plug-in (no block), the atomic and geometry extensions with their
    /// stream, post-read and render-owner callbacks; only between Engine::Init and
    /// Engine::Open. 1, or 0 when a registration was refused.
    static int32_t Attach();
    /// -1 before Attach.
    static int32_t GetAtomicOffset();
    static int32_t GetGeometryOffset();

    // ---- Records ------------------------------------------------------------------------------

    /// A zeroed record; null before the engine is open or when memory runs out.
    static Skin* Create();
    /// Frees the data and split blocks and the record. Null.
    static Skin* Destroy(Skin* skin);
    /// Allocates the data block and copies whichever inputs are given (weights 4 per vertex,
    /// matrices 16 reals each in the engine layout). 1, or 0 for counts outside 0..255 /
    /// 0..65535 or when memory runs out (the skin is unchanged).
    static int32_t AllocateData(Skin* skin, int32_t boneCount, int32_t usedBoneCount, int32_t vertexCount,
                                const uint8_t* usedBones, const float* weights, const uint32_t* boneIndices,
                                const Matrix* inverseMatrices);
    /// Appends to list, in order of first use, every bone of a non-zero weight in the slots
    /// below the skin's maximum weights; *count starts at 0. list holds 256 bytes.
    static void ComputeUsedBones(const Skin* skin, const uint32_t* boneIndices, const float* weights, uint8_t* list,
                                 int32_t* count, int32_t vertexCount);
    /// Sorts every vertex whose first weight is below 1.0 into decreasing weight (bone bytes
    /// moved along), then the used-bone list ascending. Nothing for a skin without data.
    static void SortVertexWeights(Skin* skin);
    static float* GetVertexBoneWeights(Skin* skin);

    // ---- Streams -------------------------------------------------------------------------------

    /// The geometry extension (current, older and native layouts). Null on a short or
    /// inconsistent sub-chunk; nothing is stored then.
    static Stream* StreamRead(Stream* stream, int32_t length, void* geometry, int32_t offset, int32_t size);
    /// The current layout; nothing for a native geometry.
    static Stream* StreamWrite(Stream* stream, int32_t length, const void* geometry, int32_t offset, int32_t size);
    static int32_t StreamGetSize(const void* geometry, int32_t offset, int32_t size);
    /// The atomic-side layout; skipped whole when the atomic's geometry already has a skin.
    static Stream* AtomicStreamRead(Stream* stream, int32_t length, void* atomic, int32_t offset, int32_t size);
};

/// Skin calls on engine objects.
struct SkinGeometry
{
    static Skin* GetSkin(const Geometry* geometry);
    /// Stores the skin (nothing when it is already the one) and sorts its weights; a skin it
    /// replaces is destroyed. The geometry.
    static Geometry* SetSkin(Geometry* geometry, Skin* skin);
};

struct SkinAtomic
{
    /// The atomic (not owning the hierarchy).
    static Atomic* SetSkinHierarchy(Atomic* atomic, Hierarchy* hierarchy);
    static Hierarchy* GetSkinHierarchy(const Atomic* atomic);
    /// Gives the atomic the skin pipeline whatever the kind (1 plain, 2 material effects,
    /// 3 falls back to 1). The atomic.
    static Atomic* SetSkinPipeline(Atomic* atomic, int32_t kind);
};

/// Device capabilities taken when the pipeline is created.
struct SkinDeviceCaps
{
    int32_t hardwareVertexProcessing;
    int32_t hardwareSkinning;
    int32_t maxVertexShaderConstants;
    int32_t hardwareBoneLimit;
};

struct SkinPlugin
{
    /// Engine open and close (Engine::Start and Engine::Stop). The first open evaluates the
    /// device and creates the pipeline, the skin free list and the palette buffer; neither a
    /// missing capability nor a failed pipeline fails it. Null when the free list or the
    /// palette cannot be made.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();

    /// The capabilities from a device's caps words (no device needed).
    static SkinDeviceCaps EvaluateCaps(uint32_t devCaps, uint32_t vertexShaderVersion, uint32_t pixelShaderVersion,
                                       uint32_t maxVertexShaderConst);
    static const SkinDeviceCaps& GetCaps();
    /// Replaces the capabilities taken at open (tests).
    static void SetCaps(const SkinDeviceCaps& caps);
    /// The shared 256-entry palette, 16-byte aligned; null when the engine is not open.
    static Matrix* GetPalette();
    /// Pipeline slot 0: the skin pipeline, or null.
    static Pipeline* GetPipeline(int32_t slot);
    /// Creates (or destroys) the pipelines; Create evaluates the device first.
    static void CreatePipelines();
    static void DestroyPipelines();
};
