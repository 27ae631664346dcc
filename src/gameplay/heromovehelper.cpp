// HeroMoveHelper.
#include "heromovehelper.h"

#include "frame.h"
#include "hbclock.h"
#include "tsheroactor.h"
#include "w3dnode.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace
{
// The tuning record's entries by use (1-based order of the record).
constexpr int32_t kTurnRate = 0;
constexpr int32_t kWatchMagnitude = 2;
constexpr int32_t kQuickTurnWindow = 3;
constexpr int32_t kReversalBound = 4;
constexpr int32_t kLateralBound = 5;
constexpr int32_t kMode0Hold = 7;
constexpr int32_t kMode2Hold = 10;
constexpr int32_t kMode1Hold = 11;
constexpr int32_t kTurnNeeded = 12;
constexpr int32_t kWalkOn = 13;

constexpr float kSamplePeriod = 0.1f;
constexpr float kDirectionEpsilon = 0.01f;
constexpr float kResetFrameSeconds = 0.016f;

struct Tuning
{
    float values[HeroMoveHelper::kTuningCount];
    Tuning()
    {
        // The quick-turn bounds come from pi/4 in single precision.
        const double angle = 0.7853981555434667;
        const double c = std::cos(angle);
        const float defaults[HeroMoveHelper::kTuningCount] = {
            20.0f, 0.02f, 0.1f, 0.05f, float(-c), float(std::sqrt(1.0 - c * c)), 0.1f, 0.1f, 1.0f, 0.02f,
            0.1f,  0.1f,  0.7f, 0.5f,  0.2f};
        std::memcpy(values, defaults, sizeof(values));
    }
};

const Tuning gTuning;

void ReadHeroInput(TsHeroActor* hero, float frameSeconds, float turnRate)
{
    hero->ReadMoveInput(frameSeconds, turnRate);
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector ForwardOf(TsHeroActor* hero)
{
    W3dNode* node = hero->GetNode();
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    return frame ? Frame::GetWorldMatrix(frame)->at : Vector{0.0f, 0.0f, 1.0f};
}
} // namespace

HeroMoveHelper& HeroMoveHelper::Instance()
{
    static HeroMoveHelper helper;
    return helper;
}

const float* HeroMoveHelper::DefaultTuning()
{
    return gTuning.values;
}

HeroMoveHelper::HeroMoveHelper() : mReader(ReadHeroInput), mAccumulatorA(FLT_MAX)
{
    std::memcpy(mTuning, gTuning.values, sizeof(mTuning));
    for (HistorySample& sample : mHistory)
        sample = {{1.0f, 0.0f, 0.0f}, 0.0f, kResetFrameSeconds};
    for (Band& band : mBands)
        band = {0.0f, 0.0f, 0.0f};
    ResetTuning();
}

void HeroMoveHelper::SetHero(TsHeroActor* hero)
{
    mHero = hero;
    mFrameSeconds = 0.0f;
}

void HeroMoveHelper::SetInputReader(InputReader reader)
{
    mReader = reader ? reader : ReadHeroInput;
}

void HeroMoveHelper::ResetTuning()
{
    mBands[0] = {0.0f, 0.05f, 0.0f};
    mBands[1] = {0.05f, 0.98f, 0.0f};
    mBands[2] = {0.98f, 1.0f, 0.0f};
}

void HeroMoveHelper::ResetHistory()
{
    const Vector direction = mHero ? mHero->mMoveDirection : Vector{1.0f, 0.0f, 0.0f};
    for (HistorySample& sample : mHistory)
        sample = {direction, 0.0f, kResetFrameSeconds};
    mNewest = 0;
}

int32_t HeroMoveHelper::Sample()
{
    if (!mHero)
        return 0;
    HbGameClock* clock = HbGameClock::Instance();
    mFrameSeconds = clock ? clock->mStepSeconds : 0.0f;

    mNewest = mNewest == kHistorySize - 1 ? 0 : mNewest + 1;
    mHistory[mNewest] = {mHero->mMoveDirection, mHero->mInputStrength, mFrameSeconds};

    if (mAccumulatorB < mDelayB)
        mAccumulatorB += mFrameSeconds;

    mSampleTimer += mFrameSeconds;
    if (mSampleTimer > kSamplePeriod)
    {
        mPreviousZ = mCurrentZ;
        mCurrentZ = mHero->mMoveDirection.z;
        mPreviousX = mCurrentX;
        mCurrentX = mHero->mMoveDirection.x;
        mSampleTimer = 0.0f;
    }

    const float turnRate = mTuning[kTurnRate];
    if (mAccumulatorA < mDelayA)
    {
        mAccumulatorA += mFrameSeconds;
        const float k = mDelayA > 0.0f ? mAccumulatorA / mDelayA : 1.0f;
        mReader(mHero, mFrameSeconds, turnRate * k);
        if (mDelayA - 0.001f < mAccumulatorA)
            ResetHistory();
    }
    else if (mHero->mInputStrength > mTuning[kWatchMagnitude] &&
             (std::fabs(mCurrentZ - mPreviousZ) > kDirectionEpsilon ||
              std::fabs(mCurrentX - mPreviousX) > kDirectionEpsilon))
    {
        mDirectionChanged = 1;
        ResetHistory();
    }
    mReader(mHero, mFrameSeconds, turnRate);

    const float m = std::fmin(mHero->mInputStrength, 1.0f);
    for (int32_t mode = 0; mode < kModes; ++mode)
    {
        if (mode != mMode && mBands[mode].low <= m && m <= mBands[mode].high)
        {
            mBands[mode].timer = 0.0f;
            mMode = mode;
            return 1;
        }
    }
    mBands[mMode].timer += mFrameSeconds;
    return 1;
}

int32_t HeroMoveHelper::CheckHistory()
{
    if (!mHero || mAccumulatorA < mDelayA || mAccumulatorB < mDelayB || !mDirectionChanged)
        return 0;
    const Vector heading = mHero->mSmoothedDirection;
    const Vector present = mHero->mMoveDirection;
    float sum = 0.0f;
    int32_t index = mNewest;
    for (int32_t walked = 0; walked < kHistorySize; ++walked)
    {
        const HistorySample& s = mHistory[index];
        const float lateral = (s.direction.z * heading.x - s.direction.x * heading.z) * s.magnitude;
        if (std::fabs(lateral) > mTuning[kLateralBound])
        {
            mDirectionChanged = 0;
            ResetHistory();
            return 0;
        }
        if (s.magnitude == 0.0f && Dot(s.direction, present) < mTuning[kReversalBound])
        {
            mQuickTurnDirection = present;
            mDirectionChanged = 0;
            ResetHistory();
            return 1;
        }
        sum += s.frameSeconds;
        if (sum > mTuning[kQuickTurnWindow])
            return 0;
        index = index == 0 ? kHistorySize - 1 : index - 1;
    }
    return 0;
}

void HeroMoveHelper::SyncFrame()
{
    if (!mHero)
        return;
    // The facing in the frame the move direction is kept in (the world's horizontal plane).
    Vector forward = ForwardOf(mHero);
    forward.y = 0.0f;
    if (std::fabs(forward.x) < 1e-6f && std::fabs(forward.z) < 1e-6f)
        return;
    mHero->SetMoveDirection(&forward);
}

void HeroMoveHelper::SetCheckDelayA(float seconds)
{
    mDelayA = seconds;
    mAccumulatorA = 0.0f;
    SyncFrame();
}

void HeroMoveHelper::SetCheckDelayB(float seconds)
{
    mDelayB = seconds;
    mAccumulatorB = 0.0f;
}

int32_t HeroMoveHelper::IsMode0TimerOver() const
{
    return mMode == 0 && mBands[0].timer > mTuning[kMode0Hold] ? 1 : 0;
}

int32_t HeroMoveHelper::IsMode1TimerOver() const
{
    return mMode == 1 && mBands[1].timer > mTuning[kMode1Hold] ? 1 : 0;
}

int32_t HeroMoveHelper::IsMode2TimerOver() const
{
    return mMode == 2 && mBands[2].timer > mTuning[kMode2Hold] ? 1 : 0;
}

int32_t HeroMoveHelper::IsMode0AndTimerAbove(float seconds) const
{
    return mMode == 0 && mBands[2].timer > seconds ? 1 : 0;
}

float HeroMoveHelper::DotForwardMoveDirection()
{
    // In the hero's horizontal frame his facing is +z.
    Vector local;
    mHero->GetLocalDirection(&mHero->mMoveDirection, &local);
    return local.z;
}

int32_t HeroMoveHelper::NeedsTurn()
{
    if (mMode == 0 || !mHero)
        return 0;
    return DotForwardMoveDirection() < mTuning[kTurnNeeded] ? 1 : 0;
}

int32_t HeroMoveHelper::CanWalkOn()
{
    if (mMode != 0 && mHero && DotForwardMoveDirection() > mTuning[kWalkOn])
        return 1;
    return mMode == 2 ? 1 : 0;
}
