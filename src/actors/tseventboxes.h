// The actor layer's side of the level's event boxes: which actors the boxes watch, their bit
// records, the per-frame box test with the due delayed actions, and the script world's hooks.
#pragma once

#include <cstdint>

class HbRoot;
class ScriptWorldManager;

/// Keeps the selection (actors whose family meets wanted and none of excluded), makes the
/// hero's class the contextual-action filter and gives every selected actor without a bit
/// record a new one. The walk's result: 1, or 0 when a record could not be had.
int32_t TsEventBoxesLoad(uint32_t wanted, uint32_t excluded);
/// Runs the set's due delayed actions at the game clock's time, then tests every selected
/// actor that has a bit record and must be updated at its node's world position. 1, or 0
/// without a set.
int32_t TsEventBoxesUpdate(HbRoot* set);
/// The selection TsEventBoxesLoad keeps (wanted 4, excluded 0 before the first load).
uint32_t TsEventBoxesWanted();
uint32_t TsEventBoxesExcluded();
/// Fills the script world's event-box load and update hooks.
void TsEventBoxesInstall(ScriptWorldManager* world);
