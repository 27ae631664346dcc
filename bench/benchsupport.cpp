// Shared pieces of the benchmark programs.
#include "benchsupport.h"

#include "device.h"
#include "engine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace
{
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter(const std::vector<BenchRatio>& ratios, const char* note) : mRatios(ratios), mNote(note) {}

    // Ratios are taken between medians of the repetitions, so one lucky run cannot decide
    // them; a single run (repetitions 1) stands for itself.
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
        {
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            const Times times = {run.GetAdjustedRealTime() / unit, run.GetAdjustedCPUTime() / unit};
            // Runs measured in real time carry a "/real_time" suffix; ratios name the benchmark without it.
            std::string name = run.run_name.str();
            const std::string suffix = "/real_time";
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                name.resize(name.size() - suffix.size());
            if (run.run_type == Run::RT_Aggregate)
            {
                if (run.aggregate_name == "median")
                {
                    mMedians[name] = times;
                    mCounts[name] = run.repetitions;
                }
            }
            else
            {
                mSingles[name].push_back(times);
                mCounts[name] = int64_t(mSingles[name].size());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const BenchRatio& ratio : mRatios)
        {
            const Times n = Median(ratio.numerator);
            const Times d = Median(ratio.denominator);
            if (n.real <= 0 || d.real <= 0)
            {
                std::printf("%-60s no ratio: a run is missing or was skipped\n", ratio.label);
                continue;
            }
            std::printf("%-60s time ratio of medians %.2f", ratio.label, n.real / d.real);
            if (n.cpu > 0 && d.cpu > 0)
                std::printf(", main-thread CPU ratio %.2f", n.cpu / d.cpu);
            std::printf(" (%lld runs each)\n", static_cast<long long>(mCounts[ratio.numerator]));
        }
        if (mNote)
            std::printf("%s\n", mNote);
    }

private:
    struct Times
    {
        double real = 0;
        double cpu = 0; ///< the benchmark thread's CPU time
    };

    // Each of the two times is the median of its own series.
    Times Median(const std::string& name)
    {
        if (auto it = mMedians.find(name); it != mMedians.end())
            return it->second;
        std::vector<Times>& series = mSingles[name];
        if (series.empty())
            return {};
        std::vector<double> real, cpu;
        for (const Times& t : series)
        {
            real.push_back(t.real);
            cpu.push_back(t.cpu);
        }
        std::sort(real.begin(), real.end());
        std::sort(cpu.begin(), cpu.end());
        return {real[real.size() / 2], cpu[cpu.size() / 2]};
    }

    std::vector<BenchRatio> mRatios;
    const char* mNote;
    std::map<std::string, Times> mMedians;
    std::map<std::string, std::vector<Times>> mSingles;
    std::map<std::string, int64_t> mCounts;
};

// A device that accepts every request and registers an empty record.
DeviceRecord sRecord;

int32_t System(int32_t request, void* out, void*, int32_t)
{
    if (request == kDeviceRegister)
        *static_cast<DeviceRecord*>(out) = sRecord;
    return request == kDeviceStandardFunctions ? 0 : 1;
}

int32_t Attach()
{
    return 1;
}

const DeviceRecord* GetRecord()
{
    return &sRecord;
}

const DeviceDriver kDriver = {Attach, GetRecord};
} // namespace

int BenchRunWithRatios(int argc, char** argv, const std::vector<BenchRatio>& ratios, const char* note)
{
    // Five repetitions of every benchmark by default, the table showing their aggregates;
    // flags given on the command line come later and win. The repetitions of the benchmarks
    // run interleaved, so that a change in the machine's load during the run falls on both
    // sides of a ratio rather than on whichever ran then.
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregates[] = "--benchmark_display_aggregates_only=true";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + (argc > 0 ? 1 : 0), {repetitions, aggregates, interleaving});
    int count = int(args.size());
    args.push_back(nullptr);
    argv = args.data();
    argc = count;
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(ratios, note);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

bool BenchStartEngine(bool (*beforeOpen)())
{
    sRecord = {1.0f, System, 0.0f, 1.0f, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
    Engine::SetDriver(&kDriver);
    static int window = 1;
    if (!Engine::Init(nullptr, 0, 0))
        return false;
    if (beforeOpen && !beforeOpen())
        return false;
    return Engine::Open(&window) && Engine::Start();
}

void BenchStopEngine()
{
    Engine::Stop();
    Engine::Close();
    Engine::Term();
}
