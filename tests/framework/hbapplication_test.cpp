// Tests of the application shell: hook order, the message loop, activation,
// the inactive timer, shut-down and the exit code, over the scripted window system.
#include "hbapplication.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Log = std::vector<std::string>;

// Records its hooks in the layer's call log, so hooks and calls share one order.
class RecordingApp : public HbApplication
{
public:
    bool fullScreen = false;
    bool quitInInit = false;
    bool postInInit = false; ///< Init posts postMessage with wParam 5
    UINT postMessage = WM_USER;
    int quitAtTick = 0;     ///< that tick sets the quit flag
    int postQuitAtTick = 0; ///< that tick posts WM_QUIT with code 7 (flag left clear)
    int ticks = 0;
    int shutdowns = 0;
    HbWindowState atPreWindowInit;
    HbWindowState atInit;

    int32_t PreWindowInit() override
    {
        Win32TestLogNote("PreWindowInit");
        atPreWindowInit = WindowState();
        return 0;
    }
    int32_t Configure() override
    {
        Win32TestLogNote("Configure");
        HbWindowState& state = WindowState();
        state.requestedWidth = 640;
        state.requestedHeight = 480;
        state.style = HbWindowState::kDefaultStyle;
        if (fullScreen)
            state.flags |= HbWindowState::kFullScreen;
        return 0;
    }
    int32_t Init() override
    {
        Win32TestLogNote("Init");
        atInit = WindowState();
        if (quitInInit)
            WindowState().flags |= HbWindowState::kQuit;
        if (postInInit)
            PostMessageA(WindowState().window, postMessage, 5, 0);
        return 0;
    }
    int32_t Tick() override
    {
        Win32TestLogNote(WindowState().active ? "Tick" : "Tick(inactive)");
        ++ticks;
        if (ticks == quitAtTick)
            WindowState().flags |= HbWindowState::kQuit;
        if (ticks == postQuitAtTick)
            PostQuitMessage(7);
        return 0;
    }
    int32_t Shutdown() override
    {
        Win32TestLogNote("Shutdown");
        ++shutdowns;
        return 0;
    }
};

class HbApplicationShell : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // One application object at a time: the old one goes before the new one is made.
        mApp.reset();
        mApp = std::make_unique<RecordingApp>();
        Win32TestUseScript();
        // The check list lives for the whole process: start every test empty.
        if (HbPtrList* checks = ApplicationStartupChecks())
            checks->RemoveAll();
    }

    int Run(HINSTANCE previous = nullptr)
    {
        return ApplicationMain(GetModuleHandleA(nullptr), previous, mCommandLine, SW_SHOWDEFAULT);
    }

    /// The log between the first line equal to from and the first later line
    /// equal to to (or the end).
    static Log Between(const std::string& from, const std::string& to)
    {
        const Log& log = Win32TestCallLog();
        auto begin = std::find(log.begin(), log.end(), from);
        if (begin == log.end())
            return {};
        ++begin;
        return Log(begin, std::find(begin, log.end(), to));
    }

    char mCommandLine[16] = "-level 3";
    std::unique_ptr<RecordingApp> mApp;
};

TEST_F(HbApplicationShell, RunsHooksAroundTheWindowThenTicksUntilClosed)
{
    Win32TestSetDesktopSize(1280, 1024);
    Win32TestQueueIdle(2);
    Win32TestQueueEvent(Win32ScriptEvent::Close);
    Win32TestQueueIdle(5); // never reached: the close ends the loop

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Win32TestCallLog(),
              (Log{"RegisterClassA(HalbrandAppClass)", "PreWindowInit", "Configure", "CreateWindowExA(Velmoran)",
                   "SystemParametersInfoA(17,0)", "ShowWindow(10)", "UpdateWindow", "Init", "Tick", "Tick",
                   "DestroyWindow", // WM_CLOSE through the default procedure
                   "Shutdown", "PostQuitMessage(0)", "SystemParametersInfoA(17,1)", "DestroyWindow"}));
    EXPECT_EQ(mApp->shutdowns, 1);
    EXPECT_EQ(Win32TestPendingSteps(), 5);

    EXPECT_EQ(mApp->atPreWindowInit.window, nullptr);
    EXPECT_EQ(mApp->atPreWindowInit.instance, nullptr);
    const HbWindowState& s = mApp->atInit;
    EXPECT_NE(s.window, nullptr);
    EXPECT_EQ(s.instance, GetModuleHandleA(nullptr));
    EXPECT_STREQ(s.commandLine, "-level 3");
    EXPECT_EQ(s.clientWidth, 640);
    EXPECT_EQ(s.clientHeight, 480);
    EXPECT_EQ(s.desktop.right, 1280);
    EXPECT_EQ(s.desktop.bottom, 1024);
    EXPECT_EQ(mApp->Enabled(), 1);
    EXPECT_FALSE(IsWindow(s.window));
}

TEST_F(HbApplicationShell, WhileInactiveOnlyTheTwentyMillisecondTimerTicks)
{
    Win32TestQueueIdle(1);
    Win32TestQueueEvent(Win32ScriptEvent::Deactivate);
    Win32TestQueueIdle(3);
    Win32TestQueueAdvance(20);
    Win32TestQueueAdvance(10);
    Win32TestQueueAdvance(10);
    Win32TestQueueEvent(Win32ScriptEvent::Activate);
    Win32TestQueueAdvance(40); // active again: an idle tick, no timer message
    Win32TestQueueEvent(Win32ScriptEvent::Close);

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Between("Init", "DestroyWindow"),
              (Log{"Tick", "SetTimer(1,20)", "Tick(inactive)", "Tick(inactive)", "KillTimer(1)", "Tick", "Tick"}));
}

TEST_F(HbApplicationShell, ActivationChangesTheDisplayModeOnlyInFullScreen)
{
    using E = Win32ScriptEvent;
    struct Case
    {
        const char* name;
        bool fullScreen;
        std::vector<E> events;
        Log expected; // between Init and the close
    } cases[] = {
        {"full screen: deactivation minimises and restores the desktop, reactivation shows the window",
         true,
         {E::Deactivate, E::Activate},
         {"CloseWindow", "ChangeDisplaySettingsA(null,4)", "SetTimer(1,20)", "ChangeDisplaySettingsA(record,4)",
          "ShowWindow(5)", "SetForegroundWindow", "SetFocus", "KillTimer(1)", "Tick"}},
        {"full screen: a click activation acts as an activation",
         true,
         {E::Deactivate, E::ClickActivate},
         {"CloseWindow", "ChangeDisplaySettingsA(null,4)", "SetTimer(1,20)", "ChangeDisplaySettingsA(record,4)",
          "ShowWindow(5)", "SetForegroundWindow", "SetFocus", "KillTimer(1)", "Tick"}},
        {"full screen: deactivating an already minimised window does not minimise it again",
         true,
         {E::Minimise},
         {"ChangeDisplaySettingsA(null,4)", "SetTimer(1,20)"}},
        {"full screen: restoring from the window system is not minimised, so nothing is shown",
         true,
         {E::Minimise, E::Restore},
         {"ChangeDisplaySettingsA(null,4)", "SetTimer(1,20)", "ChangeDisplaySettingsA(record,4)", "KillTimer(1)",
          "Tick"}},
        {"full screen: activation while active changes no mode", true, {E::Activate}, {"KillTimer(1)", "Tick"}},
        {"full screen: click activation while active changes no mode",
         true,
         {E::ClickActivate},
         {"KillTimer(1)", "Tick"}},
        {"windowed: only the timer follows the activation",
         false,
         {E::Deactivate, E::Minimise, E::Activate},
         {"SetTimer(1,20)", "KillTimer(1)", "Tick"}},
        {"windowed: minimise and restore",
         false,
         {E::Minimise, E::Restore},
         {"SetTimer(1,20)", "KillTimer(1)", "Tick"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        mApp->fullScreen = c.fullScreen;
        for (E event : c.events)
            Win32TestQueueEvent(event);
        Win32TestQueueEvent(E::Close);
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(Between("Init", "DestroyWindow"), c.expected);
        if (!c.fullScreen)
        {
            EXPECT_EQ(Win32TestCountCalls("ChangeDisplaySettingsA"), 0);
        }
    }
}

TEST_F(HbApplicationShell, QuitInInitSkipsTheLoopButTheFinalDestroyRunsShutdown)
{
    mApp->quitInInit = true;
    Win32TestQueueIdle(3);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Between("Init", ""),
              (Log{"SystemParametersInfoA(17,1)", "DestroyWindow", "Shutdown", "PostQuitMessage(0)"}));
    EXPECT_EQ(Win32TestPendingSteps(), 3); // the loop never looked for a message
    EXPECT_EQ(mApp->ticks, 0);
    EXPECT_EQ(mApp->shutdowns, 1);
}

TEST_F(HbApplicationShell, FailuresBeforeTheLoopEndWithZero)
{
    struct Case
    {
        const char* name;
        void (*arrange)();
        bool previousInstance;
        Log expected;
    } cases[] = {
        {"a previous instance",
         [] {},
         true,
         {"MessageBoxA(Halbrand Application Error: A Tessel application is already running...)"}},
        {"class registration fails",
         [] { Win32TestSetFault(Win32Fault::RegisterClass, true); },
         false,
         {"RegisterClassA(HalbrandAppClass)"}},
        {"a start-up check returns 0",
         []
         {
             ApplicationStartupChecks()->AddTail(reinterpret_cast<void*>(+[] { return 1; }));
             ApplicationStartupChecks()->AddTail(reinterpret_cast<void*>(+[] { return 0; }));
         },
         false,
         {"RegisterClassA(HalbrandAppClass)"}},
        {"window creation fails: neither Init nor Shutdown",
         [] { Win32TestSetFault(Win32Fault::CreateWindow, true); },
         false,
         {"RegisterClassA(HalbrandAppClass)", "PreWindowInit", "Configure", "CreateWindowExA(Velmoran)"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        c.arrange();
        Win32TestQueueIdle(2);
        HINSTANCE previous = c.previousInstance ? GetModuleHandleA(nullptr) : nullptr;
        EXPECT_EQ(Run(previous), 0);
        EXPECT_EQ(Win32TestCallLog(), c.expected);
        EXPECT_EQ(Win32TestPendingSteps(), 2);
    }
}

TEST_F(HbApplicationShell, PassingStartupChecksRunInOrderBeforeAnyHook)
{
    static Log order;
    order.clear();
    ApplicationStartupChecks()->AddTail(reinterpret_cast<void*>(+[]
                                                                {
                                                                    order.push_back("first");
                                                                    return 1;
                                                                }));
    ApplicationStartupChecks()->AddTail(
        reinterpret_cast<void*>(+[]
                                {
                                    order.push_back(HbApplication::Get()->WindowState().window ? "late" : "second");
                                    return 1;
                                }));
    EXPECT_EQ(ApplicationStartupChecks()->GetBlockSize(), 10);
    mApp->quitInInit = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(order, (Log{"first", "second"}));
    EXPECT_EQ(Win32TestCountCalls("Init"), 1);
}

TEST_F(HbApplicationShell, ExitCodeIsTheLastTakenMessagesWParamOrZero)
{
    struct Case
    {
        const char* name;
        void (*arrange)(RecordingApp&);
        int exitCode;
        int ticks;
    } cases[] = {
        {"WM_QUIT posted by a tick", [](RecordingApp& a) { a.postQuitAtTick = 2; }, 7, 2},
        {"the quit flag before any message: the loop ends after that pass", [](RecordingApp& a) { a.quitAtTick = 1; },
         0, 1},
        {"the quit flag after a message was taken",
         [](RecordingApp& a)
         {
             a.postInInit = true;
             a.quitAtTick = 1;
         },
         5, 1},
        {"a timer message ticks even while active",
         [](RecordingApp& a)
         {
             a.postInInit = true;
             a.postMessage = WM_TIMER;
             a.quitAtTick = 1;
         },
         5, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        c.arrange(*mApp);
        Win32TestQueueIdle(10);
        EXPECT_EQ(Run(), c.exitCode);
        EXPECT_EQ(mApp->ticks, c.ticks);
        EXPECT_EQ(mApp->shutdowns, 1);
    }
}

TEST_F(HbApplicationShell, ApplicationPointerFollowsTheObject)
{
    EXPECT_EQ(HbApplication::Get(), mApp.get());
    EXPECT_EXIT({ RecordingApp second; }, ::testing::ExitedWithCode(255), "");
    mApp.reset();
    EXPECT_EQ(HbApplication::Get(), nullptr);
    mApp = std::make_unique<RecordingApp>();
    EXPECT_EQ(HbApplication::Get(), mApp.get());
}

TEST(HbWindowState, ConstructionValues)
{
    HbWindowState s;
    EXPECT_EQ(s.flags, 0);
    EXPECT_EQ(s.clientWidth, 640);
    EXPECT_EQ(s.clientHeight, 480);
    EXPECT_EQ(s.requestedWidth, 0);
    EXPECT_EQ(s.requestedHeight, 0);
    EXPECT_EQ(s.colourDepth, 32);
    EXPECT_EQ(s.zDepth, 16);
    EXPECT_EQ(s.style, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(s.active, 1);
}

struct VideoModeRecord
{
    int32_t width;
    int32_t height;
    int32_t depth;
    uint32_t flags;
};

TEST(HbWindowState, ModeFlagsMatchPairsEachModeFlagWithItsWindowBit)
{
    struct Pair
    {
        uint32_t mode;
        int32_t window;
    } pairs[] = {{0x1, 0x2}, {0x2, 0x4}, {0x4, 0x8}, {0x100, 0x10}, {0x200, 0x20}};
    HbWindowState s;
    for (const Pair& p : pairs)
    {
        SCOPED_TRACE(p.mode);
        s.flags = 0;
        EXPECT_EQ(s.ModeFlagsMatch(VideoModeRecord{0, 0, 0, p.mode}), 0);
        s.flags = p.window;
        EXPECT_EQ(s.ModeFlagsMatch(VideoModeRecord{0, 0, 0, 0}), 0);
        EXPECT_EQ(s.ModeFlagsMatch(VideoModeRecord{0, 0, 0, p.mode}), 1);
        s.flags = p.window | HbWindowState::kQuit; // the quit bit is no mode flag
        EXPECT_EQ(s.ModeFlagsMatch(VideoModeRecord{0, 0, 0, p.mode | 0x8 | 0x400}), 1);
    }
}

TEST(HbWindowState, ModeMatchesAlsoComparesRequestedSizeAndColourDepth)
{
    HbWindowState s;
    s.requestedWidth = 800;
    s.requestedHeight = 600;
    s.flags = HbWindowState::kFullScreen;
    EXPECT_EQ(s.ModeMatches(VideoModeRecord{800, 600, 32, 0x1}), 1);
    EXPECT_EQ(s.ModeMatches(VideoModeRecord{800, 600, 32, 0x0}), 0);
    EXPECT_EQ(s.ModeMatches(VideoModeRecord{800, 600, 16, 0x1}), 0);
    EXPECT_EQ(s.ModeMatches(VideoModeRecord{640, 600, 32, 0x1}), 0);
    EXPECT_EQ(s.ModeMatches(VideoModeRecord{800, 480, 32, 0x1}), 0);
}

} // namespace
