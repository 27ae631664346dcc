// The performance counter: 10 MHz ticks of the monotonic clock, or a counter
// the tests set.
#include "win32.h"
#include "win32testhooks.h"

#include <atomic>
#include <ctime>

namespace
{
constexpr int64_t kFrequency = 10000000;
std::atomic<bool> gFrozen{false};
std::atomic<int64_t> gFrozenTicks{0};
} // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (!frequency)
        return FALSE;
    frequency->QuadPart = kFrequency;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count)
{
    if (!count)
        return FALSE;
    if (gFrozen)
    {
        count->QuadPart = gFrozenTicks;
        return TRUE;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = static_cast<int64_t>(now.tv_sec) * kFrequency + now.tv_nsec / 100;
    return TRUE;
}

void Win32TestSetPerformanceCounter(int64_t ticks)
{
    gFrozenTicks = ticks;
    gFrozen = true;
}

void Win32TestAdvancePerformanceCounter(int64_t ticks)
{
    gFrozenTicks += ticks;
}

void Win32TestUseRealPerformanceCounter()
{
    gFrozen = false;
}
