// The game's application hooks.
#include "gameapplication.h"

#include "gamedrive.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbmoduleinit.h"
#include "hbpack.h"
#include "hbptr.h"
#include "hbrandom.h"
#include "hbresource.h"
#include "hbvariable.h"

int32_t GameApplication::PreWindowInit()
{
    GameServicesTable().effectModuleInits();
    HbHandlesManager::Instance();
    HbCommandManager::Instance();
    HbVariableStore::Instance();
    return 0;
}

int32_t GameApplication::Configure()
{
    if (HbCommandManager* commands = HbCommandManager::Instance())
        commands->ExecuteLine("execute variable.scr");
    HbWindowState& state = WindowState();
    state.requestedWidth = 640;
    state.requestedHeight = 480;
    state.colourDepth = 16;
    state.zDepth = 32;
    state.flags |= HbWindowState::kFullScreen;
    ShowCursor(FALSE);
    return 0;
}

int32_t GameApplication::Init()
{
    HbRunModuleInits();
    HbPackSet* packs = HbPackSet::Instance();
    if (HbGameClock* clock = HbGameClock::Instance())
    {
        clock->Reset();
        clock->Start();
    }
    HbRealClock::Instance();
    HbRandom::Instance();
    if (packs)
        packs->AddExcludedExtension("sav");
    if (HbResourceManager* resources = HbResourceManager::Instance())
        resources->SetActive();
    GameServices& services = GameServicesTable();
    services.resourceGroupResetLayers();
    if (packs)
        packs->SetEnabled(0);
    services.resourceGroupMountPak("GLOBAL");
    if (GameStateManager* manager = GameStateManager::Instance())
        manager->Initialise();
    return 0;
}

namespace
{
bool sEndWithFailure = false;
} // namespace

void GameApplication::EndWithFailure()
{
    sEndWithFailure = true;
}

bool GameApplication::EndedWithFailure()
{
    return sEndWithFailure;
}

int32_t GameApplication::Tick()
{
    GameDriveBeforeFrame();
    if (HbRealClock* clock = HbRealClock::Instance())
        clock->Tick();
    GameStateManager* manager = GameStateManager::Existing();
    const int32_t goOn = manager ? manager->Tick() : 0;
    GameDriveAfterFrame();
    if (!goOn || sEndWithFailure || (mFrameBound > 0 && ++mFrames >= mFrameBound))
    {
        WindowState().flags |= HbWindowState::kQuit;
        PostQuitMessage(0);
    }
    return 0;
}

int32_t GameApplication::Shutdown()
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->Shutdown();
    return 0;
}
