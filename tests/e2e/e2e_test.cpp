// The game binary run headless on a fresh copy of the content set: the preferences file at
// start-up; no usable adapter ends it with its message; a set with one file truncated or garbled
// starts or fails with a message, never crashes or trips the sanitizers.
#include "e2e_fixture.h"
#include "gameprefs.h"

#include <cctype>
#include <chrono>

namespace e2etest
{
namespace
{
TEST_F(GameRun, StartUpLeavesAnAbsentPreferencesFileAbsentAndResavesAPresentOneUnchanged)
{
    // Runs that end in the language choice, before any hand-over applies the preferences again.
    {
        const fs::path folder = Copy("prefs-absent");
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "bound 3\n");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        EXPECT_FALSE(fs::exists(folder / "gprefs.dat"));
    }
    {
        const fs::path folder = Copy("prefs-present");
        GamePrefs prefs;
        prefs.padVibration = 0;
        prefs.invertY = 1;
        prefs.mouseSensitivity = 0.5f;
        prefs.musicVolume = 0.25f;
        prefs.soundVolume = 0.75f;
        prefs.shootHelper = 1;
        uint8_t bytes[GamePrefs::kFileSize];
        prefs.Encode(bytes);
        const std::string stored(reinterpret_cast<const char*>(bytes), sizeof(bytes));
        ASSERT_TRUE(gamerun::WriteFile((folder / "gprefs.dat").string(), stored));
        const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
        fs::last_write_time(folder / "gprefs.dat", old);
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "bound 3\n");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        // Applied and written again, byte for byte.
        EXPECT_EQ(gamerun::ReadFile((folder / "gprefs.dat").string()), stored);
        EXPECT_GT(fs::last_write_time(folder / "gprefs.dat"), old);
        // Applying reaches the display preferences, which are written only when the gamma
        // changes; nothing in gprefs.dat changes it.
        EXPECT_FALSE(fs::exists(folder / "vprefs.dat"));
    }
}

TEST_F(GameRun, WithoutAUsableAdapterTheGameEndsWithItsMessage)
{
    const fs::path folder = Copy("adapter");
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "fault adapter\nbound 5\n");
    EXPECT_EQ(run.signal, 0);
    // A game that cannot draw does not end as a success.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Fatal error: Renderer Initialisation failed !!"), std::string::npos) << run.err;
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

// A second a frame: the first flag, START once the intro is on its title, a few frames of the main
// menu; every group of the set is loaded on the way and unloaded by the shut-down.
constexpr const char kQuickDrive[] = "step 10000000\n"
                                     "bound 36\n"
                                     "at 2 key VK_RETURN\n"
                                     "on 7 +26 key VK_RETURN\n";

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
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), kQuickDrive);
        EXPECT_EQ(run.signal, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        if (run.exitCode != 0)
        {
            EXPECT_FALSE(run.err.empty()) << "failed without a message";
        }
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
} // namespace e2etest
