// GameState_Cinematic: its place in the state graph, its lifecycle flags, and the way on to the
// state after the video.
#include "gamestatecinematic.h"

#include "gameprofile.h"

GameState_Cinematic::GameState_Cinematic() : GameState(kGameStateCinematic) {}

void GameState_Cinematic::Enter() {}

void GameState_Cinematic::Resume() {}

void GameState_Cinematic::Suspend() {}

void GameState_Cinematic::Leave() {}

void GameState_Cinematic::Update()
{
    // No video plays here, which counts as a video that has ended: the first update goes on to
    // the state the profile names.
    if (GameProfile* profile = GetProfile())
        SwitchTo(profile->stateAfterCinematic);
}
