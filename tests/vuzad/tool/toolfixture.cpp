// The 2D toolkit tests' fixtures: the recording immediate-mode layer, the engine's PNG format and the
// toolkit on the Direct3D 9 driver.
#include "toolfixture.h"

#include "d3d9device.h"
#include "engine.h"
#include "image.h"
#include "pipeline.h"

#include "pngimage.h"

#include <cstring>
#include <filesystem>

namespace tooltest
{
namespace
{

const Im3dBatch* sBatch = nullptr;

int32_t InstanceBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    sBatch = static_cast<const Im3dBatch*>(parameters->data);
    return 1;
}

int32_t RenderBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    const auto* request = static_cast<const Im3dRenderRequest*>(parameters->data);
    Draw draw;
    draw.vertices.assign(sBatch->vertices, sBatch->vertices + sBatch->numVertices);
    draw.flags = sBatch->flags;
    draw.matrix = sBatch->matrix ? *sBatch->matrix : Matrix{};
    draw.primitive = request->primitiveType;
    if (request->indices)
        draw.indices.assign(request->indices, request->indices + request->numIndices);
    Recorded().draws.push_back(std::move(draw));
    Recorded().log.push_back("draw");
    return 1;
}

NodeDefinition BodyOnly(const char* name, NodeBody body)
{
    NodeDefinition definition = {};
    definition.name = name;
    definition.body = body;
    return definition;
}

NodeDefinition sInstance = BodyOnly("Im3DInstance.node", InstanceBody);
NodeDefinition sRender = BodyOnly("Recording.node", RenderBody);

NodeDefinition* Instance()
{
    return &sInstance;
}
NodeDefinition* Render()
{
    return &sRender;
}
int32_t Create()
{
    return 1;
}
int32_t Release()
{
    return 0;
}
const Im3dDeviceNodes kNodes = {Instance, Render, Create, Release};

int32_t RecordState(int32_t state, intptr_t value)
{
    Recorded().states.emplace_back(state, value);
    Recorded().log.push_back("state " + std::to_string(state) + " " + std::to_string(value));
    return 1;
}

} // namespace

void Recording::Clear()
{
    draws.clear();
    states.clear();
    log.clear();
}

Recording& Recorded()
{
    static Recording recording;
    return recording;
}

void RegisterTestPng()
{
    Image::RegisterFileFormat("png", Png::ReadImage, Png::WriteImage);
}

std::string ScratchFolder(const std::string& name)
{
    std::filesystem::path folder = std::filesystem::path(HB_TOOL_TEST_SCRATCH) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string() + "/";
}

// ---- Recording layer ------------------------------------------------------------------------------

void RecordingTest::SetUp()
{
    EngineFixture::SetUp();
    Im3d::SetDeviceNodes(&kNodes);
    Recorded().Clear();
    StartEngine();
    Engine::Current()->device.setRenderState = RecordState;
    mCamera = Camera::Create();
    ASSERT_NE(mCamera, nullptr);
    mCamera->frameBuffer = Raster::Create(640, 480, 0, kRasterTypeCamera);
    ASSERT_NE(mCamera->frameBuffer, nullptr);
    mFrame = Frame::Create();
    FrameObject::SetFrame(&mCamera->object, mFrame);
    const Vector2 window = {2.0f / 3.0f, 0.5f};
    Camera::SetViewWindow(mCamera, &window);
    ASSERT_EQ(Toolkit2d::Open(mCamera), 1);
}

void RecordingTest::TearDown()
{
    Toolkit2d::Close();
    if (mCamera)
    {
        Raster::Destroy(mCamera->frameBuffer);
        Camera::Destroy(mCamera);
    }
    if (mFrame)
        Frame::Destroy(mFrame);
    EngineFixture::TearDown();
    Im3d::SetDeviceNodes(nullptr);
}

// ---- Driver ---------------------------------------------------------------------------------------------

void DriverToolTest::SetUp()
{
    DriverTest::SetUp();
    Start();
    RegisterTestPng();
    mCamera = MakeCamera();
    mFrame = Frame::Create();
    FrameObject::SetFrame(&mCamera->object, mFrame);
    const Vector2 window = {2.0f / 3.0f, 0.5f};
    Camera::SetViewWindow(mCamera, &window);
    ASSERT_EQ(Toolkit2d::Open(mCamera), 1);
}

void DriverToolTest::TearDown()
{
    Toolkit2d::Close();
    if (mCamera)
    {
        if (Engine::Current() && Engine::Current()->currentCamera)
            Camera::EndUpdate(mCamera);
        DestroyCamera(mCamera);
        Frame::Destroy(mFrame);
    }
    DriverTest::TearDown();
}

void DriverToolTest::BeginFrame(uint32_t clearColour)
{
    const Rgba colour = {uint8_t(clearColour >> 16), uint8_t(clearColour >> 8), uint8_t(clearColour), 0xFF};
    ASSERT_EQ(Camera::Clear(mCamera, &colour, kCameraClearImage | kCameraClearZ), mCamera);
    ASSERT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    D3D9Device::SetEngineRenderState(kRenderStateCullMode, 1);
    D3D9Device::SetEngineRenderState(kRenderStateZTest, 0);
    D3D9Device::SetEngineRenderState(kRenderStateZWrite, 0);
}

std::vector<uint32_t> DriverToolTest::EndFrame()
{
    EXPECT_EQ(Camera::EndUpdate(mCamera), mCamera);
    return ReadOpaquePixels(mCamera->frameBuffer, 640, 480);
}

} // namespace tooltest
