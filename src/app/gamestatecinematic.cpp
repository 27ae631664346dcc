// GameState_Cinematic: its place in the state graph and its lifecycle flags.
#include "gamestatecinematic.h"

GameState_Cinematic::GameState_Cinematic() : GameState(kGameStateCinematic) {}

void GameState_Cinematic::Enter() {}

void GameState_Cinematic::Resume() {}

void GameState_Cinematic::Suspend() {}

void GameState_Cinematic::Leave() {}

void GameState_Cinematic::Update() {}
