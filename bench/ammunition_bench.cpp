// Benchmark: a frame of ammunition. 90 projectiles fly over a floor of 7,200 triangles with its
// collision tree, past 20 actors with collision boxes beside their path (collected at launch,
// tested every step), while 90 casings fly and bounce; the scene's update of one frame against
// 90 bare line queries of the same step length on the same world.
#include "ammunition.h"
#include "benchscriptworld.h"
#include "benchsupport.h"
#include "collision.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "hbclock.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "stream.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "watomicowner.h"
#include "weaponshoot.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr int32_t kCells = 60; // 2 x 60 x 60 triangles, 20 units a cell
constexpr float kCell = 20.0f;
constexpr float kFrame = 1.0f / 30.0f;

struct Bench
{
    WRenderer* renderer = nullptr;
    ScriptWorldManager* scriptWorld = nullptr;
    WScene* scene = nullptr;
    W3dLevel* level = nullptr;
    World* world = nullptr;
    WeaponShoot* gun = nullptr;
    std::vector<BenchActor*> actors;
    WeaponCasingRecord casing;
};
Bench gBench;

World* MakeFloor()
{
    WorldDescription d;
    d.materials.resize(1);
    d.materials[0].colour = {3, 0, 0, 255};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    const int32_t w = kCells + 1;
    for (int32_t z = 0; z <= kCells; ++z)
        for (int32_t x = 0; x <= kCells; ++x)
        {
            const float h = 5.0f * std::sin(0.3f * float(x)) * std::cos(0.2f * float(z));
            leaf.positions.insert(leaf.positions.end(), {float(x) * kCell, h, float(z) * kCell});
        }
    for (int32_t z = 0; z < kCells; ++z)
        for (int32_t x = 0; x < kCells; ++x)
        {
            auto a = uint16_t(z * w + x), b = uint16_t(a + 1), c = uint16_t(a + w), e = uint16_t(c + 1);
            triangles.push_back({a, c, b});
            triangles.push_back({b, c, e});
        }
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    const float side = float(kCells) * kCell;
    d.box = {side, 50, side, 0, -50, 0};
    const std::vector<uint8_t> bytes = WorldWriter::Write(d);
    MemoryBlock block{const_cast<uint8_t*>(bytes.data()), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (in && Stream::FindChunk(in, 11, nullptr, nullptr))
        world = World::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return world;
}

void Advance()
{
    HbGameClock* clock = HbGameClock::Instance();
    clock->mStepSeconds = kFrame;
    clock->mStep = int64_t(double(kFrame) * double(HbPerformanceFrequency()));
    clock->mGameTime += clock->mStep;
}

/// Every free projectile and casing launched again: each starts at one end of its lane.
void Launch()
{
    Bench& b = gBench;
    WeaponAmmoSource* source = WeaponGetAmmoSource();
    for (int32_t i = 0; i < Ammunition::kProjectiles; ++i)
    {
        const int32_t handle = source->TakeProjectile();
        if (handle < 0)
            break;
        WeaponLaunch launch;
        launch.from = {10.0f, 40.0f, 20.0f + float(i % 30) * 38.0f};
        launch.direction = {1.0f, 0.0f, 0.0f};
        launch.hit = &b.gun->mHit;
        source->LaunchProjectile(handle, launch);
    }
    Matrix frame = {};
    frame.right.x = frame.up.y = frame.at.z = 1.0f;
    for (int32_t i = 0; i < Ammunition::kCasings; ++i)
    {
        const int32_t handle = source->TakeCasing();
        if (handle < 0)
            break;
        frame.pos = {100.0f + float(i) * 10.0f, 60.0f, 600.0f};
        source->LaunchCasing(handle, b.casing, frame, 10.0f);
    }
}

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRendererAndInterpreter("AmmoBench", "ammunition bench", b.renderer))
        return false;
    b.scriptWorld = new ScriptWorldManager();
    b.world = MakeFloor();
    if (!b.world)
    {
        std::fprintf(stderr, "the floor could not be read\n");
        return false;
    }
    b.level = W3dLevel::Create();
    b.level->AddRef();
    b.level->SetMainWorld(b.world);
    b.scene = new WScene();
    b.scene->SetLevel(b.level);
    b.scriptWorld->SetScene(b.scene);
    // Twenty actors beside the lanes, within the collection margin.
    for (int32_t i = 0; i < 20; ++i)
    {
        const Vector at = {100.0f + float(i) * 50.0f, 40.0f, 20.0f + float(i % 30) * 38.0f + 19.0f};
        BenchActor* actor = BenchMakeActor(b.scene, HeroEnemyFamily, at);
        const float box[6] = {at.x + 8, at.y + 8, at.z + 8, at.x - 8, at.y - 8, at.z - 8};
        Atomic* atomic = CreateBoxGeometry(box);
        AtomicOwner::Get(atomic)->owner = actor->GetNode();
        actor->GetNode()->GetShootCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
        actor->SetMaxHitPoints(100);
        b.scriptWorld->AddActor(actor);
        b.actors.push_back(actor);
    }
    Frame::SyncDirtyList();
    b.gun = new WeaponShoot();
    b.gun->AddRef();
    WeaponHitRecord& hit = b.gun->mHit;
    const double ticks = double(HbPerformanceFrequency());
    hit.owner = b.gun;
    hit.launchSpeed = float(3000.0 / ticks);
    hit.flightSpeed = hit.launchSpeed;
    hit.lifetime = int64_t(0.35 * ticks); // inside the floor
    hit.hitsWorld = 1;
    hit.directHitOnly = 1;
    b.casing.model = 0;
    b.casing.lifetime = int64_t(3.0 * ticks);
    b.casing.ejection = {float(80.0 / ticks), float(150.0 / ticks), 0.0f};
    AmmoGeometryDeclareRows();
    if (!AmmoManager::Preallocate())
        return false;
    Launch();
    return true;
}

void Stop()
{
    Bench& b = gBench;
    AmmoManagerShutdown();
    if (b.gun)
        b.gun->Release();
    BenchDeleteScriptWorld(b.scriptWorld, b.actors);
    if (b.level)
        b.level->Release();
    if (b.world)
        World::Destroy(b.world);
    b.gun = nullptr;
    b.actors.clear();
    b.scene = nullptr;
    b.level = nullptr;
    b.world = nullptr;
    ScriptInterpreter::Stop();
    WRenderer::DestroyInstance();
}

void BM_AmmoFrame(benchmark::State& state)
{
    for (auto _ : state)
    {
        Advance();
        gBench.scene->Update();
        Frame::SyncDirtyList();
        // Shots that ended are fired again at once: the rings stay full.
        Launch();
    }
    state.counters["projectiles"] = Ammunition::LiveProjectiles();
    state.counters["casings"] = Ammunition::LiveCasings();
}
BENCHMARK(BM_AmmoFrame)->Name("Ammo/update of 90 projectiles and 90 casings")->Unit(benchmark::kMicrosecond);

CollisionTriangle* CountHit(IntersectionPrimitive*, WorldSector*, CollisionTriangle* triangle, float, void* data)
{
    ++*static_cast<int64_t*>(data);
    return triangle;
}

void BM_BareLines(benchmark::State& state)
{
    int64_t hits = 0;
    IntersectionPrimitive line = {};
    line.type = kIntersectLine;
    const float step = 3000.0f * kFrame;
    for (auto _ : state)
        for (int32_t i = 0; i < Ammunition::kProjectiles; ++i)
        {
            const float x = 10.0f + float(i % 12) * step;
            line.data.line = {{x, 40.0f, 20.0f + float(i % 30) * 38.0f},
                              {x + step, 40.0f, 20.0f + float(i % 30) * 38.0f}};
            World::ForAllTriangleIntersections(gBench.world, &line, CountHit, &hits);
        }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_BareLines)->Name("Ammo/90 bare line queries of one step")->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!Start())
    {
        Stop();
        return 1;
    }
    const int result =
        BenchRunWithRatios(argc, argv,
                           {{"ammunition frame / bare line queries", "Ammo/update of 90 projectiles and 90 casings",
                             "Ammo/90 bare line queries of one step"}});
    Stop();
    return result;
}
