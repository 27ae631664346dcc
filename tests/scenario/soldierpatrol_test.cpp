// A soldier driven by a behaviour script in Python through the module "skills": he patrols
// between two points of a navigation graph from the writers, sees the hero when he steps out
// from behind the wall, turns to him and fires a burst; the whole run is traced twice and the
// traces agree. Three moments of the first run are drawn as a map from above (the floor of
// the graph, the soldier and the hero as squares) and checked against a map painted on the
// processor; the frames are saved.
#include "animmovectrl.h"
#include "camera.h"
#include "frame.h"
#include "framecheck.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hbresource.h"
#include "moveanimplayerstate.h"
#include "moveblendtables.h"
#include "moveskillhooks.h"
#include "navgraphwriter.h"
#include "pnjmove.h"
#include "raster.h"
#include "rdanim.h"
#include "rdanimmotor.h"
#include "rdanimset.h"
#include "scenaricmodule.h"
#include "scenaricmodule_fixture.h"
#include "script_fixture.h"
#include "skeletonwriter.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsanimactor.h"
#include "tsastarpathfinder.h"
#include "tsmotorskills.h"
#include "tssenses.h"
#include "tsskillregistry.h"
#include "uisupport.h"
#include "w2dimagesurface.h"
#include "w2dsurfacelist.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "walkermodel.h"
#include "watomicowner.h"
#include "weaponshoot.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
constexpr int32_t kKind = 3;
constexpr float kDt = 0.05f;

class Soldier : public TsAnimActor
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

// The map: world x -400..1000 left to right, z 700..-700 top to bottom, on a square frame.
constexpr int32_t kMapSize = 256;
constexpr uint32_t kMapClear = 0xFF101810;
constexpr uint32_t kFloorColour = 0xFF707070;
constexpr uint32_t kSoldierColour = 0xFFD02020;
constexpr uint32_t kHeroColour = 0xFF2050E0;
constexpr float kMarker = 60.0f; // world units

struct MapRect
{
    float x, y, width, height;
};

MapRect OnMap(float x0, float z0, float x1, float z1)
{
    return {(x0 + 400.0f) / 1400.0f, (700.0f - z1) / 1400.0f, (x1 - x0) / 1400.0f, (z1 - z0) / 1400.0f};
}

MapRect Marker(const Vector& at)
{
    return OnMap(at.x - kMarker / 2, at.z - kMarker / 2, at.x + kMarker / 2, at.z + kMarker / 2);
}

class Ring : public WeaponAmmoSource
{
public:
    int32_t TakeProjectile() override { return int32_t(mLaunches.size()); }
    void LaunchProjectile(int32_t, const WeaponLaunch& launch) override { mLaunches.push_back(launch); }
    int32_t TakeCasing() override { return -1; }
    void LaunchCasing(int32_t, const WeaponCasingRecord&, const Matrix&, float) override {}
    std::vector<WeaponLaunch> mLaunches;
};

// The behaviour: patrol the two points; once the hero is seen, aim at him for a second and a half,
// then fire bursts of three while he stays in view.
constexpr const char* kBehaviour = R"(
import skills
PATROL = [vertex(560, 0, -300), vertex(560, 0, 300)]
trace = []
state = 'start'
leg = 0
aiming = 0

def behave(frame):
    global state, leg, aiming
    LoopSkill(soldier, PNJMOVE)
    status = GetSkillStatus(soldier)
    if state in ('start', 'walk') and skills.DoesActorSeesActor(soldier, hero):
        state = 'aim'
        aiming = 0
        trace.append((frame, 'sees the hero'))
        skills.PnjSetTarget(soldier, hero, 1.0)
        skills.PnjMAPSetState(soldier, 7)
    elif state == 'start' or (state == 'walk' and status & 2):
        if state == 'walk':
            leg = 1 - leg
        state = 'walk'
        skills.PnjSetMoveTarget(soldier, PATROL[leg], 0)
        skills.PnjMAPSetState(soldier, 87)
        trace.append((frame, 'walks to', leg))
    elif state == 'aim':
        aiming += 1
        if aiming == 30:
            state = 'fire'
            skills.PnjSAPRepeatState(soldier, 7, 3)
            trace.append((frame, 'fires'))
    if status & 8:
        trace.append((frame, 'error', GetSkillError(soldier)))
)";

class SoldierPatrol : public scenarictest::ScenaricTest
{
protected:
    using FakeActorPtr = scriptworldtest::FakeActor*;

    void SetUp() override
    {
        // The senses' skills functions join the module when scripting starts.
        TsSensesInstall(nullptr, TsSkillRegistry::Instance());
        ScenaricTest::SetUp();
        if (HasFatalFailure())
            return;
        mSavedHooks = GetMoveSkillHooks();
        MoveSkillHooksInstall();
        // The floor east of the wall: x 100..900, z -600..600 in two rooms.
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

        AnimSetFreeAll();
        const struct
        {
            const char* id;
            Vector root;
            float seconds;
        } anims[] = {
            {"S_STILL_ANM", {0, 0, 0}, 1.0f}, {"S_WALK_ANM", {0, 0, 150}, 1.0f}, {"S_SHOT_ANM", {0, 0, 0}, 0.2f}};
        for (int32_t cell = 0; cell < 3; ++cell)
        {
            const std::vector<uint8_t> bytes =
                WalkerModel::AnimationBytes(anims[cell].root, 0.0f, 0.0f, anims[cell].seconds);
            const std::string path = std::string(anims[cell].id) + ".anm";
            FILE* file = std::fopen(path.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
            HbResourceManager::Instance()->AddPath(anims[cell].id, path.c_str());
            mIds.push_back(anims[cell].id);
            // Held for the test: the animation set keeps no reference.
            auto* animation = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource(anims[cell].id));
            ASSERT_NE(animation, nullptr);
            animation->AddRef();
            mHeld.push_back(animation);
            AnimSetAddVariant(kKind, cell, anims[cell].id, 1, 2, 1.0f, HeroEnemyFamily);
        }

        mTextures.SolidTexture("PNJ_MAP_FLOOR", 4, 4, kFloorColour);
        mTextures.SolidTexture("PNJ_MAP_SOLDIER", 4, 4, kSoldierColour);
        mTextures.SolidTexture("PNJ_MAP_HERO", 4, 4, kHeroColour);
        mCamera = Camera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->frameBuffer = Raster::Create(kMapSize, kMapSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kMapSize, kMapSize, 0, kRasterTypeZBuffer);
        FrameObject::SetFrame(&mCamera->object, ::Frame::Create());
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
        ::Frame::SyncDirtyList();

        // The hero: a box the soldier's shots and sight stop on.
        mHero = Listed("hero", {-300, 0, 200}, HeroFamily, kOutside);
        const float box[6] = {20, 150, 20, -20, -50, -20};
        Atomic* atomic = CreateBoxGeometry(box);
        ASSERT_NE(atomic, nullptr);
        AtomicOwner::Get(atomic)->owner = mHero->mNode;
        mHero->mNode->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
        mScene->GetRoot()->AttachChild(mHero->mNode);
        mHero->mVisibilityClass = 0;
        mHero->mPostureClass = 0;
        mHero->SetMaxHitPoints(100);
        mWorld->SetHero(mHero);
        PyDict_SetItemString(scripttest::MainDict(), "hero", mHero->GetScriptObject());
        ScenaricBindActor(mHero->GetScriptObject(), mHero);
        ASSERT_EQ(Exec("PNJMOVE = " + std::to_string(kMsPnjMoveId)), "");
    }
    void TearDown() override
    {
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

    static void PlaceHero(FakeActorPtr hero, Vector at)
    {
        ::Frame* frame = hero->mNode->GetEngineFrame();
        ::Frame::SetIdentity(frame);
        ::Frame::Translate(frame, &at, kCombineReplace);
        ::Frame::SyncDirtyList();
    }

    /// The map of the moment drawn through 2D surfaces and read back, against the map painted
    /// here; "" when they agree. The frame is saved under the name.
    std::string DrawMap(const std::string& name, const Vector& soldier, const Vector& hero)
    {
        const struct
        {
            const char* texture;
            MapRect rect;
            uint32_t colour;
        } items[] = {{"PNJ_MAP_FLOOR", OnMap(100, -600, 900, 600), kFloorColour},
                     {"PNJ_MAP_SOLDIER", Marker(soldier), kSoldierColour},
                     {"PNJ_MAP_HERO", Marker(hero), kHeroColour}};
        W2dSurfaceList list(mCamera);
        uitest::Reference expected(kMapSize, kMapSize, kMapClear);
        for (int32_t layer = 0; layer < 3; ++layer)
        {
            const auto& item = items[layer];
            auto* surface = new W2dTranslucentSurface(item.texture, 0, item.rect.x, item.rect.y, item.rect.width,
                                                      item.rect.height, layer);
            list.Insert(surface);
            surface->SetOpacity(1.0f);
            expected.Fill(item.rect.x, item.rect.y, item.rect.width, item.rect.height, item.colour & 0xFFFFFF);
        }
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> actual = uitest::DrawSurfaces(&list, kMapClear, &width, &height);
        if (width != kMapSize || height != kMapSize)
            return "the map could not be read back";
        // Square edges are the device's to rasterise: pixels whose neighbourhood changes are
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

    /// A soldier and his behaviour from scratch, run for the frames; the trace of what the
    /// script decided and of every change of the soldier's two players. The map is drawn at
    /// the moments given.
    std::string Run(int frames, int heroStepsOutAt, const std::vector<int>& maps = {})
    {
        PlaceHero(mHero, {-300, 0, 200});
        mRing.mLaunches.clear();
        const std::vector<SkeletonProfileRow> profiles = {{"HIGH_PART", {"Upper_Torso", "Head"}}};
        W3dAnimObject* model = WalkerModel::Create(&profiles);
        EXPECT_NE(model, nullptr);
        auto* soldier = new Soldier();
        soldier->AddRef();
        soldier->SetModel(model);
        soldier->mFamily = HeroEnemyFamily;
        soldier->mEnemyFamily = HeroFamily;
        const float unlimited[5] = {-1, -1, -1, -1, -1};
        for (int32_t band = 0; band < 4; ++band)
            soldier->SetVisibilityDistances(band, 0, unlimited);
        const Vector start = {560, 0, -300};
        ::Frame::Translate(model->GetEngineFrame(), &start, kCombineReplace);
        ::Frame::SyncDirtyList();
        auto* gun = new WeaponShoot();
        gun->AddRef();
        gun->mMagazineSize = 30;
        gun->mMaxSpread = -1.0f;
        gun->SetAmmo(-1);
        for (int32_t anim = 0; anim < kAnimStateCount; ++anim)
        {
            gun->GetAnimation(anim)->SetAnimation(kKind, anim == 6 ? 1 : anim == 2 ? 2 : 0);
            gun->GetAnimation(anim)->SetEventFraction(0.5f);
        }
        soldier->SetWeapon(gun);
        gun->Release();

        EXPECT_EQ(Exec("class Soldier: pass\nsoldier = Soldier()"), "");
        soldier->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "soldier"));
        ScenaricBindActor(soldier->GetScriptObject(), soldier);
        mWorld->AddActor(soldier);
        EXPECT_EQ(Exec("NewAddSkill(soldier, PNJMOVE, None)"), "");
        EXPECT_EQ(Exec(kBehaviour), "");

        std::string trace;
        int32_t moveState = -1, staticState = -1;
        size_t launches = 0;
        float facingAtFirstShot = 0.0f;
        HbGameClock* clock = HbGameClock::Instance();
        for (int frame = 0; frame < frames; ++frame)
        {
            if (frame == heroStepsOutAt)
                PlaceHero(mHero, {760, 0, 250});
            clock->mGameTime += int64_t(double(kDt) * double(HbPerformanceFrequency()));
            clock->mStepSeconds = kDt;
            EXPECT_EQ(Exec("behave(" + std::to_string(frame) + ")"), "") << "frame " << frame;
            model->GetMotor().Update();
            ::Frame::SyncDirtyList();
            const int32_t m = soldier->GetMovePlayer()->GetCurrentStateIndex();
            const int32_t s = soldier->GetStaticPlayer()->GetCurrentStateIndex();
            if (m != moveState || s != staticState)
                trace += std::to_string(frame) + ": " + std::to_string(m) + "/" + std::to_string(s) + "\n";
            moveState = m;
            staticState = s;
            if (std::find(maps.begin(), maps.end(), frame) != maps.end())
            {
                EXPECT_EQ(DrawMap("scenario_soldier_patrol_" + std::to_string(frame),
                                  *soldier->GetNode()->GetWorldPosition(), *mHero->mNode->GetWorldPosition()),
                          "")
                    << "frame " << frame;
            }
            if (mRing.mLaunches.size() != launches)
            {
                trace += std::to_string(frame) + ": shot\n";
                if (launches == 0)
                {
                    const Vector* at = soldier->GetNode()->GetWorldPosition();
                    const Vector* hero = mHero->mNode->GetWorldPosition();
                    Vector to = {hero->x - at->x, 0.0f, hero->z - at->z};
                    const float length = std::sqrt(to.x * to.x + to.z * to.z);
                    const Vector forward = ::Frame::GetWorldMatrix(model->GetEngineFrame())->at;
                    facingAtFirstShot = (forward.x * to.x + forward.z * to.z) / length;
                }
                launches = mRing.mLaunches.size();
            }
        }
        trace += scripttest::Eval("trace");
        mFacingAtFirstShot = facingAtFirstShot;
        mShots = launches;
        mWorld->RemoveActor(soldier);
        soldier->ExitMotorSkills();
        soldier->Release();
        return trace;
    }

    MoveSkillHooks mSavedHooks;
    TsAStarPathfinder* mAStar = nullptr;
    std::vector<std::string> mIds;
    std::vector<RdAnimation*> mHeld;
    Ring mRing;
    uitest::Resources mTextures;
    Camera* mCamera = nullptr;
    FakeActorPtr mHero = nullptr;
    float mFacingAtFirstShot = 0.0f;
    size_t mShots = 0;
};

TEST_F(SoldierPatrol, HePatrolsSeesTheHeroTurnsAndFiresTheSameWayEachRun)
{
    // Maps while he patrols, when he has turned to the hero, and while he fires.
    const std::string first = Run(240, 110, {60, 135, 150});
    SCOPED_TRACE(first);
    // Two legs of the patrol before the hero shows himself.
    EXPECT_NE(first.find("(0, 'walks to', 0)"), std::string::npos);
    EXPECT_NE(first.find("'walks to', 1)"), std::string::npos);
    EXPECT_NE(first.find("(110, 'sees the hero')"), std::string::npos);
    EXPECT_NE(first.find("(140, 'fires')"), std::string::npos);
    EXPECT_EQ(first.find("'error'"), std::string::npos);
    // The walk states, then the aim and the shots of the upper body.
    EXPECT_NE(first.find(": 87/"), std::string::npos);
    EXPECT_NE(first.find(": 11/"), std::string::npos);
    EXPECT_NE(first.find(": 7/7"), std::string::npos);
    EXPECT_GE(mShots, 3u);
    EXPECT_GT(mFacingAtFirstShot, 0.99f) << "he turned to the hero before firing";

    const std::string second = Run(240, 110);
    EXPECT_EQ(second, first);
}

} // namespace
