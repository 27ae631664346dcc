// The program's application object and the entry that hands the command line to the
// application shell.
#include "app.h"

#include "gameapplication.h"
#include "gamedrive.h"
#include "gameservicesdefaults.h"
#include "hbapplication.h"
#include "hbuserfolder.h"

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

/// The player's folder for preferences, saves and screenshots, so the content folder is only
/// read; preferences an older run left in the content folder move over once.
void UseThePlayersFolder()
{
    HbUserFolderSet(HbUserFolderFromEnvironment("VELMORAN_USER_DIR", "velmoran"));
    for (const char* name : {"gprefs.dat", "vprefs.dat"})
        HbUserFileMoveIn(name);
}

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
    // Made by the entry, never at static construction: a program that links the library
    // without running the game (a test program with an application object of its own) must
    // not get a second one, which would end it at once.
    static GameApplication application;
    static std::string commandLine;
    commandLine = CommandLineText(argc, argv);
    GameServicesInstallDefaults();
    GameContentChecksInstall();
    UseThePlayersFolder();
    const long driveBound = GameDriveStart() ? GameDriveFrameBound() : 0;
    application.SetFrameBound(driveBound > 0 ? driveBound : FrameBound());
    int code = ApplicationMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
    if (GameApplication::EndedWithFailure())
        code = 1;
    GameDriveEnd(code);
    return code;
}
