// Tests of the message queue, dispatching, destruction messages and timers on
// the scripted clock.
#include "win32test_local.h"

namespace
{

using Win32Messages = Win32Fixture;

TEST_F(Win32Messages, PostedMessagesComeFirstThenQuitThenTimers)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    SetTimer(window, 7, 20, nullptr);
    Win32TestQueueAdvance(20);
    PostMessageA(window, WM_USER, 1, 0);
    PostMessageA(window, WM_USER + 1, 2, 0);
    PostQuitMessage(3);

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)); // the clock moves on in this pass
    EXPECT_EQ(m.message, WM_USER);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32Messages, FiltersAndNoRemoveLeaveOtherMessagesQueued)
{
    HWND first = MakeWindow();
    HWND second = MakeWindow();
    PostMessageA(second, WM_USER, 1, 0);
    PostMessageA(first, WM_USER + 5, 2, 0);
    MSG m;

    ASSERT_TRUE(PeekMessageA(&m, first, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 5, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(m.hwnd, first);
    EXPECT_FALSE(PeekMessageA(&m, first, 0, 0, PM_REMOVE));

    // The quit message ends a loop that filters on its window.
    PostQuitMessage(0);
    ASSERT_TRUE(PeekMessageA(&m, first, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, second);
}

TEST_F(Win32Messages, DispatchRunsTheClassProcedureOrTheTimerCallback)
{
    HWND window = MakeWindow();
    sReceived.clear();
    MSG m = {window, WM_USER, 4, 5, 0, {0, 0}};
    DispatchMessageA(&m);
    ASSERT_EQ(sReceived.size(), 1u);
    EXPECT_EQ(sReceived[0].message, WM_USER);
    EXPECT_EQ(sReceived[0].lParam, 5);

    static int callbackRuns;
    callbackRuns = 0;
    SetTimer(window, 2, 10, [](HWND, UINT, UINT_PTR, DWORD) { ++callbackRuns; });
    Win32TestQueueAdvance(10);
    ASSERT_TRUE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
    DispatchMessageA(&m);
    EXPECT_EQ(callbackRuns, 1);
    EXPECT_EQ(sReceived.size(), 1u);

    DestroyWindow(window);
    sReceived.clear();
    m.message = WM_USER;
    EXPECT_EQ(DispatchMessageA(&m), 0);
    EXPECT_TRUE(sReceived.empty());
}

TEST_F(Win32Messages, DestroyWindowSendsDestroyWhileTheWindowStillExists)
{
    HWND window = MakeWindow();
    SetTimer(window, 1, 20, nullptr);
    PostMessageA(window, WM_USER, 0, 0);
    sReceived.clear();

    EXPECT_TRUE(DestroyWindow(window));
    ASSERT_EQ(sReceived.size(), 2u);
    EXPECT_EQ(sReceived[0].message, WM_DESTROY);
    EXPECT_TRUE(sReceived[0].windowAlive);
    EXPECT_EQ(sReceived[1].message, WM_NCDESTROY);
    EXPECT_FALSE(IsWindow(window));

    // Its messages and timers went with it, and a second destruction does nothing.
    Win32TestQueueAdvance(100);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(sReceived.size(), 2u);
}

TEST_F(Win32Messages, CloseThroughTheDefaultProcedureDestroysTheWindow)
{
    HWND window = MakeWindow();
    Win32TestQueueEvent(Win32ScriptEvent::Close);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_CLOSE);
    EXPECT_TRUE(IsWindow(window));
    DispatchMessageA(&m);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(ReceivedOf(WM_DESTROY).size(), 1u);
}

TEST_F(Win32Messages, TimersFireOncePerDuePeriodOnTheScriptClock)
{
    struct Case
    {
        const char* name;
        uint32_t start;
        UINT elapse;
        std::vector<std::pair<uint32_t, bool>> steps; // advance, then whether WM_TIMER comes
    } cases[] = {
        {"due after the period", 0, 20, {{19, false}, {1, true}, {0, false}, {20, true}}},
        {"missed periods are not made up", 0, 20, {{100, true}, {0, false}, {19, false}, {1, true}}},
        {"elapse below 10 ms counts as 10", 0, 1, {{9, false}, {1, true}}},
        {"clock wrapping past 2^32", 0xFFFFFFF0u, 20, {{19, false}, {1, true}, {20, true}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        Win32TestSetClock(c.start);
        HWND window = MakeWindow();
        ASSERT_EQ(SetTimer(window, 1, c.elapse, nullptr), 1u);
        for (auto [advance, expected] : c.steps)
        {
            Win32TestQueueAdvance(advance);
            MSG m;
            bool timer = PeekMessageA(&m, window, 0, 0, PM_REMOVE) && m.message == WM_TIMER;
            EXPECT_EQ(timer, expected) << "at " << Win32TestClock();
        }
    }
}

TEST_F(Win32Messages, KillTimerStopsItAndSetTimerRestartsAnExistingOne)
{
    HWND window = MakeWindow();
    SetTimer(window, 1, 20, nullptr);
    Win32TestSetClock(15);
    SetTimer(window, 1, 20, nullptr); // due at 35 now
    MSG m;
    Win32TestQueueAdvance(5);
    EXPECT_FALSE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
    Win32TestQueueAdvance(15);
    EXPECT_TRUE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));

    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1));
    Win32TestQueueAdvance(100);
    EXPECT_FALSE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
}

} // namespace
