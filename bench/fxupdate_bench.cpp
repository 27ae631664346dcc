// Benchmark: the effect manager's update of 20 emitters of 500 particles each (10,000) with
// 8-key LINEAR COLOR tracks, once with position tanks (LINEAR ALPHA beside the colour) and
// once with per-particle matrix tanks (LINEAR SIZE), against a plain loop moving 10,000
// particles in an array. Also the out-of-view path of emitters with an end time (particles
// only age). Prints the ratios of the medians.
#include "benchsupport.h"
#include "benchwindow.h"
#include "fxcontext.h"
#include "hbfile.h"
#include "kemitter.h"
#include "kemitterdef.h"
#include "kfxmanagerimp.h"
#include "kparser.h"
#include "prtstd.h"
#include "prtstdemitter.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
constexpr float kDt = 1.0f / 60.0f;
constexpr int32_t kEmitters = 20;
constexpr int32_t kParticles = 500;

const std::string kColourKeys =
    "TIME 0 { X 255 Y 0 Z 0 } TIME 0.14 { X 0 Y 255 Z 0 } TIME 0.28 { X 0 Y 0 Z 255 } TIME 0.42 { X 255 Y 255 Z 0 } "
    "TIME 0.57 { X 0 Y 255 Z 255 } TIME 0.71 { X 255 Y 0 Z 255 } TIME 0.85 { X 9 Y 9 Z 9 } TIME 1 { X 200 Y 200 Z 200 "
    "}";
const std::string kAlphaKeys = "TIME 0 { V 0 } TIME 0.14 { V 40 } TIME 0.28 { V 80 } TIME 0.42 { V 120 } "
                               "TIME 0.57 { V 160 } TIME 0.71 { V 200 } TIME 0.85 { V 240 } TIME 1 { V 0 }";
const std::string kSizeKeys = "TIME 0 { X 1 Y 1 } TIME 0.14 { X 2 Y 2 } TIME 0.28 { X 3 Y 3 } TIME 0.42 { X 4 Y 4 } "
                              "TIME 0.57 { X 5 Y 5 } TIME 0.71 { X 6 Y 6 } TIME 0.85 { X 7 Y 7 } TIME 1 { X 8 Y 8 }";

/// A block body of 500 live particles at steady state (about 9 born a frame, 1 s lives).
std::string Body(bool matrices, const char* extra = "")
{
    return std::string("MaxPrt 500 BatchSize 100 PrtLife 1 ") + extra +
           " SECTION EMT { EMIT { V 10 } GAP { V 0.001 } INITVEL { V 2 } INITVEL BIAS { V 1 } "
           "INITDIR BIAS { X 0.5 Z 0.5 } FORCE { Y -9.8 } } SECTION PRT { COLOR { IMode LINEAR " +
           kColourKeys + " } " +
           (matrices ? "SIZE { IMode LINEAR " + kSizeKeys + " }" : "ALPHA { IMode LINEAR " + kAlphaKeys + " }") + " }";
}

/// Writes the body to a file and parses it through the file layer.
KEmitterClass* BuildClass(const std::string& body)
{
    const std::string path = "fxupdate_bench_block.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return nullptr;
    std::fprintf(f, "{\n%s\n}\n", body.c_str());
    std::fclose(f);
    HbFile* file = HbFileOpen(path.c_str(), "rt");
    if (!file)
        return nullptr;
    KEmitterClass* result = nullptr;
    {
        KParser parser(file);
        KEmitterDef def;
        if (parser.ExpectOpen() == 1 && def.Parse(parser) == 1)
        {
            result = new KEmitterClass();
            if (!result->Build(def))
            {
                delete result;
                result = nullptr;
            }
        }
    }
    HbFileClose(file);
    std::remove(path.c_str());
    return result;
}

KfxManagerImp* gManager = nullptr;

bool Start()
{
    WRenderer* renderer = nullptr;
    if (!BenchStartRenderer("FxUpdateBench", "fx update bench", renderer))
        return false;
    gManager = new KfxManagerImp();
    const std::string bodies[3] = {Body(false), Body(true), Body(false, "EndTime 1000")};
    gManager->SetDefinitionCount(3);
    for (int32_t i = 0; i < 3; ++i)
    {
        gManager->LoadDefinition(i, "FX_BENCH");
        KEmitterClass* c = BuildClass(bodies[i]);
        if (!c)
            return false;
        gManager->GetDefinition(i)->AddClass(c);
    }
    gManager->AssignRenderLists();
    return true;
}

void Stop()
{
    if (gManager)
    {
        gManager->Shutdown();
        delete gManager;
    }
    WRenderer::DestroyInstance();
}

/// 20 emitters of the effect, at steady state.
void Fill(int32_t effect)
{
    gManager->ResetRenderLists();
    FxContext context;
    for (int32_t i = 0; i < kEmitters; ++i)
    {
        context.position[0] = float(i);
        gManager->PlayOneShot(effect, &context);
    }
    for (int32_t i = 0; i < 90; ++i)
        gManager->UpdateAllBy(kDt);
}

int64_t Live()
{
    int64_t n = 0;
    for (int32_t l = 0; l < KfxManagerImp::kListCount; ++l)
    {
        KfxRenderList* list = gManager->GetList(l);
        for (KfxListNode* node = list->head.next; node != &list->tail; node = node->next)
            n += static_cast<KEmitterStd*>(KEmitter::FromNode(node))->mEmitter->activeCount;
    }
    return n;
}

void RunUpdates(benchmark::State& state, int32_t effect, bool outOfView)
{
    Fill(effect);
    int64_t particles = 0;
    for (auto _ : state)
    {
        if (outOfView)
        {
            // The emitters age their particles only, as for a view that does not hold them.
            for (int32_t l = 0; l < KfxManagerImp::kListCount; ++l)
            {
                KfxRenderList* list = gManager->GetList(l);
                for (KfxListNode* node = list->head.next; node != &list->tail; node = node->next)
                {
                    auto* e = static_cast<KEmitterStd*>(KEmitter::FromNode(node));
                    e->mParams.outOfView = 1;
                    e->mParams.elapsed = kDt;
                    e->mParams.standard->random = KfxGetSharedSeed();
                    PrtStdAtomic::UpdateEmitters(e->mAtomic, &e->mParams);
                }
            }
        }
        else
            gManager->UpdateAllBy(kDt);
        particles += Live();
    }
    state.SetItemsProcessed(particles);
    state.counters["particles"] = double(Live());
}

void BM_PositionTanks(benchmark::State& state)
{
    RunUpdates(state, 0, false);
}
BENCHMARK(BM_PositionTanks)->Name("Update/position tanks")->Unit(benchmark::kMicrosecond);

void BM_MatrixTanks(benchmark::State& state)
{
    RunUpdates(state, 1, false);
}
BENCHMARK(BM_MatrixTanks)->Name("Update/matrix tanks")->Unit(benchmark::kMicrosecond);

void BM_OutOfView(benchmark::State& state)
{
    RunUpdates(state, 2, true);
}
BENCHMARK(BM_OutOfView)->Name("Update/out of view, ageing only")->Unit(benchmark::kMicrosecond);

struct Particle
{
    float px, py, pz, vx, vy, vz, age, life;
};

void BM_PlainLoop(benchmark::State& state)
{
    std::vector<Particle> particles(size_t(kEmitters) * kParticles, Particle{0, 0, 0, 1, 2, 0, 0, 1e9f});
    for (auto _ : state)
    {
        for (Particle& p : particles)
        {
            p.age += kDt;
            p.vy -= 9.8f * kDt;
            p.px += p.vx * kDt, p.py += p.vy * kDt, p.pz += p.vz * kDt;
        }
        benchmark::DoNotOptimize(particles.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(particles.size()));
}
BENCHMARK(BM_PlainLoop)->Name("Update/plain loop")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartOffscreen(Start, Stop))
        return 1;
    const int result = BenchRunWithRatios(
        argc, argv,
        {{"position tanks / plain loop", "Update/position tanks", "Update/plain loop"},
         {"matrix tanks / plain loop", "Update/matrix tanks", "Update/plain loop"},
         {"out of view / position tanks", "Update/out of view, ageing only", "Update/position tanks"}},
        "one UpdateAll of 20 emitters x 500 particles (8-key LINEAR tracks, tank writes) against one pass of a "
        "plain loop moving 10,000 particles in an array");
    Stop();
    return result;
}
