// The SDL2 window system: native windows, focus and close events, key and
// mouse-button events, the desktop mode, the screen saver, the cursor and
// message boxes.
#include "win32_local.h"
#include "win32keyboard.h"

#include <SDL.h>
#if HB_HAS_XLIB
#include <X11/Xlib.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
struct SdlData
{
    bool headless;
};

SDL_Window* Native(Win32Window* window)
{
    return static_cast<SDL_Window*>(window->native);
}

// Windows ----------------------------------------------------------------------------

bool SdlCreateWindow(Win32Backend* self, Win32Window* window)
{
    // Drawable by OpenGL, so the graphics device can render into the window itself.
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL;
    if (window->style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    if (!(window->style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)))
        flags |= SDL_WINDOW_BORDERLESS;
    int x = window->defaultPosition ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : window->clientX;
    int y = window->defaultPosition ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : window->clientY;
    // A zero-sized window is refused by some drivers: keep one pixel.
    int width = window->clientWidth > 0 ? window->clientWidth : 1;
    int height = window->clientHeight > 0 ? window->clientHeight : 1;
    SDL_Window* native = SDL_CreateWindow(window->title.c_str(), x, y, width, height, flags);
    if (!native)
        return false;
    window->native = native;
    SDL_GetWindowPosition(native, &window->clientX, &window->clientY);
    return true;
}

void SdlDestroyWindow(Win32Backend* self, Win32Window* window)
{
    SDL_DestroyWindow(Native(window));
    window->native = nullptr;
}

void SdlShowWindow(Win32Backend* self, Win32Window* window, bool visible)
{
    if (visible)
        SDL_ShowWindow(Native(window));
    else
        SDL_HideWindow(Native(window));
}

void SdlMinimiseWindow(Win32Backend* self, Win32Window* window)
{
    SDL_MinimizeWindow(Native(window));
}

void SdlRestoreWindow(Win32Backend* self, Win32Window* window)
{
    SDL_RestoreWindow(Native(window));
}

void SdlPlaceWindow(Win32Backend* self, Win32Window* window)
{
    SDL_SetWindowPosition(Native(window), window->clientX, window->clientY);
    SDL_SetWindowSize(Native(window), std::max(window->clientWidth, 1), std::max(window->clientHeight, 1));
}

void* SdlGraphicsWindow(Win32Backend* self, Win32Window* window)
{
    return window->native;
}

void SdlRaiseWindow(Win32Backend* self, Win32Window* window)
{
    SDL_RaiseWindow(Native(window));
}

// Display ---------------------------------------------------------------------------

bool SdlGetDesktopSize(Win32Backend* self, int* width, int* height)
{
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return false;
    *width = mode.w;
    *height = mode.h;
    return true;
}

void SdlLeaveFullscreen(Win32Backend* self, Win32Window* window)
{
    if (SDL_GetWindowFlags(Native(window)) & SDL_WINDOW_FULLSCREEN)
        SDL_SetWindowFullscreen(Native(window), 0);
}

void SdlSetScreenSaver(Win32Backend* self, bool allowed)
{
    if (allowed)
        SDL_EnableScreenSaver();
    else
        SDL_DisableScreenSaver();
}

bool SdlHasDisplay(Win32Backend* self)
{
    return !static_cast<SdlData*>(self->internal)->headless;
}

// Events and time ------------------------------------------------------------------------

void HandleWindowEvent(const SDL_WindowEvent& event)
{
    Win32Window* window = Win32FindNativeWindow(SDL_GetWindowFromID(event.windowID));
    if (!window)
        return;
    switch (event.event)
    {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        Win32NotifyActivation(window, WA_ACTIVE, false);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        Win32NotifyActivation(window, WA_INACTIVE, false);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        Win32NotifyIconic(window, true);
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        // Focus comes with its own event; restoring only ends the iconic state.
        window->iconic = false;
        break;
    case SDL_WINDOWEVENT_MOVED:
        Win32NotifyClientArea(window, event.data1, event.data2, window->clientWidth, window->clientHeight);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        Win32NotifyClientArea(window, window->clientX, window->clientY, event.data1, event.data2);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        Win32NotifyCloseRequest(window);
        break;
    default:
        break;
    }
}

// Keys ------------------------------------------------------------------------------------

struct ScancodeKey
{
    SDL_Scancode scancode;
    BYTE virtualKey;
};

// Keys outside the ranges handled in VirtualKeyOfScancode.
constexpr ScancodeKey kScancodeKeys[] = {
    {SDL_SCANCODE_0, '0'},
    {SDL_SCANCODE_RETURN, VK_RETURN},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE},
    {SDL_SCANCODE_BACKSPACE, VK_BACK},
    {SDL_SCANCODE_TAB, VK_TAB},
    {SDL_SCANCODE_SPACE, VK_SPACE},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5},
    {SDL_SCANCODE_NONUSHASH, VK_OEM_5},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7},
    {SDL_SCANCODE_GRAVE, VK_OEM_3},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD},
    {SDL_SCANCODE_SLASH, VK_OEM_2},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL},
    {SDL_SCANCODE_PAUSE, VK_PAUSE},
    {SDL_SCANCODE_INSERT, VK_INSERT},
    {SDL_SCANCODE_HOME, VK_HOME},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR},
    {SDL_SCANCODE_DELETE, VK_DELETE},
    {SDL_SCANCODE_END, VK_END},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT},
    {SDL_SCANCODE_RIGHT, VK_RIGHT},
    {SDL_SCANCODE_LEFT, VK_LEFT},
    {SDL_SCANCODE_DOWN, VK_DOWN},
    {SDL_SCANCODE_UP, VK_UP},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},
    {SDL_SCANCODE_KP_PLUS, VK_ADD},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN},
    {SDL_SCANCODE_KP_0, VK_NUMPAD0},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL},
    {SDL_SCANCODE_KP_COMMA, VK_SEPARATOR},
    {SDL_SCANCODE_SEPARATOR, VK_SEPARATOR},
    {SDL_SCANCODE_KP_CLEAR, VK_CLEAR},
    {SDL_SCANCODE_CLEAR, VK_CLEAR},
    {SDL_SCANCODE_APPLICATION, VK_APPS},
    {SDL_SCANCODE_MENU, VK_APPS},
    {SDL_SCANCODE_EXECUTE, VK_EXECUTE},
    {SDL_SCANCODE_HELP, VK_HELP},
    {SDL_SCANCODE_SELECT, VK_SELECT},
    {SDL_SCANCODE_CANCEL, VK_CANCEL},
    {SDL_SCANCODE_CRSEL, VK_CRSEL},
    {SDL_SCANCODE_EXSEL, VK_EXSEL},
    {SDL_SCANCODE_LANG1, VK_HANGUL},
    {SDL_SCANCODE_LANG2, VK_HANJA},
    {SDL_SCANCODE_INTERNATIONAL2, VK_KANA},
    {SDL_SCANCODE_INTERNATIONAL4, VK_CONVERT},
    {SDL_SCANCODE_INTERNATIONAL5, VK_NONCONVERT},
    {SDL_SCANCODE_LCTRL, VK_LCONTROL},
    {SDL_SCANCODE_LSHIFT, VK_LSHIFT},
    {SDL_SCANCODE_LALT, VK_LMENU},
    {SDL_SCANCODE_LGUI, VK_LWIN},
    {SDL_SCANCODE_RCTRL, VK_RCONTROL},
    {SDL_SCANCODE_RSHIFT, VK_RSHIFT},
    {SDL_SCANCODE_RALT, VK_RMENU},
    {SDL_SCANCODE_RGUI, VK_RWIN},
};

// The virtual-key code of a key at its position on a US keyboard, or 0.
BYTE VirtualKeyOfScancode(SDL_Scancode code)
{
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z)
        return static_cast<BYTE>('A' + (code - SDL_SCANCODE_A));
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9)
        return static_cast<BYTE>('1' + (code - SDL_SCANCODE_1));
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12)
        return static_cast<BYTE>(VK_F1 + (code - SDL_SCANCODE_F1));
    if (code >= SDL_SCANCODE_F13 && code <= SDL_SCANCODE_F24)
        return static_cast<BYTE>(VK_F1 + 12 + (code - SDL_SCANCODE_F13));
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9)
        return static_cast<BYTE>(VK_NUMPAD0 + 1 + (code - SDL_SCANCODE_KP_1));
    for (const ScancodeKey& key : kScancodeKeys)
        if (key.scancode == code)
            return key.virtualKey;
    return 0;
}

// Letters follow the user's layout, as the platform's letter codes do (the key
// that types 'A' on a French keyboard is VK_A); every other key goes by its
// position, so the digit row stays VK_0..VK_9 whatever it types.
BYTE VirtualKeyOf(const SDL_Keysym& key)
{
    if (key.sym >= SDLK_a && key.sym <= SDLK_z)
        return static_cast<BYTE>('A' + (key.sym - SDLK_a));
    return VirtualKeyOfScancode(key.scancode);
}

BYTE VirtualKeyOfButton(Uint8 button)
{
    switch (button)
    {
    case SDL_BUTTON_LEFT:
        return VK_LBUTTON;
    case SDL_BUTTON_RIGHT:
        return VK_RBUTTON;
    case SDL_BUTTON_MIDDLE:
        return VK_MBUTTON;
    case SDL_BUTTON_X1:
        return VK_XBUTTON1;
    case SDL_BUTTON_X2:
        return VK_XBUTTON2;
    default:
        return 0;
    }
}

void SdlPumpEvents(Win32Backend* self)
{
    SDL_Event event;
    // Pads and mouse motion reach the input layer through SDL on their own;
    // keys and mouse buttons become the virtual-key state here.
    while (SDL_PollEvent(&event))
    {
        switch (event.type)
        {
        case SDL_WINDOWEVENT:
            HandleWindowEvent(event.window);
            break;
        case SDL_QUIT:
            Win32ForEachWindow([](Win32Window* window) { Win32NotifyCloseRequest(window); });
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (!event.key.repeat)
                Win32NotifyKey(VirtualKeyOf(event.key.keysym), event.type == SDL_KEYDOWN);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            Win32NotifyKey(VirtualKeyOfButton(event.button.button), event.type == SDL_MOUSEBUTTONDOWN);
            break;
        default:
            break;
        }
    }
}

void SdlWaitEvents(Win32Backend* self, uint32_t timeoutMs)
{
    SDL_WaitEventTimeout(nullptr, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs));
}

uint32_t SdlGetTicks(Win32Backend* self)
{
    return SDL_GetTicks();
}

// Cursor and message boxes -------------------------------------------------------------------

void SdlShowCursor(Win32Backend* self, bool visible)
{
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void SdlShowMessageBox(Win32Backend* self, const char* text, const char* caption, UINT type)
{
    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    if ((type & 0xF0) == MB_ICONERROR)
        flags = SDL_MESSAGEBOX_ERROR;
    else if ((type & 0xF0) == MB_ICONWARNING)
        flags = SDL_MESSAGEBOX_WARNING;
    if (static_cast<SdlData*>(self->internal)->headless || SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) != 0)
        std::fprintf(stderr, "%s: %s\n", caption, text);
}

void SdlDestroy(Win32Backend* self)
{
    delete static_cast<SdlData*>(self->internal);
    self->internal = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// The display went away (its server died or the connection broke). Xlib's own handler would call exit(), whose
// exit list shuts SDL down through the dead connection and never returns: say why the game ends and leave at
// once, without the exit list. Only async-signal-safe calls here.
[[noreturn]] void EndForLostDisplay()
{
    static const char kText[] = "The display connection was lost: the game ends.\n";
    ssize_t written = write(STDERR_FILENO, kText, sizeof kText - 1);
    (void)written;
    _exit(kWin32ExitDisplayLost);
}

#if HB_HAS_XLIB
int XDisplayLost(Display*)
{
    EndForLostDisplay();
}
#endif

/// When SDL draws through X, a lost connection ends the game by EndForLostDisplay.
void WatchDisplayConnection()
{
#if HB_HAS_XLIB
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0)
        XSetIOErrorHandler(XDisplayLost);
#endif
}

bool SdlCreate(Win32Backend* self)
{
    // Without a display SDL's off-screen driver still makes windows, so the
    // program runs headless; a driver the user chose is left alone.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    // The program switches the screen saver and minimises on focus loss itself.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    static bool quitRegistered = false;
    if (!quitRegistered)
    {
        quitRegistered = true;
        std::atexit(SDL_Quit);
        // Windows are OpenGL windows: the OpenGL driver is loaded once and stays for
        // the process, as the graphics device keeps it, instead of being unloaded
        // and loaded again with every window (a failure only leaves it to SDL).
        SDL_GL_LoadLibrary(nullptr);
    }
    WatchDisplayConnection();
    const char* driver = SDL_GetCurrentVideoDriver();
    auto* data = new SdlData{};
    data->headless = !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;

    self->CreateNativeWindow = SdlCreateWindow;
    self->DestroyNativeWindow = SdlDestroyWindow;
    self->ShowNativeWindow = SdlShowWindow;
    self->MinimiseNativeWindow = SdlMinimiseWindow;
    self->RestoreNativeWindow = SdlRestoreWindow;
    self->RaiseNativeWindow = SdlRaiseWindow;
    self->PlaceNativeWindow = SdlPlaceWindow;
    self->GetGraphicsWindow = SdlGraphicsWindow;
    self->GetDesktopSize = SdlGetDesktopSize;
    self->LeaveFullscreen = SdlLeaveFullscreen;
    self->SetScreenSaver = SdlSetScreenSaver;
    self->HasDisplay = SdlHasDisplay;
    self->PumpEvents = SdlPumpEvents;
    self->WaitEvents = SdlWaitEvents;
    self->GetTicks = SdlGetTicks;
    self->ShowNativeCursor = SdlShowCursor;
    self->ShowMessageBox = SdlShowMessageBox;
    self->Destroy = SdlDestroy;
    self->internal = data;
    return true;
}
} // namespace

const Win32Bootstrap kWin32SdlBootstrap = {"sdl", false, SdlCreate};

// ---- Test hooks ----------------------------------------------------------------------

static bool SdlRunning()
{
    Win32Backend* backend = Win32RunningBackend();
    return backend && backend->Destroy == SdlDestroy;
}

bool Win32TestPushSdlKey(const char* positionName, const char* symbolName, bool down, bool repeat)
{
    if (!SdlRunning() || !positionName || !symbolName)
        return false;
    SDL_Scancode scancode = SDL_GetScancodeFromName(positionName);
    SDL_Keycode keycode = SDL_GetKeyFromName(symbolName);
    if (scancode == SDL_SCANCODE_UNKNOWN || keycode == SDLK_UNKNOWN)
        return false;
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = keycode;
    return SDL_PushEvent(&event) == 1;
}

bool Win32TestPushSdlMouseButton(int button, bool down)
{
    if (!SdlRunning() || button < 1 || button > 5)
        return false;
    SDL_Event event = {};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = static_cast<Uint8>(button);
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    return SDL_PushEvent(&event) == 1;
}

void Win32TestLoseDisplay()
{
    EndForLostDisplay();
}
