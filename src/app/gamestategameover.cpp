// GameState_GameOver: its place in the state graph and its lifecycle flags.
#include "gamestategameover.h"

HB_DEFINE_CLASS_DESC(GameState_GameOver, GameState);

GameState_GameOver::GameState_GameOver() : GameState(kGameStateGameOver) {}

void GameState_GameOver::Leave() {}

void GameState_GameOver::Update() {}
