// Tests of the player's folder: where the environment puts it, its making, the replacement of a
// file that never leaves it half written (a write cut short by the file layer's limit hook), the
// move of files an older run left in the working directory, and the one-time report.
#include "hbfile_fixture.h"
#include "hbuserfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

using hbtest::ReadBytes;
using hbtest::TempDir;
using hbtest::WriteBytes;

/// Sets or clears an environment variable for the scope, putting it back at the end.
class EnvVar
{
public:
    EnvVar(const char* name, const char* value) : mName(name)
    {
        if (const char* old = std::getenv(name))
            mOld = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar()
    {
        if (mOld)
            setenv(mName, mOld->c_str(), 1);
        else
            unsetenv(mName);
    }

private:
    const char* mName;
    std::optional<std::string> mOld;
};

/// The folder in use for the scope, back to the working directory at the end.
struct UseFolder
{
    explicit UseFolder(const std::string& folder) { HbUserFolderSet(folder); }
    ~UseFolder() { HbUserFolderSet(std::string()); }
};

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

size_t gAllowed = 0;
size_t AllowSome(HbFile*, size_t bytes)
{
    return std::min(bytes, gAllowed);
}

TEST(HbUserFolder, TheEnvironmentChoosesTheFolder)
{
    const struct
    {
        const char* override;
        const char* xdg;
        const char* home;
        std::string expected;
    } cases[] = {
        {"/tmp/mine", "/data", "/home/p", "/tmp/mine"},
        {"", "/data", "/home/p", "/data/game"},
        {nullptr, "relative/data", "/home/p", "/home/p/.local/share/game"},
        {nullptr, nullptr, "/home/p", "/home/p/.local/share/game"},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.expected);
        EnvVar o("HB_TEST_USER_DIR", c.override), x("XDG_DATA_HOME", c.xdg), h("HOME", c.home);
        EXPECT_EQ(HbUserFolderFromEnvironment("HB_TEST_USER_DIR", "game"), c.expected);
    }
}

TEST(HbUserFolder, PathsAndTheFolderMadeOnTheFirstWrite)
{
    EXPECT_EQ(HbUserPath("gprefs.dat"), "gprefs.dat") << "the working directory by default";
    TempDir dir;
    UseFolder use(dir / "share/game/");
    EXPECT_EQ(HbUserPath("gprefs.dat"), dir / "share/game/gprefs.dat");
    EXPECT_FALSE(std::filesystem::exists(dir / "share"));
    ASSERT_EQ(HbUserFileWrite("gprefs.dat", "abc", 3), 1);
    EXPECT_EQ(ReadBytes(dir / "share/game/gprefs.dat"), "abc");
    struct stat info;
    ASSERT_EQ(::stat((dir / "share/game").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the player's own";
    EXPECT_EQ(Entries(dir / "share/game"), std::vector<std::string>{"gprefs.dat"});
}

TEST(HbUserFolder, AReplacementCutShortLeavesTheOldFileWhole)
{
    TempDir dir;
    const std::string path = dir / "slot.sav";
    WriteBytes(path, "previous contents");
    const std::string fresh(4096, 'n');
    // Nothing at all, a few bytes, all but the last byte.
    for (size_t allowed : {size_t(0), size_t(7), fresh.size() - 1})
    {
        SCOPED_TRACE(allowed);
        gAllowed = allowed;
        HbFileWriteLimitHook = AllowSome;
        EXPECT_EQ(HbFileReplace(path.c_str(), fresh.data(), fresh.size()), 0);
        HbFileWriteLimitHook = nullptr;
        EXPECT_EQ(ReadBytes(path), "previous contents");
        EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"slot.sav"}) << "no temporary left";
    }
    EXPECT_EQ(HbFileReplace((dir / "no/such/folder.sav").c_str(), "x", 1), 0);
    ASSERT_EQ(HbFileReplace(path.c_str(), fresh.data(), fresh.size()), 1);
    EXPECT_EQ(ReadBytes(path), fresh);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"slot.sav"});
}

std::string gSeenPath, gSeenOld, gSeenTemporary;
void SeeReplacement(const char* path)
{
    gSeenPath = path;
    gSeenOld = ReadBytes(path);
    gSeenTemporary = ReadBytes(std::string(path) + ".tmp");
}

TEST(HbUserFolder, TheReplaceHookRunsWhenTheTemporaryIsWholeAndTheOldFileStillStands)
{
    TempDir dir;
    const std::string path = dir / "slot.sav";
    WriteBytes(path, "previous contents");
    HbSetFileReplaceHook(SeeReplacement);
    ASSERT_EQ(HbFileReplace(path.c_str(), "fresh", 5), 1);
    HbSetFileReplaceHook(nullptr);
    EXPECT_EQ(gSeenPath, path);
    EXPECT_EQ(gSeenOld, "previous contents") << "a process ended there keeps the old file";
    EXPECT_EQ(gSeenTemporary, "fresh");
    EXPECT_EQ(ReadBytes(path), "fresh");
}

TEST(HbUserFolder, AFolderThatCannotBeWrittenIsReportedOnce)
{
    // A file where a parent folder should be: no one, not even the superuser, makes it.
    TempDir dir;
    WriteBytes(dir / "locked", "a file");
    UseFolder use(dir / "locked/game");
    EXPECT_EQ(HbUserFolderMake(), 0);
    EXPECT_EQ(HbUserFileWrite("gprefs.dat", "abc", 3), 0);
    HbUserFolderResetReport();
    testing::internal::CaptureStderr();
    HbUserFolderReportUnwritable();
    HbUserFolderReportUnwritable();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("settings cannot be saved"), std::string::npos) << said;
    EXPECT_NE(said.find(dir / "locked/game"), std::string::npos) << said;
    EXPECT_EQ(said.find("settings", said.find("settings") + 1), std::string::npos) << "said once: " << said;
    EXPECT_EQ(HbUserFolderReported(), 1);
    HbUserFolderResetReport();
}

TEST(HbUserFolder, AFileLeftInTheWorkingDirectoryMovesInOnce)
{
    TempDir work, user;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(work.Path().c_str()), 0);
    WriteBytes(work / "gprefs.dat", "old run");
    WriteBytes(work / "vprefs.dat", "old video");
    WriteBytes(user / "vprefs.dat", "player's");
    {
        UseFolder use(user.Path());
        EXPECT_EQ(HbUserFileMoveIn("gprefs.dat"), 1);
        EXPECT_EQ(HbUserFileMoveIn("vprefs.dat"), 0) << "the folder's own file wins";
        EXPECT_EQ(HbUserFileMoveIn("screenshot_0.bmp"), 0) << "nothing to move";
    }
    EXPECT_EQ(HbUserFileMoveIn("vprefs.dat"), 0) << "the folder is the working directory";
    EXPECT_EQ(ReadBytes(user / "gprefs.dat"), "old run");
    EXPECT_EQ(ReadBytes(user / "vprefs.dat"), "player's");
    EXPECT_EQ(Entries(work.Path()), std::vector<std::string>{"vprefs.dat"});
    ASSERT_EQ(chdir(previous), 0);
}

} // namespace
