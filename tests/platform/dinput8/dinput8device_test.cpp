// Our DirectInput 8 layer on its injected source: creation, enumeration with
// product identities, pad and mouse states, loss and re-acquisition, the
// foreground rule, buffered mouse data, and effects driving the motors.
#include "dinput8.h"
#include "dinput8test_support.h"
#include "dinput8testhooks.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

using dinput8test::RumbleCall;

constexpr int64_t kTicksPerMs = 10000;

class Dinput8Fixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32TestUseScript();
        Win32TestSetPerformanceCounter(0);
        dinput8test::UseSource(dinput8test::Source::Injected);
    }

    void TearDown() override
    {
        for (IUnknownDI* object : mHeld)
            object->Release();
        mHeld.clear();
        EXPECT_EQ(dinput8test::LiveInterfaces(), 0);
        Win32TestUseRealPerformanceCounter();
    }

    template <class T> T* Hold(T* object)
    {
        mHeld.insert(mHeld.begin(), object);
        return object;
    }

    IDirectInput8A* MakeInput()
    {
        void* object = nullptr;
        EXPECT_EQ(
            DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A, &object, nullptr),
            DI_OK);
        return Hold(static_cast<IDirectInput8A*>(object));
    }

    /// The instance identifiers of the attached game controllers, in order.
    static std::vector<DIDEVICEINSTANCEA> Enumerate(IDirectInput8A* input)
    {
        std::vector<DIDEVICEINSTANCEA> found;
        input->EnumDevices(
            DI8DEVCLASS_GAMECTRL,
            [](LPCDIDEVICEINSTANCEA instance, void* context) -> BOOL
            {
                static_cast<std::vector<DIDEVICEINSTANCEA>*>(context)->push_back(*instance);
                return DIENUM_CONTINUE;
            },
            &found, DIEDFL_ATTACHEDONLY);
        return found;
    }

    /// The pad's device, in the joystick format at the given level, acquired.
    IDirectInputDevice8A* OpenPad(IDirectInput8A* input, const GUID& instance,
                                  DWORD level = DISCL_EXCLUSIVE | DISCL_BACKGROUND)
    {
        IDirectInputDevice8A* device = nullptr;
        EXPECT_EQ(input->CreateDevice(instance, &device, nullptr), DI_OK);
        if (!device)
            return nullptr;
        Hold(device);
        EXPECT_EQ(device->SetDataFormat(&c_dfDIJoystick2), DI_OK);
        EXPECT_EQ(device->SetCooperativeLevel(nullptr, level), DI_OK);
        EXPECT_EQ(device->Acquire(), DI_OK);
        return device;
    }

    IDirectInputDevice8A* OpenFirstPad(IDirectInput8A* input)
    {
        std::vector<DIDEVICEINSTANCEA> pads = Enumerate(input);
        EXPECT_FALSE(pads.empty());
        return pads.empty() ? nullptr : OpenPad(input, pads[0].guidInstance);
    }

    static IDirectInputEffect* MakeForce(IDirectInputDevice8A* device, bool alongX, LONG magnitude,
                                         HRESULT expected = DI_OK)
    {
        HRESULT result = DI_OK;
        IDirectInputEffect* out = MakeConstantForce(device, alongX, magnitude, &result);
        EXPECT_EQ(result, expected);
        return out;
    }

    static HRESULT Read(IDirectInputDevice8A* device, DIJOYSTATE2& state)
    {
        return device->GetDeviceState(sizeof state, &state);
    }

    std::vector<IUnknownDI*> mHeld;
};

// ---- Object ------------------------------------------------------------------------------

TEST_F(Dinput8Fixture, CreationChecksInstanceVersionInterfaceAndTheInjectedFault)
{
    const GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    const struct
    {
        HINSTANCE instance;
        DWORD version;
        const GUID* interfaceId;
        HRESULT expected;
    } cases[] = {
        {nullptr, 0x0800, &IID_IDirectInput8A, DIERR_INVALIDPARAM},
        {GetModuleHandleA(nullptr), 0x0700, &IID_IDirectInput8A, DIERR_OLDDIRECTINPUTVERSION},
        {GetModuleHandleA(nullptr), 0x0900, &IID_IDirectInput8A, DIERR_BETADIRECTINPUTVERSION},
        {GetModuleHandleA(nullptr), 0x0800, &other, DIERR_NOINTERFACE},
    };
    for (const auto& c : cases)
    {
        void* object = &mHeld; // any non-null value: it must come back null
        EXPECT_EQ(DirectInput8Create(c.instance, c.version, *c.interfaceId, &object, nullptr), c.expected);
        EXPECT_EQ(object, nullptr);
    }
    dinput8test::SetFault(dinput8test::Fault::Create, true);
    void* object = nullptr;
    EXPECT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A, &object, nullptr),
              DIERR_GENERIC);
    EXPECT_EQ(dinput8test::LiveInterfaces(), 0);
}

TEST_F(Dinput8Fixture, GameControllersAreListedInOrderWithTheirProductIdentity)
{
    uint32_t first = dinput8test::AttachPad();
    dinput8test::PadDesc other;
    other.vendor = 0x045E;
    other.product = 0x028E;
    other.name = "Other pad";
    dinput8test::AttachPad(other);
    uint32_t gone = dinput8test::AttachPad();
    dinput8test::DetachPad(gone);
    IDirectInput8A* input = MakeInput();

    std::vector<DIDEVICEINSTANCEA> pads = Enumerate(input);
    ASSERT_EQ(pads.size(), 2u);
    const uint8_t tail[8] = {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'};
    EXPECT_EQ(pads[0].guidProduct.Data1, 0x06676666u); // product 0x0667 of vendor 0x6666
    EXPECT_EQ(pads[1].guidProduct.Data1, 0x028E045Eu);
    for (const DIDEVICEINSTANCEA& pad : pads)
    {
        EXPECT_EQ(pad.guidProduct.Data2, 0);
        EXPECT_EQ(pad.guidProduct.Data3, 0);
        EXPECT_EQ(std::memcmp(pad.guidProduct.Data4, tail, 8), 0);
    }
    EXPECT_STREQ(pads[1].tszProductName, "Other pad");

    // A callback answering stop ends the walk.
    int calls = 0;
    input->EnumDevices(
        DI8DEVCLASS_GAMECTRL,
        [](LPCDIDEVICEINSTANCEA, void* context) -> BOOL
        {
            ++*static_cast<int*>(context);
            return DIENUM_STOP;
        },
        &calls, DIEDFL_ATTACHEDONLY);
    EXPECT_EQ(calls, 1);

    IDirectInputDevice8A* device = nullptr;
    EXPECT_EQ(input->CreateDevice(pads[0].guidInstance, &device, nullptr), DI_OK);
    Hold(device);
    const GUID unknown = {0x12345678, 0, 0, {}};
    EXPECT_EQ(input->CreateDevice(unknown, &device, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(input->GetDeviceStatus(pads[0].guidInstance), DI_OK);
    dinput8test::DetachPad(first);
    EXPECT_EQ(input->CreateDevice(pads[0].guidInstance, &device, nullptr), DIERR_UNPLUGGED);
    EXPECT_EQ(input->GetDeviceStatus(pads[0].guidInstance), DI_NOEFFECT);
}

// ---- Pads --------------------------------------------------------------------------------

TEST_F(Dinput8Fixture, PadStateCarriesTheAxesTheSixteenButtonsAndCentredHats)
{
    uint32_t pad = dinput8test::AttachPad();
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* device = OpenFirstPad(input);
    ASSERT_NE(device, nullptr);
    dinput8test::SetPadAxes(pad, 0, 65535, 1000, 40000);
    dinput8test::SetPadButton(pad, 0, true);
    dinput8test::SetPadButton(pad, 15, true);
    dinput8test::SetPadButton(pad, 16, true); // no such button: ignored

    EXPECT_EQ(device->Poll(), DI_OK);
    DIJOYSTATE2 state;
    std::memset(&state, 0xCD, sizeof state);
    ASSERT_EQ(Read(device, state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.lY, 65535);
    EXPECT_EQ(state.lZ, 1000);
    EXPECT_EQ(state.lRz, 40000);
    EXPECT_EQ(state.lRx, 0);
    EXPECT_EQ(state.rgbButtons[0], 0x80);
    EXPECT_EQ(state.rgbButtons[15], 0x80);
    EXPECT_EQ(state.rgbButtons[1], 0);
    EXPECT_EQ(state.rgbButtons[16], 0);
    EXPECT_EQ(state.rgdwPOV[0], 0xFFFFFFFFu);

    DIDEVCAPS caps = {};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(device->GetCapabilities(&caps), DI_OK);
    EXPECT_EQ(caps.dwFlags & (DIDC_ATTACHED | DIDC_FORCEFEEDBACK), DIDC_ATTACHED | DIDC_FORCEFEEDBACK);
    EXPECT_EQ(caps.dwButtons, 16u);

    // Formats and levels are set while not acquired, and the state's size must match.
    EXPECT_EQ(device->SetDataFormat(&c_dfDIJoystick2), DIERR_ACQUIRED);
    EXPECT_EQ(device->GetDeviceState(16, &state), DIERR_INVALIDPARAM);
    EXPECT_EQ(device->Unacquire(), DI_OK);
    EXPECT_EQ(Read(device, state), DIERR_NOTACQUIRED);
    EXPECT_EQ(device->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
    EXPECT_EQ(device->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DIERR_INVALIDPARAM);
}

TEST_F(Dinput8Fixture, LostInputIsReportedOnceAndAnUnpluggedPadCanComeBack)
{
    uint32_t pad = dinput8test::AttachPad();
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* device = OpenFirstPad(input);
    ASSERT_NE(device, nullptr);
    DIJOYSTATE2 state;

    dinput8test::LosePad(pad);
    EXPECT_EQ(device->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(Read(device, state), DIERR_INPUTLOST);
    EXPECT_EQ(Read(device, state), DIERR_NOTACQUIRED);
    EXPECT_EQ(device->Acquire(), DI_OK);
    EXPECT_EQ(device->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(Read(device, state), DI_OK);

    dinput8test::DetachPad(pad);
    EXPECT_EQ(Read(device, state), DIERR_INPUTLOST);
    EXPECT_EQ(device->Acquire(), DIERR_UNPLUGGED);
    dinput8test::ReattachPad(pad);
    dinput8test::SetPadButton(pad, 3, true);
    EXPECT_EQ(device->Acquire(), DI_OK);
    ASSERT_EQ(Read(device, state), DI_OK);
    EXPECT_EQ(state.rgbButtons[3], 0x80);
}

LRESULT PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Dinput8Fixture, AForegroundDeviceReadsOnlyWhileItsWindowHasTheFocus)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlainProc;
    windowClass.lpszClassName = "Dinput8Test";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window =
        CreateWindowExA(0, "Dinput8Test", "t", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    dinput8test::AttachPad();
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* device = nullptr;
    ASSERT_EQ(input->CreateDevice(Enumerate(input)[0].guidInstance, &device, nullptr), DI_OK);
    Hold(device);
    ASSERT_EQ(device->SetDataFormat(&c_dfDIJoystick2), DI_OK);
    ASSERT_EQ(device->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);

    SetFocus(nullptr);
    EXPECT_EQ(device->Acquire(), DIERR_OTHERAPPHASPRIO);
    SetFocus(window);
    EXPECT_EQ(device->Acquire(), DI_OK);
    DIJOYSTATE2 state;
    EXPECT_EQ(Read(device, state), DI_OK);
    SetFocus(nullptr);
    EXPECT_EQ(Read(device, state), DIERR_INPUTLOST);
}

// ---- Mouse -------------------------------------------------------------------------------

TEST_F(Dinput8Fixture, MouseGivesMovementSinceTheLastReadAndSignalsItsEvent)
{
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* mouse = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    Hold(mouse);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(mouse->SetCooperativeLevel(nullptr, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE), DI_OK);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(mouse->SetEventNotification(event), DI_OK);

    dinput8test::MouseMotion(50, 50); // before acquisition: not counted
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_EQ(Win32TestEventState(event), 0);
    dinput8test::MouseMotion(3, -4);
    dinput8test::MouseMotion(2, 0);
    dinput8test::MouseWheel(-1);
    dinput8test::MouseButton(1, true);
    EXPECT_EQ(Win32TestEventState(event), 1);

    DIMOUSESTATE state = {};
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 5);
    EXPECT_EQ(state.lY, -4);
    EXPECT_EQ(state.lZ, -120);
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.lZ, 0);

    EXPECT_EQ(mouse->Unacquire(), DI_OK);
    EXPECT_EQ(mouse->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
    CloseHandle(event);
}

TEST_F(Dinput8Fixture, BufferedMouseDataKeepsTheNewestChangesAndReportsTheOverflow)
{
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* mouse = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    Hold(mouse);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    DIDEVICEOBJECTDATA data[8] = {};
    DWORD count = 8;
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, 0), DIERR_NOTBUFFERED);
    mouse->Unacquire();
    DIPROPDWORD size = {};
    size.diph.dwSize = sizeof size;
    size.diph.dwHeaderSize = sizeof size.diph;
    size.diph.dwHow = DIPH_DEVICE;
    size.dwData = 4;
    ASSERT_EQ(mouse->SetProperty(DIPROP_BUFFERSIZE, &size.diph), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);

    dinput8test::MouseMotion(1, 0);
    dinput8test::MouseMotion(2, 0);
    EXPECT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, DIGDD_PEEK), DI_OK);
    EXPECT_EQ(count, 2u);
    dinput8test::MouseMotion(3, 0);
    dinput8test::MouseMotion(4, 5); // two changes: x and y
    dinput8test::MouseButton(0, true);
    count = 8;
    EXPECT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, 0), DI_BUFFEROVERFLOW);
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(data[0].dwOfs, DIMOFS_X);
    EXPECT_EQ(data[0].dwData, 3u);
    EXPECT_EQ(data[2].dwOfs, DIMOFS_Y);
    EXPECT_EQ(data[2].dwData, 5u);
    EXPECT_EQ(data[3].dwOfs, DIMOFS_BUTTON0);
    EXPECT_EQ(data[3].dwData, 0x80u);
    EXPECT_LT(data[0].dwSequence, data[3].dwSequence);
    count = 8;
    EXPECT_EQ(mouse->GetDeviceData(sizeof data[0], data, &count, 0), DI_OK);
    EXPECT_EQ(count, 0u);
}

// ---- Force feedback ----------------------------------------------------------------------

TEST_F(Dinput8Fixture, ConstantForcesDriveTheMotorsByDirectionForTheirDuration)
{
    uint32_t pad = dinput8test::AttachPad();
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* device = OpenFirstPad(input);
    ASSERT_NE(device, nullptr);
    IDirectInputEffect* strong = Hold(MakeForce(device, true, 5000));
    IDirectInputEffect* light = Hold(MakeForce(device, false, 10000));
    ASSERT_NE(strong, nullptr);
    ASSERT_NE(light, nullptr);
    EXPECT_TRUE(dinput8test::RumbleLog().empty()); // made, not started

    ASSERT_EQ(strong->Start(1, 0), DI_OK);
    DIEFFECT duration = {};
    duration.dwSize = sizeof duration;
    duration.dwDuration = 250000; // microseconds
    ASSERT_EQ(strong->SetParameters(&duration, DIEP_DURATION), DI_OK);
    ASSERT_EQ(light->Start(1, 0), DI_OK);
    std::vector<RumbleCall> expected = {
        {pad, 32768, 0, 1000}, // untimed: held for a second, renewed while it plays
        {pad, 32768, 0, 250},
        {pad, 32768, 65535, 250},
    };
    EXPECT_EQ(dinput8test::RumbleLog(), expected);

    Win32TestAdvancePerformanceCounter(250 * kTicksPerMs);
    EXPECT_EQ(device->Poll(), DI_OK);
    expected.push_back({pad, 0, 65535, 1000});
    EXPECT_EQ(dinput8test::RumbleLog(), expected);

    Win32TestAdvancePerformanceCounter(800 * kTicksPerMs);
    device->Poll();
    expected.push_back({pad, 0, 65535, 1000});
    EXPECT_EQ(dinput8test::RumbleLog(), expected);

    // Unacquiring stops every effect of the device.
    device->Unacquire();
    expected.push_back({pad, 0, 0, 0});
    EXPECT_EQ(dinput8test::RumbleLog(), expected);
    EXPECT_EQ(light->Start(1, 0), DIERR_NOTEXCLUSIVEACQUIRED);
}

TEST_F(Dinput8Fixture, EscapesNeedAnExclusiveDeviceAndEffectsNeedForceFeedback)
{
    uint32_t pad = dinput8test::AttachPad();
    dinput8test::PadDesc plain;
    plain.forceFeedback = false;
    dinput8test::AttachPad(plain);
    IDirectInput8A* input = MakeInput();
    std::vector<DIDEVICEINSTANCEA> pads = Enumerate(input);
    ASSERT_EQ(pads.size(), 2u);

    IDirectInputDevice8A* shared = OpenPad(input, pads[0].guidInstance, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    uint32_t input32 = 1;
    DIEFFESCAPE escape = {};
    escape.dwSize = sizeof escape;
    escape.dwCommand = 0x7834BB08;
    escape.lpvInBuffer = &input32;
    escape.cbInBuffer = sizeof input32;
    EXPECT_EQ(shared->Escape(&escape), DIERR_NOTEXCLUSIVEACQUIRED);
    IDirectInputDevice8A* exclusive = OpenPad(input, pads[0].guidInstance);
    EXPECT_EQ(exclusive->Escape(&escape), DI_OK);
    ASSERT_EQ(dinput8test::EscapeLog().size(), 1u);
    EXPECT_EQ(dinput8test::EscapeLog()[0].pad, pad);
    EXPECT_EQ(dinput8test::EscapeLog()[0].command, 0x7834BB08u);
    EXPECT_EQ(dinput8test::EscapeLog()[0].input, (std::vector<uint8_t>{1, 0, 0, 0}));

    IDirectInputDevice8A* noForce = OpenPad(input, pads[1].guidInstance);
    EXPECT_EQ(MakeForce(noForce, true, 100, DIERR_UNSUPPORTED), nullptr);
    EXPECT_EQ(noForce->Escape(&escape), DIERR_UNSUPPORTED);
}

TEST_F(Dinput8Fixture, MalformedEffectParametersAreRefused)
{
    dinput8test::AttachPad();
    IDirectInput8A* input = MakeInput();
    IDirectInputDevice8A* device = OpenFirstPad(input);
    ASSERT_NE(device, nullptr);
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    DWORD badAxes[2] = {DIJOFS_X, DIJOFS_RZ};
    LONG direction[2] = {1, 0};
    DICONSTANTFORCE force = {1000};
    auto good = [&]
    {
        DIEFFECT effect = {};
        effect.dwSize = sizeof effect;
        effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
        effect.dwGain = DI_FFNOMINALMAX;
        effect.cAxes = 2;
        effect.rgdwAxes = axes;
        effect.rglDirection = direction;
        effect.cbTypeSpecificParams = sizeof force;
        effect.lpvTypeSpecificParams = &force;
        return effect;
    };
    const struct
    {
        const char* what;
        void (*spoil)(DIEFFECT&, DWORD*);
        HRESULT expected;
    } cases[] = {
        {"56-byte record of 32-bit pointers", [](DIEFFECT& e, DWORD*) { e.dwSize = 56; }, DIERR_INVALIDPARAM},
        {"three axes", [](DIEFFECT& e, DWORD*) { e.cAxes = 3; }, DIERR_INVALIDPARAM},
        {"axis that is not x or y", [](DIEFFECT& e, DWORD* bad) { e.rgdwAxes = bad; }, DIERR_INVALIDPARAM},
        {"polar directions", [](DIEFFECT& e, DWORD*) { e.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS; },
         DIERR_UNSUPPORTED},
        {"gain above nominal", [](DIEFFECT& e, DWORD*) { e.dwGain = 10001; }, DIERR_INVALIDPARAM},
        {"no force record", [](DIEFFECT& e, DWORD*) { e.lpvTypeSpecificParams = nullptr; }, DIERR_INVALIDPARAM},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        DIEFFECT effect = good();
        c.spoil(effect, badAxes);
        IDirectInputEffect* out = nullptr;
        EXPECT_EQ(device->CreateEffect(GUID_ConstantForce, &effect, &out, nullptr), c.expected);
        EXPECT_EQ(out, nullptr);
    }
    DIEFFECT effect = good();
    IDirectInputEffect* out = nullptr;
    const GUID sine = {0x13541C23, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
    EXPECT_EQ(device->CreateEffect(sine, &effect, &out, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(sizeof(DIEFFECT), 80u); // the platform's 56 bytes with 64-bit pointers
}

} // namespace
