// Tests of window classes, window creation and sizing, the scripted window
// system's events, and the display, screen-saver, cursor and box calls.
#include "win32test_local.h"

namespace
{

using Win32Windows = Win32Fixture;

TEST_F(Win32Windows, RegisterClassRefusesTakenNamesIncompleteRecordsAndInjectedFaults)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "testclass"; // names compare without case
    EXPECT_EQ(RegisterClassA(&windowClass), 0);

    windowClass.lpszClassName = "Other";
    windowClass.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassA(&windowClass), 0);

    windowClass.lpfnWndProc = RecordingProc;
    Win32TestSetFault(Win32Fault::RegisterClass, true);
    EXPECT_EQ(RegisterClassA(&windowClass), 0);
    Win32TestSetFault(Win32Fault::RegisterClass, false);
    EXPECT_GE(RegisterClassA(&windowClass), 0xC000);
}

TEST_F(Win32Windows, CreationFailsForUnknownClassInjectedFaultAndRefusedCreate)
{
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);

    Win32TestSetFault(Win32Fault::CreateWindow, true);
    EXPECT_EQ(MakeWindow(), nullptr);
    EXPECT_TRUE(sReceived.empty());
    Win32TestSetFault(Win32Fault::CreateWindow, false);

    sCreateAnswer = -1;
    EXPECT_EQ(MakeWindow(), nullptr);
    ASSERT_EQ(sReceived.size(), 3u);
    EXPECT_EQ(sReceived[0].message, WM_CREATE);
    EXPECT_EQ(sReceived[1].message, WM_DESTROY);
}

TEST_F(Win32Windows, AdjustedRectangleGivesBackTheClientSize)
{
    const DWORD styles[] = {0xCA0000, WS_OVERLAPPEDWINDOW, WS_POPUP, WS_POPUP | WS_BORDER, WS_CAPTION};
    for (DWORD style : styles)
    {
        SCOPED_TRACE(style);
        RECT rect = {0, 0, 640, 480};
        ASSERT_TRUE(AdjustWindowRect(&rect, style, FALSE));
        HWND window = MakeWindow(style, rect.right - rect.left, rect.bottom - rect.top);
        ASSERT_NE(window, nullptr);
        RECT client;
        ASSERT_TRUE(GetClientRect(window, &client));
        EXPECT_EQ(client.right, 640);
        EXPECT_EQ(client.bottom, 480);
        RECT frame;
        ASSERT_TRUE(GetWindowRect(window, &frame));
        EXPECT_EQ(frame.right - frame.left, rect.right - rect.left);
        EXPECT_EQ(frame.bottom - frame.top, rect.bottom - rect.top);
    }
}

TEST_F(Win32Windows, DesktopRectangleIsTheDesktopModeSize)
{
    Win32TestSetDesktopSize(1600, 900);
    RECT desktop;
    ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &desktop));
    EXPECT_EQ(desktop.left, 0);
    EXPECT_EQ(desktop.top, 0);
    EXPECT_EQ(desktop.right, 1600);
    EXPECT_EQ(desktop.bottom, 900);
}

TEST_F(Win32Windows, ScriptedEventsBecomeActivationAndCloseMessages)
{
    struct Case
    {
        const char* name;
        std::vector<Win32ScriptEvent> events;
        std::vector<WPARAM> activations; // WM_ACTIVATE wParams, in order
        bool iconic;
        bool closed;
    } cases[] = {
        {"deactivate", {Win32ScriptEvent::Deactivate}, {MAKEWPARAM(WA_INACTIVE, 0)}, false, false},
        {"activate while active is still sent", {Win32ScriptEvent::Activate}, {MAKEWPARAM(WA_ACTIVE, 0)}, false, false},
        {"click activate", {Win32ScriptEvent::ClickActivate}, {MAKEWPARAM(WA_CLICKACTIVE, 0)}, false, false},
        {"minimise deactivates with the minimised word",
         {Win32ScriptEvent::Minimise},
         {MAKEWPARAM(WA_INACTIVE, 1)},
         true,
         false},
        {"activate while minimised",
         {Win32ScriptEvent::Minimise, Win32ScriptEvent::Activate},
         {MAKEWPARAM(WA_INACTIVE, 1), MAKEWPARAM(WA_ACTIVE, 1)},
         true,
         false},
        {"restore activates",
         {Win32ScriptEvent::Minimise, Win32ScriptEvent::Restore},
         {MAKEWPARAM(WA_INACTIVE, 1), MAKEWPARAM(WA_ACTIVE, 0)},
         false,
         false},
        {"minimising an inactive window sends nothing",
         {Win32ScriptEvent::Deactivate, Win32ScriptEvent::Minimise},
         {MAKEWPARAM(WA_INACTIVE, 0)},
         true,
         false},
        {"close", {Win32ScriptEvent::Close}, {}, false, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        HWND window = MakeWindow();
        ShowWindow(window, SW_SHOW);
        sReceived.clear();
        for (Win32ScriptEvent event : c.events)
            Win32TestQueueEvent(event);
        MSG m;
        while (Win32TestPendingSteps() > 0)
            if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&m);
        std::vector<WPARAM> activations;
        for (const Received& r : ReceivedOf(WM_ACTIVATE))
            activations.push_back(r.wParam);
        EXPECT_EQ(activations, c.activations);
        EXPECT_EQ(IsWindow(window) == FALSE, c.closed);
        EXPECT_EQ(IsIconic(window) != FALSE, c.iconic);
    }
}

TEST_F(Win32Windows, MinimisingAndShowingFollowTheCommand)
{
    HWND window = MakeWindow();
    EXPECT_FALSE(ShowWindow(window, SW_SHOWDEFAULT));
    EXPECT_EQ(ReceivedOf(WM_ACTIVATE).size(), 1u); // shown active
    EXPECT_TRUE(CloseWindow(window));
    EXPECT_TRUE(IsIconic(window));
    ASSERT_EQ(ReceivedOf(WM_ACTIVATE).size(), 2u);
    EXPECT_EQ(ReceivedOf(WM_ACTIVATE)[1].wParam, MAKEWPARAM(WA_INACTIVE, 1));

    EXPECT_TRUE(ShowWindow(window, SW_SHOW));
    EXPECT_TRUE(IsIconic(window)); // showing keeps it minimised
    ShowWindow(window, SW_RESTORE);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(CloseWindow(window));
    EXPECT_TRUE(IsWindow(window)); // closing minimises, it does not destroy
}

TEST_F(Win32Windows, DisplayModeChangesOnlyWhatTheRecordAsksFor)
{
    DEVMODEA empty = {};
    DEVMODEA sized = {};
    sized.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    sized.dmPelsWidth = 800;
    sized.dmPelsHeight = 600;
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ChangeDisplaySettingsA(&empty, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    // The script, like our SDL window system, switches no real modes.
    EXPECT_EQ(ChangeDisplaySettingsA(&sized, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    EXPECT_EQ(Win32TestCallLog(),
              (std::vector<std::string>{"ChangeDisplaySettingsA(null,4)", "ChangeDisplaySettingsA(record,4)",
                                        "ChangeDisplaySettingsA(record,4)"}));
}

TEST_F(Win32Windows, ScreenSaverCursorAndMessageBox)
{
    BOOL allowed = FALSE;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &allowed, 0));
    EXPECT_TRUE(allowed);
    EXPECT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0));
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &allowed, 0));
    EXPECT_FALSE(allowed);
    EXPECT_FALSE(SystemParametersInfoA(0x0071, 0, nullptr, 0)); // not a setting we keep

    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, "custom"), nullptr);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);

    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_ICONERROR), IDOK);
    EXPECT_EQ(Win32TestCountCalls("MessageBoxA(caption: text)"), 1);
    EXPECT_FALSE(Win32HasDisplay());
}

} // namespace
