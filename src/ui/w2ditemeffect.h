// Item effects: small reference-counted animations attached to 2D items (blink, step move, height and
// text pulses, colour fade, slide in, spin, fade by position, move by, move and back). Every effect
// reads the real clock, so effects keep running while the game clock is paused.
#pragma once

#include "hbroot.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>

class W2dGenericItem;
class W2dSurfaceGraphicItem;
class W2dTextGraphicItem;

class W2dItemEffect : public HbRoot
{
public:
    /// One animation step on the item.
    virtual void Update(W2dGenericItem*) {}
    /// Reads the item's starting state; the owner calls it once, right after AddEffect.
    virtual void Begin(W2dGenericItem*) {}
    /// Puts the item back to the effect's starting state.
    virtual void Restart(W2dGenericItem*) {}
    /// Called by the item's StopAllEffects after the running flag was cleared.
    virtual void Stop(W2dGenericItem*) {}

    int32_t IsRunning() const { return mRunning; }
    void SetRunning(int32_t running) { mRunning = running; }

protected:
    /// The real clock's current time in ticks.
    static int64_t Now();
    /// Ticks to seconds with the counter frequency.
    static double Seconds(int64_t ticks);

    int32_t mRunning = 1;
};

/// Shows and hides the item, toggling strictly after each period.
class W2dBlinkEffect : public W2dItemEffect
{
public:
    explicit W2dBlinkEffect(int64_t period) : mPeriod(period) {}
    void Update(W2dGenericItem* item) override;
    virtual void SetPeriod(int64_t period) { mPeriod = period; }

private:
    int64_t mLastToggle = 0;
    int64_t mPeriod;
    int32_t mShown = 0;
};

/// Moves its items by one step at most once per delay; one effect may drive many items, its owner
/// calling Tick once per frame before updating them. An item that leaves the top is hidden.
class W2dStepMoveEffect : public W2dItemEffect
{
public:
    W2dStepMoveEffect(int64_t delay, float x, float y, float z) : mStep{x, y, z}, mDelay(delay) {}
    void Update(W2dGenericItem* item) override;
    virtual void Tick();

private:
    Vector mStep;
    int64_t mDelay;
    int64_t mLastStep = 0;
    int64_t mTimeStamp = 0;
};

/// Shrinks the item's height to a factor of it and back, keeping its vertical middle.
class W2dHeightPulseEffect : public W2dItemEffect
{
public:
    W2dHeightPulseEffect(int64_t halfPeriod, float minimumFactor, W2dGenericItem* item);
    void Update(W2dGenericItem* item) override;
    void Begin(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;

private:
    Vector mStartSize = {};
    float mMinimumFactor;
    int64_t mHalfPeriod;
    int64_t mCycleStart;
    Vector mStartPosition = {};
};

/// Fades the item's colour from one colour to another after a delay, then stops.
class W2dColourFadeEffect : public W2dItemEffect
{
public:
    W2dColourFadeEffect(int64_t duration, const Rgba* startColour, const Rgba* endColour, int64_t delay);
    void Update(W2dGenericItem* item) override;
    void Begin(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;
    void Stop(W2dGenericItem* item) override;
    /// New start and end colours for the next run.
    void SetColours(const Rgba& start, const Rgba& end)
    {
        mStart = start;
        mEnd = end;
    }

private:
    Rgba mStart;
    Rgba mEnd;
    int64_t mDuration;
    int64_t mStartTime = 0;
    int32_t mStarted = 0;
    int64_t mDelay;
};

/// Slides the item from a start position to where it was when the effect was made, then stops.
class W2dSlideInEffect : public W2dItemEffect
{
public:
    /// Reads the item's position (the target) and size, then moves it to the start.
    W2dSlideInEffect(int64_t duration, const Vector* startPosition, W2dGenericItem* item);
    void Update(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;
    void Stop(W2dGenericItem* item) override;

private:
    Vector mStart;
    Vector mTarget = {};
    int64_t mDuration;
    int64_t mStartTime = 0;
    int32_t mStarted = 0;
    Vector mSize = {};
};

/// Turns an item whose surface can turn (a blended picture) by 360 degrees per period.
class W2dSpinEffect : public W2dItemEffect
{
public:
    explicit W2dSpinEffect(int64_t period) : mPeriod(period) {}
    void Update(W2dGenericItem* item) override;
    /// The owner's own start: the item's rotation and the time now.
    void Begin(W2dSurfaceGraphicItem* item);
    using W2dItemEffect::Begin;
    void Restart(W2dGenericItem* item) override;

private:
    float mStartRotation = 0.0f;
    int64_t mPeriod;
    int64_t mLastTime = 0;
};

/// Sets the item's alpha from where its y lies between two positions: opaque before the first, fading
/// out towards the second, transparent at the first and past the second. Inside or past its range it
/// claims the frame and later fades of the item leave it alone; before its range it does not.
class W2dPositionFadeEffect : public W2dItemEffect
{
public:
    W2dPositionFadeEffect(const Vector* from, const Vector* to);
    void Update(W2dGenericItem* item) override;
    void Begin(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;

private:
    Vector mFrom;
    Vector mTo;
    Vector mDelta;
    uint8_t mSavedAlpha = 255;
};

/// Moves the item by an offset over a duration; the end becomes the start of the next run.
class W2dMoveByEffect : public W2dItemEffect
{
public:
    W2dMoveByEffect(const Vector* offset, int64_t duration) : mDuration(duration), mOffset(*offset) {}
    void Update(W2dGenericItem* item) override;
    void Begin(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;

private:
    int64_t mDuration;
    int64_t mStartTime = 0;
    Vector mOffset;
    Vector mStart = {};
    int32_t mStarted = 0;
};

/// Moves the item out by an offset over a half period and back over the next, for ever.
class W2dMoveAndBackEffect : public W2dItemEffect
{
public:
    W2dMoveAndBackEffect(const Vector* offset, int64_t halfPeriod) : mHalfPeriod(halfPeriod), mOffset(*offset) {}
    void Update(W2dGenericItem* item) override;
    void Begin(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;

private:
    int64_t mHalfPeriod;
    int64_t mStartTime = 0;
    Vector mOffset;
    Vector mStart = {};
    int32_t mStarted = 0;
};

/// Shrinks a text item's character height and fades it, then grows it back; never below alpha 50.
class W2dTextPulseEffect : public W2dItemEffect
{
public:
    W2dTextPulseEffect(int64_t halfPeriod, float minimumFactor, W2dTextGraphicItem* item);
    void Update(W2dGenericItem* item) override;
    void Restart(W2dGenericItem* item) override;

private:
    float mStartHeight = 0.0f;
    float mMinimumFactor;
    int64_t mHalfPeriod;
    int64_t mCycleStart;
    Vector mStartPosition = {};
    /// The y the last step set; another y means the item's owner has placed it since.
    float mPlacedY = 0.0f;
    int32_t mPlaced = 0;
};
