// The actor-type ids of the gameplay layer's actor classes. The gameplay layer registers them
// under these ids; the actor layer's own types follow from 5.
#pragma once

#include <cstdint>

constexpr int32_t kActorTypeHero = 1;
constexpr int32_t kActorTypeWeaponContact = 2;
constexpr int32_t kActorTypeWeaponShoot = 3;
constexpr int32_t kActorTypeMobileDof = 4;
