// The hero's services filled from the hero actor.
#include "heroactorhooks.h"

#include "animmovectrl.h"
#include "hero.h"
#include "heroaimtarget.h"
#include "herostates.h"
#include "heroweaponkeys.h"
#include "moveanimplayerstate.h"
#include "staticanimplayerstate.h"
#include "tsheroactor.h"

namespace
{
/// What the hero's services remember of the live hero. The handles tell a controller or a
/// hero that went (and one made later at the same address) from the one remembered; the
/// record lives to the end of the program so no handle is released after the table is gone.
struct HeroRecord
{
    HbHandlePtr aimController;
    int32_t aimIndex = -1;
    HbHandlePtr keysHero;
    HeroWeaponKeys keys;
};

HeroRecord& Record()
{
    static HeroRecord* record = new HeroRecord();
    return *record;
}

/// Whether the handle still reaches this very object.
bool Holds(HbHandlePtr& handle, HbRoot* object)
{
    return handle.IsValid() && handle.GetObject() == object;
}

AnimPlayerStateMachine* Players(TsActor* hero, int32_t player)
{
    auto* animated = HbCastTo<TsAnimActor>(hero);
    if (!animated)
        return nullptr;
    if (player == kHeroMovePlayer)
        return animated->GetMovePlayer();
    if (player == kHeroStaticPlayer)
        return animated->GetStaticPlayer();
    return nullptr;
}

void SetAimTarget(TsActor* hero, int32_t enabled, float offsetY, float offsetZ)
{
    AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr;
    const int32_t index = HeroAimProbeIndex(hero);
    if (!controller || index < 0)
        return;
    if (enabled)
    {
        const Vector offset = {0.0f, offsetY, offsetZ};
        controller->SetBoneTarget(index, &offset);
    }
    else
        controller->ClearBoneTarget(index);
}

int32_t AimTargetHit(TsActor* hero)
{
    AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr;
    HeroRecord& record = Record();
    if (!controller || !Holds(record.aimController, controller))
        return 0;
    return controller->IsBoneTargetHit(record.aimIndex);
}
} // namespace

int32_t HeroAimProbeIndex(TsActor* hero)
{
    AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr;
    if (!controller)
        return -1;
    HeroRecord& record = Record();
    if (!Holds(record.aimController, controller) || record.aimIndex < 0)
    {
        // The probe runs from the root bone along the offset, which carries the height and
        // the weapon's reach: a wall in front of the weapon meets it.
        record.aimIndex =
            controller->AddBoneTarget(AnimMoveCtrl::kRootBone, 0.0f, 1.0f, AnimMoveCtrl::kProbeLine, nullptr);
        record.aimController.Assign(controller);
    }
    return record.aimIndex;
}

HeroWeaponKeys* HeroActorWeaponKeys(TsActor* hero)
{
    if (Hero* owner = HbCastTo<Hero>(hero))
        return owner->GetWeaponKeys();
    auto* actor = HbCastTo<TsHeroActor>(hero);
    if (!actor)
        return nullptr;
    HeroRecord& record = Record();
    if (!Holds(record.keysHero, actor))
    {
        // A new hero starts with no key bound.
        record.keys = HeroWeaponKeys();
        record.keysHero.Assign(actor);
    }
    return &record.keys;
}

void HeroActorHooksInstall()
{
    HeroSetAnimPlayerSource(Players);
    HeroSetAimTargetSetter(SetAimTarget);
    HeroSetAimTargetHitTest(AimTargetHit);
    HeroSetWeaponKeysReader(HeroActorWeaponKeys);
    HeroInstall();
}

void HeroActorHooksRemove()
{
    HeroSetAnimPlayerSource(nullptr);
    HeroSetAimTargetSetter(nullptr);
    HeroSetAimTargetHitTest(nullptr);
    HeroSetWeaponKeysReader(nullptr);
    HeroRemove();
}
