// GameState_Label: the label pages between sectors.
#pragma once

#include "gamestate.h"

class GameState_Label : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Label();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
