// Projectiles, impacts and casings with their rings and geometry rows.
#include "ammunition.h"

#include "collision.h"
#include "device.h"
#include "engine.h"
#include "fmod3.h"
#include "frame.h"
#include "fxcontext.h"
#include "fxfade.h"
#include "fxservices.h"
#include "hbclock.h"
#include "hbresource.h"
#include "im3d.h"
#include "kfxmanagerimp.h"
#include "random.h"
#include "scripteventid.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsfmodsound.h"
#include "tsgroundtype.h"
#include "tsnoise.h"
#include "tssendevent.h"
#include "tstrigger.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"
#include "w3dlevel.h"
#include "world.h"
#include "wrenderer.h"
#include "wscene.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

HB_DEFINE_CLASS_DESC(Projectil, W3dFrame);
HB_DEFINE_CLASS_DESC(Impact, W3dFrame);
HB_DEFINE_CLASS_DESC(Casing, W3dFrame);
AMMO_DEFINE_POOL(Projectil, "Projectil");
AMMO_DEFINE_POOL(Impact, "Impact");
AMMO_DEFINE_POOL(Casing, "Casing");

namespace
{
constexpr uint8_t kPassThroughGreen = 0x20;
constexpr int32_t kRows = 2;
constexpr int32_t kMaxRowEntries = 70;
const char* const kRowResources[kRows] = {"CASING_WO", "PROJECTIL_PANZER_WO"};

struct Row
{
    AmmoGeometry entries[kMaxRowEntries];
    int32_t count = 0;
    int32_t cursor = -1;
};

struct Rings
{
    Projectil* projectiles[Ammunition::kProjectiles] = {};
    Impact* impacts[Ammunition::kImpacts] = {};
    Casing* casings[Ammunition::kCasings] = {};
    int32_t projectileCursor = -1;
    int32_t impactCursor = -1;
    int32_t casingCursor = -1;
    Row rows[kRows];
    Matrix streakTurn = {};
    int32_t ready = 0;
};

Rings gRings;

// ---- Small vector helpers -------------------------------------------------------------------------

Vector Add(const Vector& a, const Vector& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector Scale(const Vector& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

float TicksPerSecond()
{
    const int64_t frequency = HbPerformanceFrequency();
    return frequency > 0 ? float(frequency) : 1.0f;
}

Matrix Identity()
{
    Matrix m = {};
    m.right.x = m.up.y = m.at.z = 1.0f;
    m.flags = kMatrixIdentity | kMatrixOrthonormal;
    return m;
}

/// A uniform value in [a, b) from the engine's generator.
float Uniform(float a, float b)
{
    return a + float(Random::Next() & 0x7FFFFFFFu) * (b - a) / 2147483648.0f;
}

W3dNode* LevelRoot()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetRoot() : nullptr;
}

World* LevelWorld()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    return level ? level->GetCollisionWorld() : nullptr;
}

void AddUpdatable(W3dNode* node)
{
    if (WScene* scene = node->GetScene())
        scene->AddUpdatable(node);
}

void Detach(W3dNode* node)
{
    if (W3dNode* parent = node->GetParent())
    {
        // The parent's reference goes with it: keep the ring's.
        node->AddRef();
        parent->RemoveChild(node);
        node->Release();
    }
    else if (node->GetScene())
        node->RemoveFromScene();
}

void ResetFrame(W3dNode* node)
{
    if (Frame* frame = node->GetEngineFrame())
        Frame::SetIdentity(frame);
}

void PlaySound3D(HbRoot* sound, const Vector& at)
{
    auto* fmod = HbCastTo<TsFModSound>(sound);
    if (!fmod)
        return;
    const int32_t channel = fmod->Play();
    if (channel == -1)
        return;
    const float position[3] = {at.x, at.y, at.z};
    const float still[3] = {0, 0, 0};
    FSOUND_3D_SetAttributes(channel, position, still);
}

/// The listed actor (or the hero) whose node is the node, or null.
TsActor* ActorOfNode(W3dNode* node)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!node || !world)
        return nullptr;
    if (TsActor* hero = world->GetHero(); hero && hero->GetNode() == node)
        return hero;
    for (const HbPtrListNode* entry = world->GetActors().GetHead(); entry; entry = entry->next)
        if (auto* actor = static_cast<TsActor*>(entry->value); actor->GetNode() == node)
            return actor;
    return nullptr;
}

/// Every listed actor, the hero first when it is not listed.
template <typename Fn> void ForAllActors(Fn fn)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world)
        return;
    TsActor* hero = world->GetHero();
    bool heroListed = false;
    for (const HbPtrListNode* entry = world->GetActors().GetHead(); entry; entry = entry->next)
        heroListed = heroListed || entry->value == hero;
    if (hero && !heroListed && !fn(hero))
        return;
    for (const HbPtrListNode* entry = world->GetActors().GetHead(); entry; entry = entry->next)
        if (!fn(static_cast<TsActor*>(entry->value)))
            return;
}

void SendHit(TsActor* target, int32_t id, TsActor* sender, float value)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world || !target)
        return;
    TsSendEvent event;
    event.id = id;
    event.sender = sender;
    event.target = target;
    event.value = value;
    world->QueueEvent(event);
}

int32_t SkipPassThrough(const W3dCollisionResult* candidate)
{
    return (candidate->color[1] & kPassThroughGreen) ? 0 : 1;
}

// ---- The world line ----------------------------------------------------------------------------------

struct WorldHit
{
    float distance = FLT_MAX;
    Vector normal = {0.0f, 0.0f, 0.0f};
    Rgba colour = {0, 0, 0, 0};
    int32_t hit = 0;
};

CollisionTriangle* NearestTriangle(IntersectionPrimitive*, WorldSector* sector, CollisionTriangle* triangle,
                                   float distance, void* data)
{
    auto* hit = static_cast<WorldHit*>(data);
    const Rgba colour = CollisionTriangleGetMaterialColor(sector, triangle->index);
    if (colour.green & kPassThroughGreen)
        return triangle;
    // A later hit at the same distance replaces the earlier one.
    if (distance <= hit->distance)
    {
        hit->distance = distance;
        hit->normal = triangle->normal;
        hit->colour = colour;
        hit->hit = 1;
    }
    return triangle;
}

WorldHit TestWorldLine(const Vector& start, const Vector& end)
{
    WorldHit hit;
    World* world = LevelWorld();
    if (!world)
        return hit;
    IntersectionPrimitive line = {};
    line.type = kIntersectLine;
    line.data.line.start = start;
    line.data.line.end = end;
    World::ForAllTriangleIntersections(world, &line, NearestTriangle, &hit);
    return hit;
}

// ---- Rings ----------------------------------------------------------------------------------------------

template <typename T, int32_t N> T* Take(T* (&ring)[N], int32_t& cursor)
{
    for (int32_t i = 1; i <= N; ++i)
    {
        const int32_t at = (cursor + i) % N;
        T* object = ring[at];
        if (object && !object->mLive)
        {
            cursor = at;
            object->mLive = 1;
            object->mRingPosition = at;
            return object;
        }
    }
    return nullptr;
}

AmmoGeometry* TakeGeometry(int32_t row)
{
    if (row < 0 || row >= kRows)
        return nullptr;
    Row& r = gRings.rows[row];
    for (int32_t i = 1; i <= r.count; ++i)
    {
        const int32_t at = (r.cursor + i) % r.count;
        if (!r.entries[at].inUse)
        {
            r.cursor = at;
            r.entries[at].inUse = 1;
            return &r.entries[at];
        }
    }
    return nullptr;
}

/// The model's frame reset, turned about X and hung under the node.
void HangModel(AmmoGeometry* entry, W3dNode* under, float degrees)
{
    if (!entry || !entry->model)
        return;
    W3dNode* model = entry->model;
    Detach(model);
    if (Frame* frame = model->GetEngineFrame())
    {
        Frame::SetIdentity(frame);
        const Vector xAxis = {1.0f, 0.0f, 0.0f};
        Frame::Rotate(frame, &xAxis, degrees, kCombineReplace);
    }
    under->AttachChild(model);
}

void SetRenderState(int32_t code, intptr_t value)
{
    Engine* engine = Engine::Current();
    if (engine && engine->device.setRenderState)
        engine->device.setRenderState(code, value);
}

intptr_t GetRenderState(int32_t code)
{
    intptr_t value = 0;
    Engine* engine = Engine::Current();
    if (engine && engine->device.getRenderState)
        engine->device.getRenderState(code, &value);
    return value;
}
} // namespace

int32_t AmmoHitPart(const Vector& point, const ShootSphere* head, const ShootSphere* heart)
{
    auto inside = [&point](const ShootSphere* sphere)
    {
        if (!sphere || !sphere->enabled)
            return false;
        const Vector d = Sub(point, sphere->GetWorldCentre());
        return Dot(d, d) < sphere->radiusSquared;
    };
    int32_t part = Projectil::kBody;
    if (inside(head))
        part = Projectil::kHead;
    if (inside(heart))
        part = Projectil::kHeart;
    return part;
}

float AmmoHitValue(int32_t part, int32_t damage)
{
    return part == Projectil::kHead || part == Projectil::kHeart ? 999.0f : float(damage);
}

int64_t AmmoNow()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

// ---- Projectiles -------------------------------------------------------------------------------------

Projectil* Projectil::Create()
{
    auto* projectile = new Projectil();
    if (projectile && !projectile->mFrame)
    {
        delete projectile;
        return nullptr;
    }
    return projectile;
}

Projectil::~Projectil()
{
    Reset();
}

void Projectil::OnAddToWorld()
{
    AddUpdatable(this);
}

void Projectil::OnRemoveFromWorld()
{
    if (mLive)
        Reset();
}

const WeaponHitRecord* Projectil::GetRecord()
{
    if (mHasWeapon && !mWeapon.IsValid())
        mHit = nullptr;
    return mHit;
}

void Projectil::Reset()
{
    mLive = 0;
    mRingPosition = -1;
    mHit = nullptr;
    mWeapon.Reset();
    mHasWeapon = 0;
    mTracer = 0;
    mLaunchTime = mLastUpdate = 0;
    for (HbHandlePtr& handle : mCollected)
        handle.Reset();
    mCollectedCount = 0;
    if (mModel)
        Ammunition::ReleaseGeometry(mModel);
    mModel = nullptr;
    if (mTrail)
    {
        mTrail->Stop();
        mTrail->Release();
        mTrail = nullptr;
    }
    if (mStreak >= 0)
        if (WRenderer* renderer = WRenderer::Existing())
            renderer->RemoveCustomRenderCallback(mStreak);
    mStreak = -1;
    if (WRenderer* renderer = WRenderer::Existing(); renderer && (GetFlags() & kInRenderLists))
        renderer->RemoveFromRenderLists(this);
    if (mFrame)
        Frame::SetIdentity(mFrame);
}

void Projectil::Launch(const WeaponHitRecord* hit, TsActor* target, int32_t tracer)
{
    const int32_t position = mRingPosition;
    mHit = hit;
    mHasWeapon = hit && hit->owner ? 1 : 0;
    if (mHasWeapon)
        mWeapon.Assign(hit->owner);
    mTracer = tracer;
    mLaunchTime = mLastUpdate = AmmoNow();
    const Matrix* world = Frame::GetWorldMatrix(mFrame);
    mDirection = world->at;
    if (!hit)
    {
        Ammunition::FreeProjectile(position);
        return;
    }
    if (hit->projectileModel != -1)
    {
        mModel = Ammunition::TakeProjectileGeometry(hit->projectileModel);
        if (!mModel)
        {
            Ammunition::FreeProjectile(position);
            return;
        }
        HangModel(mModel, this, 90.0f);
    }
    if (WRenderer* renderer = WRenderer::Existing())
    {
        mStreak = renderer->AddCustomRenderCallback(DrawStreak, this);
        if (GetScene())
            renderer->AddToRenderLists(this, 0);
    }
    if (hit->trailEffect >= 0 && hit->trailEffect < kFxEffectCount)
    {
        mTrail = new KFX();
        if (mTrail)
        {
            mTrail->AddRef();
            FxContext* context = FxContextGet();
            context->Reset();
            context->effect = mTrail;
            context->frame.Set(mFrame, this);
            context->direction[0] = context->direction[1] = 0.0f;
            context->direction[2] = 1.0f;
            context->scale = 1.0f;
            FxBindDefinition(hit->trailEffect, context);
            mTrail->Start();
        }
    }
    mHitRadius = hit->hitRadius;
    mPosition = world->pos;
    Collect(target);
    if (mCollectedCount == 0 && hit->hitsWorld == 0)
        Ammunition::FreeProjectile(position);
}

void Projectil::Collect(TsActor* target)
{
    mCollectedCount = 0;
    if (target)
    {
        mCollected[mCollectedCount++].Assign(target);
        return;
    }
    const WeaponHitRecord* hit = mHit;
    TsActor* shooter = nullptr;
    if (auto* weapon = HbCastTo<TsWeapon>(hit->owner))
        shooter = weapon->GetParentActor();
    const float reach = float(hit->lifetime) * hit->launchSpeed;
    Vector segment[2] = {mPosition, Add(mPosition, Scale(mDirection, reach))};
    TsActor* found[kMaxCollected];
    int32_t count = 0;
    ForAllActors(
        [&](TsActor* actor)
        {
            if (count >= kMaxCollected)
                return false;
            W3dNode* node = actor->GetNode();
            if (!node || !actor->mActive || actor == shooter)
                return true;
            W3dCollisionTree& set = node->GetShootCollisionSet();
            if (!set.GetRoot() || !set.IsEnabled())
                return true;
            if ((actor->mFamily & (HeroFamily | HeroEnemyFamily)) && actor->mHitPoints <= 0)
                return true;
            Sphere sphere = *set.GetRoot()->GetWorldSphere();
            if (!SphereIntersectsSegment(&sphere, &mDirection, segment, kCollectMargin))
                return true;
            found[count++] = actor;
            return true;
        });
    const Vector from = mPosition;
    auto distance = [&from](TsActor* actor)
    {
        const Vector d = Sub(*actor->GetNode()->GetWorldPosition(), from);
        return Dot(d, d);
    };
    std::stable_sort(found, found + count, [&](TsActor* a, TsActor* b) { return distance(a) < distance(b); });
    for (int32_t i = 0; i < count; ++i)
        mCollected[i].Assign(found[i]);
    mCollectedCount = count;
}

void Projectil::Update()
{
    if (!mLive)
        return;
    const int32_t position = mRingPosition;
    const int64_t now = AmmoNow();
    const int64_t dt = now - mLastUpdate;
    mLastUpdate = now;
    const int64_t age = now - mLaunchTime;
    const WeaponHitRecord* hit = GetRecord();
    // A weapon gone takes its record with it: its shots end.
    if (!hit || age >= hit->lifetime)
    {
        Ammunition::FreeProjectile(position);
        return;
    }
    if (dt == 0)
        return;
    mHitRadius += float(dt) * hit->hitRadiusGrowth;
    const Vector step = Scale(mDirection, float(dt) * hit->flightSpeed);
    Vector segment[2] = {mPosition, Add(mPosition, step)};
    if (HitTest(segment))
        return;
    Frame::Translate(mFrame, &step, kCombinePostConcat);
    mPosition = segment[1];
}

int32_t Projectil::HitTest(Vector segment[2])
{
    const WeaponHitRecord* hit = mHit;
    if (mHitRadius < 0.0f)
        mHitRadius = 0.0f;
    const Vector start = segment[0];
    Vector end = segment[1];
    W3dNode* hitNode = nullptr;
    Frame* hitFrame = nullptr;
    int32_t part = 0;
    int32_t found = 0;
    Vector point = end;
    uint8_t surface[4] = {0, 0, 0, 0};
    Vector normal = Scale(mDirection, -1.0f);

    for (int32_t i = 0; i < mCollectedCount && !found; ++i)
    {
        if (!mCollected[i].IsValid())
            continue;
        auto* actor = static_cast<TsActor*>(mCollected[i].GetObject());
        W3dNode* node = actor->GetNode();
        if (!node)
            continue;
        auto* animated = HbCastTo<W3dAnimObject>(node);
        const float margin = animated && hit->wideHit && !(actor->mFamily & DofFamily) ? mHitRadius : 0.0f;
        W3dCollisionQuery query;
        query.Reset();
        query.filter = SkipPassThrough;
        Vector tested[2] = {start, end};
        if (!node->GetShootCollisionSet().CollideSegment(&query, tested, margin))
            continue;
        const float fraction = query.distance;
        W3dCollisionNode* volume = query.hitVolume;
        if (query.hitType == W3dCollisionQuery::kDirectHit)
        {
            point = Add(Add(start, Scale(Sub(tested[1], start), fraction)), Scale(mDirection, 10.0f));
            found = 1;
            if (volume && (volume->kind & W3dCollisionNode::kFrameSphere))
                hitFrame = volume->frame;
        }
        else if (hit->wideHit)
        {
            found = 1;
            if (volume && (volume->kind & W3dCollisionNode::kFrameSphere) && volume->frame)
            {
                hitFrame = volume->frame;
                point = Sub(Frame::GetWorldMatrix(hitFrame)->pos, Scale(mDirection, 10.0f));
            }
            else
                point = Add(start, Scale(Sub(tested[1], start), std::min(fraction, 1.0f)));
        }
        if (!found)
            continue;
        hitNode = node;
        std::copy(query.color, query.color + 4, surface);
        if (query.normal.x != 0.0f || query.normal.y != 0.0f || query.normal.z != 0.0f)
            normal = query.normal;
        part = animated ? AmmoHitPart(point, &animated->GetHeadSphere(), &animated->GetHeartSphere())
                        : int32_t(Projectil::kBody);
        end = point;
    }

    int32_t kind = found ? Impact::kActorHit : Impact::kWorldHit;
    if (hit->hitsWorld != 0)
    {
        // Past an actor hit the line only reaches the hit.
        const WorldHit world = TestWorldLine(start, end);
        if (world.hit)
        {
            found = 1;
            kind = Impact::kWorldHit;
            part = Projectil::kWorld;
            point = Add(start, Scale(Sub(end, start), world.distance));
            hitNode = nullptr;
            hitFrame = nullptr;
            normal = world.normal;
            surface[0] = world.colour.red;
            surface[1] = world.colour.green;
            surface[2] = world.colour.blue;
            surface[3] = world.colour.alpha;
        }
    }
    segment[1] = end;
    if (!found)
        return 0;

    const int32_t position = mRingPosition;
    if (Impact* impact = Ammunition::TakeImpact())
    {
        ResetFrame(impact);
        TsActor* actor = ActorOfNode(hitNode);
        const bool dofWall = actor && (actor->mFamily & DofFamily) && !(actor->mFamily & HeroEnemyFamily);
        if (hitFrame && hitNode && !dofWall)
        {
            // Follows the bone: the point in the bone's space.
            normal = Scale(mDirection, -1.0f);
            Matrix inverse;
            Matrix::Invert(&inverse, Frame::GetWorldMatrix(hitFrame));
            Vector local;
            Vector::TransformPoint(&local, &point, &inverse);
            Frame::Translate(impact->GetEngineFrame(), &local, kCombineReplace);
            hitNode->AddChild(impact, hitFrame);
        }
        else
        {
            if (dofWall)
                kind = Impact::kWorldHit;
            Frame::Translate(impact->GetEngineFrame(), &point, kCombineReplace);
            if (W3dNode* root = LevelRoot())
                root->AttachChild(impact);
        }
        impact->Start(hit, hitNode, kind, part, surface, normal);
    }
    Ammunition::FreeProjectile(position);
    return 1;
}

void Projectil::DrawStreak(void* user)
{
    auto* projectile = static_cast<Projectil*>(user);
    const WeaponHitRecord* hit = projectile ? projectile->GetRecord() : nullptr;
    if (!hit || !projectile->mLive)
        return;
    const float age = float(AmmoNow() - projectile->mLaunchTime);
    const float length = std::min(age * hit->flightSpeed, kStreakMax);
    const intptr_t texture = GetRenderState(kRenderStateTextureRaster);
    SetRenderState(kRenderStateTextureRaster, 0);
    const Matrix world = *Frame::GetWorldMatrix(projectile->mFrame);
    Matrix turned;
    Matrix::Multiply(&turned, &gRings.streakTurn, &world);
    const Matrix* passes[2] = {&world, &turned};
    for (const Matrix* matrix : passes)
    {
        Im3dVertex corners[3] = {};
        corners[0].x = 2.0f;
        corners[0].colour = 0x4BFFFAD2u;
        corners[1].x = -2.0f;
        corners[1].colour = 0x4BFFFAD2u;
        corners[2].z = -length;
        corners[2].colour = 0xC8FFFAD2u;
        if (Im3d::Transform(corners, 3, matrix, 0))
        {
            Im3d::RenderPrimitive(kIm3dTriList);
            Im3d::End();
        }
    }
    SetRenderState(kRenderStateTextureRaster, texture);
}

// ---- Impacts ---------------------------------------------------------------------------------------------

Impact* Impact::Create()
{
    auto* impact = new Impact();
    if (impact && !impact->mFrame)
    {
        delete impact;
        return nullptr;
    }
    return impact;
}

Impact::~Impact()
{
    Reset();
}

void Impact::OnAddToWorld()
{
    AddUpdatable(this);
}

void Impact::OnRemoveFromWorld()
{
    if (mLive)
        Reset();
}

void Impact::Reset()
{
    mLive = 0;
    mRingPosition = -1;
    mBlastRadius = 0.0f;
    if (mEffect)
        mEffect->Release();
    mEffect = nullptr;
    for (HbHandlePtr& handle : mCollected)
        handle.Reset();
    mCollectedCount = 0;
    mDamage = mFullRadius = mSpeed = mFalloff = 0.0f;
    mHitEvent = 0;
    mSender.Reset();
    if (mFrame)
        Frame::SetIdentity(mFrame);
}

void Impact::Start(const WeaponHitRecord* hit, W3dNode* hitNode, int32_t kind, int32_t part, const uint8_t surface[4],
                   const Vector& normal)
{
    const Vector at = *GetWorldPosition();
    mSender.Assign(hit->owner);
    mHitEvent = hit->hitEvent;
    mDamage = hit->blastDamage;
    mFullRadius = hit->blastRadius;
    mSpeed = hit->blastSpeed;
    mFalloff = hit->blastFalloff;

    const int32_t radius = TsGetSoundRadius(hit->impactNoise);
    if (radius != 0)
    {
        // All 200 triggers may be live: the impact then makes no noise.
        if (TsTrigger* trigger = TriggerManager::TakeFreeTrigger())
        {
            const auto ticks = int64_t(double(HbPerformanceFrequency()) * double(TsWeaponShoot::kShotNoiseSeconds));
            trigger->Start(kEventSound, radius, ticks, ticks, HeroEnemyFamily, 0, float(hit->impactNoise));
            trigger->SetPosition(&at);
        }
    }
    const int32_t code = kind == kWorldHit ? surface[0] : surface[TsActor::kGroundIdByte];
    PlayEffects(hit, hitNode, kind, code, normal);

    TsActor* victim = hitNode ? ActorOfNode(hitNode) : nullptr;
    if (victim)
    {
        SendHit(victim, hit->hitEvent, hit->owner, AmmoHitValue(part, hit->damage));
    }
    if (hit->directHitOnly == 0)
    {
        mBlastRadius = kBlastStart;
        const float reach = hit->blastRadius + kBlastReach;
        ForAllActors(
            [&](TsActor* actor)
            {
                if (mCollectedCount >= kMaxCollected)
                    return false;
                W3dNode* node = actor->GetNode();
                if (!node || !(actor->mFamily & (HeroFamily | HeroEnemyFamily)) || actor->mHitPoints == 0 ||
                    !actor->mActive)
                    return true;
                const Vector d = Sub(*node->GetWorldPosition(), at);
                if (Dot(d, d) < reach * reach)
                    mCollected[mCollectedCount++].Assign(actor);
                return true;
            });
        return;
    }
    if (!victim && !hitNode)
        Ammunition::FreeImpact(mRingPosition);
}

void Impact::PlayEffects(const WeaponHitRecord* hit, W3dNode* hitNode, int32_t kind, int32_t surface,
                         const Vector& normal)
{
    const Vector at = *GetWorldPosition();
    const int32_t world = hit->worldImpactEffect;
    static const int32_t kGroundEffects[] = {44, 45, 46, 47, 48, 54, 58};
    if (std::find(std::begin(kGroundEffects), std::end(kGroundEffects), world) != std::end(kGroundEffects))
    {
        if (TsGroundType* ground = TsFindGroundType(surface))
        {
            ground->PlayImpact(&at, &normal, 1, 1);
            return;
        }
    }
    if (kind == kWorldHit)
    {
        if (surface == 0)
            return;
        PlaySound3D(hit->worldImpactSound, at);
        // 60 is "no effect"; a negative id (none given) plays nothing either.
        if (world >= 0 && world != kFxContextNoEffect)
        {
            FxContext* context = FxContextGet();
            context->Reset();
            context->position[0] = at.x;
            context->position[1] = at.y;
            context->position[2] = at.z;
            context->direction[0] = normal.x;
            context->direction[1] = normal.y;
            context->direction[2] = normal.z;
            FxPlayOneShot(world, context);
        }
        return;
    }
    const int32_t effect = hit->actorImpactEffect;
    if (effect < 0)
        return;
    PlaySound3D(hit->actorImpactSound, at);
    if (effect >= kFxEffectCount)
        return;
    KFX* fx = new KFX();
    if (!fx)
        return;
    fx->AddRef();
    FxContext* context = FxContextGet();
    context->Reset();
    context->effect = fx;
    context->position[0] = at.x;
    context->position[1] = at.y;
    context->position[2] = at.z;
    context->direction[0] = normal.x;
    context->direction[1] = normal.y;
    context->direction[2] = normal.z;
    FxBindDefinition(effect, context);
    fx->Start();
    mEffect = fx;
    if (!hitNode)
        return;
    // The node keeps its effects: a finished one makes room.
    HbPtrArray& attached = hitNode->GetAttachments();
    for (int32_t i = 0; i < attached.GetCount(); ++i)
    {
        auto* old = HbCastTo<KFX>(static_cast<HbRoot*>(attached[i]));
        if (old && old->IsFinished())
        {
            fx->AddRef();
            attached[i] = fx;
            old->Release();
            return;
        }
    }
    hitNode->AddAttachment(fx);
}

void Impact::Update()
{
    if (!mLive)
        return;
    HbGameClock* clock = HbGameClock::Instance();
    const float frame = clock ? float(clock->mStep) : 0.0f;
    const float r0 = mBlastRadius;
    float r = r0 + frame * mSpeed;
    // The falloff is damage lost per unit of radius, in hundredths.
    float damage = mDamage - r * mFalloff * 0.01f;
    bool ended = false;
    if (damage <= 0.0f)
    {
        damage = 0.0f;
        ended = true;
    }
    if (r >= mFullRadius)
    {
        r = mFullRadius;
        ended = true;
    }
    const Vector at = *GetWorldPosition();
    TsActor* sender = mSender.IsValid() ? static_cast<TsActor*>(mSender.GetObject()) : nullptr;
    for (int32_t i = 0; i < mCollectedCount; ++i)
    {
        if (!mCollected[i].IsValid())
            continue;
        auto* actor = static_cast<TsActor*>(mCollected[i].GetObject());
        W3dNode* node = actor->GetNode();
        if (!node)
            continue;
        const Vector d = Sub(*node->GetWorldPosition(), at);
        const float d2 = Dot(d, d);
        if (d2 >= r0 * r0 && d2 <= r * r)
            SendHit(actor, mHitEvent, sender, damage);
    }
    mBlastRadius = r;
    if (ended)
        Ammunition::FreeImpact(mRingPosition);
}

// ---- Casings ---------------------------------------------------------------------------------------------

Casing* Casing::Create()
{
    auto* casing = new Casing();
    if (casing && !casing->mFrame)
    {
        delete casing;
        return nullptr;
    }
    return casing;
}

Casing::~Casing()
{
    Reset();
}

void Casing::OnAddToWorld()
{
    AddUpdatable(this);
}

void Casing::OnRemoveFromWorld()
{
    if (mLive)
        Reset();
}

void Casing::Reset()
{
    mLive = 0;
    mRingPosition = -1;
    mState = kFree;
    if (mModel)
        Ammunition::ReleaseGeometry(mModel);
    mModel = nullptr;
    if (mSound)
        mSound->Release();
    mSound = nullptr;
    mBounces = 0;
    mDisplacement = {0.0f, 0.0f, 0.0f};
    if (mFrame)
        Frame::SetIdentity(mFrame);
}

void Casing::Launch(const WeaponCasingRecord& casing, float floor)
{
    mModel = Ammunition::TakeCasingGeometry(casing.model);
    if (!mModel)
    {
        Ammunition::FreeCasing(mRingPosition);
        return;
    }
    mLaunchTime = AmmoNow();
    HangModel(mModel, this, 88.0f);
    Vector velocity;
    Vector::TransformVector(&velocity, &casing.ejection, Frame::GetWorldMatrix(mFrame));
    const float m = std::max({velocity.x, velocity.y, velocity.z});
    velocity.x += Uniform(-0.3f * m, 0.3f * m);
    velocity.y += Uniform(-0.3f * m, 0.3f * m);
    velocity.z += Uniform(-0.3f * m, 0.3f * m);
    mVelocity = velocity;
    mFloor = floor;
    mBounceAge = 0;
    mLastUpdate = mLaunchTime;
    mBounceFactor = 0.5f;
    mDisplacement = {0.0f, 0.0f, 0.0f};
    mSpin = 900.0f;
    mBounces = 0;
    mState = kFlying;
    mLifetime = casing.lifetime;
    if (casing.sound)
        casing.sound->AddRef();
    if (mSound)
        mSound->Release();
    mSound = casing.sound;
}

void Casing::Update()
{
    if (!mLive || mState == kFree || mState == kFading)
        return;
    if (mState == kFaded)
    {
        Ammunition::FreeCasing(mRingPosition);
        return;
    }
    const int64_t now = AmmoNow();
    const int64_t age = now - mLaunchTime;
    const int64_t frame = now - mLastUpdate;
    mLastUpdate = now;
    if (age > mLifetime)
    {
        mState = kFading;
        HbHandlePtr model(mModel ? static_cast<HbRoot*>(mModel->model) : nullptr);
        auto faded = [](void* user)
        {
            auto* casing = static_cast<Casing*>(user);
            if (casing->mState == kFading)
                casing->mState = kFaded;
        };
        if (!mModel || !mModel->model || !FxFadeStart(model, 0.5f, faded, this))
            mState = kFaded;
        return;
    }
    // A frame without time moves nothing (and would divide by zero at a bounce).
    if (mBounces >= kMaxBounces || frame == 0)
        return;
    const float ticks = TicksPerSecond();
    const float g = kGravity / (ticks * ticks);
    const float t = float(age - mBounceAge);
    const Vector relative = {t * mVelocity.x, t * (t * g + mVelocity.y), t * mVelocity.z};
    const Vector move = Sub(relative, mDisplacement);
    mDisplacement = relative;
    Frame::Translate(mFrame, &move, kCombinePostConcat);
    const Matrix* world = Frame::GetWorldMatrix(mFrame);
    if (world->pos.y < mFloor)
    {
        const Vector lift = {0.0f, mFloor + 1.0f - world->pos.y, 0.0f};
        Frame::Translate(mFrame, &lift, kCombinePostConcat);
        const float length = std::sqrt(Dot(move, move));
        const float speed = length / float(frame) * mBounceFactor;
        Vector along = {move.x, std::fabs(move.y), move.z};
        if (length > 0.0f)
            along = Scale(along, 1.0f / length);
        mVelocity = Scale(along, speed);
        mBounceAge = age;
        if (mBounces == 0)
            PlaySound3D(mSound, Frame::GetWorldMatrix(mFrame)->pos);
        mDisplacement = {0.0f, 0.0f, 0.0f};
        const float spin = Uniform(0.0f, 900.0f);
        mSpin = (mBounces % 2 == 1) ? spin : -spin;
        ++mBounces;
        if (mBounces == kMaxBounces)
            Rest();
        return;
    }
    const float seconds = float(frame) / ticks;
    const Vector zAxis = {0.0f, 0.0f, 1.0f};
    Frame::Rotate(mFrame, &zAxis, seconds * mSpin, kCombinePreConcat);
}

void Casing::Rest()
{
    const Matrix world = *Frame::GetWorldMatrix(mFrame);
    const float angle = std::atan2(world.right.z, world.right.x) * 180.0f / 3.14159265f;
    Frame::SetIdentity(mFrame);
    const Vector yAxis = {0.0f, 1.0f, 0.0f};
    Frame::Rotate(mFrame, &yAxis, -angle, kCombineReplace);
    Frame::Translate(mFrame, &world.pos, kCombinePostConcat);
}

// ---- Rings and rows ----------------------------------------------------------------------------------------

namespace
{
class RingSource : public WeaponAmmoSource
{
public:
    int32_t TakeProjectile() override
    {
        Projectil* projectile = Ammunition::TakeProjectile();
        return projectile ? projectile->mRingPosition : -1;
    }
    void LaunchProjectile(int32_t handle, const WeaponLaunch& launch) override
    {
        Projectil* projectile = Ammunition::GetProjectile(handle);
        if (!projectile || !projectile->mLive)
            return;
        W3dNode* root = LevelRoot();
        if (!root)
        {
            Ammunition::FreeProjectile(handle);
            return;
        }
        Vector at = launch.direction;
        Vector::Normalize(&at, &at);
        Vector up = std::fabs(at.y) > 0.99f ? Vector{1.0f, 0.0f, 0.0f} : Vector{0.0f, 1.0f, 0.0f};
        Matrix m = Identity();
        m.flags = kMatrixOrthonormal;
        m.right = {up.y * at.z - up.z * at.y, up.z * at.x - up.x * at.z, up.x * at.y - up.y * at.x};
        Vector::Normalize(&m.right, &m.right);
        m.up = {at.y * m.right.z - at.z * m.right.y, at.z * m.right.x - at.x * m.right.z,
                at.x * m.right.y - at.y * m.right.x};
        m.at = at;
        m.pos = launch.from;
        Frame::Transform(projectile->GetEngineFrame(), &m, kCombineReplace);
        root->AttachChild(projectile);
        projectile->Launch(launch.hit, nullptr, launch.tracer);
    }
    int32_t TakeCasing() override
    {
        Casing* casing = Ammunition::TakeCasing();
        return casing ? casing->mRingPosition : -1;
    }
    void LaunchCasing(int32_t handle, const WeaponCasingRecord& record, const Matrix& frame, float floor) override
    {
        Casing* casing = Ammunition::GetCasing(handle);
        if (!casing || !casing->mLive)
            return;
        W3dNode* root = LevelRoot();
        if (!root)
        {
            Ammunition::FreeCasing(handle);
            return;
        }
        Matrix placed = frame;
        Frame::Transform(casing->GetEngineFrame(), &placed, kCombineReplace);
        root->AttachChild(casing);
        casing->Launch(record, floor);
    }
};

RingSource gSource;

int32_t HookPreallocate()
{
    return Ammunition::Preallocate();
}

const AmmoManagerHooks kHooks = {HookPreallocate, Ammunition::ResetAll, Ammunition::Shutdown};

[[maybe_unused]] const int kInstalled = []
{
    AmmoManagerSetHooks(&kHooks);
    return 1;
}();
} // namespace

namespace Ammunition
{
int32_t Preallocate()
{
    if (gRings.ready)
        return 1;
    for (auto& slot : gRings.projectiles)
        if ((slot = Projectil::Create()))
            slot->AddRef();
    for (auto& slot : gRings.impacts)
        if ((slot = Impact::Create()))
            slot->AddRef();
    for (auto& slot : gRings.casings)
        if ((slot = Casing::Create()))
            slot->AddRef();
    const int32_t counts[kRows] = {std::min(AmmoGeometryCasingCount(), kMaxRowEntries),
                                   std::min(AmmoGeometryTankProjectileCount(), kMaxRowEntries)};
    HbResourceManager* resources = HbResourceManager::Instance();
    for (int32_t row = 0; row < kRows; ++row)
    {
        Row& r = gRings.rows[row];
        r.count = counts[row];
        r.cursor = -1;
        for (int32_t i = 0; i < r.count; ++i)
        {
            AmmoGeometry& entry = r.entries[i];
            entry = AmmoGeometry{};
            entry.index = i;
            HbRoot* object = resources ? resources->AcquireResource(kRowResources[row]) : nullptr;
            if (auto* node = HbCastTo<W3dNode>(object))
            {
                entry.model = node;
                node->AddRef();
            }
            if (object)
                object->Release();
        }
    }
    gRings.streakTurn = Identity();
    const Vector zAxis = {0.0f, 0.0f, 1.0f};
    Matrix::Rotate(&gRings.streakTurn, &zAxis, 90.0f, kCombineReplace);
    gRings.projectileCursor = gRings.impactCursor = gRings.casingCursor = -1;
    gRings.ready = 1;
    WeaponSetAmmoSource(&gSource);
    return 1;
}

void ResetAll()
{
    if (!gRings.ready)
        return;
    for (int32_t i = 0; i < kProjectiles; ++i)
        FreeProjectile(i);
    for (int32_t i = 0; i < kImpacts; ++i)
        FreeImpact(i);
    for (int32_t i = 0; i < kCasings; ++i)
        FreeCasing(i);
    for (Row& row : gRings.rows)
        for (int32_t i = 0; i < row.count; ++i)
            ReleaseGeometry(&row.entries[i]);
}

void Shutdown()
{
    if (!gRings.ready)
        return;
    ResetAll();
    if (WeaponGetAmmoSource() == &gSource)
        WeaponSetAmmoSource(nullptr);
    for (auto& slot : gRings.projectiles)
        if (slot)
            slot->Release(), slot = nullptr;
    for (auto& slot : gRings.impacts)
        if (slot)
            slot->Release(), slot = nullptr;
    for (auto& slot : gRings.casings)
        if (slot)
            slot->Release(), slot = nullptr;
    for (Row& row : gRings.rows)
    {
        for (int32_t i = 0; i < row.count; ++i)
            if (row.entries[i].model)
            {
                Detach(row.entries[i].model);
                row.entries[i].model->Release();
                row.entries[i] = AmmoGeometry{};
            }
        row.count = 0;
    }
    gRings.ready = 0;
}

Projectil* TakeProjectile()
{
    return Take(gRings.projectiles, gRings.projectileCursor);
}

Casing* TakeCasing()
{
    return Take(gRings.casings, gRings.casingCursor);
}

Impact* TakeImpact()
{
    return Take(gRings.impacts, gRings.impactCursor);
}

template <typename T> void FreeObject(T* object)
{
    if (!object)
        return;
    Detach(object);
    object->Reset();
}

void FreeProjectile(int32_t position)
{
    FreeObject(GetProjectile(position));
}

void FreeImpact(int32_t position)
{
    FreeObject(GetImpact(position));
}

void FreeCasing(int32_t position)
{
    FreeObject(GetCasing(position));
}

Projectil* GetProjectile(int32_t position)
{
    return position >= 0 && position < kProjectiles ? gRings.projectiles[position] : nullptr;
}

Impact* GetImpact(int32_t position)
{
    return position >= 0 && position < kImpacts ? gRings.impacts[position] : nullptr;
}

Casing* GetCasing(int32_t position)
{
    return position >= 0 && position < kCasings ? gRings.casings[position] : nullptr;
}

template <typename T, int32_t N> int32_t CountLive(T* (&ring)[N])
{
    int32_t live = 0;
    for (T* object : ring)
        live += object && object->mLive ? 1 : 0;
    return live;
}

int32_t LiveProjectiles()
{
    return CountLive(gRings.projectiles);
}

int32_t LiveImpacts()
{
    return CountLive(gRings.impacts);
}

int32_t LiveCasings()
{
    return CountLive(gRings.casings);
}

AmmoGeometry* TakeCasingGeometry(int32_t kind)
{
    // Only one casing row exists: a kind past it names nothing.
    return kind == 0 ? TakeGeometry(0) : nullptr;
}

AmmoGeometry* TakeProjectileGeometry(int32_t kind)
{
    return kind == 0 ? TakeGeometry(1) : nullptr;
}

void ReleaseGeometry(AmmoGeometry* entry)
{
    if (!entry)
        return;
    entry->inUse = 0;
    if (W3dNode* model = entry->model)
    {
        Detach(model);
        if (Frame* frame = model->GetEngineFrame())
            Frame::SetIdentity(frame);
    }
}

int32_t GeometryInUse()
{
    int32_t used = 0;
    for (Row& row : gRings.rows)
        for (int32_t i = 0; i < row.count; ++i)
            used += row.entries[i].inUse;
    return used;
}
} // namespace Ammunition
