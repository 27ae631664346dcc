// User data: named arrays of integers, reals and strings on engine objects, through the
// objects' extension chunks, copies and damaged sub-chunks. Frames stand for the seven types.
#include "pluginfixture.h"

#include "byteorder.h"
#include "frame.h"
#include "hierarchy.h"
#include "plugin.h"
#include "stream.h"
#include "userdata.h"

#include <cstring>

namespace
{
UserDataExtension* Ext(Frame* frame)
{
    return UserData::Get(frame, Frame::Registry());
}

std::vector<uint8_t> WriteExtension(Frame* frame)
{
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    PluginRegistry::WriteExtensionChunk(Frame::Registry(), out, frame);
    return CloseWriter(out);
}

Frame* ReadExtension(std::vector<uint8_t> bytes)
{
    Frame* frame = Frame::Create();
    Stream* in = OpenReader(bytes);
    PluginRegistry::ReadExtensionChunk(Frame::Registry(), in, frame);
    Stream::Close(in, nullptr);
    return frame;
}

const char* String(const UserDataArray& a, int i)
{
    return static_cast<char**>(a.data)[i];
}

class UserDataTest : public PluginFixture
{
protected:
    /// "ints" {1, -2, 3}, "reals" {0.5, -1.25}, and unnamed strings {"abc", absent, ""}.
    Frame* Sample()
    {
        Frame* frame = Frame::Create();
        UserDataArray* ints = UserData::AddArray(Ext(frame), "ints", kUserDataInt, 3);
        const int32_t iv[] = {1, -2, 3};
        std::memcpy(ints->data, iv, sizeof(iv));
        UserDataArray* reals = UserData::AddArray(Ext(frame), "reals", kUserDataReal, 2);
        const float rv[] = {0.5f, -1.25f};
        std::memcpy(reals->data, rv, sizeof(rv));
        UserDataArray* strings = UserData::AddArray(Ext(frame), nullptr, kUserDataString, 3);
        UserData::SetString(strings, 0, "abc");
        UserData::SetString(strings, 2, "");
        return frame;
    }
};

TEST_F(UserDataTest, AllThreeFormatsRoundTrip)
{
    Frame* frame = Sample();
    const std::vector<uint8_t> bytes = WriteExtension(frame);
    // Body: count, then "ints" (5 + name, format, count, 12), "reals" (6 + name, 8, 8),
    // strings (no name: 4, 8, then 4 + 4, 4, 4 + 1).
    const int32_t body = 4 + (4 + 5 + 8 + 12) + (4 + 6 + 8 + 8) + (4 + 8 + 8 + 4 + 5);
    ASSERT_EQ(bytes.size(), size_t(12 + 12 + body));
    EXPECT_EQ(ByteOrder::Load32(bytes.data() + 16), uint32_t(body));
    // The absent string is the length 0; the empty one the length 1 and its zero.
    const uint8_t* tail = bytes.data() + bytes.size() - 9;
    EXPECT_EQ(ByteOrder::Load32(tail), 0u);
    EXPECT_EQ(ByteOrder::Load32(tail + 4), 1u);
    EXPECT_EQ(tail[8], 0u);

    Frame* read = ReadExtension(bytes);
    UserDataExtension* ext = Ext(read);
    ASSERT_EQ(ext->count, 3);
    EXPECT_STREQ(ext->arrays[0].name, "ints");
    EXPECT_EQ(static_cast<int32_t*>(ext->arrays[0].data)[1], -2);
    EXPECT_EQ(static_cast<float*>(ext->arrays[1].data)[1], -1.25f);
    EXPECT_EQ(ext->arrays[2].name, nullptr);
    EXPECT_STREQ(String(ext->arrays[2], 0), "abc");
    EXPECT_EQ(String(ext->arrays[2], 1), nullptr);
    EXPECT_STREQ(String(ext->arrays[2], 2), "");
    EXPECT_EQ(WriteExtension(read), bytes);
    Frame::Destroy(read);
    Frame::Destroy(frame);
}

TEST_F(UserDataTest, EmptyRecordsAndObjectsWithoutArrays)
{
    Frame* frame = Frame::Create();
    EXPECT_EQ(PluginRegistry::GetExtensionSize(Frame::Registry(), frame), 0);
    UserData::AddArray(Ext(frame), "nothing", kUserDataNone, 0);
    const std::vector<uint8_t> bytes = WriteExtension(frame);
    ASSERT_EQ(bytes.size(), 12u + 12u + 4u); // the sub-chunk holds the count 0 alone
    EXPECT_EQ(ByteOrder::Load32(bytes.data() + 24), 0u);
    Frame* read = ReadExtension(bytes);
    EXPECT_EQ(Ext(read)->count, 0);
    Frame::Destroy(read);
    Frame::Destroy(frame);
}

TEST_F(UserDataTest, ACopyOwnsItsStrings)
{
    Frame* frame = Sample();
    Frame* copy = Frame::CloneHierarchy(frame);
    ASSERT_NE(copy, nullptr);
    Frame::SetRootInSubtree(frame);
    Frame::SetRootInSubtree(copy);
    EXPECT_NE(String(Ext(copy)->arrays[2], 0), String(Ext(frame)->arrays[2], 0));
    Frame::Destroy(frame);
    UserDataExtension* ext = Ext(copy);
    ASSERT_EQ(ext->count, 3);
    EXPECT_STREQ(ext->arrays[0].name, "ints");
    EXPECT_EQ(static_cast<int32_t*>(ext->arrays[0].data)[2], 3);
    EXPECT_STREQ(String(ext->arrays[2], 0), "abc");
    EXPECT_EQ(String(ext->arrays[2], 1), nullptr);
    Frame::Destroy(copy);
}

// A user-data sub-chunk of the given body followed by a hierarchy sub-chunk carrying node id
// 42: reading must stop inside the first and still reach the second.
std::vector<uint8_t> ExtensionWith(const std::vector<uint8_t>& userBody)
{
    ChunkBuilder b;
    b.Header(3, uint32_t(12 + userBody.size() + 12 + 12));
    b.Header(UserData::kPluginId, uint32_t(userBody.size()));
    b.bytes.insert(b.bytes.end(), userBody.begin(), userBody.end());
    b.Header(Hierarchy::kPluginId, 12).U32(0x100).U32(42).U32(0);
    return b.bytes;
}

TEST_F(UserDataTest, DamagedSubChunksKeepTheRecordsReadInFull)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> body;
        int32_t records;
    };
    auto record = [](ChunkBuilder& b, uint32_t format) { b.U32(2).Raw("a").bytes.push_back(0), b.U32(format).U32(1).U32(7); };
    ChunkBuilder stop;
    stop.U32(3);
    record(stop, 1);
    record(stop, 4);
    record(stop, 1);
    ChunkBuilder huge;
    huge.U32(0x7FFFFFFF).U32(0);
    ChunkBuilder longName;
    longName.U32(1).U32(0x7FFFFFF0).Raw("abcd");
    ChunkBuilder manyElements;
    manyElements.U32(2);
    record(manyElements, 2);
    manyElements.U32(0).U32(3).U32(0x40000000).U32(5);
    ChunkBuilder longString;
    longString.U32(1).U32(0).U32(3).U32(1).U32(0xFFFFFFFF).Raw("xy");
    ChunkBuilder unterminated;
    unterminated.U32(1).U32(3).Raw("abc").U32(3).U32(1).U32(2).Raw("zz");
    const Case cases[] = {
        {"format 4 stops the reading", stop.bytes, 1},
        {"a count of 2^31 - 1 in 8 bytes", huge.bytes, 0},
        {"a name longer than the sub-chunk", longName.bytes, 0},
        {"2^30 elements claimed", manyElements.bytes, 1},
        {"a string longer than the sub-chunk", longString.bytes, 0},
        {"names and strings stored without their zero", unterminated.bytes, 1},
    };
    for (const Case& c : cases)
    {
        Frame* frame = ReadExtension(ExtensionWith(c.body));
        EXPECT_EQ(Ext(frame)->count, c.records) << c.what;
        EXPECT_EQ(HierarchyFrame::GetAnimNodeId(frame), 42) << c.what;
        if (c.records && c.body == unterminated.bytes)
        {
            EXPECT_STREQ(Ext(frame)->arrays[0].name, "abc");
            EXPECT_STREQ(String(Ext(frame)->arrays[0], 0), "zz");
        }
        Frame::Destroy(frame);
    }
}

TEST_F(UserDataTest, MutatedSubChunksAreReadSafely)
{
    Frame* frame = Sample();
    const std::vector<uint8_t> bytes = WriteExtension(frame);
    Frame::Destroy(frame);
    SweepMutations(bytes, 3000, [&](std::vector<uint8_t>& copy) {
        Frame* read = ReadExtension(copy);
        // Whatever was kept must write back and copy without trouble.
        if (Ext(read)->count > 0)
        {
            std::vector<uint8_t> again = WriteExtension(read);
            EXPECT_FALSE(again.empty());
        }
        Frame::Destroy(read);
        TakeError();
    });
}
} // namespace
