// Test helpers for the world module on the Direct3D 9 driver: the engine started on our d3d9
// layer with the world attached, a started camera of a small size, geometries from the
// geometry writer, worlds from the world writer, and atomics on frames.
#pragma once

#include "clump.h"
#include "d3d9driverfixture.h"
#include "geometry.h"
#include "geometrywriter.h"
#include "stream.h"
#include "world.h"
#include "worldfixture.h"
#include "worldwriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace d3d9world
{

class D3D9WorldTest : public d3d9driver::DriverTest
{
protected:
    void TearDown() override
    {
        for (Atomic* atomic : mAtomics)
            Atomic::Destroy(atomic);
        for (Frame* frame : mFrames)
            Frame::Destroy(frame);
        mAtomics.clear();
        mFrames.clear();
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
            Engine::Current()->currentWorld = nullptr;
        DriverTest::TearDown();
    }

    /// Init, the world's attach, Open and Start on the adapter given.
    void StartWorld(d3d9test::AdapterConfig adapter = d3d9driver::Adapter(), int32_t arenaSize = 1 << 20)
    {
        d3d9test::SetAdapters({adapter});
        ASSERT_NE(Engine::Init(nullptr, 0, arenaSize), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }

    static Geometry* ReadGeometry(const GeometryDescription& description)
    {
        std::vector<uint8_t> bytes = GeometryWriter::Write(description);
        MemoryBlock block{bytes.data(), uint32_t(bytes.size())};
        Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
        Geometry* g = nullptr;
        if (in && Stream::FindChunk(in, 15, nullptr, nullptr))
            g = Geometry::StreamRead(in);
        if (in)
            Stream::Close(in, nullptr);
        return g;
    }

    /// A world chunk from the world writer read into its block; null when the read fails.
    static World* ReadWorld(const std::vector<uint8_t>& bytes) { return ReadWorldChunk(bytes); }
    static World* ReadWorld(const WorldDescription& description) { return ReadWorld(WorldWriter::Write(description)); }

    Frame* MakeFrame(Vector position = {0, 0, 0})
    {
        Frame* frame = Frame::Create();
        Frame::Translate(frame, &position, 0);
        mFrames.push_back(frame);
        return frame;
    }

    /// An atomic holding geometry (the caller's reference passes to it) on a new frame.
    Atomic* MakeAtomic(Geometry* geometry, Vector position = {0, 0, 0})
    {
        Atomic* atomic = Atomic::Create();
        Atomic::SetGeometry(atomic, geometry, 0);
        Geometry::Destroy(geometry);
        Atomic::SetFrame(atomic, MakeFrame(position));
        mAtomics.push_back(atomic);
        return atomic;
    }

    std::vector<Atomic*> mAtomics;
    std::vector<Frame*> mFrames;
};

} // namespace d3d9world
