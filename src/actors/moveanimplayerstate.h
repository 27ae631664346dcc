// The move animation player: MoveAnimPlayerState plays a whole-body animation through the
// actor's movement controller and tells the controller how to move while it plays;
// MoveAnimPlayerStateMachine applies those settings (or its defaults) every frame.
#pragma once

#include "animplayerstatemachine.h"

#include <cstdint>

class AnimMoveCtrl;

class MoveAnimPlayerState : public AnimPlayerState
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 900;

    /// A state from the pool (the heap when it is full); Free gives it back.
    static MoveAnimPlayerState* Allocate() { return new MoveAnimPlayerState(); }
    static void Free(MoveAnimPlayerState* state) { delete state; }

    /// The speed-rate step when it is enabled, then the base update.
    int32_t Update() override;
    int32_t MinimumDurationPassed() override;
    /// Event 517 to the actor's scripts unless it is the hero; the lock is cleared.
    void NotifyOver() override;
    /// Plays through the movement controller on the state's profile (looping for kinds 1 to
    /// 4); the smoothed rate starts again from 0.
    RdAnimChannel* StartChannel(RdAnimation* animation, int64_t startTicks, int64_t blendInTicks) override;

    /// Gives the controller the state's mode, flags and longest step.
    void ApplyTo(AnimMoveCtrl* controller) const;

    int32_t mMoveMode = 0;
    float mMaxStep = 3.4028235e38f;
    int32_t mMoveFlags = 16;
};

/// Registered with HbRoot as parent: it is no AnimPlayerStateMachine to a kind test.
class MoveAnimPlayerStateMachine : public AnimPlayerStateMachine
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 40;

    MoveAnimPlayerStateMachine();
    static MoveAnimPlayerStateMachine* Allocate() { return new MoveAnimPlayerStateMachine(); }
    static void Free(MoveAnimPlayerStateMachine* machine) { delete machine; }

    /// ApplyTransition, then the base update.
    int32_t Update() override;
    /// The controller takes the current state's settings; those of the previous state while
    /// it still fades out with a higher priority; the machine's defaults without a current
    /// state.
    void ApplyTransition() override;

    int32_t mDefaultMoveMode = 0;
    float mDefaultMaxStep = 3.4028235e38f;
    int32_t mDefaultMoveFlags = 16;
};
