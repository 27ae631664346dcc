// Key conditions: the per-key state machine of the action states and the
// multiple-click test.
#include "hbkeycondition.h"

#include "hbclock.h"

HB_DEFINE_CLASS_DESC(HbKeyCondition, HbRoot);

namespace
{
// The key states the conditions record.
enum KeyState : int32_t
{
    kPressed = 1,
    kDoubleClicked = 2,
    kTripleClicked = 3,
    kReleased = 4,
    kHeld = 5,
    kUp = 6,
};

float RealTimeSeconds()
{
    HbRealClock* clock = HbRealClock::Instance();
    int64_t frequency = HbPerformanceFrequency();
    if (!clock || frequency <= 0)
        return 0.0f;
    return static_cast<float>(static_cast<double>(clock->mCurrentTime) / static_cast<double>(frequency));
}
} // namespace

HbKeyCondition::HbKeyCondition(int32_t keyCode, int32_t kind) : mKeyCode(keyCode), mKind(kind) {}

int HbKeyCondition::Evaluate(uint8_t keyByte)
{
    bool pressed = (keyByte & 0xF0) != 0;
    switch (mKind)
    {
    case kHbStateClick:
        if (!pressed)
        {
            mState = kReleased;
            return 0;
        }
        if (mState != kReleased)
            return 0;
        mState = kPressed;
        return 1;
    case kHbStateDoubleClick:
    case kHbStateTripleClick:
    {
        if (!pressed)
        {
            mState = kUp;
            return 0;
        }
        if (mState == kUp || mState == kReleased)
        {
            RecordPress();
            int32_t presses = mKind == kHbStateDoubleClick ? 2 : 3;
            if (IsMultiClick(presses))
            {
                mPressTimes.RemoveAll();
                mState = mKind == kHbStateDoubleClick ? kDoubleClicked : kTripleClicked;
                return 1;
            }
        }
        mState = kHeld;
        return 0;
    }
    case kHbStateReleased:
        if (pressed)
        {
            mState = kPressed;
            return 0;
        }
        if (mState != kPressed)
            return 0;
        mState = kReleased;
        return 1;
    case kHbStateDown:
        mState = pressed ? kHeld : kUp;
        return pressed ? 1 : 0;
    case kHbStateUp:
        mState = pressed ? kHeld : kUp;
        return pressed ? 0 : 1;
    case kHbStateToggled:
        if (pressed)
            mState = kPressed;
        else if (mState == kPressed)
        {
            mState = kReleased;
            mToggle = mToggle == 0 ? 1 : 0;
        }
        return mToggle;
    default:
        return 0;
    }
}

void HbKeyCondition::Reset()
{
    mState = 0;
    mPressTimes.RemoveAll();
}

void HbKeyCondition::RecordPress()
{
    if (mPressTimes.GetCount() >= kHistoryLength)
    {
        // Keep the most recent presses: a chain is judged by its latest ones.
        for (int32_t i = 1; i < mPressTimes.GetCount(); ++i)
            mPressTimes[i - 1] = mPressTimes[i];
        mPressTimes.SetSize(mPressTimes.GetCount() - 1);
    }
    mPressTimes.Add(RealTimeSeconds());
}

int HbKeyCondition::IsMultiClick(int32_t presses) const
{
    int32_t count = mPressTimes.GetCount();
    if (presses < 2 || count < presses)
        return 0;
    for (int32_t i = count - presses + 1; i < count; ++i)
        if (mPressTimes[i] - mPressTimes[i - 1] > kMultiClickWindow)
            return 0;
    return 1;
}
