// The game's firearm: the shot after the trigger, the muzzle flash, the camera kick, the
// strike effect and the difficulty.
#include "weaponshoot.h"

#include "frame.h"
#include "fxcontext.h"
#include "fxservices.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbperclassfreelist.h"
#include "kfxmanagerimp.h"
#include "random.h"
#include "scriptworldmanager.h"
#include "shoothelper.h"
#include "tsanimactor.h"
#include "tscameraregistry.h"
#include "w3danimobject.h"
#include "w3dnode.h"

HB_DEFINE_CLASS_DESC(WeaponShoot, TsWeaponShoot);
HB_DEFINE_CLASS_POOL(WeaponShoot, "WeaponShoot", WeaponShoot::kPoolSize);

namespace
{
WeaponAmmoSource* gAmmoSource = nullptr;
WeaponProfileValue gDifficulty = nullptr;
WeaponProfileValue gUnlimitedAmmo = nullptr;
WeaponProfileValue gInGameCamera = nullptr;
WeaponAimPick gAimPick = nullptr;

GameProfile* CurrentProfile()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    return state ? state->GetProfile() : nullptr;
}

int32_t Difficulty()
{
    if (gDifficulty)
        return gDifficulty();
    GameProfile* profile = CurrentProfile();
    // No profile: no difficulty, nothing changes.
    return profile ? profile->missionTable.words[MissionTable::kDifficulty] : -1;
}

int32_t UnlimitedAmmo()
{
    if (gUnlimitedAmmo)
        return gUnlimitedAmmo();
    GameProfile* profile = CurrentProfile();
    return profile ? profile->unlimitedAmmo : 0;
}

int32_t InGameCamera()
{
    if (gInGameCamera)
        return gInGameCamera();
    GameProfile* profile = CurrentProfile();
    return profile ? profile->followCamera : -1;
}

/// A uniform value in [a, b) from the engine's generator.
float Uniform(float a, float b)
{
    return a + float(Random::Next() & 0x7FFFFFFFu) * (b - a) / 2147483648.0f;
}

/// Two shakes of the current camera, channel 0 then 1, only while it is the level's in-game camera.
void KickCamera()
{
    const int32_t camera = TsCameraRegistry::GetCurrentCameraId();
    if (camera < 0 || camera != InGameCamera())
        return;
    for (int32_t channel = 0; channel < 2; ++channel)
    {
        WeaponCameraPlacement placement;
        placement.kind = WeaponCameraPlacement::kShake;
        placement.shake.channel = channel;
        placement.shake.on = 1;
        placement.shake.amplitude = Uniform(-1.5f, 1.5f);
        placement.shake.frequency = Uniform(10.0f, 20.0f);
        placement.shake.damping = Uniform(6.0f, 10.0f);
        placement.shake.delay = 0.0f;
        TsCameraRegistry::SetCameraPlacement(camera, &placement);
    }
}

bool IsEffect(int32_t id)
{
    return id >= 0 && id < kFxEffectCount;
}
} // namespace

int32_t WeaponProfileDifficulty()
{
    return Difficulty();
}

int32_t WeaponProfileUnlimitedAmmo()
{
    return UnlimitedAmmo();
}

int32_t WeaponInGameCamera()
{
    return InGameCamera();
}

void WeaponSetAmmoSource(WeaponAmmoSource* source)
{
    gAmmoSource = source;
}

WeaponAmmoSource* WeaponGetAmmoSource()
{
    return gAmmoSource;
}

void WeaponSetProfileReaders(WeaponProfileValue difficulty, WeaponProfileValue unlimitedAmmo)
{
    gDifficulty = difficulty;
    gUnlimitedAmmo = unlimitedAmmo;
}

void WeaponSetInGameCameraReader(WeaponProfileValue camera)
{
    gInGameCamera = camera;
}

void WeaponSetAimPick(WeaponAimPick pick)
{
    gAimPick = pick;
}

void WeaponCasingRecord::SetSound(HbRoot* next)
{
    if (next)
        next->AddRef();
    if (sound)
        sound->Release();
    sound = next;
}

WeaponShoot::WeaponShoot()
{
    mMuzzleFx = new KFX();
    if (mMuzzleFx)
        mMuzzleFx->AddRef();
}

WeaponShoot::~WeaponShoot()
{
    if (mMuzzleFx)
        mMuzzleFx->Release();
    mMuzzleFx = nullptr;
}

void WeaponShoot::Shoot()
{
    Frame* muzzle = GetMuzzleFrame();
    const Matrix* world = muzzle ? Frame::GetWorldMatrix(muzzle) : nullptr;
    Vector direction = mDirection;
    Vector from = {0.0f, 0.0f, 0.0f};
    if (world)
    {
        Vector::TransformVector(&direction, &mDirection, world);
        from = world->pos;
    }
    else if (W3dNode* holderNode = GetParentActor() ? GetParentActor()->GetNode() : nullptr)
    {
        // A weapon without a model has no muzzle: the shot leaves from the holder's first
        // shooting frame (its node without one) along the way the holder faces, never from
        // the world's origin.
        const Matrix* facing = Frame::GetWorldMatrix(holderNode->GetEngineFrame());
        auto* model = HbCastTo<W3dAnimObject>(holderNode);
        Frame* shootFrame = model ? model->GetShootFrame(0) : nullptr;
        if (facing)
        {
            Vector::TransformVector(&direction, &mDirection, facing);
            from = shootFrame ? Frame::GetWorldMatrix(shootFrame)->pos : facing->pos;
        }
    }
    Vector::Normalize(&direction, &direction);
    mDirection = direction;

    PlayShotSound();
    WeaponAmmoSource* source = gAmmoSource;
    const int32_t projectile = source ? source->TakeProjectile() : -1;
    if (projectile < 0)
        return; // all flying: no casing, no flash, no round used

    TsActor* holder = GetParentActor();
    if (mCasing.model != -1)
    {
        const int32_t casing = source->TakeCasing();
        if (casing >= 0)
        {
            W3dNode* shooter = holder ? holder->GetNode() : GetNode();
            Frame* casingFrame = GetCasingFrame();
            Matrix frame = {};
            frame.right.x = frame.up.y = frame.at.z = 1.0f;
            frame.flags = kMatrixIdentity | kMatrixOrthonormal;
            if (const Matrix* casingWorld = casingFrame ? Frame::GetWorldMatrix(casingFrame) : nullptr)
                frame = *casingWorld;
            else
                frame.pos = from;
            const float floor = shooter ? shooter->GetWorldPosition()->y : from.y;
            source->LaunchCasing(casing, mCasing, frame, floor);
        }
    }

    ScriptWorldManager* scripts = ScriptWorldManager::Instance();
    TsActor* hero = scripts ? scripts->GetHero() : nullptr;
    auto* heroHolder = HbCastTo<TsAnimActor>(hero);
    if (AllowsAimAssist() && heroHolder && heroHolder->GetWeapon() == this && gAimPick && GetShootHelper())
    {
        Vector target;
        if (gAimPick(&target))
        {
            Vector toward = {target.x - from.x, target.y - from.y, target.z - from.z};
            // A target at the muzzle itself gives no direction: keep the dispersed one.
            if (Vector::Length(&toward) > 1e-4f)
            {
                Vector::Normalize(&direction, &toward);
                mDirection = direction;
            }
        }
    }

    int32_t tracer = 0;
    if (mTracerPeriod != 0)
    {
        mShotCounter = (mShotCounter + 1) % mTracerPeriod;
        tracer = mShotCounter == 0 ? 1 : 0;
    }
    mLastTracer = tracer;
    mHit.owner = this;
    mHit.wideHit = mAmmunition.mode;
    WeaponLaunch launch;
    launch.from = from;
    launch.direction = direction;
    launch.hit = &mHit;
    launch.tracer = tracer;
    source->LaunchProjectile(projectile, launch);
    StartMuzzleFlash();
    if (hero && holder == hero)
        KickCamera();
    if (mMagazine > 0)
        --mMagazine;
}

int32_t WeaponShoot::PlayMuzzleEffect()
{
    Frame* muzzle = GetMuzzleFrame();
    if (!IsEffect(mMuzzleEffect) || !muzzle || !mMuzzleFx)
        return 0;
    FxContext* context = FxContextGet();
    context->Reset();
    context->effect = mMuzzleFx;
    context->frame = muzzle;
    context->scale = 1.0f;
    if (mMuzzleFx->GetEmitterCount() == 0)
        FxBindDefinition(mMuzzleEffect, context);
    mMuzzleFx->Start();
    ++mFlashes;
    return 1;
}

void WeaponShoot::PlayStrikeEffect()
{
    WeaponPlayStrikeEffect(this);
}

void WeaponPlayStrikeEffect(TsWeaponContact* weapon)
{
    if (!weapon || !IsEffect(weapon->mContact.actorImpactEffect))
        return;
    FxContext* context = FxContextGet();
    context->Reset();
    context->scale = 1.0f;
    context->position[0] = weapon->mStrikePoint.x;
    context->position[1] = weapon->mStrikePoint.y;
    context->position[2] = weapon->mStrikePoint.z;
    FxPlayOneShot(weapon->mContact.actorImpactEffect, context);
}

void WeaponShoot::ApplyDifficulty()
{
    ApplyDifficultyFor(Difficulty());
}

void WeaponShoot::ApplyDifficultyFor(int32_t difficulty)
{
    switch (difficulty)
    {
    case 0:
        mHit.wideHit = 1;
        mHit.hitRadius = mBaseHitRadius * 2.0f;
        break;
    case 1:
        mHit.wideHit = 0;
        mHit.hitRadius = mBaseHitRadius * 1.5f;
        break;
    case 2:
        mHit.wideHit = 0;
        mHit.hitRadius = mBaseHitRadius;
        break;
    default:
        break;
    }
    mAmmunition.mode = mHit.wideHit;
}

int32_t WeaponShoot::LoadAmmunitionData()
{
    if (UnlimitedAmmo())
        SetAmmo(-1);
    return 1;
}
