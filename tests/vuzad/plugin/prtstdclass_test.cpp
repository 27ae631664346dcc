// Particle property tables and classes: sharing of equal tables, ids, reference counts,
// callback entries, emitter creation through the class callbacks, and what the engine's
// stop leaves behind.
#include "plugin_fixture.h"

#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using plugintest::PluginTest;

int32_t RingSize(PrtStdPropertyTable* ring)
{
    int32_t n = 0;
    if (PrtStdPropertyTable* t = ring)
        do
        {
            ++n;
            t = t->next;
        } while (t != ring);
    return n;
}

TEST(PrtStdSizes, StandardEmitterIs184AndTankBlock72BytesIn64BitMemoryAnd172And52InStreams)
{
    static_assert(sizeof(void*) == 8);
    EXPECT_EQ(PrtStdEmitterProperty::kStandardSize, 184);
    EXPECT_EQ(PrtStdEmitterProperty::kTankSize, 72);
    struct Case
    {
        int32_t id, memory, stream;
    };
    const Case cases[] = {{1, 184, 172}, {6, 72, 52}, {2, 64, 64}, {8, 116, 116}, {9, 184, 184}, {1, 172, 172}};
    for (const Case& c : cases)
    {
        EXPECT_EQ(PrtStdEmitterProperty::ToStreamSize(c.id, c.memory), c.stream) << c.id << " " << c.memory;
        if (c.memory != c.stream || c.id > 6)
            EXPECT_EQ(PrtStdEmitterProperty::FromStreamSize(c.id, c.stream), c.memory) << c.id;
    }
}

TEST_F(PluginTest, EqualPairsInAnyOrderShareOneTableLaidOutByTheFirstRequest)
{
    StartPlugins();
    const int32_t ids[] = {1, 6, 2};
    const int32_t sizes[] = {PrtStdEmitterProperty::kStandardSize, PrtStdEmitterProperty::kTankSize, 64};
    PrtStdPropertyTable* a = PrtStdPropertyTable::Create(3, ids, sizes);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->refCount, 1);
    EXPECT_EQ(std::vector<int32_t>(a->offsets, a->offsets + 4), (std::vector<int32_t>{0, 184, 256, 320}));
    EXPECT_EQ(PrtStdPropertyTable::GetOffset(a, 6), 184);
    EXPECT_EQ(PrtStdPropertyTable::GetIndex(a, 2), 2);
    EXPECT_EQ(PrtStdPropertyTable::GetOffset(a, 5), -1);
    EXPECT_EQ(PrtStdPropertyTable::GetIndex(a, 5), -1);

    const int32_t ids2[] = {2, 1, 6};
    const int32_t sizes2[] = {64, PrtStdEmitterProperty::kStandardSize, PrtStdEmitterProperty::kTankSize};
    EXPECT_EQ(PrtStdPropertyTable::Create(3, ids2, sizes2), a);
    EXPECT_EQ(a->refCount, 2);
    EXPECT_EQ(PrtStdPropertyTable::GetOffset(a, 2), 256) << "the first request's order";

    // A subset, a different size or a different count is another table.
    const int32_t sizes3[] = {64, PrtStdEmitterProperty::kStandardSize, 68};
    PrtStdPropertyTable* b = PrtStdPropertyTable::Create(3, ids2, sizes3);
    PrtStdPropertyTable* c = PrtStdPropertyTable::Create(2, ids, sizes);
    EXPECT_NE(b, a);
    EXPECT_NE(c, a);
    EXPECT_EQ(RingSize(PrtStdPropertyTable::GetRing()), 3);
    EXPECT_EQ(PrtStdPropertyTable::FindById(c->id), c);

    EXPECT_TRUE(PrtStdPropertyTable::Destroy(a));
    EXPECT_TRUE(PrtStdPropertyTable::IsAlive(a));
    EXPECT_TRUE(PrtStdPropertyTable::Destroy(a));
    EXPECT_FALSE(PrtStdPropertyTable::IsAlive(a));
    EXPECT_FALSE(PrtStdPropertyTable::Destroy(nullptr));
    EXPECT_TRUE(PrtStdPropertyTable::Destroy(b));
    EXPECT_TRUE(PrtStdPropertyTable::Destroy(c));
    EXPECT_EQ(PrtStdPropertyTable::GetRing(), nullptr);
    EXPECT_EQ(TestMemory::CountLive(PrtStd::kHint), 0u);
}

TEST_F(PluginTest, ASizeThatIsNotAMultipleOfFourNeverMatchesAndIsRoundedInTheLayout)
{
    StartPlugins();
    const int32_t ids[] = {0, 20};
    const int32_t sizes[] = {16, 6};
    PrtStdPropertyTable* a = PrtStdPropertyTable::Create(2, ids, sizes);
    PrtStdPropertyTable* b = PrtStdPropertyTable::Create(2, ids, sizes);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->roundedSizes[1], 8);
    EXPECT_EQ(a->sizes[1], 6);
    EXPECT_EQ(a->offsets[2], 24);
    // The rounded size itself matches.
    const int32_t rounded[] = {16, 8};
    EXPECT_EQ(PrtStdPropertyTable::Create(2, ids, rounded), b) << "the most recent table is searched first";
    // Bad requests.
    const int32_t negative[] = {16, -4};
    EXPECT_EQ(PrtStdPropertyTable::Create(2, ids, negative), nullptr);
    EXPECT_EQ(PrtStdPropertyTable::Create(-1, ids, sizes), nullptr);
    PrtStdPropertyTable* empty = PrtStdPropertyTable::Create(0, nullptr, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->offsets[0], 0);
}

TEST_F(PluginTest, TableIdsHashTheCountAndTheSumOfIdsOn32Bits)
{
    StartPlugins();
    struct Case
    {
        std::vector<int32_t> ids;
        uint32_t id;
    };
    const Case cases[] = {
        {{1, 6}, 48u | (7u << 10)},
        {{0, 1, 2, 3, 4, 5, 6, 7}, 144u | (28u << 10)},
        {{3000}, 32u | (3000u >> 10) | (3000u << 10)},
        {{-2048}, 0xFFFFFFFEu}, // the right shift keeps the sign
    };
    for (const Case& c : cases)
    {
        const std::vector<int32_t> sizes(c.ids.size(), 4);
        PrtStdPropertyTable* t = PrtStdPropertyTable::Create(int32_t(c.ids.size()), c.ids.data(), sizes.data());
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->id, c.id) << c.ids[0];
    }
}

TEST_F(PluginTest, ClassesCountTheirReferencesAndHoldOneOnTheirTable)
{
    StartPlugins();
    const int32_t ids[] = {0, 1};
    const int32_t sizes[] = {16, 12};
    const int32_t ids2[] = {0};
    PrtStdPropertyTable* table = PrtStdPropertyTable::Create(2, ids, sizes);
    PrtStdPropertyTable* other = PrtStdPropertyTable::Create(1, ids2, sizes);
    PrtStdParticleClass* particles = PrtStdParticleClass::Create();
    PrtStdEmitterClass* emitters = PrtStdEmitterClass::Create();
    ASSERT_NE(particles, nullptr);
    ASSERT_NE(emitters, nullptr);
    EXPECT_EQ(particles->refCount, 1);
    EXPECT_EQ(particles->numEntries, 0);
    EXPECT_NE(particles->id, 0u);
    EXPECT_NE(particles->id, emitters->id) << "ids are unique across both kinds";
    EXPECT_EQ(PrtStdParticleClass::FindById(particles->id), particles);
    EXPECT_EQ(PrtStdEmitterClass::FindById(particles->id), nullptr);
    EXPECT_EQ(PrtStdEmitterClass::FindById(emitters->id), emitters);

    EXPECT_EQ(PrtStdParticleClass::SetPropertyTable(particles, table), particles);
    EXPECT_EQ(table->refCount, 2);
    EXPECT_EQ(particles->recordSize, 28);
    EXPECT_EQ(PrtStdParticleClass::FindByPropertyTable(table), particles);
    PrtStdParticleClass::SetPropertyTable(emitters, table);
    EXPECT_EQ(table->refCount, 3);
    PrtStdParticleClass::SetPropertyTable(particles, other);
    EXPECT_EQ(table->refCount, 2);
    EXPECT_EQ(other->refCount, 2);
    EXPECT_EQ(particles->recordSize, 16);
    EXPECT_EQ(PrtStdEmitterClass::FindByPropertyTable(table), emitters);

    PrtStdParticleClass::AddRef(particles);
    EXPECT_TRUE(PrtStdParticleClass::Destroy(particles));
    EXPECT_EQ(other->refCount, 2) << "still held";
    EXPECT_TRUE(PrtStdParticleClass::Destroy(particles));
    EXPECT_FALSE(PrtStdParticleClass::IsAlive(particles));
    EXPECT_EQ(other->refCount, 1);
    EXPECT_FALSE(PrtStdParticleClass::Destroy(particles)) << "a second release of a freed class does nothing";
    EXPECT_TRUE(PrtStdEmitterClass::Destroy(emitters));
    EXPECT_EQ(table->refCount, 1);
    PrtStdPropertyTable::Destroy(table);
    PrtStdPropertyTable::Destroy(other);
    EXPECT_EQ(TestMemory::CountLive(PrtStd::kHint), 0u);
}

PrtStdBatch* Update(PrtStdEmitter*, PrtStdBatch* batch, void*)
{
    return batch;
}

TEST_F(PluginTest, AFailingSetCallbacksKeepsTheOldEntries)
{
    StartPlugins();
    PrtStdParticleClass* c = PrtStdParticleClass::Create();
    ASSERT_NE(c, nullptr);
    PrtStdParticleCallbacks entries[2] = {};
    entries[0].slot[kPrtStdParticleUpdate] = Update;
    entries[1].slot[kPrtStdParticleRender] = Update;
    ASSERT_EQ(PrtStdParticleClass::SetCallbacks(c, 2, entries), c);
    PrtStdParticleCallbacks* kept = PrtStdParticleClass::Entries(c);
    ASSERT_NE(kept, entries) << "a copy";
    EXPECT_EQ(kept[1].slot[kPrtStdParticleRender], Update);

    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == PrtStd::kHint; };
    EXPECT_EQ(PrtStdParticleClass::SetCallbacks(c, 1, entries), nullptr);
    TestMemory::refuse = nullptr;
    EXPECT_EQ(PrtStdParticleClass::SetCallbacks(c, -1, entries), nullptr);
    EXPECT_EQ(c->numEntries, 2);
    EXPECT_EQ(PrtStdParticleClass::Entries(c), kept);
    EXPECT_EQ(kept[0].slot[kPrtStdParticleUpdate], Update);

    PrtStdEmitterClass* e = PrtStdEmitterClass::Create();
    PrtStdEmitterCallbacks emitterEntries[1] = {};
    EXPECT_EQ(PrtStdEmitterClass::SetCallbacks(e, 1, emitterEntries), e);
    EXPECT_EQ(PrtStdEmitterClass::SetCallbacks(e, 0, nullptr), e);
    EXPECT_EQ(e->numEntries, 0);
    EXPECT_EQ(PrtStdEmitterClass::Entries(e), nullptr);
}

// ---- Emitters through the class callbacks --------------------------------------------------------------

std::vector<int> sCalls;
PrtStdEmitter* CreateA(Atomic*, PrtStdEmitter* e, void* data)
{
    sCalls.push_back(1);
    EXPECT_EQ(data, &sCalls);
    return e;
}
PrtStdEmitter* CreateB(Atomic*, PrtStdEmitter* e, void*)
{
    sCalls.push_back(2);
    return e;
}
PrtStdEmitter* Fail(Atomic*, PrtStdEmitter*, void*)
{
    sCalls.push_back(-1);
    return nullptr;
}

TEST_F(PluginTest, EmittersRunTheCreateAndDestroyCallbacksOfEveryEntryUntilOneFails)
{
    StartPlugins();
    const int32_t ids[] = {PrtStdEmitterProperty::kStandardId, PrtStdEmitterProperty::kTankId};
    const int32_t sizes[] = {PrtStdEmitterProperty::kStandardSize, PrtStdEmitterProperty::kTankSize};
    PrtStdPropertyTable* table = PrtStdPropertyTable::Create(2, ids, sizes);
    PrtStdEmitterClass* c = PrtStdEmitterClass::Create();
    PrtStdParticleClass::SetPropertyTable(c, table);
    PrtStdPropertyTable::Destroy(table);
    PrtStdEmitterCallbacks entries[3] = {};
    entries[0].slot[kPrtStdEmitterCreate] = CreateA;
    entries[2].slot[kPrtStdEmitterCreate] = CreateB;
    entries[1].slot[kPrtStdEmitterDestroy] = Fail;
    ASSERT_EQ(PrtStdEmitterClass::SetCallbacks(c, 3, entries), c);

    sCalls.clear();
    PrtStdEmitter* e = PrtStdEmitter::Create(c, &sCalls);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(sCalls, (std::vector<int>{1, 2}));
    EXPECT_EQ(c->refCount, 2);
    EXPECT_EQ(e->next, e);
    EXPECT_EQ(e->flags, 0u);
    ASSERT_NE(PrtStdEmitter::GetStandard(e), nullptr);
    EXPECT_EQ(PrtStdEmitter::GetStandard(e)->random, 0u) << "zeroed until the standard callbacks exist";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(PrtStdEmitter::GetStandard(e)) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<char*>(PrtStdEmitter::GetTankBlock(e)) -
                  reinterpret_cast<char*>(PrtStdEmitter::GetStandard(e)),
              PrtStdEmitterProperty::kStandardSize);

    EXPECT_FALSE(PrtStdEmitter::Destroy(e)) << "a failing destroy callback keeps the emitter";
    entries[1].slot[kPrtStdEmitterDestroy] = nullptr;
    entries[1].slot[kPrtStdEmitterCreate] = Fail;
    PrtStdEmitterClass::SetCallbacks(c, 3, entries);
    EXPECT_TRUE(PrtStdEmitter::Destroy(e));
    EXPECT_FALSE(PrtStdEmitter::Destroy(e)) << "gone";
    EXPECT_EQ(c->refCount, 1);

    sCalls.clear();
    EXPECT_EQ(PrtStdEmitter::Create(c, &sCalls), nullptr);
    EXPECT_EQ(sCalls, (std::vector<int>{1, -1}));
    EXPECT_EQ(c->refCount, 1) << "a failed creation releases its class";
    PrtStdEmitterClass::Destroy(c);
    EXPECT_EQ(TestMemory::CountLive(PrtStd::kHint), 0u);
}

TEST_F(PluginTest, ReleasingACachedTableClearsTheOffsetCache)
{
    StartPlugins();
    const int32_t ids[] = {1, 6, 8};
    const int32_t sizes[] = {PrtStdEmitterProperty::kStandardSize, PrtStdEmitterProperty::kTankSize, 116};
    PrtStdPropertyTable* table = PrtStdPropertyTable::Create(3, ids, sizes);
    PrtStdEmitterClass* c = PrtStdEmitterClass::Create();
    PrtStdParticleClass::SetPropertyTable(c, table);
    PrtStdEmitter* e = PrtStdEmitter::Create(c, nullptr);
    ASSERT_NE(e, nullptr);
    PrtStd::RefreshOffsets(e);
    const PrtStdOffsetCache* cache = PrtStd::GetOffsets();
    EXPECT_EQ(cache->emitterTable, table);
    EXPECT_EQ(cache->emitterOffsets[1], 0);
    EXPECT_EQ(cache->emitterOffsets[6], 184);
    EXPECT_EQ(cache->emitterOffsets[8], 256);
    EXPECT_EQ(cache->emitterOffsets[2], -1);
    EXPECT_EQ(cache->particleTable, nullptr);

    PrtStdEmitter::Destroy(e);
    PrtStdEmitterClass::Destroy(c);
    EXPECT_EQ(cache->emitterTable, table) << "still held by the caller";
    PrtStdPropertyTable::Destroy(table);
    EXPECT_EQ(cache->emitterTable, nullptr);
    EXPECT_EQ(cache->emitterOffsets[6], -1);
}

// ---- The engine's stop ---------------------------------------------------------------------------------

TEST_F(PluginTest, StopFreesEveryTableClassAndEmitterAndLaterReleasesDoNothing)
{
    StartPlugins();
    const int32_t ids[] = {PrtStdEmitterProperty::kStandardId, PrtStdEmitterProperty::kTankId};
    const int32_t sizes[] = {PrtStdEmitterProperty::kStandardSize, PrtStdEmitterProperty::kTankSize};
    PrtStdPropertyTable* table = PrtStdPropertyTable::Create(2, ids, sizes);
    PrtStdEmitterClass* emitterClass = PrtStdEmitterClass::Create();
    PrtStdParticleClass* particleClass = PrtStdParticleClass::Create();
    PrtStdParticleClass::SetPropertyTable(emitterClass, table);
    PrtStdParticleClass::SetPropertyTable(particleClass, table);
    PrtStdEmitter* owned = PrtStdEmitter::Create(emitterClass, nullptr);
    PrtStdEmitter* loose = PrtStdEmitter::Create(emitterClass, nullptr);
    ASSERT_NE(owned, nullptr);
    ASSERT_NE(loose, nullptr);
    PrtStdEmitter::GetStandard(owned)->maxParticles = 16;
    ASSERT_EQ(PrtStdEmitter::CreatePTank(owned), owned);
    // A particle atomic kept past the stop: the engine's close destroys it afterwards.
    Atomic* atomic = Atomic::Create();
    ASSERT_NE(atomic, nullptr);
    PrtStdAtomic::AddEmitter(atomic, owned);
    EXPECT_EQ(PrtStdAtomic::GetEmitters(atomic), owned);
    EXPECT_EQ(owned->owner, atomic);
    EXPECT_GT(TestMemory::CountLive(PrtStd::kHint), 0u);
    EXPECT_GT(TestMemory::CountLive(PTank::kRecordHint), 0u);

    ASSERT_EQ(Engine::Stop(), 1);
    EXPECT_EQ(PrtStdPropertyTable::GetRing(), nullptr);
    EXPECT_EQ(PrtStdParticleClass::GetRing(), nullptr);
    EXPECT_EQ(PrtStdEmitterClass::GetRing(), nullptr);
    EXPECT_EQ(TestMemory::CountLive(PrtStd::kHint), 0u);
    EXPECT_EQ(TestMemory::CountLive(PrtStd::kScratchHint), 0u);
    EXPECT_EQ(TestMemory::CountLive(PTank::kRecordHint), 0u) << "the emitter's tank went with it";
    EXPECT_FALSE(PrtStdPropertyTable::Destroy(table));
    EXPECT_FALSE(PrtStdEmitterClass::Destroy(emitterClass));
    EXPECT_FALSE(PrtStdParticleClass::Destroy(particleClass));
    EXPECT_FALSE(PrtStdEmitter::Destroy(loose));

    // The next start begins empty and works as before.
    ASSERT_EQ(Engine::Start(), 1);
    PrtStdPropertyTable* again = PrtStdPropertyTable::Create(2, ids, sizes);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->refCount, 1);
    PrtStdPropertyTable::Destroy(again);
}

} // namespace
