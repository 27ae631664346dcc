// The save manager's singleton.
#include "gamesavemanager.h"

namespace
{
GameSaveManager* gInstance = nullptr;
}

GameSaveManager* GameSaveManager::Instance()
{
    if (!gInstance)
        gInstance = new GameSaveManager();
    return gInstance;
}

GameSaveManager* GameSaveManager::Existing()
{
    return gInstance;
}

void GameSaveManager::Release()
{
    delete gInstance;
    gInstance = nullptr;
}
