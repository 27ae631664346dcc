// Long driven runs of the game binary: held keys, mouse moves, memory and timing lines in the
// trace; and the soaks, the main menu and the first mission's stage each held for many frames
// with the resident memory flat and the frames free of the framework's allocations and of
// operator new. VELMORAN_SOAK_FRAMES sets the soaks' length (default 2000).
#include "e2e_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace e2etest
{
namespace
{
// Through the language choice and the intro's title to the main menu (state 1).
const char* const kToMainMenu = "step 2500000\nat 2 key VK_RETURN\non 7 +100 key VK_RETURN\n";

long Field(const std::string& line, const std::string& name)
{
    const size_t at = line.find(" " + name + " ");
    return at == std::string::npos ? -1 : std::atol(line.c_str() + at + name.size() + 2);
}

TEST_F(GameRun, AHeldKeyIsOnePressAndTheTraceCarriesMemoryTimingAndTheMouse)
{
    // On the main menu: Down held for 12 frames moves one row, then Down twice more to Quit, Return,
    // Down to Yes, Return. Held keys repeating or never let go would land elsewhere.
    const fs::path folder = Copy("drive-hold");
    const fs::path trace = gRoot / "drive-hold.trace";
    const std::string drive = std::string(kToMainMenu) + "bound 400\ntiming 5\ntrace " + trace.string() +
                              "\non 1 +30 mouse 25 -10\non 1 +40 memory\n"
                              "on 1 +41 hold VK_DOWN 12\non 1 +57 key VK_DOWN\non 1 +61 key VK_DOWN\n"
                              "on 1 +65 key VK_RETURN\non 1 +73 key VK_DOWN\non 1 +77 key VK_RETURN\non 1 +70 memory\n";
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), drive);
    EXPECT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string text = gamerun::ReadFile(trace.string());

    const std::vector<std::string> holds = Lines(text, "hold VK_DOWN ");
    ASSERT_EQ(holds.size(), 1u) << text;
    EXPECT_EQ(Field(holds[0], "to") - Field(holds[0], "frame"), 12);
    EXPECT_EQ(Lines(text, "mouse 25 -10 frame ").size(), 1u) << text;
    const std::vector<std::string> ends = Lines(text, "end 0 frames ");
    ASSERT_EQ(ends.size(), 1u) << text;
    EXPECT_LT(Field(ends[0], "frames"), 400) << "the menu's Quit ended the run before its bound";

    const std::vector<std::string> memory = Lines(text, "memory frame ");
    ASSERT_EQ(memory.size(), 2u) << text;
    for (const std::string& line : memory)
    {
        EXPECT_GT(Field(line, "rss_kb"), 0) << line;
        EXPECT_GE(Field(line, "peak_kb"), Field(line, "rss_kb") - 1024) << line;
        EXPECT_GE(Field(line, "allocations"), 0) << line;
        EXPECT_GE(Field(line, "new"), 0) << line;
    }
    // The main menu was built by operator new before the first line; nothing since the start
    // would mean the count is not wired to the binary's operator new.
    EXPECT_GT(Field(memory[0], "new"), 0) << memory[0];

    // One timing line per visit, the first 5 frames of each left out, the frames adding up.
    const std::vector<std::string> timings = Lines(text, "timing state ");
    const std::vector<std::string> states = Lines(text, "state ");
    ASSERT_EQ(timings.size(), states.size()) << text;
    long timed = 0;
    for (const std::string& line : timings)
    {
        timed += Field(line, "frames");
        if (Field(line, "frames") > 0)
        {
            EXPECT_GE(Field(line, "p99_us"), Field(line, "mean_us") / 2) << line;
        }
    }
    const long frames = Field(ends[0], "frames");
    EXPECT_LE(timed, frames);
    EXPECT_GE(timed, frames - 5 * long(states.size()));
    fs::remove_all(folder);
}

// A state held for a number of frames: from 1000 frames after its entry to the last, the peak and
// resident memory grow under 1 MB, and neither the framework nor operator new hands out a block.
struct Soak
{
    std::string reach; ///< the drive lines that bring the game into the state
    int state = 1;
    std::string leave; ///< the drive lines that end the run from the state, "+<n>" for n frames after the soak
    long slack = 1200; ///< frames the run has beyond the soak's, for the reach and the leave
};

void RunSoak(const fs::path& folder, const Soak& soak, long frames)
{
    const fs::path trace = folder.parent_path() / (folder.filename().string() + ".trace");
    const std::string state = std::to_string(soak.state);
    std::string drive = soak.reach + "trace " + trace.string() + "\nbound " + std::to_string(frames + soak.slack) +
                        "\non " + state + " +1000 memory\non " + state + " +" + std::to_string(frames) + " memory\n";
    std::istringstream leave(soak.leave);
    for (std::string after, event; leave >> after && std::getline(leave, event);)
        drive += "on " + state + " +" + std::to_string(frames + std::atol(after.c_str() + 1)) + event + "\n";
    // Freed blocks go straight back: the sanitizer's quarantine would otherwise grow the resident
    // memory with every block freed anywhere.
    const char* previous = std::getenv("ASAN_OPTIONS");
    const std::string kept = previous ? previous : "";
    setenv("ASAN_OPTIONS",
           (kept + (kept.empty() ? "" : ":") + "quarantine_size_mb=0:thread_local_quarantine_size_kb=0").c_str(), 1);
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), drive);
    if (previous)
        setenv("ASAN_OPTIONS", kept.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
    EXPECT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string text = gamerun::ReadFile(trace.string());
    EXPECT_EQ(Lines(text, "end 0 ").size(), 1u) << "the run left the state its own way\n" << text;
    const std::vector<std::string> entries = Lines(text, "state " + state + " ");
    ASSERT_EQ(entries.size(), 1u) << "the state is held the whole soak\n" << text;
    const std::vector<std::string> memory = Lines(text, "memory frame ");
    ASSERT_EQ(memory.size(), 2u) << text;
    // Said in the log of a long run, whose trace goes with the test's folder.
    std::printf("soak of state %s, %ld frames:\n  %s\n  %s\n", state.c_str(), frames, memory[0].c_str(),
                memory[1].c_str());
    EXPECT_LT(Field(memory[1], "peak_kb") - Field(memory[0], "peak_kb"), 1024) << memory[0] << "\n" << memory[1];
    EXPECT_LT(Field(memory[1], "rss_kb") - Field(memory[0], "rss_kb"), 1024) << memory[0] << "\n" << memory[1];
    EXPECT_EQ(Field(memory[1], "allocations"), 0) << memory[1];
    EXPECT_EQ(Field(memory[1], "new"), 0) << memory[1];
}

long SoakFrames()
{
    const char* set = std::getenv("VELMORAN_SOAK_FRAMES");
    return set && std::atol(set) > 1000 ? std::atol(set) : 2000;
}

TEST_F(GameRun, TheMainMenuHeldForThousandsOfFramesKeepsItsMemoryFlatAndAllocatesNothing)
{
    const long frames = SoakFrames();
    const fs::path folder = Copy("soak-main-menu");
    // Quit and Yes, as the set's own run leaves.
    RunSoak(
        folder,
        Soak{kToMainMenu, 1,
             "+1 key VK_DOWN\n+5 key VK_DOWN\n+9 key VK_DOWN\n+13 key VK_RETURN\n+21 key VK_DOWN\n+25 key VK_RETURN\n"},
        frames);
    fs::remove_all(folder);
}

TEST_F(GameRun, TheFirstStageHeldForThousandsOfFramesKeepsItsMemoryFlatAndAllocatesNothing)
{
    // A new game, mission 1 on the campaign map, its label's pages, then the stage (state 6) with
    // the hero idle at his start and the guards walking their patrol on the script's timer. The
    // bound ends the run a few frames after the soak.
    const fs::path folder = Copy("soak-stage");
    RunSoak(folder,
            Soak{std::string(kToMainMenu) + "on 1 +20 key VK_RETURN\non 1 +30 key VK_RETURN\non 12 +25 key VK_RETURN\n"
                                            "on 12 +29 key VK_RETURN\non 18 +6 key VK_RETURN\n"
                                            "on 18 +12 key VK_RETURN\non 18 +18 key VK_RETURN\n",
                 6, "", 400},
            SoakFrames());
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
