// GameState_Stage: entry (hero, level and sector groups, the level script, the stored sector
// state), the frame of play and its actions and requests, and the leave that keeps what must
// survive the sector and releases the rest.
#include "gamestatestage.h"

#include "fxservices.h"
#include "gameloadingscreen.h"
#include "gameprofile.h"
#include "gamesavemanager.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbfile.h"
#include "hbinputmanager.h"
#include "hbptr.h"
#include "kfxmanager.h"
#include "resourcegroups.h"
#include "scriptworldmanager.h"
#include "sectordatamanager.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "w2dimagesurface.h"
#include "w3dcamera.h"
#include "wanimatedtextureset.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wuvanimregistry.h"

HB_DEFINE_CLASS_DESC(GameState_Stage, GameState);

namespace
{
int32_t sMissionStarting = 0;

constexpr int32_t kLevelStartKey = 0;
constexpr int32_t kLevelEndKey = 1;
constexpr int32_t kInGameTheme = 1;

/// The stage's input actions, each looked up once per set of bindings.
struct StageAction
{
    const char* name;
    HbInputAction* action = nullptr;
    uint32_t generation = 0;
    bool looked = false;
};
StageAction sEscape{"ESC"};
StageAction sMap{"MAP_BACK"};
StageAction sInventory{"INVENTORY_OPEN"};

int32_t Triggered(StageAction& cached)
{
    GameServices& services = GameServicesTable();
    const uint32_t generation = HbInputManager::BindingCounter();
    if (!cached.looked || cached.generation != generation)
    {
        cached.action = services.actionFind(cached.name);
        cached.generation = generation;
        cached.looked = true;
    }
    return services.actionTriggered(cached.action);
}

StageLevel* CurrentLevel()
{
    GameStateManager* manager = GameStateManager::Existing();
    if (!manager)
        return nullptr;
    HbHandlePtr handle;
    manager->GetLevelHandle(&handle);
    return handle.IsValid() ? static_cast<StageLevel*>(handle.GetObject()) : nullptr;
}

void OnLevelLoaded(intptr_t)
{
    // The start callbacks run before the script world counts the level as started: what
    // tells a level is there is the scene's level.
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    if (StageLevel* level = CurrentLevel(); level && scene && scene->GetLevel())
        level->SetLoaded(1);
}

void OnLevelUnloaded(intptr_t)
{
    if (StageLevel* level = CurrentLevel())
        level->SetLoaded(0);
    GameServicesTable().scenarioLevelEnd();
}

std::string LevelGroup(const std::string& sectorId)
{
    return GroupNameGetWorldPart(sectorId.c_str()) + GroupNameGetLevelPart(sectorId.c_str());
}

int32_t LevelHandleValid(GameProfile* profile)
{
    return profile && profile->levelHandle.IsValid() ? 1 : 0;
}
} // namespace

StageLevel::~StageLevel()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
    {
        world->EndLevel();
        world->RemoveKeyCallback(OnLevelLoaded);
        world->RemoveKeyCallback(OnLevelUnloaded);
    }
}

int32_t StageLevel::Load(const char*)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (world)
    {
        world->AddKeyCallback(OnLevelLoaded, 0, kLevelStartKey);
        world->AddKeyCallback(OnLevelUnloaded, 0, kLevelEndKey);
    }
    GameServicesTable().scenarioLevelStart();
    if (world)
        world->StartLevelScript();
    GameServicesTable().scenarioHeroReady();
    return 1;
}

int32_t StageMissionStarting()
{
    return sMissionStarting;
}

void StageUpdateWorld()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->Update();
    TsCameraRegistry::UpdateActiveCameras();
}

// Play animates the scene before it draws it: without the update no model's motor runs, so
// no actor moves by its animations. The pause menu draws the scene without this.
void StageRenderScene()
{
    GameServicesTable().rendererUpdateFrame();
    GameServicesTable().rendererRenderScene();
}

GameState_Stage::GameState_Stage() : GameState(kGameStateStage) {}

void GameState_Stage::Enter()
{
    GameServices& services = GameServicesTable();
    GameProfile* profile = GetProfile();
    GameStateManager* manager = GameStateManager::Existing();
    ResourceGroupUnload("FRONTEND");
    HbFileBeforeOpenHook = LoadingTickHook;
    services.freeListsPurge();
    if (profile)
    {
        ResourceGroupLoad(profile->heroGroup.c_str(), 0);
        ResourceGroupLoad(LevelGroup(profile->sectorId).c_str(), 1);
        mSectorName = profile->sectorId;
        ResourceGroupLoad(mSectorName.c_str(), 2);
    }
    GameState::Enter();
    services.boardBuildInGame();
    services.boardHide();
    KfxManager::ForEachEmitterReset();
    KfxManager::Prealloc();

    if (profile)
    {
        // The stage owns the level; the profile's handle only reaches it. A level left from an
        // entry without a leave goes first.
        if (profile->levelHandle.IsValid())
            profile->levelHandle.GetObject()->Release();
        if (auto* level = new StageLevel())
        {
            level->AddRef();
            profile->levelHandle.Assign(level);
            level->Load(profile->sectorId.c_str());
        }
    }
    if (manager)
    {
        manager->StopLoadingScreen();
        manager->RemoveExtraItems();
    }
    services.freeListsPurge();
    services.soundStopAll();
    if (profile)
        TsApplyDifficultyToRespawnMarks(TsGetMarkSystem(), profile->missionTable.words[MissionTable::kDifficulty]);
    if (WRenderer* renderer = WRenderer::Existing())
    {
        W3dCamera* camera = renderer->GetValidCamera();
        KfxManager::SetCamera(camera ? camera->GetCamera() : nullptr);
    }
    if (profile)
    {
        profile->prefs.Apply();
        profile->prefs.ApplyDifficulty(profile->missionTable.words[MissionTable::kDifficulty]);
    }
    mFrameCounter = 0;
    mSaveRequest = 0;
    mDeferredStageRequest = 0;
    if (!profile)
        return;

    if (profile->cheatsUnlocked)
        profile->newMission = 1;
    if (profile->newMission)
    {
        profile->GetMissions().RunMissionFile("MISSION_OBJECTIVES_SCR");
        profile->newMission = 0;
        sMissionStarting = 1;
    }
    else
        sMissionStarting = 0;

    SectorDataManager* sectors = SectorDataManager::Instance();
    GameSaveManager* saves = GameSaveManager::Instance();
    bool restoreSector = true;
    if (profile->loadRequest)
    {
        if (saves)
            saves->RestoreCheckpoint();
        profile->loadRequest = 0;
        services.heroOnSectorEnter();
        if (sectors)
        {
            sectors->RestoreObjectiveActions();
            sectors->CopyLogicalInventory(profile->globalInventory);
        }
        restoreSector = sectors && sectors->HasSector(mSectorName.c_str());
    }
    if (restoreSector && sectors)
        sectors->RestoreSector(mSectorName.c_str());

    if (saves)
        saves->SaveCheckpoint();
    profile->stageEntered = 1;
    if (sectors)
        sectors->SaveObjectiveActions();
    profile->GetMissions().OnEnterSector(mSectorName.c_str());
    if (sectors)
        sectors->StoreLogicalInventory(profile->globalInventory);

    services.animSetLoadAll();
    services.heroOnStageStart();
    services.shadowsAttach();
    services.heroSetGroundMask(mSectorName == "W3L1S01" ? 3 : 1);
    FxServicesStageEnter();
    services.rendererPrepareClumps();
}

void GameState_Stage::Update()
{
    GameServices& services = GameServicesTable();
    GameProfile* profile = GetProfile();
    GameStateManager* manager = GameStateManager::Existing();
    if (mDeferredStageRequest)
    {
        if (profile)
            profile->stageRequest = 1;
        mDeferredStageRequest = 0;
        return;
    }
    if (HbGameClock* clock = HbGameClock::Instance())
        clock->Update();

    if (mFrameCounter < 3)
    {
        if (manager && mFrameCounter == 0)
            if (W2dFadingSurface* overlay = manager->GetFadeOverlay())
            {
                overlay->SetTexture(nullptr);
                const Rgba black = {0, 0, 0, 255};
                overlay->SetColor(&black, &black, &black, &black);
            }
        if (manager)
            manager->FadeIn(HbPerformanceFrequency(), 1);
        ++mFrameCounter;
        // The bar shows on the frame the counter reaches 2.
        if (mFrameCounter == 2)
            services.boardShow();
    }
    if (mFrameCounter >= 2 && sMissionStarting && !services.heroInFirstState())
        sMissionStarting = 0;

    services.fxStageStep();
    const int32_t valid = LevelHandleValid(profile);
    if (valid)
        StageUpdateWorld();
    services.rendererBeginFrame();
    if (valid)
        StageRenderScene();
    services.rendererEndFrame();

    if (services.boardTopTheme() == kInGameTheme)
    {
        if (!services.heroInFirstState())
        {
            if (Triggered(sEscape))
            {
                services.soundPlay("SD_I_MENU_PAUSE_ON_S2DSB");
                SwitchTo(kGameStateStageMenu);
                return;
            }
            if (Triggered(sMap))
            {
                services.soundPlay("SD_I_MENU_PAUSE_ON_S2DSB");
                SwitchTo(kGameStateMap);
                return;
            }
        }
        if (services.padPresent() && !mInventoryLocked && Triggered(sInventory))
        {
            services.soundPlay("SD_I_INVENTORY_ON_S2DSB");
            SwitchTo(kGameStateInventory);
            return;
        }
    }

    if (!profile)
        return;
    if (profile->gameOverRequest)
    {
        profile->gameOverRequest = 0;
        services.heroRestart();
        SwitchTo(kGameStateGameOver);
    }
    else if (profile->missionEndRequest || profile->campaignComplete)
    {
        profile->missionEndRequest = 0;
        services.heroRestart();
        profile->worldResetRequest = 1;
        SwitchTo(profile->labelAfterMission ? kGameStateLabel : kGameStateDebriefing);
    }
    else if (profile->pauseLabelRequest)
        SwitchTo(kGameStatePauseLabel);
    else if (mSaveRequest)
    {
        if (profile->stageRequest)
        {
            mDeferredStageRequest = 1;
            profile->stageRequest = 0;
        }
        mSaveRequest = 0;
        SwitchTo(kGameStateSaveLoad);
    }
    else
        services.timedAnimRequestsTick();
}

void GameState_Stage::UpdateUnderOverlay()
{
    GameState::UpdateUnderOverlay();
    if (GameProfile* profile = GetProfile(); profile && profile->worldResetRequest)
    {
        ResourceGroupLoad("FRONTEND", 2);
        SwitchTo(kGameStateSelectMission);
    }
}

void GameState_Stage::Resume()
{
    GameState::Resume();
    if (GameStateManager* manager = GameStateManager::Existing(); manager && manager->GetFadeOverlay())
        manager->GetFadeOverlay()->SetVisible(1);
}

void GameState_Stage::Suspend()
{
    GameState::Suspend();
    if (GameStateManager* manager = GameStateManager::Existing(); manager && manager->GetFadeOverlay())
        manager->GetFadeOverlay()->SetVisible(0);
}

void GameState_Stage::Leave()
{
    GameServices& services = GameServicesTable();
    GameProfile* profile = GetProfile();
    GameStateManager* manager = GameStateManager::Existing();
    if (profile)
    {
        if ((profile->stageRequest || profile->labelRequest) && profile->stageEntered)
        {
            if (SectorDataManager* sectors = SectorDataManager::Instance())
                sectors->StoreSector(mSectorName.c_str());
        }
        else
            profile->globalInventory.RemoveAll();
    }
    services.shadowsDetach();
    KfxManager::SetCamera(nullptr);
    KfxManager::ResetRenderLists();
    if (profile)
    {
        for (int32_t* id : {&profile->followCamera, &profile->secondCamera})
            if (*id >= 0)
            {
                TsCameraRegistry::RemoveCamera(*id);
                *id = -1;
            }
    }
    services.camerasFree();
    services.heroOnSectorLeave();
    UVAnimClearAll();
    if (manager)
        manager->FadeIn(0, 0);
    services.boardPopAll();
    if (profile)
    {
        if (profile->levelHandle.IsValid())
            profile->levelHandle.GetObject()->Release();
        profile->levelHandle.Reset();
    }
    services.boardResetInGame();
    if (manager)
        if (W2dFadingSurface* overlay = manager->GetFadeOverlay())
            overlay->SetTexture(nullptr);
    if (WRenderer* renderer = WRenderer::Existing(); renderer && renderer->GetAnimatedTextures())
        renderer->GetAnimatedTextures()->Clear();
    if (profile && profile->worldResetRequest)
    {
        ResourceGroupUnload(profile->heroGroup.c_str());
        services.boardReleaseInGame();
        ResourceGroupUnload(LevelGroup(mSectorName).c_str());
        KfxManager::ForEachEmitterReset();
    }
    ResourceGroupUnload(mSectorName.c_str());
    mSectorName.clear();
    services.animSetFreeAll();
    FxServicesStageLeave();
    services.freeListsPurge();
    if (HbGameClock* clock = HbGameClock::Instance())
        clock->SetStepClamp(1);
    HbFileBeforeOpenHook = nullptr;
}

void GameState_Stage::CreateCameras()
{
    GameServicesTable().camerasCreate();
}
