// The hero's aim bone target.
#include "heroaimtarget.h"

#include "animplayerstatemachine.h"
#include "frame.h"
#include "heroinput.h"
#include "herostates.h"
#include "tsactor.h"
#include "tscameraregistry.h"
#include "tsweaponshoot.h"

namespace
{
HeroAimBoneTarget gTarget;
HeroAimTargetSetter gSetter = nullptr;
HeroAimTargetHitTest gHitTest = nullptr;
TsActor* gHero = nullptr;

float CameraAtY()
{
    Frame* camera = TsCameraRegistry::GetCurrentCameraNode();
    return camera ? Frame::GetWorldMatrix(camera)->at.y : 0.0f;
}
} // namespace

void HeroSetAimTargetSetter(HeroAimTargetSetter setter)
{
    gSetter = setter;
}

void HeroSetAimTargetHitTest(HeroAimTargetHitTest test)
{
    gHitTest = test;
}

void AimBoneTargetSet(TsActor* hero, float height)
{
    auto* gun = HbCastTo<TsWeaponShoot>(hero ? HeroGetInputHost()->GetObjectInHand(hero) : nullptr);
    if (!gun)
        return;
    gHero = hero;
    gTarget.enabled = 1;
    gTarget.height = height;
    gTarget.factor = gun->mReal15;
    gTarget.offsetY = gTarget.factor * CameraAtY() + height;
    if (gSetter)
        gSetter(hero, 1, gTarget.offsetY, gTarget.factor);
}

const HeroAimBoneTarget& AimBoneTargetUpdate()
{
    gTarget.offsetY = gTarget.factor * CameraAtY() + gTarget.height;
    if (gTarget.enabled && gSetter && gHero)
        gSetter(gHero, 1, gTarget.offsetY, gTarget.factor);
    return gTarget;
}

void AimBoneTargetClear(TsActor* hero)
{
    gTarget.enabled = 0;
    if (gSetter && hero)
        gSetter(hero, 0, 0.0f, 0.0f);
    gHero = nullptr;
}

int32_t AimBoneTargetIsSet()
{
    return gTarget.enabled;
}

void AimBoneTargetSetBlocked(int32_t blocked)
{
    gTarget.blocked = blocked ? 1 : 0;
}

int32_t AimBoneTargetIsBlocked()
{
    if (gTarget.blocked)
        return 1;
    return gTarget.enabled && gHitTest && gHero && gHitTest(gHero) ? 1 : 0;
}

int32_t HeroCanChangeWeapon(TsActor* hero)
{
    AnimPlayerStateMachine* sap = HeroGetAnimPlayer(hero, kHeroStaticPlayer);
    return HeroCanChangeWeaponIn(sap ? sap->GetCurrentStateIndex() : 0) ? 1 : 0;
}
