// Event objects: unnamed events with their signalled state, reached through
// handles that are never reused.
#include "win32_local.h"

#include <unordered_map>

namespace
{
struct Event
{
    bool manualReset;
    bool signalled;
};

std::unordered_map<uintptr_t, Event> gEvents;
uintptr_t gNextEvent = 0x4000;

Event* Find(HANDLE handle)
{
    auto it = gEvents.find(reinterpret_cast<uintptr_t>(handle));
    return it == gEvents.end() ? nullptr : &it->second;
}
} // namespace

HANDLE CreateEventA(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    // Named events are shared between processes; nothing here needs that.
    if (name)
        return nullptr;
    uintptr_t value = gNextEvent;
    gNextEvent += 4;
    gEvents[value] = Event{manualReset != FALSE, initialState != FALSE};
    return reinterpret_cast<HANDLE>(value);
}

BOOL SetEvent(HANDLE event)
{
    Event* found = Find(event);
    if (!found)
        return FALSE;
    found->signalled = true;
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    Event* found = Find(event);
    if (!found)
        return FALSE;
    found->signalled = false;
    return TRUE;
}

BOOL CloseHandle(HANDLE object)
{
    if (gEvents.erase(reinterpret_cast<uintptr_t>(object)))
        return TRUE;
    return Win32CloseMutex(object) ? TRUE : FALSE;
}

int Win32TestEventState(HANDLE event)
{
    Event* found = Find(event);
    return found ? (found->signalled ? 1 : 0) : -1;
}
