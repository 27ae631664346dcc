// COM start-up and object creation, the base video renderer's reference counting, and the
// test hooks' call log, faults and delivery options.
#include "dshow_local.h"
#include "dshowtesthooks.h"

#include <atomic>
#include <map>
#include <mutex>

namespace
{
// The decode thread logs too, so the log and the options are guarded.
std::mutex gLock;
bool gLogOn = false;
std::vector<std::string> gLog;
std::map<std::string, std::pair<int, HRESULT>, std::less<>> gFaults;
bool gTopDown = false;
LONG gShorten = 0;
std::atomic<int> gLiveGraphs{0};
std::atomic<int> gDelivered{0};
std::atomic<int> gBrokenGuards{0};
std::atomic<int> gComDepth{0};

std::string GuidName(REFIID iid)
{
    if (iid == IID_IGraphBuilder)
        return "IGraphBuilder";
    if (iid == IID_IMediaControl)
        return "IMediaControl";
    if (iid == IID_IMediaEventEx)
        return "IMediaEventEx";
    if (iid == IID_IMediaPosition)
        return "IMediaPosition";
    if (iid == IID_IUnknown)
        return "IUnknown";
    if (iid == IID_IBaseFilter)
        return "IBaseFilter";
    return "other";
}
} // namespace

namespace dshow
{

bool CallLogOn()
{
    std::lock_guard<std::mutex> guard(gLock);
    return gLogOn;
}

void LogCall(std::string entry)
{
    std::lock_guard<std::mutex> guard(gLock);
    if (gLogOn)
        gLog.push_back(std::move(entry));
}

bool TakeFault(const char* name, HRESULT* result)
{
    std::lock_guard<std::mutex> guard(gLock);
    auto it = gFaults.find(std::string_view(name));
    if (it == gFaults.end() || it->second.first <= 0)
        return false;
    *result = it->second.second;
    if (--it->second.first == 0)
        gFaults.erase(it);
    return true;
}

bool TopDownWanted()
{
    std::lock_guard<std::mutex> guard(gLock);
    return gTopDown;
}

LONG SampleShortening()
{
    std::lock_guard<std::mutex> guard(gLock);
    return gShorten;
}

void NoteGraph(int delta)
{
    gLiveGraphs += delta;
}

void NoteDelivered()
{
    ++gDelivered;
}

void NoteGuardBroken()
{
    ++gBrokenGuards;
}

std::string InterfaceName(REFIID iid)
{
    return GuidName(iid);
}

} // namespace dshow

// ---- COM -------------------------------------------------------------------------------------

HRESULT CoInitialize(void*)
{
    dshow::LogCall("CoInitialize");
    return gComDepth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    dshow::LogCall("CoUninitialize");
    int depth = gComDepth.load();
    while (depth > 0 && !gComDepth.compare_exchange_weak(depth, depth - 1))
    {
    }
}

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    dshow::LogCall("CoCreateInstance(" + GuidName(iid) + ")");
    if (!object)
        return E_POINTER;
    *object = nullptr;
    HRESULT fault;
    if (dshow::TakeFault("CoCreateInstance", &fault))
        return fault;
    if (gComDepth.load() == 0)
        return CO_E_NOTINITIALIZED;
    if (!(classId == CLSID_FilterGraph) || !(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    return dshow::CreateFilterGraph(iid, object);
}

// ---- The base video renderer -----------------------------------------------------------------

CBaseVideoRenderer::CBaseVideoRenderer(REFCLSID classId, const char*, IUnknown*, HRESULT* result) : mClassId(classId)
{
    if (result)
        *result = S_OK;
}

CBaseVideoRenderer::~CBaseVideoRenderer() = default;

HRESULT CBaseVideoRenderer::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter)
    {
        *object = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CBaseVideoRenderer::AddRef()
{
    return ULONG(++mReferences);
}

ULONG CBaseVideoRenderer::Release()
{
    std::intptr_t left = --mReferences;
    if (left <= 0)
    {
        delete this;
        return 0;
    }
    return ULONG(left);
}

HRESULT CBaseVideoRenderer::GetClassID(CLSID* classId)
{
    if (!classId)
        return E_POINTER;
    *classId = mClassId;
    return S_OK;
}

HRESULT CBaseVideoRenderer::SetMediaType(const CMediaType*)
{
    return S_OK;
}

// ---- Test hooks ------------------------------------------------------------------------------

namespace dshowtest
{

void Reset()
{
    std::lock_guard<std::mutex> guard(gLock);
    gLogOn = false;
    gLog.clear();
    gFaults.clear();
    gTopDown = false;
    gShorten = 0;
    gDelivered = 0;
    gBrokenGuards = 0;
}

void EnableCallLog(bool on)
{
    std::lock_guard<std::mutex> guard(gLock);
    gLogOn = on;
}

void ClearCallLog()
{
    std::lock_guard<std::mutex> guard(gLock);
    gLog.clear();
}

std::vector<std::string> CallLog()
{
    std::lock_guard<std::mutex> guard(gLock);
    return gLog;
}

size_t CountCalls(std::string_view name)
{
    std::lock_guard<std::mutex> guard(gLock);
    size_t count = 0;
    for (const std::string& entry : gLog)
        if (std::string_view(entry).substr(0, entry.find('(')) == name)
            ++count;
    return count;
}

void FailNext(std::string_view name, HRESULT result, int count)
{
    std::lock_guard<std::mutex> guard(gLock);
    gFaults[std::string(name)] = {count, result};
}

void DeliverTopDown(bool on)
{
    std::lock_guard<std::mutex> guard(gLock);
    gTopDown = on;
}

void ShortenSamples(LONG bytes)
{
    std::lock_guard<std::mutex> guard(gLock);
    gShorten = bytes;
}

int LiveGraphs()
{
    return gLiveGraphs.load();
}

int DeliveredFrames()
{
    return gDelivered.load();
}

int BrokenGuards()
{
    return gBrokenGuards.load();
}

} // namespace dshowtest
