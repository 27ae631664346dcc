// The in-game cameras: BasicInGameCamera, the lens of a 36 x 24 frame and three shake
// channels; and CameraFollow, the follow camera that keeps behind the followed actor, turns
// with the camera stick or the mouse, zooms when aiming, obeys camera actions and moves in
// front of obstacles. Both are TsCameras: the registry hands them placements
// (CameraFollowPlacement) through SetPlacement and runs their per-frame work through
// ApplyPlacement.
#pragma once

#include "hbptr.h"
#include "ingamecameraplacement.h"
#include "tscamera.h"

class Spline;

class BasicInGameCamera : public TsCamera
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kShakeChannels = 3;
    /// The lens at construction.
    static constexpr float kDefaultFocal = 18.0f;

    ~BasicInGameCamera() override;

    /// The base camera takes no placement.
    void SetPlacement(const void*) override {}
    /// Plays the shake channels over the base placement and places the frame.
    void ApplyPlacement() override;

    /// The view window becomes (36 / 2f, 24 / 2f). Focal lengths not above 0 are refused.
    void SetFocalLength(float focal);
    float GetFocalLength() const { return mFocal; }

    /// Starts the channel, or switches it off for on = 0. 0 (nothing changes) for a channel
    /// outside 0..2 or values that are not finite; a damping not above 0 would never fade, so
    /// such a request only switches the channel off and answers 0.
    int32_t Shake(const CameraShakeRequest& request);
    int32_t IsShaking(int32_t channel) const;
    /// The channel's value at this game time (0 when off or before its delay).
    float GetShakeValue(int32_t channel) const;

protected:
    BasicInGameCamera();

    /// The matrix the shake plays over (rows right, up, at, position).
    void SetBaseMatrix(const Vector& right, const Vector& up, const Vector& at, const Vector& position);
    /// The shake over the base matrix into the camera frame; a channel whose fade reached its
    /// end switches off.
    void PlayShake();

private:
    struct Channel
    {
        int32_t on = 0;
        int64_t start = 0;
        CameraShakeRequest request;
    };
    float mFocal = kDefaultFocal;
    Channel mChannels[kShakeChannels];
    Vector mBase[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
};

/// What the follow camera keeps from frame to frame. Angles in degrees, rates in percent.
struct CameraFollowState
{
    Vector pivotOffset = {0, 0, 0};
    /// Unit, horizontal: from the camera toward the look point.
    Vector direction = {0, 0, 1};
    Vector lookPoint = {0, 0, 0};
    Vector previousLookPoint = {0, 0, 0};
    Vector aimPoint = {0, 0, 0};
    /// The camera's place after obstacles and the pivot's rows.
    Vector position = {0, 0, 0};
    Vector pivotRight = {1, 0, 0};
    Vector pivotUp = {0, 1, 0};
    Vector pivotAt = {0, 0, 1};
    float distance = 300.0f;
    float distanceTarget = 300.0f;
    float currentDistance = 300.0f;
    /// The distance after obstacles and the history.
    float placedDistance = 300.0f;
    float height = 180.0f;
    float currentHeight = 180.0f;
    float heightRate = 20.0f;
    float maxHeight = 180.0f;
    /// How far the camera rose above its place because it came near.
    float rise = 0.0f;
    float pitch = 10.0f;
    float pitchTarget = 10.0f;
    float pitchLow = -60.0f;
    float pitchHigh = 50.0f;
    float pitchBias = 0.0f;
    float yawBias = 0.0f;
    float yawSpeed = 0.0f;
    float yawSlowingRate = 8.5f;
    float yawSpeedingRate = 50.0f;
    int32_t autoBehind = 0;
    int32_t autoPitch = 0;
    float behindTimer = 0.0f;
    float pitchBackTimer = 0.0f;
    Vector storedFacing = {0, 0, 1};
    Vector turnTarget = {0, 0, 1};
    float turnRate = 7.0f;
    float pitchRate = 7.0f;
    float lookSpeedSeconds = 0.0f;
    float restPitch = 15.0f;
    int32_t stickYaw = 1;
    int32_t stickPitch = 1;
    int32_t strafeOn = 1;
    float strafe = 0.0f;
    float focalTarget = 18.0f;
    float currentFocal = 18.0f;
    /// kTurn | kPitch | kDistance | kHeight.
    uint32_t transitions = 0;
    /// The eased fraction of the obstacle segment left free, and the eased push off a wall.
    float freeFraction = 1.0f;
    Vector push = {0, 0, 0};
    /// The eased lowering of the look height while the space above the actor is blocked.
    float headDrop = 0.0f;
    int32_t headBlocked = 0;
    float savedNearClip = 1.0f;
    /// The aim turn's point while one is remembered.
    int32_t hasAimPoint = 0;
    Vector aimTurnPoint = {0, 0, 0};
    /// Action 2's seconds once its transitions ended.
    float actionDuration = 0.0f;
    /// Action 6's target.
    int32_t targetKind = CameraFollowPlacement::kNoTarget;
    Vector targetPoint = {0, 0, 0};
};

/// What the follow camera's operations share: one follow camera at a time.
struct CameraFollowModule
{
    class CameraFollow* current = nullptr;
    int32_t preset = 0;
    int32_t action = 0;
    int32_t zoomed = 0;
    float pitchRate = 75.0f;
    float yawRate = 125.0f;
    float zoomedFocal = 27.0f;
    /// Action 2's seconds left once its transitions ended; below 0 while not counting.
    float actionTimer = -1.0f;
    /// Seconds the aim turn has run.
    float aimTurnSeconds = 0.0f;
};

/// Where the follow camera reads its input and the services of layers it cannot reach. A null
/// entry takes the default (the input manager, no shoot-helper target, the animated actor's
/// move state).
struct CameraFollowHooks
{
    int32_t (*padPresent)() = nullptr;
    /// With a pad: pad 1's right stick; without: the mouse movement. Raw (x, y).
    void (*stick)(int32_t pad, float out[2]) = nullptr;
    /// 1 while the named input action fires.
    int32_t (*action)(const char* name) = nullptr;
    /// The shoot helper's target for the camera: 1 and a world point, or 0.
    int32_t (*target)(Vector* out) = nullptr;
    int32_t (*moveState)(TsActor* actor) = nullptr;
};

class CameraFollow : public BasicInGameCamera
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kHistory = 180;
    enum Transition : uint32_t
    {
        kTurn = 1,
        kPitch = 2,
        kDistance = 4,
        kHeight = 8,
    };

    /// A new follow camera (count 0), the current one from now on, with preset 1 applied and
    /// no camera action; null when the engine camera cannot be had.
    static CameraFollow* Create();
    /// No follow camera is current any more when it was this one.
    ~CameraFollow() override;

    /// Reads a CameraFollowPlacement.
    void SetPlacement(const void* placement) override;
    /// The per-frame law, then the shake.
    void ApplyPlacement() override;

    /// The followed actor, or null when none or gone.
    TsActor* GetFollowed();
    const CameraFollowState& GetState() const { return mState; }
    /// Tests and the scenario's fixed framings set fields directly.
    CameraFollowState& EditState() { return mState; }

    // ---- What the placements do (the current camera's, through the free functions below) ----

    void Follow(TsActor* actor);
    void SetZoom(float zoom);
    void SetPreset(int32_t preset);
    /// 1 done or ignored, 0 failed.
    int32_t Action(const CameraFollowPlacement& record);
    /// The pad's CAMERA_BEHIND.
    void Behind();

private:
    CameraFollow();

    void ApplyPreset(int32_t preset);
    void Zoom(int32_t on);
    void AimTurn(int32_t zoomingIn);
    void EndAction();
    void EndAimTurn();
    void OnTransitionsEnded();
    void RecomputeStickRates();
    void ServeAction(float dt, float x, float y);
    void PlaceAfterObstacles(float dt, const Vector& followed);
    Vector FollowedPosition();
    Vector FollowedFacing();

    CameraFollowState mState;
    HbHandlePtr mFollowed;
    HbHandlePtr mTarget;
    Spline* mStickCurve = nullptr;
    /// The end callback: 0 none, 1 ends the action, 2 starts action 2's duration, 3 ends the
    /// aim turn.
    int32_t mEndCallback = 0;
    /// A transition ended in this frame's update.
    int32_t mEndedThisFrame = 0;
    Vector mLastFollowed = {0, 0, 0};
    int32_t mHasLastFollowed = 0;
    TsSampleRing::Sample mLook[3][kHistory];
    TsSampleRing::Sample mAim[3][kHistory];
    TsSampleRing::Sample mDistances[kHistory];
    TsVectorSampleRing mLookRing;
    TsVectorSampleRing mAimRing;
    TsSampleRing mDistanceRing;
};

// ---- The current follow camera's operations (0 when there is none) -------------------------

const CameraFollowModule& CameraFollowGetModule();
CameraFollow* CameraFollowGetCurrent();
int32_t CameraFollowSetPreset(int32_t preset);
int32_t CameraFollowAction(const CameraFollowPlacement& record);
/// The follow camera's yaw speed (degrees per frame) and look point, for the hero.
float CameraFollowGetYawSpeed();
int32_t CameraFollowGetLookPoint(Vector* out);

/// Null puts the defaults back.
void CameraFollowSetHooks(const CameraFollowHooks* hooks);

/// The stage's in-game cameras: the follow camera registered under the level's root, active,
/// current, following the script world's hero, its id in the current profile; then the
/// scenario camera, inactive, as the profile's second camera.
void InGameCamerasCreate();
