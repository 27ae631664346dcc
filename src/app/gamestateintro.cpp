// GameState_Intro: its place in the state graph and its lifecycle flags.
#include "gamestateintro.h"

HB_DEFINE_CLASS_DESC(GameState_Intro, GameState);

GameState_Intro::GameState_Intro() : GameState(kGameStateIntro) {}

void GameState_Intro::Leave() {}

void GameState_Intro::Update() {}
