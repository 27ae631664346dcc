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
    mSectors.clear();
}

void SectorDataManager::StoreSector(const char* name)
{
    if (name && !HasSector(name))
        mSectors.emplace_back(name);
}

int32_t SectorDataManager::HasSector(const char* name) const
{
    for (const std::string& sector : mSectors)
        if (name && sector == name)
            return 1;
    return 0;
}

void SectorDataManager::RestoreSector(const char*) {}

void SectorDataManager::StoreLogicalInventory(const StringHashMap&) {}

void SectorDataManager::CopyLogicalInventory(StringHashMap&) const {}

void SectorDataManager::DestroyInstance()
{
    delete gInstance;
    gInstance = nullptr;
}
