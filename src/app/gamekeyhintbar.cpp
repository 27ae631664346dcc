// The game manager's key-hint bar.
#include "gamekeyhintbar.h"

#include "boardcontrol.h"
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
    }
    return gBar;
}
