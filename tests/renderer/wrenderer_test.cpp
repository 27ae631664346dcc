// The renderer's life on our d3d9 layer: engine start-up with the framework's memory and
// file functions, Start and Stop, the display preferences applied at the end of the first
// frame, mode selection and changes (a failed one undone), and the gamma.
#include "camera.h"
#include "d3d9device.h"
#include "engine.h"
#include "filesystem.h"
#include "freelist.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbvariable.h"
#include "image.h"
#include "raster.h"
#include "renderer_fixture.h"
#include "stream.h"
#include "texture.h"
#include "toolkit2d.h"
#include "w2dsurfacelist.h"
#include "wanimatedtextureset.h"
#include "wfontmanager.h"
#include "win32.h"
#include "wrenderlist.h"
#include "wtexturemanager.h"
#include "wuvanimregistry.h"
#include "wviewport.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace renderertest
{
namespace
{

using Renderer = RendererTest;

constexpr uint32_t kConstructed = WRenderer::kEngineInitialised | WRenderer::kEngineOpened;
constexpr uint32_t kRunning =
    kConstructed | WRenderer::kStarted | WRenderer::kEngineStarted | WRenderer::kToolkit2dOpen;

// Opens of vprefs.dat on the disk, by the file layer's hook (the write goes through its temporary).
int gPrefsOpens = 0;
void CountPrefsOpens(HbFile*, const char* name)
{
    if (std::strcmp(name, "vprefs.dat") == 0 || std::strcmp(name, "vprefs.dat.tmp") == 0)
        ++gPrefsOpens;
}

bool FileExists(const char* name)
{
    return access(name, F_OK) == 0;
}

// ---- Engine start-up ---------------------------------------------------------------------------------

TEST_F(Renderer, TheFreeListVariableChoosesHowTheEngineAllocatesObjects)
{
    struct Case
    {
        const char* name;
        int32_t value; // -1: unset
        bool freeLists;
    } cases[] = {{"unset", -1, true}, {"true", 1, true}, {"false", 0, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        HbVariableClearAllForTest();
        if (c.value >= 0)
        {
            ASSERT_EQ(HbSetBoolVariable("USEENGINEFREELISTS", c.value), 1);
        }
        WRenderer* renderer = Construct();
        EXPECT_EQ(renderer->GetStateBits(), kConstructed);
        EXPECT_EQ(FreeList::IsEnabled(), c.freeLists);
        WRenderer::DestroyInstance();
    }
}

TEST_F(Renderer, ADeviceThatCannotOpenFailsConstructionAndStart)
{
    d3d9test::SetAdapters({Adapter()});
    d3d9test::FailNext(d3d9test::Fault::Create9, E_FAIL);
    WRenderer* renderer = WRenderer::Instance();
    EXPECT_EQ(renderer->GetStateBits(), uint32_t(WRenderer::kEngineInitialised | WRenderer::kFailed));
    EXPECT_EQ(renderer->Start(Window()), 0);
    EXPECT_TRUE(renderer->GetStateBits() & WRenderer::kFailed);
    EXPECT_FALSE(renderer->GetStateBits() & WRenderer::kStarted);
}

TEST_F(Renderer, EngineFilesOpenThroughTheFrameworksFileLayerFromPackArchives)
{
    Started();
    {
        HbPackArchive writer;
        ASSERT_NE(writer.Open("engine.pak", "wb"), nullptr);
        const char text[] = "from the archive";
        ASSERT_EQ(writer.AddEntry("engine\\data.bin", text, sizeof(text) - 1), 1);
        writer.Close();
    }
    HbPackSet* packs = HbPackSet::Instance();
    ASSERT_EQ(packs->Mount("engine.pak"), 1);
    packs->SetEnabled(1);
    ASSERT_FALSE(FileExists("engine\\data.bin"));

    FileFunctions* files = FileSystem::GetFunctions();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->exists("engine\\data.bin"), 1);
    EXPECT_EQ(files->exists("engine\\missing.bin"), 0);

    // An engine stream opened by name reads the archive's entry.
    Stream* stream = Stream::Open(kStreamFileName, kStreamRead, "engine\\data.bin");
    ASSERT_NE(stream, nullptr);
    char buffer[32] = {};
    EXPECT_EQ(Stream::Read(stream, buffer, 16), 16u);
    EXPECT_STREQ(buffer, "from the archive");
    Stream::Close(stream, nullptr);
}

// Device resources a start made before its viewport's own depth surface, from the call log.
size_t ResourcesBeforeTheDepthSurface()
{
    size_t count = 0;
    for (const d3d9test::Call& call : d3d9test::CallLog())
    {
        if (call.name == "CreateDepthStencilSurface")
            return count;
        if (call.name.rfind("Create", 0) == 0 && call.name != "CreateDevice")
            ++count;
    }
    return SIZE_MAX;
}

TEST_F(Renderer, AStartThatFailsHalfWayCanBeRetriedAndIsReleasedWithTheRenderer)
{
    // A viewport smaller than the device's client area has a depth surface of its own.
    Window().clientWidth = 320;
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_EQ(Construct()->Start(Window()), 1);
    d3d9test::EnableCallLog(false);
    size_t before = ResourcesBeforeTheDepthSurface();
    ASSERT_NE(before, SIZE_MAX);
    WRenderer::DestroyInstance();

    ResetWindowState();
    Window().clientWidth = 320;
    WRenderer* renderer = Construct();
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY, 1, UINT(before));
    EXPECT_EQ(renderer->Start(Window()), 0);
    EXPECT_EQ(renderer->GetStateBits(), kConstructed | WRenderer::kEngineStarted | WRenderer::kFailed);
    EXPECT_EQ(renderer->GetViewport(), nullptr);

    // The game's start-up retries without a Stop: the retry undoes what the failure left.
    ASSERT_EQ(renderer->Start(Window()), 1);
    EXPECT_EQ(renderer->GetStateBits(), kRunning | WRenderer::kFailed);
    EXPECT_NE(renderer->GetViewport(), nullptr);
    // The fixture checks that destroying the renderer stops, closes and terminates the engine.
}

// ---- Start and Stop ----------------------------------------------------------------------------------------

TEST_F(Renderer, StartBuildsWhatEveryFrameNeedsAndStopReleasesIt)
{
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    WRenderer* renderer = Started();
    d3d9test::EnableCallLog(false);
    std::vector<std::string> creations = d3d9test::CallArgs("CreateDevice");
    ASSERT_EQ(creations.size(), 1u);
    // CreateDevice(adapter, type, window, behaviour flags)
    DWORD behaviour = DWORD(std::stoul(creations[0].substr(creations[0].rfind(' ') + 1), nullptr, 16));
    EXPECT_TRUE(behaviour & D3DCREATE_MULTITHREADED) << creations[0];
    EXPECT_EQ(renderer->GetStateBits(), kRunning);
    EXPECT_EQ(Engine::Current()->arenaSize, WRenderer::kInstanceArenaSize);
    EXPECT_EQ(D3D9Device::GetRefreshLimit(), WRenderer::kRefreshRate);
    EXPECT_TRUE(D3D9Device::GetPresentParameters()->Windowed);
    EXPECT_EQ(renderer->GetFrameCounter(), 1) << "one empty frame";
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 0) << "the window's own flags choose the windowed mode";

    ASSERT_NE(renderer->GetViewport(), nullptr);
    Raster* frameBuffer = renderer->GetViewport()->GetFrameBuffer();
    ASSERT_NE(frameBuffer, nullptr);
    EXPECT_EQ(frameBuffer->width, 640);
    EXPECT_EQ(frameBuffer->height, 480);
    Camera* camera = renderer->GetMainCamera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->frameBuffer, frameBuffer);
    EXPECT_EQ(camera->zBuffer, renderer->GetViewport()->GetDepthRaster());
    EXPECT_NE(camera->object.frame, nullptr);

    EXPECT_TRUE(Toolkit2d::IsOpen());
    EXPECT_EQ(Device2d::GetCamera(), camera);
    EXPECT_TRUE(UVAnimRegistryIsOpen());
    EXPECT_TRUE(WFontManager::Instance()->IsOpen());
    EXPECT_NE(WTextureManager::Instance()->GetDefaultDictionary(), nullptr);
    ASSERT_NE(renderer->GetSurfaceList(), nullptr);
    EXPECT_EQ(renderer->GetSurfaceList()->GetCamera(), camera);
    ASSERT_NE(renderer->GetAnimatedTextures(), nullptr);
    EXPECT_EQ(renderer->GetAnimatedTextures()->GetRefCount(), 1);

    const uint32_t flags[] = {1, 1, 1, 5, 5, 0};
    for (int32_t layer = 0; layer < WRenderer::kNumRenderLists; ++layer)
    {
        ASSERT_NE(renderer->GetRenderList(layer), nullptr) << layer;
        EXPECT_EQ(renderer->GetRenderList(layer)->GetFlags(), flags[layer]) << layer;
    }
    EXPECT_NE(dynamic_cast<WTransparentRenderList*>(renderer->GetRenderList(5)), nullptr);
    EXPECT_EQ(dynamic_cast<WTransparentRenderList*>(renderer->GetRenderList(4)), nullptr);

    renderer->Stop();
    EXPECT_EQ(renderer->GetStateBits(), kConstructed);
    EXPECT_EQ(renderer->GetRenderList(0), nullptr);
    EXPECT_EQ(renderer->GetViewport(), nullptr);
    EXPECT_EQ(renderer->GetMainCamera(), nullptr);
    EXPECT_EQ(renderer->GetSurfaceList(), nullptr);
    EXPECT_EQ(renderer->GetAnimatedTextures(), nullptr);
    EXPECT_FALSE(Toolkit2d::IsOpen());
    EXPECT_FALSE(UVAnimRegistryIsOpen());
    EXPECT_FALSE(WFontManager::Instance()->IsOpen());
    EXPECT_EQ(Engine::Current()->state, int32_t(kEngineOpened));

    // Started again, and a second Start stops the first.
    ASSERT_EQ(renderer->Start(Window()), 1);
    ASSERT_EQ(renderer->Start(Window()), 1);
    EXPECT_EQ(renderer->GetStateBits(), kRunning);
}

TEST_F(Renderer, TheConfiguredAdaptersModesGiveTheMenusSizesAndDepths)
{
    WRenderer* renderer = Construct();
    const WVideoModeList& modes = renderer->GetVideoModes();
    ASSERT_EQ(modes.sizeCount, 2);
    EXPECT_STREQ(modes.sizeNames[0], "640x480");
    EXPECT_STREQ(modes.sizeNames[1], "800x600");
    ASSERT_EQ(modes.depthCount, 2);
    EXPECT_STREQ(modes.depthNames[0], "16");
    EXPECT_STREQ(modes.depthNames[1], "32");
}

// ---- Display preferences ----------------------------------------------------------------------------------

TEST_F(Renderer, WithoutPreferencesTheStartUpModeStays)
{
    WRenderer* renderer = Started();
    EXPECT_EQ(renderer->GetPendingVideoMode(), -1);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 0);
    EXPECT_FALSE(Window().flags & HbWindowState::kFullScreen);
    EXPECT_FALSE(FileExists("vprefs.dat")) << "nothing changed, nothing written";
    EXPECT_EQ(Image::GetGamma(), 1.0f);
}

TEST_F(Renderer, ValidPreferencesApplyAtTheEndOfTheFirstFrameAndAreWrittenBack)
{
    const std::string record = PrefsBytes(0, 800, 600, 1, 1.0f);
    // The long file shows the rewrite: it comes back as the one record.
    for (const std::string& file : {record, record + "trailing"})
    {
        SCOPED_TRACE(file.size());
        ResetWindowState();
        WriteFile("vprefs.dat", file);
        gPrefsOpens = 0;
        HbFileAfterOpenHook = CountPrefsOpens;
        WRenderer* renderer = Started();
        HbFileAfterOpenHook = nullptr;

        EXPECT_EQ(Engine::GetCurrentVideoMode(), ModeIndex(800, 600, 32));
        EXPECT_EQ(renderer->GetPendingVideoMode(), -1);
        EXPECT_TRUE(Window().flags & HbWindowState::kFullScreen);
        EXPECT_EQ(Window().requestedWidth, 800);
        EXPECT_EQ(Window().clientHeight, 600);
        EXPECT_EQ(Window().colourDepth, 32);
        EXPECT_EQ(renderer->GetViewport()->GetFrameBuffer()->width, 800);
        WDisplaySettings present{};
        renderer->GetDisplaySettings(&present);
        EXPECT_EQ(present, (WDisplaySettings{0, 800, 600, 1}));
        EXPECT_EQ(ReadFile("vprefs.dat"), record);
        EXPECT_EQ(gPrefsOpens, 2) << "read once, written once";
        WRenderer::DestroyInstance();
    }
}

TEST_F(Renderer, PreferencesAreAppliedWholeOrNotAtAll)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string fullScreen = PrefsBytes(0, 800, 600, 1, 1.5f);
    struct Case
    {
        const char* name;
        std::string file;
        bool changesMode;
        float gamma;
        std::string writtenBack; // empty: the file stays as it was
    } cases[] = {
        {"width 0", PrefsBytes(0, 0, 600, 1, 1.8f), false, 1.8f, ""},
        {"depth not set", PrefsBytes(0, 800, 600, 2, 1.8f), false, 1.8f, ""},
        // Any windowed value but 0 asks for a window: the window takes the size.
        {"windowed 3", PrefsBytes(3, 800, 600, 1, 1.8f), false, 1.8f, PrefsBytes(3, 800, 600, 1, 1.8f)},
        {"full screen, depth kind 7", PrefsBytes(0, 800, 600, 7, 1.8f), false, 1.8f, ""},
        {"no such size", PrefsBytes(0, 1600, 1200, 1, 1.8f), false, 1.8f, ""},
        {"cut to 16 bytes", fullScreen.substr(0, 16), false, 1.0f, ""},
        {"cut to 19 bytes", fullScreen.substr(0, 19), false, 1.0f, ""},
        {"empty", "", false, 1.0f, ""},
        {"gamma 0", PrefsBytes(0, 800, 600, 1, 0.0f), true, 1.0f, PrefsBytes(0, 800, 600, 1, 1.0f)},
        {"gamma -2", PrefsBytes(0, 800, 600, 1, -2.0f), true, 1.0f, PrefsBytes(0, 800, 600, 1, 1.0f)},
        {"gamma NaN", PrefsBytes(0, 800, 600, 1, nan), true, 1.0f, PrefsBytes(0, 800, 600, 1, 1.0f)},
        {"whole", fullScreen, true, 1.5f, fullScreen},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ResetWindowState();
        WriteFile("vprefs.dat", c.file);
        WRenderer* renderer = Started();
        EXPECT_EQ(Engine::GetCurrentVideoMode(), c.changesMode ? ModeIndex(800, 600, 32) : 0);
        EXPECT_EQ(renderer->GetPendingVideoMode(), -1);
        EXPECT_EQ(Image::GetGamma(), c.gamma) << "textures loaded from now on carry the file's gamma";
        EXPECT_EQ(renderer->GetPrefs().appliedGamma, 1.0f);
        EXPECT_EQ(ReadFile("vprefs.dat"), c.writtenBack.empty() ? c.file : c.writtenBack);
        WRenderer::DestroyInstance();
    }
}

// ---- Mode selection and changes ----------------------------------------------------------------------------

TEST_F(Renderer, SelectingAModeMakesItPendingWhenTheDeviceHasIt)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.modes.push_back({720, 576, 60, D3DFMT_R5G6B5});
    WRenderer* renderer = Started({adapter});
    struct Case
    {
        WDisplaySettings settings;
        int32_t result;
        int32_t pending;
    } cases[] = {
        {{0, 1600, 1200, 1}, 0, -1}, // no such size
        {{0, 720, 576, 1}, 0, -1},   // offered in 16 bits only
        {{0, 720, 576, 0}, 1, ModeIndex(720, 576, 16)},
        {{1, 640, 480, 1}, 1, 0}, // windowed, the desktop being larger
        {{0, 800, 600, 0}, 1, ModeIndex(800, 600, 16)},
        {{0, 800, 600, 1}, 1, ModeIndex(800, 600, 32)},
        {{0, 1600, 1200, 0}, 0, ModeIndex(800, 600, 32)}, // a refusal keeps what was pending
        {{0, 800, 600, 7}, 0, ModeIndex(800, 600, 32)},   // no mode has a depth of kind 7
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.settings.width) + "x" + std::to_string(c.settings.height) + " windowed " +
                     std::to_string(c.settings.windowed) + " kind " + std::to_string(c.settings.depthKind));
        EXPECT_EQ(renderer->SelectVideoMode(c.settings), c.result);
        EXPECT_EQ(renderer->GetPendingVideoMode(), c.pending);
        EXPECT_EQ(renderer->GetRequested(), c.settings);
    }
}

TEST_F(Renderer, GoingFullScreenAndBackFollowsWithTheWindowAndThePreferences)
{
    WRenderer* renderer = Started();
    ASSERT_EQ(renderer->SelectVideoMode({0, 800, 600, 1}), 1);
    renderer->BeginFrame();
    renderer->EndFrame();
    ASSERT_EQ(Engine::GetCurrentVideoMode(), ModeIndex(800, 600, 32));
    EXPECT_EQ(DWORD(GetWindowLongA(Window().window, GWL_STYLE)), WS_POPUP);

    // Windowed at the size of the present full-screen mode is a change too.
    ASSERT_EQ(renderer->SelectVideoMode({1, 800, 600, 1}), 1);
    EXPECT_EQ(renderer->GetPendingVideoMode(), 0);
    renderer->BeginFrame();
    renderer->EndFrame();
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 0);
    EXPECT_FALSE(Window().flags & HbWindowState::kFullScreen);
    EXPECT_EQ(Window().requestedWidth, 800);
    EXPECT_EQ(Window().clientHeight, 600);
    EXPECT_EQ(DWORD(GetWindowLongA(Window().window, GWL_STYLE)), HbWindowState::kDefaultStyle);
    RECT client{};
    ASSERT_TRUE(GetClientRect(Window().window, &client));
    EXPECT_EQ(client.right - client.left, 800);
    EXPECT_EQ(client.bottom - client.top, 600);
    EXPECT_EQ(renderer->GetViewport()->GetDepthRaster()->width, 800);
    EXPECT_EQ(ReadFile("vprefs.dat"), PrefsBytes(1, 800, 600, 1, 1.0f));
    WDisplaySettings present{};
    renderer->GetDisplaySettings(&present);
    EXPECT_EQ(present, (WDisplaySettings{1, 800, 600, 1}));
}

TEST_F(Renderer, AFailedModeChangeRestoresThePreviousModeAndStoresOnlyThat)
{
    WRenderer* renderer = Started();
    ASSERT_EQ(renderer->SelectVideoMode({0, 800, 600, 1}), 1);
    d3d9test::FailNext(d3d9test::Fault::Reset, D3DERR_INVALIDCALL);
    renderer->BeginFrame();
    renderer->EndFrame();

    EXPECT_EQ(Engine::GetCurrentVideoMode(), 0);
    EXPECT_EQ(renderer->GetPendingVideoMode(), -1);
    EXPECT_FALSE(Window().flags & HbWindowState::kFullScreen);
    EXPECT_EQ(Window().requestedWidth, 640);
    EXPECT_EQ(Window().clientHeight, 480);
    EXPECT_EQ(renderer->GetViewport()->GetFrameBuffer()->width, 640);
    EXPECT_EQ(renderer->GetRequested(), (WDisplaySettings{1, 640, 480, 1}));
    EXPECT_EQ(ReadFile("vprefs.dat"), PrefsBytes(1, 640, 480, 1, 1.0f))
        << "the file describes the mode in use, never the request that failed";

    // The device still works: the next change goes through.
    ASSERT_EQ(renderer->SelectVideoMode({0, 800, 600, 1}), 1);
    renderer->BeginFrame();
    renderer->EndFrame();
    EXPECT_EQ(Engine::GetCurrentVideoMode(), ModeIndex(800, 600, 32));
    EXPECT_EQ(ReadFile("vprefs.dat"), PrefsBytes(0, 800, 600, 1, 1.0f));
}

// ---- Gamma ------------------------------------------------------------------------------------------------------

TEST_F(Renderer, SavingPreferencesWithAnUnchangedGammaWritesNothing)
{
    WRenderer* renderer = Started();
    renderer->SaveVideoPrefs();
    EXPECT_FALSE(FileExists("vprefs.dat"));
}

// The gamma table built for a gamma, as a copy.
std::vector<uint8_t> GammaTable(float gamma)
{
    Image::BuildGammaTables(gamma);
    const uint8_t* table = Image::GetGammaTable();
    return table ? std::vector<uint8_t>(table, table + 256) : std::vector<uint8_t>();
}

TEST_F(Renderer, ANewGammaCorrectsEveryTextureOnceAndIsSaved)
{
    struct Case
    {
        const char* name;
        float fileGamma; // 0: no file
        float wanted;
    } cases[] = {{"from 1.0", 0.0f, 2.0f}, {"from the file's 2.0, undone first", 2.0f, 1.5f}};
    // 16-bit textures are corrected too; what they hold comes back within one step of
    // their coarsest channel.
    const struct
    {
        const char* name;
        uint32_t format;
        int tolerance;
    } formats[] = {{"565", kRasterFormat565, 8},
                   {"1555", kRasterFormat1555, 8},
                   {"4444", kRasterFormat4444, 16},
                   {"8888", kRasterFormat8888, 0}};
    const uint8_t original[4][4] = {{0, 0, 0, 255}, {64, 128, 192, 128}, {255, 255, 255, 0}, {128, 128, 128, 77}};
    for (const auto& format : formats)
    {
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(format.name) + ", " + c.name);
            // A record that names no mode still brings its gamma.
            if (c.fileGamma > 0.0f)
                WriteFile("vprefs.dat", PrefsBytes(0, 0, 0, 2, c.fileGamma));
            WRenderer* renderer = Started();
            Raster* raster = Raster::Create(4, 1, 0, kRasterTypeTexture | format.format);
            ASSERT_NE(raster, nullptr);
            Image* image = Image::Create(4, 1, 32);
            ASSERT_NE(image, nullptr);
            ASSERT_NE(Image::AllocatePixels(image), nullptr);
            std::memcpy(image->pixels, original, sizeof(original));
            ASSERT_NE(Raster::SetFromImage(raster, image), nullptr);
            // What the raster holds in its own format, before any correction.
            ASSERT_NE(Image::SetFromRaster(image, raster), nullptr);
            uint8_t before[4][4];
            std::memcpy(before, image->pixels, sizeof(before));
            Texture* texture = Texture::Create(raster);
            ASSERT_NE(texture, nullptr);
            TextureDictionary::AddTexture(WTextureManager::Instance()->GetDefaultDictionary(), texture);

            renderer->GetPrefs().wantedGamma = c.wanted;
            renderer->SaveVideoPrefs();
            EXPECT_EQ(renderer->GetPrefs().appliedGamma, c.wanted);
            EXPECT_EQ(Image::GetGamma(), c.wanted);
            const WDisplaySettings settings = renderer->GetPrefs().settings;
            EXPECT_EQ(ReadFile("vprefs.dat"),
                      PrefsBytes(settings.windowed, settings.width, settings.height, settings.depthKind, c.wanted));
            ASSERT_NE(Image::SetFromRaster(image, raster), nullptr);

            std::vector<uint8_t> undo = c.fileGamma > 0.0f ? GammaTable(1.0f / c.fileGamma) : GammaTable(1.0f);
            std::vector<uint8_t> apply = GammaTable(c.wanted);
            ASSERT_EQ(undo.size(), 256u);
            ASSERT_EQ(apply.size(), 256u);
            for (int pixel = 0; pixel < 4; ++pixel)
            {
                for (int channel = 0; channel < 3; ++channel)
                {
                    EXPECT_NEAR(image->pixels[pixel * 4 + channel], apply[undo[before[pixel][channel]]],
                                format.tolerance)
                        << pixel << "," << channel;
                }
                EXPECT_EQ(image->pixels[pixel * 4 + 3], before[pixel][3]) << "alpha is not corrected";
            }
            if (c.fileGamma == 0.0f)
            {
                EXPECT_GT(std::abs(int(image->pixels[3 * 4]) - int(before[3][0])), 20)
                    << "a gamma of 2.0 moves a mid grey";
            }
            Image::Destroy(image);
            WRenderer::DestroyInstance();
            std::remove("vprefs.dat");
        }
    }
}

TEST_F(Renderer, AnInactiveFullScreenWindowCountsFramesButNeitherClearsNorChangesModes)
{
    WriteFile("vprefs.dat", PrefsBytes(0, 800, 600, 1, 1.0f));
    WRenderer* renderer = Started();
    ASSERT_TRUE(Window().flags & HbWindowState::kFullScreen);
    ASSERT_EQ(renderer->SelectVideoMode({0, 640, 480, 1}), 1);
    int32_t frames = renderer->GetFrameCounter();

    Window().active = 0;
    EXPECT_EQ(renderer->BeginFrame(), 0);
    renderer->EndFrame();
    EXPECT_EQ(renderer->GetFrameCounter(), frames + 1);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), ModeIndex(800, 600, 32)) << "the change waits";

    // Active again: the next frame draws and applies it.
    Window().active = 1;
    EXPECT_EQ(renderer->BeginFrame(), 1);
    renderer->EndFrame();
    EXPECT_EQ(Engine::GetCurrentVideoMode(), ModeIndex(640, 480, 32));
}

} // namespace
} // namespace renderertest
