// The choices of hardware skinning that need no device: blend-weight and bone-index
// declaration types from the caps, the bone-index remap, the bone registers, and the lights
// that give way when the constants run short.
#include "d3d9.h"
#include "skin.h"
#include "skinpipeline.h"
#include "vertexshader.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace
{

constexpr uint32_t kAll = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                          D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_DEC3N;

} // namespace

TEST(SkinHardware, DeclarationTypesFollowTheCapsInOrderOfPreference)
{
    struct Case
    {
        int32_t weights;
        uint32_t caps;
        int32_t weightType;
        int32_t indexType;
    };
    const Case cases[] = {
        {1, kAll, D3DDECLTYPE_UNUSED, D3DDECLTYPE_SHORT2},
        // Two weights: USHORT2N, SHORT2N, DEC3N, UBYTE4N, colour.
        {2, kAll, D3DDECLTYPE_USHORT2N, D3DDECLTYPE_SHORT2},
        {2, kAll & ~D3DDTCAPS_USHORT2N, D3DDECLTYPE_SHORT2N, D3DDECLTYPE_SHORT2},
        {2, D3DDTCAPS_DEC3N | D3DDTCAPS_UBYTE4N, D3DDECLTYPE_DEC3N, D3DDECLTYPE_SHORT2},
        {2, D3DDTCAPS_UBYTE4N | D3DDTCAPS_USHORT4N, D3DDECLTYPE_UBYTE4N, D3DDECLTYPE_SHORT2},
        {2, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_SHORT2},
        // Three weights: DEC3N, USHORT4N, SHORT4N, UBYTE4N, colour.
        {3, kAll, D3DDECLTYPE_DEC3N, D3DDECLTYPE_UBYTE4},
        {3, kAll & ~D3DDTCAPS_DEC3N, D3DDECLTYPE_USHORT4N, D3DDECLTYPE_UBYTE4},
        {3, D3DDTCAPS_SHORT4N | D3DDTCAPS_UBYTE4N | D3DDTCAPS_USHORT2N, D3DDECLTYPE_SHORT4N, D3DDECLTYPE_SHORT4},
        {3, D3DDTCAPS_UBYTE4N | D3DDTCAPS_UBYTE4, D3DDECLTYPE_UBYTE4N, D3DDECLTYPE_UBYTE4},
        {3, D3DDTCAPS_USHORT2N, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_SHORT4},
        // Four weights: USHORT4N, SHORT4N, UBYTE4N, colour (DEC3N holds only three).
        {4, kAll, D3DDECLTYPE_USHORT4N, D3DDECLTYPE_UBYTE4},
        {4, D3DDTCAPS_SHORT4N | D3DDTCAPS_DEC3N, D3DDECLTYPE_SHORT4N, D3DDECLTYPE_SHORT4},
        {4, D3DDTCAPS_UBYTE4N | D3DDTCAPS_DEC3N, D3DDECLTYPE_UBYTE4N, D3DDECLTYPE_SHORT4},
        {4, D3DDTCAPS_DEC3N | D3DDTCAPS_UBYTE4, D3DDECLTYPE_D3DCOLOR, D3DDECLTYPE_UBYTE4},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(SkinPipeline::ChooseWeightType(c.weights, c.caps), c.weightType)
            << c.weights << " weights, caps " << std::hex << c.caps;
        EXPECT_EQ(SkinPipeline::ChooseIndexType(c.weights, c.caps), c.indexType)
            << c.weights << " weights, caps " << std::hex << c.caps;
    }
}

TEST(SkinHardware, BonesAreRemappedBySplitSlotUsedPositionOrNumber)
{
    uint8_t used[] = {3, 4, 9};
    Skin skin{};
    skin.boneCount = 12;
    skin.usedBoneCount = 3;
    skin.usedBones = used;
    skin.bonesPerBatch = 3;
    uint8_t remap[256];

    // More nodes than the device's bone limit: the used bones packed by list position.
    SkinPipeline::BuildBoneRemap(&skin, 40, 28, remap);
    EXPECT_EQ(remap[3], 0);
    EXPECT_EQ(remap[4], 3);
    EXPECT_EQ(remap[9], 6);
    EXPECT_EQ(remap[5], 0) << "a bone no vertex uses";
    EXPECT_EQ(SkinPipeline::CountBoneRegisters(&skin, 40, 28), 9);

    // Nodes within the limit: by bone number, so every node's registers are reserved.
    SkinPipeline::BuildBoneRemap(&skin, 12, 28, remap);
    EXPECT_EQ(remap[3], 9);
    EXPECT_EQ(remap[9], 27);
    EXPECT_EQ(remap[85], 255);
    EXPECT_EQ(remap[86], 0) << "past what a byte can address";
    EXPECT_EQ(SkinPipeline::CountBoneRegisters(&skin, 12, 28), 36);

    // Split data: the slot of the remap table; bones without one keep 0.
    uint8_t block[12 + 2 + 2];
    for (uint8_t& b : block)
        b = 0xFF;
    block[3] = 2;
    block[4] = 0;
    block[9] = 1;
    skin.splitBlock = block;
    skin.splitMeshCount = 1;
    skin.splitRunCount = 1;
    skin.splitBoneLimit = 3;
    skin.bonesPerBatch = 3;
    SkinPipeline::BuildBoneRemap(&skin, 12, 28, remap);
    EXPECT_EQ(remap[3], 6);
    EXPECT_EQ(remap[4], 0);
    EXPECT_EQ(remap[9], 3);
    EXPECT_EQ(remap[0], 0);
    EXPECT_EQ(SkinPipeline::CountBoneRegisters(&skin, 12, 28), 9);
}

TEST(SkinHardware, LightsGiveWaySpotsPointsDirectionalThenFog)
{
    // 4 directional (8 registers), 3 points (1 + 6), 4 spots (1 + 16), linear fog, from c5.
    const VertexShaderDescriptor start{0x34, 0x04, 0, 1};
    ASSERT_EQ(VertexShader::CountConstants(&start), 5 + 8 + 7 + 17 + 1);
    struct Case
    {
        int32_t boneRegisters;
        uint8_t lights, spots, fog;
    };
    const Case cases[] = {
        {96 - 38, 0x34, 0x04, 1}, // fits as it is
        {60, 0x34, 0x03, 1},      // one spot: 36 registers left
        {84, 0x03, 0x00, 1},      // every spot and point, then one directional: 12 left
        {90, 0x00, 0x00, 1},      // every light: 6 left, fog kept
        {91, 0x00, 0x00, 0},      // and the fog
        {95, 0x00, 0x00, 0},      // nothing left to drop: the loop ends
    };
    for (const Case& c : cases)
    {
        VertexShaderDescriptor d = start;
        SkinPipeline::FitDescriptor(&d, c.boneRegisters, 96);
        EXPECT_EQ(d.lights, c.lights) << c.boneRegisters;
        EXPECT_EQ(d.spotsAndSets, c.spots) << c.boneRegisters;
        EXPECT_EQ(d.Fog(), c.fog) << c.boneRegisters;
    }
}
