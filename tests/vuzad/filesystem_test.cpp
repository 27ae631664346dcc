// Tests of the engine's file-function table (its C runtime defaults, and replacements
// that survive the engine's records moving) and of the path test.
#include "engine.h"
#include "filesystem.h"
#include "stringfunctions.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace
{

TEST(PathTest, AbsoluteNamesStartWithABackslashOrADriveLetter)
{
    struct Case
    {
        const char* name;
        int32_t absolute;
    } cases[] = {
        {"c:maps", 1}, {"\\textures", 1}, {"Z:\\x", 1}, {"textures\\a.png", 0},
        {"/x", 0},     {"1:x", 0},        {"", 0},      {nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Path::IsAbsolute(c.name), c.absolute) << (c.name ? c.name : "(null)");
}

int sOpens = 0;
void* CountingOpen(const char* name, const char* mode)
{
    ++sOpens;
    return FileSystem::DefaultFunctions()->open(name, mode);
}

class FileTable : public EngineFixture
{
};

TEST_F(FileTable, DefaultsAreStdioAndReplacementsFollowTheEngineRecord)
{
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    FileFunctions* table = FileSystem::GetFunctions();
    ASSERT_NE(table, nullptr);

    std::string dir = (std::filesystem::temp_directory_path() / "vuzad-table-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    std::string path = dir + "/lines.txt";
    EXPECT_EQ(table->exists(path.c_str()), 0);
    void* f = table->open(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_GE(table->puts("one\ntwo\n", f), 0);
    EXPECT_EQ(table->flush(f), 0);
    EXPECT_EQ(table->tell(f), 8);
    EXPECT_EQ(table->close(f), 0);
    EXPECT_EQ(table->exists(path.c_str()), 1);

    f = table->open(path.c_str(), "rb");
    char line[16];
    EXPECT_EQ(table->seek(f, 4, 0), 0);
    EXPECT_STREQ(table->gets(line, sizeof line, f), "two\n");
    EXPECT_EQ(table->gets(line, sizeof line, f), nullptr);
    EXPECT_NE(table->eof(f), 0);
    table->close(f);

    // A replacement made after Init is copied into the instance at Open and back at Close.
    table->open = CountingOpen;
    sOpens = 0;
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_EQ(FileSystem::GetFunctions()->open, CountingOpen);
    EXPECT_EQ(FileSystem::GetFunctions()->exists(path.c_str()), 1);
    ASSERT_EQ(Engine::Close(), 1);
    EXPECT_EQ(FileSystem::GetFunctions()->open, CountingOpen);
    EXPECT_EQ(Engine::Current()->stringFunctions.stricmp, StringFunctions::Defaults()->stricmp);
    EXPECT_EQ(sOpens, 1);
    std::filesystem::remove_all(dir);
}

} // namespace
