// The motor skills' start-up tables as the game makes and frees them: the soldiers' and the
// hero's move blend tables and the hero's turn curve. The gameplay layer fills them; until
// then making one only marks it made. The turn curve is built by the builder the gameplay
// layer installs.
#pragma once

#include <cstdint>

void PnjMoveBlendTablesInit();
void PnjMoveTablesFree();
void HeroMoveBlendTablesInit();
void HeroMoveTablesFree();
void HeroTurnCurveInit();
void HeroTurnCurveFree();
/// The turn curve's builder and its release, run by HeroTurnCurveInit and HeroTurnCurveFree.
void HeroTurnCurveSetBuilder(void (*build)(), void (*release)());

/// 1 between the Init and the Free of each.
int32_t PnjMoveBlendTablesMade();
int32_t HeroMoveBlendTablesMade();
int32_t HeroTurnCurveMade();
