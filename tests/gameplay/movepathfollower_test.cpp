// The path follower on a fake graph over the script world's scene, and the headroom test
// under the wall world's floor.
#include "gameplay_fixture.h"
#include "movepathfollower.h"
#include "collisiontreewriter.h"
#include "scene_fixture.h"
#include "scriptworld_fixture.h"
#include "w3dlevel.h"
#include "world.h"
#include "worldwriter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace
{
using namespace gameplaytest;
using namespace scriptworldtest;

class PathFollower : public ScriptWorldTest
{
protected:
    Services mServices;
};

TEST_F(PathFollower, StatesFromStartToArrivalDroppingAndMergingWaypoints)
{
    FakeActor* actor = Make("walker", {0.0f, 0.0f, 0.0f});
    MovePathFollower follower(actor);
    mServices.mGraph.mPath = {{0.05f, 0.0f, 0.0f}, {100.0f, 0.0f, 0.0f}, {200.0f, 0.0f, 0.0f},
                              {205.0f, 0.0f, 0.0f}, {300.0f, 0.0f, 0.0f}};
    const Vector goal = {300.0f, 0.0f, 0.0f};
    follower.SetTargetPosition(&goal);
    EXPECT_EQ(follower.GetState(), MovePathFollower::kTargetSet);
    ASSERT_EQ(follower.Start(MovePathFollower::kAstar, 1.0f), 1);
    EXPECT_EQ(follower.GetState(), MovePathFollower::kMoving);
    EXPECT_EQ(mServices.mGraph.mSearches, 1);
    EXPECT_EQ(follower.GetWaypointCount(), 4) << "the first waypoint within 0.1 is dropped";
    EXPECT_FLOAT_EQ(follower.GetCurrentWaypoint()->x, 100.0f);
    EXPECT_FLOAT_EQ(follower.GetLegLength(), 100.0f);
    EXPECT_FLOAT_EQ(mServices.mGoal.x, 100.0f) << "the controller steers to it";

    float angle = 55.0f;
    mServices.mMoved = 50.0f;
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kMoving);
    EXPECT_EQ(angle, 0.0f);
    // 99 of the 100 units are enough; 200 and 205 are passed as one.
    mServices.mMoved = 49.0f;
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kNewWaypoint);
    EXPECT_FLOAT_EQ(follower.GetCurrentWaypoint()->x, 205.0f);
    EXPECT_FLOAT_EQ(follower.GetLastWaypoint()->x, 200.0f);
    EXPECT_EQ(follower.GetWaypointCount(), 2);
    EXPECT_NEAR(std::fabs(angle), 90.0f, 1e-3f) << "facing +z, the waypoint lies along +x";
    mServices.mMoved = 300.0f;
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kNewWaypoint);
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kArrived);
    EXPECT_EQ(follower.GetWaypointCount(), 0);
    angle = 123.0f;
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kArrived);
    EXPECT_EQ(angle, 123.0f) << "an arrived follower leaves the angle alone";
}

TEST_F(PathFollower, TargetActorInReachArrivesWithWaypointsLeft)
{
    FakeActor* actor = Make("walker", {0.0f, 0.0f, 0.0f});
    FakeActor* target = Make("target", {3.0f, 0.0f, 0.0f});
    MovePathFollower follower(actor);
    mServices.mGraph.mPath = {{100.0f, 0.0f, 0.0f}, {200.0f, 0.0f, 0.0f}};
    follower.SetTargetActor(target);
    EXPECT_FLOAT_EQ(follower.GetTargetPosition()->x, 3.0f);
    ASSERT_EQ(follower.Start(MovePathFollower::kAstar, 5.0f), 1);
    EXPECT_FLOAT_EQ(mServices.mGraph.mGoal.x, 3.0f) << "the search goes to the target actor";
    EXPECT_EQ(follower.GetWaypointCount(), 2);
    float angle = 55.0f;
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kArrived);
    EXPECT_EQ(follower.GetWaypointCount(), 0);
    EXPECT_EQ(angle, 0.0f);
}

TEST_F(PathFollower, PathModesAndFailures)
{
    FakeActor* actor = Make("walker", {0.0f, 0.0f, 0.0f});
    MovePathFollower follower(actor);
    const Vector onGraph = {400.0f, 0.0f, 50.0f};
    const Vector offGraph = {5000.0f, 0.0f, 0.0f};

    // A follower never given a target fails without planning.
    EXPECT_EQ(follower.Start(MovePathFollower::kNoAstar, 1.0f), 0);
    EXPECT_EQ(follower.GetState(), MovePathFollower::kFailed);

    follower.SetTargetPosition(&onGraph);
    ASSERT_EQ(follower.Start(MovePathFollower::kNoAstar, 1.0f), 1);
    EXPECT_EQ(follower.GetWaypointCount(), 1);
    EXPECT_FLOAT_EQ(follower.GetCurrentWaypoint()->z, 50.0f);
    EXPECT_EQ(mServices.mGraph.mSearches, 0);

    follower.SetTargetPosition(&onGraph);
    EXPECT_EQ(follower.Start(MovePathFollower::kLineAstar, 1.0f), 1);
    follower.SetTargetPosition(&offGraph);
    EXPECT_EQ(follower.Start(MovePathFollower::kLineAstar, 1.0f), 0);
    EXPECT_EQ(follower.GetState(), MovePathFollower::kFailed);
    float angle = 7.0f;
    EXPECT_EQ(follower.Step(&angle), MovePathFollower::kFailed);
    EXPECT_EQ(angle, 7.0f);

    // No path found, and no graph at all.
    follower.SetTargetPosition(&onGraph);
    EXPECT_EQ(follower.Start(MovePathFollower::kAstar, 1.0f), 0);
    mServices.mHasGraph = false;
    follower.SetTargetPosition(&onGraph);
    EXPECT_EQ(follower.Start(MovePathFollower::kNoAstar, 1.0f), 0);
    EXPECT_EQ(follower.GetState(), MovePathFollower::kFailed);
}

/// Two ceilings, blocking lines from either side: 150 above y = 0 over x < 0, 170 above it
/// over x > 0.
World* MakeCeilingWorld()
{
    WorldDescription d;
    d.materials = {{{200, 0, 0, 255}}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {-1000, 150, -1000, -1000, 150, 1000, 0,    150, -1000, 0,    150, 1000,
                      0,     170, -1000, 0,     170, 1000, 1000, 170, -1000, 1000, 170, 1000};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 1, 2}, {2, 1, 3}, {0, 2, 1}, {2, 3, 1},
                                                      {4, 5, 6}, {6, 5, 7}, {4, 6, 5}, {6, 7, 5}};
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {1000, 400, 1000, -1000, -200, -1000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

TEST_F(PathFollower, HeadroomUnderACeiling)
{
    World* ceilings = MakeCeilingWorld();
    ASSERT_NE(ceilings, nullptr);
    mLevel->SetMainWorld(ceilings);
    FakeActor* low = Make("low", {-500.0f, 0.0f, 0.0f});
    FakeActor* high = Make("high", {500.0f, 0.0f, 0.0f});
    EXPECT_FALSE(MoveHeadroomClear(low)) << "a ceiling 150 above";
    EXPECT_TRUE(MoveHeadroomClear(high)) << "a ceiling 170 above";
    EXPECT_TRUE(MoveHeadroomClear(nullptr));
    mLevel->SetMainWorld(mWallWorld);
    World::Destroy(ceilings);
}

} // namespace
