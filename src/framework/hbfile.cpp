// HbFile: the read-open rule, the disk half with case-insensitive names, and the
// stdio operations on disk files and on pack-archive entries.
#include "hbfile.h"

#include "hbpack.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

HB_DEFINE_CLASS_POOL(HbFile, "HbFile", 10);

HbFileBeforeOpenFn HbFileBeforeOpenHook = nullptr;
HbFileNameFn HbFileNameHook = nullptr;
HbFileAfterOpenFn HbFileAfterOpenHook = nullptr;
HbFileBeforeCloseFn HbFileBeforeCloseHook = nullptr;
HbFileWriteLimitFn HbFileWriteLimitHook = nullptr;

HbFile* HbFileStdin = HbFileWrapCrt(stdin);
HbFile* HbFileStdout = HbFileWrapCrt(stdout);
HbFile* HbFileStderr = HbFileWrapCrt(stderr);

namespace
{

// ---- Disk names ---------------------------------------------------------------------

bool PathExists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool EqualIgnoringAsciiCase(const char* a, const std::string& b)
{
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i)
    {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + ('a' - 'A'));
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + ('a' - 'A'));
        if (x != y)
            return false;
    }
    return a[i] == 0 && i == b.size();
}

// The entry of a directory whose name equals the component ignoring ASCII case;
// the byte-wise smallest when several do, so the choice never depends on the
// directory's order. Empty when none does.
std::string FindIgnoringCase(const std::string& directory, const std::string& component)
{
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir)
        return {};
    std::string best;
    bool found = false;
    while (dirent* entry = ::readdir(dir))
    {
        if (!EqualIgnoringAsciiCase(entry->d_name, component))
            continue;
        if (!found || std::strcmp(entry->d_name, best.c_str()) < 0)
            best = entry->d_name;
        found = true;
    }
    ::closedir(dir);
    return best;
}

std::string Join(const std::string& directory, const std::string& name)
{
    if (directory.empty())
        return name;
    if (directory.back() == '/')
        return directory + name;
    return directory + '/' + name;
}

bool DiskExists(const char* name)
{
    return ::access(HbPathResolveOnDisk(name).c_str(), F_OK) == 0;
}

// The C runtime has no text mode here: 't' is dropped, the rest passed on.
std::string CrtMode(const char* mode)
{
    std::string result;
    for (const char* p = mode; *p; ++p)
        if (*p != 't')
            result += *p;
    return result;
}

// ---- Entries ------------------------------------------------------------------------

// Moves the archive's file to a position of the archive's data (an absolute
// seek; for an archive inside an archive, a seek on its entry record).
bool MoveArchiveFile(HbPackArchive* archive, int64_t position)
{
    HbFile* file = archive->GetFile();
    if (!file)
        return false;
    if (file->archive)
        return HbFileSeek(file, position, SEEK_SET) == 0;
    return file->crt && ::fseeko(file->crt, static_cast<off_t>(position), SEEK_SET) == 0;
}

// The shared positioning: every entry of an archive reads through the archive's
// one file, so an entry that did not move the file last moves it to its own
// position first.
bool PositionEntry(HbFile* entry)
{
    HbPackArchive* archive = entry->archive;
    if (archive->GetLastPositioned() == entry)
        return true;
    if (!MoveArchiveFile(archive, entry->position))
    {
        archive->SetLastPositioned(nullptr);
        entry->flags |= HbFile::kError;
        return false;
    }
    archive->SetLastPositioned(entry);
    return true;
}

// Forgets where the archive's file stands, so the next access positions it again.
void ForgetFilePosition(HbFile* entry)
{
    if (entry->archive->GetLastPositioned() == entry)
        entry->archive->SetLastPositioned(nullptr);
}

size_t ReadEntry(void* buffer, size_t size, size_t count, HbFile* entry)
{
    if (size == 0 || count == 0)
        return 0;
    if (!PositionEntry(entry))
        return 0;
    int64_t remaining = std::max<int64_t>(entry->entryEnd - entry->position, 0);
    uint64_t fit = size == 1 ? static_cast<uint64_t>(remaining) : static_cast<uint64_t>(remaining) / size;
    bool whole = count <= fit;
    size_t wanted = whole ? count : static_cast<size_t>(fit);
    HbFile* archiveFile = entry->archive->GetFile();
    size_t got = 0;
    if (wanted && archiveFile->crt && !archiveFile->archive)
    {
        // The archive's stream is only ever used under its shared positioning,
        // one entry at a time, so the stream's own lock buys nothing here.
        got = ::fread_unlocked(buffer, size, wanted, archiveFile->crt);
    }
    else if (wanted)
    {
        got = HbFileRead(buffer, size, wanted, archiveFile);
    }
    if (got < wanted)
    {
        // The archive's file ended early (it changed under us): its position is
        // no longer known.
        entry->position += static_cast<int64_t>(got * size);
        entry->flags |= HbFile::kEndOfFile;
        ForgetFilePosition(entry);
        return got;
    }
    if (whole)
    {
        entry->position += static_cast<int64_t>(got * size);
        entry->flags &= ~HbFile::kEndOfFile;
        return got;
    }
    // Only whole items are delivered; the entry ends up at its end.
    if (static_cast<int64_t>(got * size) != remaining)
        ForgetFilePosition(entry);
    entry->position = entry->entryEnd;
    entry->flags |= HbFile::kEndOfFile;
    return got;
}

char* GetsEntry(char* buffer, int capacity, HbFile* entry)
{
    if (!buffer || capacity <= 0)
        return nullptr;
    if (!PositionEntry(entry))
        return nullptr;
    if (entry->position >= entry->entryEnd)
    {
        entry->flags |= HbFile::kEndOfFile;
        return nullptr;
    }
    // The line is read no further than the entry's end, so the archive's file
    // never passes it.
    int64_t remaining = entry->entryEnd - entry->position;
    int limit = remaining + 1 < capacity ? static_cast<int>(remaining + 1) : capacity;
    HbFile* file = entry->archive->GetFile();
    char* result = HbFileGets(buffer, limit, file);
    int64_t now = HbFileTell(file);
    if (now < entry->position || now > entry->entryEnd)
    {
        ForgetFilePosition(entry);
        entry->position = entry->entryEnd;
        entry->flags |= HbFile::kEndOfFile | HbFile::kError;
        return nullptr;
    }
    entry->position = now;
    if (!result || now == entry->entryEnd)
        entry->flags |= HbFile::kEndOfFile;
    return result;
}

int GetcEntry(HbFile* entry)
{
    if (!PositionEntry(entry))
        return -1;
    if (entry->position >= entry->entryEnd)
    {
        entry->flags |= HbFile::kEndOfFile;
        return -1;
    }
    int c = HbFileGetc(entry->archive->GetFile());
    if (c < 0)
    {
        entry->flags |= HbFile::kEndOfFile;
        return -1;
    }
    ++entry->position;
    return c;
}

int SeekEntry(HbFile* entry, int64_t offset, int origin)
{
    int64_t base = 0;
    switch (origin)
    {
    case SEEK_SET:
        base = entry->entryStart;
        break;
    case SEEK_CUR:
        base = entry->position;
        break;
    case SEEK_END:
        base = entry->entryEnd;
        break;
    default:
        return -1;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < entry->entryStart || target > entry->entryEnd)
    {
        ForgetFilePosition(entry);
        entry->position = entry->entryEnd;
        entry->flags |= HbFile::kEndOfFile;
        return -1;
    }
    entry->flags &= ~HbFile::kEndOfFile;
    entry->position = target;
    entry->archive->SetLastPositioned(entry);
    if (!MoveArchiveFile(entry->archive, target))
    {
        ForgetFilePosition(entry);
        entry->flags |= HbFile::kError;
        return -1;
    }
    return 0;
}

// Writing operations refuse entries the way stdio refuses a read-only stream.
bool RefuseWrite(HbFile* file)
{
    if (!file)
        return true;
    if (file->archive)
    {
        file->flags |= HbFile::kError;
        return true;
    }
    return file->crt == nullptr;
}

} // namespace

// ---- Paths ----------------------------------------------------------------------------

std::string HbPathResolveOnDisk(const char* name)
{
    std::string path = name ? name : "";
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || PathExists(path))
        return path;

    std::string resolved = path[0] == '/' ? "/" : "";
    bool searching = true;
    size_t begin = 0;
    while (begin <= path.size())
    {
        size_t end = path.find('/', begin);
        if (end == std::string::npos)
            end = path.size();
        std::string component = path.substr(begin, end - begin);
        begin = end + 1;
        if (component.empty())
            continue;
        std::string candidate = Join(resolved, component);
        if (searching && component != "." && component != ".." && !PathExists(candidate))
        {
            std::string match = FindIgnoringCase(resolved, component);
            if (match.empty())
                searching = false; // nothing below a missing component can exist
            else
                candidate = Join(resolved, match);
        }
        resolved = candidate;
    }
    if (path.back() == '/' && !resolved.empty() && resolved.back() != '/')
        resolved += '/';
    return resolved;
}

int HbPathGetDirectory(const char* path, std::string& directory)
{
    std::string text = path ? path : "";
    size_t last = text.find_last_of("\\/");
    if (last == std::string::npos)
        directory = ".\\";
    else
        directory = text.substr(0, last + 1);
    return 1;
}

int HbPathGetFileName(const char* path, std::string& fileName)
{
    std::string text = path ? path : "";
    size_t last = text.find_last_of("\\/");
    fileName = last == std::string::npos ? text : text.substr(last + 1);
    return 1;
}

// ---- Opening and closing ----------------------------------------------------------------

HbFile* HbFileFromDisk(const char* name, const char* mode)
{
    if (!name || !mode)
        return nullptr;
    HbFile* file = new HbFile();
    if (!file)
        return nullptr;
    file->crt = std::fopen(HbPathResolveOnDisk(name).c_str(), CrtMode(mode).c_str());
    struct stat info;
    if (file->crt && (::fstat(::fileno(file->crt), &info) != 0 || S_ISDIR(info.st_mode)))
    {
        // A directory opens as a stream here but never does on the original platform.
        std::fclose(file->crt);
        file->crt = nullptr;
    }
    if (!file->crt)
    {
        delete file;
        return nullptr;
    }
    return file;
}

HbFile* HbFileOpen(const char* name, const char* mode)
{
    if (HbFileBeforeOpenHook)
        HbFileBeforeOpenHook();
    if (HbFileNameHook)
        HbFileNameHook(name);
    if (!name || !mode)
        return nullptr;

    // An update mode ('+') is never served from an archive, where its writes
    // would be lost.
    if (std::strchr(mode, 'r') && !std::strchr(mode, '+'))
    {
        HbPackSet* set = HbPackSet::Instance();
        if (set && set->GetEnabled() && set->GetMountedCount() > 0 && !set->IsExcluded(name))
        {
            if (HbFile* entry = set->OpenEntry(name, mode))
                return entry;
            if (!set->GetDiskFallback())
                return nullptr;
        }
    }
    HbFile* file = HbFileFromDisk(name, mode);
    if (file && HbFileAfterOpenHook)
        HbFileAfterOpenHook(file, name);
    return file;
}

int HbFileExists(const char* name)
{
    if (!name)
        return 0;
    HbPackSet* set = HbPackSet::Instance();
    if (set && set->GetMountedCount() > 0 && set->GetEnabled() && !set->IsExcluded(name))
        return set->Exists(name);
    return DiskExists(name) ? 1 : 0;
}

int HbFileClose(HbFile* file)
{
    if (!file)
        return EOF;
    if (HbFileBeforeCloseHook)
        HbFileBeforeCloseHook(file, 0);
    int result = 0;
    if (file->archive)
        ForgetFilePosition(file);
    else if (file->crt)
        result = std::fclose(file->crt);
    delete file;
    return result;
}

HbFile* HbFileWrapCrt(FILE* stream)
{
    if (!stream)
        return nullptr;
    HbFile* file = new HbFile();
    if (file)
        file->crt = stream;
    return file;
}

HbFile* HbFileOpenDescriptor(int descriptor, const char* mode)
{
    if (!mode)
        return nullptr;
    HbFile* file = new HbFile();
    if (!file)
        return nullptr;
    file->crt = ::fdopen(descriptor, CrtMode(mode).c_str());
    if (!file->crt)
    {
        delete file;
        return nullptr;
    }
    return file;
}

HbFile* HbFileOpenPipe(const char* command, const char* mode)
{
    if (!command || !mode)
        return nullptr;
    // A pipe has only a direction here; "rb" or "wt" would be refused.
    std::string pipeMode;
    if (std::strchr(mode, 'r'))
        pipeMode = "r";
    else if (std::strchr(mode, 'w'))
        pipeMode = "w";
    else
        return nullptr;
    HbFile* file = new HbFile();
    if (!file)
        return nullptr;
    file->crt = ::popen(command, pipeMode.c_str());
    if (!file->crt)
    {
        delete file;
        return nullptr;
    }
    return file;
}

int HbFileClosePipe(HbFile* file)
{
    if (!file || !file->crt)
        return -1;
    int result = ::pclose(file->crt);
    delete file;
    return result;
}

// ---- Reading and writing ----------------------------------------------------------------

size_t HbFileRead(void* buffer, size_t size, size_t count, HbFile* file)
{
    if (!file || !buffer)
        return 0;
    if (file->archive)
        return ReadEntry(buffer, size, count, file);
    return file->crt ? std::fread(buffer, size, count, file->crt) : 0;
}

size_t HbFileWrite(const void* buffer, size_t size, size_t count, HbFile* file)
{
    if (RefuseWrite(file) || !buffer)
        return 0;
    if (HbFileWriteLimitHook && size > 0)
    {
        const size_t allowed = HbFileWriteLimitHook(file, size * count) / size;
        if (allowed < count)
        {
            std::fwrite(buffer, size, allowed, file->crt);
            return allowed;
        }
    }
    return std::fwrite(buffer, size, count, file->crt);
}

char* HbFileGets(char* buffer, int capacity, HbFile* file)
{
    if (!file || !buffer || capacity <= 0)
        return nullptr;
    if (file->archive)
        return GetsEntry(buffer, capacity, file);
    return file->crt ? std::fgets(buffer, capacity, file->crt) : nullptr;
}

int HbFileGetc(HbFile* file)
{
    if (!file)
        return -1;
    if (file->archive)
        return GetcEntry(file);
    return file->crt ? std::fgetc(file->crt) : -1;
}

int HbFilePuts(const char* text, HbFile* file)
{
    if (RefuseWrite(file) || !text)
        return EOF;
    return std::fputs(text, file->crt);
}

int HbFilePutc(int c, HbFile* file)
{
    if (RefuseWrite(file))
        return EOF;
    return std::fputc(c, file->crt);
}

int HbFilePrintf(HbFile* file, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = HbFileVPrintf(file, format, arguments);
    va_end(arguments);
    return result;
}

int HbFileVPrintf(HbFile* file, const char* format, va_list arguments)
{
    if (RefuseWrite(file) || !format)
        return -1;
    return std::vfprintf(file->crt, format, arguments);
}

// ---- Position and state ------------------------------------------------------------------

int HbFileSeek(HbFile* file, int64_t offset, int origin)
{
    if (!file)
        return -1;
    if (file->archive)
        return SeekEntry(file, offset, origin);
    return file->crt && ::fseeko(file->crt, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

int64_t HbFileTell(HbFile* file)
{
    if (!file)
        return -1;
    if (file->archive)
        return file->position - file->entryStart;
    return file->crt ? static_cast<int64_t>(::ftello(file->crt)) : -1;
}

int HbFileEof(HbFile* file)
{
    if (!file)
        return 0;
    if (file->archive)
        return (file->flags & HbFile::kEndOfFile) ? 1 : 0;
    return file->crt ? std::feof(file->crt) : 0;
}

int HbFileError(HbFile* file)
{
    if (!file)
        return 0;
    if (file->archive)
        return (file->flags & HbFile::kError) ? 1 : 0;
    return file->crt ? std::ferror(file->crt) : 0;
}

void HbFileClearErr(HbFile* file)
{
    if (!file)
        return;
    if (file->archive)
        file->flags &= ~(HbFile::kEndOfFile | HbFile::kError);
    else if (file->crt)
        std::clearerr(file->crt);
}

int HbFileFlush(HbFile* file)
{
    if (!file)
        return EOF;
    if (file->archive)
        return 0; // nothing is ever buffered for writing in an entry
    return file->crt ? std::fflush(file->crt) : EOF;
}

int HbFileNo(HbFile* file)
{
    while (file && file->archive)
        file = file->archive->GetFile();
    return file && file->crt ? ::fileno(file->crt) : -1;
}

uintptr_t HbFileSetUserData(HbFile* file, uintptr_t word)
{
    if (!file)
        return 0;
    uintptr_t old = file->userData;
    file->userData = word;
    return old;
}
