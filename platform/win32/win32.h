// Our Win32 layer: the window, message, timer, display-mode, screen-saver,
// cursor and message-box calls the program makes, backed by SDL2 and POSIX.
// Only what the program uses is declared; numeric values are the platform's own.
#pragma once

#include <cstdint>

// ---- Basic types ------------------------------------------------------------

using BOOL = int;
using INT = int;
using UINT = unsigned int;
using DWORD = uint32_t;
using WORD = uint16_t;
using ATOM = uint16_t;
using LONG = int32_t;
using UINT_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using PVOID = void*;

// COM results, shared by the layers whose interfaces are COM objects.
using HRESULT = int32_t;
using ULONG = uint32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_ABORT = HRESULT(0x80004004u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Handles are opaque: the layer never hands out a pointer callers may follow,
// and a destroyed window's handle stays invalid (it is never reused).
struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HMENU__;
struct HBRUSH__;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HICON = HICON__*;
using HCURSOR = HICON;
using HMENU = HMENU__*;
using HBRUSH = HBRUSH__*;

struct POINT
{
    LONG x;
    LONG y;
};

struct RECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

/// A 128-bit identifier (classes, interfaces, devices), compared field by field.
struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using REFGUID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

constexpr WORD LOWORD(uintptr_t value)
{
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(uintptr_t value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr DWORD MAKELONG(WORD low, WORD high)
{
    return static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16);
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high)
{
    return MAKELONG(low, high);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high)
{
    return static_cast<LPARAM>(MAKELONG(low, high));
}

// ---- Messages -----------------------------------------------------------------

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

// Low word of WM_ACTIVATE's wParam; the high word is nonzero while minimised.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND window, UINT message, UINT_PTR id, DWORD time);

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

/// Takes (PM_REMOVE) or looks at the next message without waiting; FALSE when
/// none is there. A null window takes messages of every window and posted to
/// the thread. Order: the backend's events, posted messages, WM_QUIT once
/// PostQuitMessage was called (whatever the window filter), then one WM_TIMER
/// of a due timer. While timers run and no window is active it may wait for
/// the next event up to the earliest timer instead of spinning.
BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
/// No keyboard messages are made yet, so there is nothing to translate: FALSE.
BOOL TranslateMessage(const MSG* message);
/// Runs the window procedure of the message's window (or the timer callback
/// of a WM_TIMER carrying one); 0 for a message without a live window.
LRESULT DispatchMessageA(const MSG* message);
/// Calls the window procedure at once; 0 when the window does not exist.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// Queues a message; a null window posts to the thread. FALSE for a dead window.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// WM_QUIT with wParam = exitCode is taken after every posted message.
void PostQuitMessage(int exitCode);
/// WM_CLOSE destroys the window; every other message gives 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Timers ---------------------------------------------------------------------

/// Every elapse milliseconds (at least 10) PeekMessageA gives one WM_TIMER with
/// wParam = id; missed periods are not made up. Setting an existing (window, id)
/// restarts it. Returns the id, or a new one for a null window; 0 for a dead window.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback);
/// FALSE when no such timer runs.
BOOL KillTimer(HWND window, UINT_PTR id);

// ---- Window classes and windows -------------------------------------------------

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_BYTEALIGNWINDOW = 0x2000;

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_CAPTION = 0x00C00000; // WS_BORDER | WS_DLGFRAME
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;
constexpr int SW_FORCEMINIMIZE = 11;

struct WNDCLASSA
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

/// The class atom (0xC000 and up); 0 when the name is taken or the record lacks
/// a procedure or a name.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
/// A top-level window of a registered class (names compare without case). Sends
/// WM_CREATE; null when the class is unknown, the procedure answers -1 or the
/// window system cannot make the window. x or y CW_USEDEFAULT lets it choose.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height,
                     HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
/// Sends WM_DESTROY then WM_NCDESTROY, drops the window's posted messages and
/// timers; FALSE (and no message) for a window that no longer exists.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
/// Returns whether the window was visible before. Minimising commands make it
/// iconic (and inactive), restoring ones undo that; SW_SHOW keeps it iconic.
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
/// Minimises the window (it is not destroyed).
BOOL CloseWindow(HWND window);
BOOL IsIconic(HWND window);
BOOL SetForegroundWindow(HWND window);
/// Returns the window that had the keyboard focus.
HWND SetFocus(HWND window);
HWND GetFocus();

/// {0, 0, client width, client height}.
BOOL GetClientRect(HWND window, LPRECT rect);
/// The window's frame in screen coordinates; for the desktop window the
/// desktop display mode's size.
BOOL GetWindowRect(HWND window, LPRECT rect);
HWND GetDesktopWindow();
/// Grows a client rectangle by the frame the style gives (caption, borders, menu).
BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);
/// The same; the extended styles of this window system add no frame.
BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);

constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
/// The window's style or extended style; 0 for another index or no window.
LONG GetWindowLongA(HWND window, int index);
/// Stores a style and returns the previous one; 0 for another index or no window.
LONG SetWindowLongA(HWND window, int index, LONG value);
/// Windows of this window system carry no menu bar: always null.
HMENU GetMenu(HWND window);

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
/// Z-order bands for SetWindowPos; windows of this window system keep their stacking order.
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t(-2));
/// Moves the frame to (x, y) and sizes it to width x height unless the flags say
/// not to; the client area is what the frame of the window's style leaves.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
/// The program's instance for a null name; null for any other module.
HMODULE GetModuleHandleA(LPCSTR moduleName);

// ---- Display modes and system settings -----------------------------------------

constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;

/// The display-mode fields the program may use; dmFields says which are set.
struct DEVMODEA
{
    char dmDeviceName[32];
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
};

constexpr DWORD CDS_UPDATEREGISTRY = 0x00000001;
constexpr DWORD CDS_TEST = 0x00000002;
constexpr DWORD CDS_FULLSCREEN = 0x00000004;

constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
constexpr LONG DISP_CHANGE_RESTART = 1;
constexpr LONG DISP_CHANGE_FAILED = -1;
constexpr LONG DISP_CHANGE_BADMODE = -2;

/// A null mode returns the desktop to its own mode: every full-screen window
/// of ours leaves full screen. A record with no width, height or depth set
/// asks for no change and succeeds. Other modes are not supported by the
/// window system yet (DISP_CHANGE_BADMODE).
LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags);

constexpr UINT SPI_GETSCREENSAVEACTIVE = 0x0010;
constexpr UINT SPI_SETSCREENSAVEACTIVE = 0x0011;

/// Handles the screen-saver setting (uiParam TRUE allows it; the get form
/// writes a BOOL to pvParam); FALSE for every other action.
BOOL SystemParametersInfoA(UINT action, UINT uiParam, PVOID pvParam, UINT winIni);

// ---- Cursor -----------------------------------------------------------------------

// Resource numbers in place of names, as the platform passes them.
inline const LPCSTR IDC_ARROW = reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32512));

/// The system arrow for (null, IDC_ARROW); null for anything else.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName);
/// Raises or lowers the display count; the cursor shows while it is >= 0.
/// Returns the new count.
int ShowCursor(BOOL show);

// ---- Message boxes ------------------------------------------------------------

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr int IDOK = 1;

/// Shows a modal box (SDL) when a display exists, else writes "title: text" to
/// stderr; returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ---- Performance counter ---------------------------------------------------------

union LARGE_INTEGER
{
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
};

/// Always 10,000,000 ticks per second, so tick counts kept in 32 bits wrap as
/// the program expects.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
/// Monotonic ticks of the performance counter.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);

// ---- Events -------------------------------------------------------------------------

struct HANDLE__;
using HANDLE = HANDLE__*;
struct SECURITY_ATTRIBUTES;

/// An unnamed event object (a name is refused: null). Nothing in the layer
/// waits yet; input devices signal the events they are given.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
/// FALSE for a handle that is not a live event.
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
/// Frees the event or mutex; FALSE for a handle that is not live.
BOOL CloseHandle(HANDLE object);

// ---- Mutexes ------------------------------------------------------------------------
// Unlike everything else in the layer these may be called from any thread.

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

/// An unnamed mutex (a name is refused: null), owned by the calling thread
/// when initialOwner is set. Ownership is recursive: each wait that succeeds
/// needs its ReleaseMutex.
HANDLE CreateMutexA(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, LPCSTR name);
/// For a mutex: WAIT_OBJECT_0 once the calling thread owns it, WAIT_TIMEOUT
/// when milliseconds (INFINITE: never) pass first. WAIT_FAILED for a handle
/// that is no live mutex (events are not waited on).
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
/// FALSE when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// ---- Beyond the platform's calls ----------------------------------------------------

/// FALSE when our windows appear on no screen (the off-screen or scripted
/// window system): a program with no one to close its window may then bound
/// its own run. Starts the window system when it is not running yet.
BOOL Win32HasDisplay();
/// The window system's own window behind a window handle (an SDL_Window*), for
/// a graphics device to draw into; null for a handle that is no window and for
/// a window system without native windows (the scripted one). Never starts the
/// window system.
void* Win32GetNativeWindow(HWND window);
/// The exit status of a process whose display went away mid-run (the window
/// system's connection broke): the reason is on stderr, and the exit list is
/// not run, since shutting the window system down needs the lost connection.
constexpr int kWin32ExitDisplayLost = 3;
