// Emitter definitions: defaults, the definition keywords and their value words, the limits
// that keep a block's budget sound, the failures with their reports, and a sweep of damaged
// scripts in which only the damaged block fails.
#include "fx_fixture.h"

#include "kemitterdef.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace
{
using fxtest::ParseBody;

TEST(KEmitterDef, AnEmptyBlockGivesEveryDefault)
{
    auto p = ParseBody("");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.token, "}");
    const KEmitterDef& d = *p.def;
    EXPECT_EQ(d.batchSize, 100);
    EXPECT_EQ(d.maxParticles, 500);
    EXPECT_EQ(d.particleLife, 1.0f);
    EXPECT_EQ(d.particleLifeBias, 0.0f);
    EXPECT_EQ(d.endTime, -1.0f);
    EXPECT_EQ(d.startTime, 0.0f);
    EXPECT_EQ(d.group, 2);
    EXPECT_EQ(d.srcBlend, 5);
    EXPECT_EQ(d.dstBlend, 6);
    EXPECT_EQ(d.cullMode, 1);
    EXPECT_EQ(d.zTest, 1);
    EXPECT_EQ(d.zWrite, 0);
    EXPECT_EQ(d.transparency, 1);
    EXPECT_EQ(d.texturePerspective, 1);
    EXPECT_EQ(d.texture, nullptr);
    EXPECT_EQ(d.priority, 0);
    EXPECT_EQ(d.preAlloc, 0);
    EXPECT_EQ(d.forceUpdate, 0);
    EXPECT_EQ(d.ghostMode, 0);
    EXPECT_EQ(d.orientationMode, 0);
    EXPECT_EQ(d.fixedLife, 1);
}

TEST(KEmitterDef, KeywordsSetTheirSettingsAndLaterStatementsWin)
{
    auto p = ParseBody("BatchSize 20 CullMode CULLBACK SrcBlend vzBLENDONE DstBlend vzBLENDSRCALPHASAT "
                       "Transparency FALSE TexturePerspective FALSE ZTest FALSE ZWrite TRUE Group BEFORECHARACTER "
                       "MaxPrt 64 MaxPrt 65536 PrtLife 2.5 PrtLifeBias 0.5 StartTime 1 EndTime 3 BBCenter 0.25 -1 "
                       "Priority 9 PreAlloc 3 OrientationMode VIEWPOINT_ORIENTED BatchSize 30");
    ASSERT_EQ(p.result, 1) << p.report;
    const KEmitterDef& d = *p.def;
    EXPECT_EQ(d.batchSize, 30);
    EXPECT_EQ(d.cullMode, 2);
    EXPECT_EQ(d.srcBlend, 2);
    EXPECT_EQ(d.dstBlend, 11);
    EXPECT_EQ(d.transparency, 0);
    EXPECT_EQ(d.texturePerspective, 0);
    EXPECT_EQ(d.zTest, 0);
    EXPECT_EQ(d.zWrite, 1);
    EXPECT_EQ(d.group, 1);
    EXPECT_EQ(d.maxParticles, 65536);
    EXPECT_EQ(d.particleLife, 2.5f);
    EXPECT_EQ(d.particleLifeBias, 0.5f);
    EXPECT_EQ(d.fixedLife, 0) << "a life spread clears the fixed-life flag";
    EXPECT_EQ(d.startTime, 1.0f);
    EXPECT_EQ(d.endTime, 3.0f);
    EXPECT_EQ(d.quadCentre[0], 0.25f);
    EXPECT_EQ(d.quadCentre[1], -1.0f);
    EXPECT_EQ(d.priority, 9);
    EXPECT_EQ(d.preAlloc, 3);
    EXPECT_EQ(d.orientationMode, 1);

    EXPECT_EQ(ParseBody("PrtLifeBias 0.5 PrtLifeBias 0").def->fixedLife, 1);
    EXPECT_EQ(ParseBody("MaxPrt +12abc").def->maxParticles, 12) << "integers convert as atoi does";
}

TEST(KEmitterDef, GhostModeSetsForceUpdateOnlyAsAStatementOfItsOwn)
{
    auto ghostFirst = ParseBody("GhostMode TRUE ForceUpdate FALSE");
    ASSERT_EQ(ghostFirst.result, 1);
    EXPECT_EQ(ghostFirst.def->forceUpdate, 0);
    EXPECT_EQ(ghostFirst.def->ghostMode, 1);
    auto forceFirst = ParseBody("ForceUpdate FALSE GhostMode TRUE");
    ASSERT_EQ(forceFirst.result, 1);
    EXPECT_EQ(forceFirst.def->forceUpdate, 1);
    EXPECT_EQ(ParseBody("GhostMode FALSE").def->forceUpdate, 0);
}

Texture* NoTexture(const char*)
{
    return nullptr;
}

TEST(KEmitterDef, BadStatementsFailTheBlockWithTheirReport)
{
    KEmitterDef::SetTextureSource(NoTexture);
    struct Case
    {
        const char* body;
        const char* report; ///< the start of the last report
    };
    const Case cases[] = {
        {"CullMode BACK", "ERROR ON : BACK\nPARSER EXPECTED : /CULLNONE/CULLBACK/CULLFRONT\n"},
        {"maxprt 10", "ERROR ON : maxprt : unknown command \n\nPARSER EXPECTED : /BatchSize/CullMode"},
        {"SECTION FOO { }", "ERROR ON : FOO : Section name invalid \n\nPARSER EXPECTED : /PRT/EMT/FRAME\n"},
        {"Texture FX_SMOKE_TEX", "ERROR ON : FX_SMOKE_TEX : Invalid texture id \n\n"},
        {"Group MIDDLE", "ERROR ON : MIDDLE\nPARSER EXPECTED : /BEFORECHARACTER/AFTERCHARACTER\n"},
        {"ZTest yes", "ERROR ON : yes\nPARSER EXPECTED : /TRUE/FALSE\n"},
        {"SrcBlend ONE", "ERROR ON : ONE\nPARSER EXPECTED : /vzBLENDZERO/vzBLENDONE"},
        {"OrientationMode SIDEWAYS", "ERROR ON : SIDEWAYS\nPARSER EXPECTED : /CAMERA_ORIENTED/VIEWPOINT_ORIENTED\n"},
        // Limits: the render list, the batch, the tank and the time scale are sized from these.
        {"Priority 15", "ERROR ON : 15 : Value out of range \n\n"},
        {"Priority -1", "ERROR ON : -1 : Value out of range \n\n"},
        {"BatchSize 0", "ERROR ON : 0 : Value out of range \n\n"},
        {"MaxPrt abc", "ERROR ON : abc : Value out of range \n\n"},
        {"MaxPrt -5", "ERROR ON : -5 : Value out of range \n\n"},
        {"MaxPrt 65537", "ERROR ON : 65537 : Value out of range \n\n"},
        {"MaxPrt 99999999999999", "ERROR ON : 99999999999999 : Value out of range \n\n"},
        {"PreAlloc 33", "ERROR ON : 33 : Value out of range \n\n"},
        {"PreAlloc 2147483647", "ERROR ON : 2147483647 : Value out of range \n\n"},
        {"PreAlloc -1", "ERROR ON : -1 : Value out of range \n\n"},
        {"PrtLife 0", "ERROR ON : 0 : Value out of range \n\n"},
        {"PrtLife -1", "ERROR ON : -1 : Value out of range \n\n"},
    };
    for (const Case& c : cases)
    {
        auto p = ParseBody(c.body);
        EXPECT_EQ(p.result, 0) << c.body;
        EXPECT_EQ(p.report.rfind(c.report, 0), 0u) << c.body << "\n" << p.report;
    }
    KEmitterDef::SetTextureSource(nullptr);
}

TEST(KEmitterDef, ABlockCutShortFailsWithoutAReport)
{
    for (const char* block : {"{", "{ MaxPrt", "{ BBCenter 1", "{ SECTION", "{ SECTION EMT", "{ SECTION EMT {",
                              "{ SECTION EMT { EMIT { V", "{ SECTION PRT { SIZE { TIME 1 {", "{ MaxPrt 5"})
    {
        auto p = fxtest::ParseBlock(block);
        EXPECT_EQ(p.result, 0) << block;
        EXPECT_EQ(p.report, "") << block;
    }
}

/// Three blocks, each touching every kind of statement.
const std::string kScript = R"(# three emitters
{
    MaxPrt 40 PrtLife 0.5 BBCenter 0.5 0.5 CullMode CULLBACK Priority 3
    SECTION EMT { EMIT { V 20 } GAP BIAS { V 0.5 } SHAPE SPHERE { V 12 } ORIENTATION { X 1 A 30 } }
    SECTION PRT { COLOR { IMode LINEAR TIME 0 { X 255 } TIME 1 { Y 128 } } SIZE BIAS { X 3 Y 3 }
                  RP { RpMode SELF_ORIENTED Y 1 A 10 } CONSTRAINTS { UP { Y 1 } SIZEYFOLLOWSPEED 2 } }
    SECTION FRAME { SPEED WORLD }
}
stray
{
    GhostMode TRUE PrtLifeBias 0.25 OrientationMode VIEWPOINT_ORIENTED
    SECTION PRT { ALPHA { IMode LINEAR TIME 0 { V 255 } TIME 0.5 { V 0 } LMode REPEAT } }
    SECTION EMT { INITVEL { V 300 } INITDIR BIAS { X 0.2 Z 0.2 } FORCE { Y -981 } }
}
{
    Group BEFORECHARACTER MaxPrt 8
    SECTION PRT { POSITION BIAS { X 10 } ROT2D { IMode CONSTANT V 45 } }
}
)";

TEST(KEmitterDef, DamagedScriptsFailOnlyFromTheDamagedBlockOn)
{
    KParser::SetLogFile(nullptr); // hundreds of reports
    std::vector<std::string> reference;
    std::vector<size_t> blockEnds;
    {
        fxtest::Script script(kScript);
        auto defs = fxtest::ParseScript(script.Parser());
        ASSERT_EQ(defs.size(), 3u);
        for (auto& def : defs)
            reference.push_back(std::to_string(def->maxParticles) + "/" +
                                std::to_string(def->emitterSection.emit.value[0]) + "/" +
                                std::to_string(def->particleSection.color.keys.size()));
        for (size_t at = kScript.find("\n}"); at != std::string::npos; at = kScript.find("\n}", at + 1))
            blockEnds.push_back(at + 2);
    }
    ASSERT_EQ(blockEnds.size(), 3u);

    std::mt19937 random(57);
    const char alphabet[] = "{} \n#XYZV0-9.eAMTIESECTION";
    for (int32_t round = 0; round < 600; ++round)
    {
        std::string text = kScript;
        const size_t at = random() % text.size();
        switch (round % 4)
        {
        case 0:
            text[at] = alphabet[random() % (sizeof(alphabet) - 1)];
            break;
        case 1:
            text.erase(at, 1 + random() % 8);
            break;
        case 2:
            text.insert(at, std::string(1 + random() % 3, alphabet[random() % (sizeof(alphabet) - 1)]));
            break;
        default:
            text.resize(at);
            break;
        }
        fxtest::Script script(text);
        auto defs = fxtest::ParseScript(script.Parser());
        // Every block that ends before the damage reads as before (damage right after a "}"
        // may glue a byte onto it).
        size_t intact = 0;
        while (intact < blockEnds.size() && blockEnds[intact] < at)
            ++intact;
        ASSERT_GE(defs.size(), intact) << "round " << round << " at " << at;
        for (size_t i = 0; i < intact; ++i)
        {
            const KEmitterDef& d = *defs[i];
            EXPECT_EQ(std::to_string(d.maxParticles) + "/" + std::to_string(d.emitterSection.emit.value[0]) + "/" +
                          std::to_string(d.particleSection.color.keys.size()),
                      reference[i])
                << "round " << round;
        }
        for (auto& d : defs)
        {
            EXPECT_GE(d->maxParticles, 1);
            EXPECT_LE(d->maxParticles, KEmitterDef::kMaxParticlesLimit);
            EXPECT_GT(d->particleLife, 0.0f);
            EXPECT_GE(d->priority, 0);
            EXPECT_LE(d->priority, KEmitterDef::kMaxPriority);
        }
    }
}

} // namespace
