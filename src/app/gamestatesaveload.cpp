// GameState_SaveLoad: its place in the state graph and its lifecycle flags.
#include "gamestatesaveload.h"

GameState_SaveLoad::GameState_SaveLoad() : GameState(kGameStateSaveLoad) {}

void GameState_SaveLoad::Enter() {}

void GameState_SaveLoad::Leave() {}

void GameState_SaveLoad::Update() {}
