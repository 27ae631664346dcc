// RdAnimChannel: plays one animation resource through a private hierarchy from the cache,
// at a speed factor, looping or stopping at its end (end and loop events to its callbacks).
#pragma once

#include "rdchannel.h"

class RdAnimation;
struct AnimInterpolator;

class RdAnimChannel : public RdChannel
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    /// Takes a reference on the animation; the channel does not loop until SetLoop(1).
    RdAnimChannel(uint16_t channelId, RdAnimation* animation, float startTime, int64_t now);
    /// Unregisters the hierarchy from event delivery and releases the animation.
    ~RdAnimChannel() override;

    /// A private hierarchy for the model's (any held before goes back first), armed with the
    /// loop or end handler, on the animation, at the start time.
    void Attach(Hierarchy* modelHierarchy, int64_t now) override;
    /// Ramp, due callbacks, then the animation advances by the game clock's last step times
    /// the speed factor (also on the frame the channel dies). 1 while alive.
    int Update(int64_t now) override;
    /// Timed keys are stretched by the speed factor; due when last update <= t <= now.
    void FireDue(int64_t now) override;

    void SetLoop(int loop);
    int GetLoop() const { return mLoop; }
    /// The speed factor becomes groundSpeed / the animation's root speed when that is above 0.
    int SetSpeed(float groundSpeed);
    /// Root speed times the speed factor; 0 without an animation.
    float GetSpeed() const;
    /// The interpolator's current time; 0 without a hierarchy.
    float GetTime() const;
    float GetSpeedFactor() const { return mSpeedFactor; }
    RdAnimation* GetAnimation() const { return mAnimation; }

    /// Where a movement controller last read the root bone (translation and yaw in degrees),
    /// so that each frame takes only the root's motion since then.
    Vector mLastRootPosition = {0, 0, 0};
    float mLastRootYaw = 0.0f;

protected:
    void Silence() override;

private:
    static int32_t OnLoop(AnimInterpolator* interpolator, void* data);
    static int32_t OnEnd(AnimInterpolator* interpolator, void* data);

    RdAnimation* mAnimation;
    int32_t mLoop = 0;
    float mStartTime;
    float mSpeedFactor = 1.0f;
    int64_t mStartClockTime;
};
