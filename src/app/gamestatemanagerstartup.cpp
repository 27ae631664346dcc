// The game manager's start-up, frame and shut-down, and the building of the state graph.
#include "gamesavemanager.h"
#include "gameservices.h"
#include "gamestatemanager.h"

#include "ammomanager.h"
#include "gameprofile.h"
#include "gamestateartworks.h"
#include "gamestatechooselanguage.h"
#include "gamestatecinematic.h"
#include "gamestatecredits.h"
#include "gamestatedebriefing.h"
#include "gamestategameover.h"
#include "gamestateintro.h"
#include "gamestateinventory.h"
#include "gamestatelabel.h"
#include "gamestatemainmenu.h"
#include "gamestatemap.h"
#include "gamestatepauselabel.h"
#include "gamestatesaveload.h"
#include "gamestateselectmission.h"
#include "gamestatestage.h"
#include "gamestatestagemenu.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbdatamanager.h"
#include "hbfile.h"
#include "hbinputmanager.h"
#include "hbmath.h"
#include "hbmoduleinit.h"
#include "moveblendtables.h"
#include "resourcegroups.h"
#include "sectordatamanager.h"
#include "w2dimagesurface.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

#include <string>
#include <vector>

namespace
{
// The depth fields tried, in this order, for each of the two when the renderer will not
// start on the configured ones.
constexpr int32_t kDepths[] = {32, 24, 16};

// The fade overlay's layer: over every other 2D item.
constexpr int32_t kFadeLayer = 200;

// The thirteen modules the interpreter's start builds, in order.
constexpr const char* kScriptModules[] = {"map_states", "sap_states", "target_path", "he_map",   "he_sap",
                                          "pan_map",    "pan_sap",    "pan_action",  "anim_set", "anim",
                                          "fx",         "fx3d",       "physic"};

void Log(const char* text)
{
    HbCommandDebugOutput(text);
    HbCommandDebugOutput("\n");
}

int32_t QueueModule(const char* name)
{
    return GameServicesTable().scriptQueueModule(name);
}

void LoadingTickHook()
{
    GameServicesTable().loadingTick();
}

// Starts the renderer on the window state, trying the nine depth pairs when the configured
// one fails. 1 when it runs.
int32_t StartRenderer(GameServices& services)
{
    HbApplication* application = HbApplication::Get();
    static HbWindowState sNoWindow;
    HbWindowState& window = application ? application->WindowState() : sNoWindow;
    if (services.rendererStart(window) == 1)
        return 1;
    for (int32_t first : kDepths)
    {
        for (int32_t second : kDepths)
        {
            window.colourDepth = first;
            window.zDepth = second;
            if (services.rendererStart(window) == 1)
                return 1;
        }
    }
    return 0;
}

// Removes the world's state: the hero, the stored sectors and the global logical inventory.
void ResetWorld(GameServices& services, GameProfile* profile)
{
    if (services.scriptHasHero())
        services.scriptClearHero();
    if (SectorDataManager* sectors = SectorDataManager::Instance())
        sectors->ClearAll();
    if (profile)
        profile->globalInventory.RemoveAll();
}
} // namespace

int32_t GameStateManager::Initialise()
{
    GameServices& services = GameServicesTable();
    GameServicesStep("HbDataManager::Create");
    HbDataManager::Create();
    GameServicesStep("HbInputManager::Instance");
    HbInputManager* input = HbInputManager::Instance();
    GameServicesStep("WRenderer::Start");
    if (!StartRenderer(services))
    {
        // A game without a renderer cannot run: say so, and do not end as a success.
        services.fatalBox("Renderer Initialisation failed !!", "Fatal error", 0x1030);
        services.exitProgram(1);
        return 0;
    }
    GameServicesStep("HbBuildSinCosTables");
    HbBuildSinCosTables();
    GameServicesStep("W2dSurfaceCreateBrush");
    services.brushCreate();
    GameServicesStep("TsCameraRegistry::Reset");
    services.cameraRegistryReset();
    GameServicesStep("TsFModStart");
    services.soundStart();
    GameServicesStep("TsVideoCreateMutex");
    services.videoCreateMutex();
    GameServicesStep("TsFamilyTable::Instance");
    services.familyTableCreate();
    GameServicesStep("TsActorTypeRegistry::Instance");
    services.actorTypeRegistryCreate();
    GameServicesStep("GameSaveManager::Instance");
    GameSaveManager::Instance();
    GameServicesStep("SectorDataManager::Instance");
    SectorDataManager::Instance();
    GameServicesStep("AnimSystemInit");
    services.animSystemInit();
    GameServicesStep("HbInputManager::ExecuteBindingFile");
    HbTakeScriptFailures();
    const int bindings = input ? input->ExecuteBindingFile("commands.scr") : 0;
    // Keys bound only in part leave the player stuck on the first screen.
    if (const std::vector<std::string> failures = HbTakeScriptFailures(); !failures.empty())
        ResourceGroupReportFailures("commands.scr", failures);
    GameServicesStep("HbInputManager::Update");
    if (input)
        input->Update();
    GameServicesStep("WRenderer::BeginFrame");
    services.rendererBeginFrame();
    GameServicesStep("TimedAnimRequestsInit");
    services.timedAnimRequestsInit();
    GameServicesStep("ScriptWorldManager::RegisterPendingModule");
    for (const char* name : kScriptModules)
        services.scriptQueueModule(name);
    GameServicesStep("AmmoGeometryDeclareRows");
    AmmoGeometryDeclareRows();
    AmmoRegisterScriptModules(QueueModule);
    GameServicesStep("ScriptWorldManager::StartScripting");
    services.scriptStart();
    GameServicesStep("GameStateManager::StartLoadingScreen");
    services.loadingScreenStart();
    HbFileBeforeOpenHook = LoadingTickHook;
    GameServicesStep("ResourceGroupLoad");
    services.resourceGroupLoad("PERMANENT", 0);
    Log("Preloading PERMANENT Done");
    GameServicesStep("WShadows::Init");
    services.shadowsInit();
    GameServicesStep("AmmoManager::Preallocate");
    AmmoManager::Preallocate();
    GameServicesStep("Fx3dInitTypeRecords");
    services.physicsSetGravity();
    services.fx3dInitTypeRecords();
    GameServicesStep("AnimSetLoadAll");
    services.animSetLoadAll();
    GameServicesStep("MoveBlendTablesInit");
    PnjMoveBlendTablesInit();
    HeroMoveBlendTablesInit();
    HeroTurnCurveInit();
    GameServicesStep("BoardControl::CreateThemes");
    services.boardCreateThemes();
    GameServicesStep("TsGroundTypesLoad");
    services.groundTypesLoad();
    Log(bindings ? "Controler Initialisation Done" : "Controler Initialisation Failed");
    GameServicesStep("CreateFadeOverlay");
    CreateFadeOverlay();
    GameServicesStep("TriggerManager::Create");
    services.triggersCreate();
    GameServicesStep("ScriptWorldManager::ImportScriptResource");
    services.scriptImportResource("START_PY");
    GameServicesStep("GameStateManager::StopLoadingScreen");
    Log("StopTickLoadingScreen");
    services.loadingScreenStop();
    Log("StopTickLoadingScreen Done");
    GameServicesStep("GameStateManager::BuildStates");
    BuildStates();
    GameServicesStep("GamePrefs::Load");
    GameState* state = GetCurrentState();
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    if (!profile || !profile->prefs.Load())
        return 0;
    return profile->prefs.Apply();
}

void GameStateManager::CreateFadeOverlay()
{
    auto* overlay = new W2dFadingSurface(nullptr, HbPerformanceFrequency(), 0, 0.0f, 0.0f, 1.0f, 1.0f, kFadeLayer);
    if (!overlay)
        return;
    overlay->AddRef();
    overlay->SetShown(0);
    const Rgba black = {0, 0, 0, 255};
    overlay->SetColor(&black, &black, &black, &black);
    mFadeOverlay = overlay;
    mFadeOut = 0;
}

void GameStateManager::BuildStates()
{
    auto* mainMenu = new GameState_MainMenu();
    auto* stageMenu = new GameState_StageMenu();
    auto* gameOver = new GameState_GameOver();
    auto* stage = new GameState_Stage();
    auto* intro = new GameState_Intro();
    auto* inventory = new GameState_Inventory();
    auto* language = new GameState_ChooseLanguage();
    auto* credits = new GameState_Credits();
    auto* saveLoad = new GameState_SaveLoad();
    auto* selectMission = new GameState_SelectMission();
    auto* debriefing = new GameState_Debriefing();
    auto* map = new GameState_Map();
    auto* cinematic = new GameState_Cinematic();
    auto* label = new GameState_Label();
    auto* pauseLabel = new GameState_PauseLabel();
    auto* artworks = new GameState_Artworks();

    struct Declared
    {
        GameState* from;
        GameState* to;
        int32_t overlay;
    };
    const Declared declared[] = {
        {selectMission, mainMenu, 0},
        {selectMission, stage, 0},
        {selectMission, cinematic, 0},
        {selectMission, artworks, 1},
        {saveLoad, selectMission, 0},
        {saveLoad, stage, 0},
        {saveLoad, mainMenu, 0},
        {saveLoad, debriefing, 0},
        {saveLoad, credits, 0},
        {saveLoad, intro, 0},
        {mainMenu, selectMission, 0},
        {mainMenu, saveLoad, 0},
        {mainMenu, stage, 0},
        {mainMenu, credits, 0},
        {mainMenu, intro, 0},
        {mainMenu, cinematic, 0},
        {mainMenu, label, 0},
        {mainMenu, mainMenu, 0},
        {selectMission, label, 0},
        {stageMenu, stage, 0},
        {stage, mainMenu, 0},
        {stage, stage, 0},
        {stage, gameOver, 0},
        {stage, debriefing, 0},
        {stage, stageMenu, 1},
        {stage, saveLoad, 1},
        {stage, label, 0},
        {stage, inventory, 1},
        {stage, pauseLabel, 1},
        {stage, selectMission, 0},
        {stage, map, 1},
        {stage, cinematic, 0},
        {map, stage, 0},
        {credits, selectMission, 0},
        {intro, mainMenu, 0},
        {intro, language, 0},
        {inventory, stage, 0},
        {gameOver, mainMenu, 0},
        {gameOver, stage, 0},
        {gameOver, selectMission, 0},
        {debriefing, saveLoad, 0},
        {debriefing, selectMission, 0},
        {debriefing, cinematic, 0},
        {language, saveLoad, 0},
        {language, intro, 0},
        {cinematic, mainMenu, 0},
        {cinematic, selectMission, 0},
        {cinematic, credits, 0},
        {cinematic, saveLoad, 0},
        {label, stage, 0},
        {label, debriefing, 0},
        {pauseLabel, stage, 0},
        {artworks, selectMission, 0},
        // The cinematic may lead to the stage (the stage request, or a video whose next state
        // is the stage); the graph declares that way too.
        {cinematic, stage, 0},
    };
    for (const Declared& d : declared)
        d.from->AddTransition(d.to, d.overlay);
    map->SetPersistent(1);
    inventory->SetPersistent(1);

    mCurrentState = language;
    language->Enter();

    auto* profile = new GameProfile();
    SetProfile(profile);
    language->SetProfile(profile);
}

int32_t GameStateManager::Tick()
{
    GameServices& services = GameServicesTable();
    if (mTimedAction.start > 0)
    {
        if (mTimedAction.perTick)
            mTimedAction.perTick(mTimedAction.perTickArgument);
        HbRealClock* clock = HbRealClock::Instance();
        if (clock && clock->mCurrentTime > mTimedAction.start + mTimedAction.duration)
        {
            if (mTimedAction.completion)
                mTimedAction.completion(mTimedAction.completionArgument);
            mTimedAction = GameTimedAction();
        }
    }
    if (mFadeOverlay && mFadeOverlay->IsFadeDone() && !mFadeOut && mFadeOverlay->IsInserted())
    {
        if (WRenderer* renderer = WRenderer::Existing(); renderer && renderer->GetSurfaceList())
            renderer->GetSurfaceList()->Remove(mFadeOverlay);
    }
    services.fxServicesTick();
    services.soundUpdate();
    if (HbInputManager* input = HbInputManager::Instance())
        input->Update();
    services.boardUpdate();
    if (mCurrentState)
        mCurrentState->Tick();
    ServeRequests();
    GameState* state = mCurrentState;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    if (profile && profile->quitRequest)
        return 0;
    if (state && state->GetPending())
        mCurrentState = state->GetPending();
    return 1;
}

void GameStateManager::ServeRequests()
{
    GameState* state = mCurrentState;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    // A state that switched during its update has already left: a request served now would
    // leave it twice and enter two states. The request waits for the next tick.
    if (!profile || state->GetPending())
        return;
    // Under an overlay (the pause menu over the stage) the state is suspended: a switch now
    // would resume it instead of entering the target and leave the overlay running forever.
    // The request waits until the overlay has gone.
    const bool switching = profile->cinematicRequest || profile->labelRequest || profile->stageRequest;
    if (switching && state->IsSuspended())
        return;
    if (profile->cinematicRequest)
    {
        if (state->SwitchTo(kGameStateCinematic))
            profile->cinematicRequest = 0;
    }
    else if (profile->labelRequest)
    {
        if (state->SwitchTo(kGameStateLabel))
            profile->labelRequest = 0;
    }
    else if (profile->stageRequest)
    {
        if (state->SwitchTo(kGameStateStage))
            profile->stageRequest = 0;
    }
    else if (profile->worldResetRequest)
    {
        // Stays raised: the state that goes on from the reset clears it.
        ResetWorld(GameServicesTable(), profile);
    }
}

int32_t GameStateManager::Shutdown()
{
    GameServices& services = GameServicesTable();
    GameServicesStep("GameStateManager::RemoveExtraItems");
    RemoveExtraItems();
    GameServicesStep("ScriptWorldManager::UnloadScriptModule");
    services.scriptUnloadModule();
    GameServicesStep("LeaveStates");
    if (mProfile)
        mProfile->worldResetRequest = 1;
    if (mCurrentState)
    {
        mCurrentState->Leave();
        delete mCurrentState;
        mCurrentState = nullptr;
    }
    GameServicesStep("ResetWorld");
    ResetWorld(services, mProfile);
    GameServicesStep("ReleaseProfile");
    SetProfile(nullptr);
    GameServicesStep("TriggerManager::Free");
    services.triggersFree();
    GameServicesStep("ResourceGroupUnloadAll");
    services.resourceGroupUnloadAll();
    GameServicesStep("ScriptWorldManager::StopScripting");
    services.scriptStop();
    GameServicesStep("TsCameraRegistry::Clear");
    services.cameraRegistryClear();
    GameServicesStep("AmmoManagerShutdown");
    AmmoManagerShutdown();
    GameServicesStep("ReleaseFadeOverlay");
    if (mFadeOverlay)
    {
        if (WRenderer* renderer = WRenderer::Existing(); renderer && renderer->GetSurfaceList())
            renderer->GetSurfaceList()->Remove(mFadeOverlay);
        mFadeOverlay->Release();
        mFadeOverlay = nullptr;
    }
    GameServicesStep("TsGroundTypesFree");
    services.groundTypesFree();
    GameServicesStep("BoardControl::DestroyAll");
    services.boardDestroyAll();
    GameServicesStep("FxServicesShutdown");
    services.fxServicesShutdown();
    GameServicesStep("TimedAnimRequestsFree");
    services.timedAnimRequestsFree();
    GameServicesStep("AnimSetFreeAll");
    services.animSetFreeAll();
    GameServicesStep("MoveTablesFree");
    PnjMoveTablesFree();
    HeroMoveTablesFree();
    HeroTurnCurveFree();
    GameServicesStep("AnimSystemShutdown");
    services.animSystemShutdown();
    GameServicesStep("HbInputManager::ReleaseControllers");
    if (HbInputManager* input = HbInputManager::Instance())
        input->ReleaseControllers();
    GameServicesStep("TsFModClose");
    services.soundClose();
    GameServicesStep("W2dSurfaceDestroyBrush");
    services.brushDestroy();
    services.shadowsShutdown();
    GameServicesStep("HbDataManager::Destroy");
    HbDataManager::Destroy();
    GameServicesStep("GameSaveManager::Release");
    if (GameSaveManager* saves = GameSaveManager::Existing())
        saves->Release();
    GameServicesStep("WRenderer::Stop");
    services.rendererStop();
    GameServicesStep("HbSetShuttingDown");
    HbSetShuttingDown();
    return 1;
}
