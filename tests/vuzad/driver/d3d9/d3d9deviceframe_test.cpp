// Tests of the device's frames on the off-screen device: a whole frame of 2D and
// immediate-mode drawing read back against a CPU reference, recovery from a lost device in
// the restore order with the callback, the window-size follow-up, the vertical-blank reset,
// video-mode changes with their fallback and the clear flags.
#include "d3d9driverfixture.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "framecheck.h"
#include "im3d.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace d3d9driver
{
namespace
{

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kBackground = 0xFF204060;
constexpr uint32_t kQuadColour = 0xFFFF0000;
constexpr uint32_t kTriangleColour = 0xFF00FF00;
constexpr float kDepth = 2.0f;

// The triangle's corners in pixels; its slanted edge passes through no pixel sample.
constexpr float kTriangle[3][2] = {{400, 100}, {600, 100}, {400, 301}};

int sRestoreCalls = 0;
size_t sLogAtRestore = 0;
void CountRestore()
{
    ++sRestoreCalls;
    sLogAtRestore = d3d9test::CallLog().size();
}

size_t FirstCall(const std::string& name, const std::string& argsPrefix = "", size_t from = 0)
{
    const auto& log = d3d9test::CallLog();
    for (size_t i = from; i < log.size(); ++i)
        if (log[i].name == name && log[i].args.compare(0, argsPrefix.size(), argsPrefix) == 0)
            return i;
    return SIZE_MAX;
}

class D3D9Frames : public DriverTest
{
protected:
    void TearDown() override
    {
        if (mCamera)
        {
            DestroyCamera(mCamera);
            Frame::Destroy(mFrame);
        }
        D3D9Device::SetRestoreCallback(nullptr);
        DriverTest::TearDown();
    }

    /// A perspective camera at the origin looking down +z, 1 x 0.75 view window.
    void MakeFrameCamera()
    {
        mCamera = MakeCamera();
        mFrame = Frame::Create();
        FrameObject::SetFrame(&mCamera->object, mFrame);
        const Vector2 window = {1.0f, 0.75f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
    }

    /// A world point at kDepth that the camera shows at pixel (px, py); the engine's view
    /// is mirrored in x.
    static Im3dVertex At(float px, float py, uint32_t colour)
    {
        float ndcX = px / (kWidth / 2.0f) - 1.0f;
        float ndcY = 1.0f - py / (kHeight / 2.0f);
        return {-ndcX * kDepth * 1.0f, ndcY * kDepth * 0.75f, kDepth, 0, 0, -1, colour, 0, 0};
    }

    /// Clear (colour and depth), begin, a 2D quad and an immediate-mode triangle, end, show.
    /// Whether every step succeeded.
    bool DrawFrame()
    {
        const Rgba colour = {0x20, 0x40, 0x60, 0xFF};
        bool ok = Camera::Clear(mCamera, &colour, kCameraClearImage | kCameraClearZ) == mCamera;
        ok = Camera::BeginUpdate(mCamera) == mCamera && ok;
        if (ok)
        {
            DeviceRecord& record = Engine::Current()->device;
            record.setRenderState(20, 1); // no culling
            Im2DVertex quad[4] = {{40, 40, 0, 1, kQuadColour, 0, 0},
                                  {40, 160, 0, 1, kQuadColour, 0, 0},
                                  {200, 40, 0, 1, kQuadColour, 0, 0},
                                  {200, 160, 0, 1, kQuadColour, 0, 0}};
            ok = record.im2DPrimitive(kIm2DTriStrip, quad, 4) == 1;
            Im3dVertex triangle[3];
            for (int i = 0; i < 3; ++i)
                triangle[i] = At(kTriangle[i][0], kTriangle[i][1], kTriangleColour);
            ok = Im3d::Transform(triangle, 3, nullptr, 0) != nullptr && ok;
            ok = Im3d::RenderPrimitive(kIm3dTriList) == 1 && ok;
            ok = Im3d::End() == 1 && ok;
            ok = Camera::EndUpdate(mCamera) == mCamera && ok;
        }
        return Camera::ShowRaster(mCamera, nullptr, 0) == mCamera && ok;
    }

    std::vector<uint32_t> ReadFrame() { return ReadOpaquePixels(mCamera->frameBuffer, kWidth, kHeight); }

    /// The frame by pixel samples; pixels whose sample lies within a hundredth of a pixel of
    /// the triangle's slanted edge may go either way and are taken from the actual frame.
    static std::vector<uint32_t> Reference(const std::vector<uint32_t>& actual)
    {
        std::vector<uint32_t> frame(size_t(kWidth) * kHeight, kBackground);
        auto edge = [](int a, int b, float x, float y)
        {
            float ax = kTriangle[a][0], ay = kTriangle[a][1], bx = kTriangle[b][0], by = kTriangle[b][1];
            return ((bx - ax) * (y - ay) - (by - ay) * (x - ax)) / std::hypot(bx - ax, by - ay);
        };
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                // The device samples pixels at their integer corners, and a sample on a
                // top or left edge is inside.
                float cx = float(x), cy = float(y);
                size_t i = size_t(y) * kWidth + size_t(x);
                if (cx >= 40 && cx < 200 && cy >= 40 && cy < 160)
                    frame[i] = kQuadColour;
                float e0 = edge(0, 1, cx, cy), e1 = edge(1, 2, cx, cy), e2 = edge(2, 0, cx, cy);
                if (e0 >= 0 && e1 > 0 && e2 >= 0)
                    frame[i] = kTriangleColour;
                if (std::fabs(e1) < 0.01f && !actual.empty())
                    frame[i] = actual[i];
            }
        return frame;
    }

    Camera* mCamera = nullptr;
    Frame* mFrame = nullptr;
};

// ---- A whole frame, and the device lost and restored ---------------------------------------------------------------

TEST_F(D3D9Frames, AFrameDrawsAndAfterALostDeviceTheNextFrameIsTheSame)
{
    Start();
    MakeFrameCamera();
    // A render-target texture and a light show the raster and light steps of the restore.
    Raster* target = Raster::Create(64, 64, 0, kRasterTypeCameraTexture | kRasterFormat8888);
    ASSERT_NE(target, nullptr);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 1};
    ASSERT_EQ(D3D9Device::SetLight(0, &light), 1);
    ASSERT_EQ(D3D9Device::EnableLight(0, TRUE), 1);
    sRestoreCalls = 0;
    D3D9Device::SetRestoreCallback(CountRestore);

    ASSERT_TRUE(DrawFrame());
    std::vector<uint32_t> first = ReadFrame();
    ASSERT_EQ(first.size(), size_t(kWidth) * kHeight);
    EXPECT_EQ(framecheck::CheckFrame("d3d9frame_whole", kWidth, kHeight, first, Reference(first), 2), "");

    // While the device is lost nothing draws and show fails; nothing is restored.
    d3d9test::LoseDevice(Device());
    EXPECT_EQ(Camera::BeginUpdate(mCamera), nullptr);
    EXPECT_EQ(Camera::ShowRaster(mCamera, nullptr, 0), nullptr);
    EXPECT_EQ(sRestoreCalls, 0);

    // Names of a rotating vertex buffer and of the target texture, as the call log shows them.
    IDirect3DVertexBuffer9* rotating = nullptr;
    void* data = nullptr;
    UINT base = 0;
    ASSERT_EQ(D3D9DynamicVertexBuffer::Lock(16, 1, &rotating, &data, &base), 1);
    D3D9DynamicVertexBuffer::Unlock(rotating);
    const std::string rotatingName = d3d9test::ObjectName(rotating);
    const std::string targetName = d3d9test::ObjectName(D3D9Raster::Extension(target)->object);

    d3d9test::MakeDeviceResettable(Device());
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_TRUE(DrawFrame()) << "the frame that recovers the device draws";
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(sRestoreCalls, 1);
    std::vector<uint32_t> recovered = ReadFrame();
    EXPECT_EQ(framecheck::CheckFrame("d3d9frame_first_after_reset", kWidth, kHeight, recovered, first, 0), "");
    size_t reset = FirstCall("Reset");
    ASSERT_NE(reset, SIZE_MAX);
    // Before the Reset: stage textures unbound, then the rotating buffers released, then the rasters' objects.
    size_t released[] = {FirstCall("SetTexture", "0, null"), FirstCall("Release", rotatingName),
                         FirstCall("Release", targetName)};
    for (size_t i = 0; i < std::size(released); ++i)
    {
        SCOPED_TRACE(i);
        ASSERT_NE(released[i], SIZE_MAX);
        EXPECT_LT(released[i], reset);
        if (i > 0)
            EXPECT_LT(released[i - 1], released[i]);
    }
    // After the Reset: surfaces, rasters, vertex buffers, render states, lights, 2D, then
    // immediate mode's index buffer, then the callback.
    size_t steps[] = {FirstCall("GetRenderTarget", "", reset),
                      FirstCall("CreateTexture", "64, 64", reset),
                      FirstCall("CreateVertexBuffer", "", reset),
                      FirstCall("SetRenderState", "", reset),
                      FirstCall("LightEnable", "0, 1", reset),
                      FirstCall("CreateIndexBuffer", "20000", reset),
                      FirstCall("CreateIndexBuffer", "131070", reset)};
    for (size_t i = 0; i < std::size(steps); ++i)
    {
        SCOPED_TRACE(i);
        ASSERT_NE(steps[i], SIZE_MAX);
        if (i > 0)
            EXPECT_LT(steps[i - 1], steps[i]);
    }
    EXPECT_GT(sLogAtRestore, steps[std::size(steps) - 1]) << "the callback runs last";

    ASSERT_TRUE(DrawFrame());
    std::vector<uint32_t> again = ReadFrame();
    EXPECT_EQ(framecheck::CheckFrame("d3d9frame_after_reset", kWidth, kHeight, again, first, 0), "");
    Raster::Destroy(target);
}

TEST_F(D3D9Frames, ACameraTextureThatCannotBeATargetGetsTheWholeFrameAndRefusesReadLocks)
{
    Start();
    // The device refuses the render-target texture: the raster is drawn into through the back buffer.
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_NOTAVAILABLE);
    Raster* texture = Raster::Create(64, 64, 0, kRasterTypeCameraTexture | kRasterFormat8888);
    ASSERT_NE(texture, nullptr);
    Camera* camera = Camera::Create();
    ASSERT_NE(camera, nullptr);
    camera->frameBuffer = texture;

    ASSERT_EQ(Camera::BeginUpdate(camera), camera);
    // A clear inside the update, then a quad: both must reach the texture when the update ends.
    const Rgba green = {0x20, 0xC0, 0x40, 0xFF};
    ASSERT_EQ(Camera::Clear(camera, &green, kCameraClearImage), camera);
    Engine::Current()->device.setRenderState(20, 1); // no culling
    Im2DVertex quad[4] = {{8, 8, 0, 1, 0xFFE01010, 0, 0},
                          {8, 24, 0, 1, 0xFFE01010, 0, 0},
                          {24, 8, 0, 1, 0xFFE01010, 0, 0},
                          {24, 24, 0, 1, 0xFFE01010, 0, 0}};
    ASSERT_EQ(Engine::Current()->device.im2DPrimitive(kIm2DTriStrip, quad, 4), 1);
    ASSERT_EQ(Camera::EndUpdate(camera), camera);

    std::vector<float> rgba;
    UINT width = 0, height = 0;
    auto* object = static_cast<IDirect3DBaseTexture9*>(D3D9Raster::Extension(texture)->object);
    ASSERT_TRUE(d3d9test::ReadTexels(object, 0, 0, rgba, &width, &height));
    ASSERT_EQ(width, 64u);
    std::vector<uint32_t> actual, expected;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
        {
            const float* p = &rgba[(size_t(y) * width + x) * 4];
            actual.push_back(0xFF000000u | uint32_t(p[0] * 255.0f + 0.5f) << 16 | uint32_t(p[1] * 255.0f + 0.5f) << 8 |
                             uint32_t(p[2] * 255.0f + 0.5f));
            expected.push_back(x >= 8 && x < 24 && y >= 8 && y < 24 ? 0xFFE01010u : 0xFF20C040u);
        }
    EXPECT_EQ(framecheck::CheckFrame("camera_texture_copy_back", 64, 64, actual, expected, 1), "");

    // Its pixels cannot be read back from a surface that is no target: the read lock fails.
    EXPECT_EQ(Raster::Lock(texture, 0, kRasterLockRead), nullptr);
    camera->frameBuffer = nullptr;
    Camera::Destroy(camera);
    Raster::Destroy(texture);
}

TEST_F(D3D9Frames, ARestoreStopsAtTheFirstFailingStepAndStillCallsTheCallback)
{
    Start();
    sRestoreCalls = 0;
    D3D9Device::SetRestoreCallback(CountRestore);
    D3DPRESENT_PARAMETERS parameters = *D3D9Device::GetPresentParameters();
    D3D9Device::ReleaseVideoMemory();
    ASSERT_EQ(Device()->Reset(&parameters), D3D_OK);
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    EXPECT_EQ(D3D9Device::RestoreVideoMemory(), 0);
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(sRestoreCalls, 1);
    EXPECT_EQ(d3d9test::CountCalls("SetRenderState"), 0u) << "render states come after the vertex buffers";
    EXPECT_EQ(d3d9test::CountCalls("CreateIndexBuffer"), 0u);

    D3D9Device::ReleaseVideoMemory();
    ASSERT_EQ(Device()->Reset(&parameters), D3D_OK);
    EXPECT_EQ(D3D9Device::RestoreVideoMemory(), 1);
    EXPECT_EQ(sRestoreCalls, 2);
}

// ---- Windows, the vertical blank and video modes ----------------------------------------------------------------

void SizeClient(HWND window, int width, int height)
{
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, DWORD(GetWindowLongA(window, GWL_STYLE)), FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
}

TEST_F(D3D9Frames, AResizedWindowResetsTheDeviceAndAFailedResetResizesTheWindowBack)
{
    Start();
    MakeFrameCamera();
    SizeClient(mWindow, 320, 240);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CallArgs("Reset"), (std::vector<std::string>{"320, 240, 21, 1"}));
    EXPECT_EQ(D3D9Device::GetDisplay()->width, 320);
    EXPECT_EQ(D3D9Device::GetDisplay()->height, 240);
    Camera::EndUpdate(mCamera);
    Camera::ShowRaster(mCamera, nullptr, 0);

    // The device cannot take the new size: it goes back to the old one, and so does the window.
    SizeClient(mWindow, 400, 300);
    d3d9test::FailNext(d3d9test::Fault::Reset, D3DERR_INVALIDCALL);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    EXPECT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CallArgs("Reset"), (std::vector<std::string>{"400, 300, 21, 1", "320, 240, 21, 1"}));
    RECT client{};
    GetClientRect(mWindow, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_EQ(D3D9Device::GetDisplay()->width, 320);
    Camera::EndUpdate(mCamera);
    Camera::ShowRaster(mCamera, nullptr, 0);
}

TEST_F(D3D9Frames, AnIconicWindowMakesBeginAndClearFailWithoutADeviceCall)
{
    Start();
    MakeFrameCamera();
    ShowWindow(mWindow, SW_MINIMIZE);
    const Rgba colour = {1, 2, 3, 4};
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    EXPECT_EQ(Camera::Clear(mCamera, &colour, kCameraClearImage | kCameraClearZ), nullptr);
    EXPECT_EQ(Camera::BeginUpdate(mCamera), nullptr);
    // The failed begin leaves the device no current camera: 2D drawing has no target, and fog reads nothing.
    Im2DVertex line[2] = {{10, 10, 0, 1, 0xFFFFFFFF, 0, 0}, {100, 10, 0, 1, 0xFFFFFFFF, 0, 0}};
    EXPECT_EQ(Engine::Current()->device.im2DLine(line, 2, 0, 1), 0);
    d3d9test::EnableCallLog(false);
    EXPECT_TRUE(d3d9test::CallLog().empty()) << d3d9test::CallLog().front().Text();
    Camera::EndUpdate(mCamera);
}

TEST_F(D3D9Frames, AVerticalBlankChangeResetsOnce)
{
    Start();
    MakeFrameCamera();
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    for (uint32_t flags : {1u, 1u, 1u})
        ASSERT_EQ(Camera::ShowRaster(mCamera, nullptr, flags), mCamera);
    EXPECT_EQ(d3d9test::CountCalls("Reset"), 1u);
    EXPECT_EQ(D3D9Device::GetPresentParameters()->PresentationInterval, UINT(D3DPRESENT_INTERVAL_ONE));
    ASSERT_EQ(Camera::ShowRaster(mCamera, nullptr, 0), mCamera);
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("Reset"), 2u);
    EXPECT_EQ(D3D9Device::GetPresentParameters()->PresentationInterval, UINT(D3DPRESENT_INTERVAL_IMMEDIATE));
}

TEST_F(D3D9Frames, VideoModeChangesWhileRunning)
{
    Start();
    EXPECT_EQ(D3D9Device::ChangeVideoMode(-1), 0);
    EXPECT_EQ(D3D9Device::ChangeVideoMode(99), 0) << "an index past the table is refused";
    EXPECT_EQ(D3D9Device::ChangeVideoMode(0), 1) << "the current mode";

    // A mode the device cannot reset to: the old parameters come back.
    D3DPRESENT_PARAMETERS before = *D3D9Device::GetPresentParameters();
    d3d9test::FailNext(d3d9test::Fault::Reset, D3DERR_INVALIDCALL);
    EXPECT_EQ(D3D9Device::ChangeVideoMode(2), 1);
    const D3DPRESENT_PARAMETERS* p = D3D9Device::GetPresentParameters();
    EXPECT_TRUE(p->Windowed);
    EXPECT_EQ(p->BackBufferWidth, before.BackBufferWidth);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 0);

    // Full screen 800 x 600, then back to the desktop in a window.
    ASSERT_EQ(D3D9Device::ChangeVideoMode(2), 1);
    EXPECT_FALSE(p->Windowed);
    EXPECT_EQ(p->BackBufferWidth, 800u);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 2);
    EXPECT_EQ(D3D9Device::GetDisplay()->width, 800);
    ASSERT_EQ(D3D9Device::ChangeVideoMode(0), 1);
    EXPECT_TRUE(p->Windowed);
    EXPECT_EQ(DWORD(GetWindowLongA(mWindow, GWL_STYLE)), WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    RECT client{};
    GetClientRect(mWindow, &client);
    EXPECT_EQ(D3D9Device::GetDisplay()->width, client.right);
    EXPECT_EQ(UINT(client.right), p->BackBufferWidth);
}

// ---- Clearing and copying back ---------------------------------------------------------------------------------------

TEST_F(D3D9Frames, ClearFlagsFollowTheDepthFormat)
{
    struct Case
    {
        D3DFORMAT depth;
        uint32_t mode;
        const char* flags; // "" for no Clear call
    } cases[] = {
        {D3DFMT_D24S8, kCameraClearZ, "0x6"},
        {D3DFMT_D24S8, kCameraClearImage | kCameraClearZ, "0x7"},
        {D3DFMT_D24S8, kCameraClearStencil, "0x4"},
        {D3DFMT_D24S8, kCameraClearImage | kCameraClearStencil, "0x5"},
        {D3DFMT_D24X8, kCameraClearZ, "0x2"},
        {D3DFMT_D24X8, kCameraClearStencil, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.depth) + " mode " + std::to_string(c.mode));
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.depthStencilFormats = {c.depth};
        Start({adapter});
        Camera* camera = MakeCamera();
        const Rgba colour = {0, 0, 0, 0};
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        ASSERT_EQ(Camera::Clear(camera, &colour, c.mode), camera);
        d3d9test::EnableCallLog(false);
        std::vector<std::string> clears = d3d9test::CallArgs("Clear");
        // Clear(count, rectangles, flags, ...)
        std::string flags;
        if (!clears.empty())
        {
            flags = clears[0].substr(clears[0].find(", null, ") + 8);
            flags = flags.substr(0, flags.find(','));
        }
        EXPECT_EQ(flags, c.flags) << (clears.empty() ? "" : clears[0]);
        DestroyCamera(camera);
        ShutDown();
    }
}

} // namespace
} // namespace d3d9driver
