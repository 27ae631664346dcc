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
    }
    return gBar;
}
