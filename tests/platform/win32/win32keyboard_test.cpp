// The key state and event objects of our Win32 layer: key events from the
// scripted and the SDL window systems become one byte per virtual-key code.
#include "win32.h"
#include "win32keyboard.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

namespace
{

using KeyState = std::array<BYTE, 256>;

KeyState ReadState()
{
    KeyState state{};
    EXPECT_TRUE(GetKeyboardState(state.data()));
    return state;
}

bool Down(const KeyState& state, int key)
{
    return (state[key] & 0x80) != 0;
}

class Win32Keyboard : public ::testing::Test
{
protected:
    void SetUp() override { Win32TestUseScript(); }
    void TearDown() override { Win32TestUseScript(); }
};

TEST_F(Win32Keyboard, KeysReadDownUntilReleasedAndModifiersMoveTheirGenericCode)
{
    Win32TestKeyEvent('A', true);
    Win32TestKeyEvent(VK_LSHIFT, true);
    Win32TestKeyEvent(VK_RSHIFT, true);
    Win32TestKeyEvent(VK_LBUTTON, true);
    KeyState state = ReadState();
    EXPECT_TRUE(Down(state, 'A'));
    EXPECT_TRUE(Down(state, VK_LSHIFT));
    EXPECT_TRUE(Down(state, VK_SHIFT));
    EXPECT_TRUE(Down(state, VK_LBUTTON));
    EXPECT_FALSE(Down(state, 'B'));

    // The generic shift stays down while the other side is held.
    Win32TestKeyEvent(VK_LSHIFT, false);
    state = ReadState();
    EXPECT_FALSE(Down(state, VK_LSHIFT));
    EXPECT_TRUE(Down(state, VK_SHIFT));
    Win32TestKeyEvent(VK_RSHIFT, false);
    Win32TestKeyEvent('A', false);
    state = ReadState();
    EXPECT_FALSE(Down(state, VK_SHIFT));
    EXPECT_FALSE(Down(state, 'A'));
    EXPECT_TRUE(Down(state, VK_LBUTTON));

    // Starting the window system again forgets every key.
    Win32TestUseScript();
    EXPECT_FALSE(Down(ReadState(), VK_LBUTTON));
}

TEST_F(Win32Keyboard, ATapBetweenTwoReadsIsSeenOnceAndEveryPressFlipsTheToggleBit)
{
    Win32TestKeyEvent(VK_SPACE, true);
    Win32TestKeyEvent(VK_SPACE, false);
    KeyState first = ReadState();
    EXPECT_TRUE(Down(first, VK_SPACE));
    EXPECT_EQ(first[VK_SPACE] & 1, 1);
    KeyState second = ReadState();
    EXPECT_FALSE(Down(second, VK_SPACE));
    EXPECT_EQ(second[VK_SPACE] & 1, 1);

    // A repeated down is not a new press.
    Win32TestKeyEvent(VK_SPACE, true);
    Win32TestKeyEvent(VK_SPACE, true);
    EXPECT_EQ(ReadState()[VK_SPACE], 0x80);
}

TEST_F(Win32Keyboard, FailsForANullBufferAndWhenTheFaultIsSet)
{
    EXPECT_FALSE(GetKeyboardState(nullptr));
    Win32TestSetFault(Win32Fault::KeyboardState, true);
    KeyState state{};
    EXPECT_FALSE(GetKeyboardState(state.data()));
}

TEST(Win32Event, EventsAreSignalledResetAndClosedOnce)
{
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "named"), nullptr);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(Win32TestEventState(event), 0);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(Win32TestEventState(event), 1);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(Win32TestEventState(event), 0);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(Win32TestEventState(event), -1);
}

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
}

TEST_F(Win32Keyboard, SdlKeysBecomeVirtualKeysLettersByLayoutOtherKeysByPosition)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!Win32TestUseBackend("sdl"))
        GTEST_SKIP() << "SDL's off-screen video driver cannot start here";
    const struct
    {
        const char* position;
        const char* symbol;
        int virtualKey;
    } cases[] = {
        {"Q", "A", 'A'}, // the 'A' key of a French layout
        {"1", "&", '1'}, // whose digit row types symbols
        {";", "M", 'M'},
        {"F12", "F12", VK_F1 + 11},
        {"Keypad 7", "Keypad 7", VK_NUMPAD0 + 7},
        {"PageUp", "PageUp", VK_PRIOR},
        {"Right Ctrl", "Right Ctrl", VK_RCONTROL},
        {"Return", "Return", VK_RETURN},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.position);
        ASSERT_TRUE(Win32TestPushSdlKey(c.position, c.symbol, true, false));
        Pump();
        EXPECT_TRUE(Down(ReadState(), c.virtualKey));
        ASSERT_TRUE(Win32TestPushSdlKey(c.position, c.symbol, false, false));
        Pump();
        EXPECT_FALSE(Down(ReadState(), c.virtualKey));
    }
    EXPECT_FALSE(Down(ReadState(), VK_CONTROL));

    // A repeat of a key already up is not a press.
    ASSERT_TRUE(Win32TestPushSdlKey("Space", "Space", true, true));
    Pump();
    EXPECT_FALSE(Down(ReadState(), VK_SPACE));

    ASSERT_TRUE(Win32TestPushSdlMouseButton(3, true));
    ASSERT_TRUE(Win32TestPushSdlMouseButton(2, true));
    Pump();
    KeyState state = ReadState();
    EXPECT_TRUE(Down(state, VK_RBUTTON));
    EXPECT_TRUE(Down(state, VK_MBUTTON));
    EXPECT_FALSE(Down(state, VK_LBUTTON));
}

} // namespace
