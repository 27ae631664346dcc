// The game binary and the player's files across runs: a save loaded from the main menu opens the
// missions its results open; saves that cannot be read are left out of the list; a process killed
// while it replaces a file leaves the previous file whole for the next run.
#include "e2e_fixture.h"
#include "gameprefs.h"
#include "gameprofile.h"
#include "hbsavefile.h"

#include <algorithm>
#include <csignal>

namespace e2etest
{
namespace
{
/// A save file as the game writes it: the profile record and no hero, the whole stream buffer.
std::string SaveBytes(const char* name, int32_t seconds, const MissionTable& missions)
{
    const fs::path scratch = gRoot / (std::string("scratch-") + name + ".sav");
    auto* save = new HbSaveFile();
    save->AddRef();
    GamePrefs prefs(GamePrefs::kQuiet);
    const bool written = save->WriteString(name) && save->WriteInt32(seconds) && prefs.Write(save) &&
                         missions.Write(save) && save->WriteInt32(4242) && save->WriteInt32(0) &&
                         save->WriteToFile(scratch.c_str());
    save->Release();
    EXPECT_TRUE(written);
    return gamerun::ReadFile(scratch.string());
}

// The main menu's load entry, the first card chosen, then on the campaign map once its entrance
// is over: next (down) and choose twice, which launches the mission then selected.
const char* const kLoadAndLaunch = "step 2500000\nbound 260\nat 2 key VK_RETURN\non 7 +100 key VK_RETURN\n"
                                   "on 1 +41 key VK_DOWN\non 1 +45 key VK_RETURN\non 11 +6 key VK_RETURN\n"
                                   "on 12 +24 key VK_DOWN\non 12 +28 key VK_RETURN\non 12 +32 key VK_RETURN\n";

std::vector<std::string> States(const std::string& trace)
{
    std::vector<std::string> states;
    for (const std::string& line : Lines(trace, "state "))
        states.push_back(line.substr(0, line.find(" frame")));
    return states;
}

TEST_F(GameRun, ALoadedSaveOpensTheMissionsItsResultsOpen)
{
    // Mission 1 done opens mission 2 below it; without it the selection stays on mission 1.
    const struct
    {
        const char* name;
        int32_t firstResult;
        const char* launched;
        const char* notLaunched;
    } cases[] = {{"load-fresh", 0, "W1L1S01", "W2L1S01"}, {"load-done", 1, "W2L1S01", "W1L1S01"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const fs::path folder = Copy(c.name);
        const fs::path user = gamerun::UserFolder(folder.string());
        fs::create_directories(user);
        MissionTable missions;
        missions.words[0] = c.firstResult;
        ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Ann.sav").string(), SaveBytes("Ann", 600, missions)));
        const fs::path trace = gRoot / (std::string(c.name) + ".trace");
        const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(),
                                                 std::string(kLoadAndLaunch) + "trace " + trace.string() + "\n");
        EXPECT_EQ(run.signal, 0) << run.err;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
        const std::string text = gamerun::ReadFile(trace.string());
        const std::vector<std::string> states = States(text);
        // Load screen, campaign map, the launched mission's label.
        const std::vector<std::string> expected{"state 1", "state 11", "state 12", "state 18"};
        auto at = std::search(states.begin(), states.end(), expected.begin(), expected.end());
        EXPECT_NE(at, states.end()) << text;
        const std::vector<std::string> label = Lines(text, "state 18 ");
        ASSERT_EQ(label.size(), 1u) << text;
        const std::string afterLaunch = text.substr(text.find(label[0]));
        EXPECT_NE(afterLaunch.find(c.launched), std::string::npos) << afterLaunch;
        EXPECT_EQ(afterLaunch.find(c.notLaunched), std::string::npos) << afterLaunch;
        fs::remove_all(folder);
    }
}

TEST_F(GameRun, SavesThatCannotBeReadAreLeftOutAndTheGoodOneLoads)
{
    // Cut short, empty, and a name whose length runs past the file, beside one good save: were
    // any of them listed, the first card could be one and its load would fail.
    const fs::path folder = Copy("load-damaged");
    const fs::path user = gamerun::UserFolder(folder.string());
    fs::create_directories(user);
    const std::string good = SaveBytes("Ann", 600, MissionTable());
    std::string garbled = good;
    for (int i = 0; i < 4; ++i)
        garbled[size_t(i)] = char(0x7F);
    ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Ann.sav").string(), good));
    ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Abe.sav").string(), good.substr(0, good.size() / 2)));
    ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Bob.sav").string(), ""));
    ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Cy.sav").string(), garbled));
    const fs::path trace = gRoot / "load-damaged.trace";
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(),
                                             "step 2500000\nbound 240\nat 2 key VK_RETURN\non 7 +100 key VK_RETURN\n"
                                             "on 1 +41 key VK_DOWN\non 1 +45 key VK_RETURN\non 11 +6 key VK_RETURN\n"
                                             "trace " +
                                                 trace.string() + "\n");
    EXPECT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string text = gamerun::ReadFile(trace.string());
    const std::vector<std::string> states = States(text);
    const std::vector<std::string> expected{"state 1", "state 11", "state 12"};
    EXPECT_NE(std::search(states.begin(), states.end(), expected.begin(), expected.end()), states.end()) << text;
    EXPECT_EQ(gamerun::ReadFile((user / "Velmoran_Abe.sav").string()), good.substr(0, good.size() / 2))
        << "a load never rewrites a save";
    fs::remove_all(folder);
}

TEST_F(GameRun, AProcessKilledWhileItReplacesAFileLeavesThePreviousOneForTheNextRun)
{
    // The preferences are written again at every start through the same whole-file replacement
    // as the saves; the kill comes once the new bytes are in the temporary, before the rename.
    GamePrefs prefs;
    prefs.invertY = 1;
    prefs.musicVolume = 0.25f;
    uint8_t bytes[GamePrefs::kFileSize];
    prefs.Encode(bytes);
    const std::string stored(reinterpret_cast<const char*>(bytes), sizeof(bytes));
    const fs::path folder = Copy("kill-replace");
    const fs::path user = gamerun::UserFolder(folder.string());
    fs::create_directories(user);
    ASSERT_TRUE(gamerun::WriteFile((user / "gprefs.dat").string(), stored));
    const fs::path trace = gRoot / "kill-replace.trace";
    const gamerun::Result killed = gamerun::Run(gamerun::GameBinary(), folder.string(),
                                                "bound 3\nfault kill gprefs.dat\ntrace " + trace.string() + "\n");
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    EXPECT_EQ(Lines(gamerun::ReadFile(trace.string()), "killed replacing ").size(), 1u);
    EXPECT_EQ(gamerun::ReadFile((user / "gprefs.dat").string()), stored);
    EXPECT_TRUE(fs::exists(user / "gprefs.dat.tmp")) << "the kill came mid-replacement";

    const gamerun::Result next = gamerun::Run(gamerun::GameBinary(), folder.string(), "bound 3\n");
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(gamerun::SanitizerReport(next.err), "");
    EXPECT_EQ(gamerun::ReadFile((user / "gprefs.dat").string()), stored);
    EXPECT_FALSE(fs::exists(user / "gprefs.dat.tmp")) << "the next replacement takes the leftover's place";
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
