// The ten item effects. Every step is a few operations and virtual calls on the item; none allocates.
#include "w2ditemeffect.h"

#include "hbclock.h"
#include "w2dgenericitem.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cstdint>

int64_t W2dItemEffect::Now()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

double W2dItemEffect::Seconds(int64_t ticks)
{
    return double(ticks) / double(HbPerformanceFrequency());
}

namespace
{
void SetAllCorners(W2dGenericItem* item, const Rgba& colour)
{
    item->SetCornerColours(colour, colour, colour, colour);
}

/// The item's colour read into one value (the last corner read wins).
Rgba ReadColour(W2dGenericItem* item)
{
    Rgba colour = {255, 255, 255, 255};
    item->GetCornerColours(&colour, &colour, &colour, &colour);
    return colour;
}
} // namespace

// ---- Blink ----------------------------------------------------------------------------------------------

void W2dBlinkEffect::Update(W2dGenericItem* item)
{
    int64_t now = Now();
    if (now <= mLastToggle + mPeriod)
        return;
    mShown ^= 1;
    mLastToggle = now;
    if (mShown)
        item->Show();
    else
        item->Hide();
}

// ---- Step move ------------------------------------------------------------------------------------------

void W2dStepMoveEffect::Update(W2dGenericItem* item)
{
    Vector position;
    item->GetPosition(&position);
    if (mTimeStamp - mLastStep > mDelay)
    {
        position.x += mStep.x;
        position.y += mStep.y;
        position.z += mStep.z;
        item->SetPosition(position);
    }
    if (position.y <= 0.0f)
        item->Hide();
}

void W2dStepMoveEffect::Tick()
{
    if (mTimeStamp - mLastStep > mDelay)
        mLastStep = mTimeStamp;
    mTimeStamp = Now();
}

// ---- Height pulse ---------------------------------------------------------------------------------------

W2dHeightPulseEffect::W2dHeightPulseEffect(int64_t halfPeriod, float minimumFactor, W2dGenericItem* item)
    : mMinimumFactor(minimumFactor), mHalfPeriod(halfPeriod), mCycleStart(Now())
{
    if (item)
    {
        item->GetSize(&mStartSize);
        item->GetPosition(&mStartPosition);
    }
}

void W2dHeightPulseEffect::Update(W2dGenericItem* item)
{
    double t = Seconds(Now() - mCycleStart);
    double half = Seconds(mHalfPeriod);
    double h0 = mStartSize.y;
    double f = mMinimumFactor;
    double h;
    if (half > 0.0 && t < half)
        h = h0 * (1.0 - (1.0 - f) * t / half);
    else if (half > 0.0 && t - half < half)
        h = h0 * ((1.0 - f) * (t - half) / half + f);
    else
    {
        mCycleStart = Now();
        return;
    }
    item->SetSize({mStartSize.x, float(h), mStartSize.z});
    Vector position;
    item->GetPosition(&position);
    position.y = float(mStartPosition.y + (h0 - h) * 0.5);
    item->SetPosition(position);
}

void W2dHeightPulseEffect::Begin(W2dGenericItem* item)
{
    item->GetPosition(&mStartPosition);
    item->GetSize(&mStartSize);
}

void W2dHeightPulseEffect::Restart(W2dGenericItem* item)
{
    item->SetSize(mStartSize);
    item->SetPosition(mStartPosition);
}

// ---- Colour fade ------------------------------------------------------------------------------------------

W2dColourFadeEffect::W2dColourFadeEffect(int64_t duration, const Rgba* startColour, const Rgba* endColour,
                                         int64_t delay)
    : mStart(*startColour), mEnd(*endColour), mDuration(duration), mDelay(delay)
{
}

void W2dColourFadeEffect::Update(W2dGenericItem* item)
{
    if (!mStarted)
    {
        mStarted = 1;
        mStartTime = Now();
        return;
    }
    // This fade converts with the frequency as a 32-bit real.
    float frequency = float(HbPerformanceFrequency());
    float elapsed = float(Now() - mStartTime) / frequency;
    float delay = float(mDelay) / frequency;
    if (elapsed <= delay)
        return;
    float t = elapsed - delay;
    float duration = float(mDuration) / frequency;
    if (t >= duration)
    {
        mStarted = 0;
        SetAllCorners(item, mEnd);
        mRunning = 0;
        return;
    }
    float p = t / duration;
    auto mix = [p](uint8_t from, uint8_t to) { return uint8_t(int32_t(p * float(int32_t(to) - from) + from)); };
    Rgba colour = {mix(mStart.red, mEnd.red), mix(mStart.green, mEnd.green), mix(mStart.blue, mEnd.blue),
                   mix(mStart.alpha, mEnd.alpha)};
    SetAllCorners(item, colour);
}

void W2dColourFadeEffect::Begin(W2dGenericItem* item)
{
    item->SetColour(mStart);
}

void W2dColourFadeEffect::Restart(W2dGenericItem* item)
{
    mStarted = 0;
    item->SetColour(mStart);
    mRunning = 1;
}

void W2dColourFadeEffect::Stop(W2dGenericItem* item)
{
    mRunning = 0;
    mStarted = 0;
    SetAllCorners(item, mEnd);
}

// ---- Slide in -------------------------------------------------------------------------------------------

W2dSlideInEffect::W2dSlideInEffect(int64_t duration, const Vector* startPosition, W2dGenericItem* item)
    : mStart(*startPosition), mDuration(duration)
{
    if (item)
    {
        item->GetPosition(&mTarget);
        item->GetSize(&mSize);
        item->SetPosition(mStart);
    }
}

void W2dSlideInEffect::Update(W2dGenericItem* item)
{
    if (!mStarted)
    {
        item->SetPosition(mStart);
        item->SetSize(mSize);
        mStarted = 1;
        mStartTime = Now();
        return;
    }
    double t = Seconds(Now() - mStartTime);
    double duration = Seconds(mDuration);
    if (t < duration)
    {
        double k = t / duration;
        Vector position = {float(mStart.x + (mTarget.x - mStart.x) * k), float(mStart.y + (mTarget.y - mStart.y) * k),
                           float(mStart.z + (mTarget.z - mStart.z) * k)};
        item->SetPosition(position);
        item->SetSize(mSize);
        return;
    }
    mStarted = 0;
    item->SetPosition(mTarget);
    item->SetSize(mSize);
    mRunning = 0;
}

void W2dSlideInEffect::Restart(W2dGenericItem* item)
{
    mRunning = 1;
    mStarted = 0;
    item->SetPosition(mStart);
}

void W2dSlideInEffect::Stop(W2dGenericItem* item)
{
    mRunning = 0;
    mStarted = 0;
    item->SetPosition(mTarget);
}

// ---- Spin ---------------------------------------------------------------------------------------------------

void W2dSpinEffect::Begin(W2dSurfaceGraphicItem* item)
{
    mStartRotation = item ? item->GetRotation() : 0.0f;
    mLastTime = Now();
}

void W2dSpinEffect::Update(W2dGenericItem* item)
{
    int64_t now = Now();
    int64_t elapsed = now - mLastTime;
    mLastTime = now;
    // A period of 0 or less would divide by zero: it does not turn.
    if (mPeriod <= 0)
        return;
    W2dSurfaceGraphicItem* surfaceItem = HbCastTo<W2dSurfaceGraphicItem>(item);
    if (!surfaceItem)
        return;
    int64_t angle = (elapsed * 360) / mPeriod;
    float rotation = surfaceItem->GetRotation() + float(angle);
    while (rotation > 360.0f)
        rotation -= 360.0f;
    surfaceItem->SetRotation(rotation);
}

void W2dSpinEffect::Restart(W2dGenericItem* item)
{
    if (W2dSurfaceGraphicItem* surfaceItem = HbCastTo<W2dSurfaceGraphicItem>(item))
        surfaceItem->SetRotation(mStartRotation);
}

// ---- Position fade ----------------------------------------------------------------------------------------

W2dPositionFadeEffect::W2dPositionFadeEffect(const Vector* from, const Vector* to)
    : mFrom(*from), mTo(*to), mDelta{to->x - from->x, to->y - from->y, to->z - from->z}
{
}

void W2dPositionFadeEffect::Update(W2dGenericItem* item)
{
    if (item->IsColourSetThisFrame())
        return;
    Rgba colour = ReadColour(item);
    Vector position;
    item->GetPosition(&position);
    float dy = mDelta.y;
    float d = position.y - mFrom.y;
    float e = position.y - mTo.y;
    float alpha;
    // Before its start the fade leaves the item opaque without claiming the frame: a second fade
    // further along (a line fading in at the bottom and out at the top) still acts on it.
    bool claims = true;
    if ((dy < 0.0f && d < 0.0f && e > 0.0f) || (dy > 0.0f && d > 0.0f && e < 0.0f))
        alpha = 255.0f * (1.0f - d / dy);
    else if ((dy <= 0.0f && d > 0.0f) || (dy > 0.0f && d < 0.0f))
    {
        alpha = 255.0f;
        claims = false;
    }
    else
        alpha = 0.0f;
    if (claims)
        item->SetColourSetThisFrame(1);
    colour.alpha = uint8_t(int32_t(alpha));
    SetAllCorners(item, colour);
}

void W2dPositionFadeEffect::Begin(W2dGenericItem* item)
{
    mSavedAlpha = ReadColour(item).alpha;
}

void W2dPositionFadeEffect::Restart(W2dGenericItem* item)
{
    Rgba colour = ReadColour(item);
    colour.alpha = mSavedAlpha;
    SetAllCorners(item, colour);
}

// ---- Move by ------------------------------------------------------------------------------------------------

void W2dMoveByEffect::Update(W2dGenericItem* item)
{
    if (!mStarted)
    {
        mStarted = 1;
        mStartTime = Now();
        return;
    }
    double t = Seconds(Now() - mStartTime);
    double duration = Seconds(mDuration);
    if (t < duration)
    {
        double k = t / duration;
        item->SetPosition(
            {float(mStart.x + mOffset.x * k), float(mStart.y + mOffset.y * k), float(mStart.z + mOffset.z * k)});
        return;
    }
    mStarted = 0;
    mStart = {mStart.x + mOffset.x, mStart.y + mOffset.y, mStart.z + mOffset.z};
    item->SetPosition(mStart);
    mRunning = 0;
}

void W2dMoveByEffect::Begin(W2dGenericItem* item)
{
    item->GetPosition(&mStart);
    mStartTime = Now();
}

void W2dMoveByEffect::Restart(W2dGenericItem* item)
{
    item->GetPosition(&mStart);
    mStarted = 0;
}

// ---- Move and back -------------------------------------------------------------------------------------------

void W2dMoveAndBackEffect::Update(W2dGenericItem* item)
{
    if (!mStarted)
    {
        mStarted = 1;
        mStartTime = Now();
        return;
    }
    int64_t elapsed = Now() - mStartTime;
    // Divided as reals: as integers the fraction is always 0 and nothing would move.
    double k;
    if (elapsed < mHalfPeriod)
        k = double(elapsed) / double(mHalfPeriod);
    else if (elapsed - mHalfPeriod < mHalfPeriod)
        k = 1.0 - double(elapsed - mHalfPeriod) / double(mHalfPeriod);
    else
    {
        mStartTime = Now();
        return;
    }
    item->SetPosition(
        {float(mStart.x + mOffset.x * k), float(mStart.y + mOffset.y * k), float(mStart.z + mOffset.z * k)});
}

void W2dMoveAndBackEffect::Begin(W2dGenericItem* item)
{
    item->GetPosition(&mStart);
}

void W2dMoveAndBackEffect::Restart(W2dGenericItem* item)
{
    item->SetPosition(mStart);
    mStarted = 0;
}

// ---- Text pulse ---------------------------------------------------------------------------------------------

W2dTextPulseEffect::W2dTextPulseEffect(int64_t halfPeriod, float minimumFactor, W2dTextGraphicItem* item)
    : mMinimumFactor(minimumFactor), mHalfPeriod(halfPeriod), mCycleStart(Now())
{
    if (item)
    {
        item->GetCharHeight(&mStartHeight);
        item->GetPosition(&mStartPosition);
    }
}

void W2dTextPulseEffect::Update(W2dGenericItem* item)
{
    W2dTextGraphicItem* text = HbCastTo<W2dTextGraphicItem>(item);
    if (!text)
        return;
    double t = Seconds(Now() - mCycleStart);
    double half = Seconds(mHalfPeriod);
    double h0 = mStartHeight;
    double f = mMinimumFactor;
    double h, alpha;
    if (half > 0.0 && t < half)
    {
        h = h0 * (1.0 - (1.0 - f) * t / half);
        alpha = 255.0 - 255.0 * t / half;
    }
    else if (half > 0.0 && t - half < half)
    {
        h = h0 * ((1.0 - f) * (t - half) / half + f);
        alpha = 255.0 * (t - half) / half;
    }
    else
    {
        mCycleStart = Now();
        return;
    }
    text->SetCharHeight(float(h));
    Vector position;
    text->GetPosition(&position);
    // A menu gives its labels their rows after the pulse is attached and places them again
    // each frame: the pulse shifts the item from where its owner put it last.
    if (!mPlaced || position.y != mPlacedY)
        mStartPosition.y = position.y;
    position.y = float(mStartPosition.y + (h0 - h) * 0.5);
    text->SetPosition(position);
    mPlacedY = position.y;
    mPlaced = 1;
    Rgba colour = ReadColour(text);
    int32_t a = int32_t(alpha);
    colour.alpha = uint8_t(a < 50 ? 50 : (a > 255 ? 255 : a));
    SetAllCorners(text, colour);
}

void W2dTextPulseEffect::Restart(W2dGenericItem* item)
{
    if (W2dTextGraphicItem* text = HbCastTo<W2dTextGraphicItem>(item))
        text->SetCharHeight(mStartHeight);
}
