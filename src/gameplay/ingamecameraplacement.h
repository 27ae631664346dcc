// The placement record the follow camera reads (TsCameraRegistry::SetCameraPlacement): its kind
// first, then that kind's values. The hero, the weapons and the scenario commands send it.
#pragma once

#include <cstdint>

class TsActor;

/// A shake of one channel. The sine takes radians: the frequency is in radians per second.
struct CameraShakeRequest
{
    /// 0 pitch, 1 roll, 2 lift.
    int32_t channel = 0;
    /// 0 switches the channel off.
    int32_t on = 1;
    float amplitude = 0.0f;
    float frequency = 0.0f;
    /// Must be above 0: the shake fades as e to the power (damping x seconds).
    float damping = 0.0f;
    /// Seconds before the shake starts.
    float delay = 0.0f;
};

struct CameraFollowPlacement
{
    enum Kind : int32_t
    {
        kFollow = 0,
        kZoom = 1,
        kShake = 2,
        kPreset = 3,
        kAction = 4,
    };
    /// Which of an action's values are given.
    enum Given : uint32_t
    {
        kGivenDirection = 1,
        kGivenPitch = 2,
        kGivenDistance = 4,
        kGivenHeight = 8,
        kGivenDuration = 16,
    };
    enum TargetKind : int32_t
    {
        kNoTarget = 0,
        kTargetPoint = 1,
        kTargetActor = 2,
    };

    int32_t kind = kFollow;
    /// kFollow: the actor to follow, or null for none. Only read during the call.
    TsActor* actor = nullptr;
    /// kZoom: the aim zoom value (0..100).
    float zoom = 0.0f;
    CameraShakeRequest shake;
    int32_t preset = 0;

    // ---- kAction --------------------------------------------------------------------------------
    int32_t action = 0;
    uint32_t given = 0;
    float direction[3] = {0.0f, 0.0f, 0.0f};
    float pitch = 0.0f;
    float distance = 0.0f;
    float height = 0.0f;
    /// Seconds.
    float duration = 0.0f;
    /// Action 6's target: a point, or an actor held by handle from the call on.
    int32_t targetKind = kNoTarget;
    float targetPoint[3] = {0.0f, 0.0f, 0.0f};
    TsActor* targetActor = nullptr;
};
