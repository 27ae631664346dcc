// Test helpers for the world module: an engine started with the world attached, and a
// small partition tree laid out in memory.
#pragma once

#include "streamfixture.h"
#include "world.h"

#include <memory>
#include <vector>

/// A started engine with World::Attach run between Init and Open.
class WorldFixture : public StreamFixture
{
protected:
    void SetUp() override;
};

/// A world whose tree splits x at 0 into two leaves (left below leftExtent, right at or
/// above rightExtent), or a single leaf when split is false.
struct TestWorld
{
    World world{};
    PlaneSector plane{};
    WorldSector left{};
    WorldSector right{};

    explicit TestWorld(bool split, float leftExtent = 1.0f, float rightExtent = -1.0f);
    ~TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;
};

/// The world chunk (type 11) found in the bytes, read through the engine; null when there is
/// none or the engine refuses it.
World* ReadWorldChunk(const std::vector<uint8_t>& bytes);

/// Sectors an atomic or light is tied to, in tie order.
std::vector<WorldSector*> TiedSectors(ListLink* ties);
/// Objects tied to a sector list, in tie order.
std::vector<void*> TiedObjects(ListLink* ties);
