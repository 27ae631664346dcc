// GameState_Credits: the credits.
#pragma once

#include "gamestate.h"

class GameState_Credits : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Credits();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
