// The performance counter: 10 MHz ticks of the monotonic clock (or the frequency
// a test sets), or a counter the tests set.
#include "win32.h"
#include "win32testhooks.h"

#include <atomic>
#include <ctime>

namespace
{
constexpr int64_t kDefaultFrequency = 10000000;
std::atomic<int64_t> gFrequency{kDefaultFrequency};
std::atomic<bool> gFrozen{false};
std::atomic<int64_t> gFrozenTicks{0};
} // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (!frequency)
        return FALSE;
    frequency->QuadPart = gFrequency;
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
    const int64_t hz = gFrequency;
    count->QuadPart = static_cast<int64_t>(now.tv_sec) * hz + static_cast<int64_t>(now.tv_nsec) * hz / 1000000000;
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

void Win32TestSetPerformanceFrequency(int64_t hz)
{
    gFrequency = hz > 0 ? hz : kDefaultFrequency;
}
