// Shared pieces of the benchmark programs: a reporter that prints the time ratio
// of the medians of named pairs of benchmarks after the usual table, and an engine started on a
// device that accepts every request.
#pragma once

#include <vector>

struct BenchRatio
{
    const char* label;
    const char* numerator;   ///< benchmark name as reported
    const char* denominator; ///< benchmark name as reported
};

/// Runs the registered benchmarks, five repetitions each unless the command line says
/// otherwise, interleaved, and prints the ratios of their medians; returns main's exit code.
int BenchRunWithRatios(int argc, char** argv, const std::vector<BenchRatio>& ratios, const char* note = nullptr);

/// Starts the engine on a null device; beforeOpen (optional) runs between Init and
/// Open, where plug-ins register. False when a step fails.
bool BenchStartEngine(bool (*beforeOpen)() = nullptr);
void BenchStopEngine();
