// The application shell: HbApplication and its window state, the entry
// function, the window class, the main window and its procedure.
#pragma once

#include "hbptrlist.h"
#include "win32.h"

#include <cstdint>

/// The display and window record; the application's Configure hook and the
/// video layer set it, the input controllers and the game read it.
struct HbWindowState
{
    enum Flag : int32_t
    {
        kQuit = 0x1,
        kFullScreen = 0x2,
        // Copies of the selected video mode's flags 0x2, 0x4, 0x100 and 0x200.
        kModeFlag2 = 0x4,
        kModeFlag4 = 0x8,
        kModeFlag100 = 0x10,
        kModeFlag200 = 0x20,
    };

    /// WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX.
    static constexpr DWORD kDefaultStyle = 0xCA0000;

    int32_t flags = 0;
    int32_t clientWidth = 640;
    int32_t clientHeight = 480;
    /// Client size to create the window with; also the full-screen mode's size.
    int32_t requestedWidth = 0;
    int32_t requestedHeight = 0;
    int32_t colourDepth = 32;
    int32_t zDepth = 16;
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    LPSTR commandLine = nullptr;
    DWORD style = kDefaultStyle;
    int32_t active = 1;
    /// The desktop window's rectangle, taken when the main window is created.
    RECT desktop = {};

    /// 1 when the video mode's flags 0x1, 0x2, 0x4, 0x100 and 0x200 agree with
    /// flag bits 1 to 5, else 0. Any record with a flags field will do.
    template <class Mode> int ModeFlagsMatch(const Mode& mode) const
    {
        static constexpr struct
        {
            uint32_t mode;
            int32_t window;
        } kPairs[] = {
            {0x1, kFullScreen}, {0x2, kModeFlag2}, {0x4, kModeFlag4}, {0x100, kModeFlag100}, {0x200, kModeFlag200}};
        for (const auto& pair : kPairs)
            if (((static_cast<uint32_t>(mode.flags) & pair.mode) != 0) != ((flags & pair.window) != 0))
                return 0;
        return 1;
    }

    /// ModeFlagsMatch, and the mode's width, height and depth equal to the
    /// requested size and the colour depth; 1 or 0.
    template <class Mode> int ModeMatches(const Mode& mode) const
    {
        return ModeFlagsMatch(mode) && static_cast<int32_t>(mode.width) == requestedWidth &&
                       static_cast<int32_t>(mode.height) == requestedHeight &&
                       static_cast<int32_t>(mode.depth) == colourDepth
                   ? 1
                   : 0;
    }
};

/// The program: exactly one object of a class derived from it exists, a static
/// object. The shell drives it through the hooks below; every hook does nothing
/// here and the shell ignores their results.
class HbApplication
{
public:
    /// A second application object ends the program at once with exit code -1.
    HbApplication();
    HbApplication(const HbApplication&) = delete;
    HbApplication& operator=(const HbApplication&) = delete;

    /// Before the window exists (handles still null): the game makes its
    /// framework singletons here.
    virtual int32_t PreWindowInit() { return 0; }
    /// Must leave the requested size, the style and, for full screen, the
    /// full-screen flag in the window state; the window is created from them next.
    virtual int32_t Configure() { return 0; }
    /// The window is shown and the handles, command line and client size are
    /// set. Setting the quit flag here skips the message loop.
    virtual int32_t Init() { return 0; }
    /// The frame: from the idle loop while active, from the 20 ms timer while
    /// not. Set the quit flag (and post WM_QUIT if wanted) to end the program.
    virtual int32_t Tick() { return 0; }
    /// From WM_DESTROY, before the shell sets the quit flag.
    virtual int32_t Shutdown() { return 0; }
    // Spare hooks the shell never calls.
    virtual int32_t SpareHook5(int32_t, int32_t, int32_t, int32_t) { return 0; }
    virtual int32_t SpareHook6(int32_t, int32_t, int32_t, int32_t) { return 0; }
    virtual int32_t SpareHook7(int32_t, int32_t) { return 0; }
    virtual int32_t SpareHook8(int32_t, int32_t, int32_t, int32_t) { return 0; }
    virtual int32_t SpareHook9(int32_t, int32_t, int32_t, int32_t) { return 0; }

    /// Forgets the object as the program's application, so that another may follow.
    virtual ~HbApplication();

    /// The application object, null before it is constructed.
    static HbApplication* Get();

    HbWindowState& WindowState() { return mWindowState; }
    const HbWindowState& WindowState() const { return mWindowState; }
    /// 0 until Init has returned; the window procedure handles messages only after.
    int32_t Enabled() const { return mEnabled; }

private:
    friend int ApplicationMain(HINSTANCE, HINSTANCE, LPSTR, int);

    int32_t mEnabled = 0;
    HbWindowState mWindowState;
};

/// A start-up check: 0 stops the program before any hook runs.
using HbStartupCheck = int (*)();

/// The program's entry: registers the class, runs the start-up checks and the
/// hooks, creates and shows the window, runs the message loop, destroys the
/// window. Returns the exit code: the wParam of the last message the loop took,
/// 0 when it took none, and 0 for every failure before the loop.
int ApplicationMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
/// The window procedure of the application's class.
LRESULT ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// The class atom, 0 on failure.
uint32_t ApplicationRegisterClass(HINSTANCE instance);
/// The main window made from the window state, or null.
HWND ApplicationCreateWindow(HINSTANCE instance);
/// The list of HbStartupCheck functions, made on first use (a module appends
/// with AddTail before the entry function runs); null when out of memory.
HbPtrList* ApplicationStartupChecks();
