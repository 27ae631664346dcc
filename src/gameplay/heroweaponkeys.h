// HeroWeaponKeys: the weapon names bound to the keys WEAPON_1 to WEAPON_8 (indexes 0 to 7),
// which the hero owns and the level scripts fill through SetWeaponData. The hero installs the
// reader that finds its keys; without one no hero has keys and nothing is bound.
#pragma once

#include <cstdint>
#include <string>

class TsActor;

class HeroWeaponKeys
{
public:
    static constexpr int32_t kCount = 8;

    /// Stores the name of index 0..7; 0 (nothing stored) for another index or a null name.
    int32_t SetSlotName(int32_t index, const char* name);
    /// The name of index 0..7 (empty by default); empty for another index.
    const char* GetSlotName(int32_t index) const;

private:
    std::string mNames[kCount];
};

using HeroWeaponKeysReader = HeroWeaponKeys* (*)(TsActor* hero);
void HeroSetWeaponKeysReader(HeroWeaponKeysReader reader);
/// The keys of the hero, or null without a hero or a reader.
HeroWeaponKeys* HeroWeaponKeysOf(TsActor* hero);
