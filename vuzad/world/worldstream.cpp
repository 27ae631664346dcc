// The stream form of worlds: the world chunk with its struct, material list and partition
// tree of plane and leaf chunks, read into one block sized from the struct's totals, and
// written back; and the destruction of a world with its sectors.
#include "world.h"

#include "clump.h"
#include "geometry.h"
#include "memory.h"
#include "resourcearena.h"
#include "world_local.h"

#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

namespace
{

constexpr uint32_t kChunkMaterialList = 8;
constexpr uint32_t kChunkLeaf = 9;
constexpr uint32_t kChunkPlane = 10;
constexpr uint32_t kChunkWorld = 11;
constexpr uint32_t kWorldHint = kMemoryHintObject | 0xB;
constexpr uint32_t kExtentsFlag = 0x40000000;
constexpr uint32_t kStructSize = 64;
constexpr uint32_t kOldStructSize = 52;
constexpr uint32_t kOldestVersion = 0x34000;
/// Structs of later versions carry a box the reader takes.
constexpr uint32_t kBoxFromStructAfter = 0x34002;
/// Leaf triangles are stored as four 16-bit words from this version on.
constexpr uint32_t kPlainTrianglesVersion = 0x36002;
constexpr uint32_t kLeafHeaderSize = 44;
constexpr uint32_t kPlaneStructSize = 24;
/// The least a leaf or plane chunk takes in a stream: headers, struct and, for a leaf,
/// an empty extension chunk.
constexpr uint64_t kLeastLeafBytes = 4 * kChunkHeaderSize + kLeafHeaderSize;
constexpr uint64_t kLeastPlaneBytes = 2 * kChunkHeaderSize + kPlaneStructSize;
/// No stored world needs a block this large; a struct asking for more is damaged.
constexpr uint64_t kMaxBlockSize = uint64_t(1) << 30;
constexpr uint16_t kMaxLeafCount = 0xFFFF;

uint32_t Get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

float GetReal(const uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

size_t Round8(uint64_t bytes)
{
    return size_t((bytes + 7) & ~uint64_t(7));
}

bool ReadBytes(Stream* stream, void* to, uint64_t bytes)
{
    return bytes == 0 || (bytes <= 0xFFFFFFFFu && Stream::Read(stream, to, uint32_t(bytes)) == bytes);
}

bool ReadWords(Stream* stream, void* to, uint64_t bytes)
{
    return bytes == 0 || (bytes <= 0xFFFFFFFFu && Stream::ReadWords(stream, to, uint32_t(bytes)));
}

/// The number of texture-coordinate sets a format names.
int32_t TexCoordSets(uint32_t format)
{
    if (uint32_t sets = (format >> 16) & 0xFF)
        return int32_t(sets);
    if (format & kGeometryTextured2)
        return 2;
    return (format & kGeometryTextured) ? 1 : 0;
}

float& AxisOf(Vector& v, uint32_t axis)
{
    return axis == 4 ? v.y : axis == 8 ? v.z : v.x;
}

/// What the reader carves from the block, with the struct's totals it must stay within.
struct Carver
{
    uint8_t* next;
    uint8_t* end;
    uint32_t leavesLeft;
    uint32_t planesLeft;
    uint64_t verticesLeft;
    uint64_t trianglesLeft;

    void* Take(uint64_t bytes)
    {
        size_t size = Round8(bytes);
        if (size > size_t(end - next))
            return nullptr;
        void* at = next;
        next += size;
        return at;
    }
};

struct Reader
{
    Stream* stream;
    World* world;
    Carver carve;
    uint32_t vertexStride; ///< stored bytes per vertex in a leaf struct

    bool Fail()
    {
        WorldError(kErrStreamRead);
        return false;
    }

    /// A struct chunk of at least least bytes: its first want bytes (zero-filled), the
    /// rest skipped. The chunk's size and version are handed back.
    bool Struct(uint8_t* record, uint32_t want, uint32_t least, uint32_t* size, uint32_t* version)
    {
        if (!FindStructChunk(stream, size, version))
            return false;
        std::memset(record, 0, want);
        uint32_t take = *size < want ? *size : want;
        if (*size < least || !ReadWords(stream, record, take))
            return Fail();
        return *size <= take || Stream::Skip(stream, *size - take);
    }

    PlaneSector* Plane(bool* leftIsLeaf, bool* rightIsLeaf)
    {
        uint8_t r[kPlaneStructSize];
        uint32_t size = 0, version = 0;
        if (!Struct(r, kPlaneStructSize, 0, &size, &version))
            return nullptr;
        uint32_t axis = Get32(r);
        if ((axis != 0 && axis != 4 && axis != 8) || carve.planesLeft == 0)
        {
            Fail();
            return nullptr;
        }
        auto* plane = static_cast<PlaneSector*>(carve.Take(sizeof(PlaneSector)));
        if (!plane)
        {
            Fail();
            return nullptr;
        }
        --carve.planesLeft;
        plane->type = int32_t(axis);
        plane->value = GetReal(r + 4);
        plane->left = plane->right = nullptr;
        bool extents = (world->formatFlags & kExtentsFlag) != 0;
        plane->leftExtent = extents ? GetReal(r + 16) : plane->value;
        plane->rightExtent = extents ? GetReal(r + 20) : plane->value;
        *leftIsLeaf = Get32(r + 8) != 0;
        *rightIsLeaf = Get32(r + 12) != 0;
        return plane;
    }

    WorldSector* Leaf()
    {
        uint32_t size = 0, version = 0;
        uint8_t h[kLeafHeaderSize];
        if (!FindStructChunk(stream, &size, &version))
            return nullptr;
        if (size < kLeafHeaderSize || !ReadWords(stream, h, kLeafHeaderSize))
        {
            Fail();
            return nullptr;
        }
        uint32_t materialBase = Get32(h), numTriangles = Get32(h + 4), numVertices = Get32(h + 8);
        bool native = (world->formatFlags & kGeometryNative) != 0;
        uint64_t arrays = native ? 0 : uint64_t(numVertices) * vertexStride + uint64_t(numTriangles) * 8;
        // The leaf's counts must fit its record and the struct's totals the block was
        // sized from, and its arrays must lie inside its struct chunk.
        if (materialBase > 0xFFFF || numTriangles > 0xFFFF || numVertices > 0xFFFF || carve.leavesLeft == 0 ||
            numVertices > carve.verticesLeft || numTriangles > carve.trianglesLeft || kLeafHeaderSize + arrays > size)
        {
            Fail();
            return nullptr;
        }
        auto* sector = static_cast<WorldSector*>(carve.Take(size_t(WorldSector::Registry()->size)));
        if (!sector)
        {
            Fail();
            return nullptr;
        }
        --carve.leavesLeft;
        carve.verticesLeft -= numVertices;
        carve.trianglesLeft -= numTriangles;
        WorldSector::InitLeaf(sector);
        sector->materialBase = uint16_t(materialBase);
        sector->numTriangles = uint16_t(numTriangles);
        sector->numVertices = uint16_t(numVertices);
        std::memcpy(&sector->tightBox.inf, h + 12, 12);
        std::memcpy(&sector->tightBox.sup, h + 24, 12);
        if (!native && !Arrays(sector, version))
            return nullptr;
        if (size > kLeafHeaderSize + arrays && !Stream::Skip(stream, uint32_t(size - kLeafHeaderSize - arrays)))
            return nullptr;
        if (!PluginRegistry::InitObject(WorldSector::Registry(), sector))
        {
            WorldError(kErrNoMemory);
            return nullptr;
        }
        RightsRecord* rights = PendingRights(kRightsSector);
        *rights = {};
        if (!PluginRegistry::ReadExtensionChunk(WorldSector::Registry(), stream, sector))
        {
            // Native data read before the failing sub-chunk holds buffers and a declaration.
            if (sector->instanceData)
                ResourceArena::Free(sector->instanceData);
            PluginRegistry::DeinitObject(WorldSector::Registry(), sector);
            if (sector->meshHeader)
                MeshHeader::Destroy(sector->meshHeader);
            Fail();
            return nullptr;
        }
        if (rights->pluginId != 0)
            PluginRegistry::CallRightsCallback(WorldSector::Registry(), rights->pluginId, sector, rights->extraData);
        return sector;
    }

    bool Arrays(WorldSector* sector, uint32_t version)
    {
        uint64_t n = sector->numVertices;
        uint32_t format = world->formatFlags;
        if (!(sector->positions = static_cast<Vector*>(carve.Take(n * 12))) ||
            ((format & kGeometryNormals) && !(sector->normals = carve.Take(n * 4))) ||
            ((format & kGeometryPrelit) && !(sector->prelit = carve.Take(n * 4))))
            return Fail();
        for (int32_t s = 0; s < world->numTexCoordSets; ++s)
            if (!(sector->texCoords[s] = carve.Take(n * 8)))
                return Fail();
        if (!(sector->triangles = carve.Take(uint64_t(sector->numTriangles) * 8)))
            return Fail();
        if (!ReadWords(stream, sector->positions, n * 12) ||
            (sector->normals && !ReadBytes(stream, sector->normals, n * 4)) ||
            (sector->prelit && !ReadBytes(stream, sector->prelit, n * 4)))
            return Fail();
        for (int32_t s = 0; s < world->numTexCoordSets; ++s)
            if (!ReadWords(stream, sector->texCoords[s], n * 8))
                return Fail();
        auto* triangles = static_cast<Triangle*>(sector->triangles);
        for (uint32_t t = 0; t < sector->numTriangles; ++t)
        {
            uint8_t b[8];
            if (!ReadBytes(stream, b, 8))
                return Fail();
            Triangle& tri = triangles[t];
            if (version < kPlainTrianglesVersion)
            {
                uint32_t w0 = Get32(b), w1 = Get32(b + 4);
                tri = {{uint16_t(w0 >> 16), uint16_t(w1), uint16_t(w1 >> 16)}, int16_t(uint16_t(w0))};
            }
            else
                tri = {{uint16_t(b[0] | b[1] << 8), uint16_t(b[2] | b[3] << 8), uint16_t(b[4] | b[5] << 8)},
                       int16_t(uint16_t(b[6] | b[7] << 8))};
            // Every index is checked here, so drawing, instancing and collision can
            // trust them.
            if (tri.vertex[0] >= n || tri.vertex[1] >= n || tri.vertex[2] >= n ||
                uint32_t(sector->materialBase) + uint16_t(tri.material) >= uint32_t(world->materials.count))
                return Fail();
        }
        return true;
    }

    /// The tree in stream order, depth first, left before right, without recursion.
    bool Tree(bool rootIsLeaf)
    {
        std::vector<std::pair<SectorNode**, bool>> pending = {{&world->rootSector, rootIsLeaf}};
        while (!pending.empty())
        {
            auto [slot, isLeaf] = pending.back();
            pending.pop_back();
            if (!Stream::FindChunk(stream, isLeaf ? kChunkLeaf : kChunkPlane, nullptr, nullptr))
                return false;
            if (isLeaf)
            {
                WorldSector* sector = Leaf();
                if (!sector)
                    return false;
                *slot = reinterpret_cast<SectorNode*>(sector);
                continue;
            }
            bool leftIsLeaf = false, rightIsLeaf = false;
            PlaneSector* plane = Plane(&leftIsLeaf, &rightIsLeaf);
            if (!plane)
                return false;
            *slot = reinterpret_cast<SectorNode*>(plane);
            pending.push_back({&plane->right, rightIsLeaf});
            pending.push_back({&plane->left, leftIsLeaf});
        }
        return true;
    }
};

/// Every leaf's partition box, from the world box cut by the plane extents.
void PartitionBoxes(World* world)
{
    std::vector<std::pair<SectorNode*, BBox>> pending = {{world->rootSector, world->box}};
    while (!pending.empty())
    {
        auto [node, box] = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        if (node->type < 0)
        {
            reinterpret_cast<WorldSector*>(node)->box = box;
            continue;
        }
        auto* plane = reinterpret_cast<PlaneSector*>(node);
        BBox left = box, right = box;
        AxisOf(left.sup, uint32_t(plane->type)) = plane->leftExtent;
        AxisOf(right.inf, uint32_t(plane->type)) = plane->rightExtent;
        pending.push_back({plane->right, right});
        pending.push_back({plane->left, left});
    }
}

WorldSector* AddTightBox(WorldSector* sector, void* data)
{
    auto* box = static_cast<std::pair<BBox, bool>*>(data);
    if (!box->second)
        BBox::InitFromPoint(&box->first, &sector->tightBox.inf);
    box->second = true;
    BBox::AddPoint(&box->first, &sector->tightBox.inf);
    BBox::AddPoint(&box->first, &sector->tightBox.sup);
    return sector;
}

WorldSector* BuildMesh(WorldSector* sector, void* data)
{
    auto* world = static_cast<World*>(data);
    if (sector->meshHeader)
        return sector;
    MeshBuilder* builder = MeshBuilder::Create(sector->numTriangles);
    if (!builder)
        return nullptr;
    if (sector->triangles && world->materials.count > 0)
        MeshBuilder::AddTriangles(builder, static_cast<const Triangle*>(sector->triangles), sector->numTriangles,
                                  &world->materials, sector->materialBase);
    MeshHeader* header = MeshBuilder::BuildHeader(builder, world->formatFlags & kGeometryTriStrip);
    if (!header)
    {
        MeshBuilder::Destroy(builder);
        return nullptr;
    }
    sector->meshHeader = header;
    return sector;
}

WorldSector* TearDownSector(WorldSector* sector, void*)
{
    if (sector->instanceData)
        ResourceArena::Free(sector->instanceData);
    UntieSector(sector);
    PluginRegistry::DeinitObject(WorldSector::Registry(), sector);
    if (sector->meshHeader)
        MeshHeader::Destroy(sector->meshHeader);
    sector->meshHeader = nullptr;
    return sector;
}

void FreeIfAny(void* pointer)
{
    if (pointer)
        Memory::Free(pointer);
}

/// A world built piece by piece: each leaf's arrays, each node and the record on their own.
void FreePieces(World* world)
{
    std::vector<SectorNode*> pending = {world->rootSector};
    while (!pending.empty())
    {
        SectorNode* node = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        if (node->type < 0)
        {
            auto* sector = reinterpret_cast<WorldSector*>(node);
            FreeIfAny(sector->positions);
            FreeIfAny(sector->normals);
            FreeIfAny(sector->prelit);
            for (void* set : sector->texCoords)
                FreeIfAny(set);
            FreeIfAny(sector->triangles);
            Memory::Free(sector);
            continue;
        }
        auto* plane = reinterpret_cast<PlaneSector*>(node);
        pending.push_back(plane->left);
        pending.push_back(plane->right);
        Memory::Free(plane);
    }
    world->rootSector = nullptr;
    Memory::Free(world);
}

/// The world's sectors, material list and plug-in data (when its constructors ran), then
/// its block, or each of its pieces when it was not read into one block.
void TearDown(World* world, bool constructed)
{
    LeaveWorldList(world);
    World::ForAllSectors(world, TearDownSector, nullptr);
    MaterialList::Deinit(&world->materials);
    if (constructed)
        PluginRegistry::DeinitObject(World::Registry(), world);
    if (world->privateFlags & World::kOneBlock)
        Memory::Free(world);
    else
        FreePieces(world);
}

World* FailRead(World* world, bool constructed)
{
    WorldError(kErrStreamRead);
    TearDown(world, constructed);
    return nullptr;
}

/// A struct whose totals need more bytes than the stream (memory block, file or pack entry)
/// still holds is refused before its block is allocated.
bool StreamCanHold(const Stream* stream, uint64_t bytes)
{
    return bytes <= Stream::Remaining(stream);
}

// ---- Writing ------------------------------------------------------------------------------------------

uint32_t LeafBodySize(const World* world, const WorldSector* sector)
{
    uint64_t size = kLeafHeaderSize;
    if (!(world->formatFlags & kGeometryNative))
    {
        uint32_t stride = 12 + ((world->formatFlags & kGeometryNormals) ? 4 : 0) +
                          ((world->formatFlags & kGeometryPrelit) ? 4 : 0) + 8 * uint32_t(world->numTexCoordSets);
        size += uint64_t(sector->numVertices) * stride + uint64_t(sector->numTriangles) * 8;
    }
    return uint32_t(size);
}

/// bytes from data, or zeros for an array the sector lacks although its format names it.
bool WriteArray(Stream* stream, const void* data, uint32_t bytes, bool words)
{
    if (bytes == 0)
        return true;
    if (!data)
    {
        static const uint8_t zeros[256] = {};
        for (uint32_t left = bytes; left > 0;)
        {
            uint32_t n = left < sizeof zeros ? left : uint32_t(sizeof zeros);
            if (!Stream::Write(stream, zeros, n))
                return false;
            left -= n;
        }
        return true;
    }
    return words ? Stream::WriteWords(stream, data, bytes) != nullptr : Stream::Write(stream, data, bytes) != nullptr;
}

bool WriteLeaf(const World* world, const WorldSector* sector, uint32_t chunkSize, Stream* stream)
{
    uint32_t body = LeafBodySize(world, sector);
    uint32_t head[11] = {sector->materialBase, sector->numTriangles, sector->numVertices};
    std::memcpy(head + 3, &sector->tightBox.inf, 12);
    std::memcpy(head + 6, &sector->tightBox.sup, 12);
    if (!Stream::WriteChunkHeader(stream, kChunkLeaf, chunkSize, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, body, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteWords(stream, head, kLeafHeaderSize))
        return false;
    if (!(world->formatFlags & kGeometryNative))
    {
        uint32_t n = sector->numVertices, format = world->formatFlags;
        if (!WriteArray(stream, sector->positions, n * 12, true) ||
            ((format & kGeometryNormals) && !WriteArray(stream, sector->normals, n * 4, false)) ||
            ((format & kGeometryPrelit) && !WriteArray(stream, sector->prelit, n * 4, false)))
            return false;
        for (int32_t s = 0; s < world->numTexCoordSets; ++s)
            if (!WriteArray(stream, sector->texCoords[s], n * 8, true))
                return false;
        if (!WriteArray(stream, sector->triangles, uint32_t(sector->numTriangles) * 8, false))
            return false;
    }
    return PluginRegistry::WriteExtensionChunk(WorldSector::Registry(), stream, sector) != nullptr;
}

} // namespace

// ---- Reading ----------------------------------------------------------------------------------------

World* World::StreamRead(Stream* stream)
{
    uint32_t size = 0, version = 0;
    if (!FindStructChunk(stream, &size, &version))
        return nullptr;
    bool old = version == kOldestVersion;
    uint32_t want = old ? kOldStructSize : kStructSize;
    uint8_t s[kStructSize] = {};
    uint32_t take = size < want ? size : want;
    if (!ReadWords(stream, s, take) || (size > take && !Stream::Skip(stream, size - take)))
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    // The older struct carries surface properties after the origin, and no box.
    const uint8_t* counts = s + (old ? 28 : 16);
    bool rootIsLeaf = Get32(s) != 0;
    uint32_t numTriangles = Get32(counts), numVertices = Get32(counts + 4), numPlanes = Get32(counts + 8),
             numLeaves = Get32(counts + 12), collisionSectorSize = Get32(counts + 16), format = Get32(counts + 20);
    if (collisionSectorSize > 0)
    {
        WorldError(kErrBadVersion);
        return nullptr;
    }
    int32_t sets = TexCoordSets(format);
    bool native = (format & kGeometryNative) != 0;
    if (sets > kGeometryMaxTexCoordSets || numLeaves == 0 || numVertices > uint64_t(numLeaves) * kMaxLeafCount ||
        numTriangles > uint64_t(numLeaves) * kMaxLeafCount)
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    uint32_t stride = 12 + ((format & kGeometryNormals) ? 4 : 0) + ((format & kGeometryPrelit) ? 4 : 0) + 8 * sets;
    uint64_t arrays = native ? 0 : uint64_t(numVertices) * stride + uint64_t(numTriangles) * 8;
    // Each carved piece is aligned to 8 bytes: a leaf carves at most 4 + sets arrays.
    uint64_t blockSize = uint64_t(Registry()->size) + uint64_t(numLeaves) * WorldSector::Registry()->size +
                         uint64_t(numPlanes) * Round8(sizeof(PlaneSector)) + arrays +
                         uint64_t(numLeaves) * (4 + sets) * 8;
    uint64_t leastStream = numLeaves * kLeastLeafBytes + numPlanes * kLeastPlaneBytes +
                           (native ? 0 : uint64_t(numVertices) * 12 + uint64_t(numTriangles) * 8);
    if (!StreamCanHold(stream, leastStream))
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    void* block = blockSize <= kMaxBlockSize ? Memory::AllocateZeroed(1, size_t(blockSize), kWorldHint) : nullptr;
    if (!block)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    auto* world = static_cast<World*>(block);
    InitRecord(world);
    world->privateFlags = kOneBlock;
    world->formatFlags = format;
    world->numTexCoordSets = sets;
    MaterialList::Init(&world->materials);
    world->origin = {-GetReal(s + 4), -GetReal(s + 8), -GetReal(s + 12)};
    if (!EnterWorldList(world, size_t(blockSize)))
    {
        Memory::Free(block);
        WorldError(kErrNoMemory);
        return nullptr;
    }

    if (!Stream::FindChunk(stream, kChunkMaterialList, nullptr, nullptr) ||
        !MaterialList::StreamRead(stream, &world->materials))
        return FailRead(world, false);

    Reader reader{stream, world, {}, stride};
    reader.carve = {static_cast<uint8_t*>(block) + Registry()->size,
                    static_cast<uint8_t*>(block) + blockSize,
                    numLeaves,
                    numPlanes,
                    numVertices,
                    numTriangles};
    if (!reader.Tree(rootIsLeaf))
        return FailRead(world, false);
    world->numClumps = 0;
    world->currentClumpLink = &world->clumps;

    if (version > kBoxFromStructAfter)
    {
        std::memcpy(&world->box.sup, s + 40, 12);
        std::memcpy(&world->box.inf, s + 52, 12);
    }
    else
    {
        std::pair<BBox, bool> box = {{}, false};
        ForAllSectors(world, AddTightBox, &box);
        world->box = box.first;
    }
    PartitionBoxes(world);
    world->sectorRenderCallback = WorldSector::DefaultRender;

    if (!PluginRegistry::InitObject(Registry(), world))
        return FailRead(world, false);
    RightsRecord* rights = PendingRights(kRightsWorld);
    *rights = {};
    if (!PluginRegistry::ReadExtensionChunk(Registry(), stream, world))
        return FailRead(world, true);
    if (rights->pluginId != 0)
        PluginRegistry::CallRightsCallback(Registry(), rights->pluginId, world, rights->extraData);

    bool built = true;
    std::pair<World*, bool*> state = {world, &built};
    ForAllSectors(
        world,
        [](WorldSector* sector, void* data) -> WorldSector*
        {
            auto* state = static_cast<std::pair<World*, bool*>*>(data);
            if (BuildMesh(sector, state->first))
                return sector;
            *state->second = false;
            return nullptr;
        },
        &state);
    if (!built)
        return FailRead(world, true);
    return world;
}

// ---- Writing ----------------------------------------------------------------------------------------

const World* World::StreamWrite(const World* world, Stream* stream)
{
    // The tree in stream order, and each node's chunk size computed children first.
    std::vector<const SectorNode*> order;
    std::vector<const SectorNode*> pending = {world->rootSector};
    while (!pending.empty())
    {
        const SectorNode* node = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        order.push_back(node);
        if (node->type >= 0)
        {
            auto* plane = reinterpret_cast<const PlaneSector*>(node);
            pending.push_back(plane->right);
            pending.push_back(plane->left);
        }
    }
    std::unordered_map<const SectorNode*, uint32_t> sizes;
    uint32_t numTriangles = 0, numVertices = 0, numPlanes = 0, numLeaves = 0;
    for (size_t i = order.size(); i-- > 0;)
    {
        const SectorNode* node = order[i];
        if (node->type < 0)
        {
            auto* sector = reinterpret_cast<const WorldSector*>(node);
            sizes[node] = kChunkHeaderSize + LeafBodySize(world, sector) + kChunkHeaderSize +
                          uint32_t(PluginRegistry::GetExtensionSize(WorldSector::Registry(), sector));
            numTriangles += sector->numTriangles;
            numVertices += sector->numVertices;
            ++numLeaves;
            continue;
        }
        auto* plane = reinterpret_cast<const PlaneSector*>(node);
        uint32_t size = kChunkHeaderSize + kPlaneStructSize;
        for (const SectorNode* child : {plane->left, plane->right})
            if (child)
                size += kChunkHeaderSize + sizes[child];
        sizes[node] = size;
        ++numPlanes;
    }
    uint32_t format = world->formatFlags | (uint32_t(world->numTexCoordSets & 0xFF) | 0x4000) << 16;
    uint32_t body = kChunkHeaderSize + kStructSize + kChunkHeaderSize +
                    uint32_t(MaterialList::StreamGetSize(&world->materials)) + kChunkHeaderSize +
                    uint32_t(PluginRegistry::GetExtensionSize(Registry(), world));
    if (world->rootSector)
        body += kChunkHeaderSize + sizes[world->rootSector];

    uint32_t s[kStructSize / 4] = {world->rootSector && world->rootSector->type < 0 ? 1u : 0u};
    Vector inverse = {-world->origin.x, -world->origin.y, -world->origin.z};
    std::memcpy(s + 1, &inverse, 12);
    s[4] = numTriangles;
    s[5] = numVertices;
    s[6] = numPlanes;
    s[7] = numLeaves;
    s[8] = 0; // collision sector size
    s[9] = format;
    std::memcpy(s + 10, &world->box.sup, 12);
    std::memcpy(s + 13, &world->box.inf, 12);
    bool ok = Stream::WriteChunkHeader(stream, kChunkWorld, body, kLibraryVersion, kLibraryBuild) &&
              Stream::WriteChunkHeader(stream, kChunkStruct, kStructSize, kLibraryVersion, kLibraryBuild) &&
              Stream::WriteWords(stream, s, kStructSize) && MaterialList::StreamWrite(&world->materials, stream);
    for (size_t i = 0; ok && i < order.size(); ++i)
    {
        const SectorNode* node = order[i];
        if (node->type < 0)
        {
            ok = WriteLeaf(world, reinterpret_cast<const WorldSector*>(node), sizes[node], stream);
            continue;
        }
        auto* plane = reinterpret_cast<const PlaneSector*>(node);
        auto isLeaf = [](const SectorNode* child) { return child && child->type < 0 ? 1u : 0u; };
        uint32_t p[6] = {uint32_t(plane->type), 0, isLeaf(plane->left), isLeaf(plane->right)};
        std::memcpy(p + 1, &plane->value, 4);
        std::memcpy(p + 4, &plane->leftExtent, 4);
        std::memcpy(p + 5, &plane->rightExtent, 4);
        ok = Stream::WriteChunkHeader(stream, kChunkPlane, sizes[node], kLibraryVersion, kLibraryBuild) &&
             Stream::WriteChunkHeader(stream, kChunkStruct, kPlaneStructSize, kLibraryVersion, kLibraryBuild) &&
             Stream::WriteWords(stream, p, kPlaneStructSize);
    }
    ok = ok && PluginRegistry::WriteExtensionChunk(Registry(), stream, world);
    if (!ok)
    {
        WorldError(kErrStreamWrite);
        return nullptr;
    }
    return world;
}

// ---- Destruction ----------------------------------------------------------------------------------------

int32_t World::Destroy(World* world)
{
    TearDown(world, true);
    return 1;
}
