// The game manager's singleton and the operations the layers under the game use.
#include "gamestatemanager.h"

#include "gameprofile.h"
#include "gamestate.h"
#include "hbcommand.h"
#include "hbexitlist.h"
#include "hbmemory.h"
#include "hbptr.h"
#include "w2dimagesurface.h"
#include "w2dsurfacelist.h"
#include "win32.h"
#include "wrenderer.h"

#include <cstdio>

namespace
{
GameStateManager* gInstance = nullptr;

// The allocation still answers null to its caller; the text is only logged.
void OnAllocationFailure(size_t size)
{
    char text[48];
    std::snprintf(text, sizeof(text), "Malloc Failed %d\n", static_cast<int>(size));
    HbCommandDebugOutput(text);
}

W2dSurfaceList* SurfaceList()
{
    WRenderer* renderer = WRenderer::Existing();
    return renderer ? renderer->GetSurfaceList() : nullptr;
}
} // namespace

GameStateManager::GameStateManager()
{
    HbSetOutOfMemoryHandler(OnAllocationFailure);
}

GameStateManager::~GameStateManager()
{
    ShowCursor(TRUE);
    if (HbGetOutOfMemoryHandler() == OnAllocationFailure)
        HbSetOutOfMemoryHandler(nullptr);
}

GameStateManager* GameStateManager::Instance()
{
    if (!gInstance)
    {
        gInstance = new GameStateManager();
        if (gInstance)
            HbExitList::Add(&GameStateManager::DestroyInstance);
    }
    return gInstance;
}

GameStateManager* GameStateManager::Existing()
{
    return gInstance;
}

void GameStateManager::DestroyInstance()
{
    delete gInstance;
    gInstance = nullptr;
}

GameState* GameStateManager::GetCurrentState() const
{
    if (!mCurrentState)
        return nullptr;
    GameState* pending = mCurrentState->GetPending();
    return pending ? pending : mCurrentState;
}

HbHandlePtr* GameStateManager::GetLevelHandle(HbHandlePtr* handle) const
{
    GameState* state = GetCurrentState();
    if (state)
        return state->GetLevelHandle(handle);
    if (handle)
        handle->Reset();
    return handle;
}

void GameStateManager::FadeIn(int64_t duration, int32_t restart)
{
    if (!mFadeOverlay)
        return;
    // The stage fades in on several frames running: the overlay is listed once.
    W2dSurfaceList* list = SurfaceList();
    if (list && !mFadeOverlay->IsInserted())
        list->Insert(mFadeOverlay);
    mFadeOut = 0;
    if (restart)
        mFadeOverlay->SetShown(1);
    mFadeOverlay->SetFadeDuration(duration);
    mFadeOverlay->Hide();
}

void GameStateManager::FadeOut(int64_t duration, int32_t restart)
{
    if (!mFadeOverlay)
        return;
    W2dSurfaceList* list = SurfaceList();
    if (list && !mFadeOverlay->IsInserted())
        list->Insert(mFadeOverlay);
    mFadeOut = 1;
    if (restart)
        mFadeOverlay->SetShown(0);
    mFadeOverlay->SetFadeDuration(duration);
    mFadeOverlay->Show();
}

void GameStateManager::RequestCinematic(const char* video, int32_t skippable, int32_t nextState)
{
    GameState* state = GetCurrentState();
    GameProfile* profile = state ? state->GetProfile() : mProfile;
    if (!profile)
        return;
    profile->cinematicVideo = video ? video : "";
    profile->cinematicSkippable = skippable;
    profile->stateAfterCinematic = nextState;
    profile->cinematicRequest = 1;
}

void GameStateManager::RemoveExtraItems()
{
    if (!mLoadingPicture)
        return;
    if (W2dSurfaceList* list = SurfaceList())
        list->Remove(mLoadingPicture);
    mLoadingPicture->Release();
    mLoadingPicture = nullptr;
}

void GameStateManager::SetProfile(GameProfile* profile)
{
    if (profile)
        profile->AddRef();
    if (mProfile)
        mProfile->Release();
    mProfile = profile;
}
