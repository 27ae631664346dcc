// The renderer's frame: the fixed order of the 3D pass on a recorder (camera updates, sky, world,
// effect groups, render layers, custom callbacks, the transparent layer back to front) with the
// render states it hands back; the may-draw table; custom-callback slots; clumps prepared after
// a level; a camera that dies between frames; and a scene holding a world drawn whole from a
// windowed 64 x 64 start, read back and checked against a line query on the same world.
#include "camera.h"
#include "clump.h"
#include "collisiontreewriter.h"
#include "d3d9testhooks.h"
#include "engine.h"
#include "frame.h"
#include "framecheck.h"
#include "geometry.h"
#include "hbclock.h"
#include "kfxmanager.h"
#include "material.h"
#include "memory.h"
#include "mipmapkl.h"
#include "raster.h"
#include "scene_fixture.h"
#include "texture.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dsky.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wrenderlist.h"
#include "wscene.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace renderertest
{
namespace
{

std::vector<std::string> gTrace;
std::map<const Atomic*, std::string> gAtomicNames;
CameraUpdateFunction gBeginUpdate = nullptr;
CameraUpdateFunction gEndUpdate = nullptr;
bool gRefuseBeginUpdate = false;

intptr_t State(int32_t code)
{
    intptr_t value = -1;
    Engine::Current()->device.getRenderState(code, &value);
    return value;
}

std::string States()
{
    return "zt=" + std::to_string(State(kRenderStateZTest)) + " zw=" + std::to_string(State(kRenderStateZWrite)) +
           " va=" + std::to_string(State(kRenderStateVertexAlpha)) + " fog=" + std::to_string(State(kRenderStateFog));
}

/// The effect layer as the recorder sees it.
class RecordingFx : public KfxManagerBackend
{
public:
    void SetCamera(Camera* camera) override { cameras.push_back(camera); }
    void UpdateAll() override { ++updates; }
    void RenderGroup(int32_t group) override
    {
        gTrace.push_back("fx" + std::to_string(group) + " " + States());
        // An emitter sets depth and fog states of its own and leaves them: the renderer puts
        // back the saved ones after the group.
        Engine::Current()->device.setRenderState(kRenderStateZTest, 1 - State(kRenderStateZTest));
        Engine::Current()->device.setRenderState(kRenderStateZWrite, 1);
        Engine::Current()->device.setRenderState(kRenderStateFog, 1 - State(kRenderStateFog));
        Engine::Current()->device.setRenderState(kRenderStateVertexAlpha, 0);
    }

    std::vector<Camera*> cameras;
    int32_t updates = 0;
};

Atomic* RecordAtomic(Atomic* atomic)
{
    gTrace.push_back(gAtomicNames[atomic]);
    return atomic;
}

WorldSector* RecordSector(WorldSector* sector)
{
    gTrace.push_back("world");
    return sector;
}

Camera* RecordBegin(Camera* camera)
{
    gTrace.push_back("begin");
    return gRefuseBeginUpdate ? nullptr : gBeginUpdate(camera);
}

Camera* RecordEnd(Camera* camera)
{
    gTrace.push_back("end");
    return gEndUpdate(camera);
}

void RecordCallback(void* user)
{
    gTrace.push_back(static_cast<const char*>(user));
}

/// A wall facing the origin at z = 10 over x in [0, 30] and y in [-30, 30], one prelit
/// colour, with the collision tree line tests use.
constexpr float kWallDepth = 10.0f;
constexpr uint8_t kWallColour[3] = {200, 60, 30};

World* MakeWallWorld()
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material plain;
    plain.colour = {255, 255, 255, 255};
    d.materials = {plain};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {0, -30, kWallDepth, 30, -30, kWallDepth, 0, 30, kWallDepth, 30, 30, kWallDepth};
    leaf.prelit.assign(4, {kWallColour[0], kWallColour[1], kWallColour[2], 255});
    // Facing the camera: line tests meet only the front of a triangle.
    leaf.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3}};
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {30, 30, kWallDepth + 1, 0, -30, kWallDepth - 1};
    return ReadWorldChunk(WorldWriter::Write(d));
}

/// A started renderer with a scene whose level holds the wall world, a camera node at the
/// origin under the scene's root made current, and the recording effect layer.
class Frames : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (!HasFatalFailure())
            Build();
    }

    /// The renderer started from a vprefs.dat holding prefs (none when empty).
    void StartWithPrefs(const std::string& prefs, d3d9test::AdapterConfig adapter = Adapter())
    {
        RendererTest::SetUp();
        SceneLog().clear();
        if (!prefs.empty())
            WriteFile("vprefs.dat", prefs);
        Started({adapter});
        if (!HasFatalFailure())
            Build();
    }

    void Build()
    {
        mRenderer = WRenderer::Instance();
        KfxManager::Install(&mFx);
        mWorld = MakeWallWorld();
        ASSERT_NE(mWorld, nullptr);
        mLevel = W3dLevel::Create();
        mLevel->AddRef();
        mLevel->SetMainWorld(mWorld);
        mScene = new WScene();
        mRenderer->SetScene(mScene);
        mScene->SetLevel(mLevel);
        mCamera = W3dCamera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef(); // the test's
        mScene->GetRoot()->AttachChild(mCamera);
        mRenderer->SetCamera(mCamera);
        Camera* camera = mCamera->GetCamera();
        gBeginUpdate = camera->beginUpdate;
        gEndUpdate = camera->endUpdate;
        gRefuseBeginUpdate = false;
        gTrace.clear();
        gAtomicNames.clear();
    }

    void TearDown() override
    {
        if (mRenderer)
        {
            mRenderer->SetCamera(nullptr);
            mRenderer->ReleaseScene();
        }
        for (LoggingNode* node : mNodes)
            node->Release();
        if (mCamera)
            mCamera->Release();
        if (mLevel)
            mLevel->Release();
        if (mWorld)
            World::Destroy(mWorld);
        KfxManager::Install(nullptr);
        KfxManager::SetCamera(nullptr);
        SceneTest::TearDown();
    }

    /// A node in the scene with a one-triangle clump whose atomic records its draw as name,
    /// at z in front of the camera.
    LoggingNode* Node(const char* name, float z)
    {
        LoggingNode* node = LoggingNode::Make(name);
        node->SetClump(MakeClump({nullptr}));
        for (Atomic* atomic : Atomics(node->GetClump()))
        {
            atomic->renderCallback = RecordAtomic;
            gAtomicNames[atomic] = name;
        }
        RenderItemList::Build(node, node->GetClump());
        Vector at = {-0.5f, -0.5f, z};
        Frame::Translate(node->GetEngineFrame(), &at, kCombineReplace);
        node->AddRef();
        mNodes.push_back(node);
        mScene->GetRoot()->AttachChild(node);
        return node;
    }

    void RecordCameraUpdates()
    {
        mCamera->GetCamera()->beginUpdate = RecordBegin;
        mCamera->GetCamera()->endUpdate = RecordEnd;
    }

    WRenderer* mRenderer = nullptr;
    RecordingFx mFx;
    World* mWorld = nullptr;
    W3dLevel* mLevel = nullptr;
    WScene* mScene = nullptr;
    W3dCamera* mCamera = nullptr;
    std::vector<LoggingNode*> mNodes;
};

TEST_F(Frames, TheThreeDPassDrawsInItsFixedOrderAndHandsTheStatesBack)
{
    W3dSky* sky = W3dSky::Create();
    sky->SetClump(MakeClump({nullptr}));
    for (Atomic* atomic : Atomics(sky->GetClump()))
    {
        atomic->renderCallback = RecordAtomic;
        gAtomicNames[atomic] = "sky";
    }
    mLevel->SetSky(sky);
    World::SetSectorRenderCallback(mWorld, RecordSector);
    // One node per layer, added out of drawing order; two level objects in the transparent
    // layer, the nearer first.
    for (int32_t layer : {0, 1, 2, 3, 4})
    {
        static const char* kNames[] = {"L0", "L1", "L2", "L3", "L4"};
        mRenderer->AddToRenderLists(Node(kNames[layer], 5.0f), layer);
    }
    mRenderer->AddToRenderLists(Node("T5", 5.0f), WRenderer::kTransparentLayer);
    mRenderer->AddToRenderLists(Node("T20", 20.0f), WRenderer::kTransparentLayer);
    ASSERT_EQ(mRenderer->AddCustomRenderCallback(RecordCallback, const_cast<char*>("cb0")), 0);
    ASSERT_EQ(mRenderer->AddCustomRenderCallback(RecordCallback, const_cast<char*>("cb1")), 1);
    RecordCameraUpdates();
    EXPECT_EQ(WorldCamera::GetWorld(mCamera->GetCamera()), mWorld) << "the camera joined the level's world";

    ASSERT_EQ(mRenderer->BeginFrame(), 1);
    mRenderer->UpdateFrame();
    EXPECT_EQ(mFx.updates, 1);
    ASSERT_FALSE(mFx.cameras.empty());
    EXPECT_EQ(mFx.cameras.back(), mCamera->GetCamera()) << "the effects get the camera node's engine camera";
    gTrace.clear();
    mRenderer->RenderScene();
    const std::vector<std::string> expected = {
        "begin", "sky", "world", "fx1 zt=0 zw=0 va=1 fog=0", "L1", "L2", "L0", "cb0", "cb1", "L4",
        "L3",    "T20", "T5",    "fx2 zt=1 zw=0 va=1 fog=0", "end"};
    EXPECT_EQ(gTrace, expected);
    EXPECT_EQ(State(kRenderStateCullMode), 1) << "left at no culling";

    // The states the pass found (after the camera's fog) are the ones it leaves, whatever
    // they were.
    for (intptr_t on : {0, 1})
    {
        mCamera->SetFogEnabled(int32_t(on));
        mCamera->GetCamera()->beginUpdate = gBeginUpdate;
        Camera::BeginUpdate(mCamera->GetCamera());
        Engine::Current()->device.setRenderState(kRenderStateZTest, on);
        Engine::Current()->device.setRenderState(kRenderStateZWrite, on);
        Engine::Current()->device.setRenderState(kRenderStateVertexAlpha, 1 - on);
        Camera::EndUpdate(mCamera->GetCamera());
        const std::string before = "zt=" + std::to_string(on) + " zw=" + std::to_string(on) +
                                   " va=1 fog=" + std::to_string(on); // the pass turns vertex alpha on first
        mRenderer->RenderScene();
        EXPECT_EQ(States(), before) << on;
    }
    mLevel->SetSky(nullptr);
}

TEST_F(Frames, TheSkyFollowsTheCameraScaledAndTurnedEveryUpdate)
{
    W3dSky* sky = W3dSky::Create();
    sky->SetClump(MakeClump({nullptr}));
    sky->SetAngle(90.0f);
    mLevel->SetSky(sky);
    EXPECT_EQ(sky->GetOwner(), mLevel);
    for (const Vector& at : {Vector{3, 4, 5}, Vector{-7, 0, 2}})
    {
        Frame::Translate(mCamera->GetEngineFrame(), &at, kCombineReplace);
        mRenderer->UpdateFrame();
        const Matrix& m = sky->GetClump()->frame->modelling;
        EXPECT_NEAR(m.pos.x, at.x, 1e-4f);
        EXPECT_NEAR(m.pos.y, at.y, 1e-4f);
        EXPECT_NEAR(m.pos.z, at.z, 1e-4f);
        EXPECT_NEAR(m.right.x, 0.0f, 1e-3f) << "a quarter turn about the up axis";
        EXPECT_NEAR(std::fabs(m.right.z), 100.0f, 1e-3f);
        EXPECT_NEAR(m.up.y, 100.0f, 1e-3f);
    }
    sky->SetEnabled(0);
    const Vector away = {50, 0, 0};
    Frame::Translate(mCamera->GetEngineFrame(), &away, kCombineReplace);
    mRenderer->UpdateFrame();
    EXPECT_NEAR(sky->GetClump()->frame->modelling.pos.x, -7.0f, 1e-4f) << "a disabled sky stays";
    mLevel->SetSky(nullptr);
}

TEST_F(Frames, AFailedCameraUpdateSkipsThePassAndADeadCameraLeavesOnlyTheMainCamera)
{
    mRenderer->AddToRenderLists(Node("L0", 5.0f), 0);
    mRenderer->UpdateFrame();
    RecordCameraUpdates();
    gRefuseBeginUpdate = true;
    mRenderer->RenderScene();
    EXPECT_EQ(gTrace, std::vector<std::string>{"begin"}) << "nothing drawn, no end";
    gRefuseBeginUpdate = false;

    // The camera node dies between frames: the frame notices through the handle.
    mScene->GetRoot()->RemoveChild(mCamera);
    EXPECT_EQ(WorldCamera::GetWorld(mCamera->GetCamera()), nullptr) << "it left the world with the scene";
    mFx.cameras.clear();
    mCamera->Release();
    mCamera = nullptr;
    EXPECT_EQ(mFx.cameras, std::vector<Camera*>{nullptr}) << "the effects let go of the dead camera at once";
    EXPECT_EQ(KfxManager::GetCamera(), nullptr);
    gTrace.clear();
    mFx.cameras.clear();
    mFx.updates = 0;
    EXPECT_EQ(mRenderer->BeginFrame(), 1) << "the main camera clears";
    mRenderer->UpdateFrame();
    mRenderer->RenderScene();
    mRenderer->EndFrame();
    EXPECT_TRUE(gTrace.empty());
    EXPECT_TRUE(mFx.cameras.empty()) << "already told that there is none";
    EXPECT_EQ(mFx.updates, 0);
    EXPECT_EQ(mRenderer->GetCamera().GetObject(), nullptr);
}

TEST_F(Frames, CustomCallbackSlotsAreReusedLastFreedFirstThenLowestEmpty)
{
    static char tag[] = "cb";
    auto add = [&] { return mRenderer->AddCustomRenderCallback(RecordCallback, tag); };
    for (int32_t i = 0; i < 3; ++i)
        ASSERT_EQ(add(), i);
    ASSERT_EQ(mRenderer->RemoveCustomRenderCallback(2), 1);
    EXPECT_EQ(add(), 2);
    ASSERT_EQ(mRenderer->RemoveCustomRenderCallback(0), 1);
    ASSERT_EQ(mRenderer->RemoveCustomRenderCallback(2), 1);
    EXPECT_EQ(add(), 2) << "the slot freed last";
    EXPECT_EQ(add(), 0) << "then the first empty one";
    EXPECT_EQ(add(), 3) << "then the array grows";
    EXPECT_EQ(mRenderer->GetCustomRenderCallbackCount(), 4);
}

TEST_F(Frames, RemovingAnEmptyOrMissingCallbackSlotChangesNothing)
{
    static char tag[] = "cb";
    for (int32_t i = 0; i < 3; ++i)
        ASSERT_EQ(mRenderer->AddCustomRenderCallback(RecordCallback, tag), i);
    EXPECT_EQ(mRenderer->RemoveCustomRenderCallback(3), 0) << "outside the array";
    EXPECT_EQ(mRenderer->RemoveCustomRenderCallback(-1), 0);
    EXPECT_EQ(mRenderer->RemoveCustomRenderCallback(1), 1);
    // A second removal has no record to give back (it would go back to the pool twice).
    EXPECT_EQ(mRenderer->RemoveCustomRenderCallback(1), 0);
    EXPECT_EQ(mRenderer->GetCustomRenderCallbackCount(), 3);
    EXPECT_EQ(mRenderer->AddCustomRenderCallback(RecordCallback, tag), 1);
}

TEST_F(Frames, PrepareClumpsEmptiesItsRegistryOnlyWithACamera)
{
    Clump* clumps[2] = {MakeClump({nullptr}), MakeClump({nullptr})};
    const int32_t before = WRenderer::GetRegisteredClumpCount();
    WRenderer::RegisterClump(clumps[0]);
    WRenderer::RegisterClump(nullptr); // an empty entry is skipped
    WRenderer::RegisterClump(clumps[1]);
    EXPECT_EQ(WRenderer::GetRegisteredClumpCount(), before + 3);

    mRenderer->SetCamera(nullptr);
    mRenderer->PrepareClumps();
    EXPECT_EQ(WRenderer::GetRegisteredClumpCount(), before + 3) << "no camera: the clumps wait";
    mRenderer->SetCamera(mCamera);
    RecordCameraUpdates();
    mRenderer->PrepareClumps();
    EXPECT_EQ(WRenderer::GetRegisteredClumpCount(), 0);
    EXPECT_EQ(gTrace, (std::vector<std::string>{"begin", "end"}));
    for (Clump* clump : clumps)
        Clump::Destroy(clump);
}

TEST_F(Frames, PrepareClumpsMeasuresTheMipmapKOfTheTexturesTheRegisteredClumpsUse)
{
    TextureDictionary* saved = TextureDictionary::GetCurrent();
    TextureDictionary* dictionary = TextureDictionary::Create();
    TextureDictionary::SetCurrent(dictionary);
    Texture* used = Texture::Create(Raster::Create(256, 256, 0, kRasterTypeTexture));
    Texture* unused = Texture::Create(Raster::Create(256, 256, 0, kRasterTypeTexture));
    TextureDictionary::AddTexture(dictionary, used);
    TextureDictionary::AddTexture(dictionary, unused);
    Clump* clump = MakeClump({used});
    Geometry* g = Atomics(clump)[0]->geometry;
    g->flags |= kGeometryTextured;
    g->numTexCoordSets = 1;
    g->texCoords[0] = static_cast<TexCoords*>(Memory::Allocate(3 * sizeof(TexCoords), 0x10000));
    const TexCoords uv[3] = {{0, 0}, {1, 0}, {0, 1}};
    std::memcpy(g->texCoords[0], uv, sizeof uv);
    Frame::SyncDirtyList();
    WRenderer::RegisterClump(clump);
    mRenderer->PrepareClumps();
    EXPECT_NE(MipmapKL::GetTextureKWord(used), 0) << "32768 texels on one unit triangle: far more than one a pixel";
    EXPECT_EQ(MipmapKL::GetTextureKWord(unused), 0);
    Memory::Free(g->texCoords[0]);
    g->texCoords[0] = nullptr;
    Clump::Destroy(clump);
    TextureDictionary::SetCurrent(saved);
    TextureDictionary::Destroy(dictionary);
}

// ---- The may-draw table -----------------------------------------------------------------------------

struct MayDrawCase
{
    const char* name;
    bool fullScreen;
    int32_t activeAtBegin, activeAtRender, activeAtEnd;
    int32_t beginResult;
    bool drawn, presented;
};

class MayDraw : public Frames, public ::testing::WithParamInterface<MayDrawCase>
{
protected:
    void SetUp() override { StartWithPrefs(GetParam().fullScreen ? PrefsBytes(0, 800, 600, 1, 1.0f) : std::string()); }
};

TEST_P(MayDraw, OnlyAnInactiveFullScreenWindowSkipsTheFrame)
{
    const MayDrawCase& c = GetParam();
    ASSERT_EQ((Window().flags & HbWindowState::kFullScreen) != 0, c.fullScreen);
    LoggingNode* node = Node("L0", 5.0f);
    mRenderer->AddToRenderLists(node, 0);
    // A mode change waits for the frame's end; a skipped end leaves it pending.
    const int32_t mode = c.fullScreen ? ModeIndex(800, 600, 32) : 0;
    if (c.fullScreen)
        ASSERT_EQ(mRenderer->SelectVideoMode({0, 640, 480, 1}), 1);
    const int32_t frames = mRenderer->GetFrameCounter();
    const int32_t clockFrames = HbRealClock::Instance()->mFrameCount;

    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    Window().active = c.activeAtBegin;
    EXPECT_EQ(mRenderer->BeginFrame(), c.beginResult);
    mRenderer->UpdateFrame();
    Window().active = c.activeAtRender;
    mRenderer->RenderScene();
    Window().active = c.activeAtEnd;
    mRenderer->EndFrame();
    d3d9test::EnableCallLog(false);

    EXPECT_EQ(mFx.updates, 1) << "the scene updates whatever the window";
    EXPECT_EQ(!gTrace.empty(), c.drawn);
    EXPECT_EQ(d3d9test::CountCalls("Present") > 0, c.presented);
    EXPECT_EQ(mRenderer->GetFrameCounter(), frames + 1);
    EXPECT_EQ(HbRealClock::Instance()->mFrameCount, clockFrames + 1) << "every ended frame is counted";
    if (c.fullScreen)
        EXPECT_EQ(Engine::GetCurrentVideoMode(), c.presented ? ModeIndex(640, 480, 32) : mode);
    Window().active = 1;
}

INSTANTIATE_TEST_SUITE_P(Table, MayDraw,
                         ::testing::Values(MayDrawCase{"WindowedInactive", false, 0, 0, 0, 1, true, true},
                                           MayDrawCase{"FullScreenActive", true, 1, 1, 1, 1, true, true},
                                           MayDrawCase{"FullScreenInactive", true, 0, 0, 0, 0, false, false},
                                           MayDrawCase{"InactiveAfterBegin", true, 1, 0, 1, 1, false, false},
                                           MayDrawCase{"ActiveAgainBeforeEnd", true, 0, 0, 1, 0, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A whole frame ----------------------------------------------------------------------------------------

class WholeFrame : public Frames
{
protected:
    void SetUp() override
    {
        // A window takes the size of one of the adapter's modes.
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.modes.push_back({64, 64, 60, D3DFMT_X8R8G8B8});
        StartWithPrefs(PrefsBytes(1, 64, 64, 1, 1.0f), adapter);
    }
};

TEST_F(WholeFrame, ASceneWithAWorldDrawsWhereALineQueryHitsIt)
{
    ASSERT_FALSE(Window().flags & HbWindowState::kFullScreen);
    int32_t width = 0, height = 0;
    mRenderer->BeginFrame();
    mRenderer->EndFrame(); // the preferences apply at the end of the first frame
    ASSERT_EQ(mRenderer->GetViewport()->GetFrameBuffer()->width, 64);
    const Rgba background = {0x20, 0x30, 0x40, 0xFF};
    mCamera->SetClearColor(background);

    for (int frame = 0; frame < 2; ++frame)
    {
        ASSERT_EQ(mRenderer->BeginFrame(), 1);
        mRenderer->UpdateFrame();
        mRenderer->RenderScene();
        mRenderer->EndFrame();
    }
    const std::vector<uint32_t> pixels = ReadViewport(&width, &height);
    ASSERT_EQ(width, 64);
    ASSERT_EQ(height, 64);

    // The view is mirrored in x: world x above 0 (the wall) is the left of the picture. The
    // window is 1.333333 wide at distance 1, so the wall's edge x = 0 is the middle column.
    std::vector<uint32_t> expected(pixels.size());
    const uint32_t wall = 0xFF000000u | uint32_t(kWallColour[0]) << 16 | uint32_t(kWallColour[1]) << 8 | kWallColour[2];
    const uint32_t clear = 0xFF203040u;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            const size_t i = size_t(y) * width + x;
            expected[i] = x < width / 2 ? wall : clear;
            if (x == width / 2 || x == width / 2 - 1)
                expected[i] = pixels[i]; // the edge's rasterisation is the device's
        }
    EXPECT_EQ(framecheck::CheckFrame("renderer_scene_wall", width, height, pixels, expected, 2), "");

    // Lines from the camera through the picture's left and right halves.
    const struct
    {
        float x;
        int32_t hit;
    } lines[] = {{5.0f, 1}, {12.0f, 1}, {-5.0f, 0}};
    for (const auto& line : lines)
    {
        Vector start = {0, 0, 0}, end = {line.x, 0, 2 * kWallDepth};
        W3dCollisionResult result;
        EXPECT_EQ(CollisionTestLineEx(mWorld, mWorld, &start, &end, nullptr, nullptr, &result, nullptr), line.hit)
            << line.x;
        if (line.hit)
        {
            EXPECT_NEAR(result.distance, 0.5f, 1e-4f);
            const int32_t column = int32_t((1.0f - line.x / kWallDepth / W3dCamera::kAspect) * width / 2);
            EXPECT_EQ(pixels[size_t(height / 2) * width + column], wall) << "column " << column;
        }
    }
}

} // namespace
} // namespace renderertest
