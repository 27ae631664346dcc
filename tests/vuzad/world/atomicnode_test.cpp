// The atomic all-in-one node: data built once and reused, refills of locked elements only,
// rebuilds on a new mesh header, morph targets in a dynamic stream, instance-only atomics,
// the normalise-normals rule, and each local light collected once.
#include "atomicnode.h"
#include "d3d9renderstate.h"
#include "d3d9worldfixture.h"
#include "frame.h"
#include "light.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "vertexdeclaration.h"
#include "worldd3d9.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

GeometryDescription LitQuad(uint32_t extra = 0)
{
    GeometryDescription d;
    d.format = kGeometryPositions | kGeometryNormals | kGeometryTextured | kGeometryLight | extra;
    d.numVertices = 4;
    d.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    d.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
    d.targets = {
        {{0.5f, 0.5f, 0, 0.75f}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1}}};
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    return d;
}

bool sLightingWanted = true;
void FixedLighting(void*)
{
    D3D9Lights::Apply(sLightingWanted ? 1 : 0);
}

class AtomicNodeTest : public d3d9world::D3D9WorldTest
{
protected:
    void TearDown() override
    {
        if (mPipeline)
            Pipeline::Destroy(mPipeline);
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
            Engine::Current()->currentWorld = nullptr;
        for (Light* light : mLights)
        {
            World::RemoveLight(&mWorld->world, light);
            Light::Destroy(light);
        }
        for (Atomic* atomic : mAtomics)
            if (mWorld && Atomic::GetWorld(atomic))
                World::RemoveAtomic(&mWorld->world, atomic);
        mLights.clear();
        mWorld.reset();
        D3D9WorldTest::TearDown();
    }

    void Start()
    {
        StartWorld();
        mPipeline = Pipeline::Create();
        ASSERT_NE(mPipeline, nullptr);
        NodeDefinition* const chain[] = {AtomicAllInOneNode::GetDefinition(), nullptr};
        ASSERT_NE(Pipeline::Lock(mPipeline), nullptr);
        ASSERT_NE(Pipeline::AppendNodes(mPipeline, nullptr, chain), nullptr);
        ASSERT_NE(Pipeline::Unlock(mPipeline), nullptr);
        sLightingWanted = true;
    }

    AllInOneNodeData* Callbacks() { return static_cast<AllInOneNodeData*>(mPipeline->nodes[0].privateData); }

    /// One execution of the node inside a scene, with the call log on.
    bool Draw(Atomic* atomic)
    {
        Device()->BeginScene();
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        bool ok = Pipeline::Execute(mPipeline, atomic, 1) != nullptr;
        d3d9test::EnableCallLog(false);
        Device()->EndScene();
        return ok;
    }

    static std::vector<BYTE> Bytes(IDirect3DVertexBuffer9* buffer)
    {
        std::vector<BYTE> bytes;
        EXPECT_TRUE(d3d9test::ReadBuffer(buffer, bytes));
        return bytes;
    }

    static Vector PositionAt(const std::vector<BYTE>& bytes, size_t offset)
    {
        Vector v;
        std::memcpy(&v, bytes.data() + offset, sizeof v);
        return v;
    }

    Pipeline* mPipeline = nullptr;
    std::unique_ptr<TestWorld> mWorld;
    std::vector<Light*> mLights;
};

TEST_F(AtomicNodeTest, TheDataIsBuiltOnceReusedAndRefilledOnlyWhereLocked)
{
    Start();
    Callbacks()->lighting = FixedLighting;
    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    Atomic* atomic = MakeAtomic(g);

    ASSERT_TRUE(Draw(atomic));
    ASSERT_NE(g->instanceData, nullptr) << "one morph target: the geometry's own data";
    const InstanceHeader* h = InstanceData::Header(g->instanceData);
    // One stream: position 12, normal DEC3N 4, texture coordinates 8.
    EXPECT_EQ(h->streams[0].stride, 24u);
    EXPECT_EQ(h->streams[0].managed, 1);
    EXPECT_EQ(h->streams[1].vertexBuffer, nullptr);
    EXPECT_EQ(h->streams[0].geometryFlags, kGeometryLockPositions | kGeometryLockNormals | 0x10);
    EXPECT_EQ(h->totalVertexCount, 4u);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
    EXPECT_EQ(InstanceList::GetCount(), 0);

    // Nothing locked: the same data, no buffer touched.
    ResourceEntry* entry = g->instanceData;
    ASSERT_TRUE(Draw(atomic));
    EXPECT_EQ(g->instanceData, entry);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexBuffer"), 0u);

    // Only the texture coordinates locked: the managed stream relocked with NOSYSLOCK and
    // only that set rewritten.
    for (int v = 0; v < 4; ++v)
        g->texCoords[0][v] = {0.25f * float(v), 0.5f};
    g->morphTargets[0].positions[1] = {7, 7, 7}; // changed but not locked: stays as built
    Geometry::Lock(g, 0x10);
    ASSERT_TRUE(Draw(atomic));
    EXPECT_EQ(g->instanceData, entry);
    std::vector<std::string> locks = d3d9test::CallArgs("VertexBuffer::Lock");
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_NE(locks[0].find("0x800"), std::string::npos) << locks[0];
    EXPECT_EQ(g->lockedSinceInstance, 0);
    std::vector<BYTE> bytes = Bytes(h->streams[0].vertexBuffer);
    const size_t base = h->streams[0].offset;
    float uv[2];
    VertexDeclaration::ReadTexCoord(D3DDECLTYPE_FLOAT2, uv, bytes.data() + base + 3 * 24 + 16);
    EXPECT_EQ(uv[0], 0.75f);
    EXPECT_EQ(PositionAt(bytes, base + 24).x, 1.0f);

    // A rebuilt mesh header has a new serial number: the data is made again.
    Geometry::Lock(g, kGeometryLockTriangles);
    Geometry::Unlock(g);
    ASSERT_TRUE(Draw(atomic));
    EXPECT_NE(InstanceData::Header(g->instanceData)->serialNumber, 0u);
    EXPECT_EQ(InstanceData::Header(g->instanceData)->serialNumber, g->meshHeader->serialNumber);
    bytes = Bytes(InstanceData::Header(g->instanceData)->streams[0].vertexBuffer);
    EXPECT_EQ(PositionAt(bytes, InstanceData::Header(g->instanceData)->streams[0].offset + 24).x, 7.0f);
}

TEST_F(AtomicNodeTest, InstanceOnlyAtomicsBuildTheirDataAndDrawNothing)
{
    Start();
    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    g->flags |= kGeometryInstanceOnly;
    Atomic* atomic = MakeAtomic(g);
    ASSERT_TRUE(Draw(atomic));
    ASSERT_NE(g->instanceData, nullptr);
    EXPECT_EQ(g->instanceData->link.next, nullptr) << "kept outside the arena";
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("SetTransform"), 0u);

    // An empty geometry is skipped as a success.
    Geometry* empty = Geometry::Create(0, 0, kGeometryPositions);
    empty->meshHeader = MeshHeader::Empty();
    Atomic* nothing = MakeAtomic(empty);
    EXPECT_TRUE(Draw(nothing));
    EXPECT_EQ(empty->instanceData, nullptr);
}

TEST_F(AtomicNodeTest, NormalsAreNormalisedOnlyForScalesOutsideTenPercent)
{
    Start();
    Callbacks()->lighting = FixedLighting;
    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    Atomic* atomic = MakeAtomic(g);
    const struct
    {
        float scale;
        bool lighting;
        DWORD expected;
    } cases[] = {{1.05f, true, 1}, {1.04f, true, 0}, {0.9f, true, 1}, {0.95f, true, 0}, {1.5f, false, 0}, {1, true, 0}};
    for (const auto& c : cases)
    {
        Frame* frame = atomic->object.frame;
        Frame::SetIdentity(frame);
        const Vector s = {c.scale, c.scale, c.scale};
        Frame::Scale(frame, &s, kCombineReplace);
        sLightingWanted = c.lighting;
        ASSERT_TRUE(Draw(atomic));
        DWORD normalise = 99;
        D3D9RenderState::GetRenderState(D3DRS_NORMALIZENORMALS, &normalise);
        EXPECT_EQ(normalise, c.expected) << c.scale << (c.lighting ? " lit" : " unlit");
    }
}

TEST_F(AtomicNodeTest, MorphTargetsGoToADynamicStreamFromTheInterpolator)
{
    Start();
    Callbacks()->lighting = FixedLighting;
    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(Geometry::AddMorphTargets(g, 1), 1);
    for (int v = 0; v < 4; ++v)
    {
        g->morphTargets[1].positions[v] = {10.0f + float(v), 0, 0};
        g->morphTargets[1].normals[v] = {0, 0, -1};
    }
    Atomic* atomic = MakeAtomic(g);
    atomic->interpolator.startTarget = 1;
    atomic->interpolator.endTarget = 0;
    atomic->interpolator.position = 0;
    atomic->interpolator.recipTime = 1;

    ASSERT_TRUE(Draw(atomic));
    ASSERT_NE(atomic->instanceData, nullptr) << "several targets: the atomic's own data";
    EXPECT_EQ(g->instanceData, nullptr);
    const InstanceHeader* h = InstanceData::Header(atomic->instanceData);
    EXPECT_EQ(h->streams[0].managed, 0);
    EXPECT_EQ(h->streams[0].stride, 16u) << "positions and packed normals";
    EXPECT_EQ(h->streams[1].managed, 1);
    EXPECT_EQ(h->streams[1].stride, 8u);
    EXPECT_EQ(h->useOffsets, 1u);
    EXPECT_EQ(InstanceList::GetCount(), 1);
    // Position 0: the start target.
    std::vector<BYTE> bytes = Bytes(h->streams[0].vertexBuffer);
    EXPECT_EQ(PositionAt(bytes, 16 * 2).x, 12.0f);

    // Half way: the positions between the two targets, rewritten with a discard.
    atomic->interpolator.position = 0.5f;
    atomic->interpolator.flags |= kInterpolatorMorphUpdate;
    ASSERT_TRUE(Draw(atomic));
    std::vector<std::string> locks = d3d9test::CallArgs("VertexBuffer::Lock");
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_NE(locks[0].find("0x2800"), std::string::npos) << locks[0];
    bytes = Bytes(h->streams[0].vertexBuffer);
    EXPECT_EQ(PositionAt(bytes, 16 * 2).x, 6.0f);

    // Out-of-range targets fall back to target 0.
    atomic->interpolator.startTarget = 5;
    atomic->interpolator.flags |= kInterpolatorMorphUpdate;
    ASSERT_TRUE(Draw(atomic));
    bytes = Bytes(h->streams[0].vertexBuffer);
    EXPECT_EQ(PositionAt(bytes, 16 * 3).x, 1.0f);

    // Freeing the data takes the geometry off the list of data a reset loses.
    ResourceArena::Free(atomic->instanceData);
    EXPECT_EQ(InstanceList::GetCount(), 0);
}

TEST_F(AtomicNodeTest, AfterADeviceResetListedGeometriesAreRefilledWhole)
{
    Start();
    Callbacks()->lighting = FixedLighting;
    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(Geometry::AddMorphTargets(g, 1), 1);
    Atomic* atomic = MakeAtomic(g);
    atomic->interpolator.flags = 0;
    ASSERT_TRUE(Draw(atomic));
    ASSERT_EQ(InstanceList::GetCount(), 1);
    ResourceEntry* entry = atomic->instanceData;

    d3d9test::LoseDevice(Device());
    d3d9test::MakeDeviceResettable(Device());
    ASSERT_EQ(D3D9Device::TestAndReset(), 1);
    EXPECT_EQ(g->lockedSinceInstance, kGeometryLockAll);
    Device()->EndScene();

    ASSERT_TRUE(Draw(atomic));
    EXPECT_EQ(atomic->instanceData, entry) << "refilled, not rebuilt";
    std::vector<std::string> locks = d3d9test::CallArgs("VertexBuffer::Lock");
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_NE(locks[0].find("0x2800"), std::string::npos) << locks[0];
    EXPECT_NE(locks[1].find("0x800"), std::string::npos) << locks[1];
    EXPECT_EQ(g->lockedSinceInstance, 0);
    const InstanceHeader* h = InstanceData::Header(entry);
    EXPECT_EQ(PositionAt(Bytes(h->streams[0].vertexBuffer), 16 * 3).x, 1.0f);
}

TEST_F(AtomicNodeTest, PreInstancedAtomicsDrawAfterALockAndAfterAReset)
{
    Start();
    Callbacks()->lighting = FixedLighting;
    for (bool twoStreams : {false, true})
    {
        Geometry* g = ReadGeometry(LitQuad());
        ASSERT_NE(g, nullptr);
        if (twoStreams)
            VertexShaderFlags::Set(g, kVsFlagPositions); // positions alone in stream 0
        Atomic* atomic = MakeAtomic(g);
        atomic->pipeline = mPipeline;
        ASSERT_EQ(Atomic::Instance(atomic), 1);
        EXPECT_NE(g->flags & kGeometryNative, 0u);
        ASSERT_NE(g->instanceData, nullptr);
        const InstanceHeader* h = InstanceData::Header(g->instanceData);
        EXPECT_EQ(h->streams[1].vertexBuffer != nullptr, twoStreams);
        auto lastX = [&]
        {
            const InstanceStream& s = InstanceData::Header(g->instanceData)->streams[0];
            return PositionAt(Bytes(s.vertexBuffer), s.offset + 3 * s.stride).x;
        };

        g->morphTargets[0].positions[3] = {5, 1, 0};
        Geometry::Lock(g, kGeometryLockPositions);
        ASSERT_TRUE(Draw(atomic)) << twoStreams;
        EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u) << twoStreams;
        ASSERT_NE(g->instanceData, nullptr);
        EXPECT_EQ(lastX(), 5.0f);
        if (!twoStreams)
            continue;

        ASSERT_EQ(InstanceList::GetCount(), 1);
        d3d9test::LoseDevice(Device());
        d3d9test::MakeDeviceResettable(Device());
        ASSERT_EQ(D3D9Device::TestAndReset(), 1);
        Device()->EndScene();
        ASSERT_TRUE(Draw(atomic));
        EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
        EXPECT_EQ(lastX(), 5.0f);
    }
}

TEST_F(AtomicNodeTest, NativeGeometriesWithoutNativeDataAreNotDrawn)
{
    Start();
    Callbacks()->lighting = FixedLighting;
    // Read native: the meshes name no indices and no native data came with them.
    GeometryDescription d = LitQuad(kGeometryNative);
    d.extension = GeometryWriter::WriteMeshExtension(0, {{0, {}}});
    d.extension[12 + 8] = 6; // six indices, none stored
    d.extension[12 + 12] = 6;
    d.targets[0].positions.clear();
    d.targets[0].normals.clear();
    Geometry* g = ReadGeometry(d);
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->meshHeader, nullptr);
    Atomic* atomic = MakeAtomic(g);
    EXPECT_FALSE(Draw(atomic));
    EXPECT_EQ(g->instanceData, nullptr);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);
}

TEST_F(AtomicNodeTest, LightsReachingTheAtomicAreCollectedOnceWhateverItsSectors)
{
    Start();
    mWorld = std::make_unique<TestWorld>(true, 1.0f, -1.0f);
    Engine::Current()->currentWorld = &mWorld->world;
    auto addLight = [&](int32_t type, Vector at, float radius)
    {
        Light* light = Light::Create(type);
        Light::SetFrame(light, MakeFrame(at));
        Light::SetRadius(light, radius);
        World::AddLight(&mWorld->world, light);
        mLights.push_back(light);
        return light;
    };
    addLight(kLightDirectional, {0, 0, 0}, 0);
    addLight(kLightAmbient, {0, 0, 0}, 0);
    Light* near = addLight(kLightPoint, {0.5f, 0, 0}, 3); // in both sectors, reaches the atomic
    addLight(kLightPoint, {40, 0, 0}, 1);                 // in the right sector, out of reach

    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    Atomic* atomic = MakeAtomic(g);
    World::AddAtomic(&mWorld->world, atomic);
    Frame::SyncDirtyList();
    ASSERT_EQ(TiedSectors(&atomic->sectorTies).size(), 2u);
    ASSERT_EQ(TiedSectors(&near->sectorTies).size(), 2u);

    ASSERT_TRUE(Draw(atomic));
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 2) << "the directional light and the near light, once";
    DWORD value = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 1u);
    D3D9RenderState::GetRenderState(D3DRS_AMBIENT, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);

    // Without normals only the ambient light counts; without the light flag lighting is off.
    g->flags &= ~kGeometryNormals;
    AtomicAllInOneNode::SetupLightingD3D9(atomic);
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 0);
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 1u);
    g->flags &= ~kGeometryLight;
    AtomicAllInOneNode::SetupLightingD3D9(atomic);
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, 0u);
    g->flags |= kGeometryNormals | kGeometryLight;
}

} // namespace

namespace
{

TEST_F(AtomicNodeTest, ALightStampedLongAgoIsCollectedWhenTheLightFramePassesSixteenBits)
{
    Start();
    mWorld = std::make_unique<TestWorld>(false);
    Engine::Current()->currentWorld = &mWorld->world;
    Light* lamp = Light::Create(kLightPoint);
    Light::SetFrame(lamp, MakeFrame({0.5f, 0.5f, 0}));
    Light::SetRadius(lamp, 3);
    World::AddLight(&mWorld->world, lamp);
    mLights.push_back(lamp);
    Geometry* g = ReadGeometry(LitQuad());
    ASSERT_NE(g, nullptr);
    Atomic* atomic = MakeAtomic(g);
    World::AddAtomic(&mWorld->world, atomic);
    Frame::SyncDirtyList();

    // The lamp was last stamped 0x10000 frames ago: a stamp kept in 16 bits would take it
    // for this frame's and skip it.
    lamp->lightStamp = 0;
    Engine::Current()->lightFrame = 0xFFFF;
    AtomicAllInOneNode::SetupLightingD3D9(atomic);
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 1);
    EXPECT_EQ(lamp->lightStamp, 0x10000u);
}

} // namespace
