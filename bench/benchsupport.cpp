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
            mTimes[run.benchmark_name()] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const BenchRatio& ratio : mRatios)
        {
            double n = mTimes[ratio.numerator];
            double d = mTimes[ratio.denominator];
            if (n > 0 && d > 0)
                std::printf("%-60s time ratio %.2f\n", ratio.label, n / d);
        }
        if (mNote)
            std::printf("%s\n", mNote);
    }

private:
    std::vector<BenchRatio> mRatios;
    const char* mNote;
    std::map<std::string, double> mTimes;
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
