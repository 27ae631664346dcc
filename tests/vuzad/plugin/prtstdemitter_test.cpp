// Emitters, particle batches and particle atomics: the order of an update's steps, batches
// moving through the free ring, the bounding radius, and copies of particle atomics.
#include "prtstd_fixture.h"

#include "geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> gLog;
// What the recording particle update does to every batch: new count, squared distance.
int32_t gKeep = -1;
float gDistance2 = 0;

PrtStdEmitter* Record(const char* what, PrtStdEmitter* e)
{
    gLog.push_back(what);
    return e;
}

PrtStdEmitter* Emit(Atomic*, PrtStdEmitter* e, void*)
{
    gLog.push_back("emit");
    if (PrtStdBatch* b = PrtStdEmitter::NewParticleBatch(e))
    {
        b->count = 2;
        e->activeCount += 2;
    }
    return e;
}
PrtStdEmitter* BeginUpdate(Atomic*, PrtStdEmitter* e, void*) { return Record("begin update", e); }
PrtStdEmitter* EndUpdate(Atomic*, PrtStdEmitter* e, void*) { return Record("end update", e); }
PrtStdEmitter* BeginRender(Atomic*, PrtStdEmitter* e, void*) { return Record("begin render", e); }
PrtStdEmitter* EndRender(Atomic*, PrtStdEmitter* e, void*) { return Record("end render", e); }

PrtStdBatch* ParticleUpdate(PrtStdEmitter* e, PrtStdBatch* b, void*)
{
    gLog.push_back("update " + std::to_string(b->count));
    if (gKeep >= 0)
        b->count = gKeep;
    if (gDistance2 > e->radius)
        e->radius = gDistance2;
    return b;
}
PrtStdBatch* ParticleRender(PrtStdEmitter*, PrtStdBatch* b, void*)
{
    gLog.push_back("render " + std::to_string(b->count));
    return b;
}
PrtStdBatch* Release(PrtStdEmitter*, PrtStdBatch* b, void*)
{
    gLog.push_back("release");
    return b;
}

class Emitters : public plugintest::PrtStdTest
{
protected:
    void SetUp() override
    {
        PrtStdTest::SetUp();
        gLog.clear();
        gKeep = -1;
        gDistance2 = 0;
    }

    /// A recording emitter (no standard properties) with every step switched on.
    Atomic* Recording()
    {
        PrtStdEmitterClass* ec = EmitterClass({9}, false);
        PrtStdEmitterCallbacks entry{};
        entry.slot[kPrtStdEmitterEmit] = Emit;
        entry.slot[kPrtStdEmitterBeginUpdate] = BeginUpdate;
        entry.slot[kPrtStdEmitterEndUpdate] = EndUpdate;
        entry.slot[kPrtStdEmitterBeginRender] = BeginRender;
        entry.slot[kPrtStdEmitterEndRender] = EndRender;
        PrtStdEmitterClass::SetCallbacks(ec, 1, &entry);
        PrtStdParticleClass* pc = ParticleClass({0}, false);
        PrtStdParticleCallbacks pentry{};
        pentry.slot[kPrtStdParticleUpdate] = ParticleUpdate;
        pentry.slot[kPrtStdParticleRender] = ParticleRender;
        pentry.slot[kPrtStdParticleBatchRelease] = Release;
        PrtStdParticleClass::SetCallbacks(pc, 1, &pentry);
        Atomic* a = ParticleAtomic(ec, pc, 4);
        PrtStdAtomic::GetEmitters(a)->flags = kPrtStdEmitterFlagAlive | kPrtStdEmitterFlagEmit |
                                               kPrtStdEmitterFlagUpdate | kPrtStdEmitterFlagUpdateParticles |
                                               kPrtStdEmitterFlagRender | kPrtStdEmitterFlagRenderParticles;
        return a;
    }
};

TEST_F(Emitters, AnUpdateRunsItsStepsInOrderAndRenderWalksTheBatches)
{
    StartPlugins();
    Atomic* a = Recording();
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(Step(a, 0.1f));
    ASSERT_TRUE(Step(a, 0.1f));
    ASSERT_EQ(PrtStdAtomic::Render(a), a);
    const std::vector<std::string> expected = {
        "begin update", "emit",         "end update",                                       // no batch yet
        "begin update", "update 2",     "emit",       "end update",                         // the batch, then emission
        "begin render", "render 2",     "render 2",   "end render"};
    EXPECT_EQ(gLog, expected);
    EXPECT_EQ(PrtStdAtomic::GetEmitters(a)->activeCount, 4);

    // Not alive: nothing runs and the count stays.
    gLog.clear();
    PrtStdAtomic::GetEmitters(a)->flags &= ~kPrtStdEmitterFlagAlive;
    ASSERT_TRUE(Step(a, 0.1f));
    EXPECT_TRUE(gLog.empty());
    EXPECT_EQ(PrtStdAtomic::GetEmitters(a)->activeCount, 4);
}

TEST_F(Emitters, AnEmptiedBatchStaysOneUpdateThenIsReusedFromTheFreeRing)
{
    StartPlugins();
    Atomic* a = Recording();
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(a);
    e->flags &= ~kPrtStdEmitterFlagEmit;
    PrtStdBatch* b = PrtStdEmitter::NewParticleBatch(e);
    b->count = 3;
    e->activeCount = 3;
    gKeep = 0;
    ASSERT_TRUE(Step(a, 0.1f)); // the update empties it; it stays active
    EXPECT_EQ(e->activeBatches, b);
    EXPECT_EQ(e->freeBatches, nullptr);
    EXPECT_EQ(e->activeCount, 0);
    ASSERT_TRUE(Step(a, 0.1f)); // found empty: released to the free ring
    EXPECT_EQ(e->activeBatches, nullptr);
    EXPECT_EQ(e->freeBatches, b);
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "release"), 1);
    EXPECT_EQ(PrtStdEmitter::NewParticleBatch(e), b);
    EXPECT_EQ(e->freeBatches, nullptr);
}

TEST_F(Emitters, TheRadiusIsTheRootOfTheLargestSquaredDistanceAndGrowsTheAtomic)
{
    StartPlugins();
    Atomic* a = Recording();
    ASSERT_TRUE(Step(a, 0.1f));
    gDistance2 = 16.0f;
    ASSERT_TRUE(Step(a, 0.1f));
    EXPECT_NEAR(PrtStdAtomic::GetEmitters(a)->radius, 4.0f, 1e-3f);
    EXPECT_NEAR(a->boundingSphere.radius, 4.0f, 1e-3f);
    EXPECT_NEAR(a->geometry->morphTargets[0].boundingSphere.radius, 4.0f, 1e-3f);
    gDistance2 = 0;
    PrtStdAtomic::GetEmitters(a)->flags &= ~kPrtStdEmitterFlagUpdateParticles;
    ASSERT_TRUE(Step(a, 0.1f));
    EXPECT_EQ(a->boundingSphere.radius, 0.0f);
}

TEST_F(Emitters, AParticleAtomicIsAnEmptyGeometryDrawnByItsEmittersAndGetEmittersAnswersTheLatest)
{
    StartPlugins();
    PrtStdEmitterClass* ec = EmitterClass({1, 6});
    Atomic* a = ParticleAtomic(ec, ParticleClass({0, 1}), 8);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->renderCallback, PrtStdAtomic::Render);
    ASSERT_NE(a->geometry, nullptr);
    EXPECT_EQ(a->geometry->numVertices, 0);
    EXPECT_EQ(a->object.frame, nullptr);
    PrtStdEmitter* first = PrtStdAtomic::GetEmitters(a);
    PrtStdEmitter* second = PrtStdEmitter::Create(ec, nullptr);
    PrtStdAtomic::AddEmitter(a, second);
    EXPECT_EQ(PrtStdAtomic::GetEmitters(a), second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(second->owner, a);
    EXPECT_EQ(ec->refCount, 3);

    // Nothing to update: no emitters.
    Atomic* bare = Atomic::Create();
    EXPECT_EQ(PrtStdAtomic::UpdateEmitters(bare, nullptr), nullptr);
    Atomic::Destroy(bare);
}

TEST_F(Emitters, ACopiedAtomicClonesItsEmittersWithoutParticlesOrTank)
{
    StartPlugins();
    PrtStdEmitterClass* ec = EmitterClass({1, 6, 2});
    PrtStdParticleClass* pc = ParticleClass({0, 1, 6});
    Atomic* a = ParticleAtomic(ec, pc, 16);
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(a);
    PrtStdEmitter::GetStandard(e)->maxParticles = 16;
    PrtStdEmitter::GetStandard(e)->emitCount = 3;
    PrtStdEmitter::GetStandard(e)->life = 5;
    PrtStdEmitter::GetTankBlock(e)->updateMask = 0x1234;
    ASSERT_TRUE(Step(a, 0.1f));
    ASSERT_EQ(e->activeCount, 3);
    ASSERT_NE(PrtStdEmitter::GetTankBlock(e)->tank, nullptr);

    Atomic* copy = Atomic::Clone(a);
    ASSERT_NE(copy, nullptr);
    mParticleAtomics.push_back(copy);
    PrtStdEmitter* c = PrtStdAtomic::GetEmitters(copy);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, e);
    EXPECT_EQ(c->owner, copy);
    EXPECT_EQ(c->emitterClass, ec);
    EXPECT_EQ(c->particleClass, pc);
    EXPECT_EQ(c->batchSize, 16);
    EXPECT_EQ(c->flags, e->flags);
    EXPECT_EQ(c->activeCount, 0);
    EXPECT_EQ(c->activeBatches, nullptr);
    EXPECT_EQ(PrtStdEmitter::GetTankBlock(c)->tank, nullptr);
    EXPECT_EQ(PrtStdEmitter::GetTankBlock(c)->updateMask, 0x1234u);
    EXPECT_EQ(PrtStdEmitter::GetStandard(c)->emitCount, 3);
    EXPECT_EQ(ec->refCount, 3);
    // The clone's tank comes with its first update.
    ASSERT_TRUE(Step(copy, 0.1f));
    EXPECT_NE(PrtStdEmitter::GetTankBlock(c)->tank, nullptr);
}

TEST_F(Emitters, ChangingTheParticleClassFreesTheBatchesThroughTheReleaseCallbacks)
{
    StartPlugins();
    Atomic* a = Recording();
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(a);
    PrtStdParticleClass* old = e->particleClass;
    PrtStdEmitter::NewParticleBatch(e);
    PrtStdEmitter::NewParticleBatch(e);
    gLog.clear();
    PrtStdParticleClass* other = ParticleClass({0, 1});
    PrtStdEmitter::SetParticleClass(e, other, 8);
    EXPECT_EQ(gLog, (std::vector<std::string>{"release", "release"}));
    EXPECT_EQ(e->activeBatches, nullptr);
    EXPECT_EQ(e->particleClass, other);
    EXPECT_EQ(old->refCount, 1);
    EXPECT_EQ(other->refCount, 2);
}

} // namespace
