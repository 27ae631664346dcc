// The level resource read from a pack archive (worlds, sky, light field, lights, objects,
// clip distances, collision world), bound to a scene and drawn; static objects and clump
// bounds.
#include "clump.h"
#include "clumpwriter.h"
#include "d3d9testhooks.h"
#include "error.h"
#include "frame.h"
#include "framecheck.h"
#include "geometry.h"
#include "hbpack.h"
#include "hbresource.h"
#include "levelwriter.h"
#include "light.h"
#include "material.h"
#include "raster.h"
#include "scene_fixture.h"
#include "stream.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dlight.h"
#include "w3dobject.h"
#include "w3dsky.h"
#include "wlightfield.h"
#include "world.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wscene.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace renderertest
{
namespace
{
constexpr uint8_t kWallA[3] = {200, 60, 30};
constexpr uint8_t kWallB[3] = {30, 180, 60};
constexpr uint8_t kSkyColour[3] = {20, 40, 220};
constexpr uint8_t kBoxColour[3] = {230, 220, 40};
/// Ambient light of the level's light field (no directional colour).
constexpr float kFieldAmbient = 0.6f;

/// A one-sided quad facing the camera (-z) at depth z, x and y within the bounds, prelit
/// with the colour (none: normals and lighting instead, white material).
GeometryDescription Quad(float x0, float x1, float y0, float y1, float z, const uint8_t* prelit)
{
    GeometryDescription g;
    g.numVertices = 4;
    GeometryDescription::MorphTarget target;
    target.positions = {x0, y0, z, x1, y0, z, x0, y1, z, x1, y1, z};
    target.sphere = {(x0 + x1) / 2, (y0 + y1) / 2, z, std::hypot(x1 - x0, y1 - y0)};
    if (prelit)
    {
        g.format = kGeometryPositions | kGeometryPrelit;
        g.prelit.assign(4, {prelit[0], prelit[1], prelit[2], 255});
    }
    else
    {
        g.format = kGeometryPositions | kGeometryNormals | kGeometryLight;
        target.normals = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
    }
    g.targets = {target};
    g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    return g;
}

std::vector<uint8_t> QuadClump(const GeometryDescription& geometry)
{
    ClumpDescription c;
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {geometry};
    c.atomics = {ClumpDescription::Atomic{}};
    return ClumpWriter::Write(c);
}

Clump* ReadClump(const std::vector<uint8_t>& bytes)
{
    MemoryBlock block{const_cast<uint8_t*>(bytes.data()), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    Clump* clump = nullptr;
    if (in && Stream::FindChunk(in, 16, nullptr, nullptr))
        clump = Clump::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return clump;
}

LevelMatrix At(float x, float y, float z)
{
    return {1, 0, 0, 0, 1, 0, 0, 0, 1, x, y, z};
}

/// A grid of two points lit only by an ambient colour.
std::vector<uint8_t> AmbientField()
{
    LightFieldDescription d;
    d.max = {100, 0, 0};
    d.step = 100;
    const float a = kFieldAmbient;
    d.records = {{0, -1, 0, 0, 0, 0, a, a, a}, {0, -1, 0, 0, 0, 0, a, a, a}};
    return LightFieldWriter::Write(d);
}

/// The resources of level L1 in a pack archive: worlds A (wall at z 10) and B (wall at z
/// 20), a sky, a box object, a light field, a directional and a point light.
class Levels : public SceneTest
{
protected:
    void SetUp() override
    {
        StartRenderer();
        if (HasFatalFailure())
            return;
        HbPackArchive writer;
        ASSERT_NE(writer.Open("l1.pak", "wb"), nullptr);
        auto add = [&](const char* id, const char* path, const std::vector<uint8_t>& bytes)
        {
            ASSERT_EQ(writer.AddEntry(path, bytes.data(), bytes.size()), 1) << path;
            Declare(id, path);
        };
        add("L1_A_WW", "levels\\l1\\a.bsp", WallWorldBytes(10.0f, kWallA));
        add("L1_B_WW", "levels\\l1\\b.bsp", WallWorldBytes(20.0f, kWallB));
        add("L1_SKY_WS", "levels\\l1\\sky.dff", QuadClump(Quad(-0.1f, 0.1f, -0.1f, 0.1f, 0.05f, kSkyColour)));
        add("L1_BOX_WO", "levels\\l1\\box.dff", QuadClump(Quad(-2.5f, 2.5f, -3, 3, 0, kBoxColour)));
        add("L1_GRID_LF", "levels\\l1\\grid.lf", AmbientField());
        add("L1_SUN_W3DDIRECTIONALLIGHT", "levels\\l1\\sun.lgt", {0, 0, 0, 0});
        add("L1_LAMP_W3DPOINTLIGHT", "levels\\l1\\lamp.lgt", {0, 0, 0, 0});
        add("L1_BAD_WW", "levels\\l1\\bad.bsp", {1, 2, 3, 4});
        // A wall whose leaf total (struct word 7) asks for more than a gigabyte of block.
        std::vector<uint8_t> huge = WallWorldBytes(10.0f, kWallA);
        const uint32_t leaves = 0x00FFFFFF;
        std::memcpy(huge.data() + 24 + 7 * 4, &leaves, 4);
        add("L1_HUGE_WW", "levels\\l1\\huge.bsp", huge);
        for (const auto& [id, description] : mLevels)
            add(id.c_str(), ("levels\\l1\\" + id + ".wl").c_str(), LevelWriter::Write(description));
        writer.Close();
        HbPackSet* packs = HbPackSet::Instance();
        ASSERT_EQ(packs->Mount("l1.pak"), 1);
        packs->SetEnabled(1);
    }

    /// The renderer, started as the scene tests start it.
    virtual void StartRenderer() { SceneTest::SetUp(); }

    void TearDown() override
    {
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        SceneTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// The level resource of that id, with one reference for the test; null when it failed.
    W3dLevel* Level(const char* id)
    {
        W3dLevel* level = HbCastTo<W3dLevel>(HbResourceManager::Instance()->GetResource(id));
        if (level)
            level->AddRef();
        return level;
    }

    std::vector<std::pair<std::string, LevelDescription>> mLevels;
    std::vector<std::string> mIds;
};

class LevelFiles : public Levels
{
protected:
    void SetUp() override
    {
        LevelDescription full;
        full.worlds = {"L1_A_WW", "L1_B_WW"};
        full.skies = {"L1_SKY_WS"};
        full.lightFields = {"L1_NONE_LF", "L1_GRID_LF"};
        full.lights = {{"L1_SUN_W3DDIRECTIONALLIGHT", {1, 0, 0, 1}, At(1, 2, 3)}};
        full.objects = {{"L1_BOX_WO", At(-9.5f, 0, 15)}};
        full.clip = std::array<float, 2>{2.0f, 500.0f};
        full.collisionWorlds = {"L1_A_WW"};
        mLevels.push_back({"L1_FULL_WL", full});

        LevelDescription plain;
        plain.worlds = {"L1_B_WW", "L1_BAD_WW"};
        // A light entry without a resource and one of another class are still consumed.
        plain.lights = {{"L1_SUN_W3DDIRECTIONALLIGHT", {1, 0, 0, 1}, At(1, 2, 3)},
                        {"L1_GONE_W3DPOINTLIGHT", {0, 1, 0, 1}, At(4, 5, 6)},
                        {"L1_B_WW", {0, 0, 1, 1}, At(7, 8, 9)},
                        {"L1_LAMP_W3DPOINTLIGHT", {0.5f, 0.5f, 0.5f, 1}, At(10, 11, 12)},
                        {"L1_SUN_W3DDIRECTIONALLIGHT", {0.25f, 0.5f, 0.75f, 1}, At(-1, -2, -3)}};
        plain.objects = {{"L1_BOX_WO", At(1, 0, 0)},
                         {"L1_SUN_W3DDIRECTIONALLIGHT", At(2, 0, 0)},
                         {"L1_BOX_WO", At(3, 0, 0)},
                         {"L1_NOTHING_WO", At(4, 0, 0)},
                         {"L1_BOX_WO", At(5, 0, 0)}};
        mLevels.push_back({"L1_PLAIN_WL", plain});

        LevelDescription rootless;
        rootless.root = false;
        mLevels.push_back({"L1_EMPTY_WL", rootless});
        LevelDescription worldless;
        worldless.worlds = {"L1_BAD_WW", "L1_SKY_WS"};
        mLevels.push_back({"L1_NOWORLD_WL", worldless});
        Levels::SetUp();
    }
};

TEST_F(LevelFiles, EveryChunkIsReadInOrderAndTheLastWorldIsMain)
{
    W3dLevel* level = Level("L1_FULL_WL");
    ASSERT_NE(level, nullptr);
    auto* b = HbCastTo<W3dWorld>(HbResourceManager::Instance()->GetResource("L1_B_WW"));
    auto* a = HbCastTo<W3dWorld>(HbResourceManager::Instance()->GetResource("L1_A_WW"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(level->GetMainWorldResource(), b) << "the second world is the main world";
    EXPECT_EQ(level->GetCollisionWorldResource(), a);
    EXPECT_EQ(b->GetRefCount(), 1);
    EXPECT_EQ(a->GetRefCount(), 1);
    ASSERT_NE(level->GetSky(), nullptr);
    EXPECT_EQ(level->GetSky()->GetOwner(), level);
    EXPECT_EQ(level->GetSky()->NeedsInstancing(), 1);
    ASSERT_NE(level->GetLightField(), nullptr) << "the last light-field name is used";
    EXPECT_EQ(level->GetLights().GetCount(), 1);
    EXPECT_EQ(level->GetObjects().GetCount(), 1);
    EXPECT_EQ(level->GetNearClip(), 2.0f);
    EXPECT_EQ(level->GetFarClip(), 500.0f);

    // Line tests go through the collision world: wall A at z 10, not the main world's B.
    Vector start = {5, 0, 0}, end = {5, 0, 40};
    W3dCollisionResult result;
    ASSERT_EQ(CollisionTestLine(level, &start, &end, nullptr, nullptr, &result, nullptr), 1);
    EXPECT_NEAR(result.distance, 0.25f, 1e-4f);
    level->Release();
}

TEST_F(LevelFiles, EntriesThatGiveNoLightOrObjectKeepTheRestInStep)
{
    W3dLevel* level = Level("L1_PLAIN_WL");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetNearClip(), 15.0f) << "no clip chunk";
    EXPECT_EQ(level->GetFarClip(), 10000.0f);
    W3dWorld* main = level->GetMainWorldResource();
    ASSERT_NE(main, nullptr) << "a world that fails to load is skipped";
    EXPECT_EQ(level->GetCollisionWorldResource(), main) << "no collision-world chunk";
    EXPECT_EQ(main->GetRefCount(), 2);
    EXPECT_EQ(level->GetLightField(), nullptr);

    // sun, lamp, sun: the two suns share one light and the later placement wins.
    ASSERT_EQ(level->GetLights().GetCount(), 3);
    auto* sun = static_cast<W3dLight*>(level->GetLights()[0]);
    auto* lamp = static_cast<W3dLight*>(level->GetLights()[1]);
    auto* sunAgain = static_cast<W3dLight*>(level->GetLights()[2]);
    EXPECT_NE(sun, sunAgain);
    EXPECT_EQ(sun->GetLight(), sunAgain->GetLight());
    EXPECT_EQ(sun->GetLight()->colour.blue, 0.75f);
    EXPECT_EQ(sun->GetEngineFrame()->modelling.pos.z, -3.0f);
    EXPECT_EQ(lamp->GetLight()->colour.red, 0.5f) << "read from its own place";
    EXPECT_EQ(lamp->GetEngineFrame()->modelling.pos.y, 11.0f);
    EXPECT_EQ(Light::GetType(lamp->GetLight()), int32_t(kLightPoint));

    // box, (a light: skipped), box, then a name without resource ends the chunk.
    ASSERT_EQ(level->GetObjects().GetCount(), 2);
    auto* first = static_cast<W3dObject*>(level->GetObjects()[0]);
    auto* second = static_cast<W3dObject*>(level->GetObjects()[1]);
    ASSERT_NE(first->GetClump(), nullptr);
    ASSERT_NE(second->GetClump(), nullptr);
    EXPECT_NE(first->GetClump(), second->GetClump()) << "every placement is a copy of its own";
    EXPECT_EQ(first->GetClump()->frame->modelling.pos.x, 1.0f);
    EXPECT_EQ(second->GetClump()->frame->modelling.pos.x, 3.0f);
    EXPECT_EQ(second->GetBoundingSphere()->radius, first->GetBoundingSphere()->radius);
    EXPECT_EQ(second->GetRenderItems().GetCount(), 1);

    // Bound to a scene without a light field: the level's own lights hang under the root.
    auto* scene = new WScene();
    scene->SetLevel(level);
    EXPECT_EQ(lamp->GetParent(), scene->GetRoot());
    EXPECT_EQ(Light::GetWorld(lamp->GetLight()), main->GetWorld());
    delete scene;
    level->Release();
}

TEST_F(LevelFiles, ALevelWithoutRootIsEmptyAndOneWithoutAWorldFails)
{
    W3dLevel* empty = Level("L1_EMPTY_WL");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetMainWorld(), nullptr);
    EXPECT_EQ(empty->GetCollisionWorld(), nullptr);
    auto* scene = new WScene();
    scene->SetLevel(empty);
    Vector start = {5, 0, 0}, end = {5, 0, 40};
    W3dCollisionResult result;
    EXPECT_EQ(CollisionTestLine(empty, &start, &end, nullptr, nullptr, &result, nullptr), 0);
    EXPECT_EQ(CollisionTestLine(nullptr, &start, &end, nullptr, nullptr, &result, nullptr), 0);
    delete scene;
    empty->Release();
    EXPECT_EQ(Level("L1_NOWORLD_WL"), nullptr);
    EXPECT_EQ(HbResourceManager::Instance()->GetResource("L1_BAD_WW"), nullptr);
}

TEST_F(LevelFiles, AWorldWhoseTotalsPassItsPackEntryIsRefusedBeforeItsBlockIsAllocated)
{
    Error earlier;
    Error::Get(&earlier); // empties the slot
    EXPECT_EQ(HbResourceManager::Instance()->GetResource("L1_HUGE_WW"), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrStreamRead) << "refused on the entry's length, not for want of memory";
}

/// The full level drawn in a 64 x 64 window: the sky behind everything, the main world's
/// wall, the box placed by the level and a node lit by the light field.
class LevelScene : public Levels
{
protected:
    void SetUp() override
    {
        LevelDescription d;
        d.worlds = {"L1_B_WW"};
        d.skies = {"L1_SKY_WS"};
        d.lightFields = {"L1_GRID_LF"};
        d.lights = {{"L1_SUN_W3DDIRECTIONALLIGHT", {1, 1, 1, 1}, At(0, 0, 0)}};
        d.objects = {{"L1_BOX_WO", At(-9.5f, 0, 15)}};
        mLevels.push_back({"L1_SCENE_WL", d});
        Levels::SetUp();
    }

    void StartRenderer() override
    {
        RendererTest::SetUp();
        SceneLog().clear();
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.modes.push_back({64, 64, 60, D3DFMT_X8R8G8B8});
        WriteFile("vprefs.dat", PrefsBytes(1, 64, 64, 1, 1.0f));
        Started({adapter});
    }

};

uint32_t Argb(const uint8_t* rgb)
{
    return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

TEST_F(LevelScene, TheBoundLevelDrawsItsSkyWorldObjectsAndFieldLitNodes)
{
    WRenderer* renderer = WRenderer::Instance();
    renderer->BeginFrame();
    renderer->EndFrame(); // the preferences apply at the end of the first frame
    W3dLevel* level = Level("L1_SCENE_WL");
    ASSERT_NE(level, nullptr);
    auto* scene = new WScene();
    renderer->SetScene(scene);
    scene->SetLevel(level);
    WLightFieldManager* field = level->GetLightField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->GetAmbientLight()->GetParent(), scene->GetRoot());
    EXPECT_EQ(field->GetDirectionalLight()->GetParent(), scene->GetRoot());
    ASSERT_EQ(level->GetLights().GetCount(), 1);
    EXPECT_EQ(static_cast<W3dLight*>(level->GetLights()[0])->GetParent(), nullptr) << "the level's own lights stay out";

    W3dCamera* camera = W3dCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->AddRef();
    scene->GetRoot()->AttachChild(camera);
    renderer->SetCamera(camera);
    camera->SetClearColor({0x20, 0x30, 0x40, 0xFF});

    LoggingNode* lit = LoggingNode::Make("lit");
    lit->SetClump(ReadClump(QuadClump(Quad(-5, -1, -3, 3, 15, nullptr))));
    ASSERT_NE(lit->GetClump(), nullptr);
    lit->SetFlags(lit->GetFlags() | W3dNode::kLitByField);
    RenderItemList::Build(lit, lit->GetClump());
    lit->RefreshItemLighting();
    lit->AddRef();
    scene->GetRoot()->AttachChild(lit);
    renderer->AddToRenderLists(lit, 0);

    for (int frame = 0; frame < 2; ++frame)
    {
        ASSERT_EQ(renderer->BeginFrame(), 1);
        renderer->UpdateFrame();
        renderer->RenderScene();
        renderer->EndFrame();
    }
    EXPECT_EQ(level->GetSky()->NeedsInstancing(), 0);
    EXPECT_NEAR(lit->GetLightAmbientColor()[0],
                WLightFieldManager::Decode(WLightFieldManager::PackColor(kFieldAmbient)), 1e-6f);
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = ReadViewport(&width, &height);
    ASSERT_EQ(width, 64);
    ASSERT_EQ(height, 64);

    // Regions by the direction through a point of the picture: x/z and y/z (the view is
    // mirrored in x; the window is kAspect wide and 1 high at distance 1).
    const uint8_t grey =
        uint8_t(std::lround(255.0f * WLightFieldManager::Decode(WLightFieldManager::PackColor(kFieldAmbient))));
    const uint8_t litColour[3] = {grey, grey, grey};
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        const float u = (1.0f - px / (width / 2.0f)) * W3dCamera::kAspect;
        const float v = std::fabs(1.0f - py / (height / 2.0f));
        if (u > 0.0f)
            return Argb(kWallB);
        if (v <= 0.2f && u >= -0.8f && u <= -7.0f / 15.0f)
            return Argb(kBoxColour);
        if (v <= 0.2f && u >= -5.0f / 15.0f && u <= -1.0f / 15.0f)
            return Argb(litColour);
        return Argb(kSkyColour);
    };
    // Edges are the device's to rasterise.
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(width, height, pixels, colourAt, {-0.6f, 0.6f});
    EXPECT_EQ(framecheck::CheckFrame("renderer_level_scene", width, height, pixels, expected, 3), "");

    Vector start = {5, 0, 0}, end = {5, 0, 40};
    W3dCollisionResult result;
    ASSERT_EQ(CollisionTestLine(level, &start, &end, nullptr, nullptr, &result, nullptr), 1);
    EXPECT_NEAR(result.distance, 0.5f, 1e-4f) << "wall B, the main world, also takes the line tests";

    renderer->SetCamera(nullptr);
    renderer->ReleaseScene();
    lit->Release();
    camera->Release();
    level->Release();
}

TEST_F(LevelFiles, MutatedLevelsAreReadSafely)
{
    // The resources the level names stay cached while the test holds them.
    HbResourceManager* manager = HbResourceManager::Instance();
    std::vector<HbRoot*> held;
    for (const char* id : {"L1_A_WW", "L1_B_WW", "L1_SKY_WS", "L1_BOX_WO", "L1_GRID_LF", "L1_SUN_W3DDIRECTIONALLIGHT",
                           "L1_LAMP_W3DPOINTLIGHT"})
    {
        HbRoot* resource = manager->GetResource(id);
        ASSERT_NE(resource, nullptr) << id;
        resource->AddRef();
        held.push_back(resource);
    }
    LevelDescription d;
    d.worlds = {"L1_A_WW", "L1_B_WW"};
    d.skies = {"L1_SKY_WS"};
    d.lightFields = {"L1_GRID_LF"};
    d.lights = {{"L1_SUN_W3DDIRECTIONALLIGHT", {1, 0, 0, 1}, At(1, 2, 3)},
                {"L1_LAMP_W3DPOINTLIGHT", {1, 1, 1, 1}, At(0, 0, 0)}};
    d.objects = {{"L1_BOX_WO", At(1, 0, 0)}, {"L1_BOX_WO", At(2, 0, 0)}};
    d.clip = std::array<float, 2>{1.0f, 2.0f};
    d.collisionWorlds = {"L1_A_WW"};
    const std::vector<uint8_t> base = LevelWriter::Write(d);
    std::mt19937 random(45);
    int32_t loaded = 0;
    for (int32_t round = 0; round < 1500; ++round)
    {
        std::vector<uint8_t> bytes = base;
        for (int32_t c = 1 + int32_t(random() % 3); c > 0; --c)
            bytes[random() % bytes.size()] = uint8_t(random());
        if (random() % 6 == 0)
            bytes.resize(random() % bytes.size());
        ChunkBytes stream(bytes);
        W3dLevel* level = W3dLevel::Create();
        level->AddRef();
        loaded += level->LoadFromChunks(stream.Stream(), "L1_SWEEP_WL");
        level->Release();
    }
    EXPECT_GT(loaded, 0);
    for (HbRoot* resource : held)
        resource->Release();
}

// ---- Static objects and bounds ---------------------------------------------------------------------

/// A clump of one atomic whose geometry holds the points, its frame under the clump's.
Clump* PointClump(const std::vector<Vector>& points)
{
    Clump* clump = Clump::Create();
    clump->frame = Frame::Create();
    Geometry* geometry = Geometry::Create(int32_t(points.size()), 0, kGeometryPositions);
    for (size_t i = 0; i < points.size(); ++i)
        geometry->morphTargets[0].positions[i] = points[i];
    Geometry::Unlock(geometry);
    Atomic* atomic = Atomic::Create();
    Frame* frame = Frame::Create();
    Frame::AddChild(clump->frame, frame);
    Atomic::SetFrame(atomic, frame);
    Atomic::SetGeometry(atomic, geometry, 0);
    Geometry::Destroy(geometry);
    Clump::AddAtomic(clump, atomic);
    return clump;
}

using StaticObjects = SceneTest;

TEST_F(StaticObjects, BoundsStartFromTheWidestAxisAndGrowToEveryPoint)
{
    const struct
    {
        const char* name;
        std::vector<Vector> points;
        Vector centre;
        float radius;
    } cases[] = {
        {"equal points", {{2, 3, 4}, {2, 3, 4}, {2, 3, 4}}, {2, 3, 4}, 0.0f},
        {"the y pair", {{-1, 0, 0}, {1, 0, 0}, {0, 3, 0}, {0, -3, 0}}, {0, 0, 0}, 3.0f},
        // From the x pair (radius 2), grown by the point at (0, 3): d = 3, radius 2.5, the
        // centre moved up by d - radius.
        {"grown", {{-2, 0, 0}, {2, 0, 0}, {0, 3, 0}}, {0, 0.5f, 0}, 2.5f},
    };
    for (const auto& c : cases)
    {
        Clump* clump = PointClump(c.points);
        Sphere sphere = {};
        ASSERT_EQ(ClumpComputeBounds(clump, &sphere), 1) << c.name;
        EXPECT_NEAR(sphere.centre.x, c.centre.x, 1e-5f) << c.name;
        EXPECT_NEAR(sphere.centre.y, c.centre.y, 1e-5f) << c.name;
        EXPECT_NEAR(sphere.centre.z, c.centre.z, 1e-5f) << c.name;
        EXPECT_NEAR(sphere.radius, c.radius, 1e-5f) << c.name;
        Clump::Destroy(clump);
    }

    // A scaled atomic frame is measured orthonormalised and left scaled.
    Clump* scaled = PointClump({{-1, 0, 0}, {1, 0, 0}});
    Frame* frame = Atomics(scaled)[0]->object.frame;
    const Vector twice = {2, 2, 2};
    Frame::Scale(frame, &twice, kCombineReplace);
    Sphere sphere = {};
    ASSERT_EQ(ClumpComputeBounds(scaled, &sphere), 1);
    EXPECT_NEAR(sphere.radius, 1.0f, 1e-5f);
    EXPECT_EQ(frame->modelling.right.x, 2.0f) << "the model keeps its scale";
    Clump::Destroy(scaled);
}

TEST_F(StaticObjects, AnAtomicOutsideTheClumpsTreeKeepsTheDefaultBounds)
{
    Clump* clump = PointClump({{-1, 0, 0}, {1, 0, 0}});
    Frame* loose = Frame::Create();
    Frame* old = Atomics(clump)[0]->object.frame;
    Atomic::SetFrame(Atomics(clump)[0], loose);
    Sphere sphere = {};
    EXPECT_EQ(ClumpComputeBounds(clump, &sphere), 0);
    W3dObject* object = W3dObject::Create();
    object->AddRef();
    object->SetClump(clump);
    EXPECT_EQ(object->GetBoundingSphere()->radius, 100.0f);
    EXPECT_EQ(object->GetRenderLayer(), 2);
    object->Release();
    Frame::Destroy(loose);
    (void)old;
}

} // namespace
} // namespace renderertest
