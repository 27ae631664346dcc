// The game binary run whole, headless, on a fresh copy of the content set: no usable adapter
// ends it with its message, and a set with one file truncated or garbled starts or fails with
// a message, never crashes or trips the sanitizers.
#include "contentset.h"
#include "gamerun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The set, made once per test process.
fs::path gRoot;
fs::path gSet;

class GameRun : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        gRoot = fs::temp_directory_path() / ("velmoran-e2e-" + std::to_string(getpid()));
        fs::remove_all(gRoot);
        fs::create_directories(gRoot);
        gSet = gRoot / "set";
        ASSERT_EQ(ContentWrite(gSet.string()), "");
    }
    static void TearDownTestSuite() { fs::remove_all(gRoot); }

protected:
    /// A fresh copy of the set, in a folder of the test's own.
    fs::path Copy(const std::string& name)
    {
        const fs::path folder = gRoot / name;
        fs::remove_all(folder);
        fs::copy(gSet, folder, fs::copy_options::recursive);
        return folder;
    }
    /// The set's own headless drive file, its trace sent to a file beside the folder.
    static std::string Drive(const fs::path& folder)
    {
        return gamerun::ReadFile((folder / "drive" / "main-menu.txt").string()) + "trace " +
               (folder.parent_path() / (folder.filename().string() + ".trace")).string() + "\nframes " +
               (folder.parent_path() / (folder.filename().string() + "-frames")).string() + "\n";
    }
};

TEST_F(GameRun, WithoutAUsableAdapterTheGameEndsWithItsMessage)
{
    const fs::path folder = Copy("adapter");
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "fault adapter\nbound 5\n");
    EXPECT_EQ(run.signal, 0);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("Renderer Initialisation failed !!"), std::string::npos) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    // Nothing was written for the player.
    EXPECT_FALSE(fs::exists(folder / "gprefs.dat"));
}

// ---- A damaged set ----------------------------------------------------------------------------

std::vector<std::string> SetFiles()
{
    std::vector<std::string> files = {"variable.scr", "commands.scr", "grounds.scr"};
    for (const ContentGroup& group : ContentGroups())
    {
        files.push_back(std::string(group.name) + ".scr");
        files.push_back(std::string(group.name) + ".PAK");
    }
    return files;
}

class DamagedSet : public GameRun, public ::testing::WithParamInterface<std::string>
{
};

TEST_P(DamagedSet, StartsOrFailsWithAMessageNeverCrashes)
{
    const std::string file = GetParam();
    const std::string bytes = gamerun::ReadFile((gSet / file).string());
    ASSERT_FALSE(bytes.empty());
    // The first half, then every third byte turned over past a kept four-byte magic word.
    std::string garbled = bytes;
    for (size_t i = 4; i < garbled.size(); i += 3)
        garbled[i] = char(garbled[i] ^ 0x5A);
    const struct
    {
        const char* kind;
        std::string bytes;
    } damages[] = {{"truncated", bytes.substr(0, bytes.size() / 2)}, {"garbled", garbled}};
    for (const auto& damage : damages)
    {
        SCOPED_TRACE(std::string(damage.kind) + " " + file);
        std::string name = std::string(damage.kind) + "-" + file;
        const fs::path folder = Copy(name);
        ASSERT_TRUE(gamerun::WriteFile((folder / file).string(), damage.bytes));
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), Drive(folder));
        EXPECT_EQ(run.signal, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        if (run.exitCode != 0)
            EXPECT_FALSE(run.err.empty()) << "failed without a message";
        fs::remove_all(folder);
    }
}

std::string ParamName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFile, DamagedSet, ::testing::ValuesIn(SetFiles()), ParamName);
} // namespace
