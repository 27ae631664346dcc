// Tests of the streams over files: framework and engine chunks mixed in one
// resource file, the typed slots a resource stream carries, vectors and
// matrices, text resources and the widening of 8-bit text.
#include "hbengine_fixture.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "hbsavefile.h"
#include "hbstream.h"
#include "hbtext.h"

#include "chunk.h"
#include "matrix.h"
#include "stream.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using hbtest::NullEngine;
using hbtest::PackSetTest;
using hbtest::ReadBytes;
using hbtest::WriteBytes;
using hbtest::WritePack;

constexpr uint32_t kEngineChunk = 0x7F10;

class ResourceStreamTest : public PackSetTest
{
protected:
    void SetUp() override
    {
        PackSetTest::SetUp();
        ASSERT_TRUE(mEngine.Started());
    }

    /// A framework chunk (300) holding an int32, an engine chunk of two words
    /// and a string; then a framework chunk (301) holding an int32.
    void WriteMixed(const std::string& path)
    {
        HbResourceStream out;
        ASSERT_EQ(out.Open(path.c_str(), "wb"), 1);
        Stream* engine = out.GetEngineStream();
        ASSERT_NE(engine, nullptr);
        ASSERT_EQ(out.BeginChunk(300, 0, 0, 1), 28u);
        ASSERT_EQ(out.WriteInt32(-12), 1);
        const uint32_t words[2] = {0xAABBCCDD, 17};
        ASSERT_NE(Stream::WriteChunkHeader(engine, kEngineChunk, 8, kLibraryVersion, kLibraryBuild), nullptr);
        ASSERT_NE(Stream::WriteWords(engine, words, 8), nullptr);
        ASSERT_EQ(HbWriteCStringToStream(&out, "after"), 1);
        ASSERT_EQ(out.EndChunk(), 4u + 12 + 8 + 6);
        ASSERT_EQ(out.BeginChunk(301, 0, 0, 2), 28u + 30 + 28);
        ASSERT_EQ(out.WriteReal(0.75f), 1);
        ASSERT_EQ(out.EndChunk(), 4u);
        EXPECT_EQ(out.CloseFile(), 1);
        EXPECT_EQ(out.GetEngineStream(), nullptr);
    }

    void ReadMixed(const char* path)
    {
        HbResourceStream in;
        ASSERT_EQ(in.Open(path, "rb"), 1);
        EXPECT_EQ(HbFileSetUserData(in.GetFile(), 0), reinterpret_cast<uintptr_t>(&in));
        Stream* engine = in.GetEngineStream();
        ASSERT_EQ(in.FindChunk(300, 0, 0), 1u);
        int32_t number = 0;
        ASSERT_EQ(in.ReadInt32(number), 1);
        EXPECT_EQ(number, -12);
        uint32_t size = 0;
        uint32_t version = 0;
        ASSERT_EQ(Stream::FindChunk(engine, kEngineChunk, &size, &version), 1);
        EXPECT_EQ(size, 8u);
        EXPECT_EQ(version, kLibraryVersion);
        uint32_t words[2] = {};
        ASSERT_NE(Stream::ReadWords(engine, words, 8), nullptr);
        EXPECT_EQ(words[0], 0xAABBCCDDu);
        EXPECT_EQ(words[1], 17u);
        EXPECT_EQ(in.Tell(), 28 + 4 + 12 + 8) << "one position for both kinds of reading";
        std::string text;
        ASSERT_EQ(HbReadCString(&in, text), 1);
        EXPECT_EQ(text, "after");
        in.LeaveChunk();
        ASSERT_EQ(in.FindChunk(301, 0, 0), 2u);
        float real = 0;
        EXPECT_EQ(in.ReadReal(real), 1);
        EXPECT_EQ(real, 0.75f);
        in.LeaveChunk();
        EXPECT_EQ(in.FindChunk(302, 0, 0), 0u);
    }

    NullEngine mEngine;
};

TEST_F(ResourceStreamTest, FrameworkAndEngineChunksShareOneFile)
{
    std::string path = mDir / "mixed.bin";
    WriteMixed(path);
    EXPECT_EQ(ReadBytes(path).size(), 28u + 30 + 28 + 4);
    ReadMixed(path.c_str());
}

TEST_F(ResourceStreamTest, MixedChunksReadFromInsideAPackArchive)
{
    std::string loose = mDir / "mixed.bin";
    WriteMixed(loose);
    std::string pack = mDir / "res.pak";
    ASSERT_TRUE(WritePack(pack, {{"lead.bin", "0123456789"}, {"res\\mixed.bin", ReadBytes(loose)}}));
    EnablePacks(0);
    ASSERT_EQ(Set().Mount(pack.c_str()), 1);
    ReadMixed("res\\mixed.bin");
}

TEST_F(ResourceStreamTest, TypedSlotsItCarries)
{
    std::string path = mDir / "typed.bin";
    {
        HbResourceStream out;
        ASSERT_EQ(out.Open(path.c_str(), "wb"), 1);
        EXPECT_EQ(out.WriteInt8(-3) + out.WriteUInt8(200) + out.WriteBool(true), 3);
        EXPECT_EQ(out.WriteInt32(-70000) + out.WriteUInt32(0xFEDCBA98) + out.WriteReal(-1.25f), 3);
        EXPECT_EQ(out.WriteInt64(-5000000000LL), 1);
        EXPECT_EQ(out.WriteUInt64(1) + out.WriteDouble(1.0) + out.WriteInt16(1) + out.WriteUInt16(1), 0)
            << "not carried";
    }
    std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 3u + 12 + 8);
    EXPECT_EQ(bytes.substr(3, 4), std::string("\x90\xEE\xFE\xFF", 4)) << "little-endian";
    EXPECT_EQ(bytes.substr(7, 4), std::string("\x98\xBA\xDC\xFE", 4));

    HbResourceStream in;
    ASSERT_EQ(in.Open(path.c_str(), "rb"), 1);
    int8_t i8 = 0;
    uint8_t u8 = 0;
    bool b = false;
    int32_t i32 = 0;
    uint32_t u32 = 0;
    float r = 0;
    int64_t i64 = 0;
    EXPECT_EQ(in.ReadInt8(i8) + in.ReadUInt8(u8) + in.ReadBool(b) + in.ReadInt32(i32) + in.ReadUInt32(u32) +
                  in.ReadReal(r) + in.ReadInt64(i64),
              7);
    EXPECT_EQ(i8, -3);
    EXPECT_EQ(u8, 200);
    EXPECT_TRUE(b);
    EXPECT_EQ(i32, -70000);
    EXPECT_EQ(u32, 0xFEDCBA98u);
    EXPECT_EQ(r, -1.25f);
    EXPECT_EQ(i64, -5000000000LL);
    EXPECT_EQ(in.ReadInt32(i32), 0) << "the end";
    EXPECT_EQ(i32, -70000);
    EXPECT_NE(in.GetState() & HbStream::kEndOfData, 0u);
}

TEST_F(ResourceStreamTest, OpenFailuresLeaveNothingOpen)
{
    HbResourceStream stream;
    EXPECT_EQ(stream.Open((mDir / "missing.bin").c_str(), "rb"), 0);
    EXPECT_EQ(stream.GetFile(), nullptr);
    WriteBytes(mDir / "x.bin", "x");
    EXPECT_EQ(stream.Open((mDir / "x.bin").c_str(), "r+b"), 1);
    EXPECT_EQ(stream.Open((mDir / "missing.bin").c_str(), "rb"), 0) << "reopening closes the old file first";
    EXPECT_EQ(stream.GetEngineStream(), nullptr);
    EXPECT_EQ(stream.CloseFile(), 0);
    EXPECT_EQ(HbResourceStream::From(&stream), &stream);
    HbStream plain(nullptr);
    EXPECT_EQ(HbResourceStream::From(&plain), nullptr);
}

// ---- Vectors and matrices -------------------------------------------------------------------------

TEST(HbStreamTransfers, MatrixAndVectorsRoundTripWithoutFlags)
{
    HbMemoryStreamBuf* buffer = new HbMemoryStreamBuf(128);
    ASSERT_EQ(buffer->Open(), 1);
    HbStream stream(buffer);
    Matrix m = {};
    m.right = {1, 2, 3};
    m.up = {4, 5, 6};
    m.at = {7, 8, 9};
    m.pos = {10, 11, 12};
    m.flags = kMatrixOrthonormal | kMatrixIdentity;
    const float colour[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    ASSERT_EQ(HbWriteMatrix(&stream, m), 1);
    ASSERT_EQ(HbWriteVector3(&stream, Vector{-1, -2, -3}), 1);
    ASSERT_EQ(HbWriteVector4(&stream, colour), 1);
    EXPECT_EQ(stream.Tell(), 48 + 12 + 16);

    ASSERT_EQ(stream.Seek(0, 0), 1);
    Matrix back = {};
    back.flags = kMatrixTypeMask | 0x100;
    ASSERT_EQ(HbReadMatrix(&stream, back), 1);
    EXPECT_EQ(back.right.x, 1);
    EXPECT_EQ(back.up.y, 5);
    EXPECT_EQ(back.at.z, 9);
    EXPECT_EQ(back.pos.x, 10);
    EXPECT_EQ(back.pos.z, 12);
    EXPECT_EQ(back.flags, 0x100u) << "type flags cleared, other bits kept";
    Vector v = {};
    float c[4] = {};
    ASSERT_EQ(HbReadVector3(&stream, v), 1);
    ASSERT_EQ(HbReadVector4(&stream, c), 1);
    EXPECT_EQ(v.z, -3);
    EXPECT_EQ(c[3], 0.4f);

    // A read that runs out leaves the destination untouched.
    ASSERT_EQ(stream.Seek(128 - 40, 0), 1);
    Matrix keep = back;
    EXPECT_EQ(HbReadMatrix(&stream, keep), 0);
    EXPECT_EQ(keep.pos.z, 12);
}

// ---- Text resources ---------------------------------------------------------------------------------

class TextTest : public PackSetTest
{
protected:
    void SetUp() override
    {
        PackSetTest::SetUp();
        ASSERT_TRUE(mEngine.Started());
    }
    void TearDown() override
    {
        for (const std::string& id : mDeclared)
            while (HbResourceManager::Instance()->GetPathCount(id.c_str()) > 0)
                HbResourceManager::Instance()->RemovePath(id.c_str());
        PackSetTest::TearDown();
    }
    HbText* Load(const char* id, const std::string& bytes)
    {
        std::string path = mDir / (std::string(id) + ".txt");
        WriteBytes(path, bytes);
        HbResourceManager::Instance()->AddPath(id, path.c_str());
        mDeclared.push_back(id);
        return HbCastTo<HbText>(HbResourceManager::Instance()->GetResource(id));
    }

    NullEngine mEngine;
    std::vector<std::string> mDeclared;
};

TEST_F(TextTest, KeepsEverythingButOneTrailingLineEnd)
{
    struct Case
    {
        const char* id;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"T_LF_TXT", "ABC\n", "ABC"},
        {"T_PLAIN_TXT", "ABC", "ABC"},
        {"T_CRLF_TXT", "AB\r\nC\r\n", "AB\r\nC"},
        {"T_TWO_TXT", "ABC\n\n", "ABC\n"},
        {"T_ZERO_TXT", std::string("\0ABC", 4), ""},
        {"T_INNER_TXT", std::string("AB\0CD", 5), "AB"},
        {"T_EMPTY_TXT", "", ""},
        {"T_LONG_TXT", std::string(5000, 'x') + "y\n", std::string(5000, 'x') + "y"},
    };
    for (const Case& c : cases)
    {
        HbText* text = Load(c.id, c.bytes);
        ASSERT_NE(text, nullptr) << c.id;
        EXPECT_EQ(text->GetText(), c.text) << c.id;
        EXPECT_EQ(text->GetTypeKey(), "TXT");
        delete text;
    }
}

TEST_F(TextTest, IsSharedAndReadFromPacks)
{
    std::string pack = mDir / "lang.pak";
    ASSERT_TRUE(WritePack(pack, {{"text\\menu.txt", "Start\r\n"}}));
    EnablePacks(0);
    ASSERT_EQ(Set().Mount(pack.c_str()), 1);
    HbResourceManager::Instance()->AddPath("M_MENU_TXT", "text\\menu.txt");
    mDeclared.push_back("M_MENU_TXT");
    HbRoot* first = HbResourceManager::Instance()->GetResource("M_MENU_TXT");
    ASSERT_NE(first, nullptr);
    first->AddRef();
    EXPECT_EQ(HbResourceManager::Instance()->GetResource("M_MENU_TXT"), first);
    EXPECT_EQ(HbCastTo<HbText>(first)->GetText(), "Start");
    first->Release();
}

TEST(HbText, MissingFileGivesAnEmptyTextAndStillSucceeds)
{
    HbText text;
    EXPECT_EQ(text.Load(nullptr, "NOT_DECLARED_ANYWHERE_TXT"), 1);
    EXPECT_EQ(text.GetText(), "");
    EXPECT_EQ(text.IsShared(), 1);
}

TEST(HbAsciiToWide, WidensEveryByteToItsOwnCodePoint)
{
    const char16_t* wide = HbAsciiToWide("a\xE9\xFF");
    EXPECT_EQ(std::u16string(wide), std::u16string({u'a', char16_t(0xE9), char16_t(0xFF)}));
    EXPECT_EQ(HbAsciiToWide("")[0], 0);
    EXPECT_EQ(HbAsciiToWide(nullptr)[0], 0);
}

} // namespace
