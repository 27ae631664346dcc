// Shared fixture of the Direct3D 9 driver tests: a 640 x 480 window of the scripted window
// system, configured adapters of our d3d9 layer, and the engine brought up and down on
// the driver. Every test ends with the engine terminated and no OpenGL error raised.
#pragma once

#include "camera.h"
#include "d3d9device.h"
#include "d3d9raster.h"
#include "d3d9testhooks.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "im3d.h"
#include "win32.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace d3d9driver
{

inline LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

/// An adapter with a 32-bit desktop, the d3d9 layer's formats, and a client area that
/// matches the fixture's window (the size a device takes for a window it cannot draw into).
inline d3d9test::AdapterConfig Adapter()
{
    d3d9test::AdapterConfig adapter = d3d9test::DefaultAdapter();
    adapter.description = "driver test adapter";
    adapter.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    adapter.modes = {{640, 480, 60, D3DFMT_X8R8G8B8}, {800, 600, 60, D3DFMT_X8R8G8B8}};
    adapter.clientWidth = 640;
    adapter.clientHeight = 480;
    return adapter;
}

inline int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

class DriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9test::ResetAll();
        mGlErrors = d3d9test::GlErrors();
        Win32TestUseScript();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.lpszClassName = "DriverTest";
        RegisterClassA(&windowClass);
        mWindow = MakeWindow();
        ASSERT_NE(mWindow, nullptr);
        Engine::SetDriver(D3D9Device::Driver());
    }

    void TearDown() override
    {
        ShutDown();
        D3D9Device::SetMultithreaded(0);
        D3D9Device::SetRefreshRate(0xFFFFFFFF); // the limit no rate reaches, as after loading
        if (mWindow)
            DestroyWindow(mWindow);
        EXPECT_EQ(d3d9test::GlErrors(), mGlErrors) << "OpenGL errors inside the d3d9 layer";
        d3d9test::ResetAll();
        Win32TestUseScript();
        // The driver's attach installs its immediate-mode nodes for good; tests of the
        // recording device that follow in the same program expect none.
        Im3d::SetDeviceNodes(nullptr);
    }

    static HWND MakeWindow(int width = 640, int height = 480)
    {
        RECT rect = {0, 0, width, height};
        AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
        return CreateWindowExA(0, "DriverTest", "driver test", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                               rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    }

    /// Init and Open on the adapters given.
    void Open(std::vector<d3d9test::AdapterConfig> adapters = {Adapter()})
    {
        d3d9test::SetAdapters(std::move(adapters));
        ASSERT_NE(Engine::Init(nullptr, 0, 0), 0);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
    }

    void Start(std::vector<d3d9test::AdapterConfig> adapters = {Adapter()})
    {
        Open(std::move(adapters));
        ASSERT_EQ(Engine::Start(), 1);
        mDriverResources = d3d9test::DefaultPoolResources(Device());
    }

    /// Default-pool resources beyond those the started driver holds itself (its 2D index
    /// buffer and rotating vertex buffers).
    UINT ExtraResources() const { return d3d9test::DefaultPoolResources(Device()) - mDriverResources; }

    static void ShutDown()
    {
        Engine* engine = Engine::Current();
        if (!engine)
            return;
        if (engine->state == kEngineStarted)
        {
            EXPECT_EQ(Engine::Stop(), 1);
        }
        if (Engine::Current()->state == kEngineOpened)
        {
            EXPECT_EQ(Engine::Close(), 1);
        }
        Engine::Term();
        TakeError();
    }

    static IDirect3DDevice9* Device() { return D3D9Device::GetDevice(); }

    /// A started camera on a frame with a 640 x 480 frame buffer and z-buffer.
    Camera* MakeCamera()
    {
        Camera* camera = Camera::Create();
        EXPECT_NE(camera, nullptr);
        camera->frameBuffer = Raster::Create(640, 480, 0, kRasterTypeCamera);
        camera->zBuffer = Raster::Create(640, 480, 0, kRasterTypeZBuffer);
        EXPECT_NE(camera->frameBuffer, nullptr);
        EXPECT_NE(camera->zBuffer, nullptr);
        return camera;
    }

    static void DestroyCamera(Camera* camera)
    {
        if (camera->frameBuffer)
            Raster::Destroy(camera->frameBuffer);
        if (camera->zBuffer)
            Raster::Destroy(camera->zBuffer);
        Camera::Destroy(camera);
    }

    /// The 32-bit pixel at (x, y) of a raster locked for reading.
    static uint32_t Pixel32(const Raster* raster, int32_t x, int32_t y)
    {
        return reinterpret_cast<const uint32_t*>(raster->pixels + size_t(y) * size_t(raster->stride))[x];
    }

    /// The top-left width x height pixels of a 32-bit raster, row by row, alpha forced
    /// opaque (frames are compared by colour); empty when the raster cannot be locked.
    static std::vector<uint32_t> ReadOpaquePixels(Raster* raster, int32_t width, int32_t height)
    {
        std::vector<uint32_t> pixels;
        if (!Raster::Lock(raster, 0, kRasterLockRead))
            return pixels;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                pixels.push_back(Pixel32(raster, x, y) | 0xFF000000u);
        Raster::Unlock(raster);
        return pixels;
    }

    HWND mWindow = nullptr;
    UINT mGlErrors = 0;
    UINT mDriverResources = 0;
};

} // namespace d3d9driver
