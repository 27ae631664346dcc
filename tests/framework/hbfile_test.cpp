// Tests of the file layer: disk names, hooks, the read-open rule's update modes,
// and reading, seeking and line reading inside archive entries.
#include "hbfile.h"
#include "hbfile_fixture.h"
#include "hbpack.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

using hbtest::PackSetTest;
using hbtest::ReadAll;
using hbtest::ReadBytes;
using hbtest::WriteBytes;
using hbtest::WritePack;

std::string ReadName(const std::string& name)
{
    HbFile* file = HbFileOpen(name.c_str(), "rb");
    if (!file)
        return "<null>";
    std::string bytes = ReadAll(file);
    HbFileClose(file);
    return bytes;
}

// ---- Disk names -------------------------------------------------------------------------

class HbFileDisk : public PackSetTest
{
};

TEST_F(HbFileDisk, NamesResolveWithEitherSeparatorAndAnyCase)
{
    std::filesystem::create_directories(mDir / "Data/Sub");
    WriteBytes(mDir / "Data/Sub/File.TXT", "file");
    WriteBytes(mDir / "Data/Sub/A.txt", "upper");
    WriteBytes(mDir / "Data/Sub/a.txt", "lower");
    struct Case
    {
        const char* name;
        const char* content;
    } cases[] = {
        {"Data/Sub/File.TXT", "file"},
        {"data\\sub\\file.txt", "file"},
        {"DATA/sub\\FILE.txt", "file"},
        {"Data/Sub/a.txt", "lower"}, // an exact match comes first
        {"Data/Sub/A.txt", "upper"},
        {"data/sub/A.TXT", "upper"}, // otherwise the byte-wise smallest match
        {"Data/Sub/missing.txt", "<null>"},
        {"Data/Nothing/File.TXT", "<null>"},
        {"Data/Sub", "<null>"}, // a directory is no file
    };
    for (const Case& c : cases)
    {
        std::string name = mDir.Path() + "/" + c.name;
        EXPECT_EQ(ReadName(name), c.content) << c.name;
        EXPECT_EQ(HbFileExists(name.c_str()),
                  std::strcmp(c.content, "<null>") != 0 || std::strcmp(c.name, "Data/Sub") == 0)
            << c.name;
    }
}

TEST_F(HbFileDisk, NewFileKeepsItsNameInsideTheResolvedDirectory)
{
    std::filesystem::create_directories(mDir / "Saves");
    std::string name = mDir.Path() + "\\SAVES\\Slot1.Sav";
    HbFile* file = HbFileOpen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(HbFilePuts("abc", file), 1);
    EXPECT_EQ(HbFilePrintf(file, "%d-%s", 12, "x"), 4);
    EXPECT_EQ(HbFilePutc('!', file), '!');
    EXPECT_EQ(HbFileClose(file), 0);
    EXPECT_EQ(ReadBytes(mDir / "Saves/Slot1.Sav"), "abc12-x!");
    // Rewriting through another spelling reaches the same file.
    file = HbFileOpen((mDir.Path() + "/saves/slot1.sav").c_str(), "ab");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(HbFileWrite("yz", 1, 2, file), 2u);
    HbFileClose(file);
    EXPECT_EQ(ReadBytes(mDir / "Saves/Slot1.Sav"), "abc12-x!yz");
}

TEST_F(HbFileDisk, TextModeKeepsCarriageReturnsAndGetsBehavesAsStdio)
{
    WriteBytes(mDir / "t.txt", "one\r\ntwo\nthree");
    HbFile* file = HbFileOpen((mDir / "t.txt").c_str(), "rt");
    ASSERT_NE(file, nullptr);
    char line[8];
    ASSERT_NE(HbFileGets(line, sizeof(line), file), nullptr);
    EXPECT_STREQ(line, "one\r\n");
    ASSERT_NE(HbFileGets(line, 3, file), nullptr);
    EXPECT_STREQ(line, "tw");
    ASSERT_NE(HbFileGets(line, sizeof(line), file), nullptr);
    EXPECT_STREQ(line, "o\n");
    ASSERT_NE(HbFileGets(line, sizeof(line), file), nullptr);
    EXPECT_STREQ(line, "three");
    EXPECT_EQ(HbFileGets(line, sizeof(line), file), nullptr);
    EXPECT_NE(HbFileEof(file), 0);
    HbFileClearErr(file);
    EXPECT_EQ(HbFileEof(file), 0);
    EXPECT_EQ(HbFileSeek(file, 1, SEEK_SET), 0);
    EXPECT_EQ(HbFileGetc(file), 'n');
    EXPECT_EQ(HbFileTell(file), 2);
    HbFileClose(file);
}

TEST(HbFileRecords, StandardStreamsPipesDescriptorsAndUserData)
{
    ASSERT_NE(HbFileStdin, nullptr);
    EXPECT_EQ(HbFileStdin->crt, stdin);
    EXPECT_EQ(HbFileStdout->crt, stdout);
    EXPECT_EQ(HbFileStderr->crt, stderr);
    EXPECT_EQ(HbFileNo(HbFileStderr), 2);

    HbFile* pipe = HbFileOpenPipe("echo piped", "rb");
    ASSERT_NE(pipe, nullptr);
    char line[32];
    ASSERT_NE(HbFileGets(line, sizeof(line), pipe), nullptr);
    EXPECT_STREQ(line, "piped\n");
    EXPECT_EQ(HbFileClosePipe(pipe), 0);

    hbtest::TempDir dir;
    WriteBytes(dir / "d.bin", "descriptor");
    FILE* raw = std::fopen((dir / "d.bin").c_str(), "rb");
    ASSERT_NE(raw, nullptr);
    HbFile* file = HbFileOpenDescriptor(::dup(::fileno(raw)), "rb");
    std::fclose(raw);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(HbFileSetUserData(file, 0x1234), 0u);
    EXPECT_EQ(HbFileSetUserData(file, 7), 0x1234u);
    EXPECT_EQ(ReadAll(file), "descriptor");
    HbFileClose(file);
}

TEST(HbFilePath, DirectoryAndFileNameSplitAtTheLastSeparator)
{
    struct Case
    {
        const char* path;
        const char* directory;
        const char* fileName;
    } cases[] = {
        {"a.txt", ".\\", "a.txt"},
        {"dir\\sub\\a.txt", "dir\\sub\\", "a.txt"},
        {"dir/sub\\a.txt", "dir/sub\\", "a.txt"},
        {"dir\\sub/a.txt", "dir\\sub/", "a.txt"},
        {"dir\\", "dir\\", ""},
        {"", ".\\", ""},
    };
    for (const Case& c : cases)
    {
        std::string directory, fileName;
        EXPECT_EQ(HbPathGetDirectory(c.path, directory), 1);
        EXPECT_EQ(HbPathGetFileName(c.path, fileName), 1);
        EXPECT_EQ(directory, c.directory) << c.path;
        EXPECT_EQ(fileName, c.fileName) << c.path;
    }
}

// ---- Hooks and the read-open rule -------------------------------------------------------

struct HookLog
{
    std::vector<std::string> events;
};
HookLog gLog;

TEST_F(PackSetTest, OpenHooksRunOnEveryOpenAndAfterOpenOnlyForDiskFiles)
{
    WriteBytes(mDir / "disk.txt", "d");
    ASSERT_TRUE(WritePack(mDir / "p.pak", {{"inpack.txt", "p"}}));
    ASSERT_EQ(Set().Mount((mDir / "p.pak").c_str()), 1);
    EnablePacks(1);
    gLog.events.clear();
    HbFileBeforeOpenHook = [] { gLog.events.push_back("before"); };
    HbFileNameHook = [](const char* name) { gLog.events.push_back(std::string("name ") + name); };
    HbFileAfterOpenHook = [](HbFile* file, const char* name)
    { gLog.events.push_back(std::string("after ") + name + (file->crt ? " disk" : " entry")); };
    HbFileBeforeCloseHook = [](HbFile*, int reserved) { gLog.events.push_back("close " + std::to_string(reserved)); };

    std::string disk = mDir / "disk.txt";
    HbFile* a = HbFileOpen(disk.c_str(), "rb");
    HbFile* b = HbFileOpen("inpack.txt", "rb");
    HbFile* c = HbFileOpen("absent.txt", "rb");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    HbFileClose(b);
    HbFileClose(a);
    EXPECT_EQ(gLog.events,
              (std::vector<std::string>{"before", "name " + disk, "after " + disk + " disk", "before",
                                        "name inpack.txt", "before", "name absent.txt", "close 0", "close 0"}));
}

TEST_F(PackSetTest, UpdateModesOpenFromTheDiskNeverFromAnArchive)
{
    std::string name = mDir / "shared.bin";
    WriteBytes(name, "disk");
    ASSERT_TRUE(WritePack(mDir / "p.pak", {{name, "pack"}}));
    ASSERT_EQ(Set().Mount((mDir / "p.pak").c_str()), 1);
    EnablePacks(0);
    EXPECT_EQ(ReadName(name), "pack");
    HbFile* file = HbFileOpen(name.c_str(), "rb+");
    ASSERT_NE(file, nullptr);
    EXPECT_NE(file->crt, nullptr);
    EXPECT_EQ(HbFileWrite("DISK", 1, 4, file), 4u);
    HbFileClose(file);
    EXPECT_EQ(ReadBytes(name), "DISK");
}

// ---- Entries ---------------------------------------------------------------------------

class HbFileEntry : public PackSetTest
{
protected:
    void SetUp() override
    {
        PackSetTest::SetUp();
        ASSERT_TRUE(WritePack(
            mDir / "e.pak",
            {{"first", "0123456789"}, {"lines", "alpha\nbeta\ngamma"}, {"nine", "ABCDEFGHI"}, {"empty", ""}}));
        ASSERT_EQ(Set().Mount((mDir / "e.pak").c_str()), 1);
        EnablePacks(0);
    }
    HbFile* Open(const char* name)
    {
        HbFile* file = HbFileOpen(name, "rb");
        EXPECT_NE(file, nullptr) << name;
        if (file)
            mOpen.push_back(file);
        return file;
    }
    void TearDown() override
    {
        for (HbFile* file : mOpen)
            HbFileClose(file);
        PackSetTest::TearDown();
    }
    std::vector<HbFile*> mOpen;
};

TEST_F(HbFileEntry, PartialReadReturnsWholeItemsAndStopsAtTheEnd)
{
    HbFile* file = Open("nine");
    uint32_t items[10] = {};
    EXPECT_EQ(HbFileRead(items, 4, 0, file), 0u);
    EXPECT_EQ(HbFileRead(items, 4, 10, file), 2u);
    EXPECT_EQ(std::memcmp(items, "ABCDEFGH", 8), 0);
    EXPECT_NE(HbFileEof(file), 0);
    EXPECT_EQ(HbFileTell(file), 9);
    EXPECT_EQ(HbFileRead(items, 1, 1, file), 0u);

    // A count whose byte total wraps around still reads only what the entry holds.
    ASSERT_EQ(HbFileSeek(file, 0, SEEK_SET), 0);
    char buffer[16] = {};
    EXPECT_EQ(HbFileRead(buffer, 1, SIZE_MAX, file), 9u);
    EXPECT_STREQ(buffer, "ABCDEFGHI");
    ASSERT_EQ(HbFileSeek(file, 0, SEEK_SET), 0);
    EXPECT_EQ(HbFileRead(buffer, SIZE_MAX / 2 + 2, 2, file), 0u);
    EXPECT_EQ(HbFileTell(file), 9);
}

TEST_F(HbFileEntry, SeekAllowsTheEndAndRefusesBeyondIt)
{
    HbFile* file = Open("first");
    struct Case
    {
        int64_t offset;
        int origin;
        int result;
        int64_t tell;
    } cases[] = {
        {0, SEEK_END, 0, 10},          {1, SEEK_END, -1, 10},         {3, SEEK_SET, 0, 3},
        {2, SEEK_CUR, 0, 5},           {-6, SEEK_CUR, -1, 10},        {-10, SEEK_END, 0, 0},
        {INT64_MAX, SEEK_CUR, -1, 10}, {INT64_MIN, SEEK_END, -1, 10}, {4, 7, -1, 10},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(HbFileSeek(file, c.offset, c.origin), c.result) << c.offset << " " << c.origin;
        EXPECT_EQ(HbFileTell(file), c.tell) << c.offset << " " << c.origin;
        EXPECT_EQ(HbFileEof(file), c.result == 0 ? 0 : 1) << c.offset << " " << c.origin;
    }
    ASSERT_EQ(HbFileSeek(file, 0, SEEK_END), 0);
    EXPECT_EQ(HbFileEof(file), 0); // until a read finds the end
    EXPECT_EQ(HbFileGetc(file), -1);
    EXPECT_NE(HbFileEof(file), 0);
    ASSERT_EQ(HbFileSeek(file, -1, SEEK_END), 0);
    EXPECT_EQ(HbFileGetc(file), '9');
}

TEST_F(HbFileEntry, GetsStopsAtTheEntryEnd)
{
    HbFile* lines = Open("lines");
    HbFile* next = Open("nine"); // the bytes after "lines" in the archive
    char buffer[64];
    ASSERT_NE(HbFileGets(buffer, sizeof(buffer), lines), nullptr);
    EXPECT_STREQ(buffer, "alpha\n");
    EXPECT_EQ(HbFileEof(lines), 0);
    ASSERT_NE(HbFileGets(buffer, 3, lines), nullptr);
    EXPECT_STREQ(buffer, "be");
    ASSERT_NE(HbFileGets(buffer, sizeof(buffer), lines), nullptr);
    EXPECT_STREQ(buffer, "ta\n");
    ASSERT_NE(HbFileGets(buffer, sizeof(buffer), lines), nullptr);
    EXPECT_STREQ(buffer, "gamma"); // cut at the end, not running into "ABC..."
    EXPECT_NE(HbFileEof(lines), 0);
    EXPECT_EQ(HbFileTell(lines), 16);
    EXPECT_EQ(HbFileGets(buffer, sizeof(buffer), lines), nullptr);
    EXPECT_EQ(HbFileGetc(next), 'A');

    HbFile* empty = Open("empty");
    EXPECT_EQ(HbFileGets(buffer, sizeof(buffer), empty), nullptr);
    EXPECT_NE(HbFileEof(empty), 0);
}

TEST_F(HbFileEntry, EntriesReadAlternatelyEachSeeTheirOwnBytes)
{
    HbFile* a = Open("first");
    HbFile* b = Open("nine");
    HbFile* c = Open("first");
    std::string sa, sb, sc;
    for (int i = 0; i < 12; ++i)
    {
        int x = HbFileGetc(a);
        char y = 0;
        if (HbFileRead(&y, 1, 1, b) == 1)
            sb += y;
        int z = HbFileGetc(c);
        if (x >= 0)
            sa += static_cast<char>(x);
        if (z >= 0)
            sc += static_cast<char>(z);
        if (i == 4)
        {
            EXPECT_EQ(HbFileSeek(c, 0, SEEK_SET), 0);
        }
    }
    EXPECT_EQ(sa, "0123456789");
    EXPECT_EQ(sb, "ABCDEFGHI");
    EXPECT_EQ(sc, "012340123456");
}

TEST_F(HbFileEntry, WritingToAnEntryIsRefusedAndFlagged)
{
    HbFile* file = Open("first");
    EXPECT_EQ(HbFileWrite("x", 1, 1, file), 0u);
    EXPECT_NE(HbFileError(file), 0);
    EXPECT_EQ(HbFilePuts("x", file), EOF);
    EXPECT_EQ(HbFilePutc('x', file), EOF);
    EXPECT_LT(HbFilePrintf(file, "%d", 1), 0);
    EXPECT_EQ(HbFileFlush(file), 0);
    HbFileClearErr(file);
    EXPECT_EQ(HbFileError(file), 0);
    EXPECT_EQ(ReadAll(file), "0123456789");
    EXPECT_EQ(HbFileNo(file), HbFileNo(Set().GetMounted(0)->GetFile()));
}

TEST_F(HbFileEntry, ManyOpenRecordsOutgrowThePoolIntoTheHeap)
{
    std::vector<HbFile*> files;
    for (int i = 0; i < 30; ++i)
        files.push_back(HbFileOpen(i % 2 ? "first" : "nine", "rb"));
    for (int i = 0; i < 30; ++i)
    {
        ASSERT_NE(files[i], nullptr);
        EXPECT_EQ(ReadAll(files[i]), i % 2 ? "0123456789" : "ABCDEFGHI");
    }
    for (HbFile* file : files)
        EXPECT_EQ(HbFileClose(file), 0);
}

} // namespace
