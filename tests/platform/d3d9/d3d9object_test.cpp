// Tests of the Direct3D object: adapters, identifiers, display modes, format checks and device creation.
#include "d3d9test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using namespace d3d9support;

class ObjectTest : public D3D9Test
{
};

TEST_F(ObjectTest, AdaptersReportTheirIdentifiersModesAndCaps)
{
    d3d9test::AdapterConfig second = TestAdapter();
    second.description = std::string(600, 'x');
    second.hal = false;
    Open({TestAdapter(), second});
    ASSERT_EQ(mD3d->GetAdapterCount(), 2u);

    D3DADAPTER_IDENTIFIER9 identifier;
    ASSERT_EQ(mD3d->GetAdapterIdentifier(0, 0, &identifier), D3D_OK);
    EXPECT_STREQ(identifier.Description, "test adapter");
    ASSERT_EQ(mD3d->GetAdapterIdentifier(1, 0, &identifier), D3D_OK);
    EXPECT_EQ(std::string(identifier.Description).size(), 511u) << "cut to the field, terminated";
    EXPECT_EQ(mD3d->GetAdapterIdentifier(2, 0, &identifier), D3DERR_INVALIDCALL);

    EXPECT_EQ(mD3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 3u);
    EXPECT_EQ(mD3d->GetAdapterModeCount(0, D3DFMT_R5G6B5), 1u);
    EXPECT_EQ(mD3d->GetAdapterModeCount(0, D3DFMT_A2R10G10B10), 0u);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(mD3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 1, &mode), D3D_OK);
    EXPECT_EQ(mode.RefreshRate, 75u);
    EXPECT_EQ(mD3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 3, &mode), D3DERR_INVALIDCALL);
    ASSERT_EQ(mD3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    D3DCAPS9 caps;
    ASSERT_EQ(mD3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(mD3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_NOTAVAILABLE) << "no HAL on the second";
    EXPECT_EQ(mD3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_NOTAVAILABLE);
}

struct CheckCase
{
    const char* name;
    DWORD usage;
    D3DRESOURCETYPE type;
    D3DFORMAT format;
    HRESULT expected;
};

class FormatChecks : public ObjectTest, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(FormatChecks, AnswerFromTheAdapterLists)
{
    const CheckCase& param = GetParam();
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.textureFormats.erase(std::find(adapter.textureFormats.begin(), adapter.textureFormats.end(), D3DFMT_L8));
    Open({adapter});
    EXPECT_EQ(mD3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, param.usage, param.type, param.format),
              param.expected)
        << param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Checks, FormatChecks,
    ::testing::Values(
        CheckCase{"depth surface", D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D24S8, S_OK},
        CheckCase{"depth texture", D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, D3DFMT_D16, S_OK},
        CheckCase{"colour as depth", D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_X8R8G8B8, D3DERR_NOTAVAILABLE},
        CheckCase{"palettised texture", 0, D3DRTYPE_TEXTURE, D3DFMT_P8, S_OK},
        CheckCase{"compressed texture", 0, D3DRTYPE_TEXTURE, D3DFMT_DXT5, S_OK},
        CheckCase{"format the adapter lacks", 0, D3DRTYPE_TEXTURE, D3DFMT_L8, D3DERR_NOTAVAILABLE},
        CheckCase{"render-target texture", D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8, S_OK},
        CheckCase{"luminance render target", D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_L8, D3DERR_NOTAVAILABLE},
        CheckCase{"automatic mipmaps", D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, S_OK},
        CheckCase{"automatic mipmaps on a cube", D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_CUBETEXTURE, D3DFMT_X8R8G8B8, S_OK},
        CheckCase{"automatic mipmaps, compressed", D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_DXT1,
                  D3DERR_NOTAVAILABLE}));

TEST_F(ObjectTest, DeviceTypeAndDepthMatchChecks)
{
    d3d9test::AdapterConfig narrow = TestAdapter();
    narrow.renderTargetFormats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
    narrow.depthStencilFormats = {D3DFMT_D16};
    Open({TestAdapter(), narrow});
    EXPECT_EQ(mD3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE), S_OK);
    EXPECT_EQ(mD3d->CheckDeviceType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(mD3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(mD3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, TRUE),
              D3DERR_NOTAVAILABLE)
        << "ten-bit only in full screen";
    EXPECT_EQ(mD3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D24S8), S_OK);
    EXPECT_EQ(mD3d->CheckDepthStencilMatch(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D24S8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(mD3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_L8, D3DFMT_X8R8G8B8, D3DFMT_D24S8),
              D3DERR_INVALIDCALL)
        << "not an adapter format";
}

struct BehaviourCase
{
    const char* name;
    DWORD flags;
    DWORD devCaps;
    HRESULT expected;
};

class DeviceBehaviour : public ObjectTest, public ::testing::WithParamInterface<BehaviourCase>
{
};

TEST_P(DeviceBehaviour, CreationChecksVertexProcessingAgainstTheCaps)
{
    const BehaviourCase& param = GetParam();
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.caps.DevCaps = param.devCaps;
    Open({adapter});
    D3DPRESENT_PARAMETERS parameters = Windowed();
    EXPECT_EQ(mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, param.flags, &parameters, &mDevice), param.expected)
        << param.name;
    EXPECT_EQ(mDevice != nullptr, param.expected == D3D_OK);
}

constexpr DWORD kHwTl = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
constexpr DWORD kPure = D3DDEVCAPS_PUREDEVICE;

INSTANTIATE_TEST_SUITE_P(
    Flags, DeviceBehaviour,
    ::testing::Values(
        BehaviourCase{"software", D3DCREATE_SOFTWARE_VERTEXPROCESSING, 0, D3D_OK},
        BehaviourCase{"hardware", D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED, kHwTl, D3D_OK},
        BehaviourCase{"hardware without T&L", D3DCREATE_HARDWARE_VERTEXPROCESSING, 0, D3DERR_INVALIDCALL},
        BehaviourCase{"pure", D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE, kHwTl | kPure, D3D_OK},
        BehaviourCase{"pure without the cap", D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE, kHwTl,
                      D3DERR_INVALIDCALL},
        BehaviourCase{"no vertex processing", D3DCREATE_MULTITHREADED, kHwTl, D3DERR_INVALIDCALL},
        BehaviourCase{"two kinds", D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING, kHwTl,
                      D3DERR_INVALIDCALL}));

TEST_F(ObjectTest, FullScreenDeviceNeedsAnOfferedModeAndHoldsItWhileAlive)
{
    Open();
    D3DPRESENT_PARAMETERS parameters = Windowed();
    parameters.Windowed = FALSE;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
    parameters.BackBufferWidth = 800;
    parameters.BackBufferHeight = 500;
    EXPECT_EQ(
        mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &mDevice),
        D3DERR_INVALIDCALL);
    parameters.BackBufferHeight = 600;
    parameters.FullScreen_RefreshRateInHz = 60;
    ASSERT_EQ(
        mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &mDevice),
        D3D_OK);
    D3DDISPLAYMODE mode;
    mD3d->GetAdapterDisplayMode(0, &mode);
    EXPECT_EQ(mode.Width, 800u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    IDirect3DSwapChain9* chain = nullptr;
    D3DPRESENT_PARAMETERS extra = Windowed();
    EXPECT_EQ(mDevice->CreateAdditionalSwapChain(&extra, &chain), D3DERR_INVALIDCALL) << "windowed devices only";

    EXPECT_EQ(mDevice->Release(), 0u);
    mDevice = nullptr;
    mD3d->GetAdapterDisplayMode(0, &mode);
    EXPECT_EQ(mode.Width, 1024u) << "the desktop comes back";
}

TEST_F(ObjectTest, CreationFaultsAndDepthFormatsTheAdapterLacks)
{
    d3d9test::FailNext(d3d9test::Fault::Create9, D3D_OK);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    EXPECT_EQ(Direct3DCreate9(9), nullptr) << "an SDK version the layer does not know";

    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.depthStencilFormats = {D3DFMT_D16};
    Open({adapter});
    D3DPRESENT_PARAMETERS parameters = Windowed(D3DFMT_D24S8);
    EXPECT_EQ(
        mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &mDevice),
        D3DERR_INVALIDCALL);
    d3d9test::FailNext(d3d9test::Fault::CreateDevice, D3DERR_NOTAVAILABLE);
    parameters = Windowed(D3DFMT_D16);
    EXPECT_EQ(
        mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &mDevice),
        D3DERR_NOTAVAILABLE);
    EXPECT_EQ(
        mD3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &mDevice),
        D3D_OK);
}

} // namespace
