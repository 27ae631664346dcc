// The material-effects plug-in: its attach, its engine open and close, the effect record of a
// material (two slots laid out by the effect kind), the operations that set effects, the bump
// texture built from a base and a bump map, and the material, atomic and world-sector
// extensions with their stream forms.
#pragma once

#include <cstdint>

struct Atomic;
struct Frame;
struct InstanceHeader;
struct InstanceMesh;
struct Material;
struct Matrix;
struct Pipeline;
struct ResourceEntry;
struct Stream;
struct Texture;
struct WorldSector;

/// Effect kinds.
enum MatFxKind : int32_t
{
    kMatFxNone = 0,
    kMatFxBumpMap = 1,
    kMatFxEnvMap = 2,
    kMatFxBumpEnvMap = 3, ///< bump map, then environment map
    kMatFxDual = 4,       ///< a second texture blended over the first
    kMatFxUVTransform = 5,
    kMatFxDualUVTransform = 6,
    kMatFxKindCount = 7,
};

/// Slot types.
enum MatFxSlotType : int32_t
{
    kMatFxSlotNone = 0,
    kMatFxSlotBump = 1,
    kMatFxSlotEnv = 2,
    kMatFxSlotDual = 4,
    kMatFxSlotUVTransform = 5,
};

struct MatFxBumpSlot
{
    Frame* frame;          ///< the light's frame; null: the current camera's
    Texture* drawnTexture; ///< base colour with the height in alpha; owned reference
    Texture* bumpMap;      ///< as set; owned reference
    float bumpiness;       ///< stored negated
    float invWidth;        ///< 1 / width of the drawn texture's raster; 0 when unknown
};

struct MatFxEnvSlot
{
    Frame* frame;     ///< null: none
    Texture* texture; ///< owned reference
    float coefficient;
    int32_t frameBufferAlpha;
};

struct MatFxDualSlot
{
    Texture* texture;    ///< owned reference
    int32_t sourceBlend; ///< engine blend codes
    int32_t destBlend;
};

struct MatFxUVSlot
{
    const Matrix* baseTransform; ///< not owned; null reads as the identity
    const Matrix* dualTransform;
};

struct MatFxEffectSlot
{
    union
    {
        MatFxBumpSlot bump;
        MatFxEnvSlot env;
        MatFxDualSlot dual;
        MatFxUVSlot uv;
    };
    int32_t type; ///< MatFxSlotType
};

/// A material's effect record: native in memory (its slots hold pointers).
struct MatFxMaterialData
{
    MatFxEffectSlot slots[2];
    int32_t kind; ///< MatFxKind
};

/// The material extension: the material's effect record, null while it has no effect.
struct MatFxMaterialExtension
{
    MatFxMaterialData* data;
};

/// The atomic and world-sector extension: set when the object uses effects.
struct MatFxObjectFlag
{
    int32_t enabled;
};

struct MatFx
{
    static constexpr int32_t kPluginId = 288;
    static constexpr int32_t kDefaultSourceBlend = 5; ///< source alpha
    static constexpr int32_t kDefaultDestBlend = 6;   ///< inverse source alpha

    // ---- Attach and engine open ---------------------------------------------------------------

    /// Registers the engine plug-in (no block), the material extension with its stream
    /// callbacks and the atomic and world-sector flags with theirs, stopping at the first
    /// refusal; only between Engine::Init and Engine::Open. 1, or 0.
    static int32_t Attach();
    /// The first open (Engine::Start) makes the record pool, then the effect pipelines; a
    /// pool that cannot be made fails the open. Later opens only count.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    /// The last close destroys the pipelines and shaders, then the pool.
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
    /// -1 before Attach.
    static int32_t GetMaterialOffset();
    static int32_t GetAtomicOffset();
    static int32_t GetSectorOffset();

    // ---- Effects of a material ------------------------------------------------------------------

    /// The record, or null while the material has none (or the plug-in is not attached).
    static MatFxMaterialData* GetData(const Material* material);
    /// The record's kind, 0 without one.
    static int32_t GetKind(const Material* material);
    /// The first slot of the type, or null.
    static MatFxEffectSlot* FindSlot(MatFxMaterialData* data, int32_t type);
    /// Allocates the record when missing; a different kind (or 0) clears it first, the same
    /// kind keeps the slot contents. The material, or null when no record can be had or the
    /// kind is outside 0-6.
    static Material* SetEffects(Material* material, int32_t kind);
    /// Releases the slots' textures, forgets the matrices and zeroes the record. The record.
    static MatFxMaterialData* ClearMaterialData(MatFxMaterialData* data);
    /// The bump slot's drawn texture built (or shared through the current dictionary) from
    /// the material's base texture and bumpMap; null bumpMap leaves only the base texture's
    /// reciprocal width. The material, or null without a bump slot or when the drawn texture
    /// cannot be built.
    static Material* SetBumpTexture(Material* material, Texture* bumpMap);
    /// The material, or null without a dual slot.
    static Material* SetDualBlendModes(Material* material, int32_t sourceBlend, int32_t destBlend);
    /// Callers check for a UV-transform kind first; without that slot nothing is set.
    static void SetUVTransformMatrices(Material* material, const Matrix* base, const Matrix* dual);

    // ---- Objects switched to the effect pipelines -------------------------------------------------

    static Atomic* EnableAtomic(Atomic* atomic);
    static WorldSector* EnableWorldSector(WorldSector* sector);

    // ---- Bump textures ----------------------------------------------------------------------------

    /// The drawn texture's name: characters taken alternately from base and bump while each
    /// lasts, at most 30, into out (32 bytes, always terminated).
    static void BumpTextureName(char* out, const char* base, const char* bump);
    /// Registers the texture extension that keeps the full names a drawn texture was built
    /// from, so that sharing goes by them and not by the shortened name. The offset, or -1.
    static int32_t AttachBumpKey();
    /// Base colours with the bump map's brightness as alpha (the bump resampled to the base's
    /// size); without a base, white. A new texture (count 1, no dictionary), or null.
    static Texture* CreateBumpTexture(Texture* base, Texture* bump);
    /// Without a bump map the base itself (no reference taken); null when either raster is in
    /// a compressed device format; else CreateBumpTexture.
    static Texture* CreateBumpTextureChecked(Texture* base, Texture* bump);

    // ---- Streams ----------------------------------------------------------------------------------

    static Stream* MaterialStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
    static Stream* MaterialStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset,
                                       int32_t size);
    static int32_t MaterialStreamGetSize(const void* object, int32_t offset, int32_t size);
    static Stream* AtomicFlagRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
    static Stream* SectorFlagRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
    /// Shared by both flags: 4 bytes, only when set.
    static Stream* FlagWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t size);
    static int32_t FlagSize(const void* object, int32_t offset, int32_t size);

    // ---- Drawing on Direct3D 9 (matfx/d3d9) -------------------------------------------------------

    /// The atomic and world-sector effect pipelines (copies of the all-in-one pipelines with
    /// this plug-in's render and instance callbacks), the device capabilities and the six
    /// pixel shaders (none below pixel shader 1.1). 1; a pipeline that cannot be made stays null.
    static int32_t CreatePipelines();
    /// Both pipelines destroyed and the shaders released. 1.
    static int32_t DestroyPipelines();
    static Pipeline* GetAtomicPipeline();
    static Pipeline* GetSectorPipeline();
    /// Mark the geometry (sector) for tangents when a mesh is bump-mapped and pixel shaders
    /// exist, then forward to the node's previous instance callback and answer its result.
    static int32_t AtomicInstanceCallback(void* object, InstanceHeader* header, int32_t reinstance);
    static int32_t SectorInstanceCallback(void* object, InstanceHeader* header, int32_t reinstance);
    /// Per instanced object: the buffers, then each mesh through the renderer of its kind.
    static void RenderCallback(ResourceEntry* entry, void* object, int32_t objectType, uint32_t flags);

    // The renderers draw one mesh whose buffers and declaration are set; flags are the
    // geometry's (atomic) or the world's (sector).
    static void RenderPlain(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, Texture* base);
    /// No pixel shader, the mesh's vertex shader, the states flushed, the draw.
    static void DrawMesh(InstanceHeader* header, InstanceMesh* mesh);
    static void RenderBumpMap(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, Texture* base,
                              MatFxBumpSlot* bump, Texture* environment);
    /// slotIndex 0: the first effect; 1: the second, after a bump pass.
    static void RenderEnvMap(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, int32_t slotIndex,
                             Texture* base, Texture* environment);
    static void RenderDual(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, Texture* base, Texture* dual);
    /// The texture on the stage with camera-space coordinates (normals, or reflection vectors
    /// for a cube map) and the texture matrix that maps them.
    static void SetupEnvMapStage(Texture* texture, uint32_t stage, Frame* frame);
    /// The mesh's vertices as 44-byte bump vertices (MatFxBumpVertex) with the shifted
    /// coordinates, read back from the instance's stream. The vertices written, or 0 when
    /// the stream or the index buffer cannot be read.
    static int32_t ComputeBumpVertices(InstanceHeader* header, InstanceMesh* mesh, void* vertices);
};
