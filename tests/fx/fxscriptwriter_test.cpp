// The effect-script writer against the parser: a table of definitions written as text and
// read back gives the same definitions, and a random sweep of values survives the text.
#include "fx_fixture.h"

#include "fxscriptwriter.h"
#include "kemitterdef.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace
{
using fxtest::ParseBlock;
using fxtest::ParseBody;

/// Orientation values are equal up to sign within the reader's resolution; others exactly.
void ExpectSameValues(const float* a, const float* b, KTrackType type, const std::string& what)
{
    if (type != kTrackOrientation)
    {
        for (int32_t i = 0; i < int32_t(type); ++i)
            EXPECT_EQ(a[i], b[i]) << what << " [" << i << "]";
        return;
    }
    const float sign = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3] < 0 ? -1.0f : 1.0f;
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_NEAR(a[i], sign * b[i], 2e-5f) << what << " [" << i << "]";
}

void ExpectSameTrack(const KTrack& a, const KTrack& b, const std::string& what)
{
    ExpectSameValues(a.value, b.value, a.type, what + " value");
    ExpectSameValues(a.bias, b.bias, a.type == kTrackOrientation && a.bias[3] == 0 ? kTrackVec3 : a.type,
                     what + " bias");
    ASSERT_EQ(a.KeyCount(), b.KeyCount()) << what;
    for (int32_t k = 0; k < a.KeyCount(); ++k)
    {
        const float* ka = a.keys.data() + k * a.KeyFloats();
        const float* kb = b.keys.data() + k * b.KeyFloats();
        EXPECT_EQ(ka[0], kb[0]) << what << " key " << k;
        if (a.type == kTrackOrientation)
            ExpectSameValues(ka + 1, kb + 1, a.type, what + " key");
        else
            for (int32_t i = 1; i < a.KeyFloats(); ++i)
                EXPECT_EQ(ka[i], kb[i]) << what << " key " << k << " [" << i << "]";
    }
    EXPECT_EQ(a.options.lMode, b.options.lMode) << what;
    EXPECT_EQ(a.options.iMode, b.options.iMode) << what;
    EXPECT_EQ(a.options.tMode, b.options.tMode) << what;
    EXPECT_EQ(a.options.animSpeed, b.options.animSpeed) << what;
    EXPECT_EQ(a.options.animAcceleration, b.options.animAcceleration) << what;
}

void ExpectSameDefinition(KEmitterDef& a, KEmitterDef& b)
{
    EXPECT_EQ(a.batchSize, b.batchSize);
    EXPECT_EQ(a.cullMode, b.cullMode);
    EXPECT_EQ(a.srcBlend, b.srcBlend);
    EXPECT_EQ(a.dstBlend, b.dstBlend);
    EXPECT_EQ(a.transparency, b.transparency);
    EXPECT_EQ(a.ghostMode, b.ghostMode);
    EXPECT_EQ(a.textureName, b.textureName);
    EXPECT_EQ(a.texturePerspective, b.texturePerspective);
    EXPECT_EQ(a.zTest, b.zTest);
    EXPECT_EQ(a.zWrite, b.zWrite);
    EXPECT_EQ(a.group, b.group);
    EXPECT_EQ(a.maxParticles, b.maxParticles);
    EXPECT_EQ(a.particleLife, b.particleLife);
    EXPECT_EQ(a.particleLifeBias, b.particleLifeBias);
    EXPECT_EQ(a.fixedLife, b.fixedLife);
    EXPECT_EQ(a.startTime, b.startTime);
    EXPECT_EQ(a.endTime, b.endTime);
    EXPECT_EQ(a.quadCentre[0], b.quadCentre[0]);
    EXPECT_EQ(a.quadCentre[1], b.quadCentre[1]);
    EXPECT_EQ(a.priority, b.priority);
    EXPECT_EQ(a.preAlloc, b.preAlloc);
    EXPECT_EQ(a.forceUpdate, b.forceUpdate);
    EXPECT_EQ(a.orientationMode, b.orientationMode);

    const std::vector<KTrack*> ea = a.emitterSection.Tracks(), eb = b.emitterSection.Tracks();
    for (size_t i = 0; i < ea.size(); ++i)
        ExpectSameTrack(*ea[i], *eb[i], std::string("EMT ") + ea[i]->name);
    EXPECT_EQ(a.emitterSection.shape.kind, b.emitterSection.shape.kind);
    for (size_t k = 0; k < a.emitterSection.shape.parameters.size(); ++k)
        ExpectSameTrack(a.emitterSection.shape.parameters[k], b.emitterSection.shape.parameters[k],
                        std::string("SHAPE ") + a.emitterSection.shape.parameters[k].name);

    const std::vector<KTrack*> pa = a.particleSection.Tracks(), pb = b.particleSection.Tracks();
    for (size_t i = 0; i < pa.size(); ++i)
    {
        ExpectSameTrack(*pa[i], *pb[i], std::string("PRT ") + pa[i]->name);
        ExpectSameTrack(*pa[i]->biasTrack, *pb[i]->biasTrack, std::string("PRT BIAS ") + pa[i]->name);
        if (pa[i]->biasScaleTrack)
            ExpectSameTrack(*pa[i]->biasScaleTrack, *pb[i]->biasScaleTrack, std::string("PRT SCALE ") + pa[i]->name);
    }
    const KRp &ra = a.particleSection.rp, &rb = b.particleSection.rp;
    EXPECT_EQ(ra.mode, rb.mode);
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(ra.axis[i], rb.axis[i]);
        EXPECT_EQ(ra.biasAxis[i], rb.biasAxis[i]);
    }
    EXPECT_EQ(ra.angle, rb.angle);
    EXPECT_EQ(ra.biasAngle, rb.biasAngle);
    const KConstraints &ca = a.particleSection.constraints, &cb = b.particleSection.constraints;
    for (int32_t i = 0; i < 3; ++i)
    {
        // Directions are normalised as they are read: a second reading may move the last bit.
        EXPECT_NEAR(ca.up[i], cb.up[i], 1e-6f);
        EXPECT_NEAR(ca.right[i], cb.right[i], 1e-6f);
        EXPECT_EQ(ca.upBias[i], cb.upBias[i]);
        EXPECT_EQ(ca.rightBias[i], cb.rightBias[i]);
    }
    EXPECT_EQ(ca.upFollowsSpeed, cb.upFollowsSpeed);
    EXPECT_EQ(ca.sizeYFollowsSpeed, cb.sizeYFollowsSpeed);
    EXPECT_NEAR(ca.sizeYFactor, cb.sizeYFactor, 1e-6f);
    for (int32_t q = 0; q < FxFrameSectionParser::kQuantityCount; ++q)
        EXPECT_EQ(a.frameSection.frames[q], b.frameSection.frames[q]);
}

void ExpectRoundTrip(KEmitterDef& def, const std::string& what)
{
    const std::string text = FxScriptWriter::Block(def);
    auto back = ParseBlock(text);
    ASSERT_EQ(back.result, 1) << what << "\n" << text << back.report;
    SCOPED_TRACE(what + "\n" + text);
    ExpectSameDefinition(def, *back.def);
}

TEST(FxScriptWriter, DefinitionsReadBackAsWritten)
{
    const char* bodies[] = {
        "",
        "BatchSize 7 CullMode CULLFRONT SrcBlend vzBLENDDESTCOLOR DstBlend vzBLENDZERO Transparency FALSE "
        "TexturePerspective FALSE ZTest FALSE ZWrite TRUE Group BEFORECHARACTER MaxPrt 1 PrtLife 0.1 "
        "PrtLifeBias 0.05 StartTime 0.3 EndTime 12.75 BBCenter -0.5 0.125 Priority 4 PreAlloc 2 "
        "OrientationMode VIEWPOINT_ORIENTED",
        "GhostMode TRUE ForceUpdate FALSE",
        "ForceUpdate TRUE",
        "SECTION EMT { EMIT { IMode LINEAR LMode REPEAT TIME 0 { V 5 } TIME 1.5 { V 50 } TIME 1.5 { V 2 } "
        "TIME 0.5 { V 1 } } GAP { V 0.05 TMode REAL } GAP BIAS { V 0.3 } INITVEL { V 250 AnimSpeed 3 "
        "AnimAcceleration -0.25 } INITDIR BIAS { X 0.1 Y 0.2 Z 0.3 } FORCE { Y -981 } EMTPOS { X 1 Y 2 Z 3 } "
        "SIZE { X 3 Y 4 } COLOR { X 1 Y 2 Z 3 } ALPHA { V 9 } ROT2D BIAS { V 7 } }",
        "SECTION EMT { ORIENTATION { X 1 Y 1 A 37.5 TIME 0 { Z -1 } TIME 2 { X 0.3 Y -0.2 Z 0.9 A 270 } "
        "TIME 3 { Y -1 } } ORIENTATION BIAS { X 1 A 10 } }",
        "SECTION EMT { SHAPE CUBE { X 1 } SHAPE LINE BIAS { V 3 } SHAPE SPHERE { V 4 TIME 1 { V 2 } } }",
        "SECTION PRT { SIZE { IMode CONSTANT X 5 Y 6 } SIZE BIAS { X 1 TIME 0 { Y 2 } IMode LINEAR } "
        "SIZE BIASSCALE { V 0.5 } COLOR { IMode LINEAR TIME 0 { X 255 Y 128 Z 0 } TIME 1 { X 0 } } "
        "COLOR BIAS { Z 9 } COLOR BIASSCALE { V 3 } ALPHA BIAS { V 20 } ROT2D { V 45 } ROT2D BIAS { V 5 } "
        "POSITION { Y 10 } POSITION BIAS { X 2 } }",
        "SECTION PRT { RP { RpMode SPEED_ORIENTED X 0.5 Y 0.5 Z 0 A 15 } RP BIAS { X 0.1 A 3 } "
        "CONSTRAINTS { UP { X 1 Y 1 } RIGHT { Z 3 } UPBIAS { X 0.25 } RIGHTBIAS { Y -2 } UPFOLLOWSPEED "
        "SIZEYFOLLOWSPEED 3 } } SECTION FRAME { POSITION EMITTER SPEED WORLD FORCE EMITTER BBAXIS EMITTER }",
    };
    for (const char* body : bodies)
    {
        auto parsed = ParseBody(body);
        ASSERT_EQ(parsed.result, 1) << body << parsed.report;
        ExpectRoundTrip(*parsed.def, body);
    }
}

TEST(FxScriptWriter, ValuesAndScriptsSurviveTheText)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-1, 1);
    std::uniform_int_distribution<int32_t> exponent(-30, 30);
    auto value = [&] { return std::ldexp(spread(random), exponent(random)); };
    std::vector<std::unique_ptr<KEmitterDef>> defs;
    for (int32_t round = 0; round < 20; ++round)
    {
        auto def = std::make_unique<KEmitterDef>();
        def->startTime = value();
        def->endTime = value();
        def->quadCentre[0] = value();
        def->emitterSection.gap.value[0] = value();
        def->emitterSection.force.bias[1] = value();
        KTrack& color = def->particleSection.color;
        color.options.iMode = kIModeLinear;
        for (int32_t k = 0; k < 5; ++k)
        {
            const float v[3] = {value(), value(), value()};
            color.AppendKey(std::fabs(value()), v);
        }
        ExpectRoundTrip(*def, "round " + std::to_string(round));
        defs.push_back(std::move(def));
    }

    // A whole script: the blocks come back in order.
    hbtest::TempDir dir;
    const std::string path = dir / "FX_KI_TEST_1.txt";
    std::vector<const KEmitterDef*> pointers;
    for (const auto& d : defs)
        pointers.push_back(d.get());
    ASSERT_TRUE(FxScriptWriter::WriteFile(path, pointers));
    HbFile* file = HbFileOpen(path.c_str(), "rt");
    ASSERT_NE(file, nullptr);
    {
        KParser parser(file);
        auto back = fxtest::ParseScript(parser);
        ASSERT_EQ(back.size(), defs.size());
        for (size_t i = 0; i < defs.size(); ++i)
            EXPECT_EQ(back[i]->startTime, defs[i]->startTime) << i;
    }
    HbFileClose(file);
    EXPECT_FALSE(FxScriptWriter::WriteFile(dir / "missing/FX.txt", pointers));
}

} // namespace
