// GameState_Stage: the level being played.
#pragma once

#include "gamestate.h"

class GameState_Stage : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Stage();
    void Resume() override;
    void Suspend() override;
    void Leave() override;
    void Update() override;
};
