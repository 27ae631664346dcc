// GameState_Artworks: the artworks.
#pragma once

#include "gamestate.h"

class GameState_Artworks : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Artworks();
    /// Leaves the flags as they are.
    void Enter() override;
    void Leave() override;
    void Update() override;
};
