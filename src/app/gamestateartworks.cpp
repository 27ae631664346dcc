// GameState_Artworks: its place in the state graph and its lifecycle flags.
#include "gamestateartworks.h"

HB_DEFINE_CLASS_DESC(GameState_Artworks, GameState);

GameState_Artworks::GameState_Artworks() : GameState(kGameStateArtworks) {}

void GameState_Artworks::Enter() {}

void GameState_Artworks::Leave() {}

void GameState_Artworks::Update() {}
