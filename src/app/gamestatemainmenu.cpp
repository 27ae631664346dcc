// GameState_MainMenu: its place in the state graph and its lifecycle flags.
#include "gamestatemainmenu.h"

HB_DEFINE_CLASS_DESC(GameState_MainMenu, GameState);

GameState_MainMenu::GameState_MainMenu() : GameState(kGameStateMainMenu) {}

void GameState_MainMenu::Leave() {}

void GameState_MainMenu::Update() {}
