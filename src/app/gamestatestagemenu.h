// GameState_StageMenu: the pause menu over the stage.
#pragma once

#include "gamestate.h"

class GameState_StageMenu : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_StageMenu();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
