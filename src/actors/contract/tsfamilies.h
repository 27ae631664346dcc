// The actor families as the native code tests them: bits of an actor's family mask. The
// family table publishes the same values to the scripts by name.
#pragma once

#include <cstdint>

enum TsFamily : uint32_t
{
    /// In a mask: every actor.
    UndefinedFamily = 0,
    HeroFamily = 1,
    HeroFriendFamily = 2,
    HeroEnemyFamily = 4,
    WeaponFamily = 8,
    HeroWeaponFamily = 16,
    SaveActorFamily = 32,
    TriggerFamily = 64,
    DofFamily = 0x10000,
    CameraCollFamily = 0x20000,
};

/// True when the mask is UndefinedFamily or shares a bit with the family bits.
inline bool TsFamilyMatches(uint32_t mask, uint32_t family)
{
    return mask == UndefinedFamily || (mask & family) != 0;
}
