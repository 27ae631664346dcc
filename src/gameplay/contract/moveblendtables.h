// The motor skills' start-up tables as the game makes and frees them: the soldiers' and the
// hero's move blend tables and the hero's turn curve. The soldiers' tables are filled here;
// the hero's four tables live here so the start-up can fill and empty them: blend times keyed
// (from << 16) | to, the pairs in both orders. The turn curve is built by the builder the
// gameplay layer installs.
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
/// Fills the hero's pair tables (each pair in both orders).
void HeroMoveBlendTablesInit();
/// Empties the hero's four tables. The table objects stay for the program's life: the hero's
/// animation players borrow them.
void HeroMoveTablesFree();
void HeroTurnCurveInit();
void HeroTurnCurveFree();
/// The turn curve's builder and its release, run by HeroTurnCurveInit and HeroTurnCurveFree.
void HeroTurnCurveSetBuilder(void (*build)(), void (*release)());

/// 1 between the Init and the Free of each.
int32_t PnjMoveBlendTablesMade();
int32_t HeroMoveBlendTablesMade();
int32_t HeroTurnCurveMade();

/// The hero's blend-time tables of the move and the static player (filled by the level scripts)
/// and their pair tables (filled at start-up). Never null.
HbIntHashMap* HeroMapTransitions();
HbIntHashMap* HeroSapTransitions();
HbIntHashMap* HeroMapPairs();
HbIntHashMap* HeroSapPairs();
/// Stores the seconds under (from, to) and, with both non-zero, under (to, from).
void HeroMoveTableSet(HbIntHashMap* table, int32_t from, int32_t to, float seconds, int32_t both);
/// 1 and the seconds of (from, to) when stored, else 0.
int32_t HeroMoveTableFind(const HbIntHashMap* table, int32_t from, int32_t to, float* seconds);
