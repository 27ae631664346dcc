// GameState_Intro: the intro video.
#pragma once

#include "gamestate.h"

class GameState_Intro : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Intro();
    void Leave() override;
    void Update() override;
};
