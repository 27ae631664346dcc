// The pad controller: device discovery by product identity, sticks, buttons,
// loss and re-acquisition, and the two rumble effects.
#include "hbpadcontroller.h"

#include "hbapplication.h"
#include "hbclock.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"

#include <algorithm>
#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(HbPadController, HbController);

namespace
{
struct PadButton
{
    const char* name;
    int32_t code; ///< the DirectInput button, and the pad's button byte
    int32_t bit;  ///< the console pad's bit number
};

constexpr PadButton kPadButtons[] = {
    {"SCE_PADselect", 8, 0}, {"SCE_PADL3", 10, 1},     {"SCE_PADR3", 9, 2},     {"SCE_PADstart", 11, 3},
    {"SCE_PADLup", 12, 4},   {"SCE_PADLright", 13, 5}, {"SCE_PADLdown", 14, 6}, {"SCE_PADLleft", 15, 7},
    {"SCE_PADL2", 4, 8},     {"SCE_PADR2", 5, 9},      {"SCE_PADL1", 6, 10},    {"SCE_PADR1", 7, 11},
    {"SCE_PADRup", 0, 12},   {"SCE_PADRright", 1, 13}, {"SCE_PADRdown", 2, 14}, {"SCE_PADRleft", 3, 15},
};

// The product identities a pad is opened for: MAKELONG(vendor, product).
constexpr uint32_t kAcceptedProducts[] = {0x06676666, 0x11903427};

// The stick conversion of the original, in single precision: 0..65535 to
// about -128..128.
constexpr float kAxisScale = 0.000030520372f;

HWND MainWindow()
{
    HbApplication* application = HbApplication::Get();
    return application ? application->WindowState().window : nullptr;
}

int64_t RealTimeNow()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}
} // namespace

// ---- Stick ------------------------------------------------------------------------------------

HbPadStick::HbPadStick(int32_t kind) : HbAxisElement(2), mKind(kind)
{
    SetRange(0, 0, 127);
    SetRange(1, 0, 127);
}

float HbPadStick::GetRaw(int32_t index)
{
    if (index == 0)
        return mX;
    if (index == 1)
        return -mY;
    return 0.0f;
}

void HbPadStick::Update(const DIJOYSTATE2& state)
{
    LONG x = mKind == 1 ? state.lX : state.lZ;
    LONG y = mKind == 1 ? state.lY : state.lRz;
    mX = (static_cast<float>(x) * kAxisScale - 1.0f) * 128.0f;
    mY = (static_cast<float>(y) * kAxisScale - 1.0f) * 128.0f;
}

// ---- Effect -----------------------------------------------------------------------------------

HbPadEffect::HbPadEffect(int32_t kind, IDirectInputDevice8A* device) : HbAxisElement(1), mKind(kind), mDevice(device)
{
    SetRange(0, 0, 255);
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG direction[2] = {kind == 3 ? 1 : 0, kind == 3 ? 0 : 1};
    DICONSTANTFORCE force = {0};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = INFINITE;
    effect.dwSamplePeriod = 0;
    effect.dwGain = DI_FFNOMINALMAX;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.dwTriggerRepeatInterval = 0;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = direction;
    effect.lpEnvelope = nullptr;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    effect.dwStartDelay = 0;
    if (!mDevice || mDevice->CreateEffect(GUID_ConstantForce, &effect, &mEffect, nullptr) < 0)
        mEffect = nullptr;
}

HbPadEffect::~HbPadEffect()
{
    Escape(0);
    if (mEffect)
        mEffect->Release();
}

void HbPadEffect::Escape(uint32_t input)
{
    if (!mDevice)
        return;
    DIEFFESCAPE escape = {};
    escape.dwSize = sizeof escape;
    escape.dwCommand = kEscapeCommand;
    escape.lpvInBuffer = &input;
    escape.cbInBuffer = sizeof input;
    mDevice->Escape(&escape);
}

void HbPadEffect::Play(float strength)
{
    // The strength drives the motor through the effect's magnitude; an
    // untimed effect plays until it is changed.
    mStrength = strength;
    if (!mEffect)
        return;
    DICONSTANTFORCE force = {static_cast<LONG>(std::lround(strength * DI_FFNOMINALMAX))};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwDuration = INFINITE;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    mEffect->SetParameters(&effect, DIEP_TYPESPECIFICPARAMS | DIEP_DURATION | DIEP_START);
}

int HbPadEffect::SetValue(int32_t what, float value)
{
    // A NaN would reach the integer casts below: it counts as no force and no time.
    if (std::isnan(value))
        value = 0.0f;
    if (what == 0)
    {
        float strength = std::min(std::fabs(value), 1.0f);
        if (mKind == 3)
            mValue = static_cast<int32_t>(strength * static_cast<float>(GetRangeHigh(0) - GetRangeLow(0)) +
                                          static_cast<float>(GetRangeLow(0)));
        else
            Escape(strength <= 0.001f ? 1 : 0);
        mUntimed = 1;
        Play(mKind == 3 ? static_cast<float>(mValue) / 255.0f : strength);
        return 1;
    }
    if (what == 1)
    {
        float seconds = std::clamp(value, 0.0f, kMaxDuration);
        if (mEffect)
        {
            DIEFFECT effect = {};
            effect.dwSize = sizeof effect;
            effect.dwDuration = static_cast<DWORD>(seconds * 1000000.0f);
            mEffect->SetParameters(&effect, DIEP_DURATION);
        }
        Escape(1);
        mUntimed = 0;
        mEndTime = RealTimeNow() + static_cast<int64_t>(static_cast<double>(HbPerformanceFrequency()) * seconds);
        return 1;
    }
    return 0;
}

void HbPadEffect::Poll()
{
    if (mUntimed || RealTimeNow() <= mEndTime)
        return;
    mUntimed = 1;
    mValue = 0;
    Play(0.0f);
}

// ---- Pad controller ------------------------------------------------------------------------------

HbPadController::HbPadController(int32_t kind, const char* typeName) : HbController(kind, typeName)
{
    InitKeyNames();
    SetKeyStates(mButtons, kButtonCount);
}

HbPadController::~HbPadController()
{
    delete mLeft;
    delete mRight;
    delete mEffect3;
    delete mEffect4;
    mButtonBits.RemoveAll();
    ReleaseDevice();
}

void HbPadController::ReleaseDevice()
{
    if (!mDevice)
        return;
    mDevice->Unacquire();
    mDevice->Release();
    mDevice = nullptr;
}

void HbPadController::InitKeyNames()
{
    for (const PadButton& button : kPadButtons)
    {
        AddKeyName(button.name, button.code);
        if (void** slot = mButtonBits.FindOrInsert(static_cast<uint32_t>(button.code)))
            *slot = reinterpret_cast<void*>(static_cast<intptr_t>(button.bit));
    }
}

int32_t HbPadController::GetButtonBit(int32_t code) const
{
    void* bit = nullptr;
    if (code < 0 || !mButtonBits.Find(static_cast<uint32_t>(code), bit))
        return -1;
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(bit));
}

bool HbPadController::IsAcceptedProduct(const GUID& product)
{
    static const uint8_t kTail[8] = {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'};
    if (product.Data2 != 0 || product.Data3 != 0 || std::memcmp(product.Data4, kTail, 8) != 0)
        return false;
    return std::find(std::begin(kAcceptedProducts), std::end(kAcceptedProducts), product.Data1) !=
           std::end(kAcceptedProducts);
}

BOOL HbPadController::AcceptDevice(LPCDIDEVICEINSTANCEA instance, void* context)
{
    auto* pad = static_cast<HbPadController*>(context);
    if (!instance || !IsAcceptedProduct(instance->guidProduct))
        return DIENUM_CONTINUE;
    HbInputManager* manager = HbInputManager::Instance();
    IDirectInput8A* input = manager ? manager->GetDirectInput() : nullptr;
    if (input && input->CreateDevice(instance->guidInstance, &pad->mDevice, nullptr) < 0)
        pad->mDevice = nullptr;
    return DIENUM_STOP;
}

int HbPadController::InitDevice(int32_t index)
{
    if (index != 0 && index != 1)
        return 0;
    mPadIndex = index;
    // Opened again: the old effects go with the old device.
    delete mEffect3;
    delete mEffect4;
    mEffect3 = mEffect4 = nullptr;
    ReleaseDevice();
    delete mLeft;
    delete mRight;
    mLeft = new HbPadStick(1);
    mRight = new HbPadStick(2);

    HbInputManager* manager = HbInputManager::Instance();
    IDirectInput8A* input = manager ? manager->GetDirectInput() : nullptr;
    if (!input)
        return 0;
    input->EnumDevices(DI8DEVCLASS_GAMECTRL, AcceptDevice, this, DIEDFL_ATTACHEDONLY);
    if (!mDevice)
        return 0;
    mDevice->SetDataFormat(&c_dfDIJoystick2);
    mDevice->SetCooperativeLevel(MainWindow(), DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    mDevice->Acquire();
    DIDEVCAPS caps = {};
    caps.dwSize = sizeof caps;
    mDevice->GetCapabilities(&caps);
    if (caps.dwFlags & DIDC_FORCEFEEDBACK)
    {
        mEffect3 = new HbPadEffect(3, mDevice);
        mEffect4 = new HbPadEffect(4, mDevice);
        // A device that refuses the effects plays none.
        for (HbPadEffect** effect : {&mEffect3, &mEffect4})
            if (*effect && !(*effect)->IsValid())
            {
                delete *effect;
                *effect = nullptr;
            }
    }
    return 1;
}

bool HbPadController::ReadDevice()
{
    if (!mDevice)
        return false;
    mDevice->Poll();
    HRESULT result = mDevice->GetDeviceState(sizeof mState, &mState);
    if (result == DIERR_INPUTLOST || result == DIERR_NOTACQUIRED)
    {
        mDevice->Acquire();
        mDevice->Poll();
        result = mDevice->GetDeviceState(sizeof mState, &mState);
    }
    return result >= 0;
}

int HbPadController::Update()
{
    if (!CheckConnection())
        return 0;
    if (mVibrationEnabled)
    {
        if (mEffect3)
            mEffect3->Poll();
        if (mEffect4)
            mEffect4->Poll();
    }
    if (!ReadDevice())
    {
        // Nothing pressed, sticks centred, and no action fires this frame.
        std::memset(mButtons, 0, sizeof mButtons);
        if (mLeft)
            mLeft->Centre();
        if (mRight)
            mRight->Centre();
        for (int32_t i = 0; i < GetTableSize(GetContext()); ++i)
        {
            HbInputAction* action = GetTableAction(GetContext(), i);
            action->SetFlags(action->GetFlags() & ~(HbInputAction::kTriggered | HbInputAction::kNeedsEvaluation));
        }
        return 0;
    }
    if (mLeft)
        mLeft->Update(mState);
    if (mRight)
        mRight->Update(mState);
    for (int32_t i = 0; i < kButtonCount; ++i)
        mButtons[i] = (mState.rgbButtons[i] & 0x80) ? 0xF0 : 0;
    Dispatch(1);
    return 1;
}

int HbPadController::Reacquire()
{
    if (mLeft)
        mLeft->Update(mState);
    if (mRight)
        mRight->Update(mState);
    SetContext(GetContext());
    return 1;
}

HbPadStick* HbPadController::GetStick(int32_t kind) const
{
    return kind == 1 ? mLeft : kind == 2 ? mRight : nullptr;
}

HbPadEffect* HbPadController::GetEffect(int32_t kind) const
{
    return kind == 3 ? mEffect3 : kind == 4 ? mEffect4 : nullptr;
}

int HbPadController::GetAxis(int32_t stick, float out[2])
{
    HbPadStick* element = GetStick(stick);
    if (!element)
    {
        out[0] = out[1] = 0.0f;
        return 0;
    }
    out[0] = element->GetAxis(0);
    out[1] = element->GetAxis(1);
    return 1;
}

int HbPadController::SetAxisDeadZone(int32_t stick, int32_t axis, int32_t low, int32_t high)
{
    HbPadStick* element = GetStick(stick);
    if (!element || axis < 0 || axis > 1)
        return 0;
    element->SetDeadZone(axis, low, high);
    return 1;
}

int HbPadController::SetAxisInverted(int32_t stick, int32_t axis, int32_t flag)
{
    HbPadStick* element = GetStick(stick);
    if (!element || axis < 0 || axis > 1)
        return 0;
    element->SetInverted(axis, flag);
    return 1;
}

int HbPadController::SetVibration(int32_t effect, float strength)
{
    HbPadEffect* element = mVibrationEnabled ? GetEffect(effect) : nullptr;
    return element ? element->SetValue(0, strength) : 0;
}

int HbPadController::SetVibration2(int32_t effect, float strength, float duration)
{
    HbPadEffect* element = mVibrationEnabled ? GetEffect(effect) : nullptr;
    if (!element)
        return 0;
    element->SetValue(0, strength);
    element->SetValue(1, duration);
    return 1;
}

void HbPadController::SetVibrationEnabled(int32_t on)
{
    if (on)
    {
        mVibrationEnabled = 1;
        return;
    }
    mVibrationEnabled = 1;
    SetVibration2(3, 0.0f, 0.0f);
    SetVibration2(4, 0.0f, 0.0f);
    mVibrationEnabled = 0;
}
