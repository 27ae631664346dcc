// The vertex-shader cache on a started device: sorted entries, hits, eviction of the oldest
// stamp with its shader released, and failures cached as null.
#include "d3d9driverfixture.h"
#include "vertexshader.h"

#include <gtest/gtest.h>

namespace
{

using d3d9driver::DriverTest;

class VertexShaderCacheTest : public DriverTest
{
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        Start();
        VertexShaderCache::Open();
    }
    void TearDown() override
    {
        VertexShaderCache::Close();
        DriverTest::TearDown();
    }

    // Distinct valid descriptors: point and directional counts and texture sets.
    static VertexShaderDescriptor Descriptor(int i)
    {
        return {uint8_t(i & 0x33), uint8_t(((i >> 2) & 3) << 4), kVsNormals, uint8_t((i >> 6) & 3)};
    }

    static void ExpectSorted()
    {
        for (int32_t i = 1; i < VertexShaderCache::GetCount(); ++i)
            ASSERT_LT(VertexShaderCache::GetKey(i - 1), VertexShaderCache::GetKey(i)) << i;
    }
};

TEST_F(VertexShaderCacheTest, HitsReturnTheCachedShaderAndRegisters)
{
    const VertexShaderDescriptor fog{0x01, 0x10, kVsNormals | kVsMaterialColour, 1};
    VertexShaderRegisters registers{};
    IDirect3DVertexShader9* shader = VertexShaderCache::Find(&fog, &registers);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(registers.materialColour, 7);
    EXPECT_EQ(registers.fog, 8);

    d3d9test::EnableCallLog(true);
    d3d9test::ClearCallLog();
    const VertexShaderDescriptor plain{0, 0, 0, 0};
    VertexShaderRegisters other{};
    IDirect3DVertexShader9* plainShader = VertexShaderCache::Find(&plain, &other);
    ASSERT_NE(plainShader, nullptr);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexShader"), 1u);

    registers = {};
    EXPECT_EQ(VertexShaderCache::Find(&fog, &registers), shader);
    EXPECT_EQ(VertexShaderCache::Lookup(nullptr, &fog, &registers), shader);
    EXPECT_EQ(registers.materialColour, 7);
    EXPECT_EQ(registers.fog, 8);
    EXPECT_EQ(VertexShaderCache::Find(&plain, &other), plainShader);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexShader"), 1u);
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(VertexShaderCache::GetCount(), 2);
    ExpectSorted();
}

TEST_F(VertexShaderCacheTest, FailuresAreCachedAsNull)
{
    d3d9test::FailNext(d3d9test::Fault::CreateResource, E_OUTOFMEMORY);
    const VertexShaderDescriptor d{0x01, 0x00, kVsNormals, 0};
    VertexShaderRegisters registers{};
    EXPECT_EQ(VertexShaderCache::Find(&d, &registers), nullptr);
    d3d9test::EnableCallLog(true);
    d3d9test::ClearCallLog();
    EXPECT_EQ(VertexShaderCache::Find(&d, &registers), nullptr);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexShader"), 0u);
    d3d9test::EnableCallLog(false);

    // A refused descriptor is reported, and cached too.
    d3d9driver::TakeError();
    const VertexShaderDescriptor fiveBones{0, 0, uint8_t(5 << 1), 0};
    EXPECT_EQ(VertexShaderCache::Find(&fiveBones, &registers), nullptr);
    EXPECT_EQ(d3d9driver::TakeError(), kErrBadArgument);
    EXPECT_EQ(VertexShaderCache::GetCount(), 2);
}

TEST_F(VertexShaderCacheTest, TheFullCacheEvictsTheOldestStampAndStaysSorted)
{
    Engine* engine = Engine::Current();
    IDirect3DVertexShader9* shaders[257] = {};
    VertexShaderRegisters registers{};
    // Inserted in a scattered key order, each in its own frame.
    for (int i = 0; i < 256; ++i)
    {
        int k = (i * 37) % 256;
        engine->renderFrame = uint16_t(100 + i);
        VertexShaderDescriptor d = Descriptor(k);
        shaders[k] = VertexShaderCache::Find(&d, &registers);
        ASSERT_NE(shaders[k], nullptr) << k;
        ExpectSorted();
    }
    ASSERT_EQ(VertexShaderCache::GetCount(), 256);

    // The first inserted (k 0, frame 100) is used again, so the second (k 37) is the oldest.
    engine->renderFrame = 1000;
    VertexShaderDescriptor first = Descriptor(0);
    EXPECT_EQ(VertexShaderCache::Find(&first, &registers), shaders[0]);

    shaders[37]->AddRef();
    ASSERT_EQ(d3d9test::RefCount(shaders[37]), 2u);
    const VertexShaderDescriptor fresh{0x01, 0x00, kVsNormals, 2 << 2}; // kind 2: not among the 256
    IDirect3DVertexShader9* added = VertexShaderCache::Find(&fresh, &registers);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(d3d9test::RefCount(shaders[37]), 1u);
    shaders[37]->Release();
    EXPECT_EQ(VertexShaderCache::GetCount(), 256);
    ExpectSorted();

    // The evicted key is generated again; the others are still there.
    d3d9test::EnableCallLog(true);
    d3d9test::ClearCallLog();
    VertexShaderDescriptor kept = Descriptor(74);
    EXPECT_EQ(VertexShaderCache::Find(&kept, &registers), shaders[74]);
    EXPECT_EQ(VertexShaderCache::Find(&fresh, &registers), added);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexShader"), 0u);
    VertexShaderDescriptor evicted = Descriptor(37);
    EXPECT_NE(VertexShaderCache::Find(&evicted, &registers), nullptr);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexShader"), 1u);
    d3d9test::EnableCallLog(false);
}

} // namespace
