// The game binary and the player's files across runs: a save loaded from the main menu opens the
// missions its results open; saves that cannot be read are left out of the list; a process killed
// while it replaces a file leaves the previous file whole for the next run; the debriefing's save
// made in one run is loaded in the next.
#include "contentpaint.h"
#include "contentset.h"
#include "e2e_fixture.h"
#include "framecheck.h"
#include "gameprefs.h"
#include "gameprofile.h"
#include "hbsavefile.h"


#include <algorithm>
#include <cmath>
#include <csignal>

namespace e2etest
{
namespace
{
/// A save file as the game writes it: the profile record (no mission) and no hero, the whole stream buffer.
std::string SaveBytes(const char* name, int32_t seconds, const MissionTable& missions)
{
    const fs::path scratch = gRoot / (std::string("scratch-") + name + ".sav");
    auto* save = new HbSaveFile();
    save->AddRef();
    GamePrefs prefs(GamePrefs::kQuiet);
    const bool written = save->WriteString(name) && save->WriteInt32(seconds) && prefs.Write(save) &&
                         missions.Write(save) && save->WriteInt32(4242) && save->WriteInt32(0) && save->WriteInt32(0) &&
                         save->WriteInt32(0) && save->WriteToFile(scratch.c_str());
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

/// The save file's profile record: name, whole seconds, the preferences and the mission table.
struct SavedRecord
{
    std::string name;
    int32_t seconds = -1;
    MissionTable missions;
};

bool ReadRecord(const fs::path& path, SavedRecord* record)
{
    auto* save = new HbSaveFile();
    save->AddRef();
    GamePrefs prefs(GamePrefs::kQuiet);
    bool read = save->ReadFromFile(path.c_str());
    save->EndAccess();
    read = read && save->BeginRead() && save->ReadString(record->name) && save->ReadInt32(record->seconds) &&
           prefs.Read(save) && record->missions.Read(save);
    save->EndAccess();
    save->Release();
    return read;
}

// The first mission from a new game as the stage run reaches it; in the stage its two objectives
// are reported done and the mission ended through the console, as a tester types them. The
// debriefing's list is skipped, its save question answered yes, and the new card of the carousel
// chosen. The run ends on the campaign map the save hands over to.
const char* const kMissionAndSave = "step 2500000\nbound 240\n"
                                    "at 2 key VK_RETURN\non 7 +100 key VK_RETURN\n"
                                    "on 1 +20 key VK_RETURN\non 1 +30 key VK_RETURN\n"
                                    "on 12 +25 key VK_RETURN\non 12 +29 key VK_RETURN\n"
                                    "on 18 +6 key VK_RETURN\non 18 +12 key VK_RETURN\non 18 +18 key VK_RETURN\n"
                                    "on 6 +20 command SetObjective 0 0 0 0\n"
                                    "on 6 +21 command SetObjective 0 0 1 0\n"
                                    "on 6 +22 command EndMission\n"
                                    "on 13 +4 key VK_RETURN\non 13 +6 key VK_RETURN\non 13 +8 key VK_RETURN\n"
                                    "on 11 +6 key VK_RETURN\n";

// The main menu's load entry and the first card; the map saved once its entrance is over, then
// the mission below the first chosen and launched. Its stage ends at once, and the debriefing's
// save goes over the first card: the carousel's first card, "yes" to the overwrite question.
const char* const kLoadPlayAndSaveOver = "step 2500000\nbound 300\n"
                                         "at 2 key VK_RETURN\non 7 +100 key VK_RETURN\n"
                                         "on 1 +41 key VK_DOWN\non 1 +45 key VK_RETURN\n"
                                         "on 11 +6 key VK_RETURN\non 11 +10 key VK_DOWN\non 11 +12 key VK_RETURN\n"
                                         "on 12 +24 key VK_UP\non 12 +28 key VK_RETURN\non 12 +32 key VK_RETURN\n"
                                         "on 18 +6 key VK_RETURN\non 18 +12 key VK_RETURN\non 18 +18 key VK_RETURN\n"
                                         "on 6 +20 command EndMission\n"
                                         "on 13 +4 key VK_RETURN\non 13 +6 key VK_RETURN\non 13 +8 key VK_RETURN\n";

/// Pixels of the rectangle's middle half whose colour is within 8 of the colour a channel.
int MiddleInColour(const std::vector<uint32_t>& frame, int width, int height, float x, float y, float w, float h,
                   uint32_t rgb, int* total)
{
    int count = 0;
    *total = 0;
    for (int py = int((y + h / 4) * float(height)); py < int((y + 3 * h / 4) * float(height)); ++py)
        for (int px = int((x + w / 4) * float(width)); px < int((x + 3 * w / 4) * float(width)); ++px)
        {
            const uint32_t pixel = frame[size_t(py * width + px)];
            bool near = true;
            for (int shift = 0; shift <= 16; shift += 8)
                near = near && std::abs(int((pixel >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)) <= 8;
            count += near ? 1 : 0;
            ++*total;
        }
    return count;
}

TEST_F(GameRun, TheDebriefingsSaveIsLoadedNextRunAndOutlivesAnOverwriteKilledMidWrite)
{
    const fs::path folder = Copy("debriefing-save");
    const fs::path user = gamerun::UserFolder(folder.string());
    const fs::path save = user / "Velmoran_Profile1.sav";

    // The mission played and saved from its debriefing: the first profile's file, mission 1 done.
    const fs::path first = gRoot / "debriefing-save-1.trace";
    const gamerun::Result played = gamerun::Run(gamerun::GameBinary(), folder.string(),
                                                std::string(kMissionAndSave) + "trace " + first.string() + "\n");
    ASSERT_EQ(played.signal, 0) << played.err;
    EXPECT_EQ(played.exitCode, 0) << played.err;
    EXPECT_EQ(gamerun::SanitizerReport(played.err), "");
    std::string text = gamerun::ReadFile(first.string());
    for (const char* line : {"command SetObjective 0 0 0 0 ", "command SetObjective 0 0 1 0 ", "command EndMission "})
    {
        const std::vector<std::string> commands = Lines(text, line);
        ASSERT_EQ(commands.size(), 1u) << line << "\n" << text;
        EXPECT_EQ(commands[0].substr(commands[0].rfind(' ') + 1), "0") << "done: " << commands[0];
    }
    const std::vector<std::string> order{"state 6", "state 18", "state 13", "state 11", "state 12"};
    std::vector<std::string> states = States(text);
    EXPECT_NE(std::search(states.begin(), states.end(), order.begin(), order.end()), states.end()) << text;
    SavedRecord record;
    ASSERT_TRUE(ReadRecord(save, &record)) << text;
    EXPECT_EQ(record.name, "Profile1");
    EXPECT_EQ(record.missions.words[0], 1) << "mission 1 succeeded";
    EXPECT_EQ(record.missions.words[1], 0);
    const std::string saved = gamerun::ReadFile(save.string());

    // The next run loads it from the main menu: mission 1's succeeded marker on the map and the
    // mission below it open and launched (the set holds no second mission: the stage refuses it
    // and the game goes back to the main menu).
    const fs::path second = gRoot / "debriefing-save-2.trace";
    const gamerun::Result opened =
        gamerun::Run(gamerun::GameBinary(), folder.string(),
                     std::string(kLoadAndLaunch) + "on 12 +24 save map\ntrace " + second.string() + "\nframes " +
                         (gRoot / "debriefing-save-frames").string() + "\n");
    EXPECT_EQ(opened.signal, 0) << opened.err;
    text = gamerun::ReadFile(second.string());
    EXPECT_GE(Lines(text, "load W2L1S01 2").size(), 1u) << text;

    // Mission 1 (up from the mission the map selects, the open one) played again and saved over
    // the same file: the save is killed before the new bytes take the file's place.
    const fs::path killedTrace = gRoot / "debriefing-save-killed.trace";
    const gamerun::Result killed =
        gamerun::Run(gamerun::GameBinary(), folder.string(),
                     std::string(kLoadPlayAndSaveOver) + "fault kill Velmoran_Profile1.sav\n" + "trace " +
                         killedTrace.string() + "\n");
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    text = gamerun::ReadFile(killedTrace.string());
    states = States(text);
    const std::vector<std::string> loaded{"state 1", "state 11", "state 12", "state 18",
                                          "state 6", "state 18", "state 13", "state 11"};
    EXPECT_EQ(states.size() >= loaded.size()
                  ? std::vector<std::string>(states.end() - long(loaded.size()), states.end())
                  : states,
              loaded)
        << text;
    EXPECT_EQ(Lines(text, "killed replacing ").size(), 1u) << text;
    EXPECT_EQ(gamerun::ReadFile(save.string()), saved) << "the killed overwrite left the first save whole";

    int width = 0, height = 0;
    const std::vector<uint32_t> map = ReadPng(gRoot / "debriefing-save-frames" / "map.png", &width, &height);
    ASSERT_EQ(map.size(), size_t(640 * 480));
    // The succeeded marker (the set's medal, 1/16 by 1/8 of the screen) stands at mission 1's
    // corner, painted from its own texels, and at no other mission's.
    const float markerX[2] = {0.055693f, 0.055693f}, markerY[2] = {0.033493f, 0.175493f};
    const float w = 0.0625f, h = 0.125f;
    uitest::Reference expected(width, height, 0xFF000000u);
    expected.pixels = map;
    PaintContentPicture(expected, map, "FE_MISSION_SUCCEEDED", markerX[0], markerY[0], w, h);
    EXPECT_EQ(framecheck::CheckFrame("e2e_loaded_campaign_map", width, height, map, expected.pixels, 12), "");
    const uint32_t medal = ContentFill("FE_MISSION_SUCCEEDED");
    int total = 0;
    const int medal1 = MiddleInColour(map, width, height, markerX[0], markerY[0], w, h, medal, &total);
    EXPECT_GT(medal1, total / 4) << "the medal's middle at mission 1";
    const int medal2 = MiddleInColour(map, width, height, markerX[1], markerY[1], w, h, medal, &total);
    EXPECT_GT(total, 0);
    EXPECT_LT(medal2, total / 8) << "mission 2 not succeeded";

    // A damaged save beside it is left out, and the first save still loads and opens mission 2.
    ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Abe.sav").string(), saved.substr(0, 100)));
    const fs::path third = gRoot / "debriefing-save-3.trace";
    const gamerun::Result again = gamerun::Run(gamerun::GameBinary(), folder.string(),
                                               std::string(kLoadAndLaunch) + "trace " + third.string() + "\n");
    EXPECT_EQ(again.signal, 0) << again.err;
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(gamerun::SanitizerReport(again.err), "");
    text = gamerun::ReadFile(third.string());
    EXPECT_EQ(Lines(text, "load W2L1S01 2").size(), 1u) << text;
    EXPECT_EQ(gamerun::ReadFile(save.string()), saved);
    fs::remove_all(folder);
}

/// A save of a mission 1 not yet played whose hero, unlike the level script's, carries only the
/// pistol, with 10 rounds in all: the first sector's pistol actor, found again by its name when
/// the hero is loaded. Its 55 hit points go back to the maximum at a sector entry.
std::string SaveWithHeroBytes()
{
    const fs::path scratch = gRoot / "scratch-hero.sav";
    auto* save = new HbSaveFile();
    save->AddRef();
    GamePrefs prefs(GamePrefs::kQuiet);
    bool written = save->WriteString("Hal") && save->WriteInt32(60) && prefs.Write(save) &&
                   MissionTable().Write(save) && save->WriteInt32(4242) && save->WriteInt32(0) && save->WriteInt32(0) &&
                   save->WriteInt32(1);
    // The equipment (the pistol: its names and texts, one word for its class, its script
    // object's class, name and data, its rounds), an empty weapon list, the hit points, the
    // maximum and an empty hand.
    written = written && save->WriteInt32(1) && save->WriteString("PISTOL") &&
              save->WriteString("TX_WEP_COLT_NAME_TXT") && save->WriteString("WEAPON_COLT1911_TEX") &&
              save->WriteInt32(1) && save->WriteString("Actor") && save->WriteString("pistol") &&
              save->WriteString("") && save->WriteInt32(10);
    written = written && save->WriteInt32(0) && save->WriteInt32(55) && save->WriteInt32(100) &&
              save->WriteString("") && save->WriteToFile(scratch.c_str());
    save->Release();
    EXPECT_TRUE(written);
    return gamerun::ReadFile(scratch.string());
}

/// What a "hero" line says of his hit points, hand and inventories (his move state, which the
/// level script's rifle in hand sets, is left out).
std::string HeroState(const std::string& line)
{
    const size_t state = line.find(" hit_points ");
    return state == std::string::npos ? line : line.substr(state + 1);
}

TEST_F(GameRun, AStageEntryCheckpointBringsTheHerosStateBackOnARetry)
{
    // The save is loaded from the main menu and mission 1 launched: the stage's entry restores
    // the hero it holds over the level script's (healed, as every entry from a checkpoint), and
    // its checkpoint keeps that. In the stage the
    // pistol is taken from the hero through the console, then the pause menu's retry (down,
    // choose, down to yes, choose) enters the sector again from the checkpoint. The pause menu
    // lies over the stage, so the stage's entry is the one frames count from.
    const fs::path folder = Copy("checkpoint");
    const fs::path user = gamerun::UserFolder(folder.string());
    fs::create_directories(user);
    ASSERT_TRUE(gamerun::WriteFile((user / "Velmoran_Hal.sav").string(), SaveWithHeroBytes()));
    const fs::path trace = gRoot / "checkpoint.trace";
    const gamerun::Result run =
        gamerun::Run(gamerun::GameBinary(), folder.string(),
                     "step 2500000\nbound 330\n"
                     "at 2 key VK_RETURN\non 7 +100 key VK_RETURN\non 1 +41 key VK_DOWN\non 1 +45 key VK_RETURN\n"
                     "on 11 +6 key VK_RETURN\non 12 +28 key VK_RETURN\non 12 +32 key VK_RETURN\n"
                     "on 18 +6 key VK_RETURN\non 18 +12 key VK_RETURN\non 18 +18 key VK_RETURN\n"
                     "on 6 +20 hero\non 6 +21 command SetPhysicalInventoryAction 0 0 PISTOL\non 6 +22 hero\n"
                     "on 6 +42 key VK_ESCAPE\non 6 +48 key VK_DOWN\non 6 +52 key VK_RETURN\non 6 +56 key VK_DOWN\n"
                     "on 6 +60 key VK_RETURN\non 6 +72 hero\n"
                     "trace " +
                         trace.string() + "\n");
    EXPECT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string text = gamerun::ReadFile(trace.string());
    const std::vector<std::string> heroes = Lines(text, "hero frame ");
    ASSERT_EQ(heroes.size(), 3u) << text;
    EXPECT_EQ(HeroState(heroes[0]),
              "hit_points 100 of 100 item none rounds -1 magazines -1 weapons equipment PISTOL 3 1")
        << "the saved hero's pistol and rounds, not the level script's pistol and rifle";
    EXPECT_EQ(HeroState(heroes[1]), "hit_points 100 of 100 item none rounds -1 magazines -1 weapons equipment");
    EXPECT_EQ(HeroState(heroes[2]), HeroState(heroes[0])) << "the retry's sector entry restored the checkpoint\n"
                                                          << text;
    // The retry entered the sector again: its group came back after the pause.
    const std::string afterPause = text.substr(text.find("key VK_ESCAPE"));
    EXPECT_EQ(Lines(afterPause, "load W1L1S01 2").size(), 1u) << text;
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
