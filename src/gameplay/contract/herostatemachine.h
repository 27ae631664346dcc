// HeroStateMachine: the hero's behaviour states, stepped once per frame by the hero actor.
// A map from state code to state object with the current and the previous state; each
// frame the current state's Decide names the next code, a change runs the old state's Exit
// and the new state's Enter, then the current state updates. The gameplay layer supplies
// the states; the machine itself comes from a one-object pool.
#pragma once

#include "hbhashmap.h"
#include "hbmemory.h"

#include <cstdint>

class TsActor;

/// The abstract state object. Every operation takes the hero.
class HeroState : public HbAllocated
{
public:
    explicit HeroState(int32_t code) : mCode(code) {}
    virtual ~HeroState() = default;

    /// Per-frame work; 1.
    virtual int32_t Update(TsActor* /*hero*/) { return 1; }
    /// The code of the next state; the own code keeps the state.
    virtual int32_t Decide(TsActor* hero) = 0;
    virtual void Enter(TsActor* /*hero*/) {}
    virtual void Exit(TsActor* /*hero*/) {}
    /// The move animation player finished its current animation state.
    virtual void OnMAPStateOver(TsActor* /*hero*/) {}
    /// The static animation player finished its current animation state.
    virtual void OnSAPStateOver(TsActor* /*hero*/) {}
    /// The upper body's weapon handling; 0 and nothing by default.
    virtual int32_t UpdateUpperBody(TsActor* /*hero*/, int32_t /*shootAnim*/, int32_t /*reloadAnim*/,
                                    int32_t /*spare*/)
    {
        return 0;
    }

    /// The machine is about to delete the state: whatever of the hero still points at it
    /// lets go (an animation player's change callback would otherwise call a freed state).
    virtual void OnRemove(TsActor* /*hero*/) {}

    int32_t GetCode() const { return mCode; }
    /// Height argument of the aim bone target: 180 standing, 110 crouched.
    float mAimHeight = 0.0f;

private:
    int32_t mCode;
};

class HeroStateMachine : public HbAllocated
{
public:
    HeroStateMachine() : mStates(17, 10) {}
    ~HeroStateMachine() { RemoveAll(); }
    HeroStateMachine(const HeroStateMachine&) = delete;
    HeroStateMachine& operator=(const HeroStateMachine&) = delete;

    /// The pooled machine for the hero when it is free, else one from the heap.
    static HeroStateMachine* Acquire(TsActor* hero);
    /// Gives the machine back to its pool (a heap one is deleted).
    static void ReleaseToPool(HeroStateMachine* machine);
    /// 1 while the pooled machine is handed out.
    static int32_t IsPoolInUse();

    /// Stores the state under its code, deleting an earlier state of that code; 1, or 0
    /// for a null state or without memory.
    int32_t AddState(HeroState* state);
    /// 1 when the state of the code is current afterwards, 0 for an unknown code (the
    /// current state stays). Previous is written on every call.
    int32_t SetState(int32_t code);
    /// Decide, switch, then the update of the state that is current afterwards; 0 while no
    /// state is current.
    int32_t Step();
    /// Deletes every state object (each told first through OnRemove) and empties the map.
    void RemoveAll();
    /// The state of a code, null when absent.
    HeroState* FindState(int32_t code) const;

    /// The current state's code, -1 without one.
    int32_t GetCurrentCode() const { return mCurrent ? mCurrent->GetCode() : -1; }
    int32_t GetCurrentStateId() const { return GetCurrentCode(); }
    HeroState* GetCurrent() const { return mCurrent; }
    HeroState* GetPrevious() const { return mPrevious; }
    int32_t GetStateCount() const { return mStates.GetCount(); }
    TsActor* GetHero() const { return mHero; }
    /// Frames stepped since the machine was acquired.
    int32_t GetStepCount() const { return mSteps; }

private:
    TsActor* mHero = nullptr;
    HbIntHashMap mStates;
    HeroState* mCurrent = nullptr;
    HeroState* mPrevious = nullptr;
    int32_t mSteps = 0;
    bool mPooled = false;
};
