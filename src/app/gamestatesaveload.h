// GameState_SaveLoad: the save and load screen.
#pragma once

#include "gamestate.h"

class GameState_SaveLoad : public GameState
{
public:
    GameState_SaveLoad();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
