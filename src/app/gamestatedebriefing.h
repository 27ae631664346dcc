// GameState_Debriefing: the debriefing after a mission.
#pragma once

#include "gamestate.h"

class GameState_Debriefing : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Debriefing();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
