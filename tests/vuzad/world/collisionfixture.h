// Test helpers for collision trees and queries: an engine with the collision plug-in,
// trees built by the tree writer and read back, leaf sectors with room for plug-in data,
// and random worlds of triangles and atomics laid out by hand.
#pragma once

#include "collision.h"
#include "collisiontreewriter.h"
#include "geometry.h"
#include "streamfixture.h"
#include "world.h"

#include <array>
#include <memory>
#include <random>
#include <vector>

struct Atomic;
struct Frame;
struct Geometry;

/// A started engine with World::Attach and Collision::Attach run between Init and Open.
class CollisionFixture : public StreamFixture
{
protected:
    void SetUp() override;
};

using TriangleList = std::vector<std::array<uint16_t, 3>>;

/// The tree of a description, read through the engine's chunk-44 reader; null on failure.
CollisionTree* ReadTree(const CollisionTreeDescription& tree);
/// The writer's tree over the triangles, read back.
CollisionTree* BuildTree(const std::vector<float>& positions, const TriangleList& triangles, int32_t maxLeaf = 4);

/// A leaf sector allocated at the registry's size, its plug-ins constructed.
struct SectorDeleter
{
    void operator()(WorldSector* sector) const;
};
using SectorPtr = std::unique_ptr<WorldSector, SectorDeleter>;
SectorPtr MakeSector();

/// Random triangles: three independent vertices each, inside the box of half-size extent.
void RandomTriangles(std::mt19937& rng, int32_t count, float extent, float size, std::vector<float>* positions,
                     TriangleList* triangles);

/// A world over random triangles: a partition tree split at the median centre of the
/// longest axis, leaves with their triangles and a collision tree (all but one leaf when
/// oneLeafWithoutTree), partition boxes that cover the world box, and extents that bound
/// the triangles of each side.
class RandomWorld
{
public:
    RandomWorld(std::mt19937& rng, int32_t numTriangles, int32_t leafTriangles, bool oneLeafWithoutTree);
    ~RandomWorld();
    RandomWorld(const RandomWorld&) = delete;
    RandomWorld& operator=(const RandomWorld&) = delete;

    World* Get() { return &mWorld; }
    const std::vector<WorldSector*>& Leaves() const { return mLeaves; }
    static constexpr float kExtent = 50.0f;
    static constexpr float kWorldBox = 1000.0f;

private:
    SectorNode* Build(std::vector<int32_t>& triangles, const BBox& region, int32_t leafTriangles);

    World mWorld{};
    std::vector<float> mPositions;
    TriangleList mTriangles;
    std::vector<std::unique_ptr<PlaneSector>> mPlanes;
    std::vector<SectorPtr> mSectors;
    std::vector<WorldSector*> mLeaves;
    std::vector<std::vector<Vector>> mLeafPositions;
    std::vector<std::vector<Triangle>> mLeafTriangles;
};
