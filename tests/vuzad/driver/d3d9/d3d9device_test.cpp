// Tests of the Direct3D 9 device driver on configured adapters of our d3d9 layer: the
// video-mode table, the refresh limit, present parameters and the depth-format choice,
// behaviour flags, requests before and after the start, the standard-function table, and
// a whole engine life that clears and presents a frame through a camera.
#include "d3d9driverfixture.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace d3d9driver
{
namespace
{

using D3D9Devices = DriverTest;

std::vector<VideoMode> ModeTable()
{
    std::vector<VideoMode> modes;
    int32_t count = Engine::GetNumVideoModes();
    for (int32_t i = 0; i < count; ++i)
    {
        VideoMode mode{};
        EXPECT_NE(Engine::GetVideoModeInfo(&mode, i), nullptr);
        modes.push_back(mode);
    }
    return modes;
}

std::string Describe(const std::vector<VideoMode>& modes)
{
    std::string text;
    for (const VideoMode& m : modes)
        text += std::to_string(m.width) + "x" + std::to_string(m.height) + "x" + std::to_string(m.depth) + " f" +
                std::to_string(m.flags) + " " + std::to_string(m.refreshRate) + "Hz 0x" + std::to_string(m.format) +
                "; ";
    return text;
}

// ---- Video modes ---------------------------------------------------------------------------------

TEST_F(D3D9Devices, VideoModeTablesOfConfiguredAdapters)
{
    const D3DDISPLAYMODE desktop32 = {1024, 768, 60, D3DFMT_X8R8G8B8};
    const struct
    {
        const char* name;
        D3DDISPLAYMODE desktop;
        std::vector<D3DDISPLAYMODE> modes;
        std::vector<VideoMode> table; ///< width, height, depth, flags, rate, format
    } cases[] = {
        {"desktop first, then 16-bit, 32-bit and 10-bit modes, each full screen",
         desktop32,
         {{800, 600, 60, D3DFMT_X8R8G8B8}, {640, 480, 60, D3DFMT_R5G6B5}, {1024, 768, 60, D3DFMT_A2R10G10B10}},
         {{1024, 768, 32, 0, 60, 0x600},
          {640, 480, 16, 1, 60, 0x200},
          {800, 600, 32, 1, 60, 0x600},
          {1024, 768, 32, 1, 60, 0x500}}},
        {"equal size and format keep the higher rate, in any order",
         desktop32,
         {{640, 480, 72, D3DFMT_X8R8G8B8},
          {640, 480, 85, D3DFMT_X8R8G8B8},
          {640, 480, 60, D3DFMT_X8R8G8B8},
          {640, 480, 75, D3DFMT_R5G6B5}},
         {{1024, 768, 32, 0, 60, 0x600}, {640, 480, 16, 1, 75, 0x200}, {640, 480, 32, 1, 85, 0x600}}},
        {"a 16-bit desktop",
         {800, 600, 75, D3DFMT_R5G6B5},
         {{800, 600, 60, D3DFMT_R5G6B5}},
         {{800, 600, 16, 0, 75, 0x200}, {800, 600, 16, 1, 60, 0x200}}},
        {"an unusable desktop keeps entry 0 as a placeholder",
         {1024, 768, 60, D3DFMT_R8G8B8},
         {{640, 480, 60, D3DFMT_X8R8G8B8}},
         {{1024, 768, 0, 0, 60, 0}, {640, 480, 32, 1, 60, 0x600}}},
        {"no full-screen modes", desktop32, {}, {{1024, 768, 32, 0, 60, 0x600}}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.desktop = c.desktop;
        adapter.modes = c.modes;
        Open({adapter});
        std::vector<VideoMode> table = ModeTable();
        EXPECT_EQ(Describe(table), Describe(c.table));
        EXPECT_EQ(Engine::GetCurrentVideoMode(), 0);
        VideoMode beyond{};
        EXPECT_EQ(Engine::GetVideoModeInfo(&beyond, int32_t(table.size())), nullptr);
        EXPECT_EQ(Engine::GetVideoModeInfo(&beyond, -1), nullptr);
        ShutDown();
    }
}

TEST_F(D3D9Devices, APlaceholderDesktopEntryCannotBeChosen)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.desktop = {1024, 768, 60, D3DFMT_R8G8B8};
    Open({adapter});
    EXPECT_EQ(Engine::SetVideoMode(0), 0);
    EXPECT_EQ(TakeError(), kCoreErrDeviceRequest);
    EXPECT_EQ(Engine::SetVideoMode(1), 1);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 1);
    EXPECT_EQ(D3D9Device::GetDisplay()->flags, kD3D9ModeFullScreen);
    EXPECT_EQ(Engine::SetVideoMode(3), 0);
}

// The limit is the requested rate when some mode offers it, else the highest rate below
// it; full-screen present parameters take the mode's kept rate unless it reaches the limit.
TEST_F(D3D9Devices, RefreshLimitRules)
{
    const struct
    {
        const char* name;
        std::vector<UINT> rates; ///< of 640 x 480 X8R8G8B8
        uint32_t request;
        uint32_t limit;
        UINT presented; ///< the rate the 640 x 480 mode (kept at the highest) asks for
    } cases[] = {
        {"75 offered", {60, 75, 85}, 75, 75, 75},
        {"75 not offered: the highest below", {60, 72, 85}, 75, 72, 72},
        {"a kept rate below the limit stays", {60}, 75, 60, 60},
        {"none below: limit 0, the adapter's default rate", {85, 100}, 75, 0, 0},
        {"0 asks for the default rate", {60, 85}, 0, 0, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.modes.clear();
        for (UINT rate : c.rates)
            adapter.modes.push_back({640, 480, rate, D3DFMT_X8R8G8B8});
        Open({adapter});
        D3D9Device::SetRefreshRate(c.request);
        EXPECT_EQ(D3D9Device::GetRefreshLimit(), c.limit);
        VideoMode mode{};
        ASSERT_NE(Engine::GetVideoModeInfo(&mode, 1), nullptr);
        D3D9VideoMode entry = {mode.width, mode.height, mode.refreshRate, D3DFMT_X8R8G8B8, kD3D9ModeFullScreen};
        D3DPRESENT_PARAMETERS parameters{};
        D3D9Device::FillPresentParameters(&entry, D3DFMT_X8R8G8B8, &parameters);
        EXPECT_EQ(parameters.FullScreen_RefreshRateInHz, c.presented);
        ShutDown();
    }
}

TEST_F(D3D9Devices, PresentParametersForWindowedAndFullScreenModes)
{
    Open();
    D3D9VideoMode windowed = {0, 0, 0, D3DFMT_X8R8G8B8, 0};
    D3DPRESENT_PARAMETERS p{};
    D3D9Device::FillPresentParameters(&windowed, D3DFMT_X8R8G8B8, &p);
    EXPECT_TRUE(p.Windowed);
    EXPECT_EQ(p.BackBufferWidth, 0u) << "the device takes the client area";
    EXPECT_EQ(p.BackBufferHeight, 0u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_A8R8G8B8) << "an X8R8G8B8 adapter gets alpha in its back buffer";
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.hDeviceWindow, mWindow);
    EXPECT_TRUE(p.EnableAutoDepthStencil);
    EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_NONE);

    D3D9VideoMode full = {800, 600, 60, D3DFMT_R5G6B5, kD3D9ModeFullScreen};
    p = {};
    D3D9Device::FillPresentParameters(&full, D3DFMT_X8R8G8B8, &p);
    EXPECT_FALSE(p.Windowed);
    EXPECT_EQ(p.BackBufferWidth, 800u);
    EXPECT_EQ(p.BackBufferHeight, 600u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 60u);
}

// A 32-bit back buffer takes the first acceptable of D24S8, D24X4S4, D32, D24X8 and falls
// back to the 16-bit list; a 16-bit one takes D15S1, else D16 without asking.
TEST_F(D3D9Devices, DepthFormatChoice)
{
    const struct
    {
        const char* name;
        D3DFORMAT desktop;
        std::vector<D3DFORMAT> depthFormats;
        D3DFORMAT chosen;
        int32_t zDepth;
    } cases[] = {
        {"32: first choice", D3DFMT_X8R8G8B8, {D3DFMT_D16, D3DFMT_D32, D3DFMT_D24S8}, D3DFMT_D24S8, 32},
        {"32: second", D3DFMT_X8R8G8B8, {D3DFMT_D24X4S4, D3DFMT_D32}, D3DFMT_D24X4S4, 32},
        {"32: third", D3DFMT_X8R8G8B8, {D3DFMT_D24X8, D3DFMT_D32}, D3DFMT_D32, 32},
        {"32: fourth", D3DFMT_X8R8G8B8, {D3DFMT_D24X8, D3DFMT_D15S1}, D3DFMT_D24X8, 32},
        {"32 without 32-bit depth: D15S1", D3DFMT_X8R8G8B8, {D3DFMT_D16, D3DFMT_D15S1}, D3DFMT_D15S1, 16},
        {"32 without 32-bit depth: D16", D3DFMT_X8R8G8B8, {D3DFMT_D16}, D3DFMT_D16, 16},
        {"16: D15S1", D3DFMT_R5G6B5, {D3DFMT_D24S8, D3DFMT_D15S1}, D3DFMT_D15S1, 16},
        {"16: D16 even when not offered", D3DFMT_R5G6B5, {D3DFMT_D24S8}, D3DFMT_D16, 16},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.desktop.Format = c.desktop;
        adapter.depthStencilFormats = c.depthFormats;
        Open({adapter});
        D3D9VideoMode windowed = {0, 0, 0, c.desktop, 0};
        D3DPRESENT_PARAMETERS p{};
        D3D9Device::FillPresentParameters(&windowed, c.desktop, &p);
        EXPECT_EQ(p.AutoDepthStencilFormat, c.chosen);
        EXPECT_EQ(D3D9Device::GetDisplay()->zDepth, c.zDepth);
        ShutDown();
    }
}

TEST_F(D3D9Devices, BackBufferWithoutAlphaWhenTheAdapterRefusesIt)
{
    d3d9test::AdapterConfig adapter = Adapter();
    std::erase(adapter.renderTargetFormats, D3DFMT_A8R8G8B8);
    Start({adapter});
    EXPECT_EQ(D3D9Device::GetPresentParameters()->BackBufferFormat, D3DFMT_X8R8G8B8);
}

// ---- Device creation ------------------------------------------------------------------------------------

TEST_F(D3D9Devices, BehaviourFlagsFollowTheCaps)
{
    const struct
    {
        const char* name;
        DWORD devCaps;
        bool multithreaded;
        DWORD flags;
    } cases[] = {
        {"hardware transform and lighting, pure", D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE, false, 0x50},
        {"hardware transform and lighting", D3DDEVCAPS_HWTRANSFORMANDLIGHT, false, 0x40},
        {"software", D3DDEVCAPS_PUREDEVICE, false, 0x20},
        {"multithreaded", D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE, true, 0x54},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.caps.DevCaps = c.devCaps;
        D3D9Device::SetMultithreaded(c.multithreaded ? 1 : 0);
        Start({adapter});
        D3DDEVICE_CREATION_PARAMETERS created{};
        ASSERT_EQ(Device()->GetCreationParameters(&created), D3D_OK);
        EXPECT_EQ(created.BehaviorFlags, c.flags);
        EXPECT_EQ(created.hFocusWindow, mWindow);
        ShutDown();
    }
}

TEST_F(D3D9Devices, OpenTakesTheFirstAdapterWithHardwareAndFailsWithoutOne)
{
    d3d9test::AdapterConfig none = Adapter();
    none.hal = false;
    d3d9test::AdapterConfig second = Adapter();
    second.description = "second";
    Open({none, second});
    int32_t index = -1;
    EXPECT_EQ(Engine::DeviceRequest(&Engine::Current()->device, kDeviceCurrentSubSystem, &index, nullptr, 0), 1);
    EXPECT_EQ(index, 1);
    ShutDown();

    d3d9test::SetAdapters({none});
    ASSERT_NE(Engine::Init(nullptr, 0, 0), 0);
    EXPECT_EQ(Engine::Open(&mWindow), 0);
    EXPECT_EQ(Engine::Current()->state, kEngineInitialised);
    EXPECT_EQ(D3D9Device::GetDirect3D(), nullptr) << "the object is released again";
    d3d9test::FailNext(d3d9test::Fault::Create9, E_FAIL);
    EXPECT_EQ(Engine::Open(&mWindow), 0);
}

TEST_F(D3D9Devices, AFailedDeviceCreationLeavesTheEngineOpenedForAnotherTry)
{
    Open();
    d3d9test::FailNext(d3d9test::Fault::CreateDevice, D3DERR_NOTAVAILABLE);
    EXPECT_EQ(Engine::Start(), 0);
    EXPECT_EQ(Engine::Current()->state, kEngineOpened);
    EXPECT_EQ(Device(), nullptr);
    EXPECT_EQ(Engine::Start(), 1);
    EXPECT_NE(Device(), nullptr);
}

// ---- Requests -------------------------------------------------------------------------------------------------

TEST_F(D3D9Devices, RequestsBeforeAndAfterTheStart)
{
    d3d9test::AdapterConfig first = Adapter();
    first.description = std::string(600, 'd'); // longer than any buffer a caller keeps
    first.caps.MaxTextureWidth = 2048;
    first.caps.MaxTextureHeight = 4096;
    d3d9test::AdapterConfig second = Adapter();
    second.description = "second adapter";
    Open({first, second});
    const DeviceRecord* device = &Engine::Current()->device;
    auto request = [&](int32_t code, void* out, void* inOut = nullptr, int32_t number = 0)
    { return Engine::DeviceRequest(device, code, out, inOut, number); };

    int32_t value = -1;
    EXPECT_EQ(request(kDeviceNumSubSystems, &value), 1);
    EXPECT_EQ(value, 2);
    char name[16];
    std::memset(name, 'x', sizeof(name));
    int32_t size = 8;
    EXPECT_EQ(request(kDeviceSubSystemInfo, name, &size, 0), 1);
    EXPECT_STREQ(name, "ddddddd") << "cut to the caller's buffer";
    EXPECT_EQ(name[8], 'x');
    size = sizeof(name);
    EXPECT_EQ(request(kDeviceSubSystemInfo, name, &size, 1), 1);
    EXPECT_STREQ(name, "second adapter");
    EXPECT_EQ(request(kDeviceSubSystemInfo, name, &size, 2), 0);
    EXPECT_EQ(request(kDeviceMaxTextureSize, &value), 1);
    EXPECT_EQ(value, 4096);
    uint16_t identifier = 0;
    EXPECT_EQ(request(kDeviceIdentifier, &identifier), 1);
    EXPECT_EQ(identifier, 2);
    EXPECT_EQ(request(kDeviceFocus, nullptr, nullptr, 1), 0) << "no device yet";
    EXPECT_EQ(request(kDeviceTextureMemory, &value), 0);
    for (int32_t unhandled : {9, 20, 21})
        EXPECT_EQ(request(unhandled, &value), 0) << unhandled;
    TakeError();

    // Selecting the second adapter reads its modes.
    EXPECT_EQ(request(kDeviceSelectSubSystem, nullptr, nullptr, 1), 1);
    EXPECT_EQ(request(kDeviceCurrentSubSystem, &value), 1);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(request(kDeviceSelectSubSystem, nullptr, nullptr, 5), 0);
    TakeError();
    EXPECT_EQ(Engine::SetVideoMode(1), 1);
    EXPECT_EQ(Engine::SetVideoMode(0), 1);

    ASSERT_EQ(Engine::Start(), 1);
    EXPECT_EQ(Engine::SetVideoMode(1), 0) << "no mode change once the device exists";
    EXPECT_EQ(request(kDeviceSelectSubSystem, nullptr, nullptr, 1), 0) << "nor an adapter change";
    EXPECT_EQ(TakeError(), kCoreErrDeviceRequest);
    EXPECT_EQ(request(kDeviceFocus, nullptr, nullptr, 0), 1) << "windowed: nothing to do";
    EXPECT_EQ(request(kDeviceTextureMemory, &value), 1);
    EXPECT_GT(value, 0);
    EXPECT_EQ(Engine::GetNumVideoModes(), 3) << "the table answers after the start too";
}

TEST_F(D3D9Devices, TheDeviceTableOffersWhatTheDeviceImplements)
{
    const DeviceRecord* record = D3D9Device::GetDeviceRecord();
    EXPECT_EQ(record->gamma, 1.0f);
    EXPECT_EQ(record->zBufferNear, 0.0f);
    EXPECT_EQ(record->zBufferFar, 1.0f);
    EXPECT_NE(record->system, nullptr);

    StandardFunction slots[kNumStandardFunctions];
    EXPECT_EQ(D3D9Device::FillStandardFunctions(slots, kNumStandardFunctions - 1), 0);
    ASSERT_EQ(D3D9Device::FillStandardFunctions(slots, kNumStandardFunctions), 1);
    const int32_t implemented[] = {
        kStdCameraBeginUpdate,    kStdRasterCreate,       kStdRasterDestroy,       kStdCameraEndUpdate,
        kStdRasterSubRaster,      kStdRasterLock,         kStdRasterUnlock,        kStdRasterShowRaster,
        kStdCameraClear,          kStdRasterLockPalette,  kStdRasterUnlockPalette, kStdRasterGetMipLevels,
        kStdTextureSetRaster,     kStdSetRasterContext,   kStdRasterClearRect,     kStdRasterClear,
        kStdRasterRender,         kStdRasterRenderScaled, kStdRasterRenderFast,    kStdRgbToPixel,
        kStdPixelToRgb,           kStdImageGetRaster,     kStdRasterSetImage,      kStdImageFindRasterFormat,
        kStdNativeTextureGetSize, kStdNativeTextureRead,  kStdNativeTextureWrite};
    for (int32_t slot = 0; slot < kNumStandardFunctions; ++slot)
    {
        SCOPED_TRACE(slot);
        ASSERT_NE(slots[slot], nullptr);
        bool offered = std::find(std::begin(implemented), std::end(implemented), slot) != std::end(implemented);
        if (!offered)
            EXPECT_EQ(slots[slot](nullptr, nullptr, 0), 0) << "a slot the device leaves empty answers failure";
        else
            EXPECT_NE(slots[slot], slots[0]);
    }
}

// ---- A whole engine life -----------------------------------------------------------------------------

TEST_F(D3D9Devices, TheEngineStartsClearsPresentsAndStopsOnARealDevice)
{
    Open();
    ASSERT_EQ(Engine::SetVideoMode(0), 1);
    D3D9Device::SetMultithreaded(1);
    D3D9Device::SetRefreshRate(75);
    ASSERT_EQ(Engine::Start(), 1);
    mDriverResources = d3d9test::DefaultPoolResources(Device());
    const D3D9DisplayRecord* display = D3D9Device::GetDisplay();
    EXPECT_EQ(display->width, 640) << "the window's client area";
    EXPECT_EQ(display->height, 480);
    EXPECT_EQ(display->depth, 32);
    EXPECT_EQ(display->zDepth, 32);

    Camera* camera = MakeCamera();
    Frame* frame = Frame::Create();
    FrameObject::SetFrame(&camera->object, frame);
    const Rgba colour = {0x20, 0x80, 0xC0, 0xFF};
    ASSERT_EQ(Camera::Clear(camera, &colour, kCameraClearImage | kCameraClearZ), camera);
    ASSERT_EQ(Camera::BeginUpdate(camera), camera);
    EXPECT_EQ(Engine::Current()->currentCamera, camera);
    ASSERT_EQ(Camera::EndUpdate(camera), camera);
    EXPECT_EQ(Engine::Current()->currentCamera, nullptr);
    ASSERT_EQ(Camera::ShowRaster(camera, nullptr, 0), camera);

    // The frame buffer reads back through the camera raster.
    ASSERT_NE(Raster::Lock(camera->frameBuffer, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(camera->frameBuffer->width, 640);
    EXPECT_EQ(camera->frameBuffer->height, 480);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{639, 479}, std::pair{320, 240}})
        EXPECT_EQ(Pixel32(camera->frameBuffer, x, y) & 0xFFFFFF, 0x2080C0u) << x << "," << y;
    EXPECT_EQ(Raster::Unlock(camera->frameBuffer), camera->frameBuffer);

    DestroyCamera(camera);
    Frame::Destroy(frame);
    EXPECT_EQ(ExtraResources(), 0u) << "every raster's video memory was released";
    ASSERT_EQ(Engine::Stop(), 1);
    EXPECT_EQ(Device(), nullptr);
    ASSERT_EQ(Engine::Close(), 1);
    EXPECT_EQ(D3D9Device::GetDirect3D(), nullptr);
    EXPECT_EQ(Engine::Term(), 1);
}

TEST_F(D3D9Devices, AFullScreenModeStartsAtTheModesSizeAndLimitedRate)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.modes = {{800, 600, 60, D3DFMT_X8R8G8B8}, {800, 600, 72, D3DFMT_X8R8G8B8}, {800, 600, 85, D3DFMT_X8R8G8B8}};
    Open({adapter});
    D3D9Device::SetRefreshRate(75);
    ASSERT_EQ(Engine::SetVideoMode(1), 1);
    ASSERT_EQ(Engine::Start(), 1);
    const D3DPRESENT_PARAMETERS* p = D3D9Device::GetPresentParameters();
    EXPECT_FALSE(p->Windowed);
    EXPECT_EQ(p->BackBufferWidth, 800u);
    EXPECT_EQ(p->FullScreen_RefreshRateInHz, 72u);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(Device()->GetDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 800u);
    EXPECT_EQ(mode.RefreshRate, 72u);
    ShowWindow(mWindow, SW_SHOW);
    EXPECT_EQ(Engine::DeviceRequest(&Engine::Current()->device, kDeviceFocus, nullptr, nullptr, 0), 1);
    EXPECT_FALSE(ShowWindow(mWindow, SW_SHOW)) << "losing the focus in full screen hid the window";
}

TEST_F(D3D9Devices, AMinimisedWindowIsNotDrawnInto)
{
    Start();
    Camera* camera = MakeCamera();
    ShowWindow(mWindow, SW_MINIMIZE);
    const Rgba colour = {1, 2, 3, 4};
    d3d9test::EnableCallLog(true);
    EXPECT_EQ(Camera::Clear(camera, &colour, kCameraClearImage), nullptr);
    EXPECT_EQ(Camera::BeginUpdate(camera), nullptr);
    EXPECT_EQ(d3d9test::CountCalls("Clear"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("BeginScene"), 0u);
    d3d9test::EnableCallLog(false);
    ShowWindow(mWindow, SW_RESTORE);
    EXPECT_EQ(Camera::BeginUpdate(camera), camera);
    Camera::EndUpdate(camera);
    Camera::ShowRaster(camera, nullptr, 0);
    DestroyCamera(camera);
}

// The device draws into the application's own window when the window system has one.
TEST_F(D3D9Devices, OnTheSdlWindowSystemTheDeviceDrawsIntoTheApplicationWindow)
{
    DestroyWindow(mWindow);
    mWindow = nullptr;
    if (!Win32TestUseBackend("sdl"))
        GTEST_SKIP() << "SDL's off-screen video driver cannot start here";
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = "DriverTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    mWindow = MakeWindow(320, 200);
    ASSERT_NE(mWindow, nullptr);
    ASSERT_NE(Win32GetNativeWindow(mWindow), nullptr);

    d3d9test::AdapterConfig adapter = Adapter();
    adapter.clientWidth = 1; // not used: the window's own size counts
    adapter.clientHeight = 1;
    Start({adapter});
    EXPECT_EQ(d3d9test::DeviceWindow(Device()), Win32GetNativeWindow(mWindow));
    D3DPRESENT_PARAMETERS p{};
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(Device()->GetSwapChain(0, &chain), D3D_OK);
    chain->GetPresentParameters(&p);
    chain->Release();
    EXPECT_EQ(p.BackBufferWidth, 320u);
    EXPECT_EQ(p.BackBufferHeight, 200u);

    Camera* camera = Camera::Create();
    camera->frameBuffer = Raster::Create(320, 200, 0, kRasterTypeCamera);
    const Rgba colour = {0xFF, 0, 0, 0xFF};
    ASSERT_EQ(Camera::Clear(camera, &colour, kCameraClearImage), camera);
    ASSERT_EQ(Camera::ShowRaster(camera, nullptr, 0), camera);
    ASSERT_NE(Raster::Lock(camera->frameBuffer, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(camera->frameBuffer, 10, 10) & 0xFFFFFF, 0xFF0000u);
    Raster::Unlock(camera->frameBuffer);
    DestroyCamera(camera);
    ShutDown();
}

} // namespace
} // namespace d3d9driver
