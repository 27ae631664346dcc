// Runs the game binary as a child process in a folder with a drive file, the way a person runs
// it headless, and gives back its exit, its output and its peak memory.
#pragma once

#include <string>

namespace gamerun
{

struct Result
{
    int exitCode = -1; ///< the code passed to exit, -1 when the process did not exit by itself
    int signal = 0;    ///< the signal that ended it, 0 when it exited
    std::string out;   ///< standard output
    std::string err;   ///< standard error
    double seconds = 0.0;
    long peakKb = 0; ///< the child's peak resident memory (getrusage)
};

/// The game binary of this build.
std::string GameBinary();
/// The player's folder of a run in folder: <folder>-user beside it.
std::string UserFolder(const std::string& folder);
/// Writes drive into <folder>/../<name of folder>.drive and runs binary in folder with
/// VELMORAN_DRIVE naming it, SDL's offscreen driver, OpenAL's null output and VELMORAN_USER_DIR
/// naming the player's folder (UserFolder when userFolder is empty), so a run never writes into
/// the home of whoever runs the tests.
Result Run(const std::string& binary, const std::string& folder, const std::string& drive,
           const std::string& userFolder = std::string());

/// A run started and not yet waited for.
struct Started
{
    int pid = -1; ///< -1 when it could not start (error says why)
    std::string outPath, errPath, error;
    double start = 0.0;
};
/// Run in two halves, so several games can run at once from one thread (a child forked from a
/// threaded test could block on a lock another thread held): Start forks and executes the game
/// as Run does, Finish waits for it and reads its output.
Started Start(const std::string& binary, const std::string& folder, const std::string& drive,
              const std::string& userFolder = std::string());
Result Finish(const Started& started);
/// Text of a sanitizer's report in err (AddressSanitizer, LeakSanitizer, UndefinedBehaviorSanitizer), or "".
std::string SanitizerReport(const std::string& err);
/// A file's bytes; "" when it cannot be read.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);

} // namespace gamerun
