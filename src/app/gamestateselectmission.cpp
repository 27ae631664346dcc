// GameState_SelectMission: its place in the state graph and its lifecycle flags.
#include "gamestateselectmission.h"

HB_DEFINE_CLASS_DESC(GameState_SelectMission, GameState);

GameState_SelectMission::GameState_SelectMission() : GameState(kGameStateSelectMission) {}

void GameState_SelectMission::Enter() {}

void GameState_SelectMission::Resume()
{
    GameState::Resume();
}

void GameState_SelectMission::Suspend()
{
    GameState::Suspend();
}

void GameState_SelectMission::Leave() {}

void GameState_SelectMission::Update() {}
