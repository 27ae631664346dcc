// MovePathFollower and the headroom test.
#include "movepathfollower.h"

#include "collision.h"
#include "frame.h"
#include "moveskillhooks.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "world.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(MovePathFollower, HbRoot);

namespace
{
bool PositionOf(TsActor* actor, Vector* out)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    const Vector* position = node ? node->GetWorldPosition() : nullptr;
    if (!position)
        return false;
    *out = *position;
    return true;
}

Vector ForwardOf(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    return frame ? Frame::GetWorldMatrix(frame)->at : Vector{0.0f, 0.0f, 1.0f};
}

float PlanarDistance(const Vector& a, const Vector& b)
{
    const float dx = a.x - b.x;
    const float dz = a.z - b.z;
    return std::sqrt(dx * dx + dz * dz);
}

float Distance(const Vector& a, const Vector& b)
{
    return VectorDistance(&a, &b);
}
} // namespace

void MovePathFollower::SetTargetActor(TsActor* target)
{
    mTargetActor.Assign(target);
    PositionOf(target, &mTargetPosition);
    mState = kTargetSet;
}

void MovePathFollower::SetTargetPosition(const Vector* point)
{
    if (point)
        mTargetPosition = *point;
    mTargetActor.Reset();
    mState = kTargetSet;
}

int32_t MovePathFollower::Start(int32_t pathMode, float arrivalDistance)
{
    // Tested before the state is overwritten: a follower never given a target must not
    // plan towards the origin.
    const bool targetSet = mState != kIdle;
    mPathMode = pathMode;
    mArrivalDistance = arrivalDistance;
    mState = kFailed;
    mTravelled = 0.0f;
    if (!targetSet || !mActor)
        return 0;
    return Plan();
}

int32_t MovePathFollower::Plan()
{
    MovePathGraph* graph = GetMoveSkillHooks().getPathGraph ? GetMoveSkillHooks().getPathGraph() : nullptr;
    if (!mActor || !graph)
    {
        mState = kFailed;
        return 0;
    }
    mWaypoints.clear();
    mTravelled = 0.0f;
    Vector position = {0.0f, 0.0f, 0.0f};
    PositionOf(mActor, &position);
    switch (mPathMode)
    {
    case kAstar:
        BuildAstarPath();
        break;
    case kNoAstar:
        mWaypoints.push_back(mTargetPosition);
        break;
    case kLineAstar:
        if (graph->IsStraightWalkable(&position, &mTargetPosition))
            mWaypoints.push_back(mTargetPosition);
        break;
    default:
        break;
    }
    if (!mWaypoints.empty())
    {
        if (Distance(position, mWaypoints.front()) < kDropFirstDistance)
            mWaypoints.pop_front();
        if (!mWaypoints.empty())
        {
            SelectWaypoint();
            mState = kMoving;
            return 1;
        }
    }
    mState = kFailed;
    return 0;
}

void MovePathFollower::BuildAstarPath()
{
    MovePathGraph* graph = GetMoveSkillHooks().getPathGraph();
    Vector start = {0.0f, 0.0f, 0.0f};
    PositionOf(mActor, &start);
    if (!graph->IsPointOnGraph(&start))
    {
        Vector nearest;
        if (!graph->FindNearestPoint(&start, kNearestGraphDistance, &nearest))
            return;
        start = nearest;
    }
    mWaypoints.clear();
    Vector goal = mTargetPosition;
    if (TsActor* target = TargetActor())
        PositionOf(target, &goal);
    graph->ResetSearch();
    const Vector forward = ForwardOf(mActor);
    if (graph->IsPointOnGraph(&start) && graph->FindPath(&start, &goal, &forward, 0))
        for (int32_t i = 0; i < graph->GetResultCount(); ++i)
            mWaypoints.push_back(graph->GetResultPoint(i));
    if (TsActor* target = TargetActor(); target && !mWaypoints.empty())
        PositionOf(target, &mTargetPosition);
}

TsActor* MovePathFollower::TargetActor()
{
    if (!mTargetActor.IsValid())
        return nullptr;
    return HbCastTo<TsActor>(mTargetActor.GetObject());
}

void MovePathFollower::SelectWaypoint()
{
    mCurrentWaypoint = mWaypoints.front();
    mCurrentWaypoint.y = 0.0f;
    Vector position = {0.0f, 0.0f, 0.0f};
    PositionOf(mActor, &position);
    position.y = 0.0f;
    mLegLength = PlanarDistance(position, mCurrentWaypoint);
    mTravelled = 0.0f;
    Vector direction = {mCurrentWaypoint.x - position.x, mCurrentWaypoint.y - position.y,
                        mCurrentWaypoint.z - position.z};
    const float length = std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
    if (length > 0.0f)
        direction = {direction.x / length, direction.y / length, direction.z / length};
    mDirection = direction;
    if (GetMoveSkillHooks().setMoveGoal)
        GetMoveSkillHooks().setMoveGoal(mActor, &mCurrentWaypoint);
}

void MovePathFollower::NextWaypoint()
{
    if (mWaypoints.empty())
        return;
    mLastWaypoint = mWaypoints.front();
    mWaypoints.pop_front();
    if (!mWaypoints.empty())
    {
        SelectWaypoint();
        mState = kNewWaypoint;
    }
    if (mWaypoints.size() >= 2 && Distance(mCurrentWaypoint, mWaypoints[1]) < kMergeDistance)
    {
        mLastWaypoint = mWaypoints.front();
        mWaypoints.pop_front();
        SelectWaypoint();
    }
}

int32_t MovePathFollower::Step(float* angle)
{
    if (mState == kIdle || mState == kFailed || mState == kArrived)
        return mState;
    mState = kMoving;
    if (GetMoveSkillHooks().getMovedDistance)
        mTravelled += GetMoveSkillHooks().getMovedDistance(mActor);

    int32_t result = kMoving;
    Vector position, target;
    TsActor* targetActor = TargetActor();
    if (targetActor && PositionOf(mActor, &position) && PositionOf(targetActor, &target) &&
        PlanarDistance(position, target) < mArrivalDistance)
    {
        mWaypoints.clear();
        result = kArrived;
    }
    else if (mTravelled >= mLegLength - kReachMargin)
    {
        NextWaypoint();
        result = mWaypoints.empty() ? kArrived : kNewWaypoint;
    }
    mState = result;
    if (angle)
        *angle = result == kNewWaypoint ? AngleToPoint(&mCurrentWaypoint, mActor) : 0.0f;
    return result;
}

float MovePathFollower::AngleToPoint(const Vector* point, TsActor* actor)
{
    Vector position = {0.0f, 0.0f, 0.0f};
    if (!point || !PositionOf(actor, &position))
        return 0.0f;
    const Vector forward = ForwardOf(actor);
    const Vector toPoint = {point->x - position.x, 0.0f, point->z - position.z};
    const Vector flatForward = {forward.x, 0.0f, forward.z};
    return VectorPlanarAngle(&flatForward, &toPoint, nullptr);
}

// ---- Headroom --------------------------------------------------------------------------------

namespace
{
CollisionTriangle* NoteHit(IntersectionPrimitive*, WorldSector*, CollisionTriangle* triangle, float, void* data)
{
    *static_cast<bool*>(data) = true;
    // Null stops the walk: one triangle is enough.
    return nullptr;
}
} // namespace

bool MoveHeadroomClear(TsActor* actor)
{
    Vector position;
    if (!PositionOf(actor, &position))
        return true;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    World* main = level ? level->GetMainWorld() : nullptr;
    if (!main)
        return true;
    IntersectionPrimitive line;
    line.type = kIntersectLine;
    line.data.line.start = position;
    line.data.line.end = {position.x, position.y + kMoveHeadroomHeight, position.z};
    bool hit = false;
    World::ForAllTriangleIntersections(main, &line, NoteHit, &hit);
    return !hit;
}
