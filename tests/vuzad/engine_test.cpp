// Tests of the engine instance: the start-up and shut-down states, the device requests
// and the core's own answers, module blocks and their open and close order.
#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

int32_t State()
{
    return Engine::Current() ? Engine::Current()->state : kEngineNotInitialised;
}

// ---- The state machine ---------------------------------------------------------------------

enum class Op
{
    Init,
    Open,
    OpenNull,
    Start,
    Stop,
    Close,
    Term,
};

struct Step
{
    Op op;
    int32_t result;
    int32_t error; ///< kErrNone when the slot must stay empty
    int32_t state; ///< after the step
};

struct StateCase
{
    const char* name;
    std::vector<int32_t> refused;
    std::vector<Step> steps;
};

class EngineStates : public EngineFixture
{
protected:
    int32_t Run(Op op)
    {
        switch (op)
        {
        case Op::Init:
            return Engine::Init(TestMemory::Functions(), 0, 0);
        case Op::Open:
            return Engine::Open(&mWindow);
        case Op::OpenNull:
            return Engine::Open(nullptr);
        case Op::Start:
            return Engine::Start();
        case Op::Stop:
            return Engine::Stop();
        case Op::Close:
            return Engine::Close();
        case Op::Term:
            return Engine::Term();
        }
        return -1;
    }
};

TEST_F(EngineStates, CallsAnswerByStateAndOrder)
{
    const int32_t N = kErrNone;
    const StateCase cases[] = {
        {"full cycle",
         {},
         {{Op::Init, 1, N, 1},
          {Op::Open, 1, N, 2},
          {Op::Start, 1, N, 3},
          {Op::Stop, 1, N, 2},
          {Op::Close, 1, N, 1},
          {Op::Term, 1, N, 0}}},
        {"open before init points at the static record", {}, {{Op::Open, 0, kErrEngineState, 0}}},
        {"open with a null record", {}, {{Op::Init, 1, N, 1}, {Op::OpenNull, 0, kErrNullArgument, 1}}},
        {"open twice", {}, {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Open, 0, kErrEngineState, 2}}},
        {"init twice", {}, {{Op::Init, 1, N, 1}, {Op::Init, 0, N, 1}}},
        {"init while open", {}, {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Init, 0, N, 2}}},
        {"term while open", {}, {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Term, 0, N, 2}}},
        {"start before open", {}, {{Op::Init, 1, N, 1}, {Op::Start, 0, kErrEngineState, 1}}},
        {"stop before start", {}, {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Stop, 0, kErrEngineState, 2}}},
        {"close while started",
         {},
         {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Start, 1, N, 3}, {Op::Close, 0, kErrEngineState, 3}}},
        {"start again after stop",
         {},
         {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Start, 1, N, 3}, {Op::Stop, 1, N, 2}, {Op::Start, 1, N, 3}}},
        {"init again after term", {}, {{Op::Init, 1, N, 1}, {Op::Term, 1, N, 0}, {Op::Init, 1, N, 1}}},
        {"device refuses to start",
         {kDeviceStart},
         {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Start, 0, kCoreErrDeviceRequest, 2}}},
        {"device refuses to close",
         {kDeviceClose},
         {{Op::Init, 1, N, 1}, {Op::Open, 1, N, 2}, {Op::Close, 0, kCoreErrDeviceRequest, 2}}},
    };
    for (const StateCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetUp();
        TestDevice::refused.insert(c.refused.begin(), c.refused.end());
        for (size_t i = 0; i < c.steps.size(); ++i)
        {
            const Step& s = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i));
            EXPECT_EQ(Run(s.op), s.result);
            EXPECT_EQ(TakeError(), s.error);
            EXPECT_EQ(State(), s.state);
        }
        TearDown();
    }
}

TEST_F(EngineStates, FullCycleSendsTheRequestsInOrder)
{
    StartEngine();
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    ASSERT_EQ(Engine::Term(), 1);
    EXPECT_EQ(TestDevice::requests,
              (std::vector<int32_t>{kDeviceRegister, kDeviceOpen, kDeviceStandardFunctions, kDeviceStart,
                                    kDeviceFinaliseStart, kDeviceInitiateStop, kDeviceStop, kDeviceClose}));
    EXPECT_EQ(TestDevice::openRecord, &mWindow);
    EXPECT_EQ(TestDevice::attachCount, 1);
}

TEST_F(EngineStates, RefusedDeviceOpenLeavesTheEngineReadyToRetry)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    Engine* staticRecord = Engine::Current();
    size_t liveBefore = TestMemory::live.size();

    TestDevice::refused = {kDeviceOpen};
    EXPECT_EQ(Engine::Open(&mWindow), 0);
    EXPECT_EQ(Engine::Current(), staticRecord);
    EXPECT_EQ(State(), kEngineInitialised);
    EXPECT_EQ(Engine::GetOpenCount(), 0);
    EXPECT_EQ(TestMemory::live.size(), liveBefore) << "the instance is freed";
    EXPECT_EQ(TakeError(), kCoreErrDeviceRequest);

    TestDevice::refused.clear();
    EXPECT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_NE(Engine::Current(), staticRecord);
    EXPECT_EQ(Engine::GetOpenCount(), 1);
}

TEST_F(EngineStates, OpenFailsWithoutADeviceOrMemory)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    Engine* staticRecord = Engine::Current();

    TestDevice::noRecord = true;
    EXPECT_EQ(Engine::Open(&mWindow), 0);
    EXPECT_TRUE(TestDevice::requests.empty());
    TestDevice::noRecord = false;

    size_t instanceSize = size_t(Engine::GetInstanceSize());
    TestMemory::refuse = [&](size_t size, uint32_t) { return size == instanceSize; };
    EXPECT_EQ(Engine::Open(&mWindow), 0);
    EXPECT_EQ(TakeError(), kErrNoMemory);
    EXPECT_EQ(Engine::Current(), staticRecord);
    EXPECT_EQ(State(), kEngineInitialised);
}

TEST_F(EngineStates, InitFailsCleanlyWithoutADriverThatAttaches)
{
    TestDevice::refuseAttach = true;
    EXPECT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    EXPECT_EQ(State(), kEngineNotInitialised);
    EXPECT_TRUE(TestMemory::live.empty()) << "registry and free lists undone";
    EXPECT_EQ(Engine::GetPluginOffset(Error::kPluginId), -1);

    Engine::SetDriver(nullptr);
    EXPECT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    EXPECT_TRUE(TestMemory::live.empty());

    Engine::SetDriver(TestDevice::Driver());
    TestDevice::refuseAttach = false;
    EXPECT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
}

// A refused second Init must not touch the free-list choice or the arena size of the
// running engine.
TEST_F(EngineStates, RefusedSecondInitChangesNothing)
{
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 777), 0);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
    Engine* instance = Engine::Current();

    EXPECT_EQ(Engine::Init(nullptr, kEngineNoFreeLists, 99), 0);
    EXPECT_EQ(Engine::Current(), instance);
    EXPECT_EQ(instance->arenaSize, 777);
    EXPECT_EQ(instance->freeListFunctions.take, &FreeList::Alloc);
    EXPECT_TRUE(FreeList::IsEnabled());
    EXPECT_EQ(instance->memoryFunctions.allocate, TestMemory::Functions()->allocate);
}

TEST_F(EngineStates, CloseKeepsTheTablesOfInitAndFreesTheInstance)
{
    StartEngine();
    size_t instanceSize = size_t(Engine::GetInstanceSize());
    ASSERT_EQ(Engine::Stop(), 1);
    ASSERT_EQ(Engine::Close(), 1);
    EXPECT_EQ(Engine::GetOpenCount(), 0);
    for (const auto& [p, block] : TestMemory::live)
        EXPECT_NE(block.size, instanceSize) << "the instance and its module blocks are gone";
    const Engine* engine = Engine::Current();
    EXPECT_EQ(engine->memoryFunctions.allocate, TestMemory::Functions()->allocate);
    EXPECT_EQ(engine->freeListFunctions.take, &FreeList::Alloc);
    EXPECT_EQ(engine->device.system, TestDevice::Record()->system);
}

// ---- Device requests -----------------------------------------------------------------------

TEST_F(EngineStates, CoreAnswersTheRequestsTheDeviceRefuses)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    for (int32_t code = 0; code <= 22; ++code)
        TestDevice::refused.insert(code);

    struct Case
    {
        int32_t request;
        int32_t number;
        int32_t result;
        int32_t out; ///< expected out word when the core answers
        int32_t error;
    } cases[] = {
        {kDeviceNumSubSystems, 0, 1, 1, kErrNone},
        {kDeviceSubSystemInfo, 1, 0, -1, kCoreErrDeviceRequest},
        {kDeviceCurrentSubSystem, 0, 1, 0, kErrNone},
        {kDeviceSelectSubSystem, 0, 1, -1, kErrNone},
        {kDeviceSelectSubSystem, 1, 0, -1, kCoreErrDeviceRequest},
        {kDeviceFinaliseStart, 0, 1, -1, kErrNone},
        {kDeviceInitiateStop, 0, 1, -1, kErrNone},
        {9, 0, 0, -1, kCoreErrDeviceRequest},
        {kDeviceNumVideoModes, 0, 0, -1, kCoreErrDeviceRequest},
        {kDeviceOpen, 0, 0, -1, kCoreErrDeviceRequest},
        {kDeviceIdentifier, 0, 0, -1, kCoreErrDeviceRequest},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE("request " + std::to_string(c.request) + " number " + std::to_string(c.number));
        int32_t out = -1;
        EXPECT_EQ(Engine::DeviceRequest(TestDevice::Record(), c.request, &out, nullptr, c.number), c.result);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(TakeError(), c.error);
    }

    char name[64] = {};
    int32_t size = sizeof(name);
    EXPECT_EQ(Engine::DeviceRequest(TestDevice::Record(), kDeviceSubSystemInfo, name, &size, 0), 1);
    EXPECT_STREQ(name, "Only rendering sub system");

    // The name is cut to the caller's buffer, and a buffer of no stated size gets nothing.
    char small[8];
    std::memset(small, 'x', sizeof(small));
    size = 5;
    EXPECT_EQ(Engine::DeviceRequest(TestDevice::Record(), kDeviceSubSystemInfo, small, &size, 0), 1);
    EXPECT_STREQ(small, "Only");
    EXPECT_EQ(small[5], 'x');
    EXPECT_EQ(Engine::DeviceRequest(TestDevice::Record(), kDeviceSubSystemInfo, small, nullptr, 0), 0);
    EXPECT_EQ(TakeError(), kCoreErrDeviceRequest);

    // A device's own answer is passed on unchanged.
    TestDevice::refused.clear();
    int32_t count = 0;
    EXPECT_EQ(Engine::DeviceRequest(TestDevice::Record(), kDeviceNumVideoModes, &count, nullptr, 0), 1);
    EXPECT_EQ(count, 3);
}

TEST_F(EngineStates, VideoModesAreDeviceRequests)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_EQ(Engine::GetNumVideoModes(), 3);
    VideoMode mode = {};
    EXPECT_EQ(Engine::GetVideoModeInfo(&mode, 1), &mode);
    EXPECT_EQ(mode.width, 800);
    EXPECT_EQ(Engine::GetVideoModeInfo(&mode, 3), nullptr);
    EXPECT_EQ(Engine::SetVideoMode(2), 1);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), 2);

    // Refusals answer -1, not 0, where 0 would be a valid answer.
    TestDevice::refused = {kDeviceNumVideoModes, kDeviceCurrentVideoMode};
    EXPECT_EQ(Engine::GetNumVideoModes(), -1);
    EXPECT_EQ(Engine::GetCurrentVideoMode(), -1);
    TestDevice::refused.clear();

    ASSERT_EQ(Engine::Start(), 1);
    EXPECT_EQ(Engine::SetVideoMode(1), 0) << "the device refuses a mode change once started";
}

TEST_F(EngineStates, StandardFunctionsTheDeviceLeavesOutDoNothing)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    Engine* engine = Engine::Current();
    for (int32_t slot = 0; slot < kNumStandardFunctions; ++slot)
    {
        SCOPED_TRACE("slot " + std::to_string(slot));
        ASSERT_NE(engine->standardFunctions[slot], nullptr);
        EXPECT_EQ(engine->standardFunctions[slot](nullptr, nullptr, 0), slot == kStdRasterCreate ? 1 : 0);
    }
    EXPECT_EQ(TestDevice::rasterCreateCalls, 1);
}

// ---- Module blocks -----------------------------------------------------------------------------

std::vector<std::string> sModuleLog;
int32_t sFailingModule = 0;

template <int32_t Id> void* OpenPlugin(void* engine, int32_t offset, int32_t size)
{
    sModuleLog.push_back("open " + std::to_string(Id));
    EXPECT_EQ(offset, Engine::GetPluginOffset(Id));
    EXPECT_EQ(size, 8);
    return Id == sFailingModule ? nullptr : engine;
}

template <int32_t Id> void* ClosePlugin(void* engine, int32_t, int32_t)
{
    sModuleLog.push_back("close " + std::to_string(Id));
    return engine;
}

TEST_F(EngineStates, ModulesOpenInOrderAndAFailureClosesTheEarlierOnesInReverse)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    Engine::RegisterPlugin(8, 1, OpenPlugin<1>, ClosePlugin<1>);
    Engine::RegisterPlugin(8, 2, OpenPlugin<2>, ClosePlugin<2>);
    Engine::RegisterPlugin(8, 3, OpenPlugin<3>, ClosePlugin<3>);
    ASSERT_EQ(Engine::Open(&mWindow), 1);

    sModuleLog.clear();
    sFailingModule = 2;
    TestDevice::requests.clear();
    EXPECT_EQ(Engine::Start(), 0);
    EXPECT_EQ(sModuleLog, (std::vector<std::string>{"open 1", "open 2", "close 1"}));
    EXPECT_EQ(TestDevice::requests, (std::vector<int32_t>{kDeviceStart, kDeviceStop}));
    EXPECT_EQ(State(), kEngineOpened);
    EXPECT_EQ(Error::GetModuleOpenCount(), 0) << "the core modules before the plug-ins were closed too";
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | 0x401), 0u) << "square-root tables freed";

    sModuleLog.clear();
    sFailingModule = 0;
    ASSERT_EQ(Engine::Start(), 1);
    ASSERT_EQ(Engine::Stop(), 1);
    EXPECT_EQ(sModuleLog, (std::vector<std::string>{"open 1", "open 2", "open 3", "close 3", "close 2", "close 1"}));
}

TEST_F(EngineStates, CoreModuleFailureUndoesTheModulesBeforeIt)
{
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    TestMemory::refuse = [](size_t, uint32_t hint) { return hint == 0x4000D; }; // the matrix free list
    EXPECT_EQ(Engine::Start(), 0);
    EXPECT_EQ(State(), kEngineOpened);
    EXPECT_EQ(Error::GetModuleOpenCount(), 0);
    EXPECT_EQ(TestMemory::CountLive(kMemoryHintEngine | 0x401), 0u);
    EXPECT_EQ(TestDevice::requests.back(), kDeviceStop);
}

TEST_F(EngineStates, PluginBlocksFollowTheRecordAtPointerAlignedOffsets)
{
    EXPECT_EQ(Engine::RegisterPlugin(8, 0x7001, nullptr, nullptr), -1) << "no registry before Init";
    EXPECT_EQ(TakeError(), kErrNone);

    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    EXPECT_EQ(Engine::GetPluginOffset(Error::kPluginId), kEngineFirstBlockOffset);
    EXPECT_LT(Engine::GetPluginOffset(Error::kPluginId), Engine::GetPluginOffset(0x401));
    EXPECT_LT(Engine::GetPluginOffset(0x401), Engine::GetPluginOffset(0x402));

    // Sizes 5, 8 and 1 on a base of 52 gave 52, 60, 68 and 72 with 4-byte rounding; the
    // 64-bit engine rounds to 8.
    int32_t base = Engine::GetInstanceSize();
    ASSERT_EQ(base % 8, 0);
    EXPECT_EQ(Engine::RegisterPlugin(5, 0x7001, nullptr, nullptr), base);
    EXPECT_EQ(Engine::RegisterPlugin(8, 0x7002, nullptr, nullptr), base + 8);
    EXPECT_EQ(Engine::RegisterPlugin(1, 0x7003, nullptr, nullptr), base + 16);
    EXPECT_EQ(Engine::GetInstanceSize(), base + 24);

    EXPECT_EQ(Engine::RegisterPlugin(64, 0x7002, nullptr, nullptr), base + 8) << "a known id answers its offset";
    EXPECT_EQ(TakeError(), kErrPluginRefused);
    EXPECT_EQ(Engine::GetInstanceSize(), base + 24);
    EXPECT_EQ(Engine::GetPluginOffset(0x7999), -1);

    ASSERT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_EQ(Engine::RegisterPlugin(8, 0x7004, nullptr, nullptr), -1);
    EXPECT_EQ(TakeError(), kErrPluginRefused);
    ASSERT_EQ(Engine::Close(), 1);
    EXPECT_EQ(Engine::RegisterPlugin(8, 0x7004, nullptr, nullptr), base + 24) << "allowed again after Close";

    ASSERT_EQ(Engine::Term(), 1);
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    EXPECT_EQ(Engine::GetPluginOffset(0x7001), -1) << "plug-ins register afresh after Term";
    EXPECT_EQ(Engine::GetInstanceSize(), base);
}

} // namespace
