// The follow camera's per-frame law: input, the running action, height, look point and its
// time-weighted history, yaw and pitch, transitions, turning back behind the actor, the look-
// ahead aim point, and the placing in front of obstacles; then the shake.
#include "camera.h"
#include "ingamecamera.h"
#include "ingamecamera_local.h"
#include "scriptworldmanager.h"
#include "spline.h"
#include "tsactor.h"
#include "w3dcollision.h"
#include "w3dnode.h"
#include "wscene.h"

#include <algorithm>

using namespace ingamecamera;

namespace
{
/// Seconds of history behind the look point, the look-ahead and the placed distance.
constexpr float kLookSpan = 0.15f;
constexpr float kAimSpan = 0.8f;
constexpr float kDistanceSpan = 1.5f;
/// Farther than this from the look point, the followed point is a teleport.
constexpr float kJump = 300.0f;
constexpr float kNearClipBlocked = 5.0f;

float Finite0(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

W3dLevel* CurrentLevel()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetLevel() : nullptr;
}

/// The nearest hit of the segment on the level's world and the collidable actors' volumes in
/// it, leaving out the followed actor.
bool SegmentHit(W3dLevel* level, const Vector& from, const Vector& to, const W3dNode* ignore,
                W3dCollisionResult* result)
{
    if (!level || !Finite(from) || !Finite(to))
    {
        result->Clear();
        return false;
    }
    return CollisionTestLine(level, &from, &to, ignore, nullptr, result, nullptr) != 0;
}
} // namespace

void CameraFollow::ServeAction(float dt, float x, float y)
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    switch (m.action)
    {
    case 1:
    case 2:
        if (x != 0.0f || y != 0.0f)
        {
            EndAction();
            return;
        }
        if (m.action == 2 && m.actionTimer >= 0.0f)
        {
            m.actionTimer -= dt;
            if (m.actionTimer <= 0.0f)
                EndAction();
        }
        return;
    case 6:
    {
        Vector target = s.targetPoint;
        if (s.targetKind == CameraFollowPlacement::kTargetActor)
        {
            auto* actor = mTarget.IsValid() ? static_cast<TsActor*>(mTarget.GetObject()) : nullptr;
            W3dNode* node = actor ? actor->GetNode() : nullptr;
            const Vector* p = node ? node->GetWorldPosition() : nullptr;
            if (!p)
            {
                // The target went: nothing left to look at.
                EndAction();
                return;
            }
            target = *p;
        }
        Vector toward;
        if (Horizontal(Sub(target, FollowedPosition()), &toward))
        {
            s.turnTarget = toward;
            s.transitions |= kTurn;
        }
        return;
    }
    case 7:
    {
        if (!s.hasAimPoint)
            return;
        m.aimTurnSeconds += dt;
        Vector toward;
        if (Horizontal(Sub(s.aimTurnPoint, s.aimPoint), &toward) && Gap(toward, s.direction) >= 0.015f &&
            m.aimTurnSeconds < 2.0f)
        {
            s.turnTarget = toward;
            return;
        }
        if (s.transitions & kTurn)
        {
            s.transitions &= ~kTurn;
            mEndedThisFrame = 1;
        }
        s.hasAimPoint = 0;
        return;
    }
    default:
        return;
    }
}

void CameraFollow::ApplyPlacement()
{
    CameraFollowModule& m = Module();
    CameraFollowState& s = mState;
    const CameraFollowHooks& hooks = Hooks();
    const int32_t pad = PadPresent();

    // 1. The pad's turn behind; the frame time.
    if (pad && hooks.action("CAMERA_BEHIND"))
        Behind();
    const float dt = FrameSeconds();
    mEndedThisFrame = 0;

    // 2. The followed point.
    s.previousLookPoint = s.lookPoint;
    const Vector followed = FollowedPosition();
    Vector t = followed;

    // 3. The stick, as degrees per frame at 60 frames per second.
    float stick[2] = {0.0f, 0.0f};
    hooks.stick(pad, stick);
    float x = pad ? stick[0] : -stick[0];
    float y = pad ? -stick[1] : stick[1];
    x = Finite0(x);
    y = Finite0(y);
    if (pad)
    {
        if (m.zoomed && mStickCurve && mStickCurve->GetBuiltCount() > 0)
        {
            float shaped = 0.0f;
            mStickCurve->Sample(std::min(1.0f, std::fabs(x)), &shaped);
            x = x < 0.0f ? -shaped : shaped;
        }
        x *= dt / kFrameSeconds;
        y *= dt / kFrameSeconds;
    }

    // 4. The running camera action.
    ServeAction(dt, x, y);

    // 5. The height above the actor and the pivot offset.
    s.currentHeight += (s.height - s.currentHeight) * FrameFactor(dt, s.heightRate);
    t.y += s.currentHeight - s.headDrop;
    t = Add(t, Add(Add(Scale(s.pivotRight, s.pivotOffset.x), Scale(s.pivotUp, s.pivotOffset.y)),
                   Scale(s.pivotAt, s.pivotOffset.z)));

    // 6. How long the followed point has kept moving.
    if (mHasLastFollowed && Length(Sub(t, mLastFollowed)) > dt)
        s.lookSpeedSeconds += dt;
    else
        s.lookSpeedSeconds = 0.0f;
    mLastFollowed = t;
    mHasLastFollowed = 1;

    // 7. Strafe.
    float strafeGoal = 0.0f;
    if (s.strafeOn)
    {
        if (hooks.action("CAMERA_STRAF_RIGHT"))
            strafeGoal = -80.0f;
        else if (hooks.action("CAMERA_STRAF_LEFT"))
            strafeGoal = 80.0f;
    }
    s.strafe += (strafeGoal - s.strafe) * FrameFactor(dt, 15.0f);
    if (strafeGoal == 0.0f && std::fabs(s.strafe) < 0.01f)
        s.strafe = 0.0f;

    // 8. Pitch.
    const float pitchStep = s.pitchBias + (s.stickPitch ? m.pitchRate * y : 0.0f);
    s.pitch = std::clamp(s.pitch + Finite0(pitchStep), s.pitchLow, s.pitchHigh);

    // 9. Yaw.
    const float yawGoal = 0.41f * Finite0(s.yawBias + (s.stickYaw ? m.yawRate * x : 0.0f));
    const float yawRate = std::fabs(yawGoal) < std::fabs(s.yawSpeed) ? s.yawSlowingRate
                          : pad                                      ? s.yawSpeedingRate
                                                                     : 100.0f;
    s.yawSpeed += (yawGoal - s.yawSpeed) * FrameFactor(dt, yawRate);
    if (std::fabs(s.yawSpeed) < 0.001f)
        s.yawSpeed = 0.0f;
    Vector turned;
    if (Horizontal(TurnY(s.direction, s.yawSpeed), &turned))
        s.direction = turned;

    // 10. The look point: a jump on a teleport, else the mean of the last 0.15 s.
    if (Length(Sub(t, s.lookPoint)) > kJump)
    {
        s.lookPoint = t;
        mLookRing.Fill(t);
    }
    else if (dt > 0.0f)
    {
        mLookRing.Push(t, 0);
        mLookRing.GetAverage(&s.lookPoint, kLookSpan);
    }

    // 11. Transitions.
    const uint32_t running = s.transitions;
    if (s.transitions & kTurn)
    {
        s.direction = Slerp(s.direction, s.turnTarget, FrameFactor(dt, s.turnRate));
        if (Gap(s.direction, s.turnTarget) < 0.03f)
            s.transitions &= ~kTurn;
    }
    if (s.transitions & kPitch)
    {
        if (s.pitch == s.pitchLow)
            s.pitch = s.pitchTarget;
        else
            s.pitch += (s.pitchTarget - s.pitch) * FrameFactor(dt, s.pitchRate);
        if (std::fabs(s.pitchTarget - s.pitch) < 0.1f)
            s.transitions &= ~kPitch;
    }
    if ((s.transitions & kDistance) && std::fabs(s.currentDistance - s.distanceTarget) < 0.1f)
        s.transitions &= ~kDistance;
    if ((s.transitions & kHeight) && std::fabs(s.currentHeight - s.height) < 0.1f)
        s.transitions &= ~kHeight;
    if (running & ~s.transitions)
        mEndedThisFrame = 1;

    // 12. Turning back behind the actor and pitching back to rest.
    const bool behindTimed = s.behindTimer > 0.0f;
    if (behindTimed || (s.autoBehind && std::fabs(s.yawSpeed) < 0.01f && s.lookSpeedSeconds > 1.0f))
    {
        Vector goal;
        if (Horizontal(behindTimed ? s.storedFacing : FollowedFacing(), &goal))
        {
            if (Dot(s.direction, goal) < -0.9999f)
                s.direction = TurnY(s.direction, 2.0f);
            s.direction = Slerp(s.direction, goal, FrameFactor(dt, behindTimed ? 12.0f : 2.5f));
            if (Gap(s.direction, goal) < 0.03f)
                s.behindTimer = 0.0f;
            else
                s.behindTimer = std::max(0.0f, s.behindTimer - dt);
        }
        else
            s.behindTimer = 0.0f;
    }
    const bool pitchTimed = s.pitchBackTimer > 0.0f;
    if (pitchTimed || (s.autoPitch && std::fabs(pitchStep) < 0.01f && s.lookSpeedSeconds > 1.0f))
    {
        s.pitch += (s.restPitch - s.pitch) * FrameFactor(dt, pitchTimed ? 12.0f : 3.0f);
        if (std::fabs(s.restPitch - s.pitch) < 0.1f)
            s.pitchBackTimer = 0.0f;
        else
            s.pitchBackTimer = std::max(0.0f, s.pitchBackTimer - dt);
    }

    // 13. The pivot looks along the direction, pitched, from the aim point ahead of the look point.
    const float pitch = s.pitch / kDegrees;
    s.pivotAt = {s.direction.x * std::cos(pitch), -std::sin(pitch), s.direction.z * std::cos(pitch)};
    s.pivotRight = {s.direction.z, 0.0f, -s.direction.x};
    s.pivotUp = Cross(s.pivotAt, s.pivotRight);
    const float lead = Length(Sub(s.lookPoint, t));
    if (dt > 0.0f)
        mAimRing.Push(Scale(Sub(s.lookPoint, s.previousLookPoint), 0.4f * lead), 0);
    Vector ahead;
    mAimRing.GetAverage(&ahead, kAimSpan);
    s.aimPoint = Add(s.lookPoint, Scale(ahead, lead / 200.0f));
    if (!Finite(s.aimPoint))
        s.aimPoint = s.lookPoint;

    // 14. The distance, then the obstacles place the camera.
    s.distanceTarget = s.distance;
    s.currentDistance += (s.distanceTarget - s.currentDistance) * FrameFactor(dt, 7.0f);
    PlaceAfterObstacles(dt, followed);

    // 15. The lens.
    s.currentFocal += (s.focalTarget - s.currentFocal) * FrameFactor(dt, 10.0f);
    if (std::fabs(s.currentFocal - s.focalTarget) > 0.2f)
        SetFocalLength(s.currentFocal);

    // 16. Every transition over.
    if (mEndedThisFrame && s.transitions == 0)
        OnTransitionsEnded();

    // 17. The shake.
    SetBaseMatrix(s.pivotRight, s.pivotUp, s.pivotAt, s.position);
    PlayShake();
}

void CameraFollow::PlaceAfterObstacles(float dt, const Vector& followed)
{
    CameraFollowState& s = mState;
    W3dLevel* level = CurrentLevel();
    TsActor* actor = GetFollowed();
    const W3dNode* ignore = actor ? actor->GetNode() : nullptr;
    W3dCollisionResult hit;

    // The space above a crouching or crawling actor.
    bool blocked = false;
    if (actor)
    {
        const int32_t state = Hooks().moveState(actor);
        if (state == 3 || state == 4)
            blocked = SegmentHit(level, Vector{followed.x, followed.y + 10.0f, followed.z},
                                 Vector{followed.x, followed.y + 150.0f, followed.z}, ignore, &hit);
    }
    if (blocked != (s.headBlocked != 0))
    {
        if (blocked)
        {
            s.savedNearClip = GetCamera()->nearPlane;
            SetNearClipPlane(kNearClipBlocked);
        }
        else
            SetNearClipPlane(s.savedNearClip);
        s.headBlocked = blocked ? 1 : 0;
    }
    const float drop = blocked ? std::max(0.0f, s.currentHeight - 95.0f) : 0.0f;
    s.headDrop += (drop - s.headDrop) * FrameFactor(dt, 20.0f);
    if (!blocked && std::fabs(s.headDrop) < 0.1f)
        s.headDrop = 0.0f;

    // Back from the pivot to the distance, plus the lens's extent.
    const Vector pivot = s.aimPoint;
    const float extent = 2.0f * GetViewWindow().y * GetFocalLength();
    const Vector desired = Sub(pivot, Scale(s.pivotAt, s.currentDistance + extent));
    const bool wall = SegmentHit(level, pivot, desired, ignore, &hit);
    const float free = wall ? std::clamp(hit.distance, 0.0f, 1.0f) : 1.0f;
    s.freeFraction += (free - s.freeFraction) * FrameFactor(dt, 50.0f);
    const Vector pushGoal = wall && Finite(hit.normal) ? Scale(hit.normal, 30.0f) : Vector{0.0f, 0.0f, 0.0f};
    s.push = Add(s.push, Scale(Sub(pushGoal, s.push), FrameFactor(dt, 10.0f)));

    // In at once, out slowly.
    const float distance = s.currentDistance * s.freeFraction;
    const float mean = mDistanceRing.GetAverage(kDistanceSpan);
    float placed = mean;
    if (distance < mean - 0.05f)
    {
        placed = distance;
        if (distance < mean - 5.0f)
            mDistanceRing.Fill(distance);
        else if (dt > 0.0f)
            mDistanceRing.Push(distance, 0);
    }
    else if (dt > 0.0f)
    {
        mDistanceRing.Push(distance, 0);
        placed = mDistanceRing.GetAverage(kDistanceSpan);
    }
    if (!std::isfinite(placed))
    {
        placed = s.currentDistance;
        mDistanceRing.Fill(placed);
    }
    s.placedDistance = placed;

    // Near the actor the camera rises and may look up less.
    s.rise = 0.0f;
    if (!blocked && placed < 150.0f && s.maxHeight > s.height)
    {
        const float w = 1.0f - placed / 150.0f;
        s.rise = w * std::fabs(s.maxHeight + 20.0f - s.height);
        s.pitchLow = std::max(-60.0f, (1.0f - w) * -90.0f);
        if (s.pitch < s.pitchLow)
            s.pitch = s.pitchLow;
    }
    else
        s.pitchLow = -60.0f;

    Vector camera = Add(Sub(pivot, Scale(s.pivotAt, placed)), s.push);
    camera.y += s.rise;

    // The strafe offset, short of a wall at the side.
    if (s.strafe != 0.0f)
    {
        const float side = s.strafe + std::copysign(GetViewWindow().x * GetFocalLength(), s.strafe);
        const Vector end = Add(camera, Scale(s.pivotRight, side));
        const float share = SegmentHit(level, camera, end, ignore, &hit) ? std::clamp(hit.distance, 0.0f, 1.0f) : 1.0f;
        camera = Add(camera, Scale(s.pivotRight, s.strafe * share));
    }
    s.position = Finite(camera) ? camera : pivot;
}
