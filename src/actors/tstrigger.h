// TsTrigger and TriggerManager: short-lived invisible points that send one event, again and
// again, to the actors around them (noise of footsteps and shots, script broadcasts); 200 of
// them are made once and reused in turn. The script functions DropTrigger, DestroyTrigger and
// GetTriggerPos name a trigger by its pool index.
#pragma once

#include "tsdummyactor.h"

#include <cstdint>

typedef struct _object PyObject;
struct PyMethodDef;
class ScriptWorldManager;

class TsTrigger : public TsDummyActor
{
public:
    /// The end time and life that mean "never stops".
    static constexpr int64_t kUnlimited = (int64_t(0x7FFFFFFF) << 32) | int64_t(0xFFFFFFF9);

    /// TriggerFamily, bound to None, stopped.
    TsTrigger();

    /// Arms the trigger: it sends from its next tick, every period (ticks), until the life
    /// (ticks, kUnlimited for ever) has passed; receivers must meet the mask (0: any) and,
    /// with the line test, see the trigger. Hangs the node under the level's root.
    void Start(int32_t event, int32_t radius, int64_t period, int64_t life, uint32_t mask, int32_t lineTest,
               float value);
    /// Clears every field and takes the node out of its parent.
    void Stop() override;
    /// Stops once the end time is reached; otherwise sends through the script world's range
    /// send when more than the period has passed since the last send.
    void Tick();

    bool IsLive() const { return mLive != 0; }
    int32_t GetEvent() const { return mEvent; }
    int32_t GetRadius() const { return mRadius; }
    int64_t GetPeriod() const { return mPeriod; }
    int64_t GetEndTime() const { return mEndTime; }
    uint32_t GetMask() const { return mMask; }
    int32_t GetLineTest() const { return mLineTest; }
    float GetValue() const { return mValue; }

private:
    int32_t mEvent = 0;
    int64_t mPeriod = 0;
    int32_t mRadius = 0;
    int64_t mEndTime = 0;
    uint32_t mMask = UndefinedFamily;
    int32_t mLineTest = 0;
    float mValue = 0.0f;
    int64_t mLastSend = 0;
    int32_t mLive = 0;
};

class TriggerManager
{
public:
    static constexpr int32_t kCapacity = 200;

    /// Builds the 200 stopped triggers (once; again does nothing). 1, or 0 when they could
    /// not all be made (those made are kept).
    static int32_t Create();
    /// Releases every trigger; Create may run again.
    static void Free();
    static bool IsCreated();
    /// The next trigger that is not live, searching from the one after the last taken and
    /// wrapping; null when all are live or none were made.
    static TsTrigger* TakeFreeTrigger();
    /// Tick of every live trigger (after the actors and event boxes).
    static void TickAll();
    /// Stop of every trigger (level unload).
    static void StopAll();
    /// The trigger at the pool index, or null outside the pool.
    static TsTrigger* Get(int32_t index);
    /// The pool index of the trigger, or -1.
    static int32_t IndexOf(const TsActor* trigger);
    static int32_t GetLiveCount();
    /// Fills the script world's tick and stop entries.
    static void Install(ScriptWorldManager* world);
};

/// Seconds from a script as game-clock ticks: a negative duration asks for kUnlimited, and
/// huge values are clamped well below it so that now + ticks cannot overflow.
int64_t TsTriggerSecondsToTicks(float seconds);

/// DropTrigger, DestroyTrigger and GetTriggerPos, for the scenario module; a null row ends it.
PyMethodDef* TsTriggerScriptFunctions();
