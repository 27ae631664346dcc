// Collision trees: the block, the checks of the invariants the query walks rely on, the
// chunk-44 stream form, the conversion of the older stream layout, and the collision
// plug-in that attaches trees to sectors and geometries and keeps the query stamps.
#include "collision.h"

#include "byteorder.h"
#include "chunk.h"
#include "clump.h"
#include "engine.h"
#include "error.h"
#include "geometry.h"
#include "memory.h"
#include "stream.h"
#include "world.h"

#include <cstring>
#include <vector>

namespace
{

constexpr uint32_t kTreeHint = kMemoryHintObject | 0x2C;
constexpr uint32_t kOldestTreeVersion = 0x36001;
constexpr uint32_t kHeadBytes = 36;
constexpr uint32_t kMaxOldLeafTriangles = 0xEF;
/// Any 16-bit triangle index will do: the owner is checked by the extension reader.
constexpr int32_t kAnyOwner = 0x10000;

int32_t sEngineOffset = -1;
int32_t sAtomicOffset = -1;
int32_t sSectorOffset = -1;
int32_t sGeometryOffset = -1;
int32_t sOpenCount = 0;

void CollisionError(int32_t code)
{
    Error::Report(Error::IsCommon(code) ? 0 : kCollisionPluginId, code);
}

CollisionTree** TreeSlot(const void* object, int32_t offset)
{
    return reinterpret_cast<CollisionTree**>(const_cast<char*>(static_cast<const char*>(object)) + offset);
}

float LoadReal(const uint8_t* p)
{
    uint32_t bits = ByteOrder::Load32(p);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

void StoreReal(uint8_t* p, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    ByteOrder::Store32(p, bits);
}

/// Reads inside a known number of bytes, so that nothing a file says can carry a read
/// past the data its owner gave it.
class Budget
{
public:
    Budget(Stream* stream, uint32_t left) : mStream(stream), mLeft(left) {}

    uint32_t Left() const { return mLeft; }

    bool Take(uint32_t length)
    {
        if (length > mLeft)
        {
            CollisionError(kErrStreamRead);
            return false;
        }
        mLeft -= length;
        return true;
    }
    bool Read(void* buffer, uint32_t length) { return Take(length) && Stream::Read(mStream, buffer, length) == length; }
    bool Word(uint32_t* value)
    {
        uint8_t bytes[4];
        if (!Read(bytes, 4))
            return false;
        *value = ByteOrder::Load32(bytes);
        return true;
    }
    bool Skip(uint32_t length) { return Take(length) && Stream::Skip(mStream, length); }
    bool SkipRest() { return mLeft == 0 || Skip(mLeft); }
    /// Skips chunks of other types up to the wanted one; its body size must fit too.
    bool FindChunk(uint32_t type, uint32_t* size)
    {
        for (;;)
        {
            uint8_t header[kChunkHeaderSize];
            if (!Read(header, kChunkHeaderSize))
                return false;
            uint32_t version = 0, build = 0;
            LibraryStamp::Decode(ByteOrder::Load32(header + 8), &version, &build);
            *size = ByteOrder::Load32(header + 4);
            if (*size > mLeft)
            {
                CollisionError(kErrStreamRead);
                return false;
            }
            if (ByteOrder::Load32(header) == type)
            {
                if (!LibraryStamp::IsReadable(version))
                {
                    CollisionError(kErrBadVersion);
                    return false;
                }
                return true;
            }
            if (!Skip(*size))
                return false;
        }
    }

private:
    Stream* mStream;
    uint32_t mLeft;
};

enum class ReadResult
{
    kTree,
    kFailed,  ///< a short or inconsistent stream: the owner's read fails
    kDropped, ///< a tree the queries cannot use: the owner loads without it
};

size_t Align(size_t value, size_t to)
{
    return (value + to - 1) & ~(to - 1);
}

void DecodeSplits(CollisionTree* tree, const uint8_t* bytes)
{
    for (int32_t i = 0; i < tree->numSplits; ++i, bytes += 16)
    {
        CollisionTreeSplit& s = tree->splits[i];
        s.leftNode = {bytes[0], bytes[1], ByteOrder::Load16(bytes + 2)};
        s.leftValue = LoadReal(bytes + 4);
        s.rightNode = {bytes[8], bytes[9], ByteOrder::Load16(bytes + 10)};
        s.rightValue = LoadReal(bytes + 12);
    }
}

ReadResult ReadBody(Budget& in, int32_t ownerTriangles, CollisionTree** out)
{
    *out = nullptr;
    uint32_t structSize = 0;
    uint8_t head[kHeadBytes];
    if (!in.FindChunk(kChunkStruct, &structSize))
        return ReadResult::kFailed;
    if (structSize < kHeadBytes)
    {
        CollisionError(kErrStreamRead);
        return ReadResult::kFailed;
    }
    if (!in.Read(head, kHeadBytes))
        return ReadResult::kFailed;
    uint32_t flags = ByteOrder::Load32(head);
    BBox box = {{LoadReal(head + 16), LoadReal(head + 20), LoadReal(head + 24)},
                {LoadReal(head + 4), LoadReal(head + 8), LoadReal(head + 12)}};
    auto numTriangles = uint16_t(ByteOrder::Load32(head + 28));
    auto numSplits = uint16_t(ByteOrder::Load32(head + 32));
    uint32_t splitBytes = 16u * numSplits, mapBytes = (flags & kCollisionTreeHasMap) ? 2u * numTriangles : 0u;
    if (structSize != kHeadBytes + splitBytes + mapBytes)
    {
        CollisionError(kErrStreamRead);
        return ReadResult::kFailed;
    }
    CollisionTree* tree = CollisionTree::Create(numTriangles, numSplits, &box, flags);
    if (!tree)
        return ReadResult::kFailed;
    bool read = splitBytes == 0 || in.Read(tree->splits, splitBytes);
    if (read && splitBytes)
        DecodeSplits(tree, reinterpret_cast<const uint8_t*>(tree->splits));
    if (read && tree->map)
    {
        read = mapBytes == 0 || in.Read(tree->map, mapBytes);
        for (int32_t p = 0; read && p < numTriangles; ++p)
            tree->map[p] = ByteOrder::Load16(reinterpret_cast<const uint8_t*>(tree->map + p));
    }
    if (!read)
    {
        CollisionTree::Destroy(tree);
        return ReadResult::kFailed;
    }
    if (!CollisionTree::Validate(tree, ownerTriangles))
    {
        CollisionTree::Destroy(tree);
        CollisionError(kCollisionErrBadTree);
        return ReadResult::kDropped;
    }
    *out = tree;
    return ReadResult::kTree;
}

ReadResult ConvertOldBody(Budget& in, int32_t numTriangles, int32_t numSplits, const BBox* box, int32_t ownerTriangles,
                          CollisionTree** out)
{
    *out = nullptr;
    if (numTriangles < 0 || numTriangles > 0xFFFF || numSplits < 0 || numSplits > 0xFFFF)
    {
        CollisionError(kCollisionErrBadTree);
        return ReadResult::kDropped;
    }
    // Every word the layout holds must be there before anything is allocated for it.
    uint64_t needed =
        16ull * uint64_t(numSplits) + 4ull * uint64_t(numSplits ? numSplits + 1 : 1) + 4ull * uint64_t(numTriangles);
    if (needed > in.Left())
    {
        CollisionError(kErrStreamRead);
        return ReadResult::kFailed;
    }
    CollisionTree* tree = CollisionTree::Create(numTriangles, numSplits, box, kCollisionTreeHasMap);
    if (!tree)
        return ReadResult::kFailed;
    auto fail = [&](ReadResult result, int32_t code)
    {
        CollisionTree::Destroy(tree);
        if (code)
            CollisionError(code);
        return result;
    };
    for (int32_t i = 0; i < numSplits; ++i)
    {
        uint8_t words[16];
        if (!in.Read(words, 16))
            return fail(ReadResult::kFailed, 0);
        uint32_t kinds = ByteOrder::Load32(words), indices = ByteOrder::Load32(words + 4);
        auto axis = uint8_t(kinds >> 16);
        CollisionTreeSplit& s = tree->splits[i];
        s.leftNode = {uint8_t(axis | 1), uint8_t(((kinds >> 8) & 0xFF) == 2 ? kCollisionNodeSplit : 0),
                      uint16_t(indices >> 16)};
        s.rightNode = {axis, uint8_t((kinds & 0xFF) == 2 ? kCollisionNodeSplit : 0), uint16_t(indices)};
        s.leftValue = LoadReal(words + 8);
        s.rightValue = LoadReal(words + 12);
    }
    if (numSplits == 0)
    {
        if (!in.Skip(4))
            return fail(ReadResult::kFailed, 0);
    }
    else
    {
        // The leaf words follow the walk order: fill each leaf as the walk meets it. Splits
        // met twice, or deeper than the query stacks, end the walk as a bad tree.
        struct Pending
        {
            CollisionTreeNode* node;
            int32_t depth;
        };
        Pending stack[kCollisionWalkStack];
        int32_t pending = 0;
        std::vector<uint8_t> seen(size_t(numSplits), 0);
        CollisionTreeNode root = {0, kCollisionNodeSplit, 0};
        CollisionTreeNode* node = &root;
        int32_t depth = 0;
        for (;;)
        {
            if (node->type == kCollisionNodeSplit)
            {
                if (node->index >= numSplits || seen[node->index] || depth >= kCollisionTreeMaxDepth ||
                    pending == kCollisionWalkStack)
                    return fail(ReadResult::kDropped, kCollisionErrBadTree);
                seen[node->index] = 1;
                CollisionTreeSplit& s = tree->splits[node->index];
                stack[pending++] = {&s.rightNode, depth + 1};
                node = &s.leftNode;
                ++depth;
                continue;
            }
            uint32_t word = 0;
            if (!in.Word(&word))
                return fail(ReadResult::kFailed, 0);
            if ((word >> 16) > kMaxOldLeafTriangles)
                return fail(ReadResult::kDropped, kCollisionErrLeafTooLarge);
            node->type = uint8_t(word >> 16);
            node->index = uint16_t(word);
            if (pending == 0)
                break;
            --pending;
            node = stack[pending].node;
            depth = stack[pending].depth;
        }
    }
    for (int32_t p = 0; p < numTriangles; ++p)
    {
        uint32_t word = 0;
        if (!in.Word(&word))
            return fail(ReadResult::kFailed, 0);
        tree->map[p] = uint16_t(word);
    }
    if (!CollisionTree::Validate(tree, ownerTriangles))
        return fail(ReadResult::kDropped, kCollisionErrBadTree);
    *out = tree;
    return ReadResult::kTree;
}

int32_t OwnerTriangles(const void* object)
{
    if (*static_cast<const uint8_t*>(object) == Geometry::kObjectType)
        return static_cast<const Geometry*>(object)->numTriangles;
    return static_cast<const WorldSector*>(object)->numTriangles;
}

} // namespace

// ---- The block ----------------------------------------------------------------------------------

CollisionTree* CollisionTree::Create(int32_t numTriangles, int32_t numSplits, const BBox* box, uint32_t flags)
{
    if (numTriangles < 0 || numTriangles > 0xFFFF || numSplits < 0 || numSplits > 0xFFFF)
    {
        CollisionError(kErrBadArgument);
        return nullptr;
    }
    size_t bytes = sizeof(CollisionTree);
    if (numSplits)
        bytes += 15 + 16 * size_t(numSplits);
    if (flags & kCollisionTreeHasMap)
        bytes += 1 + 2 * size_t(numTriangles);
    auto* block = static_cast<char*>(Memory::Allocate(bytes, kTreeHint));
    if (!block)
    {
        CollisionError(kErrNoMemory);
        return nullptr;
    }
    auto* tree = reinterpret_cast<CollisionTree*>(block);
    tree->flags = flags;
    tree->box = *box;
    tree->numTriangles = uint16_t(numTriangles);
    tree->numSplits = uint16_t(numSplits);
    auto base = reinterpret_cast<uintptr_t>(block);
    uintptr_t next = base + sizeof(CollisionTree);
    tree->splits = nullptr;
    if (numSplits)
    {
        next = Align(next, 16);
        tree->splits = reinterpret_cast<CollisionTreeSplit*>(next);
        next += 16 * size_t(numSplits);
    }
    tree->map = nullptr;
    if (flags & kCollisionTreeHasMap)
        tree->map = reinterpret_cast<uint16_t*>(Align(next, 2));
    return tree;
}

void CollisionTree::Destroy(CollisionTree* tree)
{
    if (tree)
        Memory::Free(tree);
}

bool CollisionTree::Validate(const CollisionTree* tree, int32_t ownerTriangles)
{
    if (!tree)
        return false;
    if (tree->map)
    {
        for (int32_t p = 0; p < tree->numTriangles; ++p)
            if (tree->map[p] >= ownerTriangles)
                return false;
    }
    else if (tree->numTriangles > ownerTriangles)
        return false;
    if (tree->numSplits == 0)
        return true;
    if (!tree->splits)
        return false;
    struct Pending
    {
        const CollisionTreeNode* node;
        int32_t depth;
    };
    Pending stack[kCollisionWalkStack];
    int32_t pending = 0, reached = 0, position = 0;
    std::vector<uint8_t> seen(tree->numSplits, 0);
    const CollisionTreeNode root = {0, kCollisionNodeSplit, 0};
    const CollisionTreeNode* node = &root;
    int32_t depth = 0;
    for (;;)
    {
        if (node->type == kCollisionNodeSplit)
        {
            if (node->index >= tree->numSplits || seen[node->index] || depth >= kCollisionTreeMaxDepth ||
                pending == kCollisionWalkStack)
                return false;
            seen[node->index] = 1;
            ++reached;
            const CollisionTreeSplit& s = tree->splits[node->index];
            if ((s.leftNode.axis & 0x0C) == 0x0C)
                return false;
            stack[pending++] = {&s.rightNode, depth + 1};
            node = &s.leftNode;
            ++depth;
            continue;
        }
        // Leaves in walk order make one run, so a whole subtree is one run of positions.
        if (node->index != position)
            return false;
        position += node->type;
        if (position > tree->numTriangles)
            return false;
        if (pending == 0)
            break;
        --pending;
        node = stack[pending].node;
        depth = stack[pending].depth;
    }
    return position == tree->numTriangles && reached == tree->numSplits;
}

// ---- Stream form ----------------------------------------------------------------------------------

int32_t CollisionTree::StreamGetSize(const CollisionTree* tree)
{
    int32_t size = 48 + 16 * tree->numSplits;
    if (tree->flags & kCollisionTreeHasMap)
        size += 2 * tree->numTriangles;
    return size;
}

const CollisionTree* CollisionTree::StreamWrite(const CollisionTree* tree, Stream* stream)
{
    auto size = uint32_t(StreamGetSize(tree));
    if (!Stream::WriteChunkHeader(stream, kChunkCollisionTree, size, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, size - kChunkHeaderSize, kLibraryVersion, kLibraryBuild))
        return nullptr;
    uint8_t head[kHeadBytes];
    ByteOrder::Store32(head, tree->flags);
    const float corners[6] = {tree->box.inf.x, tree->box.inf.y, tree->box.inf.z,
                              tree->box.sup.x, tree->box.sup.y, tree->box.sup.z};
    for (int32_t i = 0; i < 6; ++i)
        StoreReal(head + 4 + 4 * i, corners[i]);
    ByteOrder::Store32(head + 28, tree->numTriangles);
    ByteOrder::Store32(head + 32, tree->numSplits);
    if (!Stream::Write(stream, head, kHeadBytes))
        return nullptr;
    for (int32_t i = 0; i < tree->numSplits; ++i)
    {
        const CollisionTreeSplit& s = tree->splits[i];
        uint8_t bytes[16] = {
            s.leftNode.axis,  s.leftNode.type,  uint8_t(s.leftNode.index),  uint8_t(s.leftNode.index >> 8), 0, 0, 0, 0,
            s.rightNode.axis, s.rightNode.type, uint8_t(s.rightNode.index), uint8_t(s.rightNode.index >> 8)};
        StoreReal(bytes + 4, s.leftValue);
        StoreReal(bytes + 12, s.rightValue);
        if (!Stream::Write(stream, bytes, 16))
            return nullptr;
    }
    if (tree->flags & kCollisionTreeHasMap)
    {
        std::vector<uint8_t> map(2 * size_t(tree->numTriangles));
        for (int32_t p = 0; p < tree->numTriangles; ++p)
        {
            map[2 * size_t(p)] = uint8_t(tree->map[p]);
            map[2 * size_t(p) + 1] = uint8_t(tree->map[p] >> 8);
        }
        if (!map.empty() && !Stream::Write(stream, map.data(), uint32_t(map.size())))
            return nullptr;
    }
    return tree;
}

CollisionTree* CollisionTree::StreamRead(Stream* stream)
{
    Budget in(stream, UINT32_MAX);
    CollisionTree* tree = nullptr;
    ReadBody(in, kAnyOwner, &tree);
    return tree;
}

CollisionTree* CollisionTree::ConvertOld(Stream* stream, int32_t numTriangles, int32_t numSplits, const BBox* box,
                                         int32_t* dropped)
{
    Budget in(stream, UINT32_MAX);
    CollisionTree* tree = nullptr;
    *dropped = ConvertOldBody(in, numTriangles, numSplits, box, kAnyOwner, &tree) == ReadResult::kDropped;
    return tree;
}

// ---- Extension callbacks --------------------------------------------------------------------------

Stream* CollisionTree::StreamReadExtension(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    CollisionTree** slot = TreeSlot(object, offset);
    Destroy(*slot);
    *slot = nullptr;
    Budget in(stream, uint32_t(length < 0 ? 0 : length));
    uint32_t version = 0;
    if (!in.Word(&version))
        return nullptr;
    int32_t owner = OwnerTriangles(object);
    CollisionTree* tree = nullptr;
    ReadResult result;
    if (version >= kOldestTreeVersion)
    {
        uint32_t size = 0;
        if (!in.FindChunk(kChunkCollisionTree, &size) || !in.Take(size))
            return nullptr;
        Budget body(stream, size);
        result = ReadBody(body, owner, &tree);
        if (result != ReadResult::kFailed && !body.SkipRest())
            result = ReadResult::kFailed;
    }
    else
    {
        uint32_t numTriangles = 0;
        if (!in.Word(&numTriangles))
            return nullptr;
        BBox box = {};
        if (*static_cast<const uint8_t*>(object) == Geometry::kObjectType)
        {
            const auto* geometry = static_cast<const Geometry*>(object);
            if (geometry->morphTargets)
            {
                const Sphere& s = geometry->morphTargets[0].boundingSphere;
                box = {{s.centre.x + s.radius, s.centre.y + s.radius, s.centre.z + s.radius},
                       {s.centre.x - s.radius, s.centre.y - s.radius, s.centre.z - s.radius}};
            }
        }
        else
            box = static_cast<const WorldSector*>(object)->tightBox;
        // The first word is the leaf count: a tree of none is no tree.
        int32_t numSplits = version == 0 ? -1 : int32_t(version - 1);
        int32_t triangles = numTriangles > 0xFFFF ? -1 : int32_t(numTriangles);
        result = ConvertOldBody(in, triangles, numSplits, &box, owner, &tree);
    }
    if (result == ReadResult::kFailed)
        return nullptr;
    // A dropped tree leaves its data unread: skip to the end so the owner reads on in step.
    if (!in.SkipRest())
    {
        Destroy(tree);
        return nullptr;
    }
    *slot = tree;
    return stream;
}

Stream* CollisionTree::StreamWriteExtension(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const CollisionTree* tree = *TreeSlot(object, offset);
    if (!tree)
        return stream;
    uint8_t version[4];
    ByteOrder::Store32(version, uint32_t(Engine::GetVersion()));
    if (!Stream::Write(stream, version, 4) || !StreamWrite(tree, stream))
        return nullptr;
    return stream;
}

int32_t CollisionTree::StreamSizeExtension(const void* object, int32_t offset, int32_t)
{
    const CollisionTree* tree = *TreeSlot(object, offset);
    return tree ? StreamGetSize(tree) + 16 : 0;
}

void* CollisionTree::ConstructExtension(void* object, int32_t offset, int32_t)
{
    *TreeSlot(object, offset) = nullptr;
    return object;
}

void* CollisionTree::DestroyExtension(void* object, int32_t offset, int32_t)
{
    CollisionTree** slot = TreeSlot(object, offset);
    Destroy(*slot);
    *slot = nullptr;
    return object;
}

// ---- The plug-in ------------------------------------------------------------------------------------

int32_t Collision::Attach()
{
    sEngineOffset = Engine::RegisterPlugin(4, kCollisionPluginId, EngineOpen, EngineClose);
    if (sEngineOffset < 0)
        return 0;
    sAtomicOffset = Atomic::RegisterPlugin(4, kCollisionPluginId, InitAtomicStamp, nullptr, nullptr);
    if (sAtomicOffset < 0)
        return 0;
    const auto slot = int32_t(sizeof(CollisionTree*));
    sSectorOffset = WorldSector::RegisterPlugin(slot, kCollisionPluginId, CollisionTree::ConstructExtension,
                                                CollisionTree::DestroyExtension, nullptr);
    if (sSectorOffset < 0 ||
        WorldSector::RegisterPluginStream(kCollisionPluginId, CollisionTree::StreamReadExtension,
                                          CollisionTree::StreamWriteExtension, CollisionTree::StreamSizeExtension) < 0)
        return 0;
    sGeometryOffset = Geometry::RegisterPlugin(slot, kCollisionPluginId, CollisionTree::ConstructExtension,
                                               CollisionTree::DestroyExtension, nullptr);
    if (sGeometryOffset < 0 ||
        Geometry::RegisterPluginStream(kCollisionPluginId, CollisionTree::StreamReadExtension,
                                       CollisionTree::StreamWriteExtension, CollisionTree::StreamSizeExtension) < 0)
        return 0;
    return 1;
}

void* Collision::EngineOpen(void* engine, int32_t offset, int32_t)
{
    ++sOpenCount;
    *static_cast<uint32_t*>(Engine::Block(static_cast<Engine*>(engine), offset)) = 0;
    return engine;
}

void* Collision::EngineClose(void* engine, int32_t, int32_t)
{
    --sOpenCount;
    return engine;
}

void* Collision::InitAtomicStamp(void* atomic, int32_t offset, int32_t)
{
    *reinterpret_cast<uint32_t*>(static_cast<char*>(atomic) + offset) = 0;
    return atomic;
}

CollisionTree* Collision::GetSectorTree(const WorldSector* sector)
{
    return sSectorOffset < 0 ? nullptr : *TreeSlot(sector, sSectorOffset);
}

CollisionTree* Collision::GetGeometryTree(const Geometry* geometry)
{
    return sGeometryOffset < 0 ? nullptr : *TreeSlot(geometry, sGeometryOffset);
}

WorldSector* Collision::SetSectorTree(WorldSector* sector, CollisionTree* tree)
{
    CollisionTree** slot = TreeSlot(sector, sSectorOffset);
    if (*slot != tree)
        CollisionTree::Destroy(*slot);
    *slot = tree;
    return sector;
}

Geometry* Collision::SetGeometryTree(Geometry* geometry, CollisionTree* tree)
{
    CollisionTree** slot = TreeSlot(geometry, sGeometryOffset);
    if (*slot != tree)
        CollisionTree::Destroy(*slot);
    *slot = tree;
    return geometry;
}

uint32_t* Collision::QueryStamp()
{
    return static_cast<uint32_t*>(Engine::Block(Engine::Current(), sEngineOffset));
}

uint32_t* Collision::AtomicStamp(Atomic* atomic)
{
    return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(atomic) + sAtomicOffset);
}

int32_t Collision::GetOpenCount()
{
    return sOpenCount;
}
