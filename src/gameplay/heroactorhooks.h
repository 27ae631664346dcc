// The hero's services filled from the hero actor of the actor layer: its move and static
// animation players for the states, the aim probe of its movement controller for the aim
// bone target, and the weapon keys it owns. Start-up installs them once scripting is
// installed; tests install them around a live hero.
#pragma once

#include <cstdint>

class HeroWeaponKeys;
class TsActor;

/// Installs the players' source, the aim target's setter and hit test, the weapon keys'
/// reader, and the hero actor's services (its type, input host and display reader).
void HeroActorHooksInstall();
/// Takes them off again (the states then find no players and the aim target bends nothing).
void HeroActorHooksRemove();

/// The index of the aim probe on the hero's movement controller, added (root bone, a line,
/// push 1) the first time the controller is asked; -1 without a controller or when the
/// controller refuses the probe.
int32_t HeroAimProbeIndex(TsActor* hero);
/// The keys of the hero actor: a Hero's own; for another hero actor empty for each new one;
/// null for an actor that is no hero.
HeroWeaponKeys* HeroActorWeaponKeys(TsActor* hero);
