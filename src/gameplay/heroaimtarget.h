// The hero's aim bone target: the height and factor by which the upper body bends toward
// where the camera looks while a firearm is held, and whether a weapon change may start now.
// The movement controller takes the target through a setter its owner installs, and answers
// whether its probe is blocked through a test; without them the record is kept and nothing
// bends.
#pragma once

#include <cstdint>

class TsActor;

/// The aim bone target as the hero's states keep it.
struct HeroAimBoneTarget
{
    int32_t enabled = 0;
    float height = 0.0f;
    float factor = 0.0f;
    /// factor x the camera's forward y + height, at the last Set or Update.
    float offsetY = 0.0f;
    /// A block reported through AimBoneTargetSetBlocked (a wall in front of the weapon).
    int32_t blocked = 0;
};

/// Hands the target to the hero's movement controller (enabled with the offset (0, y, z)) or
/// takes it back (enabled 0).
using HeroAimTargetSetter = void (*)(TsActor* hero, int32_t enabled, float offsetY, float offsetZ);
void HeroSetAimTargetSetter(HeroAimTargetSetter setter);

/// With a firearm in hand: keeps the height and the weapon's aim factor and sets the target
/// with the offset (0, factor x camera-at-y + height, factor). Nothing otherwise.
void AimBoneTargetSet(TsActor* hero, float height);
/// The record with its height recomputed for the current camera.
const HeroAimBoneTarget& AimBoneTargetUpdate();
/// Disables the target.
void AimBoneTargetClear(TsActor* hero);
int32_t AimBoneTargetIsSet();
/// Whether the controller's aim probe met something in its last frame.
using HeroAimTargetHitTest = int32_t (*)(TsActor* hero);
void HeroSetAimTargetHitTest(HeroAimTargetHitTest test);
/// A block reported by hand; kept until the next report.
void AimBoneTargetSetBlocked(int32_t blocked);
/// The reported block, or while the target is set the controller's probe meeting something.
int32_t AimBoneTargetIsBlocked();

/// The static animation player is not shooting (7..10) nor changing weapons (22..25).
int32_t HeroCanChangeWeapon(TsActor* hero);
