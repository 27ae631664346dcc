// Property tracks inside the sections of a block: constant values, keyframes and slopes,
// options, biases, shapes, RP, constraints, the frame section, and the grammar's failures.
#include "fx_fixture.h"

#include "kemitterdef.h"
#include "ktrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
using fxtest::ParseBody;
using Floats = std::vector<float>;

TEST(KTrack, EmitterTrackValuesWithOrWithoutTheValueName)
{
    for (const char* body : {"SECTION EMT { EMIT { V 20 } }", "SECTION EMT { EMIT VALUE { V 20 } }"})
    {
        auto p = ParseBody(body);
        ASSERT_EQ(p.result, 1) << body << p.report;
        EXPECT_EQ(p.def->emitterSection.emit.value[0], 20.0f) << body;
        EXPECT_FALSE(p.def->emitterSection.emit.HasKeys());
    }
    auto bias = ParseBody("SECTION EMT { GAP BIAS { V 0.5 } INITDIR { X 1 Y 0 } FORCE BIAS { Z -3 } }");
    ASSERT_EQ(bias.result, 1) << bias.report;
    const KEmitterSection& e = bias.def->emitterSection;
    EXPECT_EQ(e.gap.bias[0], 0.5f);
    EXPECT_EQ(e.gap.value[0], 0.2f) << "the bias block leaves the value";
    EXPECT_EQ(Floats(e.initDir.value, e.initDir.value + 3), (Floats{1, 0, 0}));
    EXPECT_EQ(Floats(e.force.bias, e.force.bias + 3), (Floats{0, 0, -3}));
}

TEST(KTrack, KeyframesKeepTheirWrittenOrderWithSlopesToTheNextKey)
{
    auto p = ParseBody("SECTION PRT { COLOR { IMode LINEAR TIME 0 { X 10 Y 20 Z 30 } TIME 1 { X 20 Z 30 } "
                       "LMode REPEAT } }");
    ASSERT_EQ(p.result, 1) << p.report;
    const KTrack& color = p.def->particleSection.color;
    // time, value, slope per key; a component left out of a key is 0; the last slope is 0.
    EXPECT_EQ(color.keys, (Floats{0, 10, 20, 30, 10, -20, 0, 1, 20, 0, 30, 0, 0, 0}));
    EXPECT_EQ(color.options.iMode, kIModeLinear) << "an option before the first key";
    EXPECT_EQ(color.options.lMode, kLModeRepeat) << "an option after the last key";

    auto unsorted = ParseBody("SECTION PRT { ALPHA { TIME 1 { V 4 } TIME 0.5 { V 2 } TIME 0.5 { V 8 } } }");
    ASSERT_EQ(unsorted.result, 1) << unsorted.report;
    // Not sorted; equal times give the earlier key slope 0, so the later one rules there.
    EXPECT_EQ(unsorted.def->particleSection.alpha.keys, (Floats{1, 4, 4, 0.5f, 2, 0, 0.5f, 8, 0}));

    auto twice = ParseBody("SECTION EMT { EMIT { TIME 0 { V 1 } } } SECTION EMT { EMIT { TIME 2 { V 5 } V 3 } }");
    ASSERT_EQ(twice.result, 1) << twice.report;
    EXPECT_EQ(twice.def->emitterSection.emit.keys, (Floats{0, 1, 2, 2, 5, 0}));
    EXPECT_EQ(twice.def->emitterSection.emit.value[0], 3.0f);

    auto options = ParseBody("SECTION PRT { SIZE { TMode REAL AnimSpeed 2.5 AnimAcceleration -1 IMode CONSTANT } }");
    ASSERT_EQ(options.result, 1) << options.report;
    const KTrackOptions& o = options.def->particleSection.size.options;
    EXPECT_EQ(o.tMode, kTModeReal);
    EXPECT_EQ(o.iMode, kIModeConstant);
    EXPECT_EQ(o.animSpeed, 2.5f);
    EXPECT_EQ(o.animAcceleration, -1.0f);
}

TEST(KTrack, EmitterPositionHasTwoNamesAndIsNotTheParticlePosition)
{
    auto p = ParseBody("SECTION EMT { EMTPOS { X 1 } POSITION { Y 2 } } SECTION PRT { POSITION { Z 3 } }");
    ASSERT_EQ(p.result, 1) << p.report;
    const KTrack& emitter = p.def->emitterSection.position;
    const KTrack& particle = p.def->particleSection.position;
    EXPECT_EQ(Floats(emitter.value, emitter.value + 3), (Floats{1, 2, 0}));
    EXPECT_EQ(Floats(particle.value, particle.value + 3), (Floats{0, 0, 3}));
}

TEST(KTrack, ParticleSubTracksAndShapes)
{
    auto p = ParseBody("SECTION PRT { SIZE BIASSCALE { V 1 } SIZE BIAS { X 4 TIME 0 { Y 1 } } "
                       "COLOR BIASSCALE { V 9 } } SECTION EMT { SHAPE CYLINDER { X 1 } SHAPE DISC BIAS { V 2 } }");
    ASSERT_EQ(p.result, 1) << p.report;
    const KParticleSection& prt = p.def->particleSection;
    EXPECT_EQ(prt.sizeBiasScale.value[0], 1.0f);
    EXPECT_EQ(prt.sizeBias.value[0], 4.0f);
    EXPECT_EQ(prt.sizeBias.keys, (Floats{0, 0, 1, 0, 0}));
    EXPECT_EQ(prt.colorBiasScale.value[0], 9.0f);
    const KShape& shape = p.def->emitterSection.shape;
    EXPECT_EQ(shape.kind, kShapeDisc) << "a later SHAPE replaces the kind";
    EXPECT_EQ(shape.parameters[kShapeCylinder - 1].value[0], 1.0f) << "every kind keeps its parameters";
    EXPECT_EQ(shape.parameters[kShapeDisc - 1].bias[0], 2.0f);
    EXPECT_EQ(shape.parameters[kShapeDisc - 1].value[0], 50.0f);
}

TEST(KTrack, OrientationTracksReadDirectionsAndAnglesPerKey)
{
    auto p = ParseBody("SECTION EMT { ORIENTATION { X 1 TIME 0 { Y 1 } TIME 1 { A 90 Y 1 } } }");
    ASSERT_EQ(p.result, 1) << p.report;
    const KTrack& o = p.def->emitterSection.orientation;
    EXPECT_NEAR(std::fabs(o.value[2]), std::sqrt(0.5f), 1e-5f) << "+Y onto +X turns about Z";
    ASSERT_EQ(o.KeyCount(), 2);
    EXPECT_NEAR(std::fabs(o.keys[4]), 1.0f, 1e-6f) << "first key: the identity";
    EXPECT_NEAR(std::fabs(o.keys[7]), std::sqrt(0.5f), 1e-5f) << "second key: a quarter turn about +Y";
    EXPECT_FALSE(o.IsZero());
}

TEST(KTrack, RpConstraintsAndFrames)
{
    auto p = ParseBody("SECTION PRT { RP { RpMode SPEED_ORIENTED X 1 Y 0 A 30 } RP BIAS { Z 2 A 5 } "
                       "CONSTRAINTS { UP { X 0 Y 2 Z 0 junk } RIGHTBIAS { X 3 } UPFOLLOWSPEED "
                       "SIZEYFOLLOWSPEED 5 } } SECTION FRAME { SPEED WORLD FORCE EMITTER }");
    ASSERT_EQ(p.result, 1) << p.report;
    const KRp& rp = p.def->particleSection.rp;
    EXPECT_EQ(rp.mode, kRpSpeedOriented);
    EXPECT_EQ(Floats(rp.axis, rp.axis + 3), (Floats{1, 0, 0}));
    EXPECT_EQ(rp.angle, 30.0f);
    EXPECT_EQ(Floats(rp.biasAxis, rp.biasAxis + 3), (Floats{0, 0, 2}));
    EXPECT_EQ(rp.biasAngle, 5.0f);
    const KConstraints& c = p.def->particleSection.constraints;
    EXPECT_EQ(Floats(c.up, c.up + 3), (Floats{0, 1, 0})) << "normalised";
    EXPECT_EQ(Floats(c.rightBias, c.rightBias + 3), (Floats{3, 0, 0})) << "not normalised";
    EXPECT_TRUE(c.upFollowsSpeed);
    EXPECT_TRUE(c.sizeYFollowsSpeed);
    EXPECT_FLOAT_EQ(c.sizeYFactor, 0.5f);
    EXPECT_EQ(p.def->frameSection.frames[FxFrameSectionParser::kSpeed], FxFrameSectionParser::kWorld);
    EXPECT_EQ(p.def->frameSection.frames[FxFrameSectionParser::kForce], FxFrameSectionParser::kEmitter);
    EXPECT_EQ(p.def->frameSection.frames[FxFrameSectionParser::kPosition], FxFrameSectionParser::kWorld);

    auto zero = ParseBody("SECTION PRT { CONSTRAINTS { SIZEYFOLLOWSPEED 0 } }");
    ASSERT_EQ(zero.result, 1);
    EXPECT_FALSE(zero.def->particleSection.constraints.sizeYFollowsSpeed);
    EXPECT_FALSE(zero.def->particleSection.constraints.IsSet());
}

TEST(KTrack, AnUnknownEmitterSubBlockLeavesTheSectionAtItsFirstToken)
{
    auto p = ParseBody("SECTION EMT { GAP FOO { EMIT { V 7 } } }");
    ASSERT_EQ(p.result, 1) << p.report;
    EXPECT_EQ(p.def->emitterSection.emit.value[0], 7.0f);
    EXPECT_EQ(p.def->emitterSection.gap.value[0], 0.2f);
    auto bad = ParseBody("SECTION EMT { GAP FOO { V 7 } }");
    EXPECT_EQ(bad.result, 0);
    EXPECT_EQ(bad.report.rfind("ERROR ON : V : Error in parameter name \n\nPARSER EXPECTED : /SIZE", 0), 0u)
        << bad.report;
}

TEST(KTrack, MalformedTracksFailTheBlockWithTheirReport)
{
    struct Case
    {
        const char* body;
        /// The start of the last report ("" for a failure without one); a sub-block's name
        /// has been read with its "{", which is the token reported.
        const char* report;
    };
    const Case cases[] = {
        {"SECTION EMT { SHAPE POINT { V 1 } }", "ERROR ON : POINT\nPARSER EXPECTED : /SPHERE/CYLINDER/TORUS"},
        {"SECTION PRT { ALPHA BIASSCALE { V 1 } }", "ERROR ON : {\nPARSER EXPECTED : /BIAS/BIASSCALE/VALUE/{"},
        {"SECTION PRT { SIZE OTHER { } }", "ERROR ON : {\nPARSER EXPECTED : /BIAS"},
        {"SECTION PRT { FOO { } }", "ERROR ON : FOO : Error in parameter name \n"},
        {"SECTION EMT { EMIT { IMode SMOOTH } }", "ERROR ON : SMOOTH\nPARSER EXPECTED : /FOLLOW/CONSTANT/LINEAR"},
        {"SECTION EMT { EMIT { W 3 } }",
         "ERROR ON : W\nPARSER EXPECTED : /LMode/IMode/TMode/AnimSpeed/AnimAcceleration/TIME/V"},
        {"SECTION EMT { EMIT { TIME 1 { X 3 } } }", "ERROR ON : X\nPARSER EXPECTED : /V"},
        {"SECTION EMT { EMIT { TIME 1 V 3 } }", "ERROR ON : V : Open token { missing \n"},
        {"SECTION EMT { GAP BIAS { X 1 } }", "ERROR ON : X\nPARSER EXPECTED : /V"},
        {"SECTION PRT { RP { RpMode SIDEWAYS } }", "ERROR ON : SIDEWAYS\nPARSER EXPECTED : /WORLD_ORIENTED"},
        {"SECTION PRT { RP { Q 1 } }", "ERROR ON : Q\nPARSER EXPECTED : /RpMode/X/Y/Z/A"},
        {"SECTION PRT { RP OTHER { } }", "ERROR ON : {\nPARSER EXPECTED : /BIAS/VALUE/{"},
        {"SECTION PRT { CONSTRAINTS { SIDEWAYS } }", ""},
        {"SECTION FRAME { SPEED LOCAL }", "ERROR ON : LOCAL\nPARSER EXPECTED : /WORLD/EMITTER\n"},
        {"SECTION FRAME { ROTATION WORLD }",
         "ERROR ON : ROTATION : Error in parameter name \n\nPARSER EXPECTED : /POSITION/SPEED/FORCE/BBAXIS\n"},
        {"SECTION FRAME SPEED WORLD", "ERROR ON : SPEED : Open token { missing \n"},
    };
    for (const Case& c : cases)
    {
        auto p = ParseBody(c.body);
        EXPECT_EQ(p.result, 0) << c.body;
        EXPECT_EQ(p.report.rfind(c.report, 0), 0u) << c.body << "\n" << p.report;
        if (!*c.report)
        {
            EXPECT_EQ(p.report, "") << c.body;
        }
    }
}

} // namespace
