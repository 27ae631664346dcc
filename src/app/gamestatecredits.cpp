// GameState_Credits: its place in the state graph and its lifecycle flags.
#include "gamestatecredits.h"

HB_DEFINE_CLASS_DESC(GameState_Credits, GameState);

GameState_Credits::GameState_Credits() : GameState(kGameStateCredits) {}

void GameState_Credits::Enter() {}

void GameState_Credits::Leave() {}

void GameState_Credits::Update() {}
