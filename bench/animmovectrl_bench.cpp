// Benchmark: the movement controller. 40 animated actors (the controllers' pool) walk both
// ways along a corridor 600 units wide and 2000 long with its walls and twelve pillars, testing
// walls, each other and the walkable area (a grid of 120 cells) and sliding where they meet
// something, swaying from side to side; each wraps to the far end when it reaches one, and
// all start again from their places every ten seconds. The plain side updates 40 motors
// playing the same walk with no controller: no root-motion callback and no step.
#include "animation.h"
#include "animationwriter.h"
#include "animmovectrl.h"
#include "benchscriptworld.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "clump.h"
#include "clumpwriter.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "geometry.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "navgraphwriter.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdmodel.h"
#include "rdskeleton.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "skeletonwriter.h"
#include "stream.h"
#include "tsanimactor.h"
#include "tsastarpathfinder.h"
#include "w3danimobject.h"
#include "walkermodel.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr int kActors = 40;
constexpr float kStep = 1.0f / 60.0f;
constexpr float kNear = -100.0f;
constexpr float kFar = -1900.0f;
/// The chunk type of a world in a stream.
constexpr uint32_t kWorldChunk = 11;

// ---- Fixture content ----------------------------------------------------------------------------

W3dAnimObject* MakeModel()
{
    return WalkerModel::Create(nullptr);
}

/// The root walks 120 units along +z in one second; the other bones hold still.
RdAnimation* MakeWalk()
{
    RdAnimation* resource = WalkerModel::ReadAnimation(WalkerModel::AnimationBytes({0, 0, 120}, 0.0f, 0.0f, 1.0f),
                                                       "WALK", "walk.anm");
    resource->AddRef();
    return resource;
}

/// A vertical face from (x0, z0) to (x1, z1), y from -100 to 300, facing (z1 - z0, 0, x0 - x1).
struct Face
{
    float x0, z0, x1, z1;
};

/// The corridor x in [0, 600], z in [-2000, 0]: its two long walls facing in, and pillars 40
/// units square facing out, in two staggered rows.
World* MakeCorridor()
{
    std::vector<Face> faces = {{0, -2000, 0, 0}, {600, 0, 600, -2000}};
    for (int i = 0; i < 12; ++i)
    {
        const float a = i % 2 ? 380.0f : 180.0f;
        const float c = -250.0f - 130.0f * float(i);
        const float b = a + 40.0f, d = c + 40.0f;
        faces.insert(faces.end(), {{a, d, a, c}, {b, c, b, d}, {a, c, b, c}, {b, d, a, d}});
    }
    WorldDescription w;
    w.materials = {{{200, 0, 0, 255}}};
    w.listEntries = {0};
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (const Face& f : faces)
    {
        const auto base = uint16_t(leaf.positions.size() / 3);
        leaf.positions.insert(leaf.positions.end(),
                              {f.x0, -100, f.z0, f.x1, -100, f.z1, f.x0, 300, f.z0, f.x1, 300, f.z1});
        for (std::array<uint16_t, 3> t : {std::array<uint16_t, 3>{0, 2, 1}, std::array<uint16_t, 3>{1, 2, 3}})
        {
            triangles.push_back({uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2])});
            leaf.triangles.push_back({uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2]), 0});
        }
    }
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    w.leaves.push_back(leaf);
    w.box = {700, 400, 100, -100, -200, -2100};
    std::vector<uint8_t> bytes = WorldWriter::Write(w);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (stream && Stream::FindChunk(stream, kWorldChunk, nullptr, nullptr))
        world = World::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return world;
}

// ---- The two sides -------------------------------------------------------------------------------

struct Bench
{
    WRenderer* renderer = nullptr;
    ScriptWorldManager* scriptWorld = nullptr;
    World* corridor = nullptr;
    TsAStarPathfinder* graph = nullptr;
    RdAnimation* walk = nullptr;
    std::vector<TsAnimActor*> walkers;
    std::vector<W3dAnimObject*> plain;
};
Bench gBench;

Vector LanePlace(int i)
{
    // Ten lanes 60 apart, the two ways alternating; four rows 150 apart at each end.
    return {30.0f + 60.0f * float(i % 10), 0.0f, (i % 2 ? kNear : kFar + 450.0f) - 150.0f * float(i / 10)};
}

void Place(TsAnimActor* actor, int i)
{
    Frame* frame = actor->GetNode()->GetEngineFrame();
    const Vector at = LanePlace(i);
    Frame::SetIdentity(frame);
    Frame::Translate(frame, &at, 2);
}

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRendererAndInterpreter("MoveCtrlBench", "movement controller bench", b.renderer))
        return false;
    b.scriptWorld = new ScriptWorldManager();
    b.corridor = MakeCorridor();
    b.walk = MakeWalk();
    b.graph = new TsAStarPathfinder();
    HbMChunkStream graphStream(new VectorStreamBuf(
        NavGraphWriter::Bytes(NavGraphWriter::FromRectangles(NavGraphWriter::Grid(6, 20, 100)))));
    if (!b.corridor || !b.graph->LoadFromChunks(&graphStream))
    {
        std::fprintf(stderr, "the corridor could not be made\n");
        return false;
    }
    AnimMoveCtrl::SetLevelGraph(b.graph);
    for (int i = 0; i < kActors; ++i)
    {
        W3dAnimObject* model = MakeModel();
        auto* actor = new TsAnimActor();
        actor->AddRef();
        actor->SetModel(model);
        AnimMoveCtrl* controller = actor->GetMoveController();
        if (!model || !controller)
        {
            std::fprintf(stderr, "an actor could not be made\n");
            return false;
        }
        Place(actor, i);
        controller->SetCollisionWorlds(b.corridor, nullptr);
        controller->SetMode(AnimMoveCtrl::kModeWalls | AnimMoveCtrl::kModeActors | AnimMoveCtrl::kModeWalkable);
        controller->SetFlags(AnimMoveCtrl::kAlongDirection | AnimMoveCtrl::kSlideWalls | AnimMoveCtrl::kSlideActors);
        controller->PlayAnim(b.walk, 1, 0, 0, 1);
        b.scriptWorld->AddActor(actor);
        b.walkers.push_back(actor);

        W3dAnimObject* plain = MakeModel();
        RdAnimChannel* channel = plain ? plain->GetMotor().PlayAnim(b.walk, 1, 0.0f) : nullptr;
        if (!channel)
        {
            std::fprintf(stderr, "a plain model could not play\n");
            return false;
        }
        channel->SetLoop(1);
        b.plain.push_back(plain);
    }
    HbGameClock::Instance()->mStepSeconds = kStep;
    return true;
}

void Stop()
{
    Bench& b = gBench;
    AnimMoveCtrl::SetLevelGraph(nullptr);
    for (TsAnimActor* actor : b.walkers)
    {
        b.scriptWorld->RemoveActor(actor);
        actor->Release();
    }
    for (W3dAnimObject* model : b.plain)
        model->Release();
    delete b.scriptWorld;
    if (b.graph)
        b.graph->Release();
    if (b.walk)
        b.walk->Release();
    if (b.corridor)
        World::Destroy(b.corridor);
    ScriptInterpreter::Stop();
    WRenderer::DestroyInstance();
}

void Advance()
{
    HbGameClock::Instance()->mGameTime += int64_t(double(kStep) * double(HbPerformanceFrequency()));
}

void BM_Controlled(benchmark::State& state)
{
    Bench& b = gBench;
    int64_t refused = 0;
    int64_t frame = 0;
    for (auto _ : state)
    {
        Advance();
        // Every ten seconds the walkers start again from their places, before a crowd can
        // jam for good.
        if (++frame % 600 == 0)
            for (int i = 0; i < kActors; ++i)
                Place(b.walkers[size_t(i)], i);
        for (int i = 0; i < kActors; ++i)
        {
            TsAnimActor* actor = b.walkers[size_t(i)];
            AnimMoveCtrl* controller = actor->GetMoveController();
            W3dAnimObject* model = static_cast<W3dAnimObject*>(actor->GetNode());
            // Each meanders from side to side, so that it slides round what it meets.
            const float sway = 0.5f * std::sin(0.01f * float(frame) + float(i));
            const Vector direction = {sway, 0.0f, i % 2 ? -1.0f : 1.0f};
            controller->SetDirection(&direction);
            model->GetMotor().Update();
            refused += controller->GetLastDistance() == 0.0f ? 1 : 0;
            // At the far end of its way, a walker starts over at the other.
            Frame* frame = model->GetEngineFrame();
            const float z = Frame::GetWorldMatrix(frame)->pos.z;
            if (z < kFar || z > kNear)
            {
                const Vector back = {0.0f, 0.0f, z < kFar ? kNear - kFar - 20.0f : kFar - kNear + 20.0f};
                Frame::Translate(frame, &back, 2);
            }
        }
    }
    state.counters["actor-frame"] =
        benchmark::Counter(double(state.iterations()) * kActors, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["refused"] = double(refused) / (double(state.iterations()) * kActors);
}
BENCHMARK(BM_Controlled)->Name("MoveCtrl/40 walkers, walls + actors + walkable")->Unit(benchmark::kMicrosecond);

void BM_Plain(benchmark::State& state)
{
    Bench& b = gBench;
    for (auto _ : state)
    {
        Advance();
        for (W3dAnimObject* model : b.plain)
            model->GetMotor().Update();
    }
    state.counters["actor-frame"] =
        benchmark::Counter(double(state.iterations()) * kActors, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Plain)->Name("MoveCtrl/40 motors, no controller")->Unit(benchmark::kMicrosecond);

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
        argc, argv,
        {{"controlled / plain", "MoveCtrl/40 walkers, walls + actors + walkable", "MoveCtrl/40 motors, no controller"}},
        "40 walkers on a 4-bone skeleton, both ways along a 600 x 2000 corridor with 12 pillars and a 120-cell "
        "graph, modes 1 | 2 | 4 with wall and actor sliding, 1/60 s frames; the plain side is the same motor "
        "update without the root-motion callback or the controller's step; actor-frame is the time per actor "
        "and frame");
    Stop();
    return result;
}
