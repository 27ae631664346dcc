// Particle class set-up from definitions: the property lists of both records (ids, sizes,
// order) and the tank flags for one minimal definition per rule, fresh ids for every build,
// the callbacks installed, and the initial values read back through the property layout.
#include "fx_fixture.h"
#include "renderer_fixture.h"

#include "fxscriptwriter.h"
#include "kemitterdef.h"
#include "kpropertylayout.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "ptank.h"
#include "raster.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace
{
using fxtest::ParseBody;
using List = std::vector<KPropertyEntry>;

constexpr int32_t kPointer = int32_t(sizeof(void*));
constexpr int32_t kStd = PrtStdEmitterProperty::kStandardSize;
constexpr int32_t kTank = PrtStdEmitterProperty::kTankSize;

/// The renderer started (the engine with the particle plug-ins); emitters of the built
/// classes are destroyed with the engine.
class ClassSetUp : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
    }

    /// Both classes built from the definition and one emitter of them, initialised.
    PrtStdEmitter* Build(KEmitterDef& d, KPropertyLayout& layout, const KEmitterCallbackSet& callbacks = {})
    {
        mEmitterClass = PrtStdEmitterClass::Create();
        mParticleClass = PrtStdParticleClass::Create();
        EXPECT_TRUE(d.BuildClasses(mEmitterClass, mParticleClass, callbacks));
        PrtStdEmitter* emitter = PrtStdEmitter::Create(mEmitterClass, nullptr);
        EXPECT_NE(emitter, nullptr);
        if (!emitter)
            return nullptr;
        PrtStdEmitter::SetParticleClass(emitter, mParticleClass, d.batchSize);
        d.InitEmitter(emitter, &layout);
        return emitter;
    }

    /// A table's pairs in record order.
    static List Pairs(const PrtStdPropertyTable* table)
    {
        List l;
        for (int32_t i = 0; i < table->count; ++i)
            l.push_back({table->ids[i], table->sizes[i]});
        return l;
    }

    PrtStdEmitterClass* mEmitterClass = nullptr;
    PrtStdParticleClass* mParticleClass = nullptr;
};

bool Has(const List& list, int32_t id, int32_t size = -1)
{
    return std::any_of(list.begin(), list.end(),
                       [&](const KPropertyEntry& e) { return e.id == id && (size < 0 || e.size == size); });
}

std::string Show(const List& list)
{
    std::string s;
    for (const KPropertyEntry& e : list)
        s += "(" + std::to_string(e.id) + "," + std::to_string(e.size) + ")";
    return s;
}

TEST_F(ClassSetUp, PropertyListsAndTankFlagsPerRule)
{
    struct Case
    {
        const char* name;
        const char* body;
        /// The particle list, from the built definition's ids.
        std::function<List(const KEmitterDef&)> particles;
        uint32_t d, e, u;
        /// Further checks of the emitter list.
        std::function<void(const KEmitterDef&, const List&)> emitter;
    };
    auto def = [](const KEmitterDef& d) { return d.definitionEmitterIdBase; };
    auto P = [](const KEmitterDef& d, int32_t number, int32_t slot, int32_t size) {
        return KPropertyEntry{d.particleIdBase[number] + slot, size};
    };
    auto head = [](const KEmitterDef& d, const List& extra)
    {
        List l = {{0, 16}, {d.definitionParticleId, kPointer}, {6, 12}};
        l.insert(l.end(), extra.begin(), extra.end());
        return l;
    };
    const List position = {{1, 12}};
    const List matrix = {{7, 64}};
    const Case cases[] = {
        {"defaults", "", [&](const KEmitterDef& d) { return head(d, position); }, 1, 1, 0,
         [&](const KEmitterDef& d, const List& l)
         {
             const List start = {{1, kStd}, {6, kTank}, {9, kPointer}, {def(d) + kDefTimeScale, 4}};
             EXPECT_TRUE(std::equal(start.begin(), start.end(), l.begin())) << Show(l);
             EXPECT_FALSE(Has(l, 8));
             EXPECT_FALSE(Has(l, 2));
             const List tail = {
                 {def(d) + kDefTransparency, 52}, {def(d) + kDefStartTime, 4}, {def(d) + kDefEndTime, 4}};
             EXPECT_TRUE(std::equal(tail.begin(), tail.end(), l.end() - 3)) << Show(l);
             EXPECT_FALSE(Has(l, def(d) + kDefPlacement));
             EXPECT_FALSE(Has(l, def(d) + kDefQuadCentre));
             EXPECT_FALSE(Has(l, 3)) << "no texture-coordinate property";
         }},
        {"viewpoint oriented", "OrientationMode VIEWPOINT_ORIENTED",
         [&](const KEmitterDef& d) { return head(d, matrix); }, 8, 8, 8,
         [](const KEmitterDef&, const List& l) {
             EXPECT_EQ(l[2], (KPropertyEntry{8, PrtStdEmitterProperty::kMatrixSize}));
         }},
        {"particle colour bias", "SECTION PRT { COLOR BIAS { X 10 } }",
         [&](const KEmitterDef& d)
         {
             List l = head(d, position);
             l.push_back(P(d, KTrackNumber::kPrtColor, kParticleSlotValue, 12));
             return l;
         },
         1 | 2, 1 | 2, 0,
         [](const KEmitterDef&, const List& l) {
             EXPECT_EQ(l[2], (KPropertyEntry{2, 64})) << Show(l);
         }},
        {"life spread", "PrtLifeBias 0.5",
         [](const KEmitterDef&) {
             return List{{0, 16}, {6, 12}, {1, 12}};
         },
         1, 1, 0, nullptr},
        {"initial speed", "SECTION EMT { INITVEL { V 100 } }", [&](const KEmitterDef& d) { return head(d, position); },
         1, 1, 1, nullptr},
        {"quad centre", "BBCenter 0.5 0", [&](const KEmitterDef& d) { return head(d, position); }, 1 | 0x1000000, 1, 0,
         [&](const KEmitterDef& d, const List& l) {
             EXPECT_EQ(l.back(), (KPropertyEntry{def(d) + kDefQuadCentre, 8})) << Show(l);
         }},
        {"linear particle size", "SECTION PRT { SIZE { IMode LINEAR TIME 0 { X 1 Y 1 } TIME 1 { X 9 Y 9 } } }",
         [&](const KEmitterDef& d)
         {
             List l = head(d, matrix);
             l.push_back(P(d, KTrackNumber::kPrtSize, kParticleSlotTime, 4));
             return l;
         },
         8, 8, 8,
         [&](const KEmitterDef& d, const List& l)
         {
             const int32_t base = d.emitterIdBase[KTrackNumber::kPrtSize];
             EXPECT_TRUE(Has(l, base + kSlotKeys, 2 * 5 * 4)) << Show(l);
             EXPECT_TRUE(Has(l, base + kSlotKeyCount, 2));
             EXPECT_TRUE(Has(l, base + kSlotDuration, 4));
             EXPECT_FALSE(Has(l, base + kSlotValue)) << "the value is the emitter track's";
         }},
        {"emitter size keys", "SECTION EMT { SIZE { TIME 0 { X 5 Y 5 } } }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1 | 4, 1 | 4, 4,
         [&](const KEmitterDef& d, const List& l)
         {
             const int32_t base = d.emitterIdBase[KTrackNumber::kEmtSize];
             EXPECT_TRUE(Has(l, base + kSlotIMode, 4));
             EXPECT_FALSE(Has(l, base + kSlotKeys)) << "keys of an emitter track only in LINEAR";
         }},
        {"constant size", "SECTION PRT { SIZE { IMode CONSTANT } }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1 | 4, 1, 0, nullptr},
        {"up constraint", "SECTION PRT { CONSTRAINTS { UP { Y 1 } } }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1 | 0x8000, 1, 0x8000,
         [&](const KEmitterDef& d, const List& l)
         { EXPECT_TRUE(Has(l, d.emitterIdBase[KTrackNumber::kConstraints] + kConstraintUp, 12)); }},
        {"up bias", "SECTION PRT { CONSTRAINTS { UPBIAS { X 1 } } }",
         [&](const KEmitterDef& d)
         {
             List l = head(d, matrix);
             l.push_back(P(d, KTrackNumber::kConstraints, kConstraintParticleUp, 12));
             return l;
         },
         8, 8, 8, nullptr},
        {"linear emitter rotation", "SECTION EMT { ROT2D { IMode LINEAR TIME 0 { V 0 } TIME 1 { V 90 } } }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1 | 0x20, 1 | 0x20, 0, nullptr},
        {"constant rotation", "SECTION PRT { ROT2D { IMode CONSTANT } }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1 | 0x20000, 1 | 0x20000, 0x20000, nullptr},
        {"fading alpha", "SECTION PRT { ALPHA { IMode LINEAR TIME 0 { V 255 } TIME 1 { V 0 } } }",
         [&](const KEmitterDef& d)
         {
             List l = head(d, position);
             l.push_back(P(d, KTrackNumber::kPrtAlpha, kParticleSlotTime, 4));
             return l;
         },
         1 | 2, 1 | 2, 2, nullptr},
        {"force in the emitter frame", "SECTION FRAME { FORCE EMITTER }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1, 1, 0,
         [&](const KEmitterDef& d, const List& l) {
             EXPECT_EQ(l[4], (KPropertyEntry{def(d) + kDefQuadCentre, 4})) << Show(l);
         }},
        {"emitter placement", "SECTION EMT { POSITION { Y 100 } }",
         [&](const KEmitterDef& d) { return head(d, position); }, 1, 1, 0,
         [&](const KEmitterDef& d, const List& l) {
             EXPECT_EQ(l.back(), (KPropertyEntry{def(d) + kDefPlacement, 64}));
         }},
        {"position bias", "SECTION PRT { POSITION { IMode CONSTANT } POSITION BIAS { X 10 } }",
         [&](const KEmitterDef& d)
         {
             List l = head(d, position);
             l.push_back(P(d, KTrackNumber::kPrtPosition, kParticleSlotValue, 12));
             l.push_back(P(d, KTrackNumber::kRp, kRpParticlePoint, 12));
             return l;
         },
         1, 1, 0, nullptr},
        {"self-oriented RP with bias", "SECTION PRT { RP { RpMode SELF_ORIENTED } RP BIAS { A 30 } }",
         [&](const KEmitterDef& d)
         {
             List l = head(d, position);
             l.push_back(P(d, KTrackNumber::kRp, kRpParticleMatrix, 64));
             l.push_back(P(d, KTrackNumber::kRp, kRpParticlePoint, 12));
             return l;
         },
         1, 1, 0, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto p = ParseBody(c.body);
        ASSERT_EQ(p.result, 1) << p.report;
        KEmitterDef& d = *p.def;
        d.AssignIds();
        const List particles = d.BuildParticleProperties();
        EXPECT_EQ(Show(particles), Show(c.particles(d)));
        const List emitter = d.BuildEmitterProperties();
        if (c.emitter)
            c.emitter(d, emitter);
        // Ids are unique in each record.
        for (const List* l : {&particles, &emitter})
            for (size_t i = 0; i < l->size(); ++i)
                for (size_t j = i + 1; j < l->size(); ++j)
                    EXPECT_NE((*l)[i].id, (*l)[j].id) << Show(*l);

        // The classes carry the lists as tables, and an emitter of them the tank flags.
        KPropertyLayout layout;
        PrtStdEmitter* e = Build(d, layout);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(Show(Pairs(mParticleClass->table)), Show(particles));
        EXPECT_EQ(Show(Pairs(mEmitterClass->table)), Show(emitter));
        const PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->lockedProperties, c.d) << std::hex << block->lockedProperties;
        EXPECT_EQ(block->emitMask, c.e) << std::hex << block->emitMask;
        EXPECT_EQ(block->updateMask, c.u) << std::hex << block->updateMask;
        EXPECT_EQ(block->capacity, d.maxParticles);
        PrtStdEmitter::Destroy(e);
    }
}

PrtStdEmitter* FakeEmit(Atomic*, PrtStdEmitter* e, void*)
{
    return e;
}
PrtStdEmitter* FakeUpdate(Atomic*, PrtStdEmitter* e, void*)
{
    return e;
}
PrtStdEmitter* FakeSchedule(Atomic*, PrtStdEmitter* e, void*)
{
    return e;
}
PrtStdEmitter* FakeCopy(Atomic*, PrtStdEmitter* e, void*)
{
    return e;
}
PrtStdBatch* FakeParticles(PrtStdEmitter*, PrtStdBatch* b, void*)
{
    return b;
}

TEST_F(ClassSetUp, EveryBuildStartsItsIdsAfreshAndInstallsTheCallbacks)
{
    auto first = ParseBody("SECTION PRT { COLOR BIAS { X 3 } }");
    auto second = ParseBody("OrientationMode VIEWPOINT_ORIENTED");
    const KEmitterCallbackSet callbacks = {FakeEmit, FakeUpdate, FakeSchedule, FakeCopy, FakeParticles};
    std::vector<List> particleTables;
    for (auto* p : {&first, &second})
    {
        KPropertyLayout layout;
        PrtStdEmitter* e = Build(*p->def, layout, callbacks);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(layout.viewpointOriented, p == &second ? 1 : 0);
        EXPECT_EQ(p->def->emitterIdBase[KTrackNumber::kEmtSize], 10);
        EXPECT_EQ(p->def->particleIdBase[KTrackNumber::kEmtSize], 8);
        particleTables.push_back(Pairs(mParticleClass->table));

        ASSERT_EQ(mEmitterClass->numEntries, 1);
        const PrtStdEmitterCallbacks* entry = PrtStdEmitterClass::Entries(mEmitterClass);
        const PrtStdEmitterCallback expected[kPrtStdEmitterNumSlots] = {FakeEmit,
                                                                        FakeUpdate,
                                                                        FakeSchedule,
                                                                        PrtStdEmitterStd::BeginRender,
                                                                        nullptr,
                                                                        PrtStdEmitterStd::Create,
                                                                        PrtStdEmitterStd::Destroy,
                                                                        nullptr,
                                                                        nullptr,
                                                                        nullptr,
                                                                        FakeCopy};
        for (int32_t slot = 0; slot < kPrtStdEmitterNumSlots; ++slot)
            EXPECT_EQ(entry->slot[slot], expected[slot]) << "emitter slot " << slot;
        ASSERT_EQ(mParticleClass->numEntries, 1);
        const PrtStdParticleCallbacks* particle = PrtStdParticleClass::Entries(mParticleClass);
        EXPECT_EQ(particle->slot[0], FakeParticles);
        for (int32_t slot = 1; slot < kPrtStdParticleNumSlots; ++slot)
            EXPECT_EQ(particle->slot[slot], nullptr) << "particle slot " << slot;
        PrtStdEmitter::Destroy(e);
    }
    // Both definitions give their fixed-life link the same id: the counters restarted.
    EXPECT_EQ(particleTables[0][1].id, particleTables[1][1].id);
}

template <typename T> const T* At(PrtStdEmitter* e, int32_t offset)
{
    return static_cast<const T*>(KPropertyLayout::At(PrtStdEmitter::Data(e), offset));
}

TEST_F(ClassSetUp, InitialValuesReadBackThroughTheLayout)
{
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture);
    ASSERT_NE(raster, nullptr);
    static Texture* sTexture;
    sTexture = Texture::Create(raster);
    ASSERT_NE(sTexture, nullptr);
    KEmitterDef::SetTextureSource(
        [](const char*)
        {
            ++sTexture->refCount;
            return sTexture;
        });
    auto p = ParseBody("MaxPrt 40 PrtLife 0.5 PrtLifeBias 0.1 StartTime 1 EndTime 4 BBCenter 0.25 0.75 "
                       "SrcBlend vzBLENDONE DstBlend vzBLENDONE Texture FX_SPARK_TEX\n"
                       "SECTION EMT { EMIT { V 20 } GAP BIAS { V 0.5 } SHAPE TORUS { X 7 } "
                       "  SIZE { IMode LINEAR LMode REPEAT TIME 0 { X 1 Y 2 } TIME 2 { X 3 Y 6 } } }\n"
                       "SECTION PRT { ALPHA { TMode REAL AnimSpeed 2 IMode LINEAR AnimAcceleration 0.5 "
                       "  TIME 0 { V 255 } TIME 0.5 { V 0 } } RP { RpMode SELF_ORIENTED X 1 Y 0 A 90 } "
                       "  CONSTRAINTS { RIGHT { X 2 } SIZEYFOLLOWSPEED 5 } }\n"
                       "SECTION FRAME { POSITION EMITTER SPEED WORLD }");
    KEmitterDef::SetTextureSource(nullptr);
    ASSERT_EQ(p.result, 1) << p.report;
    KEmitterDef& d = *p.def;
    KPropertyLayout layout;
    PrtStdEmitter* e = Build(d, layout);
    ASSERT_NE(e, nullptr);

    EXPECT_EQ(*At<KPropertyLayout*>(e, PrtStdPropertyTable::GetOffset(mEmitterClass->table, 9)), &layout);
    const PrtStdEmitterStd* standard = PrtStdEmitter::GetStandard(e);
    EXPECT_EQ(standard->maxParticles, 40);
    EXPECT_EQ(standard->life, 0.5f);
    EXPECT_EQ(standard->lifeBias, 0.1f);
    EXPECT_EQ(standard->texture, sTexture);
    EXPECT_EQ(sTexture->refCount, 3) << "ours, the definition's and the emitter's";
    EXPECT_EQ(standard->texCoords[1].x, 1.0f);

    const int32_t* def = layout.definition;
    EXPECT_EQ(*At<float>(e, def[kDefTimeScale]), 2.0f);
    EXPECT_EQ(*At<float>(e, def[kDefStartTime]), 1.0f);
    EXPECT_EQ(*At<float>(e, def[kDefEndTime]), 4.0f);
    EXPECT_EQ(At<float>(e, def[kDefQuadCentre])[1], 0.75f);
    EXPECT_EQ(def[kDefPlacement], -1);
    EXPECT_EQ(def[kDefFirstInEmission], -1) << "a life spread";
    EXPECT_EQ(layout.frame[FxFrameSectionParser::kPosition], def[kDefStartTime]);
    EXPECT_EQ(layout.frame[FxFrameSectionParser::kSpeed], -1);

    const int32_t* emit = layout.emitter[KTrackNumber::kEmit];
    EXPECT_EQ(*At<float>(e, emit[kSlotValue]), 20.0f);
    EXPECT_EQ(emit[kSlotIMode], -1) << "no keys, no mode word";
    EXPECT_EQ(*At<float>(e, layout.emitter[KTrackNumber::kGap][kSlotBias]), 0.5f);
    const int32_t* shape = layout.emitter[KTrackNumber::kShape];
    EXPECT_EQ(*At<int32_t>(e, shape[kSlotShapeKind]), int32_t(kShapeTorus));
    EXPECT_EQ(At<float>(e, shape[kSlotValue])[0], 7.0f);
    EXPECT_EQ(At<float>(e, shape[kSlotValue])[1], 10.0f);

    const int32_t* size = layout.emitter[KTrackNumber::kEmtSize];
    EXPECT_EQ(*At<int32_t>(e, size[kSlotIMode]), int32_t(kIModeLinear));
    EXPECT_EQ(*At<int32_t>(e, size[kSlotLMode]), int32_t(kLModeRepeat));
    EXPECT_EQ(*At<uint16_t>(e, size[kSlotKeyCount]), 2);
    EXPECT_EQ(*At<float>(e, size[kSlotDuration]), 2.0f);
    const float* keys = At<float>(e, size[kSlotKeys]);
    EXPECT_EQ(std::vector<float>(keys, keys + 10), (std::vector<float>{0, 1, 2, 1, 2, 2, 3, 6, 0, 0}));

    const int32_t* alpha = layout.emitter[KTrackNumber::kPrtAlpha];
    EXPECT_EQ(alpha[kSlotValue], -1) << "the emitter track of the same name holds the value";
    EXPECT_EQ(*At<int32_t>(e, alpha[kSlotTMode]), int32_t(kTModeReal));
    EXPECT_EQ(*At<float>(e, alpha[kSlotSpeed]), 2.0f);
    EXPECT_EQ(*At<float>(e, alpha[kSlotAcceleration]), 0.5f);
    EXPECT_EQ(*At<float>(e, alpha[kSlotDuration]), 0.5f);
    EXPECT_EQ(*At<uint16_t>(e, alpha[kSlotKeyCount]), 2);
    EXPECT_GE(layout.particle[KTrackNumber::kPrtAlpha][kParticleSlotTime], 0);

    const int32_t* rp = layout.emitter[KTrackNumber::kRp];
    EXPECT_EQ(*At<int32_t>(e, rp[kRpSlotMode]), int32_t(kRpSelfOriented));
    EXPECT_EQ(At<float>(e, rp[kRpSlotAxis])[3], 90.0f);
    const Matrix* rpMatrix = At<Matrix>(e, rp[kRpSlotMatrix]);
    ASSERT_NE(rpMatrix, nullptr) << "one matrix for every particle without a bias";
    EXPECT_NEAR(rpMatrix->up.x, 1.0f, 1e-5f);
    EXPECT_GE(layout.particle[KTrackNumber::kRp][kRpParticlePoint], 0);

    const int32_t* c = layout.emitter[KTrackNumber::kConstraints];
    EXPECT_EQ(At<float>(e, c[kConstraintRight])[0], 1.0f);
    EXPECT_EQ(*At<int32_t>(e, c[kConstraintFlags]), 2);
    EXPECT_FLOAT_EQ(*At<float>(e, c[kConstraintFactor]), 0.5f);

    const PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e);
    EXPECT_EQ(block->sourceBlend, 2);
    EXPECT_EQ(block->destBlend, 2);
    EXPECT_TRUE(block->lockedProperties & kPTankConstantTexCoords2);
    EXPECT_TRUE(block->lockedProperties & kPTankUseCentre);

    EXPECT_NE(FxScriptWriter::Block(d).find("\n    Texture FX_SPARK_TEX\n"), std::string::npos);

    PrtStdEmitter::Destroy(e);
    p.def.reset();
    EXPECT_EQ(sTexture->refCount, 2) << "the emitter's reference is its destroyer's to release";
    Texture::Destroy(sTexture);
    Texture::Destroy(sTexture);
}

} // namespace
