// GameServices: the calls the game's start-up, frame and shut-down make into the layers it
// sits on. The table starts with entries that do the least (succeed and change nothing); the
// game application fills it with the real calls of the layers that exist, and a layer that
// arrives later fills its own entries. Tests install a table of their own and an observer
// that sees every step by name.
#pragma once

#include <cstdint>

class BoardControl;
struct HbWindowState;
class HbSaveFile;
class GameState;
class HbInputAction;

struct GameServices
{
    // ---- Before the window --------------------------------------------------------------------
    /// The effect library's module initialisers.
    void (*effectModuleInits)();

    // ---- Renderer -----------------------------------------------------------------------------
    /// 1 when the renderer started on the window state's size and depths.
    int32_t (*rendererStart)(HbWindowState& window);
    void (*rendererBeginFrame)();
    void (*rendererStop)();
    /// Applies a changed gamma and rewrites the display preferences.
    void (*rendererSaveVideoPrefs)();
    void (*brushCreate)();
    void (*brushDestroy)();
    void (*shadowsInit)();
    void (*shadowsShutdown)();

    // ---- Actors, sound, video -----------------------------------------------------------------
    void (*cameraRegistryReset)();
    void (*cameraRegistryClear)();
    /// The sound system's start; its result is not used.
    void (*soundStart)();
    void (*soundUpdate)();
    void (*soundClose)();
    /// Music and sound volumes (each 0..1) into the sound layer's settings, then applied.
    void (*soundApplyVolumes)(float music, float sound);
    void (*videoCreateMutex)();
    void (*familyTableCreate)();
    void (*actorTypeRegistryCreate)();
    void (*groundTypesLoad)();
    void (*groundTypesFree)();
    void (*triggersCreate)();
    void (*triggersFree)();

    // ---- Animation ----------------------------------------------------------------------------
    void (*animSystemInit)();
    void (*animSystemShutdown)();
    void (*timedAnimRequestsInit)();
    void (*timedAnimRequestsFree)();
    void (*animSetLoadAll)();
    void (*animSetFreeAll)();

    // ---- Script host --------------------------------------------------------------------------
    /// Queues the named module (with its fill) for the interpreter's start; 1 done.
    int32_t (*scriptQueueModule)(const char* name);
    void (*scriptStart)();
    void (*scriptImportResource)(const char* id);
    void (*scriptUnloadModule)();
    void (*scriptStop)();
    /// 1 when the script world has a hero.
    int32_t (*scriptHasHero)();
    void (*scriptClearHero)();
    /// The script world's hero writes its state into a save stream or reads it back; 1 done, 0
    /// failed or no hero.
    int32_t (*heroSave)(HbSaveFile* save);
    int32_t (*heroLoad)(HbSaveFile* save);

    // ---- Effects ------------------------------------------------------------------------------
    void (*physicsSetGravity)();
    /// The debris initialisation: the effect scripts, the classes and the four debris types.
    void (*fx3dInitTypeRecords)();
    void (*fxServicesTick)();
    void (*fxServicesShutdown)();

    // ---- Key-hint bar -------------------------------------------------------------------------
    void (*boardCreateThemes)();
    void (*boardUpdate)();
    void (*boardDestroyAll)();

    // ---- Resource groups and the loading screen -----------------------------------------------
    void (*resourceGroupResetLayers)();
    /// Mounts "<name>.PAK"; turns pack look-ups on when it exists.
    void (*resourceGroupMountPak)(const char* name);
    void (*resourceGroupLoad)(const char* name, int32_t layer);
    void (*resourceGroupUnloadAll)();
    void (*loadingScreenStart)();
    void (*loadingScreenStop)();
    /// The file layer's open hook while the loading screen shows.
    void (*loadingTick)();

    // ---- The stage ------------------------------------------------------------------------------
    /// The input action of the name, or null; looked up again only when the bindings change.
    HbInputAction* (*actionFind)(const char* name);
    /// 1 when the action (null: none) triggered this frame.
    int32_t (*actionTriggered)(HbInputAction* action);
    /// 1 when a game pad is present.
    int32_t (*padPresent)();
    void (*rendererEndFrame)();
    void (*rendererRenderScene)();
    /// Animates what the scene shows: UV animations, animated textures, the scene's updatable
    /// nodes (every animated model's motor), the sky and the effects.
    void (*rendererUpdateFrame)();
    /// A 2D sound by name.
    void (*soundPlay)(const char* name);
    void (*soundStopAll)();
    /// The key-hint bar: the in-game display built and shown or hidden, the themes popped, the
    /// theme on top (1: the in-game display), the in-game display reset and released.
    void (*boardBuildInGame)();
    void (*boardShow)();
    void (*boardHide)();
    void (*boardPopAll)();
    int32_t (*boardTopTheme)();
    void (*boardResetInGame)();
    void (*boardReleaseInGame)();
    /// The game manager's key-hint bar (the level scripts' head-up display); null: none.
    BoardControl* (*keyHintBar)();
    /// The script world's hero: its restart, sector entry and leave, stage start, its ground
    /// collision mask, and 1 while its state machine is still in its first state.
    void (*heroRestart)();
    void (*heroOnSectorEnter)();
    void (*heroOnSectorLeave)();
    void (*heroOnStageStart)();
    void (*heroSetGroundMask)(int32_t mask);
    int32_t (*heroInFirstState)();
    /// The in-game cameras made by the level script, and their removal with the shots.
    void (*camerasCreate)();
    void (*camerasFree)();
    /// The scenario commands' tables at level start and end.
    void (*scenarioLevelStart)();
    void (*scenarioLevelEnd)();
    /// The engine's free lists purged of their unused blocks.
    void (*freeListsPurge)();
    /// The shadow camera put into the level's world after a level has loaded, and taken out.
    void (*shadowsAttach)();
    void (*shadowsDetach)();
    /// The clumps registered while the level loaded, prepared through the current camera.
    void (*rendererPrepareClumps)();
    /// After the level script started: the script world's hero into scenario slot 0.
    void (*scenarioHeroReady)();
    /// The effects' debris and physics stepped in each frame of play.
    void (*fxStageStep)();
    void (*timedAnimRequestsTick)();

    // ---- The program ----------------------------------------------------------------------------
    /// A system-modal box; the text also goes to the error stream.
    void (*fatalBox)(const char* text, const char* title, uint32_t style);
    /// Ends the program with the code.
    void (*exitProgram)(int32_t code);

    /// Told the name of each start-up, frame and shut-down step before it runs; null: nobody.
    void (*observe)(const char* step);
};

/// The table in force.
GameServices& GameServicesTable();
/// A table whose every entry does the least (steps succeed, nothing changes, no exit).
GameServices GameServicesLeast();
/// Tells the observer, when there is one.
void GameServicesStep(const char* step);
