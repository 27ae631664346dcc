// A small world from the writers: a tank drives a path of the level's scenario database under
// a behaviour script, turns its turret to the hero and fires its cannon and machine gun; a door
// set up from its parameter file opens when an event box's action asks its script, and the
// hero walks through the doorway. Moments of both are drawn as a map from above (the floor,
// the tank with its barrel, the hero, the wall and the door leaf as rectangles), checked
// against a map painted on the processor; the frames are saved.
#include "animmovectrl.h"
#include "camera.h"
#include "eventboxwriter.h"
#include "frame.h"
#include "framecheck.h"
#include "frameobject.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "mdfwriter.h"
#include "mobiledof.h"
#include "moveblendtables.h"
#include "movedof.h"
#include "moveskillhooks.h"
#include "navgraphwriter.h"
#include "panzermove.h"
#include "raster.h"
#include "rdanim.h"
#include "rdanimmotor.h"
#include "rdanimset.h"
#include "scenaricmodule.h"
#include "scenaricmodule_fixture.h"
#include "scenariodbwriter.h"
#include "scene_fixture.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "skeletonwriter.h"
#include "tsanimactor.h"
#include "tsastarpathfinder.h"
#include "tseventboxes.h"
#include "tsmarksystem.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "uisupport.h"
#include "w2dimagesurface.h"
#include "w2dsurfacelist.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dobject.h"
#include "walkermodel.h"
#include "watomicowner.h"
#include "weaponshoot.h"
#include "wscene.h"
#include "yoeventbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace
{
constexpr int32_t kKind = 3;
constexpr float kDt = 0.05f;
constexpr float kDriveSpeed = 150.0f; // units per second of the drive animation

/// Driven on flat ground: the ground snap moves it by the step.
class Tank : public TsAnimActor
{
public:
    int32_t SnapToGround(const Vector* offset) override
    {
        if (offset)
            ::Frame::Translate(GetNode()->GetEngineFrame(), offset, kCombinePostConcat);
        return 1;
    }
};

class Graph : public MovePathGraph
{
public:
    explicit Graph(TsAStarPathfinder* graph) : mGraph(graph) {}
    bool IsPointOnGraph(const Vector* p) override { return mGraph->IsPointOnGraph(*p) != 0; }
    bool FindNearestPoint(const Vector* p, float d, Vector* out) override
    {
        return mGraph->SnapToGraph(out, *p, d) != 0;
    }
    bool IsStraightWalkable(const Vector* a, const Vector* b) override
    {
        return mGraph->IsStraightWalkable(*a, *b) != 0;
    }
    void ResetSearch() override { mGraph->SetSearchState(0); }
    bool FindPath(const Vector* s, const Vector* g, const Vector* f, int32_t flags) override
    {
        return mGraph->FindPath(*s, *g, f, flags) != 0;
    }
    int32_t GetResultCount() const override { return int32_t(mGraph->GetPath().size()); }
    Vector GetResultPoint(int32_t i) const override { return mGraph->GetPath()[size_t(i)]; }

private:
    TsAStarPathfinder* mGraph;
};

Graph* gGraph = nullptr;

class Ring : public WeaponAmmoSource
{
public:
    int32_t TakeProjectile() override { return int32_t(mLaunches.size()); }
    void LaunchProjectile(int32_t, const WeaponLaunch& launch) override { mLaunches.push_back(launch); }
    int32_t TakeCasing() override { return -1; }
    void LaunchCasing(int32_t, const WeaponCasingRecord&, const Matrix&, float) override {}
    std::vector<WeaponLaunch> mLaunches;
};

// ---- The map: world x -100..1300 left to right, z 700..-700 top to bottom ---------------------------

constexpr int32_t kMapSize = 256;
constexpr uint32_t kMapClear = 0xFF101810;
constexpr uint32_t kFloorColour = 0xFF707070;
constexpr uint32_t kTankColour = 0xFF30A030;
constexpr uint32_t kBarrelColour = 0xFFE0E020;
constexpr uint32_t kHeroColour = 0xFF2050E0;
constexpr uint32_t kWallColour = 0xFF402818;
constexpr uint32_t kDoorColour = 0xFFD06010;

struct MapItem
{
    const char* texture;
    uint32_t colour;
    float x0, z0, x1, z1; // world rectangle
};

MapItem Square(const char* texture, uint32_t colour, const Vector& at, float size)
{
    return {texture, colour, at.x - size / 2, at.z - size / 2, at.x + size / 2, at.z + size / 2};
}

// ---- The door's model: its open placement lies 240 along +z in its two-frame child ------------------

constexpr float kDoorTravel = 240.0f;
constexpr float kDoorHalfWidth = 120.0f;
constexpr float kDoorPlaneX = 700.0f;
FrameObject gDoorMarker;

HbRoot* MakeDoorModel()
{
    W3dFrame* model = W3dFrame::Create();
    W3dFrame* leaf = W3dFrame::Create();
    W3dFrame* inner = W3dFrame::Create();
    if (!model || !leaf || !inner)
        return model;
    leaf->AddChild(inner, nullptr);
    model->AddChild(leaf, nullptr);
    const Vector open = {0.0f, 0.0f, kDoorTravel};
    Frame::Translate(inner->GetEngineFrame(), &open, kCombineReplace);
    FrameObject::Init(&gDoorMarker, 0, nullptr);
    FrameObject::SetFrame(&gDoorMarker, inner->GetEngineFrame());
    return model;
}

class TankAndDoor : public scenarictest::ScenaricTest
{
protected:
    void SetUp() override
    {
        ScenaricTest::SetUp();
        if (HasFatalFailure())
            return;
        TsMarkSystemInstall(mWorld);
        mWorld->Hooks().makeMarkModule();
        TsEventBoxesInstall(mWorld);
        mSavedHooks = GetMoveSkillHooks();
        MoveSkillHooksInstall();
        mAStar = new TsAStarPathfinder();
        mAStar->AddRef();
        HbMChunkStream stream(new VectorStreamBuf(
            NavGraphWriter::Bytes(NavGraphWriter::FromRectangles({{100, 600, 500, -600}, {500, 600, 900, -600}}))));
        ASSERT_EQ(mAStar->LoadFromChunks(&stream), 1);
        gGraph = new Graph(mAStar);
        GetMoveSkillHooks().getPathGraph = []() -> MovePathGraph* { return gGraph; };
        AnimMoveCtrl::SetLevelGraph(mAStar);
        PnjMoveBlendTablesInit();
        WeaponSetAmmoSource(&mRing);

        // Cells: standing, driving forward, a short recoil.
        AnimSetFreeAll();
        const struct
        {
            const char* id;
            Vector root;
            float seconds;
        } anims[] = {{"TK_STILL_ANM", {0, 0, 0}, 1.0f},
                     {"TK_DRIVE_ANM", {0, 0, kDriveSpeed}, 1.0f},
                     {"TK_RECOIL_ANM", {0, 0, 0}, 0.2f}};
        for (int32_t cell = 0; cell < 3; ++cell)
        {
            const std::vector<uint8_t> bytes =
                WalkerModel::AnimationBytes(anims[cell].root, 0.0f, 0.0f, anims[cell].seconds);
            Declare(anims[cell].id, ".anm", bytes);
            auto* animation = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource(anims[cell].id));
            ASSERT_NE(animation, nullptr);
            // Held for the test: the animation set keeps no reference.
            animation->AddRef();
            mHeld.push_back(animation);
            AnimSetAddVariant(kKind, cell, anims[cell].id, 1, 2, 1.0f, HeroEnemyFamily);
        }

        const struct
        {
            const char* id;
            uint32_t colour;
        } textures[] = {{"TD_MAP_FLOOR", kFloorColour}, {"TD_MAP_TANK", kTankColour}, {"TD_MAP_BARREL", kBarrelColour},
                        {"TD_MAP_HERO", kHeroColour},   {"TD_MAP_WALL", kWallColour}, {"TD_MAP_DOOR", kDoorColour}};
        for (const auto& texture : textures)
            mTextures.SolidTexture(texture.id, 4, 4, texture.colour);
        mCamera = Camera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->frameBuffer = Raster::Create(kMapSize, kMapSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kMapSize, kMapSize, 0, kRasterTypeZBuffer);
        FrameObject::SetFrame(&mCamera->object, ::Frame::Create());
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);

        // The hero: a box shots stop on.
        mHero = Listed("hero", {0, 0, 0}, HeroFamily);
        const float box[6] = {20, 150, 20, -20, -50, -20};
        Atomic* atomic = CreateBoxGeometry(box);
        ASSERT_NE(atomic, nullptr);
        AtomicOwner::Get(atomic)->owner = mHero->mNode;
        mHero->mNode->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
        mWorld->SetHero(mHero);
        PyDict_SetItemString(scripttest::MainDict(), "hero", mHero->GetScriptObject());
        ScenaricBindActor(mHero->GetScriptObject(), mHero);
        ::Frame::SyncDirtyList();
    }
    void TearDown() override
    {
        for (TsActor* actor : mOwned)
        {
            mWorld->RemoveActor(actor);
            actor->ExitMotorSkills();
            if (W3dNode* node = actor->GetNode(); node && node->GetParent())
                node->GetParent()->RemoveChild(node);
            actor->Release();
        }
        FrameObject::SetFrame(&gDoorMarker, nullptr);
        if (mCamera)
        {
            ::Frame* frame = mCamera->object.frame;
            FrameObject::SetFrame(&mCamera->object, nullptr);
            ::Frame::Destroy(frame);
            Raster::Destroy(mCamera->frameBuffer);
            Raster::Destroy(mCamera->zBuffer);
            mCamera->frameBuffer = mCamera->zBuffer = nullptr;
            Camera::Destroy(mCamera);
        }
        mWorld->SetHero(nullptr);
        WeaponSetAmmoSource(nullptr);
        PnjMoveTablesFree();
        AnimMoveCtrl::SetLevelGraph(nullptr);
        GetMoveSkillHooks() = mSavedHooks;
        delete gGraph;
        gGraph = nullptr;
        if (mAStar)
            mAStar->Release();
        AnimSetFreeAll();
        for (RdAnimation* animation : mHeld)
            animation->Release();
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        ScenaricTest::TearDown();
    }

    /// Writes the bytes to a file of the test's folder declared under the identifier; the path.
    std::string Declare(const std::string& id, const char* extension, const std::vector<uint8_t>& bytes)
    {
        const std::string path = mDir / (id + extension);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mIds.push_back(id);
        return path;
    }

    static void Place(W3dNode* node, Vector at)
    {
        ::Frame* frame = node->GetEngineFrame();
        ::Frame::SetIdentity(frame);
        ::Frame::Translate(frame, &at, kCombineReplace);
        ::Frame::SyncDirtyList();
    }

    /// Binds the actor to the __main__ variable's object, lists it and keeps it to the end.
    void Bind(TsActor* actor, const char* name)
    {
        actor->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), name));
        ScenaricBindActor(actor->GetScriptObject(), actor);
        mWorld->AddActor(actor);
        mOwned.push_back(actor);
    }

    /// The map of the moment drawn through 2D surfaces and read back, against the map painted
    /// here; "" when they agree. The frame is saved under the name.
    std::string DrawMap(const std::string& name, const std::vector<MapItem>& items)
    {
        W2dSurfaceList list(mCamera);
        uitest::Reference expected(kMapSize, kMapSize, kMapClear);
        for (size_t layer = 0; layer < items.size(); ++layer)
        {
            const MapItem& item = items[layer];
            const float x = (item.x0 + 100.0f) / 1400.0f, y = (700.0f - item.z1) / 1400.0f;
            const float w = (item.x1 - item.x0) / 1400.0f, h = (item.z1 - item.z0) / 1400.0f;
            auto* surface = new W2dTranslucentSurface(item.texture, 0, x, y, w, h, int32_t(layer));
            list.Insert(surface);
            surface->SetOpacity(1.0f);
            expected.Fill(x, y, w, h, item.colour & 0xFFFFFF);
        }
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> actual = uitest::DrawSurfaces(&list, kMapClear, &width, &height);
        if (width != kMapSize || height != kMapSize)
            return "the map could not be read back";
        // Rectangle edges are the device's to rasterise: pixels whose neighbourhood changes are
        // taken as drawn.
        auto colourAt = [&](float px, float py)
        {
            const size_t x = std::min(size_t(kMapSize - 1), size_t(std::max(0.0f, px)));
            const size_t y = std::min(size_t(kMapSize - 1), size_t(std::max(0.0f, py)));
            return expected.pixels[y * kMapSize + x];
        };
        const std::vector<uint32_t> reference =
            framecheck::EdgeTolerantReference(kMapSize, kMapSize, actual, colourAt, {-1.0f, 0.0f, 1.0f});
        return framecheck::CheckFrame(name, kMapSize, kMapSize, actual, reference, 3);
    }

    int32_t Queued(TsActor* actor, int32_t id)
    {
        int32_t n = 0;
        for (int32_t i = 0; i < mWorld->GetQueuedCount(); ++i)
            n += mWorld->GetQueuedEvent(i)->id == id && mWorld->GetQueuedEvent(i)->target == actor;
        return n;
    }

    hbtest::TempDir mDir;
    MoveSkillHooks mSavedHooks;
    TsAStarPathfinder* mAStar = nullptr;
    std::vector<std::string> mIds;
    std::vector<RdAnimation*> mHeld;
    std::vector<TsActor*> mOwned;
    Ring mRing;
    uitest::Resources mTextures;
    Camera* mCamera = nullptr;
    scriptworldtest::FakeActor* mHero = nullptr;
};

// ---- The tank ---------------------------------------------------------------------------------------

ScenarioMarkEntry Mark(const std::string& name, Vector at)
{
    ScenarioMarkEntry mark;
    mark.identifier = "M_" + name + "_ATTACKMARK";
    mark.name = name;
    mark.SetPosition(at.x, at.y, at.z);
    return mark;
}

// Drive the route leg by leg; at its end aim at the hero, and once the turret has had time to
// turn, fire the cannon, then the machine gun.
constexpr const char* kTankBehaviour = R"(
import skills, path
ROUTE = path.GetPathMarkPosition('tank_route')
trace = []
state = 'start'
leg = 0
waited = 0

def behave(frame):
    global state, leg, waited
    LoopSkill(tank, PANZER)
    status = GetSkillStatus(tank)
    if state == 'start' or (state == 'drive' and status & 2):
        if state == 'drive':
            trace.append((frame, 'reached', leg))
        leg += 1
        if leg < len(ROUTE):
            state = 'drive'
            skills.PnjSetMoveTarget(tank, ROUTE[leg], 0)
            skills.PnjMAPSetState(tank, 67)
        else:
            state = 'aim'
            skills.PnjSetTarget(tank, hero, 1.0)
            skills.PanzerAction(tank, 1)
            trace.append((frame, 'aims'))
    elif state == 'aim':
        waited += 1
        if waited == 60:
            state = 'cannon'
            skills.PanzerAction(tank, 3)
            trace.append((frame, 'cannon'))
    elif state == 'cannon':
        state = 'machine gun'
        skills.PanzerAction(tank, 4)
        trace.append((frame, 'machine gun'))
    elif state == 'machine gun':
        state = 'done'
    if status & 8:
        trace.append((frame, 'error', GetSkillError(tank)))
)";

TEST_F(TankAndDoor, ATankDrivesItsRouteTurnsItsTurretToTheHeroAndFiresBothGuns)
{
    // The route from the level's database: north along x = 300, then a bend to the north-east.
    const std::vector<ScenarioMarkEntry> marks = {Mark("t0", {300, 0, -500}), Mark("t1", {300, 0, -50}),
                                                  Mark("t2", {420, 0, 300})};
    const std::vector<ScenarioSection> sections = {
        {1, marks, {}}, {2, {}, {{"P_tank_route_YOSCENARICPATH", "tank_route", {"t0", "t1", "t2"}}}}};
    const std::vector<uint8_t> database = ScenarioDbWriter::Bytes(sections);
    ASSERT_FALSE(database.empty());
    const std::string file = Declare("TANK_SCE", ".sce", database);
    // Every entry's identifier names the database's file.
    std::vector<std::string> entries = {"P_tank_route_YOSCENARICPATH"};
    for (const ScenarioMarkEntry& mark : marks)
        entries.push_back(mark.identifier);
    for (const std::string& id : entries)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), file.c_str());
        mIds.push_back(id);
    }
    ASSERT_EQ(mWorld->LoadScenaricData("TANK_SCE"), 1);

    const Vector heroAt = {800, 0, 350};
    Place(mHero->mNode, heroAt);

    // The tank: the walker's chain as root, the machine gun's mount, the turret and the cannon's
    // hold (bones 1, 2, 161 and the hand bone that weapons in hand hang on), standing on the
    // first mark.
    W3dAnimObject* model = WalkerModel::CreateWithBones(nullptr, {"DummyRootBone", "Root", "Tourelle", "Right_Hand"});
    ASSERT_NE(model, nullptr);
    auto* tank = new Tank();
    tank->AddRef();
    tank->SetModel(model);
    tank->mFamily = HeroEnemyFamily;
    mScene->GetRoot()->AttachChild(model);
    Place(model, {300, 0, -500});

    // The guns, each with a model of its own: the cannon in hand (its animations drive the
    // tank's states), the machine gun on bone 2.
    ASSERT_EQ(Exec("class Actor: pass\ntank = Actor()\ncannon = Actor()\nmg = Actor()"), "");
    WeaponShoot* guns[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        auto* gun = new WeaponShoot();
        gun->AddRef();
        gun->mMagazineSize = 5;
        gun->mMaxSpread = -1.0f;
        gun->SetAmmo(10);
        for (int32_t anim = 0; anim < kAnimStateCount; ++anim)
            gun->GetAnimation(anim)->SetAnimation(kKind, anim == 53 || anim == 6    ? 1
                                                         : anim >= 57 && anim <= 60 ? 2
                                                                                    : 0);
        W3dObject* gunModel = W3dObject::Create();
        ASSERT_NE(gunModel, nullptr);
        gunModel->SetClump(renderertest::MakeClump({nullptr}));
        gun->SetModel(gunModel);
        Bind(gun, i == 0 ? "cannon" : "mg");
        guns[i] = gun;
    }
    WeaponShoot* cannon = guns[0];
    WeaponShoot* machineGun = guns[1];
    Bind(tank, "tank");

    ASSERT_EQ(Exec("PANZER = " + std::to_string(PanzerMoveMSState::kScriptId) + "\n" +
                   "NewAddSkill(tank, PANZER, (cannon, vertex(0, 60, 0), mg, vertex(10, 0, 0)))"),
              "");
    auto* skill = HbCastTo<PanzerMoveMSState>(tank->GetMotorSkills()->FindSkill(PanzerMoveMSState::kName));
    ASSERT_NE(skill, nullptr);
    EXPECT_EQ(tank->GetWeapon(), cannon) << "the cannon is the weapon in hand";
    EXPECT_EQ(model->GetAttachedNode(PanzerMoveMSState::kMachineGunBone), machineGun->GetNode())
        << "the machine gun hangs on bone 2";
    ASSERT_EQ(Exec(kTankBehaviour), "");

    HbGameClock* clock = HbGameClock::Instance();
    auto position = [&] { return *model->GetWorldPosition(); };
    auto turretAt = [&] { return ::Frame::GetWorldMatrix(skill->mTurretFrame)->at; };
    auto mapOf = [&](const char* name)
    {
        const Vector at = position();
        const Vector t = turretAt();
        const float length = std::max(1e-3f, std::sqrt(t.x * t.x + t.z * t.z));
        const Vector tip = {at.x + 50.0f * t.x / length, 0.0f, at.z + 50.0f * t.z / length};
        return DrawMap(name, {{"TD_MAP_FLOOR", kFloorColour, 100, -600, 900, 600},
                              Square("TD_MAP_TANK", kTankColour, at, 70.0f),
                              Square("TD_MAP_BARREL", kBarrelColour, tip, 24.0f),
                              Square("TD_MAP_HERO", kHeroColour, *mHero->mNode->GetWorldPosition(), 50.0f)});
    };
    std::vector<Vector> visited;
    float alignmentAtCannon = 0.0f;
    int32_t stateOverAtAim = -1, stateOverBeforeCannon = 0;
    for (int frame = 0; frame < 400 && Eval("state") != "'done'"; ++frame)
    {
        clock->mGameTime += int64_t(double(kDt) * double(HbPerformanceFrequency()));
        clock->mStepSeconds = kDt;
        const bool cannonOrder = Eval("state") == "'aim'" && Eval("waited") == "59";
        if (cannonOrder)
            stateOverBeforeCannon = Queued(tank, kEventSapStateOver);
        ASSERT_EQ(Exec("behave(" + std::to_string(frame) + ")"), "") << "frame " << frame;
        model->GetMotor().Update();
        ::Frame::SyncDirtyList();
        visited.push_back(position());
        if (stateOverAtAim < 0 && Eval("state") == "'aim'")
            stateOverAtAim = Queued(tank, kEventSapStateOver);
        if (cannonOrder)
        {
            const Vector t = turretAt();
            const Vector to = {heroAt.x - position().x, 0.0f, heroAt.z - position().z};
            alignmentAtCannon =
                (t.x * to.x + t.z * to.z) / (std::sqrt(t.x * t.x + t.z * t.z) * std::sqrt(to.x * to.x + to.z * to.z));
        }
        if (frame == 40)
        {
            EXPECT_EQ(mapOf("scenario_tank_drives"), "");
        }
    }
    const std::string trace = Eval("trace");
    SCOPED_TRACE(trace);
    EXPECT_EQ(Eval("state"), "'done'");
    EXPECT_EQ(trace.find("'error'"), std::string::npos);
    EXPECT_NE(trace.find("'reached', 1)"), std::string::npos);
    EXPECT_NE(trace.find("'reached', 2)"), std::string::npos);

    // It followed the route: up the first leg along x = 300, then the bend to the last mark.
    ASSERT_FALSE(visited.empty());
    EXPECT_NEAR(position().x, 420.0f, 40.0f);
    EXPECT_NEAR(position().z, 300.0f, 40.0f);
    bool passedFirstMark = false;
    for (const Vector& p : visited)
        passedFirstMark |= std::fabs(p.x - 300.0f) < 5.0f && std::fabs(p.z + 50.0f) < 40.0f;
    EXPECT_TRUE(passedFirstMark) << "through the middle mark";

    // The turret turned to the hero, reported it, and the cannon and machine gun each fired.
    EXPECT_GT(alignmentAtCannon, 0.99f);
    EXPECT_EQ(stateOverBeforeCannon, stateOverAtAim + 1) << "the aligned turret reports its order over, once";
    EXPECT_EQ(skill->mAction, PanzerMoveMSState::kNone);
    EXPECT_EQ(cannon->mMagazine, 4);
    EXPECT_EQ(machineGun->mMagazine, 4);
    // One shell leaves the cannon on the turret toward the hero; one round leaves the mount.
    ASSERT_EQ(mRing.mLaunches.size(), 2u);
    const WeaponLaunch& shell = mRing.mLaunches[0];
    EXPECT_LT(std::hypot(shell.from.x - position().x, shell.from.z - position().z), 20.0f);
    const Vector toHero = {heroAt.x - shell.from.x, heroAt.y - shell.from.y, heroAt.z - shell.from.z};
    const float heroDistance = std::sqrt(toHero.x * toHero.x + toHero.y * toHero.y + toHero.z * toHero.z);
    EXPECT_GT((shell.direction.x * toHero.x + shell.direction.y * toHero.y + shell.direction.z * toHero.z) /
                  heroDistance,
              0.999f);
    const Vector mount = *machineGun->GetNode()->GetWorldPosition();
    EXPECT_NEAR(mRing.mLaunches[1].from.x, mount.x, 1e-3f);
    EXPECT_NEAR(mRing.mLaunches[1].from.z, mount.z, 1e-3f);
    EXPECT_LT(std::hypot(mount.x - position().x, mount.z - position().z), 20.0f) << "the mount rides on the tank";
    EXPECT_EQ(mapOf("scenario_tank_fires"), "");
}

// ---- The door ---------------------------------------------------------------------------------------

constexpr const char* kDoorScript = R"(
import skills
class Door:
    actorName = 'door'
    def __init__(self):
        self.asked = []
    def requestBehaviourFromScenaric(self, kind, behaviour):
        self.asked.append(behaviour)
        if behaviour == 'Open':
            skills.MoveDof(self, 2)
door = Door()
)";

TEST_F(TankAndDoor, ADoorOpensWhenTheBoxAsksAndTheHeroWalksThrough)
{
    // The door: half a second to speed up, a second at speed, half a second to stop.
    MdfRecord parameters;
    parameters.openTimes[0] = 0.5f, parameters.openTimes[1] = 1.0f, parameters.openTimes[2] = 0.5f;
    parameters.closeTimes[0] = 0.5f, parameters.closeTimes[1] = 1.0f, parameters.closeTimes[2] = 0.5f;
    Declare("TD_DOOR_MDF", ".mdf", MdfWriter::Bytes(parameters));
    HbResourceManager::Instance()->RegisterType("TDDOOR", MakeDoorModel);
    ASSERT_EQ(Exec(kDoorScript), "");
    auto* door = new MobileDof();
    door->AddRef();
    ASSERT_EQ(door->Setup("TD_DOOR_MDF", "_DOOR_TDDOOR"), 1);
    mScene->GetRoot()->AttachChild(door->GetNode());
    Place(door->GetNode(), {kDoorPlaneX, 0, 0});
    Bind(door, "door");
    ASSERT_EQ(door->GetName(), "door");
    ASSERT_EQ(Exec("MOVEDOF = " + std::to_string(MoveDofMSState::kScriptId) +
                   "\nNewAddSkill(door, MOVEDOF, None)\nLoopSkill(door, MOVEDOF)"),
              "");

    // Standing closed; from now on the world loops the door's current skill every frame.
    ASSERT_EQ(door->GetMotorSkills()->GetCurrentSkillName(), std::string(MoveDofMSState::kName));

    // The box in front of the doorway asks the door to open when the hero enters it, once.
    EBoxEntry box;
    box.centre[0] = 560.0f;
    box.size[0] = 120.0f, box.size[1] = 400.0f, box.size[2] = 400.0f;
    box.mode = kEBoxOnEnter | kEBoxOneShot;
    box.actions = {EBoxKinds::BareBehaviour(0.0f, "door", "Open")};
    Declare("TD_DOOR_YB", ".yb", EventBoxWriter::Bytes({box}));
    const Vector start = {400, 0, 0};
    Place(mHero->mNode, start);
    ASSERT_EQ(mWorld->LoadEventBoxes("TD_DOOR_YB"), 1);

    auto doorZ = [&] { return door->GetNode()->GetWorldPosition()->z; };
    auto mapOf = [&](const std::string& name)
    {
        const float z = doorZ();
        return DrawMap(name, {{"TD_MAP_FLOOR", kFloorColour, 100, -600, 900, 600},
                              {"TD_MAP_WALL", kWallColour, kDoorPlaneX - 10, -600, kDoorPlaneX + 10, -kDoorHalfWidth},
                              {"TD_MAP_WALL", kWallColour, kDoorPlaneX - 10, kDoorHalfWidth, kDoorPlaneX + 10, 600},
                              {"TD_MAP_DOOR", kDoorColour, kDoorPlaneX - 6, z - kDoorHalfWidth, kDoorPlaneX + 6,
                               z + kDoorHalfWidth},
                              Square("TD_MAP_HERO", kHeroColour, *mHero->mNode->GetWorldPosition(), 40.0f)});
    };

    // The hero walks east at 150 a second and stops at the leaf while it blocks the doorway.
    int32_t openedAt = -1, waitedFrames = 0, passedAt = -1;
    float lastDoorZ = doorZ();
    for (int frame = 0; frame < 200 && passedAt < 0; ++frame)
    {
        Vector at = *mHero->mNode->GetWorldPosition();
        const bool blocked = doorZ() - kDoorHalfWidth < 20.0f && at.x + 20.0f + kDt * 150.0f > kDoorPlaneX - 6.0f;
        if (blocked)
            ++waitedFrames;
        else
            at.x += kDt * 150.0f;
        mHero->mNode->SetWorldPosition(&at);
        ::Frame::SyncDirtyList();
        Frame(kDt); // the world loops the door's skill, then the boxes test the hero
        ::Frame::SyncDirtyList();
        EXPECT_LE(std::fabs(doorZ() - lastDoorZ), 160.0f * kDt + 0.5f) << "the leaf never jumps, frame " << frame;
        EXPECT_GE(doorZ(), lastDoorZ - 1e-3f) << "an opening never goes back";
        lastDoorZ = doorZ();
        if (openedAt < 0 && doorZ() > 1.0f)
            openedAt = frame;
        if (blocked && waitedFrames == 1)
        {
            EXPECT_EQ(mapOf("scenario_door_opening"), "");
        }
        if (at.x - 20.0f > kDoorPlaneX + 6.0f)
            passedAt = frame;
    }
    EXPECT_EQ(Eval("door.asked"), "['Open']") << "the box ran once";
    EXPECT_GE(openedAt, 0);
    EXPECT_GT(waitedFrames, 0) << "the hero reached the closed door";
    ASSERT_GE(passedAt, 0) << "the hero never passed the door plane";
    EXPECT_EQ(mapOf("scenario_door_passed"), "");

    // The opening ends on its placement and reports it.
    int32_t frames = 0;
    while (doorZ() < kDoorTravel - 1e-3f && frames++ < 100)
    {
        Frame(kDt);
        ::Frame::SyncDirtyList();
    }
    EXPECT_NEAR(doorZ(), kDoorTravel, 1e-3f);
    EXPECT_EQ(Eval("GetSkillStatus(door) & 2"), "2");
}
} // namespace
