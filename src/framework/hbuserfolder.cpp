// The player's folder: where it is, making it, safe replacement of its files, the move of files
// an older run left in the working directory, and the one-time report of a folder that cannot be
// written.
#include "hbuserfolder.h"

#include "hbfile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
std::string gFolder;
bool gReported = false;

bool IsFolder(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// The renamed entry reaches the device with its folder; a failure here loses nothing already
/// written, so it is not reported.
void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}
} // namespace

std::string HbUserFolderFromEnvironment(const char* overrideVariable, const char* application)
{
    if (const char* chosen = overrideVariable ? std::getenv(overrideVariable) : nullptr; chosen && *chosen)
        return chosen;
    const std::string name = application ? application : "";
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return std::string(data) + "/" + name;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/" + name;
    return std::string();
}

const std::string& HbUserFolder()
{
    return gFolder;
}

void HbUserFolderSet(const std::string& folder)
{
    gFolder = folder;
    while (gFolder.size() > 1 && gFolder.back() == '/')
        gFolder.pop_back();
}

std::string HbUserPath(const char* name)
{
    const std::string file = name ? name : "";
    return gFolder.empty() ? file : gFolder + "/" + file;
}

int HbUserFolderMake()
{
    if (gFolder.empty())
        return 1;
    if (IsFolder(gFolder))
        return 1;
    // Each missing parent in turn; only the last one is the player's own.
    for (size_t at = gFolder.find('/', 1); at != std::string::npos; at = gFolder.find('/', at + 1))
    {
        const std::string parent = gFolder.substr(0, at);
        if (!IsFolder(parent) && ::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST)
            return 0;
    }
    if (::mkdir(gFolder.c_str(), 0700) != 0 && errno != EEXIST)
        return 0;
    return IsFolder(gFolder) ? 1 : 0;
}

namespace
{
HbFileReplaceHook gReplaceHook = nullptr;
}

void HbSetFileReplaceHook(HbFileReplaceHook hook)
{
    gReplaceHook = hook;
}

int HbFileReplace(const char* path, const void* bytes, size_t size)
{
    if (!path || !*path || (!bytes && size))
        return 0;
    const std::string target = HbPathResolveOnDisk(path);
    const std::string temporary = target + ".tmp";
    HbFile* file = HbFileOpen(temporary.c_str(), "wb");
    if (!file)
        return 0;
    bool good = size == 0 || HbFileWrite(bytes, size, 1, file) == 1;
    good = good && HbFileFlush(file) == 0 && !HbFileError(file);
    // The bytes are on the device before the name points at them: a crash after the rename
    // finds the whole new file, a crash before it the whole old one.
    good = good && ::fsync(HbFileNo(file)) == 0;
    if (good && gReplaceHook)
        gReplaceHook(target.c_str());
    good = HbFileClose(file) == 0 && good;
    if (good && std::rename(temporary.c_str(), target.c_str()) == 0)
    {
        SyncFolderOf(target);
        return 1;
    }
    std::remove(temporary.c_str());
    return 0;
}

int HbUserFileWrite(const char* name, const void* bytes, size_t size)
{
    if (!name || !*name || !HbUserFolderMake())
        return 0;
    return HbFileReplace(HbUserPath(name).c_str(), bytes, size);
}

int HbUserFileMoveIn(const char* name)
{
    if (gFolder.empty() || !name || !*name)
        return 0;
    struct stat info;
    if (::stat(HbUserPath(name).c_str(), &info) == 0 || ::stat(name, &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    HbFile* old = HbFileFromDisk(name, "rb");
    if (!old)
        return 0;
    std::vector<uint8_t> bytes;
    uint8_t block[512];
    size_t got = 0;
    while ((got = HbFileRead(block, 1, sizeof(block), old)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    const bool readWhole = !HbFileError(old);
    HbFileClose(old);
    if (!readWhole || !HbUserFileWrite(name, bytes.data(), bytes.size()))
        return 0;
    std::remove(name);
    return 1;
}

void HbUserFolderReportUnwritable()
{
    if (gReported)
        return;
    gReported = true;
    const std::string where = gFolder.empty() ? std::string("the working directory") : gFolder;
    std::fprintf(stderr, "The settings cannot be saved: %s cannot be written.\n", where.c_str());
}

int HbUserFolderReported()
{
    return gReported ? 1 : 0;
}

void HbUserFolderResetReport()
{
    gReported = false;
}
