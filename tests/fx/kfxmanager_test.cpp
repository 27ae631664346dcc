// The effect manager and effect objects: render lists by group and priority, one-shot plays
// newest first, the update that recycles or deletes finished one-shots and keeps owned ones,
// the KFX lifecycle, group drawing with its state cache, and the clean-ups.
#include "fx_fixture.h"
#include "renderer_fixture.h"

#include "device.h"
#include "engine.h"
#include "hbmemory.h"
#include "hbmemoryhook.h"
#include "kemitter.h"
#include "kfxmanagerimp.h"
#include "kparticle.h"
#include "prtstd.h"
#include "prtstdemitter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace
{
using fxtest::ParseBody;

constexpr float kDt = 1.0f / 60.0f;

int32_t gStateCalls = 0;
DeviceSetRenderState gRealSetState = nullptr;
int32_t CountSetState(int32_t state, intptr_t value)
{
    if (state == kRenderStateZTest)
        ++gStateCalls;
    return gRealSetState ? gRealSetState(state, value) : 1;
}

class ManagerTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        KfxSetSharedSeed(1);
        mManager.SetDefinitionCount(4);
    }
    void TearDown() override
    {
        KfxManager::Install(nullptr);
        mManager.Shutdown();
        RendererTest::TearDown();
    }

    /// Definition slot with one class per body, lists assigned.
    KfxDefinition* Effect(int32_t slot, const std::vector<std::string>& bodies, int32_t prealloc = 0)
    {
        EXPECT_EQ(mManager.LoadDefinition(slot, ("FX_" + std::to_string(slot)).c_str()), 1);
        KfxDefinition* def = mManager.GetDefinition(slot);
        for (const std::string& body : bodies)
        {
            auto parsed = ParseBody(body);
            EXPECT_EQ(parsed.result, 1) << parsed.report;
            auto* c = new KEmitterClass();
            EXPECT_TRUE(c->Build(*parsed.def));
            c->mPool.mPreallocCount = prealloc;
            def->AddClass(c);
        }
        mManager.AssignRenderLists();
        return def;
    }

    int32_t Linked()
    {
        int32_t n = 0;
        for (int32_t i = 0; i < KfxManagerImp::kListCount; ++i)
            n += mManager.GetList(i)->Count();
        return n;
    }

    KfxManagerImp mManager;
    FxContext mContext;
};

TEST_F(ManagerTest, OneShotsByGroupAndPriorityNewestFirst)
{
    KfxDefinition* def = Effect(0, {"Group BEFORECHARACTER Priority 3", "Group AFTERCHARACTER Priority 4"});
    EXPECT_EQ(def->GetClass(0)->mPool.mRenderList, mManager.GetList(3));
    EXPECT_EQ(def->GetClass(1)->mPool.mRenderList, mManager.GetList(14));

    ASSERT_EQ(mManager.PlayOneShot(0, &mContext), 1);
    KfxListNode* first = mManager.GetList(3)->head.next;
    ASSERT_EQ(mManager.PlayOneShot(0, &mContext), 1);
    EXPECT_EQ(mManager.GetList(3)->Count(), 2);
    EXPECT_EQ(mManager.GetList(14)->Count(), 2);
    EXPECT_EQ(mManager.GetList(3)->head.next->next, first) << "the later set first";
    EXPECT_EQ(Linked(), 4);

    // Slots without a definition and indices outside the slots play nothing.
    for (int32_t index : {1, -1, 4, 60})
        EXPECT_EQ(mManager.PlayOneShot(index, &mContext), 0) << index;
    KFX* x = new KFX();
    EXPECT_EQ(mManager.BindDefinition(x, 60, &mContext), 0);
    EXPECT_EQ(x->GetEmitterCount(), 0);

    // The contract forwards to the installed manager only.
    EXPECT_EQ(KfxManager::PlayOneShot(0, &mContext), 0);
    KfxManager::Install(&mManager);
    EXPECT_EQ(KfxManager::PlayOneShot(0, &mContext), 1);
    EXPECT_EQ(KfxManager::BindDefinition(x, 0, &mContext), 1);
    EXPECT_EQ(x->GetEmitterCount(), 2);
    EXPECT_EQ(Linked(), 6);

    EXPECT_EQ(mManager.ChangeCamera(nullptr), 0) << "the camera it has";
    delete x;
}

TEST_F(ManagerTest, AClassWithoutInstancesIsSkipped)
{
    KfxDefinition* def = Effect(0, {"Priority 1", "Priority 2"});
    // No tank can be made for it: its pool answers null.
    PrtStdEmitter::GetStandard(def->GetClass(0)->mPrototypeEmitter)->maxParticles = 0;
    EXPECT_EQ(mManager.PlayOneShot(0, &mContext), 1);
    EXPECT_EQ(mManager.GetList(11)->Count(), 0);
    EXPECT_EQ(mManager.GetList(12)->Count(), 1);
    KFX* x = new KFX();
    EXPECT_EQ(mManager.BindDefinition(x, 0, &mContext), 1);
    EXPECT_EQ(x->GetEmitterCount(), 1);
    delete x;
}

TEST_F(ManagerTest, UpdateRecyclesDeletesAndKeepsOwned)
{
    KfxDefinition* def = Effect(0, {"EndTime 0.05 PrtLife 0.02"}, 1);
    KEmitterPool& pool = def->GetClass(0)->mPool;
    mManager.PlayOneShot(0, &mContext);
    mManager.PlayOneShot(0, &mContext);
    KFX* x = new KFX();
    mManager.BindDefinition(x, 0, &mContext);
    EXPECT_EQ(x->IsFinished(), 1) << "not started";
    EXPECT_EQ(x->Start(), 1);
    EXPECT_EQ(x->IsFinished(), 0);
    EXPECT_EQ(pool.mLiveCount, 3);

    for (int32_t i = 0; i < 20; ++i)
        mManager.UpdateAllBy(kDt);
    EXPECT_EQ(Linked(), 0);
    EXPECT_EQ(pool.mFree.GetCount(), 1) << "one recycled, the other deleted";
    EXPECT_EQ(pool.mLiveCount, 1);
    EXPECT_EQ(x->GetEmitterCount(), 1) << "the owned one stays with its object";
    EXPECT_EQ(x->IsFinished(), 1);

    // A recycled instance starts over; a restarted owned one runs again.
    mManager.PlayOneShot(0, &mContext);
    EXPECT_EQ(pool.mFree.GetCount(), 0);
    x->Start();
    EXPECT_EQ(x->IsFinished(), 0);
    mManager.UpdateAllBy(kDt);
    EXPECT_EQ(x->GetEmitter(0)->mEmitter->activeCount, 1);
    EXPECT_EQ(Linked(), 2);
    delete x;
    EXPECT_EQ(Linked(), 1) << "a deleted object's emitters leave their lists";
}

TEST_F(ManagerTest, EffectObjectBindsStartsStops)
{
    Effect(0, {"", ""});
    Effect(1, {""});
    KFX* x = new KFX();
    ASSERT_EQ(mManager.BindDefinition(x, 0, &mContext), 1);
    EXPECT_EQ(x->GetEmitterCount(), 2);
    EXPECT_EQ(x->mBound, 1);
    EXPECT_EQ(Linked(), 0) << "a bind does not start";
    mManager.BindDefinition(x, 0, &mContext);
    EXPECT_EQ(x->GetEmitterCount(), 2) << "the same definition again restarts, it does not add";
    mManager.BindDefinition(x, 1, &mContext);
    EXPECT_EQ(x->GetEmitterCount(), 3) << "another definition adds";
    EXPECT_EQ(x->Start(), 3);
    EXPECT_EQ(Linked(), 3);
    mManager.UpdateAllBy(kDt);
    EXPECT_EQ(x->IsFinished(), 0);
    EXPECT_EQ(x->Stop(), 3);
    EXPECT_EQ(Linked(), 0);
    EXPECT_EQ(x->IsFinished(), 1);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(x->GetEmitter(i)->IsEmpty(), 1);
    x->Unbind();
    EXPECT_EQ(x->GetEmitterCount(), 0);
    EXPECT_EQ(x->mBound, 0);
    EXPECT_EQ(x->IsFinished(), 1);
    EXPECT_EQ(x->GetClassDesc()->GetParent(), &HbRoot::sClassDesc);
    delete x;
}

TEST_F(ManagerTest, ReboundObjectIsReachedWhenItsSecondDefinitionGoes)
{
    Effect(0, {""});
    Effect(1, {"", ""});
    KFX* x = new KFX();
    mManager.BindDefinition(x, 0, &mContext);
    mManager.BindDefinition(x, 1, &mContext);
    x->Start();
    mManager.PlayOneShot(1, &mContext);
    EXPECT_EQ(x->GetEmitterCount(), 3);
    EXPECT_EQ(Linked(), 5);
    // The object sits in the first definition's list; replacing the second deletes classes
    // it holds instances of.
    mManager.LoadDefinition(1, "FX_OTHER");
    EXPECT_EQ(x->GetEmitterCount(), 0);
    EXPECT_EQ(Linked(), 0);
    x->Start();
    mManager.UpdateAllBy(kDt);
    mManager.BindDefinition(x, 0, &mContext);
    EXPECT_EQ(x->GetEmitterCount(), 1);
    delete x;
}

TEST_F(ManagerTest, GroupsDrawWithAClearedStateCache)
{
    Effect(0, {"Group BEFORECHARACTER", "Group AFTERCHARACTER"});
    mManager.PlayOneShot(0, &mContext);
    mManager.PlayOneShot(0, &mContext);
    mManager.UpdateAllBy(kDt);
    Engine* engine = Engine::Current();
    gRealSetState = engine->device.setRenderState;
    engine->device.setRenderState = CountSetState;
    gStateCalls = 0;
    mManager.RenderGroup(2);
    EXPECT_EQ(gStateCalls, 1) << "two instances of one class: states once";
    mManager.RenderGroup(2);
    EXPECT_EQ(gStateCalls, 2) << "each group starts with a cleared cache";
    mManager.RenderGroup(3);
    EXPECT_EQ(gStateCalls, 2) << "kind 3 draws nothing";
    KEmitter::FromNode(mManager.GetList(10)->head.next)->Render();
    EXPECT_EQ(gStateCalls, 3) << "but clears the cache";
    mManager.RenderGroup(1);
    EXPECT_EQ(gStateCalls, 4);
    engine->device.setRenderState = gRealSetState;
}

TEST_F(ManagerTest, ResetsLeaveNothingLinked)
{
    KfxDefinition* def = Effect(0, {"Priority 2", "Group BEFORECHARACTER"}, 2);
    mManager.Prealloc();
    EXPECT_EQ(def->GetClass(0)->mPool.mFree.GetCount(), 2);
    KFX* x = new KFX();
    mManager.BindDefinition(x, 0, &mContext);
    x->Start();
    mManager.PlayOneShot(0, &mContext);
    mManager.PlayOneShot(0, &mContext);
    mManager.PlayOneShot(0, &mContext);
    mManager.UpdateAllBy(kDt);
    EXPECT_EQ(Linked(), 8);

    mManager.ResetRenderLists();
    EXPECT_EQ(Linked(), 0);
    EXPECT_EQ(x->GetEmitterCount(), 2) << "owned instances are only unlinked";
    EXPECT_EQ(def->GetClass(0)->mPool.mFree.GetCount(), 2) << "one-shots back in their pools, the rest deleted";

    mManager.ForEachEmitterReset();
    EXPECT_EQ(def->GetClass(0)->mPool.mFree.GetCount(), 0);
    EXPECT_EQ(x->GetEmitterCount(), 0);

    mManager.PlayOneShot(0, &mContext);
    mManager.BindDefinition(x, 0, &mContext);
    x->Start();
    mManager.Shutdown();
    EXPECT_EQ(Linked(), 0);
    EXPECT_EQ(mManager.GetDefinition(0), nullptr);
    EXPECT_EQ(x->GetEmitterCount(), 0);
    EXPECT_EQ(x->mDefinition, nullptr);
    delete x;
}

} // namespace

namespace
{
// Every allocator a frame could reach: the engine's memory functions, the framework's entry
// points (heap, arenas, pools) and the program's operator new.
std::atomic<int32_t> gAllocations{0};
std::atomic<bool> gCountNew{false};
MemoryFunctions gReal;
void CountFramework()
{
    ++gAllocations;
}
void* CountAllocate(size_t size, uint32_t hint)
{
    ++gAllocations;
    return gReal.allocate(size, hint);
}
void* CountReallocate(void* p, size_t size, uint32_t hint)
{
    ++gAllocations;
    return gReal.reallocate(p, size, hint);
}
void* CountAllocateZeroed(size_t count, size_t size, uint32_t hint)
{
    ++gAllocations;
    return gReal.allocateZeroed(count, size, hint);
}

TEST_F(ManagerTest, SteadyUpdatesAllocateNothing)
{
    const std::string keys = "TIME 0 { X 255 Y 0 Z 0 } TIME 0.1 { X 0 Y 255 Z 0 } TIME 0.2 { X 0 Y 0 Z 255 } "
                             "TIME 0.3 { X 255 Y 255 Z 0 } TIME 0.4 { X 0 Y 255 Z 255 } TIME 0.5 { X 255 Y 0 Z 255 } "
                             "TIME 0.6 { X 9 Y 9 Z 9 } TIME 0.7 { X 200 Y 200 Z 200 }";
    Effect(0, {"MaxPrt 100 BatchSize 50 PrtLife 0.5 SECTION EMT { EMIT { V 5 } GAP { V 0.001 } INITVEL { V 2 } "
               "INITVEL BIAS { V 1 } } SECTION PRT { COLOR { IMode LINEAR " +
               keys + " } SIZE { IMode LINEAR TIME 0 { X 1 Y 1 } TIME 0.5 { X 4 Y 4 } } }"});
    for (int32_t i = 0; i < 3; ++i)
        mManager.PlayOneShot(0, &mContext);
    for (int32_t i = 0; i < 60; ++i)
        mManager.UpdateAllBy(kDt);
    Engine* engine = Engine::Current();
    gReal = engine->memoryFunctions;
    engine->memoryFunctions.allocate = CountAllocate;
    engine->memoryFunctions.reallocate = CountReallocate;
    engine->memoryFunctions.allocateZeroed = CountAllocateZeroed;
    HbSetAllocationHook(CountFramework);
    gAllocations = 0;
    gCountNew = true;
    for (int32_t i = 0; i < 30; ++i)
        mManager.UpdateAllBy(kDt);
    gCountNew = false;
    HbSetAllocationHook(nullptr);
    engine->memoryFunctions = gReal;
    EXPECT_EQ(gAllocations.load(), 0);

    // The counters see each allocator.
    HbSetAllocationHook(CountFramework);
    gCountNew = true;
    HbHeapFree(HbHeapAlloc(16));
    HbOperatorDelete(HbOperatorNew(16));
    int* volatile sink = new int(1);
    delete sink;
    gCountNew = false;
    HbSetAllocationHook(nullptr);
    EXPECT_EQ(gAllocations.load(), 3);
    const KEmitter* e = KEmitter::FromNode(mManager.GetList(10)->head.next);
    EXPECT_GT(static_cast<const KEmitterStd*>(e)->mEmitter->activeCount, 20);
}

} // namespace

// Counted while a test asks; otherwise the ordinary allocation.
void* operator new(size_t size)
{
    if (gCountNew.load(std::memory_order_relaxed))
        ++gAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    if (gCountNew.load(std::memory_order_relaxed))
        ++gAllocations;
    return std::malloc(size ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
