// The game manager's key-hint bar.
#include "gamekeyhintbar.h"

#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "hbexitlist.h"

namespace
{
BoardControl* gBar = nullptr;

void DestroyBar()
{
    BoardControlTheme_InGame::SetGameBoardControl(nullptr);
    delete gBar;
    gBar = nullptr;
}
} // namespace

BoardControl* GameKeyHintBar()
{
    if (!gBar)
    {
        gBar = new BoardControl();
        if (gBar)
            HbExitList::Add(DestroyBar);
        // The in-game display is theme 1 of every bar the game makes.
        BoardControl::SetInGameThemeFactory([]() -> BoardControlTheme* { return new BoardControlTheme_InGame(); });
        // What reaches the in-game display without a bar at hand (the objectives' messages, the
        // ammunition and health hooks) finds it on this bar.
        BoardControlTheme_InGame::SetGameBoardControl(gBar);
    }
    return gBar;
}
