// MovePathFollower: the waypoint follower over the level's path graph that the soldier and
// tank move skills embed (path modes Astar, NoAstar and LineAstar), and the headroom test of
// the hero's crouch input.
#pragma once

#include "hbptr.h"
#include "hbroot.h"
#include "vector.h"

#include <cstdint>
#include <deque>

class TsActor;

class MovePathFollower : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    enum PathMode : int32_t
    {
        kAstar = 0,
        kNoAstar = 1,
        kLineAstar = 2,
    };
    enum State : int32_t
    {
        kIdle = 0,
        kTargetSet = 1,
        kMoving = 3,
        kFailed = 4,
        kArrived = 5,
        kNewWaypoint = 6,
    };
    static constexpr float kDropFirstDistance = 0.1f;
    static constexpr float kMergeDistance = 10.0f;
    static constexpr float kNearestGraphDistance = 100.0f;
    static constexpr float kReachMargin = 1.0f;

    /// The follower of the actor (not referenced), idle.
    explicit MovePathFollower(TsActor* actor = nullptr) : mActor(actor) {}

    void SetActor(TsActor* actor) { mActor = actor; }
    /// The goal follows the actor (its position now), held by a handle: a target that dies
    /// leaves the goal where it last stood; state 1.
    void SetTargetActor(TsActor* target);
    /// The goal is the point; no target actor; state 1.
    void SetTargetPosition(const Vector* point);
    const Vector* GetTargetPosition() const { return &mTargetPosition; }
    /// Plans with the mode and arrival distance. 1 moving, 0 failed (state 4). A follower
    /// without a target answers 0 in state 4.
    int32_t Start(int32_t pathMode, float arrivalDistance);
    /// One frame after the actor moved; the new state. The angle, when asked, receives the
    /// turn toward a newly selected waypoint (0 otherwise); idle, failed and arrived states
    /// come back unchanged and leave it alone.
    int32_t Step(float* angle);
    /// The signed horizontal angle (degrees) from the actor's forward vector to the point.
    static float AngleToPoint(const Vector* point, TsActor* actor);

    int32_t GetState() const { return mState; }
    int32_t GetWaypointCount() const { return int32_t(mWaypoints.size()); }
    const Vector* GetCurrentWaypoint() const { return &mCurrentWaypoint; }
    const Vector* GetLastWaypoint() const { return &mLastWaypoint; }
    /// The unit direction from where the actor stood to the current waypoint when it was
    /// selected.
    const Vector* GetDirection() const { return &mDirection; }
    float GetLegLength() const { return mLegLength; }
    float GetTravelled() const { return mTravelled; }

private:
    int32_t Plan();
    void BuildAstarPath();
    void SelectWaypoint();
    void NextWaypoint();
    /// The target actor while it lives, else null.
    TsActor* TargetActor();

    TsActor* mActor = nullptr;
    HbHandlePtr mTargetActor;
    Vector mTargetPosition = {0.0f, 0.0f, 0.0f};
    float mArrivalDistance = 1.0f;
    std::deque<Vector> mWaypoints;
    Vector mCurrentWaypoint = {0.0f, 0.0f, 0.0f};
    Vector mDirection = {0.0f, 0.0f, 1.0f};
    float mLegLength = 0.0f;
    float mTravelled = 0.0f;
    int32_t mPathMode = kAstar;
    int32_t mState = kIdle;
    int32_t mSpare = 0;
    Vector mLastWaypoint = {0.0f, 0.0f, 0.0f};
};

/// The free height the hero needs to stand up.
constexpr float kMoveHeadroomHeight = 160.0f;
/// True when no triangle of the level's main world crosses the vertical segment from the
/// actor's world position to 160 units above it; true without a level or a node.
bool MoveHeadroomClear(TsActor* actor);
