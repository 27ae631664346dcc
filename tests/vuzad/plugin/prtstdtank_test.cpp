// The emitter particle tank: the block's defaults and settings copy, its lock into arrays in
// bit order, binding a tank, and the tank that CreatePTank makes from an emitter's class.
#include "plugin_fixture.h"

#include "geometry.h"
#include "material.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class EmitterTank : public plugintest::PluginTest
{
protected:
    void TearDown() override
    {
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
        {
            for (PrtStdEmitter* e : mEmitters)
                PrtStdEmitter::Destroy(e);
            for (PrtStdEmitterClass* c : mClasses)
                PrtStdEmitterClass::Destroy(c);
            if (mTexture)
                Texture::Destroy(mTexture);
        }
        PluginTest::TearDown();
    }

    /// An emitter of a class with the standard emitter, the tank block and the extra
    /// standard ids given.
    PrtStdEmitter* Emitter(std::vector<int32_t> extra)
    {
        std::vector<int32_t> ids = {PrtStdEmitterProperty::kStandardId, PrtStdEmitterProperty::kTankId};
        std::vector<int32_t> sizes = {PrtStdEmitterProperty::kStandardSize, PrtStdEmitterProperty::kTankSize};
        for (int32_t id : extra)
        {
            ids.push_back(id);
            const int32_t size[] = {0, 0, 64, 64, 16, 32, 0, 0, 116};
            sizes.push_back(size[id]);
        }
        PrtStdPropertyTable* table = PrtStdPropertyTable::Create(int32_t(ids.size()), ids.data(), sizes.data());
        PrtStdEmitterClass* c = PrtStdEmitterClass::Create();
        PrtStdParticleClass::SetPropertyTable(c, table);
        PrtStdPropertyTable::Destroy(table);
        mClasses.push_back(c);
        PrtStdEmitter* e = PrtStdEmitter::Create(c, nullptr);
        if (e)
            mEmitters.push_back(e);
        return e;
    }

    Texture* SomeTexture()
    {
        if (!mTexture)
            mTexture = Texture::Create(Raster::Create(2, 2, 0, kRasterTypeTexture));
        return mTexture;
    }

    std::vector<PrtStdEmitter*> mEmitters;
    std::vector<PrtStdEmitterClass*> mClasses;
    Texture* mTexture = nullptr;
};

TEST_F(EmitterTank, TheBlockStartsWithoutATankAndCopiesOnlyItsSettings)
{
    StartPlugins();
    PrtStdEmitter* e = Emitter({});
    ASSERT_NE(e, nullptr);
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->tank, nullptr);
    EXPECT_EQ(block->lockedProperties, 0u);
    EXPECT_EQ(block->platformFlags, 0);
    EXPECT_EQ(block->capacity, 0);
    EXPECT_EQ(block->sources, nullptr);
    EXPECT_EQ(block->updateMask, 0xFFFFFFFFu);
    EXPECT_EQ(block->emitMask, 0xFFFFFFFFu);
    EXPECT_EQ(block->sourceBlend, 2);
    EXPECT_EQ(block->destBlend, 2);
    EXPECT_EQ(block->vertexAlpha, 1);

    PrtStdEmitter* other = Emitter({});
    PrtStdTankBlock* to = PrtStdEmitter::GetTankBlock(other);
    PrtStdEmitter::GetStandard(e)->maxParticles = 4;
    ASSERT_EQ(PrtStdEmitter::CreatePTank(e), e);
    block->platformFlags = 1;
    block->updateMask = 0x5;
    block->destBlend = 6;
    block->writtenCount = 3;
    PrtStdTankBlock::CopySettings(to, block);
    EXPECT_EQ(to->platformFlags, 1);
    EXPECT_EQ(to->updateMask, 0x5u);
    EXPECT_EQ(to->destBlend, 6);
    EXPECT_EQ(to->capacity, 4);
    EXPECT_EQ(to->lockedProperties, block->lockedProperties);
    EXPECT_EQ(to->tank, nullptr);
    EXPECT_EQ(to->sources, nullptr);
    EXPECT_EQ(to->writtenCount, 0);
}

TEST_F(EmitterTank, LockFillsTheArraysInBitOrderAndASecondAttachIsRefused)
{
    StartPlugins();
    PrtStdEmitter* e = Emitter({});
    // Layout order puts size before colour; the arrays follow bit order instead.
    Atomic* tank = Tank(8, kPTankPosition | kPTankColour | kPTankSize);
    ASSERT_NE(tank, nullptr);
    Forget(tank); // the emitter owns it from here
    PTankRecord* record = PTank::Get(tank);
    record->instanceFlags = 0;
    record->activeCount = 5;
    ASSERT_EQ(PrtStdEmitter::AttachPTank(e, tank), e);
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e);
    EXPECT_EQ(block->tank, tank);
    EXPECT_EQ(block->capacity, 8);
    EXPECT_EQ(record->activeCount, 0);
    EXPECT_EQ(record->instanceFlags, kPTankMarkActiveCount);
    ASSERT_NE(block->sources, nullptr);

    EXPECT_EQ(PrtStdTankBlock::Lock(block), block);
    EXPECT_EQ(block->lockedProperties, kPTankPosition | kPTankColour | kPTankSize);
    const PTankData& d = record->data;
    EXPECT_EQ(block->sources[0], d.slots[kPTankSlotPosition].data);
    EXPECT_EQ(block->sources[1], d.slots[kPTankSlotColour].data);
    EXPECT_EQ(block->sources[2], d.slots[kPTankSlotSize].data);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(block->destinations[i], block->sources[i]);
    EXPECT_EQ(std::vector<int32_t>(block->strides, block->strides + 3), (std::vector<int32_t>{12, 4, 8}));
    EXPECT_EQ(record->lockFlags, kPTankPosition | kPTankColour | kPTankSize | kPTankLockWrite);

    Atomic* second = Tank(4, kPTankPosition);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(PrtStdEmitter::AttachPTank(e, second), nullptr);
    EXPECT_EQ(block->tank, tank) << "nothing changes";
    EXPECT_EQ(block->capacity, 8);
    EXPECT_EQ(PrtStdEmitter::CreatePTank(e), nullptr) << "no tank is made over a bound one";
}

TEST_F(EmitterTank, CreatePTankChoosesTheTankFlagsFromTheClassAndTheStandardEmitter)
{
    StartPlugins();
    constexpr uint32_t A = kPTankArrays;
    struct Case
    {
        const char* name;
        std::vector<int32_t> extra;
        bool texture;
        float rotationRate;
        uint32_t flags;
        bool spin; ///< update mask bit 0x20000
    };
    const Case cases[] = {
        {"position", {}, false, 0, 0x1 | A, false},
        {"colour", {2}, false, 0, 0x3 | A, false},
        {"matrix and colour", {2, 8}, false, 0, 0xA | A, false},
        {"matrix", {8}, false, 0, 0x8 | A, false},
        {"texture and coordinates", {3}, true, 0, 0x1 | 0x80 | A, false},
        {"texture alone", {}, true, 0, 0x1 | 0x80000 | A, false},
        {"coordinates without texture", {3}, false, 0, 0x1 | A, false},
        {"size", {5}, false, 0, 0x1 | 0x4 | A, false},
        {"size with matrix", {5, 8}, false, 0, 0x8 | A, false},
        {"rotation property", {4}, false, 2.0f, 0x1 | 0x20 | A, false},
        {"spin", {}, false, 0.5f, 0x1 | 0x20000 | A, true},
        {"backward spin", {}, false, -0.5f, 0x1 | 0x20000 | A, true},
        {"spin at the threshold", {}, false, 0.00001f, 0x1 | A, false},
        {"spin with matrix", {8}, false, 0.5f, 0x8 | A, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        PrtStdEmitter* e = Emitter(c.extra);
        ASSERT_NE(e, nullptr);
        PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(e);
        s->maxParticles = 6;
        s->rotationRate = c.rotationRate;
        s->size = {2.5f, 0.5f};
        s->colour = {11, 22, 33, 44};
        s->texCoords[0] = {0.1f, 0.2f};
        s->texCoords[1] = {0.3f, 0.4f};
        s->texture = c.texture ? SomeTexture() : nullptr;
        PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e);
        block->platformFlags = 0x40;
        block->sourceBlend = 5;
        block->destBlend = 6;
        block->vertexAlpha = 0;
        ASSERT_EQ(PrtStdEmitter::CreatePTank(e), e);
        Atomic* tank = block->tank;
        ASSERT_NE(tank, nullptr);
        const PTankRecord* record = PTank::Get(tank);
        const PTankData& d = record->data;
        EXPECT_EQ(d.format.dataFlags, c.flags);
        EXPECT_EQ(record->maxCount, 6);
        EXPECT_EQ(block->capacity, 6);
        EXPECT_EQ(block->lockedProperties, c.flags);
        EXPECT_EQ(block->platformFlags, 0x40) << "restored after the attach";
        EXPECT_EQ(record->platformFlags, 0x40);
        EXPECT_EQ((block->updateMask & 0x20000) != 0, c.spin);
        EXPECT_NE(tank->object.frame, nullptr);
        EXPECT_EQ(d.sourceBlend, 5);
        EXPECT_EQ(d.destBlend, 6);
        EXPECT_EQ(d.vertexAlpha, 0);
        const Material* material = tank->geometry->materials.materials[0];
        EXPECT_EQ(material->texture, s->texture);
        uint32_t marks = kPTankMarkActiveCount | kPTankMarkCentre | kPTankMarkBlend;
        if (!(c.flags & kPTankColour))
        {
            marks |= kPTankMarkConstantColour;
            EXPECT_EQ(d.colour.green, 22);
            EXPECT_EQ(material->colour.alpha, 44);
        }
        if (c.flags & kPTankConstantTexCoords2)
        {
            marks |= kPTankMarkConstantTexCoords2;
            EXPECT_EQ(d.texCoords[1].y, 0.4f);
        }
        if (!(c.flags & kPTankSize))
        {
            marks |= kPTankMarkConstantSize;
            EXPECT_EQ(d.size.x, 2.5f);
        }
        // Creation marks everything; the attach and the constants add their own marks.
        EXPECT_EQ(record->instanceFlags & marks, marks);
    }
}

TEST_F(EmitterTank, CreatePTankNeedsTheStandardEmitterAndATankBlockAndSurvivesAFailedAttach)
{
    StartPlugins();
    // No standard emitter in the class.
    const int32_t ids[] = {PrtStdEmitterProperty::kTankId};
    const int32_t sizes[] = {PrtStdEmitterProperty::kTankSize};
    PrtStdPropertyTable* table = PrtStdPropertyTable::Create(1, ids, sizes);
    PrtStdEmitterClass* c = PrtStdEmitterClass::Create();
    mClasses.push_back(c);
    PrtStdParticleClass::SetPropertyTable(c, table);
    PrtStdPropertyTable::Destroy(table);
    PrtStdEmitter* bare = PrtStdEmitter::Create(c, nullptr);
    ASSERT_NE(bare, nullptr);
    mEmitters.push_back(bare);
    EXPECT_EQ(PrtStdEmitter::CreatePTank(bare), nullptr);
    EXPECT_EQ(PrtStdEmitter::CreatePTank(nullptr), nullptr);

    // The arrays refused: the tank stays bound and is destroyed with the emitter.
    PrtStdEmitter* e = Emitter({2});
    PrtStdEmitter::GetStandard(e)->maxParticles = 3;
    TestMemory::refuse = [](size_t size, uint32_t hint) { return hint == PrtStd::kHint && size == 2 * (16 + 4); };
    EXPECT_EQ(PrtStdEmitter::CreatePTank(e), nullptr);
    TestMemory::refuse = nullptr;
    EXPECT_NE(PrtStdEmitter::GetTankBlock(e)->tank, nullptr);
    EXPECT_EQ(PrtStdEmitter::GetTankBlock(e)->sources, nullptr);
    EXPECT_EQ(PrtStdTankBlock::Lock(PrtStdEmitter::GetTankBlock(e)), nullptr) << "no arrays to lock into";
    ASSERT_TRUE(PrtStdEmitter::Destroy(e));
    mEmitters.pop_back();
    EXPECT_EQ(TestMemory::CountLive(PTank::kRecordHint), 0u);
}

} // namespace
