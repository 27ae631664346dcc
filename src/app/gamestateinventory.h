// GameState_Inventory: the inventory overlay.
#pragma once

#include "gamestate.h"

class GameState_Inventory : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Inventory();
    void Resume() override;
    void Suspend() override;
    /// Clears entered: the state keeps its contents but is no longer entered.
    void Leave() override;
    void Update() override;
};
