// GameStateManager: what the layers below the application read of the game manager: the
// current game state and the current level. The application sets both.
#pragma once

#include "hbptr.h"

class HbRoot;

namespace GameStateManager
{
/// The current game state, or null.
HbRoot* GetCurrentState();
/// A copy of the handle pointer of the current level (the caller resets it).
HbHandlePtr GetLevelHandle();

/// Set by the application when its state or level changes (null: none).
void SetCurrentState(HbRoot* state);
void SetLevel(HbRoot* level);
} // namespace GameStateManager
