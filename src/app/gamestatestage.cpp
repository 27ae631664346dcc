// GameState_Stage: entry (hero, level and sector groups, the level script, the stored sector
// state), the frame of play and its actions and requests, and the leave that keeps what must
// survive the sector and releases the rest.
#include "gamestatestage.h"

#include "ammomanager.h"
#include "fxservices.h"
#include "gameloadingscreen.h"
#include "gameprofile.h"
#include "gamesavemanager.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbfile.h"
#include "hbinputmanager.h"
#include "hbptr.h"
#include "hbresource.h"
#include "kfxmanager.h"
#include "rdskeleton.h"
#include "resourcegroups.h"
#include "scriptworldmanager.h"
#include "sectordatamanager.h"
#include "tsanimactor.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "w2dimagesurface.h"
#include "w3danimobject.h"
#include "w3dcamera.h"
#include "wanimatedtextureset.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wuvanimregistry.h"

#include <cstdio>

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

// The first thing that went wrong loading a group the stage needs, or "". A skeleton's reader
// keeps what it could read, so a file cut inside its bone list makes a skeleton of no bone.
std::string GroupFault(const std::string& name)
{
    const ResourceGroup* group = ResourceGroupFind(name.c_str());
    if (!group)
        return ResourceGroupScriptName(name.c_str()) + ": not loaded";
    if (!group->failures.empty())
        return group->failures.front();
    HbResourceManager* resources = HbResourceManager::Instance();
    for (HbPtrListNode* node = group->resources.GetHead(); node; node = node->next)
    {
        const auto* record = static_cast<const ResourceRecord*>(node->value);
        const auto* skeleton = HbCastTo<RdSkeleton>(record->object);
        if (skeleton && skeleton->GetBoneCount() == 0)
        {
            const char* path = resources ? resources->GetPath(record->id.c_str()) : nullptr;
            return record->id + " (" + (path ? path : "") + "): holds no bone";
        }
    }
    return {};
}

// The first thing that went wrong starting the level script, or "". Without scripting there
// is no level script to judge.
std::string LevelFault(const std::string& sector, const std::string& heroGroup)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world || !world->IsScriptingStarted())
        return {};
    const std::vector<std::string> faults = world->TakeLevelFaults();
    if (!faults.empty())
        return faults.front();
    // Named by the sector group's first script module: the level script.
    std::string script = "the level script of " + sector;
    HbResourceManager* resources = HbResourceManager::Instance();
    if (const ResourceGroup* group = ResourceGroupFind(sector.c_str()))
        for (HbPtrListNode* node = group->resources.GetHead(); node; node = node->next)
            if (const auto* record = static_cast<const ResourceRecord*>(node->value); record->module)
            {
                const char* path = resources ? resources->GetPath(record->id.c_str()) : nullptr;
                script += std::string(" (") + (path ? path : record->id.c_str()) + ")";
                break;
            }
    if (!world->IsLevelStarted())
        return script + " sets no level start";
    WScene* scene = world->GetScene();
    if (!scene || !scene->GetLevel())
        return script + " loads no level";
    // A model description skips what it cannot find: a hero group that lost its description
    // gives a hero with nothing to draw.
    if (auto* hero = HbCastTo<TsAnimActor>(world->GetHero()))
        if (!hero->GetModel() || !hero->GetModel()->GetEngineObject())
            return "the hero has no model: " + ResourceGroupScriptName(heroGroup.c_str()) + " describes none";
    return {};
}

// Runs the mission file; the first thing that went wrong in it, or "".
std::string MissionFault(GameProfile* profile)
{
    HbTakeScriptFailures(); // what earlier scripts left is not the mission file's
    const int32_t ran = profile->GetMissions().RunMissionFile("MISSION_OBJECTIVES_SCR");
    const std::vector<std::string> failures = HbTakeScriptFailures();
    if (!failures.empty())
        return failures.front();
    return ran ? std::string() : std::string("the mission file (MISSION_OBJECTIVES_SCR) cannot be run");
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
    mRefused = 0;
    std::string fault;
    if (profile)
    {
        mSectorName = profile->sectorId;
        // The stage judges its own groups: a damaged one refuses the sector below, instead of
        // the general report that the game goes on without what it lacks.
        const ResourceGroupFailureHandler reporter = ResourceGroupSetFailureHandler(nullptr);
        const std::string groups[3] = {profile->heroGroup, LevelGroup(mSectorName), mSectorName};
        for (int32_t layer = 0; layer < 3; ++layer)
            ResourceGroupLoad(groups[layer].c_str(), layer);
        ResourceGroupSetFailureHandler(reporter);
        for (const std::string& group : groups)
            if (fault.empty())
                fault = GroupFault(group);
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
        profile->levelHandle.Reset();
        // A damaged group never reaches the level script: what it lacks would only fail there.
        if (fault.empty())
            if (auto* level = new StageLevel())
            {
                level->AddRef();
                profile->levelHandle.Assign(level);
                level->Load(profile->sectorId.c_str());
                fault = LevelFault(mSectorName, profile->heroGroup);
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
    sMissionStarting = 0;
    if (fault.empty() && profile->newMission)
    {
        fault = MissionFault(profile);
        profile->newMission = 0;
        sMissionStarting = 1;
    }
    // Nothing of a refused sector is restored, stored or saved.
    if (!fault.empty())
    {
        Refuse(fault);
        return;
    }

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
    if (mRefused)
    {
        SwitchTo(kGameStateMainMenu);
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
    // No projectile, impact or casing outlives the sector: they point into its world.
    AmmoManagerResetAll();
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
    if ((mRefused || (profile && profile->worldResetRequest)) && profile)
    {
        ResourceGroupUnload(profile->heroGroup.c_str());
        services.boardReleaseInGame();
        ResourceGroupUnload(LevelGroup(mSectorName).c_str());
        KfxManager::ForEachEmitterReset();
    }
    ResourceGroupUnload(mSectorName.c_str());
    mSectorName.clear();
    mRefused = 0;
    services.animSetFreeAll();
    FxServicesStageLeave();
    services.freeListsPurge();
    if (HbGameClock* clock = HbGameClock::Instance())
        clock->SetStepClamp(1);
    HbFileBeforeOpenHook = nullptr;
}

void GameState_Stage::Refuse(const std::string& fault)
{
    // Garbled bytes of a file can reach the text: they are shown as '?'.
    std::string text = fault;
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            c = '?';
    std::fprintf(stderr, "Velmoran: the sector \"%s\" cannot be played: %s; back to the main menu\n",
                 mSectorName.c_str(), text.c_str());
    std::fflush(stderr);
    mRefused = 1;
    if (GameProfile* profile = GetProfile())
    {
        profile->stageEntered = 0;
        profile->newMission = 0;
    }
}

void GameState_Stage::CreateCameras()
{
    GameServicesTable().camerasCreate();
}
