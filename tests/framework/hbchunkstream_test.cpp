// Tests of chunk streams: header layout and checksum, nested chunks found in
// any order, scans bounded by the enclosing chunk and the data's end,
// damaged headers, and strings at their length limit.
#include "hbchunkstream.h"
#include "hbsavefile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

/// A chunk stream over a fresh, zeroed memory buffer.
class ChunkStreamTest : public ::testing::Test
{
protected:
    static constexpr uint32_t kCapacity = 1024;

    void SetUp() override { ASSERT_EQ(mBuffer->Open(), 1); }

    uint32_t Word(size_t offset) const
    {
        const uint8_t* p = mBuffer->GetData() + offset;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    void PutWord(size_t offset, uint32_t value)
    {
        int64_t here = mStream.Tell();
        ASSERT_EQ(mStream.Seek(int64_t(offset), 0), 1);
        ASSERT_EQ(mStream.WriteUInt32(value), 1);
        ASSERT_EQ(mStream.Seek(here, 0), 1);
    }
    /// A chunk holding one int32.
    void WriteLeaf(uint32_t id, uint32_t key1, uint32_t value, int32_t contents)
    {
        ASSERT_NE(mStream.BeginChunk(id, key1, 0, value), 0u);
        ASSERT_EQ(mStream.WriteInt32(contents), 1);
        ASSERT_EQ(mStream.EndChunk(), 4u);
    }

    HbMemoryStreamBuf* mBuffer = new HbMemoryStreamBuf(kCapacity);
    HbMChunkStream mStream{mBuffer};
};

// ---- Writing ------------------------------------------------------------------------------

TEST_F(ChunkStreamTest, EmptyChunkWritesTheTwentyEightHeaderBytes)
{
    EXPECT_EQ(mStream.BeginChunk(8453, 0, 0, 1), 28u);
    EXPECT_EQ(mStream.EndChunk(), 0u);
    const uint32_t expected[7] = {8453, 0, 0, 0, 1, 0xFFFFFFFF, 722213};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(Word(4 * size_t(i)), expected[i]) << "field " << i;
    EXPECT_EQ(mStream.Tell(), 28);
    EXPECT_EQ(mStream.GetDepth(), 0);
}

TEST_F(ChunkStreamTest, EndChunkPatchesSizeAndLeaveLandsAfterTheLastByte)
{
    ASSERT_EQ(mStream.BeginChunk(7, 2, 0, 3), 28u);
    ASSERT_EQ(mStream.WriteInt32(-5), 1);
    ASSERT_EQ(mStream.WriteReal(2.5f), 1);
    ASSERT_EQ(mStream.WriteUInt16(0xBEEF), 1);
    EXPECT_EQ(mStream.EndChunk(), 10u);
    EXPECT_EQ(Word(4), 10u);
    EXPECT_EQ(Word(24), 7u + 10 + 2 + 0 + 3 + 0xFFFFFFFF + kHbChunkChecksumSeed);
    EXPECT_EQ(mStream.Tell(), 38);

    ASSERT_EQ(mStream.Seek(0, 0), 1);
    EXPECT_EQ(mStream.FindChunk(7, 2, 0), 3u);
    EXPECT_EQ(mStream.Tell(), 28);
    EXPECT_EQ(mStream.GetLimit(), 38u);
    int32_t i = 0;
    float r = 0;
    EXPECT_EQ(mStream.ReadInt32(i), 1);
    EXPECT_EQ(mStream.ReadReal(r), 1);
    EXPECT_EQ(i, -5);
    EXPECT_EQ(r, 2.5f);
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.Tell(), 38);
    EXPECT_EQ(mStream.GetLimit(), kHbNoChunkLimit);
    EXPECT_EQ(mStream.GetState() & HbStream::kChecksumsRight, HbStream::kChecksumsRight);
}

TEST_F(ChunkStreamTest, UnpairedEndAndLeaveDoNothing)
{
    EXPECT_EQ(mStream.EndChunk(), 0u);
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.Tell(), 0);
    // A chunk being written is not left by LeaveChunk, nor a found one ended.
    ASSERT_EQ(mStream.BeginChunk(1, 0, 0, 1), 28u);
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.GetDepth(), 1);
    EXPECT_EQ(mStream.EndChunk(), 0u);
    ASSERT_EQ(mStream.Seek(0, 0), 1);
    ASSERT_EQ(mStream.FindChunk(1, 0, 0), 1u);
    EXPECT_EQ(mStream.EndChunk(), 0u);
    EXPECT_EQ(mStream.GetDepth(), 1);
}

TEST_F(ChunkStreamTest, TypedValuesAreLittleEndian)
{
    ASSERT_EQ(mStream.WriteInt32(0x01020304), 1);
    ASSERT_EQ(mStream.WriteUInt16(0xA1B2), 1);
    ASSERT_EQ(mStream.WriteInt64(-2), 1);
    ASSERT_EQ(mStream.WriteDouble(0.25), 1);
    ASSERT_EQ(mStream.WriteBool(true), 1);
    const uint8_t* p = mBuffer->GetData();
    EXPECT_EQ(std::vector<uint8_t>(p, p + 6), (std::vector<uint8_t>{4, 3, 2, 1, 0xB2, 0xA1}));

    ASSERT_EQ(mStream.Seek(0, 0), 1);
    int32_t i = 0;
    uint16_t u = 0;
    int64_t l = 0;
    double d = 0;
    bool b = false;
    EXPECT_EQ(mStream.ReadInt32(i) + mStream.ReadUInt16(u) + mStream.ReadInt64(l) + mStream.ReadDouble(d) +
                  mStream.ReadBool(b),
              5);
    EXPECT_EQ(i, 0x01020304);
    EXPECT_EQ(u, 0xA1B2);
    EXPECT_EQ(l, -2);
    EXPECT_EQ(d, 0.25);
    EXPECT_TRUE(b);
}

// ---- Finding -------------------------------------------------------------------------------

/// Outer chunk (1, 0) holding leaves (2, k) for k = 0..3, each with value k + 1
/// and contents 100 k, then a sibling chunk (3, 0) after the outer one.
class NestedChunksTest : public ChunkStreamTest
{
protected:
    void SetUp() override
    {
        ChunkStreamTest::SetUp();
        mOuterContents = mStream.BeginChunk(1, 0, 0, 4);
        ASSERT_EQ(mOuterContents, 28u);
        for (uint32_t k = 0; k < 4; ++k)
            WriteLeaf(2, k, k + 1, int32_t(100 * k));
        ASSERT_EQ(mStream.EndChunk(), 4u * 32);
        WriteLeaf(3, 0, 5, 77);
        mEnd = mStream.Tell();
        ASSERT_EQ(mStream.Seek(0, 0), 1);
    }

    void ExpectLeaf(uint32_t key)
    {
        ASSERT_EQ(mStream.FindChunk(2, key, 0), key + 1) << "key " << key;
        int32_t contents = -1;
        EXPECT_EQ(mStream.ReadInt32(contents), 1);
        EXPECT_EQ(contents, int32_t(100 * key));
        mStream.LeaveChunk();
    }

    uint32_t mOuterContents = 0;
    int64_t mEnd = 0;
};

TEST_F(NestedChunksTest, ScansSkipOtherKeysAndAMissOnlyCostsNothing)
{
    ASSERT_EQ(mStream.FindChunk(1, 0, 0), 4u);
    ExpectLeaf(0);
    int64_t here = mStream.Tell();
    EXPECT_EQ(mStream.FindChunk(2, 9, 0), 0u);
    EXPECT_EQ(mStream.Tell(), here);
    EXPECT_EQ(mStream.GetState() & (HbStream::kAtChunkEnd | HbStream::kEndOfData), 0u);
    ExpectLeaf(2); // skips key 1
    ExpectLeaf(3);
    EXPECT_EQ(mStream.FindChunk(2, 1, 0), 0u) << "key 1 lies behind the position";
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.Tell(), 28 + 4 * 32);
    EXPECT_EQ(mStream.FindChunk(3, 0, 0), 5u);
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.Tell(), mEnd);
    EXPECT_EQ(mStream.GetDepth(), 0);
}

TEST_F(NestedChunksTest, AnyOrderFromTheEnclosingContentsStart)
{
    ASSERT_EQ(mStream.FindChunk(1, 0, 0), 4u);
    for (uint32_t key : {3u, 1u, 0u, 2u})
    {
        ASSERT_EQ(mStream.Seek(mOuterContents, 0), 1);
        ExpectLeaf(key);
    }
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.GetDepth(), 0);
}

TEST_F(NestedChunksTest, ScanStopsAtTheEnclosingEndButEntersAMatchLyingThere)
{
    ASSERT_EQ(mStream.FindChunk(1, 0, 0), 4u);
    // The sibling lies after the outer chunk's end: the skipped leaves reach
    // that end first, so it is not found and the position is kept.
    EXPECT_EQ(mStream.FindChunk(3, 0, 0), 0u);
    EXPECT_EQ(mStream.Tell(), int64_t(mOuterContents));
    for (uint32_t k = 0; k < 4; ++k)
        ExpectLeaf(k);
    const int64_t outerEnd = 28 + 4 * 32;
    ASSERT_EQ(mStream.Tell(), outerEnd);

    // At the very end, a header that does not match ends the scan...
    EXPECT_EQ(mStream.FindChunk(4, 0, 0), 0u);
    EXPECT_EQ(mStream.Tell(), outerEnd);
    EXPECT_EQ(mStream.GetState() & HbStream::kAtChunkEnd, 0u);
    // ...and one that matches is entered without leaving the outer chunk.
    ASSERT_EQ(mStream.FindChunk(3, 0, 0), 5u);
    EXPECT_EQ(mStream.GetDepth(), 2);
    int32_t contents = -1;
    EXPECT_EQ(mStream.ReadInt32(contents), 1);
    EXPECT_EQ(contents, 77);
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.Tell(), mEnd);
    EXPECT_EQ(mStream.GetDepth(), 1);
}

TEST_F(NestedChunksTest, ZeroPaddingEndsTheScanAtTheEndOfTheData)
{
    // The rest of the buffer is zero bytes: headers with wrong checksums.
    ASSERT_EQ(mStream.Seek(mEnd, 0), 1);
    EXPECT_EQ(mStream.FindChunk(4, 0, 0), 0u);
    EXPECT_EQ(mStream.Tell(), mEnd);
    EXPECT_EQ(mStream.GetState() & HbStream::kChecksumsRight, 0u);
    EXPECT_EQ(mStream.GetState() & HbStream::kEndOfData, 0u);
}

TEST_F(NestedChunksTest, DamagedHeadersStopTheScan)
{
    struct Case
    {
        const char* what;
        size_t offset; ///< of the word to change
        uint32_t value;
        bool fixChecksum; ///< recompute the leaf's checksum, as a forger would
    } cases[] = {
        {"bad checksum", 28 + 24, 0x12345678, false},
        {"size past the enclosing chunk", 28 + 4, 1000, true},
        {"size past the data", 28 + 4, 0xFFFFFF00, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        mStream.DropChunks();
        ASSERT_EQ(mBuffer->Reset(), 1);
        SetUp();
        PutWord(c.offset, c.value);
        if (c.fixChecksum)
            PutWord(28 + 24, 2 + c.value + 0 + 0 + 1 + 0xFFFFFFFF + kHbChunkChecksumSeed);
        ASSERT_EQ(mStream.FindChunk(1, 0, 0), 4u);
        // The first leaf is damaged: neither it nor anything behind it is reached.
        EXPECT_EQ(mStream.FindChunk(2, 0, 0), 0u);
        EXPECT_EQ(mStream.FindChunk(2, 2, 0), 0u);
        EXPECT_EQ(mStream.Tell(), int64_t(mOuterContents));
        EXPECT_EQ(mStream.GetDepth(), 1);
    }
}

TEST_F(ChunkStreamTest, HeaderWhoseValueIsZeroIsNeverLeftEntered)
{
    ASSERT_EQ(mStream.BeginChunk(5, 0, 0, 0), 28u);
    ASSERT_EQ(mStream.WriteInt32(9), 1);
    ASSERT_EQ(mStream.EndChunk(), 4u);
    ASSERT_EQ(mStream.Seek(0, 0), 1);

    EXPECT_EQ(mStream.FindChunk(5, 0, 0), 0u);
    EXPECT_EQ(mStream.GetDepth(), 0);
    EXPECT_EQ(mStream.Tell(), 0);

    HbChunkHeaderFields header;
    ASSERT_EQ(mStream.FindChunkHeader(5, 0, 0, &header), 1);
    EXPECT_EQ(header.value, 0u);
    EXPECT_EQ(header.size, 4u);
    EXPECT_EQ(mStream.GetDepth(), 1);
    mStream.LeaveChunk();
    EXPECT_EQ(mStream.Tell(), 32);
}

TEST_F(ChunkStreamTest, ScanOfAHeaderCutByTheEndIsNotFound)
{
    // A header that would end 10 bytes past the capacity.
    ASSERT_EQ(mStream.Seek(kCapacity - 18, 0), 1);
    EXPECT_EQ(mStream.FindChunk(0, 0, 0), 0u);
    EXPECT_EQ(mStream.Tell(), kCapacity - 18);
}

// ---- Strings --------------------------------------------------------------------------------

TEST_F(ChunkStreamTest, StringsUpToTheLimitRoundTrip)
{
    for (size_t length : {size_t(0), size_t(1), size_t(1023)})
    {
        SCOPED_TRACE(length);
        std::string text(length, 'x');
        ASSERT_EQ(mStream.Seek(0, 0), 1);
        ASSERT_EQ(HbWriteCStringToStream(&mStream, text.c_str()), 1);
        EXPECT_EQ(mStream.Tell(), int64_t(length + 1));
        ASSERT_EQ(mStream.Seek(0, 0), 1);
        std::string back = "stale";
        EXPECT_EQ(HbReadCString(&mStream, back), 1);
        EXPECT_EQ(back, text);
    }
}

TEST_F(ChunkStreamTest, OverlongStringsAreRefusedWithoutLosingThePlace)
{
    std::string text(1024, 'y');
    EXPECT_EQ(HbWriteCStringToStream(&mStream, text.c_str()), 0);
    EXPECT_EQ(mStream.Tell(), 0);

    // Bytes that another writer produced: 1024 characters, a zero, then a value.
    std::string raw = std::string(1000, 'z');
    ASSERT_EQ(mStream.WriteBytes(raw.data(), raw.size()), raw.size());
    ASSERT_EQ(mStream.WriteUInt8(0), 1);
    ASSERT_EQ(mStream.WriteInt16(4321), 1);
    ASSERT_EQ(mStream.Seek(0, 0), 1);
    std::string back = "stale";
    ASSERT_EQ(HbReadCString(&mStream, back), 1);
    EXPECT_EQ(back.size(), 1000u);

    // Too long for this buffer too: write in a larger store.
    HbMemoryStreamBuf* big = new HbMemoryStreamBuf(1100);
    ASSERT_EQ(big->Open(), 1) << "the save arena holds this one beside the fixture's";
    HbStream stream(big);
    std::string longRaw(1024, 'w');
    ASSERT_EQ(stream.WriteBytes(longRaw.data(), longRaw.size()), longRaw.size());
    ASSERT_EQ(stream.WriteUInt8(0), 1);
    ASSERT_EQ(stream.WriteInt16(4321), 1);
    ASSERT_EQ(stream.Seek(0, 0), 1);
    EXPECT_EQ(HbReadCString(&stream, back), 0);
    EXPECT_EQ(back, "");
    int16_t after = 0;
    EXPECT_EQ(stream.ReadInt16(after), 1);
    EXPECT_EQ(after, 4321);

    // A string that the data's end cuts off.
    ASSERT_EQ(stream.Seek(1095, 0), 1);
    ASSERT_EQ(stream.WriteBytes("abcde", 5), 5u);
    ASSERT_EQ(stream.Seek(1095, 0), 1);
    EXPECT_EQ(HbReadCString(&stream, back), 0);
    EXPECT_NE(stream.GetState() & HbStream::kEndOfData, 0u);
}

} // namespace
