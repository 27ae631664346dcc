// The bare application shell: the window and the message loop with hooks that do nothing,
// ending at its first frame. The start benchmark measures the game's start against it.
#include "hbapplication.h"

namespace
{
class BareShell : public HbApplication
{
public:
    int32_t Configure() override
    {
        WindowState().requestedWidth = 640;
        WindowState().requestedHeight = 480;
        return 0;
    }
    int32_t Tick() override
    {
        WindowState().flags |= HbWindowState::kQuit;
        PostQuitMessage(0);
        return 0;
    }
};

BareShell gShell;
} // namespace

int main()
{
    static char commandLine[] = "";
    return ApplicationMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
}
