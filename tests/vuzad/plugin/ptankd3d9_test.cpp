// The particle tank on our d3d9 layer: the choice of quads or point sprites, the shared
// index buffer, the vertices the begin callbacks lay out, draws cut at 16-bit limits, the
// states set and restored around a draw, draws skipped without data, and a drawn frame.
#include "plugin_fixture.h"

#include "camera.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "framecheck.h"
#include "geometry.h"
#include "material.h"
#include "ptankd3d9.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr float kDepth = 2.0f;

d3d9test::AdapterConfig PointAdapter(float maxPointSize, bool perVertexSize)
{
    d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
    adapter.clientWidth = kSize;
    adapter.clientHeight = kSize;
    adapter.caps.MaxPointSize = maxPointSize;
    if (perVertexSize)
        adapter.caps.FVFCaps |= D3DFVFCAPS_PSIZE;
    else
        adapter.caps.FVFCaps &= ~D3DFVFCAPS_PSIZE;
    return adapter;
}

class PTankDraw : public plugintest::PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        DestroyWindow(mWindow);
        mWindow = MakeWindow(kSize, kSize);
    }

    void TearDown() override
    {
        DropCamera();
        PluginTest::TearDown();
    }

    void Start(d3d9test::AdapterConfig adapter = PointAdapter(64.0f, true))
    {
        StartPlugins(adapter);
        mCamera = Camera::Create();
        mCamera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
        mCameraFrame = Frame::Create();
        FrameObject::SetFrame(&mCamera->object, mCameraFrame);
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
        Frame::SyncDirtyList();
    }

    void DropCamera()
    {
        if (!mCamera)
            return;
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
        {
            FrameObject::SetFrame(&mCamera->object, nullptr);
            Frame::Destroy(mCameraFrame);
            DestroyCamera(mCamera);
        }
        mCamera = nullptr;
    }

    /// Clears, renders the tank atomics inside the camera's update and shows the frame.
    bool Draw(std::vector<Atomic*> atomics)
    {
        const Rgba background = {0x20, 0x30, 0x40, 0xFF};
        bool ok = Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ) == mCamera;
        ok = Camera::BeginUpdate(mCamera) == mCamera && ok;
        if (ok)
        {
            Engine::Current()->device.setRenderState(kRenderStateCullMode, 1);
            for (Atomic* atomic : atomics)
                ok = atomic->renderCallback(atomic) == atomic && ok;
            ok = Camera::EndUpdate(mCamera) == mCamera && ok;
        }
        return Camera::ShowRaster(mCamera, nullptr, 0) == mCamera && ok;
    }

    /// Positions (and colours when given) written through locks; active count n.
    static void Fill(Atomic* atomic, const std::vector<Vector>& positions, const std::vector<Rgba>& colours = {})
    {
        PTankSlot slot;
        ASSERT_TRUE(PTank::Lock(atomic, &slot, kPTankPosition, kPTankLockWrite));
        for (size_t i = 0; i < positions.size(); ++i)
            std::memcpy(static_cast<char*>(slot.data) + i * size_t(slot.stride), &positions[i], 12);
        if (!colours.empty())
        {
            ASSERT_TRUE(PTank::Lock(atomic, &slot, kPTankColour, kPTankLockWrite));
            for (size_t i = 0; i < colours.size(); ++i)
                std::memcpy(static_cast<char*>(slot.data) + i * size_t(slot.stride), &colours[i], 4);
        }
        PTank::Get(atomic)->activeCount = int32_t(positions.size());
        PTank::Unlock(atomic);
    }

    /// The bytes of the vertex buffer bound to stream 0 from its first drawn vertex.
    static std::vector<uint8_t> DrawnVertices(UINT baseVertex)
    {
        const D3D9StreamRecord& stream = D3D9Device::GetBindings()->streams[0];
        std::vector<BYTE> bytes;
        EXPECT_TRUE(d3d9test::ReadBuffer(stream.buffer, bytes));
        const size_t from = size_t(baseVertex) * stream.stride;
        return from <= bytes.size() ? std::vector<uint8_t>(bytes.begin() + ptrdiff_t(from), bytes.end())
                                    : std::vector<uint8_t>();
    }

    static UINT LastBaseVertex(const char* draw)
    {
        const std::vector<std::string> args = d3d9test::CallArgs(draw);
        if (args.empty())
            return 0;
        const std::string& a = args.back();
        return UINT(std::stoul(a.substr(a.find(',') + 1)));
    }

    Camera* mCamera = nullptr;
    Frame* mCameraFrame = nullptr;
};

// ---- Quads or point sprites -------------------------------------------------------------------------

TEST_F(PTankDraw, PointSpritesOnlyWhenAskedForAndTheDeviceAndFlagsAllowThem)
{
    struct Case
    {
        float maxPointSize;
        bool perVertexSize;
        int32_t platformFlags;
        uint32_t flags;
        bool points;
    };
    const Case cases[] = {
        {64, true, 0, 0x1, false},
        {64, true, 1, 0x1, true},
        {64, true, 1, 0x1 | 0x2 | 0x10 | 0x80000 | 0x1000000 | 0x20000000, true},
        {64, true, 1, 0x1 | 0x4, true},
        {64, false, 1, 0x1 | 0x4, false},
        {64, false, 1, 0x1 | 0x2, true},
        {1, true, 1, 0x1, false},
        {64, true, 1, 0x40, false},
        {64, true, 1, 0x40000, false},
        {64, true, 1, 0x8, false},
        {64, true, 1, 0x8000, false},
        {64, true, 1, 0x20, false},
        {64, true, 1, 0x20000, false},
        {64, true, 1, 0x80, false},
        {64, true, 1, 0x100, false},
        {64, true, 1, 0x100000, false},
    };
    const Case* started = nullptr;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.maxPointSize << " psize " << c.perVertexSize << " platform "
                                        << c.platformFlags << " flags " << std::hex << c.flags);
        // The engine starts again only for another adapter.
        if (started && (started->maxPointSize != c.maxPointSize || started->perVertexSize != c.perVertexSize))
        {
            DropCamera();
            ShutDown();
            started = nullptr;
        }
        if (!started)
            Start(PointAdapter(c.maxPointSize, c.perVertexSize));
        started = &c;
        EXPECT_EQ(PTankD3D9::GetMaxPointSize(), c.maxPointSize);
        EXPECT_EQ(PTankD3D9::GetPerVertexPointSize(), c.perVertexSize);
        Atomic* atomic = Tank(16, c.flags, c.platformFlags);
        ASSERT_NE(atomic, nullptr);
        EXPECT_EQ(PTankD3D9::UsesPointSprites(atomic), c.points);
        const uint32_t g = atomic->geometry->flags;
        EXPECT_EQ((g & kGeometryTextured) != 0, !c.points);
        EXPECT_EQ((g & kGeometryPrelit) != 0, (c.flags & (0x2 | 0x40 | 0x40000)) != 0);
        EXPECT_EQ(g & 0x72, (c.flags & 0x10) ? 0x72u : 0x2u);
        const Material* m = atomic->geometry->materials.materials[0];
        EXPECT_EQ(m->surface.ambient, 0.3f);
        EXPECT_EQ(m->surface.specular, 1.0f);
        EXPECT_EQ(m->surface.diffuse, 1.0f);
        Forget(atomic);
        Atomic::Destroy(atomic);
    }
}

// ---- The shared index buffer ------------------------------------------------------------------------

TEST_F(PTankDraw, TheSharedIndexBufferHoldsTwoTrianglesPerParticleAndOnlyGrows)
{
    Start();
    ASSERT_NE(Tank(3, kPTankPosition), nullptr);
    IDirect3DIndexBuffer9* first = PTankD3D9::GetIndexBuffer();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PTankD3D9::GetIndexCapacity(), 18);
    std::vector<BYTE> bytes;
    ASSERT_TRUE(d3d9test::ReadBuffer(first, bytes));
    ASSERT_EQ(bytes.size(), 36u);
    std::vector<uint16_t> indices(18);
    std::memcpy(indices.data(), bytes.data(), 36);
    EXPECT_EQ(indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11}));

    ASSERT_NE(Tank(2, kPTankPosition), nullptr);
    EXPECT_EQ(PTankD3D9::GetIndexBuffer(), first) << "a smaller tank keeps the buffer";
    ASSERT_NE(Tank(50, kPTankPosition, 1), nullptr);
    EXPECT_EQ(PTankD3D9::GetIndexCapacity(), 18) << "point sprites need no indices";
    ASSERT_NE(Tank(10, kPTankPosition), nullptr);
    EXPECT_EQ(PTankD3D9::GetIndexCapacity(), 60);
    ASSERT_NE(PTankD3D9::GetIndexBuffer(), nullptr);
    ASSERT_TRUE(d3d9test::ReadBuffer(PTankD3D9::GetIndexBuffer(), bytes));
    ASSERT_EQ(bytes.size(), 120u);
    uint16_t last[6];
    std::memcpy(last, bytes.data() + 108, 12);
    EXPECT_EQ(std::vector<uint16_t>(last, last + 6), (std::vector<uint16_t>{36, 37, 38, 36, 38, 39}));

    for (Atomic* atomic : mAtomics)
        Atomic::Destroy(atomic);
    mAtomics.clear();
    DropCamera();
    ShutDown();
    EXPECT_EQ(PTankD3D9::GetIndexBuffer(), nullptr) << "released at the engine's stop";
    EXPECT_EQ(PTankD3D9::GetIndexCapacity(), 0);
}

TEST_F(PTankDraw, WithoutAnIndexBufferATankIsMadeButNothingIsDrawnUntilALaterTankMakesOne)
{
    Start();
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    Atomic* big = Tank(20, kPTankPosition | kPTankColour);
    ASSERT_NE(big, nullptr) << "the failure is not reported";
    EXPECT_EQ(PTankD3D9::GetIndexBuffer(), nullptr);
    EXPECT_EQ(PTankD3D9::GetIndexCapacity(), 120);
    Fill(big, std::vector<Vector>(20, Vector{0, 0, kDepth}), std::vector<Rgba>(20, Rgba{255, 0, 0, 255}));

    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({big}));
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 0u);
    EXPECT_EQ(PTank::Get(big)->instanceFlags, 0u) << "instanced all the same";

    // A smaller tank makes the buffer again, large enough for the first.
    ASSERT_NE(Tank(1, kPTankPosition), nullptr);
    EXPECT_NE(PTankD3D9::GetIndexBuffer(), nullptr);
    EXPECT_EQ(PTankD3D9::GetIndexCapacity(), 120);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({big}));
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
}

TEST_F(PTankDraw, AFailedVertexBufferLockWritesAndDrawsNothing)
{
    Start();
    Atomic* quads = Tank(4, kPTankPosition | kPTankColour);
    Atomic* points = Tank(4, kPTankPosition | kPTankColour, 1);
    ASSERT_NE(quads, nullptr);
    ASSERT_NE(points, nullptr);
    Fill(quads, std::vector<Vector>(4, Vector{0, 0, kDepth}), std::vector<Rgba>(4, Rgba{255, 0, 0, 255}));
    Fill(points, std::vector<Vector>(4, Vector{0, 0, kDepth}), std::vector<Rgba>(4, Rgba{255, 0, 0, 255}));
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    d3d9test::FailNext(d3d9test::Fault::Lock, D3DERR_INVALIDCALL, 2);
    ASSERT_TRUE(Draw({quads, points}));
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive") + d3d9test::CountCalls("DrawPrimitive"), 0u);
}

// ---- Draw calls --------------------------------------------------------------------------------------

TEST_F(PTankDraw, TwentyThousandQuadsAreDrawnAs65532And14468Vertices)
{
    Start();
    const int32_t n = 20000;
    Atomic* atomic = Tank(n, kPTankPosition | kPTankColour);
    ASSERT_NE(atomic, nullptr);
    std::vector<Vector> positions(n);
    for (int32_t i = 0; i < n; ++i)
        positions[size_t(i)] = {float(i % 100) * 0.01f - 0.5f, float(i / 100) * 0.005f - 0.5f, kDepth};
    Fill(atomic, positions, std::vector<Rgba>(size_t(n), Rgba{0, 255, 0, 255}));
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({atomic}));
    d3d9test::EnableCallLog(false);
    const std::vector<std::string> draws = d3d9test::CallArgs("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    const UINT base = LastBaseVertex("DrawIndexedPrimitive") - 65532;
    EXPECT_EQ(draws[0], "4, " + std::to_string(base) + ", 0, 65532, 0, 32766");
    EXPECT_EQ(draws[1], "4, " + std::to_string(base + 65532) + ", 0, 14468, 0, 7234");
    EXPECT_EQ(d3d9test::CountCalls("SetIndices"), 1u);

    // The last quad's corners sit where the quad formula puts them.
    const std::vector<uint8_t> bytes = DrawnVertices(base);
    ASSERT_GE(bytes.size(), size_t(4 * n * 16));
    float corner[3];
    uint32_t colour;
    std::memcpy(corner, bytes.data() + size_t(4 * (n - 1) + 2) * 16, 12);
    std::memcpy(&colour, bytes.data() + size_t(4 * (n - 1) + 2) * 16 + 12, 4);
    EXPECT_NEAR(corner[0], positions.back().x - 0.5f, 1e-5); // A = -right = (-1, 0, 0), so +a is -x
    EXPECT_NEAR(corner[1], positions.back().y + 0.5f, 1e-5);
    EXPECT_EQ(colour, 0xFF00FF00u);
}

TEST_F(PTankDraw, QuadVerticesCarryColourThenTextureCoordinatesAtTheirOffsets)
{
    Start();
    Atomic* atomic = Tank(2, kPTankPosition | kPTankColour | kPTankTexCoords2);
    ASSERT_NE(atomic, nullptr);
    Raster* raster = Raster::Create(2, 2, 0, kRasterTypeTexture);
    Texture* texture = Texture::Create(raster);
    ASSERT_NE(texture, nullptr);
    Material::SetTexture(atomic->geometry->materials.materials[0], texture);
    Texture::Destroy(texture);
    Fill(atomic, {{0, 0, kDepth}, {1, 1, kDepth}}, {{1, 2, 3, 4}, {5, 6, 7, 8}});
    PTankSlot uv;
    ASSERT_TRUE(PTank::Lock(atomic, &uv, kPTankTexCoords2, kPTankLockWrite));
    const float pairs[2][4] = {{0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.6f, 0.7f, 0.8f}};
    std::memcpy(uv.data, pairs, sizeof(pairs));
    PTank::Unlock(atomic);

    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({atomic}));
    d3d9test::EnableCallLog(false);
    EXPECT_NE(atomic->geometry->flags & kGeometryTextured, 0u);
    EXPECT_EQ(D3D9Device::GetBindings()->vertexFormat, DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    EXPECT_EQ(D3D9Device::GetBindings()->streams[0].stride, 24u);
    const std::vector<uint8_t> bytes = DrawnVertices(LastBaseVertex("DrawIndexedPrimitive"));
    ASSERT_GE(bytes.size(), 8u * 24u);
    // Vertex 5 is corner 1 of particle 1: colour 5,6,7,8 and (U1, V1).
    uint32_t colour;
    float t[2];
    std::memcpy(&colour, bytes.data() + 5 * 24 + 12, 4);
    std::memcpy(t, bytes.data() + 5 * 24 + 16, 8);
    EXPECT_EQ(colour, 0x08050607u);
    EXPECT_EQ(t[0], 0.7f);
    EXPECT_EQ(t[1], 0.8f);

    // Without a texture the same tank drops its coordinates from the vertices.
    Material::SetTexture(atomic->geometry->materials.materials[0], nullptr);
    PTank::Get(atomic)->activeCount = 2;
    ASSERT_TRUE(Draw({atomic}));
    EXPECT_EQ(atomic->geometry->flags & kGeometryTextured, 0u);
    EXPECT_EQ(D3D9Device::GetBindings()->streams[0].stride, 16u);
}

TEST_F(PTankDraw, QuadAxesComeFromTheConstantMatrixOrTheCameraTurnedByTheConstantRotation)
{
    Start();
    // The camera turned a quarter about its at axis.
    const Vector at = {0, 0, 1};
    Frame::Rotate(mCameraFrame, &at, 90.0f, 0);
    Frame::SyncDirtyList();
    const Matrix* view = Frame::GetWorldMatrix(mCameraFrame);
    const Vector A = {-view->right.x, -view->right.y, -view->right.z}, B = view->up;
    ASSERT_NEAR(std::fabs(A.y), 1.0f, 1e-5) << "turned";
    struct Case
    {
        const char* name;
        uint32_t flags;
        Vector a, b; ///< the axes the corners are built on
    };
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    const Case cases[] = {
        {"camera", kPTankPosition, A, B},
        {"constant rotation",
         kPTankPosition | kPTankConstantRotation,
         {c * A.x - s * B.x, c * A.y - s * B.y, 0},
         {s * A.x + c * B.x, s * A.y + c * B.y, 0}},
        // Both matrix bits: the constant matrix gives the axes to the position array.
        {"constant matrix", kPTankMatrix | kPTankConstantMatrix, {0.6f, 0.8f, 0}, {0, 0.5f, 0.5f}},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        Atomic* atomic = Tank(1, k.flags | kPTankColour);
        ASSERT_NE(atomic, nullptr);
        PTankData& d = PTank::Get(atomic)->data;
        d.rotation = 0.5f;
        d.matrix.right = {0.6f, 0.8f, 0};
        d.matrix.up = {0, 0.5f, 0.5f};
        d.size = {2, 4};
        const Vector p = {0.25f, -0.5f, kDepth};
        Fill(atomic, {p}, {{1, 1, 1, 255}});
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        ASSERT_TRUE(Draw({atomic}));
        d3d9test::EnableCallLog(false);
        const std::vector<uint8_t> bytes = DrawnVertices(LastBaseVertex("DrawIndexedPrimitive"));
        ASSERT_GE(bytes.size(), 64u);
        // Corner 1 is P + a - b with a = w/2 A and b = h/2 B.
        float got[3];
        std::memcpy(got, bytes.data() + 16, 12);
        EXPECT_NEAR(got[0], p.x + k.a.x - 2 * k.b.x, 1e-5);
        EXPECT_NEAR(got[1], p.y + k.a.y - 2 * k.b.y, 1e-5);
        EXPECT_NEAR(got[2], p.z + k.a.z - 2 * k.b.z, 1e-5);
        Forget(atomic);
        Atomic::Destroy(atomic);
    }
}

TEST_F(PTankDraw, PointSpriteVerticesCarrySizeAndColourAndTheCentreMovesThemOnWorldAxes)
{
    Start();
    Atomic* atomic = Tank(2, kPTankPosition | kPTankSize | kPTankColour | kPTankUseCentre, 1);
    ASSERT_NE(atomic, nullptr);
    ASSERT_TRUE(PTankD3D9::UsesPointSprites(atomic));
    Fill(atomic, {{0, 0, kDepth}, {1, -1, kDepth}}, {{1, 2, 3, 4}, {5, 6, 7, 8}});
    PTankSlot size;
    ASSERT_TRUE(PTank::Lock(atomic, &size, kPTankSize, kPTankLockWrite));
    const float sizes[2][2] = {{3, 30}, {5, 50}};
    std::memcpy(size.data, sizes, sizeof(sizes));
    PTank::Unlock(atomic);
    PTank::Get(atomic)->data.centre = {0.25f, -0.5f};

    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({atomic}));
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(D3D9Device::GetBindings()->vertexFormat, DWORD(D3DFVF_XYZ | D3DFVF_PSIZE | D3DFVF_DIFFUSE));
    EXPECT_EQ(D3D9Device::GetBindings()->streams[0].stride, 20u);
    ASSERT_EQ(d3d9test::CountCalls("DrawPrimitive"), 1u);
    const std::string args = d3d9test::CallArgs("DrawPrimitive")[0];
    EXPECT_EQ(args.substr(0, 2), "1,");
    EXPECT_EQ(args.substr(args.rfind(',')), ", 2");
    const std::vector<uint8_t> bytes = DrawnVertices(LastBaseVertex("DrawPrimitive"));
    ASSERT_GE(bytes.size(), 40u);
    float v[4];
    uint32_t colour;
    std::memcpy(v, bytes.data() + 20, 16);
    std::memcpy(&colour, bytes.data() + 36, 4);
    EXPECT_EQ(v[0], 1.25f);
    EXPECT_EQ(v[1], -1.5f);
    EXPECT_EQ(v[2], kDepth);
    EXPECT_EQ(v[3], 5.0f) << "the width is the point size";
    EXPECT_EQ(colour, 0x08050607u);
}

TEST_F(PTankDraw, StatesAreSetForTheDrawAndRestoredAfterIt)
{
    Start();
    Engine* engine = Engine::Current();
    ASSERT_TRUE(engine->device.setRenderState(kRenderStateSourceBlend, 5));
    ASSERT_TRUE(engine->device.setRenderState(kRenderStateDestBlend, 6));
    ASSERT_TRUE(D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD));
    Atomic* points = Tank(2, kPTankPosition, 1);
    Atomic* quads = Tank(2, kPTankPosition);
    ASSERT_NE(points, nullptr);
    ASSERT_NE(quads, nullptr);
    for (Atomic* atomic : {points, quads})
    {
        PTankData& d = PTank::Get(atomic)->data;
        d.vertexAlpha = 1;
        d.sourceBlend = 2;
        d.destBlend = 2;
        d.colour = {0x10, 0x20, 0x30, 0x40};
        d.size = {4, 4};
        Fill(atomic, {{0, 0, kDepth}, {0.5f, 0, kDepth}});
    }

    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({points}));
    d3d9test::EnableCallLog(false);
    // What the device had been sent when the points were drawn, in call order.
    std::vector<std::string> sent;
    bool drawn = false;
    std::vector<std::string> after;
    for (const d3d9test::Call& call : d3d9test::CallLog())
    {
        if (call.name == "DrawPrimitive")
            drawn = true;
        else if (call.name == "SetRenderState" || call.name == "SetTextureStageState")
            (drawn ? after : sent).push_back(call.Text());
    }
    ASSERT_TRUE(drawn);
    auto has = [](const std::vector<std::string>& calls, const std::string& text)
    { return std::find(calls.begin(), calls.end(), text) != calls.end(); };
    for (const char* expected : {"SetRenderState(156, 1)", "SetRenderState(157, 1)", "SetRenderState(154, 1082130432)",
                                 "SetRenderState(155, 0)", "SetRenderState(158, 0)", "SetRenderState(160, 1056964608)",
                                 "SetRenderState(19, 2)", "SetRenderState(20, 2)", "SetRenderState(60, 1074798640)",
                                 "SetRenderState(9, 1)", "SetTextureStageState(0, 3, 3)"})
        EXPECT_TRUE(has(sent, expected)) << expected;
    // States equal to what the device holds are not sent again.
    DWORD value = 0;
    for (uint32_t type : {D3DTSS_COLOROP, D3DTSS_ALPHAOP, D3DTSS_COLORARG2, D3DTSS_ALPHAARG2})
    {
        D3D9RenderState::GetTextureStageState(0, type, &value);
        EXPECT_EQ(value, 3u) << "select the texture factor: type " << type;
    }
    D3D9RenderState::GetRenderState(D3DRS_POINTSIZE_MAX, &value);
    EXPECT_EQ(value, 0x42800000u) << "the device's maximum, 64";
    D3D9RenderState::GetRenderState(D3DRS_POINTSCALE_B, &value);
    EXPECT_EQ(value, 0u);
    // Restored: sprites off, blends and shading as they were (sent with the next draw).
    D3D9RenderState::GetRenderState(D3DRS_POINTSPRITEENABLE, &value);
    EXPECT_EQ(value, 0u);
    D3D9RenderState::GetRenderState(D3DRS_POINTSCALEENABLE, &value);
    EXPECT_EQ(value, 0u);
    D3D9RenderState::GetRenderState(D3DRS_SHADEMODE, &value);
    EXPECT_EQ(value, DWORD(D3DSHADE_GOURAUD));
    intptr_t blend = 0;
    engine->device.getRenderState(kRenderStateSourceBlend, &blend);
    EXPECT_EQ(blend, 5);
    engine->device.getRenderState(kRenderStateDestBlend, &blend);
    EXPECT_EQ(blend, 6);

    // Quads send no point states; the index buffer is sent once for two draws.
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(Draw({quads, quads}));
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 2u);
    EXPECT_EQ(d3d9test::CountCalls("SetIndices"), 1u);
    for (const std::string& a : d3d9test::CallArgs("SetRenderState"))
        EXPECT_NE(a, "156, 1") << "the sprites switched off by the points are sent with the quads";
    EXPECT_LE(d3d9test::CountCalls("SetFVF"), 1u);
}

// ---- A drawn frame -----------------------------------------------------------------------------------

struct Particle
{
    Vector position;
    Rgba colour;
};

std::vector<uint32_t> Reference(const std::vector<Particle>& particles, float size, const std::vector<uint32_t>& actual)
{
    std::vector<uint32_t> frame(size_t(kSize) * kSize, 0xFF203040u);
    const float edge = 1.5f * kDepth / (kSize / 2); // a pixel and a half either side of an edge
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px)
        {
            // The engine's view is mirrored in x.
            const float x = (1.0f - (float(px) + 0.5f) / (kSize / 2)) * kDepth;
            const float y = (1.0f - (float(py) + 0.5f) / (kSize / 2)) * kDepth;
            const size_t i = size_t(py) * kSize + size_t(px);
            for (const Particle& p : particles)
            {
                const float dx = std::fabs(x - p.position.x), dy = std::fabs(y - p.position.y);
                if (std::fabs(dx - size / 2) < edge && dy < size / 2 + edge)
                    frame[i] = actual[i];
                else if (std::fabs(dy - size / 2) < edge && dx < size / 2 + edge)
                    frame[i] = actual[i];
                else if (dx < size / 2 && dy < size / 2)
                    frame[i] =
                        0xFF000000u | uint32_t(p.colour.red) << 16 | uint32_t(p.colour.green) << 8 | p.colour.blue;
            }
        }
    return frame;
}

TEST_F(PTankDraw, ATankOfColouredQuadsDrawsWhereTheCameraSeesThem)
{
    Start();
    const std::vector<Particle> particles = {
        {{-1.0f, 0.8f, kDepth}, {230, 40, 40, 255}},
        {{0.9f, 0.6f, kDepth}, {40, 200, 60, 255}},
        {{0.0f, -1.0f, kDepth}, {50, 80, 240, 255}},
    };
    Atomic* atomic = Tank(8, kPTankPosition | kPTankColour);
    ASSERT_NE(atomic, nullptr);
    PTankData& d = PTank::Get(atomic)->data;
    d.vertexAlpha = 0;
    d.size = {1.0f, 1.0f};
    std::vector<Vector> positions;
    std::vector<Rgba> colours;
    for (const Particle& p : particles)
    {
        positions.push_back(p.position);
        colours.push_back(p.colour);
    }
    Fill(atomic, positions, colours);
    ASSERT_TRUE(Draw({atomic}));
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    ASSERT_EQ(frame.size(), size_t(kSize) * kSize);
    EXPECT_EQ(framecheck::CheckFrame("ptank_coloured_quads", kSize, kSize, frame, Reference(particles, 1.0f, frame), 2),
              "");
}

} // namespace
