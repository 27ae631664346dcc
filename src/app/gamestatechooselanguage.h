// GameState_ChooseLanguage: the language choice, the first state.
#pragma once

#include "gamestate.h"

class GameState_ChooseLanguage : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_ChooseLanguage();
    void Leave() override;
    void Update() override;
};
