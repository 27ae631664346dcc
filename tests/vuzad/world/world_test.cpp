// Tests of the world module's start-up and the world-object ties: frustum sector lists,
// atomic and light ties following their frames, clumps entering and leaving a world, and
// the device-restore hook.
#include "clump.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "memory.h"
#include "plugin.h"
#include "worldd3d9.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

class WorldTies : public WorldFixture
{
protected:
    Frame* MakeFrame(float x, float y = 0.0f, float z = 0.0f)
    {
        Frame* frame = Frame::Create();
        Vector at = {x, y, z};
        Frame::Translate(frame, &at, 0);
        mFrames.push_back(frame);
        return frame;
    }
    void TearDown() override
    {
        for (Frame* frame : mFrames)
            Frame::Destroy(frame);
        WorldFixture::TearDown();
    }
    std::vector<Frame*> mFrames;
};

TEST_F(WorldTies, AWorldBuiltPieceByPieceIsFreedPieceByPiece)
{
    // The record, a plane, two leaves and the leaves' arrays, each a block of its own.
    auto* world = static_cast<World*>(Memory::AllocateZeroed(1, size_t(World::Registry()->size), kMemoryHintObject));
    ASSERT_NE(world, nullptr);
    World::InitRecord(world);
    MaterialList::Init(&world->materials);
    world->formatFlags = kGeometryPositions | kGeometryPrelit | kGeometryTextured;
    world->numTexCoordSets = 1;
    ASSERT_NE(PluginRegistry::InitObject(World::Registry(), world), nullptr);
    auto* plane = static_cast<PlaneSector*>(Memory::AllocateZeroed(1, sizeof(PlaneSector), kMemoryHintObject));
    world->rootSector = reinterpret_cast<SectorNode*>(plane);
    SectorNode** slots[2] = {&plane->left, &plane->right};
    for (SectorNode** slot : slots)
    {
        auto* leaf = static_cast<WorldSector*>(
            Memory::AllocateZeroed(1, size_t(WorldSector::Registry()->size), kMemoryHintObject));
        WorldSector::InitLeaf(leaf);
        ASSERT_NE(PluginRegistry::InitObject(WorldSector::Registry(), leaf), nullptr);
        leaf->numVertices = 3;
        leaf->numTriangles = 1;
        leaf->positions = static_cast<Vector*>(Memory::AllocateZeroed(3, sizeof(Vector), kMemoryHintObject));
        leaf->prelit = Memory::AllocateZeroed(3, 4, kMemoryHintObject);
        leaf->texCoords[0] = Memory::AllocateZeroed(3, 8, kMemoryHintObject);
        leaf->triangles = Memory::AllocateZeroed(1, 8, kMemoryHintObject);
        *slot = reinterpret_cast<SectorNode*>(leaf);
    }
    EXPECT_EQ(World::Destroy(world), 1);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintObject), 0u) << "pieces left";
}

TEST_F(WorldTies, AttachAfterOpenIsRefused)
{
    EXPECT_EQ(World::Attach(), 0);
    TakeError();
}

TEST_F(WorldTies, OneLeafCameraListsTheLeafUnlessAPlaneRejectsIt)
{
    struct Case
    {
        float cameraZ;
        int32_t expected;
    };
    // The camera looks down +z with far plane 10; the leaf spans -10..10 on every axis.
    const Case cases[] = {{0.0f, 1}, {-15.0f, 1}, {25.0f, 0}, {-30.0f, 0}};
    for (const Case& c : cases)
    {
        TestWorld world(false);
        Camera* camera = Camera::Create();
        Camera::SetFarClipPlane(camera, 10.0f);
        FrameObject::SetFrame(&camera->object, MakeFrame(0, 0, c.cameraZ));
        World::AddCamera(&world.world, camera);
        Frame::SyncDirtyList();
        EXPECT_EQ(WorldCamera::GetNumFrustumSectors(camera), c.expected) << "camera at z " << c.cameraZ;
        if (c.expected)
        {
            std::vector<WorldSector*> seen;
            WorldCamera::ForAllFrustumSectors(
                camera,
                [](WorldSector* s, void* d)
                {
                    static_cast<std::vector<WorldSector*>*>(d)->push_back(s);
                    return s;
                },
                &seen);
            EXPECT_EQ(seen, std::vector<WorldSector*>{&world.left});
        }
        World::RemoveCamera(&world.world, camera);
        Camera::Destroy(camera);
    }
}

TEST_F(WorldTies, FrustumSectorsComeInTheWorldsRenderOrder)
{
    // Both leaves lie in view; the camera stands on the high (right) side of the plane.
    for (int32_t order : {kWorldFrontToBack, kWorldBackToFront})
    {
        TestWorld world(true, 1.0f, -1.0f);
        world.world.renderOrder = order;
        Camera* camera = Camera::Create();
        Vector2 wide = {2.0f, 2.0f};
        Camera::SetViewWindow(camera, &wide);
        FrameObject::SetFrame(&camera->object, MakeFrame(0.5f, 0, -5));
        World::AddCamera(&world.world, camera);
        Frame::SyncDirtyList();
        std::vector<WorldSector*> seen;
        WorldCamera::ForAllFrustumSectors(
            camera,
            [](WorldSector* s, void* d)
            {
                static_cast<std::vector<WorldSector*>*>(d)->push_back(s);
                return s;
            },
            &seen);
        std::vector<WorldSector*> expected = {&world.right, &world.left};
        if (order == kWorldBackToFront)
            std::swap(expected[0], expected[1]);
        EXPECT_EQ(seen, expected) << "order " << order;
        Camera::Destroy(camera);
    }
}

TEST_F(WorldTies, CameraBeginUpdateSetsTheCurrentWorldAndAdvancesTheRenderFrame)
{
    TestWorld world(false);
    Camera* camera = Camera::Create();
    FrameObject::SetFrame(&camera->object, MakeFrame(0));
    World::AddCamera(&world.world, camera);
    Engine* engine = Engine::Current();
    uint32_t before = engine->renderFrame;
    Camera::BeginUpdate(camera);
    EXPECT_EQ(engine->currentWorld, &world.world);
    EXPECT_EQ(engine->renderFrame, before + 1);
    Camera::EndUpdate(camera);
    EXPECT_EQ(engine->currentWorld, nullptr);
    EXPECT_EQ(World::RemoveCamera(&world.world, camera), &world.world);
    EXPECT_EQ(World::RemoveCamera(&world.world, camera), nullptr);
    Camera::Destroy(camera);
}

TEST_F(WorldTies, AtomicTiesFollowTheSphereBoxThroughPlaneExtents)
{
    struct Case
    {
        float x, radius;
        bool left, right;
    };
    // Left holds x < 1, right x >= -1: overlapping children.
    const Case cases[] = {
        {-5.0f, 1.0f, true, false}, {5.0f, 1.0f, false, true}, {0.0f, 0.5f, true, true}, {-1.5f, 1.0f, true, true}};
    for (const Case& c : cases)
    {
        TestWorld world(true, 1.0f, -1.0f);
        Atomic* atomic = Atomic::Create();
        atomic->boundingSphere = {{0, 0, 0}, c.radius};
        Atomic::SetFrame(atomic, MakeFrame(c.x));
        World::AddAtomic(&world.world, atomic);
        Frame::SyncDirtyList();
        std::vector<WorldSector*> tied = TiedSectors(&atomic->sectorTies);
        EXPECT_EQ(std::count(tied.begin(), tied.end(), &world.left), c.left ? 1 : 0) << "x " << c.x;
        EXPECT_EQ(std::count(tied.begin(), tied.end(), &world.right), c.right ? 1 : 0) << "x " << c.x;
        if (c.left)
        {
            EXPECT_EQ(TiedObjects(&world.left.atomicTies), std::vector<void*>{atomic});
        }
        // Moving the frame re-ties; removal unties everything.
        Vector move = {20, 0, 0};
        Frame::Translate(atomic->object.frame, &move, 1);
        Frame::SyncDirtyList();
        EXPECT_EQ(TiedSectors(&atomic->sectorTies), std::vector<WorldSector*>{&world.right});
        World::RemoveAtomic(&world.world, atomic);
        EXPECT_TRUE(ListLink::IsEmpty(&atomic->sectorTies));
        EXPECT_TRUE(ListLink::IsEmpty(&world.right.atomicTies));
        EXPECT_EQ(Atomic::GetWorld(atomic), nullptr);
        Atomic::Destroy(atomic);
    }
}

TEST_F(WorldTies, OnlyLocalLightsAreTiedAndTheyFollowTheirRadius)
{
    TestWorld world(true, 1.0f, -1.0f);
    for (int type : {kLightDirectional, kLightAmbient})
    {
        Light* light = Light::Create(type);
        Light::SetFrame(light, MakeFrame(0));
        Light::SetRadius(light, 100.0f);
        World::AddLight(&world.world, light);
        Frame::SyncDirtyList();
        EXPECT_TRUE(ListLink::IsEmpty(&light->sectorTies)) << "type " << type;
        EXPECT_EQ(Light::FromWorldLink(world.world.globalLights.next), light);
        World::RemoveLight(&world.world, light);
        EXPECT_TRUE(ListLink::IsEmpty(&world.world.globalLights));
        Light::Destroy(light);
    }
    Light* point = Light::Create(kLightPoint);
    Light::SetFrame(point, MakeFrame(-5));
    Light::SetRadius(point, 1.0f);
    World::AddLight(&world.world, point);
    Frame::SyncDirtyList();
    EXPECT_EQ(TiedSectors(&point->sectorTies), std::vector<WorldSector*>{&world.left});
    EXPECT_EQ(Light::FromWorldLink(world.world.localLights.next), point);
    Light::SetRadius(point, 10.0f);
    Frame::SyncDirtyList();
    EXPECT_EQ(TiedSectors(&point->sectorTies).size(), 2u);
    EXPECT_EQ(TiedObjects(&world.right.lightTies), std::vector<void*>{point});
    // Destroying a light unties it (callers take it out of the world first).
    World::RemoveLight(&world.world, point);
    EXPECT_TRUE(ListLink::IsEmpty(&world.right.lightTies));
    Light::Destroy(point);
}

TEST_F(WorldTies, RemovingAClumpTwiceRecordsNotInWorld)
{
    TestWorld world(false);
    Clump* clump = Clump::Create();
    Atomic* atomic = Atomic::Create();
    Atomic::SetFrame(atomic, MakeFrame(0));
    Clump::AddAtomic(clump, atomic);
    Light* light = Light::Create(kLightPoint);
    Light::SetFrame(light, MakeFrame(0));
    Light::SetRadius(light, 1.0f);
    Clump::AddLight(clump, light);
    ASSERT_EQ(World::AddClump(&world.world, clump), &world.world);
    Frame::SyncDirtyList();
    EXPECT_EQ(world.world.numClumps, 1);
    EXPECT_EQ(Clump::GetWorld(clump), &world.world);
    EXPECT_EQ(Atomic::GetWorld(atomic), &world.world);
    EXPECT_EQ(TiedObjects(&world.left.atomicTies), std::vector<void*>{atomic});
    EXPECT_EQ(TiedObjects(&world.left.lightTies), std::vector<void*>{light});

    world.world.currentClumpLink = &clump->worldLink;
    EXPECT_EQ(World::RemoveClump(&world.world, clump), &world.world);
    EXPECT_EQ(world.world.currentClumpLink, &world.world.clumps);
    EXPECT_EQ(world.world.numClumps, 0);
    EXPECT_TRUE(ListLink::IsEmpty(&world.left.atomicTies));
    EXPECT_TRUE(ListLink::IsEmpty(&world.left.lightTies));
    EXPECT_TRUE(ListLink::IsEmpty(&world.world.localLights));
    EXPECT_EQ(Light::GetWorld(light), nullptr);

    EXPECT_EQ(World::RemoveClump(&world.world, clump), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, 2);
    EXPECT_EQ(e.code, 4);
    Clump::Destroy(clump);
}

TEST_F(WorldTies, DeviceRestoreMarksInstancedGeometriesForAFullReinstance)
{
    Geometry* geometry = Geometry::Create(3, 1, kGeometryPositions);
    ASSERT_NE(geometry, nullptr);
    InstanceList::AddGeometry(geometry);
    geometry->lockedSinceInstance = 0;
    InstanceList::RestoreDevice();
    EXPECT_EQ(geometry->lockedSinceInstance, kGeometryLockAll);
    Geometry::Destroy(geometry);
    EXPECT_EQ(InstanceList::GetCount(), 0);
}

TEST_F(WorldTies, ObjectsLeftAtCloseAreFreedWithTheirTies)
{
    // TearDown checks that every block is freed; a tied atomic and light and a clump
    // holding a light must all go at engine close.
    static TestWorld world(true);
    Atomic* atomic = Atomic::Create();
    atomic->boundingSphere = {{0, 0, 0}, 2};
    Atomic::SetFrame(atomic, MakeFrame(0));
    World::AddAtomic(&world.world, atomic);
    Clump* clump = Clump::Create();
    Light* light = Light::Create(kLightSpot);
    Clump::AddLight(clump, light);
    Frame::SyncDirtyList();
    EXPECT_FALSE(ListLink::IsEmpty(&atomic->sectorTies));
    ShutDownEngine();
    EXPECT_TRUE(ListLink::IsEmpty(&world.left.atomicTies));
    mFrames.clear();
}

FrameObject* FailingSync(FrameObject*)
{
    return nullptr;
}

void* InstallFailingSync(void* object, int32_t, int32_t)
{
    static_cast<Light*>(object)->object.sync = FailingSync;
    return object;
}

/// A light plug-in registered before the world's makes the sync the world chains to fail.
class FailingLightSync : public StreamFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
        ASSERT_GE(Light::RegisterPlugin(4, 0x7F10, InstallFailingSync, nullptr, nullptr), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }
};

TEST_F(FailingLightSync, AFailedFrameSyncIsReportedAsFailure)
{
    Light* light = Light::Create(kLightPoint);
    EXPECT_EQ(light->object.sync(&light->object), nullptr);
    EXPECT_EQ(TakeError(), int32_t(0x80000016));
    Light::Destroy(light);
}

} // namespace
