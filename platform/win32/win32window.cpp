// Window classes and windows: creation, destruction, showing, rectangles,
// focus, and the window system's notifications that become messages.
#include "win32_local.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <strings.h>
#include <vector>

namespace
{
struct WindowClass
{
    ATOM atom;
    std::string name;
    WNDPROC proc;
    HINSTANCE instance;
};

std::vector<WindowClass> gClasses;
std::vector<std::unique_ptr<Win32Window>> gWindows;
// Handles count up and are never reused, so a stale handle never names a new window.
uintptr_t gNextHandle = 0x10020;
HWND gFocus = nullptr;

// Window-frame metrics of our own; AdjustWindowRect and CreateWindowExA use the
// same numbers, so a client size survives the round trip.
constexpr LONG kCaptionHeight = 23;
constexpr LONG kMenuHeight = 20;
constexpr LONG kThinBorder = 1;
constexpr LONG kFixedFrame = 3;
constexpr LONG kSizingFrame = 4;

// The desktop window has a fixed handle below every real one.
HWND const kDesktopWindow = reinterpret_cast<HWND>(uintptr_t{0x10010});
HINSTANCE const kProgramInstance = reinterpret_cast<HINSTANCE>(uintptr_t{0x400000});

WindowClass* FindClass(LPCSTR name)
{
    for (WindowClass& c : gClasses)
        if (strcasecmp(c.name.c_str(), name) == 0)
            return &c;
    return nullptr;
}

bool IsActivating(int command)
{
    return command != SW_HIDE && command != SW_SHOWNOACTIVATE && command != SW_SHOWNA &&
           command != SW_SHOWMINNOACTIVE && command != SW_MINIMIZE && command != SW_FORCEMINIMIZE;
}

bool IsMinimising(int command)
{
    return command == SW_SHOWMINIMIZED || command == SW_MINIMIZE || command == SW_SHOWMINNOACTIVE ||
           command == SW_FORCEMINIMIZE;
}

bool IsRestoring(int command)
{
    return command == SW_SHOWNORMAL || command == SW_RESTORE || command == SW_SHOWDEFAULT ||
           command == SW_SHOWMAXIMIZED;
}
} // namespace

// ---- Registry ----------------------------------------------------------------------

Win32Window* Win32FindWindow(HWND handle)
{
    if (!handle)
        return nullptr;
    for (auto& w : gWindows)
        if (w->handle == handle)
            return w.get();
    return nullptr;
}

Win32Window* Win32FindNativeWindow(const void* native)
{
    for (auto& w : gWindows)
        if (native && w->native == native)
            return w.get();
    return nullptr;
}

Win32Window* Win32FirstWindow()
{
    return gWindows.empty() ? nullptr : gWindows.front().get();
}

int Win32WindowCount()
{
    return static_cast<int>(gWindows.size());
}

Win32Window* Win32WindowAt(int index)
{
    return gWindows[static_cast<size_t>(index)].get();
}

void Win32ResetWindows()
{
    Win32Backend* backend = Win32RunningBackend();
    for (auto& w : gWindows)
        if (backend && w->native)
            backend->DestroyNativeWindow(backend, w.get());
    gWindows.clear();
    gClasses.clear();
    gFocus = nullptr;
}

RECT Win32FrameInsets(DWORD style, bool menu)
{
    LONG side = 0;
    if (style & WS_THICKFRAME)
        side = kSizingFrame;
    else if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_DLGFRAME))
        side = kFixedFrame;
    else if (style & WS_BORDER)
        side = kThinBorder;
    LONG top = side;
    if ((style & WS_CAPTION) == WS_CAPTION)
        top += kCaptionHeight;
    if (menu)
        top += kMenuHeight;
    return RECT{side, top, side, side};
}

// ---- Notifications from the window system ------------------------------------------

void Win32NotifyActivation(Win32Window* window, WORD kind, bool force)
{
    bool active = kind != WA_INACTIVE;
    if (!window || (!force && window->active == active))
        return;
    window->active = active;
    if (active)
        gFocus = window->handle;
    else if (gFocus == window->handle)
        gFocus = nullptr;
    SendMessageA(window->handle, WM_ACTIVATE, MAKEWPARAM(kind, window->iconic ? 1 : 0), 0);
}

void Win32NotifyIconic(Win32Window* window, bool iconic)
{
    if (!window || window->iconic == iconic)
        return;
    window->iconic = iconic;
    Win32NotifyActivation(window, iconic ? WA_INACTIVE : WA_ACTIVE, false);
}

void Win32NotifyCloseRequest(Win32Window* window)
{
    if (window)
        PostMessageA(window->handle, WM_CLOSE, 0, 0);
}

void Win32NotifyClientArea(Win32Window* window, int x, int y, int width, int height)
{
    if (!window)
        return;
    window->clientX = x;
    window->clientY = y;
    window->clientWidth = width;
    window->clientHeight = height;
}

// ---- Classes -------------------------------------------------------------------------

ATOM RegisterClassA(const WNDCLASSA* windowClass)
{
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName || !windowClass->lpszClassName[0])
        return 0;
    Win32LogCall("RegisterClassA(%s)", windowClass->lpszClassName);
    if (Win32FaultSet(Win32Fault::RegisterClass) || FindClass(windowClass->lpszClassName))
        return 0;
    ATOM atom = static_cast<ATOM>(0xC000 + gClasses.size());
    gClasses.push_back({atom, windowClass->lpszClassName, windowClass->lpfnWndProc, windowClass->hInstance});
    return atom;
}

// ---- Windows ---------------------------------------------------------------------------

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height,
                     HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter)
{
    Win32LogCall("CreateWindowExA(%s)", title ? title : "");
    const WindowClass* windowClass = className ? FindClass(className) : nullptr;
    Win32Backend* backend = Win32GetBackend();
    if (!windowClass || !backend || Win32FaultSet(Win32Fault::CreateWindow))
        return nullptr;

    auto window = std::make_unique<Win32Window>();
    window->handle = reinterpret_cast<HWND>(gNextHandle);
    gNextHandle += 0x10;
    window->proc = windowClass->proc;
    window->className = windowClass->name;
    window->title = title ? title : "";
    window->style = style;
    window->exStyle = exStyle;
    window->instance = instance;
    RECT frame = Win32FrameInsets(style, menu != nullptr);
    window->clientWidth = std::max(0, width - frame.left - frame.right);
    window->clientHeight = std::max(0, height - frame.top - frame.bottom);
    window->defaultPosition = x == CW_USEDEFAULT || y == CW_USEDEFAULT;
    window->clientX = window->defaultPosition ? frame.left : x + frame.left;
    window->clientY = window->defaultPosition ? frame.top : y + frame.top;
    if (!backend->CreateNativeWindow(backend, window.get()))
        return nullptr;

    HWND handle = window->handle;
    gWindows.push_back(std::move(window));
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(parameter)) == -1)
    {
        DestroyWindow(handle);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL DestroyWindow(HWND handle)
{
    Win32LogCall("DestroyWindow");
    Win32Window* window = Win32FindWindow(handle);
    if (!window || window->destroying)
        return FALSE;
    window->destroying = true;
    SendMessageA(handle, WM_DESTROY, 0, 0);
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    // The procedure may have created or destroyed other windows: find it again.
    auto it = std::find_if(gWindows.begin(), gWindows.end(), [&](auto& w) { return w->handle == handle; });
    if (it != gWindows.end())
    {
        if (Win32Backend* backend = Win32RunningBackend(); backend && (*it)->native)
            backend->DestroyNativeWindow(backend, it->get());
        gWindows.erase(it);
    }
    if (gFocus == handle)
        gFocus = nullptr;
    Win32ForgetWindowMessages(handle);
    return TRUE;
}

BOOL IsWindow(HWND handle)
{
    return Win32FindWindow(handle) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND handle, int command)
{
    Win32LogCall("ShowWindow(%d)", command);
    Win32Window* window = Win32FindWindow(handle);
    Win32Backend* backend = Win32RunningBackend();
    if (!window || !backend)
        return FALSE;
    BOOL wasVisible = window->visible ? TRUE : FALSE;
    bool visible = command != SW_HIDE;
    if (window->visible != visible)
    {
        window->visible = visible;
        backend->ShowNativeWindow(backend, window, visible);
    }
    if (IsRestoring(command) && window->iconic)
    {
        backend->RestoreNativeWindow(backend, window);
        window->iconic = false;
    }
    // Minimising deactivates; any other activating command makes the window
    // the active one; hiding deactivates.
    if (IsMinimising(command))
    {
        if (!window->iconic)
            backend->MinimiseNativeWindow(backend, window);
        Win32NotifyIconic(window, true);
    }
    else if (visible && IsActivating(command))
    {
        Win32NotifyActivation(window, WA_ACTIVE, false);
    }
    else if (!visible)
    {
        Win32NotifyActivation(window, WA_INACTIVE, false);
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND handle)
{
    Win32LogCall("UpdateWindow");
    // Nothing is painted through the layer: the video layer presents frames itself.
    return Win32FindWindow(handle) ? TRUE : FALSE;
}

BOOL CloseWindow(HWND handle)
{
    Win32LogCall("CloseWindow");
    Win32Window* window = Win32FindWindow(handle);
    Win32Backend* backend = Win32RunningBackend();
    if (!window || !backend)
        return FALSE;
    if (!window->iconic)
        backend->MinimiseNativeWindow(backend, window);
    Win32NotifyIconic(window, true);
    return TRUE;
}

BOOL IsIconic(HWND handle)
{
    Win32Window* window = Win32FindWindow(handle);
    return window && window->iconic ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND handle)
{
    Win32LogCall("SetForegroundWindow");
    Win32Window* window = Win32FindWindow(handle);
    Win32Backend* backend = Win32RunningBackend();
    if (!window || !backend)
        return FALSE;
    if (backend->RaiseNativeWindow)
        backend->RaiseNativeWindow(backend, window);
    return TRUE;
}

HWND SetFocus(HWND handle)
{
    Win32LogCall("SetFocus");
    HWND previous = gFocus;
    if (!handle || Win32FindWindow(handle))
        gFocus = handle;
    return previous;
}

HWND GetFocus()
{
    return gFocus;
}

// ---- Rectangles ---------------------------------------------------------------------------

BOOL GetClientRect(HWND handle, LPRECT rect)
{
    Win32Window* window = Win32FindWindow(handle);
    if (!window || !rect)
        return FALSE;
    *rect = RECT{0, 0, window->clientWidth, window->clientHeight};
    return TRUE;
}

BOOL GetWindowRect(HWND handle, LPRECT rect)
{
    if (!rect)
        return FALSE;
    if (handle == kDesktopWindow)
    {
        Win32Backend* backend = Win32GetBackend();
        int width = 0;
        int height = 0;
        if (!backend || !backend->GetDesktopSize(backend, &width, &height))
            return FALSE;
        *rect = RECT{0, 0, width, height};
        return TRUE;
    }
    Win32Window* window = Win32FindWindow(handle);
    if (!window)
        return FALSE;
    RECT frame = Win32FrameInsets(window->style, false);
    *rect = RECT{window->clientX - frame.left, window->clientY - frame.top,
                 window->clientX + window->clientWidth + frame.right,
                 window->clientY + window->clientHeight + frame.bottom};
    return TRUE;
}

HWND GetDesktopWindow()
{
    return kDesktopWindow;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu)
{
    if (!rect)
        return FALSE;
    RECT frame = Win32FrameInsets(style, menu != FALSE);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD)
{
    return AdjustWindowRect(rect, style, menu);
}

LONG GetWindowLongA(HWND handle, int index)
{
    Win32Window* window = Win32FindWindow(handle);
    if (!window)
        return 0;
    if (index == GWL_STYLE)
        return LONG(window->style);
    return index == GWL_EXSTYLE ? LONG(window->exStyle) : 0;
}

LONG SetWindowLongA(HWND handle, int index, LONG value)
{
    Win32LogCall("SetWindowLongA(%d, 0x%x)", index, unsigned(value));
    Win32Window* window = Win32FindWindow(handle);
    if (!window || (index != GWL_STYLE && index != GWL_EXSTYLE))
        return 0;
    DWORD& field = index == GWL_STYLE ? window->style : window->exStyle;
    LONG previous = LONG(field);
    field = DWORD(value);
    return previous;
}

HMENU GetMenu(HWND)
{
    return nullptr;
}

BOOL SetWindowPos(HWND handle, HWND, int x, int y, int width, int height, UINT flags)
{
    Win32LogCall("SetWindowPos(%d, %d, %d, %d, 0x%x)", x, y, width, height, flags);
    Win32Window* window = Win32FindWindow(handle);
    if (!window)
        return FALSE;
    RECT frame = Win32FrameInsets(window->style, false);
    if (!(flags & SWP_NOMOVE))
    {
        window->clientX = x + frame.left;
        window->clientY = y + frame.top;
        window->defaultPosition = false;
    }
    if (!(flags & SWP_NOSIZE))
    {
        window->clientWidth = std::max(0, width - frame.left - frame.right);
        window->clientHeight = std::max(0, height - frame.top - frame.bottom);
    }
    Win32Backend* backend = Win32RunningBackend();
    if (backend && backend->PlaceNativeWindow && window->native)
        backend->PlaceNativeWindow(backend, window);
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName)
{
    return moduleName ? nullptr : kProgramInstance;
}
