// Test helpers for collision trees and queries.
#include "collisionfixture.h"

#include "engine.h"
#include "memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void CollisionFixture::SetUp()
{
    EngineFixture::SetUp();
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    ASSERT_EQ(World::Attach(), 1);
    ASSERT_EQ(Collision::Attach(), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
}

CollisionTree* ReadTree(const CollisionTreeDescription& description)
{
    std::vector<uint8_t> bytes = CollisionTreeWriter::WriteChunk(description);
    Stream* in = OpenReader(bytes);
    CollisionTree* tree = nullptr;
    if (Stream::FindChunk(in, kChunkCollisionTree, nullptr, nullptr))
        tree = CollisionTree::StreamRead(in);
    Stream::Close(in, nullptr);
    return tree;
}

CollisionTree* BuildTree(const std::vector<float>& positions, const TriangleList& triangles, int32_t maxLeaf)
{
    return ReadTree(CollisionTreeWriter::Build(positions, triangles, maxLeaf));
}

void SectorDeleter::operator()(WorldSector* sector) const
{
    PluginRegistry::DeinitObject(WorldSector::Registry(), sector);
    std::free(sector);
}

SectorPtr MakeSector()
{
    auto* sector = static_cast<WorldSector*>(std::calloc(1, size_t(WorldSector::Registry()->size)));
    WorldSector::InitLeaf(sector);
    PluginRegistry::InitObject(WorldSector::Registry(), sector);
    return SectorPtr(sector);
}

void RandomTriangles(std::mt19937& rng, int32_t count, float extent, float size, std::vector<float>* positions,
                     TriangleList* triangles)
{
    std::uniform_real_distribution<float> at(-extent, extent), offset(-size, size);
    for (int32_t i = 0; i < count; ++i)
    {
        float centre[3] = {at(rng), at(rng), at(rng)};
        auto first = uint16_t(positions->size() / 3);
        for (int32_t v = 0; v < 3; ++v)
            for (float c : centre)
                positions->push_back(c + offset(rng));
        triangles->push_back({first, uint16_t(first + 1), uint16_t(first + 2)});
    }
}

RandomWorld::RandomWorld(std::mt19937& rng, int32_t numTriangles, int32_t leafTriangles, bool oneLeafWithoutTree)
{
    World::InitRecord(&mWorld);
    MaterialList::Init(&mWorld.materials);
    RandomTriangles(rng, numTriangles, kExtent, 4.0f, &mPositions, &mTriangles);
    std::vector<int32_t> all(static_cast<size_t>(numTriangles));
    for (int32_t i = 0; i < numTriangles; ++i)
        all[size_t(i)] = i;
    mWorld.box = {{kWorldBox, kWorldBox, kWorldBox}, {-kWorldBox, -kWorldBox, -kWorldBox}};
    mWorld.rootSector = Build(all, mWorld.box, leafTriangles);
    if (oneLeafWithoutTree && mLeaves.size() > 1)
        Collision::SetSectorTree(mLeaves[mLeaves.size() / 2], nullptr);
}

RandomWorld::~RandomWorld()
{
    MaterialList::Deinit(&mWorld.materials);
}

SectorNode* RandomWorld::Build(std::vector<int32_t>& triangles, const BBox& region, int32_t leafTriangles)
{
    auto coordinate = [&](int32_t triangle, int32_t vertex, int32_t axis)
    { return mPositions[3 * size_t(mTriangles[size_t(triangle)][size_t(vertex)]) + size_t(axis)]; };
    auto centre = [&](int32_t triangle, int32_t axis)
    { return coordinate(triangle, 0, axis) + coordinate(triangle, 1, axis) + coordinate(triangle, 2, axis); };
    if (int32_t(triangles.size()) <= leafTriangles)
    {
        // The leaf keeps its own vertices, numbered from 0, as a stored sector does.
        std::vector<Vector> positions;
        std::vector<Triangle> records;
        std::vector<float> flat;
        TriangleList local;
        for (int32_t t : triangles)
        {
            auto first = uint16_t(positions.size());
            for (int32_t v = 0; v < 3; ++v)
            {
                positions.push_back({coordinate(t, v, 0), coordinate(t, v, 1), coordinate(t, v, 2)});
                flat.insert(flat.end(), {positions.back().x, positions.back().y, positions.back().z});
            }
            records.push_back({{first, uint16_t(first + 1), uint16_t(first + 2)}, 0});
            local.push_back({first, uint16_t(first + 1), uint16_t(first + 2)});
        }
        mLeafPositions.push_back(std::move(positions));
        mLeafTriangles.push_back(std::move(records));
        SectorPtr sector = MakeSector();
        sector->positions = mLeafPositions.back().data();
        sector->triangles = mLeafTriangles.back().data();
        sector->numTriangles = uint16_t(triangles.size());
        sector->numVertices = uint16_t(3 * triangles.size());
        sector->box = region;
        if (!local.empty())
        {
            BBox tight;
            BBox::Calculate(&tight, mLeafPositions.back().data(), int32_t(mLeafPositions.back().size()));
            sector->tightBox = tight;
            Collision::SetSectorTree(sector.get(), BuildTree(flat, local));
        }
        mLeaves.push_back(sector.get());
        auto* node = reinterpret_cast<SectorNode*>(sector.get());
        mSectors.push_back(std::move(sector));
        return node;
    }
    float lo[3], hi[3];
    for (int32_t a = 0; a < 3; ++a)
    {
        lo[a] = 1e30f;
        hi[a] = -1e30f;
        for (int32_t t : triangles)
        {
            lo[a] = std::min(lo[a], centre(t, a));
            hi[a] = std::max(hi[a], centre(t, a));
        }
    }
    int32_t axis = 0;
    for (int32_t a = 1; a < 3; ++a)
        if (hi[a] - lo[a] > hi[axis] - lo[axis])
            axis = a;
    size_t half = triangles.size() / 2;
    std::nth_element(triangles.begin(), triangles.begin() + long(half), triangles.end(),
                     [&](int32_t a, int32_t b) { return centre(a, axis) < centre(b, axis); });
    std::vector<int32_t> left(triangles.begin(), triangles.begin() + long(half));
    std::vector<int32_t> right(triangles.begin() + long(half), triangles.end());
    float value = centre(right.front(), axis) / 3.0f;
    for (int32_t t : right)
        value = std::min(value, centre(t, axis) / 3.0f);
    // Extents bound each side's triangles and reach the partition value.
    float leftExtent = value, rightExtent = value;
    for (int32_t t : left)
        for (int32_t v = 0; v < 3; ++v)
            leftExtent = std::max(leftExtent, coordinate(t, v, axis));
    for (int32_t t : right)
        for (int32_t v = 0; v < 3; ++v)
            rightExtent = std::min(rightExtent, coordinate(t, v, axis));
    BBox leftRegion = region, rightRegion = region;
    (axis == 0 ? leftRegion.sup.x : axis == 1 ? leftRegion.sup.y : leftRegion.sup.z) = value;
    (axis == 0 ? rightRegion.inf.x : axis == 1 ? rightRegion.inf.y : rightRegion.inf.z) = value;
    auto plane = std::make_unique<PlaneSector>();
    plane->type = 4 * axis;
    plane->value = value;
    plane->leftExtent = leftExtent;
    plane->rightExtent = rightExtent;
    PlaneSector* raw = plane.get();
    mPlanes.push_back(std::move(plane));
    raw->left = Build(left, leftRegion, leafTriangles);
    raw->right = Build(right, rightRegion, leafTriangles);
    return reinterpret_cast<SectorNode*>(raw);
}
