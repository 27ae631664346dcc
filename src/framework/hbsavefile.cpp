// Save files: the memory buffer, the guarded typed transfers, writing and
// reading whole files, and the save-object registry with its file listing.
#include "hbsavefile.h"

#include "hbexitlist.h"
#include "hbfile.h"
#include "hbmodulearena.h"
#include "hbmoduleinit.h"
#include "hbuserfolder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

HB_DEFINE_CLASS_DESC(HbSaveFile, HbRoot);
HB_DEFINE_CLASS_POOL(HbSaveFile, "HbSaveFile", 2);
HB_DEFINE_CLASS_POOL(HbMemoryStreamBuf, "HbMemoryStreamBuf", 2);

namespace
{
// Room for two default buffers; save buffers never come from anywhere else.
constinit HbModuleArena gSaveArena{4300, false};
bool gExitRegistered = false;

void ReleaseSaveArena()
{
    gSaveArena.ReleaseWhenEmpty();
}

int CreateSaveArena()
{
    int made = gSaveArena.Create();
    if (made && !gExitRegistered)
    {
        gExitRegistered = true;
        HbExitList::Add(&ReleaseSaveArena);
    }
    return made;
}

int SaveArenaExists()
{
    return gSaveArena.Exists();
}

[[maybe_unused]] const int gSaveArenaInit = HbRegisterModuleInit(CreateSaveArena, SaveArenaExists);
} // namespace

// ---- HbMemoryStreamBuf -------------------------------------------------------------------------

HbMemoryStreamBuf::HbMemoryStreamBuf(uint32_t capacity) : mCapacity(capacity) {}

HbMemoryStreamBuf::~HbMemoryStreamBuf()
{
    Close();
}

int HbMemoryStreamBuf::Open()
{
    if (mData)
        return 1;
    if (mCapacity == 0 || !CreateSaveArena())
        return 0;
    mData = static_cast<uint8_t*>(gSaveArena.Alloc(mCapacity));
    if (!mData)
        return 0;
    Reset();
    return 1;
}

int HbMemoryStreamBuf::Close()
{
    if (!mData)
        return 0;
    gSaveArena.Free(mData);
    mData = nullptr;
    mPosition = 0;
    mWritten = 0;
    return 1;
}

size_t HbMemoryStreamBuf::Read(void* destination, size_t count)
{
    if (!mData)
        return 0;
    size_t n = std::min<size_t>(count, mCapacity - mPosition);
    if (n)
        std::memcpy(destination, mData + mPosition, n);
    mPosition += static_cast<uint32_t>(n);
    return n;
}

size_t HbMemoryStreamBuf::Write(const void* source, size_t count)
{
    if (!mData || count > mCapacity - mPosition)
        return 0;
    if (count)
        std::memcpy(mData + mPosition, source, count);
    mPosition += static_cast<uint32_t>(count);
    mWritten += count;
    return count;
}

int HbMemoryStreamBuf::Seek(int64_t offset, int origin)
{
    if (!mData)
        return 0;
    int64_t base = 0;
    switch (origin)
    {
    case 0:
        base = 0;
        break;
    case 1:
        base = mPosition;
        break;
    case 2:
        // Counted back from the end.
        if (offset == INT64_MIN)
            return 0;
        base = mCapacity;
        offset = -offset;
        break;
    default:
        return 0;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0 || target > int64_t(mCapacity))
        return 0;
    mPosition = static_cast<uint32_t>(target);
    return 1;
}

int HbMemoryStreamBuf::Reset()
{
    if (!mData)
        return 0;
    std::memset(mData, 0, mCapacity);
    mPosition = 0;
    mWritten = 0;
    return 1;
}

uint8_t* HbMemoryStreamBuf::GetContents() const
{
    if (!mData || mWritten == 0)
        return nullptr;
    auto* copy = static_cast<uint8_t*>(HbHeapAlloc(mCapacity));
    if (copy)
        std::memcpy(copy, mData, mCapacity);
    return copy;
}

// ---- HbSaveFile -------------------------------------------------------------------------------

HbSaveFile::HbSaveFile(uint32_t capacity)
{
    auto* buffer = new HbMemoryStreamBuf(capacity ? capacity : kDefaultCapacity);
    if (!buffer)
        return;
    if (!buffer->Open())
    {
        delete buffer;
        return;
    }
    mStream = new HbMChunkStream(buffer);
    if (!mStream)
    {
        delete buffer;
        return;
    }
    mMode = kWriting;
    mStream->Seek(0, 0);
}

HbSaveFile::~HbSaveFile()
{
    delete mStream;
}

HbMemoryStreamBuf* HbSaveFile::GetMemoryBuffer() const
{
    return mStream ? static_cast<HbMemoryStreamBuf*>(mStream->GetBuffer()) : nullptr;
}

int HbSaveFile::BeginRead()
{
    if (!mStream)
        return 0;
    if (mMode == kIdle)
    {
        // A reader that stopped half-way must not bound the next one's scans.
        mStream->DropChunks();
        mStream->Seek(0, 0);
        mMode = kReading;
    }
    return 1;
}

int HbSaveFile::EndAccess()
{
    int32_t previous = mMode;
    mMode = kIdle;
    return previous;
}

int HbSaveFile::WriteInt32(int32_t value)
{
    return CanWrite() ? mStream->WriteInt32(value) : 0;
}

int HbSaveFile::WriteReal(float value)
{
    return CanWrite() ? mStream->WriteReal(value) : 0;
}

int HbSaveFile::WriteUInt32(uint32_t value)
{
    return CanWrite() ? mStream->WriteUInt32(value) : 0;
}

int HbSaveFile::WriteString(const char* text)
{
    return CanWrite() ? HbWriteCStringToStream(mStream, text) : 0;
}

int HbSaveFile::ReadInt32(int32_t& value)
{
    return CanRead() ? mStream->ReadInt32(value) : 0;
}

int HbSaveFile::ReadReal(float& value)
{
    return CanRead() ? mStream->ReadReal(value) : 0;
}

int HbSaveFile::ReadUInt32(uint32_t& value)
{
    return CanRead() ? mStream->ReadUInt32(value) : 0;
}

int HbSaveFile::ReadString(std::string& text)
{
    return CanRead() ? HbReadCString(mStream, text) : 0;
}

int HbSaveFile::WriteToFile(const char* path)
{
    HbMemoryStreamBuf* buffer = GetMemoryBuffer();
    if (!buffer || !path || !*path)
        return 0;
    uint8_t* contents = buffer->GetContents();
    if (!contents)
        return 0;
    const int result = HbFileReplace(path, contents, buffer->GetCapacity());
    HbHeapFree(contents);
    return result;
}

int HbSaveFile::ReadFromFile(const char* path)
{
    HbMemoryStreamBuf* buffer = GetMemoryBuffer();
    if (!buffer || !path)
        return 0;
    HbFile* file = HbFileOpen(path, "rb");
    if (!file)
        return 0;
    bool fits = true;
    uint8_t block[512];
    while (!HbFileEof(file) && !HbFileError(file))
    {
        size_t got = HbFileRead(block, 1, sizeof(block), file);
        if (got == 0)
            break;
        if (buffer->Write(block, got) != got)
        {
            fits = false;
            break;
        }
    }
    bool failed = !fits || HbFileError(file);
    HbFileClose(file);
    if (failed)
        buffer->Reset();
    mStream->DropChunks();
    mStream->Seek(0, 0);
    mStream->ClearStateBits(HbStream::kEndOfData);
    mMode = kIdle;
    return failed ? 0 : 1;
}

// ---- HbSaveObjectRegistry ------------------------------------------------------------------------

HbSaveObjectRegistry::~HbSaveObjectRegistry()
{
    HbPosition position = mObjects.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (mObjects.GetNextAssoc(position, name, value))
        static_cast<HbRoot*>(value)->Release();
    mObjects.RemoveAll();
}

HbRoot* HbSaveObjectRegistry::Find(const char* name)
{
    return static_cast<HbRoot*>(mObjects.Lookup(name ? name : ""));
}

int HbSaveObjectRegistry::Add(const char* name, HbRoot* object)
{
    if (!object || Find(name))
        return 0;
    void** slot = mObjects.FindOrInsert(name ? name : "");
    if (!slot)
        return 0;
    object->AddRef();
    *slot = object;
    return 1;
}

int HbSaveObjectRegistry::Remove(const char* name)
{
    HbRoot* object = Find(name);
    if (!object)
        return 0;
    mObjects.Remove(name ? name : "");
    object->Release();
    return 1;
}

namespace
{
char Fold(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Fold(x) < Fold(y); });
}
} // namespace

int HbWildcardMatch(const char* pattern, const char* name)
{
    // Iterative match with one back-track point for the last '*'.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name)
    {
        if (*pattern == '*')
        {
            star = pattern++;
            resume = name;
        }
        else if (*pattern && (*pattern == '?' || Fold(*pattern) == Fold(*name)))
        {
            ++pattern;
            ++name;
        }
        else if (star)
        {
            pattern = star + 1;
            name = ++resume;
        }
        else
        {
            return 0;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0 ? 1 : 0;
}

int HbSaveObjectRegistry::ListFiles(HbStringArray& out, const char* pattern)
{
    if (!pattern)
        return 0;
    std::string directory;
    std::string filePattern = pattern;
    const char* separator = std::strrchr(pattern, '\\');
    const char* slash = std::strrchr(pattern, '/');
    if (slash && (!separator || slash > separator))
        separator = slash;
    if (separator)
    {
        directory.assign(pattern, size_t(separator - pattern) + 1);
        filePattern = separator + 1;
    }
    std::string onDisk = directory.empty() ? std::string(".") : HbPathResolveOnDisk(directory.c_str());
    DIR* dir = ::opendir(onDisk.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir))
    {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (HbWildcardMatch(filePattern.c_str(), entry->d_name))
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    for (const std::string& name : names)
        if (out.Append(name) < 0)
            return 0;
    return 1;
}
