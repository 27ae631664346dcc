// A lit, textured clump end to end: a clump stream from the writer, whose material names a
// texture found along the image path, read, put in a world with one directional and one
// point light, drawn by the default atomic pipeline into a 64 x 64 frame and compared with a
// CPU lighting reference; the second frame reuses the instance data.
#include "camera.h"
#include "clumpwriter.h"
#include "d3d9worldfixture.h"
#include "filesystem.h"
#include "frame.h"
#include "framecheck.h"
#include "image.h"
#include "light.h"
#include "resourcearena.h"
#include "texture.h"
#include "worldd3d9.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr uint32_t kBackground = 0xFF203040;
constexpr float kDepth = 2.0f; // the quad's distance from the camera
// The texture: left half warm, right half cool.
constexpr uint8_t kWarm[3] = {255, 200, 100};
constexpr uint8_t kCool[3] = {100, 200, 255};
// Lights: a directional one shining along (0.6, 0, 0.8), a point light in front of the quad.
constexpr float kSunColour[3] = {0.5f, 0.4f, 0.3f};
constexpr float kSunAt[3] = {0.6f, 0.0f, 0.8f};
constexpr float kLampColour[3] = {0.6f, 0.6f, 0.6f};
constexpr float kLampAt[3] = {0.5f, 0.5f, 1.2f};
constexpr float kLampRadius = 3.0f;

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

ClumpDescription LitClump()
{
    ClumpDescription d;
    d.frames.resize(4);
    d.frames[1].rows = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, kDepth};
    d.frames[1].parent = 0;
    // right, up, at: at is the sun's direction.
    d.frames[2].rows = {0.8f, 0, -0.6f, 0, 1, 0, kSunAt[0], kSunAt[1], kSunAt[2], 0, 0, 0};
    d.frames[2].parent = 0;
    d.frames[3].rows = {1, 0, 0, 0, 1, 0, 0, 0, 1, kLampAt[0], kLampAt[1], kLampAt[2]};
    d.frames[3].parent = 0;

    GeometryDescription quad;
    quad.format = kGeometryPositions | kGeometryNormals | kGeometryTextured | kGeometryLight;
    quad.numVertices = 4;
    quad.texCoords = {{0, 0, 1, 0, 0, 1, 1, 1}};
    quad.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
    quad.targets = {
        {{0, 0, 0, 1.5f}, {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0}, {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1}}};
    GeometryDescription::Material material;
    material.texture = "halves";
    quad.materials = {material};
    quad.listEntries = {0};
    d.geometries = {quad};

    ClumpDescription::Atomic atomic;
    atomic.frame = 1;
    d.atomics = {atomic};
    ClumpDescription::Light sun;
    sun.frame = 2;
    sun.type = kLightDirectional;
    sun.colour = {kSunColour[0], kSunColour[1], kSunColour[2]};
    ClumpDescription::Light lamp;
    lamp.frame = 3;
    lamp.type = kLightPoint;
    lamp.radius = kLampRadius;
    lamp.colour = {kLampColour[0], kLampColour[1], kLampColour[2]};
    d.lights = {sun, lamp};
    return d;
}

// ---- The CPU reference ------------------------------------------------------------------------

struct Colour
{
    float r, g, b;
};

// Fixed-function lighting of one vertex of the quad (normal -z, white material, no ambient).
Colour LightVertex(float x, float y)
{
    const float n[3] = {0, 0, -1};
    float c[3];
    // The directional light arrives along its direction: L is the reverse.
    const float sunDot = std::max(0.0f, -(n[0] * kSunAt[0] + n[1] * kSunAt[1] + n[2] * kSunAt[2]));
    const float to[3] = {kLampAt[0] - x, kLampAt[1] - y, kLampAt[2] - kDepth};
    const float d = std::sqrt(to[0] * to[0] + to[1] * to[1] + to[2] * to[2]);
    const float lampDot = std::max(0.0f, (n[0] * to[0] + n[1] * to[1] + n[2] * to[2]) / d);
    // Attenuation 1 / (1 + 0 d + 5 / r^2 d^2) within the radius.
    const float attenuation = d > kLampRadius ? 0.0f : 1.0f / (1.0f + 5.0f / (kLampRadius * kLampRadius) * d * d);
    for (int i = 0; i < 3; ++i)
        c[i] = std::min(1.0f, kSunColour[i] * sunDot + kLampColour[i] * lampDot * attenuation);
    return {c[0], c[1], c[2]};
}

// The frame the camera should see; pixels too near an edge or the texture's seam to predict
// are taken from the actual frame.
std::vector<uint32_t> Reference(const std::vector<uint32_t>& actual)
{
    const Colour corner[4] = {LightVertex(-1, -1), LightVertex(1, -1), LightVertex(-1, 1), LightVertex(1, 1)};
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
            if (std::fabs(std::fabs(x) - 1) < margin || std::fabs(std::fabs(y) - 1) < margin || std::fabs(x) < margin ||
                std::fabs(x + y) < margin)
            {
                frame[i] = actual[i];
                continue;
            }
            if (std::fabs(x) > 1 || std::fabs(y) > 1)
                continue;
            // Gouraud shading across the two triangles (0, 1, 2) and (1, 3, 2).
            const float s = (x + 1) / 2, t = (y + 1) / 2;
            Colour lit;
            auto mix = [](Colour a, float wa, Colour b, float wb, Colour c, float wc) {
                return Colour{a.r * wa + b.r * wb + c.r * wc, a.g * wa + b.g * wb + c.g * wc,
                              a.b * wa + b.b * wb + c.b * wc};
            };
            if (s + t <= 1)
                lit = mix(corner[0], 1 - s - t, corner[1], s, corner[2], t);
            else
                lit = mix(corner[3], s + t - 1, corner[1], 1 - t, corner[2], 1 - s);
            const uint8_t* texel = s < 0.5f ? kWarm : kCool;
            auto byte = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            frame[i] = 0xFF000000u | byte(lit.r * texel[0] / 255.0f) << 16 | byte(lit.g * texel[1] / 255.0f) << 8 |
                       byte(lit.b * texel[2] / 255.0f);
        }
    return frame;
}

// ---- The test ----------------------------------------------------------------------------------

class LitClumpDraw : public d3d9world::D3D9WorldTest
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
        mWorld.reset();
        D3D9WorldTest::TearDown();
    }

    bool DrawFrame()
    {
        const Rgba background = {0x20, 0x30, 0x40, 0xFF};
        bool ok = Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ) == mCamera;
        ok = Camera::BeginUpdate(mCamera) == mCamera && ok;
        if (ok)
        {
            Engine::Current()->device.setRenderState(20, 1); // no culling
            ok = Clump::Render(mClump) == mClump;
            ok = Camera::EndUpdate(mCamera) == mCamera && ok;
        }
        return Camera::ShowRaster(mCamera, nullptr, 0) == mCamera && ok;
    }

    std::vector<uint32_t> ReadFrame() { return ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize); }

    std::unique_ptr<TestWorld> mWorld;
    Clump* mClump = nullptr;
    Camera* mCamera = nullptr;
};

TEST_F(LitClumpDraw, AClumpFromTheWriterDrawsLitAndTexturedAndReusesItsDataNextFrame)
{
    d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
    adapter.clientWidth = kSize;
    adapter.clientHeight = kSize;
    adapter.caps.MaxActiveLights = 8;
    StartWorld(adapter);
    FileSystem::GetFunctions()->exists = Exists;
    ASSERT_EQ(Image::RegisterFileFormat("tst", ReadHalves, nullptr), 1);
    ASSERT_NE(Image::SetPath("textures\\"), nullptr);

    std::vector<uint8_t> bytes = ClumpWriter::Write(LitClump());
    MemoryBlock block{bytes.data(), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    ASSERT_NE(in, nullptr);
    ASSERT_NE(Stream::FindChunk(in, 16, nullptr, nullptr), 0);
    mClump = Clump::StreamRead(in);
    Stream::Close(in, nullptr);
    ASSERT_NE(mClump, nullptr);
    Atomic* atomic = Atomic::FromClumpLink(mClump->atomics.next);
    Geometry* g = atomic->geometry;
    ASSERT_NE(g, nullptr);
    Material* material = MeshHeader::Meshes(g->meshHeader)[0].material;
    ASSERT_NE(material->texture, nullptr) << "found along the image path";
    EXPECT_STREQ(material->texture->name, "halves");

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

    ASSERT_TRUE(DrawFrame());
    const std::vector<uint32_t> first = ReadFrame();
    ASSERT_EQ(first.size(), size_t(kSize) * kSize);
    EXPECT_EQ(framecheck::CheckFrame("world_lit_textured_clump", kSize, kSize, first, Reference(first), 3), "");
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 2) << "the sun and the lamp";
    ResourceEntry* data = g->instanceData;
    ASSERT_NE(data, nullptr);

    // The second frame draws the same from the same data: nothing is created or refilled.
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame());
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(g->instanceData, data);
    for (const char* call : {"CreateVertexBuffer", "CreateIndexBuffer", "CreateVertexDeclaration", "VertexBuffer::Lock",
                             "IndexBuffer::Lock", "SetLight"})
        EXPECT_EQ(d3d9test::CountCalls(call), 0u) << call;
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitive"), 1u);
    EXPECT_EQ(framecheck::CheckFrame("world_lit_textured_clump_again", kSize, kSize, ReadFrame(), first, 0), "");
}

} // namespace
