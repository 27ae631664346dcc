// Ground types, their map by ground id and the console commands of grounds.scr.
#include "tsgroundtype.h"

#include "fmod3.h"
#include "fxcontext.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbrandom.h"
#include "hbresource.h"
#include "kfxmanager.h"
#include "scripteventid.h"
#include "tsactor.h"
#include "tsfmodsound.h"
#include "tsheroactor.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "w3dnode.h"

#include <cstdlib>
#include <map>
#include <memory>

namespace
{

constexpr double kStepNoiseSeconds = 0.1;

std::map<int32_t, std::unique_ptr<TsGroundType>> gGroundTypes;
TsGroundType* gCurrent = nullptr;

void PlayEffectAt(int32_t effect, const Vector* position, const Vector& direction)
{
    if (effect < 0 || !position)
        return;
    FxContext context;
    context.position[0] = position->x;
    context.position[1] = position->y;
    context.position[2] = position->z;
    context.direction[0] = direction.x;
    context.direction[1] = direction.y;
    context.direction[2] = direction.z;
    KfxManager::PlayOneShot(effect, &context);
}

bool IsHero(TsActor* actor)
{
    return actor && HbClassDesc::IsKindOf(actor, &TsHeroActor::sClassDesc);
}

// ---- Console commands: each answers done; the wrong argument count does nothing -------------

using GroundCommandFn = void (*)(const HbCommandArgs& args);

class GroundCommand : public HbCommand
{
public:
    GroundCommand(const char* name, const char* help, int32_t count, GroundCommandFn fn)
        : HbCommand(name, help), mCount(count), mFn(fn)
    {
    }
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (mCount < 0 || args.GetCount() == mCount)
            mFn(args);
        return 1;
    }

private:
    int32_t mCount;
    GroundCommandFn mFn;
};

template <TsGroundType::SoundList TsGroundType::*List> void AddSound(const HbCommandArgs& args)
{
    if (!gCurrent)
        return;
    HbResourceManager* manager = HbResourceManager::Instance();
    const std::string& name = args.GetToken(1);
    // The list keeps the reference taken here; anything else goes back.
    HbRoot* resource = manager ? manager->AcquireResource(name.c_str()) : nullptr;
    auto* sound = HbCastTo<TsFModSound>(resource);
    if (resource && !sound)
        resource->Release();
    (gCurrent->*List).push_back({name, sound});
}

template <int32_t TsGroundType::*Field> void SetNoise(const HbCommandArgs& args)
{
    if (gCurrent)
        gCurrent->*Field = TsNoiseRowByName(args.GetToken(1).c_str());
}

template <int32_t TsGroundType::*Field> void SetEffect(const HbCommandArgs& args)
{
    if (gCurrent)
        gCurrent->*Field = int32_t(std::strtol(args.GetToken(1).c_str(), nullptr, 10));
}

void BeginType(const HbCommandArgs& args)
{
    const int32_t id = int32_t(std::strtol(args.GetToken(2).c_str(), nullptr, 10)) & 0xFF;
    // A redefinition replaces (and frees) the type of that id.
    auto& slot = gGroundTypes[id];
    slot = std::make_unique<TsGroundType>();
    gCurrent = slot.get();
}

GroundCommand gBegin("GroundCreateTypeBegin", "Start Creating a Ground type\n ", 3, BeginType);
GroundCommand gEnd("GroundCreateTypeEnd", "End Creating a Ground type\n ", -1,
                   [](const HbCommandArgs&) { gCurrent = nullptr; });
GroundCommand gHeroWalk("GroundAddHeroWalkID", "", 2, AddSound<&TsGroundType::mHeroWalk>);
GroundCommand gHeroRun("GroundAddHeroRunID", "", 2, AddSound<&TsGroundType::mHeroRun>);
GroundCommand gHeroCrouched("GroundAddHeroCrouchedWalkID", "", 2, AddSound<&TsGroundType::mHeroCrouchedWalk>);
GroundCommand gImpact("GroundAddImpactID", "", 2, AddSound<&TsGroundType::mImpact>);
GroundCommand gEnemyWalk("GroundAddEnnemisWalkID", "", 2, AddSound<&TsGroundType::mEnemyWalk>);
GroundCommand gEnemyRun("GroundAddEnnemisRunID", "", 2, AddSound<&TsGroundType::mEnemyRun>);
GroundCommand gCrouchedNoise("GroundSetTriggerCrouchedWalk", "", 2, SetNoise<&TsGroundType::mCrouchedWalkNoise>);
GroundCommand gWalkNoise("GroundSetTriggerWalk", "", 2, SetNoise<&TsGroundType::mWalkNoise>);
GroundCommand gRunNoise("GroundSetTriggerRun", "", 2, SetNoise<&TsGroundType::mRunNoise>);
GroundCommand gRollNoise("GroundSetTriggerRoll", "", 2, SetNoise<&TsGroundType::mRollNoise>);
GroundCommand gFallNoise("GroundSetTriggerFall", "", 2, SetNoise<&TsGroundType::mFallNoise>);
GroundCommand gWalkFx("GroundSetWalkFX", "", 2, SetEffect<&TsGroundType::mWalkEffect>);
GroundCommand gRunFx("GroundSetRunFX", "", 2, SetEffect<&TsGroundType::mRunEffect>);
GroundCommand gImpactFx("GroundSetImpactFX", "", 2, SetEffect<&TsGroundType::mImpactEffect>);

} // namespace

TsGroundType::~TsGroundType()
{
    for (SoundList* list : {&mHeroWalk, &mHeroRun, &mHeroCrouchedWalk, &mImpact, &mEnemyWalk, &mEnemyRun})
        for (Sound& entry : *list)
            if (entry.sound)
                entry.sound->Release();
}

void TsGroundType::PlayWalkStep(TsActor* actor, const Vector* position)
{
    if (IsHero(actor))
    {
        EmitStepNoise(actor, mWalkNoise);
        PlayRandomSound(mHeroWalk, position);
    }
    else
        PlayRandomSound(mEnemyWalk, position);
    PlayEffectAt(mWalkEffect, position, Vector{0, 0, 1});
}

void TsGroundType::PlayRunStep(TsActor* actor, const Vector* position)
{
    if (IsHero(actor))
    {
        EmitStepNoise(actor, mRunNoise);
        PlayRandomSound(mHeroRun, position);
    }
    else
        PlayRandomSound(mEnemyRun, position);
    PlayEffectAt(mRunEffect, position, Vector{0, 0, 1});
}

void TsGroundType::PlayCrouchedWalkStep(TsActor* actor, const Vector* position)
{
    EmitStepNoise(actor, mCrouchedWalkNoise);
    PlayRandomSound(mHeroCrouchedWalk, position);
}

void TsGroundType::PlayImpact(const Vector* position, const Vector* direction, int32_t withSound, int32_t withEffect)
{
    if (withSound)
        PlayRandomSound(mImpact, position);
    if (withEffect && direction)
        PlayEffectAt(mImpactEffect, position, *direction);
}

void TsGroundType::EmitStepNoise(TsActor* actor, int32_t row)
{
    const int32_t radius = TsGetSoundRadius(row);
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (radius == 0 || !node)
        return;
    // With every trigger live the step is not heard and the walker stays quiet.
    TsTrigger* trigger = TriggerManager::TakeFreeTrigger();
    if (!trigger)
        return;
    const auto ticks = int64_t(double(HbPerformanceFrequency()) * kStepNoiseSeconds);
    trigger->Start(kEventSound, radius, ticks, ticks, actor->mEnemyFamily, 0, float(row));
    actor->SetSoundLevel(row);
    const Vector at = *node->GetWorldPosition();
    trigger->SetPosition(&at);
}

void TsGroundType::PlayRandomSound(const SoundList& list, const Vector* position)
{
    const int32_t count = int32_t(list.size());
    if (count == 0)
        return;
    int32_t index = int32_t(HbRandom::QuickUniform(HbRandom::Instance()->GameState()) * float(count));
    // The uniform value stays below 1, yet a float product may round up to count.
    if (index >= count)
        index = count - 1;
    TsFModSound* sound = list[size_t(index)].sound;
    if (!sound)
        return;
    const int32_t channel = sound->Play();
    if (channel == -1 || !position)
        return;
    const float at[3] = {position->x, position->y, position->z};
    const float still[3] = {0, 0, 0};
    FSOUND_3D_SetAttributes(channel, at, still);
}

void TsGroundTypesLoad()
{
    if (HbCommandManager* console = HbCommandManager::Instance())
        console->ExecuteLine("execute grounds.scr");
}

TsGroundType* TsFindGroundType(int32_t id)
{
    auto it = gGroundTypes.find(id & 0xFF);
    return it == gGroundTypes.end() ? nullptr : it->second.get();
}

void TsGroundTypesFree()
{
    gCurrent = nullptr;
    gGroundTypes.clear();
}
