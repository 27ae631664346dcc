// Test doubles of the engine's surroundings: a recording device driver that answers the
// device requests in memory, a recording memory-function table with fault injection, and
// a fixture that brings the engine up and checks that shutting it down frees everything.
#pragma once

#include "cpufeature.h"
#include "device.h"
#include "engine.h"
#include "memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

/// One device per process, as the real driver has. Every request is logged; a refused
/// request answers 0 as a device that cannot do it would.
struct TestDevice
{
    static void Reset();
    static const DeviceDriver* Driver();
    static const DeviceRecord* Record();

    static std::vector<int32_t> requests; ///< every request code, in order
    static std::set<int32_t> refused;     ///< requests answered 0
    static bool refuseAttach;
    static bool noRecord; ///< the driver has no device record
    static std::vector<VideoMode> modes;
    static int32_t currentMode;
    static void* openRecord;     ///< what the open request received
    static CpuFeatures features; ///< what finalise start installs routines for
    static int32_t attachCount;
    static int32_t rasterCreateCalls;
    static float gamma; ///< the record's gamma as the register request hands it over
    /// The standard functions the next Engine::Open receives, by slot; Reset leaves only
    /// raster creation, which counts its calls in rasterCreateCalls.
    static std::map<int32_t, StandardFunction> slots;
};

/// Memory functions that record every block with its hint and can be told to refuse.
struct TestMemory
{
    static void Reset();
    static const MemoryFunctions* Functions();

    struct Block
    {
        size_t size;
        uint32_t hint;
    };
    static std::map<void*, Block> live; ///< blocks not yet freed
    static std::vector<uint32_t> hints; ///< the hint of every allocation, in order
    /// Refuses allocations whose hint this answers true for.
    static std::function<bool(size_t size, uint32_t hint)> refuse;

    static size_t CountLive(uint32_t hint);
};

/// Installs the test device and the recording memory; TearDown takes the engine back to
/// not initialised and expects every engine block to be freed.
class EngineFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Init with the recording memory, then Open and Start; asserts each succeeds.
    void StartEngine(uint32_t flags = 0);
    static void ShutDownEngine();

    int32_t mWindow = 0x1234; ///< the open record's first word
};
