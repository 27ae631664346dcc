// Reading the effect scripts into emitter classes at start-up, so that playing an effect
// costs no parsing.
#include "fxservices.h"
#include "hbfile.h"
#include "hbresource.h"
#include "kemitter.h"
#include "kemitterdef.h"
#include "kfxmanagerimp.h"
#include "kparser.h"

#include <memory>
#include <string>

namespace
{
// Slot i holds script i; the names follow the effect ids of the fx module.
const char* const kScriptNames[kFxEffectCount] = {
    "FX_KI_EXPLOSION_1_SCR",   "FX_KI_EXPLOSION_2_SCR",   "FX_KI_EXPLOSION_3_SCR",   "FX_KI_EXPLOSION_4_SCR",
    "FX_KI_EXPLOSION_5_SCR",   "FX_KI_FIRE_1_SCR",        "FX_KI_FIRE_2_SCR",        "FX_KI_FIRE_3_SCR",
    "FX_KI_FIRE_4_SCR",        "FX_KI_FIRE_5_SCR",        "FX_KI_SMOKE_1_SCR",       "FX_KI_SMOKE_2_SCR",
    "FX_KI_SMOKE_3_SCR",       "FX_KI_SMOKE_4_SCR",       "FX_KI_SMOKE_5_SCR",       "FX_KI_LUCIOLE_1_SCR",
    "FX_KI_LUCIOLE_2_SCR",     "FX_KI_RAIN_1_SCR",        "FX_KI_RAIN_2_SCR",        "FX_KI_SIGNALETIC_1_SCR",
    "FX_KI_SIGNALETIC_2_SCR",  "FX_KI_SIGNALETIC_3_SCR",  "FX_KI_SIGNALETIC_4_SCR",  "FX_KI_SIGNALETIC_5_SCR",
    "FX_KI_SIGNALETIC_6_SCR",  "FX_KI_SIGNALETIC_7_SCR",  "FX_KI_SIGNALETIC_8_SCR",  "FX_KI_SIGNALETIC_9_SCR",
    "FX_KI_SIGNALETIC_10_SCR", "FX_KI_SIGNALETIC_11_SCR", "FX_KI_SIGNALETIC_12_SCR", "FX_KI_SIGNALETIC_13_SCR",
    "FX_KI_SIGNALETIC_14_SCR", "FX_KI_SIGNALETIC_15_SCR", "FX_KI_SHOOT_1_SCR",       "FX_KI_SHOOT_2_SCR",
    "FX_KI_SHOOT_3_SCR",       "FX_KI_SHOOT_4_SCR",       "FX_KI_SHOOT_5_SCR",       "FX_KI_SHOOT_6_SCR",
    "FX_KI_SHOOT_7_SCR",       "FX_KI_SHOOT_8_SCR",       "FX_KI_SHOOT_9_SCR",       "FX_KI_SHOOT_10_SCR",
    "FX_KI_IMPACT_1_SCR",      "FX_KI_IMPACT_2_SCR",      "FX_KI_IMPACT_3_SCR",      "FX_KI_IMPACT_4_SCR",
    "FX_KI_IMPACT_5_SCR",      "FX_KI_BLOOD_1_SCR",       "FX_KI_BLOOD_2_SCR",       "FX_KI_BLOOD_3_SCR",
    "FX_KI_BLOOD_4_SCR",       "FX_KI_BLOOD_5_SCR",       "FX_KI_IMPACT_6_SCR",      "FX_KI_FOOT_1_SCR",
    "FX_KI_FOOT_2_SCR",        "FX_KI_FOOT_3_SCR",        "FX_KI_IMPACT_7_SCR",      "FX_KI_EXPLOSION_6_SCR",
};
} // namespace

const char* FxEffectScriptName(int32_t id)
{
    return id >= 0 && id < kFxEffectCount ? kScriptNames[id] : nullptr;
}

void FxLoadEffectScripts()
{
    KfxManagerImp& manager = KfxManagerImp::Instance();
    manager.SetDefinitionCount(kFxEffectCount);
    for (int32_t i = 0; i < kFxEffectCount; ++i)
        manager.LoadDefinition(i, kScriptNames[i]);
}

HbPtrArray& KfxDefinition::LoadScript()
{
    HbResourceManager* resources = HbResourceManager::Instance();
    const std::string path = resources ? resources->GetPath(mName.c_str()) : "";
    if (path.empty())
        return mClasses;
    HbFile* file = HbFileOpen(path.c_str(), "rt");
    if (!file)
        return mClasses;
    {
        KParser parser(file);
        while (!parser.AtEnd())
        {
            // Anything between blocks is skipped one token at a time.
            if (!parser.ExpectOpen())
                continue;
            auto def = std::make_unique<KEmitterDef>();
            if (!def->Parse(parser))
                break;
            auto* emitterClass = new KEmitterClass();
            if (!emitterClass->Build(*def))
            {
                // A class whose plug-in set-up failed cannot draw; the script ends here as
                // for a bad block.
                delete emitterClass;
                break;
            }
            emitterClass->mForceUpdate = def->forceUpdate;
            emitterClass->mPool.mPreallocCount = def->preAlloc;
            AddClass(emitterClass);
            def.reset();
            parser.ExpectClose();
        }
    }
    HbFileClose(file);
    return mClasses;
}

void KfxManagerImp::LoadAll()
{
    for (int32_t d = 0; d < GetDefinitionCount(); ++d)
        if (KfxDefinition* def = GetDefinition(d))
            def->LoadScript();
    AssignRenderLists();
}
