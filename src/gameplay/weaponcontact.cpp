// The game's contact weapon: the strike effect.
#include "weaponcontact.h"

#include "weaponshoot.h"

HB_DEFINE_CLASS_DESC(WeaponContact, TsWeaponContact);
HB_DEFINE_CLASS_POOL(WeaponContact, "WeaponContact", WeaponContact::kPoolSize);

void WeaponContact::PlayStrikeEffect()
{
    WeaponPlayStrikeEffect(this);
}
