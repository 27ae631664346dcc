// Test helper for framework code that needs a started engine (resource streams
// open engine streams): a device driver that only opens, starts, stops and
// closes, and a guard that brings the engine up and down around a test.
#pragma once

#include "device.h"
#include "engine.h"

#include <gtest/gtest.h>

namespace hbtest
{

class NullEngine
{
public:
    NullEngine()
    {
        Engine::SetDriver(Driver());
        mStarted = Engine::Init(nullptr, 0, 0) != 0;
        mStarted = mStarted && Engine::Open(&mWindow) == 1;
        mStarted = mStarted && Engine::Start() == 1;
        EXPECT_TRUE(mStarted) << "the engine did not start";
    }
    ~NullEngine()
    {
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
            Engine::Stop();
        if (Engine::Current() && Engine::Current()->state == kEngineOpened)
            Engine::Close();
        Engine::Term();
    }
    NullEngine(const NullEngine&) = delete;
    NullEngine& operator=(const NullEngine&) = delete;

    bool Started() const { return mStarted; }

private:
    static int32_t System(int32_t request, void* out, void*, int32_t)
    {
        switch (request)
        {
        case kDeviceOpen:
        case kDeviceClose:
        case kDeviceStart:
        case kDeviceStop:
            return 1;
        case kDeviceRegister:
            *static_cast<DeviceRecord*>(out) = *Record();
            return 1;
        default:
            return 0;
        }
    }
    static const DeviceRecord* Record()
    {
        static const DeviceRecord record = {1.0f,    System,  0.0f,    1.0f,    nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, {}};
        return &record;
    }
    static int32_t Attach() { return 1; }
    static const DeviceDriver* Driver()
    {
        static const DeviceDriver driver = {Attach, Record};
        return &driver;
    }

    int32_t mWindow = 1;
    bool mStarted = false;
};

} // namespace hbtest
