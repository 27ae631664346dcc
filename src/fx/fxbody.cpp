// The moving bodies of the debris and the simple physics, their model holders and the level
// they move in.
#include "fxbody.h"

#include "clump.h"
#include "collision.h"
#include "frame.h"
#include "fxfade.h"
#include "fxservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbptr.h"
#include "hbresource.h"
#include "matrix.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "watomicowner.h"
#include "world.h"
#include "wrenderer.h"
#include "wscene.h"

#include <cfloat>
#include <cmath>

// ---- The current level ---------------------------------------------------------------------------

W3dLevel* FxCurrentLevel()
{
    GameStateManager* manager = GameStateManager::Instance();
    if (!manager)
        return nullptr;
    HbHandlePtr handle;
    manager->GetLevelHandle(&handle);
    // The profile keeps the level alive; the copy only names it.
    return handle.IsValid() ? HbCastTo<W3dLevel>(handle.GetObject()) : nullptr;
}

W3dNode* FxLevelWorldNode()
{
    W3dLevel* level = FxCurrentLevel();
    WRenderer* renderer = WRenderer::Existing();
    WScene* scene = renderer ? renderer->GetScene() : nullptr;
    if (!level || !scene || scene->GetLevel() != level)
        return nullptr;
    return scene->GetRoot();
}

namespace
{
struct NearestHit
{
    float fraction = FLT_MAX;
};

CollisionTriangle* KeepNearestTriangle(IntersectionPrimitive*, WorldSector*, CollisionTriangle* triangle,
                                       float distance, void* data)
{
    auto* hit = static_cast<NearestHit*>(data);
    if (distance < hit->fraction)
        hit->fraction = distance;
    return triangle;
}
} // namespace

int32_t FxGroundProbe(const float* point, float above, float below, float* height)
{
    W3dLevel* level = FxCurrentLevel();
    World* world = level ? level->GetCollisionWorld() : nullptr;
    if (!world)
        return 0;
    IntersectionPrimitive primitive = {};
    primitive.type = kIntersectLine;
    primitive.data.line.start = {point[0], point[1] + above, point[2]};
    primitive.data.line.end = {point[0], point[1] - below, point[2]};
    NearestHit hit;
    World::ForAllTriangleIntersections(world, &primitive, KeepNearestTriangle, &hit);
    if (hit.fraction == FLT_MAX)
        return 0;
    *height = point[1] + above - hit.fraction * (above + below);
    return 1;
}

// ---- Model holders -------------------------------------------------------------------------------

FxModelHolder::~FxModelHolder()
{
    // The physics holder's node is the game's: its Release only forgets it.
    Release();
}

int32_t FxModelHolder::Load(const char* name)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    // The holder keeps the reference taken here; anything else goes back.
    HbRoot* resource = resources && name ? resources->AcquireResource(name) : nullptr;
    W3dNode* node = HbCastTo<W3dNode>(resource);
    if (!node || !node->GetEngineFrame())
    {
        if (resource)
            resource->Release();
        return 0;
    }
    node->SetFlags(node->GetFlags() | W3dNode::kVisible);
    mNode = node;
    mFrame = node->GetEngineFrame();
    const Sphere* bounds = node->GetBoundingSphere();
    mRadius = bounds ? bounds->radius : 0.0f;
    return 1;
}

void FxModelHolder::AddToWorld()
{
    W3dNode* world = FxLevelWorldNode();
    if (mNode && world && mNode->GetParent() != world)
        world->AttachChild(mNode);
}

void FxModelHolder::RemoveFromWorld()
{
    if (!mNode)
        return;
    if (W3dNode* parent = mNode->GetParent())
        parent->RemoveChild(mNode);
    Frame::SetIdentity(mFrame);
}

void FxModelHolder::Release()
{
    if (!mNode)
        return;
    RemoveFromWorld();
    W3dNode* node = mNode;
    mNode = nullptr;
    mFrame = nullptr;
    node->Release();
}

void FxModelHolder::SetNode(W3dNode* node)
{
    mNode = node;
    mFrame = node ? node->GetEngineFrame() : nullptr;
    const Sphere* bounds = node ? node->GetBoundingSphere() : nullptr;
    mRadius = bounds ? bounds->radius : 0.0f;
}

void PhysicsModelHolder::SetNode(W3dNode* node)
{
    mNode = node;
    mFrame = node ? node->GetEngineFrame() : nullptr;
    mRadius = 0.0f;
    mRoots[0] = node ? node->GetMoveCollisionSet().GetRoot() : nullptr;
    mRoots[1] = node ? node->GetShootCollisionSet().GetRoot() : nullptr;
}

// ---- Bodies ----------------------------------------------------------------------------------------

namespace
{
/// u(a): uniform in [-a, a).
float Spread(float a)
{
    return a != 0.0f ? RandomFloatInRange(-a, a) : 0.0f;
}

void MoveFrameTo(Frame* frame, const float* p)
{
    if (!frame)
        return;
    frame->modelling.pos = {p[0], p[1], p[2]};
    Frame::UpdateObjects(frame);
}

void FadeOver(void* user)
{
    static_cast<FxBody*>(user)->state = FxBody::kFadeOver;
}
} // namespace

void FxBody::Launch(int64_t now, const Fx3dType& t, Fx3dLaunch& launch)
{
    state = kMoving;
    holder->AddToWorld();
    for (int32_t i = 0; i < 3; ++i)
        start[i] = launch.position[i] + t.positionOffset[i] + Spread(t.positionSpread[i]);
    position[0] = start[0], position[1] = start[1], position[2] = start[2];
    Frame* frame = holder->GetFrame();
    MoveFrameTo(frame, start);
    launchTime = integrationStart = now;
    float d[3];
    for (int32_t i = 0; i < 3; ++i)
        d[i] = t.direction[i] + Spread(t.directionSpread[i]);
    const float length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const float speed = t.speed + Spread(t.speedSpread);
    for (int32_t i = 0; i < 3; ++i)
        velocity[i] = length > 0.0f ? d[i] / length * speed : 0.0f;
    spin = t.spin + Spread(t.spinSpread);
    spinAxis = t.spinAxis;
    Vector scale;
    scale.x = t.scale[0] + Spread(t.scaleSpread[0]);
    scale.y = t.scale[1] + Spread(t.scaleSpread[1]);
    scale.z = t.scale[2] + Spread(t.scaleSpread[2]);
    if (frame && (scale.x != 1.0f || scale.y != 1.0f || scale.z != 1.0f))
        Frame::Scale(frame, &scale, kCombinePreConcat);
    fadeStarted = 0;
    // A recycled piece starts afresh: its last fall says nothing about this one.
    previousDy = 0.0f;
    spinStep = 0.0f;
}

void FxBody::Integrate(int64_t now, float stepSeconds)
{
    if (state != kMoving)
        return;
    float d[3];
    PhysicsDisplacement(now - integrationStart, velocity, d);
    for (int32_t i = 0; i < 3; ++i)
        position[i] = start[i] + d[i];
    spinStep = stepSeconds * spin;
}

void FxBody::Bounce(int64_t now, const float* move, float restitution)
{
    const int64_t step = HbGameClock::Instance()->mStep;
    const float length = std::sqrt(move[0] * move[0] + move[1] * move[1] + move[2] * move[2]);
    // A zero step leaves no time to spread the move over: the body stops instead.
    for (int32_t i = 0; i < 3; ++i)
        velocity[i] = 0.0f;
    if (step > 0 && length > 0.0f)
    {
        const float factor = restitution / float(step);
        velocity[0] = move[0] * factor;
        velocity[1] = std::fabs(move[1]) * factor;
        velocity[2] = move[2] * factor;
    }
    integrationStart = now;
    start[0] = position[0], start[1] = position[1], start[2] = position[2];
    spin *= RandomFloatInRange(-1.0f, 1.0f);
}

void FxBody::Collide(int64_t now, const Fx3dType& t, Fx3dLaunch& launch)
{
    if (state != kMoving || !holder->GetFrame())
        return;
    const Vector& current = holder->GetFrame()->modelling.pos;
    const float move[3] = {position[0] - current.x, position[1] - current.y, position[2] - current.z};
    if (move[1] < 0.0f)
    {
        const float bottom = position[1] - holder->GetRadius();
        if (bottom < launch.ground)
        {
            if (previousDy >= 0.0f)
            {
                state = kResting;
                restTime = now;
                return;
            }
            position[1] += launch.ground - bottom;
            Bounce(now, move, t.restitution);
        }
    }
    previousDy = move[1];
}

void FxBody::Apply()
{
    Frame* frame = holder->GetFrame();
    if (state != kMoving || !frame)
        return;
    frame->modelling.pos = {position[0], position[1], position[2]};
    if (spinStep != 0.0f && spinAxis)
    {
        Vector axis = {spinAxis[0], spinAxis[1], spinAxis[2]};
        float degrees = spinStep;
        if (spinStep < 0.0f)
        {
            axis = {-axis.x, -axis.y, -axis.z};
            degrees = -spinStep;
        }
        Frame::Rotate(frame, &axis, degrees, kCombinePreConcat);
    }
    Frame::UpdateObjects(frame);
}

void FxBody::Finish(int64_t now, const Fx3dType& t)
{
    if ((state == kMoving || state == kResting) && !fadeStarted && now - launchTime >= t.life - t.fadeDelay)
    {
        fadeStarted = 1;
        W3dNode* node = holder->GetNode();
        // A fade that cannot start has already run its callback.
        if (t.fadeDuration > 0.0f && node)
            FxFadeStart(HbHandlePtr(node), t.fadeDuration, FadeOver, this);
        else
            state = kFadeOver;
    }
    if (state == kFadeOver)
    {
        holder->RemoveFromWorld();
        state = kRemoved;
    }
}

// ---- The physics collide -----------------------------------------------------------------------

namespace
{
struct AtomicQuery
{
    IntersectionPrimitive* primitive;
    const PhysicsModelHolder* holder;
    float fraction = FLT_MAX;
};

CollisionTriangle* KeepNearestAtomicTriangle(IntersectionPrimitive*, CollisionTriangle* triangle, float distance,
                                             void* data)
{
    auto* query = static_cast<AtomicQuery*>(data);
    if (distance < query->fraction)
        query->fraction = distance;
    return triangle;
}

Atomic* TestAtomic(IntersectionPrimitive* primitive, WorldSector*, Atomic* atomic, float, void* data)
{
    auto* query = static_cast<AtomicQuery*>(data);
    W3dNode* owner = AtomicOwner::GetOwner(atomic);
    if (!owner || owner == query->holder->GetNode())
        return atomic;
    for (int32_t i = 0; i < 2; ++i)
        if (W3dCollisionNode* root = query->holder->GetRoot(i); root && root->atomic == atomic)
            return atomic;
    Atomic::ForAllIntersections(atomic, primitive, KeepNearestAtomicTriangle, query);
    return atomic;
}

/// 0.01 per tick at the first game's counter: 30 units per second.
constexpr float kRestSpeedPerSecond = 30.0f;
} // namespace

void PhysicsBody::ClearBounces()
{
    mBounceCount = mBounceNext = 0;
    mAverage = 0.0f;
}

void PhysicsBody::Collide(int64_t now, const Fx3dType& t, Fx3dLaunch& launch)
{
    Frame* frame = holder->GetFrame();
    if (state != kMoving || !frame)
        return;
    const Vector& current = frame->modelling.pos;
    const float move[3] = {position[0] - current.x, position[1] - current.y, position[2] - current.z};
    float ground = launch.ground;
    if (move[1] < 0.0f)
    {
        W3dLevel* level = FxCurrentLevel();
        World* world = level ? level->GetMainWorld() : nullptr;
        if (world)
        {
            IntersectionPrimitive primitive = {};
            primitive.type = kIntersectLine;
            primitive.data.line.start = {current.x, current.y + 10.0f, current.z};
            primitive.data.line.end = {position[0], position[1], position[2]};
            AtomicQuery query{&primitive, static_cast<const PhysicsModelHolder*>(holder)};
            World::ForAllAtomicIntersections(world, &primitive, TestAtomic, &query);
            if (query.fraction != FLT_MAX)
            {
                const float startY = current.y + 10.0f;
                const float height = startY - std::fabs(startY - position[1]) * query.fraction;
                if (height > ground)
                    ground = height;
            }
        }
    }
    if (position[1] < ground)
    {
        position[1] = 2.0f * ground - position[1];
        Bounce(now, move, t.restitution);
        const float speed = std::fabs(velocity[1]);
        if (mBounceCount == kBounceCount)
            mAverage -= mBounces[mBounceNext] / kBounceCount;
        else
            ++mBounceCount;
        mBounces[mBounceNext] = speed;
        mBounceNext = (mBounceNext + 1) % kBounceCount;
        mAverage += speed / kBounceCount;
        const int64_t frequency = HbPerformanceFrequency();
        const float threshold = kRestSpeedPerSecond / float(frequency > 0 ? frequency : 1);
        if (mBounceCount >= kBounceCount && mAverage < threshold)
        {
            state = kRemoved;
            restTime = now;
            return;
        }
    }
    previousDy = move[1];
}
