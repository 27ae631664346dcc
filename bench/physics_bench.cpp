// Benchmark: one physics step of 128 falling bodies over 500 collision atomics of 200
// triangles each, against the bare engine queries of the same segments (the atomics the line
// meets, then their triangles, nearest hit kept). Both sides start from the same positions;
// the physics side adds its integration, bookkeeping, bounces and frame updates.
#include "benchsupport.h"
#include "benchwindow.h"
#include "clump.h"
#include "clumpwriter.h"
#include "collision.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "geometry.h"
#include "fx3dtype.h"
#include "fxphysics.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "stream.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "watomicowner.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr int32_t kAtomics = 500;
constexpr int32_t kBodies = 128;
constexpr int32_t kGrid = 10; // 10 x 10 cells, two triangles each: 200 triangles
constexpr float kPlatform = 40.0f;
constexpr float kSpacing = 100.0f;

class BenchState : public GameState
{
public:
    BenchState() : GameState(0) {}
    void Leave() override {}
    void Update() override {}
};

struct Bench
{
    WRenderer* renderer = nullptr;
    World* world = nullptr;
    W3dLevel* level = nullptr;
    WScene* scene = nullptr;
    BenchState* state = nullptr;
    std::vector<Clump*> clumps;
    std::vector<W3dFrame*> owners;
    std::vector<W3dFrame*> bodies;
    int64_t step = 0;
} gBench;

Stream* OpenBytes(std::vector<uint8_t>& bytes, MemoryBlock& block)
{
    block = {bytes.data(), uint32_t(bytes.size())};
    return Stream::Open(kStreamMemory, kStreamRead, &block);
}

World* MakeWorld()
{
    WorldDescription d;
    d.format = kGeometryPositions;
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    const float far = 100000.0f;
    leaf.positions = {-far, -1000, -far, far, -1000, -far, -far, -1000, far, far, -1000, far};
    leaf.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3}};
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {far, 10000, far, -far, -1001, -far};
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    MemoryBlock block;
    Stream* in = OpenBytes(bytes, block);
    World* world = nullptr;
    if (in && Stream::FindChunk(in, 11, nullptr, nullptr))
        world = World::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return world;
}

std::vector<uint8_t> PlatformBytes()
{
    GeometryDescription g;
    g.numVertices = (kGrid + 1) * (kGrid + 1);
    GeometryDescription::MorphTarget target;
    const float cell = kPlatform / kGrid;
    for (int32_t z = 0; z <= kGrid; ++z)
        for (int32_t x = 0; x <= kGrid; ++x)
            target.positions.insert(target.positions.end(),
                                    {x * cell - kPlatform / 2, 0.3f * std::sin(float(x + z)), z * cell - kPlatform / 2});
    target.sphere = {0, 0, 0, kPlatform};
    for (int32_t z = 0; z < kGrid; ++z)
        for (int32_t x = 0; x < kGrid; ++x)
        {
            const uint16_t a = uint16_t(z * (kGrid + 1) + x), b = uint16_t(a + 1), c = uint16_t(a + kGrid + 1),
                           e = uint16_t(c + 1);
            g.triangles.push_back({a, c, b, 0});
            g.triangles.push_back({b, c, e, 0});
        }
    g.format = kGeometryPositions;
    g.targets = {target};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    ClumpDescription c;
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {g};
    c.atomics = {ClumpDescription::Atomic{}};
    return ClumpWriter::Write(c);
}

Vector PlatformAt(int32_t i)
{
    return {float(i % 25) * kSpacing, float(i % 7) * 5.0f, float(i / 25) * kSpacing};
}

bool Start()
{
    if (!BenchOpenWindow("PhysicsBench", "physics bench"))
        return false;
    Bench& b = gBench;
    b.renderer = WRenderer::Instance();
    if (!b.renderer || !b.renderer->Start(BenchWindowState()))
    {
        std::fprintf(stderr, "the renderer could not start\n");
        return false;
    }
    b.world = MakeWorld();
    if (!b.world)
        return false;
    b.level = W3dLevel::Create();
    b.level->AddRef();
    b.level->SetMainWorld(b.world);
    b.scene = new WScene();
    b.scene->AddRef();
    b.scene->SetLevel(b.level);
    auto* profile = new GameProfile();
    profile->levelHandle.Assign(b.level);
    b.state = new BenchState();
    b.state->AddRef();
    b.state->SetProfile(profile);
    GameStateManager::Instance()->SetCurrentState(b.state);

    std::vector<uint8_t> bytes = PlatformBytes();
    for (int32_t i = 0; i < kAtomics; ++i)
    {
        MemoryBlock block;
        Stream* in = OpenBytes(bytes, block);
        Clump* clump = nullptr;
        if (in && Stream::FindChunk(in, 16, nullptr, nullptr))
            clump = Clump::StreamRead(in);
        if (in)
            Stream::Close(in, nullptr);
        if (!clump)
            return false;
        Vector at = PlatformAt(i);
        Frame::Translate(clump->frame, &at, kCombineReplace);
        W3dFrame* owner = W3dFrame::Create();
        owner->AddRef();
        Frame::Translate(owner->GetEngineFrame(), &at, kCombineReplace);
        ClumpSetOwnerNode(clump, owner);
        World::AddClump(b.world, clump);
        b.clumps.push_back(clump);
        b.owners.push_back(owner);
    }
    for (int32_t i = 0; i < kBodies; ++i)
    {
        W3dFrame* body = W3dFrame::Create();
        body->AddRef();
        Vector at = PlatformAt(i * 3);
        at.y += 2.0f;
        Frame::Translate(body->GetEngineFrame(), &at, kCombineReplace);
        b.bodies.push_back(body);
    }
    PhysicsSetGravity();
    PhysicsInitConstants();
    b.step = HbPerformanceFrequency() / 10;
    return true;
}

void Stop()
{
    Bench& b = gBench;
    PhysicsFreeAll();
    GameStateManager::Instance()->SetCurrentState(nullptr);
    if (b.state)
    {
        b.state->SetProfile(nullptr);
        b.state->Release();
    }
    for (W3dFrame* node : b.bodies)
        node->Release();
    for (Clump* clump : b.clumps)
    {
        World::RemoveClump(b.world, clump);
        Clump::Destroy(clump);
    }
    for (W3dFrame* node : b.owners)
        node->Release();
    if (b.scene)
        b.scene->Release();
    if (b.level)
        b.level->Release();
    if (b.world)
        World::Destroy(b.world);
    WRenderer::DestroyInstance();
}

/// Every body registered and woken at the same positions.
void Rewake()
{
    Bench& b = gBench;
    PhysicsFreeAll();
    for (W3dFrame* body : b.bodies)
        PhysicsRegister(body);
    // Each body rests on its platform's owner node.
    for (size_t i = 0; i < b.bodies.size(); ++i)
        PhysicsSetDirty(b.owners[i * 3]);
}

void BM_PhysicsStep(benchmark::State& state)
{
    Bench& b = gBench;
    HbGameClock* clock = HbGameClock::Instance();
    std::vector<Vector> starts;
    for (W3dFrame* body : b.bodies)
        starts.push_back(body->GetEngineFrame()->modelling.pos);
    for (auto _ : state)
    {
        state.PauseTiming();
        for (size_t i = 0; i < b.bodies.size(); ++i)
        {
            b.bodies[i]->GetEngineFrame()->modelling.pos = starts[i];
            Frame::UpdateObjects(b.bodies[i]->GetEngineFrame());
        }
        Rewake();
        clock->mGameTime += b.step;
        clock->mStep = b.step;
        clock->mStepSeconds = 0.1f;
        state.ResumeTiming();
        PhysicsStep();
    }
    state.counters["active"] = float(PhysicsActiveCount());
}
BENCHMARK(BM_PhysicsStep)->Name("Physics/step")->Unit(benchmark::kMicrosecond);

struct Nearest
{
    Atomic* self = nullptr;
    float fraction = FLT_MAX;
};

CollisionTriangle* KeepNearest(IntersectionPrimitive*, CollisionTriangle* triangle, float distance, void* data)
{
    auto* nearest = static_cast<Nearest*>(data);
    if (distance < nearest->fraction)
        nearest->fraction = distance;
    return triangle;
}

Atomic* TestAtomic(IntersectionPrimitive* primitive, WorldSector*, Atomic* atomic, float, void* data)
{
    if (AtomicOwner::GetOwner(atomic))
        Atomic::ForAllIntersections(atomic, primitive, KeepNearest, data);
    return atomic;
}

void BM_BareQueries(benchmark::State& state)
{
    Bench& b = gBench;
    // The segments of the step: from 10 above each body down to where 0.1 s of fall from rest
    // takes it.
    float fall[3] = {0, 0, 0};
    const float rest[3] = {0, 0, 0};
    PhysicsDisplacement(b.step, rest, fall);
    std::vector<IntersectionPrimitive> lines;
    for (W3dFrame* body : b.bodies)
    {
        const Vector p = body->GetEngineFrame()->modelling.pos;
        IntersectionPrimitive line = {};
        line.type = kIntersectLine;
        line.data.line.start = {p.x, p.y + 10.0f, p.z};
        line.data.line.end = {p.x, p.y + fall[1], p.z};
        lines.push_back(line);
    }
    float hits = 0;
    for (auto _ : state)
        for (IntersectionPrimitive& line : lines)
        {
            Nearest nearest;
            World::ForAllAtomicIntersections(b.world, &line, TestAtomic, &nearest);
            hits += nearest.fraction < FLT_MAX ? 1.0f : 0.0f;
        }
    benchmark::DoNotOptimize(hits);
    state.counters["hits per pass"] = hits / float(state.iterations());
}
BENCHMARK(BM_BareQueries)->Name("Physics/bare queries")->Unit(benchmark::kMicrosecond);

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
        argc, argv, {{"physics step / bare queries", "Physics/step", "Physics/bare queries"}},
        "128 bodies woken 2 units above 128 of 500 collision atomics (200 triangles each), one 0.1 s step; "
        "the bare side runs the same 128 segments through the atomic and triangle queries");
    Stop();
    return result;
}
