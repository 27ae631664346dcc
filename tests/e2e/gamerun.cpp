// The child-process runner of the end-to-end tests and the start benchmark.
#include "gamerun.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace gamerun
{

std::string GameBinary()
{
    return VELMORAN_BINARY;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return bool(out);
}

std::string UserFolder(const std::string& folder)
{
    const fs::path dir = fs::absolute(folder);
    return (dir.parent_path() / (dir.filename().string() + "-user")).string();
}

namespace
{
double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
} // namespace

Started Start(const std::string& binary, const std::string& folder, const std::string& drive,
              const std::string& userFolder)
{
    Started started;
    const fs::path dir = fs::absolute(folder);
    const std::string user = userFolder.empty() ? UserFolder(folder) : userFolder;
    const fs::path drivePath = dir.parent_path() / (dir.filename().string() + ".drive");
    started.outPath = (dir.parent_path() / (dir.filename().string() + ".out")).string();
    started.errPath = (dir.parent_path() / (dir.filename().string() + ".err")).string();
    if (!WriteFile(drivePath.string(), drive))
    {
        started.error = "cannot write " + drivePath.string();
        return started;
    }
    started.start = Now();
    const pid_t child = fork();
    if (child == 0)
    {
        const int out = open(started.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(started.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        setenv("VELMORAN_DRIVE", drivePath.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("VELMORAN_USER_DIR", user.c_str(), 1);
        unsetenv("VELMORAN_MAX_FRAMES");
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0)
        started.error = "cannot fork";
    started.pid = child < 0 ? -1 : int(child);
    return started;
}

Result Finish(const Started& started)
{
    Result result;
    if (started.pid < 0)
    {
        result.err = started.error;
        return result;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid_t(started.pid), &status, 0, &usage) == pid_t(started.pid))
    {
        if (WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result.signal = WTERMSIG(status);
        result.peakKb = usage.ru_maxrss;
    }
    result.seconds = Now() - started.start;
    result.out = ReadFile(started.outPath);
    result.err = ReadFile(started.errPath);
    return result;
}

Result Run(const std::string& binary, const std::string& folder, const std::string& drive,
           const std::string& userFolder)
{
    return Finish(Start(binary, folder, drive, userFolder));
}

std::string SanitizerReport(const std::string& err)
{
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        if (const size_t at = err.find(mark); at != std::string::npos)
            return err.substr(at > 200 ? at - 200 : 0, 2000);
    return "";
}

} // namespace gamerun
