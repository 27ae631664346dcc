// HbMouseController: the system mouse's movement and wheel through an axis
// element, and its buttons as keys of the Windows key state.
#pragma once

#include "hbaxiselement.h"
#include "hbcontroller.h"

/// The mouse's three raw values of the frame: x and y movement, wheel movement.
class HbMouseAxes : public HbAxisElement
{
public:
    HbMouseAxes() : HbAxisElement(3) {}

    float GetRaw(int32_t index) override;
    /// Zeroes the values, then reads the manager's mouse device while the
    /// application window is active (and releases it while not).
    void Poll() override;

private:
    float mRaw[3] = {};
};

class HbMouseController : public HbController
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Kind 2, type name "Mouse"; the x axis ranges over the desktop's width,
    /// the y axis over its height, so movement reads as a fraction of them.
    HbMouseController();
    ~HbMouseController() override;

    int IsConnected() override { return 1; }
    /// CheckConnection, Poll, Dispatch(1); 0 when not connected, else 1.
    int Update() override;
    int Reacquire() override { return 1; }
    /// Index 0: this frame's movement times the sensitivity, and 1; else (0, 0) and 0.
    int GetAxis(int32_t index, float out[2]) override;
    /// Index 0: -1, 0 or 1 by the wheel's direction this frame, and 1; else 0.
    int GetWheel(int32_t index, float* out) override;
    /// Index 0 only: axis 0 (x) or 1 (y).
    int SetAxisInverted(int32_t index, int32_t axis, int32_t flag) override;
    /// "VK_LBUTTON", "VK_RBUTTON", "VK_MBUTTON".
    void InitKeyNames() override;

    /// A negative factor counts as 0.
    void SetSensitivity(float sensitivity) { mSensitivity = sensitivity < 0.0f ? 0.0f : sensitivity; }
    float GetSensitivity() const { return mSensitivity; }
    HbMouseAxes* GetAxes() const { return mAxes; }

private:
    HbMouseAxes* mAxes;
    float mSensitivity = 1.0f;
};
