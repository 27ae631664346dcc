// The least-behaviour service table.
#include "gameservices.h"

namespace
{
void Nothing() {}
int32_t Started(HbWindowState&)
{
    return 1;
}
void NoVolumes(float, float) {}
int32_t Queued(const char*)
{
    return 1;
}
void NoName(const char*) {}
int32_t NoHero()
{
    return 0;
}
int32_t NoHeroState(HbSaveFile*)
{
    return 0;
}
void NoGroup(const char*, int32_t) {}
HbInputAction* NoAction(const char*)
{
    return nullptr;
}
int32_t NotTriggered(HbInputAction*)
{
    return 0;
}
int32_t InGameDisplay()
{
    return 1;
}
void NoMask(int32_t) {}
void NoBox(const char*, const char*, uint32_t) {}
void NoExit(int32_t) {}
} // namespace

GameServices GameServicesLeast()
{
    GameServices table{};
    table.effectModuleInits = Nothing;
    table.rendererStart = Started;
    table.rendererBeginFrame = Nothing;
    table.rendererStop = Nothing;
    table.rendererSaveVideoPrefs = Nothing;
    table.brushCreate = Nothing;
    table.brushDestroy = Nothing;
    table.shadowsInit = Nothing;
    table.shadowsShutdown = Nothing;
    table.cameraRegistryReset = Nothing;
    table.cameraRegistryClear = Nothing;
    table.soundStart = Nothing;
    table.soundUpdate = Nothing;
    table.soundClose = Nothing;
    table.soundApplyVolumes = NoVolumes;
    table.videoCreateMutex = Nothing;
    table.familyTableCreate = Nothing;
    table.actorTypeRegistryCreate = Nothing;
    table.groundTypesLoad = Nothing;
    table.groundTypesFree = Nothing;
    table.triggersCreate = Nothing;
    table.triggersFree = Nothing;
    table.animSystemInit = Nothing;
    table.animSystemShutdown = Nothing;
    table.timedAnimRequestsInit = Nothing;
    table.timedAnimRequestsFree = Nothing;
    table.animSetLoadAll = Nothing;
    table.animSetFreeAll = Nothing;
    table.scriptQueueModule = Queued;
    table.scriptStart = Nothing;
    table.scriptImportResource = NoName;
    table.scriptUnloadModule = Nothing;
    table.scriptStop = Nothing;
    table.scriptHasHero = NoHero;
    table.scriptClearHero = Nothing;
    table.heroSave = NoHeroState;
    table.heroLoad = NoHeroState;
    table.physicsSetGravity = Nothing;
    table.fx3dInitTypeRecords = Nothing;
    table.fxServicesTick = Nothing;
    table.fxServicesShutdown = Nothing;
    table.boardCreateThemes = Nothing;
    table.boardUpdate = Nothing;
    table.boardDestroyAll = Nothing;
    table.resourceGroupResetLayers = Nothing;
    table.resourceGroupMountPak = NoName;
    table.resourceGroupLoad = NoGroup;
    table.resourceGroupUnloadAll = Nothing;
    table.loadingScreenStart = Nothing;
    table.loadingScreenStop = Nothing;
    table.loadingTick = Nothing;
    table.actionFind = NoAction;
    table.actionTriggered = NotTriggered;
    table.freeListsPurge = Nothing;
    table.shadowsAttach = Nothing;
    table.shadowsDetach = Nothing;
    table.rendererPrepareClumps = Nothing;
    table.padPresent = NoHero;
    table.rendererEndFrame = Nothing;
    table.rendererRenderScene = Nothing;
    table.rendererUpdateFrame = Nothing;
    table.soundPlay = NoName;
    table.soundStopAll = Nothing;
    table.boardBuildInGame = Nothing;
    table.boardShow = Nothing;
    table.boardHide = Nothing;
    table.boardPopAll = Nothing;
    table.boardTopTheme = InGameDisplay;
    table.keyHintBar = []() -> BoardControl* { return nullptr; };
    table.boardResetInGame = Nothing;
    table.boardReleaseInGame = Nothing;
    table.heroRestart = Nothing;
    table.heroOnSectorEnter = Nothing;
    table.heroOnSectorLeave = Nothing;
    table.heroOnStageStart = Nothing;
    table.heroSetGroundMask = NoMask;
    table.heroInFirstState = NoHero;
    table.camerasCreate = Nothing;
    table.camerasFree = Nothing;
    table.scenarioLevelStart = Nothing;
    table.scenarioLevelEnd = Nothing;
    table.scenarioHeroReady = Nothing;
    table.fxStageStep = Nothing;
    table.timedAnimRequestsTick = Nothing;
    table.fatalBox = NoBox;
    table.exitProgram = NoExit;
    table.observe = nullptr;
    return table;
}

GameServices& GameServicesTable()
{
    // Made on first use, so a static object of another file may reach it.
    static GameServices table = GameServicesLeast();
    return table;
}

void GameServicesStep(const char* step)
{
    if (GameServices& table = GameServicesTable(); table.observe)
        table.observe(step);
}
