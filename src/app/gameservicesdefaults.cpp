// The real entries of the game's service table.
#include "gameservicesdefaults.h"

#include "boardcontrol.h"
#include "freelist.h"
#include "fx3d.h"
#include "fx3dtype.h"
#include "fxphysics.h"
#include "fxservices.h"
#include "gameapplication.h"
#include "gamecommands.h"
#include "gamekeyhintbar.h"
#include "gameservices.h"
#include "gamestatechooselanguage.h"
#include "gamestatemanager.h"
#include "gamestatestage.h"
#include "hbapplication.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "herostatemachine.h"
#include "herostates.h"
#include "ingamecamera.h"
#include "moveskillhooks.h"
#include "rdanimrequest.h"
#include "rdanimset.h"
#include "rdeventmanager.h"
#include "resourcegroups.h"
#include "scenaricmodule.h"
#include "scenariocamera.h"
#include "scenariocommands.h"
#include "scriptworldmanager.h"
#include "skillconstants.h"
#include "tsactor.h"
#include "tsactorlayer.h"
#include "tsactortyperegistry.h"
#include "tscameraregistry.h"
#include "tsfamilytable.h"
#include "tsfmod.h"
#include "tsgroundtype.h"
#include "tsheroactor.h"
#include "tstrigger.h"
#include "tsvideo.h"
#include "w2dsurface.h"
#include "weapontables.h"
#include "win32.h"
#include "wrenderer.h"
#include "wshadows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
/// The key-hint bar's in-game display.
constexpr int32_t kInGameThemeId = 1;

int32_t RendererStart(HbWindowState& window)
{
    WRenderer* renderer = WRenderer::Instance();
    return renderer && renderer->Start(window) == 1 ? 1 : 0;
}

void RendererBeginFrame()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->BeginFrame();
}

// The renderer goes while the window and its device still exist, not at exit.
void RendererStop()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->Stop();
    WRenderer::DestroyInstance();
}

void RendererSaveVideoPrefs()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->SaveVideoPrefs();
}

void BrushCreate()
{
    W2dSurface::CreateBrush();
}

void BrushDestroy()
{
    W2dSurface::DestroyBrush();
}

void FamilyTableCreate()
{
    TsFamilyTable::Instance();
}

void ActorTypeRegistryCreate()
{
    TsActorTypeRegistry::Instance();
}

// The 200 triggers exist before the first script runs, so it can drop them.
void TriggersCreate()
{
    TriggerManager::Create();
}

void AnimInit()
{
    AnimSystemInit();
}

void AnimShutdown()
{
    AnimSystemShutdown();
}

// Modules whose owners fill them later are made empty, so an import of them succeeds.
void EmptyModule(PyObject*, int32_t) {}

int32_t QueueModule(const char* name)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world)
        return 0;
    ScriptWorldManager::ModuleFill fill = EmptyModule;
    if (std::strcmp(name, "anim") == 0)
        fill = AnimModuleFill;
    else if (std::strcmp(name, "anim_set") == 0)
        fill = AnimSetModuleFill;
    else if (std::strcmp(name, "fx") == 0)
        fill = FxModuleFill;
    else if (SkillConstantModuleFill constants = SkillConstantModuleFor(name))
        fill = constants;
    else if (std::strcmp(name, "fx3d") == 0)
        fill = Fx3dModuleFill;
    else if (std::strcmp(name, "physic") == 0)
        fill = PhysicsModuleFill;
    return world->RegisterPendingModule(name, fill, 0);
}

void ScriptStart()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
    {
        TsActorsInstall(world);
        WeaponsInstall();
        MoveSkillHooksInstall();
        HeroActorHooksInstall();
        ScenaricModuleInstall();
        // The hero's states lock the stage's weapon wheel (a ladder, a take-down, death).
        static const HeroStageHooks stage = {[](int32_t locked)
                                             {
                                                 GameStateManager* manager = GameStateManager::Existing();
                                                 GameState* state = manager ? manager->GetCurrentState() : nullptr;
                                                 if (auto* stage = HbCastTo<GameState_Stage>(state))
                                                     stage->SetInventoryLocked(locked);
                                             },
                                             nullptr};
        HeroSetStageHooks(&stage);
        // The console's God command reaches the hero's damage.
        HeroSetGodReader(
            [](int32_t* life)
            {
                *life = GameCommandsGetGodLife();
                return GameCommandsGetGod();
            });
        world->StartScripting();
    }
}

void ScriptImport(const char* id)
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->ImportScriptResource(id);
}

void ScriptUnload()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->UnloadScriptModule();
}

void ScriptStop()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->StopScripting();
}

int32_t ScriptHasHero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world && world->GetHero() ? 1 : 0;
}

// The hero's state machine still in its first state (code 0): the mission's opening, during
// which the stage takes no pause or map key.
int32_t HeroInFirstState()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    auto* hero = world ? HbCastTo<TsHeroActor>(world->GetHero()) : nullptr;
    HeroStateMachine* machine = hero ? hero->GetStateMachine() : nullptr;
    return machine && machine->GetCurrent() && machine->GetCurrentCode() == 0 ? 1 : 0;
}

int32_t HeroSave(HbSaveFile* save)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    return hero ? hero->Save(save) : 0;
}

int32_t HeroLoad(HbSaveFile* save)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    return hero ? hero->Load(save) : 0;
}

void ScriptClearHero()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->SetHero(nullptr);
}

// The stage's calls reach the script world's hero when it is the game's hero actor.
void HeroRestartCall()
{
    if (Hero* hero = HeroGetCurrent())
        hero->Restart();
}

void HeroSectorEnterCall()
{
    if (Hero* hero = HeroGetCurrent())
        hero->OnSectorEnter();
}

void HeroSectorLeaveCall()
{
    if (Hero* hero = HeroGetCurrent())
        hero->OnSectorLeave();
}

void HeroStageStartCall()
{
    if (Hero* hero = HeroGetCurrent())
        hero->OnStageStart();
}

void SoundStart()
{
    TsFModStart();
}

void SoundUpdate()
{
    TsFModUpdate();
}

void SoundClose()
{
    TsFModClose();
}

void SoundApplyVolumes(float music, float sound)
{
    TsFModSoundSettings& settings = TsFModGetSoundSettings();
    settings.musicVolume = music;
    settings.soundVolume = sound;
    TsFModReapplyVolumes();
}

void GroupsReset()
{
    ResourceGroupResetLayers();
}

void GroupMountPak(const char* name)
{
    ResourceGroupMountPak(name);
}

void GroupLoad(const char* name, int32_t layer)
{
    ResourceGroupLoad(name, layer);
}

void GroupsUnloadAll()
{
    ResourceGroupUnloadAll();
}

void LoadingStart()
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StartLoadingScreen();
}

void LoadingStop()
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StopLoadingScreen();
}

void LoadingTick()
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->LoadingTick();
}

HbInputAction* ActionFind(const char* name)
{
    HbInputManager* input = HbInputManager::Instance();
    return input ? input->FindAction(name) : nullptr;
}

int32_t ActionTriggered(HbInputAction* action)
{
    return action && action->IsTriggered() ? 1 : 0;
}

BoardControlTheme* InGameTheme()
{
    BoardControl* bar = GameKeyHintBar();
    return bar ? bar->GetTheme(kInGameThemeId) : nullptr;
}

void BoardBuildInGame()
{
    BoardControlTheme* theme = InGameTheme();
    if (theme && !theme->IsBuilt())
        GameKeyHintBar()->BuildTheme(kInGameThemeId);
}

void RendererPrepareClumps()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->PrepareClumps();
}

int32_t PadPresent()
{
    HbInputManager* input = HbInputManager::Instance();
    return input ? input->IsPadPresent() : 0;
}

void RendererEndFrame()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->EndFrame();
}

void RendererUpdateFrame()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->UpdateFrame();
}

void RendererRenderScene()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->RenderScene();
}

void SoundPlay(const char* name)
{
    TsFModStartSound(name);
}

void SoundStopAll()
{
    TsFModStopAllChannels();
}

void FatalBox(const char* text, const char* title, uint32_t style)
{
    // Without a display the box itself writes to the error stream.
    if (Win32HasDisplay())
        std::fprintf(stderr, "%s: %s\n", title, text);
    MessageBoxA(nullptr, text, title, style);
}

void ExitProgram(int32_t code)
{
    std::exit(code);
}

// ---- Damaged content -----------------------------------------------------------------------------

// What the game cannot run without: the key bindings, the permanent group (start script,
// fonts, shared pictures), the front end's menus and each language's texts. Any other group may
// lack a part and the game goes on without it.
bool RequiredGroup(const char* name)
{
    if (std::strcmp(name, "PERMANENT") == 0 || std::strcmp(name, "FRONTEND") == 0 ||
        std::strcmp(name, "commands.scr") == 0)
        return true;
    for (const char* language : GameState_ChooseLanguage::kLanguageGroups)
        if (std::strcmp(name, language) == 0)
            return true;
    return false;
}

void GroupFailed(const char* name, const std::vector<std::string>& failures)
{
    for (const std::string& failure : failures)
        std::fprintf(stderr, "Velmoran: %s\n", failure.c_str());
    if (!RequiredGroup(name))
    {
        std::fprintf(stderr, "Velmoran: the group %s is incomplete; the game goes on without what it lacks\n", name);
        return;
    }
    const std::string what =
        std::strcmp(name, "commands.scr") == 0 ? std::string("the key bindings") : std::string("the group ") + name;
    const std::string text = "The game's content is damaged: " + what + " cannot be used (" + failures.front() +
                             "). Install the game's files again.";
    GameServices& services = GameServicesTable();
    services.fatalBox(text.c_str(), "Fatal error", 0x1030);
    GameApplication::EndWithFailure();
}

// ---- The hero's lists for the scenario layer ---------------------------------------------------

// The scenario layer sits below the hero's class: it reaches the hero's weapon list (its
// inventory), its equipment and its hand through these.
TsInventory* HeroInventory(TsActor* actor)
{
    Hero* hero = HbCastTo<Hero>(actor);
    return hero ? hero->GetWeaponList() : nullptr;
}

TsInventory* HeroEquipment(TsActor* actor)
{
    Hero* hero = HbCastTo<Hero>(actor);
    return hero ? hero->GetEquipment() : nullptr;
}

void HeroTakeWeapon(TsActor* actor, TsActor* weapon, const char* itemName)
{
    if (Hero* hero = HbCastTo<Hero>(actor))
        hero->TakeWeapon(weapon, itemName);
}

const char* HeroItemInHand(TsActor* actor)
{
    Hero* hero = HbCastTo<Hero>(actor);
    TsInventoryItem* item = hero ? hero->GetItemInHand() : nullptr;
    return item ? item->mName.c_str() : nullptr;
}

void HeroPreviousWeaponInHand(TsActor* actor)
{
    Hero* hero = HbCastTo<Hero>(actor);
    WeaponList* list = hero ? hero->GetWeaponList() : nullptr;
    if (TsInventoryItem* item = list ? list->Previous() : nullptr)
        hero->SetItemInHand(item);
}

void HeroAccessInstall()
{
    ScenaricSetHeroAccess({HeroInventory, HeroEquipment, HeroTakeWeapon});
    ScenarioHeroHooks& hooks = ScenarioGetHeroHooks();
    hooks.inventory = HeroInventory;
    hooks.equipment = HeroEquipment;
    hooks.itemInHand = HeroItemInHand;
    hooks.previousWeaponInHand = HeroPreviousWeaponInHand;
}
} // namespace

void GameContentChecksInstall()
{
    ResourceGroupSetFailureHandler(GroupFailed);
}

void GameServicesInstallDefaults()
{
    HeroAccessInstall();
    GameServices& table = GameServicesTable();
    table.rendererStart = RendererStart;
    table.rendererBeginFrame = RendererBeginFrame;
    table.rendererStop = RendererStop;
    table.rendererSaveVideoPrefs = RendererSaveVideoPrefs;
    table.brushCreate = BrushCreate;
    table.brushDestroy = BrushDestroy;
    table.shadowsInit = WShadows::Init;
    table.shadowsShutdown = WShadows::Shutdown;
    table.cameraRegistryReset = TsCameraRegistry::Reset;
    table.cameraRegistryClear = TsCameraRegistry::Clear;
    table.soundStart = SoundStart;
    table.soundUpdate = SoundUpdate;
    table.soundClose = SoundClose;
    table.soundApplyVolumes = SoundApplyVolumes;
    table.familyTableCreate = FamilyTableCreate;
    table.actorTypeRegistryCreate = ActorTypeRegistryCreate;
    table.videoCreateMutex = [] { TsVideoCreateMutex(); };
    table.groundTypesLoad = TsGroundTypesLoad;
    table.groundTypesFree = TsGroundTypesFree;
    table.triggersCreate = TriggersCreate;
    table.triggersFree = TriggerManager::Free;
    table.animSystemInit = AnimInit;
    table.animSystemShutdown = AnimShutdown;
    table.timedAnimRequestsInit = TimedAnimRequestsInit;
    table.timedAnimRequestsFree = TimedAnimRequestsFree;
    table.animSetLoadAll = AnimSetLoadAll;
    table.animSetFreeAll = AnimSetFreeAll;
    table.scriptQueueModule = QueueModule;
    table.scriptStart = ScriptStart;
    table.scriptImportResource = ScriptImport;
    table.scriptUnloadModule = ScriptUnload;
    table.scriptStop = ScriptStop;
    table.scriptHasHero = ScriptHasHero;
    table.scriptClearHero = ScriptClearHero;
    table.heroSave = HeroSave;
    table.heroLoad = HeroLoad;
    table.heroRestart = HeroRestartCall;
    table.heroOnSectorEnter = HeroSectorEnterCall;
    table.heroOnSectorLeave = HeroSectorLeaveCall;
    table.heroOnStageStart = HeroStageStartCall;
    table.heroInFirstState = HeroInFirstState;
    table.physicsSetGravity = PhysicsSetGravity;
    table.fx3dInitTypeRecords = Fx3dInitTypeRecords;
    table.fxServicesTick = FxServicesTick;
    table.fxServicesShutdown = FxServicesShutdown;
    table.fxStageStep = FxServicesStageStep;
    table.resourceGroupResetLayers = GroupsReset;
    table.resourceGroupMountPak = GroupMountPak;
    table.resourceGroupLoad = GroupLoad;
    table.resourceGroupUnloadAll = GroupsUnloadAll;
    table.loadingScreenStart = LoadingStart;
    table.loadingScreenStop = LoadingStop;
    table.loadingTick = LoadingTick;
    table.actionFind = ActionFind;
    table.actionTriggered = ActionTriggered;
    table.freeListsPurge = [] { FreeList::PurgeAll(); };
    table.shadowsAttach = [] { WShadows::AttachWorld(); };
    table.shadowsDetach = [] { WShadows::DetachWorld(); };
    table.rendererPrepareClumps = RendererPrepareClumps;
    table.boardBuildInGame = BoardBuildInGame;
    table.boardShow = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->Show();
    };
    table.boardHide = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->Hide();
    };
    table.boardPopAll = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->PopAll();
    };
    table.boardTopTheme = []
    {
        BoardControl* bar = GameKeyHintBar();
        return bar ? bar->GetTopThemeId() : 0;
    };
    table.boardResetInGame = []
    {
        if (BoardControlTheme* theme = InGameTheme())
            theme->Reset();
    };
    table.boardReleaseInGame = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->ReleaseTheme(kInGameThemeId);
    };
    table.padPresent = PadPresent;
    table.rendererEndFrame = RendererEndFrame;
    table.rendererRenderScene = RendererRenderScene;
    table.rendererUpdateFrame = RendererUpdateFrame;
    table.soundPlay = SoundPlay;
    table.soundStopAll = SoundStopAll;
    table.timedAnimRequestsTick = TimedAnimRequestsTick;
    table.camerasCreate = InGameCamerasCreate;
    table.camerasFree = CameraShotsFree;
    table.keyHintBar = GameKeyHintBar;
    table.scenarioLevelStart = ScenarioCommandsLevelStart;
    table.scenarioLevelEnd = ScenarioCommandsLevelEnd;
    table.scenarioHeroReady = ScenarioCommandsHeroReady;
    table.boardCreateThemes = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->CreateThemes();
    };
    table.boardUpdate = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->Update();
    };
    table.boardDestroyAll = []
    {
        if (BoardControl* bar = GameKeyHintBar())
            bar->DestroyAll();
    };
    table.fatalBox = FatalBox;
    table.exitProgram = ExitProgram;
}
