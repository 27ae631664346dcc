// GameState_MainMenu: the main menu.
#pragma once

#include "gamestate.h"

class GameState_MainMenu : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_MainMenu();
    void Leave() override;
    void Update() override;
};
