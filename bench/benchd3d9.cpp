// The engine started on our Direct3D 9 layer for the device-level benchmarks.
#include "benchd3d9.h"

#include "d3d9device.h"
#include "engine.h"
#include "win32.h"

#include <cstdio>
#include <cstdlib>

namespace
{
HWND sWindow = nullptr;
}

int BenchStartD3D9Engine(const char* className, const char* title, int width, int height, int32_t arenaSize,
                         bool (*beforeOpen)())
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Engine::SetDriver(D3D9Device::Driver());
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    sWindow = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr, nullptr, nullptr,
                              nullptr);
    const int step = !Engine::Init(nullptr, 0, arenaSize) ? 1
                     : beforeOpen && !beforeOpen()            ? 2
                     : !Engine::Open(&sWindow)                ? 3
                     : !Engine::Start()                       ? 4
                                                              : 0;
    if (step)
        std::fprintf(stderr, "the Direct3D 9 device could not be started (step %d)\n", step);
    return step;
}

void BenchStopD3D9Engine()
{
    Engine::Stop();
    Engine::Close();
    Engine::Term();
    if (sWindow)
        DestroyWindow(sWindow);
    sWindow = nullptr;
}
