// GameState_SelectMission: the mission selection.
#pragma once

#include "gamestate.h"

class GameState_SelectMission : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_SelectMission();
    /// Leaves the flags as they are.
    void Enter() override;
    void Resume() override;
    void Suspend() override;
    void Leave() override;
    void Update() override;
};
