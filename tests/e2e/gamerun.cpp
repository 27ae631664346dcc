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

Result Run(const std::string& binary, const std::string& folder, const std::string& drive,
           const std::string& userFolder)
{
    Result result;
    const fs::path dir = fs::absolute(folder);
    const std::string user = userFolder.empty() ? UserFolder(folder) : userFolder;
    const fs::path drivePath = dir.parent_path() / (dir.filename().string() + ".drive");
    const fs::path outPath = dir.parent_path() / (dir.filename().string() + ".out");
    const fs::path errPath = dir.parent_path() / (dir.filename().string() + ".err");
    if (!WriteFile(drivePath.string(), drive))
    {
        result.err = "cannot write " + drivePath.string();
        return result;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0)
    {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    {
        result.err = "cannot fork";
        return result;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) == child)
    {
        if (WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result.signal = WTERMSIG(status);
        result.peakKb = usage.ru_maxrss;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.out = ReadFile(outPath.string());
    result.err = ReadFile(errPath.string());
    return result;
}

std::string SanitizerReport(const std::string& err)
{
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        if (const size_t at = err.find(mark); at != std::string::npos)
            return err.substr(at > 200 ? at - 200 : 0, 2000);
    return "";
}

} // namespace gamerun
