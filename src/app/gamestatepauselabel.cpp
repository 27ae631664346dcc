// GameState_PauseLabel: its place in the state graph and its lifecycle flags.
#include "gamestatepauselabel.h"

HB_DEFINE_CLASS_DESC(GameState_PauseLabel, GameState);

GameState_PauseLabel::GameState_PauseLabel() : GameState(kGameStatePauseLabel) {}

void GameState_PauseLabel::Enter() {}

void GameState_PauseLabel::Leave() {}

void GameState_PauseLabel::Update() {}
