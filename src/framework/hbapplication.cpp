// The application shell: entry function, window class, main window, message
// loop and window procedure.
#include "hbapplication.h"

#include "hbexitlist.h"

#include <cstdlib>

namespace
{
HbApplication* gApplication = nullptr;
// Passed back on reactivation. Nothing fills it, so that change asks for
// nothing; the video layer's device reset brings the game's mode back.
DEVMODEA gSavedDisplayMode = {};
HbPtrList* gStartupChecks = nullptr;
bool gStartupChecksMade = false;

constexpr char kWindowTitle[] = "Velmoran";
constexpr char kClassName[] = "HalbrandAppClass";
constexpr char kErrorTitle[] = "Halbrand Application Error";
constexpr UINT_PTR kInactiveTimerId = 1;
constexpr UINT kInactiveTimerMs = 20;

void DestroyStartupChecks()
{
    if (!gStartupChecks)
        return;
    gStartupChecks->RemoveAll();
    delete gStartupChecks;
    gStartupChecks = nullptr;
}

void Deactivate(HbApplication& application, WPARAM wParam)
{
    HbWindowState& state = application.WindowState();
    if (state.flags & HbWindowState::kFullScreen)
    {
        if (HIWORD(wParam) == 0)
            CloseWindow(state.window);
        ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
    }
    state.active = 0;
    SetTimer(state.window, kInactiveTimerId, kInactiveTimerMs, nullptr);
}

void Activate(HbApplication& application, WPARAM wParam)
{
    HbWindowState& state = application.WindowState();
    if (state.flags & HbWindowState::kFullScreen)
    {
        if (state.active == 0)
            ChangeDisplaySettingsA(&gSavedDisplayMode, CDS_FULLSCREEN);
        if (HIWORD(wParam) != 0)
        {
            ShowWindow(state.window, SW_SHOW);
            SetForegroundWindow(state.window);
            SetFocus(state.window);
        }
    }
    state.active = 1;
    KillTimer(state.window, kInactiveTimerId);
}
} // namespace

// ---- HbApplication ----------------------------------------------------------------

HbApplication::HbApplication()
{
    if (gApplication)
        std::exit(-1);
    gApplication = this;
}

HbApplication::~HbApplication()
{
    if (gApplication == this)
        gApplication = nullptr;
}

HbApplication* HbApplication::Get()
{
    return gApplication;
}

// ---- Shell -------------------------------------------------------------------------

HbPtrList* ApplicationStartupChecks()
{
    if (!gStartupChecksMade)
    {
        gStartupChecks = new HbPtrList(10);
        if (gStartupChecks)
        {
            gStartupChecksMade = true;
            HbExitList::Add(DestroyStartupChecks);
        }
    }
    return gStartupChecks;
}

uint32_t ApplicationRegisterClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = ApplicationWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass);
}

HWND ApplicationCreateWindow(HINSTANCE instance)
{
    if (!gApplication)
        return nullptr;
    HbWindowState& state = gApplication->WindowState();
    RECT rect = {0, 0, state.requestedWidth, state.requestedHeight};
    GetWindowRect(GetDesktopWindow(), &state.desktop);
    AdjustWindowRect(&rect, state.style, FALSE);
    return CreateWindowExA(0, kClassName, kWindowTitle, state.style, CW_USEDEFAULT, CW_USEDEFAULT,
                           rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
}

int ApplicationMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    if (previousInstance)
    {
        MessageBoxA(nullptr, "A Tessel application is already running...", kErrorTitle, MB_ICONERROR);
        return 0;
    }
    HbApplication* application = gApplication;
    // Without an application object there is nothing to drive.
    if (!application)
        return -1;
    HbWindowState& state = application->WindowState();

    if (!ApplicationRegisterClass(instance))
        return 0;
    // No list means nobody could register a check either.
    if (HbPtrList* checks = ApplicationStartupChecks(); checks && !HbCallbackList::RunAll(*checks))
        return 0;

    application->PreWindowInit();
    application->Configure();

    state.window = ApplicationCreateWindow(instance);
    if (!state.window)
        return 0;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    state.instance = instance;
    state.commandLine = commandLine;
    ShowWindow(state.window, showCommand);
    UpdateWindow(state.window);
    RECT client;
    if (GetClientRect(state.window, &client))
    {
        state.clientWidth = client.right - client.left;
        state.clientHeight = client.bottom - client.top;
    }

    application->Init();
    application->mEnabled = 1;

    // The exit code stays 0 when the loop ends before it has taken a message.
    WPARAM exitCode = 0;
    MSG message = {};
    while (!(state.flags & HbWindowState::kQuit))
    {
        if (PeekMessageA(&message, state.window, 0, 0, PM_REMOVE))
        {
            exitCode = message.wParam;
            if (message.message == WM_QUIT)
                break;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        else if (state.active)
        {
            application->Tick();
        }
    }

    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
    DestroyWindow(state.window);
    return static_cast<int>(exitCode);
}

LRESULT ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HbApplication* application = gApplication;
    if (!application || !application->Enabled())
        return DefWindowProcA(window, message, wParam, lParam);

    switch (message)
    {
    case WM_DESTROY:
        application->Shutdown();
        application->WindowState().flags |= HbWindowState::kQuit;
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        application->Tick();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE)
            Deactivate(*application, wParam);
        else if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE)
            Activate(*application, wParam);
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
