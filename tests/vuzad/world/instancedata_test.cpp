// Instance data: the index helpers of meshes, the index side built from mesh headers (strip
// conversion, rebasing, sorting, unindexed meshes, empty meshes, failures, data kept outside
// the arena), tangents, and the exact device sequence of the default render callback.
#include "atomicnode.h"
#include "camera.h"
#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "d3d9worldfixture.h"
#include "instancedata.h"
#include "material.h"
#include "resourcearena.h"
#include "texture.h"
#include "vertexdeclaration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace
{

using Indices = std::vector<uint16_t>;

// ---- Mesh index helpers ---------------------------------------------------------------------

TEST(MeshIndices, StripsBecomeListsKeepingTheirWindingAndSkippingDegenerateTriangles)
{
    const struct
    {
        Indices strip;
        uint16_t offset;
        Indices list;
    } cases[] = {
        {{0, 1, 2, 3}, 0, {0, 1, 2, 3, 2, 1}},
        {{5, 5, 6, 7}, 0, {7, 6, 5}},
        {{10, 11, 12, 13}, 10, {0, 1, 2, 3, 2, 1}},
        {{0, 1, 2, 2, 3, 3, 4, 5}, 0, {0, 1, 2, 5, 4, 3}},
        {{4, 5}, 0, {}},
        {{}, 0, {}},
    };
    for (const auto& c : cases)
    {
        Indices out(c.strip.size() * 3 + 1, 0xEEEE);
        const int32_t written = Mesh::StripToList(out.data(), c.strip.data(), int32_t(c.strip.size()), c.offset);
        EXPECT_EQ(Indices(out.begin(), out.begin() + written), c.list);
        EXPECT_EQ(out[size_t(written)], 0xEEEE);
    }
}

TEST(MeshIndices, TrianglesCompareByTheirSortedIndicesAndRangesSpanTheIndices)
{
    const uint16_t a[3] = {2, 0, 1}, b[3] = {1, 2, 0}, c[3] = {0, 1, 3}, d[3] = {0, 2, 3};
    EXPECT_EQ(Mesh::CompareTriangles(a, b), 0);
    EXPECT_LT(Mesh::CompareTriangles(c, d), 0);
    EXPECT_GT(Mesh::CompareTriangles(d, c), 0);

    Indices list = {3, 2, 4, 0, 2, 3, 0, 1, 2};
    Mesh::SortTriangles(list.data(), int32_t(list.size()));
    EXPECT_EQ(list, (Indices{0, 1, 2, 0, 2, 3, 3, 2, 4}));

    uint32_t range = 99, minimum = 99;
    const uint16_t some[3] = {7, 3, 9};
    Mesh::GetIndexRange(some, 3, &range, &minimum);
    EXPECT_EQ(minimum, 3u);
    EXPECT_EQ(range, 7u);
    Mesh::GetIndexRange(nullptr, 0, &range, &minimum);
    EXPECT_EQ(minimum, 0u);
    EXPECT_EQ(range, 0u);
}

// ---- Building the index side ------------------------------------------------------------------

/// A mesh header laid out by hand over index arrays the test keeps.
struct HandHeader
{
    MeshHeader header{};
    Mesh meshes[3]{};

    HandHeader(uint32_t flags, std::vector<Indices>& indices, uint16_t serial = 7)
    {
        header.flags = flags;
        header.numMeshes = uint16_t(indices.size());
        header.serialNumber = serial;
        for (size_t i = 0; i < indices.size(); ++i)
        {
            meshes[i] = {indices[i].data(), uint32_t(indices[i].size()), nullptr};
            header.totalIndices += uint32_t(indices[i].size());
        }
    }
};
static_assert(offsetof(HandHeader, meshes) == sizeof(MeshHeader), "meshes follow the header");

int sCallbackCalls = 0;
int32_t sCallbackResult = 1;
int32_t CountingInstance(void*, InstanceHeader* header, int32_t reinstance)
{
    ++sCallbackCalls;
    EXPECT_EQ(reinstance, 0);
    header->totalVertexCount = 16;
    return sCallbackResult;
}

class InstanceDataTest : public d3d9world::D3D9WorldTest
{
protected:
    void SetUp() override
    {
        D3D9WorldTest::SetUp();
        sCallbackCalls = 0;
        sCallbackResult = 1;
    }

    /// The 16-bit indices the data's buffer holds.
    static Indices BufferIndices(const InstanceHeader* header)
    {
        std::vector<BYTE> bytes;
        EXPECT_TRUE(d3d9test::ReadBuffer(header->indexBuffer, bytes));
        Indices out(bytes.size() / 2);
        std::memcpy(out.data(), bytes.data(), out.size() * 2);
        return out;
    }

    ResourceEntry* mEntry = nullptr;
};

TEST_F(InstanceDataTest, StripsConvertWhenTheListIsShorterAndEmptyMeshesDrawNothing)
{
    StartWorld();
    // Strips joined by repeated indices hold two triangles in eight indices: a list of six.
    std::vector<Indices> indices = {{0, 1, 2, 2, 3, 3, 4, 5}, {}};
    HandHeader hand(1, indices);
    ResourceEntry* entry =
        InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &hand.header, CountingInstance, 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(mEntry, entry);
    EXPECT_EQ(sCallbackCalls, 1);
    InstanceHeader* h = InstanceData::Header(entry);
    EXPECT_EQ(h->serialNumber, 7u);
    EXPECT_EQ(h->primitiveType, uint32_t(D3DPT_TRIANGLELIST));
    EXPECT_EQ(h->totalIndexCount, 6u);
    EXPECT_EQ(BufferIndices(h), (Indices{0, 1, 2, 5, 4, 3}));
    const InstanceMesh* m = InstanceHeader::Meshes(h);
    EXPECT_EQ(m[0].indexCount, 6u);
    EXPECT_EQ(m[0].primitiveCount, 2u);
    EXPECT_EQ(m[0].vertexCount, 6u);
    EXPECT_EQ(m[1].indexCount, 0u);
    EXPECT_EQ(m[1].primitiveCount, 0u);
    ResourceArena::Free(entry);
    EXPECT_EQ(mEntry, nullptr);

    // A strip that is shorter than its list stays a strip, rebased by its smallest index;
    // the empty strip beside it gets no negative count.
    indices = {{10, 11, 12, 13}, {}};
    HandHeader strip(1, indices);
    entry = InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &strip.header, CountingInstance, 0);
    ASSERT_NE(entry, nullptr);
    h = InstanceData::Header(entry);
    EXPECT_EQ(h->primitiveType, uint32_t(D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(BufferIndices(h), (Indices{0, 1, 2, 3}));
    m = InstanceHeader::Meshes(h);
    EXPECT_EQ(m[0].minimumVertex, 10u);
    EXPECT_EQ(m[0].vertexCount, 4u);
    EXPECT_EQ(m[0].primitiveCount, 2u);
    EXPECT_EQ(m[1].primitiveCount, 0u);
    ResourceArena::Free(entry);

    // Other object kinds never convert.
    indices = {{0, 1, 2, 2, 3, 3, 4, 5}};
    HandHeader other(1, indices);
    entry = InstanceData::Create(nullptr, nullptr, 3, &mEntry, &other.header, CountingInstance, 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(InstanceData::Header(entry)->primitiveType, uint32_t(D3DPT_TRIANGLESTRIP));
    ResourceArena::Free(entry);
}

TEST_F(InstanceDataTest, ListsAreRebasedAndSortedAndUnindexedMeshesFollowEachOther)
{
    StartWorld();
    std::vector<Indices> indices = {{4, 5, 3, 0, 1, 2}, {9, 8, 7}};
    HandHeader lists(0, indices);
    ResourceEntry* entry =
        InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &lists.header, CountingInstance, 0);
    ASSERT_NE(entry, nullptr);
    InstanceHeader* h = InstanceData::Header(entry);
    EXPECT_EQ(BufferIndices(h), (Indices{0, 1, 2, 4, 5, 3, 2, 1, 0}));
    const InstanceMesh* m = InstanceHeader::Meshes(h);
    EXPECT_EQ(m[1].startIndex, 6u);
    EXPECT_EQ(m[1].minimumVertex, 7u);
    EXPECT_EQ(m[1].vertexCount, 3u);
    EXPECT_EQ(m[1].primitiveCount, 1u);
    ResourceArena::Free(entry);

    // Unindexed: the counts are vertices, one mesh after the other.
    indices = {Indices(6), Indices(9)};
    HandHeader unindexed(kMeshHeaderUnindexed, indices);
    entry = InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &unindexed.header, CountingInstance, 0);
    ASSERT_NE(entry, nullptr);
    h = InstanceData::Header(entry);
    EXPECT_EQ(h->indexBuffer, nullptr);
    m = InstanceHeader::Meshes(h);
    EXPECT_EQ(m[0].minimumVertex, 0u);
    EXPECT_EQ(m[1].minimumVertex, 6u);
    EXPECT_EQ(m[0].vertexCount, 6u);
    EXPECT_EQ(m[1].vertexCount, 9u);
    EXPECT_EQ(m[0].indexCount + m[1].indexCount, 0u);
    EXPECT_EQ(m[0].primitiveCount, 2u);
    EXPECT_EQ(m[1].primitiveCount, 3u);
    ResourceArena::Free(entry);
}

TEST_F(InstanceDataTest, PrimitiveCountsByTypeNeverGoNegative)
{
    StartWorld();
    // Mesh flags -> engine type: 0 list, 1 strip, 2 fan, 4 line list, 8 poly-line, 16 points.
    const struct
    {
        uint32_t flags;
        uint32_t type;
        uint32_t counts[3]; ///< for 0, 1 and 7 vertices
    } cases[] = {
        {0, D3DPT_TRIANGLELIST, {0, 0, 2}}, {1, D3DPT_TRIANGLESTRIP, {0, 0, 5}}, {2, D3DPT_TRIANGLEFAN, {0, 0, 5}},
        {4, D3DPT_LINELIST, {0, 0, 3}},     {8, D3DPT_LINESTRIP, {0, 0, 6}},     {16, D3DPT_POINTLIST, {0, 0, 0}},
    };
    for (const auto& c : cases)
    {
        std::vector<Indices> indices = {Indices(0), Indices(1), Indices(7)};
        HandHeader hand(c.flags | kMeshHeaderUnindexed, indices);
        ResourceEntry* entry =
            InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &hand.header, CountingInstance, 0);
        ASSERT_NE(entry, nullptr);
        const InstanceHeader* h = InstanceData::Header(entry);
        EXPECT_EQ(h->primitiveType, c.type) << c.flags;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(InstanceHeader::Meshes(h)[i].primitiveCount, c.counts[i]) << c.flags << " mesh " << i;
        ResourceArena::Free(entry);
    }
}

TEST_F(InstanceDataTest, FailuresFreeTheBlockAndDataOutsideTheArenaIsFreedByItsOwner)
{
    StartWorld();
    std::vector<Indices> indices = {{0, 1, 2}};
    HandHeader hand(0, indices);

    sCallbackResult = 0;
    EXPECT_EQ(InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &hand.header, CountingInstance, 0),
              nullptr);
    EXPECT_EQ(mEntry, nullptr);
    EXPECT_EQ(ResourceArena::Get()->used, 0u);
    sCallbackResult = 1;

    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &hand.header, CountingInstance, 0),
              nullptr);
    EXPECT_EQ(mEntry, nullptr);
    EXPECT_EQ(sCallbackCalls, 1) << "no callback without indices";

    ResourceEntry* kept =
        InstanceData::Create(nullptr, nullptr, kInstanceAtomic, &mEntry, &hand.header, CountingInstance, 1);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(mEntry, kept);
    EXPECT_EQ(kept->link.next, nullptr);
    EXPECT_EQ(ResourceArena::Get()->used, 0u) << "not in the arena";
    ResourceArena::Use(kept); // left alone
    ResourceArena::Free(kept);
    EXPECT_EQ(mEntry, nullptr);
}

// ---- Data made by the atomic node's instance callback -------------------------------------------

GeometryDescription TwoMaterialQuad(uint32_t format)
{
    GeometryDescription d;
    d.format = format;
    d.numVertices = 4;
    if (format & kGeometryTextured)
        d.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    if (format & kGeometryPrelit)
        d.prelit = {{255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}};
    d.triangles = {{0, 1, 2, 0}, {1, 3, 2, 1}};
    d.targets = {{{0.5f, 0.5f, 0, 0.75f}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {}}};
    if (format & kGeometryNormals)
        d.targets[0].normals = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
    GeometryDescription::Material a, b;
    b.colour = {255, 255, 255, 254};
    d.materials = {a, b};
    d.listEntries = {0, 1};
    return d;
}

TEST_F(InstanceDataTest, TangentsFollowTheTextureAxisAndDegenerateCoordinatesAddNothing)
{
    StartWorld();
    Geometry* g = ReadGeometry(TwoMaterialQuad(kGeometryPositions | kGeometryTextured));
    ASSERT_NE(g, nullptr);
    Atomic* atomic = MakeAtomic(g);
    ResourceEntry* entry = InstanceData::Create(atomic, g, kInstanceAtomic, &g->instanceData, g->meshHeader,
                                                AtomicAllInOneNode::Instance, 0);
    ASSERT_NE(entry, nullptr);
    const InstanceHeader* h = InstanceData::Header(entry);
    std::vector<uint8_t> out(12 * 4, 0xCD);
    EXPECT_EQ(VertexDeclaration::WriteTangents(D3DDECLTYPE_FLOAT3, out.data(), g->morphTargets[0].positions,
                                               g->texCoords[0], h, 12),
              12);
    for (int v = 0; v < 4; ++v)
    {
        float t[3];
        VertexDeclaration::ReadVector(D3DDECLTYPE_FLOAT3, t, out.data() + 12 * v);
        EXPECT_NEAR(t[0], 1.0f, 1e-5f) << v;
        EXPECT_NEAR(t[1], 0.0f, 1e-5f) << v;
    }
    // Every coordinate equal: no triangle adds, every tangent stays zero (not a NaN).
    for (int v = 0; v < 4; ++v)
        g->texCoords[0][v] = {0.5f, 0.5f};
    VertexDeclaration::WriteTangents(D3DDECLTYPE_FLOAT3, out.data(), g->morphTargets[0].positions, g->texCoords[0], h,
                                     12);
    for (int v = 0; v < 4; ++v)
    {
        float t[3];
        VertexDeclaration::ReadVector(D3DDECLTYPE_FLOAT3, t, out.data() + 12 * v);
        EXPECT_EQ(t[0], 0.0f);
        EXPECT_EQ(t[1], 0.0f);
        EXPECT_EQ(t[2], 0.0f);
    }
}

// ---- The default render callback -----------------------------------------------------------------

class DefaultRenderTest : public InstanceDataTest
{
protected:
    void TearDown() override
    {
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
            Engine::Current()->currentCamera = nullptr;
        if (mCamera)
            Camera::Destroy(mCamera);
        for (Texture* t : mTextures)
            Texture::Destroy(t);
        InstanceDataTest::TearDown();
    }

    /// A started world, a camera whose frustum is the box |x|, |y|, |z| <= 10, and an atomic
    /// of the two-material quad with its data made.
    void Prepare(uint32_t format)
    {
        StartWorld();
        mCamera = Camera::Create();
        const Vector normals[6] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
        // The corner bytes pick, per axis, the box corner furthest along the normal.
        for (int i = 0; i < 6; ++i)
            mCamera->frustumPlanes[i] = {normals[i], 10.0f, uint8_t(!std::signbit(normals[i].x)),
                                         uint8_t(!std::signbit(normals[i].y)), uint8_t(!std::signbit(normals[i].z))};
        Engine::Current()->currentCamera = mCamera;
        Geometry* g = ReadGeometry(TwoMaterialQuad(format));
        ASSERT_NE(g, nullptr);
        mAtomic = MakeAtomic(g);
        mGeometry = g;
        mEntry = InstanceData::Create(mAtomic, g, kInstanceAtomic, &g->instanceData, g->meshHeader,
                                      AtomicAllInOneNode::Instance, 0);
        ASSERT_NE(mEntry, nullptr);
    }

    Texture* MakeTexture(uint32_t format)
    {
        Texture* texture = Texture::Create(Raster::Create(4, 4, 0, kRasterTypeTexture | format));
        mTextures.push_back(texture);
        return texture;
    }

    Material* MeshMaterial(int i) { return MeshHeader::Meshes(mGeometry->meshHeader)[i].material; }

    /// Known values that differ from everything the callback sets, sent to the device.
    static void Sentinels()
    {
        D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, 0x12345678);
        D3D9RenderState::SetRenderState(D3DRS_DITHERENABLE, 1);
        D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
        D3D9RenderState::SetRenderState(D3DRS_CLIPPING, 1);
        for (uint32_t stage = 0; stage < 2; ++stage)
            for (uint32_t type : {D3DTSS_COLOROP, D3DTSS_ALPHAOP})
                D3D9RenderState::SetTextureStageState(stage, type, D3DTOP_ADD);
        for (uint32_t type : {D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2})
            D3D9RenderState::SetTextureStageState(0, type, D3DTA_SPECULAR);
        D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 0);
        D3D9RenderState::SetVertexAlphaEnable(false);
        D3D9RenderState::Flush();
    }

    /// What reached the device while rendering: states, textures and draws.
    std::vector<std::string> Render(uint32_t flags)
    {
        Device()->BeginScene();
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        AllInOneNode::DefaultRender(mEntry, mAtomic, kInstanceAtomic, flags);
        D3D9RenderState::Flush();
        d3d9test::EnableCallLog(false);
        Device()->EndScene();
        std::vector<std::string> out;
        for (const d3d9test::Call& call : d3d9test::CallLog())
            if (call.name == "SetRenderState" || call.name == "SetTextureStageState" || call.name == "SetTexture" ||
                call.name.compare(0, 4, "Draw") == 0 || call.name == "SetMaterial")
                out.push_back(call.name == "SetMaterial" ? "SetMaterial" : call.Text());
        return out;
    }

    static std::string Rs(D3DRENDERSTATETYPE state, DWORD value)
    {
        return "SetRenderState(" + std::to_string(state) + ", " + std::to_string(value) + ")";
    }
    static std::string Ts(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
    {
        return "SetTextureStageState(" + std::to_string(stage) + ", " + std::to_string(type) + ", " +
               std::to_string(value) + ")";
    }
    static std::string Tex(const Texture* texture)
    {
        return "SetTexture(0, " +
               (texture ? d3d9test::ObjectName(D3D9Raster::Extension(texture->raster)->object) : "null") + ")";
    }

    Camera* mCamera = nullptr;
    Atomic* mAtomic = nullptr;
    Geometry* mGeometry = nullptr;
    std::vector<Texture*> mTextures;
};

TEST_F(DefaultRenderTest, UnlitObjectsDrawInOpaqueBlackCutOutByTextureAlpha)
{
    Prepare(kGeometryPositions | kGeometryTextured);
    Texture* alpha = MakeTexture(kRasterFormat8888);
    Texture* opaque = MakeTexture(kRasterFormat888);
    Material::SetTexture(MeshMaterial(0), alpha);
    Material::SetTexture(MeshMaterial(1), opaque);
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, 0);
    Sentinels();

    const std::vector<std::string> expected = {
        Tex(alpha),
        // First flush: the queued render states, then the stage states.
        Rs(D3DRS_CLIPPING, 0), Rs(D3DRS_TEXTUREFACTOR, 0xFF000000), Rs(D3DRS_DITHERENABLE, 0),
        // Texture alpha turns blending and the alpha test on.
        Rs(D3DRS_SHADEMODE, D3DSHADE_FLAT), Rs(D3DRS_ALPHABLENDENABLE, 1), Rs(D3DRS_ALPHATESTENABLE, 1),
        Ts(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2), Ts(0, D3DTSS_COLORARG1, D3DTA_TEXTURE),
        Ts(0, D3DTSS_COLORARG2, D3DTA_TFACTOR), Ts(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE),
        Ts(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE), Ts(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR),
        "DrawIndexedPrimitive(4, 0, 0, 3, 0, 1)",
        // The texture without alpha: the colour alone.
        Tex(nullptr), Rs(D3DRS_ALPHABLENDENABLE, 0), Rs(D3DRS_ALPHATESTENABLE, 0),
        Ts(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2), "DrawIndexedPrimitive(4, 1, 0, 3, 3, 1)",
        // Dither and shade mode restored.
        Rs(D3DRS_DITHERENABLE, 1), Rs(D3DRS_SHADEMODE, D3DSHADE_GOURAUD)};
    EXPECT_EQ(Render(kGeometryPositions | kGeometryTextured), expected);
}

TEST_F(DefaultRenderTest, LitMaterialAlphaTurnsVertexAlphaOnAndCrossingSpheresClip)
{
    Prepare(kGeometryPositions | kGeometryNormals | kGeometryLight);
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, 1);
    Sentinels();
    // The quad's sphere (centre x 0.5, radius 0.75) crosses a plane at x = 0.6.
    mCamera->frustumPlanes[2].distance = 0.6f;
    D3D9RenderState::SetRenderState(D3DRS_CLIPPING, 0);
    D3D9RenderState::Flush();

    // Mesh 0 is opaque white, mesh 1 has alpha 254 and no vertex colour is translucent.
    std::vector<std::string> log = Render(kGeometryPositions | kGeometryNormals | kGeometryLight);
    auto at = [&](const std::string& text) { return size_t(std::find(log.begin(), log.end(), text) - log.begin()); };
    const size_t firstDraw = at("DrawIndexedPrimitive(4, 0, 0, 3, 0, 1)");
    const size_t blendOn = at(Rs(D3DRS_ALPHABLENDENABLE, 1));
    const size_t secondDraw = at("DrawIndexedPrimitive(4, 1, 0, 3, 3, 1)");
    ASSERT_LT(secondDraw, log.size());
    EXPECT_LT(at(Rs(D3DRS_CLIPPING, 1)), firstDraw) << "the sphere crosses a plane";
    EXPECT_LT(at("SetMaterial"), firstDraw);
    EXPECT_LT(at(Ts(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2)), firstDraw);
    EXPECT_LT(at(Ts(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE)), firstDraw);
    EXPECT_LT(firstDraw, blendOn);
    EXPECT_LT(blendOn, secondDraw);
    EXPECT_EQ(std::count(log.begin(), log.end(), Ts(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2)), 1)
        << "the same set-up is not sent again";
}

TEST_F(DefaultRenderTest, SectorsClipByTheirBoxAndNothingClipsWithoutACamera)
{
    Prepare(kGeometryPositions);
    WorldSector sector{};
    WorldSector::InitLeaf(&sector);
    const struct
    {
        BBox box;
        DWORD clipping;
    } cases[] = {{{{9, 9, 9}, {-9, -9, -9}}, 0}, {{{11, 1, 1}, {9, -1, -1}}, 1}, {{{1, 1, 1}, {-1, -1, -1}}, 0}};
    for (const auto& c : cases)
    {
        sector.box = c.box;
        AllInOneNode::SetClippingByFrustum(&sector, kInstanceSector);
        DWORD clipping = 99;
        D3D9RenderState::GetRenderState(D3DRS_CLIPPING, &clipping);
        EXPECT_EQ(clipping, c.clipping) << c.box.sup.x;
    }
    Engine::Current()->currentCamera = nullptr;
    AllInOneNode::SetClippingByFrustum(mAtomic, kInstanceAtomic);
    DWORD clipping = 99;
    D3D9RenderState::GetRenderState(D3DRS_CLIPPING, &clipping);
    EXPECT_EQ(clipping, 1u);
}

TEST_F(DefaultRenderTest, ModulatedPrelitTexturesUseTheSecondStageAndTurnItOffAfterwards)
{
    const uint32_t flags = kGeometryPositions | kGeometryPrelit | kGeometryTextured | kGeometryModulateMaterialColor;
    Prepare(flags);
    Texture* texture = MakeTexture(kRasterFormat888);
    Material::SetTexture(MeshMaterial(0), texture);
    MeshMaterial(0)->colour = {255, 0, 0, 255};
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, 0);
    Sentinels();

    const std::vector<std::string> log = Render(flags);
    const std::vector<std::string> expected = {
        Tex(texture), Rs(D3DRS_CLIPPING, 0), Rs(D3DRS_TEXTUREFACTOR, 0xFFFF0000),
        Ts(0, D3DTSS_COLOROP, D3DTOP_MODULATE), Ts(0, D3DTSS_COLORARG1, D3DTA_TEXTURE),
        Ts(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE), Ts(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE),
        Ts(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE), Ts(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE),
        Ts(1, D3DTSS_COLOROP, D3DTOP_MODULATE), Ts(1, D3DTSS_COLORARG1, D3DTA_CURRENT),
        Ts(1, D3DTSS_COLORARG2, D3DTA_TFACTOR), Ts(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE),
        Ts(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT), Ts(1, D3DTSS_ALPHAARG2, D3DTA_TFACTOR),
        "DrawIndexedPrimitive(4, 0, 0, 3, 0, 1)",
        // Mesh 1: white with alpha 254, untextured: vertex alpha on, the diffuse colour alone.
        // Only what differs reaches the device: the operations stay MODULATE.
        Tex(nullptr), Rs(D3DRS_ALPHABLENDENABLE, 1), Rs(D3DRS_ALPHATESTENABLE, 1), Rs(D3DRS_TEXTUREFACTOR, 0xFEFFFFFF),
        Ts(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE), Ts(0, D3DTSS_COLORARG2, D3DTA_TFACTOR),
        Ts(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE), Ts(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR),
        Ts(1, D3DTSS_COLOROP, D3DTOP_DISABLE), Ts(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE),
        "DrawIndexedPrimitive(4, 1, 0, 3, 3, 1)"};
    EXPECT_EQ(log, expected);
}

} // namespace
