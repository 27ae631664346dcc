// Private to the world folder: the world module's error codes, the extensions it keeps on
// cameras, atomics, clumps and lights, and the walk stack of the partition tree.
#pragma once

#include "camera.h"
#include "chunk.h"
#include "error.h"
#include "stream.h"
#include "world.h"

#include <cstdint>
#include <vector>

struct FreeList;
struct Material;
struct Frame;

// ---- Errors (plug-in id 2) --------------------------------------------------------------

constexpr int32_t kWorldPluginId = 2;
constexpr int32_t kWorldErrClumpNotInWorld = 4;
constexpr int32_t kWorldErrNoFrame = 5;
constexpr int32_t kWorldErrTooManyVertices = 6;

/// Records the code; common codes (top bit) go with plug-in id 0.
inline void WorldError(int32_t code)
{
    Error::Report(Error::IsCommon(code) ? 0 : kWorldPluginId, code);
}

/// Finds the struct chunk of an object and checks its version; 1 or 0 with the error set.
inline bool FindStructChunk(Stream* stream, uint32_t* size, uint32_t* version);

// ---- Plug-in ids ------------------------------------------------------------------------

constexpr int32_t kWorldObjectsPluginId = 1289;
constexpr int32_t kClumpExtensionPluginId = 16;
constexpr int32_t kMeshPluginId = 1294;
constexpr int32_t kNativeDataPluginId = 1296;
constexpr int32_t kRightsPluginId = 31;

// ---- Extensions of the world-object module -------------------------------------------------

struct CameraWorldData
{
    WorldSector** sectors;
    int32_t capacity;
    int32_t count;
    World* world;
    CameraUpdateFunction savedBeginUpdate;
    CameraUpdateFunction savedEndUpdate;
    FrameObjectSyncCallback savedSync;
};

struct ObjectWorldData
{
    World* world;
    FrameObjectSyncCallback savedSync; ///< unused on clumps
};

struct ClumpExtension
{
    Clump* clump;
    ListLink link;
};

CameraWorldData* CameraWorld(const Camera* camera);
ObjectWorldData* AtomicWorld(const Atomic* atomic);
ObjectWorldData* ClumpWorld(const Clump* clump);
ObjectWorldData* LightWorld(const Light* light);

// ---- Ties ----------------------------------------------------------------------------------

void UntieAtomic(Atomic* atomic);
void UntieLight(Light* light);
/// Frees every atomic and light tie of a sector that goes away.
void UntieSector(WorldSector* sector);
void MarkFrameDirty(Frame* frame);

// ---- Worlds read from streams --------------------------------------------------------------

/// Enters a world in the module's list with the size of its block. False when the
/// world module is not open or no node can be had.
bool EnterWorldList(World* world, size_t blockSize);
void LeaveWorldList(World* world);

// ---- Default pipelines ---------------------------------------------------------------------

/// What the default pipeline slots hold (kAtomicPipelineSlot, kSectorPipelineSlot).
Pipeline* DefaultAtomicPipeline();
Pipeline* DefaultSectorPipeline();

/// The pending walk of a partition tree: 64 entries in place, more on the heap when a
/// tree from a file is deeper than that.
class SectorStack
{
public:
    void Push(SectorNode* node)
    {
        if (mCount < kInPlace)
            mInPlace[mCount] = node;
        else
            mMore.push_back(node);
        ++mCount;
    }
    SectorNode* Pop()
    {
        if (mCount == 0)
            return nullptr;
        --mCount;
        if (mCount < kInPlace)
            return mInPlace[mCount];
        SectorNode* node = mMore.back();
        mMore.pop_back();
        return node;
    }

private:
    static constexpr int32_t kInPlace = 64;
    SectorNode* mInPlace[kInPlace];
    std::vector<SectorNode*> mMore;
    int32_t mCount = 0;
};

/// The coordinate of v on a plane's axis (a byte offset: 0 x, 4 y, 8 z).
inline float AxisCoordinate(const Vector& v, int32_t axis)
{
    switch (axis)
    {
    case 4:
        return v.y;
    case 8:
        return v.z;
    default:
        return v.x;
    }
}

// ---- Module registration --------------------------------------------------------------------

struct WorldObjects
{
    /// Engine block 1289, the tie extensions, the mesh, native-data and rights plug-ins. 1 or 0.
    static int32_t Attach();
};

struct MeshModule
{
    static void* Open(void* engine, int32_t offset, int32_t size);
    static void* Close(void* engine, int32_t offset, int32_t size);
    /// The next serial number; each call takes one.
    static uint16_t NextSerial();
    static int32_t BlockSize();
    /// The engine primitive type of a mesh header's flags (low five bits); 0 for none or
    /// while the module is closed.
    static int32_t PrimitiveType(uint32_t flags);
};

struct MaterialModule
{
    static void* Open(void* engine, int32_t offset, int32_t size);
    static void* Close(void* engine, int32_t offset, int32_t size);
};

struct GeometryModule
{
    static void* Open(void* engine, int32_t offset, int32_t size);
    static void* Close(void* engine, int32_t offset, int32_t size);
};

// Stream callbacks of the mesh extension (geometries and sectors) and native data.
Stream* MeshStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
Stream* MeshStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t size);
int32_t MeshStreamSize(const void* object, int32_t offset, int32_t size);
Stream* SectorMeshStreamRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
Stream* SectorMeshStreamWrite(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t size);
int32_t SectorMeshStreamSize(const void* object, int32_t offset, int32_t size);

// ---- Rights records read from extension chunks ------------------------------------------------

struct RightsRecord
{
    int32_t pluginId;
    uint32_t extraData;
};

enum RightsKind : int32_t
{
    kRightsAtomic = 0,
    kRightsWorld = 1,
    kRightsSector = 2,
    kRightsMaterial = 3,
};

/// The pending record of an object kind: cleared before an extension chunk is read,
/// filled by the rights sub-chunk.
RightsRecord* PendingRights(int32_t kind);

inline bool FindStructChunk(Stream* stream, uint32_t* size, uint32_t* version)
{
    return Stream::FindChunk(stream, kChunkStruct, size, version) != 0;
}

// ---- Mesh building ------------------------------------------------------------------------------

/// The raster of the material's texture (what the mesh sort groups by), or null.
const void* MaterialRaster(const Material* material);

/// One strip for a run of triangles (three indices each): the strips found, joined with
/// repeated indices, their winding kept.
std::vector<uint16_t> BuildStripIndices(const uint16_t* triangles, int32_t numTriangles);
