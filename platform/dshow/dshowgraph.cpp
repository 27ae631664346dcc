// The filter graph: one object behind the builder, control, event and position
// interfaces. RenderFile connects the file's decoder to the "Video Renderer" filter; a
// decode thread hands each frame to it when the graph clock reaches the frame's time.
#include "dshow_local.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dshow
{
namespace
{

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
const std::u16string kRendererName = u"Video Renderer";

/// How long a stop waits for the decode thread to leave its renderer.
constexpr std::chrono::seconds kStopWait{2};

REFERENCE_TIME ClockNow()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    // 10 MHz is the unit itself; other rates are scaled without overflowing.
    if (frequency.QuadPart == kUnitsPerSecond)
        return count.QuadPart;
    return REFERENCE_TIME(static_cast<__int128>(count.QuadPart) * kUnitsPerSecond / frequency.QuadPart);
}

std::string Narrow(LPCWSTR text)
{
    std::string out;
    for (const WCHAR* unit = text; unit && *unit; ++unit)
        out.push_back(*unit < 0x80 ? char(*unit) : '?');
    return out;
}

/// The one sample the graph hands out, over its frame buffer.
class Sample final : public IMediaSample
{
public:
    HRESULT QueryInterface(REFIID, void** object) override
    {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the graph: renderers may count references, the sample outlives them.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override
    {
        if (!buffer)
            return E_POINTER;
        *buffer = mBytes.data();
        return S_OK;
    }
    LONG GetSize() override { return LONG(mBytes.size() - kGuardBytes); }
    LONG GetActualDataLength() override { return mLength; }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        if (!start || !end)
            return E_POINTER;
        *start = mStart;
        *end = mEnd;
        return S_OK;
    }

    /// Past the frame, a band the decoder must never reach; the test hooks count breaches.
    static constexpr size_t kGuardBytes = 64;
    static constexpr BYTE kGuardByte = 0xA5;

    void Size(size_t frameBytes)
    {
        mBytes.assign(frameBytes + kGuardBytes, kGuardByte);
        std::fill(mBytes.begin(), mBytes.end() - kGuardBytes, BYTE(0));
    }
    bool GuardIntact() const
    {
        return std::all_of(mBytes.end() - kGuardBytes, mBytes.end(), [](BYTE b) { return b == kGuardByte; });
    }

    std::vector<BYTE> mBytes;
    LONG mLength = 0;
    REFERENCE_TIME mStart = 0;
    REFERENCE_TIME mEnd = 0;
};

struct Event
{
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

enum class State
{
    Stopped,
    Paused,
    Running,
};

class FilterGraph final : public IGraphBuilder, public IMediaControl, public IMediaEventEx, public IMediaPosition
{
public:
    FilterGraph() { NoteGraph(1); }

    // ---- IUnknown ------------------------------------------------------------------------
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        LogCall("QueryInterface(" + InterfaceName(iid) + ")");
        if (!object)
            return E_POINTER;
        *object = nullptr;
        HRESULT fault;
        if (TakeFault("QueryInterface", &fault))
            return fault;
        return Lookup(iid, object);
    }

    /// The interface without log or fault: one reference more, or E_NOINTERFACE.
    HRESULT Lookup(REFIID iid, void** object)
    {
        if (iid == IID_IUnknown || iid == IID_IGraphBuilder)
            *object = static_cast<IGraphBuilder*>(this);
        else if (iid == IID_IMediaControl)
            *object = static_cast<IMediaControl*>(this);
        else if (iid == IID_IMediaEventEx)
            *object = static_cast<IMediaEventEx*>(this);
        else if (iid == IID_IMediaPosition)
            *object = static_cast<IMediaPosition*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++mReferences; }
    ULONG Release() override
    {
        ULONG left = --mReferences;
        LogCall("Release(" + std::to_string(left) + ")");
        if (left == 0)
            delete this;
        return left;
    }

    // ---- IGraphBuilder -------------------------------------------------------------------
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override
    {
        LogCall("AddFilter(" + Narrow(name) + ")");
        HRESULT fault;
        if (TakeFault("AddFilter", &fault))
            return fault;
        if (!filter)
            return E_POINTER;
        filter->AddRef();
        mFilters.push_back({filter, name ? std::u16string(name) : std::u16string()});
        return S_OK;
    }

    HRESULT RemoveFilter(IBaseFilter* filter) override
    {
        LogCall("RemoveFilter");
        for (auto it = mFilters.begin(); it != mFilters.end(); ++it)
            if (it->filter == filter)
            {
                if (mRenderer && static_cast<IBaseFilter*>(mRenderer) == filter)
                {
                    StopStreaming();
                    Disconnect();
                }
                mFilters.erase(it);
                filter->Release();
                return S_OK;
            }
        return VFW_E_NOT_IN_GRAPH;
    }

    HRESULT RenderFile(LPCWSTR file, LPCWSTR) override
    {
        std::string path = file ? DiskPath(file) : std::string();
        LogCall("RenderFile(" + path + ")");
        HRESULT result;
        if (TakeFault("RenderFile", &result))
            return result;
        if (!file)
            return E_POINTER;
        if (mRenderer)
            return VFW_E_WRONG_STATE;
        // Only our renderer may show the video: without a filter of that name there is
        // nothing to connect to.
        CBaseVideoRenderer* renderer = nullptr;
        for (const FilterEntry& entry : mFilters)
            if (entry.name == kRendererName)
                renderer = dynamic_cast<CBaseVideoRenderer*>(entry.filter);
        auto decoder = std::make_unique<Decoder>();
        result = decoder->Open(path);
        if (FAILED(result))
            return result;
        if (!renderer)
            return VFW_E_CANNOT_RENDER;

        const int width = decoder->Width(), height = decoder->Height();
        const int pitch = (3 * width + 3) & ~3;
        const bool topDown = TopDownWanted();
        VIDEOINFOHEADER info{};
        info.rcSource = {0, 0, width, height};
        info.rcTarget = info.rcSource;
        info.AvgTimePerFrame = decoder->AvgTimePerFrame();
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = topDown ? -height : height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        info.bmiHeader.biSizeImage = DWORD(pitch) * DWORD(height);
        CMediaType type;
        type.majortype = MEDIATYPE_Video;
        type.subtype = MEDIASUBTYPE_RGB24;
        type.bFixedSizeSamples = TRUE;
        type.lSampleSize = info.bmiHeader.biSizeImage;
        type.formattype = FORMAT_VideoInfo;
        type.cbFormat = sizeof(info);
        type.pbFormat = reinterpret_cast<BYTE*>(&info);
        LogCall("CheckMediaType");
        if (renderer->CheckMediaType(&type) != S_OK)
            return VFW_E_CANNOT_CONNECT;
        LogCall("SetMediaType");
        if (FAILED(renderer->SetMediaType(&type)))
            return VFW_E_CANNOT_CONNECT;

        // Read once here: the demuxer belongs to the decode thread while it runs.
        mDuration = decoder->Duration();
        mDecoder = std::move(decoder);
        mRenderer = renderer;
        mPitch = pitch;
        mBottomUp = !topDown;
        mFrameTime = info.AvgTimePerFrame;
        mSample.Size(size_t(pitch) * size_t(height));
        return S_OK;
    }

    // ---- IMediaControl -------------------------------------------------------------------
    HRESULT Run() override
    {
        LogCall("Run");
        HRESULT fault;
        if (TakeFault("Run", &fault))
            return fault;
        bool wasStopped = mState == State::Stopped;
        HRESULT cued = wasStopped ? Cue() : S_OK;
        std::lock_guard<std::mutex> guard(mLock);
        mClockBase = ClockNow() - mPausedAt;
        mState = State::Running;
        mWake.notify_all();
        return cued;
    }

    HRESULT Pause() override
    {
        LogCall("Pause");
        HRESULT fault;
        if (TakeFault("Pause", &fault))
            return fault;
        if (mState == State::Stopped)
            return Cue();
        std::lock_guard<std::mutex> guard(mLock);
        if (mState == State::Running)
            mPausedAt = StreamTimeLocked();
        mState = State::Paused;
        mWake.notify_all();
        return S_OK;
    }

    HRESULT Stop() override
    {
        LogCall("Stop");
        HRESULT fault;
        if (TakeFault("Stop", &fault))
            return fault;
        return StopStreaming() ? S_OK : S_FALSE;
    }

    // ---- IMediaEventEx -------------------------------------------------------------------
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout) override
    {
        if (!code || !param1 || !param2)
            return E_POINTER;
        std::unique_lock<std::mutex> hold(mLock);
        auto waiting = [&] { return !mEvents.empty(); };
        if (DWORD(timeout) == INFINITE)
            mChanged.wait(hold, waiting);
        else if (timeout > 0)
            mChanged.wait_for(hold, std::chrono::milliseconds(timeout), waiting);
        if (mEvents.empty())
        {
            hold.unlock();
            LogCall("GetEvent = E_ABORT");
            return E_ABORT;
        }
        Event event = mEvents.front();
        mEvents.pop_front();
        hold.unlock();
        *code = event.code;
        *param1 = event.param1;
        *param2 = event.param2;
        LogCall("GetEvent = " + std::to_string(event.code));
        return S_OK;
    }

    HRESULT FreeEventParams(LONG code, LONG_PTR, LONG_PTR) override
    {
        LogCall("FreeEventParams(" + std::to_string(code) + ")");
        HRESULT fault;
        if (TakeFault("FreeEventParams", &fault))
            return fault;
        return S_OK;
    }

    // ---- IMediaPosition ------------------------------------------------------------------
    HRESULT get_Duration(REFTIME* length) override
    {
        if (!length)
            return E_POINTER;
        std::lock_guard<std::mutex> guard(mLock);
        *length = double(mDuration) / kUnitsPerSecond;
        return S_OK;
    }

    HRESULT get_CurrentPosition(REFTIME* time) override
    {
        LogCall("get_CurrentPosition");
        if (!time)
            return E_POINTER;
        std::lock_guard<std::mutex> guard(mLock);
        REFERENCE_TIME now = StreamTimeLocked();
        if (mDuration > 0 && now > mDuration)
            now = mDuration;
        *time = double(now < 0 ? 0 : now) / kUnitsPerSecond;
        return S_OK;
    }

private:
    struct FilterEntry
    {
        IBaseFilter* filter;
        std::u16string name;
    };

    ~FilterGraph() override
    {
        StopStreaming();
        // A thread still inside its renderer uses this graph until that call returns.
        if (mThread.joinable())
            mThread.join();
        Disconnect();
        for (const FilterEntry& entry : mFilters)
            entry.filter->Release();
        NoteGraph(-1);
    }

    void Disconnect()
    {
        // A decode thread that has not ended yet may still decode: the decoder waits for it.
        if (!mThread.joinable())
            mDecoder.reset();
        std::lock_guard<std::mutex> guard(mLock);
        mRenderer = nullptr;
        mDuration = 0;
    }

    /// Stream time in 100 ns units: the clock since the run began, or where it stood.
    REFERENCE_TIME StreamTimeLocked() const { return mState == State::Running ? ClockNow() - mClockBase : mPausedAt; }

    /// From stopped: starts the decode thread paused and waits for the first frame.
    HRESULT Cue()
    {
        // A thread left inside its renderer by an earlier stop must be gone before the next.
        if (mThread.joinable() && !EndThread())
            return VFW_E_WRONG_STATE;
        if (!mRenderer)
            mDecoder.reset();
        std::unique_lock<std::mutex> hold(mLock);
        if (mRewindPending && mDecoder)
            mDecoder->Rewind();
        mRewindPending = false;
        mState = State::Paused;
        mPausedAt = 0;
        if (!mRenderer)
            return S_OK;
        mQuit = false;
        mPrimed = false;
        mEnded = false;
        mCompletePosted = false;
        mHaveFrame = false;
        mFrameNumber = 0;
        mThreadDone = false;
        mThread = std::thread([this] { DecodeLoop(); });
        // A renderer that blocks (its own lock held elsewhere) must not hang the caller.
        if (!mChanged.wait_for(hold, std::chrono::seconds(2), [&] { return mPrimed; }))
            return S_FALSE;
        return S_OK;
    }

    /// Ends the decode thread: true once it has, false when it is still inside its renderer
    /// after kStopWait (the renderer waits for a lock the caller holds). It then ends by
    /// itself when that call returns; the next stop, cue or the graph's end waits for it.
    bool EndThread()
    {
        std::unique_lock<std::mutex> hold(mLock);
        mQuit = true;
        mWake.notify_all();
        if (!mChanged.wait_for(hold, kStopWait, [&] { return mThreadDone; }))
            return false;
        hold.unlock();
        if (mThread.joinable())
            mThread.join();
        return true;
    }

    /// Stopped and rewound; false when the thread did not end in time (the rewind then waits
    /// for the next cue).
    bool StopStreaming()
    {
        const bool ended = EndThread();
        std::lock_guard<std::mutex> guard(mLock);
        if (mState != State::Stopped && mDecoder)
        {
            if (ended)
                mDecoder->Rewind();
            else
                mRewindPending = true;
        }
        mState = State::Stopped;
        mPausedAt = 0;
        return ended;
    }

    void DecodeLoop()
    {
        std::unique_lock<std::mutex> hold(mLock);
        Loop(hold);
        mThreadDone = true;
        mChanged.notify_all();
    }

    void Loop(std::unique_lock<std::mutex>& hold)
    {
        while (!mQuit)
        {
            if (!mHaveFrame && !mEnded)
            {
                REFERENCE_TIME start = 0;
                hold.unlock();
                bool decoded = mDecoder->Next(mSample.mBytes.data(), mPitch, mBottomUp, &start);
                if (!mSample.GuardIntact())
                    NoteGuardBroken();
                hold.lock();
                if (decoded)
                {
                    mHaveFrame = true;
                    mSample.mStart = start;
                    mSample.mEnd = start + mFrameTime;
                    mSample.mLength = mSample.GetSize() - SampleShortening();
                    if (mSample.mLength < 0)
                        mSample.mLength = 0;
                }
                else
                    mEnded = true;
                continue;
            }
            if (!mHaveFrame)
            {
                // The end of the stream: complete once the clock runs.
                if (!mPrimed)
                {
                    mPrimed = true;
                    mChanged.notify_all();
                }
                if (mState == State::Running && !mCompletePosted)
                {
                    mCompletePosted = true;
                    mEvents.push_back({EC_COMPLETE, 0, 0});
                    mChanged.notify_all();
                }
                mWake.wait(hold);
                continue;
            }
            bool due = !mPrimed || (mState == State::Running && StreamTimeLocked() >= mSample.mStart);
            if (!due)
            {
                // The clock is the performance counter, which nothing signals: look again
                // every millisecond while running; paused, wait for a state change.
                if (mState == State::Running)
                    mWake.wait_for(hold, std::chrono::milliseconds(1));
                else
                    mWake.wait(hold);
                continue;
            }
            int number = mFrameNumber++;
            // The renderer may be removed while it draws (a stop that gave up waiting).
            CBaseVideoRenderer* renderer = mRenderer;
            renderer->AddRef();
            hold.unlock();
            if (CallLogOn())
                LogCall("DoRenderSample(" + std::to_string(number) + ")");
            renderer->DoRenderSample(&mSample);
            renderer->Release();
            NoteDelivered();
            hold.lock();
            mHaveFrame = false;
            if (!mPrimed)
            {
                mPrimed = true;
                mChanged.notify_all();
            }
        }
    }

public:
    ULONG mReferences = 0;

private:
    std::vector<FilterEntry> mFilters;
    CBaseVideoRenderer* mRenderer = nullptr;
    std::unique_ptr<Decoder> mDecoder;
    int mPitch = 0;
    bool mBottomUp = true;
    REFERENCE_TIME mFrameTime = 0;

    // Shared with the decode thread under mLock.
    std::mutex mLock;
    std::condition_variable mWake;    ///< to the decode thread: state changed or quit
    std::condition_variable mChanged; ///< to callers: first frame handed over, event queued
    std::thread mThread;
    State mState = State::Stopped;
    REFERENCE_TIME mClockBase = 0;
    REFERENCE_TIME mPausedAt = 0;
    bool mQuit = false;
    bool mPrimed = false;
    bool mEnded = false;
    bool mCompletePosted = false;
    bool mHaveFrame = false;
    bool mThreadDone = true;      ///< the decode thread has left its loop (or never ran)
    bool mRewindPending = false;  ///< a stop could not rewind: the next cue does
    REFERENCE_TIME mDuration = 0; ///< read when the file was rendered
    int mFrameNumber = 0;
    Sample mSample;
    std::deque<Event> mEvents;
};

} // namespace

HRESULT CreateFilterGraph(REFIID iid, void** object)
{
    auto* graph = new FilterGraph();
    graph->AddRef();
    HRESULT result = graph->Lookup(iid, object);
    // Without the interface the creation's own reference is the last.
    if (FAILED(result))
        graph->Release();
    else
        --graph->mReferences;
    return result;
}

} // namespace dshow
