// Benchmark: a frame of motor skills. 100 animated actors each run their move skill through
// their skill table's LoopSkill (name compare, status bits, the skill's Loop) against one
// plain virtual call of the same Loop per actor.
#include "benchsupport.h"
#include "move.h"
#include "tsanimactor.h"
#include "tsmotorskills.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
constexpr int kActors = 100;

struct Bench
{
    std::vector<TsAnimActor*> actors;
    std::vector<TsMotorSkill*> skills;
};
Bench gBench;

void Start()
{
    for (int i = 0; i < kActors; ++i)
    {
        auto* actor = new TsAnimActor();
        actor->AddRef();
        auto* skill = new MoveMSState(actor);
        actor->GetMotorSkills()->AddSkill(skill);
        actor->GetMotorSkills()->LoopSkill(MoveMSState::kName);
        gBench.actors.push_back(actor);
        gBench.skills.push_back(skill);
    }
}

void Stop()
{
    for (TsAnimActor* actor : gBench.actors)
    {
        actor->ExitMotorSkills();
        actor->Release();
    }
    gBench = Bench();
}

void BM_LoopSkill(benchmark::State& state)
{
    for (auto _ : state)
        for (TsAnimActor* actor : gBench.actors)
            benchmark::DoNotOptimize(actor->GetMotorSkills()->LoopSkill(MoveMSState::kName));
}
BENCHMARK(BM_LoopSkill)->Name("Skills/LoopSkill for 100 actors")->Unit(benchmark::kMicrosecond);

void BM_VirtualCall(benchmark::State& state)
{
    for (auto _ : state)
        for (TsMotorSkill* skill : gBench.skills)
            benchmark::DoNotOptimize(skill->Loop());
}
BENCHMARK(BM_VirtualCall)->Name("Skills/plain virtual Loop for 100 actors")->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    Start();
    const int result = BenchRunWithRatios(
        argc, argv, {{"LoopSkill / plain virtual call", "Skills/LoopSkill for 100 actors",
                      "Skills/plain virtual Loop for 100 actors"}});
    Stop();
    return result;
}
