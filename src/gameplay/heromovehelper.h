// HeroMoveHelper: the hero's stick analyser. Once a frame it keeps the move direction and
// stick magnitude in a ring of 500 samples, sorts the magnitude into three movement modes
// (standing, walking, running) with the time held in each, watches quick changes of the
// stick direction, drives the hero's move-input reader with a turn rate that can be ramped
// in after an action, and answers the hero states' questions.
#pragma once

#include "vector.h"

#include <cstdint>

class TsHeroActor;

class HeroMoveHelper
{
public:
    static constexpr int32_t kHistorySize = 500;
    static constexpr int32_t kModes = 3;
    static constexpr int32_t kTuningCount = 15;

    /// Reads the hero's move input for the frame with the turn rate.
    using InputReader = void (*)(TsHeroActor* hero, float frameSeconds, float turnRate);

    struct HistorySample
    {
        Vector direction;
        float magnitude;
        float frameSeconds;
    };
    struct Band
    {
        float low;
        float high;
        float timer;
    };

    /// The module-wide helper of the current hero.
    static HeroMoveHelper& Instance();
    /// The tuning record's defaults (entry 1 the turn rate ... entry 15).
    static const float* DefaultTuning();

    HeroMoveHelper();

    /// Binds the helper to the hero; frame time 0.
    void SetHero(TsHeroActor* hero);
    TsHeroActor* GetHero() const { return mHero; }
    /// Bands [0, 0.05], [0.05, 0.98], [0.98, 1.0], timers 0; the mode stays.
    void ResetTuning();
    /// Every sample := {the hero's move direction, magnitude 0, 0.016 s}; newest 0.
    void ResetHistory();
    /// The per-frame step; 1. Needs a bound hero (0 without).
    int32_t Sample();
    /// 1 when the last 0.05 s of samples hold a release pointing more than 135 degrees from
    /// the present direction with no sideways push beyond the lateral bound. The present
    /// direction is then kept as the quick-turn direction.
    int32_t CheckHistory();
    /// The move direction of the last quick-turn gesture, where the quick turn turns the hero.
    const Vector& GetQuickTurnDirection() const { return mQuickTurnDirection; }
    /// The hero's forward vector, in the hero's horizontal frame, becomes its move direction.
    void SyncFrame();
    /// Starts the turn-rate ramp over the seconds, then SyncFrame.
    void SetCheckDelayA(float seconds);
    /// Delays the quick-turn check by the seconds.
    void SetCheckDelayB(float seconds);

    int32_t IsActive() const { return mMode != 0 ? 1 : 0; }
    int32_t IsMode0TimerOver() const;
    int32_t IsMode1TimerOver() const;
    int32_t IsMode2TimerOver() const;
    /// Mode 0 and the running mode's timer above the seconds.
    int32_t IsMode0AndTimerAbove(float seconds) const;
    /// 1 outside mode 0 when the hero's forward vector and the move direction (in the hero's
    /// frame) are further apart than the turn-needed bound.
    int32_t NeedsTurn();
    /// 1 outside mode 0 when they are within the walk-on bound; in mode 2 always.
    int32_t CanWalkOn();

    /// The reader the helper calls (the hero's own by default; tests give their stick).
    void SetInputReader(InputReader reader);

    int32_t GetMode() const { return mMode; }
    int32_t GetNewestIndex() const { return mNewest; }
    const Band& GetBand(int32_t mode) const { return mBands[mode]; }
    const HistorySample& GetSample(int32_t index) const { return mHistory[index]; }
    int32_t IsDirectionChanged() const { return mDirectionChanged; }
    float GetFrameSeconds() const { return mFrameSeconds; }

private:
    float DotForwardMoveDirection();

    TsHeroActor* mHero = nullptr;
    InputReader mReader;
    float mFrameSeconds = 0.0f;
    HistorySample mHistory[kHistorySize];
    int32_t mNewest = 0;
    int32_t mDirectionChanged = 0;
    int32_t mMode = 0;
    Band mBands[kModes];
    float mDelayA = 0.0f;
    float mAccumulatorA;
    float mDelayB = 0.0f;
    float mAccumulatorB = 0.0f;
    float mCurrentX = 0.0f;
    float mCurrentZ = 0.0f;
    float mPreviousX = 0.0f;
    float mPreviousZ = 0.0f;
    float mSampleTimer = 0.0f;
    float mTuning[kTuningCount];
    Vector mQuickTurnDirection = {0.0f, 0.0f, 1.0f};
};
