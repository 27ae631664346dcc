// Framework chunk streams: HbStreamBuf (a byte store), HbStream (typed values
// over it), HbMChunkStream (nested chunks with 28-byte headers) and the string
// transfers every chunk file uses.
#pragma once

#include "hbmemory.h"
#include "hbperclassfreelist.h"

#include <cstddef>
#include <cstdint>
#include <string>

class HbStream;

// ---- Byte stores ---------------------------------------------------------------------

/// The bytes beneath a stream: a memory buffer or a file.
class HbStreamBuf : public HbAllocated
{
public:
    HbStreamBuf() = default;
    virtual ~HbStreamBuf() = default;
    HbStreamBuf(const HbStreamBuf&) = delete;
    HbStreamBuf& operator=(const HbStreamBuf&) = delete;

    /// 1 on success, 0 when nothing was open.
    virtual int Close() = 0;
    /// The bytes transferred; fewer than asked at the end of the data.
    virtual size_t Read(void* destination, size_t count) = 0;
    virtual size_t Write(const void* source, size_t count) = 0;
    /// origin 0 from the start, 1 from the current position, 2 from the end (as
    /// each store defines it); 1 on success, else 0.
    virtual int Seek(int64_t offset, int origin) = 0;
    /// The position, or -1.
    virtual int64_t Tell() = 0;
    virtual int Reset() { return 0; }
    /// The byte count of the data, or -1 when unknown; scans never pass it.
    virtual int64_t Size() = 0;
    /// Brings the owner's state word up to date after a transfer.
    virtual void UpdateState(uint32_t& state) {}
};

// ---- Typed streams -------------------------------------------------------------------

/// Values are moved as their bytes in little-endian order. Every typed transfer
/// answers 1 when the whole value moved and 0 otherwise; a failed read leaves
/// the value untouched.
class HbStream : public HbAllocated
{
public:
    /// The state word's bits.
    enum State : uint32_t
    {
        kUsable = 0x1,
        kEndOfData = 0x2,
        kChecksumsRight = 0x10000, ///< every chunk header seen so far was right
        kAtChunkEnd = 0x20000,     ///< the scan has reached the enclosing chunk's end
        kInitialState = kUsable | kChecksumsRight,
    };

    /// Takes the buffer (may be null) and destroys it with the stream.
    explicit HbStream(HbStreamBuf* buffer);
    virtual ~HbStream();
    HbStream(const HbStream&) = delete;
    HbStream& operator=(const HbStream&) = delete;

    HbStreamBuf* GetBuffer() const { return mBuffer; }
    uint32_t GetState() const { return mState; }
    void SetStateBits(uint32_t bits) { mState |= bits; }
    void ClearStateBits(uint32_t bits) { mState &= ~bits; }
    /// The buffer's Close: 1 on success.
    int CloseFile();

    // Bytes. A short read sets kEndOfData; a seek that lands clears it.
    size_t ReadBytes(void* destination, size_t count);
    size_t WriteBytes(const void* source, size_t count);
    int Seek(int64_t offset, int origin);
    int64_t Tell();

    // Typed values, in the slot order of the reader and writer interfaces.
    virtual int ReadBool(bool& value);
    virtual int ReadInt64(int64_t& value);
    virtual int ReadInt32(int32_t& value);
    virtual int ReadUInt64(uint64_t& value);
    virtual int ReadDouble(double& value);
    virtual int ReadUInt32(uint32_t& value);
    virtual int ReadReal(float& value);
    virtual int ReadInt16(int16_t& value);
    virtual int ReadUInt16(uint16_t& value);
    virtual int ReadInt8(int8_t& value);
    virtual int ReadUInt8(uint8_t& value);

    virtual int WriteBool(bool value);
    virtual int WriteInt64(int64_t value);
    virtual int WriteInt32(int32_t value);
    virtual int WriteUInt64(uint64_t value);
    virtual int WriteDouble(double value);
    virtual int WriteUInt32(uint32_t value);
    virtual int WriteReal(float value);
    virtual int WriteInt16(int16_t value);
    virtual int WriteUInt16(uint16_t value);
    virtual int WriteInt8(int8_t value);
    virtual int WriteUInt8(uint8_t value);

protected:
    /// Reads count bytes (up to 8) little-endian into value; 1 when all came.
    int ReadLittle(uint64_t& value, size_t count);
    int WriteLittle(uint64_t value, size_t count);

private:
    HbStreamBuf* mBuffer;
    uint32_t mState = kInitialState;
};

/// The longest string HbReadCString accepts, its zero not counted.
constexpr size_t kHbMaxCStringLength = 1023;

/// The characters and one zero byte; 1, or 0 when the text is longer than
/// kHbMaxCStringLength (nothing is written then) or a write fails.
int HbWriteCStringToStream(HbStream* stream, const char* text);
/// Reads characters up to and including a zero byte. 1 with the text; 0 with
/// out emptied when the data ends first, or when the string is longer than
/// kHbMaxCStringLength (its bytes are still consumed, up to the zero, so the
/// next value is read from its right place).
int HbReadCString(HbStream* stream, std::string& out);

// ---- Chunk streams ---------------------------------------------------------------------

constexpr uint32_t kHbChunkHeaderSize = 28;
/// Added to the sum of the six other header fields to make the checksum.
constexpr uint32_t kHbChunkChecksumSeed = 713760;
constexpr uint32_t kHbChunkReserved = 0xFFFFFFFF;
/// The limit while no chunk is being read.
constexpr uint32_t kHbNoChunkLimit = 0xFFFFFFFF;

/// The seven header fields as stored (little-endian, in this order).
struct HbChunkHeaderFields
{
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t key1 = 0;
    uint32_t key2 = 0;
    uint32_t value = 0;
    uint32_t reserved = 0;
    uint32_t checksum = 0;

    /// id + size + key1 + key2 + value + reserved + 713760, modulo 2^32.
    uint32_t ComputeChecksum() const;
};

/// One open chunk on a stream's chunk stack.
struct HbChunkHeader : public HbAllocated
{
    HbChunkHeaderFields fields;
    /// Where the chunk's contents begin.
    int64_t contentsStart = 0;
    /// Being read (FindChunk) rather than written (BeginChunk).
    bool reading = false;
    /// Written chunks only: the header could not be written, so EndChunk has
    /// nothing to patch.
    bool failed = false;
    HbChunkHeader* inner = nullptr;
    HbChunkHeader* outer = nullptr;
};

/// Writes and reads nested chunks. Callers pair each BeginChunk with an
/// EndChunk and each successful FindChunk with a LeaveChunk.
class HbMChunkStream : public HbStream
{
    HB_DECLARE_CLASS_POOL();

public:
    /// Takes the buffer, as HbStream does.
    explicit HbMChunkStream(HbStreamBuf* buffer);
    /// Releases any chunk records left on the stack.
    ~HbMChunkStream() override;

    /// Writes a header {id, size 0xFFFFFFFF, key1, key2, value, reserved and
    /// checksum 0xFFFFFFFF} at the position and opens the chunk; answers where
    /// its contents begin, or 0 when the header could not be written (the chunk
    /// is opened all the same, so that the matching EndChunk stays paired).
    uint32_t BeginChunk(uint32_t id, uint32_t key1, uint32_t key2, uint32_t value);
    /// Closes the innermost written chunk: patches its size, reserved field and
    /// checksum and returns to the end of its contents. The size, or 0 when no
    /// written chunk is open or its header could not be patched.
    uint32_t EndChunk();

    /// Scans forward from the position for the chunk (id, key1, key2) and enters
    /// it. Answers the header's value, or 0 when no such chunk follows; a chunk
    /// whose value is 0 is not entered, so 0 always leaves nothing to leave. A
    /// scan stops (not found, position restored) once a skipped chunk reaches
    /// the end of the enclosing chunk (kAtChunkEnd), at the end of the data, at
    /// a header whose checksum is wrong (kChecksumsRight is cleared) and at a
    /// header whose size passes the data's end or, for a chunk that begins
    /// inside the enclosing one, that chunk's end. A matching header at or
    /// beyond the enclosing chunk's end is entered: the next sibling can be
    /// found without leaving the current chunk.
    uint32_t FindChunk(uint32_t id, uint32_t key1, uint32_t key2);
    /// FindChunk that tells "found" apart from the header's value: 1 with the
    /// header when the chunk was entered (whatever its value), else 0.
    int FindChunkHeader(uint32_t id, uint32_t key1, uint32_t key2, HbChunkHeaderFields* header);
    /// Seeks to the end of the innermost chunk being read and leaves it;
    /// nothing when the innermost open chunk is not one being read.
    void LeaveChunk();

    /// Forgets every open chunk without touching the data or the position (for
    /// a reader or writer that stopped half-way).
    void DropChunks();

    /// Where the innermost chunk being read ends; kHbNoChunkLimit when none.
    uint32_t GetLimit() const;
    /// Open chunks, read and written.
    int32_t GetDepth() const { return mDepth; }

private:
    void Push(HbChunkHeader* record);
    void Pop();
    int WriteHeader(const HbChunkHeaderFields& header);
    int ReadHeader(HbChunkHeaderFields& header);
    void UpdateLimit();

    HbChunkHeader* mInnermost = nullptr;
    int32_t mDepth = 0;
    /// The end of the innermost chunk being read; -1 when none.
    int64_t mLimit = -1;
};
