// Engine streams: bytes over an open file handle, a file opened by name, a block of memory
// or the caller's callbacks, with the chunk operations that every stored engine object is
// read and written through.
#pragma once

#include "byteorder.h"
#include "chunk.h"

#include <bit>
#include <cstdint>
#include <cstring>

enum StreamKind : int32_t
{
    kStreamFileHandle = 1, ///< a handle of the file-function table; the caller keeps it
    kStreamFileName = 2,
    kStreamMemory = 3,
    kStreamCustom = 4,
};

enum StreamAccess : int32_t
{
    kStreamRead = 1,
    kStreamWrite = 2,
    kStreamAppend = 3,
};

/// A block of bytes: what opens a memory stream for reading or appending, and what
/// closing a written one hands back.
struct MemoryBlock
{
    uint8_t* start;
    uint32_t length;
};

/// A custom stream's callbacks; each takes data first. A null read, write or skip makes
/// that operation fail.
struct StreamCallbacks
{
    void (*close)(void* data);
    /// Bytes read (more than asked counts as what was asked).
    uint32_t (*read)(void* data, void* buffer, uint32_t length);
    /// Non-zero on success.
    int32_t (*write)(void* data, const void* buffer, uint32_t length);
    /// Non-zero on success.
    int32_t (*skip)(void* data, uint32_t offset);
    void* data;
    /// Bytes still to read, or -1 when not known; null: not known.
    int64_t (*remaining)(void* data);
};

struct StreamMemory
{
    uint32_t position; ///< next byte to read or write
    uint32_t capacity; ///< bytes in the buffer
    uint8_t* buffer;
    /// The buffer came from the engine's memory through this stream, so it may be
    /// reallocated; a caller's block is copied into a new one on its first growth.
    bool ownsBuffer;
};

struct Stream
{
    int32_t kind;
    int32_t access;
    union
    {
        void* file; ///< kinds 1 and 2
        StreamMemory memory;
        StreamCallbacks custom;
    };
    int32_t owned; ///< the record came from the stream free list

    // ---- Opening and closing ----------------------------------------------------------

    /// argument: the file handle (kind 1), the name (kind 2), a MemoryBlock (kind 3; for
    /// writing it may be null) or a StreamCallbacks (kind 4), copied. A memory stream
    /// never reallocates a block it did not allocate: a stream opened for appending to the
    /// caller's block grows into a new engine block, and the caller keeps its own.
    /// Null on failure (13 unknown access, 14 unknown kind, 0x80000002 no such file).
    static Stream* Open(int32_t kind, int32_t access, const void* argument);
    /// A written or appended memory stream hands {buffer, bytes written} to block; the
    /// buffer is then the caller's, to free through the engine's memory (when it is not
    /// the caller's own block, which it keeps). Without a block an allocated buffer is
    /// freed. A kind-1 handle stays open. 1, or 0.
    static int32_t Close(Stream* stream, MemoryBlock* block);

    // ---- Bytes --------------------------------------------------------------------------

    /// The bytes read; fewer past the end (5 recorded, or 0x8000001A for a file error).
    /// A memory stream with the bytes at hand copies them from its buffer in place.
    static uint32_t Read(Stream* stream, void* buffer, uint32_t length)
    {
        if (stream->kind == kStreamMemory && length <= stream->memory.capacity - stream->memory.position)
        {
            CopySmall(buffer, stream->memory.buffer + stream->memory.position, length);
            stream->memory.position += length;
            return length;
        }
        // A callback stream's read goes straight to its callback.
        if (stream->kind == kStreamCustom && length && stream->custom.read)
        {
            const uint32_t n = stream->custom.read(stream->custom.data, buffer, length);
            return n < length ? n : length;
        }
        return ReadAny(stream, buffer, length);
    }
    static Stream* Write(Stream* stream, const void* buffer, uint32_t length);
    static Stream* Skip(Stream* stream, uint32_t length)
    {
        if (stream->kind == kStreamMemory && length <= stream->memory.capacity - stream->memory.position)
        {
            stream->memory.position += length;
            return stream;
        }
        return SkipAny(stream, length);
    }
    /// Fails (0x8000001A) whenever fewer bytes than asked were read, for every kind.
    /// length is in bytes; the words are little-endian on the stream.
    static Stream* ReadWords(Stream* stream, void* words, uint32_t length)
    {
        if (std::endian::native == std::endian::little && stream->kind == kStreamMemory &&
            length <= stream->memory.capacity - stream->memory.position)
        {
            CopySmall(words, stream->memory.buffer + stream->memory.position, length);
            stream->memory.position += length;
            return stream;
        }
        return ReadWordsAny(stream, words, length);
    }
    static Stream* WriteWords(Stream* stream, const void* words, uint32_t length);
    /// Bytes a stream still holds for reading: what is left of a memory block, of a file
    /// (its size less its position) or what a custom stream's remaining callback says;
    /// UINT64_MAX when that cannot be told. Counts and sizes read from a stream are checked
    /// against it before anything is allocated for them.
    static uint64_t Remaining(const Stream* stream);
    /// The stream, whatever the outcome.
    static Stream* WriteData(Stream* stream, const void* buffer, uint32_t length);

    // ---- Chunks --------------------------------------------------------------------------

    /// Each out pointer may be null. Checks no version. 1, or 0 (0x8000001A).
    static inline int32_t ReadChunkHeader(Stream* stream, uint32_t* type, uint32_t* size, uint32_t* version,
                                          uint32_t* build);
    static Stream* WriteChunkHeader(Stream* stream, uint32_t type, uint32_t size, uint32_t version, uint32_t build);
    /// Skips chunks of other types; at the wanted type, refuses an unreadable version
    /// (0x80000004) and otherwise leaves the stream at the start of the body. 1 or 0.
    static inline int32_t FindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version);

    // ---- Every kind, every case (behind Read and Skip) -------------------------------------

    /// Most reads are a few bytes: those are copied without a library call.
    static void CopySmall(void* to, const uint8_t* from, uint32_t length)
    {
        auto* out = static_cast<uint8_t*>(to);
        if (length > 16)
            std::memcpy(out, from, length);
        else if (length >= 8)
        {
            uint64_t head, tail;
            std::memcpy(&head, from, 8);
            std::memcpy(&tail, from + length - 8, 8);
            std::memcpy(out, &head, 8);
            std::memcpy(out + length - 8, &tail, 8);
        }
        else if (length >= 4)
        {
            uint32_t head, tail;
            std::memcpy(&head, from, 4);
            std::memcpy(&tail, from + length - 4, 4);
            std::memcpy(out, &head, 4);
            std::memcpy(out + length - 4, &tail, 4);
        }
        else
            for (uint32_t i = 0; i < length; ++i)
                out[i] = from[i];
    }

    static uint32_t ReadAny(Stream* stream, void* buffer, uint32_t length);
    static Stream* SkipAny(Stream* stream, uint32_t length);
    static Stream* ReadWordsAny(Stream* stream, void* words, uint32_t length);
    static int32_t ReadChunkHeaderAny(Stream* stream, uint32_t* type, uint32_t* size, uint32_t* version,
                                      uint32_t* build);
    static int32_t FindChunkAny(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version);

    // ---- The stream module (engine-level module 0x404) ---------------------------------------

    static constexpr int32_t kPluginId = 0x404;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};

// ---- Chunk headers of memory streams, decoded in place -----------------------------------------

inline int32_t Stream::ReadChunkHeader(Stream* stream, uint32_t* type, uint32_t* size, uint32_t* version,
                                       uint32_t* build)
{
    StreamMemory& m = stream->memory;
    if (stream->kind != kStreamMemory || kChunkHeaderSize > m.capacity - m.position)
        return ReadChunkHeaderAny(stream, type, size, version, build);
    const uint8_t* p = m.buffer + m.position;
    m.position += kChunkHeaderSize;
    uint32_t v = 0, b = 0;
    LibraryStamp::Decode(ByteOrder::Load32(p + 8), &v, &b);
    if (type)
        *type = ByteOrder::Load32(p);
    if (size)
        *size = ByteOrder::Load32(p + 4);
    if (version)
        *version = v;
    if (build)
        *build = b;
    return 1;
}

/// The wanted chunk lying next, with a readable version, is taken at once; every
/// other case (skipping, refusing, other kinds) goes the whole way.
inline int32_t Stream::FindChunk(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version)
{
    StreamMemory& m = stream->memory;
    if (stream->kind == kStreamMemory && kChunkHeaderSize <= m.capacity - m.position)
    {
        const uint8_t* p = m.buffer + m.position;
        const uint32_t stamp = ByteOrder::Load32(p + 8);
        if (ByteOrder::Load32(p) == type && LibraryStamp::IsReadableStamp(stamp))
        {
            m.position += kChunkHeaderSize;
            if (size)
                *size = ByteOrder::Load32(p + 4);
            if (version)
            {
                uint32_t b = 0;
                LibraryStamp::Decode(stamp, version, &b);
            }
            return 1;
        }
    }
    return FindChunkAny(stream, type, size, version);
}
