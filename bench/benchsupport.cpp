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
            const double time = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate)
            {
                if (run.aggregate_name == "median")
                {
                    mMedians[name] = time;
                    mCounts[name] = run.repetitions;
                }
            }
            else
            {
                mSingles[name].push_back(time);
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
            double n = Median(ratio.numerator);
            double d = Median(ratio.denominator);
            if (n > 0 && d > 0)
                std::printf("%-60s time ratio of medians %.2f (%lld runs each)\n", ratio.label, n / d,
                            static_cast<long long>(mCounts[ratio.numerator]));
        }
        if (mNote)
            std::printf("%s\n", mNote);
    }

    double Median(const std::string& name)
    {
        if (auto it = mMedians.find(name); it != mMedians.end())
            return it->second;
        std::vector<double>& times = mSingles[name];
        if (times.empty())
            return 0;
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

private:
    std::vector<BenchRatio> mRatios;
    const char* mNote;
    std::map<std::string, double> mMedians;
    std::map<std::string, std::vector<double>> mSingles;
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
    // flags given on the command line come later and win.
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregates[] = "--benchmark_display_aggregates_only=true";
    args.insert(args.begin() + (argc > 0 ? 1 : 0), {repetitions, aggregates});
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
