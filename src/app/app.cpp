// The program's application object until the game exists, and the entry that
// hands the command line to the application shell.
#include "app.h"

#include "hbapplication.h"
#include "hbmoduleinit.h"
#include "wrenderer.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace
{
// Frames a run without a display makes before it ends by itself.
constexpr long kHeadlessFrames = 120;

// A positive VELMORAN_MAX_FRAMES bounds any run; without it only a run with no
// display (nobody to close the window) is bounded.
long FrameBound()
{
    if (const char* text = std::getenv("VELMORAN_MAX_FRAMES"))
    {
        errno = 0;
        char* end = nullptr;
        long frames = std::strtol(text, &end, 10);
        if (errno == 0 && end != text && *end == '\0' && frames > 0)
            return frames;
    }
    return Win32HasDisplay() ? 0 : kHeadlessFrames;
}

// Opens the 640 x 480 window, starts the renderer on it and presents empty frames until the
// window closes. A renderer that cannot start leaves the window blank; the run goes on.
class ShellApplication : public HbApplication
{
public:
    int32_t Configure() override
    {
        HbWindowState& state = WindowState();
        state.requestedWidth = 640;
        state.requestedHeight = 480;
        state.style = HbWindowState::kDefaultStyle;
        state.flags &= ~HbWindowState::kFullScreen;
        return 0;
    }

    int32_t Init() override
    {
        HbRunModuleInits();
        mFrameBound = FrameBound();
        WRenderer* renderer = WRenderer::Instance();
        mRendererStarted = renderer && renderer->Start(WindowState()) == 1;
        return 0;
    }

    int32_t Tick() override
    {
        if (mRendererStarted)
        {
            WRenderer* renderer = WRenderer::Instance();
            renderer->BeginFrame();
            renderer->EndFrame();
        }
        if (mFrameBound > 0 && ++mFrames >= mFrameBound)
        {
            WindowState().flags |= HbWindowState::kQuit;
            PostQuitMessage(0);
        }
        return 0;
    }

    // The renderer goes while the window and its device still exist, not at exit.
    int32_t Shutdown() override
    {
        WRenderer::DestroyInstance();
        mRendererStarted = false;
        return 0;
    }

private:
    long mFrameBound = 0;
    long mFrames = 0;
    bool mRendererStarted = false;
};

ShellApplication gShellApplication;

// The text after the program name, as the platform hands it over: arguments
// joined by spaces, those with blanks or quotes in double quotes.
std::string CommandLineText(int argc, char** argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i)
    {
        std::string argument = argv[i];
        if (i > 1)
            text += ' ';
        if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        {
            text += argument;
            continue;
        }
        text += '"';
        for (char c : argument)
        {
            if (c == '"')
                text += '\\';
            text += c;
        }
        text += '"';
    }
    return text;
}
} // namespace

int AppMain(int argc, char** argv)
{
    static std::string commandLine;
    commandLine = CommandLineText(argc, argv);
    return ApplicationMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
