// TsBoneLookAt: bends one bone of an animated actor up or down, at most 40 degrees about the
// actor's right axis, so that it looks toward the actor's target or along the current
// camera's view; and the aim of a held firearm's muzzle at a point.
#pragma once

#include "hbptr.h"
#include "hbroot.h"
#include "vector.h"

#include <cstdint>

struct Frame;
class TsActor;
class TsAnimActor;

class TsBoneLookAt : public HbRoot
{
public:
    /// The largest bend, degrees.
    static constexpr float kMaxPitch = 40.0f;

    TsBoneLookAt() = default;
    /// Releases the actor's handle.
    ~TsBoneLookAt() override;

    /// mode 0 follows the actor's target actor, 1 the camera's view; other modes keep the
    /// target point where it is. Target point and pitch 0, no bone frame, not frozen.
    void Init(TsAnimActor* actor, int32_t mode);
    /// With the actor alive: Stop, then the bone gets the procedural channel (unless it has
    /// one) and its frame is looked up; pitch 0. A dead actor's handle is released.
    void Start(int32_t boneId);
    /// With the actor alive: the channel removed and everything re-initialised as by Init.
    void Stop();
    /// Each frame before the animation: the target point from the target actor (mode 0) or
    /// 200 units ahead of the bone along the current camera's view (mode 1).
    void Update();

    /// The motor's callback for the bone, with its interpolated keyframe (rotation first):
    /// tilts the rotation by the smoothed pitch.
    static void BoneCallback(void* keyFrame, void* data);

    void SetFrozen(int32_t frozen) { mFrozen = frozen; }
    float GetPitch() const { return mPitch; }
    const Vector& GetTargetPoint() const { return mTarget; }
    void SetTargetPoint(const Vector& point) { mTarget = point; }
    uint16_t GetChannelId() const { return mChannelId; }
    Frame* GetBoneFrame() const { return mBoneFrame; }

private:
    /// The actor while it lives; otherwise the handle is released and null returned.
    TsAnimActor* LiveActor();

    int32_t mBoneId = 0;
    float mPitch = 0.0f;
    HbHandlePtr mActor;
    Vector mTarget = {0, 0, 0};
    int32_t mMode = 0;
    Frame* mBoneFrame = nullptr;
    int32_t mFrozen = 0;
    uint16_t mChannelId = 0;
};

/// An animated actor holding a shooting weapon turns its muzzle to look at the point; a
/// point at the muzzle, a contact weapon (no muzzle) or any other actor changes nothing.
void TsAnimActorAimWeaponAt(TsActor* actor, const Vector* point);
