// HbKeyCondition: one key or button watched for one action state (click,
// double and triple click, release, held, not held, toggle).
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

/// The action states, as bind lines name them (the manager's state table).
enum HbActionState : int32_t
{
    kHbStateClick = 1,
    kHbStateDoubleClick = 2,
    kHbStateTripleClick = 3,
    kHbStateReleased = 4,
    kHbStateDown = 5,
    kHbStateUp = 6,
    kHbStateToggled = 7,
};

class HbKeyCondition : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Presses of a double or triple click follow each other within this many
    /// seconds, each measured from the press before it.
    static constexpr float kMultiClickWindow = 0.4f;
    /// The press times kept: enough for a triple click.
    static constexpr int32_t kHistoryLength = 3;

    HbKeyCondition(int32_t keyCode, int32_t kind);

    /// Steps the condition with the key's byte of this frame (pressed while
    /// any of bits 4 to 7 is set) and answers whether it holds. A new or reset
    /// condition must see the key up before a click, double or triple click
    /// can fire, and down before a release can.
    int Evaluate(uint8_t keyByte);
    /// State 0, press history emptied (the toggle is kept).
    void Reset();

    /// Appends the real clock's time in seconds to the press history, dropping
    /// the oldest entry when it already holds kHistoryLength.
    void RecordPress();
    /// 1 when the history holds at least presses entries and each of the last
    /// presses came within kMultiClickWindow of the one before it.
    int IsMultiClick(int32_t presses) const;

    int32_t GetKeyCode() const { return mKeyCode; }
    int32_t GetKind() const { return mKind; }
    int32_t GetState() const { return mState; }
    int32_t GetToggle() const { return mToggle; }
    const HbGrowArray<float>& GetPressTimes() const { return mPressTimes; }

private:
    int32_t mKeyCode;
    int32_t mState = 0;
    HbGrowArray<float> mPressTimes;
    int32_t mKind;
    int32_t mToggle = 0;
};
