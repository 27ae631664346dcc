#include "herohudaccess.h"

namespace
{
HeroHudAccess gDefaultAccess;
HeroHudAccess* gAccess = &gDefaultAccess;
} // namespace

HbRoot* HeroHudAccess::GetItemInHand(HbRoot*)
{
    return nullptr;
}

int32_t HeroHudAccess::GetHitPoints(HbRoot*)
{
    return 0;
}

int32_t HeroHudAccess::GetMaxHitPoints(HbRoot*)
{
    return 0;
}

int32_t HeroHudAccess::GetLastHitDirection(HbRoot*)
{
    return kNoHit;
}

int32_t HeroHudAccess::GetHeroStateId(HbRoot*)
{
    return 0;
}

int32_t HeroHudAccess::GetWeaponDisplayData(HbRoot*, WeaponDisplayData*)
{
    return 0;
}

int32_t HeroHudAccess::GetHeroPlacement(HbRoot*, float*, float*)
{
    return 0;
}

HbRoot* HeroHudAccess::GetWeaponList(HbRoot*)
{
    return nullptr;
}

HeroHudAccess* HeroHudAccess::Get()
{
    return gAccess;
}

void HeroHudAccess::Install(HeroHudAccess* access)
{
    gAccess = access ? access : &gDefaultAccess;
}
