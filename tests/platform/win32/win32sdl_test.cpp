// The SDL window system on its off-screen driver: a window is made, pumped,
// waited on while inactive and destroyed. Skipped where SDL cannot start.
#include "win32.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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

namespace
{

[[noreturn]] void SpinForever()
{
    // What shutting the window system down through a dead connection did: it never returned.
    for (;;)
        pause();
}

TEST(Win32Sdl, ALostDisplayEndsTheProcessWithItsMessageAndCodeWithoutTheExitList)
{
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        dup2(out[1], STDERR_FILENO);
        std::atexit(SpinForever);
        Win32TestLoseDisplay();
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    pid_t done = 0;
    for (int tries = 0; tries < 500 && (done = waitpid(child, &status, WNOHANG)) == 0; ++tries)
        usleep(10000);
    if (done == 0)
    {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the process did not end";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kWin32ExitDisplayLost);
    EXPECT_NE(text.find("display connection was lost"), std::string::npos) << text;
}

} // namespace
