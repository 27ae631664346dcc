// GameState_Label: its place in the state graph and its lifecycle flags.
#include "gamestatelabel.h"

HB_DEFINE_CLASS_DESC(GameState_Label, GameState);

GameState_Label::GameState_Label() : GameState(kGameStateLabel) {}

void GameState_Label::Enter() {}

void GameState_Label::Leave() {}

void GameState_Label::Update() {}
