// The recording device driver, the recording memory functions and the engine fixture.
#include "testdevice.h"

#include "error.h"
#include "fpu.h"

#include <cstdlib>

std::vector<int32_t> TestDevice::requests;
std::set<int32_t> TestDevice::refused;
bool TestDevice::refuseAttach;
bool TestDevice::noRecord;
std::vector<VideoMode> TestDevice::modes;
int32_t TestDevice::currentMode;
void* TestDevice::openRecord;
CpuFeatures TestDevice::features;
int32_t TestDevice::attachCount;
int32_t TestDevice::rasterCreateCalls;
float TestDevice::gamma;
std::map<int32_t, StandardFunction> TestDevice::slots;

std::map<void*, TestMemory::Block> TestMemory::live;
std::vector<uint32_t> TestMemory::hints;
std::function<bool(size_t, uint32_t)> TestMemory::refuse;

namespace
{

bool sStarted = false;

int32_t RasterCreate(void*, void*, int32_t)
{
    ++TestDevice::rasterCreateCalls;
    return 1;
}

int32_t System(int32_t request, void* out, void* inOut, int32_t number)
{
    TestDevice::requests.push_back(request);
    if (TestDevice::refused.count(request))
        return 0;
    switch (request)
    {
    case kDeviceOpen:
        TestDevice::openRecord = inOut;
        return 1;
    case kDeviceClose:
        return 1;
    case kDeviceStart:
        sStarted = true;
        return 1;
    case kDeviceStop:
        FPU::RestoreControlWord();
        sStarted = false;
        return 1;
    case kDeviceRegister:
        *static_cast<DeviceRecord*>(out) = *TestDevice::Record();
        static_cast<DeviceRecord*>(out)->gamma = TestDevice::gamma;
        return 1;
    case kDeviceNumVideoModes:
        *static_cast<int32_t*>(out) = int32_t(TestDevice::modes.size());
        return 1;
    case kDeviceVideoModeInfo:
        if (number < 0 || number >= int32_t(TestDevice::modes.size()))
            return 0;
        *static_cast<VideoMode*>(out) = TestDevice::modes[size_t(number)];
        return 1;
    case kDeviceUseVideoMode:
        if (sStarted || number < 0 || number >= int32_t(TestDevice::modes.size()))
            return 0;
        TestDevice::currentMode = number;
        return 1;
    case kDeviceCurrentVideoMode:
        *static_cast<int32_t*>(out) = TestDevice::currentMode;
        return 1;
    case kDeviceStandardFunctions:
    {
        // Only the slots the test chose are offered; the core must fill the rest.
        auto* slots = static_cast<StandardFunction*>(out);
        for (int32_t i = 0; i < number; ++i)
            slots[i] = nullptr;
        for (const auto& [slot, function] : TestDevice::slots)
            if (slot < number)
                slots[slot] = function;
        return 1;
    }
    case kDeviceFinaliseStart:
        CpuFeature::InstallRoutines(TestDevice::features);
        return 1;
    default:
        return 0;
    }
}

DeviceRecord sRecord = {1.0f, System, 0.0f, 1.0f, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};

int32_t Attach()
{
    ++TestDevice::attachCount;
    return TestDevice::refuseAttach ? 0 : 1;
}

const DeviceRecord* GetRecord()
{
    return TestDevice::noRecord ? nullptr : &sRecord;
}

const DeviceDriver sDriver = {Attach, GetRecord};

// ---- Memory -------------------------------------------------------------------------------

void* Allocate(size_t size, uint32_t hint)
{
    TestMemory::hints.push_back(hint);
    if (TestMemory::refuse && TestMemory::refuse(size, hint))
        return nullptr;
    void* p = std::malloc(size ? size : 1);
    TestMemory::live[p] = {size, hint};
    return p;
}

void Free(void* p)
{
    if (!p)
        return;
    EXPECT_EQ(TestMemory::live.erase(p), 1u) << "freeing a block the engine did not allocate";
    std::free(p);
}

void* Reallocate(void* p, size_t size, uint32_t hint)
{
    TestMemory::hints.push_back(hint);
    if (TestMemory::refuse && TestMemory::refuse(size, hint))
        return nullptr;
    void* q = std::realloc(p, size);
    if (q)
    {
        TestMemory::live.erase(p);
        TestMemory::live[q] = {size, hint};
    }
    return q;
}

void* AllocateZeroed(size_t count, size_t size, uint32_t hint)
{
    TestMemory::hints.push_back(hint);
    if (TestMemory::refuse && TestMemory::refuse(count * size, hint))
        return nullptr;
    void* p = std::calloc(count ? count : 1, size ? size : 1);
    TestMemory::live[p] = {count * size, hint};
    return p;
}

const MemoryFunctions sMemory = {Allocate, Free, Reallocate, AllocateZeroed};

} // namespace

void TestDevice::Reset()
{
    requests.clear();
    refused.clear();
    refuseAttach = false;
    noRecord = false;
    modes = {{640, 480, 32, 0, 60, 0x500}, {800, 600, 32, 1, 75, 0x600}, {1024, 768, 16, 1, 60, 0x200}};
    currentMode = 0;
    openRecord = nullptr;
    features = CpuFeature::Detect();
    attachCount = 0;
    rasterCreateCalls = 0;
    gamma = 1.0f;
    slots = {{kStdRasterCreate, RasterCreate}};
    sStarted = false;
}

const DeviceDriver* TestDevice::Driver()
{
    return &sDriver;
}

const DeviceRecord* TestDevice::Record()
{
    return &sRecord;
}

void TestMemory::Reset()
{
    live.clear();
    hints.clear();
    refuse = nullptr;
}

const MemoryFunctions* TestMemory::Functions()
{
    return &sMemory;
}

size_t TestMemory::CountLive(uint32_t hint)
{
    size_t n = 0;
    for (const auto& [p, block] : live)
        n += block.hint == hint;
    return n;
}

// ---- Fixture ------------------------------------------------------------------------------------

void EngineFixture::SetUp()
{
    ShutDownEngine();
    TestDevice::Reset();
    TestMemory::Reset();
    Engine::SetDriver(TestDevice::Driver());
}

void EngineFixture::TearDown()
{
    TestDevice::refused.clear();
    TestMemory::refuse = nullptr;
    ShutDownEngine();
    EXPECT_TRUE(TestMemory::live.empty()) << TestMemory::live.size() << " engine blocks left after Engine::Term";
    Error e;
    Error::Get(&e);
}

void EngineFixture::StartEngine(uint32_t flags)
{
    ASSERT_NE(Engine::Init(TestMemory::Functions(), flags, 0), 0);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
}

void EngineFixture::ShutDownEngine()
{
    Engine* engine = Engine::Current();
    if (!engine)
        return;
    if (engine->state == kEngineStarted)
        Engine::Stop();
    if (Engine::Current()->state == kEngineOpened)
        Engine::Close();
    Engine::Term();
}
