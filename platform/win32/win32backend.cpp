// Choice of the window-system backend, the layer reset, the call log and the
// injected faults.
#include "win32_local.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
// In order of preference; the script is demand-only, so a program never falls
// back to a window system that nobody drives.
const Win32Bootstrap* const kBootstraps[] = {&kWin32SdlBootstrap, &kWin32ScriptBootstrap};

Win32Backend gBackend;
bool gBackendRunning = false;
bool gBackendTried = false;

bool gLogging = false;
std::vector<std::string> gCallLog;
bool gFaults[static_cast<int>(Win32Fault::Count)] = {};

bool StartBackend(const char* name)
{
    for (const Win32Bootstrap* boot : kBootstraps)
    {
        if (name ? std::strcmp(name, boot->name) != 0 : boot->demandOnly)
            continue;
        gBackend = Win32Backend{};
        gBackend.name = boot->name;
        if (boot->Create(&gBackend))
        {
            gBackendRunning = true;
            return true;
        }
        gBackend = Win32Backend{};
    }
    return false;
}

void StopBackend()
{
    if (gBackendRunning && gBackend.Destroy)
        gBackend.Destroy(&gBackend);
    gBackend = Win32Backend{};
    gBackendRunning = false;
}
} // namespace

Win32Backend* Win32GetBackend()
{
    if (!gBackendRunning && !gBackendTried)
    {
        // One attempt: a window system that failed to start does not start later.
        gBackendTried = true;
        StartBackend(nullptr);
    }
    return gBackendRunning ? &gBackend : nullptr;
}

Win32Backend* Win32RunningBackend()
{
    return gBackendRunning ? &gBackend : nullptr;
}

bool Win32RestartLayer(const char* backendName)
{
    Win32ResetWindows();
    Win32ResetMessages();
    Win32ResetSystem();
    Win32ResetKeyboard();
    StopBackend();
    gBackendTried = true;
    return StartBackend(backendName);
}

void Win32LogCall(const char* format, ...)
{
    if (!gLogging)
        return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    gCallLog.emplace_back(line);
}

bool Win32FaultSet(Win32Fault fault)
{
    return gFaults[static_cast<int>(fault)];
}

// ---- Test hooks -------------------------------------------------------------------

static void ResetTestState()
{
    gCallLog.clear();
    gLogging = true;
    for (bool& fault : gFaults)
        fault = false;
}

void Win32TestUseScript()
{
    ResetTestState();
    Win32RestartLayer("script");
}

bool Win32TestUseBackend(const char* name)
{
    ResetTestState();
    return Win32RestartLayer(name);
}

void Win32TestSetFault(Win32Fault fault, bool on)
{
    gFaults[static_cast<int>(fault)] = on;
}

const std::vector<std::string>& Win32TestCallLog()
{
    return gCallLog;
}

void Win32TestClearCallLog()
{
    gCallLog.clear();
}

int Win32TestCountCalls(const std::string& prefix)
{
    int count = 0;
    for (const std::string& line : gCallLog)
        if (line.compare(0, prefix.size(), prefix) == 0)
            ++count;
    return count;
}

void Win32TestLogNote(const std::string& note)
{
    if (gLogging)
        gCallLog.push_back(note);
}
