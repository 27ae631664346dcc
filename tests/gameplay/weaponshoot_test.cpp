// The game's weapons: the shot after the trigger, the rounds, tracers, the spread seen from the
// launch, an empty projectile ring, the difficulty and unlimited ammunition; in a script world
// the muzzle flash, the casing, the hero's camera kick and aim correction, the strike effect, the
// pools and the start-up tables.
#include "frame.h"
#include "fxcontext.h"
#include "gameplayactortypes.h"
#include "hbclock.h"
#include "hbrandom.h"
#include "kfxmanager.h"
#include "renderer_fixture.h"
#include "scene_fixture.h"
#include "scriptworld_fixture.h"
#include "shoothelper.h"
#include "tsactortyperegistry.h"
#include "tsanimactor.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "w3dframe.h"
#include "w3dobject.h"
#include "weaponcontact.h"
#include "weaponshoot.h"
#include "weapontables.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
class Ring : public WeaponAmmoSource
{
public:
    int32_t TakeProjectile() override { return mFree > 0 ? --mFree, int32_t(mLaunches.size()) : -1; }
    void LaunchProjectile(int32_t, const WeaponLaunch& launch) override { mLaunches.push_back(launch); }
    int32_t TakeCasing() override { return mCasings > 0 ? --mCasings, 0 : -1; }
    void LaunchCasing(int32_t, const WeaponCasingRecord&, const Matrix& frame, float floor) override
    {
        ++mCasingsLaunched;
        mCasingFrom = frame.pos;
        mCasingFloor = floor;
    }
    int32_t mFree = 1000000;
    int32_t mCasings = 0;
    int32_t mCasingsLaunched = 0;
    Vector mCasingFrom = {0.0f, 0.0f, 0.0f};
    float mCasingFloor = 0.0f;
    std::vector<WeaponLaunch> mLaunches;
};

class WeaponShootTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        WeaponSetAmmoSource(&mRing);
        mGun = new WeaponShoot();
        mGun->AddRef();
        mGun->mMagazineSize = 1;
        mGun->mMaxSpread = -1.0f;
        mGun->SetAmmo(2); // one in the magazine, one spare
    }
    void TearDown() override
    {
        mGun->Release();
        WeaponSetAmmoSource(nullptr);
        WeaponSetProfileReaders(nullptr, nullptr);
        RendererTest::TearDown();
    }
    Ring mRing;
    WeaponShoot* mGun = nullptr;
};

TEST_F(WeaponShootTest, MagazineOfOneShootsClicksOnceThenSilentAndShootsAfterReload)
{
    EXPECT_EQ(mGun->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRing.mLaunches.size(), 1u);
    EXPECT_EQ(mGun->mMagazine, 0);
    EXPECT_EQ(mGun->Fire(1.0f, 1), 0); // the click
    EXPECT_EQ(mGun->mReady, 0);
    EXPECT_EQ(mGun->Fire(1.0f, 1), 0); // silent
    EXPECT_EQ(mGun->Reload(), 1);
    EXPECT_EQ(mGun->Fire(1.0f, 1), 1);
    EXPECT_EQ(mRing.mLaunches.size(), 2u);
    // Spread off: along the muzzle's at axis.
    const Vector& d = mRing.mLaunches[1].direction;
    EXPECT_FLOAT_EQ(d.x, 0.0f);
    EXPECT_FLOAT_EQ(d.y, 0.0f);
    EXPECT_FLOAT_EQ(d.z, 1.0f);
    EXPECT_EQ(mRing.mLaunches[1].hit->owner, mGun);
    EXPECT_EQ(mRing.mLaunches[1].hit->wideHit, 1);
}

TEST_F(WeaponShootTest, NoFreeProjectileUsesNoRoundAndNoCasing)
{
    mRing.mFree = 0;
    mRing.mCasings = 5;
    mGun->mCasing.model = 3;
    mGun->mMuzzleEffect = 4;
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mGun->mMagazine, 1);
    EXPECT_EQ(mRing.mCasingsLaunched, 0);
    EXPECT_EQ(mGun->mFlashes, 0);
    // A free projectile but no free casing: the shot goes on without it.
    mRing.mFree = 1;
    mRing.mCasings = 0;
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mRing.mLaunches.size(), 1u);
    EXPECT_EQ(mGun->mMagazine, 0);
}

TEST_F(WeaponShootTest, TracerPeriodAndUnlimitedAmmunition)
{
    WeaponSetProfileReaders(nullptr, [] { return 1; });
    mGun->mMagazineSize = 30;
    mGun->LoadAmmunitionData();
    EXPECT_EQ(mGun->mMagazine, 30);
    EXPECT_EQ(mGun->mStock, -1);
    mGun->mTracerPeriod = 3;
    for (int i = 0; i < 9; ++i)
        mGun->Fire(1.0f, 0);
    ASSERT_EQ(mRing.mLaunches.size(), 9u);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(mRing.mLaunches[i].tracer, (i + 1) % 3 == 0 ? 1 : 0) << "shot " << i + 1;
    mGun->mTracerPeriod = 0;
    mGun->Fire(1.0f, 0);
    EXPECT_EQ(mRing.mLaunches.back().tracer, 0);
}

TEST_F(WeaponShootTest, EveryDeviationWithinTheSpreadOnBothAxes)
{
    mGun->mMinSpread = 2.0f;
    mGun->mMaxSpread = 6.0f;
    mGun->SetAmmo(-1);
    HbRandom::Instance()->GameState() = 12345u;
    constexpr float kDeg = 57.29577951f;
    float smallest = 90.0f, largest = 0.0f;
    for (int i = 0; i < 10000; ++i)
    {
        mGun->Fire(1.0f, 0);
        mGun->Reload();
        const Vector& d = mRing.mLaunches.back().direction;
        // The X turn is applied first, then the Y turn.
        const float a = std::atan2(std::fabs(d.x), d.z) * kDeg;
        const float b = std::asin(std::fabs(d.y)) * kDeg;
        smallest = std::fmin(smallest, std::fmin(a, b));
        largest = std::fmax(largest, std::fmax(a, b));
    }
    EXPECT_GE(smallest, 1.0f - 1e-3f);
    EXPECT_LE(largest, 3.0f + 1e-3f);
    EXPECT_LT(smallest, 1.1f);
    EXPECT_GT(largest, 2.9f);
}

TEST_F(WeaponShootTest, DifficultyScalesTheHitRadiusAndTheWideHitFlag)
{
    struct Case
    {
        int32_t difficulty;
        int32_t wideHit;
        float radius;
    };
    const Case cases[] = {{0, 1, 20.0f}, {1, 0, 15.0f}, {2, 0, 10.0f}, {3, 0, 10.0f}};
    mGun->mBaseHitRadius = 10.0f;
    for (const Case& c : cases)
    {
        mGun->ApplyDifficultyFor(c.difficulty);
        EXPECT_EQ(mGun->mHit.wideHit, c.wideHit) << c.difficulty;
        EXPECT_FLOAT_EQ(mGun->mHit.hitRadius, c.radius) << c.difficulty;
    }
}
} // namespace

// ---- In a script world: the hero's shots, the muzzle flash, the casing, the strike effect, the
// pools and the start-up tables ------------------------------------------------------------------

namespace scriptworldtest
{
namespace
{
/// Records what the game asks of the effect manager.
class RecordingEffects : public KfxManagerBackend
{
public:
    void SetCamera(Camera*) override {}
    void UpdateAll() override {}
    void RenderGroup(int32_t) override {}
    int32_t PlayOneShot(int32_t index, const FxContext* context) override
    {
        mPlays.push_back({index, *context});
        return 1;
    }
    int32_t BindDefinition(KFX* effect, int32_t index, const FxContext* context) override
    {
        mBinds.push_back({index, *context});
        mBoundTo.push_back(effect);
        return 1;
    }
    struct Call
    {
        int32_t index;
        FxContext context;
    };
    std::vector<Call> mPlays;
    std::vector<Call> mBinds;
    std::vector<KFX*> mBoundTo;
};

/// A camera that keeps every shake request it is sent.
class ShakeCamera : public TsCamera
{
public:
    void SetPlacement(const void* placement) override
    {
        mShakes.push_back(*static_cast<const WeaponCameraPlacement*>(placement));
    }
    std::vector<WeaponCameraPlacement> mShakes;
};

/// A hero that holds its weapon under its own node.
class Shooter : public TsAnimActor
{
public:
    Shooter()
    {
        mFrame = W3dFrame::Create();
        mFrame->AddRef();
    }
    ~Shooter() override
    {
        if (W3dNode* parent = mFrame->GetParent())
            parent->RemoveChild(mFrame);
        mFrame->Release();
    }
    W3dNode* GetNode() override { return mFrame; }
    W3dFrame* mFrame = nullptr;
};

int32_t gCameraId = -1;
Vector gTarget = {0.0f, 0.0f, 0.0f};
int32_t gTargetFound = 0;

class HeroShots : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        WeaponSetAmmoSource(&mRing);
        KfxManager::Install(&mEffects);
        mGun = new WeaponShoot();
        mGun->AddRef();
        W3dObject* model = W3dObject::Create();
        model->SetClump(renderertest::MakeClump({nullptr}));
        mGun->SetModel(model);
        mGun->mMagazineSize = 30;
        mGun->mMaxSpread = -1.0f;
        mGun->SetAmmo(-1);
    }
    void TearDown() override
    {
        if (mHero)
        {
            mHero->SetWeapon(nullptr);
            mWorld->SetHero(nullptr);
            mHero->Release();
        }
        if (W3dNode* parent = mGun->GetNode() ? mGun->GetNode()->GetParent() : nullptr)
            parent->RemoveChild(mGun->GetNode());
        mGun->Release();
        TsCameraRegistry::Clear();
        KfxManager::Install(nullptr);
        WeaponSetAmmoSource(nullptr);
        WeaponSetInGameCameraReader(nullptr);
        WeaponSetAimPick(nullptr);
        SetShootHelper(0);
        ScriptWorldTest::TearDown();
    }
    /// The hero at the origin holds the gun at its node.
    void GiveTheHeroTheGun()
    {
        mHero = new Shooter();
        mHero->AddRef();
        mScene->GetRoot()->AttachChild(mHero->mFrame);
        mWorld->SetHero(mHero);
        ASSERT_EQ(mHero->SetWeapon(mGun), 1);
        mHero->mFrame->AttachChild(mGun->GetNode());
        Frame::SyncDirtyList();
        ASSERT_EQ(mGun->GetParentActor(), mHero);
    }

    Ring mRing;
    RecordingEffects mEffects;
    WeaponShoot* mGun = nullptr;
    Shooter* mHero = nullptr;
};

TEST_F(HeroShots, TheMuzzleFlashPlaysAtTheMuzzleUnlessItIsNone)
{
    mGun->mMuzzleEffect = 4;
    ASSERT_NE(mGun->GetMuzzleFrame(), nullptr);
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mGun->mFlashes, 2);
    // The fake manager adds no emitter, so the object asks for its definition on each shot.
    ASSERT_EQ(mEffects.mBinds.size(), 2u);
    EXPECT_EQ(mEffects.mBinds[0].index, 4);
    EXPECT_EQ(mEffects.mBinds[0].context.frame, mGun->GetMuzzleFrame());
    EXPECT_EQ(mEffects.mBinds[0].context.scale, 1.0f);
    EXPECT_EQ(mEffects.mBoundTo[0], mGun->GetMuzzleEffectObject());

    for (int32_t none : {60, -1})
    {
        mGun->mMuzzleEffect = none;
        EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    }
    EXPECT_EQ(mRing.mLaunches.size(), 4u);
    EXPECT_EQ(mGun->mFlashes, 2) << "60 and out-of-range ids play nothing";
    EXPECT_EQ(mEffects.mBinds.size(), 2u);

    // Without a model there is no muzzle to flash from.
    mGun->mMuzzleEffect = 4;
    mGun->SetModel(nullptr);
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_EQ(mGun->mFlashes, 2);
}

TEST_F(HeroShots, TheCasingLeavesTheCasingFrameOverTheShootersFloor)
{
    FakeActor* soldier = Listed("soldier", {0.0f, 40.0f, 0.0f});
    soldier->mNode->AttachChild(mGun->GetNode());
    const Vector hand = {5.0f, 50.0f, 0.0f};
    mGun->GetNode()->SetWorldPosition(&hand);
    Frame::SyncDirtyList();
    mGun->mCasing.model = 0;
    mRing.mCasings = 1;
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    ASSERT_EQ(mRing.mCasingsLaunched, 1);
    const Vector at = Frame::GetWorldMatrix(mGun->GetCasingFrame())->pos;
    EXPECT_FLOAT_EQ(mRing.mCasingFrom.x, at.x);
    EXPECT_FLOAT_EQ(mRing.mCasingFrom.y, at.y);
    EXPECT_FLOAT_EQ(at.y, 50.0f);
    EXPECT_FLOAT_EQ(mRing.mCasingFloor, 40.0f) << "the holder's height, not the weapon's";
    soldier->mNode->RemoveChild(mGun->GetNode());
}

TEST_F(HeroShots, AGunWithoutAModelFiresFromItsHolderAlongItsFacingNotFromTheOrigin)
{
    auto* bare = new WeaponShoot();
    bare->AddRef();
    bare->mMagazineSize = 30;
    bare->mMaxSpread = -1.0f;
    bare->SetAmmo(-1);
    ASSERT_EQ(bare->GetNode(), nullptr);
    EXPECT_EQ(bare->GetParentActor(), nullptr) << "held by no one";

    mHero = new Shooter();
    mHero->AddRef();
    mScene->GetRoot()->AttachChild(mHero->mFrame);
    mWorld->SetHero(mHero);
    const Vector at = {100.0f, 0.0f, 50.0f}, facing = {1.0f, 0.0f, 0.0f};
    mHero->mFrame->SetWorldPosition(&at);
    mHero->mFrame->LookAlong(&facing);
    Frame::SyncDirtyList();
    ASSERT_EQ(mHero->SetWeapon(bare), 1);
    EXPECT_EQ(bare->GetParentActor(), mHero) << "the hand that holds it";

    EXPECT_EQ(bare->Fire(1.0f, 0), 1);
    ASSERT_EQ(mRing.mLaunches.size(), 1u);
    const WeaponLaunch& shot = mRing.mLaunches[0];
    EXPECT_FLOAT_EQ(shot.from.x, 100.0f);
    EXPECT_FLOAT_EQ(shot.from.z, 50.0f);
    EXPECT_NEAR(shot.direction.x, 1.0f, 1e-5f);
    EXPECT_NEAR(shot.direction.z, 0.0f, 1e-5f);

    mHero->SetWeapon(nullptr);
    EXPECT_EQ(bare->GetParentActor(), nullptr) << "let go";
    bare->Release();
}

TEST_F(HeroShots, TheHerosShotKicksTheInGameCameraAndFollowsTheHelpersTarget)
{
    GiveTheHeroTheGun();
    auto* camera = new ShakeCamera();
    ASSERT_NE(camera->GetCamera(), nullptr);
    const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
    TsCameraRegistry::SetCurrentCamera(id);
    gCameraId = id;
    WeaponSetInGameCameraReader([] { return gCameraId; });
    gTarget = {100.0f, 0.0f, 0.0f};
    gTargetFound = 1;
    WeaponSetAimPick(
        [](Vector* target)
        {
            *target = gTarget;
            return gTargetFound;
        });
    SetShootHelper(1);
    mGun->mWeaponData[1] = 1; // aim assist allowed

    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    ASSERT_EQ(mRing.mLaunches.size(), 1u);
    EXPECT_NEAR(mRing.mLaunches[0].direction.x, 1.0f, 1e-5f) << "straight at the helper's target";
    EXPECT_NEAR(mRing.mLaunches[0].direction.z, 0.0f, 1e-5f);
    ASSERT_EQ(camera->mShakes.size(), 2u);
    for (int32_t channel = 0; channel < 2; ++channel)
    {
        const WeaponCameraShake& shake = camera->mShakes[size_t(channel)].shake;
        EXPECT_EQ(camera->mShakes[size_t(channel)].kind, 2);
        EXPECT_EQ(shake.channel, channel);
        EXPECT_EQ(shake.on, 1);
        EXPECT_GE(shake.amplitude, -1.5f);
        EXPECT_LT(shake.amplitude, 1.5f);
        EXPECT_GE(shake.frequency, 10.0f);
        EXPECT_LT(shake.frequency, 20.0f);
        EXPECT_GE(shake.damping, 6.0f);
        EXPECT_LT(shake.damping, 10.0f);
        EXPECT_EQ(shake.delay, 0.0f);
    }

    // No correction when any condition fails; the shot keeps the muzzle's axis.
    const struct
    {
        const char* why;
        int32_t aimAssist;
        int32_t helper;
        int32_t found;
    } cases[] = {{"aim assist not allowed", 0, 1, 1}, {"helper off", 1, 0, 1}, {"no target", 1, 1, 0}};
    for (const auto& c : cases)
    {
        mGun->mWeaponData[1] = c.aimAssist;
        SetShootHelper(c.helper);
        gTargetFound = c.found;
        mGun->Fire(1.0f, 0);
        EXPECT_NEAR(mRing.mLaunches.back().direction.z, 1.0f, 1e-5f) << c.why;
    }

    // Another current camera takes no kick.
    gCameraId = id + 1;
    const size_t shakes = camera->mShakes.size();
    mGun->Fire(1.0f, 0);
    EXPECT_EQ(camera->mShakes.size(), shakes);
}

TEST_F(HeroShots, AnotherHoldersShotsNeitherKickNorFollowTheHelper)
{
    auto* camera = new ShakeCamera();
    ASSERT_NE(camera->GetCamera(), nullptr);
    const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
    TsCameraRegistry::SetCurrentCamera(id);
    gCameraId = id;
    WeaponSetInGameCameraReader([] { return gCameraId; });
    gTarget = {100.0f, 0.0f, 0.0f};
    gTargetFound = 1;
    WeaponSetAimPick(
        [](Vector* target)
        {
            *target = gTarget;
            return gTargetFound;
        });
    SetShootHelper(1);
    mGun->mWeaponData[1] = 1;
    FakeActor* soldier = Listed("soldier", {0.0f, 0.0f, 0.0f});
    soldier->mNode->AttachChild(mGun->GetNode());
    Frame::SyncDirtyList();
    EXPECT_EQ(mGun->Fire(1.0f, 0), 1);
    EXPECT_TRUE(camera->mShakes.empty());
    EXPECT_NEAR(mRing.mLaunches.back().direction.z, 1.0f, 1e-5f);
    soldier->mNode->RemoveChild(mGun->GetNode());
}

TEST_F(HeroShots, TheStrikeEffectPlaysOnceAtTheStrikePoint)
{
    auto* knife = new WeaponContact();
    knife->AddRef();
    TsWeaponContact* weapons[] = {knife, mGun};
    for (TsWeaponContact* weapon : weapons)
    {
        mEffects.mPlays.clear();
        weapon->mContact.actorImpactEffect = 7;
        weapon->mStrikePoint = {1.0f, 2.0f, 3.0f};
        weapon->OnStrike();
        ASSERT_EQ(mEffects.mPlays.size(), 1u);
        EXPECT_EQ(mEffects.mPlays[0].index, 7);
        EXPECT_EQ(mEffects.mPlays[0].context.position[0], 1.0f);
        EXPECT_EQ(mEffects.mPlays[0].context.position[2], 3.0f);
        EXPECT_EQ(mEffects.mPlays[0].context.scale, 1.0f);
        EXPECT_EQ(mEffects.mPlays[0].context.effect, nullptr);
        weapon->mContact.actorImpactEffect = -1;
        weapon->OnStrike();
        EXPECT_EQ(mEffects.mPlays.size(), 1u) << "no actor effect, nothing played";
    }
    knife->Release();
}

TEST_F(HeroShots, PoolsOf25FirearmsAnd1ContactWeaponThenTheHeap)
{
    std::vector<WeaponShoot*> guns;
    for (int32_t i = 0; i < 26; ++i)
    {
        guns.push_back(new WeaponShoot());
        guns.back()->AddRef();
    }
    // The fixture's gun holds one record already.
    HbPerClassFreeList* pool = WeaponShoot::sClassPool.Get();
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->GetCapacity(), 25);
    EXPECT_EQ(pool->GetUsedCount(), 25);
    int32_t pooled = 0;
    for (WeaponShoot* gun : guns)
        pooled += pool->Contains(gun) ? 1 : 0;
    EXPECT_EQ(pooled, 24);
    for (WeaponShoot* gun : guns)
        gun->Release();
    EXPECT_EQ(pool->GetUsedCount(), 1);

    auto* first = new WeaponContact();
    auto* second = new WeaponContact();
    HbPerClassFreeList* contactPool = WeaponContact::sClassPool.Get();
    ASSERT_NE(contactPool, nullptr);
    EXPECT_EQ(contactPool->GetCapacity(), 1);
    EXPECT_TRUE(contactPool->Contains(first));
    EXPECT_FALSE(contactPool->Contains(second));
    delete second;
    delete first;
    EXPECT_EQ(contactPool->GetUsedCount(), 0);
}

TEST_F(HeroShots, StartUpRegistersBothClassesAndTheDisplayReader)
{
    WeaponsInstall();
    TsActorTypeRegistry* types = TsActorTypeRegistry::Instance();
    ASSERT_NE(types, nullptr);
    TsActor* contact = types->Create(kActorTypeWeaponContact);
    TsActor* shoot = types->Create(kActorTypeWeaponShoot);
    EXPECT_NE(HbCastTo<WeaponContact>(contact), nullptr);
    EXPECT_NE(HbCastTo<WeaponShoot>(shoot), nullptr);
    EXPECT_EQ(types->FindByName("WeaponContact") != nullptr, true);
    EXPECT_EQ(types->FindByName("WeaponShoot") != nullptr, true);
    for (TsActor* made : {contact, shoot})
        if (made)
            made->Release();

    mGun->mWeaponData[1] = 1;
    mGun->mWeaponData[2] = 0;
    mGun->mMagazineSize = 8;
    mGun->SetAmmo(20);
    WeaponDisplayData data;
    ASSERT_EQ(HeroHudAccess::Get()->GetWeaponDisplayData(mGun, &data), 1);
    EXPECT_EQ(data.rounds, 4);
    EXPECT_EQ(data.magazineSize, 8);
    EXPECT_EQ(data.magazines, 2);
    EXPECT_EQ(data.showSegments, 1);
    EXPECT_EQ(data.showCentre, 0);
    auto* knife = new WeaponContact();
    knife->AddRef();
    EXPECT_EQ(HeroHudAccess::Get()->GetWeaponDisplayData(knife, &data), 0) << "no rounds to show";
    knife->Release();

    // A reader installed by the hero stays.
    struct HerosReader : HeroHudAccess
    {
    } heros;
    HeroHudAccess::Install(&heros);
    WeaponsInstall();
    EXPECT_EQ(HeroHudAccess::Get(), &heros);
    HeroHudAccess::Install(nullptr);
}
} // namespace
} // namespace scriptworldtest
