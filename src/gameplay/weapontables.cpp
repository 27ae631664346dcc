// The weapons' start-up: actor types (with the mobile DOFs') and the display reader.
#include "weapontables.h"

#include "gameplayactortypes.h"
#include "mobiledof.h"
#include "tsactortyperegistry.h"
#include "weaponcontact.h"
#include "weaponshoot.h"

#include <typeinfo>

namespace
{
WeaponHudAccess gHudAccess;
} // namespace

void WeaponsInstall()
{
    if (TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance())
    {
        TsRegisterActorType<WeaponContact>(registry, "WeaponContact", kActorTypeWeaponContact);
        TsRegisterActorType<WeaponShoot>(registry, "WeaponShoot", kActorTypeWeaponShoot);
    }
    // The doors and lifts scripts create by class name.
    MobileDofInstall();
    // Only in place of the default reader: the hero's own reader answers for the weapons too.
    HeroHudAccess* installed = HeroHudAccess::Get();
    if (typeid(*installed) == typeid(HeroHudAccess))
        HeroHudAccess::Install(&gHudAccess);
}

int32_t WeaponHudAccess::GetWeaponDisplayData(HbRoot* weapon, WeaponDisplayData* out)
{
    auto* shoot = HbCastTo<TsWeaponShoot>(weapon);
    if (!shoot || !out)
        return 0;
    out->rounds = shoot->mMagazine;
    out->magazineSize = shoot->mMagazineSize;
    out->magazines = shoot->mStock;
    out->showSegments = shoot->mWeaponData[1];
    out->showCentre = shoot->mWeaponData[2];
    return 1;
}
