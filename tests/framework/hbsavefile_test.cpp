// Tests of save files: the fixed buffer and its bounds, the access modes,
// writing and reading whole files (also damaged ones), the save-object
// registry and the listing of save files.
#include "hbfile_fixture.h"
#include "hbsavefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{

using hbtest::ReadBytes;
using hbtest::TempDir;
using hbtest::WriteBytes;

std::vector<std::string> Names(const HbStringArray& array)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < array.GetCount(); ++i)
        names.push_back(array[i]);
    return names;
}

// ---- The memory buffer -----------------------------------------------------------------------

TEST(HbMemoryStreamBuf, TransfersAndSeeksStayInsideTheCapacity)
{
    HbMemoryStreamBuf buffer(16);
    uint8_t bytes[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    EXPECT_EQ(buffer.Write(bytes, 4), 0u) << "closed";
    ASSERT_EQ(buffer.Open(), 1);
    EXPECT_EQ(buffer.GetContents(), nullptr) << "nothing written yet";

    EXPECT_EQ(buffer.Write(bytes, 12), 12u);
    EXPECT_EQ(buffer.Write(bytes, 5), 0u) << "a write that does not fit is refused whole";
    EXPECT_EQ(buffer.Tell(), 12);
    EXPECT_EQ(buffer.Write(bytes, 4), 4u);
    EXPECT_EQ(buffer.Tell(), 16);

    struct SeekCase
    {
        int64_t offset;
        int origin;
        int result;
        int64_t position; ///< afterwards
    } seeks[] = {
        {4, 0, 1, 4},  {-5, 1, 0, 4},  {16, 0, 1, 16}, {17, 0, 0, 16},       {3, 2, 1, 13},
        {0, 2, 1, 16}, {-1, 2, 0, 16}, {-16, 1, 1, 0}, {INT64_MIN, 2, 0, 0}, {0, 3, 0, 0},
    };
    for (const SeekCase& s : seeks)
    {
        EXPECT_EQ(buffer.Seek(s.offset, s.origin), s.result) << s.offset << " from " << s.origin;
        EXPECT_EQ(buffer.Tell(), s.position);
    }

    ASSERT_EQ(buffer.Seek(10, 0), 1);
    uint8_t out[20] = {};
    EXPECT_EQ(buffer.Read(out, 20), 6u) << "a read delivers what remains";
    EXPECT_EQ(buffer.Tell(), 16);

    uint8_t* contents = buffer.GetContents();
    ASSERT_NE(contents, nullptr);
    EXPECT_EQ(contents[15], 4);
    HbHeapFree(contents);
}

// ---- Modes --------------------------------------------------------------------------------------

TEST(HbSaveFile, ModesGuardEveryTypedTransfer)
{
    HbSaveFile save(64);
    EXPECT_EQ(save.GetMode(), HbSaveFile::kWriting);
    ASSERT_NE(save.GetChunkStream(), nullptr);
    int32_t i = 0;
    float r = 0;
    uint32_t u = 0;
    std::string s;
    EXPECT_EQ(save.ReadInt32(i) + save.ReadReal(r) + save.ReadUInt32(u) + save.ReadString(s), 0);
    EXPECT_EQ(save.WriteInt32(-7) + save.WriteReal(1.5f) + save.WriteUInt32(9) + save.WriteString("hi"), 4);
    EXPECT_EQ(save.BeginRead(), 1) << "answers 1 but stays writing";
    EXPECT_EQ(save.GetMode(), HbSaveFile::kWriting);

    EXPECT_EQ(save.EndAccess(), HbSaveFile::kWriting);
    EXPECT_EQ(save.EndAccess(), HbSaveFile::kIdle);
    EXPECT_EQ(save.WriteInt32(1) + save.ReadInt32(i) + save.WriteString("x") + save.ReadString(s), 0);

    ASSERT_EQ(save.BeginRead(), 1);
    EXPECT_EQ(save.GetMode(), HbSaveFile::kReading);
    int64_t before = save.GetChunkStream()->Tell();
    EXPECT_EQ(save.WriteString("nope"), 0);
    EXPECT_EQ(save.GetChunkStream()->Tell(), before);
    EXPECT_EQ(save.ReadInt32(i) + save.ReadReal(r) + save.ReadUInt32(u) + save.ReadString(s), 4);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(r, 1.5f);
    EXPECT_EQ(u, 9u);
    EXPECT_EQ(s, "hi");
}

TEST(HbSaveFile, WithoutABufferEveryOperationAnswersZero)
{
    // The save arena holds two default buffers; a third, or one larger than
    // the arena, cannot be made.
    HbSaveFile first;
    HbSaveFile second;
    ASSERT_NE(first.GetChunkStream(), nullptr);
    ASSERT_NE(second.GetChunkStream(), nullptr);
    HbSaveFile third;
    HbSaveFile huge(8000);
    TempDir dir;
    WriteBytes(dir / "old.sav", "keep");
    for (HbSaveFile* save : {&third, &huge})
    {
        EXPECT_EQ(save->GetChunkStream(), nullptr);
        EXPECT_EQ(save->GetMode(), HbSaveFile::kIdle);
        int32_t i = 0;
        std::string s;
        EXPECT_EQ(save->BeginRead(), 0);
        EXPECT_EQ(save->GetMode(), HbSaveFile::kIdle);
        EXPECT_EQ(save->WriteInt32(1) + save->ReadInt32(i) + save->WriteString("a") + save->ReadString(s), 0);
        EXPECT_EQ(save->WriteToFile((dir / "old.sav").c_str()), 0);
        EXPECT_EQ(save->ReadFromFile((dir / "old.sav").c_str()), 0);
        EXPECT_EQ(save->EndAccess(), HbSaveFile::kIdle);
    }
    EXPECT_EQ(ReadBytes(dir / "old.sav"), "keep");
}

TEST(HbSaveFile, WritesPastTheCapacityAreRefused)
{
    HbSaveFile save(30);
    HbMChunkStream* chunks = save.GetChunkStream();
    ASSERT_EQ(chunks->BeginChunk(1, 0, 0, 1), 28u);
    EXPECT_EQ(save.WriteInt32(5), 0) << "2 bytes left";
    EXPECT_EQ(save.WriteString("a"), 1);
    EXPECT_EQ(save.WriteString(""), 0);
    EXPECT_EQ(chunks->Tell(), 30);
    EXPECT_EQ(chunks->EndChunk(), 2u);
    EXPECT_EQ(chunks->BeginChunk(2, 0, 0, 1), 0u) << "no room for the header";
    EXPECT_EQ(chunks->GetDepth(), 1) << "still paired with its EndChunk";
    EXPECT_EQ(chunks->EndChunk(), 0u);
    EXPECT_EQ(chunks->GetDepth(), 0);
    EXPECT_EQ(save.WriteString(std::string(1024, 'q').c_str()), 0);
}

// ---- Files ----------------------------------------------------------------------------------------

/// Writes an outer chunk (100) holding leaves (101, k) with an int32 of k, a
/// real and a string, and a grandchild (102); then a sibling (200). Stores
/// where each header begins when asked.
void WriteSample(HbSaveFile& save, const std::string& longText, std::vector<uint32_t>* headers = nullptr)
{
    HbMChunkStream* chunks = save.GetChunkStream();
    ASSERT_NE(chunks, nullptr);
    auto begin = [&](uint32_t id, uint32_t key1, uint32_t value)
    {
        uint32_t contents = chunks->BeginChunk(id, key1, 0, value);
        EXPECT_NE(contents, 0u);
        if (headers)
            headers->push_back(contents - kHbChunkHeaderSize);
    };
    begin(100, 0, 3);
    for (uint32_t k = 0; k < 3; ++k)
    {
        begin(101, k, k + 1);
        ASSERT_EQ(save.WriteInt32(int32_t(k)), 1);
        ASSERT_EQ(save.WriteReal(0.5f * float(k)), 1);
        ASSERT_EQ(save.WriteString(std::string(k * 3, char('a' + k)).c_str()), 1);
        begin(102, 0, 1);
        ASSERT_EQ(save.WriteUInt32(0xC0DE0000 + k), 1);
        chunks->EndChunk();
        chunks->EndChunk();
    }
    chunks->EndChunk();
    begin(200, 0, 1);
    ASSERT_EQ(save.WriteString(longText.c_str()), 1);
    chunks->EndChunk();
    EXPECT_EQ(chunks->GetDepth(), 0);
}

/// Reads what WriteSample wrote, leaves in the order given, the way a game
/// reader does: each step stops at the first failure. The number of values
/// read correctly.
int ReadSample(HbSaveFile& save, std::vector<uint32_t> keys, std::string* longText = nullptr)
{
    int good = 0;
    if (!save.BeginRead())
        return good;
    HbMChunkStream* chunks = save.GetChunkStream();
    int64_t capacity = chunks->GetBuffer()->Size();
    if (chunks->FindChunk(100, 0, 0))
    {
        int64_t contents = chunks->Tell();
        for (uint32_t k : keys)
        {
            chunks->Seek(contents, 0);
            if (chunks->FindChunk(101, k, 0) != k + 1)
                continue;
            int32_t i = -1;
            float r = -1;
            std::string s;
            uint32_t u = 0;
            if (save.ReadInt32(i) && i == int32_t(k) && save.ReadReal(r) && r == 0.5f * float(k) &&
                save.ReadString(s) && s == std::string(k * 3, char('a' + k)) && chunks->FindChunk(102, 0, 0) &&
                save.ReadUInt32(u) && u == 0xC0DE0000 + k)
                ++good;
            EXPECT_GE(chunks->Tell(), 0);
            EXPECT_LE(chunks->Tell(), capacity);
            while (chunks->GetDepth() > 1)
                chunks->LeaveChunk();
        }
        chunks->LeaveChunk();
    }
    if (chunks->FindChunk(200, 0, 0))
    {
        std::string s;
        if (save.ReadString(s))
        {
            ++good;
            if (longText)
                *longText = s;
        }
        chunks->LeaveChunk();
    }
    EXPECT_LE(chunks->Tell(), capacity);
    save.EndAccess();
    return good;
}

TEST(HbSaveFile, FileIsTheWholeBufferOfChunksAndZeros)
{
    TempDir dir;
    HbSaveFile save(1536);
    HbMChunkStream* chunks = save.GetChunkStream();
    ASSERT_EQ(chunks->BeginChunk(8453, 0, 0, 1), 28u);
    for (int32_t i = 0; i < 18; ++i)
        ASSERT_EQ(save.WriteInt32(i), 1);
    ASSERT_EQ(chunks->EndChunk(), 72u);
    ASSERT_EQ(save.WriteToFile((dir / "a.sav").c_str()), 1);

    std::string bytes = ReadBytes(dir / "a.sav");
    ASSERT_EQ(bytes.size(), 1536u);
    const uint8_t* data = save.GetMemoryBuffer()->GetData();
    EXPECT_EQ(bytes.substr(0, 100), std::string(reinterpret_cast<const char*>(data), 100));
    EXPECT_EQ(bytes.substr(100), std::string(1436, '\0'));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.sav.tmp"));
}

TEST(HbSaveFile, ChunksRoundTripThroughADiskFile)
{
    TempDir dir;
    std::string longText(1023, 'L');
    {
        HbSaveFile save(1536);
        WriteSample(save, longText);
        ASSERT_EQ(save.WriteToFile((dir / "round.sav").c_str()), 1);
    }
    HbSaveFile load(1536);
    ASSERT_EQ(load.ReadFromFile((dir / "round.sav").c_str()), 1);
    EXPECT_EQ(load.GetMode(), HbSaveFile::kIdle);
    std::string text;
    EXPECT_EQ(ReadSample(load, {2, 0, 1}, &text), 4);
    EXPECT_EQ(text, longText);

    // A chunk that is not there: the scan ends at the end of the buffer.
    ASSERT_EQ(load.BeginRead(), 1);
    HbMChunkStream* chunks = load.GetChunkStream();
    EXPECT_EQ(chunks->FindChunk(999, 0, 0), 0u);
    EXPECT_EQ(chunks->Tell(), 0);
    ASSERT_EQ(chunks->FindChunk(200, 0, 0), 1u);
    chunks->LeaveChunk();
    EXPECT_EQ(chunks->FindChunk(100, 0, 0), 0u);
}

TEST(HbSaveFile, ReadingStartsAfresh)
{
    // A reader that stopped inside a chunk does not bound the next reader.
    HbSaveFile save(512);
    WriteSample(save, "tail");
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    ASSERT_EQ(save.GetChunkStream()->FindChunk(100, 0, 0), 3u);
    ASSERT_EQ(save.GetChunkStream()->FindChunk(101, 1, 0), 2u);
    save.EndAccess();
    EXPECT_EQ(ReadSample(save, {0, 1, 2}), 4);
}

TEST(HbSaveFile, WriteToFileNeverDestroysAnExistingSave)
{
    TempDir dir;
    std::string path = dir / "slot.sav";
    WriteBytes(path, "previous");

    HbSaveFile empty(64);
    EXPECT_EQ(empty.WriteToFile(path.c_str()), 0) << "nothing written";
    EXPECT_EQ(ReadBytes(path), "previous");

    HbSaveFile save(64);
    ASSERT_EQ(save.WriteInt32(1), 1);
    EXPECT_EQ(save.WriteToFile((dir / "missing/slot.sav").c_str()), 0);
    EXPECT_EQ(save.WriteToFile(path.c_str()), 1);
    EXPECT_EQ(ReadBytes(path).size(), 64u);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"slot.sav"});
}

TEST(HbSaveFile, FilesThatDoNotFitAreRefused)
{
    TempDir dir;
    WriteBytes(dir / "exact.sav", std::string(64, '\x11'));
    WriteBytes(dir / "long.sav", std::string(65, '\x22'));
    HbSaveFile save(64);
    EXPECT_EQ(save.ReadFromFile((dir / "missing.sav").c_str()), 0);
    EXPECT_EQ(save.GetMode(), HbSaveFile::kWriting) << "a missing file changes nothing";

    ASSERT_EQ(save.ReadFromFile((dir / "exact.sav").c_str()), 1);
    EXPECT_EQ(save.GetMemoryBuffer()->GetData()[63], 0x11);
    EXPECT_EQ(save.ReadFromFile((dir / "long.sav").c_str()), 0);
    EXPECT_EQ(save.GetMode(), HbSaveFile::kIdle);
    const uint8_t* data = save.GetMemoryBuffer()->GetData();
    EXPECT_TRUE(std::all_of(data, data + 64, [](uint8_t b) { return b == 0; })) << "emptied";
    EXPECT_EQ(save.GetChunkStream()->Tell(), 0);
}

// Damaged saves: every mutation of a good file reads back without leaving the
// buffer, and the reader always comes back.
TEST(HbSaveFile, MutatedFilesNeverReadOutOfBounds)
{
    TempDir dir;
    std::string good = dir / "good.sav";
    std::vector<uint32_t> headers; // offsets of every header in the good file
    {
        HbSaveFile save(1536);
        WriteSample(save, std::string(200, 'T'), &headers);
        ASSERT_EQ(headers.size(), 8u);
        ASSERT_EQ(save.WriteToFile(good.c_str()), 1);
    }
    const std::string original = ReadBytes(good);
    ASSERT_EQ(original.size(), 1536u);

    std::mt19937 random(20240611);
    auto pick = [&random](uint32_t n) { return uint32_t(random() % n); };
    auto putWord = [](std::string& bytes, size_t offset, uint32_t value)
    {
        for (int i = 0; i < 4 && offset + i < bytes.size(); ++i)
            bytes[offset + i] = char(value >> (8 * i));
    };
    auto word = [](const std::string& bytes, size_t offset)
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(bytes[offset + i])) << (8 * i);
        return v;
    };

    std::string path = dir / "mutated.sav";
    int refused = 0;
    int whole = 0;   // rounds that still read every value
    int damaged = 0; // rounds that lost some
    for (int round = 0; round < 3000; ++round)
    {
        std::string bytes = original;
        switch (pick(5))
        {
        case 0: // flip a few bytes anywhere
            for (uint32_t n = 1 + pick(8); n > 0; --n)
                bytes[pick(1536)] ^= char(1 + pick(255));
            break;
        case 1: // a header field set to an awkward value, often with a right checksum
        {
            uint32_t header = headers[pick(uint32_t(headers.size()))];
            const uint32_t values[] = {0,
                                       1,
                                       27,
                                       28,
                                       0x7FFFFFFF,
                                       0xFFFFFFFF,
                                       0xFFFFFFE4,
                                       1536,
                                       1508 - header,
                                       1509 - header,
                                       uint32_t(random())};
            putWord(bytes, header + 4 * pick(6), values[pick(11)]);
            if (pick(4) != 0)
            {
                uint32_t sum = kHbChunkChecksumSeed;
                for (int f = 0; f < 6; ++f)
                    sum += word(bytes, header + 4 * f);
                putWord(bytes, header + 24, sum);
            }
            break;
        }
        case 2: // truncated
            bytes.resize(pick(1536));
            break;
        case 3: // longer than the buffer
            bytes.append(1 + pick(600), char(pick(256)));
            break;
        default: // a string without its zero, up to the end of the data
            std::fill(bytes.begin() + 400 + pick(1000), bytes.end(), char('A' + pick(26)));
            break;
        }
        WriteBytes(path, bytes);
        HbSaveFile save(1536);
        int read = save.ReadFromFile(path.c_str());
        EXPECT_EQ(read, bytes.size() <= 1536 ? 1 : 0) << "round " << round;
        refused += read ? 0 : 1;
        std::vector<uint32_t> order = {0, 1, 2};
        std::shuffle(order.begin(), order.end(), random);
        int values = ReadSample(save, order);
        EXPECT_LE(values, 4);
        (values == 4 ? whole : damaged) += 1;
        if (::testing::Test::HasFailure())
            FAIL() << "round " << round;
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(whole, 0);
    EXPECT_GT(damaged, 1000) << "the mutations must reach the readers' failure paths";
}

// ---- Registry and listing ---------------------------------------------------------------------------

class Counted : public HbRoot
{
public:
    explicit Counted(int* deaths) : mDeaths(deaths) {}
    ~Counted() override { ++*mDeaths; }

private:
    int* mDeaths;
};

TEST(HbSaveObjectRegistry, KeepsOneReferencePerName)
{
    int deaths = 0;
    auto* a = new Counted(&deaths);
    auto* b = new Counted(&deaths);
    auto* held = new Counted(&deaths);
    held->AddRef();
    {
        HbSaveObjectRegistry registry;
        EXPECT_EQ(registry.Add("A", a), 1);
        EXPECT_EQ(registry.Add("A", b), 0) << "the first object stays";
        EXPECT_EQ(registry.Add("N", nullptr), 0);
        EXPECT_EQ(registry.Find("A"), a);
        EXPECT_EQ(a->GetRefCount(), 1);
        EXPECT_EQ(registry.Remove("missing"), 0);
        EXPECT_EQ(registry.Remove("A"), 1);
        EXPECT_EQ(deaths, 1) << "the registry held the only reference";
        EXPECT_EQ(registry.Find("A"), nullptr);

        EXPECT_EQ(registry.Add("B", b), 1);
        EXPECT_EQ(registry.Add("H", held), 1);
        EXPECT_EQ(registry.GetCount(), 2);
    }
    EXPECT_EQ(deaths, 2) << "destroying the registry releases B; H is still held";
    EXPECT_EQ(held->GetRefCount(), 1);
    held->Release();
    EXPECT_EQ(deaths, 3);
}

TEST(HbSaveObjectRegistry, ListFilesMatchesWildcardsInOneDirectory)
{
    TempDir dir;
    for (const char* name : {"b.sav", "A.SAV", "c.txt", "save.sav.tmp", "x.sav"})
        WriteBytes(dir / name, "x");
    std::filesystem::create_directory(dir / "sub");
    WriteBytes(dir / "sub/inner.sav", "x");

    HbSaveObjectRegistry registry;
    HbStringArray names;
    EXPECT_EQ(registry.ListFiles(names, (dir / "*.sav").c_str()), 1);
    EXPECT_EQ(Names(names), (std::vector<std::string>{"A.SAV", "b.sav", "x.sav"}));

    EXPECT_EQ(registry.ListFiles(names, (dir.Path() + "\\?.txt").c_str()), 1);
    EXPECT_EQ(names.GetCount(), 4) << "appended";
    EXPECT_EQ(names[3], "c.txt");

    EXPECT_EQ(registry.ListFiles(names, (dir / "*.none").c_str()), 1);
    EXPECT_EQ(names.GetCount(), 4);
    EXPECT_EQ(registry.ListFiles(names, (dir / "nowhere/*.sav").c_str()), 0);
}

TEST(HbWildcardMatch, StarsQuestionMarksAndCase)
{
    struct Case
    {
        const char* pattern;
        const char* name;
        int match;
    } cases[] = {
        {"*.sav", "game.sav", 1},
        {"*.sav", "GAME.SAV", 1},
        {"*.sav", "game.sav2", 0},
        {"*.sav", ".sav", 1},
        {"Velmoran_*.sav", "Velmoran_Ann.sav", 1},
        {"Velmoran_*.sav", "Other_Ann.sav", 0},
        {"?.txt", "ab.txt", 0},
        {"a*b*c", "aXbYbZc", 1},
        {"a*b*c", "aXbYbZ", 0},
        {"*", "", 1},
        {"", "x", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HbWildcardMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

} // namespace
