// The game manager's state and level as the lower layers see them.
#include "gamestatemanager.h"

#include "hbroot.h"

namespace
{
HbHandlePtr gState;
HbHandlePtr gLevel;
} // namespace

HbRoot* GameStateManager::GetCurrentState()
{
    return gState.IsValid() ? gState.GetObject() : nullptr;
}

HbHandlePtr GameStateManager::GetLevelHandle()
{
    return gLevel;
}

void GameStateManager::SetCurrentState(HbRoot* state)
{
    gState.Assign(state);
}

void GameStateManager::SetLevel(HbRoot* level)
{
    gLevel.Assign(level);
}
