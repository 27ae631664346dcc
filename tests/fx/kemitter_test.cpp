// Emitter classes, instances and the particle callbacks: the class's prototype, batches and
// tank constants, the pool's order and limits, placement, culling, render states once per
// run of a class, and a deterministic simulation checked against a table computed here.
#include "fx_fixture.h"
#include "renderer_fixture.h"

#include "camera.h"
#include "clump.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "fxcontext.h"
#include "kemitter.h"
#include "kparticle.h"
#include "prtstd.h"
#include "prtstdemitter.h"
#include "ptank.h"
#include "raster.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{
using fxtest::ParseBody;

constexpr float kDt = 1.0f / 60.0f;

/// The particle generator, written out: x' = x * 196314165 + 907633515, r in [-1, 1).
struct Lcg
{
    uint32_t seed = 1;
    float Next()
    {
        seed = seed * 196314165u + 907633515u;
        return float(double(seed) * (1.0 / 4294967296.0) * 2.0 - 1.0);
    }
};

std::vector<std::pair<int32_t, intptr_t>> gStates;
DeviceSetRenderState gRealSetState = nullptr;
int32_t SpySetState(int32_t state, intptr_t value)
{
    gStates.push_back({state, value});
    return gRealSetState ? gRealSetState(state, value) : 1;
}

class EmitterTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        KfxSetSharedSeed(1);
    }
    void TearDown() override
    {
        mClasses.clear();
        RendererTest::TearDown();
    }

    /// A class built from a block body, its pool drawing into mList.
    KEmitterClass* Make(const std::string& body, int32_t prealloc = 0)
    {
        auto parsed = ParseBody(body);
        EXPECT_EQ(parsed.result, 1) << parsed.report;
        auto c = std::make_unique<KEmitterClass>();
        EXPECT_TRUE(c->Build(*parsed.def));
        c->mPool.mRenderList = &mList;
        c->mPool.mPreallocCount = prealloc;
        mClasses.push_back(std::move(c));
        return mClasses.back().get();
    }

    /// Started at (1, 2, 3).
    KEmitterStd* Run(KEmitterClass* c)
    {
        KEmitterStd* e = c->mPool.Acquire();
        EXPECT_NE(e, nullptr);
        if (!e)
            return nullptr;
        FxContext context;
        context.position[0] = 1, context.position[1] = 2, context.position[2] = 3;
        e->ApplyContext(context);
        e->Start();
        mOwned.emplace_back(e);
        return e;
    }

    static PTankRecord* Tank(KEmitterStd* e) { return PTank::Get(PrtStdEmitter::GetTankBlock(e->mEmitter)->tank); }
    template <typename T> static std::vector<T> Entries(KEmitterStd* e, uint32_t bit)
    {
        PTankSlot slot;
        std::vector<T> out;
        if (!PTank::Lock(PrtStdEmitter::GetTankBlock(e->mEmitter)->tank, &slot, bit, 0))
            return out;
        for (int32_t i = 0; i < Tank(e)->activeCount; ++i)
        {
            T v;
            std::memcpy(&v, static_cast<char*>(slot.data) + ptrdiff_t(i) * slot.stride, sizeof v);
            out.push_back(v);
        }
        return out;
    }

    KfxRenderList mList;
    std::vector<std::unique_ptr<KEmitterStd>> mOwned;
    std::vector<std::unique_ptr<KEmitterClass>> mClasses;

public:
    ~EmitterTest() override = default;
};

TEST_F(EmitterTest, ClassPrototypeBatchAndTankConstants)
{
    KEmitterClass* c = Make("BatchSize 1000 MaxPrt 200 ZTest FALSE CullMode CULLNONE\n"
                            "SECTION EMT { SIZE { X 8 Y 4 } ROT2D { V 90 } COLOR { X 10 Y 20 Z 30 } ALPHA { V 40 } }");
    EXPECT_EQ(c->mPrototypeEmitter->batchSize, 200) << "min(BatchSize, MaxPrt)";
    EXPECT_EQ(c->mZTest, 0);
    EXPECT_EQ(c->mZWrite, 0);
    EXPECT_EQ(c->mGroup, 2);

    KEmitterStd* e = Run(c);
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->mAtomic, c->mPrototype) << "a clone";
    EXPECT_NE(e->mAtomic->object.frame, nullptr);
    PTankRecord* t = Tank(e);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->maxCount, 200);
    EXPECT_EQ(t->data.colour.red, 10);
    EXPECT_EQ(t->data.colour.alpha, 40);
    EXPECT_EQ(t->data.size.x, 8.0f);
    EXPECT_FLOAT_EQ(t->data.rotation, 90.0f * 0.017453292f);

    // A second instance has a frame and tank of its own.
    KEmitterStd* other = Run(c);
    EXPECT_NE(other->mAtomic->object.frame, e->mAtomic->object.frame);
    EXPECT_NE(Tank(other), t);

    // Colour per particle: no constant colour.
    KEmitterClass* varied = Make("SECTION EMT { COLOR { X 10 Y 20 Z 30 } } SECTION PRT { COLOR BIAS { X 10 } }");
    KEmitterStd* v = Run(varied);
    EXPECT_NE(Tank(v)->data.colour.red, 10);
    mOwned.clear();
}

Texture* gTexture = nullptr;

TEST_F(EmitterTest, TextureReferencesOfPrototypeAndInstances)
{
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture);
    ASSERT_NE(raster, nullptr);
    gTexture = Texture::Create(raster);
    ASSERT_NE(gTexture, nullptr);
    KEmitterDef::SetTextureSource(
        [](const char*)
        {
            ++gTexture->refCount;
            return gTexture;
        });
    KEmitterClass* c = Make("Texture FX_SPARK_TEX");
    KEmitterDef::SetTextureSource(nullptr);
    EXPECT_EQ(gTexture->refCount, 2) << "ours and the prototype's (the definition is gone)";
    KEmitterStd* a = Run(c);
    KEmitterStd* b = Run(c);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(gTexture->refCount, 6) << "per instance: its emitter's and its tank material's";
    mOwned.clear();
    EXPECT_EQ(gTexture->refCount, 2);
    mClasses.clear();
    EXPECT_EQ(gTexture->refCount, 1) << "the prototype's released with its class";
    Texture::Destroy(gTexture);
}

TEST_F(EmitterTest, ClassWithoutParticlesGivesNoInstance)
{
    KEmitterClass* c = Make("");
    PrtStdEmitter::GetStandard(c->mPrototypeEmitter)->maxParticles = 0;
    EXPECT_EQ(c->mPool.Acquire(), nullptr) << "no tank can be made for 0 particles";
}

TEST_F(EmitterTest, PoolPreallocOrderAndLimit)
{
    KEmitterClass* c = Make("", 2);
    c->mPool.Prealloc();
    ASSERT_EQ(c->mPool.mFree.GetCount(), 2);
    void* oldest = c->mPool.mFree[0];
    c->mPool.Prealloc();
    EXPECT_EQ(c->mPool.mFree.GetCount(), 2) << "only an empty pool is filled";
    KEmitterStd* a = c->mPool.Acquire();
    EXPECT_EQ(a, oldest);
    KEmitterStd* b = c->mPool.Acquire();
    KEmitterStd* n = c->mPool.Acquire();
    EXPECT_EQ(c->mPool.mLiveCount, 3);
    EXPECT_EQ(c->mPool.Release(a), 1);
    EXPECT_EQ(c->mPool.Release(b), 1);
    EXPECT_EQ(c->mPool.Release(n), 0) << "beyond the prealloc count";
    delete n;
    EXPECT_EQ(c->mPool.mLiveCount, 0);

    KEmitterClass* none = Make("", 0);
    none->mPool.Prealloc();
    EXPECT_EQ(none->mPool.mFree.GetCount(), 0);
    KEmitterStd* x = none->mPool.Acquire();
    EXPECT_EQ(none->mPool.Release(x), 0);
    delete x;
}

TEST_F(EmitterTest, ContextPlacesFollowsOrAttaches)
{
    KEmitterClass* c = Make("");
    KEmitterStd* e = c->mPool.Acquire();
    mOwned.emplace_back(e);
    FxContext context;
    context.position[0] = 4, context.position[1] = 5, context.position[2] = 6;
    context.direction[0] = 1, context.direction[1] = 0, context.direction[2] = 0;
    const float followed[3] = {7, 8, 9};
    context.followed = followed;
    e->ApplyContext(context);
    const Matrix* m = Frame::GetWorldMatrix(e->mAtomic->object.frame);
    EXPECT_NEAR(m->at.x, 1.0f, 1e-5f) << "+Z turned onto the direction";
    EXPECT_NEAR(m->pos.y, 5.0f, 1e-5f);
    EXPECT_EQ(e->mFollowed, followed);
    e->Start();
    e->Update(kDt);
    EXPECT_NEAR(Frame::GetWorldMatrix(e->mAtomic->object.frame)->pos.z, 9.0f, 1e-5f);

    KEmitterStd* attached = c->mPool.Acquire();
    mOwned.emplace_back(attached);
    Frame* parent = Frame::Create();
    FxContext withFrame;
    withFrame.frame = parent;
    withFrame.followed = followed;
    attached->ApplyContext(withFrame);
    EXPECT_EQ(attached->mAtomic->object.frame->parent, parent);
    EXPECT_EQ(attached->mFollowed, nullptr) << "a frame wins over the followed position";
    mOwned.clear();
    Frame::Destroy(parent);
}

TEST_F(EmitterTest, CullingOutOfView)
{
    Camera* camera = Camera::Create();
    Frame* frame = Frame::Create();
    FrameObject::SetFrame(&camera->object, frame);
    Frame::SyncDirtyList();

    // Beyond the far plane.
    auto place = [&](KEmitterStd* e)
    {
        FxContext context;
        context.position[2] = 500;
        e->ApplyContext(context);
        e->SetCamera(camera);
        e->Start();
    };
    KEmitterClass* endless = Make("SECTION EMT { INITVEL { V 1 } }");
    KEmitterStd* a = endless->mPool.Acquire();
    mOwned.emplace_back(a);
    place(a);
    a->Update(kDt);
    EXPECT_EQ(a->mVisible, 1) << "a bound of 0 is never culled";
    EXPECT_GT(a->mCullRadius, 0.0f);
    const float time = a->mParams.standard->time;
    a->Update(kDt);
    EXPECT_EQ(a->mVisible, 0);
    EXPECT_EQ(a->mParams.standard->time, time) << "an endless emitter out of view is skipped";

    KEmitterClass* ending = Make("EndTime 5 PrtLife 0.02 SECTION EMT { INITVEL { V 1 } }");
    KEmitterStd* b = ending->mPool.Acquire();
    mOwned.emplace_back(b);
    place(b);
    b->Update(kDt);
    const float radius = b->mCullRadius;
    ASSERT_GT(radius, 0.0f);
    b->Update(kDt);
    b->Update(kDt);
    EXPECT_EQ(b->mVisible, 0);
    EXPECT_NEAR(b->mParams.standard->time, 3 * kDt, 1e-6f) << "out of view with an end time: still runs";
    EXPECT_EQ(b->mEmitter->radius, radius) << "the bound is kept for the next test";
    mOwned.clear();
    Camera::Destroy(camera);
    Frame::Destroy(frame);
}

TEST_F(EmitterTest, RenderStatesOncePerRunAndStop)
{
    KEmitterClass* c1 = Make("ZTest FALSE ZWrite TRUE CullMode CULLNONE");
    KEmitterClass* c2 = Make("ZTest TRUE");
    KEmitterStd* a = Run(c1);
    KEmitterStd* b = Run(c1);
    KEmitterStd* d = Run(c2);
    for (KEmitterStd* e : {a, b, d})
        e->Update(kDt);
    Engine* engine = Engine::Current();
    gRealSetState = engine->device.setRenderState;
    engine->device.setRenderState = SpySetState;
    gStates.clear();
    KEmitter::ClearRenderStateCache();
    a->Render();
    b->Render();
    d->Render();
    engine->device.setRenderState = gRealSetState;
    std::vector<std::pair<int32_t, intptr_t>> depth;
    for (auto s : gStates)
        if (s.first == 5 || s.first == 6 || s.first == 8 || s.first == 20)
            depth.push_back(s);
    const std::vector<std::pair<int32_t, intptr_t>> expected = {{6, 0}, {8, 1}, {5, 1}, {20, 1},
                                                                {6, 1}, {8, 0}, {5, 1}, {20, 1}};
    EXPECT_EQ(depth, expected);

    EXPECT_EQ(a->IsEmpty(), 0);
    a->Stop();
    EXPECT_EQ(a->IsEmpty(), 1);
    EXPECT_EQ(a->IsActive(), 0);
    EXPECT_EQ(Tank(a)->activeCount, 0);
    mOwned.clear();
}

TEST_F(EmitterTest, SimulationMatchesIndependentTable)
{
    KEmitterClass* c = Make("MaxPrt 50 PrtLife 0.3 PrtLifeBias 0.1\n"
                            "SECTION EMT { GAP { V 0.05 } INITVEL { V 10 } INITVEL BIAS { V 2 } INITDIR BIAS { X 0.5 } "
                            "  COLOR { X 100 Y 100 Z 100 } FORCE { Y -9.8 } }\n"
                            "SECTION PRT { COLOR BIAS { X 50 Y 50 Z 50 } }");
    KEmitterStd* e = Run(c);
    ASSERT_NE(e, nullptr);

    struct P
    {
        float age, life, vx, vy, vz, x, y, z;
        uint8_t rgb[3];
    };
    std::vector<P> live;
    Lcg r;
    float time = 0, next = 0;
    for (int32_t frame = 0; frame < 40; ++frame)
    {
        e->Update(kDt);
        time += kDt;
        std::vector<P> kept;
        for (P p : live)
        {
            p.age += kDt;
            if (p.age >= p.life)
                continue;
            p.vy += -9.8f * kDt;
            p.x += p.vx * kDt, p.y += p.vy * kDt, p.z += p.vz * kDt;
            kept.push_back(p);
        }
        live = kept;
        if (time >= next)
        {
            const float count = 1.0f + std::trunc(2.0f * r.Next() * 0.0f);
            ASSERT_EQ(count, 1.0f);
            P p{};
            p.life = 0.3f + r.Next() * 0.1f;
            float d[3] = {0 + r.Next() * 0.5f, 1 + r.Next() * 0.0f, 0 + r.Next() * 0.0f};
            const float l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (float& v : d)
                v /= l;
            p.vx = (10 + r.Next() * 2) * d[0];
            p.vy = (10 + r.Next() * 2) * d[1];
            p.vz = (10 + r.Next() * 2) * d[2];
            // A random offset per component, kept twice in the particle's stored colour.
            for (uint8_t& channel : p.rgb)
            {
                const float spread = r.Next() * 50.0f;
                float value = 100.0f + spread;
                value += spread;
                channel = uint8_t(int32_t(value));
            }
            p.x = 1, p.y = 2, p.z = 3;
            live.push_back(p);
            next = time + 0.05f + 0.05f * 0.0f * r.Next();
        }
        const std::vector<Vector> tank = Entries<Vector>(e, kPTankPosition);
        const std::vector<Rgba> colours = Entries<Rgba>(e, kPTankColour);
        ASSERT_EQ(colours.size(), live.size());
        ASSERT_EQ(tank.size(), live.size()) << "frame " << frame;
        for (size_t i = 0; i < live.size(); ++i)
        {
            EXPECT_NEAR(tank[i].x, live[i].x, 1e-4f) << "frame " << frame << " particle " << i;
            EXPECT_NEAR(tank[i].y, live[i].y, 1e-4f) << "frame " << frame << " particle " << i;
            EXPECT_NEAR(tank[i].z, live[i].z, 1e-4f);
            EXPECT_EQ(colours[i].red, live[i].rgb[0]) << "frame " << frame << " particle " << i;
            EXPECT_EQ(colours[i].green, live[i].rgb[1]);
            EXPECT_EQ(colours[i].blue, live[i].rgb[2]);
            EXPECT_EQ(colours[i].alpha, 255);
        }
    }
    EXPECT_GE(live.size(), 3u);
    EXPECT_EQ(KfxGetSharedSeed(), r.seed) << "every draw in the same order";
    mOwned.clear();
}

TEST_F(EmitterTest, EmissionCountsGapStartAndFullTank)
{
    struct Case
    {
        const char* body;
        int32_t frames;
        int32_t expected;
    };
    const Case cases[] = {
        {"PrtLife 10 SECTION EMT { EMIT { V 1.0 } }", 1, 1},
        {"PrtLife 10 SECTION EMT { EMIT { V 2.5 } }", 1, 2},
        // GAP 0.2: emissions at times 1/60, then 13/60 (just past 0.2 + 1/60), 25/60.
        {"PrtLife 10", 30, 3},
        {"PrtLife 10 MaxPrt 4 SECTION EMT { EMIT { V 3 } }", 30, 4},
        {"PrtLife 10 StartTime 2.0", 119, 0},
        {"PrtLife 10 StartTime 2.0", 121, 1},
        {"PrtLife 10 StartTime 2.0 EndTime 1.0", 200, 0},
        {"PrtLife 10 SECTION EMT { EMIT { V -3 } }", 5, 0},
    };
    for (const Case& k : cases)
    {
        KEmitterClass* c = Make(k.body);
        KEmitterStd* e = Run(c);
        ASSERT_NE(e, nullptr);
        for (int32_t i = 0; i < k.frames; ++i)
            e->Update(kDt);
        EXPECT_EQ(e->mEmitter->activeCount, k.expected) << k.body;
        EXPECT_EQ(Tank(e)->activeCount, k.expected) << k.body;
    }
    // A life of 0 dies at its first update.
    KEmitterClass* dying = Make("PrtLife 10");
    PrtStdEmitter::GetStandard(dying->mPrototypeEmitter)->life = 0;
    KEmitterStd* d = Run(dying);
    d->Update(kDt);
    EXPECT_EQ(d->mEmitter->activeCount, 1);
    d->Update(kDt);
    EXPECT_EQ(d->mEmitter->activeCount, 0);

    // After the start shift the emitter time starts over.
    KEmitterClass* c = Make("PrtLife 10 StartTime 2.0");
    KEmitterStd* e = Run(c);
    for (int32_t i = 0; i < 121; ++i)
        e->Update(kDt);
    EXPECT_LT(e->mParams.standard->time, 0.1f);
    mOwned.clear();
}

TEST_F(EmitterTest, ColourBytesClamp)
{
    KEmitterClass* c = Make("SECTION EMT { COLOR { X 300 Y -5 Z 100 } } SECTION PRT { COLOR BIAS { Z 1 } }");
    KEmitterStd* e = Run(c);
    e->Update(kDt);
    const std::vector<Rgba> colours = Entries<Rgba>(e, kPTankColour);
    ASSERT_EQ(colours.size(), 1u);
    EXPECT_EQ(colours[0].red, 255);
    EXPECT_EQ(colours[0].green, 0);
    EXPECT_NEAR(colours[0].blue, 100, 2);
    e->Update(kDt);
    const std::vector<Rgba> updated = Entries<Rgba>(e, kPTankColour);
    ASSERT_GE(updated.size(), 1u);
    EXPECT_EQ(updated[0].red, 255);
    mOwned.clear();
}

TEST_F(EmitterTest, ValueSourcesFollowConstantAndTrack)
{
    // One emission of three particles: a LINEAR alpha evaluated at their shared age, a
    // CONSTANT colour keeping its birth value while the emitter's colour track moves on.
    KEmitterClass* c = Make("PrtLife 1 SECTION EMT { EMIT { V 3 } GAP { V 100 } "
                            "  COLOR { IMode LINEAR TIME 0 { X 10 Y 10 Z 10 } TIME 1 { X 210 Y 10 Z 10 } } }\n"
                            "SECTION PRT { ALPHA { IMode LINEAR TIME 0 { V 255 } TIME 1 { V 0 } } "
                            "  COLOR { IMode CONSTANT } }");
    KEmitterStd* e = Run(c);
    for (int32_t i = 0; i < 31; ++i)
        e->Update(kDt);
    const std::vector<Rgba> colours = Entries<Rgba>(e, kPTankColour);
    ASSERT_EQ(colours.size(), 3u);
    for (const Rgba& colour : colours)
    {
        EXPECT_NEAR(colour.alpha, 127, 1) << "255 at age 0, 0 at age 1: half way";
        EXPECT_NEAR(colour.red, 13, 1) << "the emitter's colour at the particles' birth";
    }
    mOwned.clear();
}

TEST(ParticleMath, SeedStepsAndTimeWarp)
{
    uint32_t seed = 1;
    for (int32_t i = 0; i < 3; ++i)
        KfxRandom(&seed);
    EXPECT_EQ(KfxStepSeedThree(1), seed);
    uint32_t stepped = seed;
    for (int32_t i = 0; i < 3; ++i)
        KfxRandom(&stepped);
    EXPECT_EQ(KfxStepSeedThree(seed), stepped);

    struct Case
    {
        float t, length, speed, acceleration, expected;
    };
    const Case cases[] = {
        {0.5f, 1.0f, 2.0f, 0.0f, 1.0f},   // ends in (0, L]
        {0.75f, 1.0f, 2.0f, 0.0f, 0.5f},  // wrapped once
        {5.0f, 0.0f, 2.0f, 0.0f, 5.0f},   // L = 0: no warp, no endless loop
        {5.0f, -1.0f, 2.0f, 1.0f, 5.0f},  // likewise with an acceleration
        {1e9f, 1e-6f, 1.0f, 1e-9f, 0.0f}, // bounded: finishes
    };
    for (const Case& c : cases)
    {
        const float t = KfxWarpTime(c.t, c.length, c.speed, c.acceleration);
        if (c.t < 1e8f)
            EXPECT_NEAR(t, c.expected, 1e-5f) << c.t << " " << c.length;
        else
            EXPECT_TRUE(std::isfinite(t));
    }
    EXPECT_EQ(KfxLoopTime(2.5f, 0.0f, true), 0.0f) << "REPEAT with L = 0";
    EXPECT_NEAR(KfxLoopTime(2.5f, 1.0f, true), 0.5f, 1e-6f);
    EXPECT_EQ(KfxLoopTime(2.5f, 1.0f, false), 1.0f);
}

} // namespace
