// The event-box file: the writer's bytes read back and written again, objects of unknown
// kinds, and truncated or garbled files refused whole without leaks.
#include "eboxtestkinds.h"
#include "eventboxwriter.h"
#include "hbchunkstream.h"
#include "skeletonwriter.h"
#include "yoeventbox.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
using eboxtest::Trace;
using Obj = EBoxObjectEntry;

Obj Act(int32_t tag, float delay = 0.0f)
{
    return Obj::Action("TESTACTION", delay, Obj::Int(tag));
}

Obj Cond(int32_t flag, int32_t expected = 1)
{
    return Obj::Condition("TESTCOND", expected, Obj::Int(flag));
}

EBoxEntry Box(float x, float y, float z, float sx, float sy, float sz, int32_t mode)
{
    EBoxEntry box;
    box.centre[0] = x, box.centre[1] = y, box.centre[2] = z;
    box.size[0] = sx, box.size[1] = sy, box.size[2] = sz;
    box.mode = mode;
    return box;
}

/// Three boxes: conditions with actions and else-actions; actions only; no conditions but
/// else-actions (which the file cannot hold).
std::vector<EBoxEntry> Sample()
{
    EBoxEntry full = Box(0, 0, 0, 100, 50, 20, 0x14);
    full.conditions = {Cond(1), Cond(2, 0)};
    full.actions = {Act(10, 2.0f), Act(11)};
    full.elseActions = {Act(12)};
    EBoxEntry plain = Box(500, -10, 30, 10, 10, 10, 0x84);
    plain.actions = {Act(20), Act(21), Act(22)};
    EBoxEntry lost = Box(-300, 0, 0, 1, 2, 3, 8);
    lost.actions = {Act(30)};
    lost.elseActions = {Act(31)};
    return {full, plain, lost};
}

struct Reader
{
    explicit Reader(const std::vector<uint8_t>& bytes) : stream(new VectorStreamBuf(bytes)) {}
    HbMChunkStream stream;
};

std::vector<int32_t> Tags(const EBoxArray<YoEBoxAAction*>& list)
{
    std::vector<int32_t> tags;
    for (YoEBoxAAction* action : list)
        tags.push_back(static_cast<eboxtest::TestAction*>(action)->mTag);
    return tags;
}

class EventBoxFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        eboxtest::Reset();
        mBaseline = EBoxBytesInUse();
    }
    void TearDown() override { EXPECT_EQ(EBoxBytesInUse(), mBaseline) << "runtime memory left behind"; }
    size_t mBaseline = 0;
};

TEST_F(EventBoxFile, WriterBytesReadBackAndWriteAgainTheSame)
{
    const std::vector<uint8_t> bytes = EventBoxWriter::Bytes(Sample());
    ASSERT_FALSE(bytes.empty());
    auto* set = new YoEBox();
    set->AddRef();
    Reader reader(bytes);
    ASSERT_EQ(set->Read(&reader.stream), 1);
    EXPECT_TRUE(reader.stream.GetState() & HbStream::kChecksumsRight);
    EXPECT_EQ(reader.stream.Tell(), int64_t(bytes.size())) << "the outer chunk was left";
    ASSERT_EQ(set->GetBoxCount(), 3);

    const EventBox* full = set->GetBox(0);
    EXPECT_EQ(full->index, 0);
    EXPECT_EQ(full->mode, 0x14);
    EXPECT_EQ(full->enabled, 1);
    const float min[3] = {-50, -25, -10}, max[3] = {50, 25, 10};
    for (int a = 0; a < 3; ++a)
    {
        EXPECT_FLOAT_EQ(full->min[a], min[a]);
        EXPECT_FLOAT_EQ(full->max[a], max[a]);
    }
    ASSERT_EQ(full->conditions.count, 2);
    EXPECT_EQ(static_cast<eboxtest::TestCondition*>(full->conditions[1])->mFlag, 2);
    EXPECT_EQ(full->conditions[1]->mExpected, 0);
    EXPECT_EQ(Tags(full->actions), (std::vector<int32_t>{10, 11}));
    EXPECT_FLOAT_EQ(full->actions[0]->mDelay, 2.0f);
    EXPECT_EQ(Tags(full->elseActions), (std::vector<int32_t>{12}));
    EXPECT_EQ(Tags(set->GetBox(1)->actions), (std::vector<int32_t>{20, 21, 22}));
    EXPECT_EQ(set->GetBox(1)->mode, 0x84);
    EXPECT_FLOAT_EQ(set->GetBox(1)->min[1], -15.0f);
    EXPECT_EQ(set->GetBox(2)->elseActions.count, 0) << "a box without conditions has no else-actions chunk";
    EXPECT_EQ(Tags(set->GetBox(2)->actions), (std::vector<int32_t>{30}));
    EXPECT_GE(set->GetIndexId(), 0);

    auto* out = new VectorStreamBuf();
    HbMChunkStream writer(out);
    ASSERT_EQ(set->Write(&writer), 1);
    EXPECT_EQ(out->Bytes(), bytes);
    set->Release();
}

TEST_F(EventBoxFile, UnknownKindsStopTheirSubChunkOnly)
{
    std::vector<EBoxEntry> boxes = Sample();
    // An unknown key, then an object that would read; an identifier that names no factory.
    boxes[1].actions = {Obj::Action("NOSUCHKIND", 0.0f, Obj::Int(7)), Act(21)};
    boxes[0].conditions[0].key = "TESTCOND";
    boxes[0].elseActions = {Obj{"", Obj::Str("LEVEL_YB")}};
    Reader reader(EventBoxWriter::Bytes(boxes));
    auto* set = new YoEBox();
    ASSERT_EQ(set->Read(&reader.stream), 1);
    EXPECT_EQ(set->GetBox(0)->conditions.count, 2);
    EXPECT_EQ(set->GetBox(0)->elseActions.count, 0);
    EXPECT_EQ(set->GetBox(1)->actions.count, 0) << "what follows an unknown kind cannot be located";
    EXPECT_EQ(Tags(set->GetBox(2)->actions), (std::vector<int32_t>{30})) << "the next box reads right";
    // A condition whose own fields are refused is left out, the box stays.
    boxes = Sample();
    boxes[0].conditions = {Cond(99), Cond(1)};
    Reader second(EventBoxWriter::Bytes(boxes));
    ASSERT_EQ(set->Read(&second.stream), 1) << "a set read again starts afresh";
    EXPECT_EQ(set->GetBox(0)->conditions.count, 0);
    EXPECT_EQ(Tags(set->GetBox(0)->actions), (std::vector<int32_t>{10, 11}));
    set->Release();
}

/// Offsets in the sample's bytes.
constexpr size_t kOuterHeader = 4;                // the box count comes first
constexpr size_t kBoxHeader = kOuterHeader + 28;  // box 0's chunk
constexpr size_t kHeaderChunk = kBoxHeader + 28;  // box 0's header chunk
constexpr size_t kHeaderData = kHeaderChunk + 28; // centre, size, C, A, E, mode
constexpr size_t kConditionCount = kHeaderData + 24;

void PutInt(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

TEST_F(EventBoxFile, BadFilesAreRefusedWholeWithinTheirSize)
{
    const std::vector<uint8_t> good = EventBoxWriter::Bytes(Sample());
    struct Case
    {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(31), kHeaderData + 10, good.size() / 2, good.size() - 1})
        cases.push_back({"cut", std::vector<uint8_t>(good.begin(), good.begin() + long(cut))});
    auto flipped = [&](size_t at, uint8_t mask)
    {
        std::vector<uint8_t> bytes = good;
        bytes[at] ^= mask;
        return bytes;
    };
    cases.push_back({"outer chunk id", flipped(kOuterHeader, 0x01)});
    cases.push_back({"box chunk size", flipped(kBoxHeader + 4, 0x10)});
    cases.push_back({"header chunk key", flipped(kHeaderChunk + 8, 0x04)});
    auto counted = [&](size_t at, uint32_t value)
    {
        std::vector<uint8_t> bytes = good;
        PutInt(bytes, at, value);
        return bytes;
    };
    cases.push_back({"2^31 boxes", counted(0, 0x80000000u)});
    cases.push_back({"2^31 - 1 boxes", counted(0, 0x7FFFFFFFu)});
    cases.push_back({"one box more than written", counted(0, 4)});
    cases.push_back({"2^31 conditions", counted(kConditionCount, 0x80000000u)});
    cases.push_back({"a million conditions", counted(kConditionCount, 1000000)});
    cases.push_back({"negative actions", counted(kConditionCount + 4, 0xFFFFFFFBu)});
    // The box header's chunk says it holds fewer than its 40 bytes (checksum kept right).
    std::vector<uint8_t> shortHeader = good;
    PutInt(shortHeader, kHeaderChunk + 4, 36);
    uint32_t sum = 0;
    for (size_t w = 0; w < 6; ++w)
    {
        uint32_t v;
        std::memcpy(&v, shortHeader.data() + kHeaderChunk + 4 * w, 4);
        sum += v;
    }
    PutInt(shortHeader, kHeaderChunk + 24, sum + kHbChunkChecksumSeed);
    cases.push_back({"short box header", shortHeader});

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        EBoxResetPeak();
        const size_t before = EBoxBytesInUse();
        auto* set = new YoEBox();
        Reader reader(c.bytes);
        EXPECT_EQ(set->Read(&reader.stream), 0);
        EXPECT_EQ(set->GetBoxCount(), 0);
        EXPECT_EQ(set->GetIndex(), nullptr);
        EXPECT_EQ(EBoxBytesInUse(), before);
        EXPECT_LE(EBoxPeakBytes() - before, c.bytes.size() * 2) << "made more than the file could describe";
        set->Release();
    }
}

TEST_F(EventBoxFile, EveryFlippedOrCutByteIsReadSafely)
{
    const std::vector<uint8_t> good = EventBoxWriter::Bytes(Sample());
    int refused = 0;
    for (size_t at = 0; at < good.size(); ++at)
    {
        for (int variant = 0; variant < 2; ++variant)
        {
            std::vector<uint8_t> bytes = good;
            if (variant == 0)
                bytes[at] ^= 0xFF;
            else
                bytes.resize(at);
            auto* set = new YoEBox();
            set->AddRef();
            Reader reader(bytes);
            const int32_t read = set->Read(&reader.stream);
            refused += read ? 0 : 1;
            if (read)
            {
                // Whatever was accepted can be run.
                for (int32_t b = 0; b < set->GetBoxCount(); ++b)
                    set->RunBox(set->GetBox(b), nullptr);
                set->GetDelayedActions()->Clear();
            }
            set->Release();
        }
    }
    EXPECT_GE(refused, int(good.size())) << "every cut is refused";
}

} // namespace
