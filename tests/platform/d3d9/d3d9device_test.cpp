// Tests of the device: clears and read-back, StretchRect, UpdateSurface, ColorFill, Reset with the pools, the
// device-loss cycle, swap chains, reference counts held for the caller, texture memory and the call log.
#include "d3d9test_support.h"

#include <gtest/gtest.h>

namespace
{

using namespace d3d9support;

class DeviceTest : public D3D9Test
{
protected:
    IDirect3DTexture9* RenderTargetTexture(UINT width, UINT height, D3DFORMAT format = D3DFMT_X8R8G8B8)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(
            mDevice->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &texture, nullptr),
            D3D_OK);
        return texture;
    }

    /// Left half one colour, right half another, on the current target.
    void ClearHalves(UINT width, UINT height, D3DCOLOR left, D3DCOLOR right)
    {
        D3DRECT halves[2] = {{0, 0, LONG(width / 2), LONG(height)}, {LONG(width / 2), 0, LONG(width), LONG(height)}};
        ASSERT_EQ(mDevice->Clear(1, &halves[0], D3DCLEAR_TARGET, left, 1.0f, 0), D3D_OK);
        ASSERT_EQ(mDevice->Clear(1, &halves[1], D3DCLEAR_TARGET, right, 1.0f, 0), D3D_OK);
    }
};

// ---- Clear and read-back ------------------------------------------------------------------------------------------

TEST_F(DeviceTest, ClearedBackBufferReadsBackThroughGetRenderTargetData)
{
    OpenDevice();
    EXPECT_EQ(mParameters.BackBufferWidth, 64u) << "a zero size takes the window's client area";
    EXPECT_EQ(mParameters.BackBufferHeight, 48u);
    EXPECT_EQ(mParameters.BackBufferFormat, D3DFMT_X8R8G8B8) << "UNKNOWN takes the desktop format";
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x00336699, 1.0f, 0),
              D3D_OK);
    std::vector<DWORD> pixels = ReadBack32(BackBuffer());
    ASSERT_EQ(pixels.size(), 64u * 48u);
    for (DWORD pixel : pixels)
        ASSERT_EQ(pixel, 0xFF336699u) << "X8R8G8B8 reads its unused byte as ones";
    EXPECT_EQ(mDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, ClearKeepsInsideTheViewportAndItsRectangles)
{
    OpenDevice();
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    D3DVIEWPORT9 viewport{8, 4, 16, 8, 0.0f, 1.0f};
    ASSERT_EQ(mDevice->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    D3DRECT rect{20, 0, 40, 40}; // crosses the viewport's right edge (x 24)
    ASSERT_EQ(mDevice->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);

    std::vector<DWORD> pixels = ReadBack32(BackBuffer());
    auto at = [&](int x, int y) { return pixels[size_t(y) * 64 + x]; };
    EXPECT_EQ(at(8, 4), 0xFFFF0000u);
    EXPECT_EQ(at(19, 11), 0xFFFF0000u);
    EXPECT_EQ(at(20, 4), 0xFF00FF00u);
    EXPECT_EQ(at(23, 11), 0xFF00FF00u);
    EXPECT_EQ(at(24, 4), 0xFF000000u) << "outside the viewport";
    EXPECT_EQ(at(7, 4), 0xFF000000u);
    EXPECT_EQ(at(8, 12), 0xFF000000u);
}

TEST_F(DeviceTest, ClearRefusesWhatTheTargetsCannotTake)
{
    OpenDevice(Windowed(D3DFMT_D24X8));
    EXPECT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL) << "no stencil bits";
    EXPECT_EQ(mDevice->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(mDevice->SetDepthStencilSurface(nullptr), D3D_OK);
    EXPECT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

struct TargetFormatCase
{
    D3DFORMAT format;
    DWORD expected; ///< 0x80336699 cleared into the format
    int bytes;
};

class RenderTargetFormats : public DeviceTest, public ::testing::WithParamInterface<TargetFormatCase>
{
};

TEST_P(RenderTargetFormats, ClearOfATextureReadsBackInItsFormat)
{
    const TargetFormatCase& param = GetParam();
    OpenDevice();
    IDirect3DTexture9* texture = RenderTargetTexture(8, 8, param.format);
    ASSERT_NE(texture, nullptr);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(mDevice->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80336699, 1.0f, 0), D3D_OK);
    if (param.bytes == 4)
        EXPECT_EQ(ReadBack32(level)[63], param.expected);
    else
        EXPECT_EQ(ReadBack<WORD>(level)[63], WORD(param.expected));
    ASSERT_EQ(mDevice->SetRenderTarget(0, BackBuffer()), D3D_OK);
    level->Release();
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(Formats, RenderTargetFormats,
                         ::testing::Values(TargetFormatCase{D3DFMT_A8R8G8B8, 0x80336699, 4},
                                           TargetFormatCase{D3DFMT_X8R8G8B8, 0xFF336699, 4},
                                           TargetFormatCase{D3DFMT_A8B8G8R8, 0x80996633, 4},
                                           TargetFormatCase{D3DFMT_A2R10G10B10,
                                                            (2u << 30) | (205u << 20) | (409u << 10) | 614u, 4},
                                           TargetFormatCase{D3DFMT_R5G6B5, (6u << 11) | (25u << 5) | 19u, 2},
                                           TargetFormatCase{D3DFMT_A1R5G5B5, 0x8000 | (6u << 10) | (12u << 5) | 19u, 2},
                                           TargetFormatCase{D3DFMT_X1R5G5B5, 0x8000 | (6u << 10) | (12u << 5) | 19u, 2},
                                           TargetFormatCase{D3DFMT_A4R4G4B4, 0x8369, 2}));

// ---- Surface transfers --------------------------------------------------------------------------------------------

TEST_F(DeviceTest, StretchRectCopiesTheBackBufferIntoARenderTargetTexture)
{
    OpenDevice();
    ClearHalves(64, 48, 0xFFFF0000, 0xFF0000FF);
    IDirect3DTexture9* same = RenderTargetTexture(64, 48);
    IDirect3DTexture9* half = RenderTargetTexture(32, 24);
    IDirect3DSurface9 *sameLevel = nullptr, *halfLevel = nullptr;
    same->GetSurfaceLevel(0, &sameLevel);
    half->GetSurfaceLevel(0, &halfLevel);

    ASSERT_EQ(mDevice->StretchRect(BackBuffer(), nullptr, sameLevel, nullptr, D3DTEXF_NONE), D3D_OK);
    EXPECT_EQ(ReadBack32(sameLevel), ReadBack32(BackBuffer()));

    ASSERT_EQ(mDevice->StretchRect(BackBuffer(), nullptr, halfLevel, nullptr, D3DTEXF_POINT), D3D_OK);
    std::vector<DWORD> scaled = ReadBack32(halfLevel);
    EXPECT_EQ(scaled[15], 0xFFFF0000u);
    EXPECT_EQ(scaled[16], 0xFF0000FFu);

    RECT right{32, 0, 64, 48};
    RECT into{0, 0, 8, 24};
    ASSERT_EQ(mDevice->StretchRect(BackBuffer(), &right, halfLevel, &into, D3DTEXF_LINEAR), D3D_OK);
    scaled = ReadBack32(halfLevel);
    EXPECT_EQ(scaled[0], 0xFF0000FFu) << "the right half squeezed into the first quarter";
    EXPECT_EQ(scaled[8], 0xFFFF0000u) << "the rest untouched";

    sameLevel->Release();
    halfLevel->Release();
    same->Release();
    half->Release();
}

TEST_F(DeviceTest, StretchRectIntoATextureThatIsNoRenderTargetReachesItsTexels)
{
    OpenDevice();
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(64, 48, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    IDirect3DSurface9* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    ASSERT_EQ(mDevice->StretchRect(BackBuffer(), nullptr, level, nullptr, D3DTEXF_NONE), D3D_OK);
    std::vector<float> texels;
    UINT width = 0, height = 0;
    ASSERT_TRUE(d3d9test::ReadTexels(texture, 0, 0, texels, &width, &height));
    EXPECT_FLOAT_EQ(texels[1], 1.0f);
    EXPECT_FLOAT_EQ(texels[0], 0.0f);
    level->Release();
    texture->Release();
}

TEST_F(DeviceTest, StretchRectRefusesSurfacesOutsideVideoMemoryAndBadRectangles)
{
    OpenDevice();
    IDirect3DSurface9* system = nullptr;
    ASSERT_EQ(mDevice->CreateOffscreenPlainSurface(64, 48, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr),
              D3D_OK);
    IDirect3DTexture9* target = RenderTargetTexture(16, 16);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    RECT outside{0, 0, 17, 16};
    EXPECT_EQ(mDevice->StretchRect(system, nullptr, level, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->StretchRect(level, nullptr, level, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->StretchRect(BackBuffer(), nullptr, level, &outside, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->StretchRect(BackBuffer(), nullptr, level, nullptr, D3DTEXF_ANISOTROPIC), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->GetRenderTargetData(BackBuffer(), level), D3DERR_INVALIDCALL) << "destination not SYSTEMMEM";
    level->Release();
    target->Release();
    system->Release();
}

TEST_F(DeviceTest, UpdateSurfacePushesASystemMemoryCopyOntoTheBackBuffer)
{
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.pitchPadding = 12;
    OpenDevice(Windowed(), {adapter});
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    IDirect3DSurface9* system = nullptr;
    ASSERT_EQ(mDevice->CreateOffscreenPlainSurface(4, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(system->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 4 * 4 + 12);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] =
                0xFF000000u | (y << 8) | x;
    ASSERT_EQ(system->UnlockRect(), D3D_OK);

    RECT source{1, 0, 4, 2};
    POINT at{10, 20};
    ASSERT_EQ(mDevice->UpdateSurface(system, &source, BackBuffer(), &at), D3D_OK);
    std::vector<DWORD> pixels = ReadBack32(BackBuffer());
    EXPECT_EQ(pixels[20 * 64 + 10], 0xFF000001u);
    EXPECT_EQ(pixels[21 * 64 + 12], 0xFF000103u);
    EXPECT_EQ(pixels[20 * 64 + 9], 0xFF000000u);
    EXPECT_EQ(pixels[20 * 64 + 13], 0xFF000000u);

    POINT edge{62, 0};
    EXPECT_EQ(mDevice->UpdateSurface(system, &source, BackBuffer(), &edge), D3DERR_INVALIDCALL);
    system->Release();
}

TEST_F(DeviceTest, ColorFillFillsARectangleOfADefaultPoolSurface)
{
    OpenDevice();
    IDirect3DTexture9* texture = RenderTargetTexture(8, 8);
    IDirect3DSurface9* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    ASSERT_EQ(mDevice->ColorFill(level, nullptr, 0xFF101010), D3D_OK);
    RECT rect{2, 2, 4, 3};
    ASSERT_EQ(mDevice->ColorFill(level, &rect, 0xFFABCDEF), D3D_OK);
    std::vector<DWORD> pixels = ReadBack32(level);
    EXPECT_EQ(pixels[2 * 8 + 2], 0xFFABCDEFu);
    EXPECT_EQ(pixels[2 * 8 + 3], 0xFFABCDEFu);
    EXPECT_EQ(pixels[2 * 8 + 4], 0xFF101010u);
    EXPECT_EQ(pixels[3 * 8 + 2], 0xFF101010u);

    IDirect3DSurface9* system = nullptr;
    mDevice->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr);
    EXPECT_EQ(mDevice->ColorFill(system, nullptr, 0), D3DERR_INVALIDCALL);
    system->Release();
    level->Release();
    texture->Release();
}

// ---- Reset, pools and device loss ---------------------------------------------------------------------------------

TEST_F(DeviceTest, DefaultPoolTextureBlocksResetUntilReleased)
{
    OpenDevice();
    IDirect3DTexture9* target = RenderTargetTexture(16, 16);
    EXPECT_EQ(d3d9test::DefaultPoolResources(mDevice), 1u);
    D3DPRESENT_PARAMETERS parameters = Windowed();
    EXPECT_EQ(mDevice->Reset(&parameters), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << "a failed Reset waits for another";

    // A binding keeps it alive, so it still blocks.
    ASSERT_EQ(mDevice->SetTexture(0, target), D3D_OK);
    target->Release();
    EXPECT_EQ(mDevice->Reset(&parameters), D3DERR_INVALIDCALL);
    ASSERT_EQ(mDevice->SetTexture(0, nullptr), D3D_OK);

    EXPECT_EQ(d3d9test::DefaultPoolResources(mDevice), 0u);
    EXPECT_EQ(mDevice->Reset(&parameters), D3D_OK);
    EXPECT_EQ(mDevice->TestCooperativeLevel(), D3D_OK);
}

TEST_F(DeviceTest, ManagedAndSystemMemoryContentsSurviveReset)
{
    OpenDevice();
    IDirect3DTexture9* managed = nullptr;
    IDirect3DSurface9* system = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
    static_cast<DWORD*>(locked.pBits)[0] = 0x80FF0000;
    managed->UnlockRect(0);
    ASSERT_EQ(system->LockRect(&locked, nullptr, 0), D3D_OK);
    static_cast<DWORD*>(locked.pBits)[1] = 0x12345678;
    system->UnlockRect();

    D3DPRESENT_PARAMETERS parameters = Windowed();
    parameters.BackBufferWidth = 32;
    parameters.BackBufferHeight = 16;
    ASSERT_EQ(mDevice->Reset(&parameters), D3D_OK);

    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<DWORD*>(locked.pBits)[0], 0x80FF0000u);
    managed->UnlockRect(0);
    std::vector<float> texels;
    UINT width, height;
    ASSERT_TRUE(d3d9test::ReadTexels(managed, 0, 0, texels, &width, &height));
    EXPECT_FLOAT_EQ(texels[0], 1.0f);
    EXPECT_NEAR(texels[3], 128 / 255.0f, 1e-6);
    ASSERT_EQ(system->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<DWORD*>(locked.pBits)[1], 0x12345678u);
    system->UnlockRect();

    D3DSURFACE_DESC desc;
    BackBuffer()->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 32u) << "the back buffer follows the new present parameters";
    D3DVIEWPORT9 viewport;
    mDevice->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 32u);
    managed->Release();
    system->Release();
}

TEST_F(DeviceTest, ResetReturnsStatesToTheirDefaultsAndDropsBindings)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->SetTexture(3, texture), D3D_OK);
    ASSERT_EQ(mDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_POINT;
    ASSERT_EQ(mDevice->SetLight(0, &light), D3D_OK);
    D3DPRESENT_PARAMETERS parameters = Windowed();
    ASSERT_EQ(mDevice->Reset(&parameters), D3D_OK);

    DWORD cull = 0;
    mDevice->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, DWORD(D3DCULL_CCW));
    EXPECT_EQ(mDevice->GetLight(0, &light), D3DERR_INVALIDCALL);
    IDirect3DBaseTexture9* bound = texture;
    mDevice->GetTexture(3, &bound);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(d3d9test::RefCount(texture), 1u) << "the binding's reference went with the Reset";
    texture->Release();
}

TEST_F(DeviceTest, InjectedLossWalksThroughLostNotResetAndReset)
{
    OpenDevice();
    D3DPRESENT_PARAMETERS parameters = Windowed();
    d3d9test::LoseDevice(mDevice);
    EXPECT_EQ(mDevice->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(mDevice->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(mDevice->Reset(&parameters), D3DERR_DEVICELOST);
    EXPECT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK) << "drawing calls are taken and dropped";

    d3d9test::MakeDeviceResettable(mDevice);
    EXPECT_EQ(mDevice->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(mDevice->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    ASSERT_EQ(mDevice->Reset(&parameters), D3D_OK);
    EXPECT_EQ(mDevice->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(mDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, WindowedResetFailsWhenTheDesktopFormatChangedUntilItIsFollowed)
{
    OpenDevice();
    d3d9test::SetDesktopMode(mD3d, 0, {1024, 768, 60, D3DFMT_R5G6B5});
    D3DPRESENT_PARAMETERS parameters = Windowed();
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    EXPECT_EQ(mDevice->Reset(&parameters), D3DERR_INVALIDCALL);

    D3DDISPLAYMODE desktop;
    ASSERT_EQ(mD3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    parameters.BackBufferFormat = desktop.Format;
    ASSERT_EQ(mDevice->Reset(&parameters), D3D_OK);
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(ReadBack<WORD>(BackBuffer())[0], 0xFFFF);
}

TEST_F(DeviceTest, InjectedFaultsReturnThePlatformsCodes)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY, 1, 1);
    EXPECT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    texture->Release();
    EXPECT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture, nullptr);

    d3d9test::FailNext(d3d9test::Fault::Reset, D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS parameters = Windowed();
    EXPECT_EQ(mDevice->Reset(&parameters), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(mDevice->Reset(&parameters), D3D_OK);

    d3d9test::FailNext(d3d9test::Fault::Present, D3DERR_DEVICELOST);
    EXPECT_EQ(mDevice->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(mDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, DefaultPoolCreationPastTheTextureMemoryIsOutOfVideoMemory)
{
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.textureMemory = 64 * 64 * 4 + 100;
    OpenDevice(Windowed(), {adapter});
    IDirect3DTexture9 *first = nullptr, *second = nullptr, *managed = nullptr;
    ASSERT_EQ(
        mDevice->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &first, nullptr),
        D3D_OK);
    EXPECT_EQ(mDevice->GetAvailableTextureMem(), 100u);
    EXPECT_EQ(
        mDevice->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &second, nullptr),
        D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(mDevice->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK)
        << "managed resources can always be made";
    managed->Release();
    first->Release();
    EXPECT_EQ(mDevice->GetAvailableTextureMem(), adapter.textureMemory);
}

TEST_F(DeviceTest, SurfacesWhosePitchCannotBeHeldAreRefused)
{
    // 0x40000001 pixels of four bytes wrap a 32-bit row size to 4: the lock would hand out a pitch far smaller
    // than the rows written through it.
    OpenDevice();
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(
        mDevice->CreateOffscreenPlainSurface(0x40000001u, 1, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr),
        E_OUTOFMEMORY);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(mDevice->CreateOffscreenPlainSurface(0x80000000u, 1, D3DFMT_R5G6B5, D3DPOOL_SCRATCH, &surface, nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(surface, nullptr);
}

// ---- Scenes, swap chains, references ------------------------------------------------------------------------------

TEST_F(DeviceTest, ScenesDoNotNest)
{
    OpenDevice();
    EXPECT_EQ(mDevice->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->BeginScene(), D3D_OK);
    EXPECT_EQ(mDevice->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->EndScene(), D3D_OK);
}

TEST_F(DeviceTest, AdditionalSwapChainHasItsOwnBackBufferAndBlocksReset)
{
    OpenDevice();
    D3DPRESENT_PARAMETERS parameters = Windowed();
    parameters.hDeviceWindow = kOtherWindow;
    parameters.EnableAutoDepthStencil = FALSE;
    parameters.BackBufferWidth = 16;
    parameters.BackBufferHeight = 8;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(mDevice->CreateAdditionalSwapChain(&parameters, &chain), D3D_OK);
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), D3D_OK);
    EXPECT_EQ(d3d9test::RefCount(chain), 2u) << "the back buffer counts on its chain";

    ASSERT_EQ(mDevice->SetRenderTarget(0, backBuffer), D3D_OK);
    ASSERT_EQ(mDevice->SetDepthStencilSurface(nullptr), D3D_OK);
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FFFF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(ReadBack32(backBuffer)[16 * 8 - 1], 0xFF00FFFFu);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);

    ASSERT_EQ(mDevice->SetRenderTarget(0, BackBuffer()), D3D_OK);
    D3DPRESENT_PARAMETERS reset = Windowed();
    EXPECT_EQ(mDevice->Reset(&reset), D3DERR_INVALIDCALL);
    backBuffer->Release();
    EXPECT_EQ(chain->Release(), 0u);
    EXPECT_EQ(mDevice->Reset(&reset), D3D_OK);
}

TEST_F(DeviceTest, ReferencesToTheBackBufferCountOnTheDevice)
{
    OpenDevice();
    ULONG before = d3d9test::RefCount(mDevice);
    IDirect3DSurface9 *target = nullptr, *depth = nullptr;
    ASSERT_EQ(mDevice->GetRenderTarget(0, &target), D3D_OK);
    ASSERT_EQ(mDevice->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(d3d9test::RefCount(mDevice), before + 2);
    target->Release();
    depth->Release();
    EXPECT_EQ(d3d9test::RefCount(mDevice), before);
    EXPECT_EQ(mDevice->GetRenderTarget(1, &target), D3DERR_NOTFOUND);
}

TEST_F(DeviceTest, ResourcesOutlivingTheDeviceFailCleanly)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    EXPECT_EQ(mDevice->Release(), 0u);
    mDevice = nullptr;
    IDirect3DDevice9* owner = nullptr;
    EXPECT_EQ(texture->GetDevice(&owner), D3DERR_INVALIDCALL);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK) << "the CPU copy is still there";
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->Release(), 0u);
}

// ---- Call log -----------------------------------------------------------------------------------------------------

TEST_F(DeviceTest, CallLogRecordsCallsWithTheirArguments)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    d3d9test::EnableCallLog(true);
    mDevice->SetRenderState(D3DRS_ZENABLE, 1);
    mDevice->SetTexture(0, texture);
    D3DRECT rect{1, 2, 3, 4};
    mDevice->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    mDevice->SetTexture(0, nullptr);
    d3d9test::EnableCallLog(false);
    mDevice->SetRenderState(D3DRS_ZENABLE, 0);

    const auto& log = d3d9test::CallLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].Text(), "SetRenderState(7, 1)");
    EXPECT_EQ(log[1].Text(), "SetTexture(0, " + d3d9test::ObjectName(texture) + ")");
    EXPECT_EQ(log[2].Text(), "Clear(1, {1 2 3 4}, 0x1, 0xFF000000, 1, 0)");
    EXPECT_EQ(log[3].Text(), "SetTexture(0, null)");
    EXPECT_EQ(d3d9test::CountCalls("SetTexture"), 2u);
    texture->Release();
}

} // namespace
