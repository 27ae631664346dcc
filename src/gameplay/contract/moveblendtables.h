// The motor skills' start-up tables as the game makes and frees them: the soldiers' and the
// hero's move blend tables and the hero's turn curve. The soldiers' tables are filled here;
// making the hero's only marks it made until the hero fills it. The turn curve is built by
// the builder the gameplay layer installs.
#pragma once

#include <cstdint>

class HbIntHashMap;

/// Makes both soldier tables (empty first when made already) with the soldiers' fixed
/// blend times: the deaths cut in at once, the strike leaves slowly, the hits fade in 0.2 s.
void PnjMoveBlendTablesInit();
/// Frees both; the players that borrowed them must have let go.
void PnjMoveTablesFree();
/// The blend-time tables of every soldier's move and static player; null before Init.
HbIntHashMap* PnjMapTransitions();
HbIntHashMap* PnjSapTransitions();
/// The blend time from one state to another (0xFFFF: any state) and, with both, back. 1;
/// nothing without a table.
int32_t PnjSetBlendTime(HbIntHashMap* table, int32_t from, int32_t to, float seconds, int32_t both);
/// The time stored under the pair exactly; -1 when none.
float PnjGetBlendTime(const HbIntHashMap* table, int32_t from, int32_t to);
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
