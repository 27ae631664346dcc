// GameState_Debriefing: its place in the state graph and its lifecycle flags.
#include "gamestatedebriefing.h"

HB_DEFINE_CLASS_DESC(GameState_Debriefing, GameState);

GameState_Debriefing::GameState_Debriefing() : GameState(kGameStateDebriefing) {}

void GameState_Debriefing::Enter() {}

void GameState_Debriefing::Leave() {}

void GameState_Debriefing::Update() {}
