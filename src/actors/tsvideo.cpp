// The cut-scene video player over the filter graph, and the video mutex.
#include "tsvideo.h"

#include "hbclock.h"
#include "hbfile.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "hbtext.h"
#include "tsvideorenderer.h"

#include <string>

namespace
{

enum PollState : int32_t
{
    kReady = 0,
    kPlaying = 1,
    kFinished = 2,
    kFailed = 3,
};

HANDLE gMutex = nullptr;
IGraphBuilder* gGraph = nullptr;
IMediaControl* gControl = nullptr;
IMediaEventEx* gEvent = nullptr;
IMediaPosition* gPosition = nullptr;
TsVideoRenderer* gRenderer = nullptr;
bool gComStarted = false;
TsVideoStartCallback gCallback = nullptr;
int32_t gArgument = 0;
int64_t gStartTime = 0;
int32_t gState = kFinished;
HbInputAction* gSkipAction = nullptr;
uint32_t gSkipBindings = 0;
bool gSkipAllowed = true;

template <class Interface> void ReleaseInterface(Interface*& object)
{
    if (object)
        object->Release();
    object = nullptr;
}

/// The skip action, looked up again whenever the bindings changed.
HbInputAction* SkipAction()
{
    uint32_t bindings = HbInputManager::BindingCounter();
    if (!gSkipAction || bindings != gSkipBindings)
    {
        gSkipAction = HbInputManager::Instance()->FindAction("SKIP_CINEMATIC");
        gSkipBindings = bindings;
    }
    return gSkipAction;
}

} // namespace

int32_t TsVideoCreateMutex()
{
    if (!gMutex)
        gMutex = CreateMutexA(nullptr, FALSE, nullptr);
    return 0;
}

int32_t TsVideoLockFrame()
{
    return WaitForSingleObject(gMutex, INFINITE) == WAIT_OBJECT_0 ? 1 : 0;
}

void TsVideoUnlockFrame()
{
    ReleaseMutex(gMutex);
}

int32_t TsVideoOpen(const char* name, TsVideoStartCallback callback, int32_t argument)
{
    // One video at a time: whatever an earlier open left behind goes first.
    if (gGraph || gControl || gEvent || gPosition || gComStarted)
        TsVideoClose();
    if (!name)
        return 5;
    std::string path = name;
    if (!HbFileExists(name))
        HbPathGetFileName(name, path);

    gComStarted = true;
    CoInitialize(nullptr);
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&gGraph))) ||
        FAILED(gGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&gControl))) ||
        FAILED(gGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&gEvent))) ||
        FAILED(gGraph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&gPosition))))
        return 5;

    HRESULT made = S_OK;
    auto* renderer = new TsVideoRenderer(&made);
    if (FAILED(made) || FAILED(gGraph->AddFilter(renderer, u"Video Renderer")))
    {
        // Nobody took a reference: this one is the last.
        renderer->AddRef();
        renderer->Release();
        return 5;
    }
    gRenderer = renderer;

    if (FAILED(gGraph->RenderFile(HbAsciiToWide(path.c_str()), nullptr)) || FAILED(gControl->Run()) ||
        FAILED(gControl->Pause()))
        return 5;
    gCallback = callback;
    gArgument = argument;
    gSkipAllowed = true;
    gState = kReady;
    return 0;
}

void TsVideoAllowSkip(int32_t allow)
{
    gSkipAllowed = allow != 0;
}

int32_t TsVideoPoll(Raster** raster, float* time, int32_t* playState)
{
    switch (gState)
    {
    case kReady:
        if (!gControl || FAILED(gControl->Run()))
            return 5;
        if (gCallback)
            gCallback(gArgument);
        gStartTime = HbRealClock::Instance()->mCurrentTime;
        *time = 0.0f;
        *playState = kReady;
        gState = kPlaying;
        return 0;
    case kPlaying:
    {
        *playState = kPlaying;
        // The decode thread never touches the raster: the latest frame goes in here.
        if (gRenderer)
            gRenderer->ShowLatest();
        *raster = gRenderer ? gRenderer->GetRaster() : nullptr;
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        *time = float(double(HbRealClock::Instance()->mCurrentTime - gStartTime) / double(frequency.QuadPart));
        REFTIME position = 0.0;
        if (gPosition && SUCCEEDED(gPosition->get_CurrentPosition(&position)))
            *time = float(position);
        LONG code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        if (gEvent && gEvent->GetEvent(&code, &param1, &param2, 0) == S_OK)
        {
            if (FAILED(gEvent->FreeEventParams(code, param1, param2)))
            {
                gState = kFailed;
                return 0;
            }
            if (code == EC_COMPLETE)
            {
                gState = kFinished;
                return 0;
            }
        }
        HbInputAction* skip = gSkipAllowed ? SkipAction() : nullptr;
        if (skip && skip->IsTriggered())
            gState = kFinished;
        return 0;
    }
    case kFinished:
        *playState = kFinished;
        return 0;
    default:
        return 4;
    }
}

int32_t TsVideoGetSize(float* width, float* height)
{
    if (!gRenderer)
        return 7;
    *width = float(gRenderer->GetWidth());
    *height = float(gRenderer->GetHeight());
    return 0;
}

int32_t TsVideoClose()
{
    if (gControl)
        gControl->Stop();
    if (gGraph && gRenderer)
        gGraph->RemoveFilter(gRenderer);
    gRenderer = nullptr;
    ReleaseInterface(gPosition);
    ReleaseInterface(gEvent);
    ReleaseInterface(gControl);
    ReleaseInterface(gGraph);
    if (gComStarted)
        CoUninitialize();
    gComStarted = false;
    gCallback = nullptr;
    gArgument = 0;
    return 0;
}
