// WeaponContact: the game's contact weapon (knife, blade). The actor layer's strike finds the
// victim, sends the damage and places the strike point; this class shows the hit there.
#pragma once

#include "hbperclassfreelist.h"
#include "tsweaponcontact.h"

class WeaponContact : public TsWeaponContact
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 1;

    WeaponContact() = default;
    ~WeaponContact() override = default;

    void OnStrike() override { PlayStrikeEffect(); }
    /// The hit record's actor impact effect played once at the strike point.
    void PlayStrikeEffect();
};
