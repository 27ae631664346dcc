// Tests of worlds: streams from the tool writer read into one block and written back
// byte for byte, older stream versions, counts and indices that disagree with the stream,
// sector lookup, the render walk over the frustum sectors, and damaged streams.
#include "chunk.h"
#include "clump.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "geometry.h"
#include "pipeline.h"
#include "worldfixture.h"
#include "worldwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace
{

using Worlds = WorldFixture;

constexpr uint32_t kSampleFormat =
    kGeometryPositions | kGeometryNormals | kGeometryPrelit | kGeometryLight | kGeometryTextured2;

/// A quad of two triangles spanning x0..x1, y0..y1 at z 0 (two corners at z 5).
WorldDescription::Leaf Quad(float x0, float x1, float y0, float y1, uint32_t materialBase, uint8_t tint)
{
    WorldDescription::Leaf leaf;
    leaf.materialBase = materialBase;
    leaf.positions = {x0, y0, 0, x1, y0, 0, x0, y1, 5, x1, y1, 5};
    leaf.normals = {{0, 0, 127, 0}, {0, 0, -128, 0}, {127, 0, 0, 0}, {0, 127, 0, 0}};
    leaf.prelit = {{tint, 1, 2, 255}, {tint, 3, 4, 255}, {tint, 5, 6, 128}, {tint, 7, 8, 0}};
    leaf.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}, {0.5f, 0.5f, 2, 0, 0, 2, 3, 3}};
    leaf.triangles = {{0, 1, 2, 0}, {1, 3, 2, 1}};
    return leaf;
}

/// x splits at 0 (left below 0.5, right from -0.5 on); the right side splits y at 0.
WorldDescription Sample()
{
    WorldDescription w;
    w.format = kSampleFormat;
    w.numTexCoordSets = 2;
    w.origin = {1, 2, 3};
    w.leaves = {Quad(-10, 0, -10, 10, 0, 10), Quad(0, 10, -10, 0, 1, 20), Quad(0, 10, 0, 10, 0, 30)};
    WorldDescription::Node root, split, a, b, c;
    root.axis = 0;
    root.leftExtent = 0.5f;
    root.rightExtent = -0.5f;
    root.left = 1;
    root.right = 2;
    a.leaf = 0;
    split.axis = 4;
    split.leftExtent = 0;
    split.rightExtent = 0;
    split.left = 3;
    split.right = 4;
    b.leaf = 1;
    c.leaf = 2;
    w.nodes = {root, a, split, b, c};
    GeometryDescription::Material red, green, blue;
    red.colour = {255, 0, 0, 255};
    green.colour = {0, 255, 0, 255};
    blue.colour = {0, 0, 255, 255};
    w.materials = {red, green, blue};
    w.listEntries = {0, 1, 2};
    return w;
}

std::vector<uint8_t> WriteWorld(const World* world)
{
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    EXPECT_NE(World::StreamWrite(world, out), nullptr);
    return CloseWriter(out);
}

std::vector<WorldSector*> Leaves(World* world)
{
    std::vector<WorldSector*> out;
    World::ForAllSectors(
        world,
        [](WorldSector* s, void* d)
        {
            static_cast<std::vector<WorldSector*>*>(d)->push_back(s);
            return s;
        },
        &out);
    return out;
}

std::vector<std::array<int, 4>> TrianglesOf(const WorldSector* sector)
{
    std::vector<std::array<int, 4>> out;
    auto* t = static_cast<const Triangle*>(sector->triangles);
    for (int i = 0; i < sector->numTriangles; ++i)
        out.push_back({t[i].vertex[0], t[i].vertex[1], t[i].vertex[2], t[i].material});
    return out;
}

TEST_F(Worlds, WrittenWorldsReadIntoOneBlockAndWriteBackByteForByte)
{
    WorldDescription d = Sample();
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->privateFlags & World::kOneBlock, World::kOneBlock);
    EXPECT_EQ(world->renderOrder, kWorldBackToFront);
    EXPECT_EQ(world->numTexCoordSets, 2);
    EXPECT_EQ(world->formatFlags, d.StoredFormat());
    EXPECT_EQ(world->origin.z, 3.0f);
    EXPECT_EQ(world->materials.count, 3);
    std::vector<Material*> firstTwo;
    World::ForAllMaterials(
        world,
        [](Material* m, void* d) -> Material*
        {
            auto* seen = static_cast<std::vector<Material*>*>(d);
            seen->push_back(m);
            return seen->size() < 2 ? m : nullptr;
        },
        &firstTwo);
    EXPECT_EQ(firstTwo, (std::vector<Material*>{world->materials.materials[0], world->materials.materials[1]}));
    EXPECT_EQ(world->box.sup.x, 10.0f);
    EXPECT_EQ(world->box.inf.y, -10.0f);
    EXPECT_EQ(world->box.sup.z, 5.0f);
    std::vector<WorldSector*> leaves = Leaves(world);
    ASSERT_EQ(leaves.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
    {
        const WorldSector* s = leaves[i];
        EXPECT_EQ(WorldSector::GetWorld(s), world);
        EXPECT_EQ(s->numVertices, 4);
        EXPECT_EQ(s->materialBase, d.leaves[i].materialBase);
        EXPECT_EQ(s->positions[3].x, d.leaves[i].positions[9]);
        EXPECT_EQ(static_cast<const int8_t*>(s->normals)[6], -128);
        EXPECT_EQ(static_cast<const uint8_t*>(s->prelit)[0], uint8_t(10 * (i + 1)));
        EXPECT_EQ(static_cast<const float*>(s->texCoords[1])[7], 3.0f);
        EXPECT_EQ(TrianglesOf(s), (std::vector<std::array<int, 4>>{{0, 1, 2, 0}, {1, 3, 2, 1}}));
        ASSERT_NE(s->meshHeader, nullptr);
        EXPECT_EQ(s->meshHeader->numMeshes, 2);
        EXPECT_EQ(MeshHeader::Meshes(s->meshHeader)[0].material, world->materials.materials[s->materialBase]);
    }
    // Partition boxes: the world box cut by the plane extents.
    EXPECT_EQ(leaves[0]->box.sup.x, 0.5f);
    EXPECT_EQ(leaves[0]->box.inf.x, -10.0f);
    EXPECT_EQ(leaves[1]->box.inf.x, -0.5f);
    EXPECT_EQ(leaves[1]->box.sup.y, 0.0f);
    EXPECT_EQ(leaves[2]->box.inf.y, 0.0f);
    EXPECT_EQ(leaves[2]->box.sup.y, 10.0f);

    std::vector<uint8_t> first = WriteWorld(world);
    World* again = ReadWorldChunk(first);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(WriteWorld(again), first);
    // Only the leaves' mesh sub-chunks were added to what the writer wrote.
    EXPECT_EQ(first.size(), bytes.size() + 3 * (12 + 12 + 2 * 8 + 6 * 4));
    World::Destroy(again);
    World::Destroy(world);
    EXPECT_EQ(WorldSector::GetWorld(leaves[0]), nullptr);
}

TEST_F(Worlds, OlderVersionsConvertTrianglesAndTakeTheBoxFromTheLeaves)
{
    const struct
    {
        uint32_t version;
        bool boxFromStruct;
    } cases[] = {{0x34000, false}, {0x34002, false}, {0x34003, true}, {0x36001, true}, {0x36002, true}};
    for (const auto& c : cases)
    {
        WorldDescription d = Sample();
        d.version = c.version;
        d.box = {100, 100, 100, -100, -100, -100};
        std::vector<uint8_t> bytes = WorldWriter::Write(d);
        World* world = ReadWorldChunk(bytes);
        ASSERT_NE(world, nullptr) << std::hex << c.version;
        EXPECT_EQ(world->box.sup.x, c.boxFromStruct ? 100.0f : 10.0f) << std::hex << c.version;
        EXPECT_EQ(world->box.inf.z, c.boxFromStruct ? -100.0f : 0.0f) << std::hex << c.version;
        for (WorldSector* s : Leaves(world))
            EXPECT_EQ(TrianglesOf(s), (std::vector<std::array<int, 4>>{{0, 1, 2, 0}, {1, 3, 2, 1}}))
                << std::hex << c.version;
        World::Destroy(world);
    }
}

TEST_F(Worlds, WithoutTheExtentsBitBothExtentsAreThePlaneValue)
{
    WorldDescription d = Sample();
    d.planeExtents = false;
    d.nodes[0].value = 2.0f;
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    auto* root = reinterpret_cast<PlaneSector*>(world->rootSector);
    EXPECT_EQ(root->leftExtent, 2.0f);
    EXPECT_EQ(root->rightExtent, 2.0f);
    EXPECT_EQ(Leaves(world)[0]->box.sup.x, 2.0f);
    World::Destroy(world);
}

TEST_F(Worlds, AOneLeafWorldReadsAndWritesBack)
{
    WorldDescription d = Sample();
    d.nodes.clear();
    d.leaves.resize(1);
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    ASSERT_LT(world->rootSector->type, 0);
    EXPECT_EQ(reinterpret_cast<WorldSector*>(world->rootSector)->box.sup.x, 0.0f);
    std::vector<uint8_t> first = WriteWorld(world);
    World* again = ReadWorldChunk(first);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(WriteWorld(again), first);
    World::Destroy(again);
    World::Destroy(world);
}

/// Byte offset of a word in the world struct's body.
constexpr size_t kStructAt = 24;
void PutWord(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

TEST_F(Worlds, CountsAndIndicesThatDisagreeWithTheStreamAreRefused)
{
    struct Case
    {
        const char* what;
        void (*spoil)(WorldDescription&);
        size_t word; ///< struct word to overwrite, or 0
        uint32_t value;
        int32_t code;
    };
    const Case cases[] = {
        {"fewer leaves in the totals", nullptr, 7, 2, kErrStreamRead},
        {"fewer planes in the totals", nullptr, 6, 1, kErrStreamRead},
        {"fewer vertices in the totals", nullptr, 5, 11, kErrStreamRead},
        {"fewer triangles in the totals", nullptr, 4, 5, kErrStreamRead},
        {"vertex totals past what the leaves can hold", nullptr, 5, 0x7FFFFFFF, kErrStreamRead},
        {"leaf totals past the stream", nullptr, 7, 0x00FFFFFF, kErrStreamRead},
        {"plane totals past the stream", nullptr, 6, 0x0FFFFFFF, kErrStreamRead},
        {"collision sector size", nullptr, 8, 4, kErrBadVersion},
        {"too many texture sets", nullptr, 9, kSampleFormat | 9 << 16, kErrStreamRead},
        {"vertex index", [](WorldDescription& d) { d.leaves[1].triangles[1].v1 = 4; }, 0, 0, kErrStreamRead},
        {"material index", [](WorldDescription& d) { d.leaves[1].triangles[1].material = 2; }, 0, 0, kErrStreamRead},
        {"material base", [](WorldDescription& d) { d.leaves[2].materialBase = 3; }, 0, 0, kErrStreamRead},
        {"plane axis", [](WorldDescription& d) { d.nodes[2].axis = 12; }, 0, 0, kErrStreamRead},
        {"leaf arrays past its struct", [](WorldDescription& d) { d.leaves[0].numVertices = 9; }, 0, 0, kErrStreamRead},
    };
    for (const Case& c : cases)
    {
        WorldDescription d = Sample();
        if (c.spoil)
            c.spoil(d);
        std::vector<uint8_t> bytes = WorldWriter::Write(d);
        if (c.word)
            PutWord(bytes, kStructAt + 4 * c.word, c.value);
        EXPECT_EQ(ReadWorldChunk(bytes), nullptr) << c.what;
        Error e;
        Error::Get(&e);
        EXPECT_EQ(e.code, c.code) << c.what;
    }
    // A leaf chunk of an unreadable version.
    std::vector<uint8_t> bytes = WorldWriter::Write(Sample());
    const uint32_t stamp = LibraryStamp::Encode(0x36003, 0xFFFF);
    size_t leaf = 0;
    for (size_t at = 24; at + 12 <= bytes.size() && !leaf; at += 4)
        if (bytes[at] == 9 && bytes[at + 1] == 0 && bytes[at + 2] == 0 && bytes[at + 3] == 0 &&
            std::equal(
                bytes.begin() + long(at) + 8, bytes.begin() + long(at) + 12,
                std::vector<uint8_t>{uint8_t(stamp), uint8_t(stamp >> 8), uint8_t(stamp >> 16), uint8_t(stamp >> 24)}
                    .begin()))
            leaf = at;
    ASSERT_NE(leaf, 0u);
    PutWord(bytes, leaf + 8, LibraryStamp::Encode(0x37000, 0xFFFF));
    EXPECT_EQ(ReadWorldChunk(bytes), nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.code, kErrBadVersion);
}

TEST_F(Worlds, TotalsPastWhatAFileHoldsAreRefusedBeforeTheBlockIsAllocated)
{
    // Totals whose block would pass the largest the reader allocates: only the stream's
    // length can tell them from a block too large for memory.
    const struct
    {
        size_t word;
        uint32_t value;
    } totals[] = {{7, 0x00FFFFFF}, {6, 0x0FFFFFFF}};
    const std::string path = testing::TempDir() + "totals.bsp";
    for (const auto& t : totals)
    {
        std::vector<uint8_t> bytes = WorldWriter::Write(Sample());
        PutWord(bytes, kStructAt + 4 * t.word, t.value);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        Stream* in = Stream::Open(kStreamFileName, kStreamRead, path.c_str());
        ASSERT_NE(in, nullptr);
        ASSERT_EQ(Stream::FindChunk(in, 11, nullptr, nullptr), 1);
        EXPECT_EQ(World::StreamRead(in), nullptr);
        Stream::Close(in, nullptr);
        Error e;
        Error::Get(&e);
        EXPECT_EQ(e.code, kErrStreamRead) << "word " << t.word;
    }
    std::remove(path.c_str());
}

TEST_F(Worlds, TreesDeeperThanTheWalkStackReadWalkAndWriteBack)
{
    // A chain of 200 planes, each splitting one more leaf off along x.
    WorldDescription d = Sample();
    d.nodes.clear();
    d.leaves.clear();
    constexpr int kDepth = 200;
    for (int i = 0; i <= kDepth; ++i)
        d.leaves.push_back(Quad(float(i), float(i + 1), 0, 1, 0, uint8_t(i)));
    // Plane k splits off leaf kDepth - k to its right; its left is plane k + 1, and the
    // last plane's left is leaf 0.
    for (int k = 0; k < kDepth; ++k)
    {
        WorldDescription::Node plane, leaf;
        plane.value = plane.leftExtent = plane.rightExtent = float(kDepth - k);
        plane.right = 2 * k + 1;
        plane.left = 2 * k + 2;
        leaf.leaf = kDepth - k;
        d.nodes.push_back(plane);
        d.nodes.push_back(leaf);
    }
    d.nodes.push_back({});
    d.nodes.back().leaf = 0;
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    std::vector<WorldSector*> leaves = Leaves(world);
    ASSERT_EQ(leaves.size(), size_t(kDepth + 1));
    EXPECT_EQ(leaves.front()->positions[0].x, 0.0f);
    EXPECT_EQ(leaves.back()->positions[0].x, float(kDepth));
    EXPECT_EQ(leaves.back()->box.inf.x, float(kDepth));
    std::vector<uint8_t> first = WriteWorld(world);
    World* again = ReadWorldChunk(first);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(WriteWorld(again), first);
    World::Destroy(again);
    World::Destroy(world);
}

TEST_F(Worlds, GetWorldOfAForeignSectorIsNull)
{
    std::vector<uint8_t> bytes = WorldWriter::Write(Sample());
    World* world = ReadWorldChunk(bytes);
    ASSERT_NE(world, nullptr);
    WorldSector stray{};
    WorldSector::InitLeaf(&stray);
    EXPECT_EQ(WorldSector::GetWorld(&stray), nullptr);
    World::Destroy(world);
}

// ---- The render walk -------------------------------------------------------------------------------

struct Recorder
{
    std::vector<WorldSector*> sectors;
    std::map<Atomic*, int> drawn;
    WorldSector* refuse = nullptr;
};
Recorder* sRecorder = nullptr;

WorldSector* RecordSector(WorldSector* sector)
{
    sRecorder->sectors.push_back(sector);
    return sector == sRecorder->refuse ? nullptr : sector;
}

Atomic* RecordAtomic(Atomic* atomic)
{
    ++sRecorder->drawn[atomic];
    return atomic;
}

class WorldRender : public Worlds
{
protected:
    void SetUp() override
    {
        Worlds::SetUp();
        sRecorder = &mRecorder;
        std::vector<uint8_t> bytes = WorldWriter::Write(Sample());
        mWorld = ReadWorldChunk(bytes);
        ASSERT_NE(mWorld, nullptr);
        World::SetSectorRenderCallback(mWorld, RecordSector);
        // Looking down +z from z -20: the whole world is in view.
        mCamera = Camera::Create();
        Camera::SetFarClipPlane(mCamera, 100.0f);
        FrameObject::SetFrame(&mCamera->object, Place(Frame::Create(), 0, 0, -20));
        World::AddCamera(mWorld, mCamera);
    }
    void TearDown() override
    {
        for (Atomic* atomic : mAtomics)
        {
            World::RemoveAtomic(mWorld, atomic);
            Frame* frame = atomic->object.frame;
            Atomic::Destroy(atomic);
            Frame::Destroy(frame);
        }
        World::RemoveCamera(mWorld, mCamera);
        Frame* frame = mCamera->object.frame;
        Camera::Destroy(mCamera);
        Frame::Destroy(frame);
        World::Destroy(mWorld);
        sRecorder = nullptr;
        Worlds::TearDown();
    }
    static Frame* Place(Frame* frame, float x, float y, float z)
    {
        Vector at = {x, y, z};
        Frame::Translate(frame, &at, 0);
        return frame;
    }
    Atomic* AddAtomic(float x, float y, float z, float radius)
    {
        Atomic* atomic = Atomic::Create();
        Geometry* geometry = Geometry::CreateEmptyWithRadius(radius);
        Atomic::SetGeometry(atomic, geometry, 0);
        Geometry::Destroy(geometry);
        Atomic::SetFrame(atomic, Place(Frame::Create(), x, y, z));
        atomic->renderCallback = RecordAtomic;
        World::AddAtomic(mWorld, atomic);
        mAtomics.push_back(atomic);
        return atomic;
    }
    void RenderFrame()
    {
        Camera::BeginUpdate(mCamera);
        World::Render(mWorld);
        Camera::EndUpdate(mCamera);
    }

    Recorder mRecorder;
    World* mWorld = nullptr;
    Camera* mCamera = nullptr;
    std::vector<Atomic*> mAtomics;
};

TEST_F(WorldRender, AnAtomicInThreeSectorsIsDrawnOncePerCameraUpdate)
{
    Atomic* across = AddAtomic(0, 0, 2, 3);
    Atomic* behind = AddAtomic(0, 0, -500, 3);
    Atomic* hidden = AddAtomic(5, 5, 2, 1);
    hidden->object.flags &= uint8_t(~kAtomicRender);
    RenderFrame();
    ASSERT_EQ(TiedSectors(&across->sectorTies).size(), 3u);
    ASSERT_EQ(TiedSectors(&behind->sectorTies).size(), 3u);
    EXPECT_EQ(mRecorder.sectors.size(), 3u);
    EXPECT_EQ(mRecorder.drawn[across], 1);
    EXPECT_EQ(mRecorder.drawn[behind], 0);
    EXPECT_EQ(mRecorder.drawn[hidden], 0);
    uint32_t frame = Engine::Current()->renderFrame;
    EXPECT_EQ(across->renderStamp, frame);
    EXPECT_EQ(behind->renderStamp, frame) << "stamped although outside the frustum";
    EXPECT_NE(hidden->renderStamp, frame);
    RenderFrame();
    EXPECT_EQ(mRecorder.drawn[across], 2);
    // 65536 camera updates later the stamp is not taken for this update's.
    Engine::Current()->renderFrame += 65535;
    RenderFrame();
    EXPECT_EQ(mRecorder.drawn[across], 3);
}

TEST_F(WorldRender, ASectorThatRefusesSkipsItsAtomicsAndTheWalkGoesOn)
{
    Atomic* across = AddAtomic(0, 0, 2, 3);
    Atomic* left = AddAtomic(-5, 0, 2, 1);
    Atomic* right = AddAtomic(5, 5, 2, 1);
    Frame::SyncDirtyList();
    mRecorder.refuse = Leaves(mWorld)[0];
    RenderFrame();
    EXPECT_EQ(mRecorder.sectors.size(), 3u);
    EXPECT_EQ(mRecorder.drawn[left], 0);
    EXPECT_EQ(mRecorder.drawn[right], 1);
    EXPECT_EQ(mRecorder.drawn[across], 1);
}

TEST_F(WorldRender, DestroyingTheWorldFreesTheTiesOfWhatIsStillInIt)
{
    Atomic* across = AddAtomic(0, 0, 2, 3);
    Frame::SyncDirtyList();
    ASSERT_EQ(TiedSectors(&across->sectorTies).size(), 3u);
    World::RemoveCamera(mWorld, mCamera);
    World::Destroy(mWorld);
    EXPECT_TRUE(ListLink::IsEmpty(&across->sectorTies));
    // A fresh world for TearDown, which finds nothing left to untie.
    std::vector<uint8_t> bytes = WorldWriter::Write(Sample());
    mWorld = ReadWorldChunk(bytes);
    ASSERT_NE(mWorld, nullptr);
}

std::vector<std::pair<const char*, void*>> sRuns;

int32_t RecordRun(PipelineNode* node, const NodeExecutionParameters* parameters)
{
    sRuns.push_back({node->definition->name, parameters->data});
    return 1;
}

/// A one-node pipeline that records its runs under its name.
struct RecordingPipeline
{
    NodeDefinition definition{};
    Pipeline* pipeline = nullptr;

    explicit RecordingPipeline(const char* name)
    {
        definition.name = name;
        definition.body = RecordRun;
        NodeDefinition* list[] = {&definition, nullptr};
        pipeline = Pipeline::Create();
        Pipeline::Lock(pipeline);
        Pipeline::AppendNodes(pipeline, nullptr, list);
        Pipeline::Unlock(pipeline);
    }
    ~RecordingPipeline() { Pipeline::Destroy(pipeline); }
};

TEST_F(WorldRender, DefaultRendersTakeTheirOwnPipelineElseTheWorldsElseTheDefault)
{
    RecordingPipeline own("own"), ofWorld("world"), fallback("default");
    WorldSector* sector = Leaves(mWorld)[1];
    Atomic* atomic = AddAtomic(0, 0, 0, 1);
    Engine::Current()->currentWorld = mWorld;
    sector->pipeline = own.pipeline;
    mWorld->pipeline = ofWorld.pipeline;
    atomic->pipeline = own.pipeline;
    *Pipeline::DefaultPipelineSlot(kSectorPipelineSlot) = fallback.pipeline;
    *Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot) = fallback.pipeline;
    std::vector<std::pair<const char*, void*>> expected;
    sRuns.clear();
    EXPECT_EQ(WorldSector::DefaultRender(sector), sector);
    expected.push_back({"own", sector});
    sector->pipeline = nullptr;
    EXPECT_EQ(WorldSector::DefaultRender(sector), sector);
    expected.push_back({"world", sector});
    mWorld->pipeline = nullptr;
    EXPECT_EQ(WorldSector::DefaultRender(sector), sector);
    expected.push_back({"default", sector});
    EXPECT_EQ(Atomic::DefaultRender(atomic), atomic);
    expected.push_back({"own", atomic});
    atomic->pipeline = nullptr;
    EXPECT_EQ(Atomic::DefaultRender(atomic), atomic);
    expected.push_back({"default", atomic});
    // Without triangles a sector draws nothing and succeeds.
    uint16_t triangles = sector->numTriangles;
    sector->numTriangles = 0;
    EXPECT_EQ(WorldSector::DefaultRender(sector), sector);
    sector->numTriangles = triangles;
    EXPECT_EQ(sRuns, expected);
    // With no pipeline at all the render fails.
    *Pipeline::DefaultPipelineSlot(kSectorPipelineSlot) = nullptr;
    *Pipeline::DefaultPipelineSlot(kAtomicPipelineSlot) = nullptr;
    EXPECT_EQ(WorldSector::DefaultRender(sector), nullptr);
    EXPECT_EQ(Atomic::DefaultRender(atomic), nullptr);
    Engine::Current()->currentWorld = nullptr;
    TakeError();
}

} // namespace

namespace
{

TEST_F(Worlds, MutatedStreamsAreRefusedOrReadWithoutACrash)
{
    WorldDescription withMeshes = Sample();
    withMeshes.leaves[1].extension = GeometryWriter::WriteMeshExtension(0, {{1, {0, 1, 2}}, {2, {1, 3, 2}}});
    WorldDescription converted = Sample();
    converted.version = 0x36001;
    for (const WorldDescription& d : {withMeshes, converted})
    {
        const std::vector<uint8_t> good = WorldWriter::Write(d);
        {
            std::vector<uint8_t> copy = good;
            World* world = ReadWorldChunk(copy);
            ASSERT_NE(world, nullptr);
            World::Destroy(world);
        }
        // The low two bytes of every word: counts, indices, sizes and flags are words.
        for (size_t at = 12; at < good.size(); at += (at % 4 == 0 ? 1 : 3))
            for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80), uint8_t(0x03)})
            {
                std::vector<uint8_t> bytes = good;
                bytes[at] = value;
                if (World* world = ReadWorldChunk(bytes))
                    World::Destroy(world);
                TakeError();
            }
        for (size_t cut = 0; cut < good.size(); cut += 5)
        {
            std::vector<uint8_t> bytes(good.begin(), good.begin() + long(cut));
            EXPECT_EQ(ReadWorldChunk(bytes), nullptr) << cut;
            TakeError();
        }
    }
}

} // namespace
