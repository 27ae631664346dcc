// GameState_ChooseLanguage: its place in the state graph and its lifecycle flags.
#include "gamestatechooselanguage.h"

HB_DEFINE_CLASS_DESC(GameState_ChooseLanguage, GameState);

GameState_ChooseLanguage::GameState_ChooseLanguage() : GameState(kGameStateChooseLanguage) {}

void GameState_ChooseLanguage::Leave() {}

void GameState_ChooseLanguage::Update() {}
