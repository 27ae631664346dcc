// The static animation player: StaticAnimPlayerState plays an upper-body animation straight on
// the actor's motor, splitting its bone profile off whatever the other channels play and
// giving the bones back when it is released; StaticAnimPlayerStateMachine is the base machine
// under a name of its own.
#pragma once

#include "animplayerstatemachine.h"
#include "rdprofile.h"

#include <cstdint>

class StaticAnimPlayerState : public AnimPlayerState
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 200;

    static StaticAnimPlayerState* Allocate() { return new StaticAnimPlayerState(); }
    static void Free(StaticAnimPlayerState* state) { delete state; }

    /// Event 518 to the actor's scripts unless it is the hero; the lock is cleared.
    void NotifyOver() override;
    /// The bones of the profile kept from the started channel go back to every other channel;
    /// the state's channel then blends after all the others.
    void ReleaseProfile() override;
    /// The profile is split off the other live channels (the split parts fade out over the
    /// blend-in), the animation starts on it and is exempt from the profile killed for it.
    RdAnimChannel* StartChannel(RdAnimation* animation, int64_t startTicks, int64_t blendInTicks) override;

    /// Whether the state holds the bones of a channel it started, and which.
    int32_t HasProfile() const { return mHasProfile; }
    const RdProfile& GetProfile() const { return mProfile; }

private:
    RdProfile mProfile;
    int32_t mHasProfile = 0;
};

/// Registered with HbRoot as parent; its records come from the pool "AnimPlayerStateMachine".
class StaticAnimPlayerStateMachine : public AnimPlayerStateMachine
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 40;

    static StaticAnimPlayerStateMachine* Allocate() { return new StaticAnimPlayerStateMachine(); }
    static void Free(StaticAnimPlayerStateMachine* machine) { delete machine; }
};
