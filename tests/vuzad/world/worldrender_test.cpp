// A world end to end: a world stream from the writer (a plane tree of four leaves, prelit
// and lit, one leaf textured through the image path) read, lit by an ambient and a
// directional light and drawn every frame through the default world pipelines into a 64 x 64
// frame compared with a CPU reference; then made native, written, read back and drawn the
// same from its native data; a native sector stream cut short or damaged attaches nothing.
#include "camera.h"
#include "d3d9worldfixture.h"
#include "filesystem.h"
#include "frame.h"
#include "framecheck.h"
#include "image.h"
#include "light.h"
#include "nativedata.h"
#include "resourcearena.h"
#include "streamfixture.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr uint32_t kBackground = 0xFF203040;
constexpr float kDepth = 2.0f;
constexpr uint8_t kWarm[3] = {255, 200, 100};
constexpr uint8_t kCool[3] = {100, 200, 255};
constexpr float kAmbient[3] = {0.2f, 0.15f, 0.1f};
constexpr float kSun[3] = {0.5f, 0.4f, 0.3f};
constexpr float kSunFacing = 0.8f; // the sun's direction against the leaves' normal
/// The leaves' prelit colours, in leaf order: x below 0 first, then y below 0 first.
constexpr uint8_t kPrelit[4][3] = {{40, 0, 0}, {0, 40, 0}, {0, 0, 40}, {30, 30, 30}};
constexpr uint32_t kFormat =
    kGeometryPositions | kGeometryNormals | kGeometryPrelit | kGeometryLight | kGeometryTextured;

int32_t Exists(const char* name)
{
    return std::strcmp(name, "textures\\halves.tst") == 0 ? 1 : 0;
}

Image* ReadHalves(const char*)
{
    Image* image = Image::Create(4, 4, 32);
    Image::AllocatePixels(image);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const uint8_t* c = x < 2 ? kWarm : kCool;
            uint8_t* p = image->pixels + y * image->stride + 4 * x;
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
            p[3] = 255;
        }
    return image;
}

float LeafX0(int leaf)
{
    return leaf < 2 ? -1.0f : 0.0f;
}

float LeafY0(int leaf)
{
    return leaf % 2 == 0 ? -1.0f : 0.0f;
}

WorldDescription FourLeaves()
{
    WorldDescription w;
    w.format = kFormat;
    w.numTexCoordSets = 1;
    for (int i = 0; i < 4; ++i)
    {
        const float x0 = LeafX0(i), y0 = LeafY0(i), x1 = x0 + 1, y1 = y0 + 1;
        WorldDescription::Leaf leaf;
        leaf.materialBase = uint32_t(i == 0 ? 0 : 1);
        leaf.positions = {x0, y0, kDepth, x1, y0, kDepth, x0, y1, kDepth, x1, y1, kDepth};
        leaf.normals.assign(4, {0, 0, -128, 0});
        leaf.prelit.assign(4, {kPrelit[i][0], kPrelit[i][1], kPrelit[i][2], 255});
        leaf.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
        leaf.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
        w.leaves.push_back(leaf);
    }
    // x splits at 0, then each side splits y at 0.
    WorldDescription::Node root, left, right;
    root.axis = 0;
    root.left = 1;
    root.right = 2;
    left.axis = right.axis = 4;
    left.left = 3;
    left.right = 4;
    right.left = 5;
    right.right = 6;
    w.nodes = {root, left, right};
    for (int i = 0; i < 4; ++i)
    {
        WorldDescription::Node leaf;
        leaf.leaf = i;
        w.nodes.push_back(leaf);
    }
    GeometryDescription::Material textured, plain;
    textured.texture = "halves";
    plain.colour = {255, 0, 0, 255};
    w.materials = {textured, plain};
    w.listEntries = {0, 1};
    return w;
}

/// Fixed-function lighting of a leaf: its prelit colour as emissive, the ambient light and
/// the sun on the normal; the texture modulates leaf 0.
std::vector<uint32_t> Reference(const std::vector<uint32_t>& actual)
{
    std::vector<uint32_t> frame(size_t(kSize) * kSize, kBackground);
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px)
        {
            // The device samples pixels at their integer corners; the engine's view is
            // mirrored in x.
            const float x = (1.0f - float(px) / (kSize / 2)) * kDepth;
            const float y = (1.0f - float(py) / (kSize / 2)) * kDepth;
            const size_t i = size_t(py) * kSize + size_t(px);
            const float margin = 0.1f;
            auto near = [&](float v, float at) { return std::fabs(v - at) < margin; };
            if (near(std::fabs(x), 1) || near(std::fabs(y), 1) || near(x, 0) || near(y, 0) || near(x, -0.5f))
            {
                frame[i] = actual[i];
                continue;
            }
            if (std::fabs(x) > 1 || std::fabs(y) > 1)
                continue;
            const int leaf = (x < 0 ? 0 : 2) + (y < 0 ? 0 : 1);
            float c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = std::min(1.0f, kPrelit[leaf][k] / 255.0f + kAmbient[k] + kSun[k] * kSunFacing);
            if (leaf == 0)
            {
                const uint8_t* texel = x - LeafX0(0) < 0.5f ? kWarm : kCool;
                for (int k = 0; k < 3; ++k)
                    c[k] *= texel[k] / 255.0f;
            }
            auto byte = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            frame[i] = 0xFF000000u | byte(c[0]) << 16 | byte(c[1]) << 8 | byte(c[2]);
        }
    return frame;
}

WorldSector* CollectLeaf(WorldSector* sector, void* data)
{
    static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
    return sector;
}

class WorldDraw : public d3d9world::D3D9WorldTest
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
        DropWorld();
        if (mCamera)
            DestroyCamera(mCamera);
        D3D9WorldTest::TearDown();
    }

    void Start()
    {
        d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
        adapter.clientWidth = kSize;
        adapter.clientHeight = kSize;
        adapter.caps.MaxActiveLights = 8;
        StartWorld(adapter);
        FileSystem::GetFunctions()->exists = Exists;
        ASSERT_EQ(Image::RegisterFileFormat("tst", ReadHalves, nullptr), 1);
        ASSERT_NE(Image::SetPath("textures\\"), nullptr);
        mCamera = Camera::Create();
        mCamera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
        FrameObject::SetFrame(&mCamera->object, MakeFrame());
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
    }

    /// The world made current with the camera and the two lights in it.
    void Enter(World* world)
    {
        mWorld = world;
        Engine::Current()->currentWorld = world;
        World::AddCamera(world, mCamera);
        Light* ambient = Light::Create(kLightAmbient);
        const LightColour a = {kAmbient[0], kAmbient[1], kAmbient[2], 1};
        Light::SetColor(ambient, &a);
        Light* sun = Light::Create(kLightDirectional);
        const LightColour s = {kSun[0], kSun[1], kSun[2], 1};
        Light::SetColor(sun, &s);
        Frame* sunFrame = MakeFrame();
        const Vector yAxis = {0, 1, 0};
        Frame::Rotate(sunFrame, &yAxis, std::asin(0.6f) * 180.0f / 3.14159265f, kCombineReplace);
        Light::SetFrame(sun, sunFrame);
        for (Light* light : {ambient, sun})
        {
            World::AddLight(world, light);
            mLights.push_back(light);
        }
        Frame::SyncDirtyList();
    }

    void DropWorld()
    {
        if (!mWorld)
            return;
        for (Light* light : mLights)
        {
            World::RemoveLight(mWorld, light);
            Light::Destroy(light);
        }
        mLights.clear();
        World::RemoveCamera(mWorld, mCamera);
        Engine::Current()->currentWorld = nullptr;
        World::Destroy(mWorld);
        mWorld = nullptr;
    }

    std::vector<WorldSector*> Leaves() const
    {
        std::vector<WorldSector*> leaves;
        World::ForAllSectors(mWorld, CollectLeaf, &leaves);
        return leaves;
    }

    bool DrawFrame()
    {
        const Rgba background = {0x20, 0x30, 0x40, 0xFF};
        bool ok = Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ) == mCamera;
        ok = Camera::BeginUpdate(mCamera) == mCamera && ok;
        if (ok)
        {
            Engine::Current()->device.setRenderState(20, 1); // no culling
            ok = World::Render(mWorld) == mWorld;
            ok = Camera::EndUpdate(mCamera) == mCamera && ok;
        }
        return Camera::ShowRaster(mCamera, nullptr, 0) == mCamera && ok;
    }

    std::vector<uint32_t> ReadFrame() { return ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize); }

    /// The world written to a stream.
    std::vector<uint8_t> WriteWorld()
    {
        Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(World::StreamWrite(mWorld, out), mWorld);
        return CloseWriter(out);
    }

    World* mWorld = nullptr;
    Camera* mCamera = nullptr;
    std::vector<Light*> mLights;
};

TEST_F(WorldDraw, AWorldFromTheWriterDrawsEveryFrameThroughTheDefaultPipelinesAndAgainFromItsNativeForm)
{
    Start();
    World* world = ReadWorld(FourLeaves());
    ASSERT_NE(world, nullptr);
    Enter(world);
    ASSERT_EQ(Leaves().size(), 4u);
    ASSERT_NE(MeshHeader::Meshes(Leaves()[0]->meshHeader)[0].material->texture, nullptr) << "found along the path";
    ASSERT_EQ(WorldCamera::GetNumFrustumSectors(mCamera), 4);

    ASSERT_TRUE(DrawFrame());
    const std::vector<uint32_t> first = ReadFrame();
    ASSERT_EQ(first.size(), size_t(kSize) * kSize);
    EXPECT_EQ(framecheck::CheckFrame("world_four_leaves", kSize, kSize, first, Reference(first), 3), "");
    for (WorldSector* leaf : Leaves())
        ASSERT_NE(leaf->instanceData, nullptr);

    // Every later frame draws the same from the same data.
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame());
    d3d9test::EnableCallLog(false);
    for (const char* call : {"CreateVertexBuffer", "CreateIndexBuffer", "VertexBuffer::Lock", "IndexBuffer::Lock"})
        EXPECT_EQ(d3d9test::CountCalls(call), 0u) << call;
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 4u);
    EXPECT_EQ(framecheck::CheckFrame("world_four_leaves_again", kSize, kSize, ReadFrame(), first, 0), "");

    // Instanced once more outside the arena, marked native and written: the stream holds
    // each leaf's device form instead of its vertex arrays.
    ResourceArena::Empty();
    world->formatFlags |= kGeometryInstanceOnly;
    ASSERT_TRUE(DrawFrame());
    world->formatFlags = (world->formatFlags & ~kGeometryInstanceOnly) | kGeometryNative;
    for (WorldSector* leaf : Leaves())
    {
        ASSERT_NE(leaf->instanceData, nullptr);
        EXPECT_GT(NativeData::SectorSize(leaf), 0);
    }
    const std::vector<uint8_t> native = WriteWorld();
    DropWorld();

    World* again = ReadWorld(native);
    ASSERT_NE(again, nullptr);
    Enter(again);
    EXPECT_NE(again->formatFlags & kGeometryNative, 0u);
    for (WorldSector* leaf : Leaves())
    {
        EXPECT_EQ(leaf->positions, nullptr) << "no vertex arrays";
        ASSERT_NE(leaf->instanceData, nullptr);
        EXPECT_EQ(leaf->instanceData->link.next, nullptr) << "never evicted";
    }
    ASSERT_TRUE(DrawFrame());
    EXPECT_EQ(framecheck::CheckFrame("world_four_leaves_native", kSize, kSize, ReadFrame(), first, 0), "");
    EXPECT_EQ(WriteWorld().size(), native.size()) << "written back whole";
}

TEST_F(WorldDraw, ANativeSectorStreamCutShortOrDamagedAttachesNothing)
{
    Start();
    World* world = ReadWorld(FourLeaves());
    ASSERT_NE(world, nullptr);
    Enter(world);
    world->formatFlags |= kGeometryInstanceOnly;
    ASSERT_TRUE(DrawFrame());
    world->formatFlags = (world->formatFlags & ~kGeometryInstanceOnly) | kGeometryNative;
    WorldSector* leaf = Leaves()[1];
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(NativeData::WriteSector(out, leaf), out);
    std::vector<uint8_t> bytes = CloseWriter(out);
    ASSERT_EQ(int32_t(bytes.size()), NativeData::SectorSize(leaf));

    // Each read is into a sector without data, as when its world is read.
    auto read = [&](std::vector<uint8_t> data, int32_t length)
    {
        if (leaf->instanceData)
            ResourceArena::Free(leaf->instanceData);
        Stream* in = OpenReader(data);
        WorldSector* result = NativeData::ReadSector(in, leaf, length);
        Stream::Close(in, nullptr);
        d3d9driver::TakeError();
        return result;
    };
    // Vertex data shorter than stride x vertex count, by a byte or by the whole stream.
    for (size_t cut : {size_t(1), size_t(4 * 28)})
        for (bool fixSize : {false, true})
        {
            std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - ptrdiff_t(cut));
            // Unfixed, the chunk claims more than the sub-chunk holds; fixed, the chunk
            // ends inside the vertex data.
            if (fixSize)
            {
                const uint32_t body = uint32_t(shorter.size() - 12);
                std::memcpy(shorter.data() + 4, &body, 4);
            }
            EXPECT_EQ(read(shorter, int32_t(shorter.size())), nullptr) << cut << " " << fixSize;
            EXPECT_EQ(leaf->instanceData, nullptr) << cut << " " << fixSize;
        }
    ASSERT_EQ(read(bytes, int32_t(bytes.size())), leaf);
    ASSERT_NE(leaf->instanceData, nullptr);

    // Damaged copies never crash and either attach complete data or nothing.
    std::mt19937 random(125);
    for (int round = 0; round < 1500; ++round)
    {
        std::vector<uint8_t> damaged = bytes;
        const int flips = 1 + int(random() % 4);
        for (int f = 0; f < flips; ++f)
            damaged[random() % damaged.size()] = uint8_t(random());
        if (read(damaged, int32_t(damaged.size())))
            ASSERT_NE(leaf->instanceData, nullptr);
        else
            ASSERT_EQ(leaf->instanceData, nullptr);
    }
    ASSERT_EQ(read(bytes, int32_t(bytes.size())), leaf);
    world->formatFlags &= ~kGeometryNative;
}

TEST_F(WorldDraw, ANativeLeafWhoseExtensionFailsAfterItsNativeDataFreesThatData)
{
    Start();
    World* world = ReadWorld(FourLeaves());
    ASSERT_NE(world, nullptr);
    Enter(world);
    world->formatFlags |= kGeometryInstanceOnly;
    ASSERT_TRUE(DrawFrame());
    world->formatFlags = (world->formatFlags & ~kGeometryInstanceOnly) | kGeometryNative;
    // Each leaf's native sub-chunk, followed by four bytes too few for another header.
    WorldDescription d = FourLeaves();
    d.format |= kGeometryNative;
    std::vector<WorldSector*> leaves = Leaves();
    for (size_t i = 0; i < leaves.size(); ++i)
    {
        Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        ASSERT_EQ(NativeData::WriteSector(out, leaves[i]), out);
        std::vector<uint8_t> body = CloseWriter(out);
        ChunkBuilder sub;
        sub.Header(1296, uint32_t(body.size()));
        sub.bytes.insert(sub.bytes.end(), body.begin(), body.end());
        d.leaves[i].numVertices = 4;
        d.leaves[i].numTriangles = 2;
        d.leaves[i].extension = sub.bytes;
        if (i == 2)
            d.leaves[i].extension.resize(sub.bytes.size() + 4);
    }
    world->formatFlags &= ~kGeometryNative;
    // Read, the leaves before the damaged one and its own native data are freed again (the
    // leak check at exit fails otherwise).
    EXPECT_EQ(ReadWorld(d), nullptr);
    d3d9driver::TakeError();
    d.leaves[2].extension.resize(d.leaves[2].extension.size() - 4);
    World* whole = ReadWorld(d);
    ASSERT_NE(whole, nullptr);
    World::Destroy(whole);
}

} // namespace
