// ScriptWorldHooks: what the layers above the script host do for the script world. Each
// entry is filled by its owner when it starts; an entry left null means the service is
// absent: its module stays empty, its test never holds, its load answers 0, its tick or
// stop does nothing.
#pragma once

#include <cstdint>

typedef struct _object PyObject;
class HbRoot;
class TsActor;
class W3dLevel;

struct ScriptWorldHooks
{
    // ---- Modules at start-up -----------------------------------------------------------------

    /// Fills the module "sound".
    void (*fillSoundModule)(PyObject* module);
    /// Fills the module "pyactor_tools".
    void (*fillActorToolsModule)(PyObject* module);
    /// Creates the module "mark" with its sub-modules (last step of the start-up).
    void (*makeMarkModule)();

    // ---- Sensor tests ---------------------------------------------------------------------------

    /// 1 when the observer sees the target (its sight table, angles and a line test).
    int32_t (*seesActor)(TsActor* observer, TsActor* target, float value);
    /// 1 when the contextual-action input is active and the candidate is within the squared
    /// distance. The script world itself refuses a second contextual action in a frame and
    /// refuses while the hero has no hit points.
    int32_t (*contextAction)(TsActor* owner, TsActor* candidate, float value);

    // ---- Event boxes and triggers -------------------------------------------------------------

    /// Starts the event-box runtime for boxes just loaded, over the actors of the wanted
    /// families and none of the excluded ones.
    void (*eventBoxesLoad)(HbRoot* boxes, uint32_t wanted, uint32_t excluded);
    /// Evaluates the event boxes for this frame (null: none loaded).
    void (*eventBoxesUpdate)(HbRoot* boxes);
    /// Frees the boxes' spatial index before they are let go.
    void (*eventBoxesFreeIndex)(HbRoot* boxes);
    void (*triggersTickAll)();
    void (*triggersStopAll)();
    /// Stops every sound channel and waits until none is left.
    void (*stopAllSoundChannels)();

    // ---- Actors across levels ---------------------------------------------------------------------

    /// 1 when the actor's script object is stored across levels.
    int32_t (*isScriptStored)(TsActor* actor);

    // ---- Navigation ------------------------------------------------------------------------------

    /// The cells of a navigation graph just loaded, or -1 when the resource is not one. A graph
    /// of no cell (a file cut short reads as one) is a fault of the level.
    int32_t (*graphCellCount)(HbRoot* graph);

    // ---- Mark system and scenario paths -------------------------------------------------------

    /// A new mark system over the named scenario database and the level (count 0), or null.
    HbRoot* (*createMarkSystem)(const char* name, W3dLevel* level);
    void (*markSystemSetLevel)(HbRoot* markSystem, W3dLevel* level);
    /// The mark system's scenario database.
    void* (*markSystemDatabase)(HbRoot* markSystem);
    int32_t (*databasePathCount)(void* database);
    void* (*databasePath)(void* database, int32_t index);
    int32_t (*pathMarkNameCount)(void* path);
    const char* (*pathMarkName)(void* path, int32_t index);
    /// The mark of that name, or null.
    void* (*databaseFindMark)(void* database, const char* name);
    void (*pathAddMark)(void* path, void* mark);
};
