// GameState_Stage: its place in the state graph and its lifecycle flags.
#include "gamestatestage.h"

HB_DEFINE_CLASS_DESC(GameState_Stage, GameState);

GameState_Stage::GameState_Stage() : GameState(kGameStateStage) {}

void GameState_Stage::Resume()
{
    GameState::Resume();
}

void GameState_Stage::Suspend()
{
    GameState::Suspend();
}

void GameState_Stage::Leave() {}

void GameState_Stage::Update() {}
