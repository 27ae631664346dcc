// Benchmark: the soldier move skill. 30 soldiers on a 4-bone skeleton run MS_PNJMOVE through
// their skill tables: half patrol between two points of a 60-cell navigation graph (turn in
// place, walk the path, turn back), half stand aiming at a point that circles them. Each frame
// is the skill (both animation players and their callbacks) and the motor with its movement
// controller. The bare side is 30 more actors of the same model whose movement controllers
// play the same walk with no skill. The skill side also counts heap allocations per frame.
#include "animmovectrl.h"
#include "benchscriptworld.h"
#include "benchsupport.h"
#include "frame.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hbresource.h"
#include "moveblendtables.h"
#include "moveskillhooks.h"
#include "navgraphwriter.h"
#include "pnjmove.h"
#include "rdanim.h"
#include "rdanimset.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "skeletonwriter.h"
#include "tsanimactor.h"
#include "tsanimactorctrl.h"
#include "tsastarpathfinder.h"
#include "tsmotorskills.h"
#include "w3danimobject.h"
#include "walkermodel.h"
#include "weaponshoot.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

// Every heap allocation of the program is counted, so that the frames can say whether they take
// any: under the address sanitizer through its allocation hook (its allocator owns the
// operators), otherwise by the program's own allocation operators.
namespace
{
std::atomic<int64_t> gAllocations{0};
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace
{
void CountAllocation(const volatile void*, std::size_t)
{
    ++gAllocations;
}
void IgnoreFree(const volatile void*) {}
[[maybe_unused]] const int gHooked = __sanitizer_install_malloc_and_free_hooks(CountAllocation, IgnoreFree);
} // namespace
#else

void* operator new(std::size_t size)
{
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++gAllocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    ++gAllocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
#endif

namespace
{
constexpr int kSoldiers = 30;
constexpr float kStep = 1.0f / 60.0f;
constexpr int32_t kKind = 3;

class Soldier : public TsAnimActor
{
public:
    /// Flat ground: the snap moves by the step.
    int32_t SnapToGround(const Vector* offset) override
    {
        if (offset)
            Frame::Translate(GetNode()->GetEngineFrame(), offset, kCombinePostConcat);
        return 1;
    }
};

class Graph : public MovePathGraph
{
public:
    explicit Graph(TsAStarPathfinder* graph) : mGraph(graph) {}
    bool IsPointOnGraph(const Vector* p) override { return mGraph->IsPointOnGraph(*p) != 0; }
    bool FindNearestPoint(const Vector* p, float d, Vector* out) override
    {
        return mGraph->SnapToGraph(out, *p, d) != 0;
    }
    bool IsStraightWalkable(const Vector* a, const Vector* b) override
    {
        return mGraph->IsStraightWalkable(*a, *b) != 0;
    }
    void ResetSearch() override { mGraph->SetSearchState(0); }
    bool FindPath(const Vector* s, const Vector* g, const Vector* f, int32_t flags) override
    {
        return mGraph->FindPath(*s, *g, f, flags) != 0;
    }
    int32_t GetResultCount() const override { return int32_t(mGraph->GetPath().size()); }
    Vector GetResultPoint(int32_t i) const override { return mGraph->GetPath()[size_t(i)]; }

private:
    TsAStarPathfinder* mGraph;
};

struct Bench
{
    WRenderer* renderer = nullptr;
    ScriptWorldManager* scriptWorld = nullptr;
    TsAStarPathfinder* astar = nullptr;
    Graph* graph = nullptr;
    std::string directory;
    std::vector<std::string> files;
    RdAnimation* walk = nullptr;
    RdAnimation* still = nullptr;
    std::vector<Soldier*> soldiers;
    std::vector<PnjMoveMSState*> skills;
    std::vector<int32_t> leg;
    std::vector<Soldier*> bare;
    int64_t frame = 0;
};
Bench gBench;

/// Patrol ends: the soldier's lane at z = -100 and z = -900 (the graph is x 0..600, z 0..-1000).
Vector Patrol(int i, int end)
{
    return {20.0f + 40.0f * float(i % 15), 0.0f, end ? -900.0f : -100.0f};
}

bool Declare(const char* id, Vector root)
{
    const std::vector<uint8_t> bytes = WalkerModel::AnimationBytes(root, 0.0f, 0.0f, 1.0f);
    const std::string path = std::string(id) + ".anm";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    gBench.files.push_back(path);
    HbResourceManager::Instance()->AddPath(id, path.c_str());
    return true;
}

Soldier* MakeSoldier(Vector at)
{
    W3dAnimObject* model = WalkerModel::Create(nullptr);
    if (!model)
        return nullptr;
    auto* soldier = new Soldier();
    soldier->AddRef();
    soldier->SetModel(model);
    soldier->mFamily = HeroEnemyFamily;
    Frame::Translate(model->GetEngineFrame(), &at, kCombineReplace);
    return soldier;
}

void Order(int i)
{
    Bench& b = gBench;
    const Vector goal = Patrol(i, b.leg[size_t(i)]);
    b.skills[size_t(i)]->SetTargetPosition(&goal, MovePathFollower::kAstar);
    TsAnimActorRequestMoveState(b.soldiers[size_t(i)], 87, 0);
}

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRendererAndInterpreter("PnjMoveBench", "soldier move skill bench", b.renderer))
        return false;
    b.scriptWorld = new ScriptWorldManager();
    MoveSkillHooksInstall();
    b.astar = new TsAStarPathfinder();
    b.astar->AddRef();
    HbMChunkStream stream(
        new VectorStreamBuf(NavGraphWriter::Bytes(NavGraphWriter::FromRectangles(NavGraphWriter::Grid(6, 10, 100)))));
    if (!b.astar->LoadFromChunks(&stream))
    {
        std::fprintf(stderr, "the graph could not be read\n");
        return false;
    }
    b.graph = new Graph(b.astar);
    static Graph* graph = b.graph;
    GetMoveSkillHooks().getPathGraph = []() -> MovePathGraph* { return graph; };
    PnjMoveBlendTablesInit();

    char directory[] = "/tmp/pnjmove_benchXXXXXX";
    if (!mkdtemp(directory) || chdir(directory) != 0)
        return false;
    b.directory = directory;
    AnimSetFreeAll();
    if (!Declare("B_STILL_ANM", {0, 0, 0}) || !Declare("B_WALK_ANM", {0, 0, 120}))
        return false;
    AnimSetAddVariant(kKind, 0, "B_STILL_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    AnimSetAddVariant(kKind, 1, "B_WALK_ANM", 1, 2, 1.0f, HeroEnemyFamily);
    // Both held for the run: the animation set keeps no reference.
    b.walk = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource("B_WALK_ANM"));
    b.still = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource("B_STILL_ANM"));
    if (!b.walk || !b.still)
        return false;
    b.walk->AddRef();
    b.still->AddRef();

    for (int i = 0; i < kSoldiers; ++i)
    {
        Soldier* soldier = MakeSoldier(Patrol(i, 0));
        if (!soldier)
            return false;
        // Each soldier holds a gun whose records lead to the two animations.
        auto* gun = new WeaponShoot();
        gun->AddRef();
        for (int32_t anim = 0; anim < kAnimStateCount; ++anim)
            gun->GetAnimation(anim)->SetAnimation(kKind, anim == 6 ? 1 : 0);
        soldier->SetWeapon(gun);
        gun->Release();
        auto* skill = static_cast<PnjMoveMSState*>(PnjMoveMSState::Create(soldier, nullptr));
        soldier->GetMotorSkills()->AddSkill(skill);
        b.scriptWorld->AddActor(soldier);
        b.soldiers.push_back(soldier);
        b.skills.push_back(skill);
        b.leg.push_back(1);
        soldier->GetMotorSkills()->LoopSkill(PnjMoveMSState::kName);
        if (i % 2 == 0)
            Order(i);
        else
            TsAnimActorRequestMoveState(soldier, 7, 0);

        Soldier* bare = MakeSoldier(Patrol(i, 0));
        if (!bare || !bare->GetMoveController())
            return false;
        AnimMoveCtrl* controller = bare->GetMoveController();
        controller->SetMode(AnimMoveCtrl::kModeActors);
        controller->SetFlags(0x8D0);
        controller->PlayAnim(b.walk, 1, 0, 0, 1);
        b.bare.push_back(bare);
    }
    HbGameClock::Instance()->mStepSeconds = kStep;
    return true;
}

void Stop()
{
    Bench& b = gBench;
    for (Soldier* soldier : b.soldiers)
    {
        b.scriptWorld->RemoveActor(soldier);
        soldier->ExitMotorSkills();
        soldier->Release();
    }
    for (Soldier* bare : b.bare)
        bare->Release();
    delete b.scriptWorld;
    if (b.walk)
        b.walk->Release();
    if (b.still)
        b.still->Release();
    AnimSetFreeAll();
    PnjMoveTablesFree();
    GetMoveSkillHooks() = MoveSkillHooks();
    delete b.graph;
    if (b.astar)
        b.astar->Release();
    for (const std::string& file : b.files)
        std::remove(file.c_str());
    if (!b.directory.empty() && chdir("/") == 0)
        rmdir(b.directory.c_str());
    ScriptInterpreter::Stop();
    WRenderer::DestroyInstance();
}

void Advance()
{
    HbGameClock::Instance()->mGameTime += int64_t(double(kStep) * double(HbPerformanceFrequency()));
}

void BM_Skill(benchmark::State& state)
{
    Bench& b = gBench;
    // Frames where a patrol leg ends plan a new path; the others should take nothing.
    int64_t steadyAllocations = 0, steadyFrames = 0, legs = 0;
    for (auto _ : state)
    {
        Advance();
        ++b.frame;
        const int64_t before = gAllocations.load();
        bool ordered = false;
        for (int i = 0; i < kSoldiers; ++i)
        {
            Soldier* soldier = b.soldiers[size_t(i)];
            TsMotorSkills* table = soldier->GetMotorSkills();
            if (i % 2 == 1)
            {
                // The aim point circles the soldier.
                const float a = 0.02f * float(b.frame) + float(i);
                const Vector* at = soldier->GetNode()->GetWorldPosition();
                const Vector aim = {at->x + 150.0f * std::cos(a), 0.0f, at->z + 150.0f * std::sin(a)};
                Frame::Translate(soldier->GetTarget()->GetNode()->GetEngineFrame(), &aim, kCombineReplace);
            }
            table->LoopSkill(PnjMoveMSState::kName);
            static_cast<W3dAnimObject*>(soldier->GetNode())->GetMotor().Update();
            if (i % 2 == 0 && (table->mFlags & (TsMotorSkills::kSucceeded | TsMotorSkills::kFailed)))
            {
                b.leg[size_t(i)] ^= 1;
                Order(i);
                ordered = true;
                ++legs;
            }
        }
        if (!ordered)
        {
            steadyAllocations += gAllocations.load() - before;
            ++steadyFrames;
        }
    }
    state.counters["allocations/frame"] = steadyFrames ? double(steadyAllocations) / double(steadyFrames) : 0.0;
    state.counters["legs"] = double(legs);
}
BENCHMARK(BM_Skill)->Name("PnjMove/30 soldiers patrolling and aiming")->Unit(benchmark::kMicrosecond);

void BM_Bare(benchmark::State& state)
{
    Bench& b = gBench;
    for (auto _ : state)
    {
        Advance();
        for (Soldier* bare : b.bare)
            static_cast<W3dAnimObject*>(bare->GetNode())->GetMotor().Update();
    }
}
BENCHMARK(BM_Bare)->Name("PnjMove/30 bare movement controllers")->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!Start())
    {
        std::fprintf(stderr, "the soldiers could not be made\n");
        Stop();
        return 1;
    }
    const int result = BenchRunWithRatios(
        argc, argv,
        {{"skill / bare controller", "PnjMove/30 soldiers patrolling and aiming",
          "PnjMove/30 bare movement controllers"}},
        "30 soldiers on a 4-bone skeleton, 15 patrolling between two points of a 60-cell graph and 15 aiming at "
        "a circling point, 1/60 s frames; the bare side is the same model's motor and movement controller "
        "playing the walk with no skill; allocations/frame counts heap allocations in the skill frames where no "
        "patrol leg ended (a new leg plans its path); legs counts the legs walked");
    Stop();
    return result;
}
