// The game binary run headless on a fresh copy of the content set: the preferences file at
// start-up in the player's folder (moved there from the content, or said once when the folder
// cannot be written); no usable adapter ends it with its message; a set with one file truncated or garbled
// starts or fails with a message, never crashes or trips the sanitizers.
#include "e2e_fixture.h"
#include "gameprefs.h"
#include "gameprofile.h"
#include "hbsavefile.h"

#include <cctype>
#include <chrono>

namespace e2etest
{
namespace
{
std::string SamplePrefsFile()
{
    GamePrefs prefs;
    prefs.padVibration = 0;
    prefs.invertY = 1;
    prefs.mouseSensitivity = 0.5f;
    prefs.musicVolume = 0.25f;
    prefs.soundVolume = 0.75f;
    prefs.shootHelper = 1;
    uint8_t bytes[GamePrefs::kFileSize];
    prefs.Encode(bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

TEST_F(GameRun, StartUpLeavesAnAbsentPreferencesFileAbsentAndResavesAPresentOneUnchanged)
{
    // Runs that end in the language choice, before any hand-over applies the preferences again.
    {
        const fs::path folder = Copy("prefs-absent");
        const fs::path user = gamerun::UserFolder(folder.string());
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "bound 3\n");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        EXPECT_FALSE(fs::exists(folder / "gprefs.dat"));
        EXPECT_FALSE(fs::exists(user / "gprefs.dat"));
    }
    {
        const fs::path folder = Copy("prefs-present");
        const fs::path user = gamerun::UserFolder(folder.string());
        const std::string stored = SamplePrefsFile();
        fs::create_directories(user);
        ASSERT_TRUE(gamerun::WriteFile((user / "gprefs.dat").string(), stored));
        const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
        fs::last_write_time(user / "gprefs.dat", old);
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "bound 3\n");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        // Applied and written again, byte for byte, in the player's folder only.
        EXPECT_EQ(gamerun::ReadFile((user / "gprefs.dat").string()), stored);
        EXPECT_GT(fs::last_write_time(user / "gprefs.dat"), old);
        EXPECT_FALSE(fs::exists(folder / "gprefs.dat"));
        // Applying reaches the display preferences, which are written only when the gamma
        // changes; nothing in gprefs.dat changes it.
        EXPECT_FALSE(fs::exists(user / "vprefs.dat"));
    }
}

TEST_F(GameRun, PreferencesAnOlderRunLeftInTheContentMoveToThePlayersFolder)
{
    const fs::path folder = Copy("prefs-moved");
    const fs::path user = gamerun::UserFolder(folder.string());
    const std::string stored = SamplePrefsFile();
    ASSERT_TRUE(gamerun::WriteFile((folder / "gprefs.dat").string(), stored));
    ASSERT_TRUE(gamerun::WriteFile((folder / "vprefs.dat").string(), std::string(20, '\0')));
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), "bound 3\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    EXPECT_EQ(gamerun::ReadFile((user / "gprefs.dat").string()), stored) << "read and saved back";
    EXPECT_EQ(gamerun::ReadFile((user / "vprefs.dat").string()), std::string(20, '\0'));
    EXPECT_FALSE(fs::exists(folder / "gprefs.dat"));
    EXPECT_FALSE(fs::exists(folder / "vprefs.dat"));
}

TEST_F(GameRun, APlayersFolderThatCannotBeWrittenIsSaidOnceAndTheGameGoesOn)
{
    const fs::path folder = Copy("prefs-unwritable");
    // A file where the folder's parent should be: nobody can make the folder.
    const fs::path blocker = gamerun::UserFolder(folder.string());
    ASSERT_TRUE(gamerun::WriteFile(blocker.string(), "a file"));
    const fs::path user = blocker / "velmoran";
    const gamerun::Result run =
        gamerun::Run(gamerun::GameBinary(), folder.string(), Drive(folder) + "bound 10\n", user.string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::vector<std::string> said = Lines(run.err, "The settings cannot be saved");
    ASSERT_EQ(said.size(), 1u) << run.err;
    EXPECT_NE(said[0].find(user.string()), std::string::npos) << said[0];
    EXPECT_FALSE(fs::exists(folder / "gprefs.dat")) << "never the content folder";
}

/// A save file as the game writes it: the profile record (no mission) and no hero, the whole 2048-byte buffer.
bool WriteSave(const fs::path& path, const char* name, int32_t seconds)
{
    auto* save = new HbSaveFile();
    save->AddRef();
    GamePrefs prefs(GamePrefs::kQuiet);
    MissionTable missions;
    const bool written = save->WriteString(name) && save->WriteInt32(seconds) && prefs.Write(save) &&
                         missions.Write(save) && save->WriteInt32(4242) && save->WriteInt32(0) && save->WriteInt32(0) &&
                         save->WriteInt32(0) && save->WriteToFile(path.c_str());
    save->Release();
    return written;
}

TEST_F(GameRun, TheMainMenusLoadEntryLeavesTheSaveScreenWithOrWithoutSaves)
{
    // The main menu's second entry (load) chosen once its hold is over, the first card chosen
    // past the bindings' double-click window; each run ends by its bound.
    const std::string drive = "step 2500000\nbound 200\nat 2 key VK_RETURN\non 7 +100 key VK_RETURN\n"
                              "on 1 +41 key VK_DOWN\non 1 +45 key VK_RETURN\non 11 +6 key VK_RETURN\n";
    const struct
    {
        const char* name;
        bool save;
        int32_t after;
    } cases[] = {{"load-none", false, 1}, {"load-one", true, 12}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const fs::path folder = Copy(c.name);
        const fs::path user = gamerun::UserFolder(folder.string());
        if (c.save)
        {
            fs::create_directories(user);
            ASSERT_TRUE(WriteSave(user / "Velmoran_Ann.sav", "Ann", 60));
        }
        const fs::path trace = gRoot / (std::string(c.name) + ".trace");
        const gamerun::Result run =
            gamerun::Run(gamerun::GameBinary(), folder.string(), drive + "trace " + trace.string() + "\n");
        EXPECT_EQ(run.signal, 0) << run.err;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        const std::vector<std::string> states = Lines(gamerun::ReadFile(trace.string()), "state ");
        // The screen is entered from the main menu and left for the next state a frame after its
        // 4 s message: the run never stays there.
        size_t at = 0;
        while (at < states.size() && states[at].rfind("state 11 ", 0) != 0)
            ++at;
        ASSERT_LT(at + 1, states.size()) << gamerun::ReadFile(trace.string());
        EXPECT_EQ(states[at - 1].rfind("state 1 ", 0), 0u);
        EXPECT_EQ(states[at + 1].rfind("state " + std::to_string(c.after) + " ", 0), 0u) << states[at + 1];
        EXPECT_EQ(fs::exists(user / "Velmoran_Ann.sav"), c.save) << "a load writes no save";
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
    EXPECT_FALSE(fs::exists(gamerun::UserFolder(folder.string())));
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

// A file the start-up needs, missing, cut in half or garbled past its first four bytes: the
// groups the game cannot run without and the key bindings end the run with exit code 1 and a
// message naming the file; the language choice's flags are reported and the game goes on to
// its main menu.
TEST_F(GameRun, ADamagedFileTheStartUpNeedsIsNamedAndEndsTheRunOrIsReportedAndPassedOver)
{
    const struct
    {
        const char* file;
        bool ends;
    } files[] = {
        {"PERMANENT.PAK", true}, {"PERMANENT.scr", true}, {"UK.PAK", true},       {"UK.scr", true},
        {"FRONTEND.PAK", true},  {"FRONTEND.scr", true},  {"commands.scr", true}, {"LANGUAGE.PAK", false},
    };
    for (const auto& f : files)
    {
        const std::string bytes = gamerun::ReadFile((gSet / f.file).string());
        ASSERT_GT(bytes.size(), 8u) << f.file;
        std::string garbled = bytes;
        for (size_t i = 4; i < garbled.size(); i += 3)
            garbled[i] = char(garbled[i] ^ 0x5A);
        const struct
        {
            const char* kind;
            const std::string* bytes; // null: the file is removed
        } damages[] = {{"missing", nullptr}, {"truncated", nullptr}, {"garbled", &garbled}};
        const std::string half = bytes.substr(0, bytes.size() / 2);
        for (const auto& damage : damages)
        {
            SCOPED_TRACE(std::string(damage.kind) + " " + f.file);
            const std::string name = std::string("start-") + damage.kind + "-" + f.file;
            const fs::path folder = Copy(name);
            if (std::string(damage.kind) == "missing")
                fs::remove(folder / f.file);
            else
                ASSERT_TRUE(gamerun::WriteFile((folder / f.file).string(), damage.bytes ? *damage.bytes : half));
            const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), Drive(folder));
            ASSERT_EQ(run.signal, 0) << run.err;
            EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
            EXPECT_NE(run.err.find(f.file), std::string::npos) << run.err;
            const std::string trace = gamerun::ReadFile((gRoot / (name + ".trace")).string());
            if (f.ends)
            {
                EXPECT_EQ(run.exitCode, 1) << run.err;
                EXPECT_NE(run.err.find("cannot be used"), std::string::npos) << run.err;
                EXPECT_TRUE(Lines(trace, "state 1 ").size() <= 1u) << "ended, not played on: " << trace;
            }
            else
            {
                EXPECT_EQ(run.exitCode, 0) << run.err;
                EXPECT_NE(run.err.find("goes on"), std::string::npos) << run.err;
                EXPECT_EQ(Lines(trace, "state 1 ").size(), 1u) << "the main menu: " << trace;
            }
            fs::remove_all(folder);
        }
    }
}
} // namespace
} // namespace e2etest
