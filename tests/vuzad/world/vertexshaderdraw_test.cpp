// A lit world drawn through a generated vertex shader the way the plug-ins' drawing callbacks
// draw: a world stream from the writer, lit by an ambient, a directional and a point light,
// its sector's lights gathered, the shader generated for them, the constants uploaded and
// each mesh drawn by VertexShader::DrawMesh into a 64 x 64 frame compared with a CPU
// reference of the shader's lighting.
#include "camera.h"
#include "d3d9device.h"
#include "d3d9worldfixture.h"
#include "frame.h"
#include "framecheck.h"
#include "instancedata.h"
#include "light.h"
#include "pipeline.h"
#include "sectornode.h"
#include "vertexshader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr uint32_t kBackground = 0xFF203040;
constexpr float kDepth = 2.0f; // the leaf's distance from the camera
constexpr float kAmbient = 0.1f;
constexpr float kSunColour[3] = {0.5f, 0.4f, 0.3f};
constexpr float kSunFacing = 0.8f; // the sun's direction against the leaf's normal
constexpr float kLampColour[3] = {0.6f, 0.6f, 0.6f};
constexpr float kLampAt[3] = {0.5f, 0.5f, 1.2f};
constexpr float kLampRadius = 3.0f;

/// One leaf: a quad at the depth facing the camera (normals along -z), lit, one white material.
WorldDescription LitLeaf()
{
    WorldDescription w;
    w.format = kGeometryPositions | kGeometryNormals | kGeometryLight;
    WorldDescription::Leaf leaf;
    leaf.positions = {-1, -1, kDepth, 1, -1, kDepth, -1, 1, kDepth, 1, 1, kDepth};
    leaf.normals.assign(4, {0, 0, -128, 0});
    leaf.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
    w.leaves = {leaf};
    w.materials = {GeometryDescription::Material{}};
    w.listEntries = {0};
    return w;
}

/// What the render callback saw.
struct Drawn
{
    VertexShaderDescriptor descriptor{};
    long registers = 0; ///< written by the gathering from c4 on
    bool shaderMade = false;
    int meshes = 0;
};
Drawn sDrawn;

// The sector's render callback as a plug-in writes it: streams, lights, shader, constants,
// then each mesh through DrawMesh.
void ShaderRender(ResourceEntry* entry, void* object, int32_t objectType, uint32_t)
{
    InstanceHeader* header = InstanceData::Header(entry);
    if (header->indexBuffer)
        D3D9Device::SetIndices(header->indexBuffer);
    D3D9StreamDescriptor streams{};
    for (int i = 0; i < 2; ++i)
        streams.streams[i] = {header->streams[i].vertexBuffer, header->streams[i].offset, header->streams[i].stride, 0};
    D3D9Device::SetStreams(&streams, int32_t(header->useOffsets));
    D3D9Device::SetVertexDeclaration(header->vertexDeclaration);

    VertexShader::SetWorldMatrix(nullptr);
    float block[64][4] = {};
    VertexShaderDescriptor d{0, 0, kVsNormals, 0};
    float(*end)[4] = VertexShader::GatherLights(object, objectType, block, &d);
    sDrawn.descriptor = d;
    sDrawn.registers = long(end - block);
    VertexShaderRegisters registers{};
    IDirect3DVertexShader9* shader = VertexShader::Generate(&d, &registers);
    sDrawn.shaderMade = shader != nullptr;
    if (!shader)
        return;
    float wvp[16];
    VertexShader::GetWorldViewProjection(wvp);
    D3D9Device::GetDevice()->SetVertexShaderConstantF(0, wvp, 4);
    VertexShader::ScaleLightColors(block, &d, 1.0f, 1.0f);
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        meshes[m].vertexShader = shader;
        VertexShader::DrawMesh(header, &meshes[m]);
        meshes[m].vertexShader = nullptr;
        ++sDrawn.meshes;
    }
    D3D9Device::SetVertexShader(nullptr);
    D3D9Device::ReleaseObject(shader);
}

// ---- The CPU reference ------------------------------------------------------------------------

struct Colour
{
    float r, g, b;
};

// The generated shader's lighting of one vertex of the leaf: ambient, the sun by the cosine,
// the lamp by the unnormalised cosine times (1 / distance - 1 / radius), clamped to 1.
Colour LightVertex(float x, float y)
{
    const float to[3] = {kLampAt[0] - x, kLampAt[1] - y, kLampAt[2] - kDepth};
    const float d = std::sqrt(to[0] * to[0] + to[1] * to[1] + to[2] * to[2]);
    const float lamp = std::max(0.0f, -to[2]) * std::max(0.0f, 1.0f / d - 1.0f / kLampRadius);
    float c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = std::min(1.0f, kAmbient + kSunColour[i] * kSunFacing + kLampColour[i] * lamp);
    return {c[0], c[1], c[2]};
}

// The frame the camera should see; pixels too near an edge of the quad or its diagonal are
// taken from the actual frame.
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
            if (std::fabs(std::fabs(x) - 1) < margin || std::fabs(std::fabs(y) - 1) < margin ||
                std::fabs(x + y) < margin)
            {
                frame[i] = actual[i];
                continue;
            }
            if (std::fabs(x) > 1 || std::fabs(y) > 1)
                continue;
            // Gouraud shading across the two triangles (0, 1, 2) and (1, 3, 2).
            const float s = (x + 1) / 2, t = (y + 1) / 2;
            auto mix = [](Colour a, float wa, Colour b, float wb, Colour c, float wc) {
                return Colour{a.r * wa + b.r * wb + c.r * wc, a.g * wa + b.g * wb + c.g * wc,
                              a.b * wa + b.b * wb + c.b * wc};
            };
            const Colour lit = s + t <= 1 ? mix(corner[0], 1 - s - t, corner[1], s, corner[2], t)
                                          : mix(corner[3], s + t - 1, corner[1], 1 - t, corner[2], 1 - s);
            auto byte = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            frame[i] = 0xFF000000u | byte(lit.r) << 16 | byte(lit.g) << 8 | byte(lit.b);
        }
    return frame;
}

// ---- The test ----------------------------------------------------------------------------------

class ShaderDrawnWorld : public d3d9world::D3D9WorldTest
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
        if (mWorld)
        {
            for (Light* light : mLights)
            {
                World::RemoveLight(mWorld, light);
                Light::Destroy(light);
            }
            if (mCamera)
                World::RemoveCamera(mWorld, mCamera);
            Engine::Current()->currentWorld = nullptr;
            World::Destroy(mWorld);
        }
        if (mCamera)
            DestroyCamera(mCamera);
        if (mPipeline)
            Pipeline::Destroy(mPipeline);
        D3D9WorldTest::TearDown();
    }

    Light* AddLight(int32_t type, const float* colour, Frame* frame, float radius = 0.0f)
    {
        Light* light = Light::Create(type);
        const LightColour c = {colour[0], colour[1], colour[2], 1.0f};
        Light::SetColor(light, &c);
        Light::SetFrame(light, frame);
        Light::SetRadius(light, radius);
        World::AddLight(mWorld, light);
        mLights.push_back(light);
        return light;
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

    World* mWorld = nullptr;
    Camera* mCamera = nullptr;
    Pipeline* mPipeline = nullptr;
    std::vector<Light*> mLights;
};

TEST_F(ShaderDrawnWorld, ALitWorldFromTheWriterGathersItsSectorLightsAndDrawsThroughItsShader)
{
    d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
    adapter.clientWidth = kSize;
    adapter.clientHeight = kSize;
    StartWorld(adapter);
    mWorld = ReadWorld(LitLeaf());
    ASSERT_NE(mWorld, nullptr);
    auto* sector = reinterpret_cast<WorldSector*>(mWorld->rootSector);

    mPipeline = Pipeline::Create();
    ASSERT_NE(mPipeline, nullptr);
    NodeDefinition* const chain[] = {WorldSectorAllInOneNode::GetDefinition(), nullptr};
    ASSERT_NE(Pipeline::Lock(mPipeline), nullptr);
    ASSERT_NE(Pipeline::AppendNodes(mPipeline, nullptr, chain), nullptr);
    ASSERT_NE(Pipeline::Unlock(mPipeline), nullptr);
    AllInOneNode::SetRenderCallback(&mPipeline->nodes[0], ShaderRender);
    sector->pipeline = mPipeline;

    // The sun turned about y so that its direction meets the leaf at cosine 0.8; the lamp in
    // front of the leaf, tied to it.
    const float ambient[3] = {kAmbient, kAmbient, kAmbient};
    AddLight(kLightAmbient, ambient, MakeFrame());
    Frame* sunFrame = MakeFrame();
    const Vector yAxis = {0, 1, 0};
    Frame::Rotate(sunFrame, &yAxis, std::asin(0.6f) * 180.0f / 3.14159265f, kCombineReplace);
    AddLight(kLightDirectional, kSunColour, sunFrame);
    Light* lamp = AddLight(kLightPoint, kLampColour, MakeFrame({kLampAt[0], kLampAt[1], kLampAt[2]}), kLampRadius);

    mCamera = Camera::Create();
    mCamera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
    mCamera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
    FrameObject::SetFrame(&mCamera->object, MakeFrame());
    const Vector2 window = {1.0f, 1.0f};
    Camera::SetViewWindow(mCamera, &window);
    Camera::SetNearClipPlane(mCamera, 0.1f);
    Camera::SetFarClipPlane(mCamera, 10.0f);
    World::AddCamera(mWorld, mCamera);
    Frame::SyncDirtyList();
    ASSERT_NE(lamp->sectorTies.next, &lamp->sectorTies) << "the lamp reaches the leaf";

    sDrawn = {};
    ASSERT_TRUE(DrawFrame());
    // One directional and one point light, from the world's format word.
    EXPECT_EQ(sDrawn.descriptor.lights, 0x11);
    EXPECT_EQ(sDrawn.registers, 1 + 2 + 1 + 2); // ambient, sun pair, point group, lamp pair
    ASSERT_TRUE(sDrawn.shaderMade);
    EXPECT_EQ(sDrawn.meshes, 1);
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    ASSERT_EQ(frame.size(), size_t(kSize) * kSize);
    EXPECT_EQ(framecheck::CheckFrame("world_lit_generated_shader", kSize, kSize, frame, Reference(frame), 3), "");
}

} // namespace
