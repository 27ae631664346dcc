// GameState_Map: its place in the state graph and its lifecycle flags.
#include "gamestatemap.h"

HB_DEFINE_CLASS_DESC(GameState_Map, GameState);

GameState_Map::GameState_Map() : GameState(kGameStateMap) {}

void GameState_Map::Resume()
{
    GameState::Resume();
}

void GameState_Map::Suspend()
{
    GameState::Suspend();
}

void GameState_Map::Leave()
{
    mEntered = 0;
}

void GameState_Map::Update() {}
