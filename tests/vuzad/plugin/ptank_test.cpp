// The particle tank's generic layer: flag normalisation, the two data layouts, locking,
// failed creations and the render callback's driver.
#include "plugin_fixture.h"

#include "geometry.h"
#include "material.h"
#include "ptankd3d9.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace
{
using plugintest::PluginTest;

TEST(PTankFlags, NormalisationTable)
{
    struct Case
    {
        uint32_t given;
        uint32_t expected;
    };
    const Case cases[] = {
        // Each (per particle, constant) pair: the constant wins and a position array is made.
        {0x8 | 0x8000, 0x8000 | 0x1 | 0x10000000},
        {0x20 | 0x20000, 0x20000 | 0x1 | 0x10000000},
        {0x40 | 0x40000, 0x40000 | 0x1 | 0x10000000},
        {0x80 | 0x80000, 0x80000 | 0x1 | 0x10000000},
        {0x100 | 0x100000, 0x100000 | 0x1 | 0x10000000},
        // A per-particle matrix carries position, size and rotation.
        {0x8 | 0x1 | 0x4 | 0x20 | 0x2, 0x8 | 0x2 | 0x10000000},
        // The matrix with a constant one: the constant-size quad needs the position array.
        {0x8 | 0x8000 | 0x4, 0x8000 | 0x4 | 0x1 | 0x10000000},
        // No position: one is added.
        {0x2, 0x3 | 0x10000000},
        {0, 0x1 | 0x10000000},
        // A layout bit given is kept.
        {0x1 | 0x20000000, 0x1 | 0x20000000},
        {0x1 | 0x10000000 | 0x20000000, 0x1 | 0x10000000 | 0x20000000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PTank::NormaliseFlags(c.given), c.expected) << std::hex << c.given;
}

TEST_F(PluginTest, ArraysLayoutGivesEachPropertyItsOwnAlignedArrayInLayoutOrder)
{
    StartPlugins();
    const int32_t n = 10;
    Atomic* atomic = Tank(n, kPTankPosition | kPTankColour | kPTankSize | kPTankTexCoords2 | kPTankMatrix | 0x8000);
    ASSERT_NE(atomic, nullptr);
    const PTankRecord* tank = PTank::Get(atomic);
    const PTankData& d = tank->data;
    EXPECT_EQ(d.format.dataFlags,
              kPTankPosition | kPTankColour | kPTankSize | kPTankTexCoords2 | 0x8000 | kPTankArrays);
    EXPECT_EQ(d.format.numProperties, 4);
    EXPECT_EQ(d.format.structureStride, 0);
    EXPECT_EQ(d.slots[kPTankSlotMatrix].data, nullptr) << "the constant matrix wins";
    auto* base = static_cast<char*>(d.slots[kPTankSlotPosition].data);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 16, 0u);
    // position, size, colour, two pairs: one after another without gaps.
    EXPECT_EQ(d.slots[kPTankSlotPosition].stride, 12);
    EXPECT_EQ(static_cast<char*>(d.slots[kPTankSlotSize].data), base + 12 * n);
    EXPECT_EQ(d.slots[kPTankSlotSize].stride, 8);
    EXPECT_EQ(static_cast<char*>(d.slots[kPTankSlotColour].data), base + 20 * n);
    EXPECT_EQ(d.slots[kPTankSlotColour].stride, 4);
    EXPECT_EQ(static_cast<char*>(d.slots[kPTankSlotTexCoords2].data), base + 24 * n);
    EXPECT_EQ(d.slots[kPTankSlotTexCoords2].stride, 16);
    // The block is the arrays plus room to align them.
    ASSERT_EQ(TestMemory::live.count(tank->dataBlock), 1u);
    EXPECT_EQ(TestMemory::live[tank->dataBlock].size, size_t(40 * n + 16));
    EXPECT_EQ(TestMemory::live[tank->dataBlock].hint, PTank::kRecordHint);
}

TEST_F(PluginTest, StructureLayoutOfPositionAndColourHasStride16WithColourAt12)
{
    StartPlugins();
    Atomic* atomic = Tank(8, kPTankPosition | kPTankColour | kPTankStructure);
    ASSERT_NE(atomic, nullptr);
    const PTankData& d = PTank::Get(atomic)->data;
    EXPECT_EQ(d.format.structureStride, 16);
    EXPECT_EQ(d.format.numProperties, 2);
    auto* base = static_cast<char*>(d.slots[kPTankSlotPosition].data);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 16, 0u);
    EXPECT_EQ(static_cast<char*>(d.slots[kPTankSlotColour].data), base + 12);
    PTankSlot slot;
    ASSERT_TRUE(PTank::Lock(atomic, &slot, kPTankColour, 0));
    EXPECT_EQ(slot.stride, 16) << "a lock hands out the structure stride";
    EXPECT_EQ(TestMemory::live[PTank::Get(atomic)->dataBlock].hint, PTank::kStructureHint);

    // A matrix record is the 64-byte engine matrix in the structure too.
    Atomic* matrices = Tank(4, kPTankMatrix | kPTankColour | kPTankStructure);
    ASSERT_NE(matrices, nullptr);
    EXPECT_EQ(PTank::Get(matrices)->data.format.structureStride, 64 + 4);
}

TEST_F(PluginTest, LockOfAnAbsentPropertyFailsAndRecordsNothingWhileLocksAccumulateUntilUnlock)
{
    StartPlugins();
    Atomic* atomic = Tank(4, kPTankPosition | kPTankColour);
    ASSERT_NE(atomic, nullptr);
    PTankRecord* tank = PTank::Get(atomic);
    tank->instanceFlags = 0;

    PTankSlot slot = {&slot, 99};
    EXPECT_FALSE(PTank::Lock(atomic, &slot, kPTankSize, kPTankLockWrite));
    EXPECT_EQ(slot.data, nullptr);
    EXPECT_EQ(slot.stride, 0);
    EXPECT_EQ(tank->lockFlags, 0u);

    // Without the write flag nothing is recorded.
    ASSERT_TRUE(PTank::Lock(atomic, &slot, kPTankPosition, 0x1000));
    EXPECT_EQ(slot.data, tank->data.slots[kPTankSlotPosition].data);
    EXPECT_EQ(tank->lockFlags, 0u);

    ASSERT_TRUE(PTank::Lock(atomic, &slot, kPTankPosition, kPTankLockWrite | 0x1000));
    ASSERT_TRUE(PTank::Lock(atomic, &slot, kPTankColour, kPTankLockWrite | 0x2000));
    EXPECT_EQ(tank->lockFlags, kPTankPosition | kPTankColour | kPTankLockWrite | 0x3000u);
    EXPECT_EQ(tank->instanceFlags, 0u) << "nothing moves before the unlock";
    PTank::Unlock(atomic);
    EXPECT_EQ(tank->instanceFlags, kPTankPosition | kPTankColour | kPTankLockWrite | 0x3000u);
    EXPECT_EQ(tank->lockFlags, 0u);
    EXPECT_EQ(PTank::GetFormat(atomic), &tank->data.format);
}

TEST_F(PluginTest, CreationSetsTheConstantDefaultsAndReadsTheEngineBlendStates)
{
    StartPlugins();
    Engine* engine = Engine::Current();
    ASSERT_TRUE(engine->device.setRenderState(kRenderStateSourceBlend, 2));
    ASSERT_TRUE(engine->device.setRenderState(kRenderStateDestBlend, 9));
    ASSERT_TRUE(engine->device.setRenderState(kRenderStateVertexAlpha, 1));
    Atomic* atomic = Tank(4, 0);
    ASSERT_NE(atomic, nullptr);
    const PTankRecord* tank = PTank::Get(atomic);
    EXPECT_EQ(tank->maxCount, 4);
    EXPECT_EQ(tank->activeCount, 0);
    EXPECT_EQ(tank->instanceFlags, 0xFFFFFFFFu);
    EXPECT_EQ(atomic->renderCallback, PTank::Render);
    EXPECT_EQ(tank->savedRender, Atomic::DefaultRender);
    const PTankData& d = tank->data;
    EXPECT_EQ(d.sourceBlend, 2);
    EXPECT_EQ(d.destBlend, 9);
    EXPECT_EQ(d.vertexAlpha, 1);
    EXPECT_EQ(d.size.x, 1.0f);
    EXPECT_EQ(d.size.y, 1.0f);
    EXPECT_EQ(d.colour.alpha, 255);
    EXPECT_EQ(d.colour.red, 0);
    EXPECT_EQ(d.vertexColours[3].alpha, 255);
    EXPECT_EQ(d.texCoords[1].x, 0.0f);
    EXPECT_EQ(d.texCoords[1].y, 1.0f) << "the default two pairs map every quad to u = 0";
    EXPECT_EQ(d.texCoords[2].x, 1.0f);
    EXPECT_EQ(d.matrix.flags, 0x20003u);
    EXPECT_EQ(d.matrix.right.x, 1.0f);
    EXPECT_EQ(d.matrix.at.z, 1.0f);
}

// ---- Failed creations leave nothing ----------------------------------------------------------------

int sCreateCalls = 0;
int32_t FailingCreate(Atomic*, PTankData*, int32_t, uint32_t, int32_t)
{
    ++sCreateCalls;
    return 0;
}

TEST_F(PluginTest, AFailedCreationDestroysTheAtomicWithoutTouchingAGeometryItNeverHad)
{
    StartPlugins();
    const size_t atomicsBefore = TestMemory::CountLive(PTank::kRecordHint);

    // Refused record, refused data block, a create hook answering 0: each leaves nothing.
    TestMemory::refuse = [](size_t size, uint32_t hint)
    { return hint == PTank::kRecordHint && size == sizeof(PTankRecord); };
    EXPECT_EQ(PTank::CreateAtomic(4, kPTankPosition, 0), nullptr);
    TestMemory::refuse = [](size_t size, uint32_t hint)
    { return hint == PTank::kRecordHint && size != sizeof(PTankRecord); };
    EXPECT_EQ(PTank::CreateAtomic(4, kPTankPosition, 0), nullptr) << "the destructor runs before any geometry exists";
    TestMemory::refuse = nullptr;
    const PTankPlatform failing = {nullptr, FailingCreate, PTank::Instance, nullptr};
    EXPECT_EQ(PTank::CreateAtomicWithPlatform(4, kPTankPosition | kPTankArrays, 0, &failing), nullptr);
    EXPECT_EQ(sCreateCalls, 1);
    EXPECT_EQ(TestMemory::CountLive(PTank::kRecordHint), atomicsBefore);

    // The same on the Direct3D 9 hook with its geometry refused.
    TestMemory::refuse = [](size_t, uint32_t hint) { return (hint & 0xFFFF) == 8; };
    EXPECT_EQ(PTank::CreateAtomic(4, kPTankPosition, 0), nullptr);
    TestMemory::refuse = nullptr;
    EXPECT_EQ(TestMemory::CountLive(PTank::kRecordHint), atomicsBefore);
}

TEST_F(PluginTest, DestroyingATankClearsItsMaterialTextureAndFreesItsBlocks)
{
    StartPlugins();
    Atomic* atomic = Tank(4, kPTankPosition | kPTankColour);
    ASSERT_NE(atomic, nullptr);
    Material* material = atomic->geometry->materials.materials[0];
    Material::AddRef(material);
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture);
    Texture* texture = Texture::Create(raster);
    ASSERT_NE(texture, nullptr);
    Material::SetTexture(material, texture);
    Texture::Destroy(texture);
    EXPECT_EQ(TestMemory::CountLive(PTank::kRecordHint), 2u) << "record and data block";
    Forget(atomic);
    Atomic::Destroy(atomic);
    EXPECT_EQ(material->texture, nullptr);
    EXPECT_EQ(TestMemory::CountLive(PTank::kRecordHint), 0u);
    Material::Destroy(material);
}

// ---- The render callback's driver --------------------------------------------------------------------

struct Counts
{
    int begin = 0, position = 0, texCoords = 0, colour = 0, normal = 0, end = 0, render = 0, saved = 0;
    int32_t lastCount = -1;
    uint32_t lastFlags = 0;
    int32_t renderAnswer = 0;
};
Counts sCounts;
float sSink[64];

void Begin(PTankInstanceDesc* desc, Atomic*, PTankData*, int32_t count, uint32_t flags)
{
    ++sCounts.begin;
    sCounts.lastCount = count;
    sCounts.lastFlags = flags;
    EXPECT_EQ(desc->positions.data, nullptr) << "cleared before begin";
    desc->positions = {sSink, 12};
    desc->colours = {sSink, 4}; // texture coordinates and normals stay null: their callbacks are skipped
}
void End(PTankInstanceDesc*, Atomic*, PTankData*, int32_t, uint32_t)
{
    ++sCounts.end;
}
void Position(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*)
{
    ++sCounts.position;
}
void TexCoords(const PTankSlot*, int32_t, const PTankData*)
{
    ++sCounts.texCoords;
}
void ColourCb(const PTankSlot*, int32_t, const PTankData*)
{
    ++sCounts.colour;
}
void NormalCb(const PTankSlot*, int32_t, const PTankData*)
{
    ++sCounts.normal;
}
int32_t RenderHook(Atomic*, PTankData*, int32_t)
{
    ++sCounts.render;
    return sCounts.renderAnswer;
}
Atomic* Saved(Atomic* atomic)
{
    ++sCounts.saved;
    return atomic;
}

TEST_F(PluginTest, RenderInstancesActiveParticlesOnlyAndRunsTheSavedCallbackWhenTheHookAsks)
{
    StartPlugins();
    sCounts = {};
    const PTankPlatform platform = {nullptr, nullptr, PTank::Instance, RenderHook};
    Atomic* atomic = PTank::CreateAtomicWithPlatform(8, kPTankPosition | kPTankArrays, 0, &platform);
    ASSERT_NE(atomic, nullptr);
    mAtomics.push_back(atomic);
    PTankRecord* tank = PTank::Get(atomic);
    tank->callbacks = {Begin, Position, TexCoords, ColourCb, NormalCb, End};
    tank->savedRender = Saved;

    // No active particle: nothing at all, and the instance flags stay.
    EXPECT_EQ(PTank::Render(atomic), atomic);
    EXPECT_EQ(sCounts.begin + sCounts.render + sCounts.saved, 0);
    EXPECT_EQ(tank->instanceFlags, 0xFFFFFFFFu);

    tank->activeCount = 3;
    EXPECT_EQ(atomic->renderCallback(atomic), atomic);
    EXPECT_EQ(sCounts.begin, 1);
    EXPECT_EQ(sCounts.lastCount, 3);
    EXPECT_EQ(sCounts.lastFlags, 0xFFFFFFFFu);
    EXPECT_EQ(sCounts.position, 1);
    EXPECT_EQ(sCounts.colour, 1);
    EXPECT_EQ(sCounts.texCoords + sCounts.normal, 0) << "null destinations are skipped";
    EXPECT_EQ(sCounts.end, 1);
    EXPECT_EQ(sCounts.render, 1);
    EXPECT_EQ(sCounts.saved, 0) << "a render hook answering 0 ends the render";
    EXPECT_EQ(tank->instanceFlags, 0u);

    sCounts.renderAnswer = 1;
    tank->activeCount = 100; // more than the tank holds: only its capacity is instanced
    PTank::Render(atomic);
    EXPECT_EQ(sCounts.lastCount, 8);
    EXPECT_EQ(sCounts.lastFlags, 0u);
    EXPECT_EQ(sCounts.saved, 1);
}

TEST(PTankCallbackChoice, FirstMatchingRowOfTheTablesIsTaken)
{
    struct Case
    {
        uint32_t flags;
        PTankPositionCallback position;
        PTankPropertyCallback texCoords;
        PTankPropertyCallback colour;
    };
    using C = PTankCallback;
    const Case cases[] = {
        {0x8 | 0x20 | 0x4, C::QuadMatrix, nullptr, C::ConstantColour},
        {0x8 | 0x1000000, C::QuadMatrixCentre, nullptr, C::ConstantColour},
        {0x8000 | 0x20 | 0x1, C::QuadConstant, nullptr, C::ConstantColour},
        {0x20 | 0x4 | 0x1, C::QuadRotatedSize, nullptr, C::ConstantColour},
        {0x20 | 0x4 | 0x1 | 0x1000000, C::QuadRotatedSizeCentre, nullptr, C::ConstantColour},
        {0x20 | 0x1, C::QuadRotated, nullptr, C::ConstantColour},
        {0x20 | 0x1 | 0x1000000, C::QuadRotatedCentre, nullptr, C::ConstantColour},
        {0x4 | 0x1, C::QuadSize, nullptr, C::ConstantColour},
        {0x4 | 0x1 | 0x1000000, C::QuadSizeCentre, nullptr, C::ConstantColour},
        {0x1 | 0x1000000, C::QuadConstantCentre, nullptr, C::ConstantColour},
        {0x1 | 0x80 | 0x100 | 0x2 | 0x40, C::QuadConstant, C::TexCoords2, C::Colour},
        {0x1 | 0x100 | 0x80000 | 0x40 | 0x40000, C::QuadConstant, C::TexCoords4, C::VertexColours},
        {0x1 | 0x80000 | 0x100000 | 0x40000, C::QuadConstant, C::ConstantTexCoords2, C::ConstantVertexColours},
        {0x1 | 0x100000, C::QuadConstant, C::ConstantTexCoords4, C::ConstantColour},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags);
        const PTankCallbacks chosen = PTank::ChooseCallbacks(c.flags);
        EXPECT_EQ(chosen.position, c.position);
        EXPECT_EQ(chosen.texCoords, c.texCoords);
        EXPECT_EQ(chosen.colour, c.colour);
        EXPECT_EQ(chosen.normal, (c.flags & 0x10) ? C::Normal : nullptr);
    }
}

} // namespace
