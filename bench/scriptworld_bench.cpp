// Benchmark: the script world's frame. 100 actors, each with a distanceIn, a distanceInColl
// and a timer registration, over a bumpy ground of about 50,000 triangles, against a plain
// loop that measures the same distances, runs the same line tests and counts the same timers
// down. The sensors are due every frame (the game clock steps past their period) and their
// callables are None, so the ratio is the script world's own walk over the plain work.
#include "benchscriptworld.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "stream.h"
#include "tsactor.h"
#include "tsevent.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "win32.h"
#include "world.h"
#include "worldwriter.h"
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


constexpr int kSectors = 10;      // per side
constexpr int kQuads = 16;        // per sector side: 10 x 10 x 16 x 16 x 2 = 51,200 triangles
constexpr float kQuad = 10.0f;
constexpr int kActors = 100;
constexpr float kRange = 400.0f;  // squared below
constexpr float kStep = 0.11f;    // past the distance sensors' period

float Height(float x, float z)
{
    return 60.0f * std::sin(x * 0.013f) * std::cos(z * 0.017f) - 20.0f;
}

World* MakeGround()
{
    WorldDescription d;
    GeometryDescription::Material plain;
    plain.colour = {255, 255, 255, 255};
    d.materials = {plain};
    d.listEntries = {0};
    const float sector = kQuads * kQuad;
    for (int sz = 0; sz < kSectors; ++sz)
        for (int sx = 0; sx < kSectors; ++sx)
        {
            WorldDescription::Leaf leaf;
            std::vector<std::array<uint16_t, 3>> triangles;
            for (int z = 0; z <= kQuads; ++z)
                for (int x = 0; x <= kQuads; ++x)
                {
                    float px = sx * sector + x * kQuad, pz = sz * sector + z * kQuad;
                    leaf.positions.insert(leaf.positions.end(), {px, Height(px, pz), pz});
                }
            for (int z = 0; z < kQuads; ++z)
                for (int x = 0; x < kQuads; ++x)
                {
                    auto v = uint16_t(z * (kQuads + 1) + x);
                    auto below = uint16_t(v + kQuads + 1);
                    triangles.push_back({v, below, uint16_t(v + 1)});
                    triangles.push_back({uint16_t(v + 1), below, uint16_t(below + 1)});
                }
            for (const auto& t : triangles)
                leaf.triangles.push_back({t[0], t[1], t[2], 0});
            leaf.extension = CollisionTreeWriter::WriteExtension(
                CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 8)));
            d.leaves.push_back(std::move(leaf));
        }
    // A partition tree halving the sector range, as the sample worlds have.
    struct Builder
    {
        WorldDescription& d;
        float sector;
        int32_t Build(int x0, int x1, int z0, int z1)
        {
            const int32_t index = int32_t(d.nodes.size());
            d.nodes.emplace_back();
            if (x1 - x0 == 1 && z1 - z0 == 1)
            {
                d.nodes[index].leaf = z0 * kSectors + x0;
                return index;
            }
            const bool alongX = x1 - x0 >= z1 - z0;
            const int mid = alongX ? (x0 + x1) / 2 : (z0 + z1) / 2;
            const int32_t left = alongX ? Build(x0, mid, z0, z1) : Build(x0, x1, z0, mid);
            const int32_t right = alongX ? Build(mid, x1, z0, z1) : Build(x0, x1, mid, z1);
            WorldDescription::Node& node = d.nodes[index];
            node.axis = alongX ? 0 : 8;
            node.value = node.leftExtent = node.rightExtent = mid * sector;
            node.left = left;
            node.right = right;
            return index;
        }
    } builder{d, sector};
    builder.Build(0, kSectors, 0, kSectors);
    d.box = {kSectors * sector, 100, kSectors * sector, 0, -100, 0};
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (in && Stream::FindChunk(in, 11, nullptr, nullptr))
        world = World::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return world;
}

struct Bench
{
    WRenderer* renderer = nullptr;
    World* world = nullptr;
    W3dLevel* level = nullptr;
    WScene* scene = nullptr;
    ScriptWorldManager* scriptWorld = nullptr;
    std::vector<BenchActor*> actors;
    std::vector<float> timers;
};
Bench gBench;

// Registrations need something to call: a C callback that does nothing, so that with the
// callable None the sensors' deliveries call no script and both sides do the same work.
void NoCallback(TsActor*, float, TsActor*) {}

TsEvent* Registration(int32_t id, float value, float period)
{
    auto* event = new TsEvent();
    event->id = id;
    event->value = value;
    event->period = period;
    event->SetCallable(Py_None);
    event->callback = NoCallback;
    return event;
}

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRendererAndInterpreter("ScriptWorldBench", "script world bench", b.renderer))
        return false;
    b.world = MakeGround();
    if (!b.world)
    {
        std::fprintf(stderr, "the ground world was refused\n");
        return false;
    }
    b.level = W3dLevel::Create();
    b.level->AddRef();
    b.level->SetMainWorld(b.world);
    b.scene = new WScene();
    b.scene->SetLevel(b.level);
    b.scriptWorld = new ScriptWorldManager();
    b.scriptWorld->SetScene(b.scene);
    const float extent = kSectors * kQuads * kQuad;
    for (int i = 0; i < kActors; ++i)
    {
        // A loose cluster: each actor has a handful of others within range.
        const float x = 100.0f + std::fmod(float(i) * 137.0f, extent / 2), z = 100.0f + std::fmod(float(i) * 71.0f, extent / 2);
        BenchActor* actor = BenchMakeActor(b.scene, HeroEnemyFamily, {x, Height(x, z) + 10.0f, z});
        actor->AddEvent(Registration(kEventDistanceIn, kRange * kRange, 0.0f));
        actor->AddEvent(Registration(kEventDistanceInColl, kRange * kRange, 0.0f));
        actor->AddEvent(Registration(kEventTimer1, 1e9f, 1e9f));
        b.scriptWorld->AddActor(actor);
        b.actors.push_back(actor);
        b.timers.push_back(1e9f);
    }
    Frame::SyncDirtyList();
    HbGameClock::Instance()->mStepSeconds = kStep;
    return true;
}

void Stop()
{
    Bench& b = gBench;
    BenchDeleteScriptWorld(b.scriptWorld, b.actors);
    if (b.level)
        b.level->Release();
    if (b.world)
        World::Destroy(b.world);
    ScriptInterpreter::Stop();
    WRenderer::DestroyInstance();
}

void BM_ScriptWorldFrame(benchmark::State& state)
{
    Bench& b = gBench;
    HbGameClock* clock = HbGameClock::Instance();
    const auto step = int64_t(double(kStep) * double(HbPerformanceFrequency()));
    for (auto _ : state)
    {
        clock->mGameTime += step;
        b.scriptWorld->Update();
    }
}
BENCHMARK(BM_ScriptWorldFrame)->Name("Sensors/script world frame")->Unit(benchmark::kMicrosecond);

void BM_PlainLoop(benchmark::State& state)
{
    Bench& b = gBench;
    const float range = kRange * kRange;
    int64_t passed = 0;
    for (auto _ : state)
    {
        for (size_t i = 0; i < b.actors.size(); ++i)
        {
            W3dNode* owner = b.actors[i]->mNode;
            const Vector* p = owner->GetWorldPosition();
            // distanceIn, then distanceInColl with its line test, over every other actor.
            for (int pass = 0; pass < 2; ++pass)
                for (size_t j = 0; j < b.actors.size(); ++j)
                {
                    if (j == i)
                        continue;
                    W3dNode* other = b.actors[j]->mNode;
                    const Vector* q = other->GetWorldPosition();
                    float dx = p->x - q->x, dy = p->y - q->y, dz = p->z - q->z;
                    float distance = dx * dx + dy * dy + dz * dz;
                    if (distance > range)
                        continue;
                    if (pass == 1)
                    {
                        Vector from = {p->x, p->y + 90.0f, p->z}, to = {q->x, q->y - 90.0f, q->z};
                        W3dCollisionResult result;
                        if (CollisionTestLineEx(nullptr, b.world, &from, &to, owner, other, &result, nullptr))
                            continue;
                    }
                    ++passed;
                }
            b.timers[i] -= kStep;
        }
        benchmark::DoNotOptimize(passed);
    }
}
BENCHMARK(BM_PlainLoop)->Name("Sensors/plain loop")->Unit(benchmark::kMicrosecond);

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
        argc, argv, {{"script world frame / plain loop", "Sensors/script world frame", "Sensors/plain loop"}},
        "100 actors with distanceIn, distanceInColl and timer registrations over 51,200 ground triangles; both "
        "sides measure the same squared distances, run the same line tests against the level's collision world "
        "and count the same timers down; the script world also walks its lists, rate-limits each registration, "
        "filters families, updates each actor and builds the camera-collision list");
    Stop();
    return result;
}
