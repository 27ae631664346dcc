// The font cache.
#include "wfontmanager.h"

#include "hbexitlist.h"

namespace
{
WFontManager* gManager = nullptr;
bool gManagerMade = false;

void DestroyManager()
{
    if (gManager && gManager->IsOpen())
        gManager->Close();
    delete gManager;
    gManager = nullptr;
}
} // namespace

WFontManager* WFontManager::Instance()
{
    if (!gManagerMade)
    {
        gManager = new WFontManager();
        if (gManager)
        {
            gManagerMade = true;
            HbExitList::Add(DestroyManager);
        }
    }
    return gManager;
}

int32_t WFontManager::Open()
{
    mOpen = 1;
    return 1;
}

int32_t WFontManager::Close()
{
    mOpen = 0;
    return 1;
}
