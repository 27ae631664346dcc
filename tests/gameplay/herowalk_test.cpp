// The hero played as a level plays him: the script host started as the game starts it, a
// level script that creates the hero at a mark of a world made by the writers, gives him his
// move skill and two weapons; then injected actions, read by his own states, make him walk
// forward by his animation's root motion, turn, crouch and change weapons, while the frames drawn from above show his
// skinned body where his position says. The hero's update then allocates nothing.
#include "renderer_fixture.h"
#include "walker_fixture.h"

#include "animmovectrl.h"
#include "camera.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "framecheck.h"
#include "gameplay_fixture.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbrandom.h"
#include "hbresource.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "heroinput.h"
#include "heromove.h"
#include "herostates.h"
#include "ingamecamera.h"
#include "levelwriter.h"
#include "moveanimplayerstate.h"
#include "moveskillhooks.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdanimset.h"
#include "scenariodbwriter.h"
#include "script_fixture.h"
#include "scriptinterpreter.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsactorlayer.h"
#include "tsactortyperegistry.h"
#include "tscameraregistry.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "w3danimobject.h"
#include "w3dcamera.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "walkermodel.h"
#include "weapontables.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <Python.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's allocation hooks (its runtime has them; GCC ships no header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));
#endif

namespace
{
constexpr int32_t kSize = 128;
constexpr float kView = 300.0f;
constexpr float kFloor = 400.0f;
constexpr uint8_t kFloorColour[3] = {150, 140, 100};
constexpr uint8_t kHeroColour[3] = {230, 40, 40};
constexpr uint32_t kClear = 0xFF203040u;
constexpr Vector kStart = {-150.0f, 0.0f, -150.0f};
constexpr float kStep = 0.05f;
/// The weapons' animation records lead to cells of this kind, one per animation state.
constexpr int32_t kKind = 3;
/// Root motion a second of the walk.
constexpr float kWalkSpeed = 100.0f;
/// The crouched poses turn the pelvis (and the bones above) about x by this angle.
constexpr float kCrouchDegrees = -60.0f;

/// How far ahead the arrow's tip lies with the pelvis turned by the degrees: the tip is half
/// on the root bone (at rest) and half on the pelvis, one unit up, which turns it about x.
float TipAhead(float degrees)
{
    const float r = degrees * 3.14159265f / 180.0f;
    const float onPelvis = (WalkerModel::kBodyLift - 1.0f) * std::sin(r) + WalkerModel::kArrowTip * std::cos(r);
    return 0.5f * WalkerModel::kArrowTip + 0.5f * onPelvis;
}

uint32_t Argb(const uint8_t* rgb)
{
    return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

/// Where the ladder stands: a face at z = kLadderZ over x in [kLadderX - 60, kLadderX + 60] and
/// y in [0, kPlatform], looking back along -z, with a platform behind it at y = kPlatform.
constexpr float kLadderX = 260.0f;
constexpr float kLadderZ = 250.0f;
constexpr float kPlatform = 200.0f;
/// A climbing step's rise: one step up, the platform lies 160 above the hero, 100 ahead.
constexpr float kLadderStep = 40.0f;

/// The floor at y = 0 facing up, prelit, with its collision tree; ground id 3. Far to the side,
/// a ladder (its material's third colour byte 0x80: the foot of a ladder) up to a platform of
/// the floor's colour, which seen from above is more floor.
std::vector<uint8_t> FloorBytes()
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material material;
    material.colour = {3, 0x30, 0, 255};
    GeometryDescription::Material ladder;
    ladder.colour = {3, 0x30, 0x80, 255};
    d.materials = {material, ladder};
    d.listEntries = {0, 1};
    WorldDescription::Leaf leaf;
    const float h = kFloor;
    const float x0 = kLadderX - 60.0f, x1 = kLadderX + 60.0f, z0 = kLadderZ, z1 = kLadderZ + 140.0f;
    leaf.positions = {-h, 0,         -h, h,  0,         -h, -h, 0,         h,  h,  0,         h,   // floor
                      x0, 0,         z0, x1, 0,         z0, x0, kPlatform, z0, x1, kPlatform, z0,  // ladder
                      x0, kPlatform, z0, x1, kPlatform, z0, x0, kPlatform, z1, x1, kPlatform, z1}; // platform
    for (int i = 0; i < 12; ++i)
        leaf.prelit.push_back({kFloorColour[0], kFloorColour[1], kFloorColour[2], 255});
    // The ladder's face looks along -z, toward whoever comes up to it.
    const std::vector<std::array<uint16_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3},  {4, 6, 5},
                                                            {5, 6, 7}, {8, 10, 9}, {9, 10, 11}};
    for (size_t i = 0; i < triangles.size(); ++i)
    {
        const auto& t = triangles[i];
        leaf.triangles.push_back({t[0], t[1], t[2], uint16_t(i == 2 || i == 3 ? 1 : 0)});
    }
    leaf.extension = CollisionTreeWriter::WriteExtension(CollisionTreeWriter::WritePluginData(
        CollisionTreeWriter::Build(leaf.positions, triangles, int32_t(triangles.size()))));
    d.leaves.push_back(leaf);
    d.box = {h, kPlatform + 10, h, -h, -10, -h};
    return WorldWriter::Write(d);
}

const char* const kLevelScript = "import mark, skills, actors_type\n"
                                 "from walkbridge import CreateActor, SetWalkerModel, SetPosition, AddSkill, "
                                 "AddToEquipment\n"
                                 "class Actor:\n"
                                 "    def __init__(self, name):\n"
                                 "        self.actorName = name\n"
                                 "def begin(*args):\n"
                                 "    global hero, knife, pistol\n"
                                 "    hero = Actor('hero')\n"
                                 "    CreateActor(hero, actors_type.Hero)\n"
                                 "    SetWalkerModel(hero)\n"
                                 "    SetPosition(hero, mark.GetMarkPosition('hero_start'))\n"
                                 "    AddSkill(hero, skills.MS_HEROMOVE)\n"
                                 "    knife = Actor('knife')\n"
                                 "    CreateActor(knife, actors_type.WeaponContact)\n"
                                 "    pistol = Actor('pistol')\n"
                                 "    CreateActor(pistol, actors_type.WeaponShoot)\n"
                                 "    AddToEquipment(hero, pistol, 'PISTOL')\n"
                                 "    AddToEquipment(hero, knife, 'KNIFE')\n";

// ---- The bridge: the few level-script services this test needs from the scenario module ----------

ScriptWorldManager* gWorld = nullptr;
std::vector<TsActor*> gCreated;

TsActor* ActorOf(PyObject* object)
{
    for (TsActor* actor : gCreated)
        if (actor->GetScriptObject() == object)
            return actor;
    PyErr_SetString(PyExc_TypeError, "not an actor of the level");
    return nullptr;
}

/// An actor of the registered type bound to the script object and listed (the hero first).
PyObject* CreateActor(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int type = 0;
    if (!PyArg_ParseTuple(args, "Oi:CreateActor", &object, &type))
        return nullptr;
    TsActor* actor = TsActorTypeRegistry::Instance()->Create(type);
    if (!actor)
    {
        PyErr_SetString(PyExc_TypeError, "CreateActor : unknown actor type");
        return nullptr;
    }
    actor->BindScriptObject(object);
    gCreated.push_back(actor);
    if (HbCastTo<Hero>(actor))
        gWorld->SetHero(actor);
    gWorld->AddActor(actor);
    Py_RETURN_NONE;
}

/// The skinned walker as the actor's model, its movement controller on the level's floor.
PyObject* SetWalkerModel(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:SetWalkerModel", &object))
        return nullptr;
    auto* actor = HbCastTo<TsAnimActor>(ActorOf(object));
    if (!actor)
        return nullptr;
    const std::vector<SkeletonProfileRow> profiles = {{"HIGH_PART", {"Upper_Torso", "Head"}}};
    W3dAnimObject* model = WalkerModel::CreateSkinned(&profiles, kHeroColour);
    actor->SetModel(model);
    actor->GetMoveController()->SetCollisionWorlds(gWorld->GetScene()->GetLevel()->GetCollisionWorld(), nullptr);
    Py_RETURN_NONE;
}

PyObject* SetPosition(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* at = nullptr;
    if (!PyArg_ParseTuple(args, "OO:SetPosition", &object, &at))
        return nullptr;
    TsActor* actor = ActorOf(object);
    if (!actor || !ScriptIsVertex(at))
        return actor ? (PyErr_SetString(PyExc_TypeError, "SetPosition : not a vertex"), nullptr) : nullptr;
    const auto* v = reinterpret_cast<const ScriptVertex*>(at);
    const Vector point = {v->x, v->y, v->z};
    actor->SetPosition(&point);
    Py_RETURN_NONE;
}

PyObject* AddSkill(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int id = 0;
    if (!PyArg_ParseTuple(args, "Oi:AddSkill", &object, &id))
        return nullptr;
    TsActor* actor = ActorOf(object);
    TsMotorSkill* skill = actor ? TsSkillRegistry::Instance()->CreateSkillState(id, actor, Py_None) : nullptr;
    if (!skill)
        return actor ? (PyErr_SetString(PyExc_TypeError, "AddSkill : no such skill"), nullptr) : nullptr;
    actor->GetMotorSkills()->AddSkill(skill);
    Py_RETURN_NONE;
}

/// The weapon carried under the name and taken in hand.
PyObject* AddToEquipment(PyObject*, PyObject* args)
{
    PyObject *heroObject = nullptr, *weaponObject = nullptr;
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "OOs:AddToEquipment", &heroObject, &weaponObject, &name))
        return nullptr;
    auto* hero = HbCastTo<Hero>(ActorOf(heroObject));
    TsActor* weapon = hero ? ActorOf(weaponObject) : nullptr;
    if (!weapon)
        return nullptr;
    auto* item = new TsInventoryItem();
    item->mName = name;
    item->SetActor(weapon);
    hero->GetWeaponList()->Add(item);
    hero->TakeWeapon(weapon, name);
    Py_RETURN_NONE;
}

PyMethodDef gBridge[] = {
    {"CreateActor", CreateActor, METH_VARARGS, nullptr},
    {"SetWalkerModel", SetWalkerModel, METH_VARARGS, nullptr},
    {"SetPosition", SetPosition, METH_VARARGS, nullptr},
    {"AddSkill", AddSkill, METH_VARARGS, nullptr},
    {"AddToEquipment", AddToEquipment, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

void FillBridge(PyObject* module, int32_t)
{
    PyModule_AddFunctions(module, gBridge);
}

// ---- Counting allocations ------------------------------------------------------------------------

int64_t gAllocations = 0;
bool gCounting = false;

#if defined(__SANITIZE_ADDRESS__)
void OnMalloc(const volatile void*, size_t)
{
    if (gCounting)
        ++gAllocations;
}
void OnFree(const volatile void*) {}
#endif

class HeroWalk : public renderertest::RendererTest
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
        mRenderer->EndFrame();
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime = 1000 * HbPerformanceFrequency();
        clock->mStepSeconds = 0.0f;
        WriteFiles();
        if (HasFatalFailure())
            return;
        StartScripting();
        if (HasFatalFailure())
            return;
        BindLevel();
        if (HasFatalFailure())
            return;
        Animate();
        for (const auto& [action, key] :
             {std::pair{"WIN_UP_ARROW", "VK_UP"}, std::pair{"WIN_LEFT_ARROW", "VK_LEFT"},
              std::pair{"WIN_RIGHT_ARROW", "VK_RIGHT"}, std::pair{"WIN_DOWN_ARROW", "VK_DOWN"},
              std::pair{"RUN", "VK_R"}, std::pair{"CROUCH", "VK_C"}, std::pair{"CHANGE_WEAPON", "VK_W"},
              std::pair{"LOCK", "VK_L"}, std::pair{"ROLL", "VK_O"}})
            ASSERT_TRUE(mInput.Bind(action, key)) << action;
    }

    void TearDown() override
    {
        if (mWorld)
        {
            if (Hero* hero = HbCastTo<Hero>(mWorld->GetHero()))
            {
                hero->Restart();
                hero->GetMotorSkills()->ExitCurrent();
            }
            while (mWorld->GetActors().GetHead())
                mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
            mWorld->SetHero(nullptr);
        }
        for (TsActor* actor : gCreated)
            actor->Release();
        gCreated.clear();
        AnimSetFreeAll();
        HeroActorHooksRemove();
        HeroInputReset();
        HeroRequestStacksClear();
        TsCameraRegistry::Clear();
        if (mWorld)
        {
            mWorld->StopScripting();
            mWorld->SetScene(nullptr);
            delete mWorld;
            gWorld = nullptr;
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
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        RendererTest::TearDown();
    }

    void Declare(const std::string& id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mIds.push_back(id);
    }

    void Write(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    /// The floor, the level naming it, the scenario database with the hero's mark and the
    /// level script, as loose files.
    void WriteFiles()
    {
        Write("walk_floor.bsp", FloorBytes());
        Declare("W_FLOOR_WW", "walk_floor.bsp");
        LevelDescription level;
        level.worlds = {"W_FLOOR_WW"};
        Write("walk.wl", LevelWriter::Write(level));
        Declare("W_LEVEL_WL", "walk.wl");
        ScenarioMarkEntry start;
        start.identifier = "M_HERO_START_ATTACKMARK";
        start.name = "hero_start";
        start.SetPosition(kStart.x, kStart.y, kStart.z);
        const std::vector<ScenarioSection> sections = {{1, {start}}};
        Write("walk_sce.sce", ScenarioDbWriter::Bytes(sections));
        Declare("WALK_SCE", "walk_sce.sce");
        Declare(start.identifier, "walk_sce.sce");
        Write("walk_level.py", std::vector<uint8_t>(kLevelScript, kLevelScript + std::strlen(kLevelScript)));
        Declare("WALK_LEVEL_PY", "walk_level.py");
    }

    /// The script host as the game's start-up makes it, with the bridge module.
    void StartScripting()
    {
        mWorld = new ScriptWorldManager();
        gWorld = mWorld;
        TsActorsInstall(mWorld);
        WeaponsInstall();
        MoveSkillHooksInstall();
        HeroActorHooksInstall();
        mWorld->RegisterPendingModule("walkbridge", FillBridge, 0);
        mWorld->StartScripting();
        ASSERT_EQ(mWorld->IsScriptingStarted(), 1);
    }

    /// The level in the script world's scene, the scenario's marks, a camera straight down.
    void BindLevel()
    {
        mLevel = HbCastTo<W3dLevel>(HbResourceManager::Instance()->GetResource("W_LEVEL_WL"));
        ASSERT_NE(mLevel, nullptr);
        mLevel->AddRef();
        auto* scene = new WScene();
        scene->SetLevel(mLevel);
        mWorld->SetScene(scene);
        ASSERT_EQ(mWorld->LoadScenaricData("WALK_SCE"), 1);

        mCamera = W3dCamera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef();
        scene->GetRoot()->AttachChild(mCamera);
        mRenderer->SetCamera(mCamera);
        mCamera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
        Camera* camera = mCamera->GetCamera();
        ::Frame* eye = mCamera->GetEngineFrame();
        const Vector down = {0.0f, -1.0f, 0.0f};
        FrameLookAlong(eye, &down);
        const Vector height = {0.0f, 2000.0f, 0.0f};
        ::Frame::Translate(eye, &height, kCombinePostConcat);
        Camera::SetProjection(camera, kCameraParallel);
        const Vector2 window = {kView, kView};
        Camera::SetViewWindow(camera, &window);
        Camera::SetNearClipPlane(camera, 1.0f);
        Camera::SetFarClipPlane(camera, 5000.0f);
    }

    /// The hero's animations in the animation-set cells the weapons' records name: standing,
    /// walking and running forward, crouching, and the weapon change.
    void Animate()
    {
        const struct
        {
            int32_t state;
            const char* id;
            Vector root;
            float seconds;
            float degrees;
        } anims[] = {{0, "W_STAND_ANM", {0, 0, 0}, 1.0f, 0.0f},
                     {6, "W_WALK_ANM", {0, 0, kWalkSpeed}, 1.0f, 0.0f},
                     {13, "W_RUN_ANM", {0, 0, 3 * kWalkSpeed}, 1.0f, 0.0f},
                     {14, "W_CROUCH_ANM", {0, 0, 0}, 1.0f, kCrouchDegrees},
                     {15, "W_CROUCHWALK_ANM", {0, 0, 0.6f * kWalkSpeed}, 1.0f, kCrouchDegrees},
                     {27, "W_CHANGE_ANM", {0, 0, 0}, 0.3f, 20.0f},
                     {44, "W_STOP_ANM", {0, 0, 0}, 0.2f, 0.0f},
                     {45, "W_QUICKTURN_ANM", {0, 0, 0}, 0.3f, 0.0f},
                     {51, "W_TURNL_ANM", {0, 0, 0}, 0.3f, 0.0f},
                     {52, "W_TURNR_ANM", {0, 0, 0}, 0.3f, 0.0f},
                     {1, "W_AIM_ANM", {0, 0, 0}, 1.0f, 0.0f},
                     {7, "W_AIMWALK_ANM", {0, 0, kWalkSpeed}, 1.0f, 0.0f},
                     {26, "W_ROLL_ANM", {0, 0, 2 * kWalkSpeed}, 0.5f, 0.0f},
                     {36, "W_DEATH1_ANM", {0, 0, 0}, 0.5f, 0.0f},
                     {37, "W_DEATH2_ANM", {0, 0, 0}, 0.5f, 0.0f},
                     {64, "W_LADDERSTARTUP_ANM", {0, 0, 0}, 0.3f, 0.0f},
                     {65, "W_LADDERENDUP_ANM", {0, kPlatform - kLadderStep, 100}, 0.5f, 0.0f},
                     {66, "W_LADDERUP_ANM", {0, kLadderStep, 0}, 0.3f, 0.0f},
                     {68, "W_LADDERSTANDUP_ANM", {0, 0, 0}, 1.0f, 0.0f}};
        for (const auto& a : anims)
        {
            ASSERT_NE(mAnims.Add(a.id, a.root, a.seconds, a.degrees), nullptr) << a.id;
            AnimSetAddVariant(kKind, a.state, a.id, 1, 2, 1.0f, ~0u);
            mStates.push_back(a.state);
        }
    }

    /// Each weapon's records lead to the cells of the animation states.
    void Records(TsActor* actor)
    {
        auto* weapon = HbCastTo<TsWeapon>(actor);
        ASSERT_NE(weapon, nullptr);
        for (int32_t state : mStates)
            weapon->GetAnimation(state)->SetAnimation(kKind, state);
    }

    /// One game frame as the stage runs it: the keys, the clock, the script world (the hero
    /// first), then the renderer's frame, whose scene update steps the animated models.
    void Tick(const std::string& keys, bool count = false)
    {
        for (uint8_t key : {uint8_t(0x26), uint8_t(0x25), uint8_t(0x27), uint8_t(0x28), uint8_t('R'), uint8_t('C'),
                            uint8_t('W'), uint8_t('L'), uint8_t('O')})
            mInput.Lift(key);
        for (char key : keys)
            mInput.Press(key == '^' ? 0x26 : key == '<' ? 0x25 : key == '>' ? 0x27 : key == 'v' ? 0x28 : uint8_t(key));
        mInput.Frame();
        HbGameClock* clock = HbGameClock::Instance();
        const int64_t step = int64_t(double(kStep) * double(HbPerformanceFrequency()));
        clock->mGameTime += step;
        clock->mStep = step;
        clock->mStepSeconds = kStep;
        gCounting = count;
        mWorld->Update();
        gCounting = false;
        ASSERT_EQ(mRenderer->BeginFrame(), 1);
        mRenderer->UpdateFrame();
        mRenderer->RenderScene();
        mRenderer->EndFrame();
        ::Frame::SyncDirtyList();
    }

    Hero* TheHero() { return HbCastTo<Hero>(mWorld->GetHero()); }
    Vector HeroAt() { return *TheHero()->GetNode()->GetWorldPosition(); }
    Vector HeroForward() { return ::Frame::GetWorldMatrix(TheHero()->GetNode()->GetEngineFrame())->at; }

    /// The frame read back against floor, clear colour and the arrow where the hero stands,
    /// its tip as far ahead as the pose puts it.
    void CheckFrame(const std::string& name, float tip = WalkerModel::kArrowTip)
    {
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> pixels = ReadViewport(&width, &height);
        ASSERT_EQ(width, kSize);
        const Matrix* view = ::Frame::GetWorldMatrix(mCamera->GetEngineFrame());
        const Matrix* hero = ::Frame::GetWorldMatrix(TheHero()->GetNode()->GetEngineFrame());
        auto colourAt = [&](float px, float py) -> uint32_t
        {
            const float sx = -(px / kSize * 2.0f - 1.0f) * kView;
            const float sy = -(py / kSize * 2.0f - 1.0f) * kView;
            const float wx = view->pos.x + sx * view->right.x + sy * view->up.x;
            const float wz = view->pos.z + sx * view->right.z + sy * view->up.z;
            // Into the hero's own axes (his model lies flat in them).
            const float dx = wx - hero->pos.x, dz = wz - hero->pos.z;
            const float lx = dx * hero->right.x + dz * hero->right.z;
            const float lz = dx * hero->at.x + dz * hero->at.z;
            const float back = WalkerModel::kArrowBack, half = WalkerModel::kArrowHalf;
            // Inside the triangle (-half, -back), (half, -back), (0, tip).
            const float edge = half * (tip - lz) / (tip + back);
            if (lz > -back && lz < tip && std::fabs(lx) < edge)
                return Argb(kHeroColour);
            if (std::fabs(wx) > kFloor || std::fabs(wz) > kFloor)
                return kClear;
            return Argb(kFloorColour);
        };
        const std::vector<uint32_t> expected =
            framecheck::EdgeTolerantReference(kSize, kSize, pixels, colourAt, {-1.0f, 0.0f, 1.0f});
        EXPECT_EQ(framecheck::CheckFrame(name, kSize, kSize, pixels, expected, 3), "");
    }

    WRenderer* mRenderer = nullptr;
    ScriptWorldManager* mWorld = nullptr;
    W3dLevel* mLevel = nullptr;
    W3dCamera* mCamera = nullptr;
    walkertest::Animations mAnims;
    std::vector<int32_t> mStates;
    std::vector<std::string> mIds;
    gameplaytest::Input mInput;
};

TEST_F(HeroWalk, ALevelScriptCreatesTheHeroWhoWalksTurnsCrouchesAndChangesWeapons)
{
    // The level script makes the hero at his mark with his skill and two weapons.
    mWorld->ImportScriptResource("WALK_LEVEL_PY");
    PyObject* begin = PyDict_GetItemString(scripttest::MainDict(), "begin");
    ASSERT_NE(begin, nullptr) << scripttest::TakeError();
    mWorld->SetLevelCallbacks(begin, nullptr);
    mWorld->StartLevelScript();
    ASSERT_FALSE(PyErr_Occurred()) << scripttest::TakeError();
    Hero* hero = TheHero();
    ASSERT_NE(hero, nullptr) << "the script's hero is the world's hero";
    ASSERT_EQ(gCreated.size(), 3u);
    Records(gCreated[1]);
    Records(gCreated[2]);
    EXPECT_EQ(hero->GetWeapon(), gCreated[1]) << "the knife, taken last";
    EXPECT_EQ(hero->GetWeaponList()->GetCount(), 2);
    const Vector start = HeroAt();
    EXPECT_NEAR(start.x, kStart.x, 0.01f);
    EXPECT_NEAR(start.z, kStart.z, 0.01f);

    // The stage starts: standing.
    hero->SetMaxHitPoints(100);
    hero->OnStageStart();
    for (int32_t i = 0; i < 4; ++i)
        Tick("");
    EXPECT_EQ(hero->GetStateMachine()->GetCurrentCode(), kHeroNormalWait);
    EXPECT_EQ(hero->GetMovePlayer()->GetCurrentStateIndex(), 3);
    CheckFrame("gameplay_hero_walk_start");
    const Vector still = HeroAt();
    EXPECT_NEAR(still.z, kStart.z, 0.5f) << "standing does not move him";

    // Forward (walking, RUN held): the walk's root motion carries him along +z.
    float moved = 0.0f;
    int32_t walkFrames = 0;
    Vector before = HeroAt();
    for (int32_t i = 0; i < 30; ++i)
    {
        Tick("^R");
        const Vector now = HeroAt();
        if (hero->GetMovePlayer()->GetCurrentStateIndex() == 11)
        {
            moved += now.z - before.z;
            ++walkFrames;
        }
        before = now;
    }
    EXPECT_EQ(hero->GetMovePlayer()->GetCurrentStateIndex(), 11) << "walking";
    ASSERT_GT(walkFrames, 10);
    EXPECT_NEAR(moved / (float(walkFrames) * kStep), kWalkSpeed, 0.15f * kWalkSpeed) << "the walk's root motion";
    EXPECT_GT(HeroAt().z, start.z + 100.0f);
    EXPECT_NEAR(HeroAt().x, start.x, 2.0f) << "straight ahead";
    CheckFrame("gameplay_hero_walk_forward");

    // Right and forward together: he turns to walk along the diagonal.
    for (int32_t i = 0; i < 20; ++i)
        Tick("^>R");
    const Vector forward = HeroForward();
    EXPECT_GT(std::fabs(forward.x), 0.5f) << "turned off the z axis";
    CheckFrame("gameplay_hero_walk_turned");

    // CROUCH once: crouched standing.
    for (int32_t i = 0; i < 6; ++i)
        Tick("");
    Tick("C");
    for (int32_t i = 0; i < 10; ++i)
        Tick("");
    EXPECT_EQ(HeroIsCrouched(), 1);
    EXPECT_EQ(hero->GetMovePlayer()->GetCurrentStateIndex(), 28) << "crouched";

    // CHANGE_WEAPON: the upper body plays the change and its end takes the pistol.
    Tick("W");
    bool changing = false;
    for (int32_t i = 0; i < 20; ++i)
    {
        changing = changing || hero->GetStaticPlayer()->GetCurrentStateIndex() == 23 ||
                   hero->GetStaticPlayer()->GetCurrentStateIndex() == 22;
        Tick("");
    }
    EXPECT_TRUE(changing) << "the change animation played";
    EXPECT_EQ(hero->GetWeapon(), gCreated[2]) << "the pistol in hand";
    EXPECT_EQ(hero->GetCurrentWeaponName(), "PISTOL");
    // The crouched pose bends the skinned body: its tip comes nearer.
    ASSERT_LT(TipAhead(kCrouchDegrees), WalkerModel::kArrowTip - 8.0f);
    CheckFrame("gameplay_hero_walk_crouched", TipAhead(kCrouchDegrees));

    // Back down the floor crouched, once the crouched stand that the new weapon began again
    // has held for its time (a walk asked before then gives way to the stand's end). The
    // hero's update allocates nothing while he walks: 100 frames once the walk runs.
    for (int32_t i = 0; i < 30; ++i)
        Tick(i < 5 ? "" : "vR");
    EXPECT_EQ(hero->GetStateMachine()->GetCurrentCode(), kHeroSilentMove);
    EXPECT_EQ(hero->GetMovePlayer()->GetCurrentStateIndex(), 31) << "walking crouched";
    const Vector crouchedFrom = HeroAt();
#if defined(__SANITIZE_ADDRESS__)
    static const int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    ASSERT_NE(installed, 0);
    gAllocations = 0;
    for (int32_t i = 0; i < 100; ++i)
        Tick("vR", true);
    EXPECT_EQ(gAllocations, 0) << "allocations in 100 frames of the hero's update";
#else
    for (int32_t i = 0; i < 100; ++i)
        Tick("vR");
#endif
    const Vector crouchedTo = HeroAt();
    EXPECT_NEAR(VectorDistance(&crouchedFrom, &crouchedTo), 100 * kStep * 0.6f * kWalkSpeed, 5.0f)
        << "the crouched walk's root motion";
}

/// The same world played through the states alone: the state switches of a run are kept with
/// the frame they happened in. Two tests play it, each in a fresh script host and world.
class HeroWorld : public HeroWalk
{
protected:
    /// A frame, the hero's state code noted when it changed.
    void Step(const std::string& keys, int32_t frames = 1)
    {
        for (int32_t i = 0; i < frames; ++i)
        {
            Tick(keys);
            const int32_t code = TheHero()->GetStateMachine()->GetCurrentCode();
            if (mTrace.empty() || mTrace.back().second != code)
                mTrace.push_back({mFrame, code});
            ++mFrame;
        }
    }
    /// Frames with the keys until the hero is in the state (at most the frames); whether he is.
    bool StepUntil(const std::string& keys, int32_t code, int32_t frames)
    {
        for (int32_t i = 0; i < frames && TheHero()->GetStateMachine()->GetCurrentCode() != code; ++i)
            Step(keys);
        return TheHero()->GetStateMachine()->GetCurrentCode() == code;
    }

    /// The scenario; the run's number goes into the messages.
    void Play(int32_t run);

    std::vector<std::pair<int32_t, int32_t>> mTrace;
    int32_t mFrame = 0;
};

void HeroWorld::Play(int32_t run)
{
    mWorld->ImportScriptResource("WALK_LEVEL_PY");
    PyObject* begin = PyDict_GetItemString(scripttest::MainDict(), "begin");
    ASSERT_NE(begin, nullptr) << scripttest::TakeError();
    mWorld->SetLevelCallbacks(begin, nullptr);
    mWorld->StartLevelScript();
    ASSERT_FALSE(PyErr_Occurred()) << scripttest::TakeError();
    Hero* hero = TheHero();
    ASSERT_NE(hero, nullptr);
    Records(gCreated[1]);
    Records(gCreated[2]);
    auto* profile = new GameProfile();
    GameStateManager::Instance()->SetProfile(profile);
    // The follow camera, current, for the aiming states (the frames are drawn from above).
    CameraFollow* follow = CameraFollow::Create();
    ASSERT_NE(follow, nullptr);
    const int32_t followId = TsCameraRegistry::AddCamera(follow, mWorld->GetScene());
    TsCameraRegistry::SetCurrentCamera(followId);
    mRenderer->SetCamera(mCamera);
    // In front of the ladder, a few steps away; every run draws the same numbers.
    const Vector start = {kLadderX, 0.0f, -60.0f};
    hero->SetPosition(&start);
    HbRandom::Instance()->GameState() = 12345u;
    hero->SetMaxHitPoints(100);
    hero->OnStageStart();

    Step("", 4);
    Step("^R", 10); // walking
    CheckFrame("gameplay_hero_world_walk");
    Step("", 10);
    Step("^", 6); // running a short while, then released: no braking
    EXPECT_EQ(hero->GetMovePlayer()->GetCurrentStateIndex(), 26) << "running";
    Step("", 10);
    Step("L", 6); // aiming
    CheckFrame("gameplay_hero_world_aim");
    Step("L^", 10); // walking while aiming
    Step("", 10);
    Step("O", 1); // the roll, to its end
    Step("", 30);
    // On to the ladder's foot.
    EXPECT_TRUE(StepUntil("^R", kHeroLadderUpStart, 120));
    EXPECT_TRUE(StepUntil("", kHeroLadderStand, 60));
    CheckFrame("gameplay_hero_world_ladder");
    EXPECT_TRUE(StepUntil("^", kHeroNormalWait, 300)) << "climbed to the top";
    Step("", 10);
    // Killed: the fall ends the game.
    TsSendEvent hit;
    hit.id = Hero::kEventHit;
    hit.target = hero;
    hit.value = 1000.0f;
    mWorld->QueueEvent(hit);
    Step("", 1);
    Step("", 40);
    CheckFrame("gameplay_hero_world_dead");
    EXPECT_EQ(profile->gameOverRequest, 1);

    const Vector top = HeroAt();
    EXPECT_NEAR(top.y, kPlatform, 0.5f) << "up on the platform";
    EXPECT_GT(top.z, kLadderZ);

    // {frame, state}: walk, stand, a short run, stand, aim, aim walking, walk, stand, roll,
    // stand, walk to the ladder, its foot, on it, a step up, the top, stand (the stick's last
    // push walks a few frames), death.
    const std::vector<std::pair<int32_t, int32_t>> golden = {
        {0, 1},  {5, 2},  {18, 1},    {25, 2},    {34, 1},    {40, 9},    {47, 10}, {56, 2},  {60, 1},  {66, 13},
        {76, 1}, {98, 2}, {102, 192}, {109, 256}, {111, 160}, {116, 208}, {126, 1}, {127, 2}, {131, 1}, {138, 15},
    };
    EXPECT_EQ(mTrace, golden) << "run " << run;

    TsCameraRegistry::SetCurrentCamera(-1);
    GameStateManager::Instance()->SetProfile(nullptr);
}

TEST_F(HeroWorld, TheHeroWalksRunsAimsRollsClimbsAndDiesAsTheGoldenTraceSays)
{
    Play(1);
}

TEST_F(HeroWorld, ASecondRunGivesTheSameTrace)
{
    Play(2);
}

} // namespace
