// GameState_Cinematic: a video between states.
#pragma once

#include "gamestate.h"

class GameState_Cinematic : public GameState
{
public:
    GameState_Cinematic();
    /// Leaves the flags as they are.
    void Enter() override;
    /// Resuming and suspending change no flag.
    void Resume() override;
    void Suspend() override;
    void Leave() override;
    void Update() override;
};
