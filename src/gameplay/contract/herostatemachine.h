// HeroStateMachine: the hero's behaviour states, stepped once per frame by the hero actor.
// The gameplay layer fills it with its states; the machine itself comes from a one-object
// pool.
#pragma once

#include "hbmemory.h"

#include <cstdint>

class TsActor;

class HeroStateMachine : public HbAllocated
{
public:
    /// The pooled machine for the hero when it is free, else one from the heap.
    static HeroStateMachine* Acquire(TsActor* hero);
    /// Gives the machine back to its pool (a heap one is deleted).
    static void ReleaseToPool(HeroStateMachine* machine);

    /// The per-frame step: the current state's work. 0 while no state is set.
    int32_t Step();
    /// Deletes every state object.
    void RemoveAll();
    /// The current state's id, -1 without one.
    int32_t GetCurrentStateId() const { return mCurrentStateId; }
    TsActor* GetHero() const { return mHero; }
    /// Frames stepped since the machine was acquired.
    int32_t GetStepCount() const { return mSteps; }

private:
    TsActor* mHero = nullptr;
    int32_t mCurrentStateId = -1;
    int32_t mSteps = 0;
    bool mPooled = false;
};
