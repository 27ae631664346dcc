// Tests of pack archives: the writer's layout, appending, the mounted set's
// order, exclusions and disk fallback, nested archives, and the refusal of
// truncated, corrupt and mutated archives.
#include "hbfile_fixture.h"
#include "hbpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

using hbtest::Entries;
using hbtest::PackSetTest;
using hbtest::ReadAll;
using hbtest::ReadBytes;
using hbtest::TempDir;
using hbtest::WriteBytes;
using hbtest::WritePack;

uint32_t U32At(const std::string& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(bytes[offset + i]);
    return v;
}

void PutU32(std::string& bytes, size_t offset, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>(v >> (8 * i));
}

std::string U32(uint32_t v)
{
    std::string s(4, '\0');
    PutU32(s, 0, v);
    return s;
}

std::string ReadEntry(HbPackArchive& archive, const char* name)
{
    HbFile* file = archive.OpenEntry(name, "rb");
    if (!file)
        return "<null>";
    std::string bytes = ReadAll(file);
    HbFileClose(file);
    return bytes;
}

std::string ReadName(const char* name)
{
    HbFile* file = HbFileOpen(name, "rb");
    if (!file)
        return "<null>";
    std::string bytes = ReadAll(file);
    HbFileClose(file);
    return bytes;
}

// ---- Writer and reader ------------------------------------------------------------------

TEST(HbPackArchive, CreatedAndClosedAtOnceIsExactlyTheHeader)
{
    TempDir dir;
    HbPackArchive archive;
    ASSERT_EQ(archive.Open((dir / "e.pak").c_str(), "wb"), &archive);
    EXPECT_EQ(archive.GetMode(), HbPackArchive::kCreate);
    EXPECT_EQ(archive.Close(), 0);
    EXPECT_EQ(ReadBytes(dir / "e.pak"), U32(kHbPackMagic) + U32(0) + U32(16) + U32(0));
}

TEST(HbPackArchive, WriterLaysOutDataIndexAndHeader)
{
    TempDir dir;
    std::string path = dir / "w.pak";
    HbPackArchive writer;
    ASSERT_NE(writer.Open(path.c_str(), "wb"), nullptr);
    EXPECT_EQ(writer.AddEntry("dir\\a.txt", "hello", 5), 1);
    HbFileFlush(writer.GetFile());
    EXPECT_EQ(ReadBytes(path).substr(0, 4), U32(kHbPackPlaceholder)); // while being written
    EXPECT_EQ(writer.AddEntry("b", "xy", 2), 1);
    writer.Close();

    std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 16u + 7 + (10 + 8) + (2 + 8));
    EXPECT_EQ(U32At(bytes, 0), kHbPackMagic);
    EXPECT_EQ(U32At(bytes, 4), 0u);
    EXPECT_EQ(U32At(bytes, 8), 23u);
    EXPECT_EQ(U32At(bytes, 12), 2u);
    EXPECT_EQ(bytes.substr(16, 7), "helloxy");
    std::string index = bytes.substr(23);
    size_t a = index.find("dir\\a.txt\n");
    size_t b = index.find("b\n");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    EXPECT_EQ(U32At(index, a + 10), 16u);
    EXPECT_EQ(U32At(index, a + 14), 5u);
    EXPECT_EQ(U32At(index, b + 2), 21u);
    EXPECT_EQ(U32At(index, b + 6), 2u);

    HbPackArchive reader;
    ASSERT_EQ(reader.Open(path.c_str(), "rb"), &reader);
    EXPECT_EQ(reader.GetMode(), HbPackArchive::kRead);
    EXPECT_EQ(reader.IsOpen(), 1);
    EXPECT_EQ(reader.GetName(), path);
    const HbPackEntryRange* range = reader.FindEntry("dir\\a.txt");
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->start, 16);
    EXPECT_EQ(range->end, 21);
    EXPECT_EQ(reader.FindEntry("DIR\\A.TXT"), nullptr); // archive names are exact
    EXPECT_EQ(reader.FindEntry("dir/a.txt"), nullptr);
    EXPECT_EQ(ReadEntry(reader, "b"), "xy");
}

TEST(HbPackArchive, AppendingKeepsTheOldEntriesAndAddsNewOnes)
{
    TempDir dir;
    std::string path = dir / "a.pak";
    ASSERT_TRUE(WritePack(path, {{"one", "111"}, {"two", "22"}}));
    {
        HbPackArchive appender;
        ASSERT_NE(appender.Open(path.c_str(), "ab"), nullptr);
        EXPECT_EQ(appender.GetMode(), HbPackArchive::kAppend);
        EXPECT_EQ(appender.AddEntry("three", "3333", 4), 1);
        EXPECT_EQ(appender.AddEntry("two", "TWO", 3), 1); // replaces the earlier entry
    }                                                     // the destructor closes and writes the index
    HbPackArchive reader;
    ASSERT_NE(reader.Open(path.c_str(), "rb"), nullptr);
    EXPECT_EQ(reader.GetIndex().GetCount(), 3);
    EXPECT_EQ(ReadEntry(reader, "one"), "111");
    EXPECT_EQ(ReadEntry(reader, "two"), "TWO");
    EXPECT_EQ(ReadEntry(reader, "three"), "3333");
}

// Reading an entry moves the archive's one file; the writer must still put new
// data and the index at the end of the data, in every mode.
TEST(HbPackArchive, ReadingAnEntryWhileWritingKeepsTheArchiveWhole)
{
    TempDir dir;
    std::string path = dir / "rw.pak";
    const std::string a = "AAAAAAAAAAAAAAAA"; // 16 bytes
    const std::string b = "b\nbee";
    struct Case
    {
        const char* mode;
        bool addAfterReading;
    } cases[] = {{"rb", false}, {"ab", false}, {"ab", true}, {"wb", true}};
    for (const Case& c : cases)
    {
        ASSERT_TRUE(WritePack(path, {{"a", a}, {"b", b}}));
        {
            HbPackArchive archive;
            ASSERT_NE(archive.Open(path.c_str(), c.mode), nullptr) << c.mode;
            bool created = std::strchr(c.mode, 'w') != nullptr;
            if (created)
            {
                ASSERT_EQ(archive.AddEntry("a", a.data(), a.size()), 1);
            }
            HbFile* entry = archive.OpenEntry("a", "rb");
            ASSERT_NE(entry, nullptr);
            char two[2] = {};
            // A created archive's file is write-only: the read gets nothing, harmlessly.
            EXPECT_EQ(HbFileRead(two, 1, 2, entry), created ? 0u : 2u) << c.mode;
            if (c.addAfterReading)
            {
                EXPECT_EQ(archive.AddEntry("c", "CC", 2), 1);
                EXPECT_EQ(HbFileRead(two, 1, 2, entry), created ? 0u : 2u) << c.mode;
                EXPECT_EQ(std::string(two, 2), created ? std::string(2, '\0') : "AA");
            }
            HbFileClose(entry);
            if (created)
            {
                EXPECT_EQ(archive.AddEntry("b", b.data(), b.size()), 1);
            }
            archive.Close();
        }
        HbPackArchive reader;
        ASSERT_NE(reader.Open(path.c_str(), "rb"), nullptr) << c.mode;
        EXPECT_EQ(ReadEntry(reader, "a"), a) << c.mode;
        EXPECT_EQ(ReadEntry(reader, "b"), b) << c.mode;
        EXPECT_EQ(ReadEntry(reader, "c"), c.addAfterReading ? "CC" : "<null>") << c.mode;
    }
}

// The index is written in the order of a 17-bucket name map, as archives have
// always been written, however the index is kept in memory.
TEST(HbPackArchive, IndexIsWrittenInTheNameMapOrder)
{
    TempDir dir;
    std::string path = dir / "order.pak";
    Entries entries;
    for (int i = 0; i < 60; ++i)
        entries.push_back({"dir\\file" + std::to_string(i * 7) + ".dat", std::to_string(i)});
    entries.push_back({"file3", "x"});
    entries.push_back({"dir\\file14.dat", "replaced"}); // keeps its first place
    ASSERT_TRUE(WritePack(path, entries));

    StringHashMap expected(17, 10);
    for (const auto& [name, data] : entries)
        *expected.FindOrInsert(name + "\n") = nullptr;
    std::vector<std::string> expectedOrder;
    HbPosition position = expected.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (expected.GetNextAssoc(position, key, value))
        expectedOrder.push_back(key);

    std::string bytes = ReadBytes(path);
    std::vector<std::string> written;
    for (size_t at = U32At(bytes, 8); at < bytes.size();)
    {
        size_t end = bytes.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        written.push_back(bytes.substr(at, end + 1 - at));
        at = end + 1 + 8;
    }
    EXPECT_EQ(written, expectedOrder);
}

TEST(HbPackArchive, IndexEntriesAndAddedNamesAreChecked)
{
    TempDir dir;
    HbPackArchive archive;
    EXPECT_EQ(archive.AddEntry("x", "1", 1), 0); // not open for writing
    ASSERT_NE(archive.Open((dir / "c.pak").c_str(), "wb"), nullptr);
    std::string longest(kHbPackMaxNameLine - 1, 'n');
    struct Case
    {
        std::string name;
        int result;
    } cases[] = {{"", 0}, {"a\nb", 0}, {std::string("a\0b", 3), 0}, {longest, 1}, {longest + "n", 0}, {"ok", 1}};
    for (const Case& c : cases)
        EXPECT_EQ(archive.AddEntry(c.name, "d", 1), c.result) << c.name.size();
    EXPECT_EQ(archive.AddEntry("null", nullptr, 3), 0);

    EXPECT_EQ(archive.AddIndexEntry("k\n", 20, 30), 1);
    EXPECT_EQ(archive.AddIndexEntry("k", 40, 45), 1); // the same key, replaced
    EXPECT_EQ(archive.FindEntry("k")->start, 40);
    EXPECT_EQ(archive.AddIndexEntry("bad", 50, 49), 0);
    EXPECT_EQ(archive.AddIndexEntry("bad", -1, 4), 0);
    EXPECT_EQ(archive.AddIndexEntry("bad", 0, int64_t(UINT32_MAX) + 1), 0);
    EXPECT_EQ(archive.FindEntry("bad"), nullptr);
    EXPECT_EQ(archive.GetIndex().GetCount(), 3);
}

// Keys of every length from 1 to 90 bytes (kept in the slot or beside it), grown past
// several resizes, each found with its own range; names one byte off, cut short or one
// byte longer are not.
TEST(HbPackArchive, LookUpsFindEveryKeyLengthAndNothingNearIt)
{
    HbPackArchive archive;
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i)
    {
        std::string name = "d\\" + std::to_string(i);
        name.resize(size_t(1 + i % 90), char('a' + i % 26));
        names.push_back(name);
    }
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_EQ(archive.AddIndexEntry(names[i], int64_t(i), int64_t(i) + 1), 1);
    int distinct = 0;
    for (size_t i = 0; i < names.size(); ++i)
    {
        const HbPackEntryRange* range = archive.FindEntry(names[i]);
        ASSERT_NE(range, nullptr) << names[i];
        // Short names repeat; the last range stored under a name wins.
        distinct += range->start == int64_t(i);
        std::string off = names[i];
        off.back() = char(off.back() ^ 0x40);
        std::string longer = names[i] + "z";
        for (const std::string& near : {off, longer, names[i] + "\n", names[i].substr(0, names[i].size() - 1)})
            if (std::find(names.begin(), names.end(), near) == names.end())
                EXPECT_EQ(archive.FindEntry(near), nullptr) << near;
    }
    EXPECT_EQ(archive.GetIndex().GetCount(), distinct);
    EXPECT_GT(distinct, 2500);
}

// ---- The mounted set -----------------------------------------------------------------

TEST_F(PackSetTest, NewestMountedArchiveIsSearchedFirst)
{
    ASSERT_TRUE(WritePack(mDir / "old.pak", {{"shared", "old"}, {"only_old", "o"}}));
    ASSERT_TRUE(WritePack(mDir / "new.pak", {{"shared", "new"}}));
    std::string oldPath = mDir / "old.pak";
    std::string newPath = mDir / "new.pak";
    EXPECT_EQ(Set().Mount(oldPath.c_str()), 1);
    EXPECT_EQ(Set().Mount(newPath.c_str()), 1);
    EnablePacks(0);
    EXPECT_EQ(ReadName("shared"), "new");
    EXPECT_EQ(ReadName("only_old"), "o");
    Set().Unmount("no such pack");
    EXPECT_EQ(Set().GetMountedCount(), 2);
    Set().Unmount(newPath.c_str());
    EXPECT_EQ(ReadName("shared"), "old");
    Set().Unmount(nullptr);
    EXPECT_EQ(Set().GetMountedCount(), 0);
}

TEST_F(PackSetTest, ExcludedExtensionsComeFromTheDiskCaseSensitively)
{
    std::string lower = mDir / "save1.sav";
    std::string upper = mDir / "SAVE1.SAV";
    WriteBytes(lower, "disk lower");
    WriteBytes(upper, "disk upper");
    ASSERT_TRUE(WritePack(mDir / "p.pak", {{lower, "pack lower"}, {upper, "pack upper"}}));
    ASSERT_EQ(Set().Mount((mDir / "p.pak").c_str()), 1);
    EnablePacks(0);
    EXPECT_EQ(ReadName(lower.c_str()), "disk lower");
    EXPECT_EQ(ReadName(upper.c_str()), "pack upper");
    EXPECT_EQ(Set().IsExcluded("a.b\\c.sav"), 1);
    EXPECT_EQ(Set().IsExcluded("dir.sav\\file"), 0); // the text after the last '.'
    EXPECT_EQ(Set().IsExcluded("nodot"), 0);
    EXPECT_EQ(Set().AddExcludedExtension(""), 0);
}

TEST_F(PackSetTest, DiskFallbackDecidesWhatArchivesCannotServe)
{
    std::string name = mDir / "loose.txt";
    WriteBytes(name, "loose");
    ASSERT_TRUE(WritePack(mDir / "p.pak", {{"packed", "p"}}));
    ASSERT_EQ(Set().Mount((mDir / "p.pak").c_str()), 1);

    EnablePacks(0);
    EXPECT_EQ(ReadName(name.c_str()), "<null>");
    EXPECT_EQ(HbFileExists(name.c_str()), 0);
    EXPECT_EQ(HbFileExists("packed"), 1);
    std::string created = mDir / "created.txt";
    HbFile* file = HbFileOpen(created.c_str(), "wb"); // writes always go to the disk
    ASSERT_NE(file, nullptr);
    HbFileClose(file);
    EXPECT_EQ(HbFileExists(created.c_str()), 0);

    Set().SetDiskFallback(1);
    EXPECT_EQ(ReadName(name.c_str()), "loose");
    EXPECT_EQ(HbFileExists(name.c_str()), 1);
    EXPECT_EQ(HbFileExists(created.c_str()), 1);

    Set().SetEnabled(0); // disabled: only the disk
    EXPECT_EQ(ReadName("packed"), "<null>");
    EXPECT_EQ(HbFileExists("packed"), 0);
    EXPECT_EQ(ReadName(name.c_str()), "loose");
}

TEST_F(PackSetTest, NestedArchiveMountsAndReportsItsAbsoluteRange)
{
    std::string innerPath = mDir / "inner.pak";
    ASSERT_TRUE(WritePack(innerPath, {{"pad", "0123"}, {"sound.wav", "RIFFDATA"}}));
    std::string inner = ReadBytes(innerPath);
    ASSERT_TRUE(WritePack(mDir / "outer.pak", {{"x", "prefix"}, {"inner.pak", inner}}));
    std::string outerPath = mDir / "outer.pak";
    ASSERT_EQ(Set().Mount(outerPath.c_str()), 1);
    EnablePacks(0);
    ASSERT_EQ(Set().Mount("inner.pak"), 1); // found inside the outer archive
    HbPackArchive* outerArchive = Set().GetMounted(0);
    HbPackArchive* innerArchive = Set().GetMounted(1);
    EXPECT_NE(innerArchive->GetFile()->archive, nullptr);

    HbFile* sound = HbFileOpen("sound.wav", "rb");
    HbFile* pad = HbFileOpen("pad", "rb");
    ASSERT_NE(sound, nullptr);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(HbFileGetc(pad), '0');
    EXPECT_EQ(ReadAll(sound), "RIFFDATA");
    EXPECT_EQ(ReadAll(pad), "123");
    EXPECT_EQ(HbPackEntryRootArchive(sound), outerArchive);
    EXPECT_EQ(HbFileNo(sound), HbFileNo(outerArchive->GetFile()));

    int64_t start = -1, end = -1;
    ASSERT_EQ(HbPackEntryAbsoluteRange(sound, &start, &end), 1);
    EXPECT_EQ(start, sound->entryStart + innerArchive->GetFile()->entryStart);
    EXPECT_EQ(ReadBytes(outerPath).substr(static_cast<size_t>(start), static_cast<size_t>(end - start)), "RIFFDATA");
    HbFileClose(pad);
    HbFileClose(sound);

    WriteBytes(mDir / "disk.bin", "d");
    HbFile* disk = HbFileFromDisk((mDir / "disk.bin").c_str(), "rb");
    ASSERT_NE(disk, nullptr);
    start = end = 77;
    EXPECT_EQ(HbPackEntryAbsoluteRange(disk, &start, &end), 0);
    EXPECT_EQ(start, 77);
    EXPECT_EQ(HbPackEntryRootArchive(disk), nullptr);
    HbFileClose(disk);

    // Unmounting the outer archive first closes the inner one, which stays
    // mounted and empty until its own unmount.
    Set().Unmount(outerPath.c_str());
    EXPECT_EQ(Set().GetMountedCount(), 1);
    EXPECT_EQ(ReadName("sound.wav"), "<null>");
    Set().Unmount("inner.pak");
    EXPECT_EQ(Set().GetMountedCount(), 0);
}

TEST_F(PackSetTest, FailedMountReportsFailureAndKeepsAnEmptyArchive)
{
    std::string bad = mDir / "bad.pak";
    WriteBytes(bad, "not an archive at all");
    EXPECT_EQ(Set().Mount(bad.c_str()), 0);
    EXPECT_EQ(Set().Mount((mDir / "missing.pak").c_str()), 0);
    ASSERT_EQ(Set().GetMountedCount(), 2);
    EXPECT_EQ(Set().GetMounted(0)->GetFile(), nullptr);
    EXPECT_EQ(Set().GetMounted(0)->GetIndex().GetCount(), 0);
    Set().Unmount(bad.c_str());
    EXPECT_EQ(Set().GetMountedCount(), 1);
}

// ---- Bad archives -----------------------------------------------------------------------

// A valid archive's bytes and the offset of its index.
struct Sample
{
    std::string bytes;
    uint32_t indexOffset = 0;
};

Sample MakeSample(const TempDir& dir)
{
    Sample sample;
    std::string path = dir / "sample.pak";
    EXPECT_TRUE(WritePack(path, {{"a", "hello"}, {"dir\\b.txt", "line1\nline2\nlast"}, {"c", std::string(40, 'c')}}));
    sample.bytes = ReadBytes(path);
    sample.indexOffset = U32At(sample.bytes, 8);
    return sample;
}

// Opens the bytes as an archive. When accepted, every entry must lie inside
// the archive and read back exactly its size, line by line too; the sanitizer
// build checks that nothing is touched out of bounds on the way.
bool OpensSafely(const std::string& path, const std::string& bytes)
{
    WriteBytes(path, bytes);
    HbPackArchive archive;
    if (!archive.Open(path.c_str(), "rb"))
    {
        EXPECT_EQ(archive.GetFile(), nullptr);
        EXPECT_EQ(archive.GetIndex().GetCount(), 0);
        return false;
    }
    HbPosition position = archive.GetIndex().GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (archive.GetIndex().GetNextAssoc(position, key, value))
    {
        auto* range = static_cast<HbPackEntryRange*>(value);
        EXPECT_LE(range->start, range->end);
        EXPECT_LE(range->end, static_cast<int64_t>(bytes.size()));
        EXPECT_LE(key.size(), static_cast<size_t>(kHbPackMaxNameLine));
        HbFile* file = archive.OpenEntry(key.substr(0, key.size() - 1), "rb");
        if (!file)
            continue; // a name with a zero byte cannot be asked for
        EXPECT_EQ(static_cast<int64_t>(ReadAll(file).size()), range->end - range->start);
        EXPECT_EQ(HbFileSeek(file, 0, SEEK_SET), 0);
        char line[8];
        int64_t total = 0;
        while (HbFileGets(line, sizeof(line), file))
            total += static_cast<int64_t>(std::strlen(line));
        EXPECT_LE(total, range->end - range->start);
        HbFileClose(file);
    }
    return true;
}

TEST(HbPackArchiveBad, CorruptHeadersAndIndexesAreRefused)
{
    TempDir dir;
    Sample s = MakeSample(dir);
    ASSERT_TRUE(OpensSafely(dir / "m.pak", s.bytes));
    const uint32_t size = static_cast<uint32_t>(s.bytes.size());
    const size_t firstRecord = s.indexOffset;
    const size_t nameEnd = s.bytes.find('\n', firstRecord);
    ASSERT_NE(nameEnd, std::string::npos);
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"wrong magic", 0, 0x12345678},
        {"placeholder left by an unfinished writer", 0, kHbPackPlaceholder},
        {"second word not zero", 4, 1},
        {"index offset past the end", 8, size + 1},
        {"index offset huge", 8, 0xFFFFFFFF},
        {"index offset inside the header", 8, 8},
        {"absurd count", 12, 0xFFFFFFFF},
        {"count beyond the remaining bytes", 12, (size - s.indexOffset) / 9 + 1},
        {"entry offset past the end", nameEnd + 1, size},
        {"entry size past the end", nameEnd + 5, size},
        {"entry offset and size wrap in 32 bits", nameEnd + 1, 0xFFFFFFF0},
        {"entry size huge", nameEnd + 5, 0xFFFFFFFF},
    };
    for (const Case& c : cases)
    {
        std::string bytes = s.bytes;
        PutU32(bytes, c.at, c.value);
        if (std::strstr(c.what, "wrap"))
            PutU32(bytes, c.at + 4, 0x20);
        EXPECT_FALSE(OpensSafely(dir / "m.pak", bytes)) << c.what;
    }

    std::string longName(300, 'L');
    std::string noLineFeed = s.bytes.substr(0, s.indexOffset) + "abc";
    PutU32(noLineFeed, 12, 1);
    std::string tooLong = s.bytes.substr(0, s.indexOffset) + longName + "\n" + U32(16) + U32(1);
    PutU32(tooLong, 12, 1);
    std::string zeroInName = s.bytes.substr(0, s.indexOffset) + std::string("a\0b\n", 4) + U32(16) + U32(1);
    PutU32(zeroInName, 12, 1);
    for (const std::string& bytes : {noLineFeed, tooLong, zeroInName})
        EXPECT_FALSE(OpensSafely(dir / "m.pak", bytes));

    // Mounting it reports the failure.
    {
        HbPackSet* set = HbPackSet::Instance();
        int32_t before = set->GetMountedCount();
        WriteBytes(dir / "m.pak", tooLong);
        EXPECT_EQ(set->Mount((dir / "m.pak").c_str()), 0);
        set->Unmount((dir / "m.pak").c_str());
        EXPECT_EQ(set->GetMountedCount(), before);
    }
}

TEST(HbPackArchiveBad, HundredsOfMutatedArchivesAreRefusedOrReadSafely)
{
    TempDir dir;
    Sample s = MakeSample(dir);
    std::string path = dir / "m.pak";
    int accepted = 0;
    int runs = 0;

    // Every truncation loses part of the index (or the data it points into).
    for (size_t length = 0; length < s.bytes.size(); ++length, ++runs)
        EXPECT_FALSE(OpensSafely(path, s.bytes.substr(0, length))) << "truncated to " << length;

    // Random flips in the header and the index, one to three bytes at a time.
    std::mt19937 rng(20240611);
    std::vector<size_t> positions;
    for (size_t i = 0; i < 16; ++i)
        positions.push_back(i);
    for (size_t i = s.indexOffset; i < s.bytes.size(); ++i)
        positions.push_back(i);
    for (int i = 0; i < 300; ++i, ++runs)
    {
        std::string bytes = s.bytes;
        int flips = 1 + static_cast<int>(rng() % 3);
        for (int f = 0; f < flips; ++f)
            bytes[positions[rng() % positions.size()]] ^= static_cast<char>(1 + rng() % 255);
        accepted += OpensSafely(path, bytes) ? 1 : 0;
    }

    // Huge values over the header's offset and count and at every byte of the index.
    const uint32_t huge[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0, static_cast<uint32_t>(s.bytes.size())};
    std::vector<size_t> words = {8, 12};
    for (size_t at = s.indexOffset; at + 4 <= s.bytes.size(); ++at)
        words.push_back(at);
    for (size_t at : words)
        for (uint32_t value : huge)
        {
            std::string bytes = s.bytes;
            PutU32(bytes, at, value);
            accepted += OpensSafely(path, bytes) ? 1 : 0;
            ++runs;
        }
    EXPECT_GT(runs, 400);
    EXPECT_LT(accepted, runs / 2); // most mutations must be caught
}

} // namespace
