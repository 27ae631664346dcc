// Benchmark: 200 live triggers over 100 actors. Every frame each trigger sends (period 0)
// through the script world's range send to the actors of its family within its radius, and
// the next frame delivers the queued events (the actors hold no registration, so delivery
// drops them). The plain side measures the same 20,000 trigger-actor distances and counts
// those in range, with no queue, family filter or actor walk.
#include "benchscriptworld.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "frame.h"
#include "hbclock.h"
#include "scripteventid.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tstrigger.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "wrenderer.h"
#include "wscene.h"

#include <Python.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{

constexpr int kActors = 100;
constexpr float kExtent = 4000.0f;
constexpr int32_t kRadius = 300;
constexpr float kStep = 1.0f / 60.0f;

struct Bench
{
    WRenderer* renderer = nullptr;
    W3dLevel* level = nullptr;
    WScene* scene = nullptr;
    ScriptWorldManager* scriptWorld = nullptr;
    std::vector<BenchActor*> actors;
};
Bench gBench;

/// Spread over the square by two co-prime strides.
Vector Place(int i, float xStride, float zStride)
{
    return {std::fmod(float(i) * xStride, kExtent), 0.0f, std::fmod(float(i) * zStride, kExtent)};
}

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRendererAndInterpreter("TriggersBench", "triggers bench", b.renderer))
        return false;
    // The scene takes its nodes in once it shows a level; the level needs no world here.
    b.level = W3dLevel::Create();
    b.level->AddRef();
    b.scene = new WScene();
    b.scene->SetLevel(b.level);
    b.scriptWorld = new ScriptWorldManager();
    b.scriptWorld->SetScene(b.scene);
    TriggerManager::Install(b.scriptWorld);
    if (!TriggerManager::Create())
    {
        std::fprintf(stderr, "the triggers could not be made\n");
        return false;
    }
    for (int i = 0; i < kActors; ++i)
    {
        BenchActor* actor =
            BenchMakeActor(b.scene, i % 4 == 0 ? HeroFriendFamily : HeroEnemyFamily, Place(i, 137.0f, 71.0f));
        b.scriptWorld->AddActor(actor);
        b.actors.push_back(actor);
    }
    for (int i = 0; i < TriggerManager::kCapacity; ++i)
    {
        TsTrigger* trigger = TriggerManager::TakeFreeTrigger();
        trigger->Start(kEventSound, kRadius, 0, TsTrigger::kUnlimited, HeroEnemyFamily, 0, 1.0f);
        const Vector at = Place(i, 53.0f, 97.0f);
        trigger->SetPosition(&at);
    }
    Frame::SyncDirtyList();
    HbGameClock::Instance()->mStepSeconds = kStep;
    return true;
}

void Stop()
{
    Bench& b = gBench;
    TriggerManager::Free();
    BenchDeleteScriptWorld(b.scriptWorld, b.actors);
    if (b.level)
        b.level->Release();
    ScriptInterpreter::Stop();
    WRenderer::DestroyInstance();
}

void BM_Triggers(benchmark::State& state)
{
    Bench& b = gBench;
    HbGameClock* clock = HbGameClock::Instance();
    const auto step = int64_t(double(kStep) * double(HbPerformanceFrequency()));
    int64_t queued = 0;
    for (auto _ : state)
    {
        clock->mGameTime += step;
        b.scriptWorld->Update();
        queued += b.scriptWorld->GetQueuedCount();
    }
    state.counters["events/frame"] = double(queued) / double(state.iterations());
}
BENCHMARK(BM_Triggers)->Name("Triggers/tick and delivery")->Unit(benchmark::kMicrosecond);

void BM_PlainLoop(benchmark::State& state)
{
    Bench& b = gBench;
    const float limit = float(kRadius) * float(kRadius);
    int64_t inRange = 0;
    for (auto _ : state)
    {
        for (int t = 0; t < TriggerManager::kCapacity; ++t)
        {
            const Vector* p = TriggerManager::Get(t)->GetNode()->GetWorldPosition();
            for (BenchActor* actor : b.actors)
            {
                const Vector* q = actor->mNode->GetWorldPosition();
                const float dx = p->x - q->x, dy = p->y - q->y, dz = p->z - q->z;
                inRange += dx * dx + dy * dy + dz * dz < limit ? 1 : 0;
            }
        }
        benchmark::DoNotOptimize(inRange);
    }
}
BENCHMARK(BM_PlainLoop)->Name("Triggers/plain distance loop")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!Start())
    {
        Stop();
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv, {{"triggers / plain loop", "Triggers/tick and delivery", "Triggers/plain distance loop"}},
        "200 triggers with period 0 and radius 300 over 100 actors (three in four of the enemy family) spread over "
        "40 x 40 metres; both sides measure the same 20,000 distances; the script world also filters families, "
        "queues and de-duplicates the events, delivers them the next frame and gives each actor its turn");
    Stop();
    return result;
}
