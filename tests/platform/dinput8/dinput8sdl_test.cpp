// Our DirectInput 8 layer on SDL: a virtual SDL game controller appears with
// the accepted pad identity, its sticks, triggers and buttons land in the
// joystick state, rumble reaches its motors, unplugging loses the input; SDL
// mouse events become the mouse state. Skipped where SDL cannot start.
#include "dinput8.h"
#include "dinput8test_support.h"
#include "dinput8testhooks.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class Dinput8Sdl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32TestUseScript();
        Win32TestSetPerformanceCounter(0);
        dinput8test::UseSource(dinput8test::Source::Sdl);
        void* object = nullptr;
        if (DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A, &object, nullptr) !=
            DI_OK)
            GTEST_SKIP() << "SDL's game controllers cannot start here";
        mInput = static_cast<IDirectInput8A*>(object);
        if (!Pads().empty())
            GTEST_SKIP() << "a real game controller is attached";
    }

    void TearDown() override
    {
        if (mDevice)
            mDevice->Release();
        if (mInput)
            mInput->Release();
        dinput8test::UseSource(dinput8test::Source::Injected);
        EXPECT_EQ(dinput8test::LiveInterfaces(), 0);
        Win32TestUseRealPerformanceCounter();
    }

    std::vector<DIDEVICEINSTANCEA> Pads()
    {
        std::vector<DIDEVICEINSTANCEA> found;
        mInput->EnumDevices(
            DI8DEVCLASS_GAMECTRL,
            [](LPCDIDEVICEINSTANCEA instance, void* context) -> BOOL
            {
                static_cast<std::vector<DIDEVICEINSTANCEA>*>(context)->push_back(*instance);
                return DIENUM_CONTINUE;
            },
            &found, DIEDFL_ATTACHEDONLY);
        return found;
    }

    IDirectInput8A* mInput = nullptr;
    IDirectInputDevice8A* mDevice = nullptr;
};

TEST_F(Dinput8Sdl, AnSdlControllerIsAnAcceptedPadWithItsSticksTriggersAndButtons)
{
    // Whatever its own identity, the pad is offered as the one the game accepts.
    int handle = dinput8test::AttachSdlPad(0x045E, 0x028E, true);
    ASSERT_GE(handle, 0);
    std::vector<DIDEVICEINSTANCEA> pads = Pads();
    ASSERT_EQ(pads.size(), 1u);
    EXPECT_EQ(pads[0].guidProduct.Data1, 0x06676666u);

    ASSERT_EQ(mInput->CreateDevice(pads[0].guidInstance, &mDevice, nullptr), DI_OK);
    ASSERT_EQ(mDevice->SetDataFormat(&c_dfDIJoystick2), DI_OK);
    ASSERT_EQ(mDevice->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_BACKGROUND), DI_OK);
    ASSERT_EQ(mDevice->Acquire(), DI_OK);

    ASSERT_TRUE(dinput8test::SetSdlPadAxis(handle, "leftx", 32767));
    ASSERT_TRUE(dinput8test::SetSdlPadAxis(handle, "lefty", -32768));
    ASSERT_TRUE(dinput8test::SetSdlPadAxis(handle, "righty", 100));
    // A virtual trigger runs the full range, which SDL maps onto 0..32767: the
    // left one is fully in, the right one a quarter in (not pressed).
    ASSERT_TRUE(dinput8test::SetSdlPadAxis(handle, "lefttrigger", 32767));
    ASSERT_TRUE(dinput8test::SetSdlPadAxis(handle, "righttrigger", -16384));
    const struct
    {
        const char* sdlButton;
        int button;
    } buttons[] = {
        {"y", 0},       {"b", 1},          {"a", 2},          {"x", 3},      {"leftshoulder", 6}, {"rightshoulder", 7},
        {"back", 8},    {"rightstick", 9}, {"leftstick", 10}, {"start", 11}, {"dpup", 12},        {"dpright", 13},
        {"dpdown", 14}, {"dpleft", 15}};
    for (const auto& b : buttons)
    {
        SCOPED_TRACE(b.sdlButton);
        ASSERT_TRUE(dinput8test::SetSdlPadButton(handle, b.sdlButton, true));
        ASSERT_EQ(mDevice->Poll(), DI_OK);
        DIJOYSTATE2 state = {};
        ASSERT_EQ(mDevice->GetDeviceState(sizeof state, &state), DI_OK);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(state.rgbButtons[i], (i == b.button || i == 4) ? 0x80 : 0) << "button " << i;
        EXPECT_EQ(state.lX, 65535);
        EXPECT_EQ(state.lY, 0);
        EXPECT_EQ(state.lZ, 32768);
        EXPECT_EQ(state.lRz, 32868);
        ASSERT_TRUE(dinput8test::SetSdlPadButton(handle, b.sdlButton, false));
    }

    // A force along x drives SDL's low-frequency motor.
    HRESULT created = DI_OK;
    IDirectInputEffect* effect = MakeConstantForce(mDevice, true, DI_FFNOMINALMAX, &created);
    ASSERT_EQ(created, DI_OK);
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->Start(1, 0), DI_OK);
    uint16_t low = 0;
    uint16_t high = 0;
    ASSERT_TRUE(dinput8test::SdlPadRumble(handle, low, high));
    EXPECT_EQ(low, 65535);
    EXPECT_EQ(high, 0);
    effect->Release();
    ASSERT_TRUE(dinput8test::SdlPadRumble(handle, low, high));
    EXPECT_EQ(low, 0);

    dinput8test::DetachSdlPad(handle);
    DIJOYSTATE2 state = {};
    EXPECT_EQ(mDevice->GetDeviceState(sizeof state, &state), DIERR_INPUTLOST);
    EXPECT_EQ(mDevice->Acquire(), DIERR_UNPLUGGED);
    EXPECT_TRUE(Pads().empty());
}

TEST_F(Dinput8Sdl, SdlMouseEventsBecomeMovementWheelAndButtons)
{
    ASSERT_EQ(mInput->CreateDevice(GUID_SysMouse, &mDevice, nullptr), DI_OK);
    ASSERT_EQ(mDevice->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(mDevice->Acquire(), DI_OK);
    ASSERT_TRUE(dinput8test::PushSdlMouseMotion(7, -2));
    ASSERT_TRUE(dinput8test::PushSdlMouseWheel(2, false));
    ASSERT_TRUE(dinput8test::PushSdlMouseWheel(1, true)); // natural scrolling: the other way
    ASSERT_TRUE(dinput8test::PushSdlMouseButton(3, true));
    DIMOUSESTATE state = {};
    ASSERT_EQ(mDevice->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 7);
    EXPECT_EQ(state.lY, -2);
    EXPECT_EQ(state.lZ, 120);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    EXPECT_EQ(state.rgbButtons[0], 0);
}

} // namespace
