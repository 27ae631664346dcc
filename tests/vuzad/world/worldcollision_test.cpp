// Worlds read from their stream form carry the collision trees their leaves were written
// with: queries against a read world hit what the written triangles say, and a world
// written back and read again answers the same.
#include "collisionfixture.h"
#include "worldfixture.h"
#include "worldwriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using WorldCollision = CollisionFixture;

// A wall of two triangles across x = wallX, spanning y and z from -10 to 10, its front
// facing +x or -x (lines meet front faces only).
WorldDescription::Leaf Wall(float wallX, bool facesPlusX)
{
    WorldDescription::Leaf leaf;
    leaf.positions = {wallX, -10, -10, wallX, 10, -10, wallX, 10, 10, wallX, -10, 10};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 1, 2}, {0, 2, 3}};
    if (!facesPlusX)
        triangles = {{0, 2, 1}, {0, 3, 2}};
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    CollisionTreeDescription tree = CollisionTreeWriter::Build(leaf.positions, triangles, 1);
    leaf.extension = CollisionTreeWriter::WriteExtension(CollisionTreeWriter::WritePluginData(tree));
    return leaf;
}

// Two leaves split at x = 0: a wall at x = -5 on the left, x = 5 on the right, both
// facing the plane between them.
WorldDescription TwoWalls()
{
    WorldDescription w;
    w.leaves = {Wall(-5, true), Wall(5, false)};
    WorldDescription::Node root, left, right;
    root.axis = 0;
    root.value = 0;
    root.leftExtent = 0;
    root.rightExtent = 0;
    root.left = 1;
    root.right = 2;
    left.leaf = 0;
    right.leaf = 1;
    w.nodes = {root, left, right};
    GeometryDescription::Material grey;
    grey.colour = {128, 128, 128, 255};
    w.materials = {grey};
    w.listEntries = {0};
    return w;
}

struct Hit
{
    float x;
    float distance;
};

std::vector<Hit> LineHits(World* world, Vector start, Vector end)
{
    IntersectionPrimitive line{};
    line.type = kIntersectLine;
    line.data.line = {start, end};
    std::vector<Hit> hits;
    World::ForAllTriangleIntersections(
        world, &line,
        [](IntersectionPrimitive*, WorldSector*, CollisionTriangle* t, float distance, void* data)
        {
            static_cast<std::vector<Hit>*>(data)->push_back({t->point.x, distance});
            return t;
        },
        &hits);
    return hits;
}

TEST_F(WorldCollision, ReadWorldsAnswerLineQueriesThroughTheirLeavesTrees)
{
    std::vector<uint8_t> bytes = WorldWriter::Write(TwoWalls());
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    std::vector<WorldSector*> leaves;
    World::ForAllSectors(
        world,
        [](WorldSector* s, void* d)
        {
            static_cast<std::vector<WorldSector*>*>(d)->push_back(s);
            return s;
        },
        &leaves);
    ASSERT_EQ(leaves.size(), 2u);
    for (WorldSector* leaf : leaves)
        EXPECT_NE(Collision::GetSectorTree(leaf), nullptr);

    // From the origin towards +x the line meets only the right wall, a quarter of the way.
    std::vector<Hit> hits = LineHits(world, {0, 1, 2}, {20, 1, 2});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_FLOAT_EQ(hits[0].x, 5.0f);
    EXPECT_NEAR(hits[0].distance, 0.25f, 1e-6f);

    // Across both walls from outside: the left wall shows its back, the right its front.
    hits = LineHits(world, {-20, 1, 2}, {20, 1, 2});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_FLOAT_EQ(hits[0].x, 5.0f);
    EXPECT_NEAR(hits[0].distance, 0.625f, 1e-6f);

    // Written back and read again, the trees come along.
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(World::StreamWrite(world, out), nullptr);
    std::vector<uint8_t> again = CloseWriter(out);
    World::Destroy(world);
    World* reread = ReadWorldChunk(again);
    ASSERT_NE(reread, nullptr);
    hits = LineHits(reread, {0, 1, 2}, {-20, 1, 2});
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_FLOAT_EQ(hits[0].x, -5.0f);
    World::Destroy(reread);
}

TEST_F(WorldCollision, NativeWorldsWithTreesAnswerNoTriangleHits)
{
    // One flag bit in the file: the leaves keep their trees but no triangle arrays.
    WorldDescription d = TwoWalls();
    d.format |= kGeometryNative;
    for (auto& leaf : d.leaves)
    {
        leaf.numVertices = 4;
        leaf.numTriangles = 2;
    }
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    EXPECT_TRUE(LineHits(world, {0, 1, 2}, {20, 1, 2}).empty());
    IntersectionPrimitive shapes[2] = {};
    shapes[0].type = kIntersectSphere;
    shapes[0].data.sphere = {{5, 0, 0}, 3.0f};
    shapes[1].type = kIntersectBox;
    shapes[1].data.box = {{20, 20, 20}, {-20, -20, -20}};
    for (IntersectionPrimitive& shape : shapes)
    {
        int calls = 0;
        World::ForAllTriangleIntersections(
            world, &shape,
            [](IntersectionPrimitive*, WorldSector*, CollisionTriangle* t, float, void* data)
            {
                ++*static_cast<int*>(data);
                return t;
            },
            &calls);
        EXPECT_EQ(calls, 0) << shape.type;
    }
    World::Destroy(world);
}

} // namespace
