// The particle atomic stream format: records carrying their tables and classes, shared again
// on reading; standard property blocks; the older format's fix-up; classes bound to the
// tables of their own record; damaged records; and a mutated-stream sweep.
#include "prtstd_fixture.h"

#include "error.h"
#include "memory.h"
#include "pluginfixture.h"
#include "stream.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

using EP = PrtStdEmitterProperty;

int RingSize(PrtStdPropertyTable* ring)
{
    int n = 0;
    if (PrtStdPropertyTable* t = ring)
        do
        {
            ++n;
            t = t->next;
        } while (t != ring);
    return n;
}

template <typename C> int ClassRingSize(C* ring)
{
    int n = 0;
    if (PrtStdClassRecord* c = ring)
        do
        {
            ++n;
            c = c->next;
        } while (c != ring);
    return n;
}

uint32_t Word(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t w;
    std::memcpy(&w, b.data() + at, 4);
    return w;
}

class ParticleStreams : public plugintest::PrtStdTest
{
protected:
    /// The atomic's plug-in data as its extension callbacks write it.
    static std::vector<uint8_t> Write(Atomic* a)
    {
        const int32_t size = PrtStdAtomic::StreamGetSize(a, 0, 0);
        Stream* s = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_EQ(PrtStdAtomic::StreamWrite(s, size, a, 0, 0), s);
        std::vector<uint8_t> bytes = CloseWriter(s);
        EXPECT_EQ(bytes.size(), size_t(size));
        return bytes;
    }

    /// A new atomic read from the bytes (destroyed by the fixture), or null.
    Atomic* Read(std::vector<uint8_t>& bytes)
    {
        Atomic* a = Atomic::Create();
        Stream* s = OpenReader(bytes);
        const bool ok = PrtStdAtomic::StreamRead(s, int32_t(bytes.size()), a, 0, 0) == s;
        Stream::Close(s, nullptr);
        if (!ok)
        {
            Atomic::Destroy(a);
            return nullptr;
        }
        mParticleAtomics.push_back(a);
        return a;
    }

    /// Everything made so far destroyed, so a read starts from an empty plug-in.
    void DropAll()
    {
        for (Atomic* a : mParticleAtomics)
            Atomic::Destroy(a);
        mParticleAtomics.clear();
        for (PrtStdEmitterClass* c : mEmitterClasses)
            PrtStdEmitterClass::Destroy(c);
        mEmitterClasses.clear();
        for (PrtStdParticleClass* c : mParticleClasses)
            PrtStdParticleClass::Destroy(c);
        mParticleClasses.clear();
        ASSERT_EQ(PrtStdPropertyTable::GetRing(), nullptr);
    }

    /// An atomic whose emitter carries every standard property with recognisable values.
    Atomic* Full()
    {
        Atomic* a = ParticleAtomic(EmitterClass({1, 2, 3, 4, 5, 6, 8}), ParticleClass({0, 1, 2, 5, 6}), 32);
        PrtStdEmitter* e = PrtStdAtomic::GetEmitters(a);
        PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(e);
        s->random = 77;
        s->maxParticles = 40;
        s->force = {0, -9.8f, 0};
        s->emitBox = {1, 2, 3};
        s->gap = 0.25f;
        s->emitCount = 4;
        s->emitCountBias = 2;
        s->life = 3;
        s->direction = {0, 1, 0};
        s->size = {0.5f, 0.75f};
        s->colour = {10, 20, 30, 40};
        s->rotationRate = 2.5f;
        s->texCoords[3] = {0.125f, 0.375f};
        for (int32_t id : {2, 3, 4, 5})
        {
            auto* f = static_cast<float*>(PrtStdEmitter::GetProperty(e, id));
            for (int32_t i = 0; i < EP::MinimumSize(id) / 4; ++i)
                f[i] = float(id * 100 + i);
        }
        auto* m = static_cast<char*>(PrtStdEmitter::GetProperty(e, EP::kMatrixId));
        auto* dirs = reinterpret_cast<float*>(m + sizeof(Matrix));
        for (int i = 0; i < 12; ++i)
            dirs[i] = float(i) * 0.5f;
        int32_t enable = 1;
        std::memcpy(m + sizeof(Matrix) + 48, &enable, 4);
        PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e);
        block->updateMask = 0xABCD;
        block->emitMask = 0x1234;
        block->sourceBlend = 5;
        block->destBlend = 6;
        block->vertexAlpha = 0;
        return a;
    }

    static std::vector<uint8_t> StandardBlocks(PrtStdEmitter* e)
    {
        int32_t size = 0;
        PrtStdEmitterStd::StreamGetSize(nullptr, e, &size);
        Stream* s = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_EQ(PrtStdEmitterStd::StreamWrite(nullptr, e, s), e);
        std::vector<uint8_t> bytes = CloseWriter(s);
        EXPECT_EQ(bytes.size(), size_t(size));
        return bytes;
    }
};

TEST_F(ParticleStreams, TwoEmittersOfTheSameClassesWriteEverythingTwiceAndReadBackToOneOfEach)
{
    StartPlugins();
    PrtStdEmitterClass* ec = EmitterClass({1, 6});
    PrtStdParticleClass* pc = ParticleClass({0, 1, 6});
    Atomic* a = ParticleAtomic(ec, pc, 8);
    PrtStdEmitter* second = PrtStdEmitter::Create(ec, nullptr);
    PrtStdEmitter::SetParticleClass(second, pc, 8);
    PrtStdAtomic::AddEmitter(a, second);
    std::vector<uint8_t> bytes = Write(a);

    // Header, then two records of 20 bytes, four chunks (two tables, two classes) and the
    // standard blocks (156 + 20).
    EXPECT_EQ(Word(bytes, 0), 0x3000002u);
    const size_t tables = 8 + 8 * 2 + 8 + 8 * 3;
    const size_t record = 20 + 4 * 12 + tables + 16 + 156 + 20;
    ASSERT_EQ(bytes.size(), 4 + 2 * record);
    for (size_t r : {size_t(4), 4 + record})
    {
        EXPECT_EQ(Word(bytes, r), ec->id);
        EXPECT_EQ(Word(bytes, r + 8), pc->id);
        EXPECT_EQ(Word(bytes, r + 16), 1u);
        EXPECT_EQ(Word(bytes, r + 20), 37u);
    }

    DropAll();
    Atomic* b = Read(bytes);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(RingSize(PrtStdPropertyTable::GetRing()), 2);
    EXPECT_EQ(ClassRingSize(PrtStdEmitterClass::GetRing()), 1);
    EXPECT_EQ(ClassRingSize(PrtStdParticleClass::GetRing()), 1);
    PrtStdEmitter* last = PrtStdAtomic::GetEmitters(b);
    ASSERT_NE(last, nullptr);
    ASSERT_NE(last->next, last);
    EXPECT_EQ(last->next->next, last);
    EXPECT_EQ(last->emitterClass, last->next->emitterClass);
    EXPECT_EQ(last->emitterClass->refCount, 2);
    EXPECT_EQ(last->particleClass->refCount, 2);
    EXPECT_EQ(last->emitterClass->table->refCount, 1);
    EXPECT_EQ(last->particleClass->table->refCount, 1);
    EXPECT_TRUE(last->flags & kPrtStdEmitterFlagFromStream);
    EXPECT_EQ(b->renderCallback, PrtStdAtomic::Render);
    // Classes made by the read get the standard callbacks and update.
    ASSERT_TRUE(Step(b, 0.1f));
}

TEST_F(ParticleStreams, StandardPropertyBlocksRoundTripByteForByte)
{
    StartPlugins();
    Atomic* a = Full();
    const std::vector<uint8_t> before = StandardBlocks(PrtStdAtomic::GetEmitters(a));
    EXPECT_EQ(before.size(), size_t(156 + 64 + 64 + 128 + 32 + 16 + 20));
    std::vector<uint8_t> bytes = Write(a);
    DropAll();
    Atomic* b = Read(bytes);
    ASSERT_NE(b, nullptr);
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(b);
    EXPECT_EQ(StandardBlocks(e), before);
    EXPECT_EQ(PrtStdEmitter::GetStandard(e)->rotationRate, 2.5f);
    EXPECT_EQ(PrtStdEmitter::GetStandard(e)->colour.blue, 30);
    EXPECT_EQ(e->batchSize, 32);
}

TEST_F(ParticleStreams, AnOlderStreamGrowsTheStandardEmitterAndLeavesTheRotationRateAtZero)
{
    StartPlugins();
    Atomic* a = Full();
    PrtStd::SetWriteVersion(2);
    std::vector<uint8_t> bytes = Write(a);
    PrtStd::SetWriteVersion(3);
    EXPECT_EQ(Word(bytes, 0) >> 24, 2u);
    // The emitter table's first size as written: the older 168 bytes.
    const size_t emitterTable = 4 + 20 + 12 + (8 + 8 * 5) + 12;
    EXPECT_EQ(Word(bytes, emitterTable + 4), 7u);
    EXPECT_EQ(Word(bytes, emitterTable + 8 + 7 * 4), 168u);
    DropAll();
    Atomic* b = Read(bytes);
    ASSERT_NE(b, nullptr);
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(b);
    const PrtStdPropertyTable* t = e->emitterClass->table;
    EXPECT_EQ(t->sizes[PrtStdPropertyTable::GetIndex(t, EP::kStandardId)], EP::kStandardSize);
    EXPECT_EQ(PrtStdEmitter::GetStandard(e)->rotationRate, 0.0f);
    EXPECT_EQ(PrtStdEmitter::GetStandard(e)->maxParticles, 40);
    // The blocks after the standard emitter are still read in step.
    EXPECT_EQ(PrtStdEmitter::GetTankBlock(e)->emitMask, 0x1234u);
    EXPECT_EQ(PrtStd::GetStreamVersion(), 0);
}

TEST_F(ParticleStreams, AnAtomicWithoutEmittersWritesNothing)
{
    StartPlugins();
    Atomic* a = Atomic::Create();
    EXPECT_EQ(PrtStdAtomic::StreamGetSize(a, 0, 0), 0);
    EXPECT_EQ(PluginRegistry::GetExtensionSize(Atomic::Registry(), a), 0);
    Atomic::Destroy(a);
}

TEST_F(ParticleStreams, ClassesAreBoundToTheTablesOfTheirOwnRecordWhateverTheIdsSay)
{
    StartPlugins();
    // {1, 6} and {0, 7} hash to one table id.
    PrtStdEmitterClass* ec = EmitterClass({1, 6});
    PrtStdParticleClass* pc = ParticleClass({0, 7});
    ASSERT_EQ(ec->table->id, pc->table->id);
    Atomic* a = ParticleAtomic(ec, pc, 4);
    std::vector<uint8_t> bytes = Write(a);
    const uint32_t storedId = ec->id;
    DropAll();
    // An unrelated live class that has the stored emitter class id.
    PrtStdEmitterClass* other = EmitterClass({9});
    // The record's emitter class id and the emitter class chunk's (after two 2-property
    // tables and the particle class).
    const size_t classChunk = 4 + 20 + 2 * (12 + 8 + 16) + (12 + 8) + 12;
    ASSERT_EQ(Word(bytes, 4), storedId);
    ASSERT_EQ(Word(bytes, classChunk), storedId);
    std::memcpy(bytes.data() + 4, &other->id, 4);
    std::memcpy(bytes.data() + classChunk, &other->id, 4);
    Atomic* b = Read(bytes);
    ASSERT_NE(b, nullptr);
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(b);
    EXPECT_NE(e->emitterClass, other);
    EXPECT_EQ(PrtStdPropertyTable::GetIndex(e->emitterClass->table, 6), 1);
    EXPECT_EQ(PrtStdPropertyTable::GetIndex(e->particleClass->table, 7), 1);
    EXPECT_NE(PrtStdEmitter::GetTankBlock(e), nullptr);
}

TEST_F(ParticleStreams, ADamagedRecordFailsTheAtomicAndLeavesNothingBehind)
{
    StartPlugins();
    PrtStdEmitterClass* ec = EmitterClass({1, 6});
    PrtStdParticleClass* pc = ParticleClass({0, 1});
    Atomic* a = ParticleAtomic(ec, pc, 8);
    PrtStdEmitter* second = PrtStdEmitter::Create(ec, nullptr);
    PrtStdEmitter::SetParticleClass(second, pc, 8);
    PrtStdAtomic::AddEmitter(a, second);
    std::vector<uint8_t> bytes = Write(a);
    DropAll();
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Case cases[] = {
        {"count beyond the data", 0, 0x3000050u},
        {"newer version", 0, 0x4000002u},
        {"negative batch size", 4 + 12, 0xFFFFFFF0u},
        {"classes flag neither 0 nor 1", 4 + 16, 2u},
        {"table count over its chunk", 4 + 20 + 12 + 4, 3u},
        {"first table not a property table", 4 + 20, 6u},
    };
    for (const Case& c : cases)
    {
        std::vector<uint8_t> copy = bytes;
        std::memcpy(copy.data() + c.at, &c.value, 4);
        EXPECT_EQ(Read(copy), nullptr) << c.what;
        EXPECT_EQ(PrtStdPropertyTable::GetRing(), nullptr) << c.what;
        EXPECT_EQ(PrtStdEmitterClass::GetRing(), nullptr) << c.what;
    }
    // Cut inside the second record: the first one read is not kept either.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 8);
    EXPECT_EQ(Read(cut), nullptr);
    EXPECT_EQ(PrtStdEmitterClass::GetRing(), nullptr);
}

TEST_F(ParticleStreams, AMissingTextureReadsAsNoneButATextureFlagWithoutItsChunkFails)
{
    StartPlugins();
    Atomic* a = ParticleAtomic(EmitterClass({1}), ParticleClass({0}), 4);
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(a);
    Texture* t = Texture::Create(Raster::Create(2, 2, 0, kRasterTypeTexture));
    Texture::SetName(t, "nowhere_to_be_found");
    PrtStdEmitter::GetStandard(e)->texture = t;
    std::vector<uint8_t> bytes = Write(a);
    PrtStdEmitter::GetStandard(e)->texture = nullptr;
    Texture::Destroy(t);
    DropAll();
    Atomic* b = Read(bytes);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(PrtStdEmitter::GetStandard(PrtStdAtomic::GetEmitters(b))->texture, nullptr);

    // The texture chunk's type changed: the flag finds no chunk.
    std::vector<uint8_t> copy = bytes;
    for (size_t at = 4; at + 4 <= copy.size(); at += 4)
        if (Word(copy, at) == kChunkTexture && Word(copy, at - 4) == 1u)
        {
            const uint32_t other = 0x7777;
            std::memcpy(copy.data() + at, &other, 4);
            break;
        }
    EXPECT_EQ(Read(copy), nullptr);
}

TEST_F(ParticleStreams, MutatedStreamsAreReadSafely)
{
    StartPlugins();
    Atomic* a = Full();
    PrtStdEmitter* second = PrtStdEmitter::Create(PrtStdAtomic::GetEmitters(a)->emitterClass, nullptr);
    PrtStdEmitter::SetParticleClass(second, PrtStdAtomic::GetEmitters(a)->particleClass, 8);
    PrtStdAtomic::AddEmitter(a, second);
    const std::vector<uint8_t> bytes = Write(a);
    DropAll();
    SweepMutations(bytes, 3000, [this](std::vector<uint8_t>& copy) {
        Atomic* b = Atomic::Create();
        Stream* s = OpenReader(copy);
        PrtStdAtomic::StreamRead(s, int32_t(copy.size()), b, 0, 0);
        Stream::Close(s, nullptr);
        Atomic::Destroy(b);
        Error e;
        Error::Get(&e);
    });
    EXPECT_EQ(PrtStdPropertyTable::GetRing(), nullptr);
    EXPECT_EQ(PrtStdEmitterClass::GetRing(), nullptr);
    EXPECT_EQ(PrtStdParticleClass::GetRing(), nullptr);
}

} // namespace
