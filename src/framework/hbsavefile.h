// Save files: HbMemoryStreamBuf (a fixed-size memory buffer), HbSaveFile (a
// chunk stream over one, written to and read from disk whole) and
// HbSaveObjectRegistry (named objects kept with a reference, and the listing
// of save files).
#pragma once

#include "hbchunkstream.h"
#include "hbhashmap.h"
#include "hbperclassfreelist.h"
#include "hbroot.h"
#include "hbstringarray.h"

#include <cstdint>
#include <string>

// ---- Memory buffer -----------------------------------------------------------------------

/// A buffer of fixed capacity from the save module's 4,300-byte arena. It never
/// grows: a transfer that does not fit is refused whole (reads deliver what
/// remains), and a seek outside 0..capacity is refused.
class HbMemoryStreamBuf : public HbStreamBuf
{
    HB_DECLARE_CLASS_POOL();

public:
    explicit HbMemoryStreamBuf(uint32_t capacity);
    ~HbMemoryStreamBuf() override;

    /// Allocates the buffer and resets it; 1, or 0 when the arena has no room.
    int Open();
    /// Gives the block back; 1, or 0 when nothing was open.
    int Close() override;
    size_t Read(void* destination, size_t count) override;
    size_t Write(const void* source, size_t count) override;
    /// origin 0: start + offset; 1: position + offset; 2: capacity - offset.
    int Seek(int64_t offset, int origin) override;
    int64_t Tell() override { return mPosition; }
    /// Zeroes the whole buffer; position and written count back to 0.
    int Reset() override;
    int64_t Size() override { return mData ? mCapacity : 0; }

    /// A copy of the whole buffer (capacity bytes) from HbHeapAlloc, the
    /// caller's to free with HbHeapFree; null when nothing was written since
    /// the buffer was opened, or when out of memory.
    uint8_t* GetContents() const;

    bool IsOpen() const { return mData != nullptr; }
    const uint8_t* GetData() const { return mData; }
    uint32_t GetCapacity() const { return mCapacity; }
    uint64_t GetWrittenCount() const { return mWritten; }

private:
    uint8_t* mData = nullptr;
    uint32_t mPosition = 0;
    uint64_t mWritten = 0;
    uint32_t mCapacity;
};

// ---- Save files ----------------------------------------------------------------------------

/// Built in memory and written to disk whole: the file is the buffer's
/// bytes, chunks followed by zero bytes up to the capacity. Typed transfers are
/// guarded by the access mode and answer 1 on success, else 0; callers stop at
/// the first 0.
class HbSaveFile : public HbRoot
{
    HB_DECLARE_CLASS_POOL();
    HB_DECLARE_CLASS_DESC();

public:
    enum Mode : int32_t
    {
        kIdle = 0,
        kReading = 1,
        kWriting = 2,
    };

    static constexpr uint32_t kDefaultCapacity = 2048;

    /// Capacity 0 means kDefaultCapacity. A save file whose buffer can be made
    /// starts in kWriting at position 0; otherwise it has no chunk stream, stays
    /// in kIdle and every operation answers 0.
    explicit HbSaveFile(uint32_t capacity = 0);
    ~HbSaveFile() override;

    /// In kIdle: rewinds to the start and enters kReading. 1 whenever the
    /// buffer exists (another mode is left as it is), else 0.
    virtual int BeginRead();
    /// Enters kIdle; answers the mode it left.
    virtual int EndAccess();

    virtual int WriteInt32(int32_t value);
    virtual int WriteReal(float value);
    virtual int WriteUInt32(uint32_t value);
    /// The characters and a zero byte; texts over 1023 characters are refused.
    virtual int WriteString(const char* text);
    virtual int ReadInt32(int32_t& value);
    virtual int ReadReal(float& value);
    virtual int ReadUInt32(uint32_t& value);
    /// Up to and including a zero byte; longer than 1023 characters is refused.
    virtual int ReadString(std::string& text);

    /// Writes the whole buffer (capacity bytes) to the path on disk. Nothing is
    /// touched when nothing was written: 0. The bytes go to a temporary file
    /// beside the target, flushed to the device, which then replaces it
    /// (HbFileReplace), so a failure never destroys an existing save. 1 on
    /// success.
    virtual int WriteToFile(const char* path);
    /// Fills the buffer from the file (from its position on), rewinds and
    /// enters kIdle; the caller then calls BeginRead. A file that does not fit
    /// the capacity, or a read error, is refused: 0 with the buffer emptied
    /// (all zeros) and the mode kIdle.
    virtual int ReadFromFile(const char* path);
    /// The chunk stream through which callers begin, end, find and leave
    /// chunks; null when the buffer could not be made.
    virtual HbMChunkStream* GetChunkStream() { return mStream; }

    int32_t GetMode() const { return mMode; }
    /// The buffer beneath the chunk stream; null when it could not be made.
    HbMemoryStreamBuf* GetMemoryBuffer() const;

private:
    bool CanWrite() const { return mStream && mMode == kWriting; }
    bool CanRead() const { return mStream && mMode == kReading; }

    int32_t mMode = kIdle;
    HbMChunkStream* mStream = nullptr;
};

// ---- Save-object registry -------------------------------------------------------------------

/// Named root objects, each kept with one reference.
class HbSaveObjectRegistry : public HbAllocated
{
public:
    HbSaveObjectRegistry() = default;
    /// Releases one reference of every stored object.
    virtual ~HbSaveObjectRegistry();
    HbSaveObjectRegistry(const HbSaveObjectRegistry&) = delete;
    HbSaveObjectRegistry& operator=(const HbSaveObjectRegistry&) = delete;

    /// The object stored under the name, or null.
    virtual HbRoot* Find(const char* name);
    /// 0 when the name is taken or the object is null; otherwise takes a
    /// reference on the object, stores it and answers 1.
    virtual int Add(const char* name, HbRoot* object);
    /// 0 when absent; otherwise releases one reference (the object is deleted
    /// when it was the last) and drops the name; 1.
    virtual int Remove(const char* name);
    /// Appends the name (without directory) of every entry of the pattern's
    /// directory that matches its last part, a wildcard pattern ('*' any run,
    /// '?' one character, ASCII case ignored: save names were made on a
    /// case-insensitive file system). Names come sorted without regard to
    /// ASCII case, so the listing does not depend on the disk's own order;
    /// "." and ".." are never listed. 1, also when nothing matches; 0 when the
    /// directory cannot be read.
    virtual int ListFiles(HbStringArray& out, const char* pattern);

    int32_t GetCount() const { return mObjects.GetCount(); }

private:
    StringHashMap mObjects{17, 10};
};

/// 1 when the name matches the wildcard pattern ('*', '?', ASCII case ignored).
int HbWildcardMatch(const char* pattern, const char* name);
