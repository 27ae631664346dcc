// The weapons' start-up: the two weapon classes in the actor-type registry (so a level script
// creates them by class name) and the head-up display's reader of the weapon in hand.
#pragma once

#include "herohudaccess.h"

/// Registers WeaponContact and WeaponShoot under their fixed ids (a registered name is kept)
/// and installs the weapon display reader unless another reader is installed.
void WeaponsInstall();

/// What the display reads of a firearm: rounds, magazine size, spare magazines (-1
/// unlimited), the aim-assist value (the cross-hair's segments) and the reserved value. The
/// hero's own reader derives from it.
class WeaponHudAccess : public HeroHudAccess
{
public:
    int32_t GetWeaponDisplayData(HbRoot* weapon, WeaponDisplayData* out) override;
};
