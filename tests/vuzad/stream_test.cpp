// Tests of engine streams: opening each kind and its refusals, memory growth and the
// block handed back, appending, short reads and skips, words, and the file table.
#include "engine.h"
#include "error.h"
#include "filesystem.h"
#include "memory.h"
#include "stream.h"
#include "streamfixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

using Streams = StreamFixture;

TEST_F(Streams, MemoryWritesGrowByAtLeast512AndCloseHandsBackBufferAndLength)
{
    Stream* s = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->memory.buffer, nullptr) << "nothing is allocated before the first write";

    uint8_t bytes[603];
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = uint8_t(i * 7);
    ASSERT_EQ(Stream::Write(s, bytes, 3), s);
    EXPECT_EQ(s->memory.capacity, 512u);
    ASSERT_EQ(Stream::Write(s, bytes + 3, 600), s);
    EXPECT_EQ(s->memory.capacity, 1112u);
    EXPECT_EQ(TestMemory::live.count(s->memory.buffer), 1u) << "from the engine's memory";

    MemoryBlock block = {};
    EXPECT_EQ(Stream::Close(s, &block), 1);
    ASSERT_EQ(block.length, 603u);
    EXPECT_EQ(std::memcmp(block.start, bytes, 603), 0);
    Memory::Free(block.start);

    // A stream that grows past a failing reallocation keeps its bytes.
    s = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(Stream::Write(s, bytes, 500), s);
    uint8_t* before = s->memory.buffer;
    TestMemory::refuse = [](size_t, uint32_t hint) { return (hint & kMemoryHintResize) != 0; };
    EXPECT_EQ(Stream::Write(s, bytes, 100), nullptr);
    EXPECT_EQ(TakeError(), kErrNoMemory);
    TestMemory::refuse = nullptr;
    EXPECT_EQ(s->memory.buffer, before);
    EXPECT_EQ(s->memory.capacity, 512u);
    EXPECT_EQ(s->memory.position, 500u);
    EXPECT_EQ(Stream::Close(s, nullptr), 1) << "without a block the buffer is freed";
}

// A caller's block is never handed to the engine's reallocation: the stream grows into
// a new block and the caller keeps its own (a static array here, which a reallocation
// would corrupt).
TEST_F(Streams, AppendingToACallersBlockGrowsIntoANewEngineBlock)
{
    static uint8_t callers[100];
    std::memset(callers, 'c', sizeof callers);
    MemoryBlock in = {callers, sizeof callers};
    Stream* s = Stream::Open(kStreamMemory, kStreamAppend, &in);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->memory.position, 100u);
    ASSERT_EQ(Stream::Write(s, "!", 1), s);
    EXPECT_EQ(s->memory.capacity, 612u);

    MemoryBlock out = {};
    EXPECT_EQ(Stream::Close(s, &out), 1);
    ASSERT_EQ(out.length, 101u);
    EXPECT_NE(out.start, callers);
    EXPECT_EQ(TestMemory::live.count(out.start), 1u);
    EXPECT_EQ(std::memcmp(out.start, callers, 100), 0);
    EXPECT_EQ(out.start[100], '!');
    EXPECT_EQ(callers[99], 'c');

    // The same holds for a block that came from the engine's memory: the stream cannot
    // know where a caller's block came from, so the caller keeps and frees its own.
    s = Stream::Open(kStreamMemory, kStreamAppend, &out);
    uint8_t more[600] = {};
    ASSERT_EQ(Stream::Write(s, more, sizeof more), s);
    MemoryBlock grown = {};
    Stream::Close(s, &grown);
    EXPECT_EQ(grown.length, 701u);
    EXPECT_NE(grown.start, out.start);
    Memory::Free(out.start);
    Memory::Free(grown.start);
}

TEST_F(Streams, ReadsAndSkipsPastTheEndStopThereWithEndOfStream)
{
    uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    MemoryBlock block = {data, sizeof data};
    Stream* s = Stream::Open(kStreamMemory, kStreamRead, &block);
    ASSERT_EQ(Stream::Skip(s, 6), s);
    uint8_t out[10] = {};
    EXPECT_EQ(Stream::Read(s, out, 10), 4u);
    EXPECT_EQ(out[0], 6);
    EXPECT_EQ(TakeError(), kCoreErrEndOfStream);
    EXPECT_EQ(Stream::Read(s, out, 1), 0u);
    TakeError();

    s->memory.position = 8;
    EXPECT_EQ(Stream::Skip(s, 3), nullptr);
    EXPECT_EQ(s->memory.position, 10u);
    EXPECT_EQ(TakeError(), kCoreErrEndOfStream);
    EXPECT_EQ(Stream::Skip(s, 0), s);
    Stream::Close(s, nullptr);
}

// A short read of words fails for every kind, custom streams included, whose reads
// record nothing of their own.
TEST_F(Streams, ShortWordReadsFailForEveryKind)
{
    std::string path = TempPath("ten.bin");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite("0123456789", 1, 10, f);
        std::fclose(f);
    }
    std::vector<uint8_t> ten = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    ByteStore store;
    store.bytes = ten;
    StreamCallbacks callbacks = store.Callbacks();
    MemoryBlock block = {ten.data(), 10};
    struct Case
    {
        const char* name;
        int32_t kind;
        const void* argument;
        int32_t error;
    } cases[] = {
        {"memory", kStreamMemory, &block, kCoreErrEndOfStream},
        {"file", kStreamFileName, path.c_str(), kCoreErrEndOfStream},
        {"custom", kStreamCustom, &callbacks, kErrStreamRead},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        store.position = 0;
        Stream* s = Stream::Open(c.kind, kStreamRead, c.argument);
        ASSERT_NE(s, nullptr);
        uint32_t words[3] = {};
        EXPECT_EQ(Stream::ReadWords(s, words, 8), s);
        EXPECT_EQ(words[0], 0x33323130u) << "little-endian";
        EXPECT_EQ(Stream::ReadWords(s, words, 4), nullptr) << "2 of 4 bytes";
        EXPECT_EQ(TakeError(), c.error);
        EXPECT_EQ(Stream::ReadWords(s, words, 4), nullptr) << "none left";
        EXPECT_EQ(TakeError(), c.error);
        EXPECT_EQ(Stream::Close(s, nullptr), 1);
    }
}

TEST_F(Streams, EveryKindTellsWhatItStillHoldsWithoutMovingOn)
{
    std::string path = TempPath("ten.bin");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite("0123456789", 1, 10, f);
        std::fclose(f);
    }
    std::vector<uint8_t> ten = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    ByteStore store;
    store.bytes = ten;
    StreamCallbacks unknown = store.Callbacks();
    StreamCallbacks told = store.Callbacks();
    told.remaining = [](void* data) -> int64_t
    {
        auto* s = static_cast<ByteStore*>(data);
        return int64_t(s->bytes.size() - s->position);
    };
    MemoryBlock block = {ten.data(), 10};
    struct Case
    {
        const char* name;
        int32_t kind;
        const void* argument;
        uint64_t left;
    } cases[] = {
        {"memory", kStreamMemory, &block, 6},
        {"file", kStreamFileName, path.c_str(), 6},
        {"custom that can tell", kStreamCustom, &told, 6},
        {"custom that cannot", kStreamCustom, &unknown, UINT64_MAX},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        store.position = 0;
        Stream* s = Stream::Open(c.kind, kStreamRead, c.argument);
        ASSERT_NE(s, nullptr);
        char bytes[4] = {};
        ASSERT_EQ(Stream::Read(s, bytes, 4), 4u);
        EXPECT_EQ(Stream::Remaining(s), c.left);
        ASSERT_EQ(Stream::Read(s, bytes, 1), 1u);
        EXPECT_EQ(bytes[0], '4') << "the position stays";
        EXPECT_EQ(Stream::Close(s, nullptr), 1);
    }
}

TEST_F(Streams, WordsAreWrittenLittleEndianInPiecesAndTheFirstFailureStops)
{
    float values[150];
    for (int i = 0; i < 150; ++i)
        values[i] = float(i);
    ByteStore store;
    StreamCallbacks callbacks = store.Callbacks();
    Stream* s = Stream::Open(kStreamCustom, kStreamWrite, &callbacks);
    ASSERT_EQ(Stream::WriteWords(s, values, sizeof values), s);
    EXPECT_EQ(store.writes, 3) << "600 bytes through a 256-byte staging buffer";
    ASSERT_EQ(store.bytes.size(), 600u);
    EXPECT_EQ(std::vector<uint8_t>(store.bytes.begin() + 4, store.bytes.begin() + 8),
              (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x3F}));

    store.writes = 0;
    store.failWriteAt = 1;
    EXPECT_EQ(Stream::WriteWords(s, values, sizeof values), nullptr);
    EXPECT_EQ(store.writes, 2);
    EXPECT_EQ(Stream::WriteData(s, values, 4), s) << "WriteData answers the stream whatever happens";
    Stream::Close(s, nullptr);
}

TEST_F(Streams, OpenRefusesUnknownKindsAccessesAndMissingFiles)
{
    std::string missing = TempPath("missing.bin");
    uint8_t data[4] = {};
    MemoryBlock block = {data, 4};
    struct Case
    {
        const char* name;
        int32_t kind, access;
        const void* argument;
        int32_t error;
    } cases[] = {
        {"unknown kind", 9, kStreamRead, &block, kCoreErrStreamKind},
        {"memory, unknown access", kStreamMemory, 7, &block, kCoreErrStreamAccess},
        {"file name, unknown access", kStreamFileName, 0, missing.c_str(), kCoreErrStreamAccess},
        {"missing file", kStreamFileName, kStreamRead, missing.c_str(), kErrFileOpen},
        {"memory read without a block", kStreamMemory, kStreamRead, nullptr, kErrNullArgument},
        {"custom without callbacks", kStreamCustom, kStreamRead, nullptr, kErrNullArgument},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Stream::Open(c.kind, c.access, c.argument), nullptr);
        EXPECT_EQ(TakeError(), c.error);
    }
    // Every refused record went back: the stream list's block emptied and was released.
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | 0x404) + TestMemory::CountLive(kMemoryHintObject | 0x404), 0u);

    // An operation on a record of an unknown kind records 14 and changes nothing.
    Stream* s = Stream::Open(kStreamMemory, kStreamRead, &block);
    s->kind = 9;
    EXPECT_EQ(Stream::Read(s, data, 1), 0u);
    EXPECT_EQ(TakeError(), kCoreErrStreamKind);
    EXPECT_EQ(Stream::Write(s, data, 1), nullptr);
    EXPECT_EQ(Stream::Skip(s, 1), nullptr);
    EXPECT_EQ(Stream::Close(s, nullptr), 0);
    EXPECT_EQ(TakeError(), kCoreErrStreamKind);
    s->kind = kStreamMemory;
    EXPECT_EQ(Stream::Close(s, nullptr), 1);
}

// ---- Files through the engine's table -------------------------------------------------------------

int sOpens = 0;
int64_t sTellAnswer = 0;
void* CountingOpen(const char* name, const char* mode)
{
    ++sOpens;
    return FileSystem::DefaultFunctions()->open(name, mode);
}
int64_t FixedTell(void*)
{
    return sTellAnswer;
}

TEST_F(Streams, FileStreamsGoThroughTheEngineFileTable)
{
    FileFunctions* table = FileSystem::GetFunctions();
    ASSERT_EQ(table, &Engine::Current()->fileFunctions);
    table->open = CountingOpen;
    sOpens = 0;
    std::string path = TempPath("table.bin");
    Stream* w = Stream::Open(kStreamFileName, kStreamWrite, path.c_str());
    ASSERT_NE(w, nullptr);
    Stream::Write(w, "abcdef", 6);
    EXPECT_EQ(Stream::Close(w, nullptr), 1);
    EXPECT_EQ(sOpens, 1);
    EXPECT_EQ(table->exists(path.c_str()), 1);
    EXPECT_EQ(sOpens, 2) << "exists opens through the table";

    // A caller's handle stays open after the stream closes.
    void* handle = table->open(path.c_str(), "rb");
    Stream* r = Stream::Open(kStreamFileHandle, kStreamRead, handle);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(Stream::Skip(r, 2), r);
    EXPECT_EQ(Stream::Close(r, nullptr), 1);
    char rest[4] = {};
    EXPECT_EQ(table->read(rest, 1, 4, handle), 4u);
    EXPECT_EQ(std::string(rest, 4), "cdef");
    EXPECT_EQ(table->close(handle), 0);

    // A handle whose position cannot be told opens no stream.
    table->tell = FixedTell;
    sTellAnswer = -1;
    EXPECT_EQ(Stream::Open(kStreamFileHandle, kStreamRead, &sTellAnswer), nullptr);
    EXPECT_EQ(TakeError(), kErrNone);
    *table = *FileSystem::DefaultFunctions();
}

TEST_F(Streams, StreamsNeedTheStreamModule)
{
    ASSERT_EQ(Engine::Stop(), 1);
    EXPECT_EQ(Stream::Open(kStreamMemory, kStreamWrite, nullptr), nullptr);
}

} // namespace
