// Clocks: the performance-counter source, the real-time clock ticked once per
// application frame, and the game clock that runs while a mission is played.
#pragma once

#include "hbroot.h"

#include <cstdint>

/// Ticks per second of the performance counter (read once, then kept).
int64_t HbPerformanceFrequency();
/// Forgets the kept frequency, so the next call reads it again (tests).
void HbPerformanceFrequencyResetForTest();
/// The nominal frame period in seconds: 0.02 when the variable MODE_PAL is
/// true, else 1/60; read again by every call and kept for HbFramePeriod.
float HbReadFramePeriod();
/// The period read last.
float HbFramePeriod();

/// The clock source: accumulated ticks plus the running span while started.
class HbPerformanceCounter : public HbAllocated
{
public:
    HbPerformanceCounter();
    int64_t Value() const;
    /// Starting a started counter does nothing.
    void Start();
    /// Stops and clears: accumulated 0, not started.
    void Reset();
    bool IsStarted() const { return mStarted != 0; }

private:
    int64_t mStartCount = 0;
    int64_t mAccumulated = 0;
    int32_t mStarted = 0;
};

/// Real time: advanced by Tick once per application frame.
class HbRealClock : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The singleton, made on first use and destroyed by the exit list.
    static HbRealClock* Instance();

    HbRealClock();
    ~HbRealClock() override;
    /// Measures the step since the previous tick.
    void Tick();

    int64_t mCurrentTime = 0;
    int64_t mLastStep = 0;
    float mLastStepSeconds = 0.0f;
    /// Frames ended; the renderer raises it at the end of every frame.
    int32_t mFrameCount = 0;

private:
    HbPerformanceCounter* mCounter = nullptr;
};

/// Game time: advanced by Update once per in-mission frame, clamped to just
/// under 1/15 s per step so that a stall does not make the game jump.
class HbGameClock : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static HbGameClock* Instance();

    HbGameClock();
    ~HbGameClock() override;
    /// Stops and clears the counter; game time back to 0.
    void Reset();
    void Start();
    void Update();
    /// Returns the previous setting.
    int32_t SetStepClamp(int32_t on);

    int64_t mNominalStep = 0;
    int64_t mLastCounterValue = 0;
    int64_t mGameTime = 0;
    int64_t mStep = 0;
    float mStepSeconds = 0.0f;
    float mTimeScale = 1.0f;
    int32_t mStepClamp = 1;

private:
    HbPerformanceCounter* mCounter = nullptr;
};
