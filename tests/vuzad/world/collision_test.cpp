// Tests of collision trees and the collision plug-in: the block layout, chunk 44 written
// by the tree writer and by the engine, the older layout's conversion, trees that break
// the walks' invariants, and damaged streams.
#include "clump.h"
#include "collisionfixture.h"
#include "engine.h"
#include "error.h"
#include "geometrywriter.h"

#include <gtest/gtest.h>

namespace
{

using CollisionTrees = CollisionFixture;

Error TakeFullError()
{
    Error e;
    Error::Get(&e);
    return e;
}

/// Ten triangles in a row along x: with leaves of at most 3 the builder makes 3 splits.
void Row(int32_t count, std::vector<float>* positions, TriangleList* triangles)
{
    for (int32_t i = 0; i < count; ++i)
    {
        auto first = uint16_t(positions->size() / 3);
        float x = 2.0f * float(i);
        positions->insert(positions->end(), {x, 0, 0, x + 1, 0, 0, x, 1, float(i % 3)});
        triangles->push_back({first, uint16_t(first + 1), uint16_t(first + 2)});
    }
}

GeometryDescription RowGeometry(int32_t count)
{
    std::vector<float> positions;
    TriangleList triangles;
    Row(count, &positions, &triangles);
    GeometryDescription d;
    d.format = 0x2;
    d.numVertices = int32_t(positions.size() / 3);
    for (const auto& t : triangles)
        d.triangles.push_back({t[0], t[1], t[2], 0});
    d.targets = {{{float(count), 0.5f, 1.0f, 2.0f * float(count)}, positions, {}}};
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    return d;
}

CollisionTreeDescription RowTree(int32_t count, int32_t maxLeaf)
{
    std::vector<float> positions;
    TriangleList triangles;
    Row(count, &positions, &triangles);
    return CollisionTreeWriter::Build(positions, triangles, maxLeaf);
}

Geometry* ReadGeometry(std::vector<uint8_t>& bytes)
{
    Stream* in = OpenReader(bytes);
    Geometry* g = nullptr;
    if (Stream::FindChunk(in, 15, nullptr, nullptr))
        g = Geometry::StreamRead(in);
    Stream::Close(in, nullptr);
    return g;
}

/// The geometry with the collision data, followed by a one-mesh mesh extension that shows
/// whether the reader stayed in step after the collision data.
Geometry* ReadWithCollision(int32_t count, const std::vector<uint8_t>& pluginData)
{
    GeometryDescription d = RowGeometry(count);
    d.extension = CollisionTreeWriter::WriteExtension(pluginData);
    std::vector<uint32_t> indices;
    for (const auto& t : d.triangles)
        indices.insert(indices.end(), {t.v0, t.v1, t.v2});
    std::vector<uint8_t> mesh = GeometryWriter::WriteMeshExtension(0, {{0, indices}});
    d.extension.insert(d.extension.end(), mesh.begin(), mesh.end());
    std::vector<uint8_t> bytes = GeometryWriter::Write(d);
    return ReadGeometry(bytes);
}

/// Converted trees take their box from the owner instead.
void ExpectSameTree(const CollisionTree* tree, const CollisionTreeDescription& d, bool sameBox = true)
{
    EXPECT_EQ(tree->flags, d.flags);
    EXPECT_EQ(tree->numTriangles, d.numTriangles);
    ASSERT_EQ(tree->numSplits, d.splits.size());
    if (sameBox)
    {
        EXPECT_EQ(tree->box.inf.x, d.min[0]);
        EXPECT_EQ(tree->box.inf.z, d.min[2]);
        EXPECT_EQ(tree->box.sup.x, d.max[0]);
        EXPECT_EQ(tree->box.sup.y, d.max[1]);
    }
    for (size_t i = 0; i < d.splits.size(); ++i)
    {
        const CollisionTreeSplit& s = tree->splits[i];
        EXPECT_EQ(s.leftNode.axis & 0x0C, d.splits[i].axis);
        EXPECT_EQ(s.rightNode.axis, d.splits[i].axis);
        EXPECT_EQ(s.leftNode.type, d.splits[i].left.type);
        EXPECT_EQ(s.leftNode.index, d.splits[i].left.index);
        EXPECT_EQ(s.rightNode.type, d.splits[i].right.type);
        EXPECT_EQ(s.rightNode.index, d.splits[i].right.index);
        EXPECT_EQ(s.leftValue, d.splits[i].leftValue);
        EXPECT_EQ(s.rightValue, d.splits[i].rightValue);
    }
    if (d.flags & 1)
    {
        ASSERT_NE(tree->map, nullptr);
        EXPECT_EQ(std::vector<uint16_t>(tree->map, tree->map + tree->numTriangles), d.map);
    }
    else
        EXPECT_EQ(tree->map, nullptr);
}

TEST_F(CollisionTrees, BlockLaysOutSplitsAlignedAndTheMapAfterThem64Bit)
{
    BBox box = {{1, 2, 3}, {-1, -2, -3}};
    CollisionTree* leaf = CollisionTree::Create(7, 0, &box, 0);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->splits, nullptr);
    EXPECT_EQ(leaf->map, nullptr);
    EXPECT_EQ(leaf->box.sup.z, 3.0f);
    CollisionTree::Destroy(leaf);
    CollisionTree* tree = CollisionTree::Create(10, 3, &box, kCollisionTreeHasMap);
    ASSERT_NE(tree, nullptr);
    auto base = reinterpret_cast<uintptr_t>(tree), splits = reinterpret_cast<uintptr_t>(tree->splits);
    EXPECT_EQ(splits % 16, 0u);
    EXPECT_GE(splits, base + sizeof(CollisionTree));
    EXPECT_LT(splits, base + sizeof(CollisionTree) + 16);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(tree->map), splits + 48);
    // Every entry is writable: the sanitizer build catches a block cut short.
    for (int i = 0; i < 3; ++i)
        tree->splits[i] = {};
    for (int i = 0; i < 10; ++i)
        tree->map[i] = uint16_t(i);
    CollisionTree::Destroy(tree);
    EXPECT_EQ(CollisionTree::Create(0x10000, 0, &box, 0), nullptr);
    TakeError();
}

TEST_F(CollisionTrees, BuiltTreesRoundTripChunk44)
{
    struct Case
    {
        int32_t triangles, maxLeaf;
        uint32_t flags;
        int32_t bodySize; ///< -1: not checked
    };
    const Case cases[] = {{5, 8, 0, 48}, {10, 3, 1, 116}, {10, 3, 0, 96},
                          {1, 1, 1, 50}, {300, 4, 1, -1}, {0, 4, 1, 48}};
    for (const Case& c : cases)
    {
        CollisionTreeDescription d = RowTree(c.triangles, c.maxLeaf);
        d.flags = c.flags;
        CollisionTree* tree = ReadTree(d);
        ASSERT_NE(tree, nullptr) << c.triangles;
        ExpectSameTree(tree, d);
        EXPECT_TRUE(CollisionTree::Validate(tree, c.triangles));
        if (c.bodySize >= 0)
        {
            EXPECT_EQ(CollisionTree::StreamGetSize(tree), c.bodySize) << c.triangles;
        }
        // The engine writes exactly what the writer wrote, min corner first.
        Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        ASSERT_NE(CollisionTree::StreamWrite(tree, out), nullptr);
        EXPECT_EQ(CloseWriter(out), CollisionTreeWriter::WriteChunk(d)) << c.triangles;
        CollisionTree::Destroy(tree);
    }
}

TEST_F(CollisionTrees, SectorAndGeometryExtensionsCarryTheTree)
{
    CollisionTreeDescription d = RowTree(10, 3);
    std::vector<uint8_t> data = CollisionTreeWriter::WritePluginData(d);
    Geometry* g = ReadWithCollision(10, data);
    ASSERT_NE(g, nullptr);
    CollisionTree* tree = Collision::GetGeometryTree(g);
    ASSERT_NE(tree, nullptr);
    ExpectSameTree(tree, d);
    EXPECT_EQ(g->meshHeader->numMeshes, 1);
    int32_t offset = Geometry::GetPluginOffset(kCollisionPluginId);
    EXPECT_EQ(CollisionTree::StreamSizeExtension(g, offset, 8), 132);
    // The geometry's extension chunk writes the version word and chunk 44 back.
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(PluginRegistry::WriteExtensionChunk(Geometry::Registry(), out, g), nullptr);
    std::vector<uint8_t> extension = CloseWriter(out);
    std::vector<uint8_t> sub = CollisionTreeWriter::WriteExtension(data);
    EXPECT_NE(std::search(extension.begin(), extension.end(), sub.begin(), sub.end()), extension.end());
    Geometry::Destroy(g);

    // A sector reads the same data; its destructor frees the tree.
    SectorPtr sector = MakeSector();
    sector->numTriangles = 10;
    Stream* in = OpenReader(data);
    EXPECT_EQ(CollisionTree::StreamReadExtension(in, int32_t(data.size()), sector.get(),
                                                 WorldSector::GetPluginOffset(kCollisionPluginId), 8),
              in);
    Stream::Close(in, nullptr);
    ASSERT_NE(Collision::GetSectorTree(sector.get()), nullptr);
    EXPECT_EQ(CollisionTree::StreamSizeExtension(sector.get(), WorldSector::GetPluginOffset(kCollisionPluginId), 8),
              132);
}

TEST_F(CollisionTrees, VersionWordChoosesTheLayout)
{
    CollisionTreeDescription d = RowTree(10, 3);
    for (uint32_t version : {0x36003u, 0x36001u, 0x36000u})
    {
        std::vector<uint8_t> data = CollisionTreeWriter::WritePluginData(d);
        data[0] = uint8_t(version);
        data[1] = uint8_t(version >> 8);
        data[2] = uint8_t(version >> 16);
        Geometry* g = ReadWithCollision(10, data);
        ASSERT_NE(g, nullptr) << std::hex << version;
        EXPECT_EQ(g->meshHeader->numMeshes, 1);
        Error e = TakeFullError();
        if (version >= 0x36001)
        {
            ASSERT_NE(Collision::GetGeometryTree(g), nullptr) << std::hex << version;
            ExpectSameTree(Collision::GetGeometryTree(g), d);
            EXPECT_EQ(e.code, kErrNone);
        }
        else
        {
            // Taken as the older layout's leaf count: far more splits than a tree can hold.
            EXPECT_EQ(Collision::GetGeometryTree(g), nullptr);
            EXPECT_EQ(e.pluginId, kCollisionPluginId);
            EXPECT_EQ(e.code, kCollisionErrBadTree);
        }
        Geometry::Destroy(g);
    }
}

TEST_F(CollisionTrees, OlderLayoutConvertsToTheSameTreeWithTheOwnersBox)
{
    for (int32_t count : {1, 10, 200})
    {
        CollisionTreeDescription d = RowTree(count, 3);
        Geometry* g = ReadWithCollision(count, CollisionTreeWriter::WriteOldPluginData(d));
        ASSERT_NE(g, nullptr) << count;
        CollisionTree* tree = Collision::GetGeometryTree(g);
        ASSERT_NE(tree, nullptr) << count;
        ExpectSameTree(tree, d, false);
        // The box comes from morph target 0's sphere {count, 0.5, 1; 2 count}.
        EXPECT_EQ(tree->box.sup.x, 3.0f * float(count));
        EXPECT_EQ(tree->box.inf.y, 0.5f - 2.0f * float(count));
        EXPECT_EQ(g->meshHeader->numMeshes, 1);
        Geometry::Destroy(g);
    }
    // A sector takes its tight box.
    CollisionTreeDescription d = RowTree(10, 3);
    std::vector<uint8_t> data = CollisionTreeWriter::WriteOldPluginData(d);
    SectorPtr sector = MakeSector();
    sector->numTriangles = 10;
    sector->tightBox = {{4, 5, 6}, {-4, -5, -6}};
    Stream* in = OpenReader(data);
    EXPECT_EQ(CollisionTree::StreamReadExtension(in, int32_t(data.size()), sector.get(),
                                                 WorldSector::GetPluginOffset(kCollisionPluginId), 8),
              in);
    Stream::Close(in, nullptr);
    ASSERT_NE(Collision::GetSectorTree(sector.get()), nullptr);
    EXPECT_EQ(Collision::GetSectorTree(sector.get())->box.inf.z, -6.0f);
}

TEST_F(CollisionTrees, OlderLeafOf0xF0TrianglesDropsTheTreeAndTheOwnerReadsOn)
{
    for (int32_t count : {0xEF, 0xF0})
    {
        // One split whose left leaf holds every triangle and whose right leaf is empty.
        std::vector<uint8_t> old;
        auto word = [&](uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                old.push_back(uint8_t(v >> (8 * i)));
        };
        word(2);
        word(uint32_t(count));
        word(1 | 1 << 8);
        word(0);
        word(0x3F800000);
        word(0x3F800000);
        word(uint32_t(count) << 16);
        word(uint32_t(count));
        for (int32_t p = 0; p < count; ++p)
            word(uint32_t(p));
        GeometryDescription geometry = RowGeometry(0xF0);
        geometry.extension = CollisionTreeWriter::WriteExtension(old);
        std::vector<uint8_t> mesh = GeometryWriter::WriteMeshExtension(0, {{0, {0, 1, 2}}});
        geometry.extension.insert(geometry.extension.end(), mesh.begin(), mesh.end());
        std::vector<uint8_t> bytes = GeometryWriter::Write(geometry);
        Geometry* g = ReadGeometry(bytes);
        ASSERT_NE(g, nullptr) << count;
        EXPECT_EQ(g->meshHeader->numMeshes, 1) << count;
        EXPECT_EQ(MeshHeader::Meshes(g->meshHeader)[0].numIndices, 3u) << count;
        Error e = TakeFullError();
        if (count == 0xEF)
        {
            ASSERT_NE(Collision::GetGeometryTree(g), nullptr);
            EXPECT_EQ(Collision::GetGeometryTree(g)->splits[0].leftNode.type, 0xEF);
            EXPECT_EQ(e.code, kErrNone);
        }
        else
        {
            EXPECT_EQ(Collision::GetGeometryTree(g), nullptr);
            EXPECT_EQ(e.pluginId, kCollisionPluginId);
            EXPECT_EQ(e.code, kCollisionErrLeafTooLarge);
        }
        Geometry::Destroy(g);
    }
}

/// Puts a 16-bit value into a description's split field through a mutator, and a chain
/// tree of the given depth.
CollisionTreeDescription Chain(int32_t depth)
{
    CollisionTreeDescription d;
    d.numTriangles = uint32_t(depth + 1);
    d.max = {1, 1, 1};
    for (int32_t i = 0; i < depth; ++i)
    {
        CollisionTreeDescription::Node right = i + 1 < depth ? CollisionTreeDescription::Node{0xFF, uint16_t(i + 1)}
                                                             : CollisionTreeDescription::Node{1, uint16_t(i + 1)};
        d.splits.push_back({0, {1, uint16_t(i)}, 1.0f, right, 0.0f});
    }
    for (uint32_t p = 0; p < d.numTriangles; ++p)
        d.map.push_back(uint16_t(p % 10));
    return d;
}

TEST_F(CollisionTrees, TreesThatBreakTheWalksInvariantsAreDroppedWhileTheOwnerLoads)
{
    struct Case
    {
        const char* name;
        void (*mutate)(CollisionTreeDescription& d);
    };
    const Case cases[] = {
        {"split index past the count", [](CollisionTreeDescription& d) { d.splits[0].right.index = 9; }},
        {"cycle to the root",
         [](CollisionTreeDescription& d) {
             d.splits[2].left = {0xFF, 0};
         }},
        {"split reached twice", [](CollisionTreeDescription& d) { d.splits[0].right = d.splits[0].left; }},
        {"gap in the leaf runs", [](CollisionTreeDescription& d) { d.splits[1].right.index += 1; }},
        {"leaf run past the count", [](CollisionTreeDescription& d) { d.splits[2].right.type += 1; }},
        {"leaves short of the count", [](CollisionTreeDescription& d) { d.splits[2].right.type -= 1; }},
        {"map entry past the owner", [](CollisionTreeDescription& d) { d.map[4] = 10; }},
        {"axis 12", [](CollisionTreeDescription& d) { d.splits[1].axis = 12; }},
        {"33 levels", [](CollisionTreeDescription& d) { d = Chain(33); }},
        {"more triangles than the owner without a map",
         [](CollisionTreeDescription& d)
         {
             d = Chain(3);
             d.numTriangles = 11;
             d.splits[2].right.type = 8;
             d.flags = 0;
         }},
    };
    {
        // The unbroken forms load: the row tree and a chain of 32 levels.
        for (CollisionTreeDescription d : {RowTree(10, 3), Chain(32)})
        {
            d.flags = 1;
            Geometry* g = ReadWithCollision(10, CollisionTreeWriter::WritePluginData(d));
            ASSERT_NE(g, nullptr);
            EXPECT_NE(Collision::GetGeometryTree(g), nullptr) << d.splits.size();
            Geometry::Destroy(g);
            EXPECT_EQ(TakeError(), kErrNone);
        }
    }
    for (const Case& c : cases)
        for (bool older : {false, true})
        {
            CollisionTreeDescription d = RowTree(10, 3);
            ASSERT_EQ(d.splits.size(), 3u);
            c.mutate(d);
            if (older && (d.flags & 1) == 0)
                continue;
            std::vector<uint8_t> data =
                older ? CollisionTreeWriter::WriteOldPluginData(d) : CollisionTreeWriter::WritePluginData(d);
            Geometry* g = ReadWithCollision(10, data);
            ASSERT_NE(g, nullptr) << c.name << (older ? " (older)" : "");
            EXPECT_EQ(Collision::GetGeometryTree(g), nullptr) << c.name << (older ? " (older)" : "");
            EXPECT_EQ(g->meshHeader->numMeshes, 1) << c.name;
            Error e = TakeFullError();
            // The older layout cannot tell a split index past the count from a short walk.
            EXPECT_EQ(e.pluginId, kCollisionPluginId) << c.name << (older ? " (older)" : "");
            EXPECT_EQ(e.code, kCollisionErrBadTree) << c.name << (older ? " (older)" : "");
            Geometry::Destroy(g);
        }
}

TEST_F(CollisionTrees, ShortDataFailsTheOwnersRead)
{
    CollisionTreeDescription d = RowTree(10, 3);
    for (bool older : {false, true})
    {
        std::vector<uint8_t> data =
            older ? CollisionTreeWriter::WriteOldPluginData(d) : CollisionTreeWriter::WritePluginData(d);
        for (size_t cut : {size_t(2), size_t(6), size_t(30), data.size() - 2})
        {
            std::vector<uint8_t> shortData(data.begin(), data.begin() + long(cut));
            EXPECT_EQ(ReadWithCollision(10, shortData), nullptr) << cut << (older ? " older" : "");
            TakeError();
        }
    }
}

TEST_F(CollisionTrees, PluginCountsEngineInstancesAndStartsStampsAtZero)
{
    EXPECT_EQ(Collision::GetOpenCount(), 1);
    EXPECT_EQ(*Collision::QueryStamp(), 0u);
    Atomic* atomic = Atomic::Create();
    ASSERT_NE(atomic, nullptr);
    EXPECT_EQ(*Collision::AtomicStamp(atomic), 0u);
    Atomic::Destroy(atomic);
    // Registration belongs before Engine::Open.
    EXPECT_EQ(Collision::Attach(), 0);
    TakeError();
}

TEST_F(CollisionTrees, MutatedStreamsNeverCrash)
{
    std::vector<std::vector<uint8_t>> goods;
    CollisionTreeDescription d = RowTree(24, 3);
    goods.push_back(CollisionTreeWriter::WritePluginData(d));
    goods.push_back(CollisionTreeWriter::WriteOldPluginData(d));
    std::mt19937 rng(44);
    int32_t runs = 0;
    for (const std::vector<uint8_t>& good : goods)
    {
        std::uniform_int_distribution<size_t> at(0, good.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int i = 0; i < 1500; ++i)
        {
            std::vector<uint8_t> data = good;
            int flips = 1 + i % 3;
            for (int f = 0; f < flips; ++f)
                data[at(rng)] = uint8_t(i % 5 == 0 ? 0xFF : byte(rng));
            if (i % 7 == 0)
                data.resize(at(rng));
            if (Geometry* g = ReadWithCollision(24, data))
            {
                // Whatever tree was kept holds to the invariants the queries need.
                if (CollisionTree* tree = Collision::GetGeometryTree(g))
                {
                    EXPECT_TRUE(CollisionTree::Validate(tree, g->numTriangles));
                }
                EXPECT_EQ(g->meshHeader->numMeshes, 1);
                Geometry::Destroy(g);
            }
            TakeError();
            ++runs;
        }
    }
    EXPECT_EQ(runs, 3000);
}

} // namespace
