// The first mission played headless from the language choice to the debriefing by the set's own
// drive file: the hero walks into the first objective's box (the objective completes and its
// message shows), shoots the guard in his way (his hit points reach 0 and the second objective
// completes), walks past the body through the door into the last box, and the end of the
// mission leads to the closing label and the debriefing with both objectives done. Two runs
// trace the same states, hit points and flags, and draw the same debriefing.
#include "e2e_fixture.h"
#include "framecheck.h"


#include <cstdio>
#include <map>

namespace e2etest
{
namespace
{

/// The set's mission drive with the trace and frames sent beside the copy.
std::string MissionDrive(const fs::path& folder)
{
    const std::string name = folder.filename().string();
    return gamerun::ReadFile((folder / "drive" / "mission.txt").string()) + "trace " +
           (folder.parent_path() / (name + ".trace")).string() + "\nframes " +
           (folder.parent_path() / (name + "-frames")).string() + "\n";
}

/// The lines of each "scene frame <n>" block, by frame.
std::map<long, std::vector<std::string>> ActorBlocks(const std::string& trace)
{
    std::map<long, std::vector<std::string>> blocks;
    std::istringstream in(trace);
    std::vector<std::string>* current = nullptr;
    for (std::string line; std::getline(in, line);)
    {
        if (line.rfind("scene frame ", 0) == 0)
            current = &blocks[std::stol(line.substr(12))];
        else if (current &&
                 (line.rfind("actor ", 0) == 0 || line.rfind("objective ", 0) == 0 || line.rfind("hud ", 0) == 0))
            current->push_back(line);
        else
            current = nullptr;
    }
    return blocks;
}

/// The block's line that starts with prefix, or "".
std::string Find(const std::vector<std::string>& block, const std::string& prefix)
{
    for (const std::string& line : block)
        if (line.rfind(prefix, 0) == 0)
            return line;
    return "";
}

/// The frame a state was entered at the nth time (from 0), or -1.
long Entered(const std::string& trace, int state, int nth = 0)
{
    const std::vector<std::string> lines = Lines(trace, "state " + std::to_string(state) + " frame ");
    return nth < int(lines.size()) ? std::stol(lines[size_t(nth)].substr(lines[size_t(nth)].rfind(' ') + 1)) : -1;
}

TEST_F(GameRun, TheFirstMissionIsPlayedFromTheMainMenuToTheDebriefingTheSameWayTwice)
{
    std::string traces[2];
    for (int run = 0; run < 2; ++run)
    {
        SCOPED_TRACE(run);
        const fs::path folder = Copy("mission" + std::to_string(run));
        const gamerun::Result result = gamerun::Run(gamerun::GameBinary(), folder.string(), MissionDrive(folder));
        ASSERT_EQ(result.signal, 0) << result.err;
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(gamerun::SanitizerReport(result.err), "");
        for (const std::string& log : {result.out, result.err})
            for (const char* fault : {"Traceback", "Error", "not found", "not defined", "is not an object"})
                EXPECT_EQ(log.find(fault), std::string::npos) << fault << " in\n" << log;
        traces[run] = gamerun::ReadFile((gRoot / ("mission" + std::to_string(run) + ".trace")).string());
    }
    const std::string& trace = traces[0];
    EXPECT_EQ(traces[1], trace) << "the second run went another way";

    // The states: the front end to the stage, then the closing label and the debriefing.
    std::vector<std::string> states;
    for (const std::string& line : Lines(trace, "state "))
        states.push_back(line.substr(6, line.find(" frame") - 6));
    EXPECT_EQ(states, (std::vector<std::string>{"9", "7", "1", "17", "12", "18", "6", "18", "13"})) << trace;
    const long stage = Entered(trace, 6);
    const long debriefing = Entered(trace, 13);
    ASSERT_GT(stage, 0) << trace;
    ASSERT_GT(debriefing, stage) << trace;

    const std::map<long, std::vector<std::string>> blocks = ActorBlocks(trace);
    const auto block = [&](long frame) -> const std::vector<std::string>&
    {
        static const std::vector<std::string> none;
        const auto found = blocks.find(frame);
        return found == blocks.end() ? none : found->second;
    };
    const struct
    {
        long frame;
        const char* hero;
        const char* guard;
        const char* hud; ///< "" when no message is shown
        const char* first;
        const char* second;
    } moments[] = {
        // At the start: both alive, the first objective open, the second waiting for it.
        {stage + 1, "actor Hero hp 100 at 0 0 -600", "actor GUARD01 hp 60", "", "objective 0 active 1 done 0",
         "objective 1 active 0 done 0"},
        // In the first box: done, its message shown, the second objective open.
        {stage + 56, "actor Hero hp 100", "actor GUARD01 hp 60", "hud The yard is reached",
         "objective 0 active 0 done 1", "objective 1 active 1 done 0"},
        // Aiming at the guard, before the shot.
        {stage + 80, "actor Hero hp 100", "actor GUARD01 hp 60", "", "objective 0 active 0 done 1",
         "objective 1 active 1 done 0"},
        // Shot: his hit points are gone and the second objective is done.
        {stage + 90, "actor Hero hp 100", "actor GUARD01 hp 0", "hud The guard is down", "objective 0 active 0 done 1",
         "objective 1 active 0 done 1"},
    };
    for (const auto& m : moments)
    {
        SCOPED_TRACE(m.frame - stage);
        const std::vector<std::string>& lines = block(m.frame);
        ASSERT_FALSE(lines.empty()) << "no actors traced\n" << trace;
        EXPECT_EQ(Find(lines, m.hero).empty(), false) << m.hero << "\n" << ::testing::PrintToString(lines);
        EXPECT_EQ(Find(lines, m.guard).empty(), false) << m.guard << "\n" << ::testing::PrintToString(lines);
        if (*m.hud)
        {
            EXPECT_EQ(Find(lines, "hud "), m.hud);
        }
        EXPECT_EQ(Find(lines, "objective 0 "), m.first);
        EXPECT_EQ(Find(lines, "objective 1 "), m.second);
    }
    // Past the door: the hero is inside the building (its south wall is at z 200 to 220).
    const std::string inside = Find(block(stage + 200), "actor Hero ");
    float x = 0.0f, y = 0.0f, z = 0.0f;
    ASSERT_EQ(std::sscanf(inside.c_str(), "actor Hero hp %*d at %f %f %f", &x, &y, &z), 3) << trace;
    EXPECT_GT(z, 220.0f) << inside;
    EXPECT_NEAR(y, 0.0f, 1.0f) << "on the ground";
    // The debriefing reads both objectives done.
    const std::vector<std::string>& after = block(debriefing + 5);
    EXPECT_EQ(Find(after, "objective 0 "), "objective 0 active 0 done 1") << trace;
    EXPECT_EQ(Find(after, "objective 1 "), "objective 1 active 0 done 1") << trace;
    // Nothing left at the end: every group and record went.
    ASSERT_EQ(Lines(trace, "end ").size(), 1u);
    EXPECT_EQ(Lines(trace, "end ")[0], "end 0 frames 420 groups 0 records 0");

    // Both runs drew the same debriefing, and it is not a cleared screen.
    int width[2] = {}, height[2] = {};
    std::vector<uint32_t> frames[2];
    for (int run = 0; run < 2; ++run)
        frames[run] = ReadPng(gRoot / ("mission" + std::to_string(run) + "-frames") / "run-debriefing.png", &width[run],
                              &height[run]);
    ASSERT_EQ(frames[0].size(), size_t(640 * 480));
    ASSERT_EQ(frames[1].size(), frames[0].size());
    EXPECT_EQ(framecheck::CheckFrame("e2e_mission_debriefing", width[0], height[0], frames[1], frames[0], 4), "");
    int cleared = 0;
    for (uint32_t pixel : frames[0])
        cleared += pixel == 0xFF000000u;
    EXPECT_LT(cleared, width[0] * height[0] / 3) << "mostly the clear colour";
    EXPECT_TRUE(fs::exists(gRoot / "mission0-frames" / "run-mission.png"));
    for (int run = 0; run < 2; ++run)
        fs::remove_all(gRoot / ("mission" + std::to_string(run)));
}

} // namespace
} // namespace e2etest
