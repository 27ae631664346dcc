// Skins: the four stream layouts against the skin writer (round trips, the same Skin from
// every layout, refusals of inconsistent data and mutated-input sweeps), the weight order,
// ownership of replaced skins, the device evaluation and the pipeline assignment.
#include "pluginfixture.h"

#include "animation.h"
#include "clump.h"
#include "clumpwriter.h"
#include "engine.h"
#include "error.h"
#include "geometry.h"
#include "geometrywriter.h"
#include "hierarchy.h"
#include "matrix.h"
#include "pipeline.h"
#include "skin.h"
#include "skinpipeline.h"
#include "skinwriter.h"
#include "world.h"

#include <cstring>

namespace
{

class SkinTest : public PluginFixture
{
protected:
    void SetUp() override
    {
        SetUpWith(Skin::Attach);
    }
    void TearDown() override
    {
        for (Geometry* g : mGeometries)
            Geometry::Destroy(g);
        PluginFixture::TearDown();
    }

    /// A geometry of `vertices` vertices in a fan, with the extension sub-chunks given,
    /// read through the geometry reader; null when the read fails.
    Geometry* Read(int32_t vertices, const std::vector<uint8_t>& extension)
    {
        std::vector<uint8_t> bytes = GeometryWriter::Write(Shape(vertices, extension));
        Stream* in = OpenReader(bytes);
        Geometry* g = nullptr;
        if (in && Stream::FindChunk(in, 15, nullptr, nullptr))
            g = Geometry::StreamRead(in);
        Stream::Close(in, nullptr);
        if (g)
            mGeometries.push_back(g);
        return g;
    }

    static GeometryDescription Shape(int32_t vertices, const std::vector<uint8_t>& extension)
    {
        GeometryDescription d;
        d.format = kGeometryPositions;
        d.numVertices = vertices;
        GeometryDescription::MorphTarget t{{0, 0, 0, 10}, {}, {}};
        for (int32_t v = 0; v < vertices; ++v)
            t.positions.insert(t.positions.end(), {float(v), float(v % 3), 0.0f});
        d.targets = {t};
        for (int32_t v = 1; v + 1 < vertices; ++v)
            d.triangles.push_back({0, uint16_t(v), uint16_t(v + 1), 0});
        d.materials = {GeometryDescription::Material{}};
        d.listEntries = {0};
        d.extension = extension;
        return d;
    }

    /// The geometry extension as the engine writes it.
    static std::vector<uint8_t> Write(const Geometry* g)
    {
        const int32_t size = Skin::StreamGetSize(g, 0, 0);
        Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_NE(Skin::StreamWrite(out, size, g, 0, 0), nullptr);
        std::vector<uint8_t> bytes = CloseWriter(out);
        EXPECT_EQ(int32_t(bytes.size()), size);
        return bytes;
    }

    /// Skin::StreamRead straight on a sub-chunk's body (header dropped).
    static Stream* ReadBody(std::vector<uint8_t> chunk, Geometry* g)
    {
        std::vector<uint8_t> body(chunk.begin() + 12, chunk.end());
        Stream* in = OpenReader(body);
        Stream* result = Skin::StreamRead(in, int32_t(body.size()), g, 0, 0);
        Stream::Close(in, nullptr);
        return result;
    }

    Geometry* Plain(int32_t vertices)
    {
        Geometry* g = Read(vertices, {});
        EXPECT_NE(g, nullptr);
        return g;
    }

    std::vector<Geometry*> mGeometries;
};

std::array<float, 12> Translation(float x, float y, float z)
{
    return {1, 0, 0, 0, 1, 0, 0, 0, 1, x, y, z};
}

/// Four vertices over three bones, at most two weights, already in the engine's order.
SkinDescription ThreeBones()
{
    SkinDescription s;
    s.boneCount = 3;
    s.boneIndices = {{0, 0, 0, 0}, {1, 0, 0, 0}, {1, 2, 0, 0}, {2, 1, 0, 0}};
    s.weights = {{1, 0, 0, 0}, {0.75f, 0.25f, 0, 0}, {0.5f, 0.5f, 0, 0}, {0.625f, 0.375f, 0, 0}};
    s.inverseMatrices = {Translation(0, 0, 0), Translation(-1, 0, 0), Translation(-2, 0, 0)};
    return s;
}

std::vector<uint8_t> Body(const std::vector<uint8_t>& chunk)
{
    return std::vector<uint8_t>(chunk.begin() + 12, chunk.end());
}

void ExpectSameSkin(const Skin* a, const Skin* b)
{
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->boneCount, b->boneCount);
    EXPECT_EQ(a->maxWeights, b->maxWeights);
    ASSERT_EQ(a->usedBoneCount, b->usedBoneCount);
    ASSERT_EQ(a->vertexCount, b->vertexCount);
    EXPECT_EQ(0, std::memcmp(a->usedBones, b->usedBones, size_t(a->usedBoneCount)));
    EXPECT_EQ(0, std::memcmp(a->vertexBoneIndices, b->vertexBoneIndices, 4 * size_t(a->vertexCount)));
    EXPECT_EQ(0, std::memcmp(a->vertexWeights, b->vertexWeights, 16 * size_t(a->vertexCount)));
    EXPECT_EQ(0, std::memcmp(a->inverseMatrices, b->inverseMatrices, 64 * size_t(a->boneCount)));
}

} // namespace

// ---- Layouts ------------------------------------------------------------------------------------

TEST_F(SkinTest, CurrentLayoutRoundTripsByteIdenticalWithAndWithoutSplitData)
{
    SkinDescription plain = ThreeBones();
    SkinDescription split = ThreeBones();
    split.splitBoneLimit = 2;
    split.boneRemap = {0, 1, 255};
    split.meshRuns = {{0, 2}};
    split.boneRuns = {{0, 2}, {2, 1}};
    for (const SkinDescription* s : {&plain, &split})
    {
        const std::vector<uint8_t> chunk = SkinWriter::Current(*s);
        Geometry* g = Read(4, chunk);
        ASSERT_NE(g, nullptr);
        const Skin* skin = SkinGeometry::GetSkin(g);
        ASSERT_NE(skin, nullptr);
        EXPECT_EQ(skin->maxWeights, 2);
        EXPECT_EQ(skin->usedBoneCount, 3);
        const int32_t splitSize = s->meshRuns.empty() ? 12 : 12 + 3 + 2 * (1 + 2);
        EXPECT_EQ(Skin::StreamGetSize(g, 0, 0), 4 + 3 + 20 * 4 + 64 * 3 + splitSize);
        EXPECT_EQ(Write(g), Body(chunk));
    }
}

TEST_F(SkinTest, OlderAndAtomicSideLayoutsGiveTheSameSkinAsTheCurrentOne)
{
    SkinDescription s = ThreeBones();
    // The current layout names its used bones out of order: the read sorts them.
    s.usedBones = {2, 0, 1};
    Geometry* current = Read(4, SkinWriter::Current(s));
    Geometry* older = Read(4, SkinWriter::Older(s));
    ASSERT_NE(current, nullptr);
    ASSERT_NE(older, nullptr);
    const Skin* reference = SkinGeometry::GetSkin(current);
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(reference->usedBones, reference->usedBones + 3), (std::vector<uint8_t>{0, 1, 2}));
    ExpectSameSkin(reference, SkinGeometry::GetSkin(older));

    // The atomic-side layout, read with a clump whose atomic owns a geometry without a skin.
    ClumpDescription clump;
    clump.frames = {ClumpDescription::Frame{}};
    ClumpDescription::Atomic atomic;
    atomic.ownGeometry = Shape(4, {});
    atomic.extension = SkinWriter::AtomicSide(s);
    clump.atomics = {atomic};
    std::vector<uint8_t> bytes = ClumpWriter::Write(clump);
    Stream* in = OpenReader(bytes);
    ASSERT_TRUE(Stream::FindChunk(in, 16, nullptr, nullptr));
    Clump* c = Clump::StreamRead(in);
    Stream::Close(in, nullptr);
    ASSERT_NE(c, nullptr);
    Atomic* a = Atomic::FromClumpLink(c->atomics.next);
    ExpectSameSkin(reference, SkinGeometry::GetSkin(a->geometry));
    // Read atomics with a skin get the skin pipeline.
    EXPECT_EQ(a->pipeline, SkinPlugin::GetPipeline(0));
    EXPECT_NE(a->pipeline, nullptr);
    Clump::Destroy(c);

    // Maximum weights of the older layouts: 2 when one vertex uses two, else 1.
    SkinDescription single = ThreeBones();
    single.weights = {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}};
    Geometry* one = Read(4, SkinWriter::Older(single));
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(SkinGeometry::GetSkin(one)->maxWeights, 1);
    EXPECT_EQ(SkinGeometry::GetSkin(one)->usedBoneCount, 3);
}

TEST_F(SkinTest, NativeLayoutChecksVersionAndPlatformAndKeepsNoWeights)
{
    struct Case
    {
        uint32_t version;
        uint32_t platform;
        bool read;
        int32_t error;
    };
    const Case cases[] = {
        {0x36003, 9, true, 0},
        {0x34000, 9, true, 0},
        {0x33FFF, 9, false, kErrBadVersion},
        {0x36004, 9, false, kErrBadVersion},
        {0x36003, 8, false, 0},
    };
    for (const Case& c : cases)
    {
        Geometry* g = Plain(4);
        g->flags |= kGeometryNative;
        TakeError();
        const bool read = ReadBody(SkinWriter::Native(17, c.platform, c.version), g) != nullptr;
        EXPECT_EQ(read, c.read) << std::hex << c.version;
        Error e;
        Error::Get(&e);
        // A common code: the slot keeps it under plug-in id 0.
        EXPECT_EQ(e.code, c.error == 0 ? kErrNone : c.error);
        const Skin* skin = SkinGeometry::GetSkin(g);
        EXPECT_EQ(skin != nullptr, c.read);
        if (skin)
        {
            // No weights to sort, nothing to write.
            EXPECT_EQ(skin->boneCount, 17);
            EXPECT_EQ(skin->data, nullptr);
            EXPECT_EQ(Skin::StreamGetSize(g, 0, 0), 0);
        }
    }
}

TEST_F(SkinTest, BoneBytesOfUnweightedSlotsAreIgnoredWhateverTheyHold)
{
    // Exporters leave any byte in a slot without weight; the weighted bytes stay checked.
    SkinDescription s = ThreeBones();
    s.boneIndices = {{0, 7, 250, 3}, {1, 0, 99, 0}, {1, 2, 0, 200}, {2, 1, 0, 0}};
    s.usedBones = {0, 1, 2};
    for (bool older : {false, true})
    {
        SCOPED_TRACE(older ? "older layout" : "current layout");
        Geometry* g = Read(4, older ? SkinWriter::Older(s) : SkinWriter::Current(s));
        ASSERT_NE(g, nullptr);
        const Skin* skin = SkinGeometry::GetSkin(g);
        ASSERT_NE(skin, nullptr);
        for (int32_t v = 0; v < 4; ++v)
            for (int k = 0; k < 4; ++k)
            {
                const int32_t bone = int32_t((skin->vertexBoneIndices[v] >> (8 * k)) & 0xFF);
                EXPECT_LT(bone, 3) << "vertex " << v << " slot " << k;
                if (skin->vertexWeights[4 * v + k] != 0.0f)
                    EXPECT_EQ(bone, s.boneIndices[size_t(v)][size_t(k)]) << "vertex " << v << " slot " << k;
            }
        EXPECT_EQ(skin->usedBoneCount, 3);
    }
}

TEST_F(SkinTest, InconsistentSubChunksAreRefusedBeforeAnythingIsStored)
{
    // 65,535 vertices and 255 bones claimed in 128 bytes.
    {
        Geometry* g = Plain(4);
        g->numVertices = 65535; // as a reader would have it after the geometry's own chunk
        std::vector<uint8_t> body(128, 0);
        body[0] = 255;
        body[1] = 0;
        body[2] = 2;
        Stream* in = OpenReader(body);
        EXPECT_EQ(Skin::StreamRead(in, 128, g, 0, 0), nullptr);
        Stream::Close(in, nullptr);
        EXPECT_EQ(SkinGeometry::GetSkin(g), nullptr);
        g->numVertices = 4;
    }
    struct Case
    {
        const char* what;
        void (*edit)(SkinDescription&);
    };
    const Case cases[] = {
        {"vertex bone byte >= bone count", [](SkinDescription& s) { s.boneIndices[2][1] = 3; }},
        {"used bone >= bone count", [](SkinDescription& s) { s.usedBones = {0, 1, 3}; }},
        {"max weights 5", [](SkinDescription& s) { s.maxWeights = 5; }},
        {"more meshes than the geometry", [](SkinDescription& s) {
             s.boneRemap = {0, 1, 2};
             s.meshRuns = {{0, 1}, {0, 1}};
             s.boneRuns = {{0, 3}};
         }},
        {"mesh run past the runs", [](SkinDescription& s) {
             s.boneRemap = {0, 1, 2};
             s.meshRuns = {{0, 2}};
             s.boneRuns = {{0, 3}};
         }},
        {"bone run past the remap table", [](SkinDescription& s) {
             s.boneRemap = {0, 1, 2};
             s.meshRuns = {{0, 1}};
             s.boneRuns = {{1, 3}};
         }},
    };
    for (const Case& c : cases)
    {
        SkinDescription s = ThreeBones();
        c.edit(s);
        Geometry* g = Plain(4);
        EXPECT_EQ(ReadBody(SkinWriter::Current(s), g), nullptr) << c.what;
        EXPECT_EQ(SkinGeometry::GetSkin(g), nullptr) << c.what;
    }
    // Older layouts: a bone byte outside the bones would overflow the used-bone list.
    SkinDescription s = ThreeBones();
    s.boneIndices[3][0] = 200;
    EXPECT_EQ(ReadBody(SkinWriter::Older(s), Plain(4)), nullptr);
    // Split counts larger than the sub-chunk.
    std::vector<uint8_t> chunk = SkinWriter::Current(ThreeBones());
    const size_t meshCountAt = chunk.size() - 8;
    chunk[meshCountAt] = 1;
    EXPECT_EQ(ReadBody(chunk, Plain(4)), nullptr);
}

TEST_F(SkinTest, MutatedSubChunksOfEveryLayoutNeverCorruptMemory)
{
    SkinDescription s = ThreeBones();
    s.boneRemap = {0, 1, 255};
    s.meshRuns = {{0, 1}};
    s.boneRuns = {{0, 2}};
    const std::vector<uint8_t> layouts[] = {Body(SkinWriter::Current(s)), Body(SkinWriter::Older(s)),
                                            Body(SkinWriter::Native(3))};
    for (int layout = 0; layout < 3; ++layout)
    {
        SweepMutations(layouts[layout], 1500, [&](std::vector<uint8_t>& bytes) {
            Geometry* g = Geometry::Create(4, 2, kGeometryPositions);
            ASSERT_NE(g, nullptr);
            if (layout == 2)
                g->flags |= kGeometryNative;
            Stream* in = OpenReader(bytes);
            Skin::StreamRead(in, int32_t(bytes.size()), g, 0, 0);
            Stream::Close(in, nullptr);
            if (Skin* skin = SkinGeometry::GetSkin(g); skin && skin->data)
                {
                for (int32_t v = 0; v < skin->vertexCount; ++v)
                    for (int k = 0; k < 4; ++k)
                        ASSERT_LT(int32_t((skin->vertexBoneIndices[v] >> (8 * k)) & 0xFF), skin->boneCount);
            }
            Geometry::Destroy(g);
            TakeError();
        });
    }
    // The atomic side, through the atomic reader's callback.
    const std::vector<uint8_t> atomicSide = Body(SkinWriter::AtomicSide(s));
    SweepMutations(atomicSide, 1500, [&](std::vector<uint8_t>& bytes) {
        Atomic* atomic = Atomic::Create();
        Geometry* g = Geometry::Create(4, 2, kGeometryPositions);
        Atomic::SetGeometry(atomic, g, 0);
        Geometry::Destroy(g);
        Stream* in = OpenReader(bytes);
        Skin::AtomicStreamRead(in, int32_t(bytes.size()), atomic, 0, 0);
        Stream::Close(in, nullptr);
        Atomic::Destroy(atomic);
        TakeError();
    });
}

// ---- Weights and ownership -----------------------------------------------------------------------

TEST_F(SkinTest, WeightsSortDecreasingWithTheirBonesUnlessTheFirstIsOne)
{
    Geometry* g = Plain(3);
    Skin* skin = Skin::Create();
    ASSERT_NE(skin, nullptr);
    const float weights[12] = {0.2f, 0.5f, 0.3f, 0, 1.0f, 0, 0.7f, 0, 1.5f, 0.5f, 0.9f, 0};
    const uint32_t bones[3] = {0x00020100, 0x00000201, 0x00010200};
    const uint8_t used[3] = {2, 0, 1};
    ASSERT_EQ(Skin::AllocateData(skin, 3, 3, 3, used, weights, bones, nullptr), 1);
    skin->maxWeights = 3;
    SkinGeometry::SetSkin(g, skin);
    const float* w = Skin::GetVertexBoneWeights(skin);
    EXPECT_EQ(std::vector<float>(w, w + 4), (std::vector<float>{0.5f, 0.3f, 0.2f, 0}));
    EXPECT_EQ(skin->vertexBoneIndices[0], 0x00000201u); // bones 1, 2, 0 (0 in the empty slot)
    // A first weight of 1.0 or more: left as it is.
    EXPECT_EQ(std::vector<float>(w + 4, w + 12), (std::vector<float>{1.0f, 0, 0.7f, 0, 1.5f, 0.5f, 0.9f, 0}));
    EXPECT_EQ(skin->vertexBoneIndices[1], 0x00000201u);
    EXPECT_EQ(std::vector<uint8_t>(skin->usedBones, skin->usedBones + 3), (std::vector<uint8_t>{0, 1, 2}));

    // A replaced skin is destroyed (the sanitizers see a leak otherwise); setting the same
    // one again keeps it.
    Skin* second = Skin::Create();
    ASSERT_EQ(Skin::AllocateData(second, 1, 0, 3, nullptr, nullptr, nullptr, nullptr), 1);
    SkinGeometry::SetSkin(g, second);
    SkinGeometry::SetSkin(g, second);
    EXPECT_EQ(SkinGeometry::GetSkin(g), second);
    // A second read over a skinned geometry replaces the first skin the same way.
    EXPECT_NE(ReadBody(SkinWriter::Current(ThreeBones()), Plain(4)), nullptr);
    Geometry* twice = mGeometries.back();
    EXPECT_NE(ReadBody(SkinWriter::Older(ThreeBones()), twice), nullptr);
    EXPECT_EQ(SkinGeometry::GetSkin(twice)->maxWeights, 2);
}

// ---- Device evaluation and pipelines ---------------------------------------------------------------

TEST_F(SkinTest, DeviceCapabilitiesDecideHardwareSkinningAndItsBoneLimit)
{
    constexpr uint32_t kTnl = 0x10000;
    struct Case
    {
        uint32_t devCaps, vs, ps, constants;
        int32_t hardware, limit;
    };
    const Case cases[] = {
        {kTnl, 0xFFFE0101, 0xFFFF0101, 96, 1, 28},  {kTnl, 0xFFFE0200, 0xFFFF0200, 256, 1, 81},
        {0, 0xFFFE0200, 0xFFFF0200, 256, 0, 0},     {kTnl, 0xFFFE0100, 0xFFFF0200, 256, 0, 0},
        {kTnl, 0xFFFE0200, 0xFFFF0100, 256, 0, 0},
    };
    for (const Case& c : cases)
    {
        const SkinDeviceCaps caps = SkinPlugin::EvaluateCaps(c.devCaps, c.vs, c.ps, c.constants);
        EXPECT_EQ(caps.hardwareVertexProcessing, c.devCaps ? 1 : 0);
        EXPECT_EQ(caps.hardwareSkinning, c.hardware);
        EXPECT_EQ(caps.hardwareBoneLimit, c.limit);
    }
}

TEST_F(SkinTest, OpenCreatesOnePipelineAndSkinnedAtomicsTakeItWhateverTheKind)
{
    Pipeline* pipeline = SkinPlugin::GetPipeline(0);
    ASSERT_NE(pipeline, nullptr);
    EXPECT_EQ(pipeline->pluginId, Skin::kPluginId);
    EXPECT_EQ(pipeline->pluginData, 1u);
    EXPECT_NE(Pipeline::FindNode(pipeline, "D3D9SkinAtomicAllInOne.node", nullptr, nullptr), nullptr);
    EXPECT_EQ(SkinPlugin::GetPipeline(1), nullptr);
    Atomic* atomic = Atomic::Create();
    for (int32_t kind : {1, 2, 3})
    {
        atomic->pipeline = nullptr;
        SkinAtomic::SetSkinPipeline(atomic, kind);
        EXPECT_EQ(atomic->pipeline, pipeline);
    }
    // Clones share the hierarchy; the atomic does not own it.
    Hierarchy* h = Hierarchy::Create(2, nullptr, nullptr, 0, 36);
    SkinAtomic::SetSkinHierarchy(atomic, h);
    Atomic* clone = Atomic::Clone(atomic);
    EXPECT_EQ(SkinAtomic::GetSkinHierarchy(clone), h);
    Atomic::Destroy(clone);
    Atomic::Destroy(atomic);
    Hierarchy::Destroy(h);
}
