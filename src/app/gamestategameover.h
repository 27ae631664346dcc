// GameState_GameOver: the game-over screen.
#pragma once

#include "gamestate.h"

class GameState_GameOver : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_GameOver();
    void Leave() override;
    void Update() override;
};
