// GameState_PauseLabel: the pause-label overlay.
#pragma once

#include "gamestate.h"

class GameState_PauseLabel : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_PauseLabel();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
