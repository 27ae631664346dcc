// The ammunition in a script world over the wall world (a wall in the plane x = 0, a floor at
// y = -100): the rings, the actors a projectile collects, the step's hits and damage, the blast
// ring, the casings' flight and bounces, the weapon dying in flight, a magazine's casings and
// impact flashes drawn from above, the shut-down; and the shoot helper's pick through a camera
// at the origin looking along +z.
#include "ammunition.h"
#include "camera.h"
#include "clumpwriter.h"
#include "collisiontreewriter.h"
#include "d3d9testhooks.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "framecheck.h"
#include "fx3dtype.h"
#include "fxfade.h"
#include "fxscriptwriter.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "herohudaccess.h"
#include "kemitterdef.h"
#include "kfxmanager.h"
#include "kfxmanagerimp.h"
#include "raster.h"
#include "scene_fixture.h"
#include "scriptworld_fixture.h"
#include "shoothelper.h"
#include "shootpick.h"
#include "shootsight.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "tsevent.h"
#include "tsfmodsound.h"
#include "tsnoise.h"
#include "tssendevent.h"
#include "tstrigger.h"
#include "w3danimobject.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "w3dobject.h"
#include "watomicowner.h"
#include "weaponshoot.h"
#include "weapontables.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace
{
using scriptworldtest::FakeActor;

// The magazine's picture from above.
constexpr float kMagazineView = 240.0f; ///< half the picture's width in world units
constexpr uint8_t kCasingColour[3] = {0xE0, 0xC0, 0x20};
constexpr float kCasingHalf = 10.0f;
constexpr float kWallFlash = 40.0f, kDummyFlash = 30.0f;

/// A sound that counts its plays.
class CountingSound : public TsFModSound
{
public:
    int32_t Play() override
    {
        ++plays;
        return -1;
    }
    int32_t plays = 0;
};

/// A wall in the plane x = 0 as the fixture's, with the colour given.
World* MakeColouredWall(uint8_t red, uint8_t green)
{
    WorldDescription d;
    d.materials = {{{red, green, 0, 255}}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {0, -200, -1000, 0, 400, -1000, 0, -200, 1000, 0, 400, 1000};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 1, 2}, {2, 1, 3}, {0, 2, 1}, {2, 3, 1}};
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {1000, 400, 1000, -1000, -200, -1000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

class RecordingEffects : public KfxManagerBackend
{
public:
    void SetCamera(Camera*) override {}
    void UpdateAll() override {}
    void RenderGroup(int32_t) override {}
    int32_t PlayOneShot(int32_t index, const FxContext* context) override
    {
        plays.push_back({index,
                         {context->position[0], context->position[1], context->position[2]},
                         {context->direction[0], context->direction[1], context->direction[2]}});
        return 1;
    }
    int32_t BindDefinition(KFX*, int32_t index, const FxContext*) override
    {
        binds.push_back(index);
        return 1;
    }
    struct Play
    {
        int32_t index;
        Vector position;
        Vector direction;
    };
    std::vector<Play> plays;
    std::vector<int32_t> binds;
};

class Ammo : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        PhysicsSetGravity();
        AmmoGeometryDeclareRows();
        ASSERT_EQ(AmmoManager::Preallocate(), 1);
        ASSERT_NE(WeaponGetAmmoSource(), nullptr);
        mGun = new WeaponShoot();
        mGun->AddRef();
        WeaponHitRecord& hit = mGun->mHit;
        hit.owner = mGun;
        hit.launchSpeed = PerTick(5000.0f);
        hit.flightSpeed = PerTick(3000.0f);
        hit.lifetime = Ticks(1.0f);
        hit.damage = 35;
        hit.hitEvent = 10;
        hit.hitsWorld = 1;
        hit.directHitOnly = 1;
    }
    void TearDown() override
    {
        AmmoManagerShutdown();
        FxFadeClearAll();
        EXPECT_EQ(WeaponGetAmmoSource(), nullptr);
        if (mGun)
            mGun->Release();
        for (const std::string& id : mDeclared)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        TsCameraRegistry::Clear();
        ScriptWorldTest::TearDown();
    }

    /// The bytes in a file of the test's folder, declared under the resource id.
    void Declare(const std::string& id, const std::string& file, const std::string& bytes)
    {
        const std::string path = mDir / file;
        hbtest::WriteBytes(path, bytes);
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mDeclared.push_back(id);
    }
    void Declare(const std::string& id, const std::string& file, const std::vector<uint8_t>& bytes)
    {
        Declare(id, file, std::string(bytes.begin(), bytes.end()));
    }

    /// Two frames of the scene drawn by a parallel camera looking straight down on the point;
    /// the second read back (kMagazineView either side of the point across the picture).
    std::vector<uint32_t> DrawFromAbove(Vector centre, Matrix* view);

    static float PerTick(float perSecond) { return float(double(perSecond) / double(HbPerformanceFrequency())); }
    static int64_t Ticks(float seconds) { return int64_t(double(seconds) * double(HbPerformanceFrequency())); }

    /// A listed actor with a 20-unit collision box around its place.
    FakeActor* Target(const char* name, Vector at, uint32_t family = HeroEnemyFamily, int32_t hitPoints = 100)
    {
        FakeActor* actor = Listed(name, at, family, kOutside);
        const float box[6] = {at.x + 10, at.y + 10, at.z + 10, at.x - 10, at.y - 10, at.z - 10};
        Atomic* atomic = CreateBoxGeometry(box);
        AtomicOwner::Get(atomic)->owner = actor->mNode;
        actor->mNode->GetShootCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
        mScene->GetRoot()->AttachChild(actor->mNode);
        actor->SetMaxHitPoints(hitPoints);
        ::Frame::SyncDirtyList();
        return actor;
    }

    /// A shot of the gun's record from a point along a direction; its ring position or -1.
    int32_t Shoot(Vector from, Vector direction)
    {
        WeaponAmmoSource* source = WeaponGetAmmoSource();
        const int32_t handle = source->TakeProjectile();
        if (handle < 0)
            return -1;
        WeaponLaunch launch;
        launch.from = from;
        launch.direction = direction;
        launch.hit = &mGun->mHit;
        source->LaunchProjectile(handle, launch);
        return handle;
    }

    /// The clock on by the seconds, the scene's updates and the fades, the hit events queued
    /// meanwhile; the queue is then delivered (and emptied).
    std::vector<TsSendEvent> Step(float seconds)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mStepSeconds = seconds;
        clock->mStep = Ticks(seconds);
        clock->mGameTime += clock->mStep;
        mScene->Update();
        FxFadeStep();
        ::Frame::SyncDirtyList();
        std::vector<TsSendEvent> events;
        for (int32_t i = 0; i < mWorld->GetQueuedCount(); ++i)
        {
            const TsSendEvent* e = mWorld->GetQueuedEvent(i);
            TsSendEvent copy;
            copy.id = e->id;
            copy.sender = e->sender;
            copy.target = e->target;
            copy.value = e->value;
            events.push_back(copy);
        }
        mWorld->Update();
        return events;
    }

    WeaponShoot* mGun = nullptr;
    hbtest::TempDir mDir;
    std::vector<std::string> mDeclared;
};

std::vector<uint32_t> Ammo::DrawFromAbove(Vector centre, Matrix* view)
{
    WRenderer* renderer = WRenderer::Instance();
    renderer->SetScene(mScene);
    W3dCamera* camera = W3dCamera::Create();
    EXPECT_NE(camera, nullptr);
    if (!camera)
        return {};
    camera->AddRef();
    mScene->GetRoot()->AttachChild(camera);
    renderer->SetCamera(camera);
    camera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
    ::Frame* eye = camera->GetEngineFrame();
    const Vector down = {0.0f, -1.0f, 0.0f};
    FrameLookAlong(eye, &down);
    const Vector above = {centre.x, 2000.0f, centre.z};
    ::Frame::Translate(eye, &above, kCombinePostConcat);
    Camera* engine = camera->GetCamera();
    Camera::SetProjection(engine, kCameraParallel);
    int32_t width = 0, height = 0;
    ReadViewport(&width, &height);
    const Vector2 window = {kMagazineView, kMagazineView * float(height) / float(std::max(width, 1))};
    Camera::SetViewWindow(engine, &window);
    Camera::SetNearClipPlane(engine, 1.0f);
    Camera::SetFarClipPlane(engine, 5000.0f);
    for (int32_t frame = 0; frame < 2; ++frame)
    {
        EXPECT_EQ(renderer->BeginFrame(), 1);
        renderer->UpdateFrame();
        renderer->RenderScene();
        renderer->EndFrame();
    }
    ::Frame::SyncDirtyList();
    *view = *::Frame::GetWorldMatrix(eye);
    std::vector<uint32_t> pixels = ReadViewport(&width, &height);
    renderer->SetCamera(nullptr);
    renderer->ReleaseScene();
    mScene->GetRoot()->RemoveChild(camera);
    camera->Release();
    return pixels;
}

TEST_F(Ammo, RingsGoRoundAndTheNinetyFirstShotLaunchesNothingUntilTheLifetimeEnds)
{
    // Along +z beside the wall, hitting nothing: all stay in flight until their second.
    std::vector<int32_t> taken;
    for (int32_t i = 0; i < Ammunition::kProjectiles; ++i)
        taken.push_back(Shoot({-500, 0, -900}, {0, 0, 1}));
    EXPECT_EQ(taken.front(), 0);
    EXPECT_EQ(taken.back(), Ammunition::kProjectiles - 1);
    EXPECT_EQ(Ammunition::LiveProjectiles(), Ammunition::kProjectiles);
    EXPECT_EQ(Shoot({-500, 0, -900}, {0, 0, 1}), -1) << "the 91st";

    // Through the weapon: no round is used while the ring is full.
    mGun->mMagazineSize = 30;
    mGun->SetAmmo(30);
    const int32_t magazine = mGun->mMagazine;
    mGun->Shoot();
    EXPECT_EQ(mGun->mMagazine, magazine);

    // One freed: the search starts after the last taken and wraps to it.
    Ammunition::FreeProjectile(7);
    EXPECT_EQ(Shoot({-500, 0, -900}, {0, 0, 1}), 7);

    Step(0.5f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), Ammunition::kProjectiles) << "half their lifetime";
    Step(0.6f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);
    EXPECT_EQ(mScene->GetRoot()->GetChildren().GetCount(), int32_t(mActors.size())) << "all off the level";
}

TEST_F(Ammo, LaunchCollectsTwentyActorsInListOrderNearestFirstWithinTheMargin)
{
    // The shooter holds the gun; the shot runs from x = -100 along -x for 5000 units.
    FakeActor* shooter = Target("shooter", {-150, 0, 0});
    W3dFrame* gunNode = W3dFrame::Create();
    gunNode->AddRef();
    mGun->mNode = gunNode;
    shooter->mNode->AttachChild(gunNode);

    const struct
    {
        const char* name;
        float offset; // from the path, in z
        uint32_t family;
        int32_t hitPoints;
        int32_t active;
        int32_t collision;
        bool collected;
    } cases[] = {
        {"within the margin", 150.0f, HeroEnemyFamily, 100, 1, 1, true},
        {"beyond the margin", 200.0f, HeroEnemyFamily, 100, 1, 1, false},
        {"dead enemy", 0.0f, HeroEnemyFamily, 0, 1, 1, false},
        {"dead hero friend", 0.0f, HeroFriendFamily, 0, 1, 1, true},
        {"disabled", 0.0f, HeroEnemyFamily, 100, 0, 1, false},
        {"collision off", 0.0f, HeroEnemyFamily, 100, 1, 0, false},
    };
    std::vector<FakeActor*> expected;
    float x = -300.0f;
    for (const auto& c : cases)
    {
        FakeActor* actor = Target(c.name, {x, 0, c.offset}, c.family, c.hitPoints);
        actor->mHitPoints = c.hitPoints;
        actor->mActive = c.active;
        actor->mNode->GetShootCollisionSet().SetEnabled(c.collision);
        if (c.collected)
            expected.push_back(actor);
        x -= 100.0f;
    }
    // Twenty more on the path: only the first 20 of the list count.
    for (int32_t i = 0; i < 20; ++i)
    {
        expected.push_back(Target("row", {x, 0, 0}));
        x -= 100.0f;
    }
    std::vector<FakeActor*> listed;
    for (const HbPtrListNode* n = mWorld->GetActors().GetHead(); n; n = n->next)
        for (FakeActor* actor : expected)
            if (n->value == actor && listed.size() < 20)
                listed.push_back(actor);
    std::sort(listed.begin(), listed.end(),
              [](FakeActor* a, FakeActor* b)
              { return a->mNode->GetWorldPosition()->x > b->mNode->GetWorldPosition()->x; });

    mGun->mHit.hitsWorld = 0;
    const int32_t handle = Shoot({-100, 0, 0}, {-1, 0, 0});
    ASSERT_GE(handle, 0);
    Projectil* projectile = Ammunition::GetProjectile(handle);
    ASSERT_TRUE(projectile->mLive);
    ASSERT_EQ(projectile->mCollectedCount, 20);
    for (int32_t i = 0; i < 20; ++i)
        EXPECT_EQ(projectile->mCollected[i].GetObject(), listed[size_t(i)])
            << i << " " << static_cast<FakeActor*>(projectile->mCollected[i].GetObject())->mName;

    // Nothing on a path that cannot hit the world: freed at once.
    EXPECT_GE(Shoot({-100, 0, 900}, {0, 0, 1}), 0);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 1);
    shooter->mNode->RemoveChild(gunNode);
}

TEST_F(Ammo, StepHitsTheFirstActorWithTheDamageAndTheWallHidesWhatIsBehindIt)
{
    FakeActor* near = Target("near", {-300, 0, 0});
    FakeActor* far = Target("far", {-600, 0, 0});
    FakeActor* behindWall = Target("behind", {300, 0, 0});
    mGun->mHit.directHitOnly = 1;

    // 3000 units per second: the first 0.1 s step reaches x = -400.
    Shoot({-100, 0, 0}, {-1, 0, 0});
    std::vector<TsSendEvent> events = Step(0.1f);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].target, near);
    EXPECT_EQ(events[0].sender, mGun);
    EXPECT_EQ(events[0].id, 10);
    EXPECT_FLOAT_EQ(events[0].value, 35.0f) << "a body hit";
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);
    // Without a blast the impact ends in its first update, in the frame of the hit.
    EXPECT_EQ(Ammunition::LiveImpacts(), 0);

    // Toward the actor behind the wall: the wall is hit, nobody is damaged.
    Shoot({-100, 0, 0}, {1, 0, 0});
    events = Step(0.1f);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);
    EXPECT_EQ(Ammunition::LiveImpacts(), 0) << "a world hit without a blast ends at once";

    // A wall whose green byte holds 0x20 lets the shot through to the actor.
    World* glass = MakeColouredWall(200, 0x20);
    ASSERT_NE(glass, nullptr);
    mLevel->SetMainWorld(glass);
    Shoot({-100, 0, 0}, {1, 0, 0});
    events = Step(0.2f);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].target, behindWall);
    mLevel->SetMainWorld(mWallWorld);
    World::Destroy(glass);
    (void)far;
}

TEST_F(Ammo, ImpactsPlayBySurfaceAndEffectAndMakeTheirNoise)
{
    RecordingEffects effects;
    KfxManagerBackend* previous = KfxManager::GetBackend();
    KfxManager::Install(&effects);
    ASSERT_EQ(TriggerManager::Create(), 1);
    auto* worldSound = new CountingSound();
    auto* actorSound = new CountingSound();
    WeaponHitRecord& hit = mGun->mHit;
    hit.SetImpactSounds(worldSound, actorSound);
    FakeActor* victim = Target("victim", {-300, 0, 0});

    const struct
    {
        const char* name;
        int32_t kind;
        uint8_t surface;
        int32_t worldEffect;
        int32_t actorEffect;
        int32_t worldSounds, actorSounds, played, bound;
    } cases[] = {
        {"world, surface 0", Impact::kWorldHit, 0, 5, 7, 0, 0, -1, -1},
        {"world, surface 200", Impact::kWorldHit, 200, 5, 7, 1, 0, 5, -1},
        {"world, effect 60", Impact::kWorldHit, 200, 60, 7, 1, 0, -1, -1},
        {"world, no effect", Impact::kWorldHit, 200, -1, 7, 1, 0, -1, -1},
        {"world, a ground effect without its ground", Impact::kWorldHit, 200, 44, 7, 1, 0, 44, -1},
        {"actor, no effect", Impact::kActorHit, 200, 5, -1, 0, 0, -1, -1},
        {"actor, effect 7", Impact::kActorHit, 200, 5, 7, 0, 1, -1, 7},
    };
    for (const auto& c : cases)
    {
        worldSound->plays = actorSound->plays = 0;
        effects.plays.clear();
        effects.binds.clear();
        hit.worldImpactEffect = c.worldEffect;
        hit.actorImpactEffect = c.actorEffect;
        Impact* impact = Ammunition::TakeImpact();
        ASSERT_NE(impact, nullptr);
        mScene->GetRoot()->AttachChild(impact);
        const Vector at = {-290, 5, 0};
        ::Frame::Translate(impact->GetEngineFrame(), &at, kCombineReplace);
        ::Frame::SyncDirtyList();
        const uint8_t surface[4] = {c.surface, 0, 0, 255};
        W3dNode* node = c.kind == Impact::kActorHit ? victim->mNode : nullptr;
        impact->Start(&hit, node, c.kind, Projectil::kBody, surface, {1, 0, 0});
        EXPECT_EQ(worldSound->plays, c.worldSounds) << c.name;
        EXPECT_EQ(actorSound->plays, c.actorSounds) << c.name;
        ASSERT_EQ(effects.plays.size(), c.played >= 0 ? 1u : 0u) << c.name;
        if (c.played >= 0)
        {
            EXPECT_EQ(effects.plays[0].index, c.played) << c.name;
            EXPECT_EQ(effects.plays[0].position.x, -290.0f) << c.name;
            EXPECT_EQ(effects.plays[0].direction.x, 1.0f) << c.name;
        }
        ASSERT_EQ(effects.binds.size(), c.bound >= 0 ? 1u : 0u) << c.name;
        if (c.bound >= 0)
        {
            EXPECT_NE(impact->mEffect, nullptr);
            EXPECT_EQ(victim->mNode->GetAttachments().GetCount(), 1) << "the node keeps the effect";
        }
        Ammunition::FreeImpact(impact->mRingPosition);
    }

    // The impact's noise: a trigger at its place.
    hit.impactNoise = TsNoiseRowByName("MEDIUM_NORMAL");
    ASSERT_GT(TsGetSoundRadius(hit.impactNoise), 0);
    Impact* impact = Ammunition::TakeImpact();
    mScene->GetRoot()->AttachChild(impact);
    const uint8_t none[4] = {0, 0, 0, 0};
    impact->Start(&hit, nullptr, Impact::kWorldHit, Projectil::kWorld, none, {1, 0, 0});
    EXPECT_EQ(TriggerManager::GetLiveCount(), 1);

    hit.SetImpactSounds(nullptr, nullptr);
    TriggerManager::Free();
    KfxManager::Install(previous);
}

TEST_F(Ammo, HeadAndHeartHitsSendNineHundredNinetyNine)
{
    ::Frame* headFrame = ::Frame::Create();
    ::Frame* heartFrame = ::Frame::Create();
    const Vector headAt = {0, 170, 0}, heartAt = {0, 120, 0};
    ::Frame::Translate(headFrame, &headAt, kCombineReplace);
    ::Frame::Translate(heartFrame, &heartAt, kCombineReplace);
    ShootSphere head, heart;
    head.ownFrame = headFrame;
    head.radius = 15.0f;
    head.radiusSquared = 225.0f;
    head.enabled = 1;
    heart.ownFrame = heartFrame;
    heart.radius = 40.0f;
    heart.radiusSquared = 1600.0f;
    heart.enabled = 1;
    ShootSphere off = head;
    off.enabled = 0;
    const struct
    {
        const char* name;
        Vector point;
        const ShootSphere* head;
        const ShootSphere* heart;
        int32_t part;
        float value;
    } cases[] = {
        {"in the head", {0, 175, 5}, &head, &heart, Projectil::kHead, 999.0f},
        {"on the head's surface", {0, 185, 0}, &head, &heart, Projectil::kBody, 35.0f},
        {"in the heart", {0, 100, 0}, &head, &heart, Projectil::kHeart, 999.0f},
        {"in both: the heart", {0, 158, 0}, &head, &heart, Projectil::kHeart, 999.0f},
        {"the body", {0, 50, 0}, &head, &heart, Projectil::kBody, 35.0f},
        {"a sphere switched off", {0, 170, 0}, &off, nullptr, Projectil::kBody, 35.0f},
    };
    for (const auto& c : cases)
    {
        const int32_t part = AmmoHitPart(c.point, c.head, c.heart);
        EXPECT_EQ(part, c.part) << c.name;
        EXPECT_EQ(AmmoHitValue(part, 35), c.value) << c.name;
    }
    ::Frame::Destroy(headFrame);
    ::Frame::Destroy(heartFrame);
}

TEST_F(Ammo, CollectedActorsAndTheWeaponMayDieInFlight)
{
    FakeActor* doomed = Target("doomed", {-300, 0, 0});
    FakeActor* victim = Target("victim", {-2000, 0, 0});
    mGun->mHit.flightSpeed = PerTick(100.0f);
    Projectil* projectile = Ammunition::GetProjectile(Shoot({-100, 0, 0}, {-1, 0, 0}));
    ASSERT_NE(projectile, nullptr);
    ASSERT_EQ(projectile->mCollectedCount, 2);
    // The first collected actor dies: its entry reads as gone, the shot flies on through.
    mWorld->RemoveActor(doomed);
    mScene->GetRoot()->RemoveChild(doomed->mNode);
    mActors.erase(std::find(mActors.begin(), mActors.end(), doomed));
    doomed->Release();
    Step(0.1f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 1);
    EXPECT_FALSE(projectile->mCollected[0].IsValid());
    EXPECT_EQ(projectile->mCollected[1].GetObject(), victim);

    // An impact hanging on an actor's node goes back to its ring when the node leaves the level.
    Impact* impact = Ammunition::TakeImpact();
    ASSERT_NE(impact, nullptr);
    victim->mNode->AttachChild(impact);
    EXPECT_EQ(Ammunition::LiveImpacts(), 1);
    mScene->GetRoot()->RemoveChild(victim->mNode);
    EXPECT_EQ(Ammunition::LiveImpacts(), 0);
    EXPECT_EQ(impact->GetScene(), nullptr);
    mGun->Release();
    mGun = nullptr;
    Step(0.1f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0) << "its record died with the weapon";
}

TEST_F(Ammo, BlastGrowsTwentyUnitsAFrameAndEndsOnTheFifteenthFrame)
{
    WeaponHitRecord& hit = mGun->mHit;
    hit.directHitOnly = 0;
    hit.blastRadius = 300.0f;
    hit.blastSpeed = PerTick(600.0f);
    hit.blastDamage = 100.0f;
    hit.blastFalloff = 10.0f;
    hit.hitEvent = 13;
    const struct
    {
        const char* name;
        float distance;
        int32_t frame; // the frame whose ring reaches it; 0 never
    } cases[] = {
        {"at the centre", 2.0f, 0},
        {"close", 50.0f, 3},
        {"far", 250.0f, 13},
        {"past the blast radius", 350.0f, 0},
        {"beyond radius + 100", 450.0f, 0},
    };
    std::vector<FakeActor*> actors;
    for (const auto& c : cases)
        actors.push_back(Target(c.name, {-500 - c.distance, 0, 0}));
    Impact* impact = Ammunition::TakeImpact();
    ASSERT_NE(impact, nullptr);
    mScene->GetRoot()->AttachChild(impact);
    const Vector at = {-500, 0, 0};
    ::Frame::Translate(impact->GetEngineFrame(), &at, kCombineReplace);
    ::Frame::SyncDirtyList();
    const uint8_t surface[4] = {0, 0, 0, 0};
    impact->Start(&hit, nullptr, Impact::kWorldHit, Projectil::kWorld, surface, {0, 1, 0});
    ASSERT_TRUE(impact->mLive);
    EXPECT_EQ(impact->mCollectedCount, 4) << "all but the one beyond radius + 100";

    std::vector<int32_t> reached(actors.size(), 0);
    int32_t frames = 0;
    while (impact->mLive && frames < 40)
    {
        ++frames;
        for (const TsSendEvent& e : Step(1.0f / 30.0f))
        {
            for (size_t i = 0; i < actors.size(); ++i)
                if (e.target == actors[i])
                {
                    EXPECT_EQ(reached[i], 0) << cases[i].name << " hit twice";
                    reached[i] = frames;
                    EXPECT_EQ(e.id, 13);
                    // The ring's radius this frame: 4 + 20 n.
                    EXPECT_NEAR(e.value, 100.0f - (4.0f + 20.0f * float(frames)) * 10.0f * 0.01f, 0.05f);
                }
        }
        if (frames <= 14)
            EXPECT_NEAR(impact->mBlastRadius, 4.0f + 20.0f * float(frames), 0.05f);
    }
    EXPECT_EQ(frames, 15);
    for (size_t i = 0; i < actors.size(); ++i)
        EXPECT_EQ(reached[i], cases[i].frame) << cases[i].name;
}

TEST_F(Ammo, CasingFliesAsTheDebrisBouncesThreeTimesAtHalfSpeedAndSoundsOnce)
{
    auto* sound = new CountingSound();
    sound->AddRef();
    WeaponCasingRecord record;
    record.model = 0;
    record.ejection = {PerTick(60.0f), PerTick(150.0f), 0.0f};
    record.lifetime = Ticks(20.0f);
    record.SetSound(sound);
    Matrix frame = {};
    frame.right.x = frame.up.y = frame.at.z = 1.0f;
    frame.pos = {-300, 50, 0};
    WeaponAmmoSource* source = WeaponGetAmmoSource();
    const int32_t handle = source->TakeCasing();
    ASSERT_GE(handle, 0);
    source->LaunchCasing(handle, record, frame, 0.0f);
    Casing* casing = Ammunition::GetCasing(handle);
    ASSERT_TRUE(casing->mLive);
    EXPECT_EQ(Ammunition::GeometryInUse(), 1);
    const Vector v = casing->mVelocity;
    const int64_t launched = casing->mLaunchTime;

    // Before the first bounce its place is the debris displacement from the launch point.
    for (int32_t i = 0; i < 5; ++i)
    {
        Step(0.02f);
        float expected[3];
        const float velocity[3] = {v.x, v.y, v.z};
        PhysicsDisplacement(AmmoNow() - launched, velocity, expected);
        const Vector* at = casing->GetWorldPosition();
        EXPECT_NEAR(at->x, -300.0f + expected[0], 0.05f);
        EXPECT_NEAR(at->y, 50.0f + expected[1], 0.05f);
    }

    // A frame without time moves nothing.
    const Vector before = *casing->GetWorldPosition();
    casing->Update();
    EXPECT_EQ(casing->GetWorldPosition()->y, before.y);

    std::vector<float> speeds;
    int32_t bounces = 0;
    for (int32_t i = 0; i < 2000 && casing->mBounces < Casing::kMaxBounces; ++i)
    {
        Step(0.01f);
        if (casing->mBounces != bounces)
        {
            bounces = casing->mBounces;
            EXPECT_GT(casing->mVelocity.y, 0.0f) << "leaves upward";
            EXPECT_GE(casing->GetWorldPosition()->y, 0.0f);
            speeds.push_back(
                std::sqrt(casing->mVelocity.x * casing->mVelocity.x + casing->mVelocity.y * casing->mVelocity.y));
        }
    }
    ASSERT_EQ(casing->mBounces, 3);
    ASSERT_EQ(speeds.size(), 3u);
    for (size_t i = 1; i < speeds.size(); ++i)
        EXPECT_NEAR(speeds[i] / speeds[i - 1], 0.5f, 0.05f) << "bounce " << i;
    EXPECT_EQ(sound->plays, 1);
    const Vector rest = *casing->GetWorldPosition();
    Step(0.5f);
    EXPECT_EQ(casing->GetWorldPosition()->x, rest.x) << "at rest";

    // Its lifetime ends: faded (no model to fade) and back in the ring.
    Step(25.0f);
    Step(0.01f);
    EXPECT_EQ(Ammunition::LiveCasings(), 0);
    EXPECT_EQ(Ammunition::GeometryInUse(), 0);
    record.SetSound(nullptr);
    sound->Release();
}

// The streak's drawing: the callbacks around it set a texture, log the device calls and read the
// texture back.
Raster* gTexture = nullptr;
intptr_t gTextureAfter = -1;

void SetTexture(void*)
{
    Engine::Current()->device.setRenderState(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(gTexture));
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
}

void ReadTexture(void*)
{
    d3d9test::EnableCallLog(false);
    Engine::Current()->device.getRenderState(kRenderStateTextureRaster, &gTextureAfter);
}

TEST_F(Ammo, TheStreakIsACrossOfTwoTrianglesFadingTowardTheProjectileAndLeavesTheTextureAsItWas)
{
    WRenderer* renderer = WRenderer::Instance();
    renderer->SetScene(mScene);
    W3dCamera* camera = W3dCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->AddRef();
    mScene->GetRoot()->AttachChild(camera);
    renderer->SetCamera(camera);
    const Rgba background = {0x20, 0x30, 0x40, 0xFF};
    camera->SetClearColor(background);
    gTexture = Raster::Create(4, 4, 32, kRasterTypeTexture);
    ASSERT_NE(gTexture, nullptr);

    // Flying along +x in front of the camera, its streak trailing 200 units: the first frame
    // moves it 250 units, to where the whole streak fills the picture's width.
    const float depth = 240.0f / camera->GetCamera()->viewWindow.x, length = 200.0f;
    ASSERT_EQ(renderer->AddCustomRenderCallback(SetTexture, nullptr), 0);
    mGun->mHit.hitsWorld = 0;
    mGun->mHit.flightSpeed = PerTick(3000.0f);
    mGun->mHit.launchSpeed = PerTick(10.0f);
    mGun->mHit.lifetime = Ticks(10.0f);
    // An actor beside the path keeps the shot in flight; nothing of the level is drawn.
    Target("mark", {-220, 0, depth + 120});
    mLevel->SetMainWorld(nullptr);
    ASSERT_GE(Shoot({-150, 0, depth}, {1, 0, 0}), 0);
    ASSERT_EQ(Ammunition::LiveProjectiles(), 1);
    ASSERT_EQ(renderer->AddCustomRenderCallback(ReadTexture, nullptr), 2);
    HbGameClock* clock = HbGameClock::Instance();
    clock->mGameTime += Ticks(250.0f / 3000.0f);
    for (int frame = 0; frame < 2; ++frame)
    {
        ASSERT_EQ(renderer->BeginFrame(), 1);
        renderer->UpdateFrame();
        renderer->RenderScene();
        renderer->EndFrame();
    }
    EXPECT_EQ(gTextureAfter, reinterpret_cast<intptr_t>(gTexture)) << "the texture is given back";
    std::vector<std::string> draws;
    for (const d3d9test::Call& call : d3d9test::CallLog())
        if (call.name.rfind("Draw", 0) == 0)
            draws.push_back(call.Text());
    ASSERT_EQ(draws.size(), 2u) << "one triangle per pass";
    for (const std::string& draw : draws)
        EXPECT_NE(draw.find(", 1"), std::string::npos) << draw;

    int32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = ReadViewport(&width, &height);
    ASSERT_GT(width, 0);
    Projectil* projectile = Ammunition::GetProjectile(0);
    ASSERT_TRUE(projectile->mLive);
    const float head = Frame::GetWorldMatrix(projectile->GetEngineFrame())->pos.x;
    const Camera* engine = camera->GetCamera();
    // Pixel centres to the streak's plane (the picture is mirrored in x); the device samples a
    // pixel at its integer corner.
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        const float x = (0.5f - (px - 0.5f) / float(width)) * 2.0f * engine->viewWindow.x * depth;
        const float y = (0.5f - (py - 0.5f) / float(height)) * 2.0f * engine->viewWindow.y * depth;
        const float t = (head - x) / length; // 0 at the projectile, 1 at the tail's tip
        const bool inside = t >= 0.0f && t <= 1.0f && std::fabs(y) <= 2.0f * (1.0f - t);
        if (!inside)
            return 0xFF203040u;
        const float a = (75.0f + (200.0f - 75.0f) * t) / 255.0f;
        auto mix = [a](float src, float dst) { return uint32_t(std::lround(src * a + dst * (1.0f - a))); };
        return 0xFF000000u | mix(255, 0x20) << 16 | mix(0xFA, 0x30) << 8 | mix(0xD2, 0x40);
    };
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(width, height, pixels, colourAt, {-0.6f, 0.6f});
    int32_t streakPixels = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        streakPixels += expected[i] != 0xFF203040u ? 1 : 0;
    EXPECT_GT(streakPixels, 100);
    EXPECT_EQ(framecheck::CheckFrame("ammunition_streak", width, height, pixels, expected, 3), "");

    renderer->SetCamera(nullptr);
    renderer->ReleaseScene();
    mLevel->SetMainWorld(mWallWorld);
    mScene->GetRoot()->RemoveChild(camera);
    camera->Release();
    Ammunition::FreeProjectile(0);
    Raster::Destroy(gTexture);
    gTexture = nullptr;
}

// ---- A magazine seen from above --------------------------------------------------------------------

/// The casing model: a prelit box 20 units square and 6 high about its origin.
std::vector<uint8_t> CasingBytes()
{
    GeometryDescription g;
    GeometryDescription::MorphTarget target;
    const float h = kCasingHalf, y = 3.0f;
    target.positions = {-h, y, -h, h, y, -h, -h, y, h, h, y, h, -h, -y, -h, h, -y, -h, -h, -y, h, h, -y, h};
    g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}, {4, 5, 6, 0}, {5, 7, 6, 0}, {0, 1, 4, 0}, {1, 5, 4, 0},
                   {2, 6, 3, 0}, {3, 6, 7, 0}, {0, 4, 2, 0}, {2, 4, 6, 0}, {1, 3, 5, 0}, {3, 7, 5, 0}};
    g.numVertices = 8;
    target.sphere = {0, 0, 0, std::sqrt(2 * h * h + y * y) + 0.01f};
    g.format = kGeometryPositions | kGeometryPrelit;
    g.prelit.assign(8, {kCasingColour[0], kCasingColour[1], kCasingColour[2], 255});
    g.targets = {target};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    ClumpDescription c;
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {g};
    c.atomics = {ClumpDescription::Atomic{}};
    return ClumpWriter::Write(c);
}

/// An impact flash: one opaque particle of the colour, square and facing the camera, that
/// outlives the test.
std::string FlashScript(float size, uint8_t red, uint8_t green, uint8_t blue)
{
    KEmitterDef def;
    def.group = 2;
    def.maxParticles = 1;
    def.particleLife = 100.0f;
    def.srcBlend = 2; // one
    def.dstBlend = 1; // zero
    def.emitterSection.size.value[0] = def.emitterSection.size.value[1] = size;
    def.emitterSection.color.value[0] = red;
    def.emitterSection.color.value[1] = green;
    def.emitterSection.color.value[2] = blue;
    return FxScriptWriter::Script({&def});
}

/// Inside the triangle (a, b, c) of the plane, either winding.
bool InTriangle(float x, float y, const float a[2], const float b[2], const float c[2])
{
    auto side = [&](const float* p, const float* q) { return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0]); };
    const float d0 = side(a, b), d1 = side(b, c), d2 = side(c, a);
    return (d0 >= 0 && d1 >= 0 && d2 >= 0) || (d0 <= 0 && d1 <= 0 && d2 <= 0);
}

TEST_F(Ammo, AMagazineAtADummyAndAtTheWallCountsRoundsDamagesTheDummyShowsFlashesAndCasingsAndFreesEveryRingSlot)
{
    // The casing model and the two impact flashes, made by the writers and loaded as the game
    // loads them: the rings take their models at start-up, the effects load from their scripts.
    Declare("CASING_WO", "casing.dff", CasingBytes());
    Declare("FX_TEST_WALL_SCR", "wall.txt", FlashScript(kWallFlash, 0xFF, 0x20, 0x20));
    Declare("FX_TEST_DUMMY_SCR", "dummy.txt", FlashScript(kDummyFlash, 0x20, 0x20, 0xFF));
    AmmoManagerShutdown();
    AmmoGeometryDeclareRows();
    ASSERT_EQ(AmmoManager::Preallocate(), 1);
    KfxManagerImp effects;
    effects.SetDefinitionCount(3);
    effects.LoadDefinition(1, "FX_TEST_WALL_SCR");
    effects.LoadDefinition(2, "FX_TEST_DUMMY_SCR");
    effects.LoadAll();
    ASSERT_EQ(effects.GetDefinition(1)->GetClassCount(), 1);
    effects.AssignRenderLists();
    KfxManagerBackend* previousEffects = KfxManager::GetBackend();
    KfxManager::Install(&effects);
    mGun->mHit.worldImpactEffect = 1;
    mGun->mHit.actorImpactEffect = 2;

    // The gun at (-100, 40, 0): its muzzle along -x toward the dummy, then along +x at the wall.
    W3dObject* model = W3dObject::Create();
    model->SetClump(renderertest::MakeClump({nullptr}));
    mGun->SetModel(model);
    ASSERT_NE(mGun->GetMuzzleFrame(), nullptr);
    mScene->GetRoot()->AttachChild(model);
    mGun->mMagazineSize = 6;
    mGun->mMaxSpread = -1.0f;
    mGun->SetAmmo(12);
    mGun->mCasing.model = 0;
    mGun->mCasing.lifetime = Ticks(0.5f);
    mGun->mCasing.ejection = {PerTick(50.0f), PerTick(100.0f), 0.0f};
    FakeActor* dummy = Target("dummy", {-400, 40, 0}, HeroEnemyFamily, 1000);
    // The dummy's script takes its hits off its hit points.
    ASSERT_EQ(Exec("dummy_hp = [1000]\n"
                   "def hurt(event):\n"
                   "    dummy_hp[0] -= int(event[1])\n"),
              "");
    Register(dummy, mGun->mHit.hitEvent, "hurt", 0.0f);

    auto aim = [&](float along)
    {
        ::Frame* frame = model->GetEngineFrame();
        ::Frame::SetIdentity(frame);
        const Vector yAxis = {0, 1, 0};
        ::Frame::Rotate(frame, &yAxis, along, kCombineReplace);
        const Vector at = {-100, 40, 0};
        ::Frame::Translate(frame, &at, kCombinePostConcat);
        ::Frame::SyncDirtyList();
    };
    // The head-up display's reader of the weapon in hand.
    WeaponHudAccess hud;
    HeroHudAccess* previousHud = HeroHudAccess::Get();
    HeroHudAccess::Install(&hud);
    WeaponDisplayData shown;
    ASSERT_EQ(HeroHudAccess::Get()->GetWeaponDisplayData(mGun, &shown), 1);
    int32_t rounds = shown.rounds;
    EXPECT_EQ(rounds, 6);
    Vector muzzle[2] = {};
    for (int32_t shot = 0; shot < 6; ++shot)
    {
        aim(shot < 3 ? -90.0f : 90.0f);
        muzzle[shot < 3 ? 0 : 1] = Frame::GetWorldMatrix(mGun->GetMuzzleFrame())->pos;
        ASSERT_EQ(mGun->Fire(1.0f, 1), 1) << shot;
        ASSERT_EQ(HeroHudAccess::Get()->GetWeaponDisplayData(mGun, &shown), 1);
        EXPECT_EQ(shown.rounds, rounds - 1) << "one round a shot";
        rounds = shown.rounds;
        Step(0.05f);
    }
    Step(0.05f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0) << "every shot has hit";
    ASSERT_EQ(Ammunition::LiveCasings(), 6) << "no casing has outlived its half second";

    // Seen from above: the floor, the six casings where they fly, a flash on the wall and one
    // on the dummy where the shots struck.
    mScene->GetRoot()->RemoveChild(model);
    Matrix view;
    const std::vector<uint32_t> pixels = DrawFromAbove({-200, 0, 0}, &view);
    std::vector<std::array<float, 24>> casings;
    for (int32_t i = 0; i < Ammunition::kCasings; ++i)
        if (Casing* casing = Ammunition::GetCasing(i); casing && casing->mLive)
        {
            ASSERT_NE(casing->mModel, nullptr);
            ASSERT_NE(casing->mModel->model, nullptr) << "each casing has its model";
            const Matrix* m = ::Frame::GetWorldMatrix(casing->mModel->model->GetEngineFrame());
            std::array<float, 24> corners;
            for (int32_t k = 0; k < 8; ++k)
            {
                const float x = (k & 1) ? kCasingHalf : -kCasingHalf, y = (k & 2) ? 3.0f : -3.0f,
                            z = (k & 4) ? kCasingHalf : -kCasingHalf;
                corners[size_t(k) * 3 + 0] = m->pos.x + x * m->right.x + y * m->up.x + z * m->at.x;
                corners[size_t(k) * 3 + 1] = m->pos.y + x * m->right.y + y * m->up.y + z * m->at.y;
                corners[size_t(k) * 3 + 2] = m->pos.z + x * m->right.z + y * m->up.z + z * m->at.z;
            }
            casings.push_back(corners);
        }
    int32_t width = 0, height = 0;
    ReadViewport(&width, &height);
    ASSERT_EQ(pixels.size(), size_t(width) * size_t(height));
    // Where the casings lie (x and z), to spare most pixels the triangle tests.
    float box[4] = {1e9f, -1e9f, 1e9f, -1e9f};
    for (const auto& corners : casings)
        for (size_t k = 0; k < 8; ++k)
        {
            box[0] = std::min(box[0], corners[k * 3]);
            box[1] = std::max(box[1], corners[k * 3]);
            box[2] = std::min(box[2], corners[k * 3 + 2]);
            box[3] = std::max(box[3], corners[k * 3 + 2]);
        }
    // Pixel centres to the floor's plane through the camera's axes (the picture is mirrored
    // in x); the flashes face the camera, the casings are the boxes their matrices place.
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        const float sx = -(px / float(width) * 2.0f - 1.0f) * kMagazineView;
        const float sy = -(py / float(height) * 2.0f - 1.0f) * kMagazineView * float(height) / float(width);
        const float wx = view.pos.x + sx * view.right.x + sy * view.up.x;
        const float wz = view.pos.z + sx * view.right.z + sy * view.up.z;
        const struct
        {
            Vector at;
            float size;
            uint32_t colour;
        } flashes[] = {{{0.0f, muzzle[1].y, muzzle[1].z}, kWallFlash, 0xFFFF2020u},
                       // The dummy's face at -390, the hit pushed 10 units on along the flight.
                       {{-400.0f, muzzle[0].y, muzzle[0].z}, kDummyFlash, 0xFF2020FFu}};
        for (const auto& f : flashes)
            if (std::fabs(wx - f.at.x) <= f.size / 2 && std::fabs(wz - f.at.z) <= f.size / 2)
                return f.colour;
        static const int32_t faces[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                             {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 3, 7}, {1, 7, 5}};
        if (wx < box[0] || wx > box[1] || wz < box[2] || wz > box[3])
            return 0xFF000000u;
        for (const auto& corners : casings)
            for (const auto& face : faces)
            {
                float a[2] = {corners[size_t(face[0]) * 3], corners[size_t(face[0]) * 3 + 2]};
                float b[2] = {corners[size_t(face[1]) * 3], corners[size_t(face[1]) * 3 + 2]};
                float c[2] = {corners[size_t(face[2]) * 3], corners[size_t(face[2]) * 3 + 2]};
                if (InTriangle(wx, wz, a, b, c))
                    return 0xFF000000u | uint32_t(kCasingColour[0]) << 16 | uint32_t(kCasingColour[1]) << 8 |
                           kCasingColour[2];
            }
        // The floor, unlit.
        return 0xFF000000u;
    };
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(width, height, pixels, colourAt, {-0.6f, 0.6f});
    int32_t seen[3] = {};
    for (uint32_t colour : expected)
    {
        seen[0] += colour == 0xFFFF2020u;
        seen[1] += colour == 0xFF2020FFu;
        seen[2] += colour == 0xFFE0C020u;
    }
    EXPECT_GT(seen[0], 400) << "the wall's flash";
    EXPECT_GT(seen[1], 400) << "the dummy's flash";
    EXPECT_GT(seen[2], 6 * 20) << "six casings";
    EXPECT_EQ(framecheck::CheckFrame("ammunition_magazine", width, height, pixels, expected, 3), "");

    EXPECT_EQ(Eval("dummy_hp[0]"), "895") << "three hits of the record's damage";
    for (int32_t i = 0; i < 40; ++i)
        Step(0.05f);
    for (int32_t i = 0; i < 20; ++i)
        Step(0.1f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);
    EXPECT_EQ(Ammunition::LiveImpacts(), 0);
    EXPECT_EQ(Ammunition::LiveCasings(), 0);
    EXPECT_EQ(Ammunition::GeometryInUse(), 0);
    HeroHudAccess::Install(previousHud);
    KfxManager::Install(previousEffects);
    effects.Shutdown();
}

TEST_F(Ammo, ResetAllAndShutdownLeaveNothingBehind)
{
    Target("victim", {-300, 0, 0});
    mGun->mHit.flightSpeed = PerTick(100.0f);
    for (int32_t i = 0; i < 5; ++i)
        Shoot({-100, 0, 0}, {-1, 0, 0});
    WeaponCasingRecord record;
    record.model = 0;
    record.lifetime = Ticks(5.0f);
    Matrix frame = {};
    frame.right.x = frame.up.y = frame.at.z = 1.0f;
    WeaponAmmoSource* source = WeaponGetAmmoSource();
    for (int32_t i = 0; i < 3; ++i)
        source->LaunchCasing(source->TakeCasing(), record, frame, -50.0f);
    EXPECT_EQ(Ammunition::LiveProjectiles(), 5);
    EXPECT_EQ(Ammunition::LiveCasings(), 3);
    AmmoManagerResetAll();
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);
    EXPECT_EQ(Ammunition::LiveCasings(), 0);
    EXPECT_EQ(Ammunition::LiveImpacts(), 0);
    EXPECT_EQ(Ammunition::GeometryInUse(), 0);
    EXPECT_EQ(mScene->GetRoot()->GetChildren().GetCount(), int32_t(mActors.size()));

    AmmoManagerShutdown();
    EXPECT_EQ(AmmoManager::IsPreallocated(), 0);
    EXPECT_EQ(Ammunition::GetProjectile(0), nullptr);
    EXPECT_EQ(Projectil::sAmmoPool.Get()->GetUsedCount(), 0);
    EXPECT_EQ(Casing::sAmmoPool.Get()->GetUsedCount(), 0);
    EXPECT_EQ(Impact::sAmmoPool.Get()->GetUsedCount(), 0);
    AmmoManagerResetAll(); // nothing after the shut-down
}

// ---- The shoot helper's pick -----------------------------------------------------------------------

class ShootPick : public Ammo
{
protected:
    void SetUp() override
    {
        Ammo::SetUp();
        TsCamera* camera = TsCamera::Create();
        ASSERT_NE(camera, nullptr);
        const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
        TsCameraRegistry::SetCurrentCamera(id);
        // From (-500, 0, -900) along +z, the wall well to its left.
        const Vector at = {-500, 0, -900};
        ::Frame::Translate(TsCameraRegistry::GetCurrentCameraNode(), &at, kCombineReplace);
        ::Frame::SyncDirtyList();
        ShootHelperInit();
        SetShootHelper(1);
    }
    void TearDown() override
    {
        SetShootHelper(0);
        Ammo::TearDown();
    }
};

TEST_F(ShootPick, SurveyKeepsWhatTheCameraSeesAndPicksTheNearestToTheCentre)
{
    FakeActor* ahead = Target("ahead", {-520, 0, -400});
    Target("aside", {-700, 0, -400});
    Target("behind", {-500, 0, -1200});
    Target("friend", {-300, 0, -400}, HeroFriendFamily);
    Target("hero", {-500, 0, -500}, HeroFamily);
    Target("dead", {-500, 0, -300}, HeroEnemyFamily, 0)->mHitPoints = 0;
    Vector point;
    ASSERT_EQ(ShootHelperCameraTarget(&point), 1);
    EXPECT_EQ(ShootHelperTargetCount(), 2) << "ahead and aside; not behind, the hero or the dead";
    EXPECT_EQ(ShootHelperBlockerCount(), 1);
    // The body point: 30 above the centre of the nearest to the screen centre.
    EXPECT_NEAR(point.x, -520.0f, 0.01f);
    EXPECT_NEAR(point.y, 30.0f, 0.01f);
    EXPECT_NEAR(point.z, -400.0f, 0.01f);
    (void)ahead;

    // The weapon's pick uses the spread: "aside" is far outside it.
    ASSERT_EQ(ShootHelperWeaponTarget(&point), 1);
    EXPECT_NEAR(point.x, -520.0f, 0.01f);
    ShootHelperSetAimActive(0);
    EXPECT_EQ(ShootHelperWeaponTarget(&point), 0) << "the aim ray rests on an enemy";
}

TEST_F(ShootPick, AFriendInTheWayPassesThePickToTheNextCandidate)
{
    Target("hidden", {-500, 30, -200});
    Target("friend", {-500, 30, -500}, HeroFriendFamily);
    Target("next", {-560, 0, -300});
    Vector point;
    ASSERT_EQ(ShootHelperCameraTarget(&point), 1);
    EXPECT_NEAR(point.x, -560.0f, 0.01f) << "the one behind the friend is skipped";

    // Behind the wall nothing is picked.
    TsCameraRegistry::Clear();
    EXPECT_EQ(ShootHelperCameraTarget(&point), 0) << "no camera, no target";
}
} // namespace
