// Shared fixture of the particle plug-in tests: the engine started on our d3d9 layer with
// the world, the particle tank and the standard particles attached, its memory recorded
// by the test memory functions so allocations can be refused and counted by hint.
#pragma once

#include "clump.h"
#include "d3d9driverfixture.h"
#include "frame.h"
#include "prtstd.h"
#include "ptank.h"
#include "testdevice.h"
#include "world.h"

#include <gtest/gtest.h>

#include <vector>

namespace plugintest
{

class PluginTest : public d3d9driver::DriverTest
{
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        TestMemory::Reset();
    }

    void TearDown() override
    {
        TestMemory::refuse = nullptr;
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
            for (Atomic* atomic : mAtomics)
                Atomic::Destroy(atomic);
        mAtomics.clear();
        DriverTest::TearDown();
        TestMemory::Reset();
    }

    /// Init on the test memory, the three attaches, Open and Start.
    void StartPlugins(d3d9test::AdapterConfig adapter = d3d9driver::Adapter())
    {
        d3d9test::SetAdapters({adapter});
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(PTank::Attach(), 1);
        ASSERT_EQ(PrtStdAttach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }

    /// A tank destroyed by the fixture (unless the test destroys it first and says so).
    Atomic* Tank(int32_t maxCount, uint32_t flags, int32_t platformFlags = 0)
    {
        Atomic* atomic = PTank::CreateAtomic(maxCount, flags, platformFlags);
        if (atomic)
            mAtomics.push_back(atomic);
        return atomic;
    }

    void Forget(Atomic* atomic) { std::erase(mAtomics, atomic); }

    std::vector<Atomic*> mAtomics;
};

} // namespace plugintest
