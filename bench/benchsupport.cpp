// Shared pieces of the benchmark programs.
#include "benchsupport.h"

#include "device.h"
#include "engine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace
{
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter(const std::vector<BenchRatio>& ratios, const char* note) : mRatios(ratios), mNote(note) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
        {
            // With repetitions the median stands for the benchmark; without, its one run.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median)
                continue;
            // Runs measured in real time carry a "/real_time" suffix; ratios name the benchmark without it.
            std::string name = median ? run.run_name.str() : run.benchmark_name();
            const std::string suffix = "/real_time";
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                name.resize(name.size() - suffix.size());
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            mTimes[name] = {run.GetAdjustedRealTime() / unit, run.GetAdjustedCPUTime() / unit};
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const BenchRatio& ratio : mRatios)
        {
            auto n = mTimes.find(ratio.numerator);
            auto d = mTimes.find(ratio.denominator);
            if (n == mTimes.end() || d == mTimes.end() || n->second.real <= 0 || d->second.real <= 0)
            {
                std::printf("%-60s no ratio: a run is missing or was skipped\n", ratio.label);
                continue;
            }
            std::printf("%-60s time ratio %.2f", ratio.label, n->second.real / d->second.real);
            if (n->second.cpu > 0 && d->second.cpu > 0)
                std::printf(", main-thread CPU ratio %.2f", n->second.cpu / d->second.cpu);
            std::printf("\n");
        }
        if (mNote)
            std::printf("%s\n", mNote);
    }

private:
    std::vector<BenchRatio> mRatios;
    const char* mNote;
    struct Times
    {
        double real = 0;
        double cpu = 0; ///< the benchmark thread's CPU time
    };
    std::map<std::string, Times> mTimes;
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
