// The particle tank plug-in: an atomic that holds up to N particles drawn as camera-facing
// quads. Every property is either stored per particle in the tank's data block or given
// once for the whole tank; the owner locks the arrays, writes particles, sets the active
// count and renders the atomic, whose render callback instances and draws them.
#pragma once

#include "matrix.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>

struct Atomic;
struct PTankRecord;

// ---- Data flags ---------------------------------------------------------------------------------

constexpr uint32_t kPTankPosition = 0x1;
constexpr uint32_t kPTankColour = 0x2;
constexpr uint32_t kPTankSize = 0x4;
constexpr uint32_t kPTankMatrix = 0x8;
constexpr uint32_t kPTankNormal = 0x10;
constexpr uint32_t kPTankRotation = 0x20;
constexpr uint32_t kPTankVertexColours = 0x40;
constexpr uint32_t kPTankTexCoords2 = 0x80;
constexpr uint32_t kPTankTexCoords4 = 0x100;
constexpr uint32_t kPTankConstantMatrix = 0x8000;
constexpr uint32_t kPTankConstantRotation = 0x20000;
constexpr uint32_t kPTankConstantVertexColours = 0x40000;
constexpr uint32_t kPTankConstantTexCoords2 = 0x80000;
constexpr uint32_t kPTankConstantTexCoords4 = 0x100000;
constexpr uint32_t kPTankUseCentre = 0x1000000;
constexpr uint32_t kPTankArrays = 0x10000000;
constexpr uint32_t kPTankStructure = 0x20000000;
/// Every per-particle property bit.
constexpr uint32_t kPTankPerParticle = 0x1FF;

// ---- Instance-flag marks and lock flags ---------------------------------------------------------

/// Owners that change a constant mark it in the instance flags (the Direct3D 9 side reads
/// none of them: it instances every particle at every render).
constexpr uint32_t kPTankMarkConstantColour = 0x2000;
constexpr uint32_t kPTankMarkConstantSize = 0x4000;
constexpr uint32_t kPTankMarkConstantRotation = 0x20000;
constexpr uint32_t kPTankMarkConstantTexCoords2 = 0x80000;
constexpr uint32_t kPTankMarkActiveCount = 0x800000;
constexpr uint32_t kPTankMarkCentre = 0x1000000;
constexpr uint32_t kPTankMarkBlend = 0x10000000;
/// PTank::Lock for writing: the property and the lock flags are recorded.
constexpr uint32_t kPTankLockWrite = 0x40000000;

/// Property slots in layout order.
enum PTankSlotIndex : int32_t
{
    kPTankSlotPosition,
    kPTankSlotMatrix,
    kPTankSlotNormal,
    kPTankSlotSize,
    kPTankSlotColour,
    kPTankSlotVertexColours,
    kPTankSlotRotation,
    kPTankSlotTexCoords2,
    kPTankSlotTexCoords4,
    kPTankNumSlots
};

/// A per-particle array: its first element and the distance between elements.
struct PTankSlot
{
    void* data;
    int32_t stride;
};

struct PTankFormat
{
    int32_t numProperties;
    int32_t structureStride; ///< one particle's record in the structure layout, 0 for arrays
    uint32_t dataFlags;
};

/// The part of a tank that hooks, callbacks and owners read and write.
struct PTankData
{
    void* platformData;
    PTankSlot slots[kPTankNumSlots]; ///< absent properties' slots are left clear
    void* user;
    PTankFormat format;
    int32_t sourceBlend; ///< engine blend codes (Direct3D blend numbers)
    int32_t destBlend;
    int32_t vertexAlpha;
    Vector2 centre;
    Vector2 size; ///< width, height
    float rotation;
    Rgba colour;
    Rgba vertexColours[4];
    Vector2 texCoords[4]; ///< the two-pair form reads (U0, V0) = [0] and (U1, V1) = [1]
    Matrix matrix;
};

/// What the begin callback fills and the property callbacks read.
struct PTankInstanceDesc
{
    int32_t wantPositions;
    int32_t wantTexCoords;
    int32_t wantColours;
    int32_t wantNormals;
    PTankSlot positions;
    PTankSlot texCoords;
    PTankSlot colours;
    PTankSlot normals;
    Vector axisA;
    Vector axisB;
};

// ---- Hooks and callbacks ------------------------------------------------------------------------

using PTankAllocateHook = void* (*)(PTankData* data, int32_t maxCount, uint32_t dataFlags, int32_t platformFlags);
/// 1 on success; anything else fails the creation.
using PTankCreateHook = int32_t (*)(Atomic* atomic, PTankData* data, int32_t maxCount, uint32_t dataFlags,
                                    int32_t platformFlags);
using PTankInstanceHook = int32_t (*)(Atomic* atomic, PTankData* data, int32_t count, uint32_t instanceFlags);
/// 1 asks for the atomic's saved render callback to run as well.
using PTankRenderHook = int32_t (*)(Atomic* atomic, PTankData* data, int32_t count);

struct PTankPlatform
{
    PTankAllocateHook allocate;
    PTankCreateHook create;
    PTankInstanceHook instance;
    PTankRenderHook render;
};

using PTankBeginEndCallback = void (*)(PTankInstanceDesc* desc, Atomic* atomic, PTankData* data, int32_t count,
                                       uint32_t instanceFlags);
using PTankPositionCallback = void (*)(const PTankSlot* out, const Vector* axisA, const Vector* axisB, int32_t count,
                                       const PTankData* data);
using PTankPropertyCallback = void (*)(const PTankSlot* out, int32_t count, const PTankData* data);

struct PTankCallbacks
{
    PTankBeginEndCallback begin;
    PTankPositionCallback position;
    PTankPropertyCallback texCoords;
    PTankPropertyCallback colour;
    PTankPropertyCallback normal;
    PTankBeginEndCallback end;
};

using PTankAtomicRender = Atomic* (*)(Atomic* atomic);

/// One per tank atomic, reached through the atomic extension.
struct PTankRecord
{
    int32_t maxCount;
    int32_t activeCount; ///< particles instanced and drawn; set by the owner
    void* dataBlock;
    PTankAtomicRender savedRender;
    PTankPlatform platform;
    PTankCallbacks callbacks;
    uint32_t lockFlags;     ///< collected by Lock since the last Unlock
    uint32_t instanceFlags; ///< what changed since the last instancing; -1 at creation
    int32_t platformFlags;
    PTankData data;
};

/// The engine block: opens of the Direct3D 9 side not yet closed.
struct PTankEngineBlock
{
    int32_t openCount;
};

/// The atomic extension: the atomic's tank, or null for an ordinary atomic.
struct PTankAtomicExtension
{
    PTankRecord* tank;
};

struct PTank
{
    static constexpr int32_t kPluginId = 303;
    static constexpr uint32_t kRecordHint = 0x3012F;
    static constexpr uint32_t kStructureHint = 0x30000;
    /// Element sizes in layout order.
    static constexpr int32_t kElementSize[kPTankNumSlots] = {12, int32_t(sizeof(Matrix)), 12, 8, 4, 16, 4, 16, 32};
    /// The property bit of each slot, in layout order.
    static constexpr uint32_t kSlotBit[kPTankNumSlots] = {kPTankPosition, kPTankMatrix,     kPTankNormal,
                                                          kPTankSize,     kPTankColour,     kPTankVertexColours,
                                                          kPTankRotation, kPTankTexCoords2, kPTankTexCoords4};

    // ---- Plug-in --------------------------------------------------------------------------------

    /// Registers the engine block (opened by the Direct3D 9 side) and the atomic extension;
    /// only between Engine::Init and Engine::Open. 1, or 0 when either registration was
    /// refused.
    static int32_t Attach();
    /// Extension offsets kept by Attach; -1 before it.
    static int32_t GetEngineOffset();
    static int32_t GetAtomicOffset();
    /// The atomic's extension; the atomic registry must hold the extension.
    static PTankAtomicExtension* GetAtomicExtension(Atomic* atomic);
    /// The atomic's tank, or null for an ordinary atomic.
    static PTankRecord* Get(Atomic* atomic);

    // ---- Creation -------------------------------------------------------------------------------

    /// The flags as creation uses them: a per-particle bit given with its constant gives way
    /// to the constant, a per-particle matrix carries position, size and rotation, a tank
    /// without matrix or position gets positions, and no layout bit means arrays.
    static uint32_t NormaliseFlags(uint32_t dataFlags);
    /// A tank of the normalised flags on the Direct3D 9 platform; null on any failure.
    static Atomic* CreateAtomic(int32_t maxCount, uint32_t dataFlags, int32_t platformFlags);
    /// The creation proper with the flags as given; null (and no atomic left) on any failure.
    static Atomic* CreateAtomicWithPlatform(int32_t maxCount, uint32_t dataFlags, int32_t platformFlags,
                                            const PTankPlatform* platform);

    // ---- Access ---------------------------------------------------------------------------------

    /// The property's array; false with {null, 0} when the tank does not carry it. With the
    /// write flag the property and the lock flags are recorded for the next Unlock.
    static bool Lock(Atomic* atomic, PTankSlot* out, uint32_t property, uint32_t lockFlags);
    /// The recorded lock flags move into the instance flags.
    static void Unlock(Atomic* atomic);
    static PTankFormat* GetFormat(Atomic* atomic);
    /// Chooses the generic instancing callbacks from the data flags.
    static void SetCallbacks(Atomic* atomic);
    /// The generic callbacks for the data flags; begin and end are left null.
    static PTankCallbacks ChooseCallbacks(uint32_t dataFlags);

    // ---- Drawing --------------------------------------------------------------------------------

    /// The render callback of every tank atomic. The atomic.
    static Atomic* Render(Atomic* atomic);
    /// The instancing driver: begin, the property callbacks, end. 1.
    static int32_t Instance(Atomic* atomic, PTankData* data, int32_t count, uint32_t instanceFlags);
};

/// The generic per-property instancing callbacks that SetCallbacks chooses from.
struct PTankCallback
{
    static void QuadConstant(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadConstantCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadSize(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadSizeCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadRotated(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadRotatedCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadRotatedSize(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadRotatedSizeCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadMatrix(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void QuadMatrixCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);

    static void TexCoords2(const PTankSlot*, int32_t, const PTankData*);
    static void TexCoords4(const PTankSlot*, int32_t, const PTankData*);
    static void ConstantTexCoords2(const PTankSlot*, int32_t, const PTankData*);
    static void ConstantTexCoords4(const PTankSlot*, int32_t, const PTankData*);

    static void Colour(const PTankSlot*, int32_t, const PTankData*);
    static void VertexColours(const PTankSlot*, int32_t, const PTankData*);
    static void ConstantVertexColours(const PTankSlot*, int32_t, const PTankData*);
    static void ConstantColour(const PTankSlot*, int32_t, const PTankData*);

    static void Normal(const PTankSlot*, int32_t, const PTankData*);

    /// A colour as one vertex word: alpha on top, then red, green, blue.
    static uint32_t Argb(Rgba c)
    {
        return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
    }
};
