// The key state of our Win32 layer: what the window system reports as key and
// mouse-button events becomes one byte per virtual-key code.
#include "win32keyboard.h"
#include "win32_local.h"

#include <cstring>

namespace
{
bool gDown[256];
// Pressed since the last GetKeyboardState: a tap between two frames is still seen.
bool gPressedSinceRead[256];
BYTE gToggle[256];

// The generic code of a left or right modifier, or 0.
BYTE GenericOf(BYTE key)
{
    switch (key)
    {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return 0;
    }
}

void SetKey(BYTE key, bool down)
{
    if (down && !gDown[key])
    {
        gPressedSinceRead[key] = true;
        gToggle[key] ^= 1;
    }
    gDown[key] = down;
}
} // namespace

void Win32NotifyKey(uint8_t virtualKey, bool down)
{
    if (virtualKey == 0)
        return;
    SetKey(virtualKey, down);
    if (BYTE generic = GenericOf(virtualKey))
    {
        // The generic code stays down while either side is.
        BYTE left = generic == VK_SHIFT ? VK_LSHIFT : generic == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
        SetKey(generic, gDown[left] || gDown[left + 1]);
    }
}

void Win32ResetKeyboard()
{
    std::memset(gDown, 0, sizeof gDown);
    std::memset(gPressedSinceRead, 0, sizeof gPressedSinceRead);
    std::memset(gToggle, 0, sizeof gToggle);
}

BOOL GetKeyboardState(PBYTE keyState)
{
    if (!keyState || Win32FaultSet(Win32Fault::KeyboardState))
        return FALSE;
    // The window system's events are turned into key changes when messages are
    // pumped; the state is read between two pumps, as the platform's is.
    for (int key = 0; key < 256; ++key)
    {
        keyState[key] = static_cast<BYTE>(((gDown[key] || gPressedSinceRead[key]) ? 0x80 : 0) | gToggle[key]);
        gPressedSinceRead[key] = false;
    }
    return TRUE;
}

void Win32TestKeyEvent(uint8_t virtualKey, bool down)
{
    Win32NotifyKey(virtualKey, down);
}
