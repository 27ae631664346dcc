// The SDL2 window system: native windows, focus and close events, the desktop
// mode, the screen saver, the cursor and message boxes.
#include "win32_local.h"

#include <SDL.h>

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
    Uint32 flags = SDL_WINDOW_HIDDEN;
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

void SdlPumpEvents(Win32Backend* self)
{
    SDL_Event event;
    // Input devices are read as state (keyboard, mouse, pads), which SDL keeps
    // whether or not their events are read, so every other event is dropped.
    while (SDL_PollEvent(&event))
    {
        if (event.type == SDL_WINDOWEVENT)
            HandleWindowEvent(event.window);
        else if (event.type == SDL_QUIT)
            Win32ForEachWindow([](Win32Window* window) { Win32NotifyCloseRequest(window); });
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
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    auto* data = new SdlData{};
    data->headless = !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;

    self->CreateNativeWindow = SdlCreateWindow;
    self->DestroyNativeWindow = SdlDestroyWindow;
    self->ShowNativeWindow = SdlShowWindow;
    self->MinimiseNativeWindow = SdlMinimiseWindow;
    self->RestoreNativeWindow = SdlRestoreWindow;
    self->RaiseNativeWindow = SdlRaiseWindow;
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
