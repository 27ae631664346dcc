// The message queue, the window procedures' entry points and the timers.
#include "win32_local.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace
{
struct Timer
{
    HWND window;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC callback;
    uint32_t due;
};

std::deque<MSG> gPosted;
std::vector<Timer> gTimers;
bool gQuitPosted = false;
int gQuitCode = 0;
UINT_PTR gNextThreadTimerId = 0x7FF0;

constexpr UINT kMinimumElapse = 10;

bool Matches(const MSG& message, HWND window, UINT filterMin, UINT filterMax)
{
    if (window && message.hwnd != window)
        return false;
    if (filterMin == 0 && filterMax == 0)
        return true;
    return message.message >= filterMin && message.message <= filterMax;
}

// Clock values wrap at 2^32: compare by signed distance.
bool IsDue(uint32_t now, uint32_t due)
{
    return static_cast<int32_t>(now - due) >= 0;
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = Win32Now();
    return m;
}

// One attempt to find a message; the pump has run before.
bool TakeMessage(LPMSG out, HWND window, UINT filterMin, UINT filterMax, bool remove)
{
    for (auto it = gPosted.begin(); it != gPosted.end(); ++it)
    {
        if (!Matches(*it, window, filterMin, filterMax))
            continue;
        *out = *it;
        if (remove)
            gPosted.erase(it);
        return true;
    }
    // The quit message ends every loop, whichever window it filters on.
    if (gQuitPosted)
    {
        *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(gQuitCode), 0);
        if (remove)
            gQuitPosted = false;
        return true;
    }
    uint32_t now = Win32Now();
    for (Timer& timer : gTimers)
    {
        MSG candidate = MakeMessage(timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.callback));
        if (!IsDue(now, timer.due) || !Matches(candidate, window, filterMin, filterMax))
            continue;
        *out = candidate;
        if (remove)
            timer.due = now + timer.elapse;
        return true;
    }
    return false;
}

// Waiting is worth it only when nobody would tick from the idle branch: timers
// run and no window of ours is active.
bool ShouldWait(uint32_t* timeout)
{
    if (gTimers.empty())
        return false;
    for (int i = 0; i < Win32WindowCount(); ++i)
        if (Win32WindowAt(i)->active)
            return false;
    uint32_t now = Win32Now();
    uint32_t earliest = UINT32_MAX;
    for (const Timer& timer : gTimers)
        earliest = std::min(earliest, IsDue(now, timer.due) ? 0u : timer.due - now);
    *timeout = earliest;
    return true;
}
} // namespace

uint32_t Win32Now()
{
    Win32Backend* backend = Win32RunningBackend();
    return backend ? backend->GetTicks(backend) : 0;
}

void Win32ForgetWindowMessages(HWND window)
{
    std::erase_if(gPosted, [&](const MSG& m) { return m.hwnd == window; });
    std::erase_if(gTimers, [&](const Timer& t) { return t.window == window; });
}

void Win32ResetMessages()
{
    gPosted.clear();
    gTimers.clear();
    gQuitPosted = false;
    gQuitCode = 0;
}

// ---- Queue ---------------------------------------------------------------------------

BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!message)
        return FALSE;
    Win32Backend* backend = Win32GetBackend();
    if (backend)
        backend->PumpEvents(backend);
    bool remove = (removeFlags & PM_REMOVE) != 0;
    if (TakeMessage(message, window, filterMin, filterMax, remove))
        return TRUE;
    uint32_t timeout = 0;
    if (backend && backend->WaitEvents && ShouldWait(&timeout))
    {
        if (timeout > 0)
            backend->WaitEvents(backend, timeout);
        backend->PumpEvents(backend);
        return TakeMessage(message, window, filterMin, filterMax, remove) ? TRUE : FALSE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* message)
{
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message)
        return 0;
    if (message->message == WM_TIMER && message->lParam)
    {
        reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam, Win32Now());
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Win32Window* window = Win32FindWindow(handle);
    if (!window || !window->proc)
        return 0;
    return window->proc(handle, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !Win32FindWindow(window))
        return FALSE;
    gPosted.push_back(MakeMessage(window, message, wParam, lParam));
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    Win32LogCall("PostQuitMessage(%d)", exitCode);
    gQuitPosted = true;
    gQuitCode = exitCode;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE)
        DestroyWindow(window);
    return 0;
}

// ---- Timers ----------------------------------------------------------------------------

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback)
{
    Win32LogCall("SetTimer(%lu,%u)", static_cast<unsigned long>(id), elapse);
    if (window && !Win32FindWindow(window))
        return 0;
    if (!window)
        id = gNextThreadTimerId++;
    elapse = std::max(elapse, kMinimumElapse);
    uint32_t due = Win32Now() + elapse;
    for (Timer& timer : gTimers)
    {
        if (timer.window == window && timer.id == id)
        {
            timer = Timer{window, id, elapse, callback, due};
            return id;
        }
    }
    gTimers.push_back(Timer{window, id, elapse, callback, due});
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    Win32LogCall("KillTimer(%lu)", static_cast<unsigned long>(id));
    auto removed = std::erase_if(gTimers, [&](const Timer& t) { return t.window == window && t.id == id; });
    return removed ? TRUE : FALSE;
}
