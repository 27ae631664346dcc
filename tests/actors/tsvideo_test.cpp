// Tests of the cut-scene video player over a clip the test encodes: poll states, the
// raster's pixels, the video mutex holding the copy back, skipping, the failures the
// cinematic state sees, the renderer filter's own edge cases, and the raster drawn full
// screen.
#include "dinput8testhooks.h"
#include "dshowtesthooks.h"
#include "engine.h"
#include "framecheck.h"
#include "hbclock.h"
#include "hbinput_fixture.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "raster.h"
#include "rasterreadback.h"
#include "renderer_fixture.h"
#include "tsvideo.h"
#include "tsvideorenderer.h"
#include "win32keyboard.h"
#include "win32testhooks.h"

#include "camera.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace
{

constexpr uint32_t kColours[5] = {0x2040C0, 0xC04020, 0x20C040, 0x808010, 0x108080};
constexpr uint32_t kMarker = 0xF010E0;
constexpr int64_t kTicksPerSecond = 10000000;

uint32_t ClipPixel(int frame, int x, int y)
{
    return x == 0 && y == 0 ? kMarker : kColours[frame % 5];
}

bool gEverOpened = false;
int gStarted = 0;
int32_t gStartArgument = 0;
void OnStart(int32_t argument)
{
    ++gStarted;
    gStartArgument = argument;
}

/// Waits (at most five seconds) until the condition holds, giving the decode thread the CPU.
template <class Condition> bool WaitFor(Condition condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

/// The raster's pixels as 0xAARRGGBB, top row first, read under the video mutex.
std::vector<uint32_t> RasterPixels(Raster* raster)
{
    if (!TsVideoLockFrame())
        return {};
    std::vector<uint32_t> pixels = framecheck::ReadRaster(raster, true);
    TsVideoUnlockFrame();
    return pixels;
}

std::vector<uint32_t> ClipFrame(int frame, int width, int height)
{
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(0xFF000000u | ClipPixel(frame, x, y));
    return pixels;
}

class TsVideo : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        mRenderer = Started();
        ASSERT_NE(mRenderer, nullptr);
        dshowtest::Reset();
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Win32TestSetPerformanceCounter(now.QuadPart);
        TsVideoCreateMutex();
        ASSERT_TRUE(dshowtest::WriteClip(mDirectory + "/movie.mkv", 8, 6, 5, 10, ClipPixel));
        gStarted = 0;
    }

    void TearDown() override
    {
        gEverOpened = true;
        TsVideoClose();
        EXPECT_EQ(dshowtest::LiveGraphs(), 0);
        HbInputManager::Instance()->Reset();
        dshowtest::Reset();
        Win32TestUseRealPerformanceCounter();
        RendererTest::TearDown();
    }

    /// Polls once; the answer, with the play state (-1 when the poll left it alone).
    int32_t Poll(int32_t* playState, Raster** raster = nullptr, float* time = nullptr)
    {
        Raster* shown = nullptr;
        float seconds = -1.0f;
        *playState = -1;
        int32_t answer = TsVideoPoll(&shown, &seconds, playState);
        if (raster)
            *raster = shown;
        if (time)
            *time = seconds;
        return answer;
    }

    void Bind(const char* key)
    {
        dinput8test::UseSource(dinput8test::Source::Injected);
        std::string path = mDirectory + "/commands.scr";
        renderertest::WriteFile(path, std::string("CreateControler 0 Keyboard\nSetCommandContext Game\n") +
                                          "bind Keyboard SKIP_CINEMATIC " + key + " CLICK\n");
        ASSERT_EQ(HbInputManager::Instance()->ExecuteBindingFile(path.c_str()), 1);
        HbInputManager::Instance()->Update();
    }

    WRenderer* mRenderer = nullptr;
};

TEST_F(TsVideo, PollsReadyThenPlayingThenFinishedWithTheClipInTheRaster)
{
    int32_t state;
    float width = -1, height = -1;
    EXPECT_EQ(TsVideoGetSize(&width, &height), 7);
    EXPECT_EQ(width, -1.0f);
    // The player's state outlives a test: only a process that never opened a video (as
    // under CTest, one test per process) shows the initial one.
    if (!gEverOpened)
    {
        EXPECT_EQ(Poll(&state), 0);
        EXPECT_EQ(state, 2) << "nothing open reads as finished";
    }

    // The folders do not exist: the bare name is found in the working folder.
    ASSERT_EQ(TsVideoOpen("cine\\missing\\MOVIE.MKV", OnStart, 42), 0);
    ASSERT_EQ(TsVideoGetSize(&width, &height), 0);
    EXPECT_EQ(width, 8.0f);
    EXPECT_EQ(height, 6.0f);

    Raster* raster = nullptr;
    float time = -1;
    ASSERT_EQ(Poll(&state, &raster, &time), 0);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(time, 0.0f);
    EXPECT_EQ(gStarted, 1);
    EXPECT_EQ(gStartArgument, 42);

    ASSERT_EQ(Poll(&state, &raster, &time), 0);
    EXPECT_EQ(state, 1);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->width, 8);
    EXPECT_EQ(raster->height, 6);
    EXPECT_EQ(raster->depth, 32);
    EXPECT_EQ(RasterPixels(raster), ClipFrame(0, 8, 6)) << "frame 0 upright, alpha 255, marker top left";

    Win32TestAdvancePerformanceCounter(4 * kTicksPerSecond / 10);
    ASSERT_TRUE(WaitFor([] { return dshowtest::DeliveredFrames() == 5; }));
    // Playing until the poll that sees completion; finished from the next one.
    float lastTime = -1;
    ASSERT_TRUE(WaitFor(
        [&]
        {
            float t = -1;
            EXPECT_EQ(Poll(&state, nullptr, &t), 0);
            if (state == 1)
                lastTime = t;
            return state != 1;
        }));
    EXPECT_EQ(state, 2);
    EXPECT_FLOAT_EQ(lastTime, 0.4f) << "the graph's position";
    EXPECT_EQ(RasterPixels(raster), ClipFrame(4, 8, 6));

    EXPECT_EQ(TsVideoClose(), 0);
    EXPECT_EQ(TsVideoGetSize(&width, &height), 7);
    EXPECT_EQ(Poll(&state), 0);
    EXPECT_EQ(state, 2) << "finished stays until the next open";
}

TEST_F(TsVideo, ACopyWaitsWhileAnotherThreadHoldsTheFrame)
{
    int32_t state;
    Raster* raster = nullptr;
    ASSERT_EQ(TsVideoOpen("movie.mkv", nullptr, 0), 0);
    Poll(&state);
    Poll(&state, &raster);
    ASSERT_NE(raster, nullptr);

    std::atomic<int> stage{0};
    std::thread holder(
        [&]
        {
            ASSERT_EQ(TsVideoLockFrame(), 1);
            stage = 1;
            while (stage.load() != 2)
                std::this_thread::yield();
            TsVideoUnlockFrame();
        });
    ASSERT_TRUE(WaitFor([&] { return stage.load() == 1; }));
    dshowtest::EnableCallLog(true);
    Win32TestAdvancePerformanceCounter(kTicksPerSecond / 10);
    // The decode thread reaches frame 1 and waits for the mutex inside the copy.
    ASSERT_TRUE(WaitFor([] { return dshowtest::CountCalls("DoRenderSample") == 1; }));
    EXPECT_EQ(dshowtest::DeliveredFrames(), 1);
    stage = 2;
    holder.join();
    ASSERT_TRUE(WaitFor([] { return dshowtest::DeliveredFrames() == 2; }));
    Poll(&state);
    EXPECT_EQ(RasterPixels(raster), ClipFrame(1, 8, 6));
}

TEST_F(TsVideo, DecodedFramesReachTheRasterOnlyAtThePollOnThePollingThread)
{
    int32_t state;
    Raster* raster = nullptr;
    ASSERT_EQ(TsVideoOpen("movie.mkv", nullptr, 0), 0);
    Poll(&state);
    Poll(&state, &raster);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(RasterPixels(raster), ClipFrame(0, 8, 6));
    // The decode thread delivers frame 1; the raster, drawn on this thread, is left alone.
    Win32TestAdvancePerformanceCounter(kTicksPerSecond / 10);
    ASSERT_TRUE(WaitFor([] { return dshowtest::DeliveredFrames() == 2; }));
    EXPECT_EQ(RasterPixels(raster), ClipFrame(0, 8, 6)) << "no upload waits from the decode thread";
    Poll(&state, &raster);
    EXPECT_EQ(RasterPixels(raster), ClipFrame(1, 8, 6));
}

TEST_F(TsVideo, TheSkipActionEndsTheVideoAtTheNextPollAndIsFoundAgainAfterRebinding)
{
    int32_t state;
    for (const char* key : {"VK_ESCAPE", "VK_SPACE"})
    {
        SCOPED_TRACE(key);
        Bind(key);
        ASSERT_EQ(TsVideoOpen("movie.mkv", nullptr, 0), 0);
        Poll(&state);
        ASSERT_EQ(Poll(&state), 0);
        EXPECT_EQ(state, 1);
        Win32TestKeyEvent(std::string(key) == "VK_ESCAPE" ? VK_ESCAPE : VK_SPACE, true);
        HbInputManager::Instance()->Update();
        ASSERT_EQ(Poll(&state), 0);
        EXPECT_EQ(state, 1);
        ASSERT_EQ(Poll(&state), 0);
        EXPECT_EQ(state, 2);
        Win32TestKeyEvent(std::string(key) == "VK_ESCAPE" ? VK_ESCAPE : VK_SPACE, false);
        HbInputManager::Instance()->Update();
        TsVideoClose();
    }
}

TEST_F(TsVideo, ARefusedSkipKeepsTheVideoPlayingAndTheNextOpenAllowsItAgain)
{
    int32_t state;
    struct Case
    {
        int32_t allow;
        const char* keyText;
        uint8_t key;
    };
    for (const Case& c : {Case{0, "VK_ESCAPE", VK_ESCAPE}, Case{1, "VK_SPACE", VK_SPACE}})
    {
        SCOPED_TRACE(c.allow);
        Bind(c.keyText);
        ASSERT_EQ(TsVideoOpen("movie.mkv", nullptr, 0), 0);
        if (!c.allow)
            TsVideoAllowSkip(0);
        Poll(&state);
        ASSERT_EQ(Poll(&state), 0);
        Win32TestKeyEvent(c.key, true);
        HbInputManager::Instance()->Update();
        ASSERT_EQ(Poll(&state), 0);
        ASSERT_EQ(Poll(&state), 0);
        EXPECT_EQ(state, c.allow ? 2 : 1);
        Win32TestKeyEvent(c.key, false);
        HbInputManager::Instance()->Update();
        TsVideoClose();
    }
}

TEST_F(TsVideo, FailuresOfTheGraphAndOfFreeingAnEvent)
{
    int32_t state;
    struct Case
    {
        const char* call;
        const char* file;
    };
    for (const Case& c : {Case{nullptr, "nowhere/absent.mkv"}, Case{"CoCreateInstance", "movie.mkv"},
                          Case{"QueryInterface", "movie.mkv"}, Case{"AddFilter", "movie.mkv"},
                          Case{"RenderFile", "movie.mkv"}, Case{"Pause", "movie.mkv"}})
    {
        SCOPED_TRACE(c.call ? c.call : c.file);
        if (c.call)
            dshowtest::FailNext(c.call, E_FAIL);
        EXPECT_EQ(TsVideoOpen(c.file, nullptr, 0), 5);
        EXPECT_EQ(TsVideoClose(), 0);
        EXPECT_EQ(dshowtest::LiveGraphs(), 0);
    }

    // The first poll's Run fails.
    ASSERT_EQ(TsVideoOpen("movie.mkv", nullptr, 0), 0);
    dshowtest::FailNext("Run", E_FAIL);
    EXPECT_EQ(Poll(&state), 5);
    ASSERT_EQ(Poll(&state), 0);
    EXPECT_EQ(state, 0);

    // An event that cannot be freed: failed, then 4 on every poll.
    dshowtest::FailNext("FreeEventParams", E_FAIL);
    Win32TestAdvancePerformanceCounter(kTicksPerSecond);
    ASSERT_TRUE(WaitFor([&] { return Poll(&state) != 0; }));
    EXPECT_EQ(Poll(&state), 4);
    EXPECT_EQ(state, -1);
}

// ---- The renderer filter alone -------------------------------------------------------------------------------

/// A sample over bytes the test owns.
class BytesSample : public IMediaSample
{
public:
    explicit BytesSample(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override
    {
        *buffer = mBytes.data();
        return S_OK;
    }
    LONG GetSize() override { return LONG(mBytes.size()); }
    LONG GetActualDataLength() override { return LONG(mBytes.size()) - mShort; }
    HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_FAIL; }

    std::vector<uint8_t> mBytes;
    LONG mShort = 0;
};

CMediaType VideoType(VIDEOINFOHEADER* info, int32_t width, int32_t height)
{
    *info = VIDEOINFOHEADER{};
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biBitCount = 24;
    CMediaType type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(*info);
    type.pbFormat = reinterpret_cast<BYTE*>(info);
    return type;
}

TEST_F(TsVideo, TheRendererTakesOnlyRgb24AndCopiesTopDownRowsInOrderAndSkipsShortSamples)
{
    HRESULT made = E_FAIL;
    auto* renderer = new TsVideoRenderer(&made);
    ASSERT_EQ(made, S_OK);
    renderer->AddRef();
    VIDEOINFOHEADER info;
    CMediaType type = VideoType(&info, 3, 2);
    EXPECT_EQ(renderer->CheckFormat(&type), S_OK);
    struct Case
    {
        const char* name;
        GUID CMediaType::*field;
        GUID value;
        HRESULT result;
    };
    for (const Case& c : {Case{"other format block", &CMediaType::formattype, MEDIATYPE_Video, E_INVALIDARG},
                          Case{"other major type", &CMediaType::majortype, FORMAT_VideoInfo, E_FAIL},
                          Case{"32-bit RGB", &CMediaType::subtype, MEDIASUBTYPE_RGB32, E_FAIL}})
    {
        SCOPED_TRACE(c.name);
        CMediaType other = type;
        other.*c.field = c.value;
        EXPECT_EQ(renderer->CheckFormat(&other), c.result);
    }

    // A top-down picture: rows arrive top first and stay in that order.
    CMediaType topDown = VideoType(&info, 3, -2);
    ASSERT_EQ(renderer->SetFormat(&topDown), S_OK);
    EXPECT_EQ(renderer->GetHeight(), 2);
    EXPECT_EQ(renderer->GetPitch(), 12);
    std::vector<uint8_t> rows(24, 0);
    for (int x = 0; x < 3; ++x)
    {
        rows[3 * x] = 0x10, rows[3 * x + 1] = 0x20, rows[3 * x + 2] = 0x30;                // top: blue, green, red
        rows[12 + 3 * x] = 0x40, rows[12 + 3 * x + 1] = 0x50, rows[12 + 3 * x + 2] = 0x60; // bottom
    }
    BytesSample sample(rows);
    ASSERT_EQ(renderer->CopyFrame(&sample), S_OK);
    renderer->ShowLatest();
    std::vector<uint32_t> expected = {0xFF302010u, 0xFF302010u, 0xFF302010u, 0xFF605040u, 0xFF605040u, 0xFF605040u};
    EXPECT_EQ(RasterPixels(renderer->GetRaster()), expected);

    // One byte short of the picture: the frame is skipped, the raster keeps the last one.
    BytesSample shortSample(std::vector<uint8_t>(24, 0xFF));
    shortSample.mShort = 1;
    EXPECT_EQ(renderer->CopyFrame(&shortSample), S_OK);
    renderer->ShowLatest();
    EXPECT_EQ(RasterPixels(renderer->GetRaster()), expected);

    // A new media type replaces the raster with one of the new size.
    CMediaType larger = VideoType(&info, 5, 4);
    ASSERT_EQ(renderer->SetFormat(&larger), S_OK);
    ASSERT_NE(renderer->GetRaster(), nullptr);
    EXPECT_EQ(renderer->GetRaster()->width, 5);
    EXPECT_EQ(renderer->GetRaster()->height, 4);
    EXPECT_EQ(renderer->GetPitch(), 16);

    // Headers that describe no picture are refused.
    CMediaType empty = VideoType(&info, 0, 4);
    EXPECT_EQ(renderer->SetFormat(&empty), E_INVALIDARG);
    CMediaType truncated = VideoType(&info, 4, 4);
    truncated.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
    EXPECT_EQ(renderer->SetFormat(&truncated), E_INVALIDARG);
    EXPECT_EQ(renderer->Release(), 0u);
}

// ---- Drawn ---------------------------------------------------------------------------------------------------

TEST_F(TsVideo, TheRasterDrawnFullScreenShowsTheClip)
{
    int32_t state;
    Raster* raster = nullptr;
    ASSERT_EQ(TsVideoOpen("movie.mkv", nullptr, 0), 0);
    Poll(&state);
    Win32TestAdvancePerformanceCounter(2 * kTicksPerSecond / 10);
    ASSERT_TRUE(WaitFor([] { return dshowtest::DeliveredFrames() == 3; }));
    Poll(&state, &raster);
    ASSERT_NE(raster, nullptr);

    Engine* engine = Engine::Current();
    ASSERT_NE(engine, nullptr);
    Camera* camera = mRenderer->GetMainCamera();
    const Rgba clear = {0, 0, 0, 255};
    ASSERT_NE(Camera::Clear(camera, &clear, kCameraClearImage | kCameraClearZ), nullptr);
    ASSERT_NE(Camera::BeginUpdate(camera), nullptr);
    ASSERT_EQ(TsVideoLockFrame(), 1);
    engine->device.setRenderState(kRenderStateZTest, 0);
    engine->device.setRenderState(kRenderStateTextureFilter, 1);
    engine->device.setRenderState(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(raster));
    Im2DVertex quad[4] = {
        // Pixel centres lie on whole coordinates: the half-pixel shift puts texel centres on them.
        {-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
        {-0.5f, 479.5f, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
        {639.5f, -0.5f, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
        {639.5f, 479.5f, 0.5f, 1, 0xFFFFFFFFu, 1, 1},
    };
    EXPECT_EQ(engine->device.im2DPrimitive(kIm2DTriStrip, quad, 4), 1);
    engine->device.setRenderState(kRenderStateTextureRaster, 0);
    TsVideoUnlockFrame();
    Camera::EndUpdate(camera);

    const std::vector<uint32_t> actual = framecheck::ReadRaster(camera->frameBuffer);
    ASSERT_FALSE(actual.empty()) << "the frame buffer locks for reading";
    ASSERT_EQ(actual.size(), 640u * 480u);
    // Each texel covers 80 x 80 pixels; frame 2 is on show.
    std::vector<uint32_t> expected;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            expected.push_back(0xFF000000u | ClipPixel(2, x / 80, y / 80));
    EXPECT_EQ(framecheck::CheckFrame("actors_video_full_screen", 640, 480, actual, expected, 2), "");
}

} // namespace
