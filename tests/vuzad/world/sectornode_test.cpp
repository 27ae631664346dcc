// The world-sector node and the world pipelines: the sector stream laid out from the world's
// format and the device, data reused, rebuilt after an eviction and kept outside the arena
// in instance-only mode, sector lighting, the default pipelines built at open and restored
// by SetDefaultPipeline(NULL), and a device reset that marks only listed geometries.
#include "d3d9renderstate.h"
#include "d3d9worldfixture.h"
#include "light.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "sectornode.h"
#include "worldd3d9.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t kLitFormat = kGeometryPositions | kGeometryNormals | kGeometryPrelit | kGeometryTextured;

/// One leaf: a quad of two triangles at z 2 with normals towards -z, prelit colours and one
/// texture set, and one material.
WorldDescription OneLeafWorld(uint32_t format = kLitFormat)
{
    WorldDescription w;
    w.format = format;
    w.numTexCoordSets = (format & (kGeometryTextured | kGeometryTextured2)) ? 1 : 0;
    WorldDescription::Leaf leaf;
    leaf.positions = {-1, -1, 2, 1, -1, 2, -1, 1, 2, 1, 1, 2};
    if (format & kGeometryNormals)
        leaf.normals = {{0, 0, -128, 0}, {0, 0, -128, 0}, {0, 0, -128, 0}, {0, 0, -128, 0}};
    if (format & kGeometryPrelit)
        leaf.prelit = {{10, 20, 30, 255}, {40, 50, 60, 255}, {70, 80, 90, 128}, {1, 2, 3, 255}};
    if (w.numTexCoordSets)
        leaf.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    leaf.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
    w.leaves = {leaf};
    w.materials = {GeometryDescription::Material{}};
    w.listEntries = {0};
    return w;
}

WorldSector* RootLeaf(World* world)
{
    return reinterpret_cast<WorldSector*>(world->rootSector);
}

class SectorNodeTest : public d3d9world::D3D9WorldTest
{
protected:
    void TearDown() override
    {
        DropWorld();
        D3D9WorldTest::TearDown();
    }

    void DropWorld()
    {
        if (!mWorld)
            return;
        Engine::Current()->currentWorld = nullptr;
        for (Light* light : mLights)
        {
            World::RemoveLight(mWorld, light);
            Light::Destroy(light);
        }
        mLights.clear();
        World::Destroy(mWorld);
        mWorld = nullptr;
    }

    /// The world read and made current; its one leaf.
    WorldSector* Load(const WorldDescription& description)
    {
        mWorld = ReadWorld(description);
        EXPECT_NE(mWorld, nullptr);
        if (!mWorld)
            return nullptr;
        Engine::Current()->currentWorld = mWorld;
        return RootLeaf(mWorld);
    }

    /// The sector's default render inside a scene, with the call log on.
    bool Draw(WorldSector* sector)
    {
        Device()->BeginScene();
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        const bool ok = WorldSector::DefaultRender(sector) == sector;
        d3d9test::EnableCallLog(false);
        Device()->EndScene();
        return ok;
    }

    Light* AddLight(int32_t type, Vector at, float radius)
    {
        Light* light = Light::Create(type);
        Light::SetFrame(light, MakeFrame(at));
        Light::SetRadius(light, radius);
        World::AddLight(mWorld, light);
        mLights.push_back(light);
        return light;
    }

    World* mWorld = nullptr;
    std::vector<Light*> mLights;
};

TEST_F(SectorNodeTest, TheStreamFollowsTheWorldFormatAndPacksNormalsWhereTheDeviceCan)
{
    const struct
    {
        bool dec3n;
        uint32_t stride;
        uint8_t normalType;
    } cases[] = {{true, 28, D3DDECLTYPE_DEC3N}, {false, 36, D3DDECLTYPE_FLOAT3}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.dec3n ? "DEC3N" : "no DEC3N");
        d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
        if (!c.dec3n)
            adapter.caps.DeclTypes &= ~D3DDTCAPS_DEC3N;
        StartWorld(adapter);
        WorldSector* sector = Load(OneLeafWorld());
        ASSERT_NE(sector, nullptr);
        uint16_t mask = 0;
        EXPECT_EQ(WorldSectorAllInOneNode::GetStride(mWorld->formatFlags, 0, &mask), c.stride);
        EXPECT_EQ(mask, 2 + 4 + 8 + 0x10);
        ASSERT_TRUE(Draw(sector));
        ASSERT_NE(sector->instanceData, nullptr);
        const InstanceHeader* h = InstanceData::Header(sector->instanceData);
        EXPECT_EQ(h->streams[0].stride, c.stride);
        EXPECT_EQ(h->streams[0].geometryFlags, 2 + 4 + 8 + 0x10);
        EXPECT_EQ(h->streams[0].managed, 1);
        EXPECT_EQ(h->streams[1].vertexBuffer, nullptr);
        EXPECT_EQ(h->useOffsets, 0u);
        EXPECT_EQ(h->totalVertexCount, 4u);

        D3DVERTEXELEMENT9 elements[8];
        UINT n = 8;
        ASSERT_EQ(h->vertexDeclaration->GetDeclaration(elements, &n), D3D_OK);
        ASSERT_EQ(n, 5u) << "position, normal, colour, texture set 0, end";
        const uint8_t usages[] = {D3DDECLUSAGE_POSITION, D3DDECLUSAGE_NORMAL, D3DDECLUSAGE_COLOR,
                                  D3DDECLUSAGE_TEXCOORD};
        const uint16_t offsets[] = {0, 12, uint16_t(c.dec3n ? 16 : 24), uint16_t(c.dec3n ? 20 : 28)};
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ(elements[i].Stream, 0);
            EXPECT_EQ(elements[i].Usage, usages[i]);
            EXPECT_EQ(elements[i].Offset, offsets[i]);
        }
        EXPECT_EQ(elements[1].Type, c.normalType);

        // The vertex bytes: vertex 1's position, vertex 2's colour (alpha 128 turns the
        // mesh's vertex alpha on), texture set 0.
        std::vector<BYTE> bytes;
        ASSERT_TRUE(d3d9test::ReadBuffer(h->streams[0].vertexBuffer, bytes));
        const size_t base = h->streams[0].offset;
        float position[3];
        std::memcpy(position, bytes.data() + base + c.stride, sizeof position);
        EXPECT_EQ(position[0], 1.0f);
        EXPECT_EQ(position[2], 2.0f);
        uint32_t colour;
        std::memcpy(&colour, bytes.data() + base + 2 * c.stride + offsets[2], 4);
        EXPECT_EQ(colour, 0x8046505Au) << "ARGB of (70, 80, 90, 128)";
        EXPECT_EQ(InstanceHeader::Meshes(h)[0].vertexAlpha, 1u);
        float uv[2];
        std::memcpy(uv, bytes.data() + base + 3 * c.stride + offsets[3], sizeof uv);
        EXPECT_EQ(uv[0], 1.0f);
        EXPECT_EQ(uv[1], 1.0f);
        EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);

        // A tangent request adds a packed tangent after the texture set.
        EXPECT_EQ(WorldSectorAllInOneNode::GetStride(mWorld->formatFlags, 0x10000, nullptr),
                  c.stride + (c.dec3n ? 4 : 12));
        DropWorld();
        ShutDown();
    }
}

TEST_F(SectorNodeTest, DataIsReusedWhileCurrentAndBuiltAgainAfterAnEvictionOrANewMeshHeader)
{
    StartWorld();
    WorldSector* sector = Load(OneLeafWorld());
    ASSERT_NE(sector, nullptr);
    ASSERT_TRUE(Draw(sector));
    ResourceEntry* entry = sector->instanceData;
    ASSERT_NE(entry, nullptr);
    EXPECT_NE(entry->link.next, nullptr) << "an entry of the arena";
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 1u);

    ASSERT_TRUE(Draw(sector));
    EXPECT_EQ(sector->instanceData, entry);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("IndexBuffer::Lock"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);

    // The arena lets everything go: the owner's field is cleared and the next draw builds.
    ResourceArena::Empty();
    EXPECT_EQ(sector->instanceData, nullptr);
    ASSERT_TRUE(Draw(sector));
    ASSERT_NE(sector->instanceData, nullptr);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 1u);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);

    // Another serial number: the data is freed and built again.
    InstanceData::Header(sector->instanceData)->serialNumber ^= 0x5A5A;
    ASSERT_TRUE(Draw(sector));
    EXPECT_EQ(InstanceData::Header(sector->instanceData)->serialNumber, sector->meshHeader->serialNumber);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 1u);

    // A sector without vertices succeeds and draws nothing.
    const uint16_t vertices = sector->numVertices;
    sector->numVertices = 0;
    ASSERT_TRUE(Draw(sector));
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);
    sector->numVertices = vertices;
}

TEST_F(SectorNodeTest, InstanceOnlyWorldsBuildEachSectorOnceOutsideTheArenaAndDrawNothing)
{
    StartWorld();
    WorldSector* sector = Load(OneLeafWorld());
    ASSERT_NE(sector, nullptr);
    mWorld->formatFlags |= kGeometryInstanceOnly;
    ASSERT_TRUE(Draw(sector));
    ResourceEntry* entry = sector->instanceData;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->link.next, nullptr) << "kept outside the arena";
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("SetTransform"), 0u);

    ResourceArena::Empty();
    ASSERT_TRUE(Draw(sector));
    EXPECT_EQ(sector->instanceData, entry) << "the arena cannot evict it";
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);

    mWorld->formatFlags &= ~kGeometryInstanceOnly;
    ASSERT_TRUE(Draw(sector));
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
}

TEST_F(SectorNodeTest, LitWorldsLightTheirSectorsAndOthersDrawWithLightingOff)
{
    d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
    adapter.caps.MaxActiveLights = 8;
    StartWorld(adapter);
    WorldSector* sector = Load(OneLeafWorld(kLitFormat | kGeometryLight));
    ASSERT_NE(sector, nullptr);
    AddLight(kLightDirectional, {0, 0, 0}, 0);
    AddLight(kLightAmbient, {0, 0, 0}, 0);
    AddLight(kLightPoint, {0, 0, 1}, 5); // tied to the leaf
    Light* atomicsOnly = AddLight(kLightPoint, {0, 0, 1}, 5);
    atomicsOnly->object.flags = kLightLightsAtomics; // tied, but does not light the world
    Frame::SyncDirtyList();
    ASSERT_EQ(mLights[2]->sectorTies.next != &mLights[2]->sectorTies, true);

    ASSERT_TRUE(Draw(sector));
    DWORD value = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 1u);
    D3D9RenderState::GetRenderState(D3DRS_AMBIENT, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 2) << "the directional light and the point light that lights the world";
    D3D9RenderState::GetRenderState(D3DRS_NORMALIZENORMALS, &value);
    EXPECT_EQ(value, 0u);

    mWorld->formatFlags &= ~kGeometryLight;
    ASSERT_TRUE(Draw(sector));
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
}

// ---- The world pipelines -------------------------------------------------------------------------------

using WorldPipelinesTest = SectorNodeTest;

TEST_F(WorldPipelinesTest, OpenBuildsBothDefaultsAndSetDefaultNullRestoresThem)
{
    StartWorld();
    Pipeline* sectors = WorldPipelines::GetCreatedSectorPipeline();
    Pipeline* atomics = WorldPipelines::GetCreatedAtomicPipeline();
    ASSERT_NE(sectors, nullptr);
    ASSERT_NE(atomics, nullptr);
    EXPECT_EQ(*Pipeline::DefaultPipelineSlot(kSectorPipelineSlot), sectors);
    EXPECT_EQ(*Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot), atomics);
    EXPECT_EQ(sectors->pluginId, 2);
    EXPECT_EQ(atomics->pluginId, 2);
    ASSERT_EQ(sectors->numNodes, 1);
    ASSERT_EQ(atomics->numNodes, 1);
    EXPECT_STREQ(sectors->nodes[0].definition->name, "D3D9WorldSectorAllInOne.node");
    EXPECT_STREQ(atomics->nodes[0].definition->name, "D3D9AtomicAllInOne.node");
    const auto* callbacks = static_cast<const AllInOneNodeData*>(sectors->nodes[0].privateData);
    EXPECT_EQ(callbacks->instance, WorldSectorAllInOneNode::Instance);
    EXPECT_EQ(callbacks->reinstance, nullptr);
    EXPECT_EQ(callbacks->lighting, WorldSectorAllInOneNode::Light);
    EXPECT_EQ(callbacks->render, AllInOneNode::DefaultRender);

    // A replacement runs instead; NULL brings the created one back and leaves the
    // replacement to its owner.
    Pipeline* own = Pipeline::Create();
    ASSERT_NE(own, nullptr);
    WorldSector::SetDefaultPipeline(own);
    Atomic::SetDefaultPipeline(own);
    EXPECT_EQ(*Pipeline::DefaultPipelineSlot(kSectorPipelineSlot), own);
    EXPECT_EQ(*Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot), own);
    WorldSector::SetDefaultPipeline(nullptr);
    Atomic::SetDefaultPipeline(nullptr);
    EXPECT_EQ(*Pipeline::DefaultPipelineSlot(kSectorPipelineSlot), sectors);
    EXPECT_EQ(*Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot), atomics);
    EXPECT_EQ(own->numNodes, 0) << "still alive";
    Pipeline::Destroy(own);

    // The sector drawn through the restored default.
    WorldSector* sector = Load(OneLeafWorld());
    ASSERT_NE(sector, nullptr);
    ASSERT_TRUE(Draw(sector));
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);

    DropWorld();
    ShutDown();
    EXPECT_EQ(WorldPipelines::GetCreatedSectorPipeline(), nullptr);
    EXPECT_EQ(WorldPipelines::GetCreatedAtomicPipeline(), nullptr);
}

TEST_F(WorldPipelinesTest, ADeviceResetMarksEveryListedGeometryAndNoOther)
{
    StartWorld();
    GeometryDescription quad;
    quad.format = kGeometryPositions | kGeometryNormals | kGeometryTextured;
    quad.numVertices = 4;
    quad.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    quad.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
    quad.targets = {
        {{0, 0, 0, 1.5f}, {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0}, {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1}}};
    quad.materials = {GeometryDescription::Material{}};
    quad.listEntries = {0};
    Geometry* morphing = ReadGeometry(quad);
    Geometry* still = ReadGeometry(quad);
    ASSERT_NE(morphing, nullptr);
    ASSERT_NE(still, nullptr);
    ASSERT_EQ(Geometry::AddMorphTargets(morphing, 1), 1);
    Atomic* a = MakeAtomic(morphing);
    Atomic* b = MakeAtomic(still);
    Device()->BeginScene();
    ASSERT_EQ(Atomic::DefaultRender(a), a);
    ASSERT_EQ(Atomic::DefaultRender(b), b);
    Device()->EndScene();
    ASSERT_EQ(InstanceList::GetCount(), 1) << "only the geometry with a dynamic stream";
    InstanceList::AddGeometry(morphing);
    EXPECT_EQ(InstanceList::GetCount(), 1) << "listed once";
    EXPECT_EQ(morphing->lockedSinceInstance, 0);
    EXPECT_EQ(still->lockedSinceInstance, 0);

    d3d9test::LoseDevice(Device());
    d3d9test::MakeDeviceResettable(Device());
    ASSERT_EQ(D3D9Device::TestAndReset(), 1);
    EXPECT_EQ(morphing->lockedSinceInstance, kGeometryLockAll);
    EXPECT_EQ(still->lockedSinceInstance, 0);
    Device()->EndScene();
}

} // namespace
