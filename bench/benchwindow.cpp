// The renderer benchmarks' application window.
#include "benchwindow.h"

#include "hbapplication.h"
#include "win32.h"
#include "wrenderer.h"

#include <cstdio>
#include <cstdlib>

namespace
{
class BenchApplication : public HbApplication
{
};
BenchApplication gApplication;
} // namespace

bool BenchOpenWindow(const char* className, const char* title)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    RECT rect = {0, 0, 640, 480};
    AdjustWindowRect(&rect, HbWindowState::kDefaultStyle, FALSE);
    HWND window = CreateWindowExA(0, className, title, HbWindowState::kDefaultStyle, 0, 0, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return false;
    HbWindowState& state = gApplication.WindowState();
    state.window = window;
    state.requestedWidth = state.clientWidth = 640;
    state.requestedHeight = state.clientHeight = 480;
    return true;
}

HbWindowState& BenchWindowState()
{
    return gApplication.WindowState();
}

bool BenchStartRenderer(const char* className, const char* title, WRenderer*& renderer)
{
    if (!BenchOpenWindow(className, title))
        return false;
    renderer = WRenderer::Instance();
    return renderer && renderer->Start(gApplication.WindowState());
}

bool BenchStartOffscreen(bool (*start)(), void (*stop)())
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (start())
        return true;
    std::fprintf(stderr, "the renderer could not start\n");
    stop();
    return false;
}
