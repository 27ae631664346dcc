// Tests of our DirectShow layer over a clip the test encodes: the connection to the
// "Video Renderer" filter, frames on the graph clock from the decode thread, completion,
// the position, refused media types and the failures a caller must see.
#include "dshowtesthooks.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace
{

constexpr uint32_t kColours[5] = {0x2040C0, 0xC04020, 0x20C040, 0x808010, 0x108080};
constexpr uint32_t kMarker = 0xF010E0;

uint32_t ClipPixel(int frame, int x, int y)
{
    return x == 0 && y == 0 ? kMarker : kColours[frame % 5];
}

/// Records every sample it is handed; CheckMediaType answers what the test asks.
class RecordingRenderer : public CBaseVideoRenderer
{
public:
    static inline int sLive = 0;

    RecordingRenderer() : CBaseVideoRenderer(kClassId, "recorder", nullptr, nullptr) { ++sLive; }

    HRESULT CheckMediaType(const CMediaType* type) override
    {
        if (!(*type->FormatType() == FORMAT_VideoInfo) || !(*type->Type() == MEDIATYPE_Video))
            return E_FAIL;
        return *type->Subtype() == MEDIASUBTYPE_RGB24 && mAccept ? S_OK : E_FAIL;
    }
    HRESULT SetMediaType(const CMediaType* type) override
    {
        mHeader = reinterpret_cast<const VIDEOINFOHEADER*>(type->Format())->bmiHeader;
        return S_OK;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override
    {
        // A renderer that draws under a lock of its caller's, as the game's video frame lock.
        std::unique_lock<std::mutex> gate;
        if (mGate)
            gate = std::unique_lock<std::mutex>(*mGate);
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        std::lock_guard<std::mutex> guard(mLock);
        mFrames.emplace_back(bytes, bytes + sample->GetActualDataLength());
        mThreads.push_back(std::this_thread::get_id());
        mArrived.notify_all();
        return S_OK;
    }

    /// Waits (at most five seconds) until count frames arrived; the number there is.
    size_t WaitFrames(size_t count)
    {
        std::unique_lock<std::mutex> hold(mLock);
        mArrived.wait_for(hold, std::chrono::seconds(5), [&] { return mFrames.size() >= count; });
        return mFrames.size();
    }
    std::vector<uint8_t> Frame(size_t n)
    {
        std::lock_guard<std::mutex> guard(mLock);
        return mFrames.at(n);
    }
    std::thread::id Thread(size_t n)
    {
        std::lock_guard<std::mutex> guard(mLock);
        return mThreads.at(n);
    }

    bool mAccept = true;
    std::mutex* mGate = nullptr;
    BITMAPINFOHEADER mHeader{};

private:
    ~RecordingRenderer() override { --sLive; }

    static constexpr GUID kClassId = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::mutex mLock;
    std::condition_variable mArrived;
    std::vector<std::vector<uint8_t>> mFrames;
    std::vector<std::thread::id> mThreads;
};

/// The pixel (x, y from the top) of a 24-bit frame as 0xRRGGBB.
uint32_t PixelAt(const std::vector<uint8_t>& rows, int width, int height, bool bottomUp, int x, int y)
{
    int pitch = (3 * width + 3) & ~3;
    int row = bottomUp ? height - 1 - y : y;
    const uint8_t* p = rows.data() + size_t(row) * size_t(pitch) + 3 * size_t(x);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

class DShowLayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dshowtest::Reset();
        Win32TestSetPerformanceCounter(0);
        mDir = std::filesystem::temp_directory_path() / ("dshow_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(mDir);
        mClip = (mDir / "Clip.mkv").string();
        ASSERT_TRUE(dshowtest::WriteClip(mClip, 8, 6, 5, 10, ClipPixel));
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&mGraph)),
                  S_OK);
        ASSERT_EQ(mGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&mControl)), S_OK);
        ASSERT_EQ(mGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&mEvents)), S_OK);
        ASSERT_EQ(mGraph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&mPosition)), S_OK);
        mRenderer = new RecordingRenderer();
        ASSERT_EQ(mGraph->AddFilter(mRenderer, u"Video Renderer"), S_OK);
    }

    void TearDown() override
    {
        if (mControl)
            mControl->Stop();
        for (IUnknown* object : {static_cast<IUnknown*>(mPosition), static_cast<IUnknown*>(mEvents),
                                 static_cast<IUnknown*>(mControl), static_cast<IUnknown*>(mGraph)})
            if (object)
                object->Release();
        CoUninitialize();
        EXPECT_EQ(dshowtest::LiveGraphs(), 0) << "the last Release destroys the graph";
        EXPECT_EQ(RecordingRenderer::sLive, 0) << "and its filters with it";
        Win32TestUseRealPerformanceCounter();
        dshowtest::Reset();
        std::filesystem::remove_all(mDir);
    }

    std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

    std::filesystem::path mDir;
    std::string mClip;
    IGraphBuilder* mGraph = nullptr;
    IMediaControl* mControl = nullptr;
    IMediaEventEx* mEvents = nullptr;
    IMediaPosition* mPosition = nullptr;
    RecordingRenderer* mRenderer = nullptr;
};

TEST_F(DShowLayer, PauseDeliversTheFirstFrameAndTheClockDeliversTheRestThenCompletion)
{
    dshowtest::EnableCallLog(true);
    ASSERT_EQ(mGraph->RenderFile(Wide(mClip).c_str(), nullptr), S_OK);
    EXPECT_EQ(dshowtest::CountCalls("CheckMediaType"), 1u);
    EXPECT_EQ(dshowtest::CountCalls("SetMediaType"), 1u);
    EXPECT_EQ(mRenderer->mHeader.biWidth, 8);
    EXPECT_EQ(mRenderer->mHeader.biHeight, 6) << "bottom-up rows";
    EXPECT_EQ(mRenderer->mHeader.biBitCount, 24);
    EXPECT_EQ(mRenderer->mHeader.biSizeImage, 24u * 6u);

    ASSERT_EQ(mControl->Pause(), S_OK);
    ASSERT_EQ(mRenderer->WaitFrames(1), 1u);
    std::vector<uint8_t> first = mRenderer->Frame(0);
    ASSERT_EQ(first.size(), 24u * 6u);
    EXPECT_EQ(PixelAt(first, 8, 6, true, 0, 0), kMarker);
    EXPECT_EQ(PixelAt(first, 8, 6, true, 7, 5), kColours[0]);
    EXPECT_EQ(PixelAt(first, 8, 6, true, 1, 0), kColours[0]);

    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    EXPECT_EQ(mEvents->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    ASSERT_EQ(mControl->Run(), S_OK);
    EXPECT_EQ(mEvents->GetEvent(&code, &p1, &p2, 0), E_ABORT) << "the counter stands still: nothing more is due";
    EXPECT_EQ(dshowtest::DeliveredFrames(), 1);

    Win32TestAdvancePerformanceCounter(4000000); // 0.4 s: the last frame's time
    ASSERT_EQ(mRenderer->WaitFrames(5), 5u);
    for (size_t n = 1; n < 5; ++n)
    {
        SCOPED_TRACE(n);
        std::vector<uint8_t> frame = mRenderer->Frame(n);
        EXPECT_EQ(PixelAt(frame, 8, 6, true, 0, 0), kMarker);
        EXPECT_EQ(PixelAt(frame, 8, 6, true, 4, 3), kColours[n]);
        EXPECT_NE(mRenderer->Thread(n), std::this_thread::get_id());
    }
    ASSERT_EQ(mEvents->GetEvent(&code, &p1, &p2, 5000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(mEvents->FreeEventParams(code, p1, p2), S_OK);
    EXPECT_EQ(mEvents->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    REFTIME position = -1;
    ASSERT_EQ(mPosition->get_CurrentPosition(&position), S_OK);
    EXPECT_NEAR(position, 0.4, 1e-9);

    std::vector<std::string> log = dshowtest::CallLog();
    std::vector<std::string> delivered;
    for (const std::string& entry : log)
        if (entry.rfind("DoRenderSample", 0) == 0)
            delivered.push_back(entry);
    EXPECT_EQ(delivered, (std::vector<std::string>{"DoRenderSample(0)", "DoRenderSample(1)", "DoRenderSample(2)",
                                                   "DoRenderSample(3)", "DoRenderSample(4)"}));
    // Stopped and started again, the clip plays from its first frame.
    ASSERT_EQ(mControl->Stop(), S_OK);
    ASSERT_EQ(mControl->Pause(), S_OK);
    ASSERT_EQ(mRenderer->WaitFrames(6), 6u);
    EXPECT_EQ(PixelAt(mRenderer->Frame(5), 8, 6, true, 4, 3), kColours[0]);
}

TEST_F(DShowLayer, TopDownDeliveryAndPaddedRowsAndPathsWithBackslashesAndOtherCase)
{
    ASSERT_TRUE(dshowtest::WriteClip((mDir / "odd.mkv").string(), 5, 3, 2, 10, ClipPixel));
    dshowtest::DeliverTopDown(true);
    std::string path = mDir.string() + "\\ODD.MKV";
    ASSERT_EQ(mGraph->RenderFile(Wide(path).c_str(), nullptr), S_OK);
    EXPECT_EQ(mRenderer->mHeader.biHeight, -3);
    EXPECT_EQ(mRenderer->mHeader.biSizeImage, 16u * 3u) << "rows of 15 bytes padded to 16";
    ASSERT_EQ(mControl->Pause(), S_OK);
    ASSERT_EQ(mRenderer->WaitFrames(1), 1u);
    std::vector<uint8_t> frame = mRenderer->Frame(0);
    EXPECT_EQ(PixelAt(frame, 5, 3, false, 0, 0), kMarker);
    EXPECT_EQ(PixelAt(frame, 5, 3, false, 4, 2), kColours[0]);
}

TEST_F(DShowLayer, APictureThatChangesSizePartWayIsDeliveredAtTheConnectedSize)
{
    // 8 x 6 for the first frame, 64 x 48 for the next two: those fit the 8 x 6 sample only
    // scaled down.
    const std::string clip = (mDir / "resize.mkv").string();
    // Each frame's left and right halves differ, so a picture written at the wrong size shows.
    ASSERT_TRUE(dshowtest::WriteResizingClip(clip, 8, 6, 1, 64, 48, 3, 10,
                                             [](int frame, int x, int)
                                             { return kColours[frame + (x >= (frame == 0 ? 4 : 32) ? 1 : 0)]; }));
    ASSERT_EQ(mGraph->RenderFile(Wide(clip).c_str(), nullptr), S_OK);
    ASSERT_EQ(mRenderer->mHeader.biWidth, 8);
    ASSERT_EQ(mControl->Run(), S_OK);
    Win32TestAdvancePerformanceCounter(10000000); // a second: every frame is due
    ASSERT_EQ(mRenderer->WaitFrames(3), 3u) << "every frame, the larger ones too";
    const size_t bytes = size_t((3 * 8 + 3) & ~3) * 6;
    for (int n = 0; n < 3; ++n)
    {
        SCOPED_TRACE(n);
        const std::vector<uint8_t> rows = mRenderer->Frame(size_t(n));
        ASSERT_EQ(rows.size(), bytes);
        for (int y : {0, 5})
            for (int x : {0, 7})
                EXPECT_EQ(PixelAt(rows, 8, 6, true, x, y), kColours[n + (x >= 4 ? 1 : 0)]);
    }
    EXPECT_EQ(dshowtest::BrokenGuards(), 0) << "nothing was written past the sample's frame";
}

TEST_F(DShowLayer, AStopWhileHoldingTheRenderersLockReturnsAndTheThreadEndsOnceItIsFreed)
{
    std::mutex gate;
    mRenderer->mGate = &gate;
    ASSERT_EQ(mGraph->RenderFile(Wide(mClip).c_str(), nullptr), S_OK);
    std::unique_lock<std::mutex> held(gate);
    EXPECT_EQ(mControl->Pause(), S_FALSE) << "the first frame is kept by the renderer";
    auto stop = std::async(std::launch::async, [&] { return mControl->Stop(); });
    const bool returned = stop.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "the stop waits for ever";
    held.unlock();
    EXPECT_EQ(stop.get(), returned ? S_FALSE : S_OK);
    EXPECT_EQ(mRenderer->WaitFrames(1), 1u) << "the held frame is drawn once freed";

    // The next cue waits for that thread and starts again from the first frame.
    mRenderer->mGate = nullptr;
    ASSERT_EQ(mControl->Pause(), S_OK);
    ASSERT_EQ(mRenderer->WaitFrames(2), 2u);
    EXPECT_EQ(PixelAt(mRenderer->Frame(1), 8, 6, true, 7, 5), kColours[0]);
    EXPECT_EQ(mControl->Stop(), S_OK);
}

TEST_F(DShowLayer, DurationAndPositionAreReadWhileTheDecodeThreadRuns)
{
    ASSERT_EQ(mGraph->RenderFile(Wide(mClip).c_str(), nullptr), S_OK);
    ASSERT_EQ(mControl->Run(), S_OK);
    Win32TestAdvancePerformanceCounter(10000000);
    for (int i = 0; i < 200; ++i)
    {
        REFTIME length = 0, at = 0;
        ASSERT_EQ(mPosition->get_Duration(&length), S_OK);
        ASSERT_EQ(mPosition->get_CurrentPosition(&at), S_OK);
        EXPECT_NEAR(length, 0.5, 1e-6);
        EXPECT_LE(at, length);
    }
    EXPECT_EQ(mRenderer->WaitFrames(5), 5u);
}

TEST_F(DShowLayer, FailuresReachTheCaller)
{
    LONG code;
    LONG_PTR p1, p2;
    // A refused media type fails the connection and never sets it.
    dshowtest::EnableCallLog(true);
    mRenderer->mAccept = false;
    EXPECT_EQ(mGraph->RenderFile(Wide(mClip).c_str(), nullptr), VFW_E_CANNOT_CONNECT);
    EXPECT_EQ(dshowtest::CountCalls("CheckMediaType"), 1u);
    EXPECT_EQ(dshowtest::CountCalls("SetMediaType"), 0u);
    mRenderer->mAccept = true;

    std::string junk = (mDir / "junk.mkv").string();
    FILE* file = fopen(junk.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fputs("not a video at all", file);
    fclose(file);
    EXPECT_EQ(mGraph->RenderFile(Wide((mDir / "missing.mkv").string()).c_str(), nullptr), HRESULT_FILE_NOT_FOUND);
    EXPECT_EQ(mGraph->RenderFile(Wide(junk).c_str(), nullptr), VFW_E_UNKNOWN_FILE_TYPE);

    // Without a filter of the renderer's name nothing can show the video.
    IGraphBuilder* bare = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&bare)),
              S_OK);
    auto* other = new RecordingRenderer();
    ASSERT_EQ(bare->AddFilter(other, u"Some Renderer"), S_OK);
    EXPECT_EQ(bare->RenderFile(Wide(mClip).c_str(), nullptr), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(bare->RemoveFilter(other), S_OK);
    EXPECT_EQ(bare->RemoveFilter(other), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(bare->Release(), 0u);

    // Injected failures answer once, then the call works again.
    dshowtest::FailNext("FreeEventParams", E_FAIL);
    EXPECT_EQ(mEvents->FreeEventParams(EC_COMPLETE, 0, 0), E_FAIL);
    EXPECT_EQ(mEvents->FreeEventParams(EC_COMPLETE, 0, 0), S_OK);
    dshowtest::FailNext("Run", E_UNEXPECTED);
    EXPECT_EQ(mControl->Run(), E_UNEXPECTED);
    EXPECT_EQ(mEvents->GetEvent(&code, &p1, &p2, 0), E_ABORT);

    // COM refuses unknown classes and callers that never initialised it.
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(IID_IMediaControl, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &object),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
}

TEST_F(DShowLayer, RemovingTheConnectedRendererStopsTheDecodeThreadFirst)
{
    ASSERT_EQ(mGraph->RenderFile(Wide(mClip).c_str(), nullptr), S_OK);
    ASSERT_EQ(mControl->Run(), S_OK);
    Win32TestAdvancePerformanceCounter(1000000);
    mRenderer->WaitFrames(2);
    EXPECT_EQ(mGraph->RemoveFilter(mRenderer), S_OK);
    EXPECT_EQ(RecordingRenderer::sLive, 0) << "the graph held the only reference";
    int delivered = dshowtest::DeliveredFrames();
    Win32TestAdvancePerformanceCounter(10000000);
    EXPECT_EQ(mControl->Run(), S_OK);
    EXPECT_EQ(dshowtest::DeliveredFrames(), delivered);
}

} // namespace
