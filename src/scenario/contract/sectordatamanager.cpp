// The sector-data manager's singleton and its clearing.
#include "sectordatamanager.h"

#include "hbexitlist.h"

namespace
{
SectorDataManager* gInstance = nullptr;
}

SectorDataManager* SectorDataManager::Instance()
{
    if (!gInstance)
    {
        gInstance = new SectorDataManager();
        if (gInstance)
            HbExitList::Add(&SectorDataManager::DestroyInstance);
    }
    return gInstance;
}

SectorDataManager* SectorDataManager::Existing()
{
    return gInstance;
}

void SectorDataManager::ClearAll()
{
    mSectorCount = 0;
}

void SectorDataManager::DestroyInstance()
{
    delete gInstance;
    gInstance = nullptr;
}
