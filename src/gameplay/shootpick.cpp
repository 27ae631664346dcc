// The shoot helper's survey and target pick.
#include "shootpick.h"

#include "camera.h"
#include "collision.h"
#include "frame.h"
#include "hbptr.h"
#include "scriptworldmanager.h"
#include "shootsight.h"
#include "tsactor.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "world.h"
#include "wscene.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr float kBlockerRadius = 280.0f;
constexpr float kBlockerMargin = 150.0f;
constexpr float kBodyRaise = 30.0f;

struct Target
{
    HbHandlePtr actor;
    float distance = 0.0f;
    float x = 0.0f, y = 0.0f, radius = 0.0f;
    int32_t in = 0;
    float headX = 0.0f, headY = 0.0f, headRadius = -1.0f;
    int32_t headIn = 0;
    Vector centre = {0.0f, 0.0f, 0.0f};
    float key = 0.0f;
};

struct Tables
{
    Target targets[kShootHelperTargets];
    int32_t targetCount = 0;
    HbHandlePtr blockers[kShootHelperBlockers];
    int32_t blockerCount = 0;
};

Tables gTables;

Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Length(const Vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

/// The head sphere, else the heart sphere, of an animated node; null without either.
const ShootSphere* HeadOf(W3dNode* node)
{
    auto* animated = HbCastTo<W3dAnimObject>(node);
    if (!animated)
        return nullptr;
    if (animated->GetHeadSphere().enabled)
        return &animated->GetHeadSphere();
    if (animated->GetHeartSphere().enabled)
        return &animated->GetHeartSphere();
    return nullptr;
}

void Clear()
{
    for (Target& target : gTables.targets)
        target.actor.Reset();
    for (HbHandlePtr& blocker : gTables.blockers)
        blocker.Reset();
    gTables.targetCount = 0;
    gTables.blockerCount = 0;
}

void Consider(TsActor* actor, TsActor* hero, const Matrix& view, const Vector& eye)
{
    W3dNode* node = actor->GetNode();
    if (!node || !actor->mActive || (actor->mFamily & HeroFamily))
        return;
    W3dCollisionTree& set = node->GetShootCollisionSet();
    if (!set.GetRoot() || !set.IsEnabled())
        return;
    if ((actor->mFamily & HeroEnemyFamily) && actor->mHitPoints < 1)
        return;
    const Sphere sphere = *set.GetRoot()->GetWorldSphere();
    float screen[2];
    if (!ShootHelperScreenPoint(view, sphere.centre, screen))
        return;
    const uint32_t enemies = hero ? hero->mEnemyFamily : uint32_t(HeroEnemyFamily);
    if (!(actor->mFamily & enemies) || (actor->mFamily & DofFamily))
    {
        if (gTables.blockerCount < kShootHelperBlockers)
            gTables.blockers[gTables.blockerCount++].Assign(actor);
        return;
    }
    if (gTables.targetCount >= kShootHelperTargets)
        return;
    Target& target = gTables.targets[gTables.targetCount++];
    target.actor.Assign(actor);
    target.centre = sphere.centre;
    target.distance = Length(Sub(sphere.centre, eye));
    target.x = screen[0];
    target.y = screen[1];
    target.radius = target.distance > 0.0f ? sphere.radius / target.distance : 0.0f;
    target.headRadius = -1.0f;
    target.in = target.headIn = 0;
    if (const ShootSphere* head = HeadOf(node))
    {
        const Vector centre = head->GetWorldCentre();
        float headScreen[2] = {0.0f, 0.0f};
        // The head's projection is taken as it comes: only the body decides visibility.
        Vector v;
        Vector::TransformPoint(&v, &centre, &view);
        if (v.z > 0.0f)
        {
            headScreen[0] = v.x / v.z;
            headScreen[1] = v.y / v.z;
        }
        const float distance = Length(Sub(centre, eye));
        target.headX = headScreen[0];
        target.headY = headScreen[1];
        target.headRadius = distance > 0.0f ? head->radius / distance : -1.0f;
    }
}

void Survey()
{
    Clear();
    Matrix view;
    Vector eye;
    if (!ShootHelperViewMatrix(&view, &eye))
        return;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world)
        return;
    TsActor* hero = world->GetHero();
    for (const HbPtrListNode* entry = world->GetActors().GetHead(); entry; entry = entry->next)
        Consider(static_cast<TsActor*>(entry->value), hero, view, eye);
}

CollisionTriangle* AnyTriangle(IntersectionPrimitive*, WorldSector*, CollisionTriangle*, float, void* data)
{
    *static_cast<bool*>(data) = true;
    return nullptr;
}

World* LevelWorld()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    return level ? level->GetCollisionWorld() : nullptr;
}

int32_t ClearLine(const Vector& from, const Vector& to, Vector* out)
{
    const Vector segment[2] = {from, to};
    if (ShootHelperLineBlocked(segment))
        return 0;
    *out = to;
    return 1;
}
} // namespace

int32_t ShootHelperScreenPoint(const Matrix& view, const Vector& point, float screen[2])
{
    Vector v;
    Vector::TransformPoint(&v, &point, &view);
    if (!(v.x > 0.0f && v.y > 0.0f && v.z > 0.0f && v.x < v.z && v.y < v.z))
        return 0;
    screen[0] = v.x / v.z;
    screen[1] = v.y / v.z;
    return 1;
}

int32_t ShootHelperViewMatrix(Matrix* view, Vector* cameraPosition)
{
    TsCamera* camera = TsCameraRegistry::GetCamera(TsCameraRegistry::GetCurrentCameraId());
    Camera* engine = camera ? camera->GetCamera() : nullptr;
    Frame* frame = TsCameraRegistry::GetCurrentCameraNode();
    if (!engine || !frame || engine->viewWindow.x <= 0.0f || engine->viewWindow.y <= 0.0f)
        return 0;
    // The engine's view matrix, built from the frame now rather than at the last draw.
    const Matrix& world = *Frame::GetWorldMatrix(frame);
    const Vector &R = world.right, &U = world.up, &A = world.at, &P = world.pos;
    const float e = -0.5f / engine->viewWindow.x;
    const float u = -0.5f / engine->viewWindow.y;
    const float f = 0.5f - e * engine->viewOffset.x;
    const float v = 0.5f + u * engine->viewOffset.y;
    const Vector c0 = {R.x * e + A.x * f, R.y * e + A.y * f, R.z * e + A.z * f};
    const Vector c1 = {U.x * u + A.x * v, U.y * u + A.y * v, U.z * u + A.z * v};
    auto dot = [](const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    *view = {};
    view->right = {c0.x, c1.x, A.x};
    view->up = {c0.y, c1.y, A.y};
    view->at = {c0.z, c1.z, A.z};
    view->pos = {0.5f - f - dot(c0, P), 0.5f - v - dot(c1, P), -dot(A, P)};
    view->flags = 0;
    *cameraPosition = P;
    return 1;
}

int32_t ShootHelperLineBlocked(const Vector segment[2])
{
    Vector d = Sub(segment[1], segment[0]);
    const float length = Length(d);
    if (length > 0.0f)
        d = {d.x / length, d.y / length, d.z / length};
    for (int32_t i = 0; i < gTables.blockerCount; ++i)
    {
        if (!gTables.blockers[i].IsValid())
            continue;
        auto* actor = static_cast<TsActor*>(gTables.blockers[i].GetObject());
        W3dNode* node = actor->GetNode();
        if (!node)
            continue;
        const Sphere around = {*node->GetWorldPosition(), kBlockerRadius};
        if (!SphereIntersectsSegment(&around, &d, segment, kBlockerMargin))
            continue;
        W3dCollisionQuery query;
        query.Reset();
        Vector tested[2] = {segment[0], segment[1]};
        if (node->GetShootCollisionSet().CollideSegment(&query, tested, 0.0f))
            return 1;
    }
    World* world = LevelWorld();
    if (!world)
        return 0;
    IntersectionPrimitive line = {};
    line.type = kIntersectLine;
    line.data.line.start = segment[0];
    line.data.line.end = segment[1];
    bool hit = false;
    World::ForAllTriangleIntersections(world, &line, AnyTriangle, &hit);
    return hit ? 1 : 0;
}

int32_t ShootHelperPick(float centreX, float centreY, float tolerance, int32_t useHead, Vector* out)
{
    Survey();
    Matrix view;
    Vector eye;
    if (gTables.targetCount == 0 || !ShootHelperViewMatrix(&view, &eye))
        return 0;
    Target* kept[kShootHelperTargets];
    int32_t count = 0;
    for (int32_t i = 0; i < gTables.targetCount; ++i)
    {
        Target& target = gTables.targets[i];
        const float dx = target.x - centreX, dy = target.y - centreY;
        const float d2 = dx * dx + dy * dy;
        const float reach = tolerance + target.radius;
        target.in = d2 <= reach * reach ? 1 : 0;
        target.key = d2;
        target.headIn = 0;
        if (useHead && target.headRadius > 0.0f)
        {
            const float hx = target.headX - centreX, hy = target.headY - centreY;
            const float h2 = hx * hx + hy * hy;
            const float headReach = tolerance + target.headRadius;
            target.headIn = headReach * headReach >= h2 ? 1 : 0;
            target.key = h2;
        }
        if (target.in || target.headIn)
            kept[count++] = &target;
    }
    std::stable_sort(kept, kept + count, [](const Target* a, const Target* b) { return a->key < b->key; });
    for (int32_t i = 0; i < count; ++i)
    {
        Target& target = *kept[i];
        if (!target.actor.IsValid())
            continue;
        auto* actor = static_cast<TsActor*>(target.actor.GetObject());
        W3dNode* node = actor->GetNode();
        if (!node)
            continue;
        const ShootSphere* head = HeadOf(node);
        if (target.headIn && head && ClearLine(eye, head->GetWorldCentre(), out))
            return 1;
        if (!target.in)
            continue;
        const Vector body = {target.centre.x, target.centre.y + kBodyRaise, target.centre.z};
        if (ClearLine(eye, body, out))
            return 1;
        if (target.headRadius > 0.0f && head && ClearLine(eye, head->GetWorldCentre(), out))
            return 1;
    }
    return 0;
}

int32_t ShootHelperWeaponTarget(Vector* out)
{
    // Shots are corrected only while the aim ray rests on no enemy.
    if (!ShootHelperIsAimActive())
        return 0;
    return ShootHelperPick(0.5f, 0.5f, ShootHelperGetSpread(), 1, out);
}

int32_t ShootHelperCameraTarget(Vector* out)
{
    return ShootHelperPick(0.5f, 0.5f, 1.0f, 0, out);
}

int32_t ShootHelperTargetCount()
{
    return gTables.targetCount;
}

int32_t ShootHelperBlockerCount()
{
    return gTables.blockerCount;
}
