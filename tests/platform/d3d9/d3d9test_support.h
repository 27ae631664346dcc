// Shared fixture of the Direct3D 9 layer tests: a fixed adapter and a windowed device on the offscreen OpenGL
// context, with read-back helpers. Every test ends with no OpenGL error raised inside the layer.
#pragma once

#include "d3d9testhooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace d3d9support
{

inline const HWND kWindow = reinterpret_cast<HWND>(0x1000);
inline const HWND kOtherWindow = reinterpret_cast<HWND>(0x2000);

/// A deterministic adapter: 1024 x 768 X8R8G8B8 desktop, a 64 x 48 client area and a small mode list.
inline d3d9test::AdapterConfig TestAdapter()
{
    d3d9test::AdapterConfig adapter = d3d9test::DefaultAdapter();
    adapter.description = "test adapter";
    adapter.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    adapter.modes = {{640, 480, 60, D3DFMT_X8R8G8B8},
                     {640, 480, 75, D3DFMT_X8R8G8B8},
                     {800, 600, 60, D3DFMT_X8R8G8B8},
                     {640, 480, 60, D3DFMT_R5G6B5}};
    adapter.clientWidth = 64;
    adapter.clientHeight = 48;
    return adapter;
}

inline D3DPRESENT_PARAMETERS Windowed(D3DFORMAT depth = D3DFMT_D24S8)
{
    D3DPRESENT_PARAMETERS parameters{};
    parameters.Windowed = TRUE;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = kWindow;
    parameters.BackBufferFormat = D3DFMT_UNKNOWN;
    parameters.EnableAutoDepthStencil = depth != D3DFMT_UNKNOWN;
    parameters.AutoDepthStencilFormat = depth;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return parameters;
}

class D3D9Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Headless unless the caller chose a video driver.
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9test::ResetAll();
        mGlErrors = d3d9test::GlErrors();
    }

    void TearDown() override
    {
        if (mDevice)
        {
            EXPECT_EQ(mDevice->Release(), 0u) << "something still holds the device";
        }
        if (mD3d)
        {
            EXPECT_EQ(mD3d->Release(), 0u);
        }
        EXPECT_EQ(d3d9test::GlErrors(), mGlErrors) << "OpenGL errors inside the layer (HB_D3D9_DEBUG=1 shows them)";
        d3d9test::ResetAll();
    }

    /// Creates the Direct3D object from the adapters given (TestAdapter() by default).
    void Open(std::vector<d3d9test::AdapterConfig> adapters = {TestAdapter()})
    {
        d3d9test::SetAdapters(std::move(adapters));
        mD3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(mD3d, nullptr);
    }

    void OpenDevice(D3DPRESENT_PARAMETERS parameters = Windowed(),
                    std::vector<d3d9test::AdapterConfig> adapters = {TestAdapter()})
    {
        Open(std::move(adapters));
        mParameters = parameters;
        ASSERT_EQ(
            mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &mParameters, &mDevice),
            D3D_OK);
    }

    IDirect3DSurface9* BackBuffer()
    {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(mDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
        surface->Release(); // the device keeps it alive
        return surface;
    }

    /// The 32-bit pixels of a render target, read through GetRenderTargetData.
    std::vector<DWORD> ReadBack32(IDirect3DSurface9* target) { return ReadBack<DWORD>(target); }

    template <class Pixel> std::vector<Pixel> ReadBack(IDirect3DSurface9* target)
    {
        D3DSURFACE_DESC desc;
        EXPECT_EQ(target->GetDesc(&desc), D3D_OK);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(mDevice->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                       nullptr),
                  D3D_OK);
        std::vector<Pixel> pixels;
        if (!copy)
            return pixels;
        EXPECT_EQ(mDevice->GetRenderTargetData(target, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        pixels.resize(size_t(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&pixels[size_t(y) * desc.Width], static_cast<BYTE*>(locked.pBits) + size_t(y) * locked.Pitch,
                        desc.Width * sizeof(Pixel));
        copy->UnlockRect();
        copy->Release();
        return pixels;
    }

    IDirect3D9* mD3d = nullptr;
    IDirect3DDevice9* mDevice = nullptr;
    D3DPRESENT_PARAMETERS mParameters{};
    UINT mGlErrors = 0;
};

} // namespace d3d9support
