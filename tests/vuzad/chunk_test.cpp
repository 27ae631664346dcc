// Tests of chunk headers and string chunks, and of a nested chunk stream as stored
// objects use it: round trips through every stream kind and hostile input.
#include "chunk.h"
#include "error.h"
#include "memory.h"
#include "stream.h"
#include "streamfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{

using Chunks = StreamFixture;

// ---- Library stamps and headers ---------------------------------------------------------------

TEST_F(Chunks, StampsEncodeAndDecodeVersionAndBuild)
{
    struct Case
    {
        uint32_t stamp, version, build;
        bool encodable; ///< the version survives the stamp's six low bits
    } cases[] =
        {
            {0x1803FFFF, 0x36003, 0xFFFF, true},  {0x10000000, 0x34000, 0x0000, true},
            {0x14001234, 0x35000, 0x1234, true},  {0x18040001, 0x36004, 0x0001, true},
            {0x00000310, 0x31000, 0x0000, false}, // the older form: version >> 8, no build
            {0x0FFF0000, 0x33F3F, 0x0000, false}, // 0x33FFF written: bits 6 and 7 are not kept
        };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.stamp);
        uint32_t version = 0, build = 0;
        LibraryStamp::Decode(c.stamp, &version, &build);
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(build, c.build);
        if (c.encodable)
        {
            EXPECT_EQ(LibraryStamp::Encode(c.version, c.build), c.stamp);
        }
    }
    EXPECT_EQ(LibraryStamp::Encode(0x33FFF, 0), 0x0FFF0000u);

    // The header is three little-endian words, written in one piece.
    Stream* writer = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(Stream::WriteChunkHeader(writer, 0x0102, 0x0A0B0C0D, kLibraryVersion, kLibraryBuild), nullptr);
    EXPECT_EQ(CloseWriter(writer),
              (std::vector<uint8_t>{0x02, 0x01, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A, 0xFF, 0xFF, 0x03, 0x18}));
}

TEST(LibraryStamps, ReadabilityOfAStampAgreesWithItsDecodedVersion)
{
    // Every upper half, with builds at both ends, and every stamp of the older form.
    for (uint32_t high = 0; high <= 0xFFFF; ++high)
        for (uint32_t low : {0x0000u, 0xFFFFu})
        {
            const uint32_t stamp = high << 16 | low;
            uint32_t version = 0, build = 0;
            LibraryStamp::Decode(stamp, &version, &build);
            ASSERT_EQ(LibraryStamp::IsReadableStamp(stamp), LibraryStamp::IsReadable(version)) << std::hex << stamp;
        }
    for (uint32_t stamp = 0; stamp <= 0xFFFF; ++stamp)
        ASSERT_EQ(LibraryStamp::IsReadableStamp(stamp), LibraryStamp::IsReadable(stamp << 8)) << std::hex << stamp;
}

TEST_F(Chunks, FindChunkSkipsForeignChunksAndRefusesUnreadableVersions)
{
    struct Case
    {
        uint32_t stamp;
        bool found;
    } cases[] = {
        {0x1803FFFF, true},  // 0x36003
        {0x10000000, true},  // 0x34000
        {0x0FFF0000, false}, // 0x33F3F
        {0x18040000, false}, // 0x36004
        {0x00000310, false}, // 0x31000
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.stamp);
        ChunkBuilder b;
        b.Header(1, 5).Raw("abcde").Header(2, 3).Raw("xyz").Stamp(3, 4, c.stamp).Raw("DATA");
        Stream* s = OpenReader(b.bytes);
        uint32_t size = 0, version = 0;
        EXPECT_EQ(Stream::FindChunk(s, 3, &size, &version), c.found ? 1 : 0);
        EXPECT_EQ(TakeError(), c.found ? kErrNone : kErrBadVersion);
        EXPECT_EQ(s->memory.position, 12u + 5 + 12 + 3 + 12) << "after the header in both cases";
        if (c.found)
        {
            EXPECT_EQ(size, 4u);
            char body[4];
            EXPECT_EQ(Stream::Read(s, body, 4), 4u);
            EXPECT_EQ(std::string(body, 4), "DATA");
        }
        Stream::Close(s, nullptr);

        // The header reader itself accepts any version.
        s = OpenReader(b.bytes);
        uint32_t type = 0, build = 0;
        ASSERT_EQ(Stream::Skip(s, 12 + 5 + 12 + 3), s);
        EXPECT_EQ(Stream::ReadChunkHeader(s, &type, &size, &version, &build), 1);
        EXPECT_EQ(type, 3u);
        Stream::Close(s, nullptr);
    }

    // A wanted type that never comes fails at the end, with the stream at its end.
    ChunkBuilder b;
    b.Header(1, 2).Raw("ab");
    Stream* s = OpenReader(b.bytes);
    EXPECT_EQ(Stream::FindChunk(s, 3, nullptr, nullptr), 0);
    EXPECT_EQ(TakeError(), kCoreErrEndOfStream);
    Stream::Close(s, nullptr);
}

// ---- String chunks -------------------------------------------------------------------------------

TEST_F(Chunks, StringChunkSizesPadToFourWithAtLeastOneZero)
{
    EXPECT_EQ(StringChunk::GetSize("abc"), 4u);
    EXPECT_EQ(StringChunk::GetSize("abcd"), 8u);
    EXPECT_EQ(StringChunk::GetSize("abcdefg"), 8u);
    EXPECT_EQ(StringChunk::GetSize(""), 4u);
    EXPECT_EQ(StringChunk::GetSize(nullptr), 4u);
}

// The body is the string's own characters and zeros: nothing behind the string is read
// (the string below is a heap block of exactly its size, so the sanitizer build catches
// any byte read past it).
TEST_F(Chunks, StringChunkWritesTheCharactersThenZeroPadding)
{
    std::unique_ptr<char[]> exact(new char[6]);
    std::memcpy(exact.get(), "abcde", 6);
    Stream* w = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    EXPECT_EQ(StringChunk::Write(exact.get(), w), exact.get());
    EXPECT_NE(StringChunk::Write(nullptr, w), nullptr);
    std::vector<uint8_t> bytes = CloseWriter(w);

    ChunkBuilder expected;
    expected.Header(kChunkString, 8).Raw("abcde").Raw(std::string(3, '\0'));
    expected.Header(kChunkString, 4).Raw(std::string(4, '\0'));
    EXPECT_EQ(bytes, expected.bytes);
}

struct ReadCase
{
    const char* name;
    ChunkBuilder bytes;
    size_t bufferSize;  ///< 0: let the reader allocate
    const char* result; ///< null when the read fails
    int32_t error;
};

TEST_F(Chunks, StringChunkReadsIntoABufferOfItsSizeOrAnAllocatedOne)
{
    std::string thousand(1000, 'q');
    ReadCase cases[] = {
        {"narrow", ChunkBuilder().Header(2, 4).Raw(std::string("abc\0", 4)), 128, "abc", kErrNone},
        {"wide", ChunkBuilder().Header(19, 6).U16('a').U16('b').U16(0), 128, "ab", kErrNone},
        {"foreign chunk first", ChunkBuilder().Header(1, 3).Raw("xyz").Header(2, 4).Raw(std::string("ok\0\0", 4)), 8,
         "ok", kErrNone},
        {"no zero, room to terminate", ChunkBuilder().Header(2, 8).Raw("abcdefgh"), 9, "abcdefgh", kErrNone},
        {"no zero, no room", ChunkBuilder().Header(2, 8).Raw("abcdefgh"), 8, nullptr, kErrStreamRead},
        {"body longer than the buffer", ChunkBuilder().Header(2, 12).Raw(std::string("abcdefghijk\0", 12)), 8, nullptr,
         kErrStreamRead},
        {"wide without a zero fits", ChunkBuilder().Header(19, 8).U16('a').U16('b').U16('c').U16('d'), 5, "abcd",
         kErrNone},
        {"wide without a zero, no room", ChunkBuilder().Header(19, 8).U16('a').U16('b').U16('c').U16('d'), 4, nullptr,
         kErrStreamRead},
        {"truncated body", ChunkBuilder().Header(2, 8).Raw("abc"), 16, nullptr, kCoreErrEndOfStream},
        {"truncated header", ChunkBuilder().U32(2).U32(4), 16, nullptr, kCoreErrEndOfStream},
        {"unreadable version", ChunkBuilder().Header(2, 4, 0x36004).Raw(std::string("abc\0", 4)), 16, nullptr,
         kErrBadVersion},
        {"foreign chunk of an unreadable version",
         ChunkBuilder().Header(7, 0, 0x33000).Header(2, 4).Raw(std::string("abc\0", 4)), 16, nullptr, kErrBadVersion},
        {"allocated", ChunkBuilder().Header(2, 4).Raw(std::string("abc\0", 4)), 0, "abc", kErrNone},
        {"allocated long", ChunkBuilder().Header(2, 1004).Raw(thousand).Raw(std::string(4, '\0')), 0, thousand.c_str(),
         kErrNone},
        {"allocated empty body", ChunkBuilder().Header(2, 0), 0, "", kErrNone},
        {"allocated wide without a zero", ChunkBuilder().Header(19, 5).U16('h').U16('i').Raw("!"), 0, "hi", kErrNone},
        {"allocated, size far past the end", ChunkBuilder().Header(2, 0xFFFFFFF0).Raw(std::string("abc\0", 4)), 0,
         nullptr, kCoreErrEndOfStream},
    };
    for (ReadCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t largest = 0;
        TestMemory::refuse = [&](size_t size, uint32_t)
        {
            largest = std::max(largest, size);
            return false;
        };
        Stream* s = OpenReader(c.bytes.bytes);
        // A guard byte behind the buffer shows that nothing is written past its size.
        std::vector<char> storage(c.bufferSize + 1, '#');
        char* buffer = c.bufferSize ? storage.data() : nullptr;
        char* got = StringChunk::Read(buffer, c.bufferSize, s);
        EXPECT_EQ(TakeError(), c.error);
        if (c.result)
        {
            ASSERT_NE(got, nullptr);
            EXPECT_STREQ(got, c.result);
            if (buffer)
            {
                EXPECT_EQ(got, buffer);
            }
        }
        else
            EXPECT_EQ(got, nullptr);
        if (buffer)
        {
            EXPECT_EQ(storage[c.bufferSize], '#');
            EXPECT_NE(std::memchr(buffer, 0, c.bufferSize), nullptr) << "always terminated";
            if (!c.result)
            {
                EXPECT_STREQ(buffer, "");
            }
        }
        else if (got)
            Memory::Free(got);
        EXPECT_LT(largest, 4096u) << "a claimed size alone allocates nothing large";
        Stream::Close(s, nullptr);
        TestMemory::refuse = nullptr;
    }
}

// Custom streams (pack archives behind them) are asked for the same byte counts
// whether the string goes to the caller's buffer or to an allocated one.
TEST_F(Chunks, StringChunkAsksACustomStreamForTheSamePieces)
{
    struct Recorder
    {
        std::vector<uint8_t> bytes;
        size_t position = 0;
        std::vector<uint32_t> asked;
        static uint32_t Read(void* data, void* buffer, uint32_t length)
        {
            auto* r = static_cast<Recorder*>(data);
            r->asked.push_back(length);
            uint32_t n = uint32_t(std::min<size_t>(length, r->bytes.size() - r->position));
            std::memcpy(buffer, r->bytes.data() + r->position, n);
            r->position += n;
            return n;
        }
    };
    std::string thousand(1000, 'q');
    struct Case
    {
        ChunkBuilder bytes;
        size_t bufferSize;
        std::vector<uint32_t> asked;
    } cases[] = {
        {ChunkBuilder().Header(2, 8).Raw(std::string("abcdefg\0", 8)), 128, {12, 8}},
        {ChunkBuilder().Header(2, 1004).Raw(thousand).Raw(std::string(4, '\0')), 2048, {12, 256, 256, 256, 236}},
        {ChunkBuilder().Header(2, 1004).Raw(thousand).Raw(std::string(4, '\0')), 0, {12, 256, 256, 256, 236}},
    };
    for (Case& c : cases)
    {
        Recorder recorder;
        recorder.bytes = c.bytes.bytes;
        StreamCallbacks callbacks = {nullptr, Recorder::Read, nullptr, nullptr, &recorder, nullptr};
        Stream* s = Stream::Open(kStreamCustom, kStreamRead, &callbacks);
        std::vector<char> storage(c.bufferSize);
        char* got = StringChunk::Read(c.bufferSize ? storage.data() : nullptr, c.bufferSize, s);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(recorder.asked, c.asked) << c.bufferSize;
        if (!c.bufferSize)
            Memory::Free(got);
        Stream::Close(s, nullptr);
    }
}

// ---- A nested chunk stream through every kind -------------------------------------------------------

SampleObject* MakeSample()
{
    SampleObject* o = Sample::Create();
    o->id = -7;
    o->x = 1.5f;
    o->y = -0.25f;
    std::strcpy(o->name, "lantern");
    Sample::Pair(o)->a = 0xDEADBEEF;
    Sample::Pair(o)->b = 42;
    Sample::List(o)->count = 3;
    Sample::List(o)->values[0] = 10;
    Sample::List(o)->values[1] = 20;
    Sample::List(o)->values[2] = 30;
    return o;
}

void ExpectSameSample(SampleObject* a, SampleObject* b)
{
    EXPECT_EQ(a->id, b->id);
    EXPECT_EQ(a->x, b->x);
    EXPECT_EQ(a->y, b->y);
    EXPECT_STREQ(a->name, b->name);
    EXPECT_STREQ(a->tag ? a->tag : "", b->tag ? b->tag : "");
    EXPECT_EQ(Sample::Pair(a)->a, Sample::Pair(b)->a);
    EXPECT_EQ(Sample::Pair(a)->b, Sample::Pair(b)->b);
    ASSERT_EQ(Sample::List(a)->count, Sample::List(b)->count);
    for (uint32_t i = 0; i < Sample::List(a)->count; ++i)
        EXPECT_EQ(Sample::List(a)->values[i], Sample::List(b)->values[i]);
}

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(Chunks, NestedStreamRoundTripsThroughMemoryFileAndCustomStreams)
{
    SampleObject* original = MakeSample();

    Stream* w = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(Sample::Write(w, original), nullptr);
    std::vector<uint8_t> memoryBytes = CloseWriter(w);
    // Container, struct and the two strings, then an extension holding the pair (8
    // bytes) and the list (16 bytes) but nothing of the plug-in whose size is 0.
    uint32_t extension = (12 + 8) + (12 + 16);
    EXPECT_EQ(memoryBytes.size(), 12u + (12 + 12) + (12 + 8) + (12 + 4) + (12 + extension));

    std::string path = TempPath("sample.bin");
    w = Stream::Open(kStreamFileName, kStreamWrite, path.c_str());
    ASSERT_NE(w, nullptr);
    ASSERT_NE(Sample::Write(w, original), nullptr);
    ASSERT_EQ(Stream::Close(w, nullptr), 1);
    EXPECT_EQ(FileBytes(path), memoryBytes);

    ByteStore store;
    StreamCallbacks callbacks = store.Callbacks();
    w = Stream::Open(kStreamCustom, kStreamWrite, &callbacks);
    ASSERT_NE(Sample::Write(w, original), nullptr);
    ASSERT_EQ(Stream::Close(w, nullptr), 1);
    EXPECT_EQ(store.closes, 1);
    EXPECT_EQ(store.bytes, memoryBytes);

    struct Source
    {
        const char* name;
        Stream* stream;
    } sources[] = {
        {"memory", OpenReader(memoryBytes)},
        {"file", Stream::Open(kStreamFileName, kStreamRead, path.c_str())},
        {"custom", Stream::Open(kStreamCustom, kStreamRead, &callbacks)},
    };
    for (const Source& source : sources)
    {
        SCOPED_TRACE(source.name);
        ASSERT_NE(source.stream, nullptr);
        SampleObject* read = Sample::Read(source.stream);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(TakeError(), kErrNone);
        ExpectSameSample(original, read);
        EXPECT_EQ(*Sample::AlwaysCount(read), 1) << "the always callback runs for a plug-in without data";
        EXPECT_EQ(Stream::Close(source.stream, nullptr), 1);

        Stream* again = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        ASSERT_NE(Sample::Write(again, read), nullptr);
        EXPECT_EQ(CloseWriter(again), memoryBytes) << "writing what was read gives the same bytes";
        Sample::Destroy(read);
    }
    Sample::Destroy(original);
}

// ---- Hostile streams -----------------------------------------------------------------------------------

// Offsets inside the bytes of MakeSample's record.
constexpr size_t kStructHeader = 12;
constexpr size_t kStructBody = 24;
constexpr size_t kNameHeader = 36;
constexpr size_t kTagHeader = kNameHeader + 12 + 8;
constexpr size_t kExtensionHeader = kTagHeader + 12 + 4;
constexpr size_t kPairHeader = kExtensionHeader + 12;
constexpr size_t kListHeader = kPairHeader + 12 + 8;
constexpr size_t kListCount = kListHeader + 12;

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

class HostileStreams : public StreamFixture
{
protected:
    void SetUp() override
    {
        StreamFixture::SetUp();
        SampleObject* o = MakeSample();
        Stream* w = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        Sample::Write(w, o);
        mBytes = CloseWriter(w);
        Sample::Destroy(o);
    }
    std::vector<uint8_t> mBytes;
};

TEST_F(HostileStreams, DamagedRecordsAreRefusedWithTheirCodes)
{
    struct Case
    {
        const char* name;
        size_t at; ///< where a word is replaced; SIZE_MAX: truncate to value bytes instead
        uint32_t value;
        int32_t error;
    } cases[] = {
        {"truncated inside the struct", SIZE_MAX, kStructBody + 6, kCoreErrEndOfStream},
        {"truncated inside the name", SIZE_MAX, kNameHeader + 14, kCoreErrEndOfStream},
        {"truncated inside the extension", SIZE_MAX, kListCount + 2, kCoreErrEndOfStream},
        {"struct of another size", kStructHeader + 4, 0xFFFFFFFF, kErrStreamRead},
        {"name length past the end", kNameHeader + 4, 0x7FFFFFF0, kErrStreamRead},
        {"tag length past the end", kTagHeader + 4, 0xFFFFFFF0, kCoreErrEndOfStream},
        {"sub-chunk longer than the extension", kPairHeader + 4, 9000, kErrStreamRead},
        {"sub-chunk one byte too long", kListHeader + 4, 17, kErrStreamRead},
        {"huge list count", kListCount, 0x40000001, kErrStreamRead},
        {"extension of an unreadable version", kExtensionHeader + 8, 0x18040000, kErrBadVersion},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = mBytes;
        if (c.at == SIZE_MAX)
            bytes.resize(c.value);
        else
            Put32(bytes, c.at, c.value);
        Stream* s = OpenReader(bytes);
        EXPECT_EQ(Sample::Read(s), nullptr);
        EXPECT_EQ(TakeError(), c.error);
        EXPECT_LE(s->memory.position, bytes.size());
        Stream::Close(s, nullptr);
    }
}

// An unknown plug-in's sub-chunk is skipped by its length; the rest is read.
TEST_F(HostileStreams, UnknownSubChunksAreSkippedByTheirLength)
{
    std::vector<uint8_t> bytes = mBytes;
    Put32(bytes, kPairHeader, 0x7FEE);
    Stream* s = OpenReader(bytes);
    SampleObject* o = Sample::Read(s);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(Sample::Pair(o)->a, 0u) << "unknown data is lost";
    EXPECT_EQ(Sample::List(o)->count, 3u);
    EXPECT_EQ(s->memory.position, bytes.size());
    Stream::Close(s, nullptr);
    Sample::Destroy(o);
}

// Thousands of damaged copies of a record, read from memory and from a custom stream:
// each read succeeds or fails, never reads out of bounds (the sanitizer build checks) and
// never allocates for a size the bytes do not back.
TEST_F(HostileStreams, MutatedStreamsNeverReadOutOfBounds)
{
    std::mt19937 rng(2024);
    const uint32_t hostile[] = {0,
                                1,
                                3,
                                4,
                                11,
                                12,
                                13,
                                0x7FFFFFFF,
                                0x80000000,
                                0xFFFFFFFF,
                                0xFFFFFFF4,
                                uint32_t(mBytes.size()),
                                uint32_t(mBytes.size()) + 1};
    size_t largest = 0;
    TestMemory::refuse = [&](size_t size, uint32_t)
    {
        largest = std::max(largest, size);
        return false;
    };
    int accepted = 0, refused = 0;
    for (int round = 0; round < 4000; ++round)
    {
        std::vector<uint8_t> bytes = mBytes;
        switch (round % 3)
        {
        case 0:
            bytes.resize(rng() % bytes.size());
            break;
        case 1:
            for (uint32_t n = 1 + rng() % 4; n > 0; --n)
                bytes[rng() % bytes.size()] = uint8_t(rng());
            break;
        default:
            Put32(bytes, (rng() % (bytes.size() / 4)) * 4, hostile[rng() % std::size(hostile)]);
            break;
        }
        ByteStore store;
        store.bytes = bytes;
        StreamCallbacks callbacks = store.Callbacks();
        Stream* s = round % 2 ? OpenReader(bytes) : Stream::Open(kStreamCustom, kStreamRead, &callbacks);
        ASSERT_NE(s, nullptr);
        SampleObject* o = Sample::Read(s);
        if (o)
        {
            ++accepted;
            ASSERT_NE(std::memchr(o->name, 0, sizeof(o->name)), nullptr);
            ASSERT_LE(Sample::List(o)->count, uint32_t(kSampleListMax));
            Sample::Destroy(o);
        }
        else
            ++refused;
        Stream::Close(s, nullptr);
        TakeError();
    }
    TestMemory::refuse = nullptr;
    EXPECT_GT(accepted, 100) << "some damage (padding, values) leaves a readable record";
    EXPECT_GT(refused, 1000);
    EXPECT_LT(largest, 4096u);
}

} // namespace
