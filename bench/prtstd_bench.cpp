// Benchmark: standard particles at steady state (as many born as die every update), with
// every standard property and with position only, each writing into a bound tank, against
// a plain loop integrating as many positions. Prints particles per second (items) and the
// ratios to the plain loop.
#include "benchsupport.h"
#include "clump.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "ptank.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

constexpr float kDt = 1.0f / 60.0f;
constexpr int32_t kPerUpdate = 100; // 100 a frame living one second: 6000 alive
constexpr int32_t kCapacity = 8000;

int32_t CreateWithoutDevice(Atomic*, PTankData*, int32_t, uint32_t, int32_t)
{
    return 1;
}

bool Attach()
{
    return World::Attach() && PTank::Attach() && PrtStdAttach();
}

PrtStdPropertyTable* Table(const std::vector<int32_t>& ids, bool emitter)
{
    std::vector<int32_t> sizes;
    for (int32_t id : ids)
        sizes.push_back(emitter ? PrtStdEmitterProperty::MinimumSize(id) : PrtStdParticleProperty::MinimumSize(id));
    return PrtStdPropertyTable::Create(int32_t(ids.size()), ids.data(), sizes.data());
}

struct System
{
    Atomic* atomic = nullptr;
    Atomic* tank = nullptr;
    PrtStdEmitterClass* ec = nullptr;
    PrtStdParticleClass* pc = nullptr;

    System(const std::vector<int32_t>& emitterIds, const std::vector<int32_t>& particleIds, uint32_t tankFlags)
    {
        ec = PrtStdEmitterClass::Create();
        PrtStdPropertyTable* t = Table(emitterIds, true);
        PrtStdParticleClass::SetPropertyTable(ec, t);
        PrtStdPropertyTable::Destroy(t);
        PrtStdEmitterStd::SetCallbacks(ec);
        pc = PrtStdParticleClass::Create();
        t = Table(particleIds, false);
        PrtStdParticleClass::SetPropertyTable(pc, t);
        PrtStdPropertyTable::Destroy(t);
        PrtStdParticleStd::SetCallbacks(pc);
        atomic = PrtStdAtomic::Create(ec, nullptr);
        PrtStdEmitter* e = PrtStdAtomic::GetEmitters(atomic);
        PrtStdEmitter::SetParticleClass(e, pc, 256);
        PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(e);
        s->maxParticles = kCapacity;
        s->emitCount = kPerUpdate;
        s->life = 1.0f;
        s->speed = 2.0f;
        s->direction = {0, 1, 0};
        s->directionBias = {1, 0, 1};
        s->emitBox = {1, 1, 1};
        s->force = {0, -9.8f, 0};
        // The tank is made here without a device: what is measured is the update's work.
        const PTankPlatform platform = {nullptr, CreateWithoutDevice, nullptr, nullptr};
        tank = PTank::CreateAtomicWithPlatform(kCapacity, tankFlags | kPTankArrays, 0, &platform);
        PrtStdEmitter::AttachPTank(e, tank);
        for (int i = 0; i < 120; ++i) // to the steady state
            Step();
    }

    bool Step()
    {
        PrtStdUpdateData data{kDt};
        return PrtStdAtomic::UpdateEmitters(atomic, &data) == atomic;
    }

    ~System()
    {
        Atomic::Destroy(atomic); // with the emitter and its tank
        PrtStdEmitterClass::Destroy(ec);
        PrtStdParticleClass::Destroy(pc);
    }
};

void Run(benchmark::State& state, System& system)
{
    int64_t particles = 0;
    for (auto _ : state)
    {
        if (!system.Step())
        {
            state.SkipWithError("update failed");
            break;
        }
        particles += PrtStdAtomic::GetEmitters(system.atomic)->activeCount;
    }
    state.SetItemsProcessed(particles);
}

void BM_AllProperties(benchmark::State& state)
{
    System system({1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6},
                  kPTankPosition | kPTankColour | kPTankSize | kPTankRotation | kPTankTexCoords2);
    Run(state, system);
}
BENCHMARK(BM_AllProperties);

void BM_PositionOnly(benchmark::State& state)
{
    System system({1, 6}, {0, 1, 6}, kPTankPosition);
    Run(state, system);
}
BENCHMARK(BM_PositionOnly);

// The same number of positions integrated in a plain loop (velocity, then position).
void BM_PlainLoop(benchmark::State& state)
{
    const size_t n = size_t(kPerUpdate) * 60;
    std::vector<Vector> positions(n, Vector{0, 0, 0}), velocities(n, Vector{0, 2, 0});
    int64_t particles = 0;
    for (auto _ : state)
    {
        for (size_t i = 0; i < n; ++i)
        {
            velocities[i].y -= kDt * 9.8f;
            positions[i].x += kDt * velocities[i].x;
            positions[i].y += kDt * velocities[i].y;
            positions[i].z += kDt * velocities[i].z;
        }
        benchmark::ClobberMemory();
        particles += int64_t(n);
    }
    state.SetItemsProcessed(particles);
}
BENCHMARK(BM_PlainLoop);

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(Attach))
        return 1;
    const int result = BenchRunWithRatios(argc, argv,
                                          {{"all properties / plain loop", "BM_AllProperties", "BM_PlainLoop"},
                                           {"position only / plain loop", "BM_PositionOnly", "BM_PlainLoop"}},
                                          "time per update; items are live particles updated (births = deaths)");
    BenchStopEngine();
    return result;
}
