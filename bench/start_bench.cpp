// Benchmark: the game binary from its start to the main menu against the bare application
// shell's start to its first frame, each a child process on the offscreen driver; wall time and
// peak resident memory (getrusage). The start is timed twice: with the keys pressed at their first
// chance (the logo sequence skipped, as a player in a hurry does) and on the set's headless drive
// file, which watches the logo sequence for 100 frames. Then one driven run from the main menu
// through a new game, the campaign map's first mission and its label into the stage: the time
// from the main menu to the stage's first frame, and the stage's mean and 99th-percentile frame
// against the main menu's. Last, the medians beside the goals: the main menu within 1 s of the
// start, the stage within 2 s of the menu's choice, 256 MB of peak memory.
#include "benchsupport.h"
#include "contentset.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr double kGoalSeconds = 1.0;
constexpr double kGoalStageSeconds = 2.0;
constexpr double kGoalMegabytes = 256.0;

fs::path gRoot;
double gGamePeakMb = 0.0;
double gShellPeakMb = 0.0;
// Every iteration's time, for the medians set beside the goals.
std::vector<double> gWatchedStarts, gSkippedStarts, gStageLoads;

double Median(std::vector<double> values)
{
    if (values.empty())
        return -1.0;
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

struct Child
{
    double seconds = -1.0; ///< until the awaited trace line, or until exit when none is awaited
    double peakMb = 0.0;
    bool ok = false;
};

// Runs the binary in folder; when awaited is not empty, the time is taken when a line starting
// with it comes on the child's standard output (the drive trace), else when the child exits.
// The time the child takes after that is left out of the benchmark's timing.
Child RunChild(benchmark::State& state, const std::string& binary, const fs::path& folder, const char* drive,
               const std::string& awaited)
{
    Child result;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0)
    {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        if (drive)
            setenv("VELMORAN_DRIVE", drive, 1);
        // The player's files stay in the benchmark's own folder, never in the home of whoever runs it.
        setenv("VELMORAN_USER_DIR", (folder.parent_path() / "user").c_str(), 1);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string line;
    bool seen = awaited.empty();
    char c;
    while (read(pipeEnds[0], &c, 1) == 1)
    {
        if (c != '\n')
        {
            line += c;
            continue;
        }
        if (!seen && line.rfind(awaited, 0) == 0)
        {
            seen = true;
            result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            state.PauseTiming();
        }
        line.clear();
    }
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    const bool reaped = child > 0 && wait4(child, &status, 0, &usage) == child;
    if (awaited.empty())
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    else if (seen)
        state.ResumeTiming();
    result.peakMb = double(usage.ru_maxrss) / 1024.0;
    result.ok = reaped && seen && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

void BM_GameToMainMenu(benchmark::State& state)
{
    const fs::path set = gRoot / "set";
    const std::string drive = (gRoot / "bench.drive").string();
    // The set's own run, its frames kept out of the build folder; the trace comes on stdout.
    std::ifstream in(set / "drive" / "main-menu.txt");
    std::ofstream(drive) << std::string((std::istreambuf_iterator<char>(in)), {}) << "frames "
                         << (gRoot / "frames").string() << "\n";
    for (auto _ : state)
    {
        const Child run = RunChild(state, VELMORAN_BINARY, set, drive.c_str(), "state 1 ");
        if (!run.ok)
        {
            state.SkipWithError("the game did not reach the main menu and quit cleanly");
            return;
        }
        gGamePeakMb = std::max(gGamePeakMb, run.peakMb);
        gWatchedStarts.push_back(run.seconds);
    }
    state.counters["peak_MB"] = gGamePeakMb;
}
BENCHMARK(BM_GameToMainMenu)
    ->Name("Start/game to the main menu (logos watched)")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The language chosen on the second frame, the logo sequence skipped on the intro's second; the
// bound ends the run on the main menu.
constexpr const char* kSkippingDrive = "step 2500000\nbound 60\nat 2 key VK_RETURN\non 7 +2 key VK_RETURN\n";

void BM_GameToMainMenuSkipped(benchmark::State& state)
{
    const fs::path set = gRoot / "set";
    const std::string drive = (gRoot / "skip.drive").string();
    std::ofstream(drive) << kSkippingDrive;
    for (auto _ : state)
    {
        const Child run = RunChild(state, VELMORAN_BINARY, set, drive.c_str(), "state 1 ");
        if (!run.ok)
        {
            state.SkipWithError("the game did not reach the main menu and end cleanly");
            return;
        }
        gGamePeakMb = std::max(gGamePeakMb, run.peakMb);
        gSkippedStarts.push_back(run.seconds);
    }
    state.counters["peak_MB"] = gGamePeakMb;
}
BENCHMARK(BM_GameToMainMenuSkipped)
    ->Name("Start/game to the main menu (logos skipped)")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_BareShellStart(benchmark::State& state)
{
    for (auto _ : state)
    {
        const Child run = RunChild(state, BARESHELL_BINARY, gRoot, nullptr, "");
        if (!run.ok)
        {
            state.SkipWithError("the bare shell did not run");
            return;
        }
        gShellPeakMb = std::max(gShellPeakMb, run.peakMb);
    }
    state.counters["peak_MB"] = gShellPeakMb;
}
struct FrameTimes
{
    double mean = 0.0, p99 = 0.0;
    long frames = 0;
};
FrameTimes gMenuFrames, gStageFrames;
double gStagePeakMb = 0.0;

// The run's "timing state <id> frames <n> mean_us <m> p99_us <p>" line into times.
void ReadTiming(const std::string& line, int state, FrameTimes* times)
{
    int id = -1;
    long frames = 0;
    double mean = 0.0, p99 = 0.0;
    if (std::sscanf(line.c_str(), "timing state %d frames %ld mean_us %lf p99_us %lf", &id, &frames, &mean, &p99) ==
            4 &&
        id == state && frames > times->frames)
        *times = FrameTimes{mean, p99, frames};
}

// A new game from the main menu (held 300 frames), mission 1 on the campaign map, its label's
// pages, then 300 frames of the stage; each state's first 30 frames are left out of its timing.
constexpr const char* kStageDrive = "step 2500000\nbound 800\ntiming 30\nat 2 key VK_RETURN\non 7 +100 key VK_RETURN\n"
                                    "on 1 +300 key VK_RETURN\non 1 +310 key VK_RETURN\non 12 +25 key VK_RETURN\n"
                                    "on 12 +29 key VK_RETURN\non 18 +10 key VK_RETURN\non 18 +20 key VK_RETURN\n"
                                    "on 18 +30 key VK_RETURN\non 18 +40 key VK_RETURN\n";

void BM_MainMenuToStage(benchmark::State& state)
{
    const fs::path set = gRoot / "set";
    const std::string drive = (gRoot / "stage.drive").string();
    std::ofstream(drive) << kStageDrive << "frames " << (gRoot / "frames").string() << "\n";
    for (auto _ : state)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
        {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = fork();
        if (child == 0)
        {
            dup2(pipeEnds[1], 1);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            if (chdir(set.c_str()) != 0)
                _exit(127);
            setenv("VELMORAN_DRIVE", drive.c_str(), 1);
            setenv("VELMORAN_USER_DIR", (gRoot / "user-stage").c_str(), 1);
            execl(VELMORAN_BINARY, VELMORAN_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeEnds[1]);
        std::chrono::steady_clock::time_point menu, stage;
        bool sawMenu = false, sawStage = false;
        std::string line;
        char c;
        while (read(pipeEnds[0], &c, 1) == 1)
        {
            if (c != '\n')
            {
                line += c;
                continue;
            }
            if (!sawMenu && line.rfind("state 17 ", 0) == 0)
            {
                sawMenu = true;
                menu = std::chrono::steady_clock::now();
            }
            else if (sawMenu && !sawStage && line.rfind("state 6 ", 0) == 0)
            {
                sawStage = true;
                stage = std::chrono::steady_clock::now();
            }
            ReadTiming(line, 1, &gMenuFrames);
            ReadTiming(line, 6, &gStageFrames);
            line.clear();
        }
        close(pipeEnds[0]);
        int status = 0;
        rusage usage{};
        const bool reaped = child > 0 && wait4(child, &status, 0, &usage) == child;
        if (!reaped || !sawStage || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        {
            state.SkipWithError("the game did not reach the stage and end cleanly");
            return;
        }
        gStagePeakMb = std::max(gStagePeakMb, double(usage.ru_maxrss) / 1024.0);
        // From New game's hand-over (the intro cinematic) on: the 300 menu frames before are the
        // timing's sample, not loading.
        state.SetIterationTime(std::chrono::duration<double>(stage - menu).count());
        gStageLoads.push_back(std::chrono::duration<double>(stage - menu).count());
    }
    state.counters["peak_MB"] = gStagePeakMb;
}
BENCHMARK(BM_MainMenuToStage)
    ->Name("Start/new game to the stage's first frame (map and label driven)")
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_BareShellStart)->Name("Start/bare shell")->UseRealTime()->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    gRoot = fs::temp_directory_path() / ("velmoran-start-bench-" + std::to_string(getpid()));
    fs::remove_all(gRoot);
    const std::string failed = ContentWrite((gRoot / "set").string());
    if (!failed.empty())
    {
        std::fprintf(stderr, "the content set could not be made: %s\n", failed.c_str());
        return 1;
    }
    const int result = BenchRunWithRatios(
        argc, argv,
        {{"game to main menu, logos skipped / bare shell start", "Start/game to the main menu (logos skipped)",
          "Start/bare shell"},
         {"game to main menu, logos watched / skipped", "Start/game to the main menu (logos watched)",
          "Start/game to the main menu (logos skipped)"}},
        "wall time of each child process from its start (the CPU column is the benchmark's own thread, not the "
        "child's); the game's time ends when its trace shows the main menu");
    if (gGamePeakMb > 0.0 && gShellPeakMb > 0.0)
        std::printf("%-60s peak memory %.1f MB / %.1f MB, ratio %.2f\n", "game to main menu / bare shell start",
                    gGamePeakMb, gShellPeakMb, gGamePeakMb / gShellPeakMb);
    if (gMenuFrames.frames > 0 && gStageFrames.frames > 0)
    {
        std::printf("%-60s mean %.0f us / %.0f us, ratio %.2f\n", "stage frame / main menu frame", gStageFrames.mean,
                    gMenuFrames.mean, gStageFrames.mean / gMenuFrames.mean);
        std::printf("%-60s p99 %.0f us / %.0f us, ratio %.2f\n", "", gStageFrames.p99, gMenuFrames.p99,
                    gStageFrames.p99 / gMenuFrames.p99);
        std::printf("%-60s p99 / mean: main menu %.2f, stage %.2f (%ld and %ld frames)\n", "",
                    gMenuFrames.p99 / gMenuFrames.mean, gStageFrames.p99 / gStageFrames.mean, gMenuFrames.frames,
                    gStageFrames.frames);
    }
    // The goals, on the medians; a benchmark that could not run shows as not measured.
    const auto goal = [](const char* what, double value, double limit, const char* unit, double scale)
    {
        if (value < 0.0)
            std::printf("goal: %-54s not measured (limit %.0f %s)\n", what, limit * scale, unit);
        else
            std::printf("goal: %-54s %.0f %s (limit %.0f %s): %s\n", what, value * scale, unit, limit * scale, unit,
                        value <= limit ? "met" : "MISSED");
    };
    goal("start to the main menu, logos skipped", Median(gSkippedStarts), kGoalSeconds, "ms", 1000.0);
    goal("start to the main menu, logos watched (100 frames)", Median(gWatchedStarts), kGoalSeconds, "ms", 1000.0);
    goal("main menu's choice to the stage's first frame", Median(gStageLoads), kGoalStageSeconds, "ms", 1000.0);
    goal("peak memory, start to the stage",
         std::max(gGamePeakMb, gStagePeakMb) > 0.0 ? std::max(gGamePeakMb, gStagePeakMb) : -1.0, kGoalMegabytes, "MB",
         1.0);
    fs::remove_all(gRoot);
    return result;
}
