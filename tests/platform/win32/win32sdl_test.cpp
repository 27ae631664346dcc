// The SDL window system on its off-screen driver: a window is made, pumped,
// waited on while inactive and destroyed. Skipped where SDL cannot start.
#include "win32.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

int gDestroys = 0;

LRESULT CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        ++gDestroys;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Win32Sdl, OffscreenWindowLivesThroughTheLoopCalls)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!Win32TestUseBackend("sdl"))
        GTEST_SKIP() << "SDL's off-screen video driver cannot start here";
    EXPECT_FALSE(Win32HasDisplay());

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.lpszClassName = "SdlTestClass";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    RECT rect = {0, 0, 320, 200};
    AdjustWindowRect(&rect, 0xCA0000, FALSE);
    HWND window = CreateWindowExA(0, "SdlTestClass", "sdl test", 0xCA0000, CW_USEDEFAULT, CW_USEDEFAULT,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 200);
    RECT desktop;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desktop));
    EXPECT_GT(desktop.right, 0);
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));

    // Minimised, with a timer running, the queue waits for the timer instead
    // of spinning; a bounded number of calls must bring it.
    ShowWindow(window, SW_MINIMIZE);
    SetTimer(window, 1, 10, nullptr);
    MSG m;
    bool timer = false;
    for (int i = 0; i < 200 && !timer; ++i)
    {
        if (PeekMessageA(&m, window, 0, 0, PM_REMOVE))
        {
            timer = m.message == WM_TIMER;
            DispatchMessageA(&m);
        }
    }
    EXPECT_TRUE(timer);

    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(gDestroys, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
    Win32TestUseScript(); // stops SDL again
}

} // namespace
