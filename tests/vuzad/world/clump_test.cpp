// Tests of clumps and atomics: clump streams from the tool writer read back with their
// frames, geometries, atomics, lights and cameras; cloning, rendering, instancing, world
// spheres, refused indices and damaged streams.
#include "clump.h"
#include "clumpwriter.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using Clumps = WorldFixture;

/// One triangle whose morph target 0 has the given sphere radius.
GeometryDescription Triangle(float radius, int32_t targets = 1)
{
    GeometryDescription d;
    d.format = kGeometryPositions;
    d.numVertices = 3;
    d.triangles = {{0, 1, 2, 0}};
    for (int32_t t = 0; t < targets; ++t)
        d.targets.push_back({{0, 0, 0, radius * float(t + 1)}, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {}});
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    return d;
}

/// Frame 0 at the origin, frame 1 under it at x 10, frame 2 under frame 1 scaled by 2 on x;
/// three atomics (geometries of radius 1, 2, 1) on frames 0, 1, 2; a point light on frame
/// 1 and a camera on frame 2.
ClumpDescription Model()
{
    ClumpDescription c;
    ClumpDescription::Frame f0, f1, f2;
    f1.rows[9] = 10;
    f1.parent = 0;
    f2.rows[0] = 2;
    f2.parent = 1;
    c.frames = {f0, f1, f2};
    c.geometries = {Triangle(1), Triangle(2)};
    for (int i = 0; i < 3; ++i)
    {
        ClumpDescription::Atomic a;
        a.frame = i;
        a.geometry = i == 1 ? 1 : 0;
        c.atomics.push_back(a);
    }
    ClumpDescription::Light light;
    light.frame = 1;
    light.radius = 50;
    c.lights = {light};
    ClumpDescription::Camera camera;
    camera.frame = 2;
    camera.farPlane = 99;
    c.cameras = {camera};
    return c;
}

Clump* ReadClump(std::vector<uint8_t>& bytes)
{
    Stream* in = OpenReader(bytes);
    Clump* clump = nullptr;
    if (Stream::FindChunk(in, 16, nullptr, nullptr))
        clump = Clump::StreamRead(in);
    Stream::Close(in, nullptr);
    return clump;
}

std::vector<Atomic*> AtomicsOf(Clump* clump)
{
    std::vector<Atomic*> out;
    Clump::ForAllAtomics(
        clump,
        [](Atomic* a, void* d)
        {
            static_cast<std::vector<Atomic*>*>(d)->push_back(a);
            return a;
        },
        &out);
    return out;
}

/// The frame's x position in the world, which tells the model's three frames apart.
float WorldX(Frame* frame)
{
    return Frame::GetWorldMatrix(frame)->pos.x;
}

TEST_F(Clumps, WrittenClumpsReadBackInReverseStreamOrderAndClonesRestoreIt)
{
    std::vector<uint8_t> bytes = ClumpWriter::Write(Model());
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    std::vector<Atomic*> atomics = AtomicsOf(clump);
    ASSERT_EQ(atomics.size(), 3u);
    // Stream order was frames 0, 1, 2: the list holds them the other way round.
    EXPECT_EQ(atomics[0]->object.frame->parent->parent, clump->frame);
    EXPECT_EQ(atomics[1]->object.frame->parent, clump->frame);
    EXPECT_EQ(atomics[2]->object.frame, clump->frame);
    EXPECT_EQ(atomics[1]->boundingSphere.radius, 2.0f);
    EXPECT_EQ(atomics[0]->geometry, atomics[2]->geometry);
    // The list's own references are gone: only the atomics hold the geometries.
    EXPECT_EQ(atomics[0]->geometry->refCount, 2);
    EXPECT_EQ(atomics[1]->geometry->refCount, 1);
    for (Atomic* a : atomics)
    {
        EXPECT_EQ(a->clump, clump);
        EXPECT_EQ(a->object.flags, 5);
        EXPECT_EQ(a->renderCallback, Atomic::DefaultRender);
    }

    std::vector<Light*> lights;
    Clump::ForAllLights(
        clump,
        [](Light* l, void* d)
        {
            static_cast<std::vector<Light*>*>(d)->push_back(l);
            return l;
        },
        &lights);
    ASSERT_EQ(lights.size(), 1u);
    EXPECT_EQ(lights[0]->radius, 50.0f);
    EXPECT_EQ(lights[0]->object.frame, atomics[1]->object.frame);
    EXPECT_EQ(*Clump::LightClump(lights[0]), clump);
    std::vector<Camera*> cameras;
    Clump::ForAllCameras(
        clump,
        [](Camera* c, void* d)
        {
            static_cast<std::vector<Camera*>*>(d)->push_back(c);
            return c;
        },
        &cameras);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0]->farPlane, 99.0f);
    EXPECT_EQ(cameras[0]->object.frame, atomics[0]->object.frame);

    Clump* copy = Clump::Clone(clump);
    ASSERT_NE(copy, nullptr);
    std::vector<Atomic*> copies = AtomicsOf(copy);
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_NE(copy->frame, clump->frame);
    // Back in stream order, each on the copy of its source's frame.
    const float expectedX[3] = {0, 10, 10};
    for (size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(copies[i]->geometry, atomics[2 - i]->geometry);
        EXPECT_EQ(Frame::GetRoot(copies[i]->object.frame), copy->frame);
        EXPECT_FLOAT_EQ(WorldX(copies[i]->object.frame), expectedX[i]);
        EXPECT_EQ(copies[i]->boundingSphere.radius, atomics[2 - i]->boundingSphere.radius);
        EXPECT_EQ(copies[i]->clump, copy);
    }
    EXPECT_EQ(atomics[0]->geometry->refCount, 4);
    // The source hierarchy has its own roots again.
    EXPECT_EQ(Frame::GetRoot(atomics[0]->object.frame), clump->frame);
    EXPECT_EQ(AtomicsOf(copy).size(), 3u);
    int lightCount = 0;
    Clump::ForAllLights(
        copy,
        [](Light* l, void* d)
        {
            ++*static_cast<int*>(d);
            return l;
        },
        &lightCount);
    EXPECT_EQ(lightCount, 0);
    Clump::Destroy(copy);
    EXPECT_EQ(atomics[0]->geometry->refCount, 2);
    Clump::Destroy(clump);
}

TEST_F(Clumps, AScaledFrameScalesTheWorldRadiusAndAnOrthonormalOneKeepsIt)
{
    std::vector<uint8_t> bytes = ClumpWriter::Write(Model());
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    std::vector<Atomic*> atomics = AtomicsOf(clump);
    const Sphere* scaled = Atomic::GetWorldBoundingSphere(atomics[0]);
    EXPECT_FLOAT_EQ(scaled->radius, 2.0f);
    EXPECT_FLOAT_EQ(scaled->centre.x, 10.0f);
    const Sphere* moved = Atomic::GetWorldBoundingSphere(atomics[1]);
    EXPECT_FLOAT_EQ(moved->radius, 2.0f);
    EXPECT_FLOAT_EQ(moved->centre.x, 10.0f);
    EXPECT_FLOAT_EQ(Atomic::GetWorldBoundingSphere(atomics[2])->radius, 1.0f);
    Clump::Destroy(clump);
}

TEST_F(Clumps, WithoutAGeometryListEachAtomicReadsItsOwn)
{
    ClumpDescription c = Model();
    c.geometries.clear();
    for (size_t i = 0; i < c.atomics.size(); ++i)
        c.atomics[i].ownGeometry = Triangle(float(i + 1) * 3);
    std::vector<uint8_t> bytes = ClumpWriter::Write(c);
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    std::vector<Atomic*> atomics = AtomicsOf(clump);
    ASSERT_EQ(atomics.size(), 3u);
    EXPECT_EQ(atomics[0]->boundingSphere.radius, 9.0f);
    EXPECT_EQ(atomics[2]->boundingSphere.radius, 3.0f);
    EXPECT_EQ(atomics[0]->geometry->refCount, 1);
    Clump::Destroy(clump);
}

TEST_F(Clumps, IndicesOutsideTheirListsAreRefused)
{
    struct Case
    {
        const char* what;
        void (*spoil)(ClumpDescription&);
    };
    const Case cases[] = {
        {"atomic frame", [](ClumpDescription& c) { c.atomics[1].frame = 3; }},
        {"atomic frame below 0", [](ClumpDescription& c) { c.atomics[2].frame = -1; }},
        {"atomic geometry", [](ClumpDescription& c) { c.atomics[0].geometry = 2; }},
        {"light frame", [](ClumpDescription& c) { c.lights[0].frame = 7; }},
        {"camera frame", [](ClumpDescription& c) { c.cameras[0].frame = -2; }},
        {"second root frame", [](ClumpDescription& c) { c.frames[2].parent = -1; }},
    };
    for (const Case& k : cases)
    {
        ClumpDescription c = Model();
        k.spoil(c);
        std::vector<uint8_t> bytes = ClumpWriter::Write(c);
        EXPECT_EQ(ReadClump(bytes), nullptr) << k.what;
        Error e;
        Error::Get(&e);
        EXPECT_EQ(e.code, kErrStreamRead) << k.what;
    }
}

TEST_F(Clumps, ACloneStopsAtAnAtomicWithoutAFrame)
{
    std::vector<uint8_t> bytes = ClumpWriter::Write(Model());
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    // The middle atomic leaves its frame: the one before it is copied, the rest are not.
    Atomic* middle = AtomicsOf(clump)[1];
    Atomic::SetFrame(middle, nullptr);
    Clump* copy = Clump::Clone(clump);
    ASSERT_NE(copy, nullptr);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, 2);
    EXPECT_EQ(e.code, 5);
    std::vector<Atomic*> copies = AtomicsOf(copy);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0]->geometry, AtomicsOf(clump)[0]->geometry);
    Clump::Destroy(copy);
    Clump::Destroy(clump);
}

int sRendered = 0;
Atomic* CountRender(Atomic* atomic)
{
    ++sRendered;
    return atomic;
}
Atomic* FailRender(Atomic*)
{
    ++sRendered;
    return nullptr;
}

TEST_F(Clumps, RenderCallsEveryRenderableAtomicAndReportsAFailure)
{
    std::vector<uint8_t> bytes = ClumpWriter::Write(Model());
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    std::vector<Atomic*> atomics = AtomicsOf(clump);
    for (Atomic* a : atomics)
        a->renderCallback = CountRender;
    sRendered = 0;
    EXPECT_EQ(Clump::Render(clump), clump);
    EXPECT_EQ(sRendered, 3);
    atomics[0]->renderCallback = FailRender;
    atomics[2]->object.flags &= uint8_t(~kAtomicRender);
    sRendered = 0;
    EXPECT_EQ(Clump::Render(clump), nullptr);
    EXPECT_EQ(sRendered, 2);
    Clump::Destroy(clump);
}

uint32_t sSeenFlags = 0;
Atomic* NoteFlags(Atomic* atomic)
{
    sSeenFlags = atomic->geometry->flags;
    return atomic;
}

TEST_F(Clumps, InstanceTakesOnlyOneTargetGeometriesAndMarksThemNative)
{
    ClumpDescription c = Model();
    c.geometries[1] = Triangle(2, 2);
    std::vector<uint8_t> bytes = ClumpWriter::Write(c);
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    std::vector<Atomic*> atomics = AtomicsOf(clump);
    for (Atomic* a : atomics)
        a->renderCallback = NoteFlags;
    sSeenFlags = 0;
    uint32_t before = atomics[1]->geometry->flags;
    EXPECT_EQ(Atomic::Instance(atomics[1]), 0);
    EXPECT_EQ(sSeenFlags, 0u);
    EXPECT_EQ(atomics[1]->geometry->flags, before);

    EXPECT_EQ(Atomic::Instance(atomics[0]), 1);
    EXPECT_EQ(sSeenFlags & (kGeometryInstanceOnly | kGeometryNative), kGeometryInstanceOnly);
    EXPECT_EQ(atomics[0]->geometry->flags & (kGeometryInstanceOnly | kGeometryNative), kGeometryNative);
    sSeenFlags = 0;
    EXPECT_EQ(Atomic::Instance(atomics[0]), 1);
    EXPECT_EQ(sSeenFlags, 0u) << "a native geometry is not instanced again";
    Clump::Destroy(clump);
}

TEST_F(Clumps, InterpolatorTargetsPastTheGeometryTakeTargetZero)
{
    ClumpDescription c = Model();
    c.geometries[1] = Triangle(2, 3); // radii 2, 4, 6
    std::vector<uint8_t> bytes = ClumpWriter::Write(c);
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    Atomic* atomic = AtomicsOf(clump)[1];
    const struct
    {
        int16_t start, end;
        float position, radius;
    } cases[] = {{1, 2, 0.5f, 5.0f}, {2, 2, 0.0f, 6.0f}, {1, 3, 0.5f, 2.0f}, {5, 5, 0.0f, 2.0f}};
    for (const auto& k : cases)
    {
        atomic->interpolator.startTarget = k.start;
        atomic->interpolator.endTarget = k.end;
        atomic->interpolator.position = k.position;
        atomic->interpolator.flags |= kInterpolatorSphereDirty;
        EXPECT_FLOAT_EQ(Atomic::GetWorldBoundingSphere(atomic)->radius, k.radius) << k.start << " " << k.end;
    }
    Clump::Destroy(clump);
}

TEST_F(Clumps, ACopyOfAClumpInAWorldJoinsThatWorld)
{
    TestWorld world(true);
    std::vector<uint8_t> bytes = ClumpWriter::Write(Model());
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    World::AddClump(&world.world, clump);
    Clump* copy = Clump::Clone(clump);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Clump::GetWorld(copy), &world.world);
    EXPECT_EQ(world.world.numClumps, 2);
    for (Atomic* a : AtomicsOf(copy))
        EXPECT_EQ(Atomic::GetWorld(a), &world.world);
    for (Clump* c : {copy, clump})
    {
        World::RemoveClump(&world.world, c);
        Clump::Destroy(c);
    }
}

int sRightsCalls = 0;
uint32_t sRightsExtra = 0;
void* sRightsObject = nullptr;
int sPostReads = 0;

int32_t TakeRights(void* object, int32_t, int32_t, uint32_t extra)
{
    ++sRightsCalls;
    sRightsExtra = extra;
    sRightsObject = object;
    return 1;
}

void* CountPostRead(void* object, int32_t, int32_t)
{
    ++sPostReads;
    return object;
}

/// An atomic plug-in that owns the rendering of atomics whose rights record names it.
class AtomicRights : public StreamFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_GE(Atomic::RegisterPlugin(0, 0x7F21, nullptr, nullptr, nullptr), 0);
        ASSERT_GE(Atomic::SetPluginRenderOwnerCallback(0x7F21, TakeRights), 0);
        ASSERT_GE(Atomic::SetPluginPostReadCallback(0x7F21, CountPostRead), 0);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
        sRightsCalls = sPostReads = 0;
    }
};

TEST_F(AtomicRights, AStoredRightsRecordCallsItsPluginAfterTheExtension)
{
    ClumpDescription c = Model();
    // Rights sub-chunk {plug-in 0x7F21, extra 0x55} on the middle atomic only.
    c.atomics[1].extension = {31, 0, 0, 0, 8, 0, 0, 0, 0x03, 0x00, 0xC1, 0xDB, 0x21, 0x7F, 0, 0, 0x55, 0, 0, 0};
    const uint32_t stamp = LibraryStamp::Encode(0x36003, 0xFFFF);
    for (int i = 0; i < 4; ++i)
        c.atomics[1].extension[8 + size_t(i)] = uint8_t(stamp >> (8 * i));
    std::vector<uint8_t> bytes = ClumpWriter::Write(c);
    Clump* clump = ReadClump(bytes);
    ASSERT_NE(clump, nullptr);
    EXPECT_EQ(sPostReads, 3);
    EXPECT_EQ(sRightsCalls, 1);
    EXPECT_EQ(sRightsExtra, 0x55u);
    EXPECT_EQ(sRightsObject, AtomicsOf(clump)[1]);
    Clump::Destroy(clump);
}

TEST_F(Clumps, MutatedStreamsAreRefusedOrReadWithoutACrash)
{
    ClumpDescription c = Model();
    c.geometries[0].extension = GeometryWriter::WriteMeshExtension(0, {{0, {0, 1, 2}}});
    const std::vector<uint8_t> good = ClumpWriter::Write(c);
    ClumpDescription own = Model();
    own.geometries.clear();
    for (auto& a : own.atomics)
        a.ownGeometry = Triangle(1);
    const std::vector<uint8_t> inline_ = ClumpWriter::Write(own);
    for (const std::vector<uint8_t>* source : {&good, &inline_})
    {
        {
            std::vector<uint8_t> copy = *source;
            Clump* clump = ReadClump(copy);
            ASSERT_NE(clump, nullptr);
            Clump::Destroy(clump);
        }
        // Every fourth byte: the counts, indices and sizes are all word-aligned.
        for (size_t at = 12; at < source->size(); at += (at % 4 == 0 ? 1 : 3))
            for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80), uint8_t(0x03)})
            {
                std::vector<uint8_t> bytes = *source;
                bytes[at] = value;
                if (Clump* clump = ReadClump(bytes))
                    Clump::Destroy(clump);
                TakeError();
            }
        for (size_t cut = 0; cut < source->size(); cut += 5)
        {
            std::vector<uint8_t> bytes(source->begin(), source->begin() + long(cut));
            EXPECT_EQ(ReadClump(bytes), nullptr) << cut;
            TakeError();
        }
    }
}

} // namespace
