// A level from one pack archive played for ten seconds of game time: a soldier finds a path
// over the level's graph and walks it by root motion through its move player (the test
// steers it where its movement skill would), then slides along the level's wall; the level
// script plays two effects, throws debris where a crate stood and dirties the crate stack,
// whose top crate falls, bounces and rests. The last frame is read back against a picture
// worked out here from where everything ended.
#include "fx_fixture.h"
#include "renderer_fixture.h"
#include "walker_fixture.h"

#include "animmovectrl.h"
#include "camera.h"
#include "clumpwriter.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "framecheck.h"
#include "fx3d.h"
#include "fx3dtype.h"
#include "fxbody.h"
#include "fxcontext.h"
#include "fxfade.h"
#include "fxphysics.h"
#include "fxservices.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbresource.h"
#include "kemitter.h"
#include "kfxmanagerimp.h"
#include "kparticle.h"
#include "levelwriter.h"
#include "moveanimplayerstate.h"
#include "navgraphwriter.h"
#include "raster.h"
#include "rdanimchannel.h"
#include "rdanimset.h"
#include "script_fixture.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "tsastarpathfinder.h"
#include "tsheroactor.h"
#include "tssenses.h"
#include "w3danimobject.h"
#include "w3dcamera.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "w3dobject.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wvectorutil.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using walkertest::kAllProfile;

constexpr int32_t kSize = 128;
/// Half the side of the square the camera sees, looking straight down.
constexpr float kView = 600.0f;
constexpr float kFloor = 500.0f;
/// The wall across the floor at x = 400, facing -x, 300 high.
constexpr float kWallX = 400.0f;
constexpr uint8_t kFloorColour[3] = {150, 140, 100};
constexpr uint8_t kWallColour[3] = {90, 90, 200};
constexpr uint8_t kCrateColour[3] = {120, 70, 30};
constexpr uint8_t kMarkerColour[3] = {230, 120, 30};
constexpr uint8_t kDebrisColour[3] = {240, 240, 60};
constexpr uint32_t kClear = 0xFF203040u;
constexpr float kCrateHalf = 20.0f;
constexpr float kCrateHeight = 40.0f;
constexpr float kMarkerHalf = 30.0f;
/// The two effects: a square particle of their colour, 60 across, where the script plays them.
struct Effect
{
    int32_t id;
    Vector at;
    uint8_t colour[3];
};
const Effect kEffects[] = {{44, {-420.0f, 60.0f, -420.0f}, {220, 30, 30}},
                           {45, {-420.0f, 60.0f, 420.0f}, {40, 60, 230}}};
constexpr float kEffectHalf = 30.0f;
/// The soldier's start and goal: the straight line between them leaves the graph, an L of two cells.
constexpr Vector kStart = {-200.0f, 0.0f, 200.0f};
constexpr Vector kGoal = {200.0f, 0.0f, -200.0f};
const std::vector<NavRect> kCells = {{-300, 300, -100, -300}, {-100, -100, 300, -300}};
/// Where the hero stands, ahead of the soldier at the end of its slide along the wall.
constexpr Vector kHeroAt = {300.0f, 0.0f, 350.0f};
/// The crate stack and a crate standing alone (a crate's origin is its bottom's centre).
constexpr Vector kStack = {0.0f, 0.0f, 300.0f};
constexpr Vector kAlone = {200.0f, 0.0f, 300.0f};
/// The weapon's animation state of the walk and the animation-set cell it leads to.
constexpr int32_t kWalkState = 20;
constexpr int32_t kKind = 3;
constexpr int32_t kWalkCell = 7;
constexpr int32_t kWalkSlot = 2;
constexpr float kStep = 0.05f;

const char* const kLevelScript = "import __main__\n"
                                 "import fx, fx3d, physic\n"
                                 "def begin(*args):\n"
                                 "    fx.ContextReset()\n"
                                 "    fx.SetPosition(vertex(-420.0, 60.0, -420.0))\n"
                                 "    fx.Play(44)\n"
                                 "    fx.SetPosition(vertex(-420.0, 60.0, 420.0))\n"
                                 "    fx.Play(45)\n"
                                 "    fx3d.Reserve(fx3d.FX3D_TYPE_BOX, ('B_DEBRIS_WO',))\n"
                                 "    for crate in (__main__.crate_top, __main__.crate_alone):\n"
                                 "        physic.Register(crate)\n"
                                 "def blast(*args):\n"
                                 "    fx3d.Play(fx3d.FX3D_TYPE_BOX, ('B_DEBRIS_WO',), None, 0.0, 20.0, 300.0, 0.0)\n"
                                 "    physic.SetDirty(__main__.crate_base)\n";

uint32_t Argb(const uint8_t* rgb)
{
    return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

/// The floor at y = 0 facing up and the wall at x = 400 facing -x, prelit, with their
/// collision tree; ground id 3, no surface flags.
std::vector<uint8_t> LevelWorldBytes()
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material material;
    material.colour = {3, 0x30, 0, 255};
    d.materials = {material};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    const float h = kFloor;
    leaf.positions = {-h,     0, -h, h,      0, -h, -h,     0,   h,  h,      0,   h,
                      kWallX, 0, -h, kWallX, 0, h,  kWallX, 300, -h, kWallX, 300, h};
    for (int i = 0; i < 8; ++i)
    {
        const uint8_t* c = i < 4 ? kFloorColour : kWallColour;
        leaf.prelit.push_back({c[0], c[1], c[2], 255});
    }
    const std::vector<std::array<uint16_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}};
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {h, 310, h, -h, -10, -h};
    return WorldWriter::Write(d);
}

/// A prelit box over x, z in [-half, half] and y in [0, height]; a height of 0 is a square
/// facing up.
std::vector<uint8_t> BoxBytes(float half, float height, float lift, const uint8_t* rgb)
{
    GeometryDescription g;
    GeometryDescription::MorphTarget target;
    const float y0 = lift, y1 = lift + height;
    target.positions = {-half, y1, -half, half, y1, -half, -half, y1, half, half, y1, half,
                        -half, y0, -half, half, y0, -half, -half, y0, half, half, y0, half};
    g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    if (height > 0.0f)
        g.triangles.insert(g.triangles.end(), {{4, 5, 6, 0},
                                               {5, 7, 6, 0},
                                               {0, 1, 4, 0},
                                               {1, 5, 4, 0},
                                               {2, 6, 3, 0},
                                               {3, 6, 7, 0},
                                               {0, 4, 2, 0},
                                               {2, 4, 6, 0},
                                               {1, 3, 5, 0},
                                               {3, 7, 5, 0}});
    else
        target.positions.resize(12);
    g.numVertices = int32_t(target.positions.size() / 3);
    target.sphere = {0, (y0 + y1) / 2, 0, std::sqrt(2 * half * half + height * height / 4) + 0.01f};
    g.format = kGeometryPositions | kGeometryPrelit;
    g.prelit.assign(size_t(g.numVertices), {rgb[0], rgb[1], rgb[2], 255});
    g.targets = {target};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    ClumpDescription c;
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {g};
    c.atomics = {ClumpDescription::Atomic{}};
    return ClumpWriter::Write(c);
}

/// A crate the scripts know by name: its node a copy of the crate model.
class Crate : public TsActor
{
public:
    explicit Crate(W3dNode* node) { mNode = node; }
    ~Crate() override
    {
        RemoveNodeFromParent();
        if (mNode)
            mNode->Release();
    }
};

class LevelState : public GameState
{
public:
    LevelState() : GameState(0) {}
    void Leave() override {}
    void Update() override {}
};

class LevelBatch : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        d3d9test::AdapterConfig adapter = renderertest::Adapter();
        adapter.modes.push_back({kSize, kSize, 60, D3DFMT_X8R8G8B8});
        renderertest::WriteFile("vprefs.dat", renderertest::PrefsBytes(1, kSize, kSize, 1, 1.0f));
        mRenderer = Started({adapter});
        if (HasFatalFailure())
            return;
        mRenderer->BeginFrame();
        mRenderer->EndFrame(); // the preferences apply at the end of the first frame
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime = 1000 * HbPerformanceFrequency();
        clock->mStepSeconds = 0.0f;

        WritePack();
        if (HasFatalFailure())
            return;
        StartScripts();
        if (HasFatalFailure())
            return;
        BindLevel();
        if (HasFatalFailure())
            return;
        StartEffects();
    }

    void TearDown() override
    {
        if (mWorld)
            mWorld->SetHero(nullptr);
        if (mHero)
            mHero->Release();
        if (mSoldier)
            mSoldier->Release();
        if (mWeapon)
            mWeapon->Release();
        for (Crate* crate : mCrates)
            crate->Release();
        FxServicesShutdown();
        FxContextGet()->Reset();
        AnimSetFreeAll();
        GameStateManager::Instance()->SetCurrentState(nullptr);
        if (mState)
        {
            mState->SetProfile(nullptr);
            mState->Release();
        }
        if (mWorld)
        {
            while (mWorld->GetActors().GetHead())
                mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
            mWorld->SetScene(nullptr);
            delete mWorld;
        }
        if (mRenderer)
        {
            mRenderer->SetCamera(nullptr);
            mRenderer->ReleaseScene();
        }
        if (mCamera)
            mCamera->Release();
        if (mLevel)
            mLevel->Release();
        if (ScriptInterpreter::IsStarted())
        {
            EXPECT_FALSE(PyErr_Occurred()) << scripttest::TakeError();
            scripttest::Exec("for name in [n for n in globals() if not n.startswith('__')]: del globals()[name]");
            PyDict_DelItemString(PyImport_GetModuleDict(), "batch_level");
            for (const char* name : {"fx", "fx3d", "physic"})
                PyDict_DelItemString(PyImport_GetModuleDict(), name);
            PyErr_Clear();
        }
        ScriptInterpreter::SetLogFiles(nullptr, nullptr);
        if (mScriptLog)
            HbFileClose(mScriptLog);
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        HbPackSet* packs = HbPackSet::Instance();
        while (packs->GetMountedCount() > 0)
            packs->Unmount(nullptr);
        packs->SetEnabled(0);
        packs->SetDiskFallback(0);
        RendererTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// The level's world, level, graph, models and script in one pack.
    void WritePack()
    {
        LevelDescription level;
        level.worlds = {"B_LEVEL_WW"};
        const std::vector<uint8_t> script(kLevelScript, kLevelScript + std::strlen(kLevelScript));
        struct Entry
        {
            const char* id;
            const char* path;
            std::vector<uint8_t> bytes;
        };
        const Entry entries[] = {
            {"B_LEVEL_WW", "levels\\batch\\level.bsp", LevelWorldBytes()},
            {"B_LEVEL_WL", "levels\\batch\\batch.wl", LevelWriter::Write(level)},
            {"B_NAV_AS", "levels\\batch\\batch.as", NavGraphWriter::Bytes(NavGraphWriter::FromRectangles(kCells))},
            {"B_CRATE_WO", "levels\\batch\\crate.dff", BoxBytes(kCrateHalf, kCrateHeight, 0.0f, kCrateColour)},
            {"B_MARKER_WO", "levels\\batch\\marker.dff", BoxBytes(kMarkerHalf, 0.0f, 100.0f, kMarkerColour)},
            {"B_DEBRIS_WO", "levels\\batch\\debris.dff", BoxBytes(6.0f, 4.0f, 0.0f, kDebrisColour)},
            {"B_LEVEL_PY", "levels\\batch\\batch_level.py", script},
        };
        HbPackArchive writer;
        ASSERT_NE(writer.Open("batch.pak", "wb"), nullptr);
        for (const Entry& e : entries)
        {
            ASSERT_EQ(writer.AddEntry(e.path, e.bytes.data(), e.bytes.size()), 1) << e.path;
            Declare(e.id, e.path);
        }
        writer.Close();
        HbPackSet* packs = HbPackSet::Instance();
        ASSERT_EQ(packs->Mount("batch.pak"), 1);
        packs->SetEnabled(1);
        packs->SetDiskFallback(1); // the walker's animations are loose files
    }

    /// The interpreter with the modules fx, fx3d and physic, and a script world of the test's.
    void StartScripts()
    {
        mScriptLog = HbFileWrapCrt(std::tmpfile());
        ASSERT_NE(mScriptLog, nullptr);
        ScriptInterpreter::SetLogFiles(mScriptLog, mScriptLog);
        ASSERT_EQ(ScriptInterpreter::Start(), 1);
        const struct
        {
            const char* name;
            void (*fill)(PyObject*, int32_t);
        } modules[] = {{"fx", FxModuleFill}, {"fx3d", Fx3dModuleFill}, {"physic", PhysicsModuleFill}};
        for (const auto& m : modules)
        {
            PyObject* module = PyModule_New(m.name);
            m.fill(module, 0);
            PyDict_SetItemString(PyImport_GetModuleDict(), m.name, module);
            Py_DECREF(module);
        }
        mWorld = new ScriptWorldManager();
    }

    /// The level from the pack in a scene of the script world, the game state naming it (the
    /// effects find their ground through it), a camera looking straight down from 2000 up.
    void BindLevel()
    {
        mLevel = HbCastTo<W3dLevel>(HbResourceManager::Instance()->GetResource("B_LEVEL_WL"));
        ASSERT_NE(mLevel, nullptr);
        mLevel->AddRef();
        ASSERT_NE(mLevel->GetMainWorld(), nullptr);
        auto* scene = new WScene();
        scene->SetLevel(mLevel);
        mWorld->SetScene(scene);
        ASSERT_EQ(mRenderer->GetScene(), scene);
        ASSERT_EQ(mWorld->LoadAStar("B_NAV_AS"), 1);
        mProfile = new GameProfile();
        mProfile->levelHandle.Assign(mLevel);
        mState = new LevelState();
        mState->AddRef();
        mState->SetProfile(mProfile);
        GameStateManager::Instance()->SetCurrentState(mState);

        mCamera = W3dCamera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef();
        scene->GetRoot()->AttachChild(mCamera);
        mRenderer->SetCamera(mCamera);
        mCamera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
        Camera* camera = mCamera->GetCamera();
        Frame* eye = mCamera->GetEngineFrame();
        const Vector down = {0.0f, -1.0f, 0.0f};
        FrameLookAlong(eye, &down);
        const Vector height = {0.0f, 2000.0f, 0.0f};
        Frame::Translate(eye, &height, kCombinePostConcat);
        Camera::SetProjection(camera, kCameraParallel);
        const Vector2 window = {kView, kView};
        Camera::SetViewWindow(camera, &window);
        Camera::SetNearClipPlane(camera, 1.0f);
        Camera::SetFarClipPlane(camera, 5000.0f);
    }

    /// The two effects' definitions (one opaque square particle each), the debris types and
    /// the physics' constants, as the game's start-up and stage entry set them.
    void StartEffects()
    {
        KfxSetSharedSeed(1);
        FxServicesInstall();
        KfxManagerImp& manager = KfxManagerImp::Instance();
        manager.SetDefinitionCount(kFxEffectCount);
        for (const Effect& effect : kEffects)
        {
            manager.LoadDefinition(effect.id, FxEffectScriptName(effect.id));
            char body[256];
            std::snprintf(body, sizeof body,
                          "Group AFTERCHARACTER MaxPrt 1 PrtLife 100 SrcBlend vzBLENDONE DstBlend vzBLENDZERO "
                          "SECTION EMT { SIZE { X %g Y %g } COLOR { X %d Y %d Z %d } }",
                          double(2 * kEffectHalf), double(2 * kEffectHalf), effect.colour[0], effect.colour[1],
                          effect.colour[2]);
            auto parsed = fxtest::ParseBody(body);
            ASSERT_EQ(parsed.result, 1) << parsed.report;
            auto* c = new KEmitterClass();
            ASSERT_TRUE(c->Build(*parsed.def));
            manager.GetDefinition(effect.id)->AddClass(c);
        }
        manager.AssignRenderLists();
        FxContextGet()->Reset();
        Fx3dFillTypes();
        PhysicsSetGravity();
    }

    /// A crate placed on the floor (or on another) and listed; its script object is a str
    /// of its name in __main__.
    Crate* AddCrate(const char* name, Vector at)
    {
        auto* node = HbCastTo<W3dObject>(HbResourceManager::Instance()->GetResource("B_CRATE_WO"));
        EXPECT_NE(node, nullptr);
        if (!node)
            return nullptr;
        node->AddRef();
        mWorld->GetScene()->GetRoot()->AttachChild(node);
        auto* crate = new Crate(node);
        crate->AddRef();
        crate->SetPosition(&at);
        PyObject* script = PyUnicode_FromString(name);
        crate->SetScriptObject(script);
        PyDict_SetItemString(scripttest::MainDict(), name, script);
        Py_DECREF(script);
        mWorld->AddActor(crate);
        mCrates.push_back(crate);
        return crate;
    }

    /// The soldier: a walker holding a knife whose walk record leads to the walk animation,
    /// its move player holding one looping walk that moves it along the direction given and
    /// slides it along walls, and a marker square over it.
    void AddSoldier()
    {
        ASSERT_NE(mAnims.Add("B_WALK_ANM", {0, 0, 120}), nullptr);
        AnimSetAddVariant(kKind, kWalkCell, "B_WALK_ANM", 1, 2, 1.0f, ~0u);
        mSoldier = walkertest::MakeWalker();
        ASSERT_NE(mSoldier, nullptr);
        mSoldier->mFamily = HeroEnemyFamily;
        PyObject* script = PyUnicode_FromString("soldier");
        mSoldier->SetScriptObject(script);
        Py_DECREF(script);
        mSoldier->SetPosition(&kStart);
        mWeapon = new walkertest::ContactWeapon();
        mWeapon->AddRef();
        mWeapon->GetAnimation(kWalkState)->SetAnimation(kKind, kWalkCell);
        mSoldier->SetWeapon(mWeapon);
        mWorld->AddActor(mSoldier);

        auto* marker = HbCastTo<W3dObject>(HbResourceManager::Instance()->GetResource("B_MARKER_WO"));
        ASSERT_NE(marker, nullptr);
        static_cast<W3dAnimObject*>(mSoldier->GetNode())->AttachNode(marker, AnimMoveCtrl::kRootBone);

        AnimMoveCtrl* controller = mSoldier->GetMoveController();
        ASSERT_NE(controller, nullptr);
        controller->SetCollisionWorlds(mLevel->GetCollisionWorld(), nullptr);
        AnimPlayerStateMachine* player = mSoldier->GetMovePlayer();
        player->Init(4, mSoldier, 0);
        AnimPlayerStateDesc desc;
        desc.value = kWalkSlot;
        desc.actor = mSoldier;
        desc.machine = player;
        desc.animState = kWalkState;
        desc.boneProfile = kAllProfile;
        desc.playKind = 1;
        MoveAnimPlayerState* walk = MoveAnimPlayerState::Allocate();
        walk->Init(desc);
        walk->mMoveMode = AnimMoveCtrl::kModeWalls;
        walk->mMoveFlags = AnimMoveCtrl::kAlongDirection | AnimMoveCtrl::kSlideWalls;
        player->SetState(kWalkSlot, walk);
        mWalk = walk;
    }

    /// One game frame as the stage runs it: the clock, the debris and the physics, the script
    /// world, then the renderer's frame, whose scene update steps the animated models.
    void Tick(const Vector* direction)
    {
        HbGameClock* clock = HbGameClock::Instance();
        const int64_t step = int64_t(double(kStep) * double(HbPerformanceFrequency()));
        clock->mGameTime += step;
        clock->mStep = step;
        clock->mStepSeconds = kStep;
        FxServicesTick();
        FxServicesStageStep();
        mWorld->Update();
        // Where the movement skill would steer: the direction, then the move player.
        if (direction)
            mSoldier->GetMoveController()->SetDirection(direction);
        mSoldier->GetMovePlayer()->Update();
        ASSERT_EQ(mRenderer->BeginFrame(), 1);
        mRenderer->UpdateFrame();
        mRenderer->RenderScene();
        mRenderer->EndFrame();
        ::Frame::SyncDirtyList();
    }

    /// The hero, standing in the open where the soldier's slide ends (no drawn model).
    void AddHero()
    {
        mHero = new TsHeroActor();
        mHero->AddRef();
        mHero->SetModel(W3dAnimObject::Create());
        mHero->mFamily = HeroFamily;
        mHero->SetPosition(&kHeroAt);
        PyObject* script = PyUnicode_FromString("hero");
        mHero->SetScriptObject(script);
        Py_DECREF(script);
        mWorld->SetHero(mHero);
    }

    Vector SoldierAt() { return *mSoldier->GetNode()->GetWorldPosition(); }

    std::vector<uint32_t> ReadFrame()
    {
        int32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadViewport(&width, &height);
        EXPECT_EQ(width, kSize);
        EXPECT_EQ(height, kSize);
        return pixels;
    }

    WRenderer* mRenderer = nullptr;
    HbFile* mScriptLog = nullptr;
    ScriptWorldManager* mWorld = nullptr;
    W3dLevel* mLevel = nullptr;
    W3dCamera* mCamera = nullptr;
    GameProfile* mProfile = nullptr;
    LevelState* mState = nullptr;
    walkertest::Animations mAnims;
    walkertest::Walker* mSoldier = nullptr;
    TsHeroActor* mHero = nullptr;
    walkertest::ContactWeapon* mWeapon = nullptr;
    MoveAnimPlayerState* mWalk = nullptr;
    std::vector<Crate*> mCrates;
    std::vector<std::string> mIds;
};

float Horizontal(const Vector& a, const Vector& b)
{
    return std::hypot(a.x - b.x, a.z - b.z);
}

TEST_F(LevelBatch, ASoldierWalksItsPathAndSlidesWhileTheLevelScriptBlastsACrateStack)
{
    Crate* base = AddCrate("crate_base", kStack);
    Crate* top = AddCrate("crate_top", {kStack.x, kStack.y + kCrateHeight, kStack.z});
    Crate* alone = AddCrate("crate_alone", kAlone);
    ASSERT_TRUE(base && top && alone);
    AddSoldier();
    if (HasFatalFailure())
        return;
    AddHero();
    ::Frame::SyncDirtyList();

    // The level script comes from the pack; its start plays the effects and registers the
    // crates that may fall.
    mWorld->ImportScriptResource("B_LEVEL_PY");
    PyObject* begin = PyDict_GetItemString(scripttest::MainDict(), "begin");
    ASSERT_NE(begin, nullptr) << "the level script was imported";
    mWorld->SetLevelCallbacks(begin, nullptr);
    mWorld->StartLevelScript();
    ASSERT_FALSE(PyErr_Occurred()) << scripttest::TakeError();
    EXPECT_EQ(PhysicsIdleCount(), 2);
    FxServicesStageEnter();
    EXPECT_GT(Fx3dAllocatedCount("B_DEBRIS_WO"), 0);

    // The path over the level's graph turns the corner of the L.
    auto* graph = HbCastTo<TsAStarPathfinder>(mWorld->GetAStar());
    ASSERT_NE(graph, nullptr);
    ASSERT_EQ(graph->FindPath(kStart, kGoal), 1);
    const std::vector<Vector> path = graph->GetPath();
    ASSERT_GE(path.size(), 2u);
    EXPECT_LT(Horizontal(path.back(), kGoal), 1.0f);
    EXPECT_EQ(graph->IsStraightWalkable(kStart, kGoal), 0);

    // Walk it, steering at the next waypoint; the move player's walk moves the soldier.
    mSoldier->GetMovePlayer()->SetRequest(kWalkSlot, 0);
    size_t next = 0;
    int32_t frames = 0;
    float walked = 0.0f;
    bool blasted = false;
    float topStart = 0.0f, topLowest = 1e9f, topLast = 0.0f;
    int32_t topBounces = 0;
    bool topFalling = false;
    int32_t debrisLive = 0;
    Vector debrisStart = {0, 0, 0};
    float debrisMoved = 0.0f;
    auto watchStack = [&]
    {
        const float y = top->GetNode()->GetWorldPosition()->y;
        if (topFalling && y > topLast + 0.01f)
            ++topBounces;
        topFalling = y < topLast - 0.01f ? true : (y > topLast + 0.01f ? false : topFalling);
        topLast = y;
        topLowest = std::min(topLowest, y);
        if (Fx3dLaunchCount() > 0 && Fx3dPieceCount(0) > 0)
        {
            debrisLive = std::max(debrisLive, Fx3dPieceCount(0));
            debrisMoved =
                std::max(debrisMoved, Horizontal(*Fx3dPieceNode(0, 0)->GetWorldPosition(), debrisStart) +
                                          std::fabs(Fx3dPieceNode(0, 0)->GetWorldPosition()->y - debrisStart.y));
        }
    };
    for (; next < path.size() && frames < 400; ++frames)
    {
        const Vector at = SoldierAt();
        EXPECT_EQ(graph->IsPointOnGraph(at), 1) << "frame " << frames << " at " << at.x << ", " << at.z;
        Vector towards = {path[next].x - at.x, 0.0f, path[next].z - at.z};
        const float left = std::hypot(towards.x, towards.z);
        if (left < 4.0f)
        {
            ++next;
            continue;
        }
        Tick(&towards);
        walked += mSoldier->GetMoveController()->GetLastDistance();
        if (frames == 20)
        {
            // The script blows the stack's base away: debris where it stood, the crate above
            // it woken; the base itself is gone.
            topStart = topLast = top->GetNode()->GetWorldPosition()->y;
            ASSERT_EQ(scripttest::Exec("blast()"), "");
            debrisStart = {kStack.x, 20.0f, kStack.z};
            base->RemoveNodeFromParent();
            blasted = true;
        }
        if (blasted)
            watchStack();
    }
    ASSERT_EQ(next, path.size()) << "the soldier reached every waypoint";
    EXPECT_LT(Horizontal(SoldierAt(), kGoal), 8.0f);
    EXPECT_EQ(mSoldier->GetMovePlayer()->GetCurrentStateIndex(), kWalkSlot);
    auto* channel = HbCastTo<RdAnimChannel>(mWalk->mChannel.GetObject());
    ASSERT_NE(channel, nullptr);
    EXPECT_STREQ(channel->GetAnimation()->GetName().c_str(), "B_WALK_ANM") << "the weapon's record's variant";
    // 120 units a second of root motion, every frame.
    EXPECT_NEAR(walked / (float(frames - int32_t(path.size())) * kStep), 120.0f, 12.0f);

    // Then diagonally into the wall: the walk slides along it instead of stopping.
    const Vector arrival = SoldierAt();
    const Vector diagonal = {1.0f, 0.0f, 1.0f};
    bool hitWall = false;
    for (int32_t i = 0; i < 60; ++i)
    {
        Tick(&diagonal);
        hitWall = hitWall || (mSoldier->GetMoveController()->GetFlags() & AnimMoveCtrl::kHitWall);
        watchStack();
    }
    const Vector end = SoldierAt();
    EXPECT_TRUE(hitWall);
    EXPECT_LT(end.x, kWallX) << "never through the wall";
    EXPECT_GT(end.x, kWallX - 80.0f) << "up against it";
    EXPECT_GT(end.z - arrival.z, 150.0f) << "slid along the wall";
    // At the end of the slide the hero, the world's hero, stands ahead in the open.
    ASSERT_EQ(mWorld->GetHero(), mHero);
    EXPECT_EQ(TsActorSeesActor(mSoldier, mHero), 1);

    // The debris flew and went after its two seconds; the top crate fell onto the floor,
    // bounced and rests there; the crate alone never moved.
    EXPECT_EQ(debrisLive, 6);
    EXPECT_GT(debrisMoved, 5.0f);
    EXPECT_EQ(Fx3dLaunchCount(), 0);
    EXPECT_NEAR(topStart, kStack.y + kCrateHeight, 0.01f);
    EXPECT_LT(topLowest, topStart - 15.0f);
    EXPECT_GE(topBounces, 1);
    EXPECT_EQ(PhysicsBodyState(top->GetNode()), FxBody::kRemoved) << "at rest";
    EXPECT_NEAR(top->GetNode()->GetWorldPosition()->y, 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(alone->GetNode()->GetWorldPosition()->y, kAlone.y);

    // The last frame: floor, crate tops, the soldier's marker and the two effects; the
    // picture is mirrored in x against the camera's right vector, its top along up.
    const std::vector<uint32_t> pixels = ReadFrame();
    ASSERT_EQ(pixels.size(), size_t(kSize) * kSize);
    const Matrix* view = ::Frame::GetWorldMatrix(mCamera->GetEngineFrame());
    struct Square
    {
        float x, z, half;
        uint32_t colour;
    };
    std::vector<Square> squares;
    for (const Effect& effect : kEffects)
        squares.push_back({effect.at.x, effect.at.z, kEffectHalf, Argb(effect.colour)});
    squares.push_back({end.x, end.z, kMarkerHalf, Argb(kMarkerColour)});
    for (Crate* crate : {top, alone})
    {
        const Vector* p = crate->GetNode()->GetWorldPosition();
        squares.push_back({p->x, p->z, kCrateHalf, Argb(kCrateColour)});
    }
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        const float sx = -(px / kSize * 2.0f - 1.0f) * kView;
        const float sy = -(py / kSize * 2.0f - 1.0f) * kView;
        const float wx = view->pos.x + sx * view->right.x + sy * view->up.x;
        const float wz = view->pos.z + sx * view->right.z + sy * view->up.z;
        for (const Square& s : squares)
            if (std::fabs(wx - s.x) < s.half && std::fabs(wz - s.z) < s.half)
                return s.colour;
        if (std::fabs(wx) > kFloor || std::fabs(wz) > kFloor)
            return kClear;
        return Argb(kFloorColour);
    };
    // Edges are the device's to rasterise: pixels whose neighbourhood changes colour are
    // taken as drawn.
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(kSize, kSize, pixels, colourAt, {-1.0f, 0.0f, 1.0f});
    EXPECT_EQ(framecheck::CheckFrame("actors_level_batch", kSize, kSize, pixels, expected, 3), "");
}

} // namespace
