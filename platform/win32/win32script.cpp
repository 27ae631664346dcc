// The scripted window system for tests: windows without a display, events
// from a queue of steps, and a clock that moves only when told.
#include "win32_local.h"

#include <deque>

namespace
{
struct Step
{
    enum Kind
    {
        Event,
        Idle,
        Advance
    } kind;
    Win32ScriptEvent event;
    uint32_t ms;
};

// Kept beside the table, so the test hooks reach it; starting the script
// resets it.
struct ScriptState
{
    std::deque<Step> steps;
    uint32_t clock = 0;
    int desktopWidth = 1024;
    int desktopHeight = 768;
    int nextNative = 1;
};

ScriptState gScript;

bool ScriptCreateWindow(Win32Backend* self, Win32Window* window)
{
    // Any distinct non-null value identifies the "native" window.
    window->native = reinterpret_cast<void*>(static_cast<uintptr_t>(gScript.nextNative++));
    return true;
}

void ScriptDestroyWindow(Win32Backend* self, Win32Window* window)
{
    window->native = nullptr;
}

void ScriptNothing(Win32Backend* self, Win32Window* window) {}

void ScriptShowWindow(Win32Backend* self, Win32Window* window, bool visible) {}

bool ScriptGetDesktopSize(Win32Backend* self, int* width, int* height)
{
    *width = gScript.desktopWidth;
    *height = gScript.desktopHeight;
    return true;
}

void ScriptSetScreenSaver(Win32Backend* self, bool allowed) {}

bool ScriptHasDisplay(Win32Backend* self)
{
    return false;
}

void ApplyEvent(Win32ScriptEvent event)
{
    Win32Window* window = Win32FirstWindow();
    if (!window)
        return;
    switch (event)
    {
    case Win32ScriptEvent::Activate:
        Win32NotifyActivation(window, WA_ACTIVE, true);
        break;
    case Win32ScriptEvent::ClickActivate:
        Win32NotifyActivation(window, WA_CLICKACTIVE, true);
        break;
    case Win32ScriptEvent::Deactivate:
        Win32NotifyActivation(window, WA_INACTIVE, true);
        break;
    case Win32ScriptEvent::Minimise:
        Win32NotifyIconic(window, true);
        break;
    case Win32ScriptEvent::Restore:
        Win32NotifyIconic(window, false);
        break;
    case Win32ScriptEvent::Close:
        Win32NotifyCloseRequest(window);
        break;
    }
}

void ScriptPumpEvents(Win32Backend* self)
{
    if (gScript.steps.empty())
        return;
    Step step = gScript.steps.front();
    gScript.steps.pop_front();
    if (step.kind == Step::Event)
        ApplyEvent(step.event);
    else if (step.kind == Step::Advance)
        gScript.clock += step.ms;
}

uint32_t ScriptGetTicks(Win32Backend* self)
{
    return gScript.clock;
}

void ScriptShowMessageBox(Win32Backend* self, const char* text, const char* caption, UINT type)
{
    // The call log holds the box; tests keep stderr quiet.
}

bool ScriptCreate(Win32Backend* self)
{
    gScript.steps.clear();
    gScript.clock = 0;
    gScript.desktopWidth = 1024;
    gScript.desktopHeight = 768;
    self->CreateNativeWindow = ScriptCreateWindow;
    self->DestroyNativeWindow = ScriptDestroyWindow;
    self->ShowNativeWindow = ScriptShowWindow;
    self->MinimiseNativeWindow = ScriptNothing;
    self->RestoreNativeWindow = ScriptNothing;
    self->GetDesktopSize = ScriptGetDesktopSize;
    self->SetScreenSaver = ScriptSetScreenSaver;
    self->HasDisplay = ScriptHasDisplay;
    self->PumpEvents = ScriptPumpEvents;
    self->GetTicks = ScriptGetTicks;
    self->ShowMessageBox = ScriptShowMessageBox;
    return true;
}
} // namespace

const Win32Bootstrap kWin32ScriptBootstrap = {"script", true, ScriptCreate};

// ---- Test hooks ----------------------------------------------------------------------

void Win32TestQueueEvent(Win32ScriptEvent event)
{
    gScript.steps.push_back(Step{Step::Event, event, 0});
}

void Win32TestQueueIdle(int passes)
{
    for (int i = 0; i < passes; ++i)
        gScript.steps.push_back(Step{Step::Idle, Win32ScriptEvent::Activate, 0});
}

void Win32TestQueueAdvance(uint32_t ms)
{
    gScript.steps.push_back(Step{Step::Advance, Win32ScriptEvent::Activate, ms});
}

int Win32TestPendingSteps()
{
    return static_cast<int>(gScript.steps.size());
}

void Win32TestSetClock(uint32_t ms)
{
    gScript.clock = ms;
}

uint32_t Win32TestClock()
{
    return gScript.clock;
}

void Win32TestSetDesktopSize(int width, int height)
{
    gScript.desktopWidth = width;
    gScript.desktopHeight = height;
}
