// Chunk headers, library stamps and string chunks.
#include "chunk.h"

#include "byteorder.h"
#include "error.h"
#include "memory.h"
#include "stream.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint32_t kStringHint = kMemoryHintObject | kChunkString;
constexpr uint32_t kPiece = 256; // even, so only a wide body's last piece can be odd
constexpr size_t kFirstAllocation = 64;

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

// Reads a string body of size bytes into out, a piece at a time. With allocate set, out
// starts null and grows as bytes actually arrive, so a hostile size costs nothing until
// the stream backs it. Always leaves room for a terminator when allocating.
bool ReadStringBody(Stream* stream, uint32_t size, bool wide, char*& out, size_t& capacity, size_t& stored,
                    bool allocate)
{
    uint8_t piece[kPiece];
    stored = 0;
    for (uint32_t left = size; left > 0;)
    {
        uint32_t n = std::min(left, kPiece);
        if (Stream::Read(stream, piece, n) < n)
            return false;
        left -= n;
        size_t count = wide ? n / 2 : n;
        if (allocate && stored + count + 1 > capacity)
        {
            size_t wanted = std::max({capacity * 2, stored + count + 1, kFirstAllocation});
            size_t most = size_t(wide ? size / 2 : size) + 1;
            wanted = std::min(wanted, most);
            char* grown = static_cast<char*>(out ? Memory::Reallocate(out, wanted, kStringHint | kMemoryHintResize)
                                                 : Memory::Allocate(wanted, kStringHint));
            if (!grown)
            {
                Report(Error::MakeCode(kErrNoMemory, wanted));
                return false;
            }
            out = grown;
            capacity = wanted;
        }
        for (size_t i = 0; i < count; ++i)
            out[stored + i] = char(wide ? piece[2 * i] : piece[i]);
        stored += count;
    }
    return true;
}

} // namespace

// ---- Library stamps -----------------------------------------------------------------------

uint32_t LibraryStamp::Encode(uint32_t version, uint32_t build)
{
    // (version + 0x10000) >> 8 equals (version - 0x30000) >> 8 in ten bits for every
    // version from 0x30000 on.
    return (((version + 0x10000) >> 8) & 0x3FF) << 22 | (version & 0x3F) << 16 | (build & 0xFFFF);
}

// ---- Chunk headers ----------------------------------------------------------------------------

int32_t Stream::ReadChunkHeaderAny(Stream* stream, uint32_t* type, uint32_t* size, uint32_t* version,
                                   uint32_t* build)
{
    uint8_t bytes[kChunkHeaderSize];
    if (Read(stream, bytes, kChunkHeaderSize) < kChunkHeaderSize)
    {
        Report(Error::MakeCode(kErrStreamRead));
        return 0;
    }
    uint32_t v = 0, b = 0;
    LibraryStamp::Decode(ByteOrder::Load32(bytes + 8), &v, &b);
    if (type)
        *type = ByteOrder::Load32(bytes);
    if (size)
        *size = ByteOrder::Load32(bytes + 4);
    if (version)
        *version = v;
    if (build)
        *build = b;
    return 1;
}

Stream* Stream::WriteChunkHeader(Stream* stream, uint32_t type, uint32_t size, uint32_t version, uint32_t build)
{
    uint8_t bytes[kChunkHeaderSize];
    ByteOrder::Store32(bytes, type);
    ByteOrder::Store32(bytes + 4, size);
    ByteOrder::Store32(bytes + 8, LibraryStamp::Encode(version, build));
    return Write(stream, bytes, kChunkHeaderSize);
}

int32_t Stream::FindChunkAny(Stream* stream, uint32_t type, uint32_t* size, uint32_t* version)
{
    uint32_t t = 0, s = 0, v = 0;
    if (stream->kind != kStreamMemory)
    {
        // Other kinds than memory: the wanted chunk lying next costs one read and no
        // decoding beyond its stamp.
        uint8_t bytes[kChunkHeaderSize];
        if (Read(stream, bytes, kChunkHeaderSize) < kChunkHeaderSize)
        {
            Report(Error::MakeCode(kErrStreamRead));
            return 0;
        }
        const uint32_t stamp = ByteOrder::Load32(bytes + 8);
        t = ByteOrder::Load32(bytes);
        s = ByteOrder::Load32(bytes + 4);
        uint32_t b = 0;
        if (t == type && LibraryStamp::IsReadableStamp(stamp))
        {
            if (size)
                *size = s;
            if (version)
                LibraryStamp::Decode(stamp, version, &b);
            return 1;
        }
        LibraryStamp::Decode(stamp, &v, &b);
    }
    else if (!ReadChunkHeader(stream, &t, &s, &v, nullptr))
        return 0;
    while (t != type)
    {
        if (!Skip(stream, s) || !ReadChunkHeader(stream, &t, &s, &v, nullptr))
            return 0;
    }
    if (!LibraryStamp::IsReadable(v))
    {
        Report(Error::MakeCode(kErrBadVersion));
        return 0;
    }
    if (size)
        *size = s;
    if (version)
        *version = v;
    return 1;
}

// ---- String chunks ------------------------------------------------------------------------------

uint32_t StringChunk::GetSize(const char* string)
{
    size_t length = string ? std::strlen(string) : 0;
    return uint32_t((length + 4) & ~size_t(3));
}

const char* StringChunk::Write(const char* string, Stream* stream)
{
    static const uint8_t kZeros[4] = {};
    size_t length = string ? std::strlen(string) : 0;
    if (length > UINT32_MAX - 4)
    {
        Report(Error::MakeCode(kErrStreamWrite));
        return nullptr;
    }
    uint32_t size = GetSize(string);
    // Only the string's own characters are written; the padding is zeros, never the
    // bytes that happen to lie behind the string.
    if (!Stream::WriteChunkHeader(stream, kChunkString, size, kLibraryVersion, kLibraryBuild) ||
        !Stream::Write(stream, string, uint32_t(length)) || !Stream::Write(stream, kZeros, size - uint32_t(length)))
        return nullptr;
    return string ? string : "";
}

// The whole way: foreign chunks first, wide strings, allocation, every failure.
[[gnu::noinline]] static char* ReadStringChunk(char* buffer, size_t bufferSize, Stream* stream)
{
    if (buffer && bufferSize)
        buffer[0] = '\0';
    uint32_t type = 0, size = 0, version = 0;
    for (;;)
    {
        if (!Stream::ReadChunkHeader(stream, &type, &size, &version, nullptr))
            return nullptr;
        if (!LibraryStamp::IsReadable(version))
        {
            Report(Error::MakeCode(kErrBadVersion));
            return nullptr;
        }
        if (type == kChunkString || type == kChunkWideString)
            break;
        if (!Stream::Skip(stream, size))
            return nullptr;
    }
    bool wide = type == kChunkWideString;
    size_t characters = wide ? size / 2 : size;
    bool allocate = buffer == nullptr;
    if (!allocate && characters > bufferSize)
    {
        Report(Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    // A narrow string that fits goes straight into the caller's buffer in one read
    // (memory streams copy it in place; a callback is asked for the same bytes as
    // piece by piece, since one piece covers the body).
    if (!wide && !allocate && (size <= kPiece || stream->kind == kStreamMemory))
    {
        if (Stream::Read(stream, buffer, size) == size)
        {
            if (size > 0 && (buffer[size - 1] == '\0' || std::memchr(buffer, 0, size)))
                return buffer;
            if (size < bufferSize)
            {
                buffer[size] = '\0'; // a body without a zero, terminated where there is room
                return buffer;
            }
        }
        Report(Error::MakeCode(kErrStreamRead));
        if (bufferSize)
            buffer[0] = '\0';
        return nullptr;
    }
    char* out = buffer;
    size_t capacity = allocate ? 0 : bufferSize;
    size_t stored = 0;
    bool ok = ReadStringBody(stream, size, wide, out, capacity, stored, allocate);
    if (ok && allocate && !out)
    {
        // An empty body: still a terminated string.
        out = static_cast<char*>(Memory::Allocate(1, kStringHint));
        capacity = out ? 1 : 0;
        if (!out)
            Report(Error::MakeCode(kErrNoMemory, 1));
        ok = out != nullptr;
    }
    if (ok && (stored == 0 || !std::memchr(out, 0, stored)))
    {
        // A body without a zero: terminate it when there is room, else it did not fit.
        if (stored < capacity)
            out[stored] = '\0';
        else
            ok = false;
    }
    if (ok)
        return out;
    Report(Error::MakeCode(kErrStreamRead));
    if (allocate)
        Memory::Free(out);
    else if (bufferSize)
        buffer[0] = '\0';
    return nullptr;
}

char* StringChunk::Read(char* buffer, size_t bufferSize, Stream* stream)
{
    // The usual case, a padded narrow string lying next in a memory stream and
    // fitting the caller's buffer, is copied from where it lies; anything else
    // is left to the whole reader, which starts over from the same place.
    StreamMemory& m = stream->memory;
    if (buffer && stream->kind == kStreamMemory && kChunkHeaderSize <= m.capacity - m.position)
    {
        const uint8_t* p = m.buffer + m.position;
        uint32_t size = ByteOrder::Load32(p + 4);
        if (ByteOrder::Load32(p) == kChunkString && LibraryStamp::IsReadableStamp(ByteOrder::Load32(p + 8)) &&
            size > 0 && size <= bufferSize && size <= m.capacity - m.position - kChunkHeaderSize &&
            p[kChunkHeaderSize + size - 1] == 0)
        {
            Stream::CopySmall(buffer, p + kChunkHeaderSize, size);
            m.position += kChunkHeaderSize + size;
            return buffer;
        }
    }
    return ReadStringChunk(buffer, bufferSize, stream);
}
