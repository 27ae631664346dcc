// The skin pipeline on our Direct3D 9 layer: a skinned clump from the writers (three bones,
// two weights, posed through its hierarchy by a written animation) drawn into 64 x 64 and
// compared with a CPU reference, in each place the blended vertices can live (the rotating
// buffers with one or two streams, the instance's own static buffer); the instance data's
// lifetime and the palette shared by atomics of one hierarchy.
#include "animation.h"
#include "animationwriter.h"
#include "atomicnode.h"
#include "camera.h"
#include "device.h"
#include "clumpwriter.h"
#include "d3d9worldfixture.h"
#include "frame.h"
#include "framecheck.h"
#include "hierarchy.h"
#include "instancedata.h"
#include "light.h"
#include "memory.h"
#include "resourcearena.h"
#include "skin.h"
#include "skinpipeline.h"
#include "skinwriter.h"
#include "stdkey.h"
#include "vertexshader.h"
#include "worldd3d9.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr float kDepth = 2.0f;
constexpr uint32_t kColour = 0xFFE03020;
constexpr uint32_t kBackground = 0xFF203040;
constexpr float kAngles[3] = {0.0f, 25.0f, -40.0f}; // each bone's turn about z, degrees
constexpr float kBoneX[3] = {-1.5f, 1.0f, 1.0f};     // each bone's offset from its parent

using Mat = std::array<double, 12>;

Mat Mul(const Mat& a, const Mat& b)
{
    Mat r{};
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c)
        {
            double v = row == 3 ? b[9 + c] : 0.0;
            for (int k = 0; k < 3; ++k)
                v += a[row * 3 + k] * b[k * 3 + c];
            r[row * 3 + c] = v;
        }
    return r;
}

// The engine's matrix of a turn about z by the quaternion (0, 0, sin, cos) of half the angle.
Mat Turn(double degrees, double x)
{
    const double h = degrees * 3.14159265358979323846 / 360.0;
    const double z = std::sin(h), w = std::cos(h);
    return {1 - 2 * z * z, 2 * z * w, 0, -2 * z * w, 1 - 2 * z * z, 0, 0, 0, 1, x, 0, 0};
}

// Vertex columns at x = -1.5 .. 1.5, bottom and top at y = -0.4 and 0.4.
float ColumnX(int c)
{
    return -1.5f + float(c);
}

const std::array<std::array<uint8_t, 4>, 4> kColumnBones = {{{0, 0, 0, 0}, {1, 0, 0, 0}, {2, 1, 0, 0}, {2, 0, 0, 0}}};
const std::array<std::array<float, 4>, 4> kColumnWeights = {
    {{1, 0, 0, 0}, {0.75f, 0.25f, 0, 0}, {0.6f, 0.4f, 0, 0}, {1, 0, 0, 0}}};

// lit: normals facing the camera and the light flag instead of prelit colours. bindShift
// moves the strip along y and its bind pose with it, so it is posed to the same place.
ClumpDescription SkinnedClump(bool lit, float bindShift = 0.0f,
                              std::array<uint8_t, 4> prelit = {0xE0, 0x30, 0x20, 0xFF})
{
    ClumpDescription d;
    d.frames.resize(5);
    d.frames[1].rows = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, kDepth}; // the atomic's
    d.frames[1].parent = 0;
    // The bones in their rest pose: a chain along x.
    for (int b = 0; b < 3; ++b)
    {
        d.frames[2 + b].rows = {1, 0, 0, 0, 1, 0, 0, 0, 1, kBoneX[b], 0, 0};
        d.frames[2 + b].parent = 1 + b;
    }
    d.frames[2].extension = SkinWriter::FrameHierarchy(10, {{10, 0}, {11, 0}, {12, kHierarchyPop}});
    d.frames[3].extension = SkinWriter::FrameNode(11);
    d.frames[4].extension = SkinWriter::FrameNode(12);

    GeometryDescription strip;
    strip.format = lit ? kGeometryPositions | kGeometryNormals | kGeometryLight : kGeometryPositions | kGeometryPrelit;
    strip.numVertices = 8;
    GeometryDescription::MorphTarget target{{0, 0, 0, 2}, {}, {}};
    SkinDescription skin;
    skin.boneCount = 3;
    for (int c = 0; c < 4; ++c)
        for (float y : {-0.4f, 0.4f})
        {
            target.positions.insert(target.positions.end(), {ColumnX(c), y + bindShift, 0.0f});
            if (lit)
                target.normals.insert(target.normals.end(), {0.0f, 0.0f, -1.0f});
            else
                strip.prelit.push_back(prelit);
            skin.boneIndices.push_back(kColumnBones[size_t(c)]);
            skin.weights.push_back(kColumnWeights[size_t(c)]);
        }
    strip.targets = {target};
    for (uint16_t c = 0; c < 3; ++c)
    {
        strip.triangles.push_back({uint16_t(2 * c), uint16_t(2 * c + 2), uint16_t(2 * c + 1), 0});
        strip.triangles.push_back({uint16_t(2 * c + 1), uint16_t(2 * c + 2), uint16_t(2 * c + 3), 0});
    }
    strip.materials = {GeometryDescription::Material{}};
    strip.listEntries = {0};
    // Inverse rest matrices: from the atomic's space into each bone's.
    float restX = 0;
    for (int b = 0; b < 3; ++b)
    {
        restX += kBoneX[b];
        skin.inverseMatrices.push_back({1, 0, 0, 0, 1, 0, 0, 0, 1, -restX, -bindShift, 0});
    }
    strip.extension = SkinWriter::Current(skin);
    d.geometries = {strip};
    ClumpDescription::Atomic atomic;
    atomic.frame = 1;
    d.atomics = {atomic};
    return d;
}

// The pose: two keys per node holding the same turn, so every time plays the pose.
Animation* PoseAnimation()
{
    std::vector<AnimationKeyRow> rows;
    for (int b = 0; b < 3; ++b)
    {
        const double h = kAngles[b] * 3.14159265358979323846 / 360.0;
        for (float t : {0.0f, 1.0f})
            rows.push_back({b, t, {0, 0, float(std::sin(h)), float(std::cos(h))}, {kBoneX[b], 0, 0}});
    }
    std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, 1.0f);
    Stream* in = OpenReader(bytes);
    uint32_t size = 0;
    Animation* anim = Stream::FindChunk(in, 27, &size, nullptr) ? Animation::StreamRead(in, size) : nullptr;
    Stream::Close(in, nullptr);
    return anim;
}

struct Point
{
    double x, y;
};

// The posed vertices in the atomic's space.
std::vector<Point> PosedVertices()
{
    Mat world[3];
    for (int b = 0; b < 3; ++b)
    {
        const Mat local = Turn(kAngles[b], kBoneX[b]);
        world[b] = b == 0 ? local : Mul(local, world[b - 1]);
    }
    std::vector<Point> out;
    for (int c = 0; c < 4; ++c)
        for (double y : {-0.4, 0.4})
        {
            Point p{0, 0};
            double rest = 0;
            for (int k = 0; k < 2; ++k)
            {
                const int bone = kColumnBones[size_t(c)][size_t(k)];
                const double w = kColumnWeights[size_t(c)][size_t(k)];
                if (w == 0)
                    continue;
                rest = 0;
                for (int b = 0; b <= bone; ++b)
                    rest += kBoneX[b];
                const Mat inverse = {1, 0, 0, 0, 1, 0, 0, 0, 1, -rest, 0, 0};
                const Mat m = Mul(inverse, world[bone]);
                const double x = ColumnX(c);
                p.x += w * (x * m[0] + y * m[3] + m[9]);
                p.y += w * (x * m[1] + y * m[4] + m[10]);
            }
            out.push_back(p);
        }
    return out;
}

double EdgeDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

double Cross(Point a, Point b, Point p)
{
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

// The frame the camera sees: the posed strip in its prelit colour; pixels too near an edge
// to predict are taken from the actual frame.
std::vector<uint32_t> Reference(const std::vector<uint32_t>& actual, uint32_t colour)
{
    const std::vector<Point> v = PosedVertices();
    std::vector<std::array<int, 3>> triangles;
    for (int c = 0; c < 3; ++c)
    {
        triangles.push_back({2 * c, 2 * c + 2, 2 * c + 1});
        triangles.push_back({2 * c + 1, 2 * c + 2, 2 * c + 3});
    }
    std::vector<uint32_t> frame(size_t(kSize) * kSize, kBackground);
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px)
        {
            // Samples at the pixels' integer corners; the engine's view is mirrored in x.
            const Point p = {(1.0 - px / (kSize / 2.0)) * kDepth, (1.0 - py / (kSize / 2.0)) * kDepth};
            bool inside = false;
            double nearest = 1e9;
            for (const auto& t : triangles)
            {
                const Point a = v[size_t(t[0])], b = v[size_t(t[1])], c = v[size_t(t[2])];
                const double d0 = Cross(a, b, p), d1 = Cross(b, c, p), d2 = Cross(c, a, p);
                if ((d0 >= 0 && d1 >= 0 && d2 >= 0) || (d0 <= 0 && d1 <= 0 && d2 <= 0))
                    inside = true;
                // Only the strip's outline is an edge: inner edges are covered on both sides.
                nearest = std::min({nearest, EdgeDistance(p, a, b), EdgeDistance(p, b, c), EdgeDistance(p, c, a)});
            }
            const size_t i = size_t(py) * kSize + size_t(px);
            if (nearest < 0.1 && !inside)
                frame[i] = actual[i];
            else if (nearest < 0.1)
                frame[i] = actual[i] == kBackground ? kBackground : colour;
            else if (inside)
                frame[i] = colour;
        }
    return frame;
}

class SkinDraw : public d3d9world::D3D9WorldTest
{
protected:
    void SetUp() override
    {
        D3D9WorldTest::SetUp();
        DestroyWindow(mWindow);
        mWindow = MakeWindow(kSize, kSize);
    }

    void TearDown() override
    {
        for (Light* light : mLights)
        {
            World::RemoveLight(&mWorld->world, light);
            Light::Destroy(light);
        }
        for (Atomic* extra : mExtra)
        {
            Clump::RemoveAtomic(mClump, extra);
            Atomic::Destroy(extra);
        }
        if (mClump)
        {
            World::RemoveClump(&mWorld->world, mClump);
            Clump::Destroy(mClump);
        }
        if (mCamera)
        {
            World::RemoveCamera(&mWorld->world, mCamera);
            DestroyCamera(mCamera);
        }
        Animation::Destroy(mAnimation);
        mWorld.reset();
        SkinPipeline::ResetPaletteKey();
        D3D9WorldTest::TearDown();
    }

    /// hardwareSkin false: a vertex-shader version of 1.0, so the processor blends.
    void Start(bool streamOffsets = true, bool hardwareVertices = true, bool hardwareSkin = false,
               DWORD constants = 256)
    {
        d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
        adapter.clientWidth = kSize;
        adapter.clientHeight = kSize;
        adapter.caps.MaxVertexShaderConst = constants;
        if (!hardwareSkin)
            adapter.caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
        if (!streamOffsets)
            adapter.caps.DevCaps2 &= ~DWORD(D3DDEVCAPS2_STREAMOFFSET);
        if (!hardwareVertices)
            adapter.caps.DevCaps &= ~DWORD(D3DDEVCAPS_HWTRANSFORMANDLIGHT);
        d3d9test::SetAdapters({adapter});
        ASSERT_NE(Engine::Init(nullptr, 0, 1 << 20), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(Animation::Attach(), 1);
        ASSERT_EQ(Hierarchy::Attach(), 1);
        ASSERT_EQ(Skin::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);

        std::vector<uint8_t> bytes = ClumpWriter::Write(SkinnedClump(mLit));
        Stream* in = OpenReader(bytes);
        ASSERT_NE(Stream::FindChunk(in, 16, nullptr, nullptr), 0);
        mClump = Clump::StreamRead(in);
        Stream::Close(in, nullptr);
        ASSERT_NE(mClump, nullptr);
        mAtomic = Atomic::FromClumpLink(mClump->atomics.next);
        ASSERT_NE(SkinGeometry::GetSkin(mAtomic->geometry), nullptr);
        ASSERT_EQ(mAtomic->pipeline, SkinPlugin::GetPipeline(0));

        // The animation layer's part: find the hierarchy, bind it, pose it.
        Frame* bones = mAtomic->object.frame;
        Frame* root = bones->child;
        mHierarchy = HierarchyFrame::GetHierarchy(root);
        ASSERT_NE(mHierarchy, nullptr);
        Hierarchy::AttachFrames(mHierarchy);
        mAnimation = PoseAnimation();
        ASSERT_NE(mAnimation, nullptr);
        ASSERT_EQ(AnimInterpolator::SetAnimation(mHierarchy->interpolator, mAnimation), 1);
        AnimInterpolator::AddTime(mHierarchy->interpolator, 0.5f);
        ASSERT_EQ(Hierarchy::UpdateMatrices(mHierarchy), 1);
        SkinAtomic::SetSkinHierarchy(mAtomic, mHierarchy);

        mWorld = std::make_unique<TestWorld>(false);
        World::AddClump(&mWorld->world, mClump);
        mCamera = Camera::Create();
        mCamera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
        FrameObject::SetFrame(&mCamera->object, MakeFrame());
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
        World::AddCamera(&mWorld->world, mCamera);
        Frame::SyncDirtyList();
    }

    bool DrawFrame(int times = 1)
    {
        const Rgba background = {0x20, 0x30, 0x40, 0xFF};
        bool ok = Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ) == mCamera;
        ok = Camera::BeginUpdate(mCamera) == mCamera && ok;
        if (ok)
        {
            Engine::Current()->device.setRenderState(20, 1); // no culling
            for (int i = 0; i < times; ++i)
                ok = Clump::Render(mClump) == mClump && ok;
            ok = Camera::EndUpdate(mCamera) == mCamera && ok;
        }
        return Camera::ShowRaster(mCamera, nullptr, 0) == mCamera && ok;
    }

    void ExpectDrawn(const char* name, uint32_t colour = kColour, int tolerance = 2)
    {
        const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
        ASSERT_EQ(frame.size(), size_t(kSize) * kSize);
        EXPECT_EQ(framecheck::CheckFrame(name, kSize, kSize, frame, Reference(frame, colour), tolerance), "");
        EXPECT_GT(std::count_if(frame.begin(), frame.end(), [&](uint32_t p) { return p != kBackground; }), 150)
            << name;
    }

    /// An ambient light and count directional lights shining along +z (onto the strip's
    /// normals), each of the colour given.
    void AddLights(float ambient, int count, LightColour each)
    {
        Light* a = Light::Create(kLightAmbient);
        const LightColour grey = {ambient, ambient, ambient, 1};
        Light::SetColor(a, &grey);
        mLights.push_back(a);
        for (int i = 0; i < count; ++i)
        {
            Light* sun = Light::Create(kLightDirectional);
            Light::SetColor(sun, &each);
            Light::SetFrame(sun, MakeFrame());
            mLights.push_back(sun);
        }
        for (Light* light : mLights)
            World::AddLight(&mWorld->world, light);
        Frame::SyncDirtyList();
    }

    InstanceHeader* Header() { return InstanceData::Header(mAtomic->geometry->instanceData); }

    void ExpectSharedGeometryBuiltOnce(bool hardware);

    /// The bytes of vertex v's element of the usage, read back from its vertex buffer.
    std::vector<BYTE> ElementBytes(int v, BYTE usage)
    {
        InstanceHeader* header = Header();
        UINT count = 0;
        header->vertexDeclaration->GetDeclaration(nullptr, &count);
        std::vector<D3DVERTEXELEMENT9> elements(count);
        header->vertexDeclaration->GetDeclaration(elements.data(), &count);
        for (const D3DVERTEXELEMENT9& e : elements)
        {
            if (e.Usage != usage || e.Stream > 1)
                continue;
            const InstanceStream& s = header->streams[e.Stream];
            std::vector<BYTE> bytes;
            if (!d3d9test::ReadBuffer(s.vertexBuffer, bytes))
                return {};
            const size_t at = (s.managed ? s.offset : 0) + size_t(v) * s.stride + e.Offset;
            return at + 8 <= bytes.size() ? std::vector<BYTE>(bytes.begin() + long(at), bytes.begin() + long(at + 8))
                                          : std::vector<BYTE>{};
        }
        return {};
    }

    /// The first two 16-bit values of an element.
    std::array<int, 2> Shorts(int v, BYTE usage)
    {
        const std::vector<BYTE> b = ElementBytes(v, usage);
        if (b.size() < 4)
            return {-1, -1};
        return {int(uint16_t(b[0] | b[1] << 8)), int(uint16_t(b[2] | b[3] << 8))};
    }

    /// The constant uploads of one frame ("start, count" each).
    std::vector<std::string> ConstantUploads()
    {
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        const bool drawn = DrawFrame();
        d3d9test::EnableCallLog(false);
        EXPECT_TRUE(drawn);
        return d3d9test::CallArgs("SetVertexShaderConstantF");
    }

    std::unique_ptr<TestWorld> mWorld;
    Clump* mClump = nullptr;
    Atomic* mAtomic = nullptr;
    Camera* mCamera = nullptr;
    Hierarchy* mHierarchy = nullptr;
    Animation* mAnimation = nullptr;
    std::vector<Atomic*> mExtra;
    std::vector<Light*> mLights;
    bool mLit = false;
};

// The colour of a lit white material with ambient and diffuse factors 1.
uint32_t LitColour(float ambient, int count, LightColour each)
{
    auto channel = [&](float light) { return uint32_t(std::lround(std::min(1.0f, ambient + count * light) * 255)); };
    return 0xFF000000u | channel(each.red) << 16 | channel(each.green) << 8 | channel(each.blue);
}

} // namespace

TEST_F(SkinDraw, ASkinnedClumpFromTheWritersDrawsPosedFromTheRotatingBuffers)
{
    Start();
    ASSERT_TRUE(DrawFrame());
    ExpectDrawn("skin_posed_two_streams");
    // Blended positions come from the rotating buffers through the stream offset; the prelit
    // colours stay in the instance's own static stream.
    InstanceHeader* header = Header();
    EXPECT_EQ(header->useOffsets, 1u);
    EXPECT_EQ(header->streams[0].managed, 0);
    EXPECT_EQ(header->streams[1].managed, 1);
    EXPECT_EQ(InstanceHeader::Meshes(header)[0].baseIndex, InstanceHeader::Meshes(header)[0].minimumVertex);

    // Built once per mesh-header serial: the next frames lock only the rotating buffer, and
    // a second draw in one frame lands after the first.
    ResourceEntry* data = mAtomic->geometry->instanceData;
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame(2));
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(mAtomic->geometry->instanceData, data);
    for (const char* call : {"CreateVertexBuffer", "CreateIndexBuffer", "CreateVertexDeclaration"})
        EXPECT_EQ(d3d9test::CountCalls(call), 0u) << call;
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 2u);
    EXPECT_GE(header->streams[0].offset, header->streams[0].stride * 8) << "the second lock follows the first";
    ExpectDrawn("skin_posed_two_streams_again");

    // New meshes: the instance is built again.
    ++mAtomic->geometry->meshHeader->serialNumber;
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame());
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexDeclaration"), 1u);
    EXPECT_EQ(Header()->serialNumber, mAtomic->geometry->meshHeader->serialNumber);
    ExpectDrawn("skin_posed_rebuilt");
}

TEST_F(SkinDraw, WithoutStreamOffsetsOneRotatingStreamMovesTheBaseVertices)
{
    Start(false);
    ASSERT_TRUE(DrawFrame(2));
    InstanceHeader* header = Header();
    EXPECT_EQ(header->useOffsets, 0u);
    EXPECT_EQ(header->streams[1].vertexBuffer, nullptr);
    const InstanceMesh& mesh = InstanceHeader::Meshes(header)[0];
    EXPECT_GT(header->streams[0].offset, 0u);
    EXPECT_EQ(mesh.baseIndex, mesh.minimumVertex + header->streams[0].offset / header->streams[0].stride);
    ExpectDrawn("skin_posed_one_stream");
}

TEST_F(SkinDraw, WithoutHardwareVertexProcessingTheInstanceKeepsItsStaticBuffer)
{
    Start(true, false);
    EXPECT_EQ(SkinPlugin::GetCaps().hardwareVertexProcessing, 0);
    EXPECT_EQ(SkinPlugin::GetCaps().hardwareSkinning, 0);
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(Header()->streams[0].managed, 1);
    EXPECT_EQ(Header()->streams[1].vertexBuffer, nullptr);
    ExpectDrawn("skin_posed_static");
    // Only the one blended range is locked the next frame, nothing else is made.
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame());
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexBuffer"), 0u);
    ExpectDrawn("skin_posed_static_again");
}

TEST_F(SkinDraw, AtomicsSharingHierarchyAndFrameBuildThePaletteOncePerRender)
{
    Start();
    Atomic* twin = Atomic::Clone(mAtomic);
    ASSERT_NE(twin, nullptr);
    Atomic::SetFrame(twin, mAtomic->object.frame);
    Clump::AddAtomic(mClump, twin);
    mExtra.push_back(twin);
    EXPECT_EQ(SkinAtomic::GetSkinHierarchy(twin), mHierarchy);
    const int32_t before = SkinPipeline::GetPaletteBuildCount();
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 1);
    ExpectDrawn("skin_posed_twins");
}

TEST_F(SkinDraw, TwoSkinsOfOneSkeletonAndFrameEachDrawWithTheirOwnBindPose)
{
    Start(true, true, true);
    // A second strip, in green, made a unit higher with its bind pose raised to match: posed
    // by the same skeleton it covers the first one exactly.
    constexpr uint32_t kGreen = 0xFF30C040;
    std::vector<uint8_t> bytes = ClumpWriter::Write(SkinnedClump(false, 1.0f, {0x30, 0xC0, 0x40, 0xFF}));
    Stream* in = OpenReader(bytes);
    ASSERT_NE(Stream::FindChunk(in, 16, nullptr, nullptr), 0);
    Clump* other = Clump::StreamRead(in);
    Stream::Close(in, nullptr);
    ASSERT_NE(other, nullptr);
    Atomic* twin = Atomic::Clone(mAtomic);
    ASSERT_NE(twin, nullptr);
    Atomic::SetGeometry(twin, Atomic::FromClumpLink(other->atomics.next)->geometry, 0);
    Clump::Destroy(other);
    Atomic::SetFrame(twin, mAtomic->object.frame);
    SkinAtomic::SetSkinHierarchy(twin, mHierarchy);
    Clump::AddAtomic(mClump, twin);
    mExtra.push_back(twin);
    // The first strip goes back to the head of the clump's list: drawn first, the green one over it.
    Clump::RemoveAtomic(mClump, mAtomic);
    Clump::AddAtomic(mClump, mAtomic);

    for (bool hardware : {true, false})
    {
        SCOPED_TRACE(hardware ? "hardware" : "processor");
        if (!hardware)
        {
            SkinDeviceCaps caps = SkinPlugin::GetCaps();
            caps.hardwareSkinning = 0;
            SkinPlugin::SetCaps(caps);
        }
        ASSERT_TRUE(DrawFrame());
        const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
        // The strip's outline in either colour (the two lie at one depth); nothing beyond it.
        std::vector<uint32_t> expected = Reference(frame, kColour);
        for (size_t i = 0; i < frame.size(); ++i)
            if (expected[i] == kColour && frame[i] == kGreen)
                expected[i] = kGreen;
        EXPECT_EQ(framecheck::CheckFrame(hardware ? "skin_two_bind_poses_hardware" : "skin_two_bind_poses", kSize,
                                         kSize, frame, expected, 2),
                  "");
        EXPECT_GT(std::count(frame.begin(), frame.end(), kGreen), 0) << "the second strip is drawn";
    }
}

// ---- Hardware skinning --------------------------------------------------------------------------

namespace
{

bool Has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

TEST_F(SkinDraw, HardwareAndProcessorSkinningDrawTheSameModel)
{
    Start(true, true, true);
    ASSERT_EQ(SkinPlugin::GetCaps().hardwareSkinning, 1);
    ASSERT_TRUE(DrawFrame());
    Skin* skin = SkinGeometry::GetSkin(mAtomic->geometry);
    EXPECT_EQ(skin->hardwareSkinned, 1);
    // One static stream with weights and indices; the mesh drawn by a generated shader.
    InstanceHeader* header = Header();
    EXPECT_EQ(header->streams[0].managed, 1);
    EXPECT_EQ(header->streams[1].vertexBuffer, nullptr);
    EXPECT_NE(InstanceHeader::Meshes(header)[0].vertexShader, nullptr);
    EXPECT_EQ(ElementBytes(0, D3DDECLUSAGE_BLENDWEIGHT).size(), 8u);
    ExpectDrawn("skin_hardware");
    const std::vector<uint32_t> hardware = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);

    // Nothing is locked or built per frame: the palette goes up as constants.
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame());
    d3d9test::EnableCallLog(false);
    for (const char* call : {"CreateVertexBuffer", "CreateVertexDeclaration", "VertexBuffer::Lock"})
        EXPECT_EQ(d3d9test::CountCalls(call), 0u) << call;
    // Three bones by number: every node's rows from the bone base in one run.
    const std::vector<std::string> uploads = d3d9test::CallArgs("SetVertexShaderConstantF");
    EXPECT_TRUE(Has(uploads, "0, 4")) << "world-view-projection";
    EXPECT_TRUE(Has(uploads, "5, 9")) << "the bones after c4";

    // The same model blended on the processor once the device cannot skin.
    SkinDeviceCaps caps = SkinPlugin::GetCaps();
    caps.hardwareSkinning = 0;
    SkinPlugin::SetCaps(caps);
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(skin->hardwareSkinned, 0);
    EXPECT_EQ(InstanceHeader::Meshes(Header())[0].vertexShader, nullptr);
    ExpectDrawn("skin_processor_after_hardware");
    const std::vector<uint32_t> processor = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(framecheck::CheckFrame("skin_hardware_vs_processor", kSize, kSize, hardware, processor, 2), "");
}

// A clone sharing the geometry without a skeleton, drawn beside the skinned atomic: after the
// first frames nothing more is made for either.
void SkinDraw::ExpectSharedGeometryBuiltOnce(bool hardware)
{
    Start(true, true, hardware);
    Atomic* plain = Atomic::Clone(mAtomic);
    ASSERT_NE(plain, nullptr);
    ASSERT_EQ(plain->geometry, mAtomic->geometry);
    SkinAtomic::SetSkinHierarchy(plain, nullptr);
    Clump::AddAtomic(mClump, plain);
    mExtra.push_back(plain);
    ASSERT_TRUE(DrawFrame());
    ASSERT_TRUE(DrawFrame());

    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    for (int frame = 0; frame < 3; ++frame)
        ASSERT_TRUE(DrawFrame());
    d3d9test::EnableCallLog(false);
    for (const char* call : {"CreateVertexBuffer", "CreateVertexDeclaration", "CreateIndexBuffer"})
        EXPECT_EQ(d3d9test::CountCalls(call), 0u) << call;
    ExpectDrawn(hardware ? "skin_shared_with_plain_hardware" : "skin_shared_with_plain", kColour, 2);
}

TEST_F(SkinDraw, AtomicsSharingAGeometryOnlyOneOfThemWithASkeletonBuildTheirDataOnceInHardware)
{
    ExpectSharedGeometryBuiltOnce(true);
}

TEST_F(SkinDraw, AtomicsSharingAGeometryOnlyOneOfThemWithASkeletonBuildTheirDataOnceOnTheProcessor)
{
    ExpectSharedGeometryBuiltOnce(false);
}

TEST_F(SkinDraw, AFirstWeightAboveOneIsStoredAndDrawnAsTheFirstBoneAlone)
{
    Start(true, true, true);
    Skin* skin = SkinGeometry::GetSkin(mAtomic->geometry);
    ASSERT_EQ(skin->maxWeights, 2);
    // Vertex 0 lies on column 0, which follows bone 0 alone: 1.5 must not scale it.
    skin->vertexWeights[0] = 1.5f;
    skin->vertexWeights[1] = 0.5f;
    skin->vertexBoneIndices[0] = 0x0100;
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(skin->hardwareSkinned, 1);
    const float* w = skin->vertexWeights;
    EXPECT_EQ(std::vector<float>(w, w + 4), (std::vector<float>{1, 0, 0, 0}));
    // Two weights as unsigned normalised shorts: the whole unit on the first.
    EXPECT_EQ(Shorts(0, D3DDECLUSAGE_BLENDWEIGHT), (std::array<int, 2>{65535, 0}));
    EXPECT_EQ(Shorts(2, D3DDECLUSAGE_BLENDWEIGHT), (std::array<int, 2>{49151, 16384})) << "0.75 and 0.25";
    ExpectDrawn("skin_hardware_weight_above_one");
}

TEST_F(SkinDraw, FortyNodesOnNinetySixConstantsPackTheTwentyUsedBonesIntoSlotsZeroToNineteen)
{
    Start(true, true, true, 96);
    ASSERT_EQ(SkinPlugin::GetCaps().hardwareBoneLimit, 28);
    ASSERT_NE(mHierarchy->matrices, nullptr);
    Skin* old = SkinGeometry::GetSkin(mAtomic->geometry);

    // The same pose on bones 3, 20 and 34 of 40; 20 bones used in three runs of numbers.
    const uint8_t moved[3] = {3, 20, 34};
    std::vector<uint8_t> used = {1, 2, 3, 10, 11};
    for (uint8_t b = 20; b <= 34; ++b)
        used.push_back(b);
    ASSERT_EQ(used.size(), 20u);
    Hierarchy* forty = Hierarchy::Create(40, nullptr, nullptr, 0, 36);
    ASSERT_NE(forty, nullptr);
    forty->flags |= mHierarchy->flags & kHierarchyLocalSpace;
    std::vector<Matrix> inverse(40);
    Matrix identity{};
    identity.right = {1, 0, 0};
    identity.up = {0, 1, 0};
    identity.at = {0, 0, 1};
    identity.flags = kMatrixIdentity | kMatrixOrthonormal;
    for (int32_t n = 0; n < 40; ++n)
        forty->matrices[n] = inverse[size_t(n)] = identity;
    for (int b = 0; b < 3; ++b)
    {
        forty->matrices[moved[b]] = mHierarchy->matrices[b];
        inverse[moved[b]] = old->inverseMatrices[b];
    }
    std::vector<uint32_t> indices(8);
    for (size_t v = 0; v < 8; ++v)
    {
        const uint32_t i = old->vertexBoneIndices[v];
        indices[v] = uint32_t(moved[i & 0xFF]) | uint32_t(moved[(i >> 8) & 0xFF]) << 8;
    }
    Skin* skin = Skin::Create();
    ASSERT_NE(skin, nullptr);
    ASSERT_EQ(Skin::AllocateData(skin, 40, 20, 8, used.data(), old->vertexWeights, indices.data(), inverse.data()),
              1);
    skin->maxWeights = 2;
    SkinGeometry::SetSkin(mAtomic->geometry, skin);
    SkinAtomic::SetSkinHierarchy(mAtomic, forty);

    const std::vector<std::string> uploads = ConstantUploads();
    EXPECT_EQ(skin->hardwareSkinned, 1);
    EXPECT_EQ(skin->bonesPerBatch, 20);
    // Bone indices hold 3 x the list position: bone 3 is third, 20 sixth, 34 last.
    EXPECT_EQ(Shorts(0, D3DDECLUSAGE_BLENDINDICES), (std::array<int, 2>{6, 6}));
    EXPECT_EQ(Shorts(4, D3DDECLUSAGE_BLENDINDICES), (std::array<int, 2>{57, 15}));
    // c4 the ambient colour, the bones from c5: runs {1-3}, {10-11}, {20-34} at positions 0, 3, 5.
    EXPECT_TRUE(Has(uploads, "5, 9"));
    EXPECT_TRUE(Has(uploads, "14, 6"));
    EXPECT_TRUE(Has(uploads, "20, 45"));
    EXPECT_EQ(uploads.size(), 5u) << "world-view-projection, ambient and three runs";
    ExpectDrawn("skin_hardware_forty_nodes");

    SkinAtomic::SetSkinHierarchy(mAtomic, mHierarchy);
    Hierarchy::Destroy(forty);
}

TEST_F(SkinDraw, SplitDataUploadsEachBoneOfTheMeshRunsAtItsSlot)
{
    Start(true, true, true);
    Skin* skin = SkinGeometry::GetSkin(mAtomic->geometry);
    // Bones 0, 1, 2 in slots 2, 0, 1; the one mesh draws runs {0, 1} and {1, 2}.
    auto* block = static_cast<uint8_t*>(Memory::AllocateZeroed(1, 3 + 2 * (1 + 2), 0x30116));
    ASSERT_NE(block, nullptr);
    const uint8_t bytes[] = {2, 0, 1, 0, 2, 0, 1, 1, 2};
    std::copy(std::begin(bytes), std::end(bytes), block);
    skin->splitBlock = block;
    skin->meshRuns = block + 3;
    skin->boneRuns = block + 5;
    skin->splitBoneLimit = 3;
    skin->splitMeshCount = 1;
    skin->splitRunCount = 2;

    const std::vector<std::string> uploads = ConstantUploads();
    EXPECT_EQ(skin->hardwareSkinned, 1);
    EXPECT_EQ(Shorts(0, D3DDECLUSAGE_BLENDINDICES), (std::array<int, 2>{6, 6}));
    EXPECT_EQ(Shorts(4, D3DDECLUSAGE_BLENDINDICES), (std::array<int, 2>{3, 0}));
    const std::vector<std::string> bones(uploads.begin() + 2, uploads.end());
    EXPECT_EQ(bones, (std::vector<std::string>{"11, 3", "5, 3", "8, 3"}));
    ExpectDrawn("skin_hardware_split");
    // Per mesh, every frame.
    EXPECT_EQ(ConstantUploads().size(), uploads.size());
}

TEST_F(SkinDraw, PerFrameComponentsTakeAStreamOfTheirOwnBesideTheStaticOne)
{
    Start(true, true, true);
    // Another plug-in rewrites the prelit colours every frame.
    VertexShaderFlags::Set(mAtomic->geometry, kVsFlagPrelit);
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(SkinGeometry::GetSkin(mAtomic->geometry)->hardwareSkinned, 1);
    InstanceHeader* header = Header();
    EXPECT_EQ(header->streams[0].managed, 0) << "a dynamic buffer of its own";
    EXPECT_EQ(header->streams[0].stride, 4u) << "the colours alone";
    EXPECT_EQ(header->streams[1].managed, 1);
    EXPECT_EQ(header->streams[1].stride, 12u + 4 + 4) << "position, two weights, two indices";
    EXPECT_EQ(header->useOffsets, 1u);
    EXPECT_EQ(InstanceHeader::Meshes(header)[0].baseIndex, InstanceHeader::Meshes(header)[0].minimumVertex);
    ExpectDrawn("skin_hardware_two_streams");
}

TEST_F(SkinDraw, TheShaderDescriptorTakesTheGeometrysComponentsAndTheFog)
{
    Start(true, true, true);
    VertexShaderDescriptor d{0xFF, 0xFF, 0xFF, 0xFF};
    SkinPipeline::BeginShaderDescriptor(mAtomic, &d);
    EXPECT_EQ(d.Key(), uint32_t(kVsPrelit) << 16) << "prelit, no sets, no fog, no effect kind";

    const DeviceRecord& device = Engine::Current()->device;
    device.setRenderState(kRenderStateFogType, 2);
    SkinPipeline::BeginShaderDescriptor(mAtomic, &d);
    EXPECT_EQ(d.Fog(), 0) << "fog off";
    device.setRenderState(kRenderStateFog, 1);
    SkinPipeline::BeginShaderDescriptor(mAtomic, &d);
    EXPECT_EQ(d.Fog(), 2);
    EXPECT_EQ(d.EffectKind(), 0) << "no tangent-space kind, so nothing of c5-c8 is owed";

    // The exponential fog's register comes before the bones: c5, then the bones from c6.
    const std::vector<std::string> uploads = ConstantUploads();
    EXPECT_TRUE(Has(uploads, "5, 1"));
    EXPECT_TRUE(Has(uploads, "6, 9"));
    device.setRenderState(kRenderStateFog, 0);
}

TEST_F(SkinDraw, TheHardwarePalettePacksTheX87RowsAndIsNeverTakenForAnotherLayout)
{
    Start(true, true, true);
    Skin* skin = SkinGeometry::GetSkin(mAtomic->geometry);
    SkinPipeline::ResetPaletteKey();
    const int32_t before = SkinPipeline::GetPaletteBuildCount();
    const float* rows = SkinPipeline::BuildPaletteHardware(SkinPlugin::GetPalette(), mAtomic, skin);
    ASSERT_NE(rows, nullptr);
    const std::vector<float> hardware(rows, rows + 3 * 12);
    EXPECT_EQ(SkinPipeline::BuildPaletteHardware(SkinPlugin::GetPalette(), mAtomic, skin), rows);
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 1) << "the same key";

    // Same hierarchy, counter and frame: the processor's palette is still built, and after it
    // the hardware one again.
    const Matrix* x87 = SkinPipeline::BuildPaletteX87(mAtomic, skin, mHierarchy);
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 2);
    for (int b = 0; b < 3; ++b)
        for (int i = 0; i < 12; ++i)
            EXPECT_FLOAT_EQ(hardware[size_t(12 * b + i)], (&x87[b].right.x)[i]) << "bone " << b << " float " << i;
    SkinPipeline::BuildPaletteHardware(SkinPlugin::GetPalette(), mAtomic, skin);
    EXPECT_EQ(SkinPipeline::GetPaletteBuildCount(), before + 3);
}

TEST_F(SkinDraw, ALitModelDrawsAlikeInHardwareAndOnTheProcessor)
{
    mLit = true;
    Start(true, true, true);
    const LightColour sun = {0.5f, 0.25f, 0.125f, 1};
    AddLights(0.2f, 1, sun);
    const uint32_t colour = LitColour(0.2f, 1, sun);
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(SkinGeometry::GetSkin(mAtomic->geometry)->hardwareSkinned, 1);
    ExpectDrawn("skin_hardware_lit", colour, 3);
    const std::vector<uint32_t> hardware = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);

    SkinDeviceCaps caps = SkinPlugin::GetCaps();
    caps.hardwareSkinning = 0;
    SkinPlugin::SetCaps(caps);
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(SkinGeometry::GetSkin(mAtomic->geometry)->hardwareSkinned, 0);
    ExpectDrawn("skin_processor_lit", colour, 3);
    const std::vector<uint32_t> processor = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(framecheck::CheckFrame("skin_lit_hardware_vs_processor", kSize, kSize, hardware, processor, 3), "");
}

TEST_F(SkinDraw, WhenConstantsRunShortTheLastDirectionalLightGivesWayToTheBones)
{
    // 24 constants: three bones by number take 9, five directional lights 5 + 10; a sixth
    // would need 26.
    mLit = true;
    Start(true, true, true, 24);
    ASSERT_EQ(SkinPlugin::GetCaps().hardwareBoneLimit, 4);
    const LightColour sun = {0.1f, 0.06f, 0.02f, 1};
    AddLights(0.2f, 6, sun);
    const std::vector<std::string> uploads = ConstantUploads();
    EXPECT_EQ(SkinGeometry::GetSkin(mAtomic->geometry)->hardwareSkinned, 1);
    EXPECT_TRUE(Has(uploads, "4, 11")) << "ambient and five lights";
    EXPECT_TRUE(Has(uploads, "15, 9")) << "the bones after them";
    ExpectDrawn("skin_hardware_five_of_six_lights", LitColour(0.2f, 5, sun), 3);
}
