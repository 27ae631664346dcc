// The scenario commands on animated materials, scene nodes, triggers, sounds and effects.
#include "fxcontext.h"
#include "fxservices.h"
#include "hbclock.h"
#include "hbresource.h"
#include "kfxmanagerimp.h"
#include "scenario_local.h"
#include "scenariocommands_local.h"
#include "scenarioslots.h"
#include "scriptworldmanager.h"
#include "tsfmod.h"
#include "tsmarksystem.h"
#include "tsnoise.h"
#include "tssoundmodule.h"
#include "tstrigger.h"
#include "w3dframe.h"
#include "wanimatedtextureset.h"
#include "wrenderer.h"
#include "wscene.h"
#include "yoscenaricmark.h"

namespace
{
constexpr int32_t kSoundEvent = 21;
constexpr int32_t kVibrationEvent = 4;

int64_t TriggerTicks(float seconds)
{
    return scmd::SecondsToTicks(seconds, HbPerformanceFrequency());
}

/// A line whose slot is out of the table is refused (the console then shows the help).
constexpr int kRefused = 0;

void FillContext(const Vector& position, const Vector& direction)
{
    FxContext* context = FxContextGet();
    context->Reset();
    context->position[0] = position.x;
    context->position[1] = position.y;
    context->position[2] = position.z;
    context->direction[0] = direction.x;
    context->direction[1] = direction.y;
    context->direction[2] = direction.z;
}
} // namespace

namespace scmd
{
int AnimatedMaterial(const HbCommandArgs& args)
{
    const int32_t count = args.GetCount();
    if (count < 4 || Int(args, 1) != 0)
        return 1;
    WRenderer* renderer = WRenderer::Existing();
    WAnimatedTextureSet* set = renderer ? renderer->GetAnimatedTextures() : nullptr;
    WAnimatedTexture* texture = set ? set->Find(Text(args, 3).c_str()) : nullptr;
    if (!texture)
        return 0;
    switch (Int(args, 2))
    {
    case 0:
        if (count == 5)
            texture->SetFrame(Int(args, 4));
        break;
    case 1:
        if (count == 4)
            texture->StepFrame();
        break;
    case 2:
        if (count == 5)
            if (WAnimatedTextureResource* resource = texture->GetResource())
            {
                const int64_t ticks = scmd::SecondsToTicks(Real(args, 4), WAnimatedTextureResource::TicksPerSecond());
                if (ticks > 0)
                    resource->SetTotalDuration(ticks);
            }
        break;
    case 3:
        if (count == 4)
            texture->Play();
        break;
    case 4:
        if (count == 5)
        {
            texture->Stop();
            texture->SetFrame(Int(args, 4));
        }
        break;
    default:
        break;
    }
    return 1;
}

int WObject(const HbCommandArgs& args)
{
    if (args.GetCount() != 10 || Int(args, 1) != 0)
        return 1;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    W3dFrame* root = LevelRoot();
    if (!scene || !scene->GetLevel() || !root)
        return 1;
    const int32_t slot = Slot(args, 2);
    if (slot < 0)
        return kRefused;
    W3dNode* node = ScenarioActorSlots::GetAs<W3dNode>(slot);
    if (!node)
    {
        HbResourceManager* resources = HbResourceManager::Instance();
        HbRoot* resource = resources ? resources->GetResource(Text(args, 9).c_str()) : nullptr;
        node = HbCastTo<W3dNode>(resource);
        if (!node)
        {
            if (resource && resource->GetRefCount() == 0)
                resource->Release();
            return 1;
        }
    }
    ScenarioActorSlots::Set(slot, node);
    if (node->GetParent() != root)
        root->AttachChild(node);
    const Vector position = Vec(args, 3);
    const Vector direction = Vec(args, 6);
    node->SetWorldPosition(&position);
    node->LookAlong(&direction);
    return 1;
}

int SoundTriggerCreate(const HbCommandArgs& args)
{
    if (args.GetCount() < 6 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return kRefused;
    TsTrigger* trigger = HbCastTo<TsTrigger>(ScenarioActorSlots::Get(slot));
    if (!trigger)
        trigger = TriggerManager::TakeFreeTrigger();
    if (!trigger)
        return 0;
    const Vector position = Vec(args, 4);
    if (W3dNode* node = trigger->GetNode())
        node->SetWorldPosition(&position);
    ScenarioActorSlots::Set(slot, trigger);
    return 1;
}

int SoundTriggerUpdate(const HbCommandArgs& args)
{
    const int32_t count = args.GetCount();
    if (count < 4 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return kRefused;
    TsTrigger* trigger = HbCastTo<TsTrigger>(ScenarioActorSlots::Get(slot));
    if (!trigger)
        return 1;
    const int32_t mode = Int(args, 2);
    const int32_t row = Int(args, 6);
    if (mode == 0 && count == 8)
    {
        trigger->mMustBeUpdated = 1;
        trigger->Start(kSoundEvent, TsGetSoundRadius(row), TriggerTicks(Real(args, 4)), TriggerTicks(Real(args, 7)),
                       HeroEnemyFamily, Int(args, 5), static_cast<float>(row));
    }
    else if (mode == 1 && count == 7)
    {
        trigger->mMustBeUpdated = 1;
        trigger->Start(kSoundEvent, TsGetSoundRadius(row), TriggerTicks(Real(args, 4)), TsTrigger::kUnlimited,
                       HeroEnemyFamily, Int(args, 5), static_cast<float>(row));
    }
    else if (mode == 2)
        trigger->mMustBeUpdated = 0;
    else if (mode == 3)
        trigger->Stop();
    return 1;
}

int TriggerUpdate(const HbCommandArgs& args)
{
    if (args.GetCount() < 4 || Int(args, 1) != 0 || Int(args, 2) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return kRefused;
    TsTrigger* trigger = HbCastTo<TsTrigger>(ScenarioActorSlots::Get(slot));
    if (!trigger)
        return 1;
    const int32_t mode = Int(args, 4);
    if (mode == 0)
    {
        trigger->mMustBeUpdated = 1;
        trigger->Start(kVibrationEvent, Truncate(Real(args, 6)), 0, TriggerTicks(0.05f), 0, Int(args, 5),
                       static_cast<float>(Int(args, 7)));
    }
    else if (mode == 3)
        trigger->Stop();
    return 1;
}

int Play2DSound(const HbCommandArgs& args)
{
    if (args.GetCount() == 3 && Int(args, 1) == 0)
        TsFModPlaySoundAt(Text(args, 2).c_str(), nullptr);
    return 1;
}

int MusicModifier(const HbCommandArgs& args)
{
    if (args.GetCount() != 7 || Int(args, 1) != 0)
        return 1;
    const int32_t mode = Int(args, 2);
    const char* sound = Text(args, 3).c_str();
    int32_t channel = -1;
    if (mode == 0)
        channel = TsFModPlaySoundAt(sound, nullptr);
    else if (mode == 1)
        channel = TsFModFindChannelBySoundName(sound);
    if (channel >= 0)
        TsFModSetChannelFade(channel, Real(args, 4), Real(args, 5), Real(args, 6));
    return 1;
}

int Create3DSound(const HbCommandArgs& args)
{
    if (args.GetCount() != 10 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Int(args, 2);
    // The slot is also the sound table's index.
    if (slot < 0 || slot >= kScenarioSoundTableSize)
        return kRefused;
    T3DSoundData* sound = ScenarioActorSlots::GetAs<T3DSoundData>(slot);
    T3DSoundData* made = nullptr;
    if (!sound)
        sound = made = new T3DSoundData();
    if (!sound)
        return 1;
    sound->mSound = Text(args, 9);
    sound->mPosition = Vec(args, 3);
    sound->mChannel = -1;
    if (made && !ScenarioSoundTableAdd(slot, made))
        ScenarioKeepForLevel(made);
    ScenarioActorSlots::Set(slot, sound);
    return 1;
}

int LaunchFX(const HbCommandArgs& args)
{
    if (args.GetCount() != 4 || Int(args, 1) != 0)
        return 1;
    TsMarkSystem* marks = TsGetMarkSystem();
    YoScenaricMark* mark = marks ? marks->FindMark(Text(args, 3).c_str()) : nullptr;
    if (!mark)
        return 1;
    FillContext(mark->mMatrix.pos, mark->mMatrix.at);
    FxPlayOneShot(Int(args, 2), FxContextGet());
    return 1;
}

int PlayFX(const HbCommandArgs& args)
{
    if (args.GetCount() != 11 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Int(args, 2);
    // The slot is also the effect table's index.
    if (slot < 0 || slot >= kScenarioEffectTableSize)
        return kRefused;
    FillContext(Vec(args, 3), Vec(args, 6));
    auto* effect = new KFX();
    if (!effect)
        return 1;
    FxContext* context = FxContextGet();
    context->effect = effect;
    FxBindDefinition(Int(args, 9), context);
    if (Int(args, 10) != 0)
        effect->Start();
    else
        effect->Stop();
    if (!ScenarioEffectTableAdd(slot, effect))
        ScenarioKeepForLevel(effect);
    ScenarioActorSlots::Set(slot, effect);
    context->effect = nullptr;
    return 1;
}

int FXModifier(const HbCommandArgs& args)
{
    if (args.GetCount() != 4 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return kRefused;
    if (KFX* effect = ScenarioActorSlots::GetAs<KFX>(slot))
    {
        const int32_t mode = Int(args, 2);
        if (mode == 0)
            effect->Start();
        else if (mode == 1)
            effect->Stop();
    }
    return 1;
}

int SoundModifier(const HbCommandArgs& args)
{
    if (args.GetCount() != 4 || Int(args, 1) != 0)
        return 1;
    const int32_t slot = Slot(args, 3);
    if (slot < 0)
        return kRefused;
    T3DSoundData* sound = ScenarioActorSlots::GetAs<T3DSoundData>(slot);
    if (!sound)
        return 1;
    const int32_t mode = Int(args, 2);
    if (mode == 0 && sound->mChannel == -1)
        sound->mChannel = TsFModPlaySoundAt(sound->mSound.c_str(), &sound->mPosition);
    else if (mode == 1 && sound->mChannel != -1 &&
             TsFModFindChannelBySoundName(sound->mSound.c_str()) == sound->mChannel)
    {
        TsFModStopChannel(sound->mChannel);
        sound->mChannel = -1;
    }
    return 1;
}
} // namespace scmd
