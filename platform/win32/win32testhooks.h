// Test hooks of our Win32 layer: the scripted window system with its clock,
// fault injection and the call log. Only tests include this header.
#pragma once

#include "win32.h"

#include <cstdint>
#include <string>
#include <vector>

/// What the scripted window system does to the oldest live window.
enum class Win32ScriptEvent
{
    Activate,      ///< WM_ACTIVATE WA_ACTIVE, sent even when already active
    ClickActivate, ///< WM_ACTIVATE WA_CLICKACTIVE, sent even when already active
    Deactivate,    ///< WM_ACTIVATE WA_INACTIVE, sent even when already inactive
    Minimise,      ///< iconic; an active window is deactivated (high word 1)
    Restore,       ///< not iconic; an inactive window is activated
    Close,         ///< the user closes the window: WM_CLOSE is posted
};

enum class Win32Fault
{
    RegisterClass, ///< RegisterClassA returns 0
    CreateWindow,  ///< the window system cannot make a window
    KeyboardState, ///< GetKeyboardState returns FALSE
    Count
};

/// Forgets every class, window, message and timer, switches the window system
/// to the script (clock 0, no steps, desktop 1024 x 768, no faults), and
/// empties the call log and starts recording it.
void Win32TestUseScript();
/// The same reset over a backend of the list by name ("sdl"); false when it
/// cannot start (no backend runs then).
bool Win32TestUseBackend(const char* name);

// ---- Script ------------------------------------------------------------------------
// The script is a queue of steps; every PeekMessageA pumps the window system
// once and so consumes exactly one step. An empty script does nothing.

void Win32TestQueueEvent(Win32ScriptEvent event);
/// Passes in which nothing happens.
void Win32TestQueueIdle(int passes);
/// A pass that first moves the clock on by ms.
void Win32TestQueueAdvance(uint32_t ms);
int Win32TestPendingSteps();

void Win32TestSetClock(uint32_t ms);
uint32_t Win32TestClock();
void Win32TestSetDesktopSize(int width, int height);

// ---- Performance counter -----------------------------------------------------------

/// Freezes the performance counter at ticks (10 MHz); later calls move it.
void Win32TestSetPerformanceCounter(int64_t ticks);
void Win32TestAdvancePerformanceCounter(int64_t ticks);
/// Back to the monotonic system clock.
void Win32TestUseRealPerformanceCounter();
/// The counter's ticks per second; 0 restores 10 MHz.
void Win32TestSetPerformanceFrequency(int64_t hz);

// ---- Keyboard and events --------------------------------------------------------------

/// A key or mouse button of that virtual-key code goes down or up, as the
/// window system reports it (VK_LBUTTON 1, VK_RBUTTON 2, VK_MBUTTON 4 for the
/// buttons; a left or right modifier also moves its generic code).
void Win32TestKeyEvent(uint8_t virtualKey, bool down);
/// With the SDL window system running: puts a key event in SDL's queue, the
/// key named as SDL names its positions ("Q", "1", "Keypad 7", "Right Ctrl")
/// and its symbols ("A", "&", "F12"); the next PeekMessageA takes it. False
/// when SDL does not run or a name is unknown.
bool Win32TestPushSdlKey(const char* positionName, const char* symbolName, bool down, bool repeat);
/// The same for a mouse button in SDL's numbering: 1 left, 2 middle, 3 right, 4 and 5 the side buttons.
bool Win32TestPushSdlMouseButton(int button, bool down);
/// 1 while the event is signalled, 0 when not, -1 for a handle that is not live.
int Win32TestEventState(HANDLE event);

// ---- Faults ------------------------------------------------------------------------

void Win32TestSetFault(Win32Fault fault, bool on);

// ---- Call log ----------------------------------------------------------------------
// One line per call of the display, window-state, timer and quit calls, as
// "SetTimer(1,20)", "ChangeDisplaySettingsA(null,4)", "CloseWindow", ...

const std::vector<std::string>& Win32TestCallLog();
void Win32TestClearCallLog();
/// Lines that start with prefix.
int Win32TestCountCalls(const std::string& prefix);
/// Adds a line of the test's own (a hook that ran), to check order against calls.
void Win32TestLogNote(const std::string& note);

/// What a lost display does: the message on stderr, then the process ends with kWin32ExitDisplayLost without
/// running its exit list. Never returns (call it in a child process).
[[noreturn]] void Win32TestLoseDisplay();
