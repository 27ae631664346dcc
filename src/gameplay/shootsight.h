// The sight half of the shoot helper: the cross-hair gap that widens or narrows with the hero's
// posture and the difficulty and eases toward its target, whether the sight is shown, and
// whether aim is active (the hero's aim ray does not rest on an enemy). The hero drives it;
// the weapons read the spread and the aim flag. The player's option is kept by the
// preferences (SetShootHelper) and never reset here.
#pragma once

#include <cstdint>

/// Starting values: spreads at the base, sight posture 1, sight hidden, aim active, no easing;
/// the weapons' aim pick becomes the helper's.
void ShootHelperInit();
/// The sight of the weapon taken: on switches easing off and shows the gap at once.
void ShootHelperShowSight(int32_t on);
int32_t ShootHelperIsSightShown();
void ShootHelperSetAimActive(int32_t on);
int32_t ShootHelperIsAimActive();
/// The posture's spread target (nothing for postures 2 and 5, unless the option is on and the
/// sight shown, or for the posture the target was last made for).
void ShootHelperSetSightKind(int32_t posture);
/// Each frame: the posture rule, the easing by the game clock's frame time, the gap to the
/// display.
void ShootHelperUpdateSight(int32_t posture);
float ShootHelperGetSpread();
float ShootHelperGetTargetSpread();
constexpr float kShootHelperBaseSpread = 0.015625f;
