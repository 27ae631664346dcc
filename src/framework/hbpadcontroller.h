// HbPadController: a DirectInput game pad of one of the two accepted product
// identities, with its sixteen buttons under console-style names, two sticks
// with dead zones and two rumble effects. HbPadStick and HbPadEffect are its
// axis elements.
#pragma once

#include "dinput8.h"
#include "hbaxiselement.h"
#include "hbcontroller.h"
#include "hbhashmap.h"

/// A stick: kind 1 reads the state's x and y axes, kind 2 its z axis and z
/// rotation. Raw values run from about -128 to 128, up positive.
class HbPadStick : public HbAxisElement
{
public:
    /// Both axes get range and dead zone 0 to 127.
    explicit HbPadStick(int32_t kind);

    /// 0: x; 1: minus y; 0 for any other index.
    float GetRaw(int32_t index) override;
    /// Takes the stick's two axes (0..65535) from the device state.
    void Update(const DIJOYSTATE2& state);
    /// Centred: the raw values read 0.
    void Centre() { mX = mY = 0.0f; }

    int32_t GetKind() const { return mKind; }
    float GetX() const { return mX; }
    float GetY() const { return mY; }

private:
    int32_t mKind;
    float mX = 0.0f;
    float mY = 0.0f;
};

/// A rumble effect: kind 3 pushes along the device's x axis (the strong
/// motor), kind 4 along its y axis (the light motor). Range 0 to 255.
class HbPadEffect : public HbAxisElement
{
public:
    static constexpr DWORD kEscapeCommand = 0x7834BB08;
    static constexpr float kMaxDuration = 5.0f;

    /// Creates the constant-force effect on the device; IsValid tells whether it could.
    HbPadEffect(int32_t kind, IDirectInputDevice8A* device);
    /// Sends the escape command with input 0 and releases the effect.
    ~HbPadEffect() override;

    /// what 0: strength (|value| up to 1), untimed; what 1: duration in
    /// seconds (0 to 5), timed from the real clock's current time. Values
    /// outside the range are clamped to it and NaN counts as 0. 1 when taken,
    /// 0 for any other what.
    int SetValue(int32_t what, float value) override;
    /// A timed effect whose end has passed becomes untimed with value 0.
    void Poll() override;

    bool IsValid() const { return mEffect != nullptr; }
    int32_t GetKind() const { return mKind; }
    int32_t GetValue() const { return mValue; }
    int32_t IsUntimed() const { return mUntimed; }
    int64_t GetEndTime() const { return mEndTime; }
    /// What the motor was last given, 0 to 1.
    float GetStrength() const { return mStrength; }

private:
    void Escape(uint32_t input);
    /// Plays the strength on the device, untimed, from now.
    void Play(float strength);

    int32_t mKind;
    IDirectInputDevice8A* mDevice;
    IDirectInputEffect* mEffect = nullptr;
    int32_t mUntimed = 1;
    int64_t mEndTime = 0;
    int32_t mValue = 0;
    float mStrength = 0.0f;
};

class HbPadController : public HbController
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kButtonCount = 16;

    /// Kind 3 ("Paddle1") or 4 ("Paddle2"); no device until InitDevice.
    HbPadController(int32_t kind, const char* typeName);
    /// Releases the elements and the device.
    ~HbPadController() override;

    int IsConnected() override { return 1; }
    /// Reads the device (re-acquiring a lost one once), the sticks and the
    /// buttons, then Dispatch(1). 0 when the device cannot be read: the pad
    /// then reports nothing that frame.
    int Update() override;
    /// Stick 1 or 2: its two axes through the dead zone, and 1; else (0, 0) and 0.
    int GetAxis(int32_t stick, float out[2]) override;
    /// The sticks take the last device state; the current context's actions
    /// are reset and enabled.
    int Reacquire() override;
    int SetAxisDeadZone(int32_t stick, int32_t axis, int32_t low, int32_t high) override;
    int SetAxisInverted(int32_t stick, int32_t axis, int32_t flag) override;
    /// Opens the first attached game controller of an accepted identity, for
    /// pad index 0 or 1; 1 when opened.
    int InitDevice(int32_t index) override;
    /// Effect 3 or 4, while vibration is on: strength then duration; 1 when set.
    int SetVibration2(int32_t effect, float strength, float duration) override;
    /// Effect 3 or 4, while vibration is on: the strength.
    int SetVibration(int32_t effect, float strength) override;
    void InitKeyNames() override;

    /// Off stops both effects; any nonzero value turns vibration on.
    void SetVibrationEnabled(int32_t on);
    int32_t IsVibrationEnabled() const { return mVibrationEnabled; }
    /// 1 left, 2 right; null for any other kind or before InitDevice.
    HbPadStick* GetStick(int32_t kind) const;
    /// 3 or 4; null without force feedback.
    HbPadEffect* GetEffect(int32_t kind) const;
    IDirectInputDevice8A* GetDevice() const { return mDevice; }
    int32_t GetPadIndex() const { return mPadIndex; }
    const uint8_t* GetButtons() const { return mButtons; }
    /// The pad bit of a button code, or -1.
    int32_t GetButtonBit(int32_t code) const;

    /// Whether a product identifier is one the pad accepts.
    static bool IsAcceptedProduct(const GUID& product);

private:
    static BOOL AcceptDevice(LPCDIDEVICEINSTANCEA instance, void* context);
    /// Reads the device state; re-acquires once when the input was lost.
    bool ReadDevice();
    void ReleaseDevice();

    HbPadStick* mLeft = nullptr;
    HbPadStick* mRight = nullptr;
    HbPadEffect* mEffect3 = nullptr;
    HbPadEffect* mEffect4 = nullptr;
    int32_t mVibrationEnabled = 0;
    int32_t mPadIndex = 0;
    HbIntHashMap mButtonBits{17, 10};
    uint8_t mButtons[kButtonCount] = {};
    IDirectInputDevice8A* mDevice = nullptr;
    DIJOYSTATE2 mState = {};
};
