// Engine streams: opening and closing the four kinds, bytes and words, and the stream
// module that the records come from.
#include "stream.h"

#include "engine.h"
#include "error.h"
#include "filesystem.h"
#include "freelist.h"
#include "memory.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace
{

struct StreamModuleBlock
{
    FreeList* streams;
};

constexpr int32_t kStreamsPerBlock = 16;
constexpr uint32_t kModuleHint = kMemoryHintEngine | uint32_t(Stream::kPluginId);
constexpr uint32_t kRecordHint = kMemoryHintObject | uint32_t(Stream::kPluginId);
constexpr uint32_t kBufferHint = kMemoryHintObject | uint32_t(Stream::kPluginId);
constexpr uint32_t kMemoryGrowth = 512;
constexpr uint32_t kWordStaging = 256;

FreeList sStreamList;
StreamModuleBlock* sBlock = nullptr;

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

const FileFunctions& Files()
{
    return Engine::Current()->fileFunctions;
}

const char* ModeOf(int32_t access)
{
    switch (access)
    {
    case kStreamRead:
        return "rb";
    case kStreamWrite:
        return "wb";
    case kStreamAppend:
        return "ab";
    default:
        return nullptr;
    }
}

bool OpenMemory(Stream* stream, int32_t access, const MemoryBlock* block)
{
    StreamMemory& m = stream->memory;
    m = {0, 0, nullptr, false};
    switch (access)
    {
    case kStreamWrite:
        return true;
    case kStreamRead:
    case kStreamAppend:
        if (!block || (!block->start && block->length))
        {
            Report(Error::MakeCode(kErrNullArgument));
            return false;
        }
        m.capacity = block->length;
        m.position = access == kStreamAppend ? block->length : 0;
        m.buffer = block->start;
        return true;
    default:
        Report(Error::MakeCode(kCoreErrStreamAccess));
        return false;
    }
}

bool Opened(Stream* stream, int32_t kind, int32_t access, const void* argument)
{
    switch (kind)
    {
    case kStreamFileHandle:
        stream->file = const_cast<void*>(argument);
        return stream->file && Files().tell(stream->file) != -1;
    case kStreamFileName:
    {
        const char* mode = ModeOf(access);
        if (!mode)
        {
            Report(Error::MakeCode(kCoreErrStreamAccess));
            return false;
        }
        const char* name = static_cast<const char*>(argument);
        stream->file = name ? Files().open(name, mode) : nullptr;
        if (!stream->file)
        {
            Report(Error::MakeCode(kErrFileOpen, name));
            return false;
        }
        return true;
    }
    case kStreamMemory:
        return OpenMemory(stream, access, static_cast<const MemoryBlock*>(argument));
    case kStreamCustom:
        if (!argument)
        {
            Report(Error::MakeCode(kErrNullArgument));
            return false;
        }
        stream->custom = *static_cast<const StreamCallbacks*>(argument);
        return true;
    default:
        Report(Error::MakeCode(kCoreErrStreamKind));
        return false;
    }
}

// Makes room for length more bytes at the position. A block that the stream did not
// allocate is never reallocated: it is copied into a new engine block instead.
bool GrowMemory(StreamMemory& m, uint32_t length)
{
    if (!m.buffer)
    {
        m.buffer = static_cast<uint8_t*>(Memory::Allocate(kMemoryGrowth, kBufferHint));
        if (!m.buffer)
        {
            Report(Error::MakeCode(kErrNoMemory, kMemoryGrowth));
            return false;
        }
        m.capacity = kMemoryGrowth;
        m.position = 0;
        m.ownsBuffer = true;
    }
    if (m.capacity - m.position >= length)
        return true;
    uint64_t added = std::max(length, kMemoryGrowth);
    uint64_t capacity = uint64_t(m.capacity) + added;
    if (capacity > UINT32_MAX)
    {
        Report(Error::MakeCode(kErrNoMemory, added));
        return false;
    }
    uint8_t* buffer = nullptr;
    if (m.ownsBuffer)
        buffer = static_cast<uint8_t*>(Memory::Reallocate(m.buffer, size_t(capacity), kBufferHint | kMemoryHintResize));
    else if ((buffer = static_cast<uint8_t*>(Memory::Allocate(size_t(capacity), kBufferHint))))
        std::memcpy(buffer, m.buffer, m.capacity);
    if (!buffer)
    {
        Report(Error::MakeCode(kErrNoMemory, added));
        return false;
    }
    m.buffer = buffer;
    m.capacity = uint32_t(capacity);
    m.ownsBuffer = true;
    return true;
}

// Words are little-endian on the stream: a plain copy on a little-endian host.
void SwapWordsIfBigEndian(void* words, uint32_t length)
{
    if constexpr (std::endian::native == std::endian::big)
    {
        auto* p = static_cast<uint8_t*>(words);
        for (uint32_t i = 0; i + 4 <= length; i += 4)
        {
            std::swap(p[i], p[i + 3]);
            std::swap(p[i + 1], p[i + 2]);
        }
    }
}

} // namespace

// ---- Opening and closing ------------------------------------------------------------------

Stream* Stream::Open(int32_t kind, int32_t access, const void* argument)
{
    if (!sBlock)
        return nullptr;
    auto* stream = static_cast<Stream*>(Engine::Current()->freeListFunctions.take(sBlock->streams, kRecordHint));
    if (!stream)
        return nullptr;
    std::memset(static_cast<void*>(stream), 0, sizeof(Stream));
    stream->kind = kind;
    stream->access = access;
    stream->owned = 1;
    if (!Opened(stream, kind, access, argument))
    {
        Engine::Current()->freeListFunctions.giveBack(sBlock->streams, stream);
        return nullptr;
    }
    return stream;
}

int32_t Stream::Close(Stream* stream, MemoryBlock* block)
{
    int32_t result = 1;
    switch (stream->kind)
    {
    case kStreamFileHandle:
        break;
    case kStreamFileName:
        result = Files().close(stream->file) == 0 ? 1 : 0;
        break;
    case kStreamMemory:
    {
        StreamMemory& m = stream->memory;
        if (stream->access != kStreamRead && block)
            *block = {m.buffer, m.position};
        else if (m.ownsBuffer)
            Memory::Free(m.buffer);
        break;
    }
    case kStreamCustom:
        if (stream->custom.close)
            stream->custom.close(stream->custom.data);
        break;
    default:
        Report(Error::MakeCode(kCoreErrStreamKind));
        return 0;
    }
    if (stream->owned && sBlock)
        Engine::Current()->freeListFunctions.giveBack(sBlock->streams, stream);
    return result;
}

// ---- Bytes ------------------------------------------------------------------------------------

uint32_t Stream::ReadAny(Stream* stream, void* buffer, uint32_t length)
{
    // Callbacks first: every read of theirs comes here, those of memory streams rarely.
    if (stream->kind == kStreamCustom)
    {
        if (length == 0 || !stream->custom.read)
            return 0;
        return std::min(stream->custom.read(stream->custom.data, buffer, length), length);
    }
    if (length == 0 && stream->kind >= kStreamFileHandle && stream->kind <= kStreamCustom)
        return 0;
    switch (stream->kind)
    {
    case kStreamFileHandle:
    case kStreamFileName:
    {
        size_t n = Files().read(buffer, 1, length, stream->file);
        if (n < length)
            Report(Error::MakeCode(Files().eof(stream->file) ? kCoreErrEndOfStream : kErrStreamRead));
        return uint32_t(std::min<size_t>(n, length));
    }
    case kStreamMemory:
    {
        StreamMemory& m = stream->memory;
        uint32_t left = m.capacity - m.position;
        if (length > left)
        {
            Report(Error::MakeCode(kCoreErrEndOfStream));
            length = left;
        }
        if (length)
            std::memcpy(buffer, m.buffer + m.position, length);
        m.position += length;
        return length;
    }
    case kStreamCustom:
        if (!stream->custom.read)
            return 0;
        return std::min(stream->custom.read(stream->custom.data, buffer, length), length);
    default:
        Report(Error::MakeCode(kCoreErrStreamKind));
        return 0;
    }
}

Stream* Stream::Write(Stream* stream, const void* buffer, uint32_t length)
{
    // Nothing to write succeeds without touching the buffer, which may then be null.
    if (length == 0 && stream->kind >= kStreamFileHandle && stream->kind <= kStreamCustom)
        return stream;
    switch (stream->kind)
    {
    case kStreamFileHandle:
    case kStreamFileName:
        if (Files().write(buffer, 1, length, stream->file) < length)
        {
            Report(Error::MakeCode(kErrStreamWrite));
            return nullptr;
        }
        return stream;
    case kStreamMemory:
    {
        StreamMemory& m = stream->memory;
        if (!GrowMemory(m, length))
            return nullptr;
        if (length)
            std::memcpy(m.buffer + m.position, buffer, length);
        m.position += length;
        return stream;
    }
    case kStreamCustom:
        return stream->custom.write && stream->custom.write(stream->custom.data, buffer, length) ? stream : nullptr;
    default:
        Report(Error::MakeCode(kCoreErrStreamKind));
        return nullptr;
    }
}

uint64_t Stream::Remaining(const Stream* stream)
{
    switch (stream->kind)
    {
    case kStreamMemory:
        return stream->memory.capacity - stream->memory.position;
    case kStreamFileHandle:
    case kStreamFileName:
    {
        const FileFunctions& files = Files();
        if (!files.tell || !files.seek)
            return UINT64_MAX;
        const int64_t at = files.tell(stream->file);
        if (at < 0 || files.seek(stream->file, 0, 2) != 0)
            return UINT64_MAX;
        const int64_t end = files.tell(stream->file);
        if (files.seek(stream->file, at, 0) != 0 || end < 0)
            return UINT64_MAX;
        return end > at ? uint64_t(end - at) : 0;
    }
    case kStreamCustom:
    {
        const int64_t left = stream->custom.remaining ? stream->custom.remaining(stream->custom.data) : -1;
        return left < 0 ? UINT64_MAX : uint64_t(left);
    }
    default:
        return UINT64_MAX;
    }
}

Stream* Stream::SkipAny(Stream* stream, uint32_t length)
{
    if (length == 0)
        return stream;
    switch (stream->kind)
    {
    case kStreamFileHandle:
    case kStreamFileName:
        if (Files().seek(stream->file, int64_t(length), 1) != 0)
        {
            if (Files().eof(stream->file))
                Report(Error::MakeCode(kCoreErrEndOfStream));
            return nullptr;
        }
        return stream;
    case kStreamMemory:
    {
        StreamMemory& m = stream->memory;
        if (length > m.capacity - m.position)
        {
            m.position = m.capacity;
            Report(Error::MakeCode(kCoreErrEndOfStream));
            return nullptr;
        }
        m.position += length;
        return stream;
    }
    case kStreamCustom:
        return stream->custom.skip && stream->custom.skip(stream->custom.data, length) ? stream : nullptr;
    default:
        Report(Error::MakeCode(kCoreErrStreamKind));
        return nullptr;
    }
}

Stream* Stream::ReadWordsAny(Stream* stream, void* words, uint32_t length)
{
    // A short read fails whatever the kind: stale bytes must never pass for data.
    if (Read(stream, words, length) < length)
    {
        Report(Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    SwapWordsIfBigEndian(words, length);
    return stream;
}

Stream* Stream::WriteWords(Stream* stream, const void* words, uint32_t length)
{
    uint8_t staging[kWordStaging];
    const auto* source = static_cast<const uint8_t*>(words);
    while (length > 0)
    {
        uint32_t piece = std::min(length, kWordStaging);
        std::memcpy(staging, source, piece);
        SwapWordsIfBigEndian(staging, piece);
        if (!Write(stream, staging, piece))
            return nullptr;
        source += piece;
        length -= piece;
    }
    return stream;
}

Stream* Stream::WriteData(Stream* stream, const void* buffer, uint32_t length)
{
    Write(stream, buffer, length);
    return stream;
}

// ---- The stream module ----------------------------------------------------------------------------

const int32_t Stream::kModuleBlockSize = sizeof(StreamModuleBlock);

void* Stream::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<StreamModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->streams = FreeList::CreateInStorage(sizeof(Stream), kStreamsPerBlock, 0, 1, &sStreamList, kModuleHint);
    if (!block->streams)
        return nullptr;
    sBlock = block;
    return engine;
}

void* Stream::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<StreamModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->streams);
    block->streams = nullptr;
    sBlock = nullptr;
    return engine;
}
