// The renderer tests' fixture and the test program's application object.
#include "renderer_fixture.h"

#include "d3d9device.h"
#include "engine.h"
#include "error.h"
#include "hbpack.h"
#include "hbvariable.h"
#include "raster.h"
#include "rasterreadback.h"
#include "win32.h"
#include "win32testhooks.h"
#include "wviewport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace renderertest
{
namespace
{
// The program's one application object: the renderer opens the engine on its window.
class TestApplication : public HbApplication
{
};
TestApplication gApplication;

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

d3d9test::AdapterConfig Adapter()
{
    d3d9test::AdapterConfig adapter = d3d9test::DefaultAdapter();
    adapter.description = "renderer test adapter";
    adapter.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    adapter.modes = {
        {640, 480, 60, D3DFMT_R5G6B5},   {640, 480, 60, D3DFMT_X8R8G8B8}, {800, 600, 60, D3DFMT_R5G6B5},
        {800, 600, 75, D3DFMT_X8R8G8B8}, {800, 600, 60, D3DFMT_R8G8B8},
    };
    adapter.clientWidth = 640;
    adapter.clientHeight = 480;
    return adapter;
}

std::string PrefsBytes(int32_t windowed, int32_t width, int32_t height, int32_t depthKind, float gamma)
{
    uint32_t gammaBits;
    std::memcpy(&gammaBits, &gamma, sizeof(gammaBits));
    std::string bytes;
    for (uint32_t word : {uint32_t(windowed), uint32_t(width), uint32_t(height), uint32_t(depthKind), gammaBits})
        for (int i = 0; i < 4; ++i)
            bytes += char(uint8_t(word >> (8 * i)));
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    if (!bytes.empty())
    {
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    std::fclose(file);
}

std::string ReadFile(const std::string& path)
{
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

void RendererTest::SetUp()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    d3d9test::ResetAll();
    Win32TestUseScript();
    HbVariableClearAllForTest();

    char buffer[4096];
    mPreviousDirectory = getcwd(buffer, sizeof(buffer)) ? buffer : ".";
    std::string pattern = (std::filesystem::temp_directory_path() / "renderer_test_XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    mDirectory = name.data();
    ASSERT_EQ(chdir(mDirectory.c_str()), 0);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = "RendererTest";
    RegisterClassA(&windowClass);
    RECT rect = {0, 0, 640, 480};
    AdjustWindowRect(&rect, HbWindowState::kDefaultStyle, FALSE);
    mWindow = CreateWindowExA(0, "RendererTest", "renderer test", HbWindowState::kDefaultStyle, 0, 0,
                              rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(mWindow, nullptr);
    ResetWindowState();
}

void RendererTest::ResetWindowState()
{
    RECT rect = {0, 0, 640, 480};
    AdjustWindowRect(&rect, HbWindowState::kDefaultStyle, FALSE);
    SetWindowLongA(mWindow, GWL_STYLE, LONG(HbWindowState::kDefaultStyle));
    SetWindowPos(mWindow, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
    HbWindowState& window = Window();
    window = HbWindowState{};
    window.window = mWindow;
    window.requestedWidth = 640;
    window.requestedHeight = 480;
    window.clientWidth = 640;
    window.clientHeight = 480;
}

void RendererTest::TearDown()
{
    WRenderer::DestroyInstance();
    EXPECT_EQ(Engine::Current() ? Engine::Current()->state : 0, int32_t(kEngineNotInitialised))
        << "destroying the renderer terminates the engine";
    Error error;
    Error::Get(&error);
    D3D9Device::SetMultithreaded(0);
    D3D9Device::SetRefreshRate(0xFFFFFFFF);
    if (mWindow)
        DestroyWindow(mWindow);
    Window() = HbWindowState{};
    HbPackSet* packs = HbPackSet::Instance();
    while (packs && packs->GetMountedCount() > 0)
        packs->Unmount(nullptr);
    if (packs)
        packs->SetEnabled(0);
    HbVariableClearAllForTest();
    d3d9test::ResetAll();
    Win32TestUseScript();
    EXPECT_EQ(chdir(mPreviousDirectory.c_str()), 0);
    std::error_code ignored;
    std::filesystem::remove_all(mDirectory, ignored);
}

HbWindowState& RendererTest::Window()
{
    return gApplication.WindowState();
}

WRenderer* RendererTest::Construct(std::vector<d3d9test::AdapterConfig> adapters)
{
    d3d9test::SetAdapters(std::move(adapters));
    return WRenderer::Instance();
}

WRenderer* RendererTest::Started(std::vector<d3d9test::AdapterConfig> adapters)
{
    WRenderer* renderer = Construct(std::move(adapters));
    EXPECT_NE(renderer, nullptr);
    if (renderer)
    {
        EXPECT_EQ(renderer->Start(Window()), 1);
    }
    return renderer;
}

int32_t RendererTest::ModeIndex(int32_t width, int32_t height, int32_t depth)
{
    int32_t count = Engine::GetNumVideoModes();
    for (int32_t index = 1; index < count; ++index)
    {
        VideoMode mode{};
        if (Engine::GetVideoModeInfo(&mode, index) && mode.width == width && mode.height == height &&
            mode.depth == depth)
            return index;
    }
    return -1;
}

std::vector<uint32_t> RendererTest::ReadViewport(int32_t* width, int32_t* height)
{
    Raster* raster = WRenderer::Instance()->GetViewport()->GetFrameBuffer();
    *width = raster->width;
    *height = raster->height;
    return framecheck::ReadRaster(raster);
}

} // namespace renderertest
