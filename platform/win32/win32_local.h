// Inside our Win32 layer: the window-system backend table, the window record
// and the core functions the backends and the call files share.
#pragma once

#include "win32.h"
#include "win32testhooks.h"

#include <string>

// ---- Window record ----------------------------------------------------------------

struct Win32Window
{
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    // Client area: origin on the screen and size; the frame is derived from the style.
    int clientX = 0;
    int clientY = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    bool defaultPosition = false;
    bool visible = false;
    bool iconic = false;
    bool active = false;
    bool destroying = false;
    void* native = nullptr; ///< the backend's window, opaque to the core
};

// ---- Backend table ------------------------------------------------------------------

/// What a window system offers the core. A backend fills the table in its
/// create function; an entry marked optional may stay null and the core then
/// treats the feature as unsupported.
struct Win32Backend
{
    const char* name = nullptr;

    // Windows
    /// Makes the native window for a record whose title, style, client size
    /// and position are set; may move the client origin. False on failure.
    bool (*CreateNativeWindow)(Win32Backend* self, Win32Window* window) = nullptr;
    void (*DestroyNativeWindow)(Win32Backend* self, Win32Window* window) = nullptr;
    void (*ShowNativeWindow)(Win32Backend* self, Win32Window* window, bool visible) = nullptr;
    void (*MinimiseNativeWindow)(Win32Backend* self, Win32Window* window) = nullptr;
    void (*RestoreNativeWindow)(Win32Backend* self, Win32Window* window) = nullptr;
    void (*RaiseNativeWindow)(Win32Backend* self, Win32Window* window) = nullptr; ///< optional
    /// Moves and sizes the native window to the record's client origin and size. Optional.
    void (*PlaceNativeWindow)(Win32Backend* self, Win32Window* window) = nullptr;
    /// The window a graphics device draws into. Optional: null means none.
    void* (*GetGraphicsWindow)(Win32Backend* self, Win32Window* window) = nullptr;

    // Display
    bool (*GetDesktopSize)(Win32Backend* self, int* width, int* height) = nullptr;
    void (*LeaveFullscreen)(Win32Backend* self, Win32Window* window) = nullptr; ///< optional
    LONG (*SetDisplayMode)(Win32Backend* self, const DEVMODEA* mode) = nullptr; ///< optional
    void (*SetScreenSaver)(Win32Backend* self, bool allowed) = nullptr;
    /// False when windows reach no screen.
    bool (*HasDisplay)(Win32Backend* self) = nullptr;

    // Events and time
    /// Turns the window system's pending events into messages (Win32Notify*).
    void (*PumpEvents)(Win32Backend* self) = nullptr;
    /// Blocks until an event arrives or timeoutMs pass. Optional.
    void (*WaitEvents)(Win32Backend* self, uint32_t timeoutMs) = nullptr;
    /// Milliseconds since some start; wraps at 2^32.
    uint32_t (*GetTicks)(Win32Backend* self) = nullptr;

    // Cursor and message boxes
    void (*ShowNativeCursor)(Win32Backend* self, bool visible) = nullptr; ///< optional
    void (*ShowMessageBox)(Win32Backend* self, const char* text, const char* caption, UINT type) = nullptr;

    /// Undoes create; the core has destroyed every window before.
    void (*Destroy)(Win32Backend* self) = nullptr;

    void* internal = nullptr; ///< data private to the backend
};

/// One entry of the list of window systems, in order of preference. A
/// demand-only backend is started only when asked for by name.
struct Win32Bootstrap
{
    const char* name;
    bool demandOnly;
    bool (*Create)(Win32Backend* self);
};

extern const Win32Bootstrap kWin32SdlBootstrap;
extern const Win32Bootstrap kWin32ScriptBootstrap;

/// The running backend, starting the first available one on first use; null
/// when no window system can start.
Win32Backend* Win32GetBackend();
/// The running backend without starting one.
Win32Backend* Win32RunningBackend();
/// Forgets every window, class, message and timer, stops the backend and
/// starts the named one (the default choice for null). False when it cannot start.
bool Win32RestartLayer(const char* backendName);

// ---- Core services for the backends --------------------------------------------------

Win32Window* Win32FindWindow(HWND handle);
Win32Window* Win32FindNativeWindow(const void* native);
/// The oldest live window, or null.
Win32Window* Win32FirstWindow();
int Win32WindowCount();
Win32Window* Win32WindowAt(int index);

/// Records the window system's activation change and sends WM_ACTIVATE with
/// the window's iconic state in the high word. Unless forced, nothing is sent
/// when the window's activation does not change.
void Win32NotifyActivation(Win32Window* window, WORD kind, bool force);
/// Records minimising or restoring by the window system; minimising also
/// deactivates, restoring activates.
void Win32NotifyIconic(Win32Window* window, bool iconic);
/// The user asked to close the window: WM_CLOSE is posted.
void Win32NotifyCloseRequest(Win32Window* window);
void Win32NotifyClientArea(Win32Window* window, int x, int y, int width, int height);
/// A key or mouse button of that virtual-key code went down or up
/// (win32keyboard.cpp); left and right modifiers also move their generic code.
void Win32NotifyKey(uint8_t virtualKey, bool down);
/// Every key up, no press pending, every toggle clear.
void Win32ResetKeyboard();

/// The frame the style adds around the client area.
RECT Win32FrameInsets(DWORD style, bool menu);

// ---- Messages and timers (win32message.cpp) -------------------------------------------

/// Drops a destroyed window's posted messages and timers.
void Win32ForgetWindowMessages(HWND window);
void Win32ResetMessages();
/// The running backend's clock, 0 without one.
uint32_t Win32Now();

// ---- Windows and settings (win32window.cpp, win32system.cpp) --------------------------

/// Forgets every window and class without sending messages.
void Win32ResetWindows();
void Win32ResetSystem();

// ---- Mutexes (win32mutex.cpp) ----------------------------------------------------------

/// CloseHandle's half for mutexes: false when the handle is no live mutex.
bool Win32CloseMutex(HANDLE handle);

// ---- Call log and faults (win32backend.cpp) -------------------------------------------

/// Appends one line to the call log while tests record it.
void Win32LogCall(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool Win32FaultSet(Win32Fault fault);

template <class Function> void Win32ForEachWindow(Function function)
{
    for (int i = 0; i < Win32WindowCount(); ++i)
        function(Win32WindowAt(i));
}
