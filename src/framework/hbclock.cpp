// Clocks over the performance counter.
#include "hbclock.h"

#include "hbsingleton.h"
#include "hbvariable.h"

#include "win32.h"

namespace
{
int64_t gFrequency = 0;
float gFramePeriod = 1.0f / 60.0f;

// Just below 1/15 s: the longest step the game clock takes at once.
constexpr float kMaxStepSeconds = 0.066666f;

int64_t CounterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
} // namespace

int64_t HbPerformanceFrequency()
{
    if (gFrequency == 0)
    {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        gFrequency = frequency.QuadPart;
    }
    return gFrequency;
}

void HbPerformanceFrequencyResetForTest()
{
    gFrequency = 0;
}

float HbReadFramePeriod()
{
    int32_t pal = 0;
    gFramePeriod = (HbGetBoolVariable("MODE_PAL", pal) && pal) ? 0.02f : 1.0f / 60.0f;
    return gFramePeriod;
}

float HbFramePeriod()
{
    return gFramePeriod;
}

// ---- HbPerformanceCounter ----------------------------------------------------------

HbPerformanceCounter::HbPerformanceCounter()
{
    HbPerformanceFrequency();
}

int64_t HbPerformanceCounter::Value() const
{
    return mStarted ? mAccumulated + (CounterNow() - mStartCount) : mAccumulated;
}

void HbPerformanceCounter::Start()
{
    if (mStarted)
        return;
    mStartCount = CounterNow();
    mStarted = 1;
}

void HbPerformanceCounter::Reset()
{
    mAccumulated = 0;
    mStarted = 0;
}

// ---- HbRealClock --------------------------------------------------------------------

HB_DEFINE_CLASS_DESC(HbRealClock, HbRoot);

HbRealClock* HbRealClock::Instance()
{
    return HbSingleton<HbRealClock>::Instance();
}

HbRealClock::HbRealClock()
{
    mCounter = new HbPerformanceCounter();
    mCurrentTime = mCounter ? mCounter->Value() : 0;
    if (mCounter)
        mCounter->Start();
    float period = HbReadFramePeriod();
    mLastStep = static_cast<int64_t>(static_cast<double>(HbPerformanceFrequency()) * period);
    mLastStepSeconds = period;
}

HbRealClock::~HbRealClock()
{
    delete mCounter;
}

void HbRealClock::Tick()
{
    int64_t value = mCounter ? mCounter->Value() : 0;
    mLastStep = value - mCurrentTime;
    mCurrentTime = value;
    mLastStepSeconds = static_cast<float>(static_cast<double>(mLastStep) / static_cast<double>(HbPerformanceFrequency()));
}

// ---- HbGameClock --------------------------------------------------------------------

HB_DEFINE_CLASS_DESC(HbGameClock, HbRoot);

HbGameClock* HbGameClock::Instance()
{
    return HbSingleton<HbGameClock>::Instance();
}

HbGameClock::HbGameClock()
{
    mCounter = new HbPerformanceCounter();
    float period = HbReadFramePeriod();
    mNominalStep = static_cast<int64_t>(static_cast<double>(HbPerformanceFrequency()) * period);
    Reset();
}

HbGameClock::~HbGameClock()
{
    delete mCounter;
}

void HbGameClock::Reset()
{
    if (mCounter)
        mCounter->Reset();
    mLastCounterValue = mCounter ? mCounter->Value() : 0;
    mGameTime = mLastCounterValue;
    float period = HbReadFramePeriod();
    mStep = static_cast<int64_t>(static_cast<double>(period) * mTimeScale * static_cast<double>(HbPerformanceFrequency()));
    mStepSeconds = period;
}

void HbGameClock::Start()
{
    if (mCounter)
        mCounter->Start();
}

void HbGameClock::Update()
{
    int64_t now = mCounter ? mCounter->Value() : 0;
    int64_t previous = mLastCounterValue;
    // A counter that went back was reset: count one nominal frame instead.
    mLastCounterValue = now < previous ? previous + mNominalStep : now;
    int64_t delta = mLastCounterValue - previous;
    if (mStepClamp)
    {
        auto limit = static_cast<int64_t>(static_cast<double>(HbPerformanceFrequency()) * kMaxStepSeconds);
        if (delta > limit)
            delta = limit;
    }
    mStep = static_cast<int64_t>(static_cast<double>(delta) * mTimeScale);
    mGameTime += mStep;
    mStepSeconds = static_cast<float>(static_cast<double>(mStep) / static_cast<double>(HbPerformanceFrequency()));
}

int32_t HbGameClock::SetStepClamp(int32_t on)
{
    int32_t previous = mStepClamp;
    mStepClamp = on;
    return previous;
}
