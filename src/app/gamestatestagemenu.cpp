// GameState_StageMenu: its place in the state graph and its lifecycle flags.
#include "gamestatestagemenu.h"

HB_DEFINE_CLASS_DESC(GameState_StageMenu, GameState);

GameState_StageMenu::GameState_StageMenu() : GameState(kGameStateStageMenu) {}

void GameState_StageMenu::Enter() {}

void GameState_StageMenu::Leave() {}

void GameState_StageMenu::Update() {}
