// The movement controller on a four-bone model made by the writers: root motion over loops,
// starts part-way, blend weights and the current channel, the step's flags, turns, the goal
// and the ground snap, and what the controller leaves behind.
#include "animmovectrl.h"

#include "animation.h"
#include "animationwriter.h"
#include "clump.h"
#include "clumpwriter.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "geometry.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "material.h"
#include "navgraphwriter.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdmodel.h"
#include "rdskeleton.h"
#include "renderer_fixture.h"
#include "scene_fixture.h"
#include "scriptworld_fixture.h"
#include "scriptworldmanager.h"
#include "skeletonwriter.h"
#include "stdkey.h"
#include "stream.h"
#include "tsanimactor.h"
#include "tsastarpathfinder.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "walkermodel.h"
#include "watomicowner.h"
#include "world.h"
#include "worldwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace
{
constexpr int32_t kAll = 1;
/// "Head" in the bone-name table.
constexpr int32_t kHeadBone = 27;
constexpr float kPi = 3.14159265f;

/// An actor whose ground snap is recorded and answers as told.
class GroundActor : public TsAnimActor
{
public:
    int32_t SnapToGround(const Vector* offset) override
    {
        mSnaps.push_back(offset ? *offset : Vector{0, 0, 0});
        return mSnapAnswer;
    }
    std::vector<Vector> mSnaps;
    int32_t mSnapAnswer = 1;
};

/// An animated actor on the four-bone model, with its movement controller.
GroundActor* MakeWalker()
{
    int32_t built = 0;
    W3dAnimObject* model = WalkerModel::Create(nullptr, &built);
    if (!model)
        return nullptr;
    EXPECT_EQ(built, 1) << "the model takes the clump and the motor the model";
    auto* actor = new GroundActor();
    actor->AddRef();
    actor->SetModel(model);
    return actor;
}

/// The root moves by rootMove and turns by yaw degrees about y over one second; the other
/// bones hold still.
RdAnimation* BuildAnim(const char* name, Vector rootMove, float yaw = 0.0f)
{
    int32_t setUp = 0;
    RdAnimation* resource =
        WalkerModel::ReadAnimation(WalkerModel::AnimationBytes(rootMove, yaw, 0.0f, 1.0f), name, "walk.anm", &setUp);
    EXPECT_EQ(setUp, 1);
    return resource;
}

class AnimMove : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        if (HasFatalFailure())
            return;
        Started();
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime = 0;
        clock->mStepSeconds = 0.0f;

        mActor = MakeWalker();
        ASSERT_NE(mActor, nullptr);
        mModel = static_cast<W3dAnimObject*>(mActor->GetNode());
        mController = mActor->GetMoveController();
        ASSERT_NE(mController, nullptr);
        mWalk = MakeAnim("WALK", {0, 0, 120});
    }
    void TearDown() override
    {
        if (mActor)
            mActor->Release();
        for (RdAnimation* a : mAnims)
            a->Release();
        RendererTest::TearDown();
    }

    RdAnimation* MakeAnim(const char* name, Vector rootMove, float yaw = 0.0f)
    {
        RdAnimation* resource = BuildAnim(name, rootMove, yaw);
        resource->AddRef();
        mAnims.push_back(resource);
        return resource;
    }

    static int64_t Ticks(double seconds) { return int64_t(seconds * double(HbPerformanceFrequency()) + 0.5); }

    /// One frame of the motor after seconds of game clock.
    void Tick(double seconds)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime += Ticks(seconds);
        clock->mStepSeconds = float(seconds);
        mModel->GetMotor().Update();
    }

    Vector Position() { return ::Frame::GetWorldMatrix(mModel->GetEngineFrame())->pos; }
    Vector Facing() { return ::Frame::GetWorldMatrix(mModel->GetEngineFrame())->at; }

    GroundActor* mActor = nullptr;
    W3dAnimObject* mModel = nullptr;
    AnimMoveCtrl* mController = nullptr;
    RdAnimation* mWalk = nullptr;
    std::vector<RdAnimation*> mAnims;
};

TEST_F(AnimMove, WalkLoopsMoveTheRootDistanceAlongTheFacingWithoutJumps)
{
    // Facing +x: the walk's forward root motion goes that way in the world.
    const Vector up = {0, 1, 0};
    ::Frame::Rotate(mModel->GetEngineFrame(), &up, 90.0f, 1);
    const Vector facing = Facing();
    ASSERT_NEAR(facing.x, 1.0f, 1e-5f);

    mController->SetFlags(0);
    HbHandlePtr handle = mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    ASSERT_TRUE(handle.IsValid());
    float before = 0.0f;
    for (int i = 0; i < 50; ++i)
    {
        Tick(0.05);
        const float along = Position().x;
        EXPECT_NEAR(along - before, 6.0f, 0.01f) << "frame " << i;
        EXPECT_NEAR(mController->GetLastDistance(), 6.0f, 0.01f);
        before = along;
    }
    EXPECT_NEAR(Position().x, 300.0f, 0.01f);
    EXPECT_NEAR(Position().z, 0.0f, 0.01f);
    EXPECT_NEAR(Position().y, 0.0f, 0.01f);
    EXPECT_NEAR(Facing().x, 1.0f, 1e-5f) << "no turn";

    // The skeleton stays in place: the root bone plays the identity.
    Hierarchy* h = mModel->GetMotor().GetModel()->GetHierarchy();
    const auto* root = static_cast<const StdInterpFrame*>(AnimInterpolator::GetInterpFrame(h->interpolator, 0));
    EXPECT_EQ(root->t.x, 0.0f);
    EXPECT_EQ(root->t.y, 0.0f);
    EXPECT_EQ(root->t.z, 0.0f);
    EXPECT_EQ(root->q.w, 1.0f);
    EXPECT_EQ(mModel->GetMotor().GetProcChannelCount(), 1) << "one root channel";
}

TEST_F(AnimMove, StartsPartWayPresetTheRootAndWeightsScaleIt)
{
    struct Case
    {
        const char* what;
        uint32_t flags;
        double blendIn;
        float expected;
    };
    // The first frame of a walk started at 0.4 s; 0.05 s of it moves 6 units.
    const Case cases[] = {
        {"preset x and z: that frame's delta only", AnimMoveCtrl::kPresetRootX | AnimMoveCtrl::kPresetRootZ, 0, 6.0f},
        {"no preset: the skipped time too", 0, 0, 54.0f},
        {"half weight halves it", 0x800 | AnimMoveCtrl::kPresetRootZ, 0.1, 3.0f},
        {"without 0x800 the weight does not count", AnimMoveCtrl::kPresetRootZ, 0.1, 6.0f},
    };
    for (const Case& c : cases)
    {
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->SetFlags(c.flags);
        HbHandlePtr handle = mController->PlayAnim(mWalk, kAll, Ticks(c.blendIn), Ticks(0.4), 1);
        ASSERT_TRUE(handle.IsValid()) << c.what;
        Tick(0.05);
        EXPECT_NEAR(Position().z, c.expected, 0.02f) << c.what;
        EXPECT_NEAR(Position().x, 0.0f, 0.01f) << c.what;
        mModel->GetMotor().RemoveChannel(mController->GetCurrentChannelId());
    }
}

TEST_F(AnimMove, CurrentChannelOnlyIgnoresTheChannelBlendingOut)
{
    RdAnimation* side = MakeAnim("SIDE", {120, 0, 0});
    for (uint32_t flags : {0u, uint32_t(AnimMoveCtrl::kCurrentChannelOnly)})
    {
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->SetFlags(flags);
        mController->PlayAnim(mWalk, kAll, 0, 0, 1);
        mController->PlayAnim(side, kAll, 0, 0, 1);
        Tick(0.05);
        EXPECT_NEAR(Position().x, 6.0f, 0.01f) << flags;
        EXPECT_NEAR(Position().z, flags ? 0.0f : 6.0f, 0.01f) << flags;
        mModel->GetMotor().RemoveAllChannels();
    }
}

TEST_F(AnimMove, StepFlagsScaleCapReverseAndRedirect)
{
    struct Case
    {
        const char* what;
        uint32_t flags;
        float scale, maximum;
        Vector direction, expected;
    };
    const Case cases[] = {
        {"plain", 0, 0.5f, 1e30f, {0, 0, 1}, {0, 0, 6}},
        {"0x8 scales", AnimMoveCtrl::kScaleStep, 0.5f, 1e30f, {0, 0, 1}, {0, 0, 3}},
        {"maximum step", 0, 1, 2.0f, {0, 0, 1}, {0, 0, 2}},
        {"0x2000 reverses", AnimMoveCtrl::kReverseStep, 1, 1e30f, {0, 0, 1}, {0, 0, -6}},
        {"0x1 goes along the direction", AnimMoveCtrl::kAlongDirection, 1, 1e30f, {3, 0, 4}, {3.6f, 0, 4.8f}},
        {"0x1 with a zero direction stays", AnimMoveCtrl::kAlongDirection, 1, 1e30f, {0, 0, 0}, {0, 0, 0}},
    };
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    for (const Case& c : cases)
    {
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->SetFlags(c.flags);
        mController->SetStepScale(c.scale);
        mController->SetMaxStep(c.maximum);
        mController->SetDirection(&c.direction);
        Tick(0.05);
        const Vector p = Position();
        EXPECT_NEAR(p.x, c.expected.x, 0.01f) << c.what;
        EXPECT_NEAR(p.y, c.expected.y, 0.01f) << c.what;
        EXPECT_NEAR(p.z, c.expected.z, 0.01f) << c.what;
    }
    // Scale and maximum last one frame.
    ::Frame::SetIdentity(mModel->GetEngineFrame());
    mController->SetFlags(AnimMoveCtrl::kScaleStep);
    Tick(0.05);
    EXPECT_NEAR(Position().z, 6.0f, 0.01f);
}

TEST_F(AnimMove, TurnsByTheSkillAngleOrTheRootYaw)
{
    // The skill's turn: the frame turns, then the step goes along the new facing.
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    mController->SetSpeed(30.0f);
    Tick(0.05);
    Vector at = Facing();
    EXPECT_NEAR(std::fabs(std::atan2(at.x, at.z)) * 180.0f / kPi, 30.0f, 0.01f);
    Vector p = Position();
    EXPECT_NEAR(p.x, 6.0f * at.x, 0.01f);
    EXPECT_NEAR(p.z, 6.0f * at.z, 0.01f);
    Tick(0.05);
    EXPECT_NEAR(std::fabs(std::atan2(Facing().x, Facing().z)) * 180.0f / kPi, 30.0f, 0.01f) << "one frame";

    // A walk turning 90 degrees over its second: with 0x4 the actor turns by the root's yaw
    // and its step loses the part that goes sideways in the turned frame.
    RdAnimation* turn = MakeAnim("TURN", {0, 0, 100}, 90.0f);
    for (uint32_t flags : {0u, uint32_t(AnimMoveCtrl::kApplyYaw)})
    {
        mModel->GetMotor().RemoveAllChannels();
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->SetFlags(flags);
        mController->PlayAnim(turn, kAll, 0, 0, 0);
        Tick(0.1);
        at = Facing();
        p = Position();
        if (!flags)
        {
            EXPECT_NEAR(at.z, 1.0f, 1e-5f);
            EXPECT_NEAR(p.z, 10.0f, 0.01f);
            EXPECT_NEAR(p.x, 0.0f, 0.01f);
            continue;
        }
        EXPECT_NEAR(std::fabs(std::atan2(at.x, at.z)) * 180.0f / kPi, 9.0f, 0.05f);
        const float forward = 10.0f * std::cos(9.0f * kPi / 180.0f);
        EXPECT_NEAR(p.x, forward * at.x, 0.02f);
        EXPECT_NEAR(p.z, forward * at.z, 0.02f);
        // The next frame turns by the yaw since the last one, not by the whole angle.
        Tick(0.1);
        EXPECT_NEAR(std::fabs(std::atan2(Facing().x, Facing().z)) * 180.0f / kPi, 18.0f, 0.05f);
    }
    // A looping turn goes on turning the same way over its loops.
    RdAnimation* spin = MakeAnim("SPIN", {0, 0, 0}, 90.0f);
    mModel->GetMotor().RemoveAllChannels();
    ::Frame::SetIdentity(mModel->GetEngineFrame());
    mController->PlayAnim(spin, kAll, 0, 0, 1);
    for (int i = 0; i < 15; ++i)
        Tick(0.1);
    EXPECT_NEAR(std::fabs(std::atan2(Facing().x, Facing().z)) * 180.0f / kPi, 135.0f, 0.1f);

    // A root turning the other way turns the actor the other way.
    const float right = Facing().x;
    RdAnimation* left = MakeAnim("LEFT", {0, 0, 100}, -90.0f);
    mModel->GetMotor().RemoveAllChannels();
    ::Frame::SetIdentity(mModel->GetEngineFrame());
    mController->PlayAnim(left, kAll, 0, 0, 0);
    Tick(0.1);
    EXPECT_NEAR(Facing().x, -std::sin(9.0f * kPi / 180.0f) * (right > 0 ? 1.0f : -1.0f), 1e-3f);
}

TEST_F(AnimMove, GoalStopsTheWalkOnIt)
{
    const Vector goal = {0, 55, 100};
    mController->SetGoal(&goal);
    EXPECT_TRUE(mController->GetMoveFlags() & AnimMoveCtrl::kStopOnGoal);
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    for (int i = 0; i < 40; ++i)
        Tick(0.05);
    EXPECT_NEAR(Position().z, 100.0f, 0.01f);
    EXPECT_NEAR(Position().y, 0.0f, 0.01f) << "the goal's height does not count";
    EXPECT_EQ(mController->GetLastDistance(), 0.0f);
}

TEST_F(AnimMove, GroundFollowingGoesThroughTheSnapAndReportsARefusal)
{
    mController->SetFlags(AnimMoveCtrl::kFollowGround);
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    Tick(0.05);
    ASSERT_EQ(mActor->mSnaps.size(), 1u);
    EXPECT_NEAR(mActor->mSnaps[0].z, 6.0f, 0.01f);
    EXPECT_NEAR(Position().z, 0.0f, 1e-6f) << "the snap places the node, not the controller";
    EXPECT_EQ(mController->GetFlags(), 0u);
    EXPECT_NEAR(mController->GetLastDistance(), 6.0f, 0.01f);

    mActor->mSnapAnswer = 0;
    Tick(0.05);
    EXPECT_EQ(mController->GetFlags(), AnimMoveCtrl::kGroundRefused);
    EXPECT_EQ(mController->GetLastDistance(), 0.0f);
}

TEST_F(AnimMove, ResetPlayAndReleaseLeaveTheMotorClean)
{
    RdAnimMotor& motor = mModel->GetMotor();
    EXPECT_FALSE(mController->PlayAnim(nullptr, kAll, 0, 0, 1).IsValid());
    EXPECT_FALSE(mController->PlayAnim(mWalk, 77, 0, 0, 1).IsValid()) << "no such profile";
    EXPECT_EQ(mController->IsBoneTargetSet(0), 0);

    mController->SetMode(AnimMoveCtrl::kModeWalls);
    mController->SetFlags(AnimMoveCtrl::kScaleStep);
    HbHandlePtr first = mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    const uint16_t root = mController->GetRootChannelId();
    ASSERT_NE(root, 0);
    HbHandlePtr second = mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    EXPECT_NE(mController->GetRootChannelId(), root) << "the root channel is replaced";
    EXPECT_EQ(motor.GetChannel(root), nullptr);
    EXPECT_EQ(motor.GetProcChannelCount(), 1);

    mController->Reset();
    EXPECT_EQ(mController->GetRootChannelId(), 0);
    EXPECT_EQ(motor.GetProcChannelCount(), 0);
    EXPECT_EQ(mController->GetMode(), 0u);
    EXPECT_EQ(mController->GetMoveFlags(), 0u);
    EXPECT_EQ(motor.GetAnimChannelCount(), 2) << "channels play on";

    // A new model: the old controller goes first and takes its channels with it, while the
    // old model lives on elsewhere.
    mModel->AddRef();
    W3dAnimObject* old = mModel;
    W3dAnimObject* next = W3dAnimObject::Create();
    mActor->SetModel(next);
    EXPECT_EQ(old->GetMotor().GetAnimChannelCount(), 0);
    EXPECT_EQ(old->GetMotor().GetProcChannelCount(), 0);
    EXPECT_FALSE(first.IsValid());
    const Vector was = ::Frame::GetWorldMatrix(old->GetEngineFrame())->pos;
    old->GetMotor().Update();
    EXPECT_EQ(::Frame::GetWorldMatrix(old->GetEngineFrame())->pos.z, was.z) << "no step after the controller";
    old->Release();
    mModel = next;
    EXPECT_NE(mActor->GetMoveController(), nullptr);
}

TEST_F(AnimMove, AControllerKeptPastItsActorMovesNothing)
{
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    mController->AddRef();
    mModel->AddRef();
    EXPECT_EQ(mController->GetActor(), mActor);
    mActor->Release();
    mActor = nullptr;
    EXPECT_EQ(mController->GetActor(), nullptr);
    Tick(0.05);
    EXPECT_EQ(Position().z, 0.0f);
    mController->Release();
    EXPECT_EQ(mModel->GetMotor().GetAnimChannelCount(), 0);
    mModel->Release();
}
} // namespace

namespace
{
/// A vertical wall from (x0, z0) to (x1, z1), y from -100 to 300; its face is up x (p1 - p0).
struct Wall
{
    float x0, z0, x1, z1;
    std::array<uint8_t, 4> colour = {200, 0, 0, 255};
};

World* MakeWorld(const std::vector<Wall>& walls)
{
    WorldDescription d;
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (size_t i = 0; i < walls.size(); ++i)
    {
        const Wall& w = walls[i];
        GeometryDescription::Material material;
        material.colour = w.colour;
        d.materials.push_back(material);
        d.listEntries.push_back(int32_t(i));
        const auto base = uint16_t(leaf.positions.size() / 3);
        for (float y : {-100.0f, 300.0f})
            for (int end = 0; end < 2; ++end)
                leaf.positions.insert(leaf.positions.end(), {end ? w.x1 : w.x0, y, end ? w.z1 : w.z0});
        for (std::array<uint16_t, 3> t : {std::array<uint16_t, 3>{0, 2, 1}, std::array<uint16_t, 3>{1, 2, 3}})
        {
            triangles.push_back({uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2])});
            leaf.triangles.push_back(
                {uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2]), uint16_t(i)});
        }
    }
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {1000, 400, 1000, -1000, -200, -1000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

/// A wall across z = 100 from y = -100 to 300, its face towards -z.
World* MakeWallWorld(std::array<uint8_t, 4> colour = {200, 0, 0, 255})
{
    return MakeWorld({{-1000, 100, 1000, 100, colour}});
}
} // namespace

class AnimMoveWall : public AnimMove
{
protected:
    void SetUp() override
    {
        AnimMove::SetUp();
        if (HasFatalFailure())
            return;
        mWorld = MakeWallWorld();
        ASSERT_NE(mWorld, nullptr);
        mController->SetCollisionWorlds(mWorld, nullptr);
    }
    void TearDown() override
    {
        mController->SetCollisionWorlds(nullptr, nullptr);
        if (mWorld)
            World::Destroy(mWorld);
        AnimMove::TearDown();
    }
    /// Walks diagonally (+x, +z) into the wall from just before it.
    void WalkIntoWall(uint32_t flags)
    {
        const float radius = mModel->GetBoundingSphere()->radius;
        const Vector start = {0, 0, 100 - radius - 1.0f};
        ::Frame::Translate(mModel->GetEngineFrame(), &start, 2);
        mController->SetMode(AnimMoveCtrl::kModeWalls);
        mController->SetFlags(flags | AnimMoveCtrl::kAlongDirection);
        mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    }
    void Walk(int frames)
    {
        for (int i = 0; i < frames; ++i)
        {
            const Vector diagonal = {1, 0, 1};
            mController->SetDirection(&diagonal);
            Tick(0.05);
        }
    }
    World* mWorld = nullptr;
};

TEST_F(AnimMoveWall, AWallStopsTheWalkOrItSlidesAlongIt)
{
    ASSERT_GT(mModel->GetBoundingSphere()->radius, 0.0f);
    struct Case
    {
        uint32_t flags;
        bool slides;
    } cases[] = {{0, false}, {AnimMoveCtrl::kSlideWalls, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.flags);
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->Reset();
        mController->SetCollisionWorlds(mWorld, nullptr);
        WalkIntoWall(c.flags);
        const float startZ = Position().z;
        Walk(10);
        EXPECT_TRUE(mController->GetFlags() & AnimMoveCtrl::kHitWall);
        EXPECT_LE(Position().z, startZ + 0.1f) << "never through the wall";
        if (c.slides)
        {
            EXPECT_GT(Position().x, 30.0f) << "the step along x goes on";
            EXPECT_GT(mController->GetLastDistance(), 0.0f);
        }
        else
        {
            EXPECT_NEAR(Position().x, 0.0f, 0.01f);
            EXPECT_EQ(mController->GetLastDistance(), 0.0f);
        }
    }
}

TEST_F(AnimMoveWall, AWallTheStepLeavesOrAFloorDoesNotStopIt)
{
    // Walking away from the wall's face: the wall does not count.
    const float radius = mModel->GetBoundingSphere()->radius;
    const Vector start = {0, 0, 100 - radius + 0.5f};
    ::Frame::Translate(mModel->GetEngineFrame(), &start, 2);
    mController->SetMode(AnimMoveCtrl::kModeWalls);
    mController->SetFlags(AnimMoveCtrl::kAlongDirection);
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    for (int i = 0; i < 5; ++i)
    {
        const Vector back = {0, 0, -1};
        mController->SetDirection(&back);
        Tick(0.05);
    }
    EXPECT_EQ(mController->GetFlags(), 0u);
    EXPECT_LT(Position().z, start.z - 20.0f);
}

TEST_F(AnimMoveWall, ACornerRefusesTheStepWhereOneWallLetsItSlide)
{
    // A second wall across x = 100 facing -x: the walker slides along the first wall into the
    // corner and stays there, on the near side of both.
    mController->SetCollisionWorlds(nullptr, nullptr);
    World::Destroy(mWorld);
    mWorld = MakeWorld({{-1000, 100, 1000, 100}, {100, 1000, 100, -1000}});
    ASSERT_NE(mWorld, nullptr);
    mController->SetCollisionWorlds(mWorld, nullptr);
    WalkIntoWall(AnimMoveCtrl::kSlideWalls);
    Walk(60);
    const float radius = mModel->GetBoundingSphere()->radius;
    EXPECT_TRUE(mController->GetFlags() & AnimMoveCtrl::kHitWall);
    EXPECT_EQ(mController->GetLastDistance(), 0.0f) << "the corner refuses";
    EXPECT_GT(Position().x, 100.0f - radius - 10.0f) << "it slid up to the corner";
    EXPECT_LE(Position().x, 100.0f - radius + 0.1f);
    EXPECT_LE(Position().z, 100.0f - radius + 0.1f);
}

TEST_F(AnimMoveWall, AMarkedWallIsRecordedAndAPlainOneIsNot)
{
    struct Case
    {
        uint8_t flags;
        bool recorded;
    } cases[] = {{0x80, true}, {0x10, true}, {0x20, false}, {0, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(int(c.flags));
        mController->SetCollisionWorlds(nullptr, nullptr);
        World::Destroy(mWorld);
        mWorld = MakeWallWorld({200, 0, c.flags, 255});
        ASSERT_NE(mWorld, nullptr);
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->Reset();
        mController->SetCollisionWorlds(mWorld, nullptr);
        WalkIntoWall(0);
        Walk(3);
        ASSERT_TRUE(mController->GetFlags() & AnimMoveCtrl::kHitWall);
        const AnimMoveCtrl::WallRecord& wall = mController->GetWallRecord();
        EXPECT_EQ(wall.set != 0, c.recorded);
        if (!c.recorded)
            continue;
        EXPECT_EQ(wall.colour[2], c.flags);
        EXPECT_NEAR(wall.normal.z, -1.0f, 1e-4f);
        for (const Vector& p : wall.points)
            EXPECT_NEAR(p.z, 100.0f, 1e-3f);
    }
}

TEST_F(AnimMoveWall, FinerSpheresDecideOnceTheBodySphereMeetsAWall)
{
    // A sphere of radius 5 on the model: the walk goes on past the body sphere's reach and
    // stops only where the small sphere meets the wall.
    ::Frame* frame = ::Frame::Create();
    ASSERT_NE(frame, nullptr);
    ::Frame::AddChild(mModel->GetEngineFrame(), frame);
    W3dCollisionNode* fine =
        W3dCollisionNode::CreateForFrame(frame, W3dCollisionNode::NewSphere(Sphere{{0, 0, 0}, 5.0f}), nullptr);
    ASSERT_NE(fine, nullptr);
    mModel->GetMoveCollisionSet().SetRoot(fine);
    const float radius = mModel->GetBoundingSphere()->radius;
    ASSERT_GT(radius, 15.0f);
    WalkIntoWall(0);
    for (int i = 0; i < 60; ++i)
    {
        const Vector ahead = {0, 0, 1};
        mController->SetDirection(&ahead);
        Tick(0.05);
    }
    EXPECT_TRUE(mController->GetFlags() & AnimMoveCtrl::kHitWall);
    EXPECT_GT(Position().z, 100.0f - radius + 5.0f) << "past the body sphere's reach";
    EXPECT_LE(Position().z, 95.0f + 0.1f) << "stopped by the small sphere";
    const Vector after = Position();
    EXPECT_NEAR(after.x, 0.0f, 0.01f) << "the node came back from each test";
    mModel->GetMoveCollisionSet().Clear();
}

TEST_F(AnimMoveWall, ALineProbeIgnoresShootThroughWalls)
{
    // The probe reaches 80 units ahead of the head from 50 units before the wall.
    const Vector start = {0, 0, 50};
    ::Frame::Translate(mModel->GetEngineFrame(), &start, 2);
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    struct Case
    {
        uint8_t flags;
        int32_t hit;
    } cases[] = {{0, 1}, {0x20, 0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(int(c.flags));
        mController->SetCollisionWorlds(nullptr, nullptr);
        World::Destroy(mWorld);
        mWorld = MakeWallWorld({200, 0, c.flags, 255});
        ASSERT_NE(mWorld, nullptr);
        mController->SetCollisionWorlds(mWorld, nullptr);
        mController->ClearBoneTargets();
        const Vector reach = {0, 0, 80};
        const int32_t index = mController->AddBoneTarget(kHeadBone, 0.0f, 1.0f, AnimMoveCtrl::kProbeLine, nullptr);
        ASSERT_GE(index, 0);
        mController->SetBoneTarget(index, &reach);
        EXPECT_EQ(mController->IsBoneTargetSet(index), 1);
        EXPECT_EQ(mController->GetBoneTargetOffset(index)->z, 80.0f);
        Tick(0.05);
        EXPECT_EQ(mController->IsBoneTargetHit(index), c.hit);
        mController->ClearBoneTarget(index);
        Tick(0.05);
        EXPECT_EQ(mController->IsBoneTargetHit(index), c.hit) << "a disabled probe keeps its last answer";
    }
}

TEST_F(AnimMoveWall, ALineProbeMeetsAnObjectOnlyWhenItsMaskBlocks)
{
    // No wall ahead; a box owned by a node stands across the probe in the dynamic world.
    mController->SetCollisionWorlds(nullptr, nullptr);
    World::Destroy(mWorld);
    mWorld = MakeWorld({{-1000, -900, 1000, -900}});
    ASSERT_NE(mWorld, nullptr);
    mController->SetCollisionWorlds(mWorld, mWorld);
    const float box[6] = {50, 100, 120, -50, -50, 100};
    Atomic* atomic = CreateBoxGeometry(box);
    ASSERT_NE(atomic, nullptr);
    W3dFrame* owner = W3dFrame::Create();
    AtomicOwner::Get(atomic)->owner = owner;
    World::AddAtomic(mWorld, atomic);
    ::Frame::SyncDirtyList();
    const Vector start = {0, 0, 50};
    ::Frame::Translate(mModel->GetEngineFrame(), &start, 2);
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    const Vector reach = {0, 0, 80};
    const int32_t index = mController->AddBoneTarget(kHeadBone, 0.0f, 1.0f, AnimMoveCtrl::kProbeLine, nullptr);
    ASSERT_GE(index, 0);
    mController->SetBoneTarget(index, &reach);
    for (uint8_t mask : {uint8_t(0), W3dCollisionNode::kBorrowedSphere, uint8_t(1)})
    {
        SCOPED_TRACE(int(mask));
        atomic->geometry->materials.materials[0]->colour.green = mask;
        Tick(0.01);
        EXPECT_EQ(mController->IsBoneTargetHit(index), mask == 1 ? 1 : 0);
    }
    World::RemoveAtomic(mWorld, atomic);
    W3dCollisionNode::DestroySubtree(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
    owner->Release();
}

TEST_F(AnimMoveWall, ASpherePushesTheWalkerBackSmoothly)
{
    // No wall test: only a sphere probe of radius 20 on the head meets the wall. The walk
    // goes 2 units a frame; the push takes half of what is due each frame, on and off.
    const Vector start = {0, 0, 60};
    ::Frame::Translate(mModel->GetEngineFrame(), &start, 2);
    mController->SetFlags(AnimMoveCtrl::kAlongDirection);
    mController->PlayAnim(mWalk, kAll, 0, 0, 1);
    const int32_t index = mController->AddBoneTarget(kHeadBone, 20.0f, 1.0f, AnimMoveCtrl::kProbeSphere, nullptr);
    ASSERT_GE(index, 0);
    mController->SetBoneTarget(index, nullptr);
    std::vector<float> pushes;
    std::vector<int32_t> hits;
    for (int i = 0; i < 70; ++i)
    {
        const Vector ahead = {0, 0, 1};
        mController->SetDirection(&ahead);
        Tick(1.0 / 60.0);
        const Vector* push = mController->GetBoneTargetPush(index);
        EXPECT_NEAR(push->x, 0.0f, 1e-4f);
        EXPECT_GE(push->z, -1.0f - 1e-3f) << "never more than half the walk while it goes on";
        pushes.push_back(push->z);
        hits.push_back(mController->IsBoneTargetHit(index));
    }
    const auto first = std::find(hits.begin(), hits.end(), 1) - hits.begin();
    const auto last = std::find(hits.rbegin(), hits.rend(), 1).base() - hits.begin() - 1;
    ASSERT_LT(first, 70);
    ASSERT_LT(last, 69) << "the probe came out of the wall";
    EXPECT_NEAR(pushes[first], -1.0f, 1e-3f) << "half the first frame's due push";
    EXPECT_EQ(pushes[first - 1], 0.0f);
    EXPECT_NEAR(pushes[last + 1], pushes[last] / 2.0f, 1e-3f) << "eases off";
    EXPECT_NEAR(pushes[last + 2], pushes[last] / 4.0f, 1e-3f);
    EXPECT_LT(Position().z - 60.0f, 140.0f - float(last - first) * 0.9f) << "held back against a free walk";
}

TEST_F(AnimMove, BoneProbesRefuseUnknownBonesAFourthProbeAndAFullArena)
{
    EXPECT_EQ(mController->AddBoneTarget(99, 1.0f, 1.0f, AnimMoveCtrl::kProbeLine, nullptr), -1);
    for (int32_t i = 0; i < AnimMoveCtrl::kMaxBoneTargets; ++i)
        EXPECT_EQ(mController->AddBoneTarget(kHeadBone, 1.0f, 1.0f, AnimMoveCtrl::kProbeLine, nullptr), i);
    EXPECT_EQ(mController->AddBoneTarget(kHeadBone, 1.0f, 1.0f, AnimMoveCtrl::kProbeLine, nullptr), -1);
    EXPECT_EQ(mController->IsBoneTargetSet(0), 0) << "added disabled";
    EXPECT_EQ(mController->GetBoneTargetOffset(3), nullptr);

    // Every controller's probes share one arena of 10,240 bytes with no overflow: a new
    // walker's probe is refused once it is full, and taken again once a walker is gone.
    std::vector<GroundActor*> walkers;
    int32_t refusedAt = -1;
    for (int i = 0; i < 200 && refusedAt < 0; ++i)
    {
        GroundActor* walker = MakeWalker();
        ASSERT_NE(walker, nullptr);
        walkers.push_back(walker);
        if (walker->GetMoveController()->AddBoneTarget(kHeadBone, 1.0f, 1.0f, AnimMoveCtrl::kProbeSphere, nullptr) < 0)
            refusedAt = i;
    }
    ASSERT_GE(refusedAt, 0) << "the arena fills";
    EXPECT_GT(refusedAt, 8) << "room for dozens of controllers";
    AnimMoveCtrl* refused = walkers.back()->GetMoveController();
    walkers.front()->Release();
    EXPECT_EQ(refused->AddBoneTarget(kHeadBone, 1.0f, 1.0f, AnimMoveCtrl::kProbeSphere, nullptr), 0);
    for (size_t i = 1; i < walkers.size(); ++i)
        walkers[i]->Release();
}

/// Two walkers listed in the script world, walking at each other.
class AnimMoveActors : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure())
            return;
        HbGameClock::Instance()->mStepSeconds = 0.0f;
        mWalk = BuildAnim("WALK", {0, 0, 120});
        mWalk->AddRef();
        for (int i = 0; i < 2; ++i)
        {
            mWalkers[i] = MakeWalker();
            ASSERT_NE(mWalkers[i], nullptr);
            mWorld->AddActor(mWalkers[i]);
        }
    }
    void TearDown() override
    {
        for (GroundActor* walker : mWalkers)
            if (walker)
            {
                mWorld->RemoveActor(walker);
                walker->Release();
            }
        if (mWalk)
            mWalk->Release();
        ScriptWorldTest::TearDown();
    }
    ::Frame* FrameOf(int i) { return mWalkers[i]->GetNode()->GetEngineFrame(); }
    Vector At(int i) { return ::Frame::GetWorldMatrix(FrameOf(i))->pos; }
    /// The first at (-2, 0, 0) walking +z, the second at (2, 0, 100) walking -z.
    void Start(uint32_t flags)
    {
        const float sign[2] = {1.0f, -1.0f};
        for (int i = 0; i < 2; ++i)
        {
            const Vector at = {-2.0f * sign[i], 0.0f, i ? 100.0f : 0.0f};
            ::Frame::Translate(FrameOf(i), &at, 2);
            AnimMoveCtrl* c = mWalkers[i]->GetMoveController();
            c->SetMode(AnimMoveCtrl::kModeActors);
            c->SetFlags(flags | AnimMoveCtrl::kAlongDirection);
            c->PlayAnim(mWalk, kAll, 0, 0, 1);
        }
    }
    void Walk(int frames)
    {
        HbGameClock* clock = HbGameClock::Instance();
        for (int f = 0; f < frames; ++f)
        {
            clock->mGameTime += int64_t(0.05 * double(HbPerformanceFrequency()));
            clock->mStepSeconds = 0.05f;
            for (int i = 0; i < 2; ++i)
            {
                const Vector direction = {0, 0, i ? -1.0f : 1.0f};
                mWalkers[i]->GetMoveController()->SetDirection(&direction);
                static_cast<W3dAnimObject*>(mWalkers[i]->GetNode())->GetMotor().Update();
            }
        }
    }
    GroundActor* mWalkers[2] = {};
    RdAnimation* mWalk = nullptr;
};

TEST_F(AnimMoveActors, TwoWalkersSlideApartOnlyWhenAllowed)
{
    const float reach = 2.0f * static_cast<W3dAnimObject*>(mWalkers[0]->GetNode())->GetBoundingSphere()->radius;
    ASSERT_GT(reach, 0.0f);
    Start(0);
    Walk(40);
    AnimMoveCtrl* first = mWalkers[0]->GetMoveController();
    EXPECT_TRUE(first->GetFlags() & AnimMoveCtrl::kHitActor);
    EXPECT_EQ(first->GetTarget(), mWalkers[1]);
    EXPECT_EQ(first->GetLastDistance(), 0.0f);
    EXPECT_NEAR(At(0).x, -2.0f, 0.01f);
    EXPECT_NEAR(At(1).x, 2.0f, 0.01f);
    EXPECT_GE(At(1).z - At(0).z, reach - 7.0f) << "both stop at their spheres' reach";
}

TEST_F(AnimMoveActors, AWalkerStopsAtTheSideOfAParkedVehicle)
{
    // A vehicle: an actor whose collision tree is a box 600 wide and 60 deep across the walk,
    // its near side at z 200; its node's own sphere is a point at the box's middle.
    mWorld->RemoveActor(mWalkers[1]);
    scriptworldtest::FakeActor* vehicle = Listed("vehicle", {0, 0, 230});
    const float box[6] = {300, 200, 260, -300, 0, 200};
    Atomic* atomic = CreateBoxGeometry(box);
    ASSERT_NE(atomic, nullptr);
    AtomicOwner::Get(atomic)->owner = vehicle->mNode;
    vehicle->mNode->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
    ::Frame::SyncDirtyList();
    AnimMoveCtrl* walker = mWalkers[0]->GetMoveController();
    walker->SetMode(AnimMoveCtrl::kModeActors);
    walker->SetFlags(AnimMoveCtrl::kAlongDirection);
    walker->PlayAnim(mWalk, kAll, 0, 0, 1);
    Walk(80);
    const Sphere* body = static_cast<W3dAnimObject*>(mWalkers[0]->GetNode())->GetBoundingSphere();
    const float front = At(0).z + body->centre.z + body->radius;
    EXPECT_TRUE(walker->GetFlags() & AnimMoveCtrl::kHitActor);
    EXPECT_EQ(walker->GetTarget(), vehicle);
    EXPECT_LE(front, 200.0f) << "never into the vehicle";
    EXPECT_GT(front, 190.0f) << "stopped at its side, not at its sphere's reach";
    EXPECT_NEAR(At(0).x, 0.0f, 0.01f);
    vehicle->mNode->GetMoveCollisionSet().Clear();
}

TEST_F(AnimMoveActors, AnActorMadeNotCollideableIsWalkedThrough)
{
    // The vehicle of the test before, its collision set switched off (as SetActorCollideable
    // does): the walker goes on past where its side was.
    mWorld->RemoveActor(mWalkers[1]);
    scriptworldtest::FakeActor* vehicle = Listed("vehicle", {0, 0, 230});
    const float box[6] = {300, 200, 260, -300, 0, 200};
    Atomic* atomic = CreateBoxGeometry(box);
    ASSERT_NE(atomic, nullptr);
    AtomicOwner::Get(atomic)->owner = vehicle->mNode;
    vehicle->mNode->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
    vehicle->mNode->GetMoveCollisionSet().SetEnabled(0);
    ::Frame::SyncDirtyList();
    AnimMoveCtrl* walker = mWalkers[0]->GetMoveController();
    walker->SetMode(AnimMoveCtrl::kModeActors);
    walker->SetFlags(AnimMoveCtrl::kAlongDirection);
    walker->PlayAnim(mWalk, kAll, 0, 0, 1);
    Walk(80);
    EXPECT_FALSE(walker->GetFlags() & AnimMoveCtrl::kHitActor);
    EXPECT_GT(At(0).z, 260.0f) << "past the switched-off vehicle";
    vehicle->mNode->GetMoveCollisionSet().Clear();
}

TEST_F(AnimMoveActors, TwoWalkersWithActorSlidingPassEachOther)
{
    Start(AnimMoveCtrl::kSlideActors);
    Walk(80);
    EXPECT_LT(At(0).x, -2.0f) << "pushed aside";
    EXPECT_GT(At(1).x, 2.0f);
    EXPECT_GT(At(0).z, 100.0f) << "and on past the other";
    EXPECT_LT(At(1).z, 0.0f);
}

TEST_F(AnimMoveActors, ApproachStopsOnAnActorOfTheFamilyMaskOnly)
{
    struct Case
    {
        uint32_t mask;
        bool stops;
    } cases[] = {{HeroEnemyFamily, true}, {HeroEnemyFamily << 1, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.mask);
        ::Frame::SetIdentity(FrameOf(0));
        ::Frame::SetIdentity(FrameOf(1));
        const Vector target = {2.0f, 0.0f, 100.0f};
        ::Frame::Translate(FrameOf(1), &target, 2);
        mWalkers[1]->mFamily = HeroEnemyFamily;
        mWalkers[1]->mActorCollisionDistance = 100;
        AnimMoveCtrl* walker = mWalkers[0]->GetMoveController();
        walker->Reset();
        walker->SetMode(AnimMoveCtrl::kModeApproach);
        walker->SetFamilyMask(c.mask);
        walker->PlayAnim(mWalk, kAll, 0, 0, 1);
        bool touched = false;
        for (int f = 0; f < 40; ++f)
        {
            HbGameClock* clock = HbGameClock::Instance();
            clock->mGameTime += int64_t(0.05 * double(HbPerformanceFrequency()));
            clock->mStepSeconds = 0.05f;
            static_cast<W3dAnimObject*>(mWalkers[0]->GetNode())->GetMotor().Update();
            touched = touched || (walker->GetFlags() & AnimMoveCtrl::kHitActor);
        }
        EXPECT_EQ(touched, c.stops);
        if (c.stops)
        {
            EXPECT_LT(At(0).z, 100.0f);
            EXPECT_EQ(walker->GetTarget(), mWalkers[1]);
        }
        else
            EXPECT_GT(At(0).z, 200.0f) << "nothing else stops an approach";
    }
}

TEST_F(AnimMove, TheWalkableAreaEndsTheWalkAtItsEdgeAndNoGraphLetsItGo)
{
    auto* graph = new TsAStarPathfinder();
    HbMChunkStream stream(
        new VectorStreamBuf(NavGraphWriter::Bytes(NavGraphWriter::FromRectangles({{-50, 100, 50, -50}}))));
    ASSERT_EQ(graph->LoadFromChunks(&stream), 1);
    for (TsAStarPathfinder* level : {graph, static_cast<TsAStarPathfinder*>(nullptr)})
    {
        SCOPED_TRACE(level ? "graph" : "none");
        ::Frame::SetIdentity(mModel->GetEngineFrame());
        mController->Reset();
        AnimMoveCtrl::SetLevelGraph(level);
        mController->SetMode(AnimMoveCtrl::kModeWalkable);
        mController->SetFlags(AnimMoveCtrl::kSlideWalls | AnimMoveCtrl::kSlideActors);
        mController->PlayAnim(mWalk, kAll, 0, 0, 1);
        for (int i = 0; i < 40; ++i)
            Tick(0.05);
        if (level)
        {
            EXPECT_LE(Position().z, 100.0f);
            EXPECT_GT(Position().z, 90.0f) << "up to the edge";
            EXPECT_TRUE(mController->GetFlags() & AnimMoveCtrl::kOffWalkable);
        }
        else
            EXPECT_GT(Position().z, 200.0f);
    }
    AnimMoveCtrl::SetLevelGraph(nullptr);
    graph->Release();
}
